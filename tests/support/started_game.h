// The whole game started in a scratch working directory that sees the checkout's
// assets, so a developer's settings.cfg is never read or written, on a fixed frame
// time. The window and the audio device open once per process, so a fixture starts
// the game at most once.
#pragma once

#include "settings/settings.h"
#include "support/scratch_dir.h"

namespace test_support {

struct StartedGame {
    ScratchCwd scratch;
    bool started = false;
};

// Resets the game's globals, enters /tmp/<prefix>XXXXXX, writes `s` to settings.cfg
// when given (the window opens with it), and starts the game. False on failure;
// stop_game undoes what was done.
bool start_game(StartedGame &game, const char *prefix, const Settings *s, double frame_time);
// Shuts the game down, gives the frame time back to the clock and removes the
// scratch directory; the globals are reset for whatever runs next.
void stop_game(StartedGame &game);

}  // namespace test_support
