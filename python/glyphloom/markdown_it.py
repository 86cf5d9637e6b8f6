"""glyphloom in markdown-it-py (and so in MyST and Sphinx).

    MarkdownIt().use(glyphloom_plugin)

Markup in the text of the page becomes its characters, and metas become the spans that
``glyphloom.to_html`` renders, each closed within its block: they are ``html_inline`` tokens
around the text, so a renderer that drops raw HTML still keeps the characters. Code spans, code
blocks, raw HTML and image descriptions are left alone. The conversion is lenient: an unknown
name stays as written, with a ``GlyphloomWarning`` placed at its line of the page.
"""

from __future__ import annotations

import re

from markdown_it import MarkdownIt
from markdown_it.rules_core import StateCore
from markdown_it.rules_inline import StateInline
from markdown_it.token import Token

from _glyphloom import Index

from ._blocks import Node, convert_block

# A whole tag (up to its `>`, not across a code span), a short reference, or `\<::>`, which
# CommonMark would read as an escaped `<`.
_MARKUP = re.compile(r"<:[^>`]*>|\\<::>|\\:[A-Za-z0-9_-]*")
# Tokens that hold the text of a block; every other token is a boundary between pieces.
_TEXT = {"text", "text_special", "softbreak"}


def _markup(state: StateInline, silent: bool) -> bool:
    """Takes a tag or a short reference whole, before backslash escapes (which would take the
    backslash of `\\:`) and emphasis can take it apart."""
    if state.src[state.pos] not in "<\\":
        return False
    found = _MARKUP.match(state.src, state.pos, state.posMax)
    if found is None:
        return False
    if not silent:
        # Text that no typographic replacement touches, joined with the text around it later.
        token = state.push("text_special", "", 0)
        token.content = token.markup = found.group(0)
        token.info = "glyphloom"
    state.pos = found.end()
    return True


def _tokens(nodes: list[Node]) -> list[Token]:
    out: list[Token] = []
    for node in nodes:
        if isinstance(node, str):
            for i, line in enumerate(node.split("\n")):
                if i:
                    out.append(Token("softbreak", "br", 0))
                if line:
                    text = Token("text", "", 0)
                    text.content = line
                    out.append(text)
        else:
            start = Token("html_inline", "", 0)
            start.content = node.start_tag
            end = Token("html_inline", "", 0)
            end.content = f"</{node.tag}>"
            out += [start, *_tokens(node.children), end]
    return out


def _convert_children(children: list[Token], index: Index | None,
                      first_line: int) -> list[Token] | None:
    pieces: list[str] = []
    layout: list[Token | int] = []
    open_piece = False
    for child in children:
        if child.type in _TEXT:
            if not open_piece:
                layout.append(len(pieces))
                pieces.append("")
                open_piece = True
            pieces[-1] += "\n" if child.type == "softbreak" else child.content
        else:
            layout.append(child)
            open_piece = False
    rendered = convert_block(pieces, index, first_line)
    if rendered is None:
        return None
    return [token for part in layout
            for token in ([part] if isinstance(part, Token) else _tokens(rendered[part]))]


def glyphloom_plugin(md: MarkdownIt, index: Index | None = None) -> None:
    """The markdown-it-py plugin: ``MarkdownIt().use(glyphloom_plugin)``; ``index`` is the
    index to use instead of the default one."""

    def convert(state: StateCore) -> None:
        for token in state.tokens:
            if token.type == "inline" and token.children:
                first_line = token.map[0] + 1 if token.map else 1
                converted = _convert_children(token.children, index, first_line)
                if converted is not None:
                    token.children = converted

    md.inline.ruler.before("escape", "glyphloom", _markup)
    # Last, after the text tokens have been joined.
    md.core.ruler.push("glyphloom", convert)
