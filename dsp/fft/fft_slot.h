// What the real-FFT sources compiled per slot share: the slot's rows of FFT traits and plans
// (dsp/fft/spec.h, dsp/fft/plan_tables.h), whether a body is slot 2's own (which hands each call
// to its 2n body when MOVBE is missing), and the memory and vector-math members a body uses
// (those of its dispatch slot: slot 2n uses slot 2's).
#pragma once

#include "dsp/fft/plan_tables.h"
#include "dsp/fft/spec.h"
#include "dsp/slot.h"

#define DSP_FFT_SLOT_INDEX DSP_SLOT_INDEX
#if defined(DSP_SLOT_NO_MOVBE)
#define DSP_FFT_SLOT2_MOVBE 0
#else
#define DSP_FFT_SLOT2_MOVBE (DSP_SLOT == 2)
#endif
#define DSP_FFT_SERVICE(name) DSP_CAT2(name, DSP_CAT2(_s, DSP_SLOT))

namespace {

constexpr DspFftSlotTraits kTraits = dspFftTraitsOf(DSP_SLOT_INDEX);

inline const DspFftPlanTables& plan() {
    return dspFftPlanOf(DSP_SLOT_INDEX);
}

}  // namespace
