#include "support/game_globals.h"

#include "app/effects.h"
#include "app/game_state.h"
#include "audio/music.h"
#include "audio/sound_bank.h"
#include "gameplay/match.h"
#include "net/online.h"
#include "render/camera.h"
#include "render/model_registry.h"
#include "render/overlay.h"
#include "render/particles.h"
#include "render/scene_diff.h"
#include "render/shader_registry.h"
#include "render/shadow_scene.h"
#include "settings/display.h"
#include "settings/settings.h"
#include "settings/startup.h"
#include "support/small_window.h"
#include "testing.h"
#include "ui/controls_page.h"
#include "ui/menu.h"
#include "ui/menu_focus.h"
#include "ui/menu_layout.h"
#include "ui/pause_menu.h"
#include "ui/theme.h"

// Every global the game's headers declare, grouped by folder. Left alone: the records
// fixed for the whole run (browser_menus by the build, online_beacon by the
// environment), and the file-local state that start-up and shutdown reset themselves.
void reset_game_globals() {
    game_state = GameState{};
    effects_gate = EffectsGate{};

    settings = Settings{};
    shadow_map_size = base_shadow_map_size;

    view_camera = SceneCamera{};
    light_camera = SceneCamera{};
    camera_position = menu_view_position;
    camera_motion = CameraMotion{};
    for (Particle &p : particles) p = Particle{};
    particle_texture = Texture2D{};
    for (ModelInstance &m : model_instances) m = ModelInstance{};
    model_count = 0;
    shader_registry.clear();
    shader_uniform_uploads = 0;
    shadow_scene = ShadowScene{};
    full_redraw_every_frame = false;
    forget_scene();
    overlay_target = RenderTexture2D{};
    overlay_shader = Shader{};
    overlay_ready = false;

    sound_bank = SoundBank{};
    background_music = Music{};

    menu_page = MenuPage::main;
    menu_column = MenuColumn{};
    pause_settings_open = false;
    controls_page_open = false;
    title_font = Font{};
    menu_font = Font{};
    reset_menu_focus();
    set_last_input_from_pad(false);

    online_options = OnlineOptions{};
    online_address[0] = '\0';
    online_address_editing = false;
}

namespace test_support {

bool start_game(StartedGame &game, const char *prefix, const Settings *s, double frame_time) {
    reset_game_globals();
    game.scratch = enter_scratch_dir(prefix, true);
    if (game.scratch.path.empty()) return false;
    if (s != nullptr && !use_settings(*s)) return false;
    testing_set_fixed_frame_time(frame_time);
    game.started = init_app();
    return game.started;
}

void stop_game(StartedGame &game) {
    if (game.started) deinit_app();
    game.started = false;
    testing_set_fixed_frame_time(-1.0);
    if (leave_scratch_dir(game.scratch)) game.scratch = {};
    reset_game_globals();
}

void start_bot_match() {
    set_screen_state(ScreenState::match);
    enable_bot();
    game_state.joined[1] = true;
}

}  // namespace test_support
