// The complex small-order kernels of slots 4 and 5 (kernel tables T2 and T3, dsp/fft/kernels.h),
// forward and inverse from one template over the direction (the inverse conjugates every root):
// slot 4 owns complex orders 0 to 6, slot 5 orders 2 to 6 (its tables take slot 4's 0 and 1).
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
#include "dsp/fft/avx_core.h"
#include "dsp/fft/kernels.h"
#include "dsp/slot.h"

#include <stdint.h>
#include <string.h>

#include <type_traits>

namespace {

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

DSP_FFT_INLINE Vd swapParts(Vd v) {
    return _mm256_permute_pd(v, 0x5);
}
// -i (forward) or +i (inverse) times both values: (im, -re) or (-im, re).
template <Dir D>
DSP_FFT_INLINE Vd minusI(Vd v) {
    const Vd mask =
        D == Dir::Fwd ? _mm256_setr_pd(0.0, -0.0, 0.0, -0.0) : _mm256_setr_pd(-0.0, 0.0, -0.0, 0.0);
    return _mm256_xor_pd(swapParts(v), mask);
}

// [a, b] times [w_64^Ka, w_64^Kb], the roots conjugated in the inverse.
template <Dir D, int Ka, int Kb>
DSP_FFT_INLINE Vd twiddlePair(Vd v) {
    constexpr int A = D == Dir::Fwd ? Ka : -Ka, B = D == Dir::Fwd ? Kb : -Kb;
    const Vd c = _mm256_setr_pd(cos64(A), cos64(A), cos64(B), cos64(B));
    const Vd s = _mm256_setr_pd(sin64(A), -sin64(A), sin64(B), -sin64(B));
    return SlotArith::mulAdd(v, c, vMul(swapParts(v), s));
}

// The first layer's sum and difference x +- y; with a folded scale (slot 5's scaled members)
// fma(x, s, +-round(s y)).
template <bool Fold>
DSP_FFT_INLINE void firstLayer(Vd x, Vd y, Vd s, Vd& sum, Vd& diff) {
    if constexpr (Fold) {
        const Vd v = vMul(s, y);
        sum = _mm256_fmadd_pd(x, s, v);
        diff = _mm256_fmsub_pd(x, s, v);
    } else {
        sum = vAdd(x, y);
        diff = vSub(x, y);
    }
}

// The four-point DFT of a[0..3] in place: s = a0 + a2, d = a0 - a2, t = a1 + a3, u = a1 - a3;
// X0 = s + t, X2 = s - t, X1 = d + (-i) u, X3 = d - (-i) u.
template <Dir D, bool Fold = false>
DSP_FFT_INLINE void dft4(Vd* a, Vd sc = Vd()) {
    Vd s, d, t, u;
    firstLayer<Fold>(a[0], a[2], sc, s, d);
    firstLayer<Fold>(a[1], a[3], sc, t, u);
    u = minusI<D>(u);
    a[0] = vAdd(s, t);
    a[2] = vSub(s, t);
    a[1] = vAdd(d, u);
    a[3] = vSub(d, u);
}

// The eight-point DFT of a[0..7] in place.
template <Dir D, bool Fold = false>
DSP_FFT_INLINE void dft8(Vd* a, Vd sc = Vd()) {
    Vd s[4], d[4];
    for (int r = 0; r < 4; ++r) firstLayer<Fold>(a[r], a[r + 4], sc, s[r], d[r]);
    dft4<D>(s);
    const Vd c = _mm256_set1_pd(kCos64[8]);
    const Vd r3 = vMul(d[3], c);
    const Vd p = SlotArith::mulAdd(d[1], c, vNeg(r3)), q = SlotArith::mulAdd(d[1], c, r3);
    const Vd e = vAdd(d[0], p), f = minusI<D>(vAdd(d[2], q));
    const Vd g = vSub(d[0], p), h = minusI<D>(vSub(d[2], q));
    for (int k = 0; k < 4; ++k) a[2 * k] = s[k];
    a[1] = vAdd(e, f);
    a[7] = vSub(e, f);
    a[5] = vAdd(g, h);
    a[3] = vSub(g, h);
}

template <Dir D, int N, bool Fold = false>
DSP_FFT_INLINE void dftN(Vd* a, Vd sc = Vd()) {
    if constexpr (N == 2) {
        Vd s, d;
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
DSP_FFT_INLINE Vd loadPair(const double* p) {
    if constexpr (Aligned) {
        return _mm256_load_pd(p);
    } else {
        return _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(p)), _mm_loadu_pd(p + 2),
                                    1);
    }
}
template <bool Aligned>
DSP_FFT_INLINE void storePair(double* p, Vd v) {
    if constexpr (Aligned) {
        _mm256_store_pd(p, v);
    } else {
        _mm_storeu_pd(p, _mm256_castpd256_pd128(v));
        _mm_storeu_pd(p + 2, _mm256_extractf128_pd(v, 1));
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
    const Vd sc = _mm256_set1_pd(scale);
    // t[j][q] = [Y_j[2q], Y_j[2q + 1]] at stage + 4 (j Q + q).
    alignas(32) double stage[2 * M];
    unroll<H>([&](auto jp) {
        // First pass of the column pair (2 jp, 2 jp + 1): Y[k1] = [Y_2jp[k1], Y_2jp+1[k1]].
        Vd y[N1];
        unroll<N1>([&](auto r) {
            y[r] = loadPair<Aligned>(src + 4 * (jp + H * r));
            if constexpr (Scaled && !kFold) y[r] = vMul(y[r], sc);
        });
        dftN<D, N1, kFold>(y, sc);
        // Twiddles around the transposition of each 2 x 2 block.
        unroll<Q>([&](auto q) {
            constexpr int j = 2 * decltype(jp)::value, k1 = 2 * decltype(q)::value;
            Vd a = y[k1], b = y[k1 + 1];
            if constexpr (k1 == 0 && j > 0) b = twiddlePair<D, K * j, K*(j + 1)>(b);
            Vd lo = _mm256_permute2f128_pd(a, b, 0x20), hi = _mm256_permute2f128_pd(a, b, 0x31);
            if constexpr (j == 0) {
                hi = twiddlePair<D, K * k1, K*(k1 + 1)>(hi);
            } else if constexpr (k1 > 0) {
                lo = twiddlePair<D, K * j * k1, K * j*(k1 + 1)>(lo);
                hi = twiddlePair<D, K*(j + 1) * k1, K*(j + 1) * (k1 + 1)>(hi);
            }
            _mm256_storeu_pd(stage + 4 * (j * Q + q), lo);
            _mm256_storeu_pd(stage + 4 * ((j + 1) * Q + q), hi);
        });
    });
    // Second pass, stored as the output pairs q + Q k2.
    unroll<Q>([&](auto q) {
        Vd v[N2];
        unroll<N2>([&](auto j) { v[j] = _mm256_loadu_pd(stage + 4 * (j * Q + q)); });
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
            _mm_storeu_pd(dst, _mm_mul_pd(_mm_loadu_pd(src), _mm_set1_pd(scale)));
        }
    } else if constexpr (m == 1) {
        const __m128d a = _mm_loadu_pd(src), b = _mm_loadu_pd(src + 2);
        __m128d x0 = _mm_add_pd(a, b), x1 = _mm_sub_pd(a, b);
        if (Scaled) {
            x0 = _mm_mul_pd(x0, _mm_set1_pd(scale));
            x1 = _mm_mul_pd(x1, _mm_set1_pd(scale));
        }
        _mm_storeu_pd(dst, x0);
        _mm_storeu_pd(dst + 2, x1);
    } else if constexpr (m == 2) {
        // Both alignments take the same 128-bit accesses.
        __m128d a[4];
        for (int k = 0; k < 4; ++k) a[k] = _mm_loadu_pd(src + 2 * k);
        const __m128d s = _mm_add_pd(a[0], a[2]), d = _mm_sub_pd(a[0], a[2]);
        const __m128d t = _mm_add_pd(a[1], a[3]);
        const __m128d u =
            _mm_xor_pd(_mm_shuffle_pd(_mm_sub_pd(a[1], a[3]), _mm_sub_pd(a[1], a[3]), 1),
                       D == Dir::Fwd ? _mm_setr_pd(0.0, -0.0) : _mm_setr_pd(-0.0, 0.0));
        __m128d x[4] = {_mm_add_pd(s, t), _mm_add_pd(d, u), _mm_sub_pd(s, t), _mm_sub_pd(d, u)};
        for (int k = 0; k < 4; ++k) {
            if (Scaled) x[k] = _mm_mul_pd(x[k], _mm_set1_pd(scale));
            _mm_storeu_pd(dst + 2 * k, x[k]);
        }
    } else if ((reinterpret_cast<uintptr_t>(src) & 31) == 0 &&
               (reinterpret_cast<uintptr_t>(dst) & 31) == 0) {
        pairKernel<D, m, Scaled, true>(src, dst, scale);
    } else {
        pairKernel<D, m, Scaled, false>(src, dst, scale);
    }
}

}  // namespace

#define DSP_FFT_AVX_T2(k)                                                                          \
    void DSP_CALL DSP_SLOT_NAME(dspComplexFftFwdKernelScaledOrder##k)(const double* src,           \
                                                                      double* dst, double scale) { \
        member<Dir::Fwd, k, true>(src, dst, scale);                                                \
    }
#define DSP_FFT_AVX_T3(k)                                                                         \
    void DSP_CALL DSP_SLOT_NAME(dspComplexFftFwdKernelOrder##k)(const double* src, double* dst) { \
        member<Dir::Fwd, k, false>(src, dst, 1.0);                                                \
    }
// The inverse members (exponent +), orders 2 to 6; orders 0 and 1 are the forward's.
#define DSP_FFT_AVX_INV_T2(k)                                                                      \
    void DSP_CALL DSP_SLOT_NAME(dspComplexFftInvKernelScaledOrder##k)(const double* src,           \
                                                                      double* dst, double scale) { \
        member<Dir::Inv, k, true>(src, dst, scale);                                                \
    }
#define DSP_FFT_AVX_INV_T3(k)                                                                     \
    void DSP_CALL DSP_SLOT_NAME(dspComplexFftInvKernelOrder##k)(const double* src, double* dst) { \
        member<Dir::Inv, k, false>(src, dst, 1.0);                                                \
    }

extern "C" {

// clang-format off
#if DSP_SLOT == 4
DSP_FFT_AVX_T2(0) DSP_FFT_AVX_T2(1)
DSP_FFT_AVX_T3(0) DSP_FFT_AVX_T3(1)
#endif
DSP_FFT_AVX_T2(2) DSP_FFT_AVX_T2(3) DSP_FFT_AVX_T2(4) DSP_FFT_AVX_T2(5) DSP_FFT_AVX_T2(6)
DSP_FFT_AVX_T3(2) DSP_FFT_AVX_T3(3) DSP_FFT_AVX_T3(4) DSP_FFT_AVX_T3(5) DSP_FFT_AVX_T3(6)
DSP_FFT_AVX_INV_T2(2) DSP_FFT_AVX_INV_T2(3) DSP_FFT_AVX_INV_T2(4) DSP_FFT_AVX_INV_T2(5)
DSP_FFT_AVX_INV_T2(6)
DSP_FFT_AVX_INV_T3(2) DSP_FFT_AVX_INV_T3(3) DSP_FFT_AVX_INV_T3(4) DSP_FFT_AVX_INV_T3(5)
DSP_FFT_AVX_INV_T3(6)
// clang-format on

}  // extern "C"
