// Text: the built-in 10-pixel bitmap font, TrueType fonts rasterised into one atlas
// (stb_truetype + stb_rect_pack), drawing, measuring and TextFormat.
#include "internal.h"
#include "raylib.h"
#include "rlgl.h"

#include <stb_rect_pack.h>
#include <stb_truetype.h>

#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <unordered_map>

namespace {

// The built-in font: one entry per printable ASCII character from 32 to 126.
// Rows run top-down from the second pixel row of the 10-pixel cell; rows are
// separated by '|' and all rows of a glyph have its width; '#' is ink. Capitals
// and digits are 7 rows tall, descenders reach rows 8 and 9.
const char *const builtin_glyphs[95] = {
    "...",                                                    // space
    "#|#|#|#|#|.|#",                                          // !
    "#.#|#.#",                                                // "
    ".#.#.|.#.#.|#####|.#.#.|#####|.#.#.|.#.#.",              // #
    "..#..|.####|#.#..|.###.|..#.#|####.|..#..",              // $
    "##..#|##..#|...#.|..#..|.#...|#..##|#..##",              // %
    ".##..|#..#.|#.#..|.#...|#.#.#|#..#.|.##.#",              // &
    "#|#",                                                    // '
    ".#|#.|#.|#.|#.|#.|.#",                                   // (
    "#.|.#|.#|.#|.#|.#|#.",                                   // )
    ".....|..#..|#.#.#|.###.|#.#.#|..#..",                    // *
    ".....|..#..|..#..|#####|..#..|..#..",                    // +
    "..|..|..|..|..|.#|.#|#.",                                // ,
    "....|....|....|####",                                    // -
    ".|.|.|.|.|.|#",                                          // .
    "....#|....#|...#.|..#..|.#...|#....|#....",              // /
    ".###.|#...#|#..##|#.#.#|##..#|#...#|.###.",              // 0
    ".#.|##.|.#.|.#.|.#.|.#.|###",                            // 1
    ".###.|#...#|....#|...#.|..#..|.#...|#####",              // 2
    "####.|....#|....#|.###.|....#|....#|####.",              // 3
    "...#.|..##.|.#.#.|#..#.|#####|...#.|...#.",              // 4
    "#####|#....|####.|....#|....#|#...#|.###.",              // 5
    ".###.|#....|#....|####.|#...#|#...#|.###.",              // 6
    "#####|....#|...#.|..#..|.#...|.#...|.#...",              // 7
    ".###.|#...#|#...#|.###.|#...#|#...#|.###.",              // 8
    ".###.|#...#|#...#|.####|....#|....#|.###.",              // 9
    ".|.|#|.|.|#",                                            // :
    "..|..|.#|..|..|.#|#.",                                   // ;
    "...#|..#.|.#..|#...|.#..|..#.|...#",                     // <
    "....|....|####|....|####",                               // =
    "#...|.#..|..#.|...#|..#.|.#..|#...",                     // >
    ".###.|#...#|....#|...#.|..#..|.....|..#..",              // ?
    ".###.|#...#|#.###|#.#.#|#.###|#....|.###.",              // @
    ".###.|#...#|#...#|#####|#...#|#...#|#...#",              // A
    "####.|#...#|#...#|####.|#...#|#...#|####.",              // B
    ".###.|#...#|#....|#....|#....|#...#|.###.",              // C
    "####.|#...#|#...#|#...#|#...#|#...#|####.",              // D
    "#####|#....|#....|####.|#....|#....|#####",              // E
    "#####|#....|#....|####.|#....|#....|#....",              // F
    ".###.|#...#|#....|#.###|#...#|#...#|.####",              // G
    "#...#|#...#|#...#|#####|#...#|#...#|#...#",              // H
    "###|.#.|.#.|.#.|.#.|.#.|###",                            // I
    "..###|...#.|...#.|...#.|#..#.|#..#.|.##..",              // J
    "#...#|#..#.|#.#..|##...|#.#..|#..#.|#...#",              // K
    "#....|#....|#....|#....|#....|#....|#####",              // L
    "#...#|##.##|#.#.#|#.#.#|#...#|#...#|#...#",              // M
    "#...#|##..#|#.#.#|#..##|#...#|#...#|#...#",              // N
    ".###.|#...#|#...#|#...#|#...#|#...#|.###.",              // O
    "####.|#...#|#...#|####.|#....|#....|#....",              // P
    ".###.|#...#|#...#|#...#|#.#.#|#..#.|.##.#",              // Q
    "####.|#...#|#...#|####.|#.#..|#..#.|#...#",              // R
    ".####|#....|#....|.###.|....#|....#|####.",              // S
    "#####|..#..|..#..|..#..|..#..|..#..|..#..",              // T
    "#...#|#...#|#...#|#...#|#...#|#...#|.###.",              // U
    "#...#|#...#|#...#|#...#|#...#|.#.#.|..#..",              // V
    "#...#|#...#|#...#|#.#.#|#.#.#|##.##|#...#",              // W
    "#...#|#...#|.#.#.|..#..|.#.#.|#...#|#...#",              // X
    "#...#|#...#|.#.#.|..#..|..#..|..#..|..#..",              // Y
    "#####|....#|...#.|..#..|.#...|#....|#####",              // Z
    "##|#.|#.|#.|#.|#.|##",                                   // [
    "#....|#....|.#...|..#..|...#.|....#|....#",              // backslash
    "##|.#|.#|.#|.#|.#|##",                                   // ]
    "..#..|.#.#.|#...#",                                      // ^
    ".....|.....|.....|.....|.....|.....|.....|#####",        // _
    "#.|.#",                                                  // `
    ".....|.....|.###.|....#|.####|#...#|.####",              // a
    "#....|#....|####.|#...#|#...#|#...#|####.",              // b
    "....|....|.###|#...|#...|#...|.###",                     // c
    "....#|....#|.####|#...#|#...#|#...#|.####",              // d
    ".....|.....|.###.|#...#|#####|#....|.###.",              // e
    "..##|.#..|####|.#..|.#..|.#..|.#..",                     // f
    ".....|.....|.####|#...#|#...#|#...#|.####|....#|.###.",  // g
    "#....|#....|####.|#...#|#...#|#...#|#...#",              // h
    "#|.|#|#|#|#|#",                                          // i
    "..#|...|.##|..#|..#|..#|..#|#.#|.#.",                    // j
    "#...|#...|#..#|#.#.|##..|#.#.|#..#",                     // k
    "#.|#.|#.|#.|#.|#.|.#",                                   // l
    ".....|.....|##.#.|#.#.#|#.#.#|#.#.#|#.#.#",              // m
    "....|....|###.|#..#|#..#|#..#|#..#",                     // n
    ".....|.....|.###.|#...#|#...#|#...#|.###.",              // o
    "....|....|###.|#..#|#..#|#..#|###.|#...|#...",           // p
    "....|....|.###|#..#|#..#|#..#|.###|...#|...#",           // q
    "....|....|#.##|##..|#...|#...|#...",                     // r
    "....|....|.###|#...|.##.|...#|###.",                     // s
    ".#..|.#..|####|.#..|.#..|.#..|..##",                     // t
    "....|....|#..#|#..#|#..#|#..#|.###",                     // u
    ".....|.....|#...#|#...#|#...#|.#.#.|..#..",              // v
    ".....|.....|#...#|#...#|#.#.#|#.#.#|.#.#.",              // w
    ".....|.....|#...#|.#.#.|..#..|.#.#.|#...#",              // x
    "....|....|#..#|#..#|#..#|#..#|.###|...#|###.",           // y
    "....|....|####|...#|..#.|.#..|####",                     // z
    "..#|.#.|.#.|#..|.#.|.#.|..#",                            // {
    "#|#|#|#|#|#|#",                                          // |
    "#..|.#.|.#.|..#|.#.|.#.|#..",                            // }
    ".....|.....|.#...|#.#.#|...#.",                          // ~
};

constexpr int builtin_height = 10;
constexpr int atlas_width = 128;
constexpr int atlas_height = 64;

Font default_font = {0, 0, 0, {0, 0, 0, 0, 0}, nullptr, nullptr};

// Loaded fonts: glyph table -> atlas texture. An unload must match both, so a stale
// copy of a released font cannot release a newer font that reuses an address.
std::unordered_map<const void *, unsigned int> &live_fonts() {
    static std::unordered_map<const void *, unsigned int> fonts;
    return fonts;
}

int glyph_width(const char *g) {
    const char *bar = std::strchr(g, '|');
    return bar != nullptr ? static_cast<int>(bar - g) : static_cast<int>(std::strlen(g));
}

Font load_builtin_font() {
    Font font = {0, 0, 0, {0, 0, 0, 0, 0}, nullptr, nullptr};
    static unsigned char pixels[atlas_width * atlas_height * 4];
    std::memset(pixels, 0, sizeof(pixels));
    auto *recs = static_cast<Rectangle *>(engine::engine_alloc(sizeof(Rectangle) * 95));
    auto *glyphs = static_cast<GlyphInfo *>(engine::engine_alloc(sizeof(GlyphInfo) * 95));
    if (recs == nullptr || glyphs == nullptr) {
        engine::engine_free(recs);
        engine::engine_free(glyphs);
        return font;
    }
    int pen_x = 1, pen_y = 1;
    for (int i = 0; i < 95; i++) {
        const char *g = builtin_glyphs[i];
        int w = glyph_width(g);
        if (pen_x + w + 1 > atlas_width) {
            pen_x = 1;
            pen_y += builtin_height + 1;
        }
        int row = 1;  // the cell's first row stays empty
        int col = 0;
        for (const char *p = g; *p != '\0'; p++) {
            if (*p == '|') {
                row++;
                col = 0;
                continue;
            }
            if (*p == '#' && row < builtin_height) {
                unsigned char *px = pixels + ((pen_y + row) * atlas_width + pen_x + col) * 4;
                px[0] = px[1] = px[2] = px[3] = 255;
            }
            col++;
        }
        for (int y = 0; y < builtin_height; y++)  // ink is white, the rest transparent white
            for (int x = 0; x < w; x++) {
                unsigned char *px = pixels + ((pen_y + y) * atlas_width + pen_x + x) * 4;
                px[0] = px[1] = px[2] = 255;
            }
        recs[i] = Rectangle{static_cast<float>(pen_x), static_cast<float>(pen_y), static_cast<float>(w),
                            static_cast<float>(builtin_height)};
        glyphs[i].value = 32 + i;
        glyphs[i].offsetX = 0;
        glyphs[i].offsetY = 0;
        glyphs[i].advanceX = w;
        glyphs[i].image = Image{nullptr, 0, 0, 0, 0};
        pen_x += w + 1;
    }
    font.texture.id = rlLoadTexture(pixels, atlas_width, atlas_height, PIXELFORMAT_UNCOMPRESSED_R8G8B8A8, 1);
    font.texture.width = atlas_width;
    font.texture.height = atlas_height;
    font.texture.mipmaps = 1;
    font.texture.format = PIXELFORMAT_UNCOMPRESSED_R8G8B8A8;
    font.baseSize = builtin_height;
    font.glyphCount = 95;
    font.glyphPadding = 0;
    font.recs = recs;
    font.glyphs = glyphs;
    return font;
}

// Next code point of UTF-8 text; malformed bytes come out as '?'.
int next_codepoint(const unsigned char *&p) {
    unsigned c = *p++;
    if (c < 0x80) return static_cast<int>(c);
    int extra = (c >= 0xf0) ? 3 : (c >= 0xe0) ? 2 : (c >= 0xc0) ? 1 : -1;
    if (extra < 0) return '?';
    unsigned cp = c & (0x3fu >> extra);
    for (int i = 0; i < extra; i++) {
        if ((*p & 0xc0) != 0x80) return '?';
        cp = (cp << 6) | (*p++ & 0x3fu);
    }
    return static_cast<int>(cp);
}

bool font_usable(const Font &font) {
    return font.texture.id != 0 && font.recs != nullptr && font.glyphs != nullptr && font.glyphCount > 0 &&
           font.baseSize > 0;
}

}  // namespace

