// rlgl: the matrix stack, the render batch and thin wrappers over GL state and
// objects, on OpenGL 3.3 core.
//
// The batch keeps complete primitives only (a quad becomes two triangles once its
// fourth vertex arrives), so it can be flushed at any moment without cutting a
// primitive in half. It is drawn with the modelview and projection current at the
// flush, which is why vertices queued before BeginDrawing still land on screen.
#include "gl_warmup.h"
#include "internal.h"
#include "raylib.h"
#include "raymath.h"
#include "rlgl.h"

#include "gl_api.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_map>

namespace engine {
namespace {

struct Vertex {
    float x, y, z;
    float u, v;
    float nx, ny, nz;
    unsigned char r, g, b, a;
};

struct DrawCall {
    GLenum mode;
    int start;
    int count;
    unsigned int texture;
};

constexpr int max_vertices = RL_DEFAULT_BATCH_BUFFER_ELEMENTS * 6;
constexpr int max_draw_calls = RL_DEFAULT_BATCH_DRAWCALLS;
constexpr int extra_texture_slots = RL_DEFAULT_BATCH_MAX_TEXTURE_UNITS - 1;

struct Batch {
    Vertex vertices[max_vertices];
    int vertex_count = 0;
    DrawCall calls[max_draw_calls];
    int call_count = 0;
    GLuint vao = 0;
    GLuint vbo = 0;

    int mode = RL_QUADS;  // primitive of the current rlBegin
    Vertex partial[4];    // the primitive being assembled
    int partial_count = 0;
    Vertex current = {0, 0, 0, 0, 0, 0, 0, 1, 255, 255, 255, 255};  // texcoord, normal and colour of the next vertex
    unsigned int texture = 0;                                       // the texture of the next primitive (0: default)
    unsigned int extra_textures[extra_texture_slots] = {};
};

// One stack for both modes, as rlgl has; each entry remembers which matrix it
// saved, so a pop always restores that one.
struct StackEntry {
    Matrix value;
    bool transform;  // saved the local transform (a push in model-view mode)
};

// The matrix being edited is not kept as a pointer: it follows from the mode and the
// pushes still open (see current_matrix), and the record stays safe to assign whole.
struct MatrixState {
    Matrix modelview = MatrixIdentity();
    Matrix projection = MatrixIdentity();
    Matrix transform = MatrixIdentity();  // local transform applied to vertices as they are queued
    int mode = RL_MODELVIEW;
    int transform_depth = 0;  // model-view pushes still open
    StackEntry stack[RL_MAX_MATRIX_STACK_SIZE];
    int depth = 0;
};

// Draws a layer's resolved texture onto the window (GL ES only).
struct LayerCopier {
    GLuint program = 0;
    GLuint vao = 0;
    bool tried = false;
};

// With multisampling the frame is drawn on this target, not on the window, and
// resolved into the window when it is presented; framebuffer 0 names it. The window
// itself has a single sample, so the frame's samples stay ours between frames and
// layers made like it copy onto it sample for sample.
struct ScreenTarget {
    GLuint fbo = 0;
    GLuint color = 0;
    GLuint depth = 0;
    int width = 0;
    int height = 0;
    int samples = 0;  // wanted; 0 draws on the window
};

// Renderbuffers of the layers rlLoadScreenLayer made, released with their framebuffer.
// GL ES 3.0 cannot blit into a multisampled screen, so there a layer also keeps its
// samples resolved into a plain texture, drawn onto the window by a small shader; only
// the part drawn on the layer since its last copy (`dirty`, bottom-up x0, y0, x1, y1)
// is resolved again. Layers of the screen's size have no depth buffer of their own.
struct LayerBuffers {
    GLuint color;
    GLuint depth;
    GLuint resolved_fbo = 0;
    GLuint resolved = 0;
    int dirty[4] = {0, 0, 0, 0};
};

// The frame's samples are averaged into the window by a small shader of the engine's
// own rather than by a resolving blit: on a software renderer the blit's first use
// builds a pipeline of the driver's own, which held the first frame back by about
// 40 ms, where this shader comes out of the driver's shader cache. Made at the first
// presentation, after everything start-up loads, so the names start-up's objects get
// are as before.
struct Resolver {
    GLuint program = 0;
    GLuint vao = 0;  // a core context draws only with a vertex array bound
    GLint loc_mirror_height = -1;
    bool tried = false;
};

// A clear of the whole screen is held until the screen's contents are needed: a
// draw, a read, the frame's presentation. A copy over the whole screen that comes
// first leaves its colour part nothing to do (the kept 3D layer covers each frame's
// clear), and a draw without the depth test leaves its depth part waiting. On a
// software renderer a multisampled clear costs as much as a copy.
struct HeldClear {
    bool color = false;
    bool depth = false;
    GLfloat rgba[4] = {0.0f, 0.0f, 0.0f, 1.0f};
};

// Everything rlgl keeps between calls, as one record: rlgl_init and rlgl_close start a
// fresh one (reset_rlgl), so a second window never sees what the first left behind.
struct RlglState {
    Batch *batch = nullptr;  // on the heap for its size; null without a window
    MatrixState mats;
    GLuint white_texture = 0;
    unsigned int current_fbo = 0;
    int screen_fb_width = 0;
    int screen_fb_height = 0;
    int blend_mode = RL_BLEND_ALPHA;
    std::unordered_map<unsigned int, int> fbo_sizes;  // id -> (width << 16 | height)
    ScreenTarget screen;
    std::unordered_map<unsigned int, LayerBuffers> layer_buffers;
    // The window's surface runs top-down in memory and GL draws into it upside down
    // compared with a framebuffer object, which also mirrors where the samples of each
    // pixel lie and which edge a pixel centre on a triangle's border goes to. The
    // screen target and the layers are drawn with the clip origin at the upper left,
    // which rasterizes exactly as the window does; viewport and scissor rectangles,
    // given as usual from the bottom left, are mirrored to match.
    bool clip_control_ok = false;
    bool upper_left = false;  // the clip origin currently set
    int view_rect[4] = {0, 0, 0, 0};
    int scissor_rect[4] = {0, 0, 0, 0};
    Resolver resolver;
    LayerCopier layer_copier;
    LayerBuffers *bound_layer = nullptr;  // the layer bound, when it keeps a resolved copy
    // GL ES: a layer's resolved colours went straight onto the window this frame, and the
    // rest of the frame draws there (framebuffer 0 names the window until the next frame).
    bool screen_on_window = false;
    HeldClear held_clear;
    // The depth mask as last set (GL's default: on). Kept here rather than asked of GL:
    // in a browser that question waits for the whole of the frame so far to be drawn.
    bool depth_writes = true;
    GLfloat clear_rgba[4] = {0.0f, 0.0f, 0.0f, 1.0f};  // what rlClearColor last set
    // Shader used by the batch; set by shaders.cpp through set_current_shader.
    unsigned int shader_id = 0;
    int *shader_locs = nullptr;
};
RlglState rlgl;

GLuint gl_framebuffer(unsigned int id) { return id != 0 ? id : rlgl.screen_on_window ? 0 : rlgl.screen.fbo; }

bool is_layer(unsigned int id) { return rlgl.layer_buffers.find(id) != rlgl.layer_buffers.end(); }

bool flipped_target(unsigned int id) { return rlgl.clip_control_ok && (id == 0 ? rlgl.screen.fbo != 0 : is_layer(id)); }

int target_width(unsigned int id) {
    if (id == 0) return rlgl.screen_fb_width;
    auto it = rlgl.fbo_sizes.find(id);
    return it != rlgl.fbo_sizes.end() ? (it->second >> 16) : rlgl.screen_fb_width;
}

int target_height(unsigned int id) {
    if (id == 0) return rlgl.screen_fb_height;
    auto it = rlgl.fbo_sizes.find(id);
    return it != rlgl.fbo_sizes.end() ? (it->second & 0xffff) : rlgl.screen_fb_height;
}

int mirrored_y(const int rect[4]) {
    return rlgl.upper_left ? target_height(rlgl.current_fbo) - rect[1] - rect[3] : rect[1];
}

void apply_viewport() {
    glViewport(rlgl.view_rect[0], mirrored_y(rlgl.view_rect), rlgl.view_rect[2], rlgl.view_rect[3]);
}
void apply_scissor() {
    glScissor(rlgl.scissor_rect[0], mirrored_y(rlgl.scissor_rect), rlgl.scissor_rect[2], rlgl.scissor_rect[3]);
}

// Binds a target (0: the screen) and sets the clip origin, viewport and scissor for it.
void bind_target(unsigned int id) {
    glBindFramebuffer(GL_FRAMEBUFFER, gl_framebuffer(id));
    rlgl.current_fbo = id;
    rlgl.bound_layer = nullptr;
    if (id != 0) {
        auto layer = rlgl.layer_buffers.find(id);
        if (layer != rlgl.layer_buffers.end() && layer->second.resolved_fbo != 0) rlgl.bound_layer = &layer->second;
    }
    const bool flip = flipped_target(id);
    if (flip != rlgl.upper_left) {
#if !defined(__EMSCRIPTEN__)  // GL ES has no clip control: flip stays false there
        glClipControl(flip ? GL_UPPER_LEFT : GL_LOWER_LEFT, GL_NEGATIVE_ONE_TO_ONE);
#endif
        rlgl.upper_left = flip;
    }
    apply_viewport();
    apply_scissor();
}

// Storage of a width x height target at four bytes a texel (as the driver keeps RGB8,
// RGBA8 and 24-bit depth alike).
std::size_t texel_bytes(int width, int height) { return std::size_t(width) * std::size_t(height) * 4; }

// A colour + depth framebuffer of the screen's formats with `samples` samples (0: one);
// 0 on failure, with nothing left behind. `color_texture`: the colour is a multisampled
// texture a shader can read, not a renderbuffer.
GLuint make_color_depth_target(int width, int height, int samples, bool color_texture, GLuint *color, GLuint *depth,
                               GLuint shared_depth = 0) {
    while (glGetError() != GL_NO_ERROR) {
    }
    GLuint fbo = 0, c = 0, d = 0;
    const std::size_t target_bytes = texel_bytes(width, height) * std::size_t(samples > 1 ? samples : 1);
    warm_heap_for(target_bytes);
    if (color_texture) {
#if !defined(__EMSCRIPTEN__)  // GL ES 3.0 has no multisampled textures; callers ask for none there
        glGenTextures(1, &c);
        glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, c);
        glTexImage2DMultisample(GL_TEXTURE_2D_MULTISAMPLE, samples, GL_RGB8, width, height, GL_TRUE);
        glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, 0);
#endif
    } else {
        glGenRenderbuffers(1, &c);
        glBindRenderbuffer(GL_RENDERBUFFER, c);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_RGB8, width, height);
    }
    if (shared_depth == 0) {
        warm_heap_for(target_bytes);
        glGenRenderbuffers(1, &d);
        glBindRenderbuffer(GL_RENDERBUFFER, d);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_DEPTH_COMPONENT24, width, height);
    }
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    if (color_texture) {
#if !defined(__EMSCRIPTEN__)
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D_MULTISAMPLE, c, 0);
#endif
    } else {
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, c);
    }
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, d != 0 ? d : shared_depth);
    const bool ok = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_FRAMEBUFFER, gl_framebuffer(rlgl.current_fbo));
    if (!ok || glGetError() != GL_NO_ERROR) {
        glDeleteFramebuffers(1, &fbo);
        if (color_texture) {
            glDeleteTextures(1, &c);
        } else {
            glDeleteRenderbuffers(1, &c);
        }
        if (d != 0) glDeleteRenderbuffers(1, &d);
        return 0;
    }
    *color = c;
    *depth = d;
    return fbo;
}

