"""Finding names: the search over an index's Names table, and the suggestions for unknown names.

A ``Searcher`` reads the table once (``Index.entries``) and keeps it in a form that answers a
query in well under a millisecond or two: every key as one line of its lower-case words
(``-latin-small-letter-eng-``), the lines in ranking order, and dictionaries from each word,
each key without separators and each text to the lines that have it. The build does its
per-key work through ``map`` over builtins; even so it takes some 200 ms over the default index
(about 72,000 keys), so the build of the package also writes what it makes for that index to a
file (``write``), which the first query reads back in a few tens of milliseconds instead. The
file says which index and which source of this module made it, and is used only when both are
the ones at hand.
"""

from __future__ import annotations

import bisect
import gc
import hashlib
import marshal
import os
import re
import sys
import threading
from array import array
from collections import OrderedDict, defaultdict, deque
from collections.abc import Iterable, Iterator, KeysView, Mapping, Sequence
from itertools import chain, compress, groupby, repeat
from typing import Any, Literal
from operator import add, getitem, itemgetter, mul

from _glyphloom import Converter, Index

from ._types import Match, hint

# A query word matches longer words that it begins from this length on, and words that it
# misses by typos from TYPO_WORD letters on: one edit, or two from LONG_WORD letters on.
PREFIX_WORD = 3
TYPO_WORD = 4
LONG_WORD = 8
LETTERS = "abcdefghijklmnopqrstuvwxyz"
SUGGESTIONS = 3

_SHORT_NAME = re.compile(r"[A-Za-z0-9_-]+")
_CODE_POINT = re.compile(r"[Uu]\+([0-9A-Fa-f]{1,6})")
_TOP = "\U0010ffff"

# The file of the default index's tables, in a folder of the package (in a source tree, the
# build's), and the start of the first line that it must have to be used.
DATA_FILE = "_search.data"
DATA_FORMAT = b"glyphloom search data 1"
_LINES: Literal["i"] = "i"  # the array type of line numbers in the file
_WEIGHT: Literal["q"] = "q"


class _Packed(Mapping[str, Sequence[int]]):
    """A table of the data file: each key to its lines, kept as the bytes of an array and read
    as a sequence of ints (a list of lists would cost as much to read back as to build)."""

    def __init__(self, table: dict[str, bytes]) -> None:
        self._table = table

    def __getitem__(self, key: str) -> Sequence[int]:
        return memoryview(self._table[key]).cast(_LINES)

    def get(self, key: str, default: Any = ()) -> Any:
        data = self._table.get(key)
        return default if data is None else memoryview(data).cast(_LINES)

    def __contains__(self, key: object) -> bool:
        return key in self._table

    def keys(self) -> KeysView[str]:
        return self._table.keys()

    def __iter__(self) -> Iterator[str]:
        return iter(self._table)

    def __len__(self) -> int:
        return len(self._table)


class _NoCollection:
    """Garbage collection paused: the builds make hundreds of thousands of objects and no
    cycles, and collecting while they run would only double their time."""

    def __enter__(self) -> None:
        self.collecting = gc.isenabled()
        gc.disable()

    def __exit__(self, *exc: object) -> None:
        if self.collecting:
            gc.enable()


def _folded(text: str) -> str:
    """The text with ASCII letters in lower case and "_" and spaces as "-": how keys and queries
    are compared. (Names are ASCII; the bytes route keeps the build fast.)"""
    data = text.encode("utf-8", "surrogatepass").lower()
    return data.replace(b"_", b"-").replace(b" ", b"-").decode("utf-8", "surrogatepass")


def _words(text: str) -> list[str]:
    """The folded words of a query, in order."""
    return _folded(text).replace("-", " ").split()


def code_points(text: str) -> str:
    return " ".join(f"U+{ord(ch):04X}" for ch in text)


