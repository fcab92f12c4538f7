#if !defined(__EMSCRIPTEN__)  // the page has no X server
#include "display_watch.h"

#include <SDL_syswm.h>
#include <dlfcn.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace engine {
namespace {

// How often the connection is looked at, apart from each frame: a frame can be stuck
// in the GL driver's present, retrying a write to a server that is gone.
constexpr auto watch_interval = std::chrono::milliseconds(200);

struct Watch {
    std::mutex lock;
    std::condition_variable wake;
    void *connection = nullptr;  // the XCB connection under the window and its GL context
    int (*connection_error)(void *) = nullptr;
    std::thread thread;
};
Watch watch;
void (*lost_action)() = nullptr;

int on_x_io_error(Display *) {
    if (lost_action != nullptr) lost_action();
    return 0;  // not reached; Xlib would exit
}

// The X libraries are SDL's and the GL driver's, loaded by them at run time, so they
// are found in the process rather than linked.
void *loaded_symbol(const char *library, const char *name) {
    void *lib = dlopen(library, RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    return lib != nullptr ? dlsym(lib, name) : nullptr;
}

void watch_loop() {
    std::unique_lock<std::mutex> held(watch.lock);
    while (watch.connection_error != nullptr) {
        if (watch.connection_error(watch.connection) != 0) lost_action();
        watch.wake.wait_for(held, watch_interval);
    }
}

}  // namespace

void watch_display(SDL_Window *window, void (*on_lost)()) {
    unwatch_display();
    const char *driver = SDL_GetCurrentVideoDriver();
    if (window == nullptr || driver == nullptr || std::strcmp(driver, "x11") != 0) return;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
    lost_action = on_lost;
    using IoHandler = int (*)(Display *);
    auto set_io_handler =
        reinterpret_cast<IoHandler (*)(IoHandler)>(loaded_symbol("libX11.so.6", "XSetIOErrorHandler"));
    if (set_io_handler != nullptr) set_io_handler(on_x_io_error);
    auto xcb_of = reinterpret_cast<void *(*)(Display *)>(loaded_symbol("libX11-xcb.so.1", "XGetXCBConnection"));
    auto has_error = reinterpret_cast<int (*)(void *)>(loaded_symbol("libxcb.so.1", "xcb_connection_has_error"));
    if (xcb_of == nullptr || has_error == nullptr) return;
    void *connection = xcb_of(info.info.x11.display);
    if (connection == nullptr) return;
    {
        const std::lock_guard<std::mutex> held(watch.lock);
        watch.connection = connection;
        watch.connection_error = has_error;
    }
    watch.thread = std::thread(watch_loop);
}

void unwatch_display() {
    {
        const std::lock_guard<std::mutex> held(watch.lock);
        watch.connection = nullptr;
        watch.connection_error = nullptr;
    }
    watch.wake.notify_all();
    if (watch.thread.joinable()) watch.thread.join();
}

bool display_lost() {
    const std::lock_guard<std::mutex> held(watch.lock);
    return watch.connection_error != nullptr && watch.connection_error(watch.connection) != 0;
}

}  // namespace engine
#endif
