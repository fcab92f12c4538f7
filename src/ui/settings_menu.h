// The settings column shown on the title screen's settings page and on the pause
// screen: four check boxes bound to the settings record, CONTROLS and BACK.
// Every toggle is saved at once.
#pragma once

#include "raylib.h"
#include "ui/menu_layout.h"

// One check box on *flag (20 × 20 unless bounds gives a size). After a toggle the
// click sounds (already under the flag's new value) and on_toggle runs.
void menu_checkbox(const char *text, bool *flag, Rectangle bounds, MenuAction on_toggle);

// The column's six controls, placed in the column the caller has begun (and ends),
// with the text and button sizes the caller has set.
void draw_settings_column(MenuAction on_back);
