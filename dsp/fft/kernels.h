// The straight-line kernels of the small orders and the tables that reach them by order.
//
// Four subtables per slot set and direction:
//   T0  real DFT of 2^k samples into the Perm layout, times a scale      (src, dst, scale)
//   T1  the same without the scale                                        (src, dst)
//   T2  complex DFT of 2^k points, natural order, times a scale           (src, dst, scale)
//   T3  the same without the scale                                        (src, dst)
// A forward body takes T0/T1 entry `order` at the smallest orders and T2/T3 entry `order - 1`
// (the half-length complex transform) at the next ones. src may equal dst; kernels check nothing
// and write nothing but dst[0 .. 2^k - 1] (real) or the 2^(k+1) doubles of dst (complex).
//
// A member is named by family, order and the slot it belongs to
// (dspRealFftFwdKernelScaledOrder3_s2n, dspComplexFftFwdKernelOrder5_s1); a set may hold
// another slot's member (the member map lives in kernel_tables.cpp). A null entry is a kernel
// that is not built yet: the body answers dspErrFftOrder for its order.
#pragma once

#include "corvane/dsp.h"
#include "dsp/fft/spec.h"

extern "C" {

typedef void(DSP_CALL* DspFftKernelScaledFn)(const double* src, double* dst, double scale);
typedef void(DSP_CALL* DspFftKernelFn)(const double* src, double* dst);

constexpr int kDspFftRealKernelOrders = 6;     // T0 and T1: orders 0..5
constexpr int kDspFftComplexKernelOrders = 7;  // T2 and T3: complex orders 0..6 (6 in slots 4, 5)

typedef struct DspFftKernelSet {
    DspFftKernelScaledFn t0[kDspFftRealKernelOrders];
    DspFftKernelFn t1[kDspFftRealKernelOrders];
    DspFftKernelScaledFn t2[kDspFftComplexKernelOrders];
    DspFftKernelFn t3[kDspFftComplexKernelOrders];
} DspFftKernelSet;

// The forward and inverse sets by slot index (0..5, kDspFftSlot2n). Entries 0 and 1 of every
// inverse subtable are the forward set's: for one and two points both directions coincide.
extern const DspFftKernelSet dspFftFwdKernelTables[kDspFftSlotCount];
extern const DspFftKernelSet dspFftInvKernelTables[kDspFftSlotCount];

// Declarations of every member name for every slot; only the members that exist are defined.
#define DSP_FFT_DECLARE_KERNELS_OF_SLOT(sfx)                                               \
    DSP_FFT_DECLARE_KERNEL_ORDERS(sfx, 0)                                                  \
    DSP_FFT_DECLARE_KERNEL_ORDERS(sfx, 1)                                                  \
    DSP_FFT_DECLARE_KERNEL_ORDERS(sfx, 2)                                                  \
    DSP_FFT_DECLARE_KERNEL_ORDERS(sfx, 3)                                                  \
    DSP_FFT_DECLARE_KERNEL_ORDERS(sfx, 4)                                                  \
    DSP_FFT_DECLARE_KERNEL_ORDERS(sfx, 5)                                                  \
    void DSP_CALL dspComplexFftFwdKernelScaledOrder6##sfx(const double*, double*, double); \
    void DSP_CALL dspComplexFftFwdKernelOrder6##sfx(const double*, double*);               \
    void DSP_CALL dspComplexFftInvKernelScaledOrder6##sfx(const double*, double*, double); \
    void DSP_CALL dspComplexFftInvKernelOrder6##sfx(const double*, double*);
#define DSP_FFT_DECLARE_KERNEL_ORDERS(sfx, k)                                                \
    void DSP_CALL dspRealFftFwdKernelScaledOrder##k##sfx(const double*, double*, double);    \
    void DSP_CALL dspRealFftFwdKernelOrder##k##sfx(const double*, double*);                  \
    void DSP_CALL dspComplexFftFwdKernelScaledOrder##k##sfx(const double*, double*, double); \
    void DSP_CALL dspComplexFftFwdKernelOrder##k##sfx(const double*, double*);               \
    void DSP_CALL dspRealFftInvKernelScaledOrder##k##sfx(const double*, double*, double);    \
    void DSP_CALL dspRealFftInvKernelOrder##k##sfx(const double*, double*);                  \
    void DSP_CALL dspComplexFftInvKernelScaledOrder##k##sfx(const double*, double*, double); \
    void DSP_CALL dspComplexFftInvKernelOrder##k##sfx(const double*, double*);

#define DSP_FFT_DECLARE_KERNELS_OF_ROW(id, ...) DSP_FFT_DECLARE_KERNELS_OF_SLOT(_s##id)
DSP_SLOT_ROWS(DSP_FFT_DECLARE_KERNELS_OF_ROW)

#undef DSP_FFT_DECLARE_KERNELS_OF_ROW
#undef DSP_FFT_DECLARE_KERNELS_OF_SLOT
#undef DSP_FFT_DECLARE_KERNEL_ORDERS

}  // extern "C"
