// The arithmetic that every complex stage of the real FFT is written in: complex values over a
// number type, the exact rotations by -i and +i, twiddle products, and the one radix-4
// decimation-in-time butterfly. Included only by sources compiled per slot; everything sits in
// an anonymous namespace, so each slot compiles its own copy with its own instructions.
//
// Complex types:
//   Cx<T>  one value per T: T = long double (slot 0: x87 on doubles in memory, at the precision
//          the caller's control word sets; the control word is never written), T = double
//          (slot 2, scalar SSE2), or T = V, which holds kLanes values in split form (the real
//          parts in one vector, the imaginary parts in another).
//   Pc     (slots 1 to 3) one value per 128-bit vector, real part in the low lane.
// Every operation below is one IEEE operation per part in the order written, so a formula gives
// the same bits in long double under a 53-bit control word, in double and in either vector form.
//
// Direction: the forward transform multiplies by w = e^(-2 pi i / n) and turns by -i; the
// inverse multiplies by the conjugates of the same stored twiddles and turns by +i.
#pragma once

#include "dsp/slot.h"
#if DSP_SLOT >= 1
#include "dsp/vec.h"
#endif

#include <stdint.h>

#include <type_traits>
#include <utility>

// The small helpers below must vanish into the kernels that use them: a call per butterfly
// would cost more than the butterfly.
#define DSP_FFT_INLINE inline __attribute__((always_inline))

