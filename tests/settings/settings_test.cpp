// The settings file: exact bytes of the writer, the reader's line and value rules,
// and saves that fail without harming the file already there.
#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "settings/settings.h"
#include "support/files.h"
#include "support/game_globals.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "testing.h"

namespace {

using test_support::read_file;
using test_support::write_file;

const std::string &default_file = test_support::default_settings_file;

bool same(const Settings &a, const Settings &b) {
    return a.screen_width == b.screen_width && a.screen_height == b.screen_height && a.fullscreen == b.fullscreen &&
           a.vsync == b.vsync && a.enable_music == b.enable_music && a.enable_sound_effects == b.enable_sound_effects &&
           std::memcmp(&a.game_speed, &b.game_speed, sizeof(double)) == 0 &&
           std::strcmp(a.online_server, b.online_server) == 0;
}

Settings parsed(const std::string &text) {
    Result<Settings> r = parse_settings(text);
    EXPECT_TRUE(r.ok()) << text;
    return r ? r.value() : Settings{};
}

bool fails(const std::string &text) { return !parse_settings(text).ok(); }

// The names in a folder, sorted.
std::vector<std::string> entries(const std::string &dir = ".") {
    std::vector<std::string> out;
    for (const auto &e : std::filesystem::directory_iterator(dir)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

uid_t nobody_uid() {
    const passwd *pw = getpwnam("nobody");
    return pw != nullptr ? pw->pw_uid : 65534;
}

// Runs `body` in a child process and returns its exit code (-1 if it died). With
// as_nobody, root first becomes the user nobody: root writes through any mode bits,
// so read-only files can only be tried as someone else.
int in_child(bool as_nobody, const std::function<int()> &body) {
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        if (as_nobody && geteuid() == 0) {
            const uid_t nobody = nobody_uid();
            if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0) _exit(100);
        }
        const int code = body();
        std::fflush(stdout);
        _exit(code);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A scratch working directory for tests that go through settings.cfg itself.
class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        scratch_ = test_support::enter_scratch_dir("vorbel-settings-", false);
        ASSERT_FALSE(scratch_.path.empty());
        reset_game_globals();
    }
    void TearDown() override {
        reset_game_globals();
        ASSERT_TRUE(test_support::leave_scratch_dir(scratch_));
    }
    test_support::ScratchCwd scratch_;
};

}  // namespace

TEST(SettingsFormat, DefaultsAreTheExact130Bytes) {
    std::string bytes = format_settings(Settings{});
    EXPECT_EQ(bytes.size(), 130u);
    EXPECT_EQ(bytes, default_file);
    EXPECT_TRUE(same(parsed(default_file), Settings{}));
}

TEST(SettingsFormat, LinesInAnyOrderAndLastDuplicateWins) {
    std::string reversed = "game_speed=2\r\nenable_sound_effects=false\r\nenable_music=false\r\nvsync=false\r\n"
                           "fullscreen=true\r\nscreen_height=900\r\nscreen_width=1600\r\n";
    Settings s = parsed(reversed);
    EXPECT_EQ(s.screen_width, 1600);
    EXPECT_EQ(s.screen_height, 900);
    EXPECT_TRUE(s.fullscreen);
    EXPECT_FALSE(s.vsync);
    EXPECT_FALSE(s.enable_music);
    EXPECT_FALSE(s.enable_sound_effects);
    EXPECT_EQ(s.game_speed, 2.0);

    EXPECT_TRUE(parsed("vsync=false\r\nvsync=true\r\n").vsync);
    EXPECT_FALSE(parsed("vsync=true\r\nvsync=false\r\n").vsync);
}

TEST(SettingsFormat, OnlyTheFourBytesTrueAreTrue) {
    EXPECT_FALSE(parsed("fullscreen=True\r\n").fullscreen);
    EXPECT_FALSE(parsed("vsync=1\r\n").vsync);
    EXPECT_FALSE(parsed("vsync=\r\n").vsync);
    EXPECT_FALSE(parsed("vsync=true \r\n").vsync);
    EXPECT_TRUE(parsed("vsync=true\r\n").vsync);
    EXPECT_TRUE(parsed("fullscreen=true\r\n").fullscreen);
}

