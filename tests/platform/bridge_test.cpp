// The version bridges of platform/raylib_bridge.h, release by release: the game's pan
// as each release takes it, the stick dead zone, and the window flags.
#include <gtest/gtest.h>

#include "audio/sound_bank.h"
#include "internal.h"  // engine/src: the engine's own stick reading
#include "platform/raylib_bridge.h"

namespace {

constexpr int raylib_5_0 = 500, raylib_5_5 = 505, raylib_6_0 = 600;

// The game's pan (-1 left, 0 centre, +1 right) and what each release is given for it:
// raylib 5.x and engine/ take 0..1, 0.5 the centre, larger leaning left; raylib 6.0
// takes -1..1, +1 right.
TEST(Bridge, PanInTheGamesConventionReachesEachReleaseOnItsOwnScale) {
    struct Row {
        const char *what;
        double pan;
        float on_5_0, on_5_5, on_6_0;
    };
    const Row rows[] = {
        {"player 1's steps", player1_step_pan, 0.8f, 0.8f, -0.6f},
        {"player 2's steps", player2_step_pan, 0.2f, 0.2f, 0.6f},
        {"centre", 0.0, 0.5f, 0.5f, 0.0f},
        {"full left", -1.0, 1.0f, 1.0f, -1.0f},
        {"full right", 1.0, 0.0f, 0.0f, 1.0f},
        {"half left", -0.5, 0.75f, 0.75f, -0.5f},
        {"beyond the left is full left", -3.0, 1.0f, 1.0f, -1.0f},
        {"beyond the right is full right", 2.0, 0.0f, 0.0f, 1.0f},
    };
    for (const Row &row : rows) {
        // Exact: the step pans reach the engine's mixer as the 0.8 and 0.2 its tests pin.
        EXPECT_EQ(release_pan(row.pan, raylib_5_0), row.on_5_0) << row.what;
        EXPECT_EQ(release_pan(row.pan, raylib_5_5), row.on_5_5) << row.what;
        EXPECT_EQ(release_pan(row.pan, raylib_6_0), row.on_6_0) << row.what;
    }
    // This build is engine/, which takes raylib 5.0's scale.
    EXPECT_EQ(raylib_release, raylib_5_0);
    EXPECT_EQ(release_pan(player1_step_pan, raylib_release), 0.8f);
}

TEST(Bridge, PlayerOneIsHeardOnTheLeftAndPlayerTwoOnTheRightOnEveryRelease) {
    for (int release : {raylib_5_0, raylib_5_5, raylib_6_0}) {
        const auto leans_left = [release](double pan) {
            const float p = release_pan(pan, release);
            return release >= raylib_6_0 ? p < 0.0f : p > 0.5f;
        };
        EXPECT_TRUE(leans_left(player1_step_pan)) << release;
        EXPECT_FALSE(leans_left(player2_step_pan)) << release;
    }
}

// raylib 5.0's rule, now the game's on every release: a stick reading within 0.1 of
// the centre is 0, any other passes unchanged.
TEST(Bridge, SticksHaveRaylib50sDeadZoneOnEveryBuild) {
    struct Row {
        float reading, read;
    };
    const Row rows[] = {
        {0.0f, 0.0f},       {0.05f, 0.0f},        {-0.05f, 0.0f}, {0.0999f, 0.0f},  {0.1f, 0.0f}, {-0.1f, 0.0f},
        {0.1001f, 0.1001f}, {-0.1001f, -0.1001f}, {0.5f, 0.5f},   {-0.75f, -0.75f}, {1.0f, 1.0f}, {-1.0f, -1.0f},
    };
    for (const Row &row : rows) EXPECT_EQ(stick_without_drift(row.reading), row.read) << row.reading;
    EXPECT_EQ(stick_dead_zone, 0.1f);
}

// engine/ zeroes readings below 0.1 itself, and no raw value SDL reports reads exactly
// 0.1: the game's dead zone changes no reading the engine gives a real pad.
TEST(Bridge, TheDeadZoneChangesNothingTheEngineReadsFromARealPad) {
    int zeroed = 0;
    for (int raw = -32768; raw <= 32767; ++raw) {
        const float reading = engine::stick_reading(raw);
        ASSERT_EQ(stick_without_drift(reading), reading) << raw;
        zeroed += reading == 0.0f ? 1 : 0;
    }
    EXPECT_EQ(zeroed, 2 * 3276 + 1);  // |raw| up to 3276, below 0.1 of 32767
}

TEST(Bridge, Raylib60AsksForAHighDpiWindowSoItsScaleIsTheDesktops) {
    EXPECT_EQ(window_config_flags(raylib_5_0), static_cast<unsigned int>(FLAG_MSAA_4X_HINT));
    EXPECT_EQ(window_config_flags(raylib_5_5), static_cast<unsigned int>(FLAG_MSAA_4X_HINT));
    EXPECT_EQ(window_config_flags(raylib_6_0), static_cast<unsigned int>(FLAG_MSAA_4X_HINT | FLAG_WINDOW_HIGHDPI));
    EXPECT_EQ(window_config_flags(raylib_release), static_cast<unsigned int>(FLAG_MSAA_4X_HINT));
}

}  // namespace
