"""Index and Converter pickle, so conversions can be mapped over processes and Dask."""

import pickle
from concurrent.futures import ProcessPoolExecutor

import pytest

import glyphloom
from glyphloom import Converter, Index

from test_index import image

CUSTOM = image({0: {"hello": "👋", "world": "🌍"}})
SOURCES = ["\\:hello", "\\:world <:hello>", "plain"]
EXPECTED = ["👋", "🌍 👋", "plain"]


@pytest.mark.parametrize("obj", [Index(), Index(CUSTOM), Converter(Index()), Converter(Index(CUSTOM))],
                         ids=["default index", "custom index", "default converter",
                              "custom converter"])
def test_pickle_keeps_the_image(obj):
    back = pickle.loads(pickle.dumps(obj))
    assert type(back) is type(obj)
    index = back if isinstance(back, Index) else None
    if index is not None:
        assert index.data == obj.data
    else:
        assert back.convert("\\:hello", "lenient")[0] == obj.convert("\\:hello", "lenient")[0]


def convert_with(converter, source):
    return converter.convert(source, "warn")[0]


def test_conversions_map_over_a_process_pool():
    converter = Converter(Index(CUSTOM))
    with ProcessPoolExecutor(max_workers=2) as pool:
        assert list(pool.map(convert_with, [converter] * 3, SOURCES)) == EXPECTED


def test_conversions_map_over_a_dask_bag():
    db = pytest.importorskip("dask.bag")
    index = Index(CUSTOM)
    bag = db.from_sequence(SOURCES, npartitions=2).map(
        lambda source, index: glyphloom.convert(source, index=index), index=index)
    assert bag.compute(scheduler="processes", num_workers=2) == EXPECTED