TEST(SettingsFormat, IntegerSyntax) {
    EXPECT_EQ(parsed("screen_width=+1920\r\n").screen_width, 1920);
    EXPECT_EQ(parsed("screen_width=1_280\r\n").screen_width, 1280);
    EXPECT_EQ(parsed("screen_width=1_2_8_0\r\n").screen_width, 1280);
    EXPECT_EQ(parsed("screen_width=007\r\n").screen_width, 7);
    // The syntax itself takes a sign; whether a size makes sense is the record's rule.
    EXPECT_EQ(parse_settings_int("-1").value(), -1);
    EXPECT_EQ(parse_settings_int("-0").value(), 0);

    for (const char *bad : {"_1", "1_", "1__0", "+_1", "-", "+", "", "12a", "0x10", " 1", "1 ", "1.0", "--1"}) {
        EXPECT_TRUE(fails(std::string("screen_width=") + bad + "\r\n")) << bad;
    }
}

TEST(SettingsFormat, IntegersMustFitInt32) {
    EXPECT_EQ(parse_settings_int("2147483647").value(), 2147483647);
    EXPECT_EQ(parse_settings_int("-2147483648").value(), std::numeric_limits<std::int32_t>::min());
    EXPECT_FALSE(parse_settings_int("2147483648").ok());
    EXPECT_TRUE(fails("screen_width=2147483648\r\n"));
    EXPECT_TRUE(fails("screen_height=-2147483649\r\n"));
    EXPECT_TRUE(fails("screen_height=99999999999999999999999\r\n"));
    EXPECT_TRUE(fails("screen_height=4294967296\r\n"));  // would wrap to 0 in 32 bits
}

TEST(SettingsFormat, ValuesTheGameCannotUseMakeTheFileMalformed) {
    // Window sides outside 1..16384 and a speed that is negative or not finite: the
    // window could not be made (or left fullscreen into), or the game would run away.
    struct Row {
        const char *line;
        const char *key;  // named in the reason; nullptr where the line reads fine
    };
    const Row rows[] = {
        {"screen_width=0", "screen_width"},
        {"screen_width=-1", "screen_width"},
        {"screen_width=16385", "screen_width"},
        {"screen_width=40000", "screen_width"},
        {"screen_width=2147483647", "screen_width"},
        {"screen_height=0", "screen_height"},
        {"screen_height=-720", "screen_height"},
        {"screen_height=65536", "screen_height"},
        {"game_speed=-1", "game_speed"},
        {"game_speed=-1e-300", "game_speed"},
        {"game_speed=-inf", "game_speed"},
        {"game_speed=inf", "game_speed"},
        {"game_speed=nan", "game_speed"},
        {"game_speed=-nan", "game_speed"},
        {"game_speed=1e999", "game_speed"},  // overflows to infinity
        {"screen_width=1", nullptr},
        {"screen_width=16384", nullptr},
        {"screen_height=1_6384", nullptr},
        {"game_speed=0", nullptr},  // stops game time
        {"game_speed=-0", nullptr},
        {"game_speed=1e300", nullptr},
        {"game_speed=5e-324", nullptr},
        {"online_server=meet.example.org:24872", nullptr},
        {"online_server=a b", "online_server"},
        {"online_server=x;rm", "online_server"},
        {"online_server=aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", "online_server"},
    };
    for (const Row &row : rows) {
        // The bad value spoils an otherwise good file, wherever it stands.
        const std::string text = default_file + row.line + "\r\n" + "vsync=false\r\n";
        std::string why;
        Result<Settings> r = parse_settings(text, &why);
        EXPECT_EQ(r.ok(), row.key == nullptr) << row.line;
        if (row.key != nullptr) {
            EXPECT_EQ(r.error(), Error::invalid_value) << row.line;
            EXPECT_NE(why.find(row.key), std::string::npos) << row.line << ": " << why;
        } else if (r) {
            EXPECT_FALSE(r.value().vsync) << row.line;
            EXPECT_TRUE(same(parsed(format_settings(r.value())), r.value())) << row.line;
        }
    }
    EXPECT_EQ(parsed("screen_height=16384\r\n").screen_height, 16384);
    EXPECT_EQ(parsed("game_speed=0\r\n").game_speed, 0.0);
    EXPECT_STREQ(parsed("online_server=10.0.0.1\r\n").online_server, "10.0.0.1");
}

