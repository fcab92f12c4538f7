// The program's frame: scaled and capped delta time, the update in its fixed order,
// then the drawing in its fixed order.
#pragma once

#include "app/frame_clock.h"
#include "render/view_layer.h"  // frame_clear_color

// frame × game_speed, capped at max_frame_delta when strictly greater or NaN.
double scaled_frame_delta(float frame_time, double game_speed);

void run_frame();
void update_game(double dt);
void draw_game();
// The loop's stop condition, evaluated before each frame.
bool should_stop();
// init_app, the loop, deinit_app; the process's exit code.
int run_game();
