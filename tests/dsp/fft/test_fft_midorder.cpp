// The mid-order complex FFT of slots 4 and 5 on its own, forward and inverse: every pass
// structure against the long-double reference, the choice of the working buffer (dst or work)
// and its bits, a pure tone, the passes called one by one, and the inverse from the spectrum.
#include "tests/dsp/fft/fft_reference.h"
#include "tests/dsp/fft/fft_support.h"

#include <functional>
#include <type_traits>

namespace {

using namespace ffttest;

constexpr uint8_t kWorkSentinel = 0xC3, kDstSentinel = 0x5A;

constexpr bool kDirections[] = {false, true};  // forward, inverse
const char* nameOf(bool inverse) {
    return inverse ? "inverse" : "forward";
}

// The driver and passes of one slot and direction.
struct Passes {
    std::decay_t<decltype(dspslots::dspFftMidOrderFwd[4])> driver;
    std::decay_t<decltype(dspslots::dspFftBlockStages[4])> block;
    std::decay_t<decltype(dspslots::dspFftRadix4Pass[4])> pass;
    std::decay_t<decltype(dspslots::dspFftLastPassInterleave[5])> last;        // slot 5
    std::decay_t<decltype(dspslots::dspFftFirstPassRadix8Gather[4])> gather8;  // slot 4
    int sign;
};
Passes passesOf(int s, bool inverse) {
    using namespace dspslots;
    if (inverse) {
        return {dspFftMidOrderInv[s],  dspFftMidOrderBlockInv[s],    dspFftRadix4PassInv[s],
                dspFftFinalPassInv[s], dspFftGatherRadix8PassInv[s], +1};
    }
    return {dspFftMidOrderFwd[s],        dspFftBlockStages[s],           dspFftRadix4Pass[s],
            dspFftLastPassInterleave[s], dspFftFirstPassRadix8Gather[s], -1};
}

class FftMidOrderTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        enableEveryFeature();
        if (!dspSlotSupported(GetParam())) GTEST_SKIP() << "slot not supported";
    }
    void TearDown() override { dspTestResetCpu(); }
    int slot() const { return GetParam(); }
};

// Real orders 8 (radix-8 first pass), 9 (radix 4), 11 (the whole array is one block), 12
// (quarters), 14 (sub-quarters), 18 (two levels of block stages), and the orders between.
TEST_P(FftMidOrderTest, AgainstTheReferenceAndTheWorkingBuffer) {
    const int s = slot();
    for (int order = 8; order <= 18; ++order)
        for (bool inverse : kDirections) {
            SCOPED_TRACE(std::string(nameOf(inverse)) + " order " + std::to_string(order));
            const auto fn = passesOf(s, inverse).driver;
            ASSERT_NE(fn, nullptr);
            const BuiltSpec b(s, order);
            ASSERT_EQ(b.status, dspOk);
            const int64_t n = int64_t(1) << (order - 1);
            const size_t bytes = 16 * size_t(n);
            const std::vector<double> z = randomSignal(2 * n, 3000 + order);
            const std::vector<long double> want =
                flatten(complexDftOf(z.data(), n, passesOf(s, inverse).sign));
            // dst on 64 bytes and distinct from src: dst is the working buffer, work stays
            // untouched.
            DspGuardedBuffer work(bytes, 0, kWorkSentinel), dst(bytes, 0, kDstSentinel);
            double* const d = reinterpret_cast<double*>(dst.at());
            fn(z.data(), d, static_cast<int>(n), tableAt<double>(b.spec, 12),
               tableAt<int32_t>(b.spec, 11), work.at());
            EXPECT_EQ(work.changedOutside(0, 0), -1) << "work touched";
            EXPECT_EQ(dst.changedOutside(0, bytes), -1);
            const std::vector<double> aligned(d, d + 2 * n);
            EXPECT_LE(relativeRms(aligned.data(), want, 2 * n), rmsBound(order - 1));
            // In place, and dst 8 or 16 bytes past 32: the work buffer serves, the bits stay.
            for (size_t off : {size_t(0), size_t(8), size_t(16), size_t(40)}) {
                for (bool inPlace : {true, false}) {
                    if (!inPlace && off == 0) continue;
                    DspGuardedBuffer w(bytes, 0, kWorkSentinel), o(bytes, off, kDstSentinel);
                    double* const od = reinterpret_cast<double*>(o.at());
                    if (inPlace) std::memcpy(od, z.data(), bytes);
                    fn(inPlace ? od : z.data(), od, static_cast<int>(n),
                       tableAt<double>(b.spec, 12), tableAt<int32_t>(b.spec, 11), w.at());
                    EXPECT_NE(w.changedOutside(0, 0), -1) << "work unused at +" << off;
                    EXPECT_EQ(w.changedOutside(0, bytes), -1);
                    EXPECT_EQ(o.changedOutside(0, bytes), -1);
                    EXPECT_TRUE(sameBits(od, aligned.data(), 2 * n))
                        << (inPlace ? "in place" : "out of place") << " at +" << off;
                }
            }
        }
}

