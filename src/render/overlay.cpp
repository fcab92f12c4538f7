#include "render/overlay.h"

#include "app/game_state.h"
#include "gameplay/match.h"
#include "render/shader_registry.h"
#include "render/shadow_scene.h"

RenderTexture2D overlay_target{};
Shader overlay_shader{};
bool overlay_ready = false;

static constexpr int hud_font_size = 20;

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
    if (!report(bind_uniform(&overlay_shader, SHADER_UNIFORM_FLOAT, "player1TimeSinceHit",
                             &game_state.players[0].time_since_hit, true),
                "binding player1TimeSinceHit")) {
        return;
    }
    if (!report(bind_uniform(&overlay_shader, SHADER_UNIFORM_FLOAT, "player2TimeSinceHit",
                             &game_state.players[1].time_since_hit, true),
                "binding player2TimeSinceHit")) {
        return;
    }
    overlay_ready = true;
}

const char *result_line() {
    switch (match_result()) {
    case MatchResult::player1_wins:
        return "player 1 wins";
    case MatchResult::player2_wins:
        return "player 2 wins";
    case MatchResult::draw:
        return "draw";
    case MatchResult::playing:
        break;
    }
    return nullptr;
}

const char *restart_hint() {
    if (!match_over()) return nullptr;
    // The pad's button is named only when a gamepad plays.
    if (!gamepad_in_match()) return TextFormat("press %s to play again", key_label(restart_key));
    return TextFormat("press %s or %s to play again", key_label(restart_key),
                      pad_button_label(gamepad_controls.restart));
}

bool overlay_at_rest(float player1_time_since_hit, float player2_time_since_hit) {
    return player1_time_since_hit >= overlay_flash_seconds && player2_time_since_hit >= overlay_flash_seconds;
}

void draw_match_hud() {
    const bool *joined = game_state.joined;
    if (!both_joined()) {
        if (!joined[0]) DrawText("player 1: jump to join", 0, 0, hud_font_size, hud_text_color);
        if (!joined[1]) DrawText("player 2: jump to join", 0, 30, hud_font_size, hud_text_color);
        return;
    }
    DrawText(TextFormat("player 1 lives: %d", game_state.players[0].lives), 0, 0, hud_font_size, hud_text_color);
    DrawText(TextFormat("player 2 lives: %d", game_state.players[1].lives), 0, 30, hud_font_size, hud_text_color);
    if (const char *result = result_line()) {
        DrawText(result, 0, result_line_y, hud_font_size, hud_text_color);
        DrawText(restart_hint(), 0, restart_hint_y, hud_font_size, hud_text_color);
    }
    if (!overlay_ready) return;
    // A full-screen pass that would change nothing costs a software renderer as much
    // as the whole 3D scene; the full re-make still draws it, for comparison. What
    // counts is what the shader was given, not the players' times since.
    if (!full_redraw_every_frame) {
        const Result<float> t1 = uploaded_float(overlay_shader, "player1TimeSinceHit");
        const Result<float> t2 = uploaded_float(overlay_shader, "player2TimeSinceHit");
        if (t1 && t2 && overlay_at_rest(t1.value(), t2.value())) return;
    }

    BeginShaderMode(overlay_shader);
    Texture2D tex = overlay_target.texture;
    Rectangle source{0.0f, 0.0f, static_cast<float>(tex.width), -static_cast<float>(tex.height)};
    Rectangle dest{0.0f, 0.0f, static_cast<float>(GetScreenWidth()), static_cast<float>(GetScreenHeight())};
    DrawTexturePro(tex, source, dest, Vector2{0.0f, 0.0f}, 0.0f, Color{255, 255, 255, 255});
    EndShaderMode();
}
