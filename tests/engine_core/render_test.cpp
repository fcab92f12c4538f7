// Drawing, read back from the frame under the headless (offscreen) video driver.
#include <gtest/gtest.h>

#include <epoxy/gl.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>
#include <unistd.h>

#include "testing.h"
#include "raylib.h"
#include "rlgl.h"
#include "support/colours.h"
#include "support/files.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "support/solid_texture.h"
#include "support/test_window.h"

namespace {

constexpr int width = 200;
constexpr int height = 150;

using test_support::describe;
using test_support::same;
using test_support::same_rgb;

using test_support::warnings_naming;

class Render : public ::testing::Test {
protected:
    void SetUp() override {
        SetConfigFlags(FLAG_MSAA_4X_HINT);
        test_support::open_test_window(width, height, "engine render test");
        ASSERT_TRUE(IsWindowReady());
    }

    void TearDown() override {
        // Whatever a test did, valid or not, left no GL error behind.
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        test_support::close_test_window();
        if (!dir_.empty()) test_support::remove_scratch_dir(dir_);
    }

    // Reads the current frame, hands every pixel to check(x, y, colour), frees it.
    template <typename F>
    void each_pixel(F check) {
        Image img = testing_read_frame();
        ASSERT_EQ(img.width, width);
        ASSERT_EQ(img.height, height);
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++) check(x, y, GetImageColor(img, x, y));
        UnloadImage(img);
    }

    Color pixel(int x, int y) {
        Image img = testing_read_frame();
        Color c = GetImageColor(img, x, y);
        UnloadImage(img);
        return c;
    }

    // The path of `name` in the test's scratch directory (made on first use, removed
    // after the test), written with `bytes` unless they are empty.
    std::string scratch_file(const std::string &name, const std::string &bytes = "") {
        if (dir_.empty()) dir_ = test_support::make_scratch_dir("engine_core_");
        EXPECT_FALSE(dir_.empty()) << "no scratch directory";
        const std::string path = dir_ + "/" + name;
        if (!bytes.empty()) test_support::write_file(path, bytes);
        return path;
    }

    std::string dir_;
    test_support::LogCapture log_;  // from before the window opens to after it closes
};

TEST_F(Render, ClearedFrameHasTheClearColourEverywhere) {
    BeginDrawing();
    ClearBackground(Color{36, 152, 201, 255});
    int wrong = 0;
    each_pixel([&](int, int, Color c) { wrong += same(c, Color{36, 152, 201, 255}) ? 0 : 1; });
    EXPECT_EQ(wrong, 0);
    EndDrawing();

    // The game clears with alpha 0: colour channels are still exact.
    BeginDrawing();
    ClearBackground(Color{36, 152, 201, 0});
    wrong = 0;
    each_pixel([&](int, int, Color c) { wrong += same_rgb(c, Color{36, 152, 201, 0}) ? 0 : 1; });
    EXPECT_EQ(wrong, 0);
    EndDrawing();
}

TEST_F(Render, RectangleColoursExactlyItsBox) {
    BeginDrawing();
    ClearBackground(BLACK);
    DrawRectangle(10, 20, 30, 40, RED);
    int wrong = 0;
    each_pixel([&](int x, int y, Color c) {
        bool inside = x >= 10 && x < 40 && y >= 20 && y < 60;
        if (!same(c, inside ? RED : BLACK)) {
            if (wrong++ < 5) ADD_FAILURE() << "pixel " << x << "," << y << " is " << describe(c);
        }
    });
    EXPECT_EQ(wrong, 0);
    EndDrawing();
}

TEST_F(Render, RectangleOutlineLeavesTheInsideAlone) {
    BeginDrawing();
    ClearBackground(BLACK);
    DrawRectangleLinesEx(Rectangle{50, 50, 40, 30}, 3, GREEN);
    EXPECT_TRUE(same(pixel(51, 51), GREEN));
    EXPECT_TRUE(same(pixel(88, 78), GREEN));
    EXPECT_TRUE(same(pixel(70, 52), GREEN));
    EXPECT_TRUE(same(pixel(53, 53), BLACK));  // first pixel inside the border
    EXPECT_TRUE(same(pixel(70, 65), BLACK));
    EXPECT_TRUE(same(pixel(90, 65), BLACK));  // just outside
    EndDrawing();
}

TEST_F(Render, TextStaysInsideItsMeasuredBox) {
    const char *text = "Lives: 3 gjpqy {}|";
    const int x = 7, y = 11, size = 20;
    int w = MeasureText(text, size);
    ASSERT_GT(w, 0);
    BeginDrawing();
    ClearBackground(BLACK);
    DrawText(text, x, y, size, YELLOW);
    int inside = 0, outside = 0, other = 0;
    each_pixel([&](int px, int py, Color c) {
        if (same(c, BLACK)) return;
        if (!same(c, YELLOW)) other++;
        if (px >= x && px < x + w && py >= y && py < y + size)
            inside++;
        else
            outside++;
    });
    EXPECT_GT(inside, 100);
    EXPECT_EQ(outside, 0);
    EXPECT_EQ(other, 0);  // size 20 is an exact 2x scale: no blended edges
    EndDrawing();

    // Sizes scale the measure; the built-in font never goes below 10 px.
    EXPECT_EQ(MeasureText("ABC", 5), MeasureText("ABC", 10));
    EXPECT_EQ(MeasureText("ABC", 20), 2 * MeasureText("ABC", 10));
    EXPECT_EQ(MeasureText("", 20), 0);
}

