// Complex-magnitude kernels of CPU slot 4 (AVX, no fused multiply-add).
#include "dsp/slot.h"
#include "dsp/vecmath/magnitude_simd.h"

extern "C" {

DspStatus DSP_CALL dspVecAbs64fcKernel_s4a0(const double* src, double* dst, int n) {
    return magnitudeKernel<0, 8>(src, dst, n);
}

DspStatus DSP_CALL dspVecAbs64fcKernel_s4a1(const double* src, double* dst, int n) {
    return magnitudeKernel<1, 16>(src, dst, n);
}

DspStatus DSP_CALL dspVecAbs64fcKernel_s4a2(const double* src, double* dst, int n) {
    return magnitudeKernel<2, 8>(src, dst, n);
}

}  // extern "C"
