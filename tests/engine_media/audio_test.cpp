// The mixer, driven sample by sample through the test hook, and WAV decoding.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "testing.h"
#include "raylib.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "support/wav_file.h"

namespace {

constexpr float tolerance = 1e-4f;

float pan_gain(float p) { return 0.5f * p * (3.0f - p * p); }

// A float wave at the mixer's own rate; LoadSoundFromWave copies the samples.
Wave float_wave(std::vector<float> &samples, unsigned channels) {
    return Wave{static_cast<unsigned>(samples.size() / channels), 44100, 32, channels, samples.data()};
}

std::vector<float> pull(int frames) {
    std::vector<float> out(static_cast<size_t>(frames) * 2, -99.0f);
    EXPECT_EQ(testing_pull_audio(out.data(), frames), frames);
    return out;
}

class Mixer : public ::testing::Test {
protected:
    void SetUp() override { testing_pull_audio(nullptr, 0); }
    void TearDown() override {
        for (Sound s : sounds) UnloadSound(s);
    }
    Sound sound_of(std::vector<float> &samples, unsigned channels = 1) {
        Sound s = LoadSoundFromWave(float_wave(samples, channels));
        EXPECT_TRUE(IsSoundReady(s));
        sounds.push_back(s);
        return s;
    }
    std::vector<Sound> sounds;
};

TEST_F(Mixer, PanLawLeansLargePanLeftAndSmallPanRight) {
    std::vector<float> dc(256, 0.5f);
    Sound s = sound_of(dc);

    SetSoundPan(s, 0.8f);
    PlaySound(s);
    std::vector<float> out = pull(8);
    EXPECT_NEAR(out[0], 0.5f * pan_gain(0.8f), tolerance);
    EXPECT_NEAR(out[1], 0.5f * pan_gain(0.2f), tolerance);
    EXPECT_GT(out[0], out[1]);

    SetSoundPan(s, 0.2f);
    out = pull(8);
    EXPECT_NEAR(out[0], 0.5f * pan_gain(0.2f), tolerance);
    EXPECT_NEAR(out[1], 0.5f * pan_gain(0.8f), tolerance);
    EXPECT_LT(out[0], out[1]);
}

TEST_F(Mixer, NewSoundIsCentredAtFullVolumeAndVolumeScalesBothSides) {
    std::vector<float> dc(256, 0.5f);
    Sound s = sound_of(dc);
    PlaySound(s);
    std::vector<float> out = pull(4);
    EXPECT_NEAR(out[0], 0.5f * 0.6875f, tolerance);
    EXPECT_NEAR(out[1], 0.5f * 0.6875f, tolerance);

    SetSoundVolume(s, 0.6f);
    SetSoundPan(s, 0.8f);
    out = pull(4);
    EXPECT_NEAR(out[0], 0.6f * 0.5f * pan_gain(0.8f), tolerance);
    EXPECT_NEAR(out[1], 0.6f * 0.5f * pan_gain(0.2f), tolerance);
}

TEST_F(Mixer, StereoWaveKeepsItsChannelsApart) {
    std::vector<float> lr;
    for (int i = 0; i < 64; ++i) lr.insert(lr.end(), {0.25f, -0.5f});
    Sound s = sound_of(lr, 2);
    PlaySound(s);
    std::vector<float> out = pull(4);
    EXPECT_NEAR(out[6], 0.25f * 0.6875f, tolerance);
    EXPECT_NEAR(out[7], -0.5f * 0.6875f, tolerance);
}

TEST_F(Mixer, OverlappingPlaysAddAndRestartingOneLeavesTheOtherRunning) {
    std::vector<float> ramp(200);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<float>(i) / 1000.0f;
    Sound a = sound_of(ramp);
    Sound b = sound_of(ramp);
    const float g = 0.6875f;

    PlaySound(a);
    pull(10);  // a is now at frame 10
    PlaySound(b);
    std::vector<float> out = pull(1);
    EXPECT_NEAR(out[0], (ramp[10] + ramp[0]) * g, tolerance);
    EXPECT_NEAR(out[1], (ramp[10] + ramp[0]) * g, tolerance);

    // A second play of the same sound starts it over without touching b.
    PlaySound(a);
    out = pull(1);
    EXPECT_NEAR(out[0], (ramp[0] + ramp[1]) * g, tolerance);
    EXPECT_TRUE(IsSoundPlaying(a));
    EXPECT_TRUE(IsSoundPlaying(b));
}

TEST_F(Mixer, ManyPlaysOfOneWaveOverlap) {
    std::vector<float> dc(100, 0.01f);
    Wave w = float_wave(dc, 1);
    for (int i = 0; i < 40; ++i) {
        Sound s = LoadSoundFromWave(w);
        sounds.push_back(s);
        PlaySound(s);
    }
    std::vector<float> out = pull(2);
    EXPECT_NEAR(out[0], 40 * 0.01f * 0.6875f, tolerance);
}

TEST_F(Mixer, PlayEndsAfterItsLastFrameAndThenIsSilent) {
    std::vector<float> dc(100, 0.5f);
    Sound s = sound_of(dc);
    PlaySound(s);
    pull(99);
    EXPECT_TRUE(IsSoundPlaying(s));
    std::vector<float> out = pull(3);
    EXPECT_NEAR(out[0], 0.5f * 0.6875f, tolerance);  // frame 99, the last
    EXPECT_EQ(out[2], 0.0f);
    EXPECT_EQ(out[5], 0.0f);
    EXPECT_FALSE(IsSoundPlaying(s));

    // It can be played again from the start.
    PlaySound(s);
    EXPECT_TRUE(IsSoundPlaying(s));
    StopSound(s);
    EXPECT_FALSE(IsSoundPlaying(s));
    EXPECT_EQ(pull(1)[0], 0.0f);
}

TEST_F(Mixer, UnloadingAPlayingSoundSilencesItAndStaleHandlesAreHarmless) {
    std::vector<float> dc(1000, 0.5f);
    Sound s = LoadSoundFromWave(float_wave(dc, 1));
    Sound other = sound_of(dc);
    PlaySound(s);
    PlaySound(other);
    pull(10);
    UnloadSound(s);
    std::vector<float> out = pull(2);
    EXPECT_NEAR(out[0], 0.5f * 0.6875f, tolerance);  // only `other` is left

    UnloadSound(s);  // twice
    PlaySound(s);
    SetSoundVolume(s, 0.1f);
    EXPECT_FALSE(IsSoundPlaying(s));
    EXPECT_FALSE(IsSoundReady(s));
    out = pull(1);
    EXPECT_NEAR(out[0], 0.5f * 0.6875f, tolerance);
}

TEST_F(Mixer, EmptyWaveGivesASoundThatPlaysNothing) {
    Sound s = LoadSoundFromWave(Wave{});
    EXPECT_FALSE(IsSoundReady(s));
    PlaySound(s);
    EXPECT_FALSE(IsSoundPlaying(s));
    UnloadSound(s);
    EXPECT_EQ(pull(1)[0], 0.0f);
}

TEST_F(Mixer, SixteenBitWaveAtAnotherRateIsConvertedForTheMixer) {
    std::vector<int16_t> pcm(2205, 16384);  // 0.1 s at 22050 Hz, level 0.5
    Wave w{static_cast<unsigned>(pcm.size()), 22050, 16, 1, pcm.data()};
    Sound s = LoadSoundFromWave(w);
    sounds.push_back(s);
    EXPECT_NEAR(static_cast<double>(s.frameCount), 4410.0, 8.0);
    PlaySound(s);
    std::vector<float> out = pull(2000);
    EXPECT_NEAR(out[2 * 1000], 0.5f * 0.6875f, 1e-3);
}

// ------------------------------------------------------------------ WAV files

class WavFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir = test_support::make_scratch_dir("vorbel_wav_");
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override { test_support::remove_scratch_dir(dir); }

