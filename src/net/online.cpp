#include "net/online.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/game_state.h"
#include "gameplay/input.h"
#include "gameplay/match.h"
#include "raylib.h"
#include "replay/replay.h"
#include "settings/settings.h"

OnlineOptions online_options{};
BeaconConfig online_beacon = beacon_config_from_env();
char online_address[64] = "";
bool online_address_editing = false;

namespace {

constexpr double step_seconds = 1.0 / 60.0;
// A slow machine catches up with up to half a second of steps in one frame: every
// step is still 1/60 s, so nothing jumps, and the other machine is not held back.
constexpr int max_steps_per_frame = 30;
constexpr double end_line_seconds = 3.0;
constexpr Color line_color{0, 121, 241, 255};  // the HUD's
constexpr Color line_band{0, 0, 0, 170};
constexpr int line_size = 20;  // the HUD's

OnlineSession session;
bool in_match = false;
bool over_logged = false;  // this match's game over has its line
bool was_paused = false;
double ended_at = 0.0;
double step_time = 0.0;
InputDevice local_device = no_device;
bool pending_join = false;
bool pending_restart = false;
char notice[128] = "";
BeaconSender sender{};
bool sender_open = false;
BeaconListener listener{};
bool listener_open = false;

int local_side() { return session_local_side(session); }

void set_notice(const char *text) { std::snprintf(notice, sizeof notice, "%s", text); }

// Presses of this frame wait for the next step that takes them. The first controller
// that presses its join control while this machine's player is out of the match
// becomes its controller, and restarts with its restart control, as in a LOCAL match.
void collect_presses() {
    const int side = local_side();
    if (!game_state.joined[side]) {
        const InputDevice d = join_pressed_device();
        if (d != no_device) {
            local_device = d;
            pending_join = true;
        }
    }
    if (restart_pressed_by(local_device)) pending_restart = true;
}

FrameInput sample_input() {
    const int side = local_side();
    FrameInput in;
    if (local_device != no_device) {
        game_state.input_devices[side] = local_device;
        const bool s = side == 1;
        in.move_x = quantize_axis(axis_x(s));
        in.move_z = quantize_axis(axis_y(s));
        if (jump_down(s)) in.buttons |= input_jump;
        if (dash_down(s)) in.buttons |= input_dash;
    }
    if (pending_join) in.buttons |= input_join | input_jump;
    if (pending_restart) in.buttons |= input_restart;
    pending_join = pending_restart = false;
    return in;
}

void begin_match() {
    in_match = true;
    was_paused = false;
    step_time = 0.0;
    local_device = no_device;
    pending_join = pending_restart = false;
    over_logged = false;
    TraceLog(LOG_INFO, "ONLINE: the match begins; this machine plays player %d (%s)", session.rollback.local_side + 1,
             session_path_line(session));
    clear_online_notice();
    set_screen_state(ScreenState::match);
    rollback_load_current(session.rollback);
    replay_begin_online(session.config.seed, session.rollback.dt);
}

// Back to the title screen's ONLINE page with the reason shown there.
void end_match_to_menu() {
    in_match = false;
    replay_note_online(session.rollback);
    replay_finish_recording();
    set_notice(session_end_text(session));
    session_reset(session);
    if (game_state.screen_state != ScreenState::menu) set_screen_state(ScreenState::menu);
}

// Either machine's pause shows on both. A change of the session's flag came from the
// other machine; a change of the screen came from this one.
void sync_pause() {
    const bool screen_paused = game_state.screen_state == ScreenState::paused;
    if (session.paused != was_paused) {
        if (session.paused && !screen_paused) set_screen_state(ScreenState::paused);
        if (!session.paused && screen_paused) set_screen_state(ScreenState::match);
    } else if (screen_paused != session.paused) {
        session_pause(session, screen_paused, GetTime());
    }
    was_paused = session.paused;
}

void step_match_frames() {
    step_time += static_cast<double>(GetFrameTime());
    int steps = 0;
    while (step_time >= step_seconds && steps < max_steps_per_frame) {
        if (!session_can_step(session)) break;
        session_step(session, sample_input(), GetTime());
        step_time -= step_seconds;
        ++steps;
    }
    // Waiting for the other machine, or far behind: do not pile up a burst.
    if (step_time > max_steps_per_frame * step_seconds) step_time = max_steps_per_frame * step_seconds;
    replay_note_online(session.rollback);
    // The live state for drawing (a re-run or the last step left it there).
    rollback_load_current(session.rollback);
    // One line per match end, with how the two machines reached each other: both logs
    // name the same winner.
    const bool over = match_over();
    if (over && !over_logged) {
        TraceLog(LOG_INFO, "ONLINE: game over at frame %u: %s (%s)", session.rollback.frame, result_line(),
                 session_path_line(session));
    }
    over_logged = over;
}

// A host announces itself while it waits for a player; the JOIN page listens while
// it shows. Each socket opens once per stretch (a failure is not retried every frame).
void update_beacons(bool join_page_open) {
    // A page has no network of its own to announce itself on or listen to.
    if (page_transport) return;
    const double now = GetTime();
    if (session.phase == SessionPhase::listening) {
        if (!sender_open) beacon_sender_open(sender, online_beacon, session.transport.port);
        sender_open = true;
        beacon_sender_update(sender, now);
    } else if (sender_open) {
        beacon_sender_close(sender);
        sender_open = false;
    }
    if (join_page_open && !in_match) {
        if (!listener_open) beacon_listener_open(listener, online_beacon, protocol_version, rules_version);
        listener_open = true;
        beacon_listener_update(listener, now);
    } else if (listener_open) {
        beacon_listener_close(listener);
        listener_open = false;
    }
}

}  // namespace

