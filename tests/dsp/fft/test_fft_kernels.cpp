// The straight-line kernels of the small orders (dsp/fft/kernels.h), every slot set and both
// directions: each entry against the long-double reference, its scaled and unscaled twins, in
// place, misaligned, and the identities between slots. The reference itself is checked here against
// a direct DFT in quad precision.
#include "dsp/fft/kernels.h"
#include "tests/dsp/fft/fft_reference.h"
#include "tests/dsp/slots.h"

#include <quadmath.h>

#include <functional>

namespace {

using namespace ffttest;

const DspFftKernelSet& setOf(int slot, bool inverse = false) {
    return (inverse ? dspFftInvKernelTables : dspFftFwdKernelTables)[slot];
}
constexpr bool kDirections[] = {false, true};  // forward, inverse

// One kernel call on n doubles: fn(src, dst, scale), with scale ignored by the unscaled tables.
using Call = std::function<void(const double*, double*, double)>;

// Entry k of a scaled subtable and its unscaled twin; null where the slot has none yet.
template <class Scaled, class Unscaled>
Call entryOf(const Scaled* scaledTable, const Unscaled* unscaledTable, bool scaled, int k) {
    if (scaled) {
        if (!scaledTable[k]) return nullptr;
        return [f = scaledTable[k]](const double* s, double* d, double x) { f(s, d, x); };
    }
    if (!unscaledTable[k]) return nullptr;
    return [f = unscaledTable[k]](const double* s, double* d, double) { f(s, d); };
}
Call complexEntry(const DspFftKernelSet& set, bool scaled, int m) {
    return entryOf(set.t2, set.t3, scaled, m);
}
Call realEntry(const DspFftKernelSet& set, bool scaled, int k) {
    return entryOf(set.t0, set.t1, scaled, k);
}

constexpr double kSentinel = -12345.5;

// Runs fn on a copy of `in` (n doubles) with src and dst `srcOff` and `dstOff` bytes past 64
// (in place when inPlace); checks the guard doubles around dst and returns the output.
std::vector<double> run(const Call& fn, const std::vector<double>& in, double scale, size_t srcOff,
                        size_t dstOff, bool inPlace = false) {
    const size_t n = in.size();
    Doubles src(n, srcOff), dst(n + 16, dstOff);
    std::fill(dst.data(), dst.data() + n + 16, kSentinel);
    double* out = dst.data() + 8;
    std::copy(in.begin(), in.end(), inPlace ? out : src.data());
    fn(inPlace ? out : src.data(), out, scale);
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(dst.data()[i], kSentinel) << "written before dst";
        EXPECT_EQ(out[n + i], kSentinel) << "written past dst";
    }
    if (!inPlace) {
        EXPECT_TRUE(sameBits(src.data(), in.data(), n)) << "src changed";
    }
    return std::vector<double>(out, out + n);
}

// The twin rules and the memory rules of one entry pair (scaled, unscaled) on n doubles.
void checkTwins(const Call& scaled, const Call& unscaled, const std::vector<double>& in) {
    const size_t n = in.size();
    const std::vector<double> plain = run(unscaled, in, 0, 0, 0);
    EXPECT_TRUE(sameBits(run(scaled, in, 1.0, 0, 0).data(), plain.data(), n)) << "scale 1.0";
    std::vector<double> quarter = plain;
    for (double& v : quarter) v *= 0.25;
    EXPECT_TRUE(sameBits(run(scaled, in, 0.25, 0, 0).data(), quarter.data(), n)) << "scale 1/4";
    const std::vector<double> odd = run(scaled, in, 0.3, 0, 0);
    for (const Call* fn : {&scaled, &unscaled}) {
        const double s = fn == &scaled ? 0.3 : 0;
        const std::vector<double>& want = fn == &scaled ? odd : plain;
        EXPECT_TRUE(sameBits(run(*fn, in, s, 0, 0, true).data(), want.data(), n)) << "in place";
        for (size_t so : {0, 8, 16, 24})
            for (size_t d : {0, 8, 16, 24})
                EXPECT_TRUE(sameBits(run(*fn, in, s, so, d).data(), want.data(), n))
                    << "src +" << so << " dst +" << d;
        EXPECT_TRUE(sameBits(run(*fn, in, s, 8, 8, true).data(), want.data(), n)) << "in place, +8";
    }
}

