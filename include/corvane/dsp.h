// corvane signal-processing primitives: statuses, CPU slots and the C entry points.
//
// The twelve public operations are called through their dispatch stub (dspSet64f, ...). The
// first call of any of them detects the processor once and fixes the CPU slot for the process;
// every call then lands on the body of that slot. The per-slot bodies (_s0 .. _s5, and _s2n for
// the slot-2 real-FFT bodies on processors without MOVBE) are callable directly: the library
// itself, the tests and the benchmarks do so. Every body of one operation checks its arguments
// in the same order and returns the same statuses.
//
// Conventions for every function here:
//  - lengths, orders, counts and byte counts are 32-bit signed integers;
//  - double is a 64-bit IEEE value; arrays need no particular alignment;
//  - every pointer is caller-owned memory; no function allocates, none keeps a pointer;
//  - a negative status means nothing was written unless the function says otherwise, a positive
//    one is a warning with the output produced.
#pragma once

#include "corvane/dsp_types.h"

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// ---------------------------------------------------------------------------------------------
// Types

// Result of every public operation and of every routine that can fail.
typedef int32_t DspStatus;

enum {
    dspOk = 0,
    dspErrSize = -6,                  // a length below 1
    dspErrNullPtr = -8,               // a null pointer (also a work buffer the FFT spec needs)
    dspErrDataType = -12,             // data type code not 1, 7, 11, 13 or 19
    dspErrFftOrder = -15,             // FFT order too large
    dspErrFftFlag = -16,              // FFT normalisation flag not 8, 4, 1 or 2
    dspErrSpecMismatch = -17,         // not an initialised real-FFT spec
    dspErrMaskSize = -33,             // running-median mask below 1
    dspWarnEvenMask = 5,              // even median mask; mask - 1 was used
    dspWarnDomain = 19,               // an element outside the function's domain; its result is NaN
    dspWarnCpuVendor = 20,            // CPU set-up: vendor string is not "GenuineIntel"
    dspWarnCpuNotSupported = 36,      // CPU set-up or cache query: no CPUID or below SSE2
    dspWarnNoCacheInfo = 37,          // cache query: no cache size found
    dspWarnFeatureNotSupported = 49,  // CPU set-up: AVX-class features without OS support
    dspWarnUnknownFeature = 50,       // CPU set-up: feature bits outside the defined set
    dspWarnFeatureCombination = 51,   // CPU set-up: a feature that another one needs is missing
};

// Which body of every operation runs.
typedef int32_t DspCpuSlot;

enum {
    dspSlotUnset = -1,   // no slot chosen yet (value at load)
    dspSlotGeneric = 0,  // x87 floating point, no SSE2
    dspSlotSse2 = 1,     // SSE2 (processors with SSE2 or SSE3)
    dspSlotSsse3 = 2,    // SSE2 code for SSSE3, MOVBE and SSE4.1 processors
    dspSlotSse42 = 3,    // SSE2 to SSE4.2 code for SSE4.2 processors
    dspSlotAvx = 4,      // AVX, 256-bit vectors
    dspSlotAvx2 = 5,     // AVX2 with fused multiply-add (also the AVX-512 processors)
};

// Bits of the 64-bit processor feature mask (dspCheckCpuFeatures, dspGetEnabledFeatures).
// The *Os bits say that the operating system saves the register state of that class
// (XCR0 read through XGETBV); an AVX-class bit is only ever enabled together with them.
typedef uint64_t DspCpuFeatures;

