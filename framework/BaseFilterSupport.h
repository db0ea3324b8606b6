// Small tools of the effect engine: key names as BSTRs, the parameter getters that tolerate a
// missing parameter object, and saturating conversions from double to integers. The owning
// interface pointer is the project's ComPtr (platform/com_ptr.h).
#pragma once

#include "platform/win32.h"

#include "corvane/corvane.h"
#include "platform/exceptions.h"
#include "platform/com_ptr.h"

#include <cmath>
#include <cstdint>
#include <utility>

namespace corvane {

// A key name as a BSTR for one getter call. Throws E_OUTOFMEMORY when it cannot be allocated.
Bstr KeyName(LPCOLESTR name);

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
