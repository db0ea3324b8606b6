#include "effects/VibratoFilter.h"

#include "framework/BaseFilter.h"

#include <cmath>

namespace {

constexpr double kTwoPi = 6.283185307179586;

}  // namespace

CVibratoChannelFilter::CVibratoChannelFilter(Engine* owner)
    : CBaseChannelFilter(owner), m_swing(owner->SharedValues()) {}

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
    const float f = m_frequency / static_cast<float>(m_pOwner->Format().nSamplesPerSec);
    const double omega = f * kTwoPi;
    const double depth = m_depth;
    const double advance = static_cast<double>(static_cast<float>(n) * f) * kTwoPi;
    const double start = m_bRestart ? static_cast<double>(m_sweepPhase) : m_phase;
    // Every channel swings alike: the gains, a sine each, are made once per frame.
    using Key = Swing::Key;
    const Key::Words key = {Key::Bits(start), Key::Bits(omega), Key::Bits(depth), Key::Bits(n)};
    if (m_swing.key.Holds(key)) {
        const double* gain = m_swing.gain.data();
        for (int i = 0; i < n; ++i) m_pOut[i] = gain[i] * m_pIn[i];
    } else {
        m_swing.key.Clear();
        m_swing.gain.resize(static_cast<size_t>(n));
        double* gain = m_swing.gain.data();
        for (int i = 0; i < n; ++i) {
            gain[i] = std::sin(i * omega + start) * depth + 1.0;
            m_pOut[i] = gain[i] * m_pIn[i];
        }
        m_swing.key.Set(key);
    }
    // The phase carried on is kept within whole turns of its start, so it never grows large.
    m_phase = m_bRestart ? advance + m_sweepPhase
                         : m_phase + advance - std::floor(m_phase / kTwoPi) * kTwoPi;
    return n;
}

CVibratoFilter::~CVibratoFilter() = default;