void free_screen_target() {
    if (rlgl.screen.fbo == 0) return;
    if (rlgl.current_fbo == 0) glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &rlgl.screen.fbo);
    if (gl_context_is_es) {
        glDeleteRenderbuffers(1, &rlgl.screen.color);
    } else {
        glDeleteTextures(1, &rlgl.screen.color);
    }
    glDeleteRenderbuffers(1, &rlgl.screen.depth);
    rlgl.screen.fbo = rlgl.screen.color = rlgl.screen.depth = 0;
}

// (Re)makes the screen target for a drawable of width x height; without it the
// frame is drawn on the window.
void fit_screen_target(int width, int height) {
    if (rlgl.screen.samples == 0 ||
        (rlgl.screen.fbo != 0 && rlgl.screen.width == width && rlgl.screen.height == height))
        return;
    free_screen_target();
    rlgl.screen.width = width;
    rlgl.screen.height = height;
    // On GL ES the samples sit in a renderbuffer, resolved by a blit (no shader can read
    // them there).
    rlgl.screen.fbo = make_color_depth_target(width, height, rlgl.screen.samples, !gl_context_is_es, &rlgl.screen.color,
                                              &rlgl.screen.depth);
    if (rlgl.screen.fbo == 0) {
        TraceLog(LOG_WARNING, "WINDOW: %dx multisampling is not available; drawing without it", rlgl.screen.samples);
        rlgl.screen.samples = 0;
    }
    if (rlgl.current_fbo == 0) bind_target(0);
}

// Copies colour from one framebuffer to another of the same size, the scissor test
// left out of it, and binds the current framebuffer again.
// `mirror`: one side runs top-down and the other bottom-up.
void copy_color(GLuint from, GLuint to, int width, int height, GLenum read_buffer, bool mirror) {
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    if (scissor) glDisable(GL_SCISSOR_TEST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, from);
    glReadBuffer(read_buffer);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, to);
    glBlitFramebuffer(0, 0, width, height, 0, mirror ? height : 0, width, mirror ? 0 : height, GL_COLOR_BUFFER_BIT,
                      GL_NEAREST);
    glBindFramebuffer(GL_FRAMEBUFFER, gl_framebuffer(rlgl.current_fbo));
    if (scissor) glEnable(GL_SCISSOR_TEST);
}

// The bound layer is about to be drawn on or cleared: the scissor rectangle, or all
// of it, joins what its resolved copy misses.
void note_layer_drawn() {
    LayerBuffers *l = rlgl.bound_layer;
    if (l == nullptr) return;
    const int w = target_width(rlgl.current_fbo), h = target_height(rlgl.current_fbo);
    int r[4] = {0, 0, w, h};
    if (glIsEnabled(GL_SCISSOR_TEST)) {
        r[0] = std::max(0, rlgl.scissor_rect[0]);
        r[1] = std::max(0, rlgl.scissor_rect[1]);
        r[2] = std::min(w, rlgl.scissor_rect[0] + rlgl.scissor_rect[2]);
        r[3] = std::min(h, rlgl.scissor_rect[1] + rlgl.scissor_rect[3]);
        if (r[0] >= r[2] || r[1] >= r[3]) return;
    }
    if (l->dirty[0] >= l->dirty[2] || l->dirty[1] >= l->dirty[3]) {
        std::memcpy(l->dirty, r, sizeof r);
        return;
    }
    l->dirty[0] = std::min(l->dirty[0], r[0]);
    l->dirty[1] = std::min(l->dirty[1], r[1]);
    l->dirty[2] = std::max(l->dirty[2], r[2]);
    l->dirty[3] = std::max(l->dirty[3], r[3]);
}

GLuint compile_stage(GLenum type, const char *code) {
    GLuint id = glCreateShader(type);
    glShaderSource(id, 1, &code, nullptr);
    glCompileShader(id);
    GLint ok = GL_FALSE;
    glGetShaderiv(id, GL_COMPILE_STATUS, &ok);
    if (ok == GL_TRUE) return id;
    glDeleteShader(id);
    return 0;
}

// A program drawing one triangle over the whole target with fragment stage `fs`; the
// vertex stage is written in `fs`'s GLSL version. 0 when a stage fails to compile or the
// program to link.
GLuint full_screen_program(const char *fs) {
    const char *version_end = std::strchr(fs, '\n');
    char vs[256];
    std::snprintf(vs, sizeof vs,
                  "%.*s\n"
                  "void main() {\n"
                  "    vec2 corner = vec2(float((gl_VertexID << 1) & 2), float(gl_VertexID & 2));\n"
                  "    gl_Position = vec4(corner * 2.0 - 1.0, 0.0, 1.0);\n"  // one triangle over all
                  "}\n",
                  static_cast<int>(version_end != nullptr ? version_end - fs : 0), fs);
    const GLuint v = compile_stage(GL_VERTEX_SHADER, vs);
    const GLuint f = v != 0 ? compile_stage(GL_FRAGMENT_SHADER, fs) : 0;
    if (f == 0) {
        if (v != 0) glDeleteShader(v);
        return 0;
    }
    const GLuint program = glCreateProgram();
    glAttachShader(program, v);
    glAttachShader(program, f);
    glLinkProgram(program);
    glDeleteShader(v);
    glDeleteShader(f);
    GLint ok = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (ok == GL_TRUE) return program;
    glDeleteProgram(program);
    return 0;
}

#if defined(__EMSCRIPTEN__)
void make_layer_copier() {
    rlgl.layer_copier.tried = true;
    static const char *fs = "#version 300 es\n"
                            "precision highp float;\n"
                            "uniform highp sampler2D layer;\n"
                            "out vec4 color;\n"
                            "void main() { color = texelFetch(layer, ivec2(gl_FragCoord.xy), 0); }\n";
    const GLuint program = full_screen_program(fs);
    if (program == 0) {
        TraceLog(LOG_WARNING, "FBO: the screen layers' copy shader did not build; drawn whole each frame");
        return;
    }
    rlgl.layer_copier.program = program;
    glGenVertexArrays(1, &rlgl.layer_copier.vao);
}

// Resolves what was drawn on the layer since its last copy into its texture, then
// copies the texture onto the window, which the rest of the frame draws on: the
// multisampled screen would take the resolved colours only through a draw over all of
// it and a second resolve, the two largest costs of a frame on a software renderer.
// Whatever the screen held is covered.
void copy_resolved_layer(GLuint id, LayerBuffers &l) {
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    if (scissor) glDisable(GL_SCISSOR_TEST);
    if (l.dirty[0] < l.dirty[2] && l.dirty[1] < l.dirty[3]) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, id);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, l.resolved_fbo);
        glBlitFramebuffer(l.dirty[0], l.dirty[1], l.dirty[2], l.dirty[3], l.dirty[0], l.dirty[1], l.dirty[2],
                          l.dirty[3], GL_COLOR_BUFFER_BIT, GL_NEAREST);
        std::memset(l.dirty, 0, sizeof l.dirty);
    }
    // Drawn, not blitted: a blit from the texture finds it black in a frame that did not
    // also resolve into it (Chromium on SwiftShader).
    GLint program = 0, vao = 0, unit = 0, bound = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &vao);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &unit);
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    const GLenum caps[] = {GL_BLEND, GL_DEPTH_TEST, GL_CULL_FACE};
    GLboolean was_on[3];
    for (int i = 0; i < 3; ++i) {
        was_on[i] = glIsEnabled(caps[i]);
        if (was_on[i]) glDisable(caps[i]);
    }
    // The screen's held depth clear now belongs to the window's depth.
    rlgl.screen_on_window = true;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, rlgl.screen.width, rlgl.screen.height);
    glUseProgram(rlgl.layer_copier.program);
    glBindTexture(GL_TEXTURE_2D, l.resolved);
    glBindVertexArray(rlgl.layer_copier.vao);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glBindVertexArray(static_cast<GLuint>(vao));
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
    glActiveTexture(static_cast<GLenum>(unit));
    glUseProgram(static_cast<GLuint>(program));
    for (int i = 0; i < 3; ++i)
        if (was_on[i]) glEnable(caps[i]);
    if (scissor) glEnable(GL_SCISSOR_TEST);
    bind_target(rlgl.current_fbo);
}

