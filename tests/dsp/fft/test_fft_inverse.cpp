// The inverse real FFT through every slot body: accuracy against the long-double reference at
// every order the body transforms, the rules that hold bit for bit within a slot (scaling, the
// ignored imaginary parts, in place, alignment, memory), round trips with the forward body, the
// statuses, the identities between slots, threads, and the pre-processing on its own.
#include "dsp/fft/paths.h"
#include "tests/dsp/fft/fft_reference.h"
#include "tests/dsp/fft/fft_support.h"

#include <limits>

namespace {

using namespace ffttest;

// The last order before each body's recursive driver (test_fft_recursive.cpp tests the orders
// from there on).
int lastBuiltOrder(int slot) {
    static const int kLast[kDspSlotCountWith2n] = {11, 14, 13, 17, 18, 18, 17};
    return kLast[slot];
}

class FftInverseTest : public FftBodyTest {};

// Every order the body transforms, flags 8, 2, 4 and 1, against the reference (one reference per
// order); then the rules that hold bit for bit within the slot.
TEST_P(FftInverseTest, AccuracyAndRulesWithinTheSlot) {
    const int s = slot();
    WorstRatio worst;
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int order = 0; order <= lastBuiltOrder(s); ++order) {
        SCOPED_TRACE("order " + std::to_string(order));
        const int64_t n = int64_t(1) << order;
        const std::vector<double> X = randomSpectrum(order, 1500 + order);
        const std::vector<long double> ref = inverseReference(X, order);
        const double sampleBound = perSampleBound(X, order);
        std::vector<double> plain;
        for (int flag : {dspFftScaleNone, dspFftScaleInv, dspFftScaleSqrt, dspFftScaleFwd}) {
            SCOPED_TRACE("flag " + std::to_string(flag));
            const BuiltSpec b(s, order, 0, flag);
            ASSERT_EQ(b.status, dspOk);
            const std::vector<double> got = inverse(s, b, X);
            const long double sc = inverseScale(flag, order);
            std::vector<long double> want = ref;
            for (long double& v : want) v *= sc;
            const double rms = relativeRms(got.data(), want, got.size());
            EXPECT_LE(rms, rmsBound(order));
            worst.add(order, rms, rmsBound(order));
            for (int64_t t = 0; t < n; ++t)
                ASSERT_LE(std::fabs(got[t] - want[t]), sampleBound * static_cast<double>(sc)) << t;
            // Scaling: once, by the flag's factor (exact for powers of two).
            if (flag == dspFftScaleNone) plain = got;
            if (flag == dspFftScaleInv) {
                EXPECT_TRUE(sameBits(got.data(), times(plain, 1.0 / n).data(), n));
            }
            if (flag == dspFftScaleSqrt && order % 2 == 0) {
                EXPECT_TRUE(
                    sameBits(got.data(), times(plain, std::ldexp(1.0, -order / 2)).data(), n));
            }
            if (flag == dspFftScaleFwd) {
                EXPECT_TRUE(sameBits(got.data(), plain.data(), n));
            }
            if (flag != dspFftScaleNone && flag != dspFftScaleInv) continue;
            // The imaginary parts of the first and last bins are never read.
            for (double junk : {nan, inf, -inf}) {
                std::vector<double> Y = X;
                Y[1] = junk;
                if (n > 1) Y[n + 1] = -junk;
                EXPECT_TRUE(sameBits(inverse(s, b, Y).data(), got.data(), n)) << junk;
            }
            // In place, and dst 8, 16 or 24 bytes past 32 (work 1 byte past 64), same bits.
            EXPECT_TRUE(sameBits(inverse(s, b, X, {true}).data(), got.data(), n));
            for (size_t off : {8, 16, 24}) {
                EXPECT_TRUE(sameBits(inverse(s, b, X, {false, 0, off, 1}).data(), got.data(), n))
                    << off;
            }
            EXPECT_TRUE(sameBits(inverse(s, b, X, {true, 0, 8, 1}).data(), got.data(), n));
        }
    }
    worst.print((std::string(dspSlotName(s)) + " inverse").c_str());
}

