"""glyphloom in Sphinx, through MyST: ``extensions = ["glyphloom.sphinx"]`` in conf.py.

The extension sets up ``myst_parser`` and reads Markdown with MyST's parser and the markdown-it
plugin of ``glyphloom.markdown_it``. The findings of the conversion become Sphinx warnings at
their line of the page.
"""

from __future__ import annotations

import contextlib
import warnings
from collections.abc import Callable, Iterator
from typing import Any

from docutils import nodes
from markdown_it import MarkdownIt
from myst_parser.parsers import sphinx_ as myst_sphinx
from myst_parser.parsers.sphinx_ import MystParser
from sphinx.application import Sphinx
from sphinx.util import logging

from ._types import GlyphloomWarning
from .markdown_it import glyphloom_plugin

_logger = logging.getLogger(__name__)
# The function of MyST's Sphinx parser that makes its markdown-it parser.
_MAKER = "create_md_parser"


@contextlib.contextmanager
def _with_plugin() -> Iterator[None]:
    # MyST makes its markdown-it parser inside `parse` and offers no way to add a plugin to it,
    # so the maker it calls is wrapped for the length of one parse.
    make: Callable[..., MarkdownIt] = getattr(myst_sphinx, _MAKER)

    def made(*args: Any, **kwargs: Any) -> MarkdownIt:
        return make(*args, **kwargs).use(glyphloom_plugin)

    setattr(myst_sphinx, _MAKER, made)
    try:
        yield
    finally:
        setattr(myst_sphinx, _MAKER, make)


class GlyphloomMystParser(MystParser):
    """MyST's parser, with glyphloom markup converted in the text of the pages."""

    def parse(self, inputstring: str, document: nodes.document) -> None:
        with warnings.catch_warnings(record=True) as caught, _with_plugin():
            warnings.simplefilter("always", GlyphloomWarning)
            super().parse(inputstring, document)
        for found in caught:
            if isinstance(found.message, GlyphloomWarning):
                _logger.warning(found.message.message, type="glyphloom",
                                location=(document.settings.env.docname, found.message.line))
            else:
                warnings.warn_explicit(found.message, found.category, found.filename,
                                       found.lineno, source=found.source)


def setup(app: Sphinx) -> dict[str, Any]:
    app.setup_extension("myst_parser")
    app.add_source_parser(GlyphloomMystParser, override=True)
    return {"parallel_read_safe": True, "parallel_write_safe": True}