class FftKernelTest : public DspSlotTest {};

TEST_P(FftKernelTest, ComplexKernelsAgainstTheReference) {
    for (bool inverse : kDirections) {
        const DspFftKernelSet& set = setOf(slot(), inverse);
        const int sign = inverse ? +1 : -1;
        for (int m = 0; m <= 5; ++m) {
            SCOPED_TRACE(std::string(inverse ? "inverse" : "forward") + " complex order " +
                         std::to_string(m));
            const Call t2 = complexEntry(set, true, m), t3 = complexEntry(set, false, m);
            ASSERT_EQ(!t2, !t3) << "T2 and T3 come together";
            if (!t3) continue;  // not built for this slot yet
            const int M = 1 << m;
            const std::vector<double> z = randomSignal(2 * M, 100 + m);
            const std::vector<double> got = run(t3, z, 0, 0, 0);
            EXPECT_LE(relativeRms(got.data(), flatten(complexDftOf(z.data(), M, sign)), 2 * M),
                      rmsBound(m));
            checkTwins(t2, t3, z);
            // z[1] = 1 gives exp(sign 2 pi i k / M): the sign of the exponent, the natural order.
            std::vector<double> tone(2 * M, 0.0);
            tone[M > 1 ? 2 : 0] = 1.0;
            const std::vector<double> t = run(t3, tone, 0, 0, 0);
            for (int k = 0; k < M; ++k) {
                const Cl w = M > 1 ? unitRoot(k, M, sign) : Cl(1);
                EXPECT_NEAR(t[2 * k], static_cast<double>(w.real()), 2e-16) << k;
                EXPECT_NEAR(t[2 * k + 1], static_cast<double>(w.imag()), 2e-16) << k;
            }
        }
    }
}

TEST_P(FftKernelTest, RealKernelsAgainstTheReference) {
    for (bool inverse : kDirections) {
        const DspFftKernelSet& set = setOf(slot(), inverse);
        for (int k = 0; k <= 5; ++k) {
            SCOPED_TRACE(std::string(inverse ? "inverse" : "forward") + " order " +
                         std::to_string(k));
            const Call t0 = realEntry(set, true, k), t1 = realEntry(set, false, k);
            ASSERT_EQ(!t0, !t1) << "T0 and T1 come together";
            if (!t1) continue;
            const int N = 1 << k;
            const std::vector<double> x = randomSignal(N, 200 + k);
            const std::vector<double> got = run(t1, x, 0, 0, 0);
            const std::vector<long double> want = inverse
                                                      ? realInverseDft(binsOfPerm(x.data(), N), N)
                                                      : permOf(realDft(x.data(), N), N);
            EXPECT_LE(relativeRms(got.data(), want, N), rmsBound(k));
            checkTwins(t0, t1, x);
        }
    }
}

