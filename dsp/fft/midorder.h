// The mid-order complex FFT of slots 4 and 5 (n = 128 .. 131072 values) and its passes, which the
// recursive drivers and the inverse reuse.
//
// An iterative radix-4 decimation in time over the split-4 layout (dsp/fft/avx_core.h):
//   first pass  reads the input front to back, group by group, each group placed through the
//               group table (entry[k] = 2 rev(k)), and leaves the four-point DFTs (n a power
//               of 4) or eight-point DFTs of the decimated input in the working buffer, split,
//               sub-transforms in bit-reversed order: column c of group k goes to P[c] + 4k
//               (or + 8k), P = {0, n/2, n/4, 3n/4};
//   stages      radix-4 stages of step 4 or 8, 16 or 32, ..., one staged twiddle set each, run
//               depth first over blocks of at most 1024 values (16 KB) so that a block meets
//               all its stages while it is in the first-level cache (breadth first over the
//               whole of a transform of at most 2048 values);
//   last pass   the stage of step n/4, written interleaved into dst; each group of four values
//               is read whole before its results are stored, so dst may be the working buffer.
// The working buffer is dst when dst is 32-byte aligned and is not src, else the caller's work
// buffer (n values). Loads and stores are all unaligned ones.
//
// Slot 4 rounds every product; slot 5 fuses the twiddle products and the sqrt(1/2) products of
// the radix-8 first pass (avx_core.h, Fused). Both are one source; the entry points are
// dsp/fft/midorder.slots.cpp, slot 4's gathering first pass midorder_gather.slots.cpp and slot 5's
// interleaving last pass midorder_last_pass.slots.cpp. Included only by sources compiled for
// slots 4 and 5.
#pragma once

#include "dsp/fft/avx_core.h"
#include "dsp/internal.h"
#include "dsp/slot.h"

#include <stdint.h>

