// The state of an online match as a plain record, the per-frame inputs that drive it,
// and the fixed step both machines run. Two machines that start from the same record
// and step with the same inputs compute the same records, bit for bit.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/game_state.h"
#include "app/vec3d.h"
#include "gameplay/buttons.h"
#include "gameplay/input.h"
#include "gameplay/player.h"
#include "net/bytes.h"
#include "render/model_registry.h"

// One player's controls for one frame, as sent over the wire.
struct FrameInput {
    std::int8_t move_x = 0;  // -127..127, the axis times 127
    std::int8_t move_z = 0;
    std::uint8_t buttons = 0;  // FrameInput bits below
    bool operator==(const FrameInput &) const = default;
};

inline constexpr std::uint8_t input_jump = 1;     // jump held
inline constexpr std::uint8_t input_dash = 2;     // dash held
inline constexpr std::uint8_t input_join = 4;     // jump pressed: joins the match
inline constexpr std::uint8_t input_restart = 8;  // R pressed: restarts after game over
inline constexpr std::uint8_t input_bits = 15;

// Axis value in [-1, 1] to the wire's step (rounded, clamped).
std::int8_t quantize_axis(double axis);
ScriptedControls controls_of(FrameInput in);
// What the other player is assumed to do until its input arrives: the same as last
// time, without the one-frame presses.
FrameInput predicted_from(FrameInput last);
// False for values no honest peer sends (-128 on an axis, unknown bits).
bool input_in_range(FrameInput in);

// Where a model instance stands and how it shows: the fields of ModelInstance that a
// match frame writes, under the same names.
struct InstanceState {
    Vec3d position{};
    Vec3d scale{1.0, 1.0, 1.0};
    float rotation_angle = 0.0f;
    bool visible = false;
};

// Everything a match frame reads or writes. The game's own record is kept whole, but
// only the fields visit_match_fields lists count: pointers (model instances, press
// actions), the buttons' colours and what is not the match (screen, controllers, bot)
// stay with the live records.
struct MatchSnapshot {
    GameState game{};
    InstanceState player_instances[2]{};
    InstanceState button_instances[button_count]{};
    InstanceState beam_instances[beam_count]{};
};

// What a field of the match holds; the rules for a record from the other machine
// say how far each may reach (snapshot_rules).
enum class Reach : std::uint8_t {
    any,          // flags, slots and the generator
    place,        // a point on or near the court
    velocity,     // a velocity or a direction, per axis
    extent,       // a size or a scale, per axis
    speed,        // a rate that is never negative
    fall,         // gravity: never upward
    rate,         // a rate either way
    timer,        // seconds counted during a match
    seconds,      // a length of time, never negative
    length,       // a distance no longer than a beam
    angle,        // degrees turned during a match
    lives,        // 0..lives_per_player
    direction,    // a beam's direction code 0..3
    press_count,  // buttons pressed in one match
};

struct Field {
    const char *owner;  // "player 1", "a button", "the match"
    const char *name;
    Reach reach;
};

// The live side of a match: game_state and the model instances its records point to.
struct LiveMatch {
    GameState &game;
};

// The records that carry a model instance.
enum class Body : std::uint8_t { player, button, beam };

inline GameState &game_of(LiveMatch &m) { return m.game; }
inline GameState &game_of(MatchSnapshot &s) { return s.game; }
inline const GameState &game_of(const MatchSnapshot &s) { return s.game; }

inline ModelInstance *instance_of(LiveMatch &m, Body part, int i) {
    if (part == Body::player) return m.game.players[i].instance;
    return part == Body::button ? m.game.buttons[i].instance : m.game.beams[i].instance;
}
template <class S>
auto *instance_of(S &s, Body part, int i) {
    if (part == Body::player) return &s.player_instances[i];
    return part == Body::button ? &s.button_instances[i] : &s.beam_instances[i];
}

// Calls v on one member of two records of a kind, as a field of `owner`.
template <class RA, class RB, class V>
auto member_visitor(RA &a, RB &b, const char *owner, V &v) {
    return [&a, &b, owner, &v](auto member, Reach reach, const char *name) {
        v(a.*member, b.*member, Field{owner, name, reach});
    };
}

