// Waves, sounds and the software mixer. Every sound owns a copy of its samples in
// the mixer's format (32-bit float, 44100 Hz, mono or stereo); SDL's audio thread
// pulls the mix through a callback. The only state the two threads share is the
// voice table below, guarded by one mutex held just for a table update or one
// callback's worth of mixing.
#include "raylib.h"

#include "audio_internal.h"
#include "audio_page.h"
#include "engine_prefetch.h"
#include "internal.h"
#include "prefetch.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

constexpr int mix_rate = 44100;
constexpr int mix_channels = 2;

struct Voice {
    float *samples = nullptr;  // interleaved, `channels` per frame
    unsigned frames = 0;
    unsigned channels = 1;  // 1 or 2
    double cursor = 0.0;    // in frames; fractional only when pitch != 1
    float volume = 1.0f;
    float pan = 0.5f;
    float pitch = 1.0f;
    bool playing = false;
    bool paused = false;
};

struct AudioState {
    std::mutex lock;  // guards voices, voice_order and master_volume
    std::unordered_map<std::uintptr_t, Voice *> voices;
    std::vector<Voice *> voice_order;  // mixing order: the order of loading
    float master_volume = 1.0f;

    // Main thread only.
    std::uintptr_t next_handle = 1;
    std::unordered_set<void *> live_waves;
    SDL_AudioDeviceID device = 0;
    bool manual = false;  // tests pull the mix themselves
};

AudioState &state() {
    static AudioState s;
    return s;
}

// A Sound carries an opaque handle, never a pointer, so a stale copy of an
// unloaded sound can never reach a newer sound that happens to reuse memory.
std::uintptr_t handle_of(Sound sound) { return reinterpret_cast<std::uintptr_t>(sound.stream.buffer); }

Voice *find_voice_locked(AudioState &s, Sound sound) {
    auto it = s.voices.find(handle_of(sound));
    return it == s.voices.end() ? nullptr : it->second;
}

void mix_voice(const Voice &v, float gain_left, float gain_right, float *out, int frames, double &cursor,
               bool &playing) {
    const double step = v.pitch;
    for (int i = 0; i < frames; ++i) {
        if (cursor >= static_cast<double>(v.frames)) {
            playing = false;
            return;
        }
        const auto index = static_cast<unsigned>(cursor);
        const float frac = static_cast<float>(cursor - static_cast<double>(index));
        const unsigned next = index + 1 < v.frames ? index + 1 : index;
        float left;
        float right;
        if (v.channels == 1) {
            const float a = v.samples[index];
            left = right = a + (v.samples[next] - a) * frac;
        } else {
            const float la = v.samples[2 * index];
            const float ra = v.samples[2 * index + 1];
            left = la + (v.samples[2 * next] - la) * frac;
            right = ra + (v.samples[2 * next + 1] - ra) * frac;
        }
        out[2 * i] += left * gain_left;
        out[2 * i + 1] += right * gain_right;
        cursor += step;
    }
    if (cursor >= static_cast<double>(v.frames)) playing = false;
}

void mix_into(float *out, int frames) {
    std::memset(out, 0, sizeof(float) * static_cast<size_t>(frames) * mix_channels);
    AudioState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    for (Voice *v : s.voice_order) {
        if (!v->playing || v->paused) continue;
        const float gain_left = s.master_volume * v->volume * pan_gain(v->pan);
        const float gain_right = s.master_volume * v->volume * pan_gain(1.0f - v->pan);
        mix_voice(*v, gain_left, gain_right, out, frames, v->cursor, v->playing);
    }
    mix_music_locked(out, frames, s.master_volume);
}

void SDLCALL device_callback(void *, Uint8 *stream, int len) {
    mix_into(reinterpret_cast<float *>(stream), len / static_cast<int>(sizeof(float) * mix_channels));
}

bool output_running() {
    const AudioState &s = state();
    return s.device != 0 || s.manual;
}

