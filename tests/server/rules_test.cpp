// The meeting server's rules, one row per rule: a datagram in, what goes out.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "meet_server.h"

namespace {

constexpr MeetAddress host_at{0xcb007102u, 40000}, joiner_at{0xcb007103u, 50000}, stranger{0xcb007104u, 40000};

struct Harness {
    MeetServer s;
    ServerOutbox out;
    double now = 1000.0;

    explicit Harness(int max_rooms = 3) {
        ServerConfig c;
        c.max_rooms = max_rooms;
        c.secret[0] = 11;
        c.secret[1] = 22;
        c.code_seed = 33;
        server_start(s, c);
    }

    void raw(const MeetAddress &from, const std::uint8_t *data, std::size_t size) {
        server_receive(s, from, data, size, now, out);
    }
    // A game's message with the token it was given, as a real game sends after its challenge.
    void send(const MeetAddress &from, MeetMessage m, bool with_token = true) {
        if (with_token) m.token = server_token(s, from, now);
        std::uint8_t bytes[max_meet_bytes];
        const std::size_t n = encode_meet(m, bytes, sizeof bytes);
        ASSERT_GT(n, 0u);
        raw(from, bytes, n);
    }
    // The reply to `to` of the last datagram, decoded (type 0 when none).
    MeetMessage reply_to(const MeetAddress &to) {
        MeetMessage m;
        m.type = static_cast<MeetType>(0);
        for (int i = 0; i < out.count; ++i) {
            if (out.sends[i].to == to) {
                EXPECT_TRUE(decode_meet(out.sends[i].data, out.sends[i].size, m));
            }
        }
        return m;
    }
    std::string open_room(const MeetAddress &by = host_at) {
        MeetMessage m;
        m.type = MeetType::host;
        send(by, m);
        const MeetMessage r = reply_to(by);
        EXPECT_EQ(r.type, MeetType::room);
        return r.code;
    }
    MeetType join(const std::string &code, const MeetAddress &by = joiner_at) {
        MeetMessage m;
        m.type = MeetType::join;
        std::snprintf(m.code, sizeof m.code, "%s", code.c_str());
        send(by, m);
        return reply_to(by).type;
    }
    void relay(const std::string &code, const MeetAddress &by = joiner_at) {
        MeetMessage m;
        m.type = MeetType::relay;
        std::snprintf(m.code, sizeof m.code, "%s", code.c_str());
        send(by, m);
    }
    // Where a non-meeting datagram of `size` bytes from `from` went (nobody: port 0).
    MeetAddress forwarded(const MeetAddress &from, std::size_t size = 100) {
        std::vector<std::uint8_t> d(size, 0x12);
        raw(from, d.data(), d.size());
        return out.count == 1 && out.sends[0].size == size ? out.sends[0].to : MeetAddress{};
    }
};

struct Row {
    const char *rule;
    std::function<void(Harness &)> check;
};

const Row rows[] = {
    {"an address that has not echoed a token gets a challenge no larger than it sent, and junk gets nothing",
     [](Harness &h) {
         MeetMessage m;
         m.type = MeetType::join;
         std::memcpy(m.code, "ABCDEF", 7);
         h.send(stranger, m, false);
         ASSERT_EQ(h.out.count, 1);
         EXPECT_EQ(h.reply_to(stranger).type, MeetType::challenge);
         const std::uint8_t small[] = {0xff, 0xff, 'V', 'M', 4};  // too short to be answered
         h.raw(stranger, small, sizeof small);
         EXPECT_EQ(h.out.count, 0);
         MeetMessage close;
         close.type = MeetType::close;  // the smallest request: header only
         h.send(stranger, close, false);
         ASSERT_EQ(h.out.count, 1);
         EXPECT_LE(h.out.sends[0].size, meet_header_bytes);
         // A forged token, or one of another address, is no proof.
         m.token = server_token(h.s, host_at, h.now);
         std::uint8_t bytes[max_meet_bytes];
         h.raw(stranger, bytes, encode_meet(m, bytes, sizeof bytes));
         EXPECT_EQ(h.reply_to(stranger).type, MeetType::challenge);
         const std::uint8_t junk[300] = {7};
         h.raw(stranger, junk, sizeof junk);
         EXPECT_EQ(h.out.count, 0);
         // A token holds for a minute or two, then the address proves itself again.
         const std::uint64_t token = server_token(h.s, host_at, h.now);
         h.now += 130.0;
         EXPECT_NE(server_token(h.s, host_at, h.now), token);
     }},
    {"a joiner learns the host's addresses and the host the joiner's, both with the meeting's id",
     [](Harness &h) {
         const std::string code = h.open_room();
         ASSERT_EQ(code.size(), 6u);
         for (char c : code) EXPECT_EQ(std::strchr("OIL01", c), nullptr);
         ASSERT_EQ(h.join(code), MeetType::introduce);
         const MeetMessage to_joiner = h.reply_to(joiner_at), to_host = h.reply_to(host_at);
         EXPECT_TRUE(to_joiner.address == host_at);
         EXPECT_TRUE(to_host.address == joiner_at);
         EXPECT_EQ(to_joiner.token, to_host.token);
         // A third game finds the room taken; a lower-case code is not a code on the wire.
         EXPECT_EQ(h.join(code, stranger), MeetType::no_room);
     }},
    {"a code lives while its host refreshes it and ends after ten idle minutes or when the host closes it",
     [](Harness &h) {
         const std::string code = h.open_room();
         for (int i = 0; i < 4; ++i) {
             h.now += 500.0;
             server_sweep(h.s, h.now);
             EXPECT_EQ(h.open_room(), code);  // a refresh keeps the same code
         }
         h.now += 601.0;
         server_sweep(h.s, h.now);
         EXPECT_EQ(server_room(h.s, code.c_str()), nullptr);
         EXPECT_EQ(h.join(code), MeetType::no_room);
         const std::string second = h.open_room(stranger);
         MeetMessage close;
         close.type = MeetType::close;
         h.send(joiner_at, close);  // only its host closes a room
         EXPECT_NE(server_room(h.s, second.c_str()), nullptr);
         h.send(stranger, close);
         EXPECT_EQ(server_room(h.s, second.c_str()), nullptr);
     }},
    {"join attempts are limited per source address, so guessing a live code outlasts the code",
     [](Harness &h) {
         const std::string code = h.open_room();
         int answered = 0;
         for (int i = 0; i < 30; ++i) answered += h.join("BBBBBB") == MeetType::no_room ? 1 : 0;
         EXPECT_EQ(answered, 10);
         EXPECT_EQ(h.join(code), MeetType::slow_down);  // even the right code, while limited
         EXPECT_EQ(h.join(code, MeetAddress{joiner_at.ip, 1234}), MeetType::slow_down);  // another port
         h.now += 2.0;
         EXPECT_EQ(h.join(code), MeetType::introduce);
         // At the steady rate, hitting any one of 10,000 live codes takes one address far
         // longer than the ten minutes a forgotten code lives.
         const double codes = std::pow(room_code_letters, room_code_length);
         EXPECT_GT(codes / 10000 / h.s.config.joins_per_second, 20 * 600.0);
     }},
    {"rooms stop at max_rooms and openings are limited per source address",
     [](Harness &h) {
         for (std::uint16_t p = 1; p <= 3; ++p) h.open_room(MeetAddress{0x0a000001u + p, p});
         MeetMessage m;
         m.type = MeetType::host;
         h.send(host_at, m);
         EXPECT_EQ(h.reply_to(host_at).type, MeetType::full);
         Harness g(10);
         for (std::uint16_t p = 1; p <= 4; ++p) g.open_room(MeetAddress{host_at.ip, p});
         g.send(MeetAddress{host_at.ip, 5}, m);
         EXPECT_EQ(g.reply_to(MeetAddress{host_at.ip, 5}).type, MeetType::slow_down);
     }},
    {"the relay forwards only between the room's two addresses, once asked, and within its budget",
     [](Harness &h) {
         const std::string code = h.open_room();
         h.join(code);
         EXPECT_EQ(h.forwarded(joiner_at).port, 0);  // not before a game asks for it
         h.relay(code, stranger);
         EXPECT_EQ(h.reply_to(stranger).type, MeetType::no_room);
         h.relay(code);
         EXPECT_EQ(h.reply_to(joiner_at).type, MeetType::relaying);
         EXPECT_EQ(h.reply_to(host_at).type, MeetType::relaying);
         EXPECT_TRUE(h.forwarded(joiner_at) == host_at);
         EXPECT_TRUE(h.forwarded(host_at) == joiner_at);
         EXPECT_EQ(h.forwarded(stranger).port, 0);
         EXPECT_EQ(h.forwarded(MeetAddress{joiner_at.ip, 50001}).port, 0);
         // Far more than the budget at once: the burst passes, the rest is dropped, and the
         // budget comes back with time.
         int passed = 0;
         for (int i = 0; i < 200; ++i) passed += h.forwarded(joiner_at, 1200).port != 0 ? 1 : 0;
         EXPECT_LE(passed * 1200u, h.s.config.relay_burst_bytes);
         EXPECT_GT(passed, 50);
         EXPECT_EQ(h.forwarded(host_at, 1200).port, 0);
         h.now += 1.0;
         EXPECT_TRUE(h.forwarded(host_at, 1200) == joiner_at);
     }},
    {"a page is a game of its own address: it hosts, is introduced and relayed, and ends its room when it goes",
     [](Harness &h) {
         const MeetAddress page = server_page_open(h.s, host_at.ip, h.now);
         ASSERT_TRUE(is_page_address(page));
         const std::string code = h.open_room(page);
         ASSERT_EQ(h.join(code), MeetType::introduce);
         EXPECT_TRUE(h.reply_to(joiner_at).address == page);  // the desktop game sees it is a page
         h.relay(code, page);
         EXPECT_EQ(h.reply_to(joiner_at).type, MeetType::relaying);
         EXPECT_TRUE(h.forwarded(joiner_at) == page);
         EXPECT_TRUE(h.forwarded(page) == joiner_at);
         server_page_closed(h.s, page);
         EXPECT_EQ(server_room(h.s, code.c_str()), nullptr);
         // Its slot's next page is another address: nothing of the first reaches it.
         const MeetAddress next = server_page_open(h.s, stranger.ip, h.now);
         EXPECT_EQ(next.ip, page.ip);
         EXPECT_NE(next.port, page.port);
         EXPECT_EQ(server_page_slot(h.s, page), -1);
     }},
    {"pages are capped in all and per address, and their rooms and rates count against that address",
     [](Harness &) {
         Harness h(10);
         for (int i = 0; i < h.s.config.pages_per_ip; ++i) EXPECT_NE(server_page_open(h.s, host_at.ip, h.now).ip, 0u);
         EXPECT_EQ(server_page_open(h.s, host_at.ip, h.now).ip, 0u);
         // Four rooms at once from one address, whether its games are pages or not.
         for (std::uint32_t slot = 1; slot <= 4; ++slot) h.open_room(MeetAddress{slot, 1});
         MeetMessage m;
         m.type = MeetType::host;
         h.send(host_at, m);
         EXPECT_EQ(h.reply_to(host_at).type, MeetType::slow_down);
         const MeetAddress page{1, 1};
         int sent = 0;
         for (int i = 0; i < 1000; ++i) sent += server_page_may_send(h.s, page, 100, h.now) ? 1 : 0;
         EXPECT_EQ(sent, static_cast<int>(h.s.config.page_message_burst));
         EXPECT_FALSE(server_page_may_send(h.s, page, 1, h.now + 0.001));
         EXPECT_TRUE(server_page_may_send(h.s, page, 100, h.now + 1.0));
         EXPECT_FALSE(server_page_may_send(h.s, page, h.s.config.page_byte_burst + 1, h.now + 100.0));
         ServerConfig c = h.s.config;
         c.max_pages = 2;
         server_start(h.s, c);
         EXPECT_NE(server_page_open(h.s, 1, h.now).ip, 0u);
         EXPECT_NE(server_page_open(h.s, 2, h.now).ip, 0u);
         EXPECT_EQ(server_page_open(h.s, 3, h.now).ip, 0u);
     }},
};

TEST(MeetServerRules, EachRuleHolds) {
    for (const Row &row : rows) {
        SCOPED_TRACE(row.rule);
        Harness h;
        row.check(h);
    }
}

TEST(MeetWire, EveryMessageReadsBackAndCodesAreTypedForgivingly) {
    MeetMessage m;
    m.type = MeetType::introduce;
    m.token = 0x0102030405060708ull;
    std::memcpy(m.code, "XYZABC", 7);
    m.address = host_at;
    m.local_count = 2;
    m.locals[0] = joiner_at;
    m.locals[1] = stranger;
    std::uint8_t bytes[max_meet_bytes];
    const std::size_t n = encode_meet(m, bytes, sizeof bytes);
    MeetMessage back;
    ASSERT_TRUE(decode_meet(bytes, n, back));
    EXPECT_EQ(back.token, m.token);
    EXPECT_TRUE(back.locals[1] == stranger);
    EXPECT_FALSE(decode_meet(bytes, n - 1, back));
    bytes[n - 1] = bytes[n - 2] = 0;  // port 0
    EXPECT_FALSE(decode_meet(bytes, n, back));
    char code[7];
    EXPECT_TRUE(normalize_room_code(" xyzabc ", code));
    EXPECT_STREQ(code, "XYZABC");
    for (const char *bad : {"XYZAB", "XYZABCD", "XYZAB0", "OXYZAB", "XY ZAB", "1.2.3.4", ""}) {
        EXPECT_FALSE(normalize_room_code(bad, code)) << bad;
    }
}

}  // namespace