CommandLine parse_online_options(int argc, char **argv, OnlineOptions &out, const char *&why) {
    static char unknown[96];
    why = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        const char *value = nullptr;
        bool port = false;
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) return CommandLine::help;
        if (std::strncmp(arg, "--server", 8) == 0 && (arg[8] == '\0' || arg[8] == '=')) {
            const char *server = arg[8] == '=' ? arg + 9 : (i + 1 < argc ? argv[++i] : nullptr);
            if (server == nullptr || !parse_address(server)) {
                why = "--server takes HOST or HOST:PORT";
                return CommandLine::bad;
            }
            std::snprintf(out.server, sizeof out.server, "%s", server);
            continue;
        }
        if (std::strncmp(arg, "--port=", 7) == 0) {
            port = true;
            value = arg + 7;
        } else if (std::strncmp(arg, "--input-delay=", 14) == 0) {
            value = arg + 14;
        } else if (std::strcmp(arg, "--port") == 0 || std::strcmp(arg, "--input-delay") == 0) {
            port = arg[2] == 'p';
            if (i + 1 >= argc) {
                why = port ? "--port needs a number" : "--input-delay needs a number";
                return CommandLine::bad;
            }
            value = argv[++i];
        } else {
            std::snprintf(unknown, sizeof unknown, "unknown option %.60s", arg);
            why = unknown;
            return CommandLine::bad;
        }
        char *end = nullptr;
        const long n = std::strtol(value, &end, 10);
        const bool number = *value != '\0' && end != nullptr && *end == '\0';
        if (port) {
            if (!number || n < 1 || n > 65535) {
                why = "--port takes a number from 1 to 65535";
                return CommandLine::bad;
            }
            out.port = static_cast<std::uint16_t>(n);
        } else {
            if (!number || n < 0 || n > static_cast<long>(max_input_delay)) {
                why = "--input-delay takes a number of frames from 0 to 10";
                return CommandLine::bad;
            }
            out.input_delay = static_cast<std::uint32_t>(n);
        }
    }
    return CommandLine::run;
}

namespace {

// The meeting server from the command line, else from the settings; none when unset
// or unreadable.
void set_server(SessionConfig &c) {
    const char *text = online_options.server[0] != '\0' ? online_options.server : settings.online_server;
    c.server.host[0] = '\0';
    // The page's server is the one it was loaded from, reached once its link is open.
    if (page_transport) text = page_link_state() == PageLink::open ? page_server_host : "";
    if (text[0] == '\0') return;
    Result<NetAddress> a = parse_address(text);
    if (!a) return;
    c.server = a.value();
    if (std::strchr(text, ':') == nullptr) c.server.port = meet_default_port;
}

}  // namespace

void online_host() {
    clear_online_notice();
    SessionConfig c;
    set_server(c);
    c.port = online_options.port;
    c.input_delay = online_options.input_delay;
    c.game_speed = settings.game_speed;
    c.seed = rng_next(game_state.rng);
    session_host(session, c, GetTime());
    if (session.phase == SessionPhase::ended) {
        set_notice(session_end_text(session));
        session_reset(session);
    }
}

void online_connect() {
    clear_online_notice();
    online_address_editing = false;
    SessionConfig c;
    c.port = online_options.port;
    c.input_delay = online_options.input_delay;
    c.resolve = online_options.resolve;
    c.lookup_limit = online_options.lookup_limit;
    set_server(c);
    if (page_transport && !session_takes_code(c, online_address)) {
        set_notice("a page joins by room code: six letters from the host's screen");
        return;
    }
    // A bare address means the port this game was told to use.
    char address[80];
    const bool has_port = std::strchr(online_address, ':') != nullptr;
    if (has_port || online_options.port == default_port || session_takes_code(c, online_address)) {
        std::snprintf(address, sizeof address, "%s", online_address);
    } else {
        std::snprintf(address, sizeof address, "%s:%u", online_address, static_cast<unsigned>(online_options.port));
    }
    session_join(session, address, c, GetTime());
    if (session.phase == SessionPhase::ended) {
        set_notice(session_end_text(session));
        session_reset(session);
    }
}

