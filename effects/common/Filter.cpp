#include "effects/common/Filter.h"

#include "dsp/effect_loops.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double kTwoPi = 6.283185307179586;
// The FIR history keeps room for this many values beyond the taps.
constexpr int kHistorySpare = 10;

}  // namespace

CFilter::CFilter() : m_taps(kInitialStorage, 0.0), m_history(kInitialStorage, 0.0) {}

CFilter::~CFilter() = default;

void CFilter::SetBiquad(int type, double gainDb, double frequency, double sampleRate, double q) {
    m_type = type;
    if (type < kLowPass || type > kHighShelf) return;
    const double A = std::pow(10.0, gainDb / 40.0);
    const double w0 = kTwoPi * frequency / sampleRate;
    const double Q = (q == 0.0 ? 1.0 : q) / 100.0;
    const double sn = std::sin(w0), cs = std::cos(w0);
    const double alpha = sn / (2.0 * Q);
    const double twoSqrtAAlpha = 2.0 * std::sqrt(A) * alpha;
    double b0 = 0, b1 = 0, b2 = 0, a0 = 0, a1 = 0, a2 = 0;
    switch (type) {
        case kLowPass:
            b0 = (1.0 - cs) / 2.0, b1 = 1.0 - cs, b2 = (1.0 - cs) / 2.0;
            a0 = 1.0 + alpha, a1 = -2.0 * cs, a2 = 1.0 - alpha;
            break;
        case kHighPass:
            b0 = (1.0 + cs) / 2.0, b1 = -(1.0 + cs), b2 = (1.0 + cs) / 2.0;
            a0 = 1.0 + alpha, a1 = -2.0 * cs, a2 = 1.0 - alpha;
            break;
        case kBandPassSkirt:
            b0 = sn / 2.0, b1 = 0.0, b2 = -sn / 2.0;
            a0 = 1.0 + alpha, a1 = -2.0 * cs, a2 = 1.0 - alpha;
            break;
        case kBandPass:
            b0 = alpha, b1 = 0.0, b2 = -alpha;
            a0 = 1.0 + alpha, a1 = -2.0 * cs, a2 = 1.0 - alpha;
            break;
        case kNotch:
            b0 = 1.0, b1 = -2.0 * cs, b2 = 1.0;
            a0 = 1.0 + alpha, a1 = -2.0 * cs, a2 = 1.0 - alpha;
            break;
        case kPeaking:
            b0 = 1.0 + alpha * A, b1 = -2.0 * cs, b2 = 1.0 - alpha * A;
            a0 = 1.0 + alpha / A, a1 = -2.0 * cs, a2 = 1.0 - alpha / A;
            break;
        case kLowShelf:
            b0 = A * ((A + 1.0) - (A - 1.0) * cs + twoSqrtAAlpha);
            b1 = 2.0 * A * ((A - 1.0) - (A + 1.0) * cs);
            b2 = A * ((A + 1.0) - (A - 1.0) * cs - twoSqrtAAlpha);
            a0 = (A + 1.0) + (A - 1.0) * cs + twoSqrtAAlpha;
            a1 = -2.0 * ((A - 1.0) + (A + 1.0) * cs);
            a2 = (A + 1.0) + (A - 1.0) * cs - twoSqrtAAlpha;
            break;
        default:  // kHighShelf
            b0 = A * ((A + 1.0) + (A - 1.0) * cs + twoSqrtAAlpha);
            b1 = -2.0 * A * ((A - 1.0) + (A + 1.0) * cs);
            b2 = A * ((A + 1.0) + (A - 1.0) * cs - twoSqrtAAlpha);
            a0 = (A + 1.0) - (A - 1.0) * cs + twoSqrtAAlpha;
            a1 = 2.0 * ((A - 1.0) - (A + 1.0) * cs);
            a2 = (A + 1.0) - (A - 1.0) * cs - twoSqrtAAlpha;
            break;
    }
    m_biquad.a0 = a0;
    m_biquad.a1 = a1 / a0;
    m_biquad.a2 = a2 / a0;
    m_biquad.b0 = b0 / a0;
    m_biquad.b1 = b1 / a0;
    m_biquad.b2 = b2 / a0;
}

bool CFilter::BiquadIsStable() const {
    const Biquad& c = m_biquad;
    for (double v : {c.b0, c.b1, c.b2, c.a1, c.a2}) {
        if (!std::isfinite(v)) return false;
    }
    // Both roots of z^2 + a1 z + a2 inside the unit circle (the stability triangle).
    return std::fabs(c.a2) < 1.0 && std::fabs(c.a1) < 1.0 + c.a2;
}

void CFilter::ResetState() {
    m_x1 = m_x2 = m_y1 = m_y2 = 0.0;
    m_history.clear();
    if (m_nTaps > 0) m_history.assign(static_cast<size_t>(m_nTaps) + kHistorySpare, 0.0);
}

void CFilter::SetTapCount(int n) {
    m_nTaps = std::max(n, 0);
    m_taps.assign(static_cast<size_t>(m_nTaps), 0.0);
}

void CFilter::SetTaps(const double* taps, int n) {
    const int count = std::clamp(n, 0, m_nTaps);
    if (taps != nullptr && count > 0) std::memcpy(m_taps.data(), taps, sizeof(double) * count);
}

void CFilter::ClearHistory() {
    const size_t n = std::min(m_history.size(), static_cast<size_t>(std::max(m_nTaps, 0)));
    std::fill(m_history.begin(), m_history.begin() + static_cast<std::ptrdiff_t>(n), 0.0);
}

void CFilter::ProcessBlock(const double* src, double* dst, int count) {
    if (count < 1 || src == nullptr || dst == nullptr) return;
    if (m_type < kFir) {
        ProcessBiquad(src, dst, count);
    } else if (m_type == kFir) {
        ProcessFir(src, dst, count);
    }
}

void CFilter::ProcessBiquad(const double* src, double* dst, int count) {
    const Biquad& c = m_biquad;
    double x1 = m_x1, x2 = m_x2, y1 = m_y1, y2 = m_y2;
    for (int n = 0; n < count; ++n) {
        const double x = src[n];
        const double y = c.b0 * x + c.b1 * x1 + c.b2 * x2 - c.a1 * y1 - c.a2 * y2;
        x2 = x1, x1 = x;
        y2 = y1, y1 = y;
        dst[n] = y;
    }
    m_x1 = x1, m_x2 = x2, m_y1 = y1, m_y2 = y2;
}

void CFilter::ProcessFir(const double* src, double* dst, int count) {
    const size_t taps = static_cast<size_t>(std::max(m_nTaps, 0));
    if (taps == 0) {
        std::fill(dst, dst + count, 0.0);
        return;
    }
    // A section whose tap count changed without ResetState starts from silence.
    if (m_history.size() < taps) m_history.assign(taps + kHistorySpare, 0.0);
    // The history followed by the block, so that every output reads one contiguous signal.
    const size_t total = taps + static_cast<size_t>(count);
    if (m_work.size() < total) m_work.resize(total);
    std::memcpy(m_work.data(), m_history.data(), sizeof(double) * taps);
    std::memcpy(m_work.data() + taps, src, sizeof(double) * static_cast<size_t>(count));
    const double* h = m_taps.data();
    const double* x = m_work.data() + taps;  // x[n] for n = -taps .. count - 1
    dspFirSums64f(h, taps, x, dst, count);
    std::memcpy(m_history.data(), m_work.data() + count, sizeof(double) * taps);
}