TEST_F(Render, TextQueuedBeforeBeginDrawingAppearsAfterTheClear) {
    // The game draws some text from its update step, before BeginDrawing. It waits
    // past the clear to the first flush, and says so: a kept layer would cover it.
    BeginDrawing();
    ClearBackground(BLACK);
    EndDrawing();
    EXPECT_FALSE(rlScreenDrawingQueued());
    DrawRectangle(0, 0, 10, 10, WHITE);
    BeginDrawing();
    ClearBackground(BLUE);
    EXPECT_TRUE(rlScreenDrawingQueued());
    EXPECT_TRUE(same(pixel(5, 5), WHITE));
    EXPECT_TRUE(same(pixel(15, 5), BLUE));
    EndDrawing();
}

TEST_F(Render, PushedTransformsMoveQueuedVerticesOnly) {
    BeginDrawing();
    ClearBackground(BLACK);
    rlPushMatrix();
    rlTranslatef(50, 30, 0);
    rlScalef(2, 2, 1);
    DrawRectangle(0, 0, 10, 10, RED);  // lands on 50..70 x 30..50
    rlPopMatrix();
    DrawRectangle(0, 0, 10, 10, GREEN);  // same batch, no transform
    EXPECT_TRUE(same(pixel(69, 49), RED));
    EXPECT_TRUE(same(pixel(71, 49), BLACK));
    EXPECT_TRUE(same(pixel(5, 5), GREEN));
    EXPECT_TRUE(same(pixel(45, 25), BLACK));
    EndDrawing();
}

TEST_F(Render, Mode3DDrawsWithTheCameraAndEndMode3DRestores2D) {
    const Camera3D cam = test_support::camera_looking_at_origin(Vector3{0, 0, 5});
    BeginDrawing();
    ClearBackground(BLACK);
    BeginMode3D(cam);
    // A near blue quad in front of a far red one, drawn after it: the depth test
    // keeps the blue one in front only where they overlap.
    rlBegin(RL_QUADS);
    rlColor4ub(0, 0, 255, 255);
    rlVertex3f(-0.5f, 0.5f, 1);
    rlVertex3f(-0.5f, -0.5f, 1);
    rlVertex3f(0.5f, -0.5f, 1);
    rlVertex3f(0.5f, 0.5f, 1);
    rlColor4ub(255, 0, 0, 255);
    rlVertex3f(-1, 1, 0);
    rlVertex3f(-1, -1, 0);
    rlVertex3f(1, -1, 0);
    rlVertex3f(1, 1, 0);
    rlEnd();
    // A model-view push inside 3D (as a model draw makes) leaves nothing behind.
    rlPushMatrix();
    rlTranslatef(100, 0, 0);
    EXPECT_FLOAT_EQ(rlGetMatrixTransform().m12, 100.0f);
    rlMatrixMode(RL_PROJECTION);
    rlMatrixMode(RL_MODELVIEW);
    EXPECT_FLOAT_EQ(rlGetMatrixTransform().m12, 100.0f);
    rlPopMatrix();
    EXPECT_FLOAT_EQ(rlGetMatrixTransform().m12, 0.0f);
    EXPECT_FLOAT_EQ(rlGetMatrixModelview().m14, -5.0f);  // the camera's view is untouched
    EndMode3D();
    DrawRectangle(0, 0, 10, 10, GREEN);
    EXPECT_TRUE(same(pixel(width / 2, height / 2), (Color{0, 0, 255, 255}))) << describe(pixel(width / 2, height / 2));
    // 36 pixels per unit at distance 5 (45° over 150 pixels): the blue quad ends
    // about 23 pixels off-centre, the red one 36 pixels off-centre.
    EXPECT_TRUE(same(pixel(width / 2 + 30, height / 2), (Color{255, 0, 0, 255})));
    EXPECT_TRUE(same(pixel(width / 2 + 40, height / 2), BLACK));
    EXPECT_TRUE(same(pixel(5, 5), GREEN));  // 2D again, in pixels
    EXPECT_TRUE(same(pixel(15, 5), BLACK));
    EndDrawing();
}

// Slanted edges and a rotated quad: antialiased borders that show where each sample
// lies, and a 2D and a 3D part, with a viewport and scissor rectangle not at the origin.
void draw_edges(const Camera3D &cam) {
    ClearBackground(Color{20, 30, 40, 255});
    DrawTexturePro(test_support::solid_texture(4, 4, Color{250, 200, 0, 255}), Rectangle{0, 0, 4, 4},
                   Rectangle{60.3f, 40.7f, 70.2f, 33.9f}, Vector2{35, 17}, 23.5f, Color{255, 255, 255, 255});
    BeginMode3D(cam);
    rlBegin(RL_TRIANGLES);
    rlColor4ub(0, 90, 255, 255);
    rlVertex3f(-1.7f, -0.9f, 0.3f);
    rlVertex3f(1.3f, -1.2f, -0.4f);
    rlVertex3f(0.2f, 1.4f, 0.1f);
    rlEnd();
    EndMode3D();
    rlViewport(17, 9, 90, 70);  // from the bottom left, as GL counts
    rlEnableScissorTest();
    rlScissor(30, 20, 50, 40);
    DrawTexturePro(test_support::solid_texture(4, 4, Color{255, 0, 120, 180}), Rectangle{0, 0, 4, 4},
                   Rectangle{-20, -10, 300, 200}, Vector2{0, 0}, 11.0f, Color{255, 255, 255, 255});
    rlDisableScissorTest();
    rlViewport(0, 0, width, height);
}

