#include "net/session.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "net/snapshot_rules.h"
#include "raylib.h"

const char *session_end_text_for(const OnlineSession &s, SessionEnd why);

namespace {

constexpr double heartbeat_interval = 0.05;
constexpr std::uint32_t sum_slots = 16;
// What a peer can make this machine do, however much it sends.
constexpr std::uint32_t max_events_per_update = 64;  // the rest waits for the next frame
constexpr double resync_interval = 3.0;              // a state sent or taken at most this often
constexpr std::uint32_t disagreements_to_end = 3;    // in a row, with no agreement between
constexpr std::uint32_t answers_per_second = 8;      // reliable messages sent in answer
constexpr double log_window = 10.0;
constexpr std::uint32_t log_lines_per_window = 4;  // per kind of line

bool spend(Budget &b, double now, double seconds, std::uint32_t limit) {
    if (now - b.window_start >= seconds) {
        b.window_start = now;
        b.used = 0;
        b.held = 0;
    }
    if (b.used >= limit) {
        b.held += 1;
        return false;
    }
    b.used += 1;
    return true;
}

// A warning of its kind, unless that kind has said enough lately; the first line of a
// new window counts those left out.
void log_limited(OnlineSession &s, LogKind kind, double now, const char *format, ...) {
    Budget &b = s.logs[static_cast<int>(kind)];
    const std::uint32_t left_out = now - b.window_start >= log_window ? b.held : 0;
    if (!spend(b, now, log_window, log_lines_per_window)) return;
    char line[200];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (left_out > 0) {
        TraceLog(LOG_WARNING, "ONLINE: %s (%u more like it not shown)", line, left_out);
    } else {
        TraceLog(LOG_WARNING, "ONLINE: %s", line);
    }
}

// Messages are large (a whole state fits in one): one for reading, one for writing.
Message incoming;
Message outgoing;
std::uint8_t wire[max_packet_bytes];

bool send_message(_ENetPeer *to, const Message &m, bool reliable) {
    ByteWriter w{wire, sizeof wire};
    if (!encode_message(m, w)) return false;
    return transport_send(to, reliable ? control_channel : input_channel, wire, w.size, reliable);
}

void finish(OnlineSession &s, SessionEnd why) {
    s.phase = SessionPhase::ended;
    s.end = why;
    s.paused = false;
}

void give_back_room(OnlineSession &s);

void close_now(OnlineSession &s, SessionEnd why) {
    give_back_room(s);
    transport_drop(s.peer);
    s.peer = nullptr;
    lookup_abandon(s.lookup);
    transport_close(s.transport);
    finish(s, why);
}

// ---------------------------------------------------------------- meeting through the server
constexpr double meet_resend = 0.5;   // an unanswered request goes again
constexpr double host_refresh = 5.0;  // keeps the room, and the router's mapping, alive
constexpr double punch_interval = 0.1;
// The first punches open this game's own router and die a hop beyond it. Were they to
// reach the other router before that one had sent anything our way, many routers
// would note them as an unanswered connection of their own and give the other game's
// datagrams to us a new port: the path we punch for would never open.
constexpr double short_punch_seconds = 0.3;
constexpr int short_punch_hops = 2;
constexpr double host_punch_limit = 10.0;  // the host stops punching if nothing came of it
constexpr double server_silence = 5.0;
constexpr int meet_datagrams_per_update = 16;

void meet_send(OnlineSession &s, const MeetAddress &to, const MeetMessage &m, int hops = 0) {
    std::uint8_t bytes[max_meet_bytes];
    const std::size_t n = encode_meet(m, bytes, sizeof bytes);
    if (n > 0) transport_send_raw(s.transport, to, bytes, n, hops);
}

// This machine's addresses inside its home, at the match socket's port: a joiner on
// the same network reaches the host there when the router will not loop back.
void fill_locals(const OnlineSession &s, MeetMessage &m) {
    char text[max_local_addresses][48];
    const int n = local_addresses(text, max_local_addresses);
    m.local_count = 0;
    for (int i = 0; i < n && s.transport.port != 0; ++i) {
        in_addr a{};
        if (inet_pton(AF_INET, text[i], &a) != 1) continue;
        m.locals[m.local_count++] = MeetAddress{ntohl(a.s_addr), s.transport.port};
    }
}

void ask_server(OnlineSession &s, double now) {
    Meeting &mt = s.meet;
    MeetMessage m;
    m.token = mt.token;
    if (mt.phase == MeetPhase::relay_asked || (s.hosting && mt.relay_only && !mt.relayed)) {
        m.type = MeetType::relay;
        std::memcpy(m.code, mt.code, sizeof m.code);
    } else if (!s.hosting) {
        m.type = MeetType::join;
        std::memcpy(m.code, mt.code, sizeof m.code);
        fill_locals(s, m);
    } else {
        m.type = MeetType::host;
        fill_locals(s, m);
    }
    meet_send(s, mt.server, m);
    mt.last_sent = now;
}

void set_meet_phase(OnlineSession &s, MeetPhase phase, double now) {
    s.meet.phase = phase;
    s.meet.started = now;
}

void ask_relay(OnlineSession &s, double now) {
    MeetMessage m;
    m.type = MeetType::relay;
    m.token = s.meet.token;
    std::memcpy(m.code, s.meet.code, sizeof m.code);
    meet_send(s, s.meet.server, m);
    s.meet.last_sent = now;
}

void start_meeting(OnlineSession &s, double now) {
    set_meet_phase(s, MeetPhase::asking, now);
    s.meet.last_heard = now;
    ask_server(s, now);
}

// A host without a room goes on listening by address; a joiner without one has nothing.
void meet_fail(OnlineSession &s, SessionEnd why) {
    if (s.hosting) {
        s.meet.phase = MeetPhase::failed;
        s.meet.why = why;
        TraceLog(LOG_WARNING, "ONLINE: no room code: %s", session_end_text_for(s, why));
    } else {
        close_now(s, why);
    }
}

void begin_meeting(OnlineSession &s, double now) {
    s.meet.began = now;
    in_addr numeric{};
    if (inet_pton(AF_INET, s.config.server.host, &numeric) == 1) {
        s.meet.server = MeetAddress{ntohl(numeric.s_addr), s.config.server.port};
        start_meeting(s, now);
        return;
    }
    std::snprintf(s.target.host, sizeof s.target.host, "%s", s.config.server.host);
    if (!lookup_start(s.lookup, s.config.server.host, s.config.resolve, now, s.config.lookup_limit)) {
        meet_fail(s, SessionEnd::network_failed);
        return;
    }
    set_meet_phase(s, MeetPhase::resolving, now);
}

void resolve_server(OnlineSession &s, double now) {
    std::uint32_t address = 0;
    switch (lookup_poll(s.lookup, now, address)) {
    case LookupStatus::running:
        return;
    case LookupStatus::found:
        s.meet.server = MeetAddress{ntohl(address), s.config.server.port};
        start_meeting(s, now);
        return;
    case LookupStatus::not_found:
        meet_fail(s, SessionEnd::no_such_host);
        return;
    case LookupStatus::timed_out:
        meet_fail(s, SessionEnd::lookup_timed_out);
        return;
    default:
        meet_fail(s, SessionEnd::network_failed);
        return;
    }
}

bool is_candidate(const Meeting &mt, const MeetAddress &a) {
    if (a == mt.other) return true;
    for (int i = 0; i < mt.other_local_count; ++i) {
        if (a == mt.other_locals[i]) return true;
    }
    return false;
}

// To the other game's public address and its local ones at once: the first that
// answers is the path.
void punch(OnlineSession &s, double now) {
    Meeting &mt = s.meet;
    if (now - mt.last_punch < punch_interval || mt.relay_only) return;
    MeetMessage m;
    m.type = MeetType::punch;
    m.token = mt.id;
    const bool short_ones = now - mt.introduced_at < short_punch_seconds;
    meet_send(s, mt.other, m, short_ones ? short_punch_hops : 0);
    // Addresses inside a home are reached in full at once: no router stands between.
    for (int i = 0; i < mt.other_local_count; ++i) meet_send(s, mt.other_locals[i], m);
    mt.last_punch = now;
}

void joiner_connect(OnlineSession &s, const MeetAddress &to, MeetPhase phase, double now) {
    Result<_ENetPeer *> peer = transport_connect_on(s.transport, to);
    if (!peer) {
        close_now(s, SessionEnd::network_failed);
        return;
    }
    s.peer = peer.value();
    s.meet.answered_at = now;
    set_meet_phase(s, phase, now);
    s.started = now;  // connect_limit counts from here
    char where[32];
    format_meet_address(to, where, sizeof where);
    TraceLog(LOG_INFO, "ONLINE: %s to %s, %.2f s after the introduction",
             phase == MeetPhase::direct ? "direct path" : "relayed", where, now - s.meet.introduced_at);
}

void introduced(OnlineSession &s, const MeetMessage &m, double now) {
    Meeting &mt = s.meet;
    const bool expected = s.hosting ? mt.phase == MeetPhase::waiting : mt.phase == MeetPhase::asking;
    if (!expected || std::strcmp(m.code, mt.code) != 0 || m.token == 0) return;
    mt.id = m.token;
    mt.other = m.address;
    mt.other_local_count = m.local_count;
    for (int i = 0; i < m.local_count; ++i) mt.other_locals[i] = m.locals[i];
    mt.introduced_at = now;
    mt.last_punch = -1e9;
    char where[32];
    format_meet_address(m.address, where, sizeof where);
    // A page cannot be punched to, nor punch: with one on either side the relay carries
    // the match at once.
    mt.relay_only = page_transport || is_page_address(m.address);
    if (mt.relay_only) {
        TraceLog(LOG_INFO, "ONLINE: room %s: met %s after %.2f s; asking for the relay", mt.code, where,
                 now - mt.began);
        set_meet_phase(s, s.hosting ? MeetPhase::punching : MeetPhase::relay_asked, now);
        mt.last_heard = now;
        ask_relay(s, now);
        return;
    }
    set_meet_phase(s, MeetPhase::punching, now);
    TraceLog(LOG_INFO, "ONLINE: room %s: met %s after %.2f s; punching", mt.code, where, now - mt.began);
    punch(s, now);
}

void meet_hears(OnlineSession &s, const RawDatagram &d, double now) {
    Meeting &mt = s.meet;
    MeetMessage m;
    if (!decode_meet(d.bytes, d.size, m)) {
        mt.dropped += 1;
        return;
    }
    if (m.type == MeetType::punch || m.type == MeetType::punch_ack) {
        // Only from the other game's addresses, with this meeting's id.
        if (mt.id == 0 || m.token != mt.id || !is_candidate(mt, d.from)) {
            mt.dropped += 1;
            return;
        }
        if (m.type == MeetType::punch) {
            MeetMessage ack;
            ack.type = MeetType::punch_ack;
            ack.token = mt.id;
            meet_send(s, d.from, ack);
        }
        if (!s.hosting && (mt.phase == MeetPhase::punching || mt.phase == MeetPhase::relay_asked)) {
            joiner_connect(s, d.from, MeetPhase::direct, now);
        } else if (s.hosting && mt.answered_at == 0.0) {
            mt.answered_at = now;
        }
        return;
    }
    if (!(d.from == mt.server) || mt.server.ip == 0) {
        mt.dropped += 1;
        return;
    }
    mt.last_heard = now;
    switch (m.type) {
    case MeetType::challenge:
        if (m.token == mt.token) return;
        mt.token = m.token;
        if (mt.phase == MeetPhase::asking || mt.phase == MeetPhase::relay_asked || mt.phase == MeetPhase::waiting) {
            ask_server(s, now);
        }
        return;
    case MeetType::room:
        if (!s.hosting) return;
        if (mt.phase == MeetPhase::asking) {
            std::memcpy(mt.code, m.code, sizeof mt.code);
            set_meet_phase(s, MeetPhase::waiting, now);
            TraceLog(LOG_INFO, "ONLINE: room code %s, %.2f s after asking", mt.code, now - mt.began);
        } else if (mt.phase == MeetPhase::waiting && std::strcmp(mt.code, m.code) != 0) {
            // The server lost the room (it restarted) and made a new one: show that code.
            std::memcpy(mt.code, m.code, sizeof mt.code);
            TraceLog(LOG_INFO, "ONLINE: the meeting server gave a new room code, %s", mt.code);
        }
        return;
    case MeetType::introduce:
        introduced(s, m, now);
        return;
    case MeetType::relaying:
        if (std::strcmp(m.code, mt.code) != 0) return;
        if (s.hosting) {
            mt.relayed = true;
            if (mt.answered_at == 0.0) mt.answered_at = now;
        } else if (mt.phase == MeetPhase::relay_asked || mt.phase == MeetPhase::punching) {
            // Asked for by this game, or by a host that cannot be punched to.
            joiner_connect(s, mt.server, MeetPhase::relayed, now);
        }
        return;
    case MeetType::no_room:
        if (!s.hosting && mt.phase == MeetPhase::asking) close_now(s, SessionEnd::no_room);
        return;
    case MeetType::slow_down:
        if (mt.phase == MeetPhase::asking) meet_fail(s, SessionEnd::server_busy);
        return;
    case MeetType::full:
    case MeetType::versions:
        if (mt.phase == MeetPhase::asking) meet_fail(s, SessionEnd::server_refused);
        return;
    default:
        mt.dropped += 1;
        return;
    }
}

void meet_update(OnlineSession &s, double now) {
    RawDatagram d;
    for (int n = 0; n < meet_datagrams_per_update && transport_take_raw(s.transport, d); ++n) {
        meet_hears(s, d, now);
        if (s.phase == SessionPhase::ended) return;
    }
    Meeting &mt = s.meet;
    switch (mt.phase) {
    case MeetPhase::resolving:
        resolve_server(s, now);
        break;
    case MeetPhase::asking:
        if (now - mt.last_heard > server_silence) {
            meet_fail(s, SessionEnd::server_silent);
        } else if (now - mt.last_sent >= meet_resend) {
            ask_server(s, now);
        }
        break;
    case MeetPhase::waiting:
        if (now - mt.last_sent >= host_refresh) ask_server(s, now);
        break;
    case MeetPhase::punching:
        if (s.hosting) {
            if (s.phase == SessionPhase::listening && !mt.relayed && now - mt.started < host_punch_limit) punch(s, now);
            if (now - mt.last_sent >= host_refresh) ask_server(s, now);
        } else if (now - mt.started > s.config.punch_limit) {
            TraceLog(LOG_INFO, "ONLINE: room %s: no direct path in %.1f s; asking for the relay", mt.code,
                     s.config.punch_limit);
            set_meet_phase(s, MeetPhase::relay_asked, now);
            mt.last_heard = now;
            ask_server(s, now);
        } else {
            punch(s, now);
        }
        break;
    case MeetPhase::relay_asked:
        punch(s, now);  // a late answer on the direct path still wins
        if (s.phase != SessionPhase::connecting || mt.phase != MeetPhase::relay_asked) break;
        if (now - mt.last_heard > server_silence) {
            close_now(s, SessionEnd::server_silent);
        } else if (now - mt.last_sent >= meet_resend) {
            ask_server(s, now);
        }
        break;
    default:
        break;
    }
}

// The host gives its room back once the match no longer needs it (a relayed match
// keeps it until the end).
void give_back_room(OnlineSession &s) {
    Meeting &mt = s.meet;
    if (!s.hosting || mt.server.ip == 0 || mt.code[0] == '\0' || mt.closed) return;
    MeetMessage m;
    m.type = MeetType::close;
    m.token = mt.token;
    meet_send(s, mt.server, m);
    mt.closed = true;
    mt.phase = MeetPhase::none;  // nothing more to ask the server
}

bool relayed(const OnlineSession &s) {
    return s.meet.server.ip != 0 && s.peer != nullptr && transport_peer_address(s.peer) == s.meet.server;
}

// Ends the match here and tells the other machine why, so both show the same line.
void end_and_tell(OnlineSession &s, SessionEnd why, std::uint32_t reason) {
    transport_disconnect_now(s.peer, reason);
    s.peer = nullptr;
    close_now(s, why);
}

void send_inputs(OnlineSession &s, double now) {
    const Rollback &r = s.rollback;
    Message &m = outgoing;
    m.type = MessageType::inputs;
    m.ack = r.remote_next;
    const std::uint32_t oldest = r.local_next > max_inputs_per_packet ? r.local_next - max_inputs_per_packet : 0;
    m.first = std::max(s.remote_ack, oldest);
    m.count = r.local_next - m.first;
    for (std::uint32_t i = 0; i < m.count; ++i) m.inputs[i] = r.local[(m.first + i) % input_window];
    send_message(s.peer, m, false);
    s.last_sent = now;
}

void send_pause(OnlineSession &s) {
    Message &m = outgoing;
    m.type = MessageType::pause;
    m.paused = s.paused;
    m.by_player = s.paused_by == 2 ? 2 : 1;
    send_message(s.peer, m, true);
}

void disagree(OnlineSession &s, std::uint32_t frame, double now) {
    s.counters.desyncs += 1;
    s.disagreements_in_row += 1;
    if (s.disagreements_in_row >= disagreements_to_end) {
        TraceLog(LOG_WARNING, "ONLINE: the two machines disagreed %u times in a row; the match ends",
                 s.disagreements_in_row);
        end_and_tell(s, SessionEnd::disagree, disagree_reason);
        return;
    }
    log_limited(s, LogKind::disagree, now, "the two machines disagree on frame %u; the host's state is taken", frame);
    if (!s.hosting || now - s.last_resync < resync_interval) return;
    const std::uint32_t confirmed = rollback_confirmed(s.rollback);
    const MatchSnapshot *state = rollback_state_at(s.rollback, confirmed);
    if (state == nullptr) return;
    if (!spend(s.answers, now, 1.0, answers_per_second)) {
        s.counters.answers_held += 1;
        return;
    }
    Message &m = outgoing;
    m.type = MessageType::state;
    m.frame = confirmed;
    m.state = *state;
    if (send_message(s.peer, m, true)) {
        s.counters.states_sent += 1;
        s.last_resync = now;
    }
}

// Each checksum frame is compared once, whatever the other side sends about it.
void compare_sums(OnlineSession &s, std::uint32_t frame, double now) {
    ChecksumEntry &mine = s.local_sums[(frame / checksum_interval) % sum_slots];
    ChecksumEntry &theirs = s.remote_sums[(frame / checksum_interval) % sum_slots];
    if (mine.frame != frame || theirs.frame != frame) return;
    theirs.frame = no_frame;
    if (mine.sum != theirs.sum) {
        disagree(s, frame, now);
    } else {
        s.disagreements_in_row = 0;
    }
}

void exchange_checksums(OnlineSession &s, double now) {
    ChecksumEntry e;
    while (s.phase == SessionPhase::playing && rollback_take_checksum(s.rollback, e)) {
        s.local_sums[(e.frame / checksum_interval) % sum_slots] = e;
        Message &m = outgoing;
        m.type = MessageType::checksum;
        m.frame = e.frame;
        m.sum = e.sum;
        send_message(s.peer, m, true);
        compare_sums(s, e.frame, now);
    }
}

// A checksum of the other side's is taken only for a later frame than the last, on
// the interval, and not beyond the frames this machine keeps sums for.
void take_remote_sum(OnlineSession &s, const Message &m, double now) {
    const std::uint32_t horizon = s.rollback.frame + (sum_slots - 1) * checksum_interval;
    if (m.frame == 0 || m.frame % checksum_interval != 0 || m.frame <= s.newest_remote_sum || m.frame > horizon) {
        s.counters.ignored += 1;
        return;
    }
    s.newest_remote_sum = m.frame;
    s.remote_sums[(m.frame / checksum_interval) % sum_slots] = ChecksumEntry{m.frame, m.sum};
    compare_sums(s, m.frame, now);
}

// A state from the host: one the rules cannot produce ends the match; a good one is
// taken at most once per resync_interval.
void take_state(OnlineSession &s, const Message &m, double now) {
    if (s.hosting) {
        s.counters.malformed += 1;
        return;
    }
    if (const char *field = snapshot_out_of_range(m.state)) {
        log_limited(s, LogKind::state, now, "refused the host's state of frame %u: %s is out of range", m.frame, field);
        end_and_tell(s, SessionEnd::bad_state, state_refused_reason);
        return;
    }
    if (now - s.last_resync < resync_interval) {
        s.counters.ignored += 1;
        return;
    }
    s.last_resync = now;
    if (rollback_adopt(s.rollback, m.frame, m.state)) {
        s.counters.states_adopted += 1;
        s.disagreements_in_row = 0;
    }
}

void start_playing(OnlineSession &s, int side, double dt, std::uint64_t seed, double now) {
    if (s.meet.phase != MeetPhase::none && !relayed(s)) give_back_room(s);
    rollback_start(s.rollback, side, dt, s.config.input_delay, initial_match_snapshot(seed));
    s.config.seed = seed;  // the joiner learns it here; a recording of the match names it
    s.phase = SessionPhase::playing;
    s.remote_ack = 0;
    s.paused = false;
    s.paused_by = 0;
    s.last_heard = now;
    s.last_sent = now;
    s.last_progress = now;
    s.seen_remote_next = 0;
    s.newest_remote_sum = 0;
    s.disagreements_in_row = 0;
    s.last_resync = -1e9;
    for (ChecksumEntry &e : s.local_sums) e = ChecksumEntry{};
    for (ChecksumEntry &e : s.remote_sums) e = ChecksumEntry{};
}

// Answers a newcomer with a refusal, within the answer budget; past it the newcomer
// is dropped without a word.
void refuse(OnlineSession &s, _ENetPeer *peer, RefuseReason reason, double now) {
    if (!spend(s.answers, now, 1.0, answers_per_second)) {
        s.counters.answers_held += 1;
        transport_cut(peer);
        return;
    }
    Message &m = outgoing;
    m.type = MessageType::refuse;
    m.reason = reason;
    m.protocol = s.config.protocol;
    m.rules = s.config.rules;
    send_message(peer, m, true);
    transport_disconnect(peer, 0);
}

int pending_slot(const OnlineSession &s, const _ENetPeer *peer) {
    for (int i = 0; i < max_pending; ++i) {
        if (s.pending[i].peer != nullptr && s.pending[i].peer == peer) return i;
    }
    return -1;
}

// A newcomer waits for its hello in a slot of its own, so a silent connection holds
// no one else up. With every slot taken the one waiting longest makes room: it has
// not said hello in all that time.
void add_pending(OnlineSession &s, _ENetPeer *peer, double now) {
    PendingPeer *slot = &s.pending[0];
    for (PendingPeer &p : s.pending) {
        if (p.peer == nullptr) {
            slot = &p;
            break;
        }
        if (p.since < slot->since) slot = &p;
    }
    if (slot->peer != nullptr) transport_cut(slot->peer);
    *slot = PendingPeer{peer, now};
}

void drop_silent_newcomers(OnlineSession &s, double now) {
    for (PendingPeer &p : s.pending) {
        if (p.peer != nullptr && now - p.since > s.config.hello_limit) {
            transport_cut(p.peer);
            p = PendingPeer{};
        }
    }
}

void host_hears(OnlineSession &s, int slot, const Message &m, double now) {
    _ENetPeer *peer = s.pending[slot].peer;
    if (m.type != MessageType::hello) {
        s.counters.malformed += 1;
        return;
    }
    s.pending[slot] = PendingPeer{};
    if (m.protocol != s.config.protocol || m.rules != s.config.rules) {
        log_limited(s, LogKind::refused, now, "refused a player whose game is version %u.%u (this one is %u.%u)",
                    m.protocol, m.rules, s.config.protocol, s.config.rules);
        s.other_versions_refused = true;
        s.other_protocol = m.protocol;
        s.other_rules = m.rules;
        refuse(s, peer, RefuseReason::versions, now);
        return;
    }
    // The match is this newcomer's; any other waiting one is told the host is busy.
    for (PendingPeer &p : s.pending) {
        if (p.peer != nullptr) refuse(s, p.peer, RefuseReason::busy, now);
        p = PendingPeer{};
    }
    s.peer = peer;
    Message &w = outgoing;
    w.type = MessageType::welcome;
    w.protocol = s.config.protocol;
    w.rules = s.config.rules;
    w.seed = s.config.seed;
    w.step_dt = online_step_dt(s.config.game_speed);
    send_message(s.peer, w, true);
    start_playing(s, 0, w.step_dt, w.seed, now);
}

void joiner_hears(OnlineSession &s, const Message &m, double now) {
    if (s.phase != SessionPhase::connecting) return;
    if (m.type == MessageType::refuse) {
        s.other_protocol = m.protocol;
        s.other_rules = m.rules;
        close_now(s, m.reason == RefuseReason::busy ? SessionEnd::busy : SessionEnd::versions);
        if (s.end == SessionEnd::versions) {
            TraceLog(LOG_WARNING, "ONLINE: the host's game is version %u.%u, this one is %u.%u", m.protocol, m.rules,
                     s.config.protocol, s.config.rules);
        }
        return;
    }
    if (m.type != MessageType::welcome) return;
    if (m.protocol != s.config.protocol || m.rules != s.config.rules) {
        s.other_protocol = m.protocol;
        s.other_rules = m.rules;
        close_now(s, SessionEnd::versions);
        return;
    }
    start_playing(s, 1, m.step_dt, m.seed, now);
}

void playing_hears(OnlineSession &s, const Message &m, double now) {
    Rollback &r = s.rollback;
    switch (m.type) {
    case MessageType::inputs:
        // The other machine cannot have more of our inputs than we have made.
        if (m.ack > r.local_next) {
            s.counters.malformed += 1;
            return;
        }
        s.remote_ack = std::max(s.remote_ack, m.ack);
        for (std::uint32_t i = 0; i < m.count; ++i) rollback_add_remote(r, m.first + i, m.inputs[i]);
        break;
    case MessageType::checksum:
        take_remote_sum(s, m, now);
        break;
    case MessageType::state:
        take_state(s, m, now);
        break;
    case MessageType::pause:
        s.paused = m.paused;
        s.paused_by = m.by_player;
        break;
    case MessageType::leave:
        close_now(s, SessionEnd::other_left);
        break;
    default:
        break;
    }
}

SessionEnd end_for_reason(std::uint32_t reason) {
    switch (reason) {
    case leave_reason:
        return SessionEnd::other_left;
    case disagree_reason:
        return SessionEnd::disagree;
    case state_refused_reason:
        return SessionEnd::state_refused;
    default:
        return SessionEnd::connection_lost;
    }
}

void handle(OnlineSession &s, const NetEvent &e, double now) {
    switch (e.kind) {
    case NetEventKind::connected:
        if (s.hosting) {
            if (s.phase == SessionPhase::listening) {
                add_pending(s, e.peer, now);
            } else if (e.peer != s.peer) {
                refuse(s, e.peer, RefuseReason::busy, now);
            }
        } else if (s.phase == SessionPhase::connecting && e.peer == s.peer) {
            Message &m = outgoing;
            m.type = MessageType::hello;
            m.protocol = s.config.protocol;
            m.rules = s.config.rules;
            send_message(s.peer, m, true);
        }
        return;
    case NetEventKind::disconnected: {
        const int slot = pending_slot(s, e.peer);
        if (slot >= 0) s.pending[slot] = PendingPeer{};  // a newcomer went before its hello
        if (e.peer != s.peer || s.peer == nullptr) return;
        s.peer = nullptr;
        if (s.phase == SessionPhase::playing) {
            close_now(s, end_for_reason(e.data));
        } else if (s.phase == SessionPhase::connecting) {
            close_now(s, SessionEnd::refused);
        }
        return;
    }
    case NetEventKind::oversize:
        s.counters.malformed += 1;
        return;
    case NetEventKind::received:
        break;
    default:
        return;
    }
    const int slot = s.phase == SessionPhase::listening ? pending_slot(s, e.peer) : -1;
    if (e.peer != s.peer && slot < 0) return;
    if (!decode_message(e.bytes, e.size, incoming)) {
        s.counters.malformed += 1;
        log_limited(s, LogKind::malformed, now, "dropped an unreadable packet from the other machine");
        return;
    }
    if (slot >= 0) {
        host_hears(s, slot, incoming, now);
        return;
    }
    s.last_heard = now;
    if (s.phase == SessionPhase::playing) {
        playing_hears(s, incoming, now);
    } else if (!s.hosting) {
        joiner_hears(s, incoming, now);
    }
}

// Everything but the rollback, which rollback_start sets up when a match begins.
// (Assigning a whole new record would build one on the stack: it is large.)
void reset_session(OnlineSession &s) {
    s.hosting = false;
    s.phase = SessionPhase::idle;
    s.end = SessionEnd::none;
    s.config = SessionConfig{};
    s.transport = Transport{};
    s.peer = nullptr;
    for (PendingPeer &p : s.pending) p = PendingPeer{};
    lookup_abandon(s.lookup);
    s.target = NetAddress{};
    s.last_progress = 0.0;
    s.seen_remote_next = s.newest_remote_sum = s.disagreements_in_row = 0;
    s.last_resync = -1e9;
    s.answers = Budget{};
    for (Budget &b : s.logs) b = Budget{};
    s.started = s.last_heard = s.last_sent = 0.0;
    s.remote_ack = 0;
    s.paused = false;
    s.paused_by = 0;
    s.other_versions_refused = false;
    s.other_protocol = s.other_rules = 0;
    for (ChecksumEntry &e : s.local_sums) e = ChecksumEntry{};
    for (ChecksumEntry &e : s.remote_sums) e = ChecksumEntry{};
    s.counters = SessionCounters{};
    s.meet = Meeting{};
}

// Closes whatever ran before and starts afresh in the given role, now.
void begin_session(OnlineSession &s, bool hosting, const SessionConfig &config, double now) {
    transport_close(s.transport);
    reset_session(s);
    s.hosting = hosting;
    s.config = config;
    s.config.input_delay = std::min(config.input_delay, max_input_delay);
    s.started = now;
}

}  // namespace

