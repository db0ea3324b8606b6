// IUnknown written once for objects whose identity is plain: a thread-safe reference count and
// QueryInterface over the list of interfaces the object implements. Objects with more to their
// IUnknown (aggregation, a count coupled with a module lock, references counted on an owner)
// write their own.
#pragma once

#include "platform/iid_of.h"
#include "platform/win32.h"

namespace corvane {

// Base of a class implementing the interfaces Itfs; the first one also answers IUnknown. Objects
// start with a reference count of 1, owned by the creator; the last Release deletes the object
// through the virtual destructor, which lives here and not in the interfaces.
template <class... Itfs>
class UnknownImpl : public Itfs... {
public:
    UnknownImpl() = default;
    UnknownImpl(const UnknownImpl&) = delete;
    UnknownImpl& operator=(const UnknownImpl&) = delete;

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
    virtual ~UnknownImpl() = default;

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

}  // namespace corvane
