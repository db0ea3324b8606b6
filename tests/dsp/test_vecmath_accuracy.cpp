// Accuracy of every vector-math kernel against quad-precision references (libquadmath), and of
// the large-argument reduction.
#include "tests/dsp/test_vecmath_support.h"

#include "dsp/vecmath/trig_scalar.h"

#include <cstdio>

namespace {

using namespace vmtest;

// Tolerances of the bound classes, in the unit each class is measured in.
double limitOf(Bound b) {
    switch (b) {
        case Bound::Ulp1:
            return 1.0;
        case Bound::Ulp2:
            return 2.0;
        case Bound::Ulp4:
            return 4.0;
        case Bound::Abs1e8:
            return 1e-8;
        case Bound::Rel2m28:
            return 0x1p-28;
    }
    return 0.0;
}

double errorOf(Bound b, double got, __float128 exact) {
    if (b == Bound::Abs1e8)
        return std::isnan(got) ? INFINITY : static_cast<double>(fabsq(got - exact));
    if (b == Bound::Rel2m28) {
        if (std::isnan(got)) return INFINITY;
        if (exact == 0) return got == 0.0 ? 0.0 : INFINITY;
        return static_cast<double>(fabsq((got - exact) / exact));
    }
    return ulpError(got, exact);
}

// Arguments for the sine and cosine: every binade from 2^-1022 to 2^1023, a few subnormals,
// dense sampling of one turn (the range of the library's own caller) and of the fast ranges.
const std::vector<double>& trigArguments() {
    static const std::vector<double> args = [] {
        std::vector<double> a = argumentsOverBinades(-1022, 1023, 6, 12345);
        std::mt19937_64 rng(777);
        std::uniform_real_distribution<double> turn(-6.3, 6.3), mid(-70000.0, 70000.0),
            big(-0x1p24, 0x1p24);
        for (int i = 0; i < 4000; ++i) a.push_back(turn(rng));
        for (int i = 0; i < 4000; ++i) a.push_back(mid(rng));
        for (int i = 0; i < 2000; ++i) a.push_back(big(rng));
        for (int i = 0; i < 64; ++i) a.push_back(fromBits(rng() & 0x000FFFFFFFFFFFFFull));
        // The angles of a real FFT's twiddle table: 2 pi k / 2^order.
        for (int k = 0; k < 4096; ++k) a.push_back(2.0 * M_PI * k / 4096.0);
        return a;
    }();
    return args;
}

// Doubles nearest to the zeros of the function (multiples of pi for the sine, odd multiples
// of pi/2 for the cosine): the hardest cases for a reduction, where the result is tiny.
// The multiples m whose nearest double lies relatively closest to m pi (sine) or (m - 1/2) pi
// (cosine), found by an exhaustive search below 30000 and below 5.4e6, come first; a spread of
// other m follows.
const int64_t kHardSine[] = {
    29327,   14479,   28958,   29,      58,      116,     232,     464,     928,     1856,
    3712,    7424,    14848,   29696,   28589,   7055,    14110,   28220,   15217,   27851,
    5199,    10398,   20796,   7793,    15586,   13741,   27482,   20427,   27113,   15955,
    3343,    6686,    10029,   13372,   20058,   26744,   4081,    8162,    16324,   26375,
    4880635, 1081409, 2162818, 4325636, 2717817, 3770637, 204551,  409102,  818204,  1636408,
    3272816, 3827815, 1607819, 3215638, 4823457, 2191407, 4382814, 4937813, 2134229, 4268458,
    2660639, 5321278, 3713459, 4766279, 554999,  1109998, 1664997, 2219996, 2774995, 3329994,
    3884993, 4439992, 4994991, 1052820, 1316025, 1579230, 2105640, 2632050, 3158460, 4211280};
const int64_t kHardCosine[] = {
    29143,   14664,   7240,    29512,   28774,   15,      29881,   14295,   15033,   28405,
    3528,    7609,    28036,   13926,   15402,   2600,    27667,   3897,    6871,    20612,
    27298,   10214,   15771,   13557,   20243,   7978,    26929,   1672,    5015,    16140,
    26560,   19874,   2041,    13188,   9845,    16509,   26191,   6502,    19505,   8347,
    4603136, 2440318, 540705,  5158135, 4048137, 1358909, 1885319, 2995317, 102276,  3493138,
    3550316, 5100957, 1913908, 803910,  2411729, 4105315, 1095704, 4660314, 4545958, 2468907,
    5215313, 2938139, 1067115, 1330320, 3990959, 5043779, 1856730, 2383140, 277500,  832499,
    1387498, 1942497, 2497496, 3052495, 3607494, 4162493, 4717492, 5272491, 3435960, 4488780};

std::vector<double> nearZeros(Fn f) {
    std::vector<int64_t> ms;
    if (f == Fn::Sine) {
        ms.assign(std::begin(kHardSine), std::end(kHardSine));
    } else {
        ms.assign(std::begin(kHardCosine), std::end(kHardCosine));
    }
    for (int64_t m = 1; m < 5400000; m = m < 64 ? m + 1 : m + m / 13 + 7) ms.push_back(m);
    std::vector<double> a;
    const __float128 pi = acosq(static_cast<__float128>(-1));
    for (int64_t m : ms) {
        const __float128 z = f == Fn::Sine ? m * pi : (m - static_cast<__float128>(0.5)) * pi;
        const double x = static_cast<double>(z);
        a.push_back(x);
        a.push_back(-x);
    }
    return a;
}

struct Worst {
    double err = 0.0;
    double arg = 0.0;
};

void printWorst(const char* what, const char* label, const Worst& w) {
    std::printf("[accuracy] %-9s %-9s worst %.4g at %.17g\n", what, label, w.err, w.arg);
}

// Every kernel of f on args against quad precision, within its bound in its fast range and
// beyond it. Next to the zeros of f (nearZeros) results are tiny, so their ulp is tiny too: only
// a reduction that keeps every bit of the reduced argument passes. There the high-accuracy
// members hold 1 ulp and the standard members 4 ulp, in their fast range.
void checkTrigKernels(Fn f, const std::vector<double>& args, bool nearZeros) {
    std::vector<__float128> exact(args.size());
    for (size_t i = 0; i < args.size(); ++i) exact[i] = exactOf(f, args[i]);
    std::vector<double> got(args.size());
    for (const KernelInfo& k : kernelsOf(f)) {
        if (nearZeros && k.bound != Bound::Ulp1 && k.bound != Bound::Ulp4) continue;
        SCOPED_TRACE(k.label);
        ASSERT_EQ(k.fn(args.data(), got.data(), static_cast<int>(args.size())), dspOk);
        Worst inRange, beyond;
        for (size_t i = 0; i < args.size(); ++i) {
            const double ax = std::fabs(args[i]);
            const bool fast = ax <= k.fastRange;
            // Outside its fast range a fastest or standard kernel still holds its absolute
            // (fastest) or its 4-ulp (standard) bound: the slow paths are the accurate ones.
            const double e = errorOf(k.bound, got[i], exact[i]);
            Worst& w = fast ? inRange : beyond;
            if (e > w.err) w = {e, args[i]};
        }
        const char* what =
            f == Fn::Sine ? (nearZeros ? "sine~0" : "sine") : (nearZeros ? "cosine~0" : "cosine");
        printWorst(what, k.label, inRange);
        EXPECT_LE(inRange.err, limitOf(k.bound)) << "at x = " << inRange.arg;
        if (nearZeros) continue;
        EXPECT_LE(beyond.err, limitOf(k.bound)) << "beyond the fast range, at x = " << beyond.arg;
    }
}

TEST(VecMathAccuracy, SineEveryMemberWithinItsBound) {
    checkTrigKernels(Fn::Sine, trigArguments(), false);
}

TEST(VecMathAccuracy, CosineEveryMemberWithinItsBound) {
    checkTrigKernels(Fn::Cosine, trigArguments(), false);
}

TEST(VecMathAccuracy, SineNextToItsZeros) {
    checkTrigKernels(Fn::Sine, nearZeros(Fn::Sine), true);
}

TEST(VecMathAccuracy, CosineNextToItsZeros) {
    checkTrigKernels(Fn::Cosine, nearZeros(Fn::Cosine), true);
}

// The worst ulp errors of a pair of one-element routines (sine, cosine) over args, each within
// limit. A routine that fails gives NaN, which counts as an infinite error.
template <typename SinFn, typename CosFn>
void checkElementRoutines(const char* label, const std::vector<double>& args, SinFn sine,
                          CosFn cosine, double limit) {
    Worst ws, wc;
    for (double x : args) {
        const double es = ulpError(sine(x), exactSin(x)), ec = ulpError(cosine(x), exactCos(x));
        if (es > ws.err) ws = {es, x};
        if (ec > wc.err) wc = {ec, x};
    }
    printWorst("sine", label, ws);
    printWorst("cosine", label, wc);
    EXPECT_LE(ws.err, limit) << ws.arg;
    EXPECT_LE(wc.err, limit) << wc.arg;
}

// The element routines of the fastest kernels stay within 3 ulp, below 2^17 and through the
// large-argument reduction above it.
TEST(VecMathAccuracy, FastestElementRoutinesWithin3Ulp) {
    const auto checked = [](int (*routine)(double, double*)) {
        return [routine](double x) {
            double y;
            return routine(x, &y) == dspOk ? y : NAN;
        };
    };
    checkElementRoutines("element", argumentsOverBinades(-1022, 1023, 40, 99),
                         checked(sinElementFast), checked(cosElementFast), 3.0);
}

// dspSinLargeArg and dspCosLargeArg, the one-element routines behind the high-accuracy kernels.
TEST(VecMathAccuracy, LargeArgumentRoutinesWithin1Ulp) {
    checkElementRoutines("largearg", trigArguments(), dspSinLargeArg, dspCosLargeArg, 1.0);
}

// The reduction against quad precision: sin and cos of (q pi/2 + out[0] + out[1]), evaluated
// in quad from the reduced argument, agree with libquadmath's own reduction of x.
TEST(VecMathAccuracy, LargeReductionIsExactToQuadPrecision) {
    std::vector<double> args = argumentsOverBinades(17, 1023, 12, 4242);
    const std::vector<double> hard = nearZeros(Fn::Sine);
    for (double x : hard) {
        if (std::fabs(x) >= 0x1p17) args.push_back(x);
    }
    for (double x : args) {
        double out[2];
        const int q = dspSinCosReduceLarge(x, out);
        ASSERT_GE(q, 0);
        ASSERT_LE(q, 3);
        EXPECT_LE(std::fabs(out[0]), 0.7853981633974484) << x;
        const __float128 r = static_cast<__float128>(out[0]) + out[1];
        const __float128 sr = sinq(r), cr = cosq(r);
        const __float128 s = q == 0 ? sr : q == 1 ? cr : q == 2 ? -sr : -cr;
        const __float128 ref = sinq(static_cast<__float128>(x));
        // |sin x| >= about 2^-62 for every double, so 2^-100 absolute is ~2^-38 ulp of it.
        EXPECT_LE(static_cast<double>(fabsq(s - ref)), 0x1p-100) << x;
    }
}

// Routing, not accuracy: the copies of the reduction compiled into the element routines give the
// bits of dspSinCosReduceLarge (this translation unit holds one more copy, built with the test
// flags), and the fastest kernels beyond their fast range give the bits of the element routine.
// The accuracy of each of these paths is checked against quad precision above
// (LargeReductionIsExactToQuadPrecision, FastestElementRoutinesWithin3Ulp) and by
// checkTrigKernels beyond each kernel's fast range.
TEST(VecMathRouting, ReductionCopiesAndFastestSlowPathsAreTheSharedRoutines) {
    const std::vector<double> args = argumentsOverBinades(17, 1023, 20, 31337);
    for (double x : args) {
        double a[2], b[2];
        const int qa = dspSinCosReduceLarge(x, a);
        const int qb = reduceLargeImpl(x, b);
        ASSERT_EQ(qa, qb) << x;
        ASSERT_EQ(bitsOf(a[0]), bitsOf(b[0])) << x;
        ASSERT_EQ(bitsOf(a[1]), bitsOf(b[1])) << x;
    }
    // And the fastest kernels, which reach the element routine above their fast range, match
    // the element routine of this copy bit for bit.
    std::vector<double> big;
    for (double x : args) {
        if (std::fabs(x) > 0x1p24) big.push_back(x);
    }
    std::vector<double> got(big.size());
    for (const KernelInfo& k : allKernels()) {
        if (k.bound != Bound::Abs1e8 || !dspSlotSupported(k.cpuSlot)) continue;
        SCOPED_TRACE(k.label);
        ASSERT_EQ(k.fn(big.data(), got.data(), static_cast<int>(big.size())), dspOk);
        for (size_t i = 0; i < big.size(); ++i) {
            double want;
            if (k.function == Fn::Sine) {
                sinElementFast(big[i], &want);
            } else {
                cosElementFast(big[i], &want);
            }
            ASSERT_EQ(bitsOf(got[i]), bitsOf(want)) << big[i];
        }
    }
}

// Magnitude: pairs with both parts over the whole exponent range, near each other and far
// apart, against sqrt(re^2 + im^2) in quad precision.
TEST(VecMathAccuracy, MagnitudeEveryMemberWithinItsBound) {
    std::mt19937_64 rng(2024);
    std::vector<double> src;
    auto randomWithExponent = [&](int e) {
        const uint64_t frac = rng() & 0x000FFFFFFFFFFFFFull;
        const uint64_t sign = (rng() & 1) ? 0x8000000000000000ull : 0;
        return fromBits(sign | (static_cast<uint64_t>(e + 1023) << 52) | frac);
    };
    for (int e = -1022; e <= 1023; ++e) {
        for (int k = 0; k < 6; ++k) {
            int e2 = e + static_cast<int>(rng() % 81) - 40;
            e2 = e2 < -1022 ? -1022 : e2 > 1023 ? 1023 : e2;
            src.push_back(randomWithExponent(e));
            src.push_back(randomWithExponent(e2));
        }
        src.push_back(randomWithExponent(e));
        src.push_back(randomWithExponent(-1022 + static_cast<int>(rng() % 2046)));
    }
    for (int k = 0; k < 200; ++k) {  // subnormal parts
        src.push_back(fromBits(rng() & 0x000FFFFFFFFFFFFFull));
        src.push_back(k % 2 ? fromBits(rng() & 0x000FFFFFFFFFFFFFull)
                            : randomWithExponent(-1022 + k % 60));
    }
    // Pairs of unit order on which s*y + s*y*P4(t), with s*y rounded, lands more than 2 ulp
    // away (found by a search of 2e7 random pairs with this processor's estimate; the rounding
    // errors of s, s*y and the last sum then add up).
    const double hard[][2] = {{0x1.78de9adceab7p-1, -0x1.5a9068dee483bp-1},
                              {-0x1.a158579fa0a28p-2, 0x1.d382828e25cc6p-1},
                              {0x1.6e8dc4aa88e66p-1, -0x1.6573ab657a7fep-1},
                              {-0x1.f887f546a3aecp-3, -0x1.f03515f3adb61p-1},
                              {0x1.29536235f0b6cp-1, 0x1.8b5dcc1e57706p-1},
                              {0x1.b9a8eb18f8e56p-1, 0x1.02e97b929c276p-1}};
    for (const auto& h : hard) {
        src.push_back(h[0]);
        src.push_back(h[1]);
    }
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int k = 0; k < 200000; ++k) src.push_back(unit(rng));
    const int n = static_cast<int>(src.size() / 2);
    std::vector<__float128> exact(n);
    for (int i = 0; i < n; ++i) exact[i] = exactHypot(src[2 * i], src[2 * i + 1]);
    std::vector<double> got(n);
    for (const KernelInfo& k : kernelsOf(Fn::Magnitude)) {
        SCOPED_TRACE(k.label);
        ASSERT_EQ(k.fn(src.data(), got.data(), n), dspOk);
        Worst w;
        for (int i = 0; i < n; ++i) {
            // Above the largest double only +Inf is right.
            if (exact[i] > static_cast<__float128>(DBL_MAX)) {
                if (got[i] != INFINITY) w = {INFINITY, src[2 * i]};
                continue;
            }
            const double e = errorOf(k.bound, got[i], exact[i]);
            if (e > w.err) w = {e, src[2 * i]};
        }
        printWorst("magnitude", k.label, w);
        EXPECT_LE(w.err, limitOf(k.bound)) << "at re = " << w.arg;
    }
}

}  // namespace
