// The slot's own small-order kernels (dsp/fft/kernels.h), instantiated from the generator in
// dsp/fft/small_dft.h. Which members a slot owns follows the member map of kernel_tables.cpp;
// the members a set borrows from slot 1 or slot 4 are not compiled again here.
//
//   slot 0      real and complex kernels in x87 (ScalarFamily over long double), scale first
//   slot 2      the slot-0 arithmetic in double
//   slots 1, 3  real kernels in scalar SSE2 scaling the outputs; complex kernels in PairFamily,
//   and 2n      slots 1 and 2n with aligned moves where both arrays allow them, slot 3 always
//               with unaligned moves
//   slots 4, 5  real kernels as slot 1, in scalar AVX; slot 5's orders 4 and 5 fuse their
//               general products (the complex kernels of both: avx_kernels.slots.cpp)
// The inverse real kernels of orders 2 to 5 scale their first stage in every slot and differ
// only in arithmetic: x87 in slot 0, double in slots 1 to 4, fused rotations in slot 5.
#include "dsp/fft/fft_slot.h"
#include "dsp/fft/kernels.h"
#include "dsp/fft/small_dft.h"
#include "dsp/slot.h"

namespace {

constexpr bool kRealScaleFirst = DSP_SLOT == 0 || DSP_FFT_SLOT2_MOVBE;

#if DSP_SLOT == 0 || DSP_FFT_SLOT2_MOVBE
template <Dir D, int m, bool Scaled>
inline void complexMember(const double* src, double* dst, double scale) {
    complexKernel<ScalarFamily, D, m, Scaled>(src, dst, scale);
}
#elif DSP_SLOT >= 1 && DSP_SLOT <= 3
// Slot 3 moves every value unaligned; slots 1 and 2n take aligned moves when both arrays are on
// 16 bytes. The two paths run the same arithmetic.
constexpr bool kAlignedPath = DSP_SLOT != 3;

template <Dir D, int m, bool Scaled>
inline void complexMember(const double* src, double* dst, double scale) {
    if constexpr (m <= 1) {
        complexKernel<ScalarFamily, D, m, Scaled>(src, dst, scale);
    } else if (kAlignedPath && aligned(src, 16) && aligned(dst, 16)) {
        complexKernel<PairFamily<true>, D, m, Scaled>(src, dst, scale);
    } else {
        complexKernel<PairFamily<false>, D, m, Scaled>(src, dst, scale);
    }
}
#endif

#if DSP_SLOT == 5
// Slot 5's real kernels of orders 4 and 5: a scaled member multiplies the inputs and runs the
// unscaled graph, whose general twiddle products fuse their first product into the sum,
// (fma(re, wr, -round(im wi)), fma(re, wi, round(im wr))); so scale 1.0 and powers of two give
// exactly the unscaled result times the scale.
struct FusedScalarFamily : ScalarFamily {
    template <Dir D>
    DSP_FFT_INLINE static C general(C a, double wr, double wi) {
        static_assert(D == Dir::Fwd, "forward kernels only");
        return {__builtin_fma(a.re, wr, -(a.im * wi)), __builtin_fma(a.re, wi, a.im * wr)};
    }
};
template <int k, bool Scaled>
DSP_FFT_INLINE void fusedRealKernel(const double* src, double* dst, double scale) {
    double x[1 << k];
    for (int n = 0; n < (1 << k); ++n) x[n] = Scaled ? src[n] * scale : src[n];
    realKernel<false, k, false, FusedScalarFamily>(x, dst, 1.0);
}
#endif

}  // namespace

#define DSP_FFT_T0(k)                                                                              \
    void DSP_CALL DSP_SLOT_NAME(dspRealFftFwdKernelScaledOrder##k)(const double* src, double* dst, \
                                                                   double scale) {                 \
        realKernel<kRealScaleFirst, k, true>(src, dst, scale);                                     \
    }
