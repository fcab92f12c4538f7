// The shadow map's DPI step.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "settings/display.h"

// The integer part of the desktop's scale multiplies the map; scales below one never
// empty it, and it stays within the largest texture, also where the product would
// leave 32 bits.
TEST(DpiStep, IntegerPartOfTheScaleMultipliesTheMapUpToTheLargestTexture) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const struct Row {
        int size;
        float scale;
        int cap;
        int expected;
    } rows[] = {
        {4096, 1.0f, 16384, 4096},  {4096, 1.25f, 16384, 4096},  {4096, 1.5f, 16384, 4096},
        {4096, 1.75f, 16384, 4096}, {4096, 1.999f, 16384, 4096}, {4096, 2.0f, 16384, 8192},
        {4096, 2.5f, 16384, 8192},  {4096, 3.0f, 16384, 12288},  {4096, 0.0f, 16384, 4096},
        {4096, 0.5f, 16384, 4096},  {4096, 0.99f, 16384, 4096},  {4096, -2.0f, 16384, 4096},
        {4096, nan, 16384, 4096},   {4096, 5.0f, 16384, 16384},  {4096, 3.0f, 8192, 8192},
        {4096, 1e9f, 16384, 16384}, {4096, inf, 16384, 16384},   {2147483647, 2.0f, 2147483647, 2147483647},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(scaled_shadow_map_size(row.size, row.scale, row.cap), row.expected)
            << row.size << " at scale " << row.scale << " within " << row.cap;
    }
}
