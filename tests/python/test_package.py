"""The Python package glyphloom over the extension module."""

import pathlib
import pickle
import struct
import threading
import warnings

import pytest

import _glyphloom
import glyphloom
from glyphloom import _api


def image(names: dict[str, str], templates: dict[str, str] | None = None) -> bytes:
    """A GLX1 image with these Names and Templates rows (the other tables empty)."""
    tables = [names, {}, {}, {}, templates or {}]
    pool = bytearray()
    records = []
    header = 8 + 8 * len(tables)
    start = header + 20 * sum(len(t) for t in tables)
    for table in tables:
        rows = []
        for key, text in table.items():
            k, t = key.encode(), text.encode()
            rows.append((_glyphloom.text_hash(key), k, t))
        rows.sort()
        out = []
        for hash_, k, t in rows:
            key_at = start + len(pool)
            pool += k
            text_at = start + len(pool)
            pool += t
            out.append(struct.pack("<5I", hash_, key_at, len(k), text_at, len(t)))
        records.append(out)
    directory, offset = b"", header
    for out in records:
        directory += struct.pack("<2I", offset, len(out))
        offset += 20 * len(out)
    return b"GLX1" + struct.pack("<I", len(tables)) + directory + b"".join(
        b"".join(out) for out in records) + bytes(pool)


META = _glyphloom.meta_tags
TINY = image({"smile": "☺", "bold ": "", "bold a": "A!"}, {"color": "color: {}"})


@pytest.mark.parametrize("source, expected", [
    ("", ""),
    ("<:latin-small-letter-eng> \\:alpha", "ŋ α"),
    ("<:glyphloom>\r\nab\r\n", "ab\r\n"),
])
def test_convert(source, expected):
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        assert glyphloom.convert(source) == expected


@pytest.mark.parametrize("source, mode, error_type, detail, byte, line, column, message", [
    ("ab\n  <:qqq> x", "warn", glyphloom.UnknownEntityError, "qqq", 5, 2, 3,
     "unknown glyphloom entity: qqq"),
    # The column counts characters, the byte offset bytes.
    ("αβ <:qqq>", "warn", glyphloom.UnknownEntityError, "qqq", 5, 1, 4,
     "unknown glyphloom entity: qqq"),
    # The place is that of the failing tag, not the first mention of its name.
    ("qqq\\:qqq", "error", glyphloom.UnknownEntityError, "qqq", 3, 1, 4,
     "unknown glyphloom entity: qqq"),
    ("hello <:color red hello>", "warn", glyphloom.UnknownEntityError, "hello", 6, 1, 7,
     "unknown glyphloom entity: hello"),
    ("x\n\\:alpha2 y", "warn", glyphloom.UnknownEntityError, "alpha2", 2, 2, 1,
     "unknown glyphloom entity: alpha2"),
    ("ab\ncd <:bold a", "warn", glyphloom.UnclosedError, "<:bold a", 6, 2, 4,
     "unclosed <: at <:bold a"),
    ("<:bold\n" + "x" * 100, "warn", glyphloom.UnclosedError,
     "<:bold\n" + "x" * 100, 0, 1, 1, "unclosed <: at <:bold…"),
    ("x <:color red x> <:color ???>", "warn", glyphloom.InvalidMetaError, "color ???", 17, 1, 18,
     "invalid meta value in <:color ???>"),
    ("a\n ŋ<:bold %>", "error", glyphloom.UnsupportedError, "no bold form of %", 5, 2, 3,
     "no bold form of %"),
])
def test_conversion_errors_carry_kind_detail_and_place(
        source, mode, error_type, detail, byte, line, column, message):
    with pytest.raises(error_type) as caught:
        glyphloom.convert(source, mode)
    error = caught.value
    assert isinstance(error, glyphloom.ConversionError) and isinstance(error, ValueError)
    assert (error.kind, error.detail, error.byte, error.line, error.column, error.message) == (
        error_type.kind, detail, byte, line, column, message)
    assert str(error) == f"{message} (line {line}, column {column})"
    copy = pickle.loads(pickle.dumps(error))
    assert type(copy) is error_type and copy.args == error.args


def test_unsupported_error_carries_its_warning():
    with pytest.raises(glyphloom.UnsupportedError) as caught:
        glyphloom.convert('<:glyphloom version="9">', mode="error")
    assert caught.value.warning == glyphloom.GlyphloomWarning(
        "unsupported glyphloom version 9", 0, 1, 1)


