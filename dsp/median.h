// Running median: the parts every CPU slot shares. Everything sits in an anonymous namespace so
// that each slot's translation unit gets its own copy, built with that slot's flags, and no wider
// instruction set reaches a slower slot through a shared inline function.
//
// Values are never touched as floating point. Each double is mapped to a signed 64-bit key whose
// integer order is a total order on bit patterns: numeric order, -0 below +0, and every NaN above
// +Inf (positive NaNs by payload, then negative NaNs). Every path selects the element of rank m/2
// under that order, so outputs are the input's own bits (signalling NaNs stay signalling) and are
// identical across paths and slots, and a value leaving the window is always found again.
#pragma once

#include <cstddef>
#include <cstdint>

#include "corvane/dsp.h"

namespace {

// Unaligned, alias-safe views: the work buffer carries no alignment promise, and reading doubles
// as bit patterns keeps them out of floating-point registers.
typedef int64_t MedKey __attribute__((aligned(1), may_alias));
typedef uint64_t MedBits __attribute__((aligned(1), may_alias));

// The number of negative-NaN patterns; subtracting it rotates them above +Inf.
constexpr uint64_t kMedKeyBias = 0x000FFFFFFFFFFFFFull;

// Largest window length whose work buffer (16 * m bytes) a 32-bit size can describe.
constexpr int kMedMaxWindow = 0x7FFFFFFF / 16;

inline int64_t medToKey(uint64_t bits) {
    const uint64_t flip = static_cast<uint64_t>(static_cast<int64_t>(bits) >> 63) >> 1;
    return static_cast<int64_t>((bits ^ flip) - kMedKeyBias);
}

inline uint64_t medFromKey(int64_t key) {
    const uint64_t t = static_cast<uint64_t>(key) + kMedKeyBias;
    return t ^ (static_cast<uint64_t>(static_cast<int64_t>(t) >> 63) >> 1);
}

// Window length used for mask (mask, or mask - 1 when even). False when mask is below 1 or the
// window's work buffer would not fit a 32-bit byte count.
inline bool medWindow(int mask, int* m) {
    if (mask < 1) return false;
    const int w = (mask & 1) ? mask : mask - 1;
    if (w > kMedMaxWindow) return false;
    *m = w;
    return true;
}

// ---- Selection networks --------------------------------------------------------------------
// O::ce(a, b) leaves min in a and max in b. Each network returns the median of p[0..M-1] and
// may scramble p. A min/max network that selects the median of every 0/1 window selects it for
// all inputs; the tests feed every 0/1 window.

// clang-format off
template <class O, class T>
inline T medSelect3(T* p) {
    O::ce(p[0], p[1]); O::ce(p[1], p[2]); O::ce(p[0], p[1]);
    return p[1];
}

template <class O, class T>
inline T medSelect5(T* p) {
    O::ce(p[0], p[1]); O::ce(p[3], p[4]); O::ce(p[0], p[3]); O::ce(p[1], p[4]);
    O::ce(p[1], p[2]); O::ce(p[2], p[3]); O::ce(p[1], p[2]);
    return p[2];
}

template <class O, class T>
inline T medSelect7(T* p) {
    O::ce(p[0], p[5]); O::ce(p[0], p[3]); O::ce(p[1], p[6]); O::ce(p[2], p[4]);
    O::ce(p[0], p[1]); O::ce(p[3], p[5]); O::ce(p[2], p[6]); O::ce(p[2], p[3]);
    O::ce(p[3], p[6]); O::ce(p[4], p[5]); O::ce(p[1], p[4]); O::ce(p[1], p[3]);
    O::ce(p[3], p[4]);
    return p[3];
}

template <class O, class T>
inline T medSelect9(T* p) {
    O::ce(p[1], p[2]); O::ce(p[4], p[5]); O::ce(p[7], p[8]);
    O::ce(p[0], p[1]); O::ce(p[3], p[4]); O::ce(p[6], p[7]);
    O::ce(p[1], p[2]); O::ce(p[4], p[5]); O::ce(p[7], p[8]);
    O::ce(p[0], p[3]); O::ce(p[5], p[8]); O::ce(p[4], p[7]);
    O::ce(p[3], p[6]); O::ce(p[1], p[4]); O::ce(p[2], p[5]);
    O::ce(p[4], p[7]); O::ce(p[4], p[2]); O::ce(p[6], p[4]);
    O::ce(p[4], p[2]);
    return p[4];
}
// clang-format on

template <int M, class O, class T>
inline T medSelect(T* p) {
    static_assert(M == 3 || M == 5 || M == 7 || M == 9, "networks exist for 3, 5, 7 and 9");
    if constexpr (M == 3)
        return medSelect3<O>(p);
    else if constexpr (M == 5)
        return medSelect5<O>(p);
    else if constexpr (M == 7)
        return medSelect7<O>(p);
    else
        return medSelect9<O>(p);
}

struct MedScalarOps {
    static inline void ce(int64_t& a, int64_t& b) {
        const int64_t lo = a < b ? a : b;
        b = a < b ? b : a;
        a = lo;
    }
};

// ---- Fixed windows of 3 to 9, one sample at a time ----------------------------------------
// ring holds the last M values of the extended input; w is the slot of the oldest. The input
// sample is read before its output is stored, so src may equal dst.
template <int M>
void medRingPath(const MedBits* src, MedBits* dst, int len, const MedBits* dlySrc,
                 MedBits* dlyDst) {
    int64_t ring[M];
    for (int k = 0; k < M - 1; ++k) ring[k] = medToKey(dlySrc ? dlySrc[k] : src[0]);
    int w = M - 1;
    for (int i = 0; i < len; ++i) {
        ring[w] = medToKey(src[i]);
        int64_t t[M];
        for (int k = 0; k < M; ++k) t[k] = ring[k];
        dst[i] = medFromKey(medSelect<M, MedScalarOps>(t));
        w = (w + 1 == M) ? 0 : w + 1;
    }
    if (dlyDst) {
        for (int k = 0; k < M - 1; ++k) dlyDst[k] = medFromKey(ring[(w + 1 + k) % M]);
    }
}

// ---- Fixed windows of 3 to 9 in vector lanes ------------------------------------------------
// The input passes through a small staging array of keys: the m - 1 values before the chunk
// followed by the chunk itself. Output j of a chunk is the median of stage[j .. j+M-1]; lanes
// hold consecutive outputs. A chunk is read completely before any of its outputs is stored, so
// src may equal dst, and the staging head always holds the last m - 1 values seen, which is what
// the destination delay line needs at the end.
//
// V provides: type T, kLanes, load(const int64_t*), store(MedBits* dst, T keys) (converting keys
// back to bits), and ce(T&, T&).
template <int M, class V>
void medNetworkPath(const MedBits* src, MedBits* dst, int len, const MedBits* dlySrc,
                    MedBits* dlyDst) {
    constexpr int kHist = M - 1;
    constexpr int kChunk = 64;
    alignas(32) int64_t stage[kHist + kChunk];
    for (int k = 0; k < kHist; ++k) stage[k] = medToKey(dlySrc ? dlySrc[k] : src[0]);
    for (int base = 0; base < len; base += kChunk) {
        const int n = (len - base < kChunk) ? len - base : kChunk;
        for (int j = 0; j < n; ++j) stage[kHist + j] = medToKey(src[base + j]);
        int j = 0;
        for (; j + V::kLanes <= n; j += V::kLanes) {
            typename V::T p[M];
            for (int k = 0; k < M; ++k) p[k] = V::load(stage + j + k);
            V::store(dst + base + j, medSelect<M, V>(p));
        }
        for (; j < n; ++j) {
            int64_t p[M];
            for (int k = 0; k < M; ++k) p[k] = stage[j + k];
            dst[base + j] = medFromKey(medSelect<M, MedScalarOps>(p));
        }
        for (int k = 0; k < kHist; ++k) stage[k] = stage[n + k];
    }
    if (dlyDst) {
        for (int k = 0; k < kHist; ++k) dlyDst[k] = medFromKey(stage[k]);
    }
}

// ---- Sorted window, any odd m ---------------------------------------------------------------

inline void medSiftDown(MedKey* a, size_t root, size_t n) {
    for (;;) {
        size_t child = 2 * root + 1;
        if (child >= n) return;
        if (child + 1 < n && a[child] < a[child + 1]) ++child;
        if (!(a[root] < a[child])) return;
        const int64_t t = a[root];
        a[root] = a[child];
        a[child] = t;
        root = child;
    }
}

// Heap sort: n log n for the first window even when m is large.
inline void medSortKeys(MedKey* a, size_t n) {
    for (size_t i = n / 2; i-- > 0;) medSiftDown(a, i, n);
    for (size_t end = n; end-- > 1;) {
        const int64_t t = a[0];
        a[0] = a[end];
        a[end] = t;
        medSiftDown(a, 0, end);
    }
}

// First index in [lo, hi) whose key is not below x (hi when none). Branch-free halving: the
// answer stays inside [b, b + n], and the data-dependent choice becomes a conditional move.
inline size_t medLowerBound(const MedKey* a, size_t lo, size_t hi, int64_t x) {
    size_t n = hi - lo;
    if (n == 0) return lo;
    size_t b = lo;
    while (n > 1) {
        const size_t h = n / 2;
        b = (a[b + h] < x) ? b + h : b;
        n -= h;
    }
    return b + (a[b] < x ? 1 : 0);
}

// Up to this window length, ranks are found by counting over the whole window: independent
// compares that pipeline, and vectorise where the slot has 64-bit compares, where a binary
// search is a chain of dependent loads. Past the limit the two full passes cost more than the
// search: measured with 4096 samples, the AVX2 count took 1.6 to 2 times as long as the search
// for windows of 65 to 129, and the SSE4.2 and AVX counts about 1.2 times as long from 49 on.
// The limit follows the dispatch slot being compiled (`kSlot.dispatch`), given as a template
// argument because the size query includes this header in a build of no slot.
template <int kDispatch>
constexpr size_t kMedCountedRanks = kDispatch == 5 ? 48 : 32;

// Replaces one occurrence of old in the sorted window w[0..m-1] by x, keeping it sorted. old is
// present by construction; the clamp only keeps every access inside the window should the
// buffer be changed behind our back.
template <int kDispatch>
inline void medReplace(MedKey* w, size_t m, int64_t old, int64_t x) {
    size_t j;  // index of old
    size_t q;  // index of x once old is gone
    if (m <= kMedCountedRanks<kDispatch>) {
        size_t belowOld = 0, belowX = 0;
        for (size_t k = 0; k < m; ++k) {
            belowOld += w[k] < old ? 1 : 0;
            belowX += w[k] < x ? 1 : 0;
        }
        j = belowOld;
        q = belowX - (old < x ? 1 : 0);
    } else {
        j = medLowerBound(w, 0, m, old);
        q = (old < x) ? medLowerBound(w, j + 1, m, x) - 1 : medLowerBound(w, 0, j, x);
    }
    if (j >= m) j = m - 1;
    if (q >= m) q = m - 1;
    if (q >= j) {
        for (size_t k = j; k < q; ++k) w[k] = w[k + 1];
    } else {
        for (size_t k = j; k > q; --k) w[k] = w[k - 1];
    }
    w[q] = x;
}

// ---- Two heaps, long windows ----------------------------------------------------------------
// The window's keys in one array: a max-heap of the m/2 + 1 smallest in [0, h) (its root is the
// median) and a min-heap of the others in [h, m). Each key remembers its ring slot (slot[]) and
// each ring slot its key's place (pos[]), so the key leaving the window is replaced where it
// stands and sifted: O(log m) per sample. Keys, places and slots fill the 16 * m bytes of the
// work buffer exactly (m 64-bit keys, two times m 32-bit indices).
typedef int32_t MedIndex __attribute__((aligned(1), may_alias));

struct MedHeaps {
    MedKey* key;
    MedIndex* slot;
    MedIndex* pos;
    size_t h;  // size of the lower heap, m / 2 + 1
    size_t m;

