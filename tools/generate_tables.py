#!/usr/bin/env python3
"""Generate the five tables of the default entity index as text files.

Reads the public sources in data/sources/ and the hand-written vocabulary in
data/vocabulary/, writes data/tables/{names,spellings,effects,fonts,templates}.tsv
(or the same files into the directory given as the only argument) and prints the
size of each table and of each modifier's composed keys, the names each source added,
every collision it resolved, and how much of each vocabulary users type resolves
(TARGETS). It reads only the vendored files. Standard library only;
the output is a pure function of the inputs, so running it twice gives identical
files. Regenerate after changing a source or the vocabulary: `make tables`.

Table file format (read by the image packer): UTF-8, one `key<TAB>text` row per
line, rows sorted by the UTF-8 bytes of the key. In both fields a backslash
escapes: `\\\\` backslash, `\\t` tab, `\\n` LF, `\\r` CR, `\\u{HEX}` any code point.
"""

from __future__ import annotations

import functools
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
    for i, ch in enumerate(field):
        if ch == "\\":
            out.append("\\\\")
        elif ch == "\t":
            out.append("\\t")
        elif ch == "\n":
            out.append("\\n")
        elif ch == "\r":
            out.append("\\r")
        elif (ch != " " or i == len(field) - 1) and category(ch) in INVISIBLE_CATEGORIES:
            out.append("\\u{%X}" % ord(ch))
        else:
            out.append(ch)
    return "".join(out)


# Characters a reviewer could not see (or that would fuse with the tab before
# them) are written as \u{HEX}: controls, format characters, separators (the
# plain space only at the end of a field, as in the marker key `bold\u{20}`),
# combining marks, private use, unassigned.
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


def load_named_sequences(path: Path) -> list[tuple[str, str]]:
    """(name, text) of NamedSequences.txt."""
    out = []
    for line in path.read_text(encoding="utf-8").splitlines():
        if line and not line.startswith("#"):
            name, codes = line.split(";")
            out.append((name, "".join(chr(int(c, 16)) for c in codes.split())))
    return out


@dataclass(frozen=True)
class Emoji:
    text: str
    status: str  # "fully-qualified", "component", ...
    version: float  # the Emoji version that added it
    names: tuple[str, ...]  # the CLDR short name; or a shortcode name and its aliases


_EMOJI_TEST = re.compile(r"([0-9A-F ]+?)\s*; ([a-z-]+)\s*# \S+ E(\d+\.\d+) (.+)")


def load_emoji_test(path: Path) -> list[Emoji]:
    """The emoji of emoji-test.txt with their CLDR short names, in the file's order."""
    out = []
    for line in path.read_text(encoding="utf-8").splitlines():
        m = _EMOJI_TEST.fullmatch(line)
        if m:
            text = "".join(chr(int(c, 16)) for c in m.group(1).split())
            out.append(Emoji(text, m.group(2), float(m.group(3)), (m.group(4),)))
    return out


def load_shortcodes(path: Path) -> list[Emoji]:
    """The vendored table of the `emoji` package: each emoji with its name and aliases."""
    out = []
    for line in path.read_text(encoding="utf-8").splitlines():
        if line and not line.startswith("#"):
            codes, status, version, name, aliases = line.split("\t")
            text = "".join(chr(int(c, 16)) for c in codes.split())
            out.append(Emoji(text, status, float(version), (name, *aliases.split())))
    return out


def load_unikemet(path: Path) -> dict[int, dict[str, str]]:
    """Code point -> {tag: value} of Unikemet.txt."""
    signs: dict[int, dict[str, str]] = {}
    for line in path.read_text(encoding="utf-8").splitlines():
        if line and not line.startswith("#"):
            cp, tag, value = line.split("\t")
            signs.setdefault(int(cp.removeprefix("U+"), 16), {})[tag] = value
    return signs


@dataclass
class TexSources:
    """What the TeX and LaTeX files say: symbol names by file, one-command definitions
    (name -> the one command it stands for) and the text commands of the .dfu files."""

    symbols: dict[str, list[str]]  # file -> the math symbols it declares, in order
    definitions: list["TexDefinition"]  # in file precedence order
    text_commands: dict[str, int]  # command -> code point
    greek: list[str]  # the Greek letter names unicode-math gives its upright letters (mup...)


# The files the math names come from, in precedence: unicode-math's definitions speak of
# Unicode characters, so they come first; plain TeX is the oldest word.
TEX_MATH_FILES = ("unicode-math-xetex.sty", "amsmath.sty", "amssymb.sty", "fontmath.ltx",
                  "plain.tex")
# Declarations of a math symbol: plain TeX's \mathchardef, LaTeX's \DeclareMath...
_TEX_SYMBOL = re.compile(
    r"\\(?:mathchardef|DeclareMath(?:Symbol|Delimiter|Accent|Radical)\{?)\\([A-Za-z]+)")
# One name defined as another: \let\a=\b, \global\let\a\b, \cs_set_eq:NN \a \b.
_TEX_LET = re.compile(r"\\(?:let|cs_set_eq:NN|cs_new_eq:NN)\s*\\([A-Za-z]+)\s*=?\s*\\([A-Za-z]+)")
# A macro without parameters: \def\a{...}, \DeclareRobustCommand\a{...}, \newcommand{\a}{...}.
_TEX_DEF = re.compile(
    r"\\(?:def|DeclareRobustCommand\*?|newcommand|renewcommand|cs_set_protected:Npn"
    r"|cs_new_protected:Npn|DeclareDocumentCommand)\s*\{?\\([A-Za-z]+)\}?\s*(\{\s*\}\s*)?\{")
_TEX_DFU = re.compile(r"\\DeclareUnicodeCharacter\{([0-9A-F]+)\}\{\\([A-Za-z]+)\}")
# Commands that only set spacing, class or limits around the symbol a macro stands for.
_TEX_LAYOUT = frozenset({"relax", "mathinner", "mathord", "mathrel", "mathbin", "mathop",
                         "mathpunct", "nolimits", "limits", "textstyle", "DOTSB", "DOTSI",
                         "DOTSX", "protect", "m@th"})


def braced(text: str, start: int) -> str | None:
    """The text of the group opening at `start` (a `{`), or None if it never closes."""
    depth = 0
    for i in range(start, len(text)):
        if text[i] == "{" and text[i - 1] != "\\":
            depth += 1
        elif text[i] == "}" and text[i - 1] != "\\":
            depth -= 1
            if depth == 0:
                return text[start + 1:i]
    return None


def one_command(body: str) -> str | None:
    r"""The command a macro body stands for when it is one command and layout around it
    (`\;\Longrightarrow\;`, `\mathinner{\unicodecdots}`, the math branch of \ifmmode)."""
    body = re.sub(r"\\ifmmode(.*?)\\else.*?\\fi", r"\1", body, flags=re.S)
    if "#" in body:
        return None
    tokens = re.findall(r"\\([A-Za-z@]+|.)|([^\s{}$])", body, re.S)
    words = [w for w, other in tokens if not other and w not in _TEX_LAYOUT and len(w) > 1]
    if len(words) != 1 or any(other for _, other in tokens):
        return None
    return words[0] if words[0].isalpha() else None