// The plain texture a layer's samples are resolved into; false when there is none.
bool add_resolved_copy(int width, int height, LayerBuffers *l) {
    if (!rlgl.layer_copier.tried) make_layer_copier();
    if (rlgl.layer_copier.program == 0) return false;
    while (glGetError() != GL_NO_ERROR) {
    }
    warm_heap_for(texel_bytes(width, height));
    glGenTextures(1, &l->resolved);
    glBindTexture(GL_TEXTURE_2D, l->resolved);
    glTexStorage2D(GL_TEXTURE_2D, 1, GL_RGB8, width, height);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, 0);
    glGenFramebuffers(1, &l->resolved_fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, l->resolved_fbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, l->resolved, 0);
    const bool ok = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_FRAMEBUFFER, gl_framebuffer(rlgl.current_fbo));
    if (ok && glGetError() == GL_NO_ERROR) {
        // Nothing resolved yet: the first copy resolves all of it.
        l->dirty[2] = width;
        l->dirty[3] = height;
        return true;
    }
    glDeleteFramebuffers(1, &l->resolved_fbo);
    glDeleteTextures(1, &l->resolved);
    l->resolved_fbo = l->resolved = 0;
    return false;
}
#endif

void free_layer_copier() {
    if (rlgl.layer_copier.program != 0) glDeleteProgram(rlgl.layer_copier.program);
    if (rlgl.layer_copier.vao != 0) glDeleteVertexArrays(1, &rlgl.layer_copier.vao);
}

#if !defined(__EMSCRIPTEN__)  // sampler2DMS is GL ES 3.1's; the blit resolves there
// Silent when the shader cannot be made: the blit then resolves as before.
void make_resolver() {
    rlgl.resolver.tried = true;
    char fs[768];
    std::snprintf(fs, sizeof(fs),
                  "#version 330 core\n"
                  "uniform sampler2DMS frame;\n"
                  "uniform int mirrorHeight;\n"  // 0: rows as they are
                  "out vec4 color;\n"
                  "void main() {\n"
                  "    ivec2 p = ivec2(gl_FragCoord.xy);\n"
                  "    if (mirrorHeight > 0) p.y = mirrorHeight - 1 - p.y;\n"
                  "    vec4 sum = vec4(0.0);\n"
                  "    for (int i = 0; i < %d; ++i) sum += texelFetch(frame, p, i);\n"
                  "    color = sum / %d.0;\n"
                  "}\n",
                  rlgl.screen.samples, rlgl.screen.samples);
    const GLuint program = full_screen_program(fs);
    if (program == 0) return;
    rlgl.resolver.program = program;
    rlgl.resolver.loc_mirror_height = glGetUniformLocation(program, "mirrorHeight");
    glGenVertexArrays(1, &rlgl.resolver.vao);
}

#endif

void free_resolver() {
    if (rlgl.resolver.program != 0) glDeleteProgram(rlgl.resolver.program);
    if (rlgl.resolver.vao != 0) glDeleteVertexArrays(1, &rlgl.resolver.vao);
}

// Averages the screen target's samples into framebuffer `to` (0: the window), its rows
// mirrored when `mirror`. False when there is no shader for it, for a blit to do
// instead. Leaves every piece of GL state as it found it.
bool resolve_samples(GLuint to, bool mirror) {
#if defined(__EMSCRIPTEN__)
    (void)to;
    (void)mirror;
    return false;
#else
    if (!rlgl.resolver.tried) make_resolver();
    if (rlgl.resolver.program == 0) return false;
    GLint program = 0, vao = 0, unit = 0, bound = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &vao);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &unit);
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D_MULTISAMPLE, &bound);
    const GLenum caps[] = {GL_BLEND, GL_DEPTH_TEST, GL_CULL_FACE, GL_SCISSOR_TEST};
    GLboolean was_on[4];
    for (int i = 0; i < 4; ++i) {
        was_on[i] = glIsEnabled(caps[i]);
        if (was_on[i]) glDisable(caps[i]);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, to);
    glViewport(0, 0, rlgl.screen.width, rlgl.screen.height);
    glUseProgram(rlgl.resolver.program);
    glUniform1i(rlgl.resolver.loc_mirror_height, mirror ? rlgl.screen.height : 0);
    glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, rlgl.screen.color);
    glBindVertexArray(rlgl.resolver.vao);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glBindVertexArray(static_cast<GLuint>(vao));
    glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, static_cast<GLuint>(bound));
    glActiveTexture(static_cast<GLenum>(unit));
    glUseProgram(static_cast<GLuint>(program));
    for (int i = 0; i < 4; ++i)
        if (was_on[i]) glEnable(caps[i]);
    glBindFramebuffer(GL_FRAMEBUFFER, gl_framebuffer(rlgl.current_fbo));
    apply_viewport();
    return true;
#endif
}

// Does the held clear's colour part, and its depth part when `with_depth`, on the
// screen, whatever target is bound and whatever scissor and depth mask are set.
void settle_screen_clear(bool with_depth) {
    GLbitfield mask = rlgl.held_clear.color ? GL_COLOR_BUFFER_BIT : 0;
    if (rlgl.held_clear.depth && with_depth) mask |= GL_DEPTH_BUFFER_BIT;
    if (mask == 0) return;
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    const bool depth_writes = rlgl.depth_writes;
    if (scissor) glDisable(GL_SCISSOR_TEST);
    if (!depth_writes) glDepthMask(GL_TRUE);
    if (rlgl.current_fbo != 0) glBindFramebuffer(GL_FRAMEBUFFER, gl_framebuffer(0));
    glClearColor(rlgl.held_clear.rgba[0], rlgl.held_clear.rgba[1], rlgl.held_clear.rgba[2], rlgl.held_clear.rgba[3]);
    glClear(mask);
    glClearColor(rlgl.clear_rgba[0], rlgl.clear_rgba[1], rlgl.clear_rgba[2], rlgl.clear_rgba[3]);
    if (rlgl.current_fbo != 0) glBindFramebuffer(GL_FRAMEBUFFER, gl_framebuffer(rlgl.current_fbo));
    if (!depth_writes) glDepthMask(GL_FALSE);
    if (scissor) glEnable(GL_SCISSOR_TEST);
    if (mask & GL_COLOR_BUFFER_BIT) rlgl.held_clear.color = false;
    if (mask & GL_DEPTH_BUFFER_BIT) rlgl.held_clear.depth = false;
}

bool has_pending() { return rlgl.batch != nullptr && rlgl.batch->vertex_count > 0; }

void flush_if_pending() {
    if (has_pending()) rlDrawRenderBatchActive();
}

void push_primitive(const Vertex *v, int n, GLenum mode) {
    if (rlgl.batch == nullptr) return;
    if (rlgl.batch->vertex_count + n > max_vertices) rlDrawRenderBatchActive();
    unsigned int tex = rlgl.batch->texture != 0 ? rlgl.batch->texture : rlgl.white_texture;
    DrawCall *call = rlgl.batch->call_count > 0 ? &rlgl.batch->calls[rlgl.batch->call_count - 1] : nullptr;
    if (call == nullptr || call->mode != mode || call->texture != tex) {
        if (rlgl.batch->call_count == max_draw_calls) rlDrawRenderBatchActive();
        call = &rlgl.batch->calls[rlgl.batch->call_count++];
        call->mode = mode;
        call->start = rlgl.batch->vertex_count;
        call->count = 0;
        call->texture = tex;
    }
    std::memcpy(&rlgl.batch->vertices[rlgl.batch->vertex_count], v, sizeof(Vertex) * static_cast<size_t>(n));
    rlgl.batch->vertex_count += n;
    call->count += n;
}

void add_vertex(const Vertex &v) {
    if (rlgl.batch == nullptr) return;
    Vertex *p = rlgl.batch->partial;
    p[rlgl.batch->partial_count++] = v;
    switch (rlgl.batch->mode) {
    case RL_QUADS:
        if (rlgl.batch->partial_count == 4) {
            Vertex tris[6] = {p[0], p[1], p[2], p[0], p[2], p[3]};
            push_primitive(tris, 6, GL_TRIANGLES);
            rlgl.batch->partial_count = 0;
        }
        break;
    case RL_TRIANGLES:
        if (rlgl.batch->partial_count == 3) {
            push_primitive(p, 3, GL_TRIANGLES);
            rlgl.batch->partial_count = 0;
        }
        break;
    default:  // RL_LINES
        if (rlgl.batch->partial_count == 2) {
            push_primitive(p, 2, GL_LINES);
            rlgl.batch->partial_count = 0;
        }
        break;
    }
}

// The matrix rlMatrixMode selected: in model-view mode, the local transform while
// pushes are open.
Matrix &current_matrix() {
    MatrixState &m = rlgl.mats;
    if (m.mode == RL_PROJECTION) return m.projection;
    return m.transform_depth > 0 ? m.transform : m.modelview;
}

