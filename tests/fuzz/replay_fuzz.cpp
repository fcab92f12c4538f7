// Throws arbitrary files at the replay reader. The first byte is not part of the file:
// when odd, the file's closing check is made to match, so the fuzzer reaches past it
// into the runs. Whatever comes in, the reader never reads or writes out of bounds,
// and a file it takes writes back to one it reads as the same match.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "replay/replay_file.h"

namespace {

[[noreturn]] void fail(const char *what) {
    std::fprintf(stderr, "replay fuzz: %s\n", what);
    std::abort();
}

// Small on purpose: the fuzzer's files are small, and "more frames than the caller
// holds" is a path of its own.
constexpr std::uint32_t capacity = 4096;
ReplayFrame frames[capacity];
ReplayFrame again[capacity];
std::uint8_t file[replay_header_bytes + capacity * replay_run_bytes + replay_trailer_bytes];
std::uint8_t written[sizeof file];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 1 || size - 1 > sizeof file) return 0;
    const bool fix_check = (data[0] & 1) != 0;
    const std::size_t n = size - 1;
    std::memcpy(file, data + 1, n);
    if (fix_check && n >= replay_trailer_bytes) {
        const std::uint64_t check = replay_check(file, n - replay_trailer_bytes);
        for (std::size_t i = 0; i < 8; ++i)
            file[n - replay_trailer_bytes + i] = static_cast<std::uint8_t>(check >> (8 * i));
    }
    ReplayView view{ReplayHeader{}, frames, capacity};
    if (decode_replay(file, n, view) != ReplayError::none) {
        if (view.header.frames != 0) fail("a refused file left frames behind");
        return 0;
    }
    const std::size_t w = encode_replay(view.header, frames, written, sizeof written);
    if (w == 0 || w > n) fail("a file read writes back longer than it was");
    if (w != replay_encoded_size(frames, view.header.frames)) fail("the encoded size is not what was written");
    ReplayView back{ReplayHeader{}, again, capacity};
    if (decode_replay(written, w, back) != ReplayError::none) fail("a written file does not read");
    if (back.header.frames != view.header.frames || back.header.seed != view.header.seed ||
        std::memcmp(&back.header.step, &view.header.step, sizeof(double)) != 0 || back.header.kind != view.header.kind)
        fail("the header reads back differently");
    for (std::uint32_t i = 0; i < view.header.frames; ++i) {
        if (!(again[i] == frames[i])) fail("a frame reads back differently");
    }
    return 0;
}
