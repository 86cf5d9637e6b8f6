"""Runs every example of README.md and docs/*.md against the library.

Three kinds of examples are run:
- tables whose first two columns are "You write" and "You get": the markup is converted and
  shown as `glyphloom.visible` shows it; "error: `…`" expects that error, and every
  "warning: `…`" in the third column is a warning the conversion must give (and no others);
- ```console blocks: each `$ command` runs in bash (with `glyphloom` on PATH) and must print
  what follows it, standard output and standard error together;
- ```python blocks: doctests, run in order with one namespace per document;
- ```glyphloom blocks: glyphloom source, which must convert without an error;
- ```cpp blocks: C++ programs, compiled against the headers and the libraries next to the
  module and run; the ```text block after one is what it must print.
The ```sh blocks are set-up instructions; they may name only make targets that exist.
"""

from __future__ import annotations

import doctest
import os
import pathlib
import re
import subprocess
import sys
import warnings

import pytest

import _glyphloom
import glyphloom
from registered import dist_info

ROOT = pathlib.Path(__file__).resolve().parents[2]
DOCUMENTS = [ROOT / "README.md", *sorted((ROOT / "docs").glob("*.md"))]
BUILD = pathlib.Path(_glyphloom.__file__).resolve().parent.parent
PACKER = BUILD / "glyphloom_pack"
CODE = re.compile(r"`([^`]*)`")
FENCE = re.compile(r"^```(\w*)\n(.*?)^```\n", re.S | re.M)


def rel(path: pathlib.Path) -> str:
    return str(path.relative_to(ROOT))


def fenced(path: pathlib.Path, kind: str) -> list[tuple[int, str]]:
    """The (line number, text) of every fenced block of this kind."""
    text = path.read_text(encoding="utf-8")
    return [(text.count("\n", 0, m.start()) + 2, m.group(2))
            for m in FENCE.finditer(text) if m.group(1) == kind]


def example_rows(path: pathlib.Path) -> list[tuple[str, int, list[str]]]:
    rows, in_table = [], False
    lines = path.read_text(encoding="utf-8").splitlines()
    for number, line in enumerate(lines, 1):
        if not line.startswith("|"):
            in_table = False
            continue
        cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
        if cells[:2] == ["You write", "You get"]:
            in_table = True
        elif in_table and not set(line) <= set("|-: "):
            rows.append((rel(path), number, cells))
    return rows


ROWS = [row for path in DOCUMENTS for row in example_rows(path)]


def test_every_document_has_examples():
    for path in DOCUMENTS:
        assert (example_rows(path) or fenced(path, "console") or fenced(path, "python")
                or fenced(path, "cpp")), path


@pytest.mark.parametrize("cells", [row[2] for row in ROWS],
                         ids=[f"{name}:{line}" for name, line, _ in ROWS])
def test_example_table_row(cells):
    (markup,) = CODE.findall(cells[0])
    notes = cells[2] if len(cells) > 2 else ""
    expected_warnings = re.findall(r"warning: `([^`]*)`", notes)
    if cells[1].startswith("error:"):
        (message,) = CODE.findall(cells[1])
        with pytest.raises(glyphloom.ConversionError) as caught:
            glyphloom.convert(markup)
        assert caught.value.message == message
        return
    (expected,) = CODE.findall(cells[1])
    text, found = glyphloom.convert_with_warnings(markup)
    assert glyphloom.visible(text) == expected
    assert [warning.message for warning in found] == expected_warnings


@pytest.fixture()
def workdir(tmp_path, monkeypatch):
    """A folder that looks like the top of a clone, with `glyphloom` on PATH."""
    for name in ("examples", "data"):
        (tmp_path / name).symlink_to(ROOT / name)
    (tmp_path / "build").symlink_to(BUILD)
    shims = tmp_path / ".shims"
    shims.mkdir()
    shim = shims / "glyphloom"
    shim.write_text(f'#!/bin/sh\nexec "{sys.executable}" -m glyphloom "$@"\n')
    shim.chmod(0o755)
    pygmentize = shims / "pygmentize"
    pygmentize.write_text(f'#!/bin/sh\nexec "{sys.executable}" -m pygments "$@"\n')
    pygmentize.chmod(0o755)
    monkeypatch.setenv("PATH", f"{shims}{os.pathsep}{os.environ['PATH']}")
    # The entry points (the Markdown extension, the lexer), as installing the package adds them.
    registered = dist_info(tmp_path / ".registered")
    monkeypatch.syspath_prepend(str(registered))
    # The package and the module, wherever they were found (PYTHONPATH may be relative).
    homes = [pathlib.Path(glyphloom.__file__).parent.parent,
             pathlib.Path(_glyphloom.__file__).parent, registered]
    monkeypatch.setenv("PYTHONPATH", os.pathsep.join(str(home.resolve()) for home in homes))
    monkeypatch.chdir(tmp_path)
    return tmp_path


