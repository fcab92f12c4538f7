// Games on this network: a hosting game says so in a small UDP datagram once a
// second on a port of its own, and the JOIN page lists the games it hears. What is
// heard is untrusted like any packet: length- and range-checked, read a few at a
// time, and only a handful listed. A game heard steadily, about once a second, is
// listed before one heard once or in bursts, so a flood of forged beacons can neither
// push a real game out nor keep it from showing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

inline constexpr std::uint16_t default_beacon_port = 24871;
inline constexpr std::size_t max_beacon_name = 32;
inline constexpr std::size_t max_beacon_bytes = 6 + 6 + 1 + max_beacon_name;
// Games listed at once; the JOIN page shows them a page at a time.
inline constexpr int max_heard_games = 16;
inline constexpr double beacon_interval = 1.0;
// A game not heard for this long has stopped hosting.
inline constexpr double heard_game_lifetime = 3.5;

struct Beacon {
    char name[max_beacon_name + 1] = {};  // printable ASCII, 1..32 characters
    std::uint16_t protocol = 0;
    std::uint16_t rules = 0;
    std::uint16_t port = 0;  // the game's own port, 1..65535
};

// "VORBEL", protocol, rules and port (little-endian), the name's length and the name.
std::size_t encode_beacon(const Beacon &b, std::uint8_t *out, std::size_t capacity);
// False for anything but one whole beacon with every field in range.
bool parse_beacon(const std::uint8_t *data, std::size_t size, Beacon &out);

// Where beacons go and are listened for. The address is normally the broadcast one;
// VORBEL_BEACON_ADDRESS sets another (tests keep it on 127.255.255.255) or "off",
// and VORBEL_BEACON_PORT another port.
struct BeaconConfig {
    bool enabled = true;
    char address[48] = "255.255.255.255";
    std::uint16_t port = default_beacon_port;
};
BeaconConfig beacon_config_from_env();

struct BeaconSender {
    int fd = -1;
    double last_sent = -1e9;
    std::size_t size = 0;
    std::uint8_t bytes[max_beacon_bytes]{};
    std::uint32_t to_host = 0;  // network byte order
    std::uint16_t to_port = 0;
};

// Opens the socket and makes the beacon for a game on `game_port`, named after this
// machine. False (and nothing sent, ever) when beacons are off or the socket fails.
bool beacon_sender_open(BeaconSender &s, const BeaconConfig &config, std::uint16_t game_port);
// Sends once every beacon_interval.
void beacon_sender_update(BeaconSender &s, double now);
void beacon_sender_close(BeaconSender &s);

// How steadily a game has been heard; the list shows the steady ones first.
enum class Heard : std::uint8_t { steadily, once, in_bursts };

struct HeardGame {
    char name[max_beacon_name + 1] = {};
    char address[16] = {};  // dotted IPv4, where the beacon came from
    std::uint16_t port = 0;
    double first_heard = 0.0;
    double last_heard = 0.0;
    Heard heard = Heard::once;
    std::uint32_t from = 0;  // the address, network byte order
};

// One sender remembered by a hash of its address and game port, long enough to tell
// a game that calls once a second from a flood of one-off or rapid beacons.
struct BeaconSource {
    std::uint32_t address = 0;  // network byte order; 0: a free slot
    std::uint16_t port = 0;
    std::uint8_t beats = 0;   // beacons about a second apart in a row, up to 255
    std::uint8_t burst = 0;   // beacons in the second that began at burst_start
    float last_heard = 0.0f;  // seconds since the listener began
    float burst_start = 0.0f;
};
// A power of two, many times the senders a flood can make in a second: a real game's
// memory outlives the second until its next beacon.
inline constexpr int beacon_source_slots = 1 << 16;

struct BeaconListener {
    int fd = -1;
    std::uint16_t protocol = 0;  // only games this one can play are listed
    std::uint16_t rules = 0;
    HeardGame games[max_heard_games]{};  // steady ones first, then by when first heard
    int count = 0;
    std::uint32_t refused = 0;   // datagrams that were not a beacon of a game we can join
    std::uint32_t unlisted = 0;  // beacons of games left out: bursts, or no room
    double epoch = 0.0;          // the time BeaconSource's times count from
    bool epoch_set = false;
    std::uint32_t salt = 0;  // hashes the sources unpredictably from outside
    // beacon_source_slots of them, made at the first beacon heard, freed at close.
    std::unique_ptr<BeaconSource[]> sources;
};

bool beacon_listener_open(BeaconListener &l, const BeaconConfig &config, std::uint16_t protocol, std::uint16_t rules);
// Reads what arrived, within a small budget of datagrams and time per call and per
// sender (the rest wait, or overflow in the socket), and forgets games not heard
// lately.
void beacon_listener_update(BeaconListener &l, double now);
void beacon_listener_close(BeaconListener &l);
// Records a beacon heard from `address` (dotted IPv4; for the listener and its tests).
void hear_beacon(BeaconListener &l, const std::uint8_t *data, std::size_t size, const char *address, double now);
