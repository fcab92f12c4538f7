// Text: the built-in 10-pixel bitmap font, TrueType fonts rasterised into one atlas
// (FreeType + stb_rect_pack), drawing, measuring and TextFormat.
#include "engine_prefetch.h"
#include "internal.h"
#include "raylib.h"
#include "rlgl.h"

#include "font_atlas.h"
#include "prefetch.h"

#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

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
// Far above any font a game ships (large CJK fonts are about 20 MiB).
constexpr std::size_t max_font_file_bytes = std::size_t{64} << 20;
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

namespace {

constexpr int prefetch_max_side = 4096;

// A font file rasterised into its atlas. Runs on any thread (the start-up prefetch).
std::shared_ptr<const void> make_atlas(const char *fileName, int fontSize, const int *codepoints, int codepointCount,
                                       int max_side, engine::HeldLog &log) {
    std::vector<unsigned char> bytes;
    engine::FileRefusal why = engine::FileRefusal::none;
    if (!engine::read_file_bytes(fileName, bytes, max_font_file_bytes, why)) {
        log.add(LOG_WARNING, "FONT: [%s] failed to load font (the file %s), using the default font", fileName,
                engine::refusal_text(why));
        return nullptr;
    }
    auto atlas = std::make_shared<engine::FontAtlas>(
        engine::rasterize_font_atlas(bytes.data(), bytes.size(), fontSize, codepoints, codepointCount, max_side));
    if (atlas->error != nullptr) {
        log.add(LOG_WARNING, "FONT: [%s] failed to load font (%s), using the default font", fileName, atlas->error);
        return nullptr;
    }
    return atlas;
}

std::shared_ptr<const void> prefetch_atlas(const char *fileName, int fontSize, engine::HeldLog &log) {
    return make_atlas(fileName, fontSize, nullptr, 0, prefetch_max_side, log);
}

}  // namespace

void PrefetchFont(const char *fileName, int fontSize) {
    if (fontSize >= 1 && fontSize <= 1024)
        engine::prefetch(engine::PrefetchKind::font, fileName, fontSize, prefetch_atlas);
}

Font LoadFontEx(const char *fileName, int fontSize, int *codepoints, int codepointCount) {
    if (!engine::require_gl("LoadFontEx")) return default_font;
    if (fileName == nullptr || fontSize < 1 || fontSize > 1024) {
        TraceLog(LOG_WARNING, "FONT: [%s] invalid size %d, using the default font", fileName ? fileName : "(null)",
                 fontSize);
        return default_font;
    }
    std::shared_ptr<const void> data;
    const engine::Prefetched *prefetched = nullptr;
    // A prefetched atlas was packed for the largest side GL 3.3 contexts commonly allow.
    if ((codepoints == nullptr || codepointCount < 1) && engine::max_texture_size() >= prefetch_max_side)
        prefetched = engine::take_prefetched(engine::PrefetchKind::font, fileName, fontSize);
    if (prefetched != nullptr) {
        prefetched->log.print();
        data = prefetched->data;
    } else {
        engine::HeldLog log;
        const int max_side = engine::max_texture_size() < 4096 ? engine::max_texture_size() : 4096;
        data = make_atlas(fileName, fontSize, codepoints, codepointCount, max_side, log);
        log.print();
    }
    if (data == nullptr) return default_font;
    const engine::FontAtlas &atlas = *static_cast<const engine::FontAtlas *>(data.get());

    const auto texels = static_cast<std::size_t>(atlas.width) * static_cast<std::size_t>(atlas.height);
    auto *rgba = new unsigned char[texels * 4];
    for (std::size_t i = 0; i < texels; i++) {  // white ink, coverage in alpha
        rgba[i * 4 + 0] = rgba[i * 4 + 1] = rgba[i * 4 + 2] = 255;
        rgba[i * 4 + 3] = atlas.alpha[i];
    }
    unsigned int tex = rlLoadTexture(rgba, atlas.width, atlas.height, PIXELFORMAT_UNCOMPRESSED_R8G8B8A8, 1);
    delete[] rgba;
    const int count = static_cast<int>(atlas.glyphs.size());
    auto *recs = static_cast<Rectangle *>(engine::engine_alloc(sizeof(Rectangle) * static_cast<std::size_t>(count)));
    auto *glyphs = static_cast<GlyphInfo *>(engine::engine_alloc(sizeof(GlyphInfo) * static_cast<std::size_t>(count)));
    if (tex == 0 || recs == nullptr || glyphs == nullptr) {
        rlUnloadTexture(tex);
        engine::engine_free(recs);
        engine::engine_free(glyphs);
        TraceLog(LOG_WARNING, "FONT: [%s] atlas could not be created, using the default font", fileName);
        return default_font;
    }
    for (int i = 0; i < count; i++) {
        const engine::AtlasGlyph &g = atlas.glyphs[static_cast<std::size_t>(i)];
        recs[i] = Rectangle{static_cast<float>(g.x), static_cast<float>(g.y), static_cast<float>(g.width),
                            static_cast<float>(g.height)};
        glyphs[i].value = g.value;
        glyphs[i].offsetX = g.offset_x;
        glyphs[i].offsetY = g.offset_y;
        glyphs[i].advanceX = g.advance_x;
        glyphs[i].image = Image{nullptr, 0, 0, 0, 0};
    }
    Font font = default_font;
    font.baseSize = fontSize;
    font.glyphCount = count;
    font.glyphPadding = 0;
    font.texture = Texture2D{tex, atlas.width, atlas.height, 1, PIXELFORMAT_UNCOMPRESSED_R8G8B8A8};
    font.recs = recs;
    font.glyphs = glyphs;
    live_fonts()[glyphs] = tex;
    TraceLog(LOG_INFO, "FONT: [%s] loaded at %d px (%d glyphs, atlas %d x %d)", fileName, fontSize, count, atlas.width,
             atlas.height);
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
    if (engine::test_state().text_sink != nullptr && text != nullptr)
        engine::test_state().text_sink(text, posX, posY, fontSize, color);
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
