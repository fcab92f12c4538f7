// Online play inside the game: the menu's HOST, JOIN and CONNECT, the match screen
// while the match runs over the network, the lines it shows, and the command-line
// options. One session at a time.
#pragma once

#include <cstdint>

#include "net/beacon.h"
#include "net/session.h"

struct OnlineOptions {
    std::uint16_t port = default_port;  // HOST listens here; JOIN's default port
    std::uint32_t input_delay = 2;      // frames
    char server[64] = "";               // --server: the meeting server (else the settings' one)
    // Not on the command line: how JOIN looks up a host name (tests give their own).
    NameResolver resolve = system_resolve;
    double lookup_limit = 10.0;
};

extern OnlineOptions online_options;
// Where this game announces itself while hosting, and listens on the JOIN page
// (from the environment at start; tests keep it on the loopback).
extern BeaconConfig online_beacon;
// The JOIN page's text box: "address" or "address:port", and whether it is edited.
extern char online_address[64];
extern bool online_address_editing;

enum class CommandLine : std::uint8_t { run, help, bad };

// Reads --port N, --input-delay N and --server HOST[:PORT] (also --port=N) and --help. `bad`, with a
// one-line reason in `why` (naming the option), for anything else or a value out of
// range.
CommandLine parse_online_options(int argc, char **argv, OnlineOptions &out, const char *&why);
inline constexpr const char *online_usage =
    "usage: vorbel [--port N] [--input-delay N] [--server HOST[:PORT]] [--record FILE | --replay FILE] [--help]";

// Menu actions.
void online_host();
void online_connect();
void online_cancel();

// What the title screen shows of online play.
struct OnlineView {
    SessionPhase phase = SessionPhase::idle;
    std::uint16_t port = 0;     // where this machine listens while hosting
    const char *notice = "";    // online_notice()
    const char *progress = "";  // online_progress_line()
    // While hosting: a player of another version was turned away, with both versions.
    bool refused = false;
    std::uint16_t their_protocol = 0, their_rules = 0;
    std::uint16_t our_protocol = 0, our_rules = 0;
    const char *room_code = "";  // while hosting through a meeting server
    const char *meet_line = "";  // what meeting through the server is doing
    bool has_server = false;     // a meeting server is set
};
// The line shown where no meeting server is set.
inline constexpr const char *no_server_line =
    "room codes need a meeting server: start with --server HOST or set online_server in settings.cfg";
OnlineView online_view();

// The session itself, for tests that play the other machine.
const OnlineSession &online_session();
// The games heard on this network while the JOIN page is open.
const BeaconListener &online_heard_games();
// JOIN with heard game `index`: its address goes in the box, and it connects.
void online_join_heard(int index);
// What JOIN is doing now ("looking up NAME", "connecting"), or empty.
const char *online_progress_line();
// A line left by the last attempt or match (a failure, the other player leaving).
const char *online_notice();
void clear_online_notice();

// What an update did, for the title screen to follow with its pages.
enum class OnlineOutcome : std::uint8_t {
    none,
    started,  // a match began: the match screen shows
    ended,    // the match ended: back on the title screen, online_notice() says why
    left,     // this player left from the pause screen
};

// Every frame, before the screen's own update: the network, the start and end of an
// online match, pause on both machines, and the fixed steps of the match. While the
// JOIN page shows, games announced on this network are listened for.
OnlineOutcome update_online(bool join_page_open);
// The match screen's update while the match is online (the pause key pauses both).
bool online_match_running();
void update_online_match();
// The online lines over the screen's 2D pass: game over, who paused, why it ended.
void draw_online_lines();
// At exit: tells the other machine, if any, that this one leaves.
void leave_online();