namespace engine {

void text_init() { default_font = load_builtin_font(); }

void text_close() {
    live_fonts().clear();  // their arrays and textures go with the registries
    rlUnloadTexture(default_font.texture.id);
    engine_free(default_font.recs);
    engine_free(default_font.glyphs);
    default_font = Font{0, 0, 0, {0, 0, 0, 0, 0}, nullptr, nullptr};
}

}  // namespace engine

// ------------------------------------------------------------------ fonts

Font GetFontDefault(void) { return default_font; }

bool IsFontReady(Font font) { return font_usable(font); }

int GetGlyphIndex(Font font, int codepoint) {
    if (font.glyphs == nullptr) return 0;
    // Fonts made here hold printable ASCII in order: try the direct slot first.
    int direct = codepoint - 32;
    if (direct >= 0 && direct < font.glyphCount && font.glyphs[direct].value == codepoint) return direct;
    int fallback = 0;
    for (int i = 0; i < font.glyphCount; i++) {
        if (font.glyphs[i].value == codepoint) return i;
        if (font.glyphs[i].value == '?') fallback = i;
    }
    return fallback;
}

// stb_truetype trusts every offset and count in a font file. Check the parts it reads
// against the file's size first, so a truncated or damaged font is refused with a
// WARNING instead of reading past the buffer.
namespace {

struct FontBytes {
    const unsigned char *p;
    std::uint64_t size;
    bool has(std::uint64_t at, std::uint64_t n) const { return at <= size && n <= size - at; }
    std::uint32_t u16(std::uint64_t at) const { return static_cast<std::uint32_t>(p[at] << 8 | p[at + 1]); }
    std::uint32_t u32(std::uint64_t at) const {
        return static_cast<std::uint32_t>(p[at]) << 24 | static_cast<std::uint32_t>(p[at + 1]) << 16 |
               static_cast<std::uint32_t>(p[at + 2]) << 8 | p[at + 3];
    }
};

struct FontTable {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    bool found = false;
};

bool cmap_subtable_sound(const FontBytes &f, std::uint64_t at, std::uint64_t end) {
    if (at + 4 > end) return false;
    const std::uint32_t format = f.u16(at);
    switch (format) {
    case 0:
        return at + 262 <= end;
    case 6:
        return at + 10 <= end && at + 10 + 2ull * f.u16(at + 8) <= end;
    case 4: {
        if (at + 14 > end) return false;
        const std::uint64_t segments = f.u16(at + 6) / 2;
        // end codes, a pad, start codes, deltas and range offsets, then glyph ids that
        // the range offsets point into (stb reads those within the subtable's length).
        return segments > 0 && at + 16 + 8 * segments <= end && at + f.u16(at + 2) <= end;
    }
    case 12:
    case 13:
        return at + 16 <= end && at + 16 + 12ull * f.u32(at + 12) <= end;
    default:
        return true;  // stb finds no glyphs in other formats, reading nothing more
    }
}

bool font_file_sound(const unsigned char *data, int size) {
    if (data == nullptr || size < 12) return false;
    FontBytes f{data, static_cast<std::uint64_t>(size)};
    std::uint64_t font = 0;
    if (f.u32(0) == 0x74746366u) {  // 'ttcf': a collection; the game uses its first font
        if (!f.has(0, 16)) return false;
        font = f.u32(12);
        if (!f.has(font, 12)) return false;
    }
    const std::uint32_t version = f.u32(font);
    if (version != 0x00010000u && version != 0x74727565u && version != 0x4F54544Fu && version != 0x74797031u)
        return false;
    const std::uint64_t tables = f.u16(font + 4);
    if (!f.has(font + 12, 16 * tables)) return false;
    FontTable cmap, head, hhea, hmtx, maxp, loca, glyf, cff;
    for (std::uint64_t t = 0; t < tables; ++t) {
        const std::uint64_t rec = font + 12 + 16 * t;
        FontTable table{f.u32(rec + 8), f.u32(rec + 12), true};
        if (!f.has(table.offset, table.length)) return false;
        switch (f.u32(rec)) {
        case 0x636D6170u:
            cmap = table;
            break;  // cmap
        case 0x68656164u:
            head = table;
            break;  // head
        case 0x68686561u:
            hhea = table;
            break;  // hhea
        case 0x686D7478u:
            hmtx = table;
            break;  // hmtx
        case 0x6D617870u:
            maxp = table;
            break;  // maxp
        case 0x6C6F6361u:
            loca = table;
            break;  // loca
        case 0x676C7966u:
            glyf = table;
            break;  // glyf
        case 0x43464620u:
            cff = table;
            break;  // 'CFF '
        default:
            break;
        }
    }
    if (!cmap.found || !head.found || !hhea.found || !hmtx.found) return false;
    if (head.length < 54 || hhea.length < 36 || cmap.length < 4) return false;
    if (maxp.found && maxp.length < 6) return false;
    // Without maxp stb assumes 65535 glyphs; the checks below then require that many.
    const std::uint64_t glyphs = maxp.found ? f.u16(maxp.offset + 4) : 0xFFFF;

    const std::uint64_t cmap_end = cmap.offset + cmap.length;
    const std::uint64_t encodings = f.u16(cmap.offset + 2);
    if (cmap.offset + 4 + 8 * encodings > cmap_end) return false;
    for (std::uint64_t e = 0; e < encodings; ++e) {
        const std::uint64_t sub = cmap.offset + f.u32(cmap.offset + 4 + 8 * e + 4);
        if (!cmap_subtable_sound(f, sub, cmap_end)) return false;
    }

    const std::uint64_t long_metrics = f.u16(hhea.offset + 34);
    const std::uint64_t short_metrics = glyphs > long_metrics ? glyphs - long_metrics : 0;
    if (4 * long_metrics + 2 * short_metrics > hmtx.length) return false;

    if (glyf.found) {
        if (!loca.found) return false;
        const bool long_offsets = f.u16(head.offset + 50) != 0;
        const std::uint64_t entry = long_offsets ? 4 : 2;
        if (entry * (glyphs + 1) > loca.length) return false;
        std::uint64_t previous = 0;
        for (std::uint64_t g = 0; g <= glyphs; ++g) {
            const std::uint64_t at = loca.offset + entry * g;
            const std::uint64_t offset = long_offsets ? f.u32(at) : 2ull * f.u16(at);
            if (offset < previous || offset > glyf.length) return false;
            previous = offset;
        }
    } else if (!cff.found) {
        return false;
    }
    return true;
}

}  // namespace

