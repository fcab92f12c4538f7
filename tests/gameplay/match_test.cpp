// Match rules: joining, arming, lives, game over and restart, pause, and the bot.
#include <algorithm>
#include <cmath>

#include "fixture.h"
#include "render/camera.h"
#include "render/particles.h"
#include "support/pool_counts.h"
#include "testing.h"

namespace {

int armed_in_half(bool side) {
    int n = 0;
    for (const Button &b : game_state.buttons) n += (b.side == side && b.armed) ? 1 : 0;
    return n;
}

using test_support::active_beams;

class Match : public Court {
protected:
    void SetUp() override {
        Court::SetUp();
        // Let the title screen's tomato land first, as it does behind the menu.
        for (int i = 0; i < 60; ++i) update_menu_scene(frame_dt);
        clear_particles();
    }

    // Sweeps a beam across player 1's half until it has gone.
    void sweep_player1_half() {
        game_state.buttons_pressed = 0;  // only the back-wall direction
        launch_beam(true);
        for (int i = 0; i < 400 && active_beams() > 0; ++i) update_beams(frame_dt);
    }
};

TEST_F(Match, NothingIsArmedUntilBothHaveJoinedThenOneButtonPerHalf) {
    set_screen_state(ScreenState::match);
    EXPECT_EQ(camera_motion.move_to, match_view_position);
    EXPECT_FALSE(p1().instance->visible);
    EXPECT_FALSE(p1().input_locked);

    tap(KEY_SPACE);
    set_key(KEY_S, true);  // player 1 may already walk during joining
    match_frames(120);
    set_key(KEY_S, false);
    EXPECT_GT(pos1().z, 1.0);
    EXPECT_EQ(armed_in_half(false) + armed_in_half(true), 0);
    EXPECT_EQ(game_state.match_time, 0.0);

    set_key(KEY_K, true);
    match_frame();  // the join frame is the first frame of play
    EXPECT_TRUE(both_joined());
    EXPECT_EQ(armed_in_half(false), 1);
    EXPECT_EQ(armed_in_half(true), 1);
    EXPECT_DOUBLE_EQ(game_state.match_time, frame_dt);
    // The next interval is the first of the match: 10.5 s give or take 0.5.
    for (int s = 0; s < 2; ++s) {
        EXPECT_GE(game_state.arm_intervals[s], 9.99);
        EXPECT_LE(game_state.arm_intervals[s], 11.01);
    }
}

TEST_F(Match, ArmingIntervalShrinksWithPlayTime) {
    struct Row {
        double t;
        double centre;
    };
    for (const Row row :
         {Row{0.0, 10.5}, Row{10.0, 10.0 / std::pow(2.0, 1.5) + 0.5}, Row{30.0, 10.0 / std::pow(2.0, 4.5) + 0.5}}) {
        double lo = 1e9;
        double hi = -1e9;
        for (int i = 0; i < 3000; ++i) {
            const double v = next_arm_interval(row.t);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
            // Whole hundredths around the centre.
            const double k = (v - row.centre) * 100.0;
            ASSERT_NEAR(k, std::round(k), 1e-6);
        }
        EXPECT_NEAR(lo, row.centre - 0.5, 1e-9) << row.t;
        EXPECT_NEAR(hi, row.centre + 0.5, 1e-9) << row.t;
    }
    for (int i = 0; i < 3000; ++i) EXPECT_GT(next_arm_interval(200.0), 0.0);
}

TEST_F(Match, ShortIntervalsArmASideEveryFrame) {
    start_local_match();
    game_state.match_time = 400.0;  // intervals far below one frame
    for (int i = 0; i < 5; ++i) {
        game_state.arm_intervals[0] = game_state.arm_intervals[1] = 0.001;
        update_arming(frame_dt, game_state.match_time);
        EXPECT_EQ(game_state.arm_timers[0], 0.0);
        EXPECT_EQ(game_state.arm_timers[1], 0.0);
    }
    EXPECT_GE(armed_in_half(false), 1);
}

TEST_F(Match, OneLifePerOverlapHowEverLong) {
    start_local_match();
    hit_player(&p1(), true);
    hit_player(&p1(), true);
    hit_player(&p1(), true);
    EXPECT_EQ(p1().lives, 2);
    EXPECT_FLOAT_EQ(p1().time_since_hit, 0.0f);
    hit_player(&p1(), false);  // one free frame
    hit_player(&p1(), true);
    EXPECT_EQ(p1().lives, 1);
}

TEST_F(Match, TwoBeamsBackToBackCostOneLife) {
    start_local_match();
    stand(p1(), {-6, 0, 0});
    // The second beam trails the first so closely that the overlaps join up.
    launch_beam(true);
    update_beams(0.05);
    launch_beam(true);
    for (int i = 0; i < 400 && active_beams() > 0; ++i) update_beams(frame_dt);
    EXPECT_EQ(p1().lives, 2);

    // Far apart: two lives.
    launch_beam(true);
    for (int i = 0; i < 60; ++i) update_beams(frame_dt);
    launch_beam(true);
    for (int i = 0; i < 400 && active_beams() > 0; ++i) update_beams(frame_dt);
    EXPECT_EQ(p1().lives, 0);
}

TEST_F(Match, ThirdLifeLostHidesThePlayerAndEndsTheMatch) {
    start_local_match();
    stand(p1(), {-6, 0, 0});
    sweep_player1_half();
    sweep_player1_half();
    EXPECT_EQ(p1().lives, 1);
    EXPECT_TRUE(p1().instance->visible);
    EXPECT_FALSE(match_over());
    sweep_player1_half();
    EXPECT_EQ(p1().lives, 0);
    EXPECT_FALSE(p1().instance->visible);
    EXPECT_FLOAT_EQ(p1().time_since_hit, 99.0f);
    EXPECT_TRUE(match_over());

    // Game over: the clock and arming stop, the survivor still moves, a last beam
    // finishes its sweep.
    reset_buttons_and_beams();
    game_state.buttons_pressed = 5;
    launch_beam(false);
    const double clock = game_state.match_time;
    const Vec3d p2_at = pos2();
    set_key(KEY_UP, true);
    match_frames(600);
    set_key(KEY_UP, false);
    EXPECT_EQ(game_state.match_time, clock);
    EXPECT_EQ(armed_in_half(false) + armed_in_half(true), 0);
    EXPECT_LT(pos2().z, p2_at.z - 1.0);
    EXPECT_EQ(active_beams(), 0);
    EXPECT_EQ(p1().lives, 0);
    EXPECT_FALSE(p1().instance->visible);  // a dead player is not updated
}

// Pixels of the game-over line's colour in the band where it is drawn.
int game_over_pixels() {
    BeginDrawing();
    ClearBackground(BLACK);
    Image frame = testing_read_frame();
    EndDrawing();
    int n = 0;
    const auto *px = static_cast<const unsigned char *>(frame.data);
    for (int y = 55; y < 85 && y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            const unsigned char *p = px + 4 * (y * frame.width + x);
            if (p[0] < 40 && p[1] > 90 && p[1] < 150 && p[2] > 200) ++n;
        }
    }
    UnloadImage(frame);
    return n;
}

