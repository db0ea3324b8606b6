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
// The inverse real FFT enters through midOrderInvFromCcs instead: its first pass reads the
// packed spectrum and does the pre-processing on the way (firstPassFromCcs), so that the
// transform makes one sweep fewer over memory and needs no work buffer when dst can serve.
//
// Slot 4 rounds every product; slot 5 fuses the twiddle products and the sqrt(1/2) products of
// the radix-8 first pass (avx_core.h, Fused). Both are one source; the entry points are
// dsp/fft/midorder.slots.cpp, slot 4's gathering first pass midorder_gather.slots.cpp and slot 5's
// interleaving last pass midorder_last_pass.slots.cpp. Included only by sources compiled for
// slots 4 and 5.
#pragma once

#include "dsp/fft/avx_core.h"
#include "dsp/fft/postprocess.h"
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

// The S-point DFTs of one group of the first pass (S = 4 sections of n/4 values when n is a
// power of 4, else 8 of n/8): legs[hh][s] holds the columns 2hh and 2hh + 1 of section s (when
// Swapped, 2hh + 1 and then 2hh), and column c goes to P[c] + Sk split (an eight-point DFT's
// X4..X7 four further). A column's bits are its own: the legs combine lane by lane.
// HalfStores stores 128-bit halves, which spares the shuffle unit four of its eight moves per
// four outputs: the inverse's pass, which the pre-processing's shuffles keep waiting on that
// unit, gains by it; the forward's pass does not (its stores then wait on the ports).
template <class A, Dir D, int S, bool Swapped, bool HalfStores>
DSP_FFT_INLINE void firstPassGroup(const V legs[2][S], double* work, const int64_t P[4],
                                   int64_t k) {
    for (int hh = 0; hh < 2; ++hh) {
        V x[S];
        if constexpr (S == 4) {
            radix4Legs<D>(legs[hh][0], legs[hh][1], legs[hh][2], legs[hh][3], x);
        } else {
            radix8Legs<A, D>(legs[hh], x);
        }
        double* const first = work + 2 * (P[2 * hh + Swapped] + S * k);
        double* const second = work + 2 * (P[2 * hh + !Swapped] + S * k);
        for (int t = 0; t < S; t += 4) {
            if constexpr (HalfStores) {
                // toSplit's moves across the 128-bit halves left to the store ports.
                const V re01 = vunpackLo(x[t], x[t + 1]), im01 = vunpackHi(x[t], x[t + 1]);
                const V re23 = vunpackLo(x[t + 2], x[t + 3]), im23 = vunpackHi(x[t + 2], x[t + 3]);
                vstoreHalves(first + 2 * t, second + 2 * t, re01);
                vstoreHalves(first + 2 * t + 2, second + 2 * t + 2, re23);
                vstoreHalves(first + 2 * t + 4, second + 2 * t + 4, im01);
                vstoreHalves(first + 2 * t + 6, second + 2 * t + 6, im23);
            } else {
                Sv lo, hi;
                toSplit(x[t], x[t + 1], x[t + 2], x[t + 3], lo, hi);
                storeSplit(first + 2 * t, lo);
                storeSplit(second + 2 * t, hi);
            }
        }
    }
}

// First pass: group k takes the columns c < 4 of the rows b + c + s n/S of every section s
// (b = entry[k] / 2 or / 4) and stores the four-point DFT X_t = sum q_s (-i)^(st) (S = 4), or
// the eight-point DFT (radix8Legs of avx_core.h), of each column at P[c] + Sk. The groups are
// taken in the order of their rows, b = 4j for j = 0, 1, ..., k = entry[j] / 2S (the reversal
// of j over the group bits): the S rows then stream through the input front to back, which the
// processor fetches ahead on its own, where the order of k would jump across it. Each group's
// results depend on its own rows only, so the order changes no bit.
template <class A, Dir D, int S, bool Halves>
void firstPass(const double* src, double* work, const int32_t* table, int64_t n) {
    const int64_t section = n / S;
    const int64_t P[4] = {0, n / 2, n / 4, 3 * n / 4};
    for (int64_t j = 0; j < n / (4 * S); ++j) {
        const double* p = src + 8 * j;
        V legs[2][S];
        for (int hh = 0; hh < 2; ++hh)
            for (int s = 0; s < S; ++s)
                legs[hh][s] = loadPair<Halves>(p + 4 * hh + 2 * s * section);
        firstPassGroup<A, D, S, false, false>(legs, work, P, table[j] >> (S == 4 ? 3 : 4));
    }
}

