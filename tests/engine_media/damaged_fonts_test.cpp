// Damaged copies of the GUI font: every one either loads as a usable font or gives
// the built-in font with exactly one WARNING. None may crash, hang or abort.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "raylib.h"
#include "support/files.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "support/test_window.h"
#include "testing.h"

namespace {

const char *const gui_font = "assets/fonts/GloriaHallelujah-Regular.ttf";

std::uint32_t be16(const std::string &b, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at]) << 8 | static_cast<unsigned char>(b[at + 1]));
}
std::uint32_t be32(const std::string &b, std::size_t at) { return be16(b, at) << 16 | be16(b, at + 2); }
void put16(std::string &b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<char>(v >> 8);
    b[at + 1] = static_cast<char>(v);
}

// Where each glyph's outline lies in the file.
struct GlyphTable {
    std::size_t glyf = 0, glyf_length = 0;
    std::vector<std::size_t> starts, ends;  // absolute offsets, one per glyph
};

GlyphTable glyph_table(const std::string &b) {
    GlyphTable t;
    std::size_t head = 0, loca = 0, maxp = 0;
    for (std::uint32_t i = 0, n = be16(b, 4); i < n; i++) {
        const std::size_t rec = 12 + 16 * i;
        const std::uint32_t tag = be32(b, rec);
        if (tag == 0x68656164u) head = be32(b, rec + 8);
        if (tag == 0x6C6F6361u) loca = be32(b, rec + 8);
        if (tag == 0x6D617870u) maxp = be32(b, rec + 8);
        if (tag == 0x676C7966u) {
            t.glyf = be32(b, rec + 8);
            t.glyf_length = be32(b, rec + 12);
        }
    }
    const bool long_loca = be16(b, head + 50) != 0;
    for (std::uint32_t g = 0, n = be16(b, maxp + 4); g < n; g++) {
        auto at = [&](std::uint32_t i) -> std::size_t {
            return long_loca ? be32(b, loca + 4 * i) : 2 * be16(b, loca + 2 * i);
        };
        t.starts.push_back(t.glyf + at(g));
        t.ends.push_back(t.glyf + at(g + 1));
    }
    return t;
}

bool is_simple(const std::string &b, const GlyphTable &t, std::size_t g) {
    return t.ends[g] - t.starts[g] >= 10 && be16(b, t.starts[g]) >= 1 && be16(b, t.starts[g]) < 0x8000;
}

// Rewrites every glyph that has room as a composite of `components`: each is (glyph,
// flags, arg1, arg2) with 16-bit arguments; -1 as glyph means the glyph itself. The
// bounding box is kept.
struct Component {
    int glyph;
    std::uint32_t flags;
    std::uint32_t arg1, arg2;
};
std::string composites(std::string b, const std::vector<Component> &components, std::size_t spare) {
    constexpr std::uint32_t words = 0x0001, more = 0x0020;
    const GlyphTable t = glyph_table(b);
    for (std::size_t g = 0; g < t.starts.size(); g++) {
        if (g == spare || t.ends[g] - t.starts[g] < 10 + 8 * components.size()) continue;
        std::size_t at = t.starts[g];
        put16(b, at, 0xFFFF);  // numberOfContours -1: a composite
        at += 10;
        for (std::size_t c = 0; c < components.size(); c++) {
            const Component &k = components[c];
            put16(b, at, k.flags | words | (c + 1 < components.size() ? more : 0));
            put16(b, at + 2, k.glyph < 0 ? static_cast<std::uint32_t>(g) : static_cast<std::uint32_t>(k.glyph));
            put16(b, at + 4, k.arg1);
            put16(b, at + 6, k.arg2);
            at += 8;
        }
    }
    return b;
}

enum class Outcome { loads, refused, either };

struct Damage {
    const char *name;
    Outcome expected;
    std::string bytes;
};

using DamagedFonts = test_support::WindowSuite<320, 200>;

