#!/usr/bin/env python3
"""The game against its references on this machine, in one table: the page against
the desktop build (title and BOT match), the desktop build against the same sources
built on each real raylib + raygui pair present in ../shared/third_party (title and
BOT match frame rates, time to the first frame, resident memory on the title).

    bench/side_by_side.py [--runs N] [--seconds S] [--pairs 5.0+4.0,...] [--no-build]
                          [--ours BINARY] [--web DIR]

Every comparison alternates its two programs run by run (A, B, A, B, ...) and takes
medians, so load from other processes falls on both sides; every desktop run has the
same settings.cfg (1280 x 720, vsync off). It builds build/release, build/system/*
(tests/system_build/build_pairs.cmake) and build/web first, unless --no-build.
--ours and --web measure other builds of the game (a baseline) against the same
references. The side-by-side tools are /work/shared/tools (or $VORBEL_SHARED_TOOLS).
"""
import argparse
import math
import os
import re
import signal
import statistics
import subprocess
import sys
import tempfile
import time

root = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
sys.path.insert(0, os.path.join(root, "bench"))
sys.path.insert(0, os.path.join(root, "tests", "e2e"))
import vorbel_e2e as e2e  # noqa: E402
import web_vs_native  # noqa: E402

third_party = os.path.join(os.path.dirname(root), "shared", "third_party")
tools = os.environ.get("VORBEL_SHARED_TOOLS", os.path.join(os.path.dirname(root), "shared", "tools"))
if not os.path.isdir(third_party):  # a worktree beside the main checkout
    third_party = os.path.join("/work", "shared", "third_party")
    tools = os.environ.get("VORBEL_SHARED_TOOLS", "/work/shared/tools")

SETTINGS = e2e.DEFAULT_SETTINGS.replace(b"vsync=true", b"vsync=false")
MEMORY_AFTER_S = 8.0

rows = []  # (measure, ours, reference, unit, aim text, aim test)


def add(measure, ours, ref, unit, aim, ok):
    measured = ref > 0 and not math.isnan(ours) and not math.isnan(ref)
    rows.append((measure, ours, ref, unit, aim, ok(ours / ref) if measured else None))
    print("  %s: %.1f %s against %.1f %s" % (measure, ours, unit, ref, unit), flush=True)


def build(pairs):
    cmake = ["cmake", "-S", root, "-B", os.path.join(root, "build", "release"), "-DCMAKE_BUILD_TYPE=Release",
             "-DVORBEL_TESTS=OFF", "-DVORBEL_BENCH=OFF"]
    subprocess.run(cmake, check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", os.path.join(root, "build", "release"), "-j2", "--target", "vorbel"],
                   check=True, stdout=subprocess.DEVNULL)
    if pairs:
        subprocess.run(["cmake", "-DSOURCE_DIR=" + root, "-DTHIRD_PARTY=" + third_party,
                        "-DBUILD_ROOT=" + os.path.join(root, "build", "system"), "-DJOBS=2", "-P",
                        os.path.join(root, "tests", "system_build", "build_pairs.cmake")], check=True,
                       stdout=subprocess.DEVNULL)
    subprocess.run([os.path.join(root, "scripts", "build-web.sh")], check=True, stdout=subprocess.DEVNULL)


def present_pairs(wanted):
    """(name, binary) of each pair whose raylib and raygui are present and built."""
    text = open(os.path.join(root, "tests", "system_build", "pairs.cmake")).read()
    found = []
    for raylib, raygui in re.findall(r"(\d+\.\d+)\+(\d+\.\d+)", text.split("VORBEL_REFUSED_RAYLIB_PAIRS")[0]):
        name = "%s+%s" % (raylib, raygui)
        if wanted and name not in wanted:
            continue
        if not (os.path.isdir(os.path.join(third_party, "raylib-" + raylib)) and
                os.path.isdir(os.path.join(third_party, "raygui-" + raygui))):
            continue
        binary = os.path.join(root, "build", "system", "raylib-%s-raygui-%s" % (raylib, raygui), "vorbel")
        if os.path.exists(binary):
            found.append(("raylib %s + raygui %s" % (raylib, raygui), binary))
        else:
            print("  %s: no build at %s, left out" % (name, binary))
    return found


def last_line(cmd):
    out = subprocess.run(cmd, capture_output=True, text=True, check=True).stdout
    lines = [l for l in out.splitlines() if l.strip()]
    return lines[-1]


def fps_pair(rundir, ours, ref, runs, seconds, scene):
    line = last_line([os.path.join(tools, "fps_side_by_side.sh"), rundir, ours, ref, str(runs), str(seconds), scene])
    # A side that presented no frame at all reads "nan": its row says so.
    m = re.search(r"A ([\d.]+|nan) fps, B ([\d.]+|nan) fps", line)
    if not m:
        raise SystemExit("fps_side_by_side.sh: " + line)
    return float(m.group(1)), float(m.group(2))


def first_frame_pair(rundir, ours, ref, runs):
    line = last_line([sys.executable, os.path.join(tools, "startup_side_by_side.py"), rundir, ours, ref, str(runs)])
    m = re.search(r"A ([\d.]+|nan) ms, B ([\d.]+|nan) ms", line)
    if not m:
        raise SystemExit("startup_side_by_side.py: " + line)
    return float(m.group(1)), float(m.group(2))


def resident_mb(binary, rundir, display):
    """VmRSS of the game on its title, MEMORY_AFTER_S after its start."""
    env = dict(e2e.game_env(display))
    p = subprocess.Popen([binary], cwd=rundir, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        time.sleep(MEMORY_AFTER_S)
        with open("/proc/%d/status" % p.pid) as f:
            kb = int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1))
    finally:
        p.send_signal(signal.SIGKILL)
        p.wait()
    return kb / 1024.0


