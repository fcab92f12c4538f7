// Window, GL context, frame timing, input, monitors, logging and small file helpers,
// on SDL2 (on the page's canvas and events in the browser build).
#include "gl_warmup.h"
#include "internal.h"
#include "prefetch.h"
#include "raylib.h"
#include "rlgl.h"

#if defined(__EMSCRIPTEN__)
#include "audio_page.h"
#include <emscripten.h>
#include <emscripten/html5.h>
#else
#include <SDL.h>

#include "display_watch.h"
#endif
#include "gl_api.h"
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

namespace engine {
namespace {

struct WindowState {
#if defined(__EMSCRIPTEN__)
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = 0;
    double counter_start = 0.0;  // emscripten_get_now() at InitWindow, in ms
#else
    SDL_Window *window = nullptr;
    SDL_GLContext context = nullptr;
#endif
    bool ready = false;
    bool sdl_started = false;
    unsigned int flags = 0;
    int width = 0;  // window size in screen coordinates
    int height = 0;
    int render_width = 0;  // drawable size in pixels
    int render_height = 0;

#if !defined(__EMSCRIPTEN__)
    Uint64 counter_start = 0;
#endif
    double frame_begin = 0.0;   // GetTime() when the current frame began
    double frame_time = 0.0;    // length of the previous whole frame
    double target_frame = 0.0;  // 0: no pacing
    double recent[32] = {};     // recent frame times for GetFPS
    int recent_next = 0;
    int recent_count = 0;
};

WindowState win;
InputState input;
TestState tests;
int min_log_level = LOG_INFO;

#if !defined(__EMSCRIPTEN__)
// SDL scancodes (physical key positions) to raylib key codes.
int key_from_scancode(SDL_Scancode sc) {
    if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) return KEY_A + (sc - SDL_SCANCODE_A);
    if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9) return KEY_ONE + (sc - SDL_SCANCODE_1);
    if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F12) return KEY_F1 + (sc - SDL_SCANCODE_F1);
    switch (sc) {
    case SDL_SCANCODE_0:
        return KEY_ZERO;
    case SDL_SCANCODE_RETURN:
        return KEY_ENTER;
    case SDL_SCANCODE_ESCAPE:
        return KEY_ESCAPE;
    case SDL_SCANCODE_BACKSPACE:
        return KEY_BACKSPACE;
    case SDL_SCANCODE_TAB:
        return KEY_TAB;
    case SDL_SCANCODE_SPACE:
        return KEY_SPACE;
    case SDL_SCANCODE_MINUS:
        return KEY_MINUS;
    case SDL_SCANCODE_EQUALS:
        return KEY_EQUAL;
    case SDL_SCANCODE_LEFTBRACKET:
        return KEY_LEFT_BRACKET;
    case SDL_SCANCODE_RIGHTBRACKET:
        return KEY_RIGHT_BRACKET;
    case SDL_SCANCODE_BACKSLASH:
        return KEY_BACKSLASH;
    case SDL_SCANCODE_SEMICOLON:
        return KEY_SEMICOLON;
    case SDL_SCANCODE_APOSTROPHE:
        return KEY_APOSTROPHE;
    case SDL_SCANCODE_GRAVE:
        return KEY_GRAVE;
    case SDL_SCANCODE_COMMA:
        return KEY_COMMA;
    case SDL_SCANCODE_PERIOD:
        return KEY_PERIOD;
    case SDL_SCANCODE_SLASH:
        return KEY_SLASH;
    case SDL_SCANCODE_CAPSLOCK:
        return KEY_CAPS_LOCK;
    case SDL_SCANCODE_PRINTSCREEN:
        return KEY_PRINT_SCREEN;
    case SDL_SCANCODE_SCROLLLOCK:
        return KEY_SCROLL_LOCK;
    case SDL_SCANCODE_PAUSE:
        return KEY_PAUSE;
    case SDL_SCANCODE_INSERT:
        return KEY_INSERT;
    case SDL_SCANCODE_HOME:
        return KEY_HOME;
    case SDL_SCANCODE_PAGEUP:
        return KEY_PAGE_UP;
    case SDL_SCANCODE_DELETE:
        return KEY_DELETE;
    case SDL_SCANCODE_END:
        return KEY_END;
    case SDL_SCANCODE_PAGEDOWN:
        return KEY_PAGE_DOWN;
    case SDL_SCANCODE_RIGHT:
        return KEY_RIGHT;
    case SDL_SCANCODE_LEFT:
        return KEY_LEFT;
    case SDL_SCANCODE_DOWN:
        return KEY_DOWN;
    case SDL_SCANCODE_UP:
        return KEY_UP;
    case SDL_SCANCODE_NUMLOCKCLEAR:
        return KEY_NUM_LOCK;
    case SDL_SCANCODE_APPLICATION:
        return KEY_KB_MENU;
    case SDL_SCANCODE_LCTRL:
        return KEY_LEFT_CONTROL;
    case SDL_SCANCODE_LSHIFT:
        return KEY_LEFT_SHIFT;
    case SDL_SCANCODE_LALT:
        return KEY_LEFT_ALT;
    case SDL_SCANCODE_LGUI:
        return KEY_LEFT_SUPER;
    case SDL_SCANCODE_RCTRL:
        return KEY_RIGHT_CONTROL;
    case SDL_SCANCODE_RSHIFT:
        return KEY_RIGHT_SHIFT;
    case SDL_SCANCODE_RALT:
        return KEY_RIGHT_ALT;
    case SDL_SCANCODE_RGUI:
        return KEY_RIGHT_SUPER;
    default:
        return KEY_NULL;
    }
}

// SDL game-controller buttons to raylib gamepad buttons (SDL's A is the bottom face
// button, raylib's RIGHT_FACE_DOWN).
int button_from_sdl(int b) {
    switch (b) {
    case SDL_CONTROLLER_BUTTON_A:
        return GAMEPAD_BUTTON_RIGHT_FACE_DOWN;
    case SDL_CONTROLLER_BUTTON_B:
        return GAMEPAD_BUTTON_RIGHT_FACE_RIGHT;
    case SDL_CONTROLLER_BUTTON_X:
        return GAMEPAD_BUTTON_RIGHT_FACE_LEFT;
    case SDL_CONTROLLER_BUTTON_Y:
        return GAMEPAD_BUTTON_RIGHT_FACE_UP;
    case SDL_CONTROLLER_BUTTON_BACK:
        return GAMEPAD_BUTTON_MIDDLE_LEFT;
    case SDL_CONTROLLER_BUTTON_GUIDE:
        return GAMEPAD_BUTTON_MIDDLE;
    case SDL_CONTROLLER_BUTTON_START:
        return GAMEPAD_BUTTON_MIDDLE_RIGHT;
    case SDL_CONTROLLER_BUTTON_LEFTSTICK:
        return GAMEPAD_BUTTON_LEFT_THUMB;
    case SDL_CONTROLLER_BUTTON_RIGHTSTICK:
        return GAMEPAD_BUTTON_RIGHT_THUMB;
    case SDL_CONTROLLER_BUTTON_LEFTSHOULDER:
        return GAMEPAD_BUTTON_LEFT_TRIGGER_1;
    case SDL_CONTROLLER_BUTTON_RIGHTSHOULDER:
        return GAMEPAD_BUTTON_RIGHT_TRIGGER_1;
    case SDL_CONTROLLER_BUTTON_DPAD_UP:
        return GAMEPAD_BUTTON_LEFT_FACE_UP;
    case SDL_CONTROLLER_BUTTON_DPAD_RIGHT:
        return GAMEPAD_BUTTON_LEFT_FACE_RIGHT;
    case SDL_CONTROLLER_BUTTON_DPAD_DOWN:
        return GAMEPAD_BUTTON_LEFT_FACE_DOWN;
    case SDL_CONTROLLER_BUTTON_DPAD_LEFT:
        return GAMEPAD_BUTTON_LEFT_FACE_LEFT;
    default:
        return GAMEPAD_BUTTON_UNKNOWN;
    }
}

