// How far one step of the game may move its clock, for the local frame and for the
// fixed step of an online match alike.
#pragma once

// A stall must not teleport players or skip timers: no step is longer than this.
inline constexpr double max_frame_delta = 0.15;