// Converts interleaved samples of any SDL format, channel count and rate into
// the mixer's float format at 44100 Hz, keeping mono as mono and folding
// anything wider than stereo to stereo. Returns malloc'ed samples or null.
// SDL converts the sample format and channels; the rate is changed here by
// linear interpolation, which keeps every frame (SDL's stream resampler holds
// back the tail of a one-shot buffer).
float *convert_samples(SDL_AudioFormat format, int channels, int rate, const void *data, size_t bytes,
                       unsigned &out_channels, unsigned &out_frames) {
    out_channels = channels == 1 ? 1 : 2;
    out_frames = 0;
    const size_t in_frame_bytes = static_cast<size_t>(SDL_AUDIO_BITSIZE(format) / 8) * static_cast<size_t>(channels);
    if (in_frame_bytes == 0 || rate <= 0) return nullptr;
    bytes -= bytes % in_frame_bytes;  // a trailing partial frame is dropped
    if (bytes == 0 || bytes > static_cast<size_t>(INT32_MAX) / 16) return nullptr;

#if defined(__EMSCRIPTEN__)
    const size_t frames = bytes / in_frame_bytes;
    float *samples = audio_page_to_float(format, channels, data, frames, out_channels);
    if (samples == nullptr) return nullptr;
    float *buffer = samples;  // freed once resampled, as SDL's is below
#else
    SDL_AudioCVT cvt;
    if (SDL_BuildAudioCVT(&cvt, format, static_cast<Uint8>(channels), rate, AUDIO_F32SYS,
                          static_cast<Uint8>(out_channels), rate) < 0) {
        return nullptr;
    }
    cvt.len = static_cast<int>(bytes);
    auto *buffer = static_cast<Uint8 *>(std::malloc(bytes * static_cast<size_t>(std::max(1, cvt.len_mult))));
    if (buffer == nullptr) return nullptr;
    std::memcpy(buffer, data, bytes);
    cvt.buf = buffer;
    if (cvt.needed && SDL_ConvertAudio(&cvt) != 0) {
        std::free(buffer);
        return nullptr;
    }
    const size_t converted_bytes = cvt.needed ? static_cast<size_t>(cvt.len_cvt) : bytes;
    const size_t frames = converted_bytes / (sizeof(float) * out_channels);
    auto *samples = reinterpret_cast<float *>(buffer);
    if (frames == 0) {
        std::free(buffer);
        return nullptr;
    }
#endif
    if (rate == mix_rate) {
        if (frames > UINT32_MAX) {
            std::free(buffer);
            return nullptr;
        }
        out_frames = static_cast<unsigned>(frames);
        return samples;
    }

    const double ratio = static_cast<double>(rate) / mix_rate;  // source frames per output frame
    const auto resampled = static_cast<size_t>(std::llround(static_cast<double>(frames) / ratio));
    float *result = resampled > 0 && resampled <= UINT32_MAX
                        ? static_cast<float *>(std::malloc(resampled * out_channels * sizeof(float)))
                        : nullptr;
    if (result != nullptr) {
        for (size_t j = 0; j < resampled; ++j) {
            const double src = static_cast<double>(j) * ratio;
            const auto i0 = std::min(static_cast<size_t>(src), frames - 1);
            const size_t i1 = std::min(i0 + 1, frames - 1);
            const auto frac = static_cast<float>(src - static_cast<double>(i0));
            for (unsigned c = 0; c < out_channels; ++c) {
                const float a = samples[i0 * out_channels + c];
                const float b = samples[i1 * out_channels + c];
                result[j * out_channels + c] = a + (b - a) * frac;
            }
        }
        out_frames = static_cast<unsigned>(resampled);
    }
    std::free(buffer);
    return result;
}

bool wave_format(const Wave &wave, SDL_AudioFormat &format) {
    switch (wave.sampleSize) {
    case 8:
        format = AUDIO_U8;
        return true;
    case 16:
        format = AUDIO_S16SYS;
        return true;
    case 32:
        format = AUDIO_F32SYS;
        return true;
    default:
        return false;
    }
}

void free_voice(Voice *v) {
    std::free(v->samples);
    delete v;
}

}  // namespace

// ------------------------------------------------------------------ device

void InitAudioDevice(void) {
    AudioState &s = state();
    if (s.device != 0) {
        TraceLog(LOG_WARNING, "AUDIO: Device already initialized");
        return;
    }
#if defined(__EMSCRIPTEN__)
    const int rate = audio_page_open(mix_rate);
    if (rate == 0) {
        TraceLog(LOG_WARNING, "AUDIO: the page has no Web Audio, sound stays silent");
        return;
    }
    s.device = 1;
    TraceLog(LOG_INFO, "AUDIO: Device initialized (Web Audio, %d Hz, stereo float)", rate);
    if (rate != mix_rate) TraceLog(LOG_WARNING, "AUDIO: the browser plays at %d Hz, not %d", rate, mix_rate);
    return;
#endif
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        TraceLog(LOG_WARNING, "AUDIO: No audio device, sound stays silent: %s", SDL_GetError());
        return;
    }
    SDL_AudioSpec want{};
    want.freq = mix_rate;
    want.format = AUDIO_F32SYS;
    want.channels = mix_channels;
    want.samples = 512;
    want.callback = device_callback;
    SDL_AudioSpec have{};
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0) {
        TraceLog(LOG_WARNING, "AUDIO: No audio device, sound stays silent: %s", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return;
    }
    s.device = device;
    if (!s.manual) SDL_PauseAudioDevice(device, 0);
    TraceLog(LOG_INFO, "AUDIO: Device initialized (%s, %d Hz, stereo float)", SDL_GetCurrentAudioDriver(), have.freq);
}

