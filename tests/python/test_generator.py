"""Invariants of the default index tables in data/tables/, checked on the
committed files (no converter needed)."""

import html.entities
import importlib.util
import re
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
TABLES = ROOT / "data" / "tables"
GENERATOR = ROOT / "tools" / "generate_tables.py"


def _load_generator():
    spec = importlib.util.spec_from_file_location("generate_tables", GENERATOR)
    module = importlib.util.module_from_spec(spec)
    sys.modules[spec.name] = module  # dataclasses look their module up there
    spec.loader.exec_module(module)
    return module


_ESCAPES = {"\\": "\\", "t": "\t", "n": "\n", "r": "\r"}


def _unescape(field):
    out, i = [], 0
    while i < len(field):
        ch = field[i]
        if ch != "\\":
            out.append(ch)
            i += 1
        elif field[i + 1] == "u":
            end = field.index("}", i)
            assert field[i + 2] == "{", field
            out.append(chr(int(field[i + 3:end], 16)))
            i = end + 1
        else:
            out.append(_ESCAPES[field[i + 1]])
            i += 2
    return "".join(out)


def _read(name):
    raw = (TABLES / f"{name}.tsv").read_bytes()
    assert raw.endswith(b"\n") and b"\r" not in raw
    rows = []
    for line in raw.decode("utf-8").split("\n")[:-1]:
        key, text = line.split("\t")  # exactly one tab: tabs inside are escaped
        rows.append((_unescape(key), _unescape(text)))
    return rows


@pytest.fixture(scope="module")
def generator():
    return _load_generator()


@pytest.fixture(scope="module")
def rows():
    return {name: _read(name) for name in ("names", "spellings", "effects", "fonts", "templates")}


@pytest.fixture(scope="module")
def names(rows):
    return dict(rows["names"])


@pytest.fixture(scope="module")
def spellings(rows):
    return dict(rows["spellings"])


MARKERS = (
    "above anatolian beside black blue bold bold-fracture bold-fraktur bold-italic bold-script "
    "brown circled double double-struck egyptian emoji flip fracture fraktur fullwidth gardiner "
    "gray greek green grey hieroglyph iconic italic left ligature lower luwian mirror monospace "
    "orange parenthesized pink plain purple red reverse reverseInPlace reversed right sans "
    "sans-bold sans-bold-italic sans-italic script small-capital squared subscript superscript "
    "text turn turned upper white yellow "
    # the styles of the decompositions that had no form
    "circled-italic double-italic double-struck-italic initial looped mathematical outlined "
    "segmented stretched tailed"
).split()

TEMPLATES = {
    "font": "font-family: {}", "lang": "", "size": "font-size: {}",
    "angle": "display: inline-block; transform: rotate({}deg)", "color": "color: {}",
    "style": "font-style: {}", "background": "background-color: {}",
    "weight": "font-weight: {}", "features": "font-feature-settings: '{}'",
}

EFFECTS = {
    "\uFE0E": "plain", "\uFE0F": "iconic", "\U00013440": "mirror",
    **{chr(0xE0000 + ord(letter)): name for letter, name in {
        "F": "flip", "L": "left", "M": "mirror", "R": "right", "T": "turn", "a": "gray",
        "b": "blue", "g": "green", "k": "black", "n": "brown", "o": "orange", "p": "pink",
        "r": "red", "v": "purple", "w": "white", "y": "yellow"}.items()},
}

FONTS = {
    "cuneiform-archaic": ("sux-Xsux-x-archaic", "Akkadian, Noto Sans Cuneiform"),
    "cuneiform-hittite": ("hit-Xsux", "UllikummiA, UllikummiB, UllikummiC, Noto Sans Cuneiform"),
    "cuneiform-neo-assyrian": ("akk-Xsux-x-neoassyr",
                               "Assurbanipal, CuneiformNAOutline, Assyrian, Noto Sans Cuneiform"),
    "cuneiform-old-babylonian": ("akk-Xsux-x-oldbab", "Santakku, CuneiformOB, Noto Sans Cuneiform"),
    "cuneiform-old-babylonian-monumental": ("akk-Xsux-x-oldbabm",
                                            "SantakkuM, Santakku, Noto Sans Cuneiform"),
    "cuneiform-ur3": ("sux-Xsux-x-ur3", "CuneiformComposite, Noto Sans Cuneiform"),
    "han-hong-kong": ("zh-HK", "Noto Sans CJK HK, PingFang HK"),
    "han-japanese": ("ja", "Noto Sans CJK JP, Hiragino Sans"),
    "han-jis78": ("ja", "Noto Sans CJK JP, Hiragino Sans"),
    "han-korean": ("ko", "Noto Sans CJK KR, Apple SD Gothic Neo"),
    "han-simplified": ("zh-Hans", "Noto Sans CJK SC, PingFang SC"),
    "han-traditional": ("zh-Hant", "Noto Sans CJK TC, PingFang TC"),
}

