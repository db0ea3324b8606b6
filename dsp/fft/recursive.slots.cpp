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

#define kInterleaved (DSP_SLOT == 0 || DSP_FFT_SLOT2_MOVBE)
// Slot 5 moves blocks with slot 4's gather and scatter.
#if DSP_SLOT == 5
#define DSP_FFT_TRANSFER(name) name##_s4
#else
#define DSP_FFT_TRANSFER(name) DSP_SLOT_NAME(name)
#endif

constexpr PermuteLimits kPermute = DSP_SLOT == 1   ? PermuteLimits{16, 17, int64_t(1) << 21, 15}
                                   : DSP_SLOT >= 4 ? PermuteLimits{18, 22, int64_t(1) << 26, 0}
                                   : DSP_FFT_SLOT2_MOVBE
                                       ? PermuteLimits{14, 21, int64_t(1) << 25, 0}
                                       : PermuteLimits{18, 22, int64_t(1) << 26, 0};

struct Slot {
    static constexpr int kLimit = kTraits.iterativeLimit;

    static void scale(double s, double* p, int doubles) {
        (void)DSP_FFT_SERVICE(dspMulConstInPlace64f)(s, p, doubles);
    }
#if DSP_SLOT <= 3
    static constexpr bool kTilesOnly = false;
    static void permute(const double* src, double* dst, int n, const int32_t* table) {
        DSP_SLOT_NAME(dspBitReversePermute)(src, dst, n, table);
    }
#else
    static constexpr bool kTilesOnly = true;  // the driver starts where the tiles do
#endif
    static void permuteInPlace(double* data, int n, const int32_t* table) {
        DSP_SLOT_NAME(dspBitReversePermuteInPlace)(data, n, table);
    }
#if DSP_SLOT != 0
    static void permuteBlock(double* data, int n, const int32_t* pairs) {
        DSP_SLOT_NAME(dspBitReversePermuteBlock)(data, n, pairs);
    }
    static void gather(const double* src, double* dst, int stride, int rows, int count) {
        DSP_FFT_TRANSFER(dspFftGatherBlock)(src, dst, stride, rows, count);
    }
    static void scatter(double* dst, const double* src, int stride, int rows, int count, int mode) {
        DSP_FFT_TRANSFER(dspFftScatterBlock)(dst, src, stride, rows, count, mode);
    }
    static void copy(const BYTE* src, BYTE* dst, int bytes) {
        (void)DSP_FFT_SERVICE(dspCopyChecked)(src, dst, bytes);
    }
#endif

#if kInterleaved
    template <Dir D>
    static void blockPasses(double* data, int n, const double* tw) {
        if constexpr (D == Dir::Fwd) {
            DSP_SLOT_NAME(dspFftButterflyPassesFwd)(data, n, tw);
        } else {
            DSP_SLOT_NAME(dspFftButterflyPassesInv)(data, n, tw);
        }
    }
    template <Dir D>
    static void bottom(double* row, int n, const double* tw, BYTE*) {
        blockPasses<D>(row, n, tw);
    }
#else
    template <Dir D>
    static void bottom(double* row, int n, const double* tw, BYTE* work) {
#if DSP_SLOT >= 4
        if constexpr (D == Dir::Fwd) {
            DSP_SLOT_NAME(dspFftBlockFwd)(row, n, tw, work, 0);
        } else {
            DSP_SLOT_NAME(dspFftLeafBlockInv)(row, n, tw, work);
        }
#else
        if constexpr (D == Dir::Fwd) {
            DSP_SLOT_NAME(dspFftBlockButterfliesFwd)(row, n, tw, work, 0);
        } else {
            DSP_SLOT_NAME(dspFftBlockButterfliesInv)(row, n, tw, work, 0);
        }
#endif
    }
    template <Dir D>
    static void leaf(double* work, int64_t step, int64_t count, const double* tw) {
#if DSP_SLOT >= 4
        if constexpr (D == Dir::Fwd) {
            DSP_SLOT_NAME(dspFftLeafPassFwd)
            (work, work, static_cast<int>(step), static_cast<int>(count), tw);
        } else {
            DSP_SLOT_NAME(dspFftColumnPassInv)
            (work, work, static_cast<int>(step), static_cast<int>(count), tw);
        }
#else
        if constexpr (D == Dir::Fwd) {
            DSP_SLOT_NAME(dspFftLeafPassFwd)
            (work, work, static_cast<int>(step), static_cast<int>(count), tw);
        } else {
            DSP_SLOT_NAME(dspFftLeafPassInv)
            (work, static_cast<int>(step), static_cast<int>(count), tw);
        }
#endif
    }
#endif
};

