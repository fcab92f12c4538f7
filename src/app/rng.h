// The game's single random generator: xoshiro256++ seeded through SplitMix64.
// Every random choice of the game (gameplay, camera shake, particles, sounds) draws
// from game_state.rng so that a seeded run is reproducible.
#pragma once

#include <cstdint>

struct Rng {
    std::uint64_t s[4] = {0, 0, 0, 0};
};

// One step of SplitMix64; advances `state` and returns the mixed output.
std::uint64_t splitmix64_next(std::uint64_t &state);

// Fills the state with four successive SplitMix64 outputs started from `seed`.
void seed_rng(Rng &rng, std::uint64_t seed);

// Seeds from 8 bytes of operating-system randomness. If the system source fails,
// falls back to a clock-derived seed and logs a WARNING. Returns the seed used.
std::uint64_t seed_rng_from_os(Rng &rng);

// Next 64-bit output of xoshiro256++.
std::uint64_t rng_next(Rng &rng);

// Uniform integer below n, without bias; 0 when n is 0.
std::uint64_t rng_below(Rng &rng, std::uint64_t n);

// Uniform integer in the closed range [a, b]; a when b < a.
std::int64_t rng_range(Rng &rng, std::int64_t a, std::int64_t b);

// Uniform double in [0, 1) from the top 53 bits of one output.
double rng_float(Rng &rng);
