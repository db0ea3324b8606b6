// The graph-based noise gate and parametric equaliser through their COM class against the same
// mono graph built directly with FFmpeg's own graph parser (graph_reference.h), whole, in uneven
// blocks and frame by frame: bit-identical for the gate's options and the equaliser's band types,
// untouched where no graph runs, mixed by strength, from the start after a seek, and the same
// under a comma-decimal locale.
#include "tests/effects/graph_reference.h"
#include "tests/effects/harness.h"

#include "effects/AudioFilter.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>

namespace corvane::testing {
namespace {

using Channel = std::vector<double>;

std::string Num(double v) {
    char text[64];
    std::snprintf(text, sizeof(text), "%.17g", v);
    return text;
}

struct GateOptions {
    double levelIn = 1.0, range = 0.06125, threshold = 0.125, ratio = 2.0, attack = 20.0,
           release = 250.0, makeup = 1.0, knee = 2.828427125;
    int detection = 1, link = 0;
    double levelSc = 1.0;
};

Model GateModel(const GateOptions& o) {
    const std::string text = "agate=level_in=" + Num(o.levelIn) + ":range=" + Num(o.range) +
                             ":threshold=" + Num(o.threshold) + ":ratio=" + Num(o.ratio) +
                             ":attack=" + Num(o.attack) + ":release=" + Num(o.release) +
                             ":makeup=" + Num(o.makeup) + ":knee=" + Num(o.knee) +
                             ":detection=" + std::to_string(o.detection) +
                             ":link=" + std::to_string(o.link) + ":level_sc=" + Num(o.levelSc);
    return PerChannelModel([text](const Channel& x, int rate) {
        return GraphOnChannel(text, AV_SAMPLE_FMT_DBL, x, rate);
    });
}

struct Band {
    double f, w, g;
};

// The equaliser's bands as the library reads them: "c0 f=%f w=%f g=%f t=%d" joined by "|".
Model EqualizerModel(const std::vector<Band>& bands, int t) {
    std::string params;
    for (const Band& b : bands) {
        char entry[200];
        std::snprintf(entry, sizeof(entry), "c0 f=%f w=%f g=%f t=%d", b.f, b.w, b.g, t);
        params += (params.empty() ? "" : "|") + std::string(entry);
    }
    const std::string text = "anequalizer=params='" + params + "'";
    return PerChannelModel([text](const Channel& x, int rate) {
        return GraphOnChannel(text, AV_SAMPLE_FMT_DBLP, x, rate);
    });
}

Params EqualizerParams(std::vector<double> f, std::vector<double> w, std::vector<double> g, int t) {
    Params p;
    p.Set(OLESTR("FilterType"), 1)
        .Set(OLESTR("EqualizerType"), t)
        .Set(OLESTR("FrequencyArray"), host::DoubleArray(f.data(), f.size()))
        .Set(OLESTR("WidthArray"), host::DoubleArray(w.data(), w.size()))
        .Set(OLESTR("dbGainArray"), host::DoubleArray(g.data(), g.size()));
    return p;
}

struct GraphCase {
    std::string name;
    Params params;
    Model model;  // none: the audio passes untouched
};

Model ModelOf(const GraphCase& c) {
    if (c.model) return c.model;
    return [](const Signal& in) { return in.samples; };
}

std::ostream& operator<<(std::ostream& os, const GraphCase& c) {
    return os << c.name;
}

std::vector<GraphCase> AllCases() {
    std::vector<GraphCase> all;
    all.push_back({"gate_defaults", Params().Set(OLESTR("FilterType"), 2), GateModel({})});
    {
        GateOptions o;
        o.levelIn = 1.5, o.range = 0.1, o.threshold = 0.05, o.ratio = 4.0, o.attack = 5.0;
        o.release = 100.0, o.makeup = 2.0, o.knee = 4.0, o.detection = 0, o.link = 1;
        o.levelSc = 0.5;
        Params p;
        p.Set(OLESTR("FilterType"), 2)
            .Set(OLESTR("LevelIn"), 1.5)
            .Set(OLESTR("Range"), 0.1)
            .Set(OLESTR("Threshold"), 0.05)
            .Set(OLESTR("Ratio"), 4.0)
            .Set(OLESTR("Attack"), 5.0)
            .Set(OLESTR("Release"), 100.0)
            .Set(OLESTR("Makeup"), 2.0)
            .Set(OLESTR("knee"), 4.0)
            .Set(OLESTR("Detection"), 0)
            .Set(OLESTR("Link"), 1)
            .Set(OLESTR("LevelSC"), 0.5);
        all.push_back({"gate_options", p, GateModel(o)});
    }
    // A ratio below the library's range is refused there: its default stays, as for a key left
    // out.
    all.push_back({"gate_refused_ratio",
                   Params().Set(OLESTR("FilterType"), 2).Set(OLESTR("Ratio"), 0.5), GateModel({})});
    // A setting that is not finite counts as left out: the gate runs on its default.
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        const char* name;
        LPCOLESTR key;
        double value;
    } nonFinite[] = {{"nan_range", OLESTR("Range"), std::nan("")},
                     {"inf_threshold", OLESTR("Threshold"), inf},
                     {"minus_inf_attack", OLESTR("Attack"), -inf},
                     {"nan_knee", OLESTR("knee"), std::nan("")},
                     {"inf_level_sc", OLESTR("LevelSC"), inf}};
    for (const auto& n : nonFinite) {
        all.push_back({std::string("gate_") + n.name,
                       Params().Set(OLESTR("FilterType"), 2).Set(n.key, n.value), GateModel({})});
    }
    const std::vector<Band> bands = {
        {200.0, 100.0, 6.0}, {1500.0, 500.0, -9.0}, {6000.0, 2000.0, 4.5}};
    for (int t : {0, 1, 2}) {
        all.push_back(
            {"equalizer_t" + std::to_string(t),
             EqualizerParams({200.0, 1500.0, 6000.0}, {100.0, 500.0, 2000.0}, {6.0, -9.0, 4.5}, t),
             EqualizerModel(bands, t)});
    }
    all.push_back({"equalizer_small_gain_left_out",
                   EqualizerParams({1000.0, 3000.0}, {100.0, 300.0}, {6.0, 0.0005}, 1),
                   EqualizerModel({{1000.0, 100.0, 6.0}}, 1)});
    all.push_back({"equalizer_zero_gains",
                   EqualizerParams({1000.0, 3000.0}, {100.0, 300.0}, {0.0, 0.0}, 0), nullptr});
    all.push_back({"equalizer_short_widths",
                   EqualizerParams({1000.0, 3000.0}, {100.0}, {6.0, 3.0}, 0), nullptr});
    all.push_back({"equalizer_short_gains",
                   EqualizerParams({1000.0, 3000.0}, {100.0, 300.0}, {6.0}, 0), nullptr});
    all.push_back({"type_3", Params().Set(OLESTR("FilterType"), 3), nullptr});
    all.push_back({"no_type", Params().Set(OLESTR("Threshold"), 0.5), nullptr});
    return all;
}

class GraphGateEq : public EffectHarness, public ::testing::WithParamInterface<GraphCase> {
protected:
    EffectSetup Setup() const {
        EffectSetup setup = Effect(CLSID_AudioFilter5);
        setup.params = GetParam().params;
        return setup;
    }
};

TEST_P(GraphGateEq, MatchesTheGraphRunDirectly) {
    struct Layout {
        int channels, rate;
        double ms;
        std::vector<Zone> zones;
    } layouts[] = {
        {1, 8000, 500.0, {}},
        {2, 44100, 300.0, {{41.3, 120.0}, {100.0, 150.7}, {20.0, 5.0, false}}},
    };
    for (const Layout& l : layouts) {
        SCOPED_TRACE(::testing::Message() << l.channels << " channels at " << l.rate);
        const Signal in = VariedSignal(l.channels, l.rate, l.ms);
        EffectSetup setup = Setup();
        setup.zones = l.zones;
        const std::vector<int16_t> expected = Expected(in, l.zones, ModelOf(GetParam()));
        // Where a graph runs, it changes the audio.
        EXPECT_EQ(expected == in.samples, !GetParam().model);
        ExpectOutput(setup, in, expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Each, GraphGateEq, ::testing::ValuesIn(AllCases()),
                         [](const auto& info) { return info.param.name; });

class GraphGateEqRuns : public EffectHarness {};

TEST_F(GraphGateEqRuns, StrengthMixesHalfGraphHalfDryAndSeekStartsOver) {
    Signal in = VariedSignal(2, 16000, 500.0);
    for (int16_t& v : in.samples) v = static_cast<int16_t>(v / 8);
    for (const GraphCase& c : {AllCases()[1], AllCases()[4]}) {
        SCOPED_TRACE(c.name);
        EffectSetup setup = Effect(CLSID_AudioFilter5);
        setup.params = c.params;
        SetStrengths(setup.params, 0.5, 0.5, 0.5);
        ExpectOutput(setup, in, WithStrengths(c.model, 0.5, 0.5, 0.5)(in), 1);

        setup.params = c.params;
        Signal rest = in;
        rest.samples.erase(rest.samples.begin(), rest.samples.begin() + 210 * 16 * 2);
        const SeekPoint seek{300.0, 210.0};
        ExpectOutput(setup, in, c.model(rest), 0, &seek);
    }
}

TEST_F(GraphGateEqRuns, CommaDecimalLocaleChangesNothing) {
    const GraphCase c = AllCases()[4];  // bands with fractional gains
    const Signal in = VariedSignal(1, 22050, 200.0);
    const std::vector<int16_t> expected = c.model(in);
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (!SetCommaDecimalLocale()) GTEST_SKIP() << "no comma-decimal locale";
    EffectSetup setup = Effect(CLSID_AudioFilter5);
    setup.params = c.params;
    const RunOutput out = Run(setup, in, AllReadPlans()[1]);
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_TRUE(SamplesNear(out.samples, expected, 0));
}

class ProbedAudioChannel : public Probed<CAudioChannelFilter> {
public:
    using Probed::Probed;
};

TEST_F(GraphGateEqRuns, BandTextAndNoOutputHeldBack) {
    Params p = EqualizerParams({1000.0, 3000.0}, {100.0, 300.0}, {6.0, 0.0005}, 1);
    ChannelRig<CAudioFilter, ProbedAudioChannel> eq(doubles, p, 44100);
    EXPECT_EQ(eq.channel.EqualizerParams(), "c0 f=1000.000000 w=100.000000 g=6.000000 t=1");
    ChannelRig<CAudioFilter, ProbedAudioChannel> gate(doubles,
                                                      Params().Set(OLESTR("FilterType"), 2), 44100);
    for (auto* rig : {&eq.channel, &gate.channel}) {
        ASSERT_TRUE(rig->GraphReady());
        for (int n : {1, 441, 4096, 7}) {
            const std::vector<double> x(static_cast<size_t>(n), 0.25);
            EXPECT_EQ(rig->Process(x).size(), static_cast<size_t>(n));
            EXPECT_EQ(rig->QueuedSamples(), 0u);
        }
    }
}

}  // namespace
}  // namespace corvane::testing
