// The court, buttons and tomatoes drawn with the scene shaders and a real shadow
// pass read as what they are: green turf with a white net line, a yellow button,
// a red tomato, and a shadow under a tomato in the air.
//
// Set VORBEL_ASSET_PREVIEW=<file.png> to keep the rendered frame for a look.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string>

#include "asset_support.h"
#include "support/solid_texture.h"
#include "testing.h"
#include "raylib.h"
#include "raymath.h"
#include "rlgl.h"

namespace {

constexpr int screen_w = 960, screen_h = 540;
constexpr int shadow_size = 2048;

// The sun as the game places it: an orthographic camera far up on the +x, -z side.
const Vector3 light_pos{28.5f, 16.6f, -22.14f};
const Vector3 light_dir{-0.80178594f, -0.47075401f, 0.36814395f};

// Materials as the game prepares them: shininess into the albedo's alpha, and a
// transparent texture for untextured materials, so their own colour shows.
void prepare(Model &model, Texture2D blank) {
    for (int i = 0; i < model.materialCount; ++i) {
        MaterialMap *maps = model.materials[i].maps;
        maps[MATERIAL_MAP_ALBEDO].color.a =
            static_cast<unsigned char>(maps[MATERIAL_MAP_NORMAL].value / 1000.0f * 255.0f);
        if (maps[MATERIAL_MAP_ALBEDO].texture.width == 1) maps[MATERIAL_MAP_ALBEDO].texture = blank;
    }
}

void use_shader(Model &model, Shader shader, const Texture2D *shadow_map) {
    for (int i = 0; i < model.materialCount; ++i) {
        model.materials[i].shader = shader;
        if (shadow_map) model.materials[i].maps[MATERIAL_MAP_HEIGHT].texture = *shadow_map;
    }
}

struct Placed {
    Model *model;
    Vector3 position;
    Color tint;
};

struct Scene {
    asset_test::Window window{screen_w, screen_h};
    Texture2D blank{};
    Model court{}, button{}, armed_button{}, tomato{};
    Shader geom{}, depth{};
    unsigned int fbo = 0;
    Texture2D shadow_map{};
    Matrix light_view{}, light_proj{}, view{}, proj{};
    Vector3 eye{0.0f, 11.5f, 11.5f};

    Scene() {
        blank = test_support::solid_texture(1, 1, Color{0, 0, 0, 0});
        court = LoadModel("assets/models/grass.obj");
        button = LoadModel("assets/models/button.obj");
        armed_button = LoadModel("assets/models/button.obj");
        tomato = LoadModel("assets/models/tomato.obj");
        for (Model *m : {&court, &button, &armed_button, &tomato}) prepare(*m, blank);
        armed_button.materials[0].maps[MATERIAL_MAP_ALBEDO].color.r = 130;
        armed_button.materials[0].maps[MATERIAL_MAP_ALBEDO].color.g = 130;
        armed_button.materials[0].maps[MATERIAL_MAP_ALBEDO].color.b = 130;

        geom = LoadShader("assets/shaders/glsl330/geom.vs", "assets/shaders/glsl330/geom.fs");
        depth = LoadShader("assets/shaders/glsl330/shadow.vs", "assets/shaders/glsl330/shadow.fs");
        geom.locs[SHADER_LOC_MAP_HEIGHT] = GetShaderLocation(geom, "shadowMap");
        geom.locs[SHADER_LOC_VECTOR_VIEW] = GetShaderLocation(geom, "viewPos");

        fbo = rlLoadFramebuffer(shadow_size, shadow_size);
        rlEnableFramebuffer(fbo);
        shadow_map.id = rlLoadTextureDepth(shadow_size, shadow_size, false);
        shadow_map.width = shadow_map.height = shadow_size;
        shadow_map.mipmaps = 1;
        shadow_map.format = 19;
        rlTextureParameters(shadow_map.id, RL_TEXTURE_WRAP_S, RL_TEXTURE_WRAP_CLAMP);
        rlTextureParameters(shadow_map.id, RL_TEXTURE_WRAP_T, RL_TEXTURE_WRAP_CLAMP);
        rlFramebufferAttach(fbo, shadow_map.id, RL_ATTACHMENT_DEPTH, RL_ATTACHMENT_TEXTURE2D, 0);
        rlDisableFramebuffer();

        light_view = MatrixLookAt(light_pos, Vector3Add(light_pos, light_dir), Vector3{0, 1, 0});
        light_proj = MatrixOrtho(-35.5, 35.5, -20.0, 20.0, 0.24, 400.0);
        proj = MatrixPerspective(60.0 * DEG2RAD, static_cast<double>(screen_w) / screen_h, 0.01, 100.0);
    }
    ~Scene() {
        rlUnloadFramebuffer(fbo);
        rlUnloadTexture(shadow_map.id);
        for (Model *m : {&court, &button, &armed_button, &tomato}) {
            UnloadModel(*m);
        }
        UnloadShader(geom);
        UnloadShader(depth);
        UnloadTexture(blank);
    }

