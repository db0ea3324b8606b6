// Special and golden values of every vector sine kernel, its symmetry, and the paths around
// the fast-range limits.
#include "tests/dsp/test_vecmath_support.h"

#include "dsp/vecmath/trig_scalar.h"

#include <cfloat>

namespace {

using namespace vmtest;

const double kPiNearest = 3.141592653589793;       // the double nearest pi
const double kHalfPiNearest = 1.5707963267948966;  // the double nearest pi/2

// Runs one kernel on the values placed at several positions (in a full pass and in the
// remainder), and checks each copy gets the same bits.
std::vector<double> runPlaced(const KernelInfo& k, const std::vector<double>& values) {
    std::vector<double> src;
    for (int rep = 0; rep < 3; ++rep) {
        src.insert(src.end(), values.begin(), values.end());
        src.push_back(0.5);  // shifts the next copy within the passes
    }
    std::vector<double> dst(src.size());
    k.fn(src.data(), dst.data(), static_cast<int>(src.size()));
    const size_t stride = values.size() + 1;
    for (size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(bitsOf(dst[i]), bitsOf(dst[i + stride])) << "value " << values[i];
        EXPECT_EQ(bitsOf(dst[i]), bitsOf(dst[i + 2 * stride])) << "value " << values[i];
    }
    return std::vector<double>(dst.begin(), dst.begin() + static_cast<long>(values.size()));
}

// Exact results every sine kernel gives: zeros keep their sign, tiny values are returned.
TEST(SinKernels, ZerosAndTinyValuesAreReturnedUnchanged) {
    const std::vector<double> values = {0.0,
                                        -0.0,
                                        4.9e-324,
                                        -4.9e-324,
                                        2.2250738585072009e-308,
                                        -1e-300,
                                        0x1p-253,
                                        0x1.fffffffffffffp-253,
                                        -0x1p-600};
    for (const KernelInfo& k : kernelsOf(Fn::Sine)) {
        SCOPED_TRACE(k.label);
        const std::vector<double> got = runPlaced(k, values);
        for (size_t i = 0; i < values.size(); ++i)
            EXPECT_EQ(bitsOf(got[i]), bitsOf(values[i])) << values[i];
    }
}

// The doubles nearest pi/2 and pi, member by member.
TEST(SinKernels, GoldenValuesAtPiOverTwoAndPi) {
    struct Expect {
        Bound bound;
        double atHalfPi, atPi;
    };
    const Expect table[] = {
        {Bound::Ulp1, 1.0, 1.2246467991473532e-16},
        {Bound::Ulp4, 0.9999999999999999, 1.2246467991473532e-16},
        {Bound::Abs1e8, 1.0, 1.2246467991473515e-16},
    };
    for (const KernelInfo& k : kernelsOf(Fn::Sine)) {
        SCOPED_TRACE(k.label);
        const std::vector<double> got =
            runPlaced(k, {kHalfPiNearest, kPiNearest, -kHalfPiNearest, -kPiNearest});
        for (const Expect& e : table) {
            if (e.bound != k.bound) continue;
            EXPECT_EQ(got[0], e.atHalfPi);
            EXPECT_EQ(got[1], e.atPi);
            EXPECT_EQ(got[2], -e.atHalfPi);
            EXPECT_EQ(got[3], -e.atPi);
        }
    }
}

TEST(SinKernels, InfinitiesAndNaNs) {
    for (const KernelInfo& k : kernelsOf(Fn::Sine)) {
        SCOPED_TRACE(k.label);
        HookRecorder rec;
        const double src[] = {0.5, INFINITY, 1.0};
        double dst[3];
        EXPECT_EQ(k.fn(src, dst, 3), dspWarnDomain);
        EXPECT_TRUE(std::isnan(dst[1]));
        ASSERT_EQ(rec.calls().size(), 1u);
        EXPECT_EQ(rec.calls()[0].status, dspWarnDomain);
        EXPECT_EQ(rec.calls()[0].index, 1);
        EXPECT_EQ(rec.calls()[0].name, k.hookName);
        EXPECT_NEAR(dst[0], 0.479425538604203, 1e-8);
        EXPECT_NEAR(dst[2], 0.8414709848078965, 1e-8);

        const double nanSrc[] = {NAN, -NAN, 2.0};
        EXPECT_EQ(k.fn(nanSrc, dst, 3), dspOk);
        EXPECT_TRUE(std::isnan(dst[0]));
        EXPECT_TRUE(std::isnan(dst[1]));
        EXPECT_EQ(rec.calls().size(), 1u);
    }
}

// sin(-x) = -sin(x) bit for bit, over every range and every path.
TEST(SinKernels, OddSymmetryIsExact) {
    std::vector<double> pos = argumentsOverBinades(-1074 + 52, 1023, 4, 606);
    for (double& x : pos) x = std::fabs(x);
    for (double x : {0x1p17, 0x1p17 - 0x1p-36, 65536.00349206588, 65536.0034920658, 90112.0,
                     90111.99999999999, 0x1p24, 0x1.0000000000001p24, 0x1p30, DBL_MAX}) {
        pos.push_back(x);
    }
    std::vector<double> neg(pos.size());
    for (size_t i = 0; i < pos.size(); ++i) neg[i] = -pos[i];
    for (const KernelInfo& k : kernelsOf(Fn::Sine)) {
        SCOPED_TRACE(k.label);
        std::vector<double> a(pos.size()), b(pos.size());
        k.fn(pos.data(), a.data(), static_cast<int>(pos.size()));
        k.fn(neg.data(), b.data(), static_cast<int>(neg.size()));
        for (size_t i = 0; i < pos.size(); ++i) ASSERT_EQ(bitsOf(a[i]), bitsOf(-b[i])) << pos[i];
    }
}

// Elements past a fast-range limit take the slow path and still get correct sines; the
// element just below the limit stays correct on the fast path.
TEST(SinKernels, AroundTheFastRangeLimits) {
    const std::vector<double> values = {0x1p17,
                                        0x1.fffffffffffffp16,
                                        65536.00349206588,
                                        65536.003492065885,
                                        90112.0,
                                        90111.99999999999,
                                        0x1p24,
                                        0x1.0000000000001p24,
                                        0x1p23 + 0.5};
    for (const KernelInfo& k : kernelsOf(Fn::Sine)) {
        SCOPED_TRACE(k.label);
        const std::vector<double> got = runPlaced(k, values);
        for (size_t i = 0; i < values.size(); ++i) expectWithinBound(k, got[i], values[i]);
    }
}

// Routing: the high-accuracy kernels of slots 2 and 3 hand 90112 and above to dspSinLargeArg
// (through their element routine), and the fastest kernels hand what lies beyond 2^24 to their
// element routine while the rest of the pass keeps the polynomial. The routed results are also
// held to the kernel's bound against quad precision.
TEST(SinKernelsRouting, SlowPathsReachTheElementRoutines) {
    expectSlot2LargeArguments(Fn::Sine, {90112.0, 1e6, 3.0, 1e300});
    for (const KernelInfo& k : kernelsOf(Fn::Sine)) {
        if (k.bound != Bound::Abs1e8) continue;
        SCOPED_TRACE(k.label);
        double src[8] = {0.1, 0.2, 0x1.0000000000001p24, 0.4, 0.5, 0.6, 0.7, 0.8};
        double dst[8], alone[8];
        ASSERT_EQ(k.fn(src, dst, 8), dspOk);
        double want;
        sinElementFast(src[2], &want);
        EXPECT_EQ(bitsOf(dst[2]), bitsOf(want));
        expectWithinBound(k, dst[2], src[2]);
        src[2] = 0.3;
        ASSERT_EQ(k.fn(src, alone, 8), dspOk);
        for (int i : {0, 1, 3, 4, 5, 6, 7}) EXPECT_EQ(bitsOf(dst[i]), bitsOf(alone[i])) << i;
    }
}

}  // namespace
