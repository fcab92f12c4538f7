// Little-endian byte writing and bounds-checked reading for what goes over the wire.
// A reader never reads past its end: a short read fails the reader and yields zero,
// and the caller checks `ok()` once at the end.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

struct ByteWriter {
    std::uint8_t *data = nullptr;
    std::size_t capacity = 0;
    std::size_t size = 0;
    bool overflow = false;

    void bytes(const void *src, std::size_t n) {
        if (overflow || n > capacity - size) {
            overflow = true;
            return;
        }
        if (n > 0) std::memcpy(data + size, src, n);
        size += n;
    }
    void u8(std::uint8_t v) { bytes(&v, 1); }
    void u16(std::uint16_t v) { put(v, 2); }
    void u32(std::uint32_t v) { put(v, 4); }
    void u64(std::uint64_t v) { put(v, 8); }
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
    void i8(std::int8_t v) { u8(static_cast<std::uint8_t>(v)); }
    void boolean(bool v) { u8(v ? 1 : 0); }
    void f64(double v) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, 8);
        u64(bits);
    }
    void f32(float v) {
        std::uint32_t bits;
        std::memcpy(&bits, &v, 4);
        u32(bits);
    }
    bool ok() const { return !overflow; }

private:
    void put(std::uint64_t v, int n) {
        std::uint8_t b[8];
        for (int i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(v >> (8 * i));
        bytes(b, static_cast<std::size_t>(n));
    }
};

struct ByteReader {
    const std::uint8_t *data = nullptr;
    std::size_t size = 0;
    std::size_t at = 0;
    bool failed = false;

    std::size_t remaining() const { return failed ? 0 : size - at; }
    bool take(void *dst, std::size_t n) {
        if (failed || n > size - at) {
            failed = true;
            std::memset(dst, 0, n);
            return false;
        }
        if (n > 0) std::memcpy(dst, data + at, n);
        at += n;
        return true;
    }
    std::uint8_t u8() {
        std::uint8_t v = 0;
        take(&v, 1);
        return v;
    }
    std::uint16_t u16() { return static_cast<std::uint16_t>(get(2)); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(get(4)); }
    std::uint64_t u64() { return get(8); }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    std::int8_t i8() { return static_cast<std::int8_t>(u8()); }
    // Only 0 and 1 are truth values; anything else fails the reader.
    bool boolean() {
        const std::uint8_t v = u8();
        if (v > 1) failed = true;
        return v == 1;
    }
    // Only finite numbers: a NaN or infinity from the wire would poison the match.
    double f64() {
        const std::uint64_t bits = u64();
        double v;
        std::memcpy(&v, &bits, 8);
        if (!std::isfinite(v)) {
            failed = true;
            return 0.0;
        }
        return v;
    }
    float f32() {
        const std::uint32_t bits = u32();
        float v;
        std::memcpy(&v, &bits, 4);
        if (!std::isfinite(v)) {
            failed = true;
            return 0.0f;
        }
        return v;
    }
    void fail() { failed = true; }
    // Everything read, nothing left over.
    bool done() const { return !failed && at == size; }

private:
    std::uint64_t get(int n) {
        std::uint8_t b[8] = {};
        if (!take(b, static_cast<std::size_t>(n))) return 0;
        std::uint64_t v = 0;
        for (int i = n - 1; i >= 0; --i) v = (v << 8) | b[i];
        return v;
    }
};
