#include "support/court.h"

#include "gameplay/buttons.h"
#include "support/game_globals.h"

namespace test_support {

void CourtTest::SetUp() {
    reset_game_globals();
    for (int i = 0; i < 2; ++i) {
        player_instances[i] = ModelInstance{};
        player_instances[i].position = i == 0 ? player1_start : player2_start;
        game_state.players[i].instance = &player_instances[i];
    }
    for (int i = 0; i < button_count; ++i) {
        button_instances[i] = ModelInstance{};
        button_instances[i].position = button_position(i);
        init_button(game_state.buttons[i], &button_instances[i], i);
    }
    for (int i = 0; i < beam_count; ++i) {
        beam_instances[i] = ModelInstance{};
        beam_instances[i].rotation_axis = {0, 1, 0};
        beam_instances[i].visible = false;
        beam_instances[i].casts_shadow = false;
        beam_instances[i].receives_shadow = false;
        init_beam(game_state.beams[i], &beam_instances[i]);
    }
}

void CourtTest::TearDown() { reset_game_globals(); }

}  // namespace test_support
