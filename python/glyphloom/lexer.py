"""A Pygments lexer for glyphloom source: ``pygmentize -l glyphloom file.glyphloom``.

The header is a preprocessor comment; in a tag, modifiers are keywords, meta keys attributes
and their values strings, and names (as short references too) entities. A closing tag is a
tag name, and the two ways of writing ``<:`` and ``\\:`` are escapes. A ``<:`` that no ``>``
closes is an error, and so is a ``\\:`` without a name. Which words are modifiers and meta keys
is read from the default index.
"""

from __future__ import annotations

import functools
import re
from collections.abc import Iterator
from typing import Any, ClassVar

from pygments.lexer import Lexer, RegexLexer
from pygments.token import (
    Comment,
    Error,
    Keyword,
    Name,
    Operator,
    Punctuation,
    String,
    Text,
    Whitespace,
    _TokenType,
)

from _glyphloom import Index

_Tokens = Iterator[tuple[int, _TokenType, str]]


@functools.cache
def _index() -> Index:
    return Index()


def _is_modifier(word: str) -> bool:
    return _index().get(0, word + " ") is not None


def _is_meta_key(word: str) -> bool:
    return _index().get(4, word) is not None


def _words(text: str, at: int) -> Iterator[tuple[int, str]]:
    """The words of tag content and the spaces between them, with their offsets."""
    for found in re.finditer(r" +|[^ ]+", text):
        yield at + found.start(), found.group(0)


def _content(start: int, content: str) -> _Tokens:
    """The tokens of a tag's content, read as the converter reads it."""
    if content.startswith("/"):
        yield start, Name.Tag, content
        return
    if content == "" or _is_modifier(content):
        yield start, Keyword, content  # a block opens or closes
        return
    if len(content.encode("utf-8")) == 1 or _index().get(0, content.replace(" ", "-")) is not None:
        yield start, Name.Entity, content  # a character, or a whole name
        return
    words = list(_words(content, start))
    i = 0
    # Leading metas: a key and its value, as long as keys follow.
    while i + 2 < len(words) and words[i][1].strip() and _is_meta_key(words[i][1]):
        yield words[i][0], Name.Attribute, words[i][1]
        yield words[i + 1][0], Whitespace, words[i + 1][1]
        yield words[i + 2][0], String, words[i + 2][1]
        i += 3
        if i < len(words):
            yield words[i][0], Whitespace, words[i][1]
            i += 1
    if i == 0 and len(words) == 1 and "-" in content and _is_modifier(content.split("-")[0]):
        # `<:bold-a>`: without a space, a dash ends the modifier.
        modifier = content.split("-")[0]
        yield start, Keyword, modifier
        yield start + len(modifier), Punctuation, "-"
        yield start + len(modifier) + 1, Name.Entity, content[len(modifier) + 1:]
        return
    modifiers = i == 0
    for at, word in words[i:]:
        if not word.strip():
            yield at, Whitespace, word
        elif modifiers and _is_modifier(word):
            yield at, Keyword, word
        else:
            modifiers = False
            yield at, Name.Entity, word


def _tag(lexer: Lexer, match: re.Match[str]) -> _Tokens:
    yield match.start(), Punctuation, "<:"
    yield from _content(match.start(1), match.group(1))
    yield match.end(1), Punctuation, ">"


class GlyphloomLexer(RegexLexer):
    """glyphloom source: characters by name, metas and blocks."""

    name = "glyphloom"
    aliases: ClassVar[list[str]] = ["glyphloom"]
    filenames: ClassVar[list[str]] = ["*.glyphloom"]
    mimetypes: ClassVar[list[str]] = ["text/x-glyphloom"]
    url = "https://glyphloom.org/v1"
    flags = re.DOTALL

    tokens: ClassVar[dict[str, Any]] = {
        "root": [
            # The header, only at the very start, and the line break after it.
            (r'\A(<:glyphloom)(?=[ >][^>]*>)', Comment.Preproc, "header"),
            (r"<<::>|\\<::>", String.Escape),
            (r"\\:[A-Za-z0-9_-]+", Name.Entity),
            (r"\\:", Error),
            (r"<:([^>]*)>", _tag),
            (r"<:", Error),
            (r"[^<\\]+", Text),
            (r"[<\\]", Text),
        ],
        "header": [
            (r"version(?==)", Name.Attribute),
            (r"=", Operator),
            (r'"[^"]*"?', String),
            (r'[^>v="]+|v', Comment.Preproc),
            (r">(\r?\n)?", Comment.Preproc, "#pop"),
        ],
    }

    def __init__(self, **options: Any) -> None:
        # Leading line breaks are text, and the header must stay at the start.
        options.setdefault("stripnl", False)
        super().__init__(**options)
