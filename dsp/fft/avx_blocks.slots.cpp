// The row transforms and column passes of the AVX slots' recursive drivers, over the split-4
// layout and the radix-4 core of dsp/fft/avx_core.h:
//   first passes   the four- or eight-point DFTs of consecutive groups of a block that stands in
//                  bit-reversed order, interleaved in, split-4 out; a step reads its 16 values
//                  before it stores any, so the source may be the destination;
//   block stages   such a block transformed by quarters of at most 1024 values (16 KB), each
//                  finished before the next starts, then the stage of step L/4 over the whole;
//   block          the bottom row transform: in place when the block is 32-byte aligned, else
//                  through the work buffer; the result split-4 or interleaved;
//   leaf pass      one radix-4 column stage in place on the gathered work block; the last stage
//                  reads w and w^2 of the first half of its positions and derives the rest.
// Slot 4 rounds every product, slot 5 fuses them (avx_core.h); both are this one source.
#include "dsp/fft/avx_core.h"
#include "dsp/internal.h"
#include "dsp/slot.h"

#include <stdint.h>
#include <string.h>

namespace {

// Values a and b (16 bytes each) as one vector, a in the low half.
DSP_FFT_INLINE V pairOf(const double* a, const double* b) {
    return vloadHalves(a, b);
}

// Four-point DFTs of the groups of four consecutive values (legs 0, 2, 1, 3), two groups at a
// time, each group's result one split-4 block at its own position.
template <Dir D>
void firstPassRadix4(const double* src, double* dst, int64_t n) {
    for (int64_t g = 0; g < n; g += 8) {
        const double* p = src + 2 * g;
        V x[4];
        radix4Legs<D>(pairOf(p, p + 8), pairOf(p + 4, p + 12), pairOf(p + 2, p + 10),
                      pairOf(p + 6, p + 14), x);
        Sv lo, hi;
        toSplit(x[0], x[1], x[2], x[3], lo, hi);
        storeSplit(dst + 2 * g, lo);
        storeSplit(dst + 2 * g + 8, hi);
    }
}

// Eight-point DFTs of the groups of eight consecutive values, legs 0, 4, 2, 6, 1, 5, 3, 7, by
// the radix-8 butterfly of the mid-order driver, two groups at a time.
template <class A, Dir D>
void firstPassRadix8(const double* src, double* dst, int64_t n) {
    static constexpr int kLeg[8] = {0, 4, 2, 6, 1, 5, 3, 7};
    for (int64_t g = 0; g < n; g += 16) {
        const double* p = src + 2 * g;
        V l[8];
        for (int j = 0; j < 8; ++j) l[kLeg[j]] = pairOf(p + 2 * j, p + 16 + 2 * j);
        V x[8];
        radix8Legs<A, D>(l, x);
        Sv lo, hi;
        toSplit(x[0], x[1], x[2], x[3], lo, hi);
        storeSplit(dst + 2 * g, lo);
        storeSplit(dst + 2 * g + 16, hi);
        toSplit(x[4], x[5], x[6], x[7], lo, hi);
        storeSplit(dst + 2 * g + 8, lo);
        storeSplit(dst + 2 * g + 24, hi);
    }
}

// The stages of a block of L values in bit-reversed order, from src into out (which may be
// src): above 1024 values by quarters, each from the table's first set, then the stage of step
// L/4; at most 1024, the first pass and the slot's stages. Returns the set past step L/4.
template <class A, Dir D>
const double* permutedBlockStages(const double* src, int64_t L, const double* table, double* out) {
    if (L > 1024) {
        const double* tw = table;
        for (int j = 0; j < 4; ++j) {
            tw = permutedBlockStages<A, D>(src + 2 * j * (L / 4), L / 4, table,
                                           out + 2 * j * (L / 4));
        }
        radix4Stage<A, D>(out, tw, L / 4, 1);
        return tw + 6 * (L / 4);
    }
    if (L & 0x55555555) {
        firstPassRadix4<D>(src, out, L);
    } else {
        firstPassRadix8<A, D>(src, out, L);
    }
    if constexpr (D == Dir::Fwd) {
        return DSP_SLOT_NAME(dspFftBlockStages)(out, static_cast<int>(L), table);
    } else {
        return DSP_SLOT_NAME(dspFftMidOrderBlockInv)(out, static_cast<int>(L), table);
    }
}

template <class A, Dir D>
void blockTransform(double* block, int64_t n, const double* twiddles, BYTE* work,
                    bool interleavedOut) {
    double* const w =
        (reinterpret_cast<uintptr_t>(block) & 31) == 0 ? block : reinterpret_cast<double*>(work);
    const int64_t q = n / 4;
    const double* tw = twiddles;
    for (int j = 0; j < 4; ++j)
        tw = permutedBlockStages<A, D>(block + 2 * j * q, q, twiddles, w + 2 * j * q);
    radix4Stage<A, D>(w, tw, q, 1);
    if (interleavedOut) {
        dspFftScatterBlock_s4(block, w, static_cast<int>(n), 1, static_cast<int>(n), 1);
    } else if (w != block) {
        memcpy(block, w, static_cast<size_t>(n) * 16);
    }
}

// The column stage of a recursive level (see the top of the file): count blocks of 4 step
// values with one record set, or (count 1) the last stage from half the records, positions
// k + step/2 taking w (1 - i) sqrt(1/2) and -i w^2 from the record of k.
template <class A, Dir D>
void leafPass(double* data, int64_t step, int64_t count, const double* tw) {
    if (count < 1) return;
    if (count > 1) {
        radix4Stage<A, D>(data, tw, step, count);
        return;
    }
    const int64_t q = 2 * step;  // doubles per quarter
    const V r = vset(0.7071067811865476);
    const auto butterfly = [&](double* p, Sv w1, Sv w2) {
        const Sv q0 = loadSplit(p), q2 = loadSplit(p + 2 * q);
        const Sv u = cmul<A, D>(loadSplit(p + q), w2), v = cmul<A, D>(loadSplit(p + 3 * q), w2);
        const Sv a = q0 + u, b = q0 - u;
        const Sv c = cmul<A, D>(q2 + v, w1), d = cmul<A, D>(q2 - v, w1);
        storeSplit(p, a + c);
        storeSplit(p + 2 * q, a - c);
        if constexpr (D == Dir::Fwd) {
            storeSplit(p + q, {b.re + d.im, b.im - d.re});
            storeSplit(p + 3 * q, {b.re - d.im, b.im + d.re});
        } else {
            storeSplit(p + q, {b.re - d.im, b.im + d.re});
            storeSplit(p + 3 * q, {b.re + d.im, b.im - d.re});
        }
    };
    const int64_t half = step / 2;
    for (int64_t k = 0; k < half; k += 4) {
        const double* g = tw + 4 * k;
        const Sv w1 = loadSplit(g), w2 = loadSplit(g + 8);
        butterfly(data + 2 * k, w1, w2);
        // w (1 - i) sqrt(1/2) and -i w^2: the twiddles of position k + step/2 (stored forward).
        const Sv w1h = {(w1.re + w1.im) * r, (w1.im - w1.re) * r};
        const Sv w2h = {w2.im, vneg(w2.re)};
        butterfly(data + 2 * (k + half), w1h, w2h);
    }
}

}  // namespace

