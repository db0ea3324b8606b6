// Entry bodies of the real FFT for one CPU slot (and, in its 2n build, for slot 2
// without MOVBE). They make every argument check of the size query, the set-up and the two
// transforms in the documented order; the transforms themselves are not part of this build
// yet, so a call that passes every check is refused: the size query and the set-up with
// dspErrFftOrder (no order is available), the transforms with dspErrSpecMismatch (no spec can
// have been built). Nothing is written on these refusals.
#include "dsp/internal.h"
#include "dsp/slot.h"

#include <string.h>

#if defined(DSP_SLOT_NO_MOVBE)
#define DSP_FFT_SLOT2_MOVBE 0
#define DSP_FFT_ZERO_BYTES dspZeroBytes_s2
#else
#define DSP_FFT_SLOT2_MOVBE (DSP_SLOT == 2)
#define DSP_FFT_ZERO_BYTES DSP_SLOT_NAME(dspZeroBytes)
#endif

namespace {

// Largest order: 27 in slot 0 and in slot 2 with MOVBE, 28 elsewhere.
constexpr int kMaxOrder = (DSP_SLOT == 0 || DSP_FFT_SLOT2_MOVBE) ? 27 : 28;
constexpr int kSpecHeaderBytes = 96;
constexpr int kTagWord = 0;       // 9 for a built real-FFT spec
constexpr int kWorkSizeWord = 7;  // bytes of work buffer the transforms need
constexpr int32_t kSpecTag = 9;

bool validFlag(int flag) {
    return flag == dspFftScaleNone || flag == dspFftScaleSqrt || flag == dspFftScaleFwd ||
           flag == dspFftScaleInv;
}

int32_t specWord(const DspFftSpecReal64f* spec, int word) {
    int32_t w;
    memcpy(&w, reinterpret_cast<const BYTE*>(spec) + 4 * word, sizeof w);
    return w;
}

DspStatus checkTransform(const double* src, double* dst, const DspFftSpecReal64f* spec,
                         BYTE* work) {
    if (!spec) return dspErrNullPtr;
    if (specWord(spec, kTagWord) != kSpecTag) return dspErrSpecMismatch;
    if (!src || !dst) return dspErrNullPtr;
    if (!work && specWord(spec, kWorkSizeWord) > 0) return dspErrNullPtr;
    return dspErrSpecMismatch;
}

}  // namespace

extern "C" {

DspStatus DSP_CALL DSP_SLOT_NAME(dspFftGetSizeReal64f)(int order, int flag, int hint, int* specSize,
                                                       int* specBufSize, int* workSize) {
#if DSP_FFT_SLOT2_MOVBE
    if (!dspCheckCpuFeatures(dspFeatMovbe))
        return dspFftGetSizeReal64f_s2n(order, flag, hint, specSize, specBufSize, workSize);
#endif
    (void)hint;
    if (static_cast<unsigned>(order) > 30) return dspErrFftOrder;
    if (!specSize || !specBufSize || !workSize) return dspErrNullPtr;
    if (!validFlag(flag)) return dspErrFftFlag;
    // Orders up to kMaxOrder would be answered here once the transforms are built.
    return dspErrFftOrder;
}

DspStatus DSP_CALL DSP_SLOT_NAME(dspFftInitReal64f)(DspFftSpecReal64f** spec, int order, int flag,
                                                    int hint, BYTE* specMem, BYTE* specBuf) {
#if DSP_FFT_SLOT2_MOVBE
    if (!dspCheckCpuFeatures(dspFeatMovbe))
        return dspFftInitReal64f_s2n(spec, order, flag, hint, specMem, specBuf);
#endif
    (void)hint;
    if (!spec) return dspErrNullPtr;
    if (static_cast<unsigned>(order) >= 31 || order > kMaxOrder) return dspErrFftOrder;
    if (!specMem) return dspErrNullPtr;
    if (!validFlag(flag)) {
        // The header is cleared before the flag is judged: a refused set-up leaves tag 0, so
        // the memory can never pass for a spec afterwards.
        BYTE* header = specMem + ((64 - (reinterpret_cast<uintptr_t>(specMem) & 63)) & 63);
        DSP_FFT_ZERO_BYTES(header, kSpecHeaderBytes);
        return dspErrFftFlag;
    }
    if (order >= 11 && !specBuf) return dspErrNullPtr;
    return dspErrFftOrder;
}

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
