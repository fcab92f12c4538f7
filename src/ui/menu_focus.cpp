#include "ui/menu_focus.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "audio/sound_bank.h"
#include "gameplay/input.h"
#include "platform/raylib_bridge.h"
#include "raygui.h"
#include "ui/theme.h"

namespace {

// A held direction steps once, again after first_repeat, then every repeat_every.
constexpr double first_repeat = 0.4;
constexpr double repeat_every = 0.12;
// A frame adds at most this much to a hold: on a slow machine one long frame would
// otherwise turn a tap into a repeat, so a repeat always takes a real hold.
constexpr double max_hold_step = 0.1;
// A stick moves the focus from half its travel; that keeps a drifting stick still.
constexpr float stick_step = 0.5f;
constexpr int max_slots = 48;
constexpr int label_chars = 32;
constexpr Color ring_outer{29, 53, 87, 255};    // the theme's navy rims
constexpr Color ring_inner{255, 210, 63, 255};  // a bright yellow either side of them
constexpr float ring_gap = 5.0f;

enum Dir : int { none = 0, up, down, left, right };

struct Nav {
    int dx = 0, dy = 0;
    bool press = false, back = false;
};

struct Repeat {
    int dir = none;
    double held = 0.0;
    double next = 0.0;
};

struct PageMemory {
    char page[label_chars] = "";
    int index = 0;
};

struct Focus {
    int index = 0;
    bool shown = false;
    // The controls of the last frame that drew any, and of this frame so far.
    Rectangle last[max_slots]{};
    int last_count = 0;
    Rectangle now[max_slots]{};
    int count = 0;
    char page[label_chars] = "";
    bool frame_begun = false;
    // This frame's presses, by source.
    Nav keys, pad;
    int tab = 0;
    bool moved_by_nav = false;
    bool mouse_moved = false;
    Vector2 mouse{-1.0f, -1.0f};
    bool mouse_known = false;
    Repeat key_repeat, pad_repeat;
    // A way back was taken: the page it leads to opens where its focus was.
    bool went_back = false;
    PageMemory memory[8];
    int memory_next = 0;
    // The text box and its on-screen keyboard.
    bool editing_text = false;  // last frame
    bool text_box_drawn = false;
    bool cancel_edit = false;  // this frame: the box leaves edit mode
    bool cancel_next = false;  // the same, asked for by the keyboard for the next frame
    bool keyboard = false;
    char *keyboard_text = nullptr;
    int keyboard_size = 0;
    void (*keyboard_enter)() = nullptr;
    int key_row = 0, key_col = 0;
};

Focus focus;

bool is_back_label(const char *label) {
    return std::strcmp(label, "BACK") == 0 || std::strcmp(label, "CANCEL") == 0 || std::strcmp(label, "RESUME") == 0;
}

bool any_key_pressed(const int (&keys)[2]) {
    for (int k : keys)
        if (k != 0 && IsKeyPressed(k)) return true;
    return false;
}
bool any_key_down(const int (&keys)[2]) {
    for (int k : keys)
        if (k != 0 && IsKeyDown(k)) return true;
    return false;
}

int step(Repeat &r, int dir, double dt) {
    if (dir != r.dir) {
        r = Repeat{dir, 0.0, first_repeat};
        return dir;
    }
    if (dir == none) return none;
    r.held += dt < max_hold_step ? dt : max_hold_step;
    if (r.held < r.next) return none;
    r.next += repeat_every;
    return dir;
}

void to_nav(int dir, Nav &nav) {
    nav.dx = dir == left ? -1 : dir == right ? 1 : 0;
    nav.dy = dir == up ? -1 : dir == down ? 1 : 0;
}

int held_key_dir() {
    if (any_key_down(menu_keys.up)) return up;
    if (any_key_down(menu_keys.down)) return down;
    if (any_key_down(menu_keys.left)) return left;
    if (any_key_down(menu_keys.right)) return right;
    return none;
}

// Any pad that holds a direction, D-pad first, then the stick's larger axis.
int held_pad_dir() {
    const MenuPadControls &c = menu_pad_controls;
    for (int g = 0; g < max_gamepads; ++g) {
        if (!IsGamepadAvailable(g)) continue;
        if (IsGamepadButtonDown(g, c.up)) return up;
        if (IsGamepadButtonDown(g, c.down)) return down;
        if (IsGamepadButtonDown(g, c.left)) return left;
        if (IsGamepadButtonDown(g, c.right)) return right;
        const float x = gamepad_stick(g, c.axis_x);
        const float y = gamepad_stick(g, c.axis_y);
        if (std::fabs(y) >= std::fabs(x) && std::fabs(y) >= stick_step) return y < 0.0f ? up : down;
        if (std::fabs(x) >= stick_step) return x < 0.0f ? left : right;
    }
    return none;
}

bool pad_button_pressed(int button) {
    for (int g = 0; g < max_gamepads; ++g)
        if (IsGamepadAvailable(g) && IsGamepadButtonPressed(g, button)) return true;
    return false;
}

Vector2 centre(Rectangle r) { return Vector2{r.x + r.width / 2.0f, r.y + r.height / 2.0f}; }

// The nearest control in the direction pressed, straight lines preferred; up and down
// wrap round the page when nothing lies further.
int move_focus(int from, int dx, int dy) {
    const int n = focus.last_count;
    if (n == 0) return 0;
    if (from < 0 || from >= n) return 0;
    const Vector2 c = centre(focus.last[from]);
    int best = -1;
    float best_score = 0.0f;
    for (int j = 0; j < n; ++j) {
        if (j == from) continue;
        const Vector2 d{centre(focus.last[j]).x - c.x, centre(focus.last[j]).y - c.y};
        const float along = dx != 0 ? d.x * static_cast<float>(dx) : d.y * static_cast<float>(dy);
        const float across = dx != 0 ? std::fabs(d.y) : std::fabs(d.x);
        if (along <= 1.0f) continue;
        const float score = along + 2.0f * across;
        if (best < 0 || score < best_score) {
            best = j;
            best_score = score;
        }
    }
    if (best >= 0) return best;
    if (dy > 0) return 0;
    if (dy < 0) return n - 1;
    return from;
}

int recall(const char *page) {
    for (const PageMemory &m : focus.memory)
        if (std::strcmp(m.page, page) == 0) return m.index;
    return 0;
}

void remember(const char *page, int index) {
    if (page[0] == '\0') return;
    for (PageMemory &m : focus.memory) {
        if (std::strcmp(m.page, page) == 0) {
            m.index = index;
            return;
        }
    }
    PageMemory &m = focus.memory[focus.memory_next];
    focus.memory_next = (focus.memory_next + 1) % 8;
    std::snprintf(m.page, sizeof m.page, "%s", page);
    m.index = index;
}

// At the page's first control: a new page takes its focus; on the same page the
// frame's moves apply to last frame's controls.
void begin_frame(const char *label) {
    if (focus.frame_begun) return;
    focus.frame_begun = true;
    if (focus.last_count == 0 || std::strcmp(label, focus.page) != 0) {
        remember(focus.page, focus.index);
        focus.index = focus.went_back ? recall(label) : 0;
        focus.went_back = false;
        std::snprintf(focus.page, sizeof focus.page, "%s", label);
        // Moves and presses were aimed at the last page's controls; a way back is
        // the new page's own.
        for (Nav *n : {&focus.keys, &focus.pad}) *n = Nav{0, 0, false, n->back};
        focus.tab = 0;
        return;
    }
    const int n = focus.last_count;
    if (focus.index >= n) focus.index = n - 1;
    if (focus.keyboard) return;  // the on-screen keyboard takes the moves
    const int before = focus.index;
    const Nav moves[2] = {focus.keys, focus.pad};
    for (const Nav &m : moves)
        if (m.dx != 0 || m.dy != 0) focus.index = move_focus(focus.index, m.dx, m.dy);
    if (focus.tab != 0) focus.index = (focus.index + focus.tab + n) % n;
    focus.moved_by_nav = focus.index != before;
}

// ---------------------------------------------------------------- on-screen keyboard

constexpr const char *keyboard_rows[] = {"1234567890", "abcdefghij", "klmnopqrst", "uvwxyz.:-"};
constexpr int keyboard_char_rows = 4;
constexpr int keyboard_row_count = keyboard_char_rows + 1;  // and DEL / OK
constexpr float key_size = 52.0f;
constexpr float key_gap = 6.0f;
constexpr float keyboard_x = 650.0f;
constexpr float keyboard_y = 250.0f;
constexpr float keyboard_pad = 14.0f;
constexpr int key_text_size = 44;  // a lower-case letter 9 px tall or more

int keys_in_row(int row) { return row < keyboard_char_rows ? static_cast<int>(std::strlen(keyboard_rows[row])) : 2; }

Rectangle key_rect(int row, int col) {
    const float pitch = key_size + key_gap;
    const float y = keyboard_y + static_cast<float>(row) * pitch;
    if (row < keyboard_char_rows) return Rectangle{keyboard_x + static_cast<float>(col) * pitch, y, key_size, key_size};
    const float half = (10.0f * pitch - key_gap - key_gap) / 2.0f;
    return Rectangle{keyboard_x + static_cast<float>(col) * (half + key_gap), y, half, key_size};
}

void close_keyboard() {
    focus.keyboard = false;
    focus.keyboard_text = nullptr;
}

void keyboard_type(int row, int col) {
    char *text = focus.keyboard_text;
    if (text == nullptr) return;
    const std::size_t length = std::strlen(text);
    if (row < keyboard_char_rows) {
        if (length + 1 < static_cast<std::size_t>(focus.keyboard_size)) {
            text[length] = keyboard_rows[row][col];
            text[length + 1] = '\0';
        }
        return;
    }
    if (col == 0) {
        if (length > 0) text[length - 1] = '\0';
        return;
    }
    void (*enter)() = focus.keyboard_enter;
    close_keyboard();
    focus.cancel_next = true;
    if (enter != nullptr) enter();
}

}  // namespace

