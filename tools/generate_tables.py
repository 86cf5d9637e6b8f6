#!/usr/bin/env python3
"""Generate the five tables of the default entity index as text files.

Reads the public sources in data/sources/ and the hand-written vocabulary in
data/vocabulary/, writes data/tables/{names,spellings,effects,fonts,templates}.tsv
and prints the size of each table. Standard library only; the output is a pure
function of the inputs, so running it twice gives identical files.

Table file format (read by the image packer): UTF-8, one `key<TAB>text` row per
line, rows sorted by the UTF-8 bytes of the key. In both fields a backslash
escapes: `\\\\` backslash, `\\t` tab, `\\n` LF, `\\r` CR, `\\u{HEX}` any code point.
"""

from __future__ import annotations

import html.entities
import re
import sys
from dataclasses import dataclass
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
SOURCES = ROOT / "data" / "sources"
VOCABULARY = ROOT / "data" / "vocabulary"
TABLES = ROOT / "data" / "tables"

TABLE_FILES = ("names", "spellings", "effects", "fonts", "templates")


# ---------------------------------------------------------------------------
# Table file format


def escape(field: str, category) -> str:
    """Escape one field; `category(ch)` gives the general category of a character."""
    out = []
    for ch in field:
        if ch == "\\":
            out.append("\\\\")
        elif ch == "\t":
            out.append("\\t")
        elif ch == "\n":
            out.append("\\n")
        elif ch == "\r":
            out.append("\\r")
        elif ch != " " and category(ch) in INVISIBLE_CATEGORIES:
            out.append("\\u{%X}" % ord(ch))
        else:
            out.append(ch)
    return "".join(out)


# Characters a reviewer could not see (or that would fuse with the tab before
# them) are written as \u{HEX}: controls, format characters, separators other
# than the plain space, combining marks, private use, unassigned.
INVISIBLE_CATEGORIES = frozenset({"Cc", "Cf", "Cs", "Co", "Cn", "Zs", "Zl", "Zp", "Mn", "Me"})

_ESCAPE = re.compile(r"\\(?:u\{([0-9A-Fa-f]{1,6})\}|(.))", re.S)
_SIMPLE = {"\\": "\\", "t": "\t", "n": "\n", "r": "\r"}


def unescape(field: str) -> str:
    def one(m: re.Match) -> str:
        if m.group(1) is not None:
            return chr(int(m.group(1), 16))
        if m.group(2) in _SIMPLE:
            return _SIMPLE[m.group(2)]
        raise ValueError(f"bad escape \\{m.group(2)} in {field!r}")

    return _ESCAPE.sub(one, field)


def parse_rows(text: str, comments: bool = False) -> list[tuple[str, str]]:
    """Rows of a table file; vocabulary files may also hold `#` comments and blank lines."""
    rows = []
    for line in text.split("\n"):
        if comments and (not line or line.startswith("#")):
            continue
        if not line:
            continue
        key, sep, value = line.partition("\t")
        if not sep:
            raise ValueError(f"row without a tab: {line!r}")
        rows.append((unescape(key), unescape(value)))
    return rows


def format_table(table: dict[str, str], category) -> str:
    rows = sorted(table.items(), key=lambda kv: kv[0].encode("utf-8"))
    return "".join(f"{escape(k, category)}\t{escape(v, category)}\n" for k, v in rows)


# ---------------------------------------------------------------------------
# Sources


@dataclass(frozen=True)
class Char:
    cp: int
    name: str  # the Unicode name; "" when the character has none of its own
    category: str
    decomposition_tag: str  # "<font>", "<super>", ...; "" for canonical or none
    decomposition: tuple[int, ...]