# effect: (*suffix, *suffix egyptian, *suffix cjk, *meta); None for an absent key.
_TAG = lambda letter: chr(0xE0000 + ord(letter))  # noqa: E731
_COLOUR = lambda letter, meta: (_TAG(letter), "", "", "color " + meta)  # noqa: E731
_TURN = lambda letter: (_TAG(letter), "", "", None)  # noqa: E731
EFFECT_DIRECTIVES = {
    "black": _COLOUR("k", "black"), "blue": _COLOUR("b", "blue"), "brown": _COLOUR("n", "brown"),
    "gray": _COLOUR("a", "gray"), "grey": _COLOUR("a", "gray"), "green": _COLOUR("g", "green"),
    "orange": _COLOUR("o", "orange"), "pink": _COLOUR("p", "pink"),
    "purple": _COLOUR("v", "purple"), "red": _COLOUR("r", "red"),
    "white": _COLOUR("w", "white"), "yellow": _COLOUR("y", "yellow"),
    "flip": _TURN("F"), "left": _TURN("L"), "right": _TURN("R"), "turn": _TURN("T"),
    "emoji": ("\uFE0F", None, None, None), "iconic": ("\uFE0F", None, None, None),
    "plain": ("\uFE0E", None, None, None), "text": ("\uFE0E", None, None, None),
    "mirror": (_TAG("M"), "\U00013440", None, None),
    "reverse": (_TAG("M"), "\U00013440", None, None),
}

GROUP_DIRECTIVES = {
    "above *group": "", "beside *group": "",
    "above *prefix cjk": "\u2FF1", "beside *prefix cjk": "\u2FF0",
    "above *infix egyptian": "\U00013430", "beside *infix egyptian": "\U00013431",
}

SYNONYMS = [("double", "double-struck"), ("upper", "superscript"), ("lower", "subscript"),
            ("fraktur", "fracture"), ("bold-fraktur", "bold-fracture"),
            ("reversed", "reverseInPlace"), ("gardiner", "egyptian"), ("luwian", "anatolian"),
            ("double-italic", "double-struck-italic")]

EXAMPLES = {
    "star": "\u22C6", "check": "\u030C", "ring": "\U0001F48D", "DD": "\u2145", "dd": "\u2146",
    "gt": ">", "alpha": "\u03B1", "comma": ",", "Agrave": "\u00C0", "acE": "\u223E\u0333",
    "latin-small-letter-eng": "\u014B", "heavy-black-heart": "\u2764",
    "white-heart": "\U0001F90D", "ox": "\U0001F402", "BbbA": "\U0001D538", "QED": "\u220E",
    "neg": "\u00AC", "vec": "\u20D7", "line-feed": "\n", "zwj": "\u200D", "pm": "\u00B1",
    "bold a": "\U0001D41A", "bold A": "\U0001D400", "bold α": "\U0001D6C2",
    "italic A": "\U0001D434", "italic h": "\u210E", "double-struck A": "\U0001D538",
    "double-struck C": "\u2102", "script B": "\u212C", "fraktur C": "\u212D",
    "bold-italic A": "\U0001D468", "sans-bold-italic A": "\U0001D63C", "bold 2": "\U0001D7D0",
    "upper 2": "\u00B2", "upper 1": "\u00B9", "upper A": "\u1D2C", "upper a": "\u1D43",
    "lower 2": "\u2082", "circled 1": "\u2460", "circled a": "\u24D0", "circled 10": "\u2469",
    "parenthesized 1": "\u2474", "squared A": "\U0001F130", "fullwidth A": "\uFF21",
    "fullwidth *": "\uFF0A", "turned a": "\u0250", "reversed E": "\u018E",
    "ligature AE": "\u00C6", "ligature ff": "\uFB00", "ligature ſt": "\uFB05",
    "white heart": "\U0001F90D", "green apple": "\U0001F34F", "black star": "\u2605",
    # The composed key serves the character that the dashed name does not reach.
    "black four-pointed-star": "\U0001F7C6", "black-four-pointed-star": "\u2726",
    "greek alpha": "\u03B1", "greek a": "\u03B1", "greek b": "\u03B2", "greek Alpha": "\u0391",
    "greek A": "\u0391", "greek lambda": "\u03BB", "gardiner A1": "\U00013000",
    "gardiner A14a": "\U00013011", "gardiner Aa1": "\U0001340D", "hieroglyph A1": "\U00013000",
    "luwian A1": "\U00014400", "luwian ego": "\U00014400", "hieroglyph ego": "\U00014400",
    "gardiner *rare": "", "red *suffix": "\U000E0072", "black *meta": "color black",
}


