// The wire form of the match record. Kept apart from the stepping code so that the
// packet fuzzer can take it without the rest of the game.
#include "net/match_state.h"

#include <cstring>

#include "gameplay/match.h"

namespace {

void write_vec(ByteWriter &w, Vec3d v) {
    w.f64(v.x);
    w.f64(v.y);
    w.f64(v.z);
}

Vec3d read_vec(ByteReader &r) {
    Vec3d v;
    v.x = r.f64();
    v.y = r.f64();
    v.z = r.f64();
    return v;
}

void write_instance(ByteWriter &w, const InstanceState &s) {
    write_vec(w, s.position);
    write_vec(w, s.scale);
    w.f32(s.rotation_angle);
    w.boolean(s.visible);
}

InstanceState read_instance(ByteReader &r) {
    InstanceState s;
    s.position = read_vec(r);
    s.scale = read_vec(r);
    s.rotation_angle = r.f32();
    s.visible = r.boolean();
    return s;
}

// Runs of a player's fields that share a wire type, in wire order. The writer and
// the reader walk the same lists, so their orders cannot drift apart.
constexpr double Player::*player_motion[] = {&Player::gravity,         &Player::step_timer,    &Player::squash_timer,
                                             &Player::squash_duration, &Player::stretch_speed, &Player::air_time,
                                             &Player::jump_hold_time,  &Player::jump_speed,    &Player::jump_hold_accel,
                                             &Player::step_interval,   &Player::dust_timer};
constexpr double Player::*player_dash[] = {&Player::dust_interval, &Player::wobble_time, &Player::dash_progress,
                                           &Player::dash_distance, &Player::dash_rate,   &Player::dash_time};
constexpr bool Player::*player_flags[] = {&Player::dashing,        &Player::grounded, &Player::input_locked,
                                          &Player::jump_requested, &Player::side,     &Player::walking,
                                          &Player::was_hit,        &Player::jump_held};

void write_player(ByteWriter &w, const Player &p) {
    write_vec(w, p.dash_target);
    w.f64(p.speed);
    write_vec(w, p.velocity);
    for (double Player::*f : player_motion) w.f64(p.*f);
    write_vec(w, p.size);
    for (double Player::*f : player_dash) w.f64(p.*f);
    write_vec(w, p.dash_start);
    w.f32(p.time_since_hit);
    w.i32(p.index);
    w.i32(p.lives);
    for (bool Player::*f : player_flags) w.boolean(p.*f);
}

void read_player(ByteReader &r, Player &p, int index) {
    p.dash_target = read_vec(r);
    p.speed = r.f64();
    p.velocity = read_vec(r);
    for (double Player::*f : player_motion) p.*f = r.f64();
    p.size = read_vec(r);
    for (double Player::*f : player_dash) p.*f = r.f64();
    p.dash_start = read_vec(r);
    p.time_since_hit = r.f32();
    p.index = r.i32();
    p.lives = r.i32();
    for (bool Player::*f : player_flags) p.*f = r.boolean();
    // A player's slot and side are fixed; lives only count down from three.
    if (p.index != index || p.side != (index == 1) || p.lives < 0 || p.lives > lives_per_player) r.fail();
}

void write_button(ByteWriter &w, const Button &b) {
    write_vec(w, b.size);
    w.boolean(b.pressed);
    w.boolean(b.armed);
    w.boolean(b.was_pressed);
    w.boolean(b.side);
}

void read_button(ByteReader &r, Button &b, int index) {
    b.size = read_vec(r);
    b.pressed = r.boolean();
    b.armed = r.boolean();
    b.was_pressed = r.boolean();
    b.side = r.boolean();
    if (b.side != (index >= button_count / 2)) r.fail();
}

void write_beam(ByteWriter &w, const Beam &b) {
    write_vec(w, b.start);
    write_vec(w, b.end);
    write_vec(w, b.direction);
    write_vec(w, b.size);
    w.f64(b.elapsed);
    w.f64(b.duration);
    w.u8(b.dir);
    w.boolean(b.active);
}

void read_beam(ByteReader &r, Beam &b) {
    b.start = read_vec(r);
    b.end = read_vec(r);
    b.direction = read_vec(r);
    b.size = read_vec(r);
    b.elapsed = r.f64();
    b.duration = r.f64();
    b.dir = r.u8();
    b.active = r.boolean();
    if (b.dir > 3) r.fail();
}

}  // namespace

bool input_in_range(FrameInput in) { return in.move_x != -128 && in.move_z != -128 && (in.buttons & ~input_bits) == 0; }

void write_snapshot(ByteWriter &w, const MatchSnapshot &s) {
    for (const Player &p : s.players) write_player(w, p);
    w.boolean(s.joined[0]);
    w.boolean(s.joined[1]);
    w.f64(s.match_time);
    for (int i = 0; i < 2; ++i) {
        w.f64(s.arm_timers[i]);
        w.f64(s.arm_intervals[i]);
    }
    for (const Button &b : s.buttons) write_button(w, b);
    for (const Beam &b : s.beams) write_beam(w, b);
    w.i32(s.buttons_pressed);
    for (std::uint64_t word : s.rng.s) w.u64(word);
    for (const InstanceState &i : s.player_instances) write_instance(w, i);
    for (const InstanceState &i : s.button_instances) write_instance(w, i);
    for (const InstanceState &i : s.beam_instances) write_instance(w, i);
}

bool read_snapshot(ByteReader &r, MatchSnapshot &out) {
    MatchSnapshot s;
    for (int i = 0; i < 2; ++i) read_player(r, s.players[i], i);
    s.joined[0] = r.boolean();
    s.joined[1] = r.boolean();
    s.match_time = r.f64();
    for (int i = 0; i < 2; ++i) {
        s.arm_timers[i] = r.f64();
        s.arm_intervals[i] = r.f64();
    }
    for (int i = 0; i < button_count; ++i) read_button(r, s.buttons[i], i);
    for (Beam &b : s.beams) read_beam(r, b);
    s.buttons_pressed = r.i32();
    // The press count picks beam directions; it only counts up within a match.
    if (s.buttons_pressed < 0) r.fail();
    for (std::uint64_t &word : s.rng.s) word = r.u64();
    // An all-zero xoshiro state never leaves zero: no honest peer has one.
    if ((s.rng.s[0] | s.rng.s[1] | s.rng.s[2] | s.rng.s[3]) == 0) r.fail();
    for (InstanceState &i : s.player_instances) i = read_instance(r);
    for (InstanceState &i : s.button_instances) i = read_instance(r);
    for (InstanceState &i : s.beam_instances) i = read_instance(r);
    if (!r.done()) return false;
    out = s;
    return true;
}

std::uint64_t snapshot_checksum(const MatchSnapshot &s) {
    static std::uint8_t buffer[max_state_bytes];
    ByteWriter w{buffer, sizeof buffer};
    write_snapshot(w, s);
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (std::size_t i = 0; i < w.size; ++i) {
        h ^= buffer[i];
        h *= 0x100000001b3ull;
    }
    return h;
}

bool same_snapshot(const MatchSnapshot &a, const MatchSnapshot &b) {
    static std::uint8_t bytes_a[max_state_bytes];
    static std::uint8_t bytes_b[max_state_bytes];
    ByteWriter wa{bytes_a, sizeof bytes_a};
    ByteWriter wb{bytes_b, sizeof bytes_b};
    write_snapshot(wa, a);
    write_snapshot(wb, b);
    return wa.ok() && wb.ok() && wa.size == wb.size && std::memcmp(bytes_a, bytes_b, wa.size) == 0;
}
