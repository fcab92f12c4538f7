#include "ui/pause_menu.h"

#include "app/game_state.h"
#include "raygui.h"
#include "ui/controls_page.h"
#include "ui/menu_layout.h"
#include "ui/settings_menu.h"
#include "ui/theme.h"

bool pause_settings_open = false;

namespace {

// No sound of its own: leaving the pause for the match plays the echo click already.
void resume_match() { set_screen_state(ScreenState::match); }
void open_pause_settings() { pause_settings_open = true; }
void close_pause_settings() { pause_settings_open = false; }
void return_to_title() { set_screen_state(ScreenState::menu); }

}  // namespace

void draw_pause_screen() {
    DrawRectangle(0, 0, GetScreenWidth(), GetScreenHeight(), ColorAlpha(BLACK, 0.3f));
    // Opened from the settings page, over it.
    if (controls_page_open) {
        draw_controls_page();
        return;
    }

    GuiSetStyle(DEFAULT, TEXT_SPACING, 3);
    draw_screen_title("PAUSED");
    GuiSetStyle(DEFAULT, TEXT_SIZE, menu_font_size);
    set_button_size(250.0f, 75.0f);

    begin_menu_column(50.0f, 250.0f, 25.0f);
    if (pause_settings_open) {
        draw_settings_column(close_pause_settings);
    } else {
        menu_button("RESUME", Rectangle{}, resume_match, ClickSound::none);
        menu_button("SETTINGS", Rectangle{}, open_pause_settings, ClickSound::click);
        menu_button("MAIN MENU", Rectangle{}, return_to_title, ClickSound::echo);
    }
    end_menu_column();
}
