// Engine state, parameters and filter-interface properties, driven through the recording host
// doubles (whose live-object check runs at the end of every test).
#include "framework/BaseFilterSupport.h"
#include "tests/framework/engines.h"
#include "tests/support/live_objects.h"

#include <cmath>
#include <limits>
#include <stdexcept>

namespace corvane::test {
namespace {

using BaseFilter = EngineTest;
constexpr HRESULT kInvalidArgumentHr = static_cast<HRESULT>(0x80040308u);

TEST_F(BaseFilter, FreshEngineDefaults) {
    TestEngine& e = Make(1, 1);
    EXPECT_EQ(e.m_wfx.nChannels, 2);
    EXPECT_EQ(e.m_wfx.nSamplesPerSec, 44100u);
    EXPECT_EQ(e.m_wfx.nBlockAlign, 4);
    EXPECT_EQ(e.m_wfx.wFormatTag, 0);
    EXPECT_EQ(e.m_channelLayout, 3u);
    EXPECT_EQ(e.m_level, 1.0);
    EXPECT_EQ(e.m_rate, 1.0);
    EXPECT_EQ(e.m_smoothEnabled, 0);
    for (int32_t ms : {e.m_rSmoothTime, e.m_lSmoothTime, e.m_rSmooth, e.m_lSmooth,
                       e.m_rSmoothScaled, e.m_lSmoothScaled})
        EXPECT_EQ(ms, 20);
    for (UINT bytes :
         {e.m_rSmoothBytes, e.m_lSmoothBytes, e.m_rSmoothScaledBytes, e.m_lSmoothScaledBytes})
        EXPECT_EQ(bytes, 3528u);
    EXPECT_TRUE(e.m_bEnabled);
    EXPECT_FALSE(e.m_bExplicitInterval);
    EXPECT_EQ(e.m_effectStart, 0.0);
    EXPECT_EQ(e.m_effectDuration, 0.0);
    EXPECT_TRUE(e.m_bFirstBlock);
    EXPECT_EQ(e.ChannelFilterCount(), 0u);
    EXPECT_NE(e.m_pHelper, nullptr);  // created for a buffered engine
    EXPECT_EQ(Make(0, 1).m_pHelper, nullptr);
}

TEST_F(BaseFilter, OutputLevelKeys) {
    struct Case {
        const char* name;
        Params params;
        double level;
    };
    const Case cases[] = {
        {"dB", Params().Set(OLESTR("dBVolumeLevel"), -6.0), 0.50118723362727224},
        {"linear", Params().Set(OLESTR("VolumeLevel"), 0.25), 0.25},
        {"neither", Params(), 1.0},
        {"both: dB wins",
         Params().Set(OLESTR("dBVolumeLevel"), -6.0).Set(OLESTR("VolumeLevel"), 0.25),
         0.50118723362727224},
    };
    for (const Case& c : cases) {
        TestEngine& e = Make(0, 1);
        ASSERT_EQ(Configure(c.params), S_OK) << c.name;
        EXPECT_NEAR(e.m_level, c.level, 1e-15) << c.name;
    }
}

TEST_F(BaseFilter, SmoothingTimesAreReadOnlyWithTheFlag) {
    TestEngine& e = Make(0, 1);
    ASSERT_EQ(Configure(Params()
                            .Set(OLESTR("RSmoothTime"), int32_t(50))
                            .Set(OLESTR("LSmoothTime"), int32_t(60))),
              S_OK);
    EXPECT_EQ(doubles.Log().Count("GetLong"), 0u) << doubles.Log().Dump();
    EXPECT_EQ(e.m_rSmoothTime, 20);
    ASSERT_EQ(Configure(Params()
                            .Set(OLESTR("SmoothEnabled"), false)
                            .Set(OLESTR("RSmoothTime"), int32_t(50))
                            .Set(OLESTR("LSmoothTime"), int32_t(60))),
              S_OK);
    EXPECT_EQ(doubles.Log().Count("GetLong"), 2u);
    EXPECT_EQ(e.m_smoothEnabled, 0);
    EXPECT_EQ(e.m_rSmoothTime, 50);
    EXPECT_EQ(e.m_lSmoothTime, 60);
}

TEST_F(BaseFilter, StrengthKeys) {
    TestEngine& e = Make(0, 1);
    // Flag false with no zones: the strengths are read but the mix stays off.
    ASSERT_EQ(Configure(Params()
                            .Set(OLESTR("UseStrengthPerCh"), false)
                            .Set(OLESTR("LeftStrength"), 0.25)
                            .Set(OLESTR("RightStrengthEnd"), 0.5)),
              S_OK);
    EXPECT_FALSE(e.m_strength.bUseStrengthPerCh);
    EXPECT_EQ(e.m_strength.current.leftStrength, 0.25);
    EXPECT_EQ(e.m_strength.current.rightSlope, -0.5);
    EXPECT_TRUE(e.m_strength.current.bRamp);
    EXPECT_EQ(e.m_strength.current.effectDuration, CBaseFilter::kWholeStreamMs);

    ASSERT_EQ(Configure(Params()
                            .Set(OLESTR("UseStrengthPerCh"), true)
                            .Zone(0.0, 1000.0, {{OLESTR("LeftStrength"), 0.5}})
                            .Zone(2000.0, 1000.0, {{OLESTR("CenterStrengthEnd"), 0.0}})),
              S_OK);
    ASSERT_EQ(e.m_strength.zones.size(), 2u);
    EXPECT_TRUE(e.m_strength.bUseStrengthPerCh);
    EXPECT_EQ(e.m_strength.zones[1].effectStart, 2000.0);
    EXPECT_EQ(e.m_strength.zones[1].centerSlope, -1.0);
    EXPECT_EQ(e.m_strength.current.leftStrength, 0.5);
    EXPECT_EQ(e.m_strength.current.effectDuration, 1000.0);
    EXPECT_EQ(e.m_strength.nZone, 0);
}

// A failing list count or entry getter reads as "no entries" / "skip this entry".
TEST_F(BaseFilter, FailingStrengthListGettersAreSkipped) {
    const Params p = Params()
                         .Set(OLESTR("UseStrengthPerCh"), true)
                         .Set(OLESTR("LeftStrength"), 0.75)
                         .Zone(0.0, 10.0, {{OLESTR("LeftStrength"), 0.1}})
                         .Zone(10.0, 10.0, {{OLESTR("LeftStrength"), 0.2}});
    TestEngine& e = Make(0, 1);
    doubles.Failures().FailCall("GetCount", E_FAIL, OLESTR("StrengthZone"));
    ASSERT_EQ(Configure(p), S_OK);
    EXPECT_TRUE(e.m_strength.zones.empty());
    EXPECT_EQ(e.m_strength.current.leftStrength, 0.75);
    doubles.Failures().Clear();
    doubles.Failures().FailCall("GetZone", E_FAIL, OLESTR("StrengthZone"), 1);
    ASSERT_EQ(Configure(p), S_OK);
    ASSERT_EQ(e.m_strength.zones.size(), 1u);
    EXPECT_EQ(e.m_strength.zones[0].leftStrength, 0.2);
}

TEST_F(BaseFilter, RateIsTakenOnlyWhenFiniteAndPositive) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, double> cases[] = {{2.0, 2.0},  {0.5, 0.5},          {0.0, 1.0},
                                               {-2.0, 1.0}, {std::nan(""), 1.0}, {inf, 1.0}};
    for (const auto& [given, kept] : cases) {
        TestEngine& e = Make(0, 1);
        ASSERT_EQ(Configure(Params().Set(OLESTR("Rate"), given)), S_OK);
        EXPECT_EQ(e.m_rate, kept) << given;
    }
}

TEST_F(BaseFilter, TempPathSurvivesParameterReset) {
    TestEngine& e = Make(0, 1);
    ASSERT_EQ(Configure(Params().Set(OLESTR("TempPath"), OleString(OLESTR("/tmp/x\u00e9-")))),
              S_OK);
    EXPECT_EQ(e.m_tempPath, OLESTR("/tmp/x\u00e9-"));
    e.ResetParams();
    EXPECT_EQ(e.m_tempPath, OLESTR("/tmp/x\u00e9-"));
}

TEST_F(BaseFilter, ParametersWithoutObjectAreInvalid) {
    TestEngine& e = Make(0, 1);
    ASSERT_EQ(Configure(Params().Set(OLESTR("VolumeLevel"), 0.25)), S_OK);
    EXPECT_EQ(e.PutEffectParams(nullptr), kInvalidArgumentHr);
    EXPECT_EQ(e.m_level, 1.0);
    EXPECT_EQ(e.m_pParams, nullptr);
    IErrorInfo* info = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    corvane::Bstr text;
    info->GetDescription(&text);
    GUID guid{};
    info->GetGUID(&guid);
    info->Release();
    EXPECT_EQ(text.Str(), OLESTR("Invalid argument."));
    EXPECT_EQ(guid, kTestIid);
    // An object without the parameter interface is refused the same way.
    ComPtr<testing::RecordingEffectZones> zones = doubles.NewZones();
    EXPECT_EQ(e.PutEffectParams(static_cast<IEffectZones*>(zones.Get())), kInvalidArgumentHr);
}

TEST_F(BaseFilter, EffectParamsHandsOutAnIndependentCopy) {
    TestEngine& e = Make(0, 1);
    ASSERT_EQ(Configure(Params().Set(OLESTR("VolumeLevel"), 0.25)), S_OK);
    ComPtr<IUnknown> copy;
    ASSERT_EQ(e.GetEffectParams(&copy), S_OK);
    ComPtr<IEffectParams> params = copy.As<IEffectParams>();
    ASSERT_TRUE(params);
    EXPECT_NE(params.Get(), e.m_pParams.Get());
    params->SetDouble(corvane::Bstr(OLESTR("VolumeLevel")), -1, 0.5);
    double level = 0.0;
    e.m_pParams->GetDouble(corvane::Bstr(OLESTR("VolumeLevel")), -1, &level);
    EXPECT_EQ(level, 0.25);
    // A duplicate that fails is reported, not answered as "no parameters".
    doubles.Failures().FailCall("Duplicate", E_OUTOFMEMORY);
    EXPECT_EQ(e.GetEffectParams(&copy), E_OUTOFMEMORY);
    EXPECT_FALSE(copy);
}

TEST_F(BaseFilter, ZonesSpanTheEnabledOnes) {
    TestEngine& e = Make(0, 1);
    ASSERT_EQ(Zones({{500, 1000, true}, {1000, 2000, true}, {0, 5000, false}}), S_OK);
    EXPECT_TRUE(e.m_bExplicitInterval);
    EXPECT_EQ(e.m_effectStart, 500.0);
    EXPECT_EQ(e.m_effectDuration, 2500.0);
    ComPtr<IUnknown> zones;
    ASSERT_EQ(e.GetEffectZones(&zones), S_OK);
    EXPECT_TRUE(zones);
    ASSERT_EQ(Zones({{500, 1000, true}}, false), S_OK);
    EXPECT_FALSE(e.m_bExplicitInterval);
    ASSERT_EQ(Zones({}), S_OK);
    EXPECT_FALSE(e.m_bExplicitInterval);
}

TEST_F(BaseFilter, ZoneWhoseGettersFailIsSkipped) {
    TestEngine& e = Make(0, 1);
    // The second zone's time cannot be read: it takes no part, instead of spanning garbage.
    doubles.Failures().FailCall("GetZoneTime", E_FAIL, OLESTR(""), 1, 1);
    ASSERT_EQ(Zones({{500, 1000, true}, {3000, 2000, true}, {800, 100, true}}), S_OK);
    EXPECT_EQ(e.m_effectStart, 500.0);
    EXPECT_EQ(e.m_effectDuration, 1000.0);
}

TEST_F(BaseFilter, MediaSourceProperty) {
    TestEngine& e = Make(0, 1);
    ComPtr<TableSource> source = Attach(AudioFormatValues(), VariedSamples(100, 2));
    ComPtr<IUnknown> got;
    ASSERT_EQ(e.GetMediaSource(&got), S_OK);
    EXPECT_EQ(got.Get(), static_cast<IUnknown*>(static_cast<IMediaSource*>(source.Get())));
    // Not a media source: the source is dropped and the call says why.
    ComPtr<testing::RecordingEffectZones> zones = doubles.NewZones();
    EXPECT_EQ(e.PutMediaSource(static_cast<IEffectZones*>(zones.Get())), E_NOINTERFACE);
    EXPECT_EQ(e.m_pSource, nullptr);
    EXPECT_EQ(e.PutMediaSource(nullptr), S_OK);
    ComPtr<IUnknown> block;
    EXPECT_EQ(Read(100, &block), kInvalidArgumentHr);
    EXPECT_EQ(e.GetMediaSource(&got), S_OK);
    EXPECT_FALSE(got);
}

TEST_F(BaseFilter, NullOutPointersAreRefused) {
    TestEngine& e = Make(1, 1);
    ComPtr<TableSource> source = Attach(AudioFormatValues(), VariedSamples(100, 2));
    EXPECT_EQ(e.GetEffectEnabled(nullptr), E_POINTER);
    EXPECT_EQ(e.GetMediaSource(nullptr), E_POINTER);
    EXPECT_EQ(e.GetBaseMediaSource(nullptr), E_POINTER);
    EXPECT_EQ(e.GetEffectParams(nullptr), E_POINTER);
    EXPECT_EQ(e.GetEffectZones(nullptr), E_POINTER);
    EXPECT_EQ(e.GetAudioDuration(0, nullptr), E_POINTER);
    EXPECT_EQ(e.GetAudioTime(0, nullptr), E_POINTER);
    EXPECT_EQ(e.ReadAudio(0, 0, 100.0, nullptr), E_POINTER);
}

TEST_F(BaseFilter, EnabledProperty) {
    TestEngine& e = Make(0, 1);
    VARIANT_BOOL v = 7;
    ASSERT_EQ(e.GetEffectEnabled(&v), S_OK);
    EXPECT_EQ(v, VARIANT_TRUE);
    ASSERT_EQ(e.PutEffectEnabled(0), S_OK);
    ASSERT_EQ(e.GetEffectEnabled(&v), S_OK);
    EXPECT_EQ(v, VARIANT_FALSE);
    ASSERT_EQ(e.PutEffectEnabled(2), S_OK);
    ASSERT_EQ(e.GetEffectEnabled(&v), S_OK);
    EXPECT_EQ(v, VARIANT_TRUE);
}

TEST_F(BaseFilter, ChannelFiltersPerFormat) {
    struct Case {
        BYTE perChannel;
        WORD channels;
        size_t built;
    };
    const Case cases[] = {{1, 6, 6}, {0, 6, 1}, {1, 0, 0}, {1, 1, 1}};
    for (const Case& c : cases) {
        TestEngine& e = Make(0, c.perChannel);
        e.m_wfx.nChannels = c.channels;
        e.BuildChannelFilters();
        ASSERT_EQ(e.ChannelFilterCount(), c.built) << int(c.perChannel) << "/" << c.channels;
        for (size_t i = 0; i < c.built; ++i) {
            auto* f = e.Channel<RecordingChannelFilter>(i);
            ASSERT_NE(f, nullptr);
            EXPECT_EQ(f->resets, 1);
            EXPECT_EQ(f->loads, 1);
        }
    }
}

// Channel filters built before any parameter object (or after it was cleared) read nothing and
// keep their defaults.
TEST_F(BaseFilter, ChannelFiltersWithoutParameters) {
    TestEngine& e = Make(0, 1);
    e.BuildChannelFilters();
    auto* f = e.Channel<RecordingChannelFilter>(0);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->loadResult, E_POINTER);
    EXPECT_EQ(f->loadedGain, 1.0);
    ASSERT_EQ(Configure(Params().Set(OLESTR("TestGain"), 3.0)), S_OK);
    e.BuildChannelFilters();
    EXPECT_EQ(e.Channel<RecordingChannelFilter>(0)->loadedGain, 3.0);
    EXPECT_EQ(e.PutEffectParams(nullptr), static_cast<HRESULT>(0x80040308u));
    e.BuildChannelFilters();
    EXPECT_EQ(e.Channel<RecordingChannelFilter>(0)->loadedGain, 1.0);
}

