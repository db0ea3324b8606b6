// The stretch and pitch-shift effects' oracle: SoundTouch driven directly, linked into the tests.
#pragma once

#include "tests/effects/harness.h"

#include <vector>

namespace corvane::testing {

// The settings of the stretch effect's processor.
struct StretchSettings {
    double tempo = 1.0, rate = 1.0, pitch = 0.0;  // factors; semitones
    int mode = 0, antialiasing = 1;
};

// Interleaved floats of `channels` channels through one processor set as the stretch effect sets
// it (channels, tempo, rate, pitch, quick seek off, the anti-alias filter, Mode 1's windows, then
// the rate): one put, a flush, everything received.
std::vector<float> SoundTouchRun(const StretchSettings& s, int channels, int rate,
                                 const std::vector<float>& in);

// The stretch effect's output for a signal: its samples / 32768 through SoundTouchRun, back to
// 16-bit as the block loop writes them.
Model StretchModel(const StretchSettings& s);

// One channel through a processor set as the pitch-shift effect sets it (one channel, the rate,
// tempo = rate / 100 of "Rate"): one put, a flush, everything received. With pitch > 0, the
// processor's own pitch change (setPitch) instead, tempo 1.
std::vector<float> PitchReferenceRun(const std::vector<float>& in, int rate, double tempo,
                                     double pitch = 0.0);

}  // namespace corvane::testing
