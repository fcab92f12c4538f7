#include "fixture.h"

#include "audio/sound_bank.h"
#include "render/particles.h"
#include "support/pool_counts.h"
#include "testing.h"

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

const ::testing::Environment *const window_environment = ::testing::AddGlobalTestEnvironment(new WindowEnvironment);

}  // namespace

void WindowEnvironment::SetUp() {
    SetTraceLogLevel(LOG_WARNING);
    InitWindow(256, 128, "gameplay tests");
    ASSERT_TRUE(IsWindowReady());
    SetExitKey(0);
    testing_pull_audio(nullptr, 0);
}

void WindowEnvironment::TearDown() {
    // Court::TearDown has forgotten the silent waves, which are ours, not the
    // engine's; only the plays are let go here.
    unload_sounds();
    CloseWindow();
}

void set_key(int key, bool down) {
    if (down)
        testing_key_down(key);
    else
        testing_key_up(key);
}

void set_pad(int pad, bool connected) {
    if (connected)
        testing_gamepad_connect(pad, "Test Pad");
    else
        testing_gamepad_disconnect(pad);
}

void set_pad_button(int pad, int button, bool down) { testing_gamepad_button(pad, button, down); }
void set_pad_axis(int pad, int axis, float value) { testing_gamepad_axis(pad, axis, value); }
void release_all_input() { testing_release_all_input(); }

void end_frame() {
    BeginDrawing();
    EndDrawing();
}

std::size_t sounds_started() { return live_sound_count(); }

int active_particles() { return test_support::live_particles(); }

void clear_particles() {
    for (Particle &p : particles) p = Particle{};
}

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

void Court::match_frame(double dt) {
    update_match(dt);
    end_frame();
}

void Court::tap(int key) {
    set_key(key, true);
    match_frame();
    set_key(key, false);
    match_frame();
}

void Court::player_frame(Player &p, double dt) {
    update_player(&p, dt);
    end_frame();
}

void Court::start_local_match() {
    set_screen_state(ScreenState::match);
    set_key(KEY_SPACE, true);
    set_key(KEY_K, true);
    match_frame();
    set_key(KEY_SPACE, false);
    set_key(KEY_K, false);
}

void Court::stand(Player &p, Vec3d at) {
    p.instance->position = at;
    p.grounded = true;
    p.velocity = {};
    p.squash_timer = 0.0;
}
