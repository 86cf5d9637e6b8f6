"""glyphloom side by side with what a user would use instead.

Each comparison builds its two inputs from the same words and the same characters, checks that
both sides produce the same result, then times both in this one run, alternating between them,
and reports medians. Ratios are the alternative's time over glyphloom's: above 1, glyphloom is
faster. The last row sets plain-text conversion against a bare copy of the same bytes, the
bound that no converter can beat (a ratio below 1 there is the price of the conversion).

After the table come the fixed costs (importing the module, building an index and a converter)
and the resident memory around importing the module and building converters.

    PYTHONPATH=build-bench/python .venv/bin/python bench/compare.py
"""

from __future__ import annotations

import argparse
import gc
import html
import html.entities
import os
import random
import statistics
import subprocess
import sys
import textwrap
import time
import timeit
import unicodedata
from typing import Callable

import _glyphloom

try:
    import emoji
except ImportError:  # the emoji rows are skipped, with a note
    emoji = None

# Ordinary prose: the words every input is made of.
WORDS = """
the of and to in is was that for on with as by at from his her they this which be or are had
not but what all were when we there can an your one said each she do how their if will up
other about out many then them these so some would make like him into time has look two more
write go see number no way could people than first water been call who oil its now find long
down day did get come made may part over new sound take only little work know place year live
me back give most very after thing our just name good sentence man think say great where help
through much before line right too mean old any same tell boy follow came want show also
around form three small set put end does another well large must big even such because turn
here why ask went men read need land different home us move try kind hand picture again change
""".split()

# Every third word of a dense text is a reference, a tag or a pictograph.
EVERY = 3
# Words per line.
LINE = 12


def tokens(count: int, characters: int, seed: int) -> list[tuple[str, int]]:
    """The token sequence every pair of inputs is built from: ("w", word number) for a word,
    ("c", character number) for a character, in order."""
    rng = random.Random(seed)
    out = []
    for i in range(count):
        if i % EVERY == EVERY - 1 and characters:
            out.append(("c", rng.randrange(characters)))
        else:
            out.append(("w", rng.randrange(len(WORDS))))
    return out


def render(seq: list[tuple[str, int]], character: Callable[[int], str]) -> str:
    parts = []
    for i, (kind, n) in enumerate(seq):
        parts.append(WORDS[n] if kind == "w" else character(n))
        parts.append("\n" if i % LINE == LINE - 1 else " ")
    return "".join(parts)


def html_references(index: _glyphloom.Index) -> list[tuple[str, str]]:
    """(name, text) of every HTML named reference that glyphloom's short reference of the same
    name turns into the same text."""
    found = []
    for key, text in sorted(html.entities.html5.items()):
        if key.endswith(";") and index.get(0, key[:-1]) == text:
            found.append((key[:-1], text))
    return found


def pictographs(index: _glyphloom.Index, converter: _glyphloom.Converter) -> list[tuple[str, str, str]]:
    """(character, glyphloom name, emoji code) of every one-character pictograph that both sides
    name, each side's name turning into that character and back."""
    found = []
    for ch, data in sorted(emoji.EMOJI_DATA.items()):
        if len(ch) != 1 or data.get("status") != emoji.STATUS["fully_qualified"]:
            continue
        spelling = index.get(1, ch)
        if not spelling or not spelling.startswith("<:") or " " in spelling:
            continue
        text, warnings, error = converter.convert(spelling, "warn")
        code = data["en"]
        if text != ch or warnings or error or emoji.emojize(code) != ch:
            continue
        if emoji.demojize(ch) != code:
            continue
        found.append((ch, spelling[2:-1], code))
    return found


def selector_pictographs(index: _glyphloom.Index, converter: _glyphloom.Converter) -> list[tuple[str, str, str]]:
    """(emoji, glyphloom markup, emoji code) of every fully-qualified emoji that is one character
    and U+FE0F, written `<:iconic name>`, with both sides' names turning into it and back."""
    found = []
    for ch, data in sorted(emoji.EMOJI_DATA.items()):
        if len(ch) != 2 or ch[1] != "\ufe0f" or data.get("status") != emoji.STATUS["fully_qualified"]:
            continue
        spelling = index.get(1, ch[0])
        if not spelling or not spelling.startswith("<:") or " " in spelling:
            continue
        markup = "<:iconic " + spelling[2:]
        if converter.convert(markup, "warn") != (ch, [], None) or converter.to_glyphloom(ch) != markup:
            continue
        code = data["en"]
        if emoji.emojize(code) != ch or emoji.demojize(ch) != code:
            continue
        found.append((ch, markup, code))
    return found


def character_names(index: _glyphloom.Index, count: int, seed: int) -> list[tuple[str, str, str]]:
    """(character, glyphloom key, Unicode name) for `count` characters spread over the code
    space that both name alike."""
    every = []
    for cp in range(0x20, 0x30000):
        name = unicodedata.name(chr(cp), None)
        if name and not name.startswith("CJK UNIFIED") and not name.startswith("HANGUL SYLLABLE"):
            every.append((chr(cp), name))
    rng = random.Random(seed)
    rng.shuffle(every)
    found = []
    for ch, name in every:
        key = name.lower().replace(" ", "-")
        if index.get(0, key) == ch:
            found.append((ch, key, name))
            if len(found) == count:
                break
    return found


