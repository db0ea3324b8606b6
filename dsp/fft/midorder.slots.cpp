// The entry points of the mid-order complex FFT of slots 4 and 5 and of its passes
// (dsp/fft/midorder.h), forward and inverse (exponent +, unscaled): the driver, the radix-4 passes
// of step 4, 8 and any, and the block procedure; and the inverse from the packed spectrum with
// the pre-processing in its first pass.
#include "dsp/fft/fft_slot.h"
#include "dsp/fft/midorder.h"

extern "C" {

void DSP_CALL DSP_SLOT_NAME(dspFftMidOrderFwd)(const double* src, double* dst, int n,
                                               const double* twiddles, const int32_t* table,
                                               BYTE* work) {
    midOrder<SlotArith, Dir::Fwd>(src, dst, n, twiddles, table, work);
}
void DSP_CALL DSP_SLOT_NAME(dspFftRadix4PassStep4)(double* data, const double* set, int len) {
    if (len >= 16) radix4Stage<SlotArith, Dir::Fwd>(data, set, 4, len / 16);
}
void DSP_CALL DSP_SLOT_NAME(dspFftRadix4PassStep8)(double* data, const double* set, int len) {
    if (len >= 32) radix4Stage<SlotArith, Dir::Fwd>(data, set, 8, len / 32);
}
void DSP_CALL DSP_SLOT_NAME(dspFftRadix4Pass)(double* data, const double* set, int step,
                                              int count) {
    if (count >= 1) radix4Stage<SlotArith, Dir::Fwd>(data, set, step, count);
}
const double* DSP_CALL DSP_SLOT_NAME(dspFftBlockStages)(double* block, int len,
                                                        const double* table) {
    return blockStages<SlotArith, Dir::Fwd>(block, len, table);
}

void DSP_CALL DSP_SLOT_NAME(dspFftMidOrderInv)(const double* src, double* dst, int n,
                                               const double* twiddles, const int32_t* table,
                                               BYTE* work) {
    midOrder<SlotArith, Dir::Inv>(src, dst, n, twiddles, table, work);
}
void DSP_CALL DSP_SLOT_NAME(dspFftRadix4Span4PassInv)(double* data, const double* set, int len) {
    if (len >= 16) radix4Stage<SlotArith, Dir::Inv>(data, set, 4, len / 16);
}
void DSP_CALL DSP_SLOT_NAME(dspFftRadix4Span8PassInv)(double* data, const double* set, int len) {
    if (len >= 32) radix4Stage<SlotArith, Dir::Inv>(data, set, 8, len / 32);
}
void DSP_CALL DSP_SLOT_NAME(dspFftRadix4PassInv)(double* data, const double* set, int step,
                                                 int count) {
    if (count >= 1) radix4Stage<SlotArith, Dir::Inv>(data, set, step, count);
}
const double* DSP_CALL DSP_SLOT_NAME(dspFftMidOrderBlockInv)(double* block, int len,
                                                             const double* table) {
    return blockStages<SlotArith, Dir::Inv>(block, len, table);
}

void DSP_CALL DSP_SLOT_NAME(dspFftMidOrderInvCcs)(const double* src, double* dst, int n,
                                                  const double* twiddles, const int32_t* table,
                                                  const double* recomb, BYTE* work) {
    if (dspFftTwoLevelRecomb(kTraits, 2 * int64_t(n))) {
        midOrderInvFromCcs<SlotArith, true>(src, dst, n, twiddles, table, recomb, work);
    } else {
        midOrderInvFromCcs<SlotArith, false>(src, dst, n, twiddles, table, recomb, work);
    }
}

}  // extern "C"
