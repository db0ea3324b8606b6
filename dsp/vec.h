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
//       vandnot(m, a) (a where m is clear).
//       vfma(a, b, c) = a * b + c and vfms(a, b, c) = a * b - c rounded once, vfmaddsub /
//       vfmsubadd (the even lanes a * b - c or + c, the odd lanes the other): slot 5 only, and
//       only where a kernel asks for them by name; everywhere else a product and a sum are two
//       roundings.
//       The 256-bit slots (4, 5) also move lanes across the 128-bit halves: vjoinLow / vjoinHigh
//       (the low or high halves of two vectors), vswapHalves, vswapMiddle (lanes 0, 2, 1, 3),
//       vtranspose4 (four vectors as the rows of a 4 x 4 matrix), vdupEven / vdupOdd, vblendOdd
//       (the even lanes of one vector, the odd lanes of another), vblendHigh (the low half of
//       one vector, the high half of another), vaddsub (even lanes a - b, odd
//       lanes a + b), vsetLanes, vloadHalves / vstoreHalves (two 128-bit halves at two
//       addresses), vlowWord<L> (the low 32 bits of lane L), vhighWordGapAbove (lanes whose high
//       words differ by more than a bound), vselectBySign (a select by the sign bits alone),
//       vfloor (rounded down to a whole number),
//       vbitToSign<n> (bit n to the sign position, slot 5); and VH, one 128-bit half of two
//       float64 lanes (hloadu, hstoreu, hset, + - *, vswapPairs, vnegRe, vnegIm).
//   VI  int64 lanes (slots >= 1; two in slots 1 to 4, four in slot 5): iloadu, istoreu, iset,
//       izero, iadd, iand, ixor, ishl<n>; icmpgt, iselect and the moves by one lane along a
//       row of vectors (imiddle, ilanesUp, ilanesDown) from slot 3 on.
//   VB  byte blocks of the widest store (slots >= 1; 16 bytes, 32 in slots 4, 5): bloadu, bstoreu,
//       bstore, bstream, bzero, bset64; B16 the 16-byte block in every SSE slot.
//   S16 eight int16 lanes in a 16-byte block (slots >= 1): s16set, s16subSat, s16mulLo /
//       s16mulHi (the low or high 16 bits of the 32-bit products), s16unpackLo / s16unpackHi
//       (the lanes of the low or high halves of two blocks, alternating), and as four int32
//       lanes i32set, i32add, i32sra<n> (arithmetic shift), s32packSat (eight int32 lanes of two
//       blocks into int16 lanes with saturation), i32shl<n>, s16reverse / i32reverse (the lanes
//       in reverse order), b16blend (bits of one block where a mask is set, of another
//       elsewhere); and between samples and doubles, i32storeScaled (four int32 lanes as
//       doubles times a scale) and i32loadScaled16 (four doubles times a scale, NaN to 0,
//       clamped to the int16 range and truncated, as int32 lanes).
//   fence (after non-temporal stores), prefetchNta, prefetchT0, rsqrtEstimate1 (one float,
//   slots >= 1).
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
inline V vandnot(V mask, V a) {
    return {_mm256_andnot_pd(mask.v, a.v)};
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
// Bit kBit of each lane moved to the sign position, every other bit clear (slot 5).
#if DSP_SLOT == 5
template <int kBit>
inline V vbitToSign(V t) {
    const __m256i sign = _mm256_set1_epi64x(static_cast<long long>(0x8000000000000000ull));
    return {_mm256_castsi256_pd(
        _mm256_and_si256(_mm256_slli_epi64(_mm256_castpd_si256(t.v), 63 - kBit), sign))};
}
#endif
// The largest whole number not above each lane (infinities, zeros and NaN unchanged).
inline V vfloor(V a) {
    return {_mm256_floor_pd(a.v)};
}
// b where the sign bit of signs is set, a elsewhere (lane by lane).
inline V vselectBySign(V signs, V a, V b) {
    return {_mm256_blendv_pd(a.v, b.v, signs.v)};
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

// Lane moves across the 128-bit halves, and the halves themselves.
// (a0, a1, b0, b1) and (a2, a3, b2, b3).
inline V vjoinLow(V a, V b) {
    return {_mm256_permute2f128_pd(a.v, b.v, 0x20)};
}
inline V vjoinHigh(V a, V b) {
    return {_mm256_permute2f128_pd(a.v, b.v, 0x31)};
}
// (a2, a3, a0, a1).
inline V vswapHalves(V a) {
    return {_mm256_permute2f128_pd(a.v, a.v, 0x01)};
}
// (a0, a2, a1, a3): one permutation with AVX2, three moves with AVX alone.
inline V vswapMiddle(V a) {
#if DSP_SLOT == 5
    return {_mm256_permute4x64_pd(a.v, 0xD8)};
#else
    const __m256d turned = _mm256_permute2f128_pd(a.v, a.v, 0x01);
    return {_mm256_blend_pd(a.v, _mm256_permute_pd(turned, 0x4), 0x6)};
#endif
}
// The rows a, b, c, d of a 4 x 4 matrix become its columns.
inline void vtranspose4(V& a, V& b, V& c, V& d) {
    const __m256d ab0 = _mm256_unpacklo_pd(a.v, b.v), ab1 = _mm256_unpackhi_pd(a.v, b.v);
    const __m256d cd0 = _mm256_unpacklo_pd(c.v, d.v), cd1 = _mm256_unpackhi_pd(c.v, d.v);
    a.v = _mm256_permute2f128_pd(ab0, cd0, 0x20);
    b.v = _mm256_permute2f128_pd(ab1, cd1, 0x20);
    c.v = _mm256_permute2f128_pd(ab0, cd0, 0x31);
    d.v = _mm256_permute2f128_pd(ab1, cd1, 0x31);
}
// (a0, a0, a2, a2) and (a1, a1, a3, a3).
inline V vdupEven(V a) {
    return {_mm256_permute_pd(a.v, 0x0)};
}
inline V vdupOdd(V a) {
    return {_mm256_permute_pd(a.v, 0xF)};
}
// (a0, b1, a2, b3).
inline V vblendOdd(V a, V b) {
    return {_mm256_blend_pd(a.v, b.v, 0xA)};
}
// (a0, a1, b2, b3).
inline V vblendHigh(V a, V b) {
    return {_mm256_blend_pd(a.v, b.v, 0xC)};
}
// (a0 - b0, a1 + b1, a2 - b2, a3 + b3).
inline V vaddsub(V a, V b) {
    return {_mm256_addsub_pd(a.v, b.v)};
}
inline V vsetLanes(double l0, double l1, double l2, double l3) {
    return {_mm256_setr_pd(l0, l1, l2, l3)};
}
// Lanes 0, 1 from lo and lanes 2, 3 from hi, as two 128-bit accesses; and back.
inline V vloadHalves(const double* lo, const double* hi) {
    return {_mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(lo)), _mm_loadu_pd(hi), 1)};
}
inline void vstoreHalves(double* lo, double* hi, V a) {
    _mm_storeu_pd(lo, _mm256_castpd256_pd128(a.v));
    _mm_storeu_pd(hi, _mm256_extractf128_pd(a.v, 1));
}
// The low 32 bits of lane L's bit pattern.
template <int L>
inline int32_t vlowWord(V a) {
    const __m128i half =
        _mm_castpd_si128(L < 2 ? _mm256_castpd256_pd128(a.v) : _mm256_extractf128_pd(a.v, 1));
    if constexpr (L % 2 == 0) {
        return _mm_cvtsi128_si32(half);
    } else {
        return _mm_extract_epi32(half, 2);
    }
}
// All ones in the lanes where the high 32 bits of a less those of b (as int32, wrapping) exceed
// bound. The high words go side by side into one 128-bit vector, so that SSE2's 32-bit
// integer operations do the test without the lanes leaving the registers (AVX has no 256-bit
// integer compare).
inline V vhighWordGapAbove(V a, V b, int32_t bound) {
    const __m256 fa = _mm256_castpd_ps(a.v), fb = _mm256_castpd_ps(b.v);
    const __m128i ah = _mm_castps_si128(_mm_shuffle_ps(
        _mm256_castps256_ps128(fa), _mm256_extractf128_ps(fa, 1), _MM_SHUFFLE(3, 1, 3, 1)));
    const __m128i bh = _mm_castps_si128(_mm_shuffle_ps(
        _mm256_castps256_ps128(fb), _mm256_extractf128_ps(fb, 1), _MM_SHUFFLE(3, 1, 3, 1)));
    const __m128i gap = _mm_cmpgt_epi32(_mm_sub_epi32(ah, bh), _mm_set1_epi32(bound));
    return {_mm256_castsi256_pd(_mm256_insertf128_si256(
        _mm256_castsi128_si256(_mm_unpacklo_epi32(gap, gap)), _mm_unpackhi_epi32(gap, gap), 1))};
}