#define dspFeatMmx ((DspCpuFeatures)0x1)
#define dspFeatSse ((DspCpuFeatures)0x2)
#define dspFeatSse2 ((DspCpuFeatures)0x4)
#define dspFeatSse3 ((DspCpuFeatures)0x8)
#define dspFeatSsse3 ((DspCpuFeatures)0x10)
#define dspFeatMovbe ((DspCpuFeatures)0x20)
#define dspFeatSse41 ((DspCpuFeatures)0x40)
#define dspFeatSse42 ((DspCpuFeatures)0x80)
#define dspFeatPopcnt ((DspCpuFeatures)0x100)
#define dspFeatAvx ((DspCpuFeatures)0x200)
#define dspFeatF16c ((DspCpuFeatures)0x400)
#define dspFeatFma ((DspCpuFeatures)0x800)
#define dspFeatAvx2 ((DspCpuFeatures)0x1000)
#define dspFeatAvx512f ((DspCpuFeatures)0x2000)
#define dspFeatAvx512cd ((DspCpuFeatures)0x4000)
#define dspFeatAvx512bw ((DspCpuFeatures)0x8000)
#define dspFeatAvx512dq ((DspCpuFeatures)0x10000)
#define dspFeatAvx512vl ((DspCpuFeatures)0x20000)
#define dspFeatAvxOs ((DspCpuFeatures)0x40000)     // XCR0: SSE and AVX state enabled
#define dspFeatAvx512Os ((DspCpuFeatures)0x80000)  // XCR0: opmask and ZMM state enabled
#define dspFeatAll ((DspCpuFeatures)0xFFFFF)       // every defined bit

// Scaling flag of the real FFT.
enum {
    dspFftScaleFwd = 1,   // forward scaled by 1/N
    dspFftScaleInv = 2,   // inverse scaled by 1/N
    dspFftScaleSqrt = 4,  // both scaled by 1/sqrt(N)
    dspFftScaleNone = 8,  // neither scaled: inverse(forward(x)) = N * x
};

// Data type codes that dspMedianGetBufferSize accepts (the size does not depend on them).
enum { dspType64f = 19 };

// A real-FFT spec, built by dspFftInitReal64f in caller memory; opaque to callers.
typedef struct DspFftSpecReal64f DspFftSpecReal64f;

// ---------------------------------------------------------------------------------------------
// Public operations (dispatch stubs). The first call of any of them runs dspInitCpu.

// dst[i] = value for i < len, stored as the 64-bit pattern (NaN payloads survive).
// dst null: -8 (tested before len); len < 1: -6.
DspStatus DSP_CALL dspSet64f(double value, double* dst, int len);
// srcDst[i] *= value. srcDst null: -8; len < 1: -6. value == 1.0 writes nothing; value == 0.0
// (either sign) stores +0.0 everywhere, even over Inf and NaN; a NaN value makes every element NaN.
DspStatus DSP_CALL dspMulConstInPlace64f(double value, double* srcDst, int len);
// dst[i] = src[i] * value (src == dst allowed). src or dst null: -8; len < 1: -6. value == 1.0
// copies src exactly; value == 0.0 stores +0.0.
DspStatus DSP_CALL dspMulConst64f(const double* src, double value, double* dst, int len);
// dst[i] = src1[i] * src2[i] (dst may be either source). Any pointer null: -8; len < 1: -6.
DspStatus DSP_CALL dspMul64f(const double* src1, const double* src2, double* dst, int len);
// dst[i] = |src[2i] + j src[2i+1]| for len complex values. len < 1: -6 (tested first); a null
// pointer: -8.
DspStatus DSP_CALL dspMagnitude64fc(const double* src, double* dst, int len);
// Byte sizes of the FFT spec record, the set-up buffer and the work buffer for a real FFT of
// 2^order doubles. Checks: order > 30 (unsigned) -15; a null pointer -8; flag not 8, 4, 1, 2
// -16; order above the slot's largest (27 in slot 0 and slot 2 with MOVBE, else 28) -15.
DspStatus DSP_CALL dspFftGetSizeReal64f(int order, int flag, int hint, int* specSize,
                                        int* specBufSize, int* workSize);
