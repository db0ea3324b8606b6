// The permutation of a gathered 32 x 32 tile into 10-bit-reversed order, for the tiled
// permutation (the block copies are dsp/fft/block_transfers.slots.cpp). It moves raw bits, so
// payloads survive.
#include "dsp/fft/pair_permute.h"
#include "dsp/internal.h"
#include "dsp/slot.h"

#include <stdint.h>

extern "C" {

void DSP_CALL DSP_SLOT_NAME(dspBitReversePermuteBlock)(double* data, int n, const int32_t* pairs) {
    pairPermuteInPlace<uint64_t>(data, n, pairs);
}

}  // extern "C"
