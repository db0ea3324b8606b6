// The block moves of the bit-reversal permutations of slots 1, 3, 2n, 4 and 5: 4 x 4 blocks,
// four consecutive values from each quarter of the array, through the offset table (word
// i = 8 rev(i) for the block index i < n/16), as raw 16-byte moves, so every payload survives.
#pragma once

#include "dsp/slot.h"
#include "dsp/vec.h"

#include <stdint.h>

namespace {

inline B16 valueAt(const double* base, int64_t k) {
    return b16loadu(base + 2 * k);
}
inline void putValue(double* base, int64_t k, B16 v) {
    b16storeu(base + 2 * k, v);
}

constexpr int kRev2[4] = {0, 2, 1, 3};
constexpr int kRev3[8] = {0, 4, 2, 6, 1, 5, 3, 7};

// The 16 values of block i (q Q + 4 i + r for quarter q and column r), row by row.
struct Block {
    alignas(16) B16 v[4][4];
};
inline void readBlock(const double* src, int64_t quarter, int64_t i, Block& b) {
    for (int q = 0; q < 4; ++q)
        for (int r = 0; r < 4; ++r) b.v[q][r] = valueAt(src, q * quarter + 4 * i + r);
}
// Block i of the reversed array from block rev(i) of the original: value (q, r) is the
// original's (rev2(r), rev2(q)).
inline void writeReversedBlock(double* dst, int64_t quarter, int64_t i, const Block& b) {
    for (int q = 0; q < 4; ++q)
        for (int r = 0; r < 4; ++r) putValue(dst, q * quarter + 4 * i + r, b.v[kRev2[r]][kRev2[q]]);
}

void permuteSmall(const double* src, double* dst, int64_t n) {
    B16 v[8];
    for (int64_t k = 0; k < n; ++k) v[k] = valueAt(src, k);
    for (int64_t k = 0; k < n; ++k) {
        const int64_t from = n == 8 ? kRev3[k] : n == 4 ? kRev2[k] : k;
        putValue(dst, k, v[from]);
    }
}

}  // namespace
