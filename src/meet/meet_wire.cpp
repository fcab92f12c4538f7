#include "meet/meet_wire.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

bool in_alphabet(char c) { return c != '\0' && std::strchr(room_code_alphabet, c) != nullptr; }

bool valid_code(const char *code) {
    for (int i = 0; i < room_code_length; ++i) {
        if (!in_alphabet(code[i])) return false;
    }
    return code[room_code_length] == '\0';
}

bool has_code(MeetType t) {
    switch (t) {
    case MeetType::join:
    case MeetType::relay:
    case MeetType::room:
    case MeetType::introduce:
    case MeetType::no_room:
    case MeetType::relaying:
        return true;
    default:
        return false;
    }
}

bool has_locals(MeetType t) { return t == MeetType::host || t == MeetType::join || t == MeetType::introduce; }
bool has_version(MeetType t) { return t == MeetType::host || t == MeetType::join || t == MeetType::versions; }
bool has_address(MeetType t) { return t == MeetType::room || t == MeetType::introduce; }

bool known(std::uint8_t t) { return (t >= 1 && t <= 4) || (t >= 10 && t <= 17) || t == 20 || t == 21; }

void put_address(ByteWriter &w, const MeetAddress &a) {
    w.u32(a.ip);
    w.u16(a.port);
}

MeetAddress take_address(ByteReader &r) {
    MeetAddress a;
    a.ip = r.u32();
    a.port = r.u16();
    // Port 0 and the unspecified address reach nobody.
    if (a.port == 0 || a.ip == 0) r.fail();
    return a;
}

}  // namespace

bool is_meet_datagram(const std::uint8_t *data, std::size_t size) {
    return data != nullptr && size >= sizeof meet_magic && std::memcmp(data, meet_magic, sizeof meet_magic) == 0;
}

std::size_t encode_meet(const MeetMessage &m, std::uint8_t *out, std::size_t capacity) {
    if (!known(static_cast<std::uint8_t>(m.type)) || m.local_count > max_local_addresses) return 0;
    ByteWriter w{out, capacity};
    w.bytes(meet_magic, sizeof meet_magic);
    w.u8(static_cast<std::uint8_t>(m.type));
    w.u64(m.token);
    if (has_version(m.type)) w.u16(m.version);
    if (has_code(m.type)) {
        if (!valid_code(m.code)) return 0;
        w.bytes(m.code, room_code_length);
    }
    if (has_address(m.type)) put_address(w, m.address);
    if (has_locals(m.type)) {
        w.u8(m.local_count);
        for (int i = 0; i < m.local_count; ++i) put_address(w, m.locals[i]);
    }
    return w.ok() && w.size <= max_meet_bytes ? w.size : 0;
}

bool decode_meet(const std::uint8_t *data, std::size_t size, MeetMessage &out) {
    if (!is_meet_datagram(data, size) || size > max_meet_bytes) return false;
    ByteReader r{data, size};
    r.at = sizeof meet_magic;
    const std::uint8_t type = r.u8();
    if (!known(type)) return false;
    out = MeetMessage{};
    out.type = static_cast<MeetType>(type);
    out.token = r.u64();
    if (has_version(out.type)) out.version = r.u16();
    if (has_code(out.type)) {
        r.take(out.code, room_code_length);
        out.code[room_code_length] = '\0';
        if (!valid_code(out.code)) return false;
    }
    if (has_address(out.type)) out.address = take_address(r);
    if (has_locals(out.type)) {
        out.local_count = r.u8();
        if (out.local_count > max_local_addresses) return false;
        for (int i = 0; i < out.local_count; ++i) out.locals[i] = take_address(r);
    }
    return r.done();
}

bool normalize_room_code(const char *text, char (&out)[room_code_length + 1]) {
    if (text == nullptr) return false;
    while (*text == ' ') ++text;
    int n = 0;
    for (; text[n] != '\0' && text[n] != ' '; ++n) {
        if (n >= room_code_length) return false;
        out[n] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[n])));
    }
    for (const char *rest = text + n; *rest != '\0'; ++rest) {
        if (*rest != ' ') return false;
    }
    out[n] = '\0';
    return n == room_code_length && valid_code(out);
}

void format_meet_address(const MeetAddress &a, char *out, std::size_t capacity) {
    std::snprintf(out, capacity, "%u.%u.%u.%u:%u", (a.ip >> 24) & 255u, (a.ip >> 16) & 255u, (a.ip >> 8) & 255u,
                  a.ip & 255u, static_cast<unsigned>(a.port));
}
