// Test-only seams of corvane-dsp. They exist only in corvane-dsp-testing (built with
// CORVANE_DSP_TEST_SEAMS=1); the product library has none of these symbols.
#pragma once

#include "dsp/internal.h"

#if !CORVANE_DSP_TEST_SEAMS
#error "dsp/testing.h is for test builds only (CORVANE_DSP_TEST_SEAMS=1)"
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Publishes the feature mask, then the slot (-1 to 5), as the CPU set-up does; no detection.
void dspTestForceCpu(DspCpuSlot slot, DspCpuFeatures features);
// Back to the state at load: slot -1, no features, no cached cache sizes, hardware CPUID,
// no injected cache size, detection counter 0.
void dspTestResetCpu(void);
// Number of detection runs since the last reset (all threads).
int dspTestDetectionCount(void);
// Replaces the CPUID/XGETBV source of later detections and cache queries (null: hardware).
// Clears the cached cache sizes.
void dspTestSetCpuidSource(DspCpuidFn cpuid, DspXgetbvFn xgetbv);
// Makes every cache query (dspGetMaxCacheSize and the descriptor lookup of the fills) answer
// status and, when status is 0, size.
void dspTestSetCacheSize(DspStatus status, int size);
// Ends the injection; the next query asks the processor again.
void dspTestClearCacheSize(void);
// Entry `slot` (-1 to 5) of the dispatch table of operation 1..12 (the order of dsp.h: fill,
// scale in place, scale, product, magnitude, FFT size, set-up, forward, inverse, median buffer
// size, median, median in place); null for anything else.
const void* dspTestDispatchEntry(int operation, int slot);
// The test-only per-slot routines (dsp/routines.h).
DSP_TEST_ROUTINES(DSP_DECLARE_BODIES)
// Per-thread trace counters (DspTracePoint); dspTraceDetect is process-wide.
int dspTestTraceCount(int point);
void dspTestTraceReset(void);

#ifdef __cplusplus
}  // extern "C"
#endif
