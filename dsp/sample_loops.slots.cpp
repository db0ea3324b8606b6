// The effects' loops over 16-bit samples (dsp/effect_loops.h): phase inversion, the Q8 gain and
// the reversal of frames. Slot 0 goes one sample at a time; slot 1, whose body every SSE and AVX
// slot runs, eight at a time with the same values.
#include "dsp/effect_loops.h"
#include "dsp/vec.h"

#include <stdint.h>

namespace {

inline int16_t negated(int16_t v) {
    return static_cast<int16_t>(v == INT16_MIN ? INT16_MAX : -v);
}
template <typename T>
inline int16_t clamp16(T v) {
    return static_cast<int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
}

// Swaps frames i and j of `channels` samples.
inline void swapFrames(int16_t* x, int64_t i, int64_t j, int32_t channels) {
    int16_t* a = x + i * channels;
    int16_t* b = x + j * channels;
    for (int32_t c = 0; c < channels; ++c) {
        const int16_t t = a[c];
        a[c] = b[c];
        b[c] = t;
    }
}

}  // namespace

extern "C" {

void DSP_CALL DSP_SLOT_NAME(dspNegateInPlace16s)(int16_t* x, int64_t n) {
    int64_t i = 0;
#if DSP_SLOT >= 1
    // 0 - x with saturation is exactly this mapping.
    for (; i + 8 <= n; i += 8) b16storeu(x + i, s16subSat(b16zero(), b16loadu(x + i)));
#endif
    for (; i < n; ++i) x[i] = negated(x[i]);
}

// In 32 bits while the product cannot leave them, else in 64. A gain of 16 bits (up to +42 dB)
// goes eight samples at a time in the SSE slots: 16 by 16 bit products, rounded, shifted and
// packed with saturation.
void DSP_CALL DSP_SLOT_NAME(dspMulQ8InPlace16s)(int16_t* x, int64_t n, int32_t g) {
    if (g >= INT16_MIN && g <= INT16_MAX) {
        int64_t i = 0;
#if DSP_SLOT >= 1
        const S16 gain = s16set(static_cast<int16_t>(g)), half = i32set(128);
        for (; i + 8 <= n; i += 8) {
            const S16 v = b16loadu(x + i);
            const S16 lo = s16mulLo(v, gain), hi = s16mulHi(v, gain);
            const S16 a = i32sra<8>(i32add(s16unpackLo(lo, hi), half));
            const S16 b = i32sra<8>(i32add(s16unpackHi(lo, hi), half));
            b16storeu(x + i, s32packSat(a, b));
        }
#endif
        for (; i < n; ++i) x[i] = clamp16((int32_t{x[i]} * g + 128) >> 8);
        return;
    }
    if (g >= -65535 && g <= 65535) {
        for (int64_t i = 0; i < n; ++i) x[i] = clamp16((int32_t{x[i]} * g + 128) >> 8);
        return;
    }
    for (int64_t i = 0; i < n; ++i) x[i] = clamp16((int64_t{x[i]} * g + 128) >> 8);
}

// Mono and stereo frames fit a lane (16 or 32 bits): a block from each end, its lanes reversed,
// goes to the other end.
void DSP_CALL DSP_SLOT_NAME(dspReverseFrames16s)(int16_t* x, int64_t frames, int32_t channels) {
    int64_t i = 0, j = frames - 1;
#if DSP_SLOT >= 1
    if (channels == 1 || channels == 2) {
        const int64_t per = 8 / channels;  // frames in a block
        for (; j - i + 1 >= 2 * per; i += per, j -= per) {
            int16_t* a = x + i * channels;
            int16_t* b = x + (j - per + 1) * channels;
            const S16 front = b16loadu(a), back = b16loadu(b);
            b16storeu(a, channels == 1 ? s16reverse(back) : i32reverse(back));
            b16storeu(b, channels == 1 ? s16reverse(front) : i32reverse(front));
        }
    }
#endif
    for (; i < j; ++i, --j) swapFrames(x, i, j, channels);
}

}  // extern "C"