namespace {

// Two complex values (re, im, re, im) at p, as one 256-bit load or as two 128-bit halves; both
// give the same bits.
template <bool Halves>
DSP_FFT_INLINE V loadPair(const double* p) {
    if constexpr (Halves) {
        return vloadHalves(p, p + 2);
    } else {
        return vloadu(p);
    }
}

// First pass, n a power of 4: group k takes q_s = src[b + c + s n/4] (b = entry[k] / 2, c < 4)
// and stores the four-point DFT X_t = sum q_s (-i)^(st) of column c at P[c] + 4k. The groups are
// taken in the order of their rows, b = 4j for j = 0, 1, ..., k = entry[j] / 8 (the reversal of
// j over the group bits): the four rows then stream through the input front to back, which the
// processor fetches ahead on its own, where the order of k would jump across it. Each group's
// results depend on its own rows only, so the order changes no bit.
template <Dir D, bool Halves>
void firstPassRadix4(const double* src, double* work, const int32_t* table, int64_t n) {
    const int64_t quarter = n / 4;
    const int64_t P[4] = {0, n / 2, n / 4, 3 * n / 4};
    const int64_t groups = n / 16;
    for (int64_t j = 0; j < groups; ++j) {
        const int64_t k = table[j] >> 3;
        for (int h = 0; h < 2; ++h) {  // columns 2h, 2h + 1
            const double* p = src + 2 * (4 * j + 2 * h);
            const V q0 = loadPair<Halves>(p), q1 = loadPair<Halves>(p + 2 * quarter);
            const V q2 = loadPair<Halves>(p + 4 * quarter), q3 = loadPair<Halves>(p + 6 * quarter);
            V x[4];
            radix4Legs<D>(q0, q1, q2, q3, x);
            Sv lo, hi;
            toSplit(x[0], x[1], x[2], x[3], lo, hi);
            storeSplit(work + 2 * (P[2 * h] + 4 * k), lo);
            storeSplit(work + 2 * (P[2 * h + 1] + 4 * k), hi);
        }
    }
}

// First pass, n not a power of 4: group k takes l_s = src[b + c + s n/8] (b = entry[k] / 4)
// and stores the eight-point DFT of column c (radix8Legs of avx_core.h), X0..X3 at P[c] + 8k
// and X4..X7 four further; the groups in the order of their rows as above (b = 4j,
// k = entry[j] / 16), eight streams.
template <class A, Dir D, bool Halves>
void firstPassRadix8(const double* src, double* work, const int32_t* table, int64_t n) {
    const int64_t eighth = n / 8;
    const int64_t P[4] = {0, n / 2, n / 4, 3 * n / 4};
    const int64_t groups = n / 32;
    for (int64_t j = 0; j < groups; ++j) {
        const int64_t k = table[j] >> 4;
        for (int hc = 0; hc < 2; ++hc) {
            const double* p = src + 2 * (4 * j + 2 * hc);
            V l[8];
            for (int s = 0; s < 8; ++s) l[s] = loadPair<Halves>(p + 2 * s * eighth);
            V x[8];
            radix8Legs<A, D>(l, x);
            Sv lo, hi;
            toSplit(x[0], x[1], x[2], x[3], lo, hi);
            storeSplit(work + 2 * (P[2 * hc] + 8 * k), lo);
            storeSplit(work + 2 * (P[2 * hc + 1] + 8 * k), hi);
            toSplit(x[4], x[5], x[6], x[7], lo, hi);
            storeSplit(work + 2 * (P[2 * hc] + 8 * k + 4), lo);
            storeSplit(work + 2 * (P[2 * hc + 1] + 8 * k + 4), hi);
        }
    }
}

// The stages of one block of L <= 2048 values after its first pass, up to but not including
// the stage of step L/4; returns that stage's twiddle set.
template <class A, Dir D>
const double* stagesBelowLast(double* x, int64_t L, const double* table) {
    const double* tw;
    int64_t count, step;
    if (L & 0x55555555) {
        radix4Stage<A, D>(x, table, 4, L / 16);
        tw = table + 24;
        count = L / 16;
        step = 16;
    } else {
        radix4Stage<A, D>(x, table, 8, L / 32);
        tw = table + 48;
        count = L / 32;
        step = 32;
    }
    while (count > 4) {
        count /= 4;
        radix4Stage<A, D>(x, tw, step, count);
        tw += 6 * step;
        step *= 4;
    }
    return tw;
}

// All stages of a block of L values, depth first; returns the set past the one of step L/4.
template <class A, Dir D>
const double* blockStages(double* x, int64_t L, const double* table) {
    const double* tw;
    if (L <= 1024) {
        tw = stagesBelowLast<A, D>(x, L, table);
    } else {
        for (int i = 0; i < 4; ++i) tw = blockStages<A, D>(x + 2 * i * (L / 4), L / 4, table);
    }
    radix4Stage<A, D>(x, tw, L / 4, 1);
    return tw + 6 * (L / 4);
}

// The stage of step s = n/4 from the split working buffer into interleaved dst.
template <class A, Dir D, bool Halves>
void lastPass(const double* work, double* dst, const double* set, int64_t s) {
    const int64_t q = 2 * s;
    for (int64_t k = 0; k < s; k += 4) {
        const double* p = work + 2 * k;
        Sv q0, q1, q2, q3;
        if constexpr (Halves) {
            q0 = {loadPair<true>(p), loadPair<true>(p + 4)};
            q1 = {loadPair<true>(p + q), loadPair<true>(p + q + 4)};
            q2 = {loadPair<true>(p + 2 * q), loadPair<true>(p + 2 * q + 4)};
            q3 = {loadPair<true>(p + 3 * q), loadPair<true>(p + 3 * q + 4)};
        } else {
            q0 = loadSplit(p);
            q1 = loadSplit(p + q);
            q2 = loadSplit(p + 2 * q);
            q3 = loadSplit(p + 3 * q);
        }
        radix4Split<A, D>(q0, q1, q2, q3, set + 6 * k);
        double* o = dst + 2 * k;
        const Sv out[4] = {q0, q1, q2, q3};
        for (int j = 0; j < 4; ++j) vinterleave(o + j * q, out[j].re, out[j].im);
    }
}

// The whole driver of one slot and direction.
template <class A, Dir D>
void midOrder(const double* src, double* dst, int64_t n, const double* twiddles,
              const int32_t* table, BYTE* work) {
    const bool dstWorks = (reinterpret_cast<uintptr_t>(dst) & 31) == 0 && dst != src;
    double* const w = dstWorks ? dst : reinterpret_cast<double*>(work);
    constexpr bool kHalves = DSP_SLOT == 4;  // slot 4 joins 128-bit loads in its first pass
    if (n & 0x55555555) {
        firstPassRadix4<D, kHalves>(src, w, table, n);
    } else {
        firstPassRadix8<A, D, kHalves>(src, w, table, n);
    }
    const double* tw;
    // Breadth first up to 2048 values (32 KB): the whole transform is about the first-level
    // cache's size there anyway, and the stage of step 128 then loads each twiddle record once
    // for its four blocks instead of once per quarter.
    if (n <= 2048) {
        tw = stagesBelowLast<A, D>(w, n, twiddles);
    } else {
        const int64_t q = n / 4;
        for (int i = 0; i < 4; ++i) {
            double* x = w + 2 * i * q;
            if (q <= 1024) {
                tw = stagesBelowLast<A, D>(x, q, twiddles);
            } else {
                for (int j = 0; j < 4; ++j)
                    tw = blockStages<A, D>(x + 2 * j * (q / 4), q / 4, twiddles);
            }
            radix4Stage<A, D>(x, tw, q / 4, 1);
        }
        tw += 6 * (q / 4);
    }
    // Slot 4 reads the last pass with 128-bit halves above 1024 values; the bits are the same.
    if (DSP_SLOT == 4 && n > 1024) {
        lastPass<A, D, true>(w, dst, tw, n / 4);
    } else {
        lastPass<A, D, false>(w, dst, tw, n / 4);
    }
}

}  // namespace
