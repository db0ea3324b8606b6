// The one list of the per-slot routines of corvane-dsp and the slots each exists for.
//
// Everything that needs "the bodies of routine R by slot" is made from these lists: the dispatch
// tables (dsp/dispatch.cpp), the declarations of the internal routines (dsp/internal.h), the
// compile-time check of the prototypes that include/corvane/dsp.h writes out by hand, and the
// slot tables of the tests and benchmarks (dsp/support/slot_tables.h).
//
// An entry names the body of each slot in the order 0, 1, 2, 3, 4, 5, 2n: a token s0 .. s5 or s2n
// for name_s0 .. name_s2n, or `none` where the slot has no body. For an operation the tokens of
// slots 0 to 5 are also its dispatch entries, so a slot may name another slot's body (slots 4
// and 5 of the median buffer-size query run the slot-1 body).
//
// Adding a routine: one line in the list it belongs to, then the bodies in a family declared in
// dsp/CMakeLists.txt (or dsp/fft/CMakeLists.txt) for the same slots.
#pragma once

#include "corvane/dsp.h"

#include <stddef.h>
#include <stdint.h>

// clang-format off
// DSP_OPERATIONS(X): the twelve public operations in the order of dsp.h (and of the operation
// numbers of dspTestDispatchEntry). X(name, params, args, b0, b1, b2, b3, b4, b5, b2n); every
// operation returns DspStatus and has a dispatch stub `name` and a first-call stub `name_init`.
#define DSP_OPERATIONS(X)                                                                          \
    X(dspSet64f, (double value, double* dst, int len), (value, dst, len), s0, s1, s2, s3, s4, s5,  \
      none)                                                                                        \
    X(dspMulConstInPlace64f, (double value, double* srcDst, int len), (value, srcDst, len), s0,    \
      s1, s2, s3, s4, s5, none)                                                                    \
    X(dspMulConst64f, (const double* src, double value, double* dst, int len),                     \
      (src, value, dst, len), s0, s1, s2, s3, s4, s5, none)                                        \
    X(dspMul64f, (const double* src1, const double* src2, double* dst, int len),                   \
      (src1, src2, dst, len), s0, s1, s2, s3, s4, s5, none)                                        \
    X(dspMagnitude64fc, (const double* src, double* dst, int len), (src, dst, len), s0, s1, s2,    \
      s3, s4, s5, none)                                                                            \
    X(dspFftGetSizeReal64f,                                                                        \
      (int order, int flag, int hint, int* specSize, int* specBufSize, int* workSize),             \
      (order, flag, hint, specSize, specBufSize, workSize), s0, s1, s2, s3, s4, s5, s2n)           \
    X(dspFftInitReal64f,                                                                           \
      (DspFftSpecReal64f * *spec, int order, int flag, int hint, BYTE* specMem, BYTE* specBuf),    \
      (spec, order, flag, hint, specMem, specBuf), s0, s1, s2, s3, s4, s5, s2n)                    \
    X(dspFftFwdRealToCcs64f,                                                                       \
      (const double* src, double* dst, const DspFftSpecReal64f* spec, BYTE* work),                 \
      (src, dst, spec, work), s0, s1, s2, s3, s4, s5, s2n)                                         \
    X(dspFftInvCcsToReal64f,                                                                       \
      (const double* src, double* dst, const DspFftSpecReal64f* spec, BYTE* work),                 \
      (src, dst, spec, work), s0, s1, s2, s3, s4, s5, s2n)                                         \
    X(dspMedianGetBufferSize, (int mask, int dataType, int* size), (mask, dataType, size), s0, s1, \
      s2, s3, s1, s1, none)                                                                        \
    X(dspMedian64f,                                                                                \
      (const double* src, double* dst, int len, int mask, const double* dlySrc, double* dlyDst,    \
       BYTE* buf),                                                                                 \
      (src, dst, len, mask, dlySrc, dlyDst, buf), s0, s1, s2, s3, s4, s5, none)                    \
    X(dspMedianInPlace64f,                                                                         \
      (double* srcDst, int len, int mask, const double* dlySrc, double* dlyDst, BYTE* buf),        \
      (srcDst, len, mask, dlySrc, dlyDst, buf), s0, s1, s2, s3, s4, s5, none)

