// Running a test on every CPU slot this machine supports.
//
// A slot is an int: 0..5, or kDspSlot2n (6) for the second slot-2 build used by processors
// without MOVBE. Support is decided by the compiler's own processor detection
// (__builtin_cpu_supports, which includes the operating-system check for AVX state), not by the
// library under test, so a fault in the library's detection cannot hide a slot.
//
//   class MyTest : public DspSlotTest {};
//   TEST_P(MyTest, Works) { int s = slot(); ... kSetBodies[s](...) ... }
//   DSP_INSTANTIATE_SLOTS(MyTest);          // slots 0..5
//   DSP_INSTANTIATE_SLOTS_WITH_2N(MyFft);   // slots 0..5 and 2n
//
// Inside a TEST_P, unsupported slots are skipped in SetUp (GTEST_SKIP), never failed. Plain
// TESTs can loop with dspForEachSupportedSlot or call DSP_SKIP_UNLESS_SLOT(s).
//
// The per-slot bodies of the vector and memory routines are in the tables kDsp<Name>[slot],
// and DspGuardedBuffer gives arrays at any misalignment with sentinel bytes around them.
// Benchmarks define DSP_SLOTS_NO_GTEST before including this header to get only that part.
#pragma once

#include "corvane/dsp.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

constexpr int kDspSlot2n = 6;
constexpr int kDspSlotCount = 6;        // slots 0..5
constexpr int kDspSlotCountWith2n = 7;  // slots 0..5 and 2n

inline const char* dspSlotName(int slot) {
    static const char* const names[] = {"s0", "s1", "s2", "s3", "s4", "s5", "s2n"};
    return slot >= 0 && slot < kDspSlotCountWith2n ? names[slot] : "s?";
}

// True when this machine can run the bodies of the slot (instruction sets of its build flags).
inline bool dspSlotSupported(int slot) {
    __builtin_cpu_init();
    switch (slot) {
        case 0:
            return true;
        case 1:
        case 2:
        case kDspSlot2n:
            return __builtin_cpu_supports("sse2");
        case 3:
            return __builtin_cpu_supports("sse2") && __builtin_cpu_supports("sse3") &&
                   __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("sse4.1") &&
                   __builtin_cpu_supports("sse4.2");
        case 4:
            return dspSlotSupported(3) && __builtin_cpu_supports("avx");
        case 5:
            return dspSlotSupported(4) && __builtin_cpu_supports("avx2") &&
                   __builtin_cpu_supports("fma");
        default:
            return false;
    }
}

// The slots this machine supports, in increasing order (2n included when asked).
inline std::vector<int> dspSupportedSlots(bool with2n = false) {
    std::vector<int> slots;
    for (int s = 0; s < (with2n ? kDspSlotCountWith2n : kDspSlotCount); ++s) {
        if (dspSlotSupported(s)) slots.push_back(s);
    }
    return slots;
}

// ---------------------------------------------------------------------------------------------
// Bodies by slot.

using DspSetFn = DspStatus(DSP_CALL*)(double, double*, int);
using DspScaleInPlaceFn = DspStatus(DSP_CALL*)(double, double*, int);
using DspScaleFn = DspStatus(DSP_CALL*)(const double*, double, double*, int);
using DspMulFn = DspStatus(DSP_CALL*)(const double*, const double*, double*, int);
using DspMagnitudeFn = DspStatus(DSP_CALL*)(const double*, double*, int);
using DspZero64fFn = DspStatus(DSP_CALL*)(double*, int);
using DspCopy64fFn = DspStatus(DSP_CALL*)(const double*, double*, int);
using DspZeroBytesFn = BYTE*(DSP_CALL*)(BYTE*, int);
using DspCopyBytesFn = BYTE*(DSP_CALL*)(const BYTE*, BYTE*, int);
using DspCopyCheckedFn = DspStatus(DSP_CALL*)(const BYTE*, BYTE*, int);

inline constexpr DspSetFn kDspSet[] = {dspSet64f_s0, dspSet64f_s1, dspSet64f_s2,
                                       dspSet64f_s3, dspSet64f_s4, dspSet64f_s5};
inline constexpr DspScaleInPlaceFn kDspScaleInPlace[] = {
    dspMulConstInPlace64f_s0, dspMulConstInPlace64f_s1, dspMulConstInPlace64f_s2,
    dspMulConstInPlace64f_s3, dspMulConstInPlace64f_s4, dspMulConstInPlace64f_s5};
inline constexpr DspScaleFn kDspScale[] = {dspMulConst64f_s0, dspMulConst64f_s1, dspMulConst64f_s2,
                                           dspMulConst64f_s3, dspMulConst64f_s4, dspMulConst64f_s5};
inline constexpr DspMulFn kDspMul[] = {dspMul64f_s0, dspMul64f_s1, dspMul64f_s2,
                                       dspMul64f_s3, dspMul64f_s4, dspMul64f_s5};