class Ucd:
    """The parts of UnicodeData.txt the generator needs."""

    def __init__(self, path: Path):
        self.chars: dict[int, Char] = {}
        self.ranges: list[tuple[int, int, str]] = []  # (first, last, category)
        first = None
        for line in path.read_text(encoding="utf-8").splitlines():
            fields = line.split(";")
            cp, name, category, decomposition = int(fields[0], 16), fields[1], fields[2], fields[5]
            if name.endswith(", First>"):
                first = cp
                continue
            if name.endswith(", Last>"):
                self.ranges.append((first, cp, category))
                continue
            tag = ""
            parts = decomposition.split()
            if parts and parts[0].startswith("<"):
                tag, parts = parts[0], parts[1:]
            self.chars[cp] = Char(
                cp, "" if name.startswith("<") else name, category, tag,
                tuple(int(p, 16) for p in parts),
            )

    def category(self, ch: str) -> str:
        cp = ord(ch)
        if cp in self.chars:
            return self.chars[cp].category
        for first, last, category in self.ranges:
            if first <= cp <= last:
                return category
        return "Cn"

    def named(self):
        """Characters with a name of their own, in code point order."""
        return (c for c in self.chars.values() if c.name and not is_numbered_name(c))


# Names that only number a character (by code point, or Tangut components by
# their index) say nothing a user could type from memory; they get no key.
_NUMBERED_PREFIXES = ("TANGUT COMPONENT-",)


def is_numbered_name(c: Char) -> bool:
    return c.name.endswith("-%04X" % c.cp) or c.name.startswith(_NUMBERED_PREFIXES)


def name_key(name: str) -> str:
    """`LATIN SMALL LETTER ENG` -> `latin-small-letter-eng`."""
    return name.lower().replace(" ", "-")


def load_name_aliases(path: Path) -> list[tuple[int, str, str]]:
    """(code point, alias, type) of NameAliases.txt."""
    out = []
    for line in path.read_text(encoding="utf-8").splitlines():
        if not line or line.startswith("#"):
            continue
        cp, alias, kind = line.split(";")
        out.append((int(cp, 16), alias, kind))
    return out


def load_namelist_aliases(path: Path) -> list[tuple[int, str]]:
    """(code point, alias) of the informative NamesList aliases."""
    out = []
    for line in path.read_text(encoding="utf-8").splitlines():
        if not line or line.startswith("#"):
            continue
        cp, _name, alias = line.split("\t")
        out.append((int(cp, 16), alias))
    return out


_MATH_SYMBOL = re.compile(r'\\UnicodeMathSymbol\{"([0-9A-F]+)\}\{\\(\S+?)\s*\}')


def load_math_commands(path: Path) -> list[tuple[str, int]]:
    """(command name without backslash, code point), in file order."""
    return [(m.group(2), int(m.group(1), 16))
            for m in _MATH_SYMBOL.finditer(path.read_text(encoding="utf-8"))]


def html_references() -> dict[str, str]:
    """The HTML named character references, without `&` and `;`."""
    refs: dict[str, str] = {}
    for name, text in sorted(html.entities.html5.items()):
        refs.setdefault(name.rstrip(";"), text)
    return refs


@dataclass
class Sources:
    ucd: Ucd
    name_aliases: list[tuple[int, str, str]]
    namelist_aliases: list[tuple[int, str]]
    math_commands: list[tuple[str, int]]
    html: dict[str, str]


def load_sources(root: Path = SOURCES) -> Sources:
    ucd_dir = root / "ucd-16.0"
    return Sources(
        Ucd(ucd_dir / "UnicodeData.txt"),
        load_name_aliases(ucd_dir / "NameAliases.txt"),
        load_namelist_aliases(ucd_dir / "NamesList-aliases.txt"),
        load_math_commands(root / "unicode-math" / "unicode-math-table.tex"),
        html_references(),
    )


def read_vocabulary(name: str) -> list[tuple[str, str]]:
    return parse_rows((VOCABULARY / name).read_text(encoding="utf-8"), comments=True)


def read_markers() -> list[str]:
    lines = (VOCABULARY / "markers.txt").read_text(encoding="utf-8").splitlines()
    return [w for w in lines if w and not w.startswith("#")]


