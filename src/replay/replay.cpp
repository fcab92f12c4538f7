#include "replay/replay.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>
#if defined(__EMSCRIPTEN__)
#include <emscripten.h>
#endif

#include "app/effects.h"
#include "app/game_state.h"
#include "gameplay/input.h"
#include "gameplay/match.h"
#include "net/protocol.h"
#include "net/rollback.h"
#include "raylib.h"
#include "settings/settings.h"

namespace {

constexpr double step_seconds = 1.0 / 60.0;
// As online: a slow frame catches up with at most half a second of steps.
constexpr int max_steps_per_frame = 30;
constexpr Color line_color{0, 121, 241, 255};  // the HUD's
constexpr Color line_band{0, 0, 0, 170};
constexpr int line_size = 20;
constexpr int line_y = 150;  // under the online lines

// What a recorded or replayed match shows draws from here, never from the match, so
// the inputs alone give the match back whether or not anything was shown.
Rng effects{};

struct Recording {
    char path[512] = "";
    bool enabled = false;
    bool active = false;  // a match is being recorded
    bool local = false;   // stepped by update_recorded_match
    bool full = false;    // replay_max_frames reached: the rest is not kept
    ReplayHeader header{};
    double step_time = 0.0;
    bool pending_join[2] = {false, false};
    bool pending_restart = false;
};
Recording recording;
ReplayFrame recorded[replay_max_frames];

struct Playback {
    char path[512] = "";
    bool loaded = false;
    bool requested = false;
    bool playing = false;
    ReplayHeader header{};
    std::uint32_t next = 0;
    double step_time = 0.0;
};
Playback playback;
ReplayFrame replayed[replay_max_frames];
char notice[192] = "";

void own_effects() {
    seed_rng(effects, 0x5eedu);
    effects_gate.rng = &effects;
}

void release_effects() {
    if (effects_gate.rng == &effects) effects_gate.rng = nullptr;
}

void begin_recording(ReplayKind kind, std::uint64_t seed, double step, bool local) {
    recording.active = true;
    recording.local = local;
    recording.full = false;
    recording.header = ReplayHeader{};
    recording.header.protocol = protocol_version;
    recording.header.rules = rules_version;
    recording.header.kind = kind;
    recording.header.seed = seed;
    recording.header.step = step;
    recording.step_time = 0.0;
    recording.pending_join[0] = recording.pending_join[1] = false;
    recording.pending_restart = false;
}

void record_frame(const FrameInput inputs[2]) {
    ReplayHeader &h = recording.header;
    if (h.frames == replay_max_frames) {
        if (!recording.full) TraceLog(LOG_WARNING, "REPLAY: the recording is full; the rest of the match is not kept");
        recording.full = true;
        return;
    }
    recorded[h.frames].inputs[0] = inputs[0];
    recorded[h.frames].inputs[1] = inputs[1];
    h.frames += 1;
}

FrameInput read_side(int side) {
    const bool s = side == 1;
    FrameInput in;
    in.move_x = quantize_axis(axis_x(s));
    in.move_z = quantize_axis(axis_y(s));
    if (jump_down(s)) in.buttons |= input_jump;
    if (dash_down(s)) in.buttons |= input_dash;
    return in;
}

void draw_line(const char *text, int y) {
    const int width = MeasureText(text, line_size);
    DrawRectangle(0, y - 4, width + 16, line_size + 8, line_band);
    DrawText(text, 8, y, line_size, line_color);
}

const char *kind_name(ReplayKind k) {
    switch (k) {
    case ReplayKind::local:
        return "LOCAL";
    case ReplayKind::bot:
        return "BOT";
    case ReplayKind::online:
        return "online";
    }
    return "?";
}

}  // namespace

bool take_replay_options(int &argc, char **argv, ReplayOptions &out, const char *&why) {
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        const char **slot = nullptr;
        std::size_t n = 0;
        if (std::strncmp(arg, "--record", 8) == 0 && (arg[8] == '\0' || arg[8] == '=')) {
            slot = &out.record;
            n = 8;
        } else if (std::strncmp(arg, "--replay", 8) == 0 && (arg[8] == '\0' || arg[8] == '=')) {
            slot = &out.play;
            n = 8;
        }
        if (slot == nullptr) {
            argv[kept++] = argv[i];
            continue;
        }
        const char *file = arg[n] == '=' ? arg + n + 1 : (i + 1 < argc ? argv[++i] : nullptr);
        if (file == nullptr || file[0] == '\0') {
            why = slot == &out.record ? "--record needs a file name" : "--replay needs a file name";
            return false;
        }
        *slot = file;
    }
    argc = kept;
    if (out.record != nullptr && out.play != nullptr) {
        why = "--record and --replay cannot be given together";
        return false;
    }
    return true;
}

