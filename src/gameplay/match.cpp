#include "gameplay/match.h"

#include <cmath>

#include "app/det_math.h"
#include "app/effects.h"
#include "app/game_state.h"
#include "gameplay/input.h"
#include "render/camera.h"
#include "render/model_registry.h"
#include "render/particles.h"
#include "raylib.h"

namespace {

constexpr double deg_to_rad = static_cast<double>(DEG2RAD);
constexpr Color text_color = BLUE;
constexpr Color burst_color = RED;
constexpr int burst_count = 250;

Player &player1() { return game_state.players[0]; }
Player &player2() { return game_state.players[1]; }

void show_player(Player &p, bool visible) {
    if (p.instance != nullptr) p.instance->visible = visible;
}

void place(Player &p, Vec3d at) {
    if (p.instance != nullptr) p.instance->position = at;
}

void emit_hit_burst(const Player &p) {
    if (p.instance == nullptr) return;
    const Vec3d at = p.instance->position;
    const Vec3d v = p.velocity;
    for (int i = 0; i < burst_count; ++i) {
        const double a = static_cast<double>(rng_range(effects_rng(), 0, 360)) * deg_to_rad;
        const double e = 5.0 * rng_float(effects_rng());
        const double r = static_cast<double>(rng_range(effects_rng(), -100, 100));
        const Vec3d pos{at.x + 0.2 * std::cos(a), at.y - 0.3, at.z + 0.2 * std::sin(a)};
        const Vec3d vel{e * std::cos(a) + v.x, r / 10.0, e * std::sin(a) + v.z};
        spawn_particle(&pos, &vel, static_cast<float>(p.gravity), 0.5, &burst_color);
    }
}

void arm_random_button(int side) {
    const std::int64_t first = side == 0 ? 0 : button_count / 2;
    const std::int64_t index = rng_range(game_state.rng, first, first + button_count / 2 - 1);
    set_button_armed(&game_state.buttons[index], true);
}

}  // namespace

bool is_alive(const Player *p) { return p->lives > 0; }

bool both_joined() { return game_state.joined[0] && game_state.joined[1]; }

bool match_over() {
    if (!both_joined()) return false;
    const int alive = (is_alive(&player1()) ? 1 : 0) + (is_alive(&player2()) ? 1 : 0);
    // Both losing their last life in the same frame is a draw, and ends the match too.
    return alive <= 1;
}

MatchResult match_result() {
    if (!match_over()) return MatchResult::playing;
    if (is_alive(&player1())) return MatchResult::player1_wins;
    if (is_alive(&player2())) return MatchResult::player2_wins;
    return MatchResult::draw;
}

void update_match(double dt) {
    poll_joins();
    if (pause_pressed(match_over())) set_screen_state(ScreenState::paused);
    if (step_match(dt)) {
        draw_game_over();
        if (restart_pressed()) reset_match();
    }
}

void draw_game_over() { DrawText("game over", 0, 60, 20, text_color); }

const char *result_line() {
    switch (match_result()) {
    case MatchResult::player1_wins:
        return "player 1 wins";
    case MatchResult::player2_wins:
        return "player 2 wins";
    case MatchResult::draw:
        return "draw";
    case MatchResult::playing:
        break;
    }
    return nullptr;
}

const char *restart_hint() {
    if (!match_over()) return nullptr;
    // The device the players touched last is named, never the other one.
    if (last_input_from_pad() && gamepad_in_match())
        return TextFormat("press %s to play again", pad_button_label(gamepad_controls.restart));
    return TextFormat("press %s to play again", key_label(restart_key));
}

bool step_match(double dt) {
    const bool a1 = game_state.joined[0] && is_alive(&player1());
    const bool a2 = game_state.joined[1] && is_alive(&player2());
    if (a1) update_player(&player1(), dt);
    if (a2) {
        if (game_state.bot_enabled) {
            // The bot waits, frozen, until there is someone to play against.
            if (game_state.joined[0]) update_player(&player2(), dt);
            update_bot(&game_state.bot);
        } else {
            update_player(&player2(), dt);
        }
    }
    update_buttons(&player1(), &player2());
    clamp_players();

    if (!both_joined()) return false;
    update_beams(dt);

    if (match_over()) return true;
    game_state.match_time += dt;
    update_arming(dt, game_state.match_time);
    return false;
}

