// The forward real FFT through every slot body: accuracy against the long-double reference at
// every order the body transforms, the exact cases, the rules that hold bit for bit within a
// slot (scaling, in place, alignment, memory), the identities between slots, the statuses, the
// recombination routines on their own, threads and the x87 control word.
#include "dsp/fft/paths.h"
#include "tests/dsp/fft/fft_reference.h"
#include "tests/dsp/fft/fft_support.h"

#include <cstdio>

namespace {

using namespace ffttest;

// The largest order the tests here cover in each body: its iterative orders (the recursive
// drivers' orders are tested in test_fft_recursive.cpp); slots 4 and 5 up to their mid-order
// driver's last order.
int lastBuiltOrder(int slot) {
    static const int kLast[kDspSlotCountWith2n] = {11, 14, 13, 17, 18, 18, 17};
    return kLast[slot];
}

// The scale the flag gives an order's forward transform.
long double scaleOf(int flag, int order) {
    const long double n = std::ldexp(1.0L, order);
    return flag == dspFftScaleFwd ? 1 / n : flag == dspFftScaleSqrt ? 1 / sqrtl(n) : 1;
}

const double kPositiveZero = 0.0;
class FftForwardTest : public FftBodyTest {};

// Every order the body transforms, flags 8, 1, 4 and 2, against the reference; then the rules
// that hold bit for bit within the slot.
TEST_P(FftForwardTest, AccuracyAndRulesWithinTheSlot) {
    const int s = slot();
    WorstRatio worst;
    for (int order = 0; order <= lastBuiltOrder(s); ++order) {
        SCOPED_TRACE("order " + std::to_string(order));
        const int64_t n = int64_t(1) << order;
        const std::vector<double> x = randomSignal(n, 700 + order);
        const std::vector<Cl> ref = realDft(x.data(), n);
        std::vector<double> plain;
        for (int flag : {dspFftScaleNone, dspFftScaleFwd, dspFftScaleSqrt, dspFftScaleInv}) {
            SCOPED_TRACE("flag " + std::to_string(flag));
            const BuiltSpec b(s, order, 0, flag);
            ASSERT_EQ(b.status, dspOk);
            const std::vector<double> got = forward(s, b, x);
            const double rms =
                relativeRms(got.data(), ccsOf(ref, scaleOf(flag, order)), got.size());
            EXPECT_LE(rms, rmsBound(order));
            worst.add(order, rms, rmsBound(order));
            // The zero imaginary parts of X[0] and X[N/2] are +0.0.
            EXPECT_EQ(std::memcmp(&got[1], &kPositiveZero, 8), 0);
            if (n > 1) {
                EXPECT_EQ(std::memcmp(&got[n + 1], &kPositiveZero, 8), 0);
            }
            // Scaling: once, by the flag's factor (exact for powers of two).
            if (flag == dspFftScaleNone) plain = got;
            if (flag == dspFftScaleFwd) {
                EXPECT_TRUE(sameBits(got.data(), times(plain, 1.0 / n).data(), got.size()));
            }
            if (flag == dspFftScaleSqrt && order % 2 == 0) {
                EXPECT_TRUE(sameBits(got.data(), times(plain, std::ldexp(1.0, -order / 2)).data(),
                                     got.size()));
            }
            if (flag == dspFftScaleInv) {
                EXPECT_TRUE(sameBits(got.data(), plain.data(), got.size()));
            }
            // In place, and every array 8 bytes off (work 1 byte off), give the same bits.
            if (flag == dspFftScaleNone || flag == dspFftScaleFwd) {
                EXPECT_TRUE(sameBits(forward(s, b, x, {true}).data(), got.data(), got.size()));
                EXPECT_TRUE(
                    sameBits(forward(s, b, x, {true, 0, 8, 1}).data(), got.data(), got.size()));
                EXPECT_TRUE(
                    sameBits(forward(s, b, x, {false, 8, 8, 8}).data(), got.data(), got.size()));
            }
        }
    }
    worst.print(dspSlotName(s));
}

// The documented exact results.
TEST_P(FftForwardTest, ExactValues) {
    const int s = slot();
    struct Case {
        int order, flag;
        std::vector<double> in, want;
    };
    const double c = 0.7071067811865476;
    const Case cases[] = {
        {0, dspFftScaleFwd, {-2.5}, {-2.5, 0}},
        {0, dspFftScaleNone, {3.0}, {3.0, 0}},
        {1, dspFftScaleNone, {1.5, -4.0}, {-2.5, 0, 5.5, 0}},
        {1, dspFftScaleFwd, {1.5, -4.0}, {-1.25, 0, 2.75, 0}},
        {2, dspFftScaleNone, {1, 2, 3, 4}, {10, 0, -2, 2, -2, 0}},
        {2, dspFftScaleSqrt, {1, 2, 3, 4}, {5, 0, -1, 1, -1, 0}},
        {3, dspFftScaleNone, {0, 1, 0, 0, 0, 0, 0, 0}, {1, 0, c, -c, 0, -1, -c, -c, -1, 0}},
    };
    for (const Case& t : cases) {
        const BuiltSpec b(s, t.order, 0, t.flag);
        const std::vector<double> got = forward(s, b, t.in);
        for (size_t i = 0; i < t.want.size(); ++i)
            EXPECT_EQ(got[i], t.want[i]) << "order " << t.order << ", double " << i;
    }
    // An impulse gives s in every bin, a constant N s c at 0 and zeros elsewhere.
    for (int order = 0; order <= lastBuiltOrder(s); ++order) {
        SCOPED_TRACE("order " + std::to_string(order));
        const int64_t n = int64_t(1) << order;
        for (int flag : {dspFftScaleNone, dspFftScaleFwd}) {
            const double sc = static_cast<double>(scaleOf(flag, order));
            const BuiltSpec b(s, order, 0, flag);
            std::vector<double> x(n, 0.0);
            x[0] = 1.0;
            const std::vector<double> impulse = forward(s, b, x);
            std::fill(x.begin(), x.end(), 0.75);
            const std::vector<double> constant = forward(s, b, x);
            for (int64_t k = 0; k <= n / 2; ++k) {
                EXPECT_EQ(impulse[2 * k], sc) << k;
                EXPECT_EQ(impulse[2 * k + 1], 0.0) << k;
                EXPECT_EQ(constant[2 * k], k == 0 ? 0.75 * n * sc : 0.0) << k;
                EXPECT_EQ(constant[2 * k + 1], 0.0) << k;
            }
        }
    }
}

TEST_P(FftForwardTest, Statuses) {
    expectStatuses(Way::Fwd, slot(), lastBuiltOrder(slot()), 800);
}

DSP_INSTANTIATE_SLOTS_WITH_2N(FftForwardTest);

// ---------------------------------------------------------------------------------------------
// Between slots.

class FftForwardIdentity : public FftEveryFeature {};

// The bits of body `slot` on a spec built by `builder` (flags 8 and 1 one after the other).
std::vector<double> bitsOf(int slot, int builder, int order) {
    return flagBits(Way::Fwd, slot, builder, order, 1000);
}

TEST_F(FftForwardIdentity, SlotsOneThreeAndTwoN) {
    for (int order = 0; order <= 17; ++order) {
        SCOPED_TRACE("order " + std::to_string(order));
        // Up to 10 on their own specs, 11 to 14 on slot 1's (whose base table may differ in the
        // last bit from the others' at 11 and above); 2n and 3 agree on their own up to 17.
        if (order <= 14 && dspSlotSupported(1)) {
            const std::vector<double> want = bitsOf(1, 1, order);
            for (int s : {3, kDspSlot2n}) {
                if (!dspSlotSupported(s)) continue;
                const std::vector<double> got = bitsOf(s, order <= 10 ? s : 1, order);
                EXPECT_TRUE(sameBits(got.data(), want.data(), want.size())) << dspSlotName(s);
            }
        }
        if (dspSlotSupported(3)) {
            const std::vector<double> a = bitsOf(3, 3, order),
                                      b = bitsOf(kDspSlot2n, kDspSlot2n, order);
            EXPECT_TRUE(sameBits(a.data(), b.data(), a.size())) << "2n against 3";
        }
    }
}

TEST_F(FftForwardIdentity, SlotZeroAtDoublePrecisionIsSlotTwo) {
    expectSlotZeroAtDoublePrecisionIsSlotTwo(Way::Fwd, 1000);
}

// Slot 5 is slot 4 up to order 3 (one arithmetic there), and within the bound above it; the
// public dispatch runs the body of the process's slot.
TEST_F(FftForwardIdentity, SlotsFourAndFive) {
    expectSlotsFourAndFive(Way::Fwd, 18, {4, 7, 12, 18}, 1000, 1400);
}

// Slot 2 without MOVBE is slot 2n, bit for bit.
TEST_F(FftForwardIdentity, SlotTwoWithoutMovbeIsTwoN) {
    if (!dspSlotSupported(2)) GTEST_SKIP() << "no slot 2";
    for (int order : {3, 6, 9, 14, 16}) {
        const std::vector<double> want = bitsOf(kDspSlot2n, kDspSlot2n, order);
        dspTestForceCpu(dspSlotSsse3, dspFeatAll & ~dspFeatMovbe);
        const std::vector<double> got = bitsOf(2, 2, order);
        enableEveryFeature();
        EXPECT_TRUE(sameBits(got.data(), want.data(), want.size())) << "order " << order;
    }
}

// Slot 0 leaves the caller's control word as it found it, and computes at its precision.
TEST_F(FftForwardIdentity, SlotZeroKeepsTheControlWord) {
    expectSlotZeroKeepsTheControlWord(Way::Fwd, 1100);
}

// Eight threads on one spec, each with its own dst and work, give the bits of a lone call.
TEST_F(FftForwardIdentity, ThreadsShareOneSpec) {
    for (int s : dspSupportedSlots(true)) {
        for (int order : {std::min(11, lastBuiltOrder(s)), lastBuiltOrder(s)})
            expectThreadsShareOneSpec(Way::Fwd, s, order, dspFftScaleNone, 1200);
    }
}

// ---------------------------------------------------------------------------------------------
// The recombination on its own, every member, in the four table forms (pairs or groups, one
// or two levels; slot 3 switches at 19, the others at 18), against direct evaluation:
// X[k] = (Z[k] + conj Z[h-k]) / 2 - i w^k (Z[k] - conj Z[h-k]) / 2 with w = e^(-2 pi i / N).

TEST_F(FftForwardIdentity, PostProcessAgainstDirectEvaluation) {
    for (int s : dspSupportedSlots(true)) {
        if (!dspslots::dspRealFftPostProcess[s]) continue;
        for (int order : {6, 10, 18, 19}) {
            SCOPED_TRACE(std::string(dspSlotName(s)) + " order " + std::to_string(order));
            const BuiltSpec b(s, order);
            ASSERT_EQ(b.status, dspOk);
            const int64_t n = int64_t(1) << order, h = n / 2;
            const std::vector<double> z = randomSignal(n, 1300 + order);
            std::vector<double> data = z;
            dspslots::dspRealFftPostProcess[s](data.data(), static_cast<int>(h),
                                               tableAt<double>(b.spec, 15));
            EXPECT_EQ(data[0], z[0]);
            EXPECT_EQ(data[1], z[1]);
            // The middle element is exactly the conjugate.
            EXPECT_EQ(data[h], z[h]);
            EXPECT_EQ(data[h + 1], -z[h + 1]);
            long double err = 0, norm = 0;
            for (int64_t k = 1; k < h; ++k) {
                const Cl a(z[2 * k], z[2 * k + 1]), bm(z[2 * (h - k)], -z[2 * (h - k) + 1]);
                const Cl want = (a + bm) / 2.0L - Cl(0, 1) * unitRoot(k, n, -1) * (a - bm) / 2.0L;
                const Cl got(data[2 * k], data[2 * k + 1]);
                err += std::norm(got - want);
                norm += std::norm(want);
            }
            EXPECT_LE(static_cast<double>(sqrtl(err / norm)), 2e-16);
        }
    }
}

}  // namespace
