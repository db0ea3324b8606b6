// The host's zone list: enabled zones with a start, a duration and their own parameters. A zone
// is named by an id that is never its position in the list, so that code mixing the two fails.
#pragma once

#include "platform/win32.h"
#include "corvane/corvane.h"
#include "host/com_object.h"
#include "host/param_store.h"

#include <mutex>
#include <vector>

namespace corvane::host {

// Unknown zone id or list position: E_INVALIDARG / DISP_E_BADINDEX.
struct ZoneValues {
    double start = 0.0;     // ms from the start of the stream, finite, >= 0
    double duration = 0.0;  // ms, finite, >= 0
    bool enabled = true;
    ParamStore params;
};

class CEffectZones : public ComObject<IEffectZones> {
public:
    // The first id handed out. Ids grow by one per zone and are never reused, so the zone at
    // position i has an id of at least kFirstZoneId + i.
    static constexpr LONG kFirstZoneId = 101;

    // Adds a zone from C++ (values checked as in AddZone); the new id, or a failure HRESULT.
    HRESULT Add(const ZoneValues& zone, LONG* id);

    STDMETHODIMP get_Enabled(VARIANT_BOOL* pVal) override;
    STDMETHODIMP put_Enabled(VARIANT_BOOL newVal) override;
    STDMETHODIMP GetZoneEnabled(LONG Id, VARIANT_BOOL* pVal) override;
    STDMETHODIMP PutZoneEnabled(LONG Id, VARIANT_BOOL newVal) override;
    STDMETHODIMP GetCount(LONG* pCount) override;
    STDMETHODIMP GetZoneId(LONG Index, LONG* pId) override;
    STDMETHODIMP GetZoneTime(LONG Id, double* pStart, double* pDuration) override;
    STDMETHODIMP PutZoneTime(LONG Id, double Start, double Duration) override;
    STDMETHODIMP GetZoneParams(LONG Id, IUnknown** ppParams) override;
    STDMETHODIMP AddZone(double Start, double Duration, VARIANT_BOOL Enabled, IUnknown* pParams,
                         LONG* pId) override;
    STDMETHODIMP RemoveZone(LONG Id) override;
    STDMETHODIMP Clear() override;

private:
    struct Zone {
        LONG id;
        ZoneValues values;
    };
    Zone* FindLocked(LONG id);

    std::mutex lock_;
    bool enabled_ = true;
    std::vector<Zone> zones_;
    LONG nextId_ = kFirstZoneId;
};

HRESULT CreateEffectZones(IEffectZones** out);

}  // namespace corvane::host
