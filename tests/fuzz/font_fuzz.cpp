// Throws arbitrary bytes at the font rasteriser as if they were a font file: every
// input either gives an atlas whose glyphs lie inside it without overlapping, or is
// refused with a reason. Crashes, leaks and sanitizer reports fail the run.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "font_atlas.h"

namespace {

[[noreturn]] void fail(const char *what, int glyph) {
    std::fprintf(stderr, "font fuzz: %s (glyph %d)\n", what, glyph);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // The pixel size follows the input's length, so sizes vary without a header byte
    // that would stop the seeds from being plain font files.
    const int pixel_height = 6 + static_cast<int>(size % 90);
    const engine::FontAtlas atlas = engine::rasterize_font_atlas(data, size, pixel_height, nullptr, 0, 1024);
    if (atlas.error != nullptr) {
        if (!atlas.glyphs.empty() || !atlas.alpha.empty()) fail("a refused font came with glyphs", -1);
        return 0;
    }
    if (atlas.width < 128 || atlas.width > 1024 || atlas.height != atlas.width) fail("odd atlas size", -1);
    if (atlas.alpha.size() != static_cast<std::size_t>(atlas.width) * static_cast<std::size_t>(atlas.height))
        fail("atlas pixels do not match its size", -1);
    if (atlas.glyphs.size() != 95) fail("not one glyph per printable character", -1);
    for (std::size_t i = 0; i < atlas.glyphs.size(); i++) {
        const engine::AtlasGlyph &g = atlas.glyphs[i];
        const int n = static_cast<int>(i);
        if (g.value != 32 + n) fail("glyph out of order", n);
        if (g.width < 0 || g.height < 0 || g.x < 0 || g.y < 0 || g.x + g.width > atlas.width ||
            g.y + g.height > atlas.height)
            fail("glyph outside the atlas", n);
        for (std::size_t j = 0; j < i; j++) {
            const engine::AtlasGlyph &o = atlas.glyphs[j];
            const bool same_place = o.x == g.x && o.y == g.y && o.width == g.width && o.height == g.height;
            const bool apart =
                g.x + g.width <= o.x || o.x + o.width <= g.x || g.y + g.height <= o.y || o.y + o.height <= g.y;
            if (!same_place && !apart && g.width > 0 && g.height > 0 && o.width > 0 && o.height > 0)
                fail("glyphs overlap", n);
        }
    }
    return 0;
}
