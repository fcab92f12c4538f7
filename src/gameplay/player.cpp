#include "gameplay/player.h"

#include <algorithm>
#include <cmath>

#include "app/det_math.h"
#include "app/effects.h"
#include "app/game_state.h"
#include "audio/sound_bank.h"
#include "gameplay/input.h"
#include "render/model_registry.h"
#include "render/particles.h"

namespace {

// Degrees become radians with the single-precision factor, as everywhere in the game.
constexpr double deg_to_rad = static_cast<double>(DEG2RAD);
constexpr double velocity_epsilon = 2.220446049250313e-16;

constexpr Color splash_color = RED;
constexpr Color dust_color{0, 228, 48, 255};
constexpr int splash_count = 250;
constexpr int dust_count = 50;

double random_degrees(int lo, int hi) { return static_cast<double>(rng_range(effects_rng(), lo, hi)) * deg_to_rad; }

// Particles are only drawn, never part of the match: the C library's sin and cos do.
void emit_landing_splash(const Player &p) {
    const Vec3d at = p.instance->position;
    const Vec3d v = p.velocity;
    for (int i = 0; i < splash_count; ++i) {
        const double a = random_degrees(0, 360);
        const double l = rng_float(effects_rng()) * std::abs(v.y) / 3.0;
        const double u = static_cast<double>(rng_range(effects_rng(), 40, 60)) / 100.0;
        const Vec3d pos{at.x + 0.2 * std::cos(a), at.y - 0.3, at.z + 0.2 * std::sin(a)};
        const Vec3d vel{l * std::cos(a) + v.x, u * std::abs(v.y), l * std::sin(a) + v.z};
        spawn_particle(&pos, &vel, static_cast<float>(p.gravity), 0.3, &splash_color);
    }
}

void emit_walking_dust(const Player &p) {
    const Vec3d at = p.instance->position;
    const Vec3d v = p.velocity;
    for (int i = 0; i < dust_count; ++i) {
        const double a1 = random_degrees(0, 90);
        const double a = random_degrees(0, 360);
        const double rx = rng_float(effects_rng());
        const double rz = rng_float(effects_rng());
        const double m = rng_float(effects_rng());
        const double up = static_cast<double>(rng_range(effects_rng(), 0, 10)) / 10.0;
        const Vec3d pos{at.x + rx * 0.35 * std::cos(a), at.y - 0.3, at.z + rz * 0.35 * std::sin(a)};
        const Vec3d vel{m * std::cos(a1) - v.x / 5.0, up, m * std::sin(a1) - v.z / 5.0};
        spawn_particle(&pos, &vel, static_cast<float>(p.gravity), 0.25, &dust_color);
    }
}

void jump(Player &p, double dt) {
    if (p.grounded) {
        p.velocity.y = p.jump_speed;
        p.stretch_speed = p.jump_speed;
        p.jump_held = true;
        if (effects_shown()) play_step_sound(p.side);
    } else if (p.jump_held) {
        // The lift fades out over jump_hold_time, quickly at first.
        const double k = std::max(1.0 - det_pow(p.air_time / p.jump_hold_time, 0.3), 0.0);
        const double boost = k * p.jump_hold_accel * dt;
        p.velocity.y += boost;
        p.stretch_speed += boost;
    }
}

void start_dash(Player &p) {
    const Vec3d offset = Vec3d{p.velocity.x, 0.0, p.velocity.z} * p.dash_distance;
    p.dashing = true;
    p.input_locked = true;
    p.dash_start = p.instance->position;
    p.dash_target = p.instance->position + offset;
    p.dash_time = 0.0;
    p.dash_progress = 0.0;
}

void advance_dash(Player &p, double dt) {
    if (p.dash_progress >= 1.0) return;
    p.dash_time += dt;
    p.dash_progress = p.dash_time * p.dash_rate;
    // Ease in: slow off the mark, fastest at the end.
    p.instance->position = lerp(p.dash_start, p.dash_target, p.dash_progress * p.dash_progress);
}

void animate(Player &p, double dt) {
    ModelInstance &inst = *p.instance;
    const double b = inst.base_scale;
    p.squash_timer = std::clamp(p.squash_timer - dt, 0.0, 69.0);
    if (p.squash_timer == 0.0 && p.grounded) p.wobble_time += dt;

    double stretch = p.stretch_speed * p.stretch_speed * 0.01 * b;
    if (p.squash_timer > 0.0) {
        // A damped bounce over the squash: wide and flat, then settling.
        const double angle = (p.squash_duration - p.squash_timer) / p.squash_duration * 2.0 * pi;
        const double s = b * det_sin(angle) * det_pow(0.7, angle) * 0.4;
        inst.scale.x = inst.scale.z = b + s;
        stretch -= s;
    } else {
        const double k = -0.04 * b * det_sin(9.0 * p.wobble_time);
        inst.scale.x = inst.scale.z = b - k;
        stretch += k;
    }
    inst.scale.y = b + stretch;

    if (p.dashing) {
        const double e = 0.55 * det_sin(pi * p.dash_progress);
        const double m = b * e * e;
        if (p.velocity.x != 0.0) {
            inst.scale.x = b + m;
            inst.scale.y = inst.scale.z = b - m;
        } else if (p.velocity.z != 0.0) {
            inst.scale.z = b + m;
            inst.scale.x = inst.scale.y = b - m;
        }
    }
}

void clamp_instance(ModelInstance *inst, double min_x, double max_x) {
    if (inst == nullptr) return;
    inst->position.x = std::clamp(inst->position.x, min_x, max_x);
    inst->position.z = std::clamp(inst->position.z, -6.25, 5.25);
}

}  // namespace

