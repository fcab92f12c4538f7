#!/usr/bin/env python3
"""Online matches with pages, on the loopback through a real vorbel-server --web.

  host-desktop: a page hosts, the desktop Release binary (under Xvfb) joins with the
                room code typed into its JOIN box; both play to game over.
  two-pages:    a page hosts and another page joins with the code.

Each side logs "game over at frame F: <winner> (relayed, N ms)"; both must name the
same winner and show the relayed path.

Usage: online_test.py CASE --web DIR --binary PATH --assets DIR --artifacts DIR
"""
import argparse
import os
import re
import shutil
import socket
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import vorbel_e2e as e2e  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
OVER = re.compile(r"game over at frame (\d+): (.+?) \((relayed, \d+ ms|direct, \d+ ms)\)")


def free_port():
    """A port free for both UDP and TCP on the loopback."""
    for _ in range(50):
        port = e2e.free_udp_port()
        t = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        try:
            t.bind(("127.0.0.1", port))
            return port
        except OSError:
            continue
        finally:
            t.close()
    raise e2e.Failure("no free port")


class Page:
    """One page in its own chromium (online_page.js), its lines read as they come."""

    def __init__(self, url, out, role, code=None):
        argv = ["node", os.path.join(HERE, "online_page.js"), url, out, role] + ([code] if code else [])
        self.proc = subprocess.Popen(argv, cwd=HERE, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.lines = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            self.lines.append(line.rstrip("\n"))
            print("page: " + line.rstrip("\n"), flush=True)

    def wait(self, prefix, timeout):
        until = time.monotonic() + timeout
        while time.monotonic() < until:
            for line in self.lines:
                if line.startswith(prefix):
                    return line[len(prefix):].strip()
                if line.startswith("FAIL"):
                    raise e2e.Failure("the page: " + line)
            if self.proc.poll() is not None and not any(l.startswith(prefix) for l in self.lines):
                raise e2e.Failure("the page's driver ended without %r" % prefix)
            time.sleep(0.2)
        raise e2e.Failure("no %r from the page in %d s" % (prefix, timeout))

    def give_code(self, code):
        self.proc.stdin.write(code + "\n")
        self.proc.stdin.flush()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()


def over_of(text, who):
    m = OVER.search(text)
    if m is None:
        raise e2e.Failure("no game-over line from %s" % who)
    return m.group(2), m.group(3)


def desktop_to_join_page(args, port):
    g = e2e.Game("online_page_host", args, options=["--server", "127.0.0.1:%d" % port])
    g.start()
    g.open_page(250, "PLAY", g.play_page, "the play page")
    g.open_page(350, "ONLINE", lambda s: g.buttons_shown(s) == [250, 350, 450], "the online page")
    g.click_button(350, "JOIN")
    return g


def desktop_joins(g, code):
    # The box takes the typing once pressed, as a player would click it.
    g.move_to(400, 287)
    g.xdo("mousedown", 1)
    time.sleep(0.3)
    g.xdo("mouseup", 1)
    g.take_focus()
    g.xdo("type", "--delay", "120", code)
    time.sleep(1.0)
    g.xdo("key", "Return")
    print("desktop: typed the room code %s into JOIN's box and pressed Enter" % code, flush=True)
    return g


def wait_log(g, pattern, timeout):
    until = time.monotonic() + timeout
    while time.monotonic() < until:
        if re.search(pattern, g.log_text()):
            return
        g.check_alive()
        time.sleep(0.3)
    raise e2e.Failure("no %r in the desktop game's log" % pattern)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("case", choices=["host-desktop", "two-pages"])
    parser.add_argument("--web", required=True)
    parser.add_argument("--binary", required=True)
    parser.add_argument("--assets", required=True)
    parser.add_argument("--artifacts", required=True)
    args = parser.parse_args()
    args.binary = os.path.abspath(args.binary)
    out = os.path.join(args.artifacts, "web-online-" + args.case)
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)

    port = free_port()
    server_log = open(os.path.join(out, "server.log"), "w")
    server = subprocess.Popen([os.path.join(os.path.dirname(args.binary), "vorbel-server"), "--port", str(port),
                               "--bind", "127.0.0.1", "--web", os.path.abspath(args.web)],
                              stdout=server_log, stderr=subprocess.STDOUT)
    url = "http://127.0.0.1:%d/" % port
    started = time.monotonic()
    pages, game, failed = [], None, False
    try:
        time.sleep(0.5)
        host = Page(url, out, "host")
        pages.append(host)
        # The other side gets ready meanwhile, up to its JOIN page.
        if args.case == "host-desktop":
            game = desktop_to_join_page(args, port)
        else:
            joiner = Page(url, out, "join")
            pages.append(joiner)
        code = host.wait("CODE", 240)
        print("the page's room code: %s" % code, flush=True)
        if args.case == "host-desktop":
            desktop_joins(game, code)
            wait_log(game, r"the match begins", 60)
            # Player 2 here: Space is held until its own prompt changes to the lives line.
            game.park_mouse()
            # The page's player 1 may have joined already, leaving line 0 empty.
            s = game.wait_shot(lambda s: not game.buttons_shown(s) and game.hud_line(s, 1) > 0,
                               "the online match screen")
            prompt = game.hud_line(s, 1)
            game.key_until("space", lambda s: 0 < game.hud_line(s, 1) != prompt, "Space to join")
            over_page = host.wait("OVER", 300)
            wait_log(game, OVER.pattern, 30)
            theirs = over_of(game.log_text(), "the desktop game")
        else:
            joiner.give_code(code)
            over_page = host.wait("OVER", 300)
            theirs = over_of(joiner.wait("OVER", 30), "the joining page")
        ours = over_of(over_page, "the hosting page")
        print("hosting page: %s (%s); other side: %s (%s)" % (ours + theirs), flush=True)
        if ours[0] != theirs[0]:
            raise e2e.Failure("the two sides disagree on the winner")
        if not (ours[1].startswith("relayed") and theirs[1].startswith("relayed")):
            raise e2e.Failure("a page's match went some other way than the relay")
        print("ok   both sides agree: %s, in %.0f s" % (ours[0], time.monotonic() - started), flush=True)
    except e2e.Failure as e:
        print("FAIL %s" % e, flush=True)
        failed = True
        if game is not None:
            game.fail_report()
    finally:
        for p in pages:
            p.stop()
        if game is not None:
            game.stop()
        server.terminate()
        server.wait(10)
        server_log.close()
    if not failed:
        shutil.rmtree(out, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
