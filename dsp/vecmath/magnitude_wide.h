// Complex-magnitude kernels of the AVX slots (4 and 5).
//
// The formulas are those of magnitude_simd.h; what differs is how values flow, so that the speed
// does not hang on what the optimiser makes of small stack arrays:
//  - sixteen elements (four vectors of pairs) are read into registers, and the range test of
//    each vector is a pair of comparisons on its sums of squares, folded into one mask per group;
//  - only a vector holding a flagged lane goes to memory, and only its flagged lanes are
//    recomputed by magnitudeSpecial from the parts already in registers, so dst may equal src.
#pragma once

#include "dsp/vecmath/magnitude_simd.h"

namespace {

constexpr int kMagFlight = 4;                       // vectors in flight
constexpr int kMagWideGroup = kMagFlight * kLanes;  // elements per group

// Where the lane permutation is one instruction (AVX2), the pairs are split in the lane order
// 0, 2, 1, 3 and put back in order by it.
constexpr bool kMagLanesReordered = kSlot.isa == DspIsa::avx2fma;

// The flagged lanes of one vector, from its kLanes pairs at src (read again rather than kept in
// registers through the group: nothing has been stored yet, so they are still there even when
// dst is src).
__attribute__((noinline)) V magnitudeFixLanes(const double* src, V y, int flagged) {
    static constexpr int kElement[4] = {0, kMagLanesReordered ? 2 : 1, kMagLanesReordered ? 1 : 2,
                                        3};
    double ys[kLanes];
    vlanes(y, ys);
    for (int l = 0; l < kLanes; ++l) {
        const int e = kElement[l];
        if (flagged >> l & 1)
            ys[l] = magnitudeSpecial<kFusedSlot>(ld1(src + 2 * e), ld1(src + 2 * e + 1));
    }
    return vloadu(ys);
}

// kMagWideGroup elements from src pairs to dst. All parts are in registers before anything is
// stored.
template <int kAcc>
DSP_MAG_INLINE void magnitudeWideGroup(const double* src, double* dst) {
    constexpr int kAll = (1 << kLanes) - 1;
    V y[kMagFlight], ok[kMagFlight];
#pragma GCC unroll 4
    for (int v = 0; v < kMagFlight; ++v) {
        V re, im;
        if constexpr (kMagLanesReordered) {
            // Lanes in the order 0, 2, 1, 3 (one shuffle per part); the result is put back in
            // order by one permutation.
            const V a = vloadu(src + 2 * kLanes * v), b = vloadu(src + 2 * kLanes * v + 4);
            re = vunpackLo(a, b);
            im = vunpackHi(a, b);
        } else {
            vdeinterleave(src + 2 * kLanes * v, re, im);
        }
        V s;
        y[v] = magnitudeFast<kAcc>(re, im, s);
        // Ordered comparisons: a NaN sum fails both and is flagged.
        ok[v] = vand(vge(s, vbits(kMagFastLow)), vlt(s, vbits(kMagFastHigh)));
    }
    const V all = vand(vand(ok[0], ok[1]), vand(ok[2], ok[3]));
    if (__builtin_expect(vmovemask(all) != kAll, 0)) {
        for (int v = 0; v < kMagFlight; ++v) {
            const int flagged = vmovemask(ok[v]) ^ kAll;
            if (flagged) y[v] = magnitudeFixLanes(src + 2 * kLanes * v, y[v], flagged);
        }
    }
#pragma GCC unroll 4
    for (int v = 0; v < kMagFlight; ++v) {
        if constexpr (kMagLanesReordered) y[v] = vswapMiddle(y[v]);
        vstoreu(dst + kLanes * v, y[v]);
    }
}

// The frame: checks, control state, whole groups, and the last n mod 16 elements as one group
// padded with (1, 0) pairs.
template <int kAcc>
DspStatus magnitudeWideKernel(const double* src, double* dst, int n) {
    if (n < 1) return dspErrSize;
    if (src == nullptr || dst == nullptr) return dspErrNullPtr;
    FpControlScope<false, true> fp(0);
    int i = 0;
    for (; i + kMagWideGroup <= n; i += kMagWideGroup) {
        magnitudeWideGroup<kAcc>(src + 2 * static_cast<int64_t>(i), dst + i);
    }
    if (i < n) {
        double in[2 * kMagWideGroup], out[kMagWideGroup];
        for (int l = 0; l < kMagWideGroup; ++l) {
            in[2 * l] = 1.0;
            in[2 * l + 1] = 0.0;
        }
        const size_t count = static_cast<size_t>(n - i);
        memcpy(in, src + 2 * static_cast<int64_t>(i), 2 * sizeof(double) * count);
        magnitudeWideGroup<kAcc>(in, out);
        memcpy(dst + i, out, sizeof(double) * count);
    }
    fp.leave();
    return dspOk;
}

}  // namespace
