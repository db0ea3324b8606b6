// Vector math of corvane-dsp: complex magnitude, sine and cosine over arrays of doubles.
//
// One static table, dspVecMathTable, holds per function (magnitude, sine, cosine) and CPU slot
// three kernels that trade accuracy for speed; each slot's three entry stubs call one fixed cell.
//
// Kernel contract (every kernel below): (src, dst, n) -> DspStatus.
//  - n < 1: -6, tested before the pointers; then src or dst null: -8. Nothing is written and
//    the floating-point control state is not touched on these returns.
//  - Otherwise all n results are written; the status is 0, or 19 when at least one element lay
//    outside the function's domain (an infinite sine or cosine argument). Such an element's
//    result is NaN, written to dst[i] before dspVecMathErrorHook(19, i, src, src, dst, dst,
//    name) is called; whatever the hook leaves in dst[i] is the element's result.
//  - Magnitude: src holds n complex values as (re, im) pairs, dst n doubles. Sine and cosine:
//    src and dst hold n doubles each and may be the same array.
//  - The kernel owns the calling thread's x87 control word and MXCSR for the call: exceptions
//    are masked while it runs, and the caller's control settings come back on return.
#pragma once

#include "corvane/dsp.h"
#include "dsp/internal.h"

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Accuracy slot of a kernel: 0 standard, 1 high accuracy (dearest), 2 fastest (least accurate).
typedef int32_t DspAccuracySlot;
enum { dspAccuracyStandard = 0, dspAccuracyHigh = 1, dspAccuracyFast = 2 };

typedef DspStatus(DSP_CALL* DspVecMathKernel)(const double* src, double* dst, int n);

// One row of the table: the kernels of accuracy slots 0, 1, 2 and their relative costs per
// element (read by nothing; they rank the kernels of a row).
typedef struct DspVecMathEntry {
    DspVecMathKernel kernel[3];
    float cost[3];
} DspVecMathEntry;

// Rows: kDspVecMathRows, laid out as dspVecMathRowMagnitude, dspVecMathRowSine and
// dspVecMathRowCosine (below) say.
extern const DspVecMathEntry dspVecMathTable[];

// Entry stubs: dspVecAbs64fc_s<n>, dspVecSin64f_s<n> and dspVecCos64f_s<n>, declared with the
// other internal routines (dsp/routines.h).

// ---------------------------------------------------------------------------------------------
// Kernels. _s<c>a<k>: CPU slot c, accuracy slot k; a kernel without a suffix letter serves all
// three accuracy slots of its row (slot 0, and the magnitude of slot 1); _s1a1 also serves
// accuracy slot 0. Slots 2 and 3 share their kernels except the fastest cosine, which each has.
// A kernel of slot c may only run on a processor that slot c suits.

