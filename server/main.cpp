// vorbel-server: where two games meet over the Internet. A hosting game gets a room
// code, a joining game sends it and both learn each other's addresses to punch through
// their routers; when that fails the server relays between the two. One UDP socket.
#include <enet/enet.h>
#include <sys/random.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "meet_server.h"

namespace {

volatile std::sig_atomic_t stopping = 0;

void on_signal(int) { stopping = 1; }

const char *usage = "usage: vorbel-server [--port N] [--max-rooms N] [--help]";

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
};

// 0 run, 1 help, 2 bad (with the reason printed)
int parse(int argc, char **argv, Options &o) {
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) return 1;
        const bool port = std::strncmp(arg, "--port", 6) == 0 && (arg[6] == '\0' || arg[6] == '=');
        const bool rooms = std::strncmp(arg, "--max-rooms", 11) == 0 && (arg[11] == '\0' || arg[11] == '=');
        if (!port && !rooms) {
            std::fprintf(stderr, "vorbel-server: unknown option %s\n%s\n", arg, usage);
            return 2;
        }
        const char *eq = std::strchr(arg, '=');
        const char *value = eq != nullptr ? eq + 1 : (i + 1 < argc ? argv[++i] : "");
        const bool ok = port ? number(value, 1, 65535, o.port) : number(value, 1, 1000000, o.max_rooms);
        if (!ok) {
            std::fprintf(
                stderr, "vorbel-server: %s\n%s\n",
                port ? "--port takes a number from 1 to 65535" : "--max-rooms takes a number from 1 to 1000000", usage);
            return 2;
        }
    }
    return 0;
}

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
    ENetSocket sock = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
    ENetAddress bind_to{};
    bind_to.host = ENET_HOST_ANY;
    bind_to.port = static_cast<enet_uint16>(o.port);
    if (sock == ENET_SOCKET_NULL || enet_socket_bind(sock, &bind_to) != 0) {
        std::fprintf(stderr, "vorbel-server: cannot listen on UDP port %ld (in use?)\n", o.port);
        return 1;
    }
    enet_socket_set_option(sock, ENET_SOCKOPT_NONBLOCK, 1);
    enet_socket_set_option(sock, ENET_SOCKOPT_RCVBUF, 4 * 1024 * 1024);
    enet_socket_set_option(sock, ENET_SOCKOPT_SNDBUF, 4 * 1024 * 1024);

    ServerConfig config;
    config.max_rooms = static_cast<int>(o.max_rooms);
    std::uint64_t random[3] = {};
    if (getrandom(random, sizeof random, 0) != sizeof random) {
        std::fprintf(stderr, "vorbel-server: no random numbers from the system\n");
        return 1;
    }
    config.secret[0] = random[0];
    config.secret[1] = random[1];
    config.code_seed = random[2];
    static MeetServer server;
    server.log = log_line;
    server_start(server, config);

    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    char line[96];
    std::snprintf(line, sizeof line, "listening on UDP port %ld, at most %ld rooms", o.port, o.max_rooms);
    log_line(line);

    static std::uint8_t datagram[ENET_PROTOCOL_MAXIMUM_MTU];
    static ServerOutbox out;
    double next_sweep = clock_now() + 1.0;
    while (stopping == 0) {
        enet_uint32 wait = ENET_SOCKET_WAIT_RECEIVE | ENET_SOCKET_WAIT_INTERRUPT;
        if (enet_socket_wait(sock, &wait, 250) != 0) break;
        const double now = clock_now();
        // Everything waiting, then a look at the clock: a flood cannot starve the sweep.
        for (int n = 0; n < 4096; ++n) {
            ENetAddress from{};
            ENetBuffer buffer{datagram, sizeof datagram};
            const int got = enet_socket_receive(sock, &from, &buffer, 1);
            if (got <= 0) break;
            const MeetAddress source{ENET_NET_TO_HOST_32(from.host), from.port};
            server_receive(server, source, datagram, static_cast<std::size_t>(got), now, out);
            for (int i = 0; i < out.count; ++i) {
                ENetAddress to{};
                to.host = ENET_HOST_TO_NET_32(out.sends[i].to.ip);
                to.port = out.sends[i].to.port;
                ENetBuffer b{const_cast<std::uint8_t *>(out.sends[i].data), out.sends[i].size};
                enet_socket_send(sock, &to, &b, 1);
            }
        }
        if (now >= next_sweep) {
            server_sweep(server, now);
            next_sweep = now + 1.0;
        }
    }
    std::snprintf(line, sizeof line, "stopping: %d rooms live, %llu datagrams forwarded", server.live_rooms,
                  static_cast<unsigned long long>(server.counters.forwarded));
    log_line(line);
    enet_socket_destroy(sock);
    enet_deinitialize();
    return 0;
}
