// COM runtime: apartments, task memory, the class table, activation from the registry through
// a real module loaded with dlopen, and ProgIDFromCLSID.
#include "platform/win32.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "platform/linux/text.h"
#include "tests/platform/testmodule/testmodule.h"

namespace {

using corvane::OleString;

namespace fs = std::filesystem;

CORVANE_DEFINE_GUID(CLSID_TableObject, 0x7D0E51A2, 0x2C3B, 0x4F1A, 0x8E, 0x55, 0x19, 0x3A, 0x01,
                    0x6C, 0xB2, 0x40);
CORVANE_DEFINE_GUID(CLSID_Unknown, 0x7D0E51A3, 0x2C3B, 0x4F1A, 0x8E, 0x55, 0x19, 0x3A, 0x01, 0x6C,
                    0xB2, 0x40);

// Runs f on a new thread, which starts outside every apartment.
template <typename F>
void OnFreshThread(F f) {
    std::thread t(f);
    t.join();
}

// A class factory for the class table whose objects are plain counted IUnknowns; it records
// the outer unknown it was given and counts its own references.
class CountingFactory : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs); }
    STDMETHODIMP_(ULONG) Release() override { return InterlockedDecrement(&refs); }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        lastOuter = outer;
        ++created;
        return object.QueryInterface(riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

    struct Object : public IUnknown {
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
            if (riid != IID_IUnknown) {
                *ppv = nullptr;
                return E_NOINTERFACE;
            }
            *ppv = this;
            AddRef();
            return S_OK;
        }
        STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs); }
        STDMETHODIMP_(ULONG) Release() override { return InterlockedDecrement(&refs); }
        LONG refs = 0;
    } object;

    LONG refs = 1;  // the test's own
    IUnknown* lastOuter = reinterpret_cast<IUnknown*>(1);
    int created = 0;
};

// An outer object for aggregation: counts its references and answers nothing but IUnknown.
struct Outer : public IUnknown {
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs); }
    STDMETHODIMP_(ULONG) Release() override { return InterlockedDecrement(&refs); }
    LONG refs = 1;
};

using corvane::GuidText;

// Writes root\Software\Classes\CLSID\{clsid}\<sub> with a default string value.
void RegisterClassKey(HKEY root, REFCLSID clsid, const OLECHAR* sub, DWORD type,
                      const OleString& value) {
    OleString path = OLESTR("Software\\Classes\\CLSID\\") + GuidText(clsid);
    if (*sub) path += OleString(OLESTR("\\")) + sub;
    HKEY k = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &k, nullptr));
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExW(k, nullptr, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * 2)));
    RegCloseKey(k);
}

void RegisterServer(HKEY root, REFCLSID clsid, const std::string& path, DWORD type = REG_SZ) {
    RegisterClassKey(root, clsid, OLESTR("InprocServer32"), type, corvane::text::ToUtf16(path));
}

LONG ModuleLiveObjects() {
    void* h = dlopen(CORVANE_TEST_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (!h) return -1;
    auto fn = reinterpret_cast<TestModuleLiveObjectsFn>(dlsym(h, "TestModuleLiveObjects"));
    LONG n = fn ? fn() : -1;
    dlclose(h);  // drops only the reference RTLD_NOLOAD took
    return n;
}

class ComTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/corvane-com-test-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        root_ = tmpl;
        ASSERT_EQ(ERROR_SUCCESS, CorvaneSetRegistryRoot(root_.c_str()));
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    }
    void TearDown() override {
        CoUninitialize();
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    fs::path root_;
};

TEST(ComApartment, InitialisationIsCountedPerThread) {
    OnFreshThread([] {
        struct Step {
            HRESULT (*call)();
            HRESULT expected;
        } steps[] = {
            {[] { return CoInitialize(nullptr); }, S_OK},
            {[] { return CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }, S_FALSE},
            {[] { return CoInitializeEx(nullptr, COINIT_MULTITHREADED); }, RPC_E_CHANGED_MODE},
            {[] { return CoUninitialize(), S_OK; }, S_OK},
            {[] { return CoInitializeEx(nullptr, COINIT_MULTITHREADED); }, RPC_E_CHANGED_MODE},
            {[] { return CoUninitialize(), S_OK; }, S_OK},  // the count reaches 0 here
            {[] { return CoInitializeEx(nullptr, COINIT_MULTITHREADED); }, S_OK},
            {[] { return CoInitializeEx(nullptr, COINIT_MULTITHREADED); }, S_FALSE},
            {[] { return CoUninitialize(), S_OK; }, S_OK},
            {[] { return CoUninitialize(), S_OK; }, S_OK},
            {[] { return CoUninitialize(), S_OK; }, S_OK},  // one too many: ignored
            {[] { return CoInitialize(nullptr); }, S_OK},
            {[] { return CoUninitialize(), S_OK; }, S_OK},
        };
        int i = 0;
        for (const auto& s : steps) EXPECT_EQ(s.expected, s.call()) << "step " << i++;
        int reserved = 0;
        EXPECT_EQ(E_INVALIDARG, CoInitializeEx(&reserved, COINIT_MULTITHREADED));
        EXPECT_EQ(E_INVALIDARG, CoInitializeEx(nullptr, 0x100));
    });
    EXPECT_EQ(2, COINIT_APARTMENTTHREADED);
    EXPECT_EQ(0, COINIT_MULTITHREADED);
}

