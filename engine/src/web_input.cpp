// The browser's input in the engine's terms: KeyboardEvent.code names (physical key
// positions, as SDL's scancodes are) to raylib key codes, and a pad of the Gamepad
// API's standard mapping to the same buttons and axes as an SDL game controller.
#include "internal.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

namespace engine {
namespace {

struct NamedKey {
    const char *code;
    int key;
};

constexpr NamedKey named_keys[] = {
    {"Digit0", KEY_ZERO},
    {"Enter", KEY_ENTER},
    {"NumpadEnter", KEY_ENTER},
    {"Escape", KEY_ESCAPE},
    {"Backspace", KEY_BACKSPACE},
    {"Tab", KEY_TAB},
    {"Space", KEY_SPACE},
    {"Minus", KEY_MINUS},
    {"Equal", KEY_EQUAL},
    {"BracketLeft", KEY_LEFT_BRACKET},
    {"BracketRight", KEY_RIGHT_BRACKET},
    {"Backslash", KEY_BACKSLASH},
    {"Semicolon", KEY_SEMICOLON},
    {"Quote", KEY_APOSTROPHE},
    {"Backquote", KEY_GRAVE},
    {"Comma", KEY_COMMA},
    {"Period", KEY_PERIOD},
    {"Slash", KEY_SLASH},
    {"CapsLock", KEY_CAPS_LOCK},
    {"PrintScreen", KEY_PRINT_SCREEN},
    {"ScrollLock", KEY_SCROLL_LOCK},
    {"Pause", KEY_PAUSE},
    {"Insert", KEY_INSERT},
    {"Home", KEY_HOME},
    {"PageUp", KEY_PAGE_UP},
    {"Delete", KEY_DELETE},
    {"End", KEY_END},
    {"PageDown", KEY_PAGE_DOWN},
    {"ArrowRight", KEY_RIGHT},
    {"ArrowLeft", KEY_LEFT},
    {"ArrowDown", KEY_DOWN},
    {"ArrowUp", KEY_UP},
    {"NumLock", KEY_NUM_LOCK},
    {"ContextMenu", KEY_KB_MENU},
    {"ControlLeft", KEY_LEFT_CONTROL},
    {"ShiftLeft", KEY_LEFT_SHIFT},
    {"AltLeft", KEY_LEFT_ALT},
    {"MetaLeft", KEY_LEFT_SUPER},
    {"ControlRight", KEY_RIGHT_CONTROL},
    {"ShiftRight", KEY_RIGHT_SHIFT},
    {"AltRight", KEY_RIGHT_ALT},
    {"MetaRight", KEY_RIGHT_SUPER},
};

// The standard mapping's button order (w3.org/TR/gamepad, "standard gamepad").
constexpr int standard_buttons[standard_pad_buttons] = {
    GAMEPAD_BUTTON_RIGHT_FACE_DOWN, GAMEPAD_BUTTON_RIGHT_FACE_RIGHT, GAMEPAD_BUTTON_RIGHT_FACE_LEFT,
    GAMEPAD_BUTTON_RIGHT_FACE_UP,   GAMEPAD_BUTTON_LEFT_TRIGGER_1,   GAMEPAD_BUTTON_RIGHT_TRIGGER_1,
    GAMEPAD_BUTTON_LEFT_TRIGGER_2,  GAMEPAD_BUTTON_RIGHT_TRIGGER_2,  GAMEPAD_BUTTON_MIDDLE_LEFT,
    GAMEPAD_BUTTON_MIDDLE_RIGHT,    GAMEPAD_BUTTON_LEFT_THUMB,       GAMEPAD_BUTTON_RIGHT_THUMB,
    GAMEPAD_BUTTON_LEFT_FACE_UP,    GAMEPAD_BUTTON_LEFT_FACE_DOWN,   GAMEPAD_BUTTON_LEFT_FACE_LEFT,
    GAMEPAD_BUTTON_LEFT_FACE_RIGHT, GAMEPAD_BUTTON_MIDDLE,
};

// Every key the page can name, and every button, fits in the queue's reserve.
static_assert(26 + 9 + 12 + std::size(named_keys) + max_mouse_buttons <= PageEventQueue::downs_max);

void append(PageEventQueue &q, const PageEvent &e) {
    q.events[q.count++] = e;
    if (e.down || e.kind == PageEvent::text || e.kind == PageEvent::mouse_move) q.others++;
}

}  // namespace

void push_page_event(PageEventQueue &q, const PageEvent &e) {
    const bool key = e.kind == PageEvent::key;
    if (key && (e.code <= 0 || e.code >= max_keys)) return;
    if (e.kind == PageEvent::mouse_button && (e.code < 0 || e.code >= max_mouse_buttons)) return;
    if (e.kind == PageEvent::mouse_move) {
        q.x = e.x;
        q.y = e.y;
        // Only where the mouse ends up matters between two other events.
        if (q.count > 0 && q.events[q.count - 1].kind == PageEvent::mouse_move)
            q.events[q.count - 1] = e;
        else if (q.others < PageEventQueue::others_max)
            append(q, e);
        return;
    }
    if (e.kind == PageEvent::text) {
        if (q.others < PageEventQueue::others_max) append(q, e);
        return;
    }
    bool &down = key ? q.key_down[e.code] : q.button_down[e.code];
    if (e.down) {
        // A press past the limit is lost as a whole: nothing will wait for its release.
        if (q.others >= PageEventQueue::others_max) return;
        down = true;
        append(q, e);
    } else if (down && q.count < PageEventQueue::capacity) {
        // A release of what is not down would change nothing.
        down = false;
        append(q, e);
    }
    if (e.kind == PageEvent::mouse_button) {
        q.x = e.x;
        q.y = e.y;
    }
}

void release_page_input(PageEventQueue &q) {
    for (int k = 1; k < max_keys; k++)
        if (q.key_down[k]) push_page_event(q, PageEvent{PageEvent::key, false, false, k, 0.0f, 0.0f});
    for (int b = 0; b < max_mouse_buttons; b++)
        if (q.button_down[b]) push_page_event(q, PageEvent{PageEvent::mouse_button, false, false, b, q.x, q.y});
}

void drop_page_events(PageEventQueue &q, int used) {
    used = std::clamp(used, 0, q.count);
    for (int i = 0; i < used; i++) {
        const PageEvent &e = q.events[i];
        if (e.down || e.kind == PageEvent::text || e.kind == PageEvent::mouse_move) q.others--;
    }
    std::memmove(q.events, q.events + used, sizeof(PageEvent) * static_cast<std::size_t>(q.count - used));
    q.count -= used;
}

int key_from_dom_code(const char *code) {
    if (code == nullptr) return KEY_NULL;
    const std::size_t n = std::strlen(code);
    if (n == 4 && std::strncmp(code, "Key", 3) == 0 && code[3] >= 'A' && code[3] <= 'Z') return KEY_A + (code[3] - 'A');
    if (n == 6 && std::strncmp(code, "Digit", 5) == 0 && code[5] >= '1' && code[5] <= '9')
        return KEY_ONE + (code[5] - '1');
    if ((n == 2 || n == 3) && code[0] == 'F' && code[1] >= '1' && code[1] <= '9') {
        const int f = n == 2 ? code[1] - '0' : (code[1] - '0') * 10 + (code[2] - '0');
        if ((n == 2 || code[1] == '1') && f >= 1 && f <= 12) return KEY_F1 + (f - 1);
        return KEY_NULL;
    }
    for (const NamedKey &k : named_keys)
        if (std::strcmp(code, k.code) == 0) return k.key;
    return KEY_NULL;
}

void read_standard_pad(const StandardPad &raw, GamepadState &pad) {
    std::memset(pad.buttons, 0, sizeof(pad.buttons));
    for (int b = 0; b < standard_pad_buttons && b < raw.button_count; b++)
        if (raw.pressed[b]) pad.buttons[standard_buttons[b]] = true;
    // As for SDL's controllers: a small dead zone so a resting stick reads exactly 0,
    // and triggers from -1 (released) to 1 (fully pressed). A pad that reports fewer
    // axes, or junk, reads as centred.
    for (int a = 0; a < 4; a++) {
        const double v = a < raw.axis_count ? raw.axes[a] : 0.0;
        const float f = std::isfinite(v) ? static_cast<float>(std::fmax(-1.0, std::fmin(1.0, v))) : 0.0f;
        pad.axes[a] = std::fabs(f) < 0.1f ? 0.0f : f;
    }
    const int triggers[2] = {6, 7};
    const int trigger_axes[2] = {GAMEPAD_AXIS_LEFT_TRIGGER, GAMEPAD_AXIS_RIGHT_TRIGGER};
    for (int t = 0; t < 2; t++) {
        const int b = triggers[t];
        double v = b < raw.button_count ? raw.value[b] : 0.0;
        if (!std::isfinite(v)) v = 0.0;
        v = std::fmax(0.0, std::fmin(1.0, v));
        pad.axes[trigger_axes[t]] = static_cast<float>(v) * 2.0f - 1.0f;
        // A digital trigger reports pressed with no value; an analog one is down past half.
        pad.buttons[standard_buttons[b]] = b < raw.button_count && (v > 0.5 || (raw.pressed[b] && v == 0.0));
    }
}

}  // namespace engine
