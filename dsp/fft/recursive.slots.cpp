// The recursive cache-blocked drivers of one slot, both directions (dsp/fft/recursive.h holds the
// skeletons): the permutation phase into dst, then the levels of the plan the set-up built.
//
//   slot 0        pair permutation; levels handed to the inner routine from depth 0; columns four
//                 at a time through the level table and the iterative passes; plain branch at
//                 complex order 11 and as the plain bottom of a level (r = 11)
//   slot 2        tiles from complex order 14 (whole copies in 32 MiB chunks from 21); plain
//                 branch at 13; interleaved columns with the inline passes over triples
//   slots 1, 2n, 3
//                 tiles from 16 (slot 1) or 18; rows by the block butterflies in the two-column
//                 split layout; columns by the leaf passes, scattered as interleaved values at
//                 the top level
//   slots 4, 5    the same over the split-4 layout, rows by the block transform of
//                 dsp/fft/avx_blocks.slots.cpp; tiles at every driver order
//
// Every value is scaled exactly once, as part of its row (or block of the plain branch).
#include "dsp/fft/fft_slot.h"
#include "dsp/fft/paths.h"
#include "dsp/fft/recursive.h"
#include "dsp/fft/spec.h"
#include "dsp/internal.h"
#include "dsp/slot.h"

namespace {

// Slots 0 and 2 run the iterative passes over triple twiddles (dsp/fft/paths.h) and the plain
// branch; slot 0 keeps its level rows with their own tables (the row plan).
constexpr bool kInterleaved = kTraits.twiddleGroup == 0;
constexpr bool kRowPlan = kTraits.rowPlan;

constexpr PermuteLimits kPermute =
    kSlot.index == kDspSlotIndex_s1   ? PermuteLimits{16, 17, int64_t(1) << 21, 15}
    : kSlot.lanes == 4                ? PermuteLimits{18, 22, int64_t(1) << 26, 0}
    : kSlot.index == kDspSlotIndex_s2 ? PermuteLimits{14, 21, int64_t(1) << 25, 0}
                                      : PermuteLimits{18, 22, int64_t(1) << 26, 0};

// The routines the driver calls, as the slot has them (slot 5 moves blocks with slot 4's gather
// and scatter).
constexpr auto kPermuteBody = DSP_SLOT_BODY(dspBitReversePermute);
constexpr auto kPermuteBlock = DSP_SLOT_BODY(dspBitReversePermuteBlock);
constexpr auto kGather = DSP_SLOT_BODY(dspFftGatherBlock);
constexpr auto kScatter = DSP_SLOT_BODY(dspFftScatterBlock);
constexpr auto kCopy = DSP_FFT_SERVICE(dspCopyChecked);
constexpr auto kBlockFwd = DSP_SLOT_BODY(dspFftBlockFwd);
constexpr auto kLeafBlockInv = DSP_SLOT_BODY(dspFftLeafBlockInv);
constexpr auto kColumnPassInv = DSP_SLOT_BODY(dspFftColumnPassInv);
constexpr auto kButterfliesFwd = DSP_SLOT_BODY(dspFftBlockButterfliesFwd);
constexpr auto kButterfliesInv = DSP_SLOT_BODY(dspFftBlockButterfliesInv);
constexpr auto kLeafPassFwd = DSP_SLOT_BODY(dspFftLeafPassFwd);
constexpr auto kLeafPassInv = DSP_SLOT_BODY(dspFftLeafPassInv);

struct Slot {
    static constexpr int kLimit = kTraits.iterativeLimit;
    static constexpr bool kTilesOnly = !DSP_SLOT_HAS(dspBitReversePermute);  // the driver starts
                                                                             // where the tiles do

    static void scale(double s, double* p, int doubles) {
        (void)DSP_FFT_SERVICE(dspMulConstInPlace64f)(s, p, doubles);
    }
    static void permute(const double* src, double* dst, int n, const int32_t* table) {
        if constexpr (!kTilesOnly) kPermuteBody(src, dst, n, table);
    }
    static void permuteInPlace(double* data, int n, const int32_t* table) {
        DSP_SLOT_NAME(dspBitReversePermuteInPlace)(data, n, table);
    }
    static void permuteBlock(double* data, int n, const int32_t* pairs) {
        if constexpr (DSP_SLOT_HAS(dspBitReversePermuteBlock)) kPermuteBlock(data, n, pairs);
    }
    static void gather(const double* src, double* dst, int stride, int rows, int count) {
        if constexpr (DSP_SLOT_HAS(dspFftGatherBlock)) kGather(src, dst, stride, rows, count);
    }
    static void scatter(double* dst, const double* src, int stride, int rows, int count, int mode) {
        if constexpr (DSP_SLOT_HAS(dspFftScatterBlock))
            kScatter(dst, src, stride, rows, count, mode);
    }
    static void copy(const BYTE* src, BYTE* dst, int bytes) {
        if constexpr (dspbodies::dspCopyChecked.has[kSlot.dispatch]) (void)kCopy(src, dst, bytes);
    }

