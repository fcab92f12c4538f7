// The GL entry points the renderer calls: OpenGL 3.3 core through libepoxy on the
// desktop, OpenGL ES 3.0 (WebGL 2) in the browser build.
#ifndef ENGINE_GL_API_H
#define ENGINE_GL_API_H

#if defined(__EMSCRIPTEN__)
#include <GLES3/gl3.h>
namespace engine {
inline constexpr bool gl_context_is_es = true;
}
#else
#include <epoxy/gl.h>
namespace engine {
inline constexpr bool gl_context_is_es = false;
}
#endif

#endif
