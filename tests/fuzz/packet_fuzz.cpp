// Throws arbitrary bytes at the decoder of the other machine's packets: every input
// is either refused or read into a message whose values are in range and which
// writes back to the very same bytes. Crashes, leaks and sanitizer reports fail the run.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "net/protocol.h"

namespace {

[[noreturn]] void fail(const char *what) {
    std::fprintf(stderr, "packet fuzz: %s\n", what);
    std::abort();
}

Message message;
Message again;
std::uint8_t written[max_packet_bytes];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (!decode_message(data, size, message)) return 0;
    if (message.type == MessageType::inputs) {
        if (message.count > max_inputs_per_packet) fail("more inputs than a packet holds");
        for (std::uint32_t i = 0; i < message.count; ++i) {
            if (!input_in_range(message.inputs[i])) fail("an input out of range");
        }
    }
    if (message.type == MessageType::pause && message.by_player != 1 && message.by_player != 2) fail("a third player");
    if (message.type == MessageType::welcome && !(message.step_dt >= 0.0 && message.step_dt <= 0.15))
        fail("a step out of range");
    if (message.type == MessageType::state) {
        for (const Player &p : message.state.game.players) {
            if (p.lives < 0 || p.lives > 3) fail("lives out of range");
        }
        for (const Beam &b : message.state.game.beams) {
            if (b.dir > 3) fail("a beam direction out of range");
        }
    }

    ByteWriter w{written, sizeof written};
    if (!encode_message(message, w)) fail("a message read could not be written");
    // Every message but a hello (which may carry a later version's tail) is read
    // whole, so writing it gives back the input.
    if (message.type != MessageType::hello && (w.size != size || std::memcmp(written, data, size) != 0))
        fail("written back differently");
    if (!decode_message(written, w.size, again) || again.type != message.type) fail("what was written does not read");
    return 0;
}
