// The real-FFT spec record, the plan rows and the per-slot constants of the real FFT.
//
// A spec is 24 words of 32 bits (96 bytes) at the caller's spec memory rounded up to 64, followed
// by its tables. Each field is named twice: by its word number (DspFftSpecWord) and by its field
// name in DspFftSpecReal64f; the static_asserts below keep the two in step. Table locations are
// 32-bit byte offsets from the start of the record (0 = no table), so the record means the same
// in a 32-bit and a 64-bit process; read them only through the accessors.
//
// The size query, the set-up, the large-order plan and both transforms' drivers read this header.
#pragma once

#include "corvane/dsp.h"
#include "dsp/slot_list.h"

#include <stddef.h>
#include <stdint.h>

// Word numbers of the record.
enum DspFftSpecWord {
    dspFftWordTag = 0,                 // 9 = built; 0 = never built, or the set-up failed
    dspFftWordOrder = 1,               // log2 of the real length N
    dspFftWordFwdScaled = 2,           // forward result multiplied by the scale
    dspFftWordInvScaled = 3,           // inverse result multiplied by the scale
    dspFftWordScale = 4,               // words 4-5: the scale (double)
    dspFftWordHint = 6,                // the caller's hint, kept and never read
    dspFftWordWorkSize = 7,            // work-buffer bytes the transforms need, without alignment
    dspFftWordReserved8 = 8,           // written 0
    dspFftWordReserved9 = 9,           // 9, 10: stay 0
    dspFftWordReserved10 = 10,         //
    dspFftWordBitReverseTable = 11,    // bit-reverse table, or the block table of large plans
    dspFftWordTwiddleTable = 12,       // butterfly twiddles (of the bottom level in large plans)
    dspFftWordCombineTable = 13,       // combining twiddles of a plain large-order plan
    dspFftWordReserved14 = 14,         // stays 0
    dspFftWordFwdRecombTable = 15,     // forward recombination table
    dspFftWordInvRecombTable = 16,     // inverse recombination table
    dspFftWordLevelTwiddleTable = 17,  // 17-19: slot 0, butterfly twiddles of level 0, 1, 2
    dspFftWordLevelColumnTable = 20,   // 20-22: combining (column) table of level 0, 1, 2
    dspFftWordReserved23 = 23,         // stays 0
    dspFftWordCount = 24
};

constexpr int kDspFftHeaderBytes = 96;
constexpr int32_t kDspFftSpecTag = 9;
constexpr int kDspFftMaxLevels = 3;

struct DspFftSpecReal64f {
    int32_t tag;
    int32_t order;
    int32_t fwdScaled;
    int32_t invScaled;
    double scale;  // 1/N, 1/sqrt(N) or 0 (no scaling)
    int32_t hint;
    int32_t workSize;
    int32_t reserved8;
    int32_t reserved9;
    int32_t reserved10;
    uint32_t bitReverseTable;
    uint32_t twiddleTable;
    uint32_t combineTable;
    uint32_t reserved14;
    uint32_t fwdRecombTable;
    uint32_t invRecombTable;
    uint32_t levelTwiddleTable[kDspFftMaxLevels];
    uint32_t levelColumnTable[kDspFftMaxLevels];
    int32_t reserved23;
};

