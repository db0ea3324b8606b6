// The generator of the straight-line kernels of the small orders: complex DFTs of 1 to 32 points
// (kernel tables T2 and T3) and real DFTs of 1 to 32 samples in the packed Perm layout (T0 and
// T1). Everything is unrolled at compile time, so each kernel is branch-free code whose only
// constants are the literal twiddles of dsp/fft/radix.h.
//
// A complex kernel of M = 2^m points is fixed by its steps: m = 0 a copy, m = 1 a two-point
// butterfly, m = 2 a four-point butterfly, m = 3, 4, 5 are N1 x N2 = 4 x 2, 4 x 4, 4 x 8:
// four-point butterflies over the columns z[j + N2 r], the factors w_M^(j k1), then an N2-point DFT
// per k1 (the eight-point one as two four-point butterflies and the factors w_8^k), giving Z[k1 + 4
// k2]. Every input is read before any output is written, so dst may equal src.
//
// The arithmetic families:
//   ScalarFamily      slot 0 (x87) and slot 2 (double): one value per Cx<FftReal>; a scaled
//                     kernel multiplies the sums and differences of its first step.
//   PairFamily<Acc>   slots 1, 2n and 3: one value per 128-bit vector; a scaled kernel multiplies
//                     each final value just before it is stored, and at 32 points the eighth
//                     turns of the middle step are general products. Acc chooses aligned or
//                     unaligned moves; both give the same bits.
// Both families compute every product and sum in the same form (dsp/fft/radix.h), so they
// differ only where just said.
#pragma once

#include "dsp/bits.h"
#include "dsp/fft/radix.h"

#include <stdint.h>
#include <string.h>

