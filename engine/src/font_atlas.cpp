// FreeType reads the font (it checks every table and glyph it touches, so a damaged
// file gives an error instead of a crash); stb_rect_pack places the glyphs. Glyphs are
// loaded unscaled and scaled here, so the pixel size means ascent to descent and
// FreeType's whole-pixel size rounding for hinting never changes the metrics.
#include "font_atlas.h"

#if defined(__EMSCRIPTEN__)
#include <stb_truetype.h>
#else
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#endif
#include <stb_rect_pack.h>

#include <cmath>
#include <cstdint>

namespace engine {
namespace {

constexpr int padding = 2;  // empty pixels between glyphs, so filtering never bleeds
constexpr int max_glyphs = 4096;

// A glyph's bitmap box in pixels, y down from the baseline, and its advance.
struct Box {
    unsigned index = 0;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    int advance = 0;
};

// Whole pixels covering a glyph's box in font units (y up) at `scale`; false for a box
// no atlas could hold (a damaged outline or metrics can claim coordinates far outside
// the em).
bool measure_units(double x_min, double y_min, double x_max, double y_max, double advance_units, double scale,
                   int max_side, Box &box) {
    const double x0 = std::floor(x_min * scale);
    const double y0 = std::floor(-y_max * scale);
    const double x1 = std::ceil(x_max * scale);
    const double y1 = std::ceil(-y_min * scale);
    const double advance = std::round(advance_units * scale);
    const double limit = static_cast<double>(max_side);
    if (!(x1 - x0 <= limit - padding && y1 - y0 <= limit - padding)) return false;
    if (!(std::fabs(x0) <= limit && std::fabs(y0) <= limit && std::fabs(advance) <= 4 * limit)) return false;
    box.x0 = static_cast<int>(x0);
    box.y0 = static_cast<int>(y0);
    box.x1 = static_cast<int>(x1);
    box.y1 = static_cast<int>(y1);
    box.advance = static_cast<int>(advance);
    return true;
}

#if !defined(__EMSCRIPTEN__)
constexpr FT_Int32 load_flags = FT_LOAD_NO_SCALE | FT_LOAD_NO_BITMAP | FT_LOAD_IGNORE_TRANSFORM;

struct FreeType {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    FreeType() = default;
    FreeType(const FreeType &) = delete;
    FreeType &operator=(const FreeType &) = delete;
    ~FreeType() {
        if (face != nullptr) FT_Done_Face(face);
        if (library != nullptr) FT_Done_FreeType(library);
    }
};

bool load_glyph(FT_Face face, unsigned index) {
    return FT_Load_Glyph(face, index, load_flags) == 0 && face->glyph->format == FT_GLYPH_FORMAT_OUTLINE;
}

// Whole pixels covering the loaded glyph's outline at `scale`.
bool measure(FT_Face face, double scale, int max_side, Box &box) {
    FT_BBox cbox;
    FT_Outline_Get_CBox(&face->glyph->outline, &cbox);
    return measure_units(static_cast<double>(cbox.xMin), static_cast<double>(cbox.yMin), static_cast<double>(cbox.xMax),
                         static_cast<double>(cbox.yMax), static_cast<double>(face->glyph->advance.x), scale, max_side,
                         box);
}

// Renders the loaded glyph's outline into the atlas with its box's top-left corner at
// (x, y).
bool render(FT_Library library, FT_Face face, double scale, const Box &box, FontAtlas &atlas, int x, int y) {
    const int w = box.x1 - box.x0;
    const int h = box.y1 - box.y0;
    if (w <= 0 || h <= 0) return true;
    FT_Outline *outline = &face->glyph->outline;
    // Font units to 26.6 pixels, then the box's bottom-left corner to the origin.
    const auto fixed = static_cast<FT_Fixed>(std::lround(scale * 64.0 * 65536.0));
    FT_Matrix matrix = {fixed, 0, 0, fixed};
    FT_Outline_Transform(outline, &matrix);
    FT_Outline_Translate(outline, -static_cast<FT_Pos>(box.x0) * 64, static_cast<FT_Pos>(box.y1) * 64);
    FT_Bitmap bitmap{};
    bitmap.rows = static_cast<unsigned>(h);
    bitmap.width = static_cast<unsigned>(w);
    bitmap.pitch = atlas.width;  // positive: the first row is the top one
    bitmap.buffer = atlas.alpha.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(atlas.width) +
                    static_cast<std::size_t>(x);
    bitmap.num_grays = 256;
    bitmap.pixel_mode = FT_PIXEL_MODE_GRAY;
    return FT_Outline_Get_Bitmap(library, outline, &bitmap) == 0;
}

// The face the atlas is drawn from, FreeType's.
struct Face {
    FreeType ft;
    const char *open(const unsigned char *data, std::size_t size) {
        if (FT_Init_FreeType(&ft.library) != 0) return "FreeType could not start";
        if (FT_New_Memory_Face(ft.library, data, static_cast<FT_Long>(size), 0, &ft.face) != 0)
            return "FreeType cannot read it";
        if (!FT_IS_SCALABLE(ft.face)) return "it has no outlines";
        return nullptr;
    }
    int ascender() const { return ft.face->ascender; }
    int descender() const { return ft.face->descender; }
    unsigned glyph_index(int cp) const { return FT_Get_Char_Index(ft.face, static_cast<FT_ULong>(cp)); }
    const char *measure_glyph(double scale, int max_side, Box &box) {
        if (!load_glyph(ft.face, box.index)) return "a glyph is damaged";
        if (!measure(ft.face, scale, max_side, box)) return "a glyph is too large";
        return nullptr;
    }
    bool draw_glyph(double scale, const Box &box, FontAtlas &atlas, int x, int y) {
        return load_glyph(ft.face, box.index) && render(ft.library, ft.face, scale, box, atlas, x, y);
    }
};
#else
// The face the atlas is drawn from: stb_truetype's in the browser build, which has no
// FreeType. It reads only the game's own font there.
struct Face {
    stbtt_fontinfo info{};
    const char *open(const unsigned char *data, std::size_t) {
        const int offset = stbtt_GetFontOffsetForIndex(data, 0);
        if (offset < 0 || stbtt_InitFont(&info, data, offset) == 0) return "it cannot be read";
        return nullptr;
    }
    int ascender() const {
        int ascent = 0, descent = 0, gap = 0;
        stbtt_GetFontVMetrics(&info, &ascent, &descent, &gap);
        return ascent;
    }
    int descender() const {
        int ascent = 0, descent = 0, gap = 0;
        stbtt_GetFontVMetrics(&info, &ascent, &descent, &gap);
        return descent;
    }
    unsigned glyph_index(int cp) const { return static_cast<unsigned>(stbtt_FindGlyphIndex(&info, cp)); }
    const char *measure_glyph(double scale, int max_side, Box &box) {
        const int index = static_cast<int>(box.index);
        int x0 = 0, y0 = 0, x1 = 0, y1 = 0, advance = 0, bearing = 0;
        stbtt_GetGlyphHMetrics(&info, index, &advance, &bearing);
        if (stbtt_IsGlyphEmpty(&info, index) == 0 && stbtt_GetGlyphBox(&info, index, &x0, &y0, &x1, &y1) == 0)
            return "a glyph is damaged";
        if (!measure_units(x0, y0, x1, y1, advance, scale, max_side, box)) return "a glyph is too large";
        return nullptr;
    }
    bool draw_glyph(double scale, const Box &box, FontAtlas &atlas, int x, int y) {
        const int w = box.x1 - box.x0;
        const int h = box.y1 - box.y0;
        if (w <= 0 || h <= 0) return true;
        unsigned char *out = atlas.alpha.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(atlas.width) +
                             static_cast<std::size_t>(x);
        const auto f = static_cast<float>(scale);
        stbtt_MakeGlyphBitmap(&info, out, w, h, atlas.width, f, f, static_cast<int>(box.index));
        return true;
    }
};
#endif

// Packs the rectangles into a side x side square; true if every one found a place.
bool pack(std::vector<stbrp_rect> &rects, int side) {
    std::vector<stbrp_node> nodes(static_cast<std::size_t>(side - padding));
    stbrp_context context;
    stbrp_init_target(&context, side - padding, side - padding, nodes.data(), side - padding);
    stbrp_pack_rects(&context, rects.data(), static_cast<int>(rects.size()));
    for (const stbrp_rect &r : rects)
        if (r.was_packed == 0) return false;
    return true;
}

std::uint32_t be32(const unsigned char *p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

// FreeType reads a font cut short as far as it goes and gives the missing glyphs no
// outline; a file whose table directory points past its end is refused instead.
bool tables_inside(const unsigned char *data, std::size_t size) {
    std::size_t font = 0;
    if (size >= 16 && be32(data) == 0x74746366u) font = be32(data + 12);  // 'ttcf': the first font
    if (font > size || size - font < 12) return false;
    const std::size_t tables = static_cast<std::size_t>(data[font + 4]) << 8 | data[font + 5];
    if ((size - font - 12) / 16 < tables) return false;
    for (std::size_t t = 0; t < tables; t++) {
        const unsigned char *record = data + font + 12 + 16 * t;
        const std::uint64_t offset = be32(record + 8), length = be32(record + 12);
        if (offset + length > size) return false;
    }
    return true;
}

FontAtlas failed(const char *why) {
    FontAtlas atlas;
    atlas.error = why;
    return atlas;
}

}  // namespace

FontAtlas rasterize_font_atlas(const unsigned char *data, std::size_t size, int pixel_height, const int *codepoints,
                               int count, int max_side) {
    if (data == nullptr || size == 0 || size > 0x7fffffff) return failed("the file is empty or too large");
    if (pixel_height < 1 || max_side < 128) return failed("the size is invalid");
    const bool ascii = codepoints == nullptr || count < 1;
    if (ascii) count = 95;
    if (count > max_glyphs) count = max_glyphs;

    if (!tables_inside(data, size)) return failed("it is cut short");
    Face face;
    if (const char *why = face.open(data, size)) return failed(why);
    const int em_height = face.ascender() - face.descender();
    if (em_height <= 0) return failed("its ascent and descent are invalid");
    const double scale = static_cast<double>(pixel_height) / static_cast<double>(em_height);

    // Every glyph is loaded once to find its box; the first missing one (glyph 0)
    // is drawn, later ones share it.
    std::vector<Box> boxes(static_cast<std::size_t>(count));
    std::vector<stbrp_rect> rects(static_cast<std::size_t>(count));
    int first_missing = -1;
    for (int i = 0; i < count; i++) {
        const int cp = ascii ? 32 + i : codepoints[i];
        Box &box = boxes[static_cast<std::size_t>(i)];
        box.index = cp < 0 ? 0 : face.glyph_index(cp);
        stbrp_rect &r = rects[static_cast<std::size_t>(i)];
        r.id = i;
        r.w = r.h = 0;
        if (box.index == 0 && first_missing >= 0) continue;
        if (box.index == 0) first_missing = i;
        if (const char *why = face.measure_glyph(scale, max_side, box)) return failed(why);
        r.w = box.x1 - box.x0 + padding;
        r.h = box.y1 - box.y0 + padding;
    }

    int side = 128;
    while (!pack(rects, side)) {
        if (side > max_side / 2) return failed("its glyphs do not fit one texture");
        side *= 2;
    }

    FontAtlas atlas;
    atlas.width = side;
    atlas.height = side;
    atlas.alpha.assign(static_cast<std::size_t>(side) * static_cast<std::size_t>(side), 0);
    atlas.glyphs.resize(static_cast<std::size_t>(count));
    const double ascent = static_cast<double>(face.ascender()) * scale;
    for (int i = 0; i < count; i++) {
        const Box &box = boxes[static_cast<std::size_t>(i)];
        const stbrp_rect &r = rects[static_cast<std::size_t>(i)];
        AtlasGlyph &g = atlas.glyphs[static_cast<std::size_t>(i)];
        g.value = ascii ? 32 + i : codepoints[i];
        if (r.w == 0) {  // a later missing glyph: the first one's picture
            AtlasGlyph shared = atlas.glyphs[static_cast<std::size_t>(first_missing)];
            shared.value = g.value;
            g = shared;
            continue;
        }
        g.x = r.x + padding;
        g.y = r.y + padding;
        g.width = box.x1 - box.x0;
        g.height = box.y1 - box.y0;
        g.offset_x = box.x0;
        g.offset_y = static_cast<int>(std::lround(static_cast<double>(box.y0) + ascent));
        g.advance_x = box.advance;
        if (!face.draw_glyph(scale, box, atlas, g.x, g.y)) return failed("a glyph cannot be drawn");
    }
    return atlas;
}

}  // namespace engine
