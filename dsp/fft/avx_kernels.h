// The complex small-order kernels of slots 4 and 5 (kernel tables T2 and T3, dsp/fft/kernels.h),
// forward and inverse from one template over the direction (the inverse conjugates every root),
// avxComplexKernel<D, m, Scaled>; dsp/fft/kernels.slots.cpp makes the members of these slots of
// it. Included only by sources compiled for slots 4 and 5.
//
// From 8 points up a 256-bit vector holds two neighbouring values, and M = N1 x N2 is 4 x 2,
// 4 x 4, 4 x 8 or 8 x 8 (input n = j + N2 r, output k = k1 + N1 k2):
//   first pass   the N1-point DFT over r of the input pairs [z(j + N2 r), z(j + 1 + N2 r)];
//   twiddles     Y_j[k1] times w_M^(j k1), every factor (-i and the eighth turns included) as
//                v C + swap(v) S with C = (cos, cos) and S = (sin, -sin) per value, applied to
//                whichever side of the 2 x 2 transposition of {Y_j, Y_j+1} x {k1, k1+1} needs
//                fewer vectors; Y_1[0] shares its vector with Y_1[1] and is multiplied by (1, 0)
//                (so an infinite input can turn into NaN there, as the arithmetic says);
//   second pass  the N2-point DFT over j of [Y_j[k1], Y_j[k1 + 1]], stored in natural order.
// Eight-point butterflies take sqrt(1/2) d1 -+ sqrt(1/2) d3 and never a complex product.
//
// Slot 4 rounds every product; a scaled member multiplies the inputs (orders 3 to 6) or the
// outputs (orders 0 to 2). Slot 5 fuses: the twiddle as fma(v, C, round(swap(v) S)), the odd
// half of the eight-point butterfly as R = round(c d3), fma(d1, c, -+R), and a scaled member of
// order 3 to 6 folds the scale into its first layer, v = round(s z[k + M/2]) and
// fma(z[k], s, +-v). Every input is loaded before the first store, so dst may be src.
//
// The twiddle magnitudes are |cos(2 pi k / 64)|, k = 0 .. 16, as literals: cos() in double does
// not give all of them, and k = 13 and 14 are held one unit in the last place low.
#pragma once

#include "dsp/fft/avx_core.h"

#include <stdint.h>
#include <string.h>

#include <type_traits>

