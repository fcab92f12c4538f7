#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/game_state.h"
#include "gameplay/input.h"
#include "net/online.h"
#include "settings/settings.h"
#include "testing.h"
#include "ui/menu.h"
#include "ui/menu_focus.h"
#include "ui/pause_menu.h"
#include "ui_fixture.h"

namespace {

// A pad that is not the first: any connected pad drives the menus.
constexpr int pad = 3;

// One press per character, each held one frame and released for one:
// pad  ^ v < > D-pad, | stick down, a A, b B, s START;
// keys U D L R arrows, E Enter, _ Space, X Escape, K Backspace, T Tab.
// A direction is held for `held` frames.
void press(char c, int held) {
    const MenuPadControls &p = menu_pad_controls;
    struct Press {
        char c;
        int key, button;
    };
    const Press presses[] = {{'^', 0, p.up},
                             {'v', 0, p.down},
                             {'<', 0, p.left},
                             {'>', 0, p.right},
                             {'a', 0, p.press},
                             {'b', 0, p.back},
                             {'s', 0, gamepad_controls.pause},
                             {'U', menu_keys.up[0], 0},
                             {'D', menu_keys.down[0], 0},
                             {'L', menu_keys.left[0], 0},
                             {'R', menu_keys.right[0], 0},
                             {'E', KEY_ENTER, 0},
                             {'_', KEY_SPACE, 0},
                             {'X', KEY_ESCAPE, 0},
                             {'K', KEY_BACKSPACE, 0},
                             {'T', menu_keys.next, 0}};
    if (c == '|') {
        testing_gamepad_axis(pad, p.axis_y, 0.9f);
        ui_frame();
        testing_gamepad_axis(pad, p.axis_y, 0.0f);
        ui_frame();
        return;
    }
    for (const Press &x : presses) {
        if (x.c != c) continue;
        const bool direction = std::strchr("^v<>UDLR", c) != nullptr;
        if (x.key != 0) testing_key_down(x.key);
        if (x.key == 0) testing_gamepad_button(pad, x.button, true);
        ui_frames(direction ? held : 1);
        if (x.key != 0) {
            testing_key_up(x.key);
            ui_frame();
            return;
        }
        testing_gamepad_button(pad, x.button, false);
        ui_frame();
        return;
    }
    ADD_FAILURE() << "no press '" << c << "'";
}

class MenuFocusTest : public MenuTest {
protected:
    void SetUp() override {
        MenuTest::SetUp();
        testing_gamepad_connect(pad, "test pad");
        reset_menu_focus();
    }
    void TearDown() override {
        online_cancel();
        testing_gamepad_disconnect(pad);
        MenuTest::TearDown();
    }
};

TEST_F(MenuFocusTest, EveryPageWorksWithAPadAloneOrTheKeysAlone) {
    enum class Start { title, paused_bot_match };
    struct Row {
        const char *what;
        Start start;
        const char *presses;
        ScreenState screen;
        MenuPage page;
        bool vsync_flipped = false;     // and saved
        const char *address = nullptr;  // typed in the JOIN box
        bool typing = false;            // the box takes the keyboard's typing
        double frame_time = ui_frame_dt;
        int held = 1;  // frames each direction is held
    };
    const Row rows[] = {
        // The A (or Space) that chooses BOT does not join player 1 as well.
        {"pad: PLAY, BOT", Start::title, "av|a", ScreenState::match, MenuPage::main},
        {"keys: PLAY, BOT", Start::title, "_DD_", ScreenState::match, MenuPage::main},
        {"pad: B goes back a page", Start::title, "ab", ScreenState::menu, MenuPage::main},
        {"keys: SETTINGS, VSYNC", Start::title, "TEDE", ScreenState::menu, MenuPage::settings, true},
        {"keys: Backspace leaves SETTINGS", Start::title, "DEK", ScreenState::menu, MenuPage::main},
        {"pad: START resumes", Start::paused_bot_match, "s", ScreenState::match, MenuPage::main},
        {"pad: START pauses", Start::paused_bot_match, "ss", ScreenState::paused, MenuPage::main},
        {"pad: MAIN MENU", Start::paused_bot_match, "vva", ScreenState::menu, MenuPage::main},
        {"keys: MAIN MENU", Start::paused_bot_match, "UE", ScreenState::menu, MenuPage::main},
        // ONLINE, JOIN, the box, then 127.0.0.1 on the on-screen keyboard, which B closes.
        {"pad: JOIN types an address", Start::title,
         "ava"
         "va"
         "a"
         "a>a>>>>>a"
         "vvva"
         "^^^>>>a"
         "vvv<<a"
         "^^^>>>a"
         "vvv<<a"
         "^^^<<<<<<a"
         "b",
         ScreenState::menu, MenuPage::joining, false, "127.0.0.1"},
        {"keys: Enter on the box starts typing", Start::title, "_D_D_E", ScreenState::menu, MenuPage::joining, false,
         "", true},
        // A tap seen by two frames of a slow machine moves one control, a real hold more.
        {"keys at 2 fps: one tap, one control", Start::title, "_DD_", ScreenState::match, MenuPage::main, false,
         nullptr, false, 0.6, 2},
        {"keys at 3 fps: a held Down repeats", Start::title, "_D_", ScreenState::match, MenuPage::main, false, nullptr,
         false, 0.3, 6},
        {"keys: a held Down repeats after 0.4 s", Start::title, "_D_", ScreenState::match, MenuPage::main, false,
         nullptr, false, ui_frame_dt, 27},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        MenuTest::SetUp();
        reset_menu_focus();
        ui_frame();  // the page as it stands, before any press
        online_address[0] = '\0';
        write_file("settings.cfg", initial_settings_file);
        settings = Settings{};
        if (row.start == Start::paused_bot_match) pause_a_bot_match();
        const bool vsync = settings.vsync;
        testing_set_fixed_frame_time(row.frame_time);
        for (const char *c = row.presses; *c != '\0'; ++c) press(*c, row.held);
        testing_set_fixed_frame_time(ui_frame_dt);

        EXPECT_EQ(game_state.screen_state, row.screen);
        EXPECT_EQ(menu_page, row.page);
        if (row.start == Start::title && row.screen == ScreenState::match) {
            EXPECT_TRUE(game_state.bot_enabled);
            EXPECT_FALSE(game_state.joined[0]) << "the menu's press joined player 1";
        }
        EXPECT_EQ(settings.vsync, row.vsync_flipped ? !vsync : vsync);
        const std::string saved = row.vsync_flipped == vsync ? "vsync=false" : "vsync=true";
        EXPECT_NE(settings_file().find(saved), std::string::npos) << settings_file();
        if (row.address != nullptr) {
            EXPECT_STREQ(online_address, row.address);
            EXPECT_FALSE(on_screen_keyboard_open());
            EXPECT_EQ(online_address_editing, row.typing);
        }
        if (row.screen == ScreenState::menu) {
            EXPECT_TRUE(menu_focus_shown());
        }
        if (game_state.screen_state != ScreenState::menu) set_screen_state(ScreenState::menu);
        online_cancel();
        menu_page = MenuPage::main;
    }
}

}  // namespace