    void put(size_t i, int64_t k, int32_t s) {
        key[i] = k;
        slot[i] = s;
        pos[s] = static_cast<int32_t>(i);
    }

    // Moves the key at place i up or down its heap until the heap holds again. kLow: the
    // max-heap [0, h); else the min-heap [h, m). The child is chosen by a conditional move.
    template <bool kLow>
    void sift(size_t i) {
        const size_t base = kLow ? 0 : h, n = kLow ? h : m - h;
        MedKey* a = key + base;
        MedIndex* sl = slot + base;
        const int64_t x = a[i - base];
        const int32_t s = sl[i - base];
        size_t k = i - base;
        while (k > 0) {
            const size_t parent = (k - 1) / 2;
            if (!(kLow ? a[parent] < x : x < a[parent])) break;
            a[k] = a[parent];
            sl[k] = sl[parent];
            pos[sl[k]] = static_cast<int32_t>(base + k);
            k = parent;
        }
        for (;;) {
            size_t c = 2 * k + 1;
            if (c >= n) break;
            const size_t c2 = c + 1 < n ? c + 1 : c;
            c = (kLow ? a[c] < a[c2] : a[c2] < a[c]) ? c2 : c;
            if (!(kLow ? x < a[c] : a[c] < x)) break;
            a[k] = a[c];
            sl[k] = sl[c];
            pos[sl[k]] = static_cast<int32_t>(base + k);
            k = c;
        }
        a[k] = x;
        sl[k] = s;
        pos[s] = static_cast<int32_t>(base + k);
    }