namespace {
namespace avxkernels {

constexpr double kCos64[17] = {
    1.0,
    0.9951847266721969,
    0.9807852804032304,
    0.9569403357322088,
    0.9238795325112867,
    0.881921264348355,
    0.8314696123025452,
    0.773010453362737,
    0.7071067811865476,
    0.6343932841636455,
    0.5555702330196022,
    0.47139673682599764,
    0.3826834323650898,
    0.29028467725446233,
    0.19509032201612825,
    0.0980171403295606,
    0.0,
};

// cos(2 pi k / 64) and sin(2 pi k / 64) for any k, by the symmetries.
constexpr double cos64(int k) {
    k = ((k % 64) + 64) % 64;
    if (k <= 16) return kCos64[k];
    if (k <= 32) return -kCos64[32 - k];
    if (k <= 48) return -kCos64[k - 32];
    return kCos64[64 - k];
}
constexpr double sin64(int k) {
    return cos64(16 - k);
}

constexpr bool kFused = std::is_same<SlotArith, Rounded>::value == false;

// [a, b] times [w_64^Ka, w_64^Kb], the roots conjugated in the inverse.
template <Dir D, int Ka, int Kb>
DSP_FFT_INLINE V twiddlePair(V v) {
    constexpr int A = D == Dir::Fwd ? Ka : -Ka, B = D == Dir::Fwd ? Kb : -Kb;
    const V c = vsetLanes(cos64(A), cos64(A), cos64(B), cos64(B));
    const V s = vsetLanes(sin64(A), -sin64(A), sin64(B), -sin64(B));
    return SlotArith::mulAdd(v, c, vswapPairs(v) * s);
}

// The first layer's sum and difference x +- y; with a folded scale (slot 5's scaled members)
// fma(x, s, +-round(s y)).
template <bool Fold>
DSP_FFT_INLINE void firstLayer(V x, V y, V s, V& sum, V& diff) {
    if constexpr (Fold) {
        const V v = s * y;
        sum = SlotArith::mulAdd(x, s, v);
        diff = SlotArith::mulSub(x, s, v);
    } else {
        sum = x + y;
        diff = x - y;
    }
}

// The four-point DFT of a[0..3] in place: s = a0 + a2, d = a0 - a2, t = a1 + a3, u = a1 - a3;
// X0 = s + t, X2 = s - t, X1 = d + (-i) u, X3 = d - (-i) u.
template <Dir D, bool Fold = false>
DSP_FFT_INLINE void dft4(V* a, V sc = V()) {
    V s, d, t, u;
    firstLayer<Fold>(a[0], a[2], sc, s, d);
    firstLayer<Fold>(a[1], a[3], sc, t, u);
    u = turn<D>(u);
    a[0] = s + t;
    a[2] = s - t;
    a[1] = d + u;
    a[3] = d - u;
}

// The eight-point DFT of a[0..7] in place.
template <Dir D, bool Fold = false>
DSP_FFT_INLINE void dft8(V* a, V sc = V()) {
    V s[4], d[4];
    for (int r = 0; r < 4; ++r) firstLayer<Fold>(a[r], a[r + 4], sc, s[r], d[r]);
    dft4<D>(s);
    const V c = vset(kCos64[8]);
    const V r3 = d[3] * c;
    const V p = SlotArith::mulAdd(d[1], c, vneg(r3)), q = SlotArith::mulAdd(d[1], c, r3);
    const V e = d[0] + p, f = turn<D>(d[2] + q);
    const V g = d[0] - p, h = turn<D>(d[2] - q);
    for (int k = 0; k < 4; ++k) a[2 * k] = s[k];
    a[1] = e + f;
    a[7] = e - f;
    a[5] = g + h;
    a[3] = g - h;
}

template <Dir D, int N, bool Fold = false>
DSP_FFT_INLINE void dftN(V* a, V sc = V()) {
    if constexpr (N == 2) {
        V s, d;
        firstLayer<Fold>(a[0], a[1], sc, s, d);
        a[0] = s;
        a[1] = d;
    } else if constexpr (N == 4) {
        dft4<D, Fold>(a, sc);
    } else {
        dft8<D, Fold>(a, sc);
    }
}

template <bool Aligned>
DSP_FFT_INLINE V loadPair(const double* p) {
    if constexpr (Aligned) {
        return vload(p);
    } else {
        return vloadHalves(p, p + 2);
    }
}
template <bool Aligned>
DSP_FFT_INLINE void storePair(double* p, V v) {
    if constexpr (Aligned) {
        vstore(p, v);
    } else {
        vstoreHalves(p, p + 2, v);
    }
}

// The member of M = 2^m points, m = 3 .. 6. The twiddled first-pass values go through a small
// aligned buffer between the passes: with 16 registers the compiler would otherwise spill the
// whole transform at random. Every input is read in the first pass and dst is written only in
// the second, so dst may be src.
template <Dir D, int m, bool Scaled, bool Aligned>
DSP_FFT_INLINE void pairKernel(const double* src, double* dst, double scale) {
    constexpr int M = 1 << m, N1 = m == 6 ? 8 : 4, N2 = M / N1, H = N2 / 2, Q = N1 / 2;
    constexpr bool kFold = Scaled && kFused;
    constexpr int K = 64 / M;  // w_M^e = w_64^(e K)
    const V sc = vset(scale);
    // t[j][q] = [Y_j[2q], Y_j[2q + 1]] at stage + 4 (j Q + q).
    alignas(32) double stage[2 * M];
    unroll<H>([&](auto jp) {
        // First pass of the column pair (2 jp, 2 jp + 1): Y[k1] = [Y_2jp[k1], Y_2jp+1[k1]].
        V y[N1];
        unroll<N1>([&](auto r) {
            y[r] = loadPair<Aligned>(src + 4 * (jp + H * r));
            if constexpr (Scaled && !kFold) y[r] = y[r] * sc;
        });
        dftN<D, N1, kFold>(y, sc);
        // Twiddles around the transposition of each 2 x 2 block.
        unroll<Q>([&](auto q) {
            constexpr int j = 2 * decltype(jp)::value, k1 = 2 * decltype(q)::value;
            V a = y[k1], b = y[k1 + 1];
            if constexpr (k1 == 0 && j > 0) b = twiddlePair<D, K * j, K*(j + 1)>(b);
            V lo = vjoinLow(a, b), hi = vjoinHigh(a, b);
            if constexpr (j == 0) {
                hi = twiddlePair<D, K * k1, K*(k1 + 1)>(hi);
            } else if constexpr (k1 > 0) {
                lo = twiddlePair<D, K * j * k1, K * j*(k1 + 1)>(lo);
                hi = twiddlePair<D, K*(j + 1) * k1, K*(j + 1) * (k1 + 1)>(hi);
            }
            vstoreu(stage + 4 * (j * Q + q), lo);
            vstoreu(stage + 4 * ((j + 1) * Q + q), hi);
        });
    });
    // Second pass, stored as the output pairs q + Q k2.
    unroll<Q>([&](auto q) {
        V v[N2];
        unroll<N2>([&](auto j) { v[j] = vloadu(stage + 4 * (j * Q + q)); });
        dftN<D, N2>(v);
        unroll<N2>([&](auto k2) { storePair<Aligned>(dst + 4 * (q + Q * k2), v[k2]); });
    });
}

template <Dir D, int m, bool Scaled>
DSP_FFT_INLINE void member(const double* src, double* dst, double scale) {
    if constexpr (m == 0) {
        if (!Scaled) {
            memmove(dst, src, 2 * sizeof(double));
        } else {
            hstoreu(dst, hloadu(src) * hset(scale));
        }
    } else if constexpr (m == 1) {
        const VH a = hloadu(src), b = hloadu(src + 2);
        VH x0 = a + b, x1 = a - b;
        if (Scaled) {
            x0 = x0 * hset(scale);
            x1 = x1 * hset(scale);
        }
        hstoreu(dst, x0);
        hstoreu(dst + 2, x1);
    } else if constexpr (m == 2) {
        // Both alignments take the same 128-bit accesses.
        VH a[4];
        for (int k = 0; k < 4; ++k) a[k] = hloadu(src + 2 * k);
        const VH s = a[0] + a[2], d = a[0] - a[2];
        const VH t = a[1] + a[3];
        const VH u =
            D == Dir::Fwd ? vnegIm(vswapPairs(a[1] - a[3])) : vnegRe(vswapPairs(a[1] - a[3]));
        VH x[4] = {s + t, d + u, s - t, d - u};
        for (int k = 0; k < 4; ++k) {
            if (Scaled) x[k] = x[k] * hset(scale);
            hstoreu(dst + 2 * k, x[k]);
        }
    } else if ((reinterpret_cast<uintptr_t>(src) & 31) == 0 &&
               (reinterpret_cast<uintptr_t>(dst) & 31) == 0) {
        pairKernel<D, m, Scaled, true>(src, dst, scale);
    } else {
        pairKernel<D, m, Scaled, false>(src, dst, scale);
    }
}

}  // namespace avxkernels

// The member of complex order m (M = 2^m points) in direction D, scaled or not.
template <Dir D, int m, bool Scaled>
DSP_FFT_INLINE void avxComplexKernel(const double* src, double* dst, double scale) {
    avxkernels::member<D, m, Scaled>(src, dst, scale);
}

}  // namespace
