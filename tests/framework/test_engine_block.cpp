// The block loop through ReadAudio: conversions, strength mix, zone walk, length changes, lag
// and edge smoothing, with the test channel filters on the recording host doubles.
#include "tests/framework/engines.h"
#include "tests/support/live_objects.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <string>
#include <utility>

namespace corvane::test {
namespace {

using Block = EngineTest;

AudioFormatValues Format(WORD channels, DWORD rate = 44100) {
    AudioFormatValues f;
    f.channels = channels;
    f.rate = rate;
    f.layout = host::DefaultChannelLayout(channels);
    return f;
}

TestEngine::Factory Gains(std::vector<double> gains) {
    return [gains](int i, CBaseFilter* o) { return new GainFilter(o, gains[i % gains.size()]); };
}

template <class F, class... A>
TestEngine::Factory Each(A... args) {
    return [=](int, CBaseFilter* o) { return new F(o, args...); };
}

// Reads ms-long blocks to the end and joins their samples.
std::vector<int16_t> ReadAll(CBaseFilter& e, double ms) {
    std::vector<int16_t> all;
    for (int guard = 0; guard < 10000; ++guard) {
        ComPtr<IUnknown> block;
        if (FAILED(e.ReadAudio(0, 0, ms, &block)) || !block) break;
        const std::vector<int16_t> s = SamplesOf(block.Get());
        all.insert(all.end(), s.begin(), s.end());
    }
    return all;
}

void ExpectNear(const std::vector<int16_t>& got, const std::vector<double>& expected,
                const char* what) {
    ASSERT_EQ(got.size(), expected.size()) << what;
    for (size_t k = 0; k < got.size(); ++k)
        ASSERT_NEAR(got[k], expected[k], 1.0) << what << " sample " << k;
}

TEST_F(Block, IdentityIsBitExactOverTheFull16BitRange) {
    std::vector<int16_t> all(65536 * 2);
    for (int k = 0; k < 65536; ++k) {
        all[2 * k] = static_cast<int16_t>(k - 32768);
        all[2 * k + 1] = static_cast<int16_t>(32767 - k);
    }
    const std::pair<BYTE, BYTE> kinds[] = {{0, 1}, {0, 0}, {1, 1}, {1, 0}};  // helper, per channel
    for (const auto& [helper, perChannel] : kinds) {
        TestEngine& e = Make(helper, perChannel, Each<IdentityFilter>());
        ComPtr<TableSource> source = Attach(Format(2), all);
        EXPECT_EQ(ReadAll(e, 100.0), all) << int(helper) << int(perChannel);
    }
}

TEST_F(Block, ChannelFilterIGetsChannelI) {
    TestEngine& e = Make(0, 1, Gains({0.5, 0.25}));
    const std::vector<int16_t> in = VariedSamples(4410, 2);
    ComPtr<TableSource> source = Attach(Format(2), in);
    const std::vector<int16_t> out = ReadAll(e, 100.0);
    ASSERT_EQ(out.size(), in.size());
    for (size_t k = 0; k < in.size(); ++k) {
        ASSERT_EQ(out[k], static_cast<int16_t>(in[k] / (k % 2 ? 4 : 2)))
            << k;  // truncation toward zero
    }
}

TEST_F(Block, ConversionsTo16Bits) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        int16_t in;
        double constant;
        double level;
        int16_t out;
    };
    const Case cases[] = {
        {"-32768 round trip", -32768, 0, 1.0, -32768},
        {"1.0 clamps to 32767", 5, 1.0, 1.0, 32767},
        {"-0.99999 truncates toward zero", 5, -0.99999, 1.0, -32767},
        {"level 2 doubles", 1000, 0, 2.0, 2000},
        {"level 2 clamps high", 16384, 0, 2.0, 32767},
        {"level 2 clamps low", -16385, 0, 2.0, -32768},
        {"level 1e5 stays positive", 30000, 0, 1e5, 32767},
        {"level 1e5 stays negative", -30000, 0, 1e5, -32768},
        {"huge output", 5, 1e300, 1.0, 32767},
        {"NaN output is silence", 5, nan, 1.0, 0},
    };
    for (const Case& c : cases) {
        TestEngine::Factory f =
            c.constant == 0 ? Each<IdentityFilter>() : Each<ConstantFilter>(c.constant);
        TestEngine& e = Make(0, 1, f);
        ComPtr<TableSource> source = Attach(Format(1), std::vector<int16_t>(441, c.in));
        ASSERT_EQ(Configure(Params().Set(OLESTR("VolumeLevel"), c.level)), S_OK);
        const std::vector<int16_t> out = ReadAll(e, 10.0);
        ASSERT_EQ(out.size(), 441u) << c.name;
        EXPECT_EQ(out[0], c.out) << c.name;
        EXPECT_EQ(out[440], c.out) << c.name;
    }
}

