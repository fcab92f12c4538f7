#include "ui/menu.h"

#include <cstdio>
#include <cstring>

#include "app/game_state.h"
#include "gameplay/match.h"
#include "net/online.h"
#include "raygui.h"
#include "replay/replay.h"
#include "ui/controls_page.h"
#include "ui/menu_focus.h"
#include "ui/menu_layout.h"
#include "ui/settings_menu.h"
#include "ui/text_fit.h"
#include "ui/theme.h"

MenuPage menu_page = MenuPage::main;
#if defined(__EMSCRIPTEN__)
bool browser_menus = true;
#else
bool browser_menus = false;
#endif

namespace {

// Large enough that a lower-case letter stands 9 px tall in the menu font.
constexpr int online_line_size = 42;

void open_play_page() { menu_page = MenuPage::play; }
void open_settings_page() { menu_page = MenuPage::settings; }
void back_to_main_page() { menu_page = MenuPage::main; }
// Shown under the main page after EXIT in a browser, until another page opens.
bool exit_line_shown = false;

void request_quit() {
    if (browser_menus) {
        exit_line_shown = true;
    } else {
        game_state.quit_requested = true;
    }
}

bool online_offered() { return !browser_menus || page_link_state() == PageLink::open; }

void open_online_page() {
    clear_online_notice();
    if (browser_menus) page_link_open();
    menu_page = MenuPage::online;
}

void back_to_online_page() {
    online_cancel();
    menu_page = MenuPage::online;
}

void start_hosting() {
    online_host();
    // A host that cannot listen stays on the page and says why.
    if (online_view().phase == SessionPhase::listening) menu_page = MenuPage::hosting;
}

// The page of the list of games heard that the JOIN page shows; it opens on the first.
int heard_page = 0;

void open_join_page() {
    clear_online_notice();
    heard_page = 0;
    menu_page = MenuPage::joining;
}

bool join_under_way() {
    const SessionPhase p = online_view().phase;
    return p == SessionPhase::looking_up || p == SessionPhase::connecting;
}

void connect_to_host() {
    if (!join_under_way()) online_connect();
}

// A line of the online pages, in the menu's font at a smaller size.
void online_line(float x, float y, const char *text) {
    if (text == nullptr || text[0] == '\0') return;
    GuiSetStyle(DEFAULT, TEXT_SIZE, online_line_size);
    GuiSetStyle(LABEL, TEXT_ALIGNMENT, TEXT_ALIGN_LEFT);
    GuiLabel(Rectangle{x, y, 900.0f, 40.0f}, text);
    GuiSetStyle(LABEL, TEXT_ALIGNMENT, TEXT_ALIGN_CENTER);
    GuiSetStyle(DEFAULT, TEXT_SIZE, menu_font_size);
}

void draw_address_lines(const OnlineView &v) {
    online_line(50.0f, 295.0f, TextFormat("port %u", static_cast<unsigned>(v.port)));
    char addresses[4][48];
    const int n = local_addresses(addresses, 4);
    char line[240] = "this machine: ";
    if (n == 0) std::strncat(line, "no network address", sizeof line - std::strlen(line) - 1);
    for (int i = 0; i < n; ++i) {
        if (i > 0) std::strncat(line, ", ", sizeof line - std::strlen(line) - 1);
        std::strncat(line, addresses[i], sizeof line - std::strlen(line) - 1);
    }
    online_line(50.0f, 340.0f, line);
}

void draw_hosting_lines() {
    const OnlineView v = online_view();
    online_line(50.0f, 250.0f, "waiting for a player");
    // A page is reached through its server alone: the room code is all there is to tell.
    if (!browser_menus) draw_address_lines(v);
    // The room code, large: read out over a call and typed on the other machine.
    if (v.room_code[0] != '\0') {
        GuiSetStyle(DEFAULT, TEXT_SIZE, 3 * online_line_size);
        GuiSetStyle(LABEL, TEXT_ALIGNMENT, TEXT_ALIGN_LEFT);
        GuiLabel(Rectangle{700.0f, 240.0f, 500.0f, 90.0f}, v.room_code);
        GuiSetStyle(LABEL, TEXT_ALIGNMENT, TEXT_ALIGN_CENTER);
        GuiSetStyle(DEFAULT, TEXT_SIZE, menu_font_size);
    }
    online_line(700.0f, 340.0f, v.has_server ? v.meet_line : "");
    if (!v.has_server) online_line(50.0f, 560.0f, no_server_line);
    if (v.refused) {
        online_line(50.0f, 385.0f,
                    TextFormat("refused a player with version %u.%u (this game is %u.%u)", v.their_protocol,
                               v.their_rules, v.our_protocol, v.our_rules));
    }
}

// The games heard on this network, beside the address box, four to a page, steady
// ones first: a click joins one.
constexpr int heard_per_page = 4;
constexpr MenuAction join_heard[heard_per_page] = {[] { online_join_heard(heard_page * heard_per_page + 0); },
                                                   [] { online_join_heard(heard_page * heard_per_page + 1); },
                                                   [] { online_join_heard(heard_page * heard_per_page + 2); },
                                                   [] { online_join_heard(heard_page * heard_per_page + 3); }};
void previous_heard_page() { heard_page -= heard_page > 0 ? 1 : 0; }
void next_heard_page() { heard_page += 1; }  // held in range where drawn

void draw_heard_games() {
    const BeaconListener &heard = online_heard_games();
    const int pages = (heard.count + heard_per_page - 1) / heard_per_page;
    if (heard_page >= pages) heard_page = pages > 0 ? pages - 1 : 0;
    online_line(650.0f, 250.0f, heard.count > 0 ? "games on this network" : "no games heard on this network");
    GuiSetStyle(DEFAULT, TEXT_SIZE, online_line_size);
    constexpr float width = 560.0f;
    set_button_size(width, 50.0f);
    begin_menu_column(650.0f, 300.0f, 10.0f);
    if (join_under_way()) GuiSetState(STATE_DISABLED);
    // raygui measures a little wider than MeasureTextEx: a margin on both sides.
    const float room =
        width - 2.0f * static_cast<float>(GuiGetStyle(BUTTON, BORDER_WIDTH) + GuiGetStyle(BUTTON, TEXT_PADDING) + 16);
    for (int i = 0; i < heard_per_page; ++i) {
        const int at = heard_page * heard_per_page + i;
        if (at >= heard.count) break;
        const HeardGame &g = heard.games[at];
        char rest[48];
        if (g.port == default_port)
            std::snprintf(rest, sizeof rest, "'s game, %s", g.address);
        else
            std::snprintf(rest, sizeof rest, "'s game, %s:%u", g.address, static_cast<unsigned>(g.port));
        char text[96];
        fit_named_line(g.name, rest, GuiGetFont(), static_cast<float>(online_line_size),
                       static_cast<float>(GuiGetStyle(DEFAULT, TEXT_SPACING)), room, text, sizeof text);
        menu_button(text, Rectangle{}, join_heard[i], ClickSound::click);
    }
    end_menu_column();
    if (pages > 1) {
        // Below the fourth place, whether or not this page fills it.
        const float y = 300.0f + heard_per_page * 60.0f;
        menu_button("<", Rectangle{650.0f, y, 60.0f, 50.0f}, previous_heard_page, ClickSound::click);
        menu_button(">", Rectangle{720.0f, y, 60.0f, 50.0f}, next_heard_page, ClickSound::click);
        online_line(800.0f, y + 5.0f, TextFormat("page %d of %d", heard_page + 1, pages));
    }
    GuiSetState(STATE_NORMAL);
    GuiSetStyle(DEFAULT, TEXT_SIZE, menu_font_size);
    set_button_size(250.0f, 75.0f);
}

void draw_join_box() {
    const Rectangle box = place_menu_control(Rectangle{0.0f, 0.0f, 500.0f, 75.0f}, 500.0f, 75.0f);
    GuiSetStyle(DEFAULT, TEXT_SIZE, online_line_size);
    // Enter in the box (or OK on the on-screen keyboard) connects, as CONNECT would.
    menu_text_box("ADDRESS", box, online_address, sizeof online_address, &online_address_editing, connect_to_host);
    if (online_address[0] == '\0' && !online_address_editing) {
        GuiSetStyle(LABEL, TEXT_ALIGNMENT, TEXT_ALIGN_LEFT);
        GuiLabel(Rectangle{box.x + 12.0f, box.y, box.width - 12.0f, box.height}, browser_menus ? "room code"
                                                                                 : online_view().has_server
                                                                                     ? "address or room code"
                                                                                     : "address or address:port");
        GuiSetStyle(LABEL, TEXT_ALIGNMENT, TEXT_ALIGN_CENTER);
    }
    GuiSetStyle(DEFAULT, TEXT_SIZE, menu_font_size);
}

// The page goes back to main before the match starts, so returning to the title
// screen later always opens on the main page.
void start_local_match() {
    set_screen_state(ScreenState::match);
    menu_page = MenuPage::main;
    replay_begin_local(false);
}

void start_bot_match() {
    set_screen_state(ScreenState::match);
    menu_page = MenuPage::main;
    enable_bot();
    game_state.joined[1] = true;  // the bot needs no join press; only player 1 waits
    replay_begin_local(true);
}

}  // namespace

