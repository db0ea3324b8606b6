// The module's exports: class objects, their caching and their coupling with the module's lock
// count, creation through them, and the module's exported symbols.
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "corvane/corvane.h"
#include "server/scripts.h"
#include "tests/server/server_support.h"
#include "platform/com_ptr.h"

namespace corvane::testing {
namespace {

// The seventeen creatable classes, written out here rather than taken from the module's table.
const CLSID* const kClasses[] = {
    &CLSID_AudioFilter5,   &CLSID_AudioFilterNB5,    &CLSID_BandFilter5,    &CLSID_DelayFilter5,
    &CLSID_EchoFilter5,    &CLSID_EqualizeFilter5,   &CLSID_FlangerFilter5, &CLSID_InvertFilter5,
    &CLSID_MedianFilter5,  &CLSID_PitchShiftFilter5, &CLSID_ReverbFilter5,  &CLSID_ReverseFilter5,
    &CLSID_SilenceFilter5, &CLSID_StretchFilter5,    &CLSID_VibratoFilter5, &CLSID_VolumeFilter5,
    &CLSID_WahWahFilter5,
};

// The automation interface, which no effect object answers.
const IID kIidDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        ASSERT_NE(m_.DllGetClassObject, nullptr);
        ASSERT_EQ(m_.DllCanUnloadNow(), S_OK) << "a test before this one left a lock behind";
    }
    void TearDown() override {
        EXPECT_EQ(m_.DllCanUnloadNow(), S_OK) << "this test left a lock behind";
        CoUninitialize();
    }

    ComPtr<IClassFactory> Factory(const CLSID& clsid) {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(m_.DllGetClassObject(clsid, IID_IClassFactory, factory.Out()), S_OK);
        return factory;
    }

    const ModuleExports& m_ = MainModule();
    TempRegistry registry_;
};

TEST_F(ModuleTest, UnknownClassIsNotAvailableAndLeavesNull) {
    const GUID random = {
        0x1D7A2C44, 0x0B5E, 0x4C1F, {0x9E, 0x31, 0x62, 0x0A, 0x5B, 0xC7, 0x11, 0x90}};
    // GUIDs of the library that are not classes of the module, and a class of the host.
    const GUID* notClasses[] = {&random,           &GUID_NULL,        &IID_IMediaSource,
                                &IID_IBandFilter5, &LIBID_corvaneLib, &APPID_corvane,
                                &CLSID_AudioBuffer};
    for (const GUID* g : notClasses) {
        for (const IID* iid : {&IID_IClassFactory, &IID_IUnknown}) {
            void* out = reinterpret_cast<void*>(0x1);
            EXPECT_EQ(m_.DllGetClassObject(*g, *iid, &out), CLASS_E_CLASSNOTAVAILABLE)
                << Narrow(GuidText(*g));
            EXPECT_EQ(out, nullptr);
        }
    }
}

