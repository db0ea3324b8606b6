// The plan rows of every slot that has a real FFT (dsp/fft/spec.h), indexed by the complex order
// m = 0..30.
#pragma once

#include "dsp/fft/spec.h"

// clang-format off
inline constexpr DspFftPlanTables kDspFftPlanRows[] = {
    // slot 0: no block row
    {kDspSlotIndex_s0,
     {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 4, 5, 6, 7, 7, 8, 9, 9, 9, 8, 8, 9, 9, 9, 9, 9, 9, 9, 9},
     {0}},
    // slot 1
    {kDspSlotIndex_s1,
     {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 4, 4,  4,  4,  6,  6,  8,  8,  8,  8,  8,  8,  8,  8,  8,  8,  8},
     {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 8, 8, 10, 10, 12, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13}},
    // slot 2 (with MOVBE)
    {kDspSlotIndex_s2,
     {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0,  4,  6,  6,  6,  6,  4,  6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  6},
     {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 10, 10, 10, 10, 10, 10, 10, 10, 12, 12, 12, 12, 12, 12, 12, 12, 12}},
    // slot 3
    {kDspSlotIndex_s3,
     {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0,  4,  4,  4,  6,  8,  8,  8,  8,  8,  8,  8,  8,  8,  8},
     {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 10, 10, 10, 12, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13}},
    // slot 4
    {kDspSlotIndex_s4,
     {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 4, 4, 4, 4,  8,  8,  8,  8,  8,  8,  8,  8,  8},
     {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 9, 9, 9, 9, 13, 13, 13, 13, 13, 13, 13, 13, 13}},
    // slot 5
    {kDspSlotIndex_s5,
     {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 4, 4, 4, 4,  8,  8,  8,  8,  8,  8,  8,  8,  8},
     {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 9, 9, 9, 9, 13, 13, 13, 13, 13, 13, 13, 13, 13}},
    // slot 2n (slot 2 without MOVBE)
    {kDspSlotIndex_s2n,
     {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0,  6,  6,  6,  6,  8,  8,  8,  8,  8,  8,  8,  8,  8,  8},
     {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 10, 10, 10, 10, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13}},
};
// clang-format on

// The rows of a slot; no constant where the slot has none.
constexpr const DspFftPlanTables& dspFftPlanOf(int slot) {
    for (const DspFftPlanTables& p : kDspFftPlanRows)
        if (p.slot == slot) return p;
    throw "the slot has no plan rows";
}
