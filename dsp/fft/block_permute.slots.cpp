// The in-place bit-reversal permutation of slots 1, 3, 2n, 4 and 5 by 4 x 4 blocks
// (dsp/fft/block_permute.h).
#include "dsp/fft/block_permute.h"
#include "dsp/internal.h"

extern "C" {

// Each pair of blocks is exchanged once, through scratch on the stack.
void DSP_CALL DSP_SLOT_NAME(dspBitReversePermuteInPlace)(double* data, int n,
                                                         const int32_t* table) {
    if (n < 16) {
        permuteSmall(data, data, n);
        return;
    }
    const int64_t quarter = n / 4;
    Block x, y;
    for (int64_t i = 0; i < n / 16; ++i) {
        const int64_t j = table[i] >> 3;
        if (j < i) continue;
        readBlock(data, quarter, i, x);
        if (j == i) {
            writeReversedBlock(data, quarter, i, x);
            continue;
        }
        readBlock(data, quarter, j, y);
        writeReversedBlock(data, quarter, i, y);
        writeReversedBlock(data, quarter, j, x);
    }
}

}  // extern "C"