double now_seconds() {
    if (!win.sdl_started) return 0.0;
    return static_cast<double>(SDL_GetPerformanceCounter() - win.counter_start) /
           static_cast<double>(SDL_GetPerformanceFrequency());
}

void refresh_window_size() {
    if (win.window == nullptr) return;
    SDL_GetWindowSize(win.window, &win.width, &win.height);
    SDL_GL_GetDrawableSize(win.window, &win.render_width, &win.render_height);
}

void open_gamepad(int device_index) {
    if (!SDL_IsGameController(device_index)) return;
    SDL_JoystickID instance = SDL_JoystickGetDeviceInstanceID(device_index);
    for (GamepadState &pad : input.pads)
        if (pad.connected && !pad.injected && pad.instance_id == instance) return;  // already open
    for (int i = 0; i < max_gamepads; i++) {
        GamepadState &pad = input.pads[i];
        if (pad.connected) continue;
        SDL_GameController *gc = SDL_GameControllerOpen(device_index);
        if (gc == nullptr) {
            log_line(LOG_WARNING, "INPUT: gamepad %d could not be opened: %s", device_index, SDL_GetError());
            return;
        }
        pad = GamepadState{};
        pad.connected = true;
        pad.controller = gc;
        pad.instance_id = instance;
        const char *name = SDL_GameControllerName(gc);
        std::snprintf(pad.name, sizeof(pad.name), "%s", name != nullptr ? name : "gamepad");
        log_line(LOG_INFO, "INPUT: gamepad %d connected: %s", i, pad.name);
        return;
    }
    log_line(LOG_WARNING, "INPUT: more than %d gamepads; the new one is ignored", max_gamepads);
}

void close_gamepad(SDL_JoystickID instance) {
    for (int i = 0; i < max_gamepads; i++) {
        GamepadState &pad = input.pads[i];
        if (!pad.connected || pad.injected || pad.instance_id != instance) continue;
        SDL_GameControllerClose(static_cast<SDL_GameController *>(pad.controller));
        log_line(LOG_INFO, "INPUT: gamepad %d disconnected", i);
        pad = GamepadState{};
    }
}

float axis_value(int raw) {
    float v = static_cast<float>(raw) / 32767.0f;
    if (v < -1.0f) v = -1.0f;
    if (v > 1.0f) v = 1.0f;
    return v;
}

float axis_value(SDL_GameController *gc, SDL_GameControllerAxis axis) {
    return axis_value(SDL_GameControllerGetAxis(gc, axis));
}

void read_gamepads() {
    for (GamepadState &pad : input.pads) {
        if (!pad.connected || pad.injected || pad.controller == nullptr) continue;
        auto *gc = static_cast<SDL_GameController *>(pad.controller);
        std::memset(pad.buttons, 0, sizeof(pad.buttons));
        for (int b = 0; b < SDL_CONTROLLER_BUTTON_MAX; b++) {
            int rb = button_from_sdl(b);
            if (rb != GAMEPAD_BUTTON_UNKNOWN &&
                SDL_GameControllerGetButton(gc, static_cast<SDL_GameControllerButton>(b)))
                pad.buttons[rb] = true;
        }
        // Sticks get a small dead zone so a resting stick reads exactly 0; triggers
        // run from -1 (released) to 1 (fully pressed).
        const SDL_GameControllerAxis sticks[4] = {SDL_CONTROLLER_AXIS_LEFTX, SDL_CONTROLLER_AXIS_LEFTY,
                                                  SDL_CONTROLLER_AXIS_RIGHTX, SDL_CONTROLLER_AXIS_RIGHTY};
        for (int a = 0; a < 4; a++) pad.axes[a] = stick_reading(SDL_GameControllerGetAxis(gc, sticks[a]));
        float lt = axis_value(gc, SDL_CONTROLLER_AXIS_TRIGGERLEFT);
        float rt = axis_value(gc, SDL_CONTROLLER_AXIS_TRIGGERRIGHT);
        pad.axes[GAMEPAD_AXIS_LEFT_TRIGGER] = lt * 2.0f - 1.0f;
        pad.axes[GAMEPAD_AXIS_RIGHT_TRIGGER] = rt * 2.0f - 1.0f;
        pad.buttons[GAMEPAD_BUTTON_LEFT_TRIGGER_2] = lt > 0.5f;
        pad.buttons[GAMEPAD_BUTTON_RIGHT_TRIGGER_2] = rt > 0.5f;
    }
}

int mouse_button_from_sdl(Uint8 button) {
    switch (button) {
    case SDL_BUTTON_LEFT:
        return MOUSE_BUTTON_LEFT;
    case SDL_BUTTON_RIGHT:
        return MOUSE_BUTTON_RIGHT;
    case SDL_BUTTON_MIDDLE:
        return MOUSE_BUTTON_MIDDLE;
    case SDL_BUTTON_X1:
        return MOUSE_BUTTON_SIDE;
    case SDL_BUTTON_X2:
        return MOUSE_BUTTON_EXTRA;
    default:
        return -1;
    }
}

[[noreturn]] void leave_for_lost_display() {
    TraceLog(LOG_ERROR, "WINDOW: the display connection was lost; the game ends");
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(EXIT_FAILURE);
}

// Copies this frame's input into "previous" and applies the events that arrived
// since, so the next frame sees the edges.
void poll_input_events() {
    std::memcpy(input.keys_previous, input.keys, sizeof(input.keys));
    std::memcpy(input.mouse_previous, input.mouse, sizeof(input.mouse));
    for (GamepadState &pad : input.pads) std::memcpy(pad.previous, pad.buttons, sizeof(pad.buttons));
    std::memset(input.keys_repeated, 0, sizeof(input.keys_repeated));
    input.key_queue_count = 0;
    input.char_queue_count = 0;

    // A key or button changes at most once a poll: one that goes down and up again
    // between two polls (a quick tap, a slow frame), or up and down again, would
    // otherwise never show its press. Its second change is left in the queue for the
    // next poll, so this frame sees the first and the next frame the second.
    bool changed_key[max_keys] = {};
    bool changed_button[max_mouse_buttons] = {};
    SDL_PumpEvents();
    if (display_lost()) leave_for_lost_display();
    SDL_Event e;
    while (SDL_PeepEvents(&e, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) {
        if (e.type == SDL_KEYUP || e.type == SDL_KEYDOWN) {
            int key = key_from_scancode(e.key.keysym.scancode);
            if (key > 0 && key < max_keys && changed_key[key] && input.keys[key] != (e.type == SDL_KEYDOWN)) break;
        } else if (e.type == SDL_MOUSEBUTTONUP || e.type == SDL_MOUSEBUTTONDOWN) {
            int b = mouse_button_from_sdl(e.button.button);
            if (b >= 0 && changed_button[b] && input.mouse[b] != (e.type == SDL_MOUSEBUTTONDOWN)) break;
        }
        SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
        switch (e.type) {
        case SDL_QUIT:
            input.close_requested = true;
            break;
        case SDL_WINDOWEVENT:
            if (e.window.event == SDL_WINDOWEVENT_CLOSE)
                input.close_requested = true;
            else if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED || e.window.event == SDL_WINDOWEVENT_RESIZED)
                refresh_window_size();
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            int key = key_from_scancode(e.key.keysym.scancode);
            if (key <= 0 || key >= max_keys) break;
            bool down = e.type == SDL_KEYDOWN;
            if (down != input.keys[key]) changed_key[key] = true;
            input.keys[key] = down;
            if (down && e.key.repeat != 0) input.keys_repeated[key] = true;
            if (down && e.key.repeat == 0 && input.key_queue_count < 16) input.key_queue[input.key_queue_count++] = key;
            if (down && e.key.repeat == 0 && input.exit_key != KEY_NULL && key == input.exit_key)
                input.close_requested = true;
            break;
        }
        case SDL_TEXTINPUT: {
            // UTF-8 text to code points.
            const auto *p = reinterpret_cast<const unsigned char *>(e.text.text);
            while (*p != 0 && input.char_queue_count < 16) {
                unsigned c = *p++;
                int extra = c < 0x80 ? 0 : c >= 0xf0 ? 3 : c >= 0xe0 ? 2 : c >= 0xc0 ? 1 : -1;
                if (extra < 0) continue;
                unsigned cp = extra == 0 ? c : (c & (0x3fu >> extra));
                for (int i = 0; i < extra && (*p & 0xc0) == 0x80; i++) cp = (cp << 6) | (*p++ & 0x3fu);
                input.char_queue[input.char_queue_count++] = static_cast<int>(cp);
            }
            break;
        }
        case SDL_MOUSEMOTION:
            input.mouse_x = static_cast<float>(e.motion.x);
            input.mouse_y = static_cast<float>(e.motion.y);
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            int b = mouse_button_from_sdl(e.button.button);
            if (b >= 0) {
                bool down = e.type == SDL_MOUSEBUTTONDOWN;
                if (down != input.mouse[b]) changed_button[b] = true;
                input.mouse[b] = down;
            }
            input.mouse_x = static_cast<float>(e.button.x);
            input.mouse_y = static_cast<float>(e.button.y);
            break;
        }
        case SDL_CONTROLLERDEVICEADDED:
            open_gamepad(e.cdevice.which);
            break;
        case SDL_CONTROLLERDEVICEREMOVED:
            close_gamepad(e.cdevice.which);
            break;
        default:
            break;
        }
    }
    read_gamepads();
}
#else
// ------------------------------------------------------------------ the page (browser build)

