import pytest

import _glyphloom
from _glyphloom import header, meta_at, meta_glyphloom, meta_tags


def tags(payload):
    return "".join(chr(0xE0000 + ord(c)) for c in payload) + "\U000E007F"


@pytest.mark.parametrize(
    "source,expected",
    [
        ('<:glyphloom version="x">\nabc', ("x", 25)),
        ("<:glyphloom>\r\nabc", ("", 14)),
        ("<:glyphloom>\rabc", ("", 12)),
        ("<:glyphloom>", ("", 12)),
        ("<:glyphloom", None),
        ("<:glyphloomx>", None),
        ("<:glyphloom version=x>", ("", 22)),
        ('<:glyphloom version="unterminated>', ("unterminated", 34)),
        ('<:glyphloom a="1" version="é" b>', ("é", 33)),
        ("plain text", None),
        ("", None),
    ],
)
def test_header(source, expected):
    assert header(source=source) == expected


def test_header_rejects_bytes():
    with pytest.raises(TypeError, match=r"^argument 'source': "):
        header(b"<:glyphloom>")


@pytest.mark.parametrize(
    "kind,key,value,payload,markup",
    [
        ("open", "font", "han-japanese", "<font han-japanese", "<:font han-japanese>"),
        ("close", "font", "ignored", "</font", "<:/font>"),
        ("attached", "color", "red", ":color red", "color red"),
    ],
)
def test_meta_tags_and_markup(kind, key, value, payload, markup):
    encoded = meta_tags(kind, key, value)
    assert encoded == tags(payload)
    assert meta_glyphloom(kind=kind, key=key, value=value) == markup
    found = meta_at(encoded + "abc")
    assert found == ((kind, key, "" if kind == "close" else value), 4 * (len(payload) + 1))


def test_close_ignores_value():
    assert meta_tags("close", "font", "a") == meta_tags("close", "font", "b")


@pytest.mark.parametrize("fn", [meta_tags, meta_glyphloom])
@pytest.mark.parametrize("kind", ["Open", "OPEN", "", "closed"])
def test_unknown_meta_kind(fn, kind):
    with pytest.raises(ValueError) as info:
        fn(kind, "font", "x")
    assert str(info.value) == "unknown meta kind " + kind


@pytest.mark.parametrize(
    "text",
    ["", "abc", tags("<font")[:-1], "\U000E007F", tags("<font"), tags("<Font x"), tags("</"),
     tags("!font x"), tags("gbeng")],
)
def test_meta_at_none(text):
    assert meta_at(text) is None


def test_meta_at_reports_bytes_not_characters():
    assert meta_at(meta_tags("open", "font", "han-japanese")) == (("open", "font", "han-japanese"), 76)


def test_meta_tags_does_not_check_key_or_value():
    encoded = meta_tags("open", "Not A Key", "v\U00030000")
    assert encoded.endswith("\U000E007F")
    assert meta_at(encoded) is None