void CloseAudioDevice(void) {
    AudioState &s = state();
    if (s.device != 0) {
#if defined(__EMSCRIPTEN__)
        audio_page_close();
        s.device = 0;
#else
        // Closing waits for a running callback, so the voices can go after it.
        SDL_CloseAudioDevice(s.device);
        s.device = 0;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
#endif
        TraceLog(LOG_INFO, "AUDIO: Device closed");
    }
    std::vector<Voice *> doomed;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        doomed.swap(s.voice_order);
        s.voices.clear();
    }
    for (Voice *v : doomed) free_voice(v);
    for (void *data : s.live_waves) std::free(data);
    s.live_waves.clear();
    release_all_music();
}

bool IsAudioDeviceReady(void) { return state().device != 0; }

void SetMasterVolume(float volume) {
    AudioState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.master_volume = std::max(0.0f, volume);
}

// ------------------------------------------------------------------ waves

namespace {

// Limits on what a WAV file may ask for: a rate outside these, or more than a few
// minutes of sound, is not a game sound (a 1 Hz header would otherwise be resampled
// into hundreds of megabytes).
constexpr std::uint32_t min_wave_rate = 8000;
constexpr std::uint32_t max_wave_rate = 192000;
constexpr double max_wave_seconds = 300.0;
constexpr std::size_t max_wave_file_bytes = std::size_t{64} << 20;

std::uint32_t le32(const unsigned char *p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint32_t le16(const unsigned char *p) { return static_cast<std::uint32_t>(p[0] | p[1] << 8); }

bool wave_length_ok(const char *fileName, double rate, double frames) {
    if (rate < min_wave_rate || rate > max_wave_rate) {
        TraceLog(LOG_WARNING, "WAVE: [%s] Sample rate %.0f Hz is outside %u..%u Hz; not loaded", fileName, rate,
                 min_wave_rate, max_wave_rate);
        return false;
    }
    if (frames / rate > max_wave_seconds) {
        TraceLog(LOG_WARNING, "WAVE: [%s] Lasts %.0f s, longer than %.0f s; not loaded", fileName, frames / rate,
                 max_wave_seconds);
        return false;
    }
    return true;
}

// Checks the header's rate and length before SDL decodes anything, and shortens a
// data chunk that claims more bytes than the file holds, so SDL never allocates for
// bytes that are not there. Files it cannot make sense of are left to SDL to refuse.
bool wave_header_ok(const char *fileName, unsigned char *data, std::size_t size) {
    if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0) return true;
    std::uint32_t rate = 0, channels = 0, bits = 0;
    std::size_t pos = 12;
    while (size - pos >= 8) {
        unsigned char *chunk = data + pos;
        const std::size_t body = pos + 8;
        const std::size_t remaining = size - body;
        std::size_t length = le32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0 && length >= 16 && remaining >= 16) {
            channels = le16(chunk + 10);
            rate = le32(chunk + 12);
            bits = le16(chunk + 22);
            if (!wave_length_ok(fileName, rate, 0)) return false;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (length > remaining) {
                length = remaining;
                chunk[4] = static_cast<unsigned char>(length);
                chunk[5] = static_cast<unsigned char>(length >> 8);
                chunk[6] = static_cast<unsigned char>(length >> 16);
                chunk[7] = static_cast<unsigned char>(length >> 24);
            }
            if (rate == 0) return true;
            const double bits_per_frame = static_cast<double>(std::max(1u, bits) * std::max(1u, channels));
            return wave_length_ok(fileName, rate, static_cast<double>(length) * 8.0 / bits_per_frame);
        }
        if (length > remaining) break;
        pos = body + length + (length & 1);
    }
    return true;
}

}  // namespace

