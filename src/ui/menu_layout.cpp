#include "ui/menu_layout.h"

#include "audio/sound_bank.h"
#include "raygui.h"
#include "ui/menu_focus.h"
#include "ui/theme.h"

MenuColumn menu_column;

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
    const FocusSlot focus = menu_focus_slot(bounds, text);
    // A disabled button draws as one and takes no press from the keyboard or a pad.
    const bool enabled = GuiGetState() != STATE_DISABLED;
    bool clicked = GuiButton(bounds, text) == 1 && !menu_modal();
    if (clicked) menu_control_clicked(text);
    clicked = clicked || (focus.pressed && enabled);
    if (focus.focused) draw_focus_ring(bounds);
    if (!clicked || on_click == nullptr) {
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
