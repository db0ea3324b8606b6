#include "host/effect_params.h"

#include <limits>
#include <string>

namespace corvane::host {

namespace {

OleStringView NameOf(BSTR name) {
    return name ? OleStringView(name, SysStringLen(name)) : OleStringView();
}

bool KeyValid(BSTR name, LONG index) {
    return !NameOf(name).empty() && index >= kGlobalIndex;
}

// The ...Def getters: a missing key answers the default; every other outcome stays as it was.
template <class T>
HRESULT DefaultWhenMissing(HRESULT hr, T def, T* out) {
    if (hr != kParamNotFound) return hr;
    *out = def;
    return S_OK;
}

}  // namespace

void ParamReads::Note(const OleString& path, LONG index, Asked asked, bool typeMismatch) {
    std::lock_guard<std::mutex> g(lock_);
    Use& use = uses_[std::make_pair(path, index)];
    if (!typeMismatch) {
        use.read = true;
    } else if (!use.mismatched) {
        use.mismatched = true;
        use.mismatchedAs = asked;
    }
}

ParamReads::Use ParamReads::Find(OleStringView path, LONG index) const {
    std::lock_guard<std::mutex> g(lock_);
    auto it = uses_.find(std::make_pair(OleString(path), index));
    return it == uses_.end() ? Use() : it->second;
}

template <class F>
HRESULT CEffectParams::WithValue(BSTR Name, LONG Index, ParamReads::Asked asked, F&& f) const {
    if (!KeyValid(Name, Index)) return E_INVALIDARG;
    return CallGuarded([&]() -> HRESULT {
        std::lock_guard<std::mutex> g(lock_);
        LONG served = Index;
        const ParamValue* v = store_.Find(NameOf(Name), Index, &served);
        if (!v) return kParamNotFound;
        const HRESULT hr = f(*v);
        reads_->Note(prefix_ + OleString(NameOf(Name)), served, asked, hr == kParamTypeMismatch);
        return hr;
    });
}

template <class T>
HRESULT CEffectParams::GetConverted(BSTR Name, LONG Index, ParamReads::Asked asked, T* pVal,
                                    bool (*convert)(const ParamValue&, T*)) const {
    if (!pVal) return E_POINTER;
    return WithValue(Name, Index, asked, [&](const ParamValue& v) -> HRESULT {
        return convert(v, pVal) ? S_OK : kParamTypeMismatch;
    });
}

CEffectParams* CEffectParams::NewSharing(ParamStore store, OleString prefix) {
    CEffectParams* p = NewParams(std::move(store));
    p->reads_ = reads_;
    p->prefix_ = std::move(prefix);
    return p;
}

HRESULT CEffectParams::Store(BSTR Name, LONG Index, ParamValue v) {
    if (!KeyValid(Name, Index)) return E_INVALIDARG;
    return CallGuarded([&]() -> HRESULT {
        std::lock_guard<std::mutex> g(lock_);
        store_.Set(NameOf(Name), Index, std::move(v));
        return S_OK;
    });
}

ParamStore CEffectParams::Snapshot() const {
    std::lock_guard<std::mutex> g(lock_);
    return store_;
}

void CEffectParams::Replace(ParamStore store) {
    std::lock_guard<std::mutex> g(lock_);
    store_ = std::move(store);
}

CEffectParams* CEffectParams::NewParams(ParamStore store) {
    return new CEffectParams(std::move(store));
}

STDMETHODIMP CEffectParams::Clear() {
    std::lock_guard<std::mutex> g(lock_);
    store_.Clear();
    return S_OK;
}

STDMETHODIMP CEffectParams::Remove(BSTR Name) {
    if (NameOf(Name).empty()) return E_INVALIDARG;
    return CallGuarded([&]() -> HRESULT {
        std::lock_guard<std::mutex> g(lock_);
        return store_.RemoveName(NameOf(Name)) ? S_OK : S_FALSE;
    });
}

STDMETHODIMP CEffectParams::Exists(BSTR Name, LONG Index, VARIANT_BOOL* pExists) {
    if (!pExists) return E_POINTER;
    HRESULT hr =
        WithValue(Name, Index, ParamReads::Asked::Presence, [](const ParamValue&) { return S_OK; });
    if (hr == kParamNotFound) {
        *pExists = VARIANT_FALSE;
        return S_OK;
    }
    if (SUCCEEDED(hr)) *pExists = VARIANT_TRUE;
    return hr;
}

STDMETHODIMP CEffectParams::GetNameCount(LONG* pCount) {
    if (!pCount) return E_POINTER;
    return CallGuarded([&]() -> HRESULT {
        std::lock_guard<std::mutex> g(lock_);
        *pCount = static_cast<LONG>(store_.Names().size());
        return S_OK;
    });
}

STDMETHODIMP CEffectParams::GetName(LONG Position, BSTR* pName) {
    if (!pName) return E_POINTER;
    return CallGuarded([&]() -> HRESULT {
        std::lock_guard<std::mutex> g(lock_);
        std::vector<OleString> names = store_.Names();
        if (Position < 0 || static_cast<size_t>(Position) >= names.size()) return kParamBadIndex;
        const OleString& n = names[static_cast<size_t>(Position)];
        BSTR b = SysAllocStringLen(n.data(), static_cast<UINT>(n.size()));
        if (!b) return E_OUTOFMEMORY;
        *pName = b;
        return S_OK;
    });
}

STDMETHODIMP CEffectParams::Duplicate(LONG Mode, IEffectParams** ppCopy) {
    if (!ppCopy) return E_POINTER;
    *ppCopy = nullptr;
    if (Mode != 2) return E_INVALIDARG;
    return CallGuarded([&]() -> HRESULT {
        CEffectParams* copy = NewSharing(Snapshot(), prefix_);
        *ppCopy = copy;
        return S_OK;
    });
}

STDMETHODIMP CEffectParams::GetCount(BSTR Name, LONG* pCount) {
    if (!pCount) return E_POINTER;
    return WithValue(Name, kGlobalIndex, ParamReads::Asked::List,
                     [&](const ParamValue& v) -> HRESULT {
                         const auto* list = std::get_if<std::vector<ParamStore>>(&v);
                         if (!list) return kParamTypeMismatch;
                         *pCount = static_cast<LONG>(list->size());
                         return S_OK;
                     });
}

STDMETHODIMP CEffectParams::AddZone(BSTR Name, IEffectParams* pEntry) {
    if (!pEntry) return E_POINTER;
    if (NameOf(Name).empty()) return E_INVALIDARG;
    return CallGuarded([&]() -> HRESULT {
        // The entry's values are copied before this object is locked: the entry may be this
        // object itself, and two objects are never locked at once.
        ParamStore entry;
        HRESULT hr = GetParamStore(pEntry, &entry);
        if (FAILED(hr)) return hr;
        std::lock_guard<std::mutex> g(lock_);
        const ParamValue* existing = store_.Find(NameOf(Name), kGlobalIndex);
        if (existing && !std::holds_alternative<std::vector<ParamStore>>(*existing)) {
            return kParamTypeMismatch;
        }
        store_.AddEntry(NameOf(Name)) = std::move(entry);
        return S_OK;
    });
}

STDMETHODIMP CEffectParams::SetBool(BSTR Name, LONG Index, VARIANT_BOOL Value) {
    return Store(Name, Index, ParamValue(std::in_place_type<bool>, Value != VARIANT_FALSE));
}

STDMETHODIMP CEffectParams::SetLong(BSTR Name, LONG Index, LONG Value) {
    return Store(Name, Index, ParamValue(std::in_place_type<int32_t>, Value));
}

STDMETHODIMP CEffectParams::SetULong(BSTR Name, LONG Index, ULONG Value) {
    return Store(Name, Index, ParamValue(std::in_place_type<uint32_t>, Value));
}

STDMETHODIMP CEffectParams::SetDouble(BSTR Name, LONG Index, double Value) {
    return Store(Name, Index, ParamValue(std::in_place_type<double>, Value));
}

STDMETHODIMP CEffectParams::SetString(BSTR Name, LONG Index, BSTR Value) {
    if (!KeyValid(Name, Index)) return E_INVALIDARG;
    return CallGuarded([&]() -> HRESULT {
        return Store(Name, Index, ParamValue(std::in_place_type<OleString>, NameOf(Value)));
    });
}

STDMETHODIMP CEffectParams::SetStream(BSTR Name, LONG Index, const BYTE* pData, ULONG Bytes) {
    if (Bytes > 0 && !pData) return E_POINTER;
    if (!KeyValid(Name, Index)) return E_INVALIDARG;
    return CallGuarded([&]() -> HRESULT {
        return Store(Name, Index, ParamValue(std::in_place_type<ParamBytes>, pData, pData + Bytes));
    });
}

STDMETHODIMP CEffectParams::GetBool(BSTR Name, LONG Index, VARIANT_BOOL* pVal) {
    if (!pVal) return E_POINTER;
    return WithValue(Name, Index, ParamReads::Asked::Bool, [&](const ParamValue& v) -> HRESULT {
        const bool* b = std::get_if<bool>(&v);
        if (!b) return kParamTypeMismatch;
        *pVal = *b ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    });
}

STDMETHODIMP CEffectParams::GetLongDef(BSTR Name, LONG Index, LONG Default, LONG* pVal) {
    if (!pVal) return E_POINTER;
    return DefaultWhenMissing(GetLong(Name, Index, pVal), Default, pVal);
}

STDMETHODIMP CEffectParams::GetLong(BSTR Name, LONG Index, LONG* pVal) {
    return GetConverted(Name, Index, ParamReads::Asked::Integer, pVal, ConvertToLong);
}

STDMETHODIMP CEffectParams::GetULong(BSTR Name, LONG Index, ULONG* pVal) {
    return GetConverted(Name, Index, ParamReads::Asked::Integer, pVal, ConvertToULong);
}

STDMETHODIMP CEffectParams::GetDoubleDef(BSTR Name, LONG Index, double Default, double* pVal) {
    if (!pVal) return E_POINTER;
    return DefaultWhenMissing(GetDouble(Name, Index, pVal), Default, pVal);
}

STDMETHODIMP CEffectParams::GetDouble(BSTR Name, LONG Index, double* pVal) {
    return GetConverted(Name, Index, ParamReads::Asked::Number, pVal, ConvertToDouble);
}

STDMETHODIMP CEffectParams::GetString(BSTR Name, LONG Index, BSTR* pVal) {
    if (!pVal) return E_POINTER;
    return WithValue(Name, Index, ParamReads::Asked::Text, [&](const ParamValue& v) -> HRESULT {
        const auto* s = std::get_if<OleString>(&v);
        if (!s) return kParamTypeMismatch;
        BSTR b = SysAllocStringLen(s->data(), static_cast<UINT>(s->size()));
        if (!b) return E_OUTOFMEMORY;
        *pVal = b;
        return S_OK;
    });
}

STDMETHODIMP CEffectParams::GetZone(BSTR Name, LONG Index, LONG Mode, IEffectParams** ppEntry) {
    if (!ppEntry) return E_POINTER;
    *ppEntry = nullptr;
    if (Mode != 1) return E_INVALIDARG;
    ParamStore entry;
    HRESULT hr =
        WithValue(Name, kGlobalIndex, ParamReads::Asked::List, [&](const ParamValue& v) -> HRESULT {
            const auto* list = std::get_if<std::vector<ParamStore>>(&v);
            if (!list) return kParamTypeMismatch;
            if (Index < 0 || static_cast<size_t>(Index) >= list->size()) return kParamBadIndex;
            entry = (*list)[static_cast<size_t>(Index)];
            return S_OK;
        });
    if (FAILED(hr)) return hr;
    return CallGuarded([&]() -> HRESULT {
        // The entry's keys are noted as NAME[INDEX].KEY in the log of this object.
        OleString prefix = prefix_ + OleString(NameOf(Name)) + OLESTR("[") +
                           Utf8ToOle(std::to_string(Index)) + OLESTR("].");
        *ppEntry = NewSharing(std::move(entry), std::move(prefix));
        return S_OK;
    });
}

STDMETHODIMP CEffectParams::GetStream(BSTR Name, LONG Index, LONG Mode, IStream** ppStream) {
    if (!ppStream) return E_POINTER;
    *ppStream = nullptr;
    if (Mode != 1) return E_INVALIDARG;
    ParamBytes bytes;
    HRESULT hr =
        WithValue(Name, Index, ParamReads::Asked::Array, [&](const ParamValue& v) -> HRESULT {
            const auto* b = std::get_if<ParamBytes>(&v);
            if (!b) return kParamTypeMismatch;
            if (b->size() > std::numeric_limits<ULONG>::max()) return E_OUTOFMEMORY;
            bytes = *b;
            return S_OK;
        });
    if (FAILED(hr)) return hr;
    IStream* s = nullptr;
    hr = CreateStreamOnHGlobal(nullptr, TRUE, &s);
    if (FAILED(hr)) return hr;
    ULONG written = 0;
    if (!bytes.empty()) hr = s->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    if (SUCCEEDED(hr) && written != bytes.size()) hr = STG_E_MEDIUMFULL;
    LARGE_INTEGER zero{};
    if (SUCCEEDED(hr)) hr = s->Seek(zero, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) {
        s->Release();
        return hr;
    }
    *ppStream = s;
    return S_OK;
}

HRESULT CreateEffectParams(const ParamStore& store, IEffectParams** out) {
    return CreateObject<CEffectParams>(out, store);
}

HRESULT GetParamStore(IUnknown* params, ParamStore* out) {
    if (!params || !out) return E_POINTER;
    IEffectParams* p = nullptr;
    if (FAILED(params->QueryInterface(IID_IEffectParams, reinterpret_cast<void**>(&p))) || !p) {
        return E_NOINTERFACE;
    }
    auto* impl = dynamic_cast<CEffectParams*>(p);
    HRESULT hr = E_INVALIDARG;
    if (impl) {
        hr = CallGuarded([&]() -> HRESULT {
            *out = impl->Snapshot();
            return S_OK;
        });
    }
    p->Release();
    return hr;
}

HRESULT GetParamReads(IUnknown* params, std::shared_ptr<const ParamReads>* out) {
    if (!params || !out) return E_POINTER;
    IEffectParams* p = nullptr;
    if (FAILED(params->QueryInterface(IID_IEffectParams, reinterpret_cast<void**>(&p))) || !p) {
        return E_NOINTERFACE;
    }
    auto* impl = dynamic_cast<CEffectParams*>(p);
    if (impl) *out = impl->Reads();
    p->Release();
    return impl ? S_OK : E_INVALIDARG;
}

}  // namespace corvane::host