// DSP_PUBLIC_ROUTINES(X): per-slot routines without dispatch whose prototypes dsp.h writes out.
// X(name, Ret, params, b0, b1, b2, b3, b4, b5, b2n).
#define DSP_PUBLIC_ROUTINES(X)                                                                     \
    X(dspZero64f, DspStatus, (double* dst, int len), s0, s1, s2, s3, s4, s5, none)                 \
    X(dspCopy64f, DspStatus, (const double* src, double* dst, int len), s0, s1, s2, s3, s4, s5,    \
      none)                                                                                        \
    X(dspCopyChecked, DspStatus, (const BYTE* src, BYTE* dst, int len), none, s1, s2, s3, s4, s5,  \
      none)                                                                                        \
    X(dspZeroBytes, BYTE*, (BYTE * dst, int len), s0, s1, s2, s3, s4, s5, none)                    \
    X(dspZeroBytesStreaming, BYTE*, (BYTE * dst, int len), none, none, none, none, s4, s5, none)   \
    X(dspCopyBytes, BYTE*, (const BYTE* src, BYTE* dst, int len), s0, s1, s2, s3, s4, s5, none)

// DSP_INTERNAL_ROUTINES(X): per-slot routines that only the library calls; dsp/internal.h
// declares them from this list. X(name, Ret, params, b0, b1, b2, b3, b4, b5, b2n).
#define DSP_INTERNAL_ROUTINES(X)                                                                   \
    /* Store the 64-bit pattern (hi:lo) count times at dst (any alignment), count >= 1; dst. */    \
    X(dspFill64, double*, (uint32_t lo, uint32_t hi, double* dst, int count), s0, s1, s2, s3, s4,  \
      s5, none)                                                                                    \
    /* SSE2 multiply kernels: arguments checked by the caller, len >= 1, value no shortcut. */     \
    X(dspMulConstInPlaceKernel, void, (double value, double* srcDst, int len), none, s1, s2, s3,   \
      none, none, none)                                                                            \
    X(dspMulConstKernel, void, (const double* src, double value, double* dst, int len), none, s1,  \
      s2, s3, none, none, none)                                                                    \
    X(dspMulKernel, void, (const double* src1, const double* src2, double* dst, int len), none,    \
      s1, s2, s3, none, none, none)                                                                \
    /* Forward string moves; the direction flag is cleared for the copy and set again when it */  \
    /* was set on entry. Not for dst above an overlapping src. */                                  \
    X(dspMoveBytes, BYTE*, (const BYTE* src, BYTE* dst, int len), none, none, none, none, s4, s5,  \
      none)                                                                                        \
    /* 64 bytes a step with non-temporal stores; len a positive multiple of 64, dst 64-byte */     \
    /* aligned; no fence (the caller fences). */                                                   \
    X(dspStreamCopyBytes, BYTE*, (const BYTE* src, BYTE* dst, int len), none, none, none, none,    \
      none, s5, none)                                                                              \
    /* From the end backwards, 64 bytes a step; len a positive multiple of 64, dst + len */        \
    /* 64-byte aligned. */                                                                         \
    X(dspStreamCopyBytesBackward, BYTE*, (const BYTE* src, BYTE* dst, int len), none, none, none,  \
      none, none, s5, none)                                                                        \
    /* The slot-5 copy from 32768 bytes on: streams above 4 MiB from half the largest cache, */    \
    /* copies backwards when dst trails src by less than 160 bytes modulo 4 KiB, else moves. */    \
    X(dspCopyStreaming, BYTE*, (const BYTE* src, BYTE* dst, int len), none, none, none, none,      \
      none, s5, none)                                                                              \
    /* Entry stubs of the vector-math table (dsp/vecmath/vecmath.h): the magnitude stubs call */   \
    /* accuracy slot 0 of their row, the sine and cosine stubs accuracy slot 1. */                 \
    X(dspVecAbs64fc, DspStatus, (const double* src, double* dst, int n), s0, s1, s2, s3, s4, s5,   \
      none)                                                                                        \
    X(dspVecSin64f, DspStatus, (const double* src, double* dst, int n), s0, s1, s2, s3, s4, s5,    \
      none)                                                                                        \
    X(dspVecCos64f, DspStatus, (const double* src, double* dst, int n), s0, s1, s2, s3, s4, s5,    \
      none)                                                                                        \
    /* Real-FFT set-up: table builders, large-order plans and sizes (dsp/fft/builders.h). */       \
    X(dspFftSpecClear, DspStatus, (BYTE * p, int bytes), s0, s1, s2, s3, s4, s5, s2n)              \
    X(dspFftBaseTable, BYTE*, (int order, double* dst), s0, s1, s2, s3, s4, s5, s2n)               \
    X(dspFftBitReverseTable, BYTE*, (int m, int32_t* dst), s0, s1, s2, s3, s1, s5, s2n)            \
    X(dspFftTwiddleTable, BYTE*, (int m, const double* base, int T, double* dst), s0, s1, s2, s3,  \
      s4, s5, s2n)                                                                                 \
    X(dspFftFwdRecombTable, BYTE*, (int order, const double* base, int T, double* dst), s0, s1,    \
      s2, s3, s4, s5, s2n)                                                                         \
    X(dspFftInvRecombTable, BYTE*, (int order, const double* base, int T, double* dst), s0, s1,    \
      s2, s3, s4, s5, s2n)                                                                         \
    X(dspFftLargePlanInit, BYTE*,                                                                  \
      (DspFftSpecReal64f * spec, int m, const double* base, int T, int32_t* dst, BYTE* scratch),   \
      s0, s1, s2, s3, s4, s5, s2n)                                                                 \
    X(dspFftRecursivePlanLevel, BYTE*,                                                             \
      (DspFftSpecReal64f * spec, int m, const double* base, int T, int depth, BYTE* dst,           \
       BYTE* scratch),                                                                             \
      s0, s1, s2, s3, s4, s5, s2n)                                                                 \
    X(dspFftBlockBitReverseTable, BYTE*, (int m, int halfTileOrder, int32_t* dst), none, s1, s2,   \
      s3, s4, s5, s2)                                                                              \
    X(dspFftLargeOrderSize, void,                                                                  \
      (int m, int64_t* specSize, int64_t* specBufSize, int64_t* workSize), s0, s1, s2, s3, s4, s5, \
      s2n)                                                                                         \
    /* Bit-reversal permutations of n complex values, raw bits: by the pair-format table in */    \
    /* slots 0 and 2, by the index table elsewhere (dsp/fft/butterfly.slots.cpp). */              \
    X(dspBitReversePermute, void, (const double* src, double* dst, int n, const int32_t* table),   \
      s0, s1, s2, s3, none, none, s2n)                                                             \
    X(dspBitReversePermuteInPlace, void, (double* data, int n, const int32_t* table), s0, s1, s2,  \
      s3, s4, s5, s2n)                                                                             \
    /* The tiled permutation's transfers (dsp/fft/blocks.slots.cpp): a 32 x 32 tile into */      \
    /* 10-bit-reversed order by the order-10 pair table; blocks of rows x count values between */ \
    /* a strided array (stride in values) and a contiguous one, the scatter turning split */      \
    /* groups into interleaved values where its mode says so. */                                  \
    X(dspBitReversePermuteBlock, void, (double* data, int n, const int32_t* pairs), none, s1, s2, \
      s3, s4, s5, s2n)                                                                             \
    X(dspFftGatherBlock, void, (const double* src, double* dst, int stride, int rows, int count),  \
      none, s1, s2, s3, s4, s4, s2n)                                                               \
    X(dspFftScatterBlock, void,                                                                    \
      (double* dst, const double* src, int stride, int rows, int count, int mode), none, s1, s2,   \
      s3, s4, s4, s2n)                                                                             \
    /* Complex FFT of n = 2^m values by radix-4 passes over the staged twiddles, both */          \
    /* directions (dsp/fft/butterfly.slots.cpp). The passes gather src through the index table */ \
    /* into natural-order dst; the block butterflies transform bit-reversed data in place, */     \
    /* interleaved (flag 1) or in the two-column split layout (flag 0). work: n values. */        \
    X(dspFftButterflyPassesFwd, void,                                                              \
      (const double* src, double* dst, int n, const double* twiddles, const int32_t* table,        \
       BYTE* work),                                                                                \
      none, s1, none, s3, none, none, s2n)                                                         \
    X(dspFftButterflyPassesInv, void,                                                              \
      (const double* src, double* dst, int n, const double* twiddles, const int32_t* table,        \
       BYTE* work),                                                                                \
      none, s1, none, s3, none, none, s2n)                                                         \
    X(dspFftBlockButterfliesFwd, void,                                                             \
      (double* data, int n, const double* twiddles, BYTE* work, int flag), none, s1, none, s3,      \
      none, none, s2n)                                                                             \
    X(dspFftBlockButterfliesInv, void,                                                             \
      (double* data, int n, const double* twiddles, BYTE* work, int flag), none, s1, none, s3,      \
      none, none, s2n)                                                                             \
    /* The recursive cache-blocked forward drivers (dsp/fft/recursive.slots.cpp): the entry */   \
    /* permutes src into dst and transforms the 2^m values there; the inner routine is one */     \
    /* level of depth >= 1 on values in bit-reversed order; the combining step joins blk-value */ \
    /* transforms by radix-2 passes; the leaf pass is one radix-4 column stage in place on the */ \
    /* work buffer (other is not read). */                                                        \
    X(dspFftRecursiveFwd, void,                                                                    \
      (const DspFftSpecReal64f* spec, const double* src, double* dst, int m, BYTE* work), s0, s1,  \
      s2, s3, s4, s5, s2n)                                                                         \
    X(dspFftRecursiveFwdInner, void,                                                               \
      (const DspFftSpecReal64f* spec, double* data, int m, int depth, BYTE* work), s0, s1, s2, s3, \
      s4, s5, s2n)                                                                                 \
    X(dspFftRecursionStepFwd, void, (double* data, int n, int blk, const double* twiddles), s0,    \
      none, s2, none, none, none, none)                                                            \
    X(dspFftLeafPassFwd, void,                                                                     \
      (double* data, double* other, int step, int count, const double* twiddles), none, s1, none,  \
      s3, s4, s5, s2n)                                                                             \
    /* The same in the inverse direction: the entry transforms dst in place (the body passes */  \
    /* its array as src and dst), each row scaled once by the inverse scale; the leaf pass */      \
    /* takes the conjugates of the forward records and turns by +i. */                            \
    X(dspFftRecursiveInv, void,                                                                    \
      (const DspFftSpecReal64f* spec, const double* src, double* dst, int m, BYTE* work), s0, s1,  \
      s2, s3, s4, s5, s2n)                                                                         \
    X(dspFftRecursiveInvInner, void,                                                               \
      (const DspFftSpecReal64f* spec, double* data, int m, int depth, BYTE* work), s0, s1, s2, s3, \
      s4, s5, s2n)                                                                                 \
    X(dspFftRecursionStepInv, void, (double* data, int n, int blk, const double* twiddles), s0,    \
      none, s2, none, none, none, none)                                                            \
    X(dspFftLeafPassInv, void, (double* data, int step, int count, const double* twiddles), none,  \
      s1, none, s3, none, none, s2n)                                                               \
    /* The AVX slots' rows (dsp/fft/avx_blocks.slots.cpp): first passes of a bit-reversed */      \
    /* block, interleaved in, split-4 out; the stages of a block of L values from src into out, */ \
    /* returning the set past the last; the block transform in place, split-4 or interleaved. */  \
    X(dspFftFirstPassRadix4, void, (const double* src, double* dst, int n), none, none, none,      \
      none, s4, s5, none)                                                                          \
    X(dspFftFirstPassRadix8, void, (const double* src, double* dst, int n), none, none, none,      \
      none, s4, s5, none)                                                                          \
    X(dspFftPermutedBlockStages, const double*,                                                    \
      (const double* src, int L, const double* twiddles, double* out), none, none, none, none, s4, \
      s5, none)                                                                                    \
    X(dspFftBlockFwd, void,                                                                        \
      (double* block, int n, const double* twiddles, BYTE* work, int interleavedOut), none, none,  \
      none, none, s4, s5, none)                                                                    \
    /* The inverse rows and columns of slots 4 and 5: the same first passes, block stages */     \
    /* (sub-block: n values from src into out) and block transform (result split-4) with the */    \
    /* conjugate roots; the column pass is the leaf pass of the inverse (data2 not read). */      \
    X(dspFftFirstRadix4PassInv, void, (const double* src, double* out, int n), none, none, none,   \
      none, s4, s5, none)                                                                          \
    X(dspFftFirstRadix8PassInv, void, (const double* src, double* out, int n), none, none, none,   \
      none, s4, s5, none)                                                                          \
    X(dspFftSubBlockInv, const double*,                                                            \
      (const double* src, int n, const double* twiddles, double* out), none, none, none, none, s4, \
      s5, none)                                                                                    \
    X(dspFftLeafBlockInv, void, (double* data, int n, const double* twiddles, BYTE* work), none,   \
      none, none, none, s4, s5, none)                                                              \
    X(dspFftColumnPassInv, void,                                                                   \
      (double* data, double* data2, int span, int groups, const double* twiddles), none, none,     \
      none, none, s4, s5, none)                                                                    \
    /* The forward recombination of the half-length result (h = N/2 values, X[0] and X[N/2] */    \
    /* already in place) by the spec's forward table (dsp/fft/postprocess.h). */                   \
    X(dspRealFftPostProcess, void, (double* data, int h, const double* table), s0, s1, s2, s3,     \
      s4, s5, s2n)                                                                                 \
    /* The inverse pre-processing: the spectrum (src, N + 2 doubles, n = N/2) becomes the */       \
    /* half-length array Y[1 .. n-1] of dst by the spec's inverse table (postprocess.h). */        \
    X(dspRealFftInvPreProcess, void, (const double* src, double* dst, int n, const double* table), \
      s0, s1, s2, s3, s4, s5, s2n)                                                                 \
    /* The mid-order complex FFT of slots 4 and 5 and its passes over the split-4 layout (four */ \
    /* real parts, then four imaginary parts), forward (dsp/fft/midorder.slots.cpp). A set is */   \
    /* the staged twiddle set of one stage; lengths and steps count complex values. */            \
    X(dspFftMidOrderFwd, void,                                                                     \
      (const double* src, double* dst, int n, const double* twiddles, const int32_t* table,        \
       BYTE* work),                                                                                \
      none, none, none, none, s4, s5, none)                                                        \
    X(dspFftFirstPassRadix8Gather, void,                                                           \
      (const double* src, double* work, const int32_t* table, int n), none, none, none, none, s4,  \
      none, none)                                                                                  \
    X(dspFftRadix4PassStep4, void, (double* data, const double* set, int len), none, none, none,   \
      none, s4, s5, none)                                                                          \
    X(dspFftRadix4PassStep8, void, (double* data, const double* set, int len), none, none, none,   \
      none, s4, s5, none)                                                                          \
    X(dspFftRadix4Pass, void, (double* data, const double* set, int step, int count), none, none,  \
      none, none, s4, s5, none)                                                                    \
    X(dspFftBlockStages, const double*, (double* block, int len, const double* table), none,       \
      none, none, none, s4, s5, none)                                                              \
    X(dspFftLastPassInterleave, void,                                                              \
      (const double* work, double* dst, const double* set, int step), none, none, none, none,      \
      none, s5, none)                                                                              \
    /* The same driver and passes for the inverse (exponent +), unscaled. */                      \
    X(dspFftMidOrderInv, void,                                                                     \
      (const double* src, double* dst, int n, const double* twiddles, const int32_t* table,        \
       BYTE* work),                                                                                \
      none, none, none, none, s4, s5, none)                                                        \
    X(dspFftGatherRadix8PassInv, void,                                                             \
      (const double* src, double* work, const int32_t* table, int n), none, none, none, none, s4,  \
      none, none)                                                                                  \
    X(dspFftRadix4Span4PassInv, void, (double* data, const double* set, int len), none, none,      \
      none, none, s4, s5, none)                                                                    \
    X(dspFftRadix4Span8PassInv, void, (double* data, const double* set, int len), none, none,      \
      none, none, s4, s5, none)                                                                    \
    X(dspFftRadix4PassInv, void, (double* data, const double* set, int step, int count), none,     \
      none, none, none, s4, s5, none)                                                              \
    X(dspFftMidOrderBlockInv, const double*, (double* block, int len, const double* table), none,  \
      none, none, none, s4, s5, none)                                                              \
    X(dspFftFinalPassInv, void, (const double* work, double* dst, const double* set, int step),    \
      none, none, none, none, none, s5, none)

