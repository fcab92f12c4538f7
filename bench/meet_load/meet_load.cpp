// Load on vorbel-server, on the loopback only and bounded in time: N simulated matches
// relayed through one server process at the game's own datagram rate, then a flood of
// junk and join attempts while one match plays. Prints one table.
//   meet_load <vorbel-server> [--rate R] [--size B] [--seconds S] [--matches 50,100,...]
//             [--flood-only] [--no-flood] [--pin]
// R: datagrams a second each game sends (both directions together are 2R per match);
// B: their size in bytes. Every game has its own 127.x.y.z address, as on the Internet.
// --pin keeps the server on core 0 and the games on core 1 (on a machine of its own).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>
#include <chrono>
#include <thread>

#include "meet/meet_wire.h"

namespace {

std::int64_t now_ns() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return std::int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
}

struct Options {
    const char *server = nullptr;
    double rate = 65.0;
    int size = 94;
    double seconds = 4.0;
    std::vector<int> matches{50, 100, 250, 500, 1000, 1500};
    bool load = true, flood = true;
};

sockaddr_in address_of(std::uint32_t ip, std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(ip);
    a.sin_port = htons(port);
    return a;
}

int bound_socket(std::uint32_t ip) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    int big = 1 << 20;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    sockaddr_in a = address_of(ip, 0);
    if (bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool pinning = false;  // --pin

// Keeps the calling thread (and what it starts) on one core, where there are two.
void pin_to(int cpu) {
    if (!pinning || sysconf(_SC_NPROCESSORS_ONLN) < 2) return;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    sched_setaffinity(0, sizeof set, &set);
}

struct Server {
    pid_t pid = -1;
    std::uint16_t port = 0;
};

Server start_server(const char *path, std::uint16_t port, int max_rooms) {
    Server s;
    s.port = port;
    s.pid = fork();
    if (s.pid == 0) {
        pin_to(0);  // one core for the server, the other for the games
        const int log = open("/dev/null", O_WRONLY);
        dup2(log, 1);
        const std::string p = std::to_string(port), r = std::to_string(max_rooms);
        execl(path, path, "--port", p.c_str(), "--max-rooms", r.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    usleep(200000);
    return s;
}

void stop_server(Server &s) {
    if (s.pid > 0) {
        kill(s.pid, SIGTERM);
        waitpid(s.pid, nullptr, 0);
    }
    s.pid = -1;
}

// The server's CPU time so far, in seconds.
double cpu_seconds(pid_t pid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
    FILE *f = std::fopen(path, "r");
    if (f == nullptr) return 0.0;
    char buf[1024];
    const size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    buf[n] = '\0';
    const char *p = std::strrchr(buf, ')');
    unsigned long utime = 0, stime = 0;
    if (p != nullptr) std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime);
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// This process's CPU time so far (the games' side), in seconds.
double own_cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Resident and peak memory of the server, in KiB.
void memory_kib(pid_t pid, long &rss, long &peak) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/status", static_cast<int>(pid));
    FILE *f = std::fopen(path, "r");
    rss = peak = 0;
    if (f == nullptr) return;
    char line[256];
    while (std::fgets(line, sizeof line, f) != nullptr) {
        std::sscanf(line, "VmRSS: %ld", &rss);
        std::sscanf(line, "VmHWM: %ld", &peak);
    }
    std::fclose(f);
}

bool send_meet(int fd, std::uint16_t server_port, const MeetMessage &m) {
    std::uint8_t bytes[max_meet_bytes];
    const std::size_t n = encode_meet(m, bytes, sizeof bytes);
    sockaddr_in to = address_of(0x7f000001u, server_port);
    return sendto(fd, bytes, n, 0, reinterpret_cast<sockaddr *>(&to), sizeof to) == static_cast<ssize_t>(n);
}

// Waits up to a second for a meeting datagram on fd.
bool take_meet(int fd, MeetMessage &m) {
    const std::int64_t until = now_ns() + 1000000000;
    std::uint8_t bytes[2048];
    while (now_ns() < until) {
        const ssize_t n = recv(fd, bytes, sizeof bytes, 0);
        if (n > 0 && decode_meet(bytes, static_cast<std::size_t>(n), m)) return true;
        if (n < 0) usleep(50);
    }
    return false;
}

// Asks, answers the challenge, asks again: the reply after the token.
bool ask(int fd, std::uint16_t port, MeetMessage m, MeetMessage &reply, std::uint64_t &token) {
    m.token = token;
    if (!send_meet(fd, port, m) || !take_meet(fd, reply)) return false;
    if (reply.type != MeetType::challenge) return true;
    token = reply.token;
    m.token = token;
    return send_meet(fd, port, m) && take_meet(fd, reply);
}

struct Match {
    int host = -1, joiner = -1;
    std::uint64_t host_token = 0, joiner_token = 0;
    char code[room_code_length + 1] = {};
};

// A room, a joiner and the relay, as two games would do it.
bool meet(Match &m, std::uint16_t port) {
    MeetMessage q, r;
    q.type = MeetType::host;
    if (!ask(m.host, port, q, r, m.host_token) || r.type != MeetType::room) return false;
    std::memcpy(m.code, r.code, sizeof m.code);
    q = MeetMessage{};
    q.type = MeetType::join;
    std::memcpy(q.code, m.code, sizeof q.code);
    if (!ask(m.joiner, port, q, r, m.joiner_token) || r.type != MeetType::introduce) return false;
    MeetMessage intro;
    if (!take_meet(m.host, intro) || intro.type != MeetType::introduce) return false;
    q = MeetMessage{};
    q.type = MeetType::relay;
    std::memcpy(q.code, m.code, sizeof q.code);
    q.token = m.joiner_token;
    if (!send_meet(m.joiner, port, q) || !take_meet(m.joiner, r) || r.type != MeetType::relaying) return false;
    return take_meet(m.host, r) && r.type == MeetType::relaying;
}

struct Traffic {
    std::uint64_t sent = 0, received = 0;
    std::vector<std::int64_t> delays_ns;
};

// Every game sends `rate` datagrams a second of `size` bytes, staggered evenly, to
// `to` (the server, or the other game directly); what arrives is timed.
void run_traffic(std::vector<Match> &matches, const sockaddr_in *server, double rate, int size, double warmup,
                 double seconds, Traffic &t, void (*extra)(std::int64_t now, void *) = nullptr,
                 void *extra_arg = nullptr) {
    const int ep = epoll_create1(0);
    const std::size_t sides = matches.size() * 2;
    std::vector<int> fds(sides);
    std::vector<sockaddr_in> peers(sides);
    for (std::size_t i = 0; i < matches.size(); ++i) {
        fds[2 * i] = matches[i].host;
        fds[2 * i + 1] = matches[i].joiner;
        for (int k = 0; k < 2; ++k) {
            const int fd = fds[2 * i + k];
            epoll_event e{};
            e.events = EPOLLIN;
            e.data.fd = fd;
            epoll_ctl(ep, EPOLL_CTL_ADD, fd, &e);
            if (server != nullptr) {
                peers[2 * i + k] = *server;
            } else {
                const int other = k == 0 ? matches[i].joiner : matches[i].host;
                sockaddr_in a{};
                socklen_t n = sizeof a;
                getsockname(other, reinterpret_cast<sockaddr *>(&a), &n);
                peers[2 * i + k] = a;
            }
        }
    }
    std::vector<std::uint8_t> payload(static_cast<std::size_t>(std::max(size, 16)), 0x5a);
    payload[0] = 0x00;  // never the meeting's magic
    const std::int64_t start = now_ns();
    const std::int64_t measure_from = start + static_cast<std::int64_t>(warmup * 1e9);
    const std::int64_t end = measure_from + static_cast<std::int64_t>(seconds * 1e9);
    const double interval_ns = 1e9 / (rate * static_cast<double>(sides));
    std::uint64_t g = 0;
    std::uint8_t buf[2048];
    epoll_event events[256];
    for (;;) {
        std::int64_t now = now_ns();
        if (now >= end) break;
        while (start + static_cast<std::int64_t>(static_cast<double>(g) * interval_ns) <= now) {
            const std::size_t side = g % sides;
            std::memcpy(payload.data() + 8, &now, 8);
            sendto(fds[side], payload.data(), payload.size(), 0, reinterpret_cast<sockaddr *>(&peers[side]),
                   sizeof peers[side]);
            if (now >= measure_from) t.sent += 1;
            ++g;
        }
        if (extra != nullptr) extra(now, extra_arg);
        const std::int64_t next = start + static_cast<std::int64_t>(static_cast<double>(g) * interval_ns);
        const std::int64_t wait = std::max<std::int64_t>(0, next - now_ns());
        timespec ts{static_cast<time_t>(wait / 1000000000), static_cast<long>(wait % 1000000000)};
        const int n = epoll_pwait2(ep, events, 256, &ts, nullptr);
        // One datagram per ready socket and round (epoll reports it again while more
        // wait): no second call that only finds the socket empty.
        for (int i = 0; i < n; ++i) {
            const ssize_t got = recv(events[i].data.fd, buf, sizeof buf, 0);
            if (got < 16 || buf[0] != 0x00) continue;
            std::int64_t sent_at = 0;
            std::memcpy(&sent_at, buf + 8, 8);
            const std::int64_t arrived = now_ns();
            if (sent_at >= measure_from) {
                t.received += 1;
                t.delays_ns.push_back(arrived - sent_at);
            }
        }
    }
    close(ep);
}

double percentile_ms(std::vector<std::int64_t> &v, double p) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    return static_cast<double>(v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))]) /
           1e6;
}

