// The harness on the effects as they stand before their engines land (the framework's default
// channel filter, which returns no samples, in every class): disabled, every class hands the
// upstream audio on untouched; enabled, the classes that keep the sample count pass their audio on
// unchanged, while the median class, which may change it, drops the audio of the effect interval
// and moves the rest up (the engine counts the input it took, so it reads nothing past the
// stream's end). Whole, in uneven blocks and frame by frame alike.
#include "tests/effects/harness.h"

namespace corvane::testing {
namespace {

class Placeholder : public EffectHarness, public ::testing::WithParamInterface<EffectSetup> {};
class StillPlaceholder : public Placeholder {};

// The classes whose engines have landed; their own tests take over from the placeholder's.
bool Built(const EffectSetup& setup) {
    static const char* const kBuilt[] = {"BandFilter5",    "ReverbFilter5",   "DelayFilter5",
                                         "FlangerFilter5", "VibratoFilter5",  "WahWahFilter5",
                                         "InvertFilter5",  "SilenceFilter5",  "VolumeFilter5",
                                         "EchoFilter5",    "EqualizeFilter5", "ReverseFilter5"};
    // The graph effects, stretch and pitch shift.
    static const char* const kBuiltOnLibraries[] = {"AudioFilter5", "AudioFilterNB5",
                                                    "StretchFilter5", "PitchShiftFilter5"};
    for (const char* name : kBuilt) {
        if (setup.name == name) return true;
    }
    for (const char* name : kBuiltOnLibraries) {
        if (setup.name == name) return true;
    }
    return false;
}

std::vector<EffectSetup> Placeholders() {
    std::vector<EffectSetup> left;
    for (const EffectSetup& setup : AllEffects()) {
        if (!Built(setup)) left.push_back(setup);
    }
    return left;
}

TEST_P(Placeholder, DisabledHandsTheAudioOnUntouched) {
    EffectSetup setup = GetParam();
    setup.enabled = false;
    setup.zones = {{100.0, 200.0}};
    const Signal in = VariedSignal(2, 8000, 500.0);
    ExpectOutput(setup, in, in.samples);
}

TEST_P(StillPlaceholder, EnabledAsTheClassStands) {
    const Signal in = VariedSignal(2, 8000, 500.0);
    // The whole stream, and an interval whose edges fall inside the uneven blocks.
    for (const std::vector<Zone>& zones :
         {std::vector<Zone>{}, std::vector<Zone>{{120.5, 180.25}, {150.0, 20.0, false}}}) {
        EffectSetup setup = GetParam();
        setup.zones = zones;
        std::vector<int16_t> expected = in.samples;
        if (setup.traits.lengthChanges) {
            const auto [first, end] = IntervalFrames(in, zones);
            const auto at = [&](int64_t frame) { return expected.begin() + frame * 2; };
            expected.erase(at(first), at(end));
        }
        ExpectOutput(setup, in, expected);
    }
}

INSTANTIATE_TEST_SUITE_P(AllClasses, Placeholder, ::testing::ValuesIn(AllEffects()),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(NotBuilt, StillPlaceholder, ::testing::ValuesIn(Placeholders()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace corvane::testing
