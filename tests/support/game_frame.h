// The started game's whole frame, read back as run_frame would present it.
#pragma once

#include "app/frame_loop.h"
#include "raylib.h"
#include "support/test_window.h"

namespace test_support {

// Draws the game's frame (no update) and returns it as it stands before EndDrawing.
inline Image draw_game_frame() { return drawn_frame(draw_game, frame_clear_color); }

// Pixels in the FPS counter's colours (lime, orange, red) in the top 20 rows, from 100
// to `right_margin` pixels left of the right edge.
inline int fps_counter_pixels(const Image &frame, int right_margin) {
    int pixels = 0;
    for (int y = 0; y < 20; ++y) {
        for (int x = GetScreenWidth() - 100; x < GetScreenWidth() - right_margin; ++x) {
            const Color c = GetImageColor(frame, x, y);
            const bool lime = c.r == 0 && c.g == 158 && c.b == 47;
            const bool orange = c.r == 255 && c.g == 161 && c.b == 0;
            const bool red = c.r == 230 && c.g == 41 && c.b == 55;
            pixels += (lime || orange || red) ? 1 : 0;
        }
    }
    return pixels;
}

}  // namespace test_support
