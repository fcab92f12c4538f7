// Input edges, SDL event mapping, gamepads and frame timing.
#include <gtest/gtest.h>

#include <array>

#include <SDL.h>

#include <cstdio>

#include "raylib.h"
#include "support/test_window.h"
#include "testing.h"

namespace {

class Input : public ::testing::Test {
protected:
    void SetUp() override {
        test_support::open_test_window(160, 120, "engine input test");
        ASSERT_TRUE(IsWindowReady());
    }

    void TearDown() override {
        testing_release_all_input();
        test_support::close_test_window();
    }

    static void frame() {
        BeginDrawing();
        ClearBackground(BLACK);
        EndDrawing();
    }

    static void push_key(SDL_Scancode sc, bool down) {
        SDL_Event e{};
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.scancode = sc;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }

    // Queues a left button press or release at (x, y); false if SDL refused it.
    static bool push_left_button(bool down, int x, int y) {
        SDL_Event e{};
        e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        e.button.button = SDL_BUTTON_LEFT;
        e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.button.x = x;
        e.button.y = y;
        return SDL_PushEvent(&e) == 1;
    }
};

TEST_F(Input, KeyEdgesPressedOnceDownWhileHeldReleasedOnce) {
    // {pressed, down, released} after each step.
    const auto space = [] {
        return std::array{IsKeyPressed(KEY_SPACE), IsKeyDown(KEY_SPACE), IsKeyReleased(KEY_SPACE)};
    };
    testing_key_down(KEY_SPACE);
    EXPECT_EQ(space(), (std::array{true, true, false}));
    frame();
    EXPECT_EQ(space(), (std::array{false, true, false}));
    frame();
    EXPECT_EQ(space(), (std::array{false, true, false}));
    testing_key_up(KEY_SPACE);
    EXPECT_EQ(space(), (std::array{false, false, true}));
    EXPECT_TRUE(IsKeyUp(KEY_SPACE));
    frame();
    EXPECT_EQ(space(), (std::array{false, false, false}));
    // Codes outside the table are simply never down.
    EXPECT_FALSE(IsKeyDown(-3));
    EXPECT_FALSE(IsKeyPressed(100000));
}

TEST_F(Input, SdlScancodesArriveAsRaylibKeysAtTheNextFrame) {
    struct Case {
        SDL_Scancode sc;
        int key;
    } cases[] = {
        {SDL_SCANCODE_A, KEY_A},     {SDL_SCANCODE_Z, KEY_Z},          {SDL_SCANCODE_0, KEY_ZERO},
        {SDL_SCANCODE_9, KEY_NINE},  {SDL_SCANCODE_SPACE, KEY_SPACE},  {SDL_SCANCODE_LSHIFT, KEY_LEFT_SHIFT},
        {SDL_SCANCODE_K, KEY_K},     {SDL_SCANCODE_LEFT, KEY_LEFT},    {SDL_SCANCODE_UP, KEY_UP},
        {SDL_SCANCODE_F12, KEY_F12}, {SDL_SCANCODE_RETURN, KEY_ENTER}, {SDL_SCANCODE_RCTRL, KEY_RIGHT_CONTROL}};
    for (const Case &c : cases) {
        push_key(c.sc, true);
        EXPECT_FALSE(IsKeyDown(c.key)) << "events wait for the end of the frame";
        frame();
        EXPECT_TRUE(IsKeyPressed(c.key)) << "key " << c.key;
        EXPECT_TRUE(IsKeyDown(c.key));
        push_key(c.sc, false);
        frame();
        EXPECT_TRUE(IsKeyReleased(c.key)) << "key " << c.key;
        frame();
        EXPECT_FALSE(IsKeyReleased(c.key));
    }
}

TEST_F(Input, KeyAndTextQueuesRepeatsAndOrder) {
    push_key(SDL_SCANCODE_B, true);
    push_key(SDL_SCANCODE_A, true);
    SDL_Event t{};
    t.type = SDL_TEXTINPUT;
    std::snprintf(t.text.text, sizeof(t.text.text), "b\xc3\xa9");  // "bé"
    ASSERT_EQ(SDL_PushEvent(&t), 1);
    frame();
    EXPECT_EQ(GetKeyPressed(), KEY_B);  // in the order pressed, not by code
    EXPECT_EQ(GetKeyPressed(), KEY_A);
    EXPECT_EQ(GetKeyPressed(), 0);
    EXPECT_EQ(GetCharPressed(), 'b');
    EXPECT_EQ(GetCharPressed(), 0xe9);
    EXPECT_EQ(GetCharPressed(), 0);
    EXPECT_FALSE(IsKeyPressedRepeat(KEY_A));

    SDL_Event r{};
    r.type = SDL_KEYDOWN;
    r.key.keysym.scancode = SDL_SCANCODE_A;
    r.key.repeat = 1;
    ASSERT_EQ(SDL_PushEvent(&r), 1);
    frame();
    EXPECT_TRUE(IsKeyPressedRepeat(KEY_A));
    EXPECT_FALSE(IsKeyPressed(KEY_A));  // a repeat is not a new press
    EXPECT_EQ(GetKeyPressed(), 0);
    frame();
    EXPECT_FALSE(IsKeyPressedRepeat(KEY_A));
    push_key(SDL_SCANCODE_A, false);
    push_key(SDL_SCANCODE_B, false);
    frame();
}

TEST_F(Input, EscapeClosesUnlessTheExitKeyIsDisabled) {
    SetExitKey(KEY_NULL);
    push_key(SDL_SCANCODE_ESCAPE, true);
    frame();
    EXPECT_TRUE(IsKeyPressed(KEY_ESCAPE));
    EXPECT_FALSE(WindowShouldClose());
    push_key(SDL_SCANCODE_ESCAPE, false);
    frame();

    SetExitKey(KEY_ESCAPE);
    push_key(SDL_SCANCODE_ESCAPE, true);
    frame();
    EXPECT_TRUE(WindowShouldClose());
}

TEST_F(Input, MouseButtonsAndPosition) {
    ASSERT_TRUE(push_left_button(true, 30, 40));
    frame();
    EXPECT_TRUE(IsMouseButtonPressed(MOUSE_BUTTON_LEFT));
    EXPECT_TRUE(IsMouseButtonDown(MOUSE_BUTTON_LEFT));
    EXPECT_FALSE(IsMouseButtonDown(MOUSE_BUTTON_RIGHT));
    EXPECT_EQ(GetMousePosition().x, 30.0f);
    EXPECT_EQ(GetMousePosition().y, 40.0f);
    frame();
    EXPECT_FALSE(IsMouseButtonPressed(MOUSE_BUTTON_LEFT));
    ASSERT_TRUE(push_left_button(false, 30, 40));
    frame();
    EXPECT_TRUE(IsMouseButtonReleased(MOUSE_BUTTON_LEFT));

    testing_mouse_move(5, 6);
    testing_mouse_button_down(MOUSE_BUTTON_RIGHT);
    EXPECT_TRUE(IsMouseButtonPressed(MOUSE_BUTTON_RIGHT));
    EXPECT_EQ(GetMouseX(), 5);
    EXPECT_EQ(GetMouseY(), 6);
    EXPECT_FALSE(IsMouseButtonDown(99));
}

TEST_F(Input, ATapWithinOneFrameIsPressedThenReleased) {
    // Down and up both arrive before the next poll: a quick click on a slow frame.
    ASSERT_TRUE(push_left_button(true, 12, 34));
    ASSERT_TRUE(push_left_button(false, 12, 34));
    frame();
    EXPECT_TRUE(IsMouseButtonPressed(MOUSE_BUTTON_LEFT));
    EXPECT_FALSE(IsMouseButtonReleased(MOUSE_BUTTON_LEFT));
    EXPECT_EQ(GetMousePosition().x, 12.0f);
    frame();
    EXPECT_TRUE(IsMouseButtonReleased(MOUSE_BUTTON_LEFT));
    EXPECT_FALSE(IsMouseButtonDown(MOUSE_BUTTON_LEFT));
    frame();
    EXPECT_FALSE(IsMouseButtonReleased(MOUSE_BUTTON_LEFT));

    // The same for a key, and events behind the held-back release keep their order.
    push_key(SDL_SCANCODE_SPACE, true);
    push_key(SDL_SCANCODE_SPACE, false);
    push_key(SDL_SCANCODE_K, true);
    frame();
    EXPECT_TRUE(IsKeyPressed(KEY_SPACE));
    EXPECT_FALSE(IsKeyDown(KEY_K));
    frame();
    EXPECT_TRUE(IsKeyReleased(KEY_SPACE));
    EXPECT_TRUE(IsKeyPressed(KEY_K));
    // A release and a new press before the next poll: the press is not lost.
    push_key(SDL_SCANCODE_K, false);
    push_key(SDL_SCANCODE_K, true);
    frame();
    EXPECT_TRUE(IsKeyReleased(KEY_K));
    frame();
    EXPECT_TRUE(IsKeyPressed(KEY_K));
    push_key(SDL_SCANCODE_K, false);
    frame();
    EXPECT_FALSE(IsKeyDown(KEY_SPACE));
    EXPECT_FALSE(IsKeyDown(KEY_K));
}

TEST_F(Input, GamepadsComeAndGoAtAnyTime) {
    EXPECT_FALSE(IsGamepadAvailable(0));
    EXPECT_FALSE(IsGamepadAvailable(19));
    EXPECT_FALSE(IsGamepadAvailable(-1));
    EXPECT_EQ(GetGamepadAxisMovement(19, GAMEPAD_AXIS_LEFT_X), 0.0f);

    testing_gamepad_connect(1, "pad");
    EXPECT_TRUE(IsGamepadAvailable(1));
    EXPECT_FALSE(IsGamepadAvailable(0));
    testing_gamepad_button(1, GAMEPAD_BUTTON_RIGHT_FACE_DOWN, true);
    testing_gamepad_axis(1, GAMEPAD_AXIS_LEFT_X, -0.75f);
    EXPECT_TRUE(IsGamepadButtonPressed(1, GAMEPAD_BUTTON_RIGHT_FACE_DOWN));
    EXPECT_TRUE(IsGamepadButtonDown(1, GAMEPAD_BUTTON_RIGHT_FACE_DOWN));
    EXPECT_FALSE(IsGamepadButtonDown(1, GAMEPAD_BUTTON_RIGHT_FACE_RIGHT));
    EXPECT_FLOAT_EQ(GetGamepadAxisMovement(1, GAMEPAD_AXIS_LEFT_X), -0.75f);
    frame();
    EXPECT_FALSE(IsGamepadButtonPressed(1, GAMEPAD_BUTTON_RIGHT_FACE_DOWN));
    EXPECT_TRUE(IsGamepadButtonDown(1, GAMEPAD_BUTTON_RIGHT_FACE_DOWN));

    // Unplugged mid-press: the pad and everything on it reads neutral.
    testing_gamepad_disconnect(1);
    EXPECT_FALSE(IsGamepadAvailable(1));
    EXPECT_FALSE(IsGamepadButtonDown(1, GAMEPAD_BUTTON_RIGHT_FACE_DOWN));
    EXPECT_EQ(GetGamepadAxisMovement(1, GAMEPAD_AXIS_LEFT_X), 0.0f);
    frame();

    // Plugged in again: a fresh press is a fresh edge.
    testing_gamepad_connect(1, "pad");
    testing_gamepad_button(1, GAMEPAD_BUTTON_RIGHT_FACE_DOWN, true);
    EXPECT_TRUE(IsGamepadButtonPressed(1, GAMEPAD_BUTTON_RIGHT_FACE_DOWN));
    testing_gamepad_disconnect(1);
}

TEST_F(Input, SdlGamepadPluggedInAndOutWhileRunning) {
    // A virtual SDL game controller goes through the same path as a real one:
    // device-added at a poll, state read every frame, device-removed at a poll.
    int device = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 15, 0);
    if (device < 0) GTEST_SKIP() << "no virtual joystick support: " << SDL_GetError();
    SDL_Joystick *joy = SDL_JoystickOpen(device);
    ASSERT_NE(joy, nullptr);
    frame();
    ASSERT_TRUE(IsGamepadAvailable(0));
    EXPECT_FALSE(IsGamepadButtonDown(0, GAMEPAD_BUTTON_RIGHT_FACE_DOWN));

