// The butterfly passes and the bit-reversal permutation of slots 1, 3 and 2n, both directions
// (the in-place permutation, also of slots 4 and 5, is dsp/fft/block_permute.slots.cpp).
//
// Passes. A transform of n = 2^m values runs in a working array in the two-column split layout
// (values 2p and 2p + 1 stored as re, re, im, im), so that the staged twiddles, kept two k to a
// group, multiply whole vectors:
//   first pass   reads interleaved values (gathered through the index table, or already in
//                bit-reversed order) and leaves the four-point DFTs of consecutive groups
//                (m even) or eight-point DFTs (m odd) in split pairs;
//   stages       radix-4 decimation in time for P = 2^L, L = 4 + (m mod 2), .., m, with the
//                stage's twiddles; the last writes the result interleaved (or split, when asked)
//                into the destination.
// The working array is the destination when it is 16-byte aligned (and, for the gathering
// passes, not the source), else the caller's work buffer of n values. Past 2^12 values the
// passes go block by block: each block of 2^12 values runs the first pass and every stage that
// stays inside it before the larger stages sweep the whole array; the operations and their
// results are those of the plain order.
//
// Permutations move 4 x 4 blocks (dsp/fft/block_permute.h).
#include "dsp/fft/block_permute.h"
#include "dsp/fft/radix.h"
#include "dsp/fft/small_dft.h"
#include "dsp/internal.h"
#include "dsp/slot.h"
#include "dsp/vec.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Passes.

using Sp = Cx<V>;  // two values in split form

template <bool AnyAlignment = false>
DSP_FFT_INLINE Sp loadSplit(const double* a, int64_t p) {
    if constexpr (AnyAlignment) {
        return {vloadu(a + 2 * p), vloadu(a + 2 * p + 2)};
    } else {
        return {vload(a + 2 * p), vload(a + 2 * p + 2)};
    }
}
DSP_FFT_INLINE Sp splitOf(Pc x, Pc y) {
    return {vunpackLo(x.v, y.v), vunpackHi(x.v, y.v)};
}

// Where a pass puts its pairs: the working array (split, aligned), or the destination of the
// last pass (interleaved, or split when asked; any 8-byte alignment). Put::Anywhere is the
// working array at any alignment, read the same way (slot 3's leaf passes).
enum class Put { Work, Interleaved, Split, Anywhere };
template <Put K>
DSP_FFT_INLINE void putPair(double* a, int64_t p, Sp x) {
    if constexpr (K == Put::Work) {
        vstore(a + 2 * p, x.re);
        vstore(a + 2 * p + 2, x.im);
    } else if constexpr (K == Put::Split || K == Put::Anywhere) {
        vstoreu(a + 2 * p, x.re);
        vstoreu(a + 2 * p + 2, x.im);
    } else {
        vstoreu(a + 2 * p, vunpackLo(x.re, x.im));
        vstoreu(a + 2 * p + 2, vunpackHi(x.re, x.im));
    }
}

DSP_FFT_INLINE Pc pcAt(const double* src, int64_t k) {
    return {vloadu(src + 2 * k)};
}

// Four-point DFTs of the groups g0 <= g < g1. Gathering: position 4g + u holds the input
// rev(g) + rev2(u) n/4, rev(g) = table[g] / 2 (word 0, always 0, is not read). Otherwise the
// inputs stand in bit-reversed order at 4g + u.
template <Dir D, Put K, bool Gather>
void firstPass4(const double* src, const int32_t* table, double* out, int64_t n, int64_t g0,
                int64_t g1) {
    const int64_t quarter = n / 4;
    for (int64_t g = g0; g < g1; ++g) {
        Pc a0, a1, a2, a3;
        if constexpr (Gather) {
            const int64_t r = g ? table[g] >> 1 : 0;
            a0 = pcAt(src, r);
            a1 = pcAt(src, r + 2 * quarter);
            a2 = pcAt(src, r + quarter);
            a3 = pcAt(src, r + 3 * quarter);
        } else {
            a0 = pcAt(src, 4 * g);
            a1 = pcAt(src, 4 * g + 1);
            a2 = pcAt(src, 4 * g + 2);
            a3 = pcAt(src, 4 * g + 3);
        }
        radix4<D>(a0, a1, a2, a3);
        putPair<K>(out, 4 * g, splitOf(a0, a1));
        putPair<K>(out, 4 * g + 2, splitOf(a2, a3));
    }
}