// z[j] = exp(-+2 pi i j k0 / n) gives n at k0 and nearly nothing elsewhere.
TEST_P(FftMidOrderTest, PureTone) {
    const int s = slot();
    for (int order : {8, 9, 12, 15, 18})
        for (bool inverse : kDirections) {
            const BuiltSpec b(s, order);
            const int64_t n = int64_t(1) << (order - 1), k0 = n / 3 + 1;
            std::vector<double> z(2 * n), out(2 * n);
            for (int64_t j = 0; j < n; ++j) {
                const Cl w = unitRoot(j * k0, n, -passesOf(s, inverse).sign);
                z[2 * j] = static_cast<double>(w.real());
                z[2 * j + 1] = static_cast<double>(w.imag());
            }
            std::vector<BYTE> work(16 * n);
            passesOf(s, inverse)
                .driver(z.data(), out.data(), static_cast<int>(n), tableAt<double>(b.spec, 12),
                        tableAt<int32_t>(b.spec, 11), work.data());
            const double tol = 4e-16 * n * (order - 1);
            for (int64_t k = 0; k < n; ++k) {
                EXPECT_NEAR(out[2 * k], k == k0 ? double(n) : 0.0, tol)
                    << "order " << order << " " << k;
                EXPECT_NEAR(out[2 * k + 1], 0.0, tol) << "order " << order << " " << k;
            }
        }
}

// The passes one by one, as the recursive drivers will call them: a first pass, then the block
// stages and the last pass of the driver, give the driver's bits.
TEST_P(FftMidOrderTest, PassesComposeToTheDriver) {
    const int s = slot();
    for (int order : {9, 12})
        for (bool inverse : kDirections) {
            SCOPED_TRACE(std::string(nameOf(inverse)) + " order " + std::to_string(order));
            const Passes fns = passesOf(s, inverse);
            const BuiltSpec b(s, order);
            const int64_t n = int64_t(1) << (order - 1);
            const std::vector<double> z = randomSignal(2 * n, 3100 + order);
            Doubles driver(2 * n), split(2 * n), out(2 * n);
            fns.driver(z.data(), driver.data(), static_cast<int>(n), tableAt<double>(b.spec, 12),
                       tableAt<int32_t>(b.spec, 11), nullptr);
            // The working buffer rebuilt: slot 4's radix-8 gather (n = 2048), or the first pass
            // computed here in long double; then the block stages of each quarter.
            const double* const tw = tableAt<double>(b.spec, 12);
            const int32_t* const table = tableAt<int32_t>(b.spec, 11);
            double* const w = split.data();
            const bool radix4 = (n & 0x55555555) != 0;
            if (!radix4 && s == 4) {
                fns.gather8(z.data(), w, table, static_cast<int>(n));
            } else {
                // Independent gather: four- or eight-point DFTs of the decimated input, split.
                const int R = radix4 ? 4 : 8;
                const int64_t groups = n / (4 * R);
                const int64_t P[4] = {0, n / 2, n / 4, 3 * n / 4};
                for (int64_t k = 0; k < groups; ++k) {
                    const int64_t base = k ? table[k] / (radix4 ? 2 : 4) : 0;
                    for (int c = 0; c < 4; ++c) {
                        std::vector<Cl> col(R);
                        for (int r = 0; r < R; ++r) {
                            const int64_t i = base + c + r * (n / R);
                            col[r] = Cl(z[2 * i], z[2 * i + 1]);
                        }
                        const std::vector<Cl> X = complexDft(col, fns.sign);
                        for (int t = 0; t < R; ++t) {
                            const int64_t pos = P[c] + R * k + t;
                            w[2 * (pos & ~int64_t(3)) + (pos & 3)] =
                                static_cast<double>(X[t].real());
                            w[2 * (pos & ~int64_t(3)) + 4 + (pos & 3)] =
                                static_cast<double>(X[t].imag());
                        }
                    }
                }
            }
            const double* next = tw;
            const int64_t q = n / 4;
            for (int i = 0; i < 4; ++i) next = fns.block(w + 2 * i * q, int(q), tw);
            if (s == 5) {
                fns.last(w, out.data(), next, static_cast<int>(q));
            } else {
                // Slot 4 keeps its last pass inside the driver: the generic pass of step n/4 on the
                // split buffer, then the layout back to interleaved.
                fns.pass(w, next, static_cast<int>(q), 1);
                for (int64_t k = 0; k < n; ++k) {
                    out.data()[2 * k] = w[2 * (k & ~int64_t(3)) + (k & 3)];
                    out.data()[2 * k + 1] = w[2 * (k & ~int64_t(3)) + 4 + (k & 3)];
                }
            }
            const std::vector<long double> want = flatten(complexDftOf(z.data(), n, fns.sign));
            EXPECT_LE(relativeRms(out.data(), want, 2 * n), rmsBound(order - 1));
            if (!radix4 && s == 4) {
                EXPECT_TRUE(sameBits(out.data(), driver.data(), 2 * n));
            }
        }
}

