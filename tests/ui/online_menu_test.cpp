// The ONLINE pages of the title screen, and an online match played through them
// against a second machine run by the test in the same process.
#include <gtest/gtest.h>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/game_state.h"
#include "audio/sound_bank.h"
#include "net/online.h"
#include "support/log_capture.h"
#include "support/resolvers.h"
#include "testing.h"
#include "ui/menu.h"
#include "ui_fixture.h"

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer's count of the heap in use (its header ships with clang only).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

class OnlineMenu : public MenuTest {
protected:
    void SetUp() override {
        MenuTest::SetUp();
        online_options = OnlineOptions{};
        online_options.port = 0;  // any free port: test programs run side by side
        online_address[0] = '\0';
        online_address_editing = false;
        clear_online_notice();
        // Beacons on the loopback, on a port of this process's own.
        std::snprintf(online_beacon.address, sizeof online_beacon.address, "127.255.255.255");
        online_beacon.port = static_cast<std::uint16_t>(30000 + (getpid() + 7) % 20000);
    }
    void TearDown() override {
        online_cancel();
        leave_online();
        if (game_state.screen_state != ScreenState::menu) set_screen_state(ScreenState::menu);
        online_options = OnlineOptions{};
        test_support::resolver_released = true;
        MenuTest::TearDown();
    }
    void open_online_page() {
        click_at(60.0f, 260.0f);  // PLAY
        click_at(60.0f, 360.0f);  // ONLINE
        ASSERT_EQ(menu_page, MenuPage::online);
    }
};

double clock_now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::size_t heap_in_use() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

// Hosts from the menu and lets `joiner` in; its player joins at once.
void host_from_menu_with(OnlineSession &joiner, const std::function<void()> &round) {
    click_at(60.0f, 260.0f);  // PLAY
    click_at(60.0f, 360.0f);  // ONLINE
    click_at(60.0f, 260.0f);  // HOST
    ASSERT_EQ(online_session().phase, SessionPhase::listening);
    SessionConfig c;
    session_join(joiner, ("127.0.0.1:" + std::to_string(online_session().transport.port)).c_str(), c, clock_now());
    for (int i = 0; i < 500 && game_state.screen_state != ScreenState::match; ++i) round();
    ASSERT_EQ(game_state.screen_state, ScreenState::match);
}

TEST_F(OnlineMenu, OnlinePageOffersHostJoinAndBack) {
    open_online_page();
    click_at(60.0f, 460.0f);  // BACK
    EXPECT_EQ(menu_page, MenuPage::main);
    open_online_page();
    click_at(60.0f, 360.0f);  // JOIN
    EXPECT_EQ(menu_page, MenuPage::joining);
    click_at(60.0f, 460.0f);  // BACK
    EXPECT_EQ(menu_page, MenuPage::online);
}

TEST_F(OnlineMenu, HostListensUntilCancelled) {
    open_online_page();
    click_at(60.0f, 260.0f);  // HOST
    EXPECT_EQ(menu_page, MenuPage::hosting);
    EXPECT_EQ(online_session().phase, SessionPhase::listening);
    EXPECT_GT(online_session().transport.port, 0);
    ui_frames(3);
    click_at(60.0f, 460.0f);  // CANCEL
    EXPECT_EQ(menu_page, MenuPage::online);
    EXPECT_EQ(online_session().phase, SessionPhase::idle);
}

TEST_F(OnlineMenu, HostingOnATakenPortStaysOnThePageAndSaysWhy) {
    OnlineSession other;
    SessionConfig c;
    c.port = 0;
    session_host(other, c, clock_now());
    ASSERT_EQ(other.phase, SessionPhase::listening);
    online_options.port = other.transport.port;
    open_online_page();
    click_at(60.0f, 260.0f);  // HOST
    EXPECT_EQ(menu_page, MenuPage::online);
    EXPECT_EQ(std::string(online_notice()), "port " + std::to_string(other.transport.port) + " is in use");
    session_reset(other);
}

