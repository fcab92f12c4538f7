// The LAN beacon: its wire form as untrusted input, the list it feeds (steady games
// first, through floods of forged ones), and beacons sent and heard on the loopback's
// broadcast address.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
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

// Where a game's entry stands in the list, or -1.
int listed_at(const BeaconListener &l, const char *address, std::uint16_t port) {
    for (int i = 0; i < l.count; ++i)
        if (std::strcmp(l.games[i].address, address) == 0 && l.games[i].port == port) return i;
    return -1;
}

TEST(Beacon, SteadyGamesAreListedFirstAndNoFloodHidesARealOne) {
    // Four games call once a second from t = 0; a real host joins them at t = 5. A
    // row's noise runs from t = 4 to 12, `per_ms` forged beacons each millisecond.
    struct Row {
        const char *what;
        int per_ms;
        int sources;  // forging addresses, each calling from a fresh port every time
        bool fresh_ports;
    };
    const Row rows[] = {
        {"no noise", 0, 1, false},
        {"a flood of one-off senders, 10,000 a second", 10, 1 << 20, true},
        {"a flood from 200 addresses calling in bursts", 10, 200, false},
        {"a flood from 200 addresses on fresh ports", 10, 200, true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        BeaconListener l;
        l.protocol = protocol_version;
        l.rules = rules_version;
        const Bytes other_version = beacon_bytes("old", 24870, protocol_version + 1);
        hear_beacon(l, other_version.data(), other_version.size(), "192.168.1.21", 0.0);
        EXPECT_EQ(l.refused, 1u);
        std::uint32_t forged = 0;
        double real_listed = -1.0;
        for (int ms = 0; ms <= 12000; ++ms) {
            const double now = ms / 1000.0;
            if (ms % 1000 == 0) {
                for (int g = 0; g < 4; ++g) {
                    const Bytes b = beacon_bytes("steady", static_cast<std::uint16_t>(4001 + g));
                    hear_beacon(l, b.data(), b.size(), "192.168.1.10", now);
                }
                if (ms >= 5000) {
                    const Bytes b = beacon_bytes("real", 24870);
                    hear_beacon(l, b.data(), b.size(), "192.168.1.20", now);
                }
            }
            for (int f = 0; f < row.per_ms && ms >= 4000; ++f, ++forged) {
                const std::uint32_t who = forged % static_cast<std::uint32_t>(row.sources);
                const std::string from = "10." + std::to_string(who >> 16 & 255) + "." +
                                         std::to_string(who >> 8 & 255) + "." + std::to_string(who & 255);
                const Bytes b =
                    beacon_bytes("forged", static_cast<std::uint16_t>(row.fresh_ports ? 1 + forged % 60000 : 24870));
                hear_beacon(l, b.data(), b.size(), from.c_str(), now);
            }
            if (ms % 16 != 0) continue;  // a frame
            beacon_listener_update(l, now);
            for (int g = 0; g < 4; ++g) {
                // Once steady, the four keep the first places, in the order first heard.
                if (ms >= 1000) {
                    EXPECT_EQ(listed_at(l, "192.168.1.10", static_cast<std::uint16_t>(4001 + g)), g) << "at " << now;
                }
            }
            const int real = listed_at(l, "192.168.1.20", 24870);
            if (real >= 0 && real_listed < 0.0) real_listed = now;
            if (real_listed >= 0.0 && now >= 7.0) {
                EXPECT_EQ(real, 4) << "at " << now;
            }
        }
        EXPECT_GE(real_listed, 5.0);
        EXPECT_LE(real_listed, 8.0) << "the real host took too long to show";
        EXPECT_EQ(l.games[4].heard, Heard::steadily);
        EXPECT_LE(l.count, max_heard_games);
        // Everyone goes quiet: the list empties.
        beacon_listener_update(l, 12.0 + heard_game_lifetime + 0.1);
        EXPECT_EQ(l.count, 0);
    }
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

TEST(Beacon, OnTheLoopbackARealHostShowsThroughAForgedFloodAtLittleCost) {
    BeaconConfig config;
    std::snprintf(config.address, sizeof config.address, "127.255.255.255");
    config.port = static_cast<std::uint16_t>(30000 + (getpid() + 3) % 20000);
    BeaconListener l;
    ASSERT_TRUE(beacon_listener_open(l, config, protocol_version, rules_version));
    BeaconSender steady[4];
    for (int g = 0; g < 4; ++g)
        ASSERT_TRUE(beacon_sender_open(steady[g], config, static_cast<std::uint16_t>(4001 + g)));
    BeaconSender real;

    // 200 forging addresses, 5,000 beacons a second from fresh ports, for 4 s at most.
    std::atomic<bool> stop{false};
    std::atomic<int> forged{0};
    std::thread flood([&] {
        std::vector<int> fds;
        for (int i = 1; i <= 200; ++i) {
            const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            if (fd < 0) break;
            const int on = 1;
            setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
            sockaddr_in at{};
            at.sin_family = AF_INET;
            at.sin_addr.s_addr = htonl(0x7f010000u + static_cast<std::uint32_t>(i));  // 127.1.0.i
            if (bind(fd, reinterpret_cast<const sockaddr *>(&at), sizeof at) != 0) {
                close(fd);
                continue;
            }
            fds.push_back(fd);
        }
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(0x7fffffffu);
        to.sin_port = htons(config.port);
        for (int n = 0; n < 20000 && !stop && !fds.empty(); ++n) {
            const Bytes b = beacon_bytes("forged", static_cast<std::uint16_t>(1 + n));
            (void)sendto(fds[static_cast<std::size_t>(n) % fds.size()], b.data(), b.size(), 0,
                         reinterpret_cast<const sockaddr *>(&to), sizeof to);
            forged = n + 1;
            if (n % 5 == 4) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        for (int fd : fds) close(fd);
    });

    const auto start = std::chrono::steady_clock::now();
    double now = 0.0, real_listed = -1.0, spent = 0.0, worst = 0.0;
    int frames = 0;
    while (now < 4.5) {
        now = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        for (BeaconSender &s : steady) beacon_sender_update(s, now);
        if (now >= 1.0 && real.fd < 0) ASSERT_TRUE(beacon_sender_open(real, config, 4005));
        beacon_sender_update(real, now);
        const auto before = std::chrono::steady_clock::now();
        beacon_listener_update(l, now);
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
        spent += took;
        worst = took > worst ? took : worst;
        ++frames;
        if (real_listed < 0.0 && listed_at(l, "127.0.0.1", 4005) >= 0) real_listed = now;
        std::this_thread::sleep_for(std::chrono::milliseconds(16));
    }
    stop = true;
    flood.join();
    std::printf("forged %d beacons; the real host listed after %.2f s; reading took %.3f ms a frame on average, "
                "%.3f ms at most\n",
                forged.load(), real_listed - 1.0, spent / frames * 1000.0, worst * 1000.0);
    EXPECT_GT(forged.load(), 5000);
    EXPECT_GE(real_listed, 1.0);
    EXPECT_LE(real_listed, 4.0) << "the real host took more than 3 s to show";
    for (int g = 0; g < 4; ++g) EXPECT_EQ(listed_at(l, "127.0.0.1", static_cast<std::uint16_t>(4001 + g)), g);
    EXPECT_EQ(listed_at(l, "127.0.0.1", 4005), 4);
    // Within the budget (1 ms and a batch) even under the sanitizers.
    EXPECT_LT(spent / frames, 0.0015);
    for (BeaconSender &s : steady) beacon_sender_close(s);
    beacon_sender_close(real);
    beacon_listener_close(l);
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
