"""The package's types: a user script passes `mypy --strict`, and the stubs match the module."""

import os
import pathlib
import subprocess
import sys

import pytest

pytest.importorskip("mypy")

ROOT = pathlib.Path(__file__).resolve().parents[2]
USER_SCRIPT = ROOT / "tests" / "typing" / "user_script.py"


def mypy(*args, cwd=ROOT):
    paths = [str(ROOT / "python" / "stubs"), str(ROOT / "python")]
    env = dict(os.environ, MYPYPATH=os.pathsep.join(paths))
    return subprocess.run([sys.executable, "-m", "mypy", "--no-incremental", *args], cwd=cwd,
                          env=env, capture_output=True, text=True, timeout=300)


def test_user_script_passes_strict_mypy_and_runs():
    result = mypy("--strict", str(USER_SCRIPT))
    assert result.returncode == 0, result.stdout + result.stderr
    ran = subprocess.run([sys.executable, str(USER_SCRIPT)], capture_output=True, text=True)
    assert ran.returncode == 0, ran.stderr


@pytest.mark.parametrize("line, complaint", [
    ('glyphloom.convert(b"<:bold a>")', "incompatible type"),
    ('glyphloom.convert("x", mode="loud")', "incompatible type"),
    ('n: int = glyphloom.meta_runs("x").runs[0].key', "incompatible types in assignment"),
    ('n: int = glyphloom.Converter(glyphloom.Index()).to_glyphloom("x")', "incompatible types"),
    ('glyphloom.Index().get("0", "x")', "incompatible type"),
])
def test_mypy_sees_the_types(tmp_path, line, complaint):
    script = tmp_path / "wrong.py"
    script.write_text(f"import glyphloom\n{line}\n")
    result = mypy("--strict", str(script), cwd=tmp_path)
    assert result.returncode == 1 and complaint in result.stdout.lower(), result.stdout


def test_stubs_match_the_module():
    env = dict(os.environ, MYPYPATH=str(ROOT / "python" / "stubs"))
    result = subprocess.run([sys.executable, "-m", "mypy.stubtest", "_glyphloom"], env=env,
                            capture_output=True, text=True, timeout=300)
    assert result.returncode == 0, result.stdout + result.stderr
