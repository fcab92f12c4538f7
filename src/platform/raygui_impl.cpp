// Built against the real raygui, this translation unit carries its implementation, with
// the bridge's input macros in force (they must precede raygui.h). engine/ brings its own.
#include "platform/raylib_bridge.h"

#if defined(VORBEL_SYSTEM_RAYLIB)
#define RAYGUI_IMPLEMENTATION
#include "raygui.h"
#endif
