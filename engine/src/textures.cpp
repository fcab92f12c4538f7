// Images (CPU pixels, stb_image / stb_image_write), textures and render textures.
#include "engine_prefetch.h"
#include "internal.h"
#include "prefetch.h"
#include "raylib.h"
#include "rlgl.h"

#include "gl_api.h"
#include <stb_image.h>
#include <stb_image_write.h>
#include <strings.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using engine::engine_alloc;
using engine::engine_free;

constexpr std::int64_t max_image_pixels = std::int64_t(1) << 28;  // 16384 × 16384
// Image files are loaded to become textures: none larger than this on a side.
constexpr int max_loaded_side = 8192;

int bytes_per_pixel(int format) {
    switch (format) {
    case PIXELFORMAT_UNCOMPRESSED_GRAYSCALE:
        return 1;
    case PIXELFORMAT_UNCOMPRESSED_GRAY_ALPHA:
        return 2;
    case PIXELFORMAT_UNCOMPRESSED_R8G8B8:
        return 3;
    case PIXELFORMAT_UNCOMPRESSED_R8G8B8A8:
        return 4;
    default:
        return 0;
    }
}

bool image_size_ok(const char *what, int width, int height) {
    if (width < 1 || height < 1 || std::int64_t(width) * height > max_image_pixels) {
        engine::log_line(LOG_WARNING, "IMAGE: %s: size %d x %d is invalid", what, width, height);
        return false;
    }
    return true;
}

// Takes pixels from stb (RGBA) into an engine-owned image.
Image image_from_stb(unsigned char *pixels, int width, int height, const char *origin) {
    Image image = {nullptr, 0, 0, 0, 0};
    if (pixels == nullptr) {
        engine::log_line(LOG_WARNING, "IMAGE: [%s] failed to load image data: %s", origin, stbi_failure_reason());
        return image;
    }
    if (!image_size_ok(origin, width, height)) {
        stbi_image_free(pixels);
        return image;
    }
    size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    void *data = engine_alloc(bytes);
    if (data == nullptr) {
        stbi_image_free(pixels);
        engine::log_line(LOG_WARNING, "IMAGE: [%s] out of memory", origin);
        return image;
    }
    std::memcpy(data, pixels, bytes);
    stbi_image_free(pixels);
    return engine::rgba_image(data, width, height);
}

// RGBA copy of any supported image (caller frees with delete[]), or null.
unsigned char *to_rgba(Image image) {
    int bpp = bytes_per_pixel(image.format);
    if (image.data == nullptr || bpp == 0 || image.width < 1 || image.height < 1) return nullptr;
    size_t n = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    auto *out = new unsigned char[n * 4];
    const auto *in = static_cast<const unsigned char *>(image.data);
    for (size_t i = 0; i < n; i++) {
        const unsigned char *p = in + i * static_cast<size_t>(bpp);
        unsigned char *q = out + i * 4;
        switch (image.format) {
        case PIXELFORMAT_UNCOMPRESSED_GRAYSCALE:
            q[0] = q[1] = q[2] = p[0];
            q[3] = 255;
            break;
        case PIXELFORMAT_UNCOMPRESSED_GRAY_ALPHA:
            q[0] = q[1] = q[2] = p[0];
            q[3] = p[1];
            break;
        case PIXELFORMAT_UNCOMPRESSED_R8G8B8:
            q[0] = p[0];
            q[1] = p[1];
            q[2] = p[2];
            q[3] = 255;
            break;
        default:
            std::memcpy(q, p, 4);
            break;
        }
    }
    return out;
}

void unload_renderbuffer(unsigned int id) {
    if (engine::gl_ready() && engine::untrack_gl(engine::GlKind::renderbuffer, id)) glDeleteRenderbuffers(1, &id);
}

}  // namespace

// ------------------------------------------------------------------ images

