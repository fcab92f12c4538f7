#include "ui/menu.h"

#include "app/game_state.h"
#include "audio/sound_bank.h"
#include "gameplay/match.h"
#include "raygui.h"
#include "ui/settings_menu.h"
#include "ui/theme.h"

MenuColumn menu_column;
MenuPage menu_page = MenuPage::main;

void set_button_size(float width, float height) {
    menu_column.button_width = width;
    menu_column.button_height = height;
}

void begin_menu_column(float x, float y, float gap) {
    menu_column.active = true;
    menu_column.x = x;
    menu_column.y = y;
    menu_column.gap = gap;
}

void end_menu_column() { menu_column.active = false; }

Rectangle place_menu_control(Rectangle bounds, float default_width, float default_height) {
    if (bounds.width == 0.0f && bounds.height == 0.0f) {
        bounds.width = default_width;
        bounds.height = default_height;
    }
    if (menu_column.active) {
        bounds.x = menu_column.x;
        bounds.y = menu_column.y;
        menu_column.y += bounds.height + menu_column.gap;
    }
    return bounds;
}

void menu_button(const char *text, Rectangle bounds, MenuAction on_click, ClickSound click_sound) {
    bounds = place_menu_control(bounds, menu_column.button_width, menu_column.button_height);
    if (GuiButton(bounds, text) != 1 || on_click == nullptr) {
        return;
    }
    if (click_sound != ClickSound::none) {
        play_click_sound(click_sound == ClickSound::echo);
    }
    on_click();
}

void draw_screen_title(const char *text) {
    GuiSetFont(title_font);
    GuiSetStyle(DEFAULT, TEXT_SIZE, title_font_size);
    GuiSetStyle(LABEL, TEXT_ALIGNMENT, TEXT_ALIGN_CENTER);
    // 75 px high on purpose: the centred 128 px glyphs overhang it above and below.
    GuiLabel(Rectangle{0.0f, 50.0f, static_cast<float>(GetScreenWidth()), 75.0f}, text);
    GuiSetFont(menu_font);
}

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
        end_menu_column();
        break;
    case MenuPage::play:
        menu_button("LOCAL", Rectangle{}, start_local_match, ClickSound::echo);
        menu_button("ONLINE", Rectangle{}, nullptr, ClickSound::click);  // no network play
        menu_button("BOT", Rectangle{}, start_bot_match, ClickSound::echo);
        menu_button("BACK", Rectangle{}, back_to_main_page, ClickSound::click);
        end_menu_column();
        break;
    case MenuPage::settings:
        draw_settings_column(back_to_main_page);  // ends the column itself
        break;
    }
}