void multiply_current(const Matrix &m) {
    Matrix &current = current_matrix();
    current = MatrixMultiply(m, current);
}

void set_cap(GLenum cap, bool on) {
    if (!gl_ready()) return;
    flush_if_pending();
    if (on)
        glEnable(cap);
    else
        glDisable(cap);
}

bool texture_size_ok(const char *what, int width, int height) {
    if (width < 1 || height < 1 || width > max_texture_size() || height > max_texture_size()) {
        log_line(LOG_WARNING, "%s: size %d x %d is invalid (limit %d)", what, width, height, max_texture_size());
        return false;
    }
    return true;
}

void set_screen_projection() {
    rlMatrixMode(RL_PROJECTION);
    rlLoadIdentity();
    rlOrtho(0, GetScreenWidth(), GetScreenHeight(), 0, 0.0, 1.0);
    rlMatrixMode(RL_MODELVIEW);
    rlLoadIdentity();
}

// Releases the GL objects the record holds, while their context is current, and
// starts a fresh record. Without a batch there is no renderer and nothing to release
// (before the first window, or after CloseWindow).
void reset_rlgl() {
    if (rlgl.batch != nullptr) {
        glBindVertexArray(0);
        glDeleteBuffers(1, &rlgl.batch->vbo);
        glDeleteVertexArrays(1, &rlgl.batch->vao);
        delete rlgl.batch;
        if (untrack_gl(GlKind::texture, rlgl.white_texture)) glDeleteTextures(1, &rlgl.white_texture);
        free_resolver();
        free_layer_copier();
        free_screen_target();
    }
    rlgl = RlglState{};
}

}  // namespace

// ------------------------------------------------------------------ internal entry points

void before_draw() {
    note_layer_drawn();
    if (rlgl.current_fbo == 0 && (rlgl.held_clear.color || rlgl.held_clear.depth))
        settle_screen_clear(glIsEnabled(GL_DEPTH_TEST));
}

bool rlgl_init(int width, int height, int samples) {
    reset_rlgl();
    rlgl.batch = new Batch();
    rlgl.screen.samples = samples > 1 ? samples : 0;
#if !defined(__EMSCRIPTEN__)  // GL ES has no clip control
    rlgl.clip_control_ok = epoxy_gl_version() >= 45 || epoxy_has_gl_extension("GL_ARB_clip_control");
#endif
    rlgl.screen_fb_width = width;
    rlgl.screen_fb_height = height;

    glGenVertexArrays(1, &rlgl.batch->vao);
    glBindVertexArray(rlgl.batch->vao);
    glGenBuffers(1, &rlgl.batch->vbo);
    glBindBuffer(GL_ARRAY_BUFFER, rlgl.batch->vbo);
    glBufferData(GL_ARRAY_BUFFER, sizeof(rlgl.batch->vertices), nullptr, GL_DYNAMIC_DRAW);
    const GLsizei stride = sizeof(Vertex);
    glEnableVertexAttribArray(RL_DEFAULT_SHADER_ATTRIB_LOCATION_POSITION);
    glVertexAttribPointer(RL_DEFAULT_SHADER_ATTRIB_LOCATION_POSITION, 3, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<void *>(offsetof(Vertex, x)));
    glEnableVertexAttribArray(RL_DEFAULT_SHADER_ATTRIB_LOCATION_TEXCOORD);
    glVertexAttribPointer(RL_DEFAULT_SHADER_ATTRIB_LOCATION_TEXCOORD, 2, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<void *>(offsetof(Vertex, u)));
    glEnableVertexAttribArray(RL_DEFAULT_SHADER_ATTRIB_LOCATION_NORMAL);
    glVertexAttribPointer(RL_DEFAULT_SHADER_ATTRIB_LOCATION_NORMAL, 3, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<void *>(offsetof(Vertex, nx)));
    glEnableVertexAttribArray(RL_DEFAULT_SHADER_ATTRIB_LOCATION_COLOR);
    glVertexAttribPointer(RL_DEFAULT_SHADER_ATTRIB_LOCATION_COLOR, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                          reinterpret_cast<void *>(offsetof(Vertex, r)));
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);

    const unsigned char white[4] = {255, 255, 255, 255};
    rlgl.white_texture = rlLoadTexture(white, 1, 1, PIXELFORMAT_UNCOMPRESSED_R8G8B8A8, 1);

    glDepthFunc(GL_LEQUAL);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBlendEquation(GL_FUNC_ADD);
    glCullFace(GL_BACK);
    glFrontFace(GL_CCW);
    glEnable(GL_CULL_FACE);
    glClearColor(rlgl.clear_rgba[0], rlgl.clear_rgba[1], rlgl.clear_rgba[2], rlgl.clear_rgba[3]);
#if defined(__EMSCRIPTEN__)
    glClearDepthf(1.0f);
#else
    glClearDepth(1.0);
    if (rlgl.clip_control_ok) glClipControl(GL_LOWER_LEFT, GL_NEGATIVE_ONE_TO_ONE);
#endif
    rlgl.view_rect[2] = rlgl.scissor_rect[2] = width;
    rlgl.view_rect[3] = rlgl.scissor_rect[3] = height;
#if !defined(__EMSCRIPTEN__)  // always on in GL ES
    if (rlgl.screen.samples > 0) glEnable(GL_MULTISAMPLE);
#endif
    fit_screen_target(width, height);
    bind_target(0);
    return rlgl.batch->vao != 0 && rlgl.batch->vbo != 0 && rlgl.white_texture != 0 && glGetError() == GL_NO_ERROR;
}

void rlgl_close() { reset_rlgl(); }

void rlgl_present() {
    if (rlgl.batch == nullptr || !gl_ready()) return;
    rlDrawRenderBatchActive();
    settle_screen_clear(false);
    if (rlgl.screen.fbo != 0 && !rlgl.screen_on_window && !resolve_samples(0, flipped_target(0)))
        copy_color(rlgl.screen.fbo, 0, rlgl.screen.width, rlgl.screen.height, GL_COLOR_ATTACHMENT0, flipped_target(0));
}

void rlgl_begin_frame(int width, int height) {
    rlgl.screen_fb_width = width;
    rlgl.screen_fb_height = height;
    rlgl.screen_on_window = false;
    if (!gl_ready()) return;
    fit_screen_target(width, height);
    rlgl.view_rect[0] = rlgl.view_rect[1] = 0;
    rlgl.view_rect[2] = width;
    rlgl.view_rect[3] = height;
    bind_target(rlgl.current_fbo);
    set_screen_projection();
}

unsigned int default_texture_id() { return rlgl.white_texture; }

Shader current_shader() {
    Shader s;
    s.id = rlgl.shader_id != 0 ? rlgl.shader_id : default_shader_id();
    s.locs = rlgl.shader_locs != nullptr ? rlgl.shader_locs : default_shader_locs();
    return s;
}

void set_current_shader(unsigned int id, int *locs) {
    if (id == rlgl.shader_id && locs == rlgl.shader_locs) return;
    flush_if_pending();
    rlgl.shader_id = id;
    rlgl.shader_locs = locs;
}

int framebuffer_width() {
    if (rlgl.current_fbo != 0) {
        auto it = rlgl.fbo_sizes.find(rlgl.current_fbo);
        if (it != rlgl.fbo_sizes.end()) return it->second >> 16;
    }
    return rlgl.screen_fb_width;
}

int framebuffer_height() {
    if (rlgl.current_fbo != 0) {
        auto it = rlgl.fbo_sizes.find(rlgl.current_fbo);
        if (it != rlgl.fbo_sizes.end()) return it->second & 0xffff;
    }
    return rlgl.screen_fb_height;
}

bool read_screen_pixels(int width, int height, unsigned char *out) {
    if (!gl_ready() || width < 1 || height < 1) return false;
    flush_if_pending();
    settle_screen_clear(false);
    glBindFramebuffer(GL_FRAMEBUFFER, gl_framebuffer(0));
    GLint samples = 0;
    glGetIntegerv(GL_SAMPLES, &samples);
    const GLenum source = gl_framebuffer(0) != 0 ? GL_COLOR_ATTACHMENT0 : GL_BACK;
    GLuint resolve_fbo = 0, resolve_rb = 0;
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    if (scissor) glDisable(GL_SCISSOR_TEST);
    if (samples > 1) {
        // A multisampled surface cannot be read directly: resolve it into a plain one.
        glGenRenderbuffers(1, &resolve_rb);
        glBindRenderbuffer(GL_RENDERBUFFER, resolve_rb);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        glGenFramebuffers(1, &resolve_fbo);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, resolve_fbo);
        glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, resolve_rb);
        // Resolved as the window is, so what is read is what the window shows.
        if (rlgl.screen.fbo == 0 || !resolve_samples(resolve_fbo, false)) {
            glBindFramebuffer(GL_READ_FRAMEBUFFER, rlgl.screen.fbo);
            glReadBuffer(source);
            glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        }
        glBindFramebuffer(GL_READ_FRAMEBUFFER, resolve_fbo);
        glReadBuffer(GL_COLOR_ATTACHMENT0);
    } else {
        glReadBuffer(source);
    }
    if (scissor) glEnable(GL_SCISSOR_TEST);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, out);
    if (resolve_fbo != 0) {
        glDeleteFramebuffers(1, &resolve_fbo);
        glDeleteRenderbuffers(1, &resolve_rb);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, gl_framebuffer(rlgl.current_fbo));
    // GL's rows run bottom-up; images run top-down, as the screen target already does.
    if (flipped_target(0)) return glGetError() == GL_NO_ERROR;
    const size_t row = static_cast<size_t>(width) * 4;
    unsigned char *tmp = new unsigned char[row];
    for (int y = 0; y < height / 2; y++) {
        unsigned char *a = out + static_cast<size_t>(y) * row;
        unsigned char *b = out + static_cast<size_t>(height - 1 - y) * row;
        std::memcpy(tmp, a, row);
        std::memcpy(a, b, row);
        std::memcpy(b, tmp, row);
    }
    delete[] tmp;
    return glGetError() == GL_NO_ERROR;
}

}  // namespace engine

