// The one list of the per-slot routines of corvane-dsp and the slots each exists for.
//
// Everything that needs "the bodies of routine R by slot" is made from these lists: the dispatch
// tables (dsp/dispatch.cpp), the declarations of the internal routines (dsp/internal.h), the
// compile-time check of the prototypes that include/corvane/dsp.h writes out by hand, and the
// slot tables of the tests and benchmarks (dsp/support/slot_tables.h).
//
// An entry's last field, its slots, names the slots that have a body of their own (s0 .. s5, s2n
// for name_s0 .. name_s2n, the ids of dsp/slot_list.h) and, as DSP_RUNS(s4, s1), a slot that runs
// another slot's body. Every other slot has no body, except that a dispatch slot of a dispatched
// routine (the operations and the effects' sample loops) runs what the dispatch slot below it
// runs: so slot 5 of the median buffer-size query runs slot 1's body as slot 4 does, and a new
// slot runs the bodies of the slot below it until it adds its own. dspSlotTableOf checks the
// entry at compile time (a named slot exists and is named once, a lender has a body of its own,
// every dispatch slot of a dispatched routine ends with a body).
//
// Adding a routine: one line in the list it belongs to, then the bodies in a family declared in
// dsp/CMakeLists.txt (or dsp/fft/CMakeLists.txt) for the same slots.
#pragma once

#include "corvane/dsp.h"

#include <stddef.h>
#include <stdint.h>

struct DspFftKernelSet;

// clang-format off
// DSP_OPERATIONS(X): the twelve public operations in the order of dsp.h (and of the operation
// numbers of dspTestDispatchEntry). X(name, params, args, slots); every
// operation returns DspStatus and has a dispatch stub `name` and a first-call stub `name_init`.
#define DSP_OPERATIONS(X)                                                                          \
    X(dspSet64f, (double value, double* dst, int len), (value, dst, len),                          \
      (s0, s1, s2, s3, s4, s5))                                                                    \
    X(dspMulConstInPlace64f, (double value, double* srcDst, int len), (value, srcDst, len),        \
      (s0, s1, s2, s3, s4, s5))                                                                    \
    X(dspMulConst64f, (const double* src, double value, double* dst, int len),                     \
      (src, value, dst, len), (s0, s1, s2, s3, s4, s5))                                            \
    X(dspMul64f, (const double* src1, const double* src2, double* dst, int len),                   \
      (src1, src2, dst, len), (s0, s1, s2, s3, s4, s5))                                            \
    X(dspMagnitude64fc, (const double* src, double* dst, int len), (src, dst, len),                \
      (s0, s1, s2, s3, s4, s5))                                                                    \
    X(dspFftGetSizeReal64f,                                                                        \
      (int order, int flag, int hint, int* specSize, int* specBufSize, int* workSize),             \
      (order, flag, hint, specSize, specBufSize, workSize), (s0, s1, s2, s3, s4, s5, s2n))         \
    X(dspFftInitReal64f,                                                                           \
      (DspFftSpecReal64f * *spec, int order, int flag, int hint, BYTE* specMem, BYTE* specBuf),    \
      (spec, order, flag, hint, specMem, specBuf), (s0, s1, s2, s3, s4, s5, s2n))                  \
    X(dspFftFwdRealToCcs64f,                                                                       \
      (const double* src, double* dst, const DspFftSpecReal64f* spec, BYTE* work),                 \
      (src, dst, spec, work), (s0, s1, s2, s3, s4, s5, s2n))                                       \
    X(dspFftInvCcsToReal64f,                                                                       \
      (const double* src, double* dst, const DspFftSpecReal64f* spec, BYTE* work),                 \
      (src, dst, spec, work), (s0, s1, s2, s3, s4, s5, s2n))                                       \
    X(dspMedianGetBufferSize, (int mask, int dataType, int* size), (mask, dataType, size),         \
      (s0, s1, s2, s3, DSP_RUNS(s4, s1)))                                                          \
    X(dspMedian64f,                                                                                \
      (const double* src, double* dst, int len, int mask, const double* dlySrc,                    \
       double* dlyDst, BYTE* buf),                                                                 \
      (src, dst, len, mask, dlySrc, dlyDst, buf), (s0, s1, s2, s3, s4, s5))                        \
    X(dspMedianInPlace64f,                                                                         \
      (double* srcDst, int len, int mask, const double* dlySrc, double* dlyDst, BYTE* buf),        \
      (srcDst, len, mask, dlySrc, dlyDst, buf), (s0, s1, s2, s3, s4, s5))

