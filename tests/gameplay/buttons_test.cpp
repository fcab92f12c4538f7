// Floor buttons firing and beams sweeping the opposite half.
#include <cmath>
#include <set>

#include "fixture.h"
#include "render/camera.h"
#include "support/pool_counts.h"

namespace {

class Buttons : public Court {
protected:
    void SetUp() override {
        Court::SetUp();
        set_screen_state(ScreenState::match);
        game_state.joined[0] = game_state.joined[1] = true;
        stand(p1(), {-6, 0, 0});
        stand(p2(), {6, 0, 0});
    }

    Button &button(int i) { return game_state.buttons[i]; }

    static int active_beams() { return test_support::active_beams(); }

    void press_frame() { update_buttons(&p1(), &p2()); }

    // Launch codes seen over many launches with a given count of earlier presses.
    std::set<int> codes_after(int presses, bool side) {
        std::set<int> seen;
        for (int i = 0; i < 400; ++i) {
            game_state.buttons_pressed = presses;
            launch_beam(side);
            for (Beam &b : game_state.beams) {
                if (b.active) seen.insert(b.dir);
                b.active = false;
            }
        }
        return seen;
    }
};

TEST_F(Buttons, TheLayoutPutsTwelveButtonsInEachHalfAroundTheStartPoints) {
    for (int i = 0; i < button_count; ++i) {
        const Vec3d at = button_position(i);
        const bool right = i >= 12;
        EXPECT_EQ(button(i).side, right) << i;
        const double cx = right ? 6.0 : -6.0;
        const double manhattan = std::abs(at.x - cx) + std::abs(at.z);
        EXPECT_TRUE(manhattan == 2.0 || manhattan == 4.0) << i;
        EXPECT_DOUBLE_EQ(at.y, 0.1);
        for (int j = 0; j < i; ++j) EXPECT_FALSE(button_position(j) == at) << i << " " << j;
    }
}

TEST_F(Buttons, StandingOnAButtonWhenItIsArmedFiresAtOnce) {
    stand(p1(), {-8, 0, 0});
    press_frame();
    EXPECT_TRUE(button(0).pressed);
    EXPECT_EQ(game_state.buttons_pressed, 0);

    set_button_armed(&button(0), true);
    EXPECT_FALSE(button(0).armed);
    EXPECT_EQ(game_state.buttons_pressed, 1);
    ASSERT_EQ(active_beams(), 1);
    // Player 1 pressed: the beam sweeps player 2's half from its back wall.
    const Beam &b = game_state.beams[0];
    EXPECT_EQ(b.dir, 3);
    EXPECT_EQ(b.start, (Vec3d{12.5, 0.25, -0.5}));
    EXPECT_EQ(b.end, (Vec3d{0.5, 0.25, -0.5}));
    EXPECT_EQ(b.size, (Vec3d{0.25, 0.25, 12}));
    EXPECT_TRUE(b.instance->visible);
    EXPECT_EQ(b.instance->position, b.start);
    EXPECT_FLOAT_EQ(b.instance->rotation_angle, 0.0f);
}

TEST_F(Buttons, SteppingOnAnUnarmedButtonOnlySinksIt) {
    stand(p1(), {-8, 0, 0});
    for (int i = 0; i < 5; ++i) press_frame();
    EXPECT_TRUE(button(0).pressed);
    EXPECT_DOUBLE_EQ(button(0).instance->position.y, -0.08);
    EXPECT_EQ(game_state.buttons_pressed, 0);
    EXPECT_EQ(active_beams(), 0);

    // Off, armed, on again: that press fires it.
    stand(p1(), {-6, 0, 0});
    press_frame();
    press_frame();
    EXPECT_DOUBLE_EQ(button(0).instance->position.y, 0.1);
    set_button_armed(&button(0), true);
    EXPECT_TRUE(button(0).armed);
    EXPECT_EQ(game_state.buttons_pressed, 0);
    stand(p1(), {-8, 0, 0.7});  // within reach: 0.8 of the centre
    press_frame();
    EXPECT_EQ(game_state.buttons_pressed, 1);
    EXPECT_FALSE(button(0).armed);
}

TEST_F(Buttons, OnlyTheOwnHalfsPlayerPressesAndOnlyWithItsFeetLow) {
    set_button_armed(&button(0), true);
    stand(p2(), {-8, 0, 0});  // cannot happen in play, but p2 must not count here
    press_frame();
    EXPECT_TRUE(button(0).armed);

    stand(p1(), {-8, 0.51, 0});
    press_frame();
    EXPECT_TRUE(button(0).armed);
    stand(p1(), {-8, 0.49, 0});
    press_frame();
    EXPECT_FALSE(button(0).armed);
    EXPECT_EQ(game_state.buttons_pressed, 1);
}

TEST_F(Buttons, TwoArmedButtonsUnderOnePlayerFireInTheSameFrame) {
    // The court's grid never puts two buttons under one tomato; move one closer.
    button(1).instance->position = {-8, 0.1, 0.6};
    set_button_armed(&button(0), true);
    set_button_armed(&button(1), true);
    stand(p1(), {-8, 0, 0.3});
    press_frame();
    EXPECT_EQ(game_state.buttons_pressed, 2);
    EXPECT_EQ(active_beams(), 2);
    EXPECT_FALSE(button(0).armed);
    EXPECT_FALSE(button(1).armed);
}

TEST_F(Buttons, WithEveryBeamInFlightAPressStillCounts) {
    for (int i = 0; i < beam_count; ++i) launch_beam(true);
    ASSERT_EQ(active_beams(), beam_count);
    update_beams(0.5);
    const double elapsed = game_state.beams[7].elapsed;

    set_button_armed(&button(12), true);
    stand(p2(), button_position(12) - Vec3d{0, 0.1, 0});
    press_frame();
    EXPECT_EQ(game_state.buttons_pressed, 1);
    EXPECT_EQ(active_beams(), beam_count);
    EXPECT_DOUBLE_EQ(game_state.beams[7].elapsed, elapsed);  // nothing relaunched
}

TEST_F(Buttons, DirectionsUnlockEveryTenPressesAndMirrorBetweenHalves) {
    // k = 0 is the back wall, 1 the +z side, 2 the -z side, 3 the net.
    EXPECT_EQ(codes_after(0, true), (std::set<int>{0}));
    EXPECT_EQ(codes_after(9, true), (std::set<int>{0}));
    EXPECT_EQ(codes_after(0, false), (std::set<int>{3}));
    EXPECT_EQ(codes_after(10, true), (std::set<int>{0, 1}));
    EXPECT_EQ(codes_after(19, false), (std::set<int>{3, 1}));
    EXPECT_EQ(codes_after(20, true), (std::set<int>{0, 1, 2}));
    EXPECT_EQ(codes_after(29, false), (std::set<int>{3, 1, 2}));
    EXPECT_EQ(codes_after(30, true), (std::set<int>{0, 1, 2, 3}));
    EXPECT_EQ(codes_after(500, false), (std::set<int>{0, 1, 2, 3}));
}

TEST_F(Buttons, EachDirectionStartsAtItsEdgeAndLiesAcrossItsPath) {
    for (int trial = 0; trial < 200; ++trial) {
        game_state.buttons_pressed = 40;
        launch_beam(trial % 2 == 0);
        Beam &b = game_state.beams[0];
        const double mx = trial % 2 == 0 ? -6.5 : 6.5;
        switch (b.dir) {
        case 0:
            EXPECT_EQ(b.start, (Vec3d{mx - 6, 0.25, -0.5}));
            EXPECT_EQ(b.size, (Vec3d{0.25, 0.25, 12}));
            break;
        case 3:
            EXPECT_EQ(b.start, (Vec3d{mx + 6, 0.25, -0.5}));
            EXPECT_EQ(b.size, (Vec3d{0.25, 0.25, 12}));
            break;
        case 1:
            EXPECT_EQ(b.start, (Vec3d{mx, 0.25, 5.5}));
            EXPECT_EQ(b.end, (Vec3d{mx, 0.25, -6.5}));
            EXPECT_EQ(b.size, (Vec3d{12, 0.25, 0.25}));
            EXPECT_FLOAT_EQ(b.instance->rotation_angle, 90.0f);
            break;
        case 2:
            EXPECT_EQ(b.start, (Vec3d{mx, 0.25, -6.5}));
            EXPECT_FLOAT_EQ(b.instance->rotation_angle, 90.0f);
            break;
        default:
            ADD_FAILURE() << "code " << int(b.dir);
        }
        b.active = false;
    }
}

TEST_F(Buttons, BeamEasesInOverThreeSecondsThenVanishesTheNextFrame) {
    stand(p1(), {-6, 5, 0});  // out of the way, above everything
    launch_beam(true);
    Beam &b = game_state.beams[0];
    ASSERT_EQ(b.dir, 0);
    for (int i = 0; i < 6; ++i) update_beams(0.25);
    // 1.5 s: half the time, a quarter of the way.
    EXPECT_NEAR(b.instance->position.x, -12.5 + 12.0 / 4.0, 1e-9);
    for (int i = 0; i < 6; ++i) update_beams(0.25);
    EXPECT_NEAR(b.instance->position.x, -0.5, 1e-9);
    EXPECT_TRUE(b.active);
    EXPECT_TRUE(b.instance->visible);
    update_beams(0.25);
    EXPECT_FALSE(b.active);
    EXPECT_FALSE(b.instance->visible);
    EXPECT_EQ(b.instance->position, b.start);
    EXPECT_EQ(b.elapsed, 0.0);
    EXPECT_EQ(p1().lives, 3);
}

TEST_F(Buttons, AnOvershootingStepIsCaughtAsArrival) {
    stand(p1(), {-6, 5, 0});
    launch_beam(true);
    Beam &b = game_state.beams[0];
    update_beams(2.9);
    update_beams(0.15);  // t^2 > 1: past the end
    EXPECT_TRUE(b.active);
    EXPECT_GT(b.instance->position.x, -0.5);
    update_beams(0.15);
    EXPECT_FALSE(b.active);
}

TEST_F(Buttons, AGroundedPlayerInThePathIsHitOneAboveTheBeamIsNot) {
    const int burst_before = active_particles();
    launch_beam(true);
    for (int i = 0; i < 200 && game_state.beams[0].active; ++i) update_beams(frame_dt);
    EXPECT_EQ(p1().lives, 2);
    EXPECT_EQ(active_particles() - burst_before, 250);
    EXPECT_TRUE(camera_motion.shake_active);

    // Feet held just above the beam's reach: untouched.
    p1().was_hit = false;
    stand(p1(), {-6, 0.376, 0});
    launch_beam(true);
    for (int i = 0; i < 200 && game_state.beams[0].active; ++i) update_beams(frame_dt);
    EXPECT_EQ(p1().lives, 2);

    // Just inside it: hit.
    stand(p1(), {-6, 0.37, 0});
    launch_beam(true);
    for (int i = 0; i < 200 && game_state.beams[0].active; ++i) update_beams(frame_dt);
    EXPECT_EQ(p1().lives, 1);
}

TEST_F(Buttons, SideBeamsReachEveryCornerOfTheHalf) {
    for (double z : {-6.25, 5.25}) {
        for (double x : {-12.25, -0.75}) {
            p1().lives = 3;
            p1().was_hit = false;
            stand(p1(), {x, 0, z});
            game_state.buttons_pressed = 40;
            int guard = 0;
            do {
                for (Beam &b : game_state.beams) b.active = false;
                launch_beam(true);
            } while (game_state.beams[0].dir != 1 && ++guard < 100);
            while (game_state.beams[0].active) update_beams(frame_dt);
            EXPECT_EQ(p1().lives, 2) << x << ", " << z;
        }
    }
}

TEST_F(Buttons, OverlapCountsTouching) {
    EXPECT_TRUE(boxes_overlap({0, 0, 0}, {1, 1, 1}, {1, 0, 0}, {1, 1, 1}));
    EXPECT_FALSE(boxes_overlap({0, 0, 0}, {1, 1, 1}, {1.0001, 0, 0}, {1, 1, 1}));
    EXPECT_FALSE(boxes_overlap({0, 0, 0}, {1, 1, 1}, {0, 0, -1.5}, {1, 1, 1}));
    EXPECT_TRUE(boxes_overlap({0, 0, 0}, {4, 1, 1}, {-2, 0.5, 0.5}, {0.1, 0.1, 0.1}));
}

TEST_F(Buttons, FirstArmedButtonIsTheLowestIndexOfThatHalf) {
    EXPECT_EQ(first_armed_button(false), nullptr);
    set_button_armed(&button(7), true);
    set_button_armed(&button(3), true);
    set_button_armed(&button(15), true);
    EXPECT_EQ(first_armed_button(false), &button(3));
    EXPECT_EQ(first_armed_button(true), &button(15));
}

TEST_F(Buttons, ResetDisarmsReleasesAndClearsTheCount) {
    set_button_armed(&button(4), true);
    stand(p1(), {-8, 0, 0});
    press_frame();
    launch_beam(false);
    game_state.buttons_pressed = 17;
    reset_buttons_and_beams();
    EXPECT_EQ(game_state.buttons_pressed, 0);
    EXPECT_EQ(active_beams(), 0);
    for (const Beam &b : game_state.beams) EXPECT_FALSE(b.instance->visible);
    for (int i = 0; i < button_count; ++i) {
        EXPECT_FALSE(button(i).armed);
        EXPECT_FALSE(button(i).pressed);
    }
}

}  // namespace
