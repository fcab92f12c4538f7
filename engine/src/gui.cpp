// Immediate-mode GUI: a style table of 16 controls × 24 properties, a current
// font, and four controls (label, button, check box, text box) drawn and hit-tested
// with the public raylib calls only.
#include "raygui.h"

#include "internal.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int max_controls = RAYGUI_MAX_CONTROLS;
constexpr int max_props = RAYGUI_MAX_PROPS_BASE + RAYGUI_MAX_PROPS_EXTENDED;

struct GuiContext {
    int style[max_controls][max_props] = {};
    bool style_loaded = false;
    bool has_font = false;  // otherwise raylib's built-in font
    Font font = {};
    int state = STATE_NORMAL;
};

GuiContext gui;

void ensure_style() {
    if (!gui.style_loaded) GuiLoadStyleDefault();
}

int prop(int control, int property) { return gui.style[control][property]; }

Color prop_color(int control, int property) { return GetColor(static_cast<unsigned int>(prop(control, property))); }

// Fonts die with the window; the next window starts from the built-in font.
void forget_font() {
    gui.has_font = false;
    gui.font = Font{};
}

void use_font(Font font) {
    gui.font = font;
    gui.has_font = true;
    engine::add_shutdown_hook(forget_font);
}

Font current_font() { return gui.has_font ? gui.font : GetFontDefault(); }

float text_size() {
    const int size = prop(DEFAULT, TEXT_SIZE);
    return static_cast<float>(size < 1 ? 1 : size);
}

float text_spacing() { return static_cast<float>(prop(DEFAULT, TEXT_SPACING)); }

float text_width(const char *text) {
    if (text == nullptr || text[0] == '\0') return 0.0f;
    return MeasureTextEx(current_font(), text, text_size(), text_spacing()).x;
}

// The control's state this frame, and whether the left button was released over
// `area` (a click completes on release wherever the press began).
int interact(Rectangle area, bool &released_over) {
    released_over = false;
    if (gui.state == STATE_DISABLED) return STATE_DISABLED;
    if (!CheckCollisionPointRec(GetMousePosition(), area)) return STATE_NORMAL;
    if (IsMouseButtonReleased(MOUSE_BUTTON_LEFT)) released_over = true;
    return IsMouseButtonDown(MOUSE_BUTTON_LEFT) ? STATE_PRESSED : STATE_FOCUSED;
}

// The three colour properties of a state: border, base, text.
int border_prop(int state) { return BORDER_COLOR_NORMAL + 3 * state; }
int base_prop(int state) { return BASE_COLOR_NORMAL + 3 * state; }
int text_prop(int state) { return TEXT_COLOR_NORMAL + 3 * state; }

// Draws text inside bounds with the control's horizontal alignment and padding
// and the global vertical alignment.
void draw_text(int control, const char *text, Rectangle bounds, Color color) {
    if (text == nullptr || text[0] == '\0') return;
    const float size = text_size();
    const float width = text_width(text);
    const float padding = static_cast<float>(prop(control, TEXT_PADDING));
    float x = bounds.x;
    switch (prop(control, TEXT_ALIGNMENT)) {
    case TEXT_ALIGN_LEFT:
        x = bounds.x + padding;
        break;
    case TEXT_ALIGN_RIGHT:
        x = bounds.x + bounds.width - width - padding;
        break;
    default:
        x = bounds.x + bounds.width / 2.0f - width / 2.0f;
        break;
    }
    float y = bounds.y;
    switch (prop(DEFAULT, TEXT_ALIGNMENT_VERTICAL)) {
    case TEXT_ALIGN_TOP:
        y = bounds.y;
        break;
    case TEXT_ALIGN_BOTTOM:
        y = bounds.y + bounds.height - size;
        break;
    default:
        y = bounds.y + bounds.height / 2.0f - size / 2.0f;
        break;
    }
    // Whole pixels keep bitmap glyphs crisp.
    DrawTextEx(current_font(), text, Vector2{std::floor(x), std::floor(y)}, size, text_spacing(), color);
}

// The area text may use: the bounds without the control's border.
Rectangle text_bounds(int control, Rectangle bounds) {
    const float border = static_cast<float>(prop(control, BORDER_WIDTH));
    return Rectangle{bounds.x + border, bounds.y + border, bounds.width - 2.0f * border, bounds.height - 2.0f * border};
}