// Builds a spec at specMem rounded up to 64 bytes and stores its address in *spec. specBuf is
// needed from order 11 on, only during the call. Checks: spec null -8; order >= 31 or above
// the slot's largest -15; specMem null -8; bad flag -16; order >= 11 with specBuf null -8.
DspStatus DSP_CALL dspFftInitReal64f(DspFftSpecReal64f** spec, int order, int flag, int hint,
                                     BYTE* specMem, BYTE* specBuf);
// Forward real FFT of 2^order doubles into the packed CCS spectrum (2^order + 2 doubles).
// Checks: spec null -8; spec not built (tag) -17; src or dst null -8; work null while the
// spec needs a work buffer -8. Not built yet: a call that passes the checks answers -15.
DspStatus DSP_CALL dspFftFwdRealToCcs64f(const double* src, double* dst,
                                         const DspFftSpecReal64f* spec, BYTE* work);
// Inverse real FFT from a CCS spectrum; the same checks as the forward transform.
DspStatus DSP_CALL dspFftInvCcsToReal64f(const double* src, double* dst,
                                         const DspFftSpecReal64f* spec, BYTE* work);
// *size = 16 * m bytes (m = mask, or mask - 1 when even). size null -8; mask < 1 -33; dataType
// not 1, 7, 11, 13, 19: -12. Returns 5 for an even mask.
DspStatus DSP_CALL dspMedianGetBufferSize(int mask, int dataType, int* size);
// Running median over windows of m samples ending at each sample, with delay lines carrying
// m - 1 samples between calls (dlySrc and dlyDst may be null, must differ). Checks: src or dst
// null -8; len < 1 -6; mask < 1 -33; buf null -8 (even when unused). 5 for an even mask.
DspStatus DSP_CALL dspMedian64f(const double* src, double* dst, int len, int mask,
                                const double* dlySrc, double* dlyDst, BYTE* buf);
DspStatus DSP_CALL dspMedianInPlace64f(double* srcDst, int len, int mask, const double* dlySrc,
                                       double* dlyDst, BYTE* buf);

// First-call stubs: entry -1 of each dispatch table. They run dspInitCpu once and continue in
// the chosen body; the result is always the body's.
DspStatus DSP_CALL dspSet64f_init(double value, double* dst, int len);
DspStatus DSP_CALL dspMulConstInPlace64f_init(double value, double* srcDst, int len);
DspStatus DSP_CALL dspMulConst64f_init(const double* src, double value, double* dst, int len);
DspStatus DSP_CALL dspMul64f_init(const double* src1, const double* src2, double* dst, int len);
DspStatus DSP_CALL dspMagnitude64fc_init(const double* src, double* dst, int len);
DspStatus DSP_CALL dspFftGetSizeReal64f_init(int order, int flag, int hint, int* specSize,
                                             int* specBufSize, int* workSize);
DspStatus DSP_CALL dspFftInitReal64f_init(DspFftSpecReal64f** spec, int order, int flag, int hint,
                                          BYTE* specMem, BYTE* specBuf);
DspStatus DSP_CALL dspFftFwdRealToCcs64f_init(const double* src, double* dst,
                                              const DspFftSpecReal64f* spec, BYTE* work);
DspStatus DSP_CALL dspFftInvCcsToReal64f_init(const double* src, double* dst,
                                              const DspFftSpecReal64f* spec, BYTE* work);
DspStatus DSP_CALL dspMedianGetBufferSize_init(int mask, int dataType, int* size);
DspStatus DSP_CALL dspMedian64f_init(const double* src, double* dst, int len, int mask,
                                     const double* dlySrc, double* dlyDst, BYTE* buf);
DspStatus DSP_CALL dspMedianInPlace64f_init(double* srcDst, int len, int mask, const double* dlySrc,
                                            double* dlyDst, BYTE* buf);

// ---------------------------------------------------------------------------------------------
// Per-slot bodies. A body of slot n may only run on a processor that slot n suits
// (dspCheckCpuFeatures); the dispatch guarantees that, direct callers must.

