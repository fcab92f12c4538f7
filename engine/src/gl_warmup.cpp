#include "gl_warmup.h"

#include <epoxy/egl.h>

#include <cstdlib>
#include <cstring>
#include <thread>

namespace engine {
namespace {

std::thread worker;
EGLDisplay warm_display = EGL_NO_DISPLAY;  // written by the worker, read after the join

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

void warm_up() {
    // Silent on every failure: SDL meets the same failure itself and reports it.
    const char *client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!names_extension(client, "EGL_MESA_platform_surfaceless") || !names_extension(client, "EGL_EXT_platform_base"))
        return;
    // A display without a window system: no X connection of its own, which would race
    // SDL's own connecting in Xlib's unguarded statics.
    EGLDisplay display = eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY) return;
    EGLint major = 0, minor = 0;
    if (eglInitialize(display, &major, &minor) == EGL_TRUE) warm_display = display;
}

}  // namespace

void start_gl_warmup() {
    if (worker.joinable() || !window_will_use_egl_on_x11()) return;
    worker = std::thread(warm_up);
}

void end_gl_warmup() {
    if (worker.joinable()) worker.join();
    // SDL's display holds the driver now; ours only held it for SDL.
    if (warm_display != EGL_NO_DISPLAY) eglTerminate(warm_display);
    warm_display = EGL_NO_DISPLAY;
}

}  // namespace engine
