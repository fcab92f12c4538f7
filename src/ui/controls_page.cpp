#include "ui/controls_page.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "gameplay/input.h"
#include "raygui.h"
#include "ui/menu_layout.h"
#include "ui/theme.h"

bool controls_page_open = false;

namespace {

// The page as laid out in a 1280 x 720 window, in the menus' own measures: the
// title line at y 50, BACK where the fourth button of a page stands.
constexpr float design_width = 1280.0f;
constexpr float design_height = 720.0f;
constexpr float margin = 50.0f;
constexpr float table_top = 190.0f;
constexpr float row_pitch = 54.0f;
constexpr float table_text = 40.0f;
constexpr float column_gap = 40.0f;
constexpr float back_top = 550.0f;
constexpr float panel_pad = 16.0f;

using Cell = char[32];
Cell cells[controls_rows][controls_columns];

void put(Cell &cell, const char *text) { std::snprintf(cell, sizeof cell, "%s", text); }

// The four movement keys as a player names them: the arrow block by its name, any
// other four in the order forward, left, back, right ("W A S D").
void put_move(Cell &cell, const KeyboardControls &k) {
    if (k.forward == KEY_UP && k.left == KEY_LEFT && k.back == KEY_DOWN && k.right == KEY_RIGHT) {
        put(cell, "ARROWS");
        return;
    }
    std::snprintf(cell, sizeof cell, "%s %s %s %s", key_label(k.forward), key_label(k.left), key_label(k.back),
                  key_label(k.right));
}

const char *stick_label(const GamepadControls &g) {
    if (g.axis_x == GAMEPAD_AXIS_LEFT_X && g.axis_y == GAMEPAD_AXIS_LEFT_Y) return "LEFT STICK";
    if (g.axis_x == GAMEPAD_AXIS_RIGHT_X && g.axis_y == GAMEPAD_AXIS_RIGHT_Y) return "RIGHT STICK";
    return "STICK";
}

// Filled once from the input tables; they are constants, so the page cannot drift
// from what the game reads.
bool fill_cells() {
    const KeyboardControls &left = keyboard_controls_of(keyboard_left);
    const KeyboardControls &right = keyboard_controls_of(keyboard_right);
    const GamepadControls &pad = gamepad_controls;
    const char *header[controls_columns] = {"", "LEFT KEYS", "RIGHT KEYS", "GAMEPAD"};
    for (int c = 0; c < controls_columns; ++c) put(cells[0][c], header[c]);
    put(cells[1][0], "MOVE");
    put_move(cells[1][1], left);
    put_move(cells[1][2], right);
    put(cells[1][3], stick_label(pad));
    put(cells[2][0], "JUMP / JOIN");
    put(cells[2][1], key_label(left.jump));
    put(cells[2][2], key_label(right.jump));
    put(cells[2][3], pad_button_label(pad.jump));
    put(cells[3][0], "DASH");
    put(cells[3][1], key_label(left.dash));
    put(cells[3][2], key_label(right.dash));
    put(cells[3][3], pad_button_label(pad.dash));
    // One key for the whole keyboard, and any pad's START.
    put(cells[4][0], "PAUSE");
    put(cells[4][1], key_label(pause_key));
    put(cells[4][3], pad_button_label(pad.pause));
    put(cells[5][0], "PLAY AGAIN");
    put(cells[5][1], key_label(restart_key));
    put(cells[5][3], pad_button_label(pad.restart));
    return true;
}

// raygui's spacing is a whole number of pixels.
int text_spacing_for(float scale) { return std::max(1, static_cast<int>(std::lround(3.0f * scale))); }

float cell_width(const char *text, float size, int spacing) {
    return MeasureTextEx(menu_font, text, size, static_cast<float>(spacing)).x;
}

}  // namespace

const char *controls_cell(int row, int column) {
    static const bool filled = fill_cells();
    (void)filled;
    if (row < 0 || row >= controls_rows || column < 0 || column >= controls_columns) return "";
    return cells[row][column];
}

