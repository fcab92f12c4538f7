#include "audio/sound_bank.h"

#include <cstdio>
#include <new>
#include <vector>

#include "app/effects.h"
#include "app/prefetch.h"
#include "app/rng.h"
#include "platform/raylib_bridge.h"
#include "settings/settings.h"

SoundBank sound_bank{};

// Every play owns its Sound. Finished ones are released at the next play and at
// shutdown, so a long session does not pile up audio buffers.
static std::vector<Sound> live_sounds;

int step_index_from(std::uint64_t random) {
    unsigned b = static_cast<unsigned>(random & 0xFFu);
    return static_cast<int>((b * 8u) / 256u);
}

std::size_t live_sound_count() { return live_sounds.size(); }

void release_finished_sounds() {
    std::size_t kept = 0;
    for (Sound &s : live_sounds) {
        if (IsSoundPlaying(s)) {
            live_sounds[kept++] = s;
        } else {
            UnloadSound(s);
        }
    }
    live_sounds.resize(kept);
}

static void play_owned(Sound s) {
    PlaySound(s);
    try {
        live_sounds.push_back(s);
    } catch (const std::bad_alloc &) {
        // Cannot track it: it still plays, and closing the audio device frees it.
    }
}

static Sound new_sound(const Wave &wave) {
    release_finished_sounds();
    return LoadSoundFromWave(wave);
}

static constexpr const char *click_path = "assets/audio/click.wav";
static constexpr const char *click_echo_path = "assets/audio/click_echo.wav";
static constexpr const char *pause_path = "assets/audio/pause.wav";

struct StepPath {
    char text[32];
};

static StepPath step_path(int n) {
    StepPath p{};
    std::snprintf(p.text, sizeof p.text, "assets/audio/step-%d.wav", n);
    return p;
}

void prefetch_sounds() {
    for (int n = 1; n <= 8; ++n) prefetch_wave(step_path(n).text);
    prefetch_wave(click_path);
    prefetch_wave(click_echo_path);
    prefetch_wave(pause_path);
}

void load_sounds() {
    for (int n = 1; n <= 8; ++n) sound_bank.step_waves[n - 1] = LoadWave(step_path(n).text);
    sound_bank.click_wave = LoadWave(click_path);
    sound_bank.click_echo_wave = LoadWave(click_echo_path);
    sound_bank.pause_wave = LoadWave(pause_path);
}

void unload_sounds() {
    for (Sound &s : live_sounds) UnloadSound(s);
    live_sounds.clear();
    live_sounds.shrink_to_fit();
    for (Wave &w : sound_bank.step_waves) UnloadWave(w);
    UnloadWave(sound_bank.click_wave);
    UnloadWave(sound_bank.click_echo_wave);
    UnloadWave(sound_bank.pause_wave);
    sound_bank = SoundBank{};
}

void play_step_sound(bool side) {
    if (!settings.enable_sound_effects) return;
    int index = step_index_from(rng_next(effects_rng()));
    Sound s = new_sound(sound_bank.step_waves[index]);
    SetSoundVolume(s, step_volume);
    set_sound_pan(s, side ? player2_step_pan : player1_step_pan);
    play_owned(s);
}

void play_click_sound(bool echo) {
    if (!settings.enable_sound_effects) return;
    play_owned(new_sound(echo ? sound_bank.click_echo_wave : sound_bank.click_wave));
}

void play_pause_sound() {
    if (!settings.enable_sound_effects) return;
    play_owned(new_sound(sound_bank.pause_wave));
}
