// Scale in place, scale, product and complex magnitude of one CPU slot. Every result element
// is one IEEE double multiplication, so all slots give bit-identical results; they differ in
// blocking and store strategy only.
#include "dsp/internal.h"
#include "dsp/vec.h"
#include "dsp/vecmath/fpenv.h"

namespace {

// The second operand: a constant or an array.
inline double elem(double c, size_t) {
    return c;
}
inline double elem(const double* p, size_t i) {
    return ld1(p + i);
}

// The IEEE double product. Where slot 0 computes doubles on the x87 (the 32-bit build), at the
// 53-bit precision that the kernel pins, a product in the subnormal range of doubles would round
// twice (to 53 bits, then to the subnormal when stored), so it is made again on an operand
// scaled by the difference of the two formats' exponent biases: the extended format's own
// subnormals then round at the very bit where doubles do, and scaling back is exact.
inline double mulDouble(double a, double b) {
    if constexpr (kSlot.x87 && DSP_X87_DOUBLES) {
        constexpr long double kDown = 0x1p-15360L, kUp = 0x1p15360L, kSmallest = 0x1p-1022L;
        const long double p = static_cast<long double>(a) * b;
        if (p == 0 || !(p < kSmallest && p > -kSmallest)) return static_cast<double>(p);
        return static_cast<double>(((static_cast<long double>(a) * kDown) * b) * kUp);
    } else {
        return a * b;
    }
}

template <typename B>
inline void mulOne(const double* a, B b, double* d, size_t i) {
    st1(d + i, mulDouble(ld1(a + i), elem(b, i)));
}

#if DSP_SLOT == 0

// Two elements per step, then the odd last one.
template <typename B>
void mulKernel(const double* a, B b, double* d, size_t n) {
    const FpDoubleScope doubles(false);
    size_t i = 0;
    for (; i + 2 <= n; i += 2) {
        const double x0 = mulDouble(ld1(a + i), elem(b, i));
        const double x1 = mulDouble(ld1(a + i + 1), elem(b, i + 1));
        st1(d + i, x0);
        st1(d + i + 1, x1);
    }
    if (i < n) mulOne(a, b, d, i);
}

#else

inline V vec(double, V c, size_t, bool) {
    return c;
}
inline V vec(const double* p, V, size_t i, bool alignedLoad) {
    return alignedLoad ? vload(p + i) : vloadu(p + i);
}
inline V splat(double c) {
    return vset(c);
}
inline V splat(const double*) {
    return vset(0.0);
}
inline bool alignedAt(double, size_t, uintptr_t) {
    return true;
}
inline bool alignedAt(const double* p, size_t i, uintptr_t a) {
    return aligned(p + i, a);
}
inline void prefetchNta(double, size_t, size_t) {}
inline void prefetchNta(const double* p, size_t i, size_t byteOffset) {
    prefetchNta(reinterpret_cast<const char*>(p + i) + byteOffset);
}

#endif

#if DSP_SLOT >= 1 && DSP_SLOT <= 3

// Store strategy thresholds: slot 1 prefetches and streams earlier than slots 2 and 3.
constexpr size_t kPrefetchAbove = DSP_SLOT == 1 ? 65536 : 131072;   // elements in groups
constexpr size_t kStreamFromGroups = DSP_SLOT == 1 ? 5461 : 10922;  // groups of four

enum class Strategy { Plain, PrefetchInPlace, Stream };

// The SSE2 kernel: fewer than 5 elements one at a time; a dst that is not 8-byte aligned in
// groups of four 8-byte accesses; otherwise one element to reach 16 bytes, then groups of four
// with 16-byte accesses (aligned loads where the source is aligned too), then the rest. The
// kernel routines below name their strategy; the default serves only the operations' call of
// the other slots' loop, which this slot compiles but never takes.
template <typename B>
void mulKernel(const double* a, B b, double* d, size_t n, Strategy strategy = Strategy::Plain) {
    if (n < 5) {
        for (size_t i = 0; i < n; ++i) mulOne(a, b, d, i);
        return;
    }
    size_t i = 0;
    if (!aligned(d, 8)) {
        for (; i + 4 <= n; i += 4) {
            const double x0 = ld1(a + i) * elem(b, i), x1 = ld1(a + i + 1) * elem(b, i + 1);
            const double x2 = ld1(a + i + 2) * elem(b, i + 2), x3 = ld1(a + i + 3) * elem(b, i + 3);
            st1(d + i, x0);
            st1(d + i + 1, x1);
            st1(d + i + 2, x2);
            st1(d + i + 3, x3);
        }
        for (; i < n; ++i) mulOne(a, b, d, i);
        return;
    }
    if (!aligned(d, 16)) mulOne(a, b, d, i++);
    const size_t groups = (n - i) / 4;
    const bool alignedA = aligned(a + i, 16), alignedB = alignedAt(b, i, 16);
    const V cb = splat(b);
    const bool stream = strategy == Strategy::Stream && groups >= kStreamFromGroups;
    const bool prefetch = strategy == Strategy::PrefetchInPlace && groups * 4 > kPrefetchAbove;
    if (stream) {
        DSP_TRACE(dspTraceMulStream);
        for (size_t g = 0; g < groups; ++g, i += 4) {
            prefetchNta(a, i, 64);
            prefetchNta(b, i, 64);
            const V x0 = vec(a, cb, i, alignedA) * vec(b, cb, i, alignedB);
            const V x1 = vec(a, cb, i + 2, alignedA) * vec(b, cb, i + 2, alignedB);
            vstream(d + i, x0);
            vstream(d + i + 2, x1);
        }
        // Non-temporal stores are weakly ordered: fence them like the fill, zero and copy do,
        // so the product is visible before any later store of this thread.
        fence();
    } else {
        if (prefetch) DSP_TRACE(dspTraceMulPrefetch);
        for (size_t g = 0; g < groups; ++g, i += 4) {
            if (prefetch) prefetchNta(a, i, 64);  // 32 bytes past this group
            const V x0 = vec(a, cb, i, alignedA) * vec(b, cb, i, alignedB);
            const V x1 = vec(a, cb, i + 2, alignedA) * vec(b, cb, i + 2, alignedB);
            vstore(d + i, x0);
            vstore(d + i + 2, x1);
        }
    }
    for (; i < n; ++i) mulOne(a, b, d, i);
}

#elif DSP_SLOT >= 4

// The AVX loop: from 16 elements with an 8-byte aligned dst, single elements up to 32 bytes,
// blocks of 16, groups of 4, single elements; otherwise unaligned groups of 4 and singles.
template <typename B>
void mulKernel(const double* a, B b, double* d, size_t n) {
    const V cb = splat(b);
    size_t i = 0;
    if (n >= 16 && aligned(d, 8)) {
        for (; !aligned(d + i, 32) && i < n; ++i) mulOne(a, b, d, i);
        for (; i + 16 <= n; i += 16) {
            const V x0 = vloadu(a + i) * vec(b, cb, i, false);
            const V x1 = vloadu(a + i + 4) * vec(b, cb, i + 4, false);
            const V x2 = vloadu(a + i + 8) * vec(b, cb, i + 8, false);
            const V x3 = vloadu(a + i + 12) * vec(b, cb, i + 12, false);
            vstore(d + i, x0);
            vstore(d + i + 4, x1);
            vstore(d + i + 8, x2);
            vstore(d + i + 12, x3);
        }
        for (; i + 4 <= n; i += 4) vstore(d + i, vloadu(a + i) * vec(b, cb, i, false));
    } else {
        for (; i + 4 <= n; i += 4) vstoreu(d + i, vloadu(a + i) * vec(b, cb, i, false));
    }
    for (; i < n; ++i) mulOne(a, b, d, i);
}

#endif

// The three operations through the slot's kernel: its kernel routine where the routine list
// gives the slot one (slots 1 to 3, each routine with its store strategy), else the loop above.
void scaleInPlace(double value, double* srcDst, int len) {
    if constexpr (DSP_SLOT_HAS(dspMulConstInPlaceKernel)) {
        DSP_SLOT_BODY(dspMulConstInPlaceKernel)(value, srcDst, len);
    } else {
        mulKernel(srcDst, value, srcDst, static_cast<size_t>(len));
    }
}

void scale(const double* src, double value, double* dst, int len) {
    if constexpr (DSP_SLOT_HAS(dspMulConstKernel)) {
        DSP_SLOT_BODY(dspMulConstKernel)(src, value, dst, len);
    } else {
        mulKernel(src, value, dst, static_cast<size_t>(len));
    }
}

void product(const double* src1, const double* src2, double* dst, int len) {
    if constexpr (DSP_SLOT_HAS(dspMulKernel)) {
        DSP_SLOT_BODY(dspMulKernel)(src1, src2, dst, len);
    } else {
        mulKernel(src1, src2, dst, static_cast<size_t>(len));
    }
}

}  // namespace

