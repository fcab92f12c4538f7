/* Preloaded into the game by bench/startup_timeline.py: writes when each window-system
 * step of the start-up begins and ends (CLOCK_MONOTONIC nanoseconds) to the file named by
 * VORBEL_TIMELINE_FILE, one "begin end cpu name" line per call (cpu: the process's CPU
 * time at the end, all threads), and "t t cpu log LINE" for each line the engine prints
 * to stdout. Nothing else changes. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static FILE *out;
static pthread_mutex_t out_lock = PTHREAD_MUTEX_INITIALIZER;

static long long now_ns(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

static long long cpu_ns(void) {
    struct timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

static void note(long long begin, const char *name) {
    if (out == NULL) return;
    long long end = now_ns();
    long long cpu = cpu_ns();
    pthread_mutex_lock(&out_lock);
    fprintf(out, "%lld %lld %lld %s\n", begin, end, cpu, name);
    fflush(out);
    pthread_mutex_unlock(&out_lock);
}

__attribute__((constructor)) static void start(void) {
    const char *path = getenv("VORBEL_TIMELINE_FILE");
    out = path != NULL ? fopen(path, "w") : NULL;
    note(now_ns(), "libraries loaded");
}

#define REAL(name)                                                                                                     \
    static __typeof__(name) *real;                                                                                     \
    if (real == NULL) *(void **)&real = dlsym(RTLD_NEXT, #name)

/* The engine prints each log line with one fprintf to stdout: time it and keep its text.
 * The probe's own writes go to another stream, so they pass straight through. */
int fprintf(FILE *stream, const char *format, ...) {
    va_list args;
    va_start(args, format);
    if (stream != stdout || out == NULL) {
        int r = vfprintf(stream, format, args);
        va_end(args);
        return r;
    }
    char text[512];
    va_list copy;
    va_copy(copy, args);
    vsnprintf(text, sizeof text, format, copy);
    va_end(copy);
    int r = vfprintf(stream, format, args);
    va_end(args);
    text[strcspn(text, "\n")] = 0;
    char name[520];
    snprintf(name, sizeof name, "log %s", text);
    note(now_ns(), name);
    return r;
}

typedef struct SDL_Window SDL_Window;
typedef void *SDL_GLContext;
typedef uint32_t SDL_AudioDeviceID;
typedef struct SDL_AudioSpec SDL_AudioSpec;

/* SDL_Init and SDL_InitSubSystem: the real call, timed under its own name. */
static int timed_init(int (*real)(uint32_t), uint32_t flags, const char *name) {
    long long t = now_ns();
    int r = real(flags);
    note(t, name);
    return r;
}

int SDL_Init(uint32_t flags);
int SDL_Init(uint32_t flags) {
    REAL(SDL_Init);
    return timed_init(real, flags, "SDL_Init");
}

int SDL_InitSubSystem(uint32_t flags);
int SDL_InitSubSystem(uint32_t flags) {
    REAL(SDL_InitSubSystem);
    return timed_init(real, flags, "SDL_InitSubSystem");
}

SDL_Window *SDL_CreateWindow(const char *title, int x, int y, int w, int h, uint32_t flags);
SDL_Window *SDL_CreateWindow(const char *title, int x, int y, int w, int h, uint32_t flags) {
    REAL(SDL_CreateWindow);
    long long t = now_ns();
    SDL_Window *r = real(title, x, y, w, h, flags);
    note(t, "SDL_CreateWindow");
    return r;
}

SDL_GLContext SDL_GL_CreateContext(SDL_Window *w);
SDL_GLContext SDL_GL_CreateContext(SDL_Window *w) {
    REAL(SDL_GL_CreateContext);
    long long t = now_ns();
    SDL_GLContext r = real(w);
    note(t, "SDL_GL_CreateContext");
    return r;
}

SDL_AudioDeviceID SDL_OpenAudioDevice(const char *device, int iscapture, const SDL_AudioSpec *desired,
                                      SDL_AudioSpec *obtained, int allowed_changes);
SDL_AudioDeviceID SDL_OpenAudioDevice(const char *device, int iscapture, const SDL_AudioSpec *desired,
                                      SDL_AudioSpec *obtained, int allowed_changes) {
    REAL(SDL_OpenAudioDevice);
    long long t = now_ns();
    SDL_AudioDeviceID r = real(device, iscapture, desired, obtained, allowed_changes);
    note(t, "SDL_OpenAudioDevice");
    return r;
}

void SDL_GL_SwapWindow(SDL_Window *w);
void SDL_GL_SwapWindow(SDL_Window *w) {
    REAL(SDL_GL_SwapWindow);
    static int swaps;
    long long t = now_ns();
    real(w);
    if (swaps++ < 2) note(t, swaps == 1 ? "first SDL_GL_SwapWindow" : "second SDL_GL_SwapWindow");
}
