// Vector sine and cosine kernels of CPU slots 2 and 3 (SSE2): the kernels both slots share (the
// slot-3 fastest cosine is its own).
#include "dsp/slot.h"
#include "dsp/vecmath/trig_simd.h"

extern "C" {

DspStatus DSP_CALL dspVecSin64fKernel_s2a0(const double* src, double* dst, int n) {
    static const char kName[4] = {0, 0, 0, 0};  // this kernel's empty name word
    return trigKernel<8, false>(src, dst, n, [](TrigCall& c, int base, int count) {
        groupStandard<false, 8>(c, base, count, kName);
    });
}

DspStatus DSP_CALL dspVecSin64fKernel_s2a1(const double* src, double* dst, int n) {
    return trigKernel<4, true>(src, dst, n, [](TrigCall& c, int base, int count) {
        groupTable64<false, true, 4>(c, base, count, kNameSin);
    });
}

DspStatus DSP_CALL dspVecSin64fKernel_s2a2(const double* src, double* dst, int n) {
    static const char kName[4] = {0, 0, 0, 0};  // this kernel's empty name word
    return trigKernel<8, false>(src, dst, n, [](TrigCall& c, int base, int count) {
        groupFastest<false, 8>(c, base, count, kName);
    });
}

DspStatus DSP_CALL dspVecCos64fKernel_s2a0(const double* src, double* dst, int n) {
    static const char kName[4] = {0, 0, 0, 0};  // this kernel's empty name word
    return trigKernel<8, false>(src, dst, n, [](TrigCall& c, int base, int count) {
        groupStandard<true, 8>(c, base, count, kName);
    });
}

DspStatus DSP_CALL dspVecCos64fKernel_s2a1(const double* src, double* dst, int n) {
    return trigKernel<4, true>(src, dst, n, [](TrigCall& c, int base, int count) {
        groupTable64<true, true, 4>(c, base, count, kNameCos);
    });
}

DspStatus DSP_CALL dspVecCos64fKernel_s2a2(const double* src, double* dst, int n) {
    static const char kName[4] = {0, 0, 0, 0};  // this kernel's empty name word
    return trigKernel<8, false>(src, dst, n, [](TrigCall& c, int base, int count) {
        groupFastest<true, 8>(c, base, count, kName);
    });
}

}  // extern "C"
