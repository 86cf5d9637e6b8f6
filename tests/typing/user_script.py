"""A user's script over the glyphloom API; `mypy --strict` must accept it, and it runs."""

from __future__ import annotations

import sys
import warnings

import glyphloom
from glyphloom import ConversionError, GlyphloomWarning, Run, Styled


def convert_or_report(source: str) -> str | None:
    try:
        return glyphloom.convert(source, mode="lenient")
    except ConversionError as error:
        print(f"{error.line}:{error.column}: {error.kind}: {error.detail}", file=sys.stderr)
        return None


def findings(source: str) -> list[tuple[int, int, str]]:
    _, found = glyphloom.convert_with_warnings(source)
    return [(w.line, w.column, w.message) for w in found]


def runs_of(tagged: str) -> list[tuple[str, str]]:
    styled: Styled = glyphloom.meta_runs(tagged)
    first: Run | None = styled.runs[0] if styled.runs else None
    keys = [(run.key, styled.text_of(run)) for run in styled.runs]
    if first is not None:
        assert first.start < first.end
    for message, byte in styled.warnings:
        keys.append((message, str(byte)))
    return keys


def main() -> None:
    text = convert_or_report("<:bold a> <:color red alpha>")
    assert text is not None
    print(glyphloom.visible(text), runs_of(text))
    print(findings("<:bold %>"))
    print(glyphloom.to_glyphloom(text))
    page: str = glyphloom.to_html("<:font han-japanese>漢字<:/font>", page=True, title="t")
    fragment: str = glyphloom.html(*glyphloom.meta_runs(text)[:2])
    print(len(page), fragment)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always", GlyphloomWarning)
        glyphloom.convert("<:bold %>")
    print([str(w.message) for w in caught])

    index: glyphloom.Index = glyphloom.load_index(glyphloom.Index().data)
    print(glyphloom.convert("\\:alpha", index=index))
    converter = glyphloom.Converter(index)
    result, warned, error = converter.convert("<:qqq>", "warn")
    if error is not None:
        kind, detail, location = error
        print(kind, detail, location)
    font = converter.font("han-jis78")
    if font is not None:
        name, lang, families, features = font
        print(name, lang, ", ".join(families), features)
    print(glyphloom.default_converter().meta_template("color"), glyphloom.GLYPHLOOM_VERSION)


if __name__ == "__main__":
    main()
