// The title screen: "VORBEL" over the main, play and settings pages.
#pragma once

#include <cstdint>

enum class OnlineOutcome : std::uint8_t;  // net/online.h

// online: HOST, JOIN, BACK; hosting: waiting for a player; joining: the address box.
enum class MenuPage : std::uint8_t { main = 0, play = 1, settings = 2, online = 3, hosting = 4, joining = 5 };

extern MenuPage menu_page;  // which page the title screen shows

// The menus of the game played in a browser tab, which cannot close its tab: EXIT stays
// on the title and says to close the tab. ONLINE plays through the server the page came
// from: until its link is open the page says why online play is off and offers only
// BACK; HOST shows no port or addresses and JOIN takes a room code alone. On in the
// browser build.
extern bool browser_menus;

inline constexpr const char *browser_exit_line = "close the tab to leave the game";
inline constexpr const char *browser_online_line = "reaching the server this page came from";

// The title screen's GUI pass: "VORBEL" and the page menu_page names.
void draw_title_screen();

// The JOIN page is on the title screen: online play listens for games meanwhile.
bool join_page_shown();
// The pages after what online play did this frame: a match that begins leaves the
// title on its main page; one that ends comes back to the ONLINE page.
void follow_online(OnlineOutcome outcome);
