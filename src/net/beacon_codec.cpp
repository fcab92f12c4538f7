// The beacon's wire form, apart from the sockets so the fuzzer can take it alone.
#include <cstring>

#include "net/beacon.h"
#include "net/bytes.h"

namespace {

constexpr char beacon_magic[6] = {'V', 'O', 'R', 'B', 'E', 'L'};

bool printable(char c) { return c >= 0x20 && c <= 0x7e; }

}  // namespace

std::size_t encode_beacon(const Beacon &b, std::uint8_t *out, std::size_t capacity) {
    const std::size_t n = strnlen(b.name, sizeof b.name);
    if (n == 0 || n > max_beacon_name || b.port == 0) return 0;
    ByteWriter w{out, capacity};
    w.bytes(beacon_magic, sizeof beacon_magic);
    w.u16(b.protocol);
    w.u16(b.rules);
    w.u16(b.port);
    w.u8(static_cast<std::uint8_t>(n));
    w.bytes(b.name, n);
    return w.ok() ? w.size : 0;
}

bool parse_beacon(const std::uint8_t *data, std::size_t size, Beacon &out) {
    if (data == nullptr || size < sizeof beacon_magic || size > max_beacon_bytes) return false;
    if (std::memcmp(data, beacon_magic, sizeof beacon_magic) != 0) return false;
    ByteReader r{data, size, sizeof beacon_magic};
    Beacon b;
    b.protocol = r.u16();
    b.rules = r.u16();
    b.port = r.u16();
    const std::uint8_t n = r.u8();
    if (n == 0 || n > max_beacon_name || b.port == 0) return false;
    if (!r.take(b.name, n)) return false;
    b.name[n] = '\0';
    for (std::size_t i = 0; i < n; ++i) {
        if (!printable(b.name[i])) return false;
    }
    if (!r.done()) return false;
    out = b;
    return true;
}