    void look_from(Vector3 position, Vector3 target) {
        eye = position;
        view = MatrixLookAt(position, target, Vector3{0, 1, 0});
    }

    void draw_all(const Placed *items, int count) {
        for (int i = 0; i < count; ++i)
            DrawModelEx(*items[i].model, items[i].position, Vector3{0, 1, 0}, 0.0f, Vector3{1, 1, 1}, items[i].tint);
    }

    static void load_matrices(Matrix projection, Matrix modelview) {
        rlMatrixMode(RL_PROJECTION);
        rlLoadIdentity();
        rlMultMatrixf(MatrixToFloatV(projection).v);
        rlMatrixMode(RL_MODELVIEW);
        rlLoadIdentity();
        rlMultMatrixf(MatrixToFloatV(modelview).v);
    }

    // Renders one frame (shadow pass, then the lit pass) and returns its pixels.
    Image render(const Placed *items, int count) {
        BeginDrawing();
        ClearBackground(Color{36, 152, 201, 255});

        for (Model *m : {&court, &button, &armed_button, &tomato}) use_shader(*m, depth, nullptr);
        rlDrawRenderBatchActive();
        rlEnableFramebuffer(fbo);
        rlViewport(0, 0, shadow_size, shadow_size);
        rlClearScreenBuffers();
        rlDisableColorBlend();
        load_matrices(light_proj, light_view);
        rlEnableDepthTest();
        draw_all(items, count);
        rlDrawRenderBatchActive();
        rlEnableColorBlend();
        rlDisableFramebuffer();
        rlViewport(0, 0, screen_w, screen_h);

        for (Model *m : {&court, &button, &armed_button, &tomato}) use_shader(*m, geom, &shadow_map);
        Matrix mat_light = MatrixMultiply(light_view, light_proj);
        int size = shadow_size;
        SetShaderValueMatrix(geom, GetShaderLocation(geom, "matLight"), mat_light);
        SetShaderValue(geom, GetShaderLocation(geom, "lightPos"), &light_pos, SHADER_UNIFORM_VEC3);
        SetShaderValue(geom, GetShaderLocation(geom, "lightDir"), &light_dir, SHADER_UNIFORM_VEC3);
        SetShaderValue(geom, GetShaderLocation(geom, "shadowMapSize"), &size, SHADER_UNIFORM_INT);
        SetShaderValue(geom, geom.locs[SHADER_LOC_VECTOR_VIEW], &eye, SHADER_UNIFORM_VEC3);
        rlMatrixMode(RL_PROJECTION);
        rlPushMatrix();
        load_matrices(proj, view);
        rlEnableDepthTest();
        draw_all(items, count);
        EndMode3D();

        Image image = testing_read_frame();
        EndDrawing();
        return image;
    }

    // Where a world point lands on the screen.
    Vector2 to_screen(Vector3 p) const {
        Matrix m = MatrixMultiply(view, proj);
        Vector3 clip = Vector3Transform(p, m);
        float w = m.m3 * p.x + m.m7 * p.y + m.m11 * p.z + m.m15;
        return Vector2{(clip.x / w + 1.0f) * 0.5f * screen_w, (1.0f - clip.y / w) * 0.5f * screen_h};
    }

