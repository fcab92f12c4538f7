// The LAN beacon: its wire form as untrusted input, the list it feeds, and a beacon
// sent and heard on the loopback's broadcast address.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "net/beacon.h"
#include "net/protocol.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes beacon_bytes(const char *name, std::uint16_t port, std::uint16_t protocol = protocol_version) {
    Beacon b;
    std::snprintf(b.name, sizeof b.name, "%s", name);
    b.protocol = protocol;
    b.rules = rules_version;
    b.port = port;
    Bytes out(max_beacon_bytes);
    out.resize(encode_beacon(b, out.data(), out.size()));
    return out;
}

// Sends and listens (either may be closed) until a game is heard or `seconds` pass,
// unless `whole`; returns how long it took.
double run_beacons(BeaconSender &s, BeaconListener &l, double seconds, bool whole = false) {
    const auto start = std::chrono::steady_clock::now();
    double now = 0.0;
    while (now < seconds && (whole || l.count == 0)) {
        now = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        beacon_sender_update(s, now);
        beacon_listener_update(l, now);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return now;
}

TEST(Beacon, OnlyAWholeBeaconWithEveryFieldInRangeIsRead) {
    const Bytes good = beacon_bytes("kitchen-pc", 24870);
    ASSERT_FALSE(good.empty());
    Beacon b;
    ASSERT_TRUE(parse_beacon(good.data(), good.size(), b));
    EXPECT_STREQ(b.name, "kitchen-pc");
    EXPECT_EQ(b.port, 24870);
    EXPECT_EQ(b.protocol, protocol_version);

    struct Row {
        const char *what;
        Bytes bytes;
    };
    auto with = [&](std::size_t at, std::uint8_t v) {
        Bytes b = good;
        b[at] = v;
        return b;
    };
    Bytes longer = good;
    longer.push_back(0);
    Bytes zero_port = with(10, 0);
    zero_port[11] = 0;
    const Row rows[] = {
        {"empty", {}},
        {"the magic alone", Bytes(good.begin(), good.begin() + 6)},
        {"another magic", with(0, 'X')},
        {"cut short", Bytes(good.begin(), good.end() - 1)},
        {"a byte too many", longer},
        {"port 0", zero_port},
        {"a name of length 0", with(12, 0)},
        {"a name longer than it holds", with(12, 33)},
        {"a control character in the name", with(13, '\n')},
        {"past the largest beacon", Bytes(max_beacon_bytes + 1, 'V')},
    };
    for (const Row &row : rows) {
        EXPECT_FALSE(parse_beacon(row.bytes.data(), row.bytes.size(), b)) << row.what;
    }
    EXPECT_EQ(beacon_bytes("", 1).size(), 0u) << "a nameless game sends nothing";
}

TEST(Beacon, TheListHoldsAHandfulOfGamesThisOneCanJoinAndForgetsSilentOnes) {
    BeaconListener l;
    l.protocol = protocol_version;
    l.rules = rules_version;
    const Bytes a = beacon_bytes("a", 24870);
    hear_beacon(l, a.data(), a.size(), "192.168.1.20", 0.0);
    hear_beacon(l, a.data(), a.size(), "192.168.1.20", 0.5);  // heard again: the same game
    const Bytes other_version = beacon_bytes("old", 24870, protocol_version + 1);
    hear_beacon(l, other_version.data(), other_version.size(), "192.168.1.21", 0.5);
    ASSERT_EQ(l.count, 1);
    EXPECT_STREQ(l.games[0].address, "192.168.1.20");
    for (int i = 0; i < 10; ++i) {
        const Bytes b = beacon_bytes("many", static_cast<std::uint16_t>(5000 + i));
        hear_beacon(l, b.data(), b.size(), "10.0.0.9", 1.0);
    }
    EXPECT_EQ(l.count, max_heard_games);
    EXPECT_EQ(l.refused, 1u + 10u - (max_heard_games - 1));
    // The first game goes quiet; the others keep calling.
    beacon_listener_update(l, 0.5 + heard_game_lifetime + 0.1);
    EXPECT_EQ(l.count, max_heard_games - 1);
    EXPECT_STREQ(l.games[0].name, "many");
}

TEST(Beacon, AHostingGameIsHeardOnTheLoopbacksBroadcastAddress) {
    // A port of this process's own, so test programs side by side do not hear each other.
    BeaconConfig config;
    std::snprintf(config.address, sizeof config.address, "127.255.255.255");
    config.port = static_cast<std::uint16_t>(30000 + getpid() % 20000);
    BeaconListener l;
    ASSERT_TRUE(beacon_listener_open(l, config, protocol_version, rules_version));
    BeaconSender s;
    ASSERT_TRUE(beacon_sender_open(s, config, 4321));
    run_beacons(s, l, 3.0);
    ASSERT_EQ(l.count, 1);
    EXPECT_STREQ(l.games[0].address, "127.0.0.1");
    EXPECT_EQ(l.games[0].port, 4321);
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    EXPECT_EQ(std::string(host).substr(0, std::string(host).find('.')).substr(0, max_beacon_name), l.games[0].name);
    beacon_sender_close(s);
    beacon_listener_close(l);

    // Turned off, nothing is sent and nothing heard.
    config.enabled = false;
    EXPECT_FALSE(beacon_sender_open(s, config, 4321));
    EXPECT_FALSE(beacon_listener_open(l, config, protocol_version, rules_version));
}

// Run by tests/net/beacon_netns.sh in two namespaces joined by a veth pair: one side
// announces a game for a few seconds, the other must list it with the sender's address.
TEST(BeaconProbe, AGameIsHeardFromAnotherMachine) {
    const char *role = std::getenv("VORBEL_BEACON_PROBE");
    if (role == nullptr) GTEST_SKIP() << "run by tests/net/beacon_netns.sh";
    const BeaconConfig config = beacon_config_from_env();
    const bool sending = std::strcmp(role, "send") == 0;
    BeaconSender s;
    BeaconListener l;
    ASSERT_TRUE(sending ? beacon_sender_open(s, config, default_port)
                        : beacon_listener_open(l, config, protocol_version, rules_version));
    const double took = run_beacons(s, l, 4.0, sending);
    if (!sending) {
        ASSERT_EQ(l.count, 1);
        EXPECT_STREQ(l.games[0].address, std::getenv("VORBEL_BEACON_FROM"));
        std::printf("heard \"%s's game, %s\" after %.2f s\n", l.games[0].name, l.games[0].address, took);
    }
    beacon_sender_close(s);
    beacon_listener_close(l);
}

}  // namespace
