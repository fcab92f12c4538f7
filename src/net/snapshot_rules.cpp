#include "net/snapshot_rules.h"

#include <cmath>
#include <cstdio>

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

bool each_axis(Vec3d v, double lo, double hi) {
    return within(v.x, lo, hi) && within(v.y, lo, hi) && within(v.z, lo, hi);
}

bool reaches(Vec3d v, Reach reach) {
    switch (reach) {
    case Reach::place:
        return place_ok(v);
    case Reach::velocity:
        return each_axis(v, -max_speed, max_speed);
    case Reach::extent:
        return each_axis(v, 0.0, max_size);
    default:
        return true;
    }
}

bool reaches(double v, Reach reach) {
    switch (reach) {
    case Reach::speed:
        return within(v, 0.0, max_speed);
    case Reach::fall:
        return within(v, -max_speed, 0.0);
    case Reach::rate:
        return within(v, -max_speed, max_speed);
    case Reach::timer:
        return within(v, -1.0, max_seconds);
    case Reach::seconds:
        return within(v, 0.0, max_seconds);
    case Reach::length:
        return within(v, 0.0, max_size);
    case Reach::angle:
        return within(v, -max_angle, max_angle);
    case Reach::lives:
        return within(v, 0.0, lives_per_player);
    case Reach::direction:
        return within(v, 0.0, 3.0);
    // Each press launches one beam; a match of four months holds no more than this.
    case Reach::press_count:
        return within(v, 0.0, 100000000.0);
    default:
        return true;
    }
}

bool reaches(float v, Reach reach) { return reaches(static_cast<double>(v), reach); }
bool reaches(std::int32_t v, Reach reach) { return reaches(static_cast<double>(v), reach); }
bool reaches(std::uint8_t v, Reach reach) { return reaches(static_cast<double>(v), reach); }
// Flags and the generator's words may hold anything.
bool reaches(bool, Reach) { return true; }
bool reaches(std::uint64_t, Reach) { return true; }

}  // namespace

[[gnu::flatten]] const char *snapshot_out_of_range(const MatchSnapshot &s) {
    static char where[64];
    bool out = false;
    visit_match_fields(s, s, [&](const auto &v, const auto &, Field f) {
        if (out || reaches(v, f.reach)) return;
        out = true;
        std::snprintf(where, sizeof where, "%s %s", f.owner, f.name);
    });
    return out ? where : nullptr;
}
