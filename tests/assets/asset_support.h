// Helpers shared by the asset tests: a small hidden window for the GL-backed checks,
// the list of files the game loads, and colour arithmetic.
#pragma once

#include <array>
#include <cmath>
#include <utility>

#include "raylib.h"

namespace asset_test {

// Every file the game reads from assets/, by the path it uses, and the material
// libraries its models name.
inline constexpr std::array<const char *, 25> game_asset_paths = {
    "assets/ui_theme.rgs",
    "assets/fonts/GloriaHallelujah-Regular.ttf",
    "assets/shaders/glsl330/geom.vs",
    "assets/shaders/glsl330/geom.fs",
    "assets/shaders/glsl330/shadow.vs",
    "assets/shaders/glsl330/shadow.fs",
    "assets/shaders/glsl330/overlay.fs",
    "assets/models/grass.obj",
    "assets/models/button.obj",
    "assets/models/tomato.obj",
    "assets/textures/particle.png",
    "assets/audio/step-1.wav",
    "assets/audio/step-2.wav",
    "assets/audio/step-3.wav",
    "assets/audio/step-4.wav",
    "assets/audio/step-5.wav",
    "assets/audio/step-6.wav",
    "assets/audio/step-7.wav",
    "assets/audio/step-8.wav",
    "assets/audio/click.wav",
    "assets/audio/click_echo.wav",
    "assets/audio/pause.wav",
    "assets/audio/music.wav",
    "assets/models/grass.mtl",
    "assets/models/tomato.mtl",
};

// Opens the engine's window for the lifetime of one test (the offscreen SDL driver
// gives a real GL context without a display).
struct Window {
    Window(int width = 320, int height = 180) {
        SetTraceLogLevel(LOG_WARNING);
        InitWindow(width, height, "asset test");
    }
    ~Window() { CloseWindow(); }
    Window(const Window &) = delete;
    Window &operator=(const Window &) = delete;
};

// WCAG relative luminance and contrast ratio: a plain, well-known measure of
// whether text stays readable on its background.
inline double channel_luminance(unsigned char c) {
    double v = c / 255.0;
    return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}
inline double luminance(Color c) {
    return 0.2126 * channel_luminance(c.r) + 0.7152 * channel_luminance(c.g) + 0.0722 * channel_luminance(c.b);
}
inline double contrast(Color a, Color b) {
    double la = luminance(a), lb = luminance(b);
    if (la < lb) std::swap(la, lb);
    return (la + 0.05) / (lb + 0.05);
}
inline int colour_distance(Color a, Color b) { return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b); }

}  // namespace asset_test
