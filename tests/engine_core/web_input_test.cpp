// The browser build's keys and pads must reach the game as the desktop's do.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "internal.h"
#include "raylib.h"

namespace {

TEST(WebInput, KeyboardCodesMapToTheDesktopKeys) {
    struct Row {
        const char *code;
        int key;
    };
    const Row rows[] = {
        {"KeyA", KEY_A},
        {"KeyW", KEY_W},
        {"KeyZ", KEY_Z},
        {"Digit0", KEY_ZERO},
        {"Digit1", KEY_ONE},
        {"Digit9", KEY_NINE},
        {"F1", KEY_F1},
        {"F10", KEY_F10},
        {"F12", KEY_F12},
        {"Space", KEY_SPACE},
        {"Escape", KEY_ESCAPE},
        {"Enter", KEY_ENTER},
        {"ArrowUp", KEY_UP},
        {"ArrowLeft", KEY_LEFT},
        {"ShiftLeft", KEY_LEFT_SHIFT},
        {"ShiftRight", KEY_RIGHT_SHIFT},
        {"ControlRight", KEY_RIGHT_CONTROL},
        {"Quote", KEY_APOSTROPHE},
        // Not keys of the game, or not names at all.
        {"F13", KEY_NULL},
        {"F0", KEY_NULL},
        {"F1x", KEY_NULL},
        {"Keya", KEY_NULL},
        {"KeyAB", KEY_NULL},
        {"Digit", KEY_NULL},
        {"", KEY_NULL},
        {"Unidentified", KEY_NULL},
        {nullptr, KEY_NULL},
    };
    for (const Row &row : rows)
        EXPECT_EQ(engine::key_from_dom_code(row.code), row.key) << (row.code ? row.code : "(null)");
}

TEST(WebInput, StandardPadReadsAsAnSdlController) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Row {
        const char *name;
        engine::StandardPad raw;
        int down;  // the one button expected down, or -1
        float axes[6];
    };
    auto pad = [](int pressed, double value, int axis_count, double x, double y) {
        engine::StandardPad p;
        p.button_count = engine::standard_pad_buttons;
        if (pressed >= 0) {
            p.pressed[pressed] = true;
            p.value[pressed] = value;
        }
        p.axis_count = axis_count;
        p.axes[0] = x;
        p.axes[1] = y;
        return p;
    };
    engine::StandardPad short_pad = pad(9, 1.0, 4, 0.0, 0.0);
    short_pad.button_count = 4;  // START lies beyond what it reports
    const Row rows[] = {
        {"at rest", pad(-1, 0.0, 4, 0.0, 0.0), -1, {0, 0, 0, 0, -1, -1}},
        {"A is the bottom face button", pad(0, 1.0, 4, 0.0, 0.0), GAMEPAD_BUTTON_RIGHT_FACE_DOWN, {0, 0, 0, 0, -1, -1}},
        {"B", pad(1, 1.0, 4, 0.0, 0.0), GAMEPAD_BUTTON_RIGHT_FACE_RIGHT, {0, 0, 0, 0, -1, -1}},
        {"START", pad(9, 1.0, 4, 0.0, 0.0), GAMEPAD_BUTTON_MIDDLE_RIGHT, {0, 0, 0, 0, -1, -1}},
        {"d-pad left", pad(14, 1.0, 4, 0.0, 0.0), GAMEPAD_BUTTON_LEFT_FACE_LEFT, {0, 0, 0, 0, -1, -1}},
        {"guide", pad(16, 1.0, 4, 0.0, 0.0), GAMEPAD_BUTTON_MIDDLE, {0, 0, 0, 0, -1, -1}},
        {"stick inside the dead zone", pad(-1, 0.0, 4, 0.05, -0.09), -1, {0, 0, 0, 0, -1, -1}},
        {"stick pushed", pad(-1, 0.0, 4, 0.5, -1.0), -1, {0.5f, -1, 0, 0, -1, -1}},
        {"stick out of range or junk", pad(-1, 0.0, 4, 3.0, nan), -1, {1, 0, 0, 0, -1, -1}},
        {"no axes reported", pad(-1, 0.0, 0, 0.7, 0.7), -1, {0, 0, 0, 0, -1, -1}},
        {"left trigger half-way", pad(6, 0.4, 4, 0.0, 0.0), -1, {0, 0, 0, 0, -0.2f, -1}},
        {"right trigger past half", pad(7, 0.8, 4, 0.0, 0.0), GAMEPAD_BUTTON_RIGHT_TRIGGER_2, {0, 0, 0, 0, -1, 0.6f}},
        {"digital trigger", pad(6, 0.0, 4, 0.0, 0.0), GAMEPAD_BUTTON_LEFT_TRIGGER_2, {0, 0, 0, 0, -1, -1}},
        {"button beyond the pad's count", short_pad, -1, {0, 0, 0, 0, -1, -1}},
    };
    for (const Row &row : rows) {
        engine::GamepadState state;
        state.buttons[GAMEPAD_BUTTON_RIGHT_FACE_UP] = true;  // last frame's, to be cleared
        engine::read_standard_pad(row.raw, state);
        for (int b = 0; b < 32; b++) EXPECT_EQ(state.buttons[b], b == row.down) << row.name << ", button " << b;
        for (int a = 0; a < 6; a++) EXPECT_NEAR(state.axes[a], row.axes[a], 1e-6) << row.name << ", axis " << a;
    }
}