void session_host(OnlineSession &s, const SessionConfig &config, double now) {
    begin_session(s, true, config, now);
    // Room for newcomers waiting to say hello, and for one more to be told the host
    // is busy.
    const Result<Ok> listening = transport_listen(s.transport, config.port, max_pending + 2);
    if (!listening) {
        finish(s, listening.error() == Error::port_in_use ? SessionEnd::port_in_use : SessionEnd::network_failed);
        return;
    }
    s.phase = SessionPhase::listening;
    if (config.server.host[0] != '\0') begin_meeting(s, now);
}

namespace {

// An IPv6 address ("::1", "fe80::1", "[2001:db8::1]:24870") rather than a bad one.
bool looks_like_ipv6(const char *text) {
    while (*text == ' ') ++text;
    if (*text == '[') return true;
    const char *first = std::strchr(text, ':');
    return first != nullptr && std::strchr(first + 1, ':') != nullptr;
}

void connect_to_target(OnlineSession &s, double now) {
    Result<_ENetPeer *> peer = transport_connect(s.transport, s.target);
    if (!peer) {
        finish(s, peer.error() == Error::bad_address ? SessionEnd::bad_address : SessionEnd::network_failed);
        return;
    }
    s.peer = peer.value();
    s.phase = SessionPhase::connecting;
    s.started = now;  // connect_limit counts from here, after any lookup
}

void finish_lookup(OnlineSession &s, double now) {
    std::uint32_t address = 0;
    switch (lookup_poll(s.lookup, now, address)) {
    case LookupStatus::running:
        return;
    case LookupStatus::found: {
        in_addr a{};
        a.s_addr = address;
        inet_ntop(AF_INET, &a, s.target.host, sizeof s.target.host);
        connect_to_target(s, now);
        return;
    }
    case LookupStatus::not_found:
        finish(s, SessionEnd::no_such_host);
        return;
    case LookupStatus::timed_out:
        finish(s, SessionEnd::lookup_timed_out);
        return;
    default:
        finish(s, SessionEnd::network_failed);
        return;
    }
}

}  // namespace

