// The seventeen effect classes as COM objects: the class table, creation, interface identity,
// engine flags and defaults, the answers of an object without an upstream source, and
// aggregation.
#include "tests/framework/com_shell_support.h"

#include "tests/support/host_doubles.h"
#include "tests/support/live_objects.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace corvane::testing {
namespace {

constexpr HRESULT kInvalidArgument = _HR(0x80040308);

TEST(ClassTable, ListsTheSeventeenClassesInObjectMapOrder) {
    size_t count = 0;
    const ClassEntry* table = GetClassTable(&count);
    ASSERT_EQ(count, ExpectedClasses().size());
    EXPECT_EQ(GetClassTable(nullptr), table);
    for (size_t i = 0; i < count; ++i) {
        const ExpectedClass& want = ExpectedClasses()[i];
        EXPECT_TRUE(IsEqualCLSID(*table[i].clsid, *want.clsid))
            << "row " << i << " should be " << want.name;
        EXPECT_TRUE(IsEqualIID(*table[i].iid, *want.iid)) << want.name;
        EXPECT_EQ(table[i].scriptId, want.scriptId) << want.name;
        // The description as the class's script registers it: "<Name> Class" ("class" for the
        // channel map).
        const std::string name = want.name;
        EXPECT_EQ(table[i].description, name + (name == "AudioFilterNB5" ? " class" : " Class"));
        const EngineTraits& traits = table[i].traits;
        EXPECT_EQ(
            std::make_tuple(traits.usesHelper, traits.perChannel, traits.lengthChanges,
                            traits.followsRate),
            std::make_tuple(want.useHelper, want.perChannel, want.lengthChanges, want.followsRate))
            << want.name;
        EXPECT_NE(table[i].createInstance, nullptr) << want.name;
    }
}

class EffectClass : public ::testing::TestWithParam<ExpectedClass> {
protected:
    void SetUp() override {
        ASSERT_TRUE(doubles_.Registered());
        entry_ = FindEntry(*GetParam().clsid);
        ASSERT_NE(entry_, nullptr);
        locksBefore_ = ShellModuleLocks();
        object_ = CreateEffect(*GetParam().clsid);
        ASSERT_TRUE(object_);
        ClearErrorInfo();
    }
    void TearDown() override {
        object_.Reset();
        EXPECT_EQ(ShellModuleLocks(), locksBefore_) << "module locks left behind";
    }