// The screen's samples resolved by GL's own blit, rows top-down as testing_read_frame
// gives them: the reference for the engine's resolve.
std::vector<unsigned char> blit_resolved_screen(int w, int h) {
    rlDrawRenderBatchActive();
    GLint screen_fbo = 0, origin = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &screen_fbo);
    glGetIntegerv(GL_CLIP_ORIGIN, &origin);
    GLuint rb = 0, fbo = 0;
    glGenRenderbuffers(1, &rb);
    glBindRenderbuffer(GL_RENDERBUFFER, rb);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo);
    glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, rb);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(screen_fbo));
    glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    std::vector<unsigned char> rows(static_cast<size_t>(w) * h * 4);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(screen_fbo));
    glDeleteFramebuffers(1, &fbo);
    glDeleteRenderbuffers(1, &rb);
    if (origin == GL_UPPER_LEFT) return rows;
    std::vector<unsigned char> top_down(rows.size());
    const size_t row = static_cast<size_t>(w) * 4;
    for (int y = 0; y < h; ++y) std::memcpy(&top_down[y * row], &rows[(h - 1 - y) * row], row);
    return top_down;
}

// The screen's samples reach the read-back (and the window, resolved the same way)
// averaged exactly as GL's own resolving blit does, and a layer copies them unchanged.
TEST_F(Render, ResolveAndScreenLayerKeepTheScreensSamplesExactly) {
    const Camera3D cam = test_support::camera_looking_at_origin(Vector3{0, 0, 5});
    BeginDrawing();
    draw_edges(cam);
    Image straight = testing_read_frame();
    const std::vector<unsigned char> blit = blit_resolved_screen(width, height);
    EndDrawing();

    const unsigned int layer = rlLoadScreenLayer(width, height);
    ASSERT_NE(layer, 0u);
    BeginDrawing();
    ClearBackground(BLACK);
    rlEnableFramebuffer(layer);
    draw_edges(cam);
    rlDisableFramebuffer();
    DrawRectangle(0, 0, width, height, WHITE);  // the screen's own drawing goes under the copy
    rlCopyScreenLayer(layer);
    Image copied = testing_read_frame();
    EndDrawing();

    ASSERT_EQ(straight.width, copied.width);
    int differ = 0, differ_from_blit = 0, edge = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Color a = GetImageColor(straight, x, y), b = GetImageColor(copied, x, y);
            differ += same_rgb(a, b) ? 0 : 1;
            const unsigned char *ref = &blit[(static_cast<size_t>(y) * width + x) * 4];
            differ_from_blit += same_rgb(a, Color{ref[0], ref[1], ref[2], 255}) ? 0 : 1;
            // Blended border pixels: neither the background nor a shape's colour.
            edge += (a.r != 20 && a.r != 250 && a.r != 0 && a.r != 255) ? 1 : 0;
        }
    }
    EXPECT_EQ(differ, 0);
    EXPECT_EQ(differ_from_blit, 0);
    EXPECT_GT(edge, 20);  // the comparison did look at antialiased borders
    UnloadImage(straight);
    UnloadImage(copied);

    // A layer of another size is not copied; released, it is no layer at all.
    const unsigned int small = rlLoadScreenLayer(width / 2, height / 2);
    BeginDrawing();
    ClearBackground(BLACK);
    rlCopyScreenLayer(small);
    EXPECT_EQ(warnings_naming("not the screen's size"), 1);
    EndDrawing();
    rlUnloadFramebuffer(small);
    rlUnloadFramebuffer(layer);
    rlCopyScreenLayer(layer);
    rlUnloadFramebuffer(layer);
}

