// Menus without a mouse: one focused control per page, moved by the arrow keys, Tab,
// the D-pad or the stick of any pad, pressed with Enter, Space or A, and a page left
// with Escape, Backspace or B. Every control the menu layer draws takes part, in
// drawing order, so a page needs no code of its own for it. The ring shows only after
// a key or pad press; moving the mouse hides it and hovering moves it.
#pragma once

#include "raylib.h"

// The frame's menu presses, read after the screen's own update. With accept false
// they are dropped: the press that paused or resumed a match is not a menu press too.
void update_menu_input(bool accept);

struct FocusSlot {
    bool focused = false;
    bool pressed = false;   // pressed from the keyboard or a pad this frame
    bool from_pad = false;  // ... by a pad
};

// One control of the page being drawn. `label` is its text: the first control's names
// the page (the focus starts on the first control of a page it has not just come back
// to), and BACK, CANCEL and RESUME take the page's back press.
FocusSlot menu_focus_slot(Rectangle bounds, const char *label);
// Tells the layer a control was used with the mouse (a BACK clicked is a way back).
void menu_control_clicked(const char *label);
// The ring round the focused control, when it shows.
void draw_focus_ring(Rectangle bounds);
bool menu_focus_shown();
// Set while the on-screen keyboard is open: the page's own controls take nothing.
bool menu_modal();

// A one-line text box of the menu layer. Pressed from the keyboard it takes typing;
// pressed from a pad it opens the on-screen keyboard, whose OK (or Enter) runs
// `on_enter`. `editing` is the box's edit mode, kept by the caller.
void menu_text_box(const char *label, Rectangle bounds, char *text, int size, bool *editing, void (*on_enter)());
bool on_screen_keyboard_open();
// Last in a screen's GUI pass: what lies over the page (the on-screen keyboard).
void draw_menu_overlays();

// Back to the first control with the ring hidden and nothing open (tests, start-up).
void reset_menu_focus();
