// The inverse pre-processing member of the slot (dsp/fft/postprocess.h): the spectrum of src
// becomes the half-length array Y[1 .. n-1] of dst, in place when they are the same. Pairs in
// slots 0 and 2, groups of two in slots 1, 2n and 3, of four in slots 4 and 5 (slot 5 fused);
// one level below the slot's two-level order, two from it on, as the set-up builds the table.
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
constexpr bool kFused = DSP_SLOT == 5;

}  // namespace

extern "C" void DSP_CALL DSP_SLOT_NAME(dspRealFftInvPreProcess)(const double* src, double* dst,
                                                                int n, const double* table) {
    if (2 * int64_t(n) >= int64_t(1) << kTraits.twoLevelOrder) {
        recombine<Format, true, Dir::Inv, kFused>(src, dst, n, table);
    } else {
        recombine<Format, false, Dir::Inv, kFused>(src, dst, n, table);
    }
}