using namespace engine;

// ------------------------------------------------------------------ matrices

void rlMatrixMode(int mode) {
    if (mode == RL_PROJECTION || mode == RL_MODELVIEW) rlgl.mats.mode = mode;
}

void rlPushMatrix(void) {
    if (rlgl.mats.depth >= RL_MAX_MATRIX_STACK_SIZE) {
        TraceLog(LOG_ERROR, "RLGL: matrix stack overflow (%d)", RL_MAX_MATRIX_STACK_SIZE);
        return;
    }
    // Pushes in model-view mode collect a local transform that is applied to
    // vertices as they are queued, so the batch can keep drawing with one view.
    if (rlgl.mats.mode == RL_MODELVIEW) {
        if (rlgl.mats.transform_depth == 0) rlgl.mats.transform = MatrixIdentity();
        rlgl.mats.stack[rlgl.mats.depth++] = StackEntry{rlgl.mats.transform, true};
        rlgl.mats.transform_depth++;
    } else {
        rlgl.mats.stack[rlgl.mats.depth++] = StackEntry{rlgl.mats.projection, false};
    }
}

void rlPopMatrix(void) {
    if (rlgl.mats.depth == 0) return;
    const StackEntry &e = rlgl.mats.stack[--rlgl.mats.depth];
    if (e.transform) {
        rlgl.mats.transform = e.value;
        if (--rlgl.mats.transform_depth == 0) rlgl.mats.transform = MatrixIdentity();
    } else {
        rlgl.mats.projection = e.value;
    }
}

void rlLoadIdentity(void) { current_matrix() = MatrixIdentity(); }

void rlTranslatef(float x, float y, float z) { multiply_current(MatrixTranslate(x, y, z)); }

void rlRotatef(float angle, float x, float y, float z) {
    Vector3 axis = {x, y, z};
    multiply_current(MatrixRotate(Vector3Normalize(axis), angle * DEG2RAD));
}

void rlScalef(float x, float y, float z) { multiply_current(MatrixScale(x, y, z)); }

void rlMultMatrixf(const float *f) {
    if (f == nullptr) return;
    Matrix m = {f[0], f[4], f[8], f[12], f[1], f[5], f[9], f[13], f[2], f[6], f[10], f[14], f[3], f[7], f[11], f[15]};
    multiply_current(m);
}

void rlFrustum(double left, double right, double bottom, double top, double znear, double zfar) {
    multiply_current(MatrixFrustum(left, right, bottom, top, znear, zfar));
}

void rlOrtho(double left, double right, double bottom, double top, double znear, double zfar) {
    multiply_current(MatrixOrtho(left, right, bottom, top, znear, zfar));
}

void rlViewport(int x, int y, int width, int height) {
    if (!gl_ready()) return;
    flush_if_pending();
    rlgl.view_rect[0] = x;
    rlgl.view_rect[1] = y;
    rlgl.view_rect[2] = width;
    rlgl.view_rect[3] = height;
    apply_viewport();
}

Matrix rlGetMatrixModelview(void) { return rlgl.mats.modelview; }
Matrix rlGetMatrixProjection(void) { return rlgl.mats.projection; }
Matrix rlGetMatrixTransform(void) { return rlgl.mats.transform_depth > 0 ? rlgl.mats.transform : MatrixIdentity(); }
void rlSetMatrixModelview(Matrix view) { rlgl.mats.modelview = view; }
void rlSetMatrixProjection(Matrix proj) { rlgl.mats.projection = proj; }

// ------------------------------------------------------------------ vertices

void rlBegin(int mode) {
    if (rlgl.batch == nullptr) return;
    rlgl.batch->mode = (mode == RL_LINES || mode == RL_TRIANGLES) ? mode : RL_QUADS;
    rlgl.batch->partial_count = 0;
}

void rlEnd(void) {
    if (rlgl.batch != nullptr) rlgl.batch->partial_count = 0;  // an incomplete primitive is dropped
}

void rlVertex3f(float x, float y, float z) {
    if (rlgl.batch == nullptr) return;
    Vertex v = rlgl.batch->current;
    if (rlgl.mats.transform_depth > 0) {
        Vector3 p = Vector3Transform(Vector3{x, y, z}, rlgl.mats.transform);
        x = p.x;
        y = p.y;
        z = p.z;
    }
    v.x = x;
    v.y = y;
    v.z = z;
    add_vertex(v);
}

void rlVertex2f(float x, float y) { rlVertex3f(x, y, 0.0f); }
void rlVertex2i(int x, int y) { rlVertex3f(static_cast<float>(x), static_cast<float>(y), 0.0f); }

void rlTexCoord2f(float x, float y) {
    if (rlgl.batch == nullptr) return;
    rlgl.batch->current.u = x;
    rlgl.batch->current.v = y;
}

void rlNormal3f(float x, float y, float z) {
    if (rlgl.batch == nullptr) return;
    rlgl.batch->current.nx = x;
    rlgl.batch->current.ny = y;
    rlgl.batch->current.nz = z;
}

void rlColor4ub(unsigned char r, unsigned char g, unsigned char b, unsigned char a) {
    if (rlgl.batch == nullptr) return;
    rlgl.batch->current.r = r;
    rlgl.batch->current.g = g;
    rlgl.batch->current.b = b;
    rlgl.batch->current.a = a;
}

static unsigned char unit_to_byte(float f) {
    if (!(f > 0.0f)) return 0;
    if (f >= 1.0f) return 255;
    return static_cast<unsigned char>(f * 255.0f + 0.5f);
}

void rlColor4f(float x, float y, float z, float w) {
    rlColor4ub(unit_to_byte(x), unit_to_byte(y), unit_to_byte(z), unit_to_byte(w));
}
void rlColor3f(float x, float y, float z) { rlColor4f(x, y, z, 1.0f); }

// ------------------------------------------------------------------ batch

void rlSetTexture(unsigned int id) {
    // A released or unknown texture would leave a GL error at the flush; the
    // default texture stands in.
    if (rlgl.batch != nullptr) rlgl.batch->texture = gl_is_live(GlKind::texture, id) ? id : 0;
}

bool rlCheckRenderBatchLimit(int vCount) {
    if (rlgl.batch == nullptr) return false;
    if (rlgl.batch->vertex_count + vCount * 2 >= max_vertices) {
        rlDrawRenderBatchActive();
        return true;
    }
    return false;
}

void rlDrawRenderBatchActive(void) {
    if (rlgl.batch == nullptr || !gl_ready()) return;
    if (rlgl.batch->vertex_count == 0) {
        rlgl.batch->call_count = 0;
        return;
    }
    Shader s = current_shader();
    glBindBuffer(GL_ARRAY_BUFFER, rlgl.batch->vbo);
    glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(sizeof(Vertex)) * rlgl.batch->vertex_count,
                    rlgl.batch->vertices);
    glBindBuffer(GL_ARRAY_BUFFER, 0);

    glUseProgram(s.id);
    Matrix mvp = MatrixMultiply(rlgl.mats.modelview, rlgl.mats.projection);
    if (s.locs != nullptr) {
        if (s.locs[SHADER_LOC_MATRIX_MVP] >= 0)
            glUniformMatrix4fv(s.locs[SHADER_LOC_MATRIX_MVP], 1, GL_FALSE, MatrixToFloatV(mvp).v);
        if (s.locs[SHADER_LOC_MATRIX_VIEW] >= 0)
            glUniformMatrix4fv(s.locs[SHADER_LOC_MATRIX_VIEW], 1, GL_FALSE, MatrixToFloatV(rlgl.mats.modelview).v);
        if (s.locs[SHADER_LOC_MATRIX_PROJECTION] >= 0)
            glUniformMatrix4fv(s.locs[SHADER_LOC_MATRIX_PROJECTION], 1, GL_FALSE,
                               MatrixToFloatV(rlgl.mats.projection).v);
        if (s.locs[SHADER_LOC_MATRIX_MODEL] >= 0)
            glUniformMatrix4fv(s.locs[SHADER_LOC_MATRIX_MODEL], 1, GL_FALSE, MatrixToFloatV(MatrixIdentity()).v);
        if (s.locs[SHADER_LOC_COLOR_DIFFUSE] >= 0)
            glUniform4f(s.locs[SHADER_LOC_COLOR_DIFFUSE], 1.0f, 1.0f, 1.0f, 1.0f);
        if (s.locs[SHADER_LOC_MAP_ALBEDO] >= 0) glUniform1i(s.locs[SHADER_LOC_MAP_ALBEDO], 0);
    }
    for (int i = 0; i < extra_texture_slots; i++) {
        if (rlgl.batch->extra_textures[i] == 0) continue;
        glActiveTexture(GL_TEXTURE1 + i);
        glBindTexture(GL_TEXTURE_2D, rlgl.batch->extra_textures[i]);
    }
    glActiveTexture(GL_TEXTURE0);
    glBindVertexArray(rlgl.batch->vao);
    before_draw();
    for (int i = 0; i < rlgl.batch->call_count; i++) {
        const DrawCall &c = rlgl.batch->calls[i];
        glBindTexture(GL_TEXTURE_2D, c.texture);
        glDrawArrays(c.mode, c.start, c.count);
    }
    glBindVertexArray(0);
    glBindTexture(GL_TEXTURE_2D, 0);
    for (int i = 0; i < extra_texture_slots; i++) {
        if (rlgl.batch->extra_textures[i] == 0) continue;
        glActiveTexture(GL_TEXTURE1 + i);
        glBindTexture(GL_TEXTURE_2D, 0);
        rlgl.batch->extra_textures[i] = 0;
    }
    glActiveTexture(GL_TEXTURE0);
    glUseProgram(0);
    rlgl.batch->vertex_count = 0;
    rlgl.batch->call_count = 0;
}

