"""The package's entry points, as an installed package would have them, for tests that run it
from the source tree: a dist-info folder made from pyproject.toml."""

import pathlib
import re

ROOT = pathlib.Path(__file__).resolve().parents[2]


def entry_points() -> str:
    """The entry_points.txt that pyproject.toml declares."""
    text = (ROOT / "pyproject.toml").read_text(encoding="utf-8")
    sections = []
    for group, body in re.findall(r'^\[project\.entry-points\."([^"]+)"\]\n(.*?)(?=^\[|\Z)',
                                  text, re.M | re.S):
        lines = [re.sub(r'^(\S+) = "(.*)"$', r"\1 = \2", line)
                 for line in body.strip().splitlines()]
        sections.append(f"[{group}]\n" + "\n".join(lines) + "\n")
    return "\n".join(sections)


def dist_info(folder: pathlib.Path) -> pathlib.Path:
    """Writes glyphloom's dist-info into the folder, which then goes on the path."""
    info = folder / "glyphloom-1.0.0.dist-info"
    info.mkdir(parents=True, exist_ok=True)
    (info / "METADATA").write_text("Metadata-Version: 2.1\nName: glyphloom\nVersion: 1.0.0\n")
    (info / "entry_points.txt").write_text(entry_points())
    return folder
