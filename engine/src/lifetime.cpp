// Lifetime registries: every GL object and every array the engine hands out is
// recorded here, so CloseWindow can release what a program left alive and unloads
// of already-released objects are recognised and ignored.
#include "internal.h"

#include "gl_api.h"

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace engine {
namespace {

struct GlKey {
    GlKind kind;
    unsigned int id;
    bool operator==(const GlKey &o) const { return kind == o.kind && id == o.id; }
};

struct GlKeyHash {
    // Through a 64-bit key: shifting a 32-bit size_t (the browser build's) by 32 is undefined.
    std::size_t operator()(const GlKey &k) const {
        return std::hash<std::uint64_t>{}((static_cast<std::uint64_t>(k.kind) << 32) | k.id);
    }
};

// Function-local statics: the registries must exist whenever the first object is
// recorded, whatever the order of static initialisation.
std::unordered_set<GlKey, GlKeyHash> &gl_objects() {
    static std::unordered_set<GlKey, GlKeyHash> set;
    return set;
}

std::unordered_set<void *> &arrays() {
    static std::unordered_set<void *> set;
    return set;
}

constexpr int max_hooks = 16;
void (*hooks[max_hooks])() = {};
int hook_count = 0;

void delete_gl(GlKind kind, unsigned int id) {
    switch (kind) {
    case GlKind::texture:
        glDeleteTextures(1, &id);
        break;
    case GlKind::renderbuffer:
        glDeleteRenderbuffers(1, &id);
        break;
    case GlKind::framebuffer:
        glDeleteFramebuffers(1, &id);
        break;
    case GlKind::shader_program:
        glDeleteProgram(id);
        break;
    case GlKind::vertex_array:
        glDeleteVertexArrays(1, &id);
        break;
    case GlKind::buffer:
        glDeleteBuffers(1, &id);
        break;
    }
}

}  // namespace

void track_gl(GlKind kind, unsigned int id) {
    if (id != 0) gl_objects().insert(GlKey{kind, id});
}

bool untrack_gl(GlKind kind, unsigned int id) {
    if (id == 0) return false;
    return gl_objects().erase(GlKey{kind, id}) > 0;
}

bool gl_is_live(GlKind kind, unsigned int id) { return id != 0 && gl_objects().count(GlKey{kind, id}) > 0; }

void add_shutdown_hook(void (*hook)()) {
    for (int i = 0; i < hook_count; i++)
        if (hooks[i] == hook) return;
    if (hook_count < max_hooks)
        hooks[hook_count++] = hook;
    else
        log_line(LOG_WARNING, "ENGINE: too many shutdown hooks; one was not registered");
}

void run_shutdown_hooks() {
    // Newest first, while the renderer and every object are still there.
    while (hook_count > 0) {
        void (*hook)() = hooks[--hook_count];
        hooks[hook_count] = nullptr;
        hook();
    }
}

void release_all_gl() {
    run_shutdown_hooks();  // any registered late
    std::vector<GlKey> live(gl_objects().begin(), gl_objects().end());
    gl_objects().clear();
    // Framebuffers before their attachments, programs and arrays before buffers.
    for (GlKind kind : {GlKind::framebuffer, GlKind::vertex_array, GlKind::shader_program, GlKind::renderbuffer,
                        GlKind::texture, GlKind::buffer}) {
        for (const GlKey &k : live)
            if (k.kind == kind) delete_gl(k.kind, k.id);
    }
}

void *engine_alloc(std::size_t bytes) {
    void *p = std::calloc(1, bytes == 0 ? 1 : bytes);
    if (p != nullptr) arrays().insert(p);
    return p;
}

void *engine_realloc(void *ptr, std::size_t bytes) {
    if (ptr == nullptr) return engine_alloc(bytes);
    if (!engine_owns(ptr)) return nullptr;
    void *p = std::realloc(ptr, bytes == 0 ? 1 : bytes);
    if (p == nullptr) return nullptr;  // the old block stays valid and recorded
    arrays().erase(ptr);
    arrays().insert(p);
    return p;
}

bool engine_free(void *ptr) {
    if (ptr == nullptr) return false;
    if (arrays().erase(ptr) == 0) return false;
    std::free(ptr);
    return true;
}

bool engine_owns(const void *ptr) { return ptr != nullptr && arrays().count(const_cast<void *>(ptr)) > 0; }

void release_all_arrays() {
    for (void *p : arrays()) std::free(p);
    arrays().clear();
}

}  // namespace engine
