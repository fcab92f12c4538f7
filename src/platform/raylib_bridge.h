// The game's platform seam: every difference between the raylib and raygui releases the
// game builds on (engine/, which follows raylib 5.0 and raygui 4.0, or an installed
// raylib 5.0, 5.5 or 6.0 with raygui 4.0 or 5.0) that the game would see. Each one is
// bridged here, in the game's own terms, and this is the only place in src/ that asks
// which release it is built on.
#pragma once

#include "raylib.h"
#include "rlgl.h"

// The release as one number: 500, 505, 600. engine/ says 5.0, whose API it implements.
#define VORBEL_RAYLIB_RELEASE (RAYLIB_VERSION_MAJOR * 100 + RAYLIB_VERSION_MINOR)
inline constexpr int raylib_release = VORBEL_RAYLIB_RELEASE;
#if defined(VORBEL_SYSTEM_RAYLIB)
inline constexpr bool raylib_installed = true;
#else
inline constexpr bool raylib_installed = false;
#endif

// ------------------------------------------------------------------ names 5.5 changed

// Every Is*Ready became Is*Valid in raylib 5.5; rlLoadFramebuffer lost its size.
inline bool music_valid(Music music) {
#if VORBEL_RAYLIB_RELEASE >= 505
    return IsMusicValid(music);
#else
    return IsMusicReady(music);
#endif
}

// A shader the library compiled and linked, with its locations: id above 0, locs given.
inline bool shader_valid(Shader shader) {
#if VORBEL_RAYLIB_RELEASE >= 505
    return IsShaderValid(shader);
#else
    return IsShaderReady(shader);
#endif
}

inline unsigned int load_framebuffer(int width, int height) {
#if VORBEL_RAYLIB_RELEASE >= 505
    (void)width;  // the attachments give the size
    (void)height;
    return rlLoadFramebuffer();
#else
    return rlLoadFramebuffer(width, height);
#endif
}

// ------------------------------------------------------------------ shaders

// For a shader that fails to compile or link, raylib 5.0 gives its default shader and
// engine/ the default shader's stage; raylib 5.5 and 6.0 give back id 0 (5.5's locs
// NULL, 6.0's an array of -1), which would draw with GL program 0. There the default
// shader takes its place, with a WARNING, so a broken shader file is met as on raylib
// 5.0 on every release. Without a GL context (engine/ only) the result stays invalid,
// for the caller to see.
inline Shader load_shader(const char *vertex_path, const char *fragment_path) {
    Shader shader = LoadShader(vertex_path, fragment_path);
    if (shader_valid(shader) || !raylib_installed) return shader;
    TraceLog(LOG_WARNING, "SHADER: [%s, %s] did not load; drawing with the default shader instead",
             vertex_path != nullptr ? vertex_path : "default", fragment_path != nullptr ? fragment_path : "default");
    UnloadShader(shader);
    return LoadShader(nullptr, nullptr);
}

// ------------------------------------------------------------------ the window

// raylib 6.0 reports a DPI scale of 1 unless the window asked for high DPI; with the
// flag it reports the desktop's, as raylib 5.x and engine/ do without it. (On X11 the
// flag also makes the window's drawable the desktop's scale times its size.)
constexpr unsigned int window_config_flags(int release) {
    return FLAG_MSAA_4X_HINT | (release >= 600 ? static_cast<unsigned int>(FLAG_WINDOW_HIGHDPI) : 0u);
}

