#include "effects/common/FirDesign.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 6.283185307179586;
constexpr int kMaxIterations = 40;
constexpr int kSpareTaps = 10;
constexpr int64_t kMinGrid = 1000;  // dense grid points at least, whatever the tap count
constexpr int kGridPerCoefficient = 16;
// The end scans accept a point only when its error beats the other end's by this factor, so that
// a tie cannot make the extremal set swap back and forth.
constexpr double kEndThreshold = 1.00001;
// A sample of the coefficient step this close to an extremal takes the extremal's value.
constexpr double kSnap = 1e-6;

// One band: normalised frequencies (0 .. 0.5 for 0 .. fs/2), gains and weights of its points.
struct Band {
    std::vector<double> f, gain, weight;
};

// Splits the band layout into bands. False when it is invalid (see kFirInvalidBands);
// bands without a point are dropped.
bool SplitBands(const float* frequencies, const float* gains, const float* weights, int n,
                double sampleRate, std::vector<Band>* bands) {
    if (frequencies == nullptr || gains == nullptr || weights == nullptr || n <= 0) return false;
    if (!std::isfinite(sampleRate) || !(sampleRate > 0.0)) return false;
    Band band;
    double previous = -1.0;  // the last point of any band so far
    for (int i = 0; i < n; ++i) {
        const float fr = frequencies[i];
        if (std::isnan(fr) || fr < 0.0f) {
            if (!band.f.empty()) bands->push_back(std::move(band));
            band = Band{};
            continue;
        }
        if (!std::isfinite(fr) || !std::isfinite(gains[i]) || !std::isfinite(weights[i]) ||
            !(weights[i] > 0.0f)) {
            return false;
        }
        const double f = static_cast<double>(fr) / sampleRate;
        if (f < previous) return false;
        previous = f;
        band.f.push_back(f);
        band.gain.push_back(gains[i]);
        band.weight.push_back(weights[i]);
    }
    if (!band.f.empty()) bands->push_back(std::move(band));
    return !bands->empty();
}

// The warp of one band's range that makes its grid twice as dense in the edge zones: pieces of
// the range, each with a density divisor (1 in an edge zone, 2 in the middle). The warped
// coordinate runs from 0 at the start to 1 at the end, each piece taking a share proportional to
// its width / divisor.
class BandWarp {
public:
    BandWarp(double start, double end, double zone) : m_start(start) {
        const double half = start + (end - start) / 2.0;
        const bool left = start >= zone;
        const bool right = end <= 0.5 - zone;
        double at = start;
        if (left) Add(&at, std::min(start + zone, half), 1.0);
        Add(&at, right ? std::max(end - zone, half) : end, 2.0);
        if (right) Add(&at, end, 1.0);
    }

    // The sum of width / divisor over the pieces (0 for a band of one point).
    double Span() const { return m_span; }

    // Warped coordinate of f (within the range), in units of Span().
    double Warp(double f) const {
        double u = 0.0;
        for (const Piece& p : m_pieces) {
            if (f >= p.hi) {
                u += (p.hi - p.lo) / p.divisor;
            } else {
                if (f > p.lo) u += (f - p.lo) / p.divisor;
                break;
            }
        }
        return u;
    }

    // The frequency of warped coordinate u (units of Span()).
    double Unwarp(double u) const {
        double f = m_start;
        for (const Piece& p : m_pieces) {
            const double share = (p.hi - p.lo) / p.divisor;
            if (u <= share) return p.lo + u * p.divisor;
            u -= share;
            f = p.hi;
        }
        return f;
    }

private:
    struct Piece {
        double lo, hi, divisor;
    };
    void Add(double* at, double to, double divisor) {
        if (!(to > *at)) return;  // repeated breakpoints make no piece
        m_pieces.push_back({*at, to, divisor});
        m_span += (to - *at) / divisor;
        *at = to;
    }

    double m_start;
    double m_span = 0.0;
    std::vector<Piece> m_pieces;
};

