// The recursive drivers of both directions at orders 23 to each slot's largest (label `large`,
// run serially). Order 23 against the long-double reference; from 24 on, a closed-form signal (a
// constant and one cosine, whose spectrum is two bins) instead: a reference would need tens of
// gigabytes at the top orders, and its time is the run's budget below them. At every order the
// in-place run with the direction's scale gives 2^-order times the out-of-place run without it:
// in place, the copy-then-tile permutation, the scale applied once (every leaf block of every
// level) and the unaligned blocks in one comparison. An order is skipped when MemAvailable, read
// before allocating, is below what it needs.
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

// cos(2 pi f j / N) for j = 0, 1, 2, ... in turn, within an ulp: a rotation by 2 pi f / N in long
// double, started afresh from cosl and sinl every 1024 values, so that its rounding errors cannot
// add up. One libm cosine per sample was the largest part of the run's time at 2^28 samples.
class ToneCosines {
public:
    explicit ToneCosines(int order)
        : n_(int64_t(1) << order), f_(toneOf(order)), cd_(cosl(angle(f_))), sd_(sinl(angle(f_))) {}
    double next() {
        if ((j_ & 1023) == 0) {
            const long double a = angle((f_ * j_) % n_);
            c_ = cosl(a);
            s_ = sinl(a);
        } else {
            const long double c = c_ * cd_ - s_ * sd_;
            s_ = s_ * cd_ + c_ * sd_;
            c_ = c;
        }
        ++j_;
        return static_cast<double>(c_);
    }

private:
    long double angle(int64_t k) const {
        return 2 * acosl(-1.0L) * static_cast<long double>(k) / static_cast<long double>(n_);
    }
    int64_t n_, f_, j_ = 0;
    long double cd_, sd_, c_ = 1, s_ = 0;
};

void toneSignal(double* x, int order) {
    const int64_t n = int64_t(1) << order;
    ToneCosines cosines(order);
    for (int64_t j = 0; j < n; ++j) x[j] = 0.5 + cosines.next();
}

// The error of the tone's transform against its closed form: forward the bins X[0] = X[f] = N/2
// (every other double 0), inverse the samples N (0.5 + cos(2 pi f j / N)).
double toneError(Way w, const double* got, int order) {
    const int64_t n = int64_t(1) << order, f = toneOf(order);
    const long double half = static_cast<long double>(n) / 2;
    long double err = 0, norm = 0;
    if (w == Way::Fwd) {
        for (int64_t i = 0; i < n + 2; ++i) {
            const long double want = i == 0 || i == 2 * f ? half : 0;
            err += (got[i] - want) * (got[i] - want);
        }
        norm = 2 * half * half;
    } else {
        ToneCosines cosines(order);
        for (int64_t j = 0; j < n; ++j) {
            const long double want = static_cast<long double>(n) * (0.5L + cosines.next());
            err += (got[j] - want) * (got[j] - want);
            norm += want * want;
        }
    }
    return static_cast<double>(sqrtl(err / norm));
}

// The long-double reference of the direction's random input at order 23. The input, and so the
// reference, is the same for every slot: computed once, not once per slot, where it took longer
// than the slot's transforms.
static_assert(kFirstOrder == kLastReferenceOrder, "one reference order");
const std::vector<long double>& referenceOf(Way w, const double* x, int order) {
    static std::vector<long double> cached[2];
    std::vector<long double>& r = cached[w == Way::Fwd ? 0 : 1];
    const int64_t n = int64_t(1) << order;
    if (r.empty()) {
        r = w == Way::Fwd ? ccsOf(realDft(x, n))
                          : inverseReference(std::vector<double>(x, x + n + 2), order);
    }
    return r;
}

// One direction at orders 23 to the slot's largest: order 23 on a random input against the
// long-double reference, from 24 on the tone (its signal forward, its spectrum X[0] = X[f] = N/2
// inverse). Then the direction's scale in place, dst 8 bytes past 32 and a work buffer of exactly
// the reported size 1 byte past 64, gives 2^-order times the plain out-of-place run, bit for bit,
// and writes nothing outside either.
void everyOrderFromTwentyThree(Way w, int s) {
    const char* const what = w == Way::Fwd ? "" : " inverse";
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
        const size_t outLen = outputDoubles(w, order), inBytes = (n + 2) * sizeof(double);
        DspGuardedBuffer in(inBytes, 8, kDstSentinel), work(W, 1, kWorkSentinel);
        double* const x = reinterpret_cast<double*>(in.at());
        std::vector<double> out(outLen);
        if (reference) {
            const std::vector<double> r =
                randomInput(w, order, (w == Way::Fwd ? 2500 : 3200) + order);
            std::copy(r.begin(), r.end(), x);
        } else if (w == Way::Fwd) {
            toneSignal(x, order);
        } else {
            std::fill(x, x + n + 2, 0.0);
            x[0] = x[2 * toneOf(order)] = static_cast<double>(n / 2);
        }
        {
            const BuiltSpec plain(s, order);
            ASSERT_EQ(plain.status, dspOk);
            ASSERT_EQ(callBody(w, s, x, out.data(), plain.spec, work.at()), dspOk);
        }
        double rms;
        if (!reference) {
            rms = toneError(w, out.data(), order);
        } else {
            rms = relativeRms(out.data(), referenceOf(w, x, order), outLen);
        }
        EXPECT_LE(rms, rmsBound(order));
        {
            const BuiltSpec scaled(s, order, 0, scaledFlag(w));
            ASSERT_EQ(scaled.status, dspOk);
            ASSERT_EQ(callBody(w, s, x, x, scaled.spec, work.at()), dspOk);
        }
        EXPECT_EQ(in.changedOutside(0, inBytes), -1) << "written outside dst";
        EXPECT_EQ(work.changedOutside(0, W), -1) << "written outside the work buffer";
        const double factor = std::ldexp(1.0, -order);
        for (double& v : out) v *= factor;
        EXPECT_TRUE(sameBits(x, out.data(), outLen)) << "in place and scaled";
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("[ order %2d ] %s%s: relative RMS %.3g (%.3f of the bound), %.1f s\n", order,
                    dspSlotName(s), what, rms, rms / rmsBound(order), seconds);
    }
    if (!skipped.empty()) GTEST_SKIP() << "not enough memory available for orders" << skipped;
}

using FftRecursiveLarge = FftBodyTest;

TEST_P(FftRecursiveLarge, EveryOrderFromTwentyThree) {
    everyOrderFromTwentyThree(Way::Fwd, slot());
}

DSP_INSTANTIATE_SLOTS_OF(FftRecursiveLarge, dspslots::dspFftRecursiveFwd);

using FftRecursiveInvLarge = FftBodyTest;

TEST_P(FftRecursiveInvLarge, EveryOrderFromTwentyThree) {
    everyOrderFromTwentyThree(Way::Inv, slot());
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
