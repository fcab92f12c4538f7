// The meeting server's datagrams, shared by the game and vorbel-server: a hosting game
// asks for a room and gets a short code, a joining game sends the code and both learn
// each other's addresses, and when no direct path answers the server relays. Punches
// between the two games use the same form. Pure code, no sockets: the fuzzer and the
// server's rules take it alone.
//
// Every meeting datagram starts with meet_magic. Its first two bytes read as an ENet
// header would claim a compressed packet, which neither game asks for, so the one socket
// can carry both and nothing is mistaken for the other.
#pragma once

#include <cstddef>
#include <cstdint>

#include "net/bytes.h"

inline constexpr std::uint16_t meet_default_port = 24872;
inline constexpr std::uint8_t meet_magic[4] = {0xff, 0xff, 'V', 'M'};
inline constexpr std::uint16_t meet_version = 1;
inline constexpr int room_code_length = 6;
// No O (0), I (1) or L: a code read out over a call is typed back right.
inline constexpr char room_code_alphabet[] = "ABCDEFGHJKMNPQRSTUVWXYZ";
inline constexpr int room_code_letters = sizeof room_code_alphabet - 1;
inline constexpr int max_local_addresses = 4;
inline constexpr std::size_t meet_header_bytes = 4 + 1 + 8;  // magic, type, token
inline constexpr std::size_t max_meet_bytes = 64;

// An IPv4 address and port, both in host order.
struct MeetAddress {
    std::uint32_t ip = 0;
    std::uint16_t port = 0;
};
inline bool operator==(const MeetAddress &a, const MeetAddress &b) { return a.ip == b.ip && a.port == b.port; }

// A browser page reaches the server over a WebSocket, not UDP; the server gives each such
// connection an address in 0.0.0.0/8, which no datagram from the Internet can carry, and
// introduces it by that address. Nothing can be punched to it: a game met with one asks
// for the relay at once.
inline bool is_page_address(const MeetAddress &a) { return a.ip != 0 && a.ip < (1u << 24); }

enum class MeetType : std::uint8_t {
    // game -> server (each carries the token of the server's last challenge, or 0)
    host = 1,   // open my room, or keep it alive
    join = 2,   // the room with this code
    relay = 3,  // no direct path: carry this room's datagrams
    close = 4,  // my room is done
    // server -> game
    challenge = 10,  // echo this token to be answered
    room = 11,       // your room's code and your public address
    introduce = 12,  // the other game's public and local addresses; token: the meeting's id
    no_room = 13,    // no live room has that code (or it has its two games)
    slow_down = 14,  // too many attempts from this address
    full = 15,       // the server holds all the rooms it may
    relaying = 16,   // the room's datagrams now go through the server
    versions = 17,   // the server speaks another meet_version
    // game <-> game; token: the meeting's id
    punch = 20,
    punch_ack = 21,
};

struct MeetMessage {
    MeetType type = MeetType::host;
    std::uint64_t token = 0;
    std::uint16_t version = meet_version;       // host, join
    char code[room_code_length + 1] = {};       // join, relay, room, introduce, no_room, relaying
    MeetAddress address{};                      // room: yours; introduce: the other game's public one
    MeetAddress locals[max_local_addresses]{};  // host, join, introduce: addresses inside a home
    std::uint8_t local_count = 0;
};

// True when the datagram starts with the magic (it may still be malformed).
bool is_meet_datagram(const std::uint8_t *data, std::size_t size);
// Writes `m`; 0 when it does not fit or a field is out of range.
std::size_t encode_meet(const MeetMessage &m, std::uint8_t *out, std::size_t capacity);
// Reads one whole datagram. False for anything but an exact, in-range message.
bool decode_meet(const std::uint8_t *data, std::size_t size, MeetMessage &out);
// A typed code, spaces around and lower case allowed, as the canonical upper-case code
// in `out`; false when it is not six letters of the alphabet.
bool normalize_room_code(const char *text, char (&out)[room_code_length + 1]);
// "a.b.c.d:port"
void format_meet_address(const MeetAddress &a, char *out, std::size_t capacity);
