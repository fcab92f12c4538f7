#include "gameplay/input.h"

#include <initializer_list>

#include "app/game_state.h"
#include "platform/raylib_bridge.h"

namespace {

const ScriptedControls *scripted = nullptr;

const ScriptedControls *scripted_for(bool side) { return scripted != nullptr ? &scripted[side ? 1 : 0] : nullptr; }

InputDevice device_of(bool side) { return game_state.input_devices[side ? 1 : 0]; }

bool is_keyboard(InputDevice d) { return d == keyboard_left || d == keyboard_right; }

// -1 if the negative key is held (it wins when both are), +1 for the positive one.
double key_axis(int negative, int positive) {
    if (IsKeyDown(negative)) return -1.0;
    if (IsKeyDown(positive)) return 1.0;
    return 0.0;
}

// A pad unplugged mid-match reads neutral, so its player just stands still; when it
// comes back under the same index it works again.
bool pad_connected(InputDevice d) { return d >= 0 && d < max_gamepads && IsGamepadAvailable(d); }

double pad_axis(InputDevice d, int axis) {
    if (!pad_connected(d)) return 0.0;
    return static_cast<double>(gamepad_stick(d, axis));
}

bool pad_button(InputDevice d, int button) { return pad_connected(d) && IsGamepadButtonDown(d, button); }

}  // namespace

void set_scripted_controls(const ScriptedControls *controls) { scripted = controls; }

const KeyboardControls &keyboard_controls_of(InputDevice keyboard_half) {
    return keyboard_controls[keyboard_half == keyboard_left ? 0 : 1];
}

const char *key_label(int key) {
    static const char *const letters[] = {"A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "M",
                                          "N", "O", "P", "Q", "R", "S", "T", "U", "V", "W", "X", "Y", "Z"};
    if (key >= KEY_A && key <= KEY_Z) return letters[key - KEY_A];
    switch (key) {
    case KEY_SPACE:
        return "SPACE";
    case KEY_ESCAPE:
        return "ESCAPE";
    case KEY_ENTER:
        return "ENTER";
    case KEY_TAB:
        return "TAB";
    case KEY_BACKSPACE:
        return "BACKSPACE";
    case KEY_LEFT_SHIFT:
        return "LEFT SHIFT";
    case KEY_RIGHT_SHIFT:
        return "RIGHT SHIFT";
    case KEY_LEFT_CONTROL:
        return "LEFT CTRL";
    case KEY_RIGHT_CONTROL:
        return "RIGHT CTRL";
    case KEY_LEFT:
        return "LEFT";
    case KEY_RIGHT:
        return "RIGHT";
    case KEY_UP:
        return "UP";
    case KEY_DOWN:
        return "DOWN";
    default:
        return "?";
    }
}

const char *pad_button_label(int button) {
    switch (button) {
    case GAMEPAD_BUTTON_RIGHT_FACE_DOWN:
        return "A";
    case GAMEPAD_BUTTON_RIGHT_FACE_RIGHT:
        return "B";
    case GAMEPAD_BUTTON_RIGHT_FACE_LEFT:
        return "X";
    case GAMEPAD_BUTTON_RIGHT_FACE_UP:
        return "Y";
    case GAMEPAD_BUTTON_MIDDLE_LEFT:
        return "BACK";
    case GAMEPAD_BUTTON_MIDDLE_RIGHT:
        return "START";
    case GAMEPAD_BUTTON_LEFT_FACE_UP:
    case GAMEPAD_BUTTON_LEFT_FACE_DOWN:
    case GAMEPAD_BUTTON_LEFT_FACE_LEFT:
    case GAMEPAD_BUTTON_LEFT_FACE_RIGHT:
        return "D-PAD";
    default:
        return "?";
    }
}

void poll_joins() {
    if (IsKeyPressed(keyboard_controls_of(keyboard_left).jump)) join_device(keyboard_left);
    if (IsKeyPressed(keyboard_controls_of(keyboard_right).jump)) join_device(keyboard_right);
    for (int g = 0; g < max_gamepads; ++g) {
        if (IsGamepadAvailable(g) && IsGamepadButtonPressed(g, gamepad_controls.jump)) {
            join_device(g);
        }
    }
}

InputDevice join_pressed_device() {
    if (IsKeyPressed(keyboard_controls_of(keyboard_left).jump)) return keyboard_left;
    if (IsKeyPressed(keyboard_controls_of(keyboard_right).jump)) return keyboard_right;
    for (int g = 0; g < max_gamepads; ++g) {
        if (IsGamepadAvailable(g) && IsGamepadButtonPressed(g, gamepad_controls.jump)) return g;
    }
    return no_device;
}

