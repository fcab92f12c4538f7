// Start-up and shutdown in their fixed order.
#pragma once

// Opens the window and audio device and loads everything. Returns false when start-up
// cannot go on (out of memory); an ERROR line has then been logged and the window and
// audio device are closed again.
bool init_app();
// Has the start-up's files read and decoded on worker threads; init_app's loads take
// them. Called first by init_app.
void prefetch_assets();
// Returns false on running out of memory.
bool load_resources();
void deinit_app();
void unload_resources();
