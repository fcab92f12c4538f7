// Throws arbitrary bytes at the settings reader and writer: every input either loads
// or is refused with an error value, the in-memory parser and the file reader agree,
// and whatever loads is saved and read back to the very same record.
#include <unistd.h>

#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "raylib.h"
#include "settings/settings.h"

// The reader logs a WARNING for every refused file; thousands of them a second would
// only slow the run down. Formatting them still checks the arguments against the
// format under the sanitizers.
void TraceLog(int, const char *text, ...) {
    char line[2048];
    va_list args;
    va_start(args, text);
    std::vsnprintf(line, sizeof line, text, args);
    va_end(args);
}

namespace {

[[noreturn]] void fail(const char *what, std::string_view input) {
    std::fprintf(stderr, "settings fuzz: %s\ninput (%zu bytes): ", what, input.size());
    for (unsigned char c : input) {
        if (c >= 32 && c < 127 && c != '\\')
            std::fputc(c, stderr);
        else
            std::fprintf(stderr, "\\x%02x", c);
    }
    std::fputc('\n', stderr);
    std::abort();
}

// Bit-for-bit equality, except that any two NaNs of the same sign are the same value:
// the file spells a NaN without its payload.
bool same_speed(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool same(const Settings &a, const Settings &b) {
    return a.screen_width == b.screen_width && a.screen_height == b.screen_height && a.fullscreen == b.fullscreen &&
           a.vsync == b.vsync && a.enable_music == b.enable_music && a.enable_sound_effects == b.enable_sound_effects &&
           same_speed(a.game_speed, b.game_speed) && std::strcmp(a.online_server, b.online_server) == 0;
}

bool write_bytes(const char *path, std::string_view bytes) {
    std::FILE *f = std::fopen(path, "wb");
    if (f == nullptr) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::string read_bytes(const char *path) {
    std::string out;
    std::FILE *f = std::fopen(path, "rb");
    if (f == nullptr) return out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
    return out;
}

// Seven CR LF lines, each "<field>=<value>", in the fields' order, and the meeting
// server's line last when one is set.
bool well_formed(std::string_view text, bool with_server) {
    static const char *const keys[] = {"screen_width=", "screen_height=",        "fullscreen=", "vsync=",
                                       "enable_music=", "enable_sound_effects=", "game_speed=", "online_server="};
    for (const char *key : keys) {
        if (!with_server && std::strcmp(key, "online_server=") == 0) break;
        std::size_t n = std::strlen(key);
        if (text.substr(0, n) != key) return false;
        std::size_t end = text.find("\r\n");
        if (end == std::string_view::npos || end < n) return false;
        std::string_view value = text.substr(n, end - n);
        if (value.empty() || value.find_first_of("\r\n=") != std::string_view::npos) return false;
        text.remove_prefix(end + 2);
    }
    return text.empty();
}

char scratch_dir[64];

void remove_scratch_dir() {
    std::remove(settings_file_name);
    std::remove((std::string(settings_file_name) + bad_settings_suffix).c_str());
    std::remove(scratch_dir);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // Work in a directory of our own: the game's reader and writer use settings.cfg in
    // the working directory. Memory-backed when possible, since every input is written
    // and renamed a few times.
    const char *base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::snprintf(scratch_dir, sizeof scratch_dir, "%s/vorbel-fuzz-XXXXXX", base);
    if (mkdtemp(scratch_dir) == nullptr || chdir(scratch_dir) != 0) {
        std::perror("settings fuzz: scratch directory");
        std::abort();
    }
    std::atexit(remove_scratch_dir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char *>(data), size);

    std::string why;
    const Result<Settings> parsed = parse_settings(input, &why);
    if (!parsed && why.empty()) fail("a refused input names no reason", input);

    // The same bytes as settings.cfg, through the game's own reader.
    if (!write_bytes(settings_file_name, input)) fail("cannot write the scratch settings.cfg", input);
    const Result<Settings> loaded = load_settings();
    if (parsed.ok() != loaded.ok()) fail("the file reader and the parser disagree on success", input);
    if (!loaded) {
        if (loaded.error() != parsed.error()) fail("the file reader and the parser give different errors", input);
        return 0;
    }
    // What loads is something the game can run with.
    const Settings &l = loaded.value();
    if (l.screen_width < 1 || l.screen_width > max_screen_side || l.screen_height < 1 ||
        l.screen_height > max_screen_side || !std::isfinite(l.game_speed) || l.game_speed < 0.0)
        fail("a value the game cannot use loaded", input);
    if (!same(parsed.value(), loaded.value())) fail("the file reader and the parser read different records", input);

    // Save what loaded through the game's writer and read it back.
    settings = loaded.value();
    if (!save_settings()) fail("saving a loaded record failed", input);
    const std::string saved = read_bytes(settings_file_name);
    if (saved != format_settings(settings)) fail("the saved file differs from the formatted record", input);
    if (!well_formed(saved, settings.online_server[0] != '\0'))
        fail("the saved file is not the key=value lines in order", input);
    const Result<Settings> reloaded = load_settings();
    if (!reloaded) fail("a saved record does not load again", input);
    if (!same(reloaded.value(), settings)) fail("a saved record reloads as a different record", input);
    // A second save is byte-identical: the format has a fixed point after one round.
    if (format_settings(reloaded.value()) != saved) fail("saving the reloaded record changes the file", input);
    return 0;
}
