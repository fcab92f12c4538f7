// Meshes, OBJ models and their materials, and what DrawModelEx puts on screen.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include <unistd.h>

#include "raylib.h"
#include "raymath.h"
#include "rlgl.h"
#include "support/colours.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "support/solid_texture.h"
#include "support/test_window.h"
#include "testing.h"

namespace {

constexpr int screen_w = 160;
constexpr int screen_h = 120;

class Models : public test_support::WindowSuite<screen_w, screen_h>, protected test_support::ScratchFiles {
protected:
    void SetUp() override {
        ASSERT_TRUE(IsWindowReady());
        ASSERT_FALSE(dir.empty());
    }

    static Image drawn(const std::function<void()> &body, Color clear = BLACK) {
        return test_support::drawn_frame(body, clear);
    }
    // The same with `body` in 3D mode seen through `camera`.
    static Image drawn_3d(const Camera3D &camera, const std::function<void()> &body) {
        return drawn([&] {
            BeginMode3D(camera);
            body();
            EndMode3D();
        });
    }
    // A cube in front of a perspective camera.
    static Image draw_cube(Model model, Color tint) {
        return drawn_3d(test_support::camera_looking_at_origin(Vector3{0.0f, 0.0f, 4.0f}), [&] {
            DrawModelEx(model, Vector3{0, 0, 0}, Vector3{0, 1, 0}, 30.0f, Vector3{1, 1, 1}, tint);
        });
    }
};

using test_support::rgb;
using test_support::same;

// The pixel is within 3 of `want` in each of red, green and blue; a failure names both.
::testing::AssertionResult pixel_near(const Image &img, int x, int y, Color want) {
    const Color c = GetImageColor(img, x, y);
    if (std::abs(c.r - want.r) <= 3 && std::abs(c.g - want.g) <= 3 && std::abs(c.b - want.b) <= 3)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel " << x << "," << y << " is " << rgb(c) << ", not " << rgb(want);
}

TEST(Mesh, CubeHasTwentyFourVerticesSpanningItsHalfSizes) {
    // No window: the mesh is built on the CPU and the upload is refused.
    Mesh m = GenMeshCube(0.2f, 0.2f, 12.0f);
    ASSERT_EQ(m.vertexCount, 24);
    EXPECT_EQ(m.triangleCount, 12);
    ASSERT_NE(m.normals, nullptr);
    ASSERT_NE(m.texcoords, nullptr);
    BoundingBox box = GetMeshBoundingBox(m);
    EXPECT_FLOAT_EQ(box.min.x, -0.1f);
    EXPECT_FLOAT_EQ(box.max.x, 0.1f);
    EXPECT_FLOAT_EQ(box.min.y, -0.1f);
    EXPECT_FLOAT_EQ(box.max.y, 0.1f);
    EXPECT_FLOAT_EQ(box.min.z, -6.0f);
    EXPECT_FLOAT_EQ(box.max.z, 6.0f);
    // Each face's normal points away from the centre through its four corners.
    for (int i = 0; i < 24; ++i) {
        const Vector3 p{m.vertices[i * 3], m.vertices[i * 3 + 1], m.vertices[i * 3 + 2]};
        const Vector3 n{m.normals[i * 3], m.normals[i * 3 + 1], m.normals[i * 3 + 2]};
        EXPECT_FLOAT_EQ(Vector3Length(n), 1.0f);
        const Vector3 scaled{p.x / 0.1f, p.y / 0.1f, p.z / 6.0f};
        EXPECT_FLOAT_EQ(Vector3DotProduct(scaled, n), 1.0f) << "vertex " << i;
        EXPECT_GE(m.texcoords[i * 2], 0.0f);
        EXPECT_LE(m.texcoords[i * 2], 1.0f);
    }
    // Every triangle winds counter-clockwise seen from outside.
    for (int t = 0; t < 12; ++t) {
        Vector3 v[3];
        for (int k = 0; k < 3; ++k) {
            const int i = m.indices[t * 3 + k];
            ASSERT_LT(i, 24);
            v[k] = Vector3{m.vertices[i * 3], m.vertices[i * 3 + 1], m.vertices[i * 3 + 2]};
        }
        const Vector3 face = Vector3CrossProduct(Vector3Subtract(v[1], v[0]), Vector3Subtract(v[2], v[0]));
        const int i0 = m.indices[t * 3];
        const Vector3 n{m.normals[i0 * 3], m.normals[i0 * 3 + 1], m.normals[i0 * 3 + 2]};
        EXPECT_GT(Vector3DotProduct(face, n), 0.0f) << "triangle " << t;
    }
    UnloadMesh(m);
    UnloadMesh(m);
}

TEST_F(Models, ObjWithTwoMaterialsGivesOneMeshPerMaterial) {
    write("two.mtl", "newmtl red\nKd 1 0 0\nKs 0.5 0.5 0.5\nNs 500\n\n"
                     "newmtl blue\nKd 0.2 0.4 0.6\nKe 0 0 1\nNs 500\n");
    const std::string obj = write("two.obj", "mtllib two.mtl\n"
                                             "v -1 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\n"
                                             "usemtl red\nf 1 2 3\n"
                                             "usemtl blue\nf 1 2 4\nf 2 3 4\n");
    Model model = LoadModel(obj.c_str());
    ASSERT_EQ(model.materialCount, 2);
    ASSERT_EQ(model.meshCount, 2);

    int red_mesh = -1;
    for (int i = 0; i < model.meshCount; ++i) {
        if (model.meshes[i].vertexCount == 3) red_mesh = i;
    }
    ASSERT_GE(red_mesh, 0);
    const int blue_mesh = 1 - red_mesh;
    EXPECT_EQ(model.meshes[blue_mesh].vertexCount, 6);
    const Material &red = model.materials[model.meshMaterial[red_mesh]];
    const Material &blue = model.materials[model.meshMaterial[blue_mesh]];

    EXPECT_TRUE(same(red.maps[MATERIAL_MAP_ALBEDO].color, Color{255, 0, 0, 255}))
        << rgb(red.maps[MATERIAL_MAP_ALBEDO].color);
    EXPECT_TRUE(same(blue.maps[MATERIAL_MAP_ALBEDO].color, Color{51, 102, 153, 255}))
        << rgb(blue.maps[MATERIAL_MAP_ALBEDO].color);
    EXPECT_TRUE(same(red.maps[MATERIAL_MAP_METALNESS].color, Color{127, 127, 127, 255}));
    EXPECT_TRUE(same(blue.maps[MATERIAL_MAP_EMISSION].color, Color{0, 0, 255, 255}));
    for (const Material *m : {&red, &blue}) {
        EXPECT_FLOAT_EQ(m->maps[MATERIAL_MAP_NORMAL].value, 500.0f);
        const Texture2D albedo = m->maps[MATERIAL_MAP_ALBEDO].texture;
        EXPECT_EQ(albedo.id, rlGetTextureIdDefault());
        EXPECT_EQ(albedo.width, 1);
        EXPECT_EQ(albedo.height, 1);
        EXPECT_EQ(m->shader.id, rlGetShaderIdDefault());
    }

    // The file has no normals: each face gets its own flat one.
    const float *n = model.meshes[red_mesh].normals;
    for (int v = 0; v < 3; ++v) {
        EXPECT_FLOAT_EQ(n[v * 3], 0.0f);
        EXPECT_FLOAT_EQ(n[v * 3 + 1], 0.0f);
        EXPECT_FLOAT_EQ(n[v * 3 + 2], 1.0f);
    }
    EXPECT_NE(model.meshes[red_mesh].vaoId, 0u);
    UnloadModel(model);
    UnloadModel(model);
}

TEST_F(Models, ObjNormalsAndTexcoordsAreTakenFromTheFile) {
    const std::string obj = write("smooth.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\n"
                                                "vt 0 0\nvt 1 0\nvt 0 0.25\n"
                                                "vn 0 0.6 0.8\nvn 0.6 0 0.8\nvn 0 0 1\n"
                                                "f 1/1/1 2/2/2 3/3/3\n");
    Model model = LoadModel(obj.c_str());
    ASSERT_EQ(model.meshCount, 1);
    ASSERT_EQ(model.materialCount, 1) << "no MTL: one default material";
    const Mesh &m = model.meshes[0];
    ASSERT_EQ(m.vertexCount, 3);
    EXPECT_FLOAT_EQ(m.normals[1], 0.6f);
    EXPECT_FLOAT_EQ(m.normals[3], 0.6f);
    EXPECT_FLOAT_EQ(m.normals[8], 1.0f);
    // v runs upwards in OBJ and downwards in textures.
    EXPECT_FLOAT_EQ(m.texcoords[1], 1.0f);
    EXPECT_FLOAT_EQ(m.texcoords[2], 1.0f);
    EXPECT_FLOAT_EQ(m.texcoords[5], 0.75f);
    EXPECT_TRUE(same(model.materials[0].maps[MATERIAL_MAP_ALBEDO].color, WHITE));
    UnloadModel(model);
}

TEST_F(Models, MissingObjIsAnEmptyModelThatDrawsAndUnloadsSafely) {
    Model model;
    {
        const test_support::LogCapture log;
        model = LoadModel((dir + "/absent.obj").c_str());
        EXPECT_TRUE(testing_log_contains(LOG_WARNING, "absent.obj"));
    }
    EXPECT_EQ(model.meshCount, 0);
    EXPECT_FALSE(IsModelReady(model));
    // Callers may still set the first material's fields.
    ASSERT_GE(model.materialCount, 1);
    model.materials[0].maps[MATERIAL_MAP_ALBEDO].color = RED;

    Image img = draw_cube(model, WHITE);
    EXPECT_TRUE(pixel_near(img, screen_w / 2, screen_h / 2, BLACK));
    UnloadImage(img);
    UnloadModel(model);
    UnloadModel(model);
    UnloadModel(Model{});
}

TEST_F(Models, RedCubeCoversTheCentreButNotTheCorners) {
    Model cube = LoadModelFromMesh(GenMeshCube(1.0f, 1.0f, 1.0f));
    Image img = draw_cube(cube, RED);
    EXPECT_TRUE(pixel_near(img, screen_w / 2, screen_h / 2, RED));
    for (Vector2 corner :
         {Vector2{2, 2}, Vector2{screen_w - 3, 2}, Vector2{2, screen_h - 3}, Vector2{screen_w - 3, screen_h - 3}}) {
        EXPECT_TRUE(pixel_near(img, (int)corner.x, (int)corner.y, BLACK));
    }
    UnloadImage(img);
    // The tint was applied for the draw only.
    EXPECT_TRUE(same(cube.materials[0].maps[MATERIAL_MAP_ALBEDO].color, WHITE));

    // The albedo colour and the tint multiply.
    cube.materials[0].maps[MATERIAL_MAP_ALBEDO].color = Color{0, 0, 255, 255};
    img = draw_cube(cube, Color{255, 255, 128, 255});
    EXPECT_TRUE(pixel_near(img, screen_w / 2, screen_h / 2, Color{0, 0, 128, 255}));
    UnloadImage(img);

    // model.transform moves the drawn model too: shifted aside, the centre is empty.
    cube.transform = MatrixTranslate(3.0f, 0.0f, 0.0f);
    img = draw_cube(cube, RED);
    EXPECT_TRUE(pixel_near(img, screen_w / 2, screen_h / 2, BLACK));
    UnloadImage(img);
    UnloadModel(cube);
}

TEST_F(Models, ImmediateCubeIsDrawnThroughTheBatchWithDepth) {
    Image img = drawn_3d(test_support::camera_looking_at_origin(Vector3{0.0f, 0.0f, 4.0f}), [] {
        DrawCube(Vector3{0, 0, 0}, 1, 1, 1, GREEN);
        DrawCube(Vector3{0, 0, -2}, 3, 3, 1, BLUE);  // behind, larger, drawn later
    });
    EXPECT_TRUE(pixel_near(img, screen_w / 2, screen_h / 2, GREEN));
    EXPECT_TRUE(pixel_near(img, screen_w / 2, 30, BLUE));
    EXPECT_TRUE(pixel_near(img, 2, 2, BLACK));
    UnloadImage(img);
}

TEST_F(Models, HeightMapReachesTheSamplerNamedInItsLocation) {
    const char *vs = "#version 330\n"
                     "in vec3 vertexPosition;\n"
                     "uniform mat4 mvp;\n"
                     "void main() { gl_Position = mvp * vec4(vertexPosition, 1.0); }\n";
    const char *fs =
        "#version 330\n"
        "uniform sampler2D texture0;\n"
        "uniform sampler2D shadowMap;\n"
        "out vec4 finalColor;\n"
        "void main() { finalColor = texture(shadowMap, vec2(0.5)) + 0.0 * texture(texture0, vec2(0.5)); }\n";
    Shader shader = LoadShaderFromMemory(vs, fs);
    ASSERT_NE(shader.id, rlGetShaderIdDefault());
    shader.locs[SHADER_LOC_MAP_HEIGHT] = GetShaderLocation(shader, "shadowMap");
    ASSERT_GE(shader.locs[SHADER_LOC_MAP_HEIGHT], 0);

    Texture2D green = test_support::solid_texture(1, 1, Color{0, 255, 0, 255});
    Texture2D blue = test_support::solid_texture(1, 1, Color{0, 0, 255, 255});

    Model cube = LoadModelFromMesh(GenMeshCube(1.0f, 1.0f, 1.0f));
    cube.materials[0].shader = shader;
    cube.materials[0].maps[MATERIAL_MAP_ALBEDO].texture = blue;
    cube.materials[0].maps[MATERIAL_MAP_HEIGHT].texture = green;
    Image img = draw_cube(cube, WHITE);
    EXPECT_TRUE(pixel_near(img, screen_w / 2, screen_h / 2, Color{0, 255, 0, 255}));
    UnloadImage(img);

    // Nothing of the model's binding leaks into the 2D drawing that follows.
    img = drawn([] { DrawRectangle(0, 0, screen_w, screen_h, Color{255, 255, 255, 255}); });
    EXPECT_TRUE(pixel_near(img, screen_w / 2, screen_h / 2, WHITE));
    UnloadImage(img);

    UnloadModel(cube);
    UnloadTexture(green);
    UnloadTexture(blue);
    UnloadShader(shader);
}

TEST_F(Models, BlendModeHoldsUntilEndBlendModeRestoresAlphaBlending) {
    Image img = drawn(
        [] {
            BeginBlendMode(BLEND_ADDITIVE);
            DrawRectangle(0, 0, screen_w / 2, screen_h, Color{255, 0, 0, 128});
            EndBlendMode();
            DrawRectangle(screen_w / 2, 0, screen_w / 2, screen_h, Color{255, 0, 0, 128});
        },
        Color{0, 0, 200, 255});
    EXPECT_TRUE(pixel_near(img, 10, 10, Color{128, 0, 200, 255})) << "added";
    EXPECT_TRUE(pixel_near(img, screen_w - 10, 10, Color{128, 0, 100, 255})) << "mixed";
    UnloadImage(img);
}

TEST_F(Models, BillboardFacesTheCameraAlsoWhenMirrored) {
    Texture2D white = test_support::solid_texture(4, 4, WHITE);
    const Camera3D camera = test_support::camera_looking_at_origin(Vector3{4.0f, 0.0f, 0.0f});  // looking along -x
    // Back faces are culled: a mirrored quad must wind the other way to be seen.
    for (const Vector2 size : {Vector2{1, 1}, Vector2{-1, 1}, Vector2{1, -1}, Vector2{-1, -1}}) {
        SCOPED_TRACE(std::to_string(size.x) + " x " + std::to_string(size.y));
        Image img = drawn_3d(camera, [&] {
            DrawBillboardPro(camera, white, Rectangle{0, 0, 4, 4}, Vector3{0, 0, 0}, Vector3{0, 1, 0}, size,
                             Vector2{0, 0}, 0.0f, Color{255, 0, 255, 255});
        });
        EXPECT_TRUE(pixel_near(img, screen_w / 2, screen_h / 2, Color{255, 0, 255, 255}));
        EXPECT_TRUE(pixel_near(img, 2, 2, BLACK));
        UnloadImage(img);
    }
    UnloadTexture(white);
}

}  // namespace
