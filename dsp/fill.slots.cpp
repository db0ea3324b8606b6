// Vector fill of one CPU slot: the fill kernels dspFill64_s<n> and the dspSet64f bodies.
// The value travels as its 64-bit pattern and is never an operand of arithmetic, so every
// NaN payload, signalling ones included, is stored as given.
#include "dsp/internal.h"
#include "dsp/small_copy.h"
#include "dsp/vec.h"

namespace {

using u8 = uint8_t;

#if DSP_SLOT == 1

// Slots 1 to 4 stream only above this many values, and only when the array is larger than
// the cache that the leaf-2 descriptors report.
constexpr int kSse2StreamAbove = 131072;

double* fillSse2(uint64_t pattern, double* dst, int count) {
    bool stream = false;
    if (count > kSse2StreamAbove || !aligned(dst, 4)) {
        int cache = 0;
        stream = dspCacheSizeFromDescriptors(&cache) == dspOk && count > cache / 8;
    }
    u8 pat[32];
    for (int i = 0; i < 4; ++i) st64(pat + 8 * i, pattern);
    u8* p = reinterpret_cast<u8*>(dst);
    const size_t n = static_cast<size_t>(count) * 8;
    if (n < 16) {
        st64(p, pattern);  // count == 1
        return dst;
    }
    // Head up to the 16-byte boundary, then the pattern rotated to the phase of that boundary.
    const size_t head = toAlign(p, 16);
    copySmall(pat, p, head);
    const size_t phase = head & 7;
    const VB v = bloadu(pat + phase);
    u8* a = p + head;
    u8* const end = p + n;
    if (stream) {
        DSP_TRACE(dspTraceFillStream);
        for (; end - a >= 64; a += 64) {
            bstream(a, v);
            bstream(a + 16, v);
            bstream(a + 32, v);
            bstream(a + 48, v);
        }
        for (; end - a >= 16; a += 16) bstream(a, v);
    } else {
        for (; end - a >= 64; a += 64) {
            bstore(a, v);
            bstore(a + 16, v);
            bstore(a + 32, v);
            bstore(a + 48, v);
        }
        for (; end - a >= 16; a += 16) bstore(a, v);
    }
    copySmall(pat + phase, a, static_cast<size_t>(end - a));
    if (stream) fence();
    return dst;
}

#endif

#if DSP_SLOT == 5

constexpr int kAvxStreamAbove = 262144;

double* fillAvx2(uint64_t pattern, double* dst, int count) {
    u8* p = reinterpret_cast<u8*>(dst);
    size_t n = static_cast<size_t>(count);
    const VB v = bset64(pattern);
    if (count > kAvxStreamAbove && aligned(p, 8)) {
        int cache = 0;
        if (dspGetMaxCacheSize(&cache) == dspOk && count > cache / 8) {
            DSP_TRACE(dspTraceFillStream);
            for (; !aligned(p, 64); p += 8, --n) st64(p, pattern);
            for (; n >= 16; n -= 16, p += 128) {
                bstream(p, v);
                bstream(p + 32, v);
                bstream(p + 64, v);
                bstream(p + 96, v);
            }
            if (n >= 8) {
                bstream(p, v);
                bstream(p + 32, v);
                p += 64;
                n -= 8;
            }
            fence();
            for (; n > 0; --n, p += 8) st64(p, pattern);
            return dst;
        }
    }
    if (n >= 8 && n <= 14) {
        bstoreu(p, v);
        bstoreu(p + 32, v);
        p += 64;
        n -= 8;
    } else if (n >= 15 && aligned(p, 8)) {
        for (; !aligned(p, 32); p += 8, --n) st64(p, pattern);
        for (; n >= 8; n -= 8, p += 64) {
            bstore(p, v);
            bstore(p + 32, v);
        }
    }
    for (; n > 0; --n, p += 8) st64(p, pattern);
    return dst;
}

#endif

}  // namespace

extern "C" {

#if DSP_SLOT == 0
// Groups of four values, then the remaining zero to three.
double* DSP_CALL dspFill64_s0(uint32_t lo, uint32_t hi, double* dst, int count) {
    const uint64_t pattern = (static_cast<uint64_t>(hi) << 32) | lo;
    u8* p = reinterpret_cast<u8*>(dst);
    int n = count;
    for (; n >= 4; n -= 4, p += 32) {
        st64(p, pattern);
        st64(p + 8, pattern);
        st64(p + 16, pattern);
        st64(p + 24, pattern);
    }
    for (; n > 0; --n, p += 8) st64(p, pattern);
    return dst;
}
#elif DSP_SLOT == 1
// Slots 2 to 4 run this one (dsp/routines.h).
double* DSP_CALL dspFill64_s1(uint32_t lo, uint32_t hi, double* dst, int count) {
    return fillSse2((static_cast<uint64_t>(hi) << 32) | lo, dst, count);
}
#elif DSP_SLOT == 5
double* DSP_CALL dspFill64_s5(uint32_t lo, uint32_t hi, double* dst, int count) {
    return fillAvx2((static_cast<uint64_t>(hi) << 32) | lo, dst, count);
}
#endif

DspStatus DSP_CALL DSP_SLOT_NAME(dspSet64f)(double value, double* dst, int len) {
    if (!dst) return dspErrNullPtr;
    if (len < 1) return dspErrSize;
    uint64_t bits;
    memcpy(&bits, &value, sizeof bits);
    DSP_SLOT_BODY(dspFill64)
    (static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32), dst, len);
    return dspOk;
}

}  // extern "C"
