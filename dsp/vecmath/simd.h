// The small vector vocabulary that the SSE and AVX vector-math kernels are written against.
//
// Compiled per CPU slot (DSP_SLOT): slots 1 to 3 get two-lane SSE2 vectors, slots 4 and 5
// four-lane AVX vectors. vmadd(a, b, c) is a*b + c: one fused operation in slot 5 (AVX2 with
// FMA), a rounded product and a rounded sum elsewhere; kernels use it only where the steps of
// the algorithm allow either. Everything is in an anonymous namespace, so no AVX code can leak
// into a slower slot through a shared inline function.
#pragma once

#include <immintrin.h>
#include <stdint.h>
#include <string.h>

#if !defined(DSP_SLOT) || DSP_SLOT < 1
#error "dsp/vecmath/simd.h is for the SSE and AVX slots"
#endif

namespace {

#if DSP_SLOT >= 4
constexpr int kLanes = 4;
struct V {
    __m256d v;
};
inline V vload(const double* p) {
    return {_mm256_loadu_pd(p)};
}
inline void vstore(double* p, V a) {
    _mm256_storeu_pd(p, a.v);
}
inline V vset(double x) {
    return {_mm256_set1_pd(x)};
}
inline V operator+(V a, V b) {
    return {_mm256_add_pd(a.v, b.v)};
}
inline V operator-(V a, V b) {
    return {_mm256_sub_pd(a.v, b.v)};
}
inline V operator*(V a, V b) {
    return {_mm256_mul_pd(a.v, b.v)};
}
inline V vand(V a, V b) {
    return {_mm256_and_pd(a.v, b.v)};
}
inline V vor(V a, V b) {
    return {_mm256_or_pd(a.v, b.v)};
}
inline V vxor(V a, V b) {
    return {_mm256_xor_pd(a.v, b.v)};
}
inline V vmax(V a, V b) {
    return {_mm256_max_pd(a.v, b.v)};
}
inline V vmin(V a, V b) {
    return {_mm256_min_pd(a.v, b.v)};
}
// Masks: all ones in a lane where the relation holds; false for NaN operands.
inline V vle(V a, V b) {
    return {_mm256_cmp_pd(a.v, b.v, _CMP_LE_OQ)};
}
inline V vlt(V a, V b) {
    return {_mm256_cmp_pd(a.v, b.v, _CMP_LT_OQ)};
}
inline V vge(V a, V b) {
    return {_mm256_cmp_pd(a.v, b.v, _CMP_GE_OQ)};
}
inline int vmovemask(V m) {
    return _mm256_movemask_pd(m.v);
}
// mask ? b : a, lane by lane.
inline V vselect(V mask, V a, V b) {
    return {_mm256_blendv_pd(a.v, b.v, mask.v)};
}
// The processor's single-precision reciprocal-square-root estimate of s, widened.
inline V vrsqrtEstimate(V s) {
    return {_mm256_cvtps_pd(_mm_rsqrt_ps(_mm256_cvtpd_ps(s.v)))};
}
// Splits four interleaved (re, im) pairs at p into their real and imaginary parts.
inline void vloadPairs(const double* p, V& re, V& im) {
    const __m256d a = _mm256_loadu_pd(p), b = _mm256_loadu_pd(p + 4);
    const __m256d lo = _mm256_permute2f128_pd(a, b, 0x20), hi = _mm256_permute2f128_pd(a, b, 0x31);
    re.v = _mm256_unpacklo_pd(lo, hi);
    im.v = _mm256_unpackhi_pd(lo, hi);
}
#else
constexpr int kLanes = 2;
struct V {
    __m128d v;
};
inline V vload(const double* p) {
    return {_mm_loadu_pd(p)};
}
inline void vstore(double* p, V a) {
    _mm_storeu_pd(p, a.v);
}
inline V vset(double x) {
    return {_mm_set1_pd(x)};
}
inline V operator+(V a, V b) {
    return {_mm_add_pd(a.v, b.v)};
}
inline V operator-(V a, V b) {
    return {_mm_sub_pd(a.v, b.v)};
}
inline V operator*(V a, V b) {
    return {_mm_mul_pd(a.v, b.v)};
}
inline V vand(V a, V b) {
    return {_mm_and_pd(a.v, b.v)};
}
inline V vor(V a, V b) {
    return {_mm_or_pd(a.v, b.v)};
}
inline V vxor(V a, V b) {
    return {_mm_xor_pd(a.v, b.v)};
}
inline V vmax(V a, V b) {
    return {_mm_max_pd(a.v, b.v)};
}
inline V vmin(V a, V b) {
    return {_mm_min_pd(a.v, b.v)};
}
inline V vle(V a, V b) {
    return {_mm_cmple_pd(a.v, b.v)};
}
inline V vlt(V a, V b) {
    return {_mm_cmplt_pd(a.v, b.v)};
}
inline V vge(V a, V b) {
    return {_mm_cmpge_pd(a.v, b.v)};
}
inline int vmovemask(V m) {
    return _mm_movemask_pd(m.v);
}
inline V vselect(V mask, V a, V b) {
    return {_mm_or_pd(_mm_andnot_pd(mask.v, a.v), _mm_and_pd(mask.v, b.v))};
}
inline V vrsqrtEstimate(V s) {
    return {_mm_cvtps_pd(_mm_rsqrt_ps(_mm_cvtpd_ps(s.v)))};
}
inline void vloadPairs(const double* p, V& re, V& im) {
    const __m128d a = _mm_loadu_pd(p), b = _mm_loadu_pd(p + 2);
    re.v = _mm_unpacklo_pd(a, b);
    im.v = _mm_unpackhi_pd(a, b);
}
#endif

#if DSP_SLOT == 5
constexpr bool kFusedSlot = true;
inline V vmadd(V a, V b, V c) {
    return {_mm256_fmadd_pd(a.v, b.v, c.v)};
}
#else
constexpr bool kFusedSlot = false;
inline V vmadd(V a, V b, V c) {
    return a * b + c;
}
#endif

inline V vbits(uint64_t b) {
    double d;
    memcpy(&d, &b, sizeof d);
    return vset(d);
}
inline V vabs(V a) {
    return vand(a, vbits(0x7FFFFFFFFFFFFFFFull));
}
inline V vsign(V a) {
    return vand(a, vbits(0x8000000000000000ull));
}

// Lane access through memory; the kernels use it for table rows and per-lane bit tests.
inline void vlanes(V a, double* out) {
    vstore(out, a);
}
inline void vlaneBits(V a, uint64_t* out) {
    double t[kLanes];
    vstore(t, a);
    memcpy(out, t, sizeof t);
}
inline V vfromLanes(const double* in) {
    return vload(in);
}

// The lowest bit of each lane moved to the sign position (the parity of a shifter sum).
inline V vlowBitToSign(V t) {
#if DSP_SLOT == 4
    const __m128i lo = _mm_slli_epi64(_mm_castpd_si128(_mm256_castpd256_pd128(t.v)), 63);
    const __m128i hi = _mm_slli_epi64(_mm_castpd_si128(_mm256_extractf128_pd(t.v, 1)), 63);
    return {_mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_castsi128_pd(lo)), _mm_castsi128_pd(hi),
                                 1)};
#elif DSP_SLOT == 5
    return {_mm256_castsi256_pd(_mm256_slli_epi64(_mm256_castpd_si256(t.v), 63))};
#else
    return {_mm_castsi128_pd(_mm_slli_epi64(_mm_castpd_si128(t.v), 63))};
#endif
}

// The low bits (mask) of each lane's bit pattern, as row indices.
inline void vrowIndex(V t, uint64_t mask, int* idx) {
    uint64_t b[kLanes];
    vlaneBits(t, b);
    for (int l = 0; l < kLanes; ++l) idx[l] = static_cast<int>(b[l] & mask);
}

// Column `col` of rows idx[0..kLanes-1] of a table of four-double rows.
inline V vgatherColumn(const double (*table)[4], const int* idx, int col) {
    double t[kLanes];
    for (int l = 0; l < kLanes; ++l) t[l] = table[idx[l]][col];
    return vload(t);
}

}  // namespace
