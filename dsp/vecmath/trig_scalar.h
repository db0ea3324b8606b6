// Scalar pieces of the vector sine and cosine, shared by the kernels of every CPU slot.
//
// Everything here is double arithmetic in the SSE unit (only the x87 kernels instantiate the
// pi/32 templates with long double), inside an anonymous namespace, so each translation unit that
// includes it owns a copy compiled with its slot's flags. dsp/ is built with -ffp-contract=off, so
// the copies in AVX2+FMA units round exactly like the others: an element routine's large-argument
// reduction gives the bits of dspSinCosReduceLarge.
#pragma once

#include "dsp/bits.h"
#include "dsp/vecmath/vecmath.h"

#include <stdint.h>
#include <string.h>

namespace {

// ---------------------------------------------------------------------------------------------
// Constants. A reduction by a step p uses K = 1/p, the rounding shifter and p in three parts, the
// first two with so few bits that k * part is exact over the fast range.

constexpr double kShifter = 0x1.8000000000000p+52;  // 6755399441055744.0; 1.5*2^52: x*K + kShifter
                                                    // rounds x*K to an integer in the low bits

// Step pi/32 (the x87 kernels, the element routines, dspSinLargeArg and dspCosLargeArg).
constexpr double kK32 = 0x1.45f306dc9c883p+3;    // 10.185916357881302; 32/pi
constexpr double kP32a = 0x1.921fb54400000p-4;   // 0.09817477042088285
constexpr double kP32b = 0x1.0b4611a600000p-38;  // 3.798187816439979e-12
constexpr double kP32c = 0x1.3198a2e037073p-73;  // 1.2639164054974691e-22
// Step pi/64 (the high-accuracy table kernels of slots 2 to 5).
constexpr double kK64 = 0x1.45f306dc9c883p+4;    // 20.371832715762604; 64/pi
constexpr double kP64a = 0x1.921fb54400000p-5;   // 0.049087385210441425
constexpr double kP64b = 0x1.0b4611a600000p-39;  // 1.8990939082199894e-12
constexpr double kP64c = 0x1.3198a2e037073p-74;  // 6.319582027487346e-23
// Step pi/256 (the slot-1 table kernels and the window-reduction paths).
constexpr double kK256 = 0x1.45f306dc9c883p+6;    // 81.48733086305042; 256/pi
constexpr double kP256a = 0x1.921fb54400000p-7;   // 0.012271846302610356
constexpr double kP256b = 0x1.0b4611a600000p-41;  // 4.747734770549973e-13
constexpr double kP256c = 0x1.3198a2e037073p-76;  // 1.5798955068718364e-23
constexpr double kBoundB =
    0x1.000000e4db24cp+16;  // 65536.00349206588; largest |x| of the pi/256 fast path

// Below 2^-252 the sine is x itself: (x*2^55 - x)*2^-55 returns it and raises inexact.
constexpr double kTwo55 = 0x1.0000000000000p+55;   // 3.602879701896397e+16
constexpr double kTwoM55 = 0x1.0000000000000p-55;  // 2.7755575615628914e-17

// Reduction of any double by its window of bits of 1/(2 pi) (dspInvTwoPiWindows).
constexpr double kWindowShifter = 0x1.8000000000000p+43;  // 13194139533312.0; 1.5*2^43: rounds a
                                                          // turn count to a multiple of 1/512
constexpr double kTwoPi = 0x1.921fb54442d18p+2;           // 6.283185307179586
constexpr double kTwoPiHead = 0x1.921fb54000000p+2;       // 6.283185303211212
constexpr double kTwoPiTail = 0x1.10b4611a62633p-28;      // 3.968374318722162e-09
constexpr double kWindowTiny = 0x1.0000000000000p-20;     // 9.5367431640625e-07; 2^-20

// Taylor coefficients, correctly rounded: sine -1/3!, 1/5!, -1/7!, 1/9!; cosine -1/2!, 1/4!,
// -1/6!, 1/8!.
constexpr double kTS1 = -0x1.5555555555555p-3;   // -0.16666666666666666
constexpr double kTS2 = 0x1.1111111111111p-7;    // 0.008333333333333333
constexpr double kTS3 = -0x1.a01a01a01a01ap-13;  // -0.0001984126984126984
constexpr double kTS4 = 0x1.71de3a556c734p-19;   // 2.7557319223985893e-06
constexpr double kTC1 = -0.5;
constexpr double kTC2 = 0x1.5555555555555p-5;    // 0.041666666666666664
constexpr double kTC3 = -0x1.6c16c16c16c17p-10;  // -0.001388888888888889
constexpr double kTC4 = 0x1.a01a01a01a01ap-16;   // 2.48015873015873e-05
// Fitted polynomials of the pi/256 table kernels: sine degree 5, cosine degree 6.
constexpr double kBS1 = -0x1.5555555554448p-3;  // -0.1666666666665455
constexpr double kBS2 = 0x1.1110fabb3551cp-7;   // 0.008333322932609515
constexpr double kBC1 = -0.5;
constexpr double kBC2 = 0x1.5555555554ccfp-5;    // 0.041666666666651524
constexpr double kBC3 = -0x1.6c16ab163b2d7p-10;  // -0.0013888875887985619

// Reduction by whole (or, for the cosine, half-integer) multiples of pi.
constexpr double kInvPi = 0x1.45f306dc9c883p-2;    // 0.3183098861837907; 1/pi
constexpr double kQ1 = 0x1.921fb40000000p+1;       // 3.141592502593994
constexpr double kQ2 = 0x1.4442d00000000p-23;      // 1.5099578831723193e-07
constexpr double kQ3 = 0x1.8469898cc5170p-47;      // 1.0780605716316238e-14
constexpr double kD3 = 0x1.8469880000000p-47;      // 1.078060505991553e-14
constexpr double kD4 = 0x1.8cc51701b839ap-71;      // 6.564007085747001e-22
constexpr double kTwo24 = 0x1.0000000000000p+24;   // 16777216.0
constexpr double kTwo23 = 0x1.0000000000000p+23;   // 8388608.0
constexpr double kPiOver2 = 0x1.921fb54442d18p+0;  // 1.5707963267948966
constexpr double kHalf = 0.5;
// Degree-9 sine on [-pi/2, pi/2], coefficients of z = r*r from z^1 up (absolute error < 1e-8).
constexpr double kCA1 = -0x1.55554ad3eaf0ep-3;   // -0.16666658839437115
constexpr double kCA2 = 0x1.110ea968a0185p-7;    // 0.008333046645248707
constexpr double kCA3 = -0x1.9f67d9395d587p-13;  // -0.0001980808536178708
constexpr double kCA4 = 0x1.5d4567512bbd5p-19;   // 2.602272538419318e-06
// Degree-15 sine of the standard-accuracy kernels (one set for the sine, one for the cosine).
constexpr double kDc1 = -0x1.55555555554a8p-3;   // -0.16666666666666186
constexpr double kDc2 = 0x1.111111110a573p-7;    // 0.008333333333285542
constexpr double kDc3 = -0x1.a01a019a659ddp-13;  // -0.00019841269825056256
constexpr double kDc4 = 0x1.71de3806add1ap-19;   // 2.7557316600552628e-06
constexpr double kDc5 = -0x1.ae6355aaa4a53p-26;  // -2.505188027386288e-08
constexpr double kDc6 = 0x1.60e6bee01d83ep-33;   // 1.6048095404959637e-10
constexpr double kDc7 = -0x1.9f1517e9f65f0p-41;  // -7.373344533110665e-13
constexpr double kCc1 = -0x1.55555555554a7p-3;   // -0.16666666666666183
constexpr double kCc2 = 0x1.111111110a4a8p-7;    // 0.00833333333328519
constexpr double kCc3 = -0x1.a01a019a5b86dp-13;  // -0.00019841269824944237
constexpr double kCc4 = 0x1.71de38030fea0p-19;   // 2.755731658449074e-06
constexpr double kCc5 = -0x1.ae63546002231p-26;  // -2.505187912674299e-08
constexpr double kCc6 = 0x1.60e6857a2f220p-33;   // 1.6048055576979365e-10
constexpr double kCc7 = -0x1.9f0d60811aac8p-41;  // -7.37280909726507e-13

// Quarter-period reduction: 4/pi, and pi/4 in four parts (|x| < 2^23) or five parts
// (2^23 <= |x| < 2^30), each part short enough that j * part is exact.
constexpr double kFourOverPi = 0x1.45f306dc9c883p+0;  // 1.2732395447351628
constexpr double kPio4a = 0x1.921fb54000000p-1;       // 0.7853981629014015
constexpr double kPio4b = 0x1.10b4612000000p-31;      // 4.960467904491228e-10
constexpr double kPio4c = -0x1.676733c000000p-61;     // -6.088525906594782e-19
constexpr double kPio4d = 0x1.1701b839a2520p-89;      // 1.7607799325916e-27
constexpr double kPio4e1 = 0x1.921fa00000000p-1;      // 0.7853975296020508
constexpr double kPio4e2 = 0x1.5444300000000p-21;     // 6.337954800983425e-07
constexpr double kPio4e3 = -0x1.73dca00000000p-44;    // -8.256991011063031e-14
constexpr double kPio4e4 = -0x1.3b39a00000000p-64;    // -6.675151087907452e-20
constexpr double kPio4e5 = 0x1.45c06e0e68948p-87;     // 8.223128468162129e-27
constexpr double kPio4Hi = 0x1.921fb54442d18p-1;      // pi/4 as a double-double
constexpr double kPio4Lo = 0x1.1a62633145c07p-55;
constexpr double kSplitter = 134217729.0;  // 2^27 + 1, Dekker's split

constexpr uint64_t kAbsMask = 0x7FFFFFFFFFFFFFFFull;
constexpr uint64_t kFracMask = 0x000FFFFFFFFFFFFFull;
constexpr uint64_t kHiddenBit = 0x0010000000000000ull;
constexpr uint64_t kClearLow27 = 0xFFFFFFFFF8000000ull;

// Biased exponents of the range tests.
constexpr int kExpTiny = 771;        // below: |x| < 2^-252
constexpr int kExpLarge = 1040;      // at and above: |x| >= 2^17
constexpr int kExpFiveParts = 1046;  // at and above: |x| >= 2^23
constexpr int kExpCodyWaite = 1052;  // at and below: |x| < 2^30

// Name words handed to the error hook; every kernel without a name has its own empty word.
constexpr char kNameSin[] = "vdSin";
constexpr char kNameCos[] = "vdCos";

inline int biasedExponent(double x) {
    return static_cast<int>((dbits(x) >> 52) & 0x7FF);
}
inline double dabs(double x) {
    return dfrom(dbits(x) & kAbsMask);
}
inline bool signBit(double x) {
    return (dbits(x) >> 63) != 0;
}

// 2^k for -1022 <= k <= 1023.
inline double pow2(int k) {
    return dfrom(static_cast<uint64_t>(k + 1023) << 52);
}

// s + e == a + b exactly.
inline void twoSum(double a, double b, double& s, double& e) {
    s = a + b;
    const double bb = s - a;
    e = (a - (s - bb)) + (b - bb);
}

// p + e == a * b exactly (Dekker's product; no fused multiply-add needed).
inline void twoProd(double a, double b, double& p, double& e) {
    p = a * b;
    const double ca = kSplitter * a, cb = kSplitter * b;
    const double ah = ca - (ca - a), al = a - ah;
    const double bh = cb - (cb - b), bl = b - bh;
    e = ((ah * bh - p) + ah * bl + al * bh) + al * bl;
}

// ---------------------------------------------------------------------------------------------
// Quarter-period reduction of large arguments (the body of dspSinCosReduceLarge).

// |x| * 4/pi modulo 8 in fixed point: value = limbs * 2^-253, limb[0] least significant.
struct Fixed256 {
    uint64_t limb[4] = {0, 0, 0, 0};