TEST(ComApartment, ActivationNeedsAnApartmentOrAMultithreadedProcess) {
    OnFreshThread([] {
        void* p = reinterpret_cast<void*>(1);
        EXPECT_EQ(CO_E_NOTINITIALIZED,
                  CoCreateInstance(CLSID_Unknown, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p));
        EXPECT_EQ(nullptr, p);
        CountingFactory f;
        DWORD cookie = 7;
        EXPECT_EQ(CO_E_NOTINITIALIZED,
                  CoRegisterClassObject(CLSID_TableObject, &f, CLSCTX_INPROC_SERVER,
                                        REGCLS_MULTIPLEUSE, &cookie));
        EXPECT_EQ(0u, cookie);
        EXPECT_EQ(1, f.refs);
    });
    // Another thread in the multithreaded apartment lets this thread activate (implicitly).
    std::atomic<int> phase{0};
    std::thread mta([&] {
        EXPECT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        phase = 1;
        while (phase != 2) std::this_thread::yield();
        CoUninitialize();
    });
    while (phase != 1) std::this_thread::yield();
    OnFreshThread([] {
        void* p = nullptr;
        EXPECT_EQ(REGDB_E_CLASSNOTREG,
                  CoCreateInstance(CLSID_Unknown, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p));
    });
    phase = 2;
    mta.join();
}

TEST(ComTaskMemory, AllocReallocFree) {
    void* a = CoTaskMemAlloc(0);
    void* b = CoTaskMemAlloc(0);
    ASSERT_NE(nullptr, a);
    ASSERT_NE(nullptr, b);
    EXPECT_NE(a, b);
    CoTaskMemFree(a);
    CoTaskMemFree(b);
    CoTaskMemFree(nullptr);

    auto* p = static_cast<unsigned char*>(CoTaskMemRealloc(nullptr, 16));
    ASSERT_NE(nullptr, p);
    for (int i = 0; i < 16; ++i) p[i] = static_cast<unsigned char>(i * 7);
    p = static_cast<unsigned char*>(CoTaskMemRealloc(p, 1 << 20));
    ASSERT_NE(nullptr, p);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(static_cast<unsigned char>(i * 7), p[i]);
    EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(p) % alignof(std::max_align_t));
    EXPECT_EQ(nullptr, CoTaskMemRealloc(p, 0));  // frees
}

TEST_F(ComTest, ClassTableObjectsAreCreatedUntilRevoked) {
    CountingFactory f;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, CoRegisterClassObject(CLSID_TableObject, &f, CLSCTX_INPROC_SERVER,
                                          REGCLS_MULTIPLEUSE, &cookie));
    EXPECT_NE(0u, cookie);
    EXPECT_EQ(2, f.refs) << "the table holds one reference";

    for (int i = 0; i < 2; ++i) {
        IUnknown* obj = nullptr;
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_TableObject, nullptr, CLSCTX_ALL, IID_IUnknown,
                                         reinterpret_cast<void**>(&obj)));
        EXPECT_EQ(static_cast<IUnknown*>(&f.object), obj);
        EXPECT_EQ(nullptr, f.lastOuter);
        obj->Release();
    }
    EXPECT_EQ(2, f.created);
    EXPECT_EQ(0, f.object.refs);
    EXPECT_EQ(2, f.refs) << "activation released what it took";

    IClassFactory* cf = nullptr;
    ASSERT_EQ(S_OK, CoGetClassObject(CLSID_TableObject, CLSCTX_INPROC_SERVER, nullptr,
                                     IID_IClassFactory, reinterpret_cast<void**>(&cf)));
    EXPECT_EQ(&f, cf);
    cf->Release();

    // A failing CreateInstance reaches the caller unchanged.
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, CoCreateInstance(CLSID_TableObject, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_IClassFactory, &p));
    EXPECT_EQ(nullptr, p);

    EXPECT_EQ(S_OK, CoRevokeClassObject(cookie));
    EXPECT_EQ(1, f.refs);
    EXPECT_EQ(CO_E_OBJNOTREG, CoRevokeClassObject(cookie));
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(CLSID_TableObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p));
}

