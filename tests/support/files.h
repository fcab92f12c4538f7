// Whole files as byte strings, for tests that write inputs and compare outputs exactly.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

namespace test_support {

// The file's bytes; empty if it cannot be read.
inline std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Replaces the file with exactly these bytes.
inline void write_file(const std::string &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// The settings.cfg the game writes for the default settings, byte for byte.
inline const std::string default_settings_file = "screen_width=1280\r\n"
                                                 "screen_height=720\r\n"
                                                 "fullscreen=false\r\n"
                                                 "vsync=true\r\n"
                                                 "enable_music=true\r\n"
                                                 "enable_sound_effects=true\r\n"
                                                 "game_speed=1e0\r\n";

}  // namespace test_support