// The file's bytes. SDL's WAV reader consults SDL's hints, which are not safe to read
// while the main thread starts SDL, so the prefetch only reads the file ahead and the
// samples are decoded where the wave is loaded.
static std::shared_ptr<const void> read_wave_bytes(const char *fileName, int, engine::HeldLog &log) {
    auto bytes = std::make_shared<std::vector<unsigned char>>();
    engine::FileRefusal why = engine::FileRefusal::none;
    if (!engine::read_file_bytes(fileName, *bytes, max_wave_file_bytes, why)) {
        log.add(LOG_WARNING, "WAVE: [%s] Failed to load: the file %s", fileName, engine::refusal_text(why));
        return nullptr;
    }
    return bytes;
}

bool read_wav_file(const char *fileName, SDL_AudioSpec &file_format, Uint8 *&raw, Uint32 &raw_bytes) {
    const std::shared_ptr<const void> read =
        engine::take_or_decode(engine::PrefetchKind::wave, fileName, 0, read_wave_bytes);
    if (read == nullptr) return false;
    // A copy: the header check may mend the data chunk's length in place.
    std::vector<unsigned char> bytes = *static_cast<const std::vector<unsigned char> *>(read.get());
    const int size = static_cast<int>(bytes.size());
    if (!wave_header_ok(fileName, bytes.data(), bytes.size())) return false;
    file_format = SDL_AudioSpec{};
    raw = nullptr;
    raw_bytes = 0;
#if defined(__EMSCRIPTEN__)
    (void)size;
    if (const char *why = audio_page_read_wav(bytes.data(), bytes.size(), file_format, raw, raw_bytes)) {
        TraceLog(LOG_WARNING, "WAVE: [%s] Failed to load: %s", fileName, why);
        return false;
    }
#else
    const bool decoded =
        SDL_LoadWAV_RW(SDL_RWFromConstMem(bytes.data(), size), 1, &file_format, &raw, &raw_bytes) != nullptr;
    if (!decoded) {
        TraceLog(LOG_WARNING, "WAVE: [%s] Failed to load: %s", fileName, SDL_GetError());
        return false;
    }
#endif
    // What SDL decoded is checked again: compressed data expands.
    const double frame_bytes = (SDL_AUDIO_BITSIZE(file_format.format) / 8) * std::max<int>(1, file_format.channels);
    if (frame_bytes <= 0 || !wave_length_ok(fileName, file_format.freq, raw_bytes / frame_bytes)) {
        free_wav(raw);
        raw = nullptr;
        return false;
    }
    return true;
}

void PrefetchWave(const char *fileName) { engine::prefetch(engine::PrefetchKind::wave, fileName, 0, read_wave_bytes); }

Wave LoadWave(const char *fileName) {
    Wave wave{};
    if (fileName == nullptr) {
        TraceLog(LOG_WARNING, "WAVE: No file name given");
        return wave;
    }
    SDL_AudioSpec file_format{};
    Uint8 *raw = nullptr;
    Uint32 raw_bytes = 0;
    if (!read_wav_file(fileName, file_format, raw, raw_bytes)) return wave;
    unsigned channels = 0;
    unsigned frames = 0;
    float *samples = nullptr;
    if (file_format.channels > 0 && raw_bytes > 0) {
        samples = convert_samples(file_format.format, file_format.channels, file_format.freq, raw, raw_bytes, channels,
                                  frames);
    }
    free_wav(raw);
    if (samples == nullptr) {
        TraceLog(LOG_WARNING, "WAVE: [%s] Holds no usable frames", fileName);
        return wave;
    }
    state().live_waves.insert(samples);
    wave.frameCount = frames;
    wave.sampleRate = mix_rate;
    wave.sampleSize = 32;
    wave.channels = channels;
    wave.data = samples;
    TraceLog(LOG_INFO, "WAVE: [%s] Loaded (%u frames, %u channel(s))", fileName, frames, channels);
    return wave;
}

bool IsWaveReady(Wave wave) {
    SDL_AudioFormat format = 0;
    return wave.data != nullptr && wave.frameCount > 0 && wave.sampleRate > 0 && wave.channels > 0 &&
           wave_format(wave, format);
}

void UnloadWave(Wave wave) {
    // Only samples this module handed out are freed, each once.
    if (wave.data == nullptr) return;
    AudioState &s = state();
    auto it = s.live_waves.find(wave.data);
    if (it == s.live_waves.end()) return;
    s.live_waves.erase(it);
    std::free(wave.data);
}

// ------------------------------------------------------------------ sounds

