// Every class of the class table, disabled, hands the upstream audio on untouched: whole, in uneven
// blocks and frame by frame alike.
#include "tests/effects/harness.h"

namespace corvane::testing {
namespace {

class Placeholder : public EffectHarness, public ::testing::WithParamInterface<EffectSetup> {};

TEST_P(Placeholder, DisabledHandsTheAudioOnUntouched) {
    EffectSetup setup = GetParam();
    setup.enabled = false;
    setup.zones = {{100.0, 200.0}};
    const Signal in = VariedSignal(2, 8000, 500.0);
    ExpectOutput(setup, in, in.samples);
}

INSTANTIATE_TEST_SUITE_P(AllClasses, Placeholder, ::testing::ValuesIn(AllEffects()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace corvane::testing
