#!/usr/bin/env python3
"""The Debian package as a player's machine sees it, without installing it: unpacked
with dpkg-deb -x into scratch folders and run through its own launcher.

    package_test.py contents|launcher|play|server --deb-dir DIR --version V --source DIR --artifacts DIR
"""

import argparse
import glob
import gzip
import os
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import vorbel_e2e as e2e  # noqa: E402
from vorbel_e2e import Failure, expect  # noqa: E402

LAUNCHER = "usr/games/vorbel"
GAME = "usr/lib/games/vorbel/vorbel"
ASSETS = "usr/share/games/vorbel/assets"


def run(cmd, **kw):
    return subprocess.run(cmd, capture_output=True, text=True, **kw)


def extract(args, into):
    debs = glob.glob(os.path.join(args.deb_dir, "vorbel_*.deb"))
    want = os.path.join(args.deb_dir, "vorbel_%s_amd64.deb" % args.version)
    expect(debs == [want], "expected exactly %s, found %s" % (want, debs))
    r = run(["dpkg-deb", "-x", want, into])
    expect(r.returncode == 0, "dpkg-deb -x failed: %s" % r.stderr)
    return want


# ------------------------------------------------------------------ contents

def case_contents(args, scratch):
    deb = extract(args, scratch)
    at = lambda rel: os.path.join(scratch, rel)  # noqa: E731
    expect(os.access(at(LAUNCHER), os.X_OK) and os.access(at(GAME), os.X_OK), "launcher or game not executable")
    # Every file of the game's assets, font included, byte for byte.
    source = os.path.join(args.source, "assets")
    for root, _, files in os.walk(source):
        for name in files:
            rel = os.path.relpath(os.path.join(root, name), source)
            with open(os.path.join(root, name), "rb") as a, open(os.path.join(at(ASSETS), rel), "rb") as b:
                expect(a.read() == b.read(), "%s is not installed as it is in assets/" % rel)
    for size in (48, 128, 256):
        with open(at("usr/share/icons/hicolor/%dx%d/apps/vorbel.png" % (size, size)), "rb") as f:
            expect(struct.unpack(">II", f.read(24)[16:24]) == (size, size), "the %d px icon has another size" % size)
    r = run(["readelf", "-d", at(GAME)])
    expect("NEEDED" in r.stdout and "RPATH" not in r.stdout and "RUNPATH" not in r.stdout, "run path: %s" % r.stdout)
    with open(at("usr/share/applications/vorbel.desktop")) as f:
        expect("\nCategories=Game;ArcadeGame;\n" in f.read(), "the desktop entry's categories are wrong")
    with gzip.open(at("usr/share/man/man6/vorbel.6.gz"), "rt") as f:
        page = f.read()
    expect(all(w in page for w in (r"\-\-port", r"\-\-input\-delay", args.version)), "the man page is short")
    with open(at("usr/share/doc/vorbel/copyright")) as f:
        expect("SIL OPEN FONT LICENSE" in f.read(), "the copyright file lacks the font's licence")
    info = run(["dpkg-deb", "-f", deb, "Version", "Depends"]).stdout
    expect("Version: %s\n" % args.version in info and "libsdl2" in info, "control fields: %s" % info)
    # The metainfo's id is the desktop entry's name, which AppStream would rather see reverse-DNS.
    for cmd in (["desktop-file-validate", at("usr/share/applications/vorbel.desktop")],
                ["appstreamcli", "validate", "--no-net", "--override=cid-desktopapp-is-not-rdns=info",
                 at("usr/share/metainfo/vorbel.metainfo.xml")],
                ["man", "--warnings", "-l", "-Tutf8", "-Z", at("usr/share/man/man6/vorbel.6.gz")]):
        r = run(cmd, env=dict(os.environ, LC_ALL="C.UTF-8"))
        expect(r.returncode == 0 and "warning" not in r.stderr.lower(), "%s: %s%s" % (cmd[0], r.stdout, r.stderr))
    r = run(["lintian", "--info", deb])
    print("lintian:\n" + r.stdout + r.stderr)
    expect(r.returncode != 1 and "\nE: " not in "\n" + r.stdout, "lintian finds errors")


# ------------------------------------------------------------------ launcher

