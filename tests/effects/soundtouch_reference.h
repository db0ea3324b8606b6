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
// the rate): what it gives for `in` alone, at most as many frames as its own flush would give for
// all but the last `following` frames of `in` (which follow the interval).
std::vector<float> SoundTouchRun(const StretchSettings& s, int channels, int rate,
                                 const std::vector<float>& in, size_t following = 0);

// The stretch effect's output from frame `first` of a signal on, where its interval is frames
// [first, end): the interval through SoundTouchRun with the frames after it following, back to
// 16-bit as the block loop writes them, then those frames untouched.
std::vector<int16_t> StretchFrom(const StretchSettings& s, const Signal& in, int64_t first,
                                 int64_t end);
// The samples the stretch effect gives in all for that: its length rule's, then those frames.
size_t StretchedSamples(const StretchSettings& s, const Signal& in, int64_t first, int64_t end);

// One channel through a processor set as the pitch-shift effect sets it (one channel, the rate,
// tempo = rate / 100 of "Rate", then cleared): what it gives for `in` alone, at most all but its
// last `following` / tempo frames. With pitch > 0, the processor's own pitch change (setPitch)
// instead, tempo 1.
std::vector<float> PitchReferenceRun(const std::vector<float>& in, int rate, double tempo,
                                     double pitch = 0.0, size_t following = 0);

class SoundTouchHarness : public EffectHarness {
protected:
    // The effect through every read plan (after `seek`): `want` (as far as SoundTouch gives it),
    // `total` samples in all, and an ending past want never silent for 1 ms (below -54 dBFS),
    // within 1 dB of what precedes it.
    void ExpectWithEnding(const EffectSetup& setup, const Signal& in,
                          const std::vector<int16_t>& want, size_t total,
                          const SeekPoint* seek = nullptr);
};

}  // namespace corvane::testing
