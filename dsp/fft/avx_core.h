// The arithmetic of the AVX slots (4 and 5) of the FFT, written against the vector vocabulary
// (dsp/vec.h, four lanes): complex products in two policies and the one radix-4
// decimation-in-time core over the split-4 layout, templated over the policy and the direction.
// Included only by sources compiled for slots 4 and 5; everything sits in an anonymous
// namespace, so no AVX2 or FMA instruction can leak into slot 4.
//
// Policies (the only difference between the two slots' passes and kernels):
//   Rounded  slot 4: every product is rounded, then added (a*b + c*d is three roundings).
//   Fused    slot 5: the product that a sum takes last is fused into it (a*b + round(c*d)),
//            written out with vfma and vfms, since the build forbids the compiler to contract.
//
// Split-4 layout: a block of four complex values is 64 bytes, their four real parts, then their
// four imaginary parts; a Sv holds one block in two vectors.
#pragma once

#include "dsp/fft/radix.h"
#include "dsp/vec.h"

#include <stdint.h>

static_assert(kLanes == 4, "the split-4 layout: slots 4 and 5 only");

namespace {

struct Rounded {
    // a*b + c and a*b - c, the product rounded first.
    DSP_FFT_INLINE static V mulAdd(V a, V b, V c) { return a * b + c; }
    DSP_FFT_INLINE static V mulSub(V a, V b, V c) { return a * b - c; }
    // a*b + c*d and a*b - c*d.
    DSP_FFT_INLINE static V dotAdd(V a, V b, V c, V d) { return a * b + c * d; }
    DSP_FFT_INLINE static V dotSub(V a, V b, V c, V d) { return a * b - c * d; }
};

#if DSP_SLOT == 5
struct Fused {
    DSP_FFT_INLINE static V mulAdd(V a, V b, V c) { return vfma(a, b, c); }
    DSP_FFT_INLINE static V mulSub(V a, V b, V c) { return vfms(a, b, c); }
    DSP_FFT_INLINE static V dotAdd(V a, V b, V c, V d) { return vfma(a, b, c * d); }
    DSP_FFT_INLINE static V dotSub(V a, V b, V c, V d) { return vfms(a, b, c * d); }
};
using SlotArith = Fused;
#else
using SlotArith = Rounded;
#endif

// Four complex values in split form.
struct Sv {
    V re, im;
};
DSP_FFT_INLINE Sv operator+(Sv a, Sv b) {
    return {a.re + b.re, a.im + b.im};
}
DSP_FFT_INLINE Sv operator-(Sv a, Sv b) {
    return {a.re - b.re, a.im - b.im};
}

DSP_FFT_INLINE Sv loadSplit(const double* p) {
    return {vloadu(p), vloadu(p + 4)};
}
DSP_FFT_INLINE void storeSplit(double* p, Sv x) {
    vstoreu(p, x.re);
    vstoreu(p + 4, x.im);
}

// a times w forward, times conj(w) inverse:
// (ar wr - ai wi, ar wi + ai wr), or (ar wr + ai wi, ai wr - ar wi).
template <class A, Dir D>
DSP_FFT_INLINE Sv cmul(Sv a, Sv w) {
    if constexpr (D == Dir::Fwd) {
        return {A::dotSub(a.re, w.re, a.im, w.im), A::dotAdd(a.re, w.im, a.im, w.re)};
    } else {
        return {A::dotAdd(a.re, w.re, a.im, w.im), A::dotSub(a.im, w.re, a.re, w.im)};
    }
}

// One radix-4 butterfly on four split blocks, the quarters q0..q3 at offsets 0, s, 2s, 3s of a
// bit-reversed block (q1 holds the sub-transform of the inputs 2 mod 4, so it takes W^2k),
// with the twiddle record w (24 doubles: W^k, W^2k, W^3k, each four real parts then four
// imaginary parts):
//   A = q0 + q1 W^2k, B = q0 - q1 W^2k, C = q2 W^k + q3 W^3k, D = q2 W^k - q3 W^3k,
//   q0 = A + C, q1 = B - iD, q2 = A - C, q3 = B + iD   (forward; the inverse turns by +i).
template <class A, Dir D>
DSP_FFT_INLINE void radix4Split(Sv& q0, Sv& q1, Sv& q2, Sv& q3, Sv w1, Sv w2, Sv w3) {
    const Sv b = cmul<A, D>(q1, w2), c = cmul<A, D>(q2, w1), d = cmul<A, D>(q3, w3);
    const Sv ap = q0 + b, bm = q0 - b, cp = c + d, dm = c - d;
    q0 = ap + cp;
    q2 = ap - cp;
    if constexpr (D == Dir::Fwd) {
        q1 = {bm.re + dm.im, bm.im - dm.re};
        q3 = {bm.re - dm.im, bm.im + dm.re};
    } else {
        q1 = {bm.re - dm.im, bm.im + dm.re};
        q3 = {bm.re + dm.im, bm.im - dm.re};
    }
}
template <class A, Dir D>
DSP_FFT_INLINE void radix4Split(Sv& q0, Sv& q1, Sv& q2, Sv& q3, const double* w) {
    radix4Split<A, D>(q0, q1, q2, q3, loadSplit(w), loadSplit(w + 8), loadSplit(w + 16));
}

// x times -i (forward) or +i (inverse) on interleaved pairs: (im, -re) or (-im, re).
template <Dir D>
DSP_FFT_INLINE V turn(V x) {
    return D == Dir::Fwd ? vnegIm(vswapPairs(x)) : vnegRe(vswapPairs(x));
}

// Four interleaved vectors X0..X3, each two columns (c, c+1) of one output t, into the split
// blocks of column c (lo) and c+1 (hi): re = (X0.re, X1.re, X2.re, X3.re), im likewise.
DSP_FFT_INLINE void toSplit(V x0, V x1, V x2, V x3, Sv& lo, Sv& hi) {
    vtranspose4(x0, x1, x2, x3);
    lo = {x0, x1};
    hi = {x2, x3};
}

// The four-point DFT X_t = sum of l_s (-i)^(st) of the legs l0..l3 (two columns per vector).
template <Dir D>
DSP_FFT_INLINE void radix4Legs(V l0, V l1, V l2, V l3, V x[4]) {
    const V s02 = l0 + l2, d02 = l0 - l2, s13 = l1 + l3, d13 = turn<D>(l1 - l3);
    x[0] = s02 + s13;
    x[1] = d02 + d13;
    x[2] = s02 - s13;
    x[3] = d02 - d13;
}

// The eight-point DFT of the legs l0..l7 (two columns per vector), with r = sqrt(1/2):
//   a = l0 + l4, bb = l0 - l4, cc = l2 + l6, d = l6 - l2, e = l1 + l5, f = (l1 - l5) r,
//   g = l3 + l7, h = (l7 - l3) r;  X0, X4 = (a + cc) +- (e + g), X2, X6 = (a - cc) +- i (g - e),
//   X1, X7 = bb + (f + h) +- i ((d - f) + h), X3, X5 = bb - (f + h) +- i ((h - f) - d).
// The fused policy never rounds f on its own: f + h, d - f and h - f are fused from (l1 - l5)
// and r.
template <class A, Dir D>
DSP_FFT_INLINE void radix8Legs(const V l[8], V x[8]) {
    const V r = vset(0.7071067811865476);
    // The butterfly's +i; the inverse, with the conjugate factors, turns by -i there.
    constexpr Dir Up = D == Dir::Fwd ? Dir::Inv : Dir::Fwd;
    const V a = l[0] + l[4], bb = l[0] - l[4], cc = l[2] + l[6], d = l[6] - l[2], e = l[1] + l[5],
            g = l[3] + l[7];
    const V f0 = l[1] - l[5], h0 = l[7] - l[3];
    const V h = h0 * r;
    const V fh = A::mulAdd(f0, r, h), dmf = A::mulAdd(vneg(f0), r, d),
            hmf = A::mulAdd(vneg(f0), r, h);
    const V ac = a + cc, eg = e + g, amc = a - cc, ge = turn<Up>(g - e);
    const V t1 = bb + fh, t2 = turn<Up>(dmf + h);
    const V t3 = bb - fh, t4 = turn<Up>(hmf - d);
    x[0] = ac + eg;
    x[1] = t1 + t2;
    x[2] = amc + ge;
    x[3] = t3 + t4;
    x[4] = ac - eg;
    x[5] = t3 - t4;
    x[6] = amc - ge;
    x[7] = t1 - t2;
}

// The radix-4 stage of step s (a multiple of 4) over `count` consecutive blocks of 4s values in
// the split-4 layout at x, every block with the same twiddle set (s/4 records). Each record is
// loaded once for all the blocks that use it.
template <class A, Dir D>
DSP_FFT_INLINE void radix4Stage(double* x, const double* set, int64_t s, int64_t count) {
    const int64_t q = 2 * s;  // doubles per quarter
    for (int64_t k = 0; k < s; k += 4) {
        const Sv w1 = loadSplit(set + 6 * k), w2 = loadSplit(set + 6 * k + 8),
                 w3 = loadSplit(set + 6 * k + 16);
        double* p = x + 2 * k;
        for (int64_t b = 0; b < count; ++b, p += 4 * q) {
            Sv q0 = loadSplit(p), q1 = loadSplit(p + q), q2 = loadSplit(p + 2 * q),
               q3 = loadSplit(p + 3 * q);
            radix4Split<A, D>(q0, q1, q2, q3, w1, w2, w3);
            storeSplit(p, q0);
            storeSplit(p + q, q1);
            storeSplit(p + 2 * q, q2);
            storeSplit(p + 3 * q, q3);
        }
    }
}

}  // namespace
