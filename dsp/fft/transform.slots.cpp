// Entry bodies of the forward and inverse real FFT of one CPU slot (and, through its 2n build,
// of slot 2 without MOVBE). Both make every argument check in the documented order before they
// write anything.
//
// The forward body takes the path of its order from the slot traits (dsp/fft/paths.h): a real
// kernel straight into the Perm layout, or the half-length complex DFT of the input read as
// pairs (a complex kernel, the iterative passes or the block butterflies), scaled exactly once
// (in the kernel, by the slot's in-place scaling after the passes, or row by row in the recursive
// drivers), then X[0] and X[N/2] from Z[0], the recombination, and the CCS layout; every order
// a slot accepts has a path.
//
// The inverse body mirrors it: the Perm layout and a real kernel at the smallest orders;
// otherwise Y[0], the pre-processing into the half-length array in dst, and the inverse complex
// DFT of that array in place (a complex kernel, the iterative passes or the block butterflies),
// scaled exactly once, or the recursive driver in place. The mid-order driver of slots 4 and 5
// reads the spectrum itself, the pre-processing fused into its first pass, with the same bits.
// The paths missing in the forward are missing here too (dspErrFftOrder before any write).
#include "dsp/bits.h"
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

DspStatus checkTransform(const double* src, double* dst, const DspFftSpecReal64f* spec,
                         BYTE* work) {
    if (!spec) return dspErrNullPtr;
    if (spec->tag != kDspFftSpecTag) return dspErrSpecMismatch;
    if (!src || !dst) return dspErrNullPtr;
    if (!work && spec->workSize > 0) return dspErrNullPtr;
    return dspOk;
}

// Perm (N doubles) to CCS (N + 2): X[N/2] moves behind the rest, the zero imaginary parts are
// +0.0. Bits are moved, not loaded into the x87, and the arrays may lie at any byte address.
void permToCcs(double* dst, int64_t n) {
    if (n > 1) {
        memmove(dst + n, dst + 1, sizeof(double));
        st1(dst + n + 1, 0.0);
    }
    st1(dst + 1, 0.0);
}

// dst[0] = a + b and dst[1] = a - b in the slot's arithmetic, both read first: X[0] and X[N/2]
// from Z[0] in the forward, Y[0] from X[0] and X[N/2] in the inverse.
void sumAndDifference(FftReal a, FftReal b, double* dst) {
    st1(dst, static_cast<double>(a + b));
    st1(dst + 1, static_cast<double>(a - b));
}

// The passes of the iterative and the blocked path that the slot has: the mid-order driver
// (slots 4 and 5), the butterfly passes (slots 1, 3 and 2n), or the permutation and the passes
// of slots 0 and 2; the block butterflies (slots 1, 3 and 2n).
constexpr auto kMidOrderFwd = DSP_SLOT_BODY(dspFftMidOrderFwd);
constexpr auto kMidOrderInv = DSP_SLOT_BODY(dspFftMidOrderInv);
constexpr auto kPassesFwd = DSP_SLOT_BODY(dspFftButterflyPassesFwd);
constexpr auto kPassesInv = DSP_SLOT_BODY(dspFftButterflyPassesInv);
constexpr auto kBlocksFwd = DSP_SLOT_BODY(dspFftBlockButterfliesFwd);
constexpr auto kBlocksInv = DSP_SLOT_BODY(dspFftBlockButterfliesInv);
constexpr auto kPermute = DSP_SLOT_BODY(dspBitReversePermute);
constexpr auto kPermuteInPlace = DSP_SLOT_BODY(dspBitReversePermuteInPlace);
constexpr bool kBlockedPath = DSP_SLOT_HAS(dspFftBlockButterfliesFwd);
// The inverse of the mid-order driver's orders straight from the spectrum (slots 4 and 5).
constexpr auto kMidOrderInvCcs = DSP_SLOT_BODY(dspFftMidOrderInvCcs);
constexpr bool kMidOrderFromCcs = DSP_SLOT_HAS(dspFftMidOrderInvCcs);