@dataclass(frozen=True)
class TexDefinition:
    name: str
    command: str
    # A macro that is one command with layout (\def\int{\intop\nolimits}) is that
    # command's symbol both ways; \let only copies the command's meaning.
    both_ways: bool


def tex_definitions(text: str) -> list[TexDefinition]:
    found, bound = [], {}
    for m in _TEX_LET.finditer(text):
        # \let copies what the command means at that point of the file (amssymb lets
        # \square be \relax, then \lozenge be \square, before declaring both).
        command = bound.get(m.group(2), m.group(2))
        bound[m.group(1)] = command
        found.append((m.start(), TexDefinition(m.group(1), command, False)))
    for m in _TEX_DEF.finditer(text):
        body = braced(text, m.end() - 1)
        command = one_command(body) if body is not None else None
        if command:
            found.append((m.start(), TexDefinition(m.group(1), command, True)))
    return [definition for _, definition in sorted(found, key=lambda f: f[0])]


def load_tex(directory: Path) -> TexSources:
    def read(name: str) -> str:
        return (directory / name).read_text(encoding="latin-1")

    symbols, definitions = {}, []
    for name in TEX_MATH_FILES:
        text = read(name)
        symbols[name] = list(dict.fromkeys(_TEX_SYMBOL.findall(text)))
        definitions += tex_definitions(text)
    text_commands: dict[str, int] = {}
    for path in sorted(directory.glob("*.dfu")):
        for m in _TEX_DFU.finditer(read(path.name)):
            cp = int(m.group(1), 16)
            text_commands[m.group(2)] = min(cp, text_commands.get(m.group(2), cp))
    greek = re.search(r"\\__um_resolve_greek:\s*\{\s*\\clist_map_inline:nn\s*\{([^}]*)\}",
                      read(TEX_MATH_FILES[0]))
    return TexSources(symbols, definitions, text_commands,
                      [w.strip() for w in greek.group(1).split(",")])


@dataclass
class Sources:
    ucd: Ucd
    name_aliases: list[tuple[int, str, str]]
    namelist_aliases: list[tuple[int, str]]
    math_commands: list[tuple[str, int]]
    html: dict[str, str]
    named_sequences: list[tuple[str, str]]
    emoji: list[Emoji]
    shortcodes: list[Emoji]
    tex: TexSources
    unikemet: dict[int, dict[str, str]]


def load_sources(root: Path = SOURCES) -> Sources:
    ucd_dir = root / "ucd-16.0"
    return Sources(
        Ucd(ucd_dir / "UnicodeData.txt"),
        load_name_aliases(ucd_dir / "NameAliases.txt"),
        load_namelist_aliases(ucd_dir / "NamesList-aliases.txt"),
        load_math_commands(root / "unicode-math" / "unicode-math-table.tex"),
        html_references(),
        load_named_sequences(ucd_dir / "NamedSequences.txt"),
        load_emoji_test(root / "emoji-16.0" / "emoji-test.txt"),
        load_shortcodes(root / "emoji-shortcodes" / "shortcodes.tsv"),
        load_tex(root / "texlive"),
        load_unikemet(root / "unikemet" / "Unikemet.txt"),
    )


def read_vocabulary(name: str) -> list[tuple[str, str]]:
    return parse_rows((VOCABULARY / name).read_text(encoding="utf-8"), comments=True)


def read_markers() -> list[str]:
    lines = (VOCABULARY / "markers.txt").read_text(encoding="utf-8").splitlines()
    return [w for w in lines if w and not w.startswith("#")]


# ---------------------------------------------------------------------------
# Names: plain entity names. The first source to claim a key keeps it, in this
# order: Unicode names, formal aliases, mathematical command names, HTML
# references, abbreviations. So `ring` is U+1F48D RING rather than HTML's ring
# accent, and `star`, `check` are the TeX commands rather than HTML's white
# star and check mark.


class Names:
    """The Names table under construction; remembers where each key came from."""

    def __init__(self):
        self.text: dict[str, str] = {}
        self.source: dict[str, str] = {}
        self.dashed: dict[str, str] = {}  # composed keys with `-` for the space -> text
        self.claims: dict[str, Claims] = {}

    def add(self, key: str, text: str, source: str) -> bool:
        if key in self.text:
            return False
        self.text[key] = text
        self.source[key] = source
        return True

    # The names of other systems (emoji, shortcodes, TeX, ...) come after every key of the
    # standard's own names, the composed keys included, and only where they are free; what
    # could not be added is kept per source for the report.
    def claim(self, key: str, text: str, source: str) -> bool:
        reason = self.taken(key, text)
        if reason is None:
            return self.add(key, text, source)
        self.claims.setdefault(source, Claims()).note(key, text, reason)
        return False

    def taken(self, key: str, text: str) -> str | None:
        """Why `key` cannot name `text`, or None when it is free."""
        if not key or key.endswith(" ") or "*" in key or ">" in key or any(
                ch.isspace() for ch in key):
            return "no name a tag can carry"
        if key + " " in self.text:
            return "a modifier"
        if key in self.text:
            if self.text[key] == text:
                return "same"
            # `snowman` stays U+2603; with the effect `iconic` it is the emoji's U+2603 U+FE0F.
            if self.text[key] == text.replace(VS16, ""):
                return "same but for U+FE0F"
            return f"{self.source[key]} key"
        # A tag tries the dashed whole name first: `red-heart` would hide `red heart`.
        if self.dashed.get(key, text) != text:
            return "dashed form of a composed key"
        return None


VS16 = "\uFE0F"  # the emoji presentation selector


class Claims:
    """What one source could not add: its keys that already name the same text (or the
    same text without the emoji presentation selector), and its collisions (key, text,
    reason)."""

    def __init__(self):
        self.same = 0
        self.presentation = 0
        self.collisions: list[tuple[str, str, str]] = []

    def note(self, key: str, text: str, reason: str) -> None:
        if reason == "same":
            self.same += 1
        elif reason == "same but for U+FE0F":
            self.presentation += 1
        else:
            self.collisions.append((key, text, reason))


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


# The HTML references whose names carry another text (from a Unicode name or a
# command name). Kept here so that a change of the sources that moves this list
# stops the generator instead of silently re-pointing names people type.
HTML_OVERRIDDEN = frozenset({
    "Gt", "Lt", "Vee", "Wedge", "acute", "ast", "asymp", "barwedge", "blacktriangleleft",
    "blacktriangleright", "boxbox", "caret", "cdot", "check", "diamondsuit", "dot",
    "doublebarwedge", "fltns", "grave", "heartsuit", "imath", "jmath", "leg", "nsubset",
    "nsupset", "ocirc", "oslash", "perp", "rightsquigarrow", "ring", "setminus", "star",
    "strns", "tilde", "triangleleft", "triangleright",
})


def check_html_overrides(names: Names, src: Sources) -> None:
    overridden = {k for k, text in src.html.items() if names.text[k] != text}
    if overridden != HTML_OVERRIDDEN:
        raise SystemExit("HTML names now overridden differently; review and update "
                         f"HTML_OVERRIDDEN: added {sorted(overridden - HTML_OVERRIDDEN)}, "
                         f"gone {sorted(HTML_OVERRIDDEN - overridden)}")


def add_vocabulary_keys(names: Names) -> None:
    for word in read_markers():
        names.add(word + " ", "", "marker")
    for key, text in read_vocabulary("directives.tsv"):
        names.add(key, text, "directive")