def memory_pair(rundir, ours, ref, runs, scratch):
    xvfb = e2e.Display(os.path.join(scratch, "xvfb-memory.log"), (1920, 1080))
    a, b = [], []
    try:
        for _ in range(runs):
            a.append(resident_mb(ours, rundir, xvfb.name))
            b.append(resident_mb(ref, rundir, xvfb.name))
    finally:
        xvfb.stop()
    return statistics.median(a), statistics.median(b)


def page_vs_desktop(ours, web_dir, runs, seconds, scratch):
    w_title, w_match, n_title, n_match = [], [], [], []
    for i in range(runs):
        # The order alternates too: neither side always follows the other.
        order = ("web", "native") if i % 2 == 0 else ("native", "web")
        for side in order:
            if side == "web":
                w = web_vs_native.web(seconds, web_dir)
                w_title.append(w["title_fps"])
                w_match.append(w["match_fps"])
            else:
                run_scratch = tempfile.mkdtemp(dir=scratch)
                n = web_vs_native.native(seconds, run_scratch, ours, SETTINGS)
                n_title.append(n["title_fps"])
                n_match.append(n["match_fps"])
        print("  run %d: page %.1f / %.1f fps, desktop %.1f / %.1f fps (title / match)" %
              (i + 1, w_title[-1], w_match[-1], n_title[-1], n_match[-1]), flush=True)
    return (statistics.median(w_title), statistics.median(n_title), statistics.median(w_match),
            statistics.median(n_match))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--seconds", type=float, default=16.0, help="per frame-rate run")
    parser.add_argument("--pairs", default="", help="only these pairs, as 5.0+4.0,6.0+5.0")
    parser.add_argument("--no-build", action="store_true")
    parser.add_argument("--ours", default=os.path.join(root, "build", "release", "vorbel"))
    parser.add_argument("--web", default=os.path.join(root, "build", "web"))
    parser.add_argument("--skip-page", action="store_true")
    args = parser.parse_args()
    wanted = [p for p in args.pairs.split(",") if p]
    if not args.no_build:
        print("building (build/release, build/system, build/web)", flush=True)
        build(os.path.isdir(third_party))
    ours = os.path.abspath(args.ours)
    with open("/proc/loadavg") as f:
        load_before = f.read().split()[:3]

    with tempfile.TemporaryDirectory(prefix="vorbel-side-by-side-") as scratch:
        rundir = os.path.join(scratch, "run")
        os.mkdir(rundir)
        os.symlink(os.path.join(root, "assets"), os.path.join(rundir, "assets"))
        with open(os.path.join(rundir, "settings.cfg"), "wb") as f:
            f.write(SETTINGS)

        if not args.skip_page:
            print("page against desktop", flush=True)
            wt, nt, wm, nm = page_vs_desktop(ours, os.path.abspath(args.web), args.runs, args.seconds / 2, scratch)
            add("page vs desktop, title", wt, nt, "fps", ">= 0.5", lambda r: r >= 0.5)
            add("page vs desktop, BOT match", wm, nm, "fps", ">= 0.5", lambda r: r >= 0.5)

        pairs = present_pairs(wanted)
        if not pairs:
            print("no real raylib pair is present in %s: those rows are left out" % third_party)
        for name, ref in pairs:
            print("desktop against %s" % name, flush=True)
            a, b = fps_pair(rundir, ours, ref, args.runs, int(args.seconds), "title")
            add("desktop vs %s, title" % name, a, b, "fps", ">= 2", lambda r: r >= 2.0)
            a, b = fps_pair(rundir, ours, ref, args.runs, int(args.seconds), "match")
            add("desktop vs %s, BOT match" % name, a, b, "fps", ">= 2", lambda r: r >= 2.0)
            a, b = first_frame_pair(rundir, ours, ref, max(7, args.runs))
            add("first frame vs %s" % name, a, b, "ms", "<= 0.8", lambda r: r <= 0.8)
            a, b = memory_pair(rundir, ours, ref, args.runs, scratch)
            add("resident memory on the title after %.0f s vs %s" % (MEMORY_AFTER_S, name), a, b, "MB", "<= 1.0",
                lambda r: r <= 1.0)

    with open("/proc/loadavg") as f:
        load_after = f.read().split()[:3]
    print()
    header = ("measure", "this game", "reference", "ratio", "aim", "")
    lines = [(m, "%.1f %s" % (o, u), "%.1f %s" % (r, u), "%.2f" % (o / r) if ok is not None else "-", aim,
              "not measured" if ok is None else "met" if ok else "MISSED") for m, o, r, u, aim, ok in rows]
    widths = [max(len(l[i]) for l in lines + [header]) for i in range(len(header))]
    print("| " + " | ".join(h.ljust(w) for h, w in zip(header, widths)) + " |")
    print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for l in lines:
        print("| " + " | ".join(c.ljust(w) for c, w in zip(l, widths)) + " |")
    print()
    print("%d runs per comparison, alternating, medians; frame rates over %.0f s per run (page: %.0f s), "
          "1280 x 720, vsync off; page on headless chromium with SwiftShader, desktop on Xvfb with llvmpipe. "
          "Page vs desktop holds D in the match (a busy match); desktop vs raylib lets the bot play against a "
          "standing player 1 (fps_side_by_side.sh). Load average before %s, after %s." %
          (args.runs, args.seconds, args.seconds / 2, "/".join(load_before), "/".join(load_after)))


if __name__ == "__main__":
    main()
