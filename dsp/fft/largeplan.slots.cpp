// Large-order plans of one CPU slot: for complex orders above the slot's iterative limit the
// set-up hands the butterfly tables to these builders, which lay out a plain plan (one block
// twiddle table and combining twiddles) or a recursive plan of up to three levels.
#include "dsp/fft/builders.h"
#include "dsp/fft/fft_slot.h"
#include "dsp/fft/spec.h"
#include "dsp/fft/tables.h"
#include "dsp/slot.h"

namespace {

// Slot 0 keeps rows of combining twiddles in bit-reversed order with their own butterfly
// tables; slot 2 interleaves triples; the others keep 2 or 4 columns per record.
constexpr bool kRowPlan = kTraits.rowPlan;
// The table builders the slot runs (slot 4 runs slot 1's bit-reverse builder, slot 2n slot 2's
// block builder; slot 0 has no block tables).
constexpr auto kBitReverseTable = DSP_SLOT_BODY(dspFftBitReverseTable);
constexpr auto kBlockBitReverseTable = DSP_SLOT_BODY(dspFftBlockBitReverseTable);
constexpr int kColumnsPerRecord = kTraits.twiddleGroup == 0 ? 1 : kTraits.twiddleGroup;
// Slots with column records of 2 or 4 columns skip what their last stage can derive.
constexpr bool kHalfLastStage = kColumnsPerRecord > 1;
constexpr int kHalfTileOrder = 5;

void raiseWork(DspFftSpecReal64f* spec, int64_t bytes) {
    if (spec->workSize < bytes) spec->workSize = static_cast<int32_t>(bytes);
}

// The rows of combining twiddles of a slot-0 level, w_m^(j c) for j < 2^r, c < 2^k, four rows at
// a time in the scratch buffer, each put into bit-reversed order by the slot's own permutation,
// then written position by position (four values of 16 bytes per position).
inline BYTE* buildRowTable(int m, int k, const double* S, int T, double* out, BYTE* scratch) {
    const int64_t columns = int64_t(1) << k;
    const int64_t rows = int64_t(1) << (m - k);
    int32_t* const pairs = reinterpret_cast<int32_t*>(scratch + (int64_t(64) << k));
    buildBitReverseTable<dspFftPairFormat>(k, pairs);
    double* const row[4] = {
        reinterpret_cast<double*>(scratch),
        reinterpret_cast<double*>(scratch + 16 * columns),
        reinterpret_cast<double*>(scratch + 32 * columns),
        reinterpret_cast<double*>(scratch + 48 * columns),
    };
    for (int64_t j0 = 0; j0 < rows; j0 += 4) {
        for (int i = 0; i < 4; ++i) {
            for (int64_t c = 0; c < columns; ++c) {
                const Twiddle w = twiddleOf(S, T, m, (j0 + i) * c);
                row[i][2 * c] = w.re;
                row[i][2 * c + 1] = w.im;
            }
            dspBitReversePermuteInPlace_s0(row[i], static_cast<int>(columns), pairs);
        }
        for (int64_t p = 0; p < columns; ++p) {
            for (int i = 0; i < 4; ++i, out += 2) {
                out[0] = row[i][2 * p];
                out[1] = row[i][2 * p + 1];
            }
        }
    }
    return reinterpret_cast<BYTE*>(out);
}

}  // namespace

extern "C" {

BYTE* DSP_CALL DSP_SLOT_NAME(dspFftRecursivePlanLevel)(DspFftSpecReal64f* spec, int m,
                                                       const double* S, int T, int depth, BYTE* dst,
                                                       BYTE* scratch) {
    const int k = plan().factorOrder[m];
    const int r = m - k;
    const int limit = kTraits.iterativeLimit;
    BYTE* t;
    if (r <= limit) {
        spec->twiddleTable = dspFftSpecOffset(spec, dst);
        t = DSP_SLOT_NAME(dspFftTwiddleTable)(r, S, T, reinterpret_cast<double*>(dst));
        spec->workSize = kTraits.iterativeWork ? static_cast<int32_t>(16 << r) : 0;
    } else if (kRowPlan && plan().factorOrder[r] == 0) {
        // A plain bottom: block twiddles and the combining twiddles of order r.
        spec->twiddleTable = dspFftSpecOffset(spec, dst);
        BYTE* const q =
            DSP_SLOT_NAME(dspFftTwiddleTable)(limit, S, T, reinterpret_cast<double*>(dst));
        spec->combineTable = dspFftSpecOffset(spec, q);
        t = buildCombiningTwiddles(r, S, T, reinterpret_cast<double*>(q));
        spec->workSize = 0;
    } else {
        t = DSP_SLOT_NAME(dspFftRecursivePlanLevel)(spec, r, S, T, depth + 1, dst, scratch);
    }

    if constexpr (kRowPlan) {
        spec->levelTwiddleTable[depth] = dspFftSpecOffset(spec, t);
        BYTE* const u = DSP_SLOT_NAME(dspFftTwiddleTable)(k, S, T, reinterpret_cast<double*>(t));
        spec->levelColumnTable[depth] = dspFftSpecOffset(spec, u);
        buildRowTable(m, k, S, T, reinterpret_cast<double*>(u), scratch);
        raiseWork(spec, int64_t(64) << k);
        return u + (int64_t(16) << m);
    }
    spec->levelColumnTable[depth] = dspFftSpecOffset(spec, t);
    const int blockOrder = plan().blockOrder[m];
    buildColumnRecords<kColumnsPerRecord>(m, k, blockOrder, S, T, reinterpret_cast<double*>(t),
                                          kHalfLastStage);
    raiseWork(spec, int64_t(16) << blockOrder);
    // Half the values can be derived in the slots with multi-column records; the space reserved
    // is what the drivers index, written or not.
    return t + (kHalfLastStage ? int64_t(8) << m : int64_t(16) << m);
}

BYTE* DSP_CALL DSP_SLOT_NAME(dspFftLargePlanInit)(DspFftSpecReal64f* spec, int m, const double* S,
                                                  int T, int32_t* dst, BYTE* scratch) {
    const bool blockTable = kTraits.blockTableFrom != 0 && m >= kTraits.blockTableFrom;
    BYTE* p;
    if constexpr (DSP_SLOT_HAS(dspFftBlockBitReverseTable)) {
        p = blockTable ? kBlockBitReverseTable(m, kHalfTileOrder, dst) : kBitReverseTable(m, dst);
    } else {
        p = kBitReverseTable(m, dst);
    }
    BYTE* end;
    if (plan().factorOrder[m] == 0) {
        const int blockOrder = kTraits.iterativeLimit;
        spec->twiddleTable = dspFftSpecOffset(spec, p);
        BYTE* const q =
            DSP_SLOT_NAME(dspFftTwiddleTable)(blockOrder, S, T, reinterpret_cast<double*>(p));
        spec->combineTable = dspFftSpecOffset(spec, q);
        end = buildCombiningTwiddles(m, S, T, reinterpret_cast<double*>(q));
        spec->workSize = kTraits.iterativeWork ? static_cast<int32_t>(16 << blockOrder) : 0;
    } else {
        end = DSP_SLOT_NAME(dspFftRecursivePlanLevel)(spec, m, S, T, 0, p, scratch);
    }
    // The tiled permutation moves tiles of 32 x 32 values through the work buffer.
    if (blockTable) raiseWork(spec, 32768);
    return end;
}

}  // extern "C"