// Slopes of the piecewise cubic Hermite curve through (x, y) at its n >= 3 points.
void HermiteSlopes(const std::vector<double>& x, const std::vector<double>& y,
                   std::vector<double>* d) {
    const size_t n = x.size();
    std::vector<double> h(n - 1), s(n - 1);
    for (size_t i = 0; i + 1 < n; ++i) {
        h[i] = x[i + 1] - x[i];
        s[i] = h[i] > 0.0 ? (y[i + 1] - y[i]) / h[i] : 0.0;
    }
    d->assign(n, 0.0);
    for (size_t k = 1; k + 1 < n; ++k) {
        const double h1 = h[k - 1], h2 = h[k], s1 = s[k - 1], s2 = s[k];
        if (s1 == 0.0 || s2 == 0.0 || (s1 > 0.0) != (s2 > 0.0)) continue;
        const bool firstLarger = std::fabs(s1) > std::fabs(s2);
        const double smax = firstLarger ? s1 : s2, smin = firstLarger ? s2 : s1;
        const double sum = 3.0 * (h1 + h2);
        (*d)[k] = smin / ((2.0 * h1 + h2) / sum * s2 / smax + (h1 + 2.0 * h2) / sum * s1 / smax);
    }
    // The end slopes: a three-point estimate, kept monotone.
    const auto end = [](double h1, double h2, double s1, double s2) {
        if (h1 + h2 <= 0.0) return 0.0;
        double e = ((2.0 * h1 + h2) * s1 - h1 * s2) / (h1 + h2);
        if (e == 0.0 || s1 == 0.0 || (e > 0.0) != (s1 > 0.0)) return 0.0;
        if ((s1 > 0.0) != (s2 > 0.0) && std::fabs(e) > std::fabs(3.0 * s1)) e = 3.0 * s1;
        return e;
    };
    (*d)[0] = end(h[0], h[1], s[0], s[1]);
    (*d)[n - 1] = end(h[n - 2], h[n - 3], s[n - 2], s[n - 3]);
}

// The band curve (x, y) at f: constant for one point, linear for two, cubic Hermite with slopes d
// for more.
double BandCurve(const std::vector<double>& x, const std::vector<double>& y,
                 const std::vector<double>& d, double f) {
    const size_t n = x.size();
    if (n == 1) return y[0];
    // The interval [x[k], x[k+1]] that holds f (the first one when f is at or below x[0]).
    size_t k = static_cast<size_t>(std::upper_bound(x.begin(), x.end(), f) - x.begin());
    k = std::min(k == 0 ? 0 : k - 1, n - 2);
    const double h = x[k + 1] - x[k];
    if (!(h > 0.0)) return y[k];
    const double t = std::clamp((f - x[k]) / h, 0.0, 1.0);
    if (n == 2) return y[k] + t * (y[k + 1] - y[k]);
    const double t2 = t * t, t3 = t2 * t;
    return (2.0 * t3 - 3.0 * t2 + 1.0) * y[k] + (t3 - 2.0 * t2 + t) * h * d[k] +
           (-2.0 * t3 + 3.0 * t2) * y[k + 1] + (t3 - t2) * h * d[k + 1];
}

// The grid the exchange works on: abscissa x = cos(2 pi f), desired value and weight, both
// divided / multiplied by the symmetry kind's factor.
struct Grid {
    std::vector<double> x, desired, weight;
    size_t Size() const { return x.size(); }
};

void BuildGrid(const std::vector<Band>& bands, int64_t coefficients, bool kind2,
               FirDesignGrid* grid) {
    const int64_t m = std::max<int64_t>(kGridPerCoefficient * coefficients, kMinGrid);
    double total = 0.0;
    for (const Band& b : bands) total += b.f.back() - b.f.front();
    const double step = total / static_cast<double>(m);
    const double perCoefficient = static_cast<double>(m / coefficients);
    const double zone = 1.5 * perCoefficient * step;
    const double hi = kind2 ? 0.5 - step : 0.5;

    std::vector<double> slopesGain, slopesWeight;
    for (const Band& b : bands) {
        const double start = std::clamp(b.f.front(), 0.0, hi);
        const double end = std::clamp(b.f.back(), 0.0, hi);
        const BandWarp warp(start, end, zone);
        const size_t first = grid->frequency.size();
        // Consecutive grid points of one frequency (bands that touch, bands folded onto the top
        // of the range) would make the interpolation singular: the first one stands for all.
        const auto add = [grid](double f) {
            if (grid->frequency.empty() || f != grid->frequency.back()) {
                grid->frequency.push_back(f);
            }
        };
        add(start);
        if (warp.Span() > 0.0) {
            const double warpedStep = step / (2.0 * warp.Span());
            for (size_t i = 1; i < b.f.size(); ++i) {
                const double pa = std::clamp(b.f[i - 1], start, end);
                const double pb = std::clamp(b.f[i], start, end);
                const double wa = warp.Warp(pa) / warp.Span(), wb = warp.Warp(pb) / warp.Span();
                if (!(wb > wa)) continue;
                const int64_t count = static_cast<int64_t>(std::ceil((wb - wa) / warpedStep)) + 1;
                for (int64_t k = 1; k < count; ++k) {
                    const double u =
                        wa + (wb - wa) * static_cast<double>(k) / static_cast<double>(count - 1);
                    add(k + 1 == count ? pb : warp.Unwarp(u * warp.Span()));
                }
            }
        }
        if (b.f.size() >= 3) {
            HermiteSlopes(b.f, b.gain, &slopesGain);
            HermiteSlopes(b.f, b.weight, &slopesWeight);
        }
        for (size_t i = first; i < grid->frequency.size(); ++i) {
            grid->desired.push_back(BandCurve(b.f, b.gain, slopesGain, grid->frequency[i]));
            grid->weight.push_back(BandCurve(b.f, b.weight, slopesWeight, grid->frequency[i]));
        }
    }
}

