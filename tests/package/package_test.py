#!/usr/bin/env python3
"""The Debian package as a player's machine sees it, without installing it: taken
apart with dpkg-deb -x into a scratch root and run through its own launcher.

    package_test.py contents|launcher|play --deb-dir DIR --version V --source DIR --artifacts DIR

contents  the files are in place, the binary has no RUNPATH, the desktop entry, the
          metainfo and the man page pass their checkers, lintian finds no error
launcher  the launcher's table of awkward homes and arguments
play      under Xvfb: the title shows, a settings change lands in the player's folder
          and nowhere else, and a second start from another folder keeps it
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

LAUNCHER = "usr/games/vorbel"
GAME = "usr/lib/games/vorbel/vorbel"
ASSETS = "usr/share/games/vorbel/assets"


class Failure(Exception):
    pass


def expect(cond, message):
    if not cond:
        raise Failure(message)


def run(cmd, **kw):
    return subprocess.run(cmd, capture_output=True, text=True, **kw)


def extract(args, into):
    debs = glob.glob(os.path.join(args.deb_dir, "vorbel_*.deb"))
    want = os.path.join(args.deb_dir, "vorbel_%s_amd64.deb" % args.version)
    expect(debs == [want], "expected exactly %s, found %s" % (want, debs))
    r = run(["dpkg-deb", "-x", want, into])
    expect(r.returncode == 0, "dpkg-deb -x failed: %s" % r.stderr)
    return want


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    expect(head[:8] == b"\x89PNG\r\n\x1a\n", "%s is not a PNG" % path)
    return struct.unpack(">II", head[16:24])


# ------------------------------------------------------------------ contents

def case_contents(args, scratch):
    deb = extract(args, scratch)
    at = lambda rel: os.path.join(scratch, rel)  # noqa: E731
    for rel in (LAUNCHER, GAME):
        expect(os.access(at(rel), os.X_OK), "%s is missing or not executable" % rel)
    # Every file of the game's assets, font included, byte for byte; not the icons.
    source = os.path.join(args.source, "assets")
    for root, _, files in os.walk(source):
        for name in files:
            rel = os.path.relpath(os.path.join(root, name), source)
            installed = os.path.join(at(ASSETS), rel)
            if rel.startswith("icons" + os.sep):
                expect(not os.path.exists(installed), "%s is installed with the game's assets" % rel)
                continue
            with open(os.path.join(root, name), "rb") as a, open(installed, "rb") as b:
                expect(a.read() == b.read(), "%s differs from assets/%s" % (installed, rel))
    for size in (48, 128, 256):
        icon = at("usr/share/icons/hicolor/%dx%d/apps/vorbel.png" % (size, size))
        expect(png_size(icon) == (size, size), "%s is not %d px square" % (icon, size))

    r = run(["readelf", "-d", at(GAME)])
    expect(r.returncode == 0 and "NEEDED" in r.stdout, "readelf could not read the game: %s" % r.stderr)
    expect("RPATH" not in r.stdout and "RUNPATH" not in r.stdout, "the game has a run path:\n%s" % r.stdout)

    desktop = at("usr/share/applications/vorbel.desktop")
    with open(desktop) as f:
        entry = dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
    expect({"Game", "ArcadeGame"} <= set(entry.get("Categories", "").split(";")), "categories: %r" % entry)
    expect(entry.get("Exec") == "vorbel" and entry.get("Icon") == "vorbel", "Exec or Icon wrong: %r" % entry)
    metainfo = at("usr/share/metainfo/vorbel.metainfo.xml")
    man = at("usr/share/man/man6/vorbel.6.gz")
    with gzip.open(man, "rt") as f:
        page = f.read()
    for option in (r"\-\-port", r"\-\-input\-delay", args.version):
        expect(option in page, "the man page does not mention %s" % option)
    with gzip.open(at("usr/share/doc/vorbel/changelog.gz"), "rt") as f:
        expect(f.readline().startswith("vorbel (%s)" % args.version), "the changelog's entry is not this version")
    with open(at("usr/share/doc/vorbel/copyright")) as f:
        copyright = f.read()
    expect("License: OFL-1.1" in copyright and "SIL OPEN FONT LICENSE" in copyright,
           "the copyright file lacks the font's licence")

    info = run(["dpkg-deb", "-f", deb, "Version", "Depends", "Maintainer"]).stdout
    expect("Version: %s\n" % args.version in info, "control fields: %s" % info)
    expect("libsdl2" in info and "libenet" in info, "Depends lacks what dpkg-shlibdeps finds: %s" % info)

    # The checkers, each with what it says on failure. The metainfo's id is the
    # desktop entry's name, vorbel, which AppStream would rather see reverse-DNS.
    checks = [
        ["desktop-file-validate", desktop],
        ["appstreamcli", "validate", "--no-net", "--override=cid-desktopapp-is-not-rdns=info", metainfo],
        ["man", "--warnings", "-l", "-Tutf8", "-Z", man],
    ]
    for cmd in checks:
        r = run(cmd, env=dict(os.environ, LC_ALL="C.UTF-8"))
        expect(r.returncode == 0 and "warning" not in r.stderr.lower(),
               "%s says:\n%s%s" % (cmd[0], r.stdout, r.stderr))
    r = run(["lintian", "--info", deb])
    print("lintian:\n" + r.stdout + r.stderr)
    errors = [line for line in r.stdout.splitlines() if line.startswith("E:")]
    expect(r.returncode in (0, 2) and not errors, "lintian finds errors:\n%s" % "\n".join(errors or [r.stderr]))


# ------------------------------------------------------------------ launcher

def launcher_rows():
    """(what, prepare(scratch) -> (env, args), exit code, words of its one stderr
    line or None when the game is reached, check(scratch))"""
    def home(s):
        return {"HOME": os.path.join(s, "home")}

    def player(s, *rest):
        return os.path.join(s, "home", ".local", "share", "vorbel", *rest)

    def file_home(s):
        open(os.path.join(s, "file"), "w").close()
        return {"HOME": os.path.join(s, "file")}, ["--port", "0"]

    def own_folder(s):
        os.makedirs(player(s, "assets"))
        open(player(s, "assets", "mine.png"), "w").close()
        return home(s), ["--port", "0"]

    def file_in_the_way(s):
        os.makedirs(player(s))
        open(player(s, "assets"), "w").close()
        return home(s), ["--port", "0"]

    def old_install(s):
        os.makedirs(player(s))
        os.symlink("/nonexistent/share/games/vorbel/assets", player(s, "assets"))
        with open(player(s, "settings.cfg"), "wb") as f:
            f.write(b"vsync=false\r\nodd line kept as it is\n")
        return home(s), ["--port", "0"]

    def relative_xdg(s):
        return dict(home(s), XDG_DATA_HOME="relative/data"), ["--port", "0"]

    def moved_away(s):
        return dict(home(s), VORBEL_PREFIX=os.path.join(s, "nowhere")), []

    def is_link_here(s):
        expect(os.readlink(player(s, "assets")) == os.path.join(s, "root", ASSETS), "the link points elsewhere")

    def own_folder_kept(s):
        expect(os.path.isfile(player(s, "assets", "mine.png")), "the player's own assets folder was touched")

    def settings_untouched(s):
        is_link_here(s)
        with open(player(s, "settings.cfg"), "rb") as f:
            expect(f.read() == b"vsync=false\r\nodd line kept as it is\n", "settings.cfg was touched")

    return [
        ("home not writable", file_home, 1, "cannot make the folder", lambda s: None),
        # The game refuses --port 0 and says so: proof that it was reached, and where.
        ("fresh home", lambda s: (home(s), ["--port", "0"]), 2, None, is_link_here),
        ("argument with a space", lambda s: (home(s), ["--port", "12 34"]), 2, None, is_link_here),
        ("assets is a folder", own_folder, 2, "is a folder, not a link", own_folder_kept),
        ("a file named assets", file_in_the_way, 1, "is in the way",
         lambda s: expect(os.path.isfile(player(s, "assets")), "the file named assets was touched")),
        ("link of an older install", old_install, 2, None, settings_untouched),
        ("relative XDG_DATA_HOME", relative_xdg, 2, None, is_link_here),
        ("no installed game", moved_away, 1, "no installed game at", lambda s: None),
    ]


def case_launcher(args, scratch):
    failures = []
    for what, prepare, code, words, check in launcher_rows():
        row = tempfile.mkdtemp(dir=scratch)
        extract(args, os.path.join(row, "root"))
        env, argv = prepare(row)
        env = dict({"PATH": os.environ["PATH"], "VORBEL_PREFIX": os.path.join(row, "root", "usr")}, **env)
        r = run([os.path.join(row, "root", LAUNCHER)] + argv, env=env, cwd=row)
        lines = r.stderr.splitlines()
        try:
            expect(r.returncode == code, "exit code %d, not %d" % (r.returncode, code))
            if code == 2:
                # The game's own complaint about the port, so the argument arrived whole.
                expect(any("--port takes a number" in line for line in lines), "the game did not get --port N")
            launcher_lines = [line for line in lines if "--port" not in line and not line.startswith("usage:")]
            if words is None:
                expect(not launcher_lines, "the launcher spoke")
            else:
                expect(len(launcher_lines) == 1 and words in launcher_lines[0], "not one line with %r" % words)
            check(row)
        except Failure as e:
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
                g.wait(lambda: g.settings_stamp() is not None, "settings.cfg in the player's folder")
                g.wait(lambda: b"enable_music=false\r\n" in g.read_settings(), "MUSIC off in settings.cfg")
            else:
                # The saved choice was read back: the same click now turns MUSIC on.
                g.toggle_box("MUSIC", b"enable_music=false\r\n", b"enable_music=true\r\n")
            g.click_button(e2e.BACK_TOP, "BACK")
            g.wait_title()
            g.exit_from_title()
            g.log.close()
            found = [os.path.join(d, "settings.cfg") for d, _, files in os.walk(scratch) if "settings.cfg" in files]
            found += [p for p in (os.path.join(g.dir, "settings.cfg"),) if os.path.exists(p)]
            expect(found == [g.settings_path], "settings.cfg written at %s" % found)
    except e2e.Failure as e:
        g.fail_report()
        raise Failure(str(e))
    finally:
        g.stop()
        display.stop()


CASES = {"contents": case_contents, "launcher": case_launcher, "play": case_play}


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
