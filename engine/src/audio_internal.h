// Mixer entry points shared between the audio module and the test hooks.
#ifndef ENGINE_AUDIO_INTERNAL_H
#define ENGINE_AUDIO_INTERNAL_H

#include <SDL.h>

#include <cstdint>
#include <cstdlib>
#include <mutex>

#include "raylib.h"

// Stops the device's callback (if a device is open) and hands the mixer to the
// caller: from now on sounds play whenever audio_pull_frames is called, device
// or not. Used by tests that need sample-exact control over the mix.
void audio_take_manual_control();

// Mixes `frames` stereo frames (interleaved left, right) into out, overwriting it.
void audio_pull_frames(float *out, int frames);

// Guards everything the mixer reads: the sound voices, the music streams and the
// master volume. Held for one table update or one callback's worth of mixing.
std::mutex &audio_mixer_lock();

// True while something pulls the mix: an open device, or a test holding the mixer.
bool audio_output_running();

// Pan law: larger pan leans left; the centre gives 0.6875 on each side.
float pan_gain(float p);

// Reads a WAV file as SDL decodes it (any sample format, the file's own rate) after
// the loader's checks: a regular file of bounded size, a sane rate and length. On
// refusal logs one WARNING naming the file and returns false; otherwise the caller
// frees raw with free_wav.
bool read_wav_file(const char *fileName, SDL_AudioSpec &file_format, Uint8 *&raw, Uint32 &raw_bytes);
// Frees what read_wav_file gave (the browser build reads WAV files itself).
inline void free_wav(Uint8 *raw) {
#if defined(__EMSCRIPTEN__)
    std::free(raw);
#else
    SDL_FreeWAV(raw);
#endif
}

// Adds every playing music stream to `frames` stereo frames of out. Called by the
// mixer with audio_mixer_lock() held.
void mix_music_locked(float *out, int frames, float master_volume);

// The stream record of a loaded sound or music: the buffer pointer carries the handle
// under which its table keeps it; samples are 32-bit floats.
inline AudioStream handle_stream(std::uintptr_t handle, unsigned int rate, unsigned int channels) {
    return AudioStream{reinterpret_cast<rAudioBuffer *>(handle), nullptr, rate, 32, channels};
}

// Frees every music stream still loaded (CloseAudioDevice).
void release_all_music();

#endif
