// The frame's delta time: scaled by game_speed, capped at 0.15 s.
#include <gtest/gtest.h>

#include "app/frame_loop.h"

TEST(FrameDelta, ScaledByGameSpeed) {
    const double sixtieth = static_cast<double>(1.0f / 60.0f);
    EXPECT_DOUBLE_EQ(scaled_frame_delta(1.0f / 60.0f, 1.0), sixtieth);
    EXPECT_DOUBLE_EQ(scaled_frame_delta(1.0f / 60.0f, 2.0), 2.0 * sixtieth);
    EXPECT_DOUBLE_EQ(scaled_frame_delta(0.05f, 0.5), 0.5 * static_cast<double>(0.05f));
    EXPECT_EQ(scaled_frame_delta(0.0f, 1.0), 0.0);
}

TEST(FrameDelta, CappedAtFifteenHundredths) {
    EXPECT_EQ(scaled_frame_delta(0.5f, 1.0), 0.15);           // a stall
    EXPECT_EQ(scaled_frame_delta(1.0f / 60.0f, 10.0), 0.15);  // 0.1667 at speed 10
    EXPECT_EQ(scaled_frame_delta(0.1f, 1e9), 0.15);
    // Just below the cap passes through unchanged.
    EXPECT_DOUBLE_EQ(scaled_frame_delta(0.149f, 1.0), static_cast<double>(0.149f));
    EXPECT_DOUBLE_EQ(scaled_frame_delta(0.07f, 2.0), 2.0 * static_cast<double>(0.07f));
    // No lower bound: a negative speed yields a negative step.
    EXPECT_LT(scaled_frame_delta(0.016f, -1.0), 0.0);
}