// The exact cases of the small real orders.
TEST_P(FftKernelTest, RealKernelsExactValues) {
    struct Case {
        bool inverse;
        int order;
        double scale;
        std::vector<double> in, want;
    };
    const double c = 0.7071067811865476;
    const Case cases[] = {
        {false, 0, 2.0, {-3.5}, {-7.0}},
        {false, 1, 1.0, {1.5, -4.0}, {-2.5, 5.5}},
        {false, 2, 1.0, {1, 2, 3, 4}, {10, -2, -2, 2}},
        {false, 2, 0.5, {1, 2, 3, 4}, {5, -1, -1, 1}},
        {false, 3, 1.0, {1, 0, 0, 0, 0, 0, 0, 0}, {1, 1, 1, 0, 1, 0, 1, 0}},
        {false, 3, 1.0, {0, 1, 0, 0, 0, 0, 0, 0}, {1, -1, c, -c, 0, -1, -c, -c}},
        {true, 1, 0.5, {1, 0}, {0.5, 0.5}},
        {true, 1, 0.5, {0, 1}, {0.5, -0.5}},
        {true, 2, 1.0, {4, 0, 0, 0}, {4, 4, 4, 4}},
        {true, 2, 0.25, {4, 0, 0, 0}, {1, 1, 1, 1}},
        {true, 2, 1.0, {0, 1, 0, 0}, {1, -1, 1, -1}},
        {true, 2, 1.0, {0, 0, 1, 0}, {2, 0, -2, 0}},
        {true, 2, 1.0, {0, 0, 0, 1}, {0, -2, 0, 2}},
        {true, 3, 0.5, {0, 0, 1, 0, 0, 0, 0, 0}, {1, c, 0, -c, -1, -c, 0, c}},
        {true, 3, 1.0, {0, 0, 0, 0, 0, 0, 0, 1}, {0, -2 * c, 2, -2 * c, 0, 2 * c, -2, 2 * c}},
    };
    for (const Case& t : cases) {
        const Call fn = realEntry(setOf(slot(), t.inverse), t.scale != 1.0, t.order);
        if (!fn) continue;
        const std::vector<double> got = run(fn, t.in, t.scale, 0, 0);
        for (size_t i = 0; i < t.want.size(); ++i)
            EXPECT_EQ(got[i], t.want[i])
                << (t.inverse ? "inverse" : "forward") << " order " << t.order << ", double " << i;
    }
    // Only X[0] = 1 gives s everywhere, only X[N/2] = 1 alternates, at every inverse order.
    for (int k = 0; k <= 5; ++k) {
        const Call fn = realEntry(setOf(slot(), true), true, k);
        if (!fn) continue;
        const int N = 1 << k;
        std::vector<double> dc(N, 0.0), nyquist(N, 0.0);
        dc[0] = 1;
        if (N > 1) nyquist[1] = 1;
        const std::vector<double> a = run(fn, dc, 0.125, 0, 0), b = run(fn, nyquist, 0.125, 0, 0);
        for (int i = 0; i < N; ++i) {
            EXPECT_EQ(a[i], 0.125) << "order " << k << " sample " << i;
            if (N > 1) {
                EXPECT_EQ(b[i], i % 2 ? -0.125 : 0.125) << "order " << k << " sample " << i;
            }
        }
    }
}

// The unscaled one-value kernels are copies: signalling NaNs keep their bits.
TEST_P(FftKernelTest, CopiesMoveBits) {
    const DspFftKernelSet& set = setOf(slot());
    const uint64_t bits[2] = {0x7FF0000000000123u, 0xFFF4000000000001u};
    double in[2], out[2] = {0, 0};
    std::memcpy(in, bits, sizeof in);
    set.t1[0](in, out);
    EXPECT_EQ(std::memcmp(out, in, sizeof(double)), 0) << "real order 0";
    if (set.t3[0]) {
        set.t3[0](in, out);
        EXPECT_EQ(std::memcmp(out, in, sizeof out), 0) << "complex order 0";
    }
}

DSP_INSTANTIATE_SLOTS_WITH_2N(FftKernelTest);

// ---------------------------------------------------------------------------------------------
// Between slots: the members that share an arithmetic give the same bits.

std::vector<double> outputOf(int slot, bool real, bool scaled, int k, bool inverse = false) {
    const DspFftKernelSet& set = setOf(slot, inverse);
    const Call fn = real ? realEntry(set, scaled, k) : complexEntry(set, scaled, k);
    if (!fn) return {};
    const size_t n = size_t(real ? 1 : 2) << k;
    return run(fn, randomSignal(n, 300 + k), 0.3, 0, 0);
}

