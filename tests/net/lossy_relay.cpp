#include "lossy_relay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace {

int open_socket(std::uint16_t port) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || fcntl(fd, F_SETFL, O_NONBLOCK) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void take_in(LossyRelay &r, int fd, bool to_host, double now) {
    std::uint8_t buffer[65536];
    for (;;) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n = recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &len);
        if (n < 0) return;
        if (to_host) {
            r.joiner = from;
            r.joiner_known = true;
        }
        if (rng_float(r.dice) < r.loss) {
            r.dropped += 1;
            continue;
        }
        RelayedDatagram d;
        d.due = now + rng_float(r.dice) * r.max_delay;
        d.to_host = to_host;
        d.bytes.assign(buffer, buffer + n);
        r.queue.push_back(std::move(d));
    }
}

}  // namespace

bool relay_open(LossyRelay &r, std::uint16_t host_port, double loss, double max_delay, std::uint64_t seed) {
    r.front = open_socket(0);
    r.back = open_socket(0);
    if (r.front < 0 || r.back < 0) return false;
    sockaddr_in a{};
    socklen_t len = sizeof a;
    getsockname(r.front, reinterpret_cast<sockaddr *>(&a), &len);
    r.front_port = ntohs(a.sin_port);
    r.host = sockaddr_in{};
    r.host.sin_family = AF_INET;
    r.host.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    r.host.sin_port = htons(host_port);
    r.loss = loss;
    r.max_delay = max_delay;
    seed_rng(r.dice, seed);
    return true;
}

void relay_pump(LossyRelay &r, double now) {
    take_in(r, r.front, true, now);
    take_in(r, r.back, false, now);
    // Each datagram leaves at its own time, so a later one may overtake an earlier one.
    auto due =
        std::stable_partition(r.queue.begin(), r.queue.end(), [now](const RelayedDatagram &d) { return d.due > now; });
    for (auto it = due; it != r.queue.end(); ++it) {
        if (it->to_host) {
            sendto(r.back, it->bytes.data(), it->bytes.size(), 0, reinterpret_cast<const sockaddr *>(&r.host),
                   sizeof r.host);
        } else if (r.joiner_known) {
            sendto(r.front, it->bytes.data(), it->bytes.size(), 0, reinterpret_cast<const sockaddr *>(&r.joiner),
                   sizeof r.joiner);
        }
        r.passed += 1;
        r.passed_bytes += it->bytes.size();
    }
    r.queue.erase(due, r.queue.end());
}

void relay_close(LossyRelay &r) {
    if (r.front >= 0) close(r.front);
    if (r.back >= 0) close(r.back);
    r.front = r.back = -1;
    r.queue.clear();
}
