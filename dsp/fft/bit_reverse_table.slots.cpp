// The bit-reverse table builder of the slot in its format (dsp/fft/tables.h); slot 4 runs slot
// 1's (dsp/routines.h).
#include "dsp/fft/fft_slot.h"
#include "dsp/fft/tables.h"

extern "C" {

BYTE* DSP_CALL DSP_SLOT_NAME(dspFftBitReverseTable)(int m, int32_t* dst) {
    return buildBitReverseTable<kTraits.bitReverse>(m, dst);
}

}  // extern "C"
