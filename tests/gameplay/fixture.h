// The shared court with the game state on a known seed, the sound effects on silent
// waves, and scripted controller input, in a small offscreen window the engine needs
// for frame ends and text.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>

#include "app/game_state.h"
#include "audio/sound_bank.h"
#include "gameplay/match.h"
#include "render/particles.h"
#include "support/court.h"
#include "support/game_globals.h"
#include "support/pool_counts.h"
#include "testing.h"

inline constexpr double frame_dt = 1.0 / 60.0;

// Scripted input, injected as events arriving between two frames: a key set down
// here reads as held at once and as pressed until the next end_frame().
inline void set_key(int key, bool down) { down ? testing_key_down(key) : testing_key_up(key); }
inline void set_pad(int pad, bool connected) {
    connected ? testing_gamepad_connect(pad, "Test Pad") : testing_gamepad_disconnect(pad);
}
inline void set_pad_button(int pad, int button, bool down) { testing_gamepad_button(pad, button, down); }
inline void set_pad_axis(int pad, int axis, float value) { testing_gamepad_axis(pad, axis, value); }
inline void release_all_input() { testing_release_all_input(); }
// Ends a frame as the game loop does (an empty BeginDrawing/EndDrawing on the test
// window), which is where the engine polls input and ages the "pressed" edges.
inline void end_frame() {
    BeginDrawing();
    EndDrawing();
}

// Sounds started so far (step, click and pause plays).
inline std::size_t sounds_started() { return live_sound_count(); }
inline int active_particles() { return test_support::live_particles(); }
inline void clear_particles() {
    for (Particle &p : particles) p = Particle{};
}

class Court : public test_support::CourtTest {
protected:
    void SetUp() override;
    void TearDown() override;

    Player &p1() { return game_state.players[0]; }
    Player &p2() { return game_state.players[1]; }
    Vec3d &pos1() { return p1().instance->position; }
    Vec3d &pos2() { return p2().instance->position; }

    // One match update, then the end of the frame.
    void match_frame(double dt = frame_dt) {
        update_match(dt);
        end_frame();
    }
    void match_frames(int n, double dt = frame_dt) {
        for (int i = 0; i < n; ++i) match_frame(dt);
    }
    // A key held for one match frame and released for the next.
    void tap(int key) {
        set_key(key, true);
        match_frame();
        set_key(key, false);
        match_frame();
    }
    // Updates one player alone, then ends the frame.
    void player_frame(Player &p, double dt = frame_dt) {
        update_player(&p, dt);
        end_frame();
    }

    // Enters a LOCAL match from the title screen and joins Space then K.
    void start_local_match();
    // Puts a player on the ground at rest, already landed.
    void stand(Player &p, Vec3d at) {
        p.instance->position = at;
        p.grounded = true;
        p.velocity = {};
        p.squash_timer = 0.0;
    }
};
