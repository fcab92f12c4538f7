#include "web_front.h"

#include <arpa/inet.h>
#include <libwebsockets.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

int web_front_udp_socket = -1;

namespace {

constexpr int queue_length = 16;  // messages waiting for one page; more are dropped, as UDP would

struct Outgoing {
    std::size_t size = 0;
    unsigned char bytes[LWS_PRE + max_page_message];
};

// One page's connection: its address in the rules and what waits to go to it.
struct PageConn {
    lws *wsi = nullptr;
    MeetAddress address{};
    Outgoing queue[queue_length];
    int head = 0, count = 0;
    std::size_t in_size = 0;  // a message arriving in parts
    bool in_too_large = false;
    std::uint8_t in[max_page_message];
};

// What each connection's lws user data holds.
struct Session {
    int slot = -1;
};

struct Front {
    WebFrontConfig config{};
    MeetServer *server = nullptr;
    std::vector<PageConn> pages;  // one per page slot of the rules, set aside at the start
    void (*on_udp)() = nullptr;
    void (*on_second)() = nullptr;
    lws_sorted_usec_list_t second{};
    lws_context *context = nullptr;
    std::uint64_t refused_origins[32] = {};  // logged once each
    int refused_logged = 0;
};
Front front;

double clock_now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void log_event(const char *format, const char *a, const char *b = "") {
    if (front.server == nullptr || front.server->log == nullptr) return;
    char line[240];
    std::snprintf(line, sizeof line, format, a, b);
    front.server->log(line);
}

std::uint64_t text_hash(const char *text) {
    std::uint64_t h = 1469598103934665603ull;
    for (; *text != '\0'; ++text) h = (h ^ static_cast<unsigned char>(*text)) * 1099511628211ull;
    return h;
}

// The page must come from this server: its Origin is the Host it asked for.
bool same_origin(lws *wsi, char *origin, int origin_size) {
    char host[256];
    origin[0] = '\0';
    if (lws_hdr_copy(wsi, origin, origin_size, WSI_TOKEN_ORIGIN) <= 0) return false;
    if (lws_hdr_copy(wsi, host, sizeof host, WSI_TOKEN_HOST) <= 0) return false;
    for (const char *scheme : {"http://", "https://"}) {
        const std::size_t n = std::strlen(scheme);
        if (std::strncmp(origin, scheme, n) == 0 && std::strcmp(origin + n, host) == 0) return true;
    }
    return false;
}

void refuse_origin(const char *origin, const char *peer) {
    const std::uint64_t h = text_hash(origin);
    for (int i = 0; i < front.refused_logged; ++i) {
        if (front.refused_origins[i] == h) return;
    }
    if (front.refused_logged < 32) front.refused_origins[front.refused_logged++] = h;
    log_event("refused a page from origin \"%.100s\" (%s): pages play from this server's own origin", origin, peer);
}

std::uint32_t peer_ip(lws *wsi, char *text, std::size_t size) {
    in_addr a{};
    if (lws_get_peer_simple(wsi, text, size) == nullptr || inet_pton(AF_INET, text, &a) != 1) return 0;
    return ntohl(a.s_addr);
}

// Content types of what the page build holds; anything else is plain bytes.
const char *content_type(const char *path) {
    static const char *const types[][2] = {{".html", "text/html"},        {".js", "application/javascript"},
                                           {".wasm", "application/wasm"}, {".data", "application/octet-stream"},
                                           {".css", "text/css"},          {".png", "image/png"},
                                           {".ico", "image/x-icon"},      {".json", "application/json"},
                                           {".txt", "text/plain"}};
    const char *dot = std::strrchr(path, '.');
    for (const auto &t : types) {
        if (dot != nullptr && std::strcmp(dot, t[0]) == 0) return t[1];
    }
    return "application/octet-stream";
}

bool regular_file(const char *path) {
    struct stat st {};
    return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

// A file of the web folder, by a plain path: letters, digits, '.', '-', '_' and '/', and
// no "..". Anything else is not found.
int serve_file(lws *wsi, const char *uri) {
    bool plain = uri[0] == '/' && std::strstr(uri, "..") == nullptr && std::strlen(uri) < 200;
    for (const char *c = uri; plain && *c != '\0'; ++c) {
        plain = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9') || *c == '.' ||
                *c == '-' || *c == '_' || *c == '/';
    }
    char path[1200] = "";
    if (plain && front.config.web_dir != nullptr) {
        std::snprintf(path, sizeof path, "%s%s%s", front.config.web_dir, uri,
                      uri[std::strlen(uri) - 1] == '/' ? "index.html" : "");
    }
    if (path[0] == '\0' || !regular_file(path)) {
        if (lws_return_http_status(wsi, HTTP_STATUS_NOT_FOUND, nullptr) != 0) return -1;
        return lws_http_transaction_completed(wsi) != 0 ? -1 : 0;
    }
    // The large files go compressed when the build made a .gz beside them and the
    // browser takes gzip.
    char accept[256] = "";
    lws_hdr_copy(wsi, accept, sizeof accept, WSI_TOKEN_HTTP_ACCEPT_ENCODING);
    char gz[1210];
    std::snprintf(gz, sizeof gz, "%s.gz", path);
    const bool gzip = std::strstr(accept, "gzip") != nullptr && regular_file(gz);
    static const char gzip_headers[] = "Content-Encoding: gzip\x0d\x0aVary: Accept-Encoding\x0d\x0a";
    static const char plain_headers[] = "Vary: Accept-Encoding\x0d\x0a";
    const int n = lws_serve_http_file(wsi, gzip ? gz : path, content_type(path), gzip ? gzip_headers : plain_headers,
                                      gzip ? sizeof gzip_headers - 1 : sizeof plain_headers - 1);
    if (n < 0 || (n > 0 && lws_http_transaction_completed(wsi) != 0)) return -1;
    return 0;
}

PageConn *conn_of(const Session *s) {
    if (s == nullptr || s->slot < 0 || static_cast<std::size_t>(s->slot) >= front.pages.size()) return nullptr;
    PageConn &c = front.pages[static_cast<std::size_t>(s->slot)];
    return c.wsi != nullptr ? &c : nullptr;
}

// What a page's whole message makes the server do, as a datagram from its address would.
void page_message(PageConn &c, const std::uint8_t *data, std::size_t size) {
    MeetServer &s = *front.server;
    const double now = clock_now();
    if (!server_page_may_send(s, c.address, size, now)) return;
    static ServerOutbox out;
    server_receive(s, c.address, data, size, now, out);
    for (int i = 0; i < out.count; ++i) {
        const ServerSend &send = out.sends[i];
        if (is_page_address(send.to)) {
            web_front_send(send.to, send.data, send.size);
            continue;
        }
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(send.to.ip);
        to.sin_port = htons(send.to.port);
        sendto(web_front_udp_socket, send.data, send.size, MSG_DONTWAIT, reinterpret_cast<sockaddr *>(&to), sizeof to);
    }
}

int callback(lws *wsi, lws_callback_reasons reason, void *user, void *in, std::size_t len) {
    auto *session = static_cast<Session *>(user);
    switch (reason) {
    case LWS_CALLBACK_HTTP:
        return serve_file(wsi, static_cast<const char *>(in));
    case LWS_CALLBACK_HTTP_FILE_COMPLETION:
        return lws_http_transaction_completed(wsi) != 0 ? -1 : 0;
    case LWS_CALLBACK_FILTER_PROTOCOL_CONNECTION: {
        char origin[256], peer[64] = "?";
        peer_ip(wsi, peer, sizeof peer);
        if (!same_origin(wsi, origin, sizeof origin)) {
            refuse_origin(origin, peer);
            return 1;
        }
        return 0;
    }
    case LWS_CALLBACK_ESTABLISHED: {
        char peer[64] = "?";
        const std::uint32_t ip = peer_ip(wsi, peer, sizeof peer);
        const MeetAddress address = ip == 0 ? MeetAddress{} : server_page_open(*front.server, ip, clock_now());
        if (address.ip == 0) {
            log_event("refused a page from %s: %s", peer,
                      ip == 0 ? "no address" : "the server holds all the pages it may, or that address its share");
            return -1;
        }
        session->slot = static_cast<int>(address.ip - 1);
        PageConn &c = front.pages[static_cast<std::size_t>(session->slot)];
        c.wsi = wsi;
        c.address = address;
        c.head = c.count = 0;
        c.in_size = 0;
        c.in_too_large = false;
        char where[32], line[64];
        format_meet_address(address, where, sizeof where);
        std::snprintf(line, sizeof line, "%s, %d pages", where, front.server->live_pages);
        log_event("page connected from %s as %s", peer, line);
        return 0;
    }
    case LWS_CALLBACK_RECEIVE: {
        PageConn *c = conn_of(session);
        if (c == nullptr) return -1;
        // Text or a message over the cap is dropped whole, as an oversized datagram is.
        if (lws_frame_is_binary(wsi) == 0 || c->in_size + len > max_page_message) {
            c->in_too_large = true;
        } else {
            std::memcpy(c->in + c->in_size, in, len);
            c->in_size += len;
        }
        if (lws_is_final_fragment(wsi) != 0 && lws_remaining_packet_payload(wsi) == 0) {
            if (!c->in_too_large && c->in_size > 0) page_message(*c, c->in, c->in_size);
            if (c->in_too_large) front.server->counters.malformed += 1;
            c->in_size = 0;
            c->in_too_large = false;
        }
        return 0;
    }
    case LWS_CALLBACK_SERVER_WRITEABLE: {
        PageConn *c = conn_of(session);
        if (c == nullptr || c->count == 0) return 0;
        Outgoing &o = c->queue[c->head];
        if (lws_write(wsi, o.bytes + LWS_PRE, o.size, LWS_WRITE_BINARY) < static_cast<int>(o.size)) return -1;
        c->head = (c->head + 1) % queue_length;
        c->count -= 1;
        if (c->count > 0) lws_callback_on_writable(wsi);
        return 0;
    }
    case LWS_CALLBACK_CLOSED: {
        PageConn *c = conn_of(session);
        if (c == nullptr) return 0;
        char where[32];
        format_meet_address(c->address, where, sizeof where);
        server_page_closed(*front.server, c->address);
        c->wsi = nullptr;
        session->slot = -1;
        char count[32];
        std::snprintf(count, sizeof count, "%d pages", front.server->live_pages);
        log_event("page %s left, %s", where, count);
        return 0;
    }
    case LWS_CALLBACK_RAW_RX_FILE:
        if (front.on_udp != nullptr) front.on_udp();
        return 0;
    default:
        break;
    }
    return lws_callback_http_dummy(wsi, reason, user, in, len);
}

void each_second(lws_sorted_usec_list_t *sul) {
    if (front.on_second != nullptr) front.on_second();
    lws_sul_schedule(front.context, 0, sul, each_second, LWS_US_PER_SEC);
}

const lws_protocols protocols[] = {
    {"vorbel", callback, sizeof(Session), max_page_message, 0, nullptr, max_page_message},
    {"udp", callback, 0, 0, 0, nullptr, 0},
    {nullptr, nullptr, 0, 0, 0, nullptr, 0},
};

}  // namespace

lws_context *web_front_start(const WebFrontConfig &config, MeetServer &server, int udp, void (*on_udp)(),
                             void (*on_second)()) {
    front.config = config;
    front.server = &server;
    front.on_udp = on_udp;
    front.on_second = on_second;
    front.pages.assign(server.pages.size(), PageConn{});
    web_front_udp_socket = udp;
    lws_set_log_level(LLL_ERR, nullptr);

    lws_context_creation_info info{};
    info.port = config.port;
    info.iface = config.bind;
    info.protocols = protocols;
    info.options = LWS_SERVER_OPTION_DISABLE_IPV6;
    info.count_threads = 1;
    // Idle HTTP connections and half-open handshakes do not keep their memory long.
    info.timeout_secs = 20;
    info.fd_limit_per_thread = static_cast<unsigned int>(64 + 2 * server.pages.size());
    lws_context *context = lws_create_context(&info);
    if (context == nullptr) return nullptr;
    front.context = context;
    lws_sock_file_fd_type fd;
    fd.filefd = udp;
    lws_vhost *vhost = lws_get_vhost_by_name(context, "default");
    if (vhost == nullptr || lws_adopt_descriptor_vhost(vhost, LWS_ADOPT_RAW_FILE_DESC, fd, "udp", nullptr) == nullptr) {
        lws_context_destroy(context);
        return nullptr;
    }
    lws_sul_schedule(context, 0, &front.second, each_second, LWS_US_PER_SEC);
    return context;
}

bool web_front_service(lws_context *context) { return lws_service(context, 0) >= 0; }

void web_front_send(const MeetAddress &to, const std::uint8_t *data, std::size_t size) {
    const int slot = server_page_slot(*front.server, to);
    if (slot < 0 || size > max_page_message) return;
    PageConn &c = front.pages[static_cast<std::size_t>(slot)];
    if (c.wsi == nullptr || c.count == queue_length) {
        front.server->counters.forward_dropped += 1;
        return;
    }
    Outgoing &o = c.queue[(c.head + c.count) % queue_length];
    std::memcpy(o.bytes + LWS_PRE, data, size);
    o.size = size;
    c.count += 1;
    lws_callback_on_writable(c.wsi);
}

void web_front_stop(lws_context *context) {
    lws_sul_cancel(&front.second);
    lws_context_destroy(context);
    front.context = nullptr;
}

void web_front_wake(lws_context *context) { lws_cancel_service(context); }
