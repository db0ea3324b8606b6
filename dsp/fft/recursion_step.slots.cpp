// The combining step of the recursive drivers of slots 0 and 2 (dsp/fft/recursive.h): it joins
// blk-value transforms by radix-2 passes, both directions.
#include "dsp/fft/recursive.h"
#include "dsp/internal.h"
#include "dsp/slot.h"

extern "C" {

void DSP_CALL DSP_SLOT_NAME(dspFftRecursionStepFwd)(double* data, int n, int blk,
                                                    const double* twiddles) {
    combiningPasses<Dir::Fwd>(data, n, blk, twiddles);
}

void DSP_CALL DSP_SLOT_NAME(dspFftRecursionStepInv)(double* data, int n, int blk,
                                                    const double* twiddles) {
    combiningPasses<Dir::Inv>(data, n, blk, twiddles);
}

}  // extern "C"
