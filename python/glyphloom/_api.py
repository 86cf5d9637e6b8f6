"""The functions of the glyphloom API, over the extension module _glyphloom."""

from __future__ import annotations

import html as _html
import operator
import os
import threading
import warnings
from collections.abc import Callable, Iterable
from typing import Literal, Union

from _glyphloom import Converter, Index, meta_at

from . import _native, _search
from ._types import (
    ERROR_TYPES,
    ConversionError,
    GlyphloomWarning,
    Match,
    Run,
    RunWarning,
    Styled,
    UnknownEntityError,
    hint,
)

Mode = Literal["warn", "error", "lenient"]
PathOrBytes = Union[str, os.PathLike[str], bytes, bytearray, memoryview]

_default: Converter | None = None
_default_lock = threading.Lock()


def default_converter() -> Converter:
    """A ``Converter`` over the default index, made on first use and then shared.

    It is for calling the module's methods directly; the package's functions convert through
    its compiled module, each thread with a core of its own. A converter serialises its own
    calls, so it can be used from several threads at once.
    """
    global _default
    converter = _default
    if converter is None:
        with _default_lock:
            if _default is None:
                _default = Converter(Index())
            converter = _default
    return converter


def load_index(path_or_bytes: PathOrBytes) -> Index:
    """An index from the bytes of a GLX1 image, or from the file holding them.

    A ``str`` is a file name. Raises ``OSError`` when the file cannot be read and
    ``ValueError`` when the bytes are no glyphloom index.
    """
    if isinstance(path_or_bytes, (bytes, bytearray, memoryview)):
        return Index(bytes(path_or_bytes))
    path = os.fspath(path_or_bytes)
    with open(path, "rb") as file:
        data = file.read()
    try:
        return Index(data)
    except ValueError as error:
        raise ValueError(f"{path}: {error}") from None


def _shortened(text: str, width: int = 30) -> str:
    line = text.split("\n", 1)[0]
    return line if len(line) <= width and line == text else line[:width] + "…"


UNKNOWN = "unknown glyphloom entity: "


def _suggester(name: str, short: bool, index: Index | None) -> Callable[[], list[str]]:
    """How to find what an unknown name may have meant, spelled the way it was written."""
    return lambda: _search.searcher(index).suggestions(name, short)


def _make_error(kind: str, detail: str, message: str | None, byte: int, line: int, column: int,
                index: Index | None, short: bool) -> ConversionError:
    """The package's error for a failed conversion, placed by the core."""
    if message is None:
        if kind == "Unclosed":
            # The detail is the rest of the source from the unclosed "<:".
            message = "unclosed <: at " + _shortened(detail)
        elif kind == "InvalidMeta":
            message = f"invalid meta value in <:{detail}>"
        else:
            message = UNKNOWN + detail
    if kind == "UnknownEntity":
        return UnknownEntityError(message, detail, byte, line, column,
                                  find=_suggester(detail, short, index))
    cls = ERROR_TYPES.get(kind, ConversionError)
    result = cls(message, detail, byte, line, column)
    if cls is ConversionError:
        result.kind = kind
    return result


def _make_warning(message: str, byte: int, line: int, column: int, index: Index | None,
                  short: bool) -> GlyphloomWarning:
    """A finding placed in the source; an unknown name kept in lenient mode gets its hint."""
    if message.startswith(UNKNOWN):
        message += hint(_suggester(message[len(UNKNOWN):], short, index)())
    return GlyphloomWarning(message, byte, line, column)


_native.configure(_make_error, _make_warning, Run, RunWarning, Styled)

# The conversions are the native module's functions themselves: a call goes straight to the core.
convert = _native.convert
convert_with_warnings = _native.convert_with_warnings
to_glyphloom = _native.to_glyphloom
meta_runs = _native.meta_runs


def html(
    text: str, runs: Iterable[tuple[str, str, int, int, int]], index: Index | None = None,
    effects: bool = True,
) -> str:
    """Renders plain text and its runs (as ``meta_runs`` gives them) as an HTML fragment.

    With ``effects`` a character followed by effect suffixes (a colour's TAG letter, a turn, the
    Egyptian mirror) is shown that way: it and its suffixes go into a span with that colour or
    transform. The characters stay in the text either way.
    """
    return _native.runs_html(text, list(runs), index, effects)


def search(query: str, limit: int = 20, index: Index | None = None) -> list[Match]:
    """The names that fit a query, best first, one ``Match`` per text.

    The query is words in any case, joined by spaces, ``-`` or ``_`` (``less than or equal``),
    the starts of words (``hira``), words with typos (``alpah``: one edit in a word of four to
    seven letters, two in a longer one), a pasted character (``⊕``) or a code point
    (``U+2295``). Ranked: the exact key (or the character), the key ignoring case and
    separators, keys with every word, fewer other words first, then prefix matches, then typo
    matches; within a rank shorter keys and plain names before composed ones, then by key.

    >>> [(m.text, m.name) for m in search("alpha", limit=2)]
    [('α', 'alpha'), ('Α', 'Alpha')]
    """
    if not isinstance(query, str):
        raise TypeError(f"search() query must be str, not {type(query).__name__}")
    limit = operator.index(limit)
    if limit < 0:
        raise ValueError("search() limit must not be negative")
    query.encode("utf-8")  # lone surrogates are no text to search for
    return _search.searcher(index).search(query, limit)


