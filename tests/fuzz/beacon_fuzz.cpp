// Throws arbitrary bytes at the reader of other games' LAN beacons: every input is
// either refused or read into a beacon whose fields are in range and which writes
// back to the very same bytes. Crashes, leaks and sanitizer reports fail the run.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "net/beacon.h"

namespace {

[[noreturn]] void fail(const char *what) {
    std::fprintf(stderr, "beacon fuzz: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Beacon b;
    if (!parse_beacon(data, size, b)) return 0;
    const std::size_t n = std::strlen(b.name);
    if (n == 0 || n > max_beacon_name) fail("a name of the wrong length");
    for (std::size_t i = 0; i < n; ++i) {
        if (b.name[i] < 0x20 || b.name[i] > 0x7e) fail("a name that cannot be shown");
    }
    if (b.port == 0) fail("port 0");
    std::uint8_t written[max_beacon_bytes];
    const std::size_t w = encode_beacon(b, written, sizeof written);
    if (w != size || std::memcmp(written, data, size) != 0) fail("written back differently");
    return 0;
}
