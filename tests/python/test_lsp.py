"""The language server, spoken to over stdio as an editor does: `python -m glyphloom lsp`."""

import json
import os
import pathlib
import queue
import subprocess
import sys
import threading

import pytest

import glyphloom

pytest.importorskip("pygls")

ROOT = pathlib.Path(__file__).resolve().parents[2]
TIMEOUT = 30


class Client:
    """A minimal LSP client: JSON-RPC messages framed by Content-Length over the server's
    standard input and output."""

    def __init__(self, encodings=None):
        self.process = subprocess.Popen(
            [sys.executable, "-m", "glyphloom", "lsp"], stdin=subprocess.PIPE,
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=dict(os.environ), cwd=ROOT)
        self.messages = queue.Queue()
        self.next_id = 0
        threading.Thread(target=self._read, daemon=True).start()
        capabilities = {"general": {"positionEncodings": encodings}} if encodings else {}
        self.initialized = self.request("initialize", {"processId": None, "rootUri": None,
                                                       "capabilities": capabilities})
        self.notify("initialized", {})

    def _read(self):
        stream = self.process.stdout
        while True:
            headers = {}
            while True:
                line = stream.readline()
                if not line:
                    self.messages.put(None)
                    return
                if line in (b"\r\n", b"\n"):
                    break
                name, _, value = line.decode("ascii").partition(":")
                headers[name.strip().lower()] = value.strip()
            body = stream.read(int(headers["content-length"]))
            self.messages.put(json.loads(body.decode("utf-8")))

    def send(self, message):
        body = json.dumps({"jsonrpc": "2.0", **message}).encode("utf-8")
        self.process.stdin.write(b"Content-Length: %d\r\n\r\n" % len(body) + body)
        self.process.stdin.flush()

    def notify(self, method, params):
        self.send({"method": method, "params": params})

    def receive(self, wanted):
        """The next message that `wanted` accepts; answers the server's own requests."""
        while True:
            message = self.messages.get(timeout=TIMEOUT)
            assert message is not None, self.process.stderr.read().decode("utf-8", "replace")
            if "method" in message and "id" in message:
                self.send({"id": message["id"], "result": None})
            elif wanted(message):
                return message

    def request(self, method, params):
        self.next_id += 1
        number = self.next_id
        self.send({"id": number, "method": method, "params": params})
        reply = self.receive(lambda m: m.get("id") == number and "method" not in m)
        assert "error" not in reply, reply
        return reply["result"]

    def diagnostics(self, uri):
        message = self.receive(lambda m: m.get("method") == "textDocument/publishDiagnostics"
                               and m["params"]["uri"] == uri)
        return message["params"]["diagnostics"]

    def open(self, uri, text):
        self.notify("textDocument/didOpen", {"textDocument": {
            "uri": uri, "languageId": "glyphloom", "version": 1, "text": text}})
        return self.diagnostics(uri)

    def close(self):
        try:
            if self.process.poll() is None:
                self.request("shutdown", None)
                self.notify("exit", None)
                return self.process.wait(timeout=TIMEOUT)
        finally:
            if self.process.poll() is None:
                self.process.kill()
                self.process.wait()
        return self.process.returncode


@pytest.fixture(scope="module")
def client():
    client = Client()
    try:
        yield client
    finally:
        assert client.close() == 0


def at(line, character):
    return {"line": line, "character": character}


def span(start, end):
    return {"start": at(*start), "end": at(*end)}


def document(uri):
    return {"textDocument": {"uri": uri}}


def test_a_session(client):
    uri = "file:///session.glyphloom"
    # 𝐚 and 😀 take two UTF-16 units each.
    found = client.open(uri, "𝐚 😀 <:qqq> \\:alpah\n<:bold %> <:zz")
    assert [(d["range"], d["severity"], d["message"]) for d in found] == [
        (span((0, 6), (0, 12)), 1, "unknown glyphloom entity: qqq"),
        (span((0, 13), (0, 20)), 1,
         "unknown glyphloom entity: alpah (did you mean \\:alpha or \\:Alpha?)"),
        (span((1, 0), (1, 9)), 2, "no bold form of %"),
        (span((1, 10), (1, 14)), 1, "unclosed <: at <:zz"),
    ]

    # The suggestions are quick fixes on the diagnostic.
    actions = client.request("textDocument/codeAction", {
        **document(uri), "range": found[1]["range"], "context": {"diagnostics": [found[1]]}})
    assert [(a["title"], a["kind"], a["edit"]["changes"][uri][0]["newText"]) for a in actions] \
        == [("Replace with \\:alpha", "quickfix", "\\:alpha"),
            ("Replace with \\:Alpha", "quickfix", "\\:Alpha")]

    client.notify("textDocument/didChange", {
        "textDocument": {"uri": uri, "version": 2},
        "contentChanges": [{"text": "𝐚 \\:alp ŋ \\:alpha <:bold \n"}]})
    assert [(d["range"], d["severity"]) for d in client.diagnostics(uri)] == [
        (span((0, 3), (0, 8)), 1), (span((0, 19), (0, 26)), 1)]

    # A short reference completes to names that fit one, ranked by the search.
    completion = client.request("textDocument/completion",
                                {**document(uri), "position": at(0, 8)})
    assert completion["isIncomplete"]
    first = completion["items"][0]
    assert (first["label"], first["textEdit"]) == (
        "alpha", {"range": span((0, 5), (0, 8)), "newText": "alpha"})
    assert "α" in first["detail"]

    # After a modifier, its operands, each with the character the tag gives.
    items = client.request("textDocument/completion",
                           {**document(uri), "position": at(0, 26)})["items"]
    bold_a = next(item for item in items if item["label"] == "a")
    assert bold_a["textEdit"] == {"range": span((0, 26), (0, 26)), "newText": "a>"}
    assert "𝐚" in bold_a["detail"]

    hover = client.request("textDocument/hover", {**document(uri), "position": at(0, 14)})
    assert hover["range"] == span((0, 11), (0, 18))
    shown = hover["contents"]["value"]
    assert "α" in shown and "U+03B1" in shown and "`greek-small-letter-alpha`" in shown

    # The pasted ŋ, before the cursor, is written by its name.
    actions = client.request("textDocument/codeAction", {
        **document(uri), "range": span((0, 10), (0, 10)), "context": {"diagnostics": []}})
    assert [(a["kind"], a["edit"]["changes"][uri]) for a in actions] == [
        ("refactor.rewrite", [{"range": span((0, 9), (0, 10)), "newText": "<:eng>"}])]