DspStatus DSP_CALL dspVecAbs64fcKernel_s0(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecAbs64fcKernel_s1(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecAbs64fcKernel_s2a0(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecAbs64fcKernel_s2a1(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecAbs64fcKernel_s2a2(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecAbs64fcKernel_s4a0(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecAbs64fcKernel_s4a1(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecAbs64fcKernel_s4a2(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecAbs64fcKernel_s5a0(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecAbs64fcKernel_s5a1(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecAbs64fcKernel_s5a2(const double* src, double* dst, int n);

DspStatus DSP_CALL dspVecSin64fKernel_s0(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecSin64fKernel_s1a1(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecSin64fKernel_s1a2(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecSin64fKernel_s2a0(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecSin64fKernel_s2a1(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecSin64fKernel_s2a2(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecSin64fKernel_s4a0(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecSin64fKernel_s4a1(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecSin64fKernel_s4a2(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecSin64fKernel_s5a0(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecSin64fKernel_s5a1(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecSin64fKernel_s5a2(const double* src, double* dst, int n);

DspStatus DSP_CALL dspVecCos64fKernel_s0(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecCos64fKernel_s1a1(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecCos64fKernel_s1a2(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecCos64fKernel_s2a0(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecCos64fKernel_s2a1(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecCos64fKernel_s2a2(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecCos64fKernel_s3a2(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecCos64fKernel_s4a0(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecCos64fKernel_s4a1(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecCos64fKernel_s4a2(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecCos64fKernel_s5a0(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecCos64fKernel_s5a1(const double* src, double* dst, int n);
DspStatus DSP_CALL dspVecCos64fKernel_s5a2(const double* src, double* dst, int n);

// ---------------------------------------------------------------------------------------------
// Shared routines (SSE2 double arithmetic, no x87 instruction, no status of their own).

// Called once per element outside a function's domain, after its NaN result was stored in
// dst[index]; name is "vdSin", "vdCos" or "". Does nothing in the product; a value it leaves in
// dst[index] becomes the element's result. Test builds can route it (dspTestSetVecMathHook).
void DSP_CALL dspVecMathErrorHook(int status, int index, const double* src, const double* src2,
                                  double* dst, double* dst2, const char* name);

// Reduction of a finite x (callers pass |x| >= 2^17) by quarter periods: returns q in 0..3 and
// writes out[0] (|out[0]| <= pi/4, up to rounding) and out[1] so that
// x = (q + 4m) * pi/2 + out[0] + out[1] for some integer m. Works on |x| and gives the sign of x
// to out[0], out[1] and (modulo 4) to q.
int DSP_CALL dspSinCosReduceLarge(double x, double* out);

// sin(x) and cos(x) of any double, one element (the method of the x87 kernels in double
// arithmetic). Infinity gives NaN (x * 0.0), NaN gives x * x; no status, no hook.
double DSP_CALL dspSinLargeArg(double x);
double DSP_CALL dspCosLargeArg(double x);

// Element routines of the high-accuracy SSE sine and cosine of slots 2 and 3 (the kernels call
// them for |src[index]| >= 90112, infinities and NaNs). They store dst[index]; for an infinity
// they call the hook with `name` and set *status = 19; *status is not written otherwise.
void DSP_CALL dspVecMathSpecialValueSin64f(int index, const double* src, double* dst, int* status,
                                           const char* name);
void DSP_CALL dspVecMathSpecialValueCos64f(int index, const double* src, double* dst, int* status,
                                           const char* name);

// ---------------------------------------------------------------------------------------------
// Constant tables (dsp/vecmath/tables.cpp, generated by scripts/gen_vecmath_tables.py). Row j of
// a step-pi/N table stands for p = j*pi/N; a "power of two" column is the power of two nearest
// the magnitude of the value it stands for, signed like it, so its product with a reduced
// argument is exact.
extern const double dspSinTablePi32[64][4];    // cos p - c, sin p, sin tail (24 bits), c
extern const double dspSinTablePi64[128][4];   // the same columns for p = j*pi/64
extern const double dspSinTablePi256[512][4];  // cos p - c, c, sin p, sin tail (truncated)
extern const double dspCosTablePi256[512][4];  // -sin p - s, s, cos p, cos tail (truncated)
extern const double dspCosTablePi64[128][4];   // -sin p - s, cos p, cos tail (24 bits), s
// Row e: floor(2^(e-883) / (2 pi)) mod 2^192, most significant 64-bit word first.
extern const uint64_t dspInvTwoPiWindows[2048][3];
// Entries 1..49: 4/pi * 2^200 truncated, in consecutive 25-bit pieces; entries 0, 50, 51 zero.
extern const double dspFourOverPiPieces[52];
// Entry i: 1/sqrt(2^(i/256) * (1 + (i%256)/256)) to the nearest multiple of 2^-11.
extern const double dspRsqrtSeedTable[512];

#if CORVANE_DSP_TEST_SEAMS
// Test builds: dspVecMathErrorHook forwards to fn (null: does nothing, as in the product).
typedef void (*DspVecMathHookFn)(int status, int index, const double* src, const double* src2,
                                 double* dst, double* dst2, const char* name);
void dspTestSetVecMathHook(DspVecMathHookFn fn);
#endif

#ifdef __cplusplus
}  // extern "C"

// The table's layout. The slots with entry stubs are the dispatch slots 0 .. kDspVecMathSlots - 1
// that the stubs' entries in dsp/routines.h name (a later slot runs the magnitude body of the
// slot below it, and so that slot's stubs). The table holds a magnitude row for each of them in
// slot order, then a sine and a cosine row for each; vecmath.cpp checks its rows and the three
// entries against this at compile time.
constexpr int dspCountVecMathSlots() {
    int n = 0;
    while (n < kDspSlotCount && dspbodies::dspVecAbs64fc.has[n]) ++n;
    return n;
}
constexpr int kDspVecMathSlots = dspCountVecMathSlots();
constexpr int kDspVecMathRows = 3 * kDspVecMathSlots;
constexpr int dspVecMathRowMagnitude(int slot) {
    return slot;
}
constexpr int dspVecMathRowSine(int slot) {
    return kDspVecMathSlots + 2 * slot;
}
constexpr int dspVecMathRowCosine(int slot) {
    return kDspVecMathSlots + 2 * slot + 1;
}
#endif