// DSP_PUBLIC_ROUTINES(X): per-slot routines without dispatch whose prototypes dsp.h writes out.
// X(name, Ret, params, slots).
#define DSP_PUBLIC_ROUTINES(X)                                                                     \
    X(dspZero64f, DspStatus, (double* dst, int len), (s0, s1, s2, s3, s4, s5))                     \
    X(dspCopy64f, DspStatus, (const double* src, double* dst, int len), (s0, s1, s2, s3, s4, s5))  \
    X(dspCopyChecked, DspStatus, (const BYTE* src, BYTE* dst, int len), (s1, s2, s3, s4, s5))      \
    X(dspZeroBytes, BYTE*, (BYTE * dst, int len), (s0, s1, s2, s3, s4, s5))                        \
    X(dspZeroBytesStreaming, BYTE*, (BYTE * dst, int len), (s4, s5))                               \
    X(dspCopyBytes, BYTE*, (const BYTE* src, BYTE* dst, int len), (s0, s1, s2, s3, s4, s5))

// DSP_INTERNAL_ROUTINES(X): per-slot routines that only the library calls; dsp/internal.h
// declares them from this list. X(name, Ret, params, slots).
#define DSP_INTERNAL_ROUTINES(X)                                                                   \
    /* Store the 64-bit pattern (hi:lo) count times at dst (any alignment), count >= 1; dst. */    \
    /* One SSE2 code serves slots 1 to 4. */                                                      \
    X(dspFill64, double*, (uint32_t lo, uint32_t hi, double* dst, int count),                      \
      (s0, s1, DSP_RUNS(s2, s1), DSP_RUNS(s3, s1), DSP_RUNS(s4, s1), s5))                          \
    /* SSE2 multiply kernels: arguments checked by the caller, len >= 1, value no shortcut. */     \
    X(dspMulConstInPlaceKernel, void, (double value, double* srcDst, int len), (s1, s2, s3))       \
    X(dspMulConstKernel, void, (const double* src, double value, double* dst, int len),            \
      (s1, s2, s3))                                                                                \
    X(dspMulKernel, void, (const double* src1, const double* src2, double* dst, int len),          \
      (s1, s2, s3))                                                                                \
    /* Forward string moves; the direction flag is cleared for the copy and set again when it */   \
    /* was set on entry. Not for dst above an overlapping src. Slot 5 runs slot 4's: string */    \
    /* moves need nothing of AVX2. */                                                            \
    X(dspMoveBytes, BYTE*, (const BYTE* src, BYTE* dst, int len), (s4, DSP_RUNS(s5, s4)))          \
    /* 64 bytes a step with non-temporal stores; len a positive multiple of 64, dst 64-byte */     \
    /* aligned; no fence (the caller fences). */                                                   \
    X(dspStreamCopyBytes, BYTE*, (const BYTE* src, BYTE* dst, int len), (s5))                      \
    /* From the end backwards, 64 bytes a step; len a positive multiple of 64, dst + len */        \
    /* 64-byte aligned. */                                                                         \
    X(dspStreamCopyBytesBackward, BYTE*, (const BYTE* src, BYTE* dst, int len), (s5))              \
    /* The slot-5 copy from 32768 bytes on: streams above 4 MiB from half the largest cache, */    \
    /* copies backwards when dst trails src by less than 160 bytes modulo 4 KiB, else moves. */    \
    X(dspCopyStreaming, BYTE*, (const BYTE* src, BYTE* dst, int len), (s5))                        \
    /* Entry stubs of the vector-math table (dsp/vecmath/vecmath.h): the magnitude stubs call */   \
    /* accuracy slot 0 of their row, the sine and cosine stubs accuracy slot 1. */                 \
    X(dspVecAbs64fc, DspStatus, (const double* src, double* dst, int n), (s0, s1, s2, s3, s4, s5)) \
    X(dspVecSin64f, DspStatus, (const double* src, double* dst, int n), (s0, s1, s2, s3, s4, s5))  \
    X(dspVecCos64f, DspStatus, (const double* src, double* dst, int n), (s0, s1, s2, s3, s4, s5))  \
    /* Real-FFT set-up: table builders, large-order plans and sizes (dsp/fft/builders.h). */       \
    X(dspFftSpecClear, DspStatus, (BYTE * p, int bytes), (s0, s1, s2, s3, s4, s5, s2n))            \
    X(dspFftBaseTable, BYTE*, (int order, double* dst), (s0, s1, s2, s3, s4, s5, s2n))             \
    X(dspFftBitReverseTable, BYTE*, (int m, int32_t* dst),                                         \
      (s0, s1, s2, s3, DSP_RUNS(s4, s1), s5, s2n))                                                 \
    X(dspFftTwiddleTable, BYTE*, (int m, const double* base, int T, double* dst),                  \
      (s0, s1, s2, s3, s4, s5, s2n))                                                               \
    X(dspFftFwdRecombTable, BYTE*, (int order, const double* base, int T, double* dst),            \
      (s0, s1, s2, s3, s4, s5, s2n))                                                               \
    X(dspFftInvRecombTable, BYTE*, (int order, const double* base, int T, double* dst),            \
      (s0, s1, s2, s3, s4, s5, s2n))                                                               \
    X(dspFftLargePlanInit, BYTE*,                                                                  \
      (DspFftSpecReal64f * spec, int m, const double* base, int T, int32_t* dst, BYTE* scratch),   \
      (s0, s1, s2, s3, s4, s5, s2n))                                                               \
    X(dspFftRecursivePlanLevel, BYTE*,                                                             \
      (DspFftSpecReal64f * spec, int m, const double* base, int T, int depth, BYTE* dst,           \
       BYTE* scratch),                                                                             \
      (s0, s1, s2, s3, s4, s5, s2n))                                                               \
    X(dspFftBlockBitReverseTable, BYTE*, (int m, int halfTileOrder, int32_t* dst),                 \
      (s1, s2, s3, s4, s5, DSP_RUNS(s2n, s2)))                                                     \
    X(dspFftLargeOrderSize, void,                                                                  \
      (int m, int64_t* specSize, int64_t* specBufSize, int64_t* workSize),                         \
      (s0, s1, s2, s3, s4, s5, s2n))                                                               \
    /* The slot's small-order kernel set, forward (0) or inverse (1) (dsp/fft/kernels.h). */      \
    X(dspFftKernelSet, const DspFftKernelSet*, (int inverse), (s0, s1, s2, s3, s4, s5, s2n))      \
    /* Bit-reversal permutations of n complex values, raw bits: by the pair-format table in */     \
    /* slots 0 and 2, by the index table elsewhere (dsp/fft/butterfly.slots.cpp). */               \
    X(dspBitReversePermute, void, (const double* src, double* dst, int n, const int32_t* table),   \
      (s0, s1, s2, s3, s2n))                                                                       \
    X(dspBitReversePermuteInPlace, void, (double* data, int n, const int32_t* table),              \
      (s0, s1, s2, s3, s4, s5, s2n))                                                               \
    /* The tiled permutation's transfers (dsp/fft/blocks.slots.cpp): a 32 x 32 tile into */        \
    /* 10-bit-reversed order by the order-10 pair table; blocks of rows x count values between */  \
    /* a strided array (stride in values) and a contiguous one, the scatter turning split */       \
    /* groups into interleaved values where its mode says so. */                                   \
    X(dspBitReversePermuteBlock, void, (double* data, int n, const int32_t* pairs),                \
      (s1, s2, s3, s4, s5, s2n))                                                                   \
    X(dspFftGatherBlock, void, (const double* src, double* dst, int stride, int rows, int count),  \
      (s1, s2, s3, s4, DSP_RUNS(s5, s4), s2n))                                                     \
    X(dspFftScatterBlock, void,                                                                    \
      (double* dst, const double* src, int stride, int rows, int count, int mode),                 \
      (s1, s2, s3, s4, DSP_RUNS(s5, s4), s2n))                                                     \
    /* Complex FFT of n = 2^m values by radix-4 passes over the staged twiddles, both */           \
    /* directions (dsp/fft/butterfly.slots.cpp). The passes gather src through the index table */  \
    /* into natural-order dst; the block butterflies transform bit-reversed data in place, */      \
    /* interleaved (flag 1) or in the two-column split layout (flag 0). work: n values. */         \
    X(dspFftButterflyPassesFwd, void,                                                              \
      (const double* src, double* dst, int n, const double* twiddles, const int32_t* table,        \
       BYTE* work),                                                                                \
      (s1, s3, s2n))                                                                               \
    X(dspFftButterflyPassesInv, void,                                                              \
      (const double* src, double* dst, int n, const double* twiddles, const int32_t* table,        \
       BYTE* work),                                                                                \
      (s1, s3, s2n))                                                                               \
    X(dspFftBlockButterfliesFwd, void,                                                             \
      (double* data, int n, const double* twiddles, BYTE* work, int flag), (s1, s3, s2n))          \
    X(dspFftBlockButterfliesInv, void,                                                             \
      (double* data, int n, const double* twiddles, BYTE* work, int flag), (s1, s3, s2n))          \
    /* The recursive cache-blocked forward drivers (dsp/fft/recursive.slots.cpp): the entry */     \
    /* permutes src into dst and transforms the 2^m values there; the inner routine is one */      \
    /* level of depth >= 1 on values in bit-reversed order; the combining step joins blk-value */  \
    /* transforms by radix-2 passes; the leaf pass is one radix-4 column stage in place on the */  \
    /* work buffer (other is not read). */                                                         \
    X(dspFftRecursiveFwd, void,                                                                    \
      (const DspFftSpecReal64f* spec, const double* src, double* dst, int m, BYTE* work),          \
      (s0, s1, s2, s3, s4, s5, s2n))                                                               \
    X(dspFftRecursiveFwdInner, void,                                                               \
      (const DspFftSpecReal64f* spec, double* data, int m, int depth, BYTE* work),                 \
      (s0, s1, s2, s3, s4, s5, s2n))                                                               \
    X(dspFftRecursionStepFwd, void, (double* data, int n, int blk, const double* twiddles),        \
      (s0, s2))                                                                                    \
    X(dspFftLeafPassFwd, void,                                                                     \
      (double* data, double* other, int step, int count, const double* twiddles),                  \
      (s1, s3, s4, s5, s2n))                                                                       \
    /* The same in the inverse direction: the entry transforms dst in place (the body passes */    \
    /* its array as src and dst), each row scaled once by the inverse scale; the leaf pass */      \
    /* takes the conjugates of the forward records and turns by +i. */                             \
    X(dspFftRecursiveInv, void,                                                                    \
      (const DspFftSpecReal64f* spec, const double* src, double* dst, int m, BYTE* work),          \
      (s0, s1, s2, s3, s4, s5, s2n))                                                               \
    X(dspFftRecursiveInvInner, void,                                                               \
      (const DspFftSpecReal64f* spec, double* data, int m, int depth, BYTE* work),                 \
      (s0, s1, s2, s3, s4, s5, s2n))                                                               \
    X(dspFftRecursionStepInv, void, (double* data, int n, int blk, const double* twiddles),        \
      (s0, s2))                                                                                    \
    X(dspFftLeafPassInv, void, (double* data, int step, int count, const double* twiddles),        \
      (s1, s3, s2n))                                                                               \
    /* The AVX slots' rows (dsp/fft/avx_blocks.slots.cpp): first passes of a bit-reversed */       \
    /* block, interleaved in, split-4 out; the stages of a block of L values from src into out, */ \
    /* returning the set past the last; the block transform in place, split-4 or interleaved. */   \
    X(dspFftFirstPassRadix4, void, (const double* src, double* dst, int n), (s4, s5))              \
    X(dspFftFirstPassRadix8, void, (const double* src, double* dst, int n), (s4, s5))              \
    X(dspFftPermutedBlockStages, const double*,                                                    \
      (const double* src, int L, const double* twiddles, double* out), (s4, s5))                   \
    X(dspFftBlockFwd, void,                                                                        \
      (double* block, int n, const double* twiddles, BYTE* work, int interleavedOut), (s4, s5))    \
    /* The inverse rows and columns of slots 4 and 5: the same first passes, block stages */       \
    /* (sub-block: n values from src into out) and block transform (result split-4) with the */    \
    /* conjugate roots; the column pass is the leaf pass of the inverse (data2 not read). */       \
    X(dspFftFirstRadix4PassInv, void, (const double* src, double* out, int n), (s4, s5))           \
    X(dspFftFirstRadix8PassInv, void, (const double* src, double* out, int n), (s4, s5))           \
    X(dspFftSubBlockInv, const double*,                                                            \
      (const double* src, int n, const double* twiddles, double* out), (s4, s5))                   \
    X(dspFftLeafBlockInv, void, (double* data, int n, const double* twiddles, BYTE* work),         \
      (s4, s5))                                                                                    \
    X(dspFftColumnPassInv, void,                                                                   \
      (double* data, double* data2, int span, int groups, const double* twiddles), (s4, s5))       \
    /* The forward recombination of the half-length result (h = N/2 values, X[0] and X[N/2] */     \
    /* already in place) by the spec's forward table (dsp/fft/postprocess.h). */                   \
    X(dspRealFftPostProcess, void, (double* data, int h, const double* table),                     \
      (s0, s1, s2, s3, s4, s5, s2n))                                                               \
    /* The inverse pre-processing: the spectrum (src, N + 2 doubles, n = N/2) becomes the */       \
    /* half-length array Y[1 .. n-1] of dst by the spec's inverse table (postprocess.h). */        \
    X(dspRealFftInvPreProcess, void, (const double* src, double* dst, int n, const double* table), \
      (s0, s1, s2, s3, s4, s5, s2n))                                                               \
    /* The mid-order complex FFT of slots 4 and 5 and its passes over the split-4 layout (four */  \
    /* real parts, then four imaginary parts), forward (dsp/fft/midorder.slots.cpp). A set is */   \
    /* the staged twiddle set of one stage; lengths and steps count complex values. */             \
    X(dspFftMidOrderFwd, void,                                                                     \
      (const double* src, double* dst, int n, const double* twiddles, const int32_t* table,        \
       BYTE* work),                                                                                \
      (s4, s5))                                                                                    \
    X(dspFftFirstPassRadix8Gather, void,                                                           \
      (const double* src, double* work, const int32_t* table, int n), (s4))                        \
    X(dspFftRadix4PassStep4, void, (double* data, const double* set, int len), (s4, s5))           \
    X(dspFftRadix4PassStep8, void, (double* data, const double* set, int len), (s4, s5))           \
    X(dspFftRadix4Pass, void, (double* data, const double* set, int step, int count), (s4, s5))    \
    X(dspFftBlockStages, const double*, (double* block, int len, const double* table), (s4, s5))   \
    X(dspFftLastPassInterleave, void,                                                              \
      (const double* work, double* dst, const double* set, int step), (s5))                        \
    /* The same driver and passes for the inverse (exponent +), unscaled. */                       \
    X(dspFftMidOrderInv, void,                                                                     \
      (const double* src, double* dst, int n, const double* twiddles, const int32_t* table,        \
       BYTE* work),                                                                                \
      (s4, s5))                                                                                    \
    X(dspFftGatherRadix8PassInv, void,                                                             \
      (const double* src, double* work, const int32_t* table, int n), (s4))                        \
    X(dspFftRadix4Span4PassInv, void, (double* data, const double* set, int len), (s4, s5))        \
    X(dspFftRadix4Span8PassInv, void, (double* data, const double* set, int len), (s4, s5))        \
    X(dspFftRadix4PassInv, void, (double* data, const double* set, int step, int count), (s4, s5)) \
    X(dspFftMidOrderBlockInv, const double*, (double* block, int len, const double* table),        \
      (s4, s5))                                                                                    \
    X(dspFftFinalPassInv, void, (const double* work, double* dst, const double* set, int step),    \
      (s5))                                                                                        \
    /* The inverse real FFT from the spectrum (src, N + 2 doubles, n = N/2) to the N samples */     \
    /* of dst, unscaled: the pre-processing by the spec's inverse table (recomb) fused into the */ \
    /* driver's first pass, the half-length array never stored; the bits of the pre-processing */ \
    /* and the driver one after the other. */                                                     \
    X(dspFftMidOrderInvCcs, void,                                                                  \
      (const double* src, double* dst, int n, const double* twiddles, const int32_t* table,        \
       const double* recomb, BYTE* work),                                                          \
      (s4, s5))

