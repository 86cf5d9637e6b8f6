"""The language server, ``glyphloom lsp``: completion, hover, diagnostics and code actions for
glyphloom markup, over stdio (pygls).

``Service`` holds everything the server knows, as plain functions of a document's text and
LSP positions, so that the server itself only wires requests to it. Positions are counted in
the unit the client and server agreed on: UTF-16 code units unless the client asked for UTF-8
or UTF-32.
"""

from __future__ import annotations

import bisect
import re
import unicodedata
from collections.abc import Iterator, Sequence
from dataclasses import dataclass
from typing import Any

from lsprotocol import types as lsp
from pygls.lsp.server import LanguageServer

from _glyphloom import Converter, Index

from . import _api, _search
from ._types import ConversionError

# How many names one completion offers; the client asks again as the user types.
LIMIT = 40
# How many unknown names of one document get quick fixes (each costs a search).
FIXED_UNKNOWNS = 100

_START = re.compile(r"[<\\]:")
_SHORT_RUN = re.compile(r"[A-Za-z0-9_-]*")
_SHORT_NAME = re.compile(r"[A-Za-z0-9_-]+")
_LINE_BREAK = re.compile(r"\r\n|\r|\n")
_SURROGATE = re.compile("[\ud800-\udfff]")
# What ends the word being typed in a tag.
_WORD_END = re.compile(r"[^ \t>\r\n<\\]*")
_ERRORS = (_api.UNKNOWN, "unclosed <: at ", "invalid meta value in ")


def _run_end(pattern: re.Pattern[str], source: str, start: int) -> int:
    """Where a run of a pattern that may be empty ends."""
    found = pattern.match(source, start)
    return found.end() if found is not None else start


@dataclass(frozen=True)
class Construct:
    """A stretch of the source that the converter reads as one thing, in character offsets:
    a short reference, a tag, a tag without its ">" (to the end of the source), or the header."""

    kind: str  # "short", "tag", "unclosed" or "header"
    start: int
    end: int


def constructs(source: str, position: int = 0) -> Iterator[Construct]:
    """The constructs of the source from a position on, found the way the converter finds
    them: the first colon after "<" or a backslash starts one, a short name runs over ASCII
    letters, digits, "-" and "_", and a tag ends at the next ">"."""
    if position == 0 and source.startswith("<:glyphloom") and source[11:12] in (" ", ">"):
        end = source.find(">", 11)
        if end >= 0:
            yield Construct("header", 0, end + 1)
            position = end + 1
    while True:
        found = _START.search(source, position)
        if found is None:
            return
        start = found.start()
        if source[start] == "\\":
            end = _run_end(_SHORT_RUN, source, start + 2)
            yield Construct("short", start, end)
            position = end
            continue
        close = source.find(">", start + 2)
        if close < 0:
            yield Construct("unclosed", start, len(source))
            return
        yield Construct("tag", start, close + 1)
        position = close + 1


