// The page's socket under ENet: a browser sends no UDP, so the one "socket" is a
// WebSocket to the server the page was loaded from, one binary message per datagram,
// and the server relays them on as datagrams. ENet's own files (host, peer, protocol)
// run unchanged above; this takes the place of its Unix layer.
#if defined(__EMSCRIPTEN__)
#include <arpa/inet.h>
#include <emscripten.h>
#include <emscripten/websocket.h>
#include <enet/enet.h>

#include <cstdio>
#include <cstring>

#include "net/transport.h"
#include "raylib.h"

namespace {

// The server's cap on one message, which is ENet's largest datagram.
constexpr std::size_t max_message = ENET_PROTOCOL_MAXIMUM_MTU;
constexpr int queue_length = 128;  // a frame's worth and more; the rest is dropped as UDP would

struct Datagram {
    std::size_t size = 0;
    std::uint8_t bytes[max_message];
};

struct Link {
    EMSCRIPTEN_WEBSOCKET_T ws = 0;
    PageLink state = PageLink::closed;
    char why[120] = "";
    ENetSocket current = ENET_SOCKET_NULL;  // the ENet host's socket, one at a time
    int next_socket = 0;
    Datagram queue[queue_length];
    int head = 0, count = 0;
    RawDatagram raw[16];
    int raw_head = 0, raw_count = 0;
    std::uint32_t dropped = 0;
};
Link page;

// ws:// or wss:// and the host the page came from; 0 when it came from no server at all.
// clang-format off
EM_JS(int, page_socket_url, (char *out, int size), {
    if (location.protocol != 'http:' && location.protocol != 'https:') return 0;
    const url = (location.protocol == 'https:' ? 'wss://' : 'ws://') + location.host + '/';
    if (url.length + 1 > size) return 0;
    for (let i = 0; i < url.length; ++i) HEAPU8[out + i] = url.charCodeAt(i) & 0x7f;
    HEAPU8[out + url.length] = 0;
    return 1;
});
// clang-format on

void fail(const char *why) {
    if (page.ws > 0) {
        emscripten_websocket_close(page.ws, 1000, "");
        emscripten_websocket_delete(page.ws);
    }
    page.ws = 0;
    page.state = PageLink::failed;
    std::snprintf(page.why, sizeof page.why, "online play is off: %s", why);
    TraceLog(LOG_WARNING, "ONLINE: %s", page.why);
}

EM_BOOL on_open(int, const EmscriptenWebSocketOpenEvent *, void *) {
    page.state = PageLink::open;
    TraceLog(LOG_INFO, "ONLINE: connected to the server this page came from");
    return EM_TRUE;
}

EM_BOOL on_message(int, const EmscriptenWebSocketMessageEvent *e, void *) {
    if (e->isText || e->numBytes == 0 || e->numBytes > max_message) {
        page.dropped += 1;
        return EM_TRUE;
    }
    if (is_meet_datagram(e->data, e->numBytes)) {
        if (page.raw_count == 16 || e->numBytes > max_meet_bytes) {
            page.dropped += 1;
            return EM_TRUE;
        }
        RawDatagram &d = page.raw[(page.raw_head + page.raw_count) % 16];
        d.from = MeetAddress{ntohl(inet_addr(page_server_host)), meet_default_port};
        d.size = e->numBytes;
        std::memcpy(d.bytes, e->data, d.size);
        page.raw_count += 1;
        return EM_TRUE;
    }
    if (page.count == queue_length || page.current == ENET_SOCKET_NULL) {
        page.dropped += 1;
        return EM_TRUE;
    }
    Datagram &d = page.queue[(page.head + page.count) % queue_length];
    d.size = e->numBytes;
    std::memcpy(d.bytes, e->data, d.size);
    page.count += 1;
    return EM_TRUE;
}

EM_BOOL on_error(int, const EmscriptenWebSocketErrorEvent *, void *) {
    if (page.state == PageLink::opening) fail("this page's server does not carry games (it is not vorbel-server)");
    return EM_TRUE;
}

EM_BOOL on_close(int, const EmscriptenWebSocketCloseEvent *, void *) {
    if (page.state == PageLink::opening) {
        fail("this page's server does not carry games (it is not vorbel-server)");
    } else if (page.state == PageLink::open) {
        fail("the connection to the server was lost");
    }
    return EM_TRUE;
}

}  // namespace

void page_link_open() {
    if (page.state == PageLink::open || page.state == PageLink::opening) return;
    char url[256];
    if (page_socket_url(url, sizeof url) == 0) {
        fail("the page was opened from a file, not from vorbel-server");
        return;
    }
    EmscriptenWebSocketCreateAttributes attributes;
    emscripten_websocket_init_create_attributes(&attributes);
    attributes.url = url;
    attributes.protocols = "vorbel";
    page.ws = emscripten_websocket_new(&attributes);
    if (page.ws <= 0) {
        page.ws = 0;
        fail("the browser refused the connection to this page's server");
        return;
    }
    page.state = PageLink::opening;
    page.why[0] = '\0';
    emscripten_websocket_set_onopen_callback(page.ws, nullptr, on_open);
    emscripten_websocket_set_onmessage_callback(page.ws, nullptr, on_message);
    emscripten_websocket_set_onerror_callback(page.ws, nullptr, on_error);
    emscripten_websocket_set_onclose_callback(page.ws, nullptr, on_close);
}

