// VARIANT life cycle: init, clear, deep copy.
#include "platform/win32.h"

namespace {

// Types that a VARIANT may hold by value, in an array, or by reference.
bool IsScalarType(VARTYPE t) {
    switch (t) {
        case VT_I2:
        case VT_I4:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_ERROR:
        case VT_BOOL:
        case VT_UNKNOWN:
        case VT_DECIMAL:
        case VT_I1:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_I8:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
            return true;
        default:
            return false;
    }
}

bool IsValidVariantType(VARTYPE vt) {
    const VARTYPE base = vt & VT_TYPEMASK;
    const VARTYPE flags = vt & ~VT_TYPEMASK;
    if (flags & ~(VT_ARRAY | VT_BYREF)) return false;
    if (flags == 0) return base == VT_EMPTY || base == VT_NULL || IsScalarType(base);
    return IsScalarType(base) || base == VT_VARIANT;  // arrays and references
}

}  // namespace

void VariantInit(VARIANTARG* v) {
    if (v) v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* v) {
    if (!v) return E_INVALIDARG;
    if (!IsValidVariantType(v->vt)) return DISP_E_BADVARTYPE;
    if (!(v->vt & VT_BYREF)) {
        if (v->vt & VT_ARRAY) {
            HRESULT hr = SafeArrayDestroy(v->parray);
            if (FAILED(hr)) return hr;
        } else if (v->vt == VT_BSTR) {
            SysFreeString(v->bstrVal);
        } else if (v->vt == VT_UNKNOWN || v->vt == VT_DISPATCH) {
            // IDispatch derives from IUnknown: Release sits in the same slot.
            if (v->punkVal) v->punkVal->Release();
        }
    }
    v->vt = VT_EMPTY;
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src) {
    if (!dest || !src) return E_INVALIDARG;
    if (dest == src) return S_OK;
    if (!IsValidVariantType(src->vt)) return DISP_E_BADVARTYPE;
    HRESULT hr = VariantClear(dest);
    if (FAILED(hr)) return hr;
    const VARTYPE vt = src->vt;
    if (!(vt & VT_BYREF) && (vt & VT_ARRAY)) {
        SAFEARRAY* copy = nullptr;
        hr = SafeArrayCopy(src->parray, &copy);
        if (FAILED(hr)) return hr;
        dest->parray = copy;
    } else if (vt == VT_BSTR) {
        BSTR copy = nullptr;
        if (src->bstrVal) {
            copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(src->bstrVal),
                                         SysStringByteLen(src->bstrVal));
            if (!copy) return E_OUTOFMEMORY;
        }
        dest->bstrVal = copy;
    } else {
        std::memcpy(static_cast<void*>(dest), static_cast<const void*>(src), sizeof(VARIANT));
        if ((vt == VT_UNKNOWN || vt == VT_DISPATCH) && dest->punkVal) dest->punkVal->AddRef();
        return S_OK;
    }
    dest->vt = vt;
    return S_OK;
}
