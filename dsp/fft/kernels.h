// The straight-line kernels of the small orders and the sets that reach them by order.
//
// Four subtables per set, one set per slot and direction:
//   T0  real DFT of 2^k samples into the Perm layout, times a scale      (src, dst, scale)
//   T1  the same without the scale                                        (src, dst)
//   T2  complex DFT of 2^k points, natural order, times a scale           (src, dst, scale)
//   T3  the same without the scale                                        (src, dst)
// A forward body takes T0/T1 entry `order` at the smallest orders and T2/T3 entry `order - 1`
// (the half-length complex transform) at the next ones. src may equal dst; kernels check nothing
// and write nothing but dst[0 .. 2^k - 1] (real) or the 2^(k+1) doubles of dst (complex). A null
// entry is a kernel the slot does not have: the body answers dspErrFftOrder for its order.
//
// The members are function templates over the order in the namespace of their slot
// (slot2n::realFwdScaled<3>, slot1::complexInv<5>), defined by dsp/fft/kernels.slots.cpp. Which
// slot's member serves each entry of each set is the member map below, the one place that says
// it: a set may take another slot's member where that member computes exactly what the slot's
// own would, and each slot's build instantiates the members its own sets take, which are the
// ones the others may borrow.
#pragma once

#include "corvane/dsp.h"
#include "dsp/fft/spec.h"
#include "dsp/slot_list.h"

#include <stdint.h>

#include <utility>

extern "C" {

typedef void(DSP_CALL* DspFftKernelScaledFn)(const double* src, double* dst, double scale);
typedef void(DSP_CALL* DspFftKernelFn)(const double* src, double* dst);

constexpr int kDspFftRealKernelOrders = 6;     // T0 and T1: orders 0..5
constexpr int kDspFftComplexKernelOrders = 7;  // T2 and T3: complex orders 0..6 (6 in slots 4, 5)

typedef struct DspFftKernelSet {
    DspFftKernelScaledFn t0[kDspFftRealKernelOrders];
    DspFftKernelFn t1[kDspFftRealKernelOrders];
    DspFftKernelScaledFn t2[kDspFftComplexKernelOrders];
    DspFftKernelFn t3[kDspFftComplexKernelOrders];
} DspFftKernelSet;

// The forward and the inverse set of each slot (dsp/fft/kernels.slots.cpp). Entries 0 and 1 of
// every inverse subtable are the forward set's: for one and two points both directions coincide.
#define DSP_FFT_DECLARE_KERNEL_SETS(id, ...)               \
    extern const DspFftKernelSet dspFftFwdKernelSet_s##id; \
    extern const DspFftKernelSet dspFftInvKernelSet_s##id;
DSP_SLOT_ROWS(DSP_FFT_DECLARE_KERNEL_SETS)
#undef DSP_FFT_DECLARE_KERNEL_SETS

}  // extern "C"

// ---------------------------------------------------------------------------------------------
// The member map: for a slot, the slot whose member serves each entry of its sets (-1: none).

struct DspFftKernelOwners {
    int8_t t0[kDspFftRealKernelOrders];
    int8_t t1[kDspFftRealKernelOrders];
    int8_t t2[kDspFftComplexKernelOrders];
    int8_t t3[kDspFftComplexKernelOrders];
};
struct DspFftKernelMapRow {
    int slot;
    DspFftKernelOwners fwd, inv;
};