DspStatus DSP_CALL dspSet64f_s0(double value, double* dst, int len);
DspStatus DSP_CALL dspSet64f_s1(double value, double* dst, int len);
DspStatus DSP_CALL dspSet64f_s2(double value, double* dst, int len);
DspStatus DSP_CALL dspSet64f_s3(double value, double* dst, int len);
DspStatus DSP_CALL dspSet64f_s4(double value, double* dst, int len);
DspStatus DSP_CALL dspSet64f_s5(double value, double* dst, int len);

DspStatus DSP_CALL dspMulConstInPlace64f_s0(double value, double* srcDst, int len);
DspStatus DSP_CALL dspMulConstInPlace64f_s1(double value, double* srcDst, int len);
DspStatus DSP_CALL dspMulConstInPlace64f_s2(double value, double* srcDst, int len);
DspStatus DSP_CALL dspMulConstInPlace64f_s3(double value, double* srcDst, int len);
DspStatus DSP_CALL dspMulConstInPlace64f_s4(double value, double* srcDst, int len);
DspStatus DSP_CALL dspMulConstInPlace64f_s5(double value, double* srcDst, int len);

DspStatus DSP_CALL dspMulConst64f_s0(const double* src, double value, double* dst, int len);
DspStatus DSP_CALL dspMulConst64f_s1(const double* src, double value, double* dst, int len);
DspStatus DSP_CALL dspMulConst64f_s2(const double* src, double value, double* dst, int len);
DspStatus DSP_CALL dspMulConst64f_s3(const double* src, double value, double* dst, int len);
DspStatus DSP_CALL dspMulConst64f_s4(const double* src, double value, double* dst, int len);
DspStatus DSP_CALL dspMulConst64f_s5(const double* src, double value, double* dst, int len);

DspStatus DSP_CALL dspMul64f_s0(const double* src1, const double* src2, double* dst, int len);
DspStatus DSP_CALL dspMul64f_s1(const double* src1, const double* src2, double* dst, int len);
DspStatus DSP_CALL dspMul64f_s2(const double* src1, const double* src2, double* dst, int len);
DspStatus DSP_CALL dspMul64f_s3(const double* src1, const double* src2, double* dst, int len);
DspStatus DSP_CALL dspMul64f_s4(const double* src1, const double* src2, double* dst, int len);
DspStatus DSP_CALL dspMul64f_s5(const double* src1, const double* src2, double* dst, int len);

DspStatus DSP_CALL dspMagnitude64fc_s0(const double* src, double* dst, int len);
DspStatus DSP_CALL dspMagnitude64fc_s1(const double* src, double* dst, int len);
DspStatus DSP_CALL dspMagnitude64fc_s2(const double* src, double* dst, int len);
DspStatus DSP_CALL dspMagnitude64fc_s3(const double* src, double* dst, int len);
DspStatus DSP_CALL dspMagnitude64fc_s4(const double* src, double* dst, int len);
DspStatus DSP_CALL dspMagnitude64fc_s5(const double* src, double* dst, int len);

// The slot-2 real-FFT bodies test MOVBE on every call and continue in _s2n without it.
DspStatus DSP_CALL dspFftGetSizeReal64f_s0(int order, int flag, int hint, int* specSize,
                                           int* specBufSize, int* workSize);
DspStatus DSP_CALL dspFftGetSizeReal64f_s1(int order, int flag, int hint, int* specSize,
                                           int* specBufSize, int* workSize);
DspStatus DSP_CALL dspFftGetSizeReal64f_s2(int order, int flag, int hint, int* specSize,
                                           int* specBufSize, int* workSize);
DspStatus DSP_CALL dspFftGetSizeReal64f_s2n(int order, int flag, int hint, int* specSize,
                                            int* specBufSize, int* workSize);
DspStatus DSP_CALL dspFftGetSizeReal64f_s3(int order, int flag, int hint, int* specSize,
                                           int* specBufSize, int* workSize);