void replay_start_match(const ReplayHeader &h) {
    restore_match(initial_match_snapshot(h.seed));
    own_effects();
    if (h.kind == ReplayKind::bot) {
        enable_bot();
        game_state.joined[1] = true;  // as BOT on the title screen: the bot needs no join press
    } else {
        disable_bot();
    }
}

void replay_step(const ReplayFrame &f, double step) { step_online_frame(f.inputs, step); }

void replay_set_record_path(const char *path) {
    recording.enabled = false;
    if (std::strlen(path) >= sizeof recording.path) {
        TraceLog(LOG_WARNING, "REPLAY: cannot record to a path of more than %zu bytes; the game runs without recording",
                 sizeof recording.path - 1);
        return;
    }
    std::snprintf(recording.path, sizeof recording.path, "%s", path);
    // Tried now, so a player learns at once rather than after the match; a file made
    // only for the try is taken away again.
    struct stat st {};
    const bool existed = stat(path, &st) == 0;
    std::FILE *f = std::fopen(path, "ab");
    if (f == nullptr) {
        TraceLog(LOG_WARNING, "REPLAY: cannot record to %s (%s); the game runs without recording", path,
                 std::strerror(errno));
        return;
    }
    std::fclose(f);
    if (!existed) unlink(path);
    recording.enabled = true;
    TraceLog(LOG_INFO, "REPLAY: each match is recorded to %s when it ends", path);
}

bool replay_recording_enabled() { return recording.enabled; }

void replay_begin_local(bool bot) {
    if (!recording.enabled) return;
    const std::uint64_t seed = rng_next(game_state.rng);
    begin_recording(bot ? ReplayKind::bot : ReplayKind::local, seed, online_step_dt(settings.game_speed), true);
    replay_start_match(recording.header);
}

void replay_begin_online(std::uint64_t seed, double step) {
    if (!recording.enabled) return;
    begin_recording(ReplayKind::online, seed, step, false);
}

void replay_note_online(const Rollback &r) {
    if (!recording.active || recording.local) return;
    const std::uint32_t confirmed = rollback_confirmed(r);
    // A frame is recorded once both inputs are known for good; the window keeps more
    // than a match may run ahead of them.
    while (recording.header.frames < confirmed && !recording.full) {
        const std::uint32_t f = recording.header.frames;
        if (r.frame > f + input_window) {
            TraceLog(LOG_WARNING, "REPLAY: frame %u is no longer kept; the recording stops there", f);
            recording.full = true;
            break;
        }
        FrameInput inputs[2];
        inputs[r.local_side] = r.local[f % input_window];
        inputs[1 - r.local_side] = r.remote[f % input_window];
        record_frame(inputs);
    }
}

bool recording_local_match() { return recording.active && recording.local; }

void update_recorded_match() {
    // Joins and presses of this frame wait for the next step, which records them.
    const bool before[2] = {game_state.joined[0], game_state.joined[1]};
    poll_joins();
    for (int s = 0; s < 2; ++s) {
        if (!before[s] && game_state.joined[s]) recording.pending_join[s] = true;
    }
    if (match_over() && restart_pressed()) recording.pending_restart = true;
    if (pause_pressed(match_over())) {
        set_screen_state(ScreenState::paused);
        return;
    }
    recording.step_time += static_cast<double>(GetFrameTime());
    int steps = 0;
    while (recording.step_time >= step_seconds && steps < max_steps_per_frame) {
        FrameInput inputs[2] = {read_side(0), read_side(1)};
        for (int s = 0; s < 2; ++s) {
            if (recording.pending_join[s]) inputs[s].buttons |= input_join | input_jump;
            recording.pending_join[s] = false;
        }
        if (recording.pending_restart) inputs[0].buttons |= input_restart;
        recording.pending_restart = false;
        record_frame(inputs);
        step_online_frame(inputs, recording.header.step);
        recording.step_time -= step_seconds;
        ++steps;
    }
    if (recording.step_time > step_seconds) recording.step_time = step_seconds;
}