void update_player(Player *p, double dt) {
    if (p == nullptr || p->instance == nullptr) return;
    Vec3d &pos = p->instance->position;

    if (!p->input_locked) {
        p->velocity.x = axis_x(p->side);
        p->velocity.z = axis_y(p->side);
    }
    if (p->dashing) advance_dash(*p, dt);

    const bool wants_jump = (!p->input_locked && jump_down(p->side)) || p->jump_requested;
    if (wants_jump) {
        jump(*p, dt);
        p->wobble_time = 0.0;
        p->jump_requested = false;
    } else {
        p->jump_held = false;
    }

    // Any input, however slight, runs at full speed; diagonals are not faster.
    const double len = std::sqrt(p->velocity.x * p->velocity.x + p->velocity.z * p->velocity.z);
    if (len != 0.0) {
        p->velocity.x /= len;
        p->velocity.z /= len;
    }
    p->velocity.x *= p->speed;
    p->velocity.z *= p->speed;

    p->velocity.y += dt * p->gravity;
    pos = pos + p->velocity * dt;

    if (pos.y <= 0.0) {
        pos.y = 0.0;
        if (!p->grounded) {
            p->squash_timer = p->squash_duration;
            if (effects_shown()) {
                emit_landing_splash(*p);
                play_step_sound(p->side);
            }
        }
        p->grounded = true;
        p->air_time = 0.0;
        p->velocity.y = 0.0;
        p->stretch_speed -= 0.1 * p->stretch_speed;
        p->jump_requested = false;
        if (p->dashing) {
            p->dashing = false;
            p->input_locked = false;
        }
    } else {
        p->grounded = false;
        p->air_time += dt;
        p->stretch_speed = p->velocity.y;
        const bool moving = std::abs(p->velocity.x) > velocity_epsilon || std::abs(p->velocity.z) > velocity_epsilon;
        if (!p->input_locked && !p->dashing && moving && dash_down(p->side)) start_dash(*p);
    }

    p->time_since_hit += static_cast<float>(dt);
    p->instance->visible = game_state.joined[p->index != 0 ? 1 : 0] && p->lives > 0;
    p->walking = p->grounded && (std::abs(p->velocity.x) > 0.2 || std::abs(p->velocity.z) > 0.2);

    if (p->walking) {
        if (p->dust_timer <= 0.01 && effects_shown()) emit_walking_dust(*p);
        p->dust_timer += dt;
        if (p->dust_timer >= p->dust_interval) p->dust_timer = 0.0;

        if (p->step_timer <= 0.01 && effects_shown()) play_step_sound(p->side);
        p->step_timer += dt;
        if (p->step_timer >= p->step_interval) p->step_timer = 0.0;
    } else {
        p->dust_timer = 0.0;
    }

    animate(*p, dt);
}

void clamp_players() {
    clamp_instance(game_state.players[0].instance, -12.25, -0.75);
    clamp_instance(game_state.players[1].instance, 0.75, 12.25);
}

void reset_player(Player *p) {
    p->velocity = Vec3d{};
    p->squash_timer = 0.0;
    p->stretch_speed = 0.0;
    p->air_time = 0.0;
    p->dash_time = 0.0;
    p->dash_progress = 0.0;
    p->wobble_time = 0.0;
    p->jump_held = false;
    p->was_hit = false;
    p->dashing = false;
    p->jump_requested = false;
    p->time_since_hit = never_hit_time;
}