// DSP_EFFECT_ROUTINES(X): the effects' sample loops, dispatched per slot as the operations are
// (a stub `name` and a first-call stub `name_init`, declared in dsp/effect_loops.h) but not
// public. X(name, Ret, params, args, slots). Slot 0 of the FIR sums runs
// slot 1's body: the effects are built for SSE2 (docs/windows.md), and an x87 body could not
// give SSE2's bits.
#define DSP_EFFECT_ROUTINES(X)                                                                     \
    /* x -> -x in place over len >= 0 samples, -32768 (no positive counterpart) to 32767. */       \
    X(dspNegateInPlace16s, void, (int16_t * srcDst, int64_t len), (srcDst, len), (s0, s1))         \
    /* x -> clamp(floor((x gain + 128) / 256)) in place over len >= 0 samples (a Q8 gain). */      \
    X(dspMulQ8InPlace16s, void, (int16_t * srcDst, int64_t len, int32_t gain),                     \
      (srcDst, len, gain), (s0, s1))                                                               \
    /* The order of frames frames >= 0 of channels >= 1 interleaved samples reversed in place, */  \
    /* each frame keeping the order of its channels. */                                            \
    X(dspReverseFrames16s, void, (int16_t * srcDst, int64_t frames, int32_t channels),             \
      (srcDst, frames, channels), (s0, s1))                                                        \
    /* dst[k] = src[k stride] / 32768 for k < len, len >= 0, stride >= 1 (one channel of */        \
    /* interleaved samples as doubles of full scale 1; every value exact). */                      \
    X(dspWidenStrided16s64f, void,                                                                 \
      (const int16_t* src, int64_t stride, double* dst, int64_t len), (src, stride, dst, len),     \
      (DSP_RUNS(s0, s1), s1, s4))                                                                  \
    /* dst[k stride] = src[k] scale clamped to -32768 .. 32767 and truncated toward zero, NaN */   \
    /* to 0, for k < len, len >= 0, stride >= 1; the samples between stay. */                      \
    X(dspNarrowStrided64f16s, void,                                                                \
      (const double* src, double scale, int16_t* dst, int64_t stride, int64_t len),                \
      (src, scale, dst, stride, len), (DSP_RUNS(s0, s1), s1, s4))                                  \
    /* dst[n] = sum over k < tapCount of taps[k] x[n - k] for n < count, added in the order */     \
    /* k = 0, 1, ... in every slot, so every slot gives the same bits (x holds the */              \
    /* tapCount - 1 inputs before x[0]); the wider slots only compute more outputs at once. */     \
    X(dspFirSums64f, void,                                                                         \
      (const double* taps, size_t tapCount, const double* x, double* dst, int count),              \
      (taps, tapCount, x, dst, count), (DSP_RUNS(s0, s1), s1, s4))

