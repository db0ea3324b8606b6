// Private declarations of corvane-dsp: the CPU services behind dsp.h, the per-slot kernels that
// bodies call directly, and the test-only trace points. Not installed, not for applications.
#pragma once

#include "corvane/dsp.h"
#include "dsp/effect_loops.h"
#include "dsp/routines.h"

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

// The slot for a resolved feature mask: the fastest dispatch row of dsp/slot_list.h whose
// needs it meets (5 AVX2 + FMA + AVX with OS support, 4 AVX with OS support, 3 SSE4.2 with SSE3,
// SSSE3, SSE4.1 and POPCNT, 2 SSE2 with SSSE3, MOVBE or SSE4.1, 1 SSE2), otherwise 0.
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
// The internal per-slot routines, declared from their list (dsp/routines.h, which says what
// each does).
DSP_INTERNAL_ROUTINES(DSP_DECLARE_BODIES)

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

// dspbodies::NAME: the bodies of a per-slot routine by slot (dsp/routines.h) and whether each
// slot has one, as constants: code compiled per slot calls another routine of its slot through
// its entry (a direct call) and asks `if constexpr` whether the slot has one (dsp/slot.h).
namespace dspbodies {
#define DSP_BODIES_OF_OPERATION(name, params, args, slots) \
    inline constexpr DspSlotBodies<dspfn::name> name =     \
        DSP_SLOT_BODIES(dspfn::name, name, true, slots);
#define DSP_BODIES_OF_ROUTINE(name, Ret, params, slots) \
    inline constexpr DspSlotBodies<dspfn::name> name =  \
        DSP_SLOT_BODIES(dspfn::name, name, false, slots);
DSP_OPERATIONS(DSP_BODIES_OF_OPERATION)
DSP_PUBLIC_ROUTINES(DSP_BODIES_OF_ROUTINE)
DSP_INTERNAL_ROUTINES(DSP_BODIES_OF_ROUTINE)
#undef DSP_BODIES_OF_OPERATION
#undef DSP_BODIES_OF_ROUTINE
}  // namespace dspbodies

#include <atomic>

// The process-wide slot: -1 until the CPU set-up published one. The feature mask is stored
// before it (release), so whoever reads the slot (acquire) also sees the mask.
extern std::atomic<DspCpuSlot> dspCpuSlot;
extern std::atomic<DspCpuFeatures> dspEnabledFeatures;
#endif
