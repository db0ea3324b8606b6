// Work-buffer size query of the running median. One logic for every slot: it is integer
// arithmetic only, so the baseline build serves them all; slots 4 and 5 are routed to the
// slot-1 body by the dispatch.
#include "corvane/dsp.h"
#include "dsp/median.h"

namespace {

bool medKnownDataType(int dataType) {
    return dataType == 1 || dataType == 7 || dataType == 11 || dataType == 13 || dataType == 19;
}

// The buffer holds the sorted window and the history ring: 2m doubles. Masks whose buffer
// size would not fit the 32-bit answer are refused like masks below 1, and *size is then left
// as it was.
DspStatus medBufferSize(int mask, int dataType, int* size) {
    if (size == nullptr) return dspErrNullPtr;
    int m = 0;
    if (!medWindow(mask, &m)) return dspErrMaskSize;
    if (!medKnownDataType(dataType)) return dspErrDataType;
    *size = 16 * m;
    return (mask & 1) ? dspOk : dspWarnEvenMask;
}

}  // namespace

extern "C" DspStatus DSP_CALL dspMedianGetBufferSize_s0(int mask, int dataType, int* size) {
    return medBufferSize(mask, dataType, size);
}

extern "C" DspStatus DSP_CALL dspMedianGetBufferSize_s1(int mask, int dataType, int* size) {
    return medBufferSize(mask, dataType, size);
}

extern "C" DspStatus DSP_CALL dspMedianGetBufferSize_s2(int mask, int dataType, int* size) {
    return medBufferSize(mask, dataType, size);
}

extern "C" DspStatus DSP_CALL dspMedianGetBufferSize_s3(int mask, int dataType, int* size) {
    return medBufferSize(mask, dataType, size);
}