// DSP_TEST_ROUTINES(X): per-slot routines of the test build only; dsp/testing.h declares them.
// X(name, Ret, params, slots).
#define DSP_TEST_ROUTINES(X)                                                                       \
    /* The vector vocabulary's self-test: the number of failed lane checks; the first failure */   \
    /* is described in message (capacity bytes, terminated). */                                    \
    X(dspVecSelfTest, int, (char* message, int capacity), (s0, s1, s2, s3, s4, s5, s2n))

// clang-format on

// ---------------------------------------------------------------------------------------------
// Expansion helpers.

#define DSP_PP_CAT_(a, b) a##b
#define DSP_PP_CAT(a, b) DSP_PP_CAT_(a, b)
#define DSP_PP_SECOND_(a, b, ...) b
#define DSP_PP_SECOND(...) DSP_PP_SECOND_(__VA_ARGS__, )
#define DSP_PP_UNPAREN(...) __VA_ARGS__
#define DSP_PP_EMPTY(...)
#define DSP_PP_CALL(m, args) m args
#define DSP_PP_IF_1(yes, no) yes
#define DSP_PP_IF_0(yes, no) no
#define DSP_PP_IF(cond) DSP_PP_CAT(DSP_PP_IF_, cond)
// 1 when x is parenthesised (a DSP_RUNS pair), else 0.
#define DSP_PP_IS_PAREN_PROBE(...) ~, 1
#define DSP_PP_IS_PAREN(x) DSP_PP_SECOND(DSP_PP_IS_PAREN_PROBE x, 0)

