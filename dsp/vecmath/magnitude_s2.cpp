// Complex-magnitude kernels of CPU slots 2 and 3 (SSE2; one kernel per accuracy slot, shared by
// both CPU slots).
#include "dsp/slot.h"
#include "dsp/vecmath/magnitude_simd.h"

extern "C" {

DspStatus DSP_CALL dspVecAbs64fcKernel_s2a0(const double* src, double* dst, int n) {
    return magnitudeKernel<0, 8>(src, dst, n);
}

DspStatus DSP_CALL dspVecAbs64fcKernel_s2a1(const double* src, double* dst, int n) {
    return magnitudeKernel<1, 4>(src, dst, n);
}

DspStatus DSP_CALL dspVecAbs64fcKernel_s2a2(const double* src, double* dst, int n) {
    return magnitudeKernel<2, 8>(src, dst, n);
}

}  // extern "C"