class Text:
    """A document's text with the LSP positions of its characters."""

    def __init__(self, source: str, encoding: str = lsp.PositionEncodingKind.Utf16) -> None:
        # A lone surrogate (which JSON can carry) is no text to convert; U+FFFD takes its place
        # and its one unit, so every position stays where it was.
        self.source = _SURROGATE.sub("\ufffd", source)
        self.encoding = encoding
        breaks = list(_LINE_BREAK.finditer(self.source))
        self.starts = [0] + [b.end() for b in breaks]
        self.ends = [b.start() for b in breaks] + [len(self.source)]

    def units(self, text: str) -> int:
        """The length of a text in the position unit."""
        if self.encoding == lsp.PositionEncodingKind.Utf8:
            return len(text.encode("utf-8"))
        if self.encoding == lsp.PositionEncodingKind.Utf32:
            return len(text)
        return len(text.encode("utf-16-le")) // 2

    def line_of(self, offset: int) -> int:
        return max(0, bisect.bisect_right(self.starts, offset) - 1)

    def offset(self, position: lsp.Position) -> int:
        """The character offset of a position; a position past the end of its line is the end
        of the line, and one inside a character is that character's start."""
        if position.line < 0:
            return 0
        if position.line >= len(self.starts):
            return len(self.source)
        at, end = self.starts[position.line], self.ends[position.line]
        left = position.character
        while at < end and left > 0:
            left -= self.units(self.source[at])
            at += 1
        return at - 1 if left < 0 else at

    def position(self, offset: int) -> lsp.Position:
        offset = max(0, min(offset, len(self.source)))
        line = self.line_of(offset)
        start = self.starts[line]
        return lsp.Position(line, self.units(self.source[start:min(offset, self.ends[line])]))

    def range(self, start: int, end: int) -> lsp.Range:
        return lsp.Range(self.position(start), self.position(end))

    def offsets_of_bytes(self, offsets: Sequence[int]) -> dict[int, int]:
        """Character offsets of UTF-8 byte offsets (as warnings give them), in one pass."""
        data = self.source.encode("utf-8")
        result: dict[int, int] = {}
        byte = chars = 0
        for target in sorted(set(offsets)):
            target = max(0, min(target, len(data)))
            chars += len(data[byte:target].decode("utf-8", "ignore"))
            byte = target
            result[target] = chars
        return result

    def construct_at(self, offset: int, closed_end: bool) -> Construct | None:
        """The construct that holds the offset (its end included when ``closed_end``)."""
        for construct in constructs(self.source):
            if construct.start > offset:
                return None
            if offset < construct.end or (closed_end and offset == construct.end):
                return construct
        return None


def _code(text: str) -> str:
    """Text as a Markdown code span."""
    return f"`` {text} ``" if "`" in text else f"`{text}`"


def _shown(text: str) -> str:
    shown = _api.visible(text)
    return "\u25cc" + shown if shown and unicodedata.category(shown[0]) in ("Mn", "Me") else shown


def _words_before_space(entries: list[tuple[str, str]]) -> list[str]:
    return sorted(key[:-1] for key, _ in entries
                  if key.endswith(" ") and " " not in key[:-1] and len(key) > 1)


