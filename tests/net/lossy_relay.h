// A UDP relay between a joiner and a host on loopback that loses, delays and so
// reorders datagrams, both ways: the joiner connects to the relay's front port.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <vector>

#include "app/rng.h"

struct RelayedDatagram {
    double due = 0.0;
    bool to_host = false;
    std::vector<std::uint8_t> bytes;
};

struct LossyRelay {
    int front = -1;  // the joiner talks to this one
    int back = -1;   // this one talks to the host
    std::uint16_t front_port = 0;
    sockaddr_in host{};
    sockaddr_in joiner{};
    bool joiner_known = false;
    double loss = 0.0;       // 0..1, each datagram each way
    double max_delay = 0.0;  // seconds; each datagram waits a uniform time up to this
    Rng dice{};
    std::vector<RelayedDatagram> queue;
    std::uint64_t passed = 0;
    std::uint64_t passed_bytes = 0;  // what a relay of the match carries
    std::uint64_t dropped = 0;
};

// Binds the front to any free loopback port; false when the sockets cannot be had.
bool relay_open(LossyRelay &r, std::uint16_t host_port, double loss, double max_delay, std::uint64_t seed);
// Takes in what arrived and sends out what is due.
void relay_pump(LossyRelay &r, double now);
void relay_close(LossyRelay &r);