// The canvas is the window. Its CSS size is the screen size; times devicePixelRatio,
// the size drawn at.
constexpr const char *canvas_id = "#canvas";

// Input arrives in the page's event handlers, between frames; it is queued there and
// applied at the poll at the end of each frame, as SDL's queue is on the desktop.
PageEventQueue page_queue;

void push_page_event(const PageEvent &e) { engine::push_page_event(page_queue, e); }

// The first key or click of the page lets it make sound (browsers hold audio until then).
void page_gesture() { audio_page_gesture(); }

int decode_one_code_point(const char *text) {
    const auto *p = reinterpret_cast<const unsigned char *>(text);
    unsigned c = *p++;
    if (c == 0) return 0;
    int extra = c < 0x80 ? 0 : c >= 0xf0 ? 3 : c >= 0xe0 ? 2 : c >= 0xc0 ? 1 : -1;
    if (extra < 0) return 0;
    unsigned cp = extra == 0 ? c : (c & (0x3fu >> extra));
    for (int i = 0; i < extra; i++) {
        if ((*p & 0xc0) != 0x80) return 0;
        cp = (cp << 6) | (*p++ & 0x3fu);
    }
    return *p == 0 ? static_cast<int>(cp) : 0;  // one character, not a key name like "Shift"
}

EM_BOOL on_key(int type, const EmscriptenKeyboardEvent *e, void *) {
    page_gesture();
    const int key = key_from_dom_code(e->code);
    const bool down = type == EMSCRIPTEN_EVENT_KEYDOWN;
    if (key != KEY_NULL) push_page_event(PageEvent{PageEvent::key, down, e->repeat != 0, key, 0.0f, 0.0f});
    if (down && !e->ctrlKey && !e->metaKey && !e->altKey) {
        const int cp = decode_one_code_point(e->key);
        if (cp >= 32) push_page_event(PageEvent{PageEvent::text, true, false, cp, 0.0f, 0.0f});
    }
    // The game's keys stay with the game (Space would scroll, Tab move the focus);
    // function keys and shortcuts with Ctrl or Meta stay the browser's.
    const bool browser_key = (key >= KEY_F1 && key <= KEY_F12) || e->ctrlKey || e->metaKey;
    return key != KEY_NULL && !browser_key;
}

int mouse_button_from_dom(unsigned short button) {
    switch (button) {
    case 0:
        return MOUSE_BUTTON_LEFT;
    case 1:
        return MOUSE_BUTTON_MIDDLE;
    case 2:
        return MOUSE_BUTTON_RIGHT;
    case 3:
        return MOUSE_BUTTON_BACK;
    case 4:
        return MOUSE_BUTTON_FORWARD;
    default:
        return -1;
    }
}

EM_BOOL on_mouse(int type, const EmscriptenMouseEvent *e, void *) {
    const auto x = static_cast<float>(e->targetX);
    const auto y = static_cast<float>(e->targetY);
    if (type == EMSCRIPTEN_EVENT_MOUSEMOVE) {
        push_page_event(PageEvent{PageEvent::mouse_move, false, false, 0, x, y});
        return false;
    }
    page_gesture();
    const int b = mouse_button_from_dom(e->button);
    if (b >= 0) push_page_event(PageEvent{PageEvent::mouse_button, type == EMSCRIPTEN_EVENT_MOUSEDOWN, false, b, x, y});
    return false;
}

// A button let go outside the canvas: released where the mouse was last seen. Over the
// canvas the canvas's own handler came first, and this release finds nothing down.
EM_BOOL on_window_mouse_up(int, const EmscriptenMouseEvent *e, void *) {
    const int b = mouse_button_from_dom(e->button);
    if (b >= 0) push_page_event(PageEvent{PageEvent::mouse_button, false, false, b, page_queue.x, page_queue.y});
    return false;
}

// The page lost the focus or was hidden: the releases of whatever is held will go to
// another window or tab, so everything is let go now, as SDL does on the desktop.
EM_BOOL on_blur(int, const EmscriptenFocusEvent *, void *) {
    release_page_input(page_queue);
    return false;
}

EM_BOOL on_visibility(int, const EmscriptenVisibilityChangeEvent *e, void *) {
    if (e->hidden) release_page_input(page_queue);
    return false;
}

double now_seconds() { return (emscripten_get_now() - win.counter_start) / 1000.0; }

void refresh_window_size() {
    double css_w = 0.0, css_h = 0.0;
    if (emscripten_get_element_css_size(canvas_id, &css_w, &css_h) != EMSCRIPTEN_RESULT_SUCCESS) return;
    const double ratio = emscripten_get_device_pixel_ratio() > 0.0 ? emscripten_get_device_pixel_ratio() : 1.0;
    win.width = std::max(1, static_cast<int>(std::lround(css_w)));
    win.height = std::max(1, static_cast<int>(std::lround(css_h)));
    const int render_w = std::max(1, static_cast<int>(std::lround(css_w * ratio)));
    const int render_h = std::max(1, static_cast<int>(std::lround(css_h * ratio)));
    if (render_w != win.render_width || render_h != win.render_height) {
        emscripten_set_canvas_element_size(canvas_id, render_w, render_h);
        win.render_width = render_w;
        win.render_height = render_h;
    }
}

