// Slot 4's first pass of the mid-order FFT that gathers its input through the group table and
// leaves the eight-point DFTs in the working buffer (dsp/fft/midorder.h), both directions.
#include "dsp/fft/midorder.h"

extern "C" {

void DSP_CALL DSP_SLOT_NAME(dspFftFirstPassRadix8Gather)(const double* src, double* work,
                                                         const int32_t* table, int n) {
    firstPass<SlotArith, Dir::Fwd, 8, true>(src, work, table, n);
}
void DSP_CALL DSP_SLOT_NAME(dspFftGatherRadix8PassInv)(const double* src, double* work,
                                                       const int32_t* table, int n) {
    firstPass<SlotArith, Dir::Inv, 8, true>(src, work, table, n);
}

}  // extern "C"
