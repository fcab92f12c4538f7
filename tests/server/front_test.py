#!/usr/bin/env python3
"""vorbel-server's TCP side on the loopback, one row per rule: the page's files with
their types and compression, nothing outside the folder, and WebSockets only from the
server's own origin, whose messages reach the same rules as datagrams.

Usage: front_test.py <vorbel-server binary>
"""
import base64
import gzip
import os
import socket
import subprocess
import sys
import tempfile
import time

failures = 0


def expect(ok, what):
    global failures
    failures += 0 if ok else 1
    print(("ok   " if ok else "FAIL ") + what, flush=True)


def free_port():
    for _ in range(50):
        u, t = socket.socket(socket.AF_INET, socket.SOCK_DGRAM), socket.socket()
        try:
            u.bind(("127.0.0.1", 0))
            port = u.getsockname()[1]
            t.bind(("127.0.0.1", port))
            return port
        except OSError:
            continue
        finally:
            u.close()
            t.close()
    raise RuntimeError("no free port")


def request(port, head):
    """The raw answer to one request (headers and what came with them)."""
    s = socket.create_connection(("127.0.0.1", port), timeout=5)
    s.sendall(head.encode())
    data = b""
    try:
        while b"\r\n\r\n" not in data or (b"101 " not in data[:20] and len(data) < 200000):
            chunk = s.recv(65536)
            if not chunk:
                break
            data += chunk
            if b"101 " in data[:20] and b"\r\n\r\n" in data:
                break
    except socket.timeout:
        pass
    return s, data


def headers_of(data):
    head, _, body = data.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    fields = {k.strip().lower(): v.strip() for k, _, v in (line.partition(":") for line in lines[1:])}
    return (lines[0].split(" ")[1] if lines and " " in lines[0] else ""), fields, body


def get(port, path, gzip_ok):
    s, data = request(port, "GET %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n%sConnection: close\r\n\r\n"
                      % (path, port, "Accept-Encoding: gzip, deflate\r\n" if gzip_ok else ""))
    s.close()
    return headers_of(data)


def upgrade(port, origin):
    key = base64.b64encode(os.urandom(16)).decode()
    extra = "Origin: %s\r\n" % origin if origin else ""
    s, data = request(port, "GET / HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                            "Sec-WebSocket-Key: %s\r\nSec-WebSocket-Version: 13\r\nSec-WebSocket-Protocol: vorbel\r\n"
                            "%s\r\n" % (port, key, extra))
    return s, headers_of(data)[0]


def ws_send(s, payload):
    mask = os.urandom(4)
    s.sendall(bytes([0x82, 0x80 | len(payload)]) + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(payload)))


def ws_receive(s):
    s.settimeout(5)
    head = s.recv(2)
    n = head[1] & 0x7F
    body = b""
    while len(body) < n:
        body += s.recv(n - len(body))
    return head[0], body


def main():
    server = sys.argv[1]
    web = tempfile.mkdtemp(prefix="vorbel-front-")
    wasm = bytes(range(256)) * 40
    with open(os.path.join(web, "index.html"), "w") as f:
        f.write("<html>vorbel</html>")
    with open(os.path.join(web, "vorbel.wasm"), "wb") as f:
        f.write(wasm)
    with gzip.open(os.path.join(web, "vorbel.wasm.gz"), "wb") as f:
        f.write(wasm)
    with open(os.path.join(web, "vorbel.data"), "wb") as f:
        f.write(b"\0" * 100)
    with open(os.path.join(os.path.dirname(web), "outside.txt"), "w") as f:
        f.write("not served")

    port = free_port()
    proc = subprocess.Popen([server, "--port", str(port), "--bind", "127.0.0.1", "--web", web],
                            stdout=subprocess.PIPE, text=True)
    first = proc.stdout.readline()
    expect("listening on UDP port %d and TCP port %d of 127.0.0.1" % (port, port) in first, "started: " + first.strip())
    try:
        # path, takes gzip -> status, type, encoding, body
        rows = [
            ("/", False, "200", "text/html", None, b"<html>vorbel</html>"),
            ("/vorbel.wasm", True, "200", "application/wasm", "gzip", None),
            ("/vorbel.wasm", False, "200", "application/wasm", None, wasm),
            ("/vorbel.data", True, "200", "application/octet-stream", None, b"\0" * 100),
            ("/../outside.txt", False, "404", None, None, None),
            ("/%2e%2e/outside.txt", False, "404", None, None, None),
            ("/missing.js", False, "404", None, None, None),
        ]
        for path, gz, status, ctype, encoding, body in rows:
            got_status, fields, got_body = get(port, path, gz)
            ok = got_status == status and (ctype is None or fields.get("content-type") == ctype)
            ok = ok and fields.get("content-encoding") == encoding
            if encoding == "gzip":
                ok = ok and gzip.decompress(got_body) == wasm
            elif body is not None:
                ok = ok and got_body == body
            expect(ok, "GET %s%s: %s %s %s" % (path, " (gzip)" if gz else "", got_status,
                                                fields.get("content-type"), fields.get("content-encoding")))

        # origin -> upgraded
        for origin, wanted in (("http://127.0.0.1:%d" % port, True), ("http://evil.example", False),
                               ("http://evil.example", False), ("http://127.0.0.1:%d.evil.example" % port, False),
                               (None, False)):
            s, status = upgrade(port, origin)
            expect((status == "101") == wanted, "a WebSocket from origin %s: %s" % (origin, status or "closed"))
            if status == "101":
                # A room request without a token: the rules answer with a challenge.
                ws_send(s, b"\xff\xffVM\x01" + b"\0" * 8 + b"\0\x01\0")
                op, reply = ws_receive(s)
                expect(op == 0x82 and reply[:5] == b"\xff\xffVM\x0a", "its first message is answered with a challenge")
            s.close()
        time.sleep(0.5)
    finally:
        proc.terminate()
        rest, _ = proc.communicate(timeout=10)
    expect(rest.count("refused a page from origin \"http://evil.example\"") == 1, "the foreign origin is logged once")
    expect("page connected" in rest and "left" in rest, "a page's coming and going are logged")
    expect(proc.returncode == 0, "SIGTERM stops it cleanly")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