TEST_F(Block, StrengthMix) {
    // processed = 0.5 x; out = max(0, s) processed + max(0, 1 - s) x.
    struct Case {
        const char* name;
        WORD channels;
        BYTE perChannel;
        Params params;
        double left, right;
    };
    const Case cases[] = {
        {"left 0.25", 2, 1,
         Params().Set(OLESTR("UseStrengthPerCh"), true).Set(OLESTR("LeftStrength"), 0.25), 0.875,
         0.5},
        {"left 1.5", 2, 1,
         Params().Set(OLESTR("UseStrengthPerCh"), true).Set(OLESTR("LeftStrength"), 1.5), 0.75,
         0.5},
        {"left -0.5: unprocessed alone, weighed 1.5", 2, 1,
         Params().Set(OLESTR("UseStrengthPerCh"), true).Set(OLESTR("LeftStrength"), -0.5), 1.5,
         0.5},
        {"right 0", 2, 1,
         Params().Set(OLESTR("UseStrengthPerCh"), true).Set(OLESTR("RightStrength"), 0.0), 0.5,
         1.0},
        {"mono centre", 1, 1,
         Params()
             .Set(OLESTR("UseStrengthPerCh"), true)
             .Set(OLESTR("CenterStrength"), 0.5)
             .Set(OLESTR("LeftStrength"), 0.0),
         0.75, 0.75},
        {"interleaved: no mix", 2, 0,
         Params().Set(OLESTR("UseStrengthPerCh"), true).Set(OLESTR("LeftStrength"), 0.0), 0.5, 0.5},
        {"flag false: no mix", 2, 1,
         Params().Set(OLESTR("UseStrengthPerCh"), false).Set(OLESTR("LeftStrength"), 0.0), 0.5,
         0.5},
    };
    for (const Case& c : cases) {
        TestEngine& e = Make(0, c.perChannel, Gains({0.5}));
        const std::vector<int16_t> in = VariedSamples(4410, c.channels);
        ComPtr<TableSource> source = Attach(Format(c.channels), in);
        ASSERT_EQ(Configure(c.params), S_OK);
        std::vector<double> expected(in.size());
        for (size_t k = 0; k < in.size(); ++k) {
            expected[k] =
                std::clamp(in[k] * ((k % c.channels) ? c.right : c.left), -32768.0, 32767.0);
        }
        ExpectNear(ReadAll(e, 50.0), expected, c.name);
    }
}

