// The pause screen: the frozen match darkened, "PAUSED", and either its own three
// buttons or the settings column.
#pragma once

// True while the pause screen shows the settings column. Only SETTINGS and the
// column's BACK change it, so the next pause reopens on the page last shown.
extern bool pause_settings_open;

void draw_pause_screen();