TEST_F(OnlineMenu, TheAddressIsTypedInTheBoxAndABadOneIsRefusedOnThePage) {
    open_online_page();
    click_at(60.0f, 360.0f);   // JOIN
    click_at(100.0f, 280.0f);  // the address box
    EXPECT_TRUE(online_address_editing);
    testing_type_text("no where!");
    ui_frame();
    EXPECT_STREQ(online_address, "no where!");
    tap_key(KEY_BACKSPACE);
    EXPECT_STREQ(online_address, "no where");
    click_at(60.0f, 360.0f);  // CONNECT
    EXPECT_FALSE(online_address_editing) << "the click outside the box ends the editing";
    EXPECT_EQ(menu_page, MenuPage::joining);
    EXPECT_STREQ(online_notice(), "not an address");
    EXPECT_EQ(online_session().phase, SessionPhase::idle);
}

TEST_F(OnlineMenu, AHostNameIsLookedUpWhileThePageKeepsDrawingAndBackAbandonsIt) {
    using namespace test_support;
    reset_resolvers();
    online_options.resolve = resolve_never;
    online_options.lookup_limit = 60.0;
    online_options.port = default_port;  // nothing listens: the lookup never ends
    open_online_page();
    click_at(60.0f, 360.0f);   // JOIN
    click_at(100.0f, 280.0f);  // the address box
    testing_type_text("silent.test");
    ui_frame();
    click_at(60.0f, 360.0f);  // CONNECT
    EXPECT_EQ(online_session().phase, SessionPhase::looking_up);
    EXPECT_STREQ(online_progress_line(), "looking up silent.test");
    // The frames go on while the name server is silent, and CONNECT starts nothing more.
    ui_frames(30);
    click_at(60.0f, 360.0f);  // CONNECT, inactive
    EXPECT_EQ(online_session().phase, SessionPhase::looking_up);
    EXPECT_EQ(resolver_calls, 1);
    EXPECT_FALSE(resolver_released);
    click_at(60.0f, 460.0f);  // BACK
    EXPECT_EQ(menu_page, MenuPage::online);
    EXPECT_EQ(online_session().phase, SessionPhase::idle);
    // The late answer is dropped.
    resolver_released = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ui_frames(3);
    EXPECT_EQ(online_session().phase, SessionPhase::idle);
    EXPECT_STREQ(online_notice(), "");
}

