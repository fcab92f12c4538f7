// The menus' look: one handwritten TrueType font in two sizes and the raygui style file.
#pragma once

#include "raylib.h"

inline constexpr const char *gui_font_path = "assets/fonts/GloriaHallelujah-Regular.ttf";
inline constexpr const char *gui_style_path = "assets/ui_theme.rgs";
inline constexpr int title_font_size = 128;
inline constexpr int menu_font_size = 64;

extern Font title_font;  // screen titles only ("VORBEL", "PAUSED")
extern Font menu_font;   // raygui's font for every control

// Has both atlases rasterised ahead (before the window opens); load_fonts takes them.
void prefetch_fonts();
// Rasterises the GUI font at both sizes and makes the menu font raygui's current one.
void load_fonts();

// Fonts, then the style file, then the check box padding the program insists on.
// Needs the window (for the font atlases); runs once at start-up.
void load_gui_theme();
