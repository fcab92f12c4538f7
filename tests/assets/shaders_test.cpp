// The scene shaders compile, link and keep every uniform the renderer sets, and the
// overlay leaves the frame alone at rest and flashes the hit player's half.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "asset_support.h"
#include "render/overlay.h"
#include "support/log_capture.h"
#include "testing.h"
#include "raylib.h"
#include "rlgl.h"

namespace {

using asset_test::Window;

// Loads a shader while capturing the log; a stage that fails to compile falls back
// to the default shader with a WARNING, which would otherwise pass unnoticed.
Shader load_checked(const char *vs, const char *fs) {
    Shader shader;
    {
        const test_support::LogCapture log;
        shader = LoadShader(vs, fs);
        EXPECT_FALSE(testing_log_contains(LOG_WARNING, "SHADER")) << "shader log:\n"
                                                                  << [] {
                                                                         std::string all;
                                                                         for (const auto &line : testing_captured_log())
                                                                             all += line + "\n";
                                                                         return all;
                                                                     }();
        if (vs) {
            EXPECT_FALSE(testing_log_contains(LOG_WARNING, vs));
        }
        EXPECT_FALSE(testing_log_contains(LOG_WARNING, fs));
    }
    EXPECT_NE(shader.id, rlGetShaderIdDefault()) << "fell back to the default shader";
    return shader;
}

TEST(SceneShaders, GeomCompilesAndKeepsEveryUniformItIsGiven) {
    Window window;
    Shader geom = load_checked("assets/shaders/glsl330/geom.vs", "assets/shaders/glsl330/geom.fs");
    // Each of these is written by the renderer or by the model drawing; one the
    // compiler dropped would silently switch that input off.
    for (const char *name : {"matLight", "lightPos", "lightDir", "shadowMapSize", "viewPos", "shadowMap", "mvp",
                             "matModel", "matNormal", "colDiffuse", "texture0"}) {
        EXPECT_GE(GetShaderLocation(geom, name), 0) << name;
    }
    UnloadShader(geom);
}

TEST(SceneShaders, ShadowAndOverlayCompileWithTheirUniforms) {
    Window window;
    Shader shadow = load_checked("assets/shaders/glsl330/shadow.vs", "assets/shaders/glsl330/shadow.fs");
    EXPECT_GE(GetShaderLocation(shadow, "mvp"), 0);
    Shader overlay = load_checked(nullptr, "assets/shaders/glsl330/overlay.fs");
    EXPECT_GE(GetShaderLocation(overlay, "player1TimeSinceHit"), 0);
    EXPECT_GE(GetShaderLocation(overlay, "player2TimeSinceHit"), 0);
    UnloadShader(shadow);
    UnloadShader(overlay);
}

// ---------------------------------------------------------------- the overlay at work

constexpr int overlay_w = 320, overlay_h = 180;

struct OverlayRig {
    Window window{overlay_w, overlay_h};
    Shader shader{};
    RenderTexture2D target{};
    int loc1 = -1, loc2 = -1;

    OverlayRig() {
        shader = LoadShader(nullptr, "assets/shaders/glsl330/overlay.fs");
        loc1 = GetShaderLocation(shader, "player1TimeSinceHit");
        loc2 = GetShaderLocation(shader, "player2TimeSinceHit");
        // As in the match: a transparent target the size of the screen carries the shader.
        target = LoadRenderTexture(overlay_w, overlay_h);
    }
    ~OverlayRig() {
        UnloadRenderTexture(target);
        UnloadShader(shader);
    }

