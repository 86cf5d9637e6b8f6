"""Short calls, timed side by side in one run: what a call costs beyond the work it does.

Each row is a ratio of two medians measured alternately in this process, so a loaded machine
moves both sides alike. Run through `make bench`, after bench/compare.py.
"""

from __future__ import annotations

import html
import statistics
import sys
import timeit
from collections.abc import Callable

import _glyphloom as core

import glyphloom

SOURCE = "x \\:alpha y"  # 11 bytes, one short reference
ESCAPED = "x &alpha; y"


def per_call(stmt: Callable[[], object], number: int) -> float:
    return min(timeit.repeat(stmt, number=number, repeat=5)) / number


def side_by_side(ours: Callable[[], object], theirs: Callable[[], object], rounds: int = 7,
                 number: int = 20000) -> tuple[float, float]:
    a, b = [], []
    for _ in range(rounds):
        a.append(per_call(ours, number))
        b.append(per_call(theirs, number))
    return statistics.median(a), statistics.median(b)


def failing(call: Callable[[], object]) -> Callable[[], object]:
    def run() -> None:
        try:
            call()
        except glyphloom.ConversionError:
            pass
        else:
            sys.exit("short_calls.py: the failing source converted")
    return run


def main() -> None:
    converter = core.Converter(core.Index())
    convert = glyphloom.convert
    assert convert(SOURCE) == html.unescape(ESCAPED)
    big = ("plain words and \\:alpha " * 4200)[:100_000]
    bad = big + " <:no-such-name>"
    good = big + " <:latin-small-letter-eng>"
    rows = [
        ("glyphloom.convert, one reference", ">= 3x", "html.unescape",
         *side_by_side(lambda: convert(SOURCE), lambda: html.unescape(ESCAPED))),
        ("Converter.convert, one reference", ">= 4x", "html.unescape",
         *side_by_side(lambda: converter.convert(SOURCE, "warn"), lambda: html.unescape(ESCAPED))),
    ]
    ratios = [
        ("Converter.convert: one reference / \"abc\"", "<= 1.5",
         *side_by_side(lambda: converter.convert(SOURCE, "warn"),
                       lambda: converter.convert("abc", "warn"))),
        ("Converter.convert: keywords / positional", "<= 1.25",
         *side_by_side(lambda: converter.convert(source=SOURCE, mode="warn"),
                       lambda: converter.convert(SOURCE, "warn"))),
        ("glyphloom.convert: keywords / positional", "<= 1.25",
         *side_by_side(lambda: convert(source=SOURCE, mode="warn"), lambda: convert(SOURCE, "warn"))),
        ("glyphloom.convert, 100 KB: error / success", "<= 1.3",
         *side_by_side(failing(lambda: convert(bad)), lambda: convert(good), number=50)),
    ]
    print(f"short calls (medians of 7; Python {sys.version.split()[0]})")
    print(f"{'call':44} {'glyphloom':>10} {'alternative':>12} {'ratio':>8}  target  alternative")
    for label, target, other, ours, theirs in rows:
        print(f"{label:44} {ours * 1e9:8.0f}ns {theirs * 1e9:10.0f}ns {theirs / ours:7.2f}x  "
              f"{target:7} {other}")
    print(f"{'ratio':44} {'first':>10} {'second':>12} {'ratio':>8}  target")
    for label, target, first, second in ratios:
        unit, scale = ("us", 1e6) if first > 1e-5 else ("ns", 1e9)
        print(f"{label:44} {first * scale:8.1f}{unit} {second * scale:10.1f}{unit} "
              f"{first / second:8.2f}  {target}")


if __name__ == "__main__":
    main()
