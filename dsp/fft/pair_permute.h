// The bit-reversal permutation by a pair-format table, as raw words (never through floating
// point, so every payload survives): slots 0 and 2 permute whole arrays with it, and every slot
// from 1 permutes the 32 x 32 tiles of the tiled permutation. A pair (i, j) of the table settles
// the eight values whose middle bits are i or j (lowest and highest bit swapped), a fixed point,
// i = 0 first, the four values of one middle index.
#pragma once

#include <stdint.h>
#include <string.h>

namespace {

// One complex value (16 bytes) as raw words of type W.
template <typename W>
struct PairValue {
    W w[16 / sizeof(W)];
};

template <typename W>
inline PairValue<W> pairLoad(const double* base, int64_t index) {
    PairValue<W> v;
    memcpy(v.w, base + 2 * index, sizeof v.w);
    return v;
}
template <typename W>
inline void pairStore(double* base, int64_t index, const PairValue<W>& v) {
    memcpy(base + 2 * index, v.w, sizeof v.w);
}
template <typename W>
inline void pairExchange(double* base, int64_t a, int64_t b) {
    const PairValue<W> x = pairLoad<W>(base, a), y = pairLoad<W>(base, b);
    pairStore<W>(base, a, y);
    pairStore<W>(base, b, x);
}

// The fixed points after the pairs: the 0 word that ends the pairs stands for i = 0, then the
// words up to the next 0.
template <typename Fn>
void forEachFixedPoint(const int32_t* t, Fn fn) {
    fn(0);
    for (++t; *t != 0; ++t) fn(int64_t(*t >> 1));
}

// In place, n >= 4 values (nothing below).
template <typename W>
void pairPermuteInPlace(double* data, int64_t n, const int32_t* table) {
    if (n < 4) return;
    const int64_t h = n / 2;
    const int32_t* t = table;
    for (; t[0] > 0; t += 2) {
        const int64_t e = t[0] >> 1, f = t[1] >> 1;
        pairExchange<W>(data, e, f);
        pairExchange<W>(data, e + 1, h + f);
        pairExchange<W>(data, h + e, f + 1);
        pairExchange<W>(data, h + e + 1, h + f + 1);
    }
    forEachFixedPoint(t, [&](int64_t e) { pairExchange<W>(data, e + 1, h + e); });
}

}  // namespace
