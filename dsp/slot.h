// The slot being compiled, for the sources of a kernel family (compiled once per CPU slot it is
// declared for, corvane_dsp_family in dsp/CMakeLists.txt). The build states the slot's row of
// dsp/slot_list.h: DSP_SLOT_ID (0 .. 5, 2n), DSP_SLOT_INDEX and DSP_SLOT, the dispatch slot,
// whose number `#if` compares where an instruction set must stay unseen by the slower slots
// (DSP_SLOT_NO_MOVBE marks a second build, slot 2n). Everything else about the slot is kSlot,
// its traits row, for `if constexpr`.
#pragma once

#include "dsp/slot_list.h"

#define DSP_CAT2_(a, b) a##b
#define DSP_CAT2(a, b) DSP_CAT2_(a, b)

#if !defined(DSP_SLOT) || !defined(DSP_SLOT_ID) || !defined(DSP_SLOT_INDEX)
#error "dsp/slot.h is only for sources compiled per CPU slot"
#endif

#define DSP_SLOT_SUFFIX DSP_CAT2(_s, DSP_SLOT_ID)
#define DSP_SLOT_NS DSP_CAT2(slot, DSP_SLOT_ID)

// DSP_SLOT_NAME(dspSet64f) is dspSet64f_s<id> in the slot being compiled; DSP_SLOT_NAME_TEXT
// is its suffix as a string ("_s2n").
#define DSP_STR_(x) #x
#define DSP_STR(x) DSP_STR_(x)
#define DSP_SLOT_NAME_TEXT DSP_STR(DSP_SLOT_SUFFIX)
#define DSP_SLOT_NAME(name) DSP_CAT2(name, DSP_SLOT_SUFFIX)
// The body of a listed routine that the slot being compiled runs, or null, as a constant
// (dspbodies in dsp/internal.h): DSP_SLOT_BODY(dspFftGatherBlock) is slot 4's body in slot 5;
// DSP_SLOT_HAS(name) whether there is one.
#define DSP_SLOT_BODY(name) dspbodies::name.body[DSP_SLOT_INDEX]
#define DSP_SLOT_HAS(name) dspbodies::name.has[DSP_SLOT_INDEX]

namespace {
constexpr DspSlotTraits kSlot = kDspSlots[DSP_SLOT_INDEX];
static_assert(kSlot.dispatch == DSP_SLOT, "the build's DSP_SLOT is the row's dispatch slot");
}  // namespace