# ---------------------------------------------------------------------------
# The file format


@pytest.mark.parametrize("table", ["names", "spellings", "effects", "fonts", "templates"])
def test_rows_are_sorted_by_key_bytes_and_unique(rows, table):
    keys = [key.encode("utf-8") for key, _ in rows[table]]
    assert keys == sorted(set(keys))


def test_generator_reproduces_the_committed_tables(tmp_path):
    subprocess.run([sys.executable, str(GENERATOR), str(tmp_path)], check=True,
                   stdout=subprocess.DEVNULL)
    for path in sorted(TABLES.glob("*.tsv")):
        assert (tmp_path / path.name).read_bytes() == path.read_bytes(), path.name


@pytest.mark.parametrize("field, text", [
    ("a\\\\b", "a\\b"), ("\\t\\n\\r", "\t\n\r"), ("\\u{E0072}x", "\U000E0072x"),
    ("bold\\u{20}", "bold "), ("", ""),
])
def test_generator_escapes_round_trip(generator, field, text):
    assert generator.unescape(field) == text == _unescape(field)
    category = {" ": "Zs", "\U000E0072": "Cf"}
    assert generator.escape(text, lambda ch: category.get(ch, "Ll")) == field


# ---------------------------------------------------------------------------
# Hand-written tables


def test_templates_table_is_complete(rows):
    assert dict(rows["templates"]) == TEMPLATES


def test_effects_table_is_complete(rows):
    assert dict(rows["effects"]) == EFFECTS


def test_fonts_table_is_complete(rows):
    expected = {}
    for font, (lang, families) in FONTS.items():
        expected.update({font + " ": "", font + " lang": lang, font + " families": families})
    expected["han-jis78 features"] = "jp78"
    assert dict(rows["fonts"]) == expected


@pytest.mark.parametrize("columns, features", [
    ("", None),
    ("\tjp78", "jp78"),
    ("\tjp78\tpwid", "jp78, pwid"),
    ("\tjp78\tpwid\tvert", "jp78, pwid, vert"),
])
def test_every_feature_column_reaches_the_record(generator, monkeypatch, tmp_path,
                                                 columns, features):
    (tmp_path / "fonts.tsv").write_text(f"# a comment\nhan-x\tja\tA, B{columns}\n",
                                        encoding="utf-8")
    monkeypatch.setattr(generator, "VOCABULARY", tmp_path)
    fonts = generator.build_fonts()
    assert fonts.get("han-x features") == features
    assert fonts["han-x families"] == "A, B"


def test_markers_are_exactly_the_modifiers(names):
    markers = sorted(k[:-1] for k in names if k.endswith(" ") and " " not in k[:-1])
    assert markers == sorted(MARKERS)
    assert all(names[m + " "] == "" for m in MARKERS)


@pytest.mark.parametrize("effect", sorted(EFFECT_DIRECTIVES))
def test_effect_directives(names, effect):
    keys = ("*suffix", "*suffix egyptian", "*suffix cjk", "*meta")
    got = tuple(names.get(f"{effect} {k}") for k in keys)
    assert got == EFFECT_DIRECTIVES[effect]


def test_group_directives(names):
    assert {k: names.get(k) for k in GROUP_DIRECTIVES} == GROUP_DIRECTIVES


_DIRECTIVE = re.compile(r"(\S+) \*(suffix|meta|group|prefix|infix|rare)?( (cjk|egyptian))?")


def test_only_marker_and_directive_keys_end_with_space_or_hold_a_star(names):
    reserved = [k for k in names if k.endswith(" ") or "*" in k]
    for key in reserved:
        if key.endswith(" "):
            assert key[:-1] in MARKERS, key
        else:
            m = _DIRECTIVE.fullmatch(key)
            assert m and m.group(1) in MARKERS, key
    assert len(reserved) == len(MARKERS) + 81


# ---------------------------------------------------------------------------
# Names


@pytest.mark.parametrize("key", sorted(EXAMPLES))
def test_documented_entries(names, key):
    assert names.get(key) == EXAMPLES[key]


@pytest.mark.parametrize("word, synonym", SYNONYMS)
def test_synonym_modifiers_have_the_same_forms(names, word, synonym):
    def forms(modifier):
        return {k.split(" ", 1)[1]: v for k, v in names.items()
                if k.startswith(modifier + " ") and "*" not in k and not k.endswith(" ")}

    assert forms(word) and forms(word) == forms(synonym)


