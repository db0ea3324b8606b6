// The CPU slots of corvane-dsp, one row each. What else has a column or an entry per slot is
// expanded from these rows or checked against them: the builds of dsp/CMakeLists.txt (which
// reads the rows from this file), the slot being compiled (dsp/slot.h), the dispatch and slot
// tables, the FFT's per-slot tables and kernel declarations. docs/architecture.md says what
// adding a slot takes.
//
// X(id, index, dispatch, isa, lanes, fma, x87)
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
#pragma once

// clang-format off
#define DSP_SLOT_ROWS(X)                   \
    X(0, 0, 0, x87, 1, false, true)        \
    X(1, 1, 1, sse2, 2, false, false)      \
    X(2, 2, 2, sse2, 2, false, false)      \
    X(3, 3, 3, sse42, 2, false, false)     \
    X(4, 4, 4, avx, 4, false, false)       \
    X(5, 5, 5, avx2fma, 4, true, false)    \
    X(2n, 6, 2, sse2, 2, false, false)
// clang-format on

#ifdef __cplusplus

enum class DspIsa { x87, sse2, sse42, avx, avx2fma };

struct DspSlotTraits {
    const char* name;  // "s0" .. "s5", "s2n"
    int index;
    int dispatch;
    DspIsa isa;
    int lanes;
    bool fma;
    bool x87;
    // A second build of the dispatch slot (2n).
    constexpr bool secondBuild() const { return index != dispatch; }
};

#define DSP_SLOT_TRAITS_ROW(id, index, dispatch, isa, lanes, fma, x87) \
    {"s" #id, index, dispatch, DspIsa::isa, lanes, fma, x87},
constexpr DspSlotTraits kDspSlots[] = {DSP_SLOT_ROWS(DSP_SLOT_TRAITS_ROW)};
#undef DSP_SLOT_TRAITS_ROW

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
