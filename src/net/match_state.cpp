#include "net/match_state.h"

#include <algorithm>
#include <cmath>

#include "app/frame_clock.h"
#include "app/game_state.h"
#include "gameplay/match.h"

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
    for (int i = 0; i < 2; ++i) s.player_instances[i].position = i == 0 ? player1_start : player2_start;
    for (int i = 0; i < button_count; ++i) {
        s.game.buttons[i].side = i >= button_count / 2;
        s.button_instances[i].position = button_position(i);
        s.button_instances[i].visible = true;
    }
    seed_rng(s.game.rng, seed);
    return s;
}

namespace {

struct CopyField {
    template <class From, class To>
    void operator()(const From &from, To &to, Field) const {
        to = from;
    }
};

}  // namespace

// Flattened, as the codec: every step of an online match captures, every re-run restores.
[[gnu::flatten]] void capture_match(MatchSnapshot &out) {
    // Unlisted fields keep their defaults: a snapshot holds no pointers of this machine.
    out = MatchSnapshot{};
    LiveMatch live{game_state};
    visit_match_fields(live, out, CopyField{});
}

[[gnu::flatten]] void restore_match(const MatchSnapshot &in) {
    LiveMatch live{game_state};
    visit_match_fields(in, live, CopyField{});
    // A button's colour is its armed flag's, not a field of the match.
    for (Button &b : game_state.buttons) show_button_color(&b);
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