TEST_F(Block, ZoneWalk) {
    // processed = 0: inside [0, 1000) the unprocessed sample, inside [2000, 3000) half of it,
    // elsewhere the processed silence.
    TestEngine& e = Make(0, 1, Gains({0.0}));
    const std::vector<int16_t> in = VariedSamples(44100 * 4, 2);
    ComPtr<TableSource> source = Attach(Format(2), in);
    ASSERT_EQ(Configure(Params()
                            .Set(OLESTR("UseStrengthPerCh"), true)
                            .Zone(0.0, 1000.0,
                                  {{OLESTR("LeftStrength"), 0.0}, {OLESTR("RightStrength"), 0.0}})
                            .Zone(2000.0, 1000.0,
                                  {{OLESTR("LeftStrength"), 0.5}, {OLESTR("RightStrength"), 0.5}})),
              S_OK);
    // The last two seek back: the walk steps back to the first zone, and from there forward
    // into the gap.
    for (double at : {950.0, 1500.0, 2000.0, 2950.0, 950.0, 1500.0}) {
        ASSERT_EQ(e.SeekAudio(0, 0, at), S_OK);
        ComPtr<IUnknown> block;
        ASSERT_EQ(Read(100.0, &block), S_OK);
        const int64_t first = static_cast<int64_t>(at * 44.1);
        std::vector<double> expected(8820);
        for (int k = 0; k < 8820; ++k) {
            const int64_t frame = first + k / 2;
            const double x = in[static_cast<size_t>(first * 2 + k)];
            expected[k] = frame < 44100 ? x : (frame >= 88200 && frame < 132300) ? 0.5 * x : 0.0;
        }
        ExpectNear(SamplesOf(block.Get()), expected, "zone walk");
    }
}

// A filter that returns fewer samples than given, with the strength mix: the gap samples keep
// their input, and the last block, holding more samples than its range, writes only its range.
TEST_F(Block, LatencyFilterGapAndLastBlock) {
    Make(0, 1, Each<LatencyFilter>(100, 0.5));
    const std::vector<int16_t> in = VariedSamples(8820, 2);
    ComPtr<TableSource> source = Attach(Format(2), in);
    ASSERT_EQ(Configure(Params()
                            .Set(OLESTR("UseStrengthPerCh"), true)
                            .Set(OLESTR("LeftStrength"), 0.5)
                            .Set(OLESTR("RightStrength"), 0.5)),
              S_OK);
    ASSERT_EQ(Zones({{0.0, 150.0, true}}), S_OK);
    ComPtr<IUnknown> first, second;
    ASSERT_EQ(Read(100.0, &first), S_OK);
    ASSERT_EQ(Read(100.0, &second), S_OK);
    const auto x = [&](int64_t frame, int c) {
        return static_cast<double>(in[static_cast<size_t>(frame * 2 + c)]);
    };
    std::vector<double> one(8820), two(8820);
    for (int f = 0; f < 4410; ++f) {
        for (int c = 0; c < 2; ++c) {
            one[f * 2 + c] = f < 4310 ? 0.75 * x(f, c) : x(f, c);
            // Second block: frames 0 .. 2204 are in the interval (last), the rest is past it.
            const double pending = f < 100 ? x(4310 + f, c) : x(4410 + f - 100, c);
            double v = x(4410 + f, c);
            if (f < 2105)
                v = 0.25 * x(4410 + f, c) + 0.5 * pending;
            else if (f < 2205)
                v = pending;
            two[f * 2 + c] = v;
        }
    }
    ExpectNear(SamplesOf(first.Get()), one, "first block");
    ExpectNear(SamplesOf(second.Get()), two, "last block");
}

struct LengthCase {
    const char* name;
    int count0, count1;  // samples returned by the two channel filters (4410 given)
    int frames;          // frames of the new processed range
};

