// The per-slot vector vocabulary of corvane-dsp. Included only by sources compiled per slot
// (NAME.slots.cpp, NAME_s<n>.cpp); everything sits in an anonymous namespace so that a slot's
// instructions never reach another slot through a shared inline function.
//
//   kLanes      doubles per vector: 1 (slot 0, scalar), 2 (slots 1 to 3, SSE2), 4 (slots 4, 5, AVX)
//   VD          vector of doubles; VB vector of bytes (kVecBytes = sizeof(VB))
//   ld1 / st1   one double at any address (no alignment assumed)
//   vloadu / vload / vstoreu / vstore / vstream, vmul, vset1     on VD
//   bloadu / bstoreu / bstore / bstream, bzero                   on VB
//   fence       store fence after non-temporal stores
#pragma once

#include "dsp/bits.h"
#include "dsp/slot.h"

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#if DSP_SLOT >= 1
#include <immintrin.h>
#endif

namespace {

#if DSP_SLOT >= 4

constexpr int kLanes = 4;
using VD = __m256d;
using VB = __m256i;
inline VD vloadu(const double* p) {
    return _mm256_loadu_pd(p);
}
inline VD vload(const double* p) {
    return _mm256_load_pd(p);
}
inline void vstoreu(double* p, VD v) {
    _mm256_storeu_pd(p, v);
}
inline void vstore(double* p, VD v) {
    _mm256_store_pd(p, v);
}
inline void vstream(double* p, VD v) {
    _mm256_stream_pd(p, v);
}
inline VD vmul(VD a, VD b) {
    return _mm256_mul_pd(a, b);
}
inline VD vset1(double x) {
    return _mm256_set1_pd(x);
}
inline VB bloadu(const void* p) {
    return _mm256_loadu_si256(static_cast<const VB*>(p));
}
inline void bstoreu(void* p, VB v) {
    _mm256_storeu_si256(static_cast<VB*>(p), v);
}
inline void bstore(void* p, VB v) {
    _mm256_store_si256(static_cast<VB*>(p), v);
}
inline void bstream(void* p, VB v) {
    _mm256_stream_si256(static_cast<VB*>(p), v);
}
inline VB bzero() {
    return _mm256_setzero_si256();
}

#elif DSP_SLOT >= 1

constexpr int kLanes = 2;
using VD = __m128d;
using VB = __m128i;
inline VD vloadu(const double* p) {
    return _mm_loadu_pd(p);
}
inline VD vload(const double* p) {
    return _mm_load_pd(p);
}
inline void vstoreu(double* p, VD v) {
    _mm_storeu_pd(p, v);
}
inline void vstore(double* p, VD v) {
    _mm_store_pd(p, v);
}
inline void vstream(double* p, VD v) {
    _mm_stream_pd(p, v);
}
inline VD vmul(VD a, VD b) {
    return _mm_mul_pd(a, b);
}
inline VD vset1(double x) {
    return _mm_set1_pd(x);
}
inline VB bloadu(const void* p) {
    return _mm_loadu_si128(static_cast<const VB*>(p));
}
inline void bstoreu(void* p, VB v) {
    _mm_storeu_si128(static_cast<VB*>(p), v);
}
inline void bstore(void* p, VB v) {
    _mm_store_si128(static_cast<VB*>(p), v);
}
inline void bstream(void* p, VB v) {
    _mm_stream_si128(static_cast<VB*>(p), v);
}
inline VB bzero() {
    return _mm_setzero_si128();
}

#endif

#if DSP_SLOT >= 1
constexpr size_t kVecBytes = sizeof(VB);
inline void fence() {
    _mm_sfence();
}
#endif

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
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + n - 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), a);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + n - 16), b);
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
