// The ONLINE pages of the title screen, and an online match played through them
// against a second machine run by the test in the same process.
#include <gtest/gtest.h>

#include <enet/enet.h>
#include <malloc.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "app/game_state.h"
#include "net/beacon.h"
#include "net/online.h"
#include "net/protocol.h"
#include "raygui.h"
#include "support/log_capture.h"
#include "support/resolvers.h"
#include "testing.h"
#include "ui/menu.h"
#include "ui/text_fit.h"
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

// The flood's schedule, the same in both processes.
constexpr double flood_seconds = 10.0;
constexpr double pause_flood_seconds = 2.0;
constexpr double flood_rate = 10000.0;  // of each kind, a second

// The hostile peer, in a child process of its own so that its sending does not share
// the game's thread: it joins, keeps its player's inputs coming (reliably, one frame
// every 1/60 s) and floods every kind of message, then pause messages alone.
void flood_from_child(std::uint16_t port) {
    auto joiner = std::make_unique<OnlineSession>();
    session_join(*joiner, ("127.0.0.1:" + std::to_string(port)).c_str(), SessionConfig{}, clock_now());
    for (int i = 0; i < 5000 && joiner->phase == SessionPhase::connecting; ++i) {
        session_update(*joiner, clock_now());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (joiner->phase != SessionPhase::playing) _exit(3);
    std::vector<std::vector<std::uint8_t>> kinds;
    auto m = std::make_unique<Message>();
    auto encode = [&] {
        std::vector<std::uint8_t> bytes(max_packet_bytes);
        ByteWriter w{bytes.data(), bytes.size()};
        if (!encode_message(*m, w)) _exit(4);
        bytes.resize(w.size);
        return bytes;
    };
    m->frame = 60;
    m->sum = 7;
    m->count = 1;
    m->step_dt = 1.0 / 60.0;
    m->state = initial_match_snapshot(1);
    for (MessageType t : {MessageType::hello, MessageType::welcome, MessageType::refuse, MessageType::inputs,
                          MessageType::checksum, MessageType::state}) {
        m->type = t;
        kinds.push_back(encode());
    }
    kinds.push_back({99, 1, 2, 3});  // not a message at all
    m->type = MessageType::pause;
    m->paused = false;
    m->by_player = 2;
    const std::vector<std::vector<std::uint8_t>> pauses{encode()};

    static NetEvent event;
    const double start = clock_now();
    std::uint64_t sent = 0;
    std::uint32_t frame = 0;
    for (double t = 0.0; t < flood_seconds + pause_flood_seconds; t = clock_now() - start) {
        const auto &what = t < flood_seconds ? kinds : pauses;
        for (const auto due = static_cast<std::uint64_t>(t * flood_rate); sent < due; ++sent) {
            // Unreliable, fragments and all, as a flooder would send them.
            for (const auto &bytes : what) {
                ENetPacket *packet =
                    enet_packet_create(bytes.data(), bytes.size(), ENET_PACKET_FLAG_UNRELIABLE_FRAGMENT);
                if (enet_peer_send(joiner->peer, input_channel, packet) < 0) enet_packet_destroy(packet);
            }
        }
        m->type = MessageType::inputs;
        m->ack = 0;
        for (; frame < static_cast<std::uint32_t>(t * 60.0); ++frame) {
            m->first = frame;
            m->inputs[0] = FrameInput{};
            const auto bytes = encode();
            transport_send(joiner->peer, control_channel, bytes.data(), bytes.size(), true);
        }
        while (transport_poll(joiner->transport, event)) {
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    std::printf("flood: %.0f messages of each kind a second sent\n", static_cast<double>(sent) / (clock_now() - start));
    std::fflush(stdout);
    _exit(0);
}

// A joined peer floods every kind of message at 10,000 a second each for 10 s, then
// pause messages for 2 s: the game goes on drawing, Escape still pauses, the heap
// stays within 64 MB of where it was and the log stays short. (The other player may
// resume a pause, so Escape is checked under the first flood, before any pause
// message is queued.)
TEST_F(OnlineMenu, AFloodOfEveryKindOfMessageLeavesTheGameResponsive) {
    open_online_page();
    click_at(60.0f, 260.0f);  // HOST
    ASSERT_EQ(online_session().phase, SessionPhase::listening);
    const std::uint16_t port = online_session().transport.port;
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) flood_from_child(port);

    test_support::LogCapture log;
    const std::size_t heap_before = heap_in_use();
    for (int i = 0; i < 3000 && game_state.screen_state != ScreenState::match; ++i) ui_frame();
    EXPECT_EQ(game_state.screen_state, ScreenState::match);
    const double start = clock_now();
    double longest = 0.0;
    int frames = 0;
    bool escape_checked = false;
    std::string ended;
    while (clock_now() - start < flood_seconds + pause_flood_seconds) {
        const double frame_start = clock_now();
        ui_frame();
        longest = std::max(longest, clock_now() - frame_start);
        ++frames;
        if (!escape_checked && clock_now() - start > 1.0 && online_session().phase == SessionPhase::playing) {
            escape_checked = true;
            tap_key(KEY_ESCAPE);
            EXPECT_EQ(game_state.screen_state, ScreenState::paused) << "Escape pauses under the flood";
            tap_key(KEY_ESCAPE);
            EXPECT_EQ(game_state.screen_state, ScreenState::match);
        }
        if (ended.empty() && online_session().phase == SessionPhase::ended) ended = session_end_text(online_session());
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the flooding peer failed: " << status;
    const std::size_t heap_after = heap_in_use();
    EXPECT_TRUE(escape_checked);
    // A peer that floods drowns its own inputs too (ENet drops what waits past its
    // bound, this peer's inputs with the rest): its match may end, but only so.
    if (!ended.empty()) {
        EXPECT_TRUE(ended == "the other player stopped responding" || ended == "connection lost") << ended;
    }
    EXPECT_LT(longest, 1.0) << "a frame took this long under the flood";
    EXPECT_GT(frames, 60);
    EXPECT_LT(heap_after, heap_before + (64u << 20)) << heap_before << " bytes before, " << heap_after << " after";
    EXPECT_LT(testing_captured_log().size(), 40u);
    std::printf("flood: %d frames in %.0f s, longest %.3f s, heap %+.1f MB, %zu log lines, match %s\n", frames,
                flood_seconds + pause_flood_seconds, longest,
                (static_cast<double>(heap_after) - static_cast<double>(heap_before)) / 1048576.0,
                testing_captured_log().size(), ended.empty() ? "went on" : ended.c_str());
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

TEST_F(OnlineMenu, TheJoinPageShowsManyGamesFourAtATimeAndShortensLongNames) {
    // Six games from long-named machines, as raw beacons on the loopback.
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(0x7fffffffu);
    to.sin_port = htons(online_beacon.port);
    auto announce = [&] {
        for (int g = 0; g < 6; ++g) {
            Beacon b;
            std::snprintf(b.name, sizeof b.name, "a-machine-name-of-32-characters%d", g);
            b.protocol = protocol_version;
            b.rules = rules_version;
            b.port = static_cast<std::uint16_t>(5001 + g);
            std::uint8_t bytes[max_beacon_bytes];
            const std::size_t n = encode_beacon(b, bytes, sizeof bytes);
            (void)sendto(fd, bytes, n, 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
        }
    };
    open_online_page();
    click_at(60.0f, 360.0f);  // JOIN
    for (int i = 0; i < 300 && online_heard_games().count < 6; ++i) {
        if (i % 20 == 0) announce();
        ui_frame();
    }
    close(fd);
    ASSERT_EQ(online_heard_games().count, 6);
    click_at(750.0f, 565.0f);  // ">": the second page, the fifth and sixth games
    click_at(660.0f, 320.0f);
    const HeardGame &fifth = online_heard_games().games[4];
    EXPECT_EQ(std::string(online_address), std::string(fifth.address) + ":" + std::to_string(fifth.port));
    online_cancel();

    // What the buttons say fits them: the name gives way to the address first.
    const Font font = GuiGetFont();
    const float room = 500.0f;
    struct Row {
        const char *name, *rest;
        const char *starts, *ends;
    };
    const Row rows[] = {
        {"kitchen-pc", "'s game, 192.168.1.20", "kitchen-pc's game, 192.168.1.20", ""},
        {"a-machine-name-of-32-characters0", "'s game, 255.255.255.255:65535", "a-",
         "...'s game, 255.255.255.255:65535"},
        {"x", "'s game, and a tail far too long to fit any button of the page at all", "x's game", "..."},
    };
    for (const Row &row : rows) {
        char text[96];
        fit_named_line(row.name, row.rest, font, 32.0f, 3.0f, room, text, sizeof text);
        const std::string t = text;
        EXPECT_LE(MeasureTextEx(font, text, 32.0f, 3.0f).x, room) << t;
        EXPECT_EQ(t.rfind(row.starts, 0), 0u) << t;
        EXPECT_TRUE(t.size() >= std::strlen(row.ends) &&
                    t.compare(t.size() - std::strlen(row.ends), std::string::npos, row.ends) == 0)
            << t;
    }
}

// A match hosted from the menu, with the other machine run by the test: its player
// joins at once.
struct HostedMatch {
    std::unique_ptr<OnlineSession> joiner = std::make_unique<OnlineSession>();
    bool restart_heard = false;  // the other machine got this one's restart press

    // One game frame, and the other machine's round.
    void round() {
        ui_frame();
        session_update(*joiner, clock_now());
        if (session_can_step(*joiner)) {
            FrameInput in;
            if (joiner->rollback.frame == 0) in.buttons = input_join | input_jump;
            session_step(*joiner, in, clock_now());
        }
        const Rollback &r = joiner->rollback;
        for (std::uint32_t f = r.remote_next > input_window ? r.remote_next - input_window : 0; f < r.remote_next;
             ++f) {
            if ((r.remote[f % input_window].buttons & input_restart) != 0) restart_heard = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    template <class Done>
    bool rounds_until(Done done, int limit) {
        for (int i = 0; i < limit && !done(); ++i) round();
        return done();
    }
    void start() {
        ASSERT_EQ(online_session().phase, SessionPhase::listening);
        SessionConfig c;
        session_join(*joiner, ("127.0.0.1:" + std::to_string(online_session().transport.port)).c_str(), c, clock_now());
        ASSERT_TRUE(rounds_until([] { return game_state.screen_state == ScreenState::match; }, 500));
    }
};

TEST_F(OnlineMenu, AMatchHostedFromTheMenuPausesOnBothSidesAndEndsWhenTheOtherLeaves) {
    open_online_page();
    click_at(60.0f, 260.0f);  // HOST
    HostedMatch match;
    ASSERT_NO_FATAL_FAILURE(match.start());
    OnlineSession *joiner = match.joiner.get();
    auto round = [&] { match.round(); };
    auto rounds_until = [&](auto done, int limit) { return match.rounds_until(done, limit); };
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

// The restart control of the controller this machine's player joined with goes to
// the other machine as the restart press both act on after game over: R on the
// keyboard, START on a gamepad, as in a LOCAL match.
TEST_F(OnlineMenu, RAndAPadsStartSendTheRestartPressToTheOtherMachine) {
    struct Row {
        const char *what;
        int pad;  // -1: the keyboard
    };
    for (const Row row : {Row{"R", -1}, Row{"START", 0}}) {
        SCOPED_TRACE(row.what);
        open_online_page();
        click_at(60.0f, 260.0f);  // HOST
        HostedMatch match;
        ASSERT_NO_FATAL_FAILURE(match.start());
        auto press = [&](int key, int button) {
            if (row.pad >= 0) testing_gamepad_button(row.pad, button, true);
            if (row.pad < 0) testing_key_down(key);
            match.round();
            if (row.pad >= 0) testing_gamepad_button(row.pad, button, false);
            if (row.pad < 0) testing_key_up(key);
        };
        if (row.pad >= 0) testing_gamepad_connect(row.pad, "test pad");
        press(keyboard_controls[0].jump, gamepad_controls.jump);
        ASSERT_TRUE(match.rounds_until([] { return game_state.joined[0] && game_state.joined[1]; }, 500));
        EXPECT_FALSE(match.restart_heard);
        press(restart_key, gamepad_controls.restart);
        EXPECT_TRUE(match.rounds_until([&] { return match.restart_heard; }, 500));
        if (row.pad >= 0) testing_gamepad_disconnect(row.pad);
        session_drop(*match.joiner);
        leave_online();
        set_screen_state(ScreenState::menu);
        menu_page = MenuPage::main;
    }
}

}  // namespace

namespace {

// Pixels of a drawn line where the online pages write theirs.
int line_ink(const Image &frame) {
    int ink = 0;
    for (int y = 560; y < 600; y += 2)
        for (int x = 50; x < 700; x += 2) ink += is_background(pixel_at(frame, x, y)) ? 0 : 1;
    return ink;
}

int ink_after_click(float x, float y) {
    Image frame = click_capture(x, y);
    UnloadImage(frame);
    frame = ui_frame_capture();
    const int ink = line_ink(frame);
    UnloadImage(frame);
    return ink;
}

// A browser tab cannot close itself nor send UDP: EXIT stays on the title with a line
// saying to close the tab, and ONLINE says it needs the desktop game, with only BACK.
TEST_F(OnlineMenu, InABrowserExitStaysOnTheTitleAndOnlineOffersOnlyBack) {
    struct Restore {
        ~Restore() { browser_menus = false; }
    } restore;
    browser_menus = true;
    EXPECT_GT(ink_after_click(60.0f, 460.0f), 0) << "EXIT shows no line";  // EXIT
    EXPECT_FALSE(game_state.quit_requested);
    EXPECT_EQ(menu_page, MenuPage::main);

    click_at(60.0f, 260.0f);                                                // PLAY
    EXPECT_GT(ink_after_click(60.0f, 360.0f), 0) << "ONLINE says nothing";  // ONLINE
    EXPECT_EQ(menu_page, MenuPage::online);
    EXPECT_EQ(ink_after_click(60.0f, 260.0f), 0) << "the exit line outlived its page";  // BACK, where HOST was
    EXPECT_EQ(menu_page, MenuPage::main);
    EXPECT_EQ(online_session().phase, SessionPhase::idle);
}

}  // namespace