    HostDoubles doubles_;
    const ClassEntry* entry_ = nullptr;
    LONG locksBefore_ = 0;
    ComPtr<IMediaSource> object_;
};

TEST_P(EffectClass, AnswersExactlyItsFourInterfaces) {
    ExpectExactlyFourInterfaces(object_.Get(), *GetParam().iid);
}

TEST_P(EffectClass, EngineHasTheClassFlagsAndParameterDefaults) {
    ExpectFreshEngine(*GetParam().engineOf(object_.Get()), GetParam());
}

TEST_P(EffectClass, EachObjectHoldsOneModuleLockUntilItsLastRelease) {
    EXPECT_EQ(ShellModuleLocks(), locksBefore_ + 1);
    ComPtr<IMediaSource> second = CreateEffect(*GetParam().clsid);
    EXPECT_EQ(ShellModuleLocks(), locksBefore_ + 2);
    EXPECT_EQ(second->AddRef(), 2u);
    EXPECT_EQ(second->Release(), 1u);
    EXPECT_EQ(second.Detach()->Release(), 0u);
    EXPECT_EQ(ShellModuleLocks(), locksBefore_ + 1);
}

TEST_P(EffectClass, CreationChecksItsArguments) {
    EXPECT_EQ(entry_->createInstance(nullptr, IID_IMediaSource, nullptr), E_POINTER);
    void* out = Sentinel();
    EXPECT_EQ(entry_->createInstance(nullptr, kIID_IDispatch, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    for (const IID* iid : {&IID_IUnknown, &IID_IMediaBaseFilter, GetParam().iid}) {
        ComPtr<IUnknown> itf;
        ASSERT_EQ(entry_->createInstance(nullptr, *iid, itf.Out()), S_OK);
        ComPtr<IMediaBaseFilter> filter = itf.As<IMediaBaseFilter>();
        ASSERT_TRUE(filter);
        VARIANT_BOOL enabled = 0;
        EXPECT_EQ(filter->get_EffectEnabled(&enabled), S_OK);
        EXPECT_EQ(enabled, VARIANT_TRUE);
    }
    EXPECT_EQ(ShellModuleLocks(), locksBefore_ + 1) << "failed and released creations keep no lock";
}

TEST_P(EffectClass, WithoutUpstreamForwardedMethodsAnswerInvalidArgument) {
    CallOuts outs;
    for (const ForwardedCall& c : ForwardedCalls()) {
        ClearErrorInfo();
        std::string expect;
        EXPECT_EQ(c.call(object_.Get(), outs, &expect), kInvalidArgument) << c.name;
        const ErrorInfoSeen info = TakeErrorInfo();
        EXPECT_TRUE(info.present) << c.name;
        EXPECT_EQ(info.description, OLESTR("Invalid argument.")) << c.name;
        EXPECT_TRUE(IsEqualIID(info.guid, *GetParam().iid))
            << c.name << ": error identity is the class interface";
        if (c.clearsOut) {
            EXPECT_EQ(outs.unk, nullptr) << c.name;
            outs.unk = Sentinel();
        }
        EXPECT_EQ(outs.unk, Sentinel()) << c.name << " touched an out-parameter";
    }
    // A command reaches nobody either: no success, and its out value cleared first.
    IUnknown* out = Sentinel();
    ClearErrorInfo();
    EXPECT_EQ(object_->SendCommandEx(7, nullptr, &out), kInvalidArgument);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(TakeErrorInfo().description, OLESTR("Invalid argument."));
    EXPECT_EQ(object_->SendCommandEx(7, nullptr, nullptr), kInvalidArgument);
    // IMediaBaseFilter's SetParam and GetParam are the same methods.
    ComPtr<IMediaBaseFilter> filter = object_.As<IMediaBaseFilter>();
    ClearErrorInfo();
    EXPECT_EQ(filter->SetParam(outs.name, outs.var), kInvalidArgument);
    EXPECT_EQ(TakeErrorInfo().description, OLESTR("Invalid argument."));
    EXPECT_EQ(filter->GetParam(outs.name, &outs.var), kInvalidArgument);
    EXPECT_EQ(TakeErrorInfo().description, OLESTR("Invalid argument."));
}

TEST_P(EffectClass, WithoutUpstreamEngineReadsReportWithTheClassIdentity) {
    IUnknown* block = Sentinel();
    double value = 0.0;
    const HRESULT results[] = {
        object_->ReadAudio(0, 0, 100.0, &block),
        object_->SeekAudio(0, 0, 10.0),
        object_->SkipAudio(0, 0, 10.0),
        object_->get_audioDuration(0, &value),
        object_->get_audioTime(0, &value),
        object_->put_audioFormat(0, nullptr),
        object_->put_audioTrack(1),
    };
    for (HRESULT hr : results) EXPECT_EQ(hr, kInvalidArgument);
    EXPECT_EQ(block, nullptr);
    EXPECT_TRUE(IsEqualIID(TakeErrorInfo().guid, *GetParam().iid));
}

TEST_P(EffectClass, WithoutUpstreamFixedAnswersSucceed) {
    for (LONG flags : {0, 0x10000, 0x20000, 0x30000, -1})
        EXPECT_EQ(object_->ResetBuffers(0, flags), S_OK) << flags;
    EXPECT_FALSE(TakeErrorInfo().present);

    // The stream getters answer S_OK with NULL, whatever the caller's variable held.
    using Getter = HRESULT (STDMETHODCALLTYPE IMediaSource::*)(LONG, LONG, IUnknown**);
    for (Getter get : {&IMediaSource::get_videoStream, &IMediaSource::get_audioStream,
                       &IMediaSource::get_dataStream}) {
        IUnknown* stream = Sentinel();
        EXPECT_EQ((object_.Get()->*get)(1, 2, &stream), S_OK);
        EXPECT_EQ(stream, nullptr);
        EXPECT_EQ((object_.Get()->*get)(1, 2, nullptr), S_OK);
    }
    EXPECT_EQ(object_->ReadVideo(0, 0, nullptr), E_POINTER);
    EXPECT_EQ(object_->ReadData(0, 0, nullptr), E_POINTER);
}

// A source whose chain leads back to the effect is refused, and the source set before stays: the
// object itself, or through one or two other effects (of the direct and the buffered read path).
// Reads then fail cleanly, and the last releases destroy every object.
TEST(ChainLoop, ASourceThatLeadsBackIsRefused) {
    HostDoubles doubles;
    ASSERT_TRUE(doubles.Registered());
    const LONG locksBefore = ShellModuleLocks();
    const CLSID* classes[] = {&CLSID_VolumeFilter5, &CLSID_BandFilter5, &CLSID_EchoFilter5};
    for (size_t length = 1; length <= 3; ++length) {
        SCOPED_TRACE(::testing::Message() << length << " objects");
        // chain[i] reads from chain[i + 1]; the last is then asked to read from chain[0].
        std::vector<ComPtr<IMediaSource>> chain;
        for (size_t i = 0; i < length; ++i) chain.push_back(CreateEffect(*classes[i]));
        for (size_t i = 0; i + 1 < length; ++i) {
            ASSERT_EQ(chain[i].As<IMediaBaseFilter>()->put_MediaSource(chain[i + 1].Get()), S_OK);
        }
        ComPtr<IMediaBaseFilter> last = chain.back().As<IMediaBaseFilter>();
        ClearErrorInfo();
        EXPECT_EQ(last->put_MediaSource(chain[0].Get()), kInvalidArgument);
        EXPECT_EQ(TakeErrorInfo().description, OLESTR("Invalid argument."));
        ComPtr<IUnknown> source;
        EXPECT_EQ(last->get_MediaSource(&source), S_OK);
        EXPECT_FALSE(source) << "the refused source was kept";
        for (const ComPtr<IMediaSource>& object : chain) {
            IUnknown* block = Sentinel();
            EXPECT_EQ(object->ReadAudio(0, 0, 100.0, &block), kInvalidArgument);
            EXPECT_EQ(block, nullptr);
        }
    }
    EXPECT_EQ(ShellModuleLocks(), locksBefore) << "an object of a refused loop was kept alive";
}

// An outer object that aggregates one effect: answers its own IUnknown and hands every other
// query to the inner object.
class Outer final : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        ++queries;
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }

    IUnknown* inner = nullptr;  // the aggregated object's own IUnknown (one reference)
    ULONG refs = 1;
    int queries = 0;
};

TEST_P(EffectClass, AggregationIsRefusedForAnythingButIUnknown) {
    Outer outer;
    for (const IID* iid :
         {&IID_IMediaSource, &IID_IMediaBaseFilter, GetParam().iid, &kIID_IDispatch}) {
        void* out = Sentinel();
        EXPECT_EQ(entry_->createInstance(&outer, *iid, &out), CLASS_E_NOAGGREGATION);
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(outer.refs, 1u);
    EXPECT_EQ(ShellModuleLocks(), locksBefore_ + 1);
}

TEST_P(EffectClass, AggregatedObjectDelegatesToItsOuterObject) {
    Outer outer;
    ASSERT_EQ(entry_->createInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)),
              S_OK);
    ASSERT_NE(outer.inner, nullptr);
    EXPECT_NE(static_cast<void*>(outer.inner), static_cast<void*>(&outer));
    EXPECT_EQ(outer.refs, 1u) << "creation keeps no reference on the outer object";
    EXPECT_EQ(ShellModuleLocks(), locksBefore_ + 2);