// The inverse's first pass straight from the packed spectrum (n + 1 values X): the
// pre-processing of postprocess.h (walkStep, preprocessPair) fused into the first pass, so that
// the half-length array Y is never stored and read back. Y[0] is (X[0] + X[n], X[0] - X[n]) as
// the entry bodies form it, Y[n/2] exactly 2 conj X[n/2]; every other Y has the walk's bits.
//
// The walk step of m = 4u + 1 + s n/S in each lower section s < S/2 (the unit u) gives the
// rows 4u + 1 .. 4u + 4 of section s and, as mirrors, the rows of group groups - 1 - u in
// section S - 1 - s whole. So group g takes row 0 of each lower section from unit g - 1 (Y[0],
// and at s > 0 the last unit's overhang, when g = 0), rows 1..3 from unit g and its upper
// sections from unit groups - 1 - g. The loop walks units g upwards and G = groups - 1 - g
// downwards together, each once, and stores group g and group G + 1 (whose units were the
// previous step's); group groups/2 comes last. The legs are taken with their two columns
// swapped (the walk's mirrors come that way), which moves no bit, only the stores.
template <class A, int S, bool TwoLevel>
void firstPassFromCcs(const double* src, double* work, const int32_t* table, int64_t n,
                      const double* recomb) {
    constexpr int kLow = S / 2;
    // Units fetched ahead (64 bytes of each of the 4 kLow streams per unit): the streams run
    // both ways through every section, which the processor's own prefetchers follow late, and a
    // spectrum that arrives from memory then waits on every line.
    constexpr int64_t kAhead = 8;
    const int64_t section = n / S, groups = n / (4 * S);
    const int64_t P[4] = {0, n / 2, n / 4, 3 * n / 4};
    struct Unit {
        V x0[kLow], x1[kLow], y0[kLow], y1[kLow];
    };
    const auto walk = [&](int64_t u, Unit& r) {
        for (int s = 0; s < kLow; ++s) {
            walkStep<TwoLevel>(src, n, recomb, 4 * u + 1 + s * section, preprocessPair, r.x0[s],
                               r.x1[s], r.y0[s], r.y1[s]);
        }
    };
    // Group g from row 0 of its lower sections (the high halves of rowZero), its own unit and
    // its mirror unit.
    const auto group = [&](int64_t g, const V rowZero[kLow], const Unit& own, const Unit& mirror,
                           bool middle) {
        V legs[2][S];
        for (int s = 0; s < kLow; ++s) {
            legs[0][s] = vblendHigh(own.x0[s], rowZero[s]);  // rows 1, 0
            legs[1][s] = vblendHigh(own.x1[s], own.x0[s]);   // rows 3, 2
            legs[0][S - 1 - s] = mirror.y1[s];
            legs[1][S - 1 - s] = mirror.y0[s];
        }
        if (middle) {
            legs[0][kLow] = vblendHigh(
                legs[0][kLow], vsetLanes(0.0, 0.0, 2.0 * ld1(src + n), -2.0 * ld1(src + n + 1)));
        }
        firstPassGroup<A, Dir::Inv, S, true, true>(legs, work, P, table[g] >> (S == 4 ? 3 : 4));
    };
    Unit low, high;
    walk(0, low);
    walk(groups - 1, high);
    V rowZero[kLow];
    const double a = ld1(src), b = ld1(src + 2 * n);
    rowZero[0] = vsetLanes(0.0, 0.0, a + b, a - b);
    for (int s = 1; s < kLow; ++s) rowZero[s] = high.x1[s - 1];
    group(0, rowZero, low, high, true);
    // Two steps per round, the units of one step kept for the next without a copy.
    Unit low2, high2;
    const auto step = [&](int64_t g, Unit& lo, Unit& hi, const Unit& lastLo, const Unit& lastHi) {
        const int64_t G = groups - 1 - g;
        if (g + kAhead < G - kAhead) {
            for (int s = 0; s < kLow; ++s) {
                const int64_t m0 = 4 * (g + kAhead) + 1 + s * section;
                const int64_t m1 = 4 * (G - kAhead) + 1 + s * section;
                prefetchT0(src + 2 * m0);
                prefetchT0(src + 2 * (n - m0) - 8);
                prefetchT0(src + 2 * m1);
                prefetchT0(src + 2 * (n - m1) - 8);
            }
        }
        walk(g, lo);
        walk(G, hi);
        group(g, lastLo.x1, lo, hi, false);
        group(G + 1, hi.x1, lastHi, lastLo, false);
    };
    int64_t g = 1;
    for (; g + 1 < groups / 2; g += 2) {
        step(g, low2, high2, low, high);
        step(g + 1, low, high, low2, high2);
    }
    if (g < groups / 2) {
        step(g, low2, high2, low, high);
        group(groups / 2, low2.x1, high2, low2, false);
    } else {
        group(groups / 2, low.x1, high, low, false);
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

// The working buffer of the driver: dst when it is 32-byte aligned and is not src, else work.
DSP_FFT_INLINE double* workingBuffer(const double* src, double* dst, BYTE* work) {
    const bool dstWorks = (reinterpret_cast<uintptr_t>(dst) & 31) == 0 && dst != src;
    return dstWorks ? dst : reinterpret_cast<double*>(work);
}

// The stages after the first pass over the working buffer w and the last pass into dst.
template <class A, Dir D>
void stagesAndLastPass(double* w, double* dst, int64_t n, const double* twiddles) {
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

// The whole driver of one slot and direction.
template <class A, Dir D>
void midOrder(const double* src, double* dst, int64_t n, const double* twiddles,
              const int32_t* table, BYTE* work) {
    double* const w = workingBuffer(src, dst, work);
    constexpr bool kHalves = DSP_SLOT == 4;  // slot 4 joins 128-bit loads in its first pass
    if (n & 0x55555555) {
        firstPass<A, D, 4, kHalves>(src, w, table, n);
    } else {
        firstPass<A, D, 8, kHalves>(src, w, table, n);
    }
    stagesAndLastPass<A, D>(w, dst, n, twiddles);
}

// The inverse real FFT of the packed spectrum src (2n + 2 doubles) into the 2n samples of dst,
// unscaled, by the recombination table recomb (one or two levels): the fused first pass, then
// the driver's stages. src is read whole before dst is written when they are the same array,
// since the passes then run in the work buffer.
template <class A, bool TwoLevel>
void midOrderInvFromCcs(const double* src, double* dst, int64_t n, const double* twiddles,
                        const int32_t* table, const double* recomb, BYTE* work) {
    double* const w = workingBuffer(src, dst, work);
    if (n & 0x55555555) {
        firstPassFromCcs<A, 4, TwoLevel>(src, w, table, n, recomb);
    } else {
        firstPassFromCcs<A, 8, TwoLevel>(src, w, table, n, recomb);
    }
    stagesAndLastPass<A, Dir::Inv>(w, dst, n, twiddles);
}

}  // namespace