class Service:
    """What the server answers, over one index."""

    def __init__(self, index: Index | None = None) -> None:
        self.index = index
        self.converter = _api.default_converter() if index is None else Converter(index)
        tables = index if index is not None else Index()
        # Modifiers are the words of the marker keys ("bold "), fonts the names of the lone
        # font keys ("han-japanese ").
        self.modifiers = _words_before_space(tables.entries(0))
        self.modifier_set = set(self.modifiers)
        self.meta_keys = sorted(key for key, _ in tables.entries(4))
        self.fonts = _words_before_space(tables.entries(3))
        self._examples: dict[str, str | None] = {}

    @property
    def searcher(self) -> _search.Searcher:
        return _search.searcher(self.index)

    def _converts(self, markup: str) -> str | None:
        """What markup gives when it converts without a finding."""
        text, found, error = self.converter.convert(markup, "warn")
        return text if error is None and not found and text else None

    # -- diagnostics ---------------------------------------------------------------------

    def diagnostics(self, text: Text) -> list[lsp.Diagnostic]:
        source = text.source
        try:
            _, found = _api.convert_with_warnings(source, "lenient", self.index)
        except ConversionError as error:  # lenient keeps going; should it stop, say where
            at = next(iter(text.offsets_of_bytes([error.byte]).values()))
            return [lsp.Diagnostic(text.range(at, at), error.message,
                                   lsp.DiagnosticSeverity.Error, source="glyphloom")]
        places = text.offsets_of_bytes([warning.byte for warning in found])
        spans = {c.start: c for c in constructs(source)}
        starts = sorted(spans)
        result = []
        unknowns = 0
        for warning in found:
            start = places[max(0, min(warning.byte, len(source.encode("utf-8"))))]
            construct = spans.get(start)
            line_end = text.ends[text.line_of(start)]
            if construct is None:  # plain text of a block: up to the next tag or line break
                following = bisect.bisect_right(starts, start)
                end = min(line_end, starts[following] if following < len(starts) else line_end)
                end = max(end, min(start + 1, line_end))
            else:
                end = min(construct.end, line_end) if construct.kind == "unclosed" \
                    else construct.end
            severe = warning.message.startswith(_ERRORS)
            data = None
            if construct is not None and warning.message.startswith(_api.UNKNOWN) \
                    and construct.kind in ("short", "tag") and unknowns < FIXED_UNKNOWNS:
                unknowns += 1
                name = source[construct.start + 2 : construct.end - (construct.kind == "tag")]
                suggestions = self.searcher.suggestions(name, construct.kind == "short")
                data = {"suggestions": suggestions} if suggestions else None
            result.append(lsp.Diagnostic(
                text.range(start, end), warning.message,
                lsp.DiagnosticSeverity.Error if severe else lsp.DiagnosticSeverity.Warning,
                source="glyphloom", data=data))
        return result

    # -- completion ----------------------------------------------------------------------

    def _context(self, text: Text, offset: int) -> Construct | None:
        """The construct being typed at the offset. An earlier tag that lacks its ">" would
        swallow what follows; the tag being typed is then the last one on the line."""
        construct = text.construct_at(offset, closed_end=True)
        if construct is None or construct.kind not in ("tag", "unclosed", "short"):
            return None
        typed = text.source[construct.start + 2 : offset]
        if construct.kind != "short" and (
                "\n" in typed or "\r" in typed or _START.search(typed) is not None):
            line_start = text.starts[text.line_of(offset)]
            last = None
            for found in _START.finditer(text.source, max(line_start, construct.start + 2),
                                         offset):
                last = found.start()
            if last is None:
                return None
            for again in constructs(text.source, last):
                if again.start <= offset <= again.end:
                    return again if again.start + 2 <= offset else None
                if again.start > offset:
                    break
            return None
        if offset < construct.start + 2 or (construct.kind == "tag" and offset >= construct.end):
            return None
        return construct

    def completion(self, text: Text, position: lsp.Position) -> list[lsp.CompletionItem]:
        offset = text.offset(position)
        construct = self._context(text, offset)
        if construct is None:
            return []
        if construct.kind == "short":
            return self._short_items(text, construct, offset)
        return self._tag_items(text, construct, offset)

    def _item(self, text: Text, cursor: int, label: str, start: int, end: int, new_text: str,
              rank: int,
              shown: str = "", detail: str = "", documentation: str = "",
              kind: lsp.CompletionItemKind = lsp.CompletionItemKind.Text) -> lsp.CompletionItem:
        # The server has ranked and matched the items: every item passes the client's own
        # filter (which compares the typed text with filterText), and keeps the server's order.
        typed = text.source[start:cursor]
        return lsp.CompletionItem(
            label=label,
            label_details=lsp.CompletionItemLabelDetails(detail=f"  {shown}" if shown else None,
                                                         description=detail or None),
            kind=kind,
            detail=f"{shown}  {detail}".strip() or None,
            documentation=documentation or None,
            sort_text=f"{rank:04d}",
            filter_text=typed,
            text_edit=lsp.TextEdit(text.range(start, end), new_text),
        )

    def _short_items(self, text: Text, construct: Construct,
                     offset: int) -> list[lsp.CompletionItem]:
        source = text.source
        query = source[construct.start + 2 : offset]
        if not query:
            return []
        items = []
        for rank, match in enumerate(self.searcher.search(query, LIMIT)):
            short = next((name for name in (match.name, *match.names)
                          if _SHORT_NAME.fullmatch(name)), None)
            also = ", ".join(n for n in (match.name, *match.names) if n != short)
            documentation = f"{match.code_points}" + (f"; also {also}" if also else "")
            if short is not None:
                items.append(self._item(text, offset, short, construct.start + 2,
                                        construct.end, short, rank, _shown(match.text),
                                        match.code_points, documentation))
            else:  # no name of it fits a short reference: write its tag instead
                items.append(self._item(text, offset, match.name, construct.start, construct.end,
                                        match.markup, rank, _shown(match.text), match.markup,
                                        documentation))
        return items

    def _closed(self, text: Text, end: int) -> bool:
        """Whether the tag whose word ends here already has its ">" on this line."""
        rest = text.source[end : text.ends[text.line_of(end)]]
        close = rest.find(">")
        following = _START.search(rest)
        return close >= 0 and (following is None or close < following.start())

    def example(self, modifier: str) -> str | None:
        """A tag that shows what a modifier does, such as <:bold a>."""
        if modifier not in self._examples:
            self._examples[modifier] = next(
                (f"<:{modifier} {operand}>" for operand in
                 ("a", "A", "1", "alpha", "heavy-black-heart", "日 月", "A1")
                 if self._converts(f"<:{modifier} {operand}>")), None)
        return self._examples[modifier]

    def _tag_items(self, text: Text, construct: Construct,
                   offset: int) -> list[lsp.CompletionItem]:
        source = text.source
        content = construct.start + 2
        typed = source[content:offset]
        word = content + typed.rfind(" ") + 1
        end = _run_end(_WORD_END, source, offset)
        partial = source[word:offset]
        before = source[content:word]
        close = "" if self._closed(text, end) else ">"
        words = before.split()
        items: list[lsp.CompletionItem] = []

        def keyword(name: str, new_text: str, shown: str, detail: str) -> None:
            items.append(self._item(text, offset, name, word, end, new_text, len(items), shown,
                                    detail, kind=lsp.CompletionItemKind.Keyword))

        if not words and partial.startswith("/"):
            for name in [*self.meta_keys, *self.modifiers]:
                if name.startswith(partial[1:]):
                    keyword("/" + name, f"/{name}{close}", "", "closes " + name)
            return items
        at = 0
        while at + 1 < len(words) and words[at] in self.meta_keys:
            at += 2
        if at == len(words) - 1 and words[at] in self.meta_keys:  # the value of a meta
            values = self.fonts if words[at] == "font" else []
            for value in values:
                if value.startswith(partial):
                    keyword(value, value, "", f"font {value}")
            return items
        modifiers = [w for w in words[at:] if w in self.modifier_set]
        if partial or words:
            for name in self.modifiers:
                if partial and name.startswith(partial):
                    example = self.example(name)
                    shown = self._converts(example) if example else None
                    keyword(name, name + " ", _shown(shown) if shown else "",
                            f"modifier, as in {example}" if example else "modifier")
        if at == len(words) and not partial:
            for name in self.modifiers:
                example = self.example(name)
                keyword(name, name + " ", "",
                        f"modifier, as in {example}" if example else "modifier")
        if at == len(words):
            for key in self.meta_keys:
                if key.startswith(partial):
                    keyword(key, key + " ", "", f"meta <:{key} …>")
        # Names and operands: each candidate is checked by converting the tag it makes, and
        # shows the character that the tag gives.
        candidates = [partial] if partial else []
        if partial:
            candidates += [match.name for match in self.searcher.search(partial, LIMIT)]
        elif modifiers:
            head = modifiers[-1] + " "
            keys = self.searcher.keys
            operands = [key[len(head):] for key in keys if key.startswith(head)]
            # Letters, then digits: what a user most often styles.
            operands.sort(key=lambda o: (not o.isascii(), not o.isalpha(), len(o), o.swapcase()))
            candidates += operands[:LIMIT]
        seen: set[str] = set()
        for candidate in candidates:
            if not candidate or ">" in candidate or "\n" in candidate:
                continue
            markup = f"<:{before}{candidate}>"
            result = self._converts(markup)
            if result is None or result in seen:
                continue
            seen.add(result)
            names = self.searcher.names(result)
            items.append(self._item(
                text, offset, candidate, word, end, candidate + close, len(items), _shown(result),
                f"{_search.code_points(result)}  {markup}" if words else
                _search.code_points(result),
                ("also " + ", ".join(names[:8])) if names else ""))
        return items

    # -- hover ---------------------------------------------------------------------------

    def hover(self, text: Text, position: lsp.Position) -> lsp.Hover | None:
        offset = text.offset(position)
        construct = text.construct_at(offset, closed_end=False)
        source = text.source
        if construct is None:
            if offset >= len(source) or source[offset].isascii():
                return None
            ch = source[offset]
            spelling = _api.to_glyphloom(ch, self.index)
            names = self.searcher.names(ch)
            value = f"**{_code(_shown(ch))}** U+{ord(ch):04X}, written {_code(spelling)}" + (
                "\n\nnames: " + ", ".join(_code(name) for name in names[:20]) if names else "")
            return lsp.Hover(lsp.MarkupContent(lsp.MarkupKind.Markdown, value),
                             text.range(offset, offset + 1))
        markup = source[construct.start : construct.end]
        lines = self._described(markup, construct)
        return lsp.Hover(lsp.MarkupContent(lsp.MarkupKind.Markdown, "\n\n".join(lines)),
                         text.range(construct.start, construct.end))

    def _described(self, markup: str, construct: Construct) -> list[str]:
        if construct.kind == "header":
            return [f"The glyphloom header {_code(markup)}"]
        if construct.kind == "unclosed":
            return ["A tag without its `>`: it runs to the end of the document."]
        content = markup[2:-1] if construct.kind == "tag" else ""
        if construct.kind == "tag" and content in ("", "/") or content.startswith("/") \
                and content[1:] not in self.meta_keys:
            return [f"{_code(markup)} closes a block"]
        if content.startswith("/"):
            return [f"{_code(markup)} closes the meta {_code(content[1:])}"]
        if content in self.modifier_set:
            return [f"{_code(markup)} opens a block: every word that follows goes through "
                    f"{_code(content)}, until `<:>` or {_code('<:/' + content + '>')}"]
        result, found = _api.convert_with_warnings(markup, "lenient", self.index)
        if found and result == markup:
            return [warning.message for warning in found]
        lines = []
        names = self.searcher.names(result)
        lines.append(f"**{_code(_shown(result))}** {_search.code_points(result)}"
                     if result else f"{_code(markup)} gives no text")
        if names:
            lines.append("names: " + ", ".join(_code(name) for name in names[:20]))
        characters = list(result)
        if len(characters) > 1:
            rows = []
            for ch in characters[:30]:
                own = self.searcher.names(ch)
                rows.append(f"- {_code(_shown(ch))} U+{ord(ch):04X}"
                            + (": " + ", ".join(_code(n) for n in own[:5]) if own else ""))
            lines.append("\n".join(rows))
        lines += [f"warning: {warning.message}" for warning in found]
        return lines

    # -- code actions --------------------------------------------------------------------

    def code_actions(self, text: Text, uri: str, selected: lsp.Range,
                     diagnostics: Sequence[lsp.Diagnostic]) -> list[lsp.CodeAction]:
        actions = []
        for diagnostic in diagnostics:
            data: Any = diagnostic.data
            suggestions = data.get("suggestions") if isinstance(data, dict) else None
            if not isinstance(suggestions, list):
                continue
            for number, suggestion in enumerate(s for s in suggestions if isinstance(s, str)):
                edit = lsp.WorkspaceEdit(changes={uri: [lsp.TextEdit(diagnostic.range,
                                                                     suggestion)]})
                actions.append(lsp.CodeAction(f"Replace with {suggestion}",
                                              kind=lsp.CodeActionKind.QuickFix,
                                              diagnostics=[diagnostic], edit=edit,
                                              is_preferred=number == 0))
        edits = self._markup_edits(text, selected)
        if edits:
            title = (f"Write {_shown(edits[0][2])} as {edits[0][3]}" if len(edits) == 1
                     else "Write the characters as glyphloom markup")
            changes = [lsp.TextEdit(text.range(start, end), markup)
                       for start, end, _, markup in edits]
            actions.append(lsp.CodeAction(title, kind=lsp.CodeActionKind.RefactorRewrite,
                                          edit=lsp.WorkspaceEdit(changes={uri: changes})))
        return actions

    def _converted_stretches(self, source: str, end: int) -> list[tuple[int, int]]:
        """Where the converter reads the source before an offset: its constructs, and the
        plain text of open blocks (converted word by word, so a tag put in would split a
        word)."""
        stretches = []
        block: int | None = None  # where the plain text of the open block starts
        for construct in constructs(source):
            if construct.start >= end:
                break
            if block is not None:
                stretches.append((block, construct.start))
            stretches.append((construct.start, construct.end))
            content = source[construct.start + 2 : construct.end - 1]
            if construct.kind != "tag":
                pass
            elif content == "" or content.startswith("/") and content[1:] not in self.meta_keys:
                block = None
                continue
            elif content in self.modifier_set:
                block = construct.end
                continue
            block = None if block is None else construct.end
        if block is not None:
            stretches.append((block, len(source)))
        return stretches

    def _markup_edits(self, text: Text,
                      selected: lsp.Range) -> list[tuple[int, int, str, str]]:
        """The stretches of characters to write as markup: each run of non-ASCII characters
        of the selection outside tags (or, with nothing selected, the run at the cursor)."""
        source = text.source
        start, end = sorted((text.offset(selected.start), text.offset(selected.end)))
        if start == end:
            while start > 0 and not source[start - 1].isascii():
                start -= 1
            while end < len(source) and not source[end].isascii():
                end += 1
        inside = self._converted_stretches(source, end)
        edits = []
        at = start
        while at < end:
            if source[at].isascii():
                at += 1
                continue
            run_end = at
            while run_end < end and not source[run_end].isascii():
                run_end += 1
            run_start = at
            # A mark or suffix after an ASCII letter belongs to it (e + U+0301, a + a colour).
            if run_start > 0 and source[run_start - 1].isalnum() and unicodedata.category(
                    source[run_start])[0] in ("M", "C"):
                run_start -= 1
            at = run_end
            if any(s < run_end and run_start < e for s, e in inside):
                continue
            run = source[run_start:run_end]
            markup = _api.to_glyphloom(run, self.index)
            if markup != run and self.converter.convert(markup, "warn")[0] == run:
                edits.append((run_start, run_end, run, markup))
        return edits


