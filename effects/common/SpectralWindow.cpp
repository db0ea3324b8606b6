#include "effects/common/SpectralWindow.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

constexpr double kPi = 3.141592653589793;
// k x is (i * 2 pi k) / (n - 1) with 2 pi k as one constant, so that every shape rounds alike.
constexpr double kTwoPi = 6.283185307179586;

// The recommended overlap of each formula.
constexpr double kOverlap[] = {0.0,  0.5,   0.5, 0.661, 0.5,  0.293, 0.841, 0.661, 0.661,
                               0.75, 0.663, 0.5, 0.75,  0.75, 0.33,  0.5,   0.75,  0.75};
constexpr int32_t kFormulas = static_cast<int32_t>(std::size(kOverlap));

// a0 - a1 cos x + a2 cos 2x - ... at sample i of n, summed left to right.
template <size_t K>
double CosineSum(const double (&a)[K], int32_t i, int32_t n) {
    const double span = static_cast<double>(n - 1);
    double w = a[0];
    for (size_t k = 1; k < K; ++k) {
        const double c = std::cos((i * (kTwoPi * static_cast<double>(k))) / span);
        w = (k & 1) ? w - a[k] * c : w + a[k] * c;
    }
    return w;
}

constexpr double kBlackman[] = {0.42659, 0.49656, 0.076849};
constexpr double kFlatTop[] = {1.0,
                               1.985844164102,
                               1.791176438506,
                               1.282075284005,
                               0.667777530266,
                               0.240160796576,
                               0.056656381764,
                               0.008134974479,
                               0.00062454465,
                               1.9808998e-05,
                               1.32974e-07};
constexpr double kBlackmanHarris[] = {0.35875, 0.48829, 0.14128, 0.01168};
constexpr double kBlackmanNuttall[] = {0.3635819, 0.4891775, 0.1365995, 0.0106411};
constexpr double kNuttall[] = {0.355768, 0.487396, 0.144232, 0.012604};

// Dolph-Chebyshev with a 60 dB ripple ratio (acosh(1000) = 7.600902209541989), by its series
// from the edge inwards; symmetric, normalised to 1 at the centre. n >= 2.
void Chebyshev(double* w, int32_t n) {
    const double a = 7.600902209541989 / (n - 1);
    const double ch = std::cosh(a);
    const double q = 1.0 - 1.0 / (ch * ch);
    double w0 = 0.0;
    for (int32_t j = (n - 1) / 2; j >= 0; --j) {
        const int32_t p = n - 1 - j;
        double sum = j == 0 ? 1.0 : 0.0, prev = 1.0, term = 1.0;
        for (int32_t k = 1; k <= j; ++k) {
            if (sum == prev) break;  // the series has converged
            prev = sum;
            const double t = (p - k + 1) * q * (1.0 / k) * term;
            sum += t;
            term = (j - k) * (1.0 / k) * t;
        }
        const double v = sum / p;
        if (w0 == 0.0) w0 = v;
        w[j] = w[n - 1 - j] = v / w0;
    }
}

// Sample i of formula f over n >= 2 values (every formula but the Dolph-Chebyshev).
double Value(int32_t f, int32_t i, int32_t n) {
    const double span = static_cast<double>(n - 1);
    const double c = span / 2.0;
    const double y = 2.0 * (i / span - 0.5);
    switch (f) {
        case 1:
            return (1.0 - std::cos((i * kTwoPi) / span)) * 0.5;
        case 2:
            return 0.54 - 0.46 * std::cos((i * kTwoPi) / span);
        case 3:
            return CosineSum(kBlackman, i, n);
        case 4:
            return 1.0 - std::fabs((i - c) / c);
        case 5:
            return 1.0 - (((i - c) / c) * (i - c)) / c;
        case 6:
            return CosineSum(kFlatTop, i, n);
        case 7:
            return CosineSum(kBlackmanHarris, i, n);
        case 8:
            return CosineSum(kBlackmanNuttall, i, n);
        case 9:
            return std::sin((kPi * i) / span);
        case 10:
            return CosineSum(kNuttall, i, n);
        case 11:
            return 0.62 - 0.48 * std::fabs(i / span - 0.5) - 0.38 * std::cos((i * kTwoPi) / span);
        case 12: {
            const double t = (2.0 * i) / span - 1.0;
            return t == 0.0 ? 1.0 : std::sin(kPi * t) / (kPi * t);
        }
        case 13: {
            // Centred on the integer half, so even lengths sit half a sample off.
            const double k = static_cast<double>(i - (n - 1) / 2);
            const double r = k / (span * 0.4 * 0.5);
            return std::exp(-0.5 * (r * r));
        }
        case 14: {
            const double d = std::fabs(i - c);
            return d < 0.3 * c ? 1.0 : (1.0 + std::cos((kPi * (d - 0.3 * c)) / (0.7 * c))) * 0.5;
        }
        case 16:
            if (y <= -0.5 || y >= 0.5) return 0.0;
            return std::min(std::fabs(1.0 / (64.0 * y * y + 1.0)), 1.0);
        case 17:
            if (y >= 0.0 && y <= 0.25) return 1.0 - 24.0 * y * y + 48.0 * std::pow(y, 3.0);
            if (y >= -0.25 && y < 0.0) return 1.0 - 24.0 * y * y - 48.0 * std::pow(y, 3.0);
            if (y > 0.25 && y <= 0.5) return -2.0 * std::pow(2.0 * y - 1.0, 3.0);
            if (y >= -0.5 && y < -0.25) return 2.0 * std::pow(2.0 * y + 1.0, 3.0);
            return 0.0;
        default:
            return 1.0;
    }
}

}  // namespace

void FillWindow(double* values, int32_t n, int32_t formula, double* overlap) {
    const int32_t f = formula >= 0 && formula < kFormulas ? formula : 0;
    if (overlap != nullptr) *overlap = kOverlap[f];
    if (values == nullptr || n < 1) return;
    if (n == 1) {
        // Every shape's formula divides by n - 1; a single value is the window's peak.
        values[0] = 1.0;
        return;
    }
    if (f == 15) {
        Chebyshev(values, n);
        return;
    }
    for (int32_t i = 0; i < n; ++i) values[i] = Value(f, i, n);
}

void MakeWindow(int32_t windowType, double* values, int32_t n, double* overlap) {
    if (windowType == 5) return;
    int32_t formula = 0;
    if (windowType >= 1 && windowType <= 4) {
        formula = windowType;
    } else if (windowType >= 6 && windowType <= 18) {
        formula = windowType - 1;
    }
    FillWindow(values, n, formula, overlap);
}
