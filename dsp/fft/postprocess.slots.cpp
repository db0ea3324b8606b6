// The recombination members of the slot (dsp/fft/postprocess.h): pairs in slots 0 and 2, groups
// of two in slots 1, 2n and 3, of four in slots 4 and 5 (slot 5 fused); one level below the
// slot's two-level order, two from it on, as the set-up builds the tables. The forward
// post-processing of slots 4 and 5 walks interleaved values instead (recombineForwardAvx).
#include "dsp/fft/fft_slot.h"
#include "dsp/fft/postprocess.h"
#include "dsp/fft/spec.h"
#include "dsp/internal.h"
#include "dsp/slot.h"

namespace {

using Format = std::conditional_t<kTraits.groupedRecomb, GroupFormat, PairFormat>;
// The split-4 slots walk interleaved values instead (postprocess.h).
constexpr bool kWalkInterleaved = kSlot.lanes == 4;

bool twoLevel(int h) {
    return dspFftTwoLevelRecomb(kTraits, 2 * int64_t(h));
}

}  // namespace

extern "C" {

void DSP_CALL DSP_SLOT_NAME(dspRealFftPostProcess)(double* data, int h, const double* table) {
    if constexpr (kWalkInterleaved) {
        if (twoLevel(h)) {
            recombineForwardAvx<true>(data, h, table);
        } else {
            recombineForwardAvx<false>(data, h, table);
        }
    } else if (twoLevel(h)) {
        recombine<Format, true, Dir::Fwd>(data, data, h, table);
    } else {
        recombine<Format, false, Dir::Fwd>(data, data, h, table);
    }
}

void DSP_CALL DSP_SLOT_NAME(dspRealFftInvPreProcess)(const double* src, double* dst, int n,
                                                     const double* table) {
    if constexpr (kWalkInterleaved) {
        if (twoLevel(n)) {
            preprocessInverseAvx<true>(src, dst, n, table);
        } else {
            preprocessInverseAvx<false>(src, dst, n, table);
        }
    } else if (twoLevel(n)) {
        recombine<Format, true, Dir::Inv>(src, dst, n, table);
    } else {
        recombine<Format, false, Dir::Inv>(src, dst, n, table);
    }
}

}  // extern "C"
