"""glyphloom: write characters by name.

glyphloom is a markup language for Unicode text: ``<:latin-small-letter-eng>`` is ŋ,
``\\:alpha`` is α, ``<:bold a>`` is 𝐚, and metas such as ``<:font han-japanese>`` travel
invisibly in the converted text and become HTML spans.

>>> import glyphloom
>>> glyphloom.convert("<:latin-small-letter-eng> and \\\\:alpha")
'ŋ and α'
>>> glyphloom.to_glyphloom("ŋ")
'<:eng>'

The functions convert over the default index (each thread with a converter of its own); pass
``index=`` (see ``load_index``) to use another index. The extension module ``_glyphloom``
underneath offers the same operations as ``Index`` and ``Converter``, which pickle.
"""

# In a source tree the package's compiled module is built into another folder of the path.
from pkgutil import extend_path

__path__ = extend_path(__path__, __name__)
del extend_path

from _glyphloom import GLYPHLOOM_VERSION as GLYPHLOOM_VERSION
from _glyphloom import Converter as Converter
from _glyphloom import Index as Index

from ._api import Mode as Mode
from ._api import PathOrBytes as PathOrBytes
from ._api import convert as convert
from ._api import convert_with_warnings as convert_with_warnings
from ._api import default_converter as default_converter
from ._api import html as html
from ._api import html_page as html_page
from ._api import is_markup as is_markup
from ._api import load_index as load_index
from ._api import meta_runs as meta_runs
from ._api import search as search
from ._api import to_glyphloom as to_glyphloom
from ._api import text_to_html as text_to_html
from ._api import to_html as to_html
from ._api import visible as visible
from ._types import ConversionError as ConversionError
from ._types import GlyphloomWarning as GlyphloomWarning
from ._types import InvalidMetaError as InvalidMetaError
from ._types import Match as Match
from ._types import Run as Run
from ._types import Styled as Styled
from ._types import UnclosedError as UnclosedError
from ._types import UnknownEntityError as UnknownEntityError
from ._types import UnsupportedError as UnsupportedError
from ._types import RunWarning as RunWarning
from . import _pickling  # noqa: F401 - registers how Index and Converter pickle

from ._version import __version__ as __version__

__all__ = [
    "GLYPHLOOM_VERSION",
    "ConversionError",
    "Converter",
    "GlyphloomWarning",
    "Index",
    "InvalidMetaError",
    "Match",
    "Mode",
    "Run",
    "RunWarning",
    "Styled",
    "UnclosedError",
    "UnknownEntityError",
    "UnsupportedError",
    "convert",
    "convert_with_warnings",
    "default_converter",
    "html",
    "html_page",
    "is_markup",
    "load_index",
    "meta_runs",
    "search",
    "text_to_html",
    "to_glyphloom",
    "to_html",
    "visible",
]

# The public types show under the package's name in tracebacks and representations.
for _type in (ConversionError, GlyphloomWarning, InvalidMetaError, Match, Run, RunWarning,
              Styled, UnclosedError, UnknownEntityError, UnsupportedError):
    _type.__module__ = __name__
del _type


def __getattr__(name: str) -> object:
    # `Warning`, the old name of RunWarning, hid the builtin wherever it was imported.
    if name == "Warning":
        from . import _types

        return _types.__getattr__(name)
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