def _pasted(query: str) -> str | None:
    """The text a query stands for when it is code points (``U+2295``) or pasted characters."""
    tokens = query.split()
    points = [_CODE_POINT.fullmatch(token) for token in tokens]
    if tokens and all(points):
        values = [int(point.group(1), 16) for point in points if point]
        return "".join(map(chr, values)) if max(values) <= 0x10FFFF else None
    if len(query) == 1 or any(not (ch.isascii() and (ch.isalnum() or ch in "-_ ")) for ch in query):
        return query
    return None


def _ball(word: str) -> set[str]:
    """Every string within one edit of the word: a deletion, a swap of neighbours, or a letter
    substituted or inserted."""
    n = len(word)
    heads = [word[:i] for i in range(n + 1)]
    tails = [word[i:] for i in range(n + 1)]
    out = {word}
    out.update(heads[i] + tails[i + 1] for i in range(n))
    out.update(heads[i] + word[i + 1] + word[i] + tails[i + 2] for i in range(n - 1))
    out.update(heads[i] + c + tails[i + 1] for i in range(n) for c in LETTERS)
    out.update(heads[i] + c + tails[i] for i in range(n + 1) for c in LETTERS)
    return out


def distance(a: str, b: str, bound: int) -> int:
    """The edits between two words (insertions, deletions, substitutions and swaps of
    neighbours, each counting one), or ``bound + 1`` when there are more than ``bound``."""
    if abs(len(a) - len(b)) > bound:
        return bound + 1
    before: list[int] = []
    previous = list(range(len(b) + 1))
    for i in range(1, len(a) + 1):
        row = [i] + [0] * len(b)
        for j in range(1, len(b) + 1):
            value = min(previous[j] + 1, row[j - 1] + 1, previous[j - 1] + (a[i - 1] != b[j - 1]))
            if i > 1 and j > 1 and a[i - 1] == b[j - 2] and a[i - 2] == b[j - 1]:
                value = min(value, before[j - 2] + 1)
            row[j] = value
        if min(row) > bound:
            return bound + 1
        before, previous = previous, row
    return min(previous[-1], bound + 1)


# The ranks: the exact key or character, the key ignoring case and separators, every word
# whole, words as prefixes, words with typos.
EXACT, IGNORING_CASE, WHOLE_WORDS, PREFIXES, TYPOS = range(1, 6)


class _Found:
    """The matches of one query, one per text, in the order they are ranked, each with how
    well it matched: (rank, edits, words of its key)."""

    def __init__(self, searcher: Searcher, limit: int) -> None:
        self.searcher = searcher
        self.limit = limit
        self.matches: list[Match] = []
        self.grades: list[tuple[int, int, int]] = []
        self.texts: set[str] = set()

    def full(self) -> bool:
        return len(self.matches) >= self.limit

    def add_all(self, lines: Iterable[int], rank: int, edits: int = 0) -> None:
        searcher = self.searcher
        for line in searcher._in_order(lines):
            if self.full():
                return
            text = searcher.texts[line]
            if text not in self.texts and searcher.usable(line):
                self.texts.add(text)
                self.matches.append(searcher.match(line))
                self.grades.append((rank, edits, searcher.size(line)))


