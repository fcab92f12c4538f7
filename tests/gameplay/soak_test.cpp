// A long bot match with scripted, pseudo-random play by player 1: the match rules'
// invariants hold throughout and nothing accumulates.
#include <vector>

#include "audio/sound_bank.h"
#include "fixture.h"
#include "testing.h"
#include "render/camera.h"
#include "render/particles.h"

namespace {

struct Script {
    std::uint64_t state;
    std::uint64_t next() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return state >> 33;
    }
};

class Soak : public Court {};

TEST_F(Soak, ThousandsOfFramesAgainstTheBot) {
    test_support::start_bot_match();

    Script script{99};
    const int keys[] = {KEY_W, KEY_A, KEY_S, KEY_D, KEY_SPACE, KEY_LEFT_SHIFT};
    int last_lives[2] = {3, 3};
    int last_pressed = 0;
    int restarts = 0;
    int games_over = 0;
    int max_particles_seen = 0;
    std::size_t max_sounds = 0;
    bool was_over = false;
    std::vector<float> audio(2 * 735);

    for (int frame = 0; frame < 8000; ++frame) {
        // Change the held keys every few frames; sometimes pause, resume or restart.
        if (frame % 7 == 0) {
            for (int k : keys) set_key(k, script.next() % 3 == 0);
        }
        const bool restart = was_over && script.next() % 20 == 0;
        set_key(KEY_R, restart);
        const bool toggle_pause = script.next() % 400 == 0;
        set_key(KEY_ESCAPE, toggle_pause);

        const bool resets = game_state.screen_state == ScreenState::match && restart && match_over();
        const double dt = (script.next() % 4 == 0) ? 0.15 : frame_dt;
        update_particles(dt);
        update_camera_motion(dt);
        if (game_state.screen_state == ScreenState::match)
            update_match(dt);
        else
            update_paused();
        testing_pull_audio(audio.data(), 735);
        end_frame();

        if (resets) {
            ++restarts;
            EXPECT_FALSE(game_state.joined[0]);
            EXPECT_EQ(game_state.buttons_pressed, 0);
            last_lives[0] = last_lives[1] = 3;
            last_pressed = 0;
        }
        for (int i = 0; i < 2; ++i) {
            ASSERT_LE(game_state.players[i].lives, last_lives[i]) << "frame " << frame;
            ASSERT_GE(game_state.players[i].lives, 0);
            last_lives[i] = game_state.players[i].lives;
        }
        ASSERT_GE(game_state.buttons_pressed, last_pressed) << "frame " << frame;
        last_pressed = game_state.buttons_pressed;

        for (const Beam &b : game_state.beams) {
            if (!b.active) continue;
            // An active beam is on its way: never more than one step past its end.
            ASSERT_LE(b.elapsed, b.duration + 0.15 + 1e-9);
            ASSERT_TRUE(b.instance->visible);
        }
        for (int i = 0; i < 2; ++i) {
            const Vec3d at = game_state.players[i].instance->position;
            ASSERT_GE(at.y, 0.0);
            ASSERT_GE(at.z, -6.25);
            ASSERT_LE(at.z, 5.25);
            if (i == 0)
                ASSERT_LE(at.x, -0.75);
            else
                ASSERT_GE(at.x, 0.75);
        }

        if (match_over() && !was_over) ++games_over;
        was_over = match_over();
        max_particles_seen = std::max(max_particles_seen, active_particles());
        max_sounds = std::max(max_sounds, live_sound_count());
    }
    release_all_input();

    EXPECT_GT(games_over, 0);
    EXPECT_GT(restarts, 0);
    EXPECT_GT(max_particles_seen, 0);  // splashes and bursts really happened
    EXPECT_LT(max_sounds, 64u);

    // Left alone, every particle burns out and every sound finishes.
    for (int i = 0; i < 120; ++i) {
        update_particles(frame_dt);
        testing_pull_audio(audio.data(), 735);
    }
    EXPECT_EQ(active_particles(), 0);
    release_finished_sounds();
    EXPECT_EQ(live_sound_count(), 0u);

    // A reset leaves no beam behind.
    if (game_state.screen_state == ScreenState::paused) set_screen_state(ScreenState::match);
    reset_match();
    for (const Beam &b : game_state.beams) {
        EXPECT_FALSE(b.active);
        EXPECT_FALSE(b.instance->visible);
    }
}

}  // namespace