void join_device(InputDevice device) {
    if (!game_state.joined[0]) {
        game_state.input_devices[0] = device;
        game_state.joined[0] = true;
        return;
    }
    if (device == game_state.input_devices[0]) return;
    game_state.input_devices[1] = device;
    game_state.joined[1] = true;
}

double axis_x(bool side) {
    if (const ScriptedControls *c = scripted_for(side)) return c->axis_x;
    const InputDevice d = device_of(side);
    if (is_keyboard(d)) return key_axis(keyboard_controls_of(d).left, keyboard_controls_of(d).right);
    return pad_axis(d, gamepad_controls.axis_x);
}

double axis_y(bool side) {
    if (const ScriptedControls *c = scripted_for(side)) return c->axis_y;
    const InputDevice d = device_of(side);
    if (is_keyboard(d)) return key_axis(keyboard_controls_of(d).forward, keyboard_controls_of(d).back);
    return pad_axis(d, gamepad_controls.axis_y);
}

bool jump_down(bool side) {
    if (const ScriptedControls *c = scripted_for(side)) return c->jump;
    const InputDevice d = device_of(side);
    if (is_keyboard(d)) return IsKeyDown(keyboard_controls_of(d).jump);
    return pad_button(d, gamepad_controls.jump);
}

bool dash_down(bool side) {
    if (const ScriptedControls *c = scripted_for(side)) return c->dash;
    const InputDevice d = device_of(side);
    if (is_keyboard(d)) return IsKeyDown(keyboard_controls_of(d).dash);
    return pad_button(d, gamepad_controls.dash);
}

namespace {

// The gamepad a human player of the match plays with, or -1.
InputDevice human_pad(int side) {
    if (side == 1 && game_state.bot_enabled) return -1;  // the bot's slot may hold an old pad
    const InputDevice d = game_state.input_devices[side];
    return d >= 0 && d < max_gamepads ? d : -1;
}

}  // namespace

bool gamepad_in_match() { return human_pad(0) >= 0 || human_pad(1) >= 0; }

bool restart_pressed() { return restart_pressed_by(human_pad(0)) || restart_pressed_by(human_pad(1)); }

bool restart_pressed_by(InputDevice device) {
    if (IsKeyPressed(restart_key)) return true;
    return pad_connected(device) && IsGamepadButtonPressed(device, gamepad_controls.restart);
}

bool pause_pressed(bool match_is_over) {
    if (IsKeyPressed(pause_key)) return true;
    if (match_is_over) return false;
    for (int g = 0; g < max_gamepads; ++g) {
        if (IsGamepadAvailable(g) && IsGamepadButtonPressed(g, gamepad_controls.pause)) return true;
    }
    return false;
}

namespace {

bool input_from_pad = false;

// Every key the game reads, for telling which device was used last.
bool any_game_key_pressed() {
    for (const KeyboardControls &k : keyboard_controls) {
        for (int key : {k.left, k.right, k.forward, k.back, k.jump, k.dash})
            if (IsKeyPressed(key)) return true;
    }
    for (int key : {pause_key, restart_key, menu_keys.next, menu_keys.press[0], menu_keys.press[1], menu_keys.back[0],
                    menu_keys.back[1]})
        if (IsKeyPressed(key)) return true;
    return false;
}

bool any_pad_used() {
    for (int g = 0; g < max_gamepads; ++g) {
        if (!IsGamepadAvailable(g)) continue;
        for (int b = GAMEPAD_BUTTON_LEFT_FACE_UP; b <= GAMEPAD_BUTTON_RIGHT_THUMB; ++b)
            if (IsGamepadButtonPressed(g, b)) return true;
        // A deliberate push, not the drift a resting stick may show.
        for (int axis : {gamepad_controls.axis_x, gamepad_controls.axis_y}) {
            const float v = gamepad_stick(g, axis);
            if (v > 0.5f || v < -0.5f) return true;
        }
    }
    return false;
}

}  // namespace

bool last_input_from_pad() { return input_from_pad; }
void set_last_input_from_pad(bool pad) { input_from_pad = pad; }

void note_input_device() {
    if (any_pad_used()) {
        input_from_pad = true;
    } else if (any_game_key_pressed()) {
        input_from_pad = false;
    }
}
