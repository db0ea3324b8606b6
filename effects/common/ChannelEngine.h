// The engine of an effect that runs one channel filter per channel through the host's buffering
// object and restarts them on a seek: the band, reverb, delay, flanger, vibrato, wah-wah and
// silence effects. Channel is the effect's channel filter; it provides RestartEffect(), which sets
// the restart flag and brings the effect's running state back to its start. BlockValues are what
// its filters compute alike for a block (SharedBlockValues.h); a filter that takes them is built
// from this engine's own type. Also the parameter reads that their channel filters share.
#pragma once

#include "platform/win32.h"

#include "effects/common/ParamRead.h"
#include "effects/common/SharedBlockValues.h"
#include "framework/BaseFilter.h"

#include <memory>

template <class Channel, class BlockValues = corvane::NoBlockValues>
class CChannelEngine : public CBaseFilter {
public:
    static constexpr EngineTraits kTraits = {/*usesHelper*/ true, /*perChannel*/ true,
                                             /*lengthChanges*/ false, /*followsRate*/ false};

    using CBaseFilter::CBaseFilter;

    std::unique_ptr<CBaseChannelFilter> CreateChannelFilter() override {
        return std::make_unique<Channel>(this);
    }
    HRESULT OnReset() override {
        RestartChannels();
        return S_OK;
    }
    HRESULT OnSeek() override {
        RestartChannels();
        return S_OK;
    }

    // The values of the current block that the channel filters make for one another, written by
    // whichever comes first. A filter takes its share when it is built, from the engine as
    // non-const; afterwards it holds its owner as const like every channel filter.
    BlockValues& SharedValues() { return m_blockValues; }

private:
    void RestartChannels() {
        // Every filter in the list came from CreateChannelFilter above.
        for (size_t i = 0; i < ChannelFilterCount(); ++i) {
            if (CBaseChannelFilter* f = ChannelFilter(i)) static_cast<Channel*>(f)->RestartEffect();
        }
    }

    BlockValues m_blockValues;
};
