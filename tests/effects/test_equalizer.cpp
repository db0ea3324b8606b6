// The equalizer through its COM class against a model (the 51 taps that the design routine gives
// for the band table, convolved from silence): whole, in uneven blocks and frame by frame, over
// channel counts and rates, inside zones, under strengths, disabled and after a seek. Then its
// tables, and the arrays that make no equalizer, which pass the audio unchanged.
#include "tests/effects/harness.h"

#include "effects/EqualizeFilter.h"
#include "effects/common/FirDesign.h"

#include <cmath>
#include <complex>
#include <cstring>
#include <limits>

namespace corvane::testing {
namespace {

using Channel = std::vector<double>;

constexpr double kPi = 3.14159265358979323846;

host::ParamBytes Floats(const std::vector<float>& v) {
    host::ParamBytes bytes(v.size() * sizeof(float));
    if (!v.empty()) std::memcpy(bytes.data(), v.data(), bytes.size());
    return bytes;
}

std::vector<float> Linear(const std::vector<float>& db) {
    std::vector<float> g;
    for (float v : db) g.push_back(static_cast<float>(std::pow(10.0, v / 20.0)));
    return g;
}

std::vector<double> TapsFor(const std::vector<float>& edges, const std::vector<float>& db,
                            int rate) {
    const std::vector<float> g = Linear(db);
    const CEqualizeChannelFilter::Tables t =
        CEqualizeChannelFilter::MakeTables(edges.data(), g.data(), g.size(), rate);
    FirTaps taps(CEqualizeChannelFilter::kOrder);
    DesignFirFromBands(taps, t.bands.data(), t.gains.data(), t.weights.data(),
                       static_cast<int>(t.bands.size()), static_cast<float>(rate));
    return std::vector<double>(taps.taps.begin(),
                               taps.taps.begin() + CEqualizeChannelFilter::kOrder);
}

// The equalizer's output for one channel: its taps over the channel from silence.
Model EqualizerModel(const std::vector<float>& edges, const std::vector<float>& db) {
    return PerChannelModel([edges, db](const Channel& x, int rate) {
        const std::vector<double> h = TapsFor(edges, db, rate);
        Channel y(x.size(), 0.0);
        for (size_t n = 0; n < x.size(); ++n) {
            for (size_t k = 0; k < h.size() && k <= n; ++k) y[n] += h[k] * x[n - k];
        }
        return y;
    });
}

Params EqualizerParams(const std::vector<float>& edges, const std::vector<float>& db) {
    Params p;
    p.Set(OLESTR("FrequencyArray"), Floats(edges)).Set(OLESTR("dbGainArray"), Floats(db));
    return p;
}

const std::vector<float> kEdges = {2000, 6000, 18400};
const std::vector<float> kDb = {-6, 0, -40};

using Equalizer = EffectHarness;

TEST_F(Equalizer, MatchesTheModelInEveryReadingLayoutAndZone) {
    struct Layout {
        int channels, rate;
        double ms;
        std::vector<Zone> zones;
        std::vector<float> edges, db;
    } layouts[] = {
        // Band edges far above half the rate, and a flat table that still runs the filter.
        {1, 8000, 500.0, {}, kEdges, kDb},
        {1, 8000, 300.0, {{30.0, 200.0}}, {1000}, {0}},
        {2, 44100, 300.0, {{41.3, 120.0}, {100.0, 150.7}, {20.0, 5.0, false}}, kEdges, kDb},
        {6, 96000, 120.0, {}, {1000, 4000}, {6, -6}},
    };
    for (const Layout& l : layouts) {
        SCOPED_TRACE(::testing::Message() << l.channels << " channels at " << l.rate);
        const Signal in = VariedSignal(l.channels, l.rate, l.ms);
        EffectSetup setup = Effect(CLSID_EqualizeFilter5);
        setup.params = EqualizerParams(l.edges, l.db);
        setup.zones = l.zones;
        const std::vector<int16_t> want = Expected(in, l.zones, EqualizerModel(l.edges, l.db));
        ASSERT_NE(want, in.samples);
        ExpectOutput(setup, in, want);
    }
}

TEST_F(Equalizer, StrengthMixesWetAndDryDisabledLeavesTheAudio) {
    Signal in = VariedSignal(2, 22050, 400.0);
    for (int16_t& v : in.samples) v = static_cast<int16_t>(v / 8);
    EffectSetup setup = Effect(CLSID_EqualizeFilter5);
    setup.params = EqualizerParams(kEdges, kDb);
    SetStrengths(setup.params, 0.5, 0.25, 1.0);
    ExpectOutput(setup, in, WithStrengths(EqualizerModel(kEdges, kDb), 0.5, 0.25, 1.0)(in), 1);
    setup.enabled = false;
    ExpectOutput(setup, in, in.samples);
}

TEST_F(Equalizer, SeekRedesignsFromSilence) {
    const Signal in = VariedSignal(2, 16000, 500.0);
    EffectSetup setup = Effect(CLSID_EqualizeFilter5);
    setup.params = EqualizerParams(kEdges, kDb);
    ExpectStartOverAfterSeeks(setup, in, EqualizerModel(kEdges, kDb));
}

TEST_F(Equalizer, ArraysThatMakeNoEqualizerPassTheAudioUnchanged) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* name;
        std::vector<float> edges, db;
        bool haveEdges, haveGains;
    } cases[] = {
        {"3 edges, 2 gains", {1000, 2000, 3000}, {3, -3}, true, true},
        {"2 edges, 3 gains", {1000, 2000}, {3, -3, 6}, true, true},
        {"gains only", {}, {3, -3}, false, true},
        {"edges only", {1000, 2000}, {}, true, false},
        {"neither", {}, {}, false, false},
        {"descending edges", {3000, 2000, 1000}, {3, -3, 6}, true, true},
        {"repeated edge", {1000, 1000}, {3, -3}, true, true},
        {"empty arrays", {}, {}, true, true},
        {"NaN edge", {1000, nan}, {3, -3}, true, true},
        {"edge at 0 Hz", {0, 1000}, {3, -3}, true, true},
        {"gain beyond float", {1000}, {1000}, true, true},
    };
    const Signal in = VariedSignal(2, 44100, 200.0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EffectSetup setup = Effect(CLSID_EqualizeFilter5);
        if (c.haveEdges) setup.params.Set(OLESTR("FrequencyArray"), Floats(c.edges));
        if (c.haveGains) setup.params.Set(OLESTR("dbGainArray"), Floats(c.db));
        ExpectOutput(setup, in, in.samples);
    }
}

