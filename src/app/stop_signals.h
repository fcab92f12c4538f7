// SIGTERM and SIGINT as a request to leave. The loop sees the first one between
// frames and the game closes as after EXIT; a frame stuck in the driver (a shader that
// never ends, a display that stopped answering) cannot see it, so a second signal, or
// stop_grace_seconds without the process ending, ends the process at once with a line.
#pragma once

inline constexpr double stop_grace_seconds = 1.5;

// Installs the handlers; before the window, so the window library keeps them.
void watch_stop_signals();
// The signal that asked the game to leave, 0 while none has.
int stop_signal_received();
// The line for a signal the loop has seen, once.
void log_stop_signal();
