#include "platform/display_loss.h"

#if defined(VORBEL_SYSTEM_RAYLIB) && defined(__linux__)
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "raylib.h"

namespace {

int on_x_io_error(void *) {
    TraceLog(LOG_ERROR, "WINDOW: the display connection was lost; the game ends");
    std::fflush(stdout);
    _exit(EXIT_FAILURE);
}

}  // namespace

void watch_display_loss() {
    // GLFW's libX11, already loaded with the window; on Wayland there is none.
    void *x11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    if (x11 == nullptr) return;
    using IoHandler = int (*)(void *);
    auto set_io_handler = reinterpret_cast<IoHandler (*)(IoHandler)>(dlsym(x11, "XSetIOErrorHandler"));
    if (set_io_handler != nullptr) set_io_handler(on_x_io_error);
}
#else
void watch_display_loss() {}
#endif
