// The browser build's GL ES 3.0 context takes the game's GLSL 330 shaders through
// glsl_for_es; every shipped shader must come out as valid GLSL ES 3.00.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "internal.h"
#include "support/files.h"
#include "support/scratch_dir.h"

namespace {

constexpr const char *precisions = "precision highp float;\nprecision highp int;\nprecision highp sampler2D;\n";

TEST(GlslForEs, VersionLineBecomesEsAndPrecisionsFollowIt) {
    struct Row {
        const char *name;
        const char *in;
        std::string out;
    };
    const std::string es = "#version 300 es\n";
    const Row rows[] = {
        {"plain", "#version 330\nvoid main() {}\n", es + precisions + "void main() {}\n"},
        {"core profile, spaced", "  #  version 330 core\nvoid main() {}\n", es + precisions + "void main() {}\n"},
        {"CRLF line ends", "#version 330\r\nvoid main() {}\r\n", es + precisions + "void main() {}\r\n"},
        {"comment before the version", "// depth only\n\n#version 330\nvoid main() {}\n",
         es + precisions + "void main() {}\n"},
        {"no version line", "void main() {}\n", es + precisions + "void main() {}\n"},
        {"extensions stay first", "#version 330\n#extension GL_EXT_a : enable\n#extension GL_EXT_b : enable\nint x;\n",
         es + "#extension GL_EXT_a : enable\n#extension GL_EXT_b : enable\n" + precisions + "int x;\n"},
        {"a later #version-like word is code", "#version 330\n#define versioned 1\n",
         es + precisions + "#define versioned 1\n"},
        {"no final newline", "#version 330", es + precisions},
        {"empty", "", es + precisions},
    };
    for (const Row &row : rows) EXPECT_EQ(engine::glsl_for_es(row.in), row.out) << row.name;
}

// glslangValidator is the Khronos reference compiler; it checks the rewritten text
// against the GLSL ES 3.00 rules (no implicit int to float, precisions, ...).
TEST(GlslForEs, EveryShippedShaderIsValidGlslEs300) {
    namespace fs = std::filesystem;
    ASSERT_EQ(std::system("command -v glslangValidator > /dev/null"), 0)
        << "glslangValidator is missing (Debian's glslang-tools; scripts/setup.sh installs it)";
    const std::string dir = test_support::make_scratch_dir("vorbel_glsl_es_");
    ASSERT_FALSE(dir.empty());
    int checked = 0;
    for (const fs::directory_entry &entry : fs::directory_iterator("assets/shaders/glsl330")) {
        const std::string ext = entry.path().extension().string();
        if (ext != ".vs" && ext != ".fs") continue;
        const std::string source = test_support::read_file(entry.path().string());
        const std::string out = dir + "/" + entry.path().stem().string() + (ext == ".vs" ? "_vs.vert" : "_fs.frag");
        test_support::write_file(out, engine::glsl_for_es(source));
        const std::string command = "glslangValidator " + out + " > " + out + ".log 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << entry.path() << ":\n" << test_support::read_file(out + ".log");
        checked++;
    }
    EXPECT_GE(checked, 5) << "the shader folder lost files";
    test_support::remove_scratch_dir(dir);
}

}  // namespace
