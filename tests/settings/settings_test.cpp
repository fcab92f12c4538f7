// The settings file: exact bytes of the writer, the reader's line and value rules,
// and saves that fail without harming the file already there.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>

#include "settings/settings.h"
#include "support/files.h"
#include "support/scratch_dir.h"

namespace {

using test_support::read_file;
using test_support::write_file;

const std::string &default_file = test_support::default_settings_file;

bool same(const Settings &a, const Settings &b) {
    return a.screen_width == b.screen_width && a.screen_height == b.screen_height && a.fullscreen == b.fullscreen &&
           a.vsync == b.vsync && a.enable_music == b.enable_music && a.enable_sound_effects == b.enable_sound_effects &&
           std::memcmp(&a.game_speed, &b.game_speed, sizeof(double)) == 0;
}

Settings parsed(const std::string &text) {
    Result<Settings> r = parse_settings(text);
    EXPECT_TRUE(r.ok()) << text;
    return r ? r.value() : Settings{};
}

bool fails(const std::string &text) { return !parse_settings(text).ok(); }

// A scratch working directory for tests that go through settings.cfg itself.
class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        scratch_ = test_support::enter_scratch_dir("vorbel-settings-", false);
        ASSERT_FALSE(scratch_.path.empty());
        saved_ = settings;
    }
    void TearDown() override {
        settings = saved_;
        ASSERT_TRUE(test_support::leave_scratch_dir(scratch_));
    }
    test_support::ScratchCwd scratch_;
    Settings saved_;
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
    EXPECT_EQ(parsed("screen_width=0\r\n").screen_width, 0);
    EXPECT_EQ(parsed("screen_width=007\r\n").screen_width, 7);

    Settings negative = parsed("screen_width=-1\r\n");
    EXPECT_EQ(negative.screen_width, -1);
    EXPECT_NE(format_settings(negative).find("screen_width=-1\r\n"), std::string::npos);

    for (const char *bad : {"_1", "1_", "1__0", "+_1", "-", "+", "", "12a", "0x10", " 1", "1 ", "1.0", "--1"}) {
        EXPECT_TRUE(fails(std::string("screen_width=") + bad + "\r\n")) << bad;
    }
}

TEST(SettingsFormat, IntegersMustFitInt32) {
    EXPECT_EQ(parsed("screen_width=2147483647\r\n").screen_width, 2147483647);
    EXPECT_EQ(parsed("screen_width=-2147483648\r\n").screen_width, std::numeric_limits<std::int32_t>::min());
    EXPECT_TRUE(fails("screen_width=2147483648\r\n"));
    EXPECT_TRUE(fails("screen_height=-2147483649\r\n"));
    EXPECT_TRUE(fails("screen_height=99999999999999999999999\r\n"));
    EXPECT_TRUE(fails("screen_height=4294967296\r\n"));  // would wrap to 0 in 32 bits
}

TEST(SettingsFormat, NothingIsTrimmed) {
    // A space before the CR belongs to the value.
    EXPECT_TRUE(fails("screen_width=1920 \r\n"));
    // Spaces around "=" make a different key, which is ignored; the real key decides.
    Settings s = parsed("screen_width = 1920\r\nscreen_width=1600\r\n");
    EXPECT_EQ(s.screen_width, 1600);
    EXPECT_EQ(parsed("screen_width = 1920\r\n").screen_width, 1280);
}

TEST(SettingsFormat, OnlyTheFirstEqualsSeparates) {
    // The value of game_speed==1 is "=1", which is not a number.
    EXPECT_TRUE(fails("game_speed==1\r\n"));
    // For an unknown key the rest is just data.
    EXPECT_TRUE(same(parsed("name=a=b\r\n"), Settings{}));
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
    EXPECT_TRUE(same(parsed(""), Settings{}));
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
    EXPECT_TRUE(parse_settings(key + std::string(1023 - key.size(), 'x')).ok());
}

TEST(SettingsFormat, FloatExamples) {
    EXPECT_EQ(format_settings_float(1.0), "1e0");
    EXPECT_EQ(format_settings_float(0.5), "5e-1");
    EXPECT_EQ(format_settings_float(1.25), "1.25e0");
    EXPECT_EQ(format_settings_float(12.5), "1.25e1");
    EXPECT_EQ(format_settings_float(100.0), "1e2");
    EXPECT_EQ(format_settings_float(2.0), "2e0");
    EXPECT_EQ(format_settings_float(-2.0), "-2e0");
    EXPECT_EQ(format_settings_float(0.1), "1e-1");
    EXPECT_EQ(format_settings_float(0.0), "0e0");
    EXPECT_EQ(format_settings_float(1e100), "1e100");
    EXPECT_EQ(format_settings_float(-1.5e-300), "-1.5e-300");
    EXPECT_EQ(format_settings_float(5e-324), "5e-324");
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
        s.screen_width = static_cast<std::int32_t>(gen());
        s.screen_height = static_cast<std::int32_t>(gen());
        s.fullscreen = gen() & 1;
        s.vsync = gen() & 1;
        s.enable_music = gen() & 1;
        s.enable_sound_effects = gen() & 1;
        s.game_speed = std::ldexp(static_cast<double>(gen() >> 11), static_cast<int>(gen() % 200) - 150);
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

TEST_F(SettingsFile, FailedSaveLeavesTheOldFileIntact) {
    write_file("settings.cfg", default_file);
    // Tests run as root, where a read-only mode does not stop writes. Make the save
    // really fail instead: its temporary file's path is taken by a directory, so the
    // temporary file cannot be created.
    ASSERT_EQ(mkdir("settings.cfg.tmp", 0755), 0);
    settings = Settings{};
    settings.vsync = false;
    Result<Ok> r = save_settings();
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(read_file("settings.cfg"), default_file);
    EXPECT_FALSE(settings.vsync);  // the record in memory is kept
    rmdir("settings.cfg.tmp");
}

TEST_F(SettingsFile, FailedRenameLeavesTheOldFileIntact) {
    // A directory in settings.cfg's place: the temporary file is written but cannot
    // replace it, and it is cleaned up again.
    ASSERT_EQ(mkdir("settings.cfg", 0755), 0);
    settings = Settings{};
    EXPECT_FALSE(save_settings().ok());
    struct stat st {};
    ASSERT_EQ(stat("settings.cfg", &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_NE(access("settings.cfg.tmp", F_OK), 0);
}

TEST_F(SettingsFile, SaveIntoAFullDeviceKeepsTheOldFile) {
    // /dev/full fails every write with ENOSPC; a temporary file linked to it cannot be
    // made as a plain file, so use a symlink: fopen follows it and writes fail at flush.
    write_file("settings.cfg", default_file);
    if (symlink("/dev/full", "settings.cfg.tmp") != 0) GTEST_SKIP() << "no symlinks here";
    settings = Settings{};
    settings.screen_width = 1;
    EXPECT_EQ(save_settings().error(), Error::write_failed);
    EXPECT_EQ(read_file("settings.cfg"), default_file);
}
