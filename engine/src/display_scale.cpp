// The X11 desktop's scale factor, read as toolkits read it: the Xft.dpi line of the
// display's resource database (the RESOURCE_MANAGER property, which desktops set to
// 192 for 200 %). SDL already loaded libX11 for the window; its function is looked
// up there, so the engine gains no link dependency and runs where X11 is absent.
// X11's headers name types as raylib does (Font, ...), so this file keeps apart from
// the engine's headers and declares its one function itself.
#if !defined(__EMSCRIPTEN__)
#include <SDL.h>
#include <SDL_syswm.h>
#include <dlfcn.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace engine {

float x11_desktop_scale(void *sdl_window);

namespace {

// Xft.dpi from a resource database's text ("name:\tvalue" lines); 0 if absent.
float xft_dpi(const char *resources) {
    for (const char *line = resources; line != nullptr && *line != '\0';) {
        if (std::strncmp(line, "Xft.dpi:", 8) == 0) {
            const float dpi = std::strtof(line + 8, nullptr);  // skips the tab or spaces
            return std::isfinite(dpi) && dpi > 0.0f ? dpi : 0.0f;
        }
        line = std::strchr(line, '\n');
        if (line != nullptr) line++;
    }
    return 0.0f;
}

}  // namespace

float x11_desktop_scale(void *sdl_window) {
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (sdl_window == nullptr || !SDL_GetWindowWMInfo(static_cast<SDL_Window *>(sdl_window), &info) ||
        info.subsystem != SDL_SYSWM_X11 || info.info.x11.display == nullptr)
        return 0.0f;
    void *x11 = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (x11 == nullptr) return 0.0f;
    using ResourceString = char *(*)(Display *);
    auto resource_string = reinterpret_cast<ResourceString>(dlsym(x11, "XResourceManagerString"));
    const float dpi = resource_string != nullptr ? xft_dpi(resource_string(info.info.x11.display)) : 0.0f;
    dlclose(x11);
    return dpi / 96.0f;
#else
    (void)sdl_window;
    return 0.0f;
#endif
}

}  // namespace engine
#endif
