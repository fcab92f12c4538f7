// The frame's step when game_speed is not a finite number: the file may say
// game_speed=1e999 (infinite) or nan, and the first frame lasts 0 s.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app/frame_loop.h"

TEST(FrameStep, ANonFiniteSpeedNeverYieldsANanStep) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(scaled_frame_delta(1.0f / 60.0f, inf), max_frame_delta);
    EXPECT_EQ(scaled_frame_delta(0.0f, inf), max_frame_delta);  // 0 × inf
    EXPECT_EQ(scaled_frame_delta(1.0f / 60.0f, nan), max_frame_delta);
}
