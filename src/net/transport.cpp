#include "net/transport.h"

#include <arpa/inet.h>
#include <enet/enet.h>
#include <enet/time.h>
#include <netinet/in.h>
#include <sys/socket.h>
#if !defined(__EMSCRIPTEN__)
#include <ifaddrs.h>
#include <net/if.h>
#endif

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "raylib.h"

namespace {

bool enet_ready() {
    static int state = 0;  // 0 not tried, 1 ready, 2 failed
    if (state == 0) {
        state = enet_initialize() == 0 ? 1 : 2;
        if (state == 1) std::atexit(enet_deinitialize);
    }
    return state == 1;
}

// ENet doubles the wait before each resend of a reliable message and cuts the
// connection after six sends of one message go unanswered. A lossy link loses that
// many in a row now and then while the inputs, sent every frame, still come through:
// both machines would end a match they can still play. Resends keep a steady pace
// instead, and only a long silence of acknowledgements ends the connection in ENet;
// the session watches for a silent peer itself.
constexpr enet_uint32 resend_ceiling_ms = 1000;
constexpr enet_uint32 resends_before_giving_up = 1u << 15;  // in effect, never by count

void keep_resends_steady(ENetHost *host) {
    for (std::size_t i = 0; i < host->peerCount; ++i) {
        ENetPeer &peer = host->peers[i];
        if (peer.state != ENET_PEER_STATE_CONNECTED || enet_list_empty(&peer.sentReliableCommands)) continue;
        // Never sooner than an answer can come back on this link.
        const enet_uint32 ceiling =
            std::max(resend_ceiling_ms, 2 * (peer.roundTripTime + 4 * peer.roundTripTimeVariance));
        for (ENetListIterator it = enet_list_begin(&peer.sentReliableCommands);
             it != enet_list_end(&peer.sentReliableCommands); it = enet_list_next(it)) {
            auto *command = reinterpret_cast<ENetOutgoingCommand *>(it);
            if (command->roundTripTimeout <= ceiling) continue;
            command->roundTripTimeout = ceiling;
            const enet_uint32 due = command->sentTime + ceiling;
            if (ENET_TIME_LESS(due, peer.nextTimeout)) peer.nextTimeout = due;
        }
    }
}

#if !defined(__EMSCRIPTEN__)
// Meeting datagrams waiting to be read, per open host (a test runs two games at once).
constexpr int raw_slots = 4;
constexpr int raw_queue = 16;
struct RawInbox {
    ENetHost *host = nullptr;
    RawDatagram queue[raw_queue]{};
    int head = 0, count = 0;
};
RawInbox raw_inboxes[raw_slots];

RawInbox *inbox_of(const ENetHost *host) {
    for (RawInbox &box : raw_inboxes) {
        if (host != nullptr && box.host == host) return &box;
    }
    return nullptr;
}

int ENET_CALLBACK intercept_meeting(ENetHost *host, ENetEvent *) {
    if (!is_meet_datagram(host->receivedData, host->receivedDataLength)) return 0;
    RawInbox *box = inbox_of(host);
    if (box != nullptr && box->count < raw_queue && host->receivedDataLength <= max_meet_bytes) {
        RawDatagram &d = box->queue[(box->head + box->count) % raw_queue];
        d.from = MeetAddress{ENET_NET_TO_HOST_32(host->receivedAddress.host), host->receivedAddress.port};
        d.size = host->receivedDataLength;
        std::memcpy(d.bytes, host->receivedData, d.size);
        box->count += 1;
    }
    return 1;  // never ENet's, even when dropped
}

#endif

void limit_packets(ENetHost *host) {
#if defined(__EMSCRIPTEN__)
    // The page's ENet predates these limits; its socket layer keeps meeting datagrams
    // apart itself.
    (void)host;
#else
    // Nothing we send is larger; a peer that sends more is not worth the memory.
    host->maximumPacketSize = max_packet_bytes;
    host->maximumWaitingData = 64 * max_packet_bytes;
    host->intercept = intercept_meeting;
    for (RawInbox &box : raw_inboxes) {
        if (box.host == nullptr) {
            box = RawInbox{};
            box.host = host;
            break;
        }
    }
#endif
}

// The port a host is bound to (the page's socket has none of its own).
std::uint16_t bound_port(ENetHost *host, std::uint16_t asked) {
#if defined(__EMSCRIPTEN__)
    (void)host;
    return asked;
#else
    ENetAddress bound{};
    return enet_socket_get_address(host->socket, &bound) == 0 ? bound.port : asked;
#endif
}

}  // namespace

