// What the real-FFT sources compiled per slot share: the slot's rows of FFT traits and plans
// (dsp/fft/spec.h, dsp/fft/plan_tables.h), the second build a body hands its calls to (slot 2's
// bodies hand each call to their 2n build when MOVBE is missing), and the memory and vector-math
// members a body uses (those of its dispatch slot: slot 2n uses slot 2's).
#pragma once

#include "dsp/fft/plan_tables.h"
#include "dsp/fft/spec.h"
#include "dsp/internal.h"
#include "dsp/slot.h"

#define DSP_FFT_SERVICE(name) dspbodies::name.body[kSlot.dispatch]

namespace {

constexpr DspFftSlotTraits kTraits = dspFftTraitsOf(DSP_SLOT_INDEX);

// The second build of this build's dispatch slot, which runs the calls of processors without
// MOVBE, or -1 (a second build itself, or a slot without one).
constexpr int kFftSecondBuild = kSlot.secondBuild() ? -1 : dspSecondBuildOf(kSlot.dispatch);
// Its body of an FFT operation, to call where DSP_FFT_HANDS_ON(name).
#define DSP_FFT_HAND_ON(name) dspbodies::name.body[kFftSecondBuild < 0 ? 0 : kFftSecondBuild]
#define DSP_FFT_HANDS_ON(name) (kFftSecondBuild >= 0 && dspbodies::name.has[kFftSecondBuild])

inline const DspFftPlanTables& plan() {
    return dspFftPlanOf(DSP_SLOT_INDEX);
}

}  // namespace