void draw_border(Rectangle r, float width, Color color) {
    if (width <= 0.0f) return;
    const float w = std::fmin(width, std::fmin(r.width, r.height) / 2.0f);
    DrawRectangleRec(Rectangle{r.x, r.y, r.width, w}, color);
    DrawRectangleRec(Rectangle{r.x, r.y + r.height - w, r.width, w}, color);
    DrawRectangleRec(Rectangle{r.x, r.y + w, w, r.height - 2.0f * w}, color);
    DrawRectangleRec(Rectangle{r.x + r.width - w, r.y + w, w, r.height - 2.0f * w}, color);
}

void draw_box(Rectangle r, float border, Color border_color, Color base_color) {
    draw_border(r, border, border_color);
    const float w = std::fmax(0.0f, border);
    const Rectangle inner{r.x + w, r.y + w, r.width - 2.0f * w, r.height - 2.0f * w};
    if (inner.width > 0.0f && inner.height > 0.0f) DrawRectangleRec(inner, base_color);
}

std::string directory_of(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string join_path(const std::string &dir, const std::string &name) {
    if (name.empty() || name[0] == '/') return name;
    return dir + name;
}

// A style file is a few kilobytes; one far larger is not a style. The charset file
// may list many code points (a font holds at most 4096 of them).
constexpr std::size_t max_style_bytes = std::size_t{64} << 10;
constexpr std::size_t max_charset_bytes = std::size_t{1} << 20;

bool read_file(const std::string &path, std::string &out, std::size_t max_bytes, engine::FileRefusal &why) {
    int size = 0;
    unsigned char *data = engine::read_whole_file(path.c_str(), &size, max_bytes, &why);
    if (data == nullptr) return false;
    out.assign(reinterpret_cast<const char *>(data), static_cast<std::size_t>(size));
    engine::engine_free(data);
    return true;
}

// Code points of a UTF-8 text, skipping line breaks and malformed bytes.
std::vector<int> decode_utf8(const std::string &text) {
    std::vector<int> out;
    std::vector<bool> seen(0x110000);  // one flag per code point keeps the pass linear
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        int cp = -1;
        size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
        }
        if (len > 1) {
            if (i + len <= text.size()) {
                cp = c & (0xFF >> (len + 1));
                for (size_t k = 1; k < len; ++k) {
                    const auto cc = static_cast<unsigned char>(text[i + k]);
                    if ((cc & 0xC0) != 0x80) {
                        cp = -1;
                        break;
                    }
                    cp = (cp << 6) | (cc & 0x3F);
                }
            }
        }
        if (cp >= 32 && cp <= 0x10FFFF && !seen[static_cast<std::size_t>(cp)]) {
            seen[static_cast<std::size_t>(cp)] = true;
            out.push_back(cp);
        }
        i += cp < 0 ? 1 : len;
    }
    return out;
}

void load_style_font(const std::string &style_dir, int size, const char *charset_name, const char *font_name) {
    if (size <= 0) {
        TraceLog(LOG_WARNING, "GUI: Style font line with size %d ignored", size);
        return;
    }
    std::string charset_text;
    std::vector<int> codepoints;
    const std::string charset_path = join_path(style_dir, charset_name);
    engine::FileRefusal why = engine::FileRefusal::none;
    if (read_file(charset_path, charset_text, max_charset_bytes, why))
        codepoints = decode_utf8(charset_text);
    else if (why != engine::FileRefusal::missing)
        TraceLog(LOG_WARNING, "GUI: Style charset [%s] %s; printable ASCII used", charset_path.c_str(),
                 engine::refusal_text(why));
    const std::string font_path = join_path(style_dir, font_name);
    // Fonts loaded here stay alive until the window closes, which releases them.
    const Font font = LoadFontEx(font_path.c_str(), size, codepoints.empty() ? nullptr : codepoints.data(),
                                 static_cast<int>(codepoints.size()));
    if (font.texture.id == 0) {
        TraceLog(LOG_WARNING, "GUI: Style font [%s] could not be loaded", font_path.c_str());
        return;
    }
    use_font(font);
}

}  // namespace

