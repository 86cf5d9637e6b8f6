"""The package's version, written once in the repository's VERSION file.

An installed package reads it from its metadata, which the build took from VERSION; a source
tree (``PYTHONPATH=build/python:python``) has no metadata of its own, and reads the file.
"""

from importlib import metadata
from pathlib import Path


def _version() -> str:
    package = Path(__file__).resolve().parent
    source = package.parent.parent / "VERSION"
    if package.parent.name == "python" and source.is_file():
        return source.read_text(encoding="utf-8").strip()
    try:
        return metadata.version("glyphloom")
    except metadata.PackageNotFoundError:  # copied somewhere without its metadata
        return "0+unknown"


__version__ = _version()