// DSP_EFFECT_ROUTINES(X): the effects' sample loops, dispatched per slot as the operations are
// (a stub `name` and a first-call stub `name_init`, declared in dsp/effect_loops.h) but not
// public. X(name, Ret, params, args, b0, b1, b2, b3, b4, b5, b2n). Slot 0 of the FIR sums runs
// slot 1's body: the effects are built for SSE2 (docs/windows.md), and an x87 body could not
// give SSE2's bits.
#define DSP_EFFECT_ROUTINES(X)                                                                     \
    /* x -> -x in place over len >= 0 samples, -32768 (no positive counterpart) to 32767. */      \
    X(dspNegateInPlace16s, void, (int16_t * srcDst, int64_t len), (srcDst, len), s0, s1, s1, s1,   \
      s1, s1, none)                                                                                \
    /* x -> clamp(floor((x gain + 128) / 256)) in place over len >= 0 samples (a Q8 gain). */     \
    X(dspMulQ8InPlace16s, void, (int16_t * srcDst, int64_t len, int32_t gain),                     \
      (srcDst, len, gain), s0, s1, s1, s1, s1, s1, none)                                           \
    /* The order of frames frames >= 0 of channels >= 1 interleaved samples reversed in place, */ \
    /* each frame keeping the order of its channels. */                                           \
    X(dspReverseFrames16s, void, (int16_t * srcDst, int64_t frames, int32_t channels),             \
      (srcDst, frames, channels), s0, s1, s1, s1, s1, s1, none)                                    \
    /* dst[k] = src[k stride] / 32768 for k < len, len >= 0, stride >= 1 (one channel of */       \
    /* interleaved samples as doubles of full scale 1; every value exact). */                     \
    X(dspWidenStrided16s64f, void,                                                                 \
      (const int16_t* src, int64_t stride, double* dst, int64_t len), (src, stride, dst, len), s1, \
      s1, s1, s1, s4, s4, none)                                                                    \
    /* dst[k stride] = src[k] scale clamped to -32768 .. 32767 and truncated toward zero, NaN */  \
    /* to 0, for k < len, len >= 0, stride >= 1; the samples between stay. */                      \
    X(dspNarrowStrided64f16s, void,                                                                \
      (const double* src, double scale, int16_t* dst, int64_t stride, int64_t len),               \
      (src, scale, dst, stride, len), s1, s1, s1, s1, s4, s4, none)                                \
    /* dst[n] = sum over k < tapCount of taps[k] x[n - k] for n < count, added in the order */    \
    /* k = 0, 1, ... in every slot, so every slot gives the same bits (x holds the */             \
    /* tapCount - 1 inputs before x[0]); the wider slots only compute more outputs at once. */    \
    X(dspFirSums64f, void,                                                                         \
      (const double* taps, size_t tapCount, const double* x, double* dst, int count),             \
      (taps, tapCount, x, dst, count), s1, s1, s1, s1, s4, s4, none)

