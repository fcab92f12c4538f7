// Test hooks: fixed frame time, injected input, frame read-back and log capture.
#include "testing.h"

#include "internal.h"
#include "rlgl.h"

#include <epoxy/gl.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct CapturedLine {
    int level;
    std::string text;
};

std::vector<CapturedLine> &captured() {
    static std::vector<CapturedLine> lines;
    return lines;
}

void capture_sink(int level, const char *line) { captured().push_back(CapturedLine{level, line}); }

std::vector<CapturedText> &captured_text() {
    static std::vector<CapturedText> calls;
    return calls;
}

void text_sink(const char *text, int x, int y, int size, Color color) {
    captured_text().push_back(CapturedText{text, x, y, size, color});
}

engine::GamepadState *pad(int gamepad) {
    if (gamepad < 0 || gamepad >= engine::max_gamepads) return nullptr;
    return &engine::input_state().pads[gamepad];
}

}  // namespace

void testing_set_fixed_frame_time(double seconds) { engine::test_state().fixed_frame_time = seconds; }

void testing_set_window_scale_dpi(float scale) { engine::test_state().dpi_scale = scale > 0.0f ? scale : 0.0f; }

void testing_checkbox_returns_zero(bool on) { engine::test_state().checkbox_returns_zero = on; }

void testing_skip_prefetch(bool skip) { engine::test_state().skip_prefetch = skip; }

void testing_key_down(int key) {
    if (key > 0 && key < engine::max_keys) engine::input_state().keys[key] = true;
}

void testing_key_up(int key) {
    if (key > 0 && key < engine::max_keys) engine::input_state().keys[key] = false;
}

void testing_type_text(const char *ascii) {
    engine::InputState &in = engine::input_state();
    for (const char *c = ascii; c != nullptr && *c != '\0' && in.char_queue_count < 16; ++c) {
        in.char_queue[in.char_queue_count++] = static_cast<unsigned char>(*c);
    }
}

void testing_mouse_move(float x, float y) {
    engine::input_state().mouse_x = x;
    engine::input_state().mouse_y = y;
}

void testing_mouse_button_down(int button) {
    if (button >= 0 && button < engine::max_mouse_buttons) engine::input_state().mouse[button] = true;
}

void testing_mouse_button_up(int button) {
    if (button >= 0 && button < engine::max_mouse_buttons) engine::input_state().mouse[button] = false;
}

void testing_release_all_input() {
    engine::InputState &in = engine::input_state();
    std::memset(in.keys, 0, sizeof(in.keys));
    std::memset(in.mouse, 0, sizeof(in.mouse));
    for (engine::GamepadState &p : in.pads)
        if (p.injected) std::memset(p.buttons, 0, sizeof(p.buttons));
}

void testing_gamepad_connect(int gamepad, const char *name) {
    engine::GamepadState *p = pad(gamepad);
    if (p == nullptr || (p->connected && !p->injected)) return;  // a real pad holds the slot
    *p = engine::GamepadState{};
    p->connected = true;
    p->injected = true;
    std::strncpy(p->name, name != nullptr ? name : "test pad", sizeof(p->name) - 1);
}

void testing_gamepad_disconnect(int gamepad) {
    engine::GamepadState *p = pad(gamepad);
    if (p != nullptr && p->injected) *p = engine::GamepadState{};
}

void testing_gamepad_button(int gamepad, int button, bool down) {
    engine::GamepadState *p = pad(gamepad);
    if (p != nullptr && p->injected && button > 0 && button < 32) p->buttons[button] = down;
}

void testing_gamepad_axis(int gamepad, int axis, float value) {
    engine::GamepadState *p = pad(gamepad);
    if (p != nullptr && p->injected && axis >= 0 && axis < 8) p->axes[axis] = value;
}

Image testing_read_frame(void) {
    Image image = {nullptr, 0, 0, 0, 0};
    if (!engine::gl_ready()) return image;
    int w = GetRenderWidth(), h = GetRenderHeight();
    unsigned char *pixels = engine::read_screen_array(w, h);
    if (pixels == nullptr) return image;
    return engine::rgba_image(pixels, w, h);
}

void testing_capture_text(bool on) { engine::test_state().text_sink = on ? text_sink : nullptr; }

std::vector<CapturedText> testing_captured_text(void) { return captured_text(); }

void testing_clear_text(void) { captured_text().clear(); }

std::vector<float> testing_read_depth(unsigned int framebuffer, int x, int y, int width, int height) {
    std::vector<float> out;
    if (!engine::gl_ready() || width < 1 || height < 1) return out;
    if (!engine::gl_is_live(engine::GlKind::framebuffer, framebuffer)) return out;
    rlDrawRenderBatchActive();
    while (glGetError() != GL_NO_ERROR) {
    }
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    out.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(x, y, width, height, GL_DEPTH_COMPONENT, GL_FLOAT, out.data());
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(bound));
    if (glGetError() != GL_NO_ERROR) out.clear();
    return out;
}

void testing_capture_log(bool on) { engine::test_state().log_sink = on ? capture_sink : nullptr; }

std::vector<std::string> testing_captured_log(void) {
    std::vector<std::string> out;
    for (const CapturedLine &l : captured()) out.push_back(l.text);
    return out;
}

void testing_clear_log(void) { captured().clear(); }

bool testing_log_contains(int level, const char *needle) {
    for (const CapturedLine &l : captured())
        if (l.level == level && (needle == nullptr || l.text.find(needle) != std::string::npos)) return true;
    return false;
}
