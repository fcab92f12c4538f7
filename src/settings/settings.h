// The player's preferences and their file, settings.cfg, in the working directory.
// Seven "key=value" lines ended by CR LF (an eighth, online_server, when one is set),
// keys in the order of the fields below.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/result.h"

struct Settings {
    std::int32_t screen_width = 1280;
    std::int32_t screen_height = 720;
    bool fullscreen = false;
    bool vsync = true;
    bool enable_music = true;
    bool enable_sound_effects = true;
    double game_speed = 1.0;
    // The meeting server for online play, "host" or "host:port"; empty for none (the
    // line is then left out of the file).
    char online_server[64] = "";
};

// The one instance. Valid (the defaults) before the file is read, because the window
// is created from it first.
extern Settings settings;

inline constexpr const char *settings_file_name = "settings.cfg";
// Longest line the reader accepts, not counting its LF.
inline constexpr std::size_t max_settings_line = 1023;
// Largest file the reader accepts. A real one is 130 bytes; anything near this is not
// a settings file, and reading stops here whatever the file claims.
inline constexpr std::size_t max_settings_file = 64 * 1024;
// Window sides the file may ask for, in pixels.
inline constexpr std::int32_t max_screen_side = 16384;
// A file that fails to load is renamed to this (its name plus the suffix) before the
// first save replaces it, so the player's edits are never lost.
inline constexpr const char *bad_settings_suffix = ".bad";

// Reads settings.cfg from the working directory (in the page, from /save, the folder
// the browser keeps). Does not touch the global. Only a regular file of at most
// max_settings_file bytes is read; a FIFO, device or directory is refused at once. A
// file that exists but fails to load is remembered, and the next save keeps that entry
// aside as settings.cfg.bad: a directory as it is, a link as the link (its target is
// never written through).
Result<Settings> load_settings();
// Writes the global to settings.cfg through a freshly created temporary file that is
// synced and renamed over it, so a failed save leaves the previous file as it was.
// A symlinked settings.cfg whose target loaded gets its target replaced; the old file's
// permission bits are kept, and a file the player made read-only is left alone
// (access_denied). A directory that load did not refuse is never replaced.
Result<Ok> save_settings();

// The same with an explicit path, for tests and tools.
Result<Settings> load_settings_from(const char *path);
Result<Ok> save_settings_to(const char *path, const Settings &s);

// Pure parts of the format. parse_settings takes a whole file's bytes; when `why` is
// given, a failure also names the offending key or line there. Besides the syntax, a
// window side outside 1..max_screen_side and a game speed below zero or not finite
// are refused: the game cannot run with them. So is text without a single key line of
// the seven, and bytes no text file holds (NUL and the other control bytes but tab,
// CR and LF): those are other files wearing the name.
Result<Settings> parse_settings(std::string_view text, std::string *why = nullptr);
std::string format_settings(const Settings &s);

Result<std::int32_t> parse_settings_int(std::string_view value);
bool parse_settings_bool(std::string_view value);
Result<double> parse_settings_float(std::string_view value);
// Shortest round-trip scientific form: 1e0, 5e-1, 1.25e1, -2e0.
std::string format_settings_float(double value);
// A finite value in printf's "%.*e" form with the fewest digits that read back as it:
// the text std::to_chars(scientific) gives, for the browser build's C++ library,
// which has no floating-point to_chars.
std::string shortest_scientific_printf(double value);

// save_settings as a parameterless action for menu controls; a failure is already
// logged by save_settings and the game goes on with the settings in memory.
void save_settings_action();