void session_join(OnlineSession &s, const char *address, const SessionConfig &config, double now) {
    begin_session(s, false, config, now);
    if (session_takes_code(config, address)) {
        normalize_room_code(address, s.meet.code);
        if (!transport_open(s.transport)) {
            finish(s, SessionEnd::network_failed);
            return;
        }
        s.phase = SessionPhase::connecting;
        begin_meeting(s, now);
        return;
    }
    if (address != nullptr && looks_like_ipv6(address)) {
        finish(s, SessionEnd::ipv6_address);
        return;
    }
    const Result<NetAddress> to = parse_address(address);
    if (!to) {
        finish(s, SessionEnd::bad_address);
        return;
    }
    s.target = to.value();
    in_addr numeric{};
    if (inet_pton(AF_INET, s.target.host, &numeric) == 1) {
        connect_to_target(s, now);
        return;
    }
    // A name: looked up on a worker while the game goes on.
    if (!lookup_start(s.lookup, s.target.host, config.resolve, now, config.lookup_limit)) {
        finish(s, SessionEnd::network_failed);
        return;
    }
    s.phase = SessionPhase::looking_up;
}

void session_update(OnlineSession &s, double now) {
    static NetEvent event;
    // A flood waits in ENet's bounded queues rather than holding up the frame.
    for (std::uint32_t n = 0; n < max_events_per_update && s.phase != SessionPhase::ended &&
                              s.phase != SessionPhase::idle && transport_poll(s.transport, event);
         ++n) {
        handle(s, event, now);
    }
    if (s.meet.phase != MeetPhase::none && s.phase != SessionPhase::ended && s.phase != SessionPhase::idle) {
        meet_update(s, now);
    }
    switch (s.phase) {
    case SessionPhase::looking_up:
        finish_lookup(s, now);
        break;
    case SessionPhase::connecting:
        // While meeting, the meeting's own clocks count.
        if (s.peer != nullptr && now - s.started > s.config.connect_limit) close_now(s, SessionEnd::timed_out);
        break;
    case SessionPhase::listening:
        drop_silent_newcomers(s, now);
        break;
    case SessionPhase::playing: {
        const Rollback &r = s.rollback;
        // A pause holds both machines' inputs: it is not the other side stalling.
        if (r.remote_next != s.seen_remote_next || s.paused) {
            s.seen_remote_next = r.remote_next;
            s.last_progress = now;
        }
        const double limit = s.config.silence_limit;
        if (now - s.last_heard > limit) {
            close_now(s, SessionEnd::connection_lost);
            break;
        }
        if (now - s.last_progress > limit) {
            // Heard lately but no new inputs: alive, and holding the match up.
            close_now(s, now - s.last_heard > limit / 2 ? SessionEnd::connection_lost : SessionEnd::stalled);
            break;
        }
        rollback_settle(s.rollback);
        exchange_checksums(s, now);
        if (s.phase != SessionPhase::playing) break;
        // Unconfirmed inputs go again every round; otherwise a beat keeps the line alive.
        if (s.remote_ack < s.rollback.local_next || now - s.last_sent >= heartbeat_interval) send_inputs(s, now);
        break;
    }
    default:
        break;
    }
}

