"""The default index read through the converter: every spelling, name and composed key reads
back, and the documented examples hold."""

import importlib.util
import sys
from pathlib import Path

import pytest

import _glyphloom

ROOT = Path(__file__).resolve().parents[2]
INDEX = _glyphloom.Index()
CONVERTER = _glyphloom.Converter(INDEX)
MARKERS = {key[:-1] for key, text in INDEX.entries(0) if key.endswith(" ") and text == ""}


def load_sources():
    spec = importlib.util.spec_from_file_location("generate_tables", ROOT / "tools" / "generate_tables.py")
    module = importlib.util.module_from_spec(spec)
    sys.modules[spec.name] = module
    spec.loader.exec_module(module)
    return module, module.load_sources()


GENERATOR, SOURCES = load_sources()


def converted(source):
    return CONVERTER.convert(source, "error")


def failures(cases):
    """The (source, expected, got) of every case that does not convert to its text."""
    bad = []
    for source, expected in cases:
        got = converted(source)
        if got != (expected, [], None):
            bad.append((source, expected, got))
    return bad


def test_every_spelling_reads_back():
    cases = list((spelling, char) for char, spelling in INDEX.entries(1))
    assert len(cases) == INDEX.count(1)
    assert failures(cases) == []


def test_every_unicode_name_reads_back_through_the_tag_form():
    cases = []
    for char in SOURCES.ucd.named():
        key = GENERATOR.name_key(char.name)
        if key in MARKERS:  # `mirror` opens a block of the modifier of that name
            continue
        cases.append(("<:" + key.replace("-", " ") + ">", chr(char.cp)))
    assert len(cases) > 33000
    assert failures(cases) == []


def short_reference_cases(names):
    for name in names:
        if all(c.isascii() and (c.isalnum() or c in "-_") for c in name):
            yield "\\:" + name, INDEX.get(0, name)


def test_every_html_and_command_name_reads_back_as_a_short_reference():
    html_names = list(SOURCES.html)
    commands = [name for name, _ in SOURCES.math_commands]
    cases = list(short_reference_cases(html_names + commands))
    assert len(cases) > 4000
    assert all(text is not None for _, text in cases)
    assert failures(cases) == []


def composed_keys():
    for key, text in INDEX.entries(0):
        word, space, operand = key.partition(" ")
        if space and word in MARKERS and operand and not operand.startswith("*"):
            yield key, text


# Keys a tag cannot carry as written: the tag ends at its first ">", and a whole name with the
# same dashes names another character.
UNTYPABLE = {"fullwidth >"}
SHADOWED = {"circled x", "black four-pointed-star", "black rightwards-arrow", "white medium-square"}


def test_every_composed_key_reads_back_through_the_operand_form():
    keys = dict(composed_keys())
    assert len(keys) > 8000
    cases = [("<:" + key + ">", text) for key, text in keys.items()
             if key not in UNTYPABLE and key not in SHADOWED]
    assert failures(cases) == []
    for key in SHADOWED:
        assert converted("<:" + key + ">")[0] != keys[key]


TARGET_CASES = GENERATOR.target_cases(SOURCES, dict(INDEX.entries(0)))


@pytest.mark.parametrize("target", sorted(GENERATOR.TARGETS))
def test_vocabularies_users_type_resolve(target):
    """Emoji names and shortcodes, TeX and LaTeX commands, Egyptian codes and styled forms:
    the share of each vocabulary that the converter resolves to its character."""
    cases = TARGET_CASES[target]
    missed = [case for case in cases if case[1] is None or converted(case[0]) != (case[1], [], None)]
    assert len(cases) > 100
    assert 1 - len(missed) / len(cases) >= GENERATOR.TARGETS[target], missed[:20]


@pytest.mark.parametrize("source, text", [
    ("<:red heart>", "\u2764\ufe0f"), ("<:thumbs up>", "\U0001F44D"),
    ("<:flag japan>", "\U0001F1EF\U0001F1F5"), ("<:keycap 1>", "1\ufe0f\u20e3"),
    ("<:family man woman girl>", "\U0001F468\u200d\U0001F469\u200d\U0001F467"),
    ("<:thumbs up medium skin tone>", "\U0001F44D\U0001F3FD"),
    ("\\:joy", "\U0001F602"), ("\\:thumbs_up", "\U0001F44D"), ("<:+1>", "\U0001F44D"),
    ("\\:smile", "\u2323"), ("<:grinning face with smiling eyes>", "\U0001F601"),
    ("\\:to\\:gets\\:neq\\:land\\:lor\\:lnot\\:ldots\\:cdots", "\u2192\u2190\u2260\u2227\u2228\u00ac\u2026\u22ef"),
    ("\\:ss\\:ae\\:o\\:l\\:i\\:textdegree", "\u00df\u00e6\u00f8\u0142\u0131\u00b0"),
    ("<:o><:i>", "oi"),  # a one-byte tag is still its own character
    ("<:gardiner A14A><:egyptian A14A><:gardiner A14a>", "\U00013011\U00013011\U00013011"),
    ("<:hieroglyph A001><:hieroglyph A005A><:hieroglyph A001F>", "\U00013000\U00013005\U00013460"),
    ("<:gardiner A68><:hieroglyph A068B>", "\U0001304D\U00013468"),  # today's key stays
    ("<:squared cm><:double-struck-italic D><:outlined 0><:segmented 7>",
     "\u339d\u2145\U0001CCF0\U0001FBF7"),
    ("<:keycap digit one><:hashtag><:turnstile>", "1\ufe0f\u20e3#\u22a2"),
])
def test_names_of_other_vocabularies(source, text):
    assert converted(source) == (text, [], None)


RED = "\U000E0072"


def tags(payload):
    return "".join(chr(0xE0000 + ord(c)) for c in payload) + "\U000E007F"


