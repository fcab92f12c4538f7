#include "gl_warmup.h"

#if !defined(__EMSCRIPTEN__)

#include "warm_heap.h"

#include <epoxy/egl.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

namespace engine {
namespace {

// Enough for the multisampled screen, a 4096 x 4096 shadow map and a monitor-sized
// render target, and two blocks hold the shadow map.
constexpr int warm_blocks = 4;
constexpr int warm_block_chunks = 34;

// One warm-up's state, from start_gl_warmup to end_heap_warmup.
struct Warmup {
    std::thread worker;
    EGLDisplay display = EGL_NO_DISPLAY;  // written by the worker before display_done
    std::atomic<bool> display_done{false};
    bool software_driver = false;  // written by the worker before display_done
    std::atomic<bool> stop_warming{false};
    WarmHeap heap;
    bool heap_kept = false;  // main thread: glibc is holding on to freed pages
};
Warmup warm;

// Starts a fresh record for the next warm-up. Made anew in place, as its thread and
// atomics cannot be assigned; only with the worker joined and the heap given back.
void reset_warmup() {
    std::destroy_at(&warm);
    std::construct_at(&warm);
}

bool names_extension(const char *list, const char *name) {
    const std::size_t n = std::strlen(name);
    for (const char *p = list; p != nullptr && *p != '\0';) {
        const char *end = std::strchr(p, ' ');
        const std::size_t len = end != nullptr ? static_cast<std::size_t>(end - p) : std::strlen(p);
        if (len == n && std::strncmp(p, name, n) == 0) return true;
        p = end != nullptr ? end + 1 : nullptr;
    }
    return false;
}

// The window goes through the system's EGL on X11 unless the environment picks another
// video driver, another EGL library or GLX.
bool window_will_use_egl_on_x11() {
    const char *display = std::getenv("DISPLAY");
    if (display == nullptr || display[0] == '\0') return false;
    if (std::getenv("SDL_VIDEO_EGL_DRIVER") != nullptr) return false;
    const char *driver = std::getenv("SDL_VIDEODRIVER");
    if (driver != nullptr && driver[0] != '\0' && std::strncmp(driver, "x11", 3) != 0) return false;
    const char *force_egl = std::getenv("SDL_VIDEO_X11_FORCE_EGL");
    return force_egl == nullptr || std::strcmp(force_egl, "0") != 0;
}

// Mesa's software rasteriser, which keeps its textures on the heap.
bool draws_from_heap(EGLDisplay display) {
    if (!names_extension(eglQueryString(display, EGL_EXTENSIONS), "EGL_MESA_query_driver")) return false;
    using DriverName = const char *(*)(EGLDisplay);
    auto name_of = reinterpret_cast<DriverName>(eglGetProcAddress("eglGetDisplayDriverName"));
    const char *name = name_of != nullptr ? name_of(display) : nullptr;
    return name != nullptr && (std::strcmp(name, "swrast") == 0 || std::strcmp(name, "kms_swrast") == 0);
}

// Loads the driver; true when it is one whose targets are worth warming the heap for.
bool load_driver() {
    // Silent on every failure: SDL meets the same failure itself and reports it.
    const char *client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!names_extension(client, "EGL_MESA_platform_surfaceless") || !names_extension(client, "EGL_EXT_platform_base"))
        return false;
    // A display without a window system: no X connection of its own, which would race
    // SDL's own connecting in Xlib's unguarded statics.
    EGLDisplay display = eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY) return false;
    EGLint major = 0, minor = 0;
    if (eglInitialize(display, &major, &minor) != EGL_TRUE) return false;
    warm.display = display;
    return draws_from_heap(display);
}

void warm_up() {
    warm.software_driver = load_driver();
    warm.display_done.store(true, std::memory_order_release);
    warm.display_done.notify_all();
    // The main thread is opening the window meanwhile; this core would be idle.
    if (warm.software_driver) warm_heap_pages(warm.heap, warm.stop_warming);
}

// Main thread, with the worker not touching the blocks (done, or never warming).
void give_back_kept_heap() {
    if (!warm.heap_kept) return;
    release_warm_heap(warm.heap);
    restore_heap_trimming();
    warm.heap_kept = false;
}

}  // namespace

void start_gl_warmup() {
    if (warm.worker.joinable() || !window_will_use_egl_on_x11()) return;
    reset_warmup();
    warm.heap_kept = keep_heap_pages();
    if (warm.heap_kept) reserve_warm_heap(warm.heap, warm_blocks, warm_block_chunks);
    // An exit before the first frame still finds the worker stopped and joined.
    static const bool registered = std::atexit(end_heap_warmup) == 0;
    (void)registered;
    warm.worker = std::thread(warm_up);
}

void end_gl_warmup() {
    if (!warm.worker.joinable()) return;
    warm.display_done.wait(false, std::memory_order_acquire);
    // SDL's display holds the driver now; ours only held it for SDL.
    if (warm.display != EGL_NO_DISPLAY) eglTerminate(warm.display);
    warm.display = EGL_NO_DISPLAY;
    // A driver with memory of its own has no use for the heap kept for it.
    if (!warm.software_driver) give_back_kept_heap();
}

void warm_heap_for(std::size_t bytes) {
    if (warm.heap_kept) make_warm_room(warm.heap, bytes);
}

void end_heap_warmup() {
    if (warm.worker.joinable()) {
        warm.stop_warming.store(true);
        warm.worker.join();
    }
    give_back_kept_heap();
}

}  // namespace engine

#else
// The browser loads its GL itself, and the page's heap is WebAssembly memory: there is
// nothing to warm.
namespace engine {
void start_gl_warmup() {}
void end_gl_warmup() {}
void warm_heap_for(std::size_t) {}
void end_heap_warmup() {}
}  // namespace engine
#endif
