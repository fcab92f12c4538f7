// The online match's own record: the same inputs give the same states bit for bit,
// whether stepped straight, re-run after late inputs, or re-run at random.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <type_traits>
#include <vector>

#include "app/effects.h"
#include "app/rng.h"
#include "net/rollback.h"
#include "net_fixture.h"
#include "render/particles.h"
#include "support/pool_counts.h"

namespace {

constexpr std::uint32_t minute = 3600;

using test_support::live_particles;

// One machine's rollback fed the other side's script late, by a lag that wanders
// between none and the whole prediction window, with forced re-runs of 1 to 8 frames
// now and then when `forced` is set.
struct LateFeed {
    Rollback r;
    std::uint32_t remote_sent = 0;
    Rng dice{};
};

void run_late(LateFeed &feed, std::uint32_t frames, std::uint32_t delay, bool forced, int local_side = 0) {
    Rollback &r = feed.r;
    const int remote_side = 1 - local_side;
    seed_rng(feed.dice, 4242);
    rollback_start(r, local_side, test_dt, delay, initial_match_snapshot(test_seed));
    while (r.frame < frames) {
        const std::uint32_t lag = static_cast<std::uint32_t>(rng_below(feed.dice, max_prediction + 4));
        const std::uint32_t target = r.frame + 2 > lag ? r.frame + 2 - lag : 0;
        while (feed.remote_sent < target) {
            rollback_add_remote(r, feed.remote_sent, delayed_input(feed.remote_sent, remote_side, delay));
            feed.remote_sent += 1;
        }
        if (forced && rng_below(feed.dice, 8) == 0) {
            rollback_force(r, 1 + static_cast<std::uint32_t>(rng_below(feed.dice, 8)));
        }
        if (r.local_next <= r.frame + delay) rollback_add_local(r, scripted_input(r.frame, local_side));
        if (!rollback_can_step(r)) {
            rollback_add_remote(r, feed.remote_sent, delayed_input(feed.remote_sent, remote_side, delay));
            feed.remote_sent += 1;
            continue;
        }
        rollback_step(r);
    }
    while (feed.remote_sent < frames) {
        rollback_add_remote(r, feed.remote_sent, delayed_input(feed.remote_sent, remote_side, delay));
        feed.remote_sent += 1;
    }
    rollback_settle(r);
}

using Determinism = OnlineCourt;

TEST_F(Determinism, TheSameScriptTwiceGivesTheSameRecordAndChecksums) {
    std::vector<std::uint64_t> sums_a, sums_b;
    const MatchSnapshot a = reference_run(minute, 2, &sums_a);
    // Something happened: lives were lost or a beam flew, so the comparison means something.
    EXPECT_TRUE(a.game.players[0].lives < 3 || a.game.players[1].lives < 3 || a.game.buttons_pressed > 0 ||
                a.game.match_time < 50.0);
    const MatchSnapshot b = reference_run(minute, 2, &sums_b);
    EXPECT_TRUE(same_snapshot(a, b));
    EXPECT_EQ(sums_a, sums_b);
    EXPECT_EQ(snapshot_checksum(a), snapshot_checksum(b));
}

TEST_F(Determinism, TheScriptReachesHitsGameOverAndRestarts) {
    restore_match(initial_match_snapshot(test_seed));
    int lives_lost = 0, restarts = 0;
    for (std::uint32_t f = 0; f < minute; ++f) {
        const int before = game_state.players[0].lives + game_state.players[1].lives;
        const FrameInput inputs[2] = {delayed_input(f, 0, 2), delayed_input(f, 1, 2)};
        step_online_frame(inputs, test_dt);
        const int after = game_state.players[0].lives + game_state.players[1].lives;
        if (after < before) lives_lost += before - after;
        if (after > before) restarts += 1;
    }
    EXPECT_GE(lives_lost, 3);
    EXPECT_GE(restarts, 1);
}

TEST_F(Determinism, LateInputsAndForcedRerunsEndInTheReferenceRecord) {
    struct Row {
        std::uint32_t delay;
        bool forced;
        int local_side;
    };
    for (const Row row : {Row{2, false, 0}, Row{2, true, 0}, Row{0, true, 1}, Row{5, true, 1}}) {
        SCOPED_TRACE(::testing::Message()
                     << "delay " << row.delay << " forced " << row.forced << " side " << row.local_side);
        std::vector<std::uint64_t> sums;
        const MatchSnapshot reference = reference_run(minute, row.delay, &sums);
        auto feed = std::make_unique<LateFeed>();
        run_late(*feed, minute, row.delay, row.forced, row.local_side);
        EXPECT_TRUE(same_snapshot(rollback_current(feed->r), reference));
        EXPECT_GT(feed->r.stats.rollbacks, 0u);
        EXPECT_LE(feed->r.stats.largest, snapshot_ring_size - 1);
        // The confirmed states' checksums are the reference's.
        ChecksumEntry e;
        int taken = 0;
        while (rollback_take_checksum(feed->r, e)) {
            ASSERT_LT(e.frame / 60, sums.size());
            EXPECT_EQ(e.sum, sums[e.frame / 60]) << "frame " << e.frame;
            ++taken;
        }
        EXPECT_GT(taken, 0);
    }
}

TEST_F(Determinism, AReRunShowsNothingAndChangesNothing) {
    auto feed = std::make_unique<LateFeed>();
    run_late(*feed, 600, 2, false);
    Rollback &r = feed->r;
    const MatchSnapshot before = rollback_current(r);
    for (Particle &p : particles) p = Particle{};
    const bool shaking = camera_motion.shake_active;
    for (std::uint32_t back = 1; back <= 9; ++back) rollback_force(r, back);
    EXPECT_EQ(live_particles(), 0);
    EXPECT_EQ(camera_motion.shake_active, shaking);
    EXPECT_TRUE(same_snapshot(rollback_current(r), before));
    EXPECT_EQ(r.stats.largest, 9u);

    // Stepped for real, the same frames do show their dust and splashes.
    restore_match(initial_match_snapshot(test_seed));
    for (std::uint32_t f = 0; f < 600; ++f) {
        const FrameInput inputs[2] = {delayed_input(f, 0, 2), delayed_input(f, 1, 2)};
        step_online_frame(inputs, test_dt);
    }
    EXPECT_GT(live_particles(), 0);
}

TEST_F(Determinism, WhatIsOnlySeenOrHeardNeverMovesTheMatch) {
    const MatchSnapshot shown = reference_run(1200, 2);
    effects_gate.held = true;
    const MatchSnapshot held = reference_run(1200, 2);
    effects_gate.held = false;
    EXPECT_TRUE(same_snapshot(shown, held));
}

TEST_F(Determinism, AnAdoptedStateBringsADivergedMachineBack) {
    const MatchSnapshot reference = reference_run(900, 2);
    auto feed = std::make_unique<LateFeed>();
    run_late(*feed, 600, 2, false);
    Rollback &r = feed->r;
    // Corrupt the live record, as a desync would.
    game_state.players[1].lives = 1;
    game_state.players[0].instance->position.x = -3.0;
    capture_match(r.states[r.frame % snapshot_ring_size]);
    const MatchSnapshot good = reference_run(595, 2);
    ASSERT_TRUE(rollback_adopt(r, 595, good));
    while (r.frame < 900) {
        while (feed->remote_sent < r.frame + 2) {
            rollback_add_remote(r, feed->remote_sent, delayed_input(feed->remote_sent, 1, 2));
            feed->remote_sent += 1;
        }
        rollback_add_local(r, scripted_input(r.frame, 0));
        rollback_step(r);
    }
    while (feed->remote_sent < 900) {
        rollback_add_remote(r, feed->remote_sent, delayed_input(feed->remote_sent, 1, 2));
        feed->remote_sent += 1;
    }
    rollback_settle(r);
    EXPECT_TRUE(same_snapshot(rollback_current(r), reference));
    // Too far back to re-run is refused, not attempted.
    EXPECT_FALSE(rollback_adopt(r, 100, good));
}

TEST_F(Determinism, RemoteInputsAreTakenInOrderAndWithinReach) {
    Rollback r;
    rollback_start(r, 0, test_dt, 2, initial_match_snapshot(test_seed));
    FrameInput in;
    in.move_x = 5;
    EXPECT_FALSE(rollback_add_remote(r, 1, in));  // a gap
    EXPECT_TRUE(rollback_add_remote(r, 0, in));
    EXPECT_FALSE(rollback_add_remote(r, 0, in));  // a repeat
    EXPECT_FALSE(rollback_add_remote(r, max_remote_lead + 5, in));
    for (std::uint32_t f = 1; f < max_remote_lead; ++f) EXPECT_TRUE(rollback_add_remote(r, f, in));
    EXPECT_FALSE(rollback_add_remote(r, max_remote_lead, in));
    // The machine runs at most the prediction window ahead of the other's input.
    Rollback s;
    rollback_start(s, 1, test_dt, 0, initial_match_snapshot(test_seed));
    int stepped = 0;
    while (stepped < 50) {
        rollback_add_local(s, FrameInput{});
        if (!rollback_can_step(s)) break;
        rollback_step(s);
        ++stepped;
    }
    EXPECT_EQ(stepped, static_cast<int>(max_prediction));
}

TEST_F(Determinism, TheRecordSurvivesItsWireFormAndRejectsWhatNoPeerSends) {
    const MatchSnapshot s = reference_run(700, 2);
    std::vector<std::uint8_t> bytes(max_state_bytes);
    ByteWriter w{bytes.data(), bytes.size()};
    write_snapshot(w, s);
    ASSERT_TRUE(w.ok());
    bytes.resize(w.size);
    {
        ByteReader rd{bytes.data(), bytes.size()};
        MatchSnapshot back;
        ASSERT_TRUE(read_snapshot(rd, back));
        EXPECT_TRUE(same_snapshot(back, s));
        // Through game_state and back again.
        restore_match(back);
        MatchSnapshot again;
        capture_match(again);
        EXPECT_TRUE(same_snapshot(again, s));
    }

    // Player 1's record: 30 f64, then time_since_hit (f32), index, lives, 8 flags.
    const std::size_t tsh = 30 * 8, index_at = tsh + 4, lives_at = index_at + 4, flags_at = lives_at + 4;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char *what;
        std::size_t at;
        std::vector<std::uint8_t> with;  // empty: cut the record at `at`
    };
    std::vector<std::uint8_t> nan_bytes(8);
    std::memcpy(nan_bytes.data(), &nan, 8);
    const Case cases[] = {
        {"empty", 0, {}},
        {"cut short", bytes.size() / 2, {}},
        {"one byte short", bytes.size() - 1, {}},
        {"NaN position", 0, nan_bytes},
        {"flag of 2", flags_at, {2}},
        {"wrong slot", index_at, {1, 0, 0, 0}},
        {"four lives", lives_at, {4, 0, 0, 0}},
        {"negative lives", lives_at, {0xff, 0xff, 0xff, 0xff}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> bad = bytes;
        if (c.with.empty()) {
            bad.resize(c.at);
        } else {
            std::copy(c.with.begin(), c.with.end(), bad.begin() + static_cast<std::ptrdiff_t>(c.at));
        }
        ByteReader rd{bad.data(), bad.size()};
        MatchSnapshot out = initial_match_snapshot(1);
        EXPECT_FALSE(read_snapshot(rd, out));
        EXPECT_TRUE(same_snapshot(out, initial_match_snapshot(1)));
    }
    std::vector<std::uint8_t> longer = bytes;
    longer.push_back(0);
    ByteReader rd{longer.data(), longer.size()};
    MatchSnapshot out;
    EXPECT_FALSE(read_snapshot(rd, out));

    // A NaN is one value to the checksum, whatever sign and payload a build gave it.
    MatchSnapshot plain = s, odd = s;
    plain.game.match_time = nan;
    odd.game.match_time = std::bit_cast<double>(0xfff8000000000001ull);
    plain.game.players[1].time_since_hit = std::numeric_limits<float>::quiet_NaN();
    odd.game.players[1].time_since_hit = std::bit_cast<float>(0xffc00001u);
    EXPECT_EQ(snapshot_checksum(plain), snapshot_checksum(odd));
}

// A field is listed when a change of it alone changes the checksum (and the record
// sent), and the list holds all the step writes when a restored capture gives back
// the whole live records, bit for bit, and then steps the same as the original.
template <class T>
void nudge(T &v) {
    if constexpr (std::is_same_v<T, bool>) {
        v = !v;
    } else if constexpr (std::is_same_v<T, Vec3d>) {
        v.x += 1.0;
    } else {
        v = static_cast<T>(v + 1);
    }
}

int listed_fields(MatchSnapshot &s) {
    int n = 0;
    visit_match_fields(s, s, [&](auto &, auto &, Field) { ++n; });
    return n;
}

TEST_F(Determinism, EveryListedFieldCountsInTheChecksum) {
    MatchSnapshot s = reference_run(700, 2);
    const std::uint64_t sum = snapshot_checksum(s);
    const int fields = listed_fields(s);
    EXPECT_GT(fields, 2 * 33 + (button_count + beam_count) * 4);
    for (int k = 0; k < fields; ++k) {
        MatchSnapshot changed = s;
        int n = 0;
        const char *name = "";
        visit_match_fields(changed, changed, [&](auto &v, auto &, Field f) {
            if (n++ != k) return;
            nudge(v);
            name = f.name;
        });
        EXPECT_NE(snapshot_checksum(changed), sum) << k << ": " << name;
    }
}

// The live side of a match as bytes: every field of it, listed or not.
struct LiveBytes {
    GameState game;
    ModelInstance instances[2 + button_count + beam_count];
    bool operator==(const LiveBytes &o) const { return std::memcmp(this, &o, sizeof *this) == 0; }
};

LiveBytes live_bytes() {
    LiveBytes b;
    std::memset(static_cast<void *>(&b), 0, sizeof b);
    b.game = game_state;
    int i = 0;
    for (const Player &p : game_state.players) b.instances[i++] = *p.instance;
    for (const Button &x : game_state.buttons) b.instances[i++] = *x.instance;
    for (const Beam &x : game_state.beams) b.instances[i++] = *x.instance;
    __builtin_clear_padding(&b);
    return b;
}

TEST_F(Determinism, ARestoredCaptureIsTheWholeLiveMatchAndStepsTheSame) {
    auto step = [](std::uint32_t from, std::uint32_t to) {
        for (std::uint32_t f = from; f < to; ++f) {
            const FrameInput inputs[2] = {delayed_input(f, 0, 2), delayed_input(f, 1, 2)};
            step_online_frame(inputs, test_dt);
        }
    };
    // Late enough for hits, beams and a restart on the way.
    for (const std::uint32_t at : {200u, 451u, 700u}) {
        SCOPED_TRACE(at);
        reference_run(at, 2);
        const auto before = std::make_unique<LiveBytes>(live_bytes());
        MatchSnapshot s;
        capture_match(s);
        step(at, at + 300);
        const auto after = std::make_unique<LiveBytes>(live_bytes());
        ASSERT_FALSE(*after == *before);
        restore_match(s);
        EXPECT_TRUE(live_bytes() == *before) << "a field the step writes is missing from visit_match_fields";
        step(at, at + 300);
        EXPECT_TRUE(live_bytes() == *after);
    }
}

TEST(OnlineStep, FixedStepFollowsTheHostsSpeedAndTheCap) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double speed, dt;
    } rows[] = {{1.0, 1.0 / 60.0}, {2.0, 2.0 / 60.0}, {10.0, 0.15}, {nan, 0.15}, {inf, 0.15}, {0.0, 0.0}, {-1.0, 0.0}};
    for (const auto &row : rows) EXPECT_DOUBLE_EQ(online_step_dt(row.speed), row.dt) << row.speed;
}

TEST(OnlineStep, InputsQuantizeAndCheckTheirRange) {
    const struct {
        double axis;
        int wire;
    } rows[] = {{0.0, 0}, {1.0, 127}, {-1.0, -127}, {0.5, 64}, {3.0, 127}, {-7.0, -127}, {std::nan(""), 0}};
    for (const auto &row : rows) EXPECT_EQ(quantize_axis(row.axis), row.wire) << row.axis;
    FrameInput in{127, -127, input_jump | input_dash};
    const ScriptedControls c = controls_of(in);
    EXPECT_EQ(c.axis_x, 1.0);
    EXPECT_EQ(c.axis_y, -1.0);
    EXPECT_TRUE(c.jump && c.dash);
    EXPECT_TRUE(input_in_range(in));
    EXPECT_FALSE(input_in_range(FrameInput{-128, 0, 0}));
    EXPECT_FALSE(input_in_range(FrameInput{0, 0, 16}));
    // A guess never repeats a one-frame press.
    const FrameInput guess = predicted_from(FrameInput{3, 4, input_jump | input_join | input_restart});
    EXPECT_EQ(guess, (FrameInput{3, 4, input_jump}));
}

}  // namespace