// The exchange's grid: the symmetry kind's factor Q(f) (1, or 2 cos(pi f) for an even tap count)
// divides the desired values and multiplies the weights; x = cos(2 pi f).
Grid TransformGrid(const FirDesignGrid& dense, bool kind2) {
    Grid grid{{}, dense.desired, dense.weight};
    grid.x.resize(dense.frequency.size());
    for (size_t i = 0; i < grid.Size(); ++i) {
        const double f = dense.frequency[i];
        if (kind2) {
            const double q = 2.0 * std::cos(kPi * f);
            grid.desired[i] /= q;
            grid.weight[i] *= q;
        }
        grid.x[i] = std::cos(kTwoPi * f);
    }
    return grid;
}

// The exchange: R extremals on the grid, their abscissae, signs and interpolation values.
class Exchange {
public:
    Exchange(const Grid& grid, int64_t coefficients) : m_grid(grid) {
        const int64_t g = static_cast<int64_t>(grid.Size());
        m_r = static_cast<int>(std::min(g, coefficients + 1));
        m_ext.resize(m_r);
        m_sign.resize(m_r);
        m_x.resize(m_r);
        m_y.resize(m_r);
        m_w.resize(m_r);
        for (int j = 0; j < m_r; ++j) {
            m_ext[j] = static_cast<int64_t>(
                static_cast<double>(j) * static_cast<double>(g - 1) / std::max(m_r - 1, 1) + 0.5);
            m_sign[j] = j % 2 == 0 ? -1.0 : 1.0;
        }
    }

    // Runs the iterations; returns the status.
    int32_t Run() {
        double previous = -1.0;
        int32_t status = kFirIterationLimit;
        for (int iteration = 0; iteration < kMaxIterations; ++iteration) {
            const bool singular = !Interpolate();
            if (m_delta < previous) return kFirStopped;
            previous = m_delta;
            if (Search() == 0) return singular ? kFirSingular : kFirConverged;
            status = singular ? kFirSingular : kFirIterationLimit;
        }
        return status;
    }

    double Delta() const { return m_delta; }

    // The cosine coefficients c(0 .. L-1) of the approximation (zero beyond R - 1 of them).
    std::vector<double> Coefficients(int64_t coefficients) const;

private:
    // Builds the interpolation through the current extremals; false when the ripple's denominator
    // was exactly zero (the interpolation values then stay as they were).
    bool Interpolate();
    // The approximation A(x) between the extremals (barycentric form).
    double Approximation(double x) const;
    double Error(int64_t i, double sign) const {
        return sign * (Approximation(m_grid.x[i]) - m_grid.desired[i]) * m_grid.weight[i];
    }
    // From `from` in direction dir to `limit` (inclusive): skips points whose error does not exceed
    // *best, then follows the first that does while the error grows. Returns the index reached
    // (-1: none) and leaves its error in *best.
    int64_t ScanSkipping(int64_t from, int64_t limit, int dir, double sign, double* best) const;
    // Follows the error from `from` in direction dir to `limit` while it exceeds *best.
    int64_t Climb(int64_t from, int64_t limit, int dir, double sign, double* best) const;
    // One pass of the extremal search; returns the number of moves.
    int Search();