// Length changes: a 200 ms block whose middle 100 ms (from 50 ms) are processed.
TEST_F(Block, LengthChangeBuildsANewBlock) {
    const LengthCase cases[] = {
        {"both 2048", 2048, 2048, 2048},     {"first unchanged, second 2048", 4410, 2048, 2048},
        {"second larger", 2048, 3000, 2048}, {"second unchanged", 2048, 4410, 2048},
        {"both longer", 5000, 5000, 5000},
    };
    for (const LengthCase& c : cases) {
        const std::vector<int> counts = {c.count0, c.count1};
        TestEngine& e = Make(0, 1, [counts](int i, CBaseFilter* o) {
            const int n = counts[i];
            return new LengthFilter(o, [n](int) { return n; });
        });
        e.m_bLengthChanges = true;
        const std::vector<int16_t> in = VariedSamples(8820, 2);
        ComPtr<TableSource> source = Attach(Format(2), in);
        ASSERT_EQ(Zones({{50.0, 100.0, true}}), S_OK);
        ComPtr<IUnknown> block;
        ASSERT_EQ(Read(200.0, &block), S_OK);
        const std::vector<int16_t> out = SamplesOf(block.Get());
        const size_t newTotal = 35280 - 2 * (4410 - c.frames) * 2;
        ASSERT_EQ(out.size() * 2, newTotal) << c.name;
        for (size_t k = 0; k < 4410; ++k) ASSERT_EQ(out[k], in[k]) << c.name << " head " << k;
        for (size_t k = 0; k < 4410; ++k)
            ASSERT_EQ(out[4410 + 2 * c.frames + k], in[13230 + k]) << c.name << " tail " << k;
        for (int f = 0; f < c.frames; ++f) {
            for (int ch = 0; ch < 2; ++ch) {
                const int returned = counts[ch];
                if (f >= returned) continue;  // this filter gave no sample here
                const double expected = f < 4410 ? in[4410 + 2 * f + ch] : 0.25 * 32768;
                ASSERT_EQ(out[4410 + 2 * f + ch], static_cast<int16_t>(expected))
                    << c.name << " frame " << f << " ch " << ch;
            }
        }
        const double newDuration = newTotal * 1000.0 / (4 * 44100.0);
        EXPECT_DOUBLE_EQ(DurationOf(block.Get()), newDuration) << c.name;
        EXPECT_DOUBLE_EQ(e.m_position, newDuration - 200.0) << c.name;
    }
}

// A block whose buffer, or whose replacing block, cannot be had is no output of the effect: the
// read fails with the host's failure, and the next read is processed as usual. Any step of making
// the replacing block counts; a later channel filter of the same call tries again, so a block made
// at the second try loses nothing.
TEST_F(Block, AFailedBufferOrReplacingBlockFailsThatReadAndTheNextReadWorks) {
    struct Case {
        const char* method;
        BYTE helper;
        bool halves;  // the filters return half their samples: the block is replaced
        int times;    // calls that fail (after the original block's buffer, for a new block's)
        HRESULT first;
    };
    const Case cases[] = {
        {"GetBuffer", 0, false, 1, E_ABORT},  {"GetBuffer", 1, false, 1, E_ABORT},
        {"CreateBlock", 0, true, 2, E_ABORT}, {"CreateBlock", 1, true, 2, E_ABORT},
        {"SetLength", 0, true, 2, E_ABORT},   {"GetBuffer", 0, true, 2, E_ABORT},
        {"CreateBlock", 0, true, 1, S_OK},
    };
    const std::vector<int16_t> in = VariedSamples(8820, 2);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.method << (c.helper ? " helper" : " direct")
                                          << (c.halves ? " halves " : " ") << c.times);
        TestEngine& e = Make(c.helper, 1, [&c](int, CBaseFilter* o) -> CBaseChannelFilter* {
            if (c.halves) return new LengthFilter(o, [](int n) { return n / 2; });
            return new GainFilter(o, 0.5);
        });
        e.m_bLengthChanges = c.halves;
        ComPtr<TableSource> source = Attach(Format(2), in);
        const int skip = c.halves && std::string(c.method) == "GetBuffer" ? 1 : 0;
        doubles.Failures().FailCall(c.method, E_ABORT, {}, c.times, skip);
        for (int read = 0; read < 2; ++read) {
            ComPtr<IUnknown> block;
            const HRESULT hr = Read(50.0, &block);
            if (read == 0 && FAILED(c.first)) {
                EXPECT_EQ(hr, c.first);
                EXPECT_FALSE(block);
                continue;
            }
            ASSERT_EQ(hr, S_OK) << "read " << read;
            const std::vector<int16_t> out = SamplesOf(block.Get());
            const size_t frames = c.halves ? 1102 : 2205;
            ASSERT_EQ(out.size(), frames * 2);
            for (size_t k = 0; k < out.size(); ++k) {
                const int16_t x = in[2205 * 2 * read + k];
                ASSERT_EQ(out[k], c.halves ? x : static_cast<int16_t>(x / 2)) << k;
            }
        }
    }
}

