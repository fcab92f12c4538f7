// The mixer, driven sample by sample through the test hook, and WAV decoding.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <sys/stat.h>

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

TEST_F(Mixer, VolumeAndPanSetEachSidesGainAndLargePanLeansLeft) {
    std::vector<float> dc(256, 0.5f);
    Sound s = sound_of(dc);
    PlaySound(s);
    // Each row's settings hold from then on; a new sound is centred at full volume.
    const struct Row {
        const char *what;
        float volume, pan;  // negative: not set
        float left, right;
    } rows[] = {
        {"new sound", -1.0f, -1.0f, 0.6875f, 0.6875f},
        {"pan 0.8 leans left", -1.0f, 0.8f, pan_gain(0.8f), pan_gain(0.2f)},
        {"pan 0.2 leans right", -1.0f, 0.2f, pan_gain(0.2f), pan_gain(0.8f)},
        {"volume scales both sides", 0.6f, 0.8f, 0.6f * pan_gain(0.8f), 0.6f * pan_gain(0.2f)},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        if (row.volume >= 0.0f) SetSoundVolume(s, row.volume);
        if (row.pan >= 0.0f) SetSoundPan(s, row.pan);
        const std::vector<float> out = pull(4);
        EXPECT_NEAR(out[0], 0.5f * row.left, tolerance);
        EXPECT_NEAR(out[1], 0.5f * row.right, tolerance);
        EXPECT_EQ(out[0] > out[1], row.left > row.right);
    }
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

class WavFiles : public ::testing::Test, protected test_support::ScratchFiles {
protected:
    void SetUp() override { ASSERT_FALSE(dir.empty()); }

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

// ------------------------------------------------------------------ music streams

class MusicStreams : public ::testing::Test, protected test_support::ScratchFiles {
protected:
    void SetUp() override {
        testing_pull_audio(nullptr, 0);
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override { UnloadMusicStream(music); }

    // A mono 16-bit track at 22050 Hz: the mixer steps half a track frame per frame.
    Music load_track(const std::vector<int16_t> &pcm) {
        track = pcm;
        const std::string path = dir + "/track.wav";
        EXPECT_TRUE(
            test_support::write_wav_file(path, 1, 1, 22050, 16, pcm.data(), static_cast<uint32_t>(pcm.size() * 2)));
        music = LoadMusicStream(path.c_str());
        EXPECT_TRUE(IsMusicReady(music));
        return music;
    }

    // What the left side should hold for mix frame k of a stream started at track
    // frame `from`, at volume v: the track read at half speed, wrapping at its end.
    float expected(std::size_t from, std::size_t k, float v = 1.0f) const {
        const std::size_t n = track.size();
        const float a = track[(from + k / 2) % n] / 32768.0f;
        const float b = track[(from + k / 2 + 1) % n] / 32768.0f;
        return (k % 2 == 0 ? a : 0.5f * (a + b)) * 0.6875f * v;
    }

    // Alternates updates and pulls of `chunk` frames, as the game's frames do.
    std::vector<float> play_for(int frames, int chunk = 735) {
        std::vector<float> all;
        for (int done = 0; done < frames; done += chunk) {
            UpdateMusicStream(music);
            std::vector<float> part = pull(std::min(chunk, frames - done));
            all.insert(all.end(), part.begin(), part.end());
        }
        return all;
    }

    static std::vector<int16_t> ramp(std::size_t n) {
        std::vector<int16_t> pcm(n);
        for (std::size_t i = 0; i < n; ++i) pcm[i] = static_cast<int16_t>(i * 7 % 20000 - 10000);
        return pcm;
    }

    std::vector<int16_t> track;
    Music music{};
};

TEST_F(MusicStreams, StartsWithPlayAndUpdateAndFollowsTheTrack) {
    load_track(ramp(4000));
    EXPECT_EQ(music.frameCount, 4000u);
    EXPECT_EQ(music.stream.sampleRate, 22050u);
    EXPECT_EQ(music.stream.channels, 1u);
    EXPECT_TRUE(music.looping);
    EXPECT_NEAR(GetMusicTimeLength(music), 4000.0f / 22050.0f, 1e-6f);
    EXPECT_FALSE(IsMusicStreamPlaying(music));
    UpdateMusicStream(music);
    EXPECT_EQ(pull(4)[0], 0.0f) << "nothing before a play";

    PlayMusicStream(music);
    EXPECT_TRUE(IsMusicStreamPlaying(music));
    EXPECT_EQ(pull(4)[0], 0.0f) << "nothing queued before the first update";
    const std::vector<float> out = play_for(1000);
    for (std::size_t k = 0; k < 1000; ++k) {
        ASSERT_NEAR(out[2 * k], expected(0, k), tolerance) << k;
        ASSERT_NEAR(out[2 * k + 1], expected(0, k), tolerance) << k;
    }
    EXPECT_NEAR(GetMusicTimePlayed(music), 500.0f / 22050.0f, 1e-6f);
}

TEST_F(MusicStreams, LoopsAcrossItsEndWithoutAGapOrAJump) {
    load_track(ramp(3000));
    SeekMusicStream(music, 0.125f);  // track frame 2756, 244 before the seam
    PlayMusicStream(music);
    // On into the second pass, pulled in uneven pieces so that the seam falls inside
    // one of them.
    const std::vector<float> out = play_for(3000, 333);
    for (std::size_t k = 0; k < 3000; ++k) ASSERT_NEAR(out[2 * k], expected(2756, k), tolerance) << k;
    EXPECT_NEAR(GetMusicTimePlayed(music), (2756.0f + 1500.0f - 3000.0f) / 22050.0f, 1e-5f);
}

TEST_F(MusicStreams, RunsDryWithoutUpdatesAndGoesOnWhereItStopped) {
    load_track(ramp(30000));
    PlayMusicStream(music);
    UpdateMusicStream(music);  // queues half a second of the track: 11025 frames
    // The last queued frame waits for the one after it, which the next update brings.
    std::vector<float> out = pull(22048);
    EXPECT_NEAR(out[2 * 22047], expected(0, 22047), tolerance);
    out = pull(10);
    EXPECT_EQ(out[0], 0.0f) << "ran dry";
    EXPECT_TRUE(IsMusicStreamPlaying(music));
    const float played = GetMusicTimePlayed(music);
    out = play_for(20);
    for (std::size_t k = 0; k < 20; ++k)
        ASSERT_NEAR(out[2 * k], expected(11024, k), tolerance) << "no frame lost " << k;
    EXPECT_GT(GetMusicTimePlayed(music), played);
}

TEST_F(MusicStreams, PauseResumeStopAndSeek) {
    load_track(ramp(8000));
    PlayMusicStream(music);
    play_for(1000);  // 500 track frames
    PauseMusicStream(music);
    EXPECT_FALSE(IsMusicStreamPlaying(music));
    UpdateMusicStream(music);
    EXPECT_EQ(pull(100)[0], 0.0f);
    EXPECT_NEAR(GetMusicTimePlayed(music), 500.0f / 22050.0f, 1e-6f);

    ResumeMusicStream(music);
    EXPECT_TRUE(IsMusicStreamPlaying(music));
    std::vector<float> out = play_for(10);
    EXPECT_NEAR(out[0], expected(500, 0), tolerance) << "goes on where it paused";

    StopMusicStream(music);
    EXPECT_FALSE(IsMusicStreamPlaying(music));
    EXPECT_EQ(GetMusicTimePlayed(music), 0.0f);
    EXPECT_EQ(pull(10)[0], 0.0f);
    PlayMusicStream(music);
    out = play_for(10);
    EXPECT_NEAR(out[0], expected(0, 0), tolerance) << "a stopped stream starts over";

    SeekMusicStream(music, 0.25f);
    EXPECT_NEAR(GetMusicTimePlayed(music), 0.25f, 1e-4f);
    out = play_for(10);
    EXPECT_NEAR(out[2], expected(5512, 1), tolerance);
    SeekMusicStream(music, -3.0f);
    EXPECT_EQ(GetMusicTimePlayed(music), 0.0f);
}

TEST_F(MusicStreams, VolumeScalesAndATrackThatDoesNotLoopStopsAtItsEnd) {
    load_track(std::vector<int16_t>(600, 16384));
    SetMusicVolume(music, 0.4f);
    music.looping = false;
    PlayMusicStream(music);
    std::vector<float> out = play_for(1198);
    EXPECT_NEAR(out[2 * 1197], 0.5f * 0.6875f * 0.4f, tolerance) << "the last frame is held, not dropped";
    EXPECT_TRUE(IsMusicStreamPlaying(music));
    out = play_for(10);
    EXPECT_EQ(out[4], 0.0f);
    EXPECT_FALSE(IsMusicStreamPlaying(music));
    PlayMusicStream(music);  // after the end, a new play starts over
    out = play_for(4);
    EXPECT_NEAR(out[0], 0.5f * 0.6875f * 0.4f, tolerance);
}

TEST_F(MusicStreams, StereoAtTheMixRateKeepsItsChannels) {
    std::vector<int16_t> lr;
    for (int i = 0; i < 100; ++i) lr.insert(lr.end(), {8192, -16384});
    const std::string path = dir + "/lr.wav";
    ASSERT_TRUE(test_support::write_wav_file(path, 1, 2, 44100, 16, lr.data(), static_cast<uint32_t>(lr.size() * 2)));
    music = LoadMusicStream(path.c_str());
    ASSERT_TRUE(IsMusicReady(music));
    PlayMusicStream(music);
    const std::vector<float> out = play_for(300);
    for (int k : {0, 99, 100, 250}) {
        EXPECT_NEAR(out[2 * k], 0.25f * 0.6875f, tolerance) << k;
        EXPECT_NEAR(out[2 * k + 1], -0.5f * 0.6875f, tolerance) << k;
    }
}

TEST_F(MusicStreams, BadFilesWarnOnceAndGiveMusicThatStaysSilent) {
    const int16_t pcm[64] = {};
    const std::string slow = dir + "/slow.wav";
    ASSERT_TRUE(test_support::write_wav_file(slow, 1, 1, 1, 16, pcm, sizeof pcm));
    const std::string junk = dir + "/junk.wav";
    FILE *f = std::fopen(junk.c_str(), "wb");
    std::fputs("RIFF\x10\0\0\0WAVEjunkjunk", f);
    std::fclose(f);

    const std::string fifo = dir + "/fifo.wav";  // would block a reader that waits for data
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    for (const std::string &path : {dir + "/nothing.wav", junk, slow, fifo}) {
        const test_support::LogCapture log;
        Music m = LoadMusicStream(path.c_str());
        EXPECT_EQ(test_support::warnings_naming(""), 1) << path;
        EXPECT_TRUE(testing_log_contains(LOG_WARNING, path.c_str())) << path;
        EXPECT_FALSE(IsMusicReady(m)) << path;
        PlayMusicStream(m);
        UpdateMusicStream(m);
        SetMusicVolume(m, 1.0f);
        EXPECT_FALSE(IsMusicStreamPlaying(m));
        EXPECT_EQ(GetMusicTimeLength(m), 0.0f);
        EXPECT_EQ(pull(8)[0], 0.0f);
        UnloadMusicStream(m);
    }

    // A copy kept after unloading (twice) is inert too.
    load_track(ramp(100));
    const Music copy = music;
    UnloadMusicStream(music);
    UnloadMusicStream(copy);
    PlayMusicStream(copy);
    UpdateMusicStream(copy);
    EXPECT_FALSE(IsMusicReady(copy));
    EXPECT_EQ(pull(8)[0], 0.0f);
}
