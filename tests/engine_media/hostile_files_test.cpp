// Files no loader should trust: pipes, devices and folders in place of a file, files
// far larger than any real one, and headers that ask for absurd amounts of memory.
// Each is refused at once with a WARNING and an empty result; none may block.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "raygui.h"
#include "raylib.h"
#include "rlgl.h"
#include "support/files.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "support/test_window.h"
#include "support/wav_file.h"
#include "testing.h"

namespace {

using Loader = std::function<bool(const std::string &path)>;  // true if it loaded

struct Kind {
    const char *name;
    const char *extension;
    Loader load;
};

const std::vector<Kind> &kinds() {
    static const std::vector<Kind> all = {
        {"font", ".ttf",
         [](const std::string &p) {
             Font f = LoadFontEx(p.c_str(), 32, nullptr, 0);
             const bool loaded = f.texture.id != GetFontDefault().texture.id;
             UnloadFont(f);
             return loaded;
         }},
        {"image", ".png",
         [](const std::string &p) {
             Image i = LoadImage(p.c_str());
             UnloadImage(i);
             return i.data != nullptr;
         }},
        {"wave", ".wav",
         [](const std::string &p) {
             Wave w = LoadWave(p.c_str());
             UnloadWave(w);
             return w.data != nullptr;
         }},
        {"style", ".rgs",
         [](const std::string &p) {
             GuiLoadStyleDefault();
             GuiLoadStyle(p.c_str());
             return GuiGetStyle(BUTTON, BASE_COLOR_NORMAL) == 0x11223344;
         }},
        {"shader", ".fs",
         [](const std::string &p) {
             Shader s = LoadShader(nullptr, p.c_str());
             const bool loaded = s.id != rlGetShaderIdDefault();
             UnloadShader(s);
             return loaded;
         }},
        {"model", ".obj",
         [](const std::string &p) {
             Model m = LoadModel(p.c_str());
             UnloadModel(m);
             return m.meshCount > 0;
         }},
        {"file data", ".bin",
         [](const std::string &p) {
             int size = 0;
             unsigned char *d = LoadFileData(p.c_str(), &size);
             UnloadFileData(d);
             return d != nullptr;
         }},
    };
    return all;
}

const Kind &kind(const char *name) {
    for (const Kind &k : kinds())
        if (std::string(k.name) == name) return k;
    return kinds().front();
}

std::string le32(std::uint32_t v) {
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
}

// A PNG whose header claims width x height; the pixel data is a few bytes only.
std::string png_claiming(std::uint32_t width, std::uint32_t height) {
    auto be = [](std::uint32_t v) {
        return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                           static_cast<char>(v)};
    };
    std::string ihdr = be(width) + be(height) + std::string("\x08\x06\x00\x00\x00", 5);
    return std::string("\x89PNG\r\n\x1a\n", 8) + be(13) + "IHDR" + ihdr + be(0) + be(4) + "IDAT" +
           std::string("\x78\x9c\x03\x00", 4) + be(0) + be(0) + "IEND" + be(0);
}

class HostileFiles : public test_support::WindowSuite<160, 120>, protected test_support::ScratchFiles {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.empty());
        // A loader that blocks would hang the suite; this ends it with a clear failure.
        alarm(60);
    }
    void TearDown() override {
        alarm(0);
        GuiLoadStyleDefault();
    }
};

TEST_F(HostileFiles, OnlyRegularFilesAreRead) {
    ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0600), 0);
    ASSERT_EQ(mkdir((dir + "/folder").c_str(), 0700), 0);
    struct Stand {
        const char *name;
        std::string target;
    };
    const Stand stands[] = {{"FIFO", dir + "/fifo"},
                            {"/dev/zero", "/dev/zero"},
                            {"/dev/urandom", "/dev/urandom"},
                            {"folder", dir + "/folder"}};
    for (const Stand &stand : stands) {
        for (const Kind &k : kinds()) {
            SCOPED_TRACE(std::string(k.name) + " linked to " + stand.name);
            const std::string path = dir + "/asset" + k.extension;
            ASSERT_EQ(symlink(stand.target.c_str(), path.c_str()), 0);
            test_support::LogCapture log;
            EXPECT_FALSE(k.load(path));
            EXPECT_TRUE(testing_log_contains(LOG_WARNING, "is not a regular file")) << path;
            unlink(path.c_str());
        }
    }
    // A model whose material library is a pipe: tinyobjloader would wait on it.
    test_support::write_file(dir + "/box.obj", "mtllib fifo\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    test_support::LogCapture log;
    EXPECT_FALSE(kind("model").load(dir + "/box.obj"));
    EXPECT_TRUE(testing_log_contains(LOG_WARNING, "material library"));
}

