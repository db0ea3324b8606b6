// The edge cases of the band, reverb, delay, flanger, vibrato and wah-wah effects, each fault
// mended in them, and the settings kept as they are that may run a filter away: each stays
// crash-free, its samples in range.
#include "tests/effects/harness.h"
#include "tests/effects/time_models.h"

#include "effects/BandFilter.h"
#include "effects/DelayFilter.h"
#include "effects/FlangerFilter.h"
#include "effects/ReverbFilter.h"
#include "effects/VibratoFilter.h"
#include "effects/WahWahFilter.h"

#include <cmath>
#include <complex>
#include <limits>
#include <optional>

namespace corvane::testing {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int64_t kBelow2To31 = 2147483640;  // a multiple of 30, 8 samples before 2^31

using TimeEdges = EffectHarness;

Channel Doubles(const std::vector<int16_t>& mono) {
    Channel x(mono.size());
    for (size_t i = 0; i < x.size(); ++i) x[i] = mono[i] / 32768.0;
    return x;
}

Channel Impulse(size_t n) {
    Channel x(n, 0.0);
    x[0] = 1.0;
    return x;
}

// Test classes that reach the counters of their channel filters.
struct Reverb : Probed<CReverbChannelFilter> {
    using Probed::Probed;
    void SetSeen(int64_t v) { m_samplesSeen = v; }
};
struct Delay : Probed<CDelayChannelFilter> {
    using Probed::Probed;
    void SetProcessed(int64_t v) { m_processed = v; }
};
struct Flanger : Probed<CFlangerChannelFilter> {
    using Probed::Probed;
    void SetProcessed(int64_t v) { m_processed = v; }
};
struct WahWah : Probed<CWahWahChannelFilter> {
    using Probed::Probed;
    void SetCounter(int64_t v) { m_counter = v; }
};
using Band = Probed<CBandChannelFilter>;
using Vibrato = Probed<CVibratoChannelFilter>;

TEST_F(TimeEdges, BandRedesignsOnARateChangeAndKeepsItsDesignOtherwise) {
    Params p;
    p.Set(OLESTR("FilterType"), 1).Set(OLESTR("Frequency"), 1500.0).Set(OLESTR("Steepness"), 90.0);
    const Channel x = Doubles(VariedSamples(2000, 1));
    ChannelRig<CBandFilter, Band> rig(doubles, p, 44100);
    const Channel head(x.begin(), x.begin() + 700), tail(x.begin() + 700, x.end());
    const Channel first = rig.Process(head);
    // Unchanged values: one continuous filter across the blocks.
    Channel whole = first, rest = rig.Process(tail);
    whole.insert(whole.end(), rest.begin(), rest.end());
    EXPECT_EQ(whole, BandModel(x, 44100, 1, 1500.0, 90.0, 0.0));
    // A new rate: the next block starts a new design from silence.
    rig.engine.m_wfx.nSamplesPerSec = 32000;
    EXPECT_EQ(rig.Process(head), BandModel(head, 32000, 1, 1500.0, 90.0, 0.0));
}

TEST_F(TimeEdges, BandRunsStableDesignsAndPassesTheOthersThrough) {
    // Over the keys' grid (missing keys included): a section whose poles lie inside the unit
    // circle filters as designed, any other passes the audio through unchanged.
    const std::optional<double> none;
    const Channel x = Doubles(VariedSamples(3000, 1));
    for (int type = 1; type <= 7; ++type) {
        for (const std::optional<double> hz : {none, {-1e3}, {0.0}, {1e3}, {2.3e4}, {3e4}}) {
            for (const std::optional<double> q : {none, {-70.7}, {0.0}, {70.7}, {1000.0}}) {
                Params p;
                p.Set(OLESTR("FilterType"), type).Set(OLESTR("dbGain"), 12.0);
                if (hz) p.Set(OLESTR("Frequency"), *hz);
                if (q) p.Set(OLESTR("Steepness"), *q);
                ChannelRig<CBandFilter, Band> rig(doubles, p, 44100);
                CFilter::Biquad c;
                const Channel model =
                    BandModel(x, 44100, type, hz.value_or(-1), q.value_or(-1), 12, &c);
                const auto root = std::sqrt(std::complex<double>(c.a1 * c.a1 - 4 * c.a2));
                const bool stable = std::abs(-c.a1 + root) < 2 && std::abs(-c.a1 - root) < 2;
                EXPECT_EQ(rig.Process(x), stable ? model : x)
                    << type << " " << hz.value_or(-1) << " " << q.value_or(-1);
            }
        }
    }
}

TEST_F(TimeEdges, ReverbDelayAndMix) {
    const Signal in = VariedSignal(1, 44100, 400.0);
    struct Case {
        const char* name;
        double delayMs, mix;
        int dryFrames;  // at the start (after a seek to 0 as well)
        bool allDry;
    } cases[] = {
        {"100 ms: L = 4410, wet from the first sample", 100.0, 50.0, 0, false},
        {"mix 0", 100.0, 0.0, 0, true},
        {"mix 150 ignored", 100.0, 150.0, 0, true},
        {"delay 0: L = 0, wet from the first sample", 0.0, 50.0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EffectSetup setup = Effect(CLSID_ReverbFilter5);
        setup.params.Set(OLESTR("DelayTime"), c.delayMs)
            .Set(OLESTR("MixDepth"), c.mix)
            .Set(OLESTR("ReverbrationGain"), 50.0)
            .Set(OLESTR("FeedBackGain"), 50.0);
        const SeekPoint toStart{150.0, 0.0};
        for (const SeekPoint* seek : {static_cast<const SeekPoint*>(nullptr), &toStart}) {
            const RunOutput out = Run(setup, in, AllReadPlans()[1], seek);
            ASSERT_EQ(out.samples.size(), in.samples.size());
            const auto firstWet =
                std::mismatch(out.samples.begin(), out.samples.end(), in.samples.begin()).first -
                out.samples.begin();
            EXPECT_EQ(firstWet, c.allDry ? static_cast<long>(in.samples.size()) : c.dryFrames);
        }
    }
}

TEST_F(TimeEdges, ReverbTapCountAboveTwentyIsIgnored) {
    // Combs of one length differ only where one starts at the end of its line: more of them do
    // at 0.3 ms (L = 6) with 20 combs than with 10.
    const Signal in = VariedSignal(1, 22050, 300.0);
    EffectSetup setup = Effect(CLSID_ReverbFilter5);
    setup.params.Set(OLESTR("DelayTime"), 0.3).Set(OLESTR("MixDepth"), 70.0);
    setup.params.Set(OLESTR("ReverbrationGain"), 80.0);
    const RunOutput standard = Run(setup, in, AllReadPlans()[0]);
    setup.params.Set(OLESTR("nTapDelay"), 25);
    ExpectOutput(setup, in, standard.samples);
    setup.params.Set(OLESTR("nTapDelay"), 20);
    EXPECT_NE(Run(setup, in, AllReadPlans()[0]).samples, standard.samples);
}

TEST_F(TimeEdges, ReverbCombsWrapAtAnyLength) {  // run under the sanitizer
    const Signal in = VariedSignal(1, 44100, 10000.0);
    for (const double ms : {0.0, 0.05}) {
        SCOPED_TRACE(ms);
        EffectSetup setup = Effect(CLSID_ReverbFilter5);
        setup.params.Set(OLESTR("DelayTime"), ms)
            .Set(OLESTR("MixDepth"), 50.0)
            .Set(OLESTR("ReverbrationGain"), 50.0)
            .Set(OLESTR("ReverbrationFrequency"), 3000.0);
        ReverbModelSettings s;
        s.lowPassHz = 3000.0f, s.mix = 0.5f, s.combGain = 0.5f, s.delayMs = static_cast<float>(ms);
        const RunOutput out = Run(setup, in, AllReadPlans()[1]);
        EXPECT_EQ(out.hr, S_OK);
        EXPECT_TRUE(SamplesNear(out.samples, PerChannelModel([s](const Channel& x, int rate) {
                                    return ReverbModel(x, rate, s);
                                })(in),
                                0));
    }
}

TEST_F(TimeEdges, ReverbWithoutLowPassRingsDownToZero) {
    Params p;
    p.Set(OLESTR("DelayTime"), 10.0)
        .Set(OLESTR("MixDepth"), 100.0)
        .Set(OLESTR("ReverbrationGain"), 70.0)
        .Set(OLESTR("FeedBackGain"), 30.0);
    ChannelRig<CReverbFilter, Reverb> rig(doubles, p, 44100);
    const Channel y = rig.Process(Impulse(44100));
    double early = 0.0;
    for (size_t i = 441; i < 4410; ++i) early = std::max(early, std::abs(y[i]));
    EXPECT_GT(early, 0.05);  // a tail rings
    double late = 0.0, sum = 0.0;
    for (size_t i = 22050; i < y.size(); ++i) {
        late = std::max(late, std::abs(y[i]));
        sum += y[i];
    }
    EXPECT_LT(late, 1e-3);  // and dies away, with no offset left
    EXPECT_LT(std::abs(sum / 22050), 1e-5);
}

TEST_F(TimeEdges, CountersGoOnPastTwoToThe31) {
    const Channel x = Doubles(VariedSamples(100, 1));
    Params p;
    p.Set(OLESTR("DelayTime"), 1.0).Set(OLESTR("MixDepth"), 100.0);
    p.Set(OLESTR("EffectType"), 3).Set(OLESTR("DelayRate"), 0.0).Set(OLESTR("SweepDepth"), 0.0);
    p.Set(OLESTR("ReverbrationGain"), 50.0);
    const auto wetAfter = [&](const Channel& y) {
        // Every sample past the first 10 is the delayed signal, not the input.
        for (size_t i = 10; i < y.size(); ++i) {
            if (y[i] == x[i]) return false;
        }
        return true;
    };
    {
        ChannelRig<CReverbFilter, Reverb> rig(doubles, p, 44100);
        rig.Process(x);
        rig.channel.SetSeen(kBelow2To31);
        EXPECT_TRUE(wetAfter(rig.Process(x))) << "reverb";
    }
    {
        ChannelRig<CDelayFilter, Delay> rig(doubles, p, 44100);
        rig.Process(x);
        rig.channel.SetProcessed(kBelow2To31);
        EXPECT_TRUE(wetAfter(rig.Process(x))) << "delay";
    }
    {
        ChannelRig<CFlangerFilter, Flanger> rig(doubles, p, 44100);
        rig.Process(x);
        rig.channel.SetProcessed(kBelow2To31);
        EXPECT_TRUE(wetAfter(rig.Process(x))) << "flanger";
    }
    {
        ChannelRig<CWahWahFilter, WahWah> rig(doubles, Params(), 44100);
        rig.channel.SetCounter(kBelow2To31);
        EXPECT_EQ(rig.Process(x), WahWahModel(x, 44100, WahWahModelSettings(), kBelow2To31));
    }
}

TEST_F(TimeEdges, LinesHoldTheIntervalNotTheDelay) {
    // 1e9 ms: nothing returns inside seconds of audio, which are all that the lines hold.
    Params p;
    p.Set(OLESTR("DelayTime"), 1e9).Set(OLESTR("MixDepth"), 50.0).Set(OLESTR("FeedBackGain"), 40.0);
    p.Set(OLESTR("ReverbrationGain"), 50.0);
    ReverbModelSettings s;
    s.mix = 0.5f, s.combGain = 0.5f, s.feedback = 0.4f, s.delayMs = 1e9f;
    const auto delay = [&s](const Channel& x, int rate) {
        return DelayModel(x, rate, 1, s.mix, s.feedback, s.delayMs);
    };
    const auto reverb = [&s](const Channel& x, int rate) { return ReverbModel(x, rate, s); };
    for (const auto& [clsid, model] : {std::pair{&CLSID_DelayFilter5, PerChannelModel(delay)},
                                       std::pair{&CLSID_ReverbFilter5, PerChannelModel(reverb)}}) {
        EffectSetup setup = Effect(*clsid);
        setup.params = p;
        ExpectModelInEveryLayout(setup, model);
    }
    // Lines made for an interval of 100 frames grow, exactly, as 3000 samples run through.
    p.Set(OLESTR("DelayTime"), 10.0);
    s.delayMs = 10.0f;
    ChannelRig<CDelayFilter, Delay> d(doubles, p, 44100);
    ChannelRig<CReverbFilter, Reverb> r(doubles, p, 44100);
    d.engine.m_lengthBytes = r.engine.m_lengthBytes = 200;
    const Channel x = Doubles(VariedSamples(3000, 1));
    Channel yd, yr;
    for (auto i = x.begin(); i != x.end(); i += 300) {
        const Channel a = d.Process(Channel(i, i + 300)), b = r.Process(Channel(i, i + 300));
        yd.insert(yd.end(), a.begin(), a.end());
        yr.insert(yr.end(), b.begin(), b.end());
    }
    EXPECT_EQ(yd, delay(x, 44100));
    EXPECT_EQ(yr, reverb(x, 44100));
}

TEST_F(TimeEdges, DelayExampleAndDryCases) {
    const Channel x = Doubles(VariedSamples(1000, 1));
    Params p;
    p.Set(OLESTR("EffectType"), 1).Set(OLESTR("MixDepth"), 50.0).Set(OLESTR("DelayTime"), 10.0);
    ChannelRig<CDelayFilter, Delay> rig(doubles, p, 44100);
    const Channel y = rig.Process(x);
    EXPECT_EQ(y[440], 0.5 * x[440]);  // mixed with the empty line
    EXPECT_EQ(y[441], 0.5 * x[441] + 0.5 * x[0]);
    // No delay (DelayTime 0, or a rate too low for one sample) and mix 150 (ignored: 0) are dry.
    for (const auto& [ms, rate, mix] : {std::tuple{0.0, 44100, 50.0}, std::tuple{10.0, 50, 50.0},
                                        std::tuple{10.0, 44100, 150.0}}) {
        Params q;
        q.Set(OLESTR("DelayTime"), ms).Set(OLESTR("MixDepth"), mix);
        ChannelRig<CDelayFilter, Delay> dry(doubles, q, static_cast<DWORD>(rate));
        EXPECT_EQ(dry.Process(x), x) << ms << " ms at " << rate << ", mix " << mix;
    }
}

TEST_F(TimeEdges, FlangerBaseDelayAndLowRates) {  // below 1000 Hz
    const Channel x = Doubles(VariedSamples(2000, 1));
    Params p;
    p.Set(OLESTR("EffectType"), 3).Set(OLESTR("DelayRate"), 100.0).Set(OLESTR("MixDepth"), 50.0);
    ChannelRig<CFlangerFilter, Flanger> rig(doubles, p, 44100);
    EXPECT_EQ(rig.Process(x)[0], 0.5 * x[0]);  // mixed with the empty line

    // The shortest base delay, 1 ms, is no whole sample at 800 Hz.
    const Signal low = VariedSignal(2, 800, 3000.0);
    EffectSetup setup = Effect(CLSID_FlangerFilter5);
    setup.params.Set(OLESTR("EffectType"), 3).Set(OLESTR("MixDepth"), 50.0);
    ExpectOutput(setup, low, low.samples);
}

TEST_F(TimeEdges, FlangerTapStaysInsideItsLine) {
    // Type 4 at its longest (50 ms), the deepest and fastest sweep, only the tap in the output.
    Params p;
    p.Set(OLESTR("EffectType"), 4)
        .Set(OLESTR("DelayRate"), 100.0)
        .Set(OLESTR("SweepDepth"), 100.0)
        .Set(OLESTR("SweepRate"), 100.0)
        .Set(OLESTR("MixDepth"), 100.0);
    const int64_t L = 2205;
    Channel ramp(44100);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<double>(i);
    ChannelRig<CFlangerFilter, Flanger> rig(doubles, p, 44100);
    const Channel y = rig.Process(ramp);
    double worstStep = 0.0, lo = 1e9, hi = -1e9;
    for (int64_t n = L + 1; n < static_cast<int64_t>(y.size()); ++n) {
        const double delay = static_cast<double>(n) - y[n];
        lo = std::min(lo, delay), hi = std::max(hi, delay);
        worstStep = std::max(worstStep, std::abs(delay - (static_cast<double>(n - 1) - y[n - 1])));
    }
    EXPECT_GE(lo, 1.0);
    EXPECT_LE(hi, static_cast<double>(L));
    EXPECT_GT(hi, L - 2.0);  // the base delay of 50 ms, swept across
    EXPECT_LT(worstStep, 1.5);
}

TEST_F(TimeEdges, VibratoDepthAndPhase) {
    const Channel x = Doubles(VariedSamples(500, 1));
    Params p;
    p.Set(OLESTR("SweepFrequency"), 5.0).Set(OLESTR("SweepDepth"), 0.0);
    ChannelRig<CVibratoFilter, Vibrato> flat(doubles, p, 44100);
    EXPECT_EQ(flat.Process(x), x);
    p.Set(OLESTR("SweepPhase"), 90.0).Set(OLESTR("SweepDepth"), 50.0);
    ChannelRig<CVibratoFilter, Vibrato> rig(doubles, p, 44100);
    EXPECT_NEAR(rig.Process(x)[0], 1.5 * x[0], 1e-12);
}

TEST_F(TimeEdges, WahWahCornersAndOffset) {
    EXPECT_NEAR(WahWahCorner(1.0, 0.7, 0.3), kPi * std::exp(-1.26), 1e-12);
    EXPECT_NEAR(WahWahCorner(-1.0, 0.7, 0.3), kPi * std::exp(-4.2), 1e-12);
    const Channel x = Doubles(VariedSamples(3000, 1));
    for (const auto& [offset, used] : {std::pair{-50, -0.5}, std::pair{101, 0.3}}) {
        Params p;
        p.Set(OLESTR("WahFreqOffset"), offset);
        ChannelRig<CWahWahFilter, WahWah> rig(doubles, p, 44100);
        WahWahModelSettings s;
        s.offset = used;
        EXPECT_EQ(rig.Process(x), WahWahModel(x, 44100, s)) << offset;
    }
}

TEST_F(TimeEdges, WahWahStartsAtItsStartPhase) {
    const Signal in = VariedSignal(1, 22050, 300.0);
    EffectSetup setup = Effect(CLSID_WahWahFilter5);
    setup.params.Set(OLESTR("LFOStartPhase"), 180);
    const RunOutput fresh = Run(setup, in, AllReadPlans()[1]);
    const SeekPoint seek{100.0, 0.0};
    const RunOutput seeked = Run(setup, in, AllReadPlans()[1], &seek);
    EXPECT_EQ(fresh.samples, seeked.samples);
    WahWahModelSettings s;
    s.startPhase = kPi;
    EXPECT_TRUE(SamplesNear(fresh.samples, PerChannelModel([s](const Channel& x, int rate) {
                                return WahWahModel(x, rate, s);
                            })(in),
                            0));
}

TEST_F(TimeEdges, KeptSettingsStayCrashFreeAndInRange) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        const CLSID* clsid;
        Params params;
        bool silent;  // every sample 0
    } cases[] = {
        {"band type 0", &CLSID_BandFilter5, Params().Set(OLESTR("FilterType"), 0), true},
        {"band type 8", &CLSID_BandFilter5, Params().Set(OLESTR("FilterType"), 8), true},
        {"band without type: low-pass at -1 Hz", &CLSID_BandFilter5, Params(), false},
        {"band NaN steepness", &CLSID_BandFilter5,
         Params()
             .Set(OLESTR("FilterType"), 2)
             .Set(OLESTR("Frequency"), 100.0)
             .Set(OLESTR("Steepness"), nan),
         false},
        {"band 30 kHz, steepness -50", &CLSID_BandFilter5,
         Params()
             .Set(OLESTR("FilterType"), 7)
             .Set(OLESTR("Frequency"), 30000.0)
             .Set(OLESTR("Steepness"), -50.0),
         false},
        {"delay feedback 150", &CLSID_DelayFilter5,
         Params()
             .Set(OLESTR("FeedBackGain"), 150.0)
             .Set(OLESTR("DelayTime"), 2.0)
             .Set(OLESTR("MixDepth"), 50.0),
         false},
        {"reverb feedback 150", &CLSID_ReverbFilter5,
         Params()
             .Set(OLESTR("FeedBackGain"), 150.0)
             .Set(OLESTR("ReverbrationGain"), 100.0)
             .Set(OLESTR("MixDepth"), 50.0),
         false},
        {"wah resonance 1e-6", &CLSID_WahWahFilter5, Params().Set(OLESTR("Resonance"), 1e-6),
         false},
        {"wah depth 100000", &CLSID_WahWahFilter5, Params().Set(OLESTR("Depth"), 100000), false},
    };
    const Signal in = VariedSignal(2, 44100, 1000.0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EffectSetup setup = Effect(*c.clsid);
        setup.params = c.params;
        const RunOutput out = Run(setup, in, AllReadPlans()[1]);
        EXPECT_EQ(out.hr, S_OK);
        EXPECT_TRUE(out.ended);
        EXPECT_EQ(out.samples.size(), in.samples.size());
        if (c.silent) {
            EXPECT_EQ(out.samples, std::vector<int16_t>(in.samples.size(), 0));
        }
    }
}

}  // namespace
}  // namespace corvane::testing