// Level `depth` of the transform of the 2^m values at data, already in bit-reversed order.
template <Dir D>
void level(const DspFftSpecReal64f* spec, double* data, int m, int depth, BYTE* work) {
    const int k = plan().factorOrder[m];
    const auto deeper = [&](double* row, int r) {
#if DSP_SLOT == 0
        if (plan().factorOrder[r] == 0) {
            plainBranch<D, Slot>(spec, row, int64_t(1) << r, int64_t(1) << kTraits.iterativeLimit,
                                 dspFftTwiddleTableOf(spec), dspFftCombineTableOf(spec));
            return;
        }
#endif
        level<D>(spec, row, r, depth + 1, work);
    };
    levelRows<D, Slot>(spec, data, m, k, work, deeper);
    const double* const columns = dspFftLevelColumnTableOf(spec, depth);
#if DSP_SLOT == 0
    rowTableColumns<D, Slot>(data, m, k, columns, dspFftLevelTwiddleTableOf(spec, depth), work);
#elif DSP_FFT_SLOT2_MOVBE
    tripleColumns<D, Slot>(data, m, k, plan().blockOrder[m], columns, work);
#else
    splitColumns<D, Slot>(data, m, k, plan().blockOrder[m], depth, columns, work);
#endif
}

// The entry of either direction: the permutation phase into dst, then the plain branch or the
// levels of the plan.
template <Dir D>
void transform(const DspFftSpecReal64f* spec, const double* src, double* dst, int m, BYTE* work) {
    const int32_t* const table = dspFftBitReverseTableOf(spec);
#if DSP_SLOT == 0
    if (src == dst) {
        Slot::permuteInPlace(dst, 1 << m, table);
    } else {
        Slot::permute(src, dst, 1 << m, table);
    }
#else
    permutePhase<Slot>(src, dst, m, table, work, kPermute);
#endif
#if kInterleaved
    if (plan().factorOrder[m] == 0) {
        plainBranch<D, Slot>(spec, dst, int64_t(1) << m, int64_t(1) << kTraits.iterativeLimit,
                             dspFftTwiddleTableOf(spec), dspFftCombineTableOf(spec));
        return;
    }
#endif
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

#if kInterleaved
void DSP_CALL DSP_SLOT_NAME(dspFftRecursionStepFwd)(double* data, int n, int blk,
                                                    const double* twiddles) {
    combiningPasses<Dir::Fwd>(data, n, blk, twiddles);
}

void DSP_CALL DSP_SLOT_NAME(dspFftRecursionStepInv)(double* data, int n, int blk,
                                                    const double* twiddles) {
    combiningPasses<Dir::Inv>(data, n, blk, twiddles);
}
#endif

void DSP_CALL DSP_SLOT_NAME(dspFftRecursiveFwd)(const DspFftSpecReal64f* spec, const double* src,
                                                double* dst, int m, BYTE* work) {
    transform<Dir::Fwd>(spec, src, dst, m, work);
}

void DSP_CALL DSP_SLOT_NAME(dspFftRecursiveInv)(const DspFftSpecReal64f* spec, const double* src,
                                                double* dst, int m, BYTE* work) {
    transform<Dir::Inv>(spec, src, dst, m, work);
}

}  // extern "C"
