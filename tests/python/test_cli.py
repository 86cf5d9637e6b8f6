"""The command line, run as `python -m glyphloom`."""

import subprocess
import sys

import pytest

import _glyphloom
import glyphloom
from glyphloom import cli

TOUR_HEAD = "<:glyphloom version=\"https://glyphloom.org/v1\">\n"


def run(*args, stdin=b"", cwd=None):
    result = subprocess.run([sys.executable, "-m", "glyphloom", *map(str, args)], input=stdin,
                            capture_output=True, cwd=cwd, timeout=60)
    return result.returncode, result.stdout.decode("utf-8"), result.stderr.decode("utf-8")


@pytest.mark.parametrize("args, stdin, out", [
    (["convert"], "<:bold a> \\:alpha\n", "𝐚 α\n"),
    (["convert", "-"], "<:greek>alpha beta<:>", "α β"),
    (["convert", "--visible"], "<:color red alpha>\n", "α⟨:color red⟩\n"),
    (["convert", "--html"], "<:lang ja>字<:/lang> & <:bold a>",
     '<span lang="ja">字</span> &amp; 𝐚\n'),
    # Bytes pass through exactly: the header takes its CR LF, the other line breaks stay.
    (["convert"], "<:glyphloom>\r\nab\r\ncd", "ab\r\ncd"),
    (["to-markup"], "ŋ a<:b 𝑨\n", "<:eng> a<<::>b <:bold-italic A>\n"),
])
def test_filters(args, stdin, out):
    assert run(*args, stdin=stdin.encode()) == (0, out, "")


def test_files_and_output(tmp_path):
    source = tmp_path / "doc.glyphloom"
    source.write_text(TOUR_HEAD + "<:font han-japanese>漢字<:/font>\n", encoding="utf-8")
    tagged = tmp_path / "doc.txt"
    assert run("convert", source, "-o", tagged) == (0, "", "")
    assert glyphloom.visible(tagged.read_text("utf-8")) == "⟨font han-japanese⟩漢字⟨/font⟩\n"
    assert run("to-markup", tagged) == (0, "<:font han-japanese>漢字<:/font>\n", "")
    status, out, err = run("runs", tagged)
    assert (status, err) == (0, "")
    assert out.splitlines() == ["key   value         bytes  text",
                                "font  han-japanese  0..6   漢字"]
    page = tmp_path / "doc.html"
    assert run("convert", "--page", source, "-o", page) == (0, "", "")
    html = page.read_text("utf-8")
    assert "<title>doc.glyphloom</title>" in html and "<span lang=\"ja\"" in html


def test_warnings_are_placed_and_output_still_written():
    status, out, err = run("convert", "--mode", "lenient", stdin="x\n  <:bold %> <:qqq>".encode())
    assert (status, out) == (0, "x\n  % <:qqq>")
    assert err.splitlines() == ["<stdin>:2:3: warning: no bold form of %",
                                "<stdin>:2:13: warning: unknown glyphloom entity: qqq"]


@pytest.mark.parametrize("args, stdin, message", [
    (["convert"], "ab\nα <:qqq>", "<stdin>:2:3: error: unknown glyphloom entity: qqq"),
    (["convert", "--mode", "error"], "<:bold %>", "<stdin>:1:1: error: no bold form of %"),
    (["convert", "--html"], "x <:color ???>",
     "<stdin>:1:3: error: invalid meta value in <:color ???>"),
    (["convert"], "x\n<:bold", "<stdin>:2:1: error: unclosed <: at <:bold"),
    (["convert"], "ok\n\udcff", "<stdin>:2:1: error: not UTF-8 text"),
    (["runs"], "é\udcff", "<stdin>:1:2: error: not UTF-8 text"),
])
def test_errors_exit_1_with_the_place(args, stdin, message):
    data = stdin.encode("utf-8", "surrogateescape")  # \udcff is the byte FF
    assert run(*args, stdin=data) == (1, "", message + "\n")


def test_no_output_file_after_an_error(tmp_path):
    target = tmp_path / "out.txt"
    assert run("convert", "-o", target, stdin=b"<:qqq>")[0] == 1
    assert not target.exists()