void update_menu_input(bool accept) {
    // What the last frame drew becomes what this frame's moves go by.
    if (focus.count > 0) {
        std::memcpy(focus.last, focus.now, sizeof focus.now);
    } else {
        focus.page[0] = '\0';  // no menu drawn: the next one is a new page
    }
    focus.last_count = focus.count;
    focus.count = 0;
    focus.frame_begun = false;
    focus.moved_by_nav = false;
    if (!focus.text_box_drawn) close_keyboard();
    focus.editing_text = focus.text_box_drawn && focus.editing_text;
    focus.text_box_drawn = false;

    const Vector2 mouse = GetMousePosition();
    focus.mouse_moved = focus.mouse_known && (mouse.x != focus.mouse.x || mouse.y != focus.mouse.y);
    focus.mouse = mouse;
    focus.mouse_known = true;

    const double dt = static_cast<double>(GetFrameTime());
    Nav keys, pad;
    to_nav(step(focus.key_repeat, held_key_dir(), dt), keys);
    to_nav(step(focus.pad_repeat, held_pad_dir(), dt), pad);
    keys.press = any_key_pressed(menu_keys.press);
    keys.back = any_key_pressed(menu_keys.back);
    pad.press = pad_button_pressed(menu_pad_controls.press);
    pad.back = pad_button_pressed(menu_pad_controls.back);
    int tab = 0;
    if (IsKeyPressed(menu_keys.next)) tab = any_key_down(menu_keys.shift) ? -1 : 1;
    if (!accept) keys = pad = Nav{}, tab = 0;

    // While a text box takes typing, Space, Backspace and Enter are its own; Escape
    // ends the typing rather than leaving the page.
    focus.cancel_edit = focus.cancel_next;
    focus.cancel_next = false;
    if (focus.editing_text) {
        if (IsKeyPressed(KEY_ESCAPE)) {
            focus.cancel_edit = true;
            close_keyboard();
        }
        keys.press = keys.back = false;
    }
    // The open keyboard's keys are pressed with the pad and typed on the keyboard.
    if (focus.keyboard) keys = Nav{}, tab = 0;

    focus.keys = keys;
    focus.pad = pad;
    focus.tab = tab;
    const bool nav_used = keys.dx != 0 || keys.dy != 0 || keys.press || keys.back || pad.dx != 0 || pad.dy != 0 ||
                          pad.press || pad.back || tab != 0;
    if (nav_used) focus.shown = true;
    if (focus.mouse_moved) focus.shown = false;
}