// A clear of the whole screen is held until the screen is needed; whatever follows
// must find the frame as if it had been cleared at once.
TEST_F(Render, HeldClearLooksLikeAClearDoneAtOnce) {
    const Camera3D cam = test_support::camera_looking_at_origin(Vector3{0, 0, 5});
    const unsigned int layer = rlLoadScreenLayer(width, height);
    ASSERT_NE(layer, 0u);
    BeginDrawing();
    rlEnableFramebuffer(layer);
    ClearBackground(GREEN);
    rlDisableFramebuffer();
    EndDrawing();
    // A square two units wide at depth z, seen from 5 units away (36 pixels a unit).
    auto square = [&](float z, float half, Color c) {
        BeginMode3D(cam);
        rlBegin(RL_QUADS);
        rlColor4ub(c.r, c.g, c.b, c.a);
        rlVertex3f(-half, half, z);
        rlVertex3f(-half, -half, z);
        rlVertex3f(half, -half, z);
        rlVertex3f(half, half, z);
        rlEnd();
        EndMode3D();
    };
    auto near_square_then_red = [&] {
        ClearBackground(BLACK);
        square(1.0f, 0.5f, BLUE);
        ClearBackground(RED);
    };
    struct Row {
        const char *what;
        std::function<void()> draw;
        Color centre, ring, corner;  // (100, 75); 30 pixels right of it; (5, 5)
    };
    const Row rows[] = {
        {"read at once", [] { ClearBackground(RED); }, RED, RED, RED},
        {"the clear colour changes before a draw",
         [] {
             ClearBackground(RED);
             rlClearColor(0, 0, 255, 255);
             DrawRectangle(0, 0, 10, 10, WHITE);
         },
         RED, RED, WHITE},
        {"a layer copy covers it",
         [&] {
             ClearBackground(RED);
             rlCopyScreenLayer(layer);
         },
         GREEN, GREEN, GREEN},
        {"a 3D draw finds the depth cleared",
         [&] {
             near_square_then_red();
             square(0.0f, 1.0f, WHITE);
         },
         WHITE, WHITE, RED},
        {"so it does after a layer copy",
         [&] {
             near_square_then_red();
             rlCopyScreenLayer(layer);
             square(0.0f, 1.0f, WHITE);
         },
         WHITE, WHITE, GREEN},
        {"without depth writes the depth stays",
         [&] {
             ClearBackground(BLACK);
             square(1.0f, 0.5f, BLUE);
             rlDisableDepthMask();
             ClearBackground(RED);
             rlEnableDepthMask();
             square(0.0f, 1.0f, WHITE);
         },
         RED, WHITE, RED},
        {"a scissored clear goes over it",
         [] {
             ClearBackground(RED);
             rlEnableScissorTest();
             rlScissor(0, 0, width, height / 2 + 10);
             ClearBackground(BLUE);
             rlDisableScissorTest();
         },
         BLUE, BLUE, RED},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        BeginDrawing();
        row.draw();
        EXPECT_TRUE(same_rgb(pixel(100, 75), row.centre)) << describe(pixel(100, 75));
        EXPECT_TRUE(same_rgb(pixel(130, 75), row.ring)) << describe(pixel(130, 75));
        EXPECT_TRUE(same_rgb(pixel(5, 5), row.corner)) << describe(pixel(5, 5));
        EndDrawing();
    }
    rlUnloadFramebuffer(layer);
}

TEST_F(Render, ScissorAndViewportCountFromTheBottomLeft) {
    BeginDrawing();
    ClearBackground(BLACK);
    rlEnableScissorTest();
    rlScissor(10, 20, 30, 40);  // x 10..39, rows 20..59 from the bottom
    ClearBackground(RED);
    DrawRectangle(0, 100, width, 50, GREEN);  // queued before the rectangle moves
    rlScissor(100, 0, 10, height);
    rlDisableScissorTest();
    rlViewport(150, 0, 50, 30);  // the whole 2D area squeezed into the bottom right corner
    DrawRectangle(0, 0, width, height, BLUE);
    rlViewport(0, 0, width, height);
    int wrong = 0;
    each_pixel([&](int x, int y, Color c) {
        const int row = height - 1 - y;
        // With multisampling the software rasterizer lets a drawn shape's samples
        // reach one pixel past a scissor edge (clears stop exactly at it).
        const bool border = y >= 99 && ((x >= 9 && x <= 10) || (x >= 39 && x <= 40) || row == 59 || row == 60);
        Color want = BLACK;
        if (x >= 10 && x < 40 && row >= 20 && row < 60) want = y >= 100 ? GREEN : RED;
        if (x >= 150 && row < 30) want = BLUE;
        if (!border && !same(c, want) && wrong++ < 5)
            ADD_FAILURE() << "pixel " << x << "," << y << " is " << describe(c);
    });
    EXPECT_EQ(wrong, 0);
    EndDrawing();
}

TEST_F(Render, ASecondWindowKeepsNothingOfTheFirstsScissor) {
    BeginDrawing();
    rlScissor(100, 20, 10, 10);
    EndDrawing();
    test_support::close_test_window();
    test_support::open_test_window(width, height, "engine render test");
    BeginDrawing();
    rlEnableScissorTest();  // no rectangle set in this window: the whole of it
    ClearBackground(RED);
    rlDisableScissorTest();
    int wrong = 0;
    each_pixel([&](int x, int y, Color c) {
        if (!same(c, RED) && wrong++ < 5) ADD_FAILURE() << "pixel " << x << "," << y << " is " << describe(c);
    });
    EXPECT_EQ(wrong, 0);
    EndDrawing();
}

TEST_F(Render, TexturedQuadThroughRlglSamplesTheTexture) {
    // 2×2 texture: red, green / blue, white (top row first).
    Image img = GenImageColor(2, 2, BLACK);
    Color *px = static_cast<Color *>(img.data);
    px[0] = Color{255, 0, 0, 255};
    px[1] = Color{0, 255, 0, 255};
    px[2] = Color{0, 0, 255, 255};
    px[3] = Color{255, 255, 255, 255};
    Texture2D tex = LoadTextureFromImage(img);
    UnloadImage(img);
    ASSERT_NE(tex.id, 0u);

    BeginDrawing();
    ClearBackground(BLACK);
    rlSetTexture(tex.id);
    rlBegin(RL_QUADS);
    rlColor4ub(255, 255, 255, 255);
    rlTexCoord2f(0, 0);
    rlVertex2f(20, 20);
    rlTexCoord2f(0, 1);
    rlVertex2f(20, 120);
    rlTexCoord2f(1, 1);
    rlVertex2f(120, 120);
    rlTexCoord2f(1, 0);
    rlVertex2f(120, 20);
    rlEnd();
    rlSetTexture(0);
    EXPECT_TRUE(same(pixel(45, 45), (Color{255, 0, 0, 255}))) << describe(pixel(45, 45));
    EXPECT_TRUE(same(pixel(95, 45), (Color{0, 255, 0, 255})));
    EXPECT_TRUE(same(pixel(45, 95), (Color{0, 0, 255, 255})));
    EXPECT_TRUE(same(pixel(95, 95), (Color{255, 255, 255, 255})));
    EXPECT_TRUE(same(pixel(130, 95), BLACK));
    EndDrawing();
    UnloadTexture(tex);
}