Result<NetAddress> parse_address(const char *text) {
    if (text == nullptr) return Error::bad_address;
    while (*text == ' ') ++text;
    std::size_t n = std::strlen(text);
    while (n > 0 && text[n - 1] == ' ') --n;
    if (n == 0 || n >= sizeof NetAddress{}.host) return Error::bad_address;

    NetAddress a;
    std::size_t host_len = n;
    const char *colon = static_cast<const char *>(std::memchr(text, ':', n));
    if (colon != nullptr) {
        host_len = static_cast<std::size_t>(colon - text);
        const char *p = colon + 1;
        const std::size_t digits = n - host_len - 1;
        if (digits == 0 || digits > 5) return Error::bad_address;
        unsigned long port = 0;
        for (std::size_t i = 0; i < digits; ++i) {
            if (!std::isdigit(static_cast<unsigned char>(p[i]))) return Error::bad_address;
            port = port * 10 + static_cast<unsigned long>(p[i] - '0');
        }
        if (port == 0 || port > 65535) return Error::bad_address;
        a.port = static_cast<std::uint16_t>(port);
    }
    if (host_len == 0) return Error::bad_address;
    for (std::size_t i = 0; i < host_len; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (!(std::isalnum(c) || c == '.' || c == '-' || c == '_')) return Error::bad_address;
    }
    std::memcpy(a.host, text, host_len);
    a.host[host_len] = '\0';
    return a;
}

Result<Ok> transport_listen(Transport &t, std::uint16_t port, std::size_t peers) {
    if (!enet_ready()) return Error::network_failed;
    ENetAddress address{};
    address.host = ENET_HOST_ANY;
    address.port = port;
    t.host = enet_host_create(&address, peers, channel_count, 0, 0);
    if (t.host == nullptr) return Error::port_in_use;
    limit_packets(t.host);
    t.port = bound_port(t.host, port);
    return Ok{};
}

Result<Ok> transport_open(Transport &t) {
    if (!enet_ready()) return Error::network_failed;
    t.host = enet_host_create(nullptr, 1, channel_count, 0, 0);
    if (t.host == nullptr) return Error::network_failed;
    limit_packets(t.host);
    t.port = bound_port(t.host, 0);
    return Ok{};
}

Result<_ENetPeer *> transport_connect_on(Transport &t, const MeetAddress &to) {
    if (t.host == nullptr) return Error::network_failed;
    ENetAddress address{};
    address.host = ENET_HOST_TO_NET_32(to.ip);
    address.port = to.port;
    ENetPeer *peer = enet_host_connect(t.host, &address, channel_count, 0);
    if (peer == nullptr) return Error::network_failed;
    return peer;
}

Result<_ENetPeer *> transport_connect(Transport &t, const NetAddress &to) {
    if (!enet_ready()) return Error::network_failed;
    ENetAddress address{};
#if defined(__EMSCRIPTEN__)
    if (enet_address_set_host(&address, to.host) != 0) return Error::bad_address;  // numeric alone there
#else
    if (enet_address_set_host_ip(&address, to.host) != 0) return Error::bad_address;
#endif
    if (const Result<Ok> opened = transport_open(t); !opened) return opened.error();
    Result<_ENetPeer *> peer = transport_connect_on(t, MeetAddress{ENET_NET_TO_HOST_32(address.host), to.port});
    if (!peer) transport_close(t);
    return peer;
}

bool transport_take_raw(Transport &t, RawDatagram &out) {
#if defined(__EMSCRIPTEN__)
    return t.host != nullptr && page_take_raw(out);
#else
    RawInbox *box = inbox_of(t.host);
    if (box == nullptr || box->count == 0) return false;
    out = box->queue[box->head];
    box->head = (box->head + 1) % raw_queue;
    box->count -= 1;
    return true;
#endif
}

bool transport_send_raw(Transport &t, const MeetAddress &to, const std::uint8_t *data, std::size_t size, int hops) {
    if (t.host == nullptr) return false;
#if defined(__EMSCRIPTEN__)
    // Everything the page sends goes to its server, the only one it can reach.
    (void)to;
    (void)hops;
    return page_send_raw(data, size);
#else
    ENetAddress address{};
    address.host = ENET_HOST_TO_NET_32(to.ip);
    address.port = to.port;
    ENetBuffer buffer{const_cast<std::uint8_t *>(data), size};
    int usual = 64;
    socklen_t length = sizeof usual;
    const bool limited = hops > 0 && getsockopt(t.host->socket, IPPROTO_IP, IP_TTL, &usual, &length) == 0 &&
                         setsockopt(t.host->socket, IPPROTO_IP, IP_TTL, &hops, sizeof hops) == 0;
    const bool sent = enet_socket_send(t.host->socket, &address, &buffer, 1) == static_cast<int>(size);
    if (limited) setsockopt(t.host->socket, IPPROTO_IP, IP_TTL, &usual, sizeof usual);
    return sent;
#endif
}

MeetAddress transport_peer_address(const _ENetPeer *peer) {
    if (peer == nullptr) return MeetAddress{};
    return MeetAddress{ENET_NET_TO_HOST_32(peer->address.host), peer->address.port};
}

std::uint32_t transport_round_trip_ms(const _ENetPeer *peer) { return peer == nullptr ? 0 : peer->roundTripTime; }

