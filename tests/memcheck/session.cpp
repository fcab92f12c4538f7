// A short headless session for valgrind: the real start-up, the title screen, a BOT
// match started from the menus and played for a few seconds of game time, a pause,
// and the real shutdown. Exits 0 when the game ran as expected.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/frame_loop.h"
#include "app/game_state.h"
#include "settings/settings.h"
#include "settings/startup.h"
#include "support/scratch_dir.h"
#include "testing.h"

namespace {

constexpr double frame_time = 0.1;  // game seconds per frame: few frames, a real match

bool fail(const char *what) {
    std::fprintf(stderr, "memcheck session: %s\n", what);
    return false;
}

void frames(int n) {
    for (int i = 0; i < n; ++i) run_frame();
}

void click(float x, float y) {
    testing_mouse_move(x, y);
    testing_mouse_button_down(MOUSE_BUTTON_LEFT);
    run_frame();
    testing_mouse_button_up(MOUSE_BUTTON_LEFT);
    run_frame();
    run_frame();
}

void tap(int key) {
    testing_key_down(key);
    run_frame();
    testing_key_up(key);
    run_frame();
}

bool play() {
    frames(2);
    click(60.0f, 287.0f);  // PLAY
    click(60.0f, 487.0f);  // BOT
    if (game_state.screen_state != ScreenState::match || !game_state.bot_enabled) return fail("BOT did not start");
    testing_key_down(KEY_SPACE);  // player 1 joins and keeps jumping
    testing_key_down(KEY_D);
    frames(30);  // three seconds of play
    testing_release_all_input();
    run_frame();
    if (!game_state.joined[0]) return fail("player 1 did not join");
    tap(KEY_ESCAPE);
    if (game_state.screen_state != ScreenState::paused) return fail("Escape did not pause");
    frames(2);
    click(60.0f, 487.0f);  // MAIN MENU
    if (game_state.screen_state != ScreenState::menu) return fail("MAIN MENU did not return to the title");
    return true;
}

}  // namespace

int main() {
    const test_support::ScratchCwd scratch = test_support::enter_scratch_dir("vorbel-memcheck-", true);
    if (scratch.path.empty()) return 2;

    // A small window (the initial settings make it) keeps the software renderer quick.
    settings.screen_width = 256;
    settings.screen_height = 144;
    settings.vsync = false;
    if (!save_settings_to(settings_file_name, settings)) return 2;
    testing_set_fixed_frame_time(frame_time);

    if (!init_app()) return fail("start-up failed"), 1;
    const bool ok = play();
    deinit_app();

    if (!test_support::leave_scratch_dir(scratch)) return 2;
    return ok ? 0 : 1;
}
