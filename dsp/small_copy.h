// Short copies of one CPU slot, shared by the fill and the memory routines: overlapping moves of
// the widest block, 16, 8, 4, 2 and 1 bytes, and no library call. Compiled per slot like the
// vector vocabulary it is written against.
#pragma once

#include "dsp/vec.h"

namespace {

// Copies n bytes, meant for short runs, with overlapping moves of the widest vector, 16, 8,
// 4, 2 and 1 bytes (no library call). Separate areas only.
inline void copySmall(const uint8_t* s, uint8_t* d, size_t n) {
#if DSP_SLOT >= 1
    while (n > 2 * kVecBytes) {
        bstoreu(d, bloadu(s));
        d += kVecBytes, s += kVecBytes, n -= kVecBytes;
    }
    if (n >= kVecBytes) {
        const VB a = bloadu(s), b = bloadu(s + n - kVecBytes);
        bstoreu(d, a);
        bstoreu(d + n - kVecBytes, b);
        return;
    }
#if DSP_SLOT >= 4
    if (n >= 16) {
        const B16 a = b16loadu(s), b = b16loadu(s + n - 16);
        b16storeu(d, a);
        b16storeu(d + n - 16, b);
        return;
    }
#endif
#else
    while (n > 16) {
        st64(d, ld64(s));
        d += 8, s += 8, n -= 8;
    }
#endif
    if (n >= 8) {
        const uint64_t a = ld64(s), b = ld64(s + n - 8);
        st64(d, a);
        st64(d + n - 8, b);
    } else if (n >= 4) {
        uint32_t a, b;
        memcpy(&a, s, 4);
        memcpy(&b, s + n - 4, 4);
        memcpy(d, &a, 4);
        memcpy(d + n - 4, &b, 4);
    } else if (n >= 2) {
        uint16_t a, b;
        memcpy(&a, s, 2);
        memcpy(&b, s + n - 2, 2);
        memcpy(d, &a, 2);
        memcpy(d + n - 2, &b, 2);
    } else if (n == 1) {
        *d = *s;
    }
}

}  // namespace