void GuiSetState(int state) {
    if (state >= STATE_NORMAL && state <= STATE_DISABLED) gui.state = state;
}

int GuiGetState(void) { return gui.state; }

void GuiSetFont(Font font) {
    if (font.texture.id == 0) return;
    ensure_style();
    use_font(font);
}

Font GuiGetFont(void) { return current_font(); }

void GuiSetStyle(int control, int property, int value) {
    if (control < 0 || control >= max_controls || property < 0 || property >= max_props) return;
    ensure_style();
    gui.style[control][property] = value;
    // Base properties of DEFAULT apply to every control.
    if (control == DEFAULT && property < RAYGUI_MAX_PROPS_BASE) {
        for (int c = 1; c < max_controls; ++c) gui.style[c][property] = value;
    }
}

int GuiGetStyle(int control, int property) {
    if (control < 0 || control >= max_controls || property < 0 || property >= max_props) return 0;
    ensure_style();
    return gui.style[control][property];
}

void GuiLoadStyleDefault(void) {
    gui.style_loaded = true;
    std::memset(gui.style, 0, sizeof gui.style);

    GuiSetStyle(DEFAULT, BORDER_COLOR_NORMAL, static_cast<int>(0x838383ffu));
    GuiSetStyle(DEFAULT, BASE_COLOR_NORMAL, static_cast<int>(0xc9c9c9ffu));
    GuiSetStyle(DEFAULT, TEXT_COLOR_NORMAL, static_cast<int>(0x686868ffu));
    GuiSetStyle(DEFAULT, BORDER_COLOR_FOCUSED, static_cast<int>(0x5bb2d9ffu));
    GuiSetStyle(DEFAULT, BASE_COLOR_FOCUSED, static_cast<int>(0xc9effeffu));
    GuiSetStyle(DEFAULT, TEXT_COLOR_FOCUSED, static_cast<int>(0x6c9bbcffu));
    GuiSetStyle(DEFAULT, BORDER_COLOR_PRESSED, static_cast<int>(0x0492c7ffu));
    GuiSetStyle(DEFAULT, BASE_COLOR_PRESSED, static_cast<int>(0x97e8ffffu));
    GuiSetStyle(DEFAULT, TEXT_COLOR_PRESSED, static_cast<int>(0x368bafffu));
    GuiSetStyle(DEFAULT, BORDER_COLOR_DISABLED, static_cast<int>(0xb0b0b0ffu));
    GuiSetStyle(DEFAULT, BASE_COLOR_DISABLED, static_cast<int>(0xe2e2e2ffu));
    GuiSetStyle(DEFAULT, TEXT_COLOR_DISABLED, static_cast<int>(0xa6a6a6ffu));
    GuiSetStyle(DEFAULT, BORDER_WIDTH, 1);
    GuiSetStyle(DEFAULT, TEXT_PADDING, 0);
    GuiSetStyle(DEFAULT, TEXT_ALIGNMENT, TEXT_ALIGN_CENTER);

    GuiSetStyle(LABEL, TEXT_ALIGNMENT, TEXT_ALIGN_LEFT);
    GuiSetStyle(BUTTON, BORDER_WIDTH, 2);
    GuiSetStyle(CHECKBOX, TEXT_ALIGNMENT, TEXT_ALIGN_RIGHT);
    GuiSetStyle(CHECKBOX, TEXT_PADDING, 4);
    GuiSetStyle(CHECKBOX, CHECK_PADDING, 1);
    GuiSetStyle(TEXTBOX, TEXT_ALIGNMENT, TEXT_ALIGN_LEFT);
    GuiSetStyle(TEXTBOX, TEXT_PADDING, 4);

    GuiSetStyle(DEFAULT, TEXT_SIZE, 10);
    GuiSetStyle(DEFAULT, TEXT_SPACING, 1);
    GuiSetStyle(DEFAULT, LINE_COLOR, static_cast<int>(0x90abb5ffu));
    GuiSetStyle(DEFAULT, BACKGROUND_COLOR, static_cast<int>(0xf5f5f5ffu));
    GuiSetStyle(DEFAULT, TEXT_LINE_SPACING, 15);
    GuiSetStyle(DEFAULT, TEXT_ALIGNMENT_VERTICAL, TEXT_ALIGN_MIDDLE);

    gui.has_font = false;
    gui.font = Font{};
}

