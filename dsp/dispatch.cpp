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

// The prototypes that dsp.h writes out must be exactly those of the list: every body the list
// names, and for an operation its dispatch and first-call stubs too.
// True when a body has the pointer type of its routine (or the slot has none).
template <typename Want, typename Got>
constexpr bool bodyMatches(Got) {
    return std::is_same<Want, Got>::value || std::is_same<Got, std::nullptr_t>::value;
}
#define DSP_CHECK_BODY(name, b)                                \
    static_assert(bodyMatches<dspfn::name>(DSP_BODY(name, b)), \
                  "dsp.h and dsp/routines.h disagree on " #name "_" #b);
// clang-format off
#define DSP_CHECK_BODIES(name, b0, b1, b2, b3, b4, b5, b2n) \
    DSP_CHECK_BODY(name, b0)                                \
    DSP_CHECK_BODY(name, b1)                                \
    DSP_CHECK_BODY(name, b2)                                \
    DSP_CHECK_BODY(name, b3)                                \
    DSP_CHECK_BODY(name, b4)                                \
    DSP_CHECK_BODY(name, b5)                                \
    DSP_CHECK_BODY(name, b2n)
// clang-format on
#define DSP_CHECK_OPERATION(name, params, args, ...)                                          \
    static_assert(std::is_same<decltype(&name), dspfn::name>::value, "dsp.h: " #name);        \
    static_assert(std::is_same<decltype(&name##_init), dspfn::name>::value, "dsp.h: " #name); \
    DSP_CHECK_BODIES(name, __VA_ARGS__)
#define DSP_CHECK_ROUTINE(name, Ret, params, ...) DSP_CHECK_BODIES(name, __VA_ARGS__)
DSP_OPERATIONS(DSP_CHECK_OPERATION)
DSP_PUBLIC_ROUTINES(DSP_CHECK_ROUTINE)

// Seven entries: the first-call stub, then the bodies of slots 0 to 5. The operation's
// stub indexes the table with the slot + 1, so slot -1 lands on the first-call stub.
template <typename Fn>
using DispatchTable = Fn const[7];
static_assert(kDspSlotCount + 1 == 7, "a table entry per dispatch slot of dsp/slot_list.h");

inline int slotIndex() {
    return dspCpuSlot.load(std::memory_order_acquire) + 1;
}

#define DSP_TABLE(name, Ret, params, args, b0, b1, b2, b3, b4, b5, b2n)                 \
    DispatchTable<dspfn::name> name##Table = {                                          \
        name##_init,        DSP_BODY(name, b0), DSP_BODY(name, b1), DSP_BODY(name, b2), \
        DSP_BODY(name, b3), DSP_BODY(name, b4), DSP_BODY(name, b5)};
#define DSP_OPERATION_TABLE(name, params, args, ...) \
    DSP_TABLE(name, DspStatus, params, args, __VA_ARGS__)
DSP_OPERATIONS(DSP_OPERATION_TABLE)
DSP_EFFECT_ROUTINES(DSP_TABLE)

}  // namespace

// Each operation (and each sample loop of the effects) gets its direct stub and its first-call
// stub. The first-call stub runs the CPU set-up, ignores its status (a warning at most) and goes
// on with the chosen body, whose status is the caller's result.
#define DSP_DISPATCH(name, Ret, params, args, ...) \
    Ret DSP_CALL name params {                     \
        return name##Table[slotIndex()] args;      \
    }                                              \
    Ret DSP_CALL name##_init params {              \
        (void)dspInitCpu();                        \
        return name##Table[slotIndex()] args;      \
    }
#define DSP_DISPATCH_OPERATION(name, params, args, ...) \
    DSP_DISPATCH(name, DspStatus, params, args, __VA_ARGS__)

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
