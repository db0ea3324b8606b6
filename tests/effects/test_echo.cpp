// The echo effect's edge cases, its delay queues across seeks and new sources, and each fault
// mended in it (named below).
#include "tests/effects/harness.h"

#include "effects/EchoFilter.h"

#include <cmath>

namespace corvane::testing {
namespace {

using Echo = EffectHarness;

// Frames of a delay as the effect counts them.
int64_t DelayFrames(double ms, int rate) {
    return static_cast<int64_t>(std::trunc(rate * ms / 1000.0 + 0.0001));
}

struct Reflection {
    double offsetMs;
    int64_t gain;  // Q8
};

// y = clamp(floor((256 x + sum of g x[n - D] + 128) / 256)), the delayed samples counted from the
// start of what the model is given (the effect interval).
Model EchoModel(std::vector<Reflection> reflections) {
    return [reflections](const Signal& in) {
        const int ch = in.Channels();
        std::vector<int16_t> out(in.samples.size());
        for (size_t k = 0; k < out.size(); ++k) {
            int64_t sum = 256 * int64_t{in.samples[k]};
            for (const Reflection& r : reflections) {
                const int64_t back = DelayFrames(r.offsetMs, in.Rate()) * ch;
                if (static_cast<int64_t>(k) >= back) sum += r.gain * in.samples[k - back];
            }
            out[k] = static_cast<int16_t>(std::clamp<int64_t>((sum + 128) >> 8, -32768, 32767));
        }
        return out;
    };
}

EffectSetup EchoOf(const std::vector<std::pair<double, double>>& offsetAndFactor) {
    EffectSetup setup = Effect(CLSID_EchoFilter5);
    setup.params.Set(OLESTR("ReflectionsNumber"), static_cast<int32_t>(offsetAndFactor.size()));
    for (size_t i = 0; i < offsetAndFactor.size(); ++i) {
        const std::string n = std::to_string(i);
        setup.params.Set(Utf8ToOle("AudioOffset" + n), offsetAndFactor[i].first)
            .Set(Utf8ToOle("VolumeLevel" + n), offsetAndFactor[i].second);
    }
    return setup;
}

TEST_F(Echo, TwoReflectionsAddInEveryReadingLayoutAndZone) {
    // The third key is no reflection (not above 0.1 ms).
    EffectSetup setup = EchoOf({{7.3, 0.5}, {21.9, 0.0}, {0.1, 1.0}});
    setup.params.Set(OLESTR("dBVolumeLevel1"), -3.0);
    ExpectModelInEveryLayout(setup, EchoModel({{7.3, 128}, {21.9, 181}}));
}

TEST_F(Echo, ImpulseComesBackAfterTheTruncatedDelay) {
    struct Case {
        double ms;
        int rate;
    } cases[] = {{10.0, 44100}, {3.0, 44100}, {0.11, 8000}, {0.2, 8000}, {7.3, 96000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.ms << " ms at " << c.rate);
        Signal in = VariedSignal(1, c.rate, 50.0);
        std::fill(in.samples.begin(), in.samples.end(), 0);
        in.samples[0] = 1000;
        std::vector<int16_t> expected = in.samples;
        expected[static_cast<size_t>(DelayFrames(c.ms, c.rate))] += 500;
        ExpectOutput(EchoOf({{c.ms, 0.5}}), in, expected);
    }
}

TEST_F(Echo, EdgeCasesOfTheGainsAndThePriming) {
    const Signal in = VariedSignal(2, 8000, 200.0);
    // No reflection, or none above 0.1 ms: the block passes unchanged.
    EffectSetup none = Effect(CLSID_EchoFilter5);
    none.params.Set(OLESTR("ReflectionsNumber"), 0).Set(OLESTR("AudioOffset0"), 5.0);
    ExpectOutput(none, in, in.samples);
    ExpectOutput(EchoOf({{0.1, 1.0}, {-5.0, 1.0}}), in, in.samples);
    // Gains: "VolumeLevel0" 0.5 and "dBVolumeLevel0" -6.0206 are 128, no level key 256.
    EffectSetup decibels = EchoOf({{5.0, 0.0}});
    decibels.params.Set(OLESTR("dBVolumeLevel0"), -6.0206);
    EffectSetup unity = Effect(CLSID_EchoFilter5);
    unity.params.Set(OLESTR("ReflectionsNumber"), 1).Set(OLESTR("AudioOffset0"), 5.0);
    ExpectOutput(decibels, in, EchoModel({{5.0, 128}})(in));
    ExpectOutput(unity, in, EchoModel({{5.0, 256}})(in));
    Signal loud = in;
    std::fill(loud.samples.begin(), loud.samples.end(), 1000);
    EXPECT_EQ(Run(EchoOf({{5.0, 0.5}}), loud, AllReadPlans()[0]).samples.back(), 1500);
    std::fill(loud.samples.begin(), loud.samples.end(), 30000);
    EXPECT_EQ(Run(EchoOf({{5.0, 0.5}}), loud, AllReadPlans()[0]).samples.back(), 32767);

    // 10 ms at 44100 Hz stereo: a silent priming buffer of trunc(441.0001) x 4 = 1764 bytes.
    doubles.Log().Clear();
    Run(EchoOf({{10.0, 0.5}}), VariedSignal(2, 44100, 50.0), AllReadPlans()[0]);
    bool primed = false;
    for (const Call& call : doubles.Log().Calls("SetLength"))
        primed = primed || call.args == std::vector<std::string>{"1764", "-1"};
    EXPECT_TRUE(primed) << doubles.Log().Dump();
}

TEST_F(Echo, SeekPrimesTheQueuesAgain) {
    const Signal in = VariedSignal(2, 16000, 500.0);
    const EffectSetup setup = EchoOf({{12.5, 0.75}, {31.0, -0.5}});
    ExpectStartOverAfterSeeks(setup, in, EchoModel({{12.5, 192}, {31.0, -128}}));
}

TEST_F(Echo, NewSourceWithoutASeekKeepsTheDelay) {
    // The queues are emptied with the old stream and primed again at the new stream's first block.
    const Signal first = VariedSignal(2, 8000, 300.0), second = VariedSignal(2, 8000, 200.0);
    const EffectSetup setup = EchoOf({{20.0, 0.5}});
    ComPtr<IMediaSource> object;
    ASSERT_EQ(setup.create(nullptr, IID_IMediaSource, object.Out()), S_OK);
    ComPtr<IMediaBaseFilter> filter;
    ASSERT_EQ(object->QueryInterface(IID_IMediaBaseFilter, filter.Out()), S_OK);
    ComPtr<RecordingEffectParams> params = doubles.NewParams(setup.params.store);
    ASSERT_EQ(filter->put_EffectParams(static_cast<IEffectParams*>(params.Get())), S_OK);
    for (const Signal* in : {&first, &second}) {
        ComPtr<TableSource> source(new TableSource(doubles.State(), in->format, in->samples));
        ASSERT_EQ(filter->put_MediaSource(static_cast<IMediaSource*>(source.Get())), S_OK);
        std::vector<int16_t> got;
        for (;;) {
            ComPtr<IUnknown> block;
            ASSERT_EQ(object->ReadAudio(0, 0, 70.0, &block), S_OK);
            if (!block) break;
            const std::vector<int16_t> samples = SamplesOf(block.Get());
            got.insert(got.end(), samples.begin(), samples.end());
        }
        EXPECT_TRUE(SamplesNear(got, EchoModel({{20.0, 128}})(*in), 0));
    }
    filter->put_MediaSource(nullptr);
}

TEST_F(Echo, ManyStrongReflectionsSaturate) {  // fault 1
    // 40 reflections of +18 dB at full scale: (256 + 40 x 2048) x 32767 leaves 32 bits. Few
    // reflections keep the one-frame reads within what a 32-bit process holds.
    std::vector<std::pair<double, double>> many(40, {1.0, 8.0});
    for (size_t i = 0; i < many.size(); ++i) many[i].first = 1.0 + 0.125 * static_cast<double>(i);
    Signal in = VariedSignal(2, 8000, 20.0);
    for (const int16_t full : {int16_t{32767}, int16_t{-32768}}) {
        std::fill(in.samples.begin(), in.samples.end(), full);
        ExpectOutput(EchoOf(many), in, in.samples);
    }
    // Gains past +48 dB saturate rather than overflow.
    EXPECT_EQ(CEchoFilter::GainOf(1.0e12), INT32_MAX);
    EXPECT_EQ(CEchoFilter::GainOf(-1.0e12), INT32_MIN);
    EXPECT_EQ(CEchoFilter::GainOf(0.5), 128);
}

TEST_F(Echo, DelayTooLongForAQueueFailsTheRead) {
    EffectSetup setup = EchoOf({{1.0e12, 0.5}});
    const RunOutput out = Run(setup, VariedSignal(2, 8000, 100.0), AllReadPlans()[0]);
    EXPECT_EQ(out.hr, E_OUTOFMEMORY);
}

// A queue that hands back half the audio it is asked for.
class ShortQueue : public RecordingAudioHelper {
public:
    using RecordingAudioHelper::RecordingAudioHelper;
    STDMETHODIMP TakeAudio(LONG f, double d, IUnknown** p) override {
        return RecordingAudioHelper::TakeAudio(f, d / 2, p);
    }
};

TEST_F(Echo, ShortDelayedBlockMixesOnlyWhatItHolds) {  // fault 5: run under the sanitizer
    const AudioFormatValues format = VariedSignal(2, 8000, 0.0).format;
    test::Open<CEchoFilter> engine(GUID{}, GUID{}, 0, 0);
    engine.m_pParams = doubles.NewParams(EchoOf({{5.0, 1.0}}).params.store).As<IEffectParams>();
    engine.LoadParams();
    ASSERT_EQ(engine.Reflections().size(), 1u);
    CEchoFilter::Reflection& r = *engine.Reflections()[0];
    r.queue->Release();
    r.queue = new ShortQueue(doubles.State());
    ComPtr<RecordingAudioBlock> block = doubles.NewBlock(format, 1600);  // 100 ms
    ComPtr<IUnknown> object;
    block->GetFormat(&object);
    ASSERT_EQ(object->QueryInterface(IID_IAudioFormat, engine.m_pFormat.Out()), S_OK);
    engine.m_wfx.nSamplesPerSec = 8000;
    engine.OnBlockFormat();  // primes 40 frames of silence
    BYTE* bytes = nullptr;
    ASSERT_EQ(block->GetBuffer(kBufferReadWrite, 0, &bytes), S_OK);
    std::fill_n(reinterpret_cast<int16_t*>(bytes), 800, int16_t{100});
    IAudioData* out = nullptr;
    engine.ProcessAudio(static_cast<IAudioData*>(block.Get()), 1600, 0, 800, 0, &out);
    ASSERT_NE(out, nullptr);
    out->Release();
    // Half the block's length came back: 40 frames of silence, then 160 of the block.
    const std::vector<int16_t> got = SamplesOf(static_cast<IAudioData*>(block.Get()));
    for (size_t k = 0; k < got.size(); ++k)
        ASSERT_EQ(got[k], k < 80 || k >= 400 ? 100 : 200) << "at " << k;
}

}  // namespace
}  // namespace corvane::testing
