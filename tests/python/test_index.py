import struct

import pytest

import _glyphloom
from _glyphloom import Index

DEFAULT_SIZE = len(Index().data)


def image(tables):
    """A GLX1 image in the canonical layout from {table: {key: text}}."""
    def h(b):
        v = 0
        for c in b:
            v = (v * 31 + c) & 0xFFFFFFFF
        return v

    rows = [sorted(((h(k.encode()), k.encode(), t.encode()) for k, t in tables.get(n, {}).items()))
            for n in range(5)]
    header = 8 + 8 * 5
    records_end = header + 20 * sum(map(len, rows))
    pool, where = bytearray(), {}

    def place(b):
        if b not in where:
            where[b] = records_end + len(pool)
            pool.extend(b)
        return where[b]

    out = bytearray(b"GLX1" + struct.pack("<I", 5))
    directory, records, at = bytearray(), bytearray(), header
    for table in rows:
        directory += struct.pack("<II", at, len(table))
        for hv, k, t in table:
            records += struct.pack("<IIIII", hv, place(k), len(k), place(t), len(t))
            at += 20
    return bytes(out + directory + records + pool)


def test_default_image_basics(index):
    data = index.data
    assert data[:4] == b"GLX1"
    assert index.get(0, "gt") == ">"
    assert index.get(0, "red ") == ""
    assert index.get(0, "no such name") is None
    assert index.entry(3, "han-japanese lang") == ("han-japanese lang", "ja")
    assert index.entry(1, "ŋ") == ("ŋ", "<:eng>")
    assert index.count(4) == 9
    assert Index(None).count(0) == index.count(0)


def test_hash_collision_in_spellings(index):
    assert _glyphloom.text_hash("\u00a0") == _glyphloom.text_hash("Á") == 6174
    assert index.get(1, "\u00a0") == "<:no-break-space>"
    assert index.get(1, "Á") == "<:latin-capital-letter-a-with-acute>"


def test_templates_in_hash_order(index):
    entries = index.entries(4)
    assert len(entries) == 9
    assert entries[0] == ("font", "font-family: {}")
    assert entries[-1] == ("features", "font-feature-settings: '{}'")
    hashes = [_glyphloom.text_hash(k) for k, _ in entries]
    assert hashes == sorted(hashes)
    assert index.entries(4) is not index.entries(4)


@pytest.mark.parametrize("kind", [bytes, bytearray, list, tuple, memoryview])
def test_index_from_data_answers_the_same(index, kind):
    data = index.data if kind is not list else list(index.data[:0]) + list(index.data)
    copy = Index(kind(data) if kind is not list else data)
    assert copy.data == index.data
    for table in range(5):
        assert copy.count(table) == index.count(table)
    assert copy.entries(4) == index.entries(4)
    assert copy.get(1, "ŋ") == "<:eng>"


def test_caller_bytes_are_copied():
    data = bytearray(image({0: {"a": "b"}}))
    idx = Index(data)
    data[:] = b"x" * len(data)
    assert idx.get(0, "a") == "b"


@pytest.mark.parametrize(
    "data,message",
    [
        (b"", "not a glyphloom index (magic GLX1 missing)"),
        (b"GLX1\x05\0\0", "not a glyphloom index (magic GLX1 missing)"),
        (b"GLX2\x05\0\0\0", "not a glyphloom index (magic GLX1 missing)"),
        (b"GLX1\x04\0\0\0", "glyphloom index has too few tables"),
    ],
)
def test_invalid_images(data, message):
    with pytest.raises(ValueError) as info:
        Index(data)
    assert str(info.value) == message


@pytest.mark.parametrize(
    "data,exception,prefix",
    [
        ("GLX1", TypeError, "argument 'data': Can't extract `str` to `Vec`"),
        (5, TypeError, "argument 'data': "),
        ([71, 76, "X"], TypeError, "argument 'data': "),
        ([71, 76, 88, 49, 5, 0, 0, 256], OverflowError, "argument 'data': "),
        ([71, 76, 88, 49, 5, 0, 0, -1], OverflowError, "argument 'data': "),
    ],
)
def test_data_conversion_errors(data, exception, prefix):
    with pytest.raises(exception) as info:
        Index(data)
    assert str(info.value).startswith(prefix)


def test_list_of_ints_then_lookup_meets_out_of_range_directory(InternalError):
    idx = Index([71, 76, 88, 49, 5, 0, 0, 0])
    with pytest.raises(InternalError):
        idx.count(0)
    with pytest.raises(InternalError):
        idx.get(0, "x")
    assert idx.data == b"GLX1\x05\0\0\0"  # still usable


def test_malformed_texts_raise_internal_error_and_leave_index_usable(InternalError):
    data = bytearray(image({0: {"good": "ok", "bad": "zz"}}))
    data[data.rindex(b"zz")] = 0xFF
    idx = Index(bytes(data))
    with pytest.raises(InternalError) as info:
        idx.get(0, "bad")
    assert str(info.value).startswith("index texts are UTF-8")
    assert idx.get(0, "good") == "ok"
    with pytest.raises(InternalError):
        idx.entries(0)


@pytest.mark.parametrize("fault", ["not UTF-8", "outside the image"])
def test_a_bad_candidate_of_another_length_aborts_the_lookup(InternalError, fault):
    # "x" and "\x03\x1b" share a hash, and the two-byte key comes first: it cannot match "x",
    # yet it is on the lookup's path and must be read and checked.
    data = bytearray(image({0: {"x": "1", "\x03\x1b": "2", "ok": "3"}}))
    record = next(8 + 8 * 5 + 20 * i for i in range(3)
                  if struct.unpack_from("<I", data, 8 + 8 * 5 + 20 * i + 8)[0] == 2)
    if fault == "not UTF-8":
        data[struct.unpack_from("<I", data, record + 4)[0]] = 0xFF
    else:
        struct.pack_into("<I", data, record + 4, len(data))
    idx = Index(bytes(data))
    with pytest.raises(InternalError):
        idx.get(0, "x")
    converter = _glyphloom.Converter(idx)
    with pytest.raises(InternalError):
        converter.convert("\\:x", "warn")
    with pytest.raises(InternalError, match="^converter lock"):
        converter.convert("\\:ok", "warn")
    assert _glyphloom.Converter(idx).convert("\\:ok", "warn") == ("3", [], None)


@pytest.mark.parametrize(
    "call,exception,match",
    [
        (lambda i: i.get(5, "x"), ValueError, "^no index table 5$"),
        (lambda i: i.count(2**63), ValueError, "^no index table 9223372036854775808$"),
        (lambda i: i.get(-1, "x"), OverflowError, "^argument 'table_number': "),
        (lambda i: i.count(2**64), OverflowError, "^argument 'table_number': "),
        (lambda i: i.get(9, b"x"), TypeError, "^argument 'key': "),
        (lambda i: i.get("0", "x"), TypeError, "^argument 'table_number': "),
        (lambda i: i.entries(1.0), TypeError, "^argument 'table_number': "),
        (lambda i: i.entry(table_number=0), TypeError, None),
    ],
)
def test_argument_errors(index, call, exception, match):
    with pytest.raises(exception, match=match):
        call(index)


def test_keywords_and_index_protocol(index):
    class Number:
        def __index__(self):
            return 0

    assert index.get(key="gt", table_number=Number()) == ">"
    assert index.entry(table_number=True, key="ŋ") == ("ŋ", "<:eng>")
