#!/usr/bin/env python3
"""Times the game as a whole process under Xvfb, from outside: start-up to the first
presented frame, and shutdown from a close request to the process's exit.

The first frame is seen through a small preloaded library (first_frame_probe.so) that
writes the time its first buffer swap returned; the close request is SIGTERM, which SDL
turns into the window's close event, so the game leaves its loop and shuts down as it
does when the window is closed.

    startup.py <vorbel binary> <probe .so> <assets dir> [runs]

Prints one JSON object: {"first_frame_ms": [...], "shutdown_ms": [...]}.
"""
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

# The black-box tests' Xvfb and environment for the game.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from vorbel_e2e import DEFAULT_SETTINGS, Display, game_env  # noqa: E402


def one_run(binary, probe, assets, display, scratch, index):
    work = os.path.join(scratch, "run%d" % index)
    os.mkdir(work)
    os.symlink(assets, os.path.join(work, "assets"))
    with open(os.path.join(work, "settings.cfg"), "wb") as f:
        f.write(DEFAULT_SETTINGS)
    probe_file = os.path.join(work, "first-frame")
    env = dict(game_env(display), LD_PRELOAD=probe, VORBEL_PROBE_FILE=probe_file)
    log = open(os.path.join(work, "game.log"), "wb")
    started = time.monotonic_ns()
    proc = subprocess.Popen([binary], cwd=work, env=env, stdout=log, stderr=log)
    first = None
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline and proc.poll() is None:
        try:
            with open(probe_file) as f:
                text = f.read()
            if text.endswith("\n"):
                first = int(text)
                break
        except FileNotFoundError:
            pass
        time.sleep(0.002)
    if first is None:
        proc.kill()
        proc.wait()
        raise SystemExit("run %d: no frame was presented (see %s)" % (index, os.path.join(work, "game.log")))
    time.sleep(0.5)  # a few frames of the title screen
    asked = time.monotonic_ns()
    proc.send_signal(signal.SIGTERM)
    try:
        code = proc.wait(timeout=30)
    except subprocess.TimeoutExpired:
        proc.kill()
        raise SystemExit("run %d: the game did not shut down" % index)
    ended = time.monotonic_ns()
    if code != 0:
        raise SystemExit("run %d: the game exited with %d (see %s)" % (index, code, os.path.join(work, "game.log")))
    return (first - started) / 1e6, (ended - asked) / 1e6


def main():
    if len(sys.argv) < 4:
        raise SystemExit(__doc__)
    binary, probe, assets = (os.path.abspath(a) for a in sys.argv[1:4])
    runs = int(sys.argv[4]) if len(sys.argv) > 4 else 7
    scratch = tempfile.mkdtemp(prefix="vorbel-startup-")
    xvfb = Display(os.path.join(scratch, "xvfb.log"), (1600, 900))
    try:
        # One run first so that the files and the driver are in the page cache, as they
        # are for a player who starts the game a second time.
        one_run(binary, probe, assets, xvfb.name, scratch, 0)
        results = [one_run(binary, probe, assets, xvfb.name, scratch, i) for i in range(1, runs + 1)]
    finally:
        xvfb.stop()
    shutil.rmtree(scratch, ignore_errors=True)
    print(json.dumps({"first_frame_ms": [r[0] for r in results], "shutdown_ms": [r[1] for r in results]}))


if __name__ == "__main__":
    main()
