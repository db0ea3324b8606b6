// The AVX body of the FIR sums, compiled with -mavx alone (effects/CMakeLists.txt) and called only
// where the processor and the operating system enable AVX.
#include "effects/common/FirSums.h"

#include "effects/common/FirSumsBody.h"

namespace corvane {
namespace {

void FirSumsAvx(const double* h, size_t taps, const double* x, double* dst, int count) {
    using Quad = double __attribute__((vector_size(32)));
    FirSumsOf<Quad, 4>(h, taps, x, dst, count);
}

}  // namespace

const FirSumsFunction kFirSumsAvx = &FirSumsAvx;

}  // namespace corvane
