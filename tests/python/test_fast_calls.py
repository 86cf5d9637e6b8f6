"""Index.get's argument handling is the same on its fast path (two positional arguments) and on
every other call, and texts of one character come back as the same strings as longer ones."""

import pytest

import _glyphloom


@pytest.fixture(scope="module")
def index():
    return _glyphloom.Index()


@pytest.mark.parametrize(
    "args, kwargs, expected",
    [
        ((0, "gt"), {}, ">"),
        ((0,), {"key": "gt"}, ">"),
        # A keyword name made at run time is not interned: found by its text.
        ((0,), {"".join(["ke", "y"]): "gt"}, ">"),
        ((), {"table_number": 0, "key": "gt"}, ">"),
        ((True, "gt"), {}, None),
        ((0, "no such name"), {}, None),
        ((0, "red "), {}, ""),
    ],
)
def test_get_answers_alike_however_called(index, args, kwargs, expected):
    assert index.get(*args, **kwargs) == expected


@pytest.mark.parametrize(
    "args, kwargs, error, message",
    [
        ((0,), {}, TypeError, "get() missing required argument 'key' (pos 2)"),
        ((0, "gt", 1), {}, TypeError, "get() takes at most 2 arguments (3 given)"),
        ((), {}, TypeError, "get() missing required argument 'table_number' (pos 1)"),
        ((0, "gt"), {"key": "x"}, TypeError, "get() takes at most 2 arguments (3 given)"),
        ((0,), {"kee": "gt"}, TypeError, "get() missing required argument 'key' (pos 2)"),
        (("0", "gt"), {}, TypeError,
         "argument 'table_number': 'str' object cannot be interpreted as an integer"),
        ((0, b"gt"), {}, TypeError, "argument 'key': expected str, got bytes"),
        ((-1, "gt"), {}, OverflowError,
         "argument 'table_number': out of range for an unsigned 64-bit int"),
        ((5, "gt"), {}, ValueError, "no index table 5"),
    ],
)
def test_get_refuses_alike_however_called(index, args, kwargs, error, message):
    with pytest.raises(error) as raised:
        index.get(*args, **kwargs)
    assert str(raised.value) == message


@pytest.mark.parametrize(
    "key, text",
    [("gt", ">"), ("eng", "\u014b"), ("alpha", "\u03b1"), ("heavy-black-heart", "\u2764"),
     ("grinning-face", "\U0001f600"), ("acE", "\u223e\u0333"), ("Agrave", "\u00c0")],
)
def test_texts_of_one_or_two_characters(index, key, text):
    got = index.get(0, key)
    assert got == text and type(got) is str
    assert index.entry(0, key) == (key, text)
