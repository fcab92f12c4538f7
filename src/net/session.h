// One machine's side of an online match: listening or connecting, the handshake,
// the exchange of inputs and checksums over the connection, pause, leaving, and the
// watch for a silent peer. The caller gives the time and the local input; the match
// itself steps through the rollback.
#pragma once

#include <cstdint>

#include "net/protocol.h"
#include "net/rollback.h"
#include "net/transport.h"

enum class SessionPhase : std::uint8_t { idle, listening, connecting, playing, ended };

enum class SessionEnd : std::uint8_t {
    none,
    you_left,
    other_left,
    connection_lost,
    timed_out,
    refused,
    busy,
    versions,
    port_in_use,
    bad_address,
    network_failed,
    bad_handshake,
};

struct SessionConfig {
    std::uint16_t port = default_port;  // the host's listening port; 0: any free one
    std::uint32_t input_delay = 2;      // frames, 0..max_input_delay
    double silence_limit = 5.0;         // seconds without a word from the peer
    double connect_limit = 5.0;         // seconds to get a match going
    std::uint16_t protocol = protocol_version;
    std::uint16_t rules = rules_version;
    double game_speed = 1.0;  // the host's; the joiner takes it from the host
    std::uint64_t seed = 1;   // the host's choice of the match's generator seed
};

struct SessionCounters {
    std::uint32_t malformed = 0;  // packets dropped as unreadable or out of range
    std::uint32_t desyncs = 0;    // confirmed states on which the machines disagreed
    std::uint32_t states_sent = 0;
    std::uint32_t states_adopted = 0;
};

// A disconnect's reason on the wire: the other side chose to go.
inline constexpr std::uint32_t leave_reason = 1;

struct OnlineSession {
    bool hosting = false;
    SessionPhase phase = SessionPhase::idle;
    SessionEnd end = SessionEnd::none;
    SessionConfig config{};
    Transport transport{};
    _ENetPeer *peer = nullptr;  // the other player's connection
    double started = 0.0;       // when listening, connecting or the handshake began
    double last_heard = 0.0;
    double last_sent = 0.0;
    std::uint32_t remote_ack = 0;  // our inputs the other machine has: all frames below
    bool paused = false;
    std::uint8_t paused_by = 0;  // player 1 or 2
    // The other build's versions, after a mismatch (a host keeps listening and says so).
    bool other_versions_refused = false;
    std::uint16_t other_protocol = 0;
    std::uint16_t other_rules = 0;
    ChecksumEntry local_sums[16]{};
    ChecksumEntry remote_sums[16]{};
    SessionCounters counters{};
    Rollback rollback{};
};

void session_host(OnlineSession &s, const SessionConfig &config, double now);
// `address` as typed: "address" or "address:port".
void session_join(OnlineSession &s, const char *address, const SessionConfig &config, double now);
// Takes in what arrived, runs a pending re-run, watches the clocks, keeps the
// connection alive while nothing is stepped.
void session_update(OnlineSession &s, double now);
// Playing, not paused, and not too far ahead of the other machine.
bool session_can_step(const OnlineSession &s);
// Steps one frame with this machine's input (it counts input_delay frames later).
void session_step(OnlineSession &s, FrameInput local, double now);
// This machine's player pauses or resumes the match on both machines.
void session_pause(OnlineSession &s, bool paused, double now);
// Tells the other machine we go, then closes.
void session_leave(OnlineSession &s);
// Closes without a word (a crash or a pulled cable, as the other side sees it).
void session_drop(OnlineSession &s);
// 0 when this machine plays player 1 (the host), 1 for player 2.
int session_local_side(const OnlineSession &s);
// Closes whatever is open, without a word, and forgets the session (phase idle).
void session_reset(OnlineSession &s);
// One line saying why the session ended (empty while it has not).
const char *session_end_text(const OnlineSession &s);
