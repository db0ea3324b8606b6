// The real post-processing member of the slot (dsp/fft/postprocess.h): pairs in slots 0 and 2,
// groups of two in slots 1, 2n and 3; one level below the slot's two-level order, two above.
#include "dsp/fft/fft_slot.h"
#include "dsp/fft/postprocess.h"
#include "dsp/fft/spec.h"
#include "dsp/internal.h"
#include "dsp/slot.h"

namespace {

constexpr DspFftSlotTraits kTraits = kDspFftSlotTraits[DSP_FFT_SLOT_INDEX];
#if DSP_SLOT == 0 || DSP_FFT_SLOT2_MOVBE
using Format = PairFormat;
#else
using Format = GroupFormat;
#endif

}  // namespace

extern "C" void DSP_CALL DSP_SLOT_NAME(dspRealFftPostProcess)(double* data, int h,
                                                              const double* table) {
    if (2 * int64_t(h) >= int64_t(1) << kTraits.twoLevelOrder) {
        recombine<Format, true, Dir::Fwd>(data, data, h, table);
    } else {
        recombine<Format, false, Dir::Fwd>(data, data, h, table);
    }
}