TEST_F(ComTest, ClassTableHonoursContextsAndRegistrationFlags) {
    CountingFactory f;
    DWORD cookie = 0, second = 0;
    void* p = nullptr;

    // Registered for a local server only: not an in-process server.
    ASSERT_EQ(S_OK, CoRegisterClassObject(CLSID_TableObject, &f, CLSCTX_LOCAL_SERVER,
                                          REGCLS_MULTI_SEPARATE, &cookie));
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(CLSID_TableObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p));
    EXPECT_EQ(S_OK,
              CoCreateInstance(CLSID_TableObject, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &p));
    static_cast<IUnknown*>(p)->Release();
    EXPECT_EQ(CO_E_OBJISREG, CoRegisterClassObject(CLSID_TableObject, &f, CLSCTX_LOCAL_SERVER,
                                                   REGCLS_MULTIPLEUSE, &second));
    EXPECT_EQ(0u, second);
    ASSERT_EQ(S_OK, CoRevokeClassObject(cookie));

    // Multiple use for a local server also serves in-process requests.
    ASSERT_EQ(S_OK, CoRegisterClassObject(CLSID_TableObject, &f, CLSCTX_LOCAL_SERVER,
                                          REGCLS_MULTIPLEUSE, &cookie));
    EXPECT_EQ(S_OK,
              CoCreateInstance(CLSID_TableObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p));
    static_cast<IUnknown*>(p)->Release();
    ASSERT_EQ(S_OK, CoRevokeClassObject(cookie));

    // Single use: handed out once.
    ASSERT_EQ(S_OK, CoRegisterClassObject(CLSID_TableObject, &f, CLSCTX_INPROC_SERVER,
                                          REGCLS_SINGLEUSE, &cookie));
    EXPECT_EQ(S_OK,
              CoCreateInstance(CLSID_TableObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p));
    static_cast<IUnknown*>(p)->Release();
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(CLSID_TableObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p));
    ASSERT_EQ(S_OK, CoRevokeClassObject(cookie));

    // Suspended: hidden until resumed.
    ASSERT_EQ(S_OK, CoRegisterClassObject(CLSID_TableObject, &f, CLSCTX_INPROC_SERVER,
                                          REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED, &cookie));
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(CLSID_TableObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p));
    EXPECT_EQ(S_OK, CoResumeClassObjects());
    EXPECT_EQ(S_OK,
              CoCreateInstance(CLSID_TableObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p));
    static_cast<IUnknown*>(p)->Release();
    ASSERT_EQ(S_OK, CoRevokeClassObject(cookie));
    EXPECT_EQ(1, f.refs);

    // Bad arguments.
    EXPECT_EQ(E_INVALIDARG, CoRegisterClassObject(CLSID_TableObject, nullptr, CLSCTX_INPROC_SERVER,
                                                  REGCLS_MULTIPLEUSE, &cookie));
    EXPECT_EQ(E_INVALIDARG,
              CoRegisterClassObject(CLSID_TableObject, &f, 0, REGCLS_MULTIPLEUSE, &cookie));
    EXPECT_EQ(E_INVALIDARG, CoRegisterClassObject(CLSID_TableObject, &f, CLSCTX_INPROC_SERVER,
                                                  REGCLS_MULTIPLEUSE, nullptr));
    EXPECT_EQ(E_POINTER, CoCreateInstance(CLSID_TableObject, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_IUnknown, nullptr));
    EXPECT_EQ(E_INVALIDARG, CoGetClassObject(CLSID_TableObject, 0, nullptr, IID_IUnknown, &p));
    EXPECT_EQ(1, f.refs);
}

TEST_F(ComTest, AggregationPassesTheOuterUnknownThrough) {
    CountingFactory f;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, CoRegisterClassObject(CLSID_TableObject, &f, CLSCTX_INPROC_SERVER,
                                          REGCLS_MULTIPLEUSE, &cookie));
    Outer outer;
    IUnknown* inner = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_TableObject, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                     reinterpret_cast<void**>(&inner)));
    EXPECT_EQ(&outer, f.lastOuter);
    inner->Release();
    ASSERT_EQ(S_OK, CoRevokeClassObject(cookie));
}

