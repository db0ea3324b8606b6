#include "host/class_table.h"

#include "host/audio_block.h"
#include "host/audio_format.h"
#include "host/audio_helper.h"
#include "host/effect_params.h"
#include "host/effect_zones.h"
#include "host/filter_graph_provider.h"
#include "host/media_source.h"

#include <memory>
#include <mutex>

namespace corvane::host {

namespace {

// A class object: lives as long as the class table holds it; not a host object of the
// live-object count, since a registration may outlast any one test or read.
class ClassFactory final : public UnknownImpl<IClassFactory> {
public:
    explicit ClassFactory(ClassCreator create) : create_(std::move(create)) {}

    STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override {
        if (!ppvObject) return E_POINTER;
        *ppvObject = nullptr;
        if (pUnkOuter) return CLASS_E_NOAGGREGATION;
        return CallGuarded([&]() -> HRESULT {
            HRESULT hr = create_(riid, ppvObject);
            if (FAILED(hr)) *ppvObject = nullptr;
            return hr;
        });
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    ~ClassFactory() override = default;
    ClassCreator create_;
};

template <class T>
ClassEntry Entry(const CLSID& clsid) {
    return ClassEntry{clsid, [](REFIID riid, void** ppv) -> HRESULT {
                          T* obj = new T();
                          HRESULT hr = obj->QueryInterface(riid, ppv);
                          obj->Release();
                          return hr;
                      }};
}

std::mutex g_hostLock;
int g_hostNesting = 0;
ClassRegistration* g_hostRegistration = nullptr;

}  // namespace

std::vector<ClassEntry> HostClasses() {
    return {
        Entry<CAudioBlock>(CLSID_AudioBuffer),
        Entry<CAudioFormat>(CLSID_AudioFormat),
        Entry<CAudioHelper>(CLSID_AudioHelper),
        Entry<CFilterGraphProvider>(CLSID_FilterGraphProvider),
        Entry<CWavFileSource>(CLSID_WavFileSource),
        Entry<CSignalSource>(CLSID_SignalSource),
        Entry<CEffectParams>(CLSID_EffectParams),
        Entry<CEffectZones>(CLSID_EffectZones),
    };
}

HRESULT ClassRegistration::Register(const std::vector<ClassEntry>& entries) {
    if (!cookies_.empty()) return E_UNEXPECTED;
    HRESULT result = CallGuarded([&]() -> HRESULT {
        cookies_.reserve(entries.size());
        for (const ClassEntry& e : entries) {
            auto* factory = new ClassFactory(e.create);
            DWORD cookie = 0;
            HRESULT hr = CoRegisterClassObject(e.clsid, factory, CLSCTX_INPROC_SERVER,
                                               REGCLS_MULTIPLEUSE, &cookie);
            factory->Release();
            if (FAILED(hr)) return hr;
            cookies_.push_back(cookie);
        }
        return S_OK;
    });
    if (FAILED(result)) Revoke();
    return result;
}

void ClassRegistration::Revoke() {
    for (DWORD cookie : cookies_) CoRevokeClassObject(cookie);
    cookies_.clear();
}

HRESULT RegisterHostClasses() {
    std::lock_guard<std::mutex> g(g_hostLock);
    if (g_hostNesting == 0) {
        HRESULT hr = CallGuarded([&]() -> HRESULT {
            auto reg = std::make_unique<ClassRegistration>();
            HRESULT r = reg->Register(HostClasses());
            if (SUCCEEDED(r)) g_hostRegistration = reg.release();
            return r;
        });
        if (FAILED(hr)) return hr;
    }
    ++g_hostNesting;
    return S_OK;
}

void RevokeHostClasses() {
    std::lock_guard<std::mutex> g(g_hostLock);
    if (g_hostNesting == 0) return;
    if (--g_hostNesting == 0) {
        delete g_hostRegistration;
        g_hostRegistration = nullptr;
    }
}

}  // namespace corvane::host
