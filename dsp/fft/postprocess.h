// The recombinations of the real FFT, one walk for both directions over the spec's
// recombination tables (the forward table of the post-processing, the inverse table of the
// pre-processing). Each element m < h/2 is taken with its mirror h - m (h = N/2 values), from
// both ends inward, by the table entry of m; every step reads its inputs before it writes, so
// the pre-processing may run in place. The middle element h/2 is written last, exactly.
//
// Forward (post-processing): the half-length complex DFT Z of z[n] = x[2n] + i x[2n+1] (X[0] and
// X[N/2] already in place) becomes the spectrum X[1 .. h-1] in place; the middle is conjugated.
// Inverse (pre-processing): the spectrum X[1 .. h-1] of src becomes the half-length array Y of
// dst whose inverse complex DFT is x[2n] + i x[2n+1] (Y[0] is the body's); the middle is
// 2 conj X[h/2].
//
// One template over the table format and the level form:
//   PairFormat    one element per step in FftReal (slots 0 and 2); pairs by element
//   GroupFormat   kLanes elements per step in split vectors (slots 1, 2n, 3: two; 4, 5: four);
//                 groups (c m, c m+1, s m, s m+1) for m = 1, 3, ..
// Forward, one level (a table of (0.5 cos, 0.5 - 0.5 sin)):
//   D = a.re - b.re, S = a.im + b.im, T = c S + s D, U = s S - c D,
//   X[m] = (b.re + T, U - b.im), X[h-m] = (a.re - T, U - a.im);
// forward, two levels (512 fine and N/2048 coarse twiddles (cos, -sin), element m = 512 q + f,
// the fine index running 0..511 in pairs and 1..512 in groups):
//   w = coarse[q] fine[f], E, F, D, S = 0.5 (a.re + b.re, a.im - b.im, a.re - b.re, a.im + b.im),
//   G = w.im D + w.re S, H = w.im S - w.re D, X[m] = (E + G, F + H), X[h-m] = (E - G, H - F).
// Inverse, either level, with (p, q) = (cos, -sin) of 2 pi m / N (one level: the table's pair;
// two levels: coarse times fine), a = X[m], b = X[h-m]:
//   t1 = q (a.re - b.re) - p (a.im + b.im), t2 = p (a.re - b.re) + q (a.im + b.im),
//   Y[m] = (a.re + b.re + t1, a.im - b.im + t2), Y[h-m] = (a.re + b.re - t1, t2 - (a.im - b.im)).
// Slots 4 and 5 walk interleaved values instead (recombineForwardAvx, preprocessInverseAvx);
// slot 5 forms the inverse's t1, t2 and the two-level products with one rounding each:
//   t1 = fma(q, a.re - b.re, -(p (a.im + b.im))), t2 = fma(p, a.re - b.re, q (a.im + b.im)),
//   p = fma(pf, pc, -(qc qf)), q = fma(qf, pc, pf qc).
// The group forms meet the middle element paired with itself, where the product of two rounded
// twiddles misses -1 by an ulp at some orders; so every form writes it last from values read
// before the walk.
#pragma once

#include "dsp/bits.h"
#include "dsp/fft/radix.h"

#include <stdint.h>