TEST(WebInput, TheQueueMergesMovesAndNeverLosesARelease) {
    using engine::PageEvent;
    using engine::PageEventQueue;
    // What the game sees once every queued event is applied, in order, some of them by
    // earlier polls.
    struct Seen {
        bool keys[engine::max_keys] = {};
        bool left = false;
        float x = 0.0f;
    };
    auto apply = [](PageEventQueue &q, Seen &seen, int n) {
        for (int i = 0; i < n && i < q.count; i++) {
            const PageEvent &e = q.events[i];
            if (e.kind == PageEvent::key) seen.keys[e.code] = e.down;
            if (e.kind == PageEvent::mouse_button) seen.left = e.down;
            if (e.kind != PageEvent::key && e.kind != PageEvent::text) seen.x = e.x;
        }
        engine::drop_page_events(q, n);
    };
    auto key = [](int k, bool down) { return PageEvent{PageEvent::key, down, false, k, 0.0f, 0.0f}; };
    auto move = [](float x) { return PageEvent{PageEvent::mouse_move, false, false, 0, x, 0.0f}; };
    auto left = [](bool down) {
        return PageEvent{PageEvent::mouse_button, down, false, MOUSE_BUTTON_LEFT, 7.0f, 0.0f};
    };
    auto text = [] { return PageEvent{PageEvent::text, true, false, 0x20ac, 0.0f, 0.0f}; };
    struct Row {
        const char *name;
        std::function<void(PageEventQueue &, Seen &)> events;
        float x;          // where the mouse ends
        int most_queued;  // at the end, before the last poll
    };
    const Row rows[] = {
        {"300 moves between a press and its release",
         [&](PageEventQueue &q, Seen &) {
             push_page_event(q, key(KEY_W, true));
             for (int i = 1; i <= 300; i++) push_page_event(q, move(static_cast<float>(i)));
             push_page_event(q, key(KEY_W, false));
         },
         300.0f, 3},
        {"a thousand taps and moves, then the held keys' releases",
         [&](PageEventQueue &q, Seen &) {
             push_page_event(q, key(KEY_W, true));
             push_page_event(q, left(true));
             for (int i = 0; i < 1000; i++) {
                 push_page_event(q, key(KEY_A, true));
                 push_page_event(q, text());
                 push_page_event(q, move(1.0f));
                 push_page_event(q, key(KEY_A, false));
             }
             push_page_event(q, key(KEY_W, false));
             push_page_event(q, left(false));
         },
         7.0f, PageEventQueue::capacity},
        {"a hundred keys held, a flood, a poll half-way, then every release",
         [&](PageEventQueue &q, Seen &seen) {
             for (int k = 1; k <= 100; k++) push_page_event(q, key(k, true));
             for (int i = 0; i < 400; i++) push_page_event(q, key(KEY_Z + 100, i % 2 == 0));
             apply(q, seen, q.count / 2);
             for (int i = 0; i < 400; i++) push_page_event(q, key(KEY_Z + 100, i % 2 == 0));
             for (int k = 1; k <= 100; k++) push_page_event(q, key(k, false));
         },
         0.0f, PageEventQueue::capacity},
        {"releases of what is not down are not queued",
         [&](PageEventQueue &q, Seen &) {
             push_page_event(q, key(KEY_A, false));
             push_page_event(q, left(false));
         },
         0.0f, 0},
        {"the page loses the focus, twice, with a key and a button held",
         [&](PageEventQueue &q, Seen &seen) {
             push_page_event(q, key(KEY_D, true));
             push_page_event(q, left(true));
             apply(q, seen, q.count);
             engine::release_page_input(q);
             engine::release_page_input(q);
         },
         7.0f, 2},
    };
    for (const Row &row : rows) {
        PageEventQueue q;
        Seen seen;
        row.events(q, seen);
        EXPECT_LE(q.count, row.most_queued) << row.name;
        apply(q, seen, q.count);
        EXPECT_EQ(q.count, 0) << row.name;
        EXPECT_EQ(q.others, 0) << row.name;
        for (int k = 0; k < engine::max_keys; k++) EXPECT_FALSE(seen.keys[k]) << row.name << ", key " << k << " stuck";
        EXPECT_FALSE(seen.left) << row.name;
        EXPECT_EQ(seen.x, row.x) << row.name;
    }
}

}  // namespace
