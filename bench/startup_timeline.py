#!/usr/bin/env python3
"""Where the start-up's time goes: runs the game a few times under a private Xvfb and
prints a timeline from exec to the first presented frame, each step's median over the
runs, in milliseconds since exec.

Window-system steps (SDL_Init, window, GL context, audio device, buffer swaps) come from
a small preloaded library (timeline_probe.c, built here with cc); every other step is a
log line of the game, timed by the same library as the engine prints it.

    startup_timeline.py <vorbel binary> <assets dir> [runs=5] [extra VAR=value ...]
"""
import os
import signal
import statistics
import subprocess
import sys
import tempfile
import time

# The black-box tests' Xvfb and environment for the game.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from vorbel_e2e import DEFAULT_SETTINGS, Display, game_env  # noqa: E402


def one_run(binary, work, probe, display, extra):
    mark = os.path.join(work, "timeline")
    if os.path.exists(mark):
        os.remove(mark)
    env = dict(game_env(display), LD_PRELOAD=probe, VORBEL_TIMELINE_FILE=mark)
    env.update(extra)
    started = time.monotonic_ns()
    proc = subprocess.Popen([binary], cwd=work, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        if os.path.exists(mark) and "first SDL_GL_SwapWindow" in open(mark).read():
            break
        time.sleep(0.002)
    time.sleep(0.3)
    proc.send_signal(signal.SIGKILL)
    proc.wait()
    events = []
    for row in open(mark).read().splitlines():
        begin, end, cpu, name = row.split(" ", 3)
        cpu = int(cpu) / 1e6
        if name.startswith("log "):
            events.append((name[4:], None, (int(end) - started) / 1e6, cpu))
        else:
            events.append((name, (int(begin) - started) / 1e6, (int(end) - started) / 1e6, cpu))
    events.sort(key=lambda e: e[2])
    # Same text more than once: number the repeats so runs line up.
    seen = {}
    named = []
    for name, begin, end, cpu in events:
        seen[name] = seen.get(name, 0) + 1
        named.append((name if seen[name] == 1 else "%s (#%d)" % (name, seen[name]), begin, end, cpu))
    return named


def main():
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    binary = os.path.abspath(sys.argv[1])
    assets = os.path.abspath(sys.argv[2])
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    extra = dict(a.split("=", 1) for a in sys.argv[4:])
    here = os.path.dirname(os.path.abspath(__file__))
    scratch = tempfile.mkdtemp(prefix="vorbel-timeline-")
    probe = os.path.join(scratch, "timeline_probe.so")
    subprocess.run(["cc", "-shared", "-fPIC", "-O2", os.path.join(here, "timeline_probe.c"), "-o", probe, "-ldl"],
                   check=True)
    os.symlink(assets, os.path.join(scratch, "assets"))
    with open(os.path.join(scratch, "settings.cfg"), "wb") as f:
        f.write(DEFAULT_SETTINGS)
    xvfb = Display(os.path.join(scratch, "xvfb.log"), (1920, 1080))
    try:
        one_run(binary, scratch, probe, xvfb.name, extra)  # warm the page cache
        results = [one_run(binary, scratch, probe, xvfb.name, extra) for _ in range(runs)]
    finally:
        xvfb.stop()
    order = [e[0] for e in results[0]]
    print("%8s %8s %8s  %s" % ("begin", "end", "cpu", "step (ms since exec; cpu: the process's CPU time "
                               "so far, all threads; medians of %d runs)" % runs))
    for name in order:
        begins = [e[1] for r in results for e in r if e[0] == name and e[1] is not None]
        ends = [e[2] for r in results for e in r if e[0] == name]
        cpus = [e[3] for r in results for e in r if e[0] == name]
        begin = "%8.1f" % statistics.median(begins) if begins else " " * 8
        print("%s %8.1f %8.1f  %s" % (begin, statistics.median(ends), statistics.median(cpus), name[:100]))
        if name.startswith("first SDL_GL_SwapWindow"):
            break


if __name__ == "__main__":
    main()
