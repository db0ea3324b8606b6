// Error objects and the per-thread error slot.
#include <mutex>

#include "platform/unknown_impl.h"
#include "platform/win32.h"

namespace {

// One object answers IErrorInfo (read) and ICreateErrorInfo (write); it is shared between
// threads only through explicit hand-over, but locks anyway so that misuse stays harmless.
class ErrorObject final : public corvane::UnknownImpl<IErrorInfo, ICreateErrorInfo> {
public:
    // IErrorInfo.
    STDMETHODIMP GetGUID(GUID* guid) override {
        if (!guid) return E_INVALIDARG;
        std::lock_guard<std::mutex> lock(mutex_);
        *guid = guid_;
        return S_OK;
    }
    STDMETHODIMP GetSource(BSTR* out) override { return Get(source_, out); }
    STDMETHODIMP GetDescription(BSTR* out) override { return Get(description_, out); }
    STDMETHODIMP GetHelpFile(BSTR* out) override { return Get(helpFile_, out); }
    STDMETHODIMP GetHelpContext(DWORD* context) override {
        if (!context) return E_INVALIDARG;
        std::lock_guard<std::mutex> lock(mutex_);
        *context = helpContext_;
        return S_OK;
    }

    // ICreateErrorInfo.
    STDMETHODIMP SetGUID(REFGUID guid) override {
        std::lock_guard<std::mutex> lock(mutex_);
        guid_ = guid;
        return S_OK;
    }
    STDMETHODIMP SetSource(LPOLESTR s) override { return Set(source_, s); }
    STDMETHODIMP SetDescription(LPOLESTR s) override { return Set(description_, s); }
    STDMETHODIMP SetHelpFile(LPOLESTR s) override { return Set(helpFile_, s); }
    STDMETHODIMP SetHelpContext(DWORD context) override {
        std::lock_guard<std::mutex> lock(mutex_);
        helpContext_ = context;
        return S_OK;
    }

private:
    ~ErrorObject() {
        SysFreeString(source_);
        SysFreeString(description_);
        SysFreeString(helpFile_);
    }

    HRESULT Get(BSTR field, BSTR* out) {
        if (!out) return E_INVALIDARG;
        std::lock_guard<std::mutex> lock(mutex_);
        *out = field ? SysAllocStringLen(field, SysStringLen(field)) : nullptr;
        return (field && !*out) ? E_OUTOFMEMORY : S_OK;
    }
    HRESULT Set(BSTR& field, LPCOLESTR s) {
        BSTR copy = SysAllocString(s);
        if (s && !copy) return E_OUTOFMEMORY;
        std::lock_guard<std::mutex> lock(mutex_);
        SysFreeString(field);
        field = copy;
        return S_OK;
    }

    std::mutex mutex_;
    GUID guid_ = GUID_NULL;
    BSTR source_ = nullptr;
    BSTR description_ = nullptr;
    BSTR helpFile_ = nullptr;
    DWORD helpContext_ = 0;
};

// The thread's error object; released when the thread ends.
struct ErrorSlot {
    IErrorInfo* info = nullptr;
    ~ErrorSlot() {
        if (info) info->Release();
    }
};
thread_local ErrorSlot t_errorSlot;

}  // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
    if (!pperrinfo) return E_INVALIDARG;
    *pperrinfo = nullptr;
    auto* object = new (std::nothrow) ErrorObject;
    if (!object) return E_OUTOFMEMORY;
    *pperrinfo = object;
    return S_OK;
}

HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo) {
    if (dwReserved != 0) return E_INVALIDARG;
    if (perrinfo) perrinfo->AddRef();
    IErrorInfo* old = t_errorSlot.info;
    t_errorSlot.info = perrinfo;
    if (old) old->Release();
    return S_OK;
}

HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo) {
    if (!pperrinfo) return E_INVALIDARG;
    *pperrinfo = nullptr;
    if (dwReserved != 0) return E_INVALIDARG;
    *pperrinfo = t_errorSlot.info;
    t_errorSlot.info = nullptr;
    return *pperrinfo ? S_OK : S_FALSE;
}
