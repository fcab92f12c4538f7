// Online play's hot path: re-running frames after a late input. The worst case in
// play is a re-run of the whole prediction window, on a busy court.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "app/effects.h"
#include "app/game_state.h"
#include "bench_support.h"
#include "net/rollback.h"

namespace {

// Both players walk in changing directions, jump and dash now and then; joined at once.
FrameInput busy_input(std::uint32_t frame, int side) {
    FrameInput in;
    const std::uint32_t leg = frame / 25 + static_cast<std::uint32_t>(side) * 3;
    in.move_x = static_cast<std::int8_t>((leg % 3 == 0) ? 127 : (leg % 3 == 1) ? -127 : 0);
    in.move_z = static_cast<std::int8_t>((leg % 4 < 2) ? 127 : -127);
    if (frame % 40 < 10) in.buttons |= input_jump;
    if (frame % 61 == 30) in.buttons |= input_dash;
    if (frame == 0) in.buttons |= input_join | input_jump;
    return in;
}

// A match stepped to its busy late phase (buttons armed about every half second),
// with all 20 beams launched 30 frames before the end, the remote input always known.
void play_busy(Rollback &r, Rng &fx, std::uint32_t frames) {
    seed_rng(fx, 5);
    effects_gate = EffectsGate{false, &fx};
    if (game_state.screen_state != ScreenState::menu) set_screen_state(ScreenState::menu);
    rollback_start(r, 0, bench_frame_dt, 2, initial_match_snapshot(0x5eed));
    for (std::uint32_t f = 0; f < frames; ++f) {
        rollback_add_local(r, busy_input(f, 0));
        rollback_add_remote(r, f, busy_input(f, 1));
        rollback_step(r);
        if (f + 30 == frames) {
            for (int i = 0; i < beam_count; ++i) launch_beam(i % 2 == 0);
            capture_match(r.states[r.frame % snapshot_ring_size]);
        }
    }
}

// Median, 99th percentile and largest of the samples, in microseconds.
void report(benchmark::State &state, std::vector<double> &us) {
    if (us.empty()) return;
    std::sort(us.begin(), us.end());
    state.counters["us_median"] = us[us.size() / 2];
    state.counters["us_min"] = us.front();
    state.counters["us_p99"] = us[us.size() * 99 / 100];
    state.counters["us_max"] = us.back();
}

void BM_online_rerun_prediction_window(benchmark::State &state) {
    auto r = std::make_unique<Rollback>();
    Rng fx{};
    play_busy(*r, fx, 1800);
    int beams = 0;
    for (const Beam &b : game_state.beams) beams += b.active ? 1 : 0;
    std::vector<double> us;
    for (auto _ : state) {
        const std::int64_t t0 = monotonic_ns();
        rollback_force(*r, max_prediction);
        const std::int64_t t1 = monotonic_ns();
        state.SetIterationTime(static_cast<double>(t1 - t0) * 1e-9);
        us.push_back(static_cast<double>(t1 - t0) / 1e3);
    }
    report(state, us);
    state.counters["frames"] = static_cast<double>(max_prediction);
    state.counters["beams_in_flight"] = beams;
    effects_gate = EffectsGate{};
    set_screen_state(ScreenState::menu);
}

void BM_online_step(benchmark::State &state) {
    auto r = std::make_unique<Rollback>();
    Rng fx{};
    play_busy(*r, fx, 1800);
    std::uint32_t f = r->frame;
    std::vector<double> us;
    for (auto _ : state) {
        rollback_add_local(*r, busy_input(f, 0));
        rollback_add_remote(*r, f, busy_input(f, 1));
        const std::int64_t t0 = monotonic_ns();
        rollback_step(*r);
        const std::int64_t t1 = monotonic_ns();
        state.SetIterationTime(static_cast<double>(t1 - t0) * 1e-9);
        us.push_back(static_cast<double>(t1 - t0) / 1e3);
        ++f;
    }
    report(state, us);
    effects_gate = EffectsGate{};
    set_screen_state(ScreenState::menu);
}

}  // namespace

BENCHMARK(BM_online_rerun_prediction_window)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);
BENCHMARK(BM_online_step)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);
