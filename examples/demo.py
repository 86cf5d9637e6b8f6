"""The whole glyphloom pipeline on examples/tour.glyphloom.

markup --convert--> tagged text --meta_runs--> plain text + runs --html--> HTML page
tagged text --to_glyphloom--> markup again
"""

import html
import pathlib
import sys

import _glyphloom
from glyphloom import visible

HERE = pathlib.Path(__file__).resolve().parent
OUT = HERE.parent / "out"


def heading(title):
    print()
    print(title)
    print("=" * len(title))


def page(fragment, title):
    return (
        "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
        f"<title>{html.escape(title)}</title>\n"
        "<style>body { font: 20px/1.6 sans-serif; margin: 2em; white-space: pre-wrap; }</style>\n"
        f"</head>\n<body>{fragment}</body>\n</html>\n"
    )


def main():
    source_path = HERE / "tour.glyphloom"
    source = source_path.read_text(encoding="utf-8")
    index = _glyphloom.Index()
    converter = _glyphloom.Converter(index)
    print(f"glyphloom {_glyphloom.GLYPHLOOM_VERSION}: default index with "
          f"{index.count(0)} names and {index.count(1)} spellings")

    heading("1. The source")
    print(source, end="")

    heading("2. Converted to text (lenient mode; invisible characters shown as ⟨…⟩)")
    text, warnings, error = converter.convert(source, "lenient")
    if error is not None:
        print("error:", error)
        return 1
    print(visible(text), end="")
    for message, byte in warnings:
        print(f"warning at byte {byte}: {message}")

    heading("3. Split into plain text and runs")
    plain, runs, run_warnings = converter.meta_runs(text)
    for key, value, start, end, byte in runs:
        stretch = plain.encode("utf-8")[start:end].decode("utf-8")
        print(f"{key}={value:<14} bytes {start}..{end}: {stretch!r}")
    for message, byte in run_warnings:
        print(f"warning at byte {byte}: {message}")

    heading("4. Rendered as HTML")
    fragment = converter.html(plain, runs)
    OUT.mkdir(exist_ok=True)
    target = OUT / "tour.html"
    target.write_text(page(fragment, "A glyphloom tour"), encoding="utf-8")
    print(f"{len(fragment)} characters of HTML written to {target}")

    heading("5. Converted back to markup")
    print(converter.to_glyphloom(text), end="")
    return 0


if __name__ == "__main__":
    sys.exit(main())
