"""The functions of the glyphloom API, over the extension module _glyphloom."""

from __future__ import annotations

import html as _html
import operator
import os
import threading
import warnings
from collections.abc import Iterable
from typing import Literal, Union

from _glyphloom import Converter, Index, meta_at

from . import _search
from ._types import (
    ERROR_TYPES,
    ConversionError,
    GlyphloomWarning,
    Match,
    Positions,
    Run,
    Styled,
    UnknownEntityError,
    Warning,
)

Mode = Literal["warn", "error", "lenient"]
PathOrBytes = Union[str, os.PathLike[str], bytes, bytearray, memoryview]

_default: Converter | None = None
_default_lock = threading.Lock()


def default_converter() -> Converter:
    """The converter over the default index that the functions of this package share.

    It is made on first use. A converter serialises its own calls, so it can be used from
    several threads at once.
    """
    global _default
    converter = _default
    if converter is None:
        with _default_lock:
            if _default is None:
                _default = Converter(Index())
            converter = _default
    return converter


def _converter(index: Index | None) -> Converter:
    return default_converter() if index is None else Converter(index)


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


def _suggested(name: str, byte: int, positions: Positions, index: Index | None) -> list[str]:
    """What an unknown name at this place may have meant, spelled the way it was written."""
    short = positions.data.startswith(b"\\:", byte)
    return _search.searcher(index).suggestions(name, short)


def _error(converter: Converter, source: str, error: tuple[str, str, tuple[str, int] | None],
           positions: Positions, index: Index | None) -> ConversionError:
    kind, detail, location = error
    if location is not None:
        message, byte = location
    elif kind == "Unclosed":
        # The detail is the rest of the source from the unclosed "<:".
        message = "unclosed <: at " + _shortened(detail)
        byte = len(positions.data) - len(detail.encode("utf-8"))
    else:
        # The converter places only fatal warnings. Every other error is the first thing that a
        # lenient conversion of the same source keeps as a warning, with its message being the
        # error's text, and that warning has the offset.
        message = (f"invalid meta value in <:{detail}>" if kind == "InvalidMeta"
                   else UNKNOWN + detail)
        _, kept, _ = converter.convert(source, "lenient")
        # (Should it not be there, the first mention of the detail is the next best place.)
        fallback = max(0, positions.data.find(detail.encode("utf-8")))
        byte = next((b for m, b in kept if m == message), fallback)
    line, column = positions.place(byte)
    if kind == "UnknownEntity":
        suggestions = _suggested(detail, byte, positions, index)
        return UnknownEntityError(message + _search.hint(suggestions), detail, byte, line, column,
                                  suggestions)
    cls = ERROR_TYPES.get(kind, ConversionError)
    result = cls(message, detail, byte, line, column)
    if cls is ConversionError:
        result.kind = kind
    return result


def _convert(source: str, mode: Mode, index: Index | None) -> tuple[str, list[GlyphloomWarning]]:
    converter = _converter(index)
    text, found, error = converter.convert(source, mode)
    if error is None and not found:
        assert text is not None
        return text, []
    positions = Positions(source)
    if error is not None:
        raise _error(converter, source, error, positions, index)
    assert text is not None
    return text, [positions.warning(_with_hint(message, byte, positions, index), byte)
                  for message, byte in found]


def _with_hint(message: str, byte: int, positions: Positions, index: Index | None) -> str:
    if not message.startswith(UNKNOWN):
        return message
    return message + _search.hint(_suggested(message[len(UNKNOWN):], byte, positions, index))


def _emit(found: Iterable[GlyphloomWarning], stacklevel: int) -> None:
    for warning in found:
        warnings.warn(warning, stacklevel=stacklevel + 1)


def convert(source: str, mode: Mode = "warn", index: Index | None = None) -> str:
    """Converts glyphloom markup into text.

    ``mode`` is "warn" (findings are warnings; unknown names and unclosed tags are errors),
    "error" (every finding is an error) or "lenient" (nothing is an error: what cannot be
    converted stays in the text, with a warning). Errors raise a ``ConversionError``; warnings
    are issued as ``GlyphloomWarning`` through the ``warnings`` module.
    """
    text, found = _convert(source, mode, index)
    _emit(found, stacklevel=2)
    return text


def convert_with_warnings(
    source: str, mode: Mode = "warn", index: Index | None = None
) -> tuple[str, list[GlyphloomWarning]]:
    """As ``convert``, but returns the warnings with the text instead of issuing them."""
    return _convert(source, mode, index)


def to_glyphloom(text: str, index: Index | None = None) -> str:
    """Writes text (with any metas it carries) as glyphloom markup."""
    return _converter(index).to_glyphloom(text)


def meta_runs(text: str, index: Index | None = None) -> Styled:
    """Splits converted text into its plain text and the runs of its metas."""
    plain, runs, found = _converter(index).meta_runs(text)
    return Styled(plain, [Run(*run) for run in runs], [Warning(*w) for w in found])


def html(
    text: str, runs: Iterable[tuple[str, str, int, int, int]], index: Index | None = None
) -> str:
    """Renders plain text and its runs (as ``meta_runs`` gives them) as an HTML fragment."""
    return _converter(index).html(text, list(runs))


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
    """Whether ``to_html`` takes the text for markup: it has a tag or a short reference and
    carries no metas yet (text that carries metas has been converted already)."""
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
    source_or_text: str,
    *,
    mode: Mode = "warn",
    index: Index | None = None,
    markup: bool | None = None,
    page: bool = False,
    title: str = "glyphloom",
) -> str:
    """Renders markup, or text that carries metas, as HTML.

    Markup is converted first (see ``is_markup``; ``markup=True`` or ``False`` decides
    instead). The text is split into runs and rendered as a fragment, or as a complete page
    when ``page`` is true. Conversion errors raise ``ConversionError``; the findings of the
    conversion and of the run splitter are issued as ``GlyphloomWarning`` (the latter placed in
    the converted text).
    """
    text = source_or_text
    if markup is None:
        markup = is_markup(text)
    if markup:
        text, found = _convert(text, mode, index)
        _emit(found, stacklevel=2)
    styled = meta_runs(text, index)
    if styled.warnings:
        positions = Positions(text)
        _emit((positions.warning(w.message, w.byte) for w in styled.warnings), stacklevel=2)
    fragment = html(styled.text, styled.runs, index)
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
