// The 3D part of a frame (shadow pass, then models and particles through the view
// camera), kept from frame to frame on a layer of the screen's own kind and copied
// onto each frame; only the screen rectangles where something changed are drawn
// again. Built against a raylib without such layers, or with full_redraw_every_frame,
// everything is drawn straight onto the screen every frame.
#pragma once

#include "render/damage.h"

struct ViewPassReport {
    bool layered = false;  // false: drawn straight onto the screen
    Damage damage{};       // screen pixels drawn again on the layer
};

// The shadow pass and the main 3D pass of a frame, in that order.
void draw_world();
const ViewPassReport &last_view_pass();

// Something was drawn for the screen before the frame began (text queued from the
// update step): it belongs under the 3D scene, so this frame is drawn straight.
void note_early_screen_drawing();

// The next frame draws the whole layer. unload_view_layer also releases it.
void forget_view_layer();
void unload_view_layer();
