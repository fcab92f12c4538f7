// The background music as the whole game plays it: started from settings.cfg, fed
// by the frames, looping through the real track, following enable_music, softer on
// the pause screen, and silent with one WARNING when its file is missing or damaged.
// Each case starts the game in a child process of its own with a small window; the
// test pulls the mix itself, one frame's worth after each update, as the device would.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/frame_loop.h"
#include "app/game_state.h"
#include "audio/music.h"
#include "settings/settings.h"
#include "settings/startup.h"
#include "support/child_process.h"
#include "support/files.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "support/small_window.h"
#include "testing.h"

namespace {

namespace fs = std::filesystem;

constexpr int frame_audio = 735;  // one 60 fps frame at 44100 Hz
constexpr float centre_gain = 0.6875f;

[[noreturn]] void fail(const char *why) {
    std::fprintf(stderr, "music: %s\n", why);
    std::fflush(stderr);
    std::_Exit(1);  // no shutdown ran: skip the exit-time leak check
}

void check(bool ok, const char *why) {
    if (!ok) fail(why);
}

// The committed track's samples (16-bit mono PCM after a 44-byte header).
std::vector<float> track_samples(const std::string &home) {
    const std::string bytes = test_support::read_file(home + "/assets/audio/music.wav");
    std::vector<float> out;
    for (std::size_t i = 44; i + 1 < bytes.size(); i += 2) {
        const auto v = static_cast<std::int16_t>(static_cast<unsigned char>(bytes[i]) |
                                                 (static_cast<unsigned char>(bytes[i + 1]) << 8));
        out.push_back(v / 32768.0f);
    }
    return out;
}

// Starts the game in a scratch directory with the given settings and the mixer in
// the test's hands.
test_support::ScratchCwd start(bool music_on) {
    test_support::ScratchCwd dir = test_support::enter_scratch_dir("vorbel-music-", true);
    check(!dir.path.empty(), "no scratch directory");
    Settings s = test_support::small_window_settings();
    s.enable_music = music_on;
    s.enable_sound_effects = false;  // the mix holds the music alone
    check(test_support::use_settings(s), "settings.cfg not written");
    settings = Settings{};  // what the file says must win, not the record
    settings.screen_width = s.screen_width;
    settings.screen_height = s.screen_height;
    testing_pull_audio(nullptr, 0);
    testing_set_fixed_frame_time(1.0 / 60.0);
    check(init_app(), "start-up failed");
    return dir;
}

void stop(const test_support::ScratchCwd &dir) {
    deinit_app();
    testing_set_fixed_frame_time(-1.0);
    test_support::leave_scratch_dir(dir);
}

// `n` frames: the game's update, then a frame's worth of the mix (left side).
std::vector<float> play_frames(int n) {
    std::vector<float> left;
    std::vector<float> mix(2 * frame_audio);
    for (int i = 0; i < n; ++i) {
        update_game(1.0 / 60.0);
        testing_pull_audio(mix.data(), frame_audio);
        for (int k = 0; k < frame_audio; ++k) left.push_back(mix[2 * k]);
    }
    return left;
}

// True if `got` is the track from track position `at` on, at `volume`: the 22050 Hz
// file read at half a frame per mix frame, wrapping at its end. Moves `at` on.
bool follows_track(const std::vector<float> &got, const std::vector<float> &track, double &at, float volume) {
    const std::size_t n = track.size();
    for (std::size_t k = 0; k < got.size(); ++k, at += 0.5) {
        const auto i = static_cast<std::size_t>(at);
        const float a = track[i % n];
        const float b = track[(i + 1) % n];
        const float want = (at == static_cast<double>(i) ? a : 0.5f * (a + b)) * centre_gain * volume;
        if (std::fabs(got[k] - want) > 1e-4f) {
            std::fprintf(stderr, "mix frame %zu (track position %.1f): %f, want %f\n", k, at,
                         static_cast<double>(got[k]), static_cast<double>(want));
            return false;
        }
    }
    return true;
}

bool silent(const std::vector<float> &got) {
    for (float v : got)
        if (v != 0.0f) return false;
    return true;
}

void music_follows_the_game() {
    const test_support::ScratchCwd dir = start(true);
    const std::vector<float> track = track_samples(dir.home);
    check(track.size() > 22050u * 20, "the track is shorter than 20 s");

    // It starts with the title screen, from its first frame.
    double at = 0.0;
    check(follows_track(play_frames(5), track, at, music_volume), "the title screen does not play the track");
    check(IsMusicStreamPlaying(background_music), "not playing");

    // Across the end of the track and on into its start, one game frame at a time.
    const float seek = static_cast<float>(track.size()) / 22050.0f - 0.0625f;
    SeekMusicStream(background_music, seek);
    at = std::floor(static_cast<double>(seek) * 22050.0);
    check(follows_track(play_frames(10), track, at, music_volume), "a gap or a jump at the loop");
    check(at > static_cast<double>(track.size()), "the seam was not crossed");

    // A match keeps it going; the pause screen softens it, the match brings it back.
    set_screen_state(ScreenState::match);
    check(follows_track(play_frames(3), track, at, music_volume), "the match does not play the track");
    set_screen_state(ScreenState::paused);
    check(follows_track(play_frames(3), track, at, paused_music_volume), "not softer on the pause screen");
    set_screen_state(ScreenState::match);
    check(follows_track(play_frames(3), track, at, music_volume), "not back to full after the pause");

    // Switched off it falls silent at once and holds its place; switched on it goes on
    // from there.
    settings.enable_music = false;
    check(silent(play_frames(30)), "still heard with the setting off");
    check(!IsMusicStreamPlaying(background_music), "still playing with the setting off");
    settings.enable_music = true;
    check(follows_track(play_frames(3), track, at, music_volume), "does not resume where it stopped");
    stop(dir);
    std::exit(0);
}

void music_off_at_start_up() {
    const test_support::ScratchCwd dir = start(false);
    check(!settings.enable_music, "settings.cfg was not read");
    check(IsMusicReady(background_music), "the track did not load");
    check(silent(play_frames(40)), "heard although settings.cfg switches it off");
    check(!IsMusicStreamPlaying(background_music), "playing although switched off");
    // Switched on later (as the MUSIC box does), it starts from the beginning.
    settings.enable_music = true;
    double at = 0.0;
    check(follows_track(play_frames(3), track_samples(dir.home), at, music_volume), "does not start when switched on");
    stop(dir);
    std::exit(0);
}

void damaged_music_warns_once() {
    const std::string fine = test_support::read_file("assets/audio/music.wav");
    const std::string damages[] = {"", fine.substr(0, 30), std::string(4096, 'x'), "missing"};
    for (const std::string &bytes : damages) {
        const test_support::ScratchCwd dir = [&] {
            // The assets are copied, then the track is spoiled, before start-up.
            test_support::ScratchCwd d = test_support::enter_scratch_dir("vorbel-music-", false);
            check(!d.path.empty(), "no scratch directory");
            fs::copy(d.home + "/assets", "assets", fs::copy_options::recursive);
            if (bytes == "missing")
                fs::remove("assets/audio/music.wav");
            else
                test_support::write_file("assets/audio/music.wav", bytes);
            return d;
        }();
        check(test_support::use_settings(test_support::small_window_settings()), "settings.cfg not written");
        settings.enable_sound_effects = false;
        testing_pull_audio(nullptr, 0);
        testing_set_fixed_frame_time(1.0 / 60.0);
        const test_support::LogCapture log;
        check(init_app(), "start-up gave up over the music");
        const int warnings = test_support::warnings_naming("music.wav");
        if (warnings != 1) std::fprintf(stderr, "%d warnings for damage of %zu bytes\n", warnings, bytes.size());
        check(warnings == 1, "not exactly one WARNING about the track");
        check(!IsMusicReady(background_music), "a damaged track counts as loaded");
        settings.enable_sound_effects = false;
        check(silent(play_frames(10)), "a damaged track is heard");
        set_screen_state(ScreenState::match);
        settings.enable_music = false;
        play_frames(2);
        settings.enable_music = true;
        check(silent(play_frames(2)), "a damaged track is heard after switching");
        stop(dir);
    }
    std::exit(0);
}

TEST(GameMusic, PlaysUnderTitleAndMatchLoopsSeamlesslySoftensWhenPausedAndFollowsTheSetting) {
    test_support::expect_clean_exit_in_child(music_follows_the_game);
}

TEST(GameMusic, StaysSilentWhenSwitchedOffInTheFileAtStartUp) {
    test_support::expect_clean_exit_in_child(music_off_at_start_up);
}

TEST(GameMusic, MissingOrDamagedTrackGivesOneWarningAndASilentGame) {
    test_support::expect_clean_exit_in_child(damaged_music_warns_once);
}

}  // namespace
