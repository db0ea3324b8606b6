// The flanger effect: a delay swept by a sine oscillator of 0.1 to 3 Hz ("SweepRate",
// "SweepPhase") across "SweepDepth" % of a base delay of 1 to 10 ms ("EffectType" 3) or 30 to
// 50 ms (4), set by "DelayRate"; the tap interpolates linearly between line samples and feeds back
// ("FeedBackGain"), mixed by "MixDepth" from the first sample on (the line starts silent).
#pragma once

#include "platform/win32.h"

#include "effects/common/ChannelEngine.h"
#include "effects/common/LineChannelFilter.h"
#include "effects/common/SharedBlockValues.h"

#include <cstdint>
#include <vector>

class CFlangerChannelFilter : public CLineChannelFilter {
public:
    // The line holds L samples at positions 2 .. L + 1 and repeats the last two at 0 and 1, so the
    // interpolation may read one past its tap; this many doubles follow.
    static constexpr int kSpare = 10;

    // The sweep of one block, which all channels share: per sample how far back the tap starts
    // (ceil s) and where between two line samples it lies (s - trunc s).
    struct Sweep {
        using Key = corvane::SharedBlockKey<6>;
        Key key;
        std::vector<int64_t> back;
        std::vector<double> frac;
    };
    using Engine = CChannelEngine<CFlangerChannelFilter, Sweep>;

    // owner: the engine, whose sweep the filter shares with the others it makes.
    explicit CFlangerChannelFilter(Engine* owner);
    ~CFlangerChannelFilter() override;

    // Its keys: "EffectType" (3 or 4), "SweepPhase" (degrees), "SweepRate", "SweepDepth",
    // "MixDepth", "FeedBackGain" and "DelayRate" (%).
    static const ParamTable<CFlangerChannelFilter>& Params();

    HRESULT ResetChannel() override;
    HRESULT LoadChannelParams() override;
    // Throws E_OUTOFMEMORY when the line cannot be made. The oscillator's time is the count of
    // samples since the line was made empty; the write index is the line position less 2.
    int ProcessChannel(int n, int last) override;

protected:
    Sweep& m_sweep;             // the engine's
    int64_t m_length = 0;       // L, samples
    int32_t m_type = 3;         // "EffectType"
    float m_delayRate = 0.0f;   // % of the base delay's range
    float m_mix = 0.0f;         // 0..1
    float m_feedback = 0.0f;    // fraction
    float m_sweepDepth = 0.0f;  // %
    float m_sweepRate = 0.0f;   // % of the oscillator's range
    float m_sweepPhase = 0.0f;  // radians
};

class CFlangerFilter : public CFlangerChannelFilter::Engine {
public:
    using CChannelEngine::CChannelEngine;
    ~CFlangerFilter() override;
};