TEST_F(HostileFiles, OversizeAndAbsurdHeadersAreRefusedBeforeLoading) {
    struct Row {
        const char *name;
        const char *kind;
        std::function<void(const std::string &path)> make;
        bool loads;
        const char *warning;  // a WARNING containing this, when refused
    };
    const std::string style_line = "p 2 1 0x11223344\n";
    const std::vector<Row> rows = {
        {"style of a few lines", "style", [&](const std::string &p) { test_support::write_file(p, style_line); }, true,
         nullptr},
        {"style padded past 64 KiB", "style",
         [&](const std::string &p) { test_support::write_file(p, style_line + std::string(70000, '#') + "\n"); }, false,
         "malformed"},
        {"1 Hz wave", "wave",
         [](const std::string &p) {
             const std::string pcm(117, '\x40');
             test_support::write_wav_file(p, 1, 1, 1, 8, pcm.data(), static_cast<std::uint32_t>(pcm.size()));
         },
         false, "1 Hz"},
        {"1 MHz wave", "wave",
         [](const std::string &p) {
             const std::string pcm(400, '\x40');
             test_support::write_wav_file(p, 1, 1, 1000000, 8, pcm.data(), 400);
         },
         false, "outside"},
        {"wave of six minutes", "wave",
         [](const std::string &p) {
             const std::string pcm(8000 * 360, '\x40');
             test_support::write_wav_file(p, 1, 1, 8000, 8, pcm.data(), static_cast<std::uint32_t>(pcm.size()));
         },
         false, "longer than"},
        {"wave whose data chunk claims 4 GiB", "wave",
         [](const std::string &p) {
             const std::string pcm(8000, '\x40');
             test_support::write_wav_file(p, 1, 1, 8000, 8, pcm.data(), static_cast<std::uint32_t>(pcm.size()));
             std::string bytes = test_support::read_file(p);
             bytes.replace(40, 4, le32(0xFFFFFFF0u));
             test_support::write_file(p, bytes);
         },
         true, nullptr},
        {"PNG claiming 16384 x 16384", "image",
         [](const std::string &p) { test_support::write_file(p, png_claiming(16384, 16384)); }, false, "per side"},
        {"PNG claiming 9000 x 1", "image",
         [](const std::string &p) { test_support::write_file(p, png_claiming(9000, 1)); }, false, "per side"},
        // Past the cap of a million triangles, as separate faces and as one polygon
        // cut into a fan; both would take gigabytes to parse.
        {"OBJ of a million and one triangles", "model",
         [](const std::string &p) {
             std::string obj = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
             for (int i = 0; i < 1000001; i++) obj += "f 1 2 3\n";
             test_support::write_file(p, obj);
         },
         false, "triangles"},
        {"OBJ of one polygon with a million and three corners", "model",
         [](const std::string &p) {
             std::string obj = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf";
             for (int i = 0; i < 1000003; i++) obj += " 1";
             test_support::write_file(p, obj + "\n");
         },
         false, "triangles"},
        {"OBJ of a thousand triangles", "model",
         [](const std::string &p) {
             std::string obj = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
             for (int i = 0; i < 1000; i++) obj += "f 1 2 3\n";
             test_support::write_file(p, obj);
         },
         true, nullptr},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const Kind &k = kind(row.kind);
        const std::string path = dir + "/asset" + k.extension;
        row.make(path);
        test_support::LogCapture log;
        EXPECT_EQ(k.load(path), row.loads);
        if (row.warning != nullptr) {
            EXPECT_TRUE(testing_log_contains(LOG_WARNING, row.warning));
            EXPECT_TRUE(testing_log_contains(LOG_WARNING, path.c_str()));
        }
        unlink(path.c_str());
    }
}

TEST_F(HostileFiles, LongStyleCharsetGivesOneGlyphPerCodePoint) {
    const char *font = "assets/fonts/GloriaHallelujah-Regular.ttf";
    if (!FileExists(font)) GTEST_SKIP() << "no GUI font in the assets";
    // Every code point of the Basic Multilingual Plane below the surrogates, each
    // twice: a list this long must be read in one pass, and the font keeps its first
    // 4096 distinct code points.
    std::string charset;
    for (int round = 0; round < 2; round++)
        for (int cp = 32; cp < 0xD800; cp++) {
            if (cp < 0x80) {
                charset += static_cast<char>(cp);
            } else if (cp < 0x800) {
                charset += static_cast<char>(0xC0 | cp >> 6);
                charset += static_cast<char>(0x80 | (cp & 0x3F));
            } else {
                charset += static_cast<char>(0xE0 | cp >> 12);
                charset += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
                charset += static_cast<char>(0x80 | (cp & 0x3F));
            }
        }
    test_support::write_file(dir + "/charset.txt", charset);
    ASSERT_EQ(symlink((test_support::current_dir() + "/" + font).c_str(), (dir + "/font.ttf").c_str()), 0);
    test_support::write_file(dir + "/style.rgs", "f 16 charset.txt font.ttf\n");
    GuiLoadStyle((dir + "/style.rgs").c_str());
    Font loaded = GuiGetFont();
    ASSERT_NE(loaded.texture.id, GetFontDefault().texture.id);
    EXPECT_EQ(loaded.glyphCount, 4096);
    EXPECT_EQ(loaded.glyphs[0].value, 32);
    EXPECT_EQ(loaded.glyphs[4095].value, 32 + 4095);
}

}  // namespace
