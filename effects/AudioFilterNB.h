// Engine of the graph-based channel map effect. Until its own processing lands, the framework's
// default channel filter stands in: it returns no samples, so every block passes unchanged.
#pragma once

#include "platform/win32.h"

#include "framework/BaseFilter.h"

class CAudioFilterNB : public CBaseFilter {
public:
    static constexpr EngineTraits kTraits = {/*usesHelper*/ false, /*perChannel*/ false,
                                             /*lengthChanges*/ false, /*followsRate*/ false};

    using CBaseFilter::CBaseFilter;
    ~CAudioFilterNB() override;
};