class Pair:
    def __init__(self, label: str, target: str, ours: Callable[[], object],
                 theirs: Callable[[], object], size: int, unit: str, theirs_label: str):
        self.label = label
        self.target = target
        self.ours = ours
        self.theirs = theirs
        self.size = size  # bytes or items per call
        self.unit = unit
        self.theirs_label = theirs_label


def calibrate(fn: Callable[[], object], seconds: float) -> int:
    number = 1
    while True:
        start = time.perf_counter()
        for _ in range(number):
            fn()
        if time.perf_counter() - start >= seconds:
            return number
        number *= 2


def batch(fn: Callable[[], object], number: int) -> float:
    start = time.perf_counter()
    for _ in range(number):
        fn()
    return (time.perf_counter() - start) / number


def measure(pair: Pair, repeat: int, seconds: float) -> tuple[float, float]:
    """Median seconds per call of each side, the two sides alternating."""
    ours_n = calibrate(pair.ours, seconds)
    theirs_n = calibrate(pair.theirs, seconds)
    ours, theirs = [], []
    gc.disable()
    try:
        for _ in range(repeat):
            ours.append(batch(pair.ours, ours_n))
            theirs.append(batch(pair.theirs, theirs_n))
    finally:
        gc.enable()
    return statistics.median(ours), statistics.median(theirs)


def rate(size: int, seconds: float, unit: str) -> str:
    if unit == "B":
        return f"{size / seconds / 1e6:10.1f} MB/s"
    return f"{seconds / size * 1e9:10.1f} ns/op"


def check(label: str, got: object, want: object) -> None:
    if got != want:
        sys.exit(f"compare.py: the {label} inputs are not equivalent; results differ")


def build_pairs(words: int, seed: int) -> list[Pair]:
    index = _glyphloom.Index()
    converter = _glyphloom.Converter(index)
    pairs = []

    # Short references against HTML named references, for the same characters.
    refs = html_references(index)
    seq = tokens(words, len(refs), seed)
    ours = render(seq, lambda n: "\\:" + refs[n][0])
    theirs = render(seq, lambda n: "&" + refs[n][0] + ";")
    expected = render(seq, lambda n: refs[n][1])
    check("reference", converter.convert(ours, "warn"), (expected, [], None))
    check("reference", html.unescape(theirs), expected)
    pairs.append(Pair("convert, a reference every 3rd word", ">= 10x",
                      lambda: converter.convert(ours, "warn"), lambda: html.unescape(theirs),
                      len(ours.encode()), "B", "html.unescape"))

    if emoji is not None:
        picts = pictographs(index, converter)
        seq = tokens(words, len(picts), seed)
        tags = render(seq, lambda n: "<:" + picts[n][1] + ">")
        codes = render(seq, lambda n: picts[n][2])
        text = render(seq, lambda n: picts[n][0])
        check("tag", converter.convert(tags, "warn"), (text, [], None))
        check("tag", emoji.emojize(codes), text)
        pairs.append(Pair("convert, a tag every 3rd word", ">= 10x",
                          lambda: converter.convert(tags, "warn"), lambda: emoji.emojize(codes),
                          len(tags.encode()), "B", "emoji.emojize"))
        check("pictograph", converter.to_glyphloom(text), tags)
        check("pictograph", emoji.demojize(text), codes)
        pairs.append(Pair("to_glyphloom, a pictograph every 3rd word", ">= 50x",
                          lambda: converter.to_glyphloom(text), lambda: emoji.demojize(text),
                          len(text.encode()), "B", "emoji.demojize"))
        # Each emoji with its presentation selector: the tag is checked to convert back.
        icons = selector_pictographs(index, converter)
        seq = tokens(words, len(icons), seed)
        marked = render(seq, lambda n: icons[n][1])
        coded = render(seq, lambda n: icons[n][2])
        shown = render(seq, lambda n: icons[n][0])
        check("selector", converter.to_glyphloom(shown), marked)
        check("selector", emoji.demojize(shown), coded)
        pairs.append(Pair("to_glyphloom, emoji+FE0F every 3rd word", ">= 20x",
                          lambda: converter.to_glyphloom(shown), lambda: emoji.demojize(shown),
                          len(shown.encode()), "B", "emoji.demojize"))

    names = character_names(index, 2000, seed)
    keys = [key for _, key, _ in names]
    unicode_names = [name for _, _, name in names]
    get, lookup = index.get, unicodedata.lookup
    check("name", [get(0, k) for k in keys], [lookup(n) for n in unicode_names])
    pairs.append(Pair("Index.get(0, name)", ">= 1x", lambda: [get(0, k) for k in keys],
                      lambda: [lookup(n) for n in unicode_names], len(keys), "op",
                      "unicodedata.lookup"))

    plain = render(tokens(words, 0, seed), lambda n: "")
    data = plain.encode()
    check("plain", converter.convert(plain, "warn"), (plain, [], None))
    pairs.append(Pair("convert, plain text", "bound", lambda: converter.convert(plain, "warn"),
                      lambda: bytearray(data), len(data), "B", "copy of the bytes"))
    return pairs


