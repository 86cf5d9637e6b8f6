"""glyphloom in Python-Markdown (and so in MkDocs).

    markdown.markdown(text, extensions=["glyphloom"])

Markup in the text of the page becomes its characters, and metas become the spans that
``glyphloom.to_html`` renders, each closed within its block. Code spans, code blocks, raw HTML
and attributes are left alone. The conversion is lenient: an unknown name stays as written, with
a ``GlyphloomWarning``. The option ``index`` takes the path of a GLX image to use instead of the
default index.
"""

from __future__ import annotations

import re
import xml.etree.ElementTree as etree
from typing import Any

import markdown
from markdown.extensions import Extension
from markdown.inlinepatterns import InlineProcessor
from markdown.treeprocessors import Treeprocessor

from _glyphloom import Index

from ._api import load_index
from ._blocks import Node, Span, convert_block

# What Markdown's inline patterns must not take apart: a whole tag (up to its `>`, and not
# across a code span or a stashed element) and a short reference.
MARKUP = r"<:[^>`\x02\x03]*>|\\:[A-Za-z0-9_-]*"
# Elements whose text is not the page's prose.
LEFT_ALONE = {"code", "pre", "kbd", "samp", "script", "style", "math"}
# Markdown's placeholders in text: an escaped character is its code between STX and ETX; any
# other (a stashed piece of raw HTML) stands for something that is no text.
_ESCAPED = re.compile("\x02([0-9]+)\x03")
_PLACEHOLDER = re.compile("(\x02(?![0-9]+\x03)[^\x02\x03]*\x03)")


class _Protect(InlineProcessor):
    """Keeps glyphloom markup whole through the inline patterns that run after it."""

    def handleMatch(  # type: ignore[override]  # noqa: N802 - as the base class has it
        self, m: re.Match[str], data: str
    ) -> tuple[etree.Element | str | None, int | None, int | None]:
        return m.group(0), m.start(0), m.end(0)


# A text slot of the tree: an element and whether its text or its tail is meant.
_Slot = tuple[etree.Element, str]


class _Convert(Treeprocessor):
    """Converts the markup in the text of every block, after the inline patterns have run."""

    def __init__(self, md: markdown.Markdown, index: Index | None) -> None:
        super().__init__(md)
        self.index = index

    def run(self, root: etree.Element) -> None:
        blocks = [element for element in root.iter()
                  if element.tag not in LEFT_ALONE and self._is_block(element)]
        for block in blocks:
            slots: list[_Slot] = []
            self._slots(block, slots)
            self._convert(block, slots)

    def _is_block(self, element: etree.Element) -> bool:
        return bool(self.md.is_block_level(element.tag))

    def _slots(self, element: etree.Element, slots: list[_Slot]) -> None:
        """The text slots of the element's inline content, in the order of the page."""
        slots.append((element, "text"))
        for child in element:
            if not (child.tag in LEFT_ALONE or self._is_block(child)):
                self._slots(child, slots)
            slots.append((child, "tail"))

    def _convert(self, block: etree.Element, slots: list[_Slot]) -> None:
        # Every slot splits into pieces of text and the placeholders between them.
        pieces: list[str] = []
        layout: list[list[str | int]] = []
        for element, attribute in slots:
            text = getattr(element, attribute) or ""
            if isinstance(text, markdown.util.AtomicString):
                layout.append([text])
                continue
            parts: list[str | int] = []
            for i, part in enumerate(_PLACEHOLDER.split(text)):
                if i % 2:
                    parts.append(part)
                else:
                    parts.append(len(pieces))
                    pieces.append(_ESCAPED.sub(lambda m: chr(int(m.group(1))), part))
            layout.append(parts)
        rendered = convert_block(pieces, self.index)
        if rendered is None:
            return
        parents = {child: parent for parent in block.iter() for child in parent}
        for (element, attribute), parts in zip(slots, layout):
            nodes: list[Node] = []
            for part in parts:
                nodes += [part] if isinstance(part, str) else rendered[part]
            self._place(element, attribute, nodes, parents)

    @staticmethod
    def _place(element: etree.Element, attribute: str, nodes: list[Node],
               parents: dict[etree.Element, etree.Element]) -> None:
        texts, spans = _split(nodes)
        setattr(element, attribute, texts or None)
        if not spans:
            return
        if attribute == "text":
            parent, at = element, 0
        else:
            parent = parents[element]
            at = list(parent).index(element) + 1
        for offset, span in enumerate(spans):
            parent.insert(at + offset, span)


def _split(nodes: list[Node]) -> tuple[str, list[etree.Element]]:
    """The leading text of the nodes and their elements, each with the text after it as tail."""
    lead: list[str] = []
    elements: list[etree.Element] = []
    for node in nodes:
        if isinstance(node, str):
            if elements:
                elements[-1].tail = (elements[-1].tail or "") + node
            else:
                lead.append(node)
        else:
            elements.append(_element(node))
    return "".join(lead), elements


def _element(span: Span) -> etree.Element:
    element = etree.Element(span.tag, {k: v or "" for k, v in span.attrs})
    element.text, children = _split(span.children)
    element.extend(children)
    # Its text is converted already: nothing after this may read it as markup again.
    element.text = markdown.util.AtomicString(element.text)
    return element


class GlyphloomExtension(Extension):
    """The Python-Markdown extension: ``extensions=["glyphloom"]``."""

    def __init__(self, **kwargs: Any) -> None:
        self.config = {"index": ["", "path of a GLX index image; empty for the default index"]}
        super().__init__(**kwargs)

    def extendMarkdown(self, md: markdown.Markdown) -> None:  # noqa: N802 - Markdown's name
        path = self.getConfig("index")
        index = load_index(path) if path else None
        # After code spans and backslash escapes, before links and emphasis.
        md.inlinePatterns.register(_Protect(MARKUP, md), "glyphloom", 175)
        # After the inline patterns and before the table of contents reads the headings.
        md.treeprocessors.register(_Convert(md, index), "glyphloom", 15)


def makeExtension(**kwargs: Any) -> GlyphloomExtension:  # noqa: N802 - Markdown's name
    return GlyphloomExtension(**kwargs)
