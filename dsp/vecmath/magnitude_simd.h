// Complex-magnitude kernels of the SSE and AVX slots, written once against the vector
// vocabulary (dsp/vec.h).
//
// sqrt(re^2 + im^2) without spurious overflow or underflow: elements whose sum of squares s
// lies in [2^-67, 2^66 (1 + 2^-20)) take the fast path (reciprocal-square-root estimate and a
// short binomial correction, no divide or square-root instruction); the others, zeros,
// subnormals, huge values, infinities and NaNs included, are recomputed on scaled values by
// magnitudeSpecial. Results: an infinite part gives +Inf (even beside a NaN), otherwise a NaN
// part gives NaN, (+-0, +-0) gives +0, else the magnitude, +Inf only when it exceeds the largest
// double. No element is ever reported to the error hook.
#pragma once

#include "dsp/vecmath/fpenv.h"
#include "dsp/vecmath/fused.h"
#include "dsp/vecmath/trig_scalar.h"
#include "dsp/vecmath/vecmath.h"

#include <cfloat>

#define DSP_MAG_INLINE inline __attribute__((always_inline))

namespace {

constexpr uint64_t kMagSplitMask = 0xFFFFC00000000000ull;  // sign, exponent, top 6 fraction bits
constexpr uint64_t kMagFastLow = 0x3BC0000000000000ull;    // s >= 2^-67
constexpr uint64_t kMagFastHigh = 0x4410000100000000ull;   // s < 2^66 (1 + 2^-20)
constexpr uint32_t kMagExpGap = 0x00600000;                // exponents more than 6 apart

// The binomial series of (1 + t)^(-1/2) - 1, truncated after t^2, t^4 or t^5.
template <int kDegree>
DSP_MAG_INLINE V magCorrection(V t) {
    V p;
    if (kDegree == 2) {
        p = vset(0.375);
    } else if (kDegree == 4) {
        p = madd(madd(vset(0.2734375), t, vset(-0.3125)), t, vset(0.375));
    } else {
        p = madd(madd(madd(vset(-0.24609375), t, vset(0.2734375)), t, vset(-0.3125)), t,
                 vset(0.375));
    }
    return madd(p, t, vset(-0.5)) * t;
}

// One element outside the fast range, on values scaled so that the larger part lies in [4, 8)
// (or, for a larger part below 2^-998, near 2^-21): Dekker's exact squares, a table seed and
// three coupled Newton steps for sqrt, then one residual correction. Slot 5 fuses the first
// term of L, the residuals of the first and third Newton steps, and 2*hi*lo.
template <bool kFused>
double magnitudeSpecial(double re, double im) {
    const int ere = biasedExponent(re), eim = biasedExponent(im);
    const double inf = __builtin_inf();
    if (ere == 0x7FF) {
        if (eim != 0x7FF) return re * re;
        if (dabs(re) == inf) return inf;
        if (dabs(im) == inf) return im * im;
        // Both NaN: the real part's, quieted. A product would leave the choice of NaN to the
        // order in which the compiler happens to put its operands.
        return re + 0.0;
    }
    if (eim == 0x7FF) return im * im;
    if (re == 0.0 && im == 0.0) return 0.0;

    const double a = dabs(re), b = dabs(im);
    const double big = a >= b ? a : b, small = a >= b ? b : a;
    const int e = biasedExponent(big);
    const int k = e >= 25 ? 1025 - e : 1002 - e;  // scale 2^k, k in -1021 .. 1002
    const double S = pow2(k), invS = pow2(-k);
    const double bs = big * S, ss = small * S;

    double bh = kSplitter * bs;
    bh = bh - (bh - bs);
    const double bl = bs - bh;
    double sh = 0.0, sl = ss;
    if (biasedExponent(bs) - biasedExponent(ss) <= 6) {
        sh = kSplitter * ss;
        sh = sh - (sh - ss);
        sl = ss - sh;
    }
    const double H = bh * bh + sh * sh;
    const double L = kFused ? __builtin_fma(bl, bs + bh, ss * sl) + sh * sl
                            : (bl * (bs + bh) + ss * sl) + sh * sl;
    const double sum = H + L;

    // sum = M * 2^ex, M in [1, 2); x = M * 2^p in [1, 4).
    const uint64_t sb = dbits(sum);
    const int ex = static_cast<int>(sb >> 52) - 1023;
    const int p = ex & 1;
    const double down = pow2(-(ex - p));
    const double x = sum * down;
    const double y0 = dspRsqrtSeedTable[256 * p + static_cast<int>((sb >> 44) & 0xFF)];
    double g = x * y0, h = 0.5 * y0;
    for (int step = 0; step < 3; ++step) {
        const double r = (kFused && step != 1) ? __builtin_fma(-g, h, 0.5) : 0.5 - g * h;
        h = h + h * r;
        g = g + g * r;
    }
    double hi = kSplitter * g;
    hi = hi - (hi - g);
    const double lo = g - hi;
    const double R = (kFused ? __builtin_fma(-2.0 * hi, lo, H * down - hi * hi) - lo * lo
                             : ((H * down - hi * hi) - 2.0 * hi * lo) - lo * lo) +
                     L * down;
    g = g + h * R;
    return (g * pow2((ex - p) / 2)) * invS;
}

// The high part of the smaller magnitude for the split squares: its top bits, or 0 when the
// exponents lie more than 6 apart (compared on the high words of the bit patterns).
#if DSP_SLOT >= 4
DSP_MAG_INLINE V magSmallHi(V big, V small) {
    return vandnot(vhighWordGapAbove(big, small, static_cast<int32_t>(kMagExpGap)),
                   vand(small, vbits(kMagSplitMask)));
}
#else
inline V magSmallHi(V big, V small) {
    uint64_t bb[kLanes], sb[kLanes], keep[kLanes];
    vlaneBits(big, bb);
    vlaneBits(small, sb);
    for (int l = 0; l < kLanes; ++l) {
        const uint32_t diff =
            static_cast<uint32_t>(bb[l] >> 32) - static_cast<uint32_t>(sb[l] >> 32);
        keep[l] = static_cast<int32_t>(diff) > static_cast<int32_t>(kMagExpGap) ? 0 : kMagSplitMask;
    }
    double keepD[kLanes];
    memcpy(keepD, keep, sizeof keep);
    return vand(small, vloadu(keepD));
}
#endif

// The per-element formulas of the three accuracy slots, on one vector of elements.
// kAcc 0: s = re^2 + im^2, P4; 1: s = H + L from split squares, P5; 2: as 0 with P2.
template <int kAcc>
DSP_MAG_INLINE V magnitudeFast(V re, V im, V& s) {
    if (kAcc == 1) {
        const V a = vabs(re), b = vabs(im);
        const V big = vmax(a, b), small = vmin(a, b);
        const V mask = vbits(kMagSplitMask);
        const V bigHi = vand(big, mask);
        const V smallHi = magSmallHi(big, small);
        const V H = madd(bigHi, bigHi, smallHi * smallHi);
        const V ds = small - smallHi;
        V L;
        if (kFusedSlot) {
            L = madd(big - bigHi, big + bigHi, madd(ds, small, ds * smallHi));
        } else {
            L = ((big - bigHi) * (big + bigHi) + ds * small) + ds * smallHi;
        }
        // max and min drop a NaN operand; a non-finite part must reach the special routine,
        // so its lane's s is made NaN (flagged by the range test).
        const V finite = vand(vle(a, vset(DBL_MAX)), vle(b, vset(DBL_MAX)));
        s = vselect(finite, vset(__builtin_nan("")), L + H);
        const V y = vrsqrtEstimate(s);
        const V y2 = y * y;
        const V t = madd(H, y2, vset(-1.0)) + L * y2;
        const V sy = s * y;
        return madd(H, y, madd(sy, magCorrection<5>(t), L * y));
    }
    s = madd(re, re, im * im);
    const V y = vrsqrtEstimate(s);
    const V t = madd(s, y * y, vset(-1.0));
    if (kAcc == 2) {
        const V sy = s * y;
        return madd(sy, magCorrection<2>(t), sy);
    }
    // Accuracy 0 keeps s*y unrounded in the final sum: with the rounding of s*y, of that sum
    // and of s itself a result could land more than 2 ulp away. y has 24 significant bits (a
    // widened single), so the halves of s (26 and 27 bits) give two exact products; the
    // correction term, some 2^-12 of the result, may use the rounded s*y.
    const V sy = s * y;
#if DSP_SLOT == 5
    if (kFusedSlot) return sy + vfma(sy, magCorrection<4>(t), vfms(s, y, sy));
#endif
    const V sHi = vand(s, vbits(kClearLow27));
    const V syHi = sHi * y, syLo = (s - sHi) * y;
    return syHi + madd(sy, magCorrection<4>(t), syLo);
}

// kGroup elements (kGroup / kLanes vectors) from src pairs to dst; flagged elements by the
// special routine.
template <int kAcc, int kGroup>
inline void magnitudeGroup(const double* src, double* dst) {
    constexpr int kVecs = kGroup / kLanes;
    double res[kGroup], sums[kGroup];
    for (int v = 0; v < kVecs; ++v) {
        V re, im, s;
        vdeinterleave(src + 2 * kLanes * v, re, im);
        vstoreu(res + kLanes * v, magnitudeFast<kAcc>(re, im, s));
        vstoreu(sums + kLanes * v, s);
    }
    for (int l = 0; l < kGroup; ++l) {
        const int64_t sb = static_cast<int64_t>(dbits(sums[l]));
        if (sb < static_cast<int64_t>(kMagFastLow) || sb >= static_cast<int64_t>(kMagFastHigh)) {
            res[l] = magnitudeSpecial<kFusedSlot>(ld1(src + 2 * l), ld1(src + 2 * l + 1));
        }
    }
    memcpy(dst, res, sizeof res);
}

template <int kAcc, int kGroup>
DspStatus magnitudeKernel(const double* src, double* dst, int n) {
    if (n < 1) return dspErrSize;
    if (src == nullptr || dst == nullptr) return dspErrNullPtr;
    FpControlScope<false, true> fp(0);
    int i = 0;
    for (; i + kGroup <= n; i += kGroup) magnitudeGroup<kAcc, kGroup>(src + 2 * i, dst + i);
    // The rest one at a time through the same formulas: lane 0 of a group padded with (1, 0).
    for (; i < n; ++i) {
        double pairs[2 * kLanes], out[kLanes];
        for (int l = 0; l < kLanes; ++l) {
            pairs[2 * l] = 1.0;
            pairs[2 * l + 1] = 0.0;
        }
        pairs[0] = ld1(src + 2 * i);
        pairs[1] = ld1(src + 2 * i + 1);
        magnitudeGroup<kAcc, kLanes>(pairs, out);
        st1(dst + i, out[0]);
    }
    fp.leave();
    return dspOk;
}

}  // namespace