// One 128-bit half: two float64 lanes, for the few steps that work on two values.
struct VH {
    __m128d v;
};
inline VH hloadu(const double* p) {
    return {_mm_loadu_pd(p)};
}
inline void hstoreu(double* p, VH a) {
    _mm_storeu_pd(p, a.v);
}
inline VH hset(double x) {
    return {_mm_set1_pd(x)};
}
inline VH operator+(VH a, VH b) {
    return {_mm_add_pd(a.v, b.v)};
}
inline VH operator-(VH a, VH b) {
    return {_mm_sub_pd(a.v, b.v)};
}
inline VH operator*(VH a, VH b) {
    return {_mm_mul_pd(a.v, b.v)};
}
inline VH vswapPairs(VH a) {
    return {_mm_shuffle_pd(a.v, a.v, 0x1)};
}
inline VH vnegRe(VH a) {
    return {_mm_xor_pd(a.v, _mm_setr_pd(-0.0, 0.0))};
}
inline VH vnegIm(VH a) {
    return {_mm_xor_pd(a.v, _mm_setr_pd(0.0, -0.0))};
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
inline V vandnot(V mask, V a) {
    return {_mm_andnot_pd(mask.v, a.v)};
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
inline V vandnot(V mask, V a) {
    return {dfrom(~dbits(mask.v) & dbits(a.v))};
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
inline V vfms(V a, V b, V c) {
    return {_mm256_fmsub_pd(a.v, b.v, c.v)};
}
// Even lanes a b - c, odd lanes a b + c; and the other way round.
inline V vfmaddsub(V a, V b, V c) {
    return {_mm256_fmaddsub_pd(a.v, b.v, c.v)};
}
inline V vfmsubadd(V a, V b, V c) {
    return {_mm256_fmsubadd_pd(a.v, b.v, c.v)};
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
// The lanes of a row of vectors moved by one: imiddle(a, b) is the middle four of the eight
// lanes of a and b (one permutation that two neighbouring moves share); with m = imiddle(prev,
// cur), ilanesUp(m, cur) = (prev[3], cur[0], cur[1], cur[2]); with m = imiddle(cur, next),
// ilanesDown(cur, m) = (cur[1], cur[2], cur[3], next[0]).
inline VI imiddle(VI a, VI b) {
    return _mm256_permute2x128_si256(a, b, 0x21);
}
inline VI ilanesUp(VI middle, VI cur) {
    return _mm256_alignr_epi8(cur, middle, 8);
}
inline VI ilanesDown(VI cur, VI middle) {
    return _mm256_alignr_epi8(middle, cur, 8);
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
// Two lanes: the middle two of a and b already are the lanes moved by one.
inline VI imiddle(VI a, VI b) {
    return _mm_alignr_epi8(b, a, 8);
}
inline VI ilanesUp(VI middle, VI) {
    return middle;
}
inline VI ilanesDown(VI, VI middle) {
    return middle;
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

// int16 and int32 lanes of a 16-byte block.
using S16 = __m128i;
inline S16 s16set(int16_t x) {
    return _mm_set1_epi16(x);
}
inline S16 s16subSat(S16 a, S16 b) {
    return _mm_subs_epi16(a, b);
}
inline S16 s16mulLo(S16 a, S16 b) {
    return _mm_mullo_epi16(a, b);
}
inline S16 s16mulHi(S16 a, S16 b) {
    return _mm_mulhi_epi16(a, b);
}
// (a0, b0, a1, b1, a2, b2, a3, b3) and the same of lanes 4 to 7.
inline S16 s16unpackLo(S16 a, S16 b) {
    return _mm_unpacklo_epi16(a, b);
}
inline S16 s16unpackHi(S16 a, S16 b) {
    return _mm_unpackhi_epi16(a, b);
}
inline S16 i32set(int32_t x) {
    return _mm_set1_epi32(x);
}
inline S16 i32add(S16 a, S16 b) {
    return _mm_add_epi32(a, b);
}
template <int kBits>
inline S16 i32sra(S16 a) {
    return _mm_srai_epi32(a, kBits);
}
// The int32 lanes of a, then of b, as int16 lanes with saturation.
inline S16 s32packSat(S16 a, S16 b) {
    return _mm_packs_epi32(a, b);
}
template <int kBits>
inline S16 i32shl(S16 a) {
    return _mm_slli_epi32(a, kBits);
}
// The eight int16 lanes, or the four int32 lanes, in reverse order.
inline S16 s16reverse(S16 a) {
    return _mm_shuffle_epi32(_mm_shufflehi_epi16(_mm_shufflelo_epi16(a, 0x1B), 0x1B), 0x4E);
}
inline S16 i32reverse(S16 a) {
    return _mm_shuffle_epi32(a, 0x1B);
}
// The bits of b where mask is set, of a elsewhere.
inline S16 b16blend(S16 mask, S16 a, S16 b) {
    return _mm_or_si128(_mm_andnot_si128(mask, a), _mm_and_si128(mask, b));
}
// The four int32 lanes of a as doubles, each times scale (one rounding), stored at p.
inline void i32storeScaled(double* p, S16 a, double scale) {
#if DSP_SLOT >= 4
    _mm256_storeu_pd(p, _mm256_mul_pd(_mm256_cvtepi32_pd(a), _mm256_set1_pd(scale)));
#else
    const __m128d s = _mm_set1_pd(scale);
    _mm_storeu_pd(p, _mm_mul_pd(_mm_cvtepi32_pd(a), s));
    _mm_storeu_pd(p + 2, _mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(a, 0x4E)), s));
#endif
}
// The four doubles at p, each times scale, as int32 lanes in the int16 range: NaN to 0, clamped
// to -32768 .. 32767, then truncated toward zero.
inline S16 i32loadScaled16(const double* p, double scale) {
#if DSP_SLOT >= 4
    const __m256d v = _mm256_mul_pd(_mm256_loadu_pd(p), _mm256_set1_pd(scale));
    const __m256d ordered = _mm256_and_pd(v, _mm256_cmp_pd(v, v, _CMP_ORD_Q));
    return _mm256_cvttpd_epi32(
        _mm256_max_pd(_mm256_min_pd(ordered, _mm256_set1_pd(32767.0)), _mm256_set1_pd(-32768.0)));
#else
    const __m128d s = _mm_set1_pd(scale), hi = _mm_set1_pd(32767.0), lo = _mm_set1_pd(-32768.0);
    const auto half = [&](const double* q) {
        const __m128d v = _mm_mul_pd(_mm_loadu_pd(q), s);
        return _mm_cvttpd_epi32(_mm_max_pd(_mm_min_pd(_mm_and_pd(v, _mm_cmpord_pd(v, v)), hi), lo));
    };
    return _mm_unpacklo_epi64(half(p), half(p + 2));
#endif
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
inline void prefetchT0(const void* p) {
    _mm_prefetch(static_cast<const char*>(p), _MM_HINT_T0);
}
// The processor's reciprocal-square-root estimate of one float.
inline float rsqrtEstimate1(float x) {
    return _mm_cvtss_f32(_mm_rsqrt_ss(_mm_set_ss(x)));
}

#endif  // DSP_SLOT >= 1

}  // namespace
