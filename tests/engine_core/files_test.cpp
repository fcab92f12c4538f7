// File helpers and logging, which need no window.
#include <gtest/gtest.h>

#include <unistd.h>
#include <utime.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "raylib.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "testing.h"

namespace {

class Files : public ::testing::Test {
protected:
    void SetUp() override {
        dir = test_support::make_scratch_dir("engine_files_");
        ASSERT_FALSE(dir.empty());
        path = dir + "/settings.cfg";
    }

    void TearDown() override { test_support::remove_scratch_dir(dir); }

    void write(const char *text) {
        FILE *f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs(text, f);
        std::fclose(f);
    }

    std::string dir, path;
};

TEST_F(Files, ModificationTimeFollowsTheFile) {
    EXPECT_EQ(GetFileModTime(path.c_str()), 0);  // missing file
    write("a");
    struct utimbuf times = {1000000000, 1000000000};
    ASSERT_EQ(utime(path.c_str(), &times), 0);
    EXPECT_EQ(GetFileModTime(path.c_str()), 1000000000L);
    times.modtime = 1000000123;
    ASSERT_EQ(utime(path.c_str(), &times), 0);
    EXPECT_EQ(GetFileModTime(path.c_str()), 1000000123L);
    EXPECT_EQ(GetFileModTime(nullptr), 0);
}

TEST_F(Files, LoadFileTextAndData) {
    write("line one\r\nline two");
    EXPECT_TRUE(FileExists(path.c_str()));
    char *text = LoadFileText(path.c_str());
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "line one\r\nline two");
    UnloadFileText(text);

    int size = -1;
    unsigned char *data = LoadFileData(path.c_str(), &size);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(size, 18);
    UnloadFileData(data);

    {
        const test_support::LogCapture log;
        EXPECT_EQ(LoadFileText((dir + "/missing.rgs").c_str()), nullptr);
        EXPECT_TRUE(testing_log_contains(LOG_WARNING, "missing.rgs"));
    }
    EXPECT_FALSE(FileExists((dir + "/missing.rgs").c_str()));
}

char *served_text(const char *fileName) {
    if (fileName == nullptr || std::strcmp(fileName, "served.txt") != 0) return nullptr;
    char *text = static_cast<char *>(MemAlloc(7));
    if (text != nullptr) std::memcpy(text, "served", 6);  // the seventh byte is MemAlloc's zero
    return text;
}

// raylib's text callback: while set, LoadFileText asks it and nothing else; what it
// hands out comes from MemAlloc, which zero-fills, and goes back with UnloadFileText.
TEST_F(Files, ATextCallbackStandsInForTheFileWhileSet) {
    write("on disk");
    SetLoadFileTextCallback(served_text);
    char *text = LoadFileText("served.txt");
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "served");
    UnloadFileText(text);
    EXPECT_EQ(LoadFileText(path.c_str()), nullptr) << "the callback answers for every file";
    SetLoadFileTextCallback(nullptr);
    text = LoadFileText(path.c_str());
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "on disk");
    UnloadFileText(text);

    auto *block = static_cast<unsigned char *>(MemAlloc(64));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(block[i], 0) << i;
    MemFree(block);
    MemFree(nullptr);
}

TEST_F(Files, DirectoryOfAPath) {
    EXPECT_STREQ(GetDirectoryPath("assets/ui_theme.rgs"), "assets");
    EXPECT_STREQ(GetDirectoryPath("/a/b/c.ttf"), "/a/b");
    EXPECT_STREQ(GetDirectoryPath("/c.ttf"), "/");
    EXPECT_STREQ(GetDirectoryPath("c.ttf"), ".");
}

TEST_F(Files, ImageWithAnAbsurdSizeIsRefusedBeforeDecoding) {
    // A PNG header claiming 100000 × 100000 pixels and no image data.
    const unsigned char png[] = {0x89, 'P',  'N',  'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0,
                                 1,    0x86, 0xa0, 0,   1,    0x86, 0xa0, 8,    6, 0, 0, 0,  0,   0,   0,   0};
    std::string big = dir + "/big.png";
    FILE *f = std::fopen(big.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(png, 1, sizeof(png), f);
    std::fclose(f);
    {
        const test_support::LogCapture log;
        Image img = LoadImage(big.c_str());
        EXPECT_EQ(img.data, nullptr);
        EXPECT_TRUE(testing_log_contains(LOG_WARNING, "big.png"));
    }
    std::remove(big.c_str());
}

TEST(Logging, LevelPrefixesAndThreshold) {
    {
        const test_support::LogCapture log;
        TraceLog(LOG_INFO, "one %d", 1);
        TraceLog(LOG_WARNING, "two");
        TraceLog(LOG_ERROR, "three");
        SetTraceLogLevel(LOG_WARNING);
        TraceLog(LOG_INFO, "hidden");
        SetTraceLogLevel(LOG_INFO);
        std::vector<std::string> lines = testing_captured_log();
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0], "INFO: one 1");
        EXPECT_EQ(lines[1], "WARNING: two");
        EXPECT_EQ(lines[2], "ERROR: three");
    }

    // TextFormat's buffers rotate: a few results stay valid together.
    const char *a = TextFormat("%d", 1);
    const char *b = TextFormat("%d", 2);
    const char *c = TextFormat("%d", 3);
    EXPECT_STREQ(a, "1");
    EXPECT_STREQ(b, "2");
    EXPECT_STREQ(c, "3");
    std::string longer(3000, 'x');
    const char *cut = TextFormat("%s", longer.c_str());
    EXPECT_EQ(std::strlen(cut), 1023u);
}

}  // namespace
