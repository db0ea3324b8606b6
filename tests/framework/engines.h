// Test engines and channel filters that drive the engine's block loop and read paths with known
// arithmetic: identity, gain, latency (returns n - L), zero, length-changing, and an engine that
// records every whole block it is handed.
#pragma once

#include "platform/win32.h"

#include "framework/BaseFilter.h"
#include "tests/framework/open_engine.h"
#include "platform/com_ptr.h"
#include "tests/support/host_doubles.h"
#include "tests/support/table_source.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace corvane::test {

// Every ProcessChannel call of a channel filter, as the filter saw it.
struct ChannelCall {
    int n;
    int last;
    bool restart;
};

// Base of the test channel filters: records its calls and whether its parameters were read.
class RecordingChannelFilter : public CBaseChannelFilter {
public:
    using CBaseChannelFilter::CBaseChannelFilter;
    HRESULT ResetChannel() override;
    HRESULT LoadChannelParams() override;

    std::vector<ChannelCall> calls;
    int resets = 0;
    int loads = 0;
    // "TestGain" as the channel filter read it at its last load (1.0 when absent).
    double loadedGain = 1.0;
    HRESULT loadResult = S_OK;
    HRESULT loadAnswer = S_OK;  // what LoadChannelParams answers

protected:
    void Record(int n, int last) { calls.push_back({n, last, m_bRestart}); }
};

// Output = input.
class IdentityFilter : public RecordingChannelFilter {
public:
    using RecordingChannelFilter::RecordingChannelFilter;
    int ProcessChannel(int n, int last) override;
};

// Output = gain x input; the gain is the constructor's, or "TestGain" when that was read.
class GainFilter : public RecordingChannelFilter {
public:
    GainFilter(CBaseFilter* owner, double gain) : RecordingChannelFilter(owner), m_gain(gain) {}
    int ProcessChannel(int n, int last) override;

private:
    double m_gain;
};

// Returns n - L samples per call: gain x the first n - L input samples (none when n <= L).
class LatencyFilter : public RecordingChannelFilter {
public:
    LatencyFilter(CBaseFilter* owner, int latency, double gain)
        : RecordingChannelFilter(owner), m_latency(latency), m_gain(gain) {}
    int ProcessChannel(int n, int last) override;

private:
    int m_latency;
    double m_gain;
};

// Consumes everything, returns nothing.
class ZeroFilter : public RecordingChannelFilter {
public:
    using RecordingChannelFilter::RecordingChannelFilter;
    int ProcessChannel(int n, int last) override;
};

// Returns count(n) samples: output[k] = input[k] where k < n, and `fill` beyond.
class LengthFilter : public RecordingChannelFilter {
public:
    LengthFilter(CBaseFilter* owner, std::function<int(int)> count, double fill = 0.25)
        : RecordingChannelFilter(owner), m_count(std::move(count)), m_fill(fill) {}
    int ProcessChannel(int n, int last) override;

private:
    std::function<int(int)> m_count;
    double m_fill;
};

// Returns a fixed value (NaN, a huge number...) for every sample.
class ConstantFilter : public RecordingChannelFilter {
public:
    ConstantFilter(CBaseFilter* owner, double value)
        : RecordingChannelFilter(owner), m_value(value) {}
    int ProcessChannel(int n, int last) override;

private:
    double m_value;
};

// An engine whose channel filters come from a factory (channel index, owner; the engine takes
// the new filter); it counts its hooks. Its state is open to the tests (Open).
class TestEngine : public Open<> {
public:
    using Factory = std::function<CBaseChannelFilter*(int index, CBaseFilter* owner)>;
    TestEngine(BYTE useHelper, BYTE perChannel, Factory factory = nullptr);

    std::unique_ptr<CBaseChannelFilter> CreateChannelFilter() override;
    HRESULT OnSeek() override {
        ++seeks;
        return S_OK;
    }
    HRESULT OnSkip() override {
        ++skips;
        return S_OK;
    }
    HRESULT OnBeforeRead() override {
        ++beforeReads;
        return S_OK;
    }
    HRESULT OnBlockFormat() override {
        ++blockFormats;
        return S_OK;
    }

    // The channel filter at index i as the test type T (null when it is another type).
    template <class T>
    T* Channel(size_t i) {
        return dynamic_cast<T*>(ChannelFilter(i));
    }

    int seeks = 0, skips = 0, beforeReads = 0, blockFormats = 0;

private:
    Factory m_factory;
};