// A strength zone far beyond any stream (1e300 ms) holds its frame positions at the largest value
// instead of running past it, and an interval of that length ends with the stream (22 +
// trunc(99.5 ms x 44.1)); the block is processed as usual.
TEST_F(Block, StrengthRecordsFarBeyondTheStreamSaturate) {
    const INT64 kMax = std::numeric_limits<INT64>::max();
    struct Case {
        bool strengthZone;  // one "StrengthZone" entry from 1e300 ms, else none
        INT64 start, end;   // the record's frames after the first block
    };
    // The interval starts at 0.5 ms: frame 22 at 44100 Hz.
    const Case cases[] = {{false, 22, 4409}, {true, kMax, kMax}};
    for (const Case& c : cases) {
        TestEngine& e = Make(0, 1, Gains({0.5}));
        const std::vector<int16_t> in = VariedSamples(4410, 2);
        ComPtr<TableSource> source = Attach(Format(2), in);
        Params params;
        params.Set(OLESTR("UseStrengthPerCh"), true);
        if (c.strengthZone) params.Zone(1e300, 1.0, {});
        ASSERT_EQ(Configure(params), S_OK);
        ASSERT_EQ(Zones({{0.5, 1e300, true}}), S_OK);
        ComPtr<IUnknown> block;
        ASSERT_EQ(Read(100.0, &block), S_OK);
        const StrengthZoneRecord& rec =
            c.strengthZone ? e.m_strength.zones[0] : e.m_strength.current;
        EXPECT_EQ(rec.startFrame, c.start) << c.strengthZone;
        EXPECT_EQ(rec.endFrame, c.end) << c.strengthZone;
        EXPECT_EQ(rec.lengthFrames, c.end - c.start) << c.strengthZone;
        EXPECT_EQ(SamplesOf(block.Get()).size(), in.size());
    }
}

// The lag is the difference of frames in and frames out over every block, per channel and
// interleaved alike.
TEST_F(Block, LagStaysConsistentAcrossBlocks) {
    for (BYTE perChannel : {1, 0}) {
        TestEngine& e = Make(0, perChannel, [](int, CBaseFilter* o) {
            auto first = std::make_shared<bool>(true);
            return new LengthFilter(
                o, [first](int n) { return std::exchange(*first, false) ? n * 2048 / 4410 : n; });
        });
        e.m_bLengthChanges = true;
        ComPtr<TableSource> source = Attach(Format(2), VariedSamples(44100, 2));
        for (int b = 0; b < 4; ++b) {
            ComPtr<IUnknown> block;
            ASSERT_EQ(Read(100.0, &block), S_OK);
            EXPECT_EQ(e.m_frameOffset, 4410 - 2048) << int(perChannel) << " block " << b;
        }
        // The next read starts its block that many frames later.
        ComPtr<IUnknown> block;
        ASSERT_EQ(Read(100.0, &block), S_OK);
        EXPECT_EQ(e.m_blockStart, (4 * 4410 + 4410 - 2048) * 4) << int(perChannel);
    }
}

