// The host classes in the class table: every CLSID creates its object through CoCreateInstance,
// answers exactly its interfaces, and disappears again when revoked.
#include "host/host.h"
#include "platform/com_ptr.h"
#include "tests/support/live_objects.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace corvane::host {
namespace {

using corvane::ComPtr;

struct ClassCase {
    const char* name;
    CLSID clsid;
    std::vector<IID> answers;
};

std::vector<ClassCase> Classes() {
    return {
        {"AudioBuffer", CLSID_AudioBuffer, {IID_IUnknown, IID_IAudioBuffer, IID_IAudioData}},
        {"AudioFormat", CLSID_AudioFormat, {IID_IUnknown, IID_IAudioFormat}},
        {"AudioHelper", CLSID_AudioHelper, {IID_IUnknown, IID_IAudioHelper}},
        {"FilterGraphProvider",
         CLSID_FilterGraphProvider,
         {IID_IUnknown, IID_IFilterGraphProvider}},
        {"WavFileSource", CLSID_WavFileSource, {IID_IUnknown, IID_IMediaSource}},
        {"SignalSource", CLSID_SignalSource, {IID_IUnknown, IID_IMediaSource}},
        {"EffectParams", CLSID_EffectParams, {IID_IUnknown, IID_IEffectParams}},
        {"EffectZones", CLSID_EffectZones, {IID_IUnknown, IID_IEffectZones}},
    };
}

const IID kAllHostIids[] = {IID_IAudioBuffer, IID_IAudioData,           IID_IAudioFormat,
                            IID_IAudioHelper, IID_IMediaSource,         IID_IEffectParams,
                            IID_IEffectZones, IID_IFilterGraphProvider, IID_IMediaBaseFilter};

class Registration : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
    void TearDown() override { CoUninitialize(); }
};

TEST_F(Registration, EveryClassIsCreatedWithItsInterfacesOnly) {
    ASSERT_EQ(S_OK, RegisterHostClasses());
    for (const ClassCase& c : Classes()) {
        SCOPED_TRACE(c.name);
        ComPtr<IUnknown> obj;
        ASSERT_EQ(S_OK, CoCreateInstance(c.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                         obj.Out()));
        for (const IID& iid : kAllHostIids) {
            ComPtr<IUnknown> itf;
            bool expected = false;
            for (const IID& a : c.answers) expected = expected || IsEqualIID(a, iid);
            EXPECT_EQ(expected ? S_OK : E_NOINTERFACE, obj->QueryInterface(iid, itf.Out()));
            EXPECT_EQ(expected, static_cast<bool>(itf));
            // Every interface leads back to the same IUnknown.
            if (itf) {
                EXPECT_EQ(obj.Get(), itf.As<IUnknown>().Get());
            }
        }
        ComPtr<IUnknown> aggregated;
        EXPECT_EQ(CLASS_E_NOAGGREGATION, CoCreateInstance(c.clsid, obj.Get(), CLSCTX_INPROC_SERVER,
                                                          IID_IUnknown, aggregated.Out()));
        EXPECT_FALSE(aggregated);
        EXPECT_EQ(1u, obj->AddRef() - 1);  // the test holds the only reference
        obj->Release();
    }
    RevokeHostClasses();
}

TEST_F(Registration, ProviderCreatedThroughComFillsTheTable) {
    ASSERT_EQ(S_OK, RegisterHostClasses());
    ComPtr<IFilterGraphProvider> p;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraphProvider, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IFilterGraphProvider, p.Out()));
    // 597 pointer-sized slots; slot 122 is a frame allocator, slot 1 is none of the table's.
    std::vector<void*> table(597, nullptr);
    const uint32_t size = static_cast<uint32_t>(table.size() * sizeof(void*));
    std::memcpy(table.data(), &size, sizeof(size));
    EXPECT_EQ(S_OK, p->FillApi(1, 0, table.data()));
    EXPECT_NE(table[122], nullptr);
    EXPECT_EQ(table[1], nullptr);
    RevokeHostClasses();
}

TEST_F(Registration, NestsAndRevokes) {
    ASSERT_EQ(S_OK, RegisterHostClasses());
    ASSERT_EQ(S_OK, RegisterHostClasses());
    RevokeHostClasses();
    ComPtr<IAudioHelper> helper;
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_AudioHelper, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IAudioHelper, helper.Out()));
    helper.Reset();
    RevokeHostClasses();
    EXPECT_TRUE(FAILED(CoCreateInstance(CLSID_AudioHelper, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IAudioHelper, helper.Out())));
    EXPECT_FALSE(helper);
    RevokeHostClasses();  // one too many: nothing happens
}

TEST_F(Registration, ATakenClassLeavesNothingRegistered) {
    ClassRegistration first;
    ASSERT_EQ(S_OK, first.Register({HostClasses()[5]}));  // the signal source only
    {
        // Windows' class table (Wine's at least) takes a second registration of a CLSID.
        ClassRegistration again;
        if (again.Register({HostClasses()[5]}) == S_OK)
            GTEST_SKIP() << "this system registers a class object twice for one CLSID";
    }
    ClassRegistration all;
    EXPECT_EQ(CO_E_OBJISREG, all.Register(HostClasses()));
    EXPECT_FALSE(all.Registered());
    // The classes registered before the refusal were taken back.
    ComPtr<IAudioHelper> helper;
    EXPECT_TRUE(FAILED(CoCreateInstance(CLSID_AudioHelper, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IAudioHelper, helper.Out())));
    first.Revoke();
    EXPECT_EQ(S_OK, all.Register(HostClasses()));
}

TEST(LiveObjects, CountsEveryHostObjectUntilItsLastRelease) {
    const LONG before = LiveObjectCount();
    ComPtr<IEffectParams> p;
    ASSERT_EQ(S_OK, CreateEffectParams(ParamStore(), &p));
    ComPtr<IEffectParams> copy;
    ASSERT_EQ(S_OK, p->Duplicate(2, &copy));
    ComPtr<IMediaSource> src;
    ASSERT_EQ(S_OK, CreateSignalSource(SignalSettings(), &src));
    ComPtr<IUnknown> block;
    ASSERT_EQ(S_OK, src->ReadAudio(-1, 0, 10.0, &block));
    EXPECT_EQ(before + 4, LiveObjectCount());
    IUnknown* raw = block.Get();
    raw->AddRef();
    block.Reset();
    EXPECT_EQ(before + 4, LiveObjectCount());  // one reference is still out
    copy.Reset();
    p.Reset();
    src.Reset();
    EXPECT_EQ(before + 1, LiveObjectCount());
    EXPECT_EQ(0u, raw->Release());
    EXPECT_EQ(before, LiveObjectCount());
}

}  // namespace
}  // namespace corvane::host
