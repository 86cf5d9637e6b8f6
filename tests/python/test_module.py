import pytest

import _glyphloom


def test_members_are_registered_in_order():
    names = [n for n in vars(_glyphloom) if not n.startswith("__")]
    assert names == [
        "Index",
        "Converter",
        "header",
        "meta_tags",
        "meta_glyphloom",
        "meta_at",
        "text_hash",
        "GLYPHLOOM_VERSION",
    ]
    assert _glyphloom.__doc__ == ""


def test_version_is_a_url_ending_in_v1():
    assert _glyphloom.GLYPHLOOM_VERSION.startswith("https://")
    assert _glyphloom.GLYPHLOOM_VERSION.endswith("/v1")


@pytest.mark.parametrize(
    "text,expected", [("", 0), ("abc", 96354), ("gt", 3309), ("À", 6173), ("\U0010ffff" * 9, None)]
)
def test_text_hash(text, expected):
    value = _glyphloom.text_hash(text=text)
    assert 0 <= value <= 0xFFFFFFFF
    if expected is not None:
        assert value == expected


def test_text_hash_rejects_bytes_naming_the_parameter():
    with pytest.raises(TypeError, match=r"^argument 'text': "):
        _glyphloom.text_hash(b"abc")


def test_lone_surrogate_raises_unicode_encode_error():
    with pytest.raises(UnicodeEncodeError):
        _glyphloom.text_hash("\ud800")


@pytest.mark.parametrize(
    "call",
    [
        lambda: _glyphloom.text_hash(),
        lambda: _glyphloom.text_hash("a", "b"),
        lambda: _glyphloom.text_hash(txt="a"),
        lambda: _glyphloom.text_hash("a", text="a"),
    ],
)
def test_wrong_argument_counts_raise_type_error(call):
    with pytest.raises(TypeError):
        call()


@pytest.mark.parametrize(
    "obj,signature",
    [
        (_glyphloom.text_hash, "(text)"),
        (_glyphloom.header, "(source)"),
        (_glyphloom.meta_tags, "(kind, key, value)"),
        (_glyphloom.meta_glyphloom, "(kind, key, value)"),
        (_glyphloom.meta_at, "(text)"),
        (_glyphloom.Index, "(data=None)"),
        (_glyphloom.Converter, "(index)"),
        (_glyphloom.Index.get, "($self, table_number, key)"),
        (_glyphloom.Index.count, "($self, table_number)"),
        (_glyphloom.Index.entry, "($self, table_number, key)"),
        (_glyphloom.Index.entries, "($self, table_number)"),
        (_glyphloom.Converter.convert, "($self, source, mode)"),
        (_glyphloom.Converter.to_glyphloom, "($self, text)"),
        (_glyphloom.Converter.meta_runs, "($self, tagged)"),
        (_glyphloom.Converter.html, "($self, text, runs)"),
        (_glyphloom.Converter.font, "($self, name)"),
        (_glyphloom.Converter.meta_template, "($self, key)"),
    ],
)
def test_text_signatures(obj, signature):
    assert obj.__text_signature__ == signature


@pytest.mark.parametrize(
    "obj,doc",
    [
        (_glyphloom.Index, "An entity index; lookups read its bytes in place"),
        (_glyphloom.Converter, "A converter over one index"),
        (_glyphloom.Converter.convert, "(text, warnings, None) or (None, [], error)"),
        (_glyphloom.Converter.meta_runs, "(plain text, runs, warnings)"),
        (_glyphloom.Converter.font, "(name, lang, families, features)"),
        (_glyphloom.Converter.to_glyphloom, ""),
        (_glyphloom.Index.get, ""),
        (_glyphloom.text_hash, ""),
        (_glyphloom.header, "(version, length) of the header at the start of the source"),
        (_glyphloom.meta_tags, "The TAG sequence of a meta: kind `open`, `close` or `attached`"),
        (
            _glyphloom.meta_glyphloom,
            "The glyphloom of a meta: `<:font han-japanese>`, `<:/font>`, `color red`",
        ),
        (
            _glyphloom.meta_at,
            "(kind, key, value) of the meta sequence at the start of the text and its byte length",
        ),
    ],
)
def test_docstrings(obj, doc):
    assert (obj.__doc__ or "") == doc


def test_internal_error_derives_from_base_exception_only(InternalError):
    assert issubclass(InternalError, BaseException)
    assert not issubclass(InternalError, Exception)
