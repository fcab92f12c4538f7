// The game as the benchmarks drive it: started once in a scratch directory, a busy
// match kept busy between measured frames, and the counters that split a frame's
// time and allocations between our code and the GL driver.
#pragma once

#include <cstdint>

inline constexpr double bench_frame_dt = 1.0 / 60.0;

// Starts the whole game (window 1280 x 720, the real assets) in a scratch working
// directory; false if start-up failed. stop_game shuts it down and cleans up.
bool start_game();
void stop_game();

// A LOCAL-against-BOT match with player 1 joined and all of the load the game can
// have at once: 1000 live particles, 20 beams in flight, both tomatoes moving.
void enter_busy_match();
// Scripted input for player 1 for frame `frame`: walking in changing directions,
// jumping whenever it lands, now and then a dash.
void drive_player1(std::uint64_t frame);
// Tops the load up again after a frame: refills the particle pool, relaunches
// finished beams, gives back lost lives. Not part of any measurement.
void keep_match_busy();
// Ends a frame without drawing anything, so input edges age as in the game.
void end_empty_frame();

// Time spent inside the GL driver (every GL entry point the engine calls, the buffer
// swap and the event poll) on this thread, and the calls made, since the last reset.
// install_gl_timing puts the timers in place; call it before every measured frame
// (the GL loader replaces its entry points the first time each is used).
void install_gl_timing();
void reset_gl_timing();
std::int64_t gl_time_ns();
std::int64_t gl_calls();
bool inside_driver();

// Allocations (malloc family and operator new) made on the main thread while
// counting is on, split by whether a GL or SDL call was running.
struct AllocCounts {
    std::int64_t ours = 0;
    std::int64_t driver = 0;
};
void set_alloc_counting(bool on);
AllocCounts alloc_counts();
void reset_alloc_counts();

std::int64_t monotonic_ns();
// What one monotonic_ns() costs, measured.
std::int64_t clock_read_cost_ns();
