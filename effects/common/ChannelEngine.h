// The engine of an effect that runs one channel filter per channel through the host's buffering
// object and restarts them on a seek: the band, reverb, delay, flanger, vibrato, wah-wah and
// silence effects. Channel is the effect's channel filter; it provides RestartEffect(), which sets
// the restart flag and brings the effect's running state back to its start. Also the parameter
// reads that their channel filters share.
#pragma once

#include "platform/win32.h"

#include "effects/common/ParamRead.h"
#include "framework/BaseFilter.h"

#include <memory>

template <class Channel>
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

private:
    void RestartChannels() {
        // Every filter in the list came from CreateChannelFilter above.
        for (size_t i = 0; i < ChannelFilterCount(); ++i) {
            if (CBaseChannelFilter* f = ChannelFilter(i)) static_cast<Channel*>(f)->RestartEffect();
        }
    }
};
