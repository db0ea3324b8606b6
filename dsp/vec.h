// The vector vocabulary of corvane-dsp: every processor-specific instruction of the kernels is
// reached through these few types and functions, and the kernels are written once against them.
//
// Included only by sources compiled per slot (dsp/CMakeLists.txt, corvane_dsp_family); each slot
// compiles its own instantiation with its own flags. Everything sits in an anonymous namespace so
// that no instruction of a faster slot reaches a slower one through a shared inline function.
// The lanes of every slot are checked by dsp/vec_selftest.slots.cpp before the kernel tests run.
//
//   V   float64 lanes: kLanes = 1 (slot 0, scalar), 2 (slots 1 to 3, SSE2), 4 (slots 4, 5, AVX).
//       vset, vzero, vloadu / vload (aligned), vstoreu / vstore (aligned) / vstream (slots >= 1),
//       + - *, vand vor vxor, vmin vmax (the second operand where unordered), vle vlt vge (all
//       ones where true, false for NaN), vmovemask (sign of each lane), vselect, vbits, vabs,
//       vsign, vneg, vlanes / vlaneBits (to memory), vlowBitToSign, vrsqrtEstimate (slots >= 1).
//       Complex pairs (kLanes >= 2): vdeinterleave / vinterleave (kLanes pairs re, im), vswapPairs
//       (re <-> im in each pair), vnegRe / vnegIm (sign flip of the real or imaginary parts),
//       vunpackLo / vunpackHi (the even or odd lanes of two vectors, alternating, within each
//       128-bit half), vreverse (the lanes in reverse order).
//       vfma(a, b, c) = a * b + c rounded once: slot 5 only, and only where a kernel asks for it
//       by name; everywhere else a product and a sum are two roundings.
//   VI  int64 lanes (slots >= 1; two in slots 1 to 4, four in slot 5): iloadu, istoreu, iset,
//       izero, iadd, iand, ixor, ishl<n>; icmpgt and iselect from slot 3 on.
//   VB  byte blocks of the widest store (slots >= 1; 16 bytes, 32 in slots 4, 5): bloadu, bstoreu,
//       bstore, bstream, bzero, bset64; B16 the 16-byte block in every SSE slot.
//   fence (after non-temporal stores), prefetchNta, rsqrtEstimate1 (one float, slots >= 1).
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

// ---------------------------------------------------------------------------------------------
// float64 lanes.

#if DSP_SLOT >= 4

constexpr int kLanes = 4;
struct V {
    __m256d v;
};
inline V vset(double x) {
    return {_mm256_set1_pd(x)};
}
inline V vzero() {
    return {_mm256_setzero_pd()};
}
inline V vloadu(const double* p) {
    return {_mm256_loadu_pd(p)};
}
inline V vload(const double* p) {
    return {_mm256_load_pd(p)};
}
inline void vstoreu(double* p, V a) {
    _mm256_storeu_pd(p, a.v);
}
inline void vstore(double* p, V a) {
    _mm256_store_pd(p, a.v);
}
inline void vstream(double* p, V a) {
    _mm256_stream_pd(p, a.v);
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
// mask ? b : a, lane by lane (mask lanes all ones or all zeros).
inline V vselect(V mask, V a, V b) {
    return {_mm256_blendv_pd(a.v, b.v, mask.v)};
}
// The processor's single-precision reciprocal-square-root estimate of s, widened.
inline V vrsqrtEstimate(V s) {
    return {_mm256_cvtps_pd(_mm_rsqrt_ps(_mm256_cvtpd_ps(s.v)))};
}
// The lowest bit of each lane moved to the sign position (the parity of a shifter sum).
inline V vlowBitToSign(V t) {
#if DSP_SLOT == 4
    const __m128i lo = _mm_slli_epi64(_mm_castpd_si128(_mm256_castpd256_pd128(t.v)), 63);
    const __m128i hi = _mm_slli_epi64(_mm_castpd_si128(_mm256_extractf128_pd(t.v, 1)), 63);
    return {_mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_castsi128_pd(lo)), _mm_castsi128_pd(hi),
                                 1)};
#else
    return {_mm256_castsi256_pd(_mm256_slli_epi64(_mm256_castpd_si256(t.v), 63))};
#endif
}
// Four (re, im) pairs at p split into their real and imaginary parts, and back.
inline void vdeinterleave(const double* p, V& re, V& im) {
    const __m256d a = _mm256_loadu_pd(p), b = _mm256_loadu_pd(p + 4);
    const __m256d lo = _mm256_permute2f128_pd(a, b, 0x20), hi = _mm256_permute2f128_pd(a, b, 0x31);
    re.v = _mm256_unpacklo_pd(lo, hi);
    im.v = _mm256_unpackhi_pd(lo, hi);
}
inline void vinterleave(double* p, V re, V im) {
    const __m256d lo = _mm256_unpacklo_pd(re.v, im.v), hi = _mm256_unpackhi_pd(re.v, im.v);
    _mm256_storeu_pd(p, _mm256_permute2f128_pd(lo, hi, 0x20));
    _mm256_storeu_pd(p + 4, _mm256_permute2f128_pd(lo, hi, 0x31));
}
inline V vswapPairs(V a) {
    return {_mm256_permute_pd(a.v, 0x5)};
}
// (a0, b0, a2, b2) and (a1, b1, a3, b3).
inline V vunpackLo(V a, V b) {
    return {_mm256_unpacklo_pd(a.v, b.v)};
}
inline V vunpackHi(V a, V b) {
    return {_mm256_unpackhi_pd(a.v, b.v)};
}
inline V vreverse(V a) {
    return {_mm256_permute_pd(_mm256_permute2f128_pd(a.v, a.v, 0x01), 0x5)};
}

