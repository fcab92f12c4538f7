// Two machines in one process on loopback: the handshake and its refusals, inputs and
// rollback through a lossy relay, pause, leaving, silence and hostile packets.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "lossy_relay.h"
#include "net/online.h"
#include "net/session.h"
#include "net_fixture.h"
#include "replay/replay.h"
#include "support/log_capture.h"
#include "support/resolvers.h"
#include "support/scratch_dir.h"
#include "testing.h"

namespace {

double clock_now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

SessionConfig host_config() {
    SessionConfig c;
    c.port = 0;  // any free port: tests run side by side
    c.seed = test_seed;
    c.game_speed = 1.0;
    return c;
}

std::string local_address(std::uint16_t port) { return "127.0.0.1:" + std::to_string(port); }

class Sessions : public OnlineCourt {
protected:
    void SetUp() override {
        OnlineCourt::SetUp();
        host = std::make_unique<OnlineSession>();
        joiner = std::make_unique<OnlineSession>();
    }
    void TearDown() override {
        session_drop(*host);
        session_drop(*joiner);
        OnlineCourt::TearDown();
    }

    // Each machine steps its own script up to `frames`.
    void step_both(std::uint32_t frames) {
        for (OnlineSession *s : {host.get(), joiner.get()}) {
            if (s->phase != SessionPhase::playing || s->rollback.frame >= frames || !session_can_step(*s)) continue;
            session_step(*s, scripted_input(s->rollback.frame, session_local_side(*s)), clock_now());
        }
    }

