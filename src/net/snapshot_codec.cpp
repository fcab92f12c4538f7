// The wire form of the match record. Kept apart from the stepping code so that the
// packet fuzzer can take it without the rest of the game.
#include "net/match_state.h"

#include <cstring>
#include <limits>

#include "gameplay/match.h"

namespace {

// A NaN's sign and payload differ between builds (x86-64 makes 0/0 negative, wasm
// leaves it open): every NaN is written as the one quiet NaN, so two machines that both
// went wrong still agree on the checksum. No reader takes a NaN anyway.
template <class F>
F one_nan(F v) {
    return v == v ? v : std::numeric_limits<F>::quiet_NaN();
}

// Every field in its wire type; the second record of the walk is the same one.
struct WriteField {
    ByteWriter &w;
    void operator()(const Vec3d &v, const Vec3d &, Field) const {
        w.f64(one_nan(v.x));
        w.f64(one_nan(v.y));
        w.f64(one_nan(v.z));
    }
    void operator()(double v, double, Field) const { w.f64(one_nan(v)); }
    void operator()(float v, float, Field) const { w.f32(one_nan(v)); }
    void operator()(std::int32_t v, std::int32_t, Field) const { w.i32(v); }
    void operator()(std::uint8_t v, std::uint8_t, Field) const { w.u8(v); }
    void operator()(bool v, bool, Field) const { w.boolean(v); }
    void operator()(std::uint64_t v, std::uint64_t, Field) const { w.u64(v); }
};

struct ReadField {
    ByteReader &r;
    void operator()(Vec3d &v, Vec3d &, Field) const {
        v.x = r.f64();
        v.y = r.f64();
        v.z = r.f64();
    }
    void operator()(double &v, double &, Field) const { v = r.f64(); }
    void operator()(float &v, float &, Field) const { v = r.f32(); }
    void operator()(std::int32_t &v, std::int32_t &, Field) const { v = r.i32(); }
    void operator()(std::uint8_t &v, std::uint8_t &, Field) const { v = r.u8(); }
    void operator()(bool &v, bool &, Field) const { v = r.boolean(); }
    void operator()(std::uint64_t &v, std::uint64_t &, Field) const { v = r.u64(); }
};

// What makes a record one of this game's at all, whatever its values: each player in
// its slot and on its side with at most three lives, each button on its side, beam
// directions among the four, a press count that only counts up, and a live generator.
bool well_formed(const GameState &g) {
    for (int i = 0; i < 2; ++i) {
        const Player &p = g.players[i];
        if (p.index != i || p.side != (i == 1) || p.lives < 0 || p.lives > lives_per_player) return false;
    }
    for (int i = 0; i < button_count; ++i) {
        if (g.buttons[i].side != (i >= button_count / 2)) return false;
    }
    for (const Beam &b : g.beams) {
        if (b.dir > 3) return false;
    }
    // An all-zero xoshiro state never leaves zero: no honest peer has one.
    const std::uint64_t *s = g.rng.s;
    return g.buttons_pressed >= 0 && (s[0] | s[1] | s[2] | s[3]) != 0;
}

}  // namespace

bool input_in_range(FrameInput in) { return in.move_x != -128 && in.move_z != -128 && (in.buttons & ~input_bits) == 0; }

// Flattened: the walk is a chain of small calls that a debug build would not inline,
// and a peer may send many records.
[[gnu::flatten]] void write_snapshot(ByteWriter &w, const MatchSnapshot &s) { visit_match_fields(s, s, WriteField{w}); }

[[gnu::flatten]] bool read_snapshot(ByteReader &r, MatchSnapshot &out) {
    MatchSnapshot s;
    visit_match_fields(s, s, ReadField{r});
    if (!r.done() || !well_formed(s.game)) return false;
    out = s;
    return true;
}

std::uint64_t snapshot_checksum(const MatchSnapshot &s) {
    static std::uint8_t buffer[max_state_bytes];
    ByteWriter w{buffer, sizeof buffer};
    write_snapshot(w, s);
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (std::size_t i = 0; i < w.size; ++i) {
        h ^= buffer[i];
        h *= 0x100000001b3ull;
    }
    return h;
}

bool same_snapshot(const MatchSnapshot &a, const MatchSnapshot &b) {
    static std::uint8_t bytes_a[max_state_bytes];
    static std::uint8_t bytes_b[max_state_bytes];
    ByteWriter wa{bytes_a, sizeof bytes_a};
    ByteWriter wb{bytes_b, sizeof bytes_b};
    write_snapshot(wa, a);
    write_snapshot(wb, b);
    return wa.ok() && wb.ok() && wa.size == wb.size && std::memcmp(bytes_a, bytes_b, wa.size) == 0;
}
