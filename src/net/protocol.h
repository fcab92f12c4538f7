// The messages two machines exchange during an online match, and their wire form.
// Every message is one byte of type and its fields, little-endian. Everything read
// from the other machine is length- and range-checked before use.
#pragma once

#include <cstddef>
#include <cstdint>

#include "net/bytes.h"
#include "net/match_state.h"

inline constexpr std::uint32_t net_magic = 0x4c425256u;  // "VRBL" on the wire
// The message layout. A Hello keeps its layout whatever this becomes.
inline constexpr std::uint16_t protocol_version = 1;
// The match's rules: two builds with different rules would step different states
// from the same inputs, so they must not play each other.
inline constexpr std::uint16_t rules_version = 1;
inline constexpr std::uint16_t default_port = 24870;
inline constexpr std::uint32_t max_inputs_per_packet = 64;
inline constexpr std::size_t max_packet_bytes = max_state_bytes + 64;

// ENet channels: control messages arrive reliably and in order; inputs go unreliable
// and sequenced (a late packet is dropped; every packet repeats what is unconfirmed).
inline constexpr std::uint8_t control_channel = 0;
inline constexpr std::uint8_t input_channel = 1;
inline constexpr std::size_t channel_count = 2;

enum class MessageType : std::uint8_t {
    hello = 1,     // joiner -> host: who I am
    welcome = 2,   // host -> joiner: the match's seed and step
    refuse = 3,    // host -> joiner: why not
    inputs = 4,    // both: my inputs from `first` on, and how many of yours I have
    checksum = 5,  // both: the checksum of a confirmed state
    state = 6,     // host -> joiner: the whole confirmed state, after a mismatch
    pause = 7,     // both: paused or resumed, and by whom
    leave = 8,     // both: I am going
};

enum class RefuseReason : std::uint8_t { versions = 1, busy = 2 };

struct Message {
    MessageType type = MessageType::leave;
    // hello, welcome, refuse
    std::uint16_t protocol = 0;
    std::uint16_t rules = 0;
    // welcome
    std::uint64_t seed = 0;
    double step_dt = 0.0;
    // refuse
    RefuseReason reason = RefuseReason::versions;
    // inputs
    std::uint32_t ack = 0;
    std::uint32_t first = 0;
    std::uint32_t count = 0;
    FrameInput inputs[max_inputs_per_packet]{};
    // checksum, state
    std::uint32_t frame = 0;
    std::uint64_t sum = 0;
    MatchSnapshot state{};
    // pause
    bool paused = false;
    std::uint8_t by_player = 1;  // 1 or 2
};

// One frame's input as the wire and replay files keep it: three bytes. Reading fails
// the reader on an input no controller can give.
void write_input(ByteWriter &w, FrameInput in);
FrameInput read_input(ByteReader &r);

// Writes `m`; false if it does not fit.
bool encode_message(const Message &m, ByteWriter &w);
// Reads one whole packet into `out`. False for an unknown type, a wrong length, or
// any field out of range; `out` is then not to be used.
bool decode_message(const std::uint8_t *data, std::size_t size, Message &out);