// M(d, x) for each x of up to twelve arguments.
// clang-format off
#define DSP_PP_NARGS_(a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, n, ...) n
#define DSP_PP_NARGS(...) DSP_PP_NARGS_(__VA_ARGS__, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, )
#define DSP_PP_EACH_1(M, d, x) M(d, x)
#define DSP_PP_EACH_2(M, d, x, ...) M(d, x) DSP_PP_EACH_1(M, d, __VA_ARGS__)
#define DSP_PP_EACH_3(M, d, x, ...) M(d, x) DSP_PP_EACH_2(M, d, __VA_ARGS__)
#define DSP_PP_EACH_4(M, d, x, ...) M(d, x) DSP_PP_EACH_3(M, d, __VA_ARGS__)
#define DSP_PP_EACH_5(M, d, x, ...) M(d, x) DSP_PP_EACH_4(M, d, __VA_ARGS__)
#define DSP_PP_EACH_6(M, d, x, ...) M(d, x) DSP_PP_EACH_5(M, d, __VA_ARGS__)
#define DSP_PP_EACH_7(M, d, x, ...) M(d, x) DSP_PP_EACH_6(M, d, __VA_ARGS__)
#define DSP_PP_EACH_8(M, d, x, ...) M(d, x) DSP_PP_EACH_7(M, d, __VA_ARGS__)
#define DSP_PP_EACH_9(M, d, x, ...) M(d, x) DSP_PP_EACH_8(M, d, __VA_ARGS__)
#define DSP_PP_EACH_10(M, d, x, ...) M(d, x) DSP_PP_EACH_9(M, d, __VA_ARGS__)
#define DSP_PP_EACH_11(M, d, x, ...) M(d, x) DSP_PP_EACH_10(M, d, __VA_ARGS__)
#define DSP_PP_EACH_12(M, d, x, ...) M(d, x) DSP_PP_EACH_11(M, d, __VA_ARGS__)
#define DSP_PP_FOR_EACH(M, d, ...) \
    DSP_PP_CAT(DSP_PP_EACH_, DSP_PP_NARGS(__VA_ARGS__))(M, d, __VA_ARGS__)
