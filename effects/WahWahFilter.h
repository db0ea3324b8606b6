// The wah-wah effect: a resonant second-order low-pass per channel whose corner a cosine
// oscillator ("LFOFrequency" Hz from "LFOStartPhase" degrees) sweeps exponentially between
// pi e^-6 and pi (radians per sample), shaped by "Depth" and "WahFreqOffset" (%); "Resonance" is
// the filter's Q. The coefficients follow the oscillator every 30 samples.
#pragma once

#include "platform/win32.h"

#include "effects/common/ChannelEngine.h"
#include "framework/BaseChannelFilter.h"

#include <cstdint>

// The corner (radians per sample) for an oscillator value lfo in -1..1.
double WahWahCorner(double lfo, double depth, double offset);

class CWahWahChannelFilter : public CBaseChannelFilter {
public:
    // Samples between two computations of the coefficients.
    static constexpr int kCoefficientInterval = 30;

    using CBaseChannelFilter::CBaseChannelFilter;
    ~CWahWahChannelFilter() override;

    // Its keys: "Depth" (integer %), "LFOStartPhase" (integer degrees), "LFOFrequency" (Hz),
    // "Resonance" (Q), "WahFreqOffset" (integer %), "ClippingData".
    static const ParamTable<CWahWahChannelFilter>& Params();

    HRESULT ResetChannel() override;
    HRESULT LoadChannelParams() override;
    int ProcessChannel(int n, int last) override;
    // The oscillator back at "LFOStartPhase", the filter silent, from the next sample on.
    void RestartEffect();

protected:
    void ClearState();

    bool m_clipping = true;       // clamp to the stream's full scale
    float m_lfoFrequency = 1.5f;  // Hz
    double m_depth = 0.7;         // fraction
    double m_startPhase = 0.0;    // radians
    float m_resonance = 2.5f;     // Q
    double m_offset = 0.3;        // fraction
    double m_phase = 0.0;         // radians
    int64_t m_counter = 0;        // samples since the restart
    double m_x1 = 0.0, m_x2 = 0.0, m_y1 = 0.0, m_y2 = 0.0;
    double m_b0 = 0.0, m_b1 = 0.0, m_b2 = 0.0, m_a0 = 0.0, m_a1 = 0.0, m_a2 = 0.0;
};

class CWahWahFilter : public CChannelEngine<CWahWahChannelFilter> {
public:
    using CChannelEngine::CChannelEngine;
    ~CWahWahFilter() override;
};
