// The vector-math table, its entry stubs, the error hook and the shared scalar routines.
#include "dsp/vecmath/vecmath.h"

#include "dsp/vecmath/fpenv.h"
#include "dsp/vecmath/trig_scalar.h"

#if CORVANE_DSP_TEST_SEAMS
#include <atomic>
#endif

extern "C" {

// Costs are relative figures per element; they only rank the kernels of a row.
const DspVecMathEntry dspVecMathTable[] = {
    // Magnitude, CPU slots 0 to 5.
    {{dspVecAbs64fcKernel_s0, dspVecAbs64fcKernel_s0, dspVecAbs64fcKernel_s0},
     {156.3f, 156.3f, 156.3f}},
    {{dspVecAbs64fcKernel_s1, dspVecAbs64fcKernel_s1, dspVecAbs64fcKernel_s1},
     {78.51f, 78.51f, 78.51f}},
    {{dspVecAbs64fcKernel_s2a0, dspVecAbs64fcKernel_s2a1, dspVecAbs64fcKernel_s2a2},
     {16.23f, 32.01f, 13.91f}},
    {{dspVecAbs64fcKernel_s2a0, dspVecAbs64fcKernel_s2a1, dspVecAbs64fcKernel_s2a2},
     {14.19f, 29.41f, 11.79f}},
    {{dspVecAbs64fcKernel_s4a0, dspVecAbs64fcKernel_s4a1, dspVecAbs64fcKernel_s4a2},
     {7.72f, 16.87f, 6.94f}},
    {{dspVecAbs64fcKernel_s5a0, dspVecAbs64fcKernel_s5a1, dspVecAbs64fcKernel_s5a2},
     {5.48f, 11.52f, 5.39f}},
    // Sine and cosine of CPU slot 0.
    {{dspVecSin64fKernel_s0, dspVecSin64fKernel_s0, dspVecSin64fKernel_s0}, {72.1f, 72.1f, 72.1f}},
    {{dspVecCos64fKernel_s0, dspVecCos64fKernel_s0, dspVecCos64fKernel_s0},
     {72.55f, 72.55f, 72.55f}},
    // CPU slot 1: one high-accuracy kernel for accuracy slots 0 and 1.
    {{dspVecSin64fKernel_s1a1, dspVecSin64fKernel_s1a1, dspVecSin64fKernel_s1a2},
     {35.9f, 35.9f, 32.0f}},
    {{dspVecCos64fKernel_s1a1, dspVecCos64fKernel_s1a1, dspVecCos64fKernel_s1a2},
     {36.41f, 36.41f, 32.13f}},
    // CPU slots 2 and 3 share their kernels, except the fastest cosine.
    {{dspVecSin64fKernel_s2a0, dspVecSin64fKernel_s2a1, dspVecSin64fKernel_s2a2},
     {15.71f, 22.62f, 12.21f}},
    {{dspVecCos64fKernel_s2a0, dspVecCos64fKernel_s2a1, dspVecCos64fKernel_s2a2},
     {16.29f, 23.92f, 12.65f}},
    {{dspVecSin64fKernel_s2a0, dspVecSin64fKernel_s2a1, dspVecSin64fKernel_s2a2},
     {15.3f, 21.88f, 11.61f}},
    {{dspVecCos64fKernel_s2a0, dspVecCos64fKernel_s2a1, dspVecCos64fKernel_s3a2},
     {15.9f, 23.07f, 12.15f}},
    // CPU slots 4 (AVX) and 5 (AVX2 with fused multiply-add).
    {{dspVecSin64fKernel_s4a0, dspVecSin64fKernel_s4a1, dspVecSin64fKernel_s4a2},
     {9.2f, 16.04f, 6.26f}},
    {{dspVecCos64fKernel_s4a0, dspVecCos64fKernel_s4a1, dspVecCos64fKernel_s4a2},
     {8.99f, 16.23f, 6.42f}},
    {{dspVecSin64fKernel_s5a0, dspVecSin64fKernel_s5a1, dspVecSin64fKernel_s5a2},
     {4.26f, 10.28f, 2.97f}},
    {{dspVecCos64fKernel_s5a0, dspVecCos64fKernel_s5a1, dspVecCos64fKernel_s5a2},
     {4.5f, 10.08f, 3.27f}},
};

}  // extern "C"

namespace {

// The rows and the stubs' entries as the layout says (vecmath.h).
static_assert(sizeof dspVecMathTable / sizeof dspVecMathTable[0] == kDspVecMathRows,
              "a magnitude row for each slot with stubs, then a sine and a cosine row for each");
constexpr bool stubSlotsAgree() {
    for (int i = 0; i < kDspSlotCountWith2n; ++i) {
        const bool stubs = i < kDspVecMathSlots;
        if (dspbodies::dspVecAbs64fc.has[i] != stubs || dspbodies::dspVecSin64f.has[i] != stubs ||
            dspbodies::dspVecCos64f.has[i] != stubs) {
            return false;
        }
    }
    return true;
}
static_assert(stubSlotsAgree(),
              "the three stubs exist for the same slots, the dispatch slots from 0 on");

// A stub reads its cell at every call and passes arguments and status through unchanged.
inline DspStatus callCell(int row, int accuracy, const double* src, double* dst, int n) {
    return dspVecMathTable[row].kernel[accuracy](src, dst, n);
}

#if CORVANE_DSP_TEST_SEAMS
std::atomic<DspVecMathHookFn> gTestHook{nullptr};
#endif

}  // namespace

