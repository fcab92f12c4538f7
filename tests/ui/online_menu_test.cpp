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