    // The inner IUnknown answers itself for IUnknown and counts its own references.
    void* self = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IUnknown, &self), S_OK);
    EXPECT_EQ(self, static_cast<void*>(outer.inner));
    EXPECT_EQ(outer.inner->Release(), 1u);

    // Through the outer object, the effect's interfaces count on and answer for the outer object.
    IMediaSource* source = nullptr;
    ASSERT_EQ(outer.QueryInterface(IID_IMediaSource, reinterpret_cast<void**>(&source)), S_OK);
    EXPECT_EQ(outer.refs, 2u);
    EXPECT_EQ(source->AddRef(), 3u);
    EXPECT_EQ(source->Release(), 2u);
    const int queriesBefore = outer.queries;
    void* unknown = nullptr;
    ASSERT_EQ(source->QueryInterface(IID_IUnknown, &unknown), S_OK);
    EXPECT_EQ(unknown, static_cast<void*>(&outer))
        << "the aggregate has the outer object's identity";
    EXPECT_EQ(outer.queries, queriesBefore + 1);
    outer.Release();
    IMediaBaseFilter* filter = nullptr;
    ASSERT_EQ(source->QueryInterface(IID_IMediaBaseFilter, reinterpret_cast<void**>(&filter)),
              S_OK);
    EXPECT_EQ(filter->put_EffectEnabled(0), S_OK);
    VARIANT_BOOL enabled = -1;
    EXPECT_EQ(filter->get_EffectEnabled(&enabled), S_OK);
    EXPECT_EQ(enabled, 0);
    filter->Release();
    source->Release();
    EXPECT_EQ(outer.refs, 1u);

    // Only the inner IUnknown's last release ends the object.
    EXPECT_EQ(ShellModuleLocks(), locksBefore_ + 2);
    EXPECT_EQ(outer.inner->Release(), 0u);
    outer.inner = nullptr;
    EXPECT_EQ(ShellModuleLocks(), locksBefore_ + 1);
}

