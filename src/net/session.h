// One machine's side of an online match: listening or connecting, the handshake,
// the exchange of inputs and checksums over the connection, pause, leaving, and the
// watch for a silent peer. The caller gives the time and the local input; the match
// itself steps through the rollback.
#pragma once

#include <cstdint>

#include "net/name_lookup.h"
#include "net/protocol.h"
#include "net/rollback.h"
#include "net/transport.h"

enum class SessionPhase : std::uint8_t { idle, listening, looking_up, connecting, playing, ended };

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
    ipv6_address,
    no_such_host,
    lookup_timed_out,
    stalled,         // the other side is heard but sends no new inputs
    disagree,        // the two games kept disagreeing on the match
    bad_state,       // the host sent a state the rules cannot produce
    state_refused,   // the joiner refused a state of ours
    no_room,         // the meeting server knows no game by that code
    server_busy,     // the meeting server asks this address to slow down
    server_silent,   // no answer from the meeting server
    server_refused,  // the meeting server is full or speaks another version
};

struct SessionConfig {
    std::uint16_t port = default_port;  // the host's listening port; 0: any free one
    std::uint32_t input_delay = 2;      // frames, 0..max_input_delay
    double silence_limit = 5.0;         // seconds without a word from the peer
    double connect_limit = 5.0;         // seconds to get a match going
    double hello_limit = 1.0;           // seconds a newcomer has to say hello
    double lookup_limit = 10.0;         // seconds a host name's lookup may take
    NameResolver resolve = system_resolve;
    std::uint16_t protocol = protocol_version;
    std::uint16_t rules = rules_version;
    double game_speed = 1.0;  // the host's; the joiner takes it from the host
    std::uint64_t seed = 1;   // the host's choice of the match's generator seed
    // The meeting server ("" for none): a host gets a room code there, a joiner may
    // give a code instead of an address.
    NetAddress server{"", meet_default_port};
    double punch_limit = 3.0;  // seconds of punching before the relay is asked for
};

// Meeting the other game through the server, beside the session's own phases.
enum class MeetPhase : std::uint8_t {
    none,
    resolving,  // the server's name is being looked up
    asking,     // host: for a room; joiner: for the room with the code
    waiting,    // host: the room's code is shown, waiting for a joiner
    punching,   // both: sending to the other's addresses until one answers
    relay_asked,
    direct,   // joiner: the ENet connection goes straight to the host
    relayed,  // joiner: the ENet connection goes through the server
    failed,   // host: no room (the host goes on listening by address)
};

struct Meeting {
    MeetPhase phase = MeetPhase::none;
    MeetAddress server{};
    std::uint64_t token = 0;  // the server's last challenge
    char code[room_code_length + 1] = {};
    std::uint64_t id = 0;  // the meeting's id, in every punch
    MeetAddress other{};   // the other game's public address
    MeetAddress other_locals[max_local_addresses]{};
    std::uint8_t other_local_count = 0;
    double began = 0.0;      // of the whole meeting
    double started = 0.0;    // of the phase
    double last_sent = 0.0;  // to the server
    double last_punch = 0.0;
    double last_heard = 0.0;   // from the server
    double answered_at = 0.0;  // the first punch answered (or the relay granted)
    double introduced_at = 0.0;
    bool relayed = false;               // host: the server said it relays
    bool relay_only = false;            // a page on either side: no punching
    bool closed = false;                // host: the room was given back
    SessionEnd why = SessionEnd::none;  // host: why there is no room (it goes on by address)
    std::uint32_t dropped = 0;          // datagrams that failed the checks
};

struct SessionCounters {
    std::uint32_t malformed = 0;  // packets dropped as unreadable or out of range
    std::uint32_t desyncs = 0;    // confirmed states on which the machines disagreed
    std::uint32_t states_sent = 0;
    std::uint32_t states_adopted = 0;
    std::uint32_t ignored = 0;       // well-formed messages over their budget
    std::uint32_t answers_held = 0;  // answers to the peer not sent (over the budget)
};

// At most `limit` events in a window of `seconds`: what a peer may make us do.
struct Budget {
    double window_start = -1e9;
    std::uint32_t used = 0;
    std::uint32_t held = 0;  // refused since the window began
};

enum class LogKind : std::uint8_t { malformed, disagree, refused, state, count };

// A newcomer that has connected and not yet said hello.
struct PendingPeer {
    _ENetPeer *peer = nullptr;
    double since = 0.0;
};
inline constexpr int max_pending = 3;

// A disconnect's reason on the wire: the other side chose to go, found that the games
// disagree, or refused a state we sent.
inline constexpr std::uint32_t leave_reason = 1;
inline constexpr std::uint32_t disagree_reason = 2;
inline constexpr std::uint32_t state_refused_reason = 3;
// A line on screen after this long without the other side's inputs.
inline constexpr double waiting_after = 0.5;

struct OnlineSession {
    bool hosting = false;
    SessionPhase phase = SessionPhase::idle;
    SessionEnd end = SessionEnd::none;
    SessionConfig config{};
    Transport transport{};
    _ENetPeer *peer = nullptr;  // the other player's connection
    PendingPeer pending[max_pending]{};
    NameLookup lookup{};
    NetAddress target{};         // where a joiner connects (after the lookup)
    double last_progress = 0.0;  // when the other side's inputs last moved on
    std::uint32_t seen_remote_next = 0;
    std::uint32_t newest_remote_sum = 0;  // checksums of earlier frames are not taken
    std::uint32_t disagreements_in_row = 0;
    double last_resync = -1e9;  // a state sent (host) or adopted (joiner)
    Budget answers{};           // reliable messages sent in answer to a peer
    Budget logs[static_cast<int>(LogKind::count)]{};
    double started = 0.0;  // when listening, connecting or the handshake began
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
    Meeting meet{};
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
// True while playing when the other side's inputs have not moved on for waiting_after.
bool session_waiting(const OnlineSession &s, double now);
// Closes without a word (a crash or a pulled cable, as the other side sees it).
void session_drop(OnlineSession &s);
// 0 when this machine plays player 1 (the host), 1 for player 2.
int session_local_side(const OnlineSession &s);
// Closes whatever is open, without a word, and forgets the session (phase idle).
void session_reset(OnlineSession &s);
// While playing: "direct, 23 ms" or "relayed, 41 ms".
const char *session_path_line(const OnlineSession &s);
// What meeting through the server is doing, for the HOST and JOIN pages (or empty).
const char *session_meet_line(const OnlineSession &s);
// True when the text is a room code and a server is set: JOIN meets instead of connecting.
bool session_takes_code(const SessionConfig &config, const char *text);
// One line saying why the session ended (empty while it has not).
const char *session_end_text(const OnlineSession &s);