// Eight-point DFTs of the groups g0 <= g < g1: position 8g + u holds the input
// rev(g) + rev3(u) n/8 with rev(g) = table[2g] / 2, or stands at 8g + u already.
template <Dir D, Put K, bool Gather>
void firstPass8(const double* src, const int32_t* table, double* out, int64_t n, int64_t g0,
                int64_t g1) {
    const int64_t eighth = n / 8;
    for (int64_t g = g0; g < g1; ++g) {
        Pc y[8];
        if constexpr (Gather) {
            const int64_t r = g ? table[2 * g] >> 1 : 0;
            unroll<8>([&](auto t) { y[t] = pcAt(src, r + t * eighth); });
        } else {
            unroll<8>([&](auto t) { y[t] = pcAt(src, 8 * g + kRev3[t]); });
        }
        dftN<PairFamily<false>, D, 8>(y);
        unroll<4>([&](auto u) { putPair<K>(out, 8 * g + 2 * u, splitOf(y[2 * u], y[2 * u + 1])); });
    }
}

// One radix-4 stage of P = 2^L values over [begin, end) of the working array a, twiddles tw of
// the stage (12 doubles per two k: w^k, w^2k, w^3k as real and imaginary pairs).
template <Dir D, Put K>
void stage(double* a, double* out, int64_t begin, int64_t end, int L, const double* tw) {
    const int64_t p = int64_t(1) << L, s = p / 4;
    for (int64_t b = begin; b < end; b += p) {
#pragma GCC unroll 2
        for (int64_t k = 0; k < s; k += 2) {
            const double* g = tw + 6 * k;
            const Sp w1 = {vloadu(g), vloadu(g + 2)}, w2 = {vloadu(g + 4), vloadu(g + 6)};
            const Sp w3 = {vloadu(g + 8), vloadu(g + 10)};
            constexpr bool any = K == Put::Anywhere;
            Sp x0 = loadSplit<any>(a, b + k);
            Sp x1 = twiddle<D>(loadSplit<any>(a, b + k + s), w2);
            Sp x2 = twiddle<D>(loadSplit<any>(a, b + k + 2 * s), w1);
            Sp x3 = twiddle<D>(loadSplit<any>(a, b + k + 3 * s), w3);
            radix4<D>(x0, x1, x2, x3);
            putPair<K>(out, b + k, x0);
            putPair<K>(out, b + k + s, x1);
            putPair<K>(out, b + k + 2 * s, x2);
            putPair<K>(out, b + k + 3 * s, x3);
        }
    }
}

// One radix-4 stage of the column transforms of the recursive drivers, in place on a gathered
// block in the two-column split layout: count groups of 4 step values, quarters at 0, step,
// 2 step, 3 step. With count > 1 every group reads the same records (w, w^2, w^3 of two
// columns, 12 doubles), as an ordinary stage. With count 1 (the last stage) the records hold
// w and w^2 only, for the first half of the positions: C = w (x2 + w^2 x3), D = w (x2 - w^2 x3),
// and position j + step/2 takes w (1 - i) sqrt(1/2) and -i w^2 from the record of j. Slot 3
// takes buffer and records at any alignment, with the same operations as slot 1.
template <Dir D>
void leafPass(double* a, int64_t step, int64_t count, const double* tw) {
    constexpr Put K = DSP_SLOT == 3 ? Put::Anywhere : Put::Work;
    constexpr bool any = K == Put::Anywhere;
    if (count < 1 || step < 1) return;
    if (count > 1) {
        int L = 2;
        while ((int64_t(1) << L) < 4 * step) ++L;
        stage<D, K>(a, a, 0, 4 * step * count, L, tw);
        return;
    }
    const V r = vset(kSqrtHalf);
    const auto butterfly = [&](int64_t k, Sp w1, Sp w2) {
        const Sp x0 = loadSplit<any>(a, k), x2 = loadSplit<any>(a, k + 2 * step);
        const Sp u = twiddle<D>(loadSplit<any>(a, k + step), w2);
        const Sp v = twiddle<D>(loadSplit<any>(a, k + 3 * step), w2);
        const Sp A = x0 + u, B = x0 - u;
        const Sp C = twiddle<D>(x2 + v, w1), E = rot<D>(twiddle<D>(x2 - v, w1));
        putPair<K>(a, k, A + C);
        putPair<K>(a, k + step, B + E);
        putPair<K>(a, k + 2 * step, A - C);
        putPair<K>(a, k + 3 * step, B - E);
    };
    const int64_t half = step / 2;
    for (int64_t k = 0; k < half; k += 2) {
        const double* g = tw + 4 * k;
        const Sp w1 = {vloadu(g), vloadu(g + 2)}, w2 = {vloadu(g + 4), vloadu(g + 6)};
        butterfly(k, w1, w2);
        butterfly(k + half, timesW8<Dir::Fwd>(w1, r), rot<Dir::Fwd>(w2));
    }
}

constexpr int kBlockOrder = 12;

