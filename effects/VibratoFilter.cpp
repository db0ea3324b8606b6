#include "effects/VibratoFilter.h"

#include "framework/BaseFilter.h"

#include <cmath>

namespace {

constexpr double kTwoPi = 6.283185307179586;

}  // namespace

CVibratoChannelFilter::~CVibratoChannelFilter() = default;

const ParamTable<CVibratoChannelFilter>& CVibratoChannelFilter::Params() {
    using C = CVibratoChannelFilter;
    // A frequency beyond single precision would turn every sine into NaN, silence: its float
    // field refuses it.
    static const ParamTable<C> rows = {
        {DegreesKey(OLESTR("SweepPhase"), 0), &C::m_sweepPhase},
        {DoubleKey(OLESTR("SweepFrequency"), 0, 0, ParamSpec::kInf), &C::m_frequency},
        {PercentKey(OLESTR("SweepDepth"), 0), &C::m_depth},
    };
    return rows;
}

void CVibratoChannelFilter::RestartEffect() {
    Restart();
    m_phase = 0.0;
}

HRESULT CVibratoChannelFilter::ResetChannel() {
    m_phase = 0.0;
    ResetParams(this, Params());
    return S_OK;
}

HRESULT CVibratoChannelFilter::LoadChannelParams() {
    ReadParams(m_pOwner, this, Params());
    return S_OK;
}

int CVibratoChannelFilter::ProcessChannel(int n, int) {
    if (n < 1) return 0;
    const float f = m_frequency / static_cast<float>(m_pOwner->m_wfx.nSamplesPerSec);
    const double omega = f * kTwoPi;
    const double depth = m_depth;
    const double advance = static_cast<double>(static_cast<float>(n) * f) * kTwoPi;
    const double start = m_bRestart ? static_cast<double>(m_sweepPhase) : m_phase;
    for (int i = 0; i < n; ++i) m_pOut[i] = (std::sin(i * omega + start) * depth + 1.0) * m_pIn[i];
    // The phase carried on is kept within whole turns of its start, so it never grows large.
    m_phase = m_bRestart ? advance + m_sweepPhase
                         : m_phase + advance - std::floor(m_phase / kTwoPi) * kTwoPi;
    return n;
}

CVibratoFilter::~CVibratoFilter() = default;
