// Loads the GL driver on a worker thread while SDL starts its video subsystem.
//
// On X11 the window is opened through EGL, and EGL's first display loads the driver
// (for Mesa, a large library whose loading is the largest part of opening the window).
// A throwaway EGL display of our own, initialised on a worker, pays that cost while the
// main thread talks to the X server; SDL's own display then finds the driver loaded.
#ifndef ENGINE_GL_WARMUP_H
#define ENGINE_GL_WARMUP_H

namespace engine {

// Starts the worker when the window will be opened by EGL on X11; otherwise nothing.
void start_gl_warmup();
// Waits for the worker and releases its display. Called once the window and its
// context exist (or cannot), before any exit.
void end_gl_warmup();

}  // namespace engine

#endif  // ENGINE_GL_WARMUP_H