INSTANTIATE_TEST_SUITE_P(AllClasses, EffectClass, ::testing::ValuesIn(ExpectedClasses()),
                         ClassName);

// ---- creation steps, seen through a probe engine ----

class ShellCreation : public ::testing::Test {
protected:
    void SetUp() override {
        Probe() = ProbeState();
        locksBefore_ = ShellModuleLocks();
    }
    void TearDown() override {
        Probe() = ProbeState();
        EXPECT_EQ(ShellModuleLocks(), locksBefore_);
    }
    LONG locksBefore_ = 0;
};

TEST_F(ShellCreation, FinalConstructionSetsTheEngineFlagsThenResetsParameters) {
    ComPtr<IMediaSource> object;
    ASSERT_EQ(CProbeFilter5::CreateInstance(nullptr, IID_IMediaSource, object.Out()), S_OK);
    EXPECT_EQ(Probe().resets, 1);
    EXPECT_TRUE(Probe().lengthChangesAtReset);
    EXPECT_TRUE(Probe().followsRateAtReset);
    EXPECT_EQ(object->AddRef(), 2u) << "the creation reference is gone";
    object->Release();
}

TEST_F(ShellCreation, ThrowingConstructionFailsWithOutOfMemoryAndLeavesNothing) {
    Probe().throwInConstructor = true;
    for (IUnknown* outer : {static_cast<IUnknown*>(nullptr), static_cast<IUnknown*>(new Outer())}) {
        void* out = Sentinel();
        EXPECT_EQ(CProbeFilter5::CreateInstance(outer, IID_IUnknown, &out), E_OUTOFMEMORY);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(Probe().resets, 0);
        delete static_cast<Outer*>(outer);
    }
}

TEST_F(ShellCreation, FinalConstructionSucceedsWhenResettingParametersThrows) {
    Probe().throwInReset = true;
    ComPtr<IMediaSource> object;
    EXPECT_EQ(CProbeFilter5::CreateInstance(nullptr, IID_IMediaSource, object.Out()), S_OK);
    EXPECT_TRUE(object);
    EXPECT_EQ(Probe().resets, 1);
}

TEST_F(ShellCreation, FailedQueryDestroysTheNewObject) {
    void* out = Sentinel();
    EXPECT_EQ(CProbeFilter5::CreateInstance(nullptr, IID_IBandFilter5, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(Probe().resets, 1);
}

}  // namespace
}  // namespace corvane::testing