#define DSP_FFT_T1(k)                                                                          \
    void DSP_CALL DSP_SLOT_NAME(dspRealFftFwdKernelOrder##k)(const double* src, double* dst) { \
        realKernel<kRealScaleFirst, k, false>(src, dst, 1.0);                                  \
    }
#define DSP_FFT_T2(k)                                                                              \
    void DSP_CALL DSP_SLOT_NAME(dspComplexFftFwdKernelScaledOrder##k)(const double* src,           \
                                                                      double* dst, double scale) { \
        complexMember<Dir::Fwd, k, true>(src, dst, scale);                                         \
    }
#define DSP_FFT_T3(k)                                                                             \
    void DSP_CALL DSP_SLOT_NAME(dspComplexFftFwdKernelOrder##k)(const double* src, double* dst) { \
        complexMember<Dir::Fwd, k, false>(src, dst, 1.0);                                         \
    }

// The inverse members of orders 2 to 5: real kernels scaled at their first stage in every slot
// (slot 5 with fused rotations), complex kernels as the forward ones with the other direction.
#define DSP_FFT_I0(k)                                                                              \
    void DSP_CALL DSP_SLOT_NAME(dspRealFftInvKernelScaledOrder##k)(const double* src, double* dst, \
                                                                   double scale) {                 \
        realInvKernel<DSP_SLOT == 5, k, true>(src, dst, scale);                                    \
    }
#define DSP_FFT_I1(k)                                                                          \
    void DSP_CALL DSP_SLOT_NAME(dspRealFftInvKernelOrder##k)(const double* src, double* dst) { \
        realInvKernel<DSP_SLOT == 5, k, false>(src, dst, 1.0);                                 \
    }
#define DSP_FFT_I2(k)                                                                              \
    void DSP_CALL DSP_SLOT_NAME(dspComplexFftInvKernelScaledOrder##k)(const double* src,           \
                                                                      double* dst, double scale) { \
        complexMember<Dir::Inv, k, true>(src, dst, scale);                                         \
    }
#define DSP_FFT_I3(k)                                                                             \
    void DSP_CALL DSP_SLOT_NAME(dspComplexFftInvKernelOrder##k)(const double* src, double* dst) { \
        complexMember<Dir::Inv, k, false>(src, dst, 1.0);                                         \
    }

