// The real-FFT tables on their own: bit-reverse formats, the static sine table, tables that must
// not depend on the slot, and the slot-0 and slot-2 permutations. The tables of whole set-ups
// (every value, place and size at every order) are checked in test_fft_setup.cpp.
#include "tests/dsp/fft/fft_support.h"

extern "C" {
#include <quadmath.h>
}

namespace {

using namespace ffttest;

TEST(FftTables, BitReverseTables) {
    const std::vector<int32_t> pair6 = {4,  32, 8,  16, 12, 48, 20, 40, 28,
                                        56, 44, 52, 0,  60, 36, 24, 0};
    const std::vector<int32_t> index6 = {0,  16, 8,  24, 4,  20, 12, 28, 2,
                                         18, 10, 26, 6,  22, 14, 30, 0};
    for (int slot : dspSupportedSlots(true)) {
        SCOPED_TRACE(dspSlotName(slot));
        const auto build = dspslots::dspFftBitReverseTable[slot];
        const bool pair = slot == 0 || slot == 2;
        alignas(64) static int32_t t[(1 << 18) + 64];
        BYTE* end = build(6, t);
        EXPECT_EQ(std::vector<int32_t>(t, t + 17), pair ? pair6 : index6);
        EXPECT_EQ(end, reinterpret_cast<BYTE*>(t) + 128);
        for (int m = 2; m <= 20; ++m) {
            std::fill(std::begin(t), std::end(t), -1);
            end = build(m, t);
            EXPECT_TRUE(bitReverseTableOk(t, m, pair)) << "m = " << m;
            const BYTE* const want =
                reinterpret_cast<BYTE*>(t) + (4 * ((1 << (m - 2)) + 1) + 63) / 64 * 64;
            EXPECT_EQ(end, want) << "m = " << m;
        }
    }
    // The smallest pair tables, as the permutations read them.
    alignas(64) int32_t t[8];
    dspFftBitReverseTable_s0(3, t);
    EXPECT_EQ(std::vector<int32_t>(t, t + 3), (std::vector<int32_t>{0, 4, 0}));
    dspFftBitReverseTable_s0(2, t);
    EXPECT_EQ(std::vector<int32_t>(t, t + 2), (std::vector<int32_t>{0, 0}));
}

TEST(FftTables, StaticSineTableIsCorrectlyRounded) {
    const __float128 twoPi = 2 * acosq(static_cast<__float128>(-1));
    for (int k = 0; k <= 256; ++k) {
        const double want = static_cast<double>(sinq(twoPi * k / 1024));
        EXPECT_EQ(dspFftSineTable1024[k], want) << k;
    }
    EXPECT_EQ(dspFftSineTable1024[256], 1.0);
}

// Over one base table, the members of a family build the same tables: slots 4 and 5 at every
// order, slots 2n and 3 up to order 17 (beyond it their plans differ). The base table is
// injected because the vector sine of each slot may round differently.
void injectLongDoubleBase(int order, double* table) {
    const int64_t q = int64_t(1) << (order - 2);
    for (int64_t j = 0; j <= q; ++j)
        table[j] = static_cast<double>(sinl(2 * acosl(-1.0L) * j / (4 * q)));
}

TEST(FftTables, FamiliesBuildTheSameTables) {
    enableEveryFeature();
    dspTestSetFftBaseTableHook(injectLongDoubleBase);
    struct Pair {
        int a, b, lastOrder;
    };
    for (const Pair& p : {Pair{4, 5, 22}, Pair{kDspSlot2n, 3, 17}}) {
        if (!dspSlotSupported(p.a) || !dspSlotSupported(p.b)) continue;
        for (int order = 0; order <= p.lastOrder; ++order) {
            BuiltSpec x(p.a, order, 16), y(p.b, order, 16);
            ASSERT_EQ(x.status, dspOk);
            ASSERT_EQ(y.status, dspOk);
            ASSERT_EQ(x.S, y.S);
            EXPECT_EQ(std::memcmp(x.mem->at(), y.mem->at(), x.S), 0)
                << dspSlotName(p.a) << " and " << dspSlotName(p.b) << " at order " << order;
            if (order > 10) {
                const double* base = x.base();
                EXPECT_EQ(base[1], static_cast<double>(sinl(2 * acosl(-1.0L) / (1 << order))));
            }
        }
    }
    dspTestSetFftBaseTableHook(nullptr);
    dspTestResetCpu();
}

// dst[rev(k)] = src[k] for n = 1 to 2^17, in place and out of place, by raw bits: every value is
// a signalling NaN whose payload is its index. Slots 0 and 2 read the pair table, the others the
// index table (slots 4 and 5 have the in-place form only).
TEST(FftTables, PermutationsOfEverySlot) {
    using OutOfPlace = void(DSP_CALL*)(const double*, double*, int, const int32_t*);
    using InPlace = void(DSP_CALL*)(double*, int, const int32_t*);
    using Builder = BYTE*(DSP_CALL*)(int, int32_t*);
    struct Member {
        int slot;
        OutOfPlace out;
        InPlace in;
        Builder table;
    };
    const Member members[] = {
        {0, dspBitReversePermute_s0, dspBitReversePermuteInPlace_s0, dspFftBitReverseTable_s0},
        {2, dspBitReversePermute_s2, dspBitReversePermuteInPlace_s2, dspFftBitReverseTable_s2},
        {1, dspBitReversePermute_s1, dspBitReversePermuteInPlace_s1, dspFftBitReverseTable_s1},
        {3, dspBitReversePermute_s3, dspBitReversePermuteInPlace_s3, dspFftBitReverseTable_s3},
        {kDspSlot2n, dspBitReversePermute_s2n, dspBitReversePermuteInPlace_s2n,
         dspFftBitReverseTable_s2n},
        {4, nullptr, dspBitReversePermuteInPlace_s4, dspFftBitReverseTable_s1},
        {5, nullptr, dspBitReversePermuteInPlace_s5, dspFftBitReverseTable_s5},
    };
    for (const Member& mb : members) {
        if (!dspSlotSupported(mb.slot)) continue;
        for (int L = 0; L <= 17; ++L) {
            SCOPED_TRACE(std::string(dspSlotName(mb.slot)) + " n = 2^" + std::to_string(L));
            const int64_t n = int64_t(1) << L;
            std::vector<uint64_t> src(2 * n), dst(2 * n, 0), in;
            for (int64_t i = 0; i < 2 * n; ++i) src[i] = 0x7FF0000000000000u | uint64_t(i + 1);
            in = src;
            std::vector<int32_t> table(n / 4 + 2, -1);
            if (L >= 2) mb.table(L, table.data());
            // Below 8 values the out-of-place pair form reads no table.
            const int32_t* const outTable = L >= 3 ? table.data() : nullptr;
            const std::vector<uint64_t> kept = src;
            if (mb.out) {
                mb.out(reinterpret_cast<const double*>(src.data()),
                       reinterpret_cast<double*>(dst.data()), static_cast<int>(n), outTable);
            }
            mb.in(reinterpret_cast<double*>(in.data()), static_cast<int>(n), table.data());
            EXPECT_EQ(src, kept);
            bool ok = true;
            for (int64_t k = 0; k < n && ok; ++k) {
                const int64_t r = reverseBits(k, L);
                ok = in[2 * r] == src[2 * k] && in[2 * r + 1] == src[2 * k + 1] &&
                     (!mb.out || (dst[2 * r] == src[2 * k] && dst[2 * r + 1] == src[2 * k + 1]));
                EXPECT_TRUE(ok) << "value " << k;
            }
        }
    }
}

}  // namespace
