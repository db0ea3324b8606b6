// Private declarations of corvane-dsp: the CPU services behind dsp.h, the per-slot kernels that
// bodies call directly, and the test-only trace points. Not installed, not for applications.
#pragma once

#include "platform/win32.h"

#include "corvane/dsp.h"

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// ---------------------------------------------------------------------------------------------
// CPU detection.

// Raw CPUID/XGETBV access; the hardware by default, replaceable in test builds.
typedef void (*DspCpuidFn)(uint32_t leaf, uint32_t subleaf, uint32_t regs[4]);  // eax ebx ecx edx
typedef uint64_t (*DspXgetbvFn)(uint32_t index);

// What one detection run found.
typedef struct DspCpuDetection {
    DspCpuFeatures hardware;  // every feature CPUID and XCR0 report (before the feature setting)
    DspCpuFeatures enabled;   // what the feature setting kept
    DspCpuSlot slot;          // 0..5
    DspStatus status;         // what dspInitCpu returns for this processor
    int genuineIntel;         // vendor string is "GenuineIntel"
} DspCpuDetection;

// Detects through the given CPUID/XGETBV source, publishes nothing. Never fails.
void dspDetectCpu(DspCpuidFn cpuid, DspXgetbvFn xgetbv, DspCpuDetection* out);

// The feature setting: keeps the bits of requested that can be used together and returns
// 0, 50 (bits outside dspFeatAll dropped), 49 (AVX-class bits without their OS bit dropped)
// or 51 (a bit whose prerequisite is missing dropped), the first of these in that order.
DspStatus dspResolveFeatures(DspCpuFeatures requested, DspCpuFeatures* enabled);

// The slot for a resolved feature mask: 5 needs AVX2 + FMA + AVX with OS support, 4 AVX with
// OS support, 3 SSE4.2 (with SSE3, SSSE3, SSE4.1, POPCNT), 2 SSE2 with SSSE3, MOVBE or SSE4.1,
// 1 SSE2, otherwise 0.
DspCpuSlot dspSlotForFeatures(DspCpuFeatures enabled);

// Cache sizes. dspGetMaxCacheSize (dsp.h) walks leaves 2, 4, 0x8000001D and 0x80000006.
// dspCacheSizeFromDescriptors reads only the leaf-2 descriptor bytes through
// dspCacheDescriptorCodes, and only on "GenuineIntel" processors; the slot 1 to 4 fills use it.
// Both cache their answer for the process; both return 0 with *size written, or 37 / 36.
DspStatus dspCacheSizeFromDescriptors(int* size);
// Uncached forms on an explicit CPUID source (tests feed synthetic values).
DspStatus dspQueryMaxCacheSize(DspCpuidFn cpuid, int* size);
DspStatus dspQueryDescriptorCacheSize(DspCpuidFn cpuid, int* size);

// One leaf-2 descriptor byte and the size code of its cache; a code c stands for
// (c >> 4) << ((c & 15) + 18) bytes. Sorted by descriptor.
typedef struct DspCacheDescriptorCode {
    uint8_t descriptor;
    uint8_t sizeCode;
} DspCacheDescriptorCode;
extern const DspCacheDescriptorCode dspCacheDescriptorCodes[];
extern const int dspCacheDescriptorCodeCount;

// ---------------------------------------------------------------------------------------------
// Fill kernels: store the 64-bit pattern (hi:lo) count times at dst (any alignment); count >= 1.
// Slots 1 to 4 share one SSE2 code. Return dst.
double* DSP_CALL dspFill64_s0(uint32_t lo, uint32_t hi, double* dst, int count);
double* DSP_CALL dspFill64_s1(uint32_t lo, uint32_t hi, double* dst, int count);
double* DSP_CALL dspFill64_s2(uint32_t lo, uint32_t hi, double* dst, int count);
double* DSP_CALL dspFill64_s3(uint32_t lo, uint32_t hi, double* dst, int count);
double* DSP_CALL dspFill64_s4(uint32_t lo, uint32_t hi, double* dst, int count);
double* DSP_CALL dspFill64_s5(uint32_t lo, uint32_t hi, double* dst, int count);