TEST_F(ComTest, RegisteredModuleIsLoadedAndStaysLoaded) {
    RegisterServer(HKEY_LOCAL_MACHINE, CLSID_TestModuleObject, CORVANE_TEST_MODULE_PATH);

    ITestModuleObject* obj = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_TestModuleObject, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_ITestModuleObject, reinterpret_cast<void**>(&obj)));
    EXPECT_EQ(kTestModuleMagic, obj->Magic());
    EXPECT_EQ(1, ModuleLiveObjects());
    obj->Release();
    EXPECT_EQ(0, ModuleLiveObjects()) << "the module is still loaded and its object is gone";

    IClassFactory* cf = nullptr;
    ASSERT_EQ(S_OK, CoGetClassObject(CLSID_TestModuleObject, CLSCTX_INPROC_SERVER, nullptr,
                                     IID_IClassFactory, reinterpret_cast<void**>(&cf)));
    cf->Release();
    // The module's own answer for an interface its class object lacks.
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, CoGetClassObject(CLSID_TestModuleObject, CLSCTX_INPROC_SERVER, nullptr,
                                              IID_ITestModuleObject, &p));
    EXPECT_EQ(nullptr, p);
    // Only in-process activation reaches the registry.
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(CLSID_TestModuleObject, nullptr,
                                                    CLSCTX_LOCAL_SERVER, IID_IUnknown, &p));
}

TEST_F(ComTest, RegisteredModuleAggregatesWithTheCallersOuterUnknown) {
    RegisterServer(HKEY_CURRENT_USER, CLSID_TestModuleObject, CORVANE_TEST_MODULE_PATH);
    Outer outer;
    IUnknown* inner = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_TestModuleObject, &outer, CLSCTX_INPROC_SERVER,
                                     IID_IUnknown, reinterpret_cast<void**>(&inner)));
    ITestModuleObject* obj = nullptr;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_ITestModuleObject, reinterpret_cast<void**>(&obj)));
    EXPECT_EQ(&outer, obj->Controller());
    EXPECT_EQ(2, outer.refs) << "the aggregated interface counts on the outer object";
    obj->Release();
    EXPECT_EQ(1, outer.refs);
    inner->Release();
    EXPECT_EQ(0, ModuleLiveObjects());

    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              CoCreateInstance(CLSID_TestModuleObject, &outer, CLSCTX_INPROC_SERVER,
                               IID_ITestModuleObject, &p));
    EXPECT_EQ(nullptr, p);
}

TEST_F(ComTest, TheClassTableComesBeforeTheRegistry) {
    RegisterServer(HKEY_LOCAL_MACHINE, CLSID_TestModuleObject, CORVANE_TEST_MODULE_PATH);
    CountingFactory f;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, CoRegisterClassObject(CLSID_TestModuleObject, &f, CLSCTX_INPROC_SERVER,
                                          REGCLS_MULTIPLEUSE, &cookie));
    IUnknown* obj = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_TestModuleObject, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IUnknown, reinterpret_cast<void**>(&obj)));
    EXPECT_EQ(static_cast<IUnknown*>(&f.object), obj);
    obj->Release();
    ASSERT_EQ(S_OK, CoRevokeClassObject(cookie));
}

TEST_F(ComTest, ActivationFailuresAreReportedPrecisely) {
    Dl_info info{};
    ASSERT_NE(0, dladdr(reinterpret_cast<void*>(&CoCreateInstance), &info));
    const std::string platformLibrary = info.dli_fname;  // a library without DllGetClassObject
    const std::string notAModule = (root_ / "not-a-module.so").string();
    {
        FILE* f = std::fopen(notAModule.c_str(), "w");
        ASSERT_NE(nullptr, f);
        std::fputs("plain text\n", f);
        std::fclose(f);
    }
    struct Case {
        const char* what;
        std::function<void()> arrange;
        HRESULT expected;
    } cases[] = {
        {"unknown class", [] {}, REGDB_E_CLASSNOTREG},
        {"class key without a server key",
         [] {
             RegisterClassKey(HKEY_LOCAL_MACHINE, CLSID_Unknown, OLESTR(""), REG_SZ,
                              OLESTR("Some Class"));
         },
         REGDB_E_CLASSNOTREG},
        {"server key without a path",
         [] {
             RegisterClassKey(HKEY_LOCAL_MACHINE, CLSID_Unknown, OLESTR("InprocServer32"), REG_SZ,
                              OLESTR(""));
         },
         CO_E_DLLNOTFOUND},
        {"missing module file",
         [&] { RegisterServer(HKEY_LOCAL_MACHINE, CLSID_Unknown, (root_ / "absent.so").string()); },
         HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)},
        {"not a shared object",
         [&] { RegisterServer(HKEY_LOCAL_MACHINE, CLSID_Unknown, notAModule); }, CO_E_ERRORINDLL},
        {"no DllGetClassObject",
         [&] { RegisterServer(HKEY_LOCAL_MACHINE, CLSID_Unknown, platformLibrary); },
         CO_E_ERRORINDLL},
        {"module that does not know the class",
         [] { RegisterServer(HKEY_LOCAL_MACHINE, CLSID_Unknown, CORVANE_TEST_MODULE_PATH); },
         CLASS_E_CLASSNOTAVAILABLE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.arrange();
        void* p = reinterpret_cast<void*>(1);
        EXPECT_EQ(c.expected,
                  CoCreateInstance(CLSID_Unknown, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p));
        EXPECT_EQ(nullptr, p);
        p = reinterpret_cast<void*>(1);
        EXPECT_EQ(c.expected, CoGetClassObject(CLSID_Unknown, CLSCTX_INPROC_SERVER, nullptr,
                                               IID_IClassFactory, &p));
        EXPECT_EQ(nullptr, p);
    }
}

