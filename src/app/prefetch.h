// Start-up files read and decoded ahead, on the engine's worker threads, while the window
// opens. Built against the real raylib, which has no such thing, each is a no-op and
// the files are simply read when loaded.
#pragma once

#if defined(VORBEL_SYSTEM_RAYLIB)
inline void prefetch_wave(const char *) {}
inline void prefetch_image(const char *) {}
inline void prefetch_model(const char *) {}
inline void prefetch_font(const char *, int) {}
#else
#include "engine_prefetch.h"
inline void prefetch_wave(const char *path) { PrefetchWave(path); }
inline void prefetch_image(const char *path) { PrefetchImage(path); }
inline void prefetch_model(const char *path) { PrefetchModel(path); }
inline void prefetch_font(const char *path, int size) { PrefetchFont(path, size); }
#endif