void online_cancel() {
    if (session.phase == SessionPhase::listening || session.phase == SessionPhase::connecting) session_leave(session);
    // A lookup still under way is abandoned: its answer, when it comes, is dropped.
    session_reset(session);
}

const BeaconListener &online_heard_games() { return listener; }

void online_join_heard(int index) {
    if (index < 0 || index >= listener.count) return;
    const HeardGame &g = listener.games[index];
    std::snprintf(online_address, sizeof online_address, "%s:%u", g.address, static_cast<unsigned>(g.port));
    online_connect();
}

const char *online_progress_line() {
    static char line[96];
    if (session.meet.phase != MeetPhase::none && session.peer == nullptr) return session_meet_line(session);
    if (session.phase == SessionPhase::looking_up) {
        std::snprintf(line, sizeof line, "looking up %s", session.target.host);
        return line;
    }
    return session.phase == SessionPhase::connecting ? "connecting" : "";
}

const OnlineSession &online_session() { return session; }

OnlineView online_view() {
    OnlineView v;
    v.phase = session.phase;
    v.port = session.transport.port;
    v.notice = online_notice();
    v.progress = online_progress_line();
    v.refused = session.other_versions_refused;
    v.their_protocol = session.other_protocol;
    v.their_rules = session.other_rules;
    v.our_protocol = session.config.protocol;
    v.our_rules = session.config.rules;
    v.room_code = session.hosting ? session.meet.code : "";
    v.meet_line = session.hosting ? session_meet_line(session) : "";
    SessionConfig c;
    set_server(c);
    v.has_server = c.server.host[0] != '\0';
    return v;
}
const char *online_notice() { return notice; }
void clear_online_notice() { notice[0] = '\0'; }

bool online_match_running() { return in_match; }

OnlineOutcome update_online(bool join_page_open) {
    update_beacons(join_page_open);
    if (session.phase == SessionPhase::idle) return OnlineOutcome::none;
    session_update(session, GetTime());

    if (!in_match) {
        if (session.phase == SessionPhase::playing) {
            begin_match();
            return OnlineOutcome::started;
        }
        if (session.phase == SessionPhase::ended) {
            // Connecting failed: the JOIN page shows why and stays.
            set_notice(session_end_text(session));
            session_reset(session);
        }
        return OnlineOutcome::none;
    }

    if (session.phase == SessionPhase::ended) {
        if (ended_at == 0.0) ended_at = GetTime();
        if (GetTime() - ended_at < end_line_seconds) return OnlineOutcome::none;
        ended_at = 0.0;
        end_match_to_menu();
        return OnlineOutcome::ended;
    }
    // MAIN MENU on the pause screen: this player leaves.
    if (game_state.screen_state == ScreenState::menu) {
        session_leave(session);
        in_match = false;
        session_reset(session);
        return OnlineOutcome::left;
    }
    sync_pause();
    if (game_state.screen_state == ScreenState::match) {
        collect_presses();
        step_match_frames();
    } else {
        rollback_load_current(session.rollback);
    }
    return OnlineOutcome::none;
}

void update_online_match() {
    if (session.phase == SessionPhase::playing && pause_pressed(match_over())) set_screen_state(ScreenState::paused);
}

namespace {

// The HUD's font and size over a dark band, readable on the sky and on the court.
void draw_line(const char *text, int y) {
    const int width = MeasureText(text, line_size);
    DrawRectangle(0, y - 4, width + 16, line_size + 8, line_band);
    DrawText(text, 8, y, line_size, line_color);
}

}  // namespace

void draw_online_lines() {
    if (!in_match) return;
    if (session.phase == SessionPhase::ended) {
        draw_line(session_end_text(session), 90);
        return;
    }
    if (game_state.screen_state == ScreenState::match && match_over()) draw_game_over();
    if (game_state.screen_state == ScreenState::match && session_waiting(session, GetTime())) {
        draw_line("waiting for the other player", 90);
    }
    // How the two machines reach each other, under the HUD's lines.
    const char *path = session_path_line(session);
    if (game_state.screen_state == ScreenState::match && path[0] != '\0') draw_line(path, 120);
    if (game_state.screen_state == ScreenState::paused && session.paused) {
        DrawText(TextFormat("paused by player %d", session.paused_by), 50, 190, 40, RAYWHITE);
    }
}

void leave_online() {
    if (session.phase != SessionPhase::idle && session.phase != SessionPhase::ended) session_leave(session);
    session_reset(session);
    in_match = false;
    beacon_sender_close(sender);
    beacon_listener_close(listener);
    sender_open = listener_open = false;
}
