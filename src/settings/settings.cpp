#include "settings/settings.h"

#if defined(__EMSCRIPTEN__)
#include <emscripten.h>
#endif
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <system_error>

#include "raylib.h"

Settings settings;

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

Error errno_to_error(int e) {
    switch (e) {
    case ENOENT:
        return Error::file_not_found;
    case EACCES:
    case EPERM:
    case EROFS:
        return Error::access_denied;
    case ENOMEM:
        return Error::out_of_memory;
    case ENXIO:  // a socket
        return Error::not_a_file;
    default:
        return Error::read_failed;
    }
}

void set_why(std::string *why, std::string_view text) {
    if (why != nullptr) why->assign(text);
}

Error write_error(int e) {
    Error r = errno_to_error(e);
    return r == Error::read_failed ? Error::write_failed : r;
}

// The fields in their declared order, and their keys.
namespace field {
enum : std::size_t {
    screen_width,
    screen_height,
    fullscreen,
    vsync,
    enable_music,
    enable_sound_effects,
    game_speed,
    online_server
};
}
constexpr std::size_t field_count = 8;
constexpr std::string_view field_keys[field_count] = {"screen_width", "screen_height", "fullscreen",
                                                      "vsync",        "enable_music",  "enable_sound_effects",
                                                      "game_speed",   "online_server"};

}  // namespace

Result<std::int32_t> parse_settings_int(std::string_view v) {
    std::size_t i = 0;
    bool negative = false;
    if (i < v.size() && (v[i] == '+' || v[i] == '-')) {
        negative = v[i] == '-';
        ++i;
    }
    if (i == v.size()) return Error::invalid_value;
    // Accumulate the magnitude as a negative number so that INT32_MIN fits.
    std::int64_t acc = 0;
    bool last_was_digit = false;
    for (; i < v.size(); ++i) {
        char c = v[i];
        if (c == '_') {
            // Only between two digits.
            if (!last_was_digit || i + 1 >= v.size() || !is_digit(v[i + 1])) return Error::invalid_value;
            last_was_digit = false;
            continue;
        }
        if (!is_digit(c)) return Error::invalid_value;
        acc = acc * 10 - (c - '0');
        if (acc < -2147483648LL) return Error::invalid_value;
        last_was_digit = true;
    }
    if (!negative) {
        if (-acc > 2147483647LL) return Error::invalid_value;
        return static_cast<std::int32_t>(-acc);
    }
    return static_cast<std::int32_t>(acc);
}

bool parse_settings_bool(std::string_view v) { return v == "true"; }

Result<double> parse_settings_float(std::string_view v) {
    // The writer's non-finite forms read back as themselves.
    if (v == "inf" || v == "+inf") return HUGE_VAL;
    if (v == "-inf") return -HUGE_VAL;
    if (v == "nan") return std::nan("");
    if (v == "-nan") return -std::nan("");

    // Decimal syntax only: [sign] digits [. digits] [e [sign] digits], with at least
    // one digit in the mantissa and in the exponent. (strtod would also take hex,
    // "infinity" and leading spaces, which the file format does not allow.)
    std::size_t i = 0;
    if (i < v.size() && (v[i] == '+' || v[i] == '-')) ++i;
    std::size_t mantissa_digits = 0;
    while (i < v.size() && is_digit(v[i])) ++i, ++mantissa_digits;
    if (i < v.size() && v[i] == '.') {
        ++i;
        while (i < v.size() && is_digit(v[i])) ++i, ++mantissa_digits;
    }
    if (mantissa_digits == 0) return Error::invalid_value;
    if (i < v.size() && (v[i] == 'e' || v[i] == 'E')) {
        ++i;
        if (i < v.size() && (v[i] == '+' || v[i] == '-')) ++i;
        std::size_t exponent_digits = 0;
        while (i < v.size() && is_digit(v[i])) ++i, ++exponent_digits;
        if (exponent_digits == 0) return Error::invalid_value;
    }
    if (i != v.size()) return Error::invalid_value;

    std::string_view body = v;
    if (!body.empty() && body.front() == '+') body.remove_prefix(1);  // from_chars takes no '+'
#if defined(__EMSCRIPTEN__)
    // The browser build's C++ library has no floating-point from_chars. The text is
    // already known to be a plain decimal number, which strtod reads the same way,
    // overflow and underflow included.
    std::string text(body);
    return std::strtod(text.c_str(), nullptr);
#else
    double out = 0.0;
    auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), out, std::chars_format::general);
    if (ec == std::errc() && end == body.data() + body.size()) return out;
    if (ec == std::errc::result_out_of_range) {
        // Overflow and underflow still have a correctly rounded value (inf, 0 or a
        // subnormal); strtod gives it. The program never changes the C locale, so
        // "." is the decimal point here.
        std::string copy(body);
        return std::strtod(copy.c_str(), nullptr);
    }
    return Error::invalid_value;