TEST_F(Equalizer, GainsBelowFloatRangeGiveSilence) {
    // -1000 dB is 0 as a float: the user asked for silence, not for the input.
    const Signal in = VariedSignal(2, 44100, 200.0);
    EffectSetup setup = Effect(CLSID_EqualizeFilter5);
    setup.params = EqualizerParams({1000, 5000}, {-1000, -1000});
    ExpectOutput(setup, in, std::vector<int16_t>(in.samples.size(), 0));
}

struct Probe : Probed<CEqualizeChannelFilter> {
    using Probed::Probed;
    CAudioFIRFilter& Fir() { return m_fir; }
};

std::vector<float> Array(int32_t (CAudioFIRFilter::*get)(SAFEARRAY**), CAudioFIRFilter& f) {
    SAFEARRAY* sa = nullptr;
    EXPECT_EQ((f.*get)(&sa), 0);
    LONG upper = -1;
    SafeArrayGetUBound(sa, 1, &upper);
    std::vector<float> v(static_cast<size_t>(upper + 1));
    void* data = nullptr;
    if (!v.empty() && SUCCEEDED(SafeArrayAccessData(sa, &data))) {
        std::memcpy(v.data(), data, v.size() * sizeof(float));
        SafeArrayUnaccessData(sa);
    }
    SafeArrayDestroy(sa);
    return v;
}