namespace {

// An image file as RGBA pixels. Runs on any thread (the start-up prefetch); stb_image
// keeps its failure reason per thread.
struct DecodedImage {
    std::vector<unsigned char> rgba;
    int width = 0;
    int height = 0;
};

bool decoded_size_ok(const char *fileName, int width, int height, engine::HeldLog &log) {
    if (width < 1 || height < 1 || std::int64_t(width) * height > max_image_pixels) {
        log.add(LOG_WARNING, "IMAGE: %s: size %d x %d is invalid", fileName, width, height);
        return false;
    }
    return true;
}

std::shared_ptr<const void> decode_image(const char *fileName, int max_side, engine::HeldLog &log) {
    std::vector<unsigned char> bytes;
    engine::FileRefusal why = engine::FileRefusal::none;
    if (!engine::read_file_bytes(fileName, bytes, engine::max_file_bytes, why)) {
        log.add(LOG_WARNING, "IMAGE: [%s] failed to load image data: the file %s", fileName, engine::refusal_text(why));
        return nullptr;
    }
    const int size = static_cast<int>(bytes.size());
    int w = 0, h = 0, n = 0;
    // Refuse sizes no texture can take from the header, before decoding allocates
    // for them (a small file can claim 16384 x 16384).
    if (stbi_info_from_memory(bytes.data(), size, &w, &h, &n) != 0 && (w > max_side || h > max_side)) {
        log.add(LOG_WARNING, "IMAGE: [%s] size %d x %d is above %d per side; not loaded", fileName, w, h, max_side);
        return nullptr;
    }
    if (w != 0 && h != 0 && !decoded_size_ok(fileName, w, h, log)) return nullptr;
    unsigned char *pixels = stbi_load_from_memory(bytes.data(), size, &w, &h, &n, 4);
    if (pixels == nullptr) {
        log.add(LOG_WARNING, "IMAGE: [%s] failed to load image data: %s", fileName, stbi_failure_reason());
        return nullptr;
    }
    std::shared_ptr<DecodedImage> image;
    if (decoded_size_ok(fileName, w, h, log)) {
        image = std::make_shared<DecodedImage>();
        image->rgba.assign(pixels, pixels + static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
        image->width = w;
        image->height = h;
    }
    stbi_image_free(pixels);
    return image;
}

}  // namespace

void PrefetchImage(const char *fileName) {
    // Before the window exists the GL limit is unknown; decoded for the engine's own.
    engine::prefetch(engine::PrefetchKind::image, fileName, max_loaded_side, decode_image);
}

Image LoadImage(const char *fileName) {
    if (fileName == nullptr) return Image{nullptr, 0, 0, 0, 0};
    int max_side = max_loaded_side;
    if (engine::gl_ready() && engine::max_texture_size() < max_side) max_side = engine::max_texture_size();
    const std::shared_ptr<const void> data =
        engine::take_or_decode(engine::PrefetchKind::image, fileName, max_side, decode_image);
    if (data == nullptr) return Image{nullptr, 0, 0, 0, 0};
    const auto &decoded = *static_cast<const DecodedImage *>(data.get());
    void *pixels = engine_alloc(decoded.rgba.size());
    if (pixels == nullptr) {
        engine::log_line(LOG_WARNING, "IMAGE: [%s] out of memory", fileName);
        return Image{nullptr, 0, 0, 0, 0};
    }
    std::memcpy(pixels, decoded.rgba.data(), decoded.rgba.size());
    TraceLog(LOG_INFO, "IMAGE: [%s] loaded (%d x %d)", fileName, decoded.width, decoded.height);
    return engine::rgba_image(pixels, decoded.width, decoded.height);
}

Image LoadImageFromMemory(const char *fileType, const unsigned char *fileData, int dataSize) {
    if (fileData == nullptr || dataSize <= 0) {
        TraceLog(LOG_WARNING, "IMAGE: no data to load an image from");
        return Image{nullptr, 0, 0, 0, 0};
    }
    int w = 0, h = 0, n = 0;
    unsigned char *pixels = stbi_load_from_memory(fileData, dataSize, &w, &h, &n, 4);
    return image_from_stb(pixels, w, h, fileType != nullptr ? fileType : "memory");
}

bool IsImageReady(Image image) {
    return image.data != nullptr && image.width > 0 && image.height > 0 && image.format > 0;
}

void UnloadImage(Image image) { engine_free(image.data); }

Image GenImageColor(int width, int height, Color color) {
    Image image = {nullptr, 0, 0, 0, 0};
    if (!image_size_ok("GenImageColor", width, height)) return image;
    size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
    auto *pixels = static_cast<Color *>(engine_alloc(n * sizeof(Color)));
    if (pixels == nullptr) return image;
    for (size_t i = 0; i < n; i++) pixels[i] = color;
    return engine::rgba_image(pixels, width, height);
}

Color GetImageColor(Image image, int x, int y) {
    Color c = {0, 0, 0, 0};
    int bpp = bytes_per_pixel(image.format);
    if (image.data == nullptr || bpp == 0) {
        TraceLog(LOG_WARNING, "IMAGE: GetImageColor: no pixel data in a supported format");
        return c;
    }
    if (x < 0 || y < 0 || x >= image.width || y >= image.height) {
        TraceLog(LOG_WARNING, "IMAGE: pixel (%d, %d) is outside the %d x %d image", x, y, image.width, image.height);
        return c;
    }
    const unsigned char *p =
        static_cast<const unsigned char *>(image.data) +
        (static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x)) * static_cast<size_t>(bpp);
    switch (image.format) {
    case PIXELFORMAT_UNCOMPRESSED_GRAYSCALE:
        c = Color{p[0], p[0], p[0], 255};
        break;
    case PIXELFORMAT_UNCOMPRESSED_GRAY_ALPHA:
        c = Color{p[0], p[0], p[0], p[1]};
        break;
    case PIXELFORMAT_UNCOMPRESSED_R8G8B8:
        c = Color{p[0], p[1], p[2], 255};
        break;
    default:
        c = Color{p[0], p[1], p[2], p[3]};
        break;
    }
    return c;
}

