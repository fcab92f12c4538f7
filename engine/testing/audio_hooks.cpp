// Pulls the mix straight from the mixer so tests can check samples exactly.
// The first call takes the mixer over for the rest of the process: an open
// device stops pulling, and sounds play even without a device. A call with no
// frames only takes it over, which tests do before starting any sound.
#include "testing.h"

#include "audio_internal.h"

int testing_pull_audio(float *out_stereo, int frames) {
    audio_take_manual_control();
    if (out_stereo == nullptr || frames <= 0) return 0;
    audio_pull_frames(out_stereo, frames);
    return frames;
}
