// Single-colour textures for drawing tests (a window must be open).
#pragma once

#include "raylib.h"

namespace test_support {

// A width x height texture of one colour; free it with UnloadTexture.
inline Texture2D solid_texture(int width, int height, Color color) {
    Image image = GenImageColor(width, height, color);
    Texture2D texture = LoadTextureFromImage(image);
    UnloadImage(image);
    return texture;
}

}  // namespace test_support
