#include "effects/DelayFilter.h"

#include "effects/common/DelayLine.h"
#include "framework/BaseFilter.h"

CDelayChannelFilter::~CDelayChannelFilter() = default;

const ParamTable<CDelayChannelFilter>& CDelayChannelFilter::Params() {
    using C = CDelayChannelFilter;
    // Above 100 % the line's feedback grows without bound; below 0 it is no echo.
    static const ParamTable<C> rows = {
        {LongKey(OLESTR("EffectType"), 1, 1, 2), &C::m_type},
        {PercentKey(OLESTR("FeedBackGain"), 0), &C::m_feedback},
        {PercentKey(OLESTR("MixDepth"), 0), &C::m_mix},
        {DoubleKey(OLESTR("DelayTime"), 0, 0, ParamSpec::kInf), &C::m_delayTime},
    };
    return rows;
}

HRESULT CDelayChannelFilter::ResetChannel() {
    RestartEffect();
    ResetParams(this, Params());
    return S_OK;
}

HRESULT CDelayChannelFilter::LoadChannelParams() {
    ReadParams(m_pOwner, this, Params());
    return S_OK;
}

int CDelayChannelFilter::ProcessChannel(int n, int) {
    if (n < 1) return 0;
    const float delaySamples = static_cast<float>(m_pOwner->Format().nSamplesPerSec) * m_delayTime;
    const int64_t L = corvane::LineLength(delaySamples / 1000.0);
    if (L == 0) return PassThrough(n);
    if (L != m_line.Length()) {
        // A line holds no more than the interval (the rest of a longer delay would never return
        // inside it), and only as much of it as the audio has reached: a stream of unknown length
        // announces an interval that no audio fills.
        m_line.MakeGrowing(L, m_pOwner->IntervalFrames());
        m_write = 0;
    }
    m_line.Reach(m_write + n);
    const double m = m_mix, f = m_feedback;
    double* line = m_line.Data();
    for (int i = 0; i < n; ++i) {
        const double x = m_pIn[i];
        const double d = line[m_write];
        double y = x;
        if (m_type == 1) {
            y = (1.0 - m) * x + m * d;
            line[m_write] = f * d + x;
        } else {
            line[m_write] = f * d + x;
            y = (d - f * line[m_write]) * m + (1.0 - m) * x;
        }
        if (++m_write >= L) m_write = 0;
        // Mixed from the first sample: the empty line holds silence, and passing the first L
        // samples dry would step the level by the mix when the wet signal starts.
        m_pOut[i] = y;
    }
    m_processed += n;
    return n;
}

CDelayFilter::~CDelayFilter() = default;
