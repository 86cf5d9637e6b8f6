"""Hostile arguments: subclasses with lying methods, protocol methods that raise, sequences that
fail or change midway, lone surrogates, huge ints, buffers changed after the call. Each gets its
documented exception, and every object involved stays usable afterwards."""
import gc
from collections import namedtuple

import pytest

import _glyphloom
from _glyphloom import Converter, Index
from test_index import image

RUN = ("color", "red", 0, 1, 0)


@pytest.fixture()
def objects():
    """A converter and an index over caller bytes, and a check that both still answer."""
    index = Index(image({0: {"gt": ">", "alpha": "α"}, 1: {"α": "<:alpha>"},
                         4: {"color": "color: {}"}}))
    converter = Converter(index)

    def still_usable():
        assert converter.convert("<:alpha> \\:gt", "warn") == ("α >", [], None)
        assert converter.html("ab", [RUN]) == '<span style="color: red">a</span>b'
        assert index.get(0, "gt") == ">"

    return converter, index, still_usable


# Every text parameter: (parameter name, a good value, the call).
TEXT_PARAMETERS = [
    ("source", "<:alpha>", lambda c, i, t: c.convert(t, "warn")),
    ("mode", "lenient", lambda c, i, t: c.convert("<:zz>", t)),
    ("text", "α<:", lambda c, i, t: c.to_glyphloom(t)),
    ("tagged", "a" + _glyphloom.meta_tags("attached", "color", "red"),
     lambda c, i, t: c.meta_runs(t)),
    ("text", "a<b", lambda c, i, t: c.html(t, [RUN])),
    ("name", "han-japanese", lambda c, i, t: c.font(t)),
    ("key", "color", lambda c, i, t: c.meta_template(t)),
    ("key", "gt", lambda c, i, t: i.get(0, t)),
    ("key", "alpha", lambda c, i, t: i.entry(0, t)),
    ("source", "<:glyphloom>x", lambda c, i, t: _glyphloom.header(t)),
    ("kind", "open", lambda c, i, t: _glyphloom.meta_tags(t, "font", "x")),
    ("key", "font", lambda c, i, t: _glyphloom.meta_glyphloom("open", t, "x")),
    ("value", "x", lambda c, i, t: _glyphloom.meta_tags("attached", "font", t)),
    ("text", _glyphloom.meta_tags("close", "font", ""), lambda c, i, t: _glyphloom.meta_at(t)),
    ("text", "abc", lambda c, i, t: _glyphloom.text_hash(t)),
]
TEXT_IDS = [f"{name}-{n}" for n, (name, _, _) in enumerate(TEXT_PARAMETERS)]


class LyingStr(str):
    """A str whose methods all lie or raise; only its characters may be read."""

    def __len__(self):
        raise RuntimeError("__len__ of a str subclass was called")

    def __str__(self):
        raise RuntimeError("__str__ of a str subclass was called")

    def encode(self, *args, **kwargs):
        raise RuntimeError("encode of a str subclass was called")

    def __eq__(self, other):
        return False

    __hash__ = str.__hash__


@pytest.mark.parametrize("name,good,call", TEXT_PARAMETERS, ids=TEXT_IDS)
def test_str_subclasses_are_read_by_their_characters(objects, name, good, call):
    converter, index, still_usable = objects
    assert call(converter, index, LyingStr(good)) == call(converter, index, good)
    still_usable()


@pytest.mark.parametrize("name,good,call", TEXT_PARAMETERS, ids=TEXT_IDS)
@pytest.mark.parametrize("surrogate", ["\ud800", "a\udfff", "\udbff\udc00x"])
def test_lone_surrogates_raise_unicode_encode_error(objects, name, good, call, surrogate):
    converter, index, still_usable = objects
    with pytest.raises(UnicodeEncodeError):
        call(converter, index, surrogate)
    still_usable()


@pytest.mark.parametrize("name,good,call", TEXT_PARAMETERS, ids=TEXT_IDS)
@pytest.mark.parametrize("wrong", [b"x", bytearray(b"x"), 5, None, ["x"]])
def test_non_str_text_names_the_parameter(objects, name, good, call, wrong):
    converter, index, still_usable = objects
    with pytest.raises(TypeError, match=rf"^argument '{name}': "):
        call(converter, index, wrong)
    still_usable()


