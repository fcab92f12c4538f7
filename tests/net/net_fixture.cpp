#include "net_fixture.h"

#include "app/effects.h"
#include "settings/settings.h"

namespace {

std::uint64_t mix(std::uint64_t x) {
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ull;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

}  // namespace

FrameInput scripted_input(std::uint32_t frame, int side, std::uint64_t seed) {
    const std::uint64_t h = mix(seed * 0x9e3779b97f4a7c15ull + static_cast<std::uint64_t>(side) * 7919u + frame / 20);
    FrameInput in;
    if ((h & 7) != 0) {
        in.move_x = static_cast<std::int8_t>(static_cast<int>((h >> 8) % 255) - 127);
        in.move_z = static_cast<std::int8_t>(static_cast<int>((h >> 16) % 255) - 127);
    }
    if (((h >> 24) & 3) == 0) in.buttons |= input_jump;
    if (((h >> 28) & 7) == 0 && frame % 20 > 12) in.buttons |= input_dash;
    if (frame % 97 == (side == 0 ? 3u : 7u)) in.buttons |= input_join | input_jump;
    if (frame % 151 == 150) in.buttons |= input_restart;
    return in;
}

FrameInput delayed_input(std::uint32_t frame, int side, std::uint32_t input_delay, std::uint64_t seed) {
    if (frame < input_delay) return FrameInput{};
    return scripted_input(frame - input_delay, side, seed);
}

void OnlineCourt::SetUp() {
    CourtTest::SetUp();
    settings.enable_sound_effects = false;
    seed_rng(effects, 77);
    effects_gate = EffectsGate{false, &effects};
}

MatchSnapshot OnlineCourt::reference_run(std::uint32_t frames, std::uint32_t input_delay,
                                         std::vector<std::uint64_t> *sums) {
    restore_match(initial_match_snapshot(test_seed));
    MatchSnapshot s;
    for (std::uint32_t f = 0; f < frames; ++f) {
        if (sums != nullptr && f % 60 == 0) {
            capture_match(s);
            sums->push_back(snapshot_checksum(s));
        }
        const FrameInput inputs[2] = {delayed_input(f, 0, input_delay), delayed_input(f, 1, input_delay)};
        step_online_frame(inputs, test_dt);
    }
    capture_match(s);
    if (sums != nullptr && frames % 60 == 0) sums->push_back(snapshot_checksum(s));
    return s;
}
