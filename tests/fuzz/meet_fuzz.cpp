// Throws arbitrary datagrams at the meeting server's rules, from four addresses and
// with time passing: records of [flags][length][bytes], where the flags pick the
// source, how many seconds pass, and whether the datagram's token is made valid (so
// the fuzzer reaches past the challenge). Whatever comes in, the server never answers
// an unproven datagram with more bytes than it had, never sends more than two
// datagrams for one, holds no more rooms than it may, and every meeting datagram it
// reads writes back to the very same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "meet_server.h"

namespace {

[[noreturn]] void fail(const char *what) {
    std::fprintf(stderr, "meet fuzz: %s\n", what);
    std::abort();
}

constexpr MeetAddress sources[4] = {{0xcb007101u, 4000}, {0xcb007102u, 5000}, {0xcb007102u, 5001}, {0x0a000001u, 1}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static MeetServer server;
    ServerConfig config;
    config.max_rooms = 4;
    config.secret[0] = 1;
    config.code_seed = 2;
    server_start(server, config);
    static ServerOutbox out;
    static std::uint8_t datagram[256];
    double now = 100.0;
    std::size_t at = 0;
    while (at + 2 <= size) {
        const std::uint8_t flags = data[at];
        const std::size_t n = data[at + 1];
        at += 2;
        const std::size_t take = n < size - at ? n : size - at;
        std::memcpy(datagram, data + at, take);
        at += take;
        const MeetAddress &from = sources[flags & 3];
        now += (flags >> 3) * 10.0;
        const bool proven = (flags & 4) != 0 && take >= meet_header_bytes && is_meet_datagram(datagram, take);
        if (proven) {
            const std::uint64_t token = server_token(server, from, now);
            std::memcpy(datagram + 5, &token, 8);  // little-endian, as the wire has it
        }
        MeetMessage m;
        if (decode_meet(datagram, take, m)) {
            std::uint8_t back[max_meet_bytes];
            if (encode_meet(m, back, sizeof back) != take || std::memcmp(back, datagram, take) != 0) {
                fail("a meeting datagram writes back differently");
            }
        }
        server_receive(server, from, datagram, take, now, out);
        if (out.count < 0 || out.count > max_sends_per_datagram) fail("too many answers");
        std::size_t sent = 0;
        for (int i = 0; i < out.count; ++i) {
            if (out.sends[i].to == from && !proven && out.sends[i].size > take)
                fail("amplified to an unproven address");
            sent += out.sends[i].to == from ? out.sends[i].size : 0;
        }
        if (!proven && !is_meet_datagram(datagram, take) && sent > 0) fail("answered junk");
        if (server.live_rooms > config.max_rooms) fail("more rooms than allowed");
        if ((flags & 0xf8) == 0xf8) server_sweep(server, now);
    }
    return 0;
}
