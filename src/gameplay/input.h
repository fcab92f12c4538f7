// Controllers and joining. A player is bound to the controller it joined with; the
// per-player queries below read that controller alone.
#pragma once

#include <cstdint>

#include "raylib.h"

// -2 and -1 are the two halves of the keyboard, 0..19 a gamepad index.
using InputDevice = std::int32_t;

inline constexpr InputDevice keyboard_left = -2;   // W A S D, Space, Left Shift
inline constexpr InputDevice keyboard_right = -1;  // arrows, K, L
inline constexpr int max_gamepads = 20;
inline constexpr InputDevice no_device = -100;  // no controller

// Controls given as values rather than read from a device: an online match feeds each
// frame the inputs both machines agreed on.
struct ScriptedControls {
    double axis_x = 0.0;
    double axis_y = 0.0;
    bool jump = false;
    bool dash = false;
};

// While set (an array of two, indexed by side), the four queries below read it
// instead of the players' controllers. Null returns to the controllers.
void set_scripted_controls(const ScriptedControls *controls);

// What each controller reads: the one table the input code and the controls page
// both use, so the page can never list a key the game does not read. Key, axis and
// button numbers are raylib's.
struct KeyboardControls {
    int left, right, forward, back;  // x towards -1 / +1, z towards -1 / +1
    int jump;                        // also joins
    int dash;
};
struct GamepadControls {
    int axis_x, axis_y;
    int jump;  // also joins
    int dash;
    int restart;  // after game over, for a pad in the match
    int pause;    // pause and resume, any pad
};
// [0] is keyboard_left, [1] keyboard_right.
inline constexpr KeyboardControls keyboard_controls[2] = {
    {KEY_A, KEY_D, KEY_W, KEY_S, KEY_SPACE, KEY_LEFT_SHIFT},
    {KEY_LEFT, KEY_RIGHT, KEY_UP, KEY_DOWN, KEY_K, KEY_L},
};
inline constexpr GamepadControls gamepad_controls = {GAMEPAD_AXIS_LEFT_X,
                                                     GAMEPAD_AXIS_LEFT_Y,
                                                     GAMEPAD_BUTTON_RIGHT_FACE_DOWN,
                                                     GAMEPAD_BUTTON_RIGHT_FACE_RIGHT,
                                                     GAMEPAD_BUTTON_MIDDLE_RIGHT,
                                                     GAMEPAD_BUTTON_MIDDLE_RIGHT};
inline constexpr int pause_key = KEY_ESCAPE;  // pause and resume
inline constexpr int restart_key = KEY_R;     // a new match after game over

// How the menus are driven without a mouse: by the keyboard alone, or by any pad.
// Each action has up to two keys (0 where there is no second).
struct MenuKeys {
    int up[2], down[2], left[2], right[2];
    int next;  // Tab; with Shift, the previous control
    int shift[2];
    int press[2];
    int back[2];  // outside a text box; Escape on the pause screen resumes
};
struct MenuPadControls {
    int up, down, left, right;  // the D-pad
    int axis_x, axis_y;         // the stick, which moves like the D-pad
    int press, back;
};
inline constexpr MenuKeys menu_keys = {{KEY_UP, 0},
                                       {KEY_DOWN, 0},
                                       {KEY_LEFT, 0},
                                       {KEY_RIGHT, 0},
                                       KEY_TAB,
                                       {KEY_LEFT_SHIFT, KEY_RIGHT_SHIFT},
                                       {KEY_ENTER, KEY_SPACE},
                                       {KEY_ESCAPE, KEY_BACKSPACE}};
inline constexpr MenuPadControls menu_pad_controls = {GAMEPAD_BUTTON_LEFT_FACE_UP,
                                                      GAMEPAD_BUTTON_LEFT_FACE_DOWN,
                                                      GAMEPAD_BUTTON_LEFT_FACE_LEFT,
                                                      GAMEPAD_BUTTON_LEFT_FACE_RIGHT,
                                                      GAMEPAD_AXIS_LEFT_X,
                                                      GAMEPAD_AXIS_LEFT_Y,
                                                      GAMEPAD_BUTTON_RIGHT_FACE_DOWN,
                                                      GAMEPAD_BUTTON_RIGHT_FACE_RIGHT};

const KeyboardControls &keyboard_controls_of(InputDevice keyboard_half);

// What a player reads on the screen for a key or gamepad button of the tables above:
// "W", "SPACE", "LEFT SHIFT", "UP"; "A", "B", "START" as on an Xbox-style pad.
const char *key_label(int key);
const char *pad_button_label(int button);

// Joins every controller whose join control was pressed this frame.
void poll_joins();
// The first controller whose join control was pressed this frame (the keyboard's
// halves before the gamepads), or no_device.
InputDevice join_pressed_device();
// First controller becomes player 1, any other one (re)takes player 2.
void join_device(InputDevice device);

// side false is player 1, true is player 2.
double axis_x(bool side);  // in [-1, 1], negative towards -x
double axis_y(bool side);  // in [-1, 1], negative towards -z
bool jump_down(bool side);
bool dash_down(bool side);

// True if a human player of the match plays with a gamepad (the bot's slot does not
// count, whatever it last held).
bool gamepad_in_match();
// The pause control pressed this frame: the pause key, or START of any pad. After game
// over START restarts instead (see restart_pressed), so it does not pause then.
bool pause_pressed(bool match_is_over);

// Whether the player's last press (or stick push) came from a gamepad rather than the
// keyboard; the prompts name that device's buttons. Kept up to date by
// note_input_device, once a frame.
bool last_input_from_pad();
void note_input_device();
void set_last_input_from_pad(bool pad);

// The restart control pressed this frame: R, or the restart button of a gamepad in
// the match.
bool restart_pressed();
// The same for one player's controller: R, or its restart button if it is a gamepad.
bool restart_pressed_by(InputDevice device);
