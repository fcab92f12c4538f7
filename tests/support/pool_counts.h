// How much of the game's fixed pools is in use.
#pragma once

#include "app/game_state.h"
#include "render/particles.h"

namespace test_support {

inline int live_particles() {
    int n = 0;
    for (const Particle &p : particles) n += p.active ? 1 : 0;
    return n;
}

inline int active_beams() {
    int n = 0;
    for (const Beam &b : game_state.beams) n += b.active ? 1 : 0;
    return n;
}

}  // namespace test_support
