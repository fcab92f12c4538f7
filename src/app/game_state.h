// The one global record of the running game and the screen state machine.
#pragma once

#include <cstdint>

#include "app/rng.h"
#include "gameplay/buttons.h"
#include "gameplay/input.h"
#include "gameplay/match.h"
#include "gameplay/player.h"

enum class ScreenState : std::uint8_t { menu = 0, match = 1, paused = 2 };

struct GameState {
    ScreenState screen_state = ScreenState::menu;
    bool quit_requested = false;
    Player players[2] = {make_player(0), make_player(1)};
    bool joined[2] = {false, false};
    InputDevice input_devices[2] = {-1, -1};
    Bot bot{};
    bool bot_enabled = false;
    double match_time = 0.0;
    double arm_timers[2] = {0.0, 0.0};
    double arm_intervals[2] = {0.0, 0.0};
    Button buttons[button_count]{};
    Beam beams[beam_count]{};
    std::int32_t buttons_pressed = 0;
    Rng rng{};
};

extern GameState game_state;

// The only way to change screen_state; runs the transition's actions first.
void set_screen_state(ScreenState next);
// Sets up the title screen: camera, idle player 1, bot off.
void enter_menu_scene();
void update_menu_scene(double dt);
void update_paused();
