// The paths of the transforms by order, read by the forward and the inverse bodies from the one
// table of slot traits (dsp/fft/spec.h), and the iterative passes of slots 0 and 2, whose
// arguments differ from the passes of the other slots (dsp/routines.h).
#pragma once

#include "corvane/dsp.h"
#include "dsp/fft/spec.h"

enum DspFftPath {
    dspFftPathRealKernel,     // T0/T1 of the order: straight to the Perm layout
    dspFftPathComplexKernel,  // T2/T3 of order - 1, then the recombination
    dspFftPathIterative,      // permutation and passes (slots 4, 5: the mid-order driver)
    dspFftPathBlocked,        // permutation and block butterflies (slots 2n, 3)
    dspFftPathRecursive,      // the cache-blocked recursive driver
};

constexpr DspFftPath dspFftPathOf(const DspFftSlotTraits& t, int order) {
    return order <= t.lastKernelOrder                     ? dspFftPathRealKernel
           : order <= t.lastRecombOrder                   ? dspFftPathComplexKernel
           : order - 1 > t.iterativeLimit                 ? dspFftPathRecursive
           : t.blockedFrom != 0 && order >= t.blockedFrom ? dspFftPathBlocked
                                                          : dspFftPathIterative;
}

extern "C" {

// Slots 0 and 2 (iterative.slots.cpp): the forward DFT of n = 4 .. 4096 complex values that stand
// in bit-reversed order, in place, into natural order, unscaled, by the triple twiddle table
// built for n.
void DSP_CALL dspFftButterflyPassesFwd_s0(double* data, int n, const double* twiddles);
void DSP_CALL dspFftButterflyPassesFwd_s2(double* data, int n, const double* twiddles);
// The inverse DFT (exponent +), unscaled, on the same table.
void DSP_CALL dspFftButterflyPassesInv_s0(double* data, int n, const double* twiddles);
void DSP_CALL dspFftButterflyPassesInv_s2(double* data, int n, const double* twiddles);

}  // extern "C"

// Those passes by slot index, for code compiled for every slot: DspFftIterativePasses<S>::fwd
// exists where slot S has them.
template <int slot>
struct DspFftIterativePasses;
template <>
struct DspFftIterativePasses<kDspSlotIndex_s0> {
    static constexpr auto fwd = dspFftButterflyPassesFwd_s0;
    static constexpr auto inv = dspFftButterflyPassesInv_s0;
};
template <>
struct DspFftIterativePasses<kDspSlotIndex_s2> {
    static constexpr auto fwd = dspFftButterflyPassesFwd_s2;
    static constexpr auto inv = dspFftButterflyPassesInv_s2;
};
