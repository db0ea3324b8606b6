// Complex-magnitude kernel of CPU slot 0: the x87 unit at 64-bit precision, one element at a
// time, one kernel for all three accuracy slots.
//
// The square sum is formed in extended precision, whose exponent range holds the square of
// every double, so no scaling is needed; the square root comes from a table seed, three coupled
// Newton steps and one residual correction, and is rounded to double once. The kernel touches
// neither MXCSR nor any SSE arithmetic: its tests on the inputs are integer tests of their bits.
#include "dsp/slot.h"
#include "dsp/vecmath/fpenv.h"
#include "dsp/vecmath/trig_scalar.h"

namespace {

typedef long double X87;  // computed at the precision the control word sets (64 bits here)

struct X87Parts {
    uint64_t mantissa;  // with the explicit integer bit 63
    int exponent;       // unbiased
};

inline X87Parts x87Split(X87 v) {
    unsigned char bytes[sizeof(X87)];
    memcpy(bytes, &v, sizeof v);
    X87Parts p;
    memcpy(&p.mantissa, bytes, 8);
    uint16_t se;
    memcpy(&se, bytes + 8, 2);
    p.exponent = static_cast<int>(se & 0x7FFF) - 16383;
    return p;
}

inline X87 x87Make(uint64_t mantissa, int exponent) {
    unsigned char bytes[sizeof(X87)] = {};
    memcpy(bytes, &mantissa, 8);
    const uint16_t se = static_cast<uint16_t>(exponent + 16383);
    memcpy(bytes + 8, &se, 2);
    X87 v;
    memcpy(&v, bytes, sizeof v);
    return v;
}

inline bool isZeroBits(double x) {
    return (dbits(x) & kAbsMask) == 0;
}

double magnitudeX87(double reD, double imD) {
    const X87 re = reD, im = imD;
    const bool reSpecial = biasedExponent(reD) == 0x7FF, imSpecial = biasedExponent(imD) == 0x7FF;
    if (reSpecial) {
        if (!imSpecial) return static_cast<double>(re * re);
        if ((dbits(reD) & kFracMask) == 0) return static_cast<double>(re * re);  // re infinite
        if ((dbits(imD) & kFracMask) == 0) return static_cast<double>(im * im);  // im infinite
        return static_cast<double>(re * im);
    }
    if (imSpecial) return static_cast<double>(im * im);
    if (isZeroBits(reD) && isZeroBits(imD)) return 0.0;

    const X87 s = re * re + im * im;
    const X87Parts sp = x87Split(s);
    const int p = sp.exponent & 1;
    const X87 x = x87Make(sp.mantissa, p);                            // in [1, 4)
    const X87 f = x87Make(uint64_t(1) << 63, (sp.exponent - p) / 2);  // 2^((e - p)/2)
    const X87 y0 = dspRsqrtSeedTable[256 * p + static_cast<int>((sp.mantissa >> 55) & 0xFF)];
    const X87 half = 0.5L;
    X87 g = x * y0, h = half * y0;
    for (int step = 0; step < 3; ++step) {
        const X87 r = half - g * h;
        h = h + h * r;
        g = g + g * r;
    }
    const X87 split = 134217729.0L;
    const X87 hi = split * g - (split * g - g);
    const X87 lo = g - hi;
    const X87 R = (x - lo * lo) + hi * (-hi - 2.0L * lo);
    g = g + h * R;
    return static_cast<double>(g * f);
}

}  // namespace

extern "C" DspStatus DSP_CALL dspVecAbs64fcKernel_s0(const double* src, double* dst, int n) {
    if (n < 1) return dspErrSize;
    if (src == nullptr || dst == nullptr) return dspErrNullPtr;
    FpControlScope<true, false> fp(kX87TargetMagnitude);
    for (int i = 0; i < n; ++i) st1(dst + i, magnitudeX87(ld1(src + 2 * i), ld1(src + 2 * i + 1)));
    fp.leave();
    return dspOk;
}
