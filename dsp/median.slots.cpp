// Running median bodies of one CPU slot (compiled once per slot, see dsp/CMakeLists.txt).
//
// Paths by window length m: 1 copies; 3 to 9 run a one-sample-at-a-time ring through a
// selection network in slots 0 to 2 and vector networks in slots 3 to 5. Slots 0 to 2 use the
// sorted window from 11 to 31 and the two heaps (O(log m) per sample) from 33 on; slots 3 to 5
// keep the sorted window in vector lanes (dsp/median_lanes.h), recomputed without branches up
// to kMedRunFrom and moved in place from there, up to kMedLanesUpTo, and use the heaps beyond.
// All paths select by the same total order (dsp/median.h), so every slot yields the same bits.
#include "corvane/dsp.h"
#include "dsp/median.h"
#include "dsp/median_lanes.h"
#include "dsp/slot.h"
#include "dsp/vec.h"

namespace {

#if DSP_SLOT >= 3
// Signed 64-bit compare-exchange in vector lanes: SSE4.2 in slots 3 and 4 (VEX-encoded in slot
// 4, which has no 256-bit integer compare), AVX2 in slot 5. With VEX encoding the exchange is a
// masked xor: recent processors split a VEX variable blend into three micro-operations, while
// the legacy SSE4.1 blend of slot 3 stays one.
struct MedVecOps {
    typedef VI T;
    static constexpr int kLanes = kILanes;
    static inline T load(const int64_t* p) { return iloadu(p); }
    static inline void ce(T& a, T& b) {
        const T gt = icmpgt(a, b);
#if DSP_SLOT == 3
        const T lo = iselect(gt, a, b);
        b = iselect(gt, b, a);
        a = lo;
#else
        const T swap = iand(ixor(a, b), gt);
        a = ixor(a, swap);
        b = ixor(b, swap);
#endif
    }
    static inline void store(MedBits* dst, T key) {
        const T t = iadd(key, iset(static_cast<int64_t>(kMedKeyBias)));
        const T flip = iand(icmpgt(izero(), t), iset(INT64_MAX));
        istoreu(dst, ixor(t, flip));
    }
};
#endif

// Window length from which the two heaps beat the scalar sorted window (on fresh data).
constexpr int kMedHeapFrom = 33;

// The filter proper, after the argument checks; m is odd and at least 3.
void medRun(const MedBits* src, MedBits* dst, int len, int m, const MedBits* dlySrc,
            MedBits* dlyDst, BYTE* buf) {
#if DSP_SLOT >= 3
    switch (m) {
        case 3:
            medNetworkPath<3, MedVecOps>(src, dst, len, dlySrc, dlyDst);
            return;
        case 5:
            medNetworkPath<5, MedVecOps>(src, dst, len, dlySrc, dlyDst);
            return;
        case 7:
            medNetworkPath<7, MedVecOps>(src, dst, len, dlySrc, dlyDst);
            return;
        case 9:
            medNetworkPath<9, MedVecOps>(src, dst, len, dlySrc, dlyDst);
            return;
        default:
            break;
    }
#else
    switch (m) {
        case 3:
            medRingPath<3>(src, dst, len, dlySrc, dlyDst);
            return;
        case 5:
            medRingPath<5>(src, dst, len, dlySrc, dlyDst);
            return;
        case 7:
            medRingPath<7>(src, dst, len, dlySrc, dlyDst);
            return;
        case 9:
            medRingPath<9>(src, dst, len, dlySrc, dlyDst);
            return;
        default:
            break;
    }
#endif
#if DSP_SLOT >= 3
    if (m <= kMedLanesUpTo) {
        medLanesPath(src, dst, len, static_cast<size_t>(m), dlySrc, dlyDst, buf);
        return;
    }
#endif
    if (m >= kMedHeapFrom) {
        medHeapPath(src, dst, len, static_cast<size_t>(m), dlySrc, dlyDst, buf);
        return;
    }
    medSortedPath<kSlot.dispatch>(src, dst, len, static_cast<size_t>(m), dlySrc, dlyDst, buf);
}

}  // namespace

extern "C" DspStatus DSP_CALL DSP_SLOT_NAME(dspMedian64f)(const double* src, double* dst, int len,
                                                          int mask, const double* dlySrc,
                                                          double* dlyDst, BYTE* buf) {
    if (src == nullptr || dst == nullptr) return dspErrNullPtr;
    if (len < 1) return dspErrSize;
    int m = 0;
    if (!medWindow(mask, &m)) return dspErrMaskSize;
    if (buf == nullptr) return dspErrNullPtr;
    const DspStatus status = (mask & 1) ? dspOk : dspWarnEvenMask;
    if (m == 1) {
        // The window is the sample itself; the delay lines have no length.
        if (src != dst) DSP_SLOT_NAME(dspCopy64f)(src, dst, len);
        return status;
    }
    medRun(reinterpret_cast<const MedBits*>(src), reinterpret_cast<MedBits*>(dst), len, m,
           reinterpret_cast<const MedBits*>(dlySrc), reinterpret_cast<MedBits*>(dlyDst), buf);
    return status;
}

extern "C" DspStatus DSP_CALL DSP_SLOT_NAME(dspMedianInPlace64f)(double* srcDst, int len, int mask,
                                                                 const double* dlySrc,
                                                                 double* dlyDst, BYTE* buf) {
    return DSP_SLOT_NAME(dspMedian64f)(srcDst, srcDst, len, mask, dlySrc, dlyDst, buf);
}
