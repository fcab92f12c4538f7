// The court, buttons and tomatoes drawn with the scene shaders and a real shadow
// pass read as what they are: green turf with a white net line, a yellow button,
// a red tomato, and a shadow under a tomato in the air.
//
// Set VORBEL_ASSET_PREVIEW=<file.png> to keep the rendered frame for a look.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "asset_support.h"
#include "support/solid_texture.h"
#include "testing.h"
#include "raylib.h"
#include "raymath.h"
#include "render/model_registry.h"
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

// The frame cut into a grid of cells, each the average colour of its pixels: a stray
// pixel at an edge washes out, a surface drawn in another material's colour does not.
constexpr int grid_cols = 16, grid_rows = 9;

std::vector<Color> cell_means(const Image &image) {
    std::vector<Color> cells;
    for (int row = 0; row < grid_rows; ++row)
        for (int col = 0; col < grid_cols; ++col) {
            const int x0 = col * image.width / grid_cols, x1 = (col + 1) * image.width / grid_cols;
            const int y0 = row * image.height / grid_rows, y1 = (row + 1) * image.height / grid_rows;
            long sum[3] = {0, 0, 0};
            for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x1; ++x) {
                    Color c = GetImageColor(image, x, y);
                    sum[0] += c.r;
                    sum[1] += c.g;
                    sum[2] += c.b;
                }
            const long n = static_cast<long>(x1 - x0) * (y1 - y0);
            cells.push_back(Color{static_cast<unsigned char>((sum[0] + n / 2) / n),
                                  static_cast<unsigned char>((sum[1] + n / 2) / n),
                                  static_cast<unsigned char>((sum[2] + n / 2) / n), 255});
        }
    return cells;
}

// Cells as rows of "rrggbb" words, the form the expected frames below are kept in.
std::string grid_text(const std::vector<Color> &cells) {
    std::string text;
    char word[8];
    for (std::size_t i = 0; i < cells.size(); ++i) {
        std::snprintf(word, sizeof(word), "%02x%02x%02x", cells[i].r, cells[i].g, cells[i].b);
        text += word;
        text += (i + 1) % grid_cols == 0 ? "\n" : " ";
    }
    return text;
}

std::vector<Color> parse_grid(const char *text) {
    std::vector<Color> cells;
    unsigned int rgb = 0;
    int used = 0;
    while (std::sscanf(text, " %6x%n", &rgb, &used) == 1) {
        cells.push_back(Color{static_cast<unsigned char>(rgb >> 16), static_cast<unsigned char>(rgb >> 8),
                              static_cast<unsigned char>(rgb), 255});
        text += used;
    }
    return cells;
}

// Cells whose channels differ by more than `tolerance`.
int cells_off(const std::vector<Color> &a, const std::vector<Color> &b, int tolerance) {
    int off = 0;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (std::abs(a[i].r - b[i].r) > tolerance || std::abs(a[i].g - b[i].g) > tolerance ||
            std::abs(a[i].b - b[i].b) > tolerance)
            ++off;
    }
    return off + static_cast<int>(a.size() > b.size() ? a.size() - b.size() : b.size() - a.size());
}

struct View {
    const char *name;
    Vector3 eye, target;
};

// The title screen's close view over player 1's tomato, and the match view of the
// whole court.
const View title_view{"title", {-6.0f, 1.2f, 1.6f}, {-6.0f, 0.25f, 0.0f}};
const View match_view{"match", {0.0f, 11.5f, 11.5f}, {0.0f, 0.0f, 0.0f}};

std::vector<Color> render_cells(Scene &scene, const View &view) {
    scene.look_from(view.eye, view.target);
    const Placed items[] = {
        {&scene.court, {0.0f, -0.05f, 0.0f}, WHITE}, {&scene.tomato, {-6.0f, 0.0f, 0.0f}, WHITE},
        {&scene.tomato, {6.0f, 0.0f, 0.0f}, WHITE},  {&scene.button, {-6.0f, 0.1f, -2.0f}, WHITE},
        {&scene.button, {-8.0f, 0.1f, 0.0f}, WHITE}, {&scene.armed_button, {-4.0f, 0.1f, 0.0f}, WHITE},
        {&scene.button, {6.0f, 0.1f, 2.0f}, WHITE},
    };
    Image frame = scene.render(items, static_cast<int>(std::size(items)));
    std::vector<Color> cells = cell_means(frame);
    UnloadImage(frame);
    return cells;
}

// Every mesh on material 0, as raylib 5.0's OBJ loader leaves a model it read.
void put_every_mesh_on_material_0(Model &model) {
    for (int i = 0; i < model.meshCount; ++i) model.meshMaterial[i] = 0;
}

