"""The Markdown plugins, in the libraries they plug into: Python-Markdown and markdown-it-py on
their own, and real MkDocs and Sphinx (with MyST) builds of a document of several pages."""

import importlib
import io
import pathlib
import shutil
import warnings

import html5lib
import pytest

import glyphloom
from registered import dist_info

markdown = pytest.importorskip("markdown")
markdown_it = pytest.importorskip("markdown_it")

from glyphloom.markdown_it import glyphloom_plugin  # noqa: E402 - after the skips

DOCUMENT = pathlib.Path(__file__).parent / "data" / "markdown"
JAPANESE = "<span lang=\"ja\" style=\"font-family: 'Noto Sans CJK JP', 'Hiragino Sans'\">"


@pytest.fixture(autouse=True)
def registered(tmp_path_factory, monkeypatch):
    """The entry points on the path, as installing the package puts them there."""
    monkeypatch.syspath_prepend(str(dist_info(tmp_path_factory.mktemp("registered"))))
    importlib.invalidate_caches()
    markdown.util.get_installed_extensions.cache_clear()


RENDERERS = {
    "python-markdown": lambda text: markdown.markdown(text, extensions=["glyphloom"]),
    "markdown-it": lambda text: markdown_it.MarkdownIt().use(glyphloom_plugin).render(text),
}


def strict_fragment(html):
    """The HTML parsed by html5lib, which raises on any parse error."""
    return html5lib.HTMLParser(strict=True).parseFragment(html)


@pytest.mark.parametrize("renderer", RENDERERS)
@pytest.mark.parametrize("source, expected, found", [
    ("<:latin-small-letter-eng> \\:alpha <:bold a>", "<p>ŋ α 𝐚</p>", []),
    ("*<:italic A>* and `<:bold a>` and `\\:alpha`",
     "<p><em>𝐴</em> and <code>&lt;:bold a&gt;</code> and <code>\\:alpha</code></p>", []),
    ("    <:bold a> \\:alpha", "<pre><code>&lt;:bold a&gt; \\:alpha\n</code></pre>", []),
    # Metas are spans within their block, split where an element is in the way.
    ("<:font han-japanese>漢字 *字*<:/font> <:color red alpha>",
     f"<p>{JAPANESE}漢字 </span><em>{JAPANESE}字</span></em>"
     " <span style=\"color: red\">α</span></p>", []),
    ("<:color red>open\n\nnext", "<p><span style=\"color: red\">open</span></p>\n<p>next</p>", []),
    # A block runs across emphasis; a group block composes across it.
    ("<:greek>alpha **beta**<:/greek>", "<p>α <strong>β</strong></p>", []),
    ("<:above>日 *月*<:>", "<p>⿱日<em>月</em></p>", []),
    # What a converted tag gives is text, never HTML; the escapes of both languages work.
    ("<:lt>b<:gt> <<::> \\<::> \\\\:alpha \\*", "<p>&lt;b&gt; &lt;: \\: α *</p>", []),
    # Lenient: what cannot be converted stays as written, with a warning.
    ("<:no-such-name> \\:nosuch <:alpha>", "<p>&lt;:no-such-name&gt; \\:nosuch α</p>",
     ["unknown glyphloom entity: no-such-name", "unknown glyphloom entity: nosuch"]),
    ("<:bold a", "<p>&lt;:bold a</p>", ["unclosed <: at <:bold a"]),
])
def test_markup_in_markdown(renderer, source, expected, found):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        html = RENDERERS[renderer](source).strip()
    assert html == expected
    strict_fragment(html)
    assert [w.message.message for w in caught if w.category is glyphloom.GlyphloomWarning] \
        == found


def build_mkdocs(source, site):
    from mkdocs.commands.build import build
    from mkdocs.config import load_config

    config = source.parent / "mkdocs.yml"
    config.write_text("site_name: glyphloom\nmarkdown_extensions:\n  - glyphloom\n  - tables\n")
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        build(load_config(str(config), docs_dir=str(source), site_dir=str(site)))
    pages = {"index": site / "index.html", "other": site / "other" / "index.html"}
    return pages, [str(w.message.message) for w in caught
                   if w.category is glyphloom.GlyphloomWarning]


def build_sphinx(source, site):
    from sphinx.application import Sphinx

    (source / "conf.py").write_text('extensions = ["glyphloom.sphinx"]\n')
    index = source / "index.md"
    index.write_text(index.read_text(encoding="utf-8") + "\n```{toctree}\nother\n```\n",
                     encoding="utf-8")
    log = io.StringIO()
    app = Sphinx(str(source), str(source), str(site), str(site / ".doctrees"), "html",
                 status=None, warning=log, freshenv=True)
    app.build()
    pages = {"index": site / "index.html", "other": site / "other.html"}
    return pages, [line for line in log.getvalue().splitlines() if "glyphloom" in line]


def texts(tree, tag):
    return ["".join(e.itertext()) for e in tree.iter(f"{{http://www.w3.org/1999/xhtml}}{tag}")]


@pytest.mark.parametrize("build, warning", [
    (build_mkdocs, "unknown glyphloom entity: no-such-name"),
    (build_sphinx, "other.md:8: WARNING: unknown glyphloom entity: no-such-name [glyphloom]"),
])
def test_a_site_of_several_pages(build, warning, tmp_path):
    source = tmp_path / "docs"
    shutil.copytree(DOCUMENT, source)
    pages, found = build(source, tmp_path / "site")
    index = html5lib.parse(pages["index"].read_bytes())
    other = html5lib.parse(pages["other"].read_bytes())

    assert any(t.startswith("Characters by name: α to ω") for t in texts(index, "h1"))
    paragraphs = " ".join(texts(index, "p"))
    assert "The name\nŋ gives ŋ, αβγ give Greek letters" in paragraphs
    assert "inside 𝐴 emphasis" in paragraphs and "themselves: <: and \\:." in paragraphs
    for markup in ("<:latin-small-letter-eng>", "\\:beta", "<:italic A>", "<:/font>", "<:greek>"):
        assert markup not in paragraphs
    spans = [span for span in index.iter("{http://www.w3.org/1999/xhtml}span")
             if span.get("lang") == "ja"]
    assert ["".join(span.itertext()) for span in spans] == ["漢字 and ", "強調"]
    assert "① and ²" in " ".join(texts(index, "li"))
    code = " ".join(texts(index, "code")) + " ".join(texts(index, "pre"))
    assert "<:bold a>" in code and "\\:alpha" in code and "<:font han-japanese>漢字" in code

    cells = texts(other, "td")
    assert "❤" in cells and "⿱日月" in cells
    other_text = " ".join(texts(other, "p"))
    assert "<:no-such-name>, stays as it was written" in other_text and "❤\U000e0072" in other_text
    green = [s for s in other.iter("{http://www.w3.org/1999/xhtml}span")
             if s.get("style") == "color: green"]
    assert ["".join(s.itertext()) for s in green] == [
        "A colour that is never closed ends with its paragraph."]
    assert [line for line in found if warning in line] and len(found) == 1
