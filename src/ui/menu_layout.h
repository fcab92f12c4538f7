// The small layout layer every menu of the game is built with: a column that stacks
// controls top to bottom, buttons with click sounds, and the big title line. The
// screen that begins a column ends it.
#pragma once

#include <cstdint>

#include "raylib.h"

enum class ClickSound : std::uint8_t { none = 0, click = 1, echo = 2 };

// Shared by all menus. While active, controls ignore their own position and take the
// column's; each one moves y down by its height plus the gap.
struct MenuColumn {
    bool active = false;
    float x = 0.0f;
    float y = 0.0f;
    float gap = 0.0f;
    float button_width = 0.0f;
    float button_height = 0.0f;
};

// A menu control's action. Plain functions with no captures: menus are immediate
// mode, so the action acts on globals.
using MenuAction = void (*)();

extern MenuColumn menu_column;

void set_button_size(float width, float height);
void begin_menu_column(float x, float y, float gap);
void end_menu_column();  // keeps x, y and gap

// Where a control really goes: an all-zero size becomes default_size, and an active
// column overrides the position and advances. Shared by buttons and check boxes.
Rectangle place_menu_control(Rectangle bounds, float default_width, float default_height);

// One button. Its action (if any) runs in the frame of the click, after its sound.
// Without an action a click is silent and does nothing.
void menu_button(const char *text, Rectangle bounds, MenuAction on_click, ClickSound click_sound);

// The large centred title line across the window, in the title font; leaves the menu
// font current and the text size at the title's.
void draw_screen_title(const char *text);