    // Updates both (and the relay) until `done`, for at most `limit` seconds; with
    // `paced`, one round per 1/60 s as a game would.
    template <class Done>
    bool run(Done done, double limit, std::uint32_t frames = 0, LossyRelay *relay = nullptr, bool paced = false) {
        const double start = clock_now();
        double next = start;
        while (!done()) {
            const double now = clock_now();
            if (now - start > limit) return false;
            if (relay != nullptr) relay_pump(*relay, now);
            session_update(*host, now);
            session_update(*joiner, now);
            if (frames > 0) step_both(frames);
            if (record_host) replay_note_online(host->rollback);
            if (paced) {
                next += 1.0 / 60.0;
                const double wait = next - clock_now();
                if (wait > 0) std::this_thread::sleep_for(std::chrono::duration<double>(wait));
            } else {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        }
        return true;
    }

    // Where each machine got to, and why its session ended if it did.
    std::string where() {
        return "host at " + std::to_string(host->rollback.frame) + " (" + session_end_text(*host) + "), joiner at " +
               std::to_string(joiner->rollback.frame) + " (" + session_end_text(*joiner) + ")";
    }

    bool both_playing() { return host->phase == SessionPhase::playing && joiner->phase == SessionPhase::playing; }

    void connect(const SessionConfig &joiner_config = host_config()) {
        session_host(*host, host_config(), clock_now());
        ASSERT_EQ(host->phase, SessionPhase::listening);
        session_join(*joiner, local_address(host->transport.port).c_str(), joiner_config, clock_now());
        ASSERT_EQ(joiner->phase, SessionPhase::connecting);
    }

    bool all_known(std::uint32_t frames) {
        for (OnlineSession *s : {host.get(), joiner.get()}) {
            if (s->rollback.frame < frames || s->rollback.remote_next < frames) return false;
        }
        return true;
    }

    // `copies` of one message, straight onto the connection, as a hostile peer would.
    static void send_raw(OnlineSession &from, const Message &m, int copies) {
        static std::uint8_t bytes[max_packet_bytes];
        ByteWriter w{bytes, sizeof bytes};
        ASSERT_TRUE(encode_message(m, w));
        for (int i = 0; i < copies; ++i) transport_send(from.peer, control_channel, bytes, w.size, true);
        transport_flush(from.transport);
    }

    int log_lines_with(const char *needle) {
        int n = 0;
        for (const std::string &line : testing_captured_log()) n += line.find(needle) != std::string::npos ? 1 : 0;
        return n;
    }

    std::unique_ptr<OnlineSession> host;
    std::unique_ptr<OnlineSession> joiner;
    bool record_host = false;  // the host's confirmed inputs go to the game's recording
};

class Loopback : public Sessions, public ::testing::WithParamInterface<double> {};

TEST_P(Loopback, AMinuteThroughALossyLinkEndsInTheSameStateOnBothAndAsTheReference) {
    const double loss = GetParam();
    constexpr std::uint32_t frames = 3600;
    session_host(*host, host_config(), clock_now());
    ASSERT_EQ(host->phase, SessionPhase::listening);
    LossyRelay relay;
    ASSERT_TRUE(relay_open(relay, host->transport.port, loss, 0.150, 99));
    SessionConfig jc = host_config();
    jc.connect_limit = 20.0;  // the handshake itself may lose a packet or two
    session_join(*joiner, local_address(relay.front_port).c_str(), jc, clock_now());

    ASSERT_TRUE(run([&] { return both_playing(); }, 20.0, 0, &relay));
    // Recorded as the game records an online match: the confirmed inputs, frame by frame.
    const std::string dir = test_support::make_scratch_dir("vorbel-online-replay-");
    const std::string recorded = dir + "/online.vreplay";
    replay_set_record_path(recorded.c_str());
    replay_begin_online(host->config.seed, host->rollback.dt);
    record_host = true;
    const double start = clock_now();
    ASSERT_TRUE(run([&] { return all_known(frames) || !both_playing(); }, 150.0, frames, &relay, true))
        << "host at " << host->rollback.frame << ", joiner at " << joiner->rollback.frame;
    // A link that still carries the inputs is not cut.
    ASSERT_TRUE(both_playing()) << where();
    const double minutes = (clock_now() - start) / 60.0;
    // One more round settles what the last inputs changed.
    session_update(*host, clock_now());
    session_update(*joiner, clock_now());
    rollback_settle(host->rollback);
    rollback_settle(joiner->rollback);
    relay_close(relay);

    const MatchSnapshot on_host = rollback_current(host->rollback);
    const MatchSnapshot on_joiner = rollback_current(joiner->rollback);
    EXPECT_TRUE(same_snapshot(on_host, on_joiner));
    EXPECT_TRUE(same_snapshot(on_host, reference_run(frames, host->config.input_delay)));
    EXPECT_EQ(host->counters.desyncs + joiner->counters.desyncs, 0u);
    EXPECT_EQ(host->counters.malformed + joiner->counters.malformed, 0u);
    EXPECT_EQ(joiner->counters.states_adopted, 0u);
    if (loss > 0.0) {
        EXPECT_GT(relay.dropped, 0u);
    }

    // The recording replays, with no network, to the state both machines reached.
    replay_note_online(host->rollback);
    replay_finish_recording();
    std::vector<ReplayFrame> read(frames);
    ReplayView view{ReplayHeader{}, read.data(), frames};
    ASSERT_EQ(load_replay(recorded.c_str(), view), ReplayError::none);
    EXPECT_EQ(view.header.frames, frames);
    EXPECT_EQ(view.header.kind, ReplayKind::online);
    replay_start_match(view.header);
    for (const ReplayFrame &f : read) replay_step(f, view.header.step);
    MatchSnapshot replayed;
    capture_match(replayed);
    EXPECT_TRUE(same_snapshot(replayed, on_host));
    // The lossiest link's match, re-run many times on both machines, is the one whose
    // checksums the page is compared on (tests/replay).
    if (const char *keep = std::getenv("VORBEL_KEEP_REPLAYS"); keep != nullptr && loss >= 0.2) {
        std::filesystem::copy_file(recorded, std::string(keep) + "/online_corrected.vreplay",
                                   std::filesystem::copy_options::overwrite_existing);
    }
    test_support::remove_scratch_dir(dir);

    std::printf("loopback at %.0f %% loss over %.2f min: host %.1f rollbacks/min (largest %u frames), "
                "joiner %.1f rollbacks/min (largest %u frames); desyncs %u; datagrams passed %llu (%.1f a second, "
                "%.0f bytes each), dropped %llu\n",
                loss * 100.0, minutes, host->rollback.stats.rollbacks / minutes, host->rollback.stats.largest,
                joiner->rollback.stats.rollbacks / minutes, joiner->rollback.stats.largest,
                host->counters.desyncs + joiner->counters.desyncs, static_cast<unsigned long long>(relay.passed),
                relay.passed / (minutes * 60.0), relay.passed > 0 ? double(relay.passed_bytes) / relay.passed : 0.0,
                static_cast<unsigned long long>(relay.dropped));
}

INSTANTIATE_TEST_SUITE_P(Loss, Loopback, ::testing::Values(0.0, 0.05, 0.20),
                         [](const ::testing::TestParamInfo<double> &info) {
                             return "Percent" + std::to_string(static_cast<int>(info.param * 100.0 + 0.5));
                         });

TEST_F(Sessions, AHeavilyLossyLinkThatStillCarriesTheInputsIsNotCut) {
    session_host(*host, host_config(), clock_now());
    ASSERT_EQ(host->phase, SessionPhase::listening);
    // The handshake goes over a clean link with up to 20 ms of delay.
    LossyRelay relay;
    ASSERT_TRUE(relay_open(relay, host->transport.port, 0.0, 0.020, 7));
    session_join(*joiner, local_address(relay.front_port).c_str(), host_config(), clock_now());
    ASSERT_TRUE(run([&] { return both_playing(); }, 5.0, 0, &relay));
    // Then most datagrams are lost each way: a reliable message misses many times in a
    // row now and then, while the inputs, sent every frame, still get through.
    relay.loss = 0.6;

    constexpr std::uint32_t frames = 1200;
    run([&] { return all_known(frames) || !both_playing(); }, 60.0, frames, &relay, true);
    relay_close(relay);
    ASSERT_TRUE(both_playing()) << where();
    EXPECT_TRUE(all_known(frames));
    EXPECT_EQ(host->counters.desyncs + joiner->counters.desyncs, 0u);
}

TEST_F(Sessions, AVersionMismatchIsRefusedOnBothSidesAndTheHostKeepsListening) {
    struct Row {
        const char *what;
        std::uint16_t protocol;
        std::uint16_t rules;
    };
    for (const Row row : {Row{"rules", protocol_version, rules_version + 1}, Row{"protocol", 7, rules_version}}) {
        SCOPED_TRACE(row.what);
        SessionConfig jc = host_config();
        jc.protocol = row.protocol;
        jc.rules = row.rules;
        connect(jc);
        ASSERT_TRUE(run([&] { return joiner->phase == SessionPhase::ended; }, 5.0));
        EXPECT_EQ(joiner->end, SessionEnd::versions);
        EXPECT_NE(std::string(session_end_text(*joiner)).find("version mismatch"), std::string::npos);
        EXPECT_EQ(host->phase, SessionPhase::listening);
        EXPECT_TRUE(host->other_versions_refused);
        EXPECT_EQ(host->other_rules, row.rules);

        // A matching joiner gets in afterwards.
        session_join(*joiner, local_address(host->transport.port).c_str(), host_config(), clock_now());
        ASSERT_TRUE(run([&] { return both_playing(); }, 5.0));
        session_drop(*host);
        session_drop(*joiner);
    }
}

TEST_F(Sessions, AHostInAMatchTellsASecondJoinerItIsBusy) {
    connect();
    ASSERT_TRUE(run([&] { return both_playing(); }, 5.0));
    auto third = std::make_unique<OnlineSession>();
    session_join(*third, local_address(host->transport.port).c_str(), host_config(), clock_now());
    ASSERT_TRUE(run(
        [&] {
            session_update(*third, clock_now());
            return third->phase == SessionPhase::ended;
        },
        5.0));
    EXPECT_EQ(third->end, SessionEnd::busy);
    EXPECT_TRUE(both_playing());
    session_drop(*third);
}

TEST_F(Sessions, PauseStopsBothMachinesAndEitherResumes) {
    connect();
    ASSERT_TRUE(run([&] { return both_playing(); }, 5.0));
    ASSERT_TRUE(run([&] { return all_known(120); }, 10.0, 120));

    session_pause(*host, true, clock_now());
    ASSERT_TRUE(run([&] { return joiner->paused; }, 5.0));
    EXPECT_EQ(joiner->paused_by, 1);
    EXPECT_EQ(host->paused_by, 1);
    EXPECT_FALSE(session_can_step(*host));
    EXPECT_FALSE(session_can_step(*joiner));
    const std::uint32_t frozen = host->rollback.frame;
    run([] { return false; }, 0.3, 400);
    EXPECT_EQ(host->rollback.frame, frozen);

    session_pause(*joiner, false, clock_now());
    ASSERT_TRUE(run([&] { return !host->paused; }, 5.0));
    ASSERT_TRUE(run([&] { return all_known(300); }, 10.0, 300));
    session_pause(*joiner, true, clock_now());
    ASSERT_TRUE(run([&] { return host->paused; }, 5.0));
    EXPECT_EQ(host->paused_by, 2);
    session_pause(*host, false, clock_now());
    ASSERT_TRUE(run([&] { return !joiner->paused; }, 5.0));
    // The restart presses of the scripts came through too: the match went on as one.
    ASSERT_TRUE(run([&] { return all_known(600); }, 10.0, 600));
    EXPECT_TRUE(same_snapshot(rollback_current(host->rollback), rollback_current(joiner->rollback)));
}

TEST_F(Sessions, LeavingEndsTheMatchOnTheOtherMachine) {
    for (bool host_leaves : {false, true}) {
        SCOPED_TRACE(host_leaves ? "host leaves" : "joiner leaves");
        connect();
        ASSERT_TRUE(run([&] { return both_playing(); }, 5.0));
        OnlineSession &going = host_leaves ? *host : *joiner;
        OnlineSession &staying = host_leaves ? *joiner : *host;
        session_leave(going);
        EXPECT_EQ(going.end, SessionEnd::you_left);
        ASSERT_TRUE(run([&] { return staying.phase == SessionPhase::ended; }, 5.0));
        EXPECT_EQ(staying.end, SessionEnd::other_left);
        EXPECT_STREQ(session_end_text(staying), "the other player left");
        session_drop(*host);
        session_drop(*joiner);
    }
}

TEST_F(Sessions, ASilentPeerEndsTheMatchWithConnectionLost) {
    SessionConfig jc = host_config();
    jc.silence_limit = 1.0;
    connect(jc);
    ASSERT_TRUE(run([&] { return both_playing(); }, 5.0));
    // The host goes quiet: nothing of it is updated any more.
    const double start = clock_now();
    while (joiner->phase == SessionPhase::playing && clock_now() - start < 5.0) {
        session_update(*joiner, clock_now());
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(joiner->end, SessionEnd::connection_lost);
    EXPECT_GE(clock_now() - start, 0.9);
    EXPECT_STREQ(session_end_text(*joiner), "connection lost");
}

TEST_F(Sessions, JoiningNobodyTimesOutAndABadAddressFailsAtOnce) {
    SessionConfig jc = host_config();
    jc.connect_limit = 1.0;
    LossyRelay nobody;  // a bound port where no host answers
    ASSERT_TRUE(relay_open(nobody, 9, 1.0, 0.0, 1));
    session_join(*joiner, local_address(nobody.front_port).c_str(), jc, clock_now());
    ASSERT_EQ(joiner->phase, SessionPhase::connecting);
    const double start = clock_now();
    ASSERT_TRUE(run([&] { return joiner->phase == SessionPhase::ended; }, 5.0));
    EXPECT_EQ(joiner->end, SessionEnd::timed_out);
    EXPECT_GE(clock_now() - start, 0.9);
    relay_close(nobody);

    for (const char *bad : {"", "   ", "host:", "host:0", "host:65536", "host:12ab", ":24870", "a b", "x;y"}) {
        session_join(*joiner, bad, jc, clock_now());
        EXPECT_EQ(joiner->end, SessionEnd::bad_address) << bad;
    }
}

TEST_F(Sessions, AHostNameIsLookedUpWhileTheGameGoesOnAndEachOutcomeHasItsLine) {
    using namespace test_support;
    struct Row {
        const char *name;
        NameResolver resolve;
        SessionEnd end;  // none: the match starts
        const char *line;
    };
    const Row rows[] = {
        {"the-host", resolve_to_loopback, SessionEnd::none, ""},
        {"nowhere.test", resolve_nothing, SessionEnd::no_such_host, "no host called nowhere.test"},
        {"silent.test", resolve_never, SessionEnd::lookup_timed_out, "the name lookup timed out"},
        {"::1", resolve_never, SessionEnd::ipv6_address,
         "IPv6 addresses are not supported; use an IPv4 address or a name"},
        {"[::1]:24870", resolve_never, SessionEnd::ipv6_address, nullptr},
        {"fe80::1", resolve_never, SessionEnd::ipv6_address, nullptr},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        reset_resolvers();
        session_host(*host, host_config(), clock_now());
        SessionConfig jc = host_config();
        jc.resolve = row.resolve;
        jc.lookup_limit = 0.5;
        std::string address = row.name;
        if (row.end == SessionEnd::none) address += ":" + std::to_string(host->transport.port);
        session_join(*joiner, address.c_str(), jc, clock_now());
        if (row.end == SessionEnd::ipv6_address) {
            EXPECT_EQ(joiner->end, row.end);
            EXPECT_EQ(resolver_calls, 0);
        } else {
            EXPECT_EQ(joiner->phase, SessionPhase::looking_up);
            // The caller's rounds go on while the resolver takes its time.
            int rounds = 0;
            ASSERT_TRUE(run([&] { return ++rounds, joiner->phase != SessionPhase::looking_up; }, 5.0));
            if (row.resolve == resolve_never) {
                EXPECT_GT(rounds, 20);
            }
            if (row.end == SessionEnd::none) {
                ASSERT_TRUE(run([&] { return both_playing(); }, 5.0));
            } else {
                EXPECT_EQ(joiner->end, row.end);
            }
            EXPECT_EQ(resolver_calls, 1);
        }
        if (row.line != nullptr) {
            EXPECT_STREQ(session_end_text(*joiner), row.line);
        }
        resolver_released = true;
        session_drop(*host);
        session_drop(*joiner);
    }
}

TEST_F(Sessions, WhatAPeerSendsCostsThisMachineABoundedAmount) {
    // A joiner floods checksums: for one frame ahead (compared once, one resync), or
    // wrong for every frame ahead (three disagreements in a row end the match on both).
    struct Row {
        const char *what;
        std::uint32_t frames;  // distinct frames the flood covers
        bool ends;
    };
    for (const Row row : {Row{"one frame", 1, false}, Row{"every frame ahead", 12, true}}) {
        SCOPED_TRACE(row.what);
        test_support::LogCapture log;
        connect();
        ASSERT_TRUE(run([&] { return both_playing(); }, 5.0));
        ASSERT_TRUE(run([&] { return all_known(100); }, 10.0, 100));
        auto m = std::make_unique<Message>();
        m->type = MessageType::checksum;
        m->sum = 12345;
        for (std::uint32_t k = 0; k < row.frames; ++k) {
            m->frame = 120 + k * checksum_interval;
            send_raw(*joiner, *m, 2000 / static_cast<int>(row.frames));
        }
        run([&] { return all_known(900) || !both_playing(); }, 30.0, 900);
        EXPECT_LE(host->counters.states_sent, 1u);
        EXPECT_LE(log_lines_with("disagree"), 6);
        EXPECT_GE(host->counters.ignored, 1900u);
        if (row.ends) {
            ASSERT_TRUE(run([&] { return joiner->phase == SessionPhase::ended; }, 5.0));
            EXPECT_EQ(host->counters.desyncs, 3u);
            for (OnlineSession *s : {host.get(), joiner.get()}) {
                EXPECT_STREQ(session_end_text(*s), "the two games disagree; match ended");
            }
        } else {
            EXPECT_TRUE(both_playing()) << where();
            EXPECT_EQ(host->counters.desyncs, 1u);
        }
        session_drop(*host);
        session_drop(*joiner);
    }
}

TEST_F(Sessions, AStateFromTheHostIsTakenOnlyWithinTheRulesAndAtMostOnceInAWhile) {
    struct Row {
        const char *what;
        void (*spoil)(MatchSnapshot &);
    };
    const Row rows[] = {
        {"a good state", [](MatchSnapshot &) {}},
        {"a player far off the court", [](MatchSnapshot &s) { s.player_instances[1].position.x = 1e300; }},
        {"a huge speed", [](MatchSnapshot &s) { s.game.players[0].speed = 1e300; }},
        {"a velocity", [](MatchSnapshot &s) { s.game.players[1].velocity.y = -1e9; }},
        {"a beam's timer", [](MatchSnapshot &s) { s.game.beams[3].elapsed = 1e12; }},
        {"a negative match time", [](MatchSnapshot &s) { s.game.match_time = -5.0; }},
        {"a button under the floor", [](MatchSnapshot &s) { s.button_instances[0].position.y = -100.0; }},
        {"an absurd press count", [](MatchSnapshot &s) { s.game.buttons_pressed = 2000000000; }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        connect();
        ASSERT_TRUE(run([&] { return both_playing(); }, 5.0));
        ASSERT_TRUE(run([&] { return all_known(100); }, 10.0, 100));
        auto m = std::make_unique<Message>();
        m->type = MessageType::state;
        m->frame = rollback_confirmed(host->rollback);
        m->state = *rollback_state_at(host->rollback, m->frame);
        row.spoil(m->state);
        const MatchSnapshot before = rollback_current(joiner->rollback);
        send_raw(*host, *m, 200);
        run([&] { return joiner->phase != SessionPhase::playing; }, 1.0);
        if (row.spoil == rows[0].spoil) {
            EXPECT_TRUE(both_playing()) << where();
            EXPECT_EQ(joiner->counters.states_adopted, 1u);
        } else {
            EXPECT_EQ(joiner->counters.states_adopted, 0u);
            EXPECT_TRUE(same_snapshot(rollback_current(joiner->rollback), before)) << "never adopted";
            EXPECT_STREQ(session_end_text(*joiner), "the host sent an impossible state; match ended");
            ASSERT_TRUE(run([&] { return host->phase == SessionPhase::ended; }, 5.0));
            EXPECT_STREQ(session_end_text(*host), "the other game refused this one's state; match ended");
        }
        session_drop(*host);
        session_drop(*joiner);
    }
}

TEST_F(Sessions, APeerThatSendsNoNewInputsIsWaitedForThenLeft) {
    SessionConfig jc = host_config();
    connect(jc);
    host->config.silence_limit = 1.5;
    ASSERT_TRUE(run([&] { return both_playing(); }, 5.0));
    ASSERT_TRUE(run([&] { return all_known(60); }, 10.0, 60));
    // The joiner keeps its connection alive (its beats go on) but steps no more.
    const double start = clock_now();
    bool waited = false;
    while (host->phase == SessionPhase::playing && clock_now() - start < 5.0) {
        const double now = clock_now();
        session_update(*host, now);
        session_update(*joiner, now);
        if (session_can_step(*host)) session_step(*host, FrameInput{}, now);
        if (now - start > 0.7 && now - start < 1.2) waited = waited || session_waiting(*host, now);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_TRUE(waited) << "\"waiting for the other player\" after half a second";
    EXPECT_EQ(host->end, SessionEnd::stalled);
    EXPECT_STREQ(session_end_text(*host), "the other player stopped responding");
    EXPECT_GE(clock_now() - start, 1.4);
}

TEST_F(Sessions, AConnectionThatNeverSaysHelloHoldsNobodyUp) {
    // Bare connections with no handshake: they fill every waiting slot and one more.
    Transport silent[max_pending + 1];
    bool gone[max_pending + 1] = {};
    auto event = std::make_unique<NetEvent>();
    // True once the host has told every one of them to go.
    auto pump_silent = [&] {
        bool all_gone = true;
        for (int i = 0; i <= max_pending; ++i) {
            while (transport_poll(silent[i], *event)) gone[i] = gone[i] || event->kind == NetEventKind::disconnected;
            all_gone = all_gone && gone[i];
        }
        return all_gone;
    };
    for (bool joiner_comes : {true, false}) {
        SCOPED_TRACE(joiner_comes ? "a joiner comes" : "nobody else comes");
        session_host(*host, host_config(), clock_now());
        NetAddress to;
        std::snprintf(to.host, sizeof to.host, "127.0.0.1");
        to.port = host->transport.port;
        for (int i = 0; i <= max_pending; ++i) {
            gone[i] = false;
            ASSERT_TRUE(transport_connect(silent[i], to).ok());
        }
        run([&] { return pump_silent(), false; }, 0.3);
        const double start = clock_now();
        if (joiner_comes) {
            // A real joiner within the hello limit gets the match, not "busy".
            session_join(*joiner, local_address(host->transport.port).c_str(), host_config(), clock_now());
            run([&] { return pump_silent(), both_playing() || joiner->phase == SessionPhase::ended; }, 5.0);
            EXPECT_TRUE(both_playing()) << where();
        } else {
            // The silent ones are told to go after the hello limit; the host waits on.
            EXPECT_TRUE(run(pump_silent, 5.0));
            EXPECT_LT(clock_now() - start, 3.0);
            EXPECT_EQ(host->phase, SessionPhase::listening);
        }
        for (Transport &t : silent) transport_close(t);
        session_drop(*host);
        session_drop(*joiner);
    }
}

TEST(Address, ParsesAnAddressWithOrWithoutAPort) {
    const struct {
        const char *text;
        const char *host;
        int port;
    } rows[] = {{"127.0.0.1", "127.0.0.1", default_port},
                {"127.0.0.1:5000", "127.0.0.1", 5000},
                {"  localhost:65535 ", "localhost", 65535},
                {"my-box.lan:1", "my-box.lan", 1}};
    for (const auto &row : rows) {
        const Result<NetAddress> a = parse_address(row.text);
        ASSERT_TRUE(a.ok()) << row.text;
        EXPECT_STREQ(a.value().host, row.host);
        EXPECT_EQ(a.value().port, row.port);
    }
    EXPECT_FALSE(parse_address(nullptr).ok());
    EXPECT_FALSE(parse_address(std::string(80, 'a').c_str()).ok());
}

TEST_F(Sessions, HostilePacketsAreCountedAndDroppedAndTheMatchGoesOn) {
    connect();
    ASSERT_TRUE(run([&] { return both_playing(); }, 5.0));
    ASSERT_TRUE(run([&] { return all_known(100); }, 10.0, 100));
    const std::vector<std::vector<std::uint8_t>> junk = {
        {99},                                        // unknown type
        {4, 0, 0, 0, 0, 0, 0, 0, 0, 200},            // inputs: more than a packet holds
        {4, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0x80, 0, 0},  // inputs: axis of -128
        {4, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0x40},  // inputs: unknown button bits
        {4, 0xff, 0xff, 0, 0, 0, 0, 0, 0, 0},        // inputs: acknowledges frames never sent
        {7, 1, 3},                                   // pause by a third player
        {7, 2, 1},                                   // pause: a flag of 2
        {6, 0, 0, 0, 0, 1, 2, 3},                    // a state cut short
        {5, 0, 0, 0},                                // a checksum cut short
        {8, 0},                                      // leave with a tail
    };
    for (const auto &packet : junk) {
        ASSERT_TRUE(transport_send(joiner->peer, control_channel, packet.data(), packet.size(), true));
    }
    transport_flush(joiner->transport);
    ASSERT_TRUE(run([&] { return host->counters.malformed >= junk.size(); }, 5.0, 200));
    EXPECT_EQ(host->counters.malformed, junk.size());
    ASSERT_TRUE(run([&] { return all_known(300); }, 10.0, 300));
    EXPECT_TRUE(both_playing());
    EXPECT_TRUE(same_snapshot(rollback_current(host->rollback), rollback_current(joiner->rollback)));
}

TEST_F(Sessions, ADisagreementIsLoggedOnceOnEachSideAndRepairedFromTheHost) {
    connect();
    ASSERT_TRUE(run([&] { return both_playing(); }, 5.0));
    ASSERT_TRUE(run([&] { return all_known(200); }, 10.0, 200));
    test_support::LogCapture log;
    // The joiner's record goes wrong, as a desync would make it: every kept state, so
    // that no re-run heals it by chance.
    for (MatchSnapshot &kept : joiner->rollback.states) {
        kept.game.match_time += 1.0;
        kept.game.players[1].lives = 1;
    }
    constexpr std::uint32_t frames = 600;
    ASSERT_TRUE(run([&] { return all_known(frames); }, 20.0, frames));
    session_update(*host, clock_now());
    session_update(*joiner, clock_now());
    EXPECT_EQ(host->counters.desyncs, 1u);
    EXPECT_EQ(joiner->counters.desyncs, 1u);
    EXPECT_EQ(host->counters.states_sent, 1u);
    EXPECT_EQ(joiner->counters.states_adopted, 1u);
    int warnings = 0;
    for (const std::string &line : testing_captured_log()) {
        warnings += line.find("disagree") != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(warnings, 2);
    EXPECT_TRUE(same_snapshot(rollback_current(host->rollback), rollback_current(joiner->rollback)));
    EXPECT_TRUE(same_snapshot(rollback_current(host->rollback), reference_run(frames, 2)));
}

}  // namespace

namespace {

// The seeds are written by the corpus script, not by the game: read and written again,
// each must come out as the very same bytes, or the wire format has moved.
TEST(PacketSeeds, EveryCommittedSeedOfThePacketFuzzerDecodesAndEncodesToItsOwnBytes) {
    for (const char *name : {"hello", "hello_newer", "welcome", "refuse", "inputs", "inputs_empty", "checksum", "state",
                             "pause", "leave"}) {
        const std::string path = std::string("tests/fuzz/packet_corpus/") + name;
        std::FILE *f = std::fopen(path.c_str(), "rb");
        ASSERT_NE(f, nullptr) << path;
        std::vector<std::uint8_t> bytes(max_packet_bytes + 1);
        const std::size_t n = std::fread(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        auto m = std::make_unique<Message>();
        ASSERT_TRUE(decode_message(bytes.data(), n, *m)) << name;
        std::vector<std::uint8_t> again(max_packet_bytes);
        ByteWriter w{again.data(), again.size()};
        ASSERT_TRUE(encode_message(*m, w)) << name;
        // A newer peer's hello carries more than this version reads: the rest is ignored.
        if (std::string(name) != "hello_newer") {
            EXPECT_EQ(w.size, n) << name;
        }
        again.resize(w.size);
        bytes.resize(std::min(n, w.size));
        EXPECT_EQ(again, bytes) << name;
        if (std::string(name) != "state") continue;
        // Fields of one wire type land where the script put them, not merely somewhere
        // the writer agrees with.
        for (int i = 0; i < 2; ++i) {
            const Player &p = m->state.game.players[i];
            SCOPED_TRACE(i);
            EXPECT_EQ(p.speed, 4.0);
            EXPECT_EQ(p.gravity, -25.0);
            EXPECT_EQ(p.step_timer, 0.1);
            EXPECT_EQ(p.stretch_speed, 0.2);
            EXPECT_EQ(p.dust_timer, 0.05);
            EXPECT_EQ(p.dust_interval, 0.1);
            EXPECT_EQ(p.wobble_time, 0.3);
            EXPECT_EQ(p.dash_rate, 10.0);
            EXPECT_EQ((std::vector<bool>{p.dashing, p.grounded, p.input_locked, p.jump_requested, p.side, p.walking,
                                         p.was_hit, p.jump_held}),
                      (std::vector<bool>{false, true, false, false, i == 1, true, false, false}));
        }
    }
}

}  // namespace

namespace {

TEST(CommandLine, PortAndInputDelayAreReadAndCheckedAsOptions) {
    constexpr CommandLine run = CommandLine::run, bad = CommandLine::bad;
    struct Row {
        std::vector<const char *> args;
        CommandLine result;
        int port;
        int delay;
        const char *why = nullptr;  // when given, the whole line
    };
    const Row rows[] = {
        {{}, run, default_port, 2},
        {{"--port", "5000"}, run, 5000, 2},
        {{"--port=6000", "--input-delay", "0"}, run, 6000, 0},
        {{"--input-delay=10"}, run, default_port, 10},
        {{"--port", "0"}, bad, 0, 0},
        {{"--port", "65536"}, bad, 0, 0},
        {{"--port", "12x"}, bad, 0, 0},
        {{"--port"}, bad, 0, 0},
        {{"--input-delay", "11"}, bad, 0, 0},
        {{"--input-delay=-1"}, bad, 0, 0},
        {{"--fullscreen"}, bad, 0, 0, "unknown option --fullscreen"},
        {{"--port", "5000", "--bogus"}, bad, 0, 0, "unknown option --bogus"},
        {{"--help"}, CommandLine::help, 0, 0},
        {{"--port", "5000", "-h"}, CommandLine::help, 0, 0},
        {{"--server", "meet.example.org:24999", "--port", "5000"}, run, 5000, 2},
        {{"--server=10.0.0.1"}, run, default_port, 2},
        {{"--server", "a b"}, bad, 0, 0, "--server takes HOST or HOST:PORT"},
        {{"--server"}, bad, 0, 0, "--server takes HOST or HOST:PORT"},
    };
    for (const Row &row : rows) {
        std::vector<char *> argv{const_cast<char *>("vorbel")};
        for (const char *a : row.args) argv.push_back(const_cast<char *>(a));
        OnlineOptions o;
        const char *why = nullptr;
        const CommandLine got = parse_online_options(static_cast<int>(argv.size()), argv.data(), o, why);
        SCOPED_TRACE(row.args.empty() ? "(none)" : row.args.back());
        EXPECT_EQ(got, row.result);
        if (got == run) {
            EXPECT_EQ(o.port, row.port);
            EXPECT_EQ(o.input_delay, static_cast<std::uint32_t>(row.delay));
        } else if (got == bad) {
            ASSERT_NE(why, nullptr);
            if (row.why != nullptr) {
                EXPECT_STREQ(why, row.why);
            }
        }
    }
}

}  // namespace
