#include <gtest/gtest.h>

#include "app/game_state.h"
#include "audio/music.h"
#include "audio/sound_bank.h"
#include "render/model_registry.h"
#include "settings/settings.h"
#include "ui/menu.h"
#include "ui/pause_menu.h"
#include "ui_fixture.h"

namespace {

class PauseMenuTest : public MenuTest {
protected:
    void SetUp() override {
        MenuTest::SetUp();
        pause_a_bot_match();
    }
};

TEST_F(PauseMenuTest, DarkensTheFrameAndShowsItsThreeButtons) {
    Image frame = ui_frame_capture();
    // Away from the controls the sky is darkened by black at alpha 76.
    const Color c = pixel_at(frame, 900, 650);
    EXPECT_NEAR(c.r, 36 * 179 / 255, 3);
    EXPECT_NEAR(c.g, 152 * 179 / 255, 3);
    EXPECT_NEAR(c.b, 201 * 179 / 255, 3);
    for (int top : {250, 350, 450}) {
        const Color inside = pixel_at(frame, 57, top + 7);
        EXPECT_FALSE(test_support::same_rgb(inside, c)) << "button at y " << top;
    }
    const Color below = pixel_at(frame, 57, 557);
    EXPECT_TRUE(test_support::same_rgb(below, c)) << "no fourth button";
    UnloadImage(frame);
}

TEST_F(PauseMenuTest, TheMatchStaysFrozenWhilePaused) {
    const double t = game_state.match_time;
    const Vec3d p = game_state.players[1].instance->position;
    ui_frames(20);
    EXPECT_EQ(game_state.match_time, t);
    EXPECT_EQ(game_state.players[1].instance->position.x, p.x);
    EXPECT_EQ(game_state.players[1].instance->position.z, p.z);
}

TEST_F(PauseMenuTest, ResumeMakesExactlyOneSound) {
    click_at(60.0f, 260.0f);
    EXPECT_EQ(game_state.screen_state, ScreenState::match);
    EXPECT_EQ(live_sound_count(), 1u) << "the echo click of leaving the pause, nothing more";
}

TEST_F(PauseMenuTest, EscapeReopensOnTheLastPage) {
    click_at(60.0f, 360.0f);  // SETTINGS
    EXPECT_TRUE(pause_settings_open);
    EXPECT_EQ(live_sound_count(), 1u);
    EXPECT_EQ(game_state.screen_state, ScreenState::paused);

    tap_key(KEY_ESCAPE);
    EXPECT_EQ(game_state.screen_state, ScreenState::match);
    tap_key(KEY_ESCAPE);
    ASSERT_EQ(game_state.screen_state, ScreenState::paused);
    EXPECT_TRUE(pause_settings_open);

    // Only the settings column has a control at y 530..605: its BACK.
    click_at(60.0f, 560.0f);
    EXPECT_FALSE(pause_settings_open);
    EXPECT_EQ(game_state.screen_state, ScreenState::paused);

    // And the next pause opens on the buttons again.
    tap_key(KEY_ESCAPE);
    tap_key(KEY_ESCAPE);
    EXPECT_FALSE(pause_settings_open);
    click_at(60.0f, 560.0f);
    EXPECT_EQ(game_state.screen_state, ScreenState::paused) << "nothing at y 560 on the button page";
}

TEST_F(PauseMenuTest, TogglingASettingKeepsTheMatchPaused) {
    click_at(60.0f, 360.0f);  // SETTINGS
    ui_frame();
    ASSERT_TRUE(settings.enable_music);
    EXPECT_TRUE(IsMusicStreamPlaying(background_music)) << "the pause screen keeps the music going";
    click_at(60.0f, 350.0f);  // MUSIC
    ui_frame();
    EXPECT_FALSE(settings.enable_music);
    EXPECT_FALSE(IsMusicStreamPlaying(background_music)) << "switched off from the pause screen";
    EXPECT_NE(settings_file().find("enable_music=false\r\n"), std::string::npos);
    EXPECT_EQ(game_state.screen_state, ScreenState::paused);
    click_at(60.0f, 350.0f);
    ui_frame();
    EXPECT_TRUE(IsMusicStreamPlaying(background_music)) << "switched on again from the pause screen";
}

TEST_F(PauseMenuTest, MainMenuResetsTheMatchAndOpensTheMainPage) {
    menu_page = MenuPage::main;
    click_at(60.0f, 460.0f);  // MAIN MENU
    EXPECT_EQ(game_state.screen_state, ScreenState::menu);
    EXPECT_EQ(live_sound_count(), 1u) << "its echo click only";
    EXPECT_FALSE(game_state.bot_enabled);
    EXPECT_EQ(game_state.players[0].lives, 3);
    EXPECT_EQ(game_state.match_time, 0.0);
    ui_frame();
    EXPECT_EQ(menu_page, MenuPage::main);

    // LOCAL afterwards needs both players to join again.
    click_at(60.0f, 260.0f);  // PLAY
    ui_frame();
    click_at(60.0f, 260.0f);  // LOCAL
    EXPECT_EQ(game_state.screen_state, ScreenState::match);
    EXPECT_FALSE(game_state.joined[0]);
    EXPECT_FALSE(game_state.joined[1]);
}

}  // namespace
