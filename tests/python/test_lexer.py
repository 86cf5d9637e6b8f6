"""The Pygments lexer: the token kinds of each construct, valid documents without an error
token, and `pygmentize -l glyphloom` through the entry point."""

import os
import pathlib
import re
import subprocess
import sys

import pytest

pytest.importorskip("pygments")

from pygments.token import (  # noqa: E402
    Comment, Error, Keyword, Name, Operator, Punctuation, String, Text)

from glyphloom.lexer import GlyphloomLexer  # noqa: E402
from registered import dist_info  # noqa: E402

ROOT = pathlib.Path(__file__).resolve().parents[2]
P, W = Punctuation, Text.Whitespace


def tokens(source):
    found = list(GlyphloomLexer(ensurenl=False).get_tokens(source))
    assert "".join(value for _, value in found) == source  # nothing lost or added
    return found


@pytest.mark.parametrize("source, expected", [
    ('<:glyphloom version="https://glyphloom.org/v1">\nx',
     [(Comment.Preproc, "<:glyphloom"), (Comment.Preproc, " "), (Name.Attribute, "version"),
      (Operator, "="),
      (String, '"https://glyphloom.org/v1"'), (Comment.Preproc, ">\n"), (Text, "x")]),
    ("<:latin small letter eng>", [(P, "<:"), (Name.Entity, "latin small letter eng"), (P, ">")]),
    ("\\:alpha\\:beta", [(Name.Entity, "\\:alpha"), (Name.Entity, "\\:beta")]),
    ("<:red bold a>", [(P, "<:"), (Keyword, "red"), (W, " "), (Keyword, "bold"), (W, " "),
                       (Name.Entity, "a"), (P, ">")]),
    ("<:bold-a>", [(P, "<:"), (Keyword, "bold"), (P, "-"), (Name.Entity, "a"), (P, ">")]),
    ("<:greek>a<:>", [(P, "<:"), (Keyword, "greek"), (P, ">"), (Text, "a"), (P, "<:"),
                      (Keyword, ""), (P, ">")]),
    ("<:font han-japanese>字<:/font>",
     [(P, "<:"), (Name.Attribute, "font"), (W, " "), (String, "han-japanese"), (P, ">"),
      (Text, "字"), (P, "<:"), (Name.Tag, "/font"), (P, ">")]),
    ("<:color red alpha>", [(P, "<:"), (Name.Attribute, "color"), (W, " "), (String, "red"),
                            (W, " "), (Name.Entity, "alpha"), (P, ">")]),
    ("a <<::> \\<::>", [(Text, "a "), (String.Escape, "<<::>"), (Text, " "),
                        (String.Escape, "\\<::>")]),
    # A header only at the start; no header without its `>`.
    ("x<:glyphloom>", [(Text, "x"), (P, "<:"), (Name.Entity, "glyphloom"), (P, ">")]),
    ("<:glyphloom version", [(Error, "<:"), (Text, "glyphloom version")]),
    ("\\: and <:bold a", [(Error, "\\:"), (Text, " and "), (Error, "<:"), (Text, "bold a")]),
])
def test_token_kinds(source, expected):
    assert tokens(source) == expected


def glyphloom_blocks():
    fence = re.compile(r"^```glyphloom\n(.*?)^```\n", re.S | re.M)
    for path in [ROOT / "README.md", *sorted((ROOT / "docs").glob("*.md"))]:
        yield from fence.findall(path.read_text(encoding="utf-8"))


@pytest.mark.parametrize("source", [
    (ROOT / "examples" / "tour.glyphloom").read_text(encoding="utf-8"), *glyphloom_blocks()])
def test_valid_documents_have_no_error_token(source):
    assert [value for kind, value in tokens(source) if kind in Error] == []


def test_pygmentize_finds_the_lexer_by_its_name(tmp_path):
    home = pathlib.Path(__file__).resolve().parents[2] / "python"
    module = pathlib.Path(sys.modules["_glyphloom"].__file__).parent
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(
        [str(dist_info(tmp_path)), str(home), str(module)]))
    result = subprocess.run([sys.executable, "-m", "pygments", "-l", "glyphloom", "-f", "html"],
                            input="<:bold a> \\:alpha", capture_output=True, text=True, env=env,
                            timeout=60)
    assert result.returncode == 0, result.stderr
    assert '<span class="k">bold</span>' in result.stdout
    assert '<span class="ni">\\:alpha</span>' in result.stdout
