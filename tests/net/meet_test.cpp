// Meeting through the server: on the loopback with the server's rules in this process,
// and, run by tests/net/meet_netns.sh, one game per home behind its own router.
#include <enet/enet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "gameplay/match.h"
#include "meet_server.h"
#include "net/session.h"
#include "net_fixture.h"

namespace {

double clock_now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// vorbel-server's loop around the rules, on a loopback socket of its own.
struct LoopbackServer {
    ENetSocket sock = ENET_SOCKET_NULL;
    std::uint16_t port = 0;
    MeetServer rules;
    ServerOutbox out;
    // Introductions to this port are lost (the host never learns the joiner, so never
    // punches: no direct path answers).
    std::uint16_t lose_introductions_to = 0;
    // The game on this port plays a page: the rules see it under a page's address, as
    // vorbel-server's WebSocket side shows them one.
    std::uint16_t page_port = 0;
    MeetAddress page{};

    bool open() {
        sock = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
        ENetAddress a{};
        a.host = ENET_HOST_TO_NET_32(0x7f000001u);
        if (sock == ENET_SOCKET_NULL || enet_socket_bind(sock, &a) != 0) return false;
        enet_socket_set_option(sock, ENET_SOCKOPT_NONBLOCK, 1);
        ENetAddress bound{};
        enet_socket_get_address(sock, &bound);
        port = bound.port;
        ServerConfig c;
        c.secret[0] = 5;
        c.code_seed = 6;
        server_start(rules, c);
        return true;
    }
    void pump(double now) {
        static std::uint8_t d[ENET_PROTOCOL_MAXIMUM_MTU];
        for (;;) {
            ENetAddress from{};
            ENetBuffer b{d, sizeof d};
            const int got = enet_socket_receive(sock, &from, &b, 1);
            if (got <= 0) return;
            MeetAddress source{ENET_NET_TO_HOST_32(from.host), from.port};
            if (page_port != 0 && from.port == page_port) {
                if (page.ip == 0) page = server_page_open(rules, source.ip, now);
                source = page;
            }
            server_receive(rules, source, d, static_cast<std::size_t>(got), now, out);
            for (int i = 0; i < out.count; ++i) {
                MeetMessage m;
                if (out.sends[i].to.port == lose_introductions_to &&
                    decode_meet(out.sends[i].data, out.sends[i].size, m) && m.type == MeetType::introduce) {
                    continue;
                }
                ENetAddress to{};
                to.host = ENET_HOST_TO_NET_32(out.sends[i].to.ip);
                to.port = out.sends[i].to.port;
                if (out.sends[i].to == page) {
                    to.host = ENET_HOST_TO_NET_32(0x7f000001u);
                    to.port = page_port;
                }
                ENetBuffer s{const_cast<std::uint8_t *>(out.sends[i].data), out.sends[i].size};
                enet_socket_send(sock, &to, &s, 1);
            }
        }
    }
    ~LoopbackServer() {
        if (sock != ENET_SOCKET_NULL) enet_socket_destroy(sock);
    }
};

// The script of the fixture without its restarts: a match that runs to game over.
FrameInput to_the_end(std::uint32_t frame, int side) {
    FrameInput in = scripted_input(frame, side, 3);
    in.buttons &= static_cast<std::uint8_t>(~input_restart);
    return in;
}

class RoomCodes : public OnlineCourt {
protected:
    SessionConfig config(const char *server) {
        SessionConfig c;
        c.port = 0;
        c.seed = test_seed;
        std::snprintf(c.server.host, sizeof c.server.host, "%s", server);
        c.server.port = server_port;
        return c;
    }
    template <class Done>
    bool run(Done done, double limit, LoopbackServer *server, std::initializer_list<OnlineSession *> sessions) {
        const double start = clock_now();
        while (!done()) {
            const double now = clock_now();
            if (now - start > limit) return false;
            if (server != nullptr) server->pump(now);
            for (OnlineSession *s : sessions) session_update(*s, now);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    std::uint16_t server_port = meet_default_port;
};

TEST_F(RoomCodes, AJoinerWithTheHostsCodeMeetsItDirectlyAndAWrongOrSilentServerSaysSo) {
    LoopbackServer server;
    ASSERT_TRUE(server.open());
    server_port = server.port;
    auto host = std::make_unique<OnlineSession>();
    auto joiner = std::make_unique<OnlineSession>();
    session_host(*host, config("127.0.0.1"), clock_now());
    ASSERT_TRUE(run([&] { return host->meet.phase == MeetPhase::waiting; }, 5.0, &server, {host.get()}));
    const std::string code = host->meet.code;
    EXPECT_STREQ(session_meet_line(*host), "give the other player this code");

    // A code typed in lower case with spaces around is the same code.
    std::string typed = " " + code + " ";
    for (char &c : typed) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    session_join(*joiner, typed.c_str(), config("127.0.0.1"), clock_now());
    ASSERT_TRUE(run([&] { return host->phase == SessionPhase::playing && joiner->phase == SessionPhase::playing; },
                    10.0, &server, {host.get(), joiner.get()}))
        << session_end_text(*joiner);
    EXPECT_EQ(joiner->meet.phase, MeetPhase::direct);
    EXPECT_EQ(std::string(session_path_line(*joiner)).rfind("direct, ", 0), 0u) << session_path_line(*joiner);
    // A direct match gives the room back at once.
    run([&] { return server_room(server.rules, code.c_str()) == nullptr; }, 2.0, &server, {host.get(), joiner.get()});
    EXPECT_EQ(server_room(server.rules, code.c_str()), nullptr);

    auto late = std::make_unique<OnlineSession>();
    session_join(*late, code.c_str(), config("127.0.0.1"), clock_now());
    ASSERT_TRUE(run([&] { return late->phase == SessionPhase::ended; }, 5.0, &server, {late.get()}));
    EXPECT_EQ(std::string(session_end_text(*late)), "no game with code " + code + " on the meeting server");

    // Nobody at the server's address: the host goes on by address, the joiner says so.
    server_port = 9;
    session_reset(*host);
    session_reset(*late);
    SessionConfig quick = config("127.0.0.1");
    session_host(*host, quick, clock_now());
    session_join(*late, "ABCDEF", quick, clock_now());
    ASSERT_TRUE(run([&] { return late->phase == SessionPhase::ended; }, 8.0, nullptr, {host.get(), late.get()}));
    EXPECT_STREQ(session_end_text(*late), "no answer from the meeting server");
    EXPECT_EQ(host->phase, SessionPhase::listening);
    EXPECT_STREQ(session_meet_line(*host), "no room code (no answer from the meeting server)");
    // Without a server a code is just a (bad) host name, as before.
    EXPECT_FALSE(session_takes_code(SessionConfig{}, "ABCDEF"));
    session_drop(*host);
    session_drop(*joiner);
    session_drop(*late);
}

TEST_F(RoomCodes, WhenNoDirectPathAnswersTheMatchGoesThroughTheServer) {
    // No direct path: the joiner punches for punch_limit, then asks. A page for a host:
    // nothing can be punched to it, so the joiner asks at once.
    for (const bool page_hosts : {false, true}) {
        SCOPED_TRACE(page_hosts ? "a page hosts" : "the introduction to the host is lost");
        LoopbackServer server;
        ASSERT_TRUE(server.open());
        server_port = server.port;
        auto host = std::make_unique<OnlineSession>();
        auto joiner = std::make_unique<OnlineSession>();
        session_host(*host, config("127.0.0.1"), clock_now());
        (page_hosts ? server.page_port : server.lose_introductions_to) = host->transport.port;
        ASSERT_TRUE(run([&] { return host->meet.phase == MeetPhase::waiting; }, 5.0, &server, {host.get()}));
        SessionConfig c = config("127.0.0.1");
        c.punch_limit = page_hosts ? 5.0 : 0.5;
        session_join(*joiner, host->meet.code, c, clock_now());
        ASSERT_TRUE(run([&] { return host->phase == SessionPhase::playing && joiner->phase == SessionPhase::playing; },
                        10.0, &server, {host.get(), joiner.get()}))
            << session_end_text(*joiner);
        EXPECT_EQ(joiner->meet.phase, MeetPhase::relayed);
        const double asked_after = joiner->meet.answered_at - joiner->meet.introduced_at;
        if (page_hosts) {
            EXPECT_TRUE(joiner->meet.relay_only);
            EXPECT_LT(asked_after, 1.0);
        } else {
            EXPECT_GE(asked_after, 0.5);
        }
        for (OnlineSession *s : {host.get(), joiner.get()}) {
            EXPECT_EQ(std::string(session_path_line(*s)).rfind("relayed, ", 0), 0u) << session_path_line(*s);
        }
        // The relayed match keeps its room to the end; leaving gives it back.
        EXPECT_NE(server_room(server.rules, host->meet.code), nullptr);
        const std::string code = host->meet.code;
        session_leave(*host);
        run([&] { return server_room(server.rules, code.c_str()) == nullptr; }, 2.0, &server, {joiner.get()});
        EXPECT_EQ(server_room(server.rules, code.c_str()), nullptr);
        EXPECT_GT(server.rules.counters.forwarded, 0u);
        session_drop(*joiner);
    }
}

// One game of a match in a home behind a router (tests/net/meet_netns.sh): the host
// writes its code to a file, the joiner reads it, and both play to game over.
TEST_F(RoomCodes, ProbeInAHome) {
    const char *role = std::getenv("VORBEL_MEET_PROBE");
    if (role == nullptr) GTEST_SKIP() << "run by tests/net/meet_netns.sh";
    const bool hosting = std::strcmp(role, "host") == 0;
    const char *code_file = std::getenv("VORBEL_MEET_CODE_FILE");
    ASSERT_NE(code_file, nullptr);
    SessionConfig c = config(std::getenv("VORBEL_MEET_SERVER"));
    c.silence_limit = 10.0;
    auto s = std::make_unique<OnlineSession>();
    const double began = clock_now();
    if (hosting) {
        session_host(*s, c, began);
        ASSERT_TRUE(run([&] { return s->meet.phase == MeetPhase::waiting; }, 10.0, nullptr, {s.get()}));
        std::ofstream(std::string(code_file) + ".part") << s->meet.code << "\n";
        std::rename((std::string(code_file) + ".part").c_str(), code_file);
    } else {
        std::string code;
        for (int i = 0; i < 200 && code.empty(); ++i) {
            std::ifstream(code_file) >> code;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ASSERT_FALSE(code.empty()) << "the host wrote no code";
        session_join(*s, code.c_str(), c, clock_now());
    }
    const double asked = clock_now();
    ASSERT_TRUE(run([&] { return s->phase == SessionPhase::playing || s->phase == SessionPhase::ended; }, 20.0, nullptr,
                    {s.get()}));
    ASSERT_EQ(s->phase, SessionPhase::playing) << session_end_text(*s);
    const double met = clock_now();
    const std::string path = session_path_line(*s);

    // Four steps a frame (a game catching up does as much): game over in seconds, at
    // the game's own datagram rate. The first confirmed state that is over decides.
    Rollback &r = s->rollback;
    const int side = session_local_side(*s);
    std::uint32_t over_at = 0, checked = 0;
    const double limit = clock_now() + 40.0;
    double next = clock_now();
    while (over_at == 0 && s->phase == SessionPhase::playing && clock_now() < limit) {
        session_update(*s, clock_now());
        for (int i = 0; i < 4 && session_can_step(*s); ++i) session_step(*s, to_the_end(r.frame, side), clock_now());
        rollback_settle(r);
        const std::uint32_t confirmed = rollback_confirmed(r);
        if (confirmed > checked) {
            checked = confirmed;
            if (const MatchSnapshot *state = rollback_state_at(r, confirmed)) {
                restore_match(*state);
                if (match_over()) over_at = confirmed;
            }
        }
        next += 1.0 / 60.0;
        std::this_thread::sleep_until(std::chrono::steady_clock::time_point(
            std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(next))));
    }
    ASSERT_NE(over_at, 0u) << "no game over; " << session_end_text(*s) << " at frame " << r.frame;
    const char *winner = result_line();
    // The other machine still needs this one's last inputs.
    const double linger = clock_now() + 1.5;
    while (clock_now() < linger && s->phase == SessionPhase::playing) {
        session_update(*s, clock_now());
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const Meeting &mt = s->meet;
    std::printf("%s: %s; %s after frame %u; code in %.2f s, introduced %.2f s after asking, path %.2f s after "
                "that, playing %.2f s after asking; match %.1f s\n",
                role, path.c_str(), winner, over_at, hosting ? asked - began : 0.0,
                mt.introduced_at > 0 ? mt.introduced_at - asked : 0.0,
                mt.answered_at > 0 ? mt.answered_at - mt.introduced_at : 0.0, met - asked, clock_now() - met);
    EXPECT_EQ(s->counters.desyncs, 0u);
    session_leave(*s);
}

}  // namespace
