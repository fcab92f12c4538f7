#include "net/protocol.h"

void write_input(ByteWriter &w, FrameInput in) {
    w.i8(in.move_x);
    w.i8(in.move_z);
    w.u8(in.buttons);
}

FrameInput read_input(ByteReader &r) {
    FrameInput in;
    in.move_x = r.i8();
    in.move_z = r.i8();
    in.buttons = r.u8();
    if (!input_in_range(in)) r.fail();
    return in;
}

bool encode_message(const Message &m, ByteWriter &w) {
    w.u8(static_cast<std::uint8_t>(m.type));
    switch (m.type) {
    case MessageType::hello:
        w.u32(net_magic);
        w.u16(m.protocol);
        w.u16(m.rules);
        break;
    case MessageType::welcome:
        w.u16(m.protocol);
        w.u16(m.rules);
        w.u64(m.seed);
        w.f64(m.step_dt);
        break;
    case MessageType::refuse:
        w.u8(static_cast<std::uint8_t>(m.reason));
        w.u16(m.protocol);
        w.u16(m.rules);
        break;
    case MessageType::inputs:
        if (m.count > max_inputs_per_packet) return false;
        w.u32(m.ack);
        w.u32(m.first);
        w.u8(static_cast<std::uint8_t>(m.count));
        for (std::uint32_t i = 0; i < m.count; ++i) write_input(w, m.inputs[i]);
        break;
    case MessageType::checksum:
        w.u32(m.frame);
        w.u64(m.sum);
        break;
    case MessageType::state:
        w.u32(m.frame);
        write_snapshot(w, m.state);
        break;
    case MessageType::pause:
        w.boolean(m.paused);
        w.u8(m.by_player);
        break;
    case MessageType::leave:
        break;
    default:
        return false;
    }
    return w.ok();
}

bool decode_message(const std::uint8_t *data, std::size_t size, Message &out) {
    if (data == nullptr || size == 0 || size > max_packet_bytes) return false;
    ByteReader r{data, size};
    const std::uint8_t type = r.u8();
    out.type = static_cast<MessageType>(type);
    switch (out.type) {
    case MessageType::hello:
        if (r.u32() != net_magic) return false;
        out.protocol = r.u16();
        out.rules = r.u16();
        // Anything after the versions is a later protocol's: a Hello is read as far
        // as this one knows, so that a mismatch can still be told apart and refused.
        return !r.failed;
    case MessageType::welcome: {
        out.protocol = r.u16();
        out.rules = r.u16();
        out.seed = r.u64();
        out.step_dt = r.f64();
        if (out.step_dt < 0.0 || out.step_dt > 0.15) return false;
        break;
    }
    case MessageType::refuse: {
        const std::uint8_t reason = r.u8();
        if (reason != static_cast<std::uint8_t>(RefuseReason::versions) &&
            reason != static_cast<std::uint8_t>(RefuseReason::busy))
            return false;
        out.reason = static_cast<RefuseReason>(reason);
        out.protocol = r.u16();
        out.rules = r.u16();
        break;
    }
    case MessageType::inputs:
        out.ack = r.u32();
        out.first = r.u32();
        out.count = r.u8();
        if (out.count > max_inputs_per_packet) return false;
        // Frame numbers count up from 0 and never wrap in a match.
        if (out.first > 0xFFFFFFFFu - max_inputs_per_packet) return false;
        for (std::uint32_t i = 0; i < out.count; ++i) out.inputs[i] = read_input(r);
        break;
    case MessageType::checksum:
        out.frame = r.u32();
        out.sum = r.u64();
        break;
    case MessageType::state:
        out.frame = r.u32();
        return read_snapshot(r, out.state);
    case MessageType::pause:
        out.paused = r.boolean();
        out.by_player = r.u8();
        if (out.by_player != 1 && out.by_player != 2) return false;
        break;
    case MessageType::leave:
        break;
    default:
        return false;
    }
    return r.done();
}