#elif DSP_SLOT >= 1

constexpr int kLanes = 2;
struct V {
    __m128d v;
};
inline V vset(double x) {
    return {_mm_set1_pd(x)};
}
inline V vzero() {
    return {_mm_setzero_pd()};
}
inline V vloadu(const double* p) {
    return {_mm_loadu_pd(p)};
}
inline V vload(const double* p) {
    return {_mm_load_pd(p)};
}
inline void vstoreu(double* p, V a) {
    _mm_storeu_pd(p, a.v);
}
inline void vstore(double* p, V a) {
    _mm_store_pd(p, a.v);
}
inline void vstream(double* p, V a) {
    _mm_stream_pd(p, a.v);
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
inline V vlowBitToSign(V t) {
    return {_mm_castsi128_pd(_mm_slli_epi64(_mm_castpd_si128(t.v), 63))};
}
// Two (re, im) pairs at p split into their real and imaginary parts, and back.
inline void vdeinterleave(const double* p, V& re, V& im) {
    const __m128d a = _mm_loadu_pd(p), b = _mm_loadu_pd(p + 2);
    re.v = _mm_unpacklo_pd(a, b);
    im.v = _mm_unpackhi_pd(a, b);
}
inline void vinterleave(double* p, V re, V im) {
    _mm_storeu_pd(p, _mm_unpacklo_pd(re.v, im.v));
    _mm_storeu_pd(p + 2, _mm_unpackhi_pd(re.v, im.v));
}
inline V vswapPairs(V a) {
    return {_mm_shuffle_pd(a.v, a.v, 0x1)};
}
// (a0, b0) and (a1, b1).
inline V vunpackLo(V a, V b) {
    return {_mm_unpacklo_pd(a.v, b.v)};
}
inline V vunpackHi(V a, V b) {
    return {_mm_unpackhi_pd(a.v, b.v)};
}
inline V vreverse(V a) {
    return {_mm_shuffle_pd(a.v, a.v, 0x1)};
}

#else

// Slot 0: one lane, plain double arithmetic (x87 on targets without SSE2).
constexpr int kLanes = 1;
struct V {
    double v;
};
inline V vset(double x) {
    return {x};
}
inline V vzero() {
    return {0.0};
}
inline V vloadu(const double* p) {
    return {ld1(p)};
}
inline V vload(const double* p) {
    return {*p};
}
inline void vstoreu(double* p, V a) {
    st1(p, a.v);
}
inline void vstore(double* p, V a) {
    *p = a.v;
}
inline V operator+(V a, V b) {
    return {a.v + b.v};
}
inline V operator-(V a, V b) {
    return {a.v - b.v};
}
inline V operator*(V a, V b) {
    return {a.v * b.v};
}
inline V vand(V a, V b) {
    return {dfrom(dbits(a.v) & dbits(b.v))};
}
inline V vor(V a, V b) {
    return {dfrom(dbits(a.v) | dbits(b.v))};
}
inline V vxor(V a, V b) {
    return {dfrom(dbits(a.v) ^ dbits(b.v))};
}
inline V vmax(V a, V b) {
    return {a.v > b.v ? a.v : b.v};
}
inline V vmin(V a, V b) {
    return {a.v < b.v ? a.v : b.v};
}
inline V vmask(bool t) {
    return {dfrom(t ? ~uint64_t(0) : 0)};
}
inline V vle(V a, V b) {
    return vmask(a.v <= b.v);
}
inline V vlt(V a, V b) {
    return vmask(a.v < b.v);
}
inline V vge(V a, V b) {
    return vmask(a.v >= b.v);
}
inline int vmovemask(V m) {
    return static_cast<int>(dbits(m.v) >> 63);
}
inline V vselect(V mask, V a, V b) {
    return {dfrom((dbits(a.v) & ~dbits(mask.v)) | (dbits(b.v) & dbits(mask.v)))};
}
inline V vlowBitToSign(V t) {
    return {dfrom(dbits(t.v) << 63)};
}

#endif

inline V vbits(uint64_t b) {
    return vset(dfrom(b));
}
inline V vabs(V a) {
    return vand(a, vbits(0x7FFFFFFFFFFFFFFFull));
}
inline V vsign(V a) {
    return vand(a, vbits(0x8000000000000000ull));
}
inline V vneg(V a) {
    return vxor(a, vbits(0x8000000000000000ull));
}
// The lanes in memory, in order: values or bit patterns.
inline void vlanes(V a, double* out) {
    vstoreu(out, a);
}
inline void vlaneBits(V a, uint64_t* out) {
    double t[kLanes];
    vstoreu(t, a);
    memcpy(out, t, sizeof t);
}

#if DSP_SLOT >= 1
// Sign flips of the real (even) or imaginary (odd) lanes of interleaved pairs.
inline V vnegRe(V a) {
    static const double kSigns[4] = {-0.0, 0.0, -0.0, 0.0};
    return vxor(a, vloadu(kSigns));
}
inline V vnegIm(V a) {
    static const double kSigns[4] = {0.0, -0.0, 0.0, -0.0};
    return vxor(a, vloadu(kSigns));
}
#endif

#if DSP_SLOT == 5
inline V vfma(V a, V b, V c) {
    return {_mm256_fmadd_pd(a.v, b.v, c.v)};
}
#endif

// ---------------------------------------------------------------------------------------------
// int64 lanes and byte blocks (the SSE and AVX slots).

#if DSP_SLOT >= 1

#if DSP_SLOT == 5
using VI = __m256i;
inline VI iloadu(const void* p) {
    return _mm256_loadu_si256(static_cast<const VI*>(p));
}
inline void istoreu(void* p, VI a) {
    _mm256_storeu_si256(static_cast<VI*>(p), a);
}
inline VI iset(int64_t x) {
    return _mm256_set1_epi64x(x);
}
inline VI izero() {
    return _mm256_setzero_si256();
}
inline VI iadd(VI a, VI b) {
    return _mm256_add_epi64(a, b);
}
inline VI iand(VI a, VI b) {
    return _mm256_and_si256(a, b);
}
inline VI ixor(VI a, VI b) {
    return _mm256_xor_si256(a, b);
}
template <int kBits>
inline VI ishl(VI a) {
    return _mm256_slli_epi64(a, kBits);
}
inline VI icmpgt(VI a, VI b) {
    return _mm256_cmpgt_epi64(a, b);
}
inline VI iselect(VI mask, VI a, VI b) {
    return _mm256_blendv_epi8(a, b, mask);
}
#else
using VI = __m128i;
inline VI iloadu(const void* p) {
    return _mm_loadu_si128(static_cast<const VI*>(p));
}
inline void istoreu(void* p, VI a) {
    _mm_storeu_si128(static_cast<VI*>(p), a);
}
inline VI iset(int64_t x) {
    return _mm_set1_epi64x(x);
}
inline VI izero() {
    return _mm_setzero_si128();
}
inline VI iadd(VI a, VI b) {
    return _mm_add_epi64(a, b);
}
inline VI iand(VI a, VI b) {
    return _mm_and_si128(a, b);
}
inline VI ixor(VI a, VI b) {
    return _mm_xor_si128(a, b);
}
template <int kBits>
inline VI ishl(VI a) {
    return _mm_slli_epi64(a, kBits);
}
#if DSP_SLOT >= 3
inline VI icmpgt(VI a, VI b) {
    return _mm_cmpgt_epi64(a, b);
}
inline VI iselect(VI mask, VI a, VI b) {
    return _mm_blendv_epi8(a, b, mask);
}
#endif
#endif
constexpr int kILanes = static_cast<int>(sizeof(VI) / 8);

using B16 = __m128i;
inline B16 b16loadu(const void* p) {
    return _mm_loadu_si128(static_cast<const B16*>(p));
}
inline void b16storeu(void* p, B16 v) {
    _mm_storeu_si128(static_cast<B16*>(p), v);
}
inline void b16stream(void* p, B16 v) {
    _mm_stream_si128(static_cast<B16*>(p), v);
}
inline B16 b16zero() {
    return _mm_setzero_si128();
}

#if DSP_SLOT >= 4
using VB = __m256i;
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
inline VB bset64(uint64_t pattern) {
    return _mm256_set1_epi64x(static_cast<long long>(pattern));
}
#else
using VB = B16;
inline VB bloadu(const void* p) {
    return b16loadu(p);
}
inline void bstoreu(void* p, VB v) {
    b16storeu(p, v);
}
inline void bstore(void* p, VB v) {
    _mm_store_si128(static_cast<VB*>(p), v);
}
inline void bstream(void* p, VB v) {
    b16stream(p, v);
}
inline VB bzero() {
    return b16zero();
}
inline VB bset64(uint64_t pattern) {
    return _mm_set1_epi64x(static_cast<long long>(pattern));
}
#endif
constexpr size_t kVecBytes = sizeof(VB);

inline void fence() {
    _mm_sfence();
}
inline void prefetchNta(const void* p) {
    _mm_prefetch(static_cast<const char*>(p), _MM_HINT_NTA);
}
// The processor's reciprocal-square-root estimate of one float.
inline float rsqrtEstimate1(float x) {
    return _mm_cvtss_f32(_mm_rsqrt_ss(_mm_set_ss(x)));
}

#endif  // DSP_SLOT >= 1

}  // namespace
