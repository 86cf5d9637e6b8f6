"""Type stubs of the extension module _glyphloom, the C++ core of glyphloom."""

from collections.abc import Sequence
from typing import SupportsIndex, final

from typing_extensions import TypeAlias

GLYPHLOOM_VERSION: str

# (message, byte): a finding and its byte offset.
_WarningTuple: TypeAlias = tuple[str, int]
# (key, value, start, end, byte): a meta over the plain-text bytes start..end, made by the meta
# sequence at `byte` of the tagged text.
_RunTuple: TypeAlias = tuple[str, str, int, int, int]
# (kind, detail, location): kind is "UnknownEntity", "Unclosed", "InvalidMeta" or "Unsupported";
# only "Unsupported" carries a location.
_ErrorTuple: TypeAlias = tuple[str, str, _WarningTuple | None]

@final
class Index:
    """An entity index; lookups read its bytes in place"""

    def __new__(cls, data: bytes | bytearray | Sequence[int] | None = None) -> Index: ...
    def get(self, table_number: SupportsIndex, key: str) -> str | None: ...
    def count(self, table_number: SupportsIndex) -> int: ...
    def entry(self, table_number: SupportsIndex, key: str) -> tuple[str, str] | None: ...
    def entries(self, table_number: SupportsIndex) -> list[tuple[str, str]]: ...
    @property
    def data(self) -> bytes: ...

@final
class Converter:
    """A converter over one index"""

    def __new__(cls, index: Index) -> Converter: ...
    def convert(
        self, source: str, mode: str
    ) -> tuple[str, list[_WarningTuple], None] | tuple[None, list[_WarningTuple], _ErrorTuple]:
        """(text, warnings, None) or (None, [], error)"""
    def to_glyphloom(self, text: str) -> str: ...
    def meta_runs(self, tagged: str) -> tuple[str, list[_RunTuple], list[_WarningTuple]]:
        """(plain text, runs, warnings)"""
    def html(self, text: str, runs: Sequence[_RunTuple]) -> str: ...
    def font(self, name: str) -> tuple[str, str, list[str], list[str]] | None:
        """(name, lang, families, features)"""
    def meta_template(self, key: str) -> str | None: ...

def header(source: str) -> tuple[str, int] | None:
    """(version, length) of the header at the start of the source"""

def meta_tags(kind: str, key: str, value: str) -> str:
    """The TAG sequence of a meta: kind `open`, `close` or `attached`"""

def meta_glyphloom(kind: str, key: str, value: str) -> str:
    """The glyphloom of a meta: `<:font han-japanese>`, `<:/font>`, `color red`"""

def meta_at(text: str) -> tuple[tuple[str, str, str], int] | None:
    """(kind, key, value) of the meta sequence at the start of the text and its byte length"""

def text_hash(text: str) -> int: ...
