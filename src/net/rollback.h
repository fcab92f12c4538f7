// Rollback: each machine steps the match at once on its own input and a guess of the
// other's, keeps the states of the last frames, and when a late input differs from
// the guess, goes back to that frame and runs the frames again with what is now
// known, showing and playing nothing of the re-run.
#pragma once

#include <cstdint>

#include "net/match_state.h"

inline constexpr std::uint32_t snapshot_ring_size = 10;
// The furthest a machine runs ahead of the other's last known input.
inline constexpr std::uint32_t max_prediction = 8;
// Inputs kept per side, by frame number modulo this.
inline constexpr std::uint32_t input_window = 128;
// A remote input further ahead than this is not stored (an honest peer stalls first).
inline constexpr std::uint32_t max_remote_lead = 48;
inline constexpr std::uint32_t checksum_interval = 60;
inline constexpr std::uint32_t max_input_delay = 10;
inline constexpr std::uint32_t no_frame = 0xFFFFFFFFu;

struct RollbackStats {
    std::uint32_t rollbacks = 0;  // re-runs made
    std::uint32_t largest = 0;    // most frames re-run at once
    std::uint64_t resimulated = 0;
};

struct ChecksumEntry {
    std::uint32_t frame = no_frame;
    std::uint64_t sum = 0;
};

struct Rollback {
    int local_side = 0;  // 0: this machine plays player 1
    double dt = 1.0 / 60.0;
    std::uint32_t frame = 0;        // frames stepped; the live state is the one before frame `frame`
    std::uint32_t local_next = 0;   // first frame with no local input yet
    std::uint32_t remote_next = 0;  // first frame with no remote input yet (all below are known)
    std::uint32_t floor = 0;        // an adopted state: nothing before it is re-run
    std::uint32_t rollback_to = no_frame;
    FrameInput last_remote{};
    FrameInput local[input_window]{};
    FrameInput remote[input_window]{};
    FrameInput used_remote[input_window]{};
    MatchSnapshot states[snapshot_ring_size]{};
    std::uint32_t state_frames[snapshot_ring_size]{};
    std::uint32_t next_checksum = checksum_interval;
    // Checksums of confirmed states not yet taken by the caller.
    ChecksumEntry outbox[4]{};
    int outbox_count = 0;
    RollbackStats stats{};
    bool running = false;  // between rollback_start and rollback_stop
};

// Starts from `initial` at frame 0. The first `input_delay` frames of the local
// player are neutral: its input always counts that many frames after it is read.
// From here to rollback_stop the rollback alone switches the effects: they draw from
// a generator of their own, never from the match's, and a re-run shows nothing.
void rollback_start(Rollback &r, int local_side, double dt, std::uint32_t input_delay, const MatchSnapshot &initial);
// The match is over: what is only seen or heard draws from the game's generator again.
void rollback_stop(Rollback &r);
// Registers the local input for the next frame that has none.
void rollback_add_local(Rollback &r, FrameInput in);
// A remote input for frame `f`. Inputs must come in order; a repeat of a known one
// is ignored, one beyond a gap or too far ahead is not stored. True when stored.
bool rollback_add_remote(Rollback &r, std::uint32_t f, FrameInput in);
// Runs a pending re-run and takes the checksums of newly confirmed states.
void rollback_settle(Rollback &r);
// The next frame can be stepped: its local input is known and it is not too far
// ahead of the remote input.
bool rollback_can_step(const Rollback &r);
// Settles, then steps one frame with effects shown. Call only when it can step.
void rollback_step(Rollback &r);
// Goes back `frames` frames (as far as the ring allows) and re-runs them now.
void rollback_force(Rollback &r, std::uint32_t frames);
// Frames whose states both machines will agree on.
std::uint32_t rollback_confirmed(const Rollback &r);
// The live state (the one before frame r.frame).
const MatchSnapshot &rollback_current(const Rollback &r);
// Takes the state of frame `f` as the truth (the host's, after a checksum mismatch)
// and re-runs up to the present. False when too far from the present to re-run.
bool rollback_adopt(Rollback &r, std::uint32_t f, const MatchSnapshot &state);
// Pops the oldest checksum not yet taken; false when none.
bool rollback_take_checksum(Rollback &r, ChecksumEntry &out);
// Loads the live state into game_state (for drawing, or after another owner used it).
void rollback_load_current(const Rollback &r);
// The kept state of frame `f`, or null when it is no longer (or not yet) kept.
const MatchSnapshot *rollback_state_at(const Rollback &r, std::uint32_t f);
