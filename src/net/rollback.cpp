#include "net/rollback.h"

#include <algorithm>
#include <iterator>

#include "app/effects.h"
#include "raylib.h"

namespace {

// What an online match shows draws from here, never from the match: the peers may not
// even agree on whether sound is on. Kept here, not in a rollback, so that the gate
// never points into a record that is gone.
Rng effects{};

std::uint32_t slot(std::uint32_t f) { return f % input_window; }
std::uint32_t ring(std::uint32_t f) { return f % snapshot_ring_size; }

FrameInput remote_for(const Rollback &r, std::uint32_t f) {
    if (f < r.remote_next) return r.remote[slot(f)];
    return predicted_from(r.last_remote);
}

void save_state(Rollback &r, std::uint32_t f) {
    capture_match(r.states[ring(f)]);
    r.state_frames[ring(f)] = f;
}

// Steps frame f from the state in game_state and keeps the state after it.
void simulate(Rollback &r, std::uint32_t f) {
    FrameInput inputs[2];
    inputs[r.local_side] = r.local[slot(f)];
    const FrameInput other = remote_for(r, f);
    inputs[1 - r.local_side] = other;
    r.used_remote[slot(f)] = other;
    step_online_frame(inputs, r.dt);
    save_state(r, f + 1);
}

bool has_state(const Rollback &r, std::uint32_t f) { return r.state_frames[ring(f)] == f; }

void resimulate_from(Rollback &r, std::uint32_t from) {
    restore_match(r.states[ring(from)]);
    const bool held = effects_gate.held;
    effects_gate.held = true;
    for (std::uint32_t f = from; f < r.frame; ++f) simulate(r, f);
    effects_gate.held = held;
    const std::uint32_t n = r.frame - from;
    r.stats.rollbacks += 1;
    r.stats.largest = std::max(r.stats.largest, n);
    r.stats.resimulated += n;
}

void take_checksums(Rollback &r) {
    const std::uint32_t confirmed = rollback_confirmed(r);
    while (r.next_checksum <= confirmed) {
        const std::uint32_t f = r.next_checksum;
        r.next_checksum += checksum_interval;
        if (!has_state(r, f)) continue;
        if (r.outbox_count == static_cast<int>(std::size(r.outbox))) {
            // The caller stopped taking them: keep the newest.
            std::copy(r.outbox + 1, r.outbox + r.outbox_count, r.outbox);
            r.outbox_count -= 1;
        }
        r.outbox[r.outbox_count++] = ChecksumEntry{f, snapshot_checksum(r.states[ring(f)])};
    }
}

}  // namespace

void rollback_start(Rollback &r, int local_side, double dt, std::uint32_t input_delay, const MatchSnapshot &initial) {
    r.local_side = local_side == 0 ? 0 : 1;
    r.dt = dt;
    r.frame = 0;
    r.remote_next = 0;
    r.floor = 0;
    r.rollback_to = no_frame;
    r.last_remote = FrameInput{};
    std::fill(std::begin(r.local), std::end(r.local), FrameInput{});
    std::fill(std::begin(r.remote), std::end(r.remote), FrameInput{});
    std::fill(std::begin(r.used_remote), std::end(r.used_remote), FrameInput{});
    std::fill(std::begin(r.state_frames), std::end(r.state_frames), no_frame);
    r.local_next = std::min(input_delay, max_input_delay);
    r.next_checksum = checksum_interval;
    r.outbox_count = 0;
    r.stats = RollbackStats{};
    r.states[0] = initial;
    r.state_frames[0] = 0;
    r.running = true;
    // Any seed will do; the two machines' effects need not agree.
    seed_rng(effects, initial.game.rng.s[0] ^ (0x9e3779b97f4a7c15ull + static_cast<std::uint64_t>(r.local_side)));
    effects_gate = EffectsGate{false, &effects};
    restore_match(initial);
}

void rollback_stop(Rollback &r) {
    if (!r.running) return;
    r.running = false;
    effects_gate = EffectsGate{};
}

void rollback_add_local(Rollback &r, FrameInput in) {
    r.local[slot(r.local_next)] = in;
    r.local_next += 1;
}

bool rollback_add_remote(Rollback &r, std::uint32_t f, FrameInput in) {
    if (f < r.remote_next) return false;
    if (f != r.remote_next || f >= r.frame + max_remote_lead) return false;
    r.remote[slot(f)] = in;
    r.remote_next = f + 1;
    r.last_remote = in;
    if (f < r.frame && f >= r.floor && !(r.used_remote[slot(f)] == in)) {
        r.rollback_to = std::min(r.rollback_to, f);
    }
    return true;
}

std::uint32_t rollback_confirmed(const Rollback &r) { return std::min(r.frame, std::max(r.remote_next, r.floor)); }

void rollback_settle(Rollback &r) {
    if (r.rollback_to != no_frame && r.rollback_to < r.frame) {
        const std::uint32_t from = std::max(r.rollback_to, r.floor);
        if (has_state(r, from)) {
            resimulate_from(r, from);
        } else {
            TraceLog(LOG_WARNING, "ONLINE: no state kept for frame %u, cannot go back", from);
        }
    }
    r.rollback_to = no_frame;
    take_checksums(r);
}

bool rollback_can_step(const Rollback &r) {
    return r.local_next > r.frame && r.frame < std::max(r.remote_next, r.floor) + max_prediction;
}

void rollback_step(Rollback &r) {
    rollback_settle(r);
    restore_match(r.states[ring(r.frame)]);
    simulate(r, r.frame);
    r.frame += 1;
}

void rollback_force(Rollback &r, std::uint32_t frames) {
    const std::uint32_t back = std::min({frames, snapshot_ring_size - 1, r.frame - r.floor});
    if (back == 0) return;
    r.rollback_to = std::min(r.rollback_to, r.frame - back);
    rollback_settle(r);
}

const MatchSnapshot &rollback_current(const Rollback &r) { return r.states[ring(r.frame)]; }

bool rollback_adopt(Rollback &r, std::uint32_t f, const MatchSnapshot &state) {
    if (f < r.frame && r.frame - f >= input_window / 2) return false;
    if (f > r.local_next) return false;
    r.states[ring(f)] = state;
    r.state_frames[ring(f)] = f;
    r.floor = f;
    if (r.remote_next < f) {
        // The inputs before f are in the adopted state; the guess starts over.
        r.remote_next = f;
        r.last_remote = FrameInput{};
    }
    r.next_checksum = std::max(r.next_checksum, (f / checksum_interval + 1) * checksum_interval);
    if (f >= r.frame) {
        r.frame = f;
        r.rollback_to = no_frame;
        restore_match(state);
        return true;
    }
    r.rollback_to = f;
    rollback_settle(r);
    return true;
}

bool rollback_take_checksum(Rollback &r, ChecksumEntry &out) {
    if (r.outbox_count == 0) return false;
    out = r.outbox[0];
    std::copy(r.outbox + 1, r.outbox + r.outbox_count, r.outbox);
    r.outbox_count -= 1;
    return true;
}

void rollback_load_current(const Rollback &r) { restore_match(rollback_current(r)); }

const MatchSnapshot *rollback_state_at(const Rollback &r, std::uint32_t f) {
    return has_state(r, f) ? &r.states[ring(f)] : nullptr;
}
