// Complex-magnitude kernels of CPU slots 2 (shared with slot 3), 4 and 5: one kernel per
// accuracy slot (dsp/vecmath/magnitude_simd.h); slots 4 and 5 run them through the group driver
// of dsp/vecmath/magnitude_wide.h.
#include "dsp/slot.h"
#include "dsp/vecmath/magnitude_simd.h"
#if DSP_SLOT >= 4
#include "dsp/vecmath/magnitude_wide.h"
#endif

namespace {

#if DSP_SLOT == 2
// Elements per group of accuracy slots 0 and 1; the fastest kernel takes 8.
constexpr int kGroupStandard = 8, kGroupHigh = 4;

template <int kAcc>
DspStatus magnitudeSlotKernel(const double* src, double* dst, int n) {
    return magnitudeKernel < kAcc, kAcc == 0   ? kGroupStandard
                                   : kAcc == 1 ? kGroupHigh
                                               : 8 > (src, dst, n);
}
#else
template <int kAcc>
DspStatus magnitudeSlotKernel(const double* src, double* dst, int n) {
    return magnitudeWideKernel<kAcc>(src, dst, n);
}
#endif

}  // namespace

#define DSP_MAGNITUDE_KERNEL(acc) DSP_CAT2(DSP_SLOT_NAME(dspVecAbs64fcKernel), acc)

extern "C" {

DspStatus DSP_CALL DSP_MAGNITUDE_KERNEL(a0)(const double* src, double* dst, int n) {
    return magnitudeSlotKernel<0>(src, dst, n);
}

DspStatus DSP_CALL DSP_MAGNITUDE_KERNEL(a1)(const double* src, double* dst, int n) {
    return magnitudeSlotKernel<1>(src, dst, n);
}

DspStatus DSP_CALL DSP_MAGNITUDE_KERNEL(a2)(const double* src, double* dst, int n) {
    return magnitudeSlotKernel<2>(src, dst, n);
}

}  // extern "C"