class Searcher:
    """The names of one index, ready to be searched."""

    weight: Sequence[int]
    keys: Sequence[str]
    texts: Sequence[str]
    lines: list[str]
    words: Mapping[str, Sequence[int]]
    by_text: Mapping[str, Sequence[int]]
    most_words: int

    def __init__(self, index: Index, data: bytes | None = None) -> None:
        """The searcher over an index, built from its entries, or read from ``data`` (what
        ``dump`` wrote for this very index)."""
        self._index = index
        self._converter = Converter(index)
        self._deletions: dict[str, list[str]] | None = None
        self._vocabulary: list[str] | None = None
        self._longest: int | None = None
        self._lock = threading.Lock()
        with _NoCollection():
            if data is None:
                self._build(index.entries(0))
            else:
                self._load(data)

    def _build(self, entries: list[tuple[str, str]]) -> None:
        keys = list(map(itemgetter(0), entries))
        texts = list(map(itemgetter(1), entries))
        n = len(keys)
        if any(map(str.__contains__, keys, repeat("\n"))):  # would split a line in two
            folding = [key.replace("\n", " ") for key in keys]
        else:
            folding = keys
        words_of = map(add, map(add, map(str.count, folding, repeat("-")),
                                map(str.count, folding, repeat("_"))),
                       map(str.count, folding, repeat(" ")))
        # The order within a rank: fewer words, then keys of the common sources before the
        # composed ones (a modifier, a space, an operand), then shorter keys (then by key, which
        # _in_order sorts out among the few lines that a query meets).
        weight = list(map(add, map(mul, words_of, repeat(1 << 41)), map(len, keys)))
        modifiers = set(map(str.rstrip, compress(keys, map(str.endswith, keys, repeat(" ")))))
        spaced = list(compress(range(n), map(str.__contains__, keys, repeat(" "))))
        heads = map(itemgetter(0), map(str.partition, map(keys.__getitem__, spaced), repeat(" ")))
        for i in compress(spaced, map(modifiers.__contains__, heads)):
            weight[i] += 1 << 40
        order = sorted(range(n), key=weight.__getitem__)
        self.weight = list(map(weight.__getitem__, order))
        self.keys = list(map(keys.__getitem__, order))
        self.texts = list(map(texts.__getitem__, order))
        self.most_words = self.size(max(range(n), key=self.weight.__getitem__)) if n else 0
        # Each key as "-its-folded-words-", one line per key, and its words in one list.
        folded = _folded("\n".join(map(folding.__getitem__, order)))
        self.lines = ("-" + folded.replace("\n", "-\n-") + "-").split("\n") if n else []
        flat = folded.replace("\n", "-").split("-") if n else []
        # Word -> lines (a line twice when its key has the word twice) and text -> lines, each
        # in line order. Only .get() reads them afterwards, so they never change.
        words: defaultdict[str, list[int]] = defaultdict(list)
        owners = chain.from_iterable(map(repeat, range(n), map(add, map(
            int.__rshift__, self.weight, repeat(41)), repeat(1))))
        deque(map(list.append, map(words.__getitem__, flat), owners), maxlen=0)
        by_text: defaultdict[str, list[int]] = defaultdict(list)
        deque(map(list.append, map(by_text.__getitem__, self.texts), range(n)), maxlen=0)
        self.words = words
        self.by_text = by_text

    def dump(self) -> bytes:
        """The tables, as ``_load`` reads them back."""
        def packed(table: Mapping[str, Sequence[int]]) -> dict[str, bytes]:
            return {key: array(_LINES, lines).tobytes() for key, lines in table.items()}
        return marshal.dumps((array(_WEIGHT, self.weight).tobytes(), list(self.keys),
                              list(self.texts), "\n".join(self.lines), packed(self.words),
                              packed(self.by_text), self.most_words), 4)

    def _load(self, data: bytes) -> None:
        weight, self.keys, self.texts, lines, words, by_text, self.most_words = marshal.loads(data)
        self.weight = memoryview(weight).cast(_WEIGHT)
        self.lines = lines.split("\n") if self.keys else []
        self.words = _Packed(words)
        self.by_text = _Packed(by_text)

    def size(self, line: int) -> int:
        """The number of words of a line's key."""
        return (self.weight[line] >> 41) + 1

    @property
    def vocabulary(self) -> list[str]:
        """Every word of the keys, sorted (for prefixes); made when first needed."""
        if self._vocabulary is None:
            self._vocabulary = sorted(self.words)
        return self._vocabulary

    @property
    def longest(self) -> int:
        """The length of the longest word of letters."""
        if self._longest is None:
            self._longest = max((len(w) for w in self.words if w.isascii() and w.isalpha()),
                                default=0)
        return self._longest

    def _in_order(self, lines: Iterable[int]) -> Iterator[int]:
        """Lines (sorted by weight) in ranking order: among equal weights by key, lower case
        first."""
        for _, run in groupby(lines, key=self.weight.__getitem__):
            group = list(run)
            if len(group) > 1:
                group.sort(key=lambda i: self.keys[i].swapcase())
            yield from group

    # -- the parts of a match ------------------------------------------------------------

    def usable(self, line: int) -> bool:
        """Whether the key names text: marker and directive keys do not."""
        key = self.keys[line]
        return bool(self.texts[line]) and not key.endswith(" ") and "*" not in key

    def names(self, text: str) -> list[str]:
        """Every key that gives exactly this text, in ranking order."""
        return [self.keys[i] for i in self.by_text.get(text, ()) if self.usable(i)]

    def converts_to(self, markup: str, text: str) -> bool:
        return self._converter.convert(markup, "warn") == (text, [], None)

    def markup(self, name: str, text: str) -> str:
        spellings = [f"<:{name}>"]
        if _SHORT_NAME.fullmatch(name):
            spellings.insert(0, f"\\:{name}")
        for spelling in spellings:
            if self.converts_to(spelling, text):
                return spelling
        # A key such as "fullwidth >" cannot be written in a tag; the text's own spelling can.
        spelling = self._converter.to_glyphloom(text)
        return spelling if self.converts_to(spelling, text) else spellings[-1]

    def match(self, line: int) -> Match:
        name, text = self.keys[line], self.texts[line]
        others = tuple(key for key in self.names(text) if key != name)
        return Match(text, self.markup(name, text), name, code_points(text), others)

    # -- the search ----------------------------------------------------------------------

    def search(self, query: str, limit: int) -> list[Match]:
        return self._search(query, limit).matches

    def _search(self, query: str, limit: int) -> _Found:
        found = _Found(self, limit)
        if limit <= 0:
            return found
        stripped = query.strip() or query
        # The exact key (or the character pasted, or its code point), then the key ignoring
        # case and separators, then the keys that have the query's words.
        pasted = _pasted(stripped)
        if pasted is not None:
            found.add_all(self.by_text.get(pasted, ()), EXACT)
        if not found.full():
            text = self._index.get(0, stripped)
            if text is not None:
                found.add_all((i for i in self.by_text.get(text, ()) if self.keys[i] == stripped),
                              EXACT)
        words = _words(stripped)
        if not words or len(words) > self.most_words:
            return found
        # Ignoring case and separators: the key has these words in this order and no others.
        whole = "-" + "-".join(words) + "-"
        found.add_all((i for i in self.words.get(words[0], ()) if self.lines[i] == whole),
                      IGNORING_CASE)
        if not found.full():
            self._by_words(list(dict.fromkeys(words)), found)
        return found

    def _prefixed(self, word: str) -> list[str]:
        """The words of the index that begin with this one and are longer."""
        if len(word) < PREFIX_WORD:
            return []
        lo = bisect.bisect_right(self.vocabulary, word)
        hi = bisect.bisect_left(self.vocabulary, word + _TOP, lo)
        return self.vocabulary[lo:hi]

    def _lines_of(self, words: Iterable[str]) -> list[int]:
        return list(chain.from_iterable(map(self.words.__getitem__, words)))

    def _by_words(self, words: list[str], found: _Found) -> None:
        # Whole words: the lines of the rarest word that have every other word as well.
        exact = [self.words.get(word, []) for word in words]
        rarest = min(exact, key=len)
        patterns = [f"-{word}-" for word in words]
        found.add_all((i for i in dict.fromkeys(rarest)
                       if all(p in self.lines[i] for p in patterns)), WHOLE_WORDS)
        if found.full():
            return
        # Prefixes: every word whole or as the start of a longer one, at least one so.
        prefixes = [self._prefixed(word) for word in words]
        if any(prefixes):
            sizes = [len(e) + sum(map(len, map(self.words.__getitem__, p)))
                     for e, p in zip(exact, prefixes)]
            driver = min(range(len(words)), key=sizes.__getitem__)
            lines = sorted(set(chain(exact[driver], self._lines_of(prefixes[driver]))))
            found.add_all((i for i in lines if self._level(i, words, prefixes) == 1), PREFIXES)
            if found.full():
                return
        # Typos: each word whole, as a prefix or within its edits, at least one by a typo; the
        # fewest edits first.
        typos: list[dict[str, int]] = []
        for word, whole, prefixed in zip(words, exact, prefixes):
            near = self._typos(word)
            if not (near or whole or prefixed):
                return  # a word that matches nothing in any way
            typos.append(near)
        if not any(typos):
            return
        sizes = [len(e) + sum(map(len, map(self.words.__getitem__, chain(p, t))))
                 for e, p, t in zip(exact, prefixes, typos)]
        driver = min(range(len(words)), key=sizes.__getitem__)
        lines = sorted(set(chain(exact[driver], self._lines_of(prefixes[driver]),
                                 self._lines_of(typos[driver]))))
        # Fewest edits first. In ranking order, once enough new texts need only the fewest
        # edits that any typo needs, no later line can come before them.
        fewest = min(min(near.values()) for near in typos if near)
        by_edits: defaultdict[int, list[int]] = defaultdict(list)
        best: set[str] = set()
        last = -1  # the weight after which nothing can come first any more
        for i in lines:
            if 0 <= last < self.weight[i]:
                break
            edits = self._edits(i, words, prefixes, typos)
            if edits:
                by_edits[edits].append(i)
                if edits == fewest and self.usable(i) and self.texts[i] not in found.texts:
                    best.add(self.texts[i])
                    if last < 0 and len(best) >= found.limit - len(found.matches):
                        last = self.weight[i]
        for edits in sorted(by_edits):
            found.add_all(by_edits[edits], TYPOS, edits)

    def _level(self, line: int, words: list[str], prefixes: list[list[str]]) -> int:
        """0 when the line has every word whole, 1 when each whole or as a prefix, else 2."""
        text, level = self.lines[line], 0
        for word, prefixed in zip(words, prefixes):
            if f"-{word}-" in text:
                continue
            if not prefixed or f"-{word}" not in text:
                return 2
            level = 1
        return level

    def _edits(self, line: int, words: list[str], prefixes: list[list[str]],
               typos: list[dict[str, int]]) -> int:
        """The edits by which the line matches the words, or 0 when it needs none or has a word
        that it does not match at all."""
        text, total = self.lines[line], 0
        for word, prefixed, near in zip(words, prefixes, typos):
            if f"-{word}-" in text or (prefixed and f"-{word}" in text):
                continue
            edits = min((e for w, e in near.items() if f"-{w}-" in text), default=0)
            if not edits:
                return 0
            total += edits
        return total

    def _typos(self, word: str) -> dict[str, int]:
        """The words of the index within the edits that a word of this length allows."""
        n = len(word)
        if n < TYPO_WORD or n > self.longest + 2 or not (word.isascii() and word.isalpha()):
            return {}
        near = _ball(word)
        if n < LONG_WORD:
            return {w: 1 for w in near & self.words.keys() if w != word}
        # Two edits: a word w is within two of the query when some string within one edit of
        # the query and w lose the same letter (or none); the deletions of the index's longer
        # words are kept for that.
        deletions = self._deleted()
        probes = set(near)
        within = list(near)
        for i in range(n + 1):
            longer = within if i < n - 1 else [m for m in within if len(m) > i]
            probes.update(map(add, map(getitem, longer, repeat(slice(None, i))),
                              map(getitem, longer, repeat(slice(i + 1, None)))))
        candidates = set(chain.from_iterable(map(deletions.__getitem__, probes & deletions.keys())))
        candidates.discard(word)
        found = {w: distance(word, w, 2) for w in candidates}
        return {w: e for w, e in found.items() if e <= 2}

    def _deleted(self) -> dict[str, list[str]]:
        """Each word of LONG_WORD - 2 or more letters, and each string that it becomes by losing
        one letter, to the words that become it. Made when a long word first needs it."""
        with self._lock, _NoCollection():
            if self._deletions is None:
                spelled = sorted((w for w in self.vocabulary if len(w) >= LONG_WORD - 2
                                  and w.isascii() and w.isalpha()), key=len, reverse=True)
                lengths = [-len(w) for w in spelled]
                deletions: defaultdict[str, list[str]] = defaultdict(list)
                deque(map(list.append, map(deletions.__getitem__, spelled), spelled), maxlen=0)
                for i in range(len(spelled[0]) if spelled else 0):
                    longer = spelled[:bisect.bisect_left(lengths, -i)]  # more than i letters
                    lost = map(add, map(getitem, longer, repeat(slice(None, i))),
                               map(getitem, longer, repeat(slice(i + 1, None))))
                    deque(map(list.append, map(deletions.__getitem__, lost), longer), maxlen=0)
                self._deletions = dict(deletions)
            return self._deletions

    # -- suggestions ---------------------------------------------------------------------

    def suggestions(self, name: str, short: bool) -> list[str]:
        """Up to three names that an unknown name may have meant: the results of a search for
        it that match as well as the best one does (same rank, edits and number of words),
        written as the user wrote it: ``\\:name`` after a short reference, words apart when
        the name had spaces."""
        out: list[str] = []
        found = self._search(name, SUGGESTIONS)
        for match, grade in zip(found.matches, found.grades):
            if grade != found.grades[0]:
                continue
            spellings = []
            if short and _SHORT_NAME.fullmatch(match.name):
                spellings.append(f"\\:{match.name}")
            if not short and " " in name.strip():
                spellings.append(f"<:{match.name.replace('-', ' ')}>")
            spellings += [f"<:{match.name}>", match.markup]
            spelled = next(s for s in spellings if s == match.markup
                           or self.converts_to(s, match.text))
            if spelled not in out:
                out.append(spelled)
        return out


