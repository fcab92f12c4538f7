// Name resolvers for the JOIN tests: none of them asks a real name server. One answers
// with the loopback, one knows no name, and one never answers until released.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "net/name_lookup.h"

namespace test_support {

inline std::atomic<int> resolver_calls{0};
inline std::atomic<bool> resolver_released{false};

inline LookupStatus resolve_to_loopback(const char *, std::uint32_t &address) {
    resolver_calls += 1;
    address = htonl(INADDR_LOOPBACK);
    return LookupStatus::found;
}

inline LookupStatus resolve_nothing(const char *, std::uint32_t &) {
    resolver_calls += 1;
    return LookupStatus::not_found;
}

// A name server that does not answer: blocks until released (at most a minute).
inline LookupStatus resolve_never(const char *, std::uint32_t &) {
    resolver_calls += 1;
    for (int i = 0; i < 6000 && !resolver_released; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return LookupStatus::timed_out;
}

inline void reset_resolvers() {
    resolver_calls = 0;
    resolver_released = false;
}

}  // namespace test_support
