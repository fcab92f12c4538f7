#include "app/game_state.h"

#include "audio/sound_bank.h"
#include "render/camera.h"
#include "render/model_registry.h"
#include "raylib.h"

GameState game_state{};

void set_screen_state(ScreenState next) {
    const ScreenState old = game_state.screen_state;
    if (old == ScreenState::menu && next == ScreenState::match) {
        start_match();
    } else if (next == ScreenState::menu) {
        reset_match();
        enter_menu_scene();
    } else if (next == ScreenState::paused) {
        play_pause_sound();
    } else if (next == ScreenState::match && old == ScreenState::paused) {
        play_click_sound(true);
    }
    game_state.screen_state = next;
}

void enter_menu_scene() {
    move_camera_to(menu_view_position);
    game_state.joined[0] = true;
    Player &p1 = game_state.players[0];
    if (p1.instance != nullptr) p1.instance->visible = true;
    // The title screen's tomato idles: no controller moves it.
    p1.input_locked = true;
    disable_bot();
}

void update_menu_scene(double dt) { update_player(&game_state.players[0], dt); }

void update_paused() {
    if (pause_pressed(false)) set_screen_state(ScreenState::match);
}
