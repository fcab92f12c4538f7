// The server's TCP side (libwebsockets): the built page over HTTP, and pages' WebSockets,
// each a game that speaks in whole datagrams. A page's messages go through the same
// rules as datagrams, under an address of its own (is_page_address).
#pragma once

#include <cstddef>
#include <cstdint>

#include "meet_server.h"

struct lws_context;

struct WebFrontConfig {
    int port = 0;
    const char *bind = nullptr;     // an IPv4 address, or every interface
    const char *web_dir = nullptr;  // served over HTTP; none: no pages are served
};

// Listens on TCP `port`; the UDP socket `udp` is watched by the same loop, which calls
// `on_udp` when it may be read and `on_second` once a second.
lws_context *web_front_start(const WebFrontConfig &config, MeetServer &server, int udp, void (*on_udp)(),
                             void (*on_second)());
// One round of the loop: waits for the next event.
bool web_front_service(lws_context *context);
// Queues `data` for the page at `to` (dropped when its queue is full or it is gone).
void web_front_send(const MeetAddress &to, const std::uint8_t *data, std::size_t size);
void web_front_stop(lws_context *context);
// Called from a signal handler: the loop's wait ends.
void web_front_wake(lws_context *context);

// The meeting server's UDP socket, which replies to a page's messages may go out on.
extern int web_front_udp_socket;

// The largest message a page may send or be sent: the largest datagram ENet makes.
inline constexpr std::size_t max_page_message = 4096;