TEST_F(ComTest, ExpandableServerPathsUseTheEnvironment) {
    const fs::path module = CORVANE_TEST_MODULE_PATH;
    setenv("CORVANE_TEST_MODULE_DIR", module.parent_path().c_str(), 1);
    RegisterServer(HKEY_LOCAL_MACHINE, CLSID_TestModuleObject,
                   "%CORVANE_TEST_MODULE_DIR%/" + module.filename().string(), REG_EXPAND_SZ);
    ITestModuleObject* obj = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_TestModuleObject, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_ITestModuleObject, reinterpret_cast<void**>(&obj)));
    EXPECT_EQ(kTestModuleMagic, obj->Magic());
    obj->Release();
    unsetenv("CORVANE_TEST_MODULE_DIR");
}

TEST_F(ComTest, ProgIdComesFromTheClassKey) {
    LPOLESTR progId = reinterpret_cast<LPOLESTR>(1);
    EXPECT_EQ(REGDB_E_CLASSNOTREG, ProgIDFromCLSID(CLSID_TableObject, &progId));
    EXPECT_EQ(nullptr, progId);

    // A registered class without a ProgID key.
    RegisterClassKey(HKEY_LOCAL_MACHINE, CLSID_TableObject, OLESTR(""), REG_SZ,
                     OLESTR("Table Class"));
    progId = reinterpret_cast<LPOLESTR>(1);
    EXPECT_EQ(REGDB_E_CLASSNOTREG, ProgIDFromCLSID(CLSID_TableObject, &progId));
    EXPECT_EQ(nullptr, progId);

    RegisterClassKey(HKEY_LOCAL_MACHINE, CLSID_TableObject, OLESTR("ProgID"), REG_SZ,
                     OLESTR("Corvane.Table.1"));
    ASSERT_EQ(S_OK, ProgIDFromCLSID(CLSID_TableObject, &progId));
    EXPECT_EQ(OleString(OLESTR("Corvane.Table.1")), progId);
    CoTaskMemFree(progId);

    // The user's registration shows through HKEY_CLASSES_ROOT first.
    RegisterClassKey(HKEY_CURRENT_USER, CLSID_TableObject, OLESTR("ProgID"), REG_SZ,
                     OLESTR("Corvane.Mine.1"));
    ASSERT_EQ(S_OK, ProgIDFromCLSID(CLSID_TableObject, &progId));
    EXPECT_EQ(OleString(OLESTR("Corvane.Mine.1")), progId);
    CoTaskMemFree(progId);

    RegisterClassKey(HKEY_CURRENT_USER, CLSID_TableObject, OLESTR("ProgID"), REG_EXPAND_SZ,
                     OLESTR("X.%Y%"));
    EXPECT_EQ(REGDB_E_INVALIDVALUE, ProgIDFromCLSID(CLSID_TableObject, &progId));
    EXPECT_EQ(E_INVALIDARG, ProgIDFromCLSID(CLSID_TableObject, nullptr));

    // No apartment is needed for it.
    OnFreshThread([] {
        LPOLESTR id = nullptr;
        EXPECT_EQ(REGDB_E_INVALIDVALUE, ProgIDFromCLSID(CLSID_TableObject, &id));
        EXPECT_EQ(REGDB_E_CLASSNOTREG, ProgIDFromCLSID(CLSID_Unknown, &id));
    });
}

}  // namespace
