// A recorded match: how it started and each frame's two inputs. Small enough to mail,
// read from untrusted files, so every length and value is checked before use. The
// layout is described in the README ("Replays").
#pragma once

#include <cstddef>
#include <cstdint>

#include "net/match_state.h"

// Which match was recorded: who plays player 2, and how the inputs were agreed.
enum class ReplayKind : std::uint8_t { local = 0, bot = 1, online = 2 };

inline constexpr std::uint8_t replay_magic[8] = {'V', 'O', 'R', 'B', 'E', 'L', 'R', 'P'};
inline constexpr std::uint16_t replay_format = 1;
// Two hours of 60 steps a second: longer than any match, small enough to hold whole.
inline constexpr std::uint32_t replay_max_frames = 60u * 60u * 60u * 2u;
inline constexpr std::size_t replay_header_bytes = 40;
inline constexpr std::size_t replay_run_bytes = 7;
inline constexpr std::size_t replay_trailer_bytes = 8;
inline constexpr std::size_t replay_max_bytes =
    replay_header_bytes + std::size_t{replay_max_frames} * replay_run_bytes + replay_trailer_bytes;

struct ReplayHeader {
    std::uint16_t format = replay_format;
    std::uint16_t protocol = 0;  // the game's protocol and rules versions when recorded
    std::uint16_t rules = 0;
    ReplayKind kind = ReplayKind::local;
    std::uint64_t seed = 0;    // the match generator's seed
    double step = 1.0 / 60.0;  // seconds of game time per frame (1/60 s times the game speed)
    std::uint32_t frames = 0;  // frames recorded
};

struct ReplayFrame {
    FrameInput inputs[2]{};  // player 1's, player 2's
    bool operator==(const ReplayFrame &) const = default;
};

// The header and up to replay_max_frames frames (the frames live where the caller keeps them).
struct ReplayView {
    ReplayHeader header{};
    ReplayFrame *frames = nullptr;
    std::uint32_t capacity = 0;
};

enum class ReplayError : std::uint8_t {
    none,
    too_short,        // shorter than a header and its check
    not_a_replay,     // no magic
    newer_format,     // a format this game does not know
    bad_header,       // an unknown kind, a non-zero reserved byte, a step out of range
    too_many_frames,  // more frames than any match has, or than the caller holds
    wrong_length,     // the runs do not fill the file exactly (truncated or padded)
    damaged,          // the check does not match the bytes
    bad_frames,       // a run of 0, runs that do not add up, an input no game sends
    other_versions,   // made by a game whose rules differ: it would replay another match
    unreadable,       // the file could not be opened or read, or is not a plain file
    unwritable,
};

// One line a player understands, for the console or the title screen.
const char *replay_error_text(ReplayError e);

// FNV-1a, as the file's check.
std::uint64_t replay_check(const std::uint8_t *data, std::size_t size);
// Bytes the encoded form of these frames takes.
std::size_t replay_encoded_size(const ReplayFrame *frames, std::uint32_t count);
// Writes the file into `out`; its size, or 0 when `capacity` is too small.
std::size_t encode_replay(const ReplayHeader &h, const ReplayFrame *frames, std::uint8_t *out, std::size_t capacity);
// Reads a file; on any error `out.header.frames` is 0 and nothing else is promised.
ReplayError decode_replay(const std::uint8_t *data, std::size_t size, ReplayView &out);
// Whether this game replays the recording as it was played (same protocol and rules).
ReplayError replay_versions_match(const ReplayHeader &h);

// Whole files. Reading refuses anything but a plain file of at most replay_max_bytes.
ReplayError load_replay(const char *path, ReplayView &out);
ReplayError save_replay(const char *path, const ReplayHeader &h, const ReplayFrame *frames);