namespace {

struct ScalarFamily {
    using C = Cx<FftReal>;
    using S = FftReal;
    static constexpr bool kScaleFirst = true;
    static constexpr bool kGeneralMiddleEighths = false;
    // The caller's arrays may lie at any byte address.
    DSP_FFT_INLINE static C load(const double* p, int64_t k) {
        return {ld1(p + 2 * k), ld1(p + 2 * k + 1)};
    }
    DSP_FFT_INLINE static void store(double* p, int64_t k, C x) {
        st1(p + 2 * k, static_cast<double>(x.re));
        st1(p + 2 * k + 1, static_cast<double>(x.im));
    }
    DSP_FFT_INLINE static S scalar(double x) { return x; }
    template <Dir D>
    DSP_FFT_INLINE static C general(C a, double wr, double wi) {
        return twiddle<D>(a, C{wr, wi});
    }
    template <Dir D>
    DSP_FFT_INLINE static C w8(C a) {
        return timesW8<D>(a, S(kSqrtHalf));
    }
    template <Dir D>
    DSP_FFT_INLINE static C w8Cubed(C a) {
        return timesW8Cubed<D>(a, S(-kSqrtHalf));
    }
};

// The two-lane family exists where the vocabulary has two lanes (slots 1 to 3).
template <bool Aligned>
struct PairFamily;
#if DSP_SLOT >= 1 && DSP_SLOT <= 3
template <bool Aligned>
struct PairFamily {
    using C = Pc;
    using S = V;
    static constexpr bool kScaleFirst = false;
    static constexpr bool kGeneralMiddleEighths = true;
    DSP_FFT_INLINE static C load(const double* p, int64_t k) {
        return {Aligned ? vload(p + 2 * k) : vloadu(p + 2 * k)};
    }
    DSP_FFT_INLINE static void store(double* p, int64_t k, C x) {
        if (Aligned) {
            vstore(p + 2 * k, x.v);
        } else {
            vstoreu(p + 2 * k, x.v);
        }
    }
    DSP_FFT_INLINE static S scalar(double x) { return vset(x); }
    template <Dir D>
    DSP_FFT_INLINE static C general(C a, double wr, double wi) {
        return twiddle<D>(a, wr, wi);
    }
    template <Dir D>
    DSP_FFT_INLINE static C w8(C a) {
        return timesW8<D>(a, vset(kSqrtHalf));
    }
    template <Dir D>
    DSP_FFT_INLINE static C w8Cubed(C a) {
        return timesW8Cubed<D>(a, vset(-kSqrtHalf));
    }
};
#endif

// The four-point DFT of (a, b, c, d), in place and in natural order.
template <Dir D, class C>
DSP_FFT_INLINE void dft4(C& a, C& b, C& c, C& d) {
    radix4<D>(a, c, b, d);
    const C t = b;
    b = c;
    c = t;
}
template <Dir D, class C, class S>
DSP_FFT_INLINE void dft4Scaled(C& a, C& b, C& c, C& d, S scale) {
    radix4Scaled<D>(a, c, b, d, scale);
    const C t = b;
    b = c;
    c = t;
}

// x times w_M^E: nothing, exact turns, the eighth-turn forms or a general product.
template <class F, Dir D, int M, int E, bool MiddleOf32 = false>
DSP_FFT_INLINE typename F::C factor(typename F::C x) {
    constexpr int e = E % M;
    constexpr bool eighthsAsGeneral = MiddleOf32 && F::kGeneralMiddleEighths;
    if constexpr (e == 0) {
        return x;
    } else if constexpr (4 * e == M) {
        return rot<D>(x);
    } else if constexpr (4 * e == 3 * M) {
        return rot < D == Dir::Fwd ? Dir::Inv : Dir::Fwd > (x);
    } else if constexpr (8 * e == M && !eighthsAsGeneral) {
        return F::template w8<D>(x);
    } else if constexpr (8 * e == 3 * M && !eighthsAsGeneral) {
        return F::template w8Cubed<D>(x);
    } else {
        return F::template general<D>(x, wRe(M, e), wIm(M, e));
    }
}

// The N-point DFT (N = 1, 2, 4, 8) of v, in place, natural order, unscaled.
template <class F, Dir D, int N>
DSP_FFT_INLINE void dftN(typename F::C* v) {
    using C = typename F::C;
    if constexpr (N == 2) {
        const C a = v[0] + v[1], b = v[0] - v[1];
        v[0] = a;
        v[1] = b;
    } else if constexpr (N == 4) {
        dft4<D>(v[0], v[1], v[2], v[3]);
    } else if constexpr (N == 8) {
        C e[4] = {v[0], v[2], v[4], v[6]}, o[4] = {v[1], v[3], v[5], v[7]};
        dft4<D>(e[0], e[1], e[2], e[3]);
        dft4<D>(o[0], o[1], o[2], o[3]);
        o[1] = F::template w8<D>(o[1]);
        o[2] = rot<D>(o[2]);
        o[3] = F::template w8Cubed<D>(o[3]);
        unroll<4>([&](auto k) {
            v[k] = e[k] + o[k];
            v[k + 4] = e[k] - o[k];
        });
    }
}

// The complex kernel of M = 2^m points; Scaled multiplies by scale where the family says.
template <class F, Dir D, int m, bool Scaled>
DSP_FFT_INLINE void complexKernel(const double* src, double* dst, double scale) {
    using C = typename F::C;
    constexpr int M = 1 << m;
    if constexpr (m == 0 && !Scaled) {
        // A copy moves bits: an x87 load would quiet a signalling NaN.
        memmove(dst, src, 2 * sizeof(double));
        return;
    }
    C z[M];
    unroll<M>([&](auto n) { z[n] = F::load(src, n); });
    const auto s = F::scalar(scale);
    if constexpr (m == 0) {
        if (Scaled) z[0] = scaledBy(z[0], s);
    } else if constexpr (m == 1) {
        // The sums of the first step are the results: both families scale them.
        const C a = z[0] + z[1], b = z[0] - z[1];
        z[0] = Scaled ? scaledBy(a, s) : a;
        z[1] = Scaled ? scaledBy(b, s) : b;
    } else if constexpr (m == 2) {
        if constexpr (Scaled && F::kScaleFirst) {
            dft4Scaled<D>(z[0], z[1], z[2], z[3], s);
        } else {
            dft4<D>(z[0], z[1], z[2], z[3]);
        }
    } else {
        constexpr int N2 = M / 4;
        C a[4][N2];  // a[k1][j]
        unroll<N2>([&](auto j) {
            C x0 = z[j], x1 = z[j + N2], x2 = z[j + 2 * N2], x3 = z[j + 3 * N2];
            if constexpr (Scaled && F::kScaleFirst) {
                dft4Scaled<D>(x0, x1, x2, x3, s);
            } else {
                dft4<D>(x0, x1, x2, x3);
            }
            a[0][j] = x0;
            a[1][j] = x1;
            a[2][j] = x2;
            a[3][j] = x3;
        });
        unroll<4>([&](auto k1) {
            unroll<N2>([&](auto j) {
                a[k1][j] =
                    factor<F, D, M, decltype(j)::value* decltype(k1)::value, M == 32>(a[k1][j]);
            });
            dftN<F, D, N2>(a[k1]);
            unroll<N2>([&](auto k2) { z[k1 + 4 * k2] = a[k1][k2]; });
        });
    }
    if constexpr (Scaled && !F::kScaleFirst && m >= 2) {
        unroll<M>([&](auto k) { z[k] = scaledBy(z[k], s); });
    }
    unroll<M>([&](auto k) { F::store(dst, k, z[k]); });
}

// ---------------------------------------------------------------------------------------------
// Real kernels: the DFT of 2^k real samples into the Perm layout (X[0], X[N/2], Re X[1],
// Im X[1], ..., Re X[N/2-1], Im X[N/2-1]), in FftReal. ScaleFirst (slots 0 and 2) multiplies the
// sums and differences of the first stage, otherwise (slots 1 to 5) the outputs are multiplied
// as they are stored. All inputs are read before the first output is written.

using Rc = Cx<FftReal>;

template <bool ScaleFirst>
struct RealScale {
    bool on;
    FftReal s;
    FftReal first(FftReal x) const { return ScaleFirst && on ? x * s : x; }
    FftReal last(FftReal x) const { return !ScaleFirst && on ? x * s : x; }
};

// Four samples: from x0 +- x2, x1 + x3 and x3 - x1.
template <class Sc>
DSP_FFT_INLINE void realDft4(const FftReal* x, FftReal* out, Sc sc) {
    const FftReal s0 = sc.first(x[0] + x[2]), d0 = sc.first(x[0] - x[2]);
    const FftReal s1 = sc.first(x[1] + x[3]), e1 = sc.first(x[3] - x[1]);
    out[0] = s0 + s1;
    out[1] = s0 - s1;
    out[2] = d0;
    out[3] = e1;
}

// Eight samples, from the sums and differences of inputs four apart.
template <class Sc>
DSP_FFT_INLINE void realDft8(const FftReal* x, FftReal* out, Sc sc) {
    const FftReal a = sc.first(x[0] + x[4]), b = sc.first(x[0] - x[4]);
    const FftReal c = sc.first(x[2] + x[6]), d = sc.first(x[2] - x[6]);
    const FftReal e = sc.first(x[1] + x[5]), f = sc.first(x[1] - x[5]);
    const FftReal g = sc.first(x[3] + x[7]), h = sc.first(x[3] - x[7]);
    const FftReal t = (f - h) * FftReal(kSqrtHalf), u = (f + h) * FftReal(-kSqrtHalf);
    const FftReal ac = a + c, eg = e + g;
    out[0] = ac + eg;
    out[1] = ac - eg;
    out[2] = b + t;
    out[3] = u - d;
    out[4] = a - c;
    out[5] = g - e;
    out[6] = b - t;
    out[7] = d + u;
}

// N = 16 or 32 by one radix-4 step of decimation in frequency: for n0 < K = N/4, the four-point
// DFT of x[n0 + K r] gives the real y0 and y2 and the complex y1 (y3 is its conjugate); then
// X[4q] is the real K-point DFT of y0, X[4q + 2] the K-point DFT of y2[n0] w_N^(2 n0), and
// X[4q + 1] that of y1[n0] w_N^n0, whose conjugates are the X[4q + 3] of the lower half.
template <int N, class Sc, class F = ScalarFamily>
DSP_FFT_INLINE void realDftDif(const FftReal* x, FftReal* out, Sc sc) {
    constexpr int K = N / 4;
    FftReal y0[K], y2[K];
    Rc u[K], v[K];
    unroll<K>([&](auto n0) {
        const FftReal s0 = sc.first(x[n0] + x[n0 + 2 * K]), d0 = sc.first(x[n0] - x[n0 + 2 * K]);
        const FftReal s1 = sc.first(x[n0 + K] + x[n0 + 3 * K]);
        const FftReal d1 = sc.first(x[n0 + K] - x[n0 + 3 * K]);
        y0[n0] = s0 + s1;
        y2[n0] = s0 - s1;
        const Rc y1 = {d0, -d1};
        u[n0] = factor<F, Dir::Fwd, N, decltype(n0)::value>(y1);
        if constexpr (decltype(n0)::value == 0) {
            v[n0] = {y2[n0], FftReal(0)};
        } else {
            constexpr int e = 2 * decltype(n0)::value;
            v[n0] = {y2[n0] * FftReal(wRe(N, e)), y2[n0] * FftReal(wIm(N, e))};
        }
    });
    FftReal p0[K];
    const RealScale<true> none{false, 1};
    if constexpr (K == 4) {
        realDft4(y0, p0, none);
    } else {
        realDft8(y0, p0, none);
    }
    dftN<F, Dir::Fwd, K>(u);
    dftN<F, Dir::Fwd, K>(v);
    out[0] = p0[0];
    out[1] = p0[1];
    unroll<K / 2>([&](auto q) {
        if constexpr (q > 0) {
            out[8 * q] = p0[2 * q];
            out[8 * q + 1] = p0[2 * q + 1];
        }
        out[8 * q + 2] = u[q].re;  // X[4q + 1]
        out[8 * q + 3] = u[q].im;
        out[8 * q + 4] = v[q].re;  // X[4q + 2]
        out[8 * q + 5] = v[q].im;
        out[8 * q + 6] = u[K - 1 - q].re;  // X[4q + 3] = conj X[N - 4q - 3]
        out[8 * q + 7] = -u[K - 1 - q].im;
    });
}

// F: the family whose general products the larger orders take (slot 5 fuses them).
template <bool ScaleFirst, int k, bool Scaled, class F = ScalarFamily>
DSP_FFT_INLINE void realKernel(const double* src, double* dst, double scale) {
    constexpr int N = 1 << k;
    if constexpr (k == 0 && !Scaled) {
        memmove(dst, src, sizeof(double));
        return;
    }
    FftReal x[N], out[N];
    unroll<N>([&](auto n) { x[n] = ld1(src + n); });
    const RealScale<ScaleFirst> sc{Scaled, scale};
    if constexpr (k == 0) {
        out[0] = Scaled ? x[0] * sc.s : x[0];
    } else if constexpr (k == 1) {
        out[0] = Scaled ? (x[0] + x[1]) * sc.s : x[0] + x[1];
        out[1] = Scaled ? (x[0] - x[1]) * sc.s : x[0] - x[1];
    } else if constexpr (k == 2) {
        realDft4(x, out, sc);
    } else if constexpr (k == 3) {
        realDft8(x, out, sc);
    } else {
        realDftDif<N, RealScale<ScaleFirst>, F>(x, out, sc);
    }
    unroll<N>(
        [&](auto i) { st1(dst + i, static_cast<double>(k <= 1 ? out[i] : sc.last(out[i]))); });
}

// ---------------------------------------------------------------------------------------------
// Inverse real kernels: N = 2^k values in the Perm layout (X[0], X[N/2], Re X[1], Im X[1], ..)
// to the N samples x[t] = X[0] + (-1)^t X[N/2] + 2 Re sum_{0<j<N/2} X[j] e^(+2 pi i j t / N),
// in natural order, by split radix in decimation in frequency, in FftReal:
//   A = X[0] + X[M/2], B = X[0] - X[M/2], C = 2 Re X[M/4], D = 2 Im X[M/4], and for 0 < j < M/4
//   with its mirror l = M/2 - j: Y[j] = X[j] + conj X[l], Z[j] = X[j] - conj X[l];
//   the even samples are the inverse of half the length with DC A, Nyquist C and bins Y;
//   the samples 4t + 1 and 4t + 3 those of a quarter of the length with DC B - D and B + D and
//   bins (Z[j] - i conj Z[M/4 - j]) e^(+2 pi i j / M) and (Z[j] + i conj Z[M/4 - j])
//   e^(+2 pi i 3j / M), whose Nyquist bins are sqrt 2 (Re - Im) and -sqrt 2 (Re + Im) of
//   Z[M/8]. Doublings are additions. The scale multiplies the first stage only (N products), so
//   a scale of 1 gives the unscaled bits and a power of two scales them exactly. Fused (slot 5)
//   rounds each rotation's product sums once.

constexpr double kSqrtTwo = 1.4142135623730951;

template <bool Fused>
struct RealInv {
    // a e^(+i alpha) with (c, ms) = (cos alpha, -sin alpha) as the literals give them.
    DSP_FFT_INLINE static Rc rotate(Rc a, double c, double ms) {
        const FftReal wc = c, ws = ms;
        if constexpr (Fused) {
            return {mulAdd<true>(a.re, wc, a.im * ws), mulAdd<true>(a.im, wc, negPart(a.re * ws))};
        } else {
            return twiddle<Dir::Inv>(a, Rc{wc, ws});
        }
    }

