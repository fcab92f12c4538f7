#include "ui/text_fit.h"

#include <cstdio>
#include <cstring>

namespace {

bool fits(const char *text, Font font, float size, float spacing, float width) {
    return MeasureTextEx(font, text, size, spacing).x <= width;
}

}  // namespace

void fit_named_line(const char *name, const char *rest, Font font, float size, float spacing, float width, char *out,
                    std::size_t capacity) {
    if (capacity == 0) return;
    std::snprintf(out, capacity, "%s%s", name, rest);
    if (fits(out, font, size, spacing, width)) return;
    // The name gives way first: the address after it is what a player needs whole.
    for (int keep = static_cast<int>(std::strlen(name)) - 1; keep >= 1; --keep) {
        std::snprintf(out, capacity, "%.*s...%s", keep, name, rest);
        if (fits(out, font, size, spacing, width)) return;
    }
    char whole[256];
    std::snprintf(whole, sizeof whole, "%s%s", name, rest);
    for (int keep = static_cast<int>(std::strlen(whole)) - 1; keep >= 0; --keep) {
        std::snprintf(out, capacity, "%.*s...", keep, whole);
        if (keep == 0 || fits(out, font, size, spacing, width)) return;
    }
}