    SDL_JoystickSetVirtualButton(joy, SDL_CONTROLLER_BUTTON_A, 1);
    SDL_JoystickSetVirtualButton(joy, SDL_CONTROLLER_BUTTON_B, 1);
    SDL_JoystickSetVirtualButton(joy, SDL_CONTROLLER_BUTTON_DPAD_LEFT, 1);
    SDL_JoystickSetVirtualAxis(joy, SDL_CONTROLLER_AXIS_LEFTX, -32768);
    SDL_JoystickSetVirtualAxis(joy, SDL_CONTROLLER_AXIS_LEFTY, 1000);  // inside the dead zone
    SDL_JoystickSetVirtualAxis(joy, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 32767);
    frame();
    EXPECT_TRUE(IsGamepadButtonPressed(0, GAMEPAD_BUTTON_RIGHT_FACE_DOWN));  // SDL's A
    EXPECT_TRUE(IsGamepadButtonDown(0, GAMEPAD_BUTTON_RIGHT_FACE_RIGHT));    // SDL's B
    EXPECT_TRUE(IsGamepadButtonDown(0, GAMEPAD_BUTTON_LEFT_FACE_LEFT));
    EXPECT_FALSE(IsGamepadButtonDown(0, GAMEPAD_BUTTON_RIGHT_FACE_UP));
    EXPECT_FLOAT_EQ(GetGamepadAxisMovement(0, GAMEPAD_AXIS_LEFT_X), -1.0f);
    EXPECT_FLOAT_EQ(GetGamepadAxisMovement(0, GAMEPAD_AXIS_LEFT_Y), 0.0f);
    EXPECT_FLOAT_EQ(GetGamepadAxisMovement(0, GAMEPAD_AXIS_RIGHT_TRIGGER), 1.0f);
    EXPECT_TRUE(IsGamepadButtonDown(0, GAMEPAD_BUTTON_RIGHT_TRIGGER_2));
    frame();
    EXPECT_FALSE(IsGamepadButtonPressed(0, GAMEPAD_BUTTON_RIGHT_FACE_DOWN));
    EXPECT_TRUE(IsGamepadButtonDown(0, GAMEPAD_BUTTON_RIGHT_FACE_DOWN));

