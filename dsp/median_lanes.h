// Running median of the slots with 64-bit lane compares (3 to 5): the sorted window updated in
// vector lanes with no data-dependent branch, for windows from 11 samples up to kMedLanesUpTo.
//
// The scalar sorted window finds the leaving key and the entering key's place and then shifts
// the run between them: on fresh data the run's length is random, so every sample costs a
// mispredicted loop exit or two, and the next search reads keys that were just stored. Here
// every position of the window is recomputed from its old neighbours instead. With o leaving,
// x entering and w sorted, the new key at position k is
//   up = min(w[k+1], max(x, w[k]))   where the window shifts down (w[k] above o, or equal to o
//                                    when o < x: the first occurrence of o goes),
//   dn = max(w[k-1], min(x, w[k]))   elsewhere (below o, or equal to o when x <= o: the last
//                                    occurrence of o goes),
// which leaves keys outside [o, x] where they are. The least and the greatest key stand for
// w[-1] and w[m]. Only the least key leaving for a greater one has no threshold to tell the two
// regions apart by one comparison; it takes the scalar update.
#pragma once

#include "dsp/median.h"
#include "dsp/vec.h"

#if DSP_SLOT >= 3

namespace {

// Window lengths whose vector update beats the two heaps on fresh data (4096 samples: with four
// lanes the heaps win from about 190 on, with two from about 75), and those whose window fits in
// registers.
constexpr int kMedLanesUpTo = kILanes == 4 ? 177 : 73;
constexpr int kMedLanesInRegisters = kILanes == 4 ? 6 : 7;  // vectors

constexpr int64_t kMedKeyLeast = INT64_MIN;
constexpr int64_t kMedKeyGreatest = INT64_MAX;

#define DSP_MED_INLINE inline __attribute__((always_inline))

// The new keys of one vector cur of the window, from the vectors of its old neighbours one
// place below and one above: min(above, max(x, cur)) where the window shifts down (cur above
// the threshold tv), max(below, min(x, cur)) elsewhere, as three selections.
DSP_MED_INLINE VI medLanesStep(VI below, VI cur, VI above, VI xv, VI tv) {
    const VI down = icmpgt(cur, tv);
    const VI a = iselect(down, below, above);
    const VI b = iselect(ixor(down, icmpgt(cur, xv)), cur, xv);
    return iselect(ixor(icmpgt(a, b), down), b, a);
}

// Positions above the threshold shift down: above o, and o itself when x lies above it. False
// when o is the least key and x lies above it, where no threshold exists: the caller then takes
// the scalar update.
DSP_MED_INLINE bool medLanesThreshold(int64_t o, int64_t x, int64_t* thr) {
    *thr = o < x ? static_cast<int64_t>(static_cast<uint64_t>(o) - 1) : o;
    return !(o == kMedKeyLeast && x != o);
}

// The window is kept as n = vectors * kILanes sorted keys: pad low copies of the least key, the
// m keys of the window, and greatest keys up to n. A key at either end may leave or enter like
// any other: the median stays the key of rank pad + m / 2, which is n / 2. Each of the two rows
// has a vector of least keys before it and one of greatest keys after it.
struct MedLaneRow {
    static constexpr int kStride = kMedLanesUpTo + 3 * kILanes;
    alignas(32) int64_t keys[2][kStride];
    size_t vectors, n, median;