DspStatus DSP_CALL dspFftGetSizeReal64f_s4(int order, int flag, int hint, int* specSize,
                                           int* specBufSize, int* workSize);
DspStatus DSP_CALL dspFftGetSizeReal64f_s5(int order, int flag, int hint, int* specSize,
                                           int* specBufSize, int* workSize);

DspStatus DSP_CALL dspFftInitReal64f_s0(DspFftSpecReal64f** spec, int order, int flag, int hint,
                                        BYTE* specMem, BYTE* specBuf);
DspStatus DSP_CALL dspFftInitReal64f_s1(DspFftSpecReal64f** spec, int order, int flag, int hint,
                                        BYTE* specMem, BYTE* specBuf);
DspStatus DSP_CALL dspFftInitReal64f_s2(DspFftSpecReal64f** spec, int order, int flag, int hint,
                                        BYTE* specMem, BYTE* specBuf);
DspStatus DSP_CALL dspFftInitReal64f_s2n(DspFftSpecReal64f** spec, int order, int flag, int hint,
                                         BYTE* specMem, BYTE* specBuf);
DspStatus DSP_CALL dspFftInitReal64f_s3(DspFftSpecReal64f** spec, int order, int flag, int hint,
                                        BYTE* specMem, BYTE* specBuf);
DspStatus DSP_CALL dspFftInitReal64f_s4(DspFftSpecReal64f** spec, int order, int flag, int hint,
                                        BYTE* specMem, BYTE* specBuf);
DspStatus DSP_CALL dspFftInitReal64f_s5(DspFftSpecReal64f** spec, int order, int flag, int hint,
                                        BYTE* specMem, BYTE* specBuf);

DspStatus DSP_CALL dspFftFwdRealToCcs64f_s0(const double* src, double* dst,
                                            const DspFftSpecReal64f* spec, BYTE* work);
DspStatus DSP_CALL dspFftFwdRealToCcs64f_s1(const double* src, double* dst,
                                            const DspFftSpecReal64f* spec, BYTE* work);
DspStatus DSP_CALL dspFftFwdRealToCcs64f_s2(const double* src, double* dst,
                                            const DspFftSpecReal64f* spec, BYTE* work);
DspStatus DSP_CALL dspFftFwdRealToCcs64f_s2n(const double* src, double* dst,
                                             const DspFftSpecReal64f* spec, BYTE* work);
DspStatus DSP_CALL dspFftFwdRealToCcs64f_s3(const double* src, double* dst,
                                            const DspFftSpecReal64f* spec, BYTE* work);
DspStatus DSP_CALL dspFftFwdRealToCcs64f_s4(const double* src, double* dst,
                                            const DspFftSpecReal64f* spec, BYTE* work);
DspStatus DSP_CALL dspFftFwdRealToCcs64f_s5(const double* src, double* dst,
                                            const DspFftSpecReal64f* spec, BYTE* work);

DspStatus DSP_CALL dspFftInvCcsToReal64f_s0(const double* src, double* dst,
                                            const DspFftSpecReal64f* spec, BYTE* work);
DspStatus DSP_CALL dspFftInvCcsToReal64f_s1(const double* src, double* dst,
                                            const DspFftSpecReal64f* spec, BYTE* work);
DspStatus DSP_CALL dspFftInvCcsToReal64f_s2(const double* src, double* dst,
                                            const DspFftSpecReal64f* spec, BYTE* work);
DspStatus DSP_CALL dspFftInvCcsToReal64f_s2n(const double* src, double* dst,
                                             const DspFftSpecReal64f* spec, BYTE* work);
DspStatus DSP_CALL dspFftInvCcsToReal64f_s3(const double* src, double* dst,
                                            const DspFftSpecReal64f* spec, BYTE* work);
DspStatus DSP_CALL dspFftInvCcsToReal64f_s4(const double* src, double* dst,
                                            const DspFftSpecReal64f* spec, BYTE* work);
