// Controllers and joining. A player is bound to the controller it joined with; the
// per-player queries below read that controller alone.
#pragma once

#include <cstdint>

// -2 and -1 are the two halves of the keyboard, 0..19 a gamepad index.
using InputDevice = std::int32_t;

inline constexpr InputDevice keyboard_left = -2;   // W A S D, Space, Left Shift
inline constexpr InputDevice keyboard_right = -1;  // arrows, K, L
inline constexpr int max_gamepads = 20;

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

// Joins every controller whose join control was pressed this frame.
void poll_joins();
// First controller becomes player 1, any other one (re)takes player 2.
void join_device(InputDevice device);

// side false is player 1, true is player 2.
double axis_x(bool side);  // in [-1, 1], negative towards -x
double axis_y(bool side);  // in [-1, 1], negative towards -z
bool jump_down(bool side);
bool dash_down(bool side);
