// Engine of the band filter effect. Until its own processing lands, the framework's default channel
// filter stands in: it returns no samples, so every block passes unchanged.
#pragma once

#include "platform/win32.h"

#include "framework/BaseFilter.h"

class CBandFilter : public CBaseFilter {
public:
    static constexpr EngineTraits kTraits = {/*usesHelper*/ true, /*perChannel*/ true,
                                             /*lengthChanges*/ false, /*followsRate*/ false};

    using CBaseFilter::CBaseFilter;
    ~CBandFilter() override;
};