    // One frame of a busy scene, with the overlay on top when asked; returns its pixels.
    Image frame(bool with_overlay, float t1, float t2) {
        BeginDrawing();
        ClearBackground(Color{36, 152, 201, 255});
        for (int i = 0; i < 8; ++i)
            DrawRectangle(
                i * 40, 20 + (i % 3) * 30, 30, 120,
                Color{static_cast<unsigned char>(30 * i), 200, static_cast<unsigned char>(255 - 30 * i), 255});
        DrawRectangle(0, 150, overlay_w, 30, Color{90, 170, 60, 255});
        if (with_overlay) {
            SetShaderValue(shader, loc1, &t1, SHADER_UNIFORM_FLOAT);
            SetShaderValue(shader, loc2, &t2, SHADER_UNIFORM_FLOAT);
            BeginShaderMode(shader);
            float w = static_cast<float>(target.texture.width), h = static_cast<float>(target.texture.height);
            DrawTexturePro(target.texture, Rectangle{0, 0, w, -h},
                           Rectangle{0, 0, static_cast<float>(GetScreenWidth()), static_cast<float>(GetScreenHeight())},
                           Vector2{0, 0}, 0.0f, WHITE);
            EndShaderMode();
        }
        Image image = testing_read_frame();
        EndDrawing();
        return image;
    }
};

// Pixels that differ between two frames, counted per half of the screen.
struct Changes {
    int left = 0, right = 0;
};

Changes compare(const Image &a, const Image &b) {
    Changes c;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            if (asset_test::colour_distance(GetImageColor(a, x, y), GetImageColor(b, x, y)) > 0)
                (x < a.width / 2 ? c.left : c.right) += 1;
    return c;
}

// How much redder a region became: gain in red against the loss in green and blue.
int reddening(const Image &before, const Image &after, int x0, int x1) {
    long total = 0;
    int count = 0;
    for (int y = 0; y < before.height; y += 4)
        for (int x = x0; x < x1; x += 4) {
            Color p = GetImageColor(before, x, y), q = GetImageColor(after, x, y);
            total += (q.r - p.r) - (q.g - p.g) / 2 - (q.b - p.b) / 2;
            ++count;
        }
    return static_cast<int>(total / count);
}

// The match skips the overlay's pass whenever overlay_at_rest says it would change
// nothing: each row checks that claim against what the shader really draws.
TEST(Overlay, AtRestTheFrameIsUnchangedAndTheMatchMaySkipIt) {
    OverlayRig rig;
    Image plain = rig.frame(false, 99.0f, 99.0f);
    constexpr float end = overlay_flash_seconds;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    enum class Look { unchanged, changed, either };
    struct Row {
        const char *what;
        float t1, t2;
        bool at_rest;
        Look look;
    };
    const Row rows[] = {
        {"never hit", 99.0f, 99.0f, true, Look::unchanged},
        {"both flashes just ended", end, end, true, Look::unchanged},
        // Too faint to show in 8 bits, but not over: drawn, to be safe.
        {"player 1's flash about to end", std::nextafter(end, 0.0f), 99.0f, false, Look::either},
        {"player 2's flash fading", 99.0f, end * 0.8f, false, Look::changed},
        {"player 2 just hit", end, 0.0f, false, Look::changed},
        // What the shader makes of a NaN is the driver's business.
        {"a NaN time is never taken for rest", nan, 99.0f, false, Look::either},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(overlay_at_rest(row.t1, row.t2), row.at_rest);
        if (row.look == Look::either) continue;
        Image covered = rig.frame(true, row.t1, row.t2);
        ASSERT_EQ(plain.width, covered.width);
        Changes c = compare(plain, covered);
        if (row.look == Look::unchanged) {
            EXPECT_EQ(c.left + c.right, 0);
        } else {
            EXPECT_GT(c.left + c.right, 0);
        }
        UnloadImage(covered);
    }
    UnloadImage(plain);
}

TEST(Overlay, AHitFlashesOnlyTheHitPlayersHalfAndFades) {
    OverlayRig rig;
    Image plain = rig.frame(false, 99.0f, 99.0f);
    const int mid = overlay_w / 2;

    Image p1_hit = rig.frame(true, 0.0f, 99.0f);
    Changes c1 = compare(plain, p1_hit);
    EXPECT_GT(c1.left, overlay_w * overlay_h / 8) << "player 1's half (left) shows the flash";
    EXPECT_EQ(c1.right, 0) << "player 2's half stays as it was";
    EXPECT_GT(reddening(plain, p1_hit, 0, mid), 20);

    Image p2_hit = rig.frame(true, 99.0f, 0.0f);
    Changes c2 = compare(plain, p2_hit);
    EXPECT_EQ(c2.left, 0);
    EXPECT_GT(c2.right, overlay_w * overlay_h / 8);
    EXPECT_GT(reddening(plain, p2_hit, mid, overlay_w), 20);

    // Fading: weaker a quarter of a second later, gone after about half a second.
    Image later = rig.frame(true, 0.25f, 99.0f);
    int at_hit = reddening(plain, p1_hit, 0, mid), at_quarter = reddening(plain, later, 0, mid);
    EXPECT_LT(at_quarter, at_hit);
    EXPECT_GT(at_quarter, 0);
    Image gone = rig.frame(true, 0.6f, 99.0f);
    Changes cg = compare(plain, gone);
    EXPECT_EQ(cg.left + cg.right, 0);

    for (Image *image : {&plain, &p1_hit, &p2_hit, &later, &gone}) UnloadImage(*image);
}

}  // namespace