    const Grid& m_grid;
    int m_r = 0;
    std::vector<int64_t> m_ext;  // grid indices of the extremals, ascending
    std::vector<double> m_sign;  // alternating -1 / +1
    // The interpolation of the last Interpolate: abscissae, values and barycentric weights.
    std::vector<double> m_x, m_y, m_w;
    bool m_haveValues = false;
    double m_delta = 0.0;
};

bool Exchange::Interpolate() {
    for (int j = 0; j < m_r; ++j) m_x[j] = m_grid.x[m_ext[j]];
    // Products in interleaved passes keep their partial values in range for many extremals.
    const int stride = m_r / 10 + 1;
    for (int j = 0; j < m_r; ++j) {
        double product = 1.0;
        for (int l = 0; l < stride; ++l) {
            for (int k = l; k < m_r; k += stride) {
                if (k != j) product *= 2.0 * (m_x[j] - m_x[k]);
            }
        }
        m_w[j] = 1.0 / product;
    }
    double num = 0.0, den = 0.0;
    for (int j = 0; j < m_r; ++j) {
        const int64_t i = m_ext[j];
        num += m_w[j] * m_grid.desired[i];
        den += -m_sign[j] * m_w[j] / m_grid.weight[i];
    }
    if (den == 0.0) {
        m_delta = DBL_MAX;
        // Before any interpolation, the desired values themselves.
        if (!m_haveValues) {
            for (int j = 0; j < m_r; ++j) m_y[j] = m_grid.desired[m_ext[j]];
            m_haveValues = true;
        }
        return false;
    }
    m_delta = num / den;
    if (m_delta < 0.0) {
        for (double& s : m_sign) s = -s;
        m_delta = -m_delta;
    }
    for (int j = 0; j < m_r; ++j) {
        const int64_t i = m_ext[j];
        m_y[j] = m_grid.desired[i] + m_sign[j] * m_delta / m_grid.weight[i];
    }
    m_haveValues = true;
    return true;
}

double Exchange::Approximation(double x) const {
    double num = 0.0, den = 0.0;
    for (int j = 0; j < m_r; ++j) {
        const double diff = x - m_x[j];
        if (diff == 0.0) return m_y[j];
        const double c = m_w[j] / diff;
        num += c * m_y[j];
        den += c;
    }
    return num / den;
}

int64_t Exchange::Climb(int64_t from, int64_t limit, int dir, double sign, double* best) const {
    int64_t found = -1;
    for (int64_t i = from; dir > 0 ? i <= limit : i >= limit; i += dir) {
        const double e = Error(i, sign);
        if (!(e > *best)) break;
        *best = e;
        found = i;
    }
    return found;
}

int64_t Exchange::ScanSkipping(int64_t from, int64_t limit, int dir, double sign,
                               double* best) const {
    for (int64_t i = from; dir > 0 ? i <= limit : i >= limit; i += dir) {
        const double e = Error(i, sign);
        if (e > *best) {
            *best = e;
            const int64_t further = Climb(i + dir, limit, dir, sign, best);
            return further >= 0 ? further : i;
        }
    }
    return -1;
}