    // Pulled out while held.
    SDL_JoystickClose(joy);
    SDL_JoystickDetachVirtual(device);
    frame();
    EXPECT_FALSE(IsGamepadAvailable(0));
    EXPECT_FALSE(IsGamepadButtonDown(0, GAMEPAD_BUTTON_RIGHT_FACE_DOWN));
    EXPECT_EQ(GetGamepadAxisMovement(0, GAMEPAD_AXIS_LEFT_X), 0.0f);

    // And plugged in again.
    device = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 15, 0);
    ASSERT_GE(device, 0);
    frame();
    EXPECT_TRUE(IsGamepadAvailable(0));
    SDL_JoystickDetachVirtual(device);
    frame();
    EXPECT_FALSE(IsGamepadAvailable(0));
}

TEST_F(Input, FrameTimeAndPacing) {
    testing_set_fixed_frame_time(0.25);
    frame();
    EXPECT_FLOAT_EQ(GetFrameTime(), 0.25f);
    EXPECT_EQ(GetFPS(), 4);

    // Real timing: with a target of 20 frames per second, EndDrawing waits, so
    // three frames take at least 0.15 s and each measured frame at least 0.05 s.
    testing_set_fixed_frame_time(-1.0);
    SetTargetFPS(20);
    frame();
    double start = GetTime();
    for (int i = 0; i < 3; i++) frame();
    EXPECT_GE(GetTime() - start, 0.149);
    EXPECT_GE(GetFrameTime(), 0.049f);
    SetTargetFPS(0);
}

TEST_F(Input, WindowAndMonitorQueries) {
    EXPECT_EQ(GetScreenWidth(), 160);
    EXPECT_EQ(GetScreenHeight(), 120);
    int m = GetCurrentMonitor();
    EXPECT_GE(m, 0);
    EXPECT_GE(GetMonitorWidth(m), 0);
    EXPECT_GE(GetMonitorRefreshRate(m), 0);
    EXPECT_EQ(GetMonitorWidth(99), 0);  // no such monitor: a warning and 0
    Vector2 dpi = GetWindowScaleDPI();
    EXPECT_GE(dpi.x, 1.0f);
    SetWindowSize(300, 200);
    EXPECT_EQ(GetScreenWidth(), 300);
    EXPECT_EQ(GetScreenHeight(), 200);
    // Fullscreen reports what the window really is, whatever the driver allows.
    bool before = IsWindowFullscreen();
    ToggleFullscreen();
    bool after = IsWindowFullscreen();
    if (after != before) {
        ToggleFullscreen();
        EXPECT_EQ(IsWindowFullscreen(), before);
    }
}

}  // namespace
