// Sound in the browser build: WAV files read without SDL, and the mixer's output
// played through Web Audio, pulled a block at a time by a script processor node.
#if defined(__EMSCRIPTEN__)
#include "audio_page.h"

#include "audio_internal.h"

#include <emscripten.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr int block_frames = 1024;
float block[block_frames * 2];

std::uint32_t le32(const unsigned char *p) {
    return p[0] | static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[2]) << 16 |
           static_cast<std::uint32_t>(p[3]) << 24;
}
unsigned le16(const unsigned char *p) { return p[0] | static_cast<unsigned>(p[1]) << 8; }

}  // namespace

extern "C" EMSCRIPTEN_KEEPALIVE float *engine_page_mix(int frames) {
    if (frames > block_frames) frames = block_frames;
    audio_pull_frames(block, frames);
    return block;
}

// clang-format off: JavaScript inside.
// The context starts suspended where the page has had no click or key yet; it is
// resumed at the first one (audio_page_gesture). Module.vorbelAudio lets the page see it.
EM_JS(int, page_audio_open, (int rate, int frames), {
    var Context = window.AudioContext || window.webkitAudioContext;
    if (!Context) return 0;
    var context;
    try {
        context = new Context({sampleRate : rate});
    } catch (e) {
        return 0;
    }
    var node = context.createScriptProcessor(frames, 0, 2);
    node.onaudioprocess = function(e) {
        var left = e.outputBuffer.getChannelData(0);
        var right = e.outputBuffer.getChannelData(1);
        var n = left.length;
        var at = _engine_page_mix(n) >> 2;
        for (var i = 0; i < n; i++) {
            left[i] = HEAPF32[at + 2 * i];
            right[i] = HEAPF32[at + 2 * i + 1];
        }
    };
    node.connect(context.destination);
    Module.vorbelAudio = context;
    Module.vorbelAudioNode = node;
    return context.sampleRate;
});

EM_JS(void, page_audio_resume, (), {
    if (Module.vorbelAudio && Module.vorbelAudio.state == 'suspended') Module.vorbelAudio.resume();
});

EM_JS(void, page_audio_close, (), {
    if (Module.vorbelAudioNode) Module.vorbelAudioNode.disconnect();
    if (Module.vorbelAudio) Module.vorbelAudio.close();
    Module.vorbelAudio = null;
    Module.vorbelAudioNode = null;
});

// clang-format on

int audio_page_open(int rate) { return page_audio_open(rate, block_frames); }
void audio_page_close() { page_audio_close(); }
void audio_page_gesture() { page_audio_resume(); }

const char *audio_page_read_wav(const unsigned char *data, std::size_t size, SDL_AudioSpec &out_format, Uint8 *&raw,
                                Uint32 &raw_bytes) {
    raw = nullptr;
    raw_bytes = 0;
    if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0)
        return "it is not a RIFF WAVE file";
    unsigned tag = 0, channels = 0, bits = 0;
    std::uint32_t rate = 0;
    const unsigned char *samples = nullptr;
    std::size_t sample_bytes = 0;
    for (std::size_t at = 12; at + 8 <= size;) {
        const std::uint32_t length = le32(data + at + 4);
        const unsigned char *body = data + at + 8;
        const std::size_t room = size - at - 8;
        if (std::memcmp(data + at, "fmt ", 4) == 0 && length >= 16 && room >= 16) {
            tag = le16(body);
            channels = le16(body + 2);
            rate = le32(body + 4);
            bits = le16(body + 14);
            if (tag == 0xfffe && length >= 26 && room >= 26) tag = le16(body + 24);  // extensible: its sub-format
        } else if (std::memcmp(data + at, "data", 4) == 0) {
            samples = body;
            sample_bytes = length < room ? length : room;  // a data chunk cut short plays as far as it goes
            break;
        }
        at += 8 + static_cast<std::size_t>(length) + (length & 1u);
    }
    if (samples == nullptr || channels == 0 || rate == 0) return "it has no format or no data";
    SDL_AudioFormat format = 0;
    if (tag == 1 && bits == 8) format = AUDIO_U8;
    if (tag == 1 && bits == 16) format = AUDIO_S16LSB;
    if (tag == 1 && bits == 32) format = AUDIO_S32LSB;
    if (tag == 3 && bits == 32) format = AUDIO_F32LSB;
    if (format == 0) return "its sample format is not 8, 16 or 32-bit PCM nor 32-bit float";
    raw = static_cast<Uint8 *>(std::malloc(sample_bytes > 0 ? sample_bytes : 1));
    if (raw == nullptr) return "out of memory";
    std::memcpy(raw, samples, sample_bytes);
    raw_bytes = static_cast<Uint32>(sample_bytes);
    out_format = SDL_AudioSpec{};
    out_format.freq = static_cast<int>(rate);
    out_format.format = format;
    out_format.channels = static_cast<Uint8>(channels > 255 ? 255 : channels);
    return nullptr;
}

float *audio_page_to_float(SDL_AudioFormat format, int channels, const void *data, std::size_t frames,
                           unsigned out_channels) {
    auto *out = static_cast<float *>(std::malloc(frames * out_channels * sizeof(float)));
    if (out == nullptr) return nullptr;
    const auto *bytes = static_cast<const unsigned char *>(data);
    const std::size_t sample_bytes = SDL_AUDIO_BITSIZE(format) / 8;
    auto sample = [&](std::size_t frame, int channel) -> float {
        const unsigned char *p = bytes + (frame * static_cast<std::size_t>(channels) + channel) * sample_bytes;
        switch (format) {
        case AUDIO_U8:
            return (static_cast<float>(p[0]) - 128.0f) / 128.0f;
        case AUDIO_S16LSB:
            return static_cast<float>(static_cast<std::int16_t>(le16(p))) / 32768.0f;
        case AUDIO_S32LSB:
            return static_cast<float>(static_cast<std::int32_t>(le32(p))) / 2147483648.0f;
        default: {
            float f;
            std::memcpy(&f, p, sizeof f);
            return f;
        }
        }
    };
    // Mono stays mono; wider than stereo keeps its front left and right.
    for (std::size_t i = 0; i < frames; i++)
        for (unsigned c = 0; c < out_channels; c++) out[i * out_channels + c] = sample(i, static_cast<int>(c));
    return out;
}
#endif