# Runs in a fresh interpreter: the resident set before and after importing the module, and after
# building many indexes and converters over the default image, then the image's size.
MEMORY_PROBE = textwrap.dedent("""
    import re
    def rss(module=None):
        # The process's own (anonymous) resident memory, where a copy of the image would be; or
        # the resident pages mapped from the module's file, which holds the default image: pages
        # of it count once a lookup reads them (how many around each the kernel maps varies),
        # and they are the file's, shared, not copies.
        if module is None:
            with open("/proc/self/status") as f:
                for line in f:
                    if line.startswith("RssAnon:"):
                        return int(line.split()[1]) * 1024
        total, counting = 0, False
        with open("/proc/self/smaps") as f:
            for line in f:
                if re.match(r"^[0-9a-f]+-[0-9a-f]+ ", line):
                    counting = line.rstrip().endswith(module)
                elif counting and line.startswith("Rss:"):
                    total += int(line.split()[1]) * 1024
        return total
    before = rss()
    import _glyphloom
    name = _glyphloom.__file__
    points = [(before, 0), (rss(), rss(name))]
    kept = [_glyphloom.Converter(_glyphloom.Index()) for _ in range(1000)]
    points.append((rss(), rss(name)))
    kept[0].convert("<:grinning-face> \\\\:alpha " * 1000, "warn")
    points.append((rss(), rss(name)))
    size = len(_glyphloom.Index().data)
    print(" ".join(f"{a} {b}" for a, b in points), size)
""")

IMPORT_PROBE = ("import time\nstart = time.perf_counter()\nimport _glyphloom\n"
                "print(time.perf_counter() - start)")


def fixed_costs(repeat: int) -> None:
    env = dict(os.environ)
    imports = []
    for _ in range(repeat):
        out = subprocess.run([sys.executable, "-c", IMPORT_PROBE], env=env, check=True,
                             capture_output=True, text=True).stdout
        imports.append(float(out))
    index = _glyphloom.Index()
    n = 200_000
    make_index = min(timeit.repeat(_glyphloom.Index, number=n, repeat=repeat)) / n
    both = min(timeit.repeat(lambda: _glyphloom.Converter(_glyphloom.Index()), number=n,
                             repeat=repeat)) / n
    over = min(timeit.repeat(lambda: _glyphloom.Converter(index), number=n, repeat=repeat)) / n
    print()
    print(f"{'fixed cost':44} {'time':>12}  target")
    print(f"{'import _glyphloom (median, fresh process)':44} "
          f"{statistics.median(imports) * 1e3:9.3f} ms  < 5 ms")
    print(f"{'Index()':44} {make_index * 1e6:9.3f} us")
    print(f"{'Converter(index)':44} {over * 1e6:9.3f} us")
    print(f"{'Converter(Index())':44} {both * 1e6:9.3f} us  < 2 us")

    out = subprocess.run([sys.executable, "-c", MEMORY_PROBE], env=env, check=True,
                         capture_output=True, text=True).stdout
    values = list(map(int, out.split()))
    size = values.pop()
    points = list(zip(values[0::2], values[1::2]))
    labels = ["before import _glyphloom", "after import", "after 1000 x Converter(Index())",
              "after one conversion"]
    kib = 1024
    print()
    print(f"{'resident memory':36} {'anonymous':>10} {'change':>10} {'module file':>12}")
    for i, (label, (total, module)) in enumerate(zip(labels, points)):
        change = f"{(total - points[i - 1][0]) // kib:+} KiB" if i else ""
        print(f"{label:36} {total // kib:6} KiB {change:>10} {module // kib:8} KiB")
    print(f"(the default image is {size // kib} KiB of the module file and is read in place: a "
          "copy would add as much anonymous memory)")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--words", type=int, default=30_000, help="words per text")
    parser.add_argument("--repeat", type=int, default=7, help="timed batches per side")
    parser.add_argument("--seconds", type=float, default=0.05, help="least time of one batch")
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()

    pairs = build_pairs(args.words, args.seed)
    print(f"glyphloom against the alternatives (medians of {args.repeat}; "
          f"Python {sys.version.split()[0]}"
          + (f", emoji {emoji.__version__})" if emoji else "; emoji not installed)"))
    print(f"{'operation':42} {'glyphloom':>15} {'alternative':>15}  {'ratio':>8}  "
          f"{'target':7} alternative")
    for pair in pairs:
        ours, theirs = measure(pair, args.repeat, args.seconds)
        print(f"{pair.label:42} {rate(pair.size, ours, pair.unit)} "
              f"{rate(pair.size, theirs, pair.unit)}  {theirs / ours:7.2f}x  {pair.target:7} "
              f"{pair.theirs_label}")
    fixed_costs(args.repeat)


if __name__ == "__main__":
    main()