void draw_title_screen() {
    // Opened from the settings page, over it.
    if (controls_page_open) {
        draw_controls_page();
        return;
    }
    GuiSetStyle(DEFAULT, TEXT_SPACING, 3);
    draw_screen_title("VORBEL");
    GuiSetStyle(DEFAULT, TEXT_SIZE, menu_font_size);
    set_button_size(250.0f, 75.0f);

    // Read once: an action changing the page shows from the next frame, and the rest
    // of this frame's page is still drawn.
    const MenuPage page = menu_page;
    if (page != MenuPage::main) exit_line_shown = false;
    begin_menu_column(50.0f, 250.0f, 25.0f);
    switch (page) {
    case MenuPage::main:
        menu_button("PLAY", Rectangle{}, open_play_page, ClickSound::click);
        menu_button("SETTINGS", Rectangle{}, open_settings_page, ClickSound::click);
        menu_button("EXIT", Rectangle{}, request_quit, ClickSound::click);
        break;
    case MenuPage::play:
        menu_button("LOCAL", Rectangle{}, start_local_match, ClickSound::echo);
        menu_button("ONLINE", Rectangle{}, open_online_page, ClickSound::click);
        menu_button("BOT", Rectangle{}, start_bot_match, ClickSound::echo);
        menu_button("BACK", Rectangle{}, back_to_main_page, ClickSound::click);
        break;
    case MenuPage::settings:
        draw_settings_column(back_to_main_page);
        break;
    case MenuPage::online:
        if (!online_offered()) {
            menu_button("BACK", Rectangle{}, back_to_main_page, ClickSound::click);
            break;
        }
        menu_button("HOST", Rectangle{}, start_hosting, ClickSound::click);
        menu_button("JOIN", Rectangle{}, open_join_page, ClickSound::click);
        menu_button("BACK", Rectangle{}, back_to_main_page, ClickSound::click);
        break;
    case MenuPage::hosting:
        break;
    case MenuPage::joining:
        draw_join_box();
        // Inactive while a lookup or a connection is under way; BACK abandons it.
        if (join_under_way()) GuiSetState(STATE_DISABLED);
        menu_button("CONNECT", Rectangle{}, connect_to_host, ClickSound::click);
        GuiSetState(STATE_NORMAL);
        menu_button("BACK", Rectangle{}, back_to_online_page, ClickSound::click);
        break;
    }
    end_menu_column();

    // The online pages' lines and the hosting page's CANCEL, below its lines.
    if (page == MenuPage::hosting) {
        draw_hosting_lines();
        begin_menu_column(50.0f, 450.0f, 25.0f);
        menu_button("CANCEL", Rectangle{}, back_to_online_page, ClickSound::click);
        end_menu_column();
    }
    // A page hears no games on the network and always has its server.
    if (page == MenuPage::joining && !browser_menus) draw_heard_games();
    if (page == MenuPage::joining && !online_view().has_server && !browser_menus) {
        online_line(50.0f, 605.0f, no_server_line);
    }
    if (page == MenuPage::joining && join_under_way()) {
        online_line(50.0f, 560.0f, online_view().progress);
    } else if (page == MenuPage::online && !online_offered()) {
        online_line(50.0f, 560.0f, page_link_state() == PageLink::failed ? page_link_why() : browser_online_line);
    } else if (page == MenuPage::online || page == MenuPage::joining) {
        online_line(50.0f, 560.0f, online_view().notice);
    } else if (page == MenuPage::main && exit_line_shown) {
        online_line(50.0f, 560.0f, browser_exit_line);
    }
    draw_menu_overlays();
}

bool join_page_shown() { return menu_page == MenuPage::joining && game_state.screen_state == ScreenState::menu; }

void follow_online(OnlineOutcome outcome) {
    if (outcome == OnlineOutcome::started) menu_page = MenuPage::main;
    if (outcome == OnlineOutcome::ended) menu_page = MenuPage::online;
}
