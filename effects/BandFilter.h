// The band filter effect: one second-order section per channel (low-pass, high-pass, notch,
// band-pass, low shelf, high shelf or peaking), chosen by "FilterType" and tuned by "Frequency",
// "Steepness" (Q in hundredths) and "dbGain". The section is redesigned, with cleared history, only
// when the sample rate or a value changed, and at the first block after a restart. A design that
// would ring up without bound (a negative steepness, a frequency beyond half the rate, a value
// that is not finite) passes the audio through unchanged instead.
#pragma once

#include "platform/win32.h"

#include "effects/common/ChannelEngine.h"
#include "effects/common/Filter.h"
#include "framework/BaseChannelFilter.h"

class CBandChannelFilter : public CBaseChannelFilter {
public:
    using CBaseChannelFilter::CBaseChannelFilter;
    ~CBandChannelFilter() override;

    // Its keys: "FilterType" (integer; when it cannot be read the other keys are not read
    // either), "Frequency" (Hz), "Steepness" (Q x 100), "dbGain" (dB).
    static const ParamTable<CBandChannelFilter>& Params();

    HRESULT ResetChannel() override;
    HRESULT LoadChannelParams() override;
    int ProcessChannel(int n, int last) override;
    void RestartEffect() { Restart(); }

protected:
    CFilter m_section;
    // The values of the current design (the rate in Hz) and the values read.
    double m_designedRate = -1.0;
    double m_designedFrequency = -1.0;
    double m_frequency = -1.0;  // Hz
    double m_designedSteepness = -1.0;
    double m_steepness = -1.0;  // Q x 100
    double m_designedGain = 0.0;
    double m_gain = 0.0;  // dB
    int32_t m_designedType = 1;
    int32_t m_type = 1;     // "FilterType", 1 to 7 (others keep the section's previous design)
    bool m_bypass = false;  // the current design is not stable: blocks are copied
};

class CBandFilter : public CChannelEngine<CBandChannelFilter> {
public:
    using CChannelEngine::CChannelEngine;
    ~CBandFilter() override;
};