TEST_F(Render, DepthOnlyFramebufferCanBeDrawnIntoAndSampled) {
    const int size = 64;
    unsigned int fbo = rlLoadFramebuffer(size, size);
    ASSERT_NE(fbo, 0u);
    rlEnableFramebuffer(fbo);
    unsigned int depth = rlLoadTextureDepth(size, size, false);
    ASSERT_NE(depth, 0u);
    rlTextureParameters(depth, RL_TEXTURE_WRAP_S, RL_TEXTURE_WRAP_CLAMP);
    rlTextureParameters(depth, RL_TEXTURE_WRAP_T, RL_TEXTURE_WRAP_CLAMP);
    rlFramebufferAttach(fbo, depth, RL_ATTACHMENT_DEPTH, RL_ATTACHMENT_TEXTURE2D, 0);
    EXPECT_TRUE(rlFramebufferComplete(fbo));
    rlDisableFramebuffer();

    BeginDrawing();
    ClearBackground(BLACK);
    // Shadow-pass style: clear depth to 1, then draw a quad at depth 0.5 over the left half.
    rlDrawRenderBatchActive();
    rlEnableFramebuffer(fbo);
    rlClearScreenBuffers();
    rlViewport(0, 0, size, size);
    rlMatrixMode(RL_PROJECTION);
    rlLoadIdentity();
    rlOrtho(-1, 1, -1, 1, 0, 10);
    rlMatrixMode(RL_MODELVIEW);
    rlLoadIdentity();
    rlDisableColorBlend();
    rlEnableDepthTest();
    rlBegin(RL_QUADS);
    rlColor4ub(255, 255, 255, 255);
    rlVertex3f(-1, 1, -5);
    rlVertex3f(-1, -1, -5);
    rlVertex3f(0, -1, -5);
    rlVertex3f(0, 1, -5);
    rlEnd();
    rlDrawRenderBatchActive();
    rlDisableDepthTest();
    rlEnableColorBlend();
    rlDisableFramebuffer();
    rlViewport(0, 0, GetRenderWidth(), GetRenderHeight());
    rlMatrixMode(RL_PROJECTION);
    rlLoadIdentity();
    rlOrtho(0, GetScreenWidth(), GetScreenHeight(), 0, 0, 1);
    rlMatrixMode(RL_MODELVIEW);
    rlLoadIdentity();

    // Sampling the depth texture gives the depth in the red channel.
    Texture2D tex = {depth, size, size, 1, 19};
    DrawTexturePro(tex, Rectangle{0, 0, size, size}, Rectangle{0, 0, size, size}, Vector2{0, 0}, 0, WHITE);
    Color left = pixel(10, 30), right = pixel(50, 30);
    EXPECT_NEAR(left.r, 128, 2) << describe(left);
    EXPECT_EQ(right.r, 255) << describe(right);
    EndDrawing();

    rlUnloadFramebuffer(fbo);
    rlUnloadTexture(depth);
    rlUnloadFramebuffer(fbo);  // twice: harmless
    rlUnloadTexture(depth);
}

TEST_F(Render, RenderTextureStartsTransparentAndNegativeHeightFlips) {
    RenderTexture2D rt = LoadRenderTexture(32, 32);
    ASSERT_NE(rt.id, 0u);
    ASSERT_NE(rt.texture.id, 0u);

    Image fresh = LoadImageFromTexture(rt.texture);
    ASSERT_NE(fresh.data, nullptr);
    int not_blank = 0;
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++) not_blank += same(GetImageColor(fresh, x, y), BLANK) ? 0 : 1;
    EXPECT_EQ(not_blank, 0);
    UnloadImage(fresh);

    BeginDrawing();
    ClearBackground(WHITE);
    DrawTexture(rt.texture, 0, 0, WHITE);  // transparent: leaves the white
    EXPECT_TRUE(same(pixel(16, 16), WHITE)) << describe(pixel(16, 16));
    EndDrawing();

    BeginTextureMode(rt);
    ClearBackground(BLANK);
    DrawRectangle(0, 0, 32, 8, RED);  // a strip along the top
    EndTextureMode();

    BeginDrawing();
    ClearBackground(BLACK);
    DrawTexturePro(rt.texture, Rectangle{0, 0, 32, -32}, Rectangle{50, 50, 32, 32}, Vector2{0, 0}, 0, WHITE);
    EXPECT_TRUE(same(pixel(60, 52), RED)) << describe(pixel(60, 52));
    EXPECT_TRUE(same(pixel(60, 78), BLACK)) << describe(pixel(60, 78));
    EndDrawing();
    UnloadRenderTexture(rt);
    UnloadRenderTexture(rt);
}

