#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/game_state.h"
#include "audio/music.h"
#include "audio/sound_bank.h"
#include "settings/settings.h"
#include "testing.h"
#include "ui/controls_page.h"
#include "ui/menu.h"
#include "ui_fixture.h"

namespace {

// The settings page of the title screen, with settings.cfg back at its first content.
class SettingsMenuTest : public MenuTest {
protected:
    void SetUp() override {
        MenuTest::SetUp();
        write_file("settings.cfg", initial_settings_file);
        settings = Settings{};
        click_at(60.0f, 360.0f);  // SETTINGS
        ui_frame();
        ASSERT_EQ(menu_page, MenuPage::settings);
        finish_sounds();
    }
};

// The check box tests run under both return conventions of GuiCheckBox: non-zero on a
// change (the engine's 1, raygui 5.0's RESULT_CHANGED, 2) and always 0 (raygui 4.0,
// which still flips the flag). The real raygui 4.0 and 5.0 are run by tests/e2e.
class SettingsCheckBoxTest : public SettingsMenuTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        SettingsMenuTest::SetUp();
        testing_checkbox_returns_zero(GetParam());
    }
    void TearDown() override {
        testing_checkbox_returns_zero(false);
        SettingsMenuTest::TearDown();
    }
};

INSTANTIATE_TEST_SUITE_P(ReturnConventions, SettingsCheckBoxTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool> &info) {
                             return std::string(info.param ? "returns_0" : "returns_1");
                         });

std::string with_line(std::string file, const std::string &from, const std::string &to) {
    const auto at = file.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) file.replace(at, from.size(), to);
    return file;
}

TEST_P(SettingsCheckBoxTest, EachBoxSitsAtItsRowAndSavesAtOnce) {
    // Box centres: x 60, rows 45 apart from y 250.
    click_at(60.0f, 305.0f);
    EXPECT_FALSE(settings.vsync);
    EXPECT_EQ(settings_file(), with_line(initial_settings_file, "vsync=true", "vsync=false"));

    EXPECT_TRUE(IsMusicStreamPlaying(background_music));
    click_at(60.0f, 350.0f);
    ui_frame();
    EXPECT_FALSE(settings.enable_music);
    EXPECT_FALSE(IsMusicStreamPlaying(background_music)) << "MUSIC switches the track off at once";
    std::string expected = with_line(initial_settings_file, "vsync=true", "vsync=false");
    expected = with_line(expected, "enable_music=true", "enable_music=false");
    EXPECT_EQ(settings_file(), expected);

    click_at(60.0f, 305.0f);
    click_at(60.0f, 350.0f);
    ui_frame();
    EXPECT_TRUE(settings.vsync);
    EXPECT_TRUE(settings.enable_music);
    EXPECT_TRUE(IsMusicStreamPlaying(background_music));
    EXPECT_EQ(settings_file(), initial_settings_file);
    EXPECT_EQ(game_state.screen_state, ScreenState::menu);
    EXPECT_EQ(menu_page, MenuPage::settings);
}

TEST_P(SettingsCheckBoxTest, ClickingTheTextTogglesLikeTheBox) {
    // The text starts 20 px right of the 20 px box, at x 90.
    click_at(110.0f, 395.0f);  // "SOUND EFFECTS"
    EXPECT_FALSE(settings.enable_sound_effects);
    EXPECT_EQ(settings_file(),
              with_line(initial_settings_file, "enable_sound_effects=true", "enable_sound_effects=false"));
    EXPECT_TRUE(settings.vsync);
    EXPECT_TRUE(settings.enable_music);

    click_at(85.0f, 260.0f);  // between box and text still belongs to the control
    EXPECT_EQ(settings.fullscreen, IsWindowFullscreen());
    if (IsWindowFullscreen()) {
        click_at(85.0f, 260.0f);
        EXPECT_FALSE(IsWindowFullscreen());
    }
}

