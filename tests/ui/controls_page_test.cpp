#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "app/game_state.h"
#include "audio/sound_bank.h"
#include "settings/settings.h"
#include "ui/controls_page.h"
#include "ui/menu.h"
#include "ui/pause_menu.h"
#include "ui/theme.h"
#include "ui_fixture.h"

namespace {

// The page shows itself, not the settings column under it: its BACK (y 550..625) is
// there and the column's BACK (y 530..605) is not.
void expect_controls_page_shown() {
    Image frame = ui_frame_capture();
    EXPECT_FALSE(is_background(pixel_at(frame, 57, 580))) << "the page's BACK";
    EXPECT_TRUE(is_background(pixel_at(frame, 57, 537)) || game_state.screen_state == ScreenState::paused)
        << "the settings column's BACK";
    // Ink in the first cell of every action row and in the gamepad's header.
    const ControlsLayout l = controls_layout(GetScreenWidth(), GetScreenHeight());
    auto inked = [&](int row, int column) {
        int ink = 0;
        const int x0 = static_cast<int>(l.column_x[column]);
        const int y0 = static_cast<int>(l.row_y[row]);
        for (int y = y0; y < y0 + static_cast<int>(l.text_size); ++y)
            for (int x = x0; x < x0 + 60; ++x) ink += pixel_at(frame, x, y).r > 200 ? 1 : 0;  // cream text
        return ink;
    };
    for (int row = 1; row < controls_rows; ++row) EXPECT_GT(inked(row, 0), 20) << "row " << row;
    EXPECT_GT(inked(0, 3), 20) << "GAMEPAD";
    UnloadImage(frame);
}

using ControlsPageTest = MenuTest;

TEST_F(ControlsPageTest, OpensFromTheTitleSettingsAndBackOrEscapeReturnThere) {
    click_at(60.0f, 360.0f);  // SETTINGS
    ui_frame();
    ASSERT_EQ(menu_page, MenuPage::settings);
    finish_sounds();

    for (int key : {0, static_cast<int>(KEY_ESCAPE)}) {
        SCOPED_TRACE(key == 0 ? "BACK" : "Escape");
        click_at(60.0f, 440.0f);  // CONTROLS
        EXPECT_EQ(live_sound_count(), 1u) << "CONTROLS clicks";
        EXPECT_TRUE(controls_page_open);
        expect_controls_page_shown();
        finish_sounds();

        if (key == 0) {
            click_at(60.0f, 580.0f);  // the page's BACK
            EXPECT_EQ(live_sound_count(), 1u) << "BACK clicks";
        } else {
            tap_key(key);
        }
        EXPECT_FALSE(controls_page_open);
        ui_frame();
        EXPECT_EQ(game_state.screen_state, ScreenState::menu);
        EXPECT_EQ(menu_page, MenuPage::settings) << "back on the page it came from";
        EXPECT_FALSE(game_state.quit_requested);
        finish_sounds();
    }
}

TEST_F(ControlsPageTest, OpensFromThePauseSettingsAndEscapeReturnsThereNotToTheMatch) {
    ASSERT_NO_FATAL_FAILURE(pause_a_bot_match());
    click_at(60.0f, 360.0f);  // SETTINGS
    ui_frame();
    ASSERT_TRUE(pause_settings_open);

    for (int key : {static_cast<int>(KEY_ESCAPE), 0}) {
        SCOPED_TRACE(key == 0 ? "BACK" : "Escape");
        click_at(60.0f, 440.0f);  // CONTROLS
        EXPECT_TRUE(controls_page_open);
        expect_controls_page_shown();
        const double t = game_state.match_time;
        if (key == 0) {
            click_at(60.0f, 580.0f);
        } else {
            tap_key(key);
        }
        ui_frame();
        EXPECT_FALSE(controls_page_open);
        EXPECT_EQ(game_state.screen_state, ScreenState::paused);
        EXPECT_TRUE(pause_settings_open) << "back on the pause screen's settings page";
        EXPECT_EQ(game_state.match_time, t) << "the match stays frozen";
    }
    // With the page closed, Escape resumes the match as before.
    tap_key(KEY_ESCAPE);
    EXPECT_EQ(game_state.screen_state, ScreenState::match);
}

TEST_F(ControlsPageTest, EverythingFitsInSmallAndOddWindows) {
    const int sizes[][2] = {{1280, 720}, {1920, 1080}, {1024, 768}, {800, 600}, {640, 360}, {480, 800}, {320, 180}};
    for (const auto &size : sizes) {
        const float w = static_cast<float>(size[0]);
        const float h = static_cast<float>(size[1]);
        SCOPED_TRACE(testing::Message() << size[0] << " x " << size[1]);
        const ControlsLayout l = controls_layout(size[0], size[1]);
        const float spacing = std::max(1.0f, std::round(3.0f * l.scale));
        EXPECT_LE(MeasureTextEx(title_font, "CONTROLS", l.title_size, spacing).x, w);
        EXPECT_LE(l.back.x + l.back.width, w);
        EXPECT_LE(l.back.y + l.back.height, h);
        EXPECT_LE(MeasureTextEx(menu_font, "BACK", std::floor(menu_font_size * l.scale), spacing).x, l.back.width);
        for (int c = 0; c < controls_columns; ++c) {
            for (int r = 0; r < controls_rows; ++r) {
                const float right =
                    l.column_x[c] + MeasureTextEx(menu_font, controls_cell(r, c), l.text_size, spacing).x;
                EXPECT_LE(right, c + 1 < controls_columns ? l.column_x[c + 1] : w) << controls_cell(r, c);
                EXPECT_LE(l.row_y[r] + l.text_size, l.back.y) << "above BACK";
                if (r > 0) {
                    EXPECT_GE(l.row_y[r], l.row_y[r - 1] + l.text_size) << "rows apart";
                }
            }
        }
        EXPECT_GE(l.row_y[0], 50.0f * l.scale + 75.0f * l.scale) << "below the title line";
        EXPECT_GE(l.panel.x, 0.0f);
        EXPECT_LE(l.panel.x + l.panel.width, w) << "the table's ground";
        EXPECT_LE(l.panel.y + l.panel.height, l.back.y);
    }
    // At the menus' own size the page is not shrunk at all.
    EXPECT_EQ(controls_layout(1280, 720).scale, 1.0f);
    EXPECT_EQ(controls_layout(1920, 1080).scale, 1.0f);
}

}  // namespace