def test_html_references_keep_their_text_unless_documented(generator, names):
    overridden = generator.HTML_OVERRIDDEN
    refs = {k.rstrip(";"): v for k, v in html.entities.html5.items()}
    assert len(refs) == 2125
    differing = {k for k, v in refs.items() if names.get(k) != v}
    assert differing == overridden
    assert all(k in names for k in refs)


def test_names_match_unicode_database():
    unicodedata2 = pytest.importorskip("unicodedata2")
    assert unicodedata2.unidata_version == "16.0.0"
    names = dict(_read("names"))
    for cp in range(0x110000):
        name = unicodedata2.name(chr(cp), "")
        numbered = name.endswith("-%04X" % cp) or name.startswith("TANGUT COMPONENT-")
        if not name or numbered or 0xAC00 <= cp <= 0xD7A3:  # Hangul syllables: spelt out
            continue
        assert names.get(name.lower().replace(" ", "-")) == chr(cp), name


def test_mathematical_styles_decompose_to_their_base(names):
    import unicodedata

    styles = {"bold", "italic", "bold-italic", "script", "bold-script", "fraktur", "double",
              "bold-fraktur", "sans", "sans-bold", "sans-italic", "sans-bold-italic",
              "monospace", "upper", "lower", "fullwidth"}
    checked = 0
    for key, text in names.items():
        modifier, _, base = key.partition(" ")
        if modifier in styles and base and "*" not in base and unicodedata.name(text, ""):
            assert unicodedata.normalize("NFKC", text) == unicodedata.normalize("NFKC", base), key
            checked += 1
    assert checked > 1000


def test_composed_keys_agree_with_the_dashed_whole_name(names):
    """A tag tries `white-heart` before the modifier form `white heart`; the two
    name different characters only where two characters compete for one key:
    CIRCLED X is not the circled letter x, and the dashed names of three colour
    forms name the other candidate; the composed key (reached through block
    text) serves the character the dashed name does not."""
    disagree = {k for k, v in names.items()
                if " " in k.strip() and "*" not in k and names.get(k.replace(" ", "-"), v) != v}
    assert disagree == {"circled x", "black four-pointed-star", "black rightwards-arrow",
                        "white medium-square"}


# ---------------------------------------------------------------------------
# Spellings


def _reads_back(names, spelling):
    """What the tag `<:name>` converts to: it ends at the first `>`, a modifier
    opens a block, `/` closes one; else the whole name with spaces as dashes, else
    the form `modifier operand`."""
    name = spelling[2:-1]
    if ">" in name or name.startswith("/") or name + " " in names:
        return None
    if name.replace(" ", "-") in names:
        return names[name.replace(" ", "-")]
    modifier, _, operand = name.partition(" ")
    if modifier + " " in names and " " not in operand:
        return names.get(name)
    return None


def test_every_spelling_reads_back_as_its_character(names, spellings):
    wrong = {}
    for char, spelling in spellings.items():
        assert len(char) == 1 and ord(char) >= 0xA0, repr(char)
        assert spelling.startswith("<:") and spelling.endswith(">") and len(spelling) > 3
        if _reads_back(names, spelling) != char:
            wrong[char] = spelling
        first, space, rest = spelling[2:-1].partition(" ")
        if space and first + " " in names:  # the style word splits off
            assert names.get(f"{first} {rest}") == char, spelling
    assert not wrong


@pytest.mark.parametrize("char, spelling", [
    ("\u00B9", "<:upper 1>"), ("\U0001D434", "<:italic A>"), ("\U0001F90D", "<:white heart>"),
    ("\U0001D6C2", "<:bold α>"), ("\u2102", "<:double C>"), ("\u014B", "<:eng>"),
    ("\u03B1", "<:alpha>"), ("\u00C0", "<:latin-capital-letter-a-with-grave>"),
    ("\u00A0", "<:no-break-space>"), ("\U0001F5A4", "<:black heart>"),
    ("\U00013000", "<:gardiner A1>"), ("\U00014400", "<:luwian A1>"),
    ("\U000E0072", "<:tag-latin-small-letter-r>"), ("\U000E007F", "<:cancel-tag>"),
    ("\uFE0F", "<:variation-selector-16>"), ("\u2764", "<:heavy-black-heart>"),
    ("\u03BB", "<:lambda>"), ("\u2205", "<:emptyset>"),
])
def test_documented_spellings(spellings, char, spelling):
    assert spellings[char] == spelling


def test_every_named_character_from_nbsp_up_is_spelled(names, spellings):
    unicode_named = {v for k, v in names.items()
                     if len(v) == 1 and ord(v) >= 0xA0 and re.fullmatch(r"[a-z0-9-]+", k)}
    # U+1FA9E MIRROR cannot be named in a tag: <:mirror> opens a `mirror` block.
    assert unicode_named - set(spellings) == {"\U0001FA9E"}