@pytest.mark.parametrize("args", [
    [],
    ["frobnicate"],
    ["convert", "--mode", "loud"],
    ["convert", "--html", "--page"],
    ["convert", "a.glyphloom", "b.glyphloom"],  # several files need -o DIR
    ["lookup"],
])
def test_bad_usage_exits_2(args):
    status, out, err = run(*args)
    assert (status, out) == (2, "") and err


@pytest.mark.parametrize("args, message", [
    (["convert", "no-such-file.glyphloom"],
     "glyphloom: cannot read no-such-file.glyphloom: No such file or directory\n"),
    (["convert", "--index", "no-such-index.glx", "-"],
     "glyphloom: cannot read no-such-index.glx: No such file or directory\n"),
])
def test_unreadable_files_exit_1(args, message):
    assert run(*args) == (1, "", message)


def test_bad_index_file(tmp_path):
    bad = tmp_path / "bad.glx"
    bad.write_bytes(b"nothing")
    assert run("convert", "--index", bad, stdin=b"x") == (
        1, "", f"glyphloom: {bad}: not a glyphloom index (magic GLX1 missing)\n")


def test_custom_index(tmp_path):
    from test_package import TINY

    index = tmp_path / "tiny.glx"
    index.write_bytes(TINY)
    assert run("convert", "--index", index, stdin=b"<:smile>") == (0, "☺", "")
    assert run("lookup", "--index", index, "smile") == (
        0, "<:smile> gives ☺\n  U+263A   ☺  ☺  also smile\n", "")


def test_runs_reports_meta_warnings_in_the_tagged_text():
    tagged = "ab\n" + glyphloom.convert("c<:/font>")
    tagged += _glyphloom.meta_tags("open", "x-y", "1") + "d"
    status, out, err = run("runs", stdin=tagged.encode())
    assert status == 0
    assert out.splitlines() == ["key  value  bytes  text", "x-y  1      4..5   d"]
    assert err.splitlines() == ["<stdin>:2:2: warning: </font closes no open font",
                                # (the TAG characters before it count)
                                "<stdin>:2:9: warning: unknown meta key x-y"]


@pytest.mark.parametrize("args, out", [
    (["latin", "small", "letter", "eng"],
     "<:latin small letter eng> gives ŋ\n"
     "  U+014B   ŋ  <:eng>  also ng, angma, engma, latin-small-letter-eng\n"),
    (["ŋ"], "ŋ is written <:eng>\n  U+014B   ŋ  <:eng>  also ng, angma, engma, latin-small-letter-eng\n"),
    (["<:above 日 月>"], "<:above 日 月> gives ⿱日月\n"
                        "  U+2FF1   ⿱ <:ideographic-description-character-above-to-below>\n"
                        "  U+65E5   日 日\n  U+6708   月 月\n"),
    (["ŋα"], "ŋα is written <:eng><:alpha>\n"
             "  U+014B   ŋ  <:eng>  also ng, angma, engma, latin-small-letter-eng\n"
             "  U+03B1   α  <:alpha>  also mupalpha, greek a, greek alpha, greek-small-letter-alpha\n"),
    (["e\u0301"], "e\u0301 is written e<:combining-acute-accent>\n"
                  "  U+0065   e  e  also latin-small-letter-e\n"
                  "  U+0301   \u25cc\u0301  <:combining-acute-accent>  also Acute, acute, tonos,"
                  " stress-mark\n"),
    # Every name of a character, not one spelling.
    (["⊕"], "⊕ is written <:CirclePlus>\n"
           "  U+2295   ⊕  <:CirclePlus>  also oplus, direct-sum, circled-plus\n"),
])
def test_lookup(args, out):
    assert run("lookup", *args) == (0, out, "")


def test_lookup_failure_and_warning():
    assert run("lookup", "no-such-name") == (
        1, "", "glyphloom: unknown glyphloom entity: no-such-name\n")
    assert run("lookup", "bold", "%") == (0, "<:bold %> gives %\n  U+0025   %  %  also percnt,"
                                          " mathpercent, percent-sign\n",
                                          "glyphloom: warning: no bold form of %\n")


def test_help_teaches_the_language_in_ten_lines():
    status, out, err = run("--help")
    assert status == 0
    section = out.split("The language in ten lines", 1)[1].split("\n\n", 1)[0].splitlines()[1:]
    assert len(section) == 10 == len(cli.LANGUAGE)
    for line, (markup, result, meaning) in zip(section, cli.LANGUAGE):
        assert line.startswith("  " + markup) and result in line and line.endswith(meaning)


