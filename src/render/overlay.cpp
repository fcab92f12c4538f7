#include "render/overlay.h"

#include "app/game_state.h"
#include "render/shader_registry.h"
#include "render/scene_diff.h"

RenderTexture2D overlay_target{};
Shader overlay_shader{};
bool overlay_ready = false;

static constexpr int hud_font_size = 20;

// The players' times since their last hit as the overlay shader is fed them: copied
// by feed_overlay just before the frame's uniform push, so they are what the shader
// holds when the HUD is drawn (a step behind the players' own).
static float fed_time_since_hit[2] = {};
static bool times_bound = false;  // the shader has both uniforms

static bool report(Result<Ok> r, const char *what) {
    if (r) return true;
    TraceLog(LOG_WARNING, "OVERLAY: %s failed (%s); the match runs without the overlay", what, error_name(r.error()));
    return false;
}

void load_overlay() {
    int m = GetCurrentMonitor();
    int width = GetMonitorWidth(m);
    m = GetCurrentMonitor();
    int height = GetMonitorHeight(m);
    overlay_target = LoadRenderTexture(width, height);

    overlay_ready = false;
    Result<Shader> shader = load_registered_shader(nullptr, overlay_shader_path);
    if (!shader) {
        report(shader.error(), "loading the overlay shader");
        return;
    }
    overlay_shader = shader.value();
    feed_overlay();
    times_bound = false;
    if (!report(
            bind_uniform(&overlay_shader, SHADER_UNIFORM_FLOAT, "player1TimeSinceHit", &fed_time_since_hit[0], true),
            "binding player1TimeSinceHit")) {
        return;
    }
    if (!report(
            bind_uniform(&overlay_shader, SHADER_UNIFORM_FLOAT, "player2TimeSinceHit", &fed_time_since_hit[1], true),
            "binding player2TimeSinceHit")) {
        return;
    }
    times_bound = GetShaderLocation(overlay_shader, "player1TimeSinceHit") >= 0 &&
                  GetShaderLocation(overlay_shader, "player2TimeSinceHit") >= 0;
    overlay_ready = true;
}

void feed_overlay() {
    for (int i = 0; i < 2; ++i) fed_time_since_hit[i] = game_state.players[i].time_since_hit;
}

bool overlay_at_rest(float player1_time_since_hit, float player2_time_since_hit) {
    return player1_time_since_hit >= overlay_flash_seconds && player2_time_since_hit >= overlay_flash_seconds;
}

void draw_match_hud(const MatchEndLines &end) {
    const bool *joined = game_state.joined;
    if (!(joined[0] && joined[1])) {
        if (!joined[0]) DrawText("player 1: jump to join", 0, 0, hud_font_size, hud_text_color);
        if (!joined[1]) DrawText("player 2: jump to join", 0, 30, hud_font_size, hud_text_color);
        return;
    }
    DrawText(TextFormat("player 1 lives: %d", game_state.players[0].lives), 0, 0, hud_font_size, hud_text_color);
    DrawText(TextFormat("player 2 lives: %d", game_state.players[1].lives), 0, 30, hud_font_size, hud_text_color);
    if (end.result != nullptr) {
        DrawText(end.result, 0, result_line_y, hud_font_size, hud_text_color);
        DrawText(end.restart_hint, 0, restart_hint_y, hud_font_size, hud_text_color);
    }
    if (!overlay_ready) return;
    // A full-screen pass that would change nothing costs a software renderer as much
    // as the whole 3D scene; the full re-make still draws it, for comparison. What
    // counts is what the shader was given, not the players' times since.
    if (times_bound && !scene_diff().full_redraw && overlay_at_rest(fed_time_since_hit[0], fed_time_since_hit[1]))
        return;

    BeginShaderMode(overlay_shader);
    Texture2D tex = overlay_target.texture;
    Rectangle source{0.0f, 0.0f, static_cast<float>(tex.width), -static_cast<float>(tex.height)};
    Rectangle dest{0.0f, 0.0f, static_cast<float>(GetScreenWidth()), static_cast<float>(GetScreenHeight())};
    DrawTexturePro(tex, source, dest, Vector2{0.0f, 0.0f}, 0.0f, Color{255, 255, 255, 255});
    EndShaderMode();
}