bool session_waiting(const OnlineSession &s, double now) {
    return s.phase == SessionPhase::playing && !s.paused && now - s.last_progress > waiting_after;
}

bool session_can_step(const OnlineSession &s) {
    if (s.phase != SessionPhase::playing || s.paused) return false;
    const Rollback &r = s.rollback;
    return r.frame < std::max(r.remote_next, r.floor) + max_prediction;
}

void session_step(OnlineSession &s, FrameInput local, double now) {
    if (!session_can_step(s)) return;
    Rollback &r = s.rollback;
    if (!input_in_range(local)) local = FrameInput{};
    while (r.local_next <= r.frame + s.config.input_delay) rollback_add_local(r, local);
    rollback_step(r);
    exchange_checksums(s, now);
    if (s.phase == SessionPhase::playing) send_inputs(s, now);
}

void session_pause(OnlineSession &s, bool paused, double now) {
    (void)now;
    if (s.phase != SessionPhase::playing || s.paused == paused) return;
    s.paused = paused;
    s.paused_by = static_cast<std::uint8_t>(session_local_side(s) + 1);
    send_pause(s);
}

void session_leave(OnlineSession &s) {
    if (s.peer != nullptr && s.phase == SessionPhase::playing) {
        Message &m = outgoing;
        m.type = MessageType::leave;
        send_message(s.peer, m, true);
    }
    give_back_room(s);
    transport_close_gently(s.transport, s.peer, leave_reason, 200);
    s.peer = nullptr;
    if (s.phase != SessionPhase::ended) finish(s, SessionEnd::you_left);
}