Font LoadFontEx(const char *fileName, int fontSize, int *codepoints, int codepointCount) {
    if (!engine::require_gl("LoadFontEx")) return default_font;
    if (fileName == nullptr || fontSize < 1 || fontSize > 1024) {
        TraceLog(LOG_WARNING, "FONT: [%s] invalid size %d, using the default font", fileName ? fileName : "(null)",
                 fontSize);
        return default_font;
    }
    int size = 0;
    unsigned char *data = engine::read_whole_file(fileName, &size);
    stbtt_fontinfo info;
    if (!font_file_sound(data, size) || stbtt_InitFont(&info, data, stbtt_GetFontOffsetForIndex(data, 0)) == 0) {
        engine::engine_free(data);
        TraceLog(LOG_WARNING, "FONT: [%s] failed to load font, using the default font", fileName);
        return default_font;
    }

    // Glyph set: the caller's code points, or printable ASCII.
    int count = (codepoints != nullptr && codepointCount > 0) ? codepointCount : 95;
    if (count > 4096) count = 4096;
    int *cps = new int[count];
    for (int i = 0; i < count; i++) cps[i] = (codepoints != nullptr && codepointCount > 0) ? codepoints[i] : 32 + i;
    auto *packed = new stbtt_packedchar[count];

    const int padding = 2;
    unsigned char *alpha = nullptr;
    int aw = 0, ah = 0;
    for (int side = 128; side <= engine::max_texture_size() && side <= 4096; side *= 2) {
        aw = side;
        ah = side;
        alpha = new unsigned char[static_cast<size_t>(aw) * static_cast<size_t>(ah)];
        stbtt_pack_context ctx;
        bool ok = stbtt_PackBegin(&ctx, alpha, aw, ah, 0, padding, nullptr) != 0;
        if (ok) {
            stbtt_pack_range range = {};
            range.font_size = static_cast<float>(fontSize);
            range.array_of_unicode_codepoints = cps;
            range.num_chars = count;
            range.chardata_for_range = packed;
            ok = stbtt_PackFontRanges(&ctx, data, 0, &range, 1) != 0;
            stbtt_PackEnd(&ctx);
        }
        if (ok) break;
        delete[] alpha;
        alpha = nullptr;
    }
    Font font = default_font;
    if (alpha == nullptr) {
        TraceLog(LOG_WARNING, "FONT: [%s] glyphs at size %d do not fit one texture, using the default font", fileName,
                 fontSize);
    } else {
        float scale = stbtt_ScaleForPixelHeight(&info, static_cast<float>(fontSize));
        int ascent = 0, descent = 0, gap = 0;
        stbtt_GetFontVMetrics(&info, &ascent, &descent, &gap);
        auto *rgba = new unsigned char[static_cast<size_t>(aw) * static_cast<size_t>(ah) * 4];
        for (size_t i = 0; i < static_cast<size_t>(aw) * static_cast<size_t>(ah); i++) {
            rgba[i * 4 + 0] = rgba[i * 4 + 1] = rgba[i * 4 + 2] = 255;
            rgba[i * 4 + 3] = alpha[i];
        }
        unsigned int tex = rlLoadTexture(rgba, aw, ah, PIXELFORMAT_UNCOMPRESSED_R8G8B8A8, 1);
        delete[] rgba;
        auto *recs = static_cast<Rectangle *>(engine::engine_alloc(sizeof(Rectangle) * static_cast<size_t>(count)));
        auto *glyphs = static_cast<GlyphInfo *>(engine::engine_alloc(sizeof(GlyphInfo) * static_cast<size_t>(count)));
        if (tex == 0 || recs == nullptr || glyphs == nullptr) {
            rlUnloadTexture(tex);
            engine::engine_free(recs);
            engine::engine_free(glyphs);
            TraceLog(LOG_WARNING, "FONT: [%s] atlas could not be created, using the default font", fileName);
        } else {
            for (int i = 0; i < count; i++) {
                const stbtt_packedchar &pc = packed[i];
                recs[i] = Rectangle{static_cast<float>(pc.x0), static_cast<float>(pc.y0),
                                    static_cast<float>(pc.x1 - pc.x0), static_cast<float>(pc.y1 - pc.y0)};
                glyphs[i].value = cps[i];
                glyphs[i].offsetX = static_cast<int>(std::lround(pc.xoff));
                // Offsets from the top of the line, not from the baseline.
                glyphs[i].offsetY = static_cast<int>(std::lround(pc.yoff + static_cast<float>(ascent) * scale));
                glyphs[i].advanceX = static_cast<int>(std::lround(pc.xadvance));
                glyphs[i].image = Image{nullptr, 0, 0, 0, 0};
            }
            font.baseSize = fontSize;
            font.glyphCount = count;
            font.glyphPadding = 0;
            font.texture = Texture2D{tex, aw, ah, 1, PIXELFORMAT_UNCOMPRESSED_R8G8B8A8};
            font.recs = recs;
            font.glyphs = glyphs;
            live_fonts()[glyphs] = tex;
            TraceLog(LOG_INFO, "FONT: [%s] loaded at %d px (%d glyphs, atlas %d x %d)", fileName, fontSize, count, aw,
                     ah);
        }
        delete[] alpha;
    }
    delete[] packed;
    delete[] cps;
    engine::engine_free(data);
    return font;
}

