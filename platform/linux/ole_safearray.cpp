// SAFEARRAY: descriptor and data in two blocks; the element VARTYPE sits in the four bytes
// before the descriptor (FADF_HAVEVARTYPE), as on Windows.
#include <climits>
#include <cstdlib>

#include "platform/win32.h"

namespace {

constexpr size_t kPrefix = 16;  // keeps the descriptor 16-byte aligned
constexpr USHORT kNotOwned = FADF_AUTO | FADF_STATIC | FADF_EMBEDDED;
constexpr ULONG kMaxLocks = 65535;

// Bytes per element of a type an array can hold; 0 when it cannot hold it.
ULONG ElementSize(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_UI1:
            return 1;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            return 2;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_ERROR:
            return 4;
        case VT_I8:
        case VT_UI8:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
            return 8;
        case VT_DECIMAL:
            return sizeof(DECIMAL);
        case VT_BSTR:
        case VT_UNKNOWN:
        case VT_DISPATCH:
            return sizeof(void*);
        case VT_VARIANT:
            return sizeof(VARIANT);
        default:
            return 0;
    }
}

USHORT FeaturesOf(VARTYPE vt) {
    switch (vt) {
        case VT_BSTR:
            return FADF_HAVEVARTYPE | FADF_BSTR;
        case VT_UNKNOWN:
            return FADF_HAVEVARTYPE | FADF_UNKNOWN;
        case VT_DISPATCH:
            return FADF_HAVEVARTYPE | FADF_DISPATCH;
        case VT_VARIANT:
            return FADF_HAVEVARTYPE | FADF_VARIANT;
        default:
            return FADF_HAVEVARTYPE;
    }
}

DWORD* VartypeSlot(SAFEARRAY* psa) {
    return reinterpret_cast<DWORD*>(psa) - 1;
}

// Element count of the whole array; false when it overflows.
bool CountElements(UINT cDims, const SAFEARRAYBOUND* bounds, size_t* count) {
    size_t n = 1;
    for (UINT i = 0; i < cDims; ++i)
        if (__builtin_mul_overflow(n, size_t{bounds[i].cElements}, &n)) return false;
    *count = n;
    return true;
}

size_t ElementCount(const SAFEARRAY* psa) {
    size_t n = 0;
    CountElements(psa->cDims, psa->rgsabound, &n);
    return n;
}

// An empty descriptor for cDims dimensions (bounds zeroed, no data).
SAFEARRAY* AllocateDescriptor(UINT cDims) {
    size_t bytes = kPrefix + sizeof(SAFEARRAY) + (cDims - 1) * sizeof(SAFEARRAYBOUND);
    auto* base = static_cast<BYTE*>(std::calloc(1, bytes));
    return base ? reinterpret_cast<SAFEARRAY*>(base + kPrefix) : nullptr;
}

void FreeDescriptor(SAFEARRAY* psa) {
    std::free(reinterpret_cast<BYTE*>(psa) - kPrefix);
}

// Zeroed data for the descriptor's bounds; never a NULL pvData on success, even when empty.
bool AllocateData(SAFEARRAY* psa) {
    size_t count = ElementCount(psa), bytes;
    if (__builtin_mul_overflow(count, size_t{psa->cbElements}, &bytes)) return false;
    psa->pvData = std::calloc(bytes ? bytes : 1, 1);
    return psa->pvData != nullptr;
}

BYTE* Cell(SAFEARRAY* psa, size_t index) {
    return static_cast<BYTE*>(psa->pvData) + index * psa->cbElements;
}

// Frees what the elements own; leaves them zero/empty.
void ReleaseElements(SAFEARRAY* psa) {
    if (!psa->pvData) return;
    const size_t count = ElementCount(psa);
    if (psa->fFeatures & FADF_BSTR) {
        for (size_t i = 0; i < count; ++i) {
            auto* slot = reinterpret_cast<BSTR*>(Cell(psa, i));
            SysFreeString(*slot);
            *slot = nullptr;
        }
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        for (size_t i = 0; i < count; ++i) {
            auto* slot = reinterpret_cast<IUnknown**>(Cell(psa, i));
            if (*slot) (*slot)->Release();
            *slot = nullptr;
        }
    } else if (psa->fFeatures & FADF_VARIANT) {
        for (size_t i = 0; i < count; ++i) VariantClear(reinterpret_cast<VARIANT*>(Cell(psa, i)));
    }
}

