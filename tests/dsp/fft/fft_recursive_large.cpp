// The recursive drivers of both directions at orders 23 to each slot's largest (label `large`,
// run serially). Order 23 against the long-double reference; from 24 on, a closed-form signal (a
// constant and one cosine, whose spectrum is two bins) instead: a reference would need tens of
// gigabytes at the top orders, and its time is the run's budget below them. At every order the
// in-place run with the direction's scale gives 2^-order times the out-of-place run without it:
// in place, the copy-then-tile permutation and the scale applied once in one comparison. An order
// is skipped when MemAvailable, read before allocating, is below what it needs.
#include "tests/dsp/fft/fft_reference.h"
#include "tests/dsp/fft/fft_support.h"

#include <chrono>

namespace {

using namespace ffttest;

constexpr int kFirstOrder = 23, kLastReferenceOrder = 23;

// 0.5 + cos(2 pi f j / N) with an odd f near 0.15 N: X[0] = X[f] = N/2, every other bin 0.
int64_t toneOf(int order) {
    return ((int64_t(3) << order) / 20) | 1;
}
void toneSignal(std::vector<double>& x, int order) {
    const int64_t n = int64_t(1) << order, f = toneOf(order);
    const double step = 2 * M_PI / static_cast<double>(n);
    for (int64_t j = 0; j < n; ++j) x[j] = 0.5 + std::cos(step * static_cast<double>((f * j) % n));
}
double toneError(const std::vector<double>& got, int order) {
    const int64_t n = int64_t(1) << order, f = toneOf(order);
    const long double half = static_cast<long double>(n) / 2;
    long double err = 0;
    for (int64_t i = 0; i < n + 2; ++i) {
        const long double want = i == 0 || i == 2 * f ? half : 0;
        err += (got[i] - want) * (got[i] - want);
    }
    return static_cast<double>(sqrtl(err / (2 * half * half)));
}

using FftRecursiveLarge = FftBodyTest;

TEST_P(FftRecursiveLarge, EveryOrderFromTwentyThree) {
    const int s = slot();
    std::string skipped;
    for (int order = kFirstOrder; order <= kLayout[s].maxOrder; ++order) {
        SCOPED_TRACE("order " + std::to_string(order));
        const auto start = std::chrono::steady_clock::now();
        const int64_t n = int64_t(1) << order;
        int S = 0, B = 0, W = 0;
        ASSERT_EQ(kSize[s](order, dspFftScaleNone, 0, &S, &B, &W), dspOk);
        const int64_t reference = order <= kLastReferenceOrder ? 48 * n : 0;
        if (memAvailableBytes() < 16 * n + int64_t(S) + B + W + reference + (int64_t(1) << 29)) {
            skipped += " " + std::to_string(order);
            continue;
        }
        std::vector<double> x(n + 2), out(n + 2);
        std::vector<BYTE> work(W);
        double rms;
        if (order <= kLastReferenceOrder) {
            const std::vector<double> r = randomSignal(n, 2500 + order);
            std::copy(r.begin(), r.end(), x.begin());
        } else {
            toneSignal(x, order);
        }
        {
            const BuiltSpec plain(s, order);
            ASSERT_EQ(plain.status, dspOk);
            ASSERT_EQ(kForward[s](x.data(), out.data(), plain.spec, work.data()), dspOk);
        }
        if (order <= kLastReferenceOrder) {
            rms = relativeRms(out.data(), ccsOf(realDft(x.data(), n)), n + 2);
        } else {
            rms = toneError(out, order);
        }
        EXPECT_LE(rms, rmsBound(order));
        {
            const BuiltSpec scaled(s, order, 0, dspFftScaleFwd);
            ASSERT_EQ(scaled.status, dspOk);
            ASSERT_EQ(kForward[s](x.data(), x.data(), scaled.spec, work.data()), dspOk);
        }
        const double factor = std::ldexp(1.0, -order);
        for (double& v : out) v *= factor;
        EXPECT_TRUE(sameBits(x.data(), out.data(), n + 2)) << "in place and scaled";
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("[ order %2d ] %s: relative RMS %.3g (%.3f of the bound), %.1f s\n", order,
                    dspSlotName(s), rms, rms / rmsBound(order), seconds);
    }
    if (!skipped.empty()) GTEST_SKIP() << "not enough memory available for orders" << skipped;
}

DSP_INSTANTIATE_SLOTS_OF(FftRecursiveLarge, dspslots::dspFftRecursiveFwd);

// The inverse the same way: order 23 on a random spectrum against the long-double reference,
// from 24 on the tone's spectrum (X[0] = X[f] = N/2), whose samples are
// N (0.5 + cos(2 pi f j / N)). Then the inverse scale in place gives 2^-order times the plain
// out-of-place run, bit for bit.
using FftRecursiveInvLarge = FftBodyTest;

TEST_P(FftRecursiveInvLarge, EveryOrderFromTwentyThree) {
    const int s = slot();
    std::string skipped;
    for (int order = kFirstOrder; order <= kLayout[s].maxOrder; ++order) {
        SCOPED_TRACE("order " + std::to_string(order));
        const auto start = std::chrono::steady_clock::now();
        const int64_t n = int64_t(1) << order;
        int S = 0, B = 0, W = 0;
        ASSERT_EQ(kSize[s](order, dspFftScaleNone, 0, &S, &B, &W), dspOk);
        const bool reference = order <= kLastReferenceOrder;
        if (memAvailableBytes() <
            16 * n + int64_t(S) + B + W + (reference ? 48 * n : 0) + (int64_t(1) << 29)) {
            skipped += " " + std::to_string(order);
            continue;
        }
        std::vector<double> y(n + 2, 0.0), out(n);
        std::vector<BYTE> work(W);
        if (reference) {
            const std::vector<double> r = randomSpectrum(order, 3200 + order);
            std::copy(r.begin(), r.end(), y.begin());
        } else {
            y[0] = y[2 * toneOf(order)] = static_cast<double>(n / 2);
        }
        {
            const BuiltSpec plain(s, order);
            ASSERT_EQ(plain.status, dspOk);
            ASSERT_EQ(kInverse[s](y.data(), out.data(), plain.spec, work.data()), dspOk);
        }
        double rms;
        if (reference) {
            rms = relativeRms(out.data(), inverseReference(y, order), n);
        } else {
            const int64_t f = toneOf(order);
            // The double cosine is within an ulp, far below the bound, and a fraction of the
            // long double one's time at 2^28 samples.
            const double step = 2 * M_PI / static_cast<double>(n);
            long double err = 0, norm = 0;
            for (int64_t j = 0; j < n; ++j) {
                const long double want = static_cast<long double>(n) *
                                         (0.5L + std::cos(step * static_cast<double>((f * j) % n)));
                err += (out[j] - want) * (out[j] - want);
                norm += want * want;
            }
            rms = static_cast<double>(sqrtl(err / norm));
        }
        EXPECT_LE(rms, rmsBound(order));
        {
            const BuiltSpec scaled(s, order, 0, dspFftScaleInv);
            ASSERT_EQ(scaled.status, dspOk);
            ASSERT_EQ(kInverse[s](y.data(), y.data(), scaled.spec, work.data()), dspOk);
        }
        const double factor = std::ldexp(1.0, -order);
        for (double& v : out) v *= factor;
        EXPECT_TRUE(sameBits(y.data(), out.data(), n)) << "in place and scaled";
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("[ order %2d ] %s inverse: relative RMS %.3g (%.3f of the bound), %.1f s\n",
                    order, dspSlotName(s), rms, rms / rmsBound(order), seconds);
    }
    if (!skipped.empty()) GTEST_SKIP() << "not enough memory available for orders" << skipped;
}

DSP_INSTANTIATE_SLOTS_OF(FftRecursiveInvLarge, dspslots::dspFftRecursiveInv);

// Slots 2n and 3 give the same bits where their plans and tables coincide, in both directions.
TEST(FftRecursiveLargeIdentity, SlotTwoNIsSlotThree) {
    if (!dspSlotSupported(3)) GTEST_SKIP() << "no slot 3";
    dspTestForceCpu(dspSlotSsse3, dspFeatAll);
    for (int order = kFirstOrder; order <= 25; ++order) {
        EXPECT_TRUE(slotTwoNIsSlotThree(order)) << "order " << order;
    }
    dspTestResetCpu();
}

}  // namespace
