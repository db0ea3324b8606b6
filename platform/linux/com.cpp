// Task memory, apartments, the class table, in-process activation and ProgIDFromCLSID.
#include "platform/win32.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "platform/exceptions.h"
#include "platform/linux/text.h"

namespace {

// ---- apartments ----

std::atomic<long> g_mtaThreads{0};  // threads inside the multithreaded apartment

struct Apartment {
    ULONG count = 0;
    DWORD model = COINIT_MULTITHREADED;
    // A thread that ends without CoUninitialize leaves the multithreaded apartment anyway.
    ~Apartment() {
        if (count > 0 && model == COINIT_MULTITHREADED) --g_mtaThreads;
    }
};
thread_local Apartment t_apartment;

bool ComInitialized() {
    return t_apartment.count > 0 || g_mtaThreads.load() > 0;
}

// ---- class table ----

constexpr DWORD kServerContexts =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

struct ClassEntry {
    DWORD cookie;
    CLSID clsid;
    IUnknown* object;  // one reference held by the table
    DWORD contexts;
    DWORD flags;
    bool suspended;
    bool handedOut;  // a REGCLS_SINGLEUSE object that was handed out
};

struct ClassTable {
    std::mutex mu;
    std::vector<ClassEntry> entries;
    DWORD nextCookie = 1;
};

ClassTable& Classes() {
    static ClassTable* t = new ClassTable;  // outlives static destruction
    return *t;
}

bool Available(const ClassEntry& e) {
    return !e.suspended && !(e.flags == REGCLS_SINGLEUSE && e.handedOut);
}

// A referenced class object from the table, or nullptr.
IUnknown* TakeRegistered(REFCLSID rclsid, DWORD contexts) {
    ClassTable& t = Classes();
    std::lock_guard<std::mutex> lock(t.mu);
    for (auto& e : t.entries) {
        if (e.clsid == rclsid && (e.contexts & contexts) && Available(e)) {
            e.object->AddRef();
            e.handedOut = true;
            return e.object;
        }
    }
    return nullptr;
}

// ---- registry look-ups ----

// HKCR\CLSID\{clsid}\<subkey> default value: its type and text (trailing NULs removed).
// REGDB_E_CLASSNOTREG when the key is missing, noValue when the key has no default value.
HRESULT ReadClassDefault(REFCLSID clsid, const char16_t* subkey, HRESULT noValue, DWORD* type,
                         std::u16string* out) {
    std::u16string path = u"CLSID\\" + corvane::GuidText(clsid) + u"\\" + subkey;
    HKEY key;
    LSTATUS st = RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_QUERY_VALUE, &key);
    if (st == ERROR_FILE_NOT_FOUND) return REGDB_E_CLASSNOTREG;
    if (st != ERROR_SUCCESS) return REGDB_E_READREGDB;
    std::vector<BYTE> data;
    DWORD size = 0;
    // The value may change between the size query and the read: retry a few times.
    for (int attempt = 0; attempt < 4; ++attempt) {
        st = RegQueryValueExW(key, nullptr, nullptr, type, nullptr, &size);
        if (st != ERROR_SUCCESS) break;
        data.resize(size);
        st = RegQueryValueExW(key, nullptr, nullptr, type, data.data(), &size);
        if (st != ERROR_MORE_DATA) break;
    }
    RegCloseKey(key);
    if (st == ERROR_FILE_NOT_FOUND) return noValue;
    if (st != ERROR_SUCCESS) return REGDB_E_READREGDB;
    out->assign(size / sizeof(char16_t), u'\0');
    if (!out->empty()) std::memcpy(out->data(), data.data(), out->size() * sizeof(char16_t));
    while (!out->empty() && out->back() == u'\0') out->pop_back();
    return S_OK;
}

// %NAME% replaced by the environment variable's value; unknown names stay as written.
std::string ExpandEnvironment(const std::string& s) {
    std::string out;
    size_t pos = 0;
    while (pos < s.size()) {
        size_t open = s.find('%', pos);
        size_t close = open == std::string::npos ? open : s.find('%', open + 1);
        if (close == std::string::npos) break;
        out.append(s, pos, open - pos);
        std::string name = s.substr(open + 1, close - open - 1);
        const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
        if (value) {
            out += value;
            pos = close + 1;
        } else {
            out.push_back('%');
            pos = open + 1;
        }
    }
    out.append(s, pos, std::string::npos);
    return out;
}

