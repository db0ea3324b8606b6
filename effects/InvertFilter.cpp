#include "effects/InvertFilter.h"

#include "dsp/effect_loops.h"

CInvertFilter::~CInvertFilter() = default;

void CInvertFilter::ProcessAudio(IUnknown* data, LONG totalBytes, LONG offsetBytes, LONG count,
                                 LONG, IAudioData** out) {
    int16_t* samples = OpenBlock(data, totalBytes, offsetBytes, count, out);
    if (samples != nullptr) dspNegateInPlace16s(samples, count);
}
