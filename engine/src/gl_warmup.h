// Loads the GL driver on a worker thread while SDL starts its video subsystem.
//
// On X11 the window is opened through EGL, and EGL's first display loads the driver
// (for Mesa, a large library whose loading is the largest part of opening the window).
// A throwaway EGL display of our own, initialised on a worker, pays that cost while the
// main thread talks to the X server; SDL's own display then finds the driver loaded.
//
// When that driver is Mesa's software one, the worker goes on to fault in heap pages for
// the big render targets start-up makes (warm_heap.h).
#ifndef ENGINE_GL_WARMUP_H
#define ENGINE_GL_WARMUP_H

#include <cstddef>

namespace engine {

// Starts the worker when the window will be opened by EGL on X11; otherwise nothing.
void start_gl_warmup();
// Waits for the worker's driver loading and releases its display. Called once the
// window and its context exist (or cannot), before any exit.
void end_gl_warmup();
// Before a GL allocation of about `bytes`: lets it take warmed heap pages.
void warm_heap_for(std::size_t bytes);
// Stops and joins the worker and gives back the heap it kept. After the first frame,
// at CloseWindow, and at exit.
void end_heap_warmup();

}  // namespace engine

#endif  // ENGINE_GL_WARMUP_H
