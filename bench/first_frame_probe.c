/* Preloaded into the game by bench/startup.py to see, from outside, when the first
 * frame reaches the screen: the first buffer swap writes the CLOCK_MONOTONIC time at
 * which it returned to the file named by VORBEL_PROBE_FILE. Nothing else changes. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

typedef struct SDL_Window SDL_Window;

void SDL_GL_SwapWindow(SDL_Window *window) {
    static void (*real)(SDL_Window *) = NULL;
    static int swaps = 0;
    if (real == NULL) *(void **)&real = dlsym(RTLD_NEXT, "SDL_GL_SwapWindow");
    real(window);
    if (swaps++ == 0) {
        struct timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        const char *path = getenv("VORBEL_PROBE_FILE");
        FILE *f = path != NULL ? fopen(path, "w") : NULL;
        if (f != NULL) {
            fprintf(f, "%lld\n", (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec);
            fclose(f);
        }
    }
}
