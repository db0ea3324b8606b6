// Block transfers of the tiled permutation and the column passes: the copies of rectangular
// blocks between a strided array and a contiguous buffer (stride and counts in complex values of
// 16 bytes).
//
// Everything moves raw bits at any alignment, so payloads survive and results never depend on
// where the arrays lie. The scatter may turn split layouts into interleaved values on the way:
// slots 1 to 3 (mode 1) take the two-column groups (re c, re c+1, im c, im c+1); slots 4 and 5
// (any mode but 0) take the split-4 blocks (four real parts, then four imaginary parts). Slot 5
// runs slot 4's gather and scatter (dsp/routines.h).
#include "dsp/internal.h"
#include "dsp/slot.h"

#include <stdint.h>
#include <string.h>

namespace {

// The two-column or split-4 group width: values whose parts a converting scatter interleaves.
constexpr int kGroup = kSlot.lanes == 4 ? 4 : 2;

inline void copyRow(double* to, const double* from, int64_t count) {
    memcpy(to, from, static_cast<size_t>(count) * 16);
}

// count values from split groups of kGroup at `from` to interleaved values at `to`.
inline void interleaveRow(double* to, const double* from, int64_t count) {
    for (int64_t g = 0; g < count; g += kGroup, from += 2 * kGroup, to += 2 * kGroup) {
        uint64_t w[2 * kGroup];
        memcpy(w, from, sizeof w);
        uint64_t out[2 * kGroup];
        for (int i = 0; i < kGroup; ++i) {
            out[2 * i] = w[i];
            out[2 * i + 1] = w[kGroup + i];
        }
        memcpy(to, out, sizeof out);
    }
}

}  // namespace

extern "C" {

void DSP_CALL DSP_SLOT_NAME(dspFftGatherBlock)(const double* src, double* dst, int stride, int rows,
                                               int count) {
    for (int64_t r = 0; r < rows; ++r) {
        copyRow(dst + 2 * r * count, src + 2 * r * stride, count);
    }
}

void DSP_CALL DSP_SLOT_NAME(dspFftScatterBlock)(double* dst, const double* src, int stride,
                                                int rows, int count, int mode) {
    const bool convert = kSlot.lanes == 4 ? mode != 0 : mode == 1;
    for (int64_t r = 0; r < rows; ++r) {
        double* const to = dst + 2 * r * stride;
        const double* const from = src + 2 * r * count;
        if (convert) {
            interleaveRow(to, from, count);
        } else {
            copyRow(to, from, count);
        }
    }
}

}  // extern "C"