int Exchange::Search() {
    const int64_t last = static_cast<int64_t>(m_grid.Size()) - 1;
    const int64_t oldFirst = m_ext[0], oldLast = m_ext[m_r - 1];
    int moves = 0;
    int64_t previousLimit = -1;  // the larger of the previous extremal's old and new index
    double firstError = m_delta, lastError = m_delta;
    for (int j = 0; j < m_r; ++j) {
        const int64_t o = m_ext[j];
        const double s = m_sign[j];
        const int64_t upper = j + 1 < m_r ? m_ext[j + 1] - 1 : last;
        const int64_t lower = previousLimit + 1;
        double best = m_delta;
        int64_t found = Climb(o + 1, upper, +1, s, &best);
        if (found < 0) found = Climb(o - 1, lower, -1, s, &best);
        if (found < 0 && moves == 0) {
            found = ScanSkipping(o - 2, lower, -1, s, &best);
            if (found < 0) found = ScanSkipping(o + 2, upper, +1, s, &best);
        }
        if (found >= 0) {
            m_ext[j] = found;
            ++moves;
        }
        previousLimit = std::max(o, m_ext[j]);
        if (j == 0) firstError = best;
        if (j == m_r - 1) lastError = best;
    }
    // Beyond the ends: a larger error of the opposite sign below the first extremal or above the
    // last one takes a place in the set.
    double belowError = kEndThreshold * lastError;
    const int64_t below =
        ScanSkipping(0, std::min(oldFirst, m_ext[0]) - 1, +1, -m_sign[0], &belowError);
    if (below >= 0 && belowError > firstError) firstError = belowError;
    double aboveError = kEndThreshold * firstError;
    const int64_t above = ScanSkipping(last, std::max(oldLast, m_ext[m_r - 1]) + 1, -1,
                                       -m_sign[m_r - 1], &aboveError);
    if (above >= 0) {
        const double sign = -m_sign[m_r - 1];
        std::rotate(m_ext.begin(), m_ext.begin() + 1, m_ext.end());
        std::rotate(m_sign.begin(), m_sign.begin() + 1, m_sign.end());
        m_ext[m_r - 1] = above;
        m_sign[m_r - 1] = sign;
        ++moves;
    } else if (below >= 0) {
        const double sign = -m_sign[0];
        std::rotate(m_ext.rbegin(), m_ext.rbegin() + 1, m_ext.rend());
        std::rotate(m_sign.rbegin(), m_sign.rbegin() + 1, m_sign.rend());
        m_ext[0] = below;
        m_sign[0] = sign;
        ++moves;
    }
    return moves;
}

// Multiplies the Chebyshev series s (in x) by a x + b.
std::vector<double> TimesLinear(const std::vector<double>& s, double a, double b) {
    std::vector<double> out(s.size() + 1, 0.0);
    for (size_t m = 0; m < s.size(); ++m) {
        out[m] += b * s[m];
        // x T0 = T1; x Tm = (Tm-1 + Tm+1) / 2.
        if (m == 0) {
            out[1] += a * s[0];
        } else {
            out[m - 1] += 0.5 * a * s[m];
            out[m + 1] += 0.5 * a * s[m];
        }
    }
    return out;
}

std::vector<double> Exchange::Coefficients(int64_t coefficients) const {
    std::vector<double> c(static_cast<size_t>(coefficients), 0.0);
    const int nc = m_r - 1;
    if (nc < 1) return c;
    double a = m_grid.x.front(), b = m_grid.x.back();
    if (a - b > 1.99999) a = 1.0, b = -1.0;
    const double scale = (a - b) / 2.0, offset = (a + b) / 2.0;
    const double cn = 2.0 * nc - 1.0;
    // The approximation sampled at the Chebyshev points of the grid's range.
    std::vector<double> samples(nc);
    int l = 0;
    for (int k = 0; k < nc; ++k) {
        const double xt = std::cos(kTwoPi * k / cn) * scale + offset;
        for (;;) {
            const double xe = l < m_r ? m_x[l] : -2.0;
            if (l < m_r && std::fabs(xe - xt) < kSnap) {
                samples[k] = m_y[l];
                break;
            }
            if (xt > xe) {
                samples[k] = Approximation(xt);
                break;
            }
            ++l;
        }
    }
    // Their inverse DFT: the coefficients of the series in the scaled variable.
    std::vector<double> alpha(nc);
    for (int m = 0; m < nc; ++m) {
        double sum = 0.0;
        for (int k = 1; k < nc; ++k) sum += samples[k] * std::cos(kTwoPi * m * k / cn);
        alpha[m] = (2.0 * sum + samples[0]) / cn * (m == 0 ? 1.0 : 2.0);
    }
    if (scale != 1.0 || offset != 0.0) {
        // Back to the unscaled variable: the series in u = aa x + bb, recomposed in x by Clenshaw's
        // recurrence over Chebyshev series.
        const double aa = 2.0 / (a - b), bb = -(a + b) / (a - b);
        std::vector<double> b1, b2;  // b(m+1), b(m+2); b(m) has degree nc - 1 - m
        for (int m = nc - 1; m >= 1; --m) {
            std::vector<double> bm = TimesLinear(b1, 2.0 * aa, 2.0 * bb);
            bm[0] += alpha[m];
            for (size_t i = 0; i < b2.size(); ++i) bm[i] -= b2[i];
            b2 = std::move(b1);
            b1 = std::move(bm);
        }
        std::vector<double> out = TimesLinear(b1, aa, bb);
        out[0] += alpha[0];
        for (size_t i = 0; i < b2.size(); ++i) out[i] -= b2[i];
        std::copy_n(out.begin(), nc, alpha.begin());
    }
    for (int m = 0; m < nc && m < coefficients; ++m) c[m] = alpha[m];
    return c;
}

}  // namespace

