// The effect classes with an upstream source: forwarded methods reach the same upstream method
// with the same arguments and answer its HRESULT untouched; the methods with answers of their own
// (SendCommandEx, ResetBuffers, the stream getters) and those that go to the engine.
#include "tests/framework/com_shell_support.h"

#include "platform/com_ptr.h"
#include "tests/support/host_doubles.h"
#include "tests/support/live_objects.h"

#include <gtest/gtest.h>

namespace corvane::testing {
namespace {

using Calls = std::vector<std::string>;

class UpstreamOfEffect : public ::testing::TestWithParam<ExpectedClass> {
protected:
    void SetUp() override {
        ASSERT_TRUE(doubles_.Registered());
        object_ = CreateEffect(*GetParam().clsid);
        ASSERT_TRUE(object_);
        filter_ = object_.As<IMediaBaseFilter>();
        ASSERT_TRUE(filter_);
        ASSERT_EQ(filter_->put_MediaSource(source_.Get()), S_OK);
        source_->ClearCalls();
        ClearErrorInfo();
    }

    HostDoubles doubles_;
    ComPtr<ScriptedSource> source_ = NewScriptedSource();
    ComPtr<IMediaSource> object_;
    ComPtr<IMediaBaseFilter> filter_;
};

TEST_P(UpstreamOfEffect, ForwardedMethodsReachTheSameMethodWithTheSameArguments) {
    const HRESULT answers[] = {S_OK, S_FALSE, _HR(0x8004ABCD), E_NOTIMPL};
    for (HRESULT answer : answers) {
        source_->SetResult(answer);
        CallOuts outs;
        for (const ForwardedCall& c : ForwardedCalls()) {
            source_->ClearCalls();
            ClearErrorInfo();
            std::string expect;
            EXPECT_EQ(c.call(object_.Get(), outs, &expect), answer) << c.name;
            EXPECT_EQ(source_->Calls(), Calls{expect}) << c.name;
            EXPECT_FALSE(TakeErrorInfo().present) << c.name << " added error information";
            if (c.clearsOut) outs.unk = Sentinel();
        }
    }
    // IMediaBaseFilter's SetParam and GetParam forward exactly as IMediaSource's.
    CallOuts outs;
    source_->ClearCalls();
    EXPECT_EQ(filter_->SetParam(outs.name, outs.var), E_NOTIMPL);
    EXPECT_EQ(filter_->GetParam(outs.name, &outs.var), E_NOTIMPL);
    EXPECT_EQ(source_->Calls(), (Calls{CallText("SetParam", outs.name, outs.var),
                                       CallText("GetParam", outs.name, &outs.var)}));
}

TEST_P(UpstreamOfEffect, ResetBuffersForwardsOnlyWithTheForwardBit) {
    struct Case {
        LONG flags;
        HRESULT upstream;
        bool forwarded;
        HRESULT result;
    };
    const HRESULT failure = _HR(0x8004ABCD);
    const Case cases[] = {
        {0x20000, failure, false, S_OK},       {0x10000, failure, true, S_OK},
        {0x30000, failure, true, failure},     {0x30005, S_FALSE, true, S_FALSE},
        {0x10000 | 0x40, S_FALSE, true, S_OK}, {0, failure, false, S_OK},
        {-1, failure, true, failure},
    };
    for (const Case& c : cases) {
        source_->SetResult(c.upstream);
        source_->ClearCalls();
        EXPECT_EQ(object_->ResetBuffers(9, c.flags), c.result) << std::hex << c.flags;
        EXPECT_EQ(source_->Calls(),
                  c.forwarded ? Calls{CallText("ResetBuffers", LONG(9), c.flags)} : Calls{})
            << std::hex << c.flags;
    }
    EXPECT_FALSE(TakeErrorInfo().present);
}

TEST_P(UpstreamOfEffect, SendCommandExClearsItsOutParameterThenForwards) {
    // The upstream sees the caller's out-parameter already holding NULL.
    IUnknown* params = Sentinel();
    IUnknown* out = nullptr;
    const std::string expect = CallText("SendCommandEx", 0x123456789ULL, params, &out);
    out = Sentinel();
    source_->SetResult(_HR(0x8004ABCD));
    EXPECT_EQ(object_->SendCommandEx(0x123456789ULL, params, &out), _HR(0x8004ABCD));
    EXPECT_EQ(source_->Calls(), Calls{expect});
    EXPECT_EQ(out, nullptr);
    EXPECT_FALSE(TakeErrorInfo().present);

    source_->ClearCalls();
    source_->SetResult(S_FALSE);
    EXPECT_EQ(object_->SendCommandEx(1, nullptr, nullptr), S_FALSE);
    EXPECT_EQ(source_->Calls(),
              Calls{CallText("SendCommandEx", 1ULL, static_cast<IUnknown*>(nullptr),
                             static_cast<IUnknown**>(nullptr))});
}

TEST_P(UpstreamOfEffect, StreamGettersCallNothingAndAnswerNull) {
    IUnknown* video = Sentinel();
    IUnknown* audio = Sentinel();
    IUnknown* data = Sentinel();
    EXPECT_EQ(object_->get_videoStream(0, 0, &video), S_OK);
    EXPECT_EQ(object_->get_audioStream(0, 0, &audio), S_OK);
    EXPECT_EQ(object_->get_dataStream(0, 0, &data), S_OK);
    EXPECT_EQ(video, nullptr);
    EXPECT_EQ(audio, nullptr);
    EXPECT_EQ(data, nullptr);
    EXPECT_TRUE(source_->Calls().empty());
}

// A loop that the chain walk cannot see (through a source that is no effect) meets a read that is
// already under way: the inner read fails at once instead of recursing, and the outer one goes on.
TEST_P(UpstreamOfEffect, AReadThatComesBackToTheSameObjectFailsInsteadOfRecursing) {
    ASSERT_EQ(filter_->put_EffectEnabled(VARIANT_FALSE), S_OK);  // reads go straight upstream
    HRESULT inner = S_OK;
    IUnknown* innerBlock = Sentinel();
    source_->SetHook([&](const std::string& method) {
        if (method == "ReadAudio") inner = object_->ReadAudio(0, 0, 10.0, &innerBlock);
    });
    IUnknown* block = nullptr;
    EXPECT_EQ(object_->ReadAudio(0, 0, 10.0, &block), S_OK);
    source_->SetHook(nullptr);
    EXPECT_EQ(inner, CBaseFilter::kReadReentered);
    EXPECT_EQ(innerBlock, nullptr);
    EXPECT_EQ(source_->Calls().size(), 1u);
}

TEST_P(UpstreamOfEffect, SetParamTravelsDownAChainToTheFirstSourceThatIsNoEffect) {
    // source <- object_ <- middle <- top
    ComPtr<IMediaSource> middle = CreateEffect(CLSID_VolumeFilter5);
    ComPtr<IMediaSource> top = CreateEffect(*GetParam().clsid);
    ASSERT_EQ(middle.As<IMediaBaseFilter>()->put_MediaSource(object_.Get()), S_OK);
    ASSERT_EQ(top.As<IMediaBaseFilter>()->put_MediaSource(middle.Get()), S_OK);
    source_->ClearCalls();

    Bstr name(OLESTR("Rate"));
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = 3;
    EXPECT_EQ(top.As<IMediaBaseFilter>()->SetParam(name, value), S_OK);
    EXPECT_EQ(top->GetParam(name, &value), S_OK);
    EXPECT_EQ(source_->Calls(), (Calls{CallText("SetParam", name.Get(), value),
                                       CallText("GetParam", name.Get(), &value)}));
    EXPECT_EQ(GetParam().engineOf(object_.Get())->*&test::Open<>::m_rate, 1.0)
        << "an effect's own parameters stay";

    IUnknown* base = nullptr;
    ASSERT_EQ(top.As<IMediaBaseFilter>()->GetBaseMediaSource(&base), S_OK);
    EXPECT_EQ(static_cast<void*>(base), static_cast<void*>(source_->Unknown()));
    base->Release();
}

TEST_P(UpstreamOfEffect, FilterPropertiesReachTheEngine) {
    CBaseFilter& engine = *GetParam().engineOf(object_.Get());
    VARIANT_BOOL enabled = -1;
    EXPECT_EQ(filter_->put_EffectEnabled(0), S_OK);
    EXPECT_EQ(filter_->get_EffectEnabled(&enabled), S_OK);
    EXPECT_EQ(enabled, 0);
    EXPECT_FALSE(engine.*&test::Open<>::m_bEnabled);

    ComPtr<IUnknown> source;
    EXPECT_EQ(filter_->get_MediaSource(&source), S_OK);
    EXPECT_EQ(static_cast<void*>(source.Get()), static_cast<void*>(source_->Unknown()));

    ComPtr<RecordingEffectParams> params = doubles_.NewParams();
    params->SetDouble(Bstr(OLESTR("Rate")), -1, 2.0);
    // The stretch works its rate out from its tempo: here the same.
    params->SetDouble(Bstr(OLESTR("TempoRate")), -1, 0.5);
    EXPECT_EQ(filter_->put_EffectParams(params.Get()), S_OK);
    EXPECT_EQ(engine.*&test::Open<>::m_rate, 2.0);
    ComPtr<IUnknown> copy;
    EXPECT_EQ(filter_->get_EffectParams(&copy), S_OK);
    EXPECT_TRUE(copy);
    EXPECT_NE(static_cast<void*>(copy.Get()), static_cast<void*>(params.Get()))
        << "a copy, not the object";

    ComPtr<RecordingEffectZones> zones = doubles_.NewZones();
    EXPECT_EQ(filter_->put_EffectZones(zones.Get()), S_OK);
    ComPtr<IUnknown> zonesBack;
    EXPECT_EQ(filter_->get_EffectZones(&zonesBack), S_OK);
    EXPECT_EQ(static_cast<void*>(zonesBack.Get()), static_cast<void*>(zones->Unknown()));
    EXPECT_EQ(filter_->InitFilter(nullptr), S_OK);
    EXPECT_TRUE(source_->Calls().empty());
}

TEST_P(UpstreamOfEffect, AudioTrackAndFormatSettersReachTheEngine) {
    ComPtr<RecordingSignalSource> signal = doubles_.NewSignalSource();
    ASSERT_EQ(filter_->put_MediaSource(signal.Get()), S_OK);
    CBaseFilter& engine = *GetParam().engineOf(object_.Get());
    doubles_.Log().Clear();

    // The current track: the engine asks and stops there; a bare forward would pass it on.
    EXPECT_EQ(object_->put_audioTrack(0), S_OK);
    EXPECT_EQ(doubles_.Log().Count("get_audioTrack"), 1u);
    EXPECT_EQ(doubles_.Log().Count("put_audioTrack"), 0u);

    // A new format drops the stream state that the first block set up.
    ComPtr<IUnknown> block;
    ASSERT_EQ(object_->ReadAudio(0, 0, 50.0, &block), S_OK);
    ASSERT_NE(engine.*&test::Open<>::m_pFormat, nullptr);
    ComPtr<IUnknown> format;
    ASSERT_EQ(object_->get_audioFormat(0, &format), S_OK);
    doubles_.Log().Clear();
    EXPECT_EQ(object_->put_audioFormat(0, format.Get()), S_OK);
    EXPECT_EQ(engine.*&test::Open<>::m_pFormat, nullptr);
    EXPECT_EQ(doubles_.Log().Count("put_audioFormat"), 1u);
    EXPECT_EQ(filter_->put_MediaSource(nullptr), S_OK);
}

TEST(VolumeFilterInterface, MediaSourcePropertyIsTheFilterProperty) {
    HostDoubles doubles;
    ComPtr<IMediaSource> object = CreateEffect(CLSID_VolumeFilter5);
    ComPtr<IVolumeFilter5> volume = object.As<IVolumeFilter5>();
    ComPtr<IMediaBaseFilter> filter = object.As<IMediaBaseFilter>();
    ASSERT_TRUE(volume && filter);
    ComPtr<ScriptedSource> source = NewScriptedSource();

    EXPECT_EQ(volume->put_MediaSource(source.Get()), S_OK);
    ComPtr<IUnknown> seen;
    EXPECT_EQ(filter->get_MediaSource(&seen), S_OK);
    EXPECT_EQ(static_cast<void*>(seen.Get()), static_cast<void*>(source->Unknown()));
    EXPECT_EQ(volume->get_MediaSource(&seen), S_OK);
    EXPECT_EQ(static_cast<void*>(seen.Get()), static_cast<void*>(source->Unknown()));
    LONG count = 0;
    EXPECT_EQ(object->get_videoTracksCount(&count), S_OK) << "forwards now go to that source";
    EXPECT_EQ(source->Calls().size(), 1u);

    EXPECT_EQ(filter->put_MediaSource(nullptr), S_OK);
    EXPECT_EQ(volume->get_MediaSource(&seen), S_OK);
    EXPECT_FALSE(seen);
}

INSTANTIATE_TEST_SUITE_P(AllClasses, UpstreamOfEffect, ::testing::ValuesIn(ExpectedClasses()),
                         ClassName);

}  // namespace
}  // namespace corvane::testing