Font LoadFont(const char *fileName) { return LoadFontEx(fileName, 32, nullptr, 0); }

void UnloadFont(Font font) {
    if (font.texture.id == default_font.texture.id) return;  // the built-in font lives until CloseWindow
    // Second unloads, and copies of fonts already released, find no match.
    auto it = live_fonts().find(font.glyphs);
    if (it == live_fonts().end() || it->second != font.texture.id) return;
    live_fonts().erase(it);
    engine::engine_free(font.glyphs);
    engine::engine_free(font.recs);
    rlUnloadTexture(font.texture.id);
}

// ------------------------------------------------------------------ drawing and measuring

void DrawTextEx(Font font, const char *text, Vector2 position, float fontSize, float spacing, Color tint) {
    if (text == nullptr) return;
    if (!font_usable(font)) font = default_font;
    if (!font_usable(font)) return;
    float scale = fontSize / static_cast<float>(font.baseSize);
    float x = 0.0f, y = 0.0f;
    const auto *p = reinterpret_cast<const unsigned char *>(text);
    while (*p != '\0') {
        int cp = next_codepoint(p);
        if (cp == '\n') {
            x = 0.0f;
            y += static_cast<float>(font.baseSize + font.baseSize / 2) * scale;
            continue;
        }
        int i = GetGlyphIndex(font, cp);
        const Rectangle &rec = font.recs[i];
        const GlyphInfo &g = font.glyphs[i];
        if (cp != ' ' && cp != '\t' && rec.width > 0 && rec.height > 0) {
            float pad = static_cast<float>(font.glyphPadding);
            Rectangle src = {rec.x - pad, rec.y - pad, rec.width + 2 * pad, rec.height + 2 * pad};
            Rectangle dst = {position.x + x + (static_cast<float>(g.offsetX) - pad) * scale,
                             position.y + y + (static_cast<float>(g.offsetY) - pad) * scale, src.width * scale,
                             src.height * scale};
            DrawTexturePro(font.texture, src, dst, Vector2{0, 0}, 0.0f, tint);
        }
        float advance = g.advanceX != 0 ? static_cast<float>(g.advanceX) : rec.width;
        x += advance * scale + spacing;
    }
}

