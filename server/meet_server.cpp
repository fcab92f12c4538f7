#include "meet_server.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// SipHash-2-4 of two words: tokens a forger cannot compute without the key.
std::uint64_t rotl(std::uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

void sip_round(std::uint64_t &v0, std::uint64_t &v1, std::uint64_t &v2, std::uint64_t &v3) {
    v0 += v1;
    v1 = rotl(v1, 13);
    v1 ^= v0;
    v0 = rotl(v0, 32);
    v2 += v3;
    v3 = rotl(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = rotl(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = rotl(v1, 17);
    v1 ^= v2;
    v2 = rotl(v2, 32);
}

std::uint64_t siphash(const std::uint64_t key[2], std::uint64_t a, std::uint64_t b) {
    std::uint64_t v0 = key[0] ^ 0x736f6d6570736575ull, v1 = key[1] ^ 0x646f72616e646f6dull;
    std::uint64_t v2 = key[0] ^ 0x6c7967656e657261ull, v3 = key[1] ^ 0x7465646279746573ull;
    for (std::uint64_t m : {a, b, std::uint64_t{16} << 56}) {
        v3 ^= m;
        sip_round(v0, v1, v2, v3);
        sip_round(v0, v1, v2, v3);
        v0 ^= m;
    }
    v2 ^= 0xff;
    for (int i = 0; i < 4; ++i) sip_round(v0, v1, v2, v3);
    return v0 ^ v1 ^ v2 ^ v3;
}

std::uint64_t address_key(const MeetAddress &a) { return (std::uint64_t{a.ip} << 16) | a.port; }

std::uint64_t code_key(const char *code) {
    std::uint64_t k = 0;
    for (int i = 0; i < room_code_length; ++i) k = (k << 8) | static_cast<unsigned char>(code[i]);
    return k;
}

std::uint64_t next_random(MeetServer &s) {
    // splitmix64 over a secret start: codes and meeting ids nobody can predict from outside.
    std::uint64_t z = (s.rng += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return siphash(s.config.secret, z ^ (z >> 31), 0x636f6465);
}

std::uint64_t token_for(const MeetServer &s, const MeetAddress &a, std::int64_t epoch) {
    const std::uint64_t t = siphash(s.config.secret, address_key(a), static_cast<std::uint64_t>(epoch));
    return t == 0 ? 1 : t;  // 0 means "no token yet"
}

std::int64_t epoch_of(const MeetServer &s, double now) {
    return static_cast<std::int64_t>(std::floor(now / s.config.token_epoch_seconds));
}

bool verified(const MeetServer &s, const MeetAddress &a, std::uint64_t token, double now) {
    const std::int64_t e = epoch_of(s, now);
    return token != 0 && (token == token_for(s, a, e) || token == token_for(s, a, e - 1));
}

void logf(MeetServer &s, const char *format, ...) __attribute__((format(printf, 2, 3)));
void logf(MeetServer &s, const char *format, ...) {
    if (s.log == nullptr) return;
    char line[200];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    s.log(line);
}

// A reply into the outbox's scratch space.
void reply(ServerOutbox &out, const MeetAddress &to, const MeetMessage &m) {
    if (out.count >= max_sends_per_datagram) return;
    const std::size_t n = encode_meet(m, out.scratch[out.count], sizeof out.scratch[out.count]);
    if (n == 0) return;
    out.sends[out.count] = ServerSend{to, out.scratch[out.count], n};
    out.count += 1;
}

MeetMessage message(MeetType type, const char *code = nullptr) {
    MeetMessage m;
    m.type = type;
    if (code != nullptr) std::memcpy(m.code, code, room_code_length + 1);
    return m;
}

// The limits of one source address: a set chosen by a keyed hash (no one can aim at a
// set), and in it the address's own entry or the one that has rested longest.
SourceLimit &source(MeetServer &s, std::uint32_t ip, double now) {
    // A page is charged to the address its connection comes from, with the datagrams
    // of that address: a second tab does not double the rates.
    if (const int slot = server_page_slot(s, MeetAddress{ip, 0}); slot >= 0) ip = s.pages[slot].ip;
    const std::size_t set = siphash(s.config.secret, ip, 0x736f75726365) % source_sets;
    SourceLimit *ways = &s.sources[set * source_ways];
    SourceLimit *pick = nullptr;
    for (int i = 0; i < source_ways && pick == nullptr; ++i) {
        if (ways[i].used && ways[i].ip == ip) pick = &ways[i];
    }
    if (pick == nullptr) {
        pick = &ways[0];
        for (int i = 1; i < source_ways; ++i) {
            if (!pick->used) break;
            if (!ways[i].used || ways[i].refilled < pick->refilled) pick = &ways[i];
        }
    }
    if (!pick->used || pick->ip != ip) {
        *pick = SourceLimit{ip, true, s.config.join_burst, s.config.open_burst, now};
    }
    const double dt = std::max(0.0, now - pick->refilled);
    pick->joins = std::min(s.config.join_burst, pick->joins + dt * s.config.joins_per_second);
    pick->opens = std::min(s.config.open_burst, pick->opens + dt * s.config.opens_per_second);
    pick->refilled = now;
    return *pick;
}

bool spend(double &tokens) {
    if (tokens < 1.0) return false;
    tokens -= 1.0;
    return true;
}

void forget_address(MeetServer &s, const MeetAddress &a, int index) {
    auto it = s.by_address.find(address_key(a));
    if (it != s.by_address.end() && it->second == index) s.by_address.erase(it);
}

void end_room(MeetServer &s, int index, const char *why) {
    Room &r = s.rooms[static_cast<std::size_t>(index)];
    logf(s, "room %s ended (%s); relayed %llu bytes, dropped %llu over the cap", r.code, why,
         static_cast<unsigned long long>(r.relayed_bytes), static_cast<unsigned long long>(r.relay_dropped));
    forget_address(s, r.host, index);
    if (r.has_joiner) forget_address(s, r.joiner, index);
    s.by_code.erase(code_key(r.code));
    r = Room{};
    s.free_rooms.push_back(index);
    s.live_rooms -= 1;
}

void copy_locals(const MeetMessage &m, MeetAddress *to, std::uint8_t &count) {
    count = m.local_count;
    for (int i = 0; i < m.local_count; ++i) to[i] = m.locals[i];
}

// Each side of the room learns the other's public address and local ones.
void introduce_to(const Room &r, const MeetAddress &to, const MeetAddress &other, const MeetAddress *locals,
                  std::uint8_t local_count, ServerOutbox &out) {
    MeetMessage m = message(MeetType::introduce, r.code);
    m.token = r.meeting;
    m.address = other;
    m.local_count = local_count;
    std::copy(locals, locals + max_local_addresses, m.locals);
    reply(out, to, m);
}

void introduce(const Room &r, ServerOutbox &out) {
    introduce_to(r, r.joiner, r.host, r.host_locals, r.host_local_count, out);
    introduce_to(r, r.host, r.joiner, r.joiner_locals, r.joiner_local_count, out);
}

void host_asks(MeetServer &s, const MeetAddress &from, const MeetMessage &m, double now, ServerOutbox &out) {
    auto it = s.by_address.find(address_key(from));
    if (it != s.by_address.end()) {
        Room &r = s.rooms[static_cast<std::size_t>(it->second)];
        if (!(r.host == from)) return;  // a joiner's address does not host
        r.last_active = now;
        MeetMessage answer = message(MeetType::room, r.code);
        answer.address = from;
        reply(out, from, answer);
        // The host may have missed its introduction: it goes again with every refresh.
        if (r.has_joiner && !r.relaying) {
            MeetMessage to_host = message(MeetType::introduce, r.code);
            to_host.token = r.meeting;
            to_host.address = r.joiner;
            to_host.local_count = r.joiner_local_count;
            std::copy(r.joiner_locals, r.joiner_locals + max_local_addresses, to_host.locals);
            reply(out, r.host, to_host);
        }
        return;
    }
    if (!spend(source(s, from.ip, now).opens)) {
        s.counters.open_limited += 1;
        reply(out, from, message(MeetType::slow_down));
        return;
    }
    if (s.free_rooms.empty()) {
        reply(out, from, message(MeetType::full));
        return;
    }
    const int index = s.free_rooms.back();
    s.free_rooms.pop_back();
    Room &r = s.rooms[static_cast<std::size_t>(index)];
    r = Room{};
    do {
        std::uint64_t x = next_random(s);
        for (int i = 0; i < room_code_length; ++i) {
            r.code[i] = room_code_alphabet[x % room_code_letters];
            x /= room_code_letters;
        }
    } while (s.by_code.count(code_key(r.code)) != 0);
    r.live = true;
    r.host = from;
    copy_locals(m, r.host_locals, r.host_local_count);
    r.last_active = now;
    s.by_code[code_key(r.code)] = index;
    s.by_address[address_key(from)] = index;
    s.live_rooms += 1;
    char where[32];
    format_meet_address(from, where, sizeof where);
    logf(s, "room %s opened by %s (%d rooms live)", r.code, where, s.live_rooms);
    MeetMessage answer = message(MeetType::room, r.code);
    answer.address = from;
    reply(out, from, answer);
}

void joiner_asks(MeetServer &s, const MeetAddress &from, const MeetMessage &m, double now, ServerOutbox &out) {
    if (!spend(source(s, from.ip, now).joins)) {
        s.counters.join_limited += 1;
        reply(out, from, message(MeetType::slow_down));
        return;
    }
    const auto it = s.by_code.find(code_key(m.code));
    Room *r = it == s.by_code.end() ? nullptr : &s.rooms[static_cast<std::size_t>(it->second)];
    if (r == nullptr || r->host == from || (r->has_joiner && !(r->joiner == from))) {
        reply(out, from, message(MeetType::no_room, m.code));
        return;
    }
    if (!r->has_joiner) {
        // An address belongs to one room at a time.
        if (s.by_address.count(address_key(from)) != 0) {
            reply(out, from, message(MeetType::no_room, m.code));
            return;
        }
        r->has_joiner = true;
        r->joiner = from;
        copy_locals(m, r->joiner_locals, r->joiner_local_count);
        r->meeting = next_random(s);
        s.by_address[address_key(from)] = it->second;
        char where[32];
        format_meet_address(from, where, sizeof where);
        logf(s, "room %s: %s joins", r->code, where);
    }
    r->last_active = now;
    introduce(*r, out);
}

void relay_asked(MeetServer &s, const MeetAddress &from, const MeetMessage &m, double now, ServerOutbox &out) {
    const auto it = s.by_address.find(address_key(from));
    Room *r = it == s.by_address.end() ? nullptr : &s.rooms[static_cast<std::size_t>(it->second)];
    if (r == nullptr || !r->has_joiner || std::strcmp(r->code, m.code) != 0) {
        reply(out, from, message(MeetType::no_room, m.code));
        return;
    }
    if (!r->relaying) {
        r->relaying = true;
        r->relay_tokens = s.config.relay_burst_bytes;
        r->relay_refilled = now;
        logf(s, "room %s: relaying", r->code);
    }
    r->last_active = now;
    reply(out, r->joiner, message(MeetType::relaying, r->code));
    reply(out, r->host, message(MeetType::relaying, r->code));
}

void control(MeetServer &s, const MeetAddress &from, const std::uint8_t *data, std::size_t size, double now,
             ServerOutbox &out) {
    MeetMessage m;
    if (!decode_meet(data, size, m)) {
        s.counters.malformed += 1;
        return;
    }
    const bool from_game =
        m.type == MeetType::host || m.type == MeetType::join || m.type == MeetType::relay || m.type == MeetType::close;
    if (!from_game) {
        s.counters.stray += 1;
        return;
    }
    if (!verified(s, from, m.token, now)) {
        // The only answer an unproven address gets, and never larger than what it sent.
        s.counters.unverified += 1;
        MeetMessage c = message(MeetType::challenge);
        c.token = token_for(s, from, epoch_of(s, now));
        std::uint8_t bytes[max_meet_bytes];
        if (encode_meet(c, bytes, sizeof bytes) <= size) reply(out, from, c);
        return;
    }
    if ((m.type == MeetType::host || m.type == MeetType::join) && m.version != meet_version) {
        MeetMessage v = message(MeetType::versions);
        reply(out, from, v);
        return;
    }
    switch (m.type) {
    case MeetType::host:
        host_asks(s, from, m, now, out);
        break;
    case MeetType::join:
        joiner_asks(s, from, m, now, out);
        break;
    case MeetType::relay:
        relay_asked(s, from, m, now, out);
        break;
    case MeetType::close: {
        const auto it = s.by_address.find(address_key(from));
        if (it != s.by_address.end() && s.rooms[static_cast<std::size_t>(it->second)].host == from) {
            end_room(s, it->second, "the host closed it");
        }
        break;
    }
    default:
        break;
    }
}

// A game's datagram for the other game of a relaying room, within the room's budget.
void forward(MeetServer &s, const MeetAddress &from, const std::uint8_t *data, std::size_t size, double now,
             ServerOutbox &out) {
    const auto it = s.by_address.find(address_key(from));
    if (it == s.by_address.end()) {
        s.counters.stray += 1;
        return;
    }
    Room &r = s.rooms[static_cast<std::size_t>(it->second)];
    if (!r.relaying) {
        s.counters.stray += 1;
        return;
    }
    const double dt = std::max(0.0, now - r.relay_refilled);
    r.relay_refilled = now;
    r.relay_tokens =
        std::min<double>(s.config.relay_burst_bytes, r.relay_tokens + dt * s.config.relay_bytes_per_second);
    if (r.relay_tokens < static_cast<double>(size)) {
        r.relay_dropped += size;
        s.counters.forward_dropped += 1;
        return;
    }
    r.relay_tokens -= static_cast<double>(size);
    r.relayed_bytes += size;
    r.last_active = now;
    s.counters.forwarded += 1;
    out.sends[out.count++] = ServerSend{r.host == from ? r.joiner : r.host, data, size};
}

}  // namespace

void server_start(MeetServer &s, const ServerConfig &config) {
    s.config = config;
    s.config.max_rooms = std::max(1, config.max_rooms);
    const auto n = static_cast<std::size_t>(s.config.max_rooms);
    s.rooms.assign(n, Room{});
    s.free_rooms.clear();
    s.free_rooms.reserve(n);
    for (int i = s.config.max_rooms - 1; i >= 0; --i) s.free_rooms.push_back(i);
    s.by_address.clear();
    s.by_address.reserve(2 * n);
    s.by_code.clear();
    s.by_code.reserve(n);
    s.sources.assign(static_cast<std::size_t>(source_sets) * source_ways, SourceLimit{});
    s.pages.assign(static_cast<std::size_t>(std::max(0, config.max_pages)), PageSlot{});
    s.live_rooms = 0;
    s.live_pages = 0;
    s.rng = config.code_seed;
    s.counters = ServerCounters{};
}

void server_receive(MeetServer &s, const MeetAddress &from, const std::uint8_t *data, std::size_t size, double now,
                    ServerOutbox &out) {
    out.count = 0;
    s.counters.received += 1;
    if (from.ip == 0 || from.port == 0) return;
    if (is_meet_datagram(data, size)) {
        control(s, from, data, size, now, out);
    } else {
        forward(s, from, data, size, now, out);
    }
}

void server_sweep(MeetServer &s, double now) {
    s.last_sweep = now;
    for (std::size_t i = 0; i < s.rooms.size(); ++i) {
        if (s.rooms[i].live && now - s.rooms[i].last_active > s.config.room_idle_seconds) {
            end_room(s, static_cast<int>(i), "idle");
        }
    }
}

std::uint64_t server_token(const MeetServer &s, const MeetAddress &a, double now) {
    return token_for(s, a, epoch_of(s, now));
}

const Room *server_room(const MeetServer &s, const char *code) {
    const auto it = s.by_code.find(code_key(code));
    return it == s.by_code.end() ? nullptr : &s.rooms[static_cast<std::size_t>(it->second)];
}

MeetAddress server_page_open(MeetServer &s, std::uint32_t ip, double now) {
    int free_slot = -1, same_ip = 0;
    for (std::size_t i = 0; i < s.pages.size(); ++i) {
        const PageSlot &p = s.pages[i];
        if (p.used && p.ip == ip) same_ip += 1;
        if (!p.used && free_slot < 0) free_slot = static_cast<int>(i);
    }
    if (free_slot < 0 || same_ip >= s.config.pages_per_ip) return MeetAddress{};
    PageSlot &p = s.pages[static_cast<std::size_t>(free_slot)];
    const std::uint16_t generation = static_cast<std::uint16_t>(p.generation == 0xffff ? 1 : p.generation + 1);
    p = PageSlot{true,
                 generation,
                 ip,
                 static_cast<double>(s.config.page_message_burst),
                 static_cast<double>(s.config.page_byte_burst),
                 now};
    s.live_pages += 1;
    return MeetAddress{static_cast<std::uint32_t>(free_slot + 1), generation};
}

int server_page_slot(const MeetServer &s, const MeetAddress &page) {
    if (!is_page_address(page) || page.ip > s.pages.size()) return -1;
    const PageSlot &p = s.pages[page.ip - 1];
    // The port 0 form asks for the slot alone (the source limits are per address).
    return p.used && (page.port == 0 || p.generation == page.port) ? static_cast<int>(page.ip - 1) : -1;
}

void server_page_closed(MeetServer &s, const MeetAddress &page) {
    const int slot = server_page_slot(s, page);
    if (slot < 0 || page.port == 0) return;
    const auto it = s.by_address.find(address_key(page));
    if (it != s.by_address.end()) end_room(s, it->second, "a page left");
    s.pages[static_cast<std::size_t>(slot)].used = false;
    s.live_pages -= 1;
}

bool server_page_may_send(MeetServer &s, const MeetAddress &page, std::size_t size, double now) {
    const int slot = server_page_slot(s, page);
    if (slot < 0) return false;
    PageSlot &p = s.pages[static_cast<std::size_t>(slot)];
    const double dt = std::max(0.0, now - p.refilled);
    p.refilled = now;
    p.messages = std::min<double>(s.config.page_message_burst, p.messages + dt * s.config.page_messages_per_second);
    p.bytes = std::min<double>(s.config.page_byte_burst, p.bytes + dt * s.config.page_bytes_per_second);
    if (p.messages < 1.0 || p.bytes < static_cast<double>(size)) {
        s.counters.page_limited += 1;
        return false;
    }
    p.messages -= 1.0;
    p.bytes -= static_cast<double>(size);
    return true;
}