typedef HRESULT(STDAPICALLTYPE* DllGetClassObjectFn)(REFCLSID, REFIID, LPVOID*);

struct ModuleCache {
    std::mutex mu;
    std::map<std::string, DllGetClassObjectFn> entries;  // by path as registered
};

ModuleCache& Modules() {
    static ModuleCache* m = new ModuleCache;  // modules stay loaded for the process
    return *m;
}

// The DllGetClassObject of a module, loading the module on first use.
HRESULT ModuleEntry(const std::string& path, DllGetClassObjectFn* fn) {
    ModuleCache& m = Modules();
    {
        std::lock_guard<std::mutex> lock(m.mu);
        auto it = m.entries.find(path);
        if (it != m.entries.end()) {
            *fn = it->second;
            return S_OK;
        }
    }
    // Loading runs the module's constructors, which may call back into COM: no lock held.
    if (path.find('/') != std::string::npos && access(path.c_str(), F_OK) != 0) {
        return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    }
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return CO_E_ERRORINDLL;
    auto entry = reinterpret_cast<DllGetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
    if (!entry) {
        dlclose(handle);
        return CO_E_ERRORINDLL;
    }
    std::lock_guard<std::mutex> lock(m.mu);
    *fn = m.entries.emplace(path, entry).first->second;
    return S_OK;
}

HRESULT GetRegisteredServerObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    DWORD type = REG_NONE;
    std::u16string widePath;
    HRESULT hr = ReadClassDefault(rclsid, u"InprocServer32", CO_E_DLLNOTFOUND, &type, &widePath);
    if (FAILED(hr)) return hr;
    std::string path;
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || widePath.empty() ||
        !corvane::text::TryToUtf8(widePath, &path)) {
        return CO_E_DLLNOTFOUND;
    }
    if (type == REG_EXPAND_SZ) path = ExpandEnvironment(path);
    DllGetClassObjectFn entry;
    hr = ModuleEntry(path, &entry);
    if (FAILED(hr)) return hr;
    return entry(rclsid, riid, ppv);
}

}  // namespace

// ---- task memory ----

LPVOID CoTaskMemAlloc(SIZE_T cb) {
    return std::malloc(cb ? cb : 1);
}

LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb) {
    if (!pv) return CoTaskMemAlloc(cb);
    if (cb == 0) {
        std::free(pv);
        return nullptr;
    }
    return std::realloc(pv, cb);
}

void CoTaskMemFree(LPVOID pv) {
    std::free(pv);
}

// ---- apartments ----

HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
    constexpr DWORD kKnown =
        COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE | COINIT_SPEED_OVER_MEMORY;
    if (pvReserved || (dwCoInit & ~kKnown)) return E_INVALIDARG;
    const DWORD model = dwCoInit & COINIT_APARTMENTTHREADED;
    Apartment& a = t_apartment;
    if (a.count > 0) {
        if (a.model != model) return RPC_E_CHANGED_MODE;
        ++a.count;
        return S_FALSE;
    }
    a.count = 1;
    a.model = model;
    if (model == COINIT_MULTITHREADED) ++g_mtaThreads;
    return S_OK;
}

