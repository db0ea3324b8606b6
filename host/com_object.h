// The one implementation of IUnknown for every host object: a thread-safe reference count, the
// live-object count, and QueryInterface over the object's interface list.
#pragma once

#include "platform/win32.h"
#include "corvane/corvane.h"

#include <new>
#include <utility>

namespace corvane::host {

// Host objects alive in this process (every class of the runtime and everything derived from
// them, the test doubles included). Class objects are static and not counted.
LONG LiveObjectCount();

namespace detail {
void CountObjectCreated();
void CountObjectDestroyed();
}  // namespace detail

// Runs f, turning an exception into an HRESULT: no exception leaves a COM method.
template <class F>
HRESULT Guarded(F&& f) noexcept {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

// Base of a host class implementing the interfaces Itfs (the first one also answers IUnknown).
// Objects start with a reference count of 1, owned by the creator; the last Release deletes the
// object through the virtual destructor, which lives here and not in the interfaces.
template <class... Itfs>
class ComObject : public Itfs... {
public:
    ComObject() noexcept { detail::CountObjectCreated(); }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        IUnknown* found = FindInterface(riid);
        if (!found) return E_NOINTERFACE;
        found->AddRef();
        *ppv = found;
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&refs_));
    }
    STDMETHODIMP_(ULONG) Release() override {
        LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }

    // The object's IUnknown (its first interface). No reference is added.
    IUnknown* Unknown() { return static_cast<First*>(this); }

protected:
    virtual ~ComObject() { detail::CountObjectDestroyed(); }

    // The interface pointer for riid, or nullptr. Classes answering further IIDs (a base
    // interface under its own IID) override this and call it for the rest.
    virtual IUnknown* FindInterface(REFIID riid) {
        if (IsEqualIID(riid, IID_IUnknown)) return Unknown();
        IUnknown* found = nullptr;
        ((found = found ? found
                        : (IsEqualIID(riid, IidOf<Itfs>()) ? static_cast<Itfs*>(this) : nullptr)),
         ...);
        return found;
    }

private:
    template <class T, class...>
    struct Head {
        using type = T;
    };
    using First = typename Head<Itfs...>::type;

    LONG volatile refs_ = 1;
};

// Creates a T with one reference and hands it out as interface I.
template <class T, class I = IUnknown, class... Args>
HRESULT CreateObject(I** out, Args&&... args) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Guarded([&]() -> HRESULT {
        T* obj = new T(std::forward<Args>(args)...);
        HRESULT hr = obj->QueryInterface(IidOf<I>(), reinterpret_cast<void**>(out));
        obj->Release();
        return hr;
    });
}

}  // namespace corvane::host
