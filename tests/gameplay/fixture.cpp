#include "fixture.h"

namespace {

// A short silent clip in the mixer's own format. While the tests hold the mixer
// (nothing pulls it unless a test does), every play stays alive, so the count of
// live plays counts the plays started.
float silence[4410];

Wave silent_wave() {
    Wave w{};
    w.frameCount = sizeof silence / sizeof silence[0];
    w.sampleRate = 44100;
    w.sampleSize = 32;
    w.channels = 1;
    w.data = silence;
    return w;
}

class WindowEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        SetTraceLogLevel(LOG_WARNING);
        InitWindow(256, 128, "gameplay tests");
        ASSERT_TRUE(IsWindowReady());
        SetExitKey(0);
        testing_pull_audio(nullptr, 0);
    }
    void TearDown() override {
        // Court::TearDown has forgotten the silent waves, which are ours, not the
        // engine's; only the plays are let go here.
        unload_sounds();
        CloseWindow();
    }
};

const ::testing::Environment *const window_environment = ::testing::AddGlobalTestEnvironment(new WindowEnvironment);

}  // namespace

void Court::SetUp() {
    // Let every earlier play finish and be released, so counting starts from zero.
    static float drain[2 * 8820];
    testing_pull_audio(drain, 8820);
    release_finished_sounds();
    release_all_input();
    end_frame();
    end_frame();
    CourtTest::SetUp();
    seed_rng(game_state.rng, 20240611);
    for (Wave &w : sound_bank.step_waves) w = silent_wave();
    sound_bank.click_wave = silent_wave();
    sound_bank.click_echo_wave = silent_wave();
    sound_bank.pause_wave = silent_wave();
    enter_menu_scene();
}

void Court::TearDown() {
    release_all_input();
    for (int pad : {0, 1, 3}) testing_gamepad_disconnect(pad);
    end_frame();
    CourtTest::TearDown();
}

void Court::start_local_match() {
    set_screen_state(ScreenState::match);
    set_key(KEY_SPACE, true);
    set_key(KEY_K, true);
    match_frame();
    set_key(KEY_SPACE, false);
    set_key(KEY_K, false);
}
