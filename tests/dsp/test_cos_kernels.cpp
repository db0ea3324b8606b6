// Special and golden values of every vector cosine kernel, its symmetry, and the paths around
// the fast-range limits.
#include "tests/dsp/test_vecmath_support.h"

#include "dsp/vecmath/trig_scalar.h"

#include <cfloat>

namespace {

using namespace vmtest;

std::vector<double> run(const KernelInfo& k, const std::vector<double>& src) {
    std::vector<double> dst(src.size());
    k.fn(src.data(), dst.data(), static_cast<int>(src.size()));
    return dst;
}

// Zeros, subnormals and tiny values give exactly 1.0, in a pass and alone.
TEST(CosKernels, TinyArgumentsGiveExactlyOne) {
    const std::vector<double> values = {0.0, -0.0, 5e-324, -5e-324, 1e-300, -1e-300};
    for (const KernelInfo& k : kernelsOf(Fn::Cosine)) {
        SCOPED_TRACE(k.label);
        const std::vector<double> got = run(k, values);
        for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(got[i], 1.0) << values[i];
        for (double v : values) EXPECT_EQ(run(k, {v})[0], 1.0) << v;
    }
}

TEST(CosKernels, GoldenValues) {
    // cos of the doubles nearest pi/2, pi and 2 pi, to within the member's bound.
    const std::vector<double> values = {
        1.5707963267948966, 3.141592653589793, 6.283185307179586, 1.0, -2.5, 100.0, 1e5, 1e22};
    for (const KernelInfo& k : kernelsOf(Fn::Cosine)) {
        SCOPED_TRACE(k.label);
        const std::vector<double> got = run(k, values);
        for (size_t i = 0; i < values.size(); ++i) expectWithinBound(k, got[i], values[i]);
        if (k.bound == Bound::Ulp1) {
            EXPECT_EQ(got[1], -1.0);
            EXPECT_EQ(got[0], 6.123233995736766e-17);
        }
    }
}

TEST(CosKernels, InfinitiesAndNaNs) {
    for (const KernelInfo& k : kernelsOf(Fn::Cosine)) {
        SCOPED_TRACE(k.label);
        HookRecorder rec;
        const double src[] = {0.5, 1.0, -INFINITY, 2.0, 3.0};
        double dst[5];
        EXPECT_EQ(k.fn(src, dst, 5), dspWarnDomain);
        EXPECT_TRUE(std::isnan(dst[2]));
        ASSERT_EQ(rec.calls().size(), 1u);
        EXPECT_EQ(rec.calls()[0].index, 2);
        EXPECT_EQ(rec.calls()[0].status, dspWarnDomain);
        EXPECT_EQ(rec.calls()[0].name, k.hookName);
        EXPECT_NEAR(dst[4], -0.9899924966004454, 1e-8);

        const double nanSrc[] = {1.0, NAN};
        EXPECT_EQ(k.fn(nanSrc, dst, 2), dspOk);
        EXPECT_TRUE(std::isnan(dst[1]));
        EXPECT_EQ(rec.calls().size(), 1u);
    }
}

// cos(-x) = cos(x) bit for bit, over every range and every path.
TEST(CosKernels, EvenSymmetryIsExact) {
    std::vector<double> pos = argumentsOverBinades(-1022, 1023, 4, 909);
    for (double& x : pos) x = std::fabs(x);
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> mid(0.0, 70000.0);
    for (int i = 0; i < 3000; ++i) pos.push_back(mid(rng));
    // Next to multiples of pi the rounding of x + pi/2 and of -x + pi/2 differ the most.
    for (int m = 1; m < 3000; ++m) pos.push_back(std::nextafter(m * M_PI, 0.0));
    for (int m = 1; m < 3000; ++m) pos.push_back(std::nextafter(m * M_PI, 1e9));
    for (double x : {0x1p17, 0x1p17 - 0x1p-36, 65536.00349206588, 65536.0034920658, 90112.0,
                     90111.99999999999, 0x1p23, 0x1p24, 0x1p30, DBL_MAX}) {
        pos.push_back(x);
    }
    std::vector<double> neg(pos.size());
    for (size_t i = 0; i < pos.size(); ++i) neg[i] = -pos[i];
    for (const KernelInfo& k : kernelsOf(Fn::Cosine)) {
        SCOPED_TRACE(k.label);
        const std::vector<double> a = run(k, pos), b = run(k, neg);
        int mismatches = 0;
        double first = 0.0;
        for (size_t i = 0; i < pos.size(); ++i) {
            if (bitsOf(a[i]) != bitsOf(b[i]) && mismatches++ == 0) first = pos[i];
        }
        EXPECT_EQ(mismatches, 0) << "first at x = " << first;
    }
}

TEST(CosKernels, AroundTheFastRangeLimits) {
    const std::vector<double> values = {0x1p17,
                                        0x1.fffffffffffffp16,
                                        65536.00349206588,
                                        65536.003492065885,
                                        90112.0,
                                        90111.99999999999,
                                        0x1p23,
                                        0x1p23 - 1.5707963267948966,
                                        0x1p23 + 1.0};
    for (const KernelInfo& k : kernelsOf(Fn::Cosine)) {
        SCOPED_TRACE(k.label);
        const std::vector<double> got = run(k, values);
        for (size_t i = 0; i < values.size(); ++i) expectWithinBound(k, got[i], values[i]);
    }
}

// Routing: as for the sine, the slow paths are the element routines; their results are also held
// to the kernel's bound against quad precision.
TEST(CosKernelsRouting, SlowPathsReachTheElementRoutines) {
    expectSlot2LargeArguments(Fn::Cosine, {90112.0, 1e6, 3.0, -1e300});
    for (const KernelInfo& k : kernelsOf(Fn::Cosine)) {
        if (k.bound != Bound::Abs1e8) continue;
        SCOPED_TRACE(k.label);
        double src[8] = {0.1, 0.2, 0.3, 0.4, 1e9, 0.6, 0.7, 0.8};
        double dst[8];
        ASSERT_EQ(k.fn(src, dst, 8), dspOk);
        double want;
        cosElementFast(1e9, &want);
        EXPECT_EQ(bitsOf(dst[4]), bitsOf(want));
        expectWithinBound(k, dst[4], 1e9);
    }
}

}  // namespace
