"""Converting files for the command line: one file, or many into a folder, in several processes.

Every file goes through `convert_file`, which reads it, converts it and writes the result, and
returns what to report; nothing in it raises for a bad file, so one file never stops the others.
"""

from __future__ import annotations

import os
import sys
from collections.abc import Callable, Iterator, Sequence
from concurrent.futures import ProcessPoolExecutor
from dataclasses import dataclass
from typing import TextIO, cast

from _glyphloom import Index

from . import _api
from ._types import ConversionError, GlyphloomWarning, Positions

# The messages of findings that stop a conversion in mode "warn"; in lenient mode they are kept
# as warnings, which is how one pass finds every error of a failing file.
FATAL = ("unknown glyphloom entity: ", "unclosed <: at ", "invalid meta value in <:")
BOM = "\ufeff"
# Fewer files than this convert too quickly for a progress bar to help.
PROGRESS_FROM = 8


@dataclass(frozen=True)
class Options:
    mode: str
    shape: str  # "text", "html", "page" or "visible"
    title: str | None
    index: str | None  # the path of an index image


@dataclass
class Outcome:
    messages: list[str]
    status: int  # 0, or 1 after an error


def extension(options: Options) -> str:
    return ".html" if options.shape in ("html", "page") else ".txt"


def read(name: str) -> tuple[str | None, str, str | None]:
    """(text, name to report, message): the UTF-8 text of a file, or of standard input for '-',
    without a leading byte order mark; the text is None and the message says why when the file
    cannot be read or is not UTF-8."""
    shown = "<stdin>" if name == "-" else name
    try:
        if name == "-":
            data = sys.stdin.buffer.read()
        else:
            with open(name, "rb") as file:
                data = file.read()
    except OSError as error:
        return None, shown, f"glyphloom: cannot read {name}: {error.strerror}"
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as error:
        line, column = Positions(data[: error.start].decode("utf-8")).place(error.start)
        return None, shown, f"{shown}:{line}:{column}: error: not UTF-8 text"
    return (text[1:] if text.startswith(BOM) else text), shown, None


def write(text: str, output: str | None) -> str | None:
    """Writes to the file `output`, or to standard output for None; a message when it fails."""
    data = text.encode("utf-8")
    if output is None:
        sys.stdout.flush()
        sys.stdout.buffer.write(data)
        sys.stdout.buffer.flush()
        return None
    try:
        with open(output, "wb") as file:
            file.write(data)
    except OSError as error:
        return f"glyphloom: cannot write {output}: {error.strerror}"
    return None


def _warnings(name: str, found: Sequence[GlyphloomWarning]) -> list[str]:
    return [f"{name}:{w.line}:{w.column}: warning: {w.message}" for w in found]


def _every_error(source: str, name: str, options: Options, index: Index | None,
                 first: ConversionError) -> list[str]:
    """Every error of a failing source, each at its place: those a lenient pass keeps."""
    _, found = _api.convert_with_warnings(source, "lenient", index)
    errors = [w for w in found
              if options.mode == "error" or w.message.startswith(FATAL)]
    if not errors:
        return [f"{name}:{first.line}:{first.column}: error: {first.message}"]
    return [f"{name}:{w.line}:{w.column}: error: {w.message}" for w in errors]


def rendered(source: str, name: str, options: Options,
             index: Index | None) -> tuple[str | None, list[str]]:
    """The output for a source and what to report about it; None when it failed."""
    try:
        text, found = _api.convert_with_warnings(source, cast(_api.Mode, options.mode), index)
    except ConversionError as error:
        return None, _every_error(source, name, options, index, error)
    messages = _warnings(name, found)
    if options.shape in ("html", "page"):
        styled = _api.meta_runs(text, index)
        if styled.warnings:
            positions = Positions(text)
            for message, byte in styled.warnings:
                line, column = positions.place(byte)
                messages.append(f"{name}: warning: {message} (line {line}, column {column} of"
                                " the converted text)")
        text = _api.html(styled.text, styled.runs, index)
        if options.shape == "page":
            title = options.title or (os.path.basename(name) if name != "<stdin>" else "glyphloom")
            text = _api.html_page(text, title)
        elif not text.endswith("\n"):
            text += "\n"
    elif options.shape == "visible":
        text = _api.visible(text)
    return text, messages


_indexes: dict[str, Index] = {}


def load(path: str | None) -> Index | None:
    """The index image at `path`, loaded once per process; None for the default index."""
    if path is None:
        return None
    if path not in _indexes:
        _indexes[path] = _api.load_index(path)
    return _indexes[path]


def convert_file(name: str, output: str | None, options: Options,
                 report: Callable[[list[str]], None] | None = None) -> Outcome:
    """Converts one file. Its findings are returned, or handed to `report` before the output is
    written, so that on a terminal they come before the text."""
    source, shown, message = read(name)
    if source is None:
        return Outcome([message or ""], 1)
    text, messages = rendered(source, shown, options, load(options.index))
    if text is None:
        return Outcome(messages, 1)
    if report is not None:
        report(messages)
        messages = []
    failed = write(text, output)
    if failed:
        return Outcome([*messages, failed], 1)
    return Outcome(messages, 0)


def _convert_task(task: tuple[str, str, Options]) -> Outcome:
    return convert_file(*task)


def _progress(total: int, err: TextIO) -> Callable[[], None]:
    """A step of a progress bar on a terminal, for many files; otherwise nothing."""
    if total < PROGRESS_FROM or not err.isatty():
        return lambda: None
    try:
        from tqdm import tqdm  # type: ignore[import-untyped, unused-ignore]
    except ImportError:  # the bar is an extra: glyphloom[cli]
        return lambda: None
    bar = tqdm(total=total, file=err, unit="file", leave=False)
    return lambda: bar.update(1)


def convert_files(names: Sequence[str], folder: str, options: Options, jobs: int,
                  err: TextIO) -> Iterator[Outcome]:
    """The outcome of converting each file into `folder`, in the order of `names`."""
    tasks = [(name, os.path.join(folder, os.path.splitext(os.path.basename(name))[0]
                                 + extension(options)), options) for name in names]
    step = _progress(len(tasks), err)
    if jobs <= 1:
        for task in tasks:
            outcome = _convert_task(task)
            step()
            yield outcome
        return
    with ProcessPoolExecutor(max_workers=jobs) as pool:
        for outcome in pool.map(_convert_task, tasks):
            step()
            yield outcome
