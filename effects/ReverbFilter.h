// The reverb effect: each channel feeds a bank of feedback comb lines ("nTapDelay" of them, all L
// samples long, L from "DelayTime"), whose average a second-order low-pass smooths
// ("ReverbrationFrequency"), then two all-pass stages ("FeedBackGain"), mixed with the dry signal
// ("MixDepth") from the first sample on (the lines start silent).
#pragma once

#include "platform/win32.h"

#include "effects/common/ChannelEngine.h"
#include "effects/common/Filter.h"
#include "framework/BaseChannelFilter.h"

#include <array>
#include <cstdint>
#include <vector>

class CReverbChannelFilter : public CBaseChannelFilter {
public:
    static constexpr int kMaxCombs = 20;
    // Doubles past the end of every line: a comb that starts at position L reads there once.
    static constexpr int kSpare = 24;

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
    void DesignLowPass(double firstInput);

    CFilter m_section;  // designs the low-pass; its own filtering is not used
    std::vector<double> m_allPass1, m_allPass2;
    int64_t m_length = 0;  // L, samples
    std::array<std::vector<double>, kMaxCombs> m_combs;
    std::array<int64_t, kMaxCombs> m_combPos{};
    int64_t m_samplesSeen = 0;  // since the lines were made empty
    int64_t m_allPassPos1 = 0, m_allPassPos2 = 0;
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