TEST(SettingsFormat, NothingIsTrimmed) {
    // A space before the CR belongs to the value.
    EXPECT_TRUE(fails("screen_width=1920 \r\n"));
    // Spaces around "=" make a different key, which is ignored; the real key decides.
    Settings s = parsed("screen_width = 1920\r\nscreen_width=1600\r\n");
    EXPECT_EQ(s.screen_width, 1600);
    EXPECT_EQ(parsed("screen_width = 1920\r\nvsync=true\r\n").screen_width, 1280);
}

TEST(SettingsFormat, OnlyTheFirstEqualsSeparates) {
    // The value of game_speed==1 is "=1", which is not a number.
    EXPECT_TRUE(fails("game_speed==1\r\n"));
    // For an unknown key the rest is just data.
    EXPECT_FALSE(parsed("name=a=b\r\nvsync=false\r\n").vsync);
}

TEST(SettingsFormat, LineEndsAndStrayLines) {
    // Bare LF lines and a last line without any end keep their whole value.
    Settings s = parsed("screen_width=1600\nscreen_height=900\nvsync=false\ngame_speed=0.5");
    EXPECT_EQ(s.screen_width, 1600);
    EXPECT_EQ(s.screen_height, 900);
    EXPECT_FALSE(s.vsync);
    EXPECT_EQ(s.game_speed, 0.5);
    EXPECT_TRUE(parsed("vsync=false\r\nvsync=true").vsync);
    // Blank lines and lines without "=" are skipped; absent keys keep the defaults.
    Settings sparse = parsed("\r\n\nhello\r\nscreen_height=600\r\n\r\n");
    EXPECT_EQ(sparse.screen_height, 600);
    EXPECT_EQ(sparse.screen_width, 1280);
    // Tabs and UTF-8 in a value or an unknown line are still text.
    EXPECT_FALSE(parsed("note=\tcaf\xc3\xa9\r\nvsync=false\r\n").vsync);
}

TEST(SettingsFormat, OtherFilesWearingTheNameAreMalformed) {
    // No key line of the seven, or bytes no text file holds: the first save must not
    // take these for the defaults and replace them unseen.
    const std::pair<std::string, const char *> rows[] = {
        {"", "no line"},
        {"alice:x:1000:1000::/home/alice:/bin/bash\n", "no line"},
        {"name=a=b\r\nscreen_width =1\r\n", "no line"},
        {std::string(100, '\0'), "byte 1 "},
        {default_file + '\0', "byte 131 "},
        {"vsync=\x7f\r\n", "byte 7 "},
        {"\x1b[31mvsync=true\r\n", "byte 1 "},
    };
    for (const auto &[text, reason] : rows) {
        std::string why;
        EXPECT_EQ(parse_settings(text, &why).error(), Error::invalid_value) << reason;
        EXPECT_NE(why.find(reason), std::string::npos) << why;
    }
}

TEST(SettingsFormat, LineLengthLimit) {
    // 1023 bytes before the LF are accepted (here including the CR), 1024 are not.
    std::string key = "padding=";
    std::string ok_line = key + std::string(1023 - key.size() - 1, 'x') + "\r";
    ASSERT_EQ(ok_line.size(), 1023u);
    EXPECT_TRUE(parse_settings(ok_line + "\nvsync=false\r\n").ok());
    EXPECT_FALSE(parsed(ok_line + "\nvsync=false\r\n").vsync);

    std::string long_line = key + std::string(1024 - key.size() - 1, 'x') + "\r";
    ASSERT_EQ(long_line.size(), 1024u);
    EXPECT_TRUE(fails(long_line + "\n"));
    // The limit holds for a last line without a line end too.
    EXPECT_TRUE(fails(key + std::string(1024 - key.size(), 'x')));
    EXPECT_TRUE(parse_settings("vsync=true\n" + key + std::string(1023 - key.size(), 'x')).ok());
}