# ---------------------------------------------------------------------------
# Names of other systems, claimed after the composed keys (see Names.claim), in this
# order: Unicode's named sequences, TeX's math names, LaTeX's text commands, CLDR's emoji
# short names, NamesList's informal aliases, the emoji shortcodes. So `\:o` is LaTeX's ø
# rather than the shortcode of the heavy large circle.


def add_named_sequences(names: Names, src: Sources) -> None:
    for name, text in src.named_sequences:
        names.claim(name_key(name), text, "named sequence")


def tex_math_meanings(src: Sources) -> dict[str, str]:
    """TeX math name -> its character: unicode-math's table, its Greek letters (`\\alpha`
    is the letter, its italic a style), the symbols that no command of the files names
    (data/vocabulary/tex-symbols.tsv), then the one-command definitions of the TeX files,
    followed to a fixed point."""
    meanings: dict[str, str] = {}
    for command, cp in src.math_commands:
        meanings.setdefault(command, chr(cp))
    for letter in src.tex.greek:
        if "mup" + letter in meanings:
            meanings.setdefault(letter, meanings["mup" + letter])
    for name, text in read_vocabulary("tex-symbols.tsv"):
        meanings.setdefault(name, text)
    changed = True
    while changed:
        changed = False
        for d in src.tex.definitions:
            if d.name not in meanings and d.command in meanings:
                meanings[d.name] = meanings[d.command]
                changed = True
            elif d.both_ways and d.command not in meanings and d.name in meanings:
                meanings[d.command] = meanings[d.name]
                changed = True
    return meanings


def tex_math_names(src: Sources) -> list[str]:
    """The math names of the TeX files: their declared symbols and their definitions."""
    names = [n for file in TEX_MATH_FILES for n in src.tex.symbols[file]]
    names += [d.name for d in src.tex.definitions]
    return list(dict.fromkeys(names + [n for n, _ in read_vocabulary("tex-symbols.tsv")]))


def add_tex_math(names: Names, src: Sources) -> None:
    meanings = tex_math_meanings(src)
    for name in tex_math_names(src):
        if name in meanings:
            names.claim(name, meanings[name], "tex math")


def add_latex_text_commands(names: Names, src: Sources) -> None:
    for command, cp in sorted(src.tex.text_commands.items()):
        names.claim(command, chr(cp), "latex text")


EMOJI_VERSION = 16.0
# The emoji a name stands for: the fully-qualified ones and the components (skin tones,
# hair styles), never the forms without their presentation selector.
EMOJI_STATUSES = ("fully-qualified", "component")
_EMOJI_DROPPED = str.maketrans("", "", ":,.\u2019'\u201c\u201d!()")


def emoji_key(short_name: str) -> str:
    """`flag: St. Kitts & Nevis` -> `flag-st-kitts-and-nevis`."""
    return "-".join(short_name.lower().replace("&", "and").translate(_EMOJI_DROPPED).split())


def emoji_of(emoji: list[Emoji]) -> list[Emoji]:
    """The emoji that get names, fully-qualified first, those after Emoji 16.0 left out
    (their code points are not assigned in Unicode 16)."""
    return [e for status in EMOJI_STATUSES for e in emoji
            if e.status == status and e.version <= EMOJI_VERSION]


def add_emoji_names(names: Names, src: Sources) -> None:
    for e in emoji_of(src.emoji):
        names.claim(emoji_key(e.names[0]), e.text, "emoji")


def informal_aliases(src: Sources) -> dict[str, int]:
    """Key -> code point of the NamesList aliases that name one character only, a line's
    aliases apart (`hashtag, hash`), without a trailing abbreviation (`horizontal
    tabulation (HT)` -> `horizontal-tabulation`)."""
    cps: dict[str, set[int]] = {}
    for cp, line in src.namelist_aliases:
        for alias in line.split(", "):
            key = name_key(re.sub(r"\s*\([^()]*\)$", "", alias.strip()))
            cps.setdefault(key, set()).add(cp)
    return {key: min(c) for key, c in cps.items() if len(c) == 1}


def add_informal_aliases(names: Names, src: Sources) -> None:
    for key, cp in sorted(informal_aliases(src).items()):
        names.claim(key, chr(cp), "informal alias")


def add_shortcodes(names: Names, src: Sources) -> None:
    for e in emoji_of(src.shortcodes):
        for code in e.names:
            names.claim(code, e.text, "shortcode")


OTHER_NAME_SOURCES = (add_named_sequences, add_tex_math, add_latex_text_commands,
                      add_emoji_names, add_informal_aliases, add_shortcodes)


def add_other_names(names: Names, src: Sources, forms: dict[str, "Form"]) -> None:
    names.dashed = {key.replace(" ", "-"): form.text for key, form in forms.items()}
    for add in OTHER_NAME_SOURCES:
        add(names, src)


# ---------------------------------------------------------------------------
# Composed keys: a modifier, one space, an operand. Each family below is one
# generator of candidate forms; adding a family is adding one function to
# FAMILIES. Where two candidates claim the same key, the earlier family wins,
# then the better-ranked candidate (see choose_forms).


@dataclass(frozen=True)
class Form:
    modifier: str
    operand: str
    text: str
    rank: tuple = ()  # lower is better among candidates for one key
    spelled: bool = True  # False: a key only, never the character's spelling (see spells)

    @property
    def key(self) -> str:
        return f"{self.modifier} {self.operand}"


class Context:
    """What the families read: the database, its names, and the plain Names keys."""

    def __init__(self, src: Sources, names: Names, markers: list[str]):
        self.src = src
        self.ucd = src.ucd
        self.names = names
        self.markers = set(markers)
        self.named = list(src.ucd.named())
        self.by_name = {c.name: c for c in self.named}

    def name_of(self, text: str) -> str:
        c = self.ucd.chars.get(ord(text)) if len(text) == 1 else None
        return c.name if c else ""


def extra_words(name: str, base_name: str) -> int:
    """How many words a variant's name adds to its base's: the fewer, the plainer."""
    base = set(base_name.split())
    return sum(w not in base for w in name.split())


def decomposition_text(c: Char) -> str:
    return "".join(map(chr, c.decomposition))


# Unicode's words for the mathematical styles, where they differ from ours.
UNICODE_STYLE_TERMS = {"SANS-SERIF": "sans", "DOUBLE-STRUCK": "double", "BLACK-LETTER": "fraktur"}
MATH_ALPHANUMERICS = range(0x1D400, 0x1D800)


def font_style(ctx: Context, c: Char) -> str | None:
    """The modifier of a <font> variant: the words its name adds to its base's name
    (MATHEMATICAL SANS-SERIF BOLD CAPITAL A over LATIN CAPITAL LETTER A -> sans-bold)."""
    base_words = set(ctx.name_of(decomposition_text(c)).split())
    # Case words go too: the capital digamma's base is GREEK LETTER DIGAMMA.
    words = [w for w in c.name.split()
             if w not in base_words and w not in ("MATHEMATICAL", "CAPITAL", "SMALL")]
    style = "-".join(UNICODE_STYLE_TERMS.get(w, w.lower()) for w in words)
    return style if style in ctx.markers else None


def is_latin_greek_or_digit(ctx: Context, text: str) -> bool:
    name = ctx.name_of(text)
    return name.startswith(("LATIN ", "GREEK ", "DIGIT "))