// Copies one element from a cell into a cell or caller storage of the same kind.
HRESULT CopyElement(const SAFEARRAY* psa, const void* from, void* to) {
    if (psa->fFeatures & FADF_BSTR) {
        BSTR source = *static_cast<const BSTR*>(from), copy = nullptr;
        if (source) {
            copy =
                SysAllocStringByteLen(reinterpret_cast<LPCSTR>(source), SysStringByteLen(source));
            if (!copy) return E_OUTOFMEMORY;
        }
        *static_cast<BSTR*>(to) = copy;
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        IUnknown* unk = *static_cast<IUnknown* const*>(from);
        if (unk) unk->AddRef();
        *static_cast<IUnknown**>(to) = unk;
    } else if (psa->fFeatures & FADF_VARIANT) {
        VariantInit(static_cast<VARIANT*>(to));
        return VariantCopy(static_cast<VARIANT*>(to), static_cast<const VARIANT*>(from));
    } else {
        std::memcpy(to, from, psa->cbElements);
    }
    return S_OK;
}

// Linear index of an index vector; DISP_E_BADINDEX outside the bounds.
HRESULT LinearIndex(const SAFEARRAY* psa, const LONG* rgIndices, size_t* index) {
    size_t linear = 0, stride = 1;
    for (USHORT i = 0; i < psa->cDims; ++i) {
        const SAFEARRAYBOUND& b = psa->rgsabound[i];
        const int64_t offset = int64_t{rgIndices[i]} - b.lLbound;
        if (offset < 0 || offset >= int64_t{b.cElements}) return DISP_E_BADINDEX;
        linear += static_cast<size_t>(offset) * stride;
        stride *= b.cElements;
    }
    *index = linear;
    return S_OK;
}

HRESULT CheckedCell(SAFEARRAY* psa, LONG* rgIndices, BYTE** cell) {
    if (!psa || !rgIndices) return E_INVALIDARG;
    size_t index;
    HRESULT hr = LinearIndex(psa, rgIndices, &index);
    if (SUCCEEDED(hr)) *cell = Cell(psa, index);
    return hr;
}

// Whether the dimension number (1 = first) exists; *slot is its entry in rgsabound.
HRESULT BoundOf(SAFEARRAY* psa, UINT nDim, const SAFEARRAYBOUND** slot) {
    if (!psa) return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims) return DISP_E_BADINDEX;
    *slot = &psa->rgsabound[psa->cDims - nDim];
    return S_OK;
}

}  // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
    const ULONG size = ElementSize(vt);
    size_t count;
    if (!size || cDims < 1 || cDims > USHRT_MAX || !rgsabound ||
        !CountElements(cDims, rgsabound, &count))
        return nullptr;
    SAFEARRAY* psa = AllocateDescriptor(cDims);
    if (!psa) return nullptr;
    psa->cDims = static_cast<USHORT>(cDims);
    psa->fFeatures = FeaturesOf(vt);
    psa->cbElements = size;
    *VartypeSlot(psa) = vt;
    for (UINT i = 0; i < cDims; ++i) psa->rgsabound[cDims - 1 - i] = rgsabound[i];
    if (!AllocateData(psa)) {
        FreeDescriptor(psa);
        return nullptr;
    }
    return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    SAFEARRAYBOUND bound = {cElements, lLbound};
    return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa) return S_OK;
    if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
    ReleaseElements(psa);
    if (psa->fFeatures & kNotOwned) return S_OK;  // storage belongs to whoever built it
    std::free(psa->pvData);
    FreeDescriptor(psa);
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) {
    return psa ? psa->cDims : 0;
}

