// What a program leaves alive is released by CloseAudioDevice and CloseWindow.
// Each case runs in a fresh child process that exits normally, so the leak
// checker (in sanitizer builds) inspects that process at its exit: a leak makes
// the child's exit code non-zero. The audio case also stresses the lock between
// the device's mixing thread and the main thread.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "raygui.h"
#include "raylib.h"
#include "support/child_process.h"
#include "support/scratch_dir.h"
#include "support/wav_file.h"

namespace {

std::string write_wav(const std::string &path, int frames) {
    std::vector<int16_t> pcm(static_cast<size_t>(frames), 1000);
    const auto bytes = static_cast<uint32_t>(pcm.size() * 2);
    test_support::write_wav_file(path, 1, 1, 22050, 16, pcm.data(), bytes);
    return path;
}

void leave_audio_alive_and_close() {
    const std::string dir = test_support::make_scratch_dir("vorbel_life_");
    if (dir.empty()) std::exit(2);
    const std::string wav = write_wav(dir + "/a.wav", 2000);

    InitAudioDevice();  // the dummy driver mixes on its own thread
    Wave wave = LoadWave(wav.c_str());
    if (!IsWaveReady(wave)) std::exit(3);
    // Per-play sounds made, played and dropped while the device mixes.
    for (int i = 0; i < 3000; ++i) {
        Sound s = LoadSoundFromWave(wave);
        SetSoundPan(s, (i % 2) != 0 ? 0.8f : 0.2f);
        SetSoundVolume(s, 0.6f);
        PlaySound(s);
        if (IsSoundPlaying(s) && (i % 3) != 0) UnloadSound(s);
    }
    Wave kept = LoadWave(wav.c_str());
    Sound loaded = LoadSound(wav.c_str());
    PlaySound(loaded);
    // A music stream queued from this thread while the device's thread drains it.
    Music music = LoadMusicStream(wav.c_str());
    if (!IsMusicReady(music)) std::exit(4);
    PlayMusicStream(music);
    for (int i = 0; i < 2000; ++i) {
        UpdateMusicStream(music);
        if (i % 100 == 0) SeekMusicStream(music, 0.01f * static_cast<float>(i % 7));
    }
    (void)kept;
    test_support::remove_scratch_dir(dir);
    CloseAudioDevice();
    std::exit(0);
}

void leave_models_alive_and_close() {
    const std::string dir = test_support::make_scratch_dir("vorbel_life_");
    if (dir.empty()) std::exit(2);
    FILE *f = std::fopen((dir + "/m.mtl").c_str(), "wb");
    std::fputs("newmtl a\nKd 1 1 1\nNs 10\nnewmtl b\nKd 0 1 0\n", f);
    std::fclose(f);
    f = std::fopen((dir + "/m.obj").c_str(), "wb");
    std::fputs("mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl a\nf 1 2 3\nusemtl b\nf 1 3 2\n", f);
    std::fclose(f);

    InitWindow(64, 64, "lifetime");
    Model loaded = LoadModel((dir + "/m.obj").c_str());
    Model beam = LoadModelFromMesh(GenMeshCube(0.2f, 0.2f, 12.0f));
    Model missing = LoadModel((dir + "/none.obj").c_str());
    Mesh loose = GenMeshCube(1, 1, 1);
    Material material = LoadMaterialDefault();
    Model unloaded = LoadModelFromMesh(GenMeshCube(1, 1, 1));
    UnloadModel(unloaded);
    GuiSetFont(GetFontDefault());
    BeginDrawing();
    DrawModel(loaded, Vector3{0, 0, 0}, 1.0f, WHITE);
    DrawModel(beam, Vector3{0, 0, 0}, 1.0f, WHITE);
    DrawModel(missing, Vector3{0, 0, 0}, 1.0f, WHITE);
    GuiButton(Rectangle{0, 0, 30, 20}, "OK");
    EndDrawing();
    (void)loose;
    (void)material;
    test_support::remove_scratch_dir(dir);
    CloseWindow();
    std::exit(0);
}

TEST(Lifetime, WavesSoundsAndMusicLeftAliveAreFreedByCloseAudioDevice) {
    test_support::expect_clean_exit_in_child(leave_audio_alive_and_close);
}

TEST(Lifetime, ModelsMeshesAndMaterialsLeftAliveAreFreedByCloseWindow) {
    test_support::expect_clean_exit_in_child(leave_models_alive_and_close);
}

}  // namespace
