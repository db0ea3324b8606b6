// Engine of the time stretch effect. Until its own processing is built it is the framework's
// engine: the default channel filter, the class's flags as the class table gives them.
#pragma once

#include "platform/win32.h"

#include "framework/BaseFilter.h"

class CStretchFilter : public CBaseFilter {
public:
    using CBaseFilter::CBaseFilter;
};
