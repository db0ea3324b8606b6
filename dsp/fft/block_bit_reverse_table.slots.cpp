// The block bit-reverse table builder of the tiled permutation (dsp/fft/tables.h); slot 2n runs
// slot 2's (dsp/routines.h).
#include "dsp/fft/fft_slot.h"
#include "dsp/fft/tables.h"

extern "C" {

BYTE* DSP_CALL DSP_SLOT_NAME(dspFftBlockBitReverseTable)(int m, int halfTileOrder, int32_t* dst) {
    return buildBlockBitReverseTable(m, halfTileOrder, dst);
}

}  // extern "C"
