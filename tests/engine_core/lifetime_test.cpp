// Whole-program behaviour that only shows at process exit (LeakSanitizer) or in
// how the process ends: each scenario runs this test binary again as a child.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

#include "raylib.h"
#include "rlgl.h"

namespace {

struct ChildResult {
    int exit_code = -1;
    std::string output;
};

// Runs EngineChild.Run in a fresh process with the scenario in the environment.
ChildResult run_child(const char *scenario, const char *extra_env = "") {
    char self[4096] = {};
    ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    ChildResult r;
    if (n <= 0) return r;
    std::string cmd = std::string("VORBEL_ENGINE_CHILD=") + scenario + " " + extra_env + " '" + self +
                      "' --gtest_filter=EngineChild.Run 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    if (p == nullptr) return r;
    char buf[4096];
    size_t got;
    while ((got = std::fread(buf, 1, sizeof(buf), p)) > 0) r.output.append(buf, got);
    int status = pclose(p);
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

// Runs the scenario as run_child does and checks how it ended: its exit code, and
// that its output holds each of `present` and none of `absent`. A child that ends
// with 0 must also have passed its one test.
void expect_child(const char *scenario, const char *extra_env, int exit_code,
                  std::initializer_list<const char *> present, std::initializer_list<const char *> absent) {
    SCOPED_TRACE(std::string(scenario) + " " + extra_env);
    const ChildResult r = run_child(scenario, extra_env);
    EXPECT_EQ(r.exit_code, exit_code) << r.output;
    for (const char *text : present) EXPECT_NE(r.output.find(text), std::string::npos) << text << "\n" << r.output;
    for (const char *text : absent) EXPECT_EQ(r.output.find(text), std::string::npos) << text << "\n" << r.output;
    if (exit_code == 0) {
        EXPECT_NE(r.output.find("[  PASSED  ] 1 test"), std::string::npos) << r.output;
    }
}

std::string write_png(const std::string &dir) {
    std::string path = dir + "/tex.png";
    Image img = GenImageColor(8, 8, ORANGE);
    ExportImage(img, path.c_str());
    UnloadImage(img);
    return path;
}

const char *font_path() {
    const char *candidates[] = {"assets/fonts/GloriaHallelujah-Regular.ttf",
                                "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"};
    for (const char *c : candidates)
        if (FileExists(c)) return c;
    return "assets/fonts/missing.ttf";  // the built-in font then stands in
}

void draw_everything(Texture2D tex, Font font, RenderTexture2D rt) {
    BeginTextureMode(rt);
    ClearBackground(RED);
    EndTextureMode();
    BeginDrawing();
    ClearBackground(BLACK);
    DrawTexture(tex, 0, 0, WHITE);
    DrawTextEx(font, "vorbel", Vector2{10, 10}, 32, 1, WHITE);
    DrawTexturePro(rt.texture, Rectangle{0, 0, 16, -16}, Rectangle{50, 50, 16, 16}, Vector2{0, 0}, 0, WHITE);
    EndDrawing();
}

// The child side. Skipped when run as an ordinary test.
TEST(EngineChild, Run) {
    const char *scenario = std::getenv("VORBEL_ENGINE_CHILD");
    if (scenario == nullptr) GTEST_SKIP() << "runs only as a child of the lifetime tests";
    char tmpl[] = "/tmp/engine_life_XXXXXX";
    std::string dir = mkdtemp(tmpl);
    std::string png = write_png(dir);

    if (std::strcmp(scenario, "leave_alive") == 0) {
        SetConfigFlags(FLAG_MSAA_4X_HINT);
        InitWindow(64, 64, "child");
        Texture2D tex = LoadTexture(png.c_str());
        Font font = LoadFontEx(font_path(), 48, nullptr, 0);
        RenderTexture2D rt = LoadRenderTexture(16, 16);
        Shader shader = LoadShader(nullptr, "/nonexistent/x.fs");
        Image img = GenImageColor(4, 4, RED);
        unsigned int fbo = rlLoadFramebuffer(32, 32);
        unsigned int depth = rlLoadTextureDepth(32, 32, false);
        rlFramebufferAttach(fbo, depth, RL_ATTACHMENT_DEPTH, RL_ATTACHMENT_TEXTURE2D, 0);
        ASSERT_NE(tex.id, 0u);
        ASSERT_NE(rt.id, 0u);
        (void)shader;
        (void)img;
        draw_everything(tex, font, rt);
        CloseWindow();  // nothing unloaded: the engine releases it all
    } else if (std::strcmp(scenario, "unload_twice") == 0) {
        InitWindow(64, 64, "child");
        Texture2D tex = LoadTexture(png.c_str());
        Font font = LoadFontEx(font_path(), 48, nullptr, 0);
        RenderTexture2D rt = LoadRenderTexture(16, 16);
        Shader shader = LoadShader(nullptr, "/nonexistent/x.fs");
        draw_everything(tex, font, rt);
        for (int i = 0; i < 2; i++) {
            UnloadTexture(tex);
            UnloadFont(font);
            UnloadRenderTexture(rt);
            UnloadShader(shader);
        }
        UnloadFont(GetFontDefault());
        draw_everything(tex, GetFontDefault(), rt);  // stale ids draw nothing, harmlessly
        // A stale copy must not release a newer object that happens to reuse its
        // addresses or ids.
        Font again = LoadFontEx(font_path(), 48, nullptr, 0);
        Shader again_shader = LoadShader(nullptr, "/nonexistent/x.fs");
        UnloadFont(font);
        UnloadShader(shader);
        draw_everything(tex, again, rt);
        ASSERT_NE(again_shader.locs, nullptr);
        EXPECT_GE(again_shader.locs[SHADER_LOC_MATRIX_MVP], 0);
        UnloadFont(again);
        UnloadShader(again_shader);
        CloseWindow();
        CloseWindow();
    } else if (std::strcmp(scenario, "huge_window") == 0) {
        // Sizes X11 refuses (above 32767), at start and when leaving fullscreen as the
        // game does: the window is clamped to what the display takes and keeps working.
        InitWindow(70000, 40000, "child");
        ASSERT_TRUE(IsWindowReady());
        const int max_w = 2 * GetMonitorWidth(GetCurrentMonitor());
        const int max_h = 2 * GetMonitorHeight(GetCurrentMonitor());
        EXPECT_LE(GetScreenWidth(), max_w);
        EXPECT_LE(GetScreenHeight(), max_h);
        for (int size : {40000, 65536, 32768}) {
            ToggleFullscreen();
            ToggleFullscreen();
            SetWindowSize(size, size);
            for (int frame = 0; frame < 2; frame++) {
                BeginDrawing();
                ClearBackground(RED);
                EndDrawing();
            }
            EXPECT_GT(GetScreenWidth(), 320);
            EXPECT_LE(GetScreenWidth(), max_w);
            EXPECT_LE(GetScreenHeight(), max_h);
            EXPECT_LE(GetRenderWidth(), max_w);
        }
        SetWindowSize(320, 200);
        EXPECT_EQ(GetScreenWidth(), 320);
        CloseWindow();
    } else if (std::strcmp(scenario, "no_window") == 0) {
        InitWindow(64, 64, "child");  // with no usable video driver this ends the process
        ADD_FAILURE() << "InitWindow returned without a window";
    } else if (std::strcmp(scenario, "no_context") == 0) {
        // Calls that need a context, made without one: errors, empty results, no crash.
        Texture2D tex = LoadTexture(png.c_str());
        EXPECT_EQ(tex.id, 0u);
        EXPECT_EQ(LoadRenderTexture(8, 8).id, 0u);
        Shader s = LoadShader(nullptr, nullptr);
        EXPECT_EQ(s.id, 0u);
        ASSERT_NE(s.locs, nullptr);
        EXPECT_EQ(s.locs[SHADER_LOC_MATRIX_MVP], -1);
        BeginDrawing();
        ClearBackground(BLACK);
        DrawRectangle(0, 0, 10, 10, RED);
        DrawText("x", 0, 0, 10, RED);
        EndDrawing();
        EXPECT_TRUE(WindowShouldClose());
        UnloadShader(s);
        CloseWindow();
    } else {
        ADD_FAILURE() << "unknown scenario " << scenario;
    }
    std::remove(png.c_str());
    rmdir(dir.c_str());
}

TEST(EngineLifetime, ResourcesLeftAliveAreReleasedByCloseWindow) {
    expect_child("leave_alive", "", 0, {}, {"LeakSanitizer"});
}

TEST(EngineLifetime, UnloadingTwiceIsHarmless) { expect_child("unload_twice", "", 0, {}, {"ERROR: AddressSanitizer"}); }

TEST(EngineLifetime, NoVideoDeviceOrDisplayEndsWithAnErrorNotACrash) {
    // Without a display SDL would fall back to its offscreen driver and the program
    // would run unseen; only SDL_VIDEODRIVER=offscreen may ask for that.
    struct Row {
        const char *env;
        const char *message;
    };
    const Row rows[] = {
        {"SDL_VIDEODRIVER=no_such_driver", "ERROR: WINDOW:"},
        {"SDL_VIDEODRIVER= DISPLAY= WAYLAND_DISPLAY=", "neither DISPLAY nor WAYLAND_DISPLAY is set"},
        {"SDL_VIDEODRIVER= DISPLAY=:9731 WAYLAND_DISPLAY=", "no X server answers at DISPLAY=:9731"},
    };
    for (const Row &row : rows) expect_child("no_window", row.env, 1, {row.message}, {"AddressSanitizer"});
}

// An X server of its own for one test (Xvfb picks a free display number), or none
// when Xvfb is not installed.
struct Xvfb {
    pid_t pid = -1;
    std::string display;
    Xvfb() {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid = fork();
        if (pid == 0) {
            close(fds[0]);
            unsetenv("LD_PRELOAD");  // the sanitizer runtime is for this test, not the server
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x800x24", "-nolisten", "tcp",
                   "-noreset", static_cast<char *>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // The number comes as a line, maybe in pieces; the server stops if the pipe
        // closes before the whole line is read.
        std::string number;
        char c = 0;
        while (pid > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (c == '\n' && !number.empty()) display = ":" + number;
    }
    ~Xvfb() {
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
};

TEST(EngineLifetime, HugeWindowSizesAreClampedToWhatTheDisplayTakes) {
    expect_child("huge_window", "", 0, {"larger than the display can take"}, {});

    // On X11, where a side above 32767 is a BadValue that ends the process.
    Xvfb x;
    if (x.display.empty()) GTEST_SKIP() << "Xvfb is not available";
    expect_child("huge_window", ("SDL_VIDEODRIVER=x11 DISPLAY=" + x.display).c_str(), 0, {"video driver x11"}, {});
}

TEST(EngineLifetime, CallsWithoutAContextReportErrorsAndReturnEmpty) {
    expect_child("no_context", "", 0, {"ERROR: "}, {});
}

}  // namespace
