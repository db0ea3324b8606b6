// The invert effect: every 16-bit sample of the effect interval becomes its negative (phase
// inversion), -32768 becoming 32767. No parameters of its own.
#pragma once

#include "platform/win32.h"

#include "effects/common/WholeBlock.h"

#include <cstdint>

class CInvertFilter : public CWholeBlockFilter {
public:
    using CWholeBlockFilter::CWholeBlockFilter;
    ~CInvertFilter() override;

    void ProcessAudio(IUnknown* data, LONG totalBytes, LONG offsetBytes, LONG count, LONG last,
                      IAudioData** out) override;
};
