#include "effects/WahWahFilter.h"

#include "framework/BaseFilter.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

}  // namespace

double WahWahCorner(double lfo, double depth, double offset) {
    return kPi * std::exp(((lfo + 1.0) * 0.5 * depth * (1.0 - offset) + offset - 1.0) * 6.0);
}

CWahWahChannelFilter::~CWahWahChannelFilter() = default;

const ParamTable<CWahWahChannelFilter>& CWahWahChannelFilter::Params() {
    using C = CWahWahChannelFilter;
    // Depth and offset keep the corner within 0 .. pi: a depth above 100 % sweeps it past half
    // the rate, where the section turns unstable; far below -100 % an offset leaves the corner
    // under 1 Hz, and INT_MIN leaves it at 0 (silence). The least resonance is the least normal
    // float: below it the section divides by (nearly) zero.
    static const ParamTable<C> rows = {
        {LongKey(OLESTR("Depth"), 70, 0, 100, ParamScale::Percent), &C::m_depth},
        {LongKey(OLESTR("LFOStartPhase"), 0, 0, 359, ParamScale::Degrees), &C::m_startPhase},
        {DoubleKey(OLESTR("LFOFrequency"), 1.5, 0, 40), &C::m_lfoFrequency},
        {DoubleKey(OLESTR("Resonance"), 2.5, FLT_MIN, 100), &C::m_resonance},
        {LongKey(OLESTR("WahFreqOffset"), 30, -100, 100, ParamScale::Percent), &C::m_offset},
        {BoolKey(OLESTR("ClippingData"), true), &C::m_clipping},
    };
    return rows;
}

void CWahWahChannelFilter::ClearState() {
    m_counter = 0;
    m_x1 = m_x2 = m_y1 = m_y2 = 0.0;
    m_b0 = m_b1 = m_b2 = m_a0 = m_a1 = m_a2 = 0.0;
    m_phase = m_startPhase;
}

void CWahWahChannelFilter::RestartEffect() {
    Restart();
    ClearState();
}

HRESULT CWahWahChannelFilter::ResetChannel() {
    ResetParams(this, Params());
    ClearState();
    return S_OK;
}

HRESULT CWahWahChannelFilter::LoadChannelParams() {
    ReadParams(m_pOwner, this, Params());
    // The oscillator starts at the start phase from the first block, not only after a seek.
    m_phase = m_startPhase;
    return S_OK;
}

int CWahWahChannelFilter::ProcessChannel(int n, int) {
    if (n < 1) return 0;
    const double rate = static_cast<double>(m_pOwner->Format().nSamplesPerSec);
    const double omega = static_cast<double>(m_lfoFrequency + m_lfoFrequency) * kPi / rate;
    const int bits = m_pOwner->Format().wBitsPerSample;
    // Full scale of the stream's samples; the doubles are at +-1, so it never acts on them.
    const double limit = bits >= 1 && bits <= 64 ? std::ldexp(1.0, bits - 1) - 1.0 : 0.0;
    const bool clip = m_clipping && limit > 0.0;
    for (int i = 0; i < n; ++i) {
        const int64_t c = m_counter++;
        if (c % kCoefficientInterval == 0) {
            const double lfo = std::cos(static_cast<double>(c + 1) * omega + m_phase);
            const double w = WahWahCorner(lfo, m_depth, m_offset);
            const double cw = std::cos(w);
            const double alpha = std::sin(w) / (2.0 * m_resonance);
            m_b0 = m_b2 = (1.0 - cw) * 0.5;
            m_b1 = 1.0 - cw;
            m_a0 = 1.0 + alpha;
            m_a1 = -2.0 * cw;
            m_a2 = 1.0 - alpha;
        }
        const double x = m_pIn[i];
        double y = (m_b0 * x + m_b1 * m_x1 + m_b2 * m_x2 - m_a1 * m_y1 - m_a2 * m_y2) / m_a0;
        m_x2 = m_x1, m_x1 = x;
        m_y2 = m_y1, m_y1 = y;
        if (clip) y = std::clamp(y, -limit, limit);
        m_pOut[i] = y;
    }
    return n;
}

CWahWahFilter::~CWahWahFilter() = default;
