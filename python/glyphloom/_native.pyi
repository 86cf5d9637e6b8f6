"""Type stubs of glyphloom._native, the package's hot paths over the C++ core."""

from collections.abc import Callable
from typing import Literal

from _glyphloom import Converter, Index

from ._types import GlyphloomWarning, Styled

def convert(
    source: str, mode: Literal["warn", "error", "lenient"] = "warn", index: Index | None = None
) -> str: ...
def convert_with_warnings(
    source: str, mode: Literal["warn", "error", "lenient"] = "warn", index: Index | None = None
) -> tuple[str, list[GlyphloomWarning]]: ...
def to_glyphloom(text: str, index: Index | None = None) -> str: ...
def meta_runs(text: str, index: Index | None = None) -> Styled: ...
def markup_html(
    source: str,
    mode: Literal["warn", "error", "lenient"] = "warn",
    index: Index | None = None,
    effects: bool = True,
    stacklevel: int = 1,
) -> str: ...
def text_html(
    text: str, index: Index | None = None, effects: bool = True, stacklevel: int = 1
) -> str: ...
def runs_html(
    text: str,
    runs: list[tuple[str, str, int, int, int]],
    index: Index | None = None,
    effects: bool = True,
) -> str: ...
def image_of(obj: Index | Converter) -> bytes | None: ...
def configure(
    make_error: Callable[[str, str, str | None, int, int, int, Index | None, bool], BaseException],
    make_warning: Callable[[str, int, int, int, Index | None, bool], GlyphloomWarning],
    run: Callable[..., object],
    run_warning: Callable[[str, int], object],
    styled: Callable[..., Styled],
) -> None: ...
