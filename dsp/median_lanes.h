// Running median of the slots with 64-bit lane compares (3 to 5): the sorted window in vector
// lanes, for windows from 11 samples up to kMedLanesUpTo.
//
// The scalar sorted window finds the leaving key and the entering key's place and then shifts
// the run between them: on fresh data the run's length is random, so every sample costs a
// mispredicted loop exit or two, and the next search reads keys that were just stored. Up to
// kMedRunFrom every position of the window is recomputed from its old neighbours instead, with
// no data-dependent branch. With o leaving, x entering and w sorted, the new key at position k is
//   up = min(w[k+1], max(x, w[k]))   where the window shifts down (w[k] above o, or equal to o
//                                    when o < x: the first occurrence of o goes),
//   dn = max(w[k-1], min(x, w[k]))   elsewhere (below o, or equal to o when x <= o: the last
//                                    occurrence of o goes),
// which leaves keys outside [o, x] where they are. The least and the greatest key stand for
// w[-1] and w[m]. Only the least key leaving for a greater one has no threshold to tell the two
// regions apart by one comparison; it takes the scalar update.
//
// That costs three compares and three selections per vector of the whole window, and on
// processors that split a VEX variable blend into three micro-operations and run 64-bit compares
// on one port, a window of 101 took as long as the two heaps. From kMedRunFrom on, the window is
// updated in place instead (medRunLoop): only the run between the two places moves, whole
// vectors by plain loads one place along and stores, the two vectors at its ends by selections.
// Its length is data-dependent, so a sample costs a mispredicted loop exit, but the work is a
// third of the window on average, and both places come from branch-free binary searches.
#pragma once

#include "dsp/median.h"
#include "dsp/vec.h"

#if DSP_SLOT >= 3

namespace {

// Window lengths from which the run moves in place, up to which a lane path serves at all (the
// two heaps beyond), and the vectors of the windows kept in registers. Measured on fresh data
// (4096 samples) on a processor with three-micro-operation VEX blends, in slot 5: the run costs
// about 17 ns a sample at 33 and grows slowly (20 at 101, 27 at 255, 35 at 511); the recomputed
// window grows with the window (13.5 at 33, 16 at 41, 18 at 49, 34 at 101), slot 3's alike,
// while slot 4's, whose 128-bit VEX blends cost as much as slot 5's, loses from 25 on. The heaps
// took 30 ns at 33, 43 at 255 and 48 to 50 at 511, where the run took 46 with two lanes; with
// two lanes the heaps win from about 600 on, with four from about 1100.
constexpr int kMedRunFrom = kSlot.dispatch == 4 ? 25 : 49;
constexpr int kMedLanesUpTo = 511;
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
    static constexpr int kStride = kMedRunFrom + 3 * kILanes;
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
            medReplace<kSlot.dispatch>(row.row(0), row.n, o, x);
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
            medReplace<kSlot.dispatch>(from, n, o, x);
        }
        dst[i] = medFromKey(from[median]);
    }
}

// The window's m keys as n sorted keys: pad low copies of the least key, the keys of the ring
// (sorted when they came from a delay line, all alike otherwise) and greatest keys up to n. Half
// the spare places, rounded up, hold low pads: the median then sits at n / 2 for every m that
// takes this many vectors.
inline void medFillRow(int64_t* w, size_t n, const MedKey* ring, size_t m, bool sort) {
    const size_t pad = (n - m + 1) / 2;
    for (size_t k = 0; k < pad; ++k) w[k] = kMedKeyLeast;
    for (size_t k = 0; k < m; ++k) w[pad + k] = ring[k];
    for (size_t k = pad + m; k < n; ++k) w[k] = kMedKeyGreatest;
    if (sort) medSortKeys(w + pad, m);
}

// The long windows' row: a vector of least keys, the n keys, a vector of greatest keys.
struct MedRunRow {
    alignas(32) int64_t keys[kMedLanesUpTo + 3 * kILanes];
    int64_t* row() { return keys + kILanes; }
};

alignas(32) constexpr int64_t kMedLaneIndex[4] = {0, 1, 2, 3};

// The numbers of keys below x and below y in the sorted a[0..n-1] (n >= 1): medLowerBound's
// halving, one step of both searches at a time.
DSP_MED_INLINE void medLowerBounds(const int64_t* a, size_t n, int64_t x, int64_t y, size_t* belowX,
                                   size_t* belowY) {
    size_t bx = 0, by = 0;
    while (n > 1) {
        const size_t h = n / 2;
        bx = (a[bx + h] < x) ? bx + h : bx;
        by = (a[by + h] < y) ? by + h : by;
        n -= h;
    }
    *belowX = bx + (a[bx] < x ? 1 : 0);
    *belowY = by + (a[by] < y ? 1 : 0);
}