@pytest.mark.parametrize("field", [0, 1])
@pytest.mark.parametrize("surrogate", ["\ud800", "x\udc00"])
def test_lone_surrogate_inside_a_run(objects, field, surrogate):
    converter, _, still_usable = objects
    run = list(RUN)
    run[field] = surrogate
    with pytest.raises(UnicodeEncodeError):
        converter.html("ab", [RUN, tuple(run)])
    still_usable()


class LyingBytes(bytes):
    def __len__(self):
        return 0

    def __getitem__(self, i):
        raise RuntimeError("__getitem__ of a bytes subclass was called")

    def __iter__(self):
        raise RuntimeError("__iter__ of a bytes subclass was called")


class LyingBytearray(bytearray):
    def __len__(self):
        return 0

    def __getitem__(self, i):
        raise RuntimeError("__getitem__ of a bytearray subclass was called")


@pytest.mark.parametrize("kind", [LyingBytes, LyingBytearray])
def test_byte_subclasses_are_read_by_their_bytes(kind):
    data = image({0: {"gt": ">"}})
    index = Index(kind(data))
    assert index.data == data
    assert index.get(0, "gt") == ">"


class LyingTuple(tuple):
    def __len__(self):
        return 5

    def __getitem__(self, i):
        raise RuntimeError("__getitem__ of a tuple subclass was called")

    def __iter__(self):
        raise RuntimeError("__iter__ of a tuple subclass was called")


def test_tuple_subclasses_are_read_by_their_items(objects):
    converter, _, still_usable = objects
    Run = namedtuple("Run", "key value start end byte")
    expected = converter.html("ab", [RUN])
    assert converter.html("ab", [Run(*RUN)]) == expected
    assert converter.html("ab", [LyingTuple(RUN)]) == expected
    # The run list itself is any sequence, read through the sequence protocol: its own methods.
    with pytest.raises(RuntimeError, match="tuple subclass"):
        converter.html("ab", LyingTuple([RUN]))
    with pytest.raises(ValueError, match="^expected tuple of length 5, but got tuple of length 6$"):
        converter.html("ab", [LyingTuple(RUN + (0,))])
    still_usable()


class Number:
    """An object usable as an integer through __index__, with a chosen behaviour."""

    def __init__(self, behaviour):
        self.behaviour = behaviour

    def __index__(self):
        return self.behaviour()


def raise_(error):
    def behaviour():
        raise error

    return behaviour


def run_field_call(position):
    def call(c, i, n):
        run = list(RUN)
        run[position] = n
        return c.html("ab", [tuple(run)])

    return call


# Every integer parameter: (the name its errors give, the call). Run fields are named by the
# parameter that holds them.
INTEGER_PARAMETERS = {
    "get": ("table_number", lambda c, i, n: i.get(n, "gt")),
    "count": ("table_number", lambda c, i, n: i.count(n)),
    "start": ("runs", run_field_call(2)),
    "end": ("runs", run_field_call(3)),
    "byte": ("runs", run_field_call(4)),
}


@pytest.mark.parametrize("name,call", list(INTEGER_PARAMETERS.values()), ids=list(INTEGER_PARAMETERS))
@pytest.mark.parametrize(
    "value,exception,message",
    [
        # The caller's own exception passes through unchanged, even one that is no Exception.
        (Number(raise_(RuntimeError("own"))), RuntimeError, "^own$"),
        (Number(raise_(KeyboardInterrupt("own"))), KeyboardInterrupt, "^own$"),
        (Number(raise_(TypeError("own"))), TypeError, "^argument '{}': "),
        (Number(lambda: "not an int"), TypeError, "^argument '{}': "),
        (1.0, TypeError, "^argument '{}': "),
        ("1", TypeError, "^argument '{}': "),
        (-1, OverflowError, "^argument '{}': "),
        (Number(lambda: -(2**70)), OverflowError, "^argument '{}': "),
        (2**64, OverflowError, "^argument '{}': "),
        (10**100, OverflowError, "^argument '{}': "),
        (-(10**100), OverflowError, "^argument '{}': "),
    ],
    ids=["raises", "raises-base", "raises-type-error", "returns-str", "float", "str", "negative",
         "index-negative-huge", "2**64", "10**100", "-10**100"],
)
def test_integer_arguments(objects, name, call, value, exception, message):
    converter, index, still_usable = objects
    with pytest.raises(exception, match=message.format(name)):
        call(converter, index, value)
    still_usable()


