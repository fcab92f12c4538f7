// The tomato's motion: falling and landing, jumps, running, dashes, the walking
// effects and the limits of its half.
#include <cmath>
#include <vector>

#include "fixture.h"
#include "render/particles.h"
#include "settings/settings.h"

namespace {

constexpr double pi = 3.14159265358979323846;

class Movement : public Court {
protected:
    // Player 1 joined with W A S D / Space / Left Shift, standing at rest.
    void SetUp() override {
        Court::SetUp();
        set_screen_state(ScreenState::match);
        game_state.joined[0] = true;
        game_state.input_devices[0] = keyboard_left;
        stand(p1(), {-6, 0, 0});
    }

    // Highest point of a jump with Space held for `hold_frames` frames.
    double apex_of_jump(int hold_frames) {
        double apex = 0.0;
        for (int i = 0; i < 120; ++i) {
            set_key(KEY_SPACE, i < hold_frames);
            player_frame(p1());
            apex = std::max(apex, pos1().y);
            if (i > 2 && p1().grounded) break;
        }
        set_key(KEY_SPACE, false);
        return apex;
    }
};

TEST_F(Movement, DroppedTomatoLandsSplashesSquashesThenBreathes) {
    // The title screen's idle tomato: dropped from its start height, no controller.
    set_screen_state(ScreenState::menu);
    pos1() = player1_start;
    const std::size_t sounds_before = sounds_started();

    int landing_frame = -1;
    for (int i = 0; i < 60 && landing_frame < 0; ++i) {
        update_menu_scene(frame_dt);
        if (p1().grounded)
            landing_frame = i;
        else
            EXPECT_EQ(active_particles(), 0);
    }
    ASSERT_GE(landing_frame, 0);
    // y = 0.5 - 25 t^2 / 2 reaches the ground at t = 0.2 s.
    EXPECT_NEAR((landing_frame + 1) * frame_dt, 0.2, 1.5 * frame_dt);
    EXPECT_EQ(active_particles(), 250);
    EXPECT_EQ(sounds_started() - sounds_before, 1u);
    EXPECT_DOUBLE_EQ(pos1().y, 0.0);
    EXPECT_TRUE(p1().instance->visible);

    // The splash is red, sits 0.3 below the tomato's origin and flies outwards.
    for (const Particle &p : particles) {
        if (!p.active) continue;
        EXPECT_EQ(p.color.r, 230);
        EXPECT_EQ(p.color.g, 41);
        EXPECT_DOUBLE_EQ(p.lifetime, 0.3);
        EXPECT_NEAR(p.position.y, -0.3, 1e-12);
        EXPECT_GE(p.velocity.y, 0.0);
    }

    // Squash for 0.8 s: the model is visibly deformed, the breathing clock stands.
    int squash_frames = 0;
    while (p1().squash_timer > 0.0 && squash_frames < 200) {
        EXPECT_EQ(p1().wobble_time, 0.0);
        update_menu_scene(frame_dt);
        ++squash_frames;
    }
    EXPECT_NEAR(squash_frames * frame_dt, 0.8, 1.5 * frame_dt);
    EXPECT_EQ(sounds_started() - sounds_before, 1u);  // resting makes no more sound

    // Breathing: x and z swell by 4 % with period 2 pi / 9 while y does the opposite.
    // Step so that one period is exactly 40 frames.
    const double dt = 2.0 * pi / 9.0 / 40.0;
    std::vector<double> widths;
    for (int i = 0; i < 81; ++i) {
        update_menu_scene(dt);
        widths.push_back(p1().instance->scale.x);
        EXPECT_DOUBLE_EQ(p1().instance->scale.x, p1().instance->scale.z);
        EXPECT_NEAR(p1().instance->scale.y - 1.0, -(p1().instance->scale.x - 1.0), 1e-4);
    }
    for (int i = 0; i + 40 < 81; ++i) EXPECT_NEAR(widths[i], widths[i + 40], 1e-9);
    for (int i = 0; i + 20 < 81; ++i) EXPECT_NEAR(widths[i] - 1.0, -(widths[i + 20] - 1.0), 1e-9);
    double widest = 0.0;
    for (double w : widths) widest = std::max(widest, w);
    EXPECT_NEAR(widest, 1.04, 0.002);
}

TEST_F(Movement, NoSoundWhenEffectsAreOff) {
    settings.enable_sound_effects = false;
    set_screen_state(ScreenState::menu);
    pos1() = player1_start;
    const std::size_t before = sounds_started();
    for (int i = 0; i < 30; ++i) update_menu_scene(frame_dt);
    EXPECT_TRUE(p1().grounded);
    EXPECT_EQ(active_particles(), 250);
    EXPECT_EQ(sounds_started(), before);
}

TEST_F(Movement, ReleasedJumpPeaksNearHalfAUnitAndAHeldOneHigher) {
    const std::size_t before = sounds_started();
    const double short_apex = apex_of_jump(1);
    // Take-off speed 5 against gravity 25: 5^2 / (2 * 25) = 0.5, minus the
    // discretisation of one frame.
    EXPECT_NEAR(short_apex, 0.5, 0.06);
    EXPECT_TRUE(p1().grounded);
    EXPECT_EQ(sounds_started() - before, 2u);  // take-off and landing

    stand(p1(), {-6, 0, 0});
    const double held_apex = apex_of_jump(30);
    EXPECT_GT(held_apex, short_apex + 0.3);

    // In between, the apex grows with the time held.
    stand(p1(), {-6, 0, 0});
    const double medium_apex = apex_of_jump(8);
    EXPECT_GT(medium_apex, short_apex + 0.05);
    EXPECT_LT(medium_apex, held_apex - 0.05);
}

TEST_F(Movement, ReleasingEndsTheExtensionForGood) {
    // Press, release in mid-air, press again: the second press does not lift.
    std::vector<double> vy;
    for (int i = 0; i < 12; ++i) {
        set_key(KEY_SPACE, i < 2 || (i >= 4 && i < 12));
        player_frame(p1());
        vy.push_back(p1().velocity.y);
    }
    for (std::size_t i = 5; i < vy.size(); ++i) {
        EXPECT_NEAR(vy[i] - vy[i - 1], -25.0 * frame_dt, 1e-9) << "frame " << i;
    }
}

TEST_F(Movement, HoldingJumpHopsContinuously) {
    set_key(KEY_SPACE, true);
    int take_offs = 0;
    int grounded_run = 0;
    bool was_grounded = true;
    for (int i = 0; i < 600; ++i) {
        player_frame(p1());
        if (was_grounded && !p1().grounded) ++take_offs;
        grounded_run = p1().grounded ? grounded_run + 1 : 0;
        EXPECT_LE(grounded_run, 1) << "stayed on the ground at frame " << i;
        was_grounded = p1().grounded;
    }
    EXPECT_GE(take_offs, 3);
}

TEST_F(Movement, DiagonalInputRunsAtTheSameSpeed) {
    set_key(KEY_D, true);
    set_key(KEY_S, true);
    const Vec3d from = pos1();
    for (int i = 0; i < 30; ++i) player_frame(p1());
    const double dx = pos1().x - from.x;
    const double dz = pos1().z - from.z;
    EXPECT_NEAR(std::sqrt(dx * dx + dz * dz), 4.0 * 30 * frame_dt, 1e-9);
    EXPECT_NEAR(dx, dz, 1e-12);
    EXPECT_TRUE(p1().walking);
}

// Just past the stick's dead zone (0.1, platform/raylib_bridge.h), as slight an input
// as a stick gives.
TEST_F(Movement, TinyStickInputRunsAtFullSpeed) {
    set_pad(0, true);
    game_state.input_devices[0] = 0;
    set_pad_axis(0, GAMEPAD_AXIS_LEFT_X, 0.11f);
    const double x0 = pos1().x;
    for (int i = 0; i < 10; ++i) player_frame(p1());
    EXPECT_NEAR(pos1().x - x0, 4.0 * 10 * frame_dt, 1e-9);
    set_pad(0, false);
}

TEST_F(Movement, DashOnlyStartsInTheAir) {
    set_key(KEY_D, true);
    set_key(KEY_LEFT_SHIFT, true);
    for (int i = 0; i < 10; ++i) {
        player_frame(p1());
        EXPECT_FALSE(p1().dashing);
    }
    EXPECT_NEAR(pos1().x, -6.0 + 4.0 * 10 * frame_dt, 1e-9);

    // Standing still in the air: nothing to dash along.
    set_key(KEY_D, false);
    set_key(KEY_SPACE, true);
    player_frame(p1());
    set_key(KEY_SPACE, false);
    for (int i = 0; i < 5; ++i) {
        player_frame(p1());
        EXPECT_FALSE(p1().dashing);
    }
}

TEST_F(Movement, AirDashCoversSixteenTenthsInATenthAndLocksUntilLanding) {
    // Jump while running right, then dash.
    set_key(KEY_D, true);
    set_key(KEY_SPACE, true);
    player_frame(p1());
    set_key(KEY_SPACE, false);
    player_frame(p1());
    ASSERT_FALSE(p1().grounded);

    set_key(KEY_LEFT_SHIFT, true);
    player_frame(p1());
    ASSERT_TRUE(p1().dashing);
    EXPECT_TRUE(p1().input_locked);
    const Vec3d start = p1().dash_start;
    EXPECT_NEAR(p1().dash_target.x - start.x, 1.6, 1e-12);
    EXPECT_NEAR(p1().dash_target.z - start.z, 0.0, 1e-12);

    // Reverse the controls: they are ignored while the dash lasts.
    set_key(KEY_LEFT_SHIFT, false);
    set_key(KEY_D, false);
    set_key(KEY_A, true);
    int frames = 0;
    while (p1().dash_progress < 1.0 - 1e-9 && frames < 20) {
        player_frame(p1());
        ++frames;
        EXPECT_GT(p1().velocity.x, 0.0);
    }
    EXPECT_NEAR(frames * frame_dt, 0.1, 1.5 * frame_dt);
    // Along the line to the target (plus one frame of running), not beyond it.
    const double covered = pos1().x - start.x;
    EXPECT_GE(covered, 1.6 * 0.97);
    EXPECT_LE(covered, 1.6 * (7.0 / 6.0) * (7.0 / 6.0) + 4.0 * frame_dt + 1e-9);

    // Still locked in the air; unlocked by the landing.
    while (!p1().grounded && frames < 200) {
        EXPECT_TRUE(p1().input_locked);
        EXPECT_GT(p1().velocity.x, 0.0);
        player_frame(p1());
        ++frames;
    }
    EXPECT_TRUE(p1().grounded);
    EXPECT_FALSE(p1().dashing);
    EXPECT_FALSE(p1().input_locked);
    player_frame(p1());
    EXPECT_LT(p1().velocity.x, 0.0);  // A now steers again
}

TEST_F(Movement, WalkingStepsEvery16FramesAndDustEvery7At60Fps) {
    set_key(KEY_D, true);
    std::vector<int> step_frames;
    std::vector<int> dust_frames;
    for (int i = 0; i < 64; ++i) {
        const std::size_t s = sounds_started();
        const int before = active_particles();
        player_frame(p1());
        ASSERT_TRUE(p1().walking);
        if (sounds_started() > s) step_frames.push_back(i);
        const int spawned = active_particles() - before;
        if (spawned > 0) {
            EXPECT_EQ(spawned, 50);
            dust_frames.push_back(i);
        }
    }
    EXPECT_EQ(step_frames, (std::vector<int>{0, 16, 32, 48}));
    EXPECT_EQ(dust_frames, (std::vector<int>{0, 7, 14, 21, 28, 35, 42, 49, 56, 63}));

    // Dust is green and trails behind the runner.
    for (const Particle &p : particles) {
        if (!p.active) continue;
        EXPECT_EQ(p.color.g, 228);
        EXPECT_DOUBLE_EQ(p.lifetime, 0.25);
    }

    // Stopping resets the dust clock but not the step clock.
    player_frame(p1());
    player_frame(p1());
    set_key(KEY_D, false);
    player_frame(p1());
    EXPECT_FALSE(p1().walking);
    EXPECT_EQ(p1().dust_timer, 0.0);
    EXPECT_GT(p1().step_timer, 0.0);
}

TEST_F(Movement, NetAndCourtEdgesHoldBothPlayers) {
    game_state.joined[1] = true;
    game_state.input_devices[1] = keyboard_right;
    stand(p2(), {6, 0, 0});
    // No arming or beams: keep the match in its joining phase for player 2's half
    // by testing the clamp directly after each update.
    const auto run = [&](int frames) {
        for (int i = 0; i < frames; ++i) {
            update_player(&p1(), frame_dt);
            update_player(&p2(), frame_dt);
            clamp_players();
            end_frame();
        }
    };
    set_key(KEY_D, true);
    set_key(KEY_LEFT, true);
    run(300);
    EXPECT_DOUBLE_EQ(pos1().x, -0.75);
    EXPECT_DOUBLE_EQ(pos2().x, 0.75);
    EXPECT_NEAR(p1().velocity.x, 4.0, 1e-12);  // velocity is left alone

    set_key(KEY_D, false);
    set_key(KEY_LEFT, false);
    set_key(KEY_A, true);
    set_key(KEY_W, true);
    set_key(KEY_RIGHT, true);
    set_key(KEY_DOWN, true);
    run(600);
    EXPECT_DOUBLE_EQ(pos1().x, -12.25);
    EXPECT_DOUBLE_EQ(pos1().z, -6.25);
    EXPECT_DOUBLE_EQ(pos2().x, 12.25);
    EXPECT_DOUBLE_EQ(pos2().z, 5.25);  // the court is not symmetric in z
}

TEST_F(Movement, ResetClearsMotionButKeepsPlaceAndLives) {
    p1().velocity = {1, 2, 3};
    p1().dashing = true;
    p1().jump_held = true;
    p1().was_hit = true;
    p1().time_since_hit = 0.5f;
    p1().lives = 2;
    p1().step_timer = 0.1;
    p1().input_locked = true;
    pos1() = {-3, 1, 2};
    reset_player(&p1());
    EXPECT_EQ(p1().velocity, (Vec3d{}));
    EXPECT_FALSE(p1().dashing);
    EXPECT_FALSE(p1().jump_held);
    EXPECT_FALSE(p1().was_hit);
    EXPECT_FLOAT_EQ(p1().time_since_hit, 99.0f);
    EXPECT_EQ(p1().lives, 2);
    EXPECT_DOUBLE_EQ(p1().step_timer, 0.1);
    EXPECT_TRUE(p1().input_locked);
    EXPECT_EQ(pos1(), (Vec3d{-3, 1, 2}));
}

}  // namespace
