// The game's global records put back as a fresh process has them, so every fixture
// starts from the same place whatever ran before it in the process.
#pragma once

// Only while the game is not started (before init_app, after deinit_app): a started
// game's records hold loaded models, shaders and sounds. Handles are forgotten, not
// freed. The settings record goes back to its defaults too; a fixture that opens the
// window with other values sets them after this.
void reset_game_globals();