// One whole-block call of the recorder: the arguments, the engine position and the samples.
struct BlockCall {
    LONG totalBytes, offsetBytes, count, last;
    INT64 blockStart;
    std::vector<int16_t> samples;  // the processed range as handed in
};

// Replaces the block loop by a recorder that leaves the block untouched.
class RecorderEngine : public TestEngine {
public:
    RecorderEngine(BYTE useHelper, BYTE perChannel) : TestEngine(useHelper, perChannel) {}
    void ProcessAudio(IUnknown* data, LONG totalBytes, LONG offsetBytes, LONG count, LONG last,
                      IAudioData** out) override;
    std::vector<BlockCall> blocks;
};

// A CLSID and IID for the engines' error identity.
extern const GUID kTestClsid;
extern const GUID kTestIid;

using corvane::ComPtr;
using host::AudioFormatValues;
using testing::DurationOf;
using testing::LengthOf;
using testing::Params;
using testing::SamplesOf;
using testing::TableSource;
using testing::VariedSamples;

// A minimal effect object around a TestEngine: answers IMediaSource and IMediaBaseFilter, runs
// the engine's operations and forwards the rest upstream. Lets engines be chained.
class TestEffect : public host::ComObject<IMediaSource, IMediaBaseFilter> {
public:
    TestEffect(BYTE useHelper, BYTE perChannel, TestEngine::Factory factory = nullptr)
        : engine(useHelper, perChannel, std::move(factory)) {}
    TestEngine engine;

#define CORVANE_TEST_FORWARD(name, params, args)                        \
    STDMETHODIMP name params override {                                 \
        return engine.m_pSource ? engine.m_pSource->name args : E_FAIL; \
    }
    CORVANE_TEST_FORWARD(SendCommandEx, (ULONGLONG c, IUnknown* p, IUnknown** o), (c, p, o))
    CORVANE_TEST_FORWARD(get_videoTracksCount, (LONG * p), (p))
    CORVANE_TEST_FORWARD(put_videoTracksCount, (LONG v), (v))
    CORVANE_TEST_FORWARD(get_audioTracksCount, (LONG * p), (p))
    CORVANE_TEST_FORWARD(put_audioTracksCount, (LONG v), (v))
    CORVANE_TEST_FORWARD(get_dataTracksCount, (LONG * p), (p))
    CORVANE_TEST_FORWARD(put_dataTracksCount, (LONG v), (v))
    CORVANE_TEST_FORWARD(get_videoTrack, (LONG * p), (p))
    CORVANE_TEST_FORWARD(put_videoTrack, (LONG v), (v))
    CORVANE_TEST_FORWARD(get_audioTrack, (LONG * p), (p))
    CORVANE_TEST_FORWARD(get_dataTrack, (LONG * p), (p))
    CORVANE_TEST_FORWARD(put_dataTrack, (LONG v), (v))
    CORVANE_TEST_FORWARD(get_videoStream, (LONG m, LONG s, IUnknown** p), (m, s, p))
    CORVANE_TEST_FORWARD(get_audioStream, (LONG m, LONG s, IUnknown** p), (m, s, p))
    CORVANE_TEST_FORWARD(get_dataStream, (LONG m, LONG s, IUnknown** p), (m, s, p))
    CORVANE_TEST_FORWARD(ResetBuffers, (LONG s, LONG f), (s, f))
    CORVANE_TEST_FORWARD(get_IsSeekable, (LONG s, LONG f, VARIANT_BOOL* p), (s, f, p))
    CORVANE_TEST_FORWARD(SeekVideo, (LONG s, LONG f, double t), (s, f, t))
    CORVANE_TEST_FORWARD(SeekData, (LONG s, LONG f, double t), (s, f, t))
    CORVANE_TEST_FORWARD(SkipVideo, (LONG s, LONG f, double t), (s, f, t))
    CORVANE_TEST_FORWARD(SkipData, (LONG s, LONG f, double t), (s, f, t))
    CORVANE_TEST_FORWARD(ReadVideo, (LONG s, LONG f, IUnknown** p), (s, f, p))
    CORVANE_TEST_FORWARD(ReadData, (LONG s, LONG f, IUnknown** p), (s, f, p))
    CORVANE_TEST_FORWARD(get_videoDuration, (LONG s, double* p), (s, p))
    CORVANE_TEST_FORWARD(get_dataDuration, (LONG s, double* p), (s, p))
    CORVANE_TEST_FORWARD(get_videoTime, (LONG s, double* p), (s, p))
    CORVANE_TEST_FORWARD(get_dataTime, (LONG s, double* p), (s, p))
    CORVANE_TEST_FORWARD(get_videoFormat, (LONG s, IUnknown** p), (s, p))
    CORVANE_TEST_FORWARD(put_videoFormat, (LONG s, IUnknown* p), (s, p))
    CORVANE_TEST_FORWARD(get_audioFormat, (LONG s, IUnknown** p), (s, p))
    CORVANE_TEST_FORWARD(get_dataFormat, (LONG s, IUnknown** p), (s, p))
    CORVANE_TEST_FORWARD(put_dataFormat, (LONG s, IUnknown* p), (s, p))
    CORVANE_TEST_FORWARD(get_videoTransform, (LONG s, IUnknown** p), (s, p))
    CORVANE_TEST_FORWARD(get_audioTransform, (LONG s, IUnknown** p), (s, p))
    CORVANE_TEST_FORWARD(get_dataTransform, (LONG s, IUnknown** p), (s, p))
    CORVANE_TEST_FORWARD(SetParam, (BSTR n, VARIANT v), (n, v))
    CORVANE_TEST_FORWARD(GetParam, (BSTR n, VARIANT* v), (n, v))
#undef CORVANE_TEST_FORWARD

