// The FIR design's own edge cases; its accuracy against scipy's equiripple and window designs is
// checked by fir_design_vs_scipy.py. Invalid band layouts must give status 4 and zero taps
// without any access outside the arrays (the sanitizer build runs the same table).
#include "effects/common/FirDesign.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct Spec {
    std::string name;
    std::vector<float> f, g, w;
    double rate = 44100.0;
    int taps = 50;
};

FirTaps Design(const Spec& s) {
    FirTaps t(s.taps);
    // Exactly sized copies, so that the sanitizer sees any read past the n entries.
    const std::vector<float> f(s.f), g(s.g), w(s.w);
    DesignFirFromBands(t, f.empty() ? nullptr : f.data(), g.empty() ? nullptr : g.data(),
                       w.empty() ? nullptr : w.data(), static_cast<int>(f.size()), s.rate);
    return t;
}

double Response(const FirTaps& t, double f, double rate) {
    double re = 0.0, im = 0.0;
    for (int n = 0; n < t.tapCount; ++n) {
        re += t.taps[n] * std::cos(kTwoPi * f * n / rate);
        im -= t.taps[n] * std::sin(kTwoPi * f * n / rate);
    }
    return std::hypot(re, im);
}

TEST(FirDesign, InvalidBandLayoutsGiveZeroTapsAndStatus4) {
    const Spec cases[] = {
        {"no entries", {}, {}, {}},
        {"only separators", {-1, -1}, {-1, -1}, {-1, -1}},
        {"NaN separators only", {kNaN}, {1}, {1}},
        {"no taps", {0, 1000}, {1, 1}, {1, 1}, 44100.0, 0},
        {"negative taps", {0, 1000}, {1, 1}, {1, 1}, 44100.0, -3},
        {"descending in a band", {0, 5000, 1000}, {1, 1, 1}, {1, 1, 1}},
        {"bands out of order", {5000, 8000, -1, 0, 1000}, {1, 1, -1, 0, 0}, {1, 1, -1, 1, 1}},
        {"infinite frequency", {0, kInf}, {1, 1}, {1, 1}},
        {"NaN gain", {0, 1000}, {1, kNaN}, {1, 1}},
        {"infinite weight", {0, 1000}, {1, 1}, {1, kInf}},
        {"zero weight", {0, 1000}, {1, 1}, {0, 0}},
        {"negative weight", {0, 1000}, {1, 1}, {1, -2}},
        {"no sample rate", {0, 1000}, {1, 1}, {1, 1}, 0.0},
        {"NaN sample rate", {0, 1000}, {1, 1}, {1, 1}, std::nan("")},
        {"low-pass cut above half the rate",
         {0, 30000, -1, 25500, 22049},
         {1, 1, -1, 0, 0},
         {1, 1, -1, 5, 5}},
    };
    for (const Spec& s : cases) {
        SCOPED_TRACE(s.name);
        FirTaps t(s.taps);
        std::fill(t.taps.begin(), t.taps.end(), 7.0);
        const std::vector<float> f(s.f), g(s.g), w(s.w);
        DesignFirFromBands(t, f.empty() ? nullptr : f.data(), g.empty() ? nullptr : g.data(),
                           w.empty() ? nullptr : w.data(), static_cast<int>(f.size()), s.rate);
        EXPECT_EQ(t.status, kFirInvalidBands);
        EXPECT_EQ(t.deviation, 0.0);
        EXPECT_TRUE(std::all_of(t.taps.begin(), t.taps.end(), [](double v) { return v == 0.0; }));
    }
}

TEST(FirDesign, ABreakdownInFloatingPointGivesZeroTapsAndStatus5) {
    // One point at 2211 Hz against a crowded band that runs past half the rate: the barycentric
    // weights span 48 decades and the interpolation's denominator cancels to zero.
    FirTaps t = Design({"breakdown",
                        {2211, kNaN, 3539, 3792, 4172},
                        {0.54f, 0, 0.02f, 1.04f, 1.64f},
                        {39, 0, 27, 98, 93},
                        8000.0,
                        57});
    EXPECT_EQ(t.status, kFirNumericalFailure);
    EXPECT_TRUE(std::all_of(t.taps.begin(), t.taps.end(), [](double v) { return v == 0.0; }));
}

TEST(FirDesign, LowPassStopEdges) {
    // 1.1 and 0.3 are single-precision factors; the results are stored as floats.
    const struct {
        double cutoff, rate;
        float stop;
    } cases[] = {{10000, 44100, 11000.0f}, {21000, 44100, 21315.0f}, {3000, 8000, 3300.0f}};
    for (const auto& c : cases) {
        const LowPassBands s = MakeLowPassBands(c.cutoff, c.rate, 5.0);
        EXPECT_EQ(s.frequencies[3], c.stop) << c.cutoff;
        EXPECT_EQ(s.frequencies[4], static_cast<float>(c.rate / 2 - 1));
        EXPECT_EQ(s.weights[3], 5.0f);
    }
}

