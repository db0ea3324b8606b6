// A minimal in-process server for the activation tests: DllGetClassObject hands out a class
// factory whose objects implement ITestModuleObject and support aggregation.
#include "tests/platform/testmodule/testmodule.h"

namespace {

LONG g_liveObjects = 0;

class Object final : public ITestModuleObject {
public:
    explicit Object(IUnknown* outer) : inner_(this), controller_(outer ? outer : &inner_) {
        InterlockedIncrement(&g_liveObjects);
    }
    ~Object() { InterlockedDecrement(&g_liveObjects); }

    // The non-delegating unknown that owns the object.
    IUnknown* Inner() { return &inner_; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        return controller_->QueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return controller_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return controller_->Release(); }
    STDMETHODIMP_(ULONG) Magic() override { return kTestModuleMagic; }
    STDMETHODIMP_(IUnknown*) Controller() override { return controller_; }

private:
    struct InnerUnknown : public IUnknown {
        explicit InnerUnknown(Object* o) : owner(o) {}
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
            if (!ppv) return E_POINTER;
            if (IsEqualIID(riid, IID_IUnknown)) {
                *ppv = static_cast<IUnknown*>(this);
            } else if (IsEqualIID(riid, IID_ITestModuleObject)) {
                *ppv = static_cast<ITestModuleObject*>(owner);
            } else {
                *ppv = nullptr;
                return E_NOINTERFACE;
            }
            static_cast<IUnknown*>(*ppv)->AddRef();
            return S_OK;
        }
        STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs); }
        STDMETHODIMP_(ULONG) Release() override {
            LONG n = InterlockedDecrement(&refs);
            if (n == 0) delete owner;
            return n;
        }
        Object* owner;
        LONG refs = 1;
    };

    InnerUnknown inner_;
    IUnknown* controller_;
};

class Factory : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // A static object: the count only keeps COM's rules visible.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
        auto* object = new Object(outer);
        HRESULT hr = object->Inner()->QueryInterface(riid, ppv);
        object->Inner()->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

Factory g_factory;

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID rclsid,
                                                                            REFIID riid,
                                                                            void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_TestModuleObject)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, ppv);
}

extern "C" __attribute__((visibility("default"))) LONG TestModuleLiveObjects() {
    return g_liveObjects;
}