// The block procedure as the recursive drivers rebuild it from the exported passes: the span-4
// or span-8 pass, radix-4 passes of growing span over fewer groups, the pass of span m/4 (below
// 1025 values), or the four quarters and that pass; the same bits and the same next level.
TEST_P(FftMidOrderTest, BlockProcedureFromItsPasses) {
    using namespace dspslots;
    const int s = slot();
    const BuiltSpec b(s, 14);
    const double* const tw = tableAt<double>(b.spec, 12);
    for (bool inverse : kDirections) {
        const auto span4 = inverse ? dspFftRadix4Span4PassInv[s] : dspFftRadix4PassStep4[s];
        const auto span8 = inverse ? dspFftRadix4Span8PassInv[s] : dspFftRadix4PassStep8[s];
        const Passes fns = passesOf(s, inverse);
        std::function<const double*(double*, int64_t)> rebuilt = [&](double* x, int64_t m) {
            const double* level = tw;
            int64_t span;
            if (m > 1024) {
                for (int i = 0; i < 4; ++i) level = rebuilt(x + 2 * i * (m / 4), m / 4);
            } else {
                const bool even = (m & 0x55555555) != 0;
                int64_t g = even ? m / 16 : m / 32;
                (even ? span4 : span8)(x, tw, static_cast<int>(m));
                level = tw + (even ? 24 : 48);
                for (span = even ? 16 : 32; g > 4; span *= 4) {
                    g /= 4;
                    fns.pass(x, level, static_cast<int>(span), static_cast<int>(g));
                    level += 6 * span;
                }
            }
            fns.pass(x, level, static_cast<int>(m / 4), 1);
            return level + 6 * (m / 4);
        };
        for (int64_t m : {128, 256, 512, 1024, 4096}) {
            SCOPED_TRACE(std::string(nameOf(inverse)) + " m " + std::to_string(m));
            const std::vector<double> z = randomSignal(2 * m, 3200 + m);
            std::vector<double> a = z, c = z;
            const double* next = fns.block(a.data(), static_cast<int>(m), tw);
            EXPECT_EQ(rebuilt(c.data(), m), next);
            EXPECT_TRUE(sameBits(a.data(), c.data(), 2 * m));
        }
        // The short calls do nothing.
        std::vector<double> x = randomSignal(64, 3300), y = x;
        span4(x.data(), tw, 15);
        span8(x.data(), tw, 31);
        fns.pass(x.data(), tw, 4, 0);
        EXPECT_TRUE(sameBits(x.data(), y.data(), 64));
    }
}

// The inverse from the spectrum, the pre-processing in its first pass, gives the bits of the
// pre-processing and then the driver at every order it serves (radix 4 and 8, one- and two-level
// tables), with dst as the working buffer and, in place, through the work buffer.
TEST_P(FftMidOrderTest, InverseFromTheSpectrumIsPreProcessingThenDriver) {
    using namespace dspslots;
    const int s = slot();
    for (int order = 8; order <= 18; ++order) {
        SCOPED_TRACE("order " + std::to_string(order));
        const BuiltSpec b(s, order);
        const int64_t N = int64_t(1) << order, n = N / 2;
        const double* const recomb = tableAt<double>(b.spec, 16);
        const double* const tw = tableAt<double>(b.spec, 12);
        const int32_t* const table = tableAt<int32_t>(b.spec, 11);
        const std::vector<double> X = randomSpectrum(order, 3400 + order);
        std::vector<double> want(N), inPlace = X;
        Doubles got(N);
        std::vector<BYTE> work(16 * N + 64);
        BYTE* const w = work.data() + (64 - reinterpret_cast<uintptr_t>(work.data()) % 64);
        want[0] = X[0] + X[N];
        want[1] = X[0] - X[N];
        dspRealFftInvPreProcess[s](X.data(), want.data(), static_cast<int>(n), recomb);
        dspFftMidOrderInv[s](want.data(), want.data(), static_cast<int>(n), tw, table, w);
        dspFftMidOrderInvCcs[s](X.data(), got.data(), static_cast<int>(n), tw, table, recomb,
                                nullptr);
        EXPECT_TRUE(sameBits(got.data(), want.data(), N));
        dspFftMidOrderInvCcs[s](inPlace.data(), inPlace.data(), static_cast<int>(n), tw, table,
                                recomb, w);
        EXPECT_TRUE(sameBits(inPlace.data(), want.data(), N));
    }
}

INSTANTIATE_TEST_SUITE_P(Slots, FftMidOrderTest, ::testing::Values(4, 5),
                         [](const ::testing::TestParamInfo<int>& i) {
                             return std::string(dspSlotName(i.param));
                         });

}  // namespace
