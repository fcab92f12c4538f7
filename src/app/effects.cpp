#include "app/effects.h"

#include "app/game_state.h"

EffectsGate effects_gate{};

Rng &effects_rng() { return effects_gate.rng != nullptr ? *effects_gate.rng : game_state.rng; }
