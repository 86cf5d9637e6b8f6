"""Finding names: glyphloom.search, and the suggestions that unknown names get."""

import pickle

import pytest

import glyphloom
from test_package import image


def texts(query, limit=20, index=None):
    return [match.text for match in glyphloom.search(query, limit, index)]


@pytest.mark.parametrize("query, text, within", [
    ("alpha", "α", 1),
    ("less than or equal", "≤", 3),
    # Any case, any separator.
    ("LATIN SMALL LETTER ENG", "ŋ", 1),
    ("latin_small_letter_eng", "ŋ", 1),
    ("Latin-Small letter_ENG", "ŋ", 1),
    # Prefixes of words.
    ("hira", "あ", 1),
    ("latin smal letter eng", "ŋ", 1),
    # One edit in a word of four to seven letters: a swap, an insertion, a deletion.
    ("alpah", "α", 1),
    ("infinty", "∞", 1),
    ("infinnity", "∞", 1),
    ("gamna", "γ", 1),
    # Two in a longer word: a deletion and a substitution.
    ("mathematcal bold capitol a", "𝐀", 1),
    # A pasted character, a code point.
    ("⊕", "⊕", 1),
    ("U+2295", "⊕", 1),
    ("u+2295", "⊕", 1),
    ("U+1F44D", "👍", 1),
    ("thumbs up", "👍", 1),
])
def test_each_kind_of_query(query, text, within):
    assert text in texts(query)[:within]


@pytest.mark.parametrize("query", ["gamnaa", "infinnnnity", "mathmatcl bold capitl a"])
def test_typos_stay_within_their_edits(query):
    # "gamnaa" is two edits from gamma in a six-letter word, the others three from their names.
    assert not {"γ", "∞", "𝐀"} & set(texts(query))


def test_ranking():
    # The exact key, then ignoring case: α before Α.
    assert [m.name for m in glyphloom.search("alpha", 2)] == ["alpha", "Alpha"]
    # Every word whole, fewer extra words first, before keys with the words as prefixes.
    names = [m.name for m in glyphloom.search("smiling face", 40)]
    whole = [i for i, n in enumerate(names)
             if {"smiling", "face"} <= set(n.replace("_", "-").split("-"))]
    assert names[0] == "smiling-face"  # the emoji's name: the same words, nothing else
    assert whole == list(range(len(whole)))
    sizes = [len(names[i].replace("_", "-").split("-")) for i in whole]
    assert sizes == sorted(sizes)
    # Composed keys after the plain names of the same length in words.
    assert texts("bold alpha", 1) == ["𝛂"]
    assert [m.name for m in glyphloom.search("hira", 3)] == [
        "hiragana-letter-a", "hiragana-letter-e", "hiragana-letter-i"]


def test_match_record():
    (match,) = glyphloom.search("⊕", 1)
    assert match == glyphloom.Match("⊕", "\\:oplus", "oplus", "U+2295",
                                    ("CirclePlus", "direct-sum", "circled-plus"))
    assert glyphloom.convert(match.markup) == "⊕"
    with pytest.raises(AttributeError):
        match.text = "x"  # type: ignore[misc]
    # One match per text; invisible and sequence texts keep their code points.
    found = glyphloom.search("tag latin small letter r", 5)
    assert len({m.text for m in found}) == len(found)
    assert found[0].code_points == "U+E0072"
    for match in glyphloom.search("latin small letter a", 20):
        assert glyphloom.convert(match.markup) == match.text
        assert match.name not in match.names


