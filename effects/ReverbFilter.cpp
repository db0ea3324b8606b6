#include "effects/ReverbFilter.h"

#include "effects/common/DelayLine.h"
#include "framework/BaseFilter.h"

#include <algorithm>
#include <cmath>

namespace {

// The low-pass: a Q of 0.5 (in hundredths), and the frequency under which there is none.
constexpr double kLowPassQ = 50.0;
constexpr float kLowestLowPass = 1.0f;

}  // namespace

CReverbChannelFilter::~CReverbChannelFilter() = default;

const ParamTable<CReverbChannelFilter>& CReverbChannelFilter::Params() {
    using C = CReverbChannelFilter;
    // Above 100 % the all-pass stages grow without bound.
    static const ParamTable<C> rows = {
        {LongKey(OLESTR("nTapDelay"), 10, 1, kMaxCombs), &C::m_combCount},
        {DoubleKey(OLESTR("ReverbrationFrequency"), 0, 0, ParamSpec::kInf), &C::m_lowPassFrequency},
        {PercentKey(OLESTR("ReverbrationGain"), 0), &C::m_combGain},
        {PercentKey(OLESTR("FeedBackGain"), 0), &C::m_feedback},
        {PercentKey(OLESTR("MixDepth"), 0), &C::m_mix},
        {DoubleKey(OLESTR("DelayTime"), 0, 0, ParamSpec::kInf), &C::m_delayTime},
    };
    return rows;
}

void CReverbChannelFilter::RestartEffect() {
    Restart();
    m_samplesSeen = 0;
    m_allPass1.Clear();
    m_allPass2.Clear();
    for (corvane::DelayLine& comb : m_combs) comb.Clear();
    m_linesMade = false;
    m_position = 0;
    m_dropPending = false;
    m_length = 0;
    m_designedFrequency = -1.0f;
    m_designedRate = -1;
}

HRESULT CReverbChannelFilter::ResetChannel() {
    RestartEffect();
    ResetParams(this, Params());
    return S_OK;
}

HRESULT CReverbChannelFilter::LoadChannelParams() {
    ReadParams(m_pOwner, this, Params());
    return S_OK;
}

void CReverbChannelFilter::MakeLines(int64_t length) {
    // Nothing of the old lines survives a failure: the next block tries again.
    m_linesMade = false;
    // A line holds no more than the interval (the rest of a longer delay would never return
    // inside it), and only as much of it as the audio has reached: a stream of unknown length
    // announces an interval that no audio fills.
    const int64_t period = std::max<int64_t>(length, 1);
    const int64_t expected = m_pOwner->IntervalFrames();
    for (int k = 0; k < kMaxCombs; ++k) {
        if (k < m_combCount) {
            m_combs[k].MakeGrowing(period, expected);
        } else {
            m_combs[k].Clear();
        }
    }
    m_allPass1.MakeGrowing(period, expected);
    m_allPass2.MakeGrowing(period, expected);
    const float fsf = static_cast<float>(m_pOwner->Format().nSamplesPerSec);
    m_dropPending = false;
    for (int k = 1; k <= kMaxCombs; ++k) {
        // Single precision, as the phase offsets always were.
        const float offset =
            static_cast<float>(k) * m_delayTime / static_cast<float>(m_combCount + 1) * fsf;
        m_dropsFirst[k - 1] =
            k <= m_combCount && length > 0 && corvane::LineLength(offset / 1000.0) == 0;
        m_dropPending = m_dropPending || m_dropsFirst[k - 1];
    }
    m_position = 0;
    m_length = length;
    m_linesMade = true;
}

void CReverbChannelFilter::ReachLines(int n) {
    try {
        for (int k = 0; k < m_combCount; ++k) m_combs[k].Reach(m_position + n);
        m_allPass1.Reach(m_position + n);
        m_allPass2.Reach(m_position + n);
    } catch (...) {
        m_linesMade = false;
        throw;
    }
}

void CReverbChannelFilter::DesignLowPass(double firstInput) {
    m_section.SetBiquad(CFilter::kLowPass, -20.0, m_lowPassFrequency,
                        static_cast<double>(m_pOwner->Format().nSamplesPerSec), kLowPassQ);
    // Starting from a settled input avoids a step at the first sample.
    m_x1 = m_x2 = m_y1 = m_y2 = firstInput;
    m_designedFrequency = m_lowPassFrequency;
    m_designedRate = m_pOwner->Format().nSamplesPerSec;
}

int CReverbChannelFilter::ProcessChannel(int n, int) {
    if (n < 1) return 0;
    const DWORD fs = m_pOwner->Format().nSamplesPerSec;
    const float fsf = static_cast<float>(fs);
    if (m_lowPassFrequency > static_cast<float>(fs / 2)) m_lowPassFrequency = fsf * 0.5f;
    const float delaySamples = fsf * m_delayTime;
    const int64_t length = corvane::LineLength(delaySamples / 1000.0);
    if (length != m_length || !m_linesMade) MakeLines(length);
    ReachLines(n);
    if (m_designedFrequency != m_lowPassFrequency || m_designedRate != fs) DesignLowPass(m_pIn[0]);

    const CFilter::Biquad& c = m_section.Coefficients();
    const bool lowPass = m_lowPassFrequency >= kLowestLowPass;
    const double g = m_feedback;
    const double combGain = m_combGain;
    const double mix = m_mix;
    const double dry = static_cast<double>(1.0f - m_mix);
    const int combs = m_combCount;
    const int64_t period = m_allPass1.Length();
    std::array<double*, kMaxCombs> comb{};
    for (int k = 0; k < combs; ++k) comb[k] = m_combs[k].Data();
    double* ap1 = m_allPass1.Data();
    double* ap2 = m_allPass2.Data();
    int64_t p = m_position;
    for (int i = 0; i < n; ++i) {
        const double x = m_pIn[i];
        double sum = 0.0;
        for (int k = 0; k < combs; ++k) sum += comb[k][p];
        const double avg = sum / combs;
        double y = avg;
        if (lowPass) {
            y = c.b0 * avg + c.b1 * m_x1 + c.b2 * m_x2 - c.a1 * m_y1 - c.a2 * m_y2;
            m_x2 = m_x1, m_x1 = avg;
            m_y2 = m_y1, m_y1 = y;
        }
        for (int k = 0; k < combs; ++k) comb[k][p] = combGain * comb[k][p] + x;
        if (m_dropPending) {
            for (int k = 0; k < combs; ++k) {
                if (m_dropsFirst[k]) comb[k][p] = 0.0;
            }
            m_dropPending = false;
        }
        const double w1 = ap1[p];
        ap1[p] = g * w1 + y;
        const double out1 = w1 - g * ap1[p];
        const double w2 = ap2[p];
        ap2[p] = g * w2 + out1;
        const double out2 = w2 - g * ap2[p];
        if (++p >= period) p = 0;
        // Mixed from the first sample, as the delay is.
        m_pOut[i] = mix * out2 + dry * x;
    }
    m_position = p;
    m_samplesSeen += n;
    return n;
}

CReverbFilter::~CReverbFilter() = default;
