// The slot tables, made from the routine list, and the slot and buffer helpers.
#include "dsp/support/slot_tables.h"

#include <cstring>
#include <new>

namespace dspslots {
#define DSP_DEFINE_OPERATION_TABLE(name, params, args, slots) \
    constexpr DspSlotTable<dspfn::name> name = DSP_SLOT_TABLE(dspfn::name, name, true, slots);
#define DSP_DEFINE_EFFECT_TABLE(name, Ret, params, args, slots) \
    constexpr DspSlotTable<dspfn::name> name = DSP_SLOT_TABLE(dspfn::name, name, true, slots);
#define DSP_DEFINE_ROUTINE_TABLE(name, Ret, params, slots) \
    constexpr DspSlotTable<dspfn::name> name = DSP_SLOT_TABLE(dspfn::name, name, false, slots);
DSP_OPERATIONS(DSP_DEFINE_OPERATION_TABLE)
DSP_PUBLIC_ROUTINES(DSP_DEFINE_ROUTINE_TABLE)
DSP_INTERNAL_ROUTINES(DSP_DEFINE_ROUTINE_TABLE)
DSP_EFFECT_ROUTINES(DSP_DEFINE_EFFECT_TABLE)
DSP_TEST_ROUTINES(DSP_DEFINE_ROUTINE_TABLE)
}  // namespace dspslots

const char* dspSlotName(int slot) {
    return slot >= 0 && slot < kDspSlotCountWith2n ? kDspSlots[slot].name : "s?";
}

bool dspSlotSupported(int slot) {
    if (slot < 0 || slot >= kDspSlotCountWith2n) return false;
    // The compiler's detection rather than the library's, so that a fault there cannot hide a
    // slot from its tests; what each instruction set needs is the library's one table. The
    // compiler's "avx" includes the operating system's saving of the registers.
    __builtin_cpu_init();
    const struct {
        DspCpuFeatures feature;
        bool present;
    } detected[] = {
        {dspFeatSse2, __builtin_cpu_supports("sse2") != 0},
        {dspFeatSse3, __builtin_cpu_supports("sse3") != 0},
        {dspFeatSsse3, __builtin_cpu_supports("ssse3") != 0},
        {dspFeatSse41, __builtin_cpu_supports("sse4.1") != 0},
        {dspFeatSse42, __builtin_cpu_supports("sse4.2") != 0},
        {dspFeatPopcnt, __builtin_cpu_supports("popcnt") != 0},
        {dspFeatAvx | dspFeatAvxOs, __builtin_cpu_supports("avx") != 0},
        {dspFeatAvx2, __builtin_cpu_supports("avx2") != 0},
        {dspFeatFma, __builtin_cpu_supports("fma") != 0},
    };
    DspCpuFeatures have = 0;
    for (const auto& d : detected)
        if (d.present) have |= d.feature;
    const DspCpuFeatures need = dspIsaFeatures(kDspSlots[slot].isa);
    return (have & need) == need;
}

std::vector<int> dspSupportedSlots(bool with2n) {
    std::vector<int> slots;
    for (int s = 0; s < (with2n ? kDspSlotCountWith2n : kDspSlotCount); ++s) {
        if (dspSlotSupported(s)) slots.push_back(s);
    }
    return slots;
}

DspGuardedBuffer::DspGuardedBuffer(size_t capacity, size_t misalign, uint8_t sentinel)
    : capacity_(capacity),
      misalign_(misalign),
      sentinel_(sentinel),
      size_((2 * kGuard + 64 + capacity + misalign + 63) & ~size_t(63)),
      raw_(static_cast<uint8_t*>(::operator new (size_, std::align_val_t{64}))) {
    reset();
}

DspGuardedBuffer::~DspGuardedBuffer() {
    ::operator delete (raw_, std::align_val_t{64});
}

void DspGuardedBuffer::reset() {
    std::memset(raw_, sentinel_, size_);
}

// The first byte of [p, end) that is not the sentinel, or end. Word by word: the tests call
// this once per length and offset they try, on the whole buffer, thousands of times.
static const uint8_t* firstChanged(const uint8_t* p, const uint8_t* end, uint8_t sentinel) {
    const uint64_t pattern = 0x0101010101010101ull * sentinel;
    for (uint64_t word; end - p >= 8; p += 8) {
        std::memcpy(&word, p, 8);
        if (word != pattern) break;
    }
    while (p < end && *p == sentinel) ++p;
    return p;
}

long DspGuardedBuffer::changedOutside(size_t begin, size_t len) const {
    const uint8_t* lo = at(begin);
    const uint8_t* hi = lo + len;
    const uint8_t* end = raw_ + size_;
    const uint8_t* p = firstChanged(raw_, lo, sentinel_);
    if (p == lo) p = firstChanged(hi, end, sentinel_);
    return p == end ? -1 : static_cast<long>(p - at(0));
}