Sound LoadSoundFromWave(Wave wave) {
    Sound sound{};
    SDL_AudioFormat format = 0;
    if (!IsWaveReady(wave) || !wave_format(wave, format) || wave.channels > 8) {
        TraceLog(LOG_WARNING, "SOUND: Wave holds no playable frames");
        return sound;
    }
    const size_t bytes = static_cast<size_t>(wave.frameCount) * wave.channels * (wave.sampleSize / 8);
    unsigned channels = 0;
    unsigned frames = 0;
    float *samples = nullptr;
    if (format == AUDIO_F32SYS && wave.sampleRate == mix_rate && wave.channels <= 2) {
        // Already in the mixer's format: a plain copy.
        samples = static_cast<float *>(std::malloc(bytes));
        if (samples != nullptr) {
            std::memcpy(samples, wave.data, bytes);
            channels = wave.channels;
            frames = wave.frameCount;
        }
    } else {
        samples = convert_samples(format, static_cast<int>(wave.channels), static_cast<int>(wave.sampleRate), wave.data,
                                  bytes, channels, frames);
    }
    if (samples == nullptr) {
        TraceLog(LOG_WARNING, "SOUND: Could not convert the wave for the mixer");
        return sound;
    }
    auto *v = new Voice;
    v->samples = samples;
    v->frames = frames;
    v->channels = channels;

    AudioState &s = state();
    const std::uintptr_t handle = s.next_handle++;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        s.voices.emplace(handle, v);
        s.voice_order.push_back(v);
    }
    sound.stream = handle_stream(handle, mix_rate, mix_channels);
    sound.frameCount = frames;
    return sound;
}

Sound LoadSound(const char *fileName) {
    Wave wave = LoadWave(fileName);
    if (wave.data == nullptr) return Sound{};
    Sound sound = LoadSoundFromWave(wave);
    UnloadWave(wave);
    return sound;
}

bool IsSoundReady(Sound sound) {
    AudioState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return find_voice_locked(s, sound) != nullptr;
}

void UnloadSound(Sound sound) {
    AudioState &s = state();
    Voice *v = nullptr;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        auto it = s.voices.find(handle_of(sound));
        if (it == s.voices.end()) return;
        v = it->second;
        s.voices.erase(it);
        s.voice_order.erase(std::find(s.voice_order.begin(), s.voice_order.end(), v));
    }
    // Out of the table, so the mixer can no longer reach it.
    free_voice(v);
}

void PlaySound(Sound sound) {
    // Without any output a sound would never finish; it simply stays silent.
    if (!output_running()) return;
    AudioState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (Voice *v = find_voice_locked(s, sound)) {
        v->cursor = 0.0;
        v->playing = true;
        v->paused = false;
    }
}

void StopSound(Sound sound) {
    AudioState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (Voice *v = find_voice_locked(s, sound)) {
        v->playing = false;
        v->paused = false;
        v->cursor = 0.0;
    }
}

void PauseSound(Sound sound) {
    AudioState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (Voice *v = find_voice_locked(s, sound)) v->paused = true;
}

void ResumeSound(Sound sound) {
    AudioState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (Voice *v = find_voice_locked(s, sound)) v->paused = false;
}

bool IsSoundPlaying(Sound sound) {
    AudioState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    const Voice *v = find_voice_locked(s, sound);
    return v != nullptr && v->playing && !v->paused;
}

void SetSoundVolume(Sound sound, float volume) {
    AudioState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (Voice *v = find_voice_locked(s, sound)) v->volume = std::max(0.0f, volume);
}

void SetSoundPan(Sound sound, float pan) {
    AudioState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (Voice *v = find_voice_locked(s, sound)) v->pan = std::clamp(pan, 0.0f, 1.0f);
}

void SetSoundPitch(Sound sound, float pitch) {
    if (!(pitch > 0.0f)) return;
    AudioState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (Voice *v = find_voice_locked(s, sound)) v->pitch = pitch;
}

// ------------------------------------------------------------------ shared with music.cpp

float pan_gain(float p) { return 0.5f * p * (3.0f - p * p); }

std::mutex &audio_mixer_lock() { return state().lock; }

bool audio_output_running() { return output_running(); }

// ------------------------------------------------------------------ test access

void audio_take_manual_control() {
    AudioState &s = state();
    if (s.manual) return;
    s.manual = true;
    // Pausing waits for a running callback to return; after it only tests mix.
#if !defined(__EMSCRIPTEN__)  // the page's tests do not take the mixer
    if (s.device != 0) SDL_PauseAudioDevice(s.device, 1);
#endif
}

void audio_pull_frames(float *out, int frames) {
    if (out == nullptr || frames <= 0) return;
    mix_into(out, frames);
}
