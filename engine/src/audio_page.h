// The browser build's sound: WAV reading and the Web Audio output (audio_page.cpp).
#ifndef ENGINE_AUDIO_PAGE_H
#define ENGINE_AUDIO_PAGE_H
#if defined(__EMSCRIPTEN__)

#include <SDL.h>  // emscripten's headers: the audio format names and SDL_AudioSpec only

#include <cstddef>

// Opens Web Audio at `rate` stereo frames a second, pulling the mixer; the rate the
// browser gives (it may refuse `rate`), or 0 when the page has no Web Audio.
int audio_page_open(int rate);
void audio_page_close();
// A click or key press: the page may start its sound now.
void audio_page_gesture();
// A WAV file's PCM or float samples as they are in the file, malloc'ed into raw; null,
// or why the file cannot be played.
const char *audio_page_read_wav(const unsigned char *data, std::size_t size, SDL_AudioSpec &out_format, Uint8 *&raw,
                                Uint32 &raw_bytes);
// `frames` interleaved samples of `format` as floats with `out_channels` (1 or 2)
// channels; malloc'ed, null when out of memory.
float *audio_page_to_float(SDL_AudioFormat format, int channels, const void *data, std::size_t frames,
                           unsigned out_channels);

#endif
#endif
