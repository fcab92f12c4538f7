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