void read_gamepads() {
    if (emscripten_sample_gamepad_data() != EMSCRIPTEN_RESULT_SUCCESS) return;
    const int count = std::min(emscripten_get_num_gamepads(), max_gamepads);
    for (int i = 0; i < max_gamepads; i++) {
        GamepadState &pad = input.pads[i];
        if (pad.injected) continue;
        EmscriptenGamepadEvent state{};
        const bool connected =
            i < count && emscripten_get_gamepad_status(i, &state) == EMSCRIPTEN_RESULT_SUCCESS && state.connected;
        if (!connected) {
            if (pad.connected) log_line(LOG_INFO, "INPUT: gamepad %d disconnected", i);
            if (pad.connected) pad = GamepadState{};
            continue;
        }
        if (!pad.connected) {
            pad = GamepadState{};
            pad.connected = true;
            std::snprintf(pad.name, sizeof(pad.name), "%s", state.id);
            // Pads the browser does not know are read as if standard: most follow it.
            log_line(LOG_INFO, "INPUT: gamepad %d connected: %s%s", i, pad.name,
                     std::strcmp(state.mapping, "standard") == 0 ? "" : " (no standard mapping)");
        }
        StandardPad raw;
        raw.button_count = std::min(state.numButtons, standard_pad_buttons);
        for (int b = 0; b < raw.button_count; b++) {
            raw.pressed[b] = state.digitalButton[b] != 0;
            raw.value[b] = state.analogButton[b];
        }
        raw.axis_count = std::min(state.numAxes, 4);
        for (int a = 0; a < raw.axis_count; a++) raw.axes[a] = state.axis[a];
        read_standard_pad(raw, pad);
    }
}

void poll_input_events() {
    std::memcpy(input.keys_previous, input.keys, sizeof(input.keys));
    std::memcpy(input.mouse_previous, input.mouse, sizeof(input.mouse));
    for (GamepadState &pad : input.pads) std::memcpy(pad.previous, pad.buttons, sizeof(pad.buttons));
    std::memset(input.keys_repeated, 0, sizeof(input.keys_repeated));
    input.key_queue_count = 0;
    input.char_queue_count = 0;
    refresh_window_size();

    // As on the desktop: a key or button changes at most once a poll, so a quick tap
    // (or a release and a new press) is seen for a frame each.
    bool changed_key[max_keys] = {};
    bool changed_button[max_mouse_buttons] = {};
    bool clicked = false;
    int used = 0;
    for (; used < page_queue.count; used++) {
        const PageEvent &e = page_queue.events[used];
        if (e.kind == PageEvent::key && changed_key[e.code] && input.keys[e.code] != e.down) break;
        if (e.kind == PageEvent::mouse_button && changed_button[e.code] && input.mouse[e.code] != e.down) break;
        // The frame that sees a press or release sees it where it happened: a slow frame
        // would otherwise take the release to wherever the pointer went next, off the
        // control it was let go over.
        if (e.kind == PageEvent::mouse_move && clicked) break;
        switch (e.kind) {
        case PageEvent::key:
            if (e.down != input.keys[e.code]) changed_key[e.code] = true;
            input.keys[e.code] = e.down;
            if (e.down && e.repeat) input.keys_repeated[e.code] = true;
            if (e.down && !e.repeat && input.key_queue_count < 16) input.key_queue[input.key_queue_count++] = e.code;
            // No exit key in a page: a tab is closed by the browser, and Escape pauses.
            break;
        case PageEvent::text:
            if (input.char_queue_count < 16) input.char_queue[input.char_queue_count++] = e.code;
            break;
        case PageEvent::mouse_move:
            input.mouse_x = e.x;
            input.mouse_y = e.y;
            break;
        case PageEvent::mouse_button:
            if (e.down != input.mouse[e.code]) changed_button[e.code] = clicked = true;
            input.mouse[e.code] = e.down;
            input.mouse_x = e.x;
            input.mouse_y = e.y;
            break;
        }
    }
    drop_page_events(page_queue, used);
    read_gamepads();
}

// The browser paces the frames (one per display refresh).
void wait_until(double) {}
#endif

bool valid_key(int key) { return key > 0 && key < max_keys; }
bool valid_button(int b) { return b >= 0 && b < max_mouse_buttons; }
const GamepadState *pad_at(int gamepad) {
    if (gamepad < 0 || gamepad >= max_gamepads) return nullptr;
    const GamepadState &pad = input.pads[gamepad];
    return pad.connected ? &pad : nullptr;
}

#if !defined(__EMSCRIPTEN__)
void wait_until(double t) {
    for (;;) {
        double remaining = t - now_seconds();
        if (remaining <= 0.0) return;
        if (remaining > 0.002) SDL_Delay(static_cast<Uint32>((remaining - 0.001) * 1000.0));
    }
}
#endif

}  // namespace

InputState &input_state() { return input; }

#if !defined(__EMSCRIPTEN__)
float stick_reading(int raw) {
    const float v = axis_value(raw);
    return std::fabs(v) < 0.1f ? 0.0f : v;
}
#endif
TestState &test_state() { return tests; }
bool gl_ready() { return win.ready; }

bool require_gl(const char *what) {
    if (win.ready) return true;
    log_line(LOG_ERROR, "%s: no window or GL context (call InitWindow first)", what);
    return false;
}

int max_texture_size() {
    static int size = 0;
    if (size == 0 && win.ready) glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    return size > 0 ? size : 4096;
}

void log_line(int level, const char *fmt, ...) {
    va_list args;
    va_start(args, fmt);
    char text[1024];
    std::vsnprintf(text, sizeof(text), fmt, args);
    va_end(args);
    TraceLog(level, "%s", text);
}

}  // namespace engine

using namespace engine;

// ------------------------------------------------------------------ logging

void SetTraceLogLevel(int logLevel) { min_log_level = logLevel; }

void TraceLog(int logLevel, const char *text, ...) {
    if (logLevel < min_log_level || text == nullptr) return;
    const char *prefix = "";
    switch (logLevel) {
    case LOG_TRACE:
        prefix = "TRACE: ";
        break;
    case LOG_DEBUG:
        prefix = "DEBUG: ";
        break;
    case LOG_INFO:
        prefix = "INFO: ";
        break;
    case LOG_WARNING:
        prefix = "WARNING: ";
        break;
    case LOG_ERROR:
        prefix = "ERROR: ";
        break;
    case LOG_FATAL:
        prefix = "FATAL: ";
        break;
    default:
        break;
    }
    char line[2048];
    int n = std::snprintf(line, sizeof(line), "%s", prefix);
    va_list args;
    va_start(args, text);
    std::vsnprintf(line + n, sizeof(line) - static_cast<size_t>(n), text, args);
    va_end(args);
    std::fprintf(stdout, "%s\n", line);
    std::fflush(stdout);
    if (tests.log_sink != nullptr) tests.log_sink(logLevel, line);
    if (logLevel == LOG_FATAL) std::exit(EXIT_FAILURE);
}

// ------------------------------------------------------------------ window

void SetConfigFlags(unsigned int flags) { win.flags |= flags; }

namespace {
// The window's last step on either platform: the renderer, the text, and a clean clock.
void start_renderer(bool msaa) {
    if (!rlgl_init(win.render_width, win.render_height, msaa ? 4 : 0) || !shaders_init()) {
        TraceLog(LOG_ERROR, "WINDOW: the renderer could not be set up");
        CloseWindow();
        std::exit(EXIT_FAILURE);
    }
    text_init();
    win.frame_begin = now_seconds();
    win.frame_time = 0.0;
    win.recent_count = 0;
    win.recent_next = 0;
    rlgl_begin_frame(win.render_width, win.render_height);
}
}  // namespace

#if !defined(__EMSCRIPTEN__)

