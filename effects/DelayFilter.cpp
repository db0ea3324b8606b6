#include "effects/DelayFilter.h"

#include "effects/common/DelayLine.h"
#include "framework/BaseFilter.h"

#include <limits>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

}  // namespace

CDelayChannelFilter::~CDelayChannelFilter() = default;

HRESULT CDelayChannelFilter::ResetChannel() {
    RestartEffect();
    m_type = 1;
    m_delayTime = m_mix = m_feedback = 0.0f;
    return S_OK;
}

HRESULT CDelayChannelFilter::LoadChannelParams() {
    ReadLongIn(m_pOwner, OLESTR("EffectType"), 1, 2, &m_type);
    // Above 100 % the line's feedback grows without bound; below 0 it is no echo.
    ReadPercent(m_pOwner, OLESTR("FeedBackGain"), &m_feedback);
    ReadPercent(m_pOwner, OLESTR("MixDepth"), &m_mix);
    ReadFloatIn(m_pOwner, OLESTR("DelayTime"), 0.0, kInf, &m_delayTime);
    return S_OK;
}

int CDelayChannelFilter::ProcessChannel(int n, int) {
    if (n < 1) return 0;
    const float delaySamples = static_cast<float>(m_pOwner->m_wfx.nSamplesPerSec) * m_delayTime;
    const int64_t L = corvane::LineLength(delaySamples / 1000.0);
    if (L == 0) return PassThrough(n);
    if (L != m_length) {
        m_length = 0;
        corvane::MakeDelayLine(m_line, L, kSpare);
        m_length = L;
        m_write = 0;
    }
    const double m = m_mix, f = m_feedback;
    double* line = m_line.data();
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
