// The title screen: "VORBEL" over the main, play and settings pages.
#pragma once

#include <cstdint>

// online: HOST, JOIN, BACK; hosting: waiting for a player; joining: the address box.
enum class MenuPage : std::uint8_t { main = 0, play = 1, settings = 2, online = 3, hosting = 4, joining = 5 };

extern MenuPage menu_page;  // which page the title screen shows

// The title screen's GUI pass: "VORBEL" and the page menu_page names.
void draw_title_screen();
