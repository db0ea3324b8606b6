// The equalizer effect: each channel runs a linear-phase FIR filter (CAudioFIRFilter, 51 taps)
// designed from "FrequencyArray" (band upper edges in Hz, ascending) and "dbGainArray" (one gain
// per band in dB), both streams of 32-bit floats. Band 0 runs from 0 Hz to the first edge, band i
// from a tenth of the way past edge i-1 to edge i, and a last band from 1.1 x the top edge to half
// the sample rate repeats the top gain. Without a usable pair of arrays the channel passes its
// input unchanged.
#pragma once

#include "platform/win32.h"

#include "effects/common/AudioFIRFilter.h"
#include "effects/common/ChannelEngine.h"
#include "effects/common/ParamRead.h"
#include "framework/BaseChannelFilter.h"

#include <vector>

class CEqualizeChannelFilter : public CBaseChannelFilter {
public:
    // Odd, so that the response is free at half the sample rate: an even count forces a zero
    // there, and the equiripple design then misses a flat table by 15 dB and more.
    static constexpr LONG kOrder = 51;
    static constexpr float kWeight = 100.0f;

    // The FIR filter's tables for these band edges (Hz) and linear gains at sampleRate Hz:
    // 3 x count + 2 entries each, -1 between bands. Both arrays hold `count` values.
    struct Tables {
        std::vector<float> bands, gains, weights;
    };
    static Tables MakeTables(const float* edges, const float* gains, size_t count,
                             double sampleRate);
    // Whether the arrays make an equalizer: both present, one length of at least one, finite
    // positive edges in strictly ascending order and finite linear gains.
    static bool UsableArrays(const std::vector<float>* edges, const std::vector<float>* gains);

    using CBaseChannelFilter::CBaseChannelFilter;
    ~CEqualizeChannelFilter() override;

    // "FrequencyArray" (positive entries) and "dbGainArray" (kept as linear gains).
    static const ParamTable<CEqualizeChannelFilter>& Params();

    HRESULT ResetChannel() override;
    // Reads both arrays and, when they make an equalizer, hands the FIR filter its tables.
    HRESULT LoadChannelParams() override;
    int ProcessChannel(int n, int last) override;
    // The next block redesigns the filter from silence (after a seek).
    void RestartEffect();

protected:
    CAudioFIRFilter m_fir;
    std::vector<float> m_gains;        // linear, from "dbGainArray"
    std::vector<float> m_frequencies;  // Hz, from "FrequencyArray"
    bool m_haveGains = false, m_haveFrequencies = false;
    bool m_passThrough = true;  // the input passes unchanged
};

class CEqualizeFilter : public CChannelEngine<CEqualizeChannelFilter> {
public:
    using CChannelEngine::CChannelEngine;
    ~CEqualizeFilter() override;
};