TEST(SettingsFormat, FloatExamples) {
    const std::pair<double, const char *> examples[] = {
        {1.0, "1e0"},   {0.5, "5e-1"}, {1.25, "1.25e0"}, {12.5, "1.25e1"}, {100.0, "1e2"},           {2.0, "2e0"},
        {-2.0, "-2e0"}, {0.1, "1e-1"}, {0.0, "0e0"},     {1e100, "1e100"}, {-1.5e-300, "-1.5e-300"}, {5e-324, "5e-324"},
    };
    for (const auto &[value, text] : examples) EXPECT_EQ(format_settings_float(value), text) << value;
    EXPECT_EQ(format_settings_float(1.7976931348623157e308), "1.7976931348623157e308");

    EXPECT_EQ(parsed("game_speed=0.5\r\n").game_speed, 0.5);
    EXPECT_NE(format_settings(parsed("game_speed=0.5\r\n")).find("game_speed=5e-1\r\n"), std::string::npos);
    EXPECT_NE(format_settings(parsed("game_speed=2\r\n")).find("game_speed=2e0\r\n"), std::string::npos);
    for (const char *good : {"1", "1.0", "0.5", "5e-1", "+2", "-3.25", "1E2", ".5", "5.", "1e+2"}) {
        EXPECT_TRUE(parse_settings_float(good).ok()) << good;
    }
    for (const char *bad : {"1.0x", "", ".", "e1", "1e", "1e+", "0x10", " 1", "1 ", "infinity", "1..0", "--1", "1_0"}) {
        EXPECT_FALSE(parse_settings_float(bad).ok()) << bad;
    }
    // Out of range still reads, to the correctly rounded value.
    EXPECT_EQ(parse_settings_float("1e999").value(), HUGE_VAL);
    EXPECT_EQ(parse_settings_float("-1e999").value(), -HUGE_VAL);
    EXPECT_EQ(parse_settings_float("1e-999").value(), 0.0);
}

TEST(SettingsFormat, FloatRoundTripsExactly) {
    std::mt19937_64 gen(12345);
    for (int i = 0; i < 200000; ++i) {
        std::uint64_t bits = gen();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (i % 2 == 1) d = std::uniform_real_distribution<double>(-100.0, 100.0)(gen);
        std::string text = format_settings_float(d);
        if (std::isfinite(d)) {
            char chars[64];
            const auto written = std::to_chars(chars, chars + sizeof chars, d, std::chars_format::scientific);
            ASSERT_EQ(shortest_scientific_printf(d), std::string(chars, written.ptr)) << "the browser build's text";
        }
        Result<double> back = parse_settings_float(text);
        ASSERT_TRUE(back.ok()) << text;
        if (std::isnan(d)) {
            ASSERT_TRUE(std::isnan(back.value())) << text;
            continue;
        }
        ASSERT_EQ(std::memcmp(&d, &back.value(), sizeof d), 0) << text;
        // The form itself: no "+", no leading zeros in the exponent, one leading digit.
        ASSERT_EQ(text.find('+'), std::string::npos) << text;
        std::size_t e = text.find('e');
        ASSERT_NE(e, std::string::npos) << text;
        ASSERT_TRUE(text[e + 1] != '0' || text.size() == e + 2) << text;
        std::size_t first = text[0] == '-' ? 1 : 0;
        ASSERT_TRUE(text[first + 1] == 'e' || text[first + 1] == '.') << text;
    }
    for (double d : {HUGE_VAL, -HUGE_VAL}) {
        EXPECT_EQ(parse_settings_float(format_settings_float(d)).value(), d);
    }
}

TEST(SettingsFormat, EveryRecordRoundTripsThroughTheFile) {
    std::mt19937_64 gen(7);
    for (int i = 0; i < 2000; ++i) {
        Settings s;
        s.screen_width = static_cast<std::int32_t>(1 + gen() % max_screen_side);
        s.screen_height = static_cast<std::int32_t>(1 + gen() % max_screen_side);
        s.fullscreen = gen() & 1;
        s.vsync = gen() & 1;
        s.enable_music = gen() & 1;
        s.enable_sound_effects = gen() & 1;
        s.game_speed = std::ldexp(static_cast<double>(gen() >> 11), static_cast<int>(gen() % 200) - 150);
        if (i == 0) s.screen_width = s.screen_height = max_screen_side;
        if (i == 1) s.screen_width = s.screen_height = 1;
        if (i == 2) s.game_speed = 0.0;
        ASSERT_TRUE(same(parsed(format_settings(s)), s));
    }
}

TEST_F(SettingsFile, SaveWritesTheFormatAndLoadReadsIt) {
    settings = Settings{};
    ASSERT_TRUE(save_settings().ok());
    EXPECT_EQ(read_file("settings.cfg"), default_file);
    Result<Settings> r = load_settings();
    ASSERT_TRUE(r.ok());
    EXPECT_TRUE(same(r.value(), Settings{}));
    // No temporary file is left behind.
    EXPECT_NE(access("settings.cfg.tmp", F_OK), 0);
}

