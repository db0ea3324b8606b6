// The one body of the FIR sums, instantiated once per processor set in the file compiled for it
// (FirSums.cpp, FirSumsAvx.cpp). Internal linkage only: no instantiation for one set can stand in
// for another's.
#pragma once

#include <cstddef>
#include <cstring>

namespace corvane {
namespace {

// Vec: a vector of Lanes doubles. Four vectors of neighbouring outputs at once, each output summed
// over k = 0, 1, ... as the plain sum does it; the outputs left over one by one.
template <class Vec, int Lanes>
void FirSumsOf(const double* h, size_t taps, const double* x, double* dst, int count) {
    constexpr int kGroup = 4 * Lanes;
    int n = 0;
    for (; n + kGroup <= count; n += kGroup) {
        Vec a[4] = {};
        const double* xk = x + n;
        for (size_t k = 0; k < taps; ++k, --xk) {
            Vec hk;
            for (int j = 0; j < Lanes; ++j) hk[j] = h[k];
            Vec v0, v1, v2, v3;
            std::memcpy(&v0, xk, sizeof(Vec));
            std::memcpy(&v1, xk + Lanes, sizeof(Vec));
            std::memcpy(&v2, xk + 2 * Lanes, sizeof(Vec));
            std::memcpy(&v3, xk + 3 * Lanes, sizeof(Vec));
            a[0] += hk * v0;
            a[1] += hk * v1;
            a[2] += hk * v2;
            a[3] += hk * v3;
        }
        std::memcpy(dst + n, a, sizeof(a));
    }
    for (; n < count; ++n) {
        double acc = 0.0;
        for (size_t k = 0; k < taps; ++k) acc += h[k] * x[n - static_cast<std::ptrdiff_t>(k)];
        dst[n] = acc;
    }
}

}  // namespace
}  // namespace corvane
