// Music streams. A track is decoded whole when it is loaded (WAV only) and kept at
// its own rate; UpdateMusicStream copies the next stretch of it into a ring that the
// mixer reads, resampling to the mix rate as it goes. A looping track is queued across
// its end without a break, so the seam sounds as if the file went on. A stream that
// is not updated runs dry and is silent until the next update, as in raylib.
#include "raylib.h"

#include "audio_internal.h"
#include "audio_page.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

namespace {

constexpr int mix_rate = 44100;
constexpr int wav_context = 1;

struct Stream {
    float *track = nullptr;  // the whole file, float, interleaved, at `rate`
    unsigned frames = 0;
    unsigned channels = 1;  // 1 or 2
    unsigned rate = 0;
    std::vector<float> ring;  // ring_frames frames queued for the mixer
    unsigned ring_frames = 0;
    // Positions count track frames since the last start or seek. The ring holds
    // [floor(read), queued); the frame at floor(read) stays until the mixer is past
    // it, since it is interpolated with the next one.
    std::uint64_t queued = 0;
    double read = 0.0;
    unsigned start = 0;        // track frame of position 0
    unsigned source = 0;       // next track frame to queue
    bool source_done = false;  // a track that does not loop has been queued to its end
    bool playing = false;
    bool paused = false;
    float volume = 1.0f;
};

struct MusicTable {
    std::unordered_map<std::uintptr_t, Stream *> streams;  // guarded by audio_mixer_lock()
    std::uintptr_t next_handle = 1;                        // main thread only
};

MusicTable &table() {
    static MusicTable t;
    return t;
}

std::uintptr_t handle_of(const Music &music) { return reinterpret_cast<std::uintptr_t>(music.stream.buffer); }

Stream *find_locked(const Music &music) {
    auto &streams = table().streams;
    auto it = streams.find(handle_of(music));
    return it == streams.end() ? nullptr : it->second;
}

void free_stream(Stream *s) {
    std::free(s->track);
    delete s;
}

// Forgets what is queued; the next update queues from `frame` on.
void restart_at(Stream &s, unsigned frame) {
    s.queued = 0;
    s.read = 0.0;
    s.start = frame;
    s.source = frame;
    s.source_done = false;
}

std::uint64_t played_frames(const Stream &s) { return s.start + static_cast<std::uint64_t>(std::floor(s.read)); }

// Decodes a WAV file to float at its own rate, mono kept mono and anything wider
// folded to stereo. Returns malloc'ed samples, or null after one WARNING.
float *decode_wav(const char *path, unsigned &channels, unsigned &frames, unsigned &rate) {
    SDL_AudioSpec wav_format{};
    Uint8 *raw = nullptr;
    Uint32 bytes = 0;
    if (!read_wav_file(path, wav_format, raw, bytes)) return nullptr;
    float *samples = nullptr;
    const unsigned in_frame_bytes =
        static_cast<unsigned>(SDL_AUDIO_BITSIZE(wav_format.format) / 8) * wav_format.channels;
    const unsigned in_frames = in_frame_bytes == 0 ? 0 : bytes / in_frame_bytes;
    channels = wav_format.channels == 1 ? 1 : 2;
    rate = static_cast<unsigned>(wav_format.freq);  // checked by read_wav_file
#if defined(__EMSCRIPTEN__)
    if (in_frames > 0) {
        samples = audio_page_to_float(wav_format.format, wav_format.channels, raw, in_frames, channels);
        if (samples != nullptr) frames = in_frames;
    }
#else
    SDL_AudioCVT cvt;
    const size_t in_bytes = static_cast<size_t>(in_frames) * in_frame_bytes;
    if (in_frames > 0 && SDL_BuildAudioCVT(&cvt, wav_format.format, wav_format.channels, wav_format.freq, AUDIO_F32SYS,
                                           static_cast<Uint8>(channels), wav_format.freq) >= 0) {
        cvt.len = static_cast<int>(in_bytes);
        auto *buffer = static_cast<Uint8 *>(std::malloc(in_bytes * static_cast<size_t>(std::max(1, cvt.len_mult))));
        if (buffer != nullptr) {
            std::memcpy(buffer, raw, in_bytes);
            cvt.buf = buffer;
            if (!cvt.needed || SDL_ConvertAudio(&cvt) == 0) {
                const size_t out_bytes = cvt.needed ? static_cast<size_t>(cvt.len_cvt) : in_bytes;
                frames = static_cast<unsigned>(out_bytes / (sizeof(float) * channels));
                if (frames > 0) {
                    samples = reinterpret_cast<float *>(buffer);
                    buffer = nullptr;
                }
            }
            std::free(buffer);
        }
    }
#endif
    free_wav(raw);
    if (samples == nullptr) TraceLog(LOG_WARNING, "STREAM: [%s] Music holds no usable frames", path);
    return samples;
}

}  // namespace

