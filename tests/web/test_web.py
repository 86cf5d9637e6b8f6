"""The playground and the WebAssembly core in headless Chromium, against the Python package.

A local server on 127.0.0.1 serves web/dist/ (built by `make web`) and the harness page, and
records each request; Chromium loads a page with --dump-dom and a virtual time budget, and the
page writes what it found into the DOM. Sources with errors convert in lenient mode on both
sides, so that every source gives a text to compare.
"""

import functools
import http.server
import json
import random
import re
import shutil
import subprocess
import threading
import urllib.parse
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
DIST = ROOT / "web" / "dist"
HARNESS = Path(__file__).with_name("harness.html")
CHROMIUM = shutil.which("chromium")

pytestmark = pytest.mark.skipif(
    CHROMIUM is None or not (DIST / "chunks" / "header.glxc").exists(),
    reason="needs chromium and `make web`")

glyphloom = pytest.importorskip("glyphloom")
html5lib = pytest.importorskip("html5lib")


class Server(http.server.ThreadingHTTPServer):
    """web/dist/ and the harness; `broken` chunk files answer 404; `requests` logs paths."""

    def __init__(self, extra):
        self.extra = extra  # path -> bytes served besides web/dist/
        self.broken = set()
        self.requests = []
        handler = functools.partial(Handler, directory=str(DIST))
        super().__init__(("127.0.0.1", 0), handler)


class Handler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        path = urllib.parse.urlsplit(self.path).path
        self.server.requests.append(path)
        name = path.rsplit("/", 1)[-1]
        if name in self.server.broken:
            self.send_error(404)
        elif path in self.server.extra:
            body = self.server.extra[path]
            self.send_response(200)
            self.send_header("Content-Type", "text/html" if path.endswith(".html")
                             else "application/json")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        else:
            super().do_GET()

    def guess_type(self, path):
        return "application/wasm" if str(path).endswith(".wasm") else super().guess_type(path)

    def log_message(self, *args):
        pass


def lenient(source):
    return glyphloom.convert_with_warnings(source, mode="lenient")[0]


TOUR = (ROOT / "examples" / "tour.glyphloom").read_text(encoding="utf-8")


def generated_sources(count=300, seed=20):
    """Sources that mix names, short references, modifiers, blocks, metas, escapes and errors."""
    rng = random.Random(seed)
    names = [key for key, _ in _glyphloom_entries() if re.fullmatch(r"[^<>\s\\]+", key)]
    short = [n for n in names if re.fullmatch(r"[A-Za-z][A-Za-z0-9_-]*", n)]
    pieces = [
        lambda: f"<:{rng.choice(names)}>",
        lambda: f"<:{rng.choice(names).replace('-', ' ')}>",
        lambda: f"\\:{rng.choice(short)}",
        lambda: f"<:{rng.choice(['bold', 'italic', 'circled', 'upper', 'double-struck', 'script', 'red', 'iconic', 'sans bold', 'fullwidth'])} {rng.choice(['a', 'A', '1', 'alpha', 'and', 'heart', '%', '中'])}>",
        lambda: f"<:{rng.choice(['greek', 'bold', 'circled'])}>{rng.choice(['alpha beta', 'words here', '1 2 3'])}<:>",
        lambda: f"<:{rng.choice(['font han-japanese', 'color blue', 'size 120%', 'lang fr', 'font nosuchfont'])}>x{rng.choice(['', 'y'])}<:/{rng.choice(['font', 'color', 'size', 'lang'])}>",
        lambda: f"<:color red {rng.choice(['alpha', 'a b', 'snowman'])}>",
        lambda: f"<:above {rng.choice('日月木')} {rng.choice('日月木')}>",
        lambda: rng.choice(["<<::>", "\\<::>", "a:b", "<a:b>", " ", "\n", "plain text ", "é"]),
        lambda: rng.choice(["<:no-such-name>", "\\:alpha2", "<:bold", "<:color ???>", "<:color>"]),
    ]
    sources = []
    for _ in range(count):
        sources.append("".join(rng.choice(pieces)() for _ in range(rng.randint(1, 12))))
    return sources


def _glyphloom_entries():
    import _glyphloom
    entries = _glyphloom.Index().entries(0)
    return random.Random(7).sample(entries, 2000)


@pytest.fixture(scope="module")
def server():
    sources = [TOUR] + generated_sources()
    extra = {
        "/harness.html": HARNESS.read_bytes(),
        "/sources.json": json.dumps(sources).encode(),
        "/tour.json": json.dumps([TOUR]).encode(),
        "/plain.json": json.dumps(["no tags here, only text"]).encode(),
    }
    with Server(extra) as httpd:
        thread = threading.Thread(target=httpd.serve_forever, daemon=True)
        thread.start()
        httpd.sources = sources
        yield httpd
        httpd.shutdown()