void session_drop(OnlineSession &s) {
    transport_close(s.transport);
    s.peer = nullptr;
    if (s.phase != SessionPhase::ended) finish(s, SessionEnd::you_left);
}

int session_local_side(const OnlineSession &s) { return s.hosting ? 0 : 1; }

void session_reset(OnlineSession &s) {
    rollback_stop(s.rollback);
    transport_close(s.transport);
    reset_session(s);
}

const char *session_end_text(const OnlineSession &s) { return session_end_text_for(s, s.end); }

const char *session_end_text_for(const OnlineSession &s, SessionEnd why) {
    static char line[96];
    switch (why) {
    case SessionEnd::none:
    case SessionEnd::you_left:
        return "";
    case SessionEnd::other_left:
        return "the other player left";
    case SessionEnd::connection_lost:
        return "connection lost";
    case SessionEnd::timed_out:
        std::snprintf(line, sizeof line, "no answer from the host in %.0f s", s.config.connect_limit);
        return line;
    case SessionEnd::refused:
        return "the host refused the connection";
    case SessionEnd::busy:
        return "the host is already playing";
    case SessionEnd::versions:
        std::snprintf(line, sizeof line, "version mismatch: this game is %u.%u, the host's %u.%u", s.config.protocol,
                      s.config.rules, s.other_protocol, s.other_rules);
        return line;
    case SessionEnd::port_in_use:
        std::snprintf(line, sizeof line, "port %u is in use", static_cast<unsigned>(s.config.port));
        return line;
    case SessionEnd::bad_address:
        return "not an address";
    case SessionEnd::network_failed:
        return "the network is not available";
    case SessionEnd::bad_handshake:
        return "the other side is not this game";
    case SessionEnd::ipv6_address:
        return "IPv6 addresses are not supported; use an IPv4 address or a name";
    case SessionEnd::no_such_host:
        std::snprintf(line, sizeof line, "no host called %s", s.target.host);
        return line;
    case SessionEnd::lookup_timed_out:
        return "the name lookup timed out";
    case SessionEnd::stalled:
        return "the other player stopped responding";
    case SessionEnd::disagree:
        return "the two games disagree; match ended";
    case SessionEnd::bad_state:
        return "the host sent an impossible state; match ended";
    case SessionEnd::state_refused:
        return "the other game refused this one's state; match ended";
    case SessionEnd::no_room:
        std::snprintf(line, sizeof line, "no game with code %s on the meeting server", s.meet.code);
        return line;
    case SessionEnd::server_busy:
        return "too many tries: the meeting server asks to wait a minute";
    case SessionEnd::server_silent:
        return "no answer from the meeting server";
    case SessionEnd::server_refused:
        return "the meeting server is full or of another version";
    }
    return "";
}