// A joined peer floods every kind of message at up to 10,000 a second each (the
// sender shares this thread, so it reaches what the machine allows; the rate is
// printed): the game goes on drawing, Escape still pauses, the heap stays within 64 MB
// of where it was and the log stays short. Pause messages get a window of their own:
// the other player may resume, so Escape is not checked under them.
TEST_F(OnlineMenu, AFloodOfEveryKindOfMessageLeavesTheGameResponsive) {
    auto joiner = std::make_unique<OnlineSession>();
    auto round = [&] {
        ui_frame();
        session_update(*joiner, clock_now());
        if (session_can_step(*joiner)) {
            FrameInput in;
            if (joiner->rollback.frame == 0) in.buttons = input_join | input_jump;
            session_step(*joiner, in, clock_now());
        }
    };
    host_from_menu_with(*joiner, round);
    ASSERT_EQ(joiner->phase, SessionPhase::playing);

    // One encoded packet of each kind, as a hostile joiner would send it.
    std::vector<std::vector<std::uint8_t>> kinds;
    auto add = [&](const Message &m) {
        std::vector<std::uint8_t> bytes(max_packet_bytes);
        ByteWriter w{bytes.data(), bytes.size()};
        ASSERT_TRUE(encode_message(m, w));
        bytes.resize(w.size);
        kinds.push_back(bytes);
    };
    auto m = std::make_unique<Message>();
    for (MessageType t : {MessageType::hello, MessageType::welcome, MessageType::refuse, MessageType::inputs,
                          MessageType::checksum, MessageType::state}) {
        m->type = t;
        m->frame = 60;
        m->sum = 7;
        m->count = 1;
        m->step_dt = 1.0 / 60.0;
        m->state = rollback_current(joiner->rollback);
        add(*m);
    }
    kinds.push_back({99, 1, 2, 3});  // not a message at all
    m->type = MessageType::pause;
    m->paused = false;
    m->by_player = 2;
    std::vector<std::uint8_t> pause_kind;
    add(*m);
    pause_kind = kinds.back();
    kinds.pop_back();

    // Sends what is due at 10,000 a second per kind since the start (at most 25 ms of
    // sending per round, so the sender's own cost does not stall the test's rounds);
    // returns the longest frame of the game.
    auto flood = [&](const std::vector<std::vector<std::uint8_t>> &what, double seconds, bool press_escape) {
        const double start = clock_now();
        double longest = 0.0;
        std::uint64_t sent = 0;
        int frames = 0;
        bool escape_pressed = false;
        while (clock_now() - start < seconds && joiner->phase == SessionPhase::playing) {
            const auto due = static_cast<std::uint64_t>((clock_now() - start) * 10000.0);
            const double burst = clock_now();
            for (; sent < due && clock_now() - burst < 0.025; ++sent) {
                for (const auto &bytes : what) {
                    transport_send(joiner->peer, input_channel, bytes.data(), bytes.size(), false);
                }
            }
            transport_flush(joiner->transport);
            const double frame_start = clock_now();
            ui_frame();
            longest = std::max(longest, clock_now() - frame_start);
            ++frames;
            session_update(*joiner, clock_now());
            if (session_can_step(*joiner)) session_step(*joiner, FrameInput{}, clock_now());
            if (press_escape && !escape_pressed && clock_now() - start > 1.0) {
                tap_key(KEY_ESCAPE);
                escape_pressed = true;
                EXPECT_EQ(game_state.screen_state, ScreenState::paused) << "Escape pauses under the flood";
                tap_key(KEY_ESCAPE);
                EXPECT_EQ(game_state.screen_state, ScreenState::match);
            }
        }
        // A peer that floods drowns its own inputs too: the match may end, but only so.
        if (online_session().phase != SessionPhase::playing) {
            EXPECT_STREQ(session_end_text(online_session()), "the other player stopped responding");
        }
        EXPECT_TRUE(escape_pressed || !press_escape);
        std::printf("flood of %zu kinds: %.0f of each a second sent, %d frames in %.1f s, longest %.3f s\n",
                    what.size(), static_cast<double>(sent) / (clock_now() - start), frames, clock_now() - start,
                    longest);
        return longest;
    };

    test_support::LogCapture log;
    const std::size_t heap_before = heap_in_use();
    const double longest = flood(kinds, 10.0, true);
    EXPECT_LT(longest, 0.5) << "a frame took this long under the flood";
    double longest_pause = 0.0;
    if (joiner->phase == SessionPhase::playing) {
        longest_pause = flood({pause_kind}, 2.0, false);
        EXPECT_LT(longest_pause, 0.5);
    }
    const std::size_t heap_after = heap_in_use();
    EXPECT_LT(heap_after, heap_before + (64u << 20)) << heap_before << " bytes before, " << heap_after << " after";
    EXPECT_LT(testing_captured_log().size(), 40u);
    std::printf("flood: longest frame %.3f s, heap %+.1f MB, %zu log lines\n", std::max(longest, longest_pause),
                (static_cast<double>(heap_after) - static_cast<double>(heap_before)) / 1048576.0,
                testing_captured_log().size());
    session_drop(*joiner);
}

