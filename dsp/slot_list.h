// The CPU slots of corvane-dsp, one row each. What else has a column or an entry per slot is
// expanded from these rows or checked against them: the builds of dsp/CMakeLists.txt (which
// reads the rows from this file), the slot being compiled (dsp/slot.h), the dispatch and slot
// tables, the FFT's per-slot tables and kernel declarations. docs/architecture.md says what
// adding a slot takes.
//
// X(id, index, dispatch, isa, lanes, fma, x87, oneOf)
//   id        the suffix of the slot's bodies (name_s<id>) and its name ("s<id>")
//   index     its column in the routine list (dsp/routines.h) and every per-slot table
//   dispatch  the process slot (DspCpuSlot) that runs its bodies; a row whose dispatch is not its
//             own index is a second build of that slot (2n: slot 2 on processors without MOVBE,
//             to which slot 2's FFT bodies hand each call)
//   isa       the instruction sets its build may use: x87 (the target's baseline; x87 only on
//             i686), sse2, sse42, avx, avx2fma (dsp/CMakeLists.txt turns them into flags)
//   lanes     float64 lanes of the vector vocabulary's V (dsp/vec.h)
//   fma       the vocabulary's fused multiply-adds exist (vfma and its kin)
//   x87       computes in x87 extended precision where a routine says so
//   oneOf     a processor needs one of these features besides those of the instruction sets for
//             the process to take the slot (0: none); dsp/cpu.cpp takes the last dispatch row
//             whose needs the enabled features meet
#pragma once

#include "corvane/dsp.h"

// clang-format off
#define DSP_SLOT_ROWS(X)                                                              \
    X(0, 0, 0, x87, 1, false, true, 0)                                                \
    X(1, 1, 1, sse2, 2, false, false, 0)                                              \
    X(2, 2, 2, sse2, 2, false, false, dspFeatSsse3 | dspFeatMovbe | dspFeatSse41)     \
    X(3, 3, 3, sse42, 2, false, false, 0)                                             \
    X(4, 4, 4, avx, 4, false, false, 0)                                               \
    X(5, 5, 5, avx2fma, 4, true, false, 0)                                            \
    X(2n, 6, 2, sse2, 2, false, false, 0)
// clang-format on

#ifdef __cplusplus

enum class DspIsa { x87, sse2, sse42, avx, avx2fma };

// The features a processor needs for code built with an instruction-set column: SSE4.2 comes
// with SSE3 to SSE4.1 and POPCNT, AVX needs the operating system's saving of its registers.
constexpr DspCpuFeatures dspIsaFeatures(DspIsa isa) {
    constexpr DspCpuFeatures sse42 =
        dspFeatSse2 | dspFeatSse3 | dspFeatSsse3 | dspFeatSse41 | dspFeatSse42 | dspFeatPopcnt;
    constexpr DspCpuFeatures avx = sse42 | dspFeatAvx | dspFeatAvxOs;
    switch (isa) {
        case DspIsa::x87:
            return 0;
        case DspIsa::sse2:
            return dspFeatSse2;
        case DspIsa::sse42:
            return sse42;
        case DspIsa::avx:
            return avx;
        case DspIsa::avx2fma:
            return avx | dspFeatAvx2 | dspFeatFma;
    }
    return dspFeatAll;
}

struct DspSlotTraits {
    const char* name;  // "s0" .. "s5", "s2n"
    int index;
    int dispatch;
    DspIsa isa;
    int lanes;
    bool fma;
    bool x87;
    DspCpuFeatures oneOf;
    // A second build of the dispatch slot (2n).
    constexpr bool secondBuild() const { return index != dispatch; }
    // Whether a processor with these enabled features can run the slot's bodies.
    constexpr bool runsOn(DspCpuFeatures f) const {
        const DspCpuFeatures all = dspIsaFeatures(isa);
        return (f & all) == all && (oneOf == 0 || (f & oneOf) != 0);
    }
};

#define DSP_SLOT_TRAITS_ROW(id, index, dispatch, isa, lanes, fma, x87, oneOf) \
    {"s" #id, index, dispatch, DspIsa::isa, lanes, fma, x87, oneOf},
constexpr DspSlotTraits kDspSlots[] = {DSP_SLOT_ROWS(DSP_SLOT_TRAITS_ROW)};
#undef DSP_SLOT_TRAITS_ROW

// kDspSlotIndex_s0 .. kDspSlotIndex_s2n: the index of each id.
#define DSP_SLOT_INDEX_CONSTANT(id, index, ...) constexpr int kDspSlotIndex_s##id = index;
DSP_SLOT_ROWS(DSP_SLOT_INDEX_CONSTANT)
#undef DSP_SLOT_INDEX_CONSTANT

// Rows with and without the second builds; the dispatch slots come first, in order.
constexpr int kDspSlotCountWith2n = static_cast<int>(sizeof kDspSlots / sizeof kDspSlots[0]);
constexpr int dspCountDispatchSlots() {
    int n = 0;
    for (const DspSlotTraits& s : kDspSlots) n += s.secondBuild() ? 0 : 1;
    return n;
}
constexpr int kDspSlotCount = dspCountDispatchSlots();
// The index of slot 2's second build (2n).
constexpr int dspSecondBuildOf(int dispatch) {
    for (const DspSlotTraits& s : kDspSlots)
        if (s.secondBuild() && s.dispatch == dispatch) return s.index;
    return -1;
}
constexpr int kDspSlot2n = dspSecondBuildOf(2);

constexpr bool dspSlotRowsInOrder() {
    for (int i = 0; i < kDspSlotCountWith2n; ++i) {
        const DspSlotTraits& s = kDspSlots[i];
        if (s.index != i || (i < kDspSlotCount) == s.secondBuild()) return false;
        if (s.dispatch < 0 || s.dispatch >= kDspSlotCount) return false;
    }
    return true;
}
static_assert(dspSlotRowsInOrder(), "slot rows: indices in order, the dispatch slots first");

#endif