inline constexpr DspMagnitudeFn kDspMagnitude[] = {dspMagnitude64fc_s0, dspMagnitude64fc_s1,
                                                   dspMagnitude64fc_s2, dspMagnitude64fc_s3,
                                                   dspMagnitude64fc_s4, dspMagnitude64fc_s5};
inline constexpr DspZero64fFn kDspZero64f[] = {dspZero64f_s0, dspZero64f_s1, dspZero64f_s2,
                                               dspZero64f_s3, dspZero64f_s4, dspZero64f_s5};
inline constexpr DspCopy64fFn kDspCopy64f[] = {dspCopy64f_s0, dspCopy64f_s1, dspCopy64f_s2,
                                               dspCopy64f_s3, dspCopy64f_s4, dspCopy64f_s5};
inline constexpr DspZeroBytesFn kDspZeroBytes[] = {dspZeroBytes_s0, dspZeroBytes_s1,
                                                   dspZeroBytes_s2, dspZeroBytes_s3,
                                                   dspZeroBytes_s4, dspZeroBytes_s5};
inline constexpr DspCopyBytesFn kDspCopyBytes[] = {dspCopyBytes_s0, dspCopyBytes_s1,
                                                   dspCopyBytes_s2, dspCopyBytes_s3,
                                                   dspCopyBytes_s4, dspCopyBytes_s5};
// Slot 0 has no guarded byte copy.
inline constexpr DspCopyCheckedFn kDspCopyChecked[] = {nullptr,           dspCopyChecked_s1,
                                                       dspCopyChecked_s2, dspCopyChecked_s3,
                                                       dspCopyChecked_s4, dspCopyChecked_s5};

// ---------------------------------------------------------------------------------------------
// Guarded memory: `capacity` bytes that start `misalign` bytes past a 64-byte boundary, with
// at least 64 sentinel bytes on each side. Owns its memory.
class DspGuardedBuffer {
public:
    static constexpr size_t kGuard = 64;

    DspGuardedBuffer(size_t capacity, size_t misalign, uint8_t sentinel)
        : capacity_(capacity),
          misalign_(misalign),
          sentinel_(sentinel),
          size_((2 * kGuard + 64 + capacity + misalign + 63) & ~size_t(63)),
          raw_(static_cast<uint8_t*>(std::aligned_alloc(64, size_))) {
        reset();
    }
    ~DspGuardedBuffer() { std::free(raw_); }
    DspGuardedBuffer(const DspGuardedBuffer&) = delete;
    DspGuardedBuffer& operator=(const DspGuardedBuffer&) = delete;

    // The byte `offset` bytes after the start (the start is misaligned as asked).
    uint8_t* at(size_t offset = 0) const { return raw_ + kGuard + misalign_ + offset; }
    void reset() { std::memset(raw_, sentinel_, size_); }
    // Offset (from at(0)) of the first byte outside [at(begin), at(begin) + len) that is not the
    // sentinel, or -1 when there is none.
    long changedOutside(size_t begin, size_t len) const {
        const uint8_t* lo = at(begin);
        const uint8_t* hi = lo + len;
        for (const uint8_t* p = raw_; p < raw_ + size_; ++p)
            if ((p < lo || p >= hi) && *p != sentinel_) return static_cast<long>(p - at(0));
        return -1;
    }
    size_t capacity() const { return capacity_; }

private:
    size_t capacity_, misalign_;
    uint8_t sentinel_;
    size_t size_;
    uint8_t* raw_;
};

#ifndef DSP_SLOTS_NO_GTEST

#include <gtest/gtest.h>

#define DSP_SKIP_UNLESS_SLOT(s)                                                        \
    do {                                                                               \
        if (!dspSlotSupported(s)) GTEST_SKIP() << "CPU lacks slot " << dspSlotName(s); \
    } while (0)

// Runs fn(slot) for every supported slot, with the slot in the failure messages.
template <typename Fn>
void dspForEachSupportedSlot(Fn fn, bool with2n = false) {
    for (int s : dspSupportedSlots(with2n)) {
        SCOPED_TRACE(std::string("slot ") + dspSlotName(s));
        fn(s);
    }
}

// Parameterised fixture: the parameter is the slot; unsupported slots are skipped.
class DspSlotTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override { DSP_SKIP_UNLESS_SLOT(GetParam()); }
    int slot() const { return GetParam(); }
};

struct DspSlotParamName {
    std::string operator()(const ::testing::TestParamInfo<int>& info) const {
        return dspSlotName(info.param);
    }
};

#define DSP_INSTANTIATE_SLOTS(fixture) \
    INSTANTIATE_TEST_SUITE_P(Slots, fixture, ::testing::Range(0, kDspSlotCount), DspSlotParamName())
#define DSP_INSTANTIATE_SLOTS_WITH_2N(fixture)                                         \
    INSTANTIATE_TEST_SUITE_P(Slots, fixture, ::testing::Range(0, kDspSlotCountWith2n), \
                             DspSlotParamName())

#endif  // DSP_SLOTS_NO_GTEST