bool ExportImage(Image image, const char *fileName) {
    if (fileName == nullptr || !IsImageReady(image)) {
        TraceLog(LOG_WARNING, "IMAGE: nothing to export");
        return false;
    }
    const char *dot = std::strrchr(fileName, '.');
    if (dot == nullptr || strcasecmp(dot, ".png") != 0) {
        TraceLog(LOG_WARNING, "IMAGE: [%s] only PNG export is supported", fileName);
        return false;
    }
    unsigned char *rgba = to_rgba(image);
    if (rgba == nullptr) {
        TraceLog(LOG_WARNING, "IMAGE: [%s] pixel format %d cannot be exported", fileName, image.format);
        return false;
    }
    bool ok = stbi_write_png(fileName, image.width, image.height, 4, rgba, image.width * 4) != 0;
    delete[] rgba;
    if (ok)
        TraceLog(LOG_INFO, "FILEIO: [%s] image exported", fileName);
    else
        TraceLog(LOG_WARNING, "FILEIO: [%s] failed to export image", fileName);
    return ok;
}

// The texture's pixels as stored (row 0 is the first row uploaded; for a render
// texture that is the bottom of what was drawn), as R8G8B8A8.
Image LoadImageFromTexture(Texture2D texture) {
    Image image = {nullptr, 0, 0, 0, 0};
    if (!engine::require_gl("LoadImageFromTexture")) return image;
    if (texture.id == 0 || !image_size_ok("LoadImageFromTexture", texture.width, texture.height)) return image;
    size_t bytes = static_cast<size_t>(texture.width) * static_cast<size_t>(texture.height) * 4;
    auto *pixels = static_cast<unsigned char *>(engine_alloc(bytes));
    if (pixels == nullptr) return image;
    while (glGetError() != GL_NO_ERROR) {
    }
#if defined(__EMSCRIPTEN__)
    // GL ES reads a texture only through a framebuffer it is attached to; a texture of
    // another size than the caller says leaves that framebuffer incomplete or reads short.
    GLint previous = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
    GLuint fbo = 0;
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture.id, 0);
    bool ok = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE && glGetError() == GL_NO_ERROR;
    if (ok) {
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, texture.width, texture.height, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
        ok = glGetError() == GL_NO_ERROR;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previous));
    glDeleteFramebuffers(1, &fbo);
#else
    glBindTexture(GL_TEXTURE_2D, texture.id);
    GLint w = 0, h = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    bool ok = w == texture.width && h == texture.height && glGetError() == GL_NO_ERROR;
    if (ok) {
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
        ok = glGetError() == GL_NO_ERROR;
    }
    glBindTexture(GL_TEXTURE_2D, 0);
#endif
    if (!ok) {
        engine_free(pixels);
        TraceLog(LOG_WARNING, "TEXTURE: [ID %u] pixels could not be read back", texture.id);
        return image;
    }
    return engine::rgba_image(pixels, texture.width, texture.height);
}

Image LoadImageFromScreen(void) {
    Image image = {nullptr, 0, 0, 0, 0};
    if (!engine::require_gl("LoadImageFromScreen")) return image;
    int w = GetRenderWidth(), h = GetRenderHeight();
    unsigned char *pixels = engine::read_screen_array(w, h);
    if (pixels == nullptr) {
        TraceLog(LOG_WARNING, "IMAGE: failed to read the screen");
        return image;
    }
    // A screenshot is opaque whatever alpha the frame was cleared with.
    for (size_t i = 3; i < static_cast<size_t>(w) * static_cast<size_t>(h) * 4; i += 4) pixels[i] = 255;
    return engine::rgba_image(pixels, w, h);
}

