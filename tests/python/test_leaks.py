"""Every public function and method, with good and bad arguments, called thousands of times: the
interpreter's memory does not grow. tracemalloc sees Python objects that are never released; the
resident set size sees native memory that is never freed."""
import gc
import os
import tracemalloc

import pytest

import _glyphloom
from _glyphloom import Converter, Index
from test_index import image

# Inputs of about a kilobyte, so that a copy leaked per call shows up quickly.
SOURCE = "<:bold a> \\:alpha <:greek>abc<:> <:color red x> <:zz> ŋ日 " * 20
TAGGED = (_glyphloom.meta_tags("open", "font", "han-japanese") + "日本" +
          _glyphloom.meta_tags("attached", "color", "red") + "x" * 300 +
          _glyphloom.meta_tags("close", "font", "") + _glyphloom.meta_tags("close", "lang", ""))
TEXT = "ŋ日\u2764\ufe0f a<:b é " * 40
RUNS = [("font", "han-jis78", 0, 5, 0), ("color", "red\"<", 2, 8, 1), ("x y", "v", 5, 12, 2)]
DATA = image({0: {"gt": ">", "alpha": "α", "bad": "zz"}, 1: {"α": "<:alpha>"},
              3: {"f ": "", "f lang": "ja"}, 4: {"color": "color: {}"}})
BAD_DATA = DATA[:DATA.rindex(b"zz")] + b"\xff" + DATA[DATA.rindex(b"zz") + 1:]


class Raises:
    def __index__(self):
        raise RuntimeError("no")

    def __len__(self):
        raise RuntimeError("no")

    def __getitem__(self, i):
        raise RuntimeError("no")


def calls():
    """Zero-argument calls covering every public function and method, succeeding and failing."""
    index = Index()
    converter = Converter(index)
    caller_index = Index(DATA)
    caller_converter = Converter(caller_index)
    bad_index = Index(BAD_DATA)
    poisoned = Converter(bad_index)
    try:
        poisoned.convert("\\:bad", "warn")
    except BaseException:  # noqa: B036 - the internal error derives from BaseException
        pass
    good = [
        lambda: Index(),
        lambda: Index(DATA),
        lambda: Index(bytearray(DATA)),
        lambda: Index(list(DATA[:64]) + [0]),
        lambda: Converter(caller_index),
        lambda: caller_index.data,
        lambda: caller_index.get(0, "gt"),
        lambda: index.get(0, "no such key"),
        lambda: index.entry(1, "ŋ"),
        lambda: index.entries(4),
        lambda: caller_index.entries(0),
        lambda: index.count(0),
        lambda: converter.convert(SOURCE, "lenient"),
        lambda: converter.convert(SOURCE, "warn"),
        lambda: converter.convert(SOURCE, "error"),
        lambda: converter.convert("<:bold 1> <:font nofont x>", "warn"),
        lambda: caller_converter.convert(SOURCE, "lenient"),
        lambda: converter.to_glyphloom(TEXT),
        lambda: converter.meta_runs(TAGGED),
        lambda: converter.html(TEXT, RUNS),
        lambda: converter.font("han-jis78"),
        lambda: converter.font("nofont"),
        lambda: converter.meta_template("color"),
        lambda: converter.meta_template("nokey"),
        lambda: _glyphloom.header('<:glyphloom version="x">\nabc'),
        lambda: _glyphloom.header("abc"),
        lambda: _glyphloom.meta_tags("open", "font", "han-japanese"),
        lambda: _glyphloom.meta_glyphloom("attached", "color", "red"),
        lambda: _glyphloom.meta_at(TAGGED),
        lambda: _glyphloom.meta_at("x"),
        lambda: _glyphloom.text_hash(SOURCE),
    ]
    bad = [
        lambda: Index(b"GLX2" + DATA[4:]),
        lambda: Index("GLX1"),
        lambda: Index(list(DATA[:16]) + [256]),
        lambda: Index(list(DATA[:16]) + ["x"]),
        lambda: Index(Raises()),
        lambda: Index(DATA, extra=1),
        lambda: Converter(DATA),
        lambda: bad_index.get(0, "bad"),
        lambda: bad_index.entries(0),
        lambda: Index(b"GLX1\x05\0\0\0").count(0),
        lambda: index.get(5, "x"),
        lambda: index.get(-1, "x"),
        lambda: index.get(Raises(), "x"),
        lambda: index.get(0, b"x"),
        lambda: index.entry(0, "\ud800" + SOURCE),
        lambda: converter.convert(SOURCE + "\ud800", "warn"),
        lambda: converter.convert(SOURCE, "Warn"),
        lambda: converter.convert(SOURCE, None),
        lambda: poisoned.convert(SOURCE, "warn"),
        lambda: poisoned.html(TEXT, RUNS),
        lambda: Converter(bad_index).convert("\\:bad", "warn"),
        lambda: converter.to_glyphloom(b"x"),
        lambda: converter.meta_runs(TAGGED + "\udfff"),
        lambda: converter.html(TEXT, "runs"),
        lambda: converter.html(TEXT, RUNS + [("a", "b", 0, 1)]),
        lambda: converter.html(TEXT, RUNS + [("a", "b", 0, 10**6, 0)]),
        lambda: converter.html(TEXT, RUNS + [("a", "b", 0, Raises(), 0)]),
        lambda: converter.html(TEXT, RUNS + [("a", "\ud800", 0, 1, 0)]),
        lambda: converter.html(TEXT, Raises()),
        lambda: converter.font(None),
        lambda: converter.meta_template(),
        lambda: _glyphloom.header(b"x"),
        lambda: _glyphloom.meta_tags("Open", "font", "x"),
        lambda: _glyphloom.meta_glyphloom("open", "font"),
        lambda: _glyphloom.meta_at("\ud800"),
        lambda: _glyphloom.text_hash(5),
    ]
    return good, bad


def run(calls_, rounds):
    for _ in range(rounds):
        for call in calls_:
            try:
                call()
            except BaseException:  # noqa: B036 - the internal error derives from BaseException
                pass


def test_every_bad_call_fails_and_every_good_call_succeeds():
    good, bad = calls()
    for call in good:
        call()
    for call in bad:
        with pytest.raises(BaseException):  # noqa: B017
            call()


def test_python_objects_are_released():
    good, bad = calls()
    everything = good + bad
    run(everything, 20)
    gc.collect()
    tracemalloc.start()
    try:
        run(everything, 5)
        gc.collect()
        before = tracemalloc.get_traced_memory()[0]
        run(everything, 400)
        gc.collect()
        grown = tracemalloc.get_traced_memory()[0] - before
    finally:
        tracemalloc.stop()
    # The interpreter's own caches account for a few KiB whatever the count; one object kept by
    # a single one of the calls would be 400 of at least 48 bytes.
    assert grown < 16 * 1024, f"{grown} bytes still allocated"


def resident_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def sanitized():
    with open("/proc/self/maps") as f:
        return "libasan" in f.read()


@pytest.mark.skipif(not os.path.exists("/proc/self/statm"), reason="needs /proc")
def test_native_memory_is_freed():
    if sanitized():
        pytest.skip("the address sanitizer keeps freed memory in quarantine")
    good, bad = calls()
    everything = good + bad
    run(everything, 100)
    gc.collect()
    before = resident_bytes()
    run(everything, 2000)
    gc.collect()
    grown = resident_bytes() - before
    # Without leaks the resident set does not move at all; a kilobyte input copied and kept by a
    # single one of the calls would be 2 MiB.
    assert grown < 1024 * 1024, f"resident set grew by {grown} bytes"
