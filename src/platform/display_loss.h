// A display that goes away under the game built on the real raylib: GLFW leaves it to
// Xlib, whose default says "X connection to :0 broken" and exits through the exit
// handlers. The game says it in its own words and leaves at once, as the engine build
// does by itself.
#pragma once

// After InitWindow. Does nothing on the engine build, off X11 and in the page.
void watch_display_loss();
