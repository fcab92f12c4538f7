// Lines shortened to fit the width they are drawn in.
#pragma once

#include <cstddef>

#include "raylib.h"

// Writes into `out` the text "<name><rest>" as it fits in `width` pixels in `font` at
// `size` and `spacing`: whole if it fits, else with the name cut short and "..." after
// it, else (a rest too long for any name) cut short at its end with "...".
void fit_named_line(const char *name, const char *rest, Font font, float size, float spacing, float width, char *out,
                    std::size_t capacity);