std::vector<Match> make_matches(int n, int batch) {
    std::vector<Match> m(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        // Hosts on 127.<1+batch*2>.x.y, joiners on the next /16: one address per game.
        const std::uint32_t low = static_cast<std::uint32_t>(i + 1);
        m[i].host = bound_socket(0x7f000000u | ((1u + 2u * batch) << 16) | low);
        m[i].joiner = bound_socket(0x7f000000u | ((2u + 2u * batch) << 16) | low);
    }
    return m;
}

void close_matches(std::vector<Match> &m) {
    for (Match &x : m) {
        close(x.host);
        close(x.joiner);
    }
    m.clear();
}

int meet_all(std::vector<Match> &m, std::uint16_t port) {
    int met = 0;
    for (Match &x : m) met += meet(x, port) ? 1 : 0;
    return met;
}

// ---------------------------------------------------------------- the flood
struct Flood {
    std::uint16_t port = 0;
    std::vector<int> junk, joins;
    std::vector<std::uint64_t> tokens;
    std::mt19937_64 rng{7};
    double per_second = 10000.0;
    std::int64_t start = 0, end = 0;
    std::uint64_t junk_sent = 0, joins_sent = 0, junk_bytes_sent = 0;
};

void flood_step(std::int64_t now, void *arg) {
    Flood &f = *static_cast<Flood *>(arg);
    if (now < f.start || now >= f.end) return;
    const double elapsed = static_cast<double>(now - f.start) / 1e9;
    const auto due = static_cast<std::uint64_t>(elapsed * f.per_second);
    sockaddr_in to = address_of(0x7f000001u, f.port);
    std::uint8_t bytes[256];
    while (f.junk_sent < due) {
        const std::size_t n = 1 + f.rng() % 200;
        for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(f.rng());
        if (f.junk_sent % 2 == 0 && n >= 4) std::memcpy(bytes, meet_magic, 4);  // half reach the parser
        sendto(f.junk[f.junk_sent % f.junk.size()], bytes, n, 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
        f.junk_sent += 1;
        f.junk_bytes_sent += n;
    }
    while (f.joins_sent < due) {
        const std::size_t k = f.joins_sent % f.joins.size();
        MeetMessage m;
        m.type = MeetType::join;
        m.token = f.tokens[k];
        std::uint64_t x = f.rng();
        for (int i = 0; i < room_code_length; ++i, x /= room_code_letters)
            m.code[i] = room_code_alphabet[x % room_code_letters];
        const std::size_t n = encode_meet(m, bytes, sizeof bytes);
        sendto(f.joins[k], bytes, n, 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
        f.joins_sent += 1;
    }
}

// What came back to the flooding addresses: bytes, and the join answers by kind.
void drain_flood(Flood &f, std::uint64_t &junk_bytes_back, std::uint64_t &no_room, std::uint64_t &slow_down,
                 std::uint64_t &introduced) {
    std::uint8_t buf[2048];
    for (int fd : f.junk) {
        for (ssize_t n; (n = recv(fd, buf, sizeof buf, 0)) > 0;) junk_bytes_back += static_cast<std::uint64_t>(n);
    }
    for (int fd : f.joins) {
        MeetMessage m;
        for (ssize_t n; (n = recv(fd, buf, sizeof buf, 0)) > 0;) {
            if (!decode_meet(buf, static_cast<std::size_t>(n), m)) continue;
            no_room += m.type == MeetType::no_room ? 1 : 0;
            slow_down += m.type == MeetType::slow_down ? 1 : 0;
            introduced += m.type == MeetType::introduce ? 1 : 0;
        }
    }
}

void run_flood(const Options &o) {
    Server server = start_server(o.server, 24990, 1024);
    std::vector<Match> match = make_matches(1, 40);
    if (meet_all(match, server.port) != 1) {
        std::printf("flood: the match did not meet\n");
        stop_server(server);
        return;
    }
    Flood f;
    f.port = server.port;
    for (int i = 0; i < 256; ++i) {
        f.junk.push_back(bound_socket(0x7f500000u | static_cast<std::uint32_t>(i + 1)));
        const int fd = bound_socket(0x7f510000u | static_cast<std::uint32_t>(i + 1));
        f.joins.push_back(fd);
        // Each flooding address proves itself first, so its joins count against its limit.
        MeetMessage q, r;
        q.type = MeetType::join;
        std::memcpy(q.code, "AAAAAA", 7);
        std::uint64_t token = 0;
        ask(fd, server.port, q, r, token);
        f.tokens.push_back(token);
    }
    std::uint64_t back = 0, no_room = 0, slow = 0, intro = 0;
    drain_flood(f, back, no_room, slow, intro);
    back = no_room = slow = intro = 0;
    long rss0, peak0, rss1, peak1, rss2, peak2;
    memory_kib(server.pid, rss0, peak0);

    Traffic before, during, after;
    const sockaddr_in to = address_of(0x7f000001u, server.port);
    run_traffic(match, &to, o.rate, o.size, 0.5, 2.0, before);
    const double cpu0 = cpu_seconds(server.pid);
    f.start = now_ns();
    f.end = f.start + 10'000'000'000;
    // The flood comes from a thread of its own, as from another machine: the match's
    // timing measures the server, not the flooder.
    std::thread flooder([&f] {
        for (std::int64_t now = now_ns(); now < f.end; now = now_ns()) {
            flood_step(now, &f);
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    });
    run_traffic(match, &to, o.rate, o.size, 0.0, 10.0, during);
    flooder.join();
    const double cpu1 = cpu_seconds(server.pid);
    memory_kib(server.pid, rss1, peak1);
    drain_flood(f, back, no_room, slow, intro);
    // A new pair of games meets right after, while the server still has the flood's state.
    std::vector<Match> fresh = make_matches(1, 41);
    const std::int64_t t0 = now_ns();
    const bool met = meet_all(fresh, server.port) == 1;
    const double meet_ms = static_cast<double>(now_ns() - t0) / 1e6;
    run_traffic(match, &to, o.rate, o.size, 0.2, 2.0, after);
    memory_kib(server.pid, rss2, peak2);

    std::printf(
        "\nflood: junk and join attempts, each %.0f a second for 10 s (%llu junk from 256 addresses, %llu joins "
        "from 256 proven addresses)\n",
        f.per_second, static_cast<unsigned long long>(f.junk_sent), static_cast<unsigned long long>(f.joins_sent));
    std::printf("  server CPU during the flood: %.0f %% of one core\n", (cpu1 - cpu0) / 10.0 * 100.0);
    std::printf("  server memory: %ld KiB before, %ld KiB after (peak %ld KiB); %ld KiB after a new meeting\n", rss0,
                rss1, peak1, rss2);
    std::printf("  bytes back to the junk's addresses: %llu for %llu sent (%.3f)\n",
                static_cast<unsigned long long>(back), static_cast<unsigned long long>(f.junk_bytes_sent),
                f.junk_bytes_sent > 0 ? static_cast<double>(back) / static_cast<double>(f.junk_bytes_sent) : 0.0);
    std::printf("  join attempts answered: %llu no such room, %llu slow down, %llu introductions\n",
                static_cast<unsigned long long>(no_room), static_cast<unsigned long long>(slow),
                static_cast<unsigned long long>(intro));
    auto row = [](const char *when, Traffic &t) {
        std::printf("  the match %-7s: %llu of %llu datagrams arrived, delay p50 %.3f ms, p99 %.3f ms\n", when,
                    static_cast<unsigned long long>(t.received), static_cast<unsigned long long>(t.sent),
                    percentile_ms(t.delays_ns, 0.5), percentile_ms(t.delays_ns, 0.99));
    };
    row("before", before);
    row("during", during);
    row("after", after);
    std::printf("  a new host and joiner met and got the relay after the flood in %.1f ms (%s)\n", meet_ms,
                met ? "ok" : "FAILED");
    close_matches(match);
    close_matches(fresh);
    for (int fd : f.junk) close(fd);
    for (int fd : f.joins) close(fd);
    stop_server(server);
}

}  // namespace

int main(int argc, char **argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--rate" && i + 1 < argc) {
            o.rate = std::atof(argv[++i]);
        } else if (a == "--size" && i + 1 < argc) {
            o.size = std::atoi(argv[++i]);
        } else if (a == "--seconds" && i + 1 < argc) {
            o.seconds = std::atof(argv[++i]);
        } else if (a == "--matches" && i + 1 < argc) {
            o.matches.clear();
            for (const char *p = argv[++i]; *p != '\0';) {
                o.matches.push_back(std::atoi(p));
                while (*p != '\0' && *p != ',') ++p;
                if (*p == ',') ++p;
            }
        } else if (a == "--flood-only") {
            o.load = false;
        } else if (a == "--pin") {
            pinning = true;
        } else if (a == "--no-flood") {
            o.flood = false;
        } else if (o.server == nullptr && a[0] != '-') {
            o.server = argv[i];
        } else {
            std::fprintf(stderr, "meet_load: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    if (o.server == nullptr) {
        std::fprintf(stderr,
                     "usage: meet_load <vorbel-server> [--rate R] [--size B] [--seconds S] [--matches N,...]\n");
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    pin_to(1);
    if (o.load) {
        std::printf("each game sends %.0f datagrams a second of %d bytes; %.0f s measured per row\n", o.rate, o.size,
                    o.seconds);
        // server, games: each side's CPU as a share of one core; CPU/1000 dg: the server's
        // CPU per thousand datagrams forwarded; direct: the same traffic game to game.
        std::printf("%8s %12s %10s %9s %9s %14s %11s %11s %11s %11s\n", "matches", "forwarded/s", "lost", "server",
                    "games", "CPU/1000 dg", "p50 ms", "p99 ms", "direct p50", "direct p99");
        int batch = 0;
        for (int n : o.matches) {
            Server server = start_server(o.server, static_cast<std::uint16_t>(24900 + batch), n + 16);
            std::vector<Match> m = make_matches(n, batch % 16);
            const int met = meet_all(m, server.port);
            if (met != n) std::printf("(only %d of %d matches met)\n", met, n);
            const sockaddr_in to = address_of(0x7f000001u, server.port);
            Traffic relayed, direct;
            const double cpu0 = cpu_seconds(server.pid);
            const double own0 = own_cpu_seconds();
            run_traffic(m, &to, o.rate, o.size, 0.5, o.seconds, relayed);
            const double cpu1 = cpu_seconds(server.pid);
            const double own = (own_cpu_seconds() - own0) / (o.seconds + 0.5);
            const double cpu = (cpu1 - cpu0) * o.seconds / (o.seconds + 0.5);
            run_traffic(m, nullptr, o.rate, o.size, 0.5, std::min(2.0, o.seconds), direct);
            const double forwarded = static_cast<double>(relayed.received) / o.seconds;
            std::printf("%8d %12.0f %9.2f%% %8.0f%% %8.0f%% %11.3f ms %11.3f %11.3f %11.3f %11.3f\n", n, forwarded,
                        relayed.sent > 0
                            ? 100.0 * (1.0 - static_cast<double>(relayed.received) / static_cast<double>(relayed.sent))
                            : 0.0,
                        100.0 * cpu / o.seconds, 100.0 * own,
                        forwarded > 0 ? cpu * 1000.0 / (forwarded * o.seconds) * 1000.0 : 0.0,
                        percentile_ms(relayed.delays_ns, 0.5), percentile_ms(relayed.delays_ns, 0.99),
                        percentile_ms(direct.delays_ns, 0.5), percentile_ms(direct.delays_ns, 0.99));
            std::fflush(stdout);
            close_matches(m);
            stop_server(server);
            ++batch;
        }
    }
    if (o.flood) run_flood(o);
    return 0;
}