FirTaps::FirTaps(int n) : tapCount(n), taps(static_cast<size_t>(std::max(n, 0)) + kSpareTaps) {}

void DesignFirFromBands(FirTaps& taps, const float* frequencies, const float* gains,
                        const float* weights, int n, double sampleRate) {
    const int64_t count = taps.tapCount;
    std::fill(taps.taps.begin(), taps.taps.end(), 0.0);
    taps.deviation = 0.0;
    std::vector<Band> bands;
    if (count < 1 || !SplitBands(frequencies, gains, weights, n, sampleRate, &bands)) {
        taps.status = kFirInvalidBands;
        return;
    }
    const bool kind2 = count % 2 == 0;
    const int64_t coefficients = kind2 ? count / 2 : (count + 1) / 2;
    FirDesignGrid dense;
    BuildGrid(bands, coefficients, kind2, &dense);
    const Grid grid = TransformGrid(dense, kind2);
    Exchange exchange(grid, coefficients);
    taps.status = exchange.Run();
    taps.deviation = exchange.Delta();
    const std::vector<double> c = exchange.Coefficients(coefficients);

    // c(0) at the centre and c(m)/2 at distance m on both sides; an even count then convolves with
    // [1, 1], which puts its zero at half the sample rate.
    const int64_t k = coefficients - 1;
    std::vector<double> centre(static_cast<size_t>(2 * k + 1), 0.0);
    centre[k] = c[0];
    for (int64_t m = 1; m <= k; ++m) centre[k - m] = centre[k + m] = c[m] / 2.0;
    double* h = taps.taps.data();
    if (kind2) {
        for (int64_t i = 0; i < count; ++i) {
            h[i] = (i < 2 * k + 1 ? centre[i] : 0.0) + (i >= 1 ? centre[i - 1] : 0.0);
        }
    } else {
        std::copy(centre.begin(), centre.end(), h);
    }
    for (int64_t i = 0; i < count / 2; ++i) {
        const double mean = (h[i] + h[count - 1 - i]) / 2.0;
        h[i] = h[count - 1 - i] = mean;
    }
    if (!std::all_of(h, h + count, [](double v) { return std::isfinite(v); })) {
        std::fill(taps.taps.begin(), taps.taps.end(), 0.0);
        taps.deviation = 0.0;
        taps.status = kFirNumericalFailure;
    }
}

FirDesignGrid MakeFirDesignGrid(const float* frequencies, const float* gains, const float* weights,
                                int n, double sampleRate, int tapCount) {
    FirDesignGrid grid;
    std::vector<Band> bands;
    if (tapCount < 1 || !SplitBands(frequencies, gains, weights, n, sampleRate, &bands))
        return grid;
    const bool kind2 = tapCount % 2 == 0;
    BuildGrid(bands, kind2 ? tapCount / 2 : (tapCount + 1) / 2, kind2, &grid);
    return grid;
}

LowPassBands MakeLowPassBands(double cutoff, double sampleRate, double stopWeight) {
    const double nyquistBelow = sampleRate / 2.0 - 1.0;
    double stop = static_cast<double>(1.1f) * cutoff;
    if (stop > nyquistBelow)
        stop = cutoff + static_cast<double>(0.3f) * (sampleRate / 2.0 - cutoff);
    const float c = static_cast<float>(cutoff), s = static_cast<float>(stop);
    const float top = static_cast<float>(nyquistBelow), w = static_cast<float>(stopWeight);
    return LowPassBands{
        {0.0f, c, -1.0f, s, top}, {1.0f, 1.0f, -1.0f, 0.0f, 0.0f}, {1.0f, 1.0f, -1.0f, w, w}};
}

void DesignLowPassFir(FirTaps& taps, double cutoff, double sampleRate, double stopWeight) {
    const LowPassBands spec = MakeLowPassBands(cutoff, sampleRate, stopWeight);
    DesignFirFromBands(taps, spec.frequencies, spec.gains, spec.weights, LowPassBands::kPoints,
                       sampleRate);
}
