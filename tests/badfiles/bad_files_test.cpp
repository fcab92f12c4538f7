// Damaged asset files: truncated, garbage, empty, or well-formed headers that lie
// about sizes and counts. Start-up must log WARNINGs and the game must run every
// screen as usual, never crash. Each case starts the real game in a scratch
// directory holding a copy of the assets with some files spoiled.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "app/frame_loop.h"
#include "app/game_state.h"
#include "settings/startup.h"
#include "support/child_process.h"
#include "support/files.h"
#include "support/game_globals.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "support/small_window.h"
#include "testing.h"

namespace fs = std::filesystem;

namespace {

using test_support::read_file;
using test_support::write_file;

// Deterministic noise of the given length.
std::string garbage(std::size_t n, std::uint32_t seed) {
    std::string out(n, '\0');
    std::uint32_t x = seed * 2654435761u + 1u;
    for (char &c : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x & 0xFF);
    }
    return out;
}

void put_u32(std::string &s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
void put_u16(std::string &s, std::size_t at, std::uint16_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>(v >> 8);
}
void put_be32(std::string &s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (24 - 8 * i)) & 0xFF);
}

const char *const all_kinds[] = {".obj", ".mtl", ".png", ".wav", ".ttf", ".rgs"};

class BadFiles : public ::testing::Test {
protected:
    void SetUp() override {
        home_ = fs::current_path();
        scratch_ = test_support::make_scratch_dir("vorbel-badfiles-");
        ASSERT_FALSE(scratch_.empty());
        fs::copy(home_ / "assets", scratch_ / "assets", fs::copy_options::recursive);
        fs::current_path(scratch_);
        // A small window, made from the record's values before the file is read.
        reset_game_globals();
        ASSERT_TRUE(test_support::use_settings(test_support::small_window_settings()));
    }

    void TearDown() override {
        testing_release_all_input();
        testing_capture_log(false);
        testing_clear_log();
        testing_set_fixed_frame_time(-1.0);
        reset_game_globals();
        fs::current_path(home_);
        test_support::remove_scratch_dir(scratch_);
    }

    // Every asset file of the given extensions, relative to the scratch directory.
    std::vector<fs::path> files_of(std::initializer_list<const char *> kinds) const {
        std::vector<fs::path> out;
        for (const auto &e : fs::recursive_directory_iterator("assets")) {
            if (!e.is_regular_file()) continue;
            for (const char *k : kinds) {
                if (e.path().extension() == k) out.push_back(e.path());
            }
        }
        return out;
    }

    // Starts the game, plays every screen for a while and shuts it down. Returns false
    // if start-up gave up.
    bool play_every_screen() {
        testing_set_fixed_frame_time(1.0 / 30.0);
        const test_support::LogCapture capture;
        if (!init_app()) return false;
        auto frames = [](int n) {
            for (int i = 0; i < n; ++i) {
                run_frame();
                EXPECT_FALSE(should_stop());
            }
        };
        frames(10);  // title screen
        test_support::start_bot_match();
        testing_key_down(KEY_SPACE);  // player 1 joins and jumps
        testing_key_down(KEY_D);
        frames(60);
        testing_key_up(KEY_SPACE);
        testing_key_up(KEY_D);
        testing_key_down(KEY_ESCAPE);
        frames(1);
        testing_key_up(KEY_ESCAPE);
        EXPECT_EQ(game_state.screen_state, ScreenState::paused);
        frames(10);
        set_screen_state(ScreenState::menu);  // MAIN MENU
        frames(5);
        deinit_app();
        log_ = testing_captured_log();
        return true;
    }

    // A case's start-up, play and checks run in a child process: the game starts once
    // per process, so every case gets a fresh one.
    static void in_fresh_process(const std::function<void()> &body) { test_support::in_fresh_process(body); }

    // In a fresh process: every screen plays, and a warning names each file of `kinds`.
    void expect_play_warning_about(std::initializer_list<const char *> kinds) {
        in_fresh_process([&] {
            ASSERT_TRUE(play_every_screen()) << log_text();
            for (const fs::path &f : files_of(kinds)) EXPECT_TRUE(warned_about(f)) << f << "\n" << log_text();
        });
    }

    // True if a logged WARNING or ERROR names the file.
    bool warned_about(const fs::path &file) const {
        const std::string name = file.filename().string();
        for (const std::string &line : log_) {
            if ((line.rfind("WARNING", 0) == 0 || line.rfind("ERROR", 0) == 0) && line.find(name) != std::string::npos)
                return true;
        }
        return false;
    }

    std::string log_text() const {
        std::string out;
        for (const std::string &line : log_) out += line + "\n";
        return out;
    }

