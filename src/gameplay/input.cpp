#include "gameplay/input.h"

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