@pytest.mark.parametrize(
    "call,exception,match",
    [
        (lambda c, i: i.get(2**64 - 1, "gt"), ValueError, "^no index table 18446744073709551615$"),
        (lambda c, i: i.count(Number(lambda: 2**63)), ValueError,
         "^no index table 9223372036854775808$"),
        (lambda c, i: c.html("ab", [("color", "red", 2**64 - 1, 2**64 - 1, 0)]), ValueError,
         r"end 18446744073709551615 is beyond the text of 2 bytes"),
        (lambda c, i: c.html("ab", [("color", "red", 0, 1, 2**64 - 1)]), None, None),
        (lambda c, i: c.html("é", [("color", "red", 1, 2, 0)]), ValueError,
         "start 1 is inside a character"),
        (lambda c, i: c.html("ab", [("color", "red", 2, 1, 0)]), ValueError,
         "start 2 is after end 1"),
    ],
)
def test_integers_at_the_edges(objects, call, exception, match):
    converter, index, still_usable = objects
    if exception is None:
        assert call(converter, index).startswith("<span")
    else:
        with pytest.raises(exception, match=match):
            call(converter, index)
    still_usable()


class Sequence:
    """A sequence whose length and items come from the given functions."""

    def __init__(self, length, item):
        self.length, self.item = length, item

    def __len__(self):
        return self.length()

    def __getitem__(self, i):
        return self.item(i)


class ItemsOnly:
    def __getitem__(self, i):
        if i < 8:
            return 0
        raise IndexError(i)


GOOD_DATA = list(image({0: {"gt": ">"}}))


def failing_at(position, error, items):
    def item(i):
        if i == position:
            raise error
        return items[i]

    return Sequence(lambda: len(items), item)


def shrinking(items, keep):
    """A sequence that reports fewer items once the first one has been read."""
    state = {"read": False}

    def item(i):
        state["read"] = True
        return items[i]

    return Sequence(lambda: keep if state["read"] else len(items), item)


@pytest.mark.parametrize(
    "make,exception,match",
    [
        (lambda items: Sequence(raise_(RuntimeError("own len")), items.__getitem__), RuntimeError,
         "^own len$"),
        (lambda items: Sequence(lambda: -1, items.__getitem__), ValueError, None),
        (lambda items: ItemsOnly(), TypeError, "^argument '{}': "),
        (lambda items: failing_at(3, RuntimeError("own item"), items), RuntimeError, "^own item$"),
        (lambda items: failing_at(3, IndexError("gone"), items), IndexError, "^gone$"),
        (lambda items: Sequence(lambda: 2**62, items.__getitem__), IndexError, None),
    ],
    ids=["len-raises", "len-negative", "no-len", "item-raises", "item-index-error", "len-lies"],
)
@pytest.mark.parametrize("target", ["data", "runs"])
def test_sequences_that_fail(objects, make, exception, match, target):
    converter, _, still_usable = objects
    if target == "data":
        call = lambda: Index(make(GOOD_DATA))  # noqa: E731
    else:
        call = lambda: converter.html("abcd", make([RUN] * 5))  # noqa: E731
    with pytest.raises(exception, match=match and match.format(target)):
        call()
    still_usable()


def test_sequences_that_shrink_are_read_as_far_as_they_go(objects):
    converter, _, still_usable = objects
    # The data stops after the eight header bytes: an image whose directory is missing.
    assert Index(shrinking(GOOD_DATA, 8)).data == bytes(GOOD_DATA[:8])
    runs = [RUN, ("color", "blue", 1, 2, 0), ("color", "green", 2, 3, 0)]
    assert converter.html("abc", shrinking(runs, 1)) == converter.html("abc", runs[:1])
    still_usable()