DspStatus DSP_CALL dspFftInvCcsToReal64f_s5(const double* src, double* dst,
                                            const DspFftSpecReal64f* spec, BYTE* work);

// Slots 4 and 5 use the slot-1 body of the buffer-size query.
DspStatus DSP_CALL dspMedianGetBufferSize_s0(int mask, int dataType, int* size);
DspStatus DSP_CALL dspMedianGetBufferSize_s1(int mask, int dataType, int* size);
DspStatus DSP_CALL dspMedianGetBufferSize_s2(int mask, int dataType, int* size);
DspStatus DSP_CALL dspMedianGetBufferSize_s3(int mask, int dataType, int* size);

DspStatus DSP_CALL dspMedian64f_s0(const double* src, double* dst, int len, int mask,
                                   const double* dlySrc, double* dlyDst, BYTE* buf);
DspStatus DSP_CALL dspMedian64f_s1(const double* src, double* dst, int len, int mask,
                                   const double* dlySrc, double* dlyDst, BYTE* buf);
DspStatus DSP_CALL dspMedian64f_s2(const double* src, double* dst, int len, int mask,
                                   const double* dlySrc, double* dlyDst, BYTE* buf);
DspStatus DSP_CALL dspMedian64f_s3(const double* src, double* dst, int len, int mask,
                                   const double* dlySrc, double* dlyDst, BYTE* buf);
DspStatus DSP_CALL dspMedian64f_s4(const double* src, double* dst, int len, int mask,
                                   const double* dlySrc, double* dlyDst, BYTE* buf);
DspStatus DSP_CALL dspMedian64f_s5(const double* src, double* dst, int len, int mask,
                                   const double* dlySrc, double* dlyDst, BYTE* buf);

DspStatus DSP_CALL dspMedianInPlace64f_s0(double* srcDst, int len, int mask, const double* dlySrc,
                                          double* dlyDst, BYTE* buf);
DspStatus DSP_CALL dspMedianInPlace64f_s1(double* srcDst, int len, int mask, const double* dlySrc,
                                          double* dlyDst, BYTE* buf);
DspStatus DSP_CALL dspMedianInPlace64f_s2(double* srcDst, int len, int mask, const double* dlySrc,
                                          double* dlyDst, BYTE* buf);
DspStatus DSP_CALL dspMedianInPlace64f_s3(double* srcDst, int len, int mask, const double* dlySrc,
                                          double* dlyDst, BYTE* buf);
DspStatus DSP_CALL dspMedianInPlace64f_s4(double* srcDst, int len, int mask, const double* dlySrc,
                                          double* dlyDst, BYTE* buf);
DspStatus DSP_CALL dspMedianInPlace64f_s5(double* srcDst, int len, int mask, const double* dlySrc,
                                          double* dlyDst, BYTE* buf);

// ---------------------------------------------------------------------------------------------
// CPU set-up and queries.

// Detects the processor once per call (CPUID, XGETBV), publishes the enabled feature mask and
// then the slot. Returns 0, or a warning: 36 (below SSE2: slot 0), 49, 50 or 51 (the feature
// setting dropped bits), and 20 whenever the vendor string is not "GenuineIntel" (the vendor
// never changes the slot). Safe to call from several threads at once.
DspStatus DSP_CALL dspInitCpu(void);
// The slot in force: -1 until the first operation (or dspInitCpu) ran, 0..5 afterwards.
DspCpuSlot DSP_CALL dspGetCpuSlot(void);
// The enabled feature mask (0 until the CPU set-up ran).
DspCpuFeatures DSP_CALL dspGetEnabledFeatures(void);
// 1 when every bit of mask is enabled, else 0. Runs the CPU set-up first if it has not run.
int DSP_CALL dspCheckCpuFeatures(DspCpuFeatures mask);
// Size in bytes of the largest data or unified cache. 0 with *size written; 36 or 37 (size
// untouched) when it cannot tell; -8 for a null size. Cached for the process after the first call.
DspStatus DSP_CALL dspGetMaxCacheSize(int* size);

