#include "ui/menu.h"

#include "app/game_state.h"
#include "gameplay/match.h"
#include "raygui.h"
#include "ui/controls_page.h"
#include "ui/menu_layout.h"
#include "ui/settings_menu.h"
#include "ui/theme.h"

MenuPage menu_page = MenuPage::main;

namespace {

void open_play_page() { menu_page = MenuPage::play; }
void open_settings_page() { menu_page = MenuPage::settings; }
void back_to_main_page() { menu_page = MenuPage::main; }
void request_quit() { game_state.quit_requested = true; }

// The page goes back to main before the match starts, so returning to the title
// screen later always opens on the main page.
void start_local_match() {
    set_screen_state(ScreenState::match);
    menu_page = MenuPage::main;
}

void start_bot_match() {
    set_screen_state(ScreenState::match);
    menu_page = MenuPage::main;
    enable_bot();
    game_state.joined[1] = true;  // the bot needs no join press; only player 1 waits
}

}  // namespace

void draw_title_screen() {
    // Opened from the settings page, over it.
    if (controls_page_open) {
        draw_controls_page();
        return;
    }
    GuiSetStyle(DEFAULT, TEXT_SPACING, 3);
    draw_screen_title("VORBEL");
    GuiSetStyle(DEFAULT, TEXT_SIZE, menu_font_size);
    set_button_size(250.0f, 75.0f);

    // Read once: an action changing the page shows from the next frame, and the rest
    // of this frame's page is still drawn.
    const MenuPage page = menu_page;
    begin_menu_column(50.0f, 250.0f, 25.0f);
    switch (page) {
    case MenuPage::main:
        menu_button("PLAY", Rectangle{}, open_play_page, ClickSound::click);
        menu_button("SETTINGS", Rectangle{}, open_settings_page, ClickSound::click);
        menu_button("EXIT", Rectangle{}, request_quit, ClickSound::click);
        break;
    case MenuPage::play:
        menu_button("LOCAL", Rectangle{}, start_local_match, ClickSound::echo);
        menu_button("ONLINE", Rectangle{}, nullptr, ClickSound::click);  // no network play
        menu_button("BOT", Rectangle{}, start_bot_match, ClickSound::echo);
        menu_button("BACK", Rectangle{}, back_to_main_page, ClickSound::click);
        break;
    case MenuPage::settings:
        draw_settings_column(back_to_main_page);
        break;
    }
    end_menu_column();
}
