// Engine of the graph-based noise gate and parametric equaliser effect. Until its own processing is
// built it is the framework's engine: the default channel filter, the class's flags as the class
// table gives them.
#pragma once

#include "platform/win32.h"

#include "framework/BaseFilter.h"

class CAudioFilter : public CBaseFilter {
public:
    using CBaseFilter::CBaseFilter;
};