Music LoadMusicStream(const char *fileName) {
    Music music{};
    if (fileName == nullptr) {
        TraceLog(LOG_WARNING, "STREAM: No file name given");
        return music;
    }
    unsigned channels = 0;
    unsigned frames = 0;
    unsigned rate = 0;
    float *track = decode_wav(fileName, channels, frames, rate);
    if (track == nullptr) return music;
    auto *s = new (std::nothrow) Stream;
    if (s != nullptr) {
        try {
            s->ring_frames = std::max(4096u, rate / 2);
            s->ring.assign(static_cast<size_t>(s->ring_frames) * channels, 0.0f);
        } catch (const std::bad_alloc &) {
            delete s;
            s = nullptr;
        }
    }
    if (s == nullptr) {
        std::free(track);
        TraceLog(LOG_WARNING, "STREAM: [%s] Music could not be loaded: out of memory", fileName);
        return music;
    }
    s->track = track;
    s->frames = frames;
    s->channels = channels;
    s->rate = rate;

    MusicTable &t = table();
    const std::uintptr_t handle = t.next_handle++;
    {
        std::lock_guard<std::mutex> guard(audio_mixer_lock());
        t.streams.emplace(handle, s);
    }
    music.stream = handle_stream(handle, rate, channels);
    music.frameCount = frames;
    music.looping = true;
    music.ctxType = wav_context;
    music.ctxData = reinterpret_cast<void *>(handle);
    TraceLog(LOG_INFO, "STREAM: [%s] Music loaded (%u Hz, %u channel(s), %.3f s)", fileName, rate, channels,
             static_cast<double>(frames) / rate);
    return music;
}

bool IsMusicReady(Music music) {
    std::lock_guard<std::mutex> guard(audio_mixer_lock());
    return find_locked(music) != nullptr;
}

void UnloadMusicStream(Music music) {
    Stream *s = nullptr;
    {
        std::lock_guard<std::mutex> guard(audio_mixer_lock());
        auto &streams = table().streams;
        auto it = streams.find(handle_of(music));
        if (it == streams.end()) return;
        s = it->second;
        streams.erase(it);
    }
    // Out of the table, so the mixer can no longer reach it.
    free_stream(s);
}

void PlayMusicStream(Music music) {
    // Without any output the stream would never move; it simply stays silent.
    if (!audio_output_running()) return;
    std::lock_guard<std::mutex> guard(audio_mixer_lock());
    if (Stream *s = find_locked(music)) {
        // A stream that is playing goes on; a stopped one (or one that ran to its end)
        // starts where it stands, which is its start unless it was sought.
        s->playing = true;
        s->paused = false;
    }
}

bool IsMusicStreamPlaying(Music music) {
    std::lock_guard<std::mutex> guard(audio_mixer_lock());
    const Stream *s = find_locked(music);
    return s != nullptr && s->playing && !s->paused;
}

void UpdateMusicStream(Music music) {
    std::lock_guard<std::mutex> guard(audio_mixer_lock());
    Stream *s = find_locked(music);
    if (s == nullptr || !s->playing || s->paused) return;
    const std::uint64_t held = s->queued - static_cast<std::uint64_t>(std::floor(s->read));
    std::uint64_t room = s->ring_frames - std::min<std::uint64_t>(held, s->ring_frames);
    const unsigned c = s->channels;
    while (room > 0 && !s->source_done) {
        if (s->source >= s->frames) {
            if (!music.looping) {
                s->source_done = true;
                break;
            }
            s->source = 0;
        }
        // One run up to the end of the track or of the ring, whichever is first.
        const unsigned slot = static_cast<unsigned>(s->queued % s->ring_frames);
        const auto run =
            static_cast<unsigned>(std::min<std::uint64_t>({room, s->frames - s->source, s->ring_frames - slot}));
        std::memcpy(&s->ring[static_cast<size_t>(slot) * c], s->track + static_cast<size_t>(s->source) * c,
                    sizeof(float) * run * c);
        s->source += run;
        s->queued += run;
        room -= run;
    }
}

