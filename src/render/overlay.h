// The match screen's 2D layer: join prompts or lives, then the full-screen overlay
// shader that reacts to each player's time since the last hit.
#pragma once

#include "raylib.h"

extern RenderTexture2D overlay_target;
extern Shader overlay_shader;
// False when the overlay shader could not be registered: the HUD text still shows.
extern bool overlay_ready;

inline constexpr const char *overlay_shader_path = "assets/shaders/glsl330/overlay.fs";
inline constexpr Color hud_text_color = BLUE;

// Under "game over" (y 60): who won at y 90, and how to play again at y 120.
inline constexpr int result_line_y = 90;
inline constexpr int restart_hint_y = 120;

// How long a hit's flash lasts (overlay.fs's flashSeconds): from then on, and with
// its target transparent as it always is, the overlay leaves every pixel as it was.
inline constexpr float overlay_flash_seconds = 0.5f;

// True when the overlay would change no pixel: neither player's flash is showing.
// (A NaN time is never taken for one that has ended.)
bool overlay_at_rest(float player1_time_since_hit, float player2_time_since_hit);

// The lines the HUD shows once a match is over (the match rules word them); null
// while it is being played.
struct MatchEndLines {
    const char *result = nullptr;
    const char *restart_hint = nullptr;
};

void load_overlay();
// Hands the players' times since their last hit to the shader's next uniform push.
void feed_overlay();
void draw_match_hud(const MatchEndLines &end);
