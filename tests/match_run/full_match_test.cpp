// Whole matches through the real start-up, frame loop and scene: two humans on one
// keyboard, then one against the bot, each to "game over" and a restart with R.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "app/frame_loop.h"
#include "app/game_state.h"
#include "render/model_registry.h"
#include "settings/settings.h"
#include "settings/startup.h"
#include "support/scratch_dir.h"
#include "support/small_window.h"
#include "testing.h"

namespace {

constexpr double step = 0.1;  // game seconds per frame; beams still cannot skip a player

test_support::ScratchCwd scratch;

class FullMatch : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scratch = test_support::enter_scratch_dir("vorbel-match-", true);
        ASSERT_FALSE(scratch.path.empty());
        // A small window keeps the software renderer quick. The window opens with the
        // record's values before settings.cfg is read, so set both.
        ASSERT_TRUE(test_support::use_settings(test_support::small_window_settings()));
        testing_set_fixed_frame_time(step);
        SetTraceLogLevel(LOG_WARNING);
        ASSERT_TRUE(init_app());
    }

    static void TearDownTestSuite() {
        deinit_app();
        testing_set_fixed_frame_time(-1.0);
        test_support::leave_scratch_dir(scratch);
    }

    void SetUp() override {
        testing_release_all_input();
        run_frame();
    }

    static void press(int key) {
        testing_key_down(key);
        run_frame();
        testing_key_up(key);
        run_frame();
    }

    // Holds the arrow keys that lead player 2 towards the first armed button of its
    // half, or none.
    static void steer_player2() {
        const Button *target = first_armed_button(true);
        const Vec3d at = game_state.players[1].instance->position;
        const double dx = target ? target->instance->position.x - at.x : 0.0;
        const double dz = target ? target->instance->position.z - at.z : 0.0;
        auto hold = [](int key, bool down) { down ? testing_key_down(key) : testing_key_up(key); };
        hold(KEY_RIGHT, dx > 0.3);
        hold(KEY_LEFT, dx < -0.3);
        hold(KEY_DOWN, dz > 0.3);
        hold(KEY_UP, dz < -0.3);
    }

    // One frame as the loop runs it, with the finished picture read back; counts the
    // pixels of the HUD's blue in the band of the "game over" line.
    static int frame_with_game_over_pixels() {
        update_game(step);
        BeginDrawing();
        ClearBackground(frame_clear_color);
        draw_game();
        Image frame = testing_read_frame();
        EndDrawing();
        int n = 0;
        const auto *px = static_cast<const unsigned char *>(frame.data);
        for (int y = 62; y < 78 && y < frame.height; ++y) {
            for (int x = 0; x < 100 && x < frame.width; ++x) {
                const unsigned char *p = px + 4 * (y * frame.width + x);
                if (p[0] < 30 && std::abs(p[1] - 121) < 25 && p[2] > 210) ++n;
            }
        }
        UnloadImage(frame);
        return n;
    }
};

TEST_F(FullMatch, TwoHumansPlayToGameOverAndRestart) {
    set_screen_state(ScreenState::match);  // what LOCAL does
    testing_key_down(KEY_SPACE);
    testing_key_down(KEY_K);
    run_frame();
    testing_key_up(KEY_SPACE);
    testing_key_up(KEY_K);
    ASSERT_TRUE(both_joined());
    EXPECT_EQ(game_state.input_devices[0], keyboard_left);
    EXPECT_EQ(game_state.input_devices[1], keyboard_right);
    EXPECT_EQ(frame_with_game_over_pixels(), 0);

    // Player 1 stands still; player 2 runs for every armed button of its half.
    int frames = 0;
    int lives_seen = 3;
    while (!match_over() && frames < 1500) {
        steer_player2();
        run_frame();
        ++frames;
        ASSERT_LE(game_state.players[0].lives, lives_seen);
        lives_seen = game_state.players[0].lives;
        ASSERT_EQ(game_state.screen_state, ScreenState::match);
    }
    testing_release_all_input();
    ASSERT_TRUE(match_over()) << "after " << frames << " frames";
    EXPECT_EQ(game_state.players[0].lives, 0);
    EXPECT_EQ(game_state.players[1].lives, 3);
    EXPECT_FALSE(game_state.players[0].instance->visible);
    EXPECT_GE(game_state.buttons_pressed, 3);
    EXPECT_GT(frame_with_game_over_pixels(), 20);

    press(KEY_R);
    EXPECT_FALSE(game_state.joined[0]);
    EXPECT_FALSE(game_state.joined[1]);
    EXPECT_EQ(game_state.players[0].lives, 3);
    EXPECT_EQ(game_state.buttons_pressed, 0);
    EXPECT_EQ(frame_with_game_over_pixels(), 0);
    press(KEY_K);
    press(KEY_SPACE);
    EXPECT_TRUE(both_joined());
    EXPECT_EQ(game_state.input_devices[0], keyboard_right);

    set_screen_state(ScreenState::paused);
    set_screen_state(ScreenState::menu);  // MAIN MENU
}

TEST_F(FullMatch, OneHumanAgainstTheBotToGameOverAndRestart) {
    set_screen_state(ScreenState::match);  // what BOT does
    enable_bot();
    game_state.joined[1] = true;
    for (int i = 0; i < 10; ++i) run_frame();
    EXPECT_FALSE(both_joined());
    EXPECT_FALSE(game_state.players[1].instance->visible);

    press(KEY_SPACE);
    ASSERT_TRUE(both_joined());

    int frames = 0;
    while (!match_over() && frames < 1500) {
        run_frame();
        ++frames;
    }
    ASSERT_TRUE(match_over()) << "after " << frames << " frames";
    EXPECT_EQ(game_state.players[0].lives, 0);
    EXPECT_GT(game_state.players[1].lives, 0);
    EXPECT_GT(frame_with_game_over_pixels(), 20);

    press(KEY_R);
    EXPECT_FALSE(game_state.joined[0]);
    EXPECT_TRUE(game_state.joined[1]);
    EXPECT_TRUE(game_state.bot_enabled);
    press(KEY_SPACE);
    EXPECT_TRUE(both_joined());

    set_screen_state(ScreenState::paused);
    set_screen_state(ScreenState::menu);
}

}  // namespace
