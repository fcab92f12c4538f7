// Sounds, the particle texture, the GUI font and the GUI style load through the
// engine and are fit for use: audible without distortion, soft-edged, complete,
// readable.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "asset_support.h"
#include "audio/music.h"
#include "audio/sound_bank.h"
#include "raygui.h"
#include "raylib.h"

namespace {

using asset_test::Window;

std::vector<float> samples_of(const Wave &wave) {
    std::vector<float> out;
    std::size_t n = static_cast<std::size_t>(wave.frameCount) * wave.channels;
    out.reserve(n);
    if (wave.sampleSize == 16) {
        const auto *s = static_cast<const std::int16_t *>(wave.data);
        for (std::size_t i = 0; i < n; ++i) out.push_back(s[i] / 32768.0f);
    } else if (wave.sampleSize == 32) {
        const auto *s = static_cast<const float *>(wave.data);
        out.assign(s, s + n);
    }
    return out;
}

const char *const sound_paths[] = {
    "assets/audio/step-1.wav", "assets/audio/step-2.wav",     "assets/audio/step-3.wav", "assets/audio/step-4.wav",
    "assets/audio/step-5.wav", "assets/audio/step-6.wav",     "assets/audio/step-7.wav", "assets/audio/step-8.wav",
    "assets/audio/click.wav",  "assets/audio/click_echo.wav", "assets/audio/pause.wav",
};

TEST(Sounds, EachIsShortLoudEnoughUnclippedAndStartsAndEndsSilently) {
    for (const char *path : sound_paths) {
        SCOPED_TRACE(path);
        Wave wave = LoadWave(path);
        ASSERT_NE(wave.data, nullptr);
        EXPECT_EQ(wave.sampleRate, 44100u);
        EXPECT_EQ(wave.channels, 1u);
        ASSERT_TRUE(wave.sampleSize == 16 || wave.sampleSize == 32);
        std::vector<float> s = samples_of(wave);
        ASSERT_GT(s.size(), 441u);
        EXPECT_LT(s.size(), 44100u) << "effects stay under a second";

        float peak = 0.0f;
        int at_full_scale = 0;
        for (float v : s) {
            peak = std::max(peak, std::fabs(v));
            if (std::fabs(v) >= 32767.0f / 32768.0f) ++at_full_scale;
        }
        EXPECT_GT(peak, 0.5f) << "normalised, so it is heard at the game's volumes";
        EXPECT_EQ(at_full_scale, 0) << "clipped samples";
        // A non-zero first or last sample is an audible click.
        EXPECT_LT(std::fabs(s.front()), 0.01f);
        EXPECT_LT(std::fabs(s.back()), 0.01f);
        UnloadWave(wave);
    }
}

TEST(Sounds, TheEightStepsAreAllDifferent) {
    std::vector<std::vector<float>> steps;
    for (int i = 0; i < 8; ++i) {
        Wave wave = LoadWave(sound_paths[i]);
        steps.push_back(samples_of(wave));
        UnloadWave(wave);
    }
    for (int i = 0; i < 8; ++i)
        for (int j = i + 1; j < 8; ++j) EXPECT_NE(steps[i], steps[j]) << "step " << i + 1 << " and " << j + 1;
}

float peak_of(const std::vector<float> &s) {
    float peak = 0.0f;
    for (float v : s) peak = std::max(peak, std::fabs(v));
    return peak;
}

TEST(Music, LoopsTwentyToFortySecondsWithoutAClickAndPlaysUnderTheEffects) {
    Music music = LoadMusicStream(music_path);
    ASSERT_TRUE(IsMusicReady(music));
    EXPECT_TRUE(music.looping);
    EXPECT_GE(GetMusicTimeLength(music), 20.0f);
    EXPECT_LE(GetMusicTimeLength(music), 40.0f);
    UnloadMusicStream(music);

    Wave wave = LoadWave(music_path);
    const std::vector<float> s = samples_of(wave);
    UnloadWave(wave);
    ASSERT_GT(s.size(), 44100u);
    const float peak = peak_of(s);
    EXPECT_GT(peak, 0.3f);
    // The end runs on into the start: the step there is as small as between any two
    // neighbouring samples of a quiet passage.
    EXPECT_LT(std::fabs(s.front() - s.back()), 0.02f);

    // Even at its loudest the track stays below every effect as the game plays it.
    for (const char *path : sound_paths) {
        Wave effect = LoadWave(path);
        const float volume = std::string(path).find("step-") != std::string::npos ? step_volume : 1.0f;
        EXPECT_LT(peak * music_volume, peak_of(samples_of(effect)) * volume) << path;
        UnloadWave(effect);
    }
}

TEST(ParticleTexture, WhiteDiscWithSoftAlphaFalloff) {
    Image image = LoadImage("assets/textures/particle.png");
    ASSERT_NE(image.data, nullptr);
    ASSERT_EQ(image.width, image.height) << "a square, so the billboard is not widened";
    ASSERT_GE(image.width, 8);
    ASSERT_LE(image.width, 128);
    int n = image.width;
    Color centre = GetImageColor(image, n / 2, n / 2);
    EXPECT_GE(centre.a, 250);
    EXPECT_EQ(centre.r, 255);
    EXPECT_EQ(centre.g, 255);
    EXPECT_EQ(centre.b, 255);
    EXPECT_EQ(GetImageColor(image, 0, 0).a, 0);
    EXPECT_EQ(GetImageColor(image, n - 1, n - 1).a, 0);
    // Along the middle row alpha never rises going outwards, and it passes through
    // intermediate values rather than stepping from opaque to clear.
    int soft = 0;
    for (int x = n / 2; x + 1 < n; ++x) {
        Color here = GetImageColor(image, x, n / 2), next = GetImageColor(image, x + 1, n / 2);
        EXPECT_LE(next.a, here.a) << "at x " << x;
        if (here.a > 10 && here.a < 245) ++soft;
    }
    EXPECT_GE(soft, n / 8);
    UnloadImage(image);

    Window window;
    Texture2D texture = LoadTexture("assets/textures/particle.png");
    EXPECT_GT(texture.id, 0u);
    EXPECT_EQ(texture.width, n);
    UnloadTexture(texture);
}

TEST(GuiFont, LoadsAtBothSizesWithEveryPrintableGlyph) {
    Window window;
    for (int size : {64, 128}) {
        SCOPED_TRACE(size);
        Font font = LoadFontEx("assets/fonts/GloriaHallelujah-Regular.ttf", size, nullptr, 0);
        // The built-in fallback font is 10 px: a failed load would show here.
        ASSERT_EQ(font.baseSize, size);
        ASSERT_EQ(font.glyphCount, 95);
        EXPECT_GT(font.texture.id, 0u);
        for (int c = 32; c <= 126; ++c) {
            int i = GetGlyphIndex(font, c);
            ASSERT_GE(i, 0);
            EXPECT_EQ(font.glyphs[i].value, c);
            EXPECT_GT(font.glyphs[i].advanceX, 0) << "glyph " << c;
            if (c != ' ') {
                EXPECT_GT(font.recs[i].width * font.recs[i].height, 0.0f) << "glyph " << c;
            }
        }
        UnloadFont(font);
    }
}

TEST(GuiFont, EveryMenuButtonTextFitsItsButton) {
    Window window;
    Font font = LoadFontEx("assets/fonts/GloriaHallelujah-Regular.ttf", 64, nullptr, 0);
    ASSERT_EQ(font.baseSize, 64);
    GuiLoadStyle("assets/ui_theme.rgs");
    // Buttons are 250 x 75 with the text at 64 px and 3 px spacing; the border and
    // padding from the style take their share of the width.
    float room = 250.0f - 2.0f * (GuiGetStyle(BUTTON, BORDER_WIDTH) + GuiGetStyle(BUTTON, TEXT_PADDING));
    for (const char *text :
         {"PLAY", "SETTINGS", "EXIT", "LOCAL", "ONLINE", "BOT", "BACK", "CONTROLS", "RESUME", "MAIN MENU"}) {
        Vector2 size = MeasureTextEx(font, text, 64.0f, 3.0f);
        EXPECT_LE(size.x, room) << text;
        EXPECT_LE(size.y, 75.0f) << text;
    }
    UnloadFont(font);
}

Color style_colour(int control, int property) {
    return GetColor(static_cast<unsigned int>(GuiGetStyle(control, property)));
}

TEST(GuiStyle, ChangesTheButtonsAndKeepsThemReadableOverTheSky) {
    GuiLoadStyleDefault();
    int default_base = GuiGetStyle(BUTTON, BASE_COLOR_NORMAL);
    int default_focused = GuiGetStyle(BUTTON, BASE_COLOR_FOCUSED);
    int default_pressed = GuiGetStyle(BUTTON, BASE_COLOR_PRESSED);
    GuiLoadStyle("assets/ui_theme.rgs");
    EXPECT_NE(GuiGetStyle(BUTTON, BASE_COLOR_NORMAL), default_base);
    EXPECT_NE(GuiGetStyle(BUTTON, BASE_COLOR_FOCUSED), default_focused);
    EXPECT_NE(GuiGetStyle(BUTTON, BASE_COLOR_PRESSED), default_pressed);

    EXPECT_EQ(GuiGetStyle(BUTTON, TEXT_ALIGNMENT), TEXT_ALIGN_CENTER);
    EXPECT_EQ(GuiGetStyle(CHECKBOX, TEXT_ALIGNMENT), TEXT_ALIGN_RIGHT) << "check box text on the right";
    EXPECT_GT(GuiGetStyle(BUTTON, BORDER_WIDTH), 0);

    const Color sky{36, 152, 201, 255};
    const int states[][3] = {{BORDER_COLOR_NORMAL, BASE_COLOR_NORMAL, TEXT_COLOR_NORMAL},
                             {BORDER_COLOR_FOCUSED, BASE_COLOR_FOCUSED, TEXT_COLOR_FOCUSED},
                             {BORDER_COLOR_PRESSED, BASE_COLOR_PRESSED, TEXT_COLOR_PRESSED}};
    for (const auto &state : states) {
        SCOPED_TRACE(state[1]);
        Color border = style_colour(BUTTON, state[0]);
        Color base = style_colour(BUTTON, state[1]);
        Color text = style_colour(BUTTON, state[2]);
        EXPECT_GE(asset_test::contrast(text, base), 4.5) << "button text on its face";
        EXPECT_GE(asset_test::contrast(border, sky), 2.0) << "the rim stands out from the sky";
        EXPECT_EQ(base.a, 255);
        EXPECT_EQ(text.a, 255);
    }
    // The faces of the three states are told apart at a glance.
    Color normal = style_colour(BUTTON, BASE_COLOR_NORMAL);
    Color focused = style_colour(BUTTON, BASE_COLOR_FOCUSED);
    Color pressed = style_colour(BUTTON, BASE_COLOR_PRESSED);
    EXPECT_GT(asset_test::colour_distance(normal, pressed), 100);
    EXPECT_GT(asset_test::colour_distance(focused, pressed), 100);
    EXPECT_GT(asset_test::colour_distance(normal, focused), 30);
    // Labels, check marks and check-box captions are drawn straight on the sky.
    for (int property : {TEXT_COLOR_NORMAL, TEXT_COLOR_FOCUSED, TEXT_COLOR_PRESSED}) {
        EXPECT_GE(asset_test::contrast(style_colour(LABEL, property), sky), 3.0);
        EXPECT_GE(asset_test::contrast(style_colour(CHECKBOX, property), sky), 3.0);
    }
    GuiLoadStyleDefault();
}

}  // namespace