void GuiLoadStyle(const char *fileName) {
    if (fileName == nullptr) return;
    std::string text;
    engine::FileRefusal why = engine::FileRefusal::none;
    if (!read_file(fileName, text, max_style_bytes, why)) {
        if (why == engine::FileRefusal::missing)
            TraceLog(LOG_WARNING, "GUI: Style file [%s] not found, style unchanged", fileName);
        else if (why == engine::FileRefusal::too_large)
            TraceLog(LOG_WARNING, "GUI: Style file [%s] is larger than %zu bytes: malformed, style unchanged", fileName,
                     max_style_bytes);
        else
            TraceLog(LOG_WARNING, "GUI: Style file [%s] %s, style unchanged", fileName, engine::refusal_text(why));
        return;
    }
    if (text.compare(0, 4, "rGS ") == 0) {
        TraceLog(LOG_WARNING, "GUI: Style file [%s] is in the packed form; only text styles are read", fileName);
        return;
    }
    ensure_style();
    const std::string dir = directory_of(fileName);
    size_t pos = 0;
    int properties = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos) continue;
        const char kind = line[first];
        const char *rest = line.c_str() + first;
        if (kind == 'p') {
            int control = 0;
            int property = 0;
            unsigned int value = 0;
            if (std::sscanf(rest, "p %d %d 0x%x", &control, &property, &value) == 3) {
                GuiSetStyle(control, property, static_cast<int>(value));
                ++properties;
            }
        } else if (kind == 'f') {
            int size = 0;
            char charset[512] = {};
            char font[1024] = {};
            if (std::sscanf(rest, "f %d %511s %1023[^\r\n]", &size, charset, font) == 3) {
                load_style_font(dir, size, charset, font);
            }
        }
        // '#' comments and any other line kinds are skipped.
    }
    TraceLog(LOG_INFO, "GUI: Style file [%s] loaded (%d properties)", fileName, properties);
}

int GuiLabel(Rectangle bounds, const char *text) {
    ensure_style();
    const int state = gui.state == STATE_DISABLED ? STATE_DISABLED : STATE_NORMAL;
    draw_text(LABEL, text, text_bounds(LABEL, bounds), prop_color(LABEL, text_prop(state)));
    return 0;
}

int GuiButton(Rectangle bounds, const char *text) {
    ensure_style();
    bool released = false;
    const int state = interact(bounds, released);
    draw_box(bounds, static_cast<float>(prop(BUTTON, BORDER_WIDTH)), prop_color(BUTTON, border_prop(state)),
             prop_color(BUTTON, base_prop(state)));
    draw_text(BUTTON, text, text_bounds(BUTTON, bounds), prop_color(BUTTON, text_prop(state)));
    return released ? 1 : 0;
}

int GuiCheckBox(Rectangle bounds, const char *text, bool *checked) {
    ensure_style();
    // The text stands beside the box, TEXT_PADDING away, on the side the
    // alignment names; box, gap and text together take clicks.
    Rectangle label{};
    Rectangle area = bounds;
    const bool has_text = text != nullptr && text[0] != '\0';
    if (has_text) {
        const float width = text_width(text);
        const float size = text_size();
        const float padding = static_cast<float>(prop(CHECKBOX, TEXT_PADDING));
        label.width = width;
        label.height = size;
        label.y = bounds.y + bounds.height / 2.0f - size / 2.0f;
        if (prop(CHECKBOX, TEXT_ALIGNMENT) == TEXT_ALIGN_LEFT) {
            label.x = bounds.x - width - padding;
            area.x = label.x;
            area.width = bounds.x + bounds.width - label.x;
        } else {
            label.x = bounds.x + bounds.width + padding;
            area.width = label.x + width - bounds.x;
        }
        const float top = std::fmin(bounds.y, label.y);
        const float bottom = std::fmax(bounds.y + bounds.height, label.y + label.height);
        area.y = top;
        area.height = bottom - top;
    }

    bool released = false;
    const int state = interact(area, released);
    int result = 0;
    if (released) {
        if (checked != nullptr) *checked = !*checked;
        // raygui 4.0 flips the flag but reports 0; tests can ask for that.
        result = engine::test_state().checkbox_returns_zero ? 0 : 1;
    }

    const float border = static_cast<float>(prop(CHECKBOX, BORDER_WIDTH));
    draw_border(bounds, border, prop_color(CHECKBOX, border_prop(state)));
    if (checked != nullptr && *checked) {
        const float inset = border + static_cast<float>(prop(CHECKBOX, CHECK_PADDING));
        const Rectangle mark{bounds.x + inset, bounds.y + inset, bounds.width - 2.0f * inset,
                             bounds.height - 2.0f * inset};
        if (mark.width > 0.0f && mark.height > 0.0f) DrawRectangleRec(mark, prop_color(CHECKBOX, text_prop(state)));
    }
    if (has_text) {
        // The label rectangle fits the text exactly; draw it from its left edge.
        DrawTextEx(current_font(), text, Vector2{std::floor(label.x), std::floor(label.y)}, text_size(), text_spacing(),
                   prop_color(CHECKBOX, text_prop(state)));
    }
    return result;
}