TEST_F(Match, GameOverIsWrittenFromTheUpdateStep) {
    start_local_match();
    update_match(frame_dt);
    EXPECT_EQ(game_over_pixels(), 0);

    stand(p1(), {-6, 0, 0});
    p1().lives = 1;
    sweep_player1_half();
    ASSERT_TRUE(match_over());
    update_match(frame_dt);
    EXPECT_GT(game_over_pixels(), 20);
}

TEST_F(Match, RRestartsToJoining) {
    start_local_match();
    p1().lives = 1;
    stand(p1(), {-6, 0, 0});
    set_key(KEY_D, true);
    match_frames(3);  // a button of each half gets armed, player 1 moves
    set_key(KEY_D, false);
    sweep_player1_half();
    ASSERT_TRUE(match_over());

    // R does nothing before game over, so test it only now.
    tap(KEY_R);
    EXPECT_FALSE(game_state.joined[0]);
    EXPECT_FALSE(game_state.joined[1]);
    EXPECT_EQ(p1().lives, 3);
    EXPECT_EQ(p2().lives, 3);
    EXPECT_EQ(pos1(), player1_start);
    EXPECT_EQ(pos2(), player2_start);
    EXPECT_EQ(game_state.match_time, 0.0);
    EXPECT_EQ(game_state.buttons_pressed, 0);
    EXPECT_EQ(armed_in_half(false) + armed_in_half(true), 0);
    EXPECT_FALSE(p1().instance->visible);
    EXPECT_FALSE(p2().instance->visible);

    // Both must join again; the tomatoes then drop from their start height.
    tap(KEY_K);
    EXPECT_TRUE(game_state.joined[0]);
    EXPECT_EQ(game_state.input_devices[0], keyboard_right);
    tap(KEY_SPACE);
    EXPECT_TRUE(both_joined());
}

