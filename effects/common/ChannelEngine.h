// The engine of an effect that runs one channel filter per channel through the host's buffering
// object and restarts them on a seek: the band, reverb, delay, flanger, vibrato, wah-wah and
// silence effects. Channel is the effect's channel filter; it provides RestartEffect(), which sets
// the restart flag and brings the effect's running state back to its start. Also the parameter read
// that their channel filters share.
#pragma once

#include "platform/win32.h"

#include "framework/BaseFilter.h"

#include <limits>

// Reads key (index -1) from the engine's parameters into *v: true when it could be read and lies
// in lo .. hi (NaN never does); *v is left alone otherwise.
inline bool ReadParamIn(const CBaseFilter* owner, LPCOLESTR key, double lo, double hi, double* v) {
    double value = 0.0;
    if (FAILED(owner->GetParamDouble(key, &value)) || !(value >= lo && value <= hi)) return false;
    *v = value;
    return true;
}

// ReadParamIn over every finite value: NaN and the infinities leave *v alone.
inline bool ReadFiniteParam(const CBaseFilter* owner, LPCOLESTR key, double* v) {
    return ReadParamIn(owner, key, -std::numeric_limits<double>::max(),
                       std::numeric_limits<double>::max(), v);
}

template <class Channel>
class CChannelEngine : public CBaseFilter {
public:
    static constexpr EngineTraits kTraits = {/*usesHelper*/ true, /*perChannel*/ true,
                                             /*lengthChanges*/ false, /*followsRate*/ false};

    using CBaseFilter::CBaseFilter;

    CBaseChannelFilter* CreateChannelFilter() override { return new Channel(this); }
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
        for (CBaseChannelFilter* f : m_channels) {
            if (f != nullptr) static_cast<Channel*>(f)->RestartEffect();
        }
    }
};