Vector2 MeasureTextEx(Font font, const char *text, float fontSize, float spacing) {
    Vector2 size = {0.0f, 0.0f};
    if (text == nullptr || text[0] == '\0') return size;
    if (!font_usable(font)) font = default_font;
    if (!font_usable(font)) return size;
    float scale = fontSize / static_cast<float>(font.baseSize);
    float line_width = 0.0f, widest = 0.0f;
    int line_glyphs = 0, lines = 1;
    const auto *p = reinterpret_cast<const unsigned char *>(text);
    auto close_line = [&]() {
        float w = line_width * scale + static_cast<float>(line_glyphs > 0 ? line_glyphs - 1 : 0) * spacing;
        if (w > widest) widest = w;
        line_width = 0.0f;
        line_glyphs = 0;
    };
    while (*p != '\0') {
        int cp = next_codepoint(p);
        if (cp == '\n') {
            close_line();
            lines++;
            continue;
        }
        int i = GetGlyphIndex(font, cp);
        line_width += font.glyphs[i].advanceX != 0 ? static_cast<float>(font.glyphs[i].advanceX) : font.recs[i].width;
        line_glyphs++;
    }
    close_line();
    size.x = widest;
    size.y = (static_cast<float>(font.baseSize) +
              static_cast<float>(lines - 1) * static_cast<float>(font.baseSize + font.baseSize / 2)) *
             scale;
    return size;
}