// fn(inverse, real, scaled, k) for every kernel entry of both directions, traced.
template <class Fn>
void forEachEntry(Fn fn) {
    for (bool inverse : kDirections)
        for (bool real : {true, false})
            for (bool scaled : {true, false})
                for (int k = 0; k <= 5; ++k) {
                    SCOPED_TRACE(std::string(inverse ? "inverse " : "forward ") +
                                 (real ? "real" : "complex") + (scaled ? " scaled" : "") +
                                 " order " + std::to_string(k));
                    fn(inverse, real, scaled, k);
                }
}

TEST(FftKernelIdentity, SharedArithmeticGivesTheSameBits) {
    // Forward: slots 1, 3 and 2n and the real kernels of slot 4 (slot 5 up to order 3) share one
    // arithmetic. Inverse: the real kernels of slots 1 to 4 and 2n (slot 5 up to order 3, where
    // it has no rotation to fuse), the complex ones of slots 1, 3 and 2n.
    forEachEntry([](bool inverse, bool real, bool scaled, int k) {
        const std::vector<double> want = outputOf(1, real, scaled, k, inverse);
        ASSERT_FALSE(want.empty());
        std::vector<int> same = {3, kDspSlot2n, 4, 5};
        if (inverse && real) {
            same = {2, 3, kDspSlot2n, 4};
            if (k <= 3) same.push_back(5);
        }
        for (int s : same) {
            if (!dspSlotSupported(s)) continue;
            const std::vector<double> got = outputOf(s, real, scaled, k, inverse);
            if (got.empty()) continue;  // not built yet
            EXPECT_TRUE(sameBits(got.data(), want.data(), want.size())) << dspSlotName(s);
        }
    });
}

TEST(FftKernelIdentity, SlotZeroAtDoublePrecisionIsSlotTwo) {
    const uint16_t before = x87ControlWord();
    forEachEntry([](bool inverse, bool real, bool scaled, int k) {
        const std::vector<double> want = outputOf(2, real, scaled, k, inverse);
        std::vector<double> got;
        {
            X87DoublePrecision precision;
            got = outputOf(0, real, scaled, k, inverse);
        }
        EXPECT_TRUE(sameBits(got.data(), want.data(), want.size()));
    });
    EXPECT_EQ(x87ControlWord(), before);
}

// The reference FFT against a direct DFT in quad precision with exactly reduced angles.
TEST(FftReference, AgreesWithQuadPrecision) {
    for (int b = 0; b <= 10; ++b) {
        const int64_t n = int64_t(1) << b;
        const std::vector<double> z = randomSignal(2 * n, 400 + b);
        const std::vector<Cl> fast = complexDftOf(z.data(), n);
        std::vector<__float128> c(n), s(n);
        const __float128 twoPi = 2 * acosq(-1);
        for (int64_t k = 0; k < n; ++k) {
            const __float128 a = twoPi * k / n;
            c[k] = cosq(a);
            s[k] = -sinq(a);
        }
        long double err = 0, norm = 0;
        for (int64_t k = 0; k < n; ++k) {
            __float128 re = 0, im = 0;
            for (int64_t j = 0; j < n; ++j) {
                const int64_t r = (j * k) % n;
                re += z[2 * j] * c[r] - z[2 * j + 1] * s[r];
                im += z[2 * j] * s[r] + z[2 * j + 1] * c[r];
            }
            const long double dr = fast[k].real() - static_cast<long double>(re);
            const long double di = fast[k].imag() - static_cast<long double>(im);
            err += dr * dr + di * di;
            norm += static_cast<long double>(re * re + im * im);
        }
        EXPECT_LE(static_cast<double>(sqrtl(err / norm)), 1e-18) << "n = " << n;
    }
}

}  // namespace
