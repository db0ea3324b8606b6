// Vector sine and cosine kernels of CPU slot 3: the fastest cosine (the same code as slot 2's, with
// its own name word).
#include "dsp/slot.h"
#include "dsp/vecmath/trig_simd.h"

extern "C" {

DspStatus DSP_CALL dspVecCos64fKernel_s3a2(const double* src, double* dst, int n) {
    static const char kName[4] = {0, 0, 0, 0};  // this kernel's empty name word
    return trigKernel<8, false>(src, dst, n, [](TrigCall& c, int base, int count) {
        groupFastest<true, 8>(c, base, count, kName);
    });
}

}  // extern "C"