    fs::path home_;
    fs::path scratch_;
    std::vector<std::string> log_;
};

TEST_F(BadFiles, TruncatedFiles) {
    const auto files = files_of({".obj", ".mtl", ".png", ".wav", ".ttf", ".rgs"});
    ASSERT_FALSE(files.empty());
    for (const fs::path &f : files) {
        const std::string bytes = read_file(f);
        // Binary formats end inside their headers; text formats end mid-line.
        const std::size_t keep = f.extension() == ".png" || f.extension() == ".wav" || f.extension() == ".ttf"
                                     ? std::min<std::size_t>(bytes.size(), 30)
                                     : bytes.size() / 2 + 3;
        write_file(f, bytes.substr(0, keep));
    }
    expect_play_warning_about({".png", ".wav", ".ttf"});
}

TEST_F(BadFiles, GarbageFiles) {
    std::uint32_t seed = 1;
    for (const fs::path &f : files_of({".obj", ".mtl", ".png", ".wav", ".ttf", ".rgs"}))
        write_file(f, garbage(std::max<std::size_t>(read_file(f).size(), 64), seed++));
    expect_play_warning_about({".obj", ".png", ".wav", ".ttf"});
}

TEST_F(BadFiles, EmptyFiles) {
    for (const fs::path &f : files_of({".obj", ".mtl", ".png", ".wav", ".ttf", ".rgs", ".vs", ".fs"}))
        write_file(f, "");
    expect_play_warning_about({".obj", ".png", ".wav", ".ttf", ".vs", ".fs"});
}

TEST_F(BadFiles, HeadersThatLie) {
    // PNG: a real signature and IHDR claiming 2^31 - 1 pixels a side.
    for (const fs::path &f : files_of({".png"})) {
        std::string png = read_file(f);
        put_be32(png, 16, 0x7FFFFFFFu);
        put_be32(png, 20, 0x7FFFFFFFu);
        write_file(f, png);
    }
    // WAV: the RIFF and data sizes far past the end, zero channels, an absurd rate.
    for (const fs::path &f : files_of({".wav"})) {
        std::string wav = read_file(f);
        ASSERT_GE(wav.size(), 44u);
        put_u32(wav, 4, 0xFFFFFFF0u);
        put_u16(wav, 22, 0);
        put_u32(wav, 24, 0xFFFFFFFFu);
        put_u32(wav, 40, 0x7FFFFFF0u);
        write_file(f, wav);
    }
    // TTF: a table directory whose tables point far outside the file.
    for (const fs::path &f : files_of({".ttf"})) {
        std::string ttf = read_file(f);
        const std::size_t tables = (static_cast<unsigned char>(ttf[4]) << 8) | static_cast<unsigned char>(ttf[5]);
        for (std::size_t t = 0; t < tables && 12 + 16 * t + 16 <= ttf.size(); ++t) {
            put_be32(ttf, 12 + 16 * t + 8, 0x7FFFFF00u);   // offset
            put_be32(ttf, 12 + 16 * t + 12, 0x7FFFFF00u);  // length
        }
        write_file(f, ttf);
    }
    // OBJ: faces naming vertices, normals and texture coordinates that do not exist,
    // a zero index, huge numbers and a material library that is not there.
    for (const fs::path &f : files_of({".obj"})) {
        write_file(f, "mtllib nowhere.mtl\n"
                      "v 0 0 0\nv 1 0 0\nv 0 1 0\n"
                      "vt 0 0\nvn 0 0 1\n"
                      "usemtl missing\n"
                      "f 1/1/1 2/1/1 3/1/1\n"
                      "f 1/9/9 2/9/9 99999/1/1\n"
                      "f -7 -8 -9\n"
                      "f 0 1 2\n"
                      "f 4294967296 1 2\n"
                      "v 1e999 nan -inf\n"
                      "f 1 2 4\n");
    }
    // MTL: values out of every range.
    for (const fs::path &f : files_of({".mtl"})) {
        write_file(f, "newmtl a\nKd 1e30 -5 nan\nNs -1e9\nd 7\nmap_Kd ../../../../nonexistent.png\n"
                      "newmtl\nKd\n");
    }
    // Style file: controls and properties far outside the tables, and fonts that do
    // not exist or are not fonts.
    for (const fs::path &f : files_of({".rgs"})) {
        write_file(f, "p 999 0 0xffffffff\n"
                      "p 0 999 0x00000000\n"
                      "p -1 -1 0x12345678\n"
                      "p 2 4294967297 0x1\n"
                      "p 0 16 0xffffffff\n"
                      "p 0 16 -5\n"
                      "f 0 nothing.txt nothing.ttf\n"
                      "f 99999 ui_theme.rgs ui_theme.rgs\n"
                      "f -3 x y\n"
                      "p\nf\n");
    }
    expect_play_warning_about({".png", ".wav", ".ttf"});
}