def forms_math_styles(ctx: Context):
    """Mathematical and letterlike alphanumerics keyed by their base: `bold A`,
    `bold α`, `double-struck C` (U+2102). The mathematical block comes first, so a
    letterlike character only fills the places that block leaves empty."""
    for c in ctx.named:
        if c.decomposition_tag != "<font>" or len(c.decomposition) != 1:
            continue
        base = decomposition_text(c)
        mathematical = c.name.startswith("MATHEMATICAL ")
        # Outside the block only Latin and Greek letters and digits: the Arabic
        # mathematical letters and DOUBLE-STRUCK N-ARY SUMMATION are no styled
        # alphabet a user would reach by restyling.
        if not mathematical and not is_latin_greek_or_digit(ctx, base):
            continue
        style = font_style(ctx, c)
        if style:
            yield Form(style, base, chr(c.cp), (not mathematical, c.cp))


def forms_letterlike_holes(ctx: Context):
    """Letterlike characters whose names carry no style (PLANCK CONSTANT is the
    italic h) fill the reserved places of the mathematical Latin alphabets."""
    holes: dict[str, list[str]] = {}  # base letter -> styles with a hole there
    letters = [chr(ord("A") + i) for i in range(26)] + [chr(ord("a") + i) for i in range(26)]
    for start in range(0x1D400, 0x1D6A4, 52):  # 13 styles of 52 letters
        styles = {font_style(ctx, ctx.ucd.chars[cp]) for cp in range(start, start + 52)
                  if cp in ctx.ucd.chars}
        styles.discard(None)
        if len(styles) != 1:
            continue
        style = styles.pop()
        for offset, letter in enumerate(letters):
            if start + offset not in ctx.ucd.chars:
                holes.setdefault(letter, []).append(style)
    for c in ctx.named:
        if (c.decomposition_tag == "<font>" and c.cp not in MATH_ALPHANUMERICS
                and font_style(ctx, c) is None):
            styles = holes.get(decomposition_text(c), [])
            if len(styles) == 1:
                yield Form(styles[0], decomposition_text(c), chr(c.cp), (c.cp,))


def tagged_forms(ctx: Context, tag: str, modifier: str, name_word: str | None = None):
    """Characters whose compatibility decomposition carries `tag`, keyed by what
    they decompose to; `name_word` restricts to names opening with that word
    (SQUARED LATIN CAPITAL LETTER A is boxed; SQUARE KM is merely set in one
    cell, and SQUARE KM SQUARED is km²)."""
    for c in ctx.named:
        if c.decomposition_tag == tag and (name_word is None or c.name.split()[0] == name_word):
            base = decomposition_text(c)
            yield Form(modifier, base, chr(c.cp), (extra_words(c.name, ctx.name_of(base)), c.cp))


def named_forms(ctx: Context, word: str, modifier: str, leading: bool = False):
    """Characters named like another character plus one word (LATIN SMALL LETTER
    TURNED A over LATIN SMALL LETTER A), keyed by that other character. With
    `leading`, the word must open the name: CIRCLED DOT OPERATOR is a dot operator
    in a circle, N-ARY CIRCLED TIMES OPERATOR is no circled n-ary operator."""
    for c in ctx.named:
        words = c.name.split()
        if word not in words[:1] if leading else word not in words:
            continue
        if c.decomposition_tag:
            continue
        base = ctx.by_name.get(" ".join(w for w in words if w != word))
        if base:
            yield Form(modifier, chr(base.cp), chr(c.cp), (c.cp,))


def forms_superscript(ctx):
    yield from tagged_forms(ctx, "<super>", "upper")


def forms_subscript(ctx):
    yield from tagged_forms(ctx, "<sub>", "lower")


def forms_circled(ctx):
    yield from tagged_forms(ctx, "<circle>", "circled")
    yield from named_forms(ctx, "CIRCLED", "circled", leading=True)


def forms_parenthesized(ctx):
    for c in ctx.named:
        text = decomposition_text(c)
        if (c.decomposition_tag == "<compat>" and "PARENTHESIZED" in c.name.split()
                and len(text) > 2 and text[0] == "(" and text[-1] == ")"):
            yield Form("parenthesized", text[1:-1], chr(c.cp), (c.cp,))


def forms_squared(ctx):
    yield from tagged_forms(ctx, "<square>", "squared", "SQUARED")
    yield from named_forms(ctx, "SQUARED", "squared", leading=True)


def forms_fullwidth(ctx):
    yield from tagged_forms(ctx, "<wide>", "fullwidth")


def forms_turned(ctx):
    yield from named_forms(ctx, "TURNED", "turned")


def forms_reversed(ctx):
    yield from named_forms(ctx, "REVERSED", "reversed")


_LIGATURE = re.compile(r"(.*?) ?LIGATURE (.*)")


def ligature_letters(ctx: Context, name: str, itself: int) -> str | None:
    """`LATIN SMALL LIGATURE LONG S T` -> "ſt", `LATIN CAPITAL LIGATURE IJ` -> "IJ":
    what follows LIGATURE must be letters of the same script and case, each named
    by one or more words (longest first), or a word spelling single letters."""
    m = _LIGATURE.fullmatch(name)
    if not m or not m.group(1):
        return None
    prefix, words = m.group(1) + " LETTER ", m.group(2).split()

    def letter(letter_name: str) -> str | None:
        c = ctx.by_name.get(prefix + letter_name)
        return chr(c.cp) if c and c.cp != itself else None

    letters, i = "", 0
    while i < len(words):
        for j in range(len(words), i, -1):
            found = letter(" ".join(words[i:j]))
            if found:
                letters += found
                i = j
                break
        else:
            spelt = [letter(ch) for ch in words[i]]
            if not all(spelt):
                return None
            letters += "".join(spelt)
            i += 1
    return letters if len(letters) > 1 else None


def forms_ligature(ctx):
    """Ligatures of letters by their letters: `ligature ff`, `ligature ſt`; the
    published former names ("latin capital ligature ae") count too."""
    for c in ctx.named:
        letters = ligature_letters(ctx, c.name, c.cp)
        if letters:
            yield Form("ligature", letters, chr(c.cp), (0, c.cp))
    for cp, alias in ctx.src.namelist_aliases:
        letters = ligature_letters(ctx, re.sub(r"\s*\(.*\)$", "", alias).upper(), cp)
        if letters:
            yield Form("ligature", letters, chr(cp), (1, cp))


COLOURS = ("black", "white", "red", "green", "blue", "orange", "brown", "purple", "yellow", "pink")
CJK_RADICALS = range(0x2E80, 0x2FE0)


def forms_colours(ctx):
    """Coloured things keyed by the thing: WHITE HEART -> `white heart`. The rest of
    the name must mean something on its own: another character's name, or a thing
    that comes in two colours or more (hearts, apples, chess kings). Radicals
    named after a colour are ideographs meaning the colour, not coloured things.
    Of two characters for one key, choose_forms prefers the one that its dashed
    name does not already reach (FOUR POINTED BLACK STAR for `black
    four-pointed-star`, BLACK FOUR POINTED STAR being `black-four-pointed-star`)."""
    found: dict[str, list[tuple[str, Char]]] = {}
    upper = {w.upper() for w in COLOURS}
    for c in ctx.named:
        if c.cp in CJK_RADICALS:
            continue
        words = c.name.split()
        present = [w for w in words if w in upper]
        if len(present) != 1 or words.count(present[0]) != 1:
            continue
        rest = name_key(" ".join(w for w in words if w not in upper))
        found.setdefault(rest, []).append((present[0].lower(), c))
    for rest, items in found.items():
        if rest in ctx.names.text or len({colour for colour, _ in items}) > 1:
            for colour, c in items:
                yield Form(colour, rest, chr(c.cp), (c.cp,))