#endif
}

std::string shortest_scientific_printf(double value) {
    char buf[64];
    int written = 0;
    for (int digits = 0; digits <= 17; ++digits) {
        written = std::snprintf(buf, sizeof buf, "%.*e", digits, value);
        if (std::strtod(buf, nullptr) == value) break;
    }
    return std::string(buf, static_cast<std::size_t>(written));
}

std::string format_settings_float(double value) {
    if (std::isnan(value)) return std::signbit(value) ? "-nan" : "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    char buf[64];
#if defined(__EMSCRIPTEN__)
    // No floating-point to_chars there either.
    const std::string printed = shortest_scientific_printf(value);
    std::string_view s(printed);
    (void)buf;
#else
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    if (ec != std::errc()) return "0e0";  // cannot happen with 64 bytes
    std::string_view s(buf, static_cast<std::size_t>(end - buf));
#endif
    // to_chars writes e.g. "1.25e+01" or "5e-01": keep the mantissa, then rewrite the
    // exponent without "+" and without leading zeros.
    std::size_t e = s.find('e');
    std::string out(s.substr(0, e));
    std::string_view exp = s.substr(e + 1);
    bool negative = false;
    if (!exp.empty() && (exp.front() == '+' || exp.front() == '-')) {
        negative = exp.front() == '-';
        exp.remove_prefix(1);
    }
    while (exp.size() > 1 && exp.front() == '0') exp.remove_prefix(1);
    out += 'e';
    if (negative && exp != "0") out += '-';
    out += exp;
    return out;
}

std::string format_settings(const Settings &s) {
    std::string out;
    auto line = [&out](const char *key, const std::string &value) {
        out += key;
        out += '=';
        out += value;
        out += "\r\n";
    };
    auto boolean = [](bool b) { return std::string(b ? "true" : "false"); };
    line("screen_width", std::to_string(s.screen_width));
    line("screen_height", std::to_string(s.screen_height));
    line("fullscreen", boolean(s.fullscreen));
    line("vsync", boolean(s.vsync));
    line("enable_music", boolean(s.enable_music));
    line("enable_sound_effects", boolean(s.enable_sound_effects));
    line("game_speed", format_settings_float(s.game_speed));
    if (s.online_server[0] != '\0') line("online_server", s.online_server);
    return out;
}