@pytest.mark.parametrize("text", [
    "ŋ <:greek>alpha ŋbeta<:> ❤\ufe0f 😀",
    "e\u0301 <:above 日 月> \\:alpha𝐚",
    "<:bold>a𝐚 b<:/bold>x\U000e0072 <:font han-japanese>日<:/font>日",
])
def test_writing_a_selection_as_markup_keeps_what_it_converts_to(client, text):
    """The rewrite leaves tags and the words of open blocks alone, where a tag put in would
    change what they give."""
    uri = f"file:///rewrite{abs(hash(text))}.glyphloom"
    client.open(uri, text)
    actions = client.request("textDocument/codeAction", {
        **document(uri), "range": span((0, 0), (0, 999)), "context": {"diagnostics": []}})
    assert len(actions) == 1
    units = text.encode("utf-16-le")
    for edit in sorted(actions[0]["edit"]["changes"][uri],
                       key=lambda e: e["range"]["start"]["character"], reverse=True):
        start, end = (2 * edit["range"][end]["character"] for end in ("start", "end"))
        units = units[:start] + edit["newText"].encode("utf-16-le") + units[end:]
    written = units.decode("utf-16-le")
    assert glyphloom.convert_with_warnings(written, "lenient")[0] == \
        glyphloom.convert_with_warnings(text, "lenient")[0]


@pytest.mark.parametrize("encodings, start", [
    (None, 6), (["utf-16"], 6), (["utf-8", "utf-16"], 10), (["utf-32"], 4)])
def test_positions_in_the_agreed_unit(encodings, start):
    client = Client(encodings)
    try:
        uri = "file:///units.glyphloom"
        found = client.open(uri, "𝐚 😀 <:qqq>")
        assert found[0]["range"] == span((0, start), (0, start + 6))
        hover = client.request("textDocument/hover", {**document(uri), "position": at(0, start)})
        assert hover["range"] == span((0, start), (0, start + 6))
    finally:
        assert client.close() == 0


@pytest.mark.parametrize("text, method, position", [
    ("\ud800 <:qqq> \\:", "textDocument/completion", at(0, 14)),
    ("\\:", "textDocument/completion", at(0, 2)),
    ("<:", "textDocument/completion", at(0, 1)),
    ("<:bold <:", "textDocument/completion", at(0, 9)),
    ("a\r\nb <:x", "textDocument/hover", at(1, 3)),
    ("𝐚", "textDocument/hover", at(0, 1)),
    ("abc", "textDocument/hover", at(40, 999)),
    ("<:glyphloom version=\"2\">x", "textDocument/hover", at(0, 3)),
    ("<:/font><:>", "textDocument/completion", at(0, 3)),
])
def test_odd_documents_and_positions_get_answers(client, text, method, position):
    uri = f"file:///odd{abs(hash((text, method)))}.glyphloom"
    client.open(uri, text)
    client.request(method, {**document(uri), "position": position})
    client.request("textDocument/codeAction", {
        **document(uri), "range": span((0, 0), (9, 0)), "context": {"diagnostics": []}})


def test_without_pygls_the_command_says_so(tmp_path):
    fake = tmp_path / "pygls"
    fake.mkdir()
    (fake / "__init__.py").write_text("raise ImportError('No module named pygls')\n")
    path = os.pathsep.join([str(tmp_path), os.environ.get("PYTHONPATH", "")])
    env = dict(os.environ, PYTHONPATH=path)
    result = subprocess.run([sys.executable, "-m", "glyphloom", "lsp"], capture_output=True,
                            text=True, env=env, timeout=TIMEOUT, stdin=subprocess.DEVNULL)
    assert result.returncode == 2
    assert "needs pygls" in result.stderr and "Traceback" not in result.stderr
