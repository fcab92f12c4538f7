#include <cstdio>

#include "app/frame_loop.h"
#include "net/online.h"

int main(int argc, char **argv) {
    const char *why = nullptr;
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
    return run_game();
}
