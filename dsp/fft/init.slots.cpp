// The real-FFT set-up of one CPU slot (and of slot 2 without MOVBE, in its 2n build): the
// header, the scaling flag and the tables the transforms read, built in the caller's memory.
#include "dsp/fft/builders.h"
#include "dsp/fft/fft_slot.h"
#include "dsp/fft/spec.h"
#include "dsp/fft/tables.h"
#include "dsp/internal.h"
#include "dsp/slot.h"

#include <math.h>

namespace {

// The bit-reverse builder the slot runs (slot 4 has none of its own: it runs slot 1's).
constexpr auto kBitReverseTable = DSP_SLOT_BODY(dspFftBitReverseTable);
constexpr auto kZeroStreaming = DSP_SLOT_BODY(dspZeroBytesStreaming);
constexpr double kTwoPi = 6.283185307179586;

// 1/sqrt(2^order) as double arithmetic gives it, the square root and the quotient each rounded
// to a double, made from its exact parts: 2^(-order/2), times that rounding of 1/sqrt(2) for an
// odd order. The x87 (slot 0 of 32-bit builds) would round the square root to 64 bits first.
double inverseSqrtOfPowerOfTwo(int order) {
    constexpr double kInvSqrt2 = 0x1.6a09e667f3bccp-1;  // 1.0 / 1.4142135623730951
    return ldexp((order & 1) ? kInvSqrt2 : 1.0, -(order / 2));
}

bool validFlag(int flag) {
    return flag == dspFftScaleNone || flag == dspFftScaleSqrt || flag == dspFftScaleFwd ||
           flag == dspFftScaleInv;
}

}  // namespace

