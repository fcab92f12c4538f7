// Mixer entry points shared between the audio module and the test hooks.
#ifndef ENGINE_AUDIO_INTERNAL_H
#define ENGINE_AUDIO_INTERNAL_H

// Stops the device's callback (if a device is open) and hands the mixer to the
// caller: from now on sounds play whenever audio_pull_frames is called, device
// or not. Used by tests that need sample-exact control over the mix.
void audio_take_manual_control();

// Mixes `frames` stereo frames (interleaved left, right) into out, overwriting it.
void audio_pull_frames(float *out, int frames);

#endif
