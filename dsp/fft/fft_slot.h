// Naming of the real-FFT sources compiled per slot: the slot's index in the plan rows and traits
// (slot 2 without MOVBE is kDspFftSlot2n), whether a body is slot 2's own (which hands each call
// to its 2n body when MOVBE is missing), and the memory and vector-math members a body uses
// (those of its dispatch slot: slot 2n uses slot 2's).
#pragma once

#include "dsp/slot.h"

#define DSP_FFT_SLOT_INDEX DSP_SLOT_INDEX
#if defined(DSP_SLOT_NO_MOVBE)
#define DSP_FFT_SLOT2_MOVBE 0
#else
#define DSP_FFT_SLOT2_MOVBE (DSP_SLOT == 2)
#endif
#define DSP_FFT_SERVICE(name) DSP_CAT2(name, DSP_CAT2(_s, DSP_SLOT))
