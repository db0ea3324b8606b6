// Vector sine and cosine kernels of CPU slot 1 (SSE2): the pi/256 table kernels (accuracy slots 0
// and 1) and the fastest kernels.
#include "dsp/slot.h"
#include "dsp/vecmath/trig_simd.h"

extern "C" {

DspStatus DSP_CALL dspVecSin64fKernel_s1a1(const double* src, double* dst, int n) {
    static const char kName[4] = {0, 0, 0, 0};  // this kernel's empty name word
    return trigKernel<4, false>(src, dst, n, [](TrigCall& c, int base, int count) {
        groupTable256<false, 4>(c, base, count, kName);
    });
}

DspStatus DSP_CALL dspVecSin64fKernel_s1a2(const double* src, double* dst, int n) {
    static const char kName[4] = {0, 0, 0, 0};  // this kernel's empty name word
    return trigKernel<4, false>(src, dst, n, [](TrigCall& c, int base, int count) {
        groupFastest<false, 4>(c, base, count, kName);
    });
}

DspStatus DSP_CALL dspVecCos64fKernel_s1a1(const double* src, double* dst, int n) {
    static const char kName[4] = {0, 0, 0, 0};  // this kernel's empty name word
    return trigKernel<4, false>(src, dst, n, [](TrigCall& c, int base, int count) {
        groupTable256<true, 4>(c, base, count, kName);
    });
}

DspStatus DSP_CALL dspVecCos64fKernel_s1a2(const double* src, double* dst, int n) {
    static const char kName[4] = {0, 0, 0, 0};  // this kernel's empty name word
    return trigKernel<4, false>(src, dst, n, [](TrigCall& c, int base, int count) {
        groupFastest<true, 4>(c, base, count, kName);
    });
}

}  // extern "C"
