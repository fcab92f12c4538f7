// What a match frame only shows or plays (particles, sounds, camera shake) is gated
// here. Online play re-runs frames when a late input changes the past: those re-runs
// must show nothing, and nothing seen or heard may move the match's own generator
// (the peers may not even agree on whether sound is on).
#pragma once

#include "app/rng.h"

struct EffectsGate {
    bool held = false;   // frames being re-run: show and play nothing
    Rng *rng = nullptr;  // a generator of the effects' own; null: game_state.rng
};

extern EffectsGate effects_gate;

inline bool effects_shown() { return !effects_gate.held; }
// The generator effects draw from: game_state.rng in LOCAL and BOT play.
Rng &effects_rng();