template <Dir D>
void transform(const double* src, double* dst, int64_t n, const double* tw, const int32_t* table,
               BYTE* work, bool splitOut) {
    if (n <= 2) {
        const Pc x = pcAt(src, 0);
        if (n == 1) {
            vstoreu(dst, x.v);
            return;
        }
        const Pc y = pcAt(src, 1);
        vstoreu(dst, (x + y).v);
        vstoreu(dst + 2, (x - y).v);
        return;
    }
    int m = 0;
    while ((int64_t(1) << m) < n) ++m;
    const bool inDst = aligned(dst, 16) && (!table || dst != src);
    double* const a = inDst ? dst : reinterpret_cast<double*>(work);
    auto first = [&](auto put, int64_t begin, int64_t end) {
        constexpr Put K = decltype(put)::value;
        double* const to = K == Put::Work ? a : dst;
        if (m & 1) {
            if (table) {
                firstPass8<D, K, true>(src, table, to, n, begin / 8, end / 8);
            } else {
                firstPass8<D, K, false>(src, table, to, n, begin / 8, end / 8);
            }
        } else if (table) {
            firstPass4<D, K, true>(src, table, to, n, begin / 4, end / 4);
        } else {
            firstPass4<D, K, false>(src, table, to, n, begin / 4, end / 4);
        }
    };
    using Work = std::integral_constant<Put, Put::Work>;
    if (m <= 3) {
        if (splitOut) {
            first(std::integral_constant<Put, Put::Split>{}, 0, n);
        } else {
            first(std::integral_constant<Put, Put::Interleaved>{}, 0, n);
        }
        return;
    }
    // Stage L starts after the stages below it, 12 P bytes each.
    auto twiddlesOf = [&](int L) {
        int64_t offset = 0;
        for (int l = 4 + (m & 1); l < L; l += 2) offset += (int64_t(3) << l) / 2;
        return tw + offset;
    };
    auto runStage = [&](int L, int64_t begin, int64_t end) {
        if (L < m) {
            stage<D, Put::Work>(a, a, begin, end, L, twiddlesOf(L));
        } else if (splitOut) {
            stage<D, Put::Split>(a, dst, begin, end, L, twiddlesOf(L));
        } else {
            stage<D, Put::Interleaved>(a, dst, begin, end, L, twiddlesOf(L));
        }
    };
    const int blockOrder = m < kBlockOrder ? m : kBlockOrder;
    const int64_t block = int64_t(1) << blockOrder;
    int L = 4 + (m & 1);
    for (int64_t b = 0; b < n; b += block) {
        first(Work{}, b, b + block);
        for (int l = L; l <= blockOrder; l += 2) runStage(l, b, b + block);
    }
    while (L <= blockOrder) L += 2;
    for (; L <= m; L += 2) runStage(L, 0, n);
}

}  // namespace

extern "C" {

void DSP_CALL DSP_SLOT_NAME(dspFftButterflyPassesFwd)(const double* src, double* dst, int n,
                                                      const double* twiddles, const int32_t* table,
                                                      BYTE* work) {
    transform<Dir::Fwd>(src, dst, n, twiddles, table, work, false);
}

void DSP_CALL DSP_SLOT_NAME(dspFftButterflyPassesInv)(const double* src, double* dst, int n,
                                                      const double* twiddles, const int32_t* table,
                                                      BYTE* work) {
    transform<Dir::Inv>(src, dst, n, twiddles, table, work, false);
}

void DSP_CALL DSP_SLOT_NAME(dspFftBlockButterfliesFwd)(double* data, int n, const double* twiddles,
                                                       BYTE* work, int flag) {
    transform<Dir::Fwd>(data, data, n, twiddles, nullptr, work, flag == 0);
}

void DSP_CALL DSP_SLOT_NAME(dspFftBlockButterfliesInv)(double* data, int n, const double* twiddles,
                                                       BYTE* work, int flag) {
    transform<Dir::Inv>(data, data, n, twiddles, nullptr, work, flag == 0);
}

void DSP_CALL DSP_SLOT_NAME(dspFftLeafPassFwd)(double* data, double* /*other*/, int step, int count,
                                               const double* twiddles) {
    leafPass<Dir::Fwd>(data, step, count, twiddles);
}

void DSP_CALL DSP_SLOT_NAME(dspFftLeafPassInv)(double* data, int step, int count,
                                               const double* twiddles) {
    leafPass<Dir::Inv>(data, step, count, twiddles);
}

void DSP_CALL DSP_SLOT_NAME(dspBitReversePermute)(const double* src, double* dst, int n,
                                                  const int32_t* table) {
    if (n < 16) {
        permuteSmall(src, dst, n);
        return;
    }
    const int64_t quarter = n / 4;
    Block b;
    for (int64_t i = 0; i < n / 16; ++i) {
        readBlock(src, quarter, table[i] >> 3, b);
        writeReversedBlock(dst, quarter, i, b);
    }
}

}  // extern "C"
