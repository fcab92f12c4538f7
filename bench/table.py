#!/usr/bin/env python3
"""Prints the benchmark table: name, median, min, max, budget and whether it is met.

    table.py <bench.json> <startup.json>

Exits 1 if any budget is missed.
"""
import json
import statistics
import sys


def counters(bench, name):
    for b in bench["benchmarks"]:
        if b["name"].startswith(name + "/") or b["name"] == name:
            return b
    raise SystemExit("benchmark %s is missing from the results" % name)


def main():
    bench = json.load(open(sys.argv[1]))
    startup = json.load(open(sys.argv[2]))

    rows = []  # (name, unit, median, min, max, budget or None)

    def sampled(label, bench_name, prefix, unit="us", budget=None, scale=1.0):
        b = counters(bench, bench_name)
        rows.append((label, unit, b[prefix + "_median"] * scale, b[prefix + "_min"] * scale,
                     b[prefix + "_max"] * scale, budget))

    sampled("update_game, busy match (per frame)", "BM_update_game_busy_match", "frame", budget=25.0)
    sampled("draw_particles: heap sort of 1000 slots", "BM_sort_particles_1000", "call", budget=40.0)
    sampled("draw_particles: whole call, 1000 live quads", "BM_draw_particles_1000", "call")
    sampled("  of which the 1000 quads alone", "BM_particle_quads_1000", "call")
    sampled("online: re-run of the whole prediction window (8 frames)", "BM_online_rerun_prediction_window", "us",
            budget=250.0)
    sampled("online: one step (restore, frame, keep)", "BM_online_step", "us")
    sampled("whole frame 1280x720: our code (game + engine)", "BM_whole_frame_busy_match", "ours",
            budget=1000.0)
    sampled("whole frame 1280x720: inside GL and SDL", "BM_whole_frame_busy_match", "driver", unit="ms",
            scale=1e-3)
    sampled("whole frame 1280x720: total", "BM_whole_frame_busy_match", "frame", unit="ms", scale=1e-3)

    first = startup["first_frame_ms"]
    down = startup["shutdown_ms"]
    rows.append(("start-up to first presented frame (Xvfb)", "ms", statistics.median(first), min(first),
                 max(first), 400.0))
    rows.append(("shutdown, close request to exit (Xvfb)", "ms", statistics.median(down), min(down), max(down),
                 None))

    for label, name, budget in (
            ("allocations/frame in our code: match", "BM_allocations_match", 0.0),
            ("allocations/frame in our code: paused", "BM_allocations_paused", 0.0),
            ("allocations/frame in our code: title menu", "BM_allocations_menu", 0.0),
            ("allocations/frame in our code: match, sounds on", "BM_allocations_match_with_sound", None)):
        n = counters(bench, name)["allocs_ours"]
        rows.append((label, "", n, n, n, budget))
    n = counters(bench, "BM_allocations_match")["allocs_driver"]
    rows.append(("allocations/frame inside GL and SDL: match", "", n, n, n, None))

    missed = 0
    header = ("case", "median", "min", "max", "budget", "verdict")
    lines = []
    for label, unit, med, lo, hi, budget in rows:
        fmt = (lambda v: "%.2f" % v) if unit == "" else (lambda v: "%.1f %s" % (v, unit))
        if budget is None:
            verdict, budget_text = "(info)", "-"
        elif budget == 0.0:
            budget_text = "0"
            ok = med == 0.0
            verdict = "met" if ok else "MISSED"
            missed += 0 if ok else 1
        else:
            budget_text = "<= " + fmt(budget)
            ok = med <= budget
            verdict = ("met, %.0f%% under (%.1fx)" % ((1 - med / budget) * 100, budget / med) if med > 0
                       else "met") if ok else "MISSED by %.0f%%" % ((med / budget - 1) * 100)
            missed += 0 if ok else 1
        lines.append((label, fmt(med), fmt(lo), fmt(hi), budget_text, verdict))

    widths = [max(len(r[i]) for r in lines + [header]) for i in range(len(header))]
    def show(r):
        print("  ".join(c.ljust(w) if i == 0 or i == 5 else c.rjust(w) for i, (c, w) in enumerate(zip(r, widths))))
    show(header)
    print("  ".join("-" * w for w in widths))
    for r in lines:
        show(r)
    print()
    print("""Notes:
- Times are of single frames or calls; median, min and max are over all of them (2000 to
  3000 per case, 100 whole frames, 7 start-ups), so frames in which another process had
  the CPU show in max but not in the median.
- Busy match: player 1 walking in changing directions, jumping whenever it lands and
  now and then dashing; the bot playing player 2; the particle pool kept full (1000
  live) and all 20 beams kept in flight.
- Whole frame: run_frame at 1280 x 720 with 4x multisampling and the 4096-texel shadow
  pass, offscreen SDL driver on Mesa llvmpipe. Every GL entry point the engine calls is
  timed through the GL loader's function pointers, and the buffer swap and event poll
  through SDL; "our code" is the frame's wall time minus the time inside those calls
  (less the cost of the clock reads themselves). llvmpipe does its rendering inside
  those calls and on its own threads, so it all counts as the driver's.
- Start-up: the Release vorbel under Xvfb, timed from outside: from launching the
  process to the return of its first buffer swap (reported by a preloaded probe); one
  unmeasured run first warms the page and shader caches. Shutdown: SIGTERM (the
  window's close request) to the process's exit, including the frame in progress.
- Allocations: malloc, calloc, realloc, the aligned forms and operator new are replaced
  in the benchmark binary and counted on the main thread over 60 to 150 steady frames
  after 120 frames of warm-up; a call made while a GL or SDL call is running counts as
  the driver's. With sounds on, each footstep makes its Sound, which may allocate.""")
    if missed:
        print("\n%d budget(s) missed" % missed)
        sys.exit(1)


if __name__ == "__main__":
    main()