// DC alone and Nyquist alone give exact samples; the documented small cases.
TEST_P(FftInverseTest, ExactValues) {
    const int s = slot();
    for (int order = 0; order <= lastBuiltOrder(s); ++order) {
        SCOPED_TRACE("order " + std::to_string(order));
        const int64_t n = int64_t(1) << order;
        for (int flag : {dspFftScaleNone, dspFftScaleInv}) {
            const double sc = static_cast<double>(inverseScale(flag, order));
            const BuiltSpec b(s, order, 0, flag);
            std::vector<double> X(n == 1 ? 2 : n + 2, 0.0);
            X[0] = -1.5;
            const std::vector<double> dc = inverse(s, b, X);
            std::vector<double> nyquist;
            if (n > 1) {
                X[0] = 0;
                X[n] = 3.0;
                nyquist = inverse(s, b, X);
            }
            for (int64_t t = 0; t < n; ++t) {
                EXPECT_EQ(dc[t], -1.5 * sc) << t;
                if (n > 1) {
                    EXPECT_EQ(nyquist[t], (t % 2 ? -3.0 : 3.0) * sc) << t;
                }
            }
        }
    }
    const BuiltSpec plain(s, 2), third(s, 2, 0, dspFftScaleInv), one(s, 1);
    EXPECT_EQ(inverse(s, plain, {4, 9, 0, 0, 0, 9}), std::vector<double>(4, 4.0));
    EXPECT_EQ(inverse(s, third, {4, 9, 0, 0, 0, 9}), std::vector<double>(4, 1.0));
    EXPECT_EQ(inverse(s, plain, {0, 0, 1, 0, 0, 0}), (std::vector<double>{2, 0, -2, 0}));
    EXPECT_EQ(inverse(s, plain, {0, 0, 0, 1, 0, 0}), (std::vector<double>{0, -2, 0, 2}));
    EXPECT_EQ(inverse(s, one, {1.5, 7, -4, 7}), (std::vector<double>{-2.5, 5.5}));
}

// Forward then inverse of the same slot: N times the signal unscaled, the signal otherwise.
TEST_P(FftInverseTest, RoundTrips) {
    const int s = slot();
    for (int order = 0; order <= std::min(lastBuiltOrder(s), 17); ++order) {
        SCOPED_TRACE("order " + std::to_string(order));
        const int64_t n = int64_t(1) << order;
        const std::vector<double> x = randomSignal(n, 1600 + order);
        for (int flag : {dspFftScaleNone, dspFftScaleFwd, dspFftScaleInv, dspFftScaleSqrt}) {
            const BuiltSpec b(s, order, 0, flag);
            std::vector<double> spectrum(n == 1 ? 2 : n + 2), work(b.W / 8 + 1);
            ASSERT_EQ(kForward[s](x.data(), spectrum.data(), b.spec,
                                  reinterpret_cast<BYTE*>(work.data())),
                      dspOk);
            const std::vector<double> back = inverse(s, b, spectrum);
            std::vector<long double> want(x.begin(), x.end());
            if (flag == dspFftScaleNone)
                for (long double& v : want) v *= n;
            EXPECT_LE(relativeRms(back.data(), want, n), 2 * rmsBound(order)) << "flag " << flag;
        }
    }
}

TEST_P(FftInverseTest, Statuses) {
    expectStatuses(Way::Inv, slot(), lastBuiltOrder(slot()), 1700);
}

DSP_INSTANTIATE_SLOTS_WITH_2N(FftInverseTest);

// ---------------------------------------------------------------------------------------------
// Between slots.

class FftInverseIdentity : public FftEveryFeature {};

// The bits of body `slot` on a spec built by `builder` (flags 8 and 2 one after the other).
std::vector<double> bitsOf(int slot, int builder, int order) {
    return flagBits(Way::Inv, slot, builder, order, 1900);
}

// Slot 5 fuses what slot 4 rounds twice: equal to rounding from order 4 up, the same bits below,
// at every order of the default run (the large run goes on). The public entry gives the bits of
// the slot this machine dispatches to.
TEST_F(FftInverseIdentity, SlotsFourAndFive) {
    expectSlotsFourAndFive(Way::Inv, kLastDefaultOrder, {4, 6, 7, 8, 12, 18, 19, 20, 22}, 1900,
                           1950);
}

