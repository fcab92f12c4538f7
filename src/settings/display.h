// Window configuration, fullscreen switching, the frame-rate cap and the shadow map
// size that follows the display's DPI scale.
#pragma once

#include <cstdint>

inline constexpr std::int32_t base_shadow_map_size = 4096;
// Used when the graphics layer offers no way to ask for its largest texture.
inline constexpr std::int32_t fallback_max_texture_size = 16384;

// Edge length of the square shadow map; 4096 until the DPI step has run.
extern std::int32_t shadow_map_size;

// k = max(1, trunc(scale_x)); the product is capped at max_texture (and never
// overflows).
std::int32_t scaled_shadow_map_size(std::int32_t base, float scale_x, std::int32_t max_texture);
// Multiplies shadow_map_size by the window's DPI step, once at start-up.
void apply_dpi_step();

void apply_vsync(bool vsync);
void on_vsync_toggled();
void toggle_fullscreen();
