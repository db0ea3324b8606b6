#include "tests/effects/time_models.h"

#include "effects/common/Filter.h"

#include <algorithm>
#include <cmath>

namespace corvane::testing {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 6.283185307179586;

// x[n - k], or 0 before the signal's start.
double Back(const Channel& v, int64_t n, int64_t k) {
    return n - k >= 0 ? v[static_cast<size_t>(n - k)] : 0.0;
}

}  // namespace

Channel BandModel(const Channel& x, int rate, int type, double frequency, double steepness,
                  double gainDb, CFilter::Biquad* design) {
    // "FilterType" 1..7: low-pass, high-pass, notch, band-pass (peak gain Q), low shelf, high
    // shelf, peaking.
    static const int kSection[] = {CFilter::kLowPass,       CFilter::kHighPass, CFilter::kNotch,
                                   CFilter::kBandPassSkirt, CFilter::kLowShelf, CFilter::kHighShelf,
                                   CFilter::kPeaking};
    CFilter f;
    f.SetBiquad(kSection[type - 1], gainDb, frequency, rate, steepness);
    if (design) *design = f.Coefficients();
    f.ResetState();
    Channel y(x.size());
    f.ProcessBlock(x.data(), y.data(), static_cast<int>(x.size()));
    return y;
}

Channel ReverbModel(const Channel& x, int rate, const ReverbModelSettings& s) {
    const float fsf = static_cast<float>(rate);
    float lowPassHz = s.lowPassHz;
    if (lowPassHz > static_cast<float>(rate / 2)) lowPassHz = fsf * 0.5f;
    const float product = fsf * s.delayMs;
    const int64_t L = static_cast<int64_t>(product / 1000.0);
    // Each comb reads what it wrote L samples before (1 for L = 0); a comb that starts at
    // position L first reads the spare slot, so what it writes at its first sample never returns.
    const int64_t period = std::max<int64_t>(L, 1);
    std::vector<Channel> written(static_cast<size_t>(s.combs), Channel(x.size()));
    std::vector<bool> startsAtEnd(static_cast<size_t>(s.combs));
    for (int k = 1; k <= s.combs; ++k) {
        const float offset =
            static_cast<float>(k) * s.delayMs / static_cast<float>(s.combs + 1) * fsf;
        startsAtEnd[k - 1] = L > 0 && static_cast<int64_t>(offset / 1000.0) == 0;
    }
    CFilter design;
    design.SetBiquad(CFilter::kLowPass, -20.0, lowPassHz, rate, 50.0);
    const CFilter::Biquad& c = design.Coefficients();
    const double first = x.empty() ? 0.0 : x[0];
    double x1 = first, x2 = first, y1 = first, y2 = first;
    Channel ap1(x.size()), ap2(x.size()), y(x.size());
    const double g = s.feedback;
    for (size_t i = 0; i < x.size(); ++i) {
        const int64_t n = static_cast<int64_t>(i);
        double sum = 0.0;
        for (int k = 0; k < s.combs; ++k) {
            const bool lost = startsAtEnd[k] && n - period == 0;
            const double read = lost ? 0.0 : Back(written[k], n, period);
            sum += read;
            written[k][i] = static_cast<double>(s.combGain) * read + x[i];
        }
        const double avg = sum / s.combs;
        double lp = avg;
        if (lowPassHz >= 1.0f) {
            lp = c.b0 * avg + c.b1 * x1 + c.b2 * x2 - c.a1 * y1 - c.a2 * y2;
            x2 = x1, x1 = avg, y2 = y1, y1 = lp;
        }
        const double w1 = Back(ap1, n, period);
        ap1[i] = g * w1 + lp;
        const double out1 = w1 - g * ap1[i];
        const double w2 = Back(ap2, n, period);
        ap2[i] = g * w2 + out1;
        const double out2 = w2 - g * ap2[i];
        y[i] = static_cast<double>(s.mix) * out2 + static_cast<double>(1.0f - s.mix) * x[i];
    }
    return y;
}

