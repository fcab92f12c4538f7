// The engine's window for tests that draw or read input, with a fixed frame time so
// that anything timed by frames comes out the same on every run.
#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "raylib.h"
#include "testing.h"

namespace test_support {

inline constexpr double test_frame_time = 1.0 / 60.0;

inline void open_test_window(int width, int height, const char *title) {
    InitWindow(width, height, title);
    testing_set_fixed_frame_time(test_frame_time);
}

// Closes the window and gives the frame time back to the clock.
inline void close_test_window() {
    CloseWindow();
    testing_set_fixed_frame_time(-1.0);
}

// Draws `body` over `clear` and returns the frame as it stands before EndDrawing.
inline Image drawn_frame(const std::function<void()> &body, Color clear = BLACK) {
    BeginDrawing();
    ClearBackground(clear);
    body();
    Image img = testing_read_frame();
    EndDrawing();
    return img;
}

// A test suite whose tests share one Width x Height window, opened before the first
// test and closed after the last.
template <int Width, int Height>
class WindowSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() { open_test_window(Width, Height, "test"); }
    static void TearDownTestSuite() { close_test_window(); }
};

// A 45-degree perspective camera at `position`, looking at the origin with +y up.
inline Camera3D camera_looking_at_origin(Vector3 position) {
    Camera3D camera{};
    camera.position = position;
    camera.target = Vector3{0.0f, 0.0f, 0.0f};
    camera.up = Vector3{0.0f, 1.0f, 0.0f};
    camera.fovy = 45.0f;
    camera.projection = CAMERA_PERSPECTIVE;
    return camera;
}

}  // namespace test_support
