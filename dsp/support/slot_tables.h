// Slot tables for the tests and the benchmarks: every per-slot body of every listed routine
// (dsp/routines.h), which slots this machine can run, and guarded buffers at any misalignment.
// Part of corvane-dsp-support, which links the test build of the library; never in the product.
//
// A slot is its index in dsp/slot_list.h: 0..5, or kDspSlot2n (6) for the second slot-2 build
// used by processors without MOVBE. dspslots::NAME[slot] is the body the routine list names
// for that slot, or null where that slot has none.
#pragma once

#include "dsp/internal.h"
#include "dsp/routines.h"
#include "dsp/slot_list.h"
#include "dsp/testing.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace dspslots {
#define DSP_SLOT_TABLE_OF_OPERATION(name, params, args, slots) \
    extern const DspSlotTable<dspfn::name> name;
#define DSP_SLOT_TABLE_OF_ROUTINE(name, Ret, params, ...) \
    extern const DspSlotTable<dspfn::name> name;
DSP_OPERATIONS(DSP_SLOT_TABLE_OF_OPERATION)
DSP_PUBLIC_ROUTINES(DSP_SLOT_TABLE_OF_ROUTINE)
DSP_INTERNAL_ROUTINES(DSP_SLOT_TABLE_OF_ROUTINE)
DSP_EFFECT_ROUTINES(DSP_SLOT_TABLE_OF_ROUTINE)
DSP_TEST_ROUTINES(DSP_SLOT_TABLE_OF_ROUTINE)
#undef DSP_SLOT_TABLE_OF_OPERATION
#undef DSP_SLOT_TABLE_OF_ROUTINE
}  // namespace dspslots

// "s0" .. "s5", "s2n".
const char* dspSlotName(int slot);

// True when this machine can run the bodies of the slot (the instruction sets of its row). Decided
// by the compiler's own processor detection (which includes the operating system's check for AVX
// state), not by the library under test, so that a fault in the library's detection cannot hide a
// slot.
bool dspSlotSupported(int slot);

// The slots this machine supports, in increasing order (2n included when asked).
std::vector<int> dspSupportedSlots(bool with2n = false);

// The slots that have a body in the table, supported here or not: the cases a test of that
// routine has.
template <typename Fn>
std::vector<int> dspSlotsWithBody(const DspSlotTable<Fn>& table) {
    std::vector<int> slots;
    for (int s = 0; s < kDspSlotCountWith2n; ++s)
        if (table[s]) slots.push_back(s);
    return slots;
}

// `capacity` bytes that start `misalign` bytes past a 64-byte boundary, with at least 64
// sentinel bytes on each side. Owns its memory.
class DspGuardedBuffer {
public:
    static constexpr size_t kGuard = 64;

    DspGuardedBuffer(size_t capacity, size_t misalign, uint8_t sentinel);
    ~DspGuardedBuffer();
    DspGuardedBuffer(const DspGuardedBuffer&) = delete;
    DspGuardedBuffer& operator=(const DspGuardedBuffer&) = delete;

    // The byte `offset` bytes after the start (the start is misaligned as asked).
    uint8_t* at(size_t offset = 0) const { return raw_ + kGuard + misalign_ + offset; }
    void reset();
    // Offset (from at(0)) of the first byte outside [at(begin), at(begin) + len) that is not the
    // sentinel, or -1 when there is none.
    long changedOutside(size_t begin, size_t len) const;
    size_t capacity() const { return capacity_; }

private:
    size_t capacity_, misalign_;
    uint8_t sentinel_;
    size_t size_;
    uint8_t* raw_;
};