FocusSlot menu_focus_slot(Rectangle bounds, const char *label) {
    begin_frame(label);
    const int i = focus.count;
    if (focus.count < max_slots) focus.now[focus.count++] = bounds;
    FocusSlot s;
    if (focus.keyboard) return s;
    if (focus.mouse_moved && CheckCollisionPointRec(focus.mouse, bounds)) focus.index = i;
    s.focused = i == focus.index;
    Nav *sources[2] = {&focus.keys, &focus.pad};
    for (Nav *n : sources) {
        if (s.focused && n->press) {
            s.pressed = true;
            s.from_pad = n == &focus.pad;
            n->press = false;
        }
        if (n->back && is_back_label(label)) {
            s.pressed = true;
            s.from_pad = n == &focus.pad;
            n->back = false;
        }
    }
    if (s.pressed) focus.went_back = is_back_label(label);
    return s;
}

void menu_control_clicked(const char *label) { focus.went_back = is_back_label(label); }

void draw_focus_ring(Rectangle r) {
    if (!focus.shown || focus.keyboard) return;
    // Yellow between two navy lines: it reads on the sky, the grass and the buttons.
    const auto grow = [](Rectangle a, float by) {
        return Rectangle{a.x - by, a.y - by, a.width + 2.0f * by, a.height + 2.0f * by};
    };
    const Rectangle inner = grow(r, ring_gap);
    DrawRectangleLinesEx(inner, 2.0f, ring_outer);
    DrawRectangleLinesEx(grow(inner, 4.0f), 4.0f, ring_inner);
    DrawRectangleLinesEx(grow(inner, 6.0f), 2.0f, ring_outer);
}