Result<Settings> parse_settings(std::string_view text, std::string *why) {
    // Only the fields' values are kept (views into `text`); any other key is read
    // and dropped, so memory does not grow with the file.
    std::optional<std::string_view> values[field_count];
    // A text editor never writes control bytes other than tab, CR and LF; a file that
    // holds them (a NUL above all) is something else wearing the name.
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7f) {
            set_why(why, "byte " + std::to_string(i + 1) + " is binary, not text");
            return Error::invalid_value;
        }
    }
    bool any_key = false;
    std::size_t pos = 0;
    std::size_t line_number = 0;
    while (pos < text.size()) {
        std::size_t lf = text.find('\n', pos);
        std::size_t stop = lf == std::string_view::npos ? text.size() : lf;
        std::string_view line = text.substr(pos, stop - pos);
        pos = lf == std::string_view::npos ? text.size() : lf + 1;
        ++line_number;
        if (line.size() > max_settings_line) {
            set_why(why, "line " + std::to_string(line_number) + " is longer than 1023 bytes");
            return Error::line_too_long;
        }
        // Only a CR is a line end's leftover; a bare-LF line keeps its last byte.
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;  // blank or stray line
        const std::string_view key = line.substr(0, eq);
        for (std::size_t i = 0; i < field_count; ++i) {
            if (key == field_keys[i]) {
                values[i] = line.substr(eq + 1);
                any_key = true;
            }
        }
    }
    // Text without a single setting is some other file: taking it for the defaults
    // would let the first save replace it.
    if (!any_key) {
        set_why(why, "no line holds a setting");
        return Error::invalid_value;
    }

    Settings out;
    // A missing key keeps the default already in the record.
    auto integer = [&](std::size_t f, std::int32_t &out_value) {
        if (!values[f]) return true;
        const std::string_view key = field_keys[f];
        Result<std::int32_t> r = parse_settings_int(*values[f]);
        if (!r) {
            set_why(why, std::string(key) + " is not a 32-bit integer");
            return false;
        }
        // The window is made, and left fullscreen into, with these sides.
        if (r.value() < 1 || r.value() > max_screen_side) {
            set_why(why, std::string(key) + " is outside 1.." + std::to_string(max_screen_side));
            return false;
        }
        out_value = r.value();
        return true;
    };
    auto boolean = [&](std::size_t f, bool &out_value) {
        if (values[f]) out_value = parse_settings_bool(*values[f]);
    };
    if (!integer(field::screen_width, out.screen_width)) return Error::invalid_value;
    if (!integer(field::screen_height, out.screen_height)) return Error::invalid_value;
    boolean(field::fullscreen, out.fullscreen);
    boolean(field::vsync, out.vsync);
    boolean(field::enable_music, out.enable_music);
    boolean(field::enable_sound_effects, out.enable_sound_effects);
    if (const auto &v = values[field::game_speed]) {
        Result<double> r = parse_settings_float(*v);
        if (!r) {
            set_why(why, "game_speed is not a number");
            return Error::invalid_value;
        }
        // Zero stops game time and is fine; a negative or endless step is not.
        if (!std::isfinite(r.value()) || r.value() < 0.0) {
            set_why(why, "game_speed is not a finite number of 0 or more");
            return Error::invalid_value;
        }
        out.game_speed = r.value();
    }
    if (const auto &v = values[field::online_server]) {
        // A name or address and maybe ":port"; the game checks the rest when it is used.
        const bool fits = v->size() < sizeof out.online_server;
        const bool plain = std::all_of(v->begin(), v->end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_' || c == ':';
        });
        if (!fits || !plain) {
            set_why(why, "online_server is not a host name or address with an optional :port");
            return Error::invalid_value;
        }
        std::memcpy(out.online_server, v->data(), v->size());
        out.online_server[v->size()] = '\0';
    }
    return out;
}

namespace {

// What a save replaces. A symlinked settings.cfg (dotfile managers keep it that way)
// is followed to its last target when that is a regular file or does not exist yet,
// so the link keeps working. A link to anything else, a device or a FIFO, is never
// followed: the entry itself is what gets replaced.
struct SaveTarget {
    std::string path;
    bool exists = false;
    struct stat st {};  // lstat of `path` when it exists
};

std::string folder_of(const std::string &path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

Result<SaveTarget> find_save_target(const char *path) {
    SaveTarget t;
    t.path = path;
    for (int hops = 0; hops < 40; ++hops) {
        if (lstat(t.path.c_str(), &t.st) != 0) {
            if (errno != ENOENT) return errno_to_error(errno);
            t.exists = false;  // a new file, or a link whose target is made now
            return t;
        }
        t.exists = true;
        if (S_ISREG(t.st.st_mode)) return t;
        if (!S_ISLNK(t.st.st_mode)) break;
        char link[4096];
        const ssize_t n = readlink(t.path.c_str(), link, sizeof link);
        if (n <= 0 || static_cast<std::size_t>(n) == sizeof link) break;
        const std::string next(link, static_cast<std::size_t>(n));
        t.path = next.front() == '/' ? next : folder_of(t.path) + next;
    }
    t.path = path;
    if (lstat(path, &t.st) != 0) return errno_to_error(errno);
    t.exists = true;
    return t;
}

// The entry the last load refused, by identity, until a save has kept it aside. The
// identity, not the name: a file the player has since replaced is theirs to keep. It is
// the entry at settings.cfg itself, never what a link there points to: a link whose
// target did not load is moved aside whole and the target is not touched, since it may
// be any file of the player's (or the system's) that merely wears the name.
struct RefusedFile {
    bool pending = false;
    bool is_link = false;
    dev_t dev = 0;
    ino_t ino = 0;
};
RefusedFile refused_file;

// Remembers the entry at `path` for keeping aside; returns the name it will get, or an
// empty string when there is nothing to keep.
std::string remember_refused_file(const char *path) {
    struct stat st {};
    if (lstat(path, &st) != 0) return {};
    refused_file = RefusedFile{true, S_ISLNK(st.st_mode), st.st_dev, st.st_ino};
    return std::string(path) + bad_settings_suffix;
}

bool is_refused(const struct stat &st) {
    return refused_file.pending && st.st_dev == refused_file.dev && st.st_ino == refused_file.ino;
}

// The file's bytes, read only from a regular file and never more than the limit.
Result<std::string> read_settings_file(const char *path) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer. Regular files, the only
    // ones read, ignore it.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return errno_to_error(errno);
    auto fail = [fd](Error e) {
        close(fd);
        return e;
    };
    struct stat st {};
    if (fstat(fd, &st) != 0) return fail(Error::read_failed);
    if (!S_ISREG(st.st_mode)) return fail(Error::not_a_file);
    if (st.st_size > static_cast<off_t>(max_settings_file)) return fail(Error::file_too_large);
    // One byte over the limit tells a file that grew, or lied about its size (as
    // /proc files do), from one that fits.
    std::string text;
    try {
        text.resize(max_settings_file + 1);
    } catch (const std::bad_alloc &) {
        return fail(Error::out_of_memory);
    }
    std::size_t have = 0;
    while (have < text.size()) {
        const ssize_t n = read(fd, text.data() + have, text.size() - have);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail(Error::read_failed);
        if (n == 0) break;
        have += static_cast<std::size_t>(n);
    }
    close(fd);
    if (have > max_settings_file) return Error::file_too_large;
    text.resize(have);
    return text;
}

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Makes a rename in the folder durable. Some file systems cannot sync a folder; the
// file is in place either way, so a failure here is not a failed save.
void sync_folder(const std::string &folder) {
#if defined(__EMSCRIPTEN__)
    // In a page the folder is the browser's IndexedDB, written back from memory here;
    // the write finishes after this frame, well before a player could reload.
    (void)folder;
    // clang-format off
    EM_ASM({
        if (typeof FS != 'undefined') FS.syncfs(false, function(err) {
            if (err) console.warn('SETTINGS: the browser did not store settings.cfg: ' + err);
        });
    });
    // clang-format on
    return;
#endif
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)fsync(fd);
    close(fd);
}