def is_markup(text: str) -> bool:
    """Whether the text looks like markup: it has a tag or a short reference and carries no
    metas (text that carries metas has been converted already). Nothing in the package guesses
    with it any more; ``to_html`` takes markup and ``text_to_html`` converted text."""
    if any("\U000e0000" <= ch <= "\U000e007f" for ch in text):
        return False
    return "<:" in text or "\\:" in text


def html_page(fragment: str, title: str = "glyphloom", lang: str | None = None) -> str:
    """A complete HTML page around a fragment; line breaks of the text are kept."""
    lang_attribute = f' lang="{_html.escape(lang)}"' if lang else ""
    return (
        f"<!DOCTYPE html>\n<html{lang_attribute}>\n<head>\n<meta charset=\"utf-8\">\n"
        f"<title>{_html.escape(title)}</title>\n"
        "<style>body { white-space: pre-wrap; font-size: 1.25em; line-height: 1.6;"
        " margin: 2em; }</style>\n"
        f"</head>\n<body>{fragment}</body>\n</html>\n"
    )


def to_html(
    source: str,
    *,
    mode: Mode = "warn",
    index: Index | None = None,
    page: bool = False,
    title: str = "glyphloom",
    effects: bool = True,
    **deprecated: object,
) -> str:
    """Converts markup and renders it as HTML: a fragment, or a complete page when ``page`` is
    true.

    The argument is always markup; ``text_to_html`` renders text that is converted already.
    Conversion errors raise ``ConversionError``; the findings of the conversion and of the run
    splitter are issued as ``GlyphloomWarning`` (the latter placed in the converted text).
    ``effects`` shows effect suffixes as colours and transforms (see ``html``).
    """
    if "markup" in deprecated:
        # The old switch between markup and converted text (None: guess).
        warnings.warn("to_html(markup=...) is deprecated; use text_to_html for converted text",
                      DeprecationWarning, stacklevel=2)
        choice = deprecated.pop("markup")
        if not (is_markup(source) if choice is None else choice):
            return text_to_html(source, index=index, page=page, title=title, effects=effects)
    if deprecated:
        raise TypeError(f"to_html() got an unexpected keyword argument {next(iter(deprecated))!r}")
    fragment = _native.markup_html(source, mode, index, effects, 2)
    return html_page(fragment, title) if page else fragment


def text_to_html(
    text: str, *, index: Index | None = None, page: bool = False, title: str = "glyphloom",
    effects: bool = True,
) -> str:
    """Renders converted text (which carries its metas) as HTML, as it stands: nothing in it is
    read as markup. The run splitter's findings are issued as ``GlyphloomWarning``; ``effects``
    shows effect suffixes as colours and transforms (see ``html``)."""
    fragment = _native.text_html(text, index, effects, 2)
    return html_page(fragment, title) if page else fragment


def visible(text: str) -> str:
    """The text with its invisible characters shown.

    Metas are shown as ``⟨font han-japanese⟩`` (opening), ``⟨/font⟩`` (closing) and
    ``⟨:color red⟩`` (attached to the character before it); other TAG characters, variation
    selectors, joiners and other format or control characters (except line feed and tab) as
    ``⟨U+E0072⟩``.
    """
    out: list[str] = []
    i, n = 0, len(text)
    while i < n:
        ch = text[i]
        if "\U000e0000" <= ch <= "\U000e007f":
            j = i
            while j < n and "\U000e0000" <= text[j] <= "\U000e007f":
                j += 1
                if text[j - 1] == "\U000e007f":
                    break
            found = meta_at(text[i:j])
            if found is not None:
                (kind, key, value), length = found
                out.append({"open": f"⟨{key} {value}⟩", "close": f"⟨/{key}⟩",
                            "attached": f"⟨:{key} {value}⟩"}[kind])
                i += length // 4  # every TAG character takes four bytes
                continue
        if _is_invisible(ch):
            out.append(f"⟨U+{ord(ch):04X}⟩")
        else:
            out.append(ch)
        i += 1
    return "".join(out)


def _is_invisible(ch: str) -> bool:
    code = ord(ch)
    if ch in "\n\t":
        return False
    return (
        code < 0x20
        or 0x7F <= code < 0xA0
        or code == 0xAD
        or 0x200B <= code <= 0x200F
        or 0x2028 <= code <= 0x202E
        or 0x2060 <= code <= 0x206F
        or 0xFE00 <= code <= 0xFE0F
        or code == 0xFEFF
        or 0x13430 <= code <= 0x1345F
        or 0xE0000 <= code <= 0xE0FFF
    )
