// An X server that goes away (a crashed desktop, a logout, a dropped remote display)
// shows in one of two places: Xlib calls its I/O error handler, whose default exits
// with the window and the GL context half gone (a crash in the exit handlers), or only
// the XCB connection under the GL driver fails, and every frame then draws into
// nothing at full speed. Kept apart from the rest of the engine: the X headers clash
// with raylib's names.
#ifndef ENGINE_DISPLAY_WATCH_H
#define ENGINE_DISPLAY_WATCH_H

#include <SDL.h>

namespace engine {

// On SDL's X11 driver, has `on_lost` (which must not return) called when the
// connection breaks: by Xlib, or by a thread that looks at the connection five times a
// second, since a frame may be stuck in the driver. Elsewhere nothing.
void watch_display(SDL_Window *window, void (*on_lost)());
void unwatch_display();
// True once the window's X connection has failed, for the frame's own look.
bool display_lost();

}  // namespace engine

#endif