    // The first stage of M points from DC, Nyquist and bins y[1 .. M/2 - 1], times s if Scaled.
    template <int M, bool Scaled>
    DSP_FFT_INLINE static void split(FftReal dc, FftReal nyq, const Rc* y, FftReal s, FftReal& A,
                                     FftReal& B, FftReal& C, FftReal& D, Rc* Y, Rc* Z) {
        const auto sc = [&](FftReal x) { return Scaled ? x * s : x; };
        A = sc(dc + nyq);
        B = sc(dc - nyq);
        C = sc(y[M / 4].re + y[M / 4].re);
        D = sc(y[M / 4].im + y[M / 4].im);
        unroll<M / 4>([&](auto j) {
            if constexpr (j > 0) {
                const Rc a = y[j], b = y[M / 2 - j];
                Y[j] = {sc(a.re + b.re), sc(a.im - b.im)};
                Z[j] = {sc(a.re - b.re), sc(a.im + b.im)};
            }
        });
    }

    // The samples out[Off + St t], t < M, after the first stage.
    template <int M, int St, int Off>
    DSP_FFT_INLINE static void rest(FftReal A, FftReal B, FftReal C, FftReal D, const Rc* Y,
                                    const Rc* Z, FftReal* out) {
        if constexpr (M == 4) {
            out[Off] = A + C;
            out[Off + 2 * St] = A - C;
            out[Off + St] = B - D;
            out[Off + 3 * St] = B + D;
        } else {
            stage<M / 2, 2 * St, Off>(A, C, Y, out);
            constexpr int Q = M / 8;
            Rc P[Q > 1 ? Q : 1], R[Q > 1 ? Q : 1];
            unroll<Q>([&](auto j) {
                if constexpr (j > 0) {
                    const Rc z = Z[j], w = Z[M / 4 - j];
                    P[j] = rotate({z.re - w.im, z.im - w.re}, wRe(M, j), wIm(M, j));
                    R[j] = rotate({z.re + w.im, z.im + w.re}, wRe(M, 3 * j), wIm(M, 3 * j));
                }
            });
            const Rc mid = Z[Q];
            const FftReal pn = (mid.re - mid.im) * FftReal(kSqrtTwo);
            const FftReal rn = (mid.re + mid.im) * FftReal(-kSqrtTwo);
            stage<M / 4, 4 * St, Off + St>(B - D, pn, P, out);
            stage<M / 4, 4 * St, Off + 3 * St>(B + D, rn, R, out);
        }
    }

