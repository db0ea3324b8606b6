// Special and golden values of every complex-magnitude kernel, and its block and remainder
// paths.
#include "tests/dsp/test_vecmath_support.h"

#include <cfloat>
#include <limits>

namespace {

using namespace vmtest;

struct MagCase {
    double re, im;
    double want;  // exact result expected, or NaN for "a NaN"
    bool exact;   // want holds bit for bit (else within the kernel's bound of the true value);
                  // the fastest kernels hold their relative bound on finite non-zero results
};

const MagCase kCases[] = {
    {3.0, 4.0, 5.0, true},
    {0.0, -3.0, 3.0, true},
    {0x1p-1074, 0.0, 0x1p-1074, true},
    {0.0, -0x1p-1074, 0x1p-1074, true},
    {DBL_MAX, DBL_MAX, INFINITY, true},
    {-0.0, -0.0, 0.0, true},
    {0x1p35, 0.0, 0x1p35, true},
    {INFINITY, NAN, INFINITY, true},
    {NAN, -INFINITY, INFINITY, true},
    {-INFINITY, 5.0, INFINITY, true},
    {7.0, INFINITY, INFINITY, true},
    {NAN, 1.0, NAN, true},
    {1.0, NAN, NAN, true},
    {NAN, NAN, NAN, true},
    {1e300, 1e300, 1.4142135623730952e300, false},
    {3e-200, 4e-200, 5e-200, false},
    {3e-310, 4e-310, 5e-310, false},
    {1e-170, 1e-170, 1.4142135623730951e-170, false},
    {DBL_MAX, 1.0, DBL_MAX, false},
    {1.3407807929942596e154, 1.3407807929942596e154, 1.8961503816218355e154, false},
};

void checkCase(const KernelInfo& k, const MagCase& c, double got) {
    const __float128 exact = exactHypot(c.re, c.im);
    if (std::isnan(c.want)) {
        EXPECT_TRUE(std::isnan(got)) << c.re << ", " << c.im;
    } else if (c.exact && !(k.bound == Bound::Rel2m28 && std::isfinite(c.want) && c.want != 0.0)) {
        EXPECT_EQ(bitsOf(got), bitsOf(c.want)) << c.re << ", " << c.im << " gave " << got;
    } else if (k.bound == Bound::Rel2m28) {
        EXPECT_LE(static_cast<double>(fabsq((got - exact) / exact)), 0x1p-28)
            << c.re << ", " << c.im;
    } else {
        EXPECT_LE(ulpError(got, exact), k.bound == Bound::Ulp1 ? 1.0 : 2.0) << c.re << ", " << c.im;
    }
}

// Each case as the only element, inside a full block, and among the last elements.
TEST(MagnitudeKernels, SpecialAndGoldenValuesOnEveryKernel) {
    for (const KernelInfo& k : kernelsOf(Fn::Magnitude)) {
        SCOPED_TRACE(k.label);
        for (const MagCase& c : kCases) {
            double one;
            const double pair[2] = {c.re, c.im};
            ASSERT_EQ(k.fn(pair, &one, 1), dspOk);
            checkCase(k, c, one);
        }
        // All cases in one call of 2 * 20 + 3 elements: blocks of 4, 8, 16 and a remainder.
        std::vector<double> src;
        for (int rep = 0; rep < 2; ++rep) {
            for (const MagCase& c : kCases) {
                src.push_back(c.re);
                src.push_back(c.im);
            }
        }
        for (int i = 0; i < 3; ++i) {
            src.push_back(kCases[i].re);
            src.push_back(kCases[i].im);
        }
        const int n = static_cast<int>(src.size() / 2);
        std::vector<double> dst(n);
        ASSERT_EQ(k.fn(src.data(), dst.data(), n), dspOk);
        const int cases = static_cast<int>(sizeof kCases / sizeof kCases[0]);
        for (int i = 0; i < n; ++i) checkCase(k, kCases[i % cases], dst[i]);
    }
}

// Slot 1: four elements take the block path, the fifth the element routine; an infinite
// element among the first four sends the whole block to the element routine, and the other
// three are still their magnitudes.
TEST(MagnitudeKernels, SlotOneBlockFallsBackAsAWhole) {
    const double src[] = {3.0, 4.0, 1.0, 1.0, INFINITY, 2.0, 5.0, 12.0, 8.0, 15.0};
    double dst[5];
    ASSERT_EQ(dspVecAbs64fcKernel_s1(src, dst, 5), dspOk);
    EXPECT_EQ(dst[0], 5.0);
    EXPECT_LE(ulpError(dst[1], exactHypot(1.0, 1.0)), 1.0);
    EXPECT_EQ(dst[2], INFINITY);
    EXPECT_EQ(dst[3], 13.0);
    EXPECT_EQ(dst[4], 17.0);
}

// A block whose only special element is one NaN part beside a finite one (everything else
// ordinary) must still give NaN there: no other element forces the block's slow path. Every
// position of the first block, the NaN in either part, on every kernel.
TEST(MagnitudeKernels, LoneNaNPairInAnOrdinaryBlock) {
    for (const KernelInfo& k : kernelsOf(Fn::Magnitude)) {
        SCOPED_TRACE(k.label);
        for (int at = 0; at < 4; ++at) {
            for (int nanPart = 0; nanPart < 2; ++nanPart) {
                double src[32], dst[16];
                for (int i = 0; i < 16; ++i)
                    src[2 * i] = 3.0 * (i + 1), src[2 * i + 1] = 4.0 * (i + 1);
                src[2 * at + nanPart] = NAN;
                ASSERT_EQ(k.fn(src, dst, 16), dspOk);
                for (int i = 0; i < 16; ++i) {
                    if (i == at) {
                        EXPECT_TRUE(std::isnan(dst[i])) << "NaN at " << at << " gave " << dst[i];
                    } else {
                        checkCase(k, {src[2 * i], src[2 * i + 1], 5.0 * (i + 1), true}, dst[i]);
                    }
                }
            }
        }
    }
}

// Two NaN parts give the real part's NaN (quieted) wherever the pair sits, whatever the
// compiler did with the operand order, in the slots that share their formulas (2, 4, 5).
TEST(MagnitudeKernels, TwoNaNPartsGiveTheRealPartsNaN) {
    const double negNan = -std::numeric_limits<double>::quiet_NaN();
    const double nanRe[] = {negNan, NAN, std::numeric_limits<double>::signaling_NaN()};
    for (const KernelInfo& k : kernelsOf(Fn::Magnitude)) {
        if (k.cpuSlot < 2) continue;
        SCOPED_TRACE(k.label);
        for (const double re : nanRe) {
            const double im = std::signbit(re) ? NAN : negNan;
            const uint64_t want = bitsOf(re) | 0x0008000000000000ull;
            for (const int n : {1, 16, 19}) {
                double src[2 * 19], dst[19];
                for (int at = 0; at < n; ++at) {
                    for (int i = 0; i < n; ++i) src[2 * i] = 3.0, src[2 * i + 1] = 4.0;
                    src[2 * at] = re;
                    src[2 * at + 1] = im;
                    ASSERT_EQ(k.fn(src, dst, n), dspOk);
                    EXPECT_EQ(bitsOf(dst[at]), want) << "n " << n << ", at " << at;
                }
            }
        }
    }
}

// Slot 2 with nine elements: eight in a block, the ninth alone; an element whose square sum
// leaves the fast range is still exact.
TEST(MagnitudeKernels, OutOfRangeElementInABlockAndAlone) {
    for (const KernelInfo& k : kernelsOf(Fn::Magnitude)) {
        SCOPED_TRACE(k.label);
        std::vector<double> src;
        for (int i = 0; i < 9; ++i) {
            src.push_back(i == 3 || i == 8 ? 0x1p35 : 0.6 * (i + 1));
            src.push_back(i == 3 || i == 8 ? 0.0 : 0.8 * (i + 1));
        }
        std::vector<double> dst(9);
        ASSERT_EQ(k.fn(src.data(), dst.data(), 9), dspOk);
        EXPECT_EQ(dst[3], 0x1p35);
        EXPECT_EQ(dst[8], 0x1p35);
        for (int i : {0, 1, 2, 4, 5, 6, 7}) {
            const __float128 e = exactHypot(src[2 * i], src[2 * i + 1]);
            if (k.bound == Bound::Rel2m28) {
                EXPECT_LE(static_cast<double>(fabsq((dst[i] - e) / e)), 0x1p-28) << i;
            } else {
                EXPECT_LE(ulpError(dst[i], e), 2.0) << i;
            }
        }
    }
}

// Results are never negative and never spuriously overflow or underflow: the magnitude of a
// scaled pair is the scaled magnitude, from the smallest subnormals to the largest doubles.
TEST(MagnitudeKernels, ScalingByPowersOfTwoIsExact) {
    for (const KernelInfo& k : kernelsOf(Fn::Magnitude)) {
        if (k.bound == Bound::Rel2m28) continue;  // its estimate need not scale bit for bit
        SCOPED_TRACE(k.label);
        std::vector<double> src;
        for (int e = -1060; e <= 1020; e += 20) {
            src.push_back(std::ldexp(3.0, e));
            src.push_back(-std::ldexp(4.0, e));
        }
        const int n = static_cast<int>(src.size() / 2);
        std::vector<double> dst(n);
        ASSERT_EQ(k.fn(src.data(), dst.data(), n), dspOk);
        for (int i = 0; i < n; ++i) EXPECT_EQ(dst[i], std::ldexp(5.0, -1060 + 20 * i)) << i;
    }
}

}  // namespace