// DSP_TEST_ROUTINES(X): per-slot routines of the test build only; dsp/testing.h declares them.
// X(name, Ret, params, b0, b1, b2, b3, b4, b5, b2n).
#define DSP_TEST_ROUTINES(X)                                                                       \
    /* The vector vocabulary's self-test: the number of failed lane checks; the first failure */   \
    /* is described in message (capacity bytes, terminated). */                                    \
    X(dspVecSelfTest, int, (char* message, int capacity), s0, s1, s2, s3, s4, s5, s2n)

// clang-format on

// ---------------------------------------------------------------------------------------------
// Expansion helpers.

// The body a token stands for: DSP_BODY(dspSet64f, s2) is dspSet64f_s2, DSP_BODY(x, none) null.
// A token is `none` when pasting it onto DSP_NONE_PROBE_ gives two arguments.
#define DSP_PP_CAT_(a, b) a##b
#define DSP_PP_CAT(a, b) DSP_PP_CAT_(a, b)
#define DSP_PP_SECOND_(a, b, ...) b
#define DSP_PP_SECOND(...) DSP_PP_SECOND_(__VA_ARGS__, )
#define DSP_NONE_PROBE_none ~, 1
#define DSP_IS_NONE(b) DSP_PP_SECOND(DSP_PP_CAT(DSP_NONE_PROBE_, b), 0)
#define DSP_PP_IF_1(yes, no) yes
#define DSP_PP_IF_0(yes, no) no
#define DSP_PP_IF(cond) DSP_PP_CAT(DSP_PP_IF_, cond)
#define DSP_BODY(name, b) DSP_PP_IF(DSP_IS_NONE(b))(nullptr, name##_##b)

