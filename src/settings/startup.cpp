#include "settings/startup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "app/game_state.h"
#include "app/prefetch.h"
#include "app/rng.h"
#include "audio/music.h"
#include "audio/sound_bank.h"
#include "platform/display_loss.h"
#include "platform/raylib_bridge.h"
#include "raylib.h"
#include "render/camera.h"
#include "render/model_registry.h"
#include "render/overlay.h"
#include "render/particles.h"
#include "render/shader_registry.h"
#include "render/scene_diff.h"
#include "render/shadow_scene.h"
#include "render/view_layer.h"
#include "settings/display.h"
#include "settings/settings.h"
#include "ui/theme.h"

static constexpr double camera_aspect = 16.0 / 9.0;
static constexpr const char *particle_texture_path = "assets/textures/particle.png";

void prefetch_assets() {
    // In the order they are loaded, so the first needed is the first ready.
    prefetch_fonts();
    prefetch_sounds();
    prefetch_music();
    prefetch_scene_models();
    prefetch_image(particle_texture_path);
}

// Every asset path is relative to the working directory. Started from anywhere else
// the game still runs, with nothing of its own to draw or play; say so first, where it
// looked and how to start it, before the many lines about each missing file.
static void check_assets_folder() {
    struct stat st {};
    if (stat("assets", &st) == 0 && S_ISDIR(st.st_mode)) return;
    char cwd[4096];
    std::string where = getcwd(cwd, sizeof cwd) != nullptr ? cwd : "the working directory";
    if (where.back() != '/') where += '/';
    TraceLog(LOG_ERROR,
             "STARTUP: no assets folder at %sassets; start vorbel from the repository root "
             "(e.g. build/release/vorbel) or with ./run.sh there",
             where.c_str());
}

bool load_resources() {
    try {
        seed_rng_from_os(game_state.rng);

        // A missing or malformed file leaves the defaults (load_settings has logged
        // why); the file is written the first time a setting changes.
        Result<Settings> loaded = load_settings();
        if (loaded) {
            settings = loaded.value();
        } else if (loaded.error() == Error::out_of_memory) {
            throw std::bad_alloc();
        }

        view_camera = make_camera(to_vector3(camera_position), Vector3{-45.0f, 0.0f, 0.0f}, 60.0f, 0.01f, 100.0f,
                                  camera_aspect, false);
        shader_registry.clear();
        apply_dpi_step();
        shadow_scene = load_shadow_scene(shadow_map_size);
        // Only for comparisons and tests; never saved with the settings.
        const char *full = std::getenv("VORBEL_FULL_REDRAW");
        full_redraw_every_frame = full != nullptr && full[0] != '\0' && std::strcmp(full, "0") != 0;
        light_camera = make_camera(Vector3{28.5f, 16.6f, -22.14f},
                                   Vector3{151.8338165283203f, 65.31718444824219f, 179.9087371826172f}, 10.0f, 0.06f,
                                   100.0f, camera_aspect, true);
        light_camera.scale = Vector3{4.0f, 4.0f, 4.0f};
        load_overlay();
        load_sounds();
        load_music();
        load_scene_models();
        enter_menu_scene();
        particle_texture = LoadTexture(particle_texture_path);
    } catch (const std::bad_alloc &) {
        TraceLog(LOG_ERROR, "STARTUP: out of memory while loading resources");
        return false;
    }
    return true;
}

bool init_app() {
    // First, so every report of a problem says which release it came from.
    TraceLog(LOG_INFO, "vorbel %s", VORBEL_VERSION);
    check_assets_folder();
    // Nothing here needs the window: the files are decoded while it opens.
    prefetch_assets();
    SetConfigFlags(window_config_flags(raylib_release));
    InitWindow(settings.screen_width, settings.screen_height, "vorbel");
    watch_display_loss();
    InitAudioDevice();
    SetExitKey(KEY_NULL);
    bool ok = true;
    try {
        load_gui_theme();
    } catch (const std::bad_alloc &) {
        TraceLog(LOG_ERROR, "STARTUP: out of memory while loading the GUI theme");
        ok = false;
    }
    if (ok) ok = load_resources();
    if (!ok) {
        CloseAudioDevice();
        CloseWindow();
        return false;
    }
    apply_vsync(settings.vsync);
    if (settings.fullscreen) toggle_fullscreen();
    return true;
}

void unload_resources() {
    unload_music();
    unload_sounds();
    unload_view_layer();
    unload_shadow_scene(&shadow_scene);
    unload_shader_registry();
    unload_models();
}

void deinit_app() {
    unload_resources();
    CloseAudioDevice();
    CloseWindow();
}
