// The whole game on a desktop scaled to 200 %, faked through the engine's test hook:
// the window is not high-DPI, so its drawable is the window's size, and the title
// frame must come out as at 100 % (only the larger shadow map may differ) with clicks
// landing on the buttons drawn under them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/frame_loop.h"
#include "settings/display.h"
#include "support/child_process.h"
#include "support/files.h"
#include "support/game_frame.h"
#include "support/scratch_dir.h"
#include "support/game_globals.h"
#include "testing.h"
#include "ui/menu.h"

namespace {

constexpr double frame_dt = 1.0 / 60.0;

struct ScaledRun {
    float scale;
    std::string frame_path;  // the title frame's RGBA bytes, written by the child
};

// In a child process (the game starts once per process): starts the game at the
// scale, draws a few whole frames, keeps the last one, then clicks PLAY where the
// title screen draws it.
void play_title_at(const ScaledRun &run) {
    testing_set_window_scale_dpi(run.scale);
    testing_pull_audio(nullptr, 0);
    testing_mouse_move(1200.0f, 700.0f);  // away from every control
    const Settings defaults;
    test_support::StartedGame game;
    ASSERT_TRUE(test_support::start_game(game, "vorbel-dpi-", &defaults, frame_dt));
    EXPECT_FLOAT_EQ(GetWindowScaleDPI().x, run.scale);
    EXPECT_EQ(shadow_map_size, run.scale >= 2.0f ? 8192 : 4096) << "the shadow map follows the scale";
    ASSERT_EQ(GetRenderWidth(), 1280);

    for (int i = 0; i < 3; i++) run_frame();
    update_game(frame_dt);
    Image frame = test_support::draw_game_frame();
    ASSERT_NE(frame.data, nullptr);
    test_support::write_file(run.frame_path, std::string(static_cast<const char *>(frame.data),
                                                         static_cast<std::size_t>(frame.width) * frame.height * 4));
    // PLAY is drawn with its face at (60, 260): the frame shows the button there,
    // and a click there opens the play page.
    const auto *px = static_cast<const unsigned char *>(frame.data) + (260 * frame.width + 60) * 4;
    const Color sky = frame_clear_color;
    EXPECT_FALSE(px[0] == sky.r && px[1] == sky.g && px[2] == sky.b) << "no button drawn at PLAY's place";
    UnloadImage(frame);

    testing_mouse_move(60.0f, 260.0f);
    run_frame();
    testing_mouse_button_down(MOUSE_BUTTON_LEFT);
    run_frame();
    testing_mouse_button_up(MOUSE_BUTTON_LEFT);
    run_frame();
    EXPECT_EQ(menu_page, MenuPage::play) << "the click on PLAY missed";
    test_support::stop_game(game);
}

TEST(DesktopScale, TitleFrameAndClicksAreTheSameAtTwiceTheScale) {
    const std::string dir = test_support::make_scratch_dir("vorbel-dpi-frames-");
    ASSERT_FALSE(dir.empty());
    const ScaledRun at_one{1.0f, dir + "/one.rgba"};
    const ScaledRun at_two{2.0f, dir + "/two.rgba"};
    for (const ScaledRun &run : {at_one, at_two}) {
        SCOPED_TRACE(run.scale);
        test_support::in_fresh_process([&] { play_title_at(run); });
    }
    const std::string one = test_support::read_file(at_one.frame_path);
    const std::string two = test_support::read_file(at_two.frame_path);
    test_support::remove_scratch_dir(dir);
    ASSERT_EQ(one.size(), std::size_t{1280} * 720 * 4);
    ASSERT_EQ(two.size(), one.size());
    // Shadow edges move by a texel of the finer map; anything else is a fault (a
    // magnified frame differs in most of its pixels).
    std::size_t differing = 0;
    for (std::size_t i = 0; i < one.size(); i += 4) {
        for (std::size_t c = 0; c < 3; c++) {
            if (std::abs(static_cast<unsigned char>(one[i + c]) - static_cast<unsigned char>(two[i + c])) > 24) {
                differing++;
                break;
            }
        }
    }
    EXPECT_LT(differing, one.size() / 4 / 100) << differing << " pixels differ";
}

}  // namespace
