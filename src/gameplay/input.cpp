#include "gameplay/input.h"

#include "app/game_state.h"
#include "raylib.h"

namespace {

const ScriptedControls *scripted = nullptr;

const ScriptedControls *scripted_for(bool side) { return scripted != nullptr ? &scripted[side ? 1 : 0] : nullptr; }

InputDevice device_of(bool side) { return game_state.input_devices[side ? 1 : 0]; }

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
    return static_cast<double>(GetGamepadAxisMovement(d, axis));
}

bool pad_button(InputDevice d, int button) { return pad_connected(d) && IsGamepadButtonDown(d, button); }

}  // namespace

void set_scripted_controls(const ScriptedControls *controls) { scripted = controls; }

void poll_joins() {
    if (IsKeyPressed(KEY_SPACE)) join_device(keyboard_left);
    if (IsKeyPressed(KEY_K)) join_device(keyboard_right);
    for (int g = 0; g < max_gamepads; ++g) {
        if (IsGamepadAvailable(g) && IsGamepadButtonPressed(g, GAMEPAD_BUTTON_RIGHT_FACE_DOWN)) {
            join_device(g);
        }
    }
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
    if (d == keyboard_left) return key_axis(KEY_A, KEY_D);
    if (d == keyboard_right) return key_axis(KEY_LEFT, KEY_RIGHT);
    return pad_axis(d, GAMEPAD_AXIS_LEFT_X);
}

double axis_y(bool side) {
    if (const ScriptedControls *c = scripted_for(side)) return c->axis_y;
    const InputDevice d = device_of(side);
    if (d == keyboard_left) return key_axis(KEY_W, KEY_S);
    if (d == keyboard_right) return key_axis(KEY_UP, KEY_DOWN);
    return pad_axis(d, GAMEPAD_AXIS_LEFT_Y);
}

bool jump_down(bool side) {
    if (const ScriptedControls *c = scripted_for(side)) return c->jump;
    const InputDevice d = device_of(side);
    if (d == keyboard_left) return IsKeyDown(KEY_SPACE);
    if (d == keyboard_right) return IsKeyDown(KEY_K);
    return pad_button(d, GAMEPAD_BUTTON_RIGHT_FACE_DOWN);
}

bool dash_down(bool side) {
    if (const ScriptedControls *c = scripted_for(side)) return c->dash;
    const InputDevice d = device_of(side);
    if (d == keyboard_left) return IsKeyDown(KEY_LEFT_SHIFT);
    if (d == keyboard_right) return IsKeyDown(KEY_L);
    return pad_button(d, GAMEPAD_BUTTON_RIGHT_FACE_RIGHT);
}
