// Files prefetched on worker threads: a load that takes a prefetched result logs and
// returns exactly what a plain load does, each load owns its data, and nothing stale is
// ever handed out (a file changed after its decode, or anything after the next frame).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "engine_prefetch.h"
#include "raylib.h"
#include "support/colours.h"
#include "support/files.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "support/test_window.h"
#include "support/wav_file.h"
#include "testing.h"

namespace {

const char *const triangle_obj = "mtllib t.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl red\nf 1 2 3\n";
const char *const two_triangles_obj = "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nf 1 2 3\nf 2 4 3\n";

class Prefetch : public test_support::WindowSuite<64, 64>, protected test_support::ScratchFiles {
protected:
    void SetUp() override { ASSERT_FALSE(dir.empty()); }
    void TearDown() override { frame(); }  // drops whatever a test prefetched and did not load
    static void frame() {
        BeginDrawing();
        EndDrawing();
    }
};

// What a load printed and what it gave, with GL object ids taken out (two loads of one
// file get different ones).
struct Outcome {
    std::vector<std::string> log;
    std::string result;
};

Outcome run_load(const std::function<std::string()> &load) {
    test_support::LogCapture capture;
    Outcome o;
    o.result = load();
    static const std::regex id("\\[ID [0-9]+\\]");
    for (const std::string &line : testing_captured_log()) o.log.push_back(std::regex_replace(line, id, "[ID n]"));
    return o;
}

std::string wave_summary(const char *file) {
    Wave w = LoadWave(file);
    std::string s = std::to_string(w.frameCount) + "/" + std::to_string(w.channels);
    if (w.data != nullptr) s += "/" + std::to_string(static_cast<const float *>(w.data)[w.frameCount / 2]);
    UnloadWave(w);
    return s;
}

std::string image_summary(const char *file) {
    Image img = LoadImage(file);
    std::string s = std::to_string(img.width) + "x" + std::to_string(img.height);
    if (img.data != nullptr) {
        Color c = GetImageColor(img, img.width - 1, img.height - 1);
        s += "/" + test_support::rgb(c);
    }
    UnloadImage(img);
    return s;
}

std::string model_summary(const char *file) {
    Model m = LoadModel(file);
    std::string s = std::to_string(m.meshCount) + "/" + std::to_string(m.materialCount);
    for (int i = 0; i < m.meshCount; ++i) s += "/" + std::to_string(m.meshes[i].vertexCount);
    if (m.materialCount > 0 && m.materials[0].maps != nullptr)
        s += "/r" + std::to_string(m.materials[0].maps[MATERIAL_MAP_ALBEDO].color.r);
    UnloadModel(m);
    return s;
}

std::string font_summary(const char *file, int size) {
    Font f = LoadFontEx(file, size, nullptr, 0);
    std::string s = std::to_string(f.baseSize) + "/" + std::to_string(f.glyphCount) + "/" +
                    std::to_string(f.texture.width) + "x" + std::to_string(f.texture.height);
    if (f.recs != nullptr && f.glyphCount > 33)
        s += "/" + std::to_string(static_cast<int>(f.recs[33].width)) + "," + std::to_string(f.glyphs[33].advanceX);
    UnloadFont(f);
    return s;
}

TEST_F(Prefetch, TakenResultsLogAndLoadLikePlainLoads) {
    std::vector<std::int16_t> pcm(2205);
    for (std::size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<std::int16_t>((i * 37) % 2000 - 1000);
    ASSERT_TRUE(test_support::write_wav_file(path("ok.wav"), 1, 1, 22050, 16, pcm.data(),
                                             static_cast<std::uint32_t>(pcm.size() * 2)));
    test_support::write_file(path("garbage.wav"), std::string(300, 'x'));
    Image red = GenImageColor(5, 3, Color{200, 10, 20, 255});
    ASSERT_TRUE(ExportImage(red, path("ok.png").c_str()));
    UnloadImage(red);
    test_support::write_file(path("cut.png"), test_support::read_file(path("ok.png")).substr(0, 40));
    test_support::write_file(path("ok.obj"), triangle_obj);
    test_support::write_file(path("t.mtl"), "newmtl red\nKd 1 0 0\nNs 250\n");
    test_support::write_file(path("warned.obj"),
                             "v 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl nowhere\nf 1 2 3\nmtllib gone.mtl\n");
    test_support::write_file(path("empty.obj"), "");
    test_support::write_file(path("garbage.ttf"), std::string(500, '\x7f'));
    const std::string font = test_support::current_dir() + "/assets/fonts/GloriaHallelujah-Regular.ttf";

    struct Row {
        const char *name;
        std::string file;
        void (*prefetch)(const char *, int);
        std::function<std::string(const char *)> load;
        int size = 0;
    };
    auto wave = [](const char *f, int) { PrefetchWave(f); };
    auto image = [](const char *f, int) { PrefetchImage(f); };
    auto model = [](const char *f, int) { PrefetchModel(f); };
    auto font_at = [](const char *f, int size) { PrefetchFont(f, size); };
    const Row rows[] = {
        {"wave", path("ok.wav"), wave, wave_summary},
        {"missing wave", path("none.wav"), wave, wave_summary},
        {"garbage wave", path("garbage.wav"), wave, wave_summary},
        {"image", path("ok.png"), image, image_summary},
        {"missing image", path("none.png"), image, image_summary},
        {"cut image", path("cut.png"), image, image_summary},
        {"model", path("ok.obj"), model, model_summary},
        {"model with warnings", path("warned.obj"), model, model_summary},
        {"missing model", path("none.obj"), model, model_summary},
        {"empty model", path("empty.obj"), model, model_summary},
        {"font", font, font_at, [](const char *f) { return font_summary(f, 24); }, 24},
        {"garbage font", path("garbage.ttf"), font_at, [](const char *f) { return font_summary(f, 24); }, 24},
        {"missing font", path("none.ttf"), font_at, [](const char *f) { return font_summary(f, 24); }, 24},
    };
    for (const Row &row : rows) {
        const char *file = row.file.c_str();
        const Outcome plain = run_load([&] { return row.load(file); });
        row.prefetch(file, row.size);
        const Outcome taken = run_load([&] { return row.load(file); });
        EXPECT_EQ(taken.log, plain.log) << row.name;
        EXPECT_EQ(taken.result, plain.result) << row.name;
        EXPECT_FALSE(plain.log.empty()) << row.name;
        frame();
    }
}

TEST_F(Prefetch, LoadsOfOneFileShareTheDecodeButNotTheData) {
    test_support::write_file(path("t.obj"), two_triangles_obj);
    PrefetchModel(path("t.obj").c_str());
    Model a = LoadModel(path("t.obj").c_str());
    Model b = LoadModel(path("t.obj").c_str());
    ASSERT_EQ(a.meshCount, 1);
    ASSERT_EQ(b.meshCount, 1);
    EXPECT_NE(a.meshes[0].vaoId, b.meshes[0].vaoId);
    EXPECT_NE(a.meshes[0].vertices, b.meshes[0].vertices);
    UnloadModel(a);
    ASSERT_EQ(b.meshes[0].vertexCount, 6);
    EXPECT_EQ(b.meshes[0].vertices[3 * 4], 1.0f);  // the fifth corner is (1, 1, 0)
    UnloadModel(b);

    std::vector<float> samples(100, 0.25f);
    ASSERT_TRUE(test_support::write_wav_file(path("s.wav"), 3, 1, 44100, 32, samples.data(), 400));
    PrefetchWave(path("s.wav").c_str());
    Wave w1 = LoadWave(path("s.wav").c_str());
    Wave w2 = LoadWave(path("s.wav").c_str());
    ASSERT_NE(w1.data, nullptr);
    ASSERT_NE(w2.data, nullptr);
    EXPECT_NE(w1.data, w2.data);
    UnloadWave(w1);
    EXPECT_EQ(static_cast<const float *>(w2.data)[99], 0.25f);
    UnloadWave(w2);
}

TEST_F(Prefetch, NothingStaleIsHandedOut) {
    // Rewritten after the prefetch (before or after its decode): the load sees the new file.
    test_support::write_file(path("c.obj"), triangle_obj);
    test_support::write_file(path("t.mtl"), "newmtl red\nKd 1 0 0\n");
    PrefetchModel(path("c.obj").c_str());
    test_support::write_file(path("c.obj"), two_triangles_obj);
    EXPECT_EQ(model_summary(path("c.obj").c_str()), "1/1/6/r255");

    // Past the next frame the prefetch is over: a file removed since is missing.
    std::vector<std::int16_t> pcm(64, 100);
    ASSERT_TRUE(test_support::write_wav_file(path("gone.wav"), 1, 1, 44100, 16, pcm.data(), 128));
    PrefetchWave(path("gone.wav").c_str());
    frame();
    std::remove(path("gone.wav").c_str());
    test_support::LogCapture capture;
    Wave w = LoadWave(path("gone.wav").c_str());
    EXPECT_EQ(w.data, nullptr);
    EXPECT_TRUE(testing_log_contains(LOG_WARNING, "gone.wav"));
}

}  // namespace
