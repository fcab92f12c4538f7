#include "support/started_game.h"

#include "settings/startup.h"
#include "support/game_globals.h"
#include "support/small_window.h"
#include "testing.h"

namespace test_support {

bool start_game(StartedGame &game, const char *prefix, const Settings *s, double frame_time) {
    reset_game_globals();
    game.scratch = enter_scratch_dir(prefix, true);
    if (game.scratch.path.empty()) return false;
    if (s != nullptr && !use_settings(*s)) return false;
    testing_set_fixed_frame_time(frame_time);
    game.started = init_app();
    return game.started;
}

void stop_game(StartedGame &game) {
    if (game.started) deinit_app();
    game.started = false;
    testing_set_fixed_frame_time(-1.0);
    if (leave_scratch_dir(game.scratch)) game.scratch = {};
    reset_game_globals();
}

}  // namespace test_support