def console_steps(block: str) -> list[tuple[str, str]]:
    steps: list[tuple[str, list[str]]] = []
    for line in block.splitlines():
        if line.startswith("$ "):
            steps.append((line[2:], []))
        else:
            steps[-1][1].append(line)
    return [(command, "\n".join(output)) for command, output in steps]


def run_console(path: pathlib.Path, line: int, block: str) -> None:
    for command, expected in console_steps(block):
        result = subprocess.run(["bash", "-c", command], stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
        output = result.stdout.decode("utf-8").rstrip("\n")
        assert output == expected, f"{rel(path)}:{line}: $ {command}"


def run_python(path: pathlib.Path, line: int, block: str, globs: dict) -> None:
    test = doctest.DocTestParser().get_doctest(block, globs, rel(path), str(path), line)
    report: list[str] = []
    runner = doctest.DocTestRunner()
    with warnings.catch_warnings():
        warnings.simplefilter("error")  # a stray warning in an example is a fault of the docs
        result = runner.run(test, out=report.append, clear_globs=False)
    globs.update(test.globs)  # the test ran on a copy; later blocks go on from here
    assert result.failed == 0, "".join(report)


@pytest.mark.parametrize("path", DOCUMENTS, ids=rel)
def test_console_and_python_examples(path, workdir):
    blocks = sorted([(line, "console", b) for line, b in fenced(path, "console")]
                    + [(line, "python", b) for line, b in fenced(path, "python")])
    if any("build/glyphloom_pack" in b for _, _, b in blocks) and not PACKER.exists():
        pytest.skip(f"the packer is not built next to the module ({PACKER})")
    globs: dict = {}
    for line, kind, block in blocks:
        if kind == "console":
            run_console(path, line, block)
        else:
            run_python(path, line, block, globs)


CPP_BLOCKS = [(rel(path), line, block, next((b for l, b in fenced(path, "text") if l > line), ""))
              for path in DOCUMENTS for line, block in fenced(path, "cpp")]
LIBRARIES = [BUILD / "libglyphloom_default.a", BUILD / "libglyphloom_core.a"]


@pytest.mark.parametrize("name,line,block,expected", CPP_BLOCKS,
                         ids=[f"{name}:{line}" for name, line, _, _ in CPP_BLOCKS])
def test_cpp_examples(name, line, block, expected, tmp_path):
    if not all(library.exists() for library in LIBRARIES):
        pytest.skip(f"the C++ libraries are not built next to the module ({BUILD})")
    source = tmp_path / "example.cpp"
    source.write_text(block, encoding="utf-8")
    program = tmp_path / "example"
    compiler = os.environ.get("CXX", "c++")
    # Libraries of a sanitizer build need the sanitizers' runtime in the program too.
    cache = BUILD / "CMakeCache.txt"
    sanitized = cache.exists() and "GLYPHLOOM_SANITIZE:BOOL=ON" in cache.read_text()
    flags = ["-fsanitize=address,undefined"] if sanitized else []
    subprocess.run([compiler, "-std=c++20", *flags, "-I", str(ROOT / "include"), str(source),
                    *map(str, LIBRARIES), "-pthread", "-o", str(program)],
                   check=True, capture_output=True, text=True)
    run = subprocess.run([str(program)], capture_output=True, text=True, encoding="utf-8")
    assert run.returncode == 0, run.stderr
    assert run.stdout == expected, f"{name}:{line}"


GLYPHLOOM_BLOCKS = [(rel(path), line, block) for path in DOCUMENTS
                    for line, block in fenced(path, "glyphloom")]


@pytest.mark.parametrize("block", [block for _, _, block in GLYPHLOOM_BLOCKS],
                         ids=[f"{name}:{line}" for name, line, _ in GLYPHLOOM_BLOCKS])
def test_glyphloom_blocks_convert(block):
    glyphloom.convert(block, mode="error")


@pytest.mark.parametrize("path", DOCUMENTS, ids=rel)
def test_setup_commands_name_existing_make_targets(path):
    targets = set(re.findall(r"^([\w-]+):", (ROOT / "Makefile").read_text(), re.M))
    for _, block in fenced(path, "sh"):
        for target in re.findall(r"^make (\w[\w-]*)", block, re.M):
            assert target in targets, f"{rel(path)}: make {target}"


def test_package_docstrings():
    failed, attempted = doctest.testmod(glyphloom)
    assert attempted > 0 and failed == 0