// The largest window the engine asks SDL for, per side. X11 refuses sides above
// 32767 (and SDL's X11 backend then ends the process), GL drawables stop at the
// driver's viewport and renderbuffer limits, and a window more than twice the
// desktop's size cannot be seen at all while its drawable costs gigabytes.
static void window_size_limit(int *max_width, int *max_height) {
    int w = 16384, h = 16384;
    if (win.ready) {
        GLint viewport[2] = {0, 0}, renderbuffer = 0;
        glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
        glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
        if (viewport[0] > 0 && viewport[0] < w) w = viewport[0];
        if (viewport[1] > 0 && viewport[1] < h) h = viewport[1];
        if (renderbuffer > 0 && renderbuffer < w) w = renderbuffer;
        if (renderbuffer > 0 && renderbuffer < h) h = renderbuffer;
    }
    SDL_Rect desktop = {0, 0, 0, 0};
    for (int i = 0, n = SDL_GetNumVideoDisplays(); i < n; i++) {
        SDL_Rect bounds;
        if (SDL_GetDisplayBounds(i, &bounds) == 0) SDL_UnionRect(&desktop, &bounds, &desktop);
    }
    if (desktop.w > 0 && 2 * desktop.w < w) w = 2 * desktop.w;
    if (desktop.h > 0 && 2 * desktop.h < h) h = 2 * desktop.h;
    *max_width = w;
    *max_height = h;
}

// Clamps a requested window size to the limit above, with a WARNING when it must.
static void clamp_window_size(int *width, int *height) {
    int max_w = 0, max_h = 0;
    window_size_limit(&max_w, &max_h);
    if (*width <= max_w && *height <= max_h) return;
    TraceLog(LOG_WARNING, "WINDOW: size %d x %d is larger than the display can take; using %d x %d", *width, *height,
             *width < max_w ? *width : max_w, *height < max_h ? *height : max_h);
    if (*width > max_w) *width = max_w;
    if (*height > max_h) *height = max_h;
}

// True if SDL_VIDEODRIVER (a comma-separated list) names the driver.
static bool driver_asked_for(const char *driver) {
    const char *asked = std::getenv("SDL_VIDEODRIVER");
    if (asked == nullptr) asked = SDL_GetHint("SDL_VIDEODRIVER");
    if (asked == nullptr) return false;
    const std::size_t n = std::strlen(driver);
    for (const char *p = asked; *p != '\0';) {
        const char *comma = std::strchr(p, ',');
        const std::size_t len = comma != nullptr ? static_cast<std::size_t>(comma - p) : std::strlen(p);
        if (len == n && strncasecmp(p, driver, n) == 0) return true;
        if (comma == nullptr) break;
        p = comma + 1;
    }
    return false;
}

// What stands in the way of a real window, for the ERROR line.
static std::string missing_display() {
    const char *x11 = std::getenv("DISPLAY");
    const char *wayland = std::getenv("WAYLAND_DISPLAY");
    const bool has_x11 = x11 != nullptr && x11[0] != '\0';
    const bool has_wayland = wayland != nullptr && wayland[0] != '\0';
    if (!has_x11 && !has_wayland) return "no display: neither DISPLAY nor WAYLAND_DISPLAY is set";
    std::string text = "no display could be opened:";
    if (has_x11) text += std::string(" no X server answers at DISPLAY=") + x11;
    if (has_x11 && has_wayland) text += ",";
    if (has_wayland) text += std::string(" no Wayland compositor answers at WAYLAND_DISPLAY=") + wayland;
    return text;
}

static bool create_window(int width, int height, const char *title, bool msaa) {
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    // No destination alpha: on a compositing desktop an alpha channel can make the
    // window see-through wherever a frame is cleared with alpha 0, as the game does.
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, msaa ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, msaa ? 4 : 0);

    Uint32 wflags = SDL_WINDOW_OPENGL;
    if (win.flags & FLAG_WINDOW_HIDDEN) wflags |= SDL_WINDOW_HIDDEN;
    if (win.flags & FLAG_WINDOW_RESIZABLE) wflags |= SDL_WINDOW_RESIZABLE;
    if (win.flags & FLAG_WINDOW_UNDECORATED) wflags |= SDL_WINDOW_BORDERLESS;
    if (win.flags & FLAG_WINDOW_HIGHDPI) wflags |= SDL_WINDOW_ALLOW_HIGHDPI;
    if (win.flags & FLAG_FULLSCREEN_MODE) wflags |= SDL_WINDOW_FULLSCREEN;

    win.window = SDL_CreateWindow(title != nullptr ? title : "", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width,
                                  height, wflags);
    if (win.window == nullptr) return false;
    win.context = SDL_GL_CreateContext(win.window);
    if (win.context == nullptr) {
        SDL_DestroyWindow(win.window);
        win.window = nullptr;
        return false;
    }
    return true;
}

static bool x11_with_egl() {
    const char *driver = SDL_GetCurrentVideoDriver();
    return driver != nullptr && std::strcmp(driver, "x11") == 0 &&
           SDL_GetHintBoolean(SDL_HINT_VIDEO_X11_FORCE_EGL, SDL_FALSE);
}

// The window and its context on the first path that works: on X11, EGL (asked for in
// InitWindow), then GLX. `why` gets SDL's reason when none does, and `egl_error` EGL's
// when EGL was given up for GLX.
static bool create_window_any_path(int width, int height, const char *title, bool msaa, std::string &why,
                                   std::string &egl_error) {
    if (create_window(width, height, title, msaa)) return true;
    why = SDL_GetError();
    if (!x11_with_egl()) return false;
    // SDL has switched its GL functions over to EGL's; only a fresh start of the video
    // subsystem brings GLX's back.
    egl_error = why;
    SDL_SetHintWithPriority(SDL_HINT_VIDEO_X11_FORCE_EGL, "0", SDL_HINT_OVERRIDE);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 && create_window(width, height, title, msaa)) {
        TraceLog(LOG_INFO, "WINDOW: EGL is not available (%s); using GLX", egl_error.c_str());
        return true;
    }
    why = SDL_GetError();
    return false;
}

