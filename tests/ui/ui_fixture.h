// The whole game started in a scratch working directory (assets linked in, a known
// settings.cfg), driven one light frame at a time: the real update, then only the 2D
// pass of the current screen, so menus can be clicked quickly without the shadow pass.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "raylib.h"
#include "support/colours.h"
#include "support/files.h"

inline constexpr double ui_frame_dt = 1.0 / 60.0;

// The settings.cfg the scratch directory starts with: the defaults, in the file's
// exact form.
inline const std::string &initial_settings_file = test_support::default_settings_file;

// One frame: update_game, then the current screen's GUI pass over a cleared frame.
void ui_frame();
inline void ui_frames(int n) {
    for (int i = 0; i < n; ++i) ui_frame();
}
// The same frame, read back just before it is presented. Free with UnloadImage.
Image ui_frame_capture();

// Moves there, presses and releases the left button over three frames; the click's
// action runs in the last of them, whose frame click_capture returns, read back at
// its end.
Image click_capture(float x, float y);
inline void click_at(float x, float y) { UnloadImage(click_capture(x, y)); }
// A key pressed and released over two frames; the game sees the press in the first.
void tap_key(int key);

// Plays every started sound to its end (the mix is pulled by hand, no device) and
// releases them, so that live_sound_count() starts from zero.
void finish_sounds();
// Pulls `seconds` of the mix and returns its peak absolute sample.
float pull_peak(double seconds);

// Rectangles compare field by field and print as {x, y, width, height} in failures.
inline bool operator==(const Rectangle &a, const Rectangle &b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}
inline void PrintTo(const Rectangle &r, std::ostream *os) {
    *os << "{" << r.x << ", " << r.y << ", " << r.width << ", " << r.height << "}";
}

using test_support::read_file;
using test_support::write_file;
// settings.cfg in the scratch directory (the working directory during tests).
inline std::string settings_file() { return read_file("settings.cfg"); }

inline Color pixel_at(const Image &image, int x, int y) { return GetImageColor(image, x, y); }
bool is_background(Color c);

// Every test starts on the title screen's main page with nothing playing and the
// sound effects on.
class MenuTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // PLAY, BOT, player 1 joins, then Escape pauses; the sounds are finished.
    void pause_a_bot_match();
};
