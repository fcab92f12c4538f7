// The game's hot paths on the real code, plus the whole frame and its allocations.
// Run through bench/run.sh, which builds Release and prints the table with budgets.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/frame_loop.h"
#include "app/game_state.h"
#include "bench_support.h"
#include "raylib.h"
#include "render/camera.h"
#include "render/particles.h"
#include "render/shadow_scene.h"
#include "rlgl.h"
#include "settings/settings.h"

namespace {

// Per-frame samples of one quantity, reported as counters "<name>_median", "_min" and
// "_max" in microseconds. The median of single frames shrugs off the frames in which
// another process took the CPU, which a mean over many frames would not.
struct Samples {
    std::vector<double> us;
    explicit Samples(std::size_t n) { us.reserve(n); }
    void add_ns(std::int64_t ns) { us.push_back(static_cast<double>(ns) / 1e3); }
    void report(benchmark::State &state, const char *name) {
        if (us.empty()) return;
        std::sort(us.begin(), us.end());
        const std::size_t n = us.size();
        const double median = n % 2 == 1 ? us[n / 2] : (us[n / 2 - 1] + us[n / 2]) / 2.0;
        const std::string base(name);
        state.counters[base + "_median"] = median;
        state.counters[base + "_min"] = us.front();
        state.counters[base + "_max"] = us.back();
        state.counters[base + "_p90"] = us[n * 9 / 10];
        state.counters[base + "_p99"] = us[n * 99 / 100];
    }
};

void spread(benchmark::internal::Benchmark *b) { b->UseManualTime()->Unit(benchmark::kMicrosecond)->Repetitions(1); }

std::uint64_t frame_counter = 0;

// Runs `work` once as this iteration's manual time; returns the nanoseconds it took.
template <class Work>
std::int64_t time_iteration(benchmark::State &state, Work &&work) {
    const std::int64_t t0 = monotonic_ns();
    work();
    const std::int64_t t1 = monotonic_ns();
    state.SetIterationTime(static_cast<double>(t1 - t0) * 1e-9);
    return t1 - t0;
}

// Times a particle draw with a full pool inside one 3D pass of the view camera; the
// batch is drawn outside the measurement. `make_draw` runs once the pass is open (so
// it sees the camera as drawn) and returns the work timed on each iteration.
template <class MakeDraw>
void time_particle_draw(benchmark::State &state, MakeDraw &&make_draw) {
    enter_busy_match();
    Samples call(static_cast<std::size_t>(state.max_iterations));
    BeginDrawing();
    begin_camera_3d(view_camera);
    auto draw = make_draw();
    for (auto _ : state) {
        update_particles(bench_frame_dt);
        call.add_ns(time_iteration(state, draw));
        rlDrawRenderBatchActive();
        keep_match_busy();
    }
    call.report(state, "call");
    end_camera_3d();
    EndDrawing();
}

// One match update of the busy scene, timed alone; the frame end that ages the input
// and the top-up of the load are outside the measurement.
void BM_update_game_busy_match(benchmark::State &state) {
    enter_busy_match();
    Samples frame(static_cast<std::size_t>(state.max_iterations));
    for (auto _ : state) {
        drive_player1(frame_counter++);
        frame.add_ns(time_iteration(state, [] { update_game(bench_frame_dt); }));
        end_empty_frame();
        keep_match_busy();
    }
    frame.report(state, "frame");
}

// The particle draw with a full pool: the far-to-near heap sort of all 1000 slots and
// one quad each into the batch. The batch is drawn outside the measurement.
void BM_draw_particles_1000(benchmark::State &state) {
    time_particle_draw(state, [] { return [] { draw_particles(); }; });
}

// The quads alone: what draw_particles does after its sort.
void BM_particle_quads_1000(benchmark::State &state) {
    time_particle_draw(state, [] {
        const Vector3 up{view_camera.transform.m0, view_camera.transform.m4, view_camera.transform.m8};
        return [up] {
            for (const Particle &p : particles) {
                if (!p.active) continue;
                const float f = static_cast<float>(p.age / p.lifetime);
                draw_billboard(view_camera, particle_texture, to_vector3(p.position), up,
                               Vector2{particle_size, particle_size}, 0.0f, ColorAlpha(p.color, 1.0f - f));
            }
        };
    });
}

// The sort alone.
void BM_sort_particles_1000(benchmark::State &state) {
    enter_busy_match();
    Samples call(static_cast<std::size_t>(state.max_iterations));
    for (auto _ : state) {
        update_particles(bench_frame_dt);
        call.add_ns(time_iteration(state, [] { sort_particles_far_to_near(view_camera.position); }));
    }
    call.report(state, "call");
}

// A whole frame of the busy match as the loop runs it (update, shadow pass, main
// pass, HUD and overlay, buffer swap) at 1280 x 720. The time inside GL and SDL calls
// is measured call by call; what remains is our own code, game and engine.
void BM_whole_frame_busy_match(benchmark::State &state) {
    enter_busy_match();
    const std::size_t n = static_cast<std::size_t>(state.max_iterations);
    Samples frame(n), ours(n), driver(n);
    std::int64_t calls = 0;
    // Each timed call reads the clock twice; one read's worth per call is charged to
    // our side of the split and taken back out.
    const std::int64_t clock_cost = clock_read_cost_ns();
    for (auto _ : state) {
        drive_player1(frame_counter++);
        install_gl_timing();
        reset_gl_timing();
        const std::int64_t elapsed = time_iteration(state, [] { run_frame(); });
        frame.add_ns(elapsed);
        driver.add_ns(gl_time_ns());
        ours.add_ns(std::max<std::int64_t>(0, elapsed - gl_time_ns() - gl_calls() * clock_cost));
        calls += gl_calls();
        keep_match_busy();
    }
    frame.report(state, "frame");
    ours.report(state, "ours");
    driver.report(state, "driver");
    state.counters["gl_calls"] = static_cast<double>(calls) / static_cast<double>(n);
}

// Allocations per whole frame once the play is steady, on each screen. Sound effects
// are off for the count that has a budget: every play makes a Sound, which is
// allowed to allocate; the second count, with them on, shows what the plays cost.
void count_steady_allocations(benchmark::State &state, ScreenState screen, bool sound) {
    enter_busy_match();
    if (screen == ScreenState::paused) set_screen_state(ScreenState::paused);
    if (screen == ScreenState::menu) set_screen_state(ScreenState::menu);
    settings.enable_sound_effects = sound;
    // Warm-up: the batch, the sound list and the driver reach their working size.
    for (int i = 0; i < 120; ++i) {
        drive_player1(frame_counter++);
        install_gl_timing();
        run_frame();
        keep_match_busy();
    }
    reset_alloc_counts();
    std::int64_t frames = 0;
    for (auto _ : state) {
        drive_player1(frame_counter++);
        install_gl_timing();
        time_iteration(state, [] {
            set_alloc_counting(true);
            run_frame();
            set_alloc_counting(false);
        });
        keep_match_busy();
        ++frames;
    }
    settings.enable_sound_effects = true;
    const AllocCounts n = alloc_counts();
    state.counters["allocs_ours"] = static_cast<double>(n.ours) / static_cast<double>(frames);
    state.counters["allocs_driver"] = static_cast<double>(n.driver) / static_cast<double>(frames);
    if (game_state.screen_state != ScreenState::menu) set_screen_state(ScreenState::menu);
}

void BM_allocations_match(benchmark::State &s) { count_steady_allocations(s, ScreenState::match, false); }
void BM_allocations_match_with_sound(benchmark::State &s) { count_steady_allocations(s, ScreenState::match, true); }
void BM_allocations_paused(benchmark::State &s) { count_steady_allocations(s, ScreenState::paused, false); }
void BM_allocations_menu(benchmark::State &s) { count_steady_allocations(s, ScreenState::menu, false); }

}  // namespace

BENCHMARK(BM_update_game_busy_match)->Apply(spread)->Iterations(3000);
BENCHMARK(BM_draw_particles_1000)->Apply(spread)->Iterations(2000);
BENCHMARK(BM_particle_quads_1000)->Apply(spread)->Iterations(2000);
BENCHMARK(BM_sort_particles_1000)->Apply(spread)->Iterations(3000);
BENCHMARK(BM_whole_frame_busy_match)->Apply(spread)->Iterations(100);
BENCHMARK(BM_allocations_match)->Apply(spread)->Iterations(150);
BENCHMARK(BM_allocations_match_with_sound)->Apply(spread)->Iterations(150);
BENCHMARK(BM_allocations_paused)->Apply(spread)->Iterations(60);
BENCHMARK(BM_allocations_menu)->Apply(spread)->Iterations(60);

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    if (!start_game()) {
        std::fprintf(stderr, "bench: the game did not start\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    stop_game();
    benchmark::Shutdown();
    return 0;
}
