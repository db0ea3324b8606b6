// The skeletons of the recursive cache-blocked drivers, shared by both directions and every slot:
// the permutation phase, the rows and columns of one level, and the plain branch with its radix-2
// combining passes. A slot supplies its members as a class `Slot` with static members:
//
//   kLimit                       largest row order transformed by the bottom transform
//   bottom<D>(row, R, tw, work)  the bottom transform of a row in bit-reversed order
//   scale(s, p, doubles)         the slot's in-place scaling
//   gather, scatter, permuteBlock, copy, permute, permuteInPlace
//                                the block transfers and permutations of the slot
//   kTilesOnly                   the slot's driver starts where the tiles do (no permute)
//
// and, by its column form, leaf<D>(work, step, count, tw) (split slots) or blockPasses<D>
// (interleaved slots). A complex array of n = 2^m values is a level: K = 2^k rows of R = 2^r
// values (k from the plan rows), rows first, then the R columns in blocks of W.
//
// Byte counts and offsets are 64-bit throughout: at complex order 27 the array alone is 2^31
// bytes. Each level starts its column twiddles at its own table and walks them block after block,
// as the plan lays them out.
#pragma once

#include "dsp/bits.h"
#include "dsp/fft/radix.h"
#include "dsp/fft/spec.h"

#include <stdint.h>
#include <string.h>