// Edge smoothing over a processed silence: the head fades from the kept input into it, the tail
// from it into the kept input, each over its own length in frames.
TEST_F(Block, SmoothingLengths) {
    struct Case {
        const char* name;
        BYTE perChannel;
        double streamMs, blockMs;
        int head, tail;
    };
    const Case cases[] = {
        {"20 ms at 44100 Hz", 1, 200.0, 200.0, 882, 882},
        {"short block: a tenth", 1, 100.0, 100.0, 441, 441},
        {"interleaved", 0, 200.0, 200.0, 882, 882},
        {"head only on the first block", 1, 400.0, 200.0, 882, 882},
    };
    for (const Case& c : cases) {
        TestEngine& e = Make(0, c.perChannel, Gains({0.0}));
        const int frames = static_cast<int>(c.streamMs * 44.1);
        ComPtr<TableSource> source = Attach(Format(2), std::vector<int16_t>(frames * 2, 16384));
        ASSERT_EQ(Configure(Params().Set(OLESTR("SmoothEnabled"), true)), S_OK);
        std::vector<double> expected(frames * 2, 0.0);
        for (int f = 0; f < frames; ++f) {
            double v = 0.0;
            if (f < c.head) v = 16384.0 * (1.0 - std::sin(f * M_PI / (2.0 * c.head)));
            const int i = f - (frames - c.tail);
            if (i >= 0) v = 16384.0 * std::sin(i * M_PI / (2.0 * c.tail));
            expected[2 * f] = expected[2 * f + 1] = v;
        }
        ExpectNear(ReadAll(e, c.blockMs), expected, c.name);
    }
}

// Without zone records a start-to-end ramp moves every sample, not once per block.
TEST_F(Block, StrengthRampIsSmoothWithinBlocks) {
    TestEngine& e = Make(0, 1, Gains({0.0}));
    ComPtr<TableSource> source = Attach(Format(1), std::vector<int16_t>(44100, 16384));
    ASSERT_EQ(Configure(Params()
                            .Set(OLESTR("UseStrengthPerCh"), true)
                            .Set(OLESTR("CenterStrength"), 0.0)
                            .Set(OLESTR("CenterStrengthEnd"), 1.0)),
              S_OK);
    const std::vector<int16_t> out = ReadAll(e, 100.0);
    ASSERT_EQ(out.size(), 44100u);
    for (int f = 0; f < 44100; ++f) ASSERT_NEAR(out[f], 16384.0 * (1.0 - f / 44100.0), 1.0) << f;
}

// A range that does not lie inside the block fails it.
TEST_F(Block, RangeOutsideTheBlockFailsIt) {
    TestEngine& e = Make(0, 1, Gains({0.5}));
    ComPtr<TableSource> source = Attach(Format(2), VariedSamples(8820, 2));
    ComPtr<IUnknown> block;
    ASSERT_EQ(Read(100.0, &block), S_OK);  // sets the stream up
    ComPtr<IAudioData> out;
    e.ProcessAudio(block.Get(), LengthOf(block.Get()), 4, 8820, 0, &out);
    EXPECT_EQ(e.TakeBlockFailure(), E_INVALIDARG);
}

// At the interval's end: the look-ahead in place of its first samples, then 0.5 if the stream ends.
// failNext: telling it fails once, as a probe that cannot be allocated would.
struct ShowsAhead : RecordingChannelFilter {
    using RecordingChannelFilter::RecordingChannelFilter;
    static inline bool failNext = false;
    int LookAheadFrames() const override {
        if (std::exchange(failNext, false)) throw std::bad_alloc();
        return 100;
    }
    int ProcessChannel(int n, int last) override {
        std::copy(m_pIn, m_pIn + n, m_pOut);
        std::copy(m_pLookAhead, m_pLookAhead + m_lookAheadCount, m_pOut);
        if (last) m_pOut[m_lookAheadCount] = m_bStreamEnds ? 0.5 : -0.5;
        return n;
    }
};

