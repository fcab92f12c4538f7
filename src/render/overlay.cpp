#include "render/overlay.h"

#include "app/game_state.h"
#include "gameplay/match.h"
#include "render/shader_registry.h"

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

void draw_match_hud() {
    const bool *joined = game_state.joined;
    if (!both_joined()) {
        if (!joined[0]) DrawText("player 1: jump to join", 0, 0, hud_font_size, hud_text_color);
        if (!joined[1]) DrawText("player 2: jump to join", 0, 30, hud_font_size, hud_text_color);
        return;
    }
    DrawText(TextFormat("player 1 lives: %d", game_state.players[0].lives), 0, 0, hud_font_size, hud_text_color);
    DrawText(TextFormat("player 2 lives: %d", game_state.players[1].lives), 0, 30, hud_font_size, hud_text_color);
    if (!overlay_ready) return;

    BeginShaderMode(overlay_shader);
    Texture2D tex = overlay_target.texture;
    Rectangle source{0.0f, 0.0f, static_cast<float>(tex.width), -static_cast<float>(tex.height)};
    Rectangle dest{0.0f, 0.0f, static_cast<float>(GetScreenWidth()), static_cast<float>(GetScreenHeight())};
    DrawTexturePro(tex, source, dest, Vector2{0.0f, 0.0f}, 0.0f, Color{255, 255, 255, 255});
    EndShaderMode();
}
