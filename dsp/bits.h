// Bit-level helpers of corvane-dsp that need no vector unit: doubles and words at any address,
// bit patterns, alignment, and the full 128-bit product of two 64-bit words (written with
// 32-bit halves, so that every target has it, 32-bit x86 included). Everything sits in an
// anonymous namespace, so each translation unit keeps its own copy built with its own flags.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

namespace {

// A double or a 64-bit word at any address (no alignment assumed).
inline double ld1(const double* p) {
    double x;
    memcpy(&x, p, sizeof x);
    return x;
}
inline void st1(double* p, double x) {
    memcpy(p, &x, sizeof x);
}
inline uint64_t ld64(const void* p) {
    uint64_t x;
    memcpy(&x, p, sizeof x);
    return x;
}
inline void st64(void* p, uint64_t x) {
    memcpy(p, &x, sizeof x);
}

inline uint64_t dbits(double x) {
    uint64_t b;
    memcpy(&b, &x, sizeof b);
    return b;
}
inline double dfrom(uint64_t b) {
    double x;
    memcpy(&x, &b, sizeof x);
    return x;
}

// Whether p is a multiple of a (a power of two).
inline bool aligned(const void* p, uintptr_t a) {
    return (reinterpret_cast<uintptr_t>(p) & (a - 1)) == 0;
}
// Bytes from p to the next multiple of a at or after p.
inline size_t toAlign(const void* p, uintptr_t a) {
    return static_cast<size_t>((a - (reinterpret_cast<uintptr_t>(p) & (a - 1))) & (a - 1));
}

// An unsigned 128-bit value as two words.
struct U128 {
    uint64_t lo, hi;
};

// a * b exactly.
inline U128 mul64x64(uint64_t a, uint64_t b) {
    const uint64_t aLo = a & 0xFFFFFFFFu, aHi = a >> 32, bLo = b & 0xFFFFFFFFu, bHi = b >> 32;
    const uint64_t ll = aLo * bLo, lh = aLo * bHi, hl = aHi * bLo, hh = aHi * bHi;
    // The middle column: at most 3 * (2^32 - 1), no overflow.
    const uint64_t mid = (ll >> 32) + (lh & 0xFFFFFFFFu) + (hl & 0xFFFFFFFFu);
    return {(mid << 32) | (ll & 0xFFFFFFFFu), hh + (lh >> 32) + (hl >> 32) + (mid >> 32)};
}

// v >> n for 0 <= n < 128.
inline U128 shr128(U128 v, int n) {
    if (n == 0) return v;
    if (n >= 64) return {v.hi >> (n - 64), 0};
    return {(v.lo >> n) | (v.hi << (64 - n)), v.hi >> n};
}

}  // namespace
