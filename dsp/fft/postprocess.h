// The real post-processing of the forward transform: the half-length complex DFT Z of
// z[n] = x[2n] + i x[2n+1] (h = N/2 values, X[0] and X[N/2] already in place) becomes the spectrum
// X[1 .. h-1] in place. Each element m is taken with its mirror h - m, from both ends inward;
// the element h/2 is conjugated.
//
// One template over the table format and the level form:
//   PairFormat    one element per step in FftReal (slots 0 and 2); pairs (c, s) by element
//   GroupFormat   kLanes elements per step in split vectors (slots 1, 2n, 3); groups
//                 (c m, c m+1, s m, s m+1) for m = 1, 3, ..
// One level (a table of (0.5 cos, 0.5 - 0.5 sin)):
//   D = a.re - b.re, S = a.im + b.im, T = c S + s D, U = s S - c D,
//   X[m] = (b.re + T, U - b.im), X[h-m] = (a.re - T, U - a.im);
// two levels (512 fine and N/2048 coarse twiddles (cos, -sin), element m = 512 q + f, the fine
// index running 0..511 in pairs and 1..512 in groups):
//   w = coarse[q] fine[f], E, F, D, S = 0.5 (a.re + b.re, a.im - b.im, a.re - b.re, a.im + b.im),
//   G = w.im D + w.re S, H = w.im S - w.re D, X[m] = (E + G, F + H), X[h-m] = (E - G, H - F).
// The group forms meet the middle element paired with itself, where the product of two rounded
// twiddles misses -1 by an ulp at some orders; every form writes it last, as its conjugate.
#pragma once

#include "dsp/fft/radix.h"

#include <stdint.h>

namespace {

struct PairFormat {
    using T = FftReal;
    static constexpr int kLanes = 1;
    static T splat(double x) { return x; }
    static Cx<T> load(const double* d, int64_t k) { return {d[2 * k], d[2 * k + 1]}; }
    static Cx<T> loadMirror(const double* d, int64_t k) { return load(d, k); }
    static void store(double* d, int64_t k, Cx<T> x) {
        d[2 * k] = static_cast<double>(x.re);
        d[2 * k + 1] = static_cast<double>(x.im);
    }
    static void storeMirror(double* d, int64_t k, Cx<T> x) { store(d, k, x); }
    static void oneLevel(const double* t, int64_t m, T& c, T& s) {
        c = t[2 * m];
        s = t[2 * m + 1];
    }
    static Cx<T> twoLevel(const double* t, int64_t m) {
        const int64_t q = m >> 9, f = m & 511;
        const Cx<T> coarse = {t[1024 + 2 * q], t[1025 + 2 * q]}, fine = {t[2 * f], t[2 * f + 1]};
        return twiddle<Dir::Fwd>(coarse, fine);
    }
};

#if DSP_SLOT >= 1 && DSP_SLOT <= 3
struct GroupFormat {
    using T = V;
    static constexpr int kLanes = 2;
    static T splat(double x) { return vset(x); }
    // Elements k, k+1 in lanes 0, 1; the mirror form holds k, k-1.
    static Cx<T> load(const double* d, int64_t k) {
        Cx<T> x;
        vdeinterleave(d + 2 * k, x.re, x.im);
        return x;
    }
    static Cx<T> loadMirror(const double* d, int64_t k) {
        const Cx<T> x = load(d, k - 1);
        return {vreverse(x.re), vreverse(x.im)};
    }
    static void store(double* d, int64_t k, Cx<T> x) { vinterleave(d + 2 * k, x.re, x.im); }
    static void storeMirror(double* d, int64_t k, Cx<T> x) {
        vinterleave(d + 2 * (k - 1), vreverse(x.re), vreverse(x.im));
    }
    // The group of m (odd) starts at double 2 (m - 1).
    static void oneLevel(const double* t, int64_t m, T& c, T& s) {
        c = vloadu(t + 2 * (m - 1));
        s = vloadu(t + 2 * (m - 1) + 2);
    }
    static Cx<T> twoLevel(const double* t, int64_t m) {
        const int64_t q = (m - 1) >> 9, f = m - 512 * q;
        const Cx<T> coarse = {vset(t[1024 + 2 * q]), vset(t[1025 + 2 * q])};
        const Cx<T> fine = {vloadu(t + 2 * (f - 1)), vloadu(t + 2 * (f - 1) + 2)};
        return twiddle<Dir::Fwd>(coarse, fine);
    }
};
#endif

template <class Fmt, bool TwoLevel>
void recombine(double* data, int64_t h, const double* table) {
    using T = typename Fmt::T;
    using C = Cx<T>;
    const double midRe = data[h], midIm = data[h + 1];
    const T half = Fmt::splat(0.5);
    for (int64_t m = 1; m < h / 2; m += Fmt::kLanes) {
        const C a = Fmt::load(data, m), b = Fmt::loadMirror(data, h - m);
        C x, y;
        if constexpr (!TwoLevel) {
            T c, s;
            Fmt::oneLevel(table, m, c, s);
            const T d = a.re - b.re, sum = a.im + b.im;
            const T t = c * sum + s * d, u = s * sum - c * d;
            x = {b.re + t, u - b.im};
            y = {a.re - t, u - a.im};
        } else {
            const C w = Fmt::twoLevel(table, m);
            const T e = half * (a.re + b.re), f = half * (a.im - b.im);
            const T d = half * (a.re - b.re), sum = half * (a.im + b.im);
            const T g = w.im * d + w.re * sum, hh = w.im * sum - w.re * d;
            x = {e + g, f + hh};
            y = {e - g, hh - f};
        }
        Fmt::store(data, m, x);
        Fmt::storeMirror(data, h - m, y);
    }
    data[h] = midRe;
    data[h + 1] = -midIm;
}

}  // namespace
