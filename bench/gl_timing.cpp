// Splits a frame's time between our code and the GL driver. Every GL entry point the
// engine uses is reached through the GL loader's function pointers, so the timers sit
// in those pointers: each call is timed and counted, and the real function runs as
// before. The buffer swap and the event poll are SDL calls; the benchmark binary
// defines them itself and forwards to SDL's own.
#include <dlfcn.h>
#include <epoxy/gl.h>
#include <SDL.h>

#include <cstring>
#include <ctime>

#include "bench_support.h"

namespace {

int depth = 0;  // GL calls may nest (the loader's first call resolves, then calls)
std::int64_t entered_at = 0;
std::int64_t total_ns = 0;
std::int64_t total_calls = 0;

struct DriverScope {
    DriverScope() {
        if (depth++ == 0) {
            entered_at = monotonic_ns();
            ++total_calls;
        }
    }
    ~DriverScope() {
        if (--depth == 0) total_ns += monotonic_ns() - entered_at;
    }
    DriverScope(const DriverScope &) = delete;
    DriverScope &operator=(const DriverScope &) = delete;
};

bool inside_loader(void *fn) {
    Dl_info info{};
    if (dladdr(fn, &info) == 0 || info.dli_fname == nullptr) return false;
    return std::strstr(info.dli_fname, "libepoxy") != nullptr;
}

template <typename F, F *Slot>
struct Timed;

template <typename R, typename... A, R (**Slot)(A...)>
struct Timed<R (*)(A...), Slot> {
    static inline R (*original)(A...) = nullptr;
    static R call(A... args) {
        DriverScope scope;
        return original(args...);
    }
    static void install() {
        // Until its first use an entry point is the loader's resolving stub, which
        // calls back through the pointer: leave it alone until it has resolved.
        if (*Slot != &call && !inside_loader(reinterpret_cast<void *>(*Slot))) {
            original = *Slot;
            *Slot = &call;
        }
    }
};

#define TIME_GL(fn) Timed<decltype(epoxy_##fn), &epoxy_##fn>::install()

}  // namespace

std::int64_t monotonic_ns() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

bool inside_driver() { return depth > 0; }

std::int64_t clock_read_cost_ns() {
    constexpr int reads = 20000;
    std::int64_t sink = 0;
    const std::int64_t t0 = monotonic_ns();
    for (int i = 0; i < reads; ++i) sink += monotonic_ns();
    const std::int64_t t1 = monotonic_ns();
    return sink == 0 ? 0 : (t1 - t0) / reads;
}
void reset_gl_timing() {
    total_ns = 0;
    total_calls = 0;
}
std::int64_t gl_time_ns() { return total_ns; }
std::int64_t gl_calls() { return total_calls; }

void install_gl_timing() {
    // Everything the engine calls during a frame (and a few it calls at load time,
    // harmless to time as well).
    TIME_GL(glActiveTexture);
    TIME_GL(glBindBuffer);
    TIME_GL(glBindFramebuffer);
    TIME_GL(glBindRenderbuffer);
    TIME_GL(glBindTexture);
    TIME_GL(glBindVertexArray);
    TIME_GL(glBlendEquation);
    TIME_GL(glBlendFunc);
    TIME_GL(glBlitFramebuffer);
    TIME_GL(glBufferData);
    TIME_GL(glBufferSubData);
    TIME_GL(glClear);
    TIME_GL(glClearColor);
    TIME_GL(glClearDepth);
    TIME_GL(glCullFace);
    TIME_GL(glDepthFunc);
    TIME_GL(glDepthMask);
    TIME_GL(glDisable);
    TIME_GL(glDisableVertexAttribArray);
    TIME_GL(glDrawArrays);
    TIME_GL(glDrawBuffer);
    TIME_GL(glDrawElements);
    TIME_GL(glEnable);
    TIME_GL(glEnableVertexAttribArray);
    TIME_GL(glFrontFace);
    TIME_GL(glGetError);
    TIME_GL(glGetFloatv);
    TIME_GL(glGetIntegerv);
    TIME_GL(glGetUniformLocation);
    TIME_GL(glPixelStorei);
    TIME_GL(glReadBuffer);
    TIME_GL(glReadPixels);
    TIME_GL(glTexParameteri);
    TIME_GL(glUniform1f);
    TIME_GL(glUniform1fv);
    TIME_GL(glUniform1i);
    TIME_GL(glUniform1iv);
    TIME_GL(glUniform2fv);
    TIME_GL(glUniform2iv);
    TIME_GL(glUniform3fv);
    TIME_GL(glUniform3iv);
    TIME_GL(glUniform4f);
    TIME_GL(glUniform4fv);
    TIME_GL(glUniform4iv);
    TIME_GL(glUniformMatrix4fv);
    TIME_GL(glUseProgram);
    TIME_GL(glVertexAttrib1fv);
    TIME_GL(glVertexAttrib2f);
    TIME_GL(glVertexAttrib2fv);
    TIME_GL(glVertexAttrib3f);
    TIME_GL(glVertexAttrib3fv);
    TIME_GL(glVertexAttrib4f);
    TIME_GL(glVertexAttrib4fv);
    TIME_GL(glVertexAttribPointer);
    TIME_GL(glViewport);
}

// The SDL entry points the engine calls every frame: counted as driver time too.
extern "C" void SDL_GL_SwapWindow(SDL_Window *window) {
    using Fn = void (*)(SDL_Window *);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "SDL_GL_SwapWindow"));
    DriverScope scope;
    real(window);
}

extern "C" int SDL_PollEvent(SDL_Event *event) {
    using Fn = int (*)(SDL_Event *);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "SDL_PollEvent"));
    DriverScope scope;
    return real(event);
}