# Beta Code, the usual Latin keyboard for Greek: the 24 letters in alphabet order.
GREEK_TRANSLITERATION = "abgdezhqiklmncoprstufxyw"
# Names users type that Unicode spells otherwise.
GREEK_NAME_VARIANTS = {"lamda": "lambda"}


def forms_greek(ctx):
    """`greek alpha`, `greek Alpha`, and the transliteration `greek a`, `greek A`."""
    small = [cp for cp in range(0x3B1, 0x3CA) if cp != 0x3C2]  # no final sigma
    for latin, cp in zip(GREEK_TRANSLITERATION, small):
        name = ctx.ucd.chars[cp].name.split()[-1].lower()
        for operand in (name, GREEK_NAME_VARIANTS.get(name), latin):
            if operand:
                yield Form("greek", operand, chr(cp))
                yield Form("greek", operand[0].upper() + operand[1:], chr(cp - 0x20))


def sign_code(code: str) -> str | None:
    """Catalogue number of a sign name as it is cited: zeros dropped, a variant
    letter in lower case, Gardiner's two-letter series as `Aa` (A001 -> A1,
    A001A -> A1a, AA001 -> Aa1)."""
    m = re.fullmatch(r"([A-Z]+)0*(\d+)([A-Z]*)", code)
    if not m:
        return None
    series = "Aa" if m.group(1) == "AA" else m.group(1)
    return series + m.group(2) + m.group(3).lower()


def egyptian_signs(chars):
    """(code, sign) of the Egyptian signs whose Unicode name carries their code."""
    for c in chars:
        if c.name.startswith("EGYPTIAN HIEROGLYPH "):
            code = sign_code(c.name.removeprefix("EGYPTIAN HIEROGLYPH "))
            if code:
                yield code, c


# A JSesh sign code: a Gardiner series (two letters for Aa, and JSesh's Ff, NL, NU), a number
# and variant letters. JSesh's own extension numbers (US1A6BEXTU) are no sign code.
_JSESH_CODE = re.compile(r"(?:[A-Z]|Aa|Ff|NL|NU)\d+[A-Za-z]*")


def jsesh_codes(sign: dict[str, str]) -> list[str]:
    """The sign codes of a kEH_JSesh value (`A14A`; `D66 D245` gives both)."""
    return [code for code in sign.get("kEH_JSesh", "").split() if _JSESH_CODE.fullmatch(code)]


@functools.lru_cache(maxsize=None)
def unikemet_codes(ctx) -> list[tuple[int, int, str]]:
    """(kind, code point, code) of every Egyptian sign by Unikemet, kinds in order of
    precedence: 0 the catalogue id (kEH_UniK; `HJ T026B` as `HJ-T026B`, one word), 1 the
    JSesh code, 2 the Hieroglyphica code (kEH_HG), 3 the catalogue value (kEH_Cat, only for
    a sign that every other code of its own shares with another sign: U+135DC has the id
    of U+1358D)."""
    codes = []
    for cp, sign in sorted(ctx.src.unikemet.items()):
        codes.append((0, cp, sign["kEH_UniK"].replace(" ", "-")))
        codes += [(1, cp, code) for code in jsesh_codes(sign)]
        if "kEH_HG" in sign:
            codes.append((2, cp, sign["kEH_HG"]))
    owners: dict[str, set[int]] = {}
    for _, cp, code in codes:
        owners.setdefault(code, set()).add(cp)
    own = {cp for _, cp, code in codes if owners[code] == {cp}}
    codes += [(3, cp, sign["kEH_Cat"]) for cp, sign in sorted(ctx.src.unikemet.items())
              if cp not in own]
    return codes


def anatolian_names(ctx):
    """(operand, sign) for every Anatolian sign: its code, the words its name adds
    after the code (A393 EIGHT -> `eight`) and its NamesList aliases (`ego`,
    `caput+scalprum`), spaces joined by `-`. An alias given to several signs names
    none of them and is left out."""
    pairs = []
    for c in ctx.named:
        if c.name.startswith("ANATOLIAN HIEROGLYPH "):
            code, _, description = c.name.removeprefix("ANATOLIAN HIEROGLYPH ").partition(" ")
            pairs.append((sign_code(code), c))
            if description:
                pairs.append((name_key(description), c))
    codes = {operand for operand, _ in pairs}
    aliases: dict[str, set[int]] = {}
    for cp, alias in ctx.src.namelist_aliases:
        if 0x14400 <= cp <= 0x1467F:
            for one in alias.split(", "):
                aliases.setdefault(one.strip().replace(" ", "-"), set()).add(cp)
    for alias, cps in sorted(aliases.items()):
        if len(cps) == 1 and alias not in codes:
            pairs.append((alias, ctx.ucd.chars[cps.pop()]))
    return pairs


def forms_gardiner(ctx):
    """Egyptian hieroglyphs by Gardiner number: `gardiner A1` from the name, then by JSesh
    code, variant letters as JSesh writes them (`gardiner A14A`), for both blocks."""
    for code, c in egyptian_signs(ctx.named):
        yield Form("gardiner", code, chr(c.cp))
    for kind, cp, code in unikemet_codes(ctx):
        if kind == 1:
            yield Form("gardiner", code, chr(cp), (1, cp))


def forms_luwian(ctx):
    """Anatolian hieroglyphs by number (`luwian A1`, the same number form as
    Gardiner's) and by name (`luwian ego`)."""
    for operand, c in anatolian_names(ctx):
        yield Form("luwian", operand, chr(c.cp))


def forms_hieroglyph(ctx):
    """Any hieroglyph: Egyptian ones by Gardiner number, Anatolian ones by name.
    Anatolian numbers would collide with Gardiner's (both have an A1)."""
    for code, c in egyptian_signs(ctx.named):
        yield Form("hieroglyph", code, chr(c.cp), (0,))
    for operand, c in anatolian_names(ctx):
        if not re.fullmatch(r"A\d+[a-z]?", operand):
            yield Form("hieroglyph", operand, chr(c.cp), (1,))
    # Then every Egyptian sign by each of its Unikemet codes (`hieroglyph A001`).
    for kind, cp, code in unikemet_codes(ctx):
        yield Form("hieroglyph", code, chr(cp), (2 + kind, cp))


# The compatibility decompositions that give a styled form, with the modifier a character
# gets when its name adds no style word of the vocabulary to its base's name.
DECOMPOSITION_MODIFIERS = {"<font>": None, "<circle>": "circled", "<super>": "upper",
                           "<sub>": "lower", "<square>": "squared", "<wide>": "fullwidth"}


