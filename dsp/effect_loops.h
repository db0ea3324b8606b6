// The effects' sample loops (phase inversion, Q8 gain, the reversal of frames, a channel's
// samples to doubles and back, the filter section's FIR sums): per-slot routines of corvane-dsp,
// dispatched like the public operations but declared only here, for the effects. dsp/routines.h
// says what each computes and which slot runs which body.
#pragma once

#include "dsp/routines.h"

#ifdef __cplusplus
extern "C" {
#endif

// The stub that runs the process's slot and its first-call twin, then every body.
#define DSP_DECLARE_EFFECT_ROUTINE(name, Ret, params, args, slots) \
    Ret DSP_CALL name params;                                      \
    Ret DSP_CALL name##_init params;                               \
    DSP_DECLARE_BODIES(name, Ret, params, slots)
DSP_EFFECT_ROUTINES(DSP_DECLARE_EFFECT_ROUTINE)
#undef DSP_DECLARE_EFFECT_ROUTINE

#ifdef __cplusplus
}  // extern "C"
#endif