bool menu_focus_shown() { return focus.shown; }
bool menu_modal() { return focus.keyboard; }
bool on_screen_keyboard_open() { return focus.keyboard; }

void menu_text_box(const char *label, Rectangle bounds, char *text, int size, bool *editing, void (*on_enter)()) {
    const FocusSlot f = menu_focus_slot(bounds, label);
    focus.text_box_drawn = true;
    if (focus.cancel_edit) *editing = false;
    // Moving away with keys or a pad ends the typing; the mouse only points.
    if (*editing && focus.moved_by_nav && !f.focused) *editing = false;
    // The box sees the frame as it was before this press: the Enter that starts the
    // typing is not also the Enter that ends it.
    const bool was_editing = *editing;
    if (GuiTextBox(bounds, text, size, *editing) != 0) {
        const bool enter = was_editing && IsKeyPressed(KEY_ENTER);
        if (focus.keyboard) {
            // Clicks on the on-screen keys are not clicks away from the box.
            if (enter) {
                close_keyboard();
                *editing = false;
                if (on_enter != nullptr) on_enter();
            }
        } else {
            *editing = !*editing;
            if (enter && on_enter != nullptr) on_enter();
        }
    }
    if (f.pressed && !was_editing) {
        *editing = true;
        if (f.from_pad) {
            focus.keyboard = true;
            focus.keyboard_text = text;
            focus.keyboard_size = size;
            focus.keyboard_enter = on_enter;
            focus.key_row = focus.key_col = 0;
        }
    }
    focus.editing_text = *editing;
    if (f.focused) draw_focus_ring(bounds);
}

void draw_menu_overlays() {
    if (!focus.keyboard) return;
    const int size = GuiGetStyle(DEFAULT, TEXT_SIZE);
    const Rectangle first = key_rect(0, 0);
    const Rectangle last = key_rect(keyboard_row_count - 1, 1);
    DrawRectangleRec(Rectangle{first.x - keyboard_pad, first.y - keyboard_pad,
                               last.x + last.width - first.x + 2.0f * keyboard_pad,
                               last.y + last.height - first.y + 2.0f * keyboard_pad},
                     ColorAlpha(BLACK, 0.85f));

    // The pad moves over the keys, the rows keeping their column where they can.
    const Nav pad = focus.pad;
    if (pad.dy != 0) {
        focus.key_row = (focus.key_row + pad.dy + keyboard_row_count) % keyboard_row_count;
        if (focus.key_row == keyboard_char_rows) focus.key_col = focus.key_col < 5 ? 0 : 1;
    }
    const int in_row = keys_in_row(focus.key_row);
    if (pad.dx != 0) focus.key_col = (focus.key_col + pad.dx + in_row) % in_row;
    if (focus.key_col >= in_row) focus.key_col = in_row - 1;

    GuiSetStyle(DEFAULT, TEXT_SIZE, key_text_size);
    int typed_row = -1, typed_col = -1;
    for (int row = 0; row < keyboard_row_count; ++row) {
        for (int col = 0; col < keys_in_row(row); ++col) {
            char key[4] = {row < keyboard_char_rows ? keyboard_rows[row][col] : '\0', '\0'};
            const char *text = row < keyboard_char_rows ? key : col == 0 ? "DEL" : "OK";
            const Rectangle r = key_rect(row, col);
            if (GuiButton(r, text) == 1) typed_row = row, typed_col = col;
            if (row == focus.key_row && col == focus.key_col) {
                DrawRectangleLinesEx(Rectangle{r.x - 4.0f, r.y - 4.0f, r.width + 8.0f, r.height + 8.0f}, 4.0f,
                                     ring_inner);
            }
        }
    }
    GuiSetStyle(DEFAULT, TEXT_SIZE, size);
    if (pad.press) typed_row = focus.key_row, typed_col = focus.key_col;
    if (typed_row >= 0) {
        play_click_sound(false);
        keyboard_type(typed_row, typed_col);
    } else if (pad.back) {
        close_keyboard();
        focus.cancel_next = true;
    }
    focus.pad = Nav{};
}

void reset_menu_focus() { focus = Focus{}; }
