#include "net/session.h"

#include <algorithm>
#include <cstdio>

#include "raylib.h"

namespace {

constexpr double heartbeat_interval = 0.05;
constexpr std::uint32_t sum_slots = 16;

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

void close_now(OnlineSession &s, SessionEnd why) {
    transport_drop(s.peer);
    s.peer = nullptr;
    transport_close(s.transport);
    finish(s, why);
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

void disagree(OnlineSession &s, std::uint32_t frame) {
    s.counters.desyncs += 1;
    TraceLog(LOG_WARNING, "ONLINE: the two machines disagree on frame %u; the host's state is taken", frame);
    if (!s.hosting) return;
    const std::uint32_t confirmed = rollback_confirmed(s.rollback);
    const MatchSnapshot *state = rollback_state_at(s.rollback, confirmed);
    if (state == nullptr) return;
    Message &m = outgoing;
    m.type = MessageType::state;
    m.frame = confirmed;
    m.state = *state;
    if (send_message(s.peer, m, true)) s.counters.states_sent += 1;
}

void compare_sums(OnlineSession &s, std::uint32_t frame) {
    ChecksumEntry &mine = s.local_sums[(frame / checksum_interval) % sum_slots];
    ChecksumEntry &theirs = s.remote_sums[(frame / checksum_interval) % sum_slots];
    if (mine.frame != frame || theirs.frame != frame) return;
    theirs.frame = no_frame;  // compared once
    if (mine.sum != theirs.sum) disagree(s, frame);
}

void exchange_checksums(OnlineSession &s) {
    ChecksumEntry e;
    while (rollback_take_checksum(s.rollback, e)) {
        s.local_sums[(e.frame / checksum_interval) % sum_slots] = e;
        Message &m = outgoing;
        m.type = MessageType::checksum;
        m.frame = e.frame;
        m.sum = e.sum;
        send_message(s.peer, m, true);
        compare_sums(s, e.frame);
    }
}

void start_playing(OnlineSession &s, int side, double dt, std::uint64_t seed, double now) {
    rollback_start(s.rollback, side, dt, s.config.input_delay, initial_match_snapshot(seed));
    s.phase = SessionPhase::playing;
    s.remote_ack = 0;
    s.paused = false;
    s.paused_by = 0;
    s.last_heard = now;
    s.last_sent = now;
    for (ChecksumEntry &e : s.local_sums) e = ChecksumEntry{};
    for (ChecksumEntry &e : s.remote_sums) e = ChecksumEntry{};
}

void refuse(OnlineSession &s, _ENetPeer *peer, RefuseReason reason) {
    Message &m = outgoing;
    m.type = MessageType::refuse;
    m.reason = reason;
    m.protocol = s.config.protocol;
    m.rules = s.config.rules;
    send_message(peer, m, true);
    transport_disconnect(peer, 0);
}

void host_hears(OnlineSession &s, const Message &m, double now) {
    if (s.phase != SessionPhase::listening || m.type != MessageType::hello) return;
    if (m.protocol != s.config.protocol || m.rules != s.config.rules) {
        TraceLog(LOG_WARNING, "ONLINE: refused a player whose game is version %u.%u (this one is %u.%u)", m.protocol,
                 m.rules, s.config.protocol, s.config.rules);
        s.other_versions_refused = true;
        s.other_protocol = m.protocol;
        s.other_rules = m.rules;
        refuse(s, s.peer, RefuseReason::versions);
        s.peer = nullptr;
        return;
    }
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

void playing_hears(OnlineSession &s, const Message &m) {
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
        s.remote_sums[(m.frame / checksum_interval) % sum_slots] = ChecksumEntry{m.frame, m.sum};
        compare_sums(s, m.frame);
        break;
    case MessageType::state:
        if (s.hosting) {
            s.counters.malformed += 1;
            return;
        }
        if (rollback_adopt(r, m.frame, m.state)) s.counters.states_adopted += 1;
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

void handle(OnlineSession &s, const NetEvent &e, double now) {
    switch (e.kind) {
    case NetEventKind::connected:
        if (s.hosting) {
            if (s.phase == SessionPhase::listening && s.peer == nullptr) {
                s.peer = e.peer;
                s.started = now;  // the newcomer has connect_limit to say hello
            } else if (e.peer != s.peer) {
                refuse(s, e.peer, RefuseReason::busy);
            }
        } else if (s.phase == SessionPhase::connecting && e.peer == s.peer) {
            Message &m = outgoing;
            m.type = MessageType::hello;
            m.protocol = s.config.protocol;
            m.rules = s.config.rules;
            send_message(s.peer, m, true);
        }
        return;
    case NetEventKind::disconnected:
        if (e.peer != s.peer || s.peer == nullptr) return;
        if (s.phase == SessionPhase::playing) {
            s.peer = nullptr;
            close_now(s, e.data == leave_reason ? SessionEnd::other_left : SessionEnd::connection_lost);
        } else if (s.phase == SessionPhase::connecting) {
            s.peer = nullptr;
            close_now(s, SessionEnd::refused);
        } else {
            s.peer = nullptr;  // a newcomer went before its hello: keep listening
        }
        return;
    case NetEventKind::oversize:
        s.counters.malformed += 1;
        return;
    case NetEventKind::received:
        break;
    default:
        return;
    }
    if (e.peer != s.peer) return;
    if (!decode_message(e.bytes, e.size, incoming)) {
        s.counters.malformed += 1;
        return;
    }
    s.last_heard = now;
    if (s.phase == SessionPhase::playing) {
        playing_hears(s, incoming);
    } else if (s.hosting) {
        host_hears(s, incoming, now);
    } else {
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
    s.started = s.last_heard = s.last_sent = 0.0;
    s.remote_ack = 0;
    s.paused = false;
    s.paused_by = 0;
    s.other_versions_refused = false;
    s.other_protocol = s.other_rules = 0;
    for (ChecksumEntry &e : s.local_sums) e = ChecksumEntry{};
    for (ChecksumEntry &e : s.remote_sums) e = ChecksumEntry{};
    s.counters = SessionCounters{};
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
    // Room for the match's peer and one more, who is told the host is busy.
    const Result<Ok> listening = transport_listen(s.transport, config.port, 2);
    if (!listening) {
        finish(s, listening.error() == Error::port_in_use ? SessionEnd::port_in_use : SessionEnd::network_failed);
        return;
    }
    s.phase = SessionPhase::listening;
}

void session_join(OnlineSession &s, const char *address, const SessionConfig &config, double now) {
    begin_session(s, false, config, now);
    const Result<NetAddress> to = parse_address(address);
    if (!to) {
        finish(s, SessionEnd::bad_address);
        return;
    }
    Result<_ENetPeer *> peer = transport_connect(s.transport, to.value());
    if (!peer) {
        finish(s, peer.error() == Error::bad_address ? SessionEnd::bad_address : SessionEnd::network_failed);
        return;
    }
    s.peer = peer.value();
    s.phase = SessionPhase::connecting;
}

void session_update(OnlineSession &s, double now) {
    static NetEvent event;
    while (s.phase != SessionPhase::ended && s.phase != SessionPhase::idle && transport_poll(s.transport, event)) {
        handle(s, event, now);
    }
    switch (s.phase) {
    case SessionPhase::connecting:
        if (now - s.started > s.config.connect_limit) close_now(s, SessionEnd::timed_out);
        break;
    case SessionPhase::listening:
        if (s.peer != nullptr && now - s.started > s.config.connect_limit) {
            transport_drop(s.peer);  // connected but never said hello
            s.peer = nullptr;
        }
        break;
    case SessionPhase::playing:
        if (now - s.last_heard > s.config.silence_limit) {
            close_now(s, SessionEnd::connection_lost);
            break;
        }
        rollback_settle(s.rollback);
        exchange_checksums(s);
        // Unconfirmed inputs go again every round; otherwise a beat keeps the line alive.
        if (s.remote_ack < s.rollback.local_next || now - s.last_sent >= heartbeat_interval) send_inputs(s, now);
        break;
    default:
        break;
    }
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
    exchange_checksums(s);
    send_inputs(s, now);
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
    transport_close(s.transport);
    reset_session(s);
}

const char *session_end_text(const OnlineSession &s) {
    static char line[96];
    switch (s.end) {
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
    }
    return "";
}