// The window updated in place, for long windows. With o leaving, x entering and j, c the
// numbers of keys below o and below x: when o < x the keys at [j, c - 1) take the key one place
// above and x goes to c - 1; otherwise those at [c + 1, j + 1) take the key one place below and
// x goes to c. Equal keys are interchangeable, so a pad equal to o may leave in its place. The
// next sample's j and c are searched in the row before this sample's update and corrected by
// its two keys, so that the search does not wait for the stores. The whole vectors strictly
// between the two ends of the run move in the order that reads each before it is overwritten;
// the two end vectors are computed before any store, by selections. Which way the run moves is
// a mask, not a branch: the loop's exit is the one branch the data decides.
inline void medRunLoop(const MedBits* src, MedBits* dst, int len, MedKey* ring, size_t m, size_t& p,
                       int64_t* w, size_t n) {
    constexpr size_t L = kILanes;
    const VI lane = iloadu(kMedLaneIndex);
    const size_t median = n / 2;
    size_t j, c;
    medLowerBounds(w, n, ring[p], medToKey(src[1]), &j, &c);
    for (int i = 1; i < len; ++i) {
        const int64_t x = medToKey(src[i]);
        const int64_t o = medRingPush(ring, m, p, x);
        const size_t up = size_t{0} - static_cast<size_t>(o < x);  // all ones when o < x
        const auto pick = [up](size_t ifUp, size_t ifDown) {
            return ifDown ^ ((ifUp ^ ifDown) & up);
        };
        // Kept inside the row should the ring in the caller's buffer change behind our back.
        j = j < n ? j : n - 1;
        c = c < n ? c : n;
        c = pick(c > j ? c : j + 1, c < j ? c : j);
        const size_t lo = pick(j, c + 1);  // the run [lo, hi) moves by s
        const size_t hi = pick(c - 1, j + 1);
        const size_t px = pick(c - 1, c);
        const ptrdiff_t s = static_cast<ptrdiff_t>(~up) | 1;
        const size_t e0 = pick(j, c) & ~(L - 1);  // the vectors of the first and last change
        const size_t e1 = pick(c - 1, j) & ~(L - 1);
        if (i + 1 < len) {
            const int64_t o2 = ring[p];
            const int64_t x2 = medToKey(src[i + 1]);
            medLowerBounds(w, n, o2, x2, &j, &c);
            j = j - (o < o2) + (x < o2);
            c = c - (o < x2) + (x < x2);
        }
        const VI xv = iset(x);
        const VI beforeRun = iset(static_cast<int64_t>(lo) - 1);
        const VI lastOfRun = iset(static_cast<int64_t>(hi) - 1);
        const VI beforeX = iset(static_cast<int64_t>(px) - 1);
        const VI atX = iset(static_cast<int64_t>(px));
        const auto end = [&](size_t k) {
            const VI at = iadd(lane, iset(static_cast<int64_t>(k)));
            const VI run = ixor(icmpgt(at, beforeRun), icmpgt(at, lastOfRun));
            const VI here = ixor(icmpgt(at, beforeX), icmpgt(at, atX));
            return iselect(here, iselect(run, iloadu(w + k), iloadu(w + k + s)), xv);
        };
        const VI first = end(e0);
        const VI last = end(e1);
        const ptrdiff_t step = s * static_cast<ptrdiff_t>(L);
        int64_t* q = w + static_cast<ptrdiff_t>(pick(e0 + L, e1 - L));
        for (size_t t = (e1 - e0) / L; t > 1; --t) {
            istoreu(q, iloadu(q + s));
            q += step;
        }
        istoreu(w + e0, first);
        istoreu(w + e1, last);
        dst[i] = medFromKey(w[median]);
    }
}

// The running median in vector lanes; the same contract as medSortedPath. buf holds the history
// ring (m keys in arrival order); the window lives on the stack.
inline void medLanesPath(const MedBits* src, MedBits* dst, int len, size_t m, const MedBits* dlySrc,
                         MedBits* dlyDst, BYTE* buf) {
    MedKey* ring = reinterpret_cast<MedKey*>(buf);
    for (size_t k = 0; k + 1 < m; ++k) ring[k] = medToKey(dlySrc ? dlySrc[k] : src[0]);
    ring[m - 1] = medToKey(src[0]);
    const size_t vectors = (m + kILanes - 1) / kILanes;
    const size_t n = vectors * kILanes;
    size_t p = 0;
    if (m >= static_cast<size_t>(kMedRunFrom)) {
        MedRunRow row;
        int64_t* const w = row.row();
        medFillRow(w, n, ring, m, dlySrc != nullptr);
        for (int l = 0; l < kILanes; ++l) {
            w[l - kILanes] = kMedKeyLeast;
            w[n + l] = kMedKeyGreatest;
        }
        dst[0] = medFromKey(w[n / 2]);
        if (len > 1) medRunLoop(src, dst, len, ring, m, p, w, n);
        if (dlyDst) medRingToDelay(ring, m, p, dlyDst);
        return;
    }
    MedLaneRow row;
    row.vectors = vectors;
    row.n = n;
    medFillRow(row.row(0), n, ring, m, dlySrc != nullptr);
    row.frame();
    row.median = n / 2;
    dst[0] = medFromKey(row.row(0)[row.median]);
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