extern "C" {

// The stubs of CPU slot `id`: the magnitude at the standard accuracy, sine and cosine at the high.
#define DSP_VECMATH_STUBS(id)                                                                   \
    DspStatus DSP_CALL dspVecAbs64fc_s##id(const double* s, double* d, int n) {                 \
        return callCell(dspVecMathRowMagnitude(kDspSlotIndex_s##id), dspAccuracyStandard, s, d, \
                        n);                                                                     \
    }                                                                                           \
    DspStatus DSP_CALL dspVecSin64f_s##id(const double* s, double* d, int n) {                  \
        return callCell(dspVecMathRowSine(kDspSlotIndex_s##id), dspAccuracyHigh, s, d, n);      \
    }                                                                                           \
    DspStatus DSP_CALL dspVecCos64f_s##id(const double* s, double* d, int n) {                  \
        return callCell(dspVecMathRowCosine(kDspSlotIndex_s##id), dspAccuracyHigh, s, d, n);    \
    }
DSP_VECMATH_STUBS(0)
DSP_VECMATH_STUBS(1)
DSP_VECMATH_STUBS(2)
DSP_VECMATH_STUBS(3)
DSP_VECMATH_STUBS(4)
DSP_VECMATH_STUBS(5)
#undef DSP_VECMATH_STUBS

void DSP_CALL dspVecMathErrorHook(int status, int index, const double* src, const double* src2,
                                  double* dst, double* dst2, const char* name) {
#if CORVANE_DSP_TEST_SEAMS
    if (DspVecMathHookFn fn = gTestHook.load(std::memory_order_acquire)) {
        fn(status, index, src, src2, dst, dst2, name);
    }
#else
    (void)status, (void)index, (void)src, (void)src2, (void)dst, (void)dst2, (void)name;
#endif
}

#if CORVANE_DSP_TEST_SEAMS
void dspTestSetVecMathHook(DspVecMathHookFn fn) {
    gTestHook.store(fn, std::memory_order_release);
}
#endif

// Double arithmetic in SSE2, or on the x87 at 53-bit precision and rounding to nearest where
// the common code must do without SSE2 (32-bit builds): no intermediate leaves the normal range
// of doubles, so both give the same bits, and the reduction's two-sums stay exact. The result
// goes through memory while the scope holds, so no x87 arithmetic can move past its end.
int DSP_CALL dspSinCosReduceLarge(double x, double* out) {
    const FpDoubleScope doubles(true);
    return reduceLargeImpl(x, out);
}

double DSP_CALL dspSinLargeArg(double x) {
    const FpDoubleScope doubles(true);
    const volatile double result = sinLargeArgImpl(x);
    return result;
}

double DSP_CALL dspCosLargeArg(double x) {
    const FpDoubleScope doubles(true);
    const volatile double result = cosLargeArgImpl(x);
    return result;
}

}  // extern "C"

namespace {

// The element routine of the high-accuracy SSE kernels of slots 2 and 3. The large-argument
// routines run at 53-bit x87 precision in other builds of this library; here they are SSE2
// code, and the precision field is set the same way so the observable control protocol matches.
template <double(DSP_CALL* kFn)(double)>
void specialValue(int index, const double* src, double* dst, int* status, const char* name) {
    const double x = ld1(src + index);
    if (biasedExponent(x) == 0x7FF) {
        st1(dst + index, x - x);
        if (dabs(x) == __builtin_inf()) {
            dspVecMathErrorHook(dspWarnDomain, index, src, src, dst, dst, name);
            *status = dspWarnDomain;
        }
        return;
    }
    const uint16_t cw = fpX87ControlWord();
    const bool change = (cw & 0x0F00) != 0x0200;
    if (change) fpX87LoadControlWord(static_cast<uint16_t>((cw & 0xF0FF) | 0x0200));
    st1(dst + index, kFn(x));
    if (change) fpX87LoadControlWord(cw);
}

}  // namespace

extern "C" {

void DSP_CALL dspVecMathSpecialValueSin64f(int index, const double* src, double* dst, int* status,
                                           const char* name) {
    specialValue<dspSinLargeArg>(index, src, dst, status, name);
}

void DSP_CALL dspVecMathSpecialValueCos64f(int index, const double* src, double* dst, int* status,
                                           const char* name) {
    specialValue<dspCosLargeArg>(index, src, dst, status, name);
}

}  // extern "C"