    // The iterative passes of slots 0 and 2 over a block.
    template <Dir D, int S = DSP_SLOT_INDEX>
    static void blockPasses(double* data, int n, const double* tw) {
        if constexpr (D == Dir::Fwd) {
            DspFftIterativePasses<S>::fwd(data, n, tw);
        } else {
            DspFftIterativePasses<S>::inv(data, n, tw);
        }
    }
    // A row: those passes, the AVX slots' block transform, or the block butterflies.
    template <Dir D>
    static void bottom(double* row, int n, const double* tw, BYTE* work) {
        if constexpr (kInterleaved) {
            blockPasses<D>(row, n, tw);
        } else if constexpr (D == Dir::Fwd && DSP_SLOT_HAS(dspFftBlockFwd)) {
            kBlockFwd(row, n, tw, work, 0);
        } else if constexpr (D == Dir::Inv && DSP_SLOT_HAS(dspFftLeafBlockInv)) {
            kLeafBlockInv(row, n, tw, work);
        } else if constexpr (D == Dir::Fwd) {
            kButterfliesFwd(row, n, tw, work, 0);
        } else {
            kButterfliesInv(row, n, tw, work, 0);
        }
    }
    // A column stage in place on the work buffer.
    template <Dir D>
    static void leaf(double* work, int64_t step, int64_t count, const double* tw) {
        const int st = static_cast<int>(step), c = static_cast<int>(count);
        if constexpr (D == Dir::Fwd) {
            kLeafPassFwd(work, work, st, c, tw);
        } else if constexpr (DSP_SLOT_HAS(dspFftColumnPassInv)) {
            kColumnPassInv(work, work, st, c, tw);
        } else {
            kLeafPassInv(work, st, c, tw);
        }
    }
};

// Level `depth` of the transform of the 2^m values at data, already in bit-reversed order.
template <Dir D>
void level(const DspFftSpecReal64f* spec, double* data, int m, int depth, BYTE* work) {
    const int k = plan().factorOrder[m];
    const auto deeper = [&](double* row, int r) {
        if constexpr (kRowPlan) {
            if (plan().factorOrder[r] == 0) {
                plainBranch<D, Slot>(spec, row, int64_t(1) << r,
                                     int64_t(1) << kTraits.iterativeLimit,
                                     dspFftTwiddleTableOf(spec), dspFftCombineTableOf(spec));
                return;
            }
        }
        level<D>(spec, row, r, depth + 1, work);
    };
    levelRows<D, Slot>(spec, data, m, k, work, deeper);
    const double* const columns = dspFftLevelColumnTableOf(spec, depth);
    if constexpr (kRowPlan) {
        rowTableColumns<D, Slot>(data, m, k, columns, dspFftLevelTwiddleTableOf(spec, depth), work);
    } else if constexpr (kInterleaved) {
        tripleColumns<D, Slot>(data, m, k, plan().blockOrder[m], columns, work);
    } else {
        splitColumns<D, Slot>(data, m, k, plan().blockOrder[m], depth, columns, work);
    }
}

// The entry of either direction: the permutation phase into dst, then the plain branch or the
// levels of the plan.
template <Dir D>
void transform(const DspFftSpecReal64f* spec, const double* src, double* dst, int m, BYTE* work) {
    const int32_t* const table = dspFftBitReverseTableOf(spec);
    if constexpr (kRowPlan) {
        if (src == dst) {
            Slot::permuteInPlace(dst, 1 << m, table);
        } else {
            Slot::permute(src, dst, 1 << m, table);
        }
    } else {
        permutePhase<Slot>(src, dst, m, table, work, kPermute);
    }
    if constexpr (kInterleaved) {
        if (plan().factorOrder[m] == 0) {
            plainBranch<D, Slot>(spec, dst, int64_t(1) << m, int64_t(1) << kTraits.iterativeLimit,
                                 dspFftTwiddleTableOf(spec), dspFftCombineTableOf(spec));
            return;
        }
    }
    level<D>(spec, dst, m, 0, work);
}

}  // namespace

extern "C" {

void DSP_CALL DSP_SLOT_NAME(dspFftRecursiveFwdInner)(const DspFftSpecReal64f* spec, double* data,
                                                     int m, int depth, BYTE* work) {
    level<Dir::Fwd>(spec, data, m, depth, work);
}

void DSP_CALL DSP_SLOT_NAME(dspFftRecursiveInvInner)(const DspFftSpecReal64f* spec, double* data,
                                                     int m, int depth, BYTE* work) {
    level<Dir::Inv>(spec, data, m, depth, work);
}

void DSP_CALL DSP_SLOT_NAME(dspFftRecursiveFwd)(const DspFftSpecReal64f* spec, const double* src,
                                                double* dst, int m, BYTE* work) {
    transform<Dir::Fwd>(spec, src, dst, m, work);
}

void DSP_CALL DSP_SLOT_NAME(dspFftRecursiveInv)(const DspFftSpecReal64f* spec, const double* src,
                                                double* dst, int m, BYTE* work) {
    transform<Dir::Inv>(spec, src, dst, m, work);
}

}  // extern "C"