namespace {

struct PairFormat {
    using T = FftReal;
    static constexpr int kLanes = 1;
    static T splat(double x) { return x; }
    static Cx<T> load(const double* d, int64_t k) { return {ld1(d + 2 * k), ld1(d + 2 * k + 1)}; }
    static Cx<T> loadMirror(const double* d, int64_t k) { return load(d, k); }
    static void store(double* d, int64_t k, Cx<T> x) {
        st1(d + 2 * k, static_cast<double>(x.re));
        st1(d + 2 * k + 1, static_cast<double>(x.im));
    }
    static void storeMirror(double* d, int64_t k, Cx<T> x) { store(d, k, x); }
    static void oneLevel(const double* t, int64_t m, T& c, T& s) {
        c = t[2 * m];
        s = t[2 * m + 1];
    }
    static void twoLevel(const double* t, int64_t m, Cx<T>& coarse, Cx<T>& fine) {
        const int64_t q = m >> 9, f = m & 511;
        coarse = {t[1024 + 2 * q], t[1025 + 2 * q]};
        fine = {t[2 * f], t[2 * f + 1]};
    }
};

struct GroupFormat;  // where the vocabulary has vectors (slots 1 to 5)
#if DSP_SLOT >= 1
struct GroupFormat {
    using T = V;
    static constexpr int kLanes = ::kLanes;
    static T splat(double x) { return vset(x); }
    // Elements k .. k + kLanes - 1 in lanes 0, 1, ..; the mirror form holds k, k-1, ...
    static Cx<T> load(const double* d, int64_t k) {
        Cx<T> x;
        vdeinterleave(d + 2 * k, x.re, x.im);
        return x;
    }
    static Cx<T> loadMirror(const double* d, int64_t k) {
        const Cx<T> x = load(d, k - (kLanes - 1));
        return {vreverse(x.re), vreverse(x.im)};
    }
    static void store(double* d, int64_t k, Cx<T> x) { vinterleave(d + 2 * k, x.re, x.im); }
    static void storeMirror(double* d, int64_t k, Cx<T> x) {
        vinterleave(d + 2 * (k - (kLanes - 1)), vreverse(x.re), vreverse(x.im));
    }
    // The cosines and sines of kLanes elements from the groups at t: one group of two, or two
    // groups (c0, c1, s0, s1, c2, c3, s2, s3) gathered into (c0 .. c3) and (s0 .. s3).
    static void groups(const double* t, T& c, T& s) {
        if constexpr (kLanes == 2) {
            c = vloadu(t);
            s = vloadu(t + 2);
        } else {
            T lo, hi;
            vdeinterleave(t, lo, hi);
            c = vunpackLo(lo, hi);
            s = vunpackHi(lo, hi);
        }
    }
    // The group of m (odd) starts at double 2 (m - 1).
    static void oneLevel(const double* t, int64_t m, T& c, T& s) { groups(t + 2 * (m - 1), c, s); }
    static void twoLevel(const double* t, int64_t m, Cx<T>& coarse, Cx<T>& fine) {
        const int64_t q = (m - 1) >> 9, f = m - 512 * q;
        coarse = {vset(t[1024 + 2 * q]), vset(t[1025 + 2 * q])};
        groups(t + 2 * (f - 1), fine.re, fine.im);
    }
};
#endif

// The twiddle of a two-level element: coarse times fine.
template <class Fmt>
DSP_FFT_INLINE Cx<typename Fmt::T> twoLevelTwiddle(const double* table, int64_t m) {
    Cx<typename Fmt::T> c, f;
    Fmt::twoLevel(table, m, c, f);
    return twiddle<Dir::Fwd>(c, f);
}

template <class Fmt, bool TwoLevel, Dir D>
void recombine(const double* src, double* dst, int64_t h, const double* table) {
    using T = typename Fmt::T;
    using C = Cx<T>;
    const double midRe = ld1(src + h), midIm = ld1(src + h + 1);
    [[maybe_unused]] const T half = Fmt::splat(0.5);
    for (int64_t m = 1; m < h / 2; m += Fmt::kLanes) {
        const C a = Fmt::load(src, m), b = Fmt::loadMirror(src, h - m);
        C x, y;
        if constexpr (D == Dir::Inv) {
            T p, q;
            if constexpr (TwoLevel) {
                const C w = twoLevelTwiddle<Fmt>(table, m);
                p = w.re;
                q = w.im;
            } else {
                Fmt::oneLevel(table, m, p, q);
            }
            const T sre = a.re + b.re, sim = a.im - b.im, dre = a.re - b.re, dim = a.im + b.im;
            const T t1 = q * dre + negPart(p * dim);
            const T t2 = p * dre + q * dim;
            x = {sre + t1, sim + t2};
            y = {sre - t1, t2 - sim};
        } else if constexpr (!TwoLevel) {
            T c, s;
            Fmt::oneLevel(table, m, c, s);
            const T d = a.re - b.re, sum = a.im + b.im;
            const T t = c * sum + s * d, u = s * sum - c * d;
            x = {b.re + t, u - b.im};
            y = {a.re - t, u - a.im};
        } else {
            const C w = twoLevelTwiddle<Fmt>(table, m);
            const T e = half * (a.re + b.re), f = half * (a.im - b.im);
            const T d = half * (a.re - b.re), sum = half * (a.im + b.im);
            const T g = w.im * d + w.re * sum, hh = w.im * sum - w.re * d;
            x = {e + g, f + hh};
            y = {e - g, hh - f};
        }
        Fmt::store(dst, m, x);
        Fmt::storeMirror(dst, h - m, y);
    }
    if constexpr (D == Dir::Inv) {
        st1(dst + h, 2.0 * midRe);
        st1(dst + h + 1, -2.0 * midIm);
    } else {
        st1(dst + h, midRe);
        st1(dst + h + 1, -midIm);
    }
}

// The interleaved walks of the split-4 slots, defined for those only (the vocabulary's 256-bit
// moves exist there).
template <bool TwoLevel>
void recombineForwardAvx(double* data, int64_t h, const double* table);
template <bool TwoLevel>
void preprocessInverseAvx(const double* src, double* dst, int64_t h, const double* table);

#if DSP_SLOT >= 4
// The forward post-processing of slots 4 and 5: four elements per step from each end, kept
// interleaved (two per 256-bit vector, the mirrors turned by exchanging 128-bit halves), which
// spares most of the shuffles of the split form. The formulas are the forward ones above, one
// lane pair per element; slot 5 fuses the first product of every two-product term:
// c S + round(s D), s S - round(c D), w.im D + round(w.re S), w.im S - round(w.re D), and the
// two-level twiddle as Pc Fc - round(Ps Fs), Pc Fs + round(Ps Fc).

// A group (x0, x1, y0, y1) as (x0, y0, x1, y1).
DSP_FFT_INLINE V groupAsPairs(const double* p) {
    return vswapMiddle(vloadu(p));
}
// Even lanes a b + c, odd lanes a b - c (c a rounded product).
DSP_FFT_INLINE V mulAddSub(V a, V b, V c) {
#if DSP_SLOT == 5
    return vfmsubadd(a, b, c);
#else
    return vaddsub(a * b, vneg(c));
#endif
}
// Even lanes a b - c, odd lanes a b + c.
DSP_FFT_INLINE V mulSubAdd(V a, V b, V c) {
#if DSP_SLOT == 5
    return vfmaddsub(a, b, c);
#else
    return vaddsub(a * b, c);
#endif
}

// Elements a (k, k + 1) and their mirrors b (h - k, h - k - 1) with the table's (c, s) (one
// level) or the twiddle w (two levels) of each, into x (at k) and y (at the mirrors).
template <bool TwoLevel>
DSP_FFT_INLINE void recombinePair(V a, V b, V t, V& x, V& y) {
    const V sum = a + b, diff = a - b;
    if constexpr (!TwoLevel) {
        // (D, S), then (T, U) = (c S + s D, s S - c D).
        const V ds = vblendOdd(diff, sum);
        const V tu = mulAddSub(vdupOdd(ds), t, vdupEven(ds) * vswapPairs(t));
        x = tu + vnegIm(b);          // (b.re + T, U - b.im)
        y = vnegIm(a) + vnegRe(tu);  // (a.re - T, U - a.im)
    } else {
        const V half = vset(0.5);
        const V ef = half * vblendOdd(sum, diff);  // (E, F)
        const V ds = half * vblendOdd(diff, sum);  // (D, S)
        // (G, H) = (w.im D + w.re S, w.im S - w.re D).
        const V gh = mulAddSub(vdupOdd(t), ds, vdupEven(t) * vswapPairs(ds));
        x = ef + gh;                  // (E + G, F + H)
        y = vnegIm(ef) + vnegRe(gh);  // (E - G, H - F)
    }
}

// The mirrors (h - k, h - k - 1) at p = h - k - 1 as one vector in that order, and back. The
// load takes its two halves apart, which spares the shuffle unit that the walk keeps busy.
DSP_FFT_INLINE V loadMirror(const double* p) {
    return vloadHalves(p + 2, p);
}
DSP_FFT_INLINE void storeMirror(double* p, V y) {
    vstoreu(p, vswapHalves(y));
}

// One step of the walk of both directions: the elements m .. m + 3 of src (m odd) and their
// mirrors h - m .. h - m - 3, each pair of elements with the table's (c, s) or (p, q) (one
// level) or its two-level twiddle (slot 5: Pc Fc - round(Ps Fs), Pc Fs + round(Ps Fc)), through
// op(a, b, t, x, y): x0 = (m, m + 1), x1 = (m + 2, m + 3), y0 = (h - m, h - m - 1) and
// y1 = (h - m - 2, h - m - 3). Every lane pair is one element's own arithmetic, so an element's
// bits do not depend on the step that carries it.
template <bool TwoLevel, class Op>
DSP_FFT_INLINE void walkStep(const double* src, int64_t h, const double* table, int64_t m, Op op,
                             V& x0, V& x1, V& y0, V& y1) {
    const V a0 = vloadu(src + 2 * m), a1 = vloadu(src + 2 * m + 4);
    const V b0 = loadMirror(src + 2 * (h - m - 1)), b1 = loadMirror(src + 2 * (h - m - 3));
    V t0, t1;
    if constexpr (!TwoLevel) {
        t0 = groupAsPairs(table + 2 * (m - 1));
        t1 = groupAsPairs(table + 2 * (m + 1));
    } else {
        const int64_t q = (m - 1) >> 9, f = m - 512 * q;
        const V pc = vset(table[1024 + 2 * q]);
        const V ps = vset(table[1025 + 2 * q]);
        const V f0 = groupAsPairs(table + 2 * (f - 1)), f1 = groupAsPairs(table + 2 * (f + 1));
        t0 = mulSubAdd(pc, f0, ps * vswapPairs(f0));
        t1 = mulSubAdd(pc, f1, ps * vswapPairs(f1));
    }
    op(a0, b0, t0, x0, y0);
    op(a1, b1, t1, x1, y1);
}

// The walk of both directions: four elements from each end per step, src to dst (the same array
// in the forward). Every step reads its inputs before it writes.
template <bool TwoLevel, class Op>
DSP_FFT_INLINE void walkMirrored(const double* src, double* dst, int64_t h, const double* table,
                                 Op op) {
    for (int64_t m = 1; m < h / 2; m += 4) {
        V x0, y0, x1, y1;
        walkStep<TwoLevel>(src, h, table, m, op, x0, x1, y0, y1);
        vstoreu(dst + 2 * m, x0);
        vstoreu(dst + 2 * m + 4, x1);
        storeMirror(dst + 2 * (h - m - 1), y0);
        storeMirror(dst + 2 * (h - m - 3), y1);
    }
}

template <bool TwoLevel>
void recombineForwardAvx(double* data, int64_t h, const double* table) {
    const double midRe = ld1(data + h), midIm = ld1(data + h + 1);
    walkMirrored<TwoLevel>(data, data, h, table, recombinePair<TwoLevel>);
    st1(data + h, midRe);
    st1(data + h + 1, -midIm);
}

// The inverse pre-processing of slots 4 and 5 in the same interleaved form, src to dst, with the
// inverse formulas above: (t1, t2) = (q D - p S, p D + q S) as one product pair per element
// (slot 5: fma(q, D, -round(p S)), fma(p, D, round(q S))), then Y[m] = (E + t1, F + t2) and
// Y[h-m] = (E - t1, t2 - F) with E = a.re + b.re, F = a.im - b.im: the bits of the group walk.
DSP_FFT_INLINE void preprocessPair(V a, V b, V t, V& x, V& y) {
    const V sum = a + b, diff = a - b;
    const V ef = vblendOdd(sum, diff);  // (E, F)
    const V tt = mulSubAdd(vdupEven(diff), vswapPairs(t), vdupOdd(sum) * t);
    x = ef + tt;
    y = vnegIm(ef) + vnegRe(tt);
}

template <bool TwoLevel>
void preprocessInverseAvx(const double* src, double* dst, int64_t h, const double* table) {
    const double midRe = ld1(src + h), midIm = ld1(src + h + 1);
    walkMirrored<TwoLevel>(src, dst, h, table, preprocessPair);
    st1(dst + h, 2.0 * midRe);
    st1(dst + h + 1, -2.0 * midIm);
}
#endif

}  // namespace
