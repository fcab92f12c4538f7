// vorbel-server: where two games meet over the Internet. A hosting game gets a room
// code, a joining game sends it and both learn each other's addresses to punch through
// their routers; when that fails the server relays between the two. One UDP socket,
// and on the same TCP port the page (--web) and pages' WebSockets, which the server
// carries as it carries datagrams.
#include <arpa/inet.h>
#include <enet/enet.h>
#include <netinet/in.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "meet_server.h"
#include "web_front.h"

namespace {

volatile std::sig_atomic_t stopping = 0;

void on_signal(int) { stopping = 1; }

const char *usage =
    "usage: vorbel-server [--port N] [--max-rooms N] [--max-pages N] [--bind ADDRESS] [--web DIR] [--help]\n"
    "  --port N        the UDP port games meet on, and the TCP port of pages (default 24872)\n"
    "  --max-rooms N   rooms held at once (default 1024)\n"
    "  --max-pages N   browser pages connected at once (default 256; 8 from one address)\n"
    "  --bind ADDRESS  listen on this IPv4 address only (default: every interface)\n"
    "  --web DIR       serve the browser build in DIR (index.html, vorbel.wasm, ...) over HTTP";

void log_line(const char *line) {
    char when[32];
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&t, &tm);
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &tm);
    std::printf("%s %s\n", when, line);
    std::fflush(stdout);
}

double clock_now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

bool number(const char *text, long low, long high, long &out) {
    char *end = nullptr;
    out = std::strtol(text, &end, 10);
    return *text != '\0' && *end == '\0' && out >= low && out <= high;
}

struct Options {
    long port = meet_default_port;
    long max_rooms = 1024;
    long max_pages = 256;
    const char *bind = nullptr;
    const char *web = nullptr;
};

bool named(const char *arg, const char *name) {
    const std::size_t n = std::strlen(name);
    return std::strncmp(arg, name, n) == 0 && (arg[n] == '\0' || arg[n] == '=');
}

// 0 run, 1 help, 2 bad (with the reason printed)
int parse(int argc, char **argv, Options &o) {
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) return 1;
        const char *option = nullptr;
        for (const char *name : {"--port", "--max-rooms", "--max-pages", "--bind", "--web"}) {
            if (named(arg, name)) option = name;
        }
        if (option == nullptr) {
            std::fprintf(stderr, "vorbel-server: unknown option %s\n%s\n", arg, usage);
            return 2;
        }
        const char *eq = std::strchr(arg, '=');
        const char *value = eq != nullptr ? eq + 1 : (i + 1 < argc ? argv[++i] : "");
        const char *why = nullptr;
        in_addr bind_to{};
        if (std::strcmp(option, "--port") == 0) {
            if (!number(value, 1, 65535, o.port)) why = "--port takes a number from 1 to 65535";
        } else if (std::strcmp(option, "--max-rooms") == 0) {
            if (!number(value, 1, 1000000, o.max_rooms)) why = "--max-rooms takes a number from 1 to 1000000";
        } else if (std::strcmp(option, "--max-pages") == 0) {
            if (!number(value, 1, 65536, o.max_pages)) why = "--max-pages takes a number from 1 to 65536";
        } else if (std::strcmp(option, "--bind") == 0) {
            o.bind = value;
            if (inet_pton(AF_INET, value, &bind_to) != 1) why = "--bind takes an IPv4 address, as 127.0.0.1";
        } else {
            o.web = value;
            struct stat st {};
            if (value[0] == '\0' || stat(value, &st) != 0 || !S_ISDIR(st.st_mode)) why = "--web takes a folder";
        }
        if (why != nullptr) {
            std::fprintf(stderr, "vorbel-server: %s\n%s\n", why, usage);
            return 2;
        }
    }
    return 0;
}

