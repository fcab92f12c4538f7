// The shared court with the game state on a known seed, the sound effects on silent
// waves, and scripted controller input.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>

#include "app/game_state.h"
#include "support/court.h"

inline constexpr double frame_dt = 1.0 / 60.0;

// Scripted input, injected as events arriving between two frames: a key set down
// here reads as held at once and as pressed until the next end_frame().
void set_key(int key, bool down);
void set_pad(int pad, bool connected);
void set_pad_button(int pad, int button, bool down);
void set_pad_axis(int pad, int axis, float value);
void release_all_input();
// Ends a frame as the game loop does (an empty BeginDrawing/EndDrawing on the test
// window), which is where the engine polls input and ages the "pressed" edges.
void end_frame();

// Opens the small offscreen window the engine needs for frame ends and text.
class WindowEnvironment : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;
};

// Sounds started so far (step, click and pause plays).
std::size_t sounds_started();
int active_particles();
void clear_particles();

class Court : public test_support::CourtTest {
protected:
    void SetUp() override;
    void TearDown() override;

    Player &p1() { return game_state.players[0]; }
    Player &p2() { return game_state.players[1]; }
    Vec3d &pos1() { return p1().instance->position; }
    Vec3d &pos2() { return p2().instance->position; }

    // One match update, then the end of the frame.
    void match_frame(double dt = frame_dt);
    void match_frames(int n, double dt = frame_dt) {
        for (int i = 0; i < n; ++i) match_frame(dt);
    }
    // A key held for one match frame and released for the next.
    void tap(int key);
    // Updates one player alone, then ends the frame.
    void player_frame(Player &p, double dt = frame_dt);

    // Enters a LOCAL match from the title screen and joins Space then K.
    void start_local_match();
    // Puts a player on the ground at rest, already landed.
    void stand(Player &p, Vec3d at);
};