// The seven bodies of an entry, slots 0..5 then 2n, as an initialiser list.
#define DSP_BODIES(name, b0, b1, b2, b3, b4, b5, b2n)                                   \
    {                                                                                   \
        DSP_BODY(name, b0), DSP_BODY(name, b1), DSP_BODY(name, b2), DSP_BODY(name, b3), \
            DSP_BODY(name, b4), DSP_BODY(name, b5), DSP_BODY(name, b2n)                 \
    }

// The tokens' text where the slot has a body, nothing for `none`.
#define DSP_PP_EMPTY(...)
#define DSP_PP_KEEP(...) __VA_ARGS__
#define DSP_IF_BODY(b, ...) DSP_PP_IF(DSP_IS_NONE(b))(DSP_PP_EMPTY, DSP_PP_KEEP)(__VA_ARGS__)

// One declaration per body the entry names (a body named twice is declared twice, which C
// allows).
#define DSP_DECLARE_BODY(name, Ret, params, b) \
    DSP_IF_BODY(b, Ret DSP_CALL DSP_BODY(name, b) params;)
// clang-format off
#define DSP_DECLARE_BODIES(name, Ret, params, b0, b1, b2, b3, b4, b5, b2n) \
    DSP_DECLARE_BODY(name, Ret, params, b0)                             \
    DSP_DECLARE_BODY(name, Ret, params, b1)                             \
    DSP_DECLARE_BODY(name, Ret, params, b2)                             \
    DSP_DECLARE_BODY(name, Ret, params, b3)                             \
    DSP_DECLARE_BODY(name, Ret, params, b4)                             \
    DSP_DECLARE_BODY(name, Ret, params, b5)                             \
    DSP_DECLARE_BODY(name, Ret, params, b2n)
// clang-format on

#ifdef __cplusplus
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
#endif
