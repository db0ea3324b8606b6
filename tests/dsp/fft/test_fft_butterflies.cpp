// The complex butterfly passes: those of slots 1, 3 and 2n in both directions (gathering passes
// and block butterflies) on tables built by the set-up's own builders, and the iterative passes
// of slots 0 and 2 in both directions on tables built here, against the long-double reference; in
// place, misaligned and through the work buffer; slot 0 under a 53-bit control word against slot 2.
#include "dsp/fft/builders.h"
#include "dsp/fft/paths.h"
#include "tests/dsp/fft/fft_reference.h"
#include "tests/dsp/fft/fft_support.h"

namespace {

using namespace ffttest;

constexpr int kBaseOrder = 17;

// A base table of order 17 (built once) and the index and staged tables of 2^m values read
// from it, as the set-up of slot 1 builds them.
struct Tables {
    std::vector<double> base = std::vector<double>((int64_t(1) << (kBaseOrder - 2)) + 72);
    std::vector<int32_t> index;
    Doubles twiddles;
    explicit Tables(int m)
        : index((size_t(1) << std::max(m - 2, 0)) + 1), twiddles(size_t(2) << m) {
        double* b = base.data() + (8 - reinterpret_cast<uintptr_t>(base.data()) / 8 % 8) % 8;
        dspFftBaseTable_s1(kBaseOrder, b);
        if (m >= 2) dspFftBitReverseTable_s1(m, index.data());
        dspFftTwiddleTable_s1(m, b, kBaseOrder, twiddles.data());
    }
};

using Passes = dspfn::dspFftButterflyPassesFwd;
using Blocks = dspfn::dspFftBlockButterfliesFwd;

class FftButterflyTest : public DspSlotTest {};

constexpr double kWorkSentinel = -777.25;

// Every direction and n = 2^3 .. 2^16: against the reference, then in place, misaligned and
// through the block form, each bit for bit against the first result.
TEST_P(FftButterflyTest, BothDirectionsAgainstTheReference) {
    const int s = slot();
    for (int dir = -1; dir <= 1; dir += 2) {
        const Passes passes =
            dir < 0 ? dspslots::dspFftButterflyPassesFwd[s] : dspslots::dspFftButterflyPassesInv[s];
        const Blocks blocks = dir < 0 ? dspslots::dspFftBlockButterfliesFwd[s]
                                      : dspslots::dspFftBlockButterfliesInv[s];
        for (int m = 3; m <= 16; ++m) {
            SCOPED_TRACE((dir < 0 ? "forward n = 2^" : "inverse n = 2^") + std::to_string(m));
            const int64_t n = int64_t(1) << m;
            const Tables t(m);
            const std::vector<double> z = randomSignal(2 * n, 500 + m);
            Doubles work(2 * n + 16);
            auto freshWork = [&] {
                std::fill(work.data(), work.data() + 2 * n + 16, kWorkSentinel);
            };
            auto workUntouched = [&] {
                return std::all_of(work.data(), work.data() + 2 * n + 16,
                                   [](double v) { return v == kWorkSentinel; });
            };

            // Out of place into an aligned destination: the work buffer stays as it was.
            Doubles dst(2 * n);
            freshWork();
            passes(z.data(), dst.data(), static_cast<int>(n), t.twiddles.data(), t.index.data(),
                   reinterpret_cast<BYTE*>(work.data()));
            const std::vector<double> want(dst.data(), dst.data() + 2 * n);
            EXPECT_LE(relativeRms(want.data(), flatten(complexDftOf(z.data(), n, dir)), 2 * n),
                      rmsBound(m));
            EXPECT_TRUE(workUntouched()) << "work written although dst was usable";

            // In place, and into a destination 8 bytes off, both through the work buffer.
            for (size_t off : {0, 8}) {
                Doubles in(2 * n, off);
                std::copy(z.begin(), z.end(), in.data());
                passes(in.data(), in.data(), static_cast<int>(n), t.twiddles.data(), t.index.data(),
                       reinterpret_cast<BYTE*>(work.data()));
                EXPECT_TRUE(sameBits(in.data(), want.data(), 2 * n)) << "in place +" << off;
                Doubles src(2 * n, off), out(2 * n, 8);
                std::copy(z.begin(), z.end(), src.data());
                passes(src.data(), out.data(), static_cast<int>(n), t.twiddles.data(),
                       t.index.data(), reinterpret_cast<BYTE*>(work.data()));
                EXPECT_TRUE(sameBits(out.data(), want.data(), 2 * n)) << "dst +8, src +" << off;
                EXPECT_TRUE(sameBits(src.data(), z.data(), 2 * n)) << "src changed";
            }

            // The block form on the bit-reversed input: interleaved (flag 1) gives the same
            // bits, aligned or through work; flag 0 the same values in the split layout.
            std::vector<double> reversed(2 * n);
            for (int64_t k = 0; k < n; ++k) {
                reversed[2 * k] = z[2 * reverseBits(k, m)];
                reversed[2 * k + 1] = z[2 * reverseBits(k, m) + 1];
            }
            for (size_t off : {0, 8}) {
                for (int flag : {1, 0}) {
                    Doubles data(2 * n, off);
                    std::copy(reversed.begin(), reversed.end(), data.data());
                    freshWork();
                    blocks(data.data(), static_cast<int>(n), t.twiddles.data(),
                           reinterpret_cast<BYTE*>(work.data()), flag);
                    std::vector<double> got(data.data(), data.data() + 2 * n);
                    if (flag == 0) {
                        for (int64_t p = 0; p < n; p += 2) {
                            const double re0 = got[2 * p], re1 = got[2 * p + 1];
                            const double im0 = got[2 * p + 2], im1 = got[2 * p + 3];
                            got[2 * p] = re0;
                            got[2 * p + 1] = im0;
                            got[2 * p + 2] = re1;
                            got[2 * p + 3] = im1;
                        }
                    }
                    EXPECT_TRUE(sameBits(got.data(), want.data(), 2 * n))
                        << "block form, flag " << flag << ", +" << off;
                    if (off == 0) {
                        EXPECT_TRUE(workUntouched()) << "block form wrote work, flag " << flag;
                    }
                }
            }
        }
    }
}

DSP_INSTANTIATE_SLOTS_OF(FftButterflyTest, dspslots::dspFftButterflyPassesFwd);

// Slots 1, 3 and 2n run one instantiation: the same bits.
TEST(FftButterflyIdentity, SlotsOneThreeAndTwoNAgree) {
    const int m = 11;
    const int64_t n = int64_t(1) << m;
    const Tables t(m);
    const std::vector<double> z = randomSignal(2 * n, 600);
    std::vector<double> want;
    for (int s : {1, 3, kDspSlot2n}) {
        if (!dspSlotSupported(s)) continue;
        for (const Passes passes :
             {dspslots::dspFftButterflyPassesFwd[s], dspslots::dspFftButterflyPassesInv[s]}) {
            Doubles dst(2 * n), work(2 * n);
            passes(z.data(), dst.data(), static_cast<int>(n), t.twiddles.data(), t.index.data(),
                   reinterpret_cast<BYTE*>(work.data()));
            want.insert(want.end(), dst.data(), dst.data() + 2 * n);
        }
        if (want.size() > 4 * size_t(n)) {
            EXPECT_TRUE(sameBits(want.data() + want.size() - 4 * n, want.data(), 4 * n))
                << dspSlotName(s);
        }
    }
}

// Slots 0 and 2, both directions: n = 4 .. 4096 values in bit-reversed order, in place, over a
// triple twiddle table built here from long-double roots (entry j: w^j, w^2j, w^3j of
// w = e^(-2 pi i / n)).
TEST(FftIterativePasses, SlotsZeroAndTwoAgainstTheReference) {
    using PassesFn = void(DSP_CALL*)(double*, int, const double*);
    struct Direction {
        int sign;
        PassesFn two, zero;
    };
    const Direction directions[] = {
        {-1, dspFftButterflyPassesFwd_s2, dspFftButterflyPassesFwd_s0},
        {+1, dspFftButterflyPassesInv_s2, dspFftButterflyPassesInv_s0},
    };
    for (int m = 2; m <= 12; ++m) {
        SCOPED_TRACE("n = 2^" + std::to_string(m));
        const int64_t n = int64_t(1) << m;
        std::vector<double> tw(6 * (n / 4 + 1));
        for (int64_t j = 0; j <= n / 4; ++j) {
            for (int r = 1; r <= 3; ++r) {
                const Cl w = unitRoot(r * j, n, -1);
                tw[6 * j + 2 * r - 2] = static_cast<double>(w.real());
                tw[6 * j + 2 * r - 1] = static_cast<double>(w.imag());
            }
        }
        const std::vector<double> z = randomSignal(2 * n, 1400 + m);
        std::vector<double> reversed(2 * n);
        for (int64_t k = 0; k < n; ++k) {
            reversed[2 * k] = z[2 * reverseBits(k, m)];
            reversed[2 * k + 1] = z[2 * reverseBits(k, m) + 1];
        }
        for (const Direction& d : directions) {
            SCOPED_TRACE(d.sign < 0 ? "forward" : "inverse");
            const std::vector<long double> want = flatten(complexDftOf(z.data(), n, d.sign));
            std::vector<double> byTwo = reversed, byZero = reversed, extended = reversed;
            d.two(byTwo.data(), static_cast<int>(n), tw.data());
            EXPECT_LE(relativeRms(byTwo.data(), want, 2 * n), rmsBound(m)) << "slot 2";
            {
                X87DoublePrecision precision;
                d.zero(byZero.data(), static_cast<int>(n), tw.data());
            }
            EXPECT_TRUE(sameBits(byZero.data(), byTwo.data(), 2 * n)) << "slot 0 at 53 bits";
            // In extended precision slot 0 stays within the bound too.
            d.zero(extended.data(), static_cast<int>(n), tw.data());
            EXPECT_LE(relativeRms(extended.data(), want, 2 * n), rmsBound(m)) << "slot 0";
        }
    }
}

}  // namespace