void InitWindow(int width, int height, const char *title) {
    if (win.ready) {
        TraceLog(LOG_WARNING, "WINDOW: InitWindow called while a window is open; ignored");
        return;
    }
    if (width < 1 || height < 1) {
        TraceLog(LOG_WARNING, "WINDOW: size %d x %d is invalid; using 1 x 1 at least", width, height);
        if (width < 1) width = 1;
        if (height < 1) height = 1;
    }
    // Gamepads are read whether or not the window has focus, as the game expects
    // (SDL otherwise drops their input while the window is in the background).
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    // On X11, EGL opens the window without the throwaway GLX context SDL makes first to
    // read GLX's extensions, the largest part of a window's cost there. At normal
    // priority, so an SDL_VIDEO_X11_FORCE_EGL of the user's environment still decides.
    SDL_SetHint(SDL_HINT_VIDEO_X11_FORCE_EGL, "1");
    start_gl_warmup();
    // Gamepads start after the window: their start loads a library, which would wait
    // for the driver the warm-up is loading.
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        end_gl_warmup();
        TraceLog(LOG_ERROR, "WINDOW: %s; the window cannot be opened (%s)", missing_display().c_str(), SDL_GetError());
        std::exit(EXIT_FAILURE);
    }
    // Without a display SDL quietly falls back to a driver that draws nowhere: the
    // game would run invisibly until killed. Those drivers only when asked for.
    const char *driver = SDL_GetCurrentVideoDriver();
    if (driver != nullptr && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0) &&
        !driver_asked_for(driver)) {
        end_gl_warmup();
        TraceLog(LOG_ERROR,
                 "WINDOW: %s; the window cannot be shown. Start the game from a desktop session "
                 "(SDL_VIDEODRIVER=offscreen runs it without a window)",
                 missing_display().c_str());
        SDL_Quit();
        std::exit(EXIT_FAILURE);
    }
    win.sdl_started = true;
    win.counter_start = SDL_GetPerformanceCounter();
    clamp_window_size(&width, &height);

    // Multisampling is done on a target of the renderer's own (see rlgl_init), not by
    // the window: the frame's samples then stay ours to copy between frames.
    const bool msaa = (win.flags & FLAG_MSAA_4X_HINT) != 0;
    std::string why;
    std::string egl_error;
    bool ok = create_window_any_path(width, height, title, false, why, egl_error);
    end_gl_warmup();
    if (ok && SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0)
        TraceLog(LOG_WARNING, "INPUT: gamepads cannot be read: %s", SDL_GetError());
    if (!ok && !egl_error.empty())
        TraceLog(LOG_WARNING, "WINDOW: neither EGL (%s) nor GLX (%s) gives an OpenGL 3.3 core context",
                 egl_error.c_str(), why.c_str());
    if (!ok) {
        TraceLog(LOG_ERROR, "WINDOW: failed to open a window with an OpenGL 3.3 core context: %s", why.c_str());
        SDL_Quit();
        win.sdl_started = false;
        std::exit(EXIT_FAILURE);
    }
    if (epoxy_gl_version() < 33) {
        TraceLog(LOG_ERROR, "WINDOW: OpenGL 3.3 is required, the context offers %d.%d", epoxy_gl_version() / 10,
                 epoxy_gl_version() % 10);
        SDL_GL_DeleteContext(win.context);
        SDL_DestroyWindow(win.window);
        SDL_Quit();
        std::exit(EXIT_FAILURE);
    }
    SDL_GL_SetSwapInterval((win.flags & FLAG_VSYNC_HINT) ? 1 : 0);
    watch_display(win.window, leave_for_lost_display);
    win.ready = true;
    refresh_window_size();
    const Vector2 dpi = GetWindowScaleDPI();
    TraceLog(LOG_INFO, "WINDOW: opened %d x %d (render %d x %d, display scale %.2f), video driver %s", win.width,
             win.height, win.render_width, win.render_height, dpi.x, SDL_GetCurrentVideoDriver());
    TraceLog(LOG_INFO, "GL: %s, %s", reinterpret_cast<const char *>(glGetString(GL_RENDERER)),
             reinterpret_cast<const char *>(glGetString(GL_VERSION)));

    input = InputState{};
    // Pads already plugged in arrive as device-added events at the first poll.
    start_renderer(msaa);
}

void CloseWindow(void) {
    end_prefetch();
    end_heap_warmup();
    if (!win.ready) return;
    run_shutdown_hooks();
    text_close();
    shaders_close();
    rlgl_close();
    release_all_gl();
    release_all_arrays();
    for (GamepadState &pad : input.pads)
        if (pad.controller != nullptr) SDL_GameControllerClose(static_cast<SDL_GameController *>(pad.controller));
    input = InputState{};
    unwatch_display();
    SDL_GL_DeleteContext(win.context);
    SDL_DestroyWindow(win.window);
    win.context = nullptr;
    win.window = nullptr;
    win.ready = false;
    SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_GAMECONTROLLER | SDL_INIT_EVENTS);
    TraceLog(LOG_INFO, "WINDOW: closed");
}
#else
// ------------------------------------------------------------------ the page's window

void InitWindow(int width, int height, const char *title) {
    if (win.ready) {
        TraceLog(LOG_WARNING, "WINDOW: InitWindow called while a window is open; ignored");
        return;
    }
    // The page lays the canvas out; the size asked for is the desktop window's.
    (void)width;
    (void)height;
    win.counter_start = emscripten_get_now();
    EmscriptenWebGLContextAttributes attrs;
    emscripten_webgl_init_context_attributes(&attrs);
    attrs.majorVersion = 2;
    attrs.minorVersion = 0;
    attrs.alpha = false;
    attrs.depth = true;
    attrs.stencil = false;
    // Multisampling is the renderer's own, as on the desktop (see rlgl_init).
    attrs.antialias = false;
    win.context = emscripten_webgl_create_context(canvas_id, &attrs);
    if (win.context <= 0 || emscripten_webgl_make_context_current(win.context) != EMSCRIPTEN_RESULT_SUCCESS) {
        TraceLog(LOG_ERROR, "WINDOW: this browser gives no WebGL 2 context");
        std::exit(EXIT_FAILURE);
    }
    if (title != nullptr) emscripten_set_window_title(title);
    win.ready = true;
    refresh_window_size();
    TraceLog(LOG_INFO, "WINDOW: canvas %d x %d (render %d x %d, device pixel ratio %.2f)", win.width, win.height,
             win.render_width, win.render_height, emscripten_get_device_pixel_ratio());
    TraceLog(LOG_INFO, "GL: %s, %s", reinterpret_cast<const char *>(glGetString(GL_RENDERER)),
             reinterpret_cast<const char *>(glGetString(GL_VERSION)));

    input = InputState{};
    page_queue = PageEventQueue{};
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, true, on_key);
    emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, true, on_key);
    emscripten_set_mousedown_callback(canvas_id, nullptr, true, on_mouse);
    emscripten_set_mouseup_callback(canvas_id, nullptr, true, on_mouse);
    emscripten_set_mousemove_callback(canvas_id, nullptr, true, on_mouse);
    emscripten_set_mouseup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, false, on_window_mouse_up);
    emscripten_set_blur_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, true, on_blur);
    emscripten_set_visibilitychange_callback(nullptr, true, on_visibility);
    const bool msaa = (win.flags & FLAG_MSAA_4X_HINT) != 0;
    start_renderer(msaa);
}

void CloseWindow(void) {
    end_prefetch();
    if (!win.ready) return;
    run_shutdown_hooks();
    text_close();
    shaders_close();
    rlgl_close();
    release_all_gl();
    release_all_arrays();
    input = InputState{};
    emscripten_webgl_destroy_context(win.context);
    win.context = 0;
    win.ready = false;
    TraceLog(LOG_INFO, "WINDOW: closed");
}
#endif

bool IsWindowReady(void) { return win.ready; }

bool WindowShouldClose(void) {
    if (!win.ready) return true;
    return input.close_requested;
}

void SetExitKey(int key) { input.exit_key = key; }

int GetScreenWidth(void) { return win.width; }
int GetScreenHeight(void) { return win.height; }
int GetRenderWidth(void) { return win.render_width; }
int GetRenderHeight(void) { return win.render_height; }

#if !defined(__EMSCRIPTEN__)
void SetWindowTitle(const char *title) {
    if (win.ready && title != nullptr) SDL_SetWindowTitle(win.window, title);
}

void SetWindowSize(int width, int height) {
    if (!win.ready) return;
    if (width < 1 || height < 1) {
        TraceLog(LOG_WARNING, "WINDOW: size %d x %d is invalid; the window keeps %d x %d", width, height, win.width,
                 win.height);
        return;
    }
    clamp_window_size(&width, &height);
    SDL_SetWindowSize(win.window, width, height);
    refresh_window_size();
}

bool IsWindowFullscreen(void) {
    if (!win.ready) return false;
    return (SDL_GetWindowFlags(win.window) & (SDL_WINDOW_FULLSCREEN | SDL_WINDOW_FULLSCREEN_DESKTOP)) != 0;
}

