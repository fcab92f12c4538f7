// Sound effects: waves read once at start-up; every play makes its own Sound, so plays
// overlap freely. Finished plays are released at the next play and at shutdown.
#pragma once

#include <cstddef>
#include <cstdint>

#include "raylib.h"

struct SoundBank {
    Wave step_waves[8]{};
    Wave click_wave{};
    Wave click_echo_wave{};
    Wave pause_wave{};
};

extern SoundBank sound_bank;

inline constexpr float step_volume = 0.6f;
// On the game's pan (platform/raylib_bridge.h): -1 full left, 0 the centre, +1 full right.
inline constexpr double player1_step_pan = -0.6;
inline constexpr double player2_step_pan = 0.6;

// Has the waves read ahead (before the window opens); load_sounds takes them.
void prefetch_sounds();
void load_sounds();
void unload_sounds();
void play_step_sound(bool side);
void play_click_sound(bool echo);
void play_pause_sound();

// The step to play for one generator output: the top three bits of its low byte.
int step_index_from(std::uint64_t random);
// Plays that are still alive (playing, or finished but not yet swept).
std::size_t live_sound_count();
// Releases every finished play.
void release_finished_sounds();
