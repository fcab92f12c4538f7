#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>

#include "app/game_state.h"
#include "audio/sound_bank.h"
#include "raygui.h"
#include "testing.h"
#include "ui/menu.h"
#include "ui/menu_layout.h"
#include "ui/pause_menu.h"
#include "ui/theme.h"
#include "ui_fixture.h"

namespace {

// Rightmost and leftmost non-sky columns of the title band, and their middle.
double title_middle(const Image &frame) {
    int left = frame.width, right = -1;
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < frame.width - 110; ++x) {  // the FPS counter's corner aside
            if (!is_background(pixel_at(frame, x, y))) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    return right >= left ? (left + right) / 2.0 : -1.0;
}

// Controls laid out by hand (not through a menu draw) must not disturb the menus.
class MenuColumnTest : public MenuTest {
protected:
    void TearDown() override {
        end_menu_column();
        MenuTest::TearDown();
    }
};

TEST_F(MenuColumnTest, StacksControlsAndKeepsExplicitOnes) {
    set_button_size(250.0f, 75.0f);
    begin_menu_column(50.0f, 250.0f, 25.0f);
    Rectangle a = place_menu_control(Rectangle{}, 250.0f, 75.0f);
    Rectangle box = place_menu_control(Rectangle{}, 20.0f, 20.0f);
    // A given size is kept, only the position comes from the column.
    Rectangle wide = place_menu_control(Rectangle{999.0f, 999.0f, 400.0f, 30.0f}, 250.0f, 75.0f);
    // Only an all-zero size is "empty": a zero width with a height is used as it is.
    Rectangle thin = place_menu_control(Rectangle{0.0f, 0.0f, 0.0f, 10.0f}, 250.0f, 75.0f);
    Rectangle after = place_menu_control(Rectangle{}, 250.0f, 75.0f);
    end_menu_column();

    EXPECT_EQ(a, (Rectangle{50.0f, 250.0f, 250.0f, 75.0f}));
    EXPECT_EQ(box, (Rectangle{50.0f, 350.0f, 20.0f, 20.0f}));
    EXPECT_EQ(wide, (Rectangle{50.0f, 395.0f, 400.0f, 30.0f}));
    EXPECT_EQ(thin, (Rectangle{50.0f, 450.0f, 0.0f, 10.0f}));
    EXPECT_EQ(after, (Rectangle{50.0f, 485.0f, 250.0f, 75.0f}));

    // Outside a column a control stays where its rectangle says, and the column's
    // position survives its end.
    Rectangle loose = place_menu_control(Rectangle{5.0f, 6.0f, 7.0f, 8.0f}, 250.0f, 75.0f);
    EXPECT_EQ(loose, (Rectangle{5.0f, 6.0f, 7.0f, 8.0f}));
    EXPECT_EQ(menu_column.y, 585.0f);
    EXPECT_FALSE(menu_column.active);
}

// A column left open would pull the next screen's loose controls into it.
TEST_F(MenuTest, EveryScreenEndsTheColumnItBegins) {
    for (const MenuPage page :
         {MenuPage::main, MenuPage::play, MenuPage::settings, MenuPage::online, MenuPage::hosting, MenuPage::joining}) {
        menu_page = page;
        draw_title_screen();
        EXPECT_FALSE(menu_column.active) << static_cast<int>(page);
    }
    menu_page = MenuPage::main;
    for (const bool settings_page : {false, true}) {
        pause_settings_open = settings_page;
        draw_pause_screen();
        EXPECT_FALSE(menu_column.active) << settings_page;
    }
    pause_settings_open = false;
}

int action_runs = 0;
std::size_t sounds_at_action = 0;
void count_action() {
    ++action_runs;
    sounds_at_action = live_sound_count();
}

TEST_F(MenuColumnTest, ButtonPlaysItsSoundBeforeItsActionAndOnlyWithAnAction) {
    action_runs = 0;
    set_button_size(100.0f, 40.0f);
    const auto frame_with_buttons = [] {
        BeginDrawing();
        menu_button("WITH", Rectangle{600.0f, 600.0f, 0.0f, 0.0f}, count_action, ClickSound::none);
        menu_button("ECHO", Rectangle{800.0f, 600.0f, 0.0f, 0.0f}, count_action, ClickSound::echo);
        menu_button("BARE", Rectangle{1000.0f, 600.0f, 0.0f, 0.0f}, nullptr, ClickSound::click);
        EndDrawing();
    };
    const auto click = [&](float x) {
        testing_mouse_move(x, 620.0f);
        frame_with_buttons();
        testing_mouse_button_down(MOUSE_BUTTON_LEFT);
        frame_with_buttons();
        testing_mouse_button_up(MOUSE_BUTTON_LEFT);
        frame_with_buttons();
    };

    click(650.0f);
    EXPECT_EQ(action_runs, 1);
    EXPECT_EQ(live_sound_count(), 0u) << "ClickSound::none must stay silent";

    click(850.0f);
    EXPECT_EQ(action_runs, 2);
    EXPECT_EQ(sounds_at_action, 1u) << "the click sounds before the action runs";
    EXPECT_EQ(live_sound_count(), 1u);
    EXPECT_GT(pull_peak(0.2), 0.01f);
    finish_sounds();

    click(1050.0f);
    EXPECT_EQ(action_runs, 2);
    EXPECT_EQ(live_sound_count(), 0u) << "a button without an action makes no sound";

    // Pressed on one button, released off it: nothing.
    testing_mouse_move(650.0f, 620.0f);
    frame_with_buttons();
    testing_mouse_button_down(MOUSE_BUTTON_LEFT);
    frame_with_buttons();
    testing_mouse_move(650.0f, 700.0f);
    testing_mouse_button_up(MOUSE_BUTTON_LEFT);
    frame_with_buttons();
    EXPECT_EQ(action_runs, 2);
}

TEST_F(MenuTest, TitleFontsAreRasterisedAtTheirSizes) {
    EXPECT_EQ(title_font.baseSize, 128);
    EXPECT_EQ(menu_font.baseSize, 64);
    EXPECT_EQ(menu_font.glyphCount, 95);  // printable ASCII
    EXPECT_EQ(GuiGetStyle(CHECKBOX, TEXT_PADDING), 20);
}

TEST_F(MenuTest, TitleScreenDrawsTheTitleCentredAndTheMainButtons) {
    Image frame = ui_frame_capture();
    ASSERT_EQ(frame.width, 1280);
    ASSERT_EQ(frame.height, 720);

    // The title's ink lies in a band around y 50..125 and is centred on the window.
    EXPECT_NEAR(title_middle(frame), 640.0, 12.0);

    // Each button fills 250 × 75 at x 50: inside differs from the sky, just outside does not.
    for (int top : {250, 350, 450}) {
        EXPECT_FALSE(is_background(pixel_at(frame, 175, top + 5))) << "button at y " << top;
        EXPECT_FALSE(is_background(pixel_at(frame, 52, top + 37))) << "button at y " << top;
        EXPECT_FALSE(is_background(pixel_at(frame, 297, top + 70))) << "button at y " << top;
        EXPECT_TRUE(is_background(pixel_at(frame, 47, top + 37))) << "left of button at y " << top;
        EXPECT_TRUE(is_background(pixel_at(frame, 303, top + 37))) << "right of button at y " << top;
        EXPECT_TRUE(is_background(pixel_at(frame, 175, top + 85))) << "gap below button at y " << top;
    }
    EXPECT_TRUE(is_background(pixel_at(frame, 175, 590))) << "the main page has three buttons";
    UnloadImage(frame);
}

TEST_F(MenuTest, AfterAResizeTheTitleFollowsTheWidthAndTheButtonsStay) {
    SetWindowSize(1000, 720);
    ui_frame();
    Image frame = ui_frame_capture();
    SetWindowSize(1280, 720);
    ui_frame();
    ASSERT_EQ(frame.width, 1000);
    EXPECT_NEAR(title_middle(frame), 500.0, 12.0);
    EXPECT_FALSE(is_background(pixel_at(frame, 52, 287)));
    EXPECT_TRUE(is_background(pixel_at(frame, 47, 287)));
    EXPECT_TRUE(is_background(pixel_at(frame, 303, 287)));
    UnloadImage(frame);
}

TEST_F(MenuTest, PlayOpensThePlayPageFromTheNextFrameAndBackReturns) {
    // The frame of the click still shows the main page: no fourth button yet.
    Image clicked = click_capture(60.0f, 260.0f);  // PLAY
    EXPECT_TRUE(is_background(pixel_at(clicked, 175, 560)));
    EXPECT_FALSE(is_background(pixel_at(clicked, 175, 460)));
    UnloadImage(clicked);
    EXPECT_EQ(menu_page, MenuPage::play);
    EXPECT_EQ(live_sound_count(), 1u) << "PLAY clicks";
    finish_sounds();

    // The play page has a fourth button at y 550.
    Image frame = ui_frame_capture();
    EXPECT_FALSE(is_background(pixel_at(frame, 175, 560)));
    UnloadImage(frame);

    click_at(290.0f, 600.0f);  // BACK, near its lower right corner
    EXPECT_EQ(menu_page, MenuPage::main);
    EXPECT_EQ(game_state.screen_state, ScreenState::menu);
    EXPECT_EQ(live_sound_count(), 1u);
}

TEST_F(MenuTest, OnlineHighlightsAndOpensTheOnlinePage) {
    click_at(60.0f, 260.0f);  // PLAY
    finish_sounds();

    testing_mouse_move(175.0f, 380.0f);
    ui_frame();
    Image hovered = ui_frame_capture();
    const Color focused = pixel_at(hovered, 57, 357);
    UnloadImage(hovered);
    testing_mouse_move(1200.0f, 700.0f);
    Image idle = ui_frame_capture();
    const Color normal = pixel_at(idle, 57, 357);
    UnloadImage(idle);
    EXPECT_FALSE(test_support::same_rgb(focused, normal)) << "ONLINE reacts to the mouse like any button";

    click_at(175.0f, 380.0f);  // ONLINE
    ui_frame();
    EXPECT_EQ(menu_page, MenuPage::online);
    EXPECT_EQ(game_state.screen_state, ScreenState::menu);
    EXPECT_EQ(live_sound_count(), 1u) << "one click";
}

TEST_F(MenuTest, LocalStartsAMatchThatWaitsForBothPlayers) {
    click_at(60.0f, 260.0f);  // PLAY
    ui_frame();
    finish_sounds();
    click_at(60.0f, 260.0f);  // LOCAL (same place, next page)
    EXPECT_EQ(game_state.screen_state, ScreenState::match);
    EXPECT_EQ(menu_page, MenuPage::main) << "the title screen reopens on its main page";
    EXPECT_FALSE(game_state.bot_enabled);
    EXPECT_FALSE(game_state.joined[0]);
    EXPECT_FALSE(game_state.joined[1]);
    EXPECT_EQ(live_sound_count(), 1u) << "one echo click, no sound of the state change";
}

TEST_F(MenuTest, BotStartsAMatchWithTheBotJoinedAsPlayerTwo) {
    click_at(60.0f, 260.0f);  // PLAY
    ui_frame();
    finish_sounds();
    click_at(60.0f, 460.0f);  // BOT
    EXPECT_EQ(game_state.screen_state, ScreenState::match);
    EXPECT_EQ(menu_page, MenuPage::main);
    EXPECT_TRUE(game_state.bot_enabled);
    EXPECT_EQ(game_state.bot.player, &game_state.players[1]);
    EXPECT_TRUE(game_state.joined[1]);
    EXPECT_FALSE(game_state.joined[0]) << "player 1 still has to join";
    EXPECT_EQ(live_sound_count(), 1u);

    // Space joins player 1; the match is then under way.
    tap_key(KEY_SPACE);
    EXPECT_TRUE(game_state.joined[0]);
    EXPECT_TRUE(both_joined());
}

TEST_F(MenuTest, ExitRequestsTheQuitWithAClick) {
    click_at(60.0f, 460.0f);  // EXIT
    EXPECT_TRUE(game_state.quit_requested);
    EXPECT_EQ(game_state.screen_state, ScreenState::menu);
    EXPECT_EQ(live_sound_count(), 1u);
}

TEST_F(MenuTest, EscapeDoesNothingOnTheTitleScreen) {
    tap_key(KEY_ESCAPE);
    EXPECT_EQ(game_state.screen_state, ScreenState::menu);
    EXPECT_FALSE(game_state.quit_requested);
    EXPECT_EQ(menu_page, MenuPage::main);
}

TEST_F(MenuTest, ReleasingOverAnotherButtonTriggersThatOne) {
    testing_mouse_move(60.0f, 260.0f);  // PLAY
    ui_frame();
    testing_mouse_button_down(MOUSE_BUTTON_LEFT);
    ui_frame();
    testing_mouse_move(60.0f, 360.0f);  // SETTINGS
    testing_mouse_button_up(MOUSE_BUTTON_LEFT);
    ui_frame();
    EXPECT_EQ(menu_page, MenuPage::settings);
}

TEST_F(MenuTest, SettingsOpensTheSettingsPageAndItsBackReturns) {
    click_at(60.0f, 360.0f);  // SETTINGS
    EXPECT_EQ(menu_page, MenuPage::settings);
    click_at(60.0f, 540.0f);  // BACK of the settings column
    EXPECT_EQ(menu_page, MenuPage::main);
}

}  // namespace
