/* Preloaded into the game by bench/web_vs_native.py to count presented frames from
 * outside: each buffer swap writes the swap count and the CLOCK_MONOTONIC time to the
 * file named by VORBEL_PROBE_FILE. Nothing else changes. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

typedef struct SDL_Window SDL_Window;

void SDL_GL_SwapWindow(SDL_Window *window) {
    static void (*real)(SDL_Window *) = NULL;
    static long long swaps = 0;
    if (real == NULL) *(void **)&real = dlsym(RTLD_NEXT, "SDL_GL_SwapWindow");
    real(window);
    swaps++;
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const char *path = getenv("VORBEL_PROBE_FILE");
    FILE *f = path != NULL ? fopen(path, "w") : NULL;
    if (f != NULL) {
        fprintf(f, "%lld %lld\n", swaps, (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec);
        fclose(f);
    }
}
