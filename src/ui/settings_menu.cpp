#include "ui/settings_menu.h"

#include "audio/sound_bank.h"
#include "raygui.h"
#include "settings/display.h"
#include "settings/settings.h"

void menu_checkbox(const char *text, bool *flag, Rectangle bounds, MenuAction on_toggle)
{
    bounds = place_menu_control(bounds, 20.0f, 20.0f);
    if (GuiCheckBox(bounds, text, flag) != 1 || on_toggle == nullptr) {
        return;
    }
    // The flag has flipped already: switching sound effects on is heard, off is not.
    play_click_sound(false);
    on_toggle();
}

void draw_settings_column(MenuAction on_back)
{
    menu_checkbox("FULLSCREEN", &settings.fullscreen, Rectangle{}, toggle_fullscreen);
    menu_checkbox("VSYNC", &settings.vsync, Rectangle{}, on_vsync_toggled);
    menu_checkbox("MUSIC", &settings.enable_music, Rectangle{}, save_settings_action);
    menu_checkbox("SOUND EFFECTS", &settings.enable_sound_effects, Rectangle{}, save_settings_action);
    menu_button("CONTROLS", Rectangle{}, nullptr, ClickSound::click); // nothing lists them yet
    menu_button("BACK", Rectangle{}, on_back, ClickSound::click);
    end_menu_column();
}
