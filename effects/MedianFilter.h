// Engine of the median filter effect. Until its own processing lands, the framework's default
// channel filter stands in: it returns no samples, and as the engine may change the sample count,
// the audio of the effect interval is dropped (empty blocks come out meanwhile); the silence that
// pads the buffering object once the upstream source is exhausted then comes out unprocessed.
#pragma once

#include "platform/win32.h"

#include "framework/BaseFilter.h"

class CMedianFilter : public CBaseFilter {
public:
    static constexpr EngineTraits kTraits = {/*usesHelper*/ true, /*perChannel*/ true,
                                             /*lengthChanges*/ true, /*followsRate*/ false};

    using CBaseFilter::CBaseFilter;
    ~CMedianFilter() override;
};