namespace dspfftmap {
#define DSP_FFT_MAP_SLOT(id, index, ...) constexpr int8_t s##id = index;
DSP_SLOT_ROWS(DSP_FFT_MAP_SLOT)
#undef DSP_FFT_MAP_SLOT
constexpr int8_t no = -1;

// clang-format off
constexpr DspFftKernelMapRow kRows[] = {
    // slot 0: its own x87 members
    {s0, {{s0, s0, s0, s0, s0, s0}, {s0, s0, s0, s0, s0, s0},
          {s0, s0, s0, s0, s0, s0, no}, {s0, s0, s0, s0, s0, s0, no}},
         {{s0, s0, s0, s0, s0, s0}, {s0, s0, s0, s0, s0, s0},
          {s0, s0, s0, s0, s0, s0, no}, {s0, s0, s0, s0, s0, s0, no}}},
    // slot 1
    {s1, {{s1, s1, s1, s1, s1, s1}, {s1, s1, s1, s1, s1, s1},
          {s1, s1, s1, s1, s1, s1, no}, {s1, s1, s1, s1, s1, s1, no}},
         {{s1, s1, s1, s1, s1, s1}, {s1, s1, s1, s1, s1, s1},
          {s1, s1, s1, s1, s1, s1, no}, {s1, s1, s1, s1, s1, s1, no}}},
    // slot 2 (with MOVBE)
    {s2, {{s1, s2, s2, s2, s2, s2}, {s1, s2, s1, s2, s2, s2},
          {s2, s2, s2, s2, s2, s2, no}, {s1, s2, s2, s2, s2, s2, no}},
         {{s1, s2, s2, s2, s2, s2}, {s1, s2, s2, s2, s2, s2},
          {s2, s2, s2, s2, s2, s2, no}, {s1, s2, s2, s2, s2, s2, no}}},
    // slot 3
    {s3, {{s1, s3, s3, s3, s3, s3}, {s1, s1, s3, s3, s3, s3},
          {s3, s3, s3, s3, s3, s3, no}, {s1, s1, s3, s3, s3, s3, no}},
         {{s1, s3, s3, s3, s3, s3}, {s1, s1, s3, s3, s3, s3},
          {s3, s3, s3, s3, s3, s3, no}, {s1, s1, s3, s3, s3, s3, no}}},
    // slot 4: its own members, the complex ones up to complex order 6
    {s4, {{s4, s4, s4, s4, s4, s4}, {s4, s4, s4, s4, s4, s4},
          {s4, s4, s4, s4, s4, s4, s4}, {s4, s4, s4, s4, s4, s4, s4}},
         {{s4, s4, s4, s4, s4, s4}, {s4, s4, s4, s4, s4, s4},
          {s4, s4, s4, s4, s4, s4, s4}, {s4, s4, s4, s4, s4, s4, s4}}},
    // slot 5: slot 4's members up to order 2 (complex order 1), its own above
    {s5, {{s4, s4, s4, s5, s5, s5}, {s4, s4, s4, s5, s5, s5},
          {s4, s4, s5, s5, s5, s5, s5}, {s4, s4, s5, s5, s5, s5, s5}},
         {{s4, s4, s4, s5, s5, s5}, {s4, s4, s5, s5, s5, s5},
          {s4, s4, s5, s5, s5, s5, s5}, {s4, s4, s5, s5, s5, s5, s5}}},
    // slot 2n: slot 1's members up to order 2 (complex order 1), its own above
    {s2n, {{s1, s1, s1, s2n, s2n, s2n}, {s1, s1, s1, s2n, s2n, s2n},
           {s1, s1, s2n, s2n, s2n, s2n, no}, {s1, s1, s2n, s2n, s2n, s2n, no}},
          {{s1, s1, s1, s2n, s2n, s2n}, {s1, s1, s1, s2n, s2n, s2n},
           {s1, s1, s2n, s2n, s2n, s2n, no}, {s1, s1, s2n, s2n, s2n, s2n, no}}},
};
// clang-format on

// The row of a slot, or null.
constexpr const DspFftKernelMapRow* rowOf(int slot) {
    for (const DspFftKernelMapRow& r : kRows)
        if (r.slot == slot) return &r;
    return nullptr;
}

// Entry k of subtable `sub` (0..3) of a slot's forward or inverse set: the owner slot or -1.
constexpr int ownerOf(int slot, bool inverse, int sub, int k) {
    const DspFftKernelMapRow* r = rowOf(slot);
    if (!r) return -1;
    const DspFftKernelOwners& o = inverse ? r->inv : r->fwd;
    const bool real = sub < 2;
    if (k >= (real ? kDspFftRealKernelOrders : kDspFftComplexKernelOrders)) return -1;
    return sub == 0 ? o.t0[k] : sub == 1 ? o.t1[k] : sub == 2 ? o.t2[k] : o.t3[k];
}

// The map is sound: every row's slot exists and comes once, the inverse entries 0 and 1 are the
// forward ones, and a slot that lends a member serves that entry from its own member.
constexpr bool wellFormed() {
    for (const DspFftKernelMapRow& r : kRows) {
        if (r.slot < 0 || r.slot >= kDspSlotCountWith2n || rowOf(r.slot) != &r) return false;
        for (int sub = 0; sub < 4; ++sub) {
            for (int k = 0; k < kDspFftComplexKernelOrders; ++k) {
                if (k <= 1 && ownerOf(r.slot, true, sub, k) != ownerOf(r.slot, false, sub, k))
                    return false;
                for (bool inverse : {false, true}) {
                    const int owner = ownerOf(r.slot, inverse, sub, k);
                    if (owner >= 0 && ownerOf(owner, inverse, sub, k) != owner) return false;
                }
            }
        }
    }
    return true;
}
static_assert(wellFormed(), "the kernel member map of dsp/fft/kernels.h");

}  // namespace dspfftmap

