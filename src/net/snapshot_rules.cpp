#include "net/snapshot_rules.h"

#include <cmath>
#include <initializer_list>

#include "gameplay/match.h"

namespace {

// The court is 24.5 by 11.5; a margin covers the beams' start points and a dash's
// target, which may lie past the walls before the walls stop the player.
constexpr double court_reach = 20.0;
constexpr double lowest = -5.0;
constexpr double highest = 50.0;
constexpr double max_speed = 500.0;  // any velocity, rate or acceleration, in units per second
constexpr double max_size = 30.0;    // a beam spans a half: 12 long
// Timers count up over a match at most; a match of four months is still in range.
constexpr double max_seconds = 1.0e7;
constexpr double max_angle = 1.0e7;

bool within(double v, double lo, double hi) { return std::isfinite(v) && v >= lo && v <= hi; }

bool place_ok(Vec3d p) {
    return within(p.x, -court_reach, court_reach) && within(p.y, lowest, highest) &&
           within(p.z, -court_reach, court_reach);
}

bool speed_ok(Vec3d v) {
    return within(v.x, -max_speed, max_speed) && within(v.y, -max_speed, max_speed) &&
           within(v.z, -max_speed, max_speed);
}

bool size_ok(Vec3d v) { return within(v.x, 0.0, max_size) && within(v.y, 0.0, max_size) && within(v.z, 0.0, max_size); }

bool timer_ok(double t) { return within(t, -1.0, max_seconds); }

bool instance_ok(const InstanceState &i) {
    return place_ok(i.position) && size_ok(i.scale) && within(i.rotation_angle, -max_angle, max_angle);
}

const char *player_error(const Player &p, int index) {
    static const char *const places[2] = {"player 1 dash", "player 2 dash"};
    static const char *const motion[2] = {"player 1 motion", "player 2 motion"};
    static const char *const timers[2] = {"player 1 timers", "player 2 timers"};
    static const char *const lives[2] = {"player 1 lives", "player 2 lives"};
    if (!place_ok(p.dash_target) || !place_ok(p.dash_start)) return places[index];
    if (!speed_ok(p.velocity) || !within(p.speed, 0.0, max_speed) || !within(p.gravity, -max_speed, 0.0) ||
        !within(p.stretch_speed, -max_speed, max_speed) || !within(p.jump_speed, 0.0, max_speed) ||
        !within(p.jump_hold_accel, 0.0, max_speed) || !within(p.dash_rate, 0.0, max_speed) ||
        !within(p.dash_distance, 0.0, max_size) || !size_ok(p.size) || !within(p.dash_progress, 0.0, max_seconds))
        return motion[index];
    for (double t :
         {p.step_timer, p.squash_timer, p.squash_duration, p.air_time, p.jump_hold_time, p.step_interval, p.dust_timer,
          p.dust_interval, p.wobble_time, p.dash_time, static_cast<double>(p.time_since_hit)}) {
        if (!timer_ok(t)) return timers[index];
    }
    if (p.lives < 0 || p.lives > lives_per_player) return lives[index];
    return nullptr;
}

}  // namespace

const char *snapshot_out_of_range(const MatchSnapshot &s) {
    for (int i = 0; i < 2; ++i) {
        if (const char *e = player_error(s.players[i], i)) return e;
        if (!instance_ok(s.player_instances[i])) return i == 0 ? "player 1 position" : "player 2 position";
        if (!timer_ok(s.arm_timers[i]) || !timer_ok(s.arm_intervals[i])) return "arming timers";
    }
    if (!timer_ok(s.match_time) || s.match_time < 0.0) return "match time";
    for (const Button &b : s.buttons) {
        if (!size_ok(b.size)) return "a button";
    }
    for (const InstanceState &i : s.button_instances) {
        if (!instance_ok(i)) return "a button's position";
    }
    for (const Beam &b : s.beams) {
        if (!place_ok(b.start) || !place_ok(b.end) || !speed_ok(b.direction) || !size_ok(b.size) ||
            !timer_ok(b.elapsed) || !within(b.duration, 0.0, max_seconds) || b.dir > 3)
            return "a beam";
    }
    for (const InstanceState &i : s.beam_instances) {
        if (!instance_ok(i)) return "a beam's position";
    }
    // Each press launches one beam; a match of four months holds no more than this.
    if (s.buttons_pressed < 0 || s.buttons_pressed > 100000000) return "the press count";
    return nullptr;
}
