// Cached class factory: creation of effect objects, LockServer, and the coupling of its reference
// count with the module's lock count.
#include "server/class_factory.h"

#include <exception>
#include <new>

#include "platform/exceptions.h"
#include "server/module.h"

namespace corvane {

namespace {

class CachedClassFactory final : public IClassFactory {
public:
    explicit CachedClassFactory(const ClassEntry* entry) : entry_(entry) {
        InitializeCriticalSectionAndSpinCount(&countLock_, 0);
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }

    // The cache holds the first reference; every reference beyond it belongs to somebody
    // outside the module and keeps the module locked. The count and the lock change together
    // under countLock_, so DllCanUnloadNow never sees one without the other.
    STDMETHODIMP_(ULONG) AddRef() override {
        EnterCriticalSection(&countLock_);
        LONG n = InterlockedIncrement(&refs_);
        if (n == 2) ModuleLock();
        LeaveCriticalSection(&countLock_);
        return static_cast<ULONG>(n);
    }

    STDMETHODIMP_(ULONG) Release() override {
        EnterCriticalSection(&countLock_);
        LONG n = InterlockedDecrement(&refs_);
        if (n == 1) ModuleUnlock();
        LeaveCriticalSection(&countLock_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (outer != nullptr && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
        // No exception may cross the COM boundary, whatever the class's creation throws.
        try {
            return entry_->createInstance(outer, riid, ppv);
        } catch (...) {
            *ppv = nullptr;
            return HResultFromCurrentException(E_UNEXPECTED);
        }
    }

    // Only a FALSE that matches an earlier TRUE gives a lock back: an unmatched one would take
    // the lock of a live object and let the module be unloaded under it.
    STDMETHODIMP LockServer(BOOL fLock) override {
        if (fLock) {
            InterlockedIncrement(&serverLocks_);
            ModuleLock();
            return S_OK;
        }
        for (;;) {
            LONG held = InterlockedCompareExchange(&serverLocks_, 0, 0);
            if (held <= 0) return S_OK;
            if (InterlockedCompareExchange(&serverLocks_, held - 1, held) == held) break;
        }
        ModuleUnlock();
        return S_OK;
    }

private:
    ~CachedClassFactory() { DeleteCriticalSection(&countLock_); }

    const ClassEntry* entry_;
    LONG refs_ = 0;
    CRITICAL_SECTION countLock_;
    // LockServer(TRUE) calls not yet matched by LockServer(FALSE), over all class objects.
    static LONG serverLocks_;
};

LONG CachedClassFactory::serverLocks_ = 0;

}  // namespace

HRESULT CreateClassObject(const ClassEntry* entry, IUnknown** unknown) {
    *unknown = nullptr;
    auto* factory = new (std::nothrow) CachedClassFactory(entry);
    if (factory == nullptr) return E_OUTOFMEMORY;
    return factory->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(unknown));
}

}  // namespace corvane
