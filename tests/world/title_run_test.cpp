// One real run: start-up, 120 frames of the title scene, shutdown. Runs in a child
// process so that its exit code, including LeakSanitizer's verdict at exit, is the
// result. Inside, every check that fails prints why and picks its own exit code.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "app/frame_loop.h"
#include "app/game_state.h"
#include "app_fixture.h"
#include "render/model_registry.h"
#include "render/particles.h"
#include "render/shadow_scene.h"
#include "settings/startup.h"
#include "support/child_process.h"
#include "support/game_frame.h"
#include "support/game_globals.h"
#include "support/scratch_dir.h"
#include "testing.h"
#include "ui/theme.h"

namespace {

[[noreturn]] void fail(int code, const char *why) {
    std::fprintf(stderr, "title run: %s\n", why);
    std::fflush(stderr);
    std::_Exit(code);  // no shutdown ran: skip the exit-time leak check
}

// Draws the shadow map's depth texture onto the screen and reads it back: a depth
// texture samples as grey levels.
int distinct_depth_levels() {
    BeginDrawing();
    ClearBackground(Color{0, 0, 0, 255});
    Texture2D depth = shadow_scene.shadow_map.depth;
    DrawTexturePro(depth, Rectangle{0, 0, static_cast<float>(depth.width), static_cast<float>(depth.height)},
                   Rectangle{0, 0, 256, 256}, Vector2{0, 0}, 0.0f, Color{255, 255, 255, 255});
    Image img = testing_read_frame();
    EndDrawing();
    if (img.data == nullptr) return 0;
    bool seen[256] = {};
    int levels = 0;
    for (int y = 0; y < 256; y += 2) {
        for (int x = 0; x < 256; x += 2) {
            unsigned char r = GetImageColor(img, x, y).r;
            if (!seen[r]) ++levels;
            seen[r] = true;
        }
    }
    UnloadImage(img);
    return levels;
}

void run_title_scene() {
    test_support::StartedGame game;
    if (!test_support::start_game(game, "vorbel-world-", nullptr, 1.0 / 60.0)) fail(3, "start-up failed");

    for (int i = 0; i < 119; ++i) run_frame();
    // The 120th frame, read back before it is presented.
    update_game(scaled_frame_delta(GetFrameTime(), 1.0));
    Image frame = test_support::draw_game_frame();
    if (frame.data == nullptr) fail(4, "no frame read back");
    if (const char *dump = std::getenv("VORBEL_DUMP_FRAME")) ExportImage(frame, dump);

    // The idle tomato has landed at player 1's start and shows red on screen.
    const ModelInstance *tomato = game_state.players[0].instance;
    if (tomato->position.y != 0.0) fail(5, "the tomato did not land");
    // Seen from above, the stalk and leaves sit on top; around them the body is red.
    Vector2 at = project_to_screen(
        Vector3{static_cast<float>(tomato->position.x), 0.15f, static_cast<float>(tomato->position.z)});
    int red = 0, total = 0;
    for (int dy = -30; dy <= 30; dy += 3) {
        for (int dx = -30; dx <= 30; dx += 3) {
            red += is_reddish(GetImageColor(frame, static_cast<int>(at.x) + dx, static_cast<int>(at.y) + dy)) ? 1 : 0;
            ++total;
        }
    }
    if (red * 2 < total) {
        std::fprintf(stderr, "tomato at (%.0f, %.0f): %d of %d red\n", at.x, at.y, red, total);
        fail(6, "the tomato's pixels are not red");
    }

    // The FPS counter in the top right corner.
    if (test_support::fps_counter_pixels(frame, 0) < 20) fail(7, "no FPS counter");
    UnloadImage(frame);

    // The shadow pass wrote a depth image with real relief, not a cleared map.
    if (distinct_depth_levels() < 8) fail(8, "the shadow map holds no varied depth");

    test_support::stop_game(game);
    std::exit(0);
}

}  // namespace

TEST(TitleRun, StartsRuns120FramesAndShutsDownCleanly) { test_support::expect_clean_exit_in_child(run_title_scene); }

namespace {

// A second start-up in the same process (as test programs do) must build a fresh
// scene, not draw the models the first shutdown released.
void start_twice() {
    const test_support::ScratchCwd dir = test_support::enter_scratch_dir("vorbel-world-", true);
    if (dir.path.empty()) fail(2, "no scratch directory");
    testing_set_fixed_frame_time(1.0 / 60.0);
    for (int round = 0; round < 2; ++round) {
        if (!init_app()) fail(3, "start-up failed");
        if (model_count != 47) fail(4, "the scene does not hold its 47 instances");
        // Untextured materials get this start-up's transparent texture, not an id the
        // previous window used that now names another texture.
        const Texture2D blank = blank_texture();
        if (blank.id == particle_texture.id || blank.id == title_font.texture.id || blank.id == menu_font.texture.id)
            fail(5, "the shared transparent texture is stale");
        if (game_state.players[0].instance->model.materials[0].maps[MATERIAL_MAP_ALBEDO].texture.id != blank.id)
            fail(6, "the tomato's untextured material lacks the transparent texture");
        for (int i = 0; i < 3; ++i) run_frame();
        deinit_app();
    }
    testing_set_fixed_frame_time(-1.0);
    test_support::leave_scratch_dir(dir);
    std::exit(0);
}

}  // namespace

TEST(TitleRun, StartsTwiceInOneProcess) { test_support::expect_clean_exit_in_child(start_twice); }
