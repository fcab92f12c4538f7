#include "settings/settings.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
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
    default:
        return Error::read_failed;
    }
}

void set_why(std::string *why, std::string_view text) {
    if (why != nullptr) why->assign(text);
}

// Looks up one key; a missing key keeps the default already in the record.
const std::string *find_value(const std::map<std::string, std::string, std::less<>> &values, std::string_view key) {
    auto it = values.find(key);
    return it == values.end() ? nullptr : &it->second;
}

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
}

std::string format_settings_float(double value) {
    if (std::isnan(value)) return std::signbit(value) ? "-nan" : "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    if (ec != std::errc()) return "0e0";  // cannot happen with 64 bytes
    std::string_view s(buf, static_cast<std::size_t>(end - buf));
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
    return out;
}

Result<Settings> parse_settings(std::string_view text, std::string *why) {
    std::map<std::string, std::string, std::less<>> values;
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
        values.insert_or_assign(std::string(line.substr(0, eq)), std::string(line.substr(eq + 1)));
    }

    Settings out;
    auto integer = [&](std::string_view key, std::int32_t &field) {
        const std::string *v = find_value(values, key);
        if (v == nullptr) return true;
        Result<std::int32_t> r = parse_settings_int(*v);
        if (!r) {
            set_why(why, std::string(key) + " is not a 32-bit integer");
            return false;
        }
        field = r.value();
        return true;
    };
    auto boolean = [&](std::string_view key, bool &field) {
        if (const std::string *v = find_value(values, key)) field = parse_settings_bool(*v);
    };
    if (!integer("screen_width", out.screen_width)) return Error::invalid_value;
    if (!integer("screen_height", out.screen_height)) return Error::invalid_value;
    boolean("fullscreen", out.fullscreen);
    boolean("vsync", out.vsync);
    boolean("enable_music", out.enable_music);
    boolean("enable_sound_effects", out.enable_sound_effects);
    if (const std::string *v = find_value(values, "game_speed")) {
        Result<double> r = parse_settings_float(*v);
        if (!r) {
            set_why(why, "game_speed is not a number");
            return Error::invalid_value;
        }
        out.game_speed = r.value();
    }
    return out;
}

Result<Settings> load_settings_from(const char *path) {
    std::FILE *f = std::fopen(path, "rb");
    if (f == nullptr) {
        Error e = errno_to_error(errno);
        TraceLog(LOG_WARNING, "SETTINGS: %s could not be opened (%s), using the defaults", path, error_name(e));
        return e;
    }
    std::string text;
    char buf[4096];
    bool failed = false;
    try {
        for (;;) {
            std::size_t n = std::fread(buf, 1, sizeof buf, f);
            text.append(buf, n);
            if (n < sizeof buf) {
                failed = std::ferror(f) != 0;
                break;
            }
        }
    } catch (const std::bad_alloc &) {
        std::fclose(f);
        TraceLog(LOG_WARNING, "SETTINGS: %s could not be read (OutOfMemory), using the defaults", path);
        return Error::out_of_memory;
    }
    std::fclose(f);
    if (failed) {
        TraceLog(LOG_WARNING, "SETTINGS: %s could not be read (ReadFailed), using the defaults", path);
        return Error::read_failed;
    }
    std::string why;
    Result<Settings> r = [&]() -> Result<Settings> {
        try {
            return parse_settings(text, &why);
        } catch (const std::bad_alloc &) {
            why = "out of memory";
            return Error::out_of_memory;
        }
    }();
    if (!r) {
        TraceLog(LOG_WARNING, "SETTINGS: %s is malformed (%s: %s), using the defaults", path, error_name(r.error()),
                 why.c_str());
    }
    return r;
}

Result<Settings> load_settings() { return load_settings_from(settings_file_name); }

Result<Ok> save_settings_to(const char *path, const Settings &s) {
    std::string text;
    std::string tmp_path;
    try {
        text = format_settings(s);
        tmp_path = std::string(path) + ".tmp";
    } catch (const std::bad_alloc &) {
        TraceLog(LOG_WARNING, "SETTINGS: %s was not saved (OutOfMemory)", path);
        return Error::out_of_memory;
    }
    // Write a temporary file next to the real one and rename it over it: the rename is
    // atomic, so the old file stays whole if anything before it fails.
    std::FILE *f = std::fopen(tmp_path.c_str(), "wb");
    if (f == nullptr) {
        Error e = errno_to_error(errno);
        if (e == Error::read_failed) e = Error::write_failed;
        TraceLog(LOG_WARNING, "SETTINGS: %s was not saved: cannot create %s (%s)", path, tmp_path.c_str(),
                 error_name(e));
        return e;
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = std::fflush(f) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        std::remove(tmp_path.c_str());
        TraceLog(LOG_WARNING, "SETTINGS: %s was not saved (WriteFailed)", path);
        return Error::write_failed;
    }
    if (std::rename(tmp_path.c_str(), path) != 0) {
        Error e = errno_to_error(errno);
        if (e == Error::read_failed) e = Error::write_failed;
        std::remove(tmp_path.c_str());
        TraceLog(LOG_WARNING, "SETTINGS: %s was not saved: cannot replace it (%s)", path, error_name(e));
        return e;
    }
    return Ok{};
}

Result<Ok> save_settings() { return save_settings_to(settings_file_name, settings); }

void save_settings_action() { (void)save_settings(); }