// ------------------------------------------------------------------ state

void rlActiveTextureSlot(int slot) {
    if (gl_ready() && slot >= 0 && slot < 16) glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(slot));
}

void rlEnableTexture(unsigned int id) {
    if (gl_ready()) glBindTexture(GL_TEXTURE_2D, id);
}

void rlDisableTexture(void) {
    if (gl_ready()) glBindTexture(GL_TEXTURE_2D, 0);
}

void rlTextureParameters(unsigned int id, int param, int value) {
    if (!gl_ready() || !gl_is_live(GlKind::texture, id)) return;
    switch (param) {
    case RL_TEXTURE_WRAP_S:
    case RL_TEXTURE_WRAP_T:
    case RL_TEXTURE_MAG_FILTER:
    case RL_TEXTURE_MIN_FILTER:
        break;
    default:
        TraceLog(LOG_WARNING, "TEXTURE: [ID %u] unknown parameter 0x%x", id, param);
        return;
    }
    glBindTexture(GL_TEXTURE_2D, id);
    glTexParameteri(GL_TEXTURE_2D, static_cast<GLenum>(param), value);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void rlEnableShader(unsigned int id) {
    if (gl_ready()) glUseProgram(id);
}

void rlDisableShader(void) {
    if (gl_ready()) glUseProgram(0);
}

void rlSetShader(unsigned int id, int *locs) {
    if (id == 0 || id == default_shader_id())
        set_current_shader(0, nullptr);
    else
        set_current_shader(id, locs);
}

void rlEnableFramebuffer(unsigned int id) {
    if (!gl_ready()) return;
    if (id != 0 && !gl_is_live(GlKind::framebuffer, id)) {
        TraceLog(LOG_WARNING, "FBO: [ID %u] is not a framebuffer; drawing stays where it was", id);
        return;
    }
    flush_if_pending();
    bind_target(id);
}

void rlDisableFramebuffer(void) {
    if (!gl_ready()) return;
    flush_if_pending();
    bind_target(0);
}

void rlEnableColorBlend(void) { set_cap(GL_BLEND, true); }
void rlDisableColorBlend(void) { set_cap(GL_BLEND, false); }
void rlEnableDepthTest(void) { set_cap(GL_DEPTH_TEST, true); }
void rlDisableDepthTest(void) { set_cap(GL_DEPTH_TEST, false); }
void rlEnableBackfaceCulling(void) { set_cap(GL_CULL_FACE, true); }
void rlDisableBackfaceCulling(void) { set_cap(GL_CULL_FACE, false); }

void rlEnableScissorTest(void) { set_cap(GL_SCISSOR_TEST, true); }
void rlDisableScissorTest(void) { set_cap(GL_SCISSOR_TEST, false); }

void rlScissor(int x, int y, int width, int height) {
    if (!gl_ready() || width < 0 || height < 0) return;
    flush_if_pending();  // what was queued before belongs to the old rectangle
    rlgl.scissor_rect[0] = x;
    rlgl.scissor_rect[1] = y;
    rlgl.scissor_rect[2] = width;
    rlgl.scissor_rect[3] = height;
    apply_scissor();
}

void rlEnableDepthMask(void) {
    if (!gl_ready()) return;
    flush_if_pending();
    glDepthMask(GL_TRUE);
    rlgl.depth_writes = true;
}

void rlDisableDepthMask(void) {
    if (!gl_ready()) return;
    flush_if_pending();
    glDepthMask(GL_FALSE);
    rlgl.depth_writes = false;
}

void rlSetCullFace(int mode) {
    if (!gl_ready()) return;
    flush_if_pending();
    glCullFace(mode == RL_CULL_FACE_FRONT ? GL_FRONT : GL_BACK);
}

void rlClearColor(unsigned char r, unsigned char g, unsigned char b, unsigned char a) {
    if (!gl_ready()) return;
    rlgl.clear_rgba[0] = r / 255.0f;
    rlgl.clear_rgba[1] = g / 255.0f;
    rlgl.clear_rgba[2] = b / 255.0f;
    rlgl.clear_rgba[3] = a / 255.0f;
    glClearColor(rlgl.clear_rgba[0], rlgl.clear_rgba[1], rlgl.clear_rgba[2], rlgl.clear_rgba[3]);
}

void rlClearScreenBuffers(void) {
    if (!gl_ready()) return;
    if (rlgl.current_fbo != 0 || glIsEnabled(GL_SCISSOR_TEST)) {
        // Only part of the screen, or another target: the held clear comes first.
        if (rlgl.current_fbo == 0) settle_screen_clear(true);
        note_layer_drawn();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        return;
    }
    rlgl.held_clear.color = true;
    rlgl.held_clear.depth = rlgl.held_clear.depth || rlgl.depth_writes;
    std::memcpy(rlgl.held_clear.rgba, rlgl.clear_rgba, sizeof rlgl.clear_rgba);
}

void rlSetBlendMode(int mode) {
    if (!gl_ready() || mode == rlgl.blend_mode) return;
    flush_if_pending();
    switch (mode) {
    case RL_BLEND_ALPHA:
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glBlendEquation(GL_FUNC_ADD);
        break;
    case RL_BLEND_ADDITIVE:
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        glBlendEquation(GL_FUNC_ADD);
        break;
    case RL_BLEND_MULTIPLIED:
        glBlendFunc(GL_DST_COLOR, GL_ONE_MINUS_SRC_ALPHA);
        glBlendEquation(GL_FUNC_ADD);
        break;
    case RL_BLEND_ADD_COLORS:
        glBlendFunc(GL_ONE, GL_ONE);
        glBlendEquation(GL_FUNC_ADD);
        break;
    case RL_BLEND_SUBTRACT_COLORS:
        glBlendFunc(GL_ONE, GL_ONE);
        glBlendEquation(GL_FUNC_SUBTRACT);
        break;
    case RL_BLEND_ALPHA_PREMULTIPLY:
        glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        glBlendEquation(GL_FUNC_ADD);
        break;
    default:
        TraceLog(LOG_WARNING, "RLGL: blend mode %d is not supported; keeping the current one", mode);
        return;
    }
    rlgl.blend_mode = mode;
}

int rlGetFramebufferWidth(void) { return framebuffer_width(); }
int rlGetFramebufferHeight(void) { return framebuffer_height(); }
unsigned int rlGetTextureIdDefault(void) { return rlgl.white_texture; }

// ------------------------------------------------------------------ vertex arrays and buffers

unsigned int rlLoadVertexArray(void) {
    if (!require_gl("rlLoadVertexArray")) return 0;
    GLuint vao = 0;
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    track_gl(GlKind::vertex_array, vao);
    return vao;
}

unsigned int rlLoadVertexBuffer(const void *buffer, int size, bool dynamic) {
    if (!require_gl("rlLoadVertexBuffer") || size < 0) return 0;
    GLuint id = 0;
    glGenBuffers(1, &id);
    glBindBuffer(GL_ARRAY_BUFFER, id);
    glBufferData(GL_ARRAY_BUFFER, size, buffer, dynamic ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
    track_gl(GlKind::buffer, id);
    return id;
}

unsigned int rlLoadVertexBufferElement(const void *buffer, int size, bool dynamic) {
    if (!require_gl("rlLoadVertexBufferElement") || size < 0) return 0;
    GLuint id = 0;
    glGenBuffers(1, &id);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, id);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, size, buffer, dynamic ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
    track_gl(GlKind::buffer, id);
    return id;
}

void rlUpdateVertexBuffer(unsigned int bufferId, const void *data, int dataSize, int offset) {
    if (!gl_ready() || bufferId == 0 || data == nullptr || dataSize <= 0 || offset < 0) return;
    glBindBuffer(GL_ARRAY_BUFFER, bufferId);
    glBufferSubData(GL_ARRAY_BUFFER, offset, dataSize, data);
}

void rlUnloadVertexArray(unsigned int vaoId) {
    if (!gl_ready() || !untrack_gl(GlKind::vertex_array, vaoId)) return;
    glBindVertexArray(0);
    glDeleteVertexArrays(1, &vaoId);
}

void rlUnloadVertexBuffer(unsigned int vboId) {
    if (!gl_ready() || !untrack_gl(GlKind::buffer, vboId)) return;
    glDeleteBuffers(1, &vboId);
}

void rlSetVertexAttribute(unsigned int index, int compSize, int type, bool normalized, int stride,
                          const void *pointer) {
    if (!gl_ready()) return;
    glVertexAttribPointer(index, compSize, static_cast<GLenum>(type), normalized ? GL_TRUE : GL_FALSE, stride, pointer);
}

void rlSetVertexAttributeDefault(int locIndex, const void *value, int attribType, int count) {
    (void)count;
    if (!gl_ready() || locIndex < 0 || value == nullptr) return;
    const float *v = static_cast<const float *>(value);
    switch (attribType) {
    case RL_SHADER_ATTRIB_FLOAT:
        glVertexAttrib1fv(locIndex, v);
        break;
    case RL_SHADER_ATTRIB_VEC2:
        glVertexAttrib2fv(locIndex, v);
        break;
    case RL_SHADER_ATTRIB_VEC3:
        glVertexAttrib3fv(locIndex, v);
        break;
    case RL_SHADER_ATTRIB_VEC4:
        glVertexAttrib4fv(locIndex, v);
        break;
    default:
        TraceLog(LOG_WARNING, "SHADER: attribute type %d is not supported", attribType);
        break;
    }
}

bool rlEnableVertexArray(unsigned int vaoId) {
    if (!gl_ready() || vaoId == 0) return false;
    glBindVertexArray(vaoId);
    return true;
}

void rlDisableVertexArray(void) {
    if (gl_ready()) glBindVertexArray(0);
}

void rlEnableVertexBuffer(unsigned int id) {
    if (gl_ready()) glBindBuffer(GL_ARRAY_BUFFER, id);
}

void rlDisableVertexBuffer(void) {
    if (gl_ready()) glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void rlEnableVertexBufferElement(unsigned int id) {
    if (gl_ready()) glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, id);
}

void rlDisableVertexBufferElement(void) {
    if (gl_ready()) glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

void rlEnableVertexAttribute(unsigned int index) {
    if (gl_ready()) glEnableVertexAttribArray(index);
}

void rlDisableVertexAttribute(unsigned int index) {
    if (gl_ready()) glDisableVertexAttribArray(index);
}

void rlDrawVertexArray(int offset, int count) {
    if (!gl_ready() || offset < 0 || count <= 0) return;
    before_draw();
    glDrawArrays(GL_TRIANGLES, offset, count);
}

void rlDrawVertexArrayElements(int offset, int count, const void *buffer) {
    if (!gl_ready() || offset < 0 || count <= 0) return;
    const unsigned short *base = static_cast<const unsigned short *>(buffer);
    before_draw();
    glDrawElements(GL_TRIANGLES, count, GL_UNSIGNED_SHORT, base + offset);
}

// ------------------------------------------------------------------ textures and framebuffers

unsigned int rlLoadTexture(const void *data, int width, int height, int format, int mipmapCount) {
    (void)mipmapCount;  // only the base level is kept
    if (!require_gl("rlLoadTexture")) return 0;
    if (!texture_size_ok("TEXTURE", width, height)) return 0;
    GLint internal = 0;
    GLenum fmt = 0, type = GL_UNSIGNED_BYTE;
    const GLint *swizzle = nullptr;
    static const GLint gray[4] = {GL_RED, GL_RED, GL_RED, GL_ONE};
    static const GLint gray_alpha[4] = {GL_RED, GL_RED, GL_RED, GL_GREEN};
    switch (format) {
    case PIXELFORMAT_UNCOMPRESSED_GRAYSCALE:
        internal = GL_R8;
        fmt = GL_RED;
        swizzle = gray;
        break;
    case PIXELFORMAT_UNCOMPRESSED_GRAY_ALPHA:
        internal = GL_RG8;
        fmt = GL_RG;
        swizzle = gray_alpha;
        break;
    case PIXELFORMAT_UNCOMPRESSED_R8G8B8:
        internal = GL_RGB8;
        fmt = GL_RGB;
        break;
    case PIXELFORMAT_UNCOMPRESSED_R8G8B8A8:
        internal = GL_RGBA8;
        fmt = GL_RGBA;
        break;
    case PIXELFORMAT_UNCOMPRESSED_R32:
        internal = GL_R32F;
        fmt = GL_RED;
        type = GL_FLOAT;
        break;
    case PIXELFORMAT_UNCOMPRESSED_R32G32B32:
        internal = GL_RGB32F;
        fmt = GL_RGB;
        type = GL_FLOAT;
        break;
    case PIXELFORMAT_UNCOMPRESSED_R32G32B32A32:
        internal = GL_RGBA32F;
        fmt = GL_RGBA;
        type = GL_FLOAT;
        break;
    default:
        TraceLog(LOG_WARNING, "TEXTURE: pixel format %d is not supported", format);
        return 0;
    }
    while (glGetError() != GL_NO_ERROR) {
    }
    GLuint id = 0;
    warm_heap_for(texel_bytes(width, height));
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, internal, width, height, 0, fmt, type, data);
#if defined(__EMSCRIPTEN__)
    if (swizzle != nullptr) {
        const GLenum channels[4] = {GL_TEXTURE_SWIZZLE_R, GL_TEXTURE_SWIZZLE_G, GL_TEXTURE_SWIZZLE_B,
                                    GL_TEXTURE_SWIZZLE_A};
        for (int i = 0; i < 4; ++i) glTexParameteri(GL_TEXTURE_2D, channels[i], swizzle[i]);
    }
#else
    if (swizzle != nullptr) glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, swizzle);
#endif
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, 0);
    if (glGetError() != GL_NO_ERROR) {
        glDeleteTextures(1, &id);
        TraceLog(LOG_WARNING, "TEXTURE: failed to create a %d x %d texture", width, height);
        return 0;
    }
    track_gl(GlKind::texture, id);
    return id;
}

