// The frame's step: the frame time scaled by game_speed, capped at 0.15 s. The cap
// also takes a step that is not a number: the file may say game_speed=nan or
// game_speed=1e999 (infinite), and the first frame lasts 0 s.
#include <gtest/gtest.h>

#include <limits>

#include "app/frame_loop.h"

TEST(FrameStep, ScaledByGameSpeedAndCappedAtFifteenHundredths) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double sixtieth = static_cast<double>(1.0f / 60.0f);
    const struct Row {
        const char *what;
        float frame;
        double speed;
        double step;
    } rows[] = {
        {"at speed 1", 1.0f / 60.0f, 1.0, sixtieth},
        {"at speed 2", 1.0f / 60.0f, 2.0, 2.0 * sixtieth},
        {"at half speed", 0.05f, 0.5, 0.5 * static_cast<double>(0.05f)},
        {"a frame of no time", 0.0f, 1.0, 0.0},
        {"a stall", 0.5f, 1.0, 0.15},
        {"0.1667 at speed 10", 1.0f / 60.0f, 10.0, 0.15},
        {"a huge speed", 0.1f, 1e9, 0.15},
        {"just below the cap", 0.149f, 1.0, static_cast<double>(0.149f)},
        {"below the cap at speed 2", 0.07f, 2.0, 2.0 * static_cast<double>(0.07f)},
        {"no lower bound: a negative speed", 0.016f, -1.0, -static_cast<double>(0.016f)},
        {"an infinite speed", 1.0f / 60.0f, inf, max_frame_delta},
        {"0 s times an infinite speed", 0.0f, inf, max_frame_delta},
        {"a nan speed", 1.0f / 60.0f, nan, max_frame_delta},
    };
    for (const Row &row : rows) EXPECT_EQ(scaled_frame_delta(row.frame, row.speed), row.step) << row.what;
}
