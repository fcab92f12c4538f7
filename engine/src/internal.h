// Engine-internal state shared between the engine's own source files (core, rlgl,
// shaders, textures, text, shapes, models, audio) and the test hooks. Game code
// never includes this.
//
// Three things live here:
//  1. Lifetime registries. Every GL object the engine creates and every array it
//     allocates for a caller (font glyphs, shader location tables, mesh arrays,
//     model arrays, ...) is recorded, so CloseWindow can release whatever a program
//     left alive, and so an unload of something already released (or never loaded)
//     is recognised and ignored.
//  2. Accessors for the render state other files build on (context present,
//     default shader and texture, the batch flush).
//  3. The state the test hooks reach into (fixed frame time, input, log capture).
#ifndef ENGINE_INTERNAL_H
#define ENGINE_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "raylib.h"

namespace engine {

// A GLSL 330 shader's source as GLSL ES 3.00 for a GL ES 3.0 (WebGL 2) context: the
// version line becomes "#version 300 es" (one is added where there is none) and
// default precisions follow it and any #extension lines. Nothing else changes.
std::string glsl_for_es(std::string_view code);

// ------------------------------------------------------------------ lifetime registries

enum class GlKind : std::uint8_t { texture, renderbuffer, framebuffer, shader_program, vertex_array, buffer };

// Records a live GL object. Ids of 0 are ignored.
void track_gl(GlKind kind, unsigned int id);
// Forgets a GL object; true if it was live (the caller then deletes it). An id that
// is not live (already released, never created, 0) gives false: the caller does
// nothing, which is what makes double unloads harmless.
bool untrack_gl(GlKind kind, unsigned int id);
// True if the object is live (created by the engine and not yet released).
bool gl_is_live(GlKind kind, unsigned int id);
// Deletes every GL object still recorded (called by CloseWindow while the context
// is still current; shaders other than the default included).
void release_all_gl();

// Arrays handed out with engine objects. engine_alloc zero-fills; engine_free of a
// pointer the engine does not own (null, already freed, the caller's) does nothing.
void *engine_alloc(std::size_t bytes);
void *engine_realloc(void *ptr, std::size_t bytes);  // ptr may be null; keeps ownership
bool engine_free(void *ptr);
bool engine_owns(const void *ptr);
// Frees every array still recorded (called by CloseWindow after release_all_gl).
void release_all_arrays();

// Why a file was not read. Only regular files are read: a FIFO would block, a device
// such as /dev/zero never ends, and a directory holds no data.
enum class FileRefusal : std::uint8_t { none, missing, not_regular, too_large, unreadable };
// The refusal as the end of a log line ("is not a regular file", ...).
const char *refusal_text(FileRefusal why);

// Largest file the generic loaders read (LoadFileData, fonts, shaders, images).
constexpr std::size_t max_file_bytes = std::size_t{256} << 20;

// Reads a whole regular file of at most max_bytes into an engine array (one spare
// byte, set to 0, after the data), without logging; null if it is refused or cannot
// be read, with the reason in *why when asked. Never blocks on a FIFO.
unsigned char *read_whole_file(const char *path, int *size, std::size_t max_bytes = max_file_bytes,
                               FileRefusal *why = nullptr);
// The same as a vector, for work off the main thread (engine arrays are main-thread only).
bool read_file_bytes(const char *path, std::vector<unsigned char> &out, std::size_t max_bytes, FileRefusal &why);
// The same checks without reading: the path names a regular file of at most max_bytes.
FileRefusal check_regular_file(const char *path, std::size_t max_bytes);

// Functions run first by CloseWindow (newest first), while the renderer still
// works, for subsystems that keep their own objects (at most 16).
void add_shutdown_hook(void (*hook)());
void run_shutdown_hooks();  // called first by CloseWindow

// ------------------------------------------------------------------ render state

// True between a successful InitWindow and CloseWindow: a GL context is current.
bool gl_ready();
// Logs an ERROR naming `what` and returns false when there is no GL context; the
// public entry points that need one call it first and return an empty result.
bool require_gl(const char *what);

unsigned int default_texture_id();  // the 1×1 white texture
unsigned int default_shader_id();
int *default_shader_locs();
Shader current_shader();                              // the batch's shader (default unless in shader mode)
void set_current_shader(unsigned int id, int *locs);  // flushes the batch first if it changes

// The render target's size (the window's drawable, or the bound framebuffer's).
int framebuffer_width();
int framebuffer_height();
int max_texture_size();

// rlgl lifecycle (rlgl.cpp), called by InitWindow / CloseWindow. With samples > 1
// frames are drawn on a multisampled target of the engine's (falling back to the
// window with a WARNING when there is none); rlgl_present, called by EndDrawing before
// the swap, resolves it into the window.
bool rlgl_init(int width, int height, int samples);
void rlgl_close();
void rlgl_present();
// Sets the viewport and the 2D pixel projection without flushing the batch.
void rlgl_begin_frame(int width, int height);
// Called before each GL draw: a clear of the screen held back until it is needed is
// done now if the draw goes to the screen.
void before_draw();
// Reads the default framebuffer's current pixels as RGBA rows, top row first,
// resolving multisampling; the batch is flushed first. Returns false without a
// context. `out` must hold width*height*4 bytes.
bool read_screen_pixels(int width, int height, unsigned char *out);
// The current frame as a new engine array of width*height*4 RGBA bytes, or null
// (no memory, no context).
inline unsigned char *read_screen_array(int width, int height) {
    auto *pixels = static_cast<unsigned char *>(
        engine_alloc(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4));
    if (pixels == nullptr || !read_screen_pixels(width, height, pixels)) {
        engine_free(pixels);
        return nullptr;
    }
    return pixels;
}

// An image over `pixels`, width*height RGBA texels with no mipmaps; it takes over the array.
inline Image rgba_image(void *pixels, int width, int height) {
    return Image{pixels, width, height, 1, PIXELFORMAT_UNCOMPRESSED_R8G8B8A8};
}

// Shader lifecycle (shaders.cpp)
bool shaders_init();
void shaders_close();

// Built-in font (text.cpp)
void text_init();
void text_close();

// The desktop's scale factor on X11: the Xft.dpi resource of the window's display
// over 96, or 0 when it is not set or the window is not on X11 (display_scale.cpp).
float x11_desktop_scale(void *sdl_window);

// ------------------------------------------------------------------ logging

void log_line(int level, const char *fmt, ...) __attribute__((format(printf, 2, 3)));

// ------------------------------------------------------------------ test hooks' view

struct GamepadState {
    bool connected = false;
    bool injected = false;       // driven by a test; SDL leaves it alone
    void *controller = nullptr;  // SDL_GameController*
    int instance_id = -1;        // SDL joystick instance id
    bool buttons[32] = {};
    bool previous[32] = {};
    float axes[8] = {};
    char name[64] = {};
};

// One pad as the browser's Gamepad API reports it under its "standard" mapping.
constexpr int standard_pad_buttons = 17;
struct StandardPad {
    int button_count = 0;
    bool pressed[standard_pad_buttons] = {};
    double value[standard_pad_buttons] = {};  // 0..1; analog on the triggers
    int axis_count = 0;
    double axes[4] = {};  // left x, left y, right x, right y; -1..1, down and right positive
};

// A KeyboardEvent.code name ("KeyW", "ArrowUp", ...) as a raylib key code; KEY_NULL
// for a key the game has no code for.
int key_from_dom_code(const char *code);
// Reads a standard-mapped pad into the buttons and axes an SDL controller would give.
void read_standard_pad(const StandardPad &raw, GamepadState &pad);

constexpr int max_keys = 512;
constexpr int max_mouse_buttons = 8;

// The page's input, queued in its event handlers between frames and applied at the
// poll at the end of each frame, as SDL's queue is on the desktop.
struct PageEvent {
    enum Kind : unsigned char { key, text, mouse_move, mouse_button } kind = key;
    bool down = false;
    bool repeat = false;
    int code = 0;  // key, code point or mouse button
    float x = 0.0f, y = 0.0f;
};

// Never loses a release, however many events come in one frame: moves are merged,
// presses, repeats and text stop at a limit, and a release is queued only for what is
// down once the queued events are applied. So at most one release per key or button
// down at the front of the queue, plus one per queued press: `capacity` holds them all.
struct PageEventQueue {
    static constexpr int others_max = 256;  // presses, repeats, text and moves
    static constexpr int downs_max = 128;   // keys and buttons the page can hold down
    static constexpr int capacity = 2 * others_max + downs_max;
    PageEvent events[capacity];
    int count = 0;
    int others = 0;                // queued events that are not releases
    bool key_down[max_keys] = {};  // after every queued event
    bool button_down[max_mouse_buttons] = {};
    float x = 0.0f, y = 0.0f;  // the mouse after every queued event
};

// Queues one event of the page (see PageEventQueue); out-of-range codes are ignored.
void push_page_event(PageEventQueue &q, const PageEvent &e);
// Queues a release of every key and button down: the page lost the focus or was hidden,
// and their releases will go elsewhere.
void release_page_input(PageEventQueue &q);
// Forgets the first `used` events, which the poll has applied.
void drop_page_events(PageEventQueue &q, int used);
// As many as the game has controller codes for (0..19), so none of them is unreachable.
constexpr int max_gamepads = 20;

struct InputState {
    bool keys[max_keys] = {};
    bool keys_previous[max_keys] = {};
    bool keys_repeated[max_keys] = {};  // an auto-repeat arrived at the last poll
    int key_queue[16] = {};             // keys pressed at the last poll, in order
    int key_queue_count = 0;
    int char_queue[16] = {};  // text typed at the last poll (code points)
    int char_queue_count = 0;
    bool mouse[max_mouse_buttons] = {};
    bool mouse_previous[max_mouse_buttons] = {};
    float mouse_x = 0.0f;
    float mouse_y = 0.0f;
    GamepadState pads[max_gamepads];
    int exit_key = KEY_ESCAPE;
    bool close_requested = false;
};

InputState &input_state();

// A stick's reading from SDL's raw axis value (-32768..32767): scaled to [-1, 1], and 0
// below 0.1 from the centre, so a resting stick reads exactly 0.
float stick_reading(int raw);

struct TestState {
    double fixed_frame_time = -1.0;                           // >= 0: GetFrameTime returns it, no waiting
    void (*log_sink)(int level, const char *line) = nullptr;  // receives every log line
    bool checkbox_returns_zero = false;                       // GuiCheckBox as in raygui 4.0
    float dpi_scale = 0.0f;                                   // > 0: GetWindowScaleDPI reports it
    // Receives every DrawText call.
    void (*text_sink)(const char *text, int x, int y, int size, Color color) = nullptr;
    bool skip_prefetch = false;  // Prefetch* calls are ignored
};

TestState &test_state();

}  // namespace engine

#endif  // ENGINE_INTERNAL_H
