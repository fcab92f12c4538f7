#include <cstdio>

#include "app/frame_loop.h"
#include "net/online.h"
#include "replay/replay.h"

int main(int argc, char **argv) {
    const char *why = nullptr;
    ReplayOptions replay{};
    if (!take_replay_options(argc, argv, replay, why)) {
        std::fprintf(stderr, "vorbel: %s\n%s\n", why, online_usage);
        return 2;
    }
    switch (parse_online_options(argc, argv, online_options, why)) {
    case CommandLine::help:
        std::printf("%s\n", online_usage);
        return 0;
    case CommandLine::bad:
        std::fprintf(stderr, "vorbel: %s\n%s\n", why, online_usage);
        return 2;
    case CommandLine::run:
        break;
    }
    if (replay.play != nullptr) {
        // A bad file is said before any window opens.
        const ReplayError e = replay_load(replay.play);
#if !defined(__EMSCRIPTEN__)
        if (e != ReplayError::none) {
            std::fprintf(stderr, "vorbel: %s: %s\n", replay.play, replay_error_text(e));
            return 2;
        }
#endif
        // The page opens on the title, which says why the replay did not play.
        if (e == ReplayError::none) replay_request_playback();
    }
    if (replay.record != nullptr) replay_set_record_path(replay.record);
    return run_game();
}
