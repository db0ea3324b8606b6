// The module: start-up and tear-down, the lock count, the object map with its cached class
// objects, and the five exports. Which of its symbols leave the module, and what runs the
// start-up when the module is loaded, is the business of the platform's own files.
#include "server/module.h"

#include <atomic>
#include <new>
#include <type_traits>
#include <vector>

#include "corvane/module_exports.h"
#include "framework/module_lock.h"
#include "platform/exceptions.h"
#include "server/class_factory.h"
#include "server/classes.h"
#include "server/registration.h"

namespace corvane {

namespace {

// Constant-initialised, so it is valid before any constructor of the module runs.
LONG g_lockCount = 0;

// How the effect objects reach the lock count; constant-initialised as well.
const ModuleLockHook kEffectObjectLock = {&ModuleLock, &ModuleUnlock};

// The cache of one object-map row: its class object once created (NULL before). It is read
// without the object-map lock, hence atomic.
struct ObjectMapEntry {
    std::atomic<IUnknown*> cache{nullptr};
};

// The module object: one static instance, constant-initialised and trivially destructible, so
// that it is valid whatever order the module's static objects are made and unmade in. The
// platform's start-up code starts it when the module is loaded and stops it when it is unloaded.
class CcorvaneModule {
public:
    constexpr CcorvaneModule() = default;

    void Start(HMODULE instance) {
        instance_ = instance;
        // Before any class object exists, so every effect object locks through it.
        InstallModuleLockHook(&kEffectObjectLock);
        // A module that could not start answers E_UNEXPECTED instead of handing out classes
        // (a module cannot always refuse its own loading).
        if (!InitializeCriticalSectionAndSpinCount(&objectMapLock_, 0)) {
            initFailed_ = true;
        } else {
            mapLockReady_ = true;
        }
        classes_ = GetClassTable(&classCount_);
        entries_ = new (std::nothrow) ObjectMapEntry[classCount_];
        if (entries_ == nullptr) initFailed_ = true;
    }

    void Stop() {
        if (entries_ != nullptr) {
            for (size_t i = 0; i < classCount_; ++i) {
                IUnknown* cached = entries_[i].cache.exchange(nullptr);
                if (cached != nullptr) cached->Release();
            }
            delete[] entries_;
            entries_ = nullptr;
        }
        if (mapLockReady_) DeleteCriticalSection(&objectMapLock_);
        mapLockReady_ = false;
        InstallModuleLockHook(nullptr);
    }

    CcorvaneModule(const CcorvaneModule&) = delete;
    CcorvaneModule& operator=(const CcorvaneModule&) = delete;

    HMODULE Instance() const { return instance_; }
    bool Usable() const { return mapLockReady_ && !initFailed_; }
    const ClassEntry* Classes(size_t* count) const {
        *count = classCount_;
        return classes_;
    }

    HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (!Usable()) return E_UNEXPECTED;
        ObjectMapEntry* entry = nullptr;
        const ClassEntry* cls = nullptr;
        for (size_t i = 0; i < classCount_; ++i) {
            const ClassEntry& c = classes_[i];
            if (c.clsid == nullptr || c.createInstance == nullptr) continue;
            if (IsEqualCLSID(*c.clsid, rclsid)) {
                entry = &entries_[i];
                cls = &c;
                break;
            }
        }
        if (entry == nullptr) return CLASS_E_CLASSNOTAVAILABLE;

        HRESULT hr = S_OK;
        IUnknown* classObject = entry->cache.load(std::memory_order_acquire);
        if (classObject == nullptr) {
            // Tested again under the lock, so that two threads asking at once share one object.
            EnterCriticalSection(&objectMapLock_);
            classObject = entry->cache.load(std::memory_order_relaxed);
            if (classObject == nullptr) {
                hr = CreateClassObject(cls, &classObject);
                if (SUCCEEDED(hr)) entry->cache.store(classObject, std::memory_order_release);
            }
            LeaveCriticalSection(&objectMapLock_);
        }
        if (classObject != nullptr) hr = classObject->QueryInterface(riid, ppv);
        if (*ppv != nullptr) return hr;
        return FAILED(hr) ? hr : CLASS_E_CLASSNOTAVAILABLE;
    }

    RegistrationScope Scope() const {
        return perUser_.load() ? RegistrationScope::PerUser : RegistrationScope::Machine;
    }
    // Per-user registration stays chosen for the rest of the process, as one installer run
    // expects of every later call.
    void ChoosePerUser() { perUser_.store(true); }

private:
    HMODULE instance_ = nullptr;
    CRITICAL_SECTION objectMapLock_{};  // guards the creation of class objects
    bool initFailed_ = false;
    bool mapLockReady_ = false;
    const ClassEntry* classes_ = nullptr;  // object-map order; static data of the module
    size_t classCount_ = 0;
    ObjectMapEntry* entries_ = nullptr;  // one per class while started
    std::atomic<bool> perUser_{false};
};

CcorvaneModule g_module;

}  // namespace

LONG ModuleLock() {
    return InterlockedIncrement(&g_lockCount);
}
LONG ModuleUnlock() {
    return InterlockedDecrement(&g_lockCount);
}
LONG ModuleLockCount() {
    return InterlockedCompareExchange(&g_lockCount, 0, 0);
}

bool StartModule(HMODULE instance) {
    g_module.Start(instance);
    return g_module.Usable();
}

void StopModule() {
    g_module.Stop();
}

namespace {

// The registration scripts of the object map, in its order.
std::vector<int> ClassScripts() {
    size_t count = 0;
    const ClassEntry* classes = g_module.Classes(&count);
    std::vector<int> ids;
    for (size_t i = 0; i < count; ++i) ids.push_back(classes[i].scriptId);
    return ids;
}

HRESULT Register() {
    return CallGuarded(
        [] { return RegisterServer(g_module.Instance(), ClassScripts(), g_module.Scope()); });
}

HRESULT Unregister() {
    return CallGuarded(
        [] { return UnregisterServer(g_module.Instance(), ClassScripts(), g_module.Scope()); });
}

}  // namespace
}  // namespace corvane

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return corvane::ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    try {
        return corvane::g_module.GetClassObject(rclsid, riid, ppv);
    } catch (...) {
        return corvane::HResultFromCurrentException(E_UNEXPECTED);
    }
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    return corvane::Register();
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    return corvane::Unregister();
}

// A failed installation is taken back by the registration itself, which restores what it
// changed; a full unregistration would also remove a registration that was there before.
extern "C" HRESULT STDAPICALLTYPE DllInstall(BOOL bInstall, LPCWSTR pszCmdLine) {
    if (corvane::IsPerUserCommandLine(pszCmdLine)) corvane::g_module.ChoosePerUser();
    return bInstall ? corvane::Register() : corvane::Unregister();
}

// Loaders call the exports through the signatures of module_exports.h.
static_assert(std::is_same_v<decltype(&DllCanUnloadNow), PFN_DllCanUnloadNow>);
static_assert(std::is_same_v<decltype(&DllGetClassObject), PFN_DllGetClassObject>);
static_assert(std::is_same_v<decltype(&DllInstall), PFN_DllInstall>);
static_assert(std::is_same_v<decltype(&DllRegisterServer), PFN_DllRegisterServer>);
static_assert(std::is_same_v<decltype(&DllUnregisterServer), PFN_DllUnregisterServer>);