    int64_t* row(int k) { return keys[k] + kILanes; }
    void frame() {
        for (int k = 0; k < 2; ++k) {
            for (int l = 0; l < kILanes; ++l) {
                keys[k][l] = kMedKeyLeast;
                row(k)[n + l] = kMedKeyGreatest;
            }
        }
    }
};

// The window in registers: the loop of medLanesPath for N vectors.
template <int N>
void medLanesInRegisters(const MedBits* src, MedBits* dst, int len, MedKey* ring, size_t m,
                         size_t& p, MedLaneRow& row) {
    VI w[N];
#pragma GCC unroll 16
    for (int v = 0; v < N; ++v) w[v] = iloadu(row.row(0) + v * kILanes);
    const VI least = iset(kMedKeyLeast), greatest = iset(kMedKeyGreatest);
    constexpr int kMedian = N * kILanes / 2;
    for (int i = 1; i < len; ++i) {
        const int64_t x = medToKey(src[i]);
        const int64_t o = medRingPush(ring, m, p, x);
        int64_t thr;
        if (__builtin_expect(medLanesThreshold(o, x, &thr), 1)) {
            const VI xv = iset(x), tv = iset(thr);
            VI lowMiddle = imiddle(least, w[0]);
#pragma GCC unroll 16
            for (int v = 0; v < N; ++v) {
                const VI highMiddle = imiddle(w[v], v + 1 < N ? w[v + 1] : greatest);
                w[v] = medLanesStep(ilanesUp(lowMiddle, w[v]), w[v], ilanesDown(w[v], highMiddle),
                                    xv, tv);
                lowMiddle = highMiddle;
            }
        } else {
            for (int v = 0; v < N; ++v) istoreu(row.row(0) + v * kILanes, w[v]);
            medReplace(row.row(0), row.n, o, x);
            for (int v = 0; v < N; ++v) w[v] = iloadu(row.row(0) + v * kILanes);
        }
        int64_t lanes[kILanes];
        istoreu(lanes, w[kMedian / kILanes]);
        dst[i] = medFromKey(lanes[kMedian % kILanes]);
    }
}

// The window in memory, for longer windows: each sample reads one row and writes the other,
// whose vectors were stored a whole sample earlier, so that loads one place off their stores
// find them in the cache.
inline void medLanesInMemory(const MedBits* src, MedBits* dst, int len, MedKey* ring, size_t m,
                             size_t& p, MedLaneRow& row) {
    int64_t* from = row.row(0);
    int64_t* to = row.row(1);
    const size_t n = row.n;
    const size_t median = row.median;
    for (int i = 1; i < len; ++i) {
        const int64_t x = medToKey(src[i]);
        const int64_t o = medRingPush(ring, m, p, x);
        int64_t thr;
        if (__builtin_expect(medLanesThreshold(o, x, &thr), 1)) {
            const VI xv = iset(x), tv = iset(thr);
            for (size_t k = 0; k < n; k += kILanes) {
                istoreu(to + k, medLanesStep(iloadu(from + k - 1), iloadu(from + k),
                                             iloadu(from + k + 1), xv, tv));
            }
            int64_t* const t = from;
            from = to;
            to = t;
        } else {
            medReplace(from, n, o, x);
        }
        dst[i] = medFromKey(from[median]);
    }
}

// The running median in vector lanes; the same contract as medSortedPath. buf holds the history
// ring (m keys in arrival order); the window lives on the stack.
inline void medLanesPath(const MedBits* src, MedBits* dst, int len, size_t m, const MedBits* dlySrc,
                         MedBits* dlyDst, BYTE* buf) {
    MedKey* ring = reinterpret_cast<MedKey*>(buf);
    for (size_t k = 0; k + 1 < m; ++k) ring[k] = medToKey(dlySrc ? dlySrc[k] : src[0]);
    ring[m - 1] = medToKey(src[0]);
    MedLaneRow row;
    row.vectors = (m + kILanes - 1) / kILanes;
    row.n = row.vectors * kILanes;
    // Half the spare places, rounded up, hold low pads: the median then sits at n / 2 for every
    // m that takes this many vectors.
    const size_t pad = (row.n - m + 1) / 2;
    int64_t* const w = row.row(0);
    for (size_t k = 0; k < pad; ++k) w[k] = kMedKeyLeast;
    for (size_t k = 0; k < m; ++k) w[pad + k] = ring[k];
    for (size_t k = pad + m; k < row.n; ++k) w[k] = kMedKeyGreatest;
    if (dlySrc) medSortKeys(w + pad, m);
    row.frame();
    row.median = row.n / 2;
    dst[0] = medFromKey(w[row.median]);
    size_t p = 0;
    if (len > 1) {
        switch (row.vectors) {
#define DSP_MED_REGISTERS(N)                                        \
    case N:                                                         \
        if (N <= kMedLanesInRegisters) {                            \
            medLanesInRegisters<N>(src, dst, len, ring, m, p, row); \
            break;                                                  \
        }                                                           \
        medLanesInMemory(src, dst, len, ring, m, p, row);           \
        break;
            DSP_MED_REGISTERS(3)
            DSP_MED_REGISTERS(4)
            DSP_MED_REGISTERS(5)
            DSP_MED_REGISTERS(6)
            DSP_MED_REGISTERS(7)
#undef DSP_MED_REGISTERS
            default:
                medLanesInMemory(src, dst, len, ring, m, p, row);
                break;
        }
    }
    if (dlyDst) medRingToDelay(ring, m, p, dlyDst);
}

}  // namespace

#endif  // DSP_SLOT >= 3