void open_controls_page() { controls_page_open = true; }
void close_controls_page() { controls_page_open = false; }

ControlsLayout controls_layout(int width, int height) {
    const float w = static_cast<float>(std::max(1, width));
    const float h = static_cast<float>(std::max(1, height));
    ControlsLayout l{};
    l.scale = std::min({1.0f, w / design_width, h / design_height});
    const int spacing = text_spacing_for(l.scale);
    l.title_size = std::max(1.0f, std::floor(title_font_size * l.scale));
    l.text_size = std::max(1.0f, std::floor(table_text * l.scale));
    // Whole-pixel sizes and spacing do not shrink exactly with the scale: if the table
    // comes out wider than the window, its text shrinks to fit.
    for (int pass = 0; pass < 2; ++pass) {
        float x = margin * l.scale;
        for (int c = 0; c < controls_columns; ++c) {
            l.column_x[c] = x;
            float widest = 0.0f;
            for (int r = 0; r < controls_rows; ++r)
                widest = std::max(widest, cell_width(controls_cell(r, c), l.text_size, spacing));
            x += widest + column_gap * l.scale;
        }
        const float needed = x - column_gap * l.scale;
        const float room = w - margin * l.scale;
        l.panel.width = needed - l.column_x[0] + 2.0f * panel_pad * l.scale;
        if (needed <= room || l.text_size <= 1.0f) break;
        l.text_size = std::max(1.0f, std::floor(l.text_size * room / needed));
    }
    for (int r = 0; r < controls_rows; ++r) l.row_y[r] = (table_top + row_pitch * static_cast<float>(r)) * l.scale;
    l.panel.x = l.column_x[0] - panel_pad * l.scale;
    l.panel.y = l.row_y[0] - panel_pad * l.scale;
    l.panel.height = l.row_y[controls_rows - 1] + l.text_size + panel_pad * l.scale - l.panel.y;
    l.back = Rectangle{margin * l.scale, back_top * l.scale, 250.0f * l.scale, 75.0f * l.scale};
    return l;
}

void draw_controls_page() {
    const int width = GetScreenWidth();
    const ControlsLayout l = controls_layout(width, GetScreenHeight());
    GuiSetStyle(DEFAULT, TEXT_SPACING, text_spacing_for(l.scale));

    // The screen title's look, scaled with the page.
    GuiSetFont(title_font);
    GuiSetStyle(DEFAULT, TEXT_SIZE, static_cast<int>(l.title_size));
    GuiSetStyle(LABEL, TEXT_ALIGNMENT, TEXT_ALIGN_CENTER);
    GuiLabel(Rectangle{0.0f, 50.0f * l.scale, static_cast<float>(width), 75.0f * l.scale}, "CONTROLS");
    GuiSetFont(menu_font);

    // The labels' light text over the lit court would be lost on its yellow buttons.
    DrawRectangleRec(l.panel, ColorAlpha(BLACK, 0.35f));
    GuiSetStyle(DEFAULT, TEXT_SIZE, static_cast<int>(l.text_size));
    GuiSetStyle(LABEL, TEXT_ALIGNMENT, TEXT_ALIGN_LEFT);
    for (int r = 0; r < controls_rows; ++r) {
        for (int c = 0; c < controls_columns; ++c) {
            const char *text = controls_cell(r, c);
            if (text[0] == '\0') continue;
            const float x = l.column_x[c];
            const float right = c + 1 < controls_columns ? l.column_x[c + 1] : static_cast<float>(width);
            GuiLabel(Rectangle{x, l.row_y[r], right - x, l.text_size}, text);
        }
    }
    GuiSetStyle(LABEL, TEXT_ALIGNMENT, TEXT_ALIGN_CENTER);  // as the title left it

    GuiSetStyle(DEFAULT, TEXT_SIZE, static_cast<int>(std::max(1.0f, std::floor(menu_font_size * l.scale))));
    menu_button("BACK", l.back, close_controls_page, ClickSound::click);
}
