"""How long glyphloom.search takes over the default index: the build that the first query pays
(in a fresh process each time), then each query of a set that covers every kind it answers.

    PYTHONPATH=build-bench/python:python .venv/bin/python bench/search.py
"""

from __future__ import annotations

import argparse
import statistics
import subprocess
import sys
import time

QUERIES = [
    "alpha", "less than or equal", "LATIN SMALL LETTER ENG", "latin_small_letter_eng", "hira",
    "thumbs up", "arrow", "smiling face", "double struck capital", "alpah", "infinty",
    "latin smal letter eng", "mathematcal bold capitl a", "⊕", "U+2295", "no such name",
]

# The first query in a fresh process: one that needs only the words, and one with a long typo,
# which also needs the deletions of the long words.
FIRST = ("import sys, time\nimport glyphloom\nstart = time.perf_counter()\n"
         "glyphloom.search(sys.argv[1])\nprint(time.perf_counter() - start)")


def first_query(query: str, repeat: int) -> float:
    runs = [float(subprocess.run([sys.executable, "-c", FIRST, query], check=True,
                                 capture_output=True, text=True).stdout)
            for _ in range(repeat)]
    return statistics.median(runs)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeat", type=int, default=5, help="fresh processes per first query")
    parser.add_argument("--rounds", type=int, default=50, help="timed rounds per query")
    args = parser.parse_args()

    import glyphloom

    print(f"{'search: first query (builds what it needs)':44} {'median':>12}  target")
    for query in ("alpha", "mathematcal"):
        print(f"  {query!r:42} {first_query(query, args.repeat) * 1e3:9.1f} ms  <= 200 ms")
    glyphloom.search("mathematcal")  # everything built
    print(f"\n{'search: each query afterwards':44} {'median':>12} {'max':>10}  target")
    worst = 0.0
    for query in QUERIES:
        times = []
        for _ in range(args.rounds):
            start = time.perf_counter()
            glyphloom.search(query)
            times.append(time.perf_counter() - start)
        worst = max(worst, statistics.median(times))
        print(f"  {query!r:42} {statistics.median(times) * 1e3:9.3f} ms {max(times) * 1e3:7.3f} ms"
              "  <= 5 ms")
    print(f"  {'slowest median':42} {worst * 1e3:9.3f} ms")


if __name__ == "__main__":
    main()