void DrawText(const char *text, int posX, int posY, int fontSize, Color color) {
    if (fontSize < builtin_height) fontSize = builtin_height;
    int spacing = fontSize / builtin_height;
    DrawTextEx(default_font, text, Vector2{static_cast<float>(posX), static_cast<float>(posY)},
               static_cast<float>(fontSize), static_cast<float>(spacing), color);
}

int MeasureText(const char *text, int fontSize) {
    if (fontSize < builtin_height) fontSize = builtin_height;
    int spacing = fontSize / builtin_height;
    return static_cast<int>(
        MeasureTextEx(default_font, text, static_cast<float>(fontSize), static_cast<float>(spacing)).x);
}

// ------------------------------------------------------------------ strings

const char *TextFormat(const char *text, ...) {
    // Several rotating buffers, so a few results can be used together.
    constexpr int buffers = 4;
    constexpr int length = 1024;
    static char storage[buffers][length];
    static int next = 0;
    char *out = storage[next];
    next = (next + 1) % buffers;
    out[0] = '\0';
    if (text == nullptr) return out;
    va_list args;
    va_start(args, text);
    int n = std::vsnprintf(out, length, text, args);
    va_end(args);
    if (n >= length) std::memcpy(out + length - 4, "...", 4);  // marks the cut
    return out;
}

int TextLength(const char *text) { return text != nullptr ? static_cast<int>(std::strlen(text)) : 0; }