// clang-format on

// In a slots field: `slot` runs the body of `lender`.
#define DSP_RUNS(slot, lender) (slot, lender)

// M(d, id) for every slot of the field with a body of its own, M(d, (slot, lender)) for every
// DSP_RUNS. (Each level of the expansion calls through a macro of its own.)
// clang-format off
#define DSP_EACH_APPLY_(M, d, x) M(d, x)
#define DSP_EACH_CALL_(m, args) m args
#define DSP_OWN_SLOT_(d, x) \
    DSP_PP_IF(DSP_PP_IS_PAREN(x))(DSP_PP_EMPTY, DSP_EACH_CALL_)(DSP_EACH_APPLY_, (DSP_PP_UNPAREN d, x))
#define DSP_RUNS_SLOT_(d, x) \
    DSP_PP_IF(DSP_PP_IS_PAREN(x))(DSP_EACH_CALL_, DSP_PP_EMPTY)(DSP_EACH_APPLY_, (DSP_PP_UNPAREN d, x))
#define DSP_FOR_EACH_OWN_SLOT(M, d, slots) DSP_PP_FOR_EACH(DSP_OWN_SLOT_, (M, d), DSP_PP_UNPAREN slots)
#define DSP_FOR_EACH_RUNS(M, d, slots) DSP_PP_FOR_EACH(DSP_RUNS_SLOT_, (M, d), DSP_PP_UNPAREN slots)
// clang-format on

