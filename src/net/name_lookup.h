// Host names are looked up on a worker thread: the system's resolver can wait many
// seconds for a name server that does not answer, and the game must keep drawing.
// A lookup that is abandoned finishes on its own and its answer is thrown away.
#pragma once

#include <cstdint>
#include <memory>

enum class LookupStatus : std::uint8_t { idle, running, found, not_found, timed_out, failed };

// Resolves `name` to an IPv4 address (network byte order), taking as long as it
// takes; returns found, not_found, timed_out or failed. Runs on the worker.
using NameResolver = LookupStatus (*)(const char *name, std::uint32_t &address);

// The system's resolver (getaddrinfo, IPv4 only).
LookupStatus system_resolve(const char *name, std::uint32_t &address);

struct LookupJob;  // shared by the worker and the lookup until both are done with it

struct NameLookup {
    std::shared_ptr<LookupJob> job;
    double started = 0.0;
    double limit = 0.0;  // seconds before the lookup counts as timed out
};

// Starts looking up `name`. False when no worker could be started.
bool lookup_start(NameLookup &l, const char *name, NameResolver resolve, double now, double limit);
// running until the worker answers or `limit` passes; then found (with `address`),
// not_found, timed_out or failed, once (the lookup is idle afterwards).
LookupStatus lookup_poll(NameLookup &l, double now, std::uint32_t &address);
// Forgets the lookup; the worker, if still waiting, drops its answer.
void lookup_abandon(NameLookup &l);
bool lookup_running(const NameLookup &l);
