// Naive models of the time-domain effects, written from their formulas on one channel of doubles at
// full scale +-1 (what PerChannelModel turns into an effect model): each keeps the whole signal and
// looks back into it by index rather than through circular lines. The stored parameters are given
// as the effects store them (floats where they keep floats).
#pragma once

#include "effects/common/Filter.h"

#include <cstdint>
#include <vector>

namespace corvane::testing {

using Channel = std::vector<double>;

// Band filter: "FilterType" 1..7, "Frequency", "Steepness", "dbGain"; *design gets the biquad.
Channel BandModel(const Channel& x, int rate, int type, double frequency, double steepness,
                  double gainDb, CFilter::Biquad* design = nullptr);

struct ReverbModelSettings {
    int combs = 10;
    float lowPassHz = 0.0f;  // below 1 Hz: no low-pass
    float combGain = 0.0f;   // fractions
    float feedback = 0.0f;
    float mix = 0.0f;
    float delayMs = 0.0f;
};
Channel ReverbModel(const Channel& x, int rate, const ReverbModelSettings& s);

// Delay: type 1 or 2; mix and feedback as fractions.
Channel DelayModel(const Channel& x, int rate, int type, float mix, float feedback, float delayMs);

struct FlangerModelSettings {
    int type = 3;
    float delayRate = 0.0f;   // %
    float mix = 0.0f;         // fraction
    float feedback = 0.0f;    // fraction
    float sweepDepth = 0.0f;  // %
    float sweepRate = 0.0f;   // %
    float sweepPhase = 0.0f;  // radians
};
// start: the oscillator's time of x[0] (samples since the line was made empty).
Channel FlangerModel(const Channel& x, int rate, const FlangerModelSettings& s, int64_t start = 0);

// Vibrato from one restart, in one block: phase in radians, depth a fraction.
Channel VibratoModel(const Channel& x, int rate, float frequency, float depth, float phase);

struct WahWahModelSettings {
    double depth = 0.7;
    double startPhase = 0.0;  // radians
    float lfoHz = 1.5f;
    float resonance = 2.5f;
    double offset = 0.3;
};
// start: the sample counter at x[0].
Channel WahWahModel(const Channel& x, int rate, const WahWahModelSettings& s, int64_t start = 0);

}  // namespace corvane::testing