# What is at the player's folder's `assets` beforehand, extra environment, arguments,
# exit code, and the words of the launcher's one line on stderr (None: it says
# nothing). The game refuses --port 0 with exit code 2, which shows it was reached.
LAUNCHER_ROWS = [
    ("fresh home", None, {}, ["--port", "0"], 2, None),
    ("home is a file, not a folder", None, {"HOME": "{s}/file"}, ["--port", "0"], 1, "cannot make the folder"),
    ("argument with a space", None, {}, ["--port", "12 34"], 2, None),
    ("assets is the player's folder", "folder", {}, ["--port", "0"], 2, "is a folder, not a link"),
    ("assets is a file", "file", {}, ["--port", "0"], 1, "is in the way"),
    ("link of an older install", "old link", {}, ["--port", "0"], 2, None),
    ("relative XDG_DATA_HOME", None, {"XDG_DATA_HOME": "data"}, ["--port", "0"], 2, None),
    ("XDG_DATA_HOME is a file", None, {"XDG_DATA_HOME": "{s}/file"}, ["--port", "0"], 1, "XDG_DATA_HOME is {s}/file"),
    ("XDG_DATA_HOME under a file", None, {"XDG_DATA_HOME": "{s}/file/data"}, ["--port", "0"], 1,
     "is XDG_DATA_HOME, {s}/file/data, a writable folder"),
    ("no installed game", None, {"VORBEL_PREFIX": "{s}/nowhere"}, [], 1, "no installed game at"),
]
SETTINGS = b"vsync=false\r\nan odd line, kept as it is\n"


def case_launcher(args, scratch):
    failures = []
    for what, before, extra, argv, code, words in LAUNCHER_ROWS:
        s = tempfile.mkdtemp(dir=scratch)
        extract(args, os.path.join(s, "root"))
        player = os.path.join(s, "home", ".local", "share", "vorbel")
        os.makedirs(player)
        open(os.path.join(s, "file"), "w").close()
        with open(os.path.join(player, "settings.cfg"), "wb") as f:
            f.write(SETTINGS)
        link = os.path.join(player, "assets")
        if before == "folder":
            os.makedirs(os.path.join(link, "mine"))
        elif before == "file":
            open(link, "w").close()
        elif before == "old link":
            os.symlink("/nonexistent/share/games/vorbel/assets", link)
        env = {"PATH": os.environ["PATH"], "HOME": os.path.join(s, "home"), "VORBEL_PREFIX": os.path.join(s, "root/usr")}
        env.update({k: v.format(s=s) for k, v in extra.items()})
        r = run([os.path.join(s, "root", LAUNCHER)] + argv, env=env, cwd=s)
        own = [line for line in r.stderr.splitlines() if "--port" not in line and not line.startswith("usage:")]
        try:
            expect(r.returncode == code, "exit code %d, not %d" % (r.returncode, code))
            # The game's own word on the port: the argument arrived whole.
            expect(code != 2 or "--port takes a number" in r.stderr, "the game did not get --port N")
            if words is not None:
                words = words.format(s=s)
            expect(own == [] if words is None else len(own) == 1 and words in own[0], "not one line with %r" % words)
            with open(os.path.join(player, "settings.cfg"), "rb") as f:
                expect(f.read() == SETTINGS, "settings.cfg was touched")
            if before in ("folder", "file"):
                expect(os.path.exists(os.path.join(link, "mine")) == (before == "folder") and not os.path.islink(link),
                       "the player's own assets entry was touched")
            elif code == 2:
                expect(os.readlink(link) == os.path.join(s, "root", ASSETS), "the link points elsewhere")
        except (Failure, OSError) as e:
            failures.append("%s: %s\n  stderr: %s" % (what, e, r.stderr.strip()))
    expect(not failures, "\n".join(failures))


# ------------------------------------------------------------------ play

def case_play(args, scratch):
    root = os.path.join(scratch, "root")
    extract(args, root)
    game_args = argparse.Namespace(binary=os.path.join(root, LAUNCHER), assets=os.path.join(root, ASSETS),
                                   artifacts=args.artifacts)
    display = e2e.Display(os.path.join(scratch, "xvfb.log"))
    g = e2e.Game("package_play", game_args, settings=None, display=display,
                 env={"HOME": os.path.join(scratch, "home"), "XDG_DATA_HOME": os.path.join(scratch, "data"),
                      "VORBEL_PREFIX": os.path.join(root, "usr")})
    g.player_dir = os.path.join(scratch, "data", "vorbel")
    try:
        for i, where in enumerate(("first", "elsewhere")):
            g.cwd = os.path.join(scratch, where)
            os.makedirs(g.cwd)
            before = g.settings_stamp()
            g.start()
            first = g.log_text().splitlines()[0]
            expect(first == "INFO: vorbel %s" % args.version, "the log begins with %r" % first)
            expect(g.settings_stamp() == before, "start-up wrote settings.cfg")
            g.open_page(350, "SETTINGS", g.title_settings_page, "the settings page")
            if i == 0:
                # A new player: no settings.cfg until a setting changes.
                expect(before is None, "settings.cfg exists before the first start")
                g.click_box("MUSIC")
                g.wait(lambda: g.settings_stamp() and b"enable_music=false\r\n" in g.read_settings(),
                       "MUSIC off in the player's settings.cfg")
            else:
                # The saved choice was read back: the same click now turns MUSIC on.
                g.toggle_box("MUSIC", b"enable_music=false\r\n", b"enable_music=true\r\n")
            g.click_button(e2e.BACK_TOP, "BACK")
            g.wait_title()
            g.exit_from_title()
            g.log.close()
            found = [os.path.join(d, "settings.cfg") for top in (scratch, g.dir) for d, _, files in os.walk(top)
                     if "settings.cfg" in files]
            expect(found == [g.settings_path], "settings.cfg written at %s" % found)
    except Failure:
        g.fail_report()
        raise
    finally:
        g.stop()
        display.stop()