bool is_read_only(const SaveTarget &t) {
    if (!t.exists || !S_ISREG(t.st.st_mode)) return false;
    // No write bit at all: the player's own "do not touch", which even root honours.
    if ((t.st.st_mode & 0222) == 0) return true;
    return faccessat(AT_FDCWD, t.path.c_str(), W_OK, AT_EACCESS) != 0;
}

Result<Ok> save_settings_file(const char *path, const Settings &s) {
    const std::string text = format_settings(s);
    const Result<SaveTarget> found = find_save_target(path);
    if (!found) {
        TraceLog(LOG_WARNING, "SETTINGS: %s was not saved: cannot look at it (%s)", path, error_name(found.error()));
        return found.error() == Error::read_failed ? Error::write_failed : found.error();
    }
    SaveTarget t = found.value();
    // The refused entry itself is what the save replaces, whatever it is or points to.
    if (struct stat own{}; refused_file.pending && lstat(path, &own) == 0 && is_refused(own)) {
        t.path = path;
        t.exists = true;
        t.st = own;
    }
    const bool replaces_refused = t.exists && is_refused(t.st);
    if (t.exists && S_ISDIR(t.st.st_mode) && !replaces_refused) {
        TraceLog(LOG_WARNING, "SETTINGS: %s was not saved: it is a directory", t.path.c_str());
        return Error::not_a_file;
    }
    if (is_read_only(t)) {
        TraceLog(LOG_WARNING, "SETTINGS: %s was not saved: the file is read-only, so it is left as it is",
                 t.path.c_str());
        return Error::access_denied;
    }

    // A fresh name beside the target (a rename cannot cross file systems), created
    // exclusively and never through a link: a name planted in advance, or left by an
    // earlier run, only makes the save pick the next one.
    static unsigned serial = 0;
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tmp = t.path + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(serial++);
        fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        const Error e = write_error(errno);
        TraceLog(LOG_WARNING, "SETTINGS: %s was not saved: cannot create a temporary file beside it (%s)",
                 t.path.c_str(), error_name(e));
        return e;
    }
    // The new file takes the old one's permission bits; a new file gets the umask's.
    bool ok = !t.exists || !S_ISREG(t.st.st_mode) || fchmod(fd, t.st.st_mode & 07777) == 0;
    ok = ok && write_all(fd, text);
    // On disk before the rename, so a crash leaves the old file or the whole new one.
    ok = ok && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok) {
        unlink(tmp.c_str());
        TraceLog(LOG_WARNING, "SETTINGS: %s was not saved (WriteFailed)", t.path.c_str());
        return Error::write_failed;
    }

    if (replaces_refused) {
        const std::string bad = t.path + bad_settings_suffix;
        if (std::rename(t.path.c_str(), bad.c_str()) != 0) {
            const Error e = write_error(errno);
            unlink(tmp.c_str());
            TraceLog(LOG_WARNING, "SETTINGS: %s was not saved: the file that did not load cannot be kept as %s (%s)",
                     t.path.c_str(), bad.c_str(), error_name(e));
            return e;
        }
        refused_file.pending = false;
        if (S_ISLNK(t.st.st_mode)) {
            TraceLog(LOG_WARNING,
                     "SETTINGS: the link %s, whose target did not load, is kept as %s; its target is left as it is, "
                     "and %s is now a file of its own",
                     t.path.c_str(), bad.c_str(), t.path.c_str());
        } else {
            TraceLog(LOG_WARNING, "SETTINGS: the %s that did not load is kept as %s", t.path.c_str(), bad.c_str());
        }
    }

    if (std::rename(tmp.c_str(), t.path.c_str()) != 0) {
        const Error e = write_error(errno);
        unlink(tmp.c_str());
        TraceLog(LOG_WARNING, "SETTINGS: %s was not saved: cannot replace it (%s)", t.path.c_str(), error_name(e));
        return e;
    }
    sync_folder(folder_of(t.path));
    return Ok{};
}

}  // namespace

