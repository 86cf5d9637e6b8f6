"""The command line: ``glyphloom COMMAND`` or ``python -m glyphloom COMMAND``."""

from __future__ import annotations

import argparse
import os
import sys
import unicodedata
from collections.abc import Sequence
from typing import NoReturn, TextIO, cast

from _glyphloom import Index

from . import _api, _batch, _search
from ._types import ConversionError, GlyphloomWarning, Match, Positions, UnknownEntityError

# The language in ten lines: (markup, what it gives, what it shows). A test converts every
# line, so the help cannot drift from the library.
LANGUAGE = [
    ("<:latin-small-letter-eng>", "ŋ", "a character by its name"),
    ("\\:alpha \\:rarr", "α →", "short references"),
    ("<:bold a> <:circled 1>", "𝐚 ①", "a modifier and its operand"),
    ("<:italic bold A>", "𝑨", "styles combine"),
    ("<:iconic heavy-black-heart>", "❤⟨U+FE0F⟩", "an effect adds a suffix"),
    ("<:above 日 月>", "⿱日月", "a group of ideographs"),
    ("<:greek>alpha beta<:>", "α β", "a block: word by word"),
    ("<:lang ja>字<:/lang>", "⟨lang ja⟩字⟨/lang⟩", "a meta, invisible"),
    ("<:color red alpha>", "α⟨:color red⟩", "a meta on one tag"),
    ("<<::> \\<::>", "<: \\:", "<: and \\: as they are"),
]

DESCRIPTION = (
    "Write characters by name: convert glyphloom markup to Unicode text and HTML, and back."
)


def _width(text: str) -> int:
    """The number of terminal columns the text takes."""
    return sum(0 if unicodedata.category(ch) in ("Mn", "Me", "Cf")
               else 2 if unicodedata.east_asian_width(ch) in "WF" else 1 for ch in text)


def _padded(text: str, width: int) -> str:
    return text + " " * max(0, width - _width(text))


def _language_help() -> str:
    markup_width = max(_width(markup) for markup, _, _ in LANGUAGE) + 3
    result_width = max(_width(result) for _, result, _ in LANGUAGE) + 3
    lines = ["The language in ten lines (⟨…⟩ shows what is invisible in the text):"]
    for markup, result, meaning in LANGUAGE:
        lines.append("  " + _padded(markup, markup_width) + _padded(result, result_width) + meaning)
    return "\n".join(lines)


EPILOG = (
    _language_help()
    + "\n\nRun 'glyphloom COMMAND --help' for the options of a command. Files are read as"
    " UTF-8;\n'-' or no FILE reads standard input. Exit status: 0 done, 1 conversion error,"
    " 2 bad usage."
)


class _Failure(Exception):
    """Ends a command with a message and an exit status."""

    def __init__(self, message: str, status: int) -> None:
        super().__init__(message)
        self.status = status


def _parser() -> argparse.ArgumentParser:
    def formatter(prog: str) -> argparse.HelpFormatter:
        return argparse.RawDescriptionHelpFormatter(prog, max_help_position=28)

    parser = argparse.ArgumentParser(
        prog="glyphloom", description=DESCRIPTION, epilog=EPILOG, formatter_class=formatter
    )
    parser.add_argument("--version", action="version", version=_version())
    commands = parser.add_subparsers(dest="command", title="commands", required=True)

    def add(name: str, help: str, description: str) -> argparse.ArgumentParser:
        return commands.add_parser(
            name, help=help, description=description, formatter_class=formatter
        )

    def index_option(sub: argparse.ArgumentParser) -> None:
        sub.add_argument("--index", metavar="GLX",
                         help="use this index image instead of the default")

    def files(sub: argparse.ArgumentParser, what: str) -> None:
        sub.add_argument("file", metavar="FILE", nargs="?", default="-", help=what)
        sub.add_argument("-o", "--output", metavar="FILE",
                         help="write here, not to standard output")
        index_option(sub)

    sub = add("convert", "markup -> text (or HTML)",
              "Converts glyphloom markup into Unicode text, or into HTML with --html or --page."
              " Several files go into the folder -o DIR, each as NAME.txt (NAME.html for HTML).")
    sub.add_argument("file", metavar="FILE", nargs="*", default=["-"],
                     help="the markup to convert (standard input when none or '-')")
    sub.add_argument("-o", "--output", metavar="OUT",
                     help="write here, not to standard output: a file, or for several files a"
                     " folder")
    index_option(sub)
    sub.add_argument("--jobs", metavar="N", type=_count, default=1,
                     help="convert several files in N processes (default: 1)")
    sub.add_argument("--mode", choices=["warn", "error", "lenient"], default="warn",
                     help="warn: findings are warnings (the default); error: every finding is an"
                     " error; lenient: nothing is an error, what cannot be converted is kept")
    shape = sub.add_mutually_exclusive_group()
    shape.add_argument("--html", action="store_true", help="write an HTML fragment")
    shape.add_argument("--page", action="store_true", help="write a complete HTML page")
    shape.add_argument("--visible", action="store_true",
                       help="show metas and invisible characters as ⟨…⟩")
    sub.add_argument("--title", help="the title of the --page (default: the file's name)")

    sub = add("to-markup", "text -> markup",
              "Writes Unicode text, metas included, as glyphloom markup.")
    files(sub, "the text to write as markup")

    sub = add("runs", "tagged text -> table of runs",
              "Lists the metas that converted text carries: key, value, the UTF-8 byte range of"
              " the plain text they cover, and that text.")
    files(sub, "the converted text")

    sub = add("lookup", "what a name gives; how a character is written",
              "Shows what a name (or a whole tag such as '<:bold a>') gives, character by"
              " character, or how a character is written in markup.")
    sub.add_argument("name", metavar="NAME", nargs="+",
                     help="a name (several words are joined by spaces) or a character")
    index_option(sub)

    sub = add("search", "find the names of a character",
              "Finds names by their words (in any case, with spaces, '-' or '_'), the starts of"
              " words, words with typos, a pasted character or a code point (U+2295), best"
              " first. Exits with 1 when nothing is found.")
    sub.add_argument("words", metavar="WORDS", nargs="+", help="what to look for")
    sub.add_argument("--limit", metavar="N", type=_count, default=20,
                     help="show at most N characters (default: 20)")
    index_option(sub)

    sub = add("lsp", "the language server for editors",
              "Serves the Language Server Protocol over standard input and output: completion,"
              " hover, diagnostics and code actions for glyphloom markup. Needs pygls"
              " (pip install 'glyphloom[lsp]').")
    index_option(sub)
    return parser


