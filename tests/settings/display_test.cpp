// The shadow map's DPI step.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "settings/display.h"

TEST(DpiStep, IntegerPartOfTheScaleMultipliesTheMap) {
    for (float scale : {1.0f, 1.25f, 1.5f, 1.75f, 1.999f}) EXPECT_EQ(scaled_shadow_map_size(4096, scale, 16384), 4096);
    EXPECT_EQ(scaled_shadow_map_size(4096, 2.0f, 16384), 8192);
    EXPECT_EQ(scaled_shadow_map_size(4096, 2.5f, 16384), 8192);
    EXPECT_EQ(scaled_shadow_map_size(4096, 3.0f, 16384), 12288);
}

TEST(DpiStep, ScalesBelowOneNeverEmptyTheMap) {
    for (float scale : {0.0f, 0.5f, 0.99f, -2.0f, std::numeric_limits<float>::quiet_NaN()}) {
        EXPECT_EQ(scaled_shadow_map_size(4096, scale, 16384), 4096) << scale;
    }
}

TEST(DpiStep, CappedAtTheLargestTexture) {
    EXPECT_EQ(scaled_shadow_map_size(4096, 5.0f, 16384), 16384);
    EXPECT_EQ(scaled_shadow_map_size(4096, 3.0f, 8192), 8192);
    // Scales whose product would leave 32 bits stay at the cap.
    EXPECT_EQ(scaled_shadow_map_size(4096, 1e9f, 16384), 16384);
    EXPECT_EQ(scaled_shadow_map_size(4096, std::numeric_limits<float>::infinity(), 16384), 16384);
    EXPECT_EQ(scaled_shadow_map_size(2147483647, 2.0f, 2147483647), 2147483647);
}
