// The court as plain model-instance records (no window, no GPU models): the players
// at their starts, the buttons in their places, the beams hidden, all wired into
// game_state on globals reset as a fresh process has them.
#pragma once

#include <gtest/gtest.h>

#include "app/game_state.h"
#include "render/model_registry.h"

namespace test_support {

class CourtTest : public ::testing::Test {
protected:
    void SetUp() override;
    // The game state points into this fixture; it leaves no dangling pointers behind.
    void TearDown() override;

    ModelInstance player_instances[2]{};
    ModelInstance button_instances[button_count]{};
    ModelInstance beam_instances[beam_count]{};
};

}  // namespace test_support