# ---------------------------------------------------------------------------
# Names: plain entity names, in order of precedence (the first source to claim a
# key keeps it)


class Names:
    """The Names table under construction; remembers where each key came from."""

    def __init__(self):
        self.text: dict[str, str] = {}
        self.source: dict[str, str] = {}

    def add(self, key: str, text: str, source: str) -> bool:
        if key in self.text:
            return False
        self.text[key] = text
        self.source[key] = source
        return True


def add_unicode_names(names: Names, src: Sources) -> None:
    for c in src.ucd.named():
        names.add(name_key(c.name), chr(c.cp), "unicode")


# Formal aliases are names of the standard itself, so they come right after the
# names: corrections (the name the character should have had), the names of
# controls (`line-feed`, `null`, which have no Unicode name) and the one
# alternate (`byte-order-mark`). Figments never named anything real and are
# left out. Abbreviations (`zwj`, `nbsp`, `vs16`, `lf`) are what people type for
# invisible characters, so they are kept, lower-cased like every other Unicode
# key, but after the mathematical and HTML names: short forms collide, and
# `pm` should stay the plus-minus sign rather than become PRIVACY MESSAGE.
_LEADING_ALIAS_KINDS = ("correction", "control", "alternate")


def add_formal_aliases(names: Names, src: Sources) -> None:
    for cp, alias, kind in src.name_aliases:
        if kind in _LEADING_ALIAS_KINDS:
            names.add(name_key(alias), chr(cp), "alias")


def add_abbreviations(names: Names, src: Sources) -> None:
    for cp, alias, kind in src.name_aliases:
        if kind == "abbreviation":
            names.add(name_key(alias), chr(cp), "abbreviation")


def add_math_commands(names: Names, src: Sources) -> None:
    for command, cp in src.math_commands:
        names.add(command, chr(cp), "math")


def add_html_references(names: Names, src: Sources) -> None:
    for name, text in src.html.items():
        names.add(name, text, "html")


def add_vocabulary_keys(names: Names) -> None:
    for word in read_markers():
        names.add(word + " ", "", "marker")
    for key, text in read_vocabulary("directives.tsv"):
        names.add(key, text, "directive")


#@@COMPOSED@@
# ---------------------------------------------------------------------------
# Effects, Fonts, Templates: hand-written


def build_effects() -> dict[str, str]:
    return dict(read_vocabulary("effects.tsv"))


def build_templates() -> dict[str, str]:
    return dict(read_vocabulary("templates.tsv"))


def build_fonts() -> dict[str, str]:
    fonts = {}
    for line in (VOCABULARY / "fonts.tsv").read_text(encoding="utf-8").splitlines():
        if not line or line.startswith("#"):
            continue
        name, lang, families, *features = line.split("\t")
        fonts[name + " "] = ""
        fonts[name + " lang"] = lang
        fonts[name + " families"] = families
        for feature in features:
            fonts[name + " features"] = feature
    return fonts


# ---------------------------------------------------------------------------


def build_names(src: Sources) -> Names:
    names = Names()
    add_unicode_names(names, src)
    add_formal_aliases(names, src)
    add_math_commands(names, src)
    add_html_references(names, src)
    add_abbreviations(names, src)
    add_vocabulary_keys(names)
    return names


def build_tables(src: Sources) -> dict[str, dict[str, str]]:
    names = build_names(src)
    return {
        "names": names.text,
        "spellings": build_spellings(names, src),
        "effects": build_effects(),
        "fonts": build_fonts(),
        "templates": build_templates(),
    }


def main() -> int:
    src = load_sources()
    tables = build_tables(src)
    TABLES.mkdir(parents=True, exist_ok=True)
    for name in TABLE_FILES:
        (TABLES / f"{name}.tsv").write_bytes(
            format_table(tables[name], src.ucd.category).encode("utf-8"))
        print(f"{name}: {len(tables[name])}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
