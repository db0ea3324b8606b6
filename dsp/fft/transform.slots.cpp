// Entry bodies of the forward and inverse real FFT of one CPU slot (and, through its 2n build,
// of slot 2 without MOVBE). Both make every argument check in the documented order before they
// write anything.
//
// The forward body takes the path of its order from the slot traits (dsp/fft/paths.h): a real
// kernel straight into the Perm layout, or the half-length complex DFT of the input read as
// pairs (a complex kernel, the iterative passes or the block butterflies), scaled exactly once
// (in the kernel, or by the slot's in-place scaling after the passes), then X[0] and X[N/2] from
// Z[0], the recombination, and the CCS layout. A path that is not built yet (the recursive
// drivers, slot 4's complex kernels and mid-order driver, slot 5's fused kernels) answers
// dspErrFftOrder and writes nothing. The inverse has no path yet: it answers dspErrFftOrder
// after its checks.
#include "dsp/fft/fft_slot.h"
#include "dsp/fft/kernels.h"
#include "dsp/fft/paths.h"
#include "dsp/fft/radix.h"
#include "dsp/fft/spec.h"
#include "dsp/fft/tables.h"
#include "dsp/internal.h"
#include "dsp/slot.h"

#include <string.h>

namespace {

constexpr DspFftSlotTraits kTraits = kDspFftSlotTraits[DSP_FFT_SLOT_INDEX];

DspStatus checkTransform(const double* src, double* dst, const DspFftSpecReal64f* spec,
                         BYTE* work) {
    if (!spec) return dspErrNullPtr;
    if (spec->tag != kDspFftSpecTag) return dspErrSpecMismatch;
    if (!src || !dst) return dspErrNullPtr;
    if (!work && spec->workSize > 0) return dspErrNullPtr;
    return dspOk;
}

// Perm (N doubles) to CCS (N + 2): X[N/2] moves behind the rest, the zero imaginary parts are
// +0.0. Bits are moved, not loaded into the x87.
void permToCcs(double* dst, int64_t n) {
    if (n > 1) {
        memmove(dst + n, dst + 1, sizeof(double));
        dst[n + 1] = 0.0;
    }
    dst[1] = 0.0;
}

#if DSP_SLOT <= 3
// X[0] = Re Z[0] + Im Z[0] and X[N/2] = Re Z[0] - Im Z[0], in the slot's arithmetic.
void dcAndNyquist(double* dst) {
    const FftReal r0 = dst[0], r1 = dst[1];
    dst[0] = static_cast<double>(r0 + r1);
    dst[1] = static_cast<double>(r0 - r1);
}
#endif

}  // namespace

extern "C" {

DspStatus DSP_CALL DSP_SLOT_NAME(dspFftFwdRealToCcs64f)(const double* src, double* dst,
                                                        const DspFftSpecReal64f* spec, BYTE* work) {
#if DSP_FFT_SLOT2_MOVBE
    if (!dspCheckCpuFeatures(dspFeatMovbe)) return dspFftFwdRealToCcs64f_s2n(src, dst, spec, work);
#endif
    const DspStatus status = checkTransform(src, dst, spec, work);
    if (status != dspOk) return status;

    const int order = spec->order;
    const int64_t n = int64_t(1) << order;
    const bool scaled = spec->fwdScaled != 0;
    const double scale = spec->scale;
    const DspFftKernelSet& kernels = dspFftFwdKernelTables[DSP_FFT_SLOT_INDEX];
    const DspFftPath path = dspFftPathOf(kTraits, order);

    if (path == dspFftPathRealKernel) {
        if (!(scaled ? kernels.t0[order] != nullptr : kernels.t1[order] != nullptr))
            return dspErrFftOrder;
        if (scaled) {
            kernels.t0[order](src, dst, scale);
        } else {
            kernels.t1[order](src, dst);
        }
        permToCcs(dst, n);
        return dspOk;
    }
#if DSP_SLOT >= 4
    return dspErrFftOrder;
#else
    // The slots whose passes use the work buffer get it rounded up to 64 bytes, or null.
    [[maybe_unused]] BYTE* const w = spec->workSize > 0 ? alignUp64(work) : nullptr;
    const int32_t* const bitReverse = dspFftBitReverseTableOf(spec);
    const double* const twiddles = dspFftTwiddleTableOf(spec);
    const int hn = static_cast<int>(n / 2);
    switch (path) {
        case dspFftPathComplexKernel:
            if (!(scaled ? kernels.t2[order - 1] != nullptr : kernels.t3[order - 1] != nullptr))
                return dspErrFftOrder;
            if (scaled) {
                kernels.t2[order - 1](src, dst, scale);
            } else {
                kernels.t3[order - 1](src, dst);
            }
            break;
        case dspFftPathIterative:
#if DSP_SLOT == 0 || DSP_FFT_SLOT2_MOVBE
            if (src == dst) {
                DSP_SLOT_NAME(dspBitReversePermuteInPlace)(dst, hn, bitReverse);
            } else {
                DSP_SLOT_NAME(dspBitReversePermute)(src, dst, hn, bitReverse);
            }
            DSP_SLOT_NAME(dspFftButterflyPassesFwd)(dst, hn, twiddles);
#else
            DSP_SLOT_NAME(dspFftButterflyPassesFwd)(src, dst, hn, twiddles, bitReverse, w);
#endif
            if (scaled) (void)DSP_FFT_SERVICE(dspMulConstInPlace64f)(scale, dst, int(n));
            break;
        case dspFftPathBlocked:
#if DSP_SLOT == 0 || DSP_FFT_SLOT2_MOVBE
            return dspErrFftOrder;  // no blocked path in these slots
#else
            if (src == dst) {
                DSP_SLOT_NAME(dspBitReversePermuteInPlace)(dst, hn, bitReverse);
            } else {
                DSP_SLOT_NAME(dspBitReversePermute)(src, dst, hn, bitReverse);
            }
            DSP_SLOT_NAME(dspFftBlockButterfliesFwd)(dst, hn, twiddles, w, 1);
            if (scaled) (void)DSP_FFT_SERVICE(dspMulConstInPlace64f)(scale, dst, int(n));
            break;
#endif
        default:
            return dspErrFftOrder;  // the recursive drivers are not built yet
    }
    dcAndNyquist(dst);
    DSP_SLOT_NAME(dspRealFftPostProcess)(dst, hn, dspFftFwdRecombTableOf(spec));
    permToCcs(dst, n);
    return dspOk;
#endif
}

DspStatus DSP_CALL DSP_SLOT_NAME(dspFftInvCcsToReal64f)(const double* src, double* dst,
                                                        const DspFftSpecReal64f* spec, BYTE* work) {
#if DSP_FFT_SLOT2_MOVBE
    if (!dspCheckCpuFeatures(dspFeatMovbe)) return dspFftInvCcsToReal64f_s2n(src, dst, spec, work);
#endif
    const DspStatus status = checkTransform(src, dst, spec, work);
    return status != dspOk ? status : dspErrFftOrder;
}

}  // extern "C"
