// The pitch-shift effect through its COM class and one channel filter on doubles: at "Rate" 100 the
// effect is SoundTouch's run, as long as the input, bit for bit up to its end; at other rates its
// output does not depend on how the input is split, a tone comes out at its frequency x 100 / Rate
// and partials keep their levels as SoundTouch's own pitch change gives them, with no image of
// resampling up left; no queue runs dry; a missing or unusable "Rate" acts as 100; a seek leaves
// nothing of what came before it.
#include "tests/effects/soundtouch_reference.h"

#include "effects/PitchShiftFilter.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace corvane::testing {
namespace {

constexpr double kTwoPi = 6.283185307179586;
using Samples = std::vector<double>;

// The effect at "Rate" 100 over the interval of these zones: per channel, SoundTouch's own run at
// tempo 1 over the interval and what follows it, up to the interval's length; the rest untouched.
Model RateHundredModel(const std::vector<Zone>& zones = {}) {
    return [zones](const Signal& in) {
        const auto [first, end] = IntervalFrames(in, zones);
        return PerChannelModel([first = first, end = end](const Samples& x, int rate) {
            const std::vector<float> from(x.begin() + first, x.end());
            const std::vector<float> y = PitchReferenceRun(from, rate, 1.0, 0.0, x.size() - end);
            Samples out(x.begin(), x.begin() + first);
            out.insert(out.end(), y.begin(), y.end());
            if (out.size() == static_cast<size_t>(end))
                out.insert(out.end(), x.begin() + end, x.end());
            return out;
        })(in);
    };
}

Samples Tones(const std::vector<std::pair<double, double>>& partials, int rate, size_t n) {
    Samples x(n, 0.0);
    for (size_t k = 0; k < n; ++k) {
        for (const auto& [f, a] : partials) x[k] += a * std::sin(kTwoPi * f * k / rate);
    }
    return x;
}

// The frequency of a tone from its rising zero crossings (interpolated) over x[from ..].
double ToneFrequency(const Samples& x, size_t from, int rate) {
    double first = -1.0, last = -1.0;
    int periods = -1;
    for (size_t k = from + 1; k < x.size(); ++k) {
        if (x[k - 1] < 0.0 && x[k] >= 0.0) {
            const double at = (k - 1) + x[k - 1] / (x[k - 1] - x[k]);
            if (first < 0.0) first = at;
            last = at;
            ++periods;
        }
    }
    return periods > 0 ? periods * rate / (last - first) : 0.0;
}

// The level (dB) of frequency f in x[from .. from + n), Hann-windowed.
double LevelDb(const Samples& x, size_t from, size_t n, double f, int rate) {
    double re = 0.0, im = 0.0;
    for (size_t k = 0; k < n; ++k) {
        const double w = 0.5 - 0.5 * std::cos(kTwoPi * k / n);
        re += w * x[from + k] * std::cos(kTwoPi * f * k / rate);
        im += w * x[from + k] * std::sin(kTwoPi * f * k / rate);
    }
    return 20.0 * std::log10(std::hypot(re, im) * 4.0 / n);
}

class ProbedPitch : public Probed<CPitchShiftChannelFilter> {
public:
    using Probed::Probed;
};

using PitchRig = ChannelRig<CPitchShiftFilter, ProbedPitch>;

// x through a channel filter at this rate, in blocks of the given sizes (repeated), the last one
// ending the stream.
Samples RunInBlocks(HostDoubles& doubles, double rate, const Samples& x,
                    const std::vector<size_t>& blocks, int fs = 44100) {
    PitchRig rig(doubles, Params().Set(OLESTR("Rate"), rate), static_cast<DWORD>(fs));
    Samples out;
    for (size_t at = 0, i = 0; at < x.size(); ++i) {
        const size_t n = std::min(blocks[i % blocks.size()], x.size() - at);
        const Samples y =
            rig.Process(Samples(x.begin() + at, x.begin() + at + n), at + n == x.size());
        EXPECT_LE(out.size() + y.size(), at + n);
        out.insert(out.end(), y.begin(), y.end());
        at += n;
    }
    EXPECT_EQ(out.size(), x.size());
    EXPECT_EQ(rig.channel.DrySamples(), 0);
    return out;
}

class PitchShift : public SoundTouchHarness {};

TEST_F(PitchShift, RateHundredIsSoundTouchsOwnRun) {
    for (const auto& [channels, rate, zones] :
         {std::make_tuple(1, 8000, std::vector<Zone>{}),
          std::make_tuple(2, 44100, std::vector<Zone>{{41.3, 200.0}})}) {
        const Signal in = VariedSignal(channels, rate, 400.0);
        EffectSetup setup = Effect(CLSID_PitchShiftFilter5);
        setup.params.Set(OLESTR("Rate"), 100.0);
        setup.zones = zones;
        ExpectWithEnding(setup, in, RateHundredModel(zones)(in), in.samples.size());
    }
}

TEST_F(PitchShift, MissingOrUnusableRateActsAsHundred) {
    const Signal in = VariedSignal(1, 16000, 300.0);
    const std::vector<int16_t> hundred = RateHundredModel()(in);
    const double nan = std::nan("");
    std::vector<Params> cases = {Params().Set(OLESTR("SmoothEnabled"), false)};
    for (double bad : {0.0, -5.0, nan, HUGE_VAL, 3.124, 3200.5})
        cases.push_back(Params().Set(OLESTR("Rate"), bad));
    for (const Params& p : cases) {
        EffectSetup setup = Effect(CLSID_PitchShiftFilter5);
        setup.params = p;
        ExpectWithEnding(setup, in, hundred, in.samples.size());
    }
}

TEST_F(PitchShift, OutputDoesNotDependOnTheBlockSplit) {
    const Samples x = Tones({{441.0, 0.4}, {1234.5, 0.2}}, 44100, 30000);
    for (double rate : {50.0, 141.0, 200.0}) {
        SCOPED_TRACE(rate);
        const Samples whole = RunInBlocks(doubles, rate, x, {x.size()});
        EXPECT_EQ(RunInBlocks(doubles, rate, x, {37, 1000, 3, 2500}), whole);
        EXPECT_EQ(RunInBlocks(doubles, rate, x, {1}), whole);
        // And through the COM class, read whole, in uneven blocks and frame by frame.
        const Signal in = VariedSignal(2, 22050, 300.0);
        EffectSetup setup = Effect(CLSID_PitchShiftFilter5);
        setup.params.Set(OLESTR("Rate"), rate);
        ExpectOutput(setup, in, Run(setup, in, AllReadPlans()[0]).samples);
    }
}

TEST_F(PitchShift, ATonesPitchMovesByHundredOverRateAndPartialsKeepTheirLevels) {
    const int fs = 44100;
    const std::vector<std::pair<double, double>> partials = {
        {300.0, 0.3}, {600.0, 0.2}, {900.0, 0.1}};
    const Samples x = Tones(partials, fs, 3 * fs);
    for (double rate : {50.0, 141.0, 200.0, 400.0}) {
        SCOPED_TRACE(rate);
        const double ratio = 100.0 / rate;
        const Samples tone = RunInBlocks(doubles, rate, Tones({{441.0, 0.5}}, fs, 2 * fs), {4410});
        EXPECT_NEAR(ToneFrequency(tone, fs / 2, fs) / (441.0 * ratio), 1.0, 0.002);
        if (rate > 100.0) {
            // Resampling up mirrors a tone about the old rate: the low-pass keeps the image of a
            // 6 kHz tone (at 19.05 kHz for Rate 200) 60 dB below it, where linear interpolation
            // alone leaves it about 35 dB below.
            const Samples high = RunInBlocks(doubles, rate, Tones({{6000.0, 0.5}}, fs, fs), {4410});
            const double f = 6000.0 * ratio, image = fs * ratio - f;
            EXPECT_LT(LevelDb(high, fs / 2, fs / 2, image, fs),
                      LevelDb(high, fs / 2, fs / 2, f, fs) - 60.0);
            // The low-pass starts on sound: the tone is there by 0.5 ms, no fade-in over its taps.
            const int taps = CPitchShiftChannelFilter::kLowPassTaps;
            const auto loud = [](double v) { return std::fabs(v) > 0.25; };
            EXPECT_LE(std::find_if(high.begin(), high.end(), loud) - high.begin(), fs / 2000);
            const auto energy = [&](int at) {
                return std::inner_product(&high[at], &high[at + taps], &high[at], 0.0);
            };
            EXPECT_NEAR(energy(0) / energy(taps), 1.0, 0.26);
        }
        if (rate > 200.0) continue;  // there SoundTouch's own pitch change parts by about 1 dB
        const Samples y = RunInBlocks(doubles, rate, x, {4410});
        const std::vector<float> in(x.begin(), x.end());
        const std::vector<float> own = PitchReferenceRun(in, fs, 1.0, ratio);
        const Samples reference(own.begin(), own.end());
        // One second from the middle of both, well past either's start.
        for (const auto& [f, a] : partials) {
            EXPECT_NEAR(LevelDb(y, fs, fs, f * ratio, fs),
                        LevelDb(reference, fs, fs, f * ratio, fs), 0.5)
                << f * ratio << " Hz";
        }
    }
}

TEST_F(PitchShift, NoQueueRunsDryAndLongBurstsFitWhateverTheBlocks) {
    const Samples x = Tones({{300.0, 0.5}}, 44100, 44100);
    for (double rate : {25.0, 50.0, 141.0, 400.0}) {
        for (size_t block : {1, 7, 100, 1000, 8192}) {
            SCOPED_TRACE(::testing::Message() << rate << " in blocks of " << block);
            // RunInBlocks expects the input's length back and no silence put in at the end.
            RunInBlocks(doubles, rate, x, {block}, 22050);
        }
        // A long block first, then short ones: SoundTouch hands out thousands of samples after
        // a put of 100 (run under AddressSanitizer).
        RunInBlocks(doubles, rate, x, {4410, 100, 100, 100, 100, 100, 100, 100, 100, 100});
    }
}

TEST_F(PitchShift, NothingFromBeforeASeekPlaysAfterIt) {
    // Loud for 500 ms, then silent: after a seek into the silence, silence only.
    Signal in = VariedSignal(1, 16000, 1000.0);
    for (size_t k = 8000; k < in.samples.size(); ++k) in.samples[k] = 0;
    EffectSetup setup = Effect(CLSID_PitchShiftFilter5);
    setup.params.Set(OLESTR("Rate"), 141.0);
    const SeekPoint seek{400.0, 600.0};
    ExpectOutput(setup, in, std::vector<int16_t>(6400, 0), 0, &seek);
}

}  // namespace
}  // namespace corvane::testing
