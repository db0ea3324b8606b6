// The inner sums of the filter section's FIR, as wide as the processor allows: dst[n] = sum over
// k of h[k] x[n - k], summed in the order k = 0, 1, ..., for n = 0 .. count-1 (x holds the taps - 1
// inputs before x[0]). Every body adds in that order, so each output is the same to the last bit
// on every processor; the AVX body (where the processor and the operating system enable it, as
// the signal-processing library detects them) only computes more outputs at once.
#pragma once

#include <cstddef>

namespace corvane {

using FirSumsFunction = void (*)(const double* h, size_t taps, const double* x, double* dst,
                                 int count);

// The body for this processor, chosen on the first call.
FirSumsFunction FirSums();

// The bodies, for tests: baseline (SSE2 on x86-64) and AVX (null where not built).
void FirSumsBaseline(const double* h, size_t taps, const double* x, double* dst, int count);
extern const FirSumsFunction kFirSumsAvx;

}  // namespace corvane