TEST_F(SettingsFile, UnknownKeysAreDroppedByTheNextSave) {
    write_file("settings.cfg", "screen_width=1280\r\nvolume=3\r\nvsync=false\r\n");
    Result<Settings> r = load_settings();
    ASSERT_TRUE(r.ok());
    settings = r.value();
    ASSERT_TRUE(save_settings().ok());
    std::string bytes = read_file("settings.cfg");
    EXPECT_EQ(bytes.find("volume"), std::string::npos);
    EXPECT_NE(bytes.find("vsync=false\r\n"), std::string::npos);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 7);
}

TEST_F(SettingsFile, MissingOrMalformedFileFailsWithoutTouchingTheGlobal) {
    settings.screen_width = 777;
    EXPECT_EQ(load_settings().error(), Error::file_not_found);
    write_file("settings.cfg", "screen_width=12x\r\n");
    EXPECT_EQ(load_settings().error(), Error::invalid_value);
    EXPECT_EQ(settings.screen_width, 777);
}

TEST_F(SettingsFile, NamesPlantedBesideTheFileDoNotRedirectTheSave) {
    // A save writes a fresh temporary file of its own; whatever sits at a name it might
    // use (the old fixed settings.cfg.tmp, or this process's own next names) is left as
    // it is and never written through.
    write_file("victim", "precious");
    struct Plant {
        const char *what;
        int (*make)(const char *name);
    };
    const Plant plants[] = {
        {"link to another file", [](const char *n) { return symlink("victim", n); }},
        {"link to /dev/full", [](const char *n) { return symlink("/dev/full", n); }},
        {"dangling link", [](const char *n) { return symlink("nowhere/at/all", n); }},
        {"directory", [](const char *n) { return mkdir(n, 0755); }},
    };
    for (const Plant &plant : plants) {
        std::vector<std::string> names = {"settings.cfg.tmp"};
        for (int n = 0; n < 50; ++n)
            names.push_back("settings.cfg.tmp-" + std::to_string(getpid()) + "-" + std::to_string(n));
        for (const std::string &name : names) ASSERT_EQ(plant.make(name.c_str()), 0) << plant.what;
        write_file("settings.cfg", default_file);

        settings = Settings{};
        settings.enable_music = false;
        EXPECT_TRUE(save_settings().ok()) << plant.what;
        EXPECT_EQ(read_file("settings.cfg"), format_settings(settings)) << plant.what;
        EXPECT_EQ(read_file("victim"), "precious") << plant.what;
        for (const std::string &name : names) {
            struct stat st {};
            EXPECT_EQ(lstat(name.c_str(), &st), 0) << plant.what << " " << name;
            EXPECT_TRUE(S_ISLNK(st.st_mode) || S_ISDIR(st.st_mode)) << plant.what << " " << name;
            (void)(remove(name.c_str()) == 0 || rmdir(name.c_str()) == 0);
        }
        EXPECT_EQ(entries(), (std::vector<std::string>{"settings.cfg", "victim"})) << plant.what;
    }
}

