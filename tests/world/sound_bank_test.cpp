// Sound effects through the real mixer: which step plays, its volume and pan, the
// sound-effects switch, overlapping plays and the release of finished ones.
#include <gtest/gtest.h>

#include <vector>

#include "app/game_state.h"
#include "app/rng.h"
#include "audio/sound_bank.h"
#include "testing.h"
#include "settings/settings.h"

namespace {

// Mono float waves of constant amplitude, owned by the test.
struct TestWave {
    std::vector<float> samples;
    Wave wave{};
    TestWave(float amplitude, unsigned frames) : samples(frames, amplitude) {
        wave.frameCount = frames;
        wave.sampleRate = 44100;
        wave.sampleSize = 32;
        wave.channels = 1;
        wave.data = samples.data();
    }
};

// Raylib's pan law: larger pan leans left.
float left_gain(float volume, float pan) { return volume * 0.5f * pan * (3.0f - pan * pan); }
float right_gain(float volume, float pan) { return left_gain(volume, 1.0f - pan); }

class SoundBankTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InitAudioDevice();
        testing_pull_audio(nullptr, 0);  // the test drives the mixer from here on
    }
    static void TearDownTestSuite() { CloseAudioDevice(); }

    // Only what it uses, not reset_game_globals(): in one run of the whole program this
    // suite comes after the started game's, whose records must outlive it.
    void SetUp() override {
        saved_ = settings;
        settings.enable_sound_effects = true;
        seed_rng(game_state.rng, 99);
        steps_.reserve(8);
        for (int i = 0; i < 8; ++i) steps_.emplace_back(0.05f * static_cast<float>(i + 1), 64);
        for (int i = 0; i < 8; ++i) sound_bank.step_waves[i] = steps_[i].wave;
        sound_bank.click_wave = click_.wave;
        sound_bank.click_echo_wave = echo_.wave;
        sound_bank.pause_wave = pause_.wave;
    }
    void TearDown() override {
        // The waves belong to this test; unload_sounds must only release the plays.
        sound_bank = SoundBank{};
        unload_sounds();
        settings = saved_;
    }

    // First stereo frame of whatever is playing now.
    static std::pair<float, float> first_frame() {
        float out[2] = {0, 0};
        testing_pull_audio(out, 1);
        return {out[0], out[1]};
    }
    static void drain(int frames = 4096) {
        std::vector<float> out(static_cast<std::size_t>(frames) * 2);
        testing_pull_audio(out.data(), frames);
    }

    Settings saved_;
    std::vector<TestWave> steps_;
    TestWave click_{0.3f, 64}, echo_{0.2f, 64}, pause_{0.1f, 64};
};

}  // namespace

TEST(StepIndex, TopThreeBitsOfTheLowByte) {
    EXPECT_EQ(step_index_from(0x00), 0);
    EXPECT_EQ(step_index_from(0x1F), 0);
    EXPECT_EQ(step_index_from(0x20), 1);
    EXPECT_EQ(step_index_from(0x5F), 2);
    EXPECT_EQ(step_index_from(0xE0), 7);
    EXPECT_EQ(step_index_from(0xFF), 7);
    // Higher bytes play no part.
    EXPECT_EQ(step_index_from(0xFFFFFFFFFFFFFF00ull), 0);
    EXPECT_EQ(step_index_from(0x123456789ABCDE9Full), 4);
}

TEST_F(SoundBankTest, StepPlaysTheDrawnWaveQuieterAndPanned) {
    for (int play = 0; play < 16; ++play) {
        bool side = play % 2 == 1;
        Rng copy = game_state.rng;
        int index = step_index_from(rng_next(copy));
        play_step_sound(side);
        float amp = 0.05f * static_cast<float>(index + 1);
        float pan = side ? 0.2f : 0.8f;
        auto [l, r] = first_frame();
        EXPECT_NEAR(l, amp * left_gain(0.6f, pan), 1e-5f) << "play " << play;
        EXPECT_NEAR(r, amp * right_gain(0.6f, pan), 1e-5f) << "play " << play;
        // Player 1 leans left, player 2 right.
        EXPECT_EQ(l > r, !side);
        drain();
    }
    // Exactly one generator output per step.
    Rng expected;
    seed_rng(expected, 99);
    for (int i = 0; i < 16; ++i) rng_next(expected);
    EXPECT_EQ(rng_next(expected), rng_next(game_state.rng));
}

TEST_F(SoundBankTest, ClicksAndPauseAreFullVolumeAndCentred) {
    play_click_sound(false);
    auto [l, r] = first_frame();
    EXPECT_NEAR(l, 0.3f * 0.6875f, 1e-5f);
    EXPECT_NEAR(r, 0.3f * 0.6875f, 1e-5f);
    drain();
    play_click_sound(true);
    EXPECT_NEAR(first_frame().first, 0.2f * 0.6875f, 1e-5f);
    drain();
    play_pause_sound();
    EXPECT_NEAR(first_frame().second, 0.1f * 0.6875f, 1e-5f);
    drain();
}

TEST_F(SoundBankTest, NothingIsMadeWhenSoundEffectsAreOff) {
    settings.enable_sound_effects = false;
    Rng before = game_state.rng;
    play_step_sound(false);
    play_click_sound(false);
    play_click_sound(true);
    play_pause_sound();
    EXPECT_EQ(live_sound_count(), 0u);
    auto [l, r] = first_frame();
    EXPECT_EQ(l, 0.0f);
    EXPECT_EQ(r, 0.0f);
    // No random draw either.
    EXPECT_EQ(rng_next(before), rng_next(game_state.rng));
}

TEST_F(SoundBankTest, PlaysOverlapAndFinishedOnesAreReleased) {
    play_click_sound(false);
    play_click_sound(false);
    play_pause_sound();
    EXPECT_EQ(live_sound_count(), 3u);
    // None cuts another short: the mix is their sum.
    auto [l, r] = first_frame();
    EXPECT_NEAR(l, (0.3f + 0.3f + 0.1f) * 0.6875f, 1e-5f);
    (void)r;
    drain();  // all three have finished
    play_click_sound(true);
    EXPECT_EQ(live_sound_count(), 1u);  // the finished three were swept
    // A long session keeps the count flat.
    for (int i = 0; i < 500; ++i) {
        play_step_sound(i % 2 == 0);
        drain(128);
    }
    EXPECT_LE(live_sound_count(), 1u);
    play_click_sound(false);   // still playing at shutdown
    sound_bank = SoundBank{};  // the waves are the test's own
    unload_sounds();
    EXPECT_EQ(live_sound_count(), 0u);
}
