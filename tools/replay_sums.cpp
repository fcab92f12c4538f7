// Plays a replay without a window and prints the match record's checksum after each
// frame, the same checksum the two machines of an online match compare. Built for the
// desktop and, with emscripten, for node: the two outputs must be the same.
//   replay_sums [--any-versions] [--fields FRAME] FILE
// --any-versions plays a recording of other rules too: the inputs still drive a match,
// which is all a comparison of two builds needs. --fields prints every field of the
// record after that frame instead.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/effects.h"
#include "app/game_state.h"
#include "gameplay/buttons.h"
#include "net/match_state.h"
#include "render/model_registry.h"
#include "replay/replay.h"

namespace {

ModelInstance player_instances[2]{};
ModelInstance button_instances[button_count]{};
ModelInstance beam_instances[beam_count]{};
ReplayFrame frames[replay_max_frames];

// The court as plain records, as the game lays it out, with no models to draw.
void set_up_court() {
    for (int i = 0; i < 2; ++i) {
        player_instances[i].position = i == 0 ? player1_start : player2_start;
        game_state.players[i].instance = &player_instances[i];
    }
    for (int i = 0; i < button_count; ++i) {
        button_instances[i].position = button_position(i);
        init_button(game_state.buttons[i], &button_instances[i], i);
    }
    for (int i = 0; i < beam_count; ++i) {
        beam_instances[i].rotation_axis = {0, 1, 0};
        init_beam(game_state.beams[i], &beam_instances[i]);
    }
}

// Every field of the record after a frame, by name, with its bits: where two builds
// part, the first field that differs is the one to look at.
struct PrintField {
    static void bits(const char *owner, const char *name, const void *v, std::size_t n) {
        std::uint64_t b = 0;
        std::memcpy(&b, v, n);
        std::printf("%s %s %0*llx\n", owner, name, static_cast<int>(2 * n), static_cast<unsigned long long>(b));
    }
    void operator()(const Vec3d &v, const Vec3d &, Field f) const {
        bits(f.owner, f.name, &v.x, 8);
        bits(f.owner, f.name, &v.y, 8);
        bits(f.owner, f.name, &v.z, 8);
    }
    template <class T>
    void operator()(const T &v, const T &, Field f) const {
        bits(f.owner, f.name, &v, sizeof v);
    }
};

}  // namespace

int main(int argc, char **argv) {
    bool any_versions = false;
    long fields_at = -1;
    const char *path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--any-versions") == 0) {
            any_versions = true;
        } else if (std::strcmp(argv[i], "--fields") == 0 && i + 1 < argc) {
            fields_at = std::strtol(argv[++i], nullptr, 10);
        } else {
            path = argv[i];
        }
    }
    if (path == nullptr) {
        std::fprintf(stderr, "usage: replay_sums [--any-versions] [--fields FRAME] FILE\n");
        return 2;
    }
    ReplayView view{ReplayHeader{}, frames, replay_max_frames};
    ReplayError e = load_replay(path, view);
    if (e == ReplayError::none && !any_versions) e = replay_versions_match(view.header);
    if (e != ReplayError::none) {
        std::fprintf(stderr, "replay_sums: %s: %s\n", path, replay_error_text(e));
        return 1;
    }
    set_up_court();
    // Nothing is shown or heard: there is nowhere to show it.
    effects_gate.held = true;
    replay_start_match(view.header);
    std::printf("frames %u kind %u\n", view.header.frames, static_cast<unsigned>(view.header.kind));
    MatchSnapshot s;
    for (std::uint32_t f = 0; f < view.header.frames; ++f) {
        replay_step(frames[f], view.header.step);
        capture_match(s);
        if (fields_at >= 0) {
            if (f + 1 != static_cast<std::uint32_t>(fields_at)) continue;
            visit_match_fields(s, s, PrintField{});
            return 0;
        }
        std::printf("%u %016llx\n", f + 1, static_cast<unsigned long long>(snapshot_checksum(s)));
    }
    return 0;
}