// Announces twice what it holds until a read reaches its end, as a file cut while it is read.
struct CutSource : TableSource {
    using TableSource::TableSource;
    bool cut = false;
    int64_t TotalFramesLocked() const override { return (2 - cut) * Held(); }
    int64_t Held() const { return TableSource::TotalFramesLocked(); }
    HRESULT ReadFramesLocked(int64_t first, int64_t frames, int16_t* dst, int64_t* got) override {
        cut = cut || first + frames >= Held();
        return TableSource::ReadFramesLocked(first, frames, dst, got);
    }
};

// The look-ahead at a zone's end inside the stream and near its end, still handed on after it,
// and after a read that failed to gather it; without zones on the direct path, a source that ends
// early still ends the stream.
TEST_F(Block, LookAheadAtTheIntervalsEnd) {
    const struct {
        double zoneMs;                     // from 200 ms
        size_t lastBlock, end, following;  // frames
        bool fails = false, cut = false;
    } cases[] = {{100, 8820, 13230, 100},
                 {799, 39690, 44055, 45},
                 {100, 8820, 13230, 100, true},
                 {0, 39690, 44100, 0, false, true}};
    for (const auto& c : cases) {
        ShowsAhead::failNext = c.fails;
        TestEngine& e = Make(!c.cut, 1, Each<ShowsAhead>());
        const std::vector<int16_t> in = VariedSamples(44100, 2);
        ComPtr<TableSource> source(c.cut ? new CutSource(doubles.State(), Format(2), in)
                                         : new TableSource(doubles.State(), Format(2), in));
        ASSERT_EQ(e.PutMediaSource(static_cast<IMediaSource*>(source.Get())), S_OK);
        ASSERT_EQ(c.cut ? S_OK : Zones({{200.0, c.zoneMs, true}}), S_OK);
        std::vector<int16_t> want = in;
        std::copy_n(in.begin() + 2 * c.end, 2 * c.following, want.begin() + 2 * c.lastBlock);
        const int16_t mark = c.end + c.following < 44100 ? -16384 : 16384;
        std::fill_n(want.begin() + 2 * (c.lastBlock + c.following), 2, mark);
        std::vector<int16_t> got = ReadAll(e, 100.0), rest = ReadAll(e, 100.0);
        got.insert(got.end(), rest.begin(), rest.end());
        EXPECT_EQ(got, want) << c.zoneMs;
        // Reading ahead ran the input dry; a seek back starts it anew.
        ASSERT_EQ(e.SeekAudio(0, 0, 0.0), S_OK);
        EXPECT_EQ(ReadAll(e, 100.0), want) << c.zoneMs;
    }
}

// A format with no channels, no block align or no rate cannot be processed: blocks pass through.
TEST_F(Block, UnusableFormatsPassThrough) {
    const WAVEFORMATEX formats[] = {
        {WAVE_FORMAT_PCM, 0, 44100, 176400, 4, 16, 0},
        {WAVE_FORMAT_PCM, 2, 44100, 176400, 0, 16, 0},
        {WAVE_FORMAT_PCM, 2, 0, 176400, 4, 16, 0},
    };
    for (const WAVEFORMATEX& wfx : formats) {
        for (BYTE helper : {0, 1}) {
            TestEngine& e = Make(helper, 1, Gains({0.5}));
            const std::vector<int16_t> in = VariedSamples(8820, 2);
            ComPtr<TableSource> source = Attach(Format(2), in);
            source->ReportWaveFormat(wfx);
            ASSERT_EQ(Configure(Params()
                                    .Set(OLESTR("UseStrengthPerCh"), true)
                                    .Set(OLESTR("SmoothEnabled"), true)),
                      S_OK);
            EXPECT_EQ(ReadAll(e, 100.0), in)
                << wfx.nChannels << "/" << wfx.nBlockAlign << "/" << wfx.nSamplesPerSec;
            EXPECT_EQ(e.ChannelFilterCount(), 0u);
        }
    }
}

}  // namespace
}  // namespace corvane::test