void replay_finish_recording() {
    if (!recording.active) return;
    recording.active = false;
    if (recording.header.frames == 0) return;
    const ReplayError e = save_replay(recording.path, recording.header, recorded);
    if (e != ReplayError::none) {
        TraceLog(LOG_WARNING, "REPLAY: %s: %s (%s)", recording.path, replay_error_text(e), std::strerror(errno));
        return;
    }
    TraceLog(LOG_INFO, "REPLAY: recorded a %s match of %u frames to %s", kind_name(recording.header.kind),
             recording.header.frames, recording.path);
}

ReplayError replay_load(const char *path) {
    ReplayView view{ReplayHeader{}, replayed, replay_max_frames};
    ReplayError e = load_replay(path, view);
    if (e == ReplayError::none) e = replay_versions_match(view.header);
    if (e != ReplayError::none) {
        std::snprintf(notice, sizeof notice, "%s", replay_error_text(e));
        TraceLog(LOG_WARNING, "REPLAY: %s: %s", path, replay_error_text(e));
        playback.loaded = false;
        return e;
    }
    std::snprintf(playback.path, sizeof playback.path, "%s", path);
    playback.header = view.header;
    playback.loaded = true;
    notice[0] = '\0';
    TraceLog(LOG_INFO, "REPLAY: %s holds a %s match of %u frames", path, kind_name(view.header.kind),
             view.header.frames);
    return e;
}

void replay_request_playback() {
    if (playback.loaded) playback.requested = true;
}

bool replay_playing() { return playback.playing; }

void update_replay_playback() {
    if (pause_pressed(match_over())) {
        set_screen_state(ScreenState::paused);
        return;
    }
    playback.step_time += static_cast<double>(GetFrameTime());
    int steps = 0;
    while (playback.step_time >= step_seconds && steps < max_steps_per_frame &&
           playback.next < playback.header.frames) {
        replay_step(replayed[playback.next], playback.header.step);
        playback.next += 1;
        playback.step_time -= step_seconds;
        ++steps;
    }
    if (playback.step_time > step_seconds) playback.step_time = step_seconds;
}

void follow_replay() {
    if (playback.playing && game_state.screen_state == ScreenState::menu) {
        playback.playing = false;
        release_effects();
        TraceLog(LOG_INFO, "REPLAY: playback ended at frame %u of %u", playback.next, playback.header.frames);
    }
    if (recording.active && game_state.screen_state == ScreenState::menu) {
        replay_finish_recording();
    }
    // Back on the title: a LOCAL match played next draws its effects from the game's generator again.
    if (game_state.screen_state == ScreenState::menu && !playback.playing && !recording.active) release_effects();
    if (playback.requested) {
        playback.requested = false;
        replay_finish_recording();
        if (game_state.screen_state != ScreenState::menu) set_screen_state(ScreenState::menu);
        set_screen_state(ScreenState::match);
        replay_start_match(playback.header);
        playback.playing = true;
        playback.next = 0;
        playback.step_time = 0.0;
        TraceLog(LOG_INFO, "REPLAY: playing %s", playback.path);
    }
}

void draw_replay_lines() {
    // update_match draws "game over" for an unrecorded match; these two do not run it.
    const bool own_step = playback.playing || recording_local_match();
    if (own_step && game_state.screen_state == ScreenState::match && match_over()) draw_game_over();
    if (playback.playing && game_state.screen_state != ScreenState::menu) {
        const double shown = playback.next * step_seconds;
        const double total = playback.header.frames * step_seconds;
        if (playback.next >= playback.header.frames) {
            draw_line(TextFormat("replay over (%.1f s); Escape, then MAIN MENU, for the title", total), line_y);
        } else {
            draw_line(TextFormat("replay %.1f s of %.1f s", shown, total), line_y);
        }
        return;
    }
    if (game_state.screen_state == ScreenState::menu && notice[0] != '\0') {
        draw_line(TextFormat("replay: %s", notice), GetScreenHeight() - 40);
    }
}

#if defined(__EMSCRIPTEN__)
// The page's "open a replay" button wrote the chosen file here (web/pre.js).
extern "C" EMSCRIPTEN_KEEPALIVE void vorbel_open_replay() {
    if (replay_load("/game/picked.vreplay") == ReplayError::none) replay_request_playback();
}
#endif
