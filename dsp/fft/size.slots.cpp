// The real-FFT size query of one CPU slot (and of slot 2 without MOVBE, in its 2n build):
// the exact byte counts of the spec memory, the set-up buffer and the work buffer of an order,
// each including the 64 bytes that aligning the caller's address may skip.
#include "dsp/fft/builders.h"
#include "dsp/fft/fft_slot.h"
#include "dsp/fft/spec.h"
#include "dsp/fft/tables.h"
#include "dsp/internal.h"
#include "dsp/slot.h"

namespace {

struct Sizes {
    int64_t spec = 0, specBuf = 0, work = 0;
};

int64_t maxOf(int64_t a, int64_t b) {
    return a > b ? a : b;
}

// One level of a recursive plan of complex order m and its deeper levels.
Sizes levelSizes(int m) {
    const int k = plan().factorOrder[m];
    const int r = m - k;
    const int64_t M = int64_t(1) << m, R = int64_t(1) << r, K = int64_t(1) << k;
    Sizes s;
    if (r <= kTraits.iterativeLimit) {
        s.spec = r64(16 * R + 79);
        if (kTraits.iterativeWork) s.work = r64(16 * R + 63);
    } else if (kTraits.rowPlan && plan().factorOrder[r] == 0) {
        s.spec = r64(4 * R + 63) + r64(16 * 1024 + 79);
    } else {
        s = levelSizes(r);
    }
    if (kTraits.rowPlan) {
        // Rows of combining twiddles, the level's butterfly twiddles; rows and their pair
        // table in the set-up buffer.
        s.spec += 16 * M + r64(16 * K + 79);
        s.specBuf += r64(K + 67) + 64 * K;
        s.work = maxOf(s.work, 64 * K);
    } else {
        s.spec += kTraits.twiddleGroup == 0 ? 16 * M : 8 * M;
        s.work = maxOf(s.work, int64_t(16) << plan().blockOrder[m]);
    }
    return s;
}

}  // namespace

extern "C" {

void DSP_CALL DSP_SLOT_NAME(dspFftLargeOrderSize)(int m, int64_t* specSize, int64_t* specBufSize,
                                                  int64_t* workSize) {
    const int64_t M = int64_t(1) << m;
    Sizes s;
    if (plan().factorOrder[m] == 0) {
        // A plain plan: block twiddles and M/4 combining twiddles.
        const int64_t block = int64_t(1) << kTraits.iterativeLimit;
        s.spec = r64(4 * M + 63) + r64(16 * block + 79);
        if (kTraits.iterativeWork) s.work = 16 * block;
    } else {
        s = levelSizes(m);
    }
    if (kTraits.blockTableFrom != 0 && m >= kTraits.blockTableFrom) {
        s.spec += (M >> 8) + 1088;
        s.work = maxOf(s.work, 32768);
    } else {
        s.spec += r64(M + 67);
    }
    *specSize = s.spec;
    *specBufSize = s.specBuf;
    *workSize = s.work;
}

DspStatus DSP_CALL DSP_SLOT_NAME(dspFftGetSizeReal64f)(int order, int flag, int hint, int* specSize,
                                                       int* specBufSize, int* workSize) {
    if constexpr (DSP_FFT_HANDS_ON(dspFftGetSizeReal64f)) {
        if (!dspCheckCpuFeatures(dspFeatMovbe))
            return DSP_FFT_HAND_ON(dspFftGetSizeReal64f)(order, flag, hint, specSize, specBufSize,
                                                         workSize);
    }
    (void)hint;
    if (static_cast<unsigned>(order) > 30) return dspErrFftOrder;
    if (!specSize || !specBufSize || !workSize) return dspErrNullPtr;
    if (flag != dspFftScaleNone && flag != dspFftScaleSqrt && flag != dspFftScaleFwd &&
        flag != dspFftScaleInv)
        return dspErrFftFlag;
    if (order > kTraits.maxOrder) return dspErrFftOrder;

    if (order <= kTraits.lastKernelOrder) {
        // The header and the 64 bytes its alignment may skip.
        *specSize = 160;
        *specBufSize = 0;
        *workSize = 0;
        return dspOk;
    }
    const int m = order - 1;
    const int64_t n = int64_t(1) << order, M = n / 2;
    int64_t spec = 0, specBuf = 0, work = 0;
    if (order <= kTraits.lastRecombOrder) {
        // Recombination tables only.
    } else if (m <= kTraits.iterativeLimit) {
        spec = r64(16 * M + 79) + r64(M + 67);
        if (kTraits.iterativeWork) work = r64(16 * M + 63);
    } else {
        DSP_SLOT_NAME(dspFftLargeOrderSize)(m, &spec, &specBuf, &work);
    }
    if (order >= kTraits.twoLevelOrder) {
        spec += r128((n >> 6) + 16510) + 192;
    } else {
        spec += r128(8 * n + 126) + 192;
    }
    if (order >= 11) specBuf += r64(2 * n + 71) + 64;
    if (work > 0) work += 64;
    *specSize = static_cast<int>(spec);
    *specBufSize = static_cast<int>(specBuf);
    *workSize = static_cast<int>(work);
    return dspOk;
}

}  // extern "C"