// One declaration per body of its own.
#define DSP_DECLARE_BODY_(d, id) DSP_PP_CALL(DSP_DECLARE_BODY2_, (DSP_PP_UNPAREN d, id))
#define DSP_DECLARE_BODY2_(name, Ret, params, id) Ret DSP_CALL name##_##id params;
#define DSP_DECLARE_BODIES(name, Ret, params, slots) \
    DSP_FOR_EACH_OWN_SLOT(DSP_DECLARE_BODY_, (name, Ret, params), slots)

#ifdef __cplusplus
#include "dsp/slot_list.h"

#include <array>
#include <initializer_list>

// dspfn::name: the pointer type of every body of routine `name`.
namespace dspfn {
#define DSP_FN_TYPE_OF_OPERATION(name, params, args, ...) using name = DspStatus(DSP_CALL*) params;
#define DSP_FN_TYPE_OF_ROUTINE(name, Ret, params, ...) using name = Ret(DSP_CALL*) params;
DSP_OPERATIONS(DSP_FN_TYPE_OF_OPERATION)
DSP_PUBLIC_ROUTINES(DSP_FN_TYPE_OF_ROUTINE)
DSP_INTERNAL_ROUTINES(DSP_FN_TYPE_OF_ROUTINE)
DSP_EFFECT_ROUTINES(DSP_FN_TYPE_OF_ROUTINE)
DSP_TEST_ROUTINES(DSP_FN_TYPE_OF_ROUTINE)
#undef DSP_FN_TYPE_OF_OPERATION
#undef DSP_FN_TYPE_OF_ROUTINE
}  // namespace dspfn

