// The straight-line kernels of the small orders (dsp/fft/kernels.h), every slot set and both
// directions: each entry against the long-double reference, its scaled and unscaled twins, in
// place, misaligned, and the identities between slots. The reference itself is checked here against
// a direct DFT in quad precision.
#include "dsp/fft/kernels.h"
#include "tests/dsp/fft/fft_reference.h"
#include "tests/dsp/slots.h"

#include <quadmath.h>

#include <cstdio>
#include <functional>

namespace {

using namespace ffttest;

const DspFftKernelSet& setOf(int slot, bool inverse = false) {
    return *dspslots::dspFftKernelSet[slot](inverse ? 1 : 0);
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
        for (int m = 0; m < kDspFftComplexKernelOrders; ++m) {
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
    // arithmetic; the complex kernels of slots 4 and 5 have their own in both directions
    // (AvxComplexKernels). Inverse: the real kernels of slots 1 to 4 and 2n (slot 5 up to order 3,
    // where it has no rotation to fuse), the complex ones of slots 1, 3 and 2n.
    forEachEntry([](bool inverse, bool real, bool scaled, int k) {
        const std::vector<double> want = outputOf(1, real, scaled, k, inverse);
        ASSERT_FALSE(want.empty());
        std::vector<int> same = {3, kDspSlot2n, 4, 5};
        if (!real) same = {3, kDspSlot2n};
        if (!inverse && real && k >= 4) same = {3, kDspSlot2n, 4};
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

// ---------------------------------------------------------------------------------------------
// The complex kernels of slots 4 and 5.

// A scalar oracle of the 8- to 64-point members (4 x 2, 4 x 4, 4 x 8, 8 x 8), written from the
// recipe: N1-point butterflies over the columns z[j + N2 r], every Y_j[k1] with j k1 != 0 and
// Y_1[0] multiplied as (re c + im s, im c - re s) by the literal (c, s) of its angle, then the
// N2-point DFTs over j. The odd half of an eight-point butterfly is P, Q = c d1 -+ c d3 with
// R = c d3 rounded. Fused (slot 5): the products by c of the twiddles and of d1 are fused into
// their sums, and a scale goes into the first layer as fma(x, s, +-round(s y)); otherwise
// (slot 4) the inputs are scaled first.
struct Cd {
    double re, im;
};
Cd operator+(Cd a, Cd b) {
    return {a.re + b.re, a.im + b.im};
}
Cd operator-(Cd a, Cd b) {
    return {a.re - b.re, a.im - b.im};
}
Cd minusI(Cd a) {
    return {a.im, -a.re};
}

std::vector<double> oracle(const std::vector<double>& in, bool fused, bool scaled, double s) {
    const int M = static_cast<int>(in.size() / 2), N1 = M == 64 ? 8 : 4, N2 = M / N1;
    // |cos(2 pi k / 64)|, k = 0..16, k = 13 and 14 one unit in the last place low.
    // clang-format off
    const double cosTable[17] = {
        1.0, 0.9951847266721969, 0.9807852804032304, 0.9569403357322088, 0.9238795325112867,
        0.881921264348355, 0.8314696123025452, 0.773010453362737, 0.7071067811865476,
        0.6343932841636455, 0.5555702330196022, 0.47139673682599764, 0.3826834323650898,
        0.29028467725446233, 0.19509032201612825, 0.0980171403295606, 0.0};
    // clang-format on
    auto cos64 = [&](int k) {
        k = ((k % 64) + 64) % 64;
        return k <= 16   ? cosTable[k]
               : k <= 32 ? -cosTable[32 - k]
               : k <= 48 ? -cosTable[k - 32]
                         : cosTable[64 - k];
    };
    const double c = cosTable[8];
    // The fused product in quad precision: the product is exact there, and the sum rounded to
    // 113 bits rounds on to the fma's bits unless it lands on a midpoint of doubles (odds of
    // about 2^-60). The C library's fma is not correctly rounded everywhere (mingw's is not).
    const auto fma = [](double a, double b, double r) {
        return static_cast<double>(static_cast<__float128>(a) * b + r);
    };
    auto mulAdd = [&](double a, double b, double r) { return fused ? fma(a, b, r) : a * b + r; };
    std::vector<Cd> z(M);
    for (int n = 0; n < M; ++n) {
        z[n] = {in[2 * n], in[2 * n + 1]};
        if (scaled && !fused) z[n] = {z[n].re * s, z[n].im * s};
    }
    using Layer = std::function<void(Cd, Cd, Cd&, Cd&)>;
    const Layer plain = [](Cd x, Cd y, Cd& sm, Cd& d) {
        sm = x + y;
        d = x - y;
    };
    const Layer first = [&](Cd x, Cd y, Cd& sum, Cd& diff) {
        if (!(scaled && fused)) return plain(x, y, sum, diff);
        const Cd v = {s * y.re, s * y.im};
        sum = {fma(x.re, s, v.re), fma(x.im, s, v.im)};
        diff = {fma(x.re, s, -v.re), fma(x.im, s, -v.im)};
    };
    auto dft4 = [](Cd* a, const Layer& layer) {
        Cd sm, d, t, u;
        layer(a[0], a[2], sm, d);
        layer(a[1], a[3], t, u);
        a[0] = sm + t;
        a[2] = sm - t;
        a[1] = d + minusI(u);
        a[3] = d - minusI(u);
    };
    auto dft8 = [&](Cd* a, const Layer& layer) {
        Cd sm[4], d[4];
        for (int r = 0; r < 4; ++r) layer(a[r], a[r + 4], sm[r], d[r]);
        dft4(sm, plain);
        const Cd r3 = {c * d[3].re, c * d[3].im};
        const Cd p = {mulAdd(d[1].re, c, -r3.re), mulAdd(d[1].im, c, -r3.im)};
        const Cd q = {mulAdd(d[1].re, c, r3.re), mulAdd(d[1].im, c, r3.im)};
        for (int k = 0; k < 4; ++k) a[2 * k] = sm[k];
        a[1] = (d[0] + p) + minusI(d[2] + q);
        a[7] = (d[0] + p) - minusI(d[2] + q);
        a[5] = (d[0] - p) + minusI(d[2] - q);
        a[3] = (d[0] - p) - minusI(d[2] - q);
    };
    auto dft = [&](Cd* a, int points, const Layer& layer) {
        if (points == 2) return layer(a[0], a[1], a[0], a[1]);
        if (points == 4) return dft4(a, layer);
        dft8(a, layer);
    };
    std::vector<std::vector<Cd>> y(N2, std::vector<Cd>(N1));
    for (int j = 0; j < N2; ++j) {
        for (int r = 0; r < N1; ++r) y[j][r] = z[j + N2 * r];
        dft(y[j].data(), N1, first);
        for (int k1 = 0; k1 < N1; ++k1) {
            if (j * k1 == 0 && !(j == 1 && k1 == 0)) continue;
            const int e = j * k1 * (64 / M);
            const double cs = cos64(e), sn = cos64(16 - e);
            const Cd a = y[j][k1];
            y[j][k1] = {mulAdd(a.re, cs, a.im * sn), mulAdd(a.im, cs, a.re * -sn)};
        }
    }
    std::vector<double> out(2 * M);
    for (int k1 = 0; k1 < N1; ++k1) {
        std::vector<Cd> v(N2);
        for (int j = 0; j < N2; ++j) v[j] = y[j][k1];
        dft(v.data(), N2, plain);
        for (int k2 = 0; k2 < N2; ++k2) {
            out[2 * (k1 + N1 * k2)] = v[k2].re;
            out[2 * (k1 + N1 * k2) + 1] = v[k2].im;
        }
    }
    return out;
}

TEST(AvxComplexKernels, FollowTheRecipeBitForBit) {
    for (int s : {4, 5}) {
        if (!dspSlotSupported(s)) continue;
        const DspFftKernelSet& set = setOf(s);
        for (int m = 3; m < kDspFftComplexKernelOrders; ++m) {
            for (bool scaled : {false, true}) {
                SCOPED_TRACE(std::string(dspSlotName(s)) + " complex order " + std::to_string(m) +
                             (scaled ? " scaled" : ""));
                for (uint32_t seed = 0; seed < 20; ++seed) {
                    const std::vector<double> z = randomSignal(size_t(2) << m, 500 + seed);
                    const std::vector<double> got = run(complexEntry(set, scaled, m), z, 0.3, 0, 0);
                    const std::vector<double> want = oracle(z, s == 5, scaled, 0.3);
                    ASSERT_TRUE(sameBits(got.data(), want.data(), got.size())) << "seed " << seed;
                }
            }
        }
    }
}

// Both slots and directions, every complex order: the exact inputs, slot 4's scaling rule, the
// inverse as the mirror of the forward (conj F(conj z)), the shared four-point member; and the
// share of output doubles in which the two slots differ.
TEST(AvxComplexKernels, ExactRulesAndTheSlotDifference) {
    const bool both = dspSlotSupported(4) && dspSlotSupported(5);
    for (int s : {4, 5})
        for (bool inverse : kDirections) {
            if (!dspSlotSupported(s)) continue;
            const DspFftKernelSet& set = setOf(s, inverse);
            for (int m = 0; m < kDspFftComplexKernelOrders; ++m) {
                SCOPED_TRACE(std::string(dspSlotName(s)) + (inverse ? " inverse" : " forward") +
                             " complex order " + std::to_string(m));
                const int M = 1 << m;
                // z[1] = 1: exactly -+i at M/4.
                if (M >= 4) {
                    std::vector<double> x(2 * M, 0.0);
                    x[2] = 1.0;
                    const std::vector<double> y = run(complexEntry(set, false, m), x, 0, 0, 0);
                    EXPECT_EQ(y[M / 2], 0.0);
                    EXPECT_EQ(y[M / 2 + 1], inverse ? 1.0 : -1.0);
                }
                // Impulse: exactly s everywhere. Constant c (s exact in it): M s c, then +0.0.
                for (double sc : {1.0, 0.3, 0.25}) {
                    const Call fn = complexEntry(set, sc != 1.0, m);
                    std::vector<double> x(2 * M, 0.0);
                    x[0] = 1.0;
                    const std::vector<double> impulse = run(fn, x, sc, 0, 0);
                    std::fill(x.begin(), x.end(), -1.75);
                    const std::vector<double> constant = run(fn, x, sc, 0, 0);
                    for (int k = 0; k < 2 * M; ++k) {
                        EXPECT_EQ(impulse[k], k % 2 ? 0.0 : sc) << k;
                        if (sc == 0.3) continue;
                        const double want = k <= 1 ? M * sc * -1.75 : 0.0;
                        EXPECT_EQ(constant[k], want) << k;
                        EXPECT_EQ(std::signbit(constant[k]), k <= 1) << k;
                    }
                }
                const std::vector<double> z = randomSignal(2 * M, 600 + m);
                if (inverse) {
                    std::vector<double> conj = z;
                    for (int k = 1; k < 2 * M; k += 2) conj[k] = -conj[k];
                    for (bool scaled : {false, true}) {
                        std::vector<double> mirror =
                            run(complexEntry(setOf(s), scaled, m), conj, 0.3, 0, 0);
                        for (int k = 1; k < 2 * M; k += 2) mirror[k] = -mirror[k];
                        const std::vector<double> got =
                            run(complexEntry(set, scaled, m), z, 0.3, 0, 0);
                        for (int k = 0; k < 2 * M; ++k) EXPECT_EQ(got[k], mirror[k]) << k;
                    }
                }
                if (s == 4) {
                    // Scaled inputs from 8 points up, scaled outputs below.
                    std::vector<double> zs = z;
                    for (double& v : zs) v *= 0.3;
                    std::vector<double> want =
                        run(complexEntry(set, false, m), m >= 3 ? zs : z, 0, 0, 0);
                    if (m < 3)
                        for (double& v : want) v *= 0.3;
                    EXPECT_TRUE(sameBits(run(complexEntry(set, true, m), z, 0.3, 0, 0).data(),
                                         want.data(), want.size()));
                }
            }
        }
    if (!both) return;
    for (bool scaled : {false, true}) {
        const std::vector<double> z = randomSignal(8, 650);
        EXPECT_TRUE(sameBits(run(complexEntry(setOf(4), scaled, 2), z, 0.3, 0, 0).data(),
                             run(complexEntry(setOf(5), scaled, 2), z, 0.3, 0, 0).data(), 8));
    }
    for (int m = 3; m < kDspFftComplexKernelOrders; ++m) {
        long differ = 0, total = 0;
        for (uint32_t seed = 0; seed < 200; ++seed) {
            const std::vector<double> z = randomSignal(size_t(2) << m, 10000 + seed);
            const std::vector<double> a = run(complexEntry(setOf(4), false, m), z, 0, 0, 0);
            const std::vector<double> b = run(complexEntry(setOf(5), false, m), z, 0, 0, 0);
            for (size_t i = 0; i < a.size(); ++i) differ += std::memcmp(&a[i], &b[i], 8) != 0;
            total += static_cast<long>(a.size());
        }
        std::printf("[ slots    ] %d points: %.1f %% of the output doubles differ (slot 4 / 5)\n",
                    1 << m, 100.0 * differ / total);
        EXPECT_GT(differ, 0) << "slot 5 fuses nothing at " << (1 << m) << " points";
    }
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