// Own members by slot (kernel_tables.cpp holds the whole map). DSP_FFT_SLOT2_MOVBE marks slot 2's
// own build, as against its 2n build.
extern "C" {

// clang-format off
// Real kernels.
#if DSP_SLOT == 0 || DSP_SLOT == 1 || DSP_SLOT == 4
DSP_FFT_T0(0) DSP_FFT_T0(1) DSP_FFT_T0(2) DSP_FFT_T0(3) DSP_FFT_T0(4) DSP_FFT_T0(5)
DSP_FFT_T1(0) DSP_FFT_T1(1) DSP_FFT_T1(2) DSP_FFT_T1(3) DSP_FFT_T1(4) DSP_FFT_T1(5)
#elif DSP_FFT_SLOT2_MOVBE
              DSP_FFT_T0(1) DSP_FFT_T0(2) DSP_FFT_T0(3) DSP_FFT_T0(4) DSP_FFT_T0(5)
              DSP_FFT_T1(1)               DSP_FFT_T1(3) DSP_FFT_T1(4) DSP_FFT_T1(5)
#elif DSP_SLOT == 3
              DSP_FFT_T0(1) DSP_FFT_T0(2) DSP_FFT_T0(3) DSP_FFT_T0(4) DSP_FFT_T0(5)
                            DSP_FFT_T1(2) DSP_FFT_T1(3) DSP_FFT_T1(4) DSP_FFT_T1(5)
#elif DSP_SLOT == 2  // 2n
                                          DSP_FFT_T0(3) DSP_FFT_T0(4) DSP_FFT_T0(5)
                                          DSP_FFT_T1(3) DSP_FFT_T1(4) DSP_FFT_T1(5)
#elif DSP_SLOT == 5  // slot 4's arithmetic at order 3, fused at 4 and 5
                                          DSP_FFT_T0(3)
                                          DSP_FFT_T1(3)
#endif
#if DSP_SLOT == 5
void DSP_CALL dspRealFftFwdKernelScaledOrder4_s5(const double* src, double* dst, double scale) {
    fusedRealKernel<4, true>(src, dst, scale);
}
void DSP_CALL dspRealFftFwdKernelOrder4_s5(const double* src, double* dst) {
    fusedRealKernel<4, false>(src, dst, 1.0);
}
void DSP_CALL dspRealFftFwdKernelScaledOrder5_s5(const double* src, double* dst, double scale) {
    fusedRealKernel<5, true>(src, dst, scale);
}
void DSP_CALL dspRealFftFwdKernelOrder5_s5(const double* src, double* dst) {
    fusedRealKernel<5, false>(src, dst, 1.0);
}
#endif

// Complex kernels.
#if DSP_SLOT == 0 || DSP_SLOT == 1
DSP_FFT_T2(0) DSP_FFT_T2(1) DSP_FFT_T2(2) DSP_FFT_T2(3) DSP_FFT_T2(4) DSP_FFT_T2(5)
DSP_FFT_T3(0) DSP_FFT_T3(1) DSP_FFT_T3(2) DSP_FFT_T3(3) DSP_FFT_T3(4) DSP_FFT_T3(5)
#elif DSP_FFT_SLOT2_MOVBE
DSP_FFT_T2(0) DSP_FFT_T2(1) DSP_FFT_T2(2) DSP_FFT_T2(3) DSP_FFT_T2(4) DSP_FFT_T2(5)
              DSP_FFT_T3(1) DSP_FFT_T3(2) DSP_FFT_T3(3) DSP_FFT_T3(4) DSP_FFT_T3(5)
#elif DSP_SLOT == 3
DSP_FFT_T2(0) DSP_FFT_T2(1) DSP_FFT_T2(2) DSP_FFT_T2(3) DSP_FFT_T2(4) DSP_FFT_T2(5)
                            DSP_FFT_T3(2) DSP_FFT_T3(3) DSP_FFT_T3(4) DSP_FFT_T3(5)
#elif DSP_SLOT == 2  // 2n
                            DSP_FFT_T2(2) DSP_FFT_T2(3) DSP_FFT_T2(4) DSP_FFT_T2(5)
                            DSP_FFT_T3(2) DSP_FFT_T3(3) DSP_FFT_T3(4) DSP_FFT_T3(5)
#endif
// Inverse real kernels (orders 0 and 1 are the forward ones).
#if DSP_SLOT == 2 && !DSP_FFT_SLOT2_MOVBE  // 2n: slot 1's order 2
                            DSP_FFT_I0(3) DSP_FFT_I0(4) DSP_FFT_I0(5)
                            DSP_FFT_I1(3) DSP_FFT_I1(4) DSP_FFT_I1(5)
#elif DSP_SLOT == 5  // slot 4's scaled order 2
                            DSP_FFT_I0(3) DSP_FFT_I0(4) DSP_FFT_I0(5)
              DSP_FFT_I1(2) DSP_FFT_I1(3) DSP_FFT_I1(4) DSP_FFT_I1(5)
#else
              DSP_FFT_I0(2) DSP_FFT_I0(3) DSP_FFT_I0(4) DSP_FFT_I0(5)
              DSP_FFT_I1(2) DSP_FFT_I1(3) DSP_FFT_I1(4) DSP_FFT_I1(5)
#endif

// Inverse complex kernels (entries 0 and 1 are the forward ones; slots 4 and 5 have their own
// family).
#if DSP_SLOT <= 3
              DSP_FFT_I2(2) DSP_FFT_I2(3) DSP_FFT_I2(4) DSP_FFT_I2(5)
              DSP_FFT_I3(2) DSP_FFT_I3(3) DSP_FFT_I3(4) DSP_FFT_I3(5)
#endif
// clang-format on

}  // extern "C"
