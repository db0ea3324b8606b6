// The slot's small-order kernels (dsp/fft/kernels.h) and its two kernel sets. The members are
// made from the generator in dsp/fft/small_dft.h (the complex ones of slots 4 and 5 from
// dsp/fft/avx_kernels.h), in the arithmetic of the slot's FFT traits (dsp/fft/spec.h):
//
//   scalar      slot 0 real and complex kernels in x87 (ScalarFamily over long double), scale
//               first; slot 2 the same arithmetic in double
//   pairs       slots 1 and 2n: real kernels in scalar SSE2 scaling the outputs; complex
//               kernels in PairFamily, with aligned moves where both arrays allow them
//   unaligned   slot 3: the same, the complex kernels always with unaligned moves
//   avx         slots 4 and 5: real kernels as the pairs', in scalar AVX; the fused
//               multiply-add slot (5) fuses the general products of its real orders 4 and 5
//
// The inverse real kernels of orders 2 to 5 scale their first stage in every slot and differ
// only in arithmetic: x87 in slot 0, double in slots 1 to 4, fused rotations in slot 5.
//
// Only the members that the member map gives a set of this slot are instantiated (as the sets
// below take their addresses); those are all that another slot's set may take from this one.
#include "dsp/bits.h"
#include "dsp/fft/fft_slot.h"
#include "dsp/fft/kernels.h"
#include "dsp/fft/small_dft.h"
#include "dsp/internal.h"
#include "dsp/slot.h"
#if DSP_SLOT >= 4
#include "dsp/fft/avx_kernels.h"
#endif

namespace {

constexpr DspFftKernelArith kArith = kTraits.kernels;

// The complex kernels of the AVX slots (dsp/fft/avx_kernels.h there).
template <Dir D, int m, bool Scaled>
void avxComplexKernel(const double* src, double* dst, double scale);

template <Dir D, int m, bool Scaled>
DSP_FFT_INLINE void complexMember(const double* src, double* dst, double scale) {
    if constexpr (kArith == dspFftKernelsAvx) {
        avxComplexKernel<D, m, Scaled>(src, dst, scale);
    } else if constexpr (kArith == dspFftKernelsScalar || m <= 1) {
        complexKernel<ScalarFamily, D, m, Scaled>(src, dst, scale);
    } else if constexpr (kArith == dspFftKernelsUnalignedPairs) {
        complexKernel<PairFamily<false>, D, m, Scaled>(src, dst, scale);
    } else if (aligned(src, 16) && aligned(dst, 16)) {
        // Both paths run the same arithmetic.
        complexKernel<PairFamily<true>, D, m, Scaled>(src, dst, scale);
    } else {
        complexKernel<PairFamily<false>, D, m, Scaled>(src, dst, scale);
    }
}

// The fused slot's real kernels of orders 4 and 5: a scaled member multiplies the inputs and
// runs the unscaled graph, whose general twiddle products fuse their first product into the sum,
// (fma(re, wr, -round(im wi)), fma(re, wi, round(im wr))); so scale 1.0 and powers of two give
// exactly the unscaled result times the scale. Below order 4 there is no general product, and
// its order 3 computes as slot 4's.
constexpr int kFusedRealFrom = 4;
struct FusedScalarFamily : ScalarFamily {
    template <Dir D>
    DSP_FFT_INLINE static C general(C a, double wr, double wi) {
        static_assert(D == Dir::Fwd, "forward kernels only");
        return {__builtin_fma(a.re, wr, -(a.im * wi)), __builtin_fma(a.re, wi, a.im * wr)};
    }
};

template <int k, bool Scaled>
DSP_FFT_INLINE void realMember(const double* src, double* dst, double scale) {
    if constexpr (kSlot.fma && k >= kFusedRealFrom) {
        double x[1 << k];
        for (int n = 0; n < (1 << k); ++n) x[n] = Scaled ? ld1(src + n) * scale : ld1(src + n);
        realKernel<false, k, false, FusedScalarFamily>(x, dst, 1.0);
    } else {
        realKernel<kArith == dspFftKernelsScalar, k, Scaled>(src, dst, scale);
    }
}

}  // namespace

namespace DSP_SLOT_NS {

template <int k>
void DSP_CALL realFwdScaled(const double* src, double* dst, double scale) {
    realMember<k, true>(src, dst, scale);
}
template <int k>
void DSP_CALL realFwd(const double* src, double* dst) {
    realMember<k, false>(src, dst, 1.0);
}
template <int k>
void DSP_CALL complexFwdScaled(const double* src, double* dst, double scale) {
    complexMember<Dir::Fwd, k, true>(src, dst, scale);
}
template <int k>
void DSP_CALL complexFwd(const double* src, double* dst) {
    complexMember<Dir::Fwd, k, false>(src, dst, 1.0);
}
template <int k>
void DSP_CALL realInvScaled(const double* src, double* dst, double scale) {
    realInvKernel<kSlot.fma, k, true>(src, dst, scale);
}
template <int k>
void DSP_CALL realInv(const double* src, double* dst) {
    realInvKernel<kSlot.fma, k, false>(src, dst, 1.0);
}
template <int k>
void DSP_CALL complexInvScaled(const double* src, double* dst, double scale) {
    complexMember<Dir::Inv, k, true>(src, dst, scale);
}
template <int k>
void DSP_CALL complexInv(const double* src, double* dst) {
    complexMember<Dir::Inv, k, false>(src, dst, 1.0);
}

}  // namespace DSP_SLOT_NS

extern "C" {

const DspFftKernelSet DSP_SLOT_NAME(dspFftFwdKernelSet) =
    dspFftKernelSetOf<false, DSP_SLOT_INDEX>();
const DspFftKernelSet DSP_SLOT_NAME(dspFftInvKernelSet) = dspFftKernelSetOf<true, DSP_SLOT_INDEX>();

const DspFftKernelSet* DSP_CALL DSP_SLOT_NAME(dspFftKernelSet)(int inverse) {
    return inverse ? &DSP_SLOT_NAME(dspFftInvKernelSet) : &DSP_SLOT_NAME(dspFftFwdKernelSet);
}

}  // extern "C"