// ---------------------------------------------------------------------------------------------
// The members, declared for every slot; each slot's build defines its own.

template <int slot>
struct DspFftMembers;

#define DSP_FFT_DECLARE_MEMBERS(id, index, ...)                                                \
    namespace slot##id {                                                                       \
        template <int k>                                                                       \
        void DSP_CALL realFwdScaled(const double* src, double* dst, double scale);             \
        template <int k>                                                                       \
        void DSP_CALL realFwd(const double* src, double* dst);                                 \
        template <int k>                                                                       \
        void DSP_CALL complexFwdScaled(const double* src, double* dst, double scale);          \
        template <int k>                                                                       \
        void DSP_CALL complexFwd(const double* src, double* dst);                              \
        template <int k>                                                                       \
        void DSP_CALL realInvScaled(const double* src, double* dst, double scale);             \
        template <int k>                                                                       \
        void DSP_CALL realInv(const double* src, double* dst);                                 \
        template <int k>                                                                       \
        void DSP_CALL complexInvScaled(const double* src, double* dst, double scale);          \
        template <int k>                                                                       \
        void DSP_CALL complexInv(const double* src, double* dst);                              \
    }                                                                                          \
    template <>                                                                                \
    struct DspFftMembers<index> {                                                              \
        /* The member of entry k of subtable sub; below order 2 the inverse is the forward. */ \
        template <bool Inverse, int sub, int k>                                                \
        static constexpr auto of() {                                                           \
            if constexpr (Inverse && k >= 2) {                                                 \
                if constexpr (sub == 0) return &slot##id::realInvScaled<k>;                    \
                if constexpr (sub == 1) return &slot##id::realInv<k>;                          \
                if constexpr (sub == 2) return &slot##id::complexInvScaled<k>;                 \
                if constexpr (sub == 3) return &slot##id::complexInv<k>;                       \
            } else {                                                                           \
                if constexpr (sub == 0) return &slot##id::realFwdScaled<k>;                    \
                if constexpr (sub == 1) return &slot##id::realFwd<k>;                          \
                if constexpr (sub == 2) return &slot##id::complexFwdScaled<k>;                 \
                if constexpr (sub == 3) return &slot##id::complexFwd<k>;                       \
            }                                                                                  \
        }                                                                                      \
    };
DSP_SLOT_ROWS(DSP_FFT_DECLARE_MEMBERS)
#undef DSP_FFT_DECLARE_MEMBERS

// The forward (Inverse false) or inverse set of `slot` by the member map, made at compile time
// where that slot's members are defined.
template <bool Inverse, int slot, int sub, int k>
constexpr auto dspFftMemberOf() {
    using Fn = std::conditional_t<sub % 2 == 0, DspFftKernelScaledFn, DspFftKernelFn>;
    constexpr int owner = dspfftmap::ownerOf(slot, Inverse, sub, k);
    if constexpr (owner < 0) {
        return Fn{nullptr};
    } else {
        return Fn{DspFftMembers<owner>::template of<Inverse, sub, k>()};
    }
}
template <bool Inverse, int slot, int... R, int... C>
constexpr DspFftKernelSet dspFftKernelSetOf(std::integer_sequence<int, R...>,
                                            std::integer_sequence<int, C...>) {
    return {{dspFftMemberOf<Inverse, slot, 0, R>()...},
            {dspFftMemberOf<Inverse, slot, 1, R>()...},
            {dspFftMemberOf<Inverse, slot, 2, C>()...},
            {dspFftMemberOf<Inverse, slot, 3, C>()...}};
}
template <bool Inverse, int slot>
constexpr DspFftKernelSet dspFftKernelSetOf() {
    static_assert(dspfftmap::rowOf(slot) != nullptr, "a slot with kernels has a member map row");
    return dspFftKernelSetOf<Inverse, slot>(
        std::make_integer_sequence<int, kDspFftRealKernelOrders>(),
        std::make_integer_sequence<int, kDspFftComplexKernelOrders>());
}
