#include "app/frame_loop.h"

#if defined(__EMSCRIPTEN__)
#include <emscripten.h>
#endif

#include "app/game_state.h"
#include "app/stop_signals.h"
#include "audio/music.h"
#include "gameplay/match.h"
#include "net/online.h"
#include "replay/replay.h"
#include "render/camera.h"
#include "render/model_registry.h"
#include "render/overlay.h"
#include "render/particles.h"
#include "render/shader_registry.h"
#include "render/shadow_scene.h"
#include "render/view_layer.h"
#include "settings/settings.h"
#include "settings/startup.h"
#include "ui/controls_page.h"
#include "ui/menu.h"
#include "ui/menu_focus.h"
#include "ui/pause_menu.h"

double scaled_frame_delta(float frame_time, double game_speed) {
    double dt = static_cast<double>(frame_time) * game_speed;
    // A stall must not teleport players or skip timers; there is no lower bound.
    // A NaN step (a nan speed from the file, or 0 s times an infinite one) would
    // poison every position and timer for good, so it is capped like a stall.
    if (!(dt <= max_frame_delta)) dt = max_frame_delta;
    return dt;
}

void update_game(double dt) {
    feed_overlay();
    push_shader_uniforms();
    update_camera(&view_camera);
    update_camera(&light_camera);
    update_light(&shadow_scene, &light_camera, &view_camera);
    update_particles(dt);
    update_camera_motion(dt);
    note_input_device();
    const ScreenState screen = game_state.screen_state;
    follow_online(update_online(join_page_shown()));
    follow_replay();
    switch (game_state.screen_state) {
    case ScreenState::menu:
        update_menu_scene(dt);
        break;
    case ScreenState::match:
        // An online match steps at its own fixed rate inside update_online.
        if (online_match_running()) {
            update_online_match();
        } else if (replay_playing()) {
            update_replay_playback();
        } else if (recording_local_match()) {
            // Recorded: at the online match's fixed step, from inputs a replay can give back.
            update_recorded_match();
        } else {
            update_match(dt);
        }
        break;
    case ScreenState::paused:
        // Escape on the controls page goes back to the settings page (the page's own
        // back), not to the match.
        if (!controls_page_open) update_paused();
        break;
    }
    // A press that paused, resumed or began a match this frame is not a menu press too.
    update_menu_input(game_state.screen_state == screen);
    // After the screen's update, so a pause begun this frame already softens it.
    update_music();
}

void draw_game() {
    draw_world();  // the shadow pass, then models and particles through the view camera
    switch (game_state.screen_state) {
    case ScreenState::menu:
        draw_title_screen();
        break;
    case ScreenState::match:
        // A replay cannot be played again from here: no restart hint.
        draw_match_hud(MatchEndLines{result_line(), replay_playing() ? "" : restart_hint()});
        break;
    case ScreenState::paused:
        draw_pause_screen();
        break;
    }
    draw_online_lines();
    draw_replay_lines();
    DrawFPS(GetScreenWidth() - 100, 0);
}

void run_frame() {
    double dt = scaled_frame_delta(GetFrameTime(), settings.game_speed);
    update_game(dt);
    BeginDrawing();
    ClearBackground(frame_clear_color);
    draw_game();
    EndDrawing();
}

bool should_stop() {
    if (stop_signal_received() != 0) {
        log_stop_signal();
        return true;
    }
    return WindowShouldClose() || game_state.quit_requested;
}

int run_game() {
    watch_stop_signals();
    if (!init_app()) return 1;
#if defined(__EMSCRIPTEN__)
    // The page owns the loop: the browser calls one frame per animation frame, paced
    // by the display, and a tab never asks to stop. This does not return.
    emscripten_set_main_loop(run_frame, 0, true);
#endif
    while (!should_stop()) run_frame();
    replay_finish_recording();
    leave_online();
    deinit_app();
    return 0;
}
