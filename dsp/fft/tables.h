// Table builders of the real-FFT set-up, one template per table format. Included only by sources
// compiled per slot: every slot instantiates its own copies (anonymous namespace), and since all
// slots run the same template, every member of a family gives the same values.
//
// Every value is a copy of a base-table entry or its negation (the forward one-level
// recombination entries are their 0.5 forms): nothing here computes a sine.
#pragma once

#include "dsp/fft/builders.h"
#include "dsp/fft/fft_slot.h"
#include "dsp/fft/spec.h"

#include <stddef.h>
#include <stdint.h>

namespace {

// x rounded down to a multiple of 64 (128): the rounding of the size recipes.
constexpr int64_t r64(int64_t x) {
    return x & ~int64_t(63);
}
constexpr int64_t r128(int64_t x) {
    return x & ~int64_t(127);
}

inline BYTE* alignUp64(void* p) {
    const uintptr_t a = reinterpret_cast<uintptr_t>(p);
    return reinterpret_cast<BYTE*>((a + 63) & ~uintptr_t(63));
}

inline BYTE* bytesAt(void* p, int64_t offset) {
    return static_cast<BYTE*>(p) + offset;
}

struct Twiddle {
    double re, im;
};

// w_L^e = (cos(2 pi e / 2^L), -sin(2 pi e / 2^L)) for 2 <= L <= T, from the base table S of
// order T (S[i] = sin(2 pi i / 2^T), i = 0..2^T/4), folded into S's first quadrant.
inline Twiddle twiddleOf(const double* S, int T, int L, int64_t e) {
    const int64_t s = int64_t(1) << (T - L);
    const int64_t q = int64_t(1) << (L - 2);
    e &= 4 * q - 1;
    if (e <= q) return {S[(q - e) * s], -S[e * s]};
    if (e <= 2 * q) return {-S[(e - q) * s], -S[(2 * q - e) * s]};
    if (e <= 3 * q) return {-S[(3 * q - e) * s], S[(e - 2 * q) * s]};
    return {S[(e - 3 * q) * s], S[(4 * q - e) * s]};
}

// ---------------------------------------------------------------------------------------------
// Bit-reverse tables for 2^m complex values; rev reverses the m - 2 low bits of i < L = 2^(m-2),
// kept by the reversed increment. Both formats have L + 1 words.

// rev(i) from rev(i - 1) over log2(count) bits: the reversed increment, a carry from the top.
inline int32_t nextReversed(int32_t j, int32_t count) {
    int32_t b = count / 2;
    while (b <= j) {
        j -= b;
        b /= 2;
    }
    return j + b;
}

template <DspFftBitReverseFormat Format>
BYTE* buildBitReverseTable(int m, int32_t* dst) {
    const int32_t L = int32_t(1) << (m - 2);
    int32_t j = 0;
    int32_t front = 0, back = L - 1;
    for (int32_t i = 1; i < L; ++i) {
        j = nextReversed(j, L);
        if (Format == dspFftIndexFormat) {
            dst[i] = 2 * j;
        } else if (i < j) {
            dst[front++] = 4 * i;
            dst[front++] = 4 * j;
        } else if (i == j) {
            dst[back--] = 4 * i;
        }
    }
    dst[Format == dspFftIndexFormat ? 0 : front] = 0;
    dst[L] = 0;
    return alignUp64(dst + L + 1);
}

// The tiled permutation's table: 2^(m-2h) tile offsets rev(i) * 2^h (rev over m - 2h bits),
// then the pair table of order 2h that permutes inside a tile, with no gap between them.
inline BYTE* buildBlockBitReverseTable(int m, int h, int32_t* dst) {
    const int32_t c = int32_t(1) << (m - 2 * h);
    int32_t j = 0;
    dst[0] = 0;
    for (int32_t i = 1; i < c; ++i) {
        j = nextReversed(j, c);
        dst[i] = j << h;
    }
    return buildBitReverseTable<dspFftPairFormat>(2 * h, dst + c);
}

// ---------------------------------------------------------------------------------------------
// Butterfly twiddles for P = 2^m points: the factors w^k, w^2k, w^3k of w = e^(-2 pi i / P).

// Triple format: entry k = 0..P/4 holds the three factors as (re, im) pairs, 48 bytes.
inline BYTE* buildTripleTwiddles(int m, const double* S, int T, double* dst) {
    const int64_t entries = (int64_t(1) << (m - 2)) + 1;
    for (int64_t k = 0; k < entries; ++k) {
        for (int r = 1; r <= 3; ++r) {
            const Twiddle w = twiddleOf(S, T, m, r * k);
            dst[6 * k + 2 * (r - 1)] = w.re;
            dst[6 * k + 2 * (r - 1) + 1] = w.im;
        }
    }
    return alignUp64(dst + 6 * entries);
}

// Staged format: one block per radix-4 stage of P = 2^L points, L = 4 + (m mod 2), .., m; in a
// block, k = 0..P/4-1 in groups of G: G real parts of w^k, G imaginary parts, then the same for
// w^2k and w^3k. A stage takes 12 P bytes; the table is given 16 * 2^m bytes whatever it fills.
template <int G>
BYTE* buildStagedTwiddles(int m, const double* S, int T, double* dst) {
    double* out = dst;
    for (int L = 4 + (m & 1); L <= m; L += 2) {
        const int64_t quarter = int64_t(1) << (L - 2);
        for (int64_t k0 = 0; k0 < quarter; k0 += G) {
            for (int r = 1; r <= 3; ++r) {
                for (int g = 0; g < G; ++g) {
                    const Twiddle w = twiddleOf(S, T, L, r * (k0 + g));
                    out[g] = w.re;
                    out[G + g] = w.im;
                }
                out += 2 * G;
            }
        }
    }
    return alignUp64(bytesAt(dst, int64_t(16) << m));
}

// The plain plan's combining twiddles of order L: w_L^i for i = 0..2^L/4 - 1.
inline BYTE* buildCombiningTwiddles(int L, const double* S, int T, double* dst) {
    const int64_t count = int64_t(1) << (L - 2);
    for (int64_t i = 0; i < count; ++i) {
        const Twiddle w = twiddleOf(S, T, L, i);
        dst[2 * i] = w.re;
        dst[2 * i + 1] = w.im;
    }
    return alignUp64(dst + 2 * count);
}

// ---------------------------------------------------------------------------------------------
// Recombination tables of N = 2^order points, angles theta_k = 2 pi k / N, read in the first
// quadrant of the base table: cos theta_k = S[(Q - k) s], sin theta_k = S[k s], Q = N/4.
//
// One level: forward entries (0.5 cos, 0.5 - 0.5 sin), inverse entries (cos, -sin); pairs for
// k = 0..Q-1, or groups (k, k+1) of first members then second members for k = 1, 3, .., Q-1.
// Two levels (from the slot's threshold; forward and inverse alike): 512 fine values as pairs
// (k = 0..511) or groups (k = 1..512), then at +8192 bytes N/2048 coarse pairs of theta_512i.

template <bool Grouped>
BYTE* buildRecombTable(int order, const double* S, int T, double* dst, bool forward,
                       bool twoLevel) {
    const int64_t s = int64_t(1) << (T - order);
    const int64_t q = int64_t(1) << (order - 2);
    const int64_t fineCount = twoLevel ? 512 : q;
    auto entry = [&](int64_t k, double* re, double* im) {
        const double c = S[(q - k) * s];
        const double sn = S[k * s];
        if (forward && !twoLevel) {
            *re = 0.5 * c;
            *im = 0.5 - 0.5 * sn;
        } else {
            *re = c;
            *im = -sn;
        }
    };
    double* out = dst;
    if (Grouped) {
        for (int64_t k = 1; k <= fineCount; k += 2, out += 4) {
            entry(k, &out[0], &out[2]);
            entry(k + 1, &out[1], &out[3]);
        }
    } else {
        for (int64_t k = 0; k < fineCount; ++k, out += 2) entry(k, &out[0], &out[1]);
    }
    if (twoLevel) {
        for (int64_t i = 0; i < (int64_t(1) << (order - 11)); ++i, out += 2) {
            out[0] = S[(q - 512 * i) * s];
            out[1] = -S[512 * i * s];
        }
    }
    return alignUp64(out);
}

// ---------------------------------------------------------------------------------------------
// Combining (column) tables of a recursive level of slots 1 to 5: 2^m = 2^r x 2^k points, k/2
// radix-4 stages; columns c = b + g 2^r + v for blocks b of W columns, stages s (order
// L = r + 2 + 2s), groups g < 4^s and v < W; per G columns and q = 1, 2, 3 one record of the G
// real parts of w_L^(qc), then the G imaginary parts (G = 1 interleaves the triples). With
// halfLastStage the last stage writes only the first half of its groups and q = 1, 2.
template <int G>
double* buildColumnRecords(int m, int k, int blockOrder, const double* S, int T, double* out,
                           bool halfLastStage) {
    const int r = m - k;
    const int64_t rows = int64_t(1) << r;
    const int64_t width = int64_t(1) << (blockOrder - k);
    for (int64_t b = 0; b < rows; b += width) {
        for (int s = 0; s < k / 2; ++s) {
            const int L = r + 2 + 2 * s;
            const bool last = halfLastStage && s == k / 2 - 1;
            const int64_t groups = last ? (int64_t(1) << (2 * s)) / 2 : int64_t(1) << (2 * s);
            const int qMax = last ? 2 : 3;
            for (int64_t g = 0; g < groups; ++g) {
                for (int64_t v = 0; v < width; v += G) {
                    const int64_t c = b + (g << r) + v;
                    for (int q = 1; q <= qMax; ++q, out += 2 * G) {
                        for (int i = 0; i < G; ++i) {
                            const Twiddle w = twiddleOf(S, T, L, q * (c + i));
                            out[i] = w.re;
                            out[G + i] = w.im;
                        }
                    }
                }
            }
        }
    }
    return out;
}

}  // namespace
