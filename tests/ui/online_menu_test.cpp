// The ONLINE pages of the title screen, and an online match played through them
// against a second machine run by the test in the same process.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "app/game_state.h"
#include "audio/sound_bank.h"
#include "net/online.h"
#include "support/resolvers.h"
#include "testing.h"
#include "ui/menu.h"
#include "ui_fixture.h"

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