void ToggleFullscreen(void) {
    if (!win.ready) return;
    bool to_fullscreen = !IsWindowFullscreen();
    // Desktop fullscreen: the window covers its display without a mode switch, which
    // every driver supports; the game sizes the window to the display first.
    if (SDL_SetWindowFullscreen(win.window, to_fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0)
        TraceLog(LOG_WARNING, "WINDOW: could not switch %s fullscreen: %s", to_fullscreen ? "to" : "from",
                 SDL_GetError());
    refresh_window_size();
}

int GetMonitorCount(void) {
    if (!win.sdl_started) return 0;
    int n = SDL_GetNumVideoDisplays();
    return n > 0 ? n : 0;
}

int GetCurrentMonitor(void) {
    if (!win.ready) return 0;
    int index = SDL_GetWindowDisplayIndex(win.window);
    return index >= 0 ? index : 0;
}

static bool monitor_mode(int monitor, SDL_DisplayMode *mode) {
    if (monitor < 0 || monitor >= GetMonitorCount()) {
        TraceLog(LOG_WARNING, "WINDOW: monitor %d does not exist", monitor);
        return false;
    }
    if (SDL_GetCurrentDisplayMode(monitor, mode) != 0) {
        TraceLog(LOG_WARNING, "WINDOW: monitor %d reports no display mode: %s", monitor, SDL_GetError());
        return false;
    }
    return true;
}

int GetMonitorWidth(int monitor) {
    SDL_DisplayMode mode;
    return monitor_mode(monitor, &mode) ? mode.w : 0;
}

int GetMonitorHeight(int monitor) {
    SDL_DisplayMode mode;
    return monitor_mode(monitor, &mode) ? mode.h : 0;
}

int GetMonitorRefreshRate(int monitor) {
    SDL_DisplayMode mode;
    return monitor_mode(monitor, &mode) ? mode.refresh_rate : 0;
}

Vector2 GetWindowScaleDPI(void) {
    // The desktop's scale factor, not the monitor's physical DPI: a 4K panel without
    // desktop scaling is 1. A high-DPI window reports its drawable-to-window ratio;
    // otherwise X11's Xft.dpi over 96; 1 when neither says anything.
    Vector2 scale = {1.0f, 1.0f};
    if (tests.dpi_scale > 0.0f) return Vector2{tests.dpi_scale, tests.dpi_scale};
    if (!win.ready) return scale;
    if (win.width > 0 && win.height > 0 && win.render_width > win.width) {
        scale.x = static_cast<float>(win.render_width) / static_cast<float>(win.width);
        scale.y = static_cast<float>(win.render_height) / static_cast<float>(win.height);
        return scale;
    }
    const float desktop = x11_desktop_scale(win.window);
    if (desktop > 0.0f) scale = Vector2{desktop, desktop};
    return scale;
}
#else
void SetWindowTitle(const char *title) {
    if (win.ready && title != nullptr) emscripten_set_window_title(title);
}

// The page sizes the canvas; a size asked for is left to it.
void SetWindowSize(int width, int height) {
    if (!win.ready) return;
    TraceLog(LOG_INFO, "WINDOW: the page sizes the canvas; %d x %d is not applied", width, height);
}

bool IsWindowFullscreen(void) {
    if (!win.ready) return false;
    EmscriptenFullscreenChangeEvent status{};
    return emscripten_get_fullscreen_status(&status) == EMSCRIPTEN_RESULT_SUCCESS && status.isFullscreen;
}

void ToggleFullscreen(void) {
    if (!win.ready) return;
    if (IsWindowFullscreen()) {
        emscripten_exit_fullscreen();
        return;
    }
    // Browsers grant fullscreen only inside a click or key handler; a request made in
    // a frame waits for the next one.
    const EMSCRIPTEN_RESULT r = emscripten_request_fullscreen(canvas_id, true);
    if (r != EMSCRIPTEN_RESULT_SUCCESS && r != EMSCRIPTEN_RESULT_DEFERRED)
        TraceLog(LOG_WARNING, "WINDOW: the browser refuses fullscreen (%d)", r);
}

// The page sees one screen: the one the browser window is on.
int GetMonitorCount(void) { return win.ready ? 1 : 0; }
int GetCurrentMonitor(void) { return 0; }

static void page_screen(int *width, int *height) {
    *width = EM_ASM_INT({ return screen.width; });
    *height = EM_ASM_INT({ return screen.height; });
}

int GetMonitorWidth(int monitor) {
    int w = 0, h = 0;
    if (monitor == 0) page_screen(&w, &h);
    return w;
}

int GetMonitorHeight(int monitor) {
    int w = 0, h = 0;
    if (monitor == 0) page_screen(&w, &h);
    return h;
}

// Browsers do not tell the refresh rate; frames come at the display's own pace.
int GetMonitorRefreshRate(int monitor) { return monitor == 0 ? 60 : 0; }

Vector2 GetWindowScaleDPI(void) {
    if (tests.dpi_scale > 0.0f) return Vector2{tests.dpi_scale, tests.dpi_scale};
    const auto ratio = static_cast<float>(emscripten_get_device_pixel_ratio());
    return ratio > 0.0f ? Vector2{ratio, ratio} : Vector2{1.0f, 1.0f};
}
#endif

// ------------------------------------------------------------------ frame

void BeginDrawing(void) {
    if (!require_gl("BeginDrawing")) return;
    rlgl_begin_frame(win.render_width, win.render_height);
}

void EndDrawing(void) {
    if (!win.ready) return;
    rlgl_present();
#if !defined(__EMSCRIPTEN__)  // the page presents when the frame returns
    SDL_GL_SwapWindow(win.window);
#endif
    // Whatever start-up prefetched and did not load is of no more use, nor the heap it
    // kept warm.
    end_prefetch();
    end_heap_warmup();

    if (tests.fixed_frame_time >= 0.0) {
        win.frame_time = tests.fixed_frame_time;
        win.frame_begin = now_seconds();
    } else {
        if (win.target_frame > 0.0) wait_until(win.frame_begin + win.target_frame);
        double now = now_seconds();
        win.frame_time = now - win.frame_begin;
        win.frame_begin = now;
    }
    win.recent[win.recent_next] = win.frame_time;
    win.recent_next = (win.recent_next + 1) % 32;
    if (win.recent_count < 32) win.recent_count++;

    poll_input_events();
}

void SetTargetFPS(int fps) {
    win.target_frame = fps > 0 ? 1.0 / static_cast<double>(fps) : 0.0;
    if (fps > 0) TraceLog(LOG_INFO, "TIMER: target time per frame: %.3f milliseconds", win.target_frame * 1000.0);
}

float GetFrameTime(void) {
    if (tests.fixed_frame_time >= 0.0) return static_cast<float>(tests.fixed_frame_time);
    return static_cast<float>(win.frame_time);
}

double GetTime(void) { return now_seconds(); }

int GetFPS(void) {
    if (tests.fixed_frame_time > 0.0) return static_cast<int>(std::lround(1.0 / tests.fixed_frame_time));
    if (win.recent_count == 0) return 0;
    double sum = 0.0;
    for (int i = 0; i < win.recent_count; i++) sum += win.recent[i];
    double average = sum / win.recent_count;
    return average > 0.0 ? static_cast<int>(std::lround(1.0 / average)) : 0;
}

// ------------------------------------------------------------------ keyboard and mouse

bool IsKeyPressed(int key) { return valid_key(key) && input.keys[key] && !input.keys_previous[key]; }
bool IsKeyPressedRepeat(int key) { return valid_key(key) && input.keys_repeated[key]; }
bool IsKeyDown(int key) { return valid_key(key) && input.keys[key]; }
bool IsKeyReleased(int key) { return valid_key(key) && !input.keys[key] && input.keys_previous[key]; }
bool IsKeyUp(int key) { return !IsKeyDown(key); }

// Both queues are filled at the poll and emptied one call at a time; 0 when empty.
int GetKeyPressed(void) {
    if (input.key_queue_count == 0) return 0;
    int key = input.key_queue[0];
    std::memmove(input.key_queue, input.key_queue + 1, sizeof(int) * static_cast<size_t>(--input.key_queue_count));
    return key;
}

int GetCharPressed(void) {
    if (input.char_queue_count == 0) return 0;
    int c = input.char_queue[0];
    std::memmove(input.char_queue, input.char_queue + 1, sizeof(int) * static_cast<size_t>(--input.char_queue_count));
    return c;
}

bool IsMouseButtonPressed(int b) { return valid_button(b) && input.mouse[b] && !input.mouse_previous[b]; }
bool IsMouseButtonDown(int b) { return valid_button(b) && input.mouse[b]; }
bool IsMouseButtonReleased(int b) { return valid_button(b) && !input.mouse[b] && input.mouse_previous[b]; }
bool IsMouseButtonUp(int b) { return !IsMouseButtonDown(b); }
int GetMouseX(void) { return static_cast<int>(input.mouse_x); }
int GetMouseY(void) { return static_cast<int>(input.mouse_y); }
Vector2 GetMousePosition(void) { return Vector2{input.mouse_x, input.mouse_y}; }

// ------------------------------------------------------------------ gamepads

bool IsGamepadAvailable(int gamepad) { return pad_at(gamepad) != nullptr; }

const char *GetGamepadName(int gamepad) {
    const GamepadState *pad = pad_at(gamepad);
    return pad != nullptr ? pad->name : nullptr;
}

bool IsGamepadButtonPressed(int gamepad, int button) {
    const GamepadState *pad = pad_at(gamepad);
    return pad != nullptr && button > 0 && button < 32 && pad->buttons[button] && !pad->previous[button];
}

bool IsGamepadButtonDown(int gamepad, int button) {
    const GamepadState *pad = pad_at(gamepad);
    return pad != nullptr && button > 0 && button < 32 && pad->buttons[button];
}

bool IsGamepadButtonReleased(int gamepad, int button) {
    const GamepadState *pad = pad_at(gamepad);
    return pad != nullptr && button > 0 && button < 32 && !pad->buttons[button] && pad->previous[button];
}

bool IsGamepadButtonUp(int gamepad, int button) { return !IsGamepadButtonDown(gamepad, button); }

int GetGamepadAxisCount(int gamepad) { return pad_at(gamepad) != nullptr ? 6 : 0; }

float GetGamepadAxisMovement(int gamepad, int axis) {
    const GamepadState *pad = pad_at(gamepad);
    if (pad == nullptr || axis < 0 || axis > GAMEPAD_AXIS_RIGHT_TRIGGER) return 0.0f;
    return pad->axes[axis];
}

// ------------------------------------------------------------------ files

const char *engine::refusal_text(FileRefusal why) {
    switch (why) {
    case FileRefusal::none:
        return "was read";
    case FileRefusal::missing:
        return "does not exist or cannot be opened";
    case FileRefusal::not_regular:
        return "is not a regular file but a directory, device or pipe";
    case FileRefusal::too_large:
        return "is too large";
    case FileRefusal::unreadable:
        return "cannot be read";
    }
    return "cannot be read";
}

namespace {

// Opens without blocking (a FIFO with no writer would otherwise wait for one) and
// checks what the path names; -1 with the reason when it is refused.
int open_regular(const char *path, std::size_t max_bytes, struct stat &st, engine::FileRefusal &why) {
    why = engine::FileRefusal::missing;
    if (path == nullptr) return -1;
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    if (fstat(fd, &st) != 0)
        why = engine::FileRefusal::unreadable;
    else if (!S_ISREG(st.st_mode))
        why = engine::FileRefusal::not_regular;
    else if (st.st_size < 0 || static_cast<std::uint64_t>(st.st_size) > max_bytes)
        why = engine::FileRefusal::too_large;
    else
        why = engine::FileRefusal::none;
    if (why != engine::FileRefusal::none) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

engine::FileRefusal engine::check_regular_file(const char *path, std::size_t max_bytes) {
    struct stat st;
    FileRefusal why;
    const int fd = open_regular(path, max_bytes, st, why);
    if (fd >= 0) close(fd);
    return why;
}

unsigned char *engine::read_whole_file(const char *fileName, int *dataSize, std::size_t max_bytes, FileRefusal *why) {
    if (dataSize != nullptr) *dataSize = 0;
    FileRefusal refusal;
    if (why == nullptr) why = &refusal;
    if (max_bytes > 0x7ffffffe) max_bytes = 0x7ffffffe;
    struct stat st;
    const int fd = open_regular(fileName, max_bytes, st, *why);
    if (fd < 0) return nullptr;
    // Read what the file holds now, and at most the limit if it grows meanwhile.
    const auto size = static_cast<std::size_t>(st.st_size);
    auto *data = static_cast<unsigned char *>(engine_alloc(size + 1));
    std::size_t got = 0;
    while (data != nullptr && got < size) {
        const ssize_t n = read(fd, data + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    close(fd);
    if (data == nullptr || got != size) {
        engine_free(data);
        *why = FileRefusal::unreadable;
        return nullptr;
    }
    data[size] = 0;  // text readers rely on it
    if (dataSize != nullptr) *dataSize = static_cast<int>(size);
    return data;
}

bool engine::read_file_bytes(const char *path, std::vector<unsigned char> &out, std::size_t max_bytes,
                             FileRefusal &why) {
    out.clear();
    if (max_bytes > 0x7ffffffe) max_bytes = 0x7ffffffe;
    struct stat st;
    const int fd = open_regular(path, max_bytes, st, why);
    if (fd < 0) return false;
    out.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (got < out.size()) {
        const ssize_t n = read(fd, out.data() + got, out.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    close(fd);
    if (got != out.size()) {
        out.clear();
        why = FileRefusal::unreadable;
        return false;
    }
    return true;
}

unsigned char *LoadFileData(const char *fileName, int *dataSize) {
    FileRefusal why = FileRefusal::none;
    unsigned char *data = read_whole_file(fileName, dataSize, max_file_bytes, &why);
    if (data == nullptr && fileName != nullptr)
        TraceLog(LOG_WARNING, "FILEIO: [%s] failed to read file: it %s", fileName, refusal_text(why));
    return data;
}

void UnloadFileData(unsigned char *data) { engine_free(data); }

// Zero-filled, like raylib's (RL_CALLOC); what LoadFileText's callback hands out comes
// from here, since UnloadFileText releases it.
void *MemAlloc(unsigned int size) { return engine_alloc(size); }

void MemFree(void *ptr) { engine_free(ptr); }

namespace {
LoadFileTextCallback load_file_text_callback = nullptr;
}  // namespace

void SetLoadFileTextCallback(LoadFileTextCallback callback) { load_file_text_callback = callback; }

char *LoadFileText(const char *fileName) {
    if (load_file_text_callback != nullptr) return load_file_text_callback(fileName);
    return reinterpret_cast<char *>(LoadFileData(fileName, nullptr));
}

void UnloadFileText(char *text) { engine_free(text); }

bool FileExists(const char *fileName) {
    struct stat st;
    return fileName != nullptr && stat(fileName, &st) == 0;
}

long GetFileModTime(const char *fileName) {
    struct stat st;
    if (fileName == nullptr || stat(fileName, &st) != 0) return 0;
    return static_cast<long>(st.st_mtime);
}

const char *GetDirectoryPath(const char *filePath) {
    static char dir[4096];
    dir[0] = '\0';
    if (filePath == nullptr) return dir;
    const char *slash = std::strrchr(filePath, '/');
    if (slash == nullptr) {
        std::snprintf(dir, sizeof(dir), ".");
        return dir;
    }
    size_t len = static_cast<size_t>(slash - filePath);
    if (len == 0) len = 1;  // the root directory
    if (len >= sizeof(dir)) len = sizeof(dir) - 1;
    std::memcpy(dir, filePath, len);
    dir[len] = '\0';
    return dir;
}