void StopMusicStream(Music music) {
    std::lock_guard<std::mutex> guard(audio_mixer_lock());
    if (Stream *s = find_locked(music)) {
        s->playing = false;
        s->paused = false;
        restart_at(*s, 0);
    }
}

void PauseMusicStream(Music music) {
    std::lock_guard<std::mutex> guard(audio_mixer_lock());
    if (Stream *s = find_locked(music)) s->paused = true;
}

void ResumeMusicStream(Music music) {
    std::lock_guard<std::mutex> guard(audio_mixer_lock());
    if (Stream *s = find_locked(music)) s->paused = false;
}

void SeekMusicStream(Music music, float position) {
    std::lock_guard<std::mutex> guard(audio_mixer_lock());
    Stream *s = find_locked(music);
    if (s == nullptr) return;
    double frame = std::isfinite(position) && position > 0.0f ? static_cast<double>(position) * s->rate : 0.0;
    frame = std::fmod(std::floor(frame), static_cast<double>(s->frames));  // past the end wraps around
    restart_at(*s, static_cast<unsigned>(frame));
}

void SetMusicVolume(Music music, float volume) {
    std::lock_guard<std::mutex> guard(audio_mixer_lock());
    if (Stream *s = find_locked(music)) s->volume = std::isfinite(volume) ? std::max(0.0f, volume) : 0.0f;
}

float GetMusicTimeLength(Music music) {
    std::lock_guard<std::mutex> guard(audio_mixer_lock());
    const Stream *s = find_locked(music);
    return s == nullptr ? 0.0f : static_cast<float>(static_cast<double>(s->frames) / s->rate);
}

float GetMusicTimePlayed(Music music) {
    std::lock_guard<std::mutex> guard(audio_mixer_lock());
    const Stream *s = find_locked(music);
    if (s == nullptr) return 0.0f;
    std::uint64_t frame = played_frames(*s);
    // A looping track counts from its start again after each pass.
    frame = music.looping ? frame % s->frames : std::min<std::uint64_t>(frame, s->frames);
    return static_cast<float>(static_cast<double>(frame) / s->rate);
}

void mix_music_locked(float *out, int frames, float master_volume) {
    for (auto &entry : table().streams) {
        Stream &s = *entry.second;
        if (!s.playing || s.paused) continue;
        const float gain_left = master_volume * s.volume * pan_gain(0.5f);
        const float gain_right = master_volume * s.volume * pan_gain(0.5f);
        const double step = static_cast<double>(s.rate) / mix_rate;
        const unsigned c = s.channels;
        for (int i = 0; i < frames; ++i) {
            const auto index = static_cast<std::uint64_t>(s.read);
            if (index >= s.queued) break;  // ran dry, or reached the end
            const bool has_next = index + 1 < s.queued;
            if (!has_next && !s.source_done) break;  // the next update brings it
            const float frac = static_cast<float>(s.read - static_cast<double>(index));
            const float *a = &s.ring[static_cast<size_t>(index % s.ring_frames) * c];
            const float *b = has_next ? &s.ring[static_cast<size_t>((index + 1) % s.ring_frames) * c] : a;
            const float left = a[0] + (b[0] - a[0]) * frac;
            const float right = c == 1 ? left : a[1] + (b[1] - a[1]) * frac;
            out[2 * i] += left * gain_left;
            out[2 * i + 1] += right * gain_right;
            s.read += step;
        }
        if (s.source_done && static_cast<std::uint64_t>(s.read) >= s.queued) {
            // Ran to its end: stopped, and back at the start for the next play.
            s.playing = false;
            restart_at(s, 0);
        }
    }
}

void release_all_music() {
    std::vector<Stream *> doomed;
    {
        std::lock_guard<std::mutex> guard(audio_mixer_lock());
        for (auto &entry : table().streams) doomed.push_back(entry.second);
        table().streams.clear();
    }
    for (Stream *s : doomed) free_stream(s);
}
