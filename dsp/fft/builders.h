// Private routines of the real-FFT set-up. Their per-slot declarations come from the routine
// list (dsp/routines.h, through dsp/internal.h); what each does:
//
//   dspFftSpecClear(p, bytes)            zeroes bytes at p: -8 for a null p, -6 for bytes < 1
//   dspFftBaseTable(order, dst)          base table of an order >= 11: sin(2 pi j / N),
//                                        j = 0..N/4, by the slot's vector sine (j <= N/8) and
//                                        cosine (the rest); slot 2n uses slot 2's
//   dspFftBitReverseTable(m, dst)        bit-reverse table for 2^m complex values (m >= 2):
//                                        2^(m-2) + 1 words, pair format in slots 0 and 2, index
//                                        format elsewhere; slot 4 uses slot 1's
//   dspFftTwiddleTable(m, base, T, dst)  butterfly twiddles for 2^m points from a base table of
//                                        order T >= m: triples in slots 0 and 2, staged in
//                                        groups of 2 (1, 2n, 3) or 4 (4, 5)
//   dspFft{Fwd,Inv}RecombTable(order, base, T, dst)
//                                        recombination tables, one- or two-level by the slot's
//                                        threshold, pairs (0, 2) or groups (others)
//   dspFftLargePlanInit(spec, m, base, T, dst, scratch)
//                                        large-order plan of complex order m (above the slot's
//                                        iterative limit): the bit-reverse or block table at
//                                        dst = spec + 96 and the plan's tables behind it; sets
//                                        words 7, 12, 13 and 17 to 22. scratch: the 64-byte
//                                        aligned set-up buffer behind the base table (only slot
//                                        0 uses it)
//   dspFftRecursivePlanLevel(spec, m, base, T, depth, dst, scratch)
//                                        one level of a recursive plan, deeper levels first;
//                                        returns the end of the level's combining table
//   dspFftBlockBitReverseTable(m, h, dst)
//                                        the tiled permutation's table for 2^m values with
//                                        2^h x 2^h tiles (h = 5): 2^(m-2h) words rev(i) * 2^h,
//                                        then the pair table of order 2h with no gap; slots 1 to
//                                        5, slot 2n using slot 2's
//   dspFftLargeOrderSize(m, &S, &B, &W)  spec, set-up buffer and work bytes of a large complex
//                                        order (work without the alignment allowance)
//   dspBitReversePermute(src, dst, n, table), dspBitReversePermuteInPlace(data, n, table)
//                                        slots 0 and 2 (permute.slots.cpp): dst[rev(k)] = src[k]
//                                        for n complex values by a pair-format table built for
//                                        n, values moved as raw bits; out of place needs distinct
//                                        arrays and reads no table for n < 8; in place does
//                                        nothing for n < 4. The other slots' members read the
//                                        index table (butterfly.slots.cpp)
//
// Builders trust their callers (the set-up has checked order and pointers, the size query has
// sized the memory). Each returns the address just past what it wrote, rounded up to 64; every
// destination is 64-byte aligned but the bit-reverse table's (spec + 96). Sizes and offsets
// inside are 64-bit.
#pragma once

#include "dsp/fft/spec.h"
#include "dsp/internal.h"

#include <stdint.h>

extern "C" {

// sin(2 pi k / 1024) for k = 0..256, correctly rounded; entry 256 is 1.0. The base table of
// every order up to 10 (scripts/gen_fft_sine_table.py).
extern const double dspFftSineTable1024[257];

#if CORVANE_DSP_TEST_SEAMS
// Test builds: after a set-up built its base table (order >= 11), hook(order, table) may
// replace its N/4 + 1 entries, so that tables of different slots can be compared over one base.
typedef void (*DspFftBaseTableHook)(int order, double* table);
void dspTestSetFftBaseTableHook(DspFftBaseTableHook hook);
DspFftBaseTableHook dspTestFftBaseTableHook(void);
#endif

}  // extern "C"