    STDMETHODIMP put_audioTrack(LONG v) override {
        return engine.PutAudioTrack(v);
    }
    STDMETHODIMP SeekAudio(LONG s, LONG f, double t) override {
        return engine.SeekAudio(s, f, t);
    }
    STDMETHODIMP SkipAudio(LONG s, LONG f, double d) override {
        return engine.SkipAudio(s, f, d);
    }
    STDMETHODIMP ReadAudio(LONG s, LONG f, double d, IUnknown** p) override {
        return engine.ReadAudio(s, f, d, p);
    }
    STDMETHODIMP get_audioDuration(LONG s, double* p) override {
        return engine.GetAudioDuration(s, p);
    }
    STDMETHODIMP get_audioTime(LONG s, double* p) override {
        return engine.GetAudioTime(s, p);
    }
    STDMETHODIMP put_audioFormat(LONG s, IUnknown* p) override {
        return engine.PutAudioFormat(s, p);
    }

    STDMETHODIMP InitFilter(IUnknown* p) override {
        return engine.InitFilter(p);
    }
    STDMETHODIMP get_EffectEnabled(VARIANT_BOOL* p) override {
        return engine.GetEffectEnabled(p);
    }
    STDMETHODIMP put_EffectEnabled(VARIANT_BOOL v) override {
        return engine.PutEffectEnabled(v);
    }
    STDMETHODIMP get_MediaSource(IUnknown** p) override {
        return engine.GetMediaSource(p);
    }
    STDMETHODIMP put_MediaSource(IUnknown* p) override {
        return engine.PutMediaSource(p);
    }
    STDMETHODIMP GetBaseMediaSource(IUnknown** p) override {
        return engine.GetBaseMediaSource(p);
    }
    STDMETHODIMP get_EffectParams(IUnknown** p) override {
        return engine.GetEffectParams(p);
    }
    STDMETHODIMP put_EffectParams(IUnknown* p) override {
        return engine.PutEffectParams(p);
    }
    STDMETHODIMP get_EffectZones(IUnknown** p) override {
        return engine.GetEffectZones(p);
    }
    STDMETHODIMP put_EffectZones(IUnknown* p) override {
        return engine.PutEffectZones(p);
    }
};

// Fixture: the recording host doubles of one test, and the engine under test (destroyed before
// the doubles, so that the live-object check at the end sees every object released).
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(doubles.Registered()) << std::hex << doubles.Registration();
    }
    void TearDown() override { engine.reset(); }

    template <class E = TestEngine, class... A>
    E& Make(A&&... args) {
        E* e = new E(std::forward<A>(args)...);
        engine.reset(e);
        return *e;
    }
    // A table source of format holding samples, set as the engine's source.
    ComPtr<TableSource> Attach(const AudioFormatValues& format, std::vector<int16_t> samples);
    // Hands params to the engine (as the host's parameter object).
    HRESULT Configure(const Params& params);
    // Zones (start, duration, enabled) handed to the engine.
    HRESULT Zones(const std::vector<std::tuple<double, double, bool>>& zones,
                  bool listEnabled = true);
    // Reads one block of ms through the engine.
    HRESULT Read(double ms, IUnknown** block);

    testing::HostDoubles doubles;
    std::unique_ptr<TestEngine> engine;
};

}  // namespace corvane::test
