// Entry bodies of the forward and inverse real FFT of one CPU slot (and, through
// its 2n build, of slot 2 without MOVBE). They make every argument check in the documented
// order; no transform path is built yet, so a call that passes the checks answers
// dspErrFftOrder and writes nothing.
#include "dsp/fft/fft_slot.h"
#include "dsp/fft/spec.h"
#include "dsp/internal.h"
#include "dsp/slot.h"

namespace {

DspStatus checkTransform(const double* src, double* dst, const DspFftSpecReal64f* spec,
                         BYTE* work) {
    if (!spec) return dspErrNullPtr;
    if (spec->tag != kDspFftSpecTag) return dspErrSpecMismatch;
    if (!src || !dst) return dspErrNullPtr;
    if (!work && spec->workSize > 0) return dspErrNullPtr;
    return dspErrFftOrder;
}

}  // namespace

extern "C" {

DspStatus DSP_CALL DSP_SLOT_NAME(dspFftFwdRealToCcs64f)(const double* src, double* dst,
                                                        const DspFftSpecReal64f* spec, BYTE* work) {
#if DSP_FFT_SLOT2_MOVBE
    if (!dspCheckCpuFeatures(dspFeatMovbe)) return dspFftFwdRealToCcs64f_s2n(src, dst, spec, work);
#endif
    return checkTransform(src, dst, spec, work);
}

DspStatus DSP_CALL DSP_SLOT_NAME(dspFftInvCcsToReal64f)(const double* src, double* dst,
                                                        const DspFftSpecReal64f* spec, BYTE* work) {
#if DSP_FFT_SLOT2_MOVBE
    if (!dspCheckCpuFeatures(dspFeatMovbe)) return dspFftInvCcsToReal64f_s2n(src, dst, spec, work);
#endif
    return checkTransform(src, dst, spec, work);
}

}  // extern "C"