// The 2D state BeginDrawing sets up, for the game to put back after drawing into a
// framebuffer of its own: window units over the whole drawable. engine/ takes an
// orthographic projection in the window's units and an identity model-view; raylib
// one in the drawable's pixels with its screen scale as the model-view, which its
// EndMode3D loads again. The two agree wherever the drawable is the window's size.
inline void load_screen_projection() {
    rlMatrixMode(RL_PROJECTION);
    rlLoadIdentity();
#if defined(VORBEL_SYSTEM_RAYLIB)
    rlOrtho(0, GetRenderWidth(), GetRenderHeight(), 0, 0, 1);
    rlMatrixMode(RL_MODELVIEW);
    rlLoadIdentity();
    rlScalef(static_cast<float>(GetRenderWidth()) / static_cast<float>(GetScreenWidth()),
             static_cast<float>(GetRenderHeight()) / static_cast<float>(GetScreenHeight()), 1.0f);
#else
    rlOrtho(0, GetScreenWidth(), GetScreenHeight(), 0, 0, 1);
    rlMatrixMode(RL_MODELVIEW);
    rlLoadIdentity();
#endif
}

// ------------------------------------------------------------------ sound

// The game's pan: -1 is full left, 0 the centre, +1 full right. raylib 5.x (and
// engine/) take 0..1 with 0.5 the centre and larger values leaning left; raylib 6.0
// takes -1..1 with +1 right. In double, so that 0.6 gives exactly 5.x's 0.2f.
constexpr float release_pan(double pan, int release) {
    const double p = pan < -1.0 ? -1.0 : pan > 1.0 ? 1.0 : pan;
    return static_cast<float>(release >= 600 ? p : 0.5 - p / 2.0);
}

inline void set_sound_pan(Sound sound, double pan) { SetSoundPan(sound, release_pan(pan, raylib_release)); }

// ------------------------------------------------------------------ gamepads

// The game's stick dead zone, raylib 5.0's: a reading within 0.1 of the centre is 0,
// any other passes unchanged. raylib 5.5 and 6.0 report sticks raw; engine/ zeroes
// readings below 0.1 already, and no reading SDL gives lies at exactly 0.1, so there
// the zone changes nothing.
inline constexpr float stick_dead_zone = 0.1f;

constexpr float stick_without_drift(float value) {
    return value > stick_dead_zone || value < -stick_dead_zone ? value : 0.0f;
}

inline float gamepad_stick(int gamepad, int axis) { return stick_without_drift(GetGamepadAxisMovement(gamepad, axis)); }

// ------------------------------------------------------------------ models

// raylib 5.0's OBJ loader crashes on a file of more than two objects (it takes each
// middle mesh's triangle count from the next object's absolute face offset), and every
// model file of the game holds one object per material. There each object is loaded on
// its own and the meshes are put together (platform/obj_objects.h); everywhere else
// the file is loaded whole.
#if defined(VORBEL_SYSTEM_RAYLIB) && VORBEL_RAYLIB_RELEASE == 500
#include "platform/obj_objects.h"
inline Model load_model_file(const char *path) { return load_model_by_object(path); }
#else
inline Model load_model_file(const char *path) { return LoadModel(path); }
#endif

// ------------------------------------------------------------------ raygui

// raygui 5.0 reads button A of gamepad 0 as the left mouse button and its triggers as
// the wheel; A is the game's jump and join, so over a menu it would click. Only the
// mouse drives the menus: these take the place of raygui's defaults, which it defines
// only where they are not defined yet, so they must come before raygui.h wherever its
// implementation is compiled (platform/raygui_impl.cpp, which includes this first; a
// test looks at what it calls). Elsewhere they change nothing, and once raygui.h is in
// they would come too late. raygui 4.0 and engine/ read the mouse alone.
#if !defined(RAYGUI_H)
#define GUI_BUTTON_DOWN (IsMouseButtonDown(MOUSE_BUTTON_LEFT))
#define GUI_BUTTON_DOWN_ALT (IsMouseButtonDown(MOUSE_BUTTON_RIGHT))
#define GUI_BUTTON_PRESSED (IsMouseButtonPressed(MOUSE_BUTTON_LEFT))
#define GUI_BUTTON_PRESSED_MID (IsMouseButtonPressed(MOUSE_BUTTON_MIDDLE))
#define GUI_BUTTON_RELEASED (IsMouseButtonReleased(MOUSE_BUTTON_LEFT))
#define GUI_SCROLL_DELTA (GetMouseWheelMove())
#endif
