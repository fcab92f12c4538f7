// The start-up as the game runs it, under ThreadSanitizer: files decoded by the
// prefetch workers while the window opens, taken by the loads on the main thread, the
// mixer on SDL's audio thread. Then rounds in which every load comes while the workers
// are still busy, and a prefetch that is never taken before the window closes.
#include <cstdio>

#include "app/frame_loop.h"
#include "audio/sound_bank.h"
#include "raylib.h"
#include "render/model_registry.h"
#include "settings/startup.h"
#include "support/scratch_dir.h"
#include "testing.h"
#include "ui/theme.h"

int main() {
    const test_support::ScratchCwd scratch = test_support::enter_scratch_dir("vorbel-tsan-", true);
    if (scratch.path.empty()) {
        std::fprintf(stderr, "no scratch directory\n");
        return 1;
    }
    testing_set_fixed_frame_time(1.0 / 60.0);
    if (!init_app()) return 1;
    for (int i = 0; i < 20; ++i) run_frame();
    play_click_sound(false);
    for (int i = 0; i < 5; ++i) run_frame();
    deinit_app();

    InitWindow(320, 180, "tsan");
    InitAudioDevice();
    for (int round = 0; round < 8; ++round) {
        prefetch_assets();
        // Taken newest first, so most are still queued or being decoded.
        Image particle = LoadImage("assets/textures/particle.png");
        Model tomato = LoadModel("assets/models/tomato.obj");
        Wave pause = LoadWave("assets/audio/pause.wav");
        Font menu = LoadFontEx(gui_font_path, menu_font_size, nullptr, 0);
        UnloadFont(menu);
        UnloadWave(pause);
        UnloadModel(tomato);
        UnloadImage(particle);
        BeginDrawing();
        EndDrawing();
    }
    prefetch_assets();
    CloseAudioDevice();
    CloseWindow();
    testing_set_fixed_frame_time(-1.0);
    return test_support::leave_scratch_dir(scratch) ? 0 : 1;
}
