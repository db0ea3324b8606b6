// The read paths, seek and skip, duration, time, format and track, through the recording host
// doubles: what reaches the upstream source and what the block loop is handed.
#include "tests/framework/engines.h"
#include "tests/support/live_objects.h"

#include <algorithm>

namespace corvane::test {
namespace {

using ReadPath = EngineTest;
constexpr HRESULT kInvalidArgumentHr = static_cast<HRESULT>(0x80040308u);

AudioFormatValues Stereo() {
    return AudioFormatValues();
}

std::vector<std::string> ArgsOf(const std::vector<testing::Call>& calls, size_t i) {
    return i < calls.size() ? calls[i].args : std::vector<std::string>{};
}

TEST_F(ReadPath, DisabledEffectPassesThroughUntouched) {
    TestEngine& e = Make(1, 1, [](int, CBaseFilter* o) { return new GainFilter(o, 0.5); });
    const std::vector<int16_t> in = VariedSamples(4410, 2);
    ComPtr<TableSource> source = Attach(Stereo(), in);
    ASSERT_EQ(e.PutEffectEnabled(0), S_OK);
    doubles.Log().Clear();
    ComPtr<IUnknown> block;
    ASSERT_EQ(Read(100.0, &block), S_OK);
    EXPECT_EQ(SamplesOf(block.Get()), in);
    // Only the upstream read and our own inspection above touched anything.
    EXPECT_EQ(doubles.Log().Count("ReadAudio"), 1u);
    EXPECT_EQ(doubles.Log().Count("GetFormat"), 0u);
    EXPECT_EQ(doubles.Log().Count("Append"), 0u);
    EXPECT_EQ(e.m_pFormat, nullptr);
    EXPECT_TRUE(e.m_bFirstBlock);
    EXPECT_EQ(e.m_position, 0.0);
    doubles.Failures().FailCall("ReadAudio", E_ABORT);
    EXPECT_EQ(Read(100.0, &block), E_ABORT);
}

TEST_F(ReadPath, DirectPathBlockPosition) {
    RecorderEngine& e = Make<RecorderEngine>(0, 1);
    ComPtr<TableSource> source = Attach(Stereo(), VariedSamples(88200, 2));
    ASSERT_EQ(e.SeekAudio(0, 0, 1000.0), S_OK);
    ComPtr<IUnknown> block;
    ASSERT_EQ(Read(100.0, &block), S_OK);
    ASSERT_EQ(e.blocks.size(), 1u);
    EXPECT_EQ(e.blocks[0].blockStart, 176400);
    EXPECT_EQ(e.blocks[0].offsetBytes, 0);
    EXPECT_EQ(e.blocks[0].count, 8820);
    EXPECT_EQ(e.blocks[0].last, 0);
    EXPECT_EQ(e.blockFormats, 1);
    EXPECT_EQ(e.beforeReads, 1);
    // At the end: S_OK and no block.
    ASSERT_EQ(e.SeekAudio(0, 0, 2000.0), S_OK);
    EXPECT_EQ(Read(100.0, &block), S_OK);
    EXPECT_FALSE(block);
}

TEST_F(ReadPath, DirectPathExplicitInterval) {
    struct Case {
        double at;
        bool processed;
        LONG offset, count, last;
    };
    const Case cases[] = {{900, false, 0, 0, 0},
                          {950, true, 8820, 4410, 0},
                          {1950, true, 0, 4410, 1},
                          {2000, false, 0, 0, 0}};
    for (const Case& c : cases) {
        RecorderEngine& e = Make<RecorderEngine>(0, 1);
        ComPtr<TableSource> source = Attach(Stereo(), VariedSamples(44100 * 3, 2));
        ASSERT_EQ(Zones({{1000.0, 1000.0, true}}), S_OK);
        ASSERT_EQ(e.SeekAudio(0, 0, c.at), S_OK);
        ComPtr<IUnknown> block;
        ASSERT_EQ(Read(100.0, &block), S_OK);
        EXPECT_EQ(LengthOf(block.Get()), 17640);
        ASSERT_EQ(e.blocks.size(), c.processed ? 1u : 0u) << c.at;
        if (!c.processed) continue;
        EXPECT_EQ(e.blocks[0].offsetBytes, c.offset) << c.at;
        EXPECT_EQ(e.blocks[0].count, c.count) << c.at;
        EXPECT_EQ(e.blocks[0].last, c.last) << c.at;
        EXPECT_EQ(e.blocks[0].blockStart, static_cast<INT64>(c.at * 176.4) + c.offset) << c.at;
    }
}

// With smoothing the buffered path stops at the interval start, takes at least the left
// smoothing length there, and leaves no remainder shorter than the right one before the end.
TEST_F(ReadPath, BufferedPathShapesRequestsAroundTheInterval) {
    struct Step {
        double request;
        LONG bytes;
        bool processed;
        LONG last;
    };
    RecorderEngine& e = Make<RecorderEngine>(1, 1);
    ComPtr<TableSource> source = Attach(Stereo(), VariedSamples(44100 * 3, 2));
    ASSERT_EQ(Configure(Params().Set(OLESTR("SmoothEnabled"), true)), S_OK);
    ASSERT_EQ(Zones({{1000.0, 1000.0, true}}), S_OK);
    ASSERT_EQ(e.SeekAudio(0, 0, 980.0), S_OK);
    const Step steps[] = {
        {100.0, 3528, false, 0},   // 980 .. 1000: only up to the interval start
        {10.0, 3528, true, 0},     // at the start: at least 20 ms
        {870.0, 153468, true, 0},  // 1020 .. 1890
        {95.0, 19404, true, 1},    // 1890: 95 ms would leave 15 ms, less than 20: up to 2000
    };
    double position = 980.0;
    for (const Step& s : steps) {
        ComPtr<IUnknown> block;
        const size_t before = e.blocks.size();
        ASSERT_EQ(Read(s.request, &block), S_OK);
        EXPECT_EQ(LengthOf(block.Get()), s.bytes) << position;
        EXPECT_EQ(e.blocks.size() - before, s.processed ? 1u : 0u) << position;
        if (s.processed && e.blocks.size() > before) {
            EXPECT_EQ(e.blocks.back().last, s.last) << position;
        }
        position += s.bytes / 176.4;
    }
}

// An upstream that fails fails the read on both paths. One that has ended (success without a
// block, although its duration says more) ends the direct read, and the buffered one hands out
// what it got, with no silence added.
TEST_F(ReadPath, UpstreamThatFailsOrHasEnded) {
    struct Case {
        BYTE useHelper;
        int reads;       // upstream reads of the first two engine reads before the answer
        HRESULT answer;  // of every upstream read from then on, without a block
        HRESULT want;
        size_t samples;  // in the block of the second engine read
    };
    const Case cases[] = {{1, 3, E_FAIL, E_FAIL, 0},
                          {1, 3, S_FALSE, S_OK, 17640},
                          {0, 1, E_FAIL, E_FAIL, 0},
                          {0, 1, S_FALSE, S_FALSE, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << int(c.useHelper) << " " << std::hex << c.answer);
        TestEngine& e = Make(c.useHelper, 1);
        const std::vector<int16_t> in = VariedSamples(44100, 2);
        ComPtr<TableSource> source = Attach(Stereo(), in);
        source->EndAfter(c.reads, c.answer);
        ComPtr<IUnknown> block;
        ASSERT_EQ(Read(100.0, &block), S_OK);
        EXPECT_EQ(Read(250.0, &block), c.want);
        const std::vector<int16_t> out = SamplesOf(block.Get());
        ASSERT_EQ(out.size(), c.samples);
        if (c.samples == 0) continue;
        for (size_t k = 0; k < out.size(); ++k) ASSERT_EQ(out[k], in[8820 + k]) << k;
        EXPECT_EQ(e.m_position, 300.0);
    }
}

// A channel filter that cannot load its parameters fails the read that sets the stream up, on
// both paths, instead of leaving its channel unprocessed; the next read sets it up again.
TEST_F(ReadPath, ChannelFilterThatCannotLoadFailsTheRead) {
    for (BYTE useHelper : {0, 1}) {
        int built = 0;
        TestEngine& e = Make(useHelper, 1, [&](int i, CBaseFilter* o) {
            auto* f = new IdentityFilter(o);
            if (i == 1 && built++ == 0) f->loadAnswer = E_ACCESSDENIED;
            return f;
        });
        const std::vector<int16_t> in = VariedSamples(8820, 2);
        ComPtr<TableSource> source = Attach(Stereo(), in);
        ComPtr<IUnknown> block;
        EXPECT_EQ(Read(100.0, &block), E_ACCESSDENIED) << int(useHelper);
        EXPECT_FALSE(block);
        ASSERT_EQ(e.SeekAudio(0, 0, 0.0), S_OK);
        ASSERT_EQ(Read(100.0, &block), S_OK) << int(useHelper);
        EXPECT_EQ(SamplesOf(block.Get()), std::vector<int16_t>(in.begin(), in.begin() + 8820));
    }
}

// An upstream that answers empty blocks instead of none is exhausted too: the stream ends there
// and the read returns, instead of reading forever.
TEST_F(ReadPath, BufferedPathStopsOnEmptyBlocks) {
    Make(1, 1);
    ComPtr<TableSource> source = Attach(Stereo(), VariedSamples(44100, 2));
    ComPtr<IUnknown> block;
    ASSERT_EQ(Read(100.0, &block), S_OK);
    source->EmptyBlocksAfter(source->Reads());
    ASSERT_EQ(Read(100.0, &block), S_OK);
    EXPECT_FALSE(block);
    EXPECT_LE(source->Reads(), 3);
}

TEST_F(ReadPath, MissingBufferingObject) {
    doubles.Failures().FailCreate(CLSID_AudioHelper, E_OUTOFMEMORY);
    TestEngine& e = Make(1, 1);
    ASSERT_EQ(e.m_pHelper, nullptr);
    const std::vector<int16_t> in = VariedSamples(4410, 2);
    ComPtr<TableSource> source = Attach(Stereo(), in);
    ComPtr<IUnknown> block;
    EXPECT_EQ(Read(100.0, &block), E_OUTOFMEMORY);
    EXPECT_FALSE(block);
    EXPECT_EQ(e.SeekAudio(0, 0, 50.0), S_OK);
    EXPECT_EQ(e.SkipAudio(0, 0, 10.0), S_OK);
    EXPECT_EQ(e.PutAudioFormat(0, nullptr), E_POINTER);  // the source's own answer
    ASSERT_EQ(e.PutEffectEnabled(0), S_OK);
    ASSERT_EQ(e.SeekAudio(0, 0, 0.0), S_OK);
    ASSERT_EQ(Read(100.0, &block), S_OK);
    EXPECT_EQ(SamplesOf(block.Get()), in);
}

TEST_F(ReadPath, FailedDurationEndsTheDirectRead) {
    Make(0, 1);
    ComPtr<TableSource> source = Attach(Stereo(), VariedSamples(4410, 2));
    doubles.Failures().FailCall("get_audioDuration", E_ABORT);
    ComPtr<IUnknown> block;
    EXPECT_EQ(Read(100.0, &block), E_ABORT);
    EXPECT_FALSE(block);
    EXPECT_EQ(doubles.Log().Count("ReadAudio"), 0u);
}

TEST_F(ReadPath, WithoutUpstreamEveryOperationIsInvalid) {
    TestEngine& e = Make(1, 1);
    double d = 7.0;
    IUnknown* block = reinterpret_cast<IUnknown*>(&d);
    EXPECT_EQ(e.ReadAudio(0, 0, 100.0, &block), kInvalidArgumentHr);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(e.SeekAudio(0, 0, 0.0), kInvalidArgumentHr);
    EXPECT_EQ(e.SkipAudio(0, 0, 0.0), kInvalidArgumentHr);
    EXPECT_EQ(e.GetAudioDuration(0, &d), kInvalidArgumentHr);
    EXPECT_EQ(e.GetAudioTime(0, &d), kInvalidArgumentHr);
    EXPECT_EQ(e.PutAudioFormat(0, nullptr), kInvalidArgumentHr);
    EXPECT_EQ(e.PutAudioTrack(1), kInvalidArgumentHr);
    EXPECT_EQ(d, 7.0);
}

TEST_F(ReadPath, SeekAndSkip) {
    struct Case {
        BYTE helper;
        const char* upstream;
        double upstreamArg;
        double position;
    };
    const Case cases[] = {{1, "SeekAudio", 2500.0, 2500.0}, {0, "SkipAudio", 500.0, 2500.0}};
    for (const Case& c : cases) {
        TestEngine& e = Make(c.helper, 1);
        ComPtr<TableSource> source = Attach(Stereo(), VariedSamples(44100 * 4, 2));
        ASSERT_EQ(Configure(Params().Set(OLESTR("UseStrengthPerCh"), true)), S_OK);
        ComPtr<IUnknown> block;
        ASSERT_EQ(Read(100.0, &block), S_OK);
        ASSERT_EQ(e.SeekAudio(0, 0, 2000.0), S_OK);
        doubles.Log().Clear();
        ASSERT_EQ(e.SkipAudio(0, 0, 500.0), S_OK);
        const std::vector<testing::Call> calls = doubles.Log().Calls(c.upstream);
        ASSERT_EQ(calls.size(), 1u) << c.upstream;
        EXPECT_EQ(calls[0].args[2], testing::FormatArg(c.upstreamArg));
        EXPECT_EQ(e.m_position, c.position);
        EXPECT_EQ(e.skips, 1);
        EXPECT_TRUE(e.m_bFirstBlock);
        EXPECT_EQ(e.ChannelFilter(0)->PendingCount(), 0u);
        double t = 0;
        EXPECT_EQ(e.GetAudioTime(0, &t), S_OK);
        EXPECT_EQ(t, 2500.0);
    }
}

TEST_F(ReadPath, SeekClearsTheLagAndTheQueues) {
    TestEngine& e = Make(0, 1, [](int, CBaseFilter* o) { return new LatencyFilter(o, 100, 1.0); });
    e.m_bLengthChanges = true;
    ComPtr<TableSource> source = Attach(Stereo(), VariedSamples(44100, 2));
    ASSERT_EQ(Configure(Params().Set(OLESTR("UseStrengthPerCh"), true)), S_OK);
    ComPtr<IUnknown> block;
    ASSERT_EQ(Read(100.0, &block), S_OK);
    ASSERT_EQ(e.m_frameOffset, 100);
    ASSERT_EQ(e.ChannelFilter(1)->PendingCount(), 100u);
    ASSERT_EQ(e.SeekAudio(0, 0, 500.0), S_OK);
    EXPECT_EQ(e.m_frameOffset, 0);
    EXPECT_EQ(e.m_inCount, 0);
    EXPECT_EQ(e.m_outCount, 0);
    EXPECT_EQ(e.ChannelFilter(1)->PendingCount(), 0u);
    EXPECT_EQ(e.m_position, 500.0);
    EXPECT_EQ(e.seeks, 1);
}

TEST(RateMapping, TimesAndDuration) {
    TestEngine e(0, 1);
    e.m_bFollowsRate = true;
    e.m_rate = 2.0;
    e.m_effectStart = 1000.0;
    e.m_effectDuration = 1000.0;
    const std::pair<double, double> toInput[] = {
        {500, 500}, {1000, 1000}, {2000, 1500}, {3000, 2000}, {3500, 2500}};
    for (const auto& [out, in] : toInput) {
        EXPECT_EQ(e.InputTime(out), in) << out;
        EXPECT_EQ(e.OutputTime(in), out) << in;
    }
    e.m_bEnabled = false;
    EXPECT_EQ(e.InputTime(3500), 3500);
}

TEST_F(ReadPath, RateMappingThroughTheUpstream) {
    TestEngine& e = Make(1, 0);
    e.m_bFollowsRate = true;
    ComPtr<TableSource> source = Attach(Stereo(), VariedSamples(44100 * 5, 2));
    ASSERT_EQ(Configure(Params().Set(OLESTR("Rate"), 2.0)), S_OK);
    ASSERT_EQ(Zones({{1000.0, 1000.0, true}}), S_OK);
    double d = 0;
    ASSERT_EQ(e.GetAudioDuration(0, &d), S_OK);
    EXPECT_EQ(d, 6000.0);
    ASSERT_EQ(e.SeekAudio(0, 0, 3500.0), S_OK);
    EXPECT_EQ(ArgsOf(doubles.Log().Calls("SeekAudio"), 0)[2], "2500");
    EXPECT_EQ(e.m_position, 3500.0);
    ASSERT_EQ(e.PutEffectEnabled(0), S_OK);
    ASSERT_EQ(e.GetAudioDuration(0, &d), S_OK);
    EXPECT_EQ(d, 5000.0);
}

TEST_F(ReadPath, TrackAndFormatChangesRebuildTheStream) {
    TestEngine& e = Make(0, 1);
    ComPtr<TableSource> source = Attach(Stereo(), VariedSamples(44100, 2));
    ComPtr<IUnknown> block;
    ASSERT_EQ(Read(100.0, &block), S_OK);
    CBaseChannelFilter* built = e.ChannelFilter(0);
    // New parameters reach the channel filters only when the stream is set up again.
    ASSERT_EQ(Configure(Params().Set(OLESTR("TestGain"), 2.0)), S_OK);
    ASSERT_EQ(Read(100.0, &block), S_OK);
    EXPECT_EQ(e.ChannelFilter(0), built);
    LONG track = -5;
    ASSERT_EQ(source->get_audioTrack(&track), S_OK);
    doubles.Log().Clear();
    EXPECT_EQ(e.PutAudioTrack(track), S_OK);
    EXPECT_EQ(doubles.Log().Count("put_audioTrack"), 0u);
    EXPECT_NE(e.m_pFormat, nullptr);
    (void)e.PutAudioTrack(track + 1);  // the source's answer: what counts is that it was asked
    EXPECT_EQ(doubles.Log().Count("put_audioTrack"), 1u);
    EXPECT_EQ(e.m_pFormat, nullptr);
    ASSERT_EQ(Read(100.0, &block), S_OK);
    EXPECT_EQ(e.Channel<RecordingChannelFilter>(0)->loadedGain, 2.0);
    EXPECT_EQ(e.PutAudioFormat(0, nullptr), E_POINTER);
    EXPECT_EQ(e.m_pFormat, nullptr);
}

// A track that cannot be asked for is not taken as the current one: the request is passed on
// and the stream is set up again.
TEST_F(ReadPath, TrackChangeWhenTheCurrentTrackIsUnknown) {
    TestEngine& e = Make(0, 1);
    ComPtr<TableSource> source = Attach(Stereo(), VariedSamples(4410, 2));
    ComPtr<IUnknown> block;
    ASSERT_EQ(Read(100.0, &block), S_OK);
    ASSERT_NE(e.m_pFormat, nullptr);
    doubles.Failures().FailCall("get_audioTrack", E_FAIL);
    for (LONG track : {0, 1, -1}) {
        doubles.Log().Clear();
        (void)e.PutAudioTrack(track);  // the source's answer: what counts is that it was asked
        const std::vector<testing::Call> calls = doubles.Log().Calls("put_audioTrack");
        ASSERT_EQ(calls.size(), 1u) << track;
        EXPECT_EQ(calls[0].args[0], testing::FormatArg(track));
        EXPECT_EQ(e.m_pFormat, nullptr);
    }
}

// Smoothing times below 0 count as 0, and long ones keep their byte length (no 32-bit wrap):
// the buffered path shapes its first request by them. A stream as long as the explicit interval
// from 0, 100 ms asked.
TEST_F(ReadPath, SmoothingTimesAreClampedAndExact) {
    struct Case {
        const char* name;
        int32_t right, left;  // "RSmoothTime", "LSmoothTime"
        double intervalMs;
        int32_t rLimited, lLimited;
        UINT rBytes, lBytes;
        LONG firstBlock;  // bytes of the first block
    };
    const Case cases[] = {
        {"negative times", -20, -5, 1000.0, 0, 0, 0u, 0u, 17640},
        {"right 150 s limited to 100 s: the remainder would be shorter, the block runs to the end",
         150000, 20, 100000.0, 100000, 20, 17640000u, 3528u, 17640000},
        {"left 120 s: the first block is at least that long", 20, 120000, 150000.0, 20, 120000,
         3528u, 21168000u, 21168000},
        {"ordinary times", 20, 30, 1000.0, 20, 30, 3528u, 5292u, 17640},
    };
    for (const Case& c : cases) {
        TestEngine& e = Make(1, 1);
        ComPtr<TableSource> source =
            Attach(Stereo(), VariedSamples(static_cast<int64_t>(c.intervalMs * 44.1), 2));
        ASSERT_EQ(Configure(Params()
                                .Set(OLESTR("SmoothEnabled"), true)
                                .Set(OLESTR("RSmoothTime"), c.right)
                                .Set(OLESTR("LSmoothTime"), c.left)),
                  S_OK);
        ASSERT_EQ(Zones({{0.0, c.intervalMs, true}}), S_OK);
        ComPtr<IUnknown> block;
        ASSERT_EQ(Read(100.0, &block), S_OK) << c.name;
        EXPECT_EQ(e.m_rSmooth, c.rLimited) << c.name;
        EXPECT_EQ(e.m_lSmooth, c.lLimited) << c.name;
        EXPECT_EQ(e.m_rSmoothBytes, c.rBytes) << c.name;
        EXPECT_EQ(e.m_lSmoothBytes, c.lBytes) << c.name;
        EXPECT_EQ(LengthOf(block.Get()), c.firstBlock) << c.name;
    }
}

TEST_F(ReadPath, ChainOfEffects) {
    auto half = [](int, CBaseFilter* o) { return new GainFilter(o, 0.5); };
    ComPtr<TestEffect> a(new TestEffect(1, 1, half)), b(new TestEffect(0, 1, half)),
        c(new TestEffect(1, 0, half));
    const std::vector<int16_t> in = VariedSamples(4410, 2);
    ComPtr<TableSource> source(new TableSource(doubles.State(), Stereo(), in));
    ASSERT_EQ(a->put_MediaSource(static_cast<IMediaSource*>(source.Get())), S_OK);
    ASSERT_EQ(b->put_MediaSource(static_cast<IMediaSource*>(a.Get())), S_OK);
    ASSERT_EQ(c->put_MediaSource(static_cast<IMediaSource*>(b.Get())), S_OK);
    ComPtr<IUnknown> base;
    ASSERT_EQ(c->GetBaseMediaSource(&base), S_OK);
    EXPECT_EQ(base.Get(), static_cast<IUnknown*>(static_cast<IMediaSource*>(source.Get())));
    ComPtr<IUnknown> block;
    ASSERT_EQ(c->ReadAudio(0, 0, 100.0, &block), S_OK);
    const std::vector<int16_t> out = SamplesOf(block.Get());
    ASSERT_EQ(out.size(), in.size());
    for (size_t k = 0; k < in.size(); ++k) ASSERT_EQ(out[k], in[k] / 2 / 2 / 2) << k;
}

// Holds its last `held` input samples back and gives them at the interval's end: half the input,
// as late as a frame-based effect. Records what it was shown of the input that follows.
class HoldingFilter : public RecordingChannelFilter {
public:
    HoldingFilter(CBaseFilter* o, int held, int lookAhead)
        : RecordingChannelFilter(o), m_held(held), m_lookAhead(lookAhead) {}
    int LookAheadFrames() const override { return m_lookAhead; }
    int ProcessChannel(int n, int last) override {
        Record(n, last);
        m_queue.insert(m_queue.end(), m_pIn, m_pIn + n);
        const size_t out =
            last ? m_queue.size() : m_queue.size() - std::min<size_t>(m_held, m_queue.size());
        EnsureOutputBuffer(static_cast<int>(out));
        for (size_t k = 0; k < out; ++k) m_pOut[k] = m_queue[k] / 2;
        m_queue.erase(m_queue.begin(), m_queue.begin() + static_cast<std::ptrdiff_t>(out));
        if (last) {
            following.assign(m_pLookAhead, m_pLookAhead + m_lookAheadCount);
            streamEnds = m_bStreamEnds;
        }
        return static_cast<int>(out);
    }
    std::vector<double> following;
    bool streamEnds = false;

private:
    int m_held, m_lookAhead;
    std::vector<double> m_queue;
};

// At the interval's end the filter sees the input that follows (and whether the stream ends), and
// that input still comes out unprocessed; a source that runs dry before the duration it announced
// ends the stream there, with or without a block in hand: all the input comes out, processed, and
// nothing more.
TEST_F(ReadPath, LookAheadAndTheStreamsTrueEnd) {
    struct Case {
        const char* name;
        double zoneStart, zoneMs;  // no zone when zoneMs is 0
        int endAfter;              // upstream reads (the first of `request`) before it runs dry
        double request;            // ms per engine read
        size_t following;          // frames shown at the end
        bool ends;
    };
    const Case cases[] = {
        {"zone inside", 200, 300, 0, 100, 1000, false},
        {"zone 10 ms before the end", 200, 790, 0, 100, 441, true},
        {"whole stream", 0, 0, 0, 100, 0, true},
        {"dry between blocks", 0, 0, 3, 100, 0, true},
        {"dry inside a block", 0, 0, 3, 70, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestEngine& e =
            Make(1, 1, [](int, CBaseFilter* o) { return new HoldingFilter(o, 3000, 1000); });
        e.SetOutputTraits(true, false);
        const std::vector<int16_t> in = VariedSamples(44100, 2);
        ComPtr<TableSource> source = Attach(Stereo(), in);
        if (c.endAfter > 0) source->EndAfter(c.endAfter, S_OK);
        if (c.zoneMs > 0) ASSERT_EQ(Zones({{c.zoneStart, c.zoneMs, true}}), S_OK);
        std::vector<int16_t> out;
        for (int reads = 0; reads < 100; ++reads) {
            ComPtr<IUnknown> block;
            ASSERT_EQ(Read(c.request, &block), S_OK);
            if (!block) break;
            const std::vector<int16_t> got = SamplesOf(block.Get());
            out.insert(out.end(), got.begin(), got.end());
        }
        const size_t frames = c.endAfter > 0
                                  ? static_cast<size_t>(c.request * 44.1) + 4410 * (c.endAfter - 1)
                                  : 44100;
        const size_t from = static_cast<size_t>(c.zoneStart * 44.1) * 2;
        const size_t to =
            c.zoneMs > 0 ? static_cast<size_t>((c.zoneStart + c.zoneMs) * 44.1) * 2 : frames * 2;
        ASSERT_EQ(out.size(), frames * 2);
        for (size_t k = 0; k < out.size(); ++k) {
            const int want =
                k >= from && k < to ? static_cast<int>(in[k] / 32768.0 / 2 * 32768.0) : in[k];
            ASSERT_EQ(out[k], want) << k;
        }
        for (size_t ch = 0; ch < 2; ++ch) {
            auto* f = e.Channel<HoldingFilter>(ch);
            ASSERT_NE(f, nullptr);
            EXPECT_EQ(std::count_if(f->calls.begin(), f->calls.end(),
                                    [](const ChannelCall& k) { return k.last != 0; }),
                      1);
            EXPECT_EQ(f->streamEnds, c.ends);
            ASSERT_EQ(f->following.size(), c.following);
            for (size_t k = 0; k < c.following; ++k)
                ASSERT_EQ(f->following[k], in[to + 2 * k + ch] / 32768.0) << k;
        }
    }
}

}  // namespace
}  // namespace corvane::test
