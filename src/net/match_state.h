// The state of an online match as a plain record, the per-frame inputs that drive it,
// and the fixed step both machines run. Two machines that start from the same record
// and step with the same inputs compute the same records, bit for bit.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/rng.h"
#include "app/vec3d.h"
#include "gameplay/buttons.h"
#include "gameplay/input.h"
#include "gameplay/player.h"
#include "net/bytes.h"

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

// Where a model instance stands and how it shows.
struct InstanceState {
    Vec3d position{};
    Vec3d scale{1.0, 1.0, 1.0};
    float rotation_angle = 0.0f;
    bool visible = false;
};

// Everything a match frame reads or writes. Pointers (model instances, press
// actions) and the buttons' colours stay with the live records.
struct MatchSnapshot {
    Player players[2]{};
    bool joined[2] = {false, false};
    double match_time = 0.0;
    double arm_timers[2] = {0.0, 0.0};
    double arm_intervals[2] = {0.0, 0.0};
    Button buttons[button_count]{};
    Beam beams[beam_count]{};
    std::int32_t buttons_pressed = 0;
    Rng rng{};
    InstanceState player_instances[2]{};
    InstanceState button_instances[button_count]{};
    InstanceState beam_instances[beam_count]{};
};

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
