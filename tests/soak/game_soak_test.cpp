// The whole game played for a long stretch of game time through the real frame loop:
// the bot against scripted random play by player 1, with pauses, settings toggles,
// restarts with R and trips back to the title screen. Nothing may crash, the particle
// pool and the live sounds stay bounded, and once warmed up the resident memory
// stays flat.
//
// VORBEL_SOAK_GAME_SECONDS sets the game time (120 s unless given).
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>

#include "app/frame_loop.h"
#include "app/game_state.h"
#include "audio/sound_bank.h"
#include "render/particles.h"
#include "settings/settings.h"
#include "support/pool_counts.h"
#include "support/small_window.h"
#include "support/game_globals.h"
#include "testing.h"
#include "ui/pause_menu.h"

namespace {

// Frames are a fixed 1/60 s, raised eightfold by the game speed: 0.133 s of game
// time per frame, just under the loop's cap.
constexpr double real_frame = 1.0 / 60.0;
constexpr double game_speed = 8.0;
constexpr double game_frame = real_frame * game_speed;

// Centres of the menu controls: one column at x = 50 from y = 250; buttons are
// 250 x 75 with 25 between them, check boxes 20 x 20 with 25 between them.
constexpr float column_x = 60.0f;
float button_y(int row) { return 250.0f + 100.0f * static_cast<float>(row) + 37.5f; }
float checkbox_y(int row) { return 250.0f + 45.0f * static_cast<float>(row) + 10.0f; }
// In the settings column the two buttons follow the four check boxes.
float settings_button_y(int row) { return 250.0f + 4.0f * 45.0f + 100.0f * static_cast<float>(row) + 37.5f; }

struct Script {
    std::uint64_t state;
    std::uint64_t next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
    bool one_in(std::uint64_t n) { return next() % n == 0; }
};

// One scripted input event, applied just before a frame.
struct Step {
    enum class Kind { key_down, key_up, press_at, release, wait } kind;
    int key = 0;
    float x = 0.0f;
    float y = 0.0f;
};

std::size_t resident_bytes() {
    long pages = 0;
    long resident = 0;
    std::FILE *f = std::fopen("/proc/self/statm", "r");
    if (f == nullptr) return 0;
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
    return static_cast<std::size_t>(resident) * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

using test_support::live_particles;

class GameSoak : public ::testing::Test {
protected:
    void SetUp() override {
        // A small window keeps the software renderer quick; the speed is raised.
        Settings s = test_support::small_window_settings();
        s.game_speed = game_speed;
        SetTraceLogLevel(LOG_WARNING);
        ASSERT_TRUE(test_support::start_game(game_, "vorbel-soak-", &s, real_frame));
    }

    void TearDown() override {
        testing_release_all_input();
        test_support::stop_game(game_);
    }

    void tap(int key) {
        steps_.push_back({Step::Kind::key_down, key});
        steps_.push_back({Step::Kind::key_up, key});
    }
    void click(float x, float y) {
        steps_.push_back({Step::Kind::press_at, 0, x, y});
        steps_.push_back({Step::Kind::release});
        steps_.push_back({Step::Kind::wait});  // the action shows from the next frame
    }

    void apply_next_step() {
        if (steps_.empty()) return;
        const Step s = steps_.front();
        steps_.pop_front();
        switch (s.kind) {
        case Step::Kind::key_down:
            testing_key_down(s.key);
            break;
        case Step::Kind::key_up:
            testing_key_up(s.key);
            break;
        case Step::Kind::press_at:
            testing_mouse_move(s.x, s.y);
            testing_mouse_button_down(MOUSE_BUTTON_LEFT);
            break;
        case Step::Kind::release:
            testing_mouse_button_up(MOUSE_BUTTON_LEFT);
            break;
        case Step::Kind::wait:
            break;
        }
    }

    // Toggles some of VSYNC, MUSIC and SOUND EFFECTS on an open settings column, then
    // leaves it with BACK.
    void toggle_some_settings() {
        for (int row = 1; row <= 3; ++row) {
            if (script_.one_in(2)) click(column_x, checkbox_y(row));
        }
        click(column_x, settings_button_y(1));
    }

    // What player 1 does next when nothing is queued.
    void plan(std::uint64_t frame) {
        switch (game_state.screen_state) {
        case ScreenState::menu:
            if (script_.one_in(4)) {
                click(column_x, button_y(1));  // SETTINGS
                toggle_some_settings();
            } else {
                click(column_x, button_y(0));  // PLAY
                if (script_.one_in(5)) {
                    click(column_x, button_y(0));  // LOCAL; player 2 joins and stands still
                    tap(KEY_K);
                } else {
                    click(column_x, button_y(2));  // BOT
                }
            }
            ++menu_visits_;
            break;
        case ScreenState::match:
            // Held keys change every few frames; Space among them joins and jumps.
            if (frame % 5 == 0) {
                for (int key : {KEY_W, KEY_A, KEY_S, KEY_D, KEY_SPACE, KEY_LEFT_SHIFT}) {
                    if (script_.one_in(3))
                        testing_key_down(key);
                    else
                        testing_key_up(key);
                }
            }
            if (match_over() && script_.one_in(8)) {
                tap(KEY_R);
                ++restarts_;
            } else if (++match_frames_ % 90 == 0) {
                tap(KEY_ESCAPE);
            }
            break;
        case ScreenState::paused: {
            for (int key : {KEY_W, KEY_A, KEY_S, KEY_D, KEY_SPACE, KEY_LEFT_SHIFT}) testing_key_up(key);
            if (pause_settings_open) {
                toggle_some_settings();
                break;
            }
            // Each way out in turn, so every run goes through all of them.
            const int choice = pauses_++ % 5;
            if (choice == 0)
                tap(KEY_ESCAPE);
            else if (choice == 1)
                click(column_x, button_y(0));  // RESUME
            else if (choice == 2) {
                click(column_x, button_y(1));  // SETTINGS
                toggle_some_settings();
            } else if (choice == 3) {
                click(column_x, button_y(2));  // MAIN MENU
            } else {
                for (int i = 0; i < 10; ++i) steps_.push_back({Step::Kind::wait});  // stays paused a while
                tap(KEY_ESCAPE);
            }
            break;
        }
        }
    }

    test_support::StartedGame game_;
    Script script_{0x5DEECE66Dull};
    std::deque<Step> steps_;
    int menu_visits_ = 0;
    int pauses_ = 0;
    int restarts_ = 0;
    std::uint64_t match_frames_ = 0;
};

TEST_F(GameSoak, PlaysOnWithoutGrowing) {
    double game_seconds = 120.0;
    if (const char *env = std::getenv("VORBEL_SOAK_GAME_SECONDS")) game_seconds = std::atof(env);
    ASSERT_GT(game_seconds, 0.0);
    const auto frames = static_cast<std::uint64_t>(game_seconds / game_frame);
    // Warm-up: every screen has been drawn and the driver, the batch and the sound list
    // have reached their working size.
    const std::uint64_t warm_up = frames / 4;

    std::size_t baseline = 0;
    std::size_t highest = 0;
    std::size_t most_sounds = 0;
    int most_particles = 0;
    int games_over = 0;
    bool was_over = false;
    double game_time = 0.0;

    for (std::uint64_t frame = 0; frame < frames; ++frame) {
        if (steps_.empty()) plan(frame);
        apply_next_step();
        run_frame();
        ASSERT_FALSE(should_stop()) << "the game asked to stop at frame " << frame;
        game_time += scaled_frame_delta(GetFrameTime(), settings.game_speed);

        const int live = live_particles();
        most_particles = std::max(most_particles, live);
        most_sounds = std::max(most_sounds, live_sound_count());
        ASSERT_LE(live_sound_count(), 256u) << "frame " << frame;
        const bool over = game_state.screen_state == ScreenState::match && match_over();
        games_over += over && !was_over ? 1 : 0;
        was_over = over;

        if (frame == warm_up) baseline = resident_bytes();
        if (frame > warm_up && frame % 50 == 0) highest = std::max(highest, resident_bytes());
    }
    highest = std::max(highest, resident_bytes());

    std::printf("soak: %.0f s of game time in %llu frames; %d menu visits, %d pauses, %d games over, "
                "%d restarts; at most %d particles and %zu live sounds; resident %.1f MB after warm-up, "
                "at most %.1f MB later\n",
                game_time, static_cast<unsigned long long>(frames), menu_visits_, pauses_, games_over, restarts_,
                most_particles, most_sounds, static_cast<double>(baseline) / 1048576.0,
                static_cast<double>(highest) / 1048576.0);
    EXPECT_GE(game_time, game_seconds - game_frame);
    // The script really went everywhere.
    EXPECT_GT(menu_visits_, 1);
    EXPECT_GT(pauses_, 1);
    EXPECT_GT(games_over, 0);
    EXPECT_GT(most_particles, 0);
    ASSERT_GT(baseline, 0u);
    EXPECT_LE(static_cast<double>(highest), 1.05 * static_cast<double>(baseline))
        << "resident memory grew from " << baseline << " to " << highest << " bytes";
}

}  // namespace