TEST_F(Match, RestartControlsAfterGameOver) {
    // Who plays with what, and which press must (or must not) start a new match.
    struct Row {
        const char *what;
        bool bot;
        InputDevice player1, player2;
        int key;  // 0: the pad's button instead
        int pad;
        int button;
        bool restarts;
        bool pad_in_match;
    };
    const int start = GAMEPAD_BUTTON_MIDDLE_RIGHT;
    const Row rows[] = {
        {"R, keyboards only", false, keyboard_left, keyboard_right, KEY_R, 0, 0, true, false},
        {"START of player 1's pad", false, 0, keyboard_right, 0, 0, start, true, true},
        {"START of player 2's pad", false, keyboard_left, 1, 0, 1, start, true, true},
        {"R with a pad in the match", false, 0, keyboard_right, KEY_R, 0, 0, true, true},
        {"START of a pad not in the match", false, keyboard_left, keyboard_right, 0, 3, start, false, false},
        {"another button of a pad in the match", false, 0, keyboard_right, 0, 0, GAMEPAD_BUTTON_RIGHT_FACE_LEFT, false,
         true},
        {"START of a pad the bot's slot still names", true, keyboard_left, 1, 0, 1, start, false, false},
        {"START of player 1's pad against the bot", true, 0, 1, 0, 0, start, true, true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        for (int pad : {0, 1, 3}) set_pad(pad, true);
        set_screen_state(ScreenState::match);
        if (row.bot) enable_bot();
        game_state.joined[0] = game_state.joined[1] = true;
        game_state.input_devices[0] = row.player1;
        game_state.input_devices[1] = row.player2;
        p1().lives = 0;
        EXPECT_EQ(gamepad_in_match(), row.pad_in_match);
        ASSERT_TRUE(match_over());
        if (row.key != 0) {
            tap(row.key);
        } else {
            set_pad_button(row.pad, row.button, true);
            match_frame();
            set_pad_button(row.pad, row.button, false);
            match_frame();
        }
        EXPECT_EQ(!match_over() && p1().lives == 3, row.restarts);
        // Back to the title screen for the next row.
        set_screen_state(ScreenState::paused);
        set_screen_state(ScreenState::menu);
    }
}

TEST_F(Match, RIsIgnoredDuringPlay) {
    start_local_match();
    match_frames(5);
    const double t = game_state.match_time;
    tap(KEY_R);
    EXPECT_TRUE(both_joined());
    EXPECT_GT(game_state.match_time, t);
}

TEST_F(Match, BothLosingTheLastLifeTogetherIsADraw) {
    start_local_match();
    p1().lives = 1;
    p2().lives = 1;
    stand(p1(), {-6, 0, 0});
    stand(p2(), {6, 0, 0});
    game_state.buttons_pressed = 0;
    launch_beam(true);
    launch_beam(false);
    for (int i = 0; i < 400 && active_beams() > 0; ++i) update_beams(frame_dt);
    EXPECT_EQ(p1().lives, 0);
    EXPECT_EQ(p2().lives, 0);
    EXPECT_TRUE(match_over());

    const double clock = game_state.match_time;
    reset_buttons_and_beams();
    match_frames(900);  // long enough for several arming intervals
    EXPECT_EQ(game_state.match_time, clock);
    EXPECT_EQ(armed_in_half(false) + armed_in_half(true), 0);

    tap(KEY_R);
    EXPECT_FALSE(game_state.joined[0]);
    EXPECT_EQ(p1().lives, 3);
    EXPECT_EQ(p2().lives, 3);
}

TEST_F(Match, EscapePausesAndFreezesTheMatchButNotParticlesOrCamera) {
    start_local_match();
    set_key(KEY_D, true);
    match_frames(30);
    launch_beam(true);
    match_frames(10);

    set_key(KEY_ESCAPE, true);
    match_frame();
    set_key(KEY_ESCAPE, false);
    EXPECT_EQ(game_state.screen_state, ScreenState::paused);

    const Vec3d at1 = pos1();
    const double clock = game_state.match_time;
    const double timer = game_state.arm_timers[0];
    const double beam_elapsed = game_state.beams[0].elapsed;
    const Vec3d beam_at = game_state.beams[0].instance->position;

    // A hit burst and a camera shake, then frames of the paused screen as the
    // frame loop runs them: particles and camera motion go on, the match does not.
    clear_particles();
    hit_player(&p2(), true);
    const Vec3d particle_at = particles[0].position;
    for (int i = 0; i < 10; ++i) {
        update_particles(frame_dt);
        update_camera_motion(frame_dt);
        update_paused();
        end_frame();
    }
    EXPECT_EQ(game_state.screen_state, ScreenState::paused);
    EXPECT_FALSE(particles[0].position == particle_at);
    EXPECT_GT(camera_motion.shake_time, 0.0);
    EXPECT_EQ(pos1(), at1);
    EXPECT_EQ(game_state.match_time, clock);
    EXPECT_EQ(game_state.arm_timers[0], timer);
    EXPECT_EQ(game_state.beams[0].elapsed, beam_elapsed);
    EXPECT_EQ(game_state.beams[0].instance->position, beam_at);

    set_key(KEY_ESCAPE, true);
    update_paused();
    end_frame();
    set_key(KEY_ESCAPE, false);
    EXPECT_EQ(game_state.screen_state, ScreenState::match);
    match_frame();
    EXPECT_GT(pos1().x, at1.x);
    EXPECT_GT(game_state.match_time, clock);
}

TEST_F(Match, PauseAndResumePlayTheirSounds) {
    start_local_match();
    const std::size_t before = sounds_started();
    set_screen_state(ScreenState::paused);
    EXPECT_EQ(sounds_started() - before, 1u);
    set_screen_state(ScreenState::match);
    EXPECT_EQ(sounds_started() - before, 2u);
}

TEST_F(Match, MainMenuResetsEverythingAndTurnsTheBotOff) {
    test_support::start_bot_match();
    tap(KEY_SPACE);
    match_frames(30);
    p1().lives = 2;
    set_screen_state(ScreenState::paused);
    set_screen_state(ScreenState::menu);
    EXPECT_FALSE(game_state.bot_enabled);
    EXPECT_EQ(game_state.bot.player, nullptr);
    EXPECT_FALSE(p2().input_locked);
    EXPECT_EQ(p1().lives, 3);
    EXPECT_TRUE(game_state.joined[0]);  // the idle title-screen tomato
    EXPECT_TRUE(p1().input_locked);
    EXPECT_TRUE(p1().instance->visible);
    EXPECT_EQ(camera_motion.move_to, menu_view_position);

    set_screen_state(ScreenState::match);
    EXPECT_FALSE(game_state.joined[0]);
    EXPECT_FALSE(game_state.joined[1]);
}

class BotMatch : public Match {
protected:
    void SetUp() override {
        Match::SetUp();
        test_support::start_bot_match();  // as the BOT menu entry does it
    }
};

TEST_F(BotMatch, BotWaitsHiddenUntilPlayerOneJoins) {
    const Vec3d at = pos2();
    match_frames(120);
    EXPECT_EQ(pos2(), at);
    EXPECT_FALSE(p2().instance->visible);
    EXPECT_TRUE(p2().jump_requested);

    tap(KEY_SPACE);
    EXPECT_TRUE(p2().instance->visible);
    // Its pending request makes it hop once.
    EXPECT_GT(pos2().y, 0.0);
    EXPECT_FALSE(p2().jump_requested);
}

TEST_F(BotMatch, BotWalksToTheFirstArmedButtonOfItsHalfAndPressesIt) {
    tap(KEY_SPACE);
    // Arming has lit one button per half; make the bot's choice predictable.
    for (Button &b : game_state.buttons) set_button_armed(&b, false);
    set_button_armed(&game_state.buttons[20], true);  // (6, -4)
    set_button_armed(&game_state.buttons[22], true);  // (10, 0)
    game_state.arm_intervals[1] = 1e9;
    game_state.arm_intervals[0] = 1e9;

    const int pressed_before = game_state.buttons_pressed;
    for (int i = 0; i < 300 && game_state.buttons[20].armed; ++i) {
        match_frame();
        EXPECT_FALSE(p2().dashing);
    }
    EXPECT_FALSE(game_state.buttons[20].armed);
    EXPECT_TRUE(game_state.buttons[22].armed);
    EXPECT_EQ(game_state.buttons_pressed, pressed_before + 1);
    EXPECT_NEAR(pos2().x, 6.0, 0.8);
    EXPECT_NEAR(pos2().z, -4.0, 0.8);

    // Target gone: it stops, then picks the next one.
    match_frame();
    for (int i = 0; i < 300 && game_state.buttons[22].armed; ++i) match_frame();
    EXPECT_FALSE(game_state.buttons[22].armed);
}

TEST_F(BotMatch, BotJumpsWhenABeamComesWithinTwoUnits) {
    tap(KEY_SPACE);
    match_frames(60);           // landed, nothing to walk to
    reset_buttons_and_beams();  // whatever the bot launched meanwhile is gone too
    game_state.arm_intervals[0] = game_state.arm_intervals[1] = 1e9;
    game_state.bot.target = nullptr;
    stand(p2(), {6, 0, 0});
    p2().velocity = {};

    game_state.buttons_pressed = 0;
    launch_beam(false);  // from player 2's back wall (x = 12.5) towards the net
    const Beam &beam = game_state.beams[0];
    bool jumped_early = false;
    double jump_distance = -1.0;
    for (int i = 0; i < 400 && beam.active; ++i) {
        const bool grounded = p2().grounded;
        match_frame();
        const double d = std::abs(beam.instance->position.x - pos2().x);
        if (grounded && !p2().grounded && jump_distance < 0) {
            jump_distance = d;
            if (d > 2.0 + 0.6) jumped_early = true;
        }
    }
    EXPECT_GT(jump_distance, 0.0);
    EXPECT_FALSE(jumped_early);
    EXPECT_EQ(p2().lives, 3);  // it cleared the beam
    EXPECT_FALSE(p2().dashing);
}

TEST_F(BotMatch, RestartNeedsOnlyPlayerOneToJoin) {
    tap(KEY_SPACE);
    stand(p1(), {-6, 0, 0});
    p1().lives = 1;
    sweep_player1_half();
    ASSERT_TRUE(match_over());
    tap(KEY_R);
    EXPECT_FALSE(game_state.joined[0]);
    EXPECT_TRUE(game_state.joined[1]);
    EXPECT_TRUE(game_state.bot_enabled);
    EXPECT_TRUE(p2().input_locked);
    EXPECT_TRUE(p2().jump_requested);
    EXPECT_DOUBLE_EQ(pos2().y, 0.0);

    match_frames(30);
    EXPECT_FALSE(both_joined());
    EXPECT_EQ(armed_in_half(true), 0);
    tap(KEY_SPACE);
    EXPECT_TRUE(both_joined());
    EXPECT_EQ(armed_in_half(false), 1);
}

}  // namespace