    // Adds v * 2^pos (v < 2^80) modulo 2^256; bits that fall below 2^0 are dropped.
    void addShifted(U128 v, int pos) {
        if (pos >= 256 || (v.lo | v.hi) == 0) return;
        if (pos < 0) {
            if (pos <= -128) return;
            v = shr128(v, -pos);
            pos = 0;
        }
        const int at = pos / 64, sh = pos % 64;
        // v << sh spread over three words.
        const uint64_t w[3] = {v.lo << sh, sh ? (v.lo >> (64 - sh)) | (v.hi << sh) : v.hi,
                               sh ? v.hi >> (64 - sh) : 0};
        uint64_t carry = 0;
        for (int i = at, k = 0; i < 4; ++i, ++k) {
            const uint64_t add = k < 3 ? w[k] : 0;
            const uint64_t s1 = limb[i] + add;
            const uint64_t s2 = s1 + carry;
            carry = static_cast<uint64_t>(s1 < add) + static_cast<uint64_t>(s2 < carry);
            limb[i] = s2;
        }
    }

    // The 64 bits at indices idx+63 .. idx (zeros below bit 0).
    uint64_t bitsFrom(int idx) const {
        if (idx <= -64) return 0;
        if (idx < 0) return limb[0] << -idx;
        const int at = idx / 64, sh = idx % 64;
        uint64_t v = limb[at] >> sh;
        if (sh != 0 && at + 1 < 4) v |= limb[at + 1] << (64 - sh);
        return v;
    }
};

// The octant count and fraction of |x| * 4/pi for 2^30 <= |x| < 2^1024 (biased exponent b),
// from nine consecutive 25-bit pieces of dspFourOverPiPieces. Pieces above the window only add
// multiples of 8; those below it add less than 2^-169 to |x| * 4/pi.
inline void fourOverPiProduct(uint64_t absBits, int b, Fixed256& acc) {
    const uint64_t m = (absBits & kFracMask) | kHiddenBit;
    const int first = (b - 1053) / 25;
    for (int k = 0; k < 9; ++k) {
        const uint64_t pb = dbits(dspFourOverPiPieces[first + k]);
        const int pe = static_cast<int>((pb >> 52) & 0x7FF);
        uint64_t pm = pb & kFracMask;
        if (pm == 0 && pe == 0) continue;
        int pexp;
        if (pe == 0) {
            pexp = 1 - 1075;
        } else {
            pm |= kHiddenBit;
            pexp = pe - 1075;
        }
        const int tz = __builtin_ctzll(pm);
        pm >>= tz;
        pexp += tz;
        // |x| * 2^-200 * piece = m * pm * 2^(b - 1075 - 200 + pexp); bit 0 of acc is 2^-253.
        acc.addShifted(mul64x64(m, pm), b - 1275 + pexp + 253);
    }
}

// f * pi/4 as hi + lo for the fraction f = G * 2^-253 (G < 2^253).
inline void fractionTimesPio4(const Fixed256& g, double& hi, double& lo) {
    int top = 3;
    while (top >= 0 && g.limb[top] == 0) --top;
    if (top < 0) {
        hi = lo = 0.0;
        return;
    }
    const int lead = top * 64 + 63 - __builtin_clzll(g.limb[top]);
    const uint64_t w1 = g.bitsFrom(lead - 63);   // the leading one and the 63 bits below it
    const uint64_t w2 = g.bitsFrom(lead - 127);  // the next 64 bits
    const int scale = lead - 63 - 253;           // weight of w1's lowest bit
    // fh: the top 53 bits exactly; fl: the next 75 bits, rounded once.
    const double fh = static_cast<double>(w1 >> 11) * pow2(scale + 11);
    const double fl = (static_cast<double>(w1 & 0x7FF) * pow2(scale)) +
                      static_cast<double>(w2) * pow2(scale - 64);
    double p, e;
    twoProd(fh, kPio4Hi, p, e);
    const double t = e + (fh * kPio4Lo + fl * kPio4Hi);
    hi = p + t;
    lo = (p - hi) + t;
}

// x = (q + 4m) * pi/2 + out[0] + out[1] for finite x; returns q in 0..3.
inline int reduceLargeImpl(double x, double* out) {
    const uint64_t absBits = dbits(x) & kAbsMask;
    const double ax = dfrom(absBits);
    const int b = static_cast<int>(absBits >> 52);
    double hi, lo;
    int q;
    if (b <= kExpCodyWaite) {
        // j = the integer part of |x| * 4/pi, raised to the next even number.
        int64_t j = static_cast<int64_t>(ax * kFourOverPi);
        j += j & 1;
        const double jf = static_cast<double>(j);
        double s, e1, e2, e3 = 0.0, rest;
        if (b < kExpFiveParts) {
            const double t1 = ax - jf * kPio4a;  // exact: both products are exact
            twoSum(t1, -(jf * kPio4b), s, e1);
            twoSum(s, -(jf * kPio4c), s, e2);
            rest = -(jf * kPio4d);
        } else {
            const double t1 = ax - jf * kPio4e1;
            twoSum(t1, -(jf * kPio4e2), s, e1);
            twoSum(s, -(jf * kPio4e3), s, e2);
            twoSum(s, -(jf * kPio4e4), s, e3);
            rest = -(jf * kPio4e5);
        }
        const double tail = ((e1 + e2) + e3) + rest;
        twoSum(s, tail, hi, lo);
        q = static_cast<int>((j >> 1) & 3);
    } else {
        Fixed256 acc;
        fourOverPiProduct(absBits, b, acc);
        int octant = static_cast<int>(acc.limb[3] >> 61);
        acc.limb[3] &= (uint64_t(1) << 61) - 1;
        bool negative = false;
        if (octant & 1) {
            // Round the octant up to even: the fraction becomes -(1 - f).
            ++octant;
            negative = true;
            uint64_t borrow = 0;
            const uint64_t one[4] = {0, 0, 0, uint64_t(1) << 61};
            for (int i = 0; i < 4; ++i) {
                const uint64_t d1 = one[i] - acc.limb[i];
                const uint64_t b1 = one[i] < acc.limb[i];
                const uint64_t d2 = d1 - borrow;
                const uint64_t b2 = d1 < borrow;
                acc.limb[i] = d2;
                borrow = b1 | b2;
            }
        }
        fractionTimesPio4(acc, hi, lo);
        if (negative) {
            hi = -hi;
            lo = -lo;
        }
        q = (octant >> 1) & 3;
    }
    if (signBit(x)) {
        hi = -hi;
        lo = -lo;
        q = (4 - q) & 3;
    }
    out[0] = hi;
    out[1] = lo;
    return q;
}

// ---------------------------------------------------------------------------------------------
// Reduction of any |x| through its window of 1/(2 pi): the row j (0..511) of a step-pi/256
// table and r + rlo = |x| - j*pi/256 (modulo 2 pi), |r| <= pi/512. Infinities and NaNs give
// meaningless values that the callers replace.
inline void windowReduce(double ax, int& j, double& r, double& rlo) {
    const uint64_t bx = dbits(ax);
    const int e = static_cast<int>((bx >> 52) & 0x7FF);
    const uint64_t m = (bx & kFracMask) | kHiddenBit;
    const uint64_t* w = dspInvTwoPiWindows[e];
    // P = m * W mod 2^192; F0 = its bits 191..128, F1 = bits 127..64 (the fraction of
    // |x| / (2 pi) in units of 2^-64 and 2^-128).
    const U128 p2 = mul64x64(m, w[2]);
    const U128 p1 = mul64x64(m, w[1]);
    const uint64_t p0 = m * w[0];
    const uint64_t f1 = p2.hi + p1.lo;
    const uint64_t carry = f1 < p1.lo;
    const uint64_t f0 = p1.hi + p0 + carry;

    const double f = dfrom(0x3FF0000000000000ull | (f0 >> 12));  // 1 + top 52 bits
    const double u = f + kWindowShifter;
    j = static_cast<int>(dbits(u) & 511);
    const double a = f - (u - kWindowShifter);  // |a| <= 1/1024 turn
    const double b = static_cast<double>(((f0 & 0xFFF) << 40) | (f1 >> 24)) * pow2(-104);
    const double c = static_cast<double>(f1 & 0xFFFFFF) * pow2(-128);
    const double th = a + b;
    const double tl = (b + (a - th)) + c;
    const double h = dfrom(dbits(th) & kClearLow27);
    const double l = th - h;
    const double u1 = kTwoPiHead * h;  // exact
    const double v = (kTwoPiHead * l + kTwoPiTail * h) + (kTwoPi * tl + kTwoPiTail * l);
    r = u1 + v;
    rlo = (u1 - r) + v;
    if (ax <= kWindowTiny) {
        r = ax;
        rlo = 0.0;
    }
}

// The window reduction of a signed x: the row and the reduced argument of -x are those of x
// negated, exactly.
inline void windowReduceSigned(double x, int& j, double& r, double& rlo) {
    windowReduce(dabs(x), j, r, rlo);
    if (signBit(x)) {
        j = (512 - j) & 511;
        r = -r;
        rlo = -rlo;
    }
}

// ---------------------------------------------------------------------------------------------
// One element by the pi/32 table: the method of the x87 kernels (which instantiate these
// templates with long double, at 53-bit x87 precision) and of the one-element routines (double).

// Polynomial parts for |r| <= pi/64: sin r - r = sinPart(z) * r, cos r - 1 = cosPart(z).
template <typename T>
inline T taylorSinPart(T z) {
    return (((static_cast<T>(kTS4) * z + kTS3) * z + kTS2) * z + kTS1) * z;
}
template <typename T>
inline T taylorCosPart(T z) {
    return (((static_cast<T>(kTC4) * z + kTC3) * z + kTC2) * z + kTC1) * z;
}

// Infinities, NaNs and |x| < 2^-252, which need no table step: true with *res set; *status
// becomes 19 for an infinity (result NaN).
inline bool elementShortcut(double x, bool cosine, double* res, int* status) {
    const int b = biasedExponent(x);
    if (b == 0x7FF) {
        if (dabs(x) == __builtin_inf()) {
            *res = x * 0.0;
            *status = dspWarnDomain;
        } else {
            *res = x * x;
        }
        return true;
    }
    if (b < kExpTiny) {
        *res = cosine ? 1.0 - dabs(x) : (x == 0.0 ? x : (x * kTwo55 - x) * kTwoM55);
        return true;
    }
    return false;
}

// x = quarter * pi/2 + a + tail (modulo 2 pi): x itself below 2^17, else dspSinCosReduceLarge's
// reduction. reduceFn is that routine or a copy of it.
struct QuarterReduced {
    double a, tail;
    int quarter;
};

template <typename ReduceFn>
inline QuarterReduced reduceQuarters(double x, ReduceFn reduceFn) {
    if (biasedExponent(x) < kExpLarge) return {x, 0.0, 0};
    double out[2];
    const int q = reduceFn(x, out);
    return {out[0], out[1], q};
}

// sin(x) from its reduction. kKernelSum picks the final sum of the x87 kernel; otherwise that of
// dspSinLargeArg.
template <typename T, bool kKernelSum>
inline double sinPi32(T a, T tail0, int quarter) {
    const double s = static_cast<double>(a * kK32 + kShifter);
    const int32_t k = static_cast<int32_t>(static_cast<uint32_t>(dbits(s)));
    const T kf = static_cast<T>(s) - kShifter;
    const int j = (16 * quarter + k) & 63;
    const T r1 = a - kf * kP32a;
    const T r = r1 - kf * kP32b;
    const T t = (((r1 - r) - kf * kP32b) - kf * kP32c) + tail0;
    const T z = r * r;
    const T sp = taylorSinPart(z) * r;
    const T cp = taylorCosPart(z);
    const double* row = dspSinTablePi32[j];
    const T r0 = row[0], rs = row[1], rt = row[2], rc = row[3];
    const T cosp = r0 + rc;
    const T h = rs + rc * r;
    const T g = r0 * r + h;
    const T w1 = rc * r + (rs - h);
    const T w2 = r0 * r + (h - g);
    const T v = t * (cosp - rs * r);
    if (kKernelSum)
        return static_cast<double>(g + ((((w1 + (v + rt)) + w2) + sp * cosp) + cp * rs));
    return static_cast<double>(g + ((((sp * cosp + cp * rs) + w2) + (v + rt)) + w1));
}

// cos(x) from its reduction: cos x = sin(x + pi/2), 16 rows further on.
template <typename T>
inline double cosPi32(T a, T c, int quarter) {
    const double t = static_cast<double>(a * kK32 + kShifter);
    const T n = static_cast<T>(t) - kShifter;
    const int32_t nlow = static_cast<int32_t>(static_cast<uint32_t>(dbits(t)));
    const int j = (nlow + 16 * quarter + 16) & 63;
    const T y1 = a - n * kP32a;
    const T y2 = y1 - n * kP32b;
    const T e = (y1 - y2) - n * kP32b;
    const T w = e - n * kP32c;
    const T z = y2 * y2;
    const T sp = taylorSinPart(z);
    const T cp = taylorCosPart(z);
    const double* row = dspSinTablePi32[j];
    const T l = row[0], sh = row[1], sl = row[2], pc = row[3];
    const T s1 = sh + pc * y2;
    const T h = l * y2 + s1;
    const T err1 = pc * y2 + (sh - s1);
    const T err2 = l * y2 + (s1 - h);
    const double pa = static_cast<double>((l + pc) * (sp * y2));
    const double pb = static_cast<double>(sh * cp);
    const T pw = (w + c) * ((l + pc) - sh * y2);
    return static_cast<double>(h + (((((pw + sl) + err1) + err2) + pa) + pb));
}

// sin(x) and cos(x) of any double (dspSinLargeArg, dspCosLargeArg).
inline double sinLargeArgImpl(double x) {
    double res;
    int status = dspOk;
    if (elementShortcut(x, false, &res, &status)) return res;
    const QuarterReduced q = reduceQuarters(x, reduceLargeImpl);
    return sinPi32<double, false>(q.a, q.tail, q.quarter);
}

inline double cosLargeArgImpl(double x) {
    double res;
    int status = dspOk;
    if (elementShortcut(x, true, &res, &status)) return res;
    const QuarterReduced q = reduceQuarters(x, reduceLargeImpl);
    return cosPi32<double>(q.a, q.tail, q.quarter);
}

// ---------------------------------------------------------------------------------------------
// Element routines of the fastest kernels (any double, one at a time): the pi/32 table with the
// shorter final sums of those kernels (within 3 ulp below 2^17). They store the result and
// return 19 for an infinity (result NaN), else 0; the kernel reports to the hook.

inline int sinElementFast(double x, double* res) {
    int status = dspOk;
    if (elementShortcut(x, false, res, &status)) return status;
    const QuarterReduced q = reduceQuarters(x, reduceLargeImpl);
    const double s = q.a * kK32 + kShifter;
    const int32_t k = static_cast<int32_t>(static_cast<uint32_t>(dbits(s)));
    const double kf = s - kShifter;
    const int j = (16 * q.quarter + k) & 63;
    const double r = (q.a - kf * kP32a) - kf * kP32b;
    const double t = ((r - kf * kP32c) - r) + q.tail;
    const double z = r * r;
    const double sp = taylorSinPart(z) * r;
    const double cp = taylorCosPart(z);
    const double* row = dspSinTablePi32[j];
    const double cosp = row[0] + row[3];
    const double h = row[1] + row[3] * r;
    const double g = h + row[0] * r;
    double acc = sp * cosp + cp * row[1];
    acc = acc + row[3] * r;
    acc = acc + row[0] * r;
    acc = (acc + h) - h;
    acc = (acc + g) - g;
    acc = acc + t * (cosp - row[1] * r);
    acc = acc + row[2];
    *res = acc + row[1];
    return dspOk;
}

inline int cosElementFast(double x, double* res) {
    int status = dspOk;
    if (elementShortcut(x, true, res, &status)) return status;
    const QuarterReduced q = reduceQuarters(x, reduceLargeImpl);
    const double t = q.a * kK32 + kShifter;
    const double n = t - kShifter;
    const int32_t nlow = static_cast<int32_t>(static_cast<uint32_t>(dbits(t)));
    const int j = (nlow + 16 * q.quarter + 16) & 63;
    const double y2 = (q.a - n * kP32a) - n * kP32b;
    const double z = y2 * y2;
    const double sp = taylorSinPart(z);
    const double cp = taylorCosPart(z);
    const double* row = dspSinTablePi32[j];
    const double s1 = row[1] + row[3] * y2;
    const double h = row[0] * y2 + s1;
    const double pa = (sp * y2) * (row[0] + row[3]);
    const double pb = cp * row[1];
    const double pw = (((y2 - n * kP32c) - y2) + q.tail) * ((row[0] + row[3]) - row[1] * y2);
    double acc = pa + pb;
    acc = acc + row[3] * y2;
    acc = acc + row[0] * y2;
    acc = acc + s1;
    acc = acc - s1;
    acc = acc + h;
    acc = acc - h;
    acc = acc + pw;
    acc = acc + row[2];
    *res = acc + row[1];
    return dspOk;
}

}  // namespace