@pytest.mark.parametrize("source, mode, suggestions", [
    ("<:latin smal letter eng>", "warn", ["<:latin small letter eng>"]),
    ("<:LATIN SMALL LETTER ENG>", "warn", ["<:latin small letter eng>"]),
    ("x \\:alpah y", "warn", ["\\:alpha", "\\:Alpha"]),
    ("<:color red infinty>", "warn", ["<:infinity>"]),
    ("<:qqq>", "warn", []),
    ("<:smiling>", "error", ["<:smiling_imp>", "<:smiling-face>"]),
])
def test_unknown_names_carry_suggestions(source, mode, suggestions):
    with pytest.raises(glyphloom.UnknownEntityError) as caught:
        glyphloom.convert(source, mode)
    error = caught.value
    assert error.suggestions == suggestions
    hint = ""
    if suggestions:
        hint = (f" (did you mean {suggestions[0]}?)" if len(suggestions) == 1 else
                f" (did you mean {', '.join(suggestions[:-1])} or {suggestions[-1]}?)")
    assert error.message == f"unknown glyphloom entity: {error.detail}{hint}"
    assert pickle.loads(pickle.dumps(error)).suggestions == suggestions
    for suggestion in suggestions:
        assert glyphloom.convert_with_warnings(suggestion)[1] == []
    # Lenient mode keeps the tag and gives the same hint in its warning.
    _, found = glyphloom.convert_with_warnings(source, "lenient")
    assert [w.message for w in found] == [error.message]


TINY = image({"smile": "☺", "white-smiling-face": "☺", "frown": "☹", "shiny ": "",
              "shiny smile": "☻", "red *suffix": "\U000e0072"})


@pytest.mark.parametrize("query, expected", [
    ("smile", [("☺", "\\:smile", "smile", ("white-smiling-face",)),
               ("☻", "<:shiny smile>", "shiny smile", ())]),
    ("smlie", [("☺", "\\:smile", "smile", ("white-smiling-face",)),
               ("☻", "<:shiny smile>", "shiny smile", ())]),
    ("WHITE smiling", [("☺", "\\:white-smiling-face", "white-smiling-face", ("smile",))]),
    ("shiny", [("☻", "<:shiny smile>", "shiny smile", ())]),  # not the marker key
    ("U+2639", [("☹", "\\:frown", "frown", ())]),
    ("red", []),  # nor the directive
])
def test_search_over_a_custom_index(query, expected):
    tiny = glyphloom.load_index(TINY)
    assert [(m.text, m.markup, m.name, m.names) for m in glyphloom.search(query, index=tiny)] \
        == expected


def test_suggestions_over_a_custom_index():
    tiny = glyphloom.load_index(TINY)
    with pytest.raises(glyphloom.UnknownEntityError) as caught:
        glyphloom.convert("<:frwon>", index=tiny)
    assert caught.value.suggestions == ["<:frown>"]


@pytest.mark.parametrize("query", [
    "", " ", "\n", "-", "_ -", "\0", "<:", "\\:", "U+110000", "U+D800", "u+", "💥" * 50,
    "a" * 5000, "x " * 2000, "abcdefghijklmnopqrstuvwxyzabcdefgh", " ".join(["letter"] * 30),
])
def test_odd_queries(query):
    found = glyphloom.search(query, 5)
    assert len(found) <= 5 and all(isinstance(m, glyphloom.Match) for m in found)


@pytest.mark.parametrize("args, error", [
    ((None,), TypeError),
    ((b"alpha",), TypeError),
    (("alpha", "3"), TypeError),
    (("alpha", 2.0), TypeError),
    (("alpha", -1), ValueError),
    (("\udcff",), ValueError),
])
def test_bad_arguments(args, error):
    with pytest.raises(error):
        glyphloom.search(*args)


def test_search_data_is_read_only_for_the_index_it_was_made_from(tmp_path, monkeypatch):
    from glyphloom import _search
    default, tiny = glyphloom.Index(), glyphloom.load_index(TINY)
    built = _search.Searcher(default)
    read = _search.Searcher(default, built.dump())
    for query in ("alpha", "less than or equal", "hira", "mathematcal", "⊕", "U+2295"):
        assert read.search(query, 20) == built.search(query, 20)
    assert read.suggestions("alpah", True) == built.suggestions("alpah", True)
    monkeypatch.setattr(glyphloom, "__path__", [str(tmp_path)])
    monkeypatch.setattr(_search, "_stamp", lambda index: b"stamp of the default index\n")
    (tmp_path / _search.DATA_FILE).write_bytes(b"stamp of the default index\n" + built.dump())
    assert _search._read(default).search("alpha", 3) == built.search("alpha", 3)
    # Made from another index, or by another version of _search.py: built instead.
    monkeypatch.setattr(_search, "_stamp", lambda index: b"another stamp\n")
    assert _search._read(tiny) is None
