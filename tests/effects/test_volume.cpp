// The volume effect's edge cases, its zones read from their own properties, and each fault
// mended in it (named below).
#include "tests/effects/harness.h"

#include "effects/VolumeFilter.h"

#include <cmath>
#include <limits>

namespace corvane::testing {
namespace {

using Volume = EffectHarness;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// clamp(floor((x g + 128) / 256)).
int16_t Scaled(int16_t x, int64_t g) {
    return static_cast<int16_t>(std::clamp<int64_t>(
        static_cast<int64_t>(std::floor((x * g + 128) / 256.0)), -32768, 32767));
}

Signal Mono(std::vector<int16_t> samples, int rate = 8000) {
    Signal s = VariedSignal(1, rate, 0.0);
    s.samples = std::move(samples);
    return s;
}

// Frames of a time as the engine counts them.
int64_t FrameAt(double ms, int rate) {
    return static_cast<int64_t>(std::trunc(rate * ms / 1000.0 + 0.0001));
}

// The input with each [start, end) ms range scaled by its constant Q8 gain; the rest untouched.
struct GainRange {
    double start, end;
    int64_t gain;
};
std::vector<int16_t> ScaledInRanges(const Signal& in, const std::vector<GainRange>& ranges) {
    std::vector<int16_t> out = in.samples;
    for (const GainRange& r : ranges) {
        const int64_t end = std::min(FrameAt(r.end, in.Rate()), in.Frames());
        for (int64_t f = FrameAt(r.start, in.Rate()); f < end; ++f) {
            for (int c = 0; c < in.Channels(); ++c) {
                const size_t k = static_cast<size_t>(f * in.Channels() + c);
                out[k] = Scaled(in.samples[k], r.gain);
            }
        }
    }
    return out;
}

Params Level(double factor) {
    Params p;
    p.Set(OLESTR("VolumeLevel"), factor);
    return p;
}

EffectSetup ZoneVolume(std::vector<Zone> zones) {
    EffectSetup setup = Effect(CLSID_VolumeFilter5);
    setup.params.Set(OLESTR("UseZoneProperties"), true).Set(OLESTR("VolumeScale"), 255);
    setup.zones = std::move(zones);
    setup.zonesFirst = true;  // the zone records are read with the parameters
    return setup;
}

TEST_F(Volume, EdgeCasesOfTheGain) {
    const std::vector<int16_t> values = {1000, -1, -3, 32767, 20000, -20000, 1, 0, -32768};
    struct Case {
        const char* name;
        Params params;
        int64_t gain;
    } cases[] = {
        {"no keys", {}, 256},
        {"VolumeLevel 0.5", Level(0.5), 128},
        {"dBVolumeLevel 6.0206", Params().Set(OLESTR("dBVolumeLevel"), 6.0206), 512},
        {"equal ramp ends are a constant",
         Params()
             .Set(OLESTR("VolumeScale"), 255)
             .Set(OLESTR("dBStartLevel"), -6.0206)
             .Set(OLESTR("dBEndLevel"), -6.0206),
         128},
        // Fault 1: past +48 dB the products leave 32 bits; the gain saturates at the int32 range.
        {"+60 dB", Params().Set(OLESTR("dBVolumeLevel"), 60.0), 256000},
        {"+1000 dB", Params().Set(OLESTR("dBVolumeLevel"), 1000.0), INT32_MAX},
        {"NaN level ignored",
         Params().Set(OLESTR("dBVolumeLevel"), kNaN).Set(OLESTR("VolumeLevel"), 0.5), 128},
    };
    const Signal in = Mono(values);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EffectSetup setup = Effect(CLSID_VolumeFilter5);
        setup.params = c.params;
        std::vector<int16_t> expected;
        for (int16_t x : values) expected.push_back(Scaled(x, c.gain));
        ExpectOutput(setup, in, expected);
    }
    // The worked examples of the volume scale, written out by hand.
    EXPECT_EQ(ScaledInRanges(in, {{0.0, 1000.0, 128}}),
              (std::vector<int16_t>{500, 0, -1, 16384, 10000, -10000, 1, 0, -16384}));
    EXPECT_EQ(ScaledInRanges(in, {{0.0, 1000.0, 256000}})[4], 32767);
    EXPECT_EQ(ScaledInRanges(in, {{0.0, 1000.0, 256000}})[5], -32768);
}

TEST_F(Volume, RampRisesMonotonicallyFromTheStartToTheEndGain) {
    const Signal in = Mono(std::vector<int16_t>(8000, 20000));
    EffectSetup setup = Effect(CLSID_VolumeFilter5);
    setup.params.Set(OLESTR("VolumeScale"), 255)
        .Set(OLESTR("dBStartLevel"), -20.0)
        .Set(OLESTR("dBEndLevel"), 0.0);
    for (const ReadPlan& plan : AllReadPlans()) {
        SCOPED_TRACE(plan.name);
        const RunOutput out = Run(setup, in, plan);
        ASSERT_EQ(out.samples.size(), in.samples.size());
        EXPECT_NEAR(out.samples.front(), 20000 * 26 / 256, 1);
        EXPECT_NEAR(out.samples.back(), 20000, 3);
        for (size_t i = 1; i < out.samples.size(); ++i)
            ASSERT_GE(out.samples[i], out.samples[i - 1]) << "at " << i;
    }
}

TEST_F(Volume, ZonesInOrderOfTheirStartTiesInTheHostsOrder) {
    // Sorted: [40, 100) x1.5, [100, 200) x0.25, [100, 300) x2, [300, 400) x0.5. The tie keeps the
    // host's order, so the short zone comes first and the long one takes over at its end. The
    // blocks before the first zone, and the disabled zone, change nothing.
    const Signal in = VariedSignal(2, 8000, 500.0);
    const EffectSetup setup = ZoneVolume({{300.0, 100.0, true, Level(0.5)},
                                          {40.0, 60.0, true, Level(1.5)},
                                          {100.0, 100.0, true, Level(0.25)},
                                          {100.0, 200.0, true, Level(2.0)},
                                          {20.0, 400.0, false, Level(8.0)}});
    ExpectOutput(
        setup, in,
        ScaledInRanges(
            in,
            {{40.0, 100.0, 384}, {100.0, 200.0, 64}, {200.0, 300.0, 512}, {300.0, 400.0, 128}}));
}

TEST_F(Volume, BlockStartingBetweenZonesScalesWhatFallsInTheNextZone) {  // fault 4
    const Signal in = VariedSignal(2, 8000, 3500.0);
    const EffectSetup setup =
        ZoneVolume({{0.0, 1000.0, true, Level(0.5)}, {2000.0, 1000.0, true, Level(0.25)}});
    const std::vector<int16_t> expected =
        ScaledInRanges(in, {{0.0, 1000.0, 128}, {2000.0, 3000.0, 64}});
    const RunOutput out = Run(setup, in, ReadPlan{"300 ms", ReadPlan::kBlocks, {300.0}});
    EXPECT_EQ(out.hr, S_OK);
    EXPECT_TRUE(SamplesNear(out.samples, expected, 0));
    ExpectOutput(setup, in, expected);
}

TEST_F(Volume, ConstantZoneAfterARampPlaysItsOwnGain) {  // fault 2
    // A constant level, and a ramp whose ends are equal, each after a ramp zone.
    const Signal in = VariedSignal(1, 8000, 500.0);
    Params ramp, half, flat;
    ramp.Set(OLESTR("dBStartLevel"), -20.0).Set(OLESTR("dBEndLevel"), 0.0);
    half.Set(OLESTR("dBVolumeLevel"), -6.0206);
    flat.Set(OLESTR("dBStartLevel"), -6.0206).Set(OLESTR("dBEndLevel"), -6.0206);
    const EffectSetup setup = ZoneVolume({{0.0, 100.0, true, ramp},
                                          {100.0, 100.0, true, half},
                                          {200.0, 100.0, true, ramp},
                                          {300.0, 100.0, true, flat}});
    const std::vector<int16_t> expected =
        ScaledInRanges(in, {{100.0, 200.0, 128}, {300.0, 400.0, 128}});
    for (const ReadPlan& plan : AllReadPlans()) {
        SCOPED_TRACE(plan.name);
        const RunOutput out = Run(setup, in, plan);
        ASSERT_EQ(out.samples.size(), in.samples.size());
        for (const size_t at : {800u, 2400u}) {
            EXPECT_TRUE(SamplesNear({out.samples.begin() + at, out.samples.begin() + at + 800},
                                    {expected.begin() + at, expected.begin() + at + 800}, 0));
        }
    }
}

TEST_F(Volume, ZeroLengthZoneChangesNothing) {  // fault 3
    const Signal in = VariedSignal(2, 8000, 300.0);
    Params rampParams;
    rampParams.Set(OLESTR("dBStartLevel"), -20.0).Set(OLESTR("dBEndLevel"), 10.0);
    const std::vector<Zone> around = {{0.0, 100.0, true, Level(0.5)},
                                      {100.0, 100.0, true, Level(2.0)}};
    std::vector<Zone> with = around;
    with.insert(with.begin() + 1, Zone(100.0, 0.0, true, rampParams));
    ExpectOutput(ZoneVolume(with), in,
                 ScaledInRanges(in, {{0.0, 100.0, 128}, {100.0, 200.0, 512}}));

    // Its steps are 0, not a division by its length.
    test::Open<CVolumeFilter> engine(GUID{}, GUID{}, 0, 0);
    engine.m_pParams = doubles.NewParams(ZoneVolume(with).params.store).As<IEffectParams>();
    ComPtr<RecordingEffectZones> zones = doubles.NewZones();
    for (const Zone& z : with) {
        host::ZoneValues v;
        v.start = z.start, v.duration = z.duration, v.params = z.params.store;
        LONG id = 0;
        ASSERT_EQ(zones->Add(v, &id), S_OK);
    }
    ASSERT_EQ(engine.PutEffectZones(static_cast<IEffectZones*>(zones.Get())), S_OK);
    engine.LoadParams();
    engine.BuildChannelFilters();
    ASSERT_EQ(engine.Zones().size(), 3u);
    const VolumeZoneRecord& empty = engine.Zones()[1];
    EXPECT_EQ(empty.mode, 1);
    EXPECT_EQ(empty.lengthBytes, 0);
    EXPECT_EQ(empty.gainStep, 0.0);
    EXPECT_EQ(empty.levelStep, 0.0);
}

}  // namespace
}  // namespace corvane::testing