def test_convert_issues_warnings_at_the_caller():
    with pytest.warns(glyphloom.GlyphloomWarning) as caught:
        assert glyphloom.convert("a\n<:bold %> <:qqq>", mode="lenient") == "a\n% <:qqq>"
    assert [(w.message.message, w.message.byte, w.message.line, w.message.column)
            for w in caught] == [("no bold form of %", 2, 2, 1),
                                 ("unknown glyphloom entity: qqq", 12, 2, 11)]
    assert {w.filename for w in caught} == {__file__}


def test_convert_with_warnings_returns_them_and_issues_none():
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        text, found = glyphloom.convert_with_warnings("<:red 中>")
    assert glyphloom.visible(text) == "中⟨:color red⟩"
    assert found == [glyphloom.GlyphloomWarning("red on 中 kept as color meta", 0, 1, 1)]
    assert str(found[0]) == "red on 中 kept as color meta (line 1, column 1)"


@pytest.mark.parametrize("mode", ["Warn", "strict", ""])
def test_unknown_mode(mode):
    with pytest.raises(ValueError, match=f"^unknown warning mode {mode}$"):
        glyphloom.convert("x", mode)


def test_meta_runs_gives_named_tuples():
    tagged = glyphloom.convert("<:lang ja>字<:/lang> <:color red a>")
    tagged += glyphloom.convert("<:/font>")
    styled = glyphloom.meta_runs(tagged)
    assert styled == ("字 a",
                      [("lang", "ja", 0, 3, 0), ("color", "red", 4, 5, styled.runs[1].byte)],
                      [("</font closes no open font", len(tagged.encode()) - 28)])
    assert isinstance(styled.runs[0], glyphloom.Run) and styled.runs[0].value == "ja"
    assert isinstance(styled.warnings[0], glyphloom.RunWarning)
    # Character offsets beside the byte ones, so the plain text can be sliced directly.
    assert [(run.char_start, run.char_end) for run in styled.runs] == [(0, 1), (2, 3)]
    assert [styled.text[r.char_start:r.char_end] for r in styled.runs] == ["字", "a"]
    assert [styled.text_of(run) for run in styled.runs] == ["字", "a"]
    with pytest.deprecated_call():
        assert glyphloom.Warning is glyphloom.RunWarning  # the old name, still there
    assert "Warning" not in glyphloom.__all__


@pytest.mark.parametrize("render, given, expected", [
    (glyphloom.to_html, "<:bold a> & <:color red alpha>", '𝐚 &amp; <span style="color: red">α</span>'),
    (glyphloom.to_html, "plain <text>", "plain &lt;text&gt;"),
    # Converted text is rendered as it stands, whatever it holds; nothing guesses.
    (glyphloom.text_to_html, glyphloom.convert("<<::>b <:color red alpha>"),
     '&lt;:b <span style="color: red">α</span>'),
    (glyphloom.text_to_html, glyphloom.convert("a <<::>alpha> b"), "a &lt;:alpha&gt; b"),
    (glyphloom.text_to_html, "<:b", "&lt;:b"),
])
def test_to_html(render, given, expected):
    assert render(given) == expected


def test_to_html_page_and_warnings():
    with pytest.warns(glyphloom.GlyphloomWarning) as caught:
        page = glyphloom.to_html("<:bold %>x<:/font>", page=True, title="a<b")
    assert page.startswith("<!DOCTYPE html>") and "<title>a&lt;b</title>" in page
    assert "<body>%x</body>" in page
    assert [str(w.message.message) for w in caught] == ["no bold form of %",
                                                        "</font closes no open font"]
    assert {w.filename for w in caught} == {__file__}


def test_to_html_raises_conversion_errors():
    with pytest.raises(glyphloom.UnknownEntityError):
        glyphloom.to_html("<:qqq>")


def test_to_glyphloom_round_trip():
    source = ("<:font han-japanese>漢字<:/font> <:color red alpha> <:eng>"
              " <:iconic heavy-black-heart>")
    text = glyphloom.convert(source)
    assert glyphloom.to_glyphloom(text) == source
    assert glyphloom.convert(glyphloom.to_glyphloom("a<:b \\:c")) == "a<:b \\:c"


