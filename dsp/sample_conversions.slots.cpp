// One channel of interleaved 16-bit samples to doubles and back (dsp/effect_loops.h), as the
// channel filters of the effects take and give them. Slot 1 (every SSE slot, and slot 0, as the
// effects are built for SSE2) and slot 4 (the AVX slots) convert four samples at a time where
// the channel is alone or one of two; other layouts go one sample at a time. Every value is the
// one the plain formula gives: the widening is exact, and the narrowing rounds one product and
// truncates.
#include "dsp/effect_loops.h"
#include "dsp/vec.h"

#include <stdint.h>

namespace {

constexpr double kFromPcm16 = 1.0 / 32768.0;

inline int16_t narrowed(double x, double scale) {
    const double v = scale * x;
    if (v != v) return 0;
    if (v >= 32767.0) return 32767;
    if (v <= -32768.0) return -32768;
    return static_cast<int16_t>(static_cast<int32_t>(v));
}

}  // namespace

extern "C" {

void DSP_CALL DSP_SLOT_NAME(dspWidenStrided16s64f)(const int16_t* src, int64_t stride, double* dst,
                                                   int64_t n) {
    int64_t k = 0;
    if (stride == 1) {
        for (; k + 8 <= n; k += 8) {
            const S16 v = b16loadu(src + k);
            // Each sample twice in an int32 lane, shifted down with its sign.
            i32storeScaled(dst + k, i32sra<16>(s16unpackLo(v, v)), kFromPcm16);
            i32storeScaled(dst + k + 4, i32sra<16>(s16unpackHi(v, v)), kFromPcm16);
        }
    } else if (stride == 2) {
        // Four frames per block; the other channel of each int32 lane is shifted out. A block
        // reaches one sample past the channel's fourth, so the last one goes alone.
        for (; k + 5 <= n; k += 4) {
            const S16 v = b16loadu(src + 2 * k);
            i32storeScaled(dst + k, i32sra<16>(i32shl<16>(v)), kFromPcm16);
        }
    }
    for (; k < n; ++k) dst[k] = src[k * stride] * kFromPcm16;
}

void DSP_CALL DSP_SLOT_NAME(dspNarrowStrided64f16s)(const double* src, double scale, int16_t* dst,
                                                    int64_t stride, int64_t n) {
    int64_t k = 0;
    if (stride == 1) {
        for (; k + 8 <= n; k += 8) {
            b16storeu(dst + k, s32packSat(i32loadScaled16(src + k, scale),
                                          i32loadScaled16(src + k + 4, scale)));
        }
    } else if (stride == 2) {
        // The channel's half of each int32 lane is replaced; the other channel's is written back
        // as it was read (never past the channel's last sample, as above).
        const S16 low = i32set(0xFFFF);
        for (; k + 5 <= n; k += 4) {
            int16_t* at = dst + 2 * k;
            b16storeu(at, b16blend(low, b16loadu(at), i32loadScaled16(src + k, scale)));
        }
    }
    for (; k < n; ++k) dst[k * stride] = narrowed(src[k], scale);
}

}  // extern "C"