// The two views as rendered when the models' look was last settled; a change in how
// the files are laid out must not show. A deliberate change of a model's look updates
// these: the failure message prints the new grid.
const char *const expected_title_cells = R"(
2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9
53ab6d 5ab05e 56ac5c 51a658 4fa457 50a457 58ae5d 5ab05e 5ab05e 52a759 4fa457 50a457 55aa5a 59b05d 60b367 60b069
5eb142 59ab3e 57a83d 57a83d 58a93e 62b645 60af44 8a963a 929f3f 64b745 58a93d 57a83d 57a83d 58aa3e 5eb042 64b746
57a83d 57a83d 57a83d 58aa3e 63b745 66ba47 62b345 568c3d 5a8d3e 66b947 60b343 57a83d 57a83d 57a83d 57a83d 57a83d
edd346 e0e04e 659453 64b746 66ba47 66ba47 67a542 7e1c26 cd2f3d 7ea246 66ba47 5cae40 56a63c 365d37 4f5c59 8c9893
dbd952 65865e 64b548 66ba47 5ead43 468335 3b6c2e 503b23 6d5d30 67b847 66ba47 65b946 58aa3e 407f31 223630 41474f
4b784f 65b747 66ba47 66ba47 498937 3e7530 437e33 57a03e 66ba47 66ba47 66ba47 66ba47 62b544 57a83d 428332 2b4e31
65b946 66ba47 66ba47 66ba47 66ba47 66ba47 66ba47 66ba47 66ba47 66ba47 66ba47 66ba47 66ba47 5eb042 57a83d 57a83d
66ba47 66ba47 66ba47 66ba47 66ba47 66ba47 66ba47 66ba47 66ba47 66ba47 66ba47 66ba47 66ba47 66ba47 5aac3f 57a83d
)";
const char *const expected_match_cells = R"(
2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9
2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9
2498c9 2498c9 2598c5 3d9f97 3c9e94 3ea096 3c9e94 40a198 3e9e96 3fa196 3c9e94 3ea096 3b9c95 2598c5 2498c9 2498c9
2498c9 2498c9 4aa179 64b747 59ab3f 6bb345 58a93e 6dbd50 5fac47 65b946 59aa3e 64b745 5cac41 479e77 2498c9 2498c9
2498c9 3d9b8c 68b94c 5aa93e 69ad42 62a543 5ba645 6fbf53 61ae4a 63b645 5ca43e 5eaf41 63b645 5ba943 3c9a8c 2498c9
32979f 68b550 60b343 58aa3e 66b947 5bad40 5cae41 6fbf53 61ae4a 61b443 5faf43 65a73e 65b846 5daf41 5da849 32989f
6bb160 6ebd52 62af4a 68b64e 6fbd53 62ae4a 68b64e 7ac361 6db458 68b64e 6fbd53 62ae4a 68b64e 6ebd52 62af4a 65aa5c
3b8159 3b8159 3b8159 3b8259 3b8259 3b8259 3b8259 3b8259 3b8259 3b8259 3b8259 3b8259 3b8259 3b8259 3b8259 3b8259
2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9 2498c9
)";

constexpr int cell_tolerance = 6;

TEST(SceneLook, TitleAndMatchViewsKeepTheirColours) {
    Scene scene;
    for (const auto &[view, expected] :
         {std::pair{title_view, expected_title_cells}, std::pair{match_view, expected_match_cells}}) {
        std::vector<Color> cells = render_cells(scene, view);
        EXPECT_EQ(cells_off(cells, parse_grid(expected), cell_tolerance), 0) << view.name << " view now reads:\n"
                                                                             << grid_text(cells);
    }
}

TEST(SceneLook, ModelsWithEveryMeshOnMaterial0LookTheSameOnceMapped) {
    Scene scene;
    std::vector<Color> engine_title = render_cells(scene, title_view);
    std::vector<Color> engine_match = render_cells(scene, match_view);

    // As raylib 5.0 loads them: the court loses its lines and stripes, the button its
    // navy base, the tomato its green leaves.
    for (Model *m : {&scene.court, &scene.button, &scene.armed_button, &scene.tomato}) put_every_mesh_on_material_0(*m);
    EXPECT_GT(cells_off(render_cells(scene, title_view), engine_title, cell_tolerance), 0);
    EXPECT_GT(cells_off(render_cells(scene, match_view), engine_match, cell_tolerance), 0);

    for (Model *m : {&scene.court, &scene.button, &scene.armed_button, &scene.tomato})
        EXPECT_TRUE(map_meshes_to_materials(m));
    EXPECT_EQ(cells_off(render_cells(scene, title_view), engine_title, 0), 0);
    EXPECT_EQ(cells_off(render_cells(scene, match_view), engine_match, 0), 0);
}

}  // namespace
