#include "ui/theme.h"

#include "app/prefetch.h"
#include "raygui.h"

Font title_font{};
Font menu_font{};

void prefetch_fonts() {
    prefetch_font(gui_font_path, title_font_size);
    prefetch_font(gui_font_path, menu_font_size);
}

void load_fonts() {
    // No code point list: the default printable ASCII set is all the menus use.
    title_font = LoadFontEx(gui_font_path, title_font_size, nullptr, 0);
    menu_font = LoadFontEx(gui_font_path, menu_font_size, nullptr, 0);
    GuiSetFont(menu_font);
}

void load_gui_theme() {
    load_fonts();
    GuiLoadStyle(gui_style_path);
    // The labels are large; keep them clear of their boxes whatever the theme says.
    GuiSetStyle(CHECKBOX, TEXT_PADDING, 20);
}