Channel DelayModel(const Channel& x, int rate, int type, float mix, float feedback, float delayMs) {
    const float product = static_cast<float>(rate) * delayMs;
    const int64_t L = static_cast<int64_t>(product / 1000.0);
    if (L == 0) return x;
    const double m = mix, f = feedback;
    Channel written(x.size()), y(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        const int64_t n = static_cast<int64_t>(i);
        const double d = Back(written, n, L);
        written[i] = f * d + x[i];
        const double wet =
            type == 1 ? (1.0 - m) * x[i] + m * d : (d - f * written[i]) * m + (1.0 - m) * x[i];
        y[i] = wet;
    }
    return y;
}

Channel FlangerModel(const Channel& x, int rate, const FlangerModelSettings& s, int64_t start) {
    const double baseMs =
        s.type == 3 ? s.delayRate * 9.0 / 100.0 + 1.0 : s.delayRate * 20.0 / 100.0 + 30.0;
    const int64_t L = static_cast<int64_t>(baseMs * rate / 1000.0);
    if (L < 1) return x;
    const float depth = static_cast<float>(L) * s.sweepDepth / 100.0f;
    const double omega =
        static_cast<double>(static_cast<float>((s.sweepRate * 2.9 / 100.0 + 0.1) / rate)) * kTwoPi;
    const double m = s.mix, f = s.feedback;
    Channel written(x.size()), y(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        const int64_t n = static_cast<int64_t>(i);
        const int64_t t = start + n;
        float sweep = static_cast<float>(
            (std::sin(static_cast<double>(t) * omega + s.sweepPhase) + 1.0) * depth * 0.5);
        sweep = std::min(sweep, static_cast<float>(std::max<int64_t>(L - 2, 0)));
        // A whole delay s reads s + 1 samples back; any other lies between ceil(s) + 1 and
        // ceil(s) + 2 samples back, weighted by its fraction.
        const int64_t whole = static_cast<int64_t>(std::ceil(sweep));
        const double older = Back(written, n, whole + 2), newer = Back(written, n, whole + 1);
        const double frac = static_cast<double>(sweep - std::trunc(sweep));
        const double tap = (1.0 - frac) * (newer - older) + older;
        written[i] = f * tap + x[i];
        y[i] = (1.0 - m) * x[i] + m * tap;
    }
    return y;
}

Channel VibratoModel(const Channel& x, int rate, float frequency, float depth, float phase) {
    const float f = frequency / static_cast<float>(rate);
    const double omega = f * kTwoPi;
    Channel y(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        y[i] = (std::sin(static_cast<double>(i) * omega + phase) * depth + 1.0) * x[i];
    }
    return y;
}

Channel WahWahModel(const Channel& x, int rate, const WahWahModelSettings& s, int64_t start) {
    const double omega = static_cast<double>(s.lfoHz + s.lfoHz) * kPi / rate;
    double b0 = 0, b1 = 0, b2 = 0, a0 = 0, a1 = 0, a2 = 0;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    Channel y(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        const int64_t c = start + static_cast<int64_t>(i);
        if (c % 30 == 0) {
            const double lfo = std::cos(static_cast<double>(c + 1) * omega + s.startPhase);
            const double w =
                kPi *
                std::exp(((lfo + 1.0) * 0.5 * s.depth * (1.0 - s.offset) + s.offset - 1.0) * 6.0);
            const double alpha = std::sin(w) / (2.0 * s.resonance);
            b0 = b2 = (1.0 - std::cos(w)) * 0.5;
            b1 = 1.0 - std::cos(w);
            a0 = 1.0 + alpha;
            a1 = -2.0 * std::cos(w);
            a2 = 1.0 - alpha;
        }
        const double v = (b0 * x[i] + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2) / a0;
        x2 = x1, x1 = x[i], y2 = y1, y1 = v;
        y[i] = v;
    }
    return y;
}

}  // namespace corvane::testing