Result<Settings> load_settings_from(const char *path) {
    // A new load decides afresh what the next save keeps aside.
    refused_file.pending = false;
    std::string why;
    Result<Settings> r = [&]() -> Result<Settings> {
        try {
            Result<std::string> text = read_settings_file(path);
            if (!text) return text.error();
            return parse_settings(text.value(), &why);
        } catch (const std::bad_alloc &) {
            return Error::out_of_memory;
        }
    }();
    if (r || r.error() == Error::out_of_memory) {
        if (!r) TraceLog(LOG_WARNING, "SETTINGS: %s could not be read (OutOfMemory), using the defaults", path);
        return r;
    }

    std::string problem;
    switch (r.error()) {
    case Error::file_not_found:
    case Error::access_denied:
        problem = std::string("could not be opened (") + error_name(r.error()) + ")";
        break;
    case Error::not_a_file:
        problem = "is not a regular file (NotAFile)";
        break;
    case Error::file_too_large:
        problem = "is malformed (FileTooLarge: over " + std::to_string(max_settings_file) + " bytes)";
        break;
    case Error::read_failed:
        problem = "could not be read (ReadFailed)";
        break;
    default:
        problem = std::string("is malformed (") + error_name(r.error()) + ": " + why + ")";
        break;
    }
    const std::string bad = r.error() == Error::file_not_found ? std::string() : remember_refused_file(path);
    if (bad.empty()) {
        TraceLog(LOG_WARNING, "SETTINGS: %s %s, using the defaults", path, problem.c_str());
    } else if (refused_file.is_link) {
        TraceLog(LOG_WARNING,
                 "SETTINGS: %s %s, using the defaults; the next save keeps the link as %s and leaves its target alone",
                 path, problem.c_str(), bad.c_str());
    } else {
        TraceLog(LOG_WARNING, "SETTINGS: %s %s, using the defaults; the next save keeps it as %s", path,
                 problem.c_str(), bad.c_str());
    }
    return r;
}

namespace {
#if defined(__EMSCRIPTEN__)
// The page's file in the folder the browser keeps (web/pre.js mounts it), named
// directly: a link to it from the working directory would be the damaged entry a save
// moves aside, and the replacement would live in memory only.
constexpr const char *settings_path = "/save/settings.cfg";
#else
constexpr const char *settings_path = settings_file_name;
#endif
}  // namespace

Result<Settings> load_settings() { return load_settings_from(settings_path); }

Result<Ok> save_settings_to(const char *path, const Settings &s) {
    try {
        return save_settings_file(path, s);
    } catch (const std::bad_alloc &) {
        TraceLog(LOG_WARNING, "SETTINGS: %s was not saved (OutOfMemory)", path);
        return Error::out_of_memory;
    }
}

Result<Ok> save_settings() { return save_settings_to(settings_path, settings); }

void save_settings_action() { (void)save_settings(); }
