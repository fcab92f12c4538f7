// Colours compared channel by channel, and printed for failure messages.
#pragma once

#include <string>

#include "raylib.h"

namespace test_support {

inline bool same(Color a, Color b) { return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a; }
// Alpha aside, as the player sees the screen.
inline bool same_rgb(Color a, Color b) { return a.r == b.r && a.g == b.g && a.b == b.b; }
inline bool same_rgb(Color a, unsigned int rgba) { return same_rgb(a, GetColor(rgba)); }
// "r,g,b" and "(r, g, b, a)".
inline std::string rgb(Color c) { return std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b); }
inline std::string describe(Color c) { return "(" + rgb(c) + "," + std::to_string(c.a) + ")"; }

}  // namespace test_support
