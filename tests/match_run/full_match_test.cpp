// Whole matches through the real start-up, frame loop and scene: two humans on one
// keyboard, then one against the bot, each to "game over" and a restart with R.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/frame_loop.h"
#include "app/game_state.h"
#include "net/match_state.h"
#include "render/model_registry.h"
#include "replay/replay.h"
#include "settings/settings.h"
#include "support/game_frame.h"
#include "support/small_window.h"
#include "support/game_globals.h"
#include "testing.h"

namespace {

constexpr double step = 0.1;  // game seconds per frame; beams still cannot skip a player

test_support::StartedGame game;

class FullMatch : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        SetTraceLogLevel(LOG_WARNING);
        // A small window keeps the software renderer quick.
        const Settings small = test_support::small_window_settings();
        ASSERT_TRUE(test_support::start_game(game, "vorbel-match-", &small, step));
    }

    static void TearDownTestSuite() { test_support::stop_game(game); }

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

    // One frame as the loop runs it, with the finished picture read back and the
    // HUD's text calls captured.
    struct HudFrame {
        std::vector<CapturedText> text;
        int blue[3] = {};  // HUD-blue pixels in the bands of y 60, 90 and 120

        // The text drawn at (0, y), empty if none; every HUD line is 20 px in its blue.
        std::string line_at(int y) const {
            for (const CapturedText &t : text) {
                if (t.x != 0 || t.y != y) continue;
                EXPECT_EQ(t.size, 20) << t.text;
                EXPECT_TRUE(t.color.r == 0 && t.color.g == 121 && t.color.b == 241 && t.color.a == 255) << t.text;
                return t.text;
            }
            return {};
        }
    };

    static HudFrame hud_frame() {
        testing_capture_text(true);
        testing_clear_text();
        update_game(step);
        Image frame = test_support::draw_game_frame();
        HudFrame hud;
        hud.text = testing_captured_text();
        testing_capture_text(false);
        const auto *px = static_cast<const unsigned char *>(frame.data);
        for (int band = 0; band < 3; ++band) {
            for (int y = 62 + 30 * band; y < 78 + 30 * band && y < frame.height; ++y) {
                for (int x = 0; x < 100 && x < frame.width; ++x) {
                    const unsigned char *p = px + 4 * (y * frame.width + x);
                    if (p[0] < 30 && std::abs(p[1] - 121) < 25 && p[2] > 210) ++hud.blue[band];
                }
            }
        }
        UnloadImage(frame);
        return hud;
    }

    static int frame_with_game_over_pixels() { return hud_frame().blue[0]; }

    // The three lines at the end of a match, drawn and seen.
    static void expect_end_lines(const HudFrame &hud, const char *result, const char *hint) {
        EXPECT_EQ(hud.line_at(60), "game over");
        EXPECT_EQ(hud.line_at(90), result);
        EXPECT_EQ(hud.line_at(120), hint);
        for (int band = 0; band < 3; ++band) EXPECT_GT(hud.blue[band], 20) << "line " << band << " is not seen";
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
    const HudFrame playing = hud_frame();
    EXPECT_EQ(playing.blue[0] + playing.blue[1] + playing.blue[2], 0);
    EXPECT_EQ(playing.line_at(90), "");
    EXPECT_EQ(playing.line_at(120), "");

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
    expect_end_lines(hud_frame(), "player 2 wins", "press R to play again");

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
    test_support::start_bot_match();
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
    expect_end_lines(hud_frame(), "player 2 wins", "press R to play again");

    press(KEY_R);
    EXPECT_FALSE(game_state.joined[0]);
    EXPECT_TRUE(game_state.joined[1]);
    EXPECT_TRUE(game_state.bot_enabled);
    press(KEY_SPACE);
    EXPECT_TRUE(both_joined());

    set_screen_state(ScreenState::paused);
    set_screen_state(ScreenState::menu);
}

