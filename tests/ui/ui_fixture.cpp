#include "ui_fixture.h"

#include <cmath>
#include <cstdlib>
#include <vector>

#include "app/frame_loop.h"
#include "app/game_state.h"
#include "audio/sound_bank.h"
#include "testing.h"
#include "settings/settings.h"
#include "gameplay/match.h"
#include "support/game_globals.h"
#include "support/test_window.h"
#include "ui/controls_page.h"
#include "ui/menu.h"
#include "ui/pause_menu.h"

namespace {

class GameEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        // Take the mix over before anything plays, so sounds end only when pulled.
        testing_pull_audio(nullptr, 0);
        const Settings defaults;  // written out, so the file starts in its exact form
        ASSERT_TRUE(test_support::start_game(game_, "vorbel-ui-", &defaults, ui_frame_dt));
        ASSERT_TRUE(IsWindowReady());
        // Let the title screen's tomato drop and land before anything is measured.
        ui_frames(90);
    }

    void TearDown() override { test_support::stop_game(game_); }

private:
    test_support::StartedGame game_;
};

[[maybe_unused]] ::testing::Environment *const game_environment =
    ::testing::AddGlobalTestEnvironment(new GameEnvironment);

void draw_screen_gui() {
    switch (game_state.screen_state) {
    case ScreenState::menu:
        draw_title_screen();
        break;
    case ScreenState::paused:
        draw_pause_screen();
        break;
    case ScreenState::match:
        break;
    }
}

}  // namespace

void ui_frame() {
    update_game(ui_frame_dt);
    BeginDrawing();
    ClearBackground(frame_clear_color);
    draw_screen_gui();
    EndDrawing();
}

Image ui_frame_capture() {
    update_game(ui_frame_dt);
    return test_support::drawn_frame(draw_screen_gui, frame_clear_color);
}

Image click_capture(float x, float y) {
    testing_mouse_move(x, y);
    ui_frame();
    testing_mouse_button_down(MOUSE_BUTTON_LEFT);
    ui_frame();
    testing_mouse_button_up(MOUSE_BUTTON_LEFT);
    return ui_frame_capture();
}

void tap_key(int key) {
    testing_key_down(key);
    ui_frame();
    testing_key_up(key);
    ui_frame();
}

float pull_peak(double seconds) {
    const int frames = static_cast<int>(seconds * 44100.0);
    std::vector<float> mix(static_cast<std::size_t>(frames) * 2);
    testing_pull_audio(mix.data(), frames);
    float peak = 0.0f;
    for (float s : mix) peak = std::fmax(peak, std::fabs(s));
    return peak;
}

void finish_sounds() {
    pull_peak(3.0);  // longer than any sound effect of the game
    release_finished_sounds();
}

bool is_background(Color c) {
    return std::abs(c.r - frame_clear_color.r) <= 2 && std::abs(c.g - frame_clear_color.g) <= 2 &&
           std::abs(c.b - frame_clear_color.b) <= 2;
}

void MenuTest::SetUp() {
    testing_release_all_input();
    testing_mouse_move(1200.0f, 700.0f);  // away from every control
    if (game_state.screen_state != ScreenState::menu) set_screen_state(ScreenState::menu);
    menu_page = MenuPage::main;
    pause_settings_open = false;
    controls_page_open = false;
    game_state.quit_requested = false;
    settings.enable_sound_effects = true;
    ui_frames(2);
    finish_sounds();
    ASSERT_EQ(live_sound_count(), 0u);
}

void MenuTest::TearDown() {
    testing_release_all_input();
    ui_frame();
}

void MenuTest::pause_a_bot_match() {
    click_at(60.0f, 260.0f);  // PLAY
    ui_frame();
    click_at(60.0f, 460.0f);  // BOT
    ASSERT_EQ(game_state.screen_state, ScreenState::match);
    tap_key(KEY_SPACE);
    ASSERT_TRUE(both_joined());
    testing_mouse_move(1200.0f, 700.0f);
    ui_frames(10);
    tap_key(KEY_ESCAPE);
    ASSERT_EQ(game_state.screen_state, ScreenState::paused);
    finish_sounds();
}
