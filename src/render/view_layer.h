// The 3D part of a frame (shadow pass, then models and particles through the view
// camera), kept from frame to frame on a layer of the screen's own kind and copied
// onto each frame; only the screen rectangles where something changed (scene_diff.h)
// are drawn again. Built against a raylib without such layers, or with the full
// redraw asked for, everything is drawn straight onto the screen every frame.
#pragma once

#include "raylib.h"

// The sky behind the scene: each frame clears to it, and so does the kept layer.
inline constexpr Color frame_clear_color{36, 152, 201, 0};

// The shadow pass and the main 3D pass of a frame, in that order.
void draw_world();
// Releases the layer; the next frame draws it whole.
void unload_view_layer();