TEST_F(OnlineMenu, TheJoinPageListsAGameHostedOnThisNetworkAndAClickJoinsIt) {
    auto host = std::make_unique<OnlineSession>();
    SessionConfig c;
    c.port = 0;
    session_host(*host, c, clock_now());
    ASSERT_EQ(host->phase, SessionPhase::listening);
    BeaconSender beacon;
    ASSERT_TRUE(beacon_sender_open(beacon, online_beacon, host->transport.port));
    auto round = [&] {
        ui_frame();
        beacon_sender_update(beacon, clock_now());
        session_update(*host, clock_now());
    };
    open_online_page();
    click_at(60.0f, 360.0f);  // JOIN
    for (int i = 0; i < 300 && online_heard_games().count == 0; ++i) round();
    ASSERT_EQ(online_heard_games().count, 1);
    const HeardGame &g = online_heard_games().games[0];
    EXPECT_STREQ(g.address, "127.0.0.1");
    EXPECT_EQ(g.port, host->transport.port);
    click_at(660.0f, 320.0f);  // the game's line
    EXPECT_EQ(std::string(online_address), "127.0.0.1:" + std::to_string(host->transport.port));
    for (int i = 0; i < 500 && game_state.screen_state != ScreenState::match; ++i) round();
    EXPECT_EQ(game_state.screen_state, ScreenState::match);
    EXPECT_EQ(host->phase, SessionPhase::playing);
    beacon_sender_close(beacon);
    session_drop(*host);
}

TEST_F(OnlineMenu, AMatchHostedFromTheMenuPausesOnBothSidesAndEndsWhenTheOtherLeaves) {
    open_online_page();
    click_at(60.0f, 260.0f);  // HOST
    ASSERT_EQ(online_session().phase, SessionPhase::listening);
    auto joiner = std::make_unique<OnlineSession>();
    SessionConfig c;
    session_join(*joiner, ("127.0.0.1:" + std::to_string(online_session().transport.port)).c_str(), c, clock_now());

    // One game frame, and the other machine's round: its player joins at once.
    auto round = [&] {
        ui_frame();
        session_update(*joiner, clock_now());
        if (session_can_step(*joiner)) {
            FrameInput in;
            if (joiner->rollback.frame == 0) in.buttons = input_join | input_jump;
            session_step(*joiner, in, clock_now());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    };
    auto rounds_until = [&](auto done, int limit) {
        for (int i = 0; i < limit && !done(); ++i) round();
        return done();
    };
    ASSERT_TRUE(rounds_until([] { return game_state.screen_state == ScreenState::match; }, 500));
    EXPECT_TRUE(online_match_running());
    EXPECT_EQ(menu_page, MenuPage::main);
    // This machine's player joins with Space, like in a LOCAL match.
    testing_key_down(KEY_SPACE);
    round();
    testing_key_up(KEY_SPACE);
    ASSERT_TRUE(rounds_until([] { return game_state.joined[0] && game_state.joined[1]; }, 500));

    session_pause(*joiner, true, clock_now());
    ASSERT_TRUE(rounds_until([] { return game_state.screen_state == ScreenState::paused; }, 500));
    EXPECT_EQ(online_session().paused_by, 2);
    session_pause(*joiner, false, clock_now());
    ASSERT_TRUE(rounds_until([] { return game_state.screen_state == ScreenState::match; }, 500));

    tap_key(KEY_ESCAPE);
    ASSERT_TRUE(rounds_until([&] { return joiner->paused; }, 500));
    EXPECT_EQ(joiner->paused_by, 1);
    EXPECT_EQ(game_state.screen_state, ScreenState::paused);
    tap_key(KEY_ESCAPE);
    ASSERT_TRUE(rounds_until([&] { return !joiner->paused; }, 500));

    session_leave(*joiner);
    ASSERT_TRUE(rounds_until([] { return online_session().phase == SessionPhase::ended; }, 500));
    EXPECT_STREQ(session_end_text(online_session()), "the other player left");
    EXPECT_EQ(game_state.screen_state, ScreenState::match) << "the line shows over the match a while";
    const double start = clock_now();
    while (game_state.screen_state != ScreenState::menu && clock_now() - start < 10.0) round();
    EXPECT_EQ(game_state.screen_state, ScreenState::menu);
    EXPECT_EQ(menu_page, MenuPage::online);
    EXPECT_STREQ(online_notice(), "the other player left");
    EXPECT_FALSE(online_match_running());
}

}  // namespace
