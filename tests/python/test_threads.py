"""Many threads sharing one Converter and one Index: results equal single-threaded ones, and a
converter poisoned in one thread refuses calls in all of them while others keep working."""
import gc
import itertools
import random
import sys
import threading

import pytest

import _glyphloom
from _glyphloom import Converter, Index
from test_index import image

THREADS = 8
ROUNDS = 25

FONT_OPEN = _glyphloom.meta_tags("open", "font", "han-japanese")
FONT_CLOSE = _glyphloom.meta_tags("close", "font", "")
RED = _glyphloom.meta_tags("attached", "color", "red")

# Calls whose results depend on per-call state of the converter (its warning list) sit next to
# calls that have none, so that a call seeing another's state shows up as a wrong result.
WORK = [
    ("convert", lambda c, i: c.convert("<:bold a> \\:alpha <:greek>abc<:> <:zz>", "lenient")),
    ("convert-warnings", lambda c, i: c.convert("<:font nofont x> <:bold 1>", "warn")),
    ("convert-error", lambda c, i: c.convert("<:bold 1>", "error")),
    ("convert-unknown", lambda c, i: c.convert("a <:no such thing>", "warn")),
    ("convert-long", lambda c, i: c.convert("<:color red x> \\:gt " * 200, "warn")),
    ("to_glyphloom",
     lambda c, i: c.to_glyphloom("ŋ日\u2764\ufe0f a<:b " + FONT_OPEN + "x" + FONT_CLOSE)),
    ("meta_runs",
     lambda c, i: c.meta_runs(FONT_OPEN + "日本" + RED + FONT_CLOSE + "\U000E003C\U000E007F")),
    ("html",
     lambda c, i: c.html("日本語", [("font", "han-jis78", 0, 6, 0), ("lang", "ja", 3, 9, 0)])),
    ("font", lambda c, i: c.font("han-jis78")),
    ("meta_template", lambda c, i: c.meta_template("color")),
    ("get", lambda c, i: i.get(0, "gt")),
    ("entry", lambda c, i: i.entry(1, "ŋ")),
    ("entries", lambda c, i: i.entries(4)),
    ("count", lambda c, i: i.count(0)),
    ("meta_at", lambda c, i: _glyphloom.meta_at(FONT_OPEN)),
]


@pytest.fixture()
def fast_switching():
    """Switches threads as often as the interpreter allows, so that calls interleave."""
    old = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    yield
    sys.setswitchinterval(old)


def run_threads(target, count=THREADS):
    barrier = threading.Barrier(count)
    errors = []

    def body(n):
        try:
            barrier.wait()
            target(n)
        except BaseException as error:  # noqa: B036 - internal errors are BaseExceptions
            errors.append(error)

    threads = [threading.Thread(target=body, args=(n,)) for n in range(count)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return errors


def test_shared_objects_give_single_threaded_results(fast_switching):
    index = Index()
    converter = Converter(index)
    expected = {name: call(converter, index) for name, call in WORK}
    wrong = []

    def work(n):
        rng = random.Random(n)
        for _ in range(ROUNDS):
            order = WORK[:]
            rng.shuffle(order)
            for name, call in order:
                result = call(converter, index)
                if result != expected[name]:
                    wrong.append((name, result))

    assert run_threads(work) == []
    assert wrong == []


def test_converters_come_and_go_over_one_shared_index(fast_switching):
    data = image({0: {"gt": ">", "alpha": "α"}, 4: {"color": "color: {}"}})
    holder = {"index": Index(data)}
    results = []

    def work(n):
        for k in range(ROUNDS):
            index = holder["index"]
            converter = Converter(index)
            if n == 0 and k % 5 == 0:
                # The thread's own converter keeps the bytes alive whatever happens to the index.
                holder["index"] = Index(data)
                del index
                gc.collect()
            results.append(converter.convert("<:alpha>\\:gt<:color red x>", "warn")[0])

    assert run_threads(work) == []
    assert len(results) == THREADS * ROUNDS
    assert set(results) == {"α>" + "x" + _glyphloom.meta_tags("attached", "color", "red")}


def malformed_image():
    """An image whose Names entry `bad` has a text that is not UTF-8; `gt` is sound."""
    data = bytearray(image({0: {"gt": ">", "bad": "zz"}, 4: {"color": "color: {}"}}))
    data[data.rindex(b"zz")] = 0xFF
    return bytes(data)


METHODS = [
    lambda c: c.convert("\\:gt", "warn"),
    lambda c: c.to_glyphloom("x"),
    lambda c: c.meta_runs("x"),
    lambda c: c.html("x", []),
    lambda c: c.font("x"),
    lambda c: c.meta_template("color"),
]


def test_poison_in_one_thread_refuses_calls_in_all(InternalError, fast_switching):
    index = Index(malformed_image())
    poisoned = Converter(index)
    sound = Converter(index)
    assert poisoned.convert("\\:gt", "warn") == (">", [], None)

    with pytest.raises(InternalError, match="^index texts are UTF-8"):
        run_and_raise(lambda: poisoned.convert("\\:bad", "warn"))

    refusals, answers = [], []

    def work(n):
        for method in METHODS:
            try:
                method(poisoned)
            except InternalError as error:
                refusals.append(str(error))
            answers.append((sound.convert("\\:gt", "warn"), index.get(0, "gt")))

    assert run_threads(work) == []
    assert len(refusals) == THREADS * len(METHODS)
    assert all(message.startswith("converter lock") for message in refusals)
    assert answers == [((">", [], None), ">")] * (THREADS * len(METHODS))
    # The sound converter meets the same fault only when it looks the bad entry up itself.
    with pytest.raises(InternalError, match="^index texts are UTF-8"):
        sound.convert("\\:bad", "warn")
    with pytest.raises(InternalError, match="^converter lock"):
        sound.convert("\\:gt", "warn")
    assert Converter(index).convert("\\:gt", "warn") == (">", [], None)


def run_and_raise(call):
    """Runs `call` in another thread and re-raises what it raised there."""
    errors = run_threads(lambda n: call(), count=1)
    if errors:
        raise errors[0]


def test_poisoning_races_with_calls_in_other_threads(InternalError, fast_switching):
    index = Index(malformed_image())
    converter = Converter(index)
    clock = itertools.count()
    outcomes = []  # (tick before the call, tick after it, outcome)

    def work(n):
        for k in range(ROUNDS):
            source = "\\:bad" if (n, k) == (3, 7) else "\\:gt"
            before = next(clock)
            try:
                outcome = converter.convert(source, "warn")
            except InternalError as error:
                outcome = str(error).split(":")[0]
            outcomes.append((before, next(clock), outcome))

    assert run_threads(work) == []
    assert len(outcomes) == THREADS * ROUNDS
    [(poison_start, poison_end)] = [(b, a) for b, a, o in outcomes if o == "index texts are UTF-8"]
    for before, after, outcome in outcomes:
        if after < poison_start:
            assert outcome == (">", [], None)
        elif before > poison_end:
            assert outcome == "converter lock"
        else:
            assert outcome in [(">", [], None), "converter lock", "index texts are UTF-8"]
