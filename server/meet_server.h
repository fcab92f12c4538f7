// The meeting server's rules, apart from its socket: what each datagram from the open
// Internet makes it do. Everything it is sent is untrusted:
// - an address is answered with more than a challenge (no larger than what it sent)
//   only once it echoes a token, so a forged source gets nothing amplified;
// - join attempts and room openings are limited per source address;
// - a room's relay forwards only between the room's two addresses, under a byte budget;
// - memory is what max_rooms sets aside at the start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "meet/meet_wire.h"

struct ServerConfig {
    int max_rooms = 1024;
    double room_idle_seconds = 600.0;                  // a room no one refreshes ends
    double token_epoch_seconds = 60.0;                 // a token is good for one to two epochs
    std::uint32_t relay_bytes_per_second = 48 * 1024;  // per room, both directions together
    std::uint32_t relay_burst_bytes = 96 * 1024;
    // Per source address (its IPv4 address, whatever the port).
    double join_burst = 10.0;              // attempts at once
    double joins_per_second = 0.5;         // and then this many
    double open_burst = 4.0;               // rooms opened at once
    double opens_per_second = 1.0 / 30.0;  // and then this many
    // Browser pages, each a WebSocket connection with an address of its own (see
    // is_page_address), counted against the real address it comes from.
    int max_pages = 256;
    int pages_per_ip = 8;
    std::uint32_t page_messages_per_second = 240;  // what one page may send
    std::uint32_t page_message_burst = 480;
    std::uint32_t page_bytes_per_second = 64 * 1024;
    std::uint32_t page_byte_burst = 128 * 1024;
    std::uint64_t secret[2] = {0, 0};  // the tokens' key; the program draws it at random
    std::uint64_t code_seed = 0;       // where codes and meeting ids come from
};

struct Room {
    bool live = false;
    bool relaying = false;
    bool has_joiner = false;
    char code[room_code_length + 1] = {};
    MeetAddress host{};
    MeetAddress joiner{};
    MeetAddress host_locals[max_local_addresses]{};
    MeetAddress joiner_locals[max_local_addresses]{};
    std::uint8_t host_local_count = 0, joiner_local_count = 0;
    std::uint64_t meeting = 0;
    double last_active = 0.0;
    double relay_tokens = 0.0;  // bytes the relay may still forward
    double relay_refilled = 0.0;
    std::uint64_t relayed_bytes = 0, relay_dropped = 0;
};

struct SourceLimit {
    std::uint32_t ip = 0;
    bool used = false;
    double joins = 0.0, opens = 0.0;  // attempts left
    double refilled = 0.0;
};

struct PageSlot {
    bool used = false;
    std::uint16_t generation = 0;        // the address's port: a slot used again is another address
    std::uint32_t ip = 0;                // where the connection really comes from
    double messages = 0.0, bytes = 0.0;  // what it may still send
    double refilled = 0.0;
};

struct ServerCounters {
    std::uint64_t received = 0, malformed = 0, unverified = 0, forwarded = 0, forward_dropped = 0;
    std::uint64_t join_limited = 0, open_limited = 0, stray = 0;
    std::uint64_t page_limited = 0;
};

// One datagram to send: a reply in the server's scratch space, or the received
// datagram itself going on to the other game of a room.
struct ServerSend {
    MeetAddress to{};
    const std::uint8_t *data = nullptr;
    std::size_t size = 0;
};
inline constexpr int max_sends_per_datagram = 2;

struct ServerOutbox {
    ServerSend sends[max_sends_per_datagram]{};
    int count = 0;
    std::uint8_t scratch[max_sends_per_datagram][max_meet_bytes]{};
};

inline constexpr int source_sets = 4096;
inline constexpr int source_ways = 4;

struct MeetServer {
    ServerConfig config{};
    std::vector<Room> rooms;  // max_rooms, set aside at the start
    std::vector<int> free_rooms;
    std::unordered_map<std::uint64_t, int> by_address;  // host and joiner addresses
    std::unordered_map<std::uint64_t, int> by_code;
    std::vector<SourceLimit> sources;  // source_sets * source_ways
    std::vector<PageSlot> pages;       // max_pages, set aside at the start
    int live_rooms = 0;
    int live_pages = 0;
    std::uint64_t rng = 0;
    double last_sweep = 0.0;
    ServerCounters counters{};
    // One line per room event goes here (the program prints it with a time).
    void (*log)(const char *line) = nullptr;
};

void server_start(MeetServer &s, const ServerConfig &config);
// What the datagram from `from` makes the server send (in `out`).
void server_receive(MeetServer &s, const MeetAddress &from, const std::uint8_t *data, std::size_t size, double now,
                    ServerOutbox &out);
// Ends rooms idle too long; call about once a second.
void server_sweep(MeetServer &s, double now);
// The token an address must echo in this epoch (tests play the game's side with it).
std::uint64_t server_token(const MeetServer &s, const MeetAddress &a, double now);
const Room *server_room(const MeetServer &s, const char *code);

// A page's WebSocket from `ip` (host order): its address, or ip 0 when the server holds
// all the pages it may, or `ip` already has its share.
MeetAddress server_page_open(MeetServer &s, std::uint32_t ip, double now);
// The connection is gone: a room it hosted or joined ends with it.
void server_page_closed(MeetServer &s, const MeetAddress &page);
// The slot of a live page's address, or -1.
int server_page_slot(const MeetServer &s, const MeetAddress &page);
// Whether a message of `size` bytes from the page is within its rates (it is spent).
bool server_page_may_send(MeetServer &s, const MeetAddress &page, std::size_t size, double now);