# ------------------------------------------------------------------ server


def case_server(args, scratch):
    """The vorbel-server package: the program answers, its unit runs it as a user of
    its own in a sandbox, its man page reads cleanly, and lintian finds no error."""
    deb = os.path.join(args.deb_dir, "vorbel-server_%s_amd64.deb" % args.version)
    expect(os.path.exists(deb), "no %s" % deb)
    expect(run(["dpkg-deb", "-x", deb, scratch]).returncode == 0, "dpkg-deb -x failed")
    at = lambda rel: os.path.join(scratch, rel)  # noqa: E731
    server = at("usr/sbin/vorbel-server")
    r = run([server, "--help"])
    expect(r.returncode == 0 and "--max-rooms" in r.stdout, "--help: %s%s" % (r.stdout, r.stderr))
    r = run([server, "--max-rooms", "0"])
    expect(r.returncode == 2 and "--max-rooms" in r.stderr, "a bad --max-rooms: %s" % r.stderr)
    # Started, it says where it listens; SIGTERM stops it cleanly with a last line.
    p = subprocess.Popen([server, "--port", str(e2e.free_udp_port())], stdout=subprocess.PIPE, text=True)
    first = p.stdout.readline()
    p.terminate()
    rest, _ = p.communicate(timeout=10)
    expect("listening on UDP port" in first and p.returncode == 0 and "stopping" in rest,
           "start and SIGTERM: %r %r, status %s" % (first, rest, p.returncode))
    with open(at("usr/lib/systemd/system/vorbel-server.service")) as f:
        unit = f.read()
    for line in ("ExecStart=/usr/sbin/vorbel-server", "DynamicUser=yes", "ProtectSystem=strict",
                 "CapabilityBoundingSet=\n", "RestrictAddressFamilies=AF_INET", "SystemCallFilter=@system-service"):
        expect(line in unit, "the unit lacks %s" % line.strip())
    if shutil.which("systemd-analyze"):
        r = run(["systemd-analyze", "verify", "--man=no", at("usr/lib/systemd/system/vorbel-server.service")])
        problems = [x for x in (r.stdout + r.stderr).splitlines() if "is not executable" not in x and x.strip()]
        expect(not problems, "systemd-analyze: %s" % problems)
    r = run(["man", "--warnings", "-l", "-Tutf8", "-Z", at("usr/share/man/man8/vorbel-server.8.gz")],
            env=dict(os.environ, LC_ALL="C.UTF-8"))
    expect(r.returncode == 0 and "warning" not in r.stderr.lower(), "man: %s" % r.stderr)
    info = run(["dpkg-deb", "-f", deb, "Version", "Depends", "Section"]).stdout
    expect("libenet" in info and "libsdl2" not in info and "Section: net" in info, "control fields: %s" % info)
    r = run(["lintian", "--info", deb])
    print("lintian:\n" + r.stdout + r.stderr)
    expect(r.returncode != 1 and "\nE: " not in "\n" + r.stdout, "lintian finds errors")


CASES = {"contents": case_contents, "launcher": case_launcher, "play": case_play, "server": case_server}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("case", choices=sorted(CASES))
    parser.add_argument("--deb-dir", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--artifacts", required=True)
    args = parser.parse_args()
    scratch = tempfile.mkdtemp(prefix="vorbel-package-%s-" % args.case)
    try:
        CASES[args.case](args, scratch)
    except Failure as e:
        print("FAIL %s: %s" % (args.case, e))
        return 1
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print("ok %s" % args.case)
    return 0


if __name__ == "__main__":
    sys.exit(main())