const char *session_path_line(const OnlineSession &s) {
    static char line[48];
    if (s.phase != SessionPhase::playing || s.peer == nullptr) return "";
    std::snprintf(line, sizeof line, "%s, %u ms", relayed(s) ? "relayed" : "direct",
                  static_cast<unsigned>(transport_round_trip_ms(s.peer)));
    return line;
}

const char *session_meet_line(const OnlineSession &s) {
    static char line[96];
    const Meeting &mt = s.meet;
    switch (mt.phase) {
    case MeetPhase::resolving:
        std::snprintf(line, sizeof line, "looking up the meeting server %s", s.config.server.host);
        return line;
    case MeetPhase::asking:
        if (s.hosting) return "asking the meeting server for a room code";
        std::snprintf(line, sizeof line, "asking the meeting server for %s", mt.code);
        return line;
    case MeetPhase::waiting:
        return "give the other player this code";
    case MeetPhase::punching:
        return s.hosting ? "a player is joining with the code" : "reaching the host directly";
    case MeetPhase::relay_asked:
        return "no direct path; asking the meeting server to relay";
    case MeetPhase::direct:
        return "connecting directly";
    case MeetPhase::relayed:
        return "connecting through the meeting server";
    case MeetPhase::failed:
        std::snprintf(line, sizeof line, "no room code (%s)", session_end_text_for(s, mt.why));
        return line;
    case MeetPhase::none:
        break;
    }
    return "";
}

bool session_takes_code(const SessionConfig &config, const char *text) {
    char code[room_code_length + 1];
    return config.server.host[0] != '\0' && normalize_room_code(text, code);
}