def _count(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        value = 0
    if value < 1:
        raise argparse.ArgumentTypeError(f"not a positive whole number: {text}")
    return value


def _version() -> str:
    from . import GLYPHLOOM_VERSION, __version__

    return f"glyphloom {__version__} (language {GLYPHLOOM_VERSION})"


def _read(name: str) -> tuple[str, str]:
    """The text of a file (or of standard input for '-') and the name to report it under."""
    text, shown, message = _batch.read(name)
    if text is None:
        raise _Failure(message or "", 1)
    return text, shown


def _write(text: str, output: str | None) -> None:
    failed = _batch.write(text, output)
    if failed:
        raise _Failure(failed, 1)


def _index(path: str | None) -> Index | None:
    if path is None:
        return None
    try:
        return _api.load_index(path)
    except OSError as error:
        raise _Failure(f"glyphloom: cannot read {path}: {error.strerror}", 1) from None
    except ValueError as error:
        raise _Failure(f"glyphloom: {error}", 1) from None


def _convert(args: argparse.Namespace, err: TextIO) -> None:
    shape = "page" if args.page else "html" if args.html else "visible" if args.visible else "text"
    options = _batch.Options(args.mode, shape, args.title, args.index)
    names: list[str] = args.file or ["-"]
    if len(names) == 1 and not (args.output and os.path.isdir(args.output)):
        _index(args.index)  # a bad index is reported before anything else
        outcome = _batch.convert_file(names[0], args.output, options,
                                      lambda found: _report_outcome(_batch.Outcome(found, 0), err))
        _report_outcome(outcome, err)
        return
    folder = _folder(names, args.output, options)
    _index(args.index)
    status = 0
    for outcome in _batch.convert_files(names, folder, options, args.jobs, err):
        _report_outcome(outcome, err, stop=False)
        status = max(status, outcome.status)
    if status:
        raise _Failure("", status)


def _folder(names: list[str], output: str | None, options: _batch.Options) -> str:
    """The folder that several files are converted into, made if it is not there."""
    if output is None:
        raise _Failure("glyphloom: several files need a folder to go into: -o DIR", 2)
    if "-" in names:
        raise _Failure("glyphloom: standard input ('-') cannot be one of several files", 2)
    targets = [os.path.splitext(os.path.basename(n))[0] + _batch.extension(options) for n in names]
    clash = next((t for t in targets if targets.count(t) > 1), None)
    if clash:
        raise _Failure(f"glyphloom: two files would both be written to {clash}", 2)
    try:
        os.makedirs(output, exist_ok=True)
    except OSError as error:
        raise _Failure(f"glyphloom: cannot make {output}: {error.strerror}", 1) from None
    return output


def _report_outcome(outcome: _batch.Outcome, err: TextIO, stop: bool = True) -> None:
    err.flush()
    for message in outcome.messages:
        print(message, file=err)
    if outcome.status and stop:
        raise _Failure("", outcome.status)


def _to_markup(args: argparse.Namespace, err: TextIO) -> None:
    text, _ = _read(args.file)
    _write(_api.to_glyphloom(text, _index(args.index)), args.output)


def _escaped(text: str) -> str:
    return _api.visible(text).replace("\n", "\\n").replace("\t", "\\t")


def _runs(args: argparse.Namespace, err: TextIO) -> None:
    tagged, name = _read(args.file)
    styled = _api.meta_runs(tagged, _index(args.index))
    positions = Positions(tagged)
    for message, byte in styled.warnings:
        line, column = positions.place(byte)
        print(f"{name}:{line}:{column}: warning: {message}", file=err)
    rows = [("key", "value", "bytes", "text")]
    rows += [(run.key, run.value, f"{run.start}..{run.end}", _escaped(styled.text_of(run)))
             for run in styled.runs]
    widths = [max(len(row[i]) for row in rows) for i in range(3)]
    lines = ["  ".join([*(cell.ljust(w) for cell, w in zip(row, widths)), row[3]]).rstrip()
             for row in rows]
    _write("\n".join(lines) + "\n", args.output)


def _shown(text: str) -> str:
    """Text for a terminal: invisible characters as ⟨U+…⟩, a combining mark on a dotted
    circle."""
    shown = _api.visible(text)
    return "\u25cc" + shown if shown and _combining(shown[0]) else shown


def _characters(text: str, index: Index | None) -> list[str]:
    """A line for each character: its code point, itself, its spelling and its other names."""
    searcher = _search.searcher(index)
    lines = []
    for ch in text:
        shown = _shown(ch)
        code = f"  U+{ord(ch):04X}".ljust(11)
        spelling = _api.to_glyphloom(ch, index)
        spelled = spelling[2:-1] if spelling.startswith("<:") else spelling[2:]
        others = [name for name in searcher.names(ch) if name != spelled]
        also = f"  also {', '.join(others)}" if others else ""
        lines.append(code + _padded("" if shown.startswith("⟨") else shown, 3) + spelling + also)
    return lines


def _combining(ch: str) -> bool:
    return unicodedata.category(ch) in ("Mn", "Me")


def _spelled(text: str, index: Index | None) -> str:
    head = f"{_api.visible(text)} is written {_api.to_glyphloom(text, index)}"
    return "\n".join([head, *_characters(text, index)]) + "\n"


def _joined(words: Sequence[str]) -> str:
    """Words of the command line as one text; bytes that were no UTF-8 are bad usage."""
    text = " ".join(words)
    try:
        text.encode("utf-8")
    except UnicodeEncodeError:
        raise _Failure("glyphloom: the arguments are not UTF-8 text", 2) from None
    return text


def _lookup(args: argparse.Namespace, err: TextIO) -> None:
    name = _joined(args.name)
    index = _index(args.index)
    if len(name) == 1:
        _write(_spelled(name, index), None)
        return
    markup = name if name.startswith(("<:", "\\:")) else f"<:{name}>"
    try:
        text, found = _api.convert_with_warnings(markup, "warn", index)
    except ConversionError as error:
        if isinstance(error, UnknownEntityError) and not name.isascii():
            _write(_spelled(name, index), None)  # not a name: text to write as markup
            return
        raise _Failure(f"glyphloom: {error.message}", 1) from None
    for warning in found:
        print(f"glyphloom: warning: {warning.message}", file=err)
    head = f"{markup} gives {_api.visible(text)}"
    _write("\n".join([head, *_characters(text, index)]) + "\n", None)


def _table(matches: list[Match]) -> str:
    rows = [("char", "code points", "markup", "other names")]
    rows += [(_shown(m.text), m.code_points, m.markup, ", ".join(m.names)) for m in matches]
    widths = [max(_width(row[i]) for row in rows) for i in range(3)]
    lines = ["  ".join([*(_padded(cell, w) for cell, w in zip(row, widths)), row[3]]).rstrip()
             for row in rows]
    return "\n".join(lines) + "\n"


def _find(args: argparse.Namespace, err: TextIO) -> None:
    query = _joined(args.words)
    matches = _api.search(query, args.limit, _index(args.index))
    if not matches:
        raise _Failure(f"glyphloom: no name found for {query}", 1)
    _write(_table(matches), None)


def _lsp(args: argparse.Namespace, err: TextIO) -> None:
    index = _index(args.index)
    try:
        from . import lsp
    except ImportError as error:
        raise _Failure(f"glyphloom: the language server needs pygls ({error}); install it with"
                       " pip install 'glyphloom[lsp]'", 2) from None
    lsp.main(index)


COMMANDS = {"convert": _convert, "to-markup": _to_markup, "runs": _runs, "lookup": _lookup,
            "search": _find, "lsp": _lsp}


def main(argv: Sequence[str] | None = None) -> int:
    """Runs the command line; returns the exit status."""
    args = _parser().parse_args(argv)
    err = sys.stderr
    try:
        COMMANDS[args.command](args, err)
    except _Failure as failure:
        err.flush()
        if str(failure):
            print(failure, file=err)
        return failure.status
    except BrokenPipeError:
        # The reader went away (as `glyphloom ... | head` does): not an error of ours.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 1
    except BaseException as error:
        # The module's internal error: an index image whose tables are malformed.
        if type(error).__module__ != Index.__module__:
            raise
        err.flush()
        print(f"glyphloom: malformed index: {error}", file=err)
        return 1
    return 0