TEST_F(FftInverseIdentity, SlotZeroAtDoublePrecisionIsSlotTwo) {
    expectSlotZeroAtDoublePrecisionIsSlotTwo(Way::Inv, 1900);
}

// Slot 2 without MOVBE is slot 2n, bit for bit; slot 0 keeps the caller's control word.
TEST_F(FftInverseIdentity, SlotTwoWithoutMovbeIsTwoNAndSlotZeroKeepsTheControlWord) {
    if (dspSlotSupported(2)) {
        for (int order : {3, 6, 9, 14, 16}) {
            const std::vector<double> want = bitsOf(kDspSlot2n, kDspSlot2n, order);
            dspTestForceCpu(dspSlotSsse3, dspFeatAll & ~dspFeatMovbe);
            const std::vector<double> got = bitsOf(2, 2, order);
            enableEveryFeature();
            EXPECT_TRUE(sameBits(got.data(), want.data(), want.size())) << "order " << order;
        }
    }
    expectSlotZeroKeepsTheControlWord(Way::Inv, 2000);
}

// Eight threads on one spec, each with its own dst and work, give the bits of a lone call; at
// order 20 through the recursive drivers.
TEST_F(FftInverseIdentity, ThreadsShareOneSpec) {
    for (int s : dspSupportedSlots(true)) {
        for (int order : {std::min(11, lastBuiltOrder(s)), lastBuiltOrder(s), 20})
            expectThreadsShareOneSpec(Way::Inv, s, order, dspFftScaleInv, 2100);
    }
}

// ---------------------------------------------------------------------------------------------
// The pre-processing on its own, every member, in the four table forms (pairs or groups, one or
// two levels; slot 3 switches at 19, the others at 18), against direct evaluation:
// Y(k) = S + i e^(i theta) D, S = X(k) + conj X(n-k), D = X(k) - conj X(n-k), theta = 2 pi k / N.
// The middle bin is exactly 2 conj X(n/2), -0 included; dst[0..1] stay; in place is the same.

TEST_F(FftInverseIdentity, PreProcessAgainstDirectEvaluation) {
    for (int s : dspSupportedSlots(true)) {
        for (int order : {5, 6, 10, 18, 19}) {
            // The smallest call is n = 16 in slots 4 and 5; the others have no table there.
            if (order == 5 && s != 4 && s != 5) continue;
            SCOPED_TRACE(std::string(dspSlotName(s)) + " order " + std::to_string(order));
            const BuiltSpec b(s, order);
            ASSERT_EQ(b.status, dspOk);
            const int64_t N = int64_t(1) << order, n = N / 2;
            std::vector<double> X = randomSpectrum(order, 2200 + order);
            X[n + 1] = 0.0;
            std::vector<double> out(N, -99.0);
            const double* table = tableAt<double>(b.spec, 16);
            dspslots::dspRealFftInvPreProcess[s](X.data(), out.data(), static_cast<int>(n), table);
            EXPECT_EQ(out[0], -99.0);
            EXPECT_EQ(out[1], -99.0);
            EXPECT_EQ(out[n], 2 * X[n]);
            EXPECT_TRUE(std::signbit(out[n + 1])) << "the conjugate of +0 is -0";
            EXPECT_EQ(out[n + 1], 0.0);
            long double err = 0, norm = 0;
            for (int64_t k = 1; k < n; ++k) {
                const Cl a(X[2 * k], X[2 * k + 1]), bm(X[2 * (n - k)], -X[2 * (n - k) + 1]);
                const Cl want = (a + bm) + Cl(0, 1) * unitRoot(k, N, +1) * (a - bm);
                const Cl got(out[2 * k], out[2 * k + 1]);
                err += std::norm(got - want);
                norm += std::norm(want);
            }
            EXPECT_LE(static_cast<double>(sqrtl(err / norm)), 2e-16);
            std::vector<double> inPlace = X;
            inPlace[0] = inPlace[1] = -99.0;
            dspslots::dspRealFftInvPreProcess[s](inPlace.data(), inPlace.data(),
                                                 static_cast<int>(n), table);
            EXPECT_TRUE(sameBits(inPlace.data(), out.data(), N)) << "in place";
        }
    }
}

}  // namespace