TEST_F(Render, TextureOriginRotationAndLines) {
    Texture2D tex = test_support::solid_texture(1, 1, WHITE);
    BeginDrawing();
    ClearBackground(BLACK);
    // A 40 × 10 bar turned 90° clockwise (screen y down) about its top-left corner
    // at (100, 20): it now hangs down from there, 10 pixels to the left.
    DrawTexturePro(tex, Rectangle{0, 0, 1, 1}, Rectangle{100, 20, 40, 10}, Vector2{0, 0}, 90, RED);
    // The same bar with its origin at its centre, unrotated, centred on (50, 100).
    DrawTexturePro(tex, Rectangle{0, 0, 1, 1}, Rectangle{50, 100, 40, 10}, Vector2{20, 5}, 0, GREEN);
    DrawLine(0, 140, 199, 140, BLUE);
    EXPECT_TRUE(same(pixel(95, 55), RED)) << describe(pixel(95, 55));
    EXPECT_TRUE(same(pixel(120, 25), BLACK));
    EXPECT_TRUE(same(pixel(31, 96), GREEN));
    EXPECT_TRUE(same(pixel(68, 103), GREEN));
    EXPECT_TRUE(same(pixel(71, 100), BLACK));
    EXPECT_TRUE(same(pixel(100, 140), BLUE)) << describe(pixel(100, 140));
    EXPECT_TRUE(same(pixel(100, 142), BLACK));
    EndDrawing();
    UnloadTexture(tex);
}

TEST_F(Render, BatchOverflowAndManyTextureSwitchesDrawEverything) {
    Texture2D red = test_support::solid_texture(1, 1, RED);
    BeginDrawing();
    ClearBackground(BLACK);
    // 20000 one-pixel quads, alternating between two textures: more vertices than
    // the batch holds and more draw calls than it records.
    int drawn = 0;
    for (int y = 0; y < 100; y++)
        for (int x = 0; x < 200; x++, drawn++) {
            if ((x + y) % 2 == 0)
                DrawRectangle(x, y, 1, 1, RED);
            else
                DrawTexture(red, x, y, WHITE);
        }
    int red_pixels = 0;
    each_pixel([&](int, int, Color c) { red_pixels += same(c, RED) || same(c, Color{255, 0, 0, 255}) ? 1 : 0; });
    EXPECT_EQ(red_pixels, drawn);
    EndDrawing();
    UnloadTexture(red);
}

TEST_F(Render, ShaderFallsBackToDefaultStagesAndStillDraws) {
    const std::string broken = scratch_file("broken.fs", "#version 330\nthis is not glsl;\n");

    Shader missing = LoadShader(nullptr, "/nonexistent/overlay.fs");
    EXPECT_EQ(warnings_naming("/nonexistent/overlay.fs"), 1);
    EXPECT_EQ(missing.id, rlGetShaderIdDefault());
    ASSERT_NE(missing.locs, nullptr);
    EXPECT_GE(missing.locs[SHADER_LOC_MATRIX_MVP], 0);

    testing_clear_log();
    Shader bad = LoadShader(nullptr, broken.c_str());
    EXPECT_TRUE(testing_log_contains(LOG_WARNING, "broken.fs"));
    EXPECT_EQ(bad.id, rlGetShaderIdDefault());

    BeginDrawing();
    ClearBackground(BLACK);
    BeginShaderMode(bad);
    DrawRectangle(0, 0, 20, 20, RED);
    EndShaderMode();
    EXPECT_TRUE(same(pixel(10, 10), RED));
    EndDrawing();

    // A good vertex stage beside a fragment stage that does not compile or cannot be
    // read: the whole default shader draws, not the vertex stage with a default
    // fragment stage (this one would paint blue), and one WARNING names the bad file.
    const std::string blue_vs = scratch_file(
        "blue.vs", "#version 330\nin vec3 vertexPosition;\nin vec2 vertexTexCoord;\nout vec2 fragTexCoord;\n"
                   "out vec4 fragColor;\nuniform mat4 mvp;\nvoid main() { fragTexCoord = vertexTexCoord; "
                   "fragColor = vec4(0.0, 0.0, 1.0, 1.0); gl_Position = mvp * vec4(vertexPosition, 1.0); }\n");
    const std::string empty_fs = scratch_file("empty.fs");
    test_support::write_file(empty_fs, "");
    const std::pair<std::string, std::string> pairs[] = {
        {blue_vs, empty_fs}, {broken, empty_fs}, {blue_vs, "/nonexistent/x.fs"}};
    for (const auto &[vs, fs] : pairs) {
        testing_clear_log();
        Shader half = LoadShader(vs.c_str(), fs.c_str());
        EXPECT_EQ(warnings_naming(fs.c_str()), 1);
        EXPECT_EQ(warnings_naming("SHADER"), 1);
        EXPECT_EQ(half.id, rlGetShaderIdDefault());
        BeginDrawing();
        ClearBackground(BLACK);
        BeginShaderMode(half);
        DrawRectangle(0, 0, 20, 20, RED);
        EndShaderMode();
        EXPECT_TRUE(same(pixel(10, 10), RED)) << vs << ", " << fs << ": " << describe(pixel(10, 10));
        EndDrawing();
        UnloadShader(half);
    }

    UnloadShader(bad);
    UnloadShader(missing);
    UnloadShader(missing);
    // The default shader survived: plain drawing still works.
    BeginDrawing();
    ClearBackground(BLACK);
    DrawRectangle(0, 0, 20, 20, GREEN);
    EXPECT_TRUE(same(pixel(10, 10), GREEN));
    EndDrawing();
}

