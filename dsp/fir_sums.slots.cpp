// The inner sums of the filter section's FIR (dsp/effect_loops.h) in slots 1 (two lanes, run by
// every slot below AVX) and 4 (four lanes, run by slots 4 and 5): four vectors of neighbouring
// outputs at once, each output summed over k = 0, 1, ... as the plain sum does it, the outputs
// left over one by one; so every slot gives the same bits.
#include "dsp/effect_loops.h"
#include "dsp/vec.h"

#include <stddef.h>

extern "C" void DSP_CALL DSP_SLOT_NAME(dspFirSums64f)(const double* h, size_t taps, const double* x,
                                                      double* dst, int count) {
    constexpr int kGroup = 4 * kLanes;
    int n = 0;
    for (; n + kGroup <= count; n += kGroup) {
        V a[4] = {vzero(), vzero(), vzero(), vzero()};
        const double* xk = x + n;
        for (size_t k = 0; k < taps; ++k, --xk) {
            const V hk = vset(h[k]);
            for (int j = 0; j < 4; ++j) a[j] = a[j] + hk * vloadu(xk + j * kLanes);
        }
        for (int j = 0; j < 4; ++j) vstoreu(dst + n + j * kLanes, a[j]);
    }
    for (; n < count; ++n) {
        double acc = 0.0;
        for (size_t k = 0; k < taps; ++k) acc += h[k] * x[n - static_cast<ptrdiff_t>(k)];
        dst[n] = acc;
    }
}