TEST_P(SettingsCheckBoxTest, OneClickOnOverlappingCaptionsFlipsOneSetting) {
    // The 64 px captions reach into the neighbouring rows (45 px apart). On the upper
    // part of "VSYNC" (row 295..315) the click belongs to VSYNC alone, and just below
    // the FULLSCREEN box (250..270) to FULLSCREEN alone.
    click_at(110.0f, 285.0f);
    EXPECT_FALSE(settings.vsync);
    EXPECT_FALSE(settings.fullscreen);
    EXPECT_FALSE(IsWindowFullscreen());
    EXPECT_EQ(live_sound_count(), 1u);
    EXPECT_EQ(settings_file(), with_line(initial_settings_file, "vsync=true", "vsync=false"));

    click_at(110.0f, 330.0f);  // just above MUSIC's box (340..360)
    EXPECT_FALSE(settings.enable_music);
    EXPECT_FALSE(settings.vsync);
    click_at(110.0f, 330.0f);
    click_at(110.0f, 318.0f);  // just below VSYNC's box
    EXPECT_TRUE(settings.vsync);
    EXPECT_TRUE(settings.enable_music);
    EXPECT_EQ(settings_file(), initial_settings_file);
}

TEST_F(SettingsMenuTest, TextStandsTwentyPixelsRightOfTheBox) {
    Image frame = ui_frame_capture();
    // First ink right of the FULLSCREEN box (x 50..70), in the rows of its text.
    int first = -1;
    for (int x = 71; x < 200 && first < 0; ++x) {
        for (int y = 235; y < 290; ++y) {
            if (!is_background(pixel_at(frame, x, y))) {
                first = x;
                break;
            }
        }
    }
    UnloadImage(frame);
    EXPECT_GE(first, 90);
    EXPECT_LE(first, 100);
}

TEST_P(SettingsCheckBoxTest, SwitchingSoundEffectsOnIsHeardAndOffIsSilent) {
    click_at(60.0f, 350.0f);  // music off, so that only the effects are heard
    finish_sounds();
    click_at(60.0f, 395.0f);  // off
    EXPECT_FALSE(settings.enable_sound_effects);
    EXPECT_EQ(live_sound_count(), 0u);
    EXPECT_EQ(pull_peak(0.3), 0.0f);

    click_at(60.0f, 395.0f);  // on again
    EXPECT_TRUE(settings.enable_sound_effects);
    EXPECT_EQ(live_sound_count(), 1u);
    EXPECT_GT(pull_peak(0.3), 0.01f);
    finish_sounds();

    // Any other box clicks while sound effects are on.
    click_at(60.0f, 350.0f);
    EXPECT_EQ(live_sound_count(), 1u);
    finish_sounds();
}

TEST_P(SettingsCheckBoxTest, FullscreenRecordsTheRealWindowStateAndSavesIt) {
    click_at(60.0f, 260.0f);
    const bool now = IsWindowFullscreen();
    EXPECT_EQ(settings.fullscreen, now);
    EXPECT_EQ(settings_file(),
              with_line(initial_settings_file, "fullscreen=false", now ? "fullscreen=true" : "fullscreen=false"));
    if (now) {
        click_at(60.0f, 260.0f);
        EXPECT_FALSE(IsWindowFullscreen());
        EXPECT_FALSE(settings.fullscreen);
        EXPECT_EQ(GetScreenWidth(), 1280);
        EXPECT_EQ(GetScreenHeight(), 720);
        EXPECT_EQ(settings_file(), initial_settings_file);
    }
}

TEST_F(SettingsMenuTest, ControlsOpensTheControlsPageWithAClick) {
    click_at(60.0f, 440.0f);
    EXPECT_TRUE(controls_page_open);
    EXPECT_EQ(menu_page, MenuPage::settings);
    EXPECT_EQ(live_sound_count(), 1u);
    EXPECT_EQ(settings_file(), initial_settings_file);
    tap_key(KEY_ESCAPE);
    EXPECT_FALSE(controls_page_open);
}

TEST_P(SettingsCheckBoxTest, FlagKeepsItsNewValueWhenTheSaveFails) {
    // A directory where the file should be: no save can succeed.
    ASSERT_EQ(std::remove("settings.cfg"), 0);
    ASSERT_TRUE(std::filesystem::create_directory("settings.cfg"));
    click_at(60.0f, 350.0f);
    EXPECT_FALSE(settings.enable_music);
    EXPECT_EQ(game_state.screen_state, ScreenState::menu);
    std::filesystem::remove("settings.cfg");
}

}  // namespace
