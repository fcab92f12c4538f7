// Every asset the game loads is in place, and the committed files are exactly what
// the generator makes: running it again changes nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "asset_support.h"

namespace {

namespace fs = std::filesystem;

std::string read_bytes(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Relative path -> bytes of every regular file below root, except `skip` (a top-level
// folder name).
std::map<std::string, std::string> tree(const fs::path &root, const std::string &skip = "") {
    std::map<std::string, std::string> files;
    for (const auto &entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        fs::path rel = fs::relative(entry.path(), root);
        if (!skip.empty() && *rel.begin() == skip) continue;
        files[rel.generic_string()] = read_bytes(entry.path());
    }
    return files;
}

struct ScratchDir {
    fs::path path;
    ScratchDir() {
        std::string templ = (fs::temp_directory_path() / "vorbel-assets-XXXXXX").string();
        if (mkdtemp(templ.data()) != nullptr) path = templ;
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!path.empty()) fs::remove_all(path, ignored);
    }
};

bool generate_into(const fs::path &out) {
    // The generator is plain Python: keep the test's sanitizer preload away from it.
    std::string command = "env -u LD_PRELOAD python3 tools/gen_assets.py --out '" + (out / "assets").string() +
                          "' --icons '" + (out / "icons").string() + "'";
    return std::system(command.c_str()) == 0;
}

TEST(AssetFiles, EveryFileTheGameLoadsIsPresentAndNotEmpty) {
    for (const char *path : asset_test::game_asset_paths) {
        std::error_code ec;
        EXPECT_TRUE(fs::is_regular_file(path, ec)) << path;
        EXPECT_GT(fs::file_size(path, ec), 0u) << path;
    }
    // The font's licence travels with it.
    EXPECT_TRUE(fs::is_regular_file("assets/fonts/GloriaHallelujah-OFL.txt"));
}

TEST(AssetGenerator, RunsAreIdenticalAndMatchTheCommittedFiles) {
    ScratchDir first, second;
    ASSERT_FALSE(first.path.empty());
    ASSERT_FALSE(second.path.empty());
    ASSERT_TRUE(generate_into(first.path));
    ASSERT_TRUE(generate_into(second.path));
    auto a = tree(first.path / "assets"), b = tree(second.path / "assets");
    ASSERT_FALSE(a.empty());
    EXPECT_TRUE(a == b) << "two runs of the generator differ";
    EXPECT_TRUE(tree(first.path / "icons") == tree("packaging/icons")) << "regenerate and commit the icons";

    // The font is the one file that does not come from the generator.
    auto committed = tree("assets", "fonts");
    for (const auto &[rel, bytes] : a) {
        auto it = committed.find(rel);
        if (it == committed.end()) {
            ADD_FAILURE() << rel << " is generated but not in assets/";
            continue;
        }
        EXPECT_TRUE(it->second == bytes) << rel << " differs from a fresh run: regenerate and commit";
    }
    for (const auto &[rel, bytes] : committed) {
        EXPECT_TRUE(a.count(rel) == 1) << rel << " is in assets/ but the generator does not make it";
    }
}

}  // namespace