UINT SafeArrayGetElemsize(SAFEARRAY* psa) {
    return psa ? psa->cbElements : 0;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    const SAFEARRAYBOUND* b;
    if (!plLbound) return E_INVALIDARG;
    HRESULT hr = BoundOf(psa, nDim, &b);
    if (SUCCEEDED(hr)) *plLbound = b->lLbound;
    return hr;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    const SAFEARRAYBOUND* b;
    if (!plUbound) return E_INVALIDARG;
    HRESULT hr = BoundOf(psa, nDim, &b);
    if (SUCCEEDED(hr))
        *plUbound = static_cast<LONG>(int64_t{b->lLbound} + int64_t{b->cElements} - 1);
    return hr;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (!psa || !pvt) return E_INVALIDARG;
    if (psa->fFeatures & FADF_HAVEVARTYPE)
        *pvt = static_cast<VARTYPE>(*VartypeSlot(psa));
    else if (psa->fFeatures & FADF_BSTR)
        *pvt = VT_BSTR;
    else if (psa->fFeatures & FADF_UNKNOWN)
        *pvt = VT_UNKNOWN;
    else if (psa->fFeatures & FADF_DISPATCH)
        *pvt = VT_DISPATCH;
    else if (psa->fFeatures & FADF_VARIANT)
        *pvt = VT_VARIANT;
    else if (psa->fFeatures & FADF_RECORD)
        *pvt = VT_RECORD;
    else
        return E_INVALIDARG;
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    if (__atomic_add_fetch(&psa->cLocks, 1, __ATOMIC_ACQ_REL) > kMaxLocks) {
        __atomic_sub_fetch(&psa->cLocks, 1, __ATOMIC_ACQ_REL);
        return E_UNEXPECTED;
    }
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    ULONG locks = __atomic_load_n(&psa->cLocks, __ATOMIC_ACQUIRE);
    do {
        if (locks == 0) return E_UNEXPECTED;
    } while (!__atomic_compare_exchange_n(&psa->cLocks, &locks, locks - 1, false, __ATOMIC_ACQ_REL,
                                          __ATOMIC_ACQUIRE));
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (!psa || !ppvData) return E_INVALIDARG;
    HRESULT hr = SafeArrayLock(psa);
    *ppvData = SUCCEEDED(hr) ? psa->pvData : nullptr;
    return hr;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) {
    return SafeArrayUnlock(psa);
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    if (!pv) return E_INVALIDARG;
    BYTE* cell = nullptr;
    HRESULT hr = CheckedCell(psa, rgIndices, &cell);
    if (FAILED(hr)) return hr;
    if (FAILED(hr = SafeArrayLock(psa))) return hr;
    hr = CopyElement(psa, cell, pv);
    SafeArrayUnlock(psa);
    return hr;
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    BYTE* cell = nullptr;
    HRESULT hr = CheckedCell(psa, rgIndices, &cell);
    if (FAILED(hr)) return hr;
    const bool byPointer = psa->fFeatures & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH);
    if (!pv && !byPointer) return E_INVALIDARG;
    if (FAILED(hr = SafeArrayLock(psa))) return hr;
    if (psa->fFeatures & FADF_VARIANT) {
        hr = VariantCopy(reinterpret_cast<VARIANT*>(cell), static_cast<VARIANT*>(pv));
    } else if (byPointer) {
        // Copy first, then drop the old value, so that storing an element onto itself is safe.
        void* fresh = nullptr;
        hr = CopyElement(psa, &pv, &fresh);
        if (SUCCEEDED(hr)) {
            void* old = *reinterpret_cast<void**>(cell);
            *reinterpret_cast<void**>(cell) = fresh;
            if (psa->fFeatures & FADF_BSTR)
                SysFreeString(static_cast<BSTR>(old));
            else if (old)
                static_cast<IUnknown*>(old)->Release();
        }
    } else {
        std::memcpy(cell, pv, psa->cbElements);
    }
    SafeArrayUnlock(psa);
    return hr;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    if (!ppsaOut) return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (!psa) return S_OK;
    SAFEARRAY* copy = AllocateDescriptor(psa->cDims ? psa->cDims : 1);
    if (!copy) return E_OUTOFMEMORY;
    copy->cDims = psa->cDims;
    copy->fFeatures = static_cast<USHORT>(psa->fFeatures & ~kNotOwned);
    copy->cbElements = psa->cbElements;
    *VartypeSlot(copy) = (psa->fFeatures & FADF_HAVEVARTYPE) ? *VartypeSlot(psa) : 0;
    for (USHORT i = 0; i < psa->cDims; ++i) copy->rgsabound[i] = psa->rgsabound[i];
    if (!AllocateData(copy)) {
        FreeDescriptor(copy);
        return E_OUTOFMEMORY;
    }
    HRESULT hr = S_OK;
    if (psa->pvData) {
        const size_t count = ElementCount(psa);
        for (size_t i = 0; i < count && SUCCEEDED(hr); ++i)
            hr = CopyElement(psa, Cell(psa, i), Cell(copy, i));
    }
    if (FAILED(hr)) {
        SafeArrayDestroy(copy);
        return hr;
    }
    *ppsaOut = copy;
    return S_OK;
}
