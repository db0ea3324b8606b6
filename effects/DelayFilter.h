// The delay effect: a fixed delay of "DelayTime" ms per channel with feedback ("FeedBackGain") in
// one of two mixing forms ("EffectType" 1 or 2), mixed by "MixDepth" from the first sample on (the
// line starts silent).
#pragma once

#include "platform/win32.h"

#include "effects/common/ChannelEngine.h"
#include "effects/common/LineChannelFilter.h"
#include "effects/common/ParamRead.h"

#include <cstdint>

class CDelayChannelFilter : public CLineChannelFilter {
public:
    using CLineChannelFilter::CLineChannelFilter;
    ~CDelayChannelFilter() override;

    // Its keys: "EffectType" (1 or 2), "DelayTime" (ms), "FeedBackGain" and "MixDepth" (%).
    static const ParamTable<CDelayChannelFilter>& Params();

    HRESULT ResetChannel() override;
    HRESULT LoadChannelParams() override;
    // Throws E_OUTOFMEMORY when the line cannot be made (it is made again at the next block).
    int ProcessChannel(int n, int last) override;

protected:
    int32_t m_type = 3;        // "EffectType": 1 after ResetChannel
    float m_delayTime = 0.0f;  // ms
    float m_mix = 0.0f;        // 0..1
    float m_feedback = 0.0f;   // fraction
};

class CDelayFilter : public CChannelEngine<CDelayChannelFilter> {
public:
    using CChannelEngine::CChannelEngine;
    ~CDelayFilter() override;
};
