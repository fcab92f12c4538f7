// The way the game loads its models on raylib 5.0 (platform/obj_objects.h), checked
// on the engine: each object of a model file, loaded as a file of its own, and the
// parts joined, make the very model that the whole file makes.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/obj_objects.h"
#include "render/model_registry.h"
#include "support/colours.h"
#include "support/scratch_dir.h"
#include "support/test_window.h"

namespace {

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

int count_lines(const std::string &text, const char *start) {
    int n = 0;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) n += line.rfind(start, 0) == 0 ? 1 : 0;
    return n;
}

TEST(ObjObjects, EachObjectBecomesAFileOfItsOwnWithEveryVertex) {
    const std::string obj = "# a comment\n"
                            "mtllib m.mtl\n"
                            "v 0 0 0\nv 1 0 0\nv 0 1 0\n"
                            "o first\nusemtl a\ns off\nf 1 2 3\n"
                            "v 1 1 0\n"
                            "g second\nusemtl b\nf 2 4 3\nf -1 -2 -3\n"
                            "o third\nusemtl c\nf 1 2 4";  // no line end at the very end
    const std::vector<std::string> texts = obj_object_texts(obj);
    ASSERT_EQ(texts.size(), 3u);
    const std::string head = "# a comment\nmtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\n";
    EXPECT_EQ(texts[0], head + "o first\nusemtl a\ns off\nf 1 2 3\nv 1 1 0\n");
    EXPECT_EQ(texts[1], head + "v 1 1 0\ng second\nusemtl b\nf 2 4 3\nf -1 -2 -3\n");
    EXPECT_EQ(texts[2], head + "v 1 1 0\no third\nusemtl c\nf 1 2 4");

    // No object line: the file is one object.
    EXPECT_EQ(obj_object_texts("v 0 0 0\nf 1 1 1\n"), std::vector<std::string>{"v 0 0 0\nf 1 1 1\n"});
    EXPECT_EQ(obj_object_texts(""), std::vector<std::string>{""});
}

class GameModels : public ::testing::Test {
protected:
    void SetUp() override {
        test_support::open_test_window(64, 64, "obj objects test");
        dir = test_support::make_scratch_dir("obj_objects_");
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override {
        test_support::close_test_window();
        test_support::remove_scratch_dir(dir);
    }
    std::string dir;
};

void expect_same_floats(const float *a, const float *b, int count, const std::string &what) {
    ASSERT_EQ(a == nullptr, b == nullptr) << what;
    if (a == nullptr) return;
    EXPECT_EQ(std::memcmp(a, b, sizeof(float) * static_cast<std::size_t>(count)), 0) << what;
}

TEST_F(GameModels, JoiningTheObjectsOfEachFileGivesTheWholeFilesModel) {
    struct File {
        const char *name;
        std::vector<int> triangles;  // per object, as in the count
    };
    const File files[] = {{"grass", {10, 10, 92, 76, 10}}, {"button", {}}, {"tomato", {1840, 460, 50}}};
    for (const File &file : files) {
        SCOPED_TRACE(file.name);
        const std::string path = std::string("assets/models/") + file.name;
        const std::string obj = read_file(path + ".obj");
        write_file(dir + "/" + file.name + ".mtl", read_file(path + ".mtl"));
        const std::vector<std::string> texts = obj_object_texts(obj);
        ASSERT_EQ(static_cast<int>(texts.size()), count_lines(obj, "o "));

        std::vector<Model> parts;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            EXPECT_EQ(count_lines(texts[i], "o "), 1);
            EXPECT_EQ(count_lines(texts[i], "v "), count_lines(obj, "v "));
            const std::string part_path = dir + "/" + file.name + "_" + std::to_string(i) + ".obj";
            write_file(part_path, texts[i]);
            parts.push_back(LoadModel(part_path.c_str()));
            ASSERT_EQ(parts.back().meshCount, 1);
            // The engine puts the mesh on its object's material; raylib 5.0 leaves
            // every mesh on material 0, and so does this test, to join what 5.0 gives.
            EXPECT_EQ(parts.back().meshMaterial[0], static_cast<int>(i));
            parts.back().meshMaterial[0] = 0;
        }
        Model joined = join_models(parts.data(), static_cast<int>(parts.size()));
        for (const Model &part : parts) EXPECT_EQ(part.meshes, nullptr) << "the parts are used up";
        Model whole = LoadModel((path + ".obj").c_str());

        ASSERT_EQ(joined.meshCount, whole.meshCount);
        ASSERT_EQ(joined.materialCount, whole.materialCount);
        for (int m = 0; m < joined.meshCount; ++m) {
            const Mesh &a = joined.meshes[m], &b = whole.meshes[m];
            const std::string what = "mesh " + std::to_string(m);
            ASSERT_EQ(a.vertexCount, b.vertexCount) << what;
            EXPECT_EQ(a.triangleCount, b.triangleCount) << what;
            if (!file.triangles.empty()) {
                EXPECT_EQ(a.triangleCount, file.triangles[static_cast<std::size_t>(m)]) << what;
            }
            expect_same_floats(a.vertices, b.vertices, a.vertexCount * 3, what + " positions");
            expect_same_floats(a.normals, b.normals, a.vertexCount * 3, what + " normals");
            expect_same_floats(a.texcoords, b.texcoords, a.vertexCount * 2, what + " texture coordinates");
        }
        for (int k = 0; k < joined.materialCount; ++k) {
            const Color a = joined.materials[k].maps[MATERIAL_MAP_ALBEDO].color;
            const Color b = whole.materials[k].maps[MATERIAL_MAP_ALBEDO].color;
            EXPECT_TRUE(test_support::same(a, b)) << "material " << k;
            EXPECT_EQ(joined.materials[k].maps[MATERIAL_MAP_NORMAL].value,
                      whole.materials[k].maps[MATERIAL_MAP_NORMAL].value)
                << "material " << k;
        }
        // The game's pairing then gives mesh i material i, which the whole file has.
        for (int m = 0; m < joined.meshCount; ++m) EXPECT_EQ(joined.meshMaterial[m], 0);
        EXPECT_TRUE(map_meshes_to_materials(&joined));
        for (int m = 0; m < joined.meshCount; ++m) EXPECT_EQ(joined.meshMaterial[m], whole.meshMaterial[m]);
        UnloadModel(joined);
        UnloadModel(whole);
    }
}

}  // namespace