int GuiTextBox(Rectangle bounds, char *text, int textSize, bool editMode) {
    ensure_style();
    int result = 0;
    int state = gui.state == STATE_DISABLED ? STATE_DISABLED : STATE_NORMAL;
    const bool over = CheckCollisionPointRec(GetMousePosition(), bounds);
    if (state != STATE_DISABLED) {
        if (editMode) {
            state = STATE_PRESSED;
            if (text != nullptr && textSize > 0) {
                std::size_t length = strnlen(text, static_cast<std::size_t>(textSize - 1));
                text[length] = '\0';
                // The fonts hold printable ASCII only; other characters are not taken.
                for (int c = GetCharPressed(); c != 0; c = GetCharPressed()) {
                    if (c < 32 || c > 126 || length + 1 >= static_cast<std::size_t>(textSize)) continue;
                    text[length++] = static_cast<char>(c);
                    text[length] = '\0';
                }
                if ((IsKeyPressed(KEY_BACKSPACE) || IsKeyPressedRepeat(KEY_BACKSPACE)) && length > 0) {
                    text[--length] = '\0';
                }
            }
            if (IsKeyPressed(KEY_ENTER) || (!over && IsMouseButtonPressed(MOUSE_BUTTON_LEFT))) result = 1;
        } else if (over) {
            state = STATE_FOCUSED;
            if (IsMouseButtonPressed(MOUSE_BUTTON_LEFT)) result = 1;
        }
    }

    draw_box(bounds, static_cast<float>(prop(TEXTBOX, BORDER_WIDTH)), prop_color(TEXTBOX, border_prop(state)),
             prop_color(TEXTBOX, base_prop(state)));
    const Rectangle inside = text_bounds(TEXTBOX, bounds);
    const float room = inside.width - 2.0f * static_cast<float>(prop(TEXTBOX, TEXT_PADDING));
    // A text too long for the box shows its end, where typing happens.
    const char *shown = text != nullptr ? text : "";
    while (*shown != '\0' && text_width(shown) > room) ++shown;
    const Color color = prop_color(TEXTBOX, text_prop(state));
    draw_text(TEXTBOX, shown, inside, color);
    if (editMode && state != STATE_DISABLED) {
        const float size = text_size();
        // Just after the text, wherever the alignment put it.
        const float padding = static_cast<float>(prop(TEXTBOX, TEXT_PADDING));
        const float width = text_width(shown);
        float x = inside.x + padding + width + 2.0f;
        if (prop(TEXTBOX, TEXT_ALIGNMENT) == TEXT_ALIGN_CENTER)
            x = inside.x + inside.width / 2.0f + width / 2.0f + 2.0f;
        if (prop(TEXTBOX, TEXT_ALIGNMENT) == TEXT_ALIGN_RIGHT) x = inside.x + inside.width - padding + 2.0f;
        const float y = inside.y + inside.height / 2.0f - size / 2.0f;
        DrawRectangleRec(Rectangle{std::floor(x), std::floor(y), 2.0f, size}, prop_color(TEXTBOX, border_prop(state)));
    }
    return result;
}
