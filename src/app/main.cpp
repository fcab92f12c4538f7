#include <cstdio>

#include "app/frame_loop.h"
#include "net/online.h"

int main(int argc, char **argv) {
    const char *why = nullptr;
    if (!parse_online_options(argc, argv, online_options, why)) {
        std::fprintf(stderr, "vorbel: %s\nusage: vorbel [--port N] [--input-delay N]\n", why);
        return 2;
    }
    return run_game();
}
