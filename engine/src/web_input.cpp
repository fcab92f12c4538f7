// The browser's input in the engine's terms: KeyboardEvent.code names (physical key
// positions, as SDL's scancodes are) to raylib key codes, and a pad of the Gamepad
// API's standard mapping to the same buttons and axes as an SDL game controller.
#include "internal.h"

#include <cmath>
#include <cstring>

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

}  // namespace

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