    // Ring slot s now holds key x.
    void replace(int32_t s, int64_t x) {
        const size_t i = static_cast<size_t>(pos[s]);
        key[i] = x;
        if (i < h) {
            sift<true>(i);
        } else {
            sift<false>(i);
        }
        // One replacement leaves at most one key on the wrong side: swap the roots.
        if (key[h] < key[0]) {
            const int64_t k0 = key[0], k1 = key[h];
            const int32_t s0 = slot[0], s1 = slot[h];
            put(0, k1, s1);
            put(h, k0, s0);
            sift<true>(0);
            sift<false>(h);
        }
    }
};

// Heap sort of the keys in a[0..n-1] with their slots.
inline void medSortWithSlots(MedKey* a, MedIndex* sl, size_t n) {
    const auto siftDown = [&](size_t root, size_t end) {
        for (;;) {
            size_t child = 2 * root + 1;
            if (child >= end) return;
            if (child + 1 < end && a[child] < a[child + 1]) ++child;
            if (!(a[root] < a[child])) return;
            const int64_t t = a[root];
            a[root] = a[child];
            a[child] = t;
            const int32_t u = sl[root];
            sl[root] = sl[child];
            sl[child] = u;
            root = child;
        }
    };
    for (size_t i = n / 2; i-- > 0;) siftDown(i, n);
    for (size_t end = n; end-- > 1;) {
        const int64_t t = a[0];
        a[0] = a[end];
        a[end] = t;
        const int32_t u = sl[0];
        sl[0] = sl[end];
        sl[end] = u;
        siftDown(0, end);
    }
}

// The running median over two heaps; the same contract as medSortedPath.
inline void medHeapPath(const MedBits* src, MedBits* dst, int len, size_t m, const MedBits* dlySrc,
                        MedBits* dlyDst, BYTE* buf) {
    MedHeaps H{reinterpret_cast<MedKey*>(buf), reinterpret_cast<MedIndex*>(buf + 8 * m),
               reinterpret_cast<MedIndex*>(buf + 12 * m), m / 2 + 1, m};
    for (size_t k = 0; k < m; ++k) {
        H.key[k] = medToKey(k + 1 < m && dlySrc ? dlySrc[k] : src[0]);
        H.slot[k] = static_cast<int32_t>(k);
    }
    // Sorted ascending, the upper part is a min-heap; reversed, the lower part a max-heap.
    medSortWithSlots(H.key, H.slot, m);
    for (size_t i = 0, j = H.h - 1; i < j; ++i, --j) {
        const int64_t t = H.key[i];
        H.key[i] = H.key[j];
        H.key[j] = t;
        const int32_t u = H.slot[i];
        H.slot[i] = H.slot[j];
        H.slot[j] = u;
    }
    for (size_t i = 0; i < m; ++i) H.pos[H.slot[i]] = static_cast<int32_t>(i);
    dst[0] = medFromKey(H.key[0]);
    size_t p = 0;
    for (int i = 1; i < len; ++i) {
        H.replace(static_cast<int32_t>(p), medToKey(src[i]));
        p = (p + 1 == m) ? 0 : p + 1;
        dst[i] = medFromKey(H.key[0]);
    }
    if (dlyDst) {
        for (size_t k = 0; k + 1 < m; ++k) {
            size_t r = p + 1 + k;
            if (r >= m) r -= m;
            dlyDst[k] = medFromKey(H.key[H.pos[r]]);
        }
    }
}

// The history ring of m keys in arrival order, p at the oldest: x takes the oldest's place, p
// moves on, and the key that left is returned.
inline int64_t medRingPush(MedKey* ring, size_t m, size_t& p, int64_t x) {
    const int64_t old = ring[p];
    ring[p] = x;
    p = (p + 1 == m) ? 0 : p + 1;
    return old;
}

// The destination delay line from the ring: its m - 1 newest keys, oldest first.
inline void medRingToDelay(const MedKey* ring, size_t m, size_t p, MedBits* dlyDst) {
    for (size_t k = 0; k + 1 < m; ++k) {
        size_t r = p + 1 + k;
        if (r >= m) r -= m;
        dlyDst[k] = medFromKey(ring[r]);
    }
}

// buf holds the sorted window (m keys) followed by the history ring (m keys, arrival order).
// The history is read into the ring before anything is written, so the destination delay line
// may even be the source delay line, and src may equal dst.
template <int kDispatch>
inline void medSortedPath(const MedBits* src, MedBits* dst, int len, size_t m,
                          const MedBits* dlySrc, MedBits* dlyDst, BYTE* buf) {
    MedKey* win = reinterpret_cast<MedKey*>(buf);
    MedKey* ring = win + m;
    for (size_t k = 0; k + 1 < m; ++k) ring[k] = medToKey(dlySrc ? dlySrc[k] : src[0]);
    ring[m - 1] = medToKey(src[0]);
    for (size_t k = 0; k < m; ++k) win[k] = ring[k];
    if (dlySrc) medSortKeys(win, m);
    const size_t half = m / 2;
    dst[0] = medFromKey(win[half]);
    size_t p = 0;
    for (int i = 1; i < len; ++i) {
        const int64_t x = medToKey(src[i]);
        medReplace<kDispatch>(win, m, medRingPush(ring, m, p, x), x);
        dst[i] = medFromKey(win[half]);
    }
    if (dlyDst) medRingToDelay(ring, m, p, dlyDst);
}

}  // namespace