TEST_F(BadFiles, FilesCutInHalf) {
    // Headers whole, data cut short: the font's table directory points past the end of
    // the file, the image's compressed stream stops, the waves lose their tail.
    for (const fs::path &f : files_of({".ttf", ".png", ".wav"})) {
        const std::string bytes = read_file(f);
        write_file(f, bytes.substr(0, bytes.size() / 2));
    }
    expect_play_warning_about({".ttf", ".png"});
}

TEST_F(BadFiles, MissingFiles) {
    const auto files = files_of({".obj", ".mtl", ".png", ".wav", ".ttf", ".rgs"});
    for (const fs::path &f : files) fs::remove(f);
    in_fresh_process([&] {
        ASSERT_TRUE(play_every_screen()) << log_text();
        for (const fs::path &f : files) {
            if (f.extension() == ".mtl" || f.extension() == ".rgs") continue;  // a missing style is no error
            EXPECT_TRUE(warned_about(f)) << f << "\n" << log_text();
        }
    });
}

TEST_F(BadFiles, NoAssetsFolderAtAll) {
    // Started from the wrong folder: the line after the version says where the game
    // looked and how to start it, once; then the game runs as it does with every file
    // missing.
    fs::remove_all("assets");
    const std::string looked = (fs::current_path() / "assets").string();
    in_fresh_process([&] {
        ASSERT_TRUE(play_every_screen()) << log_text();
        ASSERT_GE(log_.size(), 2u);
        EXPECT_EQ(log_[0].rfind("INFO: vorbel ", 0), 0u) << log_[0];
        EXPECT_EQ(log_[1].rfind("ERROR", 0), 0u) << log_[1];
        EXPECT_NE(log_[1].find(looked + ";"), std::string::npos) << log_[1];
        EXPECT_NE(log_[1].find("./run.sh"), std::string::npos) << log_[1];
        EXPECT_EQ(std::count_if(log_.begin(), log_.end(),
                                [](const std::string &l) { return l.find("no assets folder") != std::string::npos; }),
                  1);
    });
}

TEST_F(BadFiles, PrefetchChangesNothingStartUpPrints) {
    // Start-up decodes files on worker threads while the window opens; what it prints,
    // and in which order, must be what loading each file in its turn prints, whether
    // the files are whole, missing or damaged.
    struct Case {
        const char *name;
        std::function<void()> spoil;
    };
    const Case cases[] = {
        {"whole files", [] {}},
        {"missing files",
         [] {
             for (const char *f : {"assets/audio/click.wav", "assets/models/tomato.obj", "assets/textures/particle.png",
                                   "assets/fonts/GloriaHallelujah-Regular.ttf"})
                 fs::remove(f);
         }},
        {"damaged files",
         [] {
             write_file("assets/audio/step-3.wav", garbage(400, 3));
             write_file("assets/models/button.obj", "v 0 0 0\nv 1 0 0\nf 1 2 99\nusemtl x\nf 1 2\n");
             write_file("assets/textures/particle.png", read_file("assets/textures/particle.png").substr(0, 60));
             const std::string font = read_file("assets/fonts/GloriaHallelujah-Regular.ttf");
             write_file("assets/fonts/GloriaHallelujah-Regular.ttf", font.substr(0, font.size() / 3));
         }},
    };
    for (const Case &c : cases) {
        fs::remove_all("assets");
        fs::copy(home_ / "assets", "assets", fs::copy_options::recursive);
        c.spoil();
        std::vector<std::string> logs[2];
        for (int prefetch = 0; prefetch < 2; ++prefetch) {
            const std::string out = "start-up-" + std::to_string(prefetch) + ".log";
            in_fresh_process([&] {
                testing_skip_prefetch(prefetch == 0);
                testing_set_fixed_frame_time(1.0 / 30.0);
                const test_support::LogCapture capture;
                ASSERT_TRUE(init_app());
                run_frame();
                deinit_app();
                std::string text;
                for (const std::string &line : testing_captured_log()) text += line + "\n";
                write_file(out, text);
            });
            const std::string text = read_file(out);
            std::size_t at = 0;
            while (at < text.size()) {
                const std::size_t end = text.find('\n', at);
                logs[prefetch].push_back(text.substr(at, end - at));
                at = end + 1;
            }
        }
        EXPECT_GT(logs[0].size(), 40u) << c.name;
        EXPECT_EQ(logs[1], logs[0]) << c.name;
    }
}

}  // namespace