bool transport_poll(Transport &t, NetEvent &out) {
    if (t.host == nullptr) return false;
    keep_resends_steady(t.host);
    ENetEvent event;
    if (enet_host_service(t.host, &event, 0) <= 0) return false;
    out.peer = event.peer;
    out.data = event.data;
    out.channel = event.channelID;
    out.size = 0;
    switch (event.type) {
    case ENET_EVENT_TYPE_CONNECT:
        // ENet's throttle drops unreliable packets when it sees loss; inputs are the
        // very packets that must keep coming then (each repeats what is unconfirmed).
        enet_peer_throttle_configure(event.peer, ENET_PEER_PACKET_THROTTLE_INTERVAL,
                                     ENET_PEER_PACKET_THROTTLE_ACCELERATION, 0);
        // The default minimum and maximum times stay (0 keeps them).
        enet_peer_timeout(event.peer, resends_before_giving_up, 0, 0);
        out.kind = NetEventKind::connected;
        break;
    case ENET_EVENT_TYPE_DISCONNECT:
        out.kind = NetEventKind::disconnected;
        break;
    case ENET_EVENT_TYPE_RECEIVE:
        if (event.packet->dataLength > sizeof out.bytes) {
            out.kind = NetEventKind::oversize;
        } else {
            out.kind = NetEventKind::received;
            out.size = event.packet->dataLength;
            if (out.size > 0) std::memcpy(out.bytes, event.packet->data, out.size);
        }
        enet_packet_destroy(event.packet);
        break;
    default:
        out.kind = NetEventKind::none;
        break;
    }
    return true;
}

bool transport_send(_ENetPeer *peer, std::uint8_t channel, const std::uint8_t *data, std::size_t size, bool reliable) {
    if (peer == nullptr) return false;
    ENetPacket *packet = enet_packet_create(data, size, reliable ? ENET_PACKET_FLAG_RELIABLE : 0);
    if (packet == nullptr) return false;
    if (enet_peer_send(peer, channel, packet) < 0) {
        enet_packet_destroy(packet);
        return false;
    }
    return true;
}

void transport_flush(Transport &t) {
    if (t.host != nullptr) enet_host_flush(t.host);
}

void transport_disconnect(_ENetPeer *peer, std::uint32_t reason) {
    if (peer != nullptr) enet_peer_disconnect_later(peer, reason);
}

void transport_disconnect_now(_ENetPeer *peer, std::uint32_t reason) {
    if (peer != nullptr) enet_peer_disconnect(peer, reason);
}

void transport_cut(_ENetPeer *peer) {
    if (peer != nullptr) enet_peer_disconnect_now(peer, 0);
}

void transport_drop(_ENetPeer *peer) {
    if (peer != nullptr) enet_peer_reset(peer);
}

void transport_close(Transport &t) {
    if (t.host != nullptr) {
#if !defined(__EMSCRIPTEN__)
        if (RawInbox *box = inbox_of(t.host)) *box = RawInbox{};
#endif
        enet_host_flush(t.host);
        enet_host_destroy(t.host);
    }
    t = Transport{};
}

int local_addresses(char (*out)[48], int max) {
#if defined(__EMSCRIPTEN__)
    (void)out;
    (void)max;
    return 0;  // a page has no address of its own that anyone could reach
#else
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0) return 0;
    int n = 0;
    for (ifaddrs *i = list; i != nullptr && n < max; i = i->ifa_next) {
        if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
        if ((i->ifa_flags & IFF_LOOPBACK) != 0 || (i->ifa_flags & IFF_UP) == 0) continue;
        const auto *in = reinterpret_cast<const sockaddr_in *>(i->ifa_addr);
        if (inet_ntop(AF_INET, &in->sin_addr, out[n], 48) != nullptr) ++n;
    }
    freeifaddrs(list);
    return n;
#endif
}

void transport_close_gently(Transport &t, _ENetPeer *peer, std::uint32_t reason, int wait_ms) {
    // A page cannot wait inside a frame (nothing arrives until it returns): it says
    // goodbye once and closes.
    if (page_transport && t.host != nullptr && peer != nullptr) {
        enet_peer_disconnect(peer, reason);
        enet_host_flush(t.host);
    } else if (t.host != nullptr && peer != nullptr) {
        enet_peer_disconnect_later(peer, reason);
        ENetEvent event;
        const enet_uint32 until = enet_time_get() + static_cast<enet_uint32>(wait_ms);
        while (enet_time_get() < until) {
            const int got = enet_host_service(t.host, &event, 10);
            if (got < 0) break;
            if (got == 0) continue;
            if (event.type == ENET_EVENT_TYPE_RECEIVE) enet_packet_destroy(event.packet);
            if (event.type == ENET_EVENT_TYPE_DISCONNECT && event.peer == peer) break;
        }
    }
    transport_close(t);
}

#if !defined(__EMSCRIPTEN__)
void page_link_open() {}
// The desktop game never opens the page's link (its menus only play the page in tests).
PageLink page_link_state() { return PageLink::closed; }
const char *page_link_why() { return ""; }
bool page_take_raw(RawDatagram &) { return false; }
bool page_send_raw(const std::uint8_t *, std::size_t) { return false; }
#endif
