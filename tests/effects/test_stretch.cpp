// The stretch effect through its COM class against SoundTouch driven directly with the same
// settings (one put): bit-identical up to its ending; whole, in uneven blocks, frame by frame, over
// tempo, rate, pitch, both modes, the anti-alias filter, channel counts and rates; inside a zone,
// whose outside stays untouched and whose length follows "Rate"; seeks mapped to input time;
// channel counts SoundTouch refuses passed through.
#include "tests/effects/soundtouch_reference.h"

#include "effects/StretchFilter.h"

#include <cmath>

namespace corvane::testing {
namespace {

struct StretchCase {
    std::string name;
    int channels, rate;
    StretchSettings settings;
};

std::ostream& operator<<(std::ostream& os, const StretchCase& c) {
    return os << c.name;
}

// The keys of these settings, with the framework's "Rate" that matches them.
Params StretchParams(const StretchSettings& s) {
    Params p;
    p.Set(OLESTR("TempoRate"), s.tempo)
        .Set(OLESTR("RateRate"), s.rate)
        .Set(OLESTR("PitchShift"), s.pitch)
        .Set(OLESTR("Mode"), s.mode)
        .Set(OLESTR("Antialiasing"), s.antialiasing)
        .Set(OLESTR("Rate"), 1.0 / (s.tempo * s.rate));
    return p;
}

StretchSettings With(double tempo, double rate, double pitch, int mode = 0, int aa = 1) {
    StretchSettings s;
    s.tempo = tempo, s.rate = rate, s.pitch = pitch, s.mode = mode, s.antialiasing = aa;
    return s;
}

std::vector<StretchCase> AllCases() {
    return {
        {"defaults_stereo_44100", 2, 44100, With(1.0, 1.0, 0.0)},
        {"tempo_2_mono_8000", 1, 8000, With(2.0, 1.0, 0.0)},
        {"tempo_half_six_96000_mode_1", 6, 96000, With(0.5, 1.0, 0.0, 1)},
        {"tempo_1_5_no_antialiasing", 2, 44100, With(1.5, 1.0, 0.0, 0, 0)},
        {"rate_2_stereo_22050", 2, 22050, With(1.0, 2.0, 0.0)},
        {"pitch_up_octave_mono_44100", 1, 44100, With(1.0, 1.0, 12.0)},
        {"pitch_down_3_5_mode_1_8000", 2, 8000, With(0.8, 1.0, -3.5, 1, 0)},
    };
}

class Stretch : public SoundTouchHarness, public ::testing::WithParamInterface<StretchCase> {};

TEST_P(Stretch, MatchesSoundTouchDrivenDirectly) {
    const StretchCase& c = GetParam();
    const Signal in = VariedSignal(c.channels, c.rate, 400.0);
    EffectSetup setup = Effect(CLSID_StretchFilter5);
    setup.params = StretchParams(c.settings);
    ExpectWithEnding(setup, in, StretchFrom(c.settings, in, 0, in.Frames()),
                     StretchedSamples(c.settings, in, 0, in.Frames()));
}

INSTANTIATE_TEST_SUITE_P(Each, Stretch, ::testing::ValuesIn(AllCases()),
                         [](const auto& info) { return info.param.name; });

class StretchRuns : public SoundTouchHarness {
protected:
    static Signal Slice(const Signal& in, double fromMs, double toMs) {
        Signal part = in;
        const auto at = [&](double ms) {
            return in.samples.begin() +
                   static_cast<std::ptrdiff_t>(ms * in.Rate() / 1000.0) * in.Channels();
        };
        part.samples.assign(at(fromMs), at(toMs));
        return part;
    }
};

TEST_F(StretchRuns, AZoneStretchesOnlyItselfAndSeeksMapToInputTime) {
    const Signal in = VariedSignal(2, 8000, 5000.0);
    const std::vector<Zone> zone = {{1000.0, 2000.0}};
    for (const StretchSettings& s : {With(2.0, 1.0, 0.0), With(0.5, 1.0, 3.0, 1)}) {
        const double rate = 1.0 / (s.tempo * s.rate);
        SCOPED_TRACE(::testing::Message() << "Rate " << rate);
        EffectSetup setup = Effect(CLSID_StretchFilter5);
        setup.params = StretchParams(s);
        setup.zones = zone;
        // The zone's end is pushed out of SoundTouch by the input that follows it.
        std::vector<int16_t> expected(in.samples.begin(), in.samples.begin() + 8000 * 2);
        const std::vector<int16_t> zoneOn = StretchFrom(s, in, 8000, 24000);
        expected.insert(expected.end(), zoneOn.begin(), zoneOn.end());
        const RunOutput out = ExpectOutput(setup, in, expected);
        // The interval of 2000 ms lasts 2000 x Rate ms, as the duration the effect reports says.
        const double outMs = static_cast<double>(out.samples.size()) / 2 / 8.0;
        EXPECT_NEAR(outMs, 5000.0 + (rate - 1.0) * 2000.0, 10.0);

        // Output time 1300 ms lies 300 ms into the stretched interval: input 1000 + 300 / Rate.
        const double inputMs = 1000.0 + 300.0 / rate;
        const SeekPoint seek{500.0, 1300.0};
        ExpectOutput(setup, in, StretchFrom(s, in, static_cast<int64_t>(inputMs * 8), 24000), 0,
                     &seek);
    }
    // Disabled, a seek goes to the same time of the input.
    EffectSetup setup = Effect(CLSID_StretchFilter5);
    setup.params = StretchParams(With(2.0, 1.0, 0.0));
    setup.zones = zone;
    setup.enabled = false;
    const SeekPoint seek{500.0, 1300.0};
    ExpectOutput(setup, in, Slice(in, 1300.0, 5000.0).samples, 0, &seek);
}

TEST_F(StretchRuns, WhatSoundTouchCannotTakeIsIgnoredOrPassedThrough) {
    const Signal in = VariedSignal(2, 8000, 300.0);
    // Factors SoundTouch would never finish with, or multiply the audio without bound, and a pitch
    // beyond five octaves, are ignored: the defaults stay.
    const double nan = std::nan("");
    const struct {
        double factor, pitch;
    } bad[] = {{0.0, 61.0}, {-1.0, -61.0}, {0.001, 1e300}, {1e300, nan}, {nan, -HUGE_VAL}};
    for (const auto& b : bad) {
        SCOPED_TRACE(::testing::Message() << b.factor << ", " << b.pitch);
        EffectSetup setup = Effect(CLSID_StretchFilter5);
        setup.params.Set(OLESTR("TempoRate"), b.factor)
            .Set(OLESTR("RateRate"), b.factor)
            .Set(OLESTR("PitchShift"), b.pitch);
        ExpectWithEnding(setup, in, StretchFrom({}, in, 0, in.Frames()),
                         StretchedSamples({}, in, 0, in.Frames()));
    }
    // SoundTouch takes at most 16 channels: 17 pass untouched.
    const Signal wide = VariedSignal(17, 8000, 100.0);
    EffectSetup setup = Effect(CLSID_StretchFilter5);
    setup.params = StretchParams(With(2.0, 1.0, 0.0));
    setup.params.Set(OLESTR("Rate"), 1.0);
    ExpectOutput(setup, wide, wide.samples);
}

TEST_F(StretchRuns, ARateThatDoesNotMatchNeitherHangsNorOverruns) {
    // Tempo 2 halves the interval while the framework expects it unchanged ("Rate" 1): the run
    // still ends, and never with more audio than went in.
    const Signal in = VariedSignal(2, 8000, 1000.0);
    for (const std::vector<Zone>& zones :
         {std::vector<Zone>{}, std::vector<Zone>{{200.0, 400.0}}}) {
        EffectSetup setup = Effect(CLSID_StretchFilter5);
        setup.params.Set(OLESTR("TempoRate"), 2.0);
        setup.zones = zones;
        for (const ReadPlan& plan : AllReadPlans()) {
            SCOPED_TRACE(plan.name);
            const RunOutput out = Run(setup, in, plan);
            EXPECT_EQ(out.hr, S_OK);
            EXPECT_TRUE(out.ended);
            EXPECT_LE(out.samples.size(), in.samples.size());
        }
    }
}

}  // namespace
}  // namespace corvane::testing