TEST(FirDesign, LowPassDesignsConvergeOrStop) {
    // The status of the exchange over cutoffs and tap counts that the low-pass callers use.
    for (double rate : {44100.0, 48000.0, 8000.0}) {
        for (double cutoff : {500.0, 1000.0, 3000.0}) {
            for (double scale : {1.0, 3.0, 5.0, 7.0}) {
                const double c = std::min(cutoff * scale, rate * 0.45);
                for (int n : {11, 50, 51, 80}) {
                    FirTaps t(n);
                    DesignLowPassFir(t, c, rate, 5.0);
                    EXPECT_TRUE(t.status == kFirConverged || t.status == kFirStopped)
                        << rate << " Hz, cutoff " << c << ", " << n << " taps: " << t.status;
                }
            }
        }
    }
}

TEST(FirDesign, OneBandOfGainOneSumsToOne) {
    // An even tap count has its zero at half the rate, so its band stops short of it.
    for (int n : {49, 50}) {
        const float top = n % 2 ? 22050.0f : 11025.0f;
        const FirTaps t = Design({"flat", {0, top}, {1, 1}, {1, 1}, 44100.0, n});
        EXPECT_LE(t.status, kFirStopped);
        EXPECT_NEAR(std::accumulate(t.taps.begin(), t.taps.begin() + n, 0.0), 1.0, 1e-6) << n;
    }
}

TEST(FirDesign, GridOfOnePointBandAndEdgeZones) {
    // A band whose points coincide is one grid point; the interior band's grid is twice as dense
    // near its edges as in its middle.
    const std::vector<float> f = {0, 4000, -1, 6000, 14000, -1, 18000, 18000};
    const std::vector<float> g = {1, 1, -1, 0, 0, -1, 0.5f, 0.5f};
    const std::vector<float> w = {1, 1, -1, 1, 1, -1, 1, 1};
    const FirDesignGrid grid = MakeFirDesignGrid(f.data(), g.data(), w.data(), 8, 44100.0, 51);
    ASSERT_FALSE(grid.frequency.empty());
    EXPECT_EQ(std::count(grid.frequency.begin(), grid.frequency.end(), 18000.0 / 44100.0), 1);
    EXPECT_EQ(grid.frequency.back(), 18000.0 / 44100.0);
    EXPECT_EQ(grid.desired.back(), 0.5);
    EXPECT_TRUE(std::is_sorted(grid.frequency.begin(), grid.frequency.end()));
    const double step = ((4000.0 + 8000.0) / 44100.0) / 1000.0;  // band widths / M (M = 1000)
    std::vector<double> gaps;
    for (size_t i = 1; i < grid.frequency.size(); ++i) {
        const double lo = grid.frequency[i - 1], hi = grid.frequency[i];
        if (lo >= 6000.0 / 44100.0 && hi <= 14000.0 / 44100.0) gaps.push_back(hi - lo);
    }
    const auto [smallest, largest] = std::minmax_element(gaps.begin(), gaps.end());
    EXPECT_NEAR(*smallest, step / 2, step * 0.01);
    EXPECT_NEAR(*largest, step, step * 0.01);
}

TEST(FirDesign, BandCurvesPassThroughTheirPointsMonotonically) {
    // Gains rising over three points and weights falling: the grid values meet the points and
    // never overshoot between them.
    const std::vector<float> f = {1000, 3000, 4000, 9000};
    const std::vector<float> g = {1, 2, 4, 4.5f};
    const std::vector<float> w = {8, 2, 1, 1};
    const FirDesignGrid grid = MakeFirDesignGrid(f.data(), g.data(), w.data(), 4, 44100.0, 50);
    ASSERT_GT(grid.frequency.size(), 100u);
    for (size_t p = 0; p < f.size(); ++p) {
        const auto at = std::find(grid.frequency.begin(), grid.frequency.end(), f[p] / 44100.0);
        ASSERT_NE(at, grid.frequency.end()) << f[p];
        EXPECT_DOUBLE_EQ(grid.desired[at - grid.frequency.begin()], g[p]);
        EXPECT_DOUBLE_EQ(grid.weight[at - grid.frequency.begin()], w[p]);
    }
    EXPECT_TRUE(std::is_sorted(grid.desired.begin(), grid.desired.end()));
    EXPECT_TRUE(std::is_sorted(grid.weight.rbegin(), grid.weight.rend()));
}

TEST(FirDesign, BandsAboveHalfTheRateFoldOntoTheTopOfTheRange) {
    // The equalizer's tables at 8000 Hz reach far past 4000 Hz: bands there collapse to one point
    // at the top, and the design stays finite and bounded (its first band runs to the zero that an
    // even tap count has at 4000 Hz, so it cannot be flat).
    const Spec s{"above",
                 {0, 4000, -1, 4400, 18400, -1, 20240, 22080},
                 {1, 1, -1, 0.01f, 0.01f, -1, 0.01f, 0.01f},
                 {100, 100, -1, 100, 100, -1, 100, 100},
                 8000.0,
                 50};
    const FirTaps t = Design(s);
    EXPECT_LE(t.status, kFirStopped);
    EXPECT_TRUE(std::all_of(t.taps.begin(), t.taps.begin() + 50,
                            [](double v) { return std::isfinite(v); }));
    for (double f = 0.0; f <= 4000.0; f += 10.0) ASSERT_LT(Response(t, f, 8000.0), 4.0) << f;
}

}  // namespace
