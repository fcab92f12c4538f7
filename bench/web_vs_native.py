#!/usr/bin/env python3
"""Frames per second of the browser build (headless chromium on SwiftShader) and of
the desktop build (Xvfb, Mesa's llvmpipe) on one machine, side by side: the title and
a BOT match, the ratio web/native, the page's download size and its time from
navigation to the first drawn frame.

    bench/web_vs_native.py [seconds per measurement]

Needs ./web.sh --build and the Release build (build/release/vorbel).
"""
import functools
import http.server
import json
import os
import subprocess
import sys
import tempfile
import threading
import time

root = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
sys.path.insert(0, os.path.join(root, "tests", "e2e"))
import vorbel_e2e as e2e  # noqa: E402


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def web(seconds, folder=None):
    handler = functools.partial(QuietHandler, directory=folder or os.path.join(root, "build", "web"))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    url = "http://127.0.0.1:%d/index.html" % server.server_address[1]
    out = subprocess.run(["node", os.path.join(root, "bench", "web_fps.js"), url, str(seconds)],
                         capture_output=True, text=True, check=True).stdout
    server.shutdown()
    return json.loads(out.strip().splitlines()[-1])


def native(seconds, scratch, binary=None, settings=e2e.DEFAULT_SETTINGS):
    probe = os.path.join(scratch, "frame_rate_probe.so")
    subprocess.run(["cc", "-shared", "-fPIC", "-O2", "-o", probe, os.path.join(root, "bench", "frame_rate_probe.c"),
                    "-ldl"], check=True)
    counts = os.path.join(scratch, "frames")

    class Args:
        assets = os.path.join(root, "assets")
        artifacts = scratch

    Args.binary = binary or os.path.join(root, "build", "release", "vorbel")
    g = e2e.Game("bench", Args(), settings=settings, env={"LD_PRELOAD": probe, "VORBEL_PROBE_FILE": counts})

    def rate():
        def read():
            # The probe rewrites the file at each swap: a read may find it half written.
            for _ in range(100):
                with open(counts) as f:
                    fields = f.read().split()
                if len(fields) == 2:
                    return int(fields[0]), int(fields[1])
                time.sleep(0.001)
            raise RuntimeError("the frame counter file stays unreadable")
        n0, t0 = read()
        time.sleep(seconds)
        n1, t1 = read()
        return (n1 - n0) / ((t1 - t0) / 1e9)

    try:
        g.start()
        time.sleep(3)
        title = rate()
        g.start_bot_match()
        g.join()
        g.xdo("keydown", "d")
        match = rate()
        g.xdo("keyup", "d")
    finally:
        g.stop()
    return {"title_fps": title, "match_fps": match}


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 10.0
    with tempfile.TemporaryDirectory(prefix="vorbel-web-bench-") as scratch:
        n = native(seconds, scratch)
    w = web(seconds)
    print("%-12s %10s %10s %8s" % ("", "web fps", "native fps", "ratio"))
    for key, name in (("title_fps", "title"), ("match_fps", "BOT match")):
        print("%-12s %10.1f %10.1f %8.2f" % (name, w[key], n[key], w[key] / n[key] if n[key] else 0.0))
    # What a first visit downloads: the four files the server hands out.
    size = sum(os.path.getsize(os.path.join(root, "build", "web", f))
               for f in ("index.html", "vorbel.js", "vorbel.wasm", "vorbel.data"))
    print("page download: %.2f MB (%d bytes)" % (size / 1e6, size))
    print("navigation to first drawn frame: %.0f ms" % w["first_frame_ms"])


if __name__ == "__main__":
    main()