TEST(BaseFilterLayout, DefaultChannelLayout) {
    const std::pair<int, UINT64> cases[] = {{0, 0x0},   {1, 0x4},    {2, 0x3},   {3, 0xB},
                                            {4, 0xF},   {5, 0x10F},  {6, 0x60F}, {7, 0x70F},
                                            {8, 0x63F}, {10, 0x3FF}, {-1, 0x0},  {40, 0x0}};
    for (const auto& [channels, mask] : cases)
        EXPECT_EQ(CBaseFilter::DefaultChannelLayout(0, channels), mask) << channels;
    EXPECT_EQ(CBaseFilter::DefaultChannelLayout(0x30, 2), 0x30u);
}

TEST(BaseFilterStrengths, ComputeStrengthsWritesOneEntryPerPair) {
    struct Case {
        WORD channels;
        int floats;
    };
    const Case cases[] = {{0, 0}, {1, 3}, {2, 6}, {3, 12}, {6, 18}};
    for (const Case& c : cases) {
        TestEngine e(0, 1);
        e.m_wfx.nChannels = c.channels;
        e.m_strength.current.leftStrength = 0.25;
        e.m_strength.current.rightStrength = 1.5;
        e.m_strength.current.centerStrength = 0.75;
        e.m_strength.current.leftSlope = 0.5;
        e.m_strength.current.leftStep = 0.001;
        std::vector<float> out(24, -9.0f);
        e.ComputeStrengths(0.5f, out.data());
        const std::vector<float> mono = {0.75f, 0.25f, 0.0f};
        const std::vector<float> pair = {0.5f, 0.5f, 0.001f, 1.5f, 0.0f, 0.0f};
        for (int k = 0; k < 24; ++k) {
            const float expected = k >= c.floats ? -9.0f : c.channels == 1 ? mono[k] : pair[k % 6];
            EXPECT_FLOAT_EQ(out[k], expected) << c.channels << " channels, float " << k;
        }
    }
}

