// Vector sine and cosine of CPU slot 0: the x87 unit at 53-bit precision, one element at a
// time, one kernel per function for all three accuracy slots.
//
// Both reduce by steps of pi/32 against dspSinTablePi32 (the cosine 16 rows on: cos x =
// sin(x + pi/2)) and correct with Taylor polynomials; below 2^-252 the sine is x and the cosine
// 1 - |x|; at and above 2^17 the argument first goes through dspSinCosReduceLarge. Tests on
// the inputs are integer tests of their bits, so the kernels do no SSE arithmetic of their own;
// the one SSE2 helper (x87 code in 32-bit builds) runs with the caller's MXCSR saved and given
// back exactly.
#include "dsp/slot.h"
#include "dsp/vecmath/fpenv.h"
#include "dsp/vecmath/trig_scalar.h"

namespace {

typedef long double X87;  // rounded to 53 bits by the control word the kernels set

constexpr uint64_t kInfBits = 0x7FF0000000000000ull;

inline bool isZeroBits(double x) {
    return (dbits(x) & kAbsMask) == 0;
}
inline bool isInfBits(double x) {
    return (dbits(x) & kAbsMask) == kInfBits;
}

// Where the common code has SSE2 the reduction runs there with the caller's MXCSR kept; in
// 32-bit builds it is x87 code like this kernel, and MXCSR, which a processor without SSE does
// not have, is left alone.
inline int reduceLarge(double x, double* out) {
#if DSP_X87_DOUBLES
    return dspSinCosReduceLarge(x, out);
#else
    return fpWithSseMasked([&] { return dspSinCosReduceLarge(x, out); });
#endif
}

// Infinities and NaNs are the kernel's; the tests on x here are integer tests of its bits.
double sinX87(double xd) {
    if (biasedExponent(xd) < kExpTiny) {
        const X87 x = xd;
        return isZeroBits(xd) ? xd : static_cast<double>((x * kTwo55 - x) * kTwoM55);
    }
    const QuarterReduced q = reduceQuarters(xd, reduceLarge);
    return sinPi32<X87, true>(q.a, q.tail, q.quarter);
}

double cosX87(double xd) {
    // The absolute value through its bits: a compare would run on the SSE unit and raise the
    // denormal flag of MXCSR.
    if (biasedExponent(xd) < kExpTiny)
        return static_cast<double>(1.0L - static_cast<X87>(dabs(xd)));
    const QuarterReduced q = reduceQuarters(xd, reduceLarge);
    return cosPi32<X87>(q.a, q.tail, q.quarter);
}

template <double (*kElement)(double)>
DspStatus x87Kernel(const double* src, double* dst, int n, const char* name) {
    if (n < 1) return dspErrSize;
    if (src == nullptr || dst == nullptr) return dspErrNullPtr;
    FpControlScope<true, false> fp(kX87TargetTrig);
    DspStatus status = dspOk;
    for (int i = 0; i < n; ++i) {
        const double x = ld1(src + i);
        if (biasedExponent(x) == 0x7FF) {
            const X87 xx = x;
            if (isInfBits(x)) {
                st1(dst + i, static_cast<double>(xx * 0.0L));
                dspVecMathErrorHook(dspWarnDomain, i, src, src, dst, dst, name);
                status = dspWarnDomain;
            } else {
                st1(dst + i, static_cast<double>(xx * xx));
            }
            continue;
        }
        st1(dst + i, kElement(x));
    }
    fp.leave();
    return status;
}

}  // namespace

extern "C" {

DspStatus DSP_CALL dspVecSin64fKernel_s0(const double* src, double* dst, int n) {
    return x87Kernel<sinX87>(src, dst, n, kNameSin);
}

DspStatus DSP_CALL dspVecCos64fKernel_s0(const double* src, double* dst, int n) {
    return x87Kernel<cosX87>(src, dst, n, kNameCos);
}

}  // extern "C"
