"""Times the WebAssembly core in headless Chromium against the Python package on this machine.

Run after `make web` and `make build`: PYTHONPATH=build/python:python .venv/bin/python web/bench.py
The page is loaded without a virtual time budget (under one its clock stands still) and posts
its figures back to the local server: time to the first conversion after navigation (header,
base and the tour's chunks fetched from 127.0.0.1), the tour's conversion time with its chunks
loaded, and the throughput of the tour repeated to about 1 MB.
"""

import http.server
import json
import shutil
import subprocess
import sys
import tempfile
import threading
import time
from functools import partial
from pathlib import Path

import glyphloom

ROOT = Path(__file__).resolve().parents[1]
DIST = ROOT / "web" / "dist"
TOUR = (ROOT / "examples" / "tour.glyphloom").read_text(encoding="utf-8")
REPEAT = 1000  # the tour about a thousand times: 1 MB
reported = {}
done = threading.Event()


class Handler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        extra = {"/harness.html": (ROOT / "tests" / "web" / "harness.html").read_bytes(),
                 "/tour.json": json.dumps([TOUR]).encode()}
        path = self.path.split("?")[0]
        if path in extra:
            self.send_response(200)
            self.send_header("Content-Length", str(len(extra[path])))
            self.end_headers()
            self.wfile.write(extra[path])
        else:
            super().do_GET()

    def do_POST(self):
        reported.update(json.loads(self.rfile.read(int(self.headers["Content-Length"]))))
        self.send_response(204)
        self.end_headers()
        done.set()

    def guess_type(self, path):
        return "application/wasm" if str(path).endswith(".wasm") else super().guess_type(path)

    def log_message(self, *args):
        pass


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), partial(Handler, directory=str(DIST)))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    port = server.server_address[1]
    url = (f"http://127.0.0.1:{port}/harness.html?sources=tour.json&bench=200&repeat={REPEAT}"
           f"&report=/report")
    with tempfile.TemporaryDirectory() as profile:
        browser = subprocess.Popen(
            [shutil.which("chromium"), "--headless", "--no-sandbox", "--disable-gpu",
             f"--user-data-dir={profile}", url],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            if not done.wait(120):
                sys.exit("the page reported nothing in 120 s")
        finally:
            browser.terminate()
            browser.wait()
    server.shutdown()

    large = TOUR * REPEAT
    glyphloom.convert_with_warnings(large, mode="lenient")
    start = time.perf_counter()
    for _ in range(3):
        glyphloom.convert_with_warnings(large, mode="lenient")
    python_mbps = len(large.encode()) / 1e6 / ((time.perf_counter() - start) / 3)
    start = time.perf_counter()
    for _ in range(200):
        glyphloom.convert_with_warnings(TOUR, mode="lenient")
    python_tour_ms = (time.perf_counter() - start) / 200 * 1000
    whole = (ROOT / "web" / "build" / "default_image.glx").stat().st_size
    print(f"first conversion after navigation: {reported['firstConversionMs']:.1f} ms "
          f"({reported['loadMs']:.1f} ms to load the core, header and base chunk)")
    print(f"tour fetched {reported['bytes']} bytes in {len(reported['requests'])} requests, "
          f"{100 * reported['bytes'] / whole:.1f} % of the {whole}-byte image")
    print(f"tour conversion: {reported['firstSourceMs']:.3f} ms in the browser, "
          f"{python_tour_ms:.3f} ms in Python")
    print(f"{reported['largeBytes'] / 1e6:.1f} MB document: {reported['largeMBps']:.1f} MB/s in the "
          f"browser, {python_mbps:.1f} MB/s in Python")


if __name__ == "__main__":
    main()
