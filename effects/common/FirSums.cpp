#include "effects/common/FirSums.h"

#include "corvane/dsp.h"
#include "effects/common/FirSumsBody.h"

namespace corvane {

void FirSumsBaseline(const double* h, size_t taps, const double* x, double* dst, int count) {
    using Pair = double __attribute__((vector_size(16)));
    FirSumsOf<Pair, 2>(h, taps, x, dst, count);
}

FirSumsFunction FirSums() {
    static const FirSumsFunction chosen =
        kFirSumsAvx != nullptr && dspCheckCpuFeatures(dspFeatAvx | dspFeatAvxOs) == 1
            ? kFirSumsAvx
            : &FirSumsBaseline;
    return chosen;
}

}  // namespace corvane
