#include "net/match_state.h"

#include <algorithm>
#include <cmath>

#include "app/frame_loop.h"
#include "app/game_state.h"
#include "gameplay/match.h"
#include "render/model_registry.h"

namespace {

InstanceState instance_state(const ModelInstance *inst) {
    if (inst == nullptr) return InstanceState{};
    return InstanceState{inst->position, inst->scale, inst->rotation_angle, inst->visible};
}

void apply_instance(ModelInstance *inst, const InstanceState &s) {
    if (inst == nullptr) return;
    inst->position = s.position;
    inst->scale = s.scale;
    inst->rotation_angle = s.rotation_angle;
    inst->visible = s.visible;
}

// The record's own fields of a player; the instance pointer stays the live one.
void copy_player(Player &to, const Player &from) {
    ModelInstance *keep = to.instance;
    to = from;
    to.instance = keep;
}

void copy_button(Button &to, const Button &from) {
    to.size = from.size;
    to.pressed = from.pressed;
    to.armed = from.armed;
    to.was_pressed = from.was_pressed;
    to.side = from.side;
}

void copy_beam(Beam &to, const Beam &from) {
    ModelInstance *keep = to.instance;
    to = from;
    to.instance = keep;
}

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

void write_player(ByteWriter &w, const Player &p) {
    write_vec(w, p.dash_target);
    w.f64(p.speed);
    write_vec(w, p.velocity);
    w.f64(p.gravity);
    w.f64(p.step_timer);
    w.f64(p.squash_timer);
    w.f64(p.squash_duration);
    w.f64(p.stretch_speed);
    w.f64(p.air_time);
    w.f64(p.jump_hold_time);
    w.f64(p.jump_speed);
    w.f64(p.jump_hold_accel);
    w.f64(p.step_interval);
    w.f64(p.dust_timer);
    write_vec(w, p.size);
    w.f64(p.dust_interval);
    w.f64(p.wobble_time);
    w.f64(p.dash_progress);
    w.f64(p.dash_distance);
    w.f64(p.dash_rate);
    w.f64(p.dash_time);
    write_vec(w, p.dash_start);
    w.f32(p.time_since_hit);
    w.i32(p.index);
    w.i32(p.lives);
    w.boolean(p.dashing);
    w.boolean(p.grounded);
    w.boolean(p.input_locked);
    w.boolean(p.jump_requested);
    w.boolean(p.side);
    w.boolean(p.walking);
    w.boolean(p.was_hit);
    w.boolean(p.jump_held);
}

void read_player(ByteReader &r, Player &p, int index) {
    p.dash_target = read_vec(r);
    p.speed = r.f64();
    p.velocity = read_vec(r);
    p.gravity = r.f64();
    p.step_timer = r.f64();
    p.squash_timer = r.f64();
    p.squash_duration = r.f64();
    p.stretch_speed = r.f64();
    p.air_time = r.f64();
    p.jump_hold_time = r.f64();
    p.jump_speed = r.f64();
    p.jump_hold_accel = r.f64();
    p.step_interval = r.f64();
    p.dust_timer = r.f64();
    p.size = read_vec(r);
    p.dust_interval = r.f64();
    p.wobble_time = r.f64();
    p.dash_progress = r.f64();
    p.dash_distance = r.f64();
    p.dash_rate = r.f64();
    p.dash_time = r.f64();
    p.dash_start = read_vec(r);
    p.time_since_hit = r.f32();
    p.index = r.i32();
    p.lives = r.i32();
    p.dashing = r.boolean();
    p.grounded = r.boolean();
    p.input_locked = r.boolean();
    p.jump_requested = r.boolean();
    p.side = r.boolean();
    p.walking = r.boolean();
    p.was_hit = r.boolean();
    p.jump_held = r.boolean();
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

std::int8_t quantize_axis(double axis) {
    if (!(axis == axis)) return 0;
    const double scaled = std::round(std::clamp(axis, -1.0, 1.0) * 127.0);
    return static_cast<std::int8_t>(scaled);
}

ScriptedControls controls_of(FrameInput in) {
    ScriptedControls c;
    c.axis_x = static_cast<double>(in.move_x) / 127.0;
    c.axis_y = static_cast<double>(in.move_z) / 127.0;
    c.jump = (in.buttons & input_jump) != 0;
    c.dash = (in.buttons & input_dash) != 0;
    return c;
}

FrameInput predicted_from(FrameInput last) {
    last.buttons &= static_cast<std::uint8_t>(~(input_join | input_restart));
    return last;
}

bool input_in_range(FrameInput in) { return in.move_x != -128 && in.move_z != -128 && (in.buttons & ~input_bits) == 0; }

MatchSnapshot initial_match_snapshot(std::uint64_t seed) {
    MatchSnapshot s;
    for (int i = 0; i < 2; ++i) {
        s.players[i] = make_player(i);
        s.player_instances[i].position = i == 0 ? player1_start : player2_start;
    }
    for (int i = 0; i < button_count; ++i) {
        s.buttons[i].side = i >= button_count / 2;
        s.button_instances[i].position = button_position(i);
        s.button_instances[i].visible = true;
    }
    seed_rng(s.rng, seed);
    return s;
}

void capture_match(MatchSnapshot &out) {
    const GameState &g = game_state;
    for (int i = 0; i < 2; ++i) {
        out.players[i] = g.players[i];
        out.players[i].instance = nullptr;
        out.joined[i] = g.joined[i];
        out.arm_timers[i] = g.arm_timers[i];
        out.arm_intervals[i] = g.arm_intervals[i];
        out.player_instances[i] = instance_state(g.players[i].instance);
    }
    out.match_time = g.match_time;
    for (int i = 0; i < button_count; ++i) {
        out.buttons[i] = Button{};
        copy_button(out.buttons[i], g.buttons[i]);
        out.button_instances[i] = instance_state(g.buttons[i].instance);
    }
    for (int i = 0; i < beam_count; ++i) {
        out.beams[i] = g.beams[i];
        out.beams[i].instance = nullptr;
        out.beam_instances[i] = instance_state(g.beams[i].instance);
    }
    out.buttons_pressed = g.buttons_pressed;
    out.rng = g.rng;
}

void restore_match(const MatchSnapshot &in) {
    GameState &g = game_state;
    for (int i = 0; i < 2; ++i) {
        copy_player(g.players[i], in.players[i]);
        g.joined[i] = in.joined[i];
        g.arm_timers[i] = in.arm_timers[i];
        g.arm_intervals[i] = in.arm_intervals[i];
        apply_instance(g.players[i].instance, in.player_instances[i]);
    }
    g.match_time = in.match_time;
    for (int i = 0; i < button_count; ++i) {
        copy_button(g.buttons[i], in.buttons[i]);
        apply_instance(g.buttons[i].instance, in.button_instances[i]);
        show_button_color(&g.buttons[i]);
    }
    for (int i = 0; i < beam_count; ++i) {
        copy_beam(g.beams[i], in.beams[i]);
        apply_instance(g.beams[i].instance, in.beam_instances[i]);
    }
    g.buttons_pressed = in.buttons_pressed;
    g.rng = in.rng;
}

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

double online_step_dt(double game_speed) {
    double dt = game_speed / 60.0;
    if (!(dt <= max_frame_delta)) dt = max_frame_delta;
    // A match cannot run backwards; a speed of zero or less stands still.
    return dt > 0.0 ? dt : 0.0;
}

void step_online_frame(const FrameInput inputs[2], double dt) {
    const ScriptedControls controls[2] = {controls_of(inputs[0]), controls_of(inputs[1])};
    set_scripted_controls(controls);
    // Each machine binds its own controller; here a side joins by its join press.
    for (int s = 0; s < 2; ++s) {
        if ((inputs[s].buttons & input_join) != 0) game_state.joined[s] = true;
    }
    const bool over = step_match(dt);
    if (over && ((inputs[0].buttons | inputs[1].buttons) & input_restart) != 0) reset_match();
    set_scripted_controls(nullptr);
}
