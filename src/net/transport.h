// The connection to the other machine: ENet over UDP, two channels (reliable control
// messages, unreliable sequenced inputs). No reliability of our own on top.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/result.h"
#include "meet/meet_wire.h"
#include "net/protocol.h"

// The page's transport: ENet over one WebSocket to the server the page came from, which
// relays every datagram (a browser cannot send UDP).
#if defined(__EMSCRIPTEN__)
inline constexpr bool page_transport = true;
#else
inline constexpr bool page_transport = false;
#endif

struct _ENetHost;
struct _ENetPeer;

struct Transport {
    _ENetHost *host = nullptr;
    std::uint16_t port = 0;  // the port bound (a listener's, or the local one)
};

enum class NetEventKind : std::uint8_t { none, connected, disconnected, received, oversize };

struct NetEvent {
    NetEventKind kind = NetEventKind::none;
    _ENetPeer *peer = nullptr;
    std::uint32_t data = 0;  // a disconnect's reason, from the other side
    std::uint8_t channel = 0;
    std::size_t size = 0;
    std::uint8_t bytes[max_packet_bytes]{};
};

// Where to connect: an IPv4 address or host name, and a port.
struct NetAddress {
    char host[64] = {};
    std::uint16_t port = default_port;
};

// "address" or "address:port" (port 1..65535, digits only); spaces around are
// ignored. Fails for an empty address, a bad port or anything too long.
Result<NetAddress> parse_address(const char *text);

// Listens on `port` on every interface (0: any free port; `t.port` says which).
Result<Ok> transport_listen(Transport &t, std::uint16_t port, std::size_t peers);
// Starts connecting to `to`, whose host must be a dotted IPv4 address (names are
// looked up beforehand, off the drawing thread); the connection is made when a
// `connected` event comes.
Result<_ENetPeer *> transport_connect(Transport &t, const NetAddress &to);
// Opens a socket on any free port without connecting yet (a joiner that first meets
// the host through a meeting server), and later connects on it.
Result<Ok> transport_open(Transport &t);
Result<_ENetPeer *> transport_connect_on(Transport &t, const MeetAddress &to);

// Meeting datagrams share the match's socket: what arrives with the meeting's magic is
// kept aside (a few at a time; the rest are dropped) and never reaches ENet.
struct RawDatagram {
    MeetAddress from{};
    std::size_t size = 0;
    std::uint8_t bytes[max_meet_bytes]{};
};
bool transport_take_raw(Transport &t, RawDatagram &out);
// `hops` > 0 limits how far the datagram goes (the IP time to live); 0 for the default.
bool transport_send_raw(Transport &t, const MeetAddress &to, const std::uint8_t *data, std::size_t size, int hops = 0);
// The peer's address and its round trip as ENet measures it.
MeetAddress transport_peer_address(const _ENetPeer *peer);
std::uint32_t transport_round_trip_ms(const _ENetPeer *peer);
// The next event, waiting for none; false when there is none.
bool transport_poll(Transport &t, NetEvent &out);
bool transport_send(_ENetPeer *peer, std::uint8_t channel, const std::uint8_t *data, std::size_t size, bool reliable);
// Sends what is queued now rather than at the next poll.
void transport_flush(Transport &t);
// Asks the peer to go, telling it `reason` (it arrives as the disconnect's data).
void transport_disconnect(_ENetPeer *peer, std::uint32_t reason);
// Tells the peer we go (with `reason`) in the very next datagram, sending nothing
// else queued for it; the caller then closes.
void transport_disconnect_now(_ENetPeer *peer, std::uint32_t reason);
// Frees the peer's slot at once, telling it in one unacknowledged datagram.
void transport_cut(_ENetPeer *peer);
// Drops the peer at once, without a word.
void transport_drop(_ENetPeer *peer);
void transport_close(Transport &t);

// The page's link to its server: opened when ONLINE first shows, again after a loss.
// The desktop game has no such link: it reads as closed there.
enum class PageLink : std::uint8_t { closed, opening, open, failed };
void page_link_open();
PageLink page_link_state();
// Why online play is off on the page (after `failed`).
const char *page_link_why();
// The address the page's session uses for its server: any will do, as every datagram
// goes over the one WebSocket and everything that comes back reads as from here.
inline constexpr const char *page_server_host = "127.0.0.1";
// The page's socket layer keeps meeting datagrams apart from ENet's, as the desktop's
// intercept does.
bool page_take_raw(RawDatagram &out);
bool page_send_raw(const std::uint8_t *data, std::size_t size);

// This machine's IPv4 addresses other than loopback, as text, at most `max`.
int local_addresses(char (*out)[48], int max);
// Disconnects the peer (telling it `reason`) and waits up to `wait_ms` for it to
// acknowledge, then closes.
void transport_close_gently(Transport &t, _ENetPeer *peer, std::uint32_t reason, int wait_ms);