@pytest.mark.parametrize("markup, result", [(m, r) for m, r, _ in cli.LANGUAGE])
def test_help_examples_are_true(markup, result):
    assert glyphloom.visible(glyphloom.convert(markup)) == result


def test_version():
    status, out, _ = run("--version")
    version = f"glyphloom {glyphloom.__version__} (language {glyphloom.GLYPHLOOM_VERSION})"
    assert (status, out) == (0, version + "\n")


@pytest.mark.parametrize("args, status, out, err", [
    (["search", "--limit", "2", "less", "than", "or", "equal"], 0,
     "char  code points  markup                   other names\n"
     "⋜     U+22DC       \\:equal-to-or-less-than  eqless\n"
     "≤     U+2264       \\:less-than-or-equal-to  le, leq\n", ""),
    (["search", "tag", "latin", "small", "letter", "r", "--limit", "1"], 0,
     "char       code points  markup                      other names\n"
     "⟨U+E0072⟩  U+E0072      \\:tag-latin-small-letter-r\n", ""),
    (["search", "zzqqx"], 1, "", "glyphloom: no name found for zzqqx\n"),
    (["search", "--limit", "0", "x"], 2, "", None),
    (["search", b"\xff"], 2, "", "glyphloom: the arguments are not UTF-8 text\n"),
    (["lookup", "smiling"], 1, "", "glyphloom: unknown glyphloom entity: smiling (did you mean"
     " <:smiling_imp> or <:smiling-face>?)\n"),
    (["convert", "--mode", "lenient"], 0, "<:latin smal letter eng>",
     "<stdin>:1:1: warning: unknown glyphloom entity: latin smal letter eng (did you mean"
     " <:latin small letter eng>?)\n"),
])
def test_search_and_suggestions(args, status, out, err):
    stdin = b"<:latin smal letter eng>" if "convert" in args else b""
    command = [sys.executable, "-m", "glyphloom", *args]
    result = subprocess.run(command, input=stdin, capture_output=True, timeout=60)
    assert (result.returncode, result.stdout.decode()) == (status, out)
    assert err is None or result.stderr.decode() == err


def test_malformed_index_tables(tmp_path):
    bad = tmp_path / "bad.glx"
    bad.write_bytes(b"GLX1\x05\0\0\0")  # a header whose directory is missing
    for args in (["search", "x"], ["convert"], ["lookup", "x"]):
        status, out, err = run(*args, "--index", bad, stdin=b"<:x>")
        assert (status, out) == (1, "") and err.startswith("glyphloom: malformed index: ")


@pytest.mark.parametrize("jobs", ["1", "2"])
def test_many_files_into_a_folder(tmp_path, jobs):
    (tmp_path / "a.glyphloom").write_bytes("\ufeff\\:alpha <:bold a>".encode())  # BOM skipped
    (tmp_path / "b.glyphloom").write_text("ok <:qqq>\nand <:zzq> \\:nope", encoding="utf-8")
    (tmp_path / "c.md").write_text("<:color red alpha>", encoding="utf-8")
    out = tmp_path / "out"
    a, b, c, missing = (tmp_path / n for n in ("a.glyphloom", "b.glyphloom", "c.md", "gone.md"))
    status, stdout, err = run("convert", a, b, c, missing, "--html", "-o", out, "--jobs", jobs)
    assert (status, stdout) == (1, "")
    # Every error of the failing file, each at its place; the other files are still written.
    assert [line.split(" (did you mean")[0] for line in err.splitlines()] == [
        f"{b}:1:4: error: unknown glyphloom entity: qqq",
        f"{b}:2:5: error: unknown glyphloom entity: zzq",
        f"{b}:2:12: error: unknown glyphloom entity: nope",
        f"glyphloom: cannot read {missing}: No such file or directory",
    ]
    assert sorted(p.name for p in out.iterdir()) == ["a.html", "c.html"]
    assert (out / "a.html").read_text(encoding="utf-8") == "α 𝐚\n"
    assert (out / "c.html").read_text(encoding="utf-8") == '<span style="color: red">α</span>\n'
