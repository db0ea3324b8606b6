// Slot 5's last pass of the mid-order FFT, the stage of step n/4 written interleaved into dst
// (dsp/fft/midorder.h), both directions.
#include "dsp/fft/midorder.h"

extern "C" {

void DSP_CALL DSP_SLOT_NAME(dspFftLastPassInterleave)(const double* work, double* dst,
                                                      const double* set, int step) {
    lastPass<SlotArith, Dir::Fwd, false>(work, dst, set, step);
}
void DSP_CALL DSP_SLOT_NAME(dspFftFinalPassInv)(const double* work, double* dst, const double* set,
                                                int step) {
    lastPass<SlotArith, Dir::Inv, false>(work, dst, set, step);
}

}  // extern "C"
