#include "effects/FlangerFilter.h"

#include "effects/common/DelayLine.h"
#include "framework/BaseFilter.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kTwoPi = 6.283185307179586;

}  // namespace

CFlangerChannelFilter::CFlangerChannelFilter(Engine* owner)
    : CLineChannelFilter(owner), m_sweep(owner->SharedValues()) {}

CFlangerChannelFilter::~CFlangerChannelFilter() = default;

const ParamTable<CFlangerChannelFilter>& CFlangerChannelFilter::Params() {
    using C = CFlangerChannelFilter;
    // Rates, depths and the base delay are percentages of their ranges (0.1 to 3 Hz, the base
    // delay, 1 to 10 or 30 to 50 ms), kept as percentages. Above 100 % the line's feedback grows
    // without bound.
    static const ParamTable<C> rows = {
        {LongKey(OLESTR("EffectType"), 3, 3, 4), &C::m_type},
        {DegreesKey(OLESTR("SweepPhase"), 0), &C::m_sweepPhase},
        {DoubleKey(OLESTR("SweepRate"), 0, 0, 100), &C::m_sweepRate},
        {DoubleKey(OLESTR("SweepDepth"), 0, 0, 100), &C::m_sweepDepth},
        {PercentKey(OLESTR("FeedBackGain"), 0), &C::m_feedback},
        {PercentKey(OLESTR("MixDepth"), 0), &C::m_mix},
        {DoubleKey(OLESTR("DelayRate"), 0, 0, 100), &C::m_delayRate},
    };
    return rows;
}

HRESULT CFlangerChannelFilter::ResetChannel() {
    RestartEffect();
    ResetParams(this, Params());
    return S_OK;
}

HRESULT CFlangerChannelFilter::LoadChannelParams() {
    ReadParams(m_pOwner, this, Params());
    return S_OK;
}

int CFlangerChannelFilter::ProcessChannel(int n, int) {
    if (n < 1) return 0;
    const double rate = static_cast<double>(m_pOwner->Format().nSamplesPerSec);
    int64_t L = 0;
    if (m_type == 3 || m_type == 4) {
        const double baseMs =
            m_type == 3 ? m_delayRate * 9.0 / 100.0 + 1.0 : m_delayRate * 20.0 / 100.0 + 30.0;
        L = corvane::LineLength(baseMs * rate / 1000.0);
    }
    // Below one sample of delay there is no line to sweep (rates under 1000 Hz).
    if (L < 1) return PassThrough(n);
    if (L != m_length || m_line.Length() == 0) {
        // Read anywhere within its length from the start: all of it is stored at once.
        m_length = 0;
        m_line.Make(L + 2 + kSpare, L + 2 + kSpare);
        m_length = L;
        m_write = L - 1;
    }
    const float depth = static_cast<float>(L) * m_sweepDepth / 100.0f;
    const double omega =
        static_cast<double>(static_cast<float>((m_sweepRate * 2.9 / 100.0 + 0.1) / rate)) * kTwoPi;
    // The tap lies s + 2 samples back (s + 1 for a whole s); past L - 2 it would blend the oldest
    // sample with the newest.
    const float sMax = static_cast<float>(std::max<int64_t>(L - 2, 0));
    // Every channel sweeps alike: the sine, the dearest part, is taken once per frame.
    using Key = Sweep::Key;
    const Key::Words key = {Key::Bits(m_processed),  Key::Bits(n),     Key::Bits(omega),
                            Key::Bits(m_sweepPhase), Key::Bits(depth), Key::Bits(sMax)};
    if (!m_sweep.key.Holds(key)) {
        m_sweep.key.Clear();
        m_sweep.back.resize(static_cast<size_t>(n));
        m_sweep.frac.resize(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            const int64_t t = m_processed + i;
            float s = static_cast<float>(
                (std::sin(static_cast<double>(t) * omega + m_sweepPhase) + 1.0) * depth * 0.5);
            if (!(s >= 0.0f)) s = 0.0f;  // NaN from an infinite rate or phase
            s = std::min(s, sMax);
            m_sweep.back[i] = static_cast<int64_t>(std::ceil(s));
            m_sweep.frac[i] = static_cast<double>(s - std::trunc(s));
        }
        m_sweep.key.Set(key);
    }
    const double m = m_mix, f = m_feedback;
    double* line = m_line.Data();
    const int64_t* back = m_sweep.back.data();
    const double* fracs = m_sweep.frac.data();
    for (int i = 0; i < n; ++i) {
        const double x = m_pIn[i];
        int64_t r = m_write - back[i];
        if (r < 0) r += L;
        const double frac = fracs[i];
        const double tap = (1.0 - frac) * (line[r + 1] - line[r]) + line[r];
        const double y = (1.0 - m) * x + m * tap;
        line[m_write + 2] = f * tap + x;
        if (++m_write >= L) {
            line[0] = line[L];
            line[1] = line[L + 1];
            m_write = 0;
        }
        m_pOut[i] = y;  // mixed from the first sample, as the delay is
    }
    m_processed += n;
    return n;
}

CFlangerFilter::~CFlangerFilter() = default;
