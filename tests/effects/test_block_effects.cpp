// The invert, silence, volume, echo and reverse effects through their COM classes against naive
// models of their formulas: whole, in uneven blocks and frame by frame, over channel counts and
// rates, inside zones whose edges fall within blocks, and disabled.
#include "tests/effects/harness.h"

#include <cmath>

namespace corvane::testing {
namespace {

constexpr double kPi = 3.141592653589793;

// A model that works sample by sample on the interleaved signal.
Model PerSample(std::function<int16_t(int16_t)> f) {
    return [f](const Signal& in) {
        std::vector<int16_t> out(in.samples.size());
        std::transform(in.samples.begin(), in.samples.end(), out.begin(), f);
        return out;
    };
}

int16_t Negated(int16_t x) {
    return static_cast<int16_t>(std::clamp(-int{x}, -32768, 32767));
}

// clamp(floor((x g + 128) / 256)): a Q8 gain on one sample.
int16_t ScaledQ8(int16_t x, int64_t g) {
    const int64_t v = x * g + 128;
    const int64_t q = v >= 0 ? v / 256 : -((-v + 255) / 256);
    return static_cast<int16_t>(std::clamp<int64_t>(q, -32768, 32767));
}

Model ConstantGainModel(int64_t g) {
    return PerSample([g](int16_t x) { return ScaledQ8(x, g); });
}

// The interval's frames, each scaled by factor(frame / frames), rounded to the nearest sample:
// the ramps meet it within 1 LSB (they round in single precision, the last frames of a block down).
Model RampModel(std::function<double(double)> factor) {
    return [factor](const Signal& in) {
        std::vector<int16_t> out(in.samples.size());
        const int64_t frames = in.Frames();
        for (size_t k = 0; k < out.size(); ++k) {
            const double at = static_cast<double>(static_cast<int64_t>(k) / in.Channels()) / frames;
            const double v = std::nearbyint(in.samples[k] * factor(at));
            out[k] = static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0));
        }
        return out;
    };
}

// A linear ramp of Q8 gains from g0 to g1.
Model GainRampModel(double g0, double g1) {
    return RampModel([=](double at) { return (g0 + (g1 - g0) * at) / 256.0; });
}

// A linear ramp of levels in dB from l0 to l1.
Model LevelRampModel(double l0, double l1) {
    return RampModel([=](double at) { return std::pow(10.0, (l0 + (l1 - l0) * at) / 20.0); });
}

using BlockEffect = ModeledEffect;

std::vector<BlockEffect> AllBlockEffects() {
    std::vector<BlockEffect> all;
    all.push_back({"invert", &CLSID_InvertFilter5, {}, PerSample(Negated)});
    all.push_back(
        {"silence", &CLSID_SilenceFilter5, {}, PerSample([](int16_t) -> int16_t { return 0; })});
    {
        // -6 dB is gain 128, applied once: the engine's output level does not act on top.
        BlockEffect e{"volume_minus6dB", &CLSID_VolumeFilter5, {}, ConstantGainModel(128)};
        e.params.Set(OLESTR("dBVolumeLevel"), -6.0);
        all.push_back(e);
    }
    {
        BlockEffect e{"volume_ramp_decibels", &CLSID_VolumeFilter5, {}, nullptr, 1};
        e.params.Set(OLESTR("VolumeScale"), 255)
            .Set(OLESTR("dBStartLevel"), -20.0)
            .Set(OLESTR("dBEndLevel"), 6.0);
        e.model = GainRampModel(std::round(std::pow(10.0, -1.0) * 256.0),
                                std::round(std::pow(10.0, 0.3) * 256.0));
        all.push_back(e);
    }
    {
        BlockEffect e{"volume_ramp_percent", &CLSID_VolumeFilter5, {}, GainRampModel(128, 307), 1};
        e.params.Set(OLESTR("dBStartLevel"), -50.0).Set(OLESTR("dBEndLevel"), 20.0);
        all.push_back(e);
    }
    {
        BlockEffect e{"volume_level_ramp", &CLSID_VolumeFilter5, {}, LevelRampModel(-12.0, 3.0), 1};
        e.params.Set(OLESTR("VolumeScale"), 1)
            .Set(OLESTR("dBStartLevel"), -12.0)
            .Set(OLESTR("dBEndLevel"), 3.0);
        all.push_back(e);
    }
    {
        // Mixed in single precision, which holds these sums exactly.
        BlockEffect e{"volume_strength", &CLSID_VolumeFilter5, {}, nullptr};
        e.params.Set(OLESTR("VolumeLevel"), 2.0);
        SetStrengths(e.params, 0.25, 0.25, 0.25);
        e.model = PerSample([](int16_t x) {
            const float processed = ScaledQ8(x, 512);
            return static_cast<int16_t>(std::trunc(0.25f * processed + 0.75f * x));
        });
        all.push_back(e);
    }
    return all;
}

using BlockEffects = ModeledEffects;

TEST_P(BlockEffects, MatchTheModelInEveryReadingLayoutAndZone) {
    ExpectModelInEveryLayout(Setup(), GetParam().model, GetParam().tolerance);
}

TEST_P(BlockEffects, DisabledLeavesTheBytes) {
    const Signal in = VariedSignal(2, 22050, 400.0);
    EffectSetup setup = Setup();
    setup.enabled = false;
    setup.zones = {{100.0, 200.0}};
    ExpectOutput(setup, in, in.samples);
}

INSTANTIATE_TEST_SUITE_P(Each, BlockEffects, ::testing::ValuesIn(AllBlockEffects()),
                         [](const auto& info) { return info.param.name; });

using BlockEdges = EffectHarness;

TEST_F(BlockEdges, SilenceFadesItsEdgesWithSmoothing) {
    // One read: the head fades over the left smoothing time, the tail over the right one, each
    // limited to a tenth of the block (far longer here); the input's own samples fade against the
    // silence with the cross-fader's quarter-sine weight.
    const Signal in = VariedSignal(2, 8000, 1000.0);
    EffectSetup setup = Effect(CLSID_SilenceFilter5);
    setup.params.Set(OLESTR("SmoothEnabled"), true)
        .Set(OLESTR("LSmoothTime"), 30)
        .Set(OLESTR("RSmoothTime"), 45);
    setup.zones = {{200.0, 500.0}};
    const int64_t first = 1600, end = 5600, head = 240, tail = 360;
    std::vector<int16_t> expected = in.samples;
    for (int64_t f = first; f < end; ++f) {
        double weight = 0.0;  // of the input
        if (f - first < head) weight = 1.0 - std::sin((f - first) * kPi / (2.0 * head));
        if (end - f <= tail) weight = std::sin((f - (end - tail)) * kPi / (2.0 * tail));
        for (int c = 0; c < 2; ++c) {
            const size_t k = static_cast<size_t>(f * 2 + c);
            const double v = 32768.0 * (weight * (in.samples[k] / 32768.0));
            expected[k] = static_cast<int16_t>(static_cast<int32_t>(v));
        }
    }
    const RunOutput out = Run(setup, in, AllReadPlans()[0]);
    EXPECT_EQ(out.hr, S_OK);
    EXPECT_TRUE(SamplesNear(out.samples, expected, 0));
}

}  // namespace
}  // namespace corvane::testing
