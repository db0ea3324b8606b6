// Complex-magnitude kernels of CPU slots 2 (shared with slot 3), 4 and 5: one kernel per
// accuracy slot (dsp/vecmath/magnitude_simd.h), with the group size that suits the slot.
#include "dsp/slot.h"
#include "dsp/vecmath/magnitude_simd.h"

namespace {

// Elements per group of accuracy slots 0 and 1; the fastest kernel takes 8 everywhere.
#if DSP_SLOT == 2
constexpr int kGroupStandard = 8, kGroupHigh = 4;
#elif DSP_SLOT == 4
constexpr int kGroupStandard = 8, kGroupHigh = 16;
#elif DSP_SLOT == 5
constexpr int kGroupStandard = 16, kGroupHigh = 8;
#endif

}  // namespace

#define DSP_MAGNITUDE_KERNEL(acc) DSP_CAT2(DSP_SLOT_NAME(dspVecAbs64fcKernel), acc)

extern "C" {

DspStatus DSP_CALL DSP_MAGNITUDE_KERNEL(a0)(const double* src, double* dst, int n) {
    return magnitudeKernel<0, kGroupStandard>(src, dst, n);
}

DspStatus DSP_CALL DSP_MAGNITUDE_KERNEL(a1)(const double* src, double* dst, int n) {
    return magnitudeKernel<1, kGroupHigh>(src, dst, n);
}

DspStatus DSP_CALL DSP_MAGNITUDE_KERNEL(a2)(const double* src, double* dst, int n) {
    return magnitudeKernel<2, 8>(src, dst, n);
}

}  // extern "C"
