#include "app/rng.h"

#include <cstddef>  // before sys/random.h, which the browser build's lacks
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "raylib.h"

namespace {

constexpr std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

// Reads exactly 8 bytes from the kernel's random source; false if it cannot.
bool read_os_seed(std::uint64_t &seed) {
    unsigned char bytes[8];
#if defined(__EMSCRIPTEN__)
    // The page's crypto.getRandomValues, through getentropy (the browser build has no getrandom).
    if (getentropy(bytes, sizeof bytes) != 0) return false;
#else
    std::size_t got = 0;
    while (got < sizeof bytes) {
        ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        got += static_cast<std::size_t>(n);
    }
#endif
    // Little-endian, whatever the host's byte order.
    seed = 0;
    for (int i = 7; i >= 0; --i) seed = (seed << 8) | bytes[i];
    return true;
}

}  // namespace

std::uint64_t splitmix64_next(std::uint64_t &state) {
    state += 0x9e3779b97f4a7c15ull;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

void seed_rng(Rng &rng, std::uint64_t seed) {
    std::uint64_t sm = seed;
    for (auto &word : rng.s) word = splitmix64_next(sm);
}

std::uint64_t seed_rng_from_os(Rng &rng) {
    std::uint64_t seed = 0;
    if (!read_os_seed(seed)) {
        auto now = std::chrono::high_resolution_clock::now().time_since_epoch().count();
        seed = static_cast<std::uint64_t>(now);
        TraceLog(LOG_WARNING, "RNG: system random source unavailable (%s), seeding from the clock",
                 std::strerror(errno));
    }
    seed_rng(rng, seed);
    return seed;
}

std::uint64_t rng_next(Rng &rng) {
    std::uint64_t *s = rng.s;
    const std::uint64_t result = rotl(s[0] + s[3], 23) + s[0];
    const std::uint64_t t = s[1] << 17;
    s[2] ^= s[0];
    s[3] ^= s[1];
    s[1] ^= s[2];
    s[0] ^= s[3];
    s[2] ^= t;
    s[3] = rotl(s[3], 45);
    return result;
}

// Lemire's multiply-and-reject: the high half of x * n is uniform below n once the
// few low halves that would favour small results are rejected.
std::uint64_t rng_below(Rng &rng, std::uint64_t n) {
    if (n == 0) return 0;
    unsigned __int128 m = static_cast<unsigned __int128>(rng_next(rng)) * n;
    std::uint64_t low = static_cast<std::uint64_t>(m);
    if (low < n) {
        const std::uint64_t threshold = (0 - n) % n;
        while (low < threshold) {
            m = static_cast<unsigned __int128>(rng_next(rng)) * n;
            low = static_cast<std::uint64_t>(m);
        }
    }
    return static_cast<std::uint64_t>(m >> 64);
}

std::int64_t rng_range(Rng &rng, std::int64_t a, std::int64_t b) {
    if (b <= a) return a;
    const std::uint64_t span = static_cast<std::uint64_t>(b) - static_cast<std::uint64_t>(a) + 1;
    // span 0 means the whole 64-bit range: every output is already uniform.
    const std::uint64_t offset = span == 0 ? rng_next(rng) : rng_below(rng, span);
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + offset);
}

double rng_float(Rng &rng) { return static_cast<double>(rng_next(rng) >> 11) * 0x1.0p-53; }