TEST_F(FullMatch, EndOfMatchLinesNameTheWinnerAndTheWayToPlayAgain) {
    // The match ends as the rows say; the HUD is drawn by the real frame.
    struct Row {
        const char *what;
        bool bot;
        InputDevice player1, player2;
        int lives1, lives2;
        const char *result;
        const char *hint;
        bool pad_last = false;  // the last press came from a gamepad
    };
    const Row rows[] = {
        {"LOCAL, player 2 lost", false, keyboard_left, keyboard_right, 2, 0, "player 1 wins", "press R to play again"},
        {"LOCAL, player 1 lost", false, keyboard_right, keyboard_left, 0, 1, "player 2 wins", "press R to play again"},
        {"LOCAL, both in the same frame", false, keyboard_left, keyboard_right, 0, 0, "draw", "press R to play again"},
        {"LOCAL, a gamepad plays and pressed last", false, keyboard_left, 0, 0, 3, "player 2 wins",
         "press START to play again", true},
        {"LOCAL, a gamepad plays, a key pressed last", false, keyboard_left, 0, 0, 3, "player 2 wins",
         "press R to play again"},
        {"BOT, the bot lost", true, keyboard_left, keyboard_right, 1, 0, "player 1 wins", "press R to play again"},
        {"BOT, the bot's slot names an old pad", true, keyboard_left, 0, 0, 2, "player 2 wins", "press R to play again",
         true},
        {"BOT, player 1 on a gamepad", true, 0, keyboard_right, 0, 2, "player 2 wins", "press START to play again",
         true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        set_screen_state(ScreenState::match);
        if (row.bot) enable_bot();
        game_state.joined[0] = game_state.joined[1] = true;
        game_state.input_devices[0] = row.player1;
        game_state.input_devices[1] = row.player2;
        game_state.players[0].lives = row.lives1;
        game_state.players[1].lives = row.lives2;
        set_last_input_from_pad(row.pad_last);
        // One frame first: "game over" is written from the update step, before the scene
        // is drawn, and in the match's first frame the view still frames the title's
        // close-up, whose tomato can lie over it.
        hud_frame();
        expect_end_lines(hud_frame(), row.result, row.hint);
        set_screen_state(ScreenState::paused);
        set_screen_state(ScreenState::menu);
    }
}

}  // namespace

// LOCAL and BOT recorded with --record as a player plays them (player 2 dashing at the
// armed buttons in LOCAL), written when the match is left, then replayed without any
// controller to the very record the match ended on.
TEST_F(FullMatch, ARecordedMatchReplaysToTheRecordItEndedOn) {
    for (const bool bot : {false, true}) {
        SCOPED_TRACE(bot ? "BOT" : "LOCAL");
        const std::string path = std::string(bot ? "bot" : "local") + ".vreplay";
        replay_set_record_path(path.c_str());
        ASSERT_TRUE(replay_recording_enabled());
        set_screen_state(ScreenState::match);
        if (bot) test_support::start_bot_match();
        replay_begin_local(bot);
        testing_key_down(KEY_SPACE);
        if (!bot) testing_key_down(KEY_K);
        run_frame();
        testing_release_all_input();
        int frames = 0;
        while (!match_over() && frames < 1500) {
            if (!bot) {
                steer_player2();
                // A hop and a dash now and then.
                frames % 30 == 0 ? testing_key_down(KEY_K) : testing_key_up(KEY_K);
                frames % 30 == 3 ? testing_key_down(KEY_L) : testing_key_up(KEY_L);
            }
            run_frame();
            ++frames;
        }
        testing_release_all_input();
        ASSERT_TRUE(match_over()) << "after " << frames << " frames";
        MatchSnapshot ended;
        capture_match(ended);
        set_screen_state(ScreenState::paused);
        set_screen_state(ScreenState::menu);  // MAIN MENU: the recording is written
        run_frame();

        static ReplayFrame read[replay_max_frames];
        ReplayView view{ReplayHeader{}, read, replay_max_frames};
        ASSERT_EQ(load_replay(path.c_str(), view), ReplayError::none);
        EXPECT_EQ(view.header.kind, bot ? ReplayKind::bot : ReplayKind::local);
        EXPECT_GT(view.header.frames, static_cast<std::uint32_t>(frames));
        set_screen_state(ScreenState::match);
        replay_start_match(view.header);
        for (std::uint32_t f = 0; f < view.header.frames; ++f) replay_step(read[f], view.header.step);
        MatchSnapshot replayed;
        capture_match(replayed);
        EXPECT_TRUE(same_snapshot(replayed, ended));
        EXPECT_EQ(match_result(), MatchResult::player2_wins);
        set_screen_state(ScreenState::menu);
        run_frame();
        if (const char *keep = std::getenv("VORBEL_KEEP_REPLAYS"); keep != nullptr && bot) {
            std::filesystem::copy_file(path, std::string(keep) + "/bot.vreplay",
                                       std::filesystem::copy_options::overwrite_existing);
        }
    }
}