#define DSP_FFT_WORD_IS(field, word) \
    static_assert(offsetof(DspFftSpecReal64f, field) == 4 * (word), #field " is word " #word)
DSP_FFT_WORD_IS(tag, dspFftWordTag);
DSP_FFT_WORD_IS(order, dspFftWordOrder);
DSP_FFT_WORD_IS(fwdScaled, dspFftWordFwdScaled);
DSP_FFT_WORD_IS(invScaled, dspFftWordInvScaled);
DSP_FFT_WORD_IS(scale, dspFftWordScale);
DSP_FFT_WORD_IS(hint, dspFftWordHint);
DSP_FFT_WORD_IS(workSize, dspFftWordWorkSize);
DSP_FFT_WORD_IS(reserved8, dspFftWordReserved8);
DSP_FFT_WORD_IS(reserved9, dspFftWordReserved9);
DSP_FFT_WORD_IS(reserved10, dspFftWordReserved10);
DSP_FFT_WORD_IS(bitReverseTable, dspFftWordBitReverseTable);
DSP_FFT_WORD_IS(twiddleTable, dspFftWordTwiddleTable);
DSP_FFT_WORD_IS(combineTable, dspFftWordCombineTable);
DSP_FFT_WORD_IS(reserved14, dspFftWordReserved14);
DSP_FFT_WORD_IS(fwdRecombTable, dspFftWordFwdRecombTable);
DSP_FFT_WORD_IS(invRecombTable, dspFftWordInvRecombTable);
DSP_FFT_WORD_IS(levelTwiddleTable, dspFftWordLevelTwiddleTable);
DSP_FFT_WORD_IS(levelColumnTable, dspFftWordLevelColumnTable);
DSP_FFT_WORD_IS(reserved23, dspFftWordReserved23);
#undef DSP_FFT_WORD_IS
static_assert(sizeof(DspFftSpecReal64f) == kDspFftHeaderBytes, "the header is 96 bytes");

// Accessors. Trivial and header-only; the anonymous namespace keeps each slot's copy its own.
namespace {

// The table at `offset` bytes from the record, or null for offset 0.
template <typename T>
inline const T* dspFftSpecTable(const DspFftSpecReal64f* spec, uint32_t offset) {
    return offset ? reinterpret_cast<const T*>(reinterpret_cast<const BYTE*>(spec) + offset)
                  : nullptr;
}

inline const int32_t* dspFftBitReverseTableOf(const DspFftSpecReal64f* spec) {
    return dspFftSpecTable<int32_t>(spec, spec->bitReverseTable);
}
inline const double* dspFftTwiddleTableOf(const DspFftSpecReal64f* spec) {
    return dspFftSpecTable<double>(spec, spec->twiddleTable);
}
inline const double* dspFftCombineTableOf(const DspFftSpecReal64f* spec) {
    return dspFftSpecTable<double>(spec, spec->combineTable);
}
inline const double* dspFftFwdRecombTableOf(const DspFftSpecReal64f* spec) {
    return dspFftSpecTable<double>(spec, spec->fwdRecombTable);
}
inline const double* dspFftInvRecombTableOf(const DspFftSpecReal64f* spec) {
    return dspFftSpecTable<double>(spec, spec->invRecombTable);
}
inline const double* dspFftLevelTwiddleTableOf(const DspFftSpecReal64f* spec, int level) {
    return dspFftSpecTable<double>(spec, spec->levelTwiddleTable[level]);
}
inline const double* dspFftLevelColumnTableOf(const DspFftSpecReal64f* spec, int level) {
    return dspFftSpecTable<double>(spec, spec->levelColumnTable[level]);
}

// The offset to store for a table that starts at p, inside the record's memory behind the header.
inline uint32_t dspFftSpecOffset(const DspFftSpecReal64f* spec, const void* p) {
    return static_cast<uint32_t>(static_cast<const BYTE*>(p) - reinterpret_cast<const BYTE*>(spec));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Plan rows and per-slot constants. Each row names the slot (index of dsp/slot_list.h) it is
// for; a source compiled for a slot reads its rows through dsp/fft/fft_slot.h, and a slot that
// compiles FFT code without rows fails to compile.

constexpr int kDspFftMaxComplexOrder = 30;

// Rows indexed by the complex order m = order - 1 (0..30): the factor order k of a large-order
// level (0 = plain plan) and the block order B, log2 of the block of complex values that the
// drivers of slots 1 to 5 treat at once (slot 0 has none: all 0). Entries below a slot's first
// large order are 0; entries past the last accepted order repeat the last one. The size query,
// the plan set-up and the drivers of both directions read the same rows
// (dsp/fft/plan_tables.h).
struct DspFftPlanTables {
    int slot;
    int32_t factorOrder[kDspFftMaxComplexOrder + 1];
    int32_t blockOrder[kDspFftMaxComplexOrder + 1];
};

enum DspFftBitReverseFormat {
    dspFftPairFormat,   // swap pairs (4i, 4 rev i), then the fixed points: slots 0 and 2
    dspFftIndexFormat,  // word i = 2 rev i: slots 1, 2n, 3, 4, 5
};

// The arithmetic of a slot's small-order kernels (dsp/fft/kernels.slots.cpp).
enum DspFftKernelArith {
    dspFftKernelsScalar,          // one value at a time, scale first: slots 0 (x87) and 2
    dspFftKernelsPairs,           // scale last, a value per vector, aligned moves where both
                                  // arrays allow them: slots 1 and 2n
    dspFftKernelsUnalignedPairs,  // the same always with unaligned moves: slot 3
    dspFftKernelsAvx,             // real kernels as the pairs, complex ones of their own: 4, 5
};

// What differs between the slots in sizing, set-up, the transforms' paths and the kernels.
struct DspFftSlotTraits {
    int slot;             // the row's slot
    int maxOrder;         // largest accepted order
    int lastKernelOrder;  // orders 0..this have no tables at all
    int lastRecombOrder;  // orders above lastKernelOrder up to this have recombination only
    int iterativeLimit;   // largest m with ordinary butterfly tables; also the bottom limit
                          // and the block order of plain plans in the large-order plans
    bool iterativeWork;   // its transforms need 16 M bytes of work at iterative orders
    int twoLevelOrder;    // recombination tables are two-level from this order
    DspFftBitReverseFormat bitReverse;
    int twiddleGroup;    // 0: triple twiddles; 2 or 4: staged twiddles in groups of G
    bool groupedRecomb;  // grouped recombination tables (else pairs)
    int blockTableFrom;  // m from which a block bit-reverse table is built; 0 = never
    int blockedFrom;     // orders from this one up to the iterative limit take the blocked
                         // path instead of the iterative one; 0 = none
    DspFftKernelArith kernels;
    bool rowPlan;  // large plans keep each level's rows of combining twiddles with their own
                   // butterfly tables (slot 0); else blocks of columns
};

// clang-format off
constexpr DspFftSlotTraits kDspFftSlotTraits[] = {
    {kDspSlotIndex_s0, 27, 5, 6, 10, false, 18, dspFftPairFormat, 0, false, 0, 0, dspFftKernelsScalar, true},
    {kDspSlotIndex_s1, 28, 5, 6, 13, true, 18, dspFftIndexFormat, 2, true, 16, 0, dspFftKernelsPairs, false},
    {kDspSlotIndex_s2, 27, 5, 6, 12, false, 18, dspFftPairFormat, 0, false, 14, 0, dspFftKernelsScalar, false},
    {kDspSlotIndex_s3, 28, 5, 6, 16, true, 19, dspFftIndexFormat, 2, true, 18, 16, dspFftKernelsUnalignedPairs, false},
    {kDspSlotIndex_s4, 28, 4, 7, 17, true, 18, dspFftIndexFormat, 4, true, 18, 0, dspFftKernelsAvx, false},
    {kDspSlotIndex_s5, 28, 4, 7, 17, true, 18, dspFftIndexFormat, 4, true, 18, 0, dspFftKernelsAvx, false},
    {kDspSlotIndex_s2n, 28, 5, 6, 16, true, 18, dspFftIndexFormat, 2, true, 18, 16, dspFftKernelsPairs, false},
};
// clang-format on

// Whether the recombination tables of a transform of N real values are two-level: the set-up
// builds them so from the slot's order on, and the walks read them so.
constexpr bool dspFftTwoLevelRecomb(const DspFftSlotTraits& t, int64_t N) {
    return N >= int64_t(1) << t.twoLevelOrder;
}

// The row of a slot; no constant where the slot has none.
constexpr const DspFftSlotTraits& dspFftTraitsOf(int slot) {
    for (const DspFftSlotTraits& t : kDspFftSlotTraits)
        if (t.slot == slot) return t;
    throw "the slot has no row of FFT traits";
}
