// The shared court with the effects of an online match on a generator of their own,
// and a deterministic input script that joins, walks, jumps, dashes and restarts.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "app/game_state.h"
#include "net/match_state.h"
#include "support/court.h"

inline constexpr std::uint64_t test_seed = 0x5eed0f0a11ull;
inline constexpr double test_dt = 1.0 / 60.0;

// Side 0 joins at frame 3, side 1 at frame 7, both again after every restart; a new
// intention every 20 frames; R now and then.
FrameInput scripted_input(std::uint32_t frame, int side, std::uint64_t seed = 1);

class OnlineCourt : public test_support::CourtTest {
protected:
    void SetUp() override;

    // Runs `frames` frames of the script from the initial record in one process, as
    // the reference both machines must agree with; fills `sums` with the state of
    // every 60th frame when given.
    MatchSnapshot reference_run(std::uint32_t frames, std::uint32_t input_delay,
                                std::vector<std::uint64_t> *sums = nullptr);

    Rng effects{};
};

// The input a side's script gives frame f once the input delay is counted in.
FrameInput delayed_input(std::uint32_t frame, int side, std::uint32_t input_delay, std::uint64_t seed = 1);
