"""The values and exceptions of the glyphloom API."""

from __future__ import annotations

import bisect
import warnings
from collections.abc import Callable
from typing import NamedTuple


class _RunFields(NamedTuple):
    key: str
    value: str
    start: int
    end: int
    byte: int


class Run(_RunFields):
    """One meta applied to the plain-text bytes ``start``..``end`` (UTF-8 offsets).

    ``char_start``..``char_end`` are the same stretch in characters, so
    ``styled.text[run.char_start:run.char_end]`` is its text; they are None for a run made by
    hand without them. ``byte`` is the offset, in the tagged text, of the meta sequence that
    made the run. A run is still the 5-tuple (key, value, start, end, byte).
    """

    char_start: int | None = None
    char_end: int | None = None

    def __new__(cls, key: str, value: str, start: int, end: int, byte: int,
                char_start: int | None = None, char_end: int | None = None) -> Run:
        run = super().__new__(cls, key, value, start, end, byte)
        if char_start is not None:
            run.char_start = char_start
        if char_end is not None:
            run.char_end = char_end
        return run


class RunWarning(NamedTuple):
    """A finding of the run splitter: a message and a byte offset in the tagged text."""

    message: str
    byte: int


class Styled(NamedTuple):
    """Tagged text split into its plain text, its runs and the findings about its metas."""

    text: str
    runs: list[Run]
    warnings: list[RunWarning]

    def text_of(self, run: Run) -> str:
        """The stretch of plain text that ``run`` covers."""
        if run.char_start is not None and run.char_end is not None:
            return self.text[run.char_start : run.char_end]
        return self.text.encode("utf-8")[run.start : run.end].decode("utf-8", "replace")


class Match(NamedTuple):
    """A name that ``search`` found.

    ``text`` is what the name gives, ``markup`` its shortest spelling that converts back to the
    text (``\\:name`` for a short-reference name, else ``<:name>``), ``name`` the key itself,
    ``code_points`` the text's code points ("U+2264", several separated by spaces) and
    ``names`` every other key with the same text.
    """

    text: str
    markup: str
    name: str
    code_points: str
    names: tuple[str, ...]


class GlyphloomWarning(UserWarning):
    """A non-fatal finding of a conversion, placed in the source.

    ``byte`` is the UTF-8 offset from the start of the source; ``line`` and ``column`` count
    from 1, the column in characters.
    """

    def __init__(self, message: str, byte: int, line: int, column: int) -> None:
        super().__init__(message, byte, line, column)
        self.message = message
        self.byte = byte
        self.line = line
        self.column = column

    def __str__(self) -> str:
        return f"{self.message} (line {self.line}, column {self.column})"

    def __repr__(self) -> str:
        return (
            f"GlyphloomWarning({self.message!r}, byte={self.byte}, "
            f"line={self.line}, column={self.column})"
        )

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, GlyphloomWarning):
            return NotImplemented
        return self.args == other.args

    def __hash__(self) -> int:
        return hash(self.args)


class ConversionError(ValueError):
    """The markup could not be converted.

    ``kind`` names the error ("UnknownEntity", "Unclosed", "InvalidMeta", "Unsupported"),
    ``detail`` is what the converter reports with it (the unknown name, the unclosed rest of the
    source, the content of the bad meta tag, or the message of the fatal warning), ``byte`` its
    UTF-8 offset in the source, ``line`` and ``column`` its place counted from 1.
    """

    kind = "ConversionError"

    def __init__(self, message: str, detail: str, byte: int, line: int, column: int) -> None:
        super().__init__(message, detail, byte, line, column)
        self.message = message
        self.detail = detail
        self.byte = byte
        self.line = line
        self.column = column

    def __str__(self) -> str:
        return f"{self.message} (line {self.line}, column {self.column})"


class UnknownEntityError(ConversionError):
    """A tag or short reference names nothing the index knows.

    ``suggestions`` holds up to three names that it may have meant, as markup (best first);
    the message ends with them as "(did you mean …?)". They are looked for when first asked
    for, so raising the error costs no search.
    """

    kind = "UnknownEntity"

    def __init__(self, message: str, detail: str, byte: int, line: int, column: int,
                 suggestions: list[str] | None = None,
                 find: Callable[[], list[str]] | None = None) -> None:
        self._base = message
        self._suggestions = None if suggestions is None else list(suggestions)
        self._find = find
        super().__init__(message, detail, byte, line, column)

    @property
    def suggestions(self) -> list[str]:
        if self._suggestions is None:
            find, self._find = self._find, None
            self._suggestions = list(find()) if find else []
        return self._suggestions

    @property
    def message(self) -> str:
        return self._base + hint(self.suggestions)

    @message.setter
    def message(self, value: str) -> None:
        self._base = value

    def __reduce__(self) -> tuple[object, tuple[object, ...]]:
        # A pickled copy keeps what was found, not how to find it.
        return type(self), (self._base, self.detail, self.byte, self.line, self.column,
                            self.suggestions)


def hint(suggestions: list[str]) -> str:
    """The end of a message about an unknown name: " (did you mean A, B or C?)"."""
    if not suggestions:
        return ""
    if len(suggestions) == 1:
        return f" (did you mean {suggestions[0]}?)"
    return f" (did you mean {', '.join(suggestions[:-1])} or {suggestions[-1]}?)"


class UnclosedError(ConversionError):
    """A ``<:`` has no ``>`` after it."""

    kind = "Unclosed"


class InvalidMetaError(ConversionError):
    """A meta key is followed by a value that a meta cannot carry."""

    kind = "InvalidMeta"


class UnsupportedError(ConversionError):
    """A warning made the conversion fail (mode "error")."""

    kind = "Unsupported"

    @property
    def warning(self) -> GlyphloomWarning:
        """The warning that became fatal."""
        return GlyphloomWarning(self.message, self.byte, self.line, self.column)


ERROR_TYPES: dict[str, type[ConversionError]] = {
    cls.kind: cls for cls in (UnknownEntityError, UnclosedError, InvalidMetaError, UnsupportedError)
}


class Positions:
    """Turns UTF-8 byte offsets of one text into (line, column), both counted from 1."""

    def __init__(self, text: str) -> None:
        self.data = text.encode("utf-8", "surrogatepass")
        self.starts = [0]
        at = self.data.find(b"\n")
        while at >= 0:
            self.starts.append(at + 1)
            at = self.data.find(b"\n", at + 1)

    def place(self, byte: int) -> tuple[int, int]:
        byte = max(0, min(byte, len(self.data)))
        line = bisect.bisect_right(self.starts, byte)
        before = self.data[self.starts[line - 1] : byte]
        # Count characters: every byte that does not continue a UTF-8 sequence starts one.
        column = sum(1 for b in before if b & 0xC0 != 0x80) + 1
        return line, column

    def warning(self, message: str, byte: int) -> GlyphloomWarning:
        return GlyphloomWarning(message, byte, *self.place(byte))


def __getattr__(name: str) -> object:
    # The run splitter's finding was called Warning, which hid the builtin where it was imported.
    if name == "Warning":
        warnings.warn("glyphloom.Warning is deprecated; use glyphloom.RunWarning",
                      DeprecationWarning, stacklevel=2)
        return RunWarning
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
