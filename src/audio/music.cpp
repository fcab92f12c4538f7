#include "audio/music.h"

#include "app/game_state.h"
#include "app/prefetch.h"
#include "platform/raylib_bridge.h"
#include "settings/settings.h"

Music background_music{};

// Paused by the setting (as opposed to never started), so it resumes where it was.
static bool held_by_setting = false;

// Its file is read ahead like the sound effects'; LoadMusicStream decodes it.
void prefetch_music() { prefetch_wave(music_path); }

void load_music() {
    background_music = LoadMusicStream(music_path);
    held_by_setting = false;
    if (!music_valid(background_music)) TraceLog(LOG_INFO, "MUSIC: the game goes on without music");
}

void unload_music() {
    UnloadMusicStream(background_music);
    background_music = Music{};
    held_by_setting = false;
}

void update_music() {
    if (!music_valid(background_music)) return;
    if (!settings.enable_music) {
        if (!held_by_setting && IsMusicStreamPlaying(background_music)) {
            PauseMusicStream(background_music);
            held_by_setting = true;
        }
        return;
    }
    if (held_by_setting) {
        ResumeMusicStream(background_music);
        held_by_setting = false;
    }
    const bool on_hold = game_state.screen_state == ScreenState::paused;
    SetMusicVolume(background_music, on_hold ? paused_music_volume : music_volume);
    if (!IsMusicStreamPlaying(background_music)) PlayMusicStream(background_music);
    UpdateMusicStream(background_music);
}
