// The vibrato effect: the amplitude of each channel swings with a sine, y = x (1 + depth sin), of
// "SweepFrequency" Hz, starting at "SweepPhase" degrees, "SweepDepth" % deep.
#pragma once

#include "platform/win32.h"

#include "effects/common/ChannelEngine.h"
#include "effects/common/SharedBlockValues.h"
#include "framework/BaseChannelFilter.h"

#include <vector>

class CVibratoChannelFilter : public CBaseChannelFilter {
public:
    // The gains of one block, 1 + depth sin, which all channels share.
    struct Swing {
        using Key = corvane::SharedBlockKey<4>;
        Key key;
        std::vector<double> gain;
    };
    using Engine = CChannelEngine<CVibratoChannelFilter, Swing>;

    // owner: the engine, whose swing the filter shares with the others it makes.
    explicit CVibratoChannelFilter(Engine* owner);
    ~CVibratoChannelFilter() override;

    // Its keys: "SweepPhase" (degrees), "SweepFrequency" (Hz), "SweepDepth" (%).
    static const ParamTable<CVibratoChannelFilter>& Params();

    HRESULT ResetChannel() override;
    HRESULT LoadChannelParams() override;
    int ProcessChannel(int n, int last) override;
    // The oscillator starts again from "SweepPhase" at the next block.
    void RestartEffect();

protected:
    Swing& m_swing;             // the engine's
    double m_phase = 0.0;       // radians, at the start of the next block
    float m_depth = 0.0f;       // 0..1
    float m_frequency = 0.0f;   // Hz
    float m_sweepPhase = 0.0f;  // radians
};

class CVibratoFilter : public CVibratoChannelFilter::Engine {
public:
    using CChannelEngine::CChannelEngine;
    ~CVibratoFilter() override;
};
