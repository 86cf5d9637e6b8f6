"""The conversion that the Markdown plugins share: the text of one block of a page, as pieces.

A Markdown block (a paragraph, a heading, a list item, a table cell) reaches a plugin as its
text cut into pieces by inline elements: emphasis, links, code spans, raw HTML. The pieces are
converted as one glyphloom text, so that a block tag or a meta may run across emphasis, and a
meta left open ends with its block. Each piece comes back as plain strings and the spans of the
metas over it, which the plugin puts back where the piece was.
"""

from __future__ import annotations

import html.parser
import re
import warnings
from collections.abc import Sequence
from dataclasses import dataclass, field

from _glyphloom import Index

from ._api import convert_with_warnings, meta_runs
from ._api import html as render_html
from ._types import GlyphloomWarning, Positions, Run

# Joins the pieces. It is a white-space character, so that the words of an open block end at
# an element as they end at a space, and nothing the converter does to text removes it.
SEPARATOR = "\u2029"
_MARKUP = re.compile(r"<:|\\:")


@dataclass
class Span:
    """An HTML element of the rendered metas, with its start tag as the renderer wrote it."""

    tag: str
    attrs: list[tuple[str, str | None]]
    start_tag: str
    children: list[Node] = field(default_factory=list)


Node = str | Span


class _Builder(html.parser.HTMLParser):
    """Reads back the fragments that the glyphloom renderer writes: spans and escaped text."""

    def __init__(self) -> None:
        super().__init__(convert_charrefs=True)
        self.root = Span("", [], "")
        self.open = [self.root]

    def handle_starttag(self, tag: str, attrs: list[tuple[str, str | None]]) -> None:
        span = Span(tag, attrs, self.get_starttag_text() or f"<{tag}>")
        self.open[-1].children.append(span)
        self.open.append(span)

    def handle_endtag(self, tag: str) -> None:
        if len(self.open) > 1:
            self.open.pop()

    def handle_data(self, data: str) -> None:
        self.open[-1].children.append(data)


def _nodes(fragment: str) -> list[Node]:
    builder = _Builder()
    builder.feed(fragment)
    builder.close()
    return builder.root.children


def _clipped(runs: Sequence[Run], start: int, end: int) -> list[Run]:
    """The parts of the runs over the bytes start..end, counted from start."""
    return [run._replace(start=max(run.start, start) - start, end=min(run.end, end) - start)
            for run in runs if run.start < end and run.end > start]


def _render(text: str, index: Index | None,
            split: bool) -> tuple[list[list[Node]], list[GlyphloomWarning]]:
    """Converts the text and renders it; with ``split``, the text is the joined pieces, and each
    piece is rendered on its own, with its part of the runs."""
    converted, found = convert_with_warnings(text, mode="lenient", index=index)
    styled = meta_runs(converted, index)
    if styled.warnings:
        positions = Positions(converted)
        found += [positions.warning(w.message, w.byte) for w in styled.warnings]
    plain = styled.text.encode("utf-8")
    separator = SEPARATOR.encode("utf-8")
    rendered: list[list[Node]] = []
    start = 0
    for piece in plain.split(separator) if split else [plain]:
        end = start + len(piece)
        runs = _clipped(styled.runs, start, end)
        piece_text = piece.decode("utf-8", "replace")
        rendered.append(_nodes(render_html(piece_text, runs, index)))
        start = end + len(separator)
    # A piece that crosses a tag (`<:bold *a*>`) is converted with the separators in it; what
    # the converter says about those characters is not about the page.
    return rendered, [w for w in found if SEPARATOR not in w.message]


def convert_block(pieces: Sequence[str], index: Index | None = None,
                  first_line: int = 1) -> list[list[Node]] | None:
    """Converts the pieces of one block; None when there is no markup in them.

    Each piece becomes a list of strings and spans. The findings of the lenient conversion are
    issued as ``GlyphloomWarning``, placed in the block's text from ``first_line`` on.
    """
    if not any(_MARKUP.search(piece) for piece in pieces):
        return None
    rendered: list[list[Node]] | None = None
    found: list[GlyphloomWarning] = []
    if not any(SEPARATOR in piece for piece in pieces):
        rendered, found = _render(SEPARATOR.join(pieces), index, split=True)
        if len(rendered) != len(pieces):
            # A group block composes its whole text and may drop a separator with the spaces.
            rendered = None
    if rendered is None:
        rendered, found = [], []
        for piece in pieces:
            (nodes,), piece_found = _render(piece, index, split=False)
            rendered.append(nodes)
            found += piece_found
    for warning in found:
        warnings.warn(GlyphloomWarning(warning.message, warning.byte,
                                       warning.line + first_line - 1, warning.column),
                      stacklevel=3)
    return rendered