extern "C" {

DspStatus DSP_CALL DSP_SLOT_NAME(dspFftSpecClear)(BYTE* p, int bytes) {
    if (!p) return dspErrNullPtr;
    if (bytes < 1) return dspErrSize;
    if constexpr (DSP_SLOT_HAS(dspZeroBytesStreaming)) {
        // The streaming stores only pay off for ranges beyond the caches; a header never is one.
        if (bytes > 0x200000) {
            kZeroStreaming(p, bytes);
            return dspOk;
        }
    }
    DSP_FFT_SERVICE(dspZeroBytes)(p, bytes);
    return dspOk;
}

BYTE* DSP_CALL DSP_SLOT_NAME(dspFftBaseTable)(int order, double* dst) {
    const int64_t n = int64_t(1) << order;
    const int64_t e = n / 8, q = n / 4;
    const double step = kTwoPi / static_cast<double>(n);
    for (int64_t j = 0; j <= e; ++j) dst[j] = static_cast<double>(j) * step;
    for (int64_t j = e + 1; j <= q; ++j) dst[j] = static_cast<double>(q - j) * step;
    // In place; these finite arguments raise no domain warning, so the statuses say nothing.
    (void)DSP_FFT_SERVICE(dspVecSin64f)(dst, dst, static_cast<int>(e + 1));
    (void)DSP_FFT_SERVICE(dspVecCos64f)(dst + e + 1, dst + e + 1, static_cast<int>(q - e));
#if CORVANE_DSP_TEST_SEAMS
    if (DspFftBaseTableHook hook = dspTestFftBaseTableHook()) hook(order, dst);
#endif
    return alignUp64(dst + q + 1);
}

BYTE* DSP_CALL DSP_SLOT_NAME(dspFftTwiddleTable)(int m, const double* base, int T, double* dst) {
    if constexpr (kTraits.twiddleGroup == 0) {
        return buildTripleTwiddles(m, base, T, dst);
    } else {
        return buildStagedTwiddles<kTraits.twiddleGroup>(m, base, T, dst);
    }
}

BYTE* DSP_CALL DSP_SLOT_NAME(dspFftFwdRecombTable)(int order, const double* base, int T,
                                                   double* dst) {
    return buildRecombTable<kTraits.groupedRecomb>(order, base, T, dst, true,
                                                   order >= kTraits.twoLevelOrder);
}

BYTE* DSP_CALL DSP_SLOT_NAME(dspFftInvRecombTable)(int order, const double* base, int T,
                                                   double* dst) {
    return buildRecombTable<kTraits.groupedRecomb>(order, base, T, dst, false,
                                                   order >= kTraits.twoLevelOrder);
}

DspStatus DSP_CALL DSP_SLOT_NAME(dspFftInitReal64f)(DspFftSpecReal64f** specOut, int order,
                                                    int flag, int hint, BYTE* specMem,
                                                    BYTE* specBuf) {
    if constexpr (DSP_FFT_HANDS_ON(dspFftInitReal64f)) {
        if (!dspCheckCpuFeatures(dspFeatMovbe))
            return DSP_FFT_HAND_ON(dspFftInitReal64f)(specOut, order, flag, hint, specMem, specBuf);
    }
    if (!specOut) return dspErrNullPtr;
    if (static_cast<unsigned>(order) > 30 || order > kTraits.maxOrder) return dspErrFftOrder;
    if (!specMem) return dspErrNullPtr;

    BYTE* const h = alignUp64(specMem);
    (void)DSP_SLOT_NAME(dspFftSpecClear)(h, kDspFftHeaderBytes);
    auto* const spec = reinterpret_cast<DspFftSpecReal64f*>(h);
    spec->hint = hint;
    spec->order = order;
    spec->reserved8 = 0;

    const double n = static_cast<double>(int32_t(1) << order);
    switch (flag) {
        case dspFftScaleNone:
            break;
        case dspFftScaleSqrt:
            spec->fwdScaled = spec->invScaled = 1;
            spec->scale = inverseSqrtOfPowerOfTwo(order);
            break;
        case dspFftScaleFwd:
            spec->fwdScaled = 1;
            spec->scale = 1.0 / n;
            break;
        case dspFftScaleInv:
            spec->invScaled = 1;
            spec->scale = 1.0 / n;
            break;
    }
    // The tag is written only once nothing can fail any more: memory whose set-up was refused
    // must never pass for a spec, even where a spec stood before.
    if (!validFlag(flag)) return dspErrFftFlag;

    if (order <= kTraits.lastKernelOrder) {
        spec->workSize = 0;
        spec->tag = kDspFftSpecTag;
        *specOut = spec;
        return dspOk;
    }

    const double* base = dspFftSineTable1024;
    int T = 10;
    BYTE* scratch = nullptr;
    if (order > 10) {
        if (!specBuf) return dspErrNullPtr;
        double* built = reinterpret_cast<double*>(alignUp64(specBuf));
        scratch = DSP_SLOT_NAME(dspFftBaseTable)(order, built);
        base = built;
        T = order;
    }
    spec->tag = kDspFftSpecTag;

    const int m = order - 1;
    BYTE* p;
    if (order <= kTraits.lastRecombOrder) {
        spec->workSize = 0;
        p = h + 128;
    } else {
        int32_t* const bitReverse = reinterpret_cast<int32_t*>(h + kDspFftHeaderBytes);
        spec->bitReverseTable = kDspFftHeaderBytes;
        if (m <= kTraits.iterativeLimit) {
            double* const twiddles = reinterpret_cast<double*>(kBitReverseTable(m, bitReverse));
            spec->twiddleTable = dspFftSpecOffset(spec, twiddles);
            p = DSP_SLOT_NAME(dspFftTwiddleTable)(m, base, T, twiddles);
            spec->workSize = kTraits.iterativeWork ? static_cast<int32_t>(16 << m) : 0;
        } else {
            p = DSP_SLOT_NAME(dspFftLargePlanInit)(spec, m, base, T, bitReverse, scratch);
        }
    }

    spec->fwdRecombTable = dspFftSpecOffset(spec, p);
    BYTE* const inverse =
        DSP_SLOT_NAME(dspFftFwdRecombTable)(order, base, T, reinterpret_cast<double*>(p));
    spec->invRecombTable = dspFftSpecOffset(spec, inverse);
    (void)DSP_SLOT_NAME(dspFftInvRecombTable)(order, base, T, reinterpret_cast<double*>(inverse));
    *specOut = spec;
    return dspOk;
}

}  // extern "C"
