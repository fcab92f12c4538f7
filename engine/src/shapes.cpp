// 2D shapes, textured quads, the FPS counter and colour helpers, all through the
// render batch.
#include "internal.h"
#include "raylib.h"
#include "rlgl.h"

#include <cmath>

// ------------------------------------------------------------------ colours

Color ColorAlpha(Color color, float alpha) {
    if (!(alpha >= 0.0f)) alpha = 0.0f;  // NaN counts as 0
    if (alpha > 1.0f) alpha = 1.0f;
    color.a = static_cast<unsigned char>(255.0f * alpha);
    return color;
}

Color Fade(Color color, float alpha) { return ColorAlpha(color, alpha); }

int ColorToInt(Color color) {
    unsigned int v = (static_cast<unsigned int>(color.r) << 24) | (static_cast<unsigned int>(color.g) << 16) |
                     (static_cast<unsigned int>(color.b) << 8) | static_cast<unsigned int>(color.a);
    return static_cast<int>(v);
}

Color GetColor(unsigned int hexValue) {
    Color c;
    c.r = static_cast<unsigned char>((hexValue >> 24) & 0xff);
    c.g = static_cast<unsigned char>((hexValue >> 16) & 0xff);
    c.b = static_cast<unsigned char>((hexValue >> 8) & 0xff);
    c.a = static_cast<unsigned char>(hexValue & 0xff);
    return c;
}

bool CheckCollisionPointRec(Vector2 point, Rectangle rec) {
    return point.x >= rec.x && point.x < rec.x + rec.width && point.y >= rec.y && point.y < rec.y + rec.height;
}

// ------------------------------------------------------------------ rectangles and lines

void DrawRectangleRec(Rectangle rec, Color color) {
    float x0 = rec.x, y0 = rec.y, x1 = rec.x + rec.width, y1 = rec.y + rec.height;
    rlSetTexture(0);
    rlBegin(RL_QUADS);
    rlNormal3f(0.0f, 0.0f, 1.0f);
    rlColor4ub(color.r, color.g, color.b, color.a);
    // Top left, bottom left, bottom right, top right: counter-clockwise on screen.
    rlTexCoord2f(0.0f, 0.0f);
    rlVertex2f(x0, y0);
    rlTexCoord2f(0.0f, 1.0f);
    rlVertex2f(x0, y1);
    rlTexCoord2f(1.0f, 1.0f);
    rlVertex2f(x1, y1);
    rlTexCoord2f(1.0f, 0.0f);
    rlVertex2f(x1, y0);
    rlEnd();
}

void DrawRectangle(int posX, int posY, int width, int height, Color color) {
    DrawRectangleRec(Rectangle{static_cast<float>(posX), static_cast<float>(posY), static_cast<float>(width),
                               static_cast<float>(height)},
                     color);
}

void DrawRectangleV(Vector2 position, Vector2 size, Color color) {
    DrawRectangleRec(Rectangle{position.x, position.y, size.x, size.y}, color);
}

void DrawRectangleLinesEx(Rectangle rec, float lineThick, Color color) {
    if (lineThick > rec.width / 2 || lineThick > rec.height / 2) lineThick = std::fmin(rec.width, rec.height) / 2;
    if (!(lineThick > 0.0f)) return;
    float t = lineThick;
    DrawRectangleRec(Rectangle{rec.x, rec.y, rec.width, t}, color);
    DrawRectangleRec(Rectangle{rec.x, rec.y + rec.height - t, rec.width, t}, color);
    DrawRectangleRec(Rectangle{rec.x, rec.y + t, t, rec.height - 2 * t}, color);
    DrawRectangleRec(Rectangle{rec.x + rec.width - t, rec.y + t, t, rec.height - 2 * t}, color);
}

void DrawRectangleLines(int posX, int posY, int width, int height, Color color) {
    DrawRectangleLinesEx(Rectangle{static_cast<float>(posX), static_cast<float>(posY), static_cast<float>(width),
                                   static_cast<float>(height)},
                         1.0f, color);
}