extern "C" {

void DSP_CALL DSP_SLOT_NAME(dspFftFirstPassRadix4)(const double* src, double* dst, int n) {
    if (n >= 1) firstPassRadix4<Dir::Fwd>(src, dst, n);
}

void DSP_CALL DSP_SLOT_NAME(dspFftFirstPassRadix8)(const double* src, double* dst, int n) {
    if (n >= 1) firstPassRadix8<SlotArith, Dir::Fwd>(src, dst, n);
}

const double* DSP_CALL DSP_SLOT_NAME(dspFftPermutedBlockStages)(const double* src, int L,
                                                                const double* twiddles,
                                                                double* out) {
    return permutedBlockStages<SlotArith, Dir::Fwd>(src, L, twiddles, out);
}

void DSP_CALL DSP_SLOT_NAME(dspFftBlockFwd)(double* block, int n, const double* twiddles,
                                            BYTE* work, int interleavedOut) {
    blockTransform<SlotArith, Dir::Fwd>(block, n, twiddles, work, interleavedOut != 0);
}

void DSP_CALL DSP_SLOT_NAME(dspFftLeafPassFwd)(double* data, double* /*other*/, int step, int count,
                                               const double* twiddles) {
    leafPass<SlotArith, Dir::Fwd>(data, step, count, twiddles);
}

// The inverse members: the same templates with the conjugate roots and the turn by +i; the
// records stay the forward ones. The block's result stays split-4 (the top level's column stage
// interleaves it).
void DSP_CALL DSP_SLOT_NAME(dspFftFirstRadix4PassInv)(const double* src, double* out, int n) {
    if (n >= 1) firstPassRadix4<Dir::Inv>(src, out, n);
}

void DSP_CALL DSP_SLOT_NAME(dspFftFirstRadix8PassInv)(const double* src, double* out, int n) {
    if (n >= 1) firstPassRadix8<SlotArith, Dir::Inv>(src, out, n);
}

const double* DSP_CALL DSP_SLOT_NAME(dspFftSubBlockInv)(const double* src, int n,
                                                        const double* twiddles, double* out) {
    return permutedBlockStages<SlotArith, Dir::Inv>(src, n, twiddles, out);
}

void DSP_CALL DSP_SLOT_NAME(dspFftLeafBlockInv)(double* data, int n, const double* twiddles,
                                                BYTE* work) {
    blockTransform<SlotArith, Dir::Inv>(data, n, twiddles, work, false);
}

void DSP_CALL DSP_SLOT_NAME(dspFftColumnPassInv)(double* data, double* /*data2*/, int span,
                                                 int groups, const double* twiddles) {
    leafPass<SlotArith, Dir::Inv>(data, span, groups, twiddles);
}

}  // extern "C"
