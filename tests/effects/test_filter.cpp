// The filter section: each biquad kind's response at its own frequency against the value the
// cookbook formulas promise there (measured on a filtered sine with a Goertzel detector), the FIR
// against a naive convolution, block independence for both, and the sections that must output
// silence or nothing.
#include "effects/common/Filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<double> Noise(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<double> x(n);
    for (double& v : x) v = u(gen);
    return x;
}

// Runs x through the section in blocks of the given sizes (repeated), returning the output.
std::vector<double> Filtered(CFilter& f, const std::vector<double>& x,
                             const std::vector<int>& blocks) {
    std::vector<double> y(x.size());
    size_t at = 0;
    for (size_t b = 0; at < x.size(); ++b) {
        const int n = std::min<int>(blocks[b % blocks.size()], static_cast<int>(x.size() - at));
        f.ProcessBlock(x.data() + at, y.data() + at, n);
        at += static_cast<size_t>(n);
    }
    return y;
}

double Db(double db) {
    return std::pow(10.0, db / 20.0);
}

// Amplitude of the component at `freq` in y[first .. first + n) (n a whole number of periods).
double Goertzel(const std::vector<double>& y, size_t first, size_t n, double freq, double rate) {
    const double w = 2.0 * kPi * freq / rate;
    const double coeff = 2.0 * std::cos(w);
    double s1 = 0.0, s2 = 0.0;
    for (size_t i = first; i < first + n; ++i) {
        const double s = y[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    return 2.0 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(n);
}

TEST(FilterSection, BiquadGainAtItsFrequencyIsTheCookbookValue) {
    const double rate = 48000.0, f0 = 1000.0;  // 48 samples a period
    struct Case {
        int type;
        double gainDb, q;
        double atF0;       // |H| at f0, exactly
        double low, high;  // roughly, a decade below and over three octaves above f0
    } cases[] = {
        {CFilter::kLowPass, 0.0, 70.7, 0.707, 1, 0},
        {CFilter::kLowPass, 12.0, 250.0, 2.5, 1, 0},  // gain ignored
        {CFilter::kLowPass, 0.0, 0.0, 0.01, 0.1, 0},  // Q argument 0 is Q 0.01
        {CFilter::kHighPass, 0.0, 70.7, 0.707, 0, 1},
        {CFilter::kHighPass, 0.0, 300.0, 3.0, 0, 1},
        {CFilter::kBandPassSkirt, -6.0, 200.0, 2.0, 0, 0},
        {CFilter::kBandPassSkirt, 0.0, 50.0, 0.5, 0, 0},
        {CFilter::kBandPass, 0.0, 70.7, 1.0, 0.14, 0},
        {CFilter::kBandPass, 9.0, 400.0, 1.0, 0, 0},
        {CFilter::kNotch, 0.0, 70.7, 0.0, 1, 1},
        {CFilter::kPeaking, 6.0, 100.0, Db(6.0), 1, 1},
        {CFilter::kPeaking, -12.0, 70.7, Db(-12.0), 1, 1},
        {CFilter::kPeaking, 0.0, 70.7, 1.0, 1, 1},
        {CFilter::kLowShelf, 12.0, 70.7, Db(6.0), Db(12.0), 1},
        {CFilter::kLowShelf, -8.0, 100.0, Db(-4.0), Db(-8.0), 1},
        {CFilter::kHighShelf, 12.0, 70.7, Db(6.0), 1, Db(12.0)},
        {CFilter::kHighShelf, -8.0, 100.0, Db(-4.0), 1, Db(-8.0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "type " << c.type << " gain " << c.gainDb << " q " << c.q);
        // Gain at each frequency over the last 4800 samples (whole periods of each), long after
        // the transient.
        const auto gainAt = [&](double freq) {
            std::vector<double> sine(48000);
            for (size_t i = 0; i < sine.size(); ++i)
                sine[i] = std::sin(2.0 * kPi * freq * i / rate);
            CFilter f;
            f.ResetState();
            f.SetBiquad(c.type, c.gainDb, f0, rate, c.q);
            EXPECT_EQ(f.GetType(), c.type);
            return Goertzel(Filtered(f, sine, {4096}), 48000 - 4800, 4800, freq, rate);
        };
        EXPECT_NEAR(gainAt(f0), c.atF0, 1e-6);
        EXPECT_NEAR(gainAt(f0 / 10.0), c.low, 0.12 * std::max(1.0, c.low));
        EXPECT_NEAR(gainAt(12000.0), c.high, 0.12 * std::max(1.0, c.high));
    }
}

// y[n] = sum h[k] x[n-k] over a signal that is zero before its start.
std::vector<double> Convolve(const std::vector<double>& h, const std::vector<double>& x) {
    std::vector<double> y(x.size(), 0.0);
    for (size_t n = 0; n < x.size(); ++n) {
        for (size_t k = 0; k < h.size() && k <= n; ++k) y[n] += h[k] * x[n - k];
    }
    return y;
}

TEST(FilterSection, BlocksFilterAsOneSignal) {
    const std::vector<double> x = Noise(1000, 1);
    const std::vector<double> taps = Noise(CFilter::kInitialTaps, 2);
    const std::vector<std::vector<int>> splits = {{100}, {1}, {7, 61, 3}, {79, 80, 81}};
    struct Design {
        const char* name;
        int type;  // 9: the FIR with `taps`
        double gainDb, q;
    } designs[] = {
        {"low-pass", CFilter::kLowPass, 0.0, 70.7},
        {"peaking", CFilter::kPeaking, 9.0, 150.0},
        {"high shelf", CFilter::kHighShelf, -6.0, 50.0},
        {"fir", CFilter::kFir, 0.0, 0.0},
    };
    for (const Design& d : designs) {
        SCOPED_TRACE(d.name);
        const auto make = [&] {
            CFilter f;
            if (d.type == CFilter::kFir) {
                f.SetTaps(taps.data(), static_cast<int>(taps.size()));
            } else {
                f.SetBiquad(d.type, d.gainDb, 3000.0, 44100.0, d.q);
            }
            f.ResetState();
            return f;
        };
        CFilter whole = make();
        const std::vector<double> reference = Filtered(whole, x, {1000});
        if (d.type == CFilter::kFir) {
            const std::vector<double> naive = Convolve(taps, x);
            for (size_t i = 0; i < x.size(); ++i) ASSERT_NEAR(reference[i], naive[i], 1e-12) << i;
        }
        for (const std::vector<int>& split : splits) {
            CFilter f = make();
            EXPECT_EQ(Filtered(f, x, split), reference) << "first block " << split[0];
        }
        // After ResetState the next block starts from silence again.
        CFilter f = make();
        Filtered(f, Noise(50, 3), {50});
        f.ResetState();
        EXPECT_EQ(Filtered(f, x, {1000}), reference);
    }
}

TEST(FilterSection, AnInfiniteNumeratorIsNoStableSection) {
    // A peaking section whose alpha equals A: its poles sit at 0 and cos(w0), inside the unit
    // circle, while alpha x A = 1e310 overflows b0 and b2.
    const double A = 1e155, w0 = 2.0 * kPi * 1000.0 / 44100.0;
    CFilter f;
    f.SetBiquad(CFilter::kPeaking, 40.0 * 155.0, 1000.0, 44100.0, 100.0 * std::sin(w0) / (2 * A));
    const CFilter::Biquad& c = f.Coefficients();
    ASSERT_TRUE(std::isinf(c.b0) && std::fabs(c.a2) < 1e-9 && std::fabs(c.a1) < 1.0);
    EXPECT_FALSE(f.BiquadIsStable());
}

TEST(FilterSection, SectionsThatOutputSilenceOrNothing) {
    const std::vector<double> x = Noise(300, 4);
    {
        CFilter fresh;  // 80 zero taps
        EXPECT_EQ(fresh.GetType(), CFilter::kFir);
        EXPECT_EQ(fresh.TapCount(), CFilter::kInitialTaps);
        std::vector<double> y(x.size(), 5.0);
        fresh.ProcessBlock(x.data(), y.data(), static_cast<int>(y.size()));
        EXPECT_EQ(y, std::vector<double>(x.size(), 0.0));
    }
    {
        CFilter none;
        none.SetTapCount(0);
        none.ResetState();
        std::vector<double> y(x.size(), 5.0);
        none.ProcessBlock(x.data(), y.data(), static_cast<int>(y.size()));
        EXPECT_EQ(y, std::vector<double>(x.size(), 0.0));
    }
    for (int type : {10, 11, 1000}) {
        CFilter f;
        f.SetBiquad(CFilter::kLowPass, 0.0, 1000.0, 44100.0, 70.7);
        f.SetBiquad(type, 0.0, 1000.0, 44100.0, 70.7);
        EXPECT_EQ(f.GetType(), type);
        std::vector<double> y(x.size(), 5.0);
        f.ProcessBlock(x.data(), y.data(), static_cast<int>(y.size()));
        EXPECT_EQ(y, std::vector<double>(x.size(), 5.0)) << type;
    }
    {
        // A block of 0 samples changes nothing: the next block continues the signal.
        CFilter a, b;
        a.SetBiquad(CFilter::kNotch, 0.0, 500.0, 8000.0, 100.0);
        b.SetBiquad(CFilter::kNotch, 0.0, 500.0, 8000.0, 100.0);
        std::vector<double> ya(x.size()), yb(x.size());
        a.ProcessBlock(x.data(), ya.data(), 150);
        a.ProcessBlock(x.data() + 150, ya.data() + 150, 0);
        a.ProcessBlock(x.data() + 150, ya.data() + 150, 150);
        b.ProcessBlock(x.data(), yb.data(), 300);
        EXPECT_EQ(ya, yb);
    }
}

}  // namespace