def decomposition_style(ctx: Context, c: Char) -> str | None:
    """The words `c`'s name adds to its base's name, as a style, when the vocabulary has
    it (DOUBLE-STRUCK ITALIC CAPITAL D -> double-italic, ARABIC MATHEMATICAL INITIAL BEH
    -> initial, and ARABIC MATHEMATICAL BEH -> mathematical); else its tag's modifier."""
    base_words = set(ctx.name_of(decomposition_text(c)).split())
    words = [w for w in c.name.split() if w not in base_words and w not in ("CAPITAL", "SMALL")]
    if len(words) > 1:
        words = [w for w in words if w != "MATHEMATICAL"]
    style = "-".join(UNICODE_STYLE_TERMS.get(w, w.lower()) for w in words)
    return style if style in ctx.markers else DECOMPOSITION_MODIFIERS[c.decomposition_tag]


def forms_decompositions(ctx):
    """Every styled compatibility decomposition keyed by what it decomposes to: `squared
    cm` (SQUARE CM), `double-italic D`, `initial ب`, `circled-italic C`, `outlined 0`.
    Listed after the families above, it fills only the keys they leave free; its forms
    give no spellings, so that the characters keep the ones they had."""
    for c in ctx.named:
        if c.decomposition_tag in DECOMPOSITION_MODIFIERS:
            style = decomposition_style(ctx, c)
            if style:
                yield Form(style, decomposition_text(c), chr(c.cp), (c.cp,), spelled=False)


# In order of precedence: a family listed earlier keeps a key that a later one
# also produces, and gives the spelling of a character that both produce.
FAMILIES = (
    forms_math_styles,
    forms_letterlike_holes,
    forms_superscript,
    forms_subscript,
    forms_circled,
    forms_parenthesized,
    forms_squared,
    forms_fullwidth,
    forms_ligature,
    forms_turned,
    forms_reversed,
    forms_colours,
    forms_gardiner,
    forms_luwian,
    forms_hieroglyph,
    forms_greek,
    forms_decompositions,
)

# Each synonym gets exactly the keys and texts of the word it stands beside; the
# first word of each pair is the one spellings use.
SYNONYMS = {
    "double": "double-struck",
    "upper": "superscript",
    "lower": "subscript",
    "fraktur": "fracture",
    "bold-fraktur": "bold-fracture",
    "reversed": "reverseInPlace",
    "gardiner": "egyptian",
    "luwian": "anatolian",
    "double-italic": "double-struck-italic",
}

# Modifiers whose forms are no styled variants of a character but its name in
# another notation; they never give a spelling.
NOT_SPELLED = {"greek", "hieroglyph"}

# Styles added to the vocabulary after the spellings were settled: their forms are keys
# but no spellings, so that a character keeps the spelling that text written before relies
# on (OUTLINED DIGIT ZERO stays <:outlined-digit-zero>).
LATER_STYLES = {"circled-italic", "double-italic", "initial", "looped", "mathematical",
                "outlined", "segmented", "stretched", "tailed"}


def spells(form: Form) -> bool:
    """Does `form` give its character's spelling? Else it is only a last resort, for a
    character that nothing else can name (an Extended-A sign by its catalogue id)."""
    return (form.spelled and form.modifier not in NOT_SPELLED
            and form.modifier not in LATER_STYLES)


def valid_operand(ctx: Context, operand: str) -> bool:
    # A key must not end with a space (that form is a marker key), and an
    # operand with whitespace could never be typed as one word of a tag.
    return bool(operand) and not any(
        ch.isspace() or ctx.ucd.category(ch) in ("Zs", "Zl", "Zp", "Cc") for ch in operand)


def shadowing(ctx: Context, form: Form) -> int:
    """0: the dashed key (`white-heart`) is this very character's name, 1: it names
    nothing, 2: it names another character. A tag tries the dashed whole name
    before the modifier, so a form whose dashed key names another character
    would read back as that one."""
    text = ctx.names.text.get(form.key.replace(" ", "-"))
    return 1 if text is None else 0 if text == form.text else 2


def choose_forms(ctx: Context) -> tuple[dict[str, Form], dict[str, list[Form]]]:
    """One form per key, synonyms included; and the candidates each key turned down."""
    chosen: dict[str, Form] = {}
    lost: dict[str, list[Form]] = {}
    for order, family in enumerate(FAMILIES):
        for form in family(ctx):
            if form.modifier not in ctx.markers or not valid_operand(ctx, form.operand):
                continue
            # Where the dashed key already names one candidate, the composed key serves
            # the other: both characters are then reachable by some key.
            rank = (order, shadowing(ctx, form) == 0, form.rank)
            form = Form(form.modifier, form.operand, form.text, rank, form.spelled)
            loser = chosen.get(form.key)
            if loser is None or rank < loser.rank:
                chosen[form.key] = form
            else:
                loser = form
            if loser is not None and loser.text != chosen[form.key].text:
                lost.setdefault(form.key, []).append(loser)
    forms = dict(chosen)
    for word, synonym in SYNONYMS.items():
        for form in [f for f in forms.values() if f.modifier == word]:
            copy = Form(synonym, form.operand, form.text, form.rank, form.spelled)
            forms[copy.key] = copy
    return forms, lost


def add_composed_keys(names: Names, forms: dict[str, Form]) -> None:
    for key in sorted(forms):
        names.add(key, forms[key].text, "composed:" + forms[key].modifier)


# ---------------------------------------------------------------------------
# Spellings: how text is written back. Every character at U+00A0 or above that
# has a name gets the first of these that reads back as itself:
#   1. its composed spelling, if it is a styled form (`<:italic A>`, `<:upper 1>`,
#      `<:white heart>`, `<:gardiner A1>`), with the first word of a synonym pair
#      and the earliest family;
#   2. a short HTML or command name that abbreviates its Unicode name word by
#      word, in order: each part is a whole word (two letters at least) or the
#      first three letters or more of one, and only classifier words and
#      connectives may be left out (see short_name). So `eng`, `alpha`, `Alpha`,
#      `deg`, `rightarrow`, `emptyset`; not `Agrave` (a one-letter word), not
#      `nbsp` (one-letter parts), not `Prec` for DOUBLE PRECEDES (DOUBLE missing);
#   3. its Unicode name, or the corrected name where Unicode published one.
# A character none of these can name (U+1FA9E MIRROR: the tag <:mirror> opens a
# block of the modifier `mirror`) gets no spelling and is written as itself.

# Words a short name may leave out: classifiers of letters (only for letters),
# and classifiers and connectives of any name.
LETTER_CLASSIFIERS = {"LATIN", "GREEK", "LETTER", "CAPITAL", "SMALL"}
CONNECTIVES = {"SIGN", "SYMBOL", "OPERATOR", "N-ARY", "WITH", "OF", "TO", "FROM", "AND", "OR"}


def tag_text(names: dict[str, str], markers: set[str], source: str) -> str | None:
    """What `<:name>` or `\\:name` converts to, by the rules a tag of one name follows:
    the tag ends at its first `>`; a tag naming a modifier opens a block and one
    starting with `/` closes something; otherwise the whole name with spaces as dashes
    is tried first, then the modifier form `modifier operand`. None: no text."""
    if source.startswith("\\:"):
        return names.get(source[2:])
    name = source[2:-1]
    if len(name.encode("utf-8")) < 2 or ">" in name or name.startswith("/") or name in markers:
        return None
    whole = names.get(name.replace(" ", "-"))
    if whole is not None:
        return whole
    modifier, space, operand = name.partition(" ")
    if space and modifier in markers and " " not in operand:
        return names.get(name)
    return None