TEST_F(Render, CustomFragmentShaderDrawsAndLinkFailureFallsBack) {
    const std::string good =
        scratch_file("tint.fs", "#version 330\nin vec2 fragTexCoord;\nin vec4 fragColor;\nuniform float amount;\n"
                                "out vec4 finalColor;\nvoid main() { finalColor = vec4(0.0, amount, 1.0, 1.0); }\n");
    // Compiles, but has no main(): linking fails.
    const std::string mismatched =
        scratch_file("mismatch.fs", "#version 330\nout vec4 finalColor;\nvoid paint() { finalColor = vec4(1.0); }\n");

    Shader tint = LoadShader(nullptr, good.c_str());
    ASSERT_NE(tint.id, 0u);
    EXPECT_NE(tint.id, rlGetShaderIdDefault());
    int loc = GetShaderLocation(tint, "amount");
    ASSERT_GE(loc, 0);
    EXPECT_EQ(GetShaderLocation(tint, "noSuchUniform"), -1);
    float amount = 1.0f;
    SetShaderValue(tint, loc, &amount, SHADER_UNIFORM_FLOAT);
    SetShaderValue(tint, -1, &amount, SHADER_UNIFORM_FLOAT);  // ignored silently

    BeginDrawing();
    ClearBackground(BLACK);
    BeginShaderMode(tint);
    DrawRectangle(0, 0, 20, 20, RED);
    EndShaderMode();
    DrawRectangle(30, 0, 20, 20, RED);
    EXPECT_TRUE(same(pixel(10, 10), (Color{0, 255, 255, 255}))) << describe(pixel(10, 10));
    EXPECT_TRUE(same(pixel(40, 10), RED));
    EndDrawing();

    testing_clear_log();
    Shader fallback = LoadShader(nullptr, mismatched.c_str());
    EXPECT_EQ(fallback.id, rlGetShaderIdDefault());
    EXPECT_TRUE(testing_log_contains(LOG_WARNING, "mismatch.fs"));

    UnloadShader(tint);
    UnloadShader(tint);
    UnloadShader(fallback);
    BeginDrawing();
    ClearBackground(BLACK);
    DrawRectangle(0, 0, 20, 20, RED);
    EXPECT_TRUE(same(pixel(10, 10), RED));
    EndDrawing();
}

TEST_F(Render, MissingFilesGiveEmptyObjectsAndOneWarningEach) {
    Texture2D t = LoadTexture("/nonexistent/particle.png");
    EXPECT_EQ(t.id, 0u);
    EXPECT_EQ(warnings_naming("/nonexistent/particle.png"), 1);
    UnloadTexture(t);  // unloading what failed to load is harmless

    testing_clear_log();
    Font font = LoadFontEx("/nonexistent/font.ttf", 64, nullptr, 0);
    EXPECT_EQ(warnings_naming("/nonexistent/font.ttf"), 1);
    EXPECT_EQ(font.texture.id, GetFontDefault().texture.id);
    UnloadFont(font);  // the built-in font is never released by an unload
    EXPECT_TRUE(IsFontReady(GetFontDefault()));

    // A file that is not an image at all.
    const std::string junk = scratch_file("junk.png", "not a png");
    testing_clear_log();
    Image img = LoadImage(junk.c_str());
    EXPECT_EQ(img.data, nullptr);
    EXPECT_TRUE(testing_log_contains(LOG_WARNING, "junk.png"));
}

TEST_F(Render, InvalidSizesWarnInsteadOfCrashing) {
    testing_clear_log();
    EXPECT_EQ(LoadRenderTexture(0, 10).id, 0u);
    EXPECT_EQ(rlLoadFramebuffer(-1, 5), 0u);
    EXPECT_EQ(rlLoadTextureDepth(1 << 20, 4, false), 0u);
    EXPECT_EQ(GenImageColor(0, 5, RED).data, nullptr);
    EXPECT_EQ(LoadTextureFromImage(Image{nullptr, 4, 4, 1, 7}).id, 0u);
    EXPECT_TRUE(testing_log_contains(LOG_WARNING, nullptr));
    Image img = GenImageColor(3, 3, RED);
    Color c = GetImageColor(img, 3, 0);  // out of range
    EXPECT_EQ(c.a, 0);
    UnloadImage(img);
    SetWindowSize(0, 0);
    EXPECT_EQ(GetScreenWidth(), width);
    EXPECT_EQ(GetScreenHeight(), height);
}

TEST_F(Render, ReleasedObjectsAreHarmlessToUse) {
    Texture2D tex = test_support::solid_texture(4, 4, RED);
    RenderTexture2D rt = LoadRenderTexture(16, 16);
    unsigned int fbo = rlLoadFramebuffer(16, 16);
    UnloadTexture(tex);
    UnloadRenderTexture(rt);

    testing_clear_log();
    BeginDrawing();
    ClearBackground(BLACK);
    DrawTexture(tex, 0, 0, WHITE);  // released: draws nothing
    rlTextureParameters(tex.id, RL_TEXTURE_WRAP_S, RL_TEXTURE_WRAP_CLAMP);
    rlFramebufferAttach(fbo, tex.id, RL_ATTACHMENT_COLOR_CHANNEL0, RL_ATTACHMENT_TEXTURE2D, 0);
    EXPECT_FALSE(rlFramebufferComplete(rt.id));
    BeginTextureMode(rt);  // not loaded: drawing stays on the screen
    DrawRectangle(20, 20, 5, 5, GREEN);
    EndTextureMode();
    EXPECT_TRUE(same(pixel(2, 2), BLACK));
    EXPECT_TRUE(same(pixel(22, 22), GREEN));
    EndDrawing();
    EXPECT_TRUE(testing_log_contains(LOG_WARNING, "render texture is not loaded"));
    EXPECT_TRUE(testing_log_contains(LOG_WARNING, "cannot attach"));
    rlUnloadFramebuffer(fbo);
}

