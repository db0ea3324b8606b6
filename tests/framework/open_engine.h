// The engine's protected state, for the tests that set it up by hand or inspect it. A class
// derived from the engine may make those members public: Open<E> is an engine of class E that
// does (a test's own effect engine, run without an upstream source, or the base of the test
// engines). A pointer to a member named through it, &Open<>::m_rate, has the type
// double CBaseFilter::*, so it reaches the same member of any engine, one that a COM object
// embeds included: e.*&Open<>::m_rate.
#pragma once

#include "platform/win32.h"

#include "framework/BaseFilter.h"

namespace corvane::test {

template <class E = CBaseFilter>
class Open : public E {
public:
    using E::E;

    using CBaseFilter::m_bEnabled;
    using CBaseFilter::m_bExplicitInterval;
    using CBaseFilter::m_bFirstBlock;
    using CBaseFilter::m_bFollowsRate;
    using CBaseFilter::m_bLengthChanges;
    using CBaseFilter::m_blockStart;
    using CBaseFilter::m_bPerChannel;
    using CBaseFilter::m_bUseHelper;
    using CBaseFilter::m_channelLayout;
    using CBaseFilter::m_clsid;
    using CBaseFilter::m_effectDuration;
    using CBaseFilter::m_effectStart;
    using CBaseFilter::m_frameOffset;
    using CBaseFilter::m_iid;
    using CBaseFilter::m_inCount;
    using CBaseFilter::m_lengthBytes;
    using CBaseFilter::m_level;
    using CBaseFilter::m_lSmooth;
    using CBaseFilter::m_lSmoothBytes;
    using CBaseFilter::m_lSmoothScaled;
    using CBaseFilter::m_lSmoothScaledBytes;
    using CBaseFilter::m_lSmoothTime;
    using CBaseFilter::m_outCount;
    using CBaseFilter::m_pFormat;
    using CBaseFilter::m_pHelper;
    using CBaseFilter::m_position;
    using CBaseFilter::m_pParams;
    using CBaseFilter::m_pSource;
    using CBaseFilter::m_pZones;
    using CBaseFilter::m_rate;
    using CBaseFilter::m_rSmooth;
    using CBaseFilter::m_rSmoothBytes;
    using CBaseFilter::m_rSmoothScaled;
    using CBaseFilter::m_rSmoothScaledBytes;
    using CBaseFilter::m_rSmoothTime;
    using CBaseFilter::m_smoothEnabled;
    using CBaseFilter::m_strength;
    using CBaseFilter::m_tempPath;
    using CBaseFilter::m_wfx;
    using CBaseFilter::TakeBlockFailure;
};

}  // namespace corvane::test