// A batch of datagrams in, and what they make the server send out, each with one
// system call: the cost of a relay is in the kernel's calls, not in its rules. False
// when nothing was waiting.
bool serve_batch(ENetSocket sock, MeetServer &server, double now) {
    constexpr int batch = 64;
    static std::uint8_t in[batch][ENET_PROTOCOL_MAXIMUM_MTU];
    static sockaddr_in from[batch];
    static iovec in_iov[batch];
    static mmsghdr in_msgs[batch];
    static std::uint8_t replies[batch][max_sends_per_datagram][max_meet_bytes];
    static sockaddr_in to[batch * max_sends_per_datagram];
    static iovec out_iov[batch * max_sends_per_datagram];
    static mmsghdr out_msgs[batch * max_sends_per_datagram];
    static ServerOutbox out;
    for (int i = 0; i < batch; ++i) {
        in_iov[i] = iovec{in[i], sizeof in[i]};
        in_msgs[i] = mmsghdr{};
        in_msgs[i].msg_hdr.msg_name = &from[i];
        in_msgs[i].msg_hdr.msg_namelen = sizeof from[i];
        in_msgs[i].msg_hdr.msg_iov = &in_iov[i];
        in_msgs[i].msg_hdr.msg_iovlen = 1;
    }
    const int got = recvmmsg(sock, in_msgs, batch, MSG_DONTWAIT, nullptr);
    if (got <= 0) return false;
    int sends = 0;
    for (int i = 0; i < got; ++i) {
        if ((in_msgs[i].msg_hdr.msg_flags & MSG_TRUNC) != 0 || from[i].sin_family != AF_INET) continue;
        const MeetAddress source{ntohl(from[i].sin_addr.s_addr), ntohs(from[i].sin_port)};
        // Pages' addresses are the server's own: a datagram claiming one is forged.
        if (is_page_address(source)) continue;
        server_receive(server, source, in[i], in_msgs[i].msg_len, now, out);
        for (int j = 0; j < out.count; ++j) {
            const ServerSend &send = out.sends[j];
            if (is_page_address(send.to)) {
                web_front_send(send.to, send.data, send.size);
                continue;
            }
            const std::uint8_t *data = send.data;
            // A reply lives in the outbox until the next datagram: keep a copy.
            if (data != in[i]) {
                std::memcpy(replies[i][j], send.data, send.size);
                data = replies[i][j];
            }
            to[sends] = sockaddr_in{};
            to[sends].sin_family = AF_INET;
            to[sends].sin_addr.s_addr = htonl(send.to.ip);
            to[sends].sin_port = htons(send.to.port);
            out_iov[sends] = iovec{const_cast<std::uint8_t *>(data), send.size};
            out_msgs[sends] = mmsghdr{};
            out_msgs[sends].msg_hdr.msg_name = &to[sends];
            out_msgs[sends].msg_hdr.msg_namelen = sizeof to[sends];
            out_msgs[sends].msg_hdr.msg_iov = &out_iov[sends];
            out_msgs[sends].msg_hdr.msg_iovlen = 1;
            sends += 1;
        }
    }
    for (int done = 0; done < sends;) {
        const int n = sendmmsg(sock, out_msgs + done, static_cast<unsigned>(sends - done), MSG_DONTWAIT);
        if (n <= 0) break;  // a full send buffer drops the rest, as UDP may
        done += n;
    }
    return got == batch;
}

ENetSocket udp = ENET_SOCKET_NULL;
MeetServer server;

void serve_udp() {
    const double now = clock_now();
    // Everything waiting, in batches, then back to the loop: a flood cannot starve the
    // pages or the sweep.
    for (int n = 0; n < 64; ++n) {
        if (!serve_batch(udp, server, now)) break;
    }
}

void sweep() { server_sweep(server, clock_now()); }

lws_context *web = nullptr;

}  // namespace

int main(int argc, char **argv) {
    Options o;
    const int parsed = parse(argc, argv, o);
    if (parsed == 1) {
        std::printf("%s\n", usage);
        return 0;
    }
    if (parsed == 2) return 2;

    if (enet_initialize() != 0) {
        std::fprintf(stderr, "vorbel-server: the network layer did not start\n");
        return 1;
    }
    udp = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
    ENetAddress bind_to{};
    bind_to.host = ENET_HOST_ANY;
    if (o.bind != nullptr) enet_address_set_host_ip(&bind_to, o.bind);
    bind_to.port = static_cast<enet_uint16>(o.port);
    if (udp == ENET_SOCKET_NULL || enet_socket_bind(udp, &bind_to) != 0) {
        std::fprintf(stderr, "vorbel-server: cannot listen on UDP port %ld (in use?)\n", o.port);
        return 1;
    }
    enet_socket_set_option(udp, ENET_SOCKOPT_NONBLOCK, 1);
    enet_socket_set_option(udp, ENET_SOCKOPT_RCVBUF, 4 * 1024 * 1024);
    enet_socket_set_option(udp, ENET_SOCKOPT_SNDBUF, 4 * 1024 * 1024);

    ServerConfig config;
    config.max_rooms = static_cast<int>(o.max_rooms);
    config.max_pages = static_cast<int>(o.max_pages);
    std::uint64_t random[3] = {};
    if (getrandom(random, sizeof random, 0) != sizeof random) {
        std::fprintf(stderr, "vorbel-server: no random numbers from the system\n");
        return 1;
    }
    config.secret[0] = random[0];
    config.secret[1] = random[1];
    config.code_seed = random[2];
    server.log = log_line;
    server_start(server, config);

    WebFrontConfig front;
    front.port = static_cast<int>(o.port);
    front.bind = o.bind;
    front.web_dir = o.web;
    web = web_front_start(front, server, udp, serve_udp, sweep);
    if (web == nullptr) {
        std::fprintf(stderr, "vorbel-server: cannot listen on TCP port %ld (in use?)\n", o.port);
        return 1;
    }

    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    char line[400];
    std::snprintf(line, sizeof line,
                  "listening on UDP port %ld and TCP port %ld%s%s, at most %ld rooms and %ld pages%s%s", o.port, o.port,
                  o.bind != nullptr ? " of " : "", o.bind != nullptr ? o.bind : "", o.max_rooms, o.max_pages,
                  o.web != nullptr ? "; serving the page from " : "", o.web != nullptr ? o.web : "");
    log_line(line);

    while (stopping == 0) {
        if (!web_front_service(web)) break;
    }
    std::snprintf(line, sizeof line, "stopping: %d rooms live, %d pages, %llu datagrams forwarded", server.live_rooms,
                  server.live_pages, static_cast<unsigned long long>(server.counters.forwarded));
    log_line(line);
    web_front_stop(web);
    enet_socket_destroy(udp);
    enet_deinitialize();
    return 0;
}