TEST_F(DamagedFonts, LoadOrFallBackWithOneWarning) {
    const std::string good = test_support::read_file(gui_font);
    if (good.empty()) GTEST_SKIP() << "no GUI font in the assets (scripts/setup.sh fetches it)";
    const GlyphTable t = glyph_table(good);
    ASSERT_GT(t.starts.size(), 100u);
    std::size_t simple = 0;
    while (simple < t.starts.size() && !is_simple(good, t, simple)) simple++;
    ASSERT_LT(simple, t.starts.size());
    constexpr std::uint32_t xy = 0x0002;  // arguments are offsets, not point numbers

    std::vector<Damage> rows;
    rows.push_back({"undamaged", Outcome::loads, good});
    {
        // One byte inside an outline's flags and coordinates.
        std::string b = good;
        ASSERT_GT(24108u, t.glyf);
        ASSERT_LT(24108u, t.glyf + t.glyf_length);
        b[24108] = static_cast<char>(0xE5);
        rows.push_back({"one byte in the glyph data", Outcome::either, b});
    }
    rows.push_back(
        {"glyphs made of themselves", Outcome::refused, composites(good, {{-1, xy, 0, 0}}, t.starts.size())});
    // The second component is placed by matching its point 0 to the first's point 0.
    rows.push_back(
        {"point-matching composites", Outcome::loads,
         composites(good, {{static_cast<int>(simple), xy, 0, 0}, {static_cast<int>(simple), 0, 0, 0}}, simple)});
    std::mt19937 random(20261207);
    for (int n = 0; n < 30; n++) {
        std::string b = good;
        const std::size_t length = 1 + random() % 64;
        for (std::size_t i = 0; i < length; i++) b[t.glyf + random() % t.glyf_length] = static_cast<char>(random());
        rows.push_back({"random changes in the glyph table", Outcome::either, b});
    }

    const std::string dir = test_support::make_scratch_dir("damaged_fonts_");
    ASSERT_FALSE(dir.empty());
    const std::string path = dir + "/font.ttf";
    const unsigned int builtin = GetFontDefault().texture.id;
    int loaded = 0;
    for (std::size_t r = 0; r < rows.size(); r++) {
        const Damage &row = rows[r];
        SCOPED_TRACE(std::string(row.name) + " (row " + std::to_string(r) + ")");
        test_support::write_file(path, row.bytes);
        test_support::LogCapture log;
        Font font = LoadFontEx(path.c_str(), 48, nullptr, 0);
        const int warnings = test_support::warnings_naming("");
        if (font.texture.id == builtin) {
            EXPECT_NE(row.expected, Outcome::loads);
            EXPECT_EQ(warnings, 1);
            EXPECT_TRUE(testing_log_contains(LOG_WARNING, path.c_str()));
        } else {
            loaded++;
            EXPECT_NE(row.expected, Outcome::refused);
            EXPECT_EQ(warnings, 0);
            ASSERT_EQ(font.glyphCount, 95);
            EXPECT_EQ(font.baseSize, 48);
            for (int i = 0; i < font.glyphCount; i++) {
                const Rectangle &rec = font.recs[i];
                EXPECT_TRUE(rec.x >= 0 && rec.y >= 0 && rec.x + rec.width <= static_cast<float>(font.texture.width) &&
                            rec.y + rec.height <= static_cast<float>(font.texture.height))
                    << "glyph " << font.glyphs[i].value;
            }
        }
        // Whatever came back draws.
        BeginDrawing();
        ClearBackground(BLACK);
        DrawTextEx(font, "PLAY SETTINGS EXIT ~!@#", Vector2{4, 4}, 48, 3, WHITE);
        EndDrawing();
        UnloadFont(font);
    }
    EXPECT_GE(loaded, 2);  // at least the undamaged and the point-matching rows
    test_support::remove_scratch_dir(dir);
}

}  // namespace
