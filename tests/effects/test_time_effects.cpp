// The band, reverb, delay, flanger, vibrato and wah-wah effects through their COM classes against
// naive models of their formulas (time_models.h): whole, in uneven blocks and frame by frame, over
// channel counts and rates, inside zones whose edges fall within blocks, under strengths, disabled,
// and from the start again after a seek.
#include "tests/effects/harness.h"
#include "tests/effects/time_models.h"

#include <cmath>

namespace corvane::testing {
namespace {

constexpr double kTwoPi = 6.283185307179586;

using TimeEffect = ModeledEffect;

std::vector<TimeEffect> AllTimeEffects() {
    std::vector<TimeEffect> all;
    {
        TimeEffect e{"band_peaking", &CLSID_BandFilter5, {}, nullptr, 0};
        e.params.Set(OLESTR("FilterType"), 7)
            .Set(OLESTR("Frequency"), 700.0)
            .Set(OLESTR("Steepness"), 150.0)
            .Set(OLESTR("dbGain"), 9.0);
        e.model = PerChannelModel(
            [](const Channel& x, int rate) { return BandModel(x, rate, 7, 700.0, 150.0, 9.0); });
        all.push_back(e);
    }
    {
        TimeEffect e{"reverb", &CLSID_ReverbFilter5, {}, nullptr, 0};
        e.params.Set(OLESTR("nTapDelay"), 6)
            .Set(OLESTR("ReverbrationFrequency"), 2500.0)
            .Set(OLESTR("ReverbrationGain"), 60.0)
            .Set(OLESTR("FeedBackGain"), 40.0)
            .Set(OLESTR("MixDepth"), 50.0)
            .Set(OLESTR("DelayTime"), 9.5);
        ReverbModelSettings s;
        s.combs = 6, s.lowPassHz = 2500.0f, s.combGain = 0.6f, s.feedback = 0.4f, s.mix = 0.5f;
        s.delayMs = 9.5f;
        e.model =
            PerChannelModel([s](const Channel& x, int rate) { return ReverbModel(x, rate, s); });
        all.push_back(e);
    }
    for (int type : {1, 2}) {
        TimeEffect e{"delay_type" + std::to_string(type), &CLSID_DelayFilter5, {}, nullptr, 0};
        e.params.Set(OLESTR("EffectType"), type)
            .Set(OLESTR("FeedBackGain"), 45.0)
            .Set(OLESTR("MixDepth"), 35.0)
            .Set(OLESTR("DelayTime"), 12.5);
        e.model = PerChannelModel([type](const Channel& x, int rate) {
            return DelayModel(x, rate, type, 0.35f, 0.45f, 12.5f);
        });
        all.push_back(e);
    }
    {
        TimeEffect e{"flanger", &CLSID_FlangerFilter5, {}, nullptr, 0};
        e.params.Set(OLESTR("EffectType"), 3)
            .Set(OLESTR("SweepPhase"), 30.0)
            .Set(OLESTR("SweepRate"), 80.0)
            .Set(OLESTR("SweepDepth"), 70.0)
            .Set(OLESTR("FeedBackGain"), 30.0)
            .Set(OLESTR("MixDepth"), 50.0)
            .Set(OLESTR("DelayRate"), 60.0);
        FlangerModelSettings s;
        s.type = 3, s.delayRate = 60.0f, s.mix = 0.5f, s.feedback = 0.3f, s.sweepDepth = 70.0f;
        s.sweepRate = 80.0f, s.sweepPhase = static_cast<float>(30.0 * kTwoPi / 360.0);
        e.model =
            PerChannelModel([s](const Channel& x, int rate) { return FlangerModel(x, rate, s); });
        all.push_back(e);
    }
    {
        // 1 LSB: the vibrato's phase is rounded per block in single precision.
        TimeEffect e{"vibrato", &CLSID_VibratoFilter5, {}, nullptr, 1};
        e.params.Set(OLESTR("SweepPhase"), 45.0)
            .Set(OLESTR("SweepFrequency"), 7.0)
            .Set(OLESTR("SweepDepth"), 40.0);
        const float phase = static_cast<float>(45.0 * kTwoPi / 360.0);
        e.model = PerChannelModel([phase](const Channel& x, int rate) {
            return VibratoModel(x, rate, 7.0f, 0.4f, phase);
        });
        all.push_back(e);
    }
    {
        TimeEffect e{"wahwah", &CLSID_WahWahFilter5, {}, nullptr, 0};
        e.params.Set(OLESTR("Depth"), 80)
            .Set(OLESTR("LFOStartPhase"), 90)
            .Set(OLESTR("LFOFrequency"), 3.0)
            .Set(OLESTR("Resonance"), 4.0)
            .Set(OLESTR("WahFreqOffset"), 20);
        WahWahModelSettings s;
        s.depth = 0.8, s.startPhase = 90 * 3.14159265358979323846 / 180.0, s.lfoHz = 3.0f;
        s.resonance = 4.0f, s.offset = 0.2;
        e.model =
            PerChannelModel([s](const Channel& x, int rate) { return WahWahModel(x, rate, s); });
        all.push_back(e);
    }
    return all;
}

using TimeEffects = ModeledEffects;

TEST_P(TimeEffects, MatchTheModelInEveryReadingLayoutAndZone) {
    ExpectModelInEveryLayout(Setup(), GetParam().model, GetParam().tolerance);
}

TEST_P(TimeEffects, StrengthMixesWetAndDryDisabledLeavesTheAudio) {
    // Quiet enough that the wet signal never clips: the engine mixes before it clamps.
    Signal in = VariedSignal(2, 22050, 400.0);
    for (int16_t& v : in.samples) v = static_cast<int16_t>(v / 8);
    EffectSetup setup = Setup();
    SetStrengths(setup.params, 0.5, 0.25, 1.0);
    ExpectOutput(setup, in, WithStrengths(GetParam().model, 0.5, 0.25, 1.0)(in),
                 GetParam().tolerance + 1);
    setup.enabled = false;
    ExpectOutput(setup, in, in.samples);
}

TEST_P(TimeEffects, StartOverAfterASeek) {
    const Signal in = VariedSignal(2, 16000, 500.0);
    ExpectStartOverAfterSeeks(Setup(), in, GetParam().model, GetParam().tolerance);
}

INSTANTIATE_TEST_SUITE_P(Each, TimeEffects, ::testing::ValuesIn(AllTimeEffects()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace corvane::testing