@pytest.mark.parametrize("text, shown", [
    (META("open", "font", "han-japanese") + "字" + META("close", "font", ""),
     "⟨font han-japanese⟩字⟨/font⟩"),
    ("a" + META("attached", "color", "red"), "a⟨:color red⟩"),
    ("❤\ufe0f\u200d\U000e0072", "❤⟨U+FE0F⟩⟨U+200D⟩⟨U+E0072⟩"),
    # An emoji tag sequence is no meta.
    ("🏴\U000e0067\U000e0062\U000e007f", "🏴⟨U+E0067⟩⟨U+E0062⟩⟨U+E007F⟩"),
    ("a\tb\nc\x00", "a\tb\nc⟨U+0000⟩"),
    ("\U000e003c\U000e0061", "⟨U+E003C⟩⟨U+E0061⟩"),  # unterminated
])
def test_visible(text, shown):
    assert glyphloom.visible(text) == shown


def test_load_index_from_bytes_and_files(tmp_path):
    path = tmp_path / "tiny.glx"
    path.write_bytes(TINY)
    for source in (TINY, bytearray(TINY), memoryview(TINY), path, str(path)):
        index = glyphloom.load_index(source)
        assert glyphloom.convert("<:smile> <:bold a>", index=index) == "☺ A!"
        assert glyphloom.to_html("<:color red smile>", index=index) == (
            '<span style="color: red">☺</span>')
        with pytest.raises(glyphloom.UnknownEntityError):
            glyphloom.convert("\\:alpha", index=index)
    # The default converter is untouched by the other index.
    assert glyphloom.convert("\\:alpha") == "α"


def test_load_index_failures(tmp_path):
    bad = tmp_path / "bad.glx"
    bad.write_bytes(b"GLX1\x04\0\0\0")
    with pytest.raises(ValueError, match=f"^{bad}: glyphloom index has too few tables$"):
        glyphloom.load_index(bad)
    with pytest.raises(ValueError, match=r"^not a glyphloom index \(magic GLX1 missing\)$"):
        glyphloom.load_index(b"")
    with pytest.raises(FileNotFoundError):
        glyphloom.load_index(tmp_path / "missing.glx")


def test_one_default_converter_across_threads(monkeypatch):
    monkeypatch.setattr(_api, "_default", None)
    barrier = threading.Barrier(8)
    seen, results = [], []

    def work():
        barrier.wait()
        seen.append(glyphloom.default_converter())
        for _ in range(200):
            results.append(glyphloom.convert("<:bold a> <:color red alpha> \\:beta"))

    threads = [threading.Thread(target=work) for _ in range(8)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert len({id(c) for c in seen}) == 1 and seen[0] is glyphloom.default_converter()
    assert len(results) == 1600 and len(set(results)) == 1


def test_public_names():
    root = pathlib.Path(__file__).parents[2]
    # The one place the version is written; pyproject.toml and CMake read it from there.
    assert glyphloom.__version__ == (root / "VERSION").read_text().strip()
    assert "version =" not in (root / "pyproject.toml").read_text().split("[tool.")[0]
    assert glyphloom.GLYPHLOOM_VERSION == _glyphloom.GLYPHLOOM_VERSION
    assert glyphloom.Index is _glyphloom.Index and glyphloom.Converter is _glyphloom.Converter
    for name in glyphloom.__all__:
        assert hasattr(glyphloom, name), name
    assert repr(glyphloom.UnknownEntityError).startswith("<class 'glyphloom.")


@pytest.mark.parametrize("markup, expected", [
    ("<:red heavy-black-heart>",
     '<span class="glyphloom-effect" style="color: red">❤\U000e0072</span>'),
    ("<:turn A><:mirror \U00013000>",
     '<span class="glyphloom-effect" style="display: inline-block; transform: rotate(180deg)">'
     'A\U000e0054</span><span class="glyphloom-effect" style="display: inline-block; '
     'transform: scaleX(-1)">\U00013000\U00013440</span>'),
    ("<:red left a>", '<span class="glyphloom-effect" style="color: red; display: inline-block;'
     ' transform: rotate(-90deg)">a\U000e004c\U000e0072</span>'),
    # Selectors show nothing of their own, and a flag's TAG letters are its subdivision.
    ("<:iconic heavy-black-heart> \U0001f3f4\U000e0067\U000e0062\U000e0065\U000e006e\U000e0067"
     "\U000e007f", "❤\ufe0f \U0001f3f4\U000e0067\U000e0062\U000e0065\U000e006e\U000e0067\U000e007f"),
])
def test_html_shows_effects_and_keeps_the_characters(markup, expected):
    assert glyphloom.to_html(markup) == expected
    assert glyphloom.text_to_html(glyphloom.convert(markup)) == expected
    plain = glyphloom.convert(markup)
    assert glyphloom.to_html(markup, effects=False) == glyphloom.default_converter().html(plain, [])