TEST_F(Equalizer, TablesOfTheExample) {
    // [1000, 4000] Hz at [6, -6] dB: 0-1000 Hz at 10^(6/20), 1300-4000 Hz and from 4400 Hz to half
    // the rate at 10^(-6/20), weights 100; 51 taps, no fades of its own.
    ChannelRig<CEqualizeFilter, Probe> rig(doubles, EqualizerParams({1000, 4000}, {6, -6}), 44100);
    CAudioFIRFilter& fir = rig.channel.Fir();
    const float up = static_cast<float>(std::pow(10.0, 0.3)), down = 1.0f / up;
    EXPECT_FLOAT_EQ(up * static_cast<float>(std::pow(10.0, -0.3)), 1.0f);
    EXPECT_EQ(Array(&CAudioFIRFilter::get_Bands, fir),
              (std::vector<float>{0, 1000, -1, 1300, 4000, -1, 4400, 22050}));
    const std::vector<float> gains = Array(&CAudioFIRFilter::get_Gains, fir);
    ASSERT_EQ(gains.size(), 8u);
    EXPECT_EQ(gains[0], up);
    EXPECT_EQ(gains[1], up);
    for (int i : {3, 4, 6, 7}) EXPECT_FLOAT_EQ(gains[i], down) << i;
    EXPECT_EQ(gains[2], -1.0f);
    EXPECT_EQ(gains[5], -1.0f);
    EXPECT_EQ(Array(&CAudioFIRFilter::get_Weights, fir),
              (std::vector<float>{100, 100, -1, 100, 100, -1, 100, 100}));
    LONG order = 0, left = 0, right = 0;
    VARIANT_BOOL smooth = VARIANT_TRUE;
    fir.get_Order(&order), fir.get_LeftFadeTime(&left), fir.get_RightFadeTime(&right);
    fir.get_SmoothChanges(&smooth);
    EXPECT_EQ(order, 51);
    EXPECT_EQ(smooth, VARIANT_FALSE);
    EXPECT_EQ(left, rig.engine.m_lSmooth);
    EXPECT_EQ(right, rig.engine.m_rSmooth);
}

TEST_F(Equalizer, ResponseOfFlatTablesAndSingleGainsAndBoundedElsewhere) {
    // A table of one gain is met to within `within` dB everywhere up to half the rate (0: only
    // bounded). Left free above its last band, the design may rise without bound there (to about
    // 1e34 for the example); the last band runs to half the rate instead.
    struct Case {
        std::vector<float> edges, db;
        double within;
    } cases[] = {{{1000, 4000}, {6, -6}, 0.0}, {{100, 1000, 10000}, {3, 0, -3}, 0.0},
                 {{1000}, {0}, 0.1},           {{100, 1000, 4000, 10000}, {0, 0, 0, 0}, 0.1},
                 {{1000}, {-6}, 1e-9},         {{300, 3000, 12000}, {9.5f, 9.5f, 9.5f}, 1e-9}};
    for (const Case& c : cases) {
        ChannelRig<CEqualizeFilter, Probe> rig(doubles, EqualizerParams(c.edges, c.db), 44100);
        rig.Process(Channel(64, 0.0));
        const CFilter& s = rig.channel.Fir().Section();
        const std::vector<float> g = Linear(c.db);
        double peak = 0.0, worst = 0.0;  // |H|, and its distance in dB from the one gain
        for (int i = 0; i <= 4410; ++i) {
            std::complex<double> h = 0.0;
            for (int k = 0; k < s.TapCount(); ++k) {
                h += s.Taps()[k] * std::polar(1.0, -kPi * i / 4410.0 * k);
            }
            peak = std::max(peak, std::abs(h));
            worst = std::max(worst, std::fabs(20.0 * std::log10(std::abs(h) / g[0])));
        }
        EXPECT_LT(peak, 4.0 * *std::max_element(g.begin(), g.end())) << c.edges[0];
        EXPECT_LE(c.within > 0.0 ? worst : 0.0, c.within) << c.edges.size() << " bands";
    }
}

}  // namespace
}  // namespace corvane::testing