unsigned int rlLoadTextureDepth(int width, int height, bool useRenderBuffer) {
    if (!require_gl("rlLoadTextureDepth")) return 0;
    if (!texture_size_ok("TEXTURE: depth", width, height)) return 0;
    while (glGetError() != GL_NO_ERROR) {
    }
    GLuint id = 0;
    warm_heap_for(texel_bytes(width, height));
    if (useRenderBuffer) {
        glGenRenderbuffers(1, &id);
        glBindRenderbuffer(GL_RENDERBUFFER, id);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
        glBindRenderbuffer(GL_RENDERBUFFER, 0);
    } else {
        glGenTextures(1, &id);
        glBindTexture(GL_TEXTURE_2D, id);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT24, width, height, 0, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT,
                     nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    if (glGetError() != GL_NO_ERROR) {
        if (useRenderBuffer)
            glDeleteRenderbuffers(1, &id);
        else
            glDeleteTextures(1, &id);
        TraceLog(LOG_WARNING, "TEXTURE: failed to create a %d x %d depth target", width, height);
        return 0;
    }
    track_gl(useRenderBuffer ? GlKind::renderbuffer : GlKind::texture, id);
    return id;
}

void rlUnloadTexture(unsigned int id) {
    if (!gl_ready() || id == rlgl.white_texture) return;  // the default texture lives until CloseWindow
    // Textures only: renderbuffer ids live in another namespace and may coincide.
    if (untrack_gl(GlKind::texture, id)) glDeleteTextures(1, &id);
}

unsigned int rlLoadFramebuffer(int width, int height) {
    if (!require_gl("rlLoadFramebuffer")) return 0;
    if (!texture_size_ok("FBO", width, height)) return 0;
    GLuint id = 0;
    glGenFramebuffers(1, &id);
    if (id == 0) {
        TraceLog(LOG_WARNING, "FBO: failed to create a framebuffer");
        return 0;
    }
    track_gl(GlKind::framebuffer, id);
    rlgl.fbo_sizes[id] = (width << 16) | height;
    return id;
}

void rlFramebufferAttach(unsigned int fboId, unsigned int texId, int attachType, int texType, int mipLevel) {
    if (!gl_ready() || !gl_is_live(GlKind::framebuffer, fboId)) return;
    bool renderbuffer = texType == RL_ATTACHMENT_RENDERBUFFER;
    if (texId != 0 && !gl_is_live(renderbuffer ? GlKind::renderbuffer : GlKind::texture, texId)) {
        TraceLog(LOG_WARNING, "FBO: [ID %u] cannot attach %u: no such %s", fboId, texId,
                 renderbuffer ? "renderbuffer" : "texture");
        return;
    }
    flush_if_pending();
    glBindFramebuffer(GL_FRAMEBUFFER, fboId);
    GLenum attachment;
    if (attachType >= RL_ATTACHMENT_COLOR_CHANNEL0 && attachType <= RL_ATTACHMENT_COLOR_CHANNEL7)
        attachment = GL_COLOR_ATTACHMENT0 + static_cast<GLenum>(attachType);
    else if (attachType == RL_ATTACHMENT_DEPTH)
        attachment = GL_DEPTH_ATTACHMENT;
    else if (attachType == RL_ATTACHMENT_STENCIL)
        attachment = GL_STENCIL_ATTACHMENT;
    else {
        TraceLog(LOG_WARNING, "FBO: [ID %u] unknown attachment type %d", fboId, attachType);
        glBindFramebuffer(GL_FRAMEBUFFER, gl_framebuffer(rlgl.current_fbo));
        return;
    }
    if (texType == RL_ATTACHMENT_RENDERBUFFER)
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, attachment, GL_RENDERBUFFER, texId);
    else if (texType == RL_ATTACHMENT_TEXTURE2D)
        glFramebufferTexture2D(GL_FRAMEBUFFER, attachment, GL_TEXTURE_2D, texId, mipLevel);
    else
        glFramebufferTexture2D(GL_FRAMEBUFFER, attachment,
                               GL_TEXTURE_CUBE_MAP_POSITIVE_X + static_cast<GLenum>(texType), texId, mipLevel);
    // A target without a colour attachment draws and reads no colour (a depth-only
    // shadow map); one with a colour attachment draws into it.
    GLint color_type = GL_NONE;
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE,
                                          &color_type);
    GLenum buffer = color_type == GL_NONE ? GL_NONE : GL_COLOR_ATTACHMENT0;
