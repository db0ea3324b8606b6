// The engine of an effect that works on the whole interleaved 16-bit block itself, without channel
// filters: the invert, volume, echo, reverse and channel-map effects. They read directly (no
// buffering object) and replace the block loop with their own ProcessAudio.
#pragma once

#include "platform/win32.h"

#include "framework/BaseFilter.h"

#include <cstdint>

class CWholeBlockFilter : public CBaseFilter {
public:
    static constexpr EngineTraits kTraits = {/*usesHelper*/ false, /*perChannel*/ false,
                                             /*lengthChanges*/ false, /*followsRate*/ false};

    using CBaseFilter::CBaseFilter;

    // No channel filters: the effect processes the block itself.
    HRESULT BuildChannelFilters() override;

protected:
    // The samples of one ProcessAudio call: *out receives the block (as IAudioData, a new
    // reference), and the result is its first sample to process, from which `count` samples lie
    // inside the block. NULL when there is nothing to process: a range outside the block or an
    // unusable format (the block then passes unchanged), or a buffer that cannot be had (the
    // failure is recorded, so that the read fails instead of passing the block off as processed).
    int16_t* OpenBlock(IUnknown* data, LONG totalBytes, LONG offsetBytes, LONG count,
                       IAudioData** out);
};
