// Writes WAV files for the audio tests, so each test states only the format it needs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace test_support {

// A canonical RIFF/WAVE file: a 16-byte fmt chunk (format tag 1 PCM or 3 float), then
// the data chunk. False if the file cannot be opened.
inline bool write_wav_file(const std::string &path, std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                           std::uint16_t bits, const void *data, std::uint32_t bytes) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    auto u32 = [&](std::uint32_t v) { std::fwrite(&v, 4, 1, f); };
    auto u16 = [&](std::uint16_t v) { std::fwrite(&v, 2, 1, f); };
    std::fwrite("RIFF", 1, 4, f);
    u32(36 + bytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    u32(16);
    u16(tag);
    u16(channels);
    u32(rate);
    u32(rate * channels * bits / 8);
    u16(static_cast<std::uint16_t>(channels * bits / 8));
    u16(bits);
    std::fwrite("data", 1, 4, f);
    u32(bytes);
    std::fwrite(data, 1, bytes, f);
    std::fclose(f);
    return true;
}

}  // namespace test_support
