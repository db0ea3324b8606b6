// Per-slot naming for the sources of a kernel family, compiled once per CPU slot it is declared
// for (corvane_dsp_family in dsp/CMakeLists.txt).
// DSP_SLOT is 0..5; DSP_SLOT_NO_MOVBE marks the second slot-2 build for processors without MOVBE.
#pragma once

#define DSP_CAT2_(a, b) a##b
#define DSP_CAT2(a, b) DSP_CAT2_(a, b)

#if !defined(DSP_SLOT)
#error "dsp/slot.h is only for sources compiled per CPU slot"
#elif defined(DSP_SLOT_NO_MOVBE)
#define DSP_SLOT_SUFFIX _s2n
#define DSP_SLOT_NS slot2n
#elif DSP_SLOT == 0
#define DSP_SLOT_SUFFIX _s0
#define DSP_SLOT_NS slot0
#elif DSP_SLOT == 1
#define DSP_SLOT_SUFFIX _s1
#define DSP_SLOT_NS slot1
#elif DSP_SLOT == 2
#define DSP_SLOT_SUFFIX _s2
#define DSP_SLOT_NS slot2
#elif DSP_SLOT == 3
#define DSP_SLOT_SUFFIX _s3
#define DSP_SLOT_NS slot3
#elif DSP_SLOT == 4
#define DSP_SLOT_SUFFIX _s4
#define DSP_SLOT_NS slot4
#elif DSP_SLOT == 5
#define DSP_SLOT_SUFFIX _s5
#define DSP_SLOT_NS slot5
#endif

// DSP_SLOT_NAME(dspSet64f) is dspSet64f_s<n> in the slot being compiled; DSP_SLOT_NAME_TEXT
// is its suffix as a string ("_s2n").
#define DSP_STR_(x) #x
#define DSP_STR(x) DSP_STR_(x)
#define DSP_SLOT_NAME_TEXT DSP_STR(DSP_SLOT_SUFFIX)
#define DSP_SLOT_NAME(name) DSP_CAT2(name, DSP_SLOT_SUFFIX)
