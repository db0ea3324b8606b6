// Dispatch of the twelve public operations: one table per operation, indexed from -1, whose
// entry -1 is the first-call stub. A call costs one load of the slot and one indirect jump.
// Tables and stubs are made from the list in dsp/routines.h, which dsp.h is checked against here.
#include "dsp/internal.h"
#include "dsp/routines.h"
#include "dsp/slot_list.h"
#if CORVANE_DSP_TEST_SEAMS
#include "dsp/testing.h"
#endif

#include <type_traits>

namespace {

// The prototypes that dsp.h writes out must be exactly those of the list: the dispatch and
// first-call stubs here, and every body where its table is made (a body of another type is no
// element of its table), the public routines' tables only for the check.
#define DSP_CHECK_OPERATION(name, params, args, slots)                                 \
    static_assert(std::is_same<decltype(&name), dspfn::name>::value, "dsp.h: " #name); \
    static_assert(std::is_same<decltype(&name##_init), dspfn::name>::value, "dsp.h: " #name);
#define DSP_CHECK_ROUTINE(name, Ret, params, slots)                                              \
    static_assert(DSP_SLOT_TABLE(dspfn::name, name, false, slots).size() == kDspSlotCountWith2n, \
                  "dsp.h: " #name);
DSP_OPERATIONS(DSP_CHECK_OPERATION)
DSP_PUBLIC_ROUTINES(DSP_CHECK_ROUTINE)

// The first-call stub, then the bodies of the dispatch slots. The operation's stub indexes the
// table with the slot + 1, so slot -1 lands on the first-call stub.
template <typename Fn>
using DispatchTable = std::array<Fn, kDspSlotCount + 1>;
template <typename Fn>
constexpr DispatchTable<Fn> dispatchTable(Fn first, const DspSlotTable<Fn>& bodies) {
    DispatchTable<Fn> t{};
    t[0] = first;
    for (int s = 0; s < kDspSlotCount; ++s) t[s + 1] = bodies[s];
    return t;
}

inline int slotIndex() {
    return dspCpuSlot.load(std::memory_order_acquire) + 1;
}

#define DSP_TABLE(name, Ret, params, args, slots)      \
    constexpr DispatchTable<dspfn::name> name##Table = \
        dispatchTable<dspfn::name>(name##_init, DSP_SLOT_TABLE(dspfn::name, name, true, slots));
#define DSP_OPERATION_TABLE(name, params, args, slots) \
    DSP_TABLE(name, DspStatus, params, args, slots)
DSP_OPERATIONS(DSP_OPERATION_TABLE)
DSP_EFFECT_ROUTINES(DSP_TABLE)

}  // namespace

// Each operation (and each sample loop of the effects) gets its direct stub and its first-call
// stub. The first-call stub runs the CPU set-up, ignores its status (a warning at most) and goes
// on with the chosen body, whose status is the caller's result.
#define DSP_DISPATCH(name, Ret, params, args, slots) \
    Ret DSP_CALL name params {                       \
        return name##Table[slotIndex()] args;        \
    }                                                \
    Ret DSP_CALL name##_init params {                \
        (void)dspInitCpu();                          \
        return name##Table[slotIndex()] args;        \
    }
#define DSP_DISPATCH_OPERATION(name, params, args, slots) \
    DSP_DISPATCH(name, DspStatus, params, args, slots)

extern "C" {

DSP_OPERATIONS(DSP_DISPATCH_OPERATION)
DSP_EFFECT_ROUTINES(DSP_DISPATCH)

#if CORVANE_DSP_TEST_SEAMS
const void* dspTestDispatchEntry(int operation, int slot) {
    if (slot < dspSlotUnset || slot >= kDspSlotCount) return nullptr;
    int number = 0;
#define DSP_ENTRY_OF(name, ...) \
    if (++number == operation) return reinterpret_cast<const void*>(name##Table[slot + 1]);
    DSP_OPERATIONS(DSP_ENTRY_OF)
    return nullptr;
}
#endif

}  // extern "C"