namespace {

enum class Dir { Fwd, Inv };

// The number type of the scalar stages: x87 extended in slot 0, double elsewhere.
using FftReal = std::conditional_t<DSP_SLOT == 0, long double, double>;

// Exact negation of a part.
DSP_FFT_INLINE long double negPart(long double x) {
    return -x;
}
DSP_FFT_INLINE double negPart(double x) {
    return -x;
}
#if DSP_SLOT >= 1
DSP_FFT_INLINE V negPart(V x) {
    return vneg(x);
}
#endif

template <class T>
struct Cx {
    T re, im;
};

template <class T>
DSP_FFT_INLINE Cx<T> operator+(Cx<T> a, Cx<T> b) {
    return {a.re + b.re, a.im + b.im};
}
template <class T>
DSP_FFT_INLINE Cx<T> operator-(Cx<T> a, Cx<T> b) {
    return {a.re - b.re, a.im - b.im};
}
template <class T, class S>
DSP_FFT_INLINE Cx<T> scaledBy(Cx<T> a, S s) {
    return {a.re * s, a.im * s};
}
// a times -i (forward) or +i (inverse): exact.
template <Dir D, class T>
DSP_FFT_INLINE Cx<T> rot(Cx<T> a) {
    if constexpr (D == Dir::Fwd) {
        return {a.im, negPart(a.re)};
    } else {
        return {negPart(a.im), a.re};
    }
}
// a times w (forward) or times conj(w) (inverse), w = (wr, wi):
// (ar wr - ai wi, ar wi + ai wr), or (ar wr + ai wi, ai wr - ar wi).
template <Dir D, class T>
DSP_FFT_INLINE Cx<T> twiddle(Cx<T> a, Cx<T> w) {
    if constexpr (D == Dir::Fwd) {
        return {a.re * w.re - a.im * w.im, a.re * w.im + a.im * w.re};
    } else {
        return {a.re * w.re + a.im * w.im, a.im * w.re - a.re * w.im};
    }
}
// The eighth-turn factors with c = sqrt(1/2), two products each:
// a w8 = ((re + im) c, (im - re) c) and a w8^3 = ((re - im)(-c), (im + re)(-c)), with c and -c
// as stored; the inverse takes the conjugate factors.
template <Dir D, class T, class S>
DSP_FFT_INLINE Cx<T> timesW8(Cx<T> a, S c) {
    if constexpr (D == Dir::Fwd) {
        return {(a.re + a.im) * c, (a.im - a.re) * c};
    } else {
        return {(a.re - a.im) * c, (a.im + a.re) * c};
    }
}
template <Dir D, class T, class S>
DSP_FFT_INLINE Cx<T> timesW8Cubed(Cx<T> a, S minusC) {
    if constexpr (D == Dir::Fwd) {
        return {(a.re - a.im) * minusC, (a.im + a.re) * minusC};
    } else {
        return {(a.re + a.im) * minusC, (a.im - a.re) * minusC};
    }
}

// a b + c, rounded once where Fused (slot 5 only; a product and a sum elsewhere).
template <bool Fused, class T>
DSP_FFT_INLINE T mulAdd(T a, T b, T c) {
#if DSP_SLOT == 5
    if constexpr (Fused) {
        if constexpr (std::is_same_v<T, double>) {
            return __builtin_fma(a, b, c);
        } else {
            return vfma(a, b, c);
        }
    }
#endif
    return a * b + c;
}

#if DSP_SLOT >= 1 && DSP_SLOT <= 3
// One complex value per vector (re, im). The same operations as Cx<double>, lane for part.
struct Pc {
    V v;
};
DSP_FFT_INLINE Pc operator+(Pc a, Pc b) {
    return {a.v + b.v};
}
DSP_FFT_INLINE Pc operator-(Pc a, Pc b) {
    return {a.v - b.v};
}
DSP_FFT_INLINE Pc scaledBy(Pc a, V s) {
    return {a.v * s};
}
template <Dir D>
DSP_FFT_INLINE Pc rot(Pc a) {
    if constexpr (D == Dir::Fwd) {
        return {vnegIm(vswapPairs(a.v))};
    } else {
        return {vnegRe(vswapPairs(a.v))};
    }
}
// (re, im) (wr, wr) + (im, re) (-wi, wi) = (re wr - im wi, im wr + re wi); the inverse negates
// the second factor.
template <Dir D>
DSP_FFT_INLINE Pc twiddle(Pc a, double wr, double wi) {
    const double cross[2] = {D == Dir::Fwd ? -wi : wi, D == Dir::Fwd ? wi : -wi};
    return {a.v * vset(wr) + vswapPairs(a.v) * vloadu(cross)};
}
template <Dir D>
DSP_FFT_INLINE Pc timesW8(Pc a, V c) {
    if constexpr (D == Dir::Fwd) {
        return {(a.v + vnegIm(vswapPairs(a.v))) * c};
    } else {
        return {(a.v + vnegRe(vswapPairs(a.v))) * c};
    }
}
template <Dir D>
DSP_FFT_INLINE Pc timesW8Cubed(Pc a, V minusC) {
    if constexpr (D == Dir::Fwd) {
        return {(a.v + vnegRe(vswapPairs(a.v))) * minusC};
    } else {
        return {(a.v + vnegIm(vswapPairs(a.v))) * minusC};
    }
}
#endif

// The radix-4 decimation-in-time butterfly on four sub-transform values that stand at offsets
// 0, s, 2s, 3s of a bit-reversed array: x1 (offset s) is the sub-transform of the inputs
// congruent to 2 modulo 4 and already multiplied by W2, x2 (offset 2s) by W1, x3 by W3.
//   P = x0 + x1, Q = x0 - x1, R = x2 + x3, S = x2 - x3
//   x0 = P + R, x2 = P - R, x1 = Q + rot(S), x3 = Q - rot(S)     (rot: -i forward, +i inverse)
// Read with (x0, x1, x2, x3) = (a, c, b, d) it is the four-point DFT of (a, b, c, d). Scaled,
// it multiplies P, Q, R and S by the factor before combining them.
template <Dir D, class C>
DSP_FFT_INLINE void radix4(C& x0, C& x1, C& x2, C& x3) {
    const C p = x0 + x1, q = x0 - x1, r = x2 + x3, s = x2 - x3;
    const C t = rot<D>(s);
    x0 = p + r;
    x2 = p - r;
    x1 = q + t;
    x3 = q - t;
}
// With separate parts the turn costs nothing: q + (-i) s is (q.re + s.im, q.im - s.re), the same
// bits as adding the negated part.
template <Dir D, class T>
DSP_FFT_INLINE void radix4(Cx<T>& x0, Cx<T>& x1, Cx<T>& x2, Cx<T>& x3) {
    const Cx<T> p = x0 + x1, q = x0 - x1, r = x2 + x3, s = x2 - x3;
    x0 = p + r;
    x2 = p - r;
    if constexpr (D == Dir::Fwd) {
        x1 = {q.re + s.im, q.im - s.re};
        x3 = {q.re - s.im, q.im + s.re};
    } else {
        x1 = {q.re - s.im, q.im + s.re};
        x3 = {q.re + s.im, q.im - s.re};
    }
}
template <Dir D, class C, class S>
DSP_FFT_INLINE void radix4Scaled(C& x0, C& x1, C& x2, C& x3, S scale) {
    const C p = scaledBy(x0 + x1, scale), q = scaledBy(x0 - x1, scale);
    const C r = scaledBy(x2 + x3, scale), s = scaledBy(x2 - x3, scale);
    const C t = rot<D>(s);
    x0 = p + r;
    x2 = p - r;
    x1 = q + t;
    x3 = q - t;
}

// ---------------------------------------------------------------------------------------------
// Compile-time unrolling: f(std::integral_constant<int, i>) for i = 0 .. N-1, in order.

template <class Fn, int... I>
DSP_FFT_INLINE void unrollImpl(Fn& f, std::integer_sequence<int, I...>) {
    (f(std::integral_constant<int, I>{}), ...);
}
template <int N, class Fn>
DSP_FFT_INLINE void unroll(Fn f) {
    unrollImpl(f, std::make_integer_sequence<int, N>{});
}

// ---------------------------------------------------------------------------------------------
// Literal twiddles of the small kernels: |cos(k pi / 16)| for k = 0..8, each the double nearest
// to the exact value, except sin(pi / 16) = cos(7 pi / 16), which is held one unit in the last
// place low.
constexpr double kCosPi16[9] = {
    1.0,
    0.9807852804032304,
    0.9238795325112867,
    0.8314696123025452,
    0.7071067811865476,
    0.5555702330196022,
    0.3826834323650898,
    0.19509032201612825,
    0.0,
};
constexpr double kSqrtHalf = 0.7071067811865476;

// cos(k pi / 16) for any k, folded by the symmetries of the cosine.
constexpr double cosPi16(int k) {
    k = ((k % 32) + 32) % 32;
    if (k <= 8) return kCosPi16[k];
    if (k <= 16) return -kCosPi16[16 - k];
    if (k <= 24) return -kCosPi16[k - 16];
    return kCosPi16[32 - k];
}
// w_M^e = (cos(2 pi e / M), -sin(2 pi e / M)) for M = 2 .. 32, from the literals.
constexpr double wRe(int M, int e) {
    return cosPi16(e * (32 / M));
}
constexpr double wIm(int M, int e) {
    return -cosPi16(8 - e * (32 / M));
}

}  // namespace