def reads_back(names: Names, markers: set[str], spelling: str, char: str) -> bool:
    """Does the tag `spelling` convert to `char`?"""
    return tag_text(names.text, markers, spelling) == char


SHORT_NAME_SOURCES = ("html", "math")


def short_names(names: Names) -> dict[str, list[str]]:
    """Character -> its short HTML and command names made of letters only."""
    out: dict[str, list[str]] = {}
    for key, source in names.source.items():
        if source in SHORT_NAME_SOURCES and key.isascii() and key.isalpha():
            out.setdefault(names.text[key], []).append(key)
    return out


def abbreviates(short: str, words: tuple[str, ...], optional: set[str]) -> bool:
    """Is `short` the words in order, each whole (2+ letters) or cut to 3+ letters,
    leaving out only `optional` words?"""
    s = short.upper()

    @functools.lru_cache(maxsize=None)
    def match(i: int, k: int) -> bool:
        if k == len(words):
            return i == len(s)
        word = words[k]
        if word in optional and match(i, k + 1):
            return True
        for length in range(len(word), 0, -1):
            whole = length == len(word)
            if (length >= 3 or (whole and length >= 2)) and s.startswith(word[:length], i):
                if match(i + length, k + 1):
                    return True
        return False

    return match(0, 0)


def short_name(c: Char, candidates: list[str]) -> str | None:
    """The most explicit (longest) short name of `c` that abbreviates its Unicode
    name; lower case first among equals (`star` rather than `Star`)."""
    words = c.name.split()
    optional = set(CONNECTIVES)
    if c.category.startswith("L"):
        optional |= LETTER_CLASSIFIERS
        # A letter's short name shows its case as the letter does.
        if "CAPITAL" in words:
            candidates = [k for k in candidates if k[0].isupper()]
        if "SMALL" in words:
            candidates = [k for k in candidates if k[0].islower()]
    # Unicode's LAMDA is the lambda everyone else writes.
    words = [GREEK_NAME_VARIANTS.get(w.lower(), w.lower()).upper() for w in words]
    parts = tuple(p for w in words for p in ([w] if w in optional else w.split("-")))
    found = [k for k in candidates if abbreviates(k, parts, optional)]
    return min(found, key=lambda k: (-len(k), k[0].isupper(), k)) if found else None


def by_rank(forms: list[Form]) -> list[Form]:
    return sorted(forms, key=lambda f: (f.rank, f.key))


def spelling_options(c: Char, forms: list[Form], short: str | None,
                     correction: str | None) -> list[tuple[str, str]]:
    """(kind, spelling) in order of preference."""
    options = [("composed", f"<:{f.key}>") for f in by_rank([f for f in forms if spells(f)])]
    if short:
        options.append(("short", f"<:{short}>"))
    if correction:
        options.append(("unicode", f"<:{correction}>"))
    if not is_numbered_name(c):
        options.append(("unicode", f"<:{name_key(c.name)}>"))
    options += [("code", f"<:{f.key}>") for f in by_rank([f for f in forms if not spells(f)])]
    return options


def build_spellings(ctx: Context, forms: dict[str, Form]) -> tuple[dict[str, str], dict[str, int]]:
    """The Spellings table, and how many spellings each kind gave."""
    by_text: dict[str, list[Form]] = {}
    for form in forms.values():
        if form.modifier not in SYNONYMS.values():
            by_text.setdefault(form.text, []).append(form)
    corrections = {cp: name_key(alias) for cp, alias, kind in ctx.src.name_aliases
                   if kind == "correction"}
    shorts = short_names(ctx.names)
    # The named characters, and those that only a composed key names (the signs of
    # Egyptian Hieroglyphs Extended-A, whose names are numbers).
    cps = {c.cp for c in ctx.named} | {ord(t) for t in by_text if len(t) == 1}

    spellings, kinds = {}, {"composed": 0, "short": 0, "unicode": 0, "code": 0}
    for cp in sorted(cps):
        c = ctx.ucd.chars.get(cp)
        if cp < 0xA0 or c is None:
            continue
        char = chr(cp)
        options = spelling_options(c, by_text.get(char, []),
                                   short_name(c, shorts.get(char, [])), corrections.get(cp))
        for kind, spelling in options:
            if reads_back(ctx.names, ctx.markers, spelling, char):
                spellings[char] = spelling
                kinds[kind] += 1
                break
    return spellings, kinds


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
        # Each column after the families is one feature; the record holds them all, as the
        # converter reads a comma-separated list.
        if any(features):
            fonts[name + " features"] = ", ".join(f.strip() for f in features if f.strip())
    return fonts


# ---------------------------------------------------------------------------


@dataclass
class Build:
    """The five tables and what the report needs to explain them."""

    tables: dict[str, dict[str, str]]
    names: Names
    forms: dict[str, Form]
    lost: dict[str, list[Form]]  # composed keys -> the candidates they turned down
    spelling_kinds: dict[str, int]


def build_plain_names(src: Sources) -> Names:
    names = Names()
    add_unicode_names(names, src)
    add_formal_aliases(names, src)
    add_math_commands(names, src)
    add_html_references(names, src)
    add_abbreviations(names, src)
    check_html_overrides(names, src)
    add_vocabulary_keys(names)
    return names


def build(src: Sources) -> Build:
    names = build_plain_names(src)
    ctx = Context(src, names, read_markers())
    forms, lost = choose_forms(ctx)
    add_composed_keys(names, forms)
    add_other_names(names, src, forms)
    spellings, kinds = build_spellings(ctx, forms)
    tables = {
        "names": names.text,
        "spellings": spellings,
        "effects": build_effects(),
        "fonts": build_fonts(),
        "templates": build_templates(),
    }
    return Build(tables, names, forms, lost, kinds)


# ---------------------------------------------------------------------------
# Targets: how much of each vocabulary users type resolves. Each is a list of cases
# (markup, the text it should give); the report counts them with tag_text, and the tests
# run the same cases through the converter.

# LaTeX commands for one character that everyday mathematics and text use.
EVERYDAY_LATEX = """
to gets neq ne leq le geq ge ll gg approx equiv sim simeq cong propto land lor lnot neg owns
in notin ni subset subseteq supset supseteq cup cap setminus emptyset varnothing forall
exists nexists partial nabla infty pm mp times div cdot ast star dagger ddagger oplus otimes
wedge vee sum prod int oint coprod surd angle perp parallel mid top bot vdash models
rightarrow leftarrow Rightarrow Leftarrow leftrightarrow Leftrightarrow iff implies impliedby
mapsto uparrow downarrow longrightarrow langle rangle lfloor rfloor lceil rceil ldots cdots
dots vdots ddots aleph ell hbar Re Im prime checkmark square blacksquare triangle therefore
because alpha beta gamma delta pi theta lambda mu sigma omega Gamma Delta Sigma Omega
circ bullet ss ae o AE OE l i textdegree texteuro textcent
""".split()