    // The M-point inverse from DC, Nyquist and bins y[1 .. M/2 - 1], unscaled.
    template <int M, int St, int Off>
    DSP_FFT_INLINE static void stage(FftReal dc, FftReal nyq, const Rc* y, FftReal* out) {
        if constexpr (M == 2) {
            out[Off] = dc + nyq;
            out[Off + St] = dc - nyq;
        } else {
            FftReal A, B, C, D;
            Rc Y[M / 4], Z[M / 4];
            split<M, false>(dc, nyq, y, 1, A, B, C, D, Y, Z);
            rest<M, St, Off>(A, B, C, D, Y, Z, out);
        }
    }
};

// Orders 2 to 5; orders 0 and 1 are the forward kernels.
template <bool Fused, int k, bool Scaled>
DSP_FFT_INLINE void realInvKernel(const double* src, double* dst, double scale) {
    static_assert(k >= 2 && k <= 5, "orders 2 to 5");
    constexpr int N = 1 << k;
    Rc y[N / 2];
    unroll<N / 2>([&](auto j) {
        if constexpr (j > 0) y[j] = {ld1(src + 2 * j), ld1(src + 2 * j + 1)};
    });
    const FftReal dc = ld1(src), nyq = ld1(src + 1);
    FftReal A, B, C, D, out[N];
    Rc Y[N / 4], Z[N / 4];
    RealInv<Fused>::template split<N, Scaled>(dc, nyq, y, scale, A, B, C, D, Y, Z);
    RealInv<Fused>::template rest<N, 1, 0>(A, B, C, D, Y, Z, out);
    unroll<N>([&](auto i) { st1(dst + i, static_cast<double>(out[i])); });
}

}  // namespace
