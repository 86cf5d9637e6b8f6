import gc

import pytest

import _glyphloom
from _glyphloom import Converter, Index

GREEK_ALPHA = "\u03b1"


def tags(payload):
    return "".join(chr(0xE0000 + ord(c)) for c in payload) + "\U000E007F"


def test_constructor_needs_an_index():
    with pytest.raises(TypeError, match=r"^argument 'index': "):
        Converter("not an index")
    with pytest.raises(TypeError):
        Converter()


def test_convert_plain_and_names(converter):
    assert converter.convert("", "warn") == ("", [], None)
    assert converter.convert("a <:latin small letter eng> \\:gt", "error") == ("a ŋ >", [], None)
    assert converter.convert(source="<:x>", mode="warn") == ("x", [], None)


@pytest.mark.parametrize(
    "mode,expected",
    [
        ("warn", (None, [], ("UnknownEntity", "qqq", None))),
        ("error", (None, [], ("UnknownEntity", "qqq", None))),
        ("lenient", ("x <:qqq> y", [("unknown glyphloom entity: qqq", 2)], None)),
    ],
)
def test_unknown_entity_in_each_mode(converter, mode, expected):
    assert converter.convert("x <:qqq> y", mode) == expected


def test_error_mode_turns_first_warning_into_unsupported(converter):
    source = '<:glyphloom version="nope">x'
    message = "unsupported glyphloom version nope"
    assert converter.convert(source, "warn") == ("x", [(message, 0)], None)
    assert converter.convert(source, "error") == (None, [], ("Unsupported", message, (message, 0)))


def test_supported_version_and_unclosed(converter):
    prefix = _glyphloom.GLYPHLOOM_VERSION[:-1]
    assert converter.convert(f'<:glyphloom version="{prefix}42">\nok', "error") == ("ok", [], None)
    assert converter.convert("<:glyphloom", "warn") == (None, [], ("Unclosed", "<:glyphloom", None))


def test_invalid_meta(converter):
    assert converter.convert("<:color ???>", "warn") == (None, [], ("InvalidMeta", "color ???", None))


@pytest.mark.parametrize("mode", ["Warn", "", "strict", "lenient "])
def test_unknown_warning_mode(converter, mode):
    with pytest.raises(ValueError) as info:
        converter.convert("x", mode)
    assert str(info.value) == "unknown warning mode " + mode


def test_argument_conversion_comes_first(converter):
    with pytest.raises(TypeError, match=r"^argument 'source': "):
        converter.convert(b"x", "bad mode")
    with pytest.raises(TypeError, match=r"^argument 'mode': "):
        converter.convert("x", None)


def test_warnings_do_not_leak_between_calls(converter):
    first = converter.convert("<:font nosuchfont alpha>", "warn")
    assert first[1] == [("nosuchfont is no font style of the entities, used as a font family", 0)]
    assert converter.convert("plain", "warn") == ("plain", [], None)


def test_blocks_and_groups(converter):
    assert converter.convert("<:above>日 月<:>", "error") == ("\u2ff1日月", [], None)
    assert converter.convert("<:color red>x<:/color>", "error")[0] == (
        tags("<color red") + "x" + tags("</color")
    )


def test_to_glyphloom(converter):
    assert converter.to_glyphloom("a<:b") == "a<<::>b"
    assert converter.to_glyphloom(text="\u2764\ufe0f") == "<:iconic heavy-black-heart>"
    assert converter.to_glyphloom("") == ""


def test_meta_runs(converter):
    assert converter.meta_runs("ab") == ("ab", [], [])
    tagged = tags("<font han-japanese") + "漢字" + tags("</font")
    assert converter.meta_runs(tagged=tagged) == ("漢字", [("font", "han-japanese", 0, 6, 0)], [])
    assert converter.meta_runs(tags("</font")) == ("", [], [("</font closes no open font", 0)])


def test_html(converter):
    assert converter.html("a<b>&\"c'", []) == "a&lt;b&gt;&amp;&quot;c'"
    assert converter.html("漢字 <ok>", [("font", "han-japanese", 0, 6, 0)]) == (
        "<span lang=\"ja\" style=\"font-family: 'Noto Sans CJK JP', 'Hiragino Sans'\">"
        "漢字</span> &lt;ok&gt;"
    )


@pytest.mark.parametrize(
    "runs,exception,match",
    [
        ("abc", TypeError, r"^argument 'runs': Can't extract `str` to `Vec`$"),
        ([("k", "v", 0, 1)], ValueError, r"^expected tuple of length 5, but got tuple of length 4$"),
        ([("k", "v", 0, 1, 0, 0)], ValueError, r"^expected tuple of length 5, but got tuple of length 6$"),
        ([("k", "v", -1, 1, 0)], OverflowError, None),
        ([("k", "v", "0", 1, 0)], TypeError, None),
        ([("k", b"v", 0, 1, 0)], TypeError, None),
        ([["k", "v", 0, 1, 0]], TypeError, None),
        (5, TypeError, r"^argument 'runs': "),
        ([("k", "v", 0, 99, 0)], ValueError, r"^run 0 .*beyond the text"),
        ([("k", "v", 0, 3, 0), ("k", "v", 4, 3, 0)], ValueError, r"^run 1 .*after end"),
        ([("k", "v", 1, 3, 0)], ValueError, r"^run 0 .*inside a character"),
    ],
)
def test_html_argument_errors(converter, runs, exception, match):
    with pytest.raises(exception, match=match):
        converter.html("漢x", runs)


def test_font_and_meta_template(converter):
    assert converter.font("han-jis78") == ("han-jis78", "ja", ["Noto Sans CJK JP", "Hiragino Sans"], ["jp78"])
    assert converter.font(name="han-japanese ") is None
    assert converter.font("Han-Japanese") is None
    assert converter.meta_template("color") == "color: {}"
    assert converter.meta_template("lang") == ""
    assert converter.meta_template(key="zz") is None


def test_converter_outlives_its_index():
    index = Index(Index().data)
    converter = Converter(index)
    del index
    gc.collect()
    assert converter.convert("\\:gt", "warn") == (">", [], None)


def test_internal_error_poisons_only_that_converter(InternalError):
    data = bytearray(Index().data)
    # Corrupt the Templates table's texts so a close-tag lookup meets bad UTF-8.
    idx = Index(bytes(data))
    good = Converter(idx)
    entries = idx.entries(4)
    assert entries
    start = bytes(data).index(b"font-family: {}")
    data[start] = 0xFF
    bad_index = Index(bytes(data))
    bad = Converter(bad_index)
    other = Converter(bad_index)
    with pytest.raises(InternalError) as info:
        bad.meta_template("font")
    assert str(info.value).startswith("index texts are UTF-8")
    for call in (lambda: bad.convert("x", "warn"), lambda: bad.to_glyphloom("x"),
                 lambda: bad.meta_template("color")):
        with pytest.raises(InternalError) as info:
            call()
        assert str(info.value).startswith("converter lock")
    # Argument errors are still raised before the lock.
    with pytest.raises(ValueError):
        bad.convert("x", "nope")
    assert other.meta_template("color") == "color: {}"
    assert good.meta_template("font") == "font-family: {}"
    assert bad_index.get(4, "color") == "color: {}"