TARGETS = {  # target -> the share of its cases that must resolve
    "emoji short names": 0.97,
    "emoji shortcodes": 0.85,
    "everyday LaTeX": 1.0,
    "LaTeX text commands": 0.95,
    "TeX math symbols": 0.98,
    "Egyptian JSesh codes": 1.0,
    "Egyptian signs by code": 1.0,
    "styled decompositions": 0.97,
}
# The files whose math symbols the target counts (unicode-math and amsmath add names).
TEX_SYMBOL_FILES = ("plain.tex", "fontmath.ltx", "amssymb.sty")
_UNREACHABLE = "<:no key names it>"  # a case for something no key names: never resolves


def composed_keys_by_text(names: dict[str, str], modifiers: set[str]) -> dict[str, list[str]]:
    out: dict[str, list[str]] = {}
    for key, text in sorted(names.items()):
        word, space, operand = key.partition(" ")
        if space and operand and word in modifiers and "*" not in operand:
            out.setdefault(text, []).append(key)
    return out


def target_cases(src: Sources, names: dict[str, str]) -> dict[str, list[tuple[str, str | None]]]:
    """The cases of every target, given the Names table they are measured on. Where a
    character's case is its composed key, the first one in key order is the case."""
    markers = {k[:-1] for k, text in names.items() if k.endswith(" ") and text == ""}
    meaning = tex_expectations(src)
    fully_qualified = [e for e in emoji_of(src.emoji) if e.status == "fully-qualified"]
    shortcodes = {}
    for e in emoji_of(src.shortcodes):
        if e.status == "fully-qualified":
            for code in e.names:
                shortcodes.setdefault(code, e.text)
    defined = {d.name for file in TEX_SYMBOL_FILES
               for d in tex_definitions((SOURCES / "texlive" / file).read_text("latin-1"))}
    symbols = [n for file in TEX_SYMBOL_FILES for n in src.tex.symbols[file]]
    symbols += sorted(n for n in defined if meaning(n) is not None)
    composed = composed_keys_by_text(names, markers)

    def emoji(key: str, text: str) -> str:
        # A key that already named the emoji's character keeps it; the emoji presentation
        # is then the effect `iconic`.
        return names[key] if names.get(key) == text.replace(VS16, "") else text

    def by_code(cp: int, modifiers: tuple[str, ...]) -> tuple[str, str]:
        keys = [k for k in composed.get(chr(cp), []) if k.split(" ")[0] in modifiers]
        return (f"<:{keys[0]}>" if keys else _UNREACHABLE), chr(cp)

    # The number in a sign's Unicode name keeps its key where JSesh gives the number to
    # another sign (`gardiner A68` is U+1304D EGYPTIAN HIEROGLYPH A068; JSesh's A68 is
    # U+13468, which is `hieroglyph A068B`).
    name_codes = {code: c.cp for code, c in egyptian_signs(src.ucd.named())}
    decomposed = [c.cp for c in src.ucd.chars.values()
                  if c.decomposition_tag in DECOMPOSITION_MODIFIERS]
    return {
        "emoji short names": [(f"<:{emoji_key(e.names[0]).replace('-', ' ')}>",
                               emoji(emoji_key(e.names[0]), e.text)) for e in fully_qualified],
        "emoji shortcodes": [(f"<:{code}>", emoji(code, text)) for code, text in shortcodes.items()],
        "everyday LaTeX": [("\\:" + n, meaning(n)) for n in EVERYDAY_LATEX],
        "LaTeX text commands": [("\\:" + command, chr(cp))
                                for command, cp in sorted(src.tex.text_commands.items())],
        "TeX math symbols": [("\\:" + n, meaning(n)) for n in dict.fromkeys(symbols)],
        "Egyptian JSesh codes": [(f"<:gardiner {code}>", chr(name_codes.get(code, cp)))
                                 for cp, sign in sorted(src.unikemet.items())
                                 for code in jsesh_codes(sign)],
        "Egyptian signs by code": [by_code(cp, ("gardiner", "hieroglyph"))
                                   for cp in sorted(src.unikemet)],
        "styled decompositions": [by_code(cp, tuple(markers)) for cp in sorted(decomposed)],
    }


def tex_expectations(src: Sources):
    """What a TeX name should give: the text of the key it already was (a Unicode, HTML
    or unicode-math name keeps its text: `\\:iff` is HTML's ⇔, `\\:epsilon` HTML's ε),
    else its TeX meaning, else the character of the text command."""
    earlier = build_plain_names(src).text
    meanings = tex_math_meanings(src)

    def meaning(name: str) -> str | None:
        if name in earlier:
            return earlier[name]
        if name in meanings:
            return meanings[name]
        cp = src.tex.text_commands.get(name)
        return chr(cp) if cp is not None else None

    return meaning


def measure(src: Sources, names: dict[str, str]) -> dict[str, list[tuple[str, str | None]]]:
    """Target -> the cases that do not resolve, by tag_text over `names`."""
    markers = {k[:-1] for k, text in names.items() if k.endswith(" ") and text == ""}
    return {target: [(m, t) for m, t in cases if t is None or tag_text(names, markers, m) != t]
            for target, cases in target_cases(src, names).items()}


# ---------------------------------------------------------------------------


def visible(text: str) -> str:
    return " ".join("U+%04X" % ord(ch) for ch in text) if len(text) > 1 else text


def report(src: Sources, result: Build) -> list[str]:
    lines = [f"{name}: {len(table)}" for name, table in result.tables.items()]
    counts: dict[str, int] = {}
    for form in result.forms.values():
        counts[form.modifier] = counts.get(form.modifier, 0) + 1
    lines.append(f"composed keys: {len(result.forms)}")
    lines += [f"  {m}: {n}" for m, n in sorted(counts.items(), key=lambda kv: (-kv[1], kv[0]))]
    lines.append(f"composed keys that turned a candidate down: {len(result.lost)}")
    for key, forms in sorted(result.lost.items()):
        kept = result.forms[key].text
        lines.append(f"  {key}: {kept} kept; " + ", ".join(f.text for f in forms) + " not")
    sources: dict[str, int] = {}
    for source in result.names.source.values():
        sources[source] = sources.get(source, 0) + 1
    lines.append("names by source: " + ", ".join(f"{s} {n}" for s, n in sources.items()))
    for source, claims in result.names.claims.items():
        lines.append(f"{source}: {sources.get(source, 0)} added, {claims.same} already named "
                     f"so, {claims.presentation} already named so without U+FE0F, "
                     f"{len(claims.collisions)} collisions")
        lines += [f"  {key} -> {visible(text)}: {reason}" for key, text, reason in claims.collisions]
    lines.append("spellings by kind: "
                 + ", ".join(f"{k} {v}" for k, v in result.spelling_kinds.items()))
    cases = target_cases(src, result.names.text)
    for target, missed in measure(src, result.names.text).items():
        total = len(cases[target])
        share = (total - len(missed)) / total
        lines.append(f"target {target}: {total - len(missed)} of {total} resolve, "
                     f"{100 * share:.1f} % (target {100 * TARGETS[target]:.0f} %)")
        lines += [f"  {m} -> {visible(t) if t else 'no character'}" for m, t in missed]
    return lines


def main(argv: list[str]) -> int:
    out = Path(argv[1]) if len(argv) > 1 else TABLES
    src = load_sources()
    result = build(src)
    out.mkdir(parents=True, exist_ok=True)
    for name in TABLE_FILES:
        table = result.tables[name]
        (out / f"{name}.tsv").write_bytes(format_table(table, src.ucd.category).encode("utf-8"))
    print("\n".join(report(src, result)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
