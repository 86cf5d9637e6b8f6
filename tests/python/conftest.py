import pytest

import _glyphloom


def internal_error_type():
    """The module's internal-error exception, met through a lookup on a truncated image."""
    try:
        _glyphloom.Index(b"GLX1\x05\0\0\0").count(0)
    except BaseException as error:  # noqa: B036 - the type derives from BaseException
        return type(error)
    raise AssertionError("no internal error")


@pytest.fixture(scope="session")
def InternalError():
    return internal_error_type()


@pytest.fixture(scope="session")
def index():
    return _glyphloom.Index()


@pytest.fixture()
def converter(index):
    return _glyphloom.Converter(index)
