// The three models load through the engine with the sizes the gameplay assumes and
// the materials the renderer relies on.
#include <gtest/gtest.h>

#include <cfloat>
#include <fstream>
#include <string>
#include <vector>

#include "asset_support.h"
#include "raylib.h"
#include "raymath.h"
#include "render/model_registry.h"

namespace {

using asset_test::Window;

struct Bounds {
    Vector3 min{FLT_MAX, FLT_MAX, FLT_MAX};
    Vector3 max{-FLT_MAX, -FLT_MAX, -FLT_MAX};
};

Bounds model_bounds(const Model &model) {
    Bounds b;
    for (int m = 0; m < model.meshCount; ++m) {
        BoundingBox box = GetMeshBoundingBox(model.meshes[m]);
        b.min = Vector3Min(b.min, box.min);
        b.max = Vector3Max(b.max, box.max);
    }
    return b;
}

Vector3 vertex(const Mesh &mesh, int triangle, int corner) {
    int i = mesh.indices ? mesh.indices[triangle * 3 + corner] : triangle * 3 + corner;
    return {mesh.vertices[i * 3], mesh.vertices[i * 3 + 1], mesh.vertices[i * 3 + 2]};
}

Vector3 normal(const Mesh &mesh, int triangle, int corner) {
    int i = mesh.indices ? mesh.indices[triangle * 3 + corner] : triangle * 3 + corner;
    return {mesh.normals[i * 3], mesh.normals[i * 3 + 1], mesh.normals[i * 3 + 2]};
}

Color albedo(const Model &model, int material) { return model.materials[material].maps[MATERIAL_MAP_ALBEDO].color; }

// The window and one of the game's model files, loaded for a test and unloaded after it.
struct GameModel {
    explicit GameModel(const char *path) : model(LoadModel(path)) {}
    ~GameModel() { UnloadModel(model); }
    GameModel(const GameModel &) = delete;
    GameModel &operator=(const GameModel &) = delete;
    Window window;
    Model model;
};

// Width along x and depth along z, each `side` within `tol`.
void expect_footprint(const Bounds &b, float side, float tol) {
    EXPECT_NEAR(b.max.x - b.min.x, side, tol);
    EXPECT_NEAR(b.max.z - b.min.z, side, tol);
}

bool same(Vector3 a, Vector3 b) { return Vector3DistanceSqr(a, b) < 1e-10f; }

bool is_green(Color c) { return c.g > c.r + 30 && c.g > c.b + 30; }
bool is_white(Color c) { return c.r > 220 && c.g > 220 && c.b > 210; }

// Top-facing area of the triangles of the meshes with white material whose centres
// satisfy `where`.
template <typename Where>
float white_top_area(const Model &model, Where where) {
    float area = 0.0f;
    for (int m = 0; m < model.meshCount; ++m) {
        if (!is_white(albedo(model, model.meshMaterial[m]))) continue;
        const Mesh &mesh = model.meshes[m];
        for (int t = 0; t < mesh.triangleCount; ++t) {
            Vector3 a = vertex(mesh, t, 0), b = vertex(mesh, t, 1), c = vertex(mesh, t, 2);
            Vector3 n = Vector3CrossProduct(Vector3Subtract(b, a), Vector3Subtract(c, a));
            Vector3 centre = Vector3Scale(Vector3Add(Vector3Add(a, b), c), 1.0f / 3.0f);
            if (n.y > 0.0f && where(centre)) area += 0.5f * Vector3Length(n);
        }
    }
    return area;
}

TEST(CourtModel, TopIsTheGroundPlaneAndCoversThePlayingArea) {
    const GameModel file("assets/models/grass.obj");
    const Model &court = file.model;
    ASSERT_GT(court.meshCount, 0);
    Bounds b = model_bounds(court);
    // Placed at y = -0.05, its top must be the plane y = 0 the tomatoes stand on.
    EXPECT_NEAR(b.max.y, 0.05f, 1e-4f);
    EXPECT_LT(b.min.y, 0.0f) << "the court should have a slab edge below its top";
    EXPECT_LE(b.min.x, -12.5f);
    EXPECT_GE(b.max.x, 12.5f);
    EXPECT_LE(b.min.z, -6.5f);
    EXPECT_GE(b.max.z, 5.5f);
}

TEST(CourtModel, HasGrassAWhiteNetLineAndWhiteBoundaries) {
    const GameModel file("assets/models/grass.obj");
    const Model &court = file.model;
    ASSERT_GT(court.meshCount, 0);
    bool grass = false;
    for (int i = 0; i < court.materialCount; ++i) grass = grass || is_green(albedo(court, i));
    EXPECT_TRUE(grass);

    // The net runs along x = 0 across the whole depth of the court, wide enough to see.
    float net = white_top_area(court, [](Vector3 c) { return std::fabs(c.x) < 0.3f; });
    EXPECT_GT(net, 12.0f * 0.12f);
    // Boundary lines along both ends and both sides.
    float ends = white_top_area(court, [](Vector3 c) { return std::fabs(std::fabs(c.x) - 12.5f) < 0.2f; });
    float back = white_top_area(court, [](Vector3 c) { return std::fabs(c.z + 6.5f) < 0.2f; });
    float front = white_top_area(court, [](Vector3 c) { return std::fabs(c.z - 5.5f) < 0.2f; });
    EXPECT_GT(ends, 2.0f * 12.0f * 0.05f);
    EXPECT_GT(back, 25.0f * 0.05f);
    EXPECT_GT(front, 25.0f * 0.05f);
    // Nothing white inside a half, away from the lines: the players' ground is grass.
    float inside = white_top_area(
        court, [](Vector3 c) { return std::fabs(c.x) > 0.5f && std::fabs(c.x) < 12.0f && c.z > -6.0f && c.z < 5.0f; });
    EXPECT_EQ(inside, 0.0f);
}

TEST(ButtonModel, SizeCentredAndIdleColourStandsApartFromArmedGrey) {
    const GameModel file("assets/models/button.obj");
    const Model &button = file.model;
    ASSERT_GT(button.meshCount, 0);
    ASSERT_GT(button.materialCount, 0);
    Bounds b = model_bounds(button);
    expect_footprint(b, 0.9f, 0.1f);
    EXPECT_NEAR(b.max.y - b.min.y, 0.2f, 0.02f);
    // Centred on its origin, so that at y = 0.1 it stands on the court.
    EXPECT_NEAR(b.min.y + b.max.y, 0.0f, 1e-3f);
    EXPECT_NEAR(b.min.x + b.max.x, 0.0f, 1e-3f);
    EXPECT_NEAR(b.min.z + b.max.z, 0.0f, 1e-3f);
    // The game recolours material 0 to grey (130) while armed; idle must read clearly
    // different and light.
    Color idle = albedo(button, 0);
    EXPECT_GT(asset_test::colour_distance(idle, Color{130, 130, 130, 255}), 150);
    EXPECT_GT(asset_test::luminance(idle), asset_test::luminance(Color{130, 130, 130, 255}) * 1.8);
}

TEST(TomatoModel, SizeOriginAndMaterials) {
    const GameModel file("assets/models/tomato.obj");
    const Model &tomato = file.model;
    ASSERT_GT(tomato.meshCount, 0);
    ASSERT_GE(tomato.materialCount, 2);
    Bounds b = model_bounds(tomato);
    expect_footprint(b, 0.6f, 0.05f);
    EXPECT_NEAR(b.min.y, 0.0f, 1e-3f) << "the origin is the bottom: it stands on the court";
    EXPECT_GT(b.max.y, 0.4f);
    EXPECT_LT(b.max.y, 0.7f);

    Color skin = albedo(tomato, 0);
    EXPECT_LE(asset_test::colour_distance(skin, Color{230, 41, 55, 255}), 30);
    float shininess = tomato.materials[0].maps[MATERIAL_MAP_NORMAL].value;
    EXPECT_GE(shininess, 100.0f) << "a glossy skin";
    EXPECT_LE(shininess, 1000.0f) << "shininess / 1000 must fit the albedo's alpha byte";
    bool leaves = false;
    for (int i = 1; i < tomato.materialCount; ++i) {
        leaves = leaves || is_green(albedo(tomato, i));
        EXPECT_GE(tomato.materials[i].maps[MATERIAL_MAP_NORMAL].value, 0.0f);
        EXPECT_LE(tomato.materials[i].maps[MATERIAL_MAP_NORMAL].value, 1000.0f);
    }
    EXPECT_TRUE(leaves) << "a green stem and leaves";
}

TEST(TomatoModel, SkinIsSmoothAndFacesOutwards) {
    const GameModel file("assets/models/tomato.obj");
    const Model &tomato = file.model;
    ASSERT_GT(tomato.meshCount, 0);
    int skin_triangles = 0, faceted = 0, inward = 0;
    for (int m = 0; m < tomato.meshCount; ++m) {
        if (tomato.meshMaterial[m] != 0) continue;
        const Mesh &mesh = tomato.meshes[m];
        ASSERT_NE(mesh.normals, nullptr);
        for (int t = 0; t < mesh.triangleCount; ++t) {
            ++skin_triangles;
            Vector3 n0 = normal(mesh, t, 0), n1 = normal(mesh, t, 1), n2 = normal(mesh, t, 2);
            if (same(n0, n1) && same(n1, n2)) ++faceted;
            Vector3 a = vertex(mesh, t, 0), b = vertex(mesh, t, 1), c = vertex(mesh, t, 2);
            Vector3 face = Vector3CrossProduct(Vector3Subtract(b, a), Vector3Subtract(c, a));
            // Winding and normals agree, and both point away from the body's middle.
            Vector3 centre = Vector3Scale(Vector3Add(Vector3Add(a, b), c), 1.0f / 3.0f);
            Vector3 out = Vector3Subtract(centre, Vector3{0.0f, 0.22f, 0.0f});
            if (Vector3DotProduct(face, Vector3Add(Vector3Add(n0, n1), n2)) <= 0.0f ||
                Vector3DotProduct(face, out) <= 0.0f)
                ++inward;
        }
    }
    ASSERT_GT(skin_triangles, 200) << "a round body needs more than a few facets";
    EXPECT_LT(faceted, skin_triangles / 10) << "vertex normals should be smoothed";
    EXPECT_EQ(inward, 0);
}

// raylib 5.0's loader makes one mesh per object and puts all of them on material 0,
// while it reads the material library in order. Each model file therefore holds one
// object per material, in the library's order, each using only its own material.
std::vector<std::string> words_after(const char *path, const char *keyword) {
    std::vector<std::string> words;
    std::ifstream in(path);
    std::string line;
    const std::string prefix = std::string(keyword) + " ";
    while (std::getline(in, line))
        if (line.rfind(prefix, 0) == 0) words.push_back(line.substr(prefix.size()));
    return words;
}

TEST(ModelFiles, OneObjectPerMaterialInTheLibrarysOrder) {
    for (const char *name : {"grass", "button", "tomato"}) {
        const std::string obj = std::string("assets/models/") + name + ".obj";
        const std::string mtl = std::string("assets/models/") + name + ".mtl";
        const std::vector<std::string> library = words_after(mtl.c_str(), "newmtl");
        ASSERT_FALSE(library.empty()) << mtl;
        EXPECT_EQ(words_after(obj.c_str(), "o"), library) << obj;
        EXPECT_EQ(words_after(obj.c_str(), "usemtl"), library) << obj;
        // Faces come only after an object has started, or a loader adds a nameless one.
        std::ifstream in(obj);
        std::string line;
        bool object = false;
        int stray_faces = 0;
        while (std::getline(in, line)) {
            object = object || line.rfind("o ", 0) == 0;
            stray_faces += !object && line.rfind("f ", 0) == 0 ? 1 : 0;
        }
        EXPECT_EQ(stray_faces, 0) << obj;
    }
}

Model hand_made(int mesh_count, int material_count, std::vector<int> &mesh_material, std::vector<Material> &materials) {
    Model model{};
    materials.assign(static_cast<std::size_t>(material_count), Material{});
    model.meshCount = mesh_count;
    model.materialCount = material_count;
    model.materials = materials.data();
    model.meshMaterial = mesh_material.empty() ? nullptr : mesh_material.data();
    return model;
}

TEST(MeshMaterialMapping, OnlyAModelWithEveryMeshOnMaterial0AndMatchingCountsIsRemapped) {
    struct Row {
        const char *what;
        int meshes, materials;
        std::vector<int> mesh_material;  // empty: no array at all
        bool remapped;
        std::vector<int> after;
    };
    const Row rows[] = {
        {"every mesh on material 0", 3, 3, {0, 0, 0}, true, {0, 1, 2}},
        {"already mapped", 3, 3, {0, 1, 2}, false, {0, 1, 2}},
        {"mapped otherwise", 3, 3, {0, 2, 0}, false, {0, 2, 0}},
        {"an extra material", 3, 4, {0, 0, 0}, false, {0, 0, 0}},
        {"more meshes than materials", 4, 3, {0, 0, 0, 0}, false, {0, 0, 0, 0}},
        {"one mesh, one material", 1, 1, {0}, false, {0}},
        {"no mesh-material array", 2, 2, {}, false, {}},
    };
    for (const Row &row : rows) {
        std::vector<int> mesh_material = row.mesh_material;
        std::vector<Material> materials;
        Model model = hand_made(row.meshes, row.materials, mesh_material, materials);
        EXPECT_EQ(map_meshes_to_materials(&model), row.remapped) << row.what;
        EXPECT_EQ(mesh_material, row.after) << row.what;
        EXPECT_EQ(model.meshCount, row.meshes) << row.what;
        EXPECT_EQ(model.materialCount, row.materials) << row.what;
    }
}

TEST(MeshMaterialMapping, TheEnginesLoaderAlreadyPairsTheGeneratedModels) {
    Window window;
    for (const char *path : {"assets/models/grass.obj", "assets/models/button.obj", "assets/models/tomato.obj"}) {
        Model model = LoadModel(path);
        ASSERT_GT(model.meshCount, 1) << path;
        EXPECT_EQ(model.meshCount, model.materialCount) << path;
        for (int i = 0; i < model.meshCount; ++i) EXPECT_EQ(model.meshMaterial[i], i) << path;
        EXPECT_FALSE(map_meshes_to_materials(&model)) << path;
        UnloadModel(model);
    }
}

}  // namespace