    Color at(const Image &image, Vector3 p) const {
        Vector2 s = to_screen(p);
        return GetImageColor(image, static_cast<int>(s.x), static_cast<int>(s.y));
    }
};

void keep_preview(const Image &image, const char *suffix) {
    if (const char *path = std::getenv("VORBEL_ASSET_PREVIEW")) {
        std::string file = std::string(path) + suffix + ".png";
        ExportImage(image, file.c_str());
    }
}

TEST(SceneLook, CourtButtonsAndTomatoesReadAsThemselves) {
    Scene scene;
    scene.look_from(Vector3{0.0f, 11.5f, 11.5f}, Vector3{0, 0, 0});
    const Placed items[] = {
        {&scene.court, {0.0f, -0.05f, 0.0f}, WHITE},
        {&scene.button, {-8.0f, 0.1f, 2.0f}, WHITE},
        {&scene.button, {-4.0f, 0.1f, -2.0f}, WHITE},
        {&scene.armed_button, {4.0f, 0.1f, 2.0f}, WHITE},
        {&scene.button, {8.0f, 0.1f, -2.0f}, WHITE},
        {&scene.tomato, {-6.0f, 0.0f, 0.0f}, WHITE},
        {&scene.tomato, {6.0f, 0.0f, 0.0f}, WHITE},
        // In the air, to throw a shadow well clear of itself.
        {&scene.tomato, {-4.0f, 1.5f, 3.0f}, WHITE},
    };
    Image frame = scene.render(items, static_cast<int>(std::size(items)));
    keep_preview(frame, "");

    Color turf = scene.at(frame, {-3.0f, 0.0f, 3.0f});
    EXPECT_GT(turf.g, turf.r + 40);
    EXPECT_GT(turf.g, turf.b + 40);
    Color net = scene.at(frame, {0.0f, 0.0f, 3.0f});
    EXPECT_GT(net.r, 200);
    EXPECT_GT(net.g, 200);
    EXPECT_GT(net.b, 190);
    // The tomato covers a small patch seen from the match view; most of it is red skin.
    Vector2 body = scene.to_screen({-6.0f, 0.25f, 0.0f});
    int red = 0;
    for (int y = -5; y <= 5; ++y)
        for (int x = -5; x <= 5; ++x) {
            Color p = GetImageColor(frame, static_cast<int>(body.x) + x, static_cast<int>(body.y) + y);
            if (p.r > 150 && p.r > 2 * p.g && p.r > 2 * p.b) ++red;
        }
    EXPECT_GT(red, 11 * 11 / 2);
    Color idle = scene.at(frame, {-8.0f, 0.2f, 2.0f});
    Color armed = scene.at(frame, {4.0f, 0.2f, 2.0f});
    EXPECT_GT(idle.r, 180);
    EXPECT_GT(idle.g, 140);
    EXPECT_LT(idle.b, idle.g - 60) << "a warm yellow cap";
    EXPECT_GT(asset_test::colour_distance(idle, armed), 150) << "idle and armed look clearly different";

    // The flying tomato's shadow falls along the light onto the turf; the same stripe
    // of turf in the sun a little way off is much brighter.
    float drop = (1.5f + 0.24f) / -light_dir.y;
    Vector3 shadow{-4.0f + light_dir.x * drop, 0.0f, 3.0f + light_dir.z * drop};
    Color shaded = scene.at(frame, shadow);
    Color sunny = scene.at(frame, {shadow.x, 0.0f, shadow.z - 1.5f});
    EXPECT_LT(asset_test::luminance(shaded), 0.75 * asset_test::luminance(sunny));
    EXPECT_GT(shaded.g, 40) << "shadowed turf stays readable";
    // No shadow acne on open turf: neighbouring sunlit spots agree.
    Color sunny2 = scene.at(frame, {shadow.x + 0.3f, 0.0f, shadow.z - 2.0f});
    EXPECT_LT(asset_test::colour_distance(sunny, sunny2), 12);
    UnloadImage(frame);
}

TEST(SceneLook, CloseUpOfATomatoShowsAHighlightAndAShadedSide) {
    Scene scene;
    // The title screen's view: close over player 1's tomato.
    scene.look_from(Vector3{-6.0f, 1.2f, 1.6f}, Vector3{-6.0f, 0.25f, 0.0f});
    const Placed items[] = {
        {&scene.court, {0.0f, -0.05f, 0.0f}, WHITE},
        {&scene.tomato, {-6.0f, 0.0f, 0.0f}, WHITE},
        {&scene.button, {-6.0f, 0.1f, -2.0f}, WHITE},
        {&scene.button, {-7.0f, 0.1f, 0.0f}, WHITE},
    };
    Image frame = scene.render(items, static_cast<int>(std::size(items)));
    keep_preview(frame, "-closeup");
    // Scan the tomato's screen area: a glossy skin has a bright highlight, and the side
    // away from the sun stays red but darker.
    Vector2 c = scene.to_screen({-6.0f, 0.22f, 0.0f});
    int brightest = 0, darkest_red = 255;
    for (int y = static_cast<int>(c.y) - 60; y <= static_cast<int>(c.y) + 60; y += 2)
        for (int x = static_cast<int>(c.x) - 90; x <= static_cast<int>(c.x) + 90; x += 2) {
            Color p = GetImageColor(frame, x, y);
            if (p.r > 2 * p.g + 20 && p.r > 2 * p.b + 20) darkest_red = std::min<int>(darkest_red, p.r);
            if (p.r > 200) brightest = std::max<int>(brightest, p.g);
        }
    EXPECT_GT(brightest, 150) << "a specular highlight on the skin";
    EXPECT_LT(darkest_red, 200) << "the skin is shaded away from the sun";
    UnloadImage(frame);
}

}  // namespace