HRESULT CoInitialize(LPVOID pvReserved) {
    return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize() {
    Apartment& a = t_apartment;
    if (a.count == 0) return;
    if (--a.count == 0 && a.model == COINIT_MULTITHREADED) --g_mtaThreads;
}

// ---- class table ----

HRESULT CoRegisterClassObject(REFCLSID rclsid, IUnknown* pUnk, DWORD dwClsContext, DWORD flags,
                              LPDWORD lpdwRegister) {
    if (!lpdwRegister) return E_INVALIDARG;
    *lpdwRegister = 0;
    constexpr DWORD kKnownFlags = REGCLS_MULTIPLEUSE | REGCLS_MULTI_SEPARATE | REGCLS_SUSPENDED |
                                  REGCLS_SURROGATE | REGCLS_AGILE;
    if (!pUnk || !(dwClsContext & kServerContexts) || (flags & ~kKnownFlags)) return E_INVALIDARG;
    if (!ComInitialized()) return CO_E_NOTINITIALIZED;
    DWORD contexts = dwClsContext & kServerContexts;
    const DWORD use = flags & (REGCLS_MULTIPLEUSE | REGCLS_MULTI_SEPARATE);
    if (use == REGCLS_MULTIPLEUSE && (contexts & CLSCTX_LOCAL_SERVER)) {
        contexts |= CLSCTX_INPROC_SERVER;
    }
    ClassTable& t = Classes();
    std::lock_guard<std::mutex> lock(t.mu);
    for (const auto& e : t.entries) {
        if (e.clsid == rclsid && (e.contexts & contexts) && Available(e)) return CO_E_OBJISREG;
    }
    DWORD cookie = t.nextCookie;
    const HRESULT added = corvane::CallGuarded([&] {
        t.entries.push_back(ClassEntry{cookie, rclsid, pUnk, contexts, use,
                                       (flags & REGCLS_SUSPENDED) != 0, false});
    });
    if (FAILED(added)) return added;
    pUnk->AddRef();
    if (++t.nextCookie == 0) t.nextCookie = 1;
    *lpdwRegister = cookie;
    return S_OK;
}

HRESULT CoRevokeClassObject(DWORD dwRegister) {
    IUnknown* object = nullptr;
    {
        ClassTable& t = Classes();
        std::lock_guard<std::mutex> lock(t.mu);
        for (auto it = t.entries.begin(); it != t.entries.end(); ++it) {
            if (it->cookie == dwRegister) {
                object = it->object;
                t.entries.erase(it);
                break;
            }
        }
    }
    if (!object) return CO_E_OBJNOTREG;
    object->Release();  // outside the lock: the object's destructor may call into COM
    return S_OK;
}

HRESULT CoResumeClassObjects() {
    ClassTable& t = Classes();
    std::lock_guard<std::mutex> lock(t.mu);
    for (auto& e : t.entries) e.suspended = false;
    return S_OK;
}

// ---- activation ----

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, COSERVERINFO* /*pServerInfo*/,
                         REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!(dwClsContext & kServerContexts)) return E_INVALIDARG;
    if (!ComInitialized()) return CO_E_NOTINITIALIZED;
    HRESULT hr;
    if (IUnknown* registered = TakeRegistered(rclsid, dwClsContext & kServerContexts)) {
        hr = registered->QueryInterface(riid, ppv);
        registered->Release();
    } else if (dwClsContext & CLSCTX_INPROC_SERVER) {
        hr = corvane::CallGuarded([&] { return GetRegisteredServerObject(rclsid, riid, ppv); });
    } else {
        hr = REGDB_E_CLASSNOTREG;
    }
    if (SUCCEEDED(hr) && !*ppv) hr = E_UNEXPECTED;
    return hr;
}

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                  reinterpret_cast<LPVOID*>(&factory));
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    if (SUCCEEDED(hr) && !*ppv) hr = E_UNEXPECTED;
    return hr;
}

// ---- ProgID ----

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
    if (!lplpszProgID) return E_INVALIDARG;
    *lplpszProgID = nullptr;
    DWORD type = REG_NONE;
    std::u16string progId;
    const HRESULT hr = corvane::CallGuarded(
        [&] { return ReadClassDefault(clsid, u"ProgID", REGDB_E_CLASSNOTREG, &type, &progId); });
    if (FAILED(hr)) return hr;
    if (type != REG_SZ) return REGDB_E_INVALIDVALUE;
    if (progId.empty()) return REGDB_E_CLASSNOTREG;
    auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc((progId.size() + 1) * sizeof(OLECHAR)));
    if (!out) return E_OUTOFMEMORY;
    std::memcpy(out, progId.c_str(), (progId.size() + 1) * sizeof(OLECHAR));
    *lplpszProgID = out;
    return S_OK;
}