// The one list of what a match frame reads or writes, in wire order. It walks two records
// side by side, calling v(field of a, field of b, Field) for each; capture and restore
// copy between the live match and a snapshot, and the codec, the checksum and the
// range checks pass the same snapshot twice. A field the step writes that is missing
// here is caught by the determinism tests; adding one changes the rules version.
template <class A, class B, class V>
void visit_match_fields(A &a, B &b, V &&v) {
    static constexpr const char *players[2] = {"player 1", "player 2"};
    auto &ga = game_of(a);
    auto &gb = game_of(b);
    for (int i = 0; i < 2; ++i) {
        auto f = member_visitor(ga.players[i], gb.players[i], players[i], v);
        f(&Player::dash_target, Reach::place, "dash target");
        f(&Player::speed, Reach::speed, "speed");
        f(&Player::velocity, Reach::velocity, "velocity");
        f(&Player::gravity, Reach::fall, "gravity");
        f(&Player::step_timer, Reach::timer, "step timer");
        f(&Player::squash_timer, Reach::timer, "squash timer");
        f(&Player::squash_duration, Reach::timer, "squash duration");
        f(&Player::stretch_speed, Reach::rate, "stretch speed");
        f(&Player::air_time, Reach::timer, "air time");
        f(&Player::jump_hold_time, Reach::timer, "jump hold time");
        f(&Player::jump_speed, Reach::speed, "jump speed");
        f(&Player::jump_hold_accel, Reach::speed, "jump hold acceleration");
        f(&Player::step_interval, Reach::timer, "step interval");
        f(&Player::dust_timer, Reach::timer, "dust timer");
        f(&Player::size, Reach::extent, "size");
        f(&Player::dust_interval, Reach::timer, "dust interval");
        f(&Player::wobble_time, Reach::timer, "wobble time");
        f(&Player::dash_progress, Reach::seconds, "dash progress");
        f(&Player::dash_distance, Reach::length, "dash distance");
        f(&Player::dash_rate, Reach::speed, "dash rate");
        f(&Player::dash_time, Reach::timer, "dash time");
        f(&Player::dash_start, Reach::place, "dash start");
        f(&Player::time_since_hit, Reach::timer, "time since hit");
        f(&Player::index, Reach::any, "slot");
        f(&Player::lives, Reach::lives, "lives");
        f(&Player::dashing, Reach::any, "dashing");
        f(&Player::grounded, Reach::any, "grounded");
        f(&Player::input_locked, Reach::any, "input locked");
        f(&Player::jump_requested, Reach::any, "jump requested");
        f(&Player::side, Reach::any, "side");
        f(&Player::walking, Reach::any, "walking");
        f(&Player::was_hit, Reach::any, "was hit");
        f(&Player::jump_held, Reach::any, "jump held");
    }
    v(ga.joined[0], gb.joined[0], Field{"the match", "player 1 joined", Reach::any});
    v(ga.joined[1], gb.joined[1], Field{"the match", "player 2 joined", Reach::any});
    v(ga.match_time, gb.match_time, Field{"the match", "time", Reach::seconds});
    for (int i = 0; i < 2; ++i) {
        v(ga.arm_timers[i], gb.arm_timers[i], Field{players[i], "arming timer", Reach::timer});
        v(ga.arm_intervals[i], gb.arm_intervals[i], Field{players[i], "arming interval", Reach::timer});
    }
    for (int i = 0; i < button_count; ++i) {
        auto f = member_visitor(ga.buttons[i], gb.buttons[i], "a button", v);
        f(&Button::size, Reach::extent, "size");
        f(&Button::pressed, Reach::any, "pressed");
        f(&Button::armed, Reach::any, "armed");
        f(&Button::was_pressed, Reach::any, "was pressed");
        f(&Button::side, Reach::any, "side");
    }
    for (int i = 0; i < beam_count; ++i) {
        auto f = member_visitor(ga.beams[i], gb.beams[i], "a beam", v);
        f(&Beam::start, Reach::place, "start");
        f(&Beam::end, Reach::place, "end");
        f(&Beam::direction, Reach::velocity, "direction");
        f(&Beam::size, Reach::extent, "size");
        f(&Beam::elapsed, Reach::timer, "elapsed time");
        f(&Beam::duration, Reach::seconds, "duration");
        f(&Beam::dir, Reach::direction, "direction code");
        f(&Beam::active, Reach::any, "active");
    }
    v(ga.buttons_pressed, gb.buttons_pressed, Field{"the match", "press count", Reach::press_count});
    for (int k = 0; k < 4; ++k) v(ga.rng.s[k], gb.rng.s[k], Field{"the match", "generator", Reach::any});
    // A live record may lack its model instance (a court without models): nothing to copy.
    static constexpr const char *owners[3] = {nullptr, "a button", "a beam"};
    static constexpr int counts[3] = {2, button_count, beam_count};
    for (Body part : {Body::player, Body::button, Body::beam}) {
        const int p = static_cast<int>(part);
        for (int i = 0; i < counts[p]; ++i) {
            auto *ia = instance_of(a, part, i);
            auto *ib = instance_of(b, part, i);
            if (ia == nullptr || ib == nullptr) continue;
            const char *owner = part == Body::player ? players[i] : owners[p];
            v(ia->position, ib->position, Field{owner, "position", Reach::place});
            v(ia->scale, ib->scale, Field{owner, "scale", Reach::extent});
            v(ia->rotation_angle, ib->rotation_angle, Field{owner, "angle", Reach::angle});
            v(ia->visible, ib->visible, Field{owner, "visibility", Reach::any});
        }
    }
}

inline constexpr std::size_t max_state_bytes = 8192;

// The record both machines start an online match from: nobody joined, the players
// at their start points, nothing armed, the generator seeded with `seed`.
MatchSnapshot initial_match_snapshot(std::uint64_t seed);
// From and into game_state and the model instances it points to.
void capture_match(MatchSnapshot &out);
void restore_match(const MatchSnapshot &in);

// Every field, in a fixed order; the wire form of the record and what checksums read.
void write_snapshot(ByteWriter &w, const MatchSnapshot &s);
// Reads and range-checks a record from an untrusted peer; false (and `out` unchanged)
// for anything short, long, non-finite or out of range.
bool read_snapshot(ByteReader &r, MatchSnapshot &out);
// FNV-1a over the written record.
std::uint64_t snapshot_checksum(const MatchSnapshot &s);
// Whole-record equality, field by field through the written form.
bool same_snapshot(const MatchSnapshot &a, const MatchSnapshot &b);

// The fixed step: 1/60 s times the host's game speed, capped like a frame's delta.
double online_step_dt(double game_speed);
// One frame of the match in game_state with both players' inputs (index 0 is player 1).
void step_online_frame(const FrameInput inputs[2], double dt);