// The bit-reversal permutation of hn complex values from src into dst (in place when they are
// the same array).
[[maybe_unused]] void permute(const double* src, double* dst, int hn, const int32_t* bitReverse) {
    if (src == dst) {
        kPermuteInPlace(dst, hn, bitReverse);
    } else if constexpr (DSP_SLOT_HAS(dspBitReversePermute)) {
        kPermute(src, dst, hn, bitReverse);
    }
}

// The iterative path of either direction: the unscaled complex DFT of the hn values of src
// (bit reversal included) into dst.
template <Dir D, int S = DSP_SLOT_INDEX>
void iterative(const double* src, double* dst, int hn, const double* twiddles,
               const int32_t* bitReverse, BYTE* w) {
    constexpr auto midOrder = D == Dir::Fwd ? kMidOrderFwd : kMidOrderInv;
    constexpr auto passes = D == Dir::Fwd ? kPassesFwd : kPassesInv;
    if constexpr (D == Dir::Fwd ? DSP_SLOT_HAS(dspFftMidOrderFwd)
                                : DSP_SLOT_HAS(dspFftMidOrderInv)) {
        midOrder(src, dst, hn, twiddles, bitReverse, w);
    } else if constexpr (D == Dir::Fwd ? DSP_SLOT_HAS(dspFftButterflyPassesFwd)
                                       : DSP_SLOT_HAS(dspFftButterflyPassesInv)) {
        passes(src, dst, hn, twiddles, bitReverse, w);
    } else {
        permute(src, dst, hn, bitReverse);
        if constexpr (D == Dir::Fwd) {
            DspFftIterativePasses<S>::fwd(dst, hn, twiddles);
        } else {
            DspFftIterativePasses<S>::inv(dst, hn, twiddles);
        }
    }
}

// Whether the inverse has a path at this order: a kernel in its table, or passes of its slot or
// its recursive driver. Asked before anything is written.
bool invPathBuilt(const DspFftKernelSet& kernels, DspFftPath path, int order, bool scaled) {
    switch (path) {
        case dspFftPathRealKernel:
            return scaled ? kernels.t0[order] != nullptr : kernels.t1[order] != nullptr;
        case dspFftPathComplexKernel:
            return scaled ? kernels.t2[order - 1] != nullptr : kernels.t3[order - 1] != nullptr;
        case dspFftPathIterative:
            return true;
        case dspFftPathBlocked:
            return kBlockedPath;
        case dspFftPathRecursive:
            return true;
        default:
            return false;
    }
}

}  // namespace

extern "C" {

DspStatus DSP_CALL DSP_SLOT_NAME(dspFftFwdRealToCcs64f)(const double* src, double* dst,
                                                        const DspFftSpecReal64f* spec, BYTE* work) {
    if constexpr (DSP_FFT_HANDS_ON(dspFftFwdRealToCcs64f)) {
        if (!dspCheckCpuFeatures(dspFeatMovbe))
            return DSP_FFT_HAND_ON(dspFftFwdRealToCcs64f)(src, dst, spec, work);
    }
    const DspStatus status = checkTransform(src, dst, spec, work);
    if (status != dspOk) return status;

    const int order = spec->order;
    const int64_t n = int64_t(1) << order;
    const bool scaled = spec->fwdScaled != 0;
    const double scale = spec->scale;
    const DspFftKernelSet& kernels = DSP_SLOT_NAME(dspFftFwdKernelSet);
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
            iterative<Dir::Fwd>(src, dst, hn, twiddles, bitReverse, w);
            if (scaled) (void)DSP_FFT_SERVICE(dspMulConstInPlace64f)(scale, dst, int(n));
            break;
        case dspFftPathBlocked:
            if constexpr (!kBlockedPath) {
                return dspErrFftOrder;  // no blocked path in this slot
            } else {
                permute(src, dst, hn, bitReverse);
                kBlocksFwd(dst, hn, twiddles, w, 1);
                if (scaled) (void)DSP_FFT_SERVICE(dspMulConstInPlace64f)(scale, dst, int(n));
                break;
            }
        case dspFftPathRecursive:
            // The driver scales each row itself.
            DSP_SLOT_NAME(dspFftRecursiveFwd)(spec, src, dst, order - 1, w);
            break;
        case dspFftPathRealKernel:
            break;  // done above
    }
    sumAndDifference(ld1(dst), ld1(dst + 1), dst);
    DSP_SLOT_NAME(dspRealFftPostProcess)(dst, hn, dspFftFwdRecombTableOf(spec));
    permToCcs(dst, n);
    return dspOk;
}

