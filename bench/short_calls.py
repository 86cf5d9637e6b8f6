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


# Each call is timed as a statement over local names, as `python -m timeit` would, so that what
# is measured is the call itself and not a wrapper around it.
def per_call(stmt: str, names: dict[str, object], number: int) -> float:
    setup = "; ".join(f"{name} = _{name}" for name in names)
    namespace = {f"_{name}": value for name, value in names.items()}
    timer = timeit.Timer(stmt, setup=setup, globals=namespace)
    return min(timer.repeat(number=number, repeat=5)) / number


def side_by_side(ours: str, theirs: str, names: dict[str, object], rounds: int = 7,
                 number: int = 20000) -> tuple[float, float]:
    a, b = [], []
    for _ in range(rounds):
        a.append(per_call(ours, names, number))
        b.append(per_call(theirs, names, number))
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
    names = {"convert": convert, "method": converter.convert, "unescape": html.unescape,
             "source": SOURCE, "escaped": ESCAPED, "fail": failing(lambda: convert(bad)),
             "good": good, "plain": html.unescape(ESCAPED),
             "decode": bytes.decode, "utf8": html.unescape(ESCAPED).encode()}
    rows = [
        ("glyphloom.convert, one reference", ">= 3x", "html.unescape",
         *side_by_side("convert(source)", "unescape(escaped)", names)),
        ("Converter.convert, one reference", ">= 4x", "html.unescape",
         *side_by_side("method(source, 'warn')", "unescape(escaped)", names)),
        # For scale: the method on the converted text itself (no reference to look up), and the
        # method's result shape (str, [], None) built in Python from the UTF-8 bytes.
        ("  same method, the text with no reference", "scale", "html.unescape",
         *side_by_side("method(plain, 'warn')", "unescape(escaped)", names)),
        ("  its result alone: (str, [], None)", "scale", "html.unescape",
         *side_by_side("(decode(utf8), [], None)", "unescape(escaped)", names)),
    ]
    ratios = [
        ("Converter.convert: one reference / \"abc\"", "<= 1.5",
         *side_by_side("method(source, 'warn')", "method('abc', 'warn')", names)),
        ("Converter.convert: keywords / positional", "<= 1.25",
         *side_by_side("method(source=source, mode='warn')", "method(source, 'warn')", names)),
        ("glyphloom.convert: keywords / positional", "<= 1.25",
         *side_by_side("convert(source=source, mode='warn')", "convert(source, 'warn')", names)),
        ("glyphloom.convert, 100 KB: error / success", "<= 1.3",
         *side_by_side("fail()", "convert(good)", names, number=50)),
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