// ---------------------------------------------------------------------------------------------
// Memory routines shared by the primitives (per slot; areas never overlap).

// Guarded: dst (and src) null -8, then len < 1 -6; otherwise zero / copy len doubles, 0.
// Lengths up to 2^31 - 1 elements (byte counts beyond 32 bits are worked in chunks).
DspStatus DSP_CALL dspZero64f_s0(double* dst, int len);
DspStatus DSP_CALL dspZero64f_s1(double* dst, int len);
DspStatus DSP_CALL dspZero64f_s2(double* dst, int len);
DspStatus DSP_CALL dspZero64f_s3(double* dst, int len);
DspStatus DSP_CALL dspZero64f_s4(double* dst, int len);
DspStatus DSP_CALL dspZero64f_s5(double* dst, int len);
DspStatus DSP_CALL dspCopy64f_s0(const double* src, double* dst, int len);
DspStatus DSP_CALL dspCopy64f_s1(const double* src, double* dst, int len);
DspStatus DSP_CALL dspCopy64f_s2(const double* src, double* dst, int len);
DspStatus DSP_CALL dspCopy64f_s3(const double* src, double* dst, int len);
DspStatus DSP_CALL dspCopy64f_s4(const double* src, double* dst, int len);
DspStatus DSP_CALL dspCopy64f_s5(const double* src, double* dst, int len);
// Guarded byte copy: src or dst null -8; len < 1 -6; else copies len bytes, 0. Slot 2n uses _s2.
DspStatus DSP_CALL dspCopyChecked_s1(const BYTE* src, BYTE* dst, int len);
DspStatus DSP_CALL dspCopyChecked_s2(const BYTE* src, BYTE* dst, int len);
DspStatus DSP_CALL dspCopyChecked_s3(const BYTE* src, BYTE* dst, int len);
DspStatus DSP_CALL dspCopyChecked_s4(const BYTE* src, BYTE* dst, int len);
DspStatus DSP_CALL dspCopyChecked_s5(const BYTE* src, BYTE* dst, int len);

// Unguarded byte routines: nothing for len < 1; they return dst. Pointers must be valid.
BYTE* DSP_CALL dspZeroBytes_s0(BYTE* dst, int len);
BYTE* DSP_CALL dspZeroBytes_s1(BYTE* dst, int len);
BYTE* DSP_CALL dspZeroBytes_s2(BYTE* dst, int len);
BYTE* DSP_CALL dspZeroBytes_s3(BYTE* dst, int len);
BYTE* DSP_CALL dspZeroBytes_s4(BYTE* dst, int len);
BYTE* DSP_CALL dspZeroBytes_s5(BYTE* dst, int len);
// Non-temporal zeroing above 2 MiB when the range exceeds the largest cache; fenced.
BYTE* DSP_CALL dspZeroBytesStreaming_s4(BYTE* dst, int len);
BYTE* DSP_CALL dspZeroBytesStreaming_s5(BYTE* dst, int len);
BYTE* DSP_CALL dspCopyBytes_s0(const BYTE* src, BYTE* dst, int len);
BYTE* DSP_CALL dspCopyBytes_s1(const BYTE* src, BYTE* dst, int len);
BYTE* DSP_CALL dspCopyBytes_s2(const BYTE* src, BYTE* dst, int len);
BYTE* DSP_CALL dspCopyBytes_s3(const BYTE* src, BYTE* dst, int len);
BYTE* DSP_CALL dspCopyBytes_s4(const BYTE* src, BYTE* dst, int len);
BYTE* DSP_CALL dspCopyBytes_s5(const BYTE* src, BYTE* dst, int len);

#ifdef __cplusplus
}  // extern "C"
#endif
