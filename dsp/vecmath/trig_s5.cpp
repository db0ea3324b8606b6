// Vector sine and cosine kernels of CPU slot 5 (AVX2, four lanes, fused multiply-add in the
// polynomials).
#include "dsp/slot.h"
#include "dsp/vecmath/trig_simd.h"

extern "C" {

DspStatus DSP_CALL dspVecSin64fKernel_s5a0(const double* src, double* dst, int n) {
    static const char kName[4] = {0, 0, 0, 0};  // this kernel's empty name word
    return trigKernel<8, false>(src, dst, n, [](TrigCall& c, int base, int count) {
        groupStandard<false, 8>(c, base, count, kName);
    });
}

DspStatus DSP_CALL dspVecSin64fKernel_s5a1(const double* src, double* dst, int n) {
    static const char kName[4] = {0, 0, 0, 0};  // this kernel's empty name word
    return trigKernel<8, false>(src, dst, n, [](TrigCall& c, int base, int count) {
        groupTable64<false, false, 8>(c, base, count, kName);
    });
}

DspStatus DSP_CALL dspVecSin64fKernel_s5a2(const double* src, double* dst, int n) {
    static const char kName[4] = {0, 0, 0, 0};  // this kernel's empty name word
    return trigKernel<8, false>(src, dst, n, [](TrigCall& c, int base, int count) {
        groupFastest<false, 8>(c, base, count, kName);
    });
}

DspStatus DSP_CALL dspVecCos64fKernel_s5a0(const double* src, double* dst, int n) {
    static const char kName[4] = {0, 0, 0, 0};  // this kernel's empty name word
    return trigKernel<8, false>(src, dst, n, [](TrigCall& c, int base, int count) {
        groupStandard<true, 8>(c, base, count, kName);
    });
}

DspStatus DSP_CALL dspVecCos64fKernel_s5a1(const double* src, double* dst, int n) {
    static const char kName[4] = {0, 0, 0, 0};  // this kernel's empty name word
    return trigKernel<8, false>(src, dst, n, [](TrigCall& c, int base, int count) {
        groupTable64<true, false, 8>(c, base, count, kName);
    });
}

DspStatus DSP_CALL dspVecCos64fKernel_s5a2(const double* src, double* dst, int n) {
    static const char kName[4] = {0, 0, 0, 0};  // this kernel's empty name word
    return trigKernel<8, false>(src, dst, n, [](TrigCall& c, int base, int count) {
        groupFastest<true, 8>(c, base, count, kName);
    });
}

}  // extern "C"
