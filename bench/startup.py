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

SETTINGS = (b"screen_width=1280\r\nscreen_height=720\r\nfullscreen=false\r\nvsync=true\r\n"
            b"enable_music=true\r\nenable_sound_effects=true\r\ngame_speed=1e0\r\n")


def start_xvfb(scratch):
    read_fd, write_fd = os.pipe()
    log = open(os.path.join(scratch, "xvfb.log"), "wb")
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1600x900x24",
                             "-nolisten", "tcp", "-ac", "-noreset"],
                            pass_fds=(write_fd,), stdout=log, stderr=log)
    os.close(write_fd)
    number = b""
    deadline = time.monotonic() + 20
    while not number.endswith(b"\n") and time.monotonic() < deadline:
        chunk = os.read(read_fd, 16)
        if not chunk:
            break
        number += chunk
    os.close(read_fd)
    if not number.strip():
        proc.kill()
        raise SystemExit("Xvfb did not start")
    return proc, ":" + number.decode().strip()


def one_run(binary, probe, assets, display, scratch, index):
    work = os.path.join(scratch, "run%d" % index)
    os.mkdir(work)
    os.symlink(assets, os.path.join(work, "assets"))
    with open(os.path.join(work, "settings.cfg"), "wb") as f:
        f.write(SETTINGS)
    probe_file = os.path.join(work, "first-frame")
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("LD_PRELOAD", "ASAN_", "LSAN_", "UBSAN_", "SDL_"))}
    env.update(DISPLAY=display, SDL_VIDEODRIVER="x11", SDL_AUDIODRIVER="dummy",
               LD_PRELOAD=probe, VORBEL_PROBE_FILE=probe_file, NO_COLOR="1")
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
    xvfb, display = start_xvfb(scratch)
    try:
        # One run first so that the files and the driver are in the page cache, as they
        # are for a player who starts the game a second time.
        one_run(binary, probe, assets, display, scratch, 0)
        results = [one_run(binary, probe, assets, display, scratch, i) for i in range(1, runs + 1)]
    finally:
        xvfb.terminate()
        xvfb.wait()
    shutil.rmtree(scratch, ignore_errors=True)
    print(json.dumps({"first_frame_ms": [r[0] for r in results], "shutdown_ms": [r[1] for r in results]}))


if __name__ == "__main__":
    main()