TEST_F(Render, ImagesRoundTripThroughPngAndScreenshots) {
    const std::string path = scratch_file("round.png");
    Image img = GenImageColor(4, 3, Color{10, 20, 30, 40});
    static_cast<Color *>(img.data)[5] = Color{200, 100, 50, 255};
    ASSERT_TRUE(ExportImage(img, path.c_str()));
    Image back = LoadImage(path.c_str());
    ASSERT_NE(back.data, nullptr);
    EXPECT_EQ(back.width, 4);
    EXPECT_EQ(back.height, 3);
    EXPECT_TRUE(same(GetImageColor(back, 1, 1), (Color{200, 100, 50, 255})));
    EXPECT_TRUE(same(GetImageColor(back, 0, 0), (Color{10, 20, 30, 40})));
    EXPECT_FALSE(ExportImage(img, scratch_file("round.bmp").c_str()));
    UnloadImage(img);
    UnloadImage(back);
    UnloadImage(back);

    const std::string shot = scratch_file("shot.png");
    BeginDrawing();
    ClearBackground(Color{36, 152, 201, 0});
    DrawRectangle(10, 20, 30, 40, RED);
    TakeScreenshot(shot.c_str());
    EndDrawing();
    Image s = LoadImage(shot.c_str());
    ASSERT_NE(s.data, nullptr);
    EXPECT_EQ(s.width, width);
    EXPECT_TRUE(same(GetImageColor(s, 15, 25), RED));
    EXPECT_TRUE(same(GetImageColor(s, 100, 100), (Color{36, 152, 201, 255})));  // screenshots are opaque
    UnloadImage(s);
}

TEST_F(Render, TrueTypeFontDrawsInsideItsMeasure) {
    const char *path = "assets/fonts/GloriaHallelujah-Regular.ttf";
    if (!FileExists(path)) GTEST_SKIP() << "no TrueType font in the assets";
    Font font = LoadFontEx(path, 32, nullptr, 0);
    ASSERT_NE(font.texture.id, GetFontDefault().texture.id);
    EXPECT_EQ(font.glyphCount, 95);
    EXPECT_EQ(font.baseSize, 32);
    Vector2 m = MeasureTextEx(font, "PLAY", 32, 3);
    EXPECT_GT(m.x, 40.0f);
    EXPECT_FLOAT_EQ(m.y, 32.0f);
    Vector2 m2 = MeasureTextEx(font, "PLAY", 64, 3);
    EXPECT_NEAR(m2.x, 2 * m.x - 9, 1.0f);  // advances scale, spacing does not

    BeginDrawing();
    ClearBackground(BLACK);
    DrawTextEx(font, "PLAY", Vector2{20, 30}, 32, 3, WHITE);
    int inside = 0, outside = 0;
    each_pixel([&](int x, int y, Color c) {
        if (c.r == 0) return;
        // Generous vertically: glyphs of a handwritten face may overhang the line.
        if (x >= 18 && x < 20 + m.x + 2 && y >= 30 - 8 && y < 30 + m.y + 8)
            inside++;
        else
            outside++;
    });
    EXPECT_GT(inside, 50);
    EXPECT_EQ(outside, 0);
    EndDrawing();
    UnloadFont(font);
    UnloadFont(font);
}

TEST_F(Render, ColourHelpers) {
    Color c = ColorAlpha(Color{230, 41, 55, 255}, 0.5f);
    EXPECT_TRUE(same(c, (Color{230, 41, 55, 127})));
    EXPECT_EQ(ColorAlpha(RED, -1.0f).a, 0);
    EXPECT_EQ(ColorAlpha(RED, 7.0f).a, 255);
    EXPECT_TRUE(same(GetColor(0x5bb2d9ff), (Color{0x5b, 0xb2, 0xd9, 0xff})));
    EXPECT_EQ(static_cast<unsigned int>(ColorToInt(Color{0x12, 0x34, 0x56, 0x78})), 0x12345678u);
    EXPECT_TRUE(CheckCollisionPointRec(Vector2{10, 10}, Rectangle{10, 10, 5, 5}));
    EXPECT_FALSE(CheckCollisionPointRec(Vector2{15, 10}, Rectangle{10, 10, 5, 5}));
}

TEST_F(Render, FpsCounterColourFollowsTheRate) {
    auto counter_colour = [&](double frame) {
        testing_set_fixed_frame_time(frame);
        BeginDrawing();
        ClearBackground(BLACK);
        DrawFPS(0, 0);
        Color found = BLACK;
        each_pixel([&](int, int, Color c) {
            if (!same(c, BLACK)) found = c;
        });
        EndDrawing();
        return found;
    };
    EXPECT_TRUE(same(counter_colour(1.0 / 60.0), LIME));
    EXPECT_TRUE(same(counter_colour(1.0 / 20.0), ORANGE));
    EXPECT_TRUE(same(counter_colour(1.0 / 10.0), RED));
    EXPECT_EQ(std::string(TextFormat("%2i FPS", 7)), " 7 FPS");
}

}  // namespace
