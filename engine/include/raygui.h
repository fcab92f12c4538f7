// The subset of the raygui 4.x immediate-mode GUI that vorbel uses, implemented by
// engine/src/gui.cpp on top of raylib.h. Names, parameters and enum values follow
// raygui 4.x so the game also builds against the real single-header library.
// RAYGUI_IMPLEMENTATION may be defined before including this file (the real
// library needs it in one translation unit); here it changes nothing.
#ifndef RAYGUI_H
#define RAYGUI_H

#include "raylib.h"

#define RAYGUI_VERSION_MAJOR 4
#define RAYGUI_VERSION_MINOR 0
#define RAYGUI_VERSION_PATCH 0
#define RAYGUI_VERSION "4.0"

#ifndef RAYGUIAPI
#define RAYGUIAPI
#endif

#define RAYGUI_MAX_CONTROLS 16
#define RAYGUI_MAX_PROPS_BASE 16
#define RAYGUI_MAX_PROPS_EXTENDED 8

typedef enum { STATE_NORMAL = 0, STATE_FOCUSED, STATE_PRESSED, STATE_DISABLED } GuiState;

typedef enum { TEXT_ALIGN_LEFT = 0, TEXT_ALIGN_CENTER, TEXT_ALIGN_RIGHT } GuiTextAlignment;

typedef enum { TEXT_ALIGN_TOP = 0, TEXT_ALIGN_MIDDLE, TEXT_ALIGN_BOTTOM } GuiTextAlignmentVertical;

typedef enum {
    DEFAULT = 0,
    LABEL,
    BUTTON,
    TOGGLE,
    SLIDER,
    PROGRESSBAR,
    CHECKBOX,
    COMBOBOX,
    DROPDOWNBOX,
    TEXTBOX,
    VALUEBOX,
    SPINNER,
    LISTVIEW,
    COLORPICKER,
    SCROLLBAR,
    STATUSBAR
} GuiControl;

typedef enum {
    BORDER_COLOR_NORMAL = 0,
    BASE_COLOR_NORMAL,
    TEXT_COLOR_NORMAL,
    BORDER_COLOR_FOCUSED,
    BASE_COLOR_FOCUSED,
    TEXT_COLOR_FOCUSED,
    BORDER_COLOR_PRESSED,
    BASE_COLOR_PRESSED,
    TEXT_COLOR_PRESSED,
    BORDER_COLOR_DISABLED,
    BASE_COLOR_DISABLED,
    TEXT_COLOR_DISABLED,
    BORDER_WIDTH,
    TEXT_PADDING,
    TEXT_ALIGNMENT
} GuiControlProperty;

// Properties of DEFAULT only, shared by every control.
typedef enum {
    TEXT_SIZE = 16,
    TEXT_SPACING,
    LINE_COLOR,
    BACKGROUND_COLOR,
    TEXT_LINE_SPACING,
    TEXT_ALIGNMENT_VERTICAL,
    TEXT_WRAP_MODE
} GuiDefaultProperty;

typedef enum { CHECK_PADDING = 16 } GuiCheckBoxProperty;

#if defined(__cplusplus)
extern "C" {
#endif

RAYGUIAPI void GuiSetState(int state);
RAYGUIAPI int GuiGetState(void);

RAYGUIAPI void GuiSetFont(Font font);
RAYGUIAPI Font GuiGetFont(void);

RAYGUIAPI void GuiSetStyle(int control, int property, int value);
RAYGUIAPI int GuiGetStyle(int control, int property);
RAYGUIAPI void GuiLoadStyle(const char *fileName);
RAYGUIAPI void GuiLoadStyleDefault(void);

RAYGUIAPI int GuiLabel(Rectangle bounds, const char *text);
RAYGUIAPI int GuiButton(Rectangle bounds, const char *text);
RAYGUIAPI int GuiCheckBox(Rectangle bounds, const char *text, bool *checked);
RAYGUIAPI int GuiTextBox(Rectangle bounds, char *text, int textSize, bool editMode);

#if defined(__cplusplus)
}
#endif

#endif  // RAYGUI_H