extern "C" {

#if DSP_SLOT >= 1 && DSP_SLOT <= 3
void DSP_CALL DSP_SLOT_NAME(dspMulConstInPlaceKernel)(double value, double* srcDst, int len) {
    mulKernel(srcDst, value, srcDst, static_cast<size_t>(len), Strategy::PrefetchInPlace);
}
void DSP_CALL DSP_SLOT_NAME(dspMulConstKernel)(const double* src, double value, double* dst,
                                               int len) {
    mulKernel(src, value, dst, static_cast<size_t>(len), Strategy::Plain);
}
void DSP_CALL DSP_SLOT_NAME(dspMulKernel)(const double* src1, const double* src2, double* dst,
                                          int len) {
    mulKernel(src1, src2, dst, static_cast<size_t>(len), Strategy::Stream);
}
#endif

DspStatus DSP_CALL DSP_SLOT_NAME(dspMulConstInPlace64f)(double value, double* srcDst, int len) {
    if (!srcDst) return dspErrNullPtr;
    if (len < 1) return dspErrSize;
    if (value == 1.0) return dspOk;
    // -0.0 compares equal too: the zero fill stores +0.0, also over Inf and NaN elements.
    if (value == 0.0) return DSP_SLOT_NAME(dspZero64f)(srcDst, len);
    scaleInPlace(value, srcDst, len);
    return dspOk;
}

DspStatus DSP_CALL DSP_SLOT_NAME(dspMulConst64f)(const double* src, double value, double* dst,
                                                 int len) {
    if (!src || !dst) return dspErrNullPtr;
    if (len < 1) return dspErrSize;
    if (value == 1.0) return src == dst ? dspOk : DSP_SLOT_NAME(dspCopy64f)(src, dst, len);
    if (value == 0.0) return DSP_SLOT_NAME(dspZero64f)(dst, len);
    scale(src, value, dst, len);
    return dspOk;
}

DspStatus DSP_CALL DSP_SLOT_NAME(dspMul64f)(const double* src1, const double* src2, double* dst,
                                            int len) {
    if (!src1 || !src2 || !dst) return dspErrNullPtr;
    if (len < 1) return dspErrSize;
    product(src1, src2, dst, len);
    return dspOk;
}

// The vector-math entry of the slot checks and computes; its status is the result.
DspStatus DSP_CALL DSP_SLOT_NAME(dspMagnitude64fc)(const double* src, double* dst, int len) {
    return DSP_SLOT_NAME(dspVecAbs64fc)(src, dst, len);
}

}  // extern "C"