TEST_F(ModuleTest, NullOutPointerIsRefused) {
    EXPECT_EQ(m_.DllGetClassObject(CLSID_BandFilter5, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(m_.DllGetClassObject(GUID_NULL, IID_IClassFactory, nullptr), E_POINTER);
    ComPtr<IClassFactory> factory = Factory(CLSID_BandFilter5);
    ASSERT_TRUE(factory);
    EXPECT_EQ(factory->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IMediaSource, nullptr), E_POINTER);
}

TEST_F(ModuleTest, EachClassHasOneClassObject) {
    std::set<IUnknown*> seen;
    for (const CLSID* clsid : kClasses) {
        ComPtr<IClassFactory> first = Factory(*clsid);
        ComPtr<IClassFactory> second = Factory(*clsid);
        ComPtr<IUnknown> unknown;
        ASSERT_EQ(m_.DllGetClassObject(*clsid, IID_IUnknown, unknown.Out()), S_OK);
        ASSERT_TRUE(first && second && unknown);
        EXPECT_EQ(first.Get(), second.Get()) << Narrow(GuidText(*clsid));
        EXPECT_EQ(static_cast<IUnknown*>(first.Get()), unknown.Get());
        EXPECT_TRUE(seen.insert(unknown.Get()).second) << "class objects shared between classes";

        // An interface the class object lacks.
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(m_.DllGetClassObject(*clsid, IID_IMediaSource, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
        out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(first->QueryInterface(IID_IMediaSource, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
    }
}

TEST_F(ModuleTest, OutsideReferencesToAClassObjectLockTheModule) {
    IClassFactory* factory = nullptr;
    ASSERT_EQ(m_.DllGetClassObject(CLSID_EchoFilter5, IID_IClassFactory,
                                   reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(m_.DllCanUnloadNow(), S_FALSE);
    // The module's cache holds one reference, the caller the second.
    EXPECT_EQ(factory->AddRef(), 3u);
    EXPECT_EQ(factory->Release(), 2u);
    EXPECT_EQ(m_.DllCanUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->Release(), 1u);
    EXPECT_EQ(m_.DllCanUnloadNow(), S_OK);
}

TEST_F(ModuleTest, LiveObjectsLockTheModule) {
    for (const CLSID* clsid : kClasses) {
        ComPtr<IMediaSource> object;
        {
            ComPtr<IClassFactory> factory = Factory(*clsid);
            ASSERT_TRUE(factory);
            ASSERT_EQ(factory->CreateInstance(nullptr, IID_IMediaSource, object.Out()), S_OK);
        }
        ASSERT_TRUE(object);
        EXPECT_EQ(m_.DllCanUnloadNow(), S_FALSE) << Narrow(GuidText(*clsid));
        object.Reset();
        EXPECT_EQ(m_.DllCanUnloadNow(), S_OK) << Narrow(GuidText(*clsid));
    }
}

TEST_F(ModuleTest, LockServerHoldsTheModuleUntilMatched) {
    ComPtr<IClassFactory> a = Factory(CLSID_VolumeFilter5);
    ComPtr<IClassFactory> b = Factory(CLSID_ReverbFilter5);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->LockServer(TRUE), S_OK);
    EXPECT_EQ(a->LockServer(TRUE), S_OK);
    a.Reset();
    b.Reset();
    EXPECT_EQ(m_.DllCanUnloadNow(), S_FALSE);
    b = Factory(CLSID_ReverbFilter5);
    EXPECT_EQ(b->LockServer(FALSE), S_OK);
    b.Reset();
    EXPECT_EQ(m_.DllCanUnloadNow(), S_FALSE);
    b = Factory(CLSID_ReverbFilter5);
    EXPECT_EQ(b->LockServer(FALSE), S_OK);
    b.Reset();
    EXPECT_EQ(m_.DllCanUnloadNow(), S_OK);
}

TEST_F(ModuleTest, UnmatchedLockServerFalseCannotReleaseAnObjectsLock) {
    ComPtr<IClassFactory> factory = Factory(CLSID_InvertFilter5);
    ASSERT_TRUE(factory);
    ComPtr<IMediaSource> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IMediaSource, object.Out()), S_OK);
    factory->LockServer(FALSE);
    factory->LockServer(FALSE);
    factory.Reset();
    EXPECT_EQ(m_.DllCanUnloadNow(), S_FALSE) << "the live object's lock was given away";
    object.Reset();
    EXPECT_EQ(m_.DllCanUnloadNow(), S_OK);
}

TEST_F(ModuleTest, CreateInstanceChecksItsArguments) {
    struct Outer : IUnknown {
        STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        STDMETHODIMP_(ULONG) AddRef() override { return 2; }
        STDMETHODIMP_(ULONG) Release() override { return 1; }
    } outer;
    for (const CLSID* clsid : kClasses) {
        ComPtr<IClassFactory> factory = Factory(*clsid);
        ASSERT_TRUE(factory);
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(factory->CreateInstance(&outer, IID_IMediaSource, &out), CLASS_E_NOAGGREGATION);
        EXPECT_EQ(out, nullptr);
        out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(factory->CreateInstance(nullptr, kIidDispatch, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
        out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_ISupportErrorInfo, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
        out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
        factory.Reset();
        EXPECT_EQ(m_.DllCanUnloadNow(), S_OK) << "a failed creation left a lock behind";
    }
}

// A second copy of the module starts with an empty object map, so the first requests race for
// the creation of each class object.
TEST_F(ModuleTest, ThreadsAskingAtOnceShareOneClassObject) {
    TempDir dir;
    const std::string copy = dir.Path() + "/" + ModuleCopyName("race");
    ASSERT_TRUE(CopyModuleTo(copy));
    ModuleExports fresh;
    ASSERT_TRUE(LoadModule(copy, &fresh));
    ASSERT_NE(fresh.handle, m_.handle);
    constexpr int kThreads = 8;
    for (const CLSID* clsid : kClasses) {
        std::atomic<int> ready{0};
        IUnknown* got[kThreads] = {};
        HRESULT hrs[kThreads] = {};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                ready.fetch_add(1);
                while (ready.load() < kThreads) {
                }
                hrs[t] = fresh.DllGetClassObject(*clsid, IID_IUnknown,
                                                 reinterpret_cast<void**>(&got[t]));
            });
        }
        for (std::thread& t : threads) t.join();
        for (int t = 0; t < kThreads; ++t) {
            EXPECT_EQ(hrs[t], S_OK);
            EXPECT_EQ(got[t], got[0]) << Narrow(GuidText(*clsid));
        }
        EXPECT_EQ(fresh.DllCanUnloadNow(), S_FALSE);
        for (int t = 0; t < kThreads; ++t) {
            if (got[t]) got[t]->Release();
        }
        EXPECT_EQ(fresh.DllCanUnloadNow(), S_OK);
    }
}

TEST(ModuleResources, ScriptsTypeLibraryAndProductName) {
    const HMODULE module = MainModule().module;
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(ResourceBytes(module, 101, OLESTR("REGISTRY")), "HKCR\r\n{\r\n}\r\n");
    for (int id = 102; id <= 123; ++id) {
        const bool expected = id >= 106 && id <= 122;
        const std::string bytes = ResourceBytes(module, id, OLESTR("REGISTRY"));
        EXPECT_EQ(bytes.empty(), !expected) << "REGISTRY " << id;
        // The very bytes that the scripts' generator builds.
        if (const ScriptSource* script = FindRegistrationScript(id)) {
            EXPECT_EQ(bytes, std::string(script->text, script->size)) << "REGISTRY " << id;
        }
    }
    EXPECT_EQ(ResourceBytes(module, 1, OLESTR("TYPELIB")).rfind(kTypeLibraryForm, 0), 0u)
        << "the type library in the platform's carried form";

    // String 100 sits in the table block of ids 96 to 111: sixteen counted strings.
    const std::string block = ResourceBytes(module, 7, RT_STRING);
    ASSERT_EQ(block.size() % 2, 0u);
    OleString units(block.size() / 2, OLESTR('\0'));
    std::memcpy(&units[0], block.data(), block.size());
    std::vector<OleString> strings;
    for (size_t at = 0; at < units.size();) {
        const size_t length = units[at];
        ASSERT_LE(at + 1 + length, units.size());
        strings.push_back(units.substr(at + 1, length));
        at += 1 + length;
    }
    ASSERT_EQ(strings.size(), 16u);
    for (size_t i = 0; i < 16; ++i)
        EXPECT_EQ(strings[i], i == 4 ? OLESTR("corvane") : OLESTR("")) << 96 + i;
}

}  // namespace
}  // namespace corvane::testing
