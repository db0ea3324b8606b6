// Dispatch of the twelve public operations: one table per operation, indexed from -1, whose
// entry -1 is the first-call stub. A call costs one load of the slot and one indirect jump.
#include "platform/win32.h"

#include "dsp/internal.h"
#if CORVANE_DSP_TEST_SEAMS
#include "dsp/testing.h"
#endif

namespace {

// Seven entries: the first-call stub, then the bodies of slots 0 to 5. The operation's
// stub indexes table + 1 with the slot, so slot -1 lands on the first-call stub.
template <typename Fn>
using DispatchTable = Fn const[7];

inline int slotIndex() {
    return dspCpuSlot.load(std::memory_order_acquire) + 1;
}

using SetFn = DspStatus(DSP_CALL*)(double, double*, int);
using MulConstInPlaceFn = DspStatus(DSP_CALL*)(double, double*, int);
using MulConstFn = DspStatus(DSP_CALL*)(const double*, double, double*, int);
using MulFn = DspStatus(DSP_CALL*)(const double*, const double*, double*, int);
using MagnitudeFn = DspStatus(DSP_CALL*)(const double*, double*, int);
using FftGetSizeFn = DspStatus(DSP_CALL*)(int, int, int, int*, int*, int*);
using FftInitFn = DspStatus(DSP_CALL*)(DspFftSpecReal64f**, int, int, int, BYTE*, BYTE*);
using FftTransformFn = DspStatus(DSP_CALL*)(const double*, double*, const DspFftSpecReal64f*,
                                            BYTE*);
using MedianSizeFn = DspStatus(DSP_CALL*)(int, int, int*);
using MedianFn = DspStatus(DSP_CALL*)(const double*, double*, int, int, const double*, double*,
                                      BYTE*);
using MedianInPlaceFn = DspStatus(DSP_CALL*)(double*, int, int, const double*, double*, BYTE*);

DispatchTable<SetFn> kSet = {dspSet64f_init, dspSet64f_s0, dspSet64f_s1, dspSet64f_s2,
                             dspSet64f_s3,   dspSet64f_s4, dspSet64f_s5};
DispatchTable<MulConstInPlaceFn> kMulConstInPlace = {
    dspMulConstInPlace64f_init, dspMulConstInPlace64f_s0, dspMulConstInPlace64f_s1,
    dspMulConstInPlace64f_s2,   dspMulConstInPlace64f_s3, dspMulConstInPlace64f_s4,
    dspMulConstInPlace64f_s5};
DispatchTable<MulConstFn> kMulConst = {dspMulConst64f_init, dspMulConst64f_s0, dspMulConst64f_s1,
                                       dspMulConst64f_s2,   dspMulConst64f_s3, dspMulConst64f_s4,
                                       dspMulConst64f_s5};
DispatchTable<MulFn> kMul = {dspMul64f_init, dspMul64f_s0, dspMul64f_s1, dspMul64f_s2,
                             dspMul64f_s3,   dspMul64f_s4, dspMul64f_s5};
DispatchTable<MagnitudeFn> kMagnitude = {
    dspMagnitude64fc_init, dspMagnitude64fc_s0, dspMagnitude64fc_s1, dspMagnitude64fc_s2,
    dspMagnitude64fc_s3,   dspMagnitude64fc_s4, dspMagnitude64fc_s5};
DispatchTable<FftGetSizeFn> kFftGetSize = {dspFftGetSizeReal64f_init, dspFftGetSizeReal64f_s0,
                                           dspFftGetSizeReal64f_s1,   dspFftGetSizeReal64f_s2,
                                           dspFftGetSizeReal64f_s3,   dspFftGetSizeReal64f_s4,
                                           dspFftGetSizeReal64f_s5};
DispatchTable<FftInitFn> kFftInit = {
    dspFftInitReal64f_init, dspFftInitReal64f_s0, dspFftInitReal64f_s1, dspFftInitReal64f_s2,
    dspFftInitReal64f_s3,   dspFftInitReal64f_s4, dspFftInitReal64f_s5};
DispatchTable<FftTransformFn> kFftFwd = {dspFftFwdRealToCcs64f_init, dspFftFwdRealToCcs64f_s0,
                                         dspFftFwdRealToCcs64f_s1,   dspFftFwdRealToCcs64f_s2,
                                         dspFftFwdRealToCcs64f_s3,   dspFftFwdRealToCcs64f_s4,
                                         dspFftFwdRealToCcs64f_s5};
DispatchTable<FftTransformFn> kFftInv = {dspFftInvCcsToReal64f_init, dspFftInvCcsToReal64f_s0,
                                         dspFftInvCcsToReal64f_s1,   dspFftInvCcsToReal64f_s2,
                                         dspFftInvCcsToReal64f_s3,   dspFftInvCcsToReal64f_s4,
                                         dspFftInvCcsToReal64f_s5};
// Slots 4 and 5 have no buffer-size body of their own: they use slot 1's.
DispatchTable<MedianSizeFn> kMedianSize = {dspMedianGetBufferSize_init, dspMedianGetBufferSize_s0,
                                           dspMedianGetBufferSize_s1,   dspMedianGetBufferSize_s2,
                                           dspMedianGetBufferSize_s3,   dspMedianGetBufferSize_s1,
                                           dspMedianGetBufferSize_s1};
DispatchTable<MedianFn> kMedian = {dspMedian64f_init, dspMedian64f_s0, dspMedian64f_s1,
                                   dspMedian64f_s2,   dspMedian64f_s3, dspMedian64f_s4,
                                   dspMedian64f_s5};
DispatchTable<MedianInPlaceFn> kMedianInPlace = {dspMedianInPlace64f_init, dspMedianInPlace64f_s0,
                                                 dspMedianInPlace64f_s1,   dspMedianInPlace64f_s2,
                                                 dspMedianInPlace64f_s3,   dspMedianInPlace64f_s4,
                                                 dspMedianInPlace64f_s5};

}  // namespace