void hit_player(Player *p, bool hit) {
    if (is_alive(p) && hit && !p->was_hit) {
        p->time_since_hit = 0.0f;
        p->lives -= 1;
        if (effects_shown()) {
            emit_hit_burst(*p);
            start_camera_shake();
        }
        if (p->lives == 0) {
            show_player(*p, false);
            p->time_since_hit = never_hit_time;
        }
    }
    p->was_hit = hit;
}

double next_arm_interval(double t) {
    const double k = static_cast<double>(rng_range(game_state.rng, -50, 50));
    return det_pow(2.0, -0.15 * t) * 10.0 + 0.5 + k / 100.0;
}

void update_arming(double dt, double t) {
    game_state.arm_timers[0] += dt;
    game_state.arm_timers[1] += dt;
    for (int s = 0; s < 2; ++s) {
        if (game_state.arm_timers[s] >= game_state.arm_intervals[s]) {
            game_state.arm_timers[s] = 0.0;
            game_state.arm_intervals[s] = next_arm_interval(t);
            arm_random_button(s);
        }
    }
}

void start_match() {
    move_camera_to(match_view_position);
    show_player(player1(), false);
    show_player(player2(), false);
    player1().input_locked = false;
    game_state.joined[0] = false;
    game_state.joined[1] = false;
}

void reset_match() {
    show_player(player1(), false);
    show_player(player2(), false);
    if (!game_state.bot_enabled) player2().input_locked = false;
    place(player1(), player1_start);
    place(player2(), player2_start);
    player1().lives = lives_per_player;
    player2().lives = lives_per_player;
    reset_player(&player1());
    reset_player(&player2());

    for (int s = 0; s < 2; ++s) {
        game_state.arm_timers[s] = 0.0;
        game_state.arm_intervals[s] = 0.0;
    }
    reset_buttons_and_beams();

    if (game_state.bot_enabled) {
        // The bot stays joined and drops onto the court with a hop.
        player2().jump_requested = true;
        if (player2().instance != nullptr) player2().instance->position.y = 0.0;
        game_state.joined[0] = false;
    } else {
        game_state.joined[0] = false;
        game_state.joined[1] = false;
    }
    game_state.match_time = 0.0;
}

void enable_bot() {
    game_state.bot.player = &player2();
    game_state.bot.target = nullptr;
    game_state.bot_enabled = true;
    player2().input_locked = true;
    player2().jump_requested = true;
    if (player2().instance != nullptr) player2().instance->position.y = 0.0;
}

void disable_bot() {
    game_state.bot_enabled = false;
    game_state.bot.player = nullptr;
    player2().input_locked = false;
    player2().jump_requested = false;
}

void update_bot(Bot *bot) {
    if (bot->player == nullptr) return;
    Player &p = *bot->player;
    if (p.instance == nullptr) return;

    if (bot->target == nullptr) {
        bot->target = first_armed_button(p.side);
    } else {
        // Aim straight at the button; the player update turns this into full speed.
        const Vec3d d = bot->target->instance->position - p.instance->position;
        p.velocity.x = d.x;
        p.velocity.z = d.z;
        if (!bot->target->armed) {
            bot->target = nullptr;
            p.velocity.x = 0.0;
            p.velocity.z = 0.0;
        }
    }

    for (const Beam &beam : game_state.beams) {
        if (!beam.active || beam.instance == nullptr) continue;
        const double distance = (beam.dir == 0 || beam.dir == 3)
                                    ? std::abs(p.instance->position.x - beam.instance->position.x)
                                    : std::abs(p.instance->position.z - beam.instance->position.z);
        if (distance <= bot_alarm_distance) p.jump_requested = true;
    }
}