def test_run_items_may_change_the_run_list_while_it_is_read(objects):
    converter, _, still_usable = objects
    runs = []

    def clear_and_answer():
        runs.clear()
        return 1

    runs.extend([("color", "red", 0, Number(clear_and_answer), 0), ("color", "blue", 0, 2, 0)])
    # The list is emptied while its first run is read: the second is never reached.
    assert converter.html("ab", runs) == '<span style="color: red">a</span>b'
    still_usable()


def test_calls_from_inside_argument_conversion_reach_the_same_converter(objects):
    converter, index, still_usable = objects
    seen = []

    def reenter():
        seen.append(converter.convert("<:alpha>", "warn"))
        seen.append(converter.html("ab", [RUN]))
        seen.append(index.get(0, "gt"))
        return 1

    expected = converter.html("ab", [RUN])
    assert converter.html("ab", [("color", "red", 0, Number(reenter), 0)]) == expected
    assert seen == [("α", [], None), converter.html("ab", [RUN]), ">"]
    still_usable()


@pytest.mark.parametrize(
    "data,exception,match",
    [
        (GOOD_DATA[:-1] + [256], OverflowError, "^argument 'data': "),
        (GOOD_DATA[:-1] + [2**64], OverflowError, "^argument 'data': "),
        (GOOD_DATA[:-1] + [-(10**100)], OverflowError, "^argument 'data': "),
        (GOOD_DATA[:-1] + [Number(lambda: 1)], TypeError, "^argument 'data': "),
        (GOOD_DATA[:-1] + [b"x"], TypeError, "^argument 'data': "),
    ],
)
def test_data_items(data, exception, match):
    with pytest.raises(exception, match=match):
        Index(data)


@pytest.mark.parametrize("kind", [bytearray, list, memoryview])
def test_buffers_changed_after_the_call_do_not_change_the_image(kind):
    source = bytearray(image({0: {"gt": ">", "alpha": "α"}, 4: {"color": "color: {}"}}))
    original = bytes(source)
    data = list(source) if kind is list else kind(source)
    index = Index(data)
    converter = Converter(index)
    if kind is list:
        data[:] = [0] * len(data)
    source[:] = b"\xff" * len(source)
    assert index.data == original
    assert converter.convert("<:alpha>\\:gt", "error") == ("α>", [], None)
    assert Converter(index).convert("\\:gt", "error") == (">", [], None)
    # The bytes handed out are a copy too.
    assert index.data is not index.data
    assert index.data == original


def test_a_changed_bytearray_does_not_reach_a_converter_after_its_index_is_gone():
    source = bytearray(image({0: {"gt": ">"}}))
    converter = Converter(Index(source))
    source[:] = b"GLX1" + b"\0" * (len(source) - 4)
    gc.collect()
    assert converter.convert("\\:gt", "error") == (">", [], None)


@pytest.mark.parametrize(
    "call",
    [
        lambda: Index(data=b"GLX1\x05\0\0\0", extra=1),
        lambda: Index(b"", b""),
        lambda: Converter(index=None),
        lambda: Converter(Index(), Index()),
        lambda: Converter(object()),
        lambda: Converter.__new__(Index, Index()),
    ],
)
def test_bad_construction_leaves_nothing_behind(objects, call):
    _, _, still_usable = objects
    with pytest.raises(TypeError):
        call()
    still_usable()


@pytest.mark.parametrize("cls", [Index, Converter])
def test_classes_cannot_be_subclassed(cls):
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})


def test_findings_past_the_kept_ones_are_counted_in_one_last_warning(converter):
    # 31 styles, none with a form of any of 100 characters: 3,100 findings in one tag.
    text, warnings, error = converter.convert("<:" + "bold " * 31 + "日" * 100 + ">", "lenient")
    assert error is None and text == "日" * 100
    assert len(warnings) == 1001
    assert warnings[0] == ("no bold form of 日", 0)
    assert warnings[-1] == ("2100 more warnings not listed", 0)
    assert converter.convert("<:bold 日>", "warn") == ("日", [("no bold form of 日", 0)], None)
