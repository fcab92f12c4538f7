#include "app/stop_signals.h"

#if !defined(__EMSCRIPTEN__)
#include <signal.h>
#include <sys/time.h>
#include <unistd.h>
#endif

#include <csignal>
#include <cstring>

#include "raylib.h"

namespace {

volatile sig_atomic_t received = 0;

#if !defined(__EMSCRIPTEN__)
bool logged = false;

const char *signal_name(int sig) { return sig == SIGINT ? "SIGINT" : "SIGTERM"; }

// Only async-signal-safe calls from here on: write, _exit, setitimer.
void say(const char *text) {
    const std::size_t n = std::strlen(text);
    if (write(STDOUT_FILENO, text, n) < 0) return;
}

[[noreturn]] void leave_now(const char *why) {
    const int sig = received != 0 ? received : SIGTERM;
    say("WARNING: GAME: ");
    say(signal_name(sig));
    say(why);
    _exit(128 + sig);
}

void on_stop_signal(int sig) {
    if (received != 0) leave_now(" again; leaving at once, without closing anything\n");
    received = sig;
    // The watchdog: if the loop is stuck, nothing else would end the process.
    itimerval grace{};
    grace.it_value.tv_sec = static_cast<time_t>(stop_grace_seconds);
    grace.it_value.tv_usec =
        static_cast<suseconds_t>((stop_grace_seconds - static_cast<double>(grace.it_value.tv_sec)) * 1e6);
    setitimer(ITIMER_REAL, &grace, nullptr);
}

void on_watchdog(int) {
    leave_now(", and the game is still busy 1.5 s later (a frame stuck in the driver?); leaving at once\n");
}
#endif

}  // namespace

void watch_stop_signals() {
#if !defined(__EMSCRIPTEN__)
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    // Interrupted reads and writes go on; the loop checks the flag between frames.
    action.sa_flags = SA_RESTART;
    action.sa_handler = on_stop_signal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    action.sa_handler = on_watchdog;
    sigaction(SIGALRM, &action, nullptr);
#endif
}

int stop_signal_received() { return received; }

void log_stop_signal() {
#if !defined(__EMSCRIPTEN__)
    if (received == 0 || logged) return;
    logged = true;
    TraceLog(LOG_INFO, "GAME: %s received; leaving", signal_name(received));
#endif
}
