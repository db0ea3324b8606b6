// Naming of the real-FFT sources compiled per slot: the slot's index in the plan rows and traits
// (slot 2 without MOVBE is kDspFftSlot2n), whether a body is slot 2's own (which hands each call
// to its 2n body when MOVBE is missing), and the memory and vector-math members a body uses
// (slot 2n uses slot 2's).
#pragma once

#include "dsp/slot.h"

#if defined(DSP_SLOT_NO_MOVBE)
#define DSP_FFT_SLOT_INDEX kDspFftSlot2n
#define DSP_FFT_SLOT2_MOVBE 0
#define DSP_FFT_SERVICE(name) name##_s2
#else
#define DSP_FFT_SLOT_INDEX DSP_SLOT
#define DSP_FFT_SLOT2_MOVBE (DSP_SLOT == 2)
#define DSP_FFT_SERVICE(name) DSP_SLOT_NAME(name)
#endif
