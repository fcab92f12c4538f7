// Joining and the per-player controls.
#include <sstream>
#include <string>
#include <vector>

#include "fixture.h"
#include "ui/controls_page.h"

namespace {

class Joining : public Court {
protected:
    void SetUp() override {
        Court::SetUp();
        set_screen_state(ScreenState::match);
        stand(p1(), {-6, 0, 0});
        stand(p2(), {6, 0, 0});
    }
};

TEST_F(Joining, SpaceFirstMakesWasdPlayerOne) {
    EXPECT_FALSE(game_state.joined[0]);
    tap(KEY_SPACE);
    EXPECT_TRUE(game_state.joined[0]);
    EXPECT_FALSE(game_state.joined[1]);
    EXPECT_EQ(game_state.input_devices[0], keyboard_left);

    tap(KEY_K);
    EXPECT_TRUE(both_joined());
    EXPECT_EQ(game_state.input_devices[1], keyboard_right);

    set_key(KEY_D, true);
    set_key(KEY_LEFT, true);
    EXPECT_DOUBLE_EQ(axis_x(false), 1.0);
    EXPECT_DOUBLE_EQ(axis_x(true), -1.0);
    set_key(KEY_D, false);
    set_key(KEY_LEFT, false);
    set_key(KEY_LEFT_SHIFT, true);
    set_key(KEY_L, false);
    EXPECT_TRUE(dash_down(false));
    EXPECT_FALSE(dash_down(true));
}

TEST_F(Joining, KFirstMakesArrowPlayerOne) {
    tap(KEY_K);
    EXPECT_EQ(game_state.input_devices[0], keyboard_right);
    tap(KEY_SPACE);
    EXPECT_EQ(game_state.input_devices[1], keyboard_left);

    set_key(KEY_UP, true);
    set_key(KEY_S, true);
    EXPECT_DOUBLE_EQ(axis_y(false), -1.0);
    EXPECT_DOUBLE_EQ(axis_y(true), 1.0);
    set_key(KEY_K, true);
    EXPECT_TRUE(jump_down(false));
    EXPECT_FALSE(jump_down(true));
}

TEST_F(Joining, PlayerOnesControllerNeverJoinsTwice) {
    tap(KEY_SPACE);
    tap(KEY_SPACE);
    tap(KEY_SPACE);
    EXPECT_TRUE(game_state.joined[0]);
    EXPECT_FALSE(game_state.joined[1]);

    set_pad(3, true);
    set_pad_button(3, GAMEPAD_BUTTON_RIGHT_FACE_DOWN, true);
    match_frame();
    EXPECT_EQ(game_state.input_devices[1], 3);
    set_pad_button(3, GAMEPAD_BUTTON_RIGHT_FACE_DOWN, false);
    match_frame();
    tap(KEY_SPACE);
    EXPECT_EQ(game_state.input_devices[0], keyboard_left);
    EXPECT_EQ(game_state.input_devices[1], 3);
    set_pad(3, false);
}

TEST_F(Joining, BothKeyboardHalvesInOneFrameJoinInOrder) {
    set_key(KEY_K, true);
    set_key(KEY_SPACE, true);
    match_frame();
    // Space is polled before K.
    EXPECT_EQ(game_state.input_devices[0], keyboard_left);
    EXPECT_EQ(game_state.input_devices[1], keyboard_right);
}

TEST_F(Joining, AThirdControllerTakesOverPlayerTwo) {
    tap(KEY_SPACE);
    tap(KEY_K);
    set_pad(0, true);
    set_pad_button(0, GAMEPAD_BUTTON_RIGHT_FACE_DOWN, true);
    match_frame();
    set_pad_button(0, GAMEPAD_BUTTON_RIGHT_FACE_DOWN, false);
    match_frame();
    EXPECT_EQ(game_state.input_devices[1], 0);

    // The arrows no longer move player 2; the stick does.
    const double x = pos2().x;
    set_key(KEY_RIGHT, true);
    match_frames(10);
    EXPECT_NEAR(pos2().x, x, 1e-9);
    set_key(KEY_RIGHT, false);
    set_pad_axis(0, GAMEPAD_AXIS_LEFT_X, 1.0f);
    match_frames(10);
    EXPECT_NEAR(pos2().x, x + 4.0 * 10 * frame_dt, 1e-9);
    set_pad(0, false);
}

// Every controller code the game binds must be one the engine can serve.
TEST_F(Joining, TheHighestGamepadCodeJoins) {
    const int last = max_gamepads - 1;
    set_pad(last, true);
    set_pad_button(last, GAMEPAD_BUTTON_RIGHT_FACE_DOWN, true);
    match_frame();
    EXPECT_TRUE(game_state.joined[0]);
    EXPECT_EQ(game_state.input_devices[0], last);
    set_pad(last, false);
}

TEST_F(Joining, ABlankPadButtonOnAnUnpluggedIndexJoinsNobody) {
    set_pad_button(5, GAMEPAD_BUTTON_RIGHT_FACE_DOWN, true);
    match_frame();
    EXPECT_FALSE(game_state.joined[0]);
}

TEST_F(Joining, OpposingKeysResolveTowardsMinus) {
    tap(KEY_SPACE);
    tap(KEY_K);
    set_key(KEY_A, true);
    set_key(KEY_D, true);
    set_key(KEY_W, true);
    set_key(KEY_S, true);
    set_key(KEY_LEFT, true);
    set_key(KEY_RIGHT, true);
    set_key(KEY_UP, true);
    set_key(KEY_DOWN, true);
    const Vec3d a = pos1();
    const Vec3d b = pos2();
    match_frames(6);
    EXPECT_LT(pos1().x, a.x);
    EXPECT_LT(pos1().z, a.z);
    EXPECT_LT(pos2().x, b.x);
    EXPECT_LT(pos2().z, b.z);
}

TEST_F(Joining, TheJoiningPressIsAlsoAJump) {
    set_key(KEY_SPACE, true);
    match_frame();
    EXPECT_TRUE(game_state.joined[0]);
    EXPECT_FALSE(p1().grounded);
    EXPECT_GT(p1().velocity.y, 0.0);
    EXPECT_GT(pos1().y, 0.0);
    EXPECT_TRUE(p1().instance->visible);
    EXPECT_FALSE(p2().instance->visible);  // not joined, not shown
}

TEST_F(Joining, UnpluggedPadReadsNeutralAndWorksAgainWhenBack) {
    tap(KEY_SPACE);
    set_pad(1, true);
    set_pad_button(1, GAMEPAD_BUTTON_RIGHT_FACE_DOWN, true);
    match_frame();
    set_pad_button(1, GAMEPAD_BUTTON_RIGHT_FACE_DOWN, false);
    set_pad_axis(1, GAMEPAD_AXIS_LEFT_Y, -1.0f);
    match_frames(30);  // lands and runs towards -z
    ASSERT_EQ(game_state.input_devices[1], 1);
    ASSERT_TRUE(p2().grounded);
    EXPECT_LT(pos2().z, -0.5);

    set_pad(1, false);
    match_frame();
    EXPECT_EQ(axis_x(true), 0.0);
    EXPECT_EQ(axis_y(true), 0.0);
    EXPECT_FALSE(jump_down(true));
    EXPECT_FALSE(dash_down(true));
    const Vec3d parked = pos2();
    match_frames(10);
    EXPECT_NEAR(pos2().x, parked.x, 1e-12);
    EXPECT_NEAR(pos2().z, parked.z, 1e-12);
    EXPECT_TRUE(game_state.joined[1]);

    // Plugged back in under the same index: the same player moves again.
    set_pad(1, true);
    set_pad_axis(1, GAMEPAD_AXIS_LEFT_Y, 1.0f);
    match_frames(10);
    EXPECT_GT(pos2().z, parked.z + 0.5);
    set_pad(1, false);
}

// A stick drifting within 0.1 of its centre (injected here as it is, the way raylib 5.5
// and 6.0 report it) leaves the tomato standing; beyond that it moves.
TEST_F(Joining, ADriftingStickLeavesTheTomatoStanding) {
    tap(KEY_SPACE);
    set_pad(1, true);
    set_pad_button(1, GAMEPAD_BUTTON_RIGHT_FACE_DOWN, true);
    match_frame();
    set_pad_button(1, GAMEPAD_BUTTON_RIGHT_FACE_DOWN, false);
    match_frames(30);  // lands from the joining jump
    ASSERT_EQ(game_state.input_devices[1], 1);
    ASSERT_TRUE(p2().grounded);

    set_pad_axis(1, GAMEPAD_AXIS_LEFT_X, 0.08f);
    set_pad_axis(1, GAMEPAD_AXIS_LEFT_Y, -0.1f);
    EXPECT_EQ(axis_x(true), 0.0);
    EXPECT_EQ(axis_y(true), 0.0);
    const Vec3d at = pos2();
    match_frames(20);
    EXPECT_NEAR(pos2().x, at.x, 1e-12);
    EXPECT_NEAR(pos2().z, at.z, 1e-12);

    set_pad_axis(1, GAMEPAD_AXIS_LEFT_X, 0.2f);
    EXPECT_DOUBLE_EQ(axis_x(true), static_cast<double>(0.2f));
    match_frames(10);
    EXPECT_GT(pos2().x, at.x + 0.5);
    set_pad(1, false);
}

}  // namespace

