#include "net/beacon.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "net/protocol.h"

namespace {

// Read per update at most, so a flood costs the frame little: the rest waits in the
// socket (and overflows there). At a real game's rate the first datagram is the last.
constexpr int datagrams_per_update = 512;
constexpr double seconds_per_update = 0.001;
// Per sender: beacons a second that are looked at; the rest of a burst is dropped
// after a glance at the sender's memory.
constexpr int beacons_per_second = 4;
// A beacon this soon after the sender's last one is a burst, not a beat; one this late
// starts the count of beats again.
constexpr double beat_min = 0.6;
constexpr double beat_max = 2.5;
// A sender heard once keeps its memory this long against newcomers that hash alike:
// long enough for its next beacon.
constexpr double once_kept = 1.5;

void close_fd(int &fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

// This machine's name as a player sees it: printable, at most 32 characters.
void machine_name(char (&out)[max_beacon_name + 1]) {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') std::snprintf(host, sizeof host, "vorbel");
    std::size_t n = 0;
    for (const char *c = host; *c != '\0' && *c != '.' && n < max_beacon_name; ++c) {
        out[n++] = (*c >= 0x20 && *c <= 0x7e) ? *c : '?';
    }
    out[n] = '\0';
}

}  // namespace

BeaconConfig beacon_config_from_env() {
    BeaconConfig c;
    if (const char *a = std::getenv("VORBEL_BEACON_ADDRESS"); a != nullptr && a[0] != '\0') {
        if (std::strcmp(a, "off") == 0) {
            c.enabled = false;
        } else {
            std::snprintf(c.address, sizeof c.address, "%s", a);
        }
    }
    if (const char *p = std::getenv("VORBEL_BEACON_PORT"); p != nullptr) {
        char *end = nullptr;
        const long n = std::strtol(p, &end, 10);
        if (*p != '\0' && *end == '\0' && n >= 1 && n <= 65535) c.port = static_cast<std::uint16_t>(n);
    }
    return c;
}

bool beacon_sender_open(BeaconSender &s, const BeaconConfig &config, std::uint16_t game_port) {
    beacon_sender_close(s);
    in_addr to{};
    if (!config.enabled || inet_pton(AF_INET, config.address, &to) != 1) return false;
    Beacon b;
    machine_name(b.name);
    b.protocol = protocol_version;
    b.rules = rules_version;
    b.port = game_port;
    s.size = encode_beacon(b, s.bytes, sizeof s.bytes);
    if (s.size == 0) return false;
    s.fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s.fd < 0) return false;
    const int on = 1;
    setsockopt(s.fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    s.to_host = to.s_addr;
    s.to_port = htons(config.port);
    s.last_sent = -1e9;
    return true;
}

void beacon_sender_update(BeaconSender &s, double now) {
    if (s.fd < 0 || now - s.last_sent < beacon_interval) return;
    s.last_sent = now;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = s.to_host;
    to.sin_port = s.to_port;
    // A lost beacon is sent again in a second; a failure here changes nothing.
    (void)sendto(s.fd, s.bytes, s.size, 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
}

void beacon_sender_close(BeaconSender &s) {
    close_fd(s.fd);
    s = BeaconSender{};
}

bool beacon_listener_open(BeaconListener &l, const BeaconConfig &config, std::uint16_t protocol, std::uint16_t rules) {
    beacon_listener_close(l);
    if (!config.enabled) return false;
    l.fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (l.fd < 0) return false;
    // Several games on one machine (and tests side by side) all hear the beacons.
    const int on = 1;
    setsockopt(l.fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    setsockopt(l.fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    // Room for a frame's worth of a flood, so a slow frame does not cost real beacons.
    const int buffer = 1 << 20;
    setsockopt(l.fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_ANY);
    at.sin_port = htons(config.port);
    if (bind(l.fd, reinterpret_cast<const sockaddr *>(&at), sizeof at) != 0) {
        close_fd(l.fd);
        return false;
    }
    l.protocol = protocol;
    l.rules = rules;
    l.salt = static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
             static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&l));
    return true;
}

namespace {

int rank(Heard h) { return static_cast<int>(h); }

BeaconSource &source_slot(BeaconListener &l, std::uint32_t address, std::uint16_t port) {
    std::uint32_t h = (address ^ l.salt) * 0x9e3779b1u;
    h ^= (static_cast<std::uint32_t>(port) + (h >> 15)) * 0x85ebca77u;
    h ^= h >> 13;
    return l.sources[h & (beacon_source_slots - 1)];
}

// May a newcomer take the slot of `s`? Not from a game heard steadily or lately once.
bool replaceable(const BeaconSource &s, float t) {
    if (s.address == 0 || s.beats == 0) return true;
    const double quiet = static_cast<double>(t - s.last_heard);
    return quiet > heard_game_lifetime || (s.beats == 1 && quiet > once_kept);
}

// Lists or refreshes a game, steady ones before the rest; a newcomer takes the place
// of the last listed game only if it was heard more steadily.
void list_game(BeaconListener &l, const Beacon &b, std::uint32_t address, Heard heard, double now) {
    for (int i = 0; i < l.count; ++i) {
        HeardGame &g = l.games[i];
        if (g.from == address && g.port == b.port) {
            std::memcpy(g.name, b.name, sizeof g.name);
            g.last_heard = now;
            g.heard = heard;
            return;
        }
    }
    int slot = l.count;
    if (l.count == max_heard_games) {
        slot = 0;
        for (int i = 1; i < l.count; ++i) {
            const HeardGame &g = l.games[i];
            const HeardGame &w = l.games[slot];
            if (rank(g.heard) > rank(w.heard) || (g.heard == w.heard && g.first_heard >= w.first_heard)) slot = i;
        }
        if (rank(l.games[slot].heard) <= rank(heard)) {
            l.unlisted += 1;
            return;
        }
    } else {
        l.count += 1;
    }
    HeardGame &g = l.games[slot];
    g = HeardGame{};
    std::memcpy(g.name, b.name, sizeof g.name);
    in_addr a{};
    a.s_addr = address;
    if (inet_ntop(AF_INET, &a, g.address, sizeof g.address) == nullptr) g.address[0] = '\0';
    g.port = b.port;
    g.first_heard = now;
    g.last_heard = now;
    g.heard = heard;
    g.from = address;
}

void hear_from(BeaconListener &l, const std::uint8_t *data, std::size_t size, std::uint32_t address, double now) {
    Beacon b;
    if (address == 0 || !parse_beacon(data, size, b) || b.protocol != l.protocol || b.rules != l.rules) {
        l.refused += 1;
        return;
    }
    if (!l.epoch_set) {
        l.epoch = now;
        l.epoch_set = true;
    }
    if (l.sources == nullptr) l.sources.reset(new (std::nothrow) BeaconSource[beacon_source_slots]());
    const auto t = static_cast<float>(now - l.epoch);
    BeaconSource spare;  // without the memory every beacon is a newcomer's
    BeaconSource &s = l.sources != nullptr ? source_slot(l, address, b.port) : spare;
    if (s.address != address || s.port != b.port) {
        if (!replaceable(s, t)) {
            l.unlisted += 1;
            return;
        }
        s = BeaconSource{address, b.port, 1, 0, t, t};
    } else {
        const double gap = static_cast<double>(t - s.last_heard);
        if (gap < beat_min)
            s.beats = 0;  // a burst (or a copy): not steady until it beats again
        else if (gap <= beat_max)
            s.beats = s.beats < 255 ? s.beats + 1 : 255;
        else
            s.beats = 1;
        s.last_heard = t;
    }
    if (t - s.burst_start >= 1.0f) {
        s.burst_start = t;
        s.burst = 0;
    }
    if (s.burst < 255) s.burst += 1;
    if (s.burst > beacons_per_second) {
        l.unlisted += 1;
        return;
    }
    const Heard heard = s.beats == 0 ? Heard::in_bursts : s.beats >= 2 ? Heard::steadily : Heard::once;
    list_game(l, b, address, heard, now);
}

}  // namespace

void hear_beacon(BeaconListener &l, const std::uint8_t *data, std::size_t size, const char *address, double now) {
    in_addr a{};
    hear_from(l, data, size, inet_pton(AF_INET, address, &a) == 1 ? a.s_addr : 0, now);
}

void beacon_listener_update(BeaconListener &l, double now) {
    if (l.fd >= 0) {
        const auto start = std::chrono::steady_clock::now();
        std::uint8_t buffer[max_beacon_bytes + 1];
        for (int i = 0; i < datagrams_per_update; ++i) {
            if (i % 32 == 31 &&
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() > seconds_per_update)
                break;
            sockaddr_in from{};
            socklen_t from_size = sizeof from;
            const ssize_t n = recvfrom(l.fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &from_size);
            if (n < 0) break;
            hear_from(l, buffer, static_cast<std::size_t>(n), from.sin_addr.s_addr, now);
        }
    }
    int kept = 0;
    for (int i = 0; i < l.count; ++i) {
        if (now - l.games[i].last_heard <= heard_game_lifetime) l.games[kept++] = l.games[i];
    }
    l.count = kept;
    // Steady games first, each group in the order first heard, so the list holds still.
    for (int i = 1; i < l.count; ++i) {
        const HeardGame g = l.games[i];
        int j = i;
        for (; j > 0; --j) {
            const HeardGame &p = l.games[j - 1];
            if (rank(p.heard) < rank(g.heard) || (p.heard == g.heard && p.first_heard <= g.first_heard)) break;
            l.games[j] = p;
        }
        l.games[j] = g;
    }
}

void beacon_listener_close(BeaconListener &l) {
    close_fd(l.fd);
    l.protocol = l.rules = 0;
    l.count = 0;
    l.refused = l.unlisted = 0;
    l.epoch = 0.0;
    l.epoch_set = false;
    l.salt = 0;
    l.sources.reset();
}
