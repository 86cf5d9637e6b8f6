"""Index and Converter travel by their image: pickled, each rebuilds over the same bytes.

The default index pickles as itself (no bytes), a caller's index as its bytes, and a converter
as the index it reads. Registered with ``copyreg`` when the package is imported, so ``pickle``,
``copy`` and process pools take them as they are.
"""

from __future__ import annotations

import copyreg
from collections.abc import Callable

from _glyphloom import Converter, Index

from . import _native


def _index(data: bytes | None) -> Index:
    return Index() if data is None else Index(data)


def _converter(data: bytes | None) -> Converter:
    return Converter(_index(data))


def _reduce_index(index: Index) -> tuple[Callable[[bytes | None], Index], tuple[bytes | None]]:
    return _index, (_native.image_of(index),)


def _reduce_converter(
    converter: Converter,
) -> tuple[Callable[[bytes | None], Converter], tuple[bytes | None]]:
    return _converter, (_native.image_of(converter),)


copyreg.pickle(Index, _reduce_index)
copyreg.pickle(Converter, _reduce_converter)
