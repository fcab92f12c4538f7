// The tomato: running, jumping, dashing, squash and stretch, and its confinement
// to its half of the court.
#pragma once

#include <cstdint>

#include "app/vec3d.h"

struct ModelInstance;

// The time since the last hit of a player never hit (or not since the match began):
// long past the overlay's fade, so the overlay shows nothing for them.
inline constexpr float never_hit_time = 99.0f;

struct Player {
    Vec3d dash_target{};
    double speed = 4.0;
    Vec3d velocity{};
    double gravity = -25.0;
    double step_timer = 0.0;
    double squash_timer = 0.0;
    double squash_duration = 0.8;
    double stretch_speed = 0.0;
    double air_time = 0.0;
    double jump_hold_time = 1.0;
    double jump_speed = 5.0;
    double jump_hold_accel = 40.0;
    double step_interval = 0.25;
    double dust_timer = 0.0;
    Vec3d size{0.6, 0.6, 0.6};
    double dust_interval = 0.1;
    ModelInstance *instance = nullptr;
    double wobble_time = 0.0;
    double dash_progress = 0.0;
    double dash_distance = 0.4;
    double dash_rate = 10.0;
    double dash_time = 0.0;
    Vec3d dash_start{};
    float time_since_hit = never_hit_time;
    std::int32_t index = 0;
    std::int32_t lives = 3;
    bool dashing = false;
    bool grounded = true;
    bool input_locked = false;
    bool jump_requested = false;
    bool side = false;
    bool walking = false;
    bool was_hit = false;
    bool jump_held = false;
};

// Player 1 (index 0) plays the left half, player 2 (index 1) the right one.
constexpr Player make_player(int index) {
    Player p{};
    p.index = index;
    p.side = index == 1;
    return p;
}

inline constexpr Vec3d player1_start{-6.0, 0.5, 0.0};
inline constexpr Vec3d player2_start{6.0, 0.5, 0.0};

void update_player(Player *p, double dt);
// Keeps both players inside their halves; velocities are left alone.
void clamp_players();
// Clears the motion state; position, lives, grounded, the step and dust timers and
// input_locked are kept.
void reset_player(Player *p);