TEST_F(SettingsFile, FailedWriteKeepsTheOldFile) {
    // A file size limit below the file's length makes the write fail like a full disk;
    // in a child process, so the limit does not outlive the case.
    write_file("settings.cfg", default_file);
    const int code = in_child(false, [] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{50, 50};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 2;
        settings = Settings{};
        settings.screen_width = 1;
        return save_settings().error() == Error::write_failed ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(read_file("settings.cfg"), default_file);
    EXPECT_EQ(entries(), std::vector<std::string>{"settings.cfg"});
}

TEST_F(SettingsFile, OnlyARegularFileOfSensibleSizeIsRead) {
    // Each is refused at once: nothing may block start-up or fill memory. The alarm
    // turns a hang into a failure.
    std::string lines;
    for (int i = 0; lines.size() < max_settings_file; ++i) lines += "key" + std::to_string(i) + "=value\r\n";
    const std::string full = lines.substr(0, max_settings_file - default_file.size()) + default_file;
    struct Row {
        const char *what;
        std::function<int()> make;
        Result<Settings> expected;
    };
    const Row rows[] = {
        {"FIFO", [] { return mkfifo("settings.cfg", 0644); }, Error::not_a_file},
        {"link to /dev/zero", [] { return symlink("/dev/zero", "settings.cfg"); }, Error::not_a_file},
        {"link to /dev/urandom", [] { return symlink("/dev/urandom", "settings.cfg"); }, Error::not_a_file},
        {"directory", [] { return mkdir("settings.cfg", 0755); }, Error::not_a_file},
        {"one byte over the limit", [&] { return write_file("settings.cfg", full + "x"), 0; }, Error::file_too_large},
        {"a gigabyte of holes",
         [] {
             write_file("settings.cfg", default_file);
             return truncate("settings.cfg", 1 << 30);
         },
         Error::file_too_large},
        // A /proc file claims to be empty and goes on for far longer than the limit.
        {"endless file of size 0", [] { return symlink("/proc/kallsyms", "settings.cfg"); }, Error::file_too_large},
        {"exactly the limit", [&] { return write_file("settings.cfg", full), 0; }, Settings{}},
    };
    const bool have_endless = read_file("/proc/kallsyms").size() > max_settings_file;
    for (const Row &row : rows) {
        if (std::strcmp(row.what, "endless file of size 0") == 0 && !have_endless) continue;
        ASSERT_EQ(row.make(), 0) << row.what;
        alarm(30);
        Result<Settings> r = load_settings();
        alarm(0);
        ASSERT_EQ(r.ok(), row.expected.ok()) << row.what;
        if (!r.ok()) {
            EXPECT_STREQ(error_name(r.error()), error_name(row.expected.error())) << row.what;
        }
        EXPECT_TRUE(remove("settings.cfg") == 0 || rmdir("settings.cfg") == 0) << row.what;
    }
}

TEST_F(SettingsFile, FileThatFailedToLoadIsKeptAsBad) {
    struct Row {
        const char *what;
        std::function<void()> make;
        bool kept;
    };
    const std::string malformed = "screen_width=0\r\nvsync=false\r\nmy own note=keep me\r\n";
    const Row rows[] = {
        {"malformed", [&] { write_file("settings.cfg", malformed); }, true},
        {"malformed, an older .bad there",
         [&] {
             write_file("settings.cfg", malformed);
             write_file("settings.cfg.bad", "older");
         },
         true},
        {"too large", [&] { write_file("settings.cfg", std::string(max_settings_file + 1, '\n')); }, true},
        {"FIFO", [] { ASSERT_EQ(mkfifo("settings.cfg", 0644), 0); }, true},
        // As the page finds a damaged record of the browser's store.
        {"directory", [] { ASSERT_EQ(mkdir("settings.cfg", 0755), 0); }, true},
        {"link to /dev/zero", [] { ASSERT_EQ(symlink("/dev/zero", "settings.cfg"), 0); }, true},
        {"missing", [] {}, false},
        {"good", [] { write_file("settings.cfg", default_file); }, false},
    };
    for (const Row &row : rows) {
        struct stat before {};
        row.make();
        const bool existed = lstat("settings.cfg", &before) == 0;
        const std::string old_bytes = S_ISREG(before.st_mode) ? read_file("settings.cfg") : "";
        Result<Settings> r(Error::invalid_value);
        {
            const test_support::LogCapture log;
            r = load_settings();
            EXPECT_EQ(testing_log_contains(LOG_WARNING, "settings.cfg.bad"), row.kept) << row.what;
        }
        settings = r ? r.value() : Settings{};
        settings.enable_music = false;
        {
            const test_support::LogCapture log;
            ASSERT_TRUE(save_settings().ok()) << row.what;
            EXPECT_EQ(testing_log_contains(LOG_WARNING, "settings.cfg.bad"), row.kept) << row.what;
        }
        EXPECT_EQ(read_file("settings.cfg"), format_settings(settings)) << row.what;
        struct stat bad {};
        ASSERT_EQ(lstat("settings.cfg.bad", &bad) == 0, row.kept) << row.what;
        if (row.kept) {
            // The very thing that was there, moved: same inode, kind and bytes.
            EXPECT_TRUE(existed);
            EXPECT_EQ(bad.st_ino, before.st_ino) << row.what;
            EXPECT_EQ(bad.st_mode, before.st_mode) << row.what;
            if (S_ISREG(bad.st_mode)) {
                EXPECT_EQ(read_file("settings.cfg.bad"), old_bytes) << row.what;
            }
            // Later saves leave it be.
            settings.vsync = !settings.vsync;
            ASSERT_TRUE(save_settings().ok()) << row.what;
            struct stat again {};
            ASSERT_EQ(lstat("settings.cfg.bad", &again), 0) << row.what;
            EXPECT_EQ(again.st_ino, before.st_ino) << row.what;
            EXPECT_EQ(entries(), (std::vector<std::string>{"settings.cfg", "settings.cfg.bad"})) << row.what;
        } else {
            EXPECT_EQ(entries(), std::vector<std::string>{"settings.cfg"}) << row.what;
        }
        remove("settings.cfg");
        remove("settings.cfg.bad");
    }
}

TEST_F(SettingsFile, FileReplacedByThePlayerAfterAFailedLoadIsNotMovedAside) {
    write_file("settings.cfg", "game_speed=-1\r\n");
    ASSERT_FALSE(load_settings().ok());
    // The player fixes it in an editor that writes a new file.
    write_file("fixed", "game_speed=2\r\n");
    ASSERT_EQ(rename("fixed", "settings.cfg"), 0);
    settings = Settings{};
    ASSERT_TRUE(save_settings().ok());
    EXPECT_EQ(entries(), std::vector<std::string>{"settings.cfg"});
}

TEST_F(SettingsFile, SymlinkedFileHasItsTargetReplaced) {
    // Dotfile managers keep settings.cfg as a link into their own folder; the save
    // replaces the target (its temporary file beside it) and the link stays. A target
    // that did not load is never written through: it may be any file at all, so the
    // link is kept aside and settings.cfg becomes a file of its own.
    const std::string here = test_support::current_dir();
    struct Row {
        const char *what;
        std::string link;    // what settings.cfg points to
        std::string target;  // the file that must change (or stay), from here
        bool target_exists;
        std::string content;
    };
    const Row rows[] = {
        {"relative link", "dotfiles/settings.cfg", "dotfiles/settings.cfg", true, default_file},
        {"absolute link", here + "/dotfiles/settings.cfg", "dotfiles/settings.cfg", true, default_file},
        {"link to a link", "dotfiles/middle", "dotfiles/deeper/settings.cfg", true, default_file},
        {"dangling link", "dotfiles/settings.cfg", "dotfiles/settings.cfg", false, ""},
        {"malformed target", "dotfiles/settings.cfg", "dotfiles/settings.cfg", true, "screen_height=99999\r\n"},
        {"target of NUL bytes", "dotfiles/middle", "dotfiles/deeper/settings.cfg", true, std::string(100, '\0')},
    };
    for (const Row &row : rows) {
        ASSERT_EQ(mkdir("dotfiles", 0755), 0);
        ASSERT_EQ(mkdir("dotfiles/deeper", 0755), 0);
        ASSERT_EQ(symlink("deeper/settings.cfg", "dotfiles/middle"), 0);
        ASSERT_EQ(symlink(row.link.c_str(), "settings.cfg"), 0);
        if (row.target_exists) {
            write_file(row.target, row.content);
            ASSERT_EQ(chmod(row.target.c_str(), 0640), 0);
        }
        const bool damaged = row.target_exists && row.content != default_file;
        EXPECT_EQ(load_settings().ok(), row.target_exists && !damaged) << row.what;

        settings = Settings{};
        settings.fullscreen = true;
        {
            const test_support::LogCapture log;
            ASSERT_TRUE(save_settings().ok()) << row.what;
            EXPECT_EQ(testing_log_contains(LOG_WARNING, "its target is left as it is"), damaged) << row.what;
        }
        struct stat st {};
        ASSERT_EQ(lstat("settings.cfg", &st), 0);
        EXPECT_EQ(S_ISLNK(st.st_mode), !damaged) << row.what;
        EXPECT_EQ(read_file(damaged ? "settings.cfg" : row.target), format_settings(settings)) << row.what;
        if (row.target_exists) {
            ASSERT_EQ(stat(row.target.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0640u) << row.what;
        }
        if (damaged) {
            // The target as it was, and the link itself beside the new file.
            EXPECT_EQ(read_file(row.target), row.content) << row.what;
            char link[4096] = {};
            EXPECT_GT(readlink("settings.cfg.bad", link, sizeof link - 1), 0);
            EXPECT_EQ(std::string(link), row.link) << row.what;
        }
        // Nothing else anywhere.
        std::vector<std::string> wanted = {"settings.cfg"};
        if (row.target.find("deeper") == std::string::npos) wanted = {"deeper", "middle", "settings.cfg"};
        EXPECT_EQ(entries(row.target.substr(0, row.target.rfind('/'))), wanted) << row.what;
        std::vector<std::string> here_wanted = {"dotfiles", "settings.cfg"};
        if (damaged) here_wanted.push_back("settings.cfg.bad");
        EXPECT_EQ(entries(), here_wanted) << row.what;
        ASSERT_TRUE(std::filesystem::remove_all("dotfiles") > 0);
        ASSERT_EQ(remove("settings.cfg"), 0);
        (void)remove("settings.cfg.bad");
    }
}

TEST_F(SettingsFile, SaveKeepsThePermissionBits) {
    for (mode_t mode : {0600, 0640, 0644, 0664, 0604, 0666, 0755}) {
        write_file("settings.cfg", default_file);
        ASSERT_EQ(chmod("settings.cfg", mode), 0);
        settings = Settings{};
        settings.vsync = false;
        ASSERT_TRUE(save_settings().ok()) << std::oct << mode;
        struct stat st {};
        ASSERT_EQ(stat("settings.cfg", &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode) << std::oct << mode;
        EXPECT_EQ(read_file("settings.cfg"), format_settings(settings));
    }
    // A new file gets what the umask leaves of rw for everyone, as any new file does.
    ASSERT_EQ(remove("settings.cfg"), 0);
    const mode_t mask = umask(022);
    umask(mask);
    ASSERT_TRUE(save_settings().ok());
    struct stat st {};
    ASSERT_EQ(stat("settings.cfg", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0666u & ~mask);
}

TEST_F(SettingsFile, ReadOnlyFileIsNotReplaced) {
    // As the user nobody: root writes through any mode bits. Each row prepares the
    // folder, then a save by nobody must fail and change nothing, or (the last) work.
    const uid_t nobody = nobody_uid();
    struct Row {
        const char *what;
        mode_t folder_mode;
        mode_t file_mode;
        bool owned_by_nobody;  // else by root, when running as root
        std::string content;
        bool saves;
    };
    const Row rows[] = {
        {"file made read-only", 0755, 0444, true, default_file, false},
        {"file without any write bit", 0755, 0400, true, default_file, false},
        {"someone else's file", 0777, 0644, false, default_file, false},
        {"read-only malformed file", 0755, 0444, true, "screen_width=-5\r\n", false},
        {"read-only folder", 0555, 0644, true, default_file, false},
        {"writable file and folder", 0755, 0644, true, default_file, true},
    };
    for (const Row &row : rows) {
        if (!row.owned_by_nobody && geteuid() != 0) continue;  // needs a second user
        write_file("settings.cfg", row.content);
        ASSERT_EQ(chmod("settings.cfg", row.file_mode), 0);
        if (geteuid() == 0) {
            ASSERT_EQ(chown(".", nobody, nobody), 0);
            ASSERT_EQ(chown("settings.cfg", row.owned_by_nobody ? nobody : 0, 0), 0);
        }
        ASSERT_EQ(chmod(".", row.folder_mode), 0);

        const int code = in_child(true, [&] {
            const test_support::LogCapture log;
            const bool loaded = load_settings().ok();
            settings = Settings{};
            settings.enable_sound_effects = false;
            const Result<Ok> saved = save_settings();
            if (saved.ok() != row.saves) return 1;
            if (!row.saves && !testing_log_contains(LOG_WARNING, "was not saved")) return 2;
            if (loaded != (row.content == default_file)) return 3;
            return 0;
        });
        EXPECT_EQ(code, 0) << row.what;
        ASSERT_EQ(chmod(".", 0755), 0);
        Settings wanted;
        wanted.enable_sound_effects = false;
        EXPECT_EQ(read_file("settings.cfg"), row.saves ? format_settings(wanted) : row.content) << row.what;
        struct stat st {};
        ASSERT_EQ(stat("settings.cfg", &st), 0);
        EXPECT_EQ(st.st_mode & 07777, row.file_mode) << row.what;
        EXPECT_EQ(entries(), std::vector<std::string>{"settings.cfg"}) << row.what;
        ASSERT_EQ(remove("settings.cfg"), 0);
    }
}

TEST_F(SettingsFile, RootHonoursAFileWithoutWriteBits) {
    write_file("settings.cfg", default_file);
    ASSERT_EQ(chmod("settings.cfg", 0444), 0);
    settings = Settings{};
    settings.fullscreen = true;
    EXPECT_EQ(save_settings().error(), Error::access_denied);
    EXPECT_EQ(read_file("settings.cfg"), default_file);
    EXPECT_EQ(entries(), std::vector<std::string>{"settings.cfg"});
}
