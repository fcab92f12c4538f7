#include "settings/display.h"

#include <cmath>

#include "raylib.h"
#include "settings/settings.h"

std::int32_t shadow_map_size = base_shadow_map_size;

std::int32_t scaled_shadow_map_size(std::int32_t base, float scale_x, std::int32_t max_texture) {
    // Scales below 1 (and NaN) would give a zero-sized map; treat them as 1. The
    // product is capped at the largest texture the GPU takes, which also keeps it
    // inside 32 bits.
    std::int64_t k = 1;
    if (scale_x >= 2.0f) k = scale_x >= 1e6f ? 1000000 : static_cast<std::int64_t>(std::trunc(scale_x));
    std::int64_t size = static_cast<std::int64_t>(base) * k;
    if (size > max_texture) size = max_texture;
    return static_cast<std::int32_t>(size);
}

void apply_dpi_step() {
    // raylib offers no query of the GL texture limit, so the cap is the size every
    // desktop GL 3.3 driver of the last decade accepts.
    shadow_map_size = scaled_shadow_map_size(shadow_map_size, GetWindowScaleDPI().x, fallback_max_texture_size);
}

void apply_vsync(bool vsync) {
    int monitor = GetCurrentMonitor();
    if (vsync) {
        SetTargetFPS(GetMonitorRefreshRate(monitor));
    } else {
        SetTargetFPS(0);
    }
}

void on_vsync_toggled() {
    apply_vsync(settings.vsync);
    (void)save_settings();  // a failure is logged; the settings in memory stand
}

void toggle_fullscreen() {
    if (!IsWindowFullscreen()) {
        int monitor = GetCurrentMonitor();
        SetWindowSize(GetMonitorWidth(monitor), GetMonitorHeight(monitor));
    }
    ToggleFullscreen();
    if (!IsWindowFullscreen()) SetWindowSize(settings.screen_width, settings.screen_height);
    settings.fullscreen = IsWindowFullscreen();
    (void)save_settings();
}
