// The game's global records put back as a fresh process has them, so every fixture
// starts from the same place whatever ran before it in the process; and the whole
// game started on them in a scratch working directory.
#pragma once

#include "settings/settings.h"
#include "support/scratch_dir.h"

// Only while the game is not started (before init_app, after deinit_app): a started
// game's records hold loaded models, shaders and sounds. Handles are forgotten, not
// freed. The settings record goes back to its defaults too; a fixture that opens the
// window with other values sets them after this.
void reset_game_globals();

namespace test_support {

// The game started in a scratch directory that sees the checkout's assets, so a
// developer's settings.cfg is never read or written. The window and the audio device
// open once per process, so a fixture starts the game at most once.
struct StartedGame {
    ScratchCwd scratch;
    bool started = false;
};

// Resets the game's globals, enters /tmp/<prefix>XXXXXX, writes `s` to settings.cfg
// when given (the window opens with it), fixes the frame time and starts the game.
// False on failure; stop_game undoes what was done.
bool start_game(StartedGame &game, const char *prefix, const Settings *s, double frame_time);
// Shuts the game down, gives the frame time back to the clock, removes the scratch
// directory and resets the globals for whatever runs next.
void stop_game(StartedGame &game);

// What the title screen's BOT entry does: the match screen, with the bot joined as
// player 2 and player 1 still to join.
void start_bot_match();

}  // namespace test_support
