// The controls page: what to press on each keyboard half and on a gamepad, built
// from the input code's own tables. CONTROLS on either settings page opens it over
// that page; BACK or Escape shows that page again.
#pragma once

#include "raylib.h"

// True while the title screen or the pause screen shows the controls page instead
// of its settings page.
extern bool controls_page_open;

void open_controls_page();
void close_controls_page();

// The table: a header row, then one row per action. Columns: the action, then the
// left keyboard half, the right half and a gamepad. Keys shared by both halves
// (pause, play again) stand in the left half's column.
inline constexpr int controls_rows = 6;
inline constexpr int controls_columns = 4;
// The text of one cell, "" where there is nothing to press.
const char *controls_cell(int row, int column);

// Where everything goes in a window of this size. The page is laid out for 1280 x 720
// and scaled down as a whole for a smaller window, so it always fits.
struct ControlsLayout {
    float scale;
    float title_size;
    float text_size;  // the table's text
    float column_x[controls_columns];
    float row_y[controls_rows];
    Rectangle panel;  // the darkened ground under the table, so it reads over the scene
    Rectangle back;   // the BACK button
};
ControlsLayout controls_layout(int width, int height);

// The page's GUI pass: its title, the table and BACK.
void draw_controls_page();
