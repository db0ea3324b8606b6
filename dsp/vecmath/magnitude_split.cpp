// Complex-magnitude kernel of CPU slot 1 (SSE2), one kernel for all three accuracy slots.
//
// Blocks of four elements compute s = H + L from split squares (H exact) and correct a
// reciprocal-square-root seed with the degree-5 binomial series. When any s of a block is zero,
// subnormal, infinite or NaN, the whole block is redone element by element by
// magnitudeElement, which scales the parts by a power of two first; so do the last n mod 4.
#include "dsp/slot.h"
#include "dsp/vec.h"
#include "dsp/vecmath/fpenv.h"
#include "dsp/vecmath/trig_scalar.h"

#include <cfloat>

namespace {

constexpr uint64_t kSplitMask = 0xFFFFC00000000000ull;
constexpr uint32_t kExpGap = 0x00600000;
constexpr uint64_t kQuietBit = 0x0008000000000000ull;

// The seed of 1/sqrt(s) for a normal s: the single-precision estimate of s's significand (cut to
// 23 bits) times 2^p, rescaled by 2^(-(e - p)/2) through the exponent field.
inline double seedOf(double s) {
    const uint64_t sb = dbits(s);
    const int e = static_cast<int>((sb >> 52) & 0x7FF) - 1023;
    const int p = e & 1;
    const uint32_t fb =
        (static_cast<uint32_t>(127 + p) << 23) | static_cast<uint32_t>((sb >> 29) & 0x7FFFFF);
    float f;
    memcpy(&f, &fb, sizeof f);
    const float est = rsqrtEstimate1(f);
    const double y = static_cast<double>(est);
    return dfrom(dbits(y) - (static_cast<uint64_t>(static_cast<int64_t>((e - p) / 2)) << 52));
}

inline double p5(double t) {
    return t * (-0.5 + t * (0.375 + t * (-0.3125 + t * (0.2734375 + t * -0.24609375))));
}

// H and L of the split squares of two non-negative values.
inline void splitSquares(double a, double b, double& H, double& L) {
    const double big = a >= b ? a : b, small = a >= b ? b : a;
    const double bigHi = dfrom(dbits(big) & kSplitMask);
    const uint32_t diff =
        static_cast<uint32_t>(dbits(big) >> 32) - static_cast<uint32_t>(dbits(small) >> 32);
    const double smallHi = diff > kExpGap ? 0.0 : dfrom(dbits(small) & kSplitMask);
    H = bigHi * bigHi + smallHi * smallHi;
    L = ((big - bigHi) * (big + bigHi) + (small - smallHi) * small) + (small - smallHi) * smallHi;
}

// The element routine (dspVecAbs64fcElement_s1): any pair.
double magnitudeElement(double re, double im) {
    const double a = dabs(re), b = dabs(im);
    const uint32_t ua = static_cast<uint32_t>(dbits(a) >> 32),
                   ub = static_cast<uint32_t>(dbits(b) >> 32);
    const bool inRange =
        ua > 0x20B00000u && ua < 0x5FE00000u && ub > 0x20B00000u && ub < 0x5FE00000u;
    double G = 1.0, sa = a, sb = b;
    if (!inRange) {
        const double inf = __builtin_inf();
        if (biasedExponent(im) == 0x7FF) {
            if (b == inf) return inf;
            if (a == inf) return inf;
            if (biasedExponent(re) == 0x7FF) return dfrom(dbits(re) | kQuietBit);
            return dfrom(dbits(im) | kQuietBit);
        }
        if (biasedExponent(re) == 0x7FF) return a == inf ? inf : dfrom(dbits(re) | kQuietBit);
        if (im == 0.0) return a;
        if (re == 0.0) return b;
        const double larger = a >= b ? a : b;
        const uint32_t w = ua > ub ? ua : ub;
        double scale;
        if (w <= 0x010FFFFFu) {
            scale = pow2(1022);
            G = pow2(-1022);
        } else if (biasedExponent(larger) == 0x7FE) {
            scale = pow2(-996);
            G = pow2(996);
        } else {
            const int k = biasedExponent(larger) - 1023;
            scale = pow2(-k);
            G = pow2(k);
        }
        sa = a * scale;
        sb = b * scale;
    }
    double H, L;
    splitSquares(sa, sb, H, L);
    const double s = L + H;
    const double y = seedOf(s);
    const double y2 = y * y;
    const double t = (H * y2 - 1.0) + L * y2;
    if (inRange) return H * y + (L * y + s * y * p5(t));
    return (L * y + s * y * p5(t)) * G + H * y * G;
}

// Four elements; false when one of their sums of squares is not a normal double.
inline bool magnitudeBlock(const double* src, double* dst) {
    double res[4];
    for (int v = 0; v < 2; ++v) {
        V re, im;
        vdeinterleave(src + 4 * v, re, im);
        const V a = vabs(re), b = vabs(im);
        const V big = vmax(a, b), small = vmin(a, b);
        const V mask = vbits(kSplitMask);
        const V bigHi = vand(big, mask);
        uint64_t bb[2], sb[2];
        vlaneBits(big, bb);
        vlaneBits(small, sb);
        double keep[2];
        for (int l = 0; l < 2; ++l) {
            const uint32_t diff =
                static_cast<uint32_t>(bb[l] >> 32) - static_cast<uint32_t>(sb[l] >> 32);
            keep[l] = dfrom(diff > kExpGap ? 0 : kSplitMask);
        }
        const V smallHi = vand(small, vloadu(keep));
        const V H = bigHi * bigHi + smallHi * smallHi;
        const V ds = small - smallHi;
        const V L = ((big - bigHi) * (big + bigHi) + ds * small) + ds * smallHi;
        const V s = L + H;
        // max and min drop a NaN operand: a non-finite part sends the block to the element
        // routine like a non-normal square sum does.
        if (vmovemask(vand(vle(a, vset(DBL_MAX)), vle(b, vset(DBL_MAX)))) != 3) return false;
        double sl[2], yl[2];
        vlanes(s, sl);
        for (int l = 0; l < 2; ++l) {
            const int e = biasedExponent(sl[l]);
            if (e == 0 || e == 0x7FF) return false;
            yl[l] = seedOf(sl[l]);
        }
        const V y = vloadu(yl);
        const V y2 = y * y;
        const V t = (H * y2 - vset(1.0)) + L * y2;
        const V poly =
            t * (vset(-0.5) +
                 t * (vset(0.375) +
                      t * (vset(-0.3125) + t * (vset(0.2734375) + t * vset(-0.24609375)))));
        vstoreu(res + 2 * v, H * y + (L * y + s * y * poly));
    }
    memcpy(dst, res, sizeof res);
    return true;
}

}  // namespace

extern "C" DspStatus DSP_CALL dspVecAbs64fcKernel_s1(const double* src, double* dst, int n) {
    if (n < 1) return dspErrSize;
    if (src == nullptr || dst == nullptr) return dspErrNullPtr;
    FpControlScope<true, true> fp(kX87TargetMagnitude);
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        if (!magnitudeBlock(src + 2 * i, dst + i)) {
            double res[4];
            for (int l = 0; l < 4; ++l)
                res[l] = magnitudeElement(ld1(src + 2 * (i + l)), ld1(src + 2 * (i + l) + 1));
            memcpy(dst + i, res, sizeof res);
        }
    }
    for (; i < n; ++i) st1(dst + i, magnitudeElement(ld1(src + 2 * i), ld1(src + 2 * i + 1)));
    fp.leave();
    return dspOk;
}
