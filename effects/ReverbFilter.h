// The reverb effect: each channel feeds a bank of feedback comb lines ("nTapDelay" of them, all L
// samples long, L from "DelayTime"), whose average a second-order low-pass smooths
// ("ReverbrationFrequency"), then two all-pass stages ("FeedBackGain"), mixed with the dry signal
// ("MixDepth") from the first sample on (the lines start silent).
#pragma once

#include "platform/win32.h"

#include "effects/common/ChannelEngine.h"
#include "effects/common/DelayLine.h"
#include "effects/common/Filter.h"
#include "framework/BaseChannelFilter.h"

#include <array>
#include <cstdint>

class CReverbChannelFilter : public CBaseChannelFilter {
public:
    static constexpr int kMaxCombs = 20;

    using CBaseChannelFilter::CBaseChannelFilter;
    ~CReverbChannelFilter() override;

    // Its keys: "nTapDelay" (1 to 20 combs), "ReverbrationFrequency" (Hz), "ReverbrationGain",
    // "FeedBackGain" and "MixDepth" (%), "DelayTime" (ms).
    static const ParamTable<CReverbChannelFilter>& Params();

    HRESULT ResetChannel() override;
    HRESULT LoadChannelParams() override;
    // Throws E_OUTOFMEMORY when the lines of the delay cannot be made.
    int ProcessChannel(int n, int last) override;
    // Empty lines, L and the counters at 0, the low-pass to be designed again; parameters stay.
    void RestartEffect();

protected:
    void MakeLines(int64_t length);
    // Stores the positions that the next n samples reach in every line.
    void ReachLines(int n);
    void DesignLowPass(double firstInput);

    CFilter m_section;  // designs the low-pass; its own filtering is not used
    // Every line returns what it took L samples before (1 for L = 0), so all of them go round at
    // one position.
    corvane::DelayLine m_allPass1, m_allPass2;
    std::array<corvane::DelayLine, kMaxCombs> m_combs;
    int64_t m_length = 0;      // L, samples
    bool m_linesMade = false;  // the lines are L long (else they are made at the next block)
    int64_t m_position = 0;    // in every line, 0 .. max(L, 1) - 1
    // The combs whose phase offset is under one sample (k L / (count + 1) < 1): what they take at
    // the first sample after the lines are made never returns (m_dropPending until it is dropped).
    std::array<bool, kMaxCombs> m_dropsFirst{};
    bool m_dropPending = false;
    int64_t m_samplesSeen = 0;                              // since the lines were made empty
    double m_x1 = 0.0, m_x2 = 0.0, m_y1 = 0.0, m_y2 = 0.0;  // low-pass history
    float m_delayTime = 0.0f;                               // ms
    float m_mix = 0.0f;                                     // 0..1
    float m_feedback = 0.0f;                                // all-pass gain
    float m_combGain = 0.0f;                                // 0..1
    float m_lowPassFrequency = 0.0f;                        // Hz; below 1 Hz: no low-pass
    float m_designedFrequency = -1.0f;
    int32_t m_combCount = 10;
    int64_t m_designedRate = -1;
};

class CReverbFilter : public CChannelEngine<CReverbChannelFilter> {
public:
    using CChannelEngine::CChannelEngine;
    ~CReverbFilter() override;
};