namespace {

constexpr int kTileValues = 1024;  // a 32 x 32 tile
constexpr int kTileSide = 32;      //
constexpr int64_t kTileBytes = 16384;

// Where a slot's permutation phase changes form, by complex order.
struct PermuteLimits {
    int tilesFrom;          // 32 x 32 tiles through the block table from this order
    int copyFrom;           // out of place: copy whole in chunks, then tile in place
    int64_t chunkBytes;     // the chunk of that copy
    int copyThenPermuteAt;  // out of place below the tiles: copy, then permute in place (0: none)
};

template <Dir D>
bool scaledFor(const DspFftSpecReal64f* spec) {
    return (D == Dir::Fwd ? spec->fwdScaled : spec->invScaled) != 0;
}

inline double* valuesAt(double* p, int64_t k) {
    return p + 2 * k;
}
inline const double* valuesAt(const double* p, int64_t k) {
    return p + 2 * k;
}

template <class Slot>
void copyInChunks(const double* src, double* dst, int64_t bytes, int64_t chunk) {
    const BYTE* const from = reinterpret_cast<const BYTE*>(src);
    BYTE* const to = reinterpret_cast<BYTE*>(dst);
    for (int64_t off = 0; off < bytes; off += chunk) {
        const int64_t len = bytes - off < chunk ? bytes - off : chunk;
        Slot::copy(from + off, to + off, static_cast<int>(len));
    }
}

// The tiled permutation in place: the array as 32 rows of n/32 values, tile i (elements
// 32i .. 32i + 31 of every row) goes to tile rev(i) with its 10-bit index reversed. Each pair of
// tiles is exchanged once, through two tiles of work.
template <class Slot>
void permuteTilesInPlace(double* data, int m, const int32_t* table, BYTE* work) {
    const int64_t n = int64_t(1) << m, tiles = n >> 10;
    const int stride = static_cast<int>(n / kTileSide);
    const int32_t* const pairs = table + tiles;
    double* const a = reinterpret_cast<double*>(work);
    double* const b = reinterpret_cast<double*>(work + kTileBytes);
    for (int64_t i = 0; i < tiles; ++i) {
        const int64_t mine = kTileSide * i, theirs = table[i];
        if (theirs < mine) continue;
        Slot::gather(valuesAt(data, mine), a, stride, kTileSide, kTileSide);
        Slot::permuteBlock(a, kTileValues, pairs);
        if (theirs == mine) {
            Slot::scatter(valuesAt(data, mine), a, stride, kTileSide, kTileSide, 0);
            continue;
        }
        Slot::gather(valuesAt(data, theirs), b, stride, kTileSide, kTileSide);
        Slot::permuteBlock(b, kTileValues, pairs);
        Slot::scatter(valuesAt(data, theirs), a, stride, kTileSide, kTileSide, 0);
        Slot::scatter(valuesAt(data, mine), b, stride, kTileSide, kTileSide, 0);
    }
}

// dst receives the 2^m values of src (or its own) in bit-reversed order.
template <class Slot>
void permutePhase(const double* src, double* dst, int m, const int32_t* table, BYTE* work,
                  const PermuteLimits& lim) {
    const int64_t n = int64_t(1) << m;
    const int ni = static_cast<int>(n);
    if constexpr (!Slot::kTilesOnly) {
        if (m < lim.tilesFrom) {
            if (src == dst) {
                Slot::permuteInPlace(dst, ni, table);
            } else if (m == lim.copyThenPermuteAt) {
                copyInChunks<Slot>(src, dst, 16 * n, 16 * n);
                Slot::permuteInPlace(dst, ni, table);
            } else {
                Slot::permute(src, dst, ni, table);
            }
            return;
        }
    }
    if (src != dst && m < lim.copyFrom) {
        const int stride = static_cast<int>(n / kTileSide);
        double* const a = reinterpret_cast<double*>(work);
        for (int64_t i = 0; i < (n >> 10); ++i) {
            Slot::gather(valuesAt(src, table[i]), a, stride, kTileSide, kTileSide);
            Slot::permuteBlock(a, kTileValues, table + (n >> 10));
            Slot::scatter(valuesAt(dst, kTileSide * i), a, stride, kTileSide, kTileSide, 0);
        }
        return;
    }
    if (src != dst) copyInChunks<Slot>(src, dst, 16 * n, lim.chunkBytes);
    permuteTilesInPlace<Slot>(dst, m, table, work);
}

// The rows of a level: deeper levels above the slot's limit (`deeper`), else the bottom
// transform, each row scaled once, as a whole, right after it.
template <Dir D, class Slot, class Deeper>
void levelRows(const DspFftSpecReal64f* spec, double* data, int m, int k, BYTE* work,
               Deeper deeper) {
    const int r = m - k;
    const int64_t R = int64_t(1) << r, K = int64_t(1) << k;
    const bool scaled = scaledFor<D>(spec);
    const double* const tw = dspFftTwiddleTableOf(spec);
    for (int64_t i = 0; i < K; ++i) {
        double* const row = valuesAt(data, i * R);
        if (r > Slot::kLimit) {
            deeper(row, r);
            continue;
        }
        Slot::template bottom<D>(row, static_cast<int>(R), tw, work);
        if (scaled) Slot::scale(spec->scale, row, static_cast<int>(2 * R));
    }
}

// The columns of a level in the split slots: blocks of W columns gathered into work, k/2 leaf
// stages over the level's records (48 W' bytes per stage, 16 W' after the last, which keeps
// half), scattered back as interleaved values at the top level and unchanged below.
template <Dir D, class Slot>
void splitColumns(double* data, int m, int k, int blockOrder, int depth, const double* tw,
                  BYTE* work) {
    const int r = m - k;
    const int64_t R = int64_t(1) << r;
    const int K = 1 << k, W = 1 << (blockOrder - k);
    double* const a = reinterpret_cast<double*>(work);
    const double* t = tw;
    for (int64_t c0 = 0; c0 < R; c0 += W) {
        Slot::gather(valuesAt(data, c0), a, static_cast<int>(R), K, W);
        int64_t step = W;
        for (int q = K / 4; q >= 1; q /= 4, step *= 4) {
            Slot::template leaf<D>(a, step, q, t);
            t += (q == 1 ? 2 : 6) * step;
        }
        Slot::scatter(valuesAt(data, c0), a, static_cast<int>(R), K, W, depth == 0 ? 1 : 0);
    }
}

// The columns of a level in slot 2: the same blocks, interleaved, each stage inline over the
// triples of the level table (w, w^2, w^3 per column, 48 W' bytes per stage).
template <Dir D, class Slot>
void tripleColumns(double* data, int m, int k, int blockOrder, const double* tw, BYTE* work) {
    using C = Cx<FftReal>;
    const int r = m - k;
    const int64_t R = int64_t(1) << r;
    const int K = 1 << k, W = 1 << (blockOrder - k);
    double* const a = reinterpret_cast<double*>(work);
    const auto at = [a](int64_t i) { return C{a[2 * i], a[2 * i + 1]}; };
    const auto put = [a](int64_t i, C v) {
        a[2 * i] = static_cast<double>(v.re);
        a[2 * i + 1] = static_cast<double>(v.im);
    };
    const double* t = tw;
    for (int64_t c0 = 0; c0 < R; c0 += W) {
        Slot::gather(valuesAt(data, c0), a, static_cast<int>(R), K, W);
        int64_t step = W;
        for (int64_t q = K / 4; q >= 1; q /= 4, t += 6 * step, step *= 4) {
            for (int64_t g = 0; g < q; ++g) {
                const int64_t base = 4 * step * g;
                for (int64_t j = 0; j < step; ++j) {
                    const double* const w = t + 6 * j;
                    const int64_t i = base + j;
                    C x0 = at(i);
                    C x1 = twiddle<D>(at(i + step), C{w[2], w[3]});
                    C x2 = twiddle<D>(at(i + 2 * step), C{w[0], w[1]});
                    C x3 = twiddle<D>(at(i + 3 * step), C{w[4], w[5]});
                    radix4<D>(x0, x1, x2, x3);
                    put(i, x0);
                    put(i + step, x1);
                    put(i + 2 * step, x2);
                    put(i + 3 * step, x3);
                }
            }
        }
        Slot::scatter(valuesAt(data, c0), a, static_cast<int>(R), K, W, 0);
    }
}

// The columns of a level in slot 0: four at a time, each value multiplied by its entry of the
// level table (w_m^((j0 + t) rev_k(p)) at group j0/4, position p, column t) into work row t,
// the rows transformed by the slot's passes over the order-k twiddles, and written back.
template <Dir D, class Slot>
void rowTableColumns(double* data, int m, int k, const double* table, const double* passTw,
                     BYTE* work) {
    using C = Cx<FftReal>;
    const int64_t R = int64_t(1) << (m - k), K = int64_t(1) << k;
    double* const rows = reinterpret_cast<double*>(work);
    const double* w = table;
    for (int64_t j0 = 0; j0 < R; j0 += 4) {
        for (int64_t p = 0; p < K; ++p) {
            const double* const v = valuesAt(data, p * R + j0);
            for (int t = 0; t < 4; ++t, w += 2) {
                const C x = twiddle<D>(C{ld1(v + 2 * t), ld1(v + 2 * t + 1)}, C{w[0], w[1]});
                double* const out = valuesAt(rows, t * K + p);
                out[0] = static_cast<double>(x.re);
                out[1] = static_cast<double>(x.im);
            }
        }
        for (int t = 0; t < 4; ++t) {
            Slot::template blockPasses<D>(valuesAt(rows, t * K), static_cast<int>(K), passTw);
        }
        for (int64_t q = 0; q < K; ++q) {
            double* const v = valuesAt(data, q * R + j0);
            for (int t = 0; t < 4; ++t) {
                memcpy(v + 2 * t, valuesAt(rows, t * K + q), 2 * sizeof(double));
            }
        }
    }
}

// Radix-2 combining passes over n values made of n/blk transformed blocks: half sizes h = blk ..
// n/2, u = b w with w = w_(2h)^p from the quarter-wave table E (entry e = w_n^e) at
// e = p n / (2h), and for p >= h/2 the turn of the entry at (p - h/2) n / (2h).
template <Dir D>
void combiningPasses(double* data, int64_t n, int64_t blk, const double* E) {
    using C = Cx<FftReal>;
    for (int64_t h = blk; h <= n / 2; h *= 2) {
        const int64_t stride = n / (2 * h);
        for (int64_t g = 0; g < n; g += 2 * h) {
            for (int64_t p = 0; p < h; ++p) {
                double* const a = valuesAt(data, g + p);
                double* const b = valuesAt(data, g + p + h);
                const bool upper = p >= h / 2;
                const double* const e = valuesAt(E, (upper ? p - h / 2 : p) * stride);
                C u = twiddle<D>(C{ld1(b), ld1(b + 1)}, C{e[0], e[1]});
                if (upper) u = rot<D>(u);
                const C x = {ld1(a), ld1(a + 1)};
                const C s = x + u, d = x - u;
                st1(a, static_cast<double>(s.re));
                st1(a + 1, static_cast<double>(s.im));
                st1(b, static_cast<double>(d.re));
                st1(b + 1, static_cast<double>(d.im));
            }
        }
    }
}

// The plain branch: blocks of `blk` values transformed from the last to the first, each scaled,
// then joined by the combining passes over the order-log2(n) table E.
template <Dir D, class Slot>
void plainBranch(const DspFftSpecReal64f* spec, double* data, int64_t n, int64_t blk,
                 const double* blockTw, const double* E) {
    const bool scaled = scaledFor<D>(spec);
    for (int64_t b = n - blk; b >= 0; b -= blk) {
        double* const block = valuesAt(data, b);
        Slot::template blockPasses<D>(block, static_cast<int>(blk), blockTw);
        if (scaled) Slot::scale(spec->scale, block, static_cast<int>(2 * blk));
    }
    combiningPasses<D>(data, n, blk, E);
}

}  // namespace
