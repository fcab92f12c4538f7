#include "net/beacon.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "net/protocol.h"

namespace {

// Read per update at most: a flood waits in the socket (and overflows there).
constexpr int datagrams_per_update = 16;

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
    return true;
}

void hear_beacon(BeaconListener &l, const std::uint8_t *data, std::size_t size, const char *address, double now) {
    Beacon b;
    if (!parse_beacon(data, size, b) || b.protocol != l.protocol || b.rules != l.rules) {
        l.refused += 1;
        return;
    }
    for (int i = 0; i < l.count; ++i) {
        HeardGame &g = l.games[i];
        if (g.port == b.port && std::strcmp(g.address, address) == 0) {
            std::memcpy(g.name, b.name, sizeof g.name);
            g.last_heard = now;
            return;
        }
    }
    // A full list keeps the games it has; a newcomer shows once one of them goes.
    if (l.count >= max_heard_games) {
        l.refused += 1;
        return;
    }
    HeardGame &g = l.games[l.count++];
    std::memcpy(g.name, b.name, sizeof g.name);
    std::snprintf(g.address, sizeof g.address, "%s", address);
    g.port = b.port;
    g.last_heard = now;
}

void beacon_listener_update(BeaconListener &l, double now) {
    if (l.fd >= 0) {
        std::uint8_t buffer[max_beacon_bytes + 1];
        for (int i = 0; i < datagrams_per_update; ++i) {
            sockaddr_in from{};
            socklen_t from_size = sizeof from;
            const ssize_t n = recvfrom(l.fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &from_size);
            if (n < 0) break;
            char address[16] = {};
            if (inet_ntop(AF_INET, &from.sin_addr, address, sizeof address) == nullptr) continue;
            hear_beacon(l, buffer, static_cast<std::size_t>(n), address, now);
        }
    }
    int kept = 0;
    for (int i = 0; i < l.count; ++i) {
        if (now - l.games[i].last_heard <= heard_game_lifetime) l.games[kept++] = l.games[i];
    }
    l.count = kept;
}

void beacon_listener_close(BeaconListener &l) {
    close_fd(l.fd);
    l = BeaconListener{};
}