namespace {

int key_named(const std::string &name) {
    for (int key = 1; key < 512; ++key)
        if (name == key_label(key)) return key;
    return 0;
}

int button_named(const std::string &name) {
    for (int button = 1; button <= GAMEPAD_BUTTON_RIGHT_THUMB; ++button)
        if (name == pad_button_label(button)) return button;
    return 0;
}

std::vector<std::string> words(const char *text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

// The controls page read as a player reads it: every key and button it names does
// what its row says, for the controller of its column, and nothing is left unnamed.
TEST_F(Joining, TheControlsPageNamesWhatTheGameReads) {
    const char *actions[] = {"", "MOVE", "JUMP / JOIN", "DASH", "PAUSE", "PLAY AGAIN"};
    for (int row = 0; row < controls_rows; ++row) EXPECT_STREQ(controls_cell(row, 0), actions[row]);
    set_pad(0, true);

    for (int column = 1; column < controls_columns; ++column) {
        SCOPED_TRACE(controls_cell(0, column));
        const bool pad = column == 3;
        auto hold = [&](const std::string &name, bool down) {
            if (pad) {
                const int button = button_named(name);
                ASSERT_NE(button, 0) << name;
                set_pad_button(0, button, down);
            } else {
                const int key = key_named(name);
                ASSERT_NE(key, 0) << name;
                set_key(key, down);
            }
        };
        // JUMP / JOIN joins player 1 with this controller, and is then its jump.
        game_state.joined[0] = game_state.joined[1] = false;
        hold(controls_cell(2, column), true);
        match_frame();
        ASSERT_TRUE(game_state.joined[0]);
        EXPECT_EQ(game_state.input_devices[0], pad ? 0 : (column == 1 ? keyboard_left : keyboard_right));
        EXPECT_TRUE(jump_down(false));
        hold(controls_cell(2, column), false);
        EXPECT_FALSE(jump_down(false));

        hold(controls_cell(3, column), true);
        EXPECT_TRUE(dash_down(false));
        hold(controls_cell(3, column), false);
        EXPECT_FALSE(dash_down(false));

        // MOVE: forward, left, back, right.
        const std::string move = controls_cell(1, column);
        if (pad) {
            ASSERT_EQ(move, "LEFT STICK");
            set_pad_axis(0, GAMEPAD_AXIS_LEFT_X, -0.5f);
            set_pad_axis(0, GAMEPAD_AXIS_LEFT_Y, 0.25f);
            EXPECT_DOUBLE_EQ(axis_x(false), -0.5);
            EXPECT_DOUBLE_EQ(axis_y(false), 0.25);
            set_pad_axis(0, GAMEPAD_AXIS_LEFT_X, 0.0f);
            set_pad_axis(0, GAMEPAD_AXIS_LEFT_Y, 0.0f);
        } else {
            const std::vector<std::string> keys =
                move == "ARROWS" ? std::vector<std::string>{"UP", "LEFT", "DOWN", "RIGHT"} : words(move.c_str());
            ASSERT_EQ(keys.size(), 4u) << move;
            const double want[4][2] = {{0, -1}, {-1, 0}, {0, 1}, {1, 0}};
            for (int i = 0; i < 4; ++i) {
                hold(keys[static_cast<std::size_t>(i)], true);
                EXPECT_EQ(axis_x(false), want[i][0]) << keys[static_cast<std::size_t>(i)];
                EXPECT_EQ(axis_y(false), want[i][1]) << keys[static_cast<std::size_t>(i)];
                hold(keys[static_cast<std::size_t>(i)], false);
            }
        }
        match_frame();

        // PAUSE and PLAY AGAIN: the keyboard's keys stand in the left keys' column.
        const int key_column = 1;
        const char *pause = controls_cell(4, key_column);  // a pad's in its own column
        if (column == 2) {
            EXPECT_STREQ(controls_cell(4, 2), "") << "shared with the left half";
        }
        hold(pad ? controls_cell(4, 3) : pause, true);
        match_frame();
        hold(pad ? controls_cell(4, 3) : pause, false);
        EXPECT_EQ(game_state.screen_state, ScreenState::paused);
        set_screen_state(ScreenState::match);
        match_frame();
        game_state.joined[1] = true;
        p2().lives = 0;
        ASSERT_TRUE(match_over());
        hold(controls_cell(5, pad ? 3 : key_column), true);
        match_frame();
        hold(controls_cell(5, pad ? 3 : key_column), false);
        match_frame();
        EXPECT_FALSE(match_over()) << "PLAY AGAIN restarts";
        EXPECT_EQ(p2().lives, 3);
    }
    set_pad(0, false);
}

}  // namespace
