#include "ui/settings_menu.h"

#include "audio/sound_bank.h"
#include "raygui.h"
#include "ui/controls_page.h"
#include "ui/menu_focus.h"
#include "settings/display.h"
#include "settings/settings.h"

namespace {

// The captions (64 px) are taller than the column's row pitch (20 px box + gap), so
// the clickable areas of neighbouring check boxes overlap. A click counts only in the
// box's own band, the row plus half the gap above and below, so that one click never
// flips two settings.
bool in_row_band(Rectangle box, float gap) {
    const float y = GetMousePosition().y;
    return y >= box.y - gap / 2.0f && y < box.y + box.height + gap / 2.0f;
}

// What the focus ring goes round: the box and its caption, as tall as the box, so the
// ring stays clear of the neighbouring rows.
Rectangle checkbox_area(Rectangle box, const char *text) {
    const float size = static_cast<float>(GuiGetStyle(DEFAULT, TEXT_SIZE));
    const float spacing = static_cast<float>(GuiGetStyle(DEFAULT, TEXT_SPACING));
    const float width = MeasureTextEx(GuiGetFont(), text, size, spacing).x;
    return Rectangle{box.x, box.y, box.width + static_cast<float>(GuiGetStyle(CHECKBOX, TEXT_PADDING)) + width,
                     box.height};
}

}  // namespace

void menu_checkbox(const char *text, bool *flag, Rectangle bounds, MenuAction on_toggle) {
    const bool in_column = menu_column.active;
    bounds = place_menu_control(bounds, 20.0f, 20.0f);
    const FocusSlot focus = menu_focus_slot(checkbox_area(bounds, text), text);
    const bool before = flag != nullptr && *flag;
    bool value = before;
    // Only the change of the value counts: raygui 4.0 flips it and returns 0, raygui
    // 5.0 returns RESULT_CHANGED (2), the engine 1.
    GuiCheckBox(bounds, text, &value);
    if (focus.focused) draw_focus_ring(checkbox_area(bounds, text));
    bool clicked = value != before && !menu_modal();
    if (clicked && in_column && !in_row_band(bounds, menu_column.gap)) clicked = false;
    if (focus.pressed) {
        value = !before;
    } else if (!clicked) {
        return;
    }
    if (flag != nullptr) {
        *flag = value;
    }
    if (on_toggle == nullptr) {
        return;
    }
    // The flag has flipped already: switching sound effects on is heard, off is not.
    play_click_sound(false);
    on_toggle();
}

void draw_settings_column(MenuAction on_back) {
    menu_checkbox("FULLSCREEN", &settings.fullscreen, Rectangle{}, toggle_fullscreen);
    menu_checkbox("VSYNC", &settings.vsync, Rectangle{}, on_vsync_toggled);
    menu_checkbox("MUSIC", &settings.enable_music, Rectangle{}, save_settings_action);
    menu_checkbox("SOUND EFFECTS", &settings.enable_sound_effects, Rectangle{}, save_settings_action);
    menu_button("CONTROLS", Rectangle{}, open_controls_page, ClickSound::click);
    menu_button("BACK", Rectangle{}, on_back, ClickSound::click);
}