def server(index: Index | None = None) -> LanguageServer:
    """The language server over an index (the default index when None)."""
    from . import __version__

    ls = LanguageServer("glyphloom", __version__)
    service = Service(index)

    def text_of(uri: str) -> Text:
        document = ls.workspace.get_text_document(uri)
        return Text(document.source, str(ls.workspace.position_encoding or "utf-16"))

    def publish(uri: str) -> None:
        document = ls.workspace.get_text_document(uri)
        diagnostics = service.diagnostics(text_of(uri))
        ls.text_document_publish_diagnostics(
            lsp.PublishDiagnosticsParams(uri, diagnostics, document.version))

    @ls.feature(lsp.TEXT_DOCUMENT_DID_OPEN)
    def did_open(params: lsp.DidOpenTextDocumentParams) -> None:
        publish(params.text_document.uri)

    @ls.feature(lsp.TEXT_DOCUMENT_DID_CHANGE)
    def did_change(params: lsp.DidChangeTextDocumentParams) -> None:
        publish(params.text_document.uri)

    @ls.feature(lsp.TEXT_DOCUMENT_DID_CLOSE)
    def did_close(params: lsp.DidCloseTextDocumentParams) -> None:
        ls.text_document_publish_diagnostics(
            lsp.PublishDiagnosticsParams(params.text_document.uri, []))

    @ls.feature(lsp.TEXT_DOCUMENT_COMPLETION,
                lsp.CompletionOptions(trigger_characters=[":", " ", "-"]))
    def completion(params: lsp.CompletionParams) -> lsp.CompletionList:
        items = service.completion(text_of(params.text_document.uri), params.position)
        return lsp.CompletionList(is_incomplete=True, items=items)

    @ls.feature(lsp.TEXT_DOCUMENT_HOVER)
    def hover(params: lsp.HoverParams) -> lsp.Hover | None:
        return service.hover(text_of(params.text_document.uri), params.position)

    @ls.feature(lsp.TEXT_DOCUMENT_CODE_ACTION, lsp.CodeActionOptions(
        code_action_kinds=[lsp.CodeActionKind.QuickFix, lsp.CodeActionKind.RefactorRewrite]))
    def code_action(params: lsp.CodeActionParams) -> list[lsp.CodeAction]:
        uri = params.text_document.uri
        return service.code_actions(text_of(uri), uri, params.range,
                                    params.context.diagnostics)

    return ls


def main(index: Index | None = None) -> None:
    """Serves over standard input and output until the client says exit."""
    server(index).start_io()