    // A canonical RIFF/WAVE file: fmt chunk (tag 1 PCM or 3 float), then data.
    std::string write_wav(const char *name, uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                          const void *data, uint32_t bytes) {
        std::string path = dir + "/" + name;
        EXPECT_TRUE(test_support::write_wav_file(path, tag, channels, rate, bits, data, bytes));
        return path;
    }

    static void expect_samples(const Wave &w, unsigned channels, const std::vector<float> &want, float tol) {
        ASSERT_TRUE(IsWaveReady(w));
        EXPECT_EQ(w.sampleRate, 44100u);
        EXPECT_EQ(w.sampleSize, 32u);
        EXPECT_EQ(w.channels, channels);
        ASSERT_EQ(w.frameCount * channels, want.size());
        const auto *got = static_cast<const float *>(w.data);
        for (size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(got[i], want[i], tol) << "sample " << i;
    }

    std::string dir;
};

TEST_F(WavFiles, PcmOfEveryWidthAndFloatDecodeToTheirLevels) {
    const uint8_t u8[] = {128, 192, 64, 0};
    Wave w = LoadWave(write_wav("u8.wav", 1, 1, 44100, 8, u8, sizeof u8).c_str());
    expect_samples(w, 1, {0.0f, 0.5f, -0.5f, -1.0f}, 1e-6f);
    UnloadWave(w);

    const int16_t s16[] = {0, 16384, -16384, -32768, 8192};
    w = LoadWave(write_wav("s16.wav", 1, 1, 44100, 16, s16, sizeof s16).c_str());
    expect_samples(w, 1, {0.0f, 0.5f, -0.5f, -1.0f, 0.25f}, 1e-6f);
    UnloadWave(w);

    const int32_t s32[] = {0, 1 << 30, -(1 << 30), INT32_MIN};
    w = LoadWave(write_wav("s32.wav", 1, 1, 44100, 32, s32, sizeof s32).c_str());
    expect_samples(w, 1, {0.0f, 0.5f, -0.5f, -1.0f}, 1e-6f);
    UnloadWave(w);

    const float f32[] = {0.25f, -0.75f, 0.125f};
    w = LoadWave(write_wav("f32.wav", 3, 1, 44100, 32, f32, sizeof f32).c_str());
    expect_samples(w, 1, {0.25f, -0.75f, 0.125f}, 0.0f);
    UnloadWave(w);
}

TEST_F(WavFiles, StereoStaysInterleavedLeftThenRight) {
    const int16_t lr[] = {16384, -8192, -16384, 8192};
    Wave w = LoadWave(write_wav("lr.wav", 1, 2, 44100, 16, lr, sizeof lr).c_str());
    expect_samples(w, 2, {0.5f, -0.25f, -0.5f, 0.25f}, 1e-6f);
    UnloadWave(w);
}

TEST_F(WavFiles, LowerRateIsResampledToTheMixRate) {
    std::vector<int16_t> dc(2205, 8192);  // 0.1 s of level 0.25 at 22050 Hz
    Wave w = LoadWave(write_wav("22k.wav", 1, 1, 22050, 16, dc.data(), static_cast<uint32_t>(dc.size() * 2)).c_str());
    ASSERT_TRUE(IsWaveReady(w));
    EXPECT_EQ(w.sampleRate, 44100u);
    EXPECT_NEAR(static_cast<double>(w.frameCount), 4410.0, 8.0);
    const auto *s = static_cast<const float *>(w.data);
    for (unsigned i = 100; i < w.frameCount - 100; i += 97) EXPECT_NEAR(s[i], 0.25f, 1e-3) << i;
    UnloadWave(w);
}

TEST_F(WavFiles, MissingOrBrokenFilesGiveEmptyWavesAndSilentSounds) {
    const test_support::LogCapture log;
    Wave missing = LoadWave((dir + "/nothing.wav").c_str());
    EXPECT_FALSE(IsWaveReady(missing));
    EXPECT_EQ(missing.data, nullptr);
    EXPECT_TRUE(testing_log_contains(LOG_WARNING, "nothing.wav"));

    std::string junk = dir + "/junk.wav";
    FILE *f = std::fopen(junk.c_str(), "wb");
    std::fputs("RIFF\x10\0\0\0WAVEjunkjunk", f);
    std::fclose(f);
    Wave broken = LoadWave(junk.c_str());
    EXPECT_FALSE(IsWaveReady(broken));

    // A header that promises more data than the file holds.
    const int16_t few[] = {1, 2};
    std::string cut = write_wav("cut.wav", 1, 1, 44100, 16, few, sizeof few);
    FILE *t = std::fopen(cut.c_str(), "r+b");
    std::fseek(t, 40, SEEK_SET);
    const uint32_t huge = 0x7fffff00;
    std::fwrite(&huge, 4, 1, t);
    std::fclose(t);
    Wave truncated = LoadWave(cut.c_str());
    if (IsWaveReady(truncated)) {
        EXPECT_LE(truncated.frameCount, 2u);
    }
    UnloadWave(truncated);

    Sound s = LoadSoundFromWave(missing);
    EXPECT_FALSE(IsSoundReady(s));
    PlaySound(s);
    UnloadSound(s);
    UnloadWave(missing);
    UnloadWave(broken);
    EXPECT_FALSE(IsSoundReady(LoadSound((dir + "/nothing.wav").c_str())));
}

}  // namespace
