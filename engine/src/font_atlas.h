// Rasterising a TrueType/OpenType file into one glyph atlas, through FreeType.
//
// A pure function of (file bytes, pixel size, code points, largest side): no GL, no
// engine state and a FreeType library of its own per call, so it may run on any thread
// and is what the font fuzzer drives. LoadFontEx uploads the result.
#ifndef ENGINE_FONT_ATLAS_H
#define ENGINE_FONT_ATLAS_H

#include <cstddef>
#include <vector>

namespace engine {

struct AtlasGlyph {
    int value = 0;                            // code point
    int x = 0, y = 0, width = 0, height = 0;  // the glyph's pixels in the atlas
    int offset_x = 0;                         // from the pen position to the bitmap's left edge
    int offset_y = 0;                         // from the top of the line (ascent) to the bitmap's top edge
    int advance_x = 0;
};

struct FontAtlas {
    const char *error = nullptr;  // null when the atlas was made; otherwise why not
    int width = 0;
    int height = 0;
    std::vector<unsigned char> alpha;  // width * height coverage values, top row first
    std::vector<AtlasGlyph> glyphs;    // one per requested code point, in order
};

// Glyphs for `codepoints` (printable ASCII when null or count < 1; at most 4096) at
// `pixel_height` (ascent to descent), packed 2 pixels apart into the smallest power-
// of-two square from 128 up to `max_side`. Any glyph FreeType refuses, or one too
// large for the atlas, fails the whole font.
FontAtlas rasterize_font_atlas(const unsigned char *data, std::size_t size, int pixel_height, const int *codepoints,
                               int count, int max_side);

}  // namespace engine

#endif  // ENGINE_FONT_ATLAS_H