void DrawLine(int startPosX, int startPosY, int endPosX, int endPosY, Color color) {
    rlSetTexture(0);
    rlBegin(RL_LINES);
    rlColor4ub(color.r, color.g, color.b, color.a);
    // Pixel centres, so a line lands on the pixels it names.
    rlVertex2f(static_cast<float>(startPosX) + 0.5f, static_cast<float>(startPosY) + 0.5f);
    rlVertex2f(static_cast<float>(endPosX) + 0.5f, static_cast<float>(endPosY) + 0.5f);
    rlEnd();
}

// ------------------------------------------------------------------ textures

void DrawTexturePro(Texture2D texture, Rectangle source, Rectangle dest, Vector2 origin, float rotation, Color tint) {
    // A texture that failed to load or was released draws nothing.
    if (!engine::gl_is_live(engine::GlKind::texture, texture.id) || texture.width <= 0 || texture.height <= 0) return;
    float w = static_cast<float>(texture.width), h = static_cast<float>(texture.height);
    bool flip_x = false, flip_y = false;
    if (source.width < 0) {
        flip_x = true;
        source.width = -source.width;
    }
    if (source.height < 0) {
        flip_y = true;
        source.height = -source.height;
    }
    float u0 = source.x / w, u1 = (source.x + source.width) / w;
    float v0 = source.y / h, v1 = (source.y + source.height) / h;
    if (flip_x) {
        float t = u0;
        u0 = u1;
        u1 = t;
    }
    if (flip_y) {
        float t = v0;
        v0 = v1;
        v1 = t;
    }

    // Corners relative to the rotation point (dest.x, dest.y).
    float lx = -origin.x, rx = dest.width - origin.x, ty = -origin.y, by = dest.height - origin.y;
    Vector2 tl = {lx, ty}, tr = {rx, ty}, bl = {lx, by}, br = {rx, by};
    if (rotation != 0.0f) {
        float s = std::sin(rotation * DEG2RAD), c = std::cos(rotation * DEG2RAD);
        Vector2 *corners[4] = {&tl, &tr, &bl, &br};
        for (Vector2 *p : corners) {
            Vector2 q = {p->x * c - p->y * s, p->x * s + p->y * c};
            *p = q;
        }
    }
    rlSetTexture(texture.id);
    rlBegin(RL_QUADS);
    rlColor4ub(tint.r, tint.g, tint.b, tint.a);
    rlNormal3f(0.0f, 0.0f, 1.0f);
    rlTexCoord2f(u0, v0);
    rlVertex2f(dest.x + tl.x, dest.y + tl.y);
    rlTexCoord2f(u0, v1);
    rlVertex2f(dest.x + bl.x, dest.y + bl.y);
    rlTexCoord2f(u1, v1);
    rlVertex2f(dest.x + br.x, dest.y + br.y);
    rlTexCoord2f(u1, v0);
    rlVertex2f(dest.x + tr.x, dest.y + tr.y);
    rlEnd();
    rlSetTexture(0);
}

void DrawTexture(Texture2D texture, int posX, int posY, Color tint) {
    DrawTexturePro(texture, Rectangle{0, 0, static_cast<float>(texture.width), static_cast<float>(texture.height)},
                   Rectangle{static_cast<float>(posX), static_cast<float>(posY), static_cast<float>(texture.width),
                             static_cast<float>(texture.height)},
                   Vector2{0, 0}, 0.0f, tint);
}

void DrawTextureRec(Texture2D texture, Rectangle source, Vector2 position, Color tint) {
    Rectangle dest = {position.x, position.y, std::fabs(source.width), std::fabs(source.height)};
    DrawTexturePro(texture, source, dest, Vector2{0, 0}, 0.0f, tint);
}

// ------------------------------------------------------------------ FPS counter

void DrawFPS(int posX, int posY) {
    int fps = GetFPS();
    Color color = LIME;
    if (fps < 15)
        color = RED;
    else if (fps < 30)
        color = ORANGE;
    DrawText(TextFormat("%2i FPS", fps), posX, posY, 20, color);
}