TEST(BaseFilterStrengths, PrepareStrengthRecord) {
    TestEngine e(0, 1);
    StrengthZoneRecord r;
    r.effectStart = 1000.0;
    r.effectDuration = 500.0;
    r.leftSlope = 0.5;
    r.rightSlope = -1.0;
    e.PrepareStrengthRecord(176400, &r);  // interval from 1 s
    EXPECT_EQ(r.startFrame, 88200);
    EXPECT_EQ(r.endFrame, 110250);
    EXPECT_EQ(r.lengthFrames, 22050);
    EXPECT_DOUBLE_EQ(r.leftStep, 0.5 / 22050);
    EXPECT_DOUBLE_EQ(r.rightStep, -1.0 / 22050);
    // An empty or reversed zone has no steps (not an infinity).
    for (double duration : {0.0, -10.0}) {
        r.effectDuration = duration;
        e.PrepareStrengthRecord(0, &r);
        EXPECT_EQ(r.leftStep, 0.0);
        EXPECT_EQ(r.rightStep, 0.0);
    }
}

TEST(BaseFilterConversions, SmoothingBytesAndTimes) {
    TestEngine e(0, 1);
    const std::pair<INT64, UINT> cases[] = {
        {20, 3528}, {0, 0}, {-20, 0}, {100000, 17640000}, {1, 176}};
    for (const auto& [ms, bytes] : cases) EXPECT_EQ(e.SmoothBytes(ms), bytes) << ms;
    EXPECT_EQ(e.TimeToBytes(1000.0, false), 176400);
    EXPECT_EQ(e.TimeToBytes(std::nan(""), false), 0);
    EXPECT_EQ(e.DurationToBytes(100.0), 17640);
    EXPECT_DOUBLE_EQ(e.BytesToMs(17640), 100.0);
}

TEST(Exceptions, BecomeHResults) {
    EXPECT_EQ(CallGuarded([] { ThrowHr(E_OUTOFMEMORY); }), E_OUTOFMEMORY);
    EXPECT_EQ(CallGuarded([]() -> HRESULT { throw static_cast<HRESULT>(0x80070216u); }),
              static_cast<HRESULT>(0x80070216u));
    EXPECT_EQ(CallGuarded([]() -> HRESULT { throw std::bad_alloc(); }), E_OUTOFMEMORY);
    EXPECT_EQ(CallGuarded([]() -> HRESULT { throw std::runtime_error("x"); }), E_FAIL);
    EXPECT_EQ(CallGuarded([]() -> HRESULT { throw 3.0; }), E_FAIL);
    EXPECT_EQ(CallGuarded([]() -> HRESULT { throw S_FALSE; }), E_FAIL);
    EXPECT_EQ(CallGuarded([] { return S_FALSE; }), S_FALSE);
    EXPECT_EQ(CallGuarded([] {}), S_OK);
}

}  // namespace
}  // namespace corvane::test