DspStatus DSP_CALL DSP_SLOT_NAME(dspFftInvCcsToReal64f)(const double* src, double* dst,
                                                        const DspFftSpecReal64f* spec, BYTE* work) {
    if constexpr (DSP_FFT_HANDS_ON(dspFftInvCcsToReal64f)) {
        if (!dspCheckCpuFeatures(dspFeatMovbe))
            return DSP_FFT_HAND_ON(dspFftInvCcsToReal64f)(src, dst, spec, work);
    }
    const DspStatus status = checkTransform(src, dst, spec, work);
    if (status != dspOk) return status;

    const int order = spec->order;
    const int64_t n = int64_t(1) << order;
    const bool scaled = spec->invScaled != 0;
    const double scale = spec->scale;
    const DspFftKernelSet& kernels = DSP_SLOT_NAME(dspFftInvKernelSet);
    const DspFftPath path = dspFftPathOf(kTraits, order);
    if (!invPathBuilt(kernels, path, order, scaled)) return dspErrFftOrder;

    if (path == dspFftPathRealKernel) {
        // The Perm layout, X[0], X[N/2], then X[1 .. N/2-1], as bits in a local array the kernel
        // reads, so that dst is written once (moving it through dst first cost a call of memmove
        // and the stores' round trip at these few nanoseconds).
        uint64_t perm[size_t(1) << kTraits.lastKernelOrder];
        for (int64_t i = 2; i < n; ++i) perm[i] = ld64(src + i);
        perm[0] = ld64(src);
        if (n > 1) perm[1] = ld64(src + n);
        const double* const in = reinterpret_cast<const double*>(perm);
        if (scaled) {
            kernels.t0[order](in, dst, scale);
        } else {
            kernels.t1[order](in, dst);
        }
        return dspOk;
    }
    const int hn = static_cast<int>(n / 2);
    [[maybe_unused]] BYTE* const w = spec->workSize > 0 ? alignUp64(work) : nullptr;
    const int32_t* const bitReverse = dspFftBitReverseTableOf(spec);
    const double* const twiddles = dspFftTwiddleTableOf(spec);
    if constexpr (kMidOrderFromCcs) {
        // The mid-order driver of slots 4 and 5 takes the pre-processing into its first pass.
        if (path == dspFftPathIterative) {
            kMidOrderInvCcs(src, dst, hn, twiddles, bitReverse, dspFftInvRecombTableOf(spec), w);
            if (scaled) (void)DSP_FFT_SERVICE(dspMulConstInPlace64f)(scale, dst, int(n));
            return dspOk;
        }
    }
    // Y[0] from X[0] and X[N/2], both read before the first write, then Y[1 .. N/2-1].
    sumAndDifference(ld1(src), ld1(src + n), dst);
    DSP_SLOT_NAME(dspRealFftInvPreProcess)(src, dst, hn, dspFftInvRecombTableOf(spec));
    switch (path) {
        case dspFftPathComplexKernel:
            if (scaled) {
                kernels.t2[order - 1](dst, dst, scale);
            } else {
                kernels.t3[order - 1](dst, dst);
            }
            return dspOk;
        case dspFftPathIterative:
            iterative<Dir::Inv>(dst, dst, hn, twiddles, bitReverse, w);
            break;
        case dspFftPathBlocked:
            if constexpr (kBlockedPath) {
                kPermuteInPlace(dst, hn, bitReverse);
                kBlocksInv(dst, hn, twiddles, w, 1);
            }
            break;
        case dspFftPathRecursive:
            // In place in dst; the driver scales each row itself, so nothing is scaled here.
            DSP_SLOT_NAME(dspFftRecursiveInv)(spec, dst, dst, order - 1, w);
            return dspOk;
        default:
            break;  // invPathBuilt refused the rest
    }
    if (scaled) (void)DSP_FFT_SERVICE(dspMulConstInPlace64f)(scale, dst, int(n));
    return dspOk;
}

}  // extern "C"