def dump(server, path, tmp_path):
    """The DOM of the page once its work is done, parsed; the requests it made."""
    server.requests.clear()
    url = f"http://127.0.0.1:{server.server_address[1]}{path}"
    completed = subprocess.run(
        [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
         f"--user-data-dir={tmp_path / 'profile'}", "--virtual-time-budget=60000",
         "--dump-dom", url],
        capture_output=True, timeout=180, check=True)
    document = html5lib.parse(completed.stdout, namespaceHTMLElements=False)
    return document, list(server.requests)


def by_id(document, id_):
    element = document.find(f".//*[@id='{id_}']")
    assert element is not None, id_
    return "".join(element.itertext())


def harness(server, tmp_path, query):
    document, requests = dump(server, f"/harness.html?{query}", tmp_path)
    results = json.loads(by_id(document, "results"))
    assert "failure" not in results, results.get("failure")
    return results, requests


def chunk_requests(requests):
    return [p.rsplit("/", 1)[-1] for p in requests if "/chunks/" in p]


def test_sources_convert_as_in_python(server, tmp_path):
    results, requests = harness(server, tmp_path, "sources=sources.json")
    expected = [lenient(s) for s in server.sources]
    mismatched = [(s, got, want) for s, got, want in zip(server.sources, results["texts"], expected)
                  if got != want]
    assert not mismatched[:3] and len(results["texts"]) == len(expected)
    chunks = chunk_requests(requests)
    assert len(chunks) == len(set(chunks)), "a chunk was fetched twice"
    assert results["chunkErrors"] == []


def test_playground_shows_the_tour(server, tmp_path):
    fragment = "#" + urllib.parse.urlencode({"markup": TOUR, "mode": "lenient"},
                                            quote_via=urllib.parse.quote)
    document, requests = dump(server, "/index.html" + fragment, tmp_path)
    assert by_id(document, "text") == lenient(TOUR)
    assert by_id(document, "visible") == glyphloom.visible(lenient(TOUR))
    spans = document.find(".//*[@id='html']").iter("span")
    assert {span.get("lang") for span in spans} >= {"ja", "ko"}
    messages = by_id(document, "messages")
    assert "12:13: warning: unknown glyphloom entity: no-such-name" in messages


def chunk_of(key):
    """The bounded chunk file whose Names table holds `key`, or None when only the base has it."""
    import _glyphloom
    for path in DIST.glob("chunks/chunk-*.glx"):
        if _glyphloom.Index(path.read_bytes()).get(0, key) is not None:
            return path.name
    return None


@pytest.mark.parametrize("source, keys", [
    ("plain.json", []),
    ("tour.json", ["latin-small-letter-eng", "alpha", "snowman", "heavy-black-heart"]),
])
def test_chunk_requests(server, tmp_path, source, keys):
    results, requests = harness(server, tmp_path, f"sources={source}")
    chunks = chunk_requests(requests)
    layout_base = f"chunk-{len(list(DIST.glob('chunks/chunk-*.glx'))) - 1}.glx"
    # The header and the base chunk first, then each needed chunk once.
    assert chunks[:2] == ["header.glxc", layout_base]
    assert len(chunks) == len(set(chunks))
    needed = {chunk_of(key) for key in keys} - {None, layout_base}
    assert needed <= set(chunks)
    if not keys:
        assert chunks == ["header.glxc", layout_base]
    else:
        whole = (ROOT / "web" / "build" / "default_image.glx").stat().st_size
        assert results["bytes"] < 0.15 * whole


def test_a_chunk_that_fails_is_reported(server, tmp_path):
    wanted = chunk_of("latin-small-letter-eng")
    server.broken = {wanted}
    try:
        document, requests = dump(server, "/index.html#markup=%3C%3Aeng%3E%20%3C%3Alatin-small-letter-eng%3E%20%5C%3Aalpha&mode=lenient", tmp_path)
    finally:
        server.broken = set()
    assert chunk_requests(requests).count(wanted) == 1
    messages = by_id(document, "messages")
    assert f"chunk {wanted[len('chunk-'):-len('.glx')]} failed to load: HTTP 404" in messages
    # The rest still converts: the name stays as written, the short reference is found.
    assert by_id(document, "text").endswith("<:latin-small-letter-eng> α")


@pytest.mark.parametrize("query, name, text", [
    ("alpha", "alpha", "α"),
    ("latin small letter en", "latin-small-letter-eng", "ŋ"),
    ("U+2295", "oplus", "⊕"),
])
def test_search_finds_names(server, tmp_path, query, name, text):
    results, _ = harness(server, tmp_path, "sources=plain.json&search=" + urllib.parse.quote(query))
    assert (name, text) in [(m["name"], m["text"]) for m in results["matches"]]
