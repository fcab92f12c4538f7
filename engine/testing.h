// Hooks for tests only (library engine_testing). Never linked into the game.
//
// Input injection changes the engine's current input state as an event would: the
// usual edge detection applies, so after testing_key_down(KEY_A) IsKeyPressed(KEY_A)
// is true until the next EndDrawing and IsKeyDown stays true until testing_key_up.
#ifndef ENGINE_TESTING_H
#define ENGINE_TESTING_H

#include <string>
#include <vector>

#include "raylib.h"

// Frame time: with seconds >= 0, GetFrameTime returns it and EndDrawing does not
// wait; a negative value restores real timing.
void testing_set_fixed_frame_time(double seconds);

// Display scale: with scale > 0, GetWindowScaleDPI reports (scale, scale) as a desktop
// set to that scale would (the window itself stays as it is); 0 restores the real one.
void testing_set_window_scale_dpi(float scale);

// Keyboard (raylib key codes) and mouse (window pixels, raylib button numbers).
void testing_key_down(int key);
void testing_key_up(int key);
void testing_mouse_move(float x, float y);
void testing_mouse_button_down(int button);
void testing_mouse_button_up(int button);
// Text typed since the last poll, as the window's text input would deliver it: each
// byte of `ascii` is one character for GetCharPressed until the next EndDrawing.
void testing_type_text(const char *ascii);
// Releases every injected key and button (the edges show as releases).
void testing_release_all_input();

// Gamepads: an injected pad is available until disconnected; its buttons and axes
// are set directly.
void testing_gamepad_connect(int gamepad, const char *name);
void testing_gamepad_disconnect(int gamepad);
void testing_gamepad_button(int gamepad, int button, bool down);
void testing_gamepad_axis(int gamepad, int axis, float value);

// Pixels of the frame being drawn (the batch is flushed, multisampling resolved),
// top row first, format R8G8B8A8. Free with UnloadImage.
Image testing_read_frame(void);

// GUI: with on, GuiCheckBox still flips its flag on a click but returns 0, as raygui
// 4.0's does (raygui 5.0's and the engine's return 1 on a change).
void testing_checkbox_returns_zero(bool on);

// Depth values (0..1) of a framebuffer's depth attachment in the rectangle x, y,
// width, height (origin at the bottom left), row by row from the bottom; empty when
// there is no context or the framebuffer is unknown. The batch is flushed first.
std::vector<float> testing_read_depth(unsigned int framebuffer, int x, int y, int width, int height);

// Log capture: every TraceLog line (with its "INFO: "-style prefix) is kept in
// addition to being printed.
void testing_capture_log(bool on);
std::vector<std::string> testing_captured_log(void);
void testing_clear_log(void);
// True if a captured line at `level` contains `needle`.
bool testing_log_contains(int level, const char *needle);

// Text capture: every DrawText call is kept, in order, with what it was given.
struct CapturedText {
    std::string text;
    int x;
    int y;
    int size;
    Color color;
};
void testing_capture_text(bool on);
std::vector<CapturedText> testing_captured_text(void);
void testing_clear_text(void);

// Start-up prefetch (engine_prefetch.h): with skip on, Prefetch* calls are ignored and
// every file is read when it is loaded, as if nothing had been prefetched.
void testing_skip_prefetch(bool skip);

// Audio: mixes `frames` stereo frames of whatever is playing into out_stereo
// (interleaved left, right), as the device callback would, and returns the number
// of frames written. Implemented with the mixer (engine/testing/audio_hooks.cpp).
int testing_pull_audio(float *out_stereo, int frames);

#endif  // ENGINE_TESTING_H