PageLink page_link_state() { return page.state; }
const char *page_link_why() { return page.why; }

bool page_take_raw(RawDatagram &out) {
    if (page.raw_count == 0) return false;
    out = page.raw[page.raw_head];
    page.raw_head = (page.raw_head + 1) % 16;
    page.raw_count -= 1;
    return true;
}

bool page_send_raw(const std::uint8_t *data, std::size_t size) {
    if (page.state != PageLink::open || size == 0 || size > max_message) return false;
    return emscripten_websocket_send_binary(page.ws, const_cast<std::uint8_t *>(data), size) ==
           EMSCRIPTEN_RESULT_SUCCESS;
}

// ENet's platform layer, for the page.
extern "C" {

int enet_initialize(void) { return 0; }
void enet_deinitialize(void) {}

static enet_uint32 time_base = 0;
enet_uint32 enet_time_get(void) { return static_cast<enet_uint32>(emscripten_get_now()) - time_base; }
void enet_time_set(enet_uint32 t) { time_base = static_cast<enet_uint32>(emscripten_get_now()) - t; }

int enet_address_set_host(ENetAddress *address, const char *name) {
    in_addr a{};
    if (inet_pton(AF_INET, name, &a) != 1) return -1;
    address->host = a.s_addr;
    return 0;
}

int enet_address_get_host_ip(const ENetAddress *address, char *name, size_t length) {
    in_addr a{};
    a.s_addr = address->host;
    return inet_ntop(AF_INET, &a, name, static_cast<socklen_t>(length)) != nullptr ? 0 : -1;
}

int enet_address_get_host(const ENetAddress *address, char *name, size_t length) {
    return enet_address_get_host_ip(address, name, length);
}

ENetSocket enet_socket_create(ENetSocketType type) {
    if (type != ENET_SOCKET_TYPE_DATAGRAM) return ENET_SOCKET_NULL;
    // A new host starts with nothing of the last one's waiting.
    page.current = ++page.next_socket;
    page.count = 0;
    page.raw_count = 0;
    return page.current;
}

int enet_socket_bind(ENetSocket, const ENetAddress *) { return 0; }
int enet_socket_listen(ENetSocket, int) { return -1; }
ENetSocket enet_socket_accept(ENetSocket, ENetAddress *) { return ENET_SOCKET_NULL; }
int enet_socket_connect(ENetSocket, const ENetAddress *) { return -1; }
int enet_socket_shutdown(ENetSocket, ENetSocketShutdown) { return 0; }
int enet_socket_set_option(ENetSocket, ENetSocketOption, int) { return 0; }

void enet_socket_destroy(ENetSocket socket) {
    if (socket != page.current) return;
    page.current = ENET_SOCKET_NULL;
    page.count = 0;
}

int enet_socket_send(ENetSocket socket, const ENetAddress *, const ENetBuffer *buffers, size_t count) {
    static std::uint8_t message[max_message];
    std::size_t size = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (size + buffers[i].dataLength > sizeof message) return -1;
        std::memcpy(message + size, buffers[i].data, buffers[i].dataLength);
        size += buffers[i].dataLength;
    }
    // No link: lost on the way, as a datagram may be; ENet's timeouts see to the rest.
    if (socket == page.current) page_send_raw(message, size);
    return static_cast<int>(size);
}

int enet_socket_receive(ENetSocket socket, ENetAddress *from, ENetBuffer *buffers, size_t count) {
    if (socket != page.current || count == 0) return 0;
    while (page.count > 0) {
        const Datagram &d = page.queue[page.head];
        page.head = (page.head + 1) % queue_length;
        page.count -= 1;
        if (d.size > buffers[0].dataLength) continue;  // larger than ENet takes: dropped
        std::memcpy(buffers[0].data, d.bytes, d.size);
        if (from != nullptr) {
            from->host = inet_addr(page_server_host);
            from->port = meet_default_port;
        }
        return static_cast<int>(d.size);
    }
    return 0;
}

int enet_socketset_select(ENetSocket, ENetSocketSet *, ENetSocketSet *, enet_uint32) { return 0; }

int enet_socket_wait(ENetSocket socket, enet_uint32 *condition, enet_uint32) {
    // Never blocks: messages arrive between frames, not inside one.
    const bool waiting = socket == page.current && page.count > 0;
    *condition = waiting ? ENET_SOCKET_WAIT_RECEIVE : ENET_SOCKET_WAIT_NONE;
    return 0;
}

}  // extern "C"
#endif
