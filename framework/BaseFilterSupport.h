// Small tools of the effect engine: an owning interface pointer, key names as BSTRs, the
// parameter getters that tolerate a missing parameter object, and saturating conversions from
// double to integers.
#pragma once

#include "platform/win32.h"

#include "corvane/corvane.h"
#include "framework/exceptions.h"

#include <cmath>
#include <cstdint>
#include <utility>

namespace corvane {

// Holds one reference on a COM object and releases it on destruction, so that no path out of
// an engine operation, an exception included, leaks a host object.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr& other) : m_p(other.m_p) {
        if (m_p) m_p->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(m_p, other.m_p);
        return *this;
    }

    // Takes over a reference the caller owns.
    static ComPtr Attach(T* p) {
        ComPtr r;
        r.m_p = p;
        return r;
    }
    // Adds a reference of its own.
    static ComPtr Share(T* p) {
        if (p) p->AddRef();
        return Attach(p);
    }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    // Releases what is held and hands out the slot for an out-parameter.
    T** Put() {
        Reset();
        return &m_p;
    }
    void Reset() {
        if (m_p) {
            T* p = m_p;
            m_p = nullptr;
            p->Release();
        }
    }
    // Gives the reference to the caller.
    T* Detach() {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }

    // The object queried for U; empty when it does not answer U.
    template <class U>
    ComPtr<U> As() const {
        ComPtr<U> r;
        if (m_p) {
            U* q = nullptr;
            if (SUCCEEDED(m_p->QueryInterface(IidOf<U>(), reinterpret_cast<void**>(&q)))) {
                r = ComPtr<U>::Attach(q);
            }
        }
        return r;
    }

private:
    T* m_p = nullptr;
};

// The object p queried for U (empty when p is null or does not answer U).
template <class U, class T>
ComPtr<U> QueryAs(T* p) {
    return ComPtr<T>::Share(p).template As<U>();
}

// A key name as a BSTR for one getter call. Throws E_OUTOFMEMORY when it cannot be allocated.
class KeyName {
public:
    explicit KeyName(LPCOLESTR name);
    ~KeyName();
    KeyName(const KeyName&) = delete;
    KeyName& operator=(const KeyName&) = delete;
    operator BSTR() const { return m_name; }

private:
    BSTR m_name;
};

// Getters of IEffectParams that accept a null parameter object (they then fail with E_POINTER)
// and write their target only on success. Index -1 is the key's global value.
HRESULT ParamBool(IEffectParams* p, LPCOLESTR key, VARIANT_BOOL* out, LONG index = -1);
HRESULT ParamLong(IEffectParams* p, LPCOLESTR key, LONG* out, LONG index = -1);
HRESULT ParamLongDef(IEffectParams* p, LPCOLESTR key, LONG def, LONG* out, LONG index = -1);
HRESULT ParamULong(IEffectParams* p, LPCOLESTR key, ULONG* out, LONG index = -1);
HRESULT ParamDouble(IEffectParams* p, LPCOLESTR key, double* out, LONG index = -1);
HRESULT ParamDoubleDef(IEffectParams* p, LPCOLESTR key, double def, double* out, LONG index = -1);
// The caller frees *out with SysFreeString.
HRESULT ParamString(IEffectParams* p, LPCOLESTR key, BSTR* out, LONG index = -1);
HRESULT ParamCount(IEffectParams* p, LPCOLESTR key, LONG* out);
// Entry `index` of the list `key` (a new reference in *out).
HRESULT ParamZone(IEffectParams* p, LPCOLESTR key, LONG index, IEffectParams** out);
// The raw bytes of an array value (a new reference in *out).
HRESULT ParamStream(IEffectParams* p, LPCOLESTR key, IStream** out, LONG index = -1);

// Truncation toward zero that saturates at the type's limits and maps NaN to 0, where a plain
// cast would be undefined.
inline int64_t TruncToInt64(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 9223372036854775808.0) return INT64_MAX;
    if (x < -9223372036854775808.0) return INT64_MIN;
    return static_cast<int64_t>(x);
}

inline int32_t TruncToInt32(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 2147483648.0) return INT32_MAX;
    if (x <= -2147483649.0) return INT32_MIN;
    return static_cast<int32_t>(x);
}

// a + b and a - b, held at the type's limits instead of overflowing.
inline int64_t SaturatingAdd(int64_t a, int64_t b) {
    int64_t r;
    if (!__builtin_add_overflow(a, b, &r)) return r;
    return b > 0 ? INT64_MAX : INT64_MIN;
}

inline int64_t SaturatingSub(int64_t a, int64_t b) {
    int64_t r;
    if (!__builtin_sub_overflow(a, b, &r)) return r;
    return b < 0 ? INT64_MAX : INT64_MIN;
}

inline int32_t ClampToInt32(int64_t v) {
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v);
}

}  // namespace corvane