// SSE2 multiply kernels of slots 1 to 3 (arguments as the operation's, checked by the caller,
// len >= 1, value not a shortcut).
void DSP_CALL dspMulConstInPlaceKernel_s1(double value, double* srcDst, int len);
void DSP_CALL dspMulConstInPlaceKernel_s2(double value, double* srcDst, int len);
void DSP_CALL dspMulConstInPlaceKernel_s3(double value, double* srcDst, int len);
void DSP_CALL dspMulConstKernel_s1(const double* src, double value, double* dst, int len);
void DSP_CALL dspMulConstKernel_s2(const double* src, double value, double* dst, int len);
void DSP_CALL dspMulConstKernel_s3(const double* src, double value, double* dst, int len);
void DSP_CALL dspMulKernel_s1(const double* src1, const double* src2, double* dst, int len);
void DSP_CALL dspMulKernel_s2(const double* src1, const double* src2, double* dst, int len);
void DSP_CALL dspMulKernel_s3(const double* src1, const double* src2, double* dst, int len);

// ---------------------------------------------------------------------------------------------
// Large-block memory routines of slots 4 and 5 (unguarded; separate areas).

// Forward string-move copy (one code for both slots); the direction flag is cleared for the copy
// and set again when it was set on entry. Must not be used with dst above an overlapping src.
BYTE* DSP_CALL dspMoveBytes_s4(const BYTE* src, BYTE* dst, int len);
BYTE* DSP_CALL dspMoveBytes_s5(const BYTE* src, BYTE* dst, int len);
// 64 bytes per step with non-temporal stores; len a positive multiple of 64, dst 64-byte
// aligned; no fence (the caller fences).
BYTE* DSP_CALL dspStreamCopyBytes_s5(const BYTE* src, BYTE* dst, int len);
// From the end backwards, 64 bytes per step, ordinary stores; len a positive multiple of 64,
// dst + len 64-byte aligned.
BYTE* DSP_CALL dspStreamCopyBytesBackward_s5(const BYTE* src, BYTE* dst, int len);
// The slot-5 copy for 32768 bytes or more: streams above 4 MiB from half the largest cache,
// copies backwards when dst trails src by less than 160 bytes modulo 4 KiB, else string moves.
BYTE* DSP_CALL dspCopyStreaming_s5(const BYTE* src, BYTE* dst, int len);

// The complex-magnitude entry stubs of the vector-math table (accuracy slot 0 of rows 0..5).
DspStatus DSP_CALL dspVecAbs64fc_s0(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecAbs64fc_s1(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecAbs64fc_s2(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecAbs64fc_s3(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecAbs64fc_s4(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecAbs64fc_s5(const double* src, double* dst, int n);

// ---------------------------------------------------------------------------------------------
// Trace points: counted per thread in test builds so tests can see which store strategy ran;
// compiled away in the product.
enum DspTracePoint {
    dspTraceDetect = 0,    // a CPU detection run (counted process-wide, not per thread)
    dspTraceFillStream,    // a fill took its non-temporal path
    dspTraceZeroStream,    // a zero took its non-temporal path
    dspTraceCopyStream,    // the slot-5 copy streamed
    dspTraceCopyMove,      // a copy went through the string-move routine
    dspTraceCopyBackward,  // the slot-5 copy walked backwards
    dspTraceMulStream,     // a product took its non-temporal path
    dspTraceMulPrefetch,   // an in-place scale took its prefetching path
    dspTraceCount_
};

#if CORVANE_DSP_TEST_SEAMS
void dspTestTrace(int point);
#define DSP_TRACE(point) dspTestTrace(point)
#else
#define DSP_TRACE(point) ((void)0)
#endif

#ifdef __cplusplus
}  // extern "C"

#include <atomic>

// The process-wide slot: -1 until the CPU set-up published one. The feature mask is stored
// before it (release), so whoever reads the slot (acquire) also sees the mask.
extern std::atomic<DspCpuSlot> dspCpuSlot;
extern std::atomic<DspCpuFeatures> dspEnabledFeatures;
#endif