// Each operation gets its direct stub and its first-call stub. The first-call stub runs the
// CPU set-up, ignores its status (a warning at most) and goes on with the chosen body, whose
// status is the caller's result.
#define DSP_DISPATCH(name, table, params, args) \
    DspStatus DSP_CALL name params {            \
        return table[slotIndex()] args;         \
    }                                           \
    DspStatus DSP_CALL name##_init params {     \
        (void)dspInitCpu();                     \
        return table[slotIndex()] args;         \
    }

extern "C" {

DSP_DISPATCH(dspSet64f, kSet, (double value, double* dst, int len), (value, dst, len))
DSP_DISPATCH(dspMulConstInPlace64f, kMulConstInPlace, (double value, double* srcDst, int len),
             (value, srcDst, len))
DSP_DISPATCH(dspMulConst64f, kMulConst, (const double* src, double value, double* dst, int len),
             (src, value, dst, len))
DSP_DISPATCH(dspMul64f, kMul, (const double* src1, const double* src2, double* dst, int len),
             (src1, src2, dst, len))
DSP_DISPATCH(dspMagnitude64fc, kMagnitude, (const double* src, double* dst, int len),
             (src, dst, len))
DSP_DISPATCH(dspFftGetSizeReal64f, kFftGetSize,
             (int order, int flag, int hint, int* specSize, int* specBufSize, int* workSize),
             (order, flag, hint, specSize, specBufSize, workSize))
DSP_DISPATCH(dspFftInitReal64f, kFftInit,
             (DspFftSpecReal64f * *spec, int order, int flag, int hint, BYTE* specMem,
              BYTE* specBuf),
             (spec, order, flag, hint, specMem, specBuf))
DSP_DISPATCH(dspFftFwdRealToCcs64f, kFftFwd,
             (const double* src, double* dst, const DspFftSpecReal64f* spec, BYTE* work),
             (src, dst, spec, work))
DSP_DISPATCH(dspFftInvCcsToReal64f, kFftInv,
             (const double* src, double* dst, const DspFftSpecReal64f* spec, BYTE* work),
             (src, dst, spec, work))
DSP_DISPATCH(dspMedianGetBufferSize, kMedianSize, (int mask, int dataType, int* size),
             (mask, dataType, size))
DSP_DISPATCH(dspMedian64f, kMedian,
             (const double* src, double* dst, int len, int mask, const double* dlySrc,
              double* dlyDst, BYTE* buf),
             (src, dst, len, mask, dlySrc, dlyDst, buf))
DSP_DISPATCH(dspMedianInPlace64f, kMedianInPlace,
             (double* srcDst, int len, int mask, const double* dlySrc, double* dlyDst, BYTE* buf),
             (srcDst, len, mask, dlySrc, dlyDst, buf))

#if CORVANE_DSP_TEST_SEAMS
const void* dspTestDispatchEntry(int operation, int slot) {
    if (slot < dspSlotUnset || slot > dspSlotAvx2) return nullptr;
    const int i = slot + 1;
    switch (operation) {
        case 1:
            return reinterpret_cast<const void*>(kSet[i]);
        case 2:
            return reinterpret_cast<const void*>(kMulConstInPlace[i]);
        case 3:
            return reinterpret_cast<const void*>(kMulConst[i]);
        case 4:
            return reinterpret_cast<const void*>(kMul[i]);
        case 5:
            return reinterpret_cast<const void*>(kMagnitude[i]);
        case 6:
            return reinterpret_cast<const void*>(kFftGetSize[i]);
        case 7:
            return reinterpret_cast<const void*>(kFftInit[i]);
        case 8:
            return reinterpret_cast<const void*>(kFftFwd[i]);
        case 9:
            return reinterpret_cast<const void*>(kFftInv[i]);
        case 10:
            return reinterpret_cast<const void*>(kMedianSize[i]);
        case 11:
            return reinterpret_cast<const void*>(kMedian[i]);
        case 12:
            return reinterpret_cast<const void*>(kMedianInPlace[i]);
        default:
            return nullptr;
    }
}
#endif

}  // extern "C"
