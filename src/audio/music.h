// The background track: one looping stream under the title screen and the matches,
// switched by the enable_music setting.
#pragma once

#include "raylib.h"

inline constexpr const char *music_path = "assets/audio/music.wav";
// Well under the effects (steps play at 0.6, clicks and the pause sound at 1).
inline constexpr float music_volume = 0.5f;
// The pause screen keeps the track going, softer: the match is on hold, not over, and
// switching MUSIC on the pause screen's settings page is heard at once.
inline constexpr float paused_music_volume = 0.2f;

extern Music background_music;

// At start-up, after the sound effects. A missing or damaged file leaves the game
// silent; the engine has logged the WARNING.
void prefetch_music();
void load_music();
void unload_music();
// Once a frame: follows enable_music and the screen state, and keeps the stream fed.
// Switched off, the track holds its place and goes on from there when switched on.
void update_music();
