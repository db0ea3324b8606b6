// The analysis windows that scipy has no twin of, at hand-computed points; the recommended
// overlaps with and without values; the values that mean "rectangular" and "leave it alone".
// The shapes scipy has are compared with it in window_vs_scipy.py.
#include "effects/common/SpectralWindow.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<double> Window(int type, int n, double* overlap = nullptr) {
    std::vector<double> w(static_cast<size_t>(n), -7.0);
    MakeWindow(type, w.data(), n, overlap);
    return w;
}

TEST(SpectralWindow, HandComputedPoints) {
    struct Case {
        int type, n, i;
        double want;
    } cases[] = {
        {10, 9, 2, 0.70710678118654757},  // sine: sin(pi / 4)
        {10, 9, 4, 1.0},
        {6, 9, 2, 0.75},  // Welch: 1 - ((-2 / 4) * -2) / 4
        {6, 9, 0, 0.0},
        {17, 9, 3, 0.2},  // Cauchy at y = -0.25: 1 / (64 / 16 + 1)
        {17, 9, 4, 1.0},
        {17, 9, 2, 0.0},       // y = -0.5: outside
        {18, 9, 3, 0.25},      // Parzen at y = -0.25: 1 - 24 / 16 + 48 / 64
        {18, 9, 5, 0.25},      // y = 0.25
        {18, 17, 5, 0.03125},  // y = -0.375: 2 (2y + 1)^3
        {18, 17, 8, 1.0},
        {18, 17, 2, 0.0},   // y = -0.75
        {1, 2048, 0, 0.0},  // Hann: zero at both ends
        {1, 2048, 2047, 0.0},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(Window(c.type, c.n)[static_cast<size_t>(c.i)], c.want, 1e-15)
            << "type " << c.type << " n " << c.n << " i " << c.i;
    }
}

TEST(SpectralWindow, OverlapsWithAndWithoutValues) {
    const double overlaps[19] = {0.0,  0.5,   0.5, 0.661, 0.5,  -1.0, 0.293, 0.841, 0.661, 0.661,
                                 0.75, 0.663, 0.5, 0.75,  0.75, 0.33, 0.5,   0.75,  0.75};
    for (int type = 0; type <= 18; ++type) {
        if (type == 5) continue;
        for (int n : {64, 0, -3}) {
            double withValues = -1.0, alone = -1.0;
            if (n > 0) Window(type, n, &withValues);
            MakeWindow(type, nullptr, n, &alone);
            if (n > 0) {
                EXPECT_EQ(withValues, overlaps[type]) << type;
            }
            EXPECT_EQ(alone, overlaps[type]) << type << " n " << n;
        }
    }
}

TEST(SpectralWindow, RectangularUntouchedAndSingleValues) {
    for (int type : {0, 19, -1}) {
        double overlap = -1.0;
        EXPECT_EQ(Window(type, 65, &overlap), std::vector<double>(65, 1.0)) << type;
        EXPECT_EQ(overlap, 0.0);
    }
    // 5 writes nothing at all.
    double overlap = 0.25;
    EXPECT_EQ(Window(5, 9, &overlap), std::vector<double>(9, -7.0));
    EXPECT_EQ(overlap, 0.25);
    // One value: every shape's peak, never 0/0.
    for (int type = 0; type <= 18; ++type) {
        if (type != 5) {
            EXPECT_EQ(Window(type, 1)[0], 1.0) << type;
        }
    }
}

TEST(SpectralWindow, ChebyshevSymmetricWithUnitCentre) {
    for (int n : {2, 8, 9, 2048}) {
        const std::vector<double> w = Window(16, n);
        for (int i = 0; i < n; ++i) ASSERT_EQ(w[i], w[n - 1 - i]) << n << " at " << i;
        EXPECT_EQ(w[(n - 1) / 2], 1.0) << n;
    }
}

}  // namespace
