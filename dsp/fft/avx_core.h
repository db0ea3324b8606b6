// The arithmetic of the AVX slots (4 and 5) of the FFT: complex products in two policies and the
// one radix-4 decimation-in-time core over the split-4 layout, templated over the policy and
// the direction. Included only by sources compiled for slots 4 and 5; everything sits in an
// anonymous namespace, so no AVX2 or FMA instruction can leak into slot 4.
//
// Policies (the only difference between the two slots' passes and kernels):
//   Rounded  slot 4: every product is rounded, then added (a*b + c*d is three roundings).
//   Fused    slot 5: the product that a sum takes last is fused into it (a*b + round(c*d)),
//            written out with _mm256_fmadd_pd, since the build forbids the compiler to contract.
//
// Split-4 layout: a block of four complex values is 64 bytes, their four real parts, then their
// four imaginary parts; a Sv holds one block in two registers.
#pragma once

#if DSP_SLOT < 4
#error "AVX code: slots 4 and 5 only"
#endif

#include "dsp/fft/radix.h"

#include <immintrin.h>
#include <stdint.h>

namespace {

using Vd = __m256d;

DSP_FFT_INLINE Vd vAdd(Vd a, Vd b) {
    return _mm256_add_pd(a, b);
}
DSP_FFT_INLINE Vd vSub(Vd a, Vd b) {
    return _mm256_sub_pd(a, b);
}
DSP_FFT_INLINE Vd vMul(Vd a, Vd b) {
    return _mm256_mul_pd(a, b);
}
DSP_FFT_INLINE Vd vNeg(Vd a) {
    return _mm256_xor_pd(a, _mm256_set1_pd(-0.0));
}

struct Rounded {
    // a*b + c, the product rounded first.
    DSP_FFT_INLINE static Vd mulAdd(Vd a, Vd b, Vd c) { return vAdd(vMul(a, b), c); }
    // a*b + c*d and a*b - c*d.
    DSP_FFT_INLINE static Vd dotAdd(Vd a, Vd b, Vd c, Vd d) { return vAdd(vMul(a, b), vMul(c, d)); }
    DSP_FFT_INLINE static Vd dotSub(Vd a, Vd b, Vd c, Vd d) { return vSub(vMul(a, b), vMul(c, d)); }
};

#if DSP_SLOT == 5
struct Fused {
    DSP_FFT_INLINE static Vd mulAdd(Vd a, Vd b, Vd c) { return _mm256_fmadd_pd(a, b, c); }
    DSP_FFT_INLINE static Vd dotAdd(Vd a, Vd b, Vd c, Vd d) {
        return _mm256_fmadd_pd(a, b, vMul(c, d));
    }
    DSP_FFT_INLINE static Vd dotSub(Vd a, Vd b, Vd c, Vd d) {
        return _mm256_fmsub_pd(a, b, vMul(c, d));
    }
};
using SlotArith = Fused;
#else
using SlotArith = Rounded;
#endif

// Four complex values in split form.
struct Sv {
    Vd re, im;
};
DSP_FFT_INLINE Sv operator+(Sv a, Sv b) {
    return {vAdd(a.re, b.re), vAdd(a.im, b.im)};
}
DSP_FFT_INLINE Sv operator-(Sv a, Sv b) {
    return {vSub(a.re, b.re), vSub(a.im, b.im)};
}

DSP_FFT_INLINE Sv loadSplit(const double* p) {
    return {_mm256_loadu_pd(p), _mm256_loadu_pd(p + 4)};
}
DSP_FFT_INLINE void storeSplit(double* p, Sv x) {
    _mm256_storeu_pd(p, x.re);
    _mm256_storeu_pd(p + 4, x.im);
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
        q1 = {vAdd(bm.re, dm.im), vSub(bm.im, dm.re)};
        q3 = {vSub(bm.re, dm.im), vAdd(bm.im, dm.re)};
    } else {
        q1 = {vSub(bm.re, dm.im), vAdd(bm.im, dm.re)};
        q3 = {vAdd(bm.re, dm.im), vSub(bm.im, dm.re)};
    }
}
template <class A, Dir D>
DSP_FFT_INLINE void radix4Split(Sv& q0, Sv& q1, Sv& q2, Sv& q3, const double* w) {
    radix4Split<A, D>(q0, q1, q2, q3, loadSplit(w), loadSplit(w + 8), loadSplit(w + 16));
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
