#include "effects/ReverbFilter.h"

#include "effects/common/DelayLine.h"
#include "framework/BaseFilter.h"

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
    m_allPass1 = {};
    m_allPass2 = {};
    for (std::vector<double>& comb : m_combs) comb = {};
    m_combPos.fill(0);
    m_allPassPos1 = m_allPassPos2 = 0;
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
    m_length = 0;
    m_allPass1 = {};
    corvane::MakeDelayLine(m_allPass2, length, kSpare);
    for (int k = 0; k < kMaxCombs; ++k) {
        if (k < m_combCount) {
            corvane::MakeDelayLine(m_combs[k], length, kSpare);
        } else {
            m_combs[k] = {};
        }
    }
    const float fsf = static_cast<float>(m_pOwner->Format().nSamplesPerSec);
    for (int k = 1; k <= m_combCount; ++k) {
        // Single precision, as the phase offsets always were; they lie in 0..L.
        const float offset =
            static_cast<float>(k) * m_delayTime / static_cast<float>(m_combCount + 1) * fsf;
        m_combPos[k - 1] = length - corvane::LineLength(offset / 1000.0);
    }
    corvane::MakeDelayLine(m_allPass1, length, kSpare);
    m_length = length;
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
    if (length != m_length || m_allPass1.empty()) MakeLines(length);
    if (m_designedFrequency != m_lowPassFrequency || m_designedRate != fs) DesignLowPass(m_pIn[0]);

    const CFilter::Biquad& c = m_section.Coefficients();
    const bool lowPass = m_lowPassFrequency >= kLowestLowPass;
    const double g = m_feedback;
    const double combGain = m_combGain;
    const double mix = m_mix;
    const double dry = static_cast<double>(1.0f - m_mix);
    const int combs = m_combCount;
    const int64_t L = m_length;
    double* ap1 = m_allPass1.data();
    double* ap2 = m_allPass2.data();
    for (int i = 0; i < n; ++i) {
        const double x = m_pIn[i];
        double sum = 0.0;
        for (int k = 0; k < combs; ++k) sum += m_combs[k][m_combPos[k]];
        const double avg = sum / combs;
        double y = avg;
        if (lowPass) {
            y = c.b0 * avg + c.b1 * m_x1 + c.b2 * m_x2 - c.a1 * m_y1 - c.a2 * m_y2;
            m_x2 = m_x1, m_x1 = avg;
            m_y2 = m_y1, m_y1 = y;
        }
        for (int k = 0; k < combs; ++k) {
            double& slot = m_combs[k][m_combPos[k]];
            slot = combGain * slot + x;
            // ">=": a comb that starts at L (its first access in the spare room) wraps too.
            if (++m_combPos[k] >= L) m_combPos[k] = 0;
        }
        const double w1 = ap1[m_allPassPos1];
        ap1[m_allPassPos1] = g * w1 + y;
        const double out1 = w1 - g * ap1[m_allPassPos1];
        if (++m_allPassPos1 >= L) m_allPassPos1 = 0;
        const double w2 = ap2[m_allPassPos2];
        ap2[m_allPassPos2] = g * w2 + out1;
        const double out2 = w2 - g * ap2[m_allPassPos2];
        if (++m_allPassPos2 >= L) m_allPassPos2 = 0;
        // Mixed from the first sample, as the delay is.
        m_pOut[i] = mix * out2 + dry * x;
    }
    m_samplesSeen += n;
    return n;
}

CReverbFilter::~CReverbFilter() = default;