#if defined(__EMSCRIPTEN__)
    glDrawBuffers(1, &buffer);
#else
    glDrawBuffer(buffer);
#endif
    glReadBuffer(buffer);
    glBindFramebuffer(GL_FRAMEBUFFER, gl_framebuffer(rlgl.current_fbo));
}

bool rlFramebufferComplete(unsigned int id) {
    if (!gl_ready() || !gl_is_live(GlKind::framebuffer, id)) return false;
    glBindFramebuffer(GL_FRAMEBUFFER, id);
    GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    glBindFramebuffer(GL_FRAMEBUFFER, gl_framebuffer(rlgl.current_fbo));
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        TraceLog(LOG_WARNING, "FBO: [ID %u] framebuffer is not complete (0x%x)", id, status);
        return false;
    }
    return true;
}

void rlUnloadFramebuffer(unsigned int id) {
    if (!gl_ready() || !untrack_gl(GlKind::framebuffer, id)) return;
    if (rlgl.current_fbo == id) {
        flush_if_pending();
        bind_target(0);
    }
    glDeleteFramebuffers(1, &id);
    rlgl.fbo_sizes.erase(id);
    auto layer = rlgl.layer_buffers.find(id);
    if (layer != rlgl.layer_buffers.end()) {
        for (GLuint rb : {layer->second.color, layer->second.depth})
            if (untrack_gl(GlKind::renderbuffer, rb)) glDeleteRenderbuffers(1, &rb);
        if (layer->second.resolved_fbo != 0) glDeleteFramebuffers(1, &layer->second.resolved_fbo);
        if (layer->second.resolved != 0) glDeleteTextures(1, &layer->second.resolved);
        rlgl.layer_buffers.erase(layer);
    }
}

unsigned int rlLoadScreenLayer(int width, int height) {
    if (!require_gl("rlLoadScreenLayer")) return 0;
    if (!texture_size_ok("FBO: screen layer", width, height)) return 0;
    // Each frame clears the parts of a layer it draws again, depth too, so the depth
    // kept between frames is of no use: a layer of the screen's size draws with the
    // screen's own depth buffer (one less multisampled buffer held).
    const bool screen_sized = rlgl.screen.fbo != 0 && width == rlgl.screen.width && height == rlgl.screen.height;
    GLuint color = 0, depth = 0;
    const GLuint id = make_color_depth_target(width, height, rlgl.screen.samples, false, &color, &depth,
                                              screen_sized ? rlgl.screen.depth : 0);
    if (id == 0) {
        TraceLog(LOG_WARNING, "FBO: could not make a %d x %d screen layer", width, height);
        return 0;
    }
    LayerBuffers buffers{color, depth};
#if defined(__EMSCRIPTEN__)
    if (rlgl.screen.samples > 0 && !add_resolved_copy(width, height, &buffers)) {
        glDeleteFramebuffers(1, &id);
        glDeleteRenderbuffers(1, &color);
        if (depth != 0) glDeleteRenderbuffers(1, &depth);
        static bool told = false;  // asked again each frame: said once
        if (!told) TraceLog(LOG_WARNING, "FBO: could not keep a resolved %d x %d screen layer", width, height);
        told = true;
        return 0;
    }
#endif
    track_gl(GlKind::framebuffer, id);
    track_gl(GlKind::renderbuffer, color);
    track_gl(GlKind::renderbuffer, depth);
    rlgl.fbo_sizes[id] = (width << 16) | height;
    rlgl.layer_buffers[id] = buffers;
    return id;
}

void rlCopyScreenLayer(unsigned int id) {
    auto layer = rlgl.layer_buffers.find(id);
    if (!gl_ready() || layer == rlgl.layer_buffers.end()) return;
    const int size = rlgl.fbo_sizes[id];
    if ((size >> 16) != rlgl.screen_fb_width || (size & 0xffff) != rlgl.screen_fb_height) {
        TraceLog(LOG_WARNING, "FBO: [ID %u] screen layer is not the screen's size; not copied", id);
        return;
    }
    flush_if_pending();
    rlgl.held_clear.color = false;  // every pixel's colour is the layer's now
#if defined(__EMSCRIPTEN__)
    if (layer->second.resolved_fbo != 0) {
        copy_resolved_layer(id, layer->second);
        return;
    }
#endif
    copy_color(id, rlgl.screen.fbo, rlgl.screen_fb_width, rlgl.screen_fb_height, GL_COLOR_ATTACHMENT0,
               flipped_target(id) != flipped_target(0));
}

bool rlScreenDrawingQueued(void) { return has_pending(); }

// ------------------------------------------------------------------ uniforms

void rlSetUniform(int locIndex, const void *value, int uniformType, int count) {
    if (!gl_ready() || locIndex < 0 || value == nullptr || count < 1) return;
    const float *f = static_cast<const float *>(value);
    const int *i = static_cast<const int *>(value);
    switch (uniformType) {
    case RL_SHADER_UNIFORM_FLOAT:
        glUniform1fv(locIndex, count, f);
        break;
    case RL_SHADER_UNIFORM_VEC2:
        glUniform2fv(locIndex, count, f);
        break;
    case RL_SHADER_UNIFORM_VEC3:
        glUniform3fv(locIndex, count, f);
        break;
    case RL_SHADER_UNIFORM_VEC4:
        glUniform4fv(locIndex, count, f);
        break;
    case RL_SHADER_UNIFORM_INT:
        glUniform1iv(locIndex, count, i);
        break;
    case RL_SHADER_UNIFORM_IVEC2:
        glUniform2iv(locIndex, count, i);
        break;
    case RL_SHADER_UNIFORM_IVEC3:
        glUniform3iv(locIndex, count, i);
        break;
    case RL_SHADER_UNIFORM_IVEC4:
        glUniform4iv(locIndex, count, i);
        break;
    case RL_SHADER_UNIFORM_SAMPLER2D:
        glUniform1iv(locIndex, count, i);
        break;
    default:
        TraceLog(LOG_WARNING, "SHADER: uniform type %d is not supported", uniformType);
        break;
    }
}

void rlSetUniformMatrix(int locIndex, Matrix mat) {
    if (!gl_ready() || locIndex < 0) return;
    glUniformMatrix4fv(locIndex, 1, GL_FALSE, MatrixToFloatV(mat).v);
}

void rlSetUniformSampler(int locIndex, unsigned int textureId) {
    if (!gl_ready() || locIndex < 0 || rlgl.batch == nullptr) return;
    // The texture is bound to one of the batch's extra units when the batch draws.
    for (int i = 0; i < extra_texture_slots; i++) {
        if (rlgl.batch->extra_textures[i] == textureId || rlgl.batch->extra_textures[i] == 0) {
            rlgl.batch->extra_textures[i] = textureId;
            glUniform1i(locIndex, 1 + i);
            return;
        }
    }
    TraceLog(LOG_WARNING, "SHADER: no free texture unit for sampler %d", locIndex);
}

// ------------------------------------------------------------------ 3D and texture modes

void BeginMode3D(Camera3D camera) {
    if (!require_gl("BeginMode3D")) return;
    rlDrawRenderBatchActive();
    rlMatrixMode(RL_PROJECTION);
    rlPushMatrix();
    rlLoadIdentity();
    double aspect = static_cast<double>(framebuffer_width()) /
                    static_cast<double>(framebuffer_height() > 0 ? framebuffer_height() : 1);
    if (camera.projection == CAMERA_ORTHOGRAPHIC) {
        double top = camera.fovy / 2.0, right = top * aspect;
        rlOrtho(-right, right, -top, top, RL_CULL_DISTANCE_NEAR, RL_CULL_DISTANCE_FAR);
    } else {
        double top = RL_CULL_DISTANCE_NEAR * std::tan(camera.fovy * 0.5 * DEG2RAD), right = top * aspect;
        rlFrustum(-right, right, -top, top, RL_CULL_DISTANCE_NEAR, RL_CULL_DISTANCE_FAR);
    }
    rlMatrixMode(RL_MODELVIEW);
    rlLoadIdentity();
    Matrix view = MatrixLookAt(camera.position, camera.target, camera.up);
    rlMultMatrixf(MatrixToFloatV(view).v);
    rlEnableDepthTest();
}

void EndMode3D(void) {
    if (!gl_ready()) return;
    rlDrawRenderBatchActive();
    rlMatrixMode(RL_PROJECTION);
    rlPopMatrix();
    rlMatrixMode(RL_MODELVIEW);
    rlLoadIdentity();
    rlDisableDepthTest();
}

void BeginTextureMode(RenderTexture2D target) {
    if (!require_gl("BeginTextureMode")) return;
    if (!gl_is_live(GlKind::framebuffer, target.id)) {
        TraceLog(LOG_WARNING, "FBO: [ID %u] render texture is not loaded; drawing stays on screen", target.id);
        return;
    }
    rlDrawRenderBatchActive();
    rlEnableFramebuffer(target.id);
    rlViewport(0, 0, target.texture.width, target.texture.height);
    rlMatrixMode(RL_PROJECTION);
    rlLoadIdentity();
    rlOrtho(0, target.texture.width, target.texture.height, 0, 0.0, 1.0);
    rlMatrixMode(RL_MODELVIEW);
    rlLoadIdentity();
}

void EndTextureMode(void) {
    if (!gl_ready()) return;
    rlDrawRenderBatchActive();
    rlDisableFramebuffer();
    rlViewport(0, 0, rlgl.screen_fb_width, rlgl.screen_fb_height);
    set_screen_projection();
}

void ClearBackground(Color color) {
    rlClearColor(color.r, color.g, color.b, color.a);
    rlClearScreenBuffers();
}