_default: Searcher | None = None
_others: OrderedDict[bytes, Searcher] = OrderedDict()
_lock = threading.Lock()
# Searchers over other indexes, by their bytes (an Index has neither equality nor weak
# references); a few are kept.
OTHERS = 4


def searcher(index: Index | None) -> Searcher:
    """The searcher over an index (None: the default index), made on first use."""
    global _default
    if index is None:
        with _lock:
            if _default is None:
                default = Index()
                _default = _read(default) or Searcher(default)
            return _default
    data = index.data
    with _lock:
        found = _others.get(data)
        if found is not None:
            _others.move_to_end(data)
            return found
    made = Searcher(index)
    with _lock:
        _others[data] = made
        while len(_others) > OTHERS:
            _others.popitem(last=False)
    return made


def _stamp(index: Index) -> bytes | None:
    """What the data file for an index must begin with: the format, this module's source and
    the index's bytes (digests of both), and the machine's byte order. None when the source
    cannot be read."""
    try:
        with open(__file__, "rb") as source:
            code = source.read()
    except OSError:
        return None
    digest = hashlib.blake2b(code, digest_size=16)
    digest.update(index.data)
    return b"%s %s %s %d\n" % (DATA_FORMAT, digest.hexdigest().encode(), sys.byteorder.encode(),
                                array(_LINES).itemsize)


def _read(index: Index) -> Searcher | None:
    """The searcher over the default index from the data file that the build wrote, or None
    when there is none or it was made from another index or another version of this module."""
    stamp = _stamp(index)
    if stamp is None:
        return None
    from . import __path__ as folders  # the source folder, and the build's in a source tree
    for folder in folders:
        try:
            with open(os.path.join(folder, DATA_FILE), "rb") as file:
                if file.readline() != stamp:
                    continue
                data = file.read()
        except OSError:
            continue
        try:
            return Searcher(index, data)
        except (ValueError, TypeError, EOFError):
            continue  # damaged: build instead
    return None


def write(path: str) -> None:
    """Write the data file of the default index (the build of the package does this)."""
    index = Index()
    stamp = _stamp(index)
    if stamp is None:
        raise SystemExit(f"cannot read {__file__}")
    data = Searcher(index).dump()
    partial = f"{path}.partial"
    with open(partial, "wb") as file:
        file.write(stamp + data)
    os.replace(partial, path)