void TakeScreenshot(const char *fileName) {
    Image image = LoadImageFromScreen();
    if (image.data == nullptr) return;
    if (ExportImage(image, fileName)) TraceLog(LOG_INFO, "SYSTEM: [%s] screenshot taken", fileName);
    UnloadImage(image);
}

// ------------------------------------------------------------------ textures

Texture2D LoadTextureFromImage(Image image) {
    Texture2D tex = {0, 0, 0, 0, 0};
    if (!IsImageReady(image)) {
        TraceLog(LOG_WARNING, "TEXTURE: the image has no data");
        return tex;
    }
    tex.id = rlLoadTexture(image.data, image.width, image.height, image.format, image.mipmaps);
    if (tex.id == 0) return tex;
    tex.width = image.width;
    tex.height = image.height;
    tex.mipmaps = 1;
    tex.format = image.format;
    TraceLog(LOG_INFO, "TEXTURE: [ID %u] loaded (%d x %d)", tex.id, tex.width, tex.height);
    return tex;
}

Texture2D LoadTexture(const char *fileName) {
    Texture2D tex = {0, 0, 0, 0, 0};
    if (!engine::require_gl("LoadTexture")) return tex;
    Image image = LoadImage(fileName);
    if (image.data == nullptr) return tex;
    tex = LoadTextureFromImage(image);
    UnloadImage(image);
    return tex;
}

bool IsTextureReady(Texture2D texture) {
    return texture.id > 0 && texture.width > 0 && texture.height > 0 && texture.format > 0;
}

void UnloadTexture(Texture2D texture) { rlUnloadTexture(texture.id); }

void SetTextureFilter(Texture2D texture, int filter) {
    int gl = filter == TEXTURE_FILTER_POINT ? RL_TEXTURE_FILTER_NEAREST : RL_TEXTURE_FILTER_LINEAR;
    rlTextureParameters(texture.id, RL_TEXTURE_MIN_FILTER, gl);
    rlTextureParameters(texture.id, RL_TEXTURE_MAG_FILTER, gl);
}

RenderTexture2D LoadRenderTexture(int width, int height) {
    RenderTexture2D target = {0, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}};
    if (!engine::require_gl("LoadRenderTexture")) return target;
    unsigned int fbo = rlLoadFramebuffer(width, height);
    if (fbo == 0) return target;
    unsigned int color = rlLoadTexture(nullptr, width, height, PIXELFORMAT_UNCOMPRESSED_R8G8B8A8, 1);
    unsigned int depth = rlLoadTextureDepth(width, height, true);
    if (color != 0 && depth != 0) {
        rlFramebufferAttach(fbo, color, RL_ATTACHMENT_COLOR_CHANNEL0, RL_ATTACHMENT_TEXTURE2D, 0);
        rlFramebufferAttach(fbo, depth, RL_ATTACHMENT_DEPTH, RL_ATTACHMENT_RENDERBUFFER, 0);
    }
    if (color == 0 || depth == 0 || !rlFramebufferComplete(fbo)) {
        TraceLog(LOG_WARNING, "FBO: render texture %d x %d could not be created", width, height);
        rlUnloadFramebuffer(fbo);
        rlUnloadTexture(color);
        unload_renderbuffer(depth);
        return target;
    }
    // A fresh render texture is transparent black, not whatever the driver left.
    GLfloat clear[4];
    GLint bound = 0;
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(bound));
    glClearColor(clear[0], clear[1], clear[2], clear[3]);

    target.id = fbo;
    target.texture = Texture2D{color, width, height, 1, PIXELFORMAT_UNCOMPRESSED_R8G8B8A8};
    target.depth = Texture2D{depth, width, height, 1, 19};
    TraceLog(LOG_INFO, "FBO: [ID %u] render texture loaded (%d x %d)", fbo, width, height);
    return target;
}

bool IsRenderTextureReady(RenderTexture2D target) {
    return target.id > 0 && IsTextureReady(target.texture) && target.depth.id > 0;
}

void UnloadRenderTexture(RenderTexture2D target) {
    rlUnloadFramebuffer(target.id);
    rlUnloadTexture(target.texture.id);
    unload_renderbuffer(target.depth.id);
}
