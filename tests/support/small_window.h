// Settings for whole-game tests: a small window keeps the software renderer quick.
#pragma once

#include "settings/settings.h"

namespace test_support {

// The default settings with a 320 x 180 window and no vsync.
inline Settings small_window_settings() {
    Settings s;
    s.screen_width = 320;
    s.screen_height = 180;
    s.vsync = false;
    return s;
}

// Writes `s` to settings.cfg and makes it the live record as well, since the window
// opens with the record's values before settings.cfg is read. False if the save failed.
inline bool use_settings(const Settings &s) {
    if (!save_settings_to(settings_file_name, s).ok()) return false;
    settings = s;
    return true;
}

}  // namespace test_support
