// The harness itself, on two effect classes of its own built from the same COM class template: a
// per-channel gain of "TestGain" (0.5 by default), which it must find equal to its reference
// whole, in blocks and frame by frame, inside zones and under strengths, over several channel
// counts and rates; and an effect that silences the first frame of every block, whose block
// dependence and wrong reference it must report.
#include "tests/effects/harness.h"

#include "effects/common/ParamRead.h"
#include "framework/ComShell.h"

#include <gtest/gtest-spi.h>

namespace corvane::testing {
namespace {

class HalfGainChannel : public CBaseChannelFilter {
public:
    using CBaseChannelFilter::CBaseChannelFilter;
    HRESULT LoadChannelParams() override {
        ReadParamValue(m_pOwner, NumberKey(OLESTR("TestGain"), 0.5), &m_gain);
        return S_OK;
    }
    int ProcessChannel(int n, int) override {
        for (int k = 0; k < n; ++k) m_pOut[k] = m_pIn[k] * m_gain;
        return n;
    }

private:
    double m_gain = 0.5;
};

class FirstFrameSilent : public CBaseChannelFilter {
public:
    using CBaseChannelFilter::CBaseChannelFilter;
    int ProcessChannel(int n, int) override {
        for (int k = 0; k < n; ++k) m_pOut[k] = k == 0 ? 0.0 : m_pIn[k];
        return n;
    }
};

template <class Channel>
class TestEngine : public CBaseFilter {
public:
    static constexpr EngineTraits kTraits = {/*usesHelper*/ true, /*perChannel*/ true,
                                             /*lengthChanges*/ false, /*followsRate*/ false};
    using CBaseFilter::CBaseFilter;
    std::unique_ptr<CBaseChannelFilter> CreateChannelFilter() override {
        return std::make_unique<Channel>(this);
    }
};

template <class Channel>
struct TestTraits {
    using Engine = TestEngine<Channel>;
    using Interface = IEchoFilter5;
    static const CLSID& Clsid() { return CLSID_EchoFilter5; }
    static constexpr int kScriptId = 108;
};

template <class Channel>
EffectSetup TestEffect(const char* name) {
    EffectSetup setup;
    setup.name = name;
    setup.create = &CEffectFilter5<TestTraits<Channel>>::CreateInstance;
    setup.traits = TestEngine<Channel>::kTraits;
    return setup;
}

Model Gain(double g) {
    return PerChannelModel([g](const std::vector<double>& x, int) {
        std::vector<double> y(x);
        for (double& v : y) v *= g;
        return y;
    });
}

using Harness = EffectHarness;

TEST_F(Harness, FindsAnEffectEqualToItsReferenceInZonesAndUnderStrengths) {
    struct Case {
        int channels, rate;
        std::vector<Zone> zones;
        double gain;                 // "TestGain", 0.5 when absent
        double left, right, center;  // strengths; all 1: none asked for
        int tolerance;
    };
    const Case cases[] = {
        {2, 8000, {}, 0.5, 1, 1, 1, 0},
        {1, 44100, {{30.25, 41.5}}, 0.5, 1, 1, 1, 0},
        {6, 8000, {{40.0, 60.0}, {90.0, 35.5}}, -2.0, 1, 1, 1, 0},
        {2, 96000, {{20.0, 50.0}}, 0.5, 0.25, 1.5, 1, 1},
        {1, 8000, {}, -0.75, 1, 1, 0.5, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.channels << " channels at " << c.rate);
        const Signal in = VariedSignal(c.channels, c.rate, 150.0);
        EffectSetup setup = TestEffect<HalfGainChannel>("HalfGain");
        setup.zones = c.zones;
        if (c.gain != 0.5) setup.params.Set(OLESTR("TestGain"), c.gain);
        Model model = Gain(c.gain);
        if (c.left != 1 || c.right != 1 || c.center != 1) {
            SetStrengths(setup.params, c.left, c.right, c.center);
            model = WithStrengths(model, c.left, c.right, c.center);
        }
        ExpectOutput(setup, in, Expected(in, c.zones, model), c.tolerance);
    }
}

TEST_F(Harness, DisabledEffectIsUntouched) {
    EffectSetup setup = TestEffect<HalfGainChannel>("HalfGain");
    setup.enabled = false;
    const Signal in = VariedSignal(2, 44100, 80.0);
    ExpectOutput(setup, in, in.samples);
}

// The failures that f reports, intercepted, each with the read plan it names.
std::vector<std::string> FailuresOf(const std::function<void()>& f) {
    ::testing::TestPartResultArray results;
    {
        ::testing::ScopedFakeTestPartResultReporter reporter(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
        f();
    }
    std::vector<std::string> messages;
    for (int i = 0; i < results.size(); ++i) {
        messages.push_back(results.GetTestPartResult(i).message());
    }
    return messages;
}

TEST_F(Harness, ReportsAWrongReferenceAnotherLengthAndBlockDependence) {
    const Signal in = VariedSignal(2, 8000, 100.0);
    const EffectSetup half = TestEffect<HalfGainChannel>("HalfGain");
    std::vector<int16_t> longer = Gain(0.5)(in);
    longer.push_back(0);
    // Whole, the second effect silences only the first frame; other plans silence more.
    std::vector<int16_t> firstSilent = in.samples;
    firstSilent[0] = firstSilent[1] = 0;
    struct Case {
        EffectSetup setup;
        std::vector<int16_t> expected;
        std::vector<std::string> failingPlans;
        std::string why;
    };
    const Case cases[] = {
        {half, Gain(0.25)(in), {"whole", "uneven", "frame"}, "largest difference 8188"},
        {half, longer, {"whole", "uneven", "frame"}, "1600 samples, 1601 expected"},
        {TestEffect<FirstFrameSilent>("FirstFrameSilent"), firstSilent, {"uneven", "frame"}, ""},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> failures =
            FailuresOf([&] { ExpectOutput(c.setup, in, c.expected); });
        ASSERT_EQ(failures.size(), c.failingPlans.size());
        for (size_t i = 0; i < failures.size(); ++i) {
            EXPECT_NE(failures[i].find("read " + c.failingPlans[i]), std::string::npos);
            EXPECT_NE(failures[i].find(c.why), std::string::npos) << failures[i];
        }
    }
}

// Rows of the kinds the effects above do not read through their engine: unsigned, and a list
// (its second entry set, its first defaulting to its index).
TEST_F(Harness, RowsReadThroughTheEngineGiveTheValuesSet) {
    Params p;
    p.Set(OLESTR("Mask"), uint32_t{0xFFFFFFF0u}).store.AddEntry(OLESTR("Order"));
    p.store.AddEntry(OLESTR("Order"));
    p.store.Set(OLESTR("Order"), 1, int32_t{-3});
    ChannelRig<TestEngine<HalfGainChannel>, HalfGainChannel> rig(doubles, p, 8000);
    double mask = 0.0;
    std::vector<double> order;
    EXPECT_TRUE(ReadParamValue(&rig.engine, ULongKey(OLESTR("Mask"), 0), &mask));
    EXPECT_TRUE(ReadParamEntries(&rig.engine, ArrayKey(OLESTR("Order"), ParamType::LongList, -9, 9),
                                 &order, false));
    EXPECT_EQ(mask, 4294967280.0);
    EXPECT_EQ(order, (std::vector<double>{0.0, -3.0}));
}

}  // namespace
}  // namespace corvane::testing
