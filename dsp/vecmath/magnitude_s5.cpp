// Complex-magnitude kernels of CPU slot 5 (AVX2 with fused multiply-add).
#include "dsp/slot.h"
#include "dsp/vecmath/magnitude_simd.h"

extern "C" {

DspStatus DSP_CALL dspVecAbs64fcKernel_s5a0(const double* src, double* dst, int n) {
    return magnitudeKernel<0, 16>(src, dst, n);
}

DspStatus DSP_CALL dspVecAbs64fcKernel_s5a1(const double* src, double* dst, int n) {
    return magnitudeKernel<1, 8>(src, dst, n);
}

DspStatus DSP_CALL dspVecAbs64fcKernel_s5a2(const double* src, double* dst, int n) {
    return magnitudeKernel<2, 8>(src, dst, n);
}

}  // extern "C"