// The body of every slot (index of dsp/slot_list.h), null where the slot has none.
template <typename Fn>
using DspSlotTable = std::array<Fn, kDspSlotCountWith2n>;

template <typename Fn>
struct DspOwnBody {
    int slot;
    Fn body;
};
struct DspRunsBody {
    int slot, lender;
};

// The table of an entry, by the rules above, with whether each slot has a body: a broken entry
// is no constant expression (the throw), so that it fails to compile. Whether a slot has a body
// is kept apart from the pointer because comparing the address of a function defined elsewhere
// with null is no constant expression where the compiler may not assume it non-null (the
// sanitizer builds).
template <typename Fn>
struct DspSlotBodies {
    DspSlotTable<Fn> body{};
    std::array<bool, kDspSlotCountWith2n> has{};
};
template <typename Fn>
constexpr DspSlotBodies<Fn> dspSlotBodiesOf(bool dispatched,
                                            std::initializer_list<DspOwnBody<Fn>> own,
                                            std::initializer_list<DspRunsBody> runs) {
    DspSlotBodies<Fn> t{};
    for (const DspOwnBody<Fn>& o : own) {
        if (t.has[o.slot]) throw "a slot is named twice";
        t.body[o.slot] = o.body;
        t.has[o.slot] = true;
    }
    DspSlotBodies<Fn> r = t;
    for (const DspRunsBody& u : runs) {
        if (!t.has[u.lender]) throw "DSP_RUNS names a lender without a body of its own";
        if (r.has[u.slot]) throw "a slot is named twice";
        r.body[u.slot] = t.body[u.lender];
        r.has[u.slot] = true;
    }
    if (dispatched) {
        if (!r.has[0]) throw "slot 0 of a dispatched routine has no body";
        for (int s = 1; s < kDspSlotCount; ++s) {
            if (!r.has[s]) {
                r.body[s] = r.body[s - 1];
                r.has[s] = true;
            }
        }
    }
    return r;
}
template <typename Fn>
constexpr DspSlotTable<Fn> dspSlotTableOf(bool dispatched,
                                          std::initializer_list<DspOwnBody<Fn>> own,
                                          std::initializer_list<DspRunsBody> runs) {
    return dspSlotBodiesOf<Fn>(dispatched, own, runs).body;
}

// DSP_SLOT_TABLE(dspfn::name, name, dispatched, slots): that table, constant; DSP_SLOT_BODIES
// the same with its presence bits.
#define DSP_OWN_BODY_(name, id) {kDspSlotIndex_##id, name##_##id},
#define DSP_RUNS_BODY_(unused, pair) DSP_PP_CALL(DSP_RUNS_BODY2_, pair)
#define DSP_RUNS_BODY2_(slot, lender) {kDspSlotIndex_##slot, kDspSlotIndex_##lender},
#define DSP_SLOT_TABLE(Fn, name, dispatched, slots)                                     \
    dspSlotTableOf<Fn>(dispatched, {DSP_FOR_EACH_OWN_SLOT(DSP_OWN_BODY_, name, slots)}, \
                       {DSP_FOR_EACH_RUNS(DSP_RUNS_BODY_, ~, slots)})
#define DSP_SLOT_BODIES(Fn, name, dispatched, slots)                                     \
    dspSlotBodiesOf<Fn>(dispatched, {DSP_FOR_EACH_OWN_SLOT(DSP_OWN_BODY_, name, slots)}, \
                        {DSP_FOR_EACH_RUNS(DSP_RUNS_BODY_, ~, slots)})
#endif