@pytest.mark.parametrize(
    "source,text,warnings",
    [
        ("<:latin-small-letter-eng>", "\u014b", []),
        ("<:latin small letter eng>", "\u014b", []),
        ("\\:gt\\:alpha\\:DD\\:dd\\:star\\:check\\:ring", ">\u03b1\u2145\u2146\u22c6\u030c\U0001f48d", []),
        ("\\:BbbA", "\U0001d538", []),
        ("<:greek alpha><:greek a><:greek b>", "\u03b1\u03b1\u03b2", []),
        ("<:bold a><:bold-a><:bold alpha><:bold ab>", "\U0001d41a\U0001d41a\U0001d6c2\U0001d41a\U0001d41b", []),
        ("<:bold \u03b1>", "\U0001d6c2", []),
        ("<:circled 1><:circled a><:upper 2><:upper 1><:upper A>", "\u2460\u24d0\u00b2\u00b9\u1d2c", []),
        ("<:italic h><:double-struck C><:double-struck A><:bold A>", "\u210e\u2102\U0001d538\U0001d400", []),
        ("<:italic bold a>", "\U0001d482", []),
        ("<:italic bold A>", "\U0001d468", []),
        ("<:bold italic A>", "\U0001d468", []),
        ("<:sans bold italic A>", "\U0001d63c", []),
        ("<:white heart><:white-heart><:green apple>", "\U0001f90d\U0001f90d\U0001f34f", []),
        ("<:black>four-pointed-star<:/black>", "\U0001f7c6", []),
        ("<:fullwidth *>", "\uff0a", []),
        ("<:ligature AE>", "\u00c6", []),
        ("<:gardiner A1><:egyptian A1>", "\U00013000\U00013000", []),
        ("<:above>\u65e5 \u6708<:>", "\u2ff1\u65e5\u6708", []),
        ("<:above \u65e5 \u6708>", "\u2ff1\u65e5\u6708", []),
        ("<:beside \U00013000 \U00013001>", "\U00013000\U00013431\U00013001", []),
        ("<:greek>a b<:/greek>", "\u03b1 \u03b2", []),
        ("<:red a>", "a" + RED, []),
        ("<:red bold a>", "\U0001d41a" + RED, []),
        ("<:mirror \U00013000>", "\U00013000\U00013440", []),
        ("<:mirror \u4e2d>", "\u4e2d\U000e004d", []),
        ("<:iconic a><:emoji a><:text a><:plain a>", "a\ufe0fa\ufe0fa\ufe0ea\ufe0e", []),
        ("<:color red alpha>", "\u03b1" + tags(":color red"), []),
        ("<:color red a b>", "a" + tags(":color red") + "b" + tags(":color red"), []),
        ("<:color red>", tags("<color red"), []),
    ],
)
def test_documented_examples(source, text, warnings):
    assert CONVERTER.convert(source, "warn") == (text, warnings, None)


@pytest.mark.parametrize(
    "source,text,warnings",
    [
        ("<:red \u4e2d>", "\u4e2d" + tags(":color red"), [("red on \u4e2d kept as color meta", 0)]),
        ("<:grey \u4e2d>", "\u4e2d" + tags(":color gray"), [("grey on \u4e2d kept as color meta", 0)]),
        ("<:flip \U00013000>", "\U00013000", [("flip does not apply to \U00013000", 0)]),
        ("<:red mirror \u4e2d>", "\u4e2d\U000e004d" + tags(":color red"),
         [("red on \u4e2d kept as color meta", 0)]),
        ("<:bold upper 2>", "\u00b2", [("no bold form of \u00b2", 0)]),
        ("<:small-capital A>", "A", [("no small-capital form of A", 0)]),
        ("<:bold %>", "%", [("no bold form of %", 0)]),
        ("<:above a b>", "ab", [("no above group of a", 0)]),
        ("<:font nosuchfont alpha>", "\u03b1" + tags(":font nosuchfont"),
         [("nosuchfont is no font style of the entities, used as a font family", 0)]),
    ],
)
def test_documented_examples_with_warnings(source, text, warnings):
    assert CONVERTER.convert(source, "warn") == (text, warnings, None)


@pytest.mark.parametrize(
    "source,error",
    [
        ("<:color red hello world>", ("UnknownEntity", "hello", None)),
        ("<:color>", ("UnknownEntity", "color", None)),
        ("<:nosuch a>", ("UnknownEntity", "nosuch a", None)),
        ("<: bold a>", ("UnknownEntity", " bold a", None)),
        ("\\:alpha2", ("UnknownEntity", "alpha2", None)),
        ("\\: ", ("UnknownEntity", "", None)),
    ],
)
def test_documented_errors(source, error):
    assert CONVERTER.convert(source, "warn") == (None, [], error)


@pytest.mark.parametrize(
    "text,markup",
    [
        ("\u014b", "<:eng>"),
        ("\u00c0", "<:latin-capital-letter-a-with-grave>"),
        ("\u00a0", "<:no-break-space>"),
        ("\u00b9", "<:upper 1>"),
        ("\U0001d434", "<:italic A>"),
        ("\U0001f90d", "<:white heart>"),
        ("\u2764\ufe0f", "<:iconic heavy-black-heart>"),
        ("\ufe0f", "<:variation-selector-16>"),
        ("a" + tags(":color red"), "<:color red a>"),
        ("\u00b9" + tags(":color red"), "<:color red upper 1>"),
        ("x" + RED + "\U000E0062", "<:blue red x>"),
        (tags("<font han-japanese") + "x" + tags("</font"), "<:font han-japanese>x<:/font>"),
    ],
)
def test_documented_markup(text, markup):
    assert CONVERTER.to_glyphloom(text) == markup
