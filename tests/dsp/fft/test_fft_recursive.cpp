// The recursive cache-blocked drivers through the forward and inverse bodies, and the block
// transfers and leaf passes beneath them: accuracy against the long-double reference at every
// driver order up to 22, the rules that hold bit for bit within a slot (in place, alignment, the
// scale applied once), work and threads, and the identities between slots. Orders from 23 need
// gigabytes: fft_recursive_large.cpp runs them under the `large` label.
#include "tests/dsp/fft/fft_reference.h"
#include "tests/dsp/fft/fft_support.h"

#include <random>
#include <thread>

namespace {

using namespace ffttest;

// The first order each slot hands to its recursive driver, and the last of the default run.
int driverFrom(int slot) {
    static const int kFrom[kDspSlotCountWith2n] = {12, 15, 14, 18, 19, 19, 18};
    return kFrom[slot];
}

using FftRecursiveTest = FftBodyTest;

// Every driver order of the default run: the reference, then in place, 8 bytes off and the
// forward scale (flag 1 equals 2^-order times flag 8, so every row is scaled exactly once).
// The worst error over the bound is printed for the record.
TEST_P(FftRecursiveTest, AccuracyAndRulesEveryOrder) {
    const int s = slot();
    double worst = 0;
    for (int order = driverFrom(s); order <= kLastDefaultOrder; ++order) {
        SCOPED_TRACE("order " + std::to_string(order));
        const int64_t n = int64_t(1) << order;
        const std::vector<double> x = randomSignal(n, 1900 + order);
        const BuiltSpec plain(s, order), scaled(s, order, 8, dspFftScaleFwd);
        ASSERT_EQ(plain.status, dspOk);
        ASSERT_EQ(scaled.status, dspOk);
        const std::vector<double> got = forward(s, plain, x);
        const double rms = relativeRms(got.data(), ccsOf(realDft(x.data(), n)), got.size());
        EXPECT_LE(rms, rmsBound(order));
        worst = std::max(worst, rms / rmsBound(order));
        EXPECT_TRUE(sameBits(forward(s, plain, x, {true}).data(), got.data(), got.size()))
            << "in place";
        EXPECT_TRUE(sameBits(forward(s, plain, x, {false, 8, 8, 8}).data(), got.data(), got.size()))
            << "8 bytes off";
        EXPECT_TRUE(sameBits(forward(s, scaled, x, {true, 0, 8, 1}).data(),
                             times(got, std::ldexp(1.0, -order)).data(), got.size()))
            << "scaled once";
    }
    std::printf("[ worst    ] %s: relative RMS / bound, orders %d-%d: %.3f\n", dspSlotName(s),
                driverFrom(s), kLastDefaultOrder, worst);
}

// A null work buffer answers -8 and writes nothing; four threads on one order-20 spec, each
// with its own dst and a work buffer of exactly the reported size, give the bits of a lone call
// (forward() checks the guard bytes behind the work).
TEST_P(FftRecursiveTest, WorkAndThreads) {
    const int s = slot();
    const int order = 20;
    const BuiltSpec b(s, order);
    ASSERT_GT(b.W, 0);
    const std::vector<double> x = randomSignal(size_t(1) << order, 2000);
    std::vector<double> out(x.size() + 2, 0.25);
    EXPECT_EQ(kForward[s](x.data(), out.data(), b.spec, nullptr), dspErrNullPtr);
    EXPECT_EQ(std::count(out.begin(), out.end(), 0.25), long(out.size()));

    const std::vector<double> want = forward(s, b, x);
    std::vector<std::vector<double>> got(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) threads.emplace_back([&, t] { got[t] = forward(s, b, x); });
    for (std::thread& t : threads) t.join();
    for (int t = 0; t < 4; ++t) {
        EXPECT_TRUE(sameBits(got[t].data(), want.data(), want.size())) << "thread " << t;
    }
}

DSP_INSTANTIATE_SLOTS_OF(FftRecursiveTest, dspslots::dspFftRecursiveFwd);

using FftRecursiveInvTest = FftBodyTest;

// The inverse at every driver order of the default run: flags 8, 2, 4 and 1 against one
// reference per order; flag 2 is 2^-order times flag 8 bit for bit (every value scaled once:
// inner levels and blocked leaves included), flag 1 leaves the inverse unscaled; in place, dst
// and work off their alignment give the same bits (inverse() checks src, spec and guards).
TEST_P(FftRecursiveInvTest, AccuracyAndRulesEveryOrder) {
    const int s = slot();
    double worst = 0;
    for (int order = driverFrom(s); order <= kLastDefaultOrder; ++order) {
        SCOPED_TRACE("order " + std::to_string(order));
        const int64_t n = int64_t(1) << order;
        const std::vector<double> X = randomSpectrum(order, 2600 + order);
        const std::vector<long double> ref = inverseReference(X, order);
        std::vector<double> plain;
        for (int flag : {dspFftScaleNone, dspFftScaleInv, dspFftScaleSqrt, dspFftScaleFwd}) {
            SCOPED_TRACE("flag " + std::to_string(flag));
            const BuiltSpec b(s, order, 0, flag);
            ASSERT_EQ(b.status, dspOk);
            const std::vector<double> got = inverse(s, b, X);
            std::vector<long double> want = ref;
            for (long double& v : want) v *= inverseScale(flag, order);
            const double rms = relativeRms(got.data(), want, got.size());
            EXPECT_LE(rms, rmsBound(order));
            worst = std::max(worst, rms / rmsBound(order));
            if (flag == dspFftScaleNone) {
                plain = got;
                EXPECT_TRUE(sameBits(inverse(s, b, X, {true}).data(), got.data(), n)) << "in place";
                EXPECT_TRUE(sameBits(inverse(s, b, X, {false, 0, 8, 1}).data(), got.data(), n))
                    << "8 bytes off";
            }
            if (flag == dspFftScaleInv) {
                EXPECT_TRUE(sameBits(got.data(), times(plain, std::ldexp(1.0, -order)).data(), n))
                    << "scaled once";
                EXPECT_TRUE(sameBits(inverse(s, b, X, {true, 0, 8, 1}).data(), got.data(), n))
                    << "in place 8 bytes off";
            }
            if (flag == dspFftScaleFwd) {
                EXPECT_TRUE(sameBits(got.data(), plain.data(), n)) << "forward-only scale";
            }
        }
    }
    std::printf("[ worst    ] %s inverse: relative RMS / bound, orders %d-%d: %.3f\n",
                dspSlotName(s), driverFrom(s), kLastDefaultOrder, worst);
}

// A null work buffer answers -8 and writes nothing; four threads on one order-20 spec give the
// bits of a lone call.
TEST_P(FftRecursiveInvTest, WorkAndThreads) {
    const int s = slot();
    const int order = 20;
    const BuiltSpec b(s, order, 0, dspFftScaleInv);
    ASSERT_GT(b.W, 0);
    const std::vector<double> X = randomSpectrum(order, 2700);
    std::vector<double> out(size_t(1) << order, 0.25);
    EXPECT_EQ(kInverse[s](X.data(), out.data(), b.spec, nullptr), dspErrNullPtr);
    EXPECT_EQ(std::count(out.begin(), out.end(), 0.25), long(out.size()));

    const std::vector<double> want = inverse(s, b, X);
    std::vector<std::vector<double>> got(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) threads.emplace_back([&, t] { got[t] = inverse(s, b, X); });
    for (std::thread& t : threads) t.join();
    for (int t = 0; t < 4; ++t) {
        EXPECT_TRUE(sameBits(got[t].data(), want.data(), want.size())) << "thread " << t;
    }
}

DSP_INSTANTIATE_SLOTS_OF(FftRecursiveInvTest, dspslots::dspFftRecursiveInv);

// Slots 2n and 3 give the same bits where their plans and tables coincide (from order 21; the
// large run goes on to 25).
TEST(FftRecursiveIdentity, SlotTwoNIsSlotThree) {
    if (!dspSlotSupported(3)) GTEST_SKIP() << "no slot 3";
    enableEveryFeature();
    for (int order = 21; order <= std::max(kLastDefaultOrder, 21); ++order) {
        EXPECT_TRUE(slotTwoNIsSlotThree(order)) << "order " << order;
    }
    dspTestResetCpu();
}

// ---------------------------------------------------------------------------------------------
// Block transfers, on raw bit patterns (NaN payloads among them), every array 0, 8 or 16 bytes
// off a 32-byte boundary.

std::vector<uint64_t> randomBits(size_t n, uint32_t seed) {
    std::mt19937_64 rng(seed);
    std::vector<uint64_t> v(n);
    for (uint64_t& b : v) b = rng();
    v[1] = 0x7FF0000000000001ull;  // a signalling NaN
    v[2] = 0xFFF8DEADBEEF0000ull;  // a quiet NaN with a payload
    return v;
}

using FftBlockTransferTest = FftBodyTest;

// Gather of rows x count values from a strided array, then scatters back: mode 0 copies, the
// converting modes (1 in slots 1 to 3, any but 0 in slots 4 and 5) turn groups of split parts
// (2 or 4 real parts, then as many imaginary ones) into interleaved values. Nothing lands
// between the rows or outside; rows = 0 writes nothing.
TEST_P(FftBlockTransferTest, GatherAndScatter) {
    const int s = slot();
    const int group = s == 4 || s == 5 ? 4 : 2;
    const auto gather = dspslots::dspFftGatherBlock[s];
    const auto scatter = dspslots::dspFftScatterBlock[s];
    struct Case {
        int rows, count, stride;
    };
    for (const Case c : {Case{32, 32, 64}, Case{5, 8, 24}, Case{3, 16, 16}, Case{0, 8, 8}}) {
        for (size_t off : {0, 8, 16}) {
            SCOPED_TRACE(std::to_string(c.rows) + " rows of " + std::to_string(c.count) +
                         ", stride " + std::to_string(c.stride) + ", " + std::to_string(off) +
                         " bytes off");
            const size_t strided = size_t(std::max(c.rows, 1)) * c.stride * 16;
            const size_t packed = size_t(std::max(c.rows, 1)) * c.count * 16;
            const std::vector<uint64_t> bits = randomBits(strided / 8, 2100 + c.count);
            DspGuardedBuffer from(strided, off, 0x11), block(packed, off, 0x22);
            std::memcpy(from.at(), bits.data(), strided);
            gather(reinterpret_cast<const double*>(from.at()),
                   reinterpret_cast<double*>(block.at()), c.stride, c.rows, c.count);
            EXPECT_EQ(block.changedOutside(0, size_t(c.rows) * c.count * 16), -1);
            const uint64_t* const b = reinterpret_cast<const uint64_t*>(block.at());
            for (int r = 0; r < c.rows; ++r)
                for (int j = 0; j < 2 * c.count; ++j)
                    ASSERT_EQ(b[2 * r * c.count + j], bits[2 * r * c.stride + j]) << r << " " << j;
            for (int mode : {0, 1, 2}) {
                const bool converts = group == 4 ? mode != 0 : mode == 1;
                DspGuardedBuffer to(strided, off, 0x33);
                scatter(reinterpret_cast<double*>(to.at()),
                        reinterpret_cast<const double*>(block.at()), c.stride, c.rows, c.count,
                        mode);
                const uint64_t* const t = reinterpret_cast<const uint64_t*>(to.at());
                long written = 0;
                for (int r = 0; r < c.rows; ++r) {
                    const uint64_t* const row = b + 2 * r * c.count;
                    for (int j = 0; j < c.count; ++j) {
                        const int g = j / group * 2 * group, u = j % group;
                        const uint64_t re = converts ? row[g + u] : row[2 * j];
                        const uint64_t im = converts ? row[g + group + u] : row[2 * j + 1];
                        ASSERT_EQ(t[2 * r * c.stride + 2 * j], re) << "mode " << mode;
                        ASSERT_EQ(t[2 * r * c.stride + 2 * j + 1], im) << "mode " << mode;
                        written += 2;
                    }
                }
                long untouched = 0;
                for (size_t i = 0; i < strided / 8; ++i) untouched += t[i] == 0x3333333333333333ull;
                EXPECT_EQ(written + untouched, long(strided / 8)) << "mode " << mode;
                EXPECT_EQ(to.changedOutside(0, strided), -1);
            }
        }
    }
}

// The tile permutation with the order-10 pair table that follows the block offsets of a tiled
// spec is the 10-bit reversal, payloads and all; n < 4 leaves the values alone.
TEST_P(FftBlockTransferTest, TilePermutationIsTheTenBitReversal) {
    const int s = slot();
    const BuiltSpec b(s, 20);  // complex order 19: tiles in every slot
    ASSERT_EQ(b.status, dspOk);
    const int32_t* const pairs = tableAt<int32_t>(b.spec, 11) + (1 << (19 - 10));
    for (size_t off : {0, 8}) {
        const std::vector<uint64_t> bits = randomBits(2048, 2200);
        DspGuardedBuffer tile(2048 * 8, off, 0x44);
        std::memcpy(tile.at(), bits.data(), bits.size() * 8);
        uint64_t* const t = reinterpret_cast<uint64_t*>(tile.at());
        dspslots::dspBitReversePermuteBlock[s](reinterpret_cast<double*>(t), 1024, pairs);
        for (int j = 0; j < 1024; ++j) {
            const int64_t from = reverseBits(j, 10);
            ASSERT_EQ(t[2 * j], bits[2 * from]) << j;
            ASSERT_EQ(t[2 * j + 1], bits[2 * from + 1]) << j;
        }
        EXPECT_EQ(tile.changedOutside(0, 2048 * 8), -1);
        std::memcpy(t, bits.data(), 32);
        dspslots::dspBitReversePermuteBlock[s](reinterpret_cast<double*>(t), 2, pairs);
        EXPECT_EQ(std::memcmp(t, bits.data(), 32), 0);
    }
}

DSP_INSTANTIATE_SLOTS_OF(FftBlockTransferTest, dspslots::dspFftGatherBlock);

// ---------------------------------------------------------------------------------------------
// Leaf passes: one radix-4 column stage in the split layout of the slot (groups of G = 2 or 4
// values: G real parts, then G imaginary parts) against the stage evaluated in long double with
// exact twiddles: in a group of 4s values, with quarters in bit-reversed order (sub-transforms
// 0, 2, 1, 3), position j + t s receives sum over u of w^(u j) (-i)^(u t) Y_u[j],
// w = e^(-2 pi i / 4s). With count 1 the records hold w^j and w^2j of the first s/2 positions
// only, and the pass derives the rest.

int splitGroup(int slot) {
    return slot == 4 || slot == 5 ? 4 : 2;
}
// Offsets of the real and imaginary part of value p in the split layout of groups of G.
int64_t reAt(int64_t p, int G) {
    return 2 * G * (p / G) + p % G;
}
int64_t imAt(int64_t p, int G) {
    return reAt(p, G) + G;
}

using FftLeafPassTest = FftBodyTest;

// The inverse pass, where the slot has one (the column pass in slots 4 and 5): the same with
// w^-1 and +i (the records stay those of the forward).
TEST_P(FftLeafPassTest, StageAgainstDirectEvaluation) {
    const int s = slot(), G = splitGroup(s);
    struct Case {
        int step, count, sign;
    };
    for (const Case c : {Case{8, 1, -1}, Case{32, 1, -1}, Case{8, 4, -1}, Case{4, 16, -1},
                         Case{8, 1, 1}, Case{32, 1, 1}, Case{8, 4, 1}, Case{4, 16, 1}}) {
        if (c.sign > 0 && !dspslots::dspFftLeafPassInv[s] && !dspslots::dspFftColumnPassInv[s])
            continue;
        SCOPED_TRACE("step " + std::to_string(c.step) + " count " + std::to_string(c.count) +
                     " sign " + std::to_string(c.sign));
        const int64_t len = 4 * int64_t(c.step) * c.count, L = 4 * c.step;
        // Records of G columns: the G real parts of w^(q j), then the G imaginary parts,
        // q = 1, 2 (, 3).
        std::vector<double> records;
        const int64_t positions = c.count == 1 ? c.step / 2 : c.step;
        for (int64_t j = 0; j < positions; j += G) {
            for (int q = 1; q <= (c.count == 1 ? 2 : 3); ++q) {
                for (int i = 0; i < G; ++i)
                    records.push_back(static_cast<double>(unitRoot(q * (j + i), L, -1).real()));
                for (int i = 0; i < G; ++i)
                    records.push_back(static_cast<double>(unitRoot(q * (j + i), L, -1).imag()));
            }
        }
        const std::vector<double> z = randomSignal(size_t(2 * len), 2300 + c.step);
        Doubles split(2 * len);
        for (int64_t p = 0; p < len; ++p) {
            split.data()[reAt(p, G)] = z[2 * p];
            split.data()[imAt(p, G)] = z[2 * p + 1];
        }
        if (c.sign < 0) {
            dspslots::dspFftLeafPassFwd[s](split.data(), split.data(), c.step, c.count,
                                           records.data());
        } else if (dspslots::dspFftLeafPassInv[s]) {
            dspslots::dspFftLeafPassInv[s](split.data(), c.step, c.count, records.data());
        } else {
            dspslots::dspFftColumnPassInv[s](split.data(), split.data(), c.step, c.count,
                                             records.data());
        }
        long double err = 0, norm = 0;
        static const int kLeg[4] = {0, 2, 1, 3};
        for (int64_t g = 0; g < c.count; ++g) {
            for (int64_t j = 0; j < c.step; ++j) {
                for (int t = 0; t < 4; ++t) {
                    Cl want = 0;
                    for (int u = 0; u < 4; ++u) {
                        const int64_t p = 4 * c.step * g + kLeg[u] * c.step + j;
                        want += Cl(z[2 * p], z[2 * p + 1]) * unitRoot(u * j, L, c.sign) *
                                unitRoot(u * t, 4, c.sign);
                    }
                    const int64_t p = 4 * c.step * g + t * c.step + j;
                    const Cl got(split.data()[reAt(p, G)], split.data()[imAt(p, G)]);
                    err += std::norm(got - want);
                    norm += std::norm(want);
                }
            }
        }
        EXPECT_LE(static_cast<double>(sqrtl(err / norm)), 2e-16);
    }
}

// The inverse's last pass (count 1) against its general pass (count 2, group 0) fed w, w^2, w^3
// of every position, w = w_j for j < step/2 and w_(j - step/2) e^(-i pi/4) above: a few ulps
// apart. Count or step below 1 leaves the buffer.
DSP_INSTANTIATE_SLOTS_OF(FftLeafPassTest, dspslots::dspFftLeafPassFwd);

using FftLeafPassInvTest = FftBodyTest;

TEST_P(FftLeafPassInvTest, InverseLastPassIsTheGeneralPassAndEmptyPassesWriteNothing) {
    const int s = slot();
    const int step = 16;
    const std::vector<double> z = randomSignal(size_t(16 * step), 2800);
    std::vector<Cl> w(step);
    for (int j = 0; j < step; ++j) {
        const std::vector<double> r = randomSignal(2, 2900 + j);
        const Cl v =
            j < step / 2 ? std::polar(1.0L, 3.0L * r[0]) : w[j - step / 2] * unitRoot(1, 8, -1);
        w[j] = {static_cast<double>(v.real()), static_cast<double>(v.imag())};
    }
    std::vector<double> last, general;  // records in pairs: re j, re j+1, im j, im j+1
    for (int j = 0; j < step; j += 2) {
        for (int q = 1; q <= 3; ++q) {
            const Cl a = std::pow(w[j], q), b = std::pow(w[j + 1], q);
            for (long double v : {a.real(), b.real(), a.imag(), b.imag()}) {
                general.push_back(static_cast<double>(v));
                if (j < step / 2 && q < 3) last.push_back(static_cast<double>(v));
            }
        }
    }
    Doubles one(8 * step), two(16 * step);
    std::copy(z.begin(), z.begin() + 8 * step, one.data());
    std::copy(z.begin(), z.end(), two.data());
    dspslots::dspFftLeafPassInv[s](one.data(), step, 1, last.data());
    dspslots::dspFftLeafPassInv[s](two.data(), step, 2, general.data());
    for (int i = 0; i < 8 * step; ++i) {
        ASSERT_NEAR(one.data()[i], two.data()[i], 2e-15) << i;
    }
    struct Empty {
        int step, count;
    };
    for (const Empty e : {Empty{step, 0}, Empty{step, -1}, Empty{0, 1}, Empty{-4, 2}}) {
        std::copy(z.begin(), z.begin() + 8 * step, one.data());
        dspslots::dspFftLeafPassInv[s](one.data(), e.step, e.count, general.data());
        EXPECT_TRUE(sameBits(one.data(), z.data(), 8 * step)) << e.step << " " << e.count;
    }
}

DSP_INSTANTIATE_SLOTS_OF(FftLeafPassInvTest, dspslots::dspFftLeafPassInv);

// Slot 3's passes take buffer and records at any alignment and give slot 1's bits.
TEST(FftLeafPassIdentity, SlotThreeIsSlotOneAtAnyAlignment) {
    if (!dspSlotSupported(3)) GTEST_SKIP() << "no slot 3";
    for (int count : {1, 4}) {
        const int step = 16;
        const size_t doubles = size_t(8) * step * count, records = size_t(6) * step;
        const std::vector<double> z = randomSignal(doubles, 3000 + count);
        const std::vector<double> tw = randomSignal(records, 3100 + count);
        Doubles want(doubles);
        std::copy(z.begin(), z.end(), want.data());
        dspslots::dspFftLeafPassInv[1](want.data(), step, count, tw.data());
        for (size_t off : {0, 8}) {
            DspGuardedBuffer data(doubles * 8, off, 0x55), table(records * 8, off, 0x66);
            double* const d = reinterpret_cast<double*>(data.at());
            double* const t = reinterpret_cast<double*>(table.at());
            std::copy(z.begin(), z.end(), d);
            std::copy(tw.begin(), tw.end(), t);
            dspslots::dspFftLeafPassInv[3](d, step, count, t);
            EXPECT_TRUE(sameBits(d, want.data(), doubles)) << count << " groups, " << off;
            EXPECT_EQ(data.changedOutside(0, doubles * 8), -1);
        }
    }
}

// The AVX slots' bottom row transform on its own, at the smallest and largest sizes the drivers
// pass (twiddles from the plans of orders 19 and 22): the DFT of its bit-reversed input, in
// natural order; the split-4 result holds the same bits, and a block 8 bytes off a 32-byte
// boundary (transformed through the work buffer) gives the aligned bits. The inverse leaf block
// (split-4 out only) likewise gives the DFT with exponent +.
using FftBlockTest = FftBodyTest;

TEST_P(FftBlockTest, BlockTransformOfBitReversedInput) {
    const int s = slot();
    for (const int order : {19, 22}) {
        const BuiltSpec b(s, order);
        ASSERT_EQ(b.status, dspOk);
        const int r = order == 19 ? 14 : 17;
        const int64_t n = int64_t(1) << r;
        const std::vector<double> x = randomSignal(size_t(2 * n), 2700 + r);
        std::vector<double> reversed(2 * n);
        for (int64_t j = 0; j < n; ++j) {
            reversed[2 * j] = x[2 * reverseBits(j, r)];
            reversed[2 * j + 1] = x[2 * reverseBits(j, r) + 1];
        }
        for (const int sign : {-1, 1}) {
            SCOPED_TRACE("n = 2^" + std::to_string(r) + ", sign " + std::to_string(sign));
            // Forward: interleaved, split-4, interleaved 8 bytes off; inverse: split-4, 8 off.
            struct Call {
                int mode;
                size_t offset;
            };
            const std::vector<Call> calls = sign < 0 ? std::vector<Call>{{1, 0}, {0, 0}, {1, 8}}
                                                     : std::vector<Call>{{0, 0}, {0, 8}};
            std::vector<std::vector<double>> results;
            for (const Call& c : calls) {
                Doubles block(2 * n, c.offset);
                Doubles work(2 * n);
                std::copy(reversed.begin(), reversed.end(), block.data());
                BYTE* const w = reinterpret_cast<BYTE*>(work.data());
                if (sign < 0) {
                    dspslots::dspFftBlockFwd[s](block.data(), static_cast<int>(n),
                                                tableAt<double>(b.spec, 12), w, c.mode);
                } else {
                    dspslots::dspFftLeafBlockInv[s](block.data(), static_cast<int>(n),
                                                    tableAt<double>(b.spec, 12), w);
                }
                results.emplace_back(block.data(), block.data() + 2 * n);
            }
            const std::vector<double>& split = results[sign < 0 ? 1 : 0];
            std::vector<double> joined(2 * n);
            for (int64_t p = 0; p < n; ++p) {
                joined[2 * p] = split[reAt(p, 4)];
                joined[2 * p + 1] = split[imAt(p, 4)];
            }
            EXPECT_LE(relativeRms(joined.data(), flatten(complexDftOf(x.data(), n, sign)), 2 * n),
                      rmsBound(r));
            if (sign < 0) {
                EXPECT_TRUE(sameBits(joined.data(), results[0].data(), 2 * n)) << "split-4";
            }
            EXPECT_TRUE(sameBits(results.back().data(), results[0].data(), 2 * n)) << "8 bytes off";
        }
    }
}

DSP_INSTANTIATE_SLOTS_OF(FftBlockTest, dspslots::dspFftBlockFwd);

}  // namespace
