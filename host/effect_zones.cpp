#include "host/effect_zones.h"

#include "host/effect_params.h"

#include <cmath>
#include <limits>

namespace corvane::host {

namespace {

bool TimeValid(double start, double duration) {
    return std::isfinite(start) && std::isfinite(duration) && start >= 0.0 && duration >= 0.0;
}

}  // namespace

CEffectZones::Zone* CEffectZones::FindLocked(LONG id) {
    for (Zone& z : zones_) {
        if (z.id == id) return &z;
    }
    return nullptr;
}

HRESULT CEffectZones::Add(const ZoneValues& zone, LONG* id) {
    if (!TimeValid(zone.start, zone.duration)) return E_INVALIDARG;
    return CallGuarded([&]() -> HRESULT {
        std::lock_guard<std::mutex> g(lock_);
        if (nextId_ == std::numeric_limits<LONG>::max()) return E_OUTOFMEMORY;
        zones_.push_back(Zone{nextId_, zone});
        if (id) *id = nextId_;
        ++nextId_;
        return S_OK;
    });
}

STDMETHODIMP CEffectZones::get_Enabled(VARIANT_BOOL* pVal) {
    if (!pVal) return E_POINTER;
    std::lock_guard<std::mutex> g(lock_);
    *pVal = enabled_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP CEffectZones::put_Enabled(VARIANT_BOOL newVal) {
    std::lock_guard<std::mutex> g(lock_);
    enabled_ = newVal != VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP CEffectZones::GetZoneEnabled(LONG Id, VARIANT_BOOL* pVal) {
    if (!pVal) return E_POINTER;
    std::lock_guard<std::mutex> g(lock_);
    Zone* z = FindLocked(Id);
    if (!z) return E_INVALIDARG;
    *pVal = z->values.enabled ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP CEffectZones::PutZoneEnabled(LONG Id, VARIANT_BOOL newVal) {
    std::lock_guard<std::mutex> g(lock_);
    Zone* z = FindLocked(Id);
    if (!z) return E_INVALIDARG;
    z->values.enabled = newVal != VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP CEffectZones::GetCount(LONG* pCount) {
    if (!pCount) return E_POINTER;
    std::lock_guard<std::mutex> g(lock_);
    *pCount = static_cast<LONG>(zones_.size());
    return S_OK;
}

STDMETHODIMP CEffectZones::GetZoneId(LONG Index, LONG* pId) {
    if (!pId) return E_POINTER;
    std::lock_guard<std::mutex> g(lock_);
    if (Index < 0 || static_cast<size_t>(Index) >= zones_.size()) return DISP_E_BADINDEX;
    *pId = zones_[static_cast<size_t>(Index)].id;
    return S_OK;
}

STDMETHODIMP CEffectZones::GetZoneTime(LONG Id, double* pStart, double* pDuration) {
    if (!pStart || !pDuration) return E_POINTER;
    std::lock_guard<std::mutex> g(lock_);
    Zone* z = FindLocked(Id);
    if (!z) return E_INVALIDARG;
    *pStart = z->values.start;
    *pDuration = z->values.duration;
    return S_OK;
}

STDMETHODIMP CEffectZones::PutZoneTime(LONG Id, double Start, double Duration) {
    if (!TimeValid(Start, Duration)) return E_INVALIDARG;
    std::lock_guard<std::mutex> g(lock_);
    Zone* z = FindLocked(Id);
    if (!z) return E_INVALIDARG;
    z->values.start = Start;
    z->values.duration = Duration;
    return S_OK;
}

STDMETHODIMP CEffectZones::GetZoneParams(LONG Id, IUnknown** ppParams) {
    if (!ppParams) return E_POINTER;
    *ppParams = nullptr;
    return CallGuarded([&]() -> HRESULT {
        ParamStore copy;
        {
            std::lock_guard<std::mutex> g(lock_);
            Zone* z = FindLocked(Id);
            if (!z) return E_INVALIDARG;
            copy = z->values.params;
        }
        return CreateObject<CEffectParams>(ppParams, std::move(copy));
    });
}

STDMETHODIMP CEffectZones::AddZone(double Start, double Duration, VARIANT_BOOL Enabled,
                                   IUnknown* pParams, LONG* pId) {
    return CallGuarded([&]() -> HRESULT {
        ZoneValues v;
        v.start = Start;
        v.duration = Duration;
        v.enabled = Enabled != VARIANT_FALSE;
        if (pParams) {
            HRESULT hr = GetParamStore(pParams, &v.params);
            if (FAILED(hr)) return hr;
        }
        return Add(v, pId);
    });
}

STDMETHODIMP CEffectZones::RemoveZone(LONG Id) {
    std::lock_guard<std::mutex> g(lock_);
    for (auto it = zones_.begin(); it != zones_.end(); ++it) {
        if (it->id == Id) {
            zones_.erase(it);
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

STDMETHODIMP CEffectZones::Clear() {
    std::lock_guard<std::mutex> g(lock_);
    zones_.clear();
    return S_OK;
}

HRESULT CreateEffectZones(IEffectZones** out) {
    return CreateObject<CEffectZones>(out);
}

}  // namespace corvane::host
