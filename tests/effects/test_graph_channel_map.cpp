// The graph-based channel map through its COM class against "channelmap" run directly with
// FFmpeg's own graph parser (graph_reference.h): swaps, duplicates and reorders, whole, in uneven
// blocks and frame by frame, inside zones whose edges fall within blocks; untouched where the map
// cannot be used; a stream layout that does not match its channel count; a partial frame; a graph
// that yields nothing.
#include "tests/effects/graph_reference.h"
#include "tests/effects/harness.h"

#include "effects/AudioFilterNB.h"
#include "effects/common/FilterGraph.h"

#include <cstring>

namespace corvane::testing {
namespace {

// "FilterType" 3 with "MapArray" as a host holds it: the list gives the count, the values at
// indices 0.. the entries.
Params MapParams(const std::vector<int32_t>& map, int type = 3) {
    Params p;
    p.Set(OLESTR("FilterType"), type);
    for (size_t i = 0; i < map.size(); ++i) {
        p.store.AddEntry(OLESTR("MapArray"));
        p.store.Set(OLESTR("MapArray"), static_cast<LONG>(i), map[i]);
    }
    return p;
}

// channelmap over whole frames, as FFmpeg runs it.
Model ChannelMapModel(const std::string& map) {
    return [map](const Signal& in) {
        const int rate = in.Rate();
        const uint64_t layout = CBaseFilter::DefaultChannelLayout(0, in.Channels());
        const std::string chain =
            "channelmap=map=" + map +
            ",aformat=sample_fmts=s16:channel_layouts=" + std::to_string(layout) +
            ":sample_rates=" + std::to_string(rate);
        const std::vector<uint8_t> bytes = RunGraphDirect(
            chain, AV_SAMPLE_FMT_S16, layout, in.Channels(), rate, in.samples.data(), in.Frames());
        std::vector<int16_t> out(bytes.size() / 2);
        if (!out.empty()) std::memcpy(out.data(), bytes.data(), bytes.size());
        return out;
    };
}

struct MapCase {
    std::string name;
    int channels;
    Params params;
    std::string graphMap;  // empty: the audio passes untouched
};

std::ostream& operator<<(std::ostream& os, const MapCase& c) {
    return os << c.name;
}

std::vector<MapCase> AllCases() {
    return {
        {"stereo_swap", 2, MapParams({1, 0}), "1|0"},
        {"stereo_duplicate", 2, MapParams({0, 0}), "0|0"},
        {"six_reordered", 6, MapParams({2, 0, 1, 5, 3, 4}), "2|0|1|5|3|4"},
        {"mono_always_0", 1, MapParams({1, 0}), "0"},
        {"entry_out_of_range", 2, MapParams({2, 0}), ""},
        {"entry_negative", 2, MapParams({-1, 0}), ""},
        {"fewer_entries_than_channels", 2, MapParams({1}), ""},
        {"not_type_3", 2, MapParams({1, 0}, 1), ""},
        {"no_map", 2, Params().Set(OLESTR("FilterType"), 3), ""},
    };
}

class ChannelMap : public EffectHarness, public ::testing::WithParamInterface<MapCase> {};

TEST_P(ChannelMap, MatchesChannelmapRunDirectly) {
    const MapCase& c = GetParam();
    const Signal in = VariedSignal(c.channels, 22050, 300.0);
    Model model = [](const Signal& s) { return s.samples; };
    if (!c.graphMap.empty()) model = ChannelMapModel(c.graphMap);
    for (const std::vector<Zone>& zones :
         {std::vector<Zone>{}, std::vector<Zone>{{41.3, 120.0}, {100.0, 150.7}}}) {
        EffectSetup setup = Effect(CLSID_AudioFilterNB5);
        setup.params = c.params;
        setup.zones = zones;
        const std::vector<int16_t> expected = Expected(in, zones, model);
        EXPECT_EQ(expected == in.samples, c.graphMap.empty() || c.graphMap == "0");
        ExpectOutput(setup, in, expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Each, ChannelMap, ::testing::ValuesIn(AllCases()),
                         [](const auto& info) { return info.param.name; });

class ChannelMapEdges : public EffectHarness {};

TEST_F(ChannelMapEdges, ALayoutThatDoesNotFitTheChannelCountIsReplaced) {
    // Three bits for two channels, and none: either would size the graph's frames wrongly.
    for (UINT64 layout : {UINT64{0x7}, UINT64{0}}) {
        Signal in = VariedSignal(2, 8000, 200.0);
        in.format.layout = layout;
        EffectSetup setup = Effect(CLSID_AudioFilterNB5);
        setup.params = MapParams({1, 0});
        Signal standard = in;
        standard.format.layout = 0x3;
        ExpectOutput(setup, in, ChannelMapModel("1|0")(standard));
    }
    EXPECT_EQ(CAudioFilterNB::GraphLayout(0x7, 2), 0x3u);
    EXPECT_EQ(CAudioFilterNB::GraphLayout(0x60F, 6), 0x60Fu);
    EXPECT_EQ(CAudioFilterNB::GraphLayout(0, 10), 0x3FFu);
}

TEST_F(ChannelMapEdges, APartialFrameAtTheEndStaysAsItIs) {
    test::Open<CAudioFilterNB> engine(GUID{}, GUID{}, 0, 0);
    engine.m_wfx.nChannels = 2;
    engine.m_wfx.nSamplesPerSec = 8000;
    engine.m_wfx.nBlockAlign = 4;
    engine.m_wfx.wBitsPerSample = 16;
    engine.m_pParams = doubles.NewParams(MapParams({1, 0}).store).As<IEffectParams>();
    engine.LoadParams();
    engine.BuildChannelFilters();
    ASSERT_TRUE(engine.GraphReady());
    const int16_t samples[] = {10, 11, 20, 21, 30, 31};
    ComPtr<RecordingAudioBlock> block = doubles.NewBlock(AudioFormatValues(), sizeof(samples));
    BYTE* bytes = nullptr;
    ASSERT_EQ(block->GetBuffer(kBufferReadWrite, 0, &bytes), S_OK);
    std::memcpy(bytes, samples, sizeof(samples));
    // From the second word, five words: two whole frames and one word of a third.
    IAudioData* out = nullptr;
    engine.ProcessAudio(static_cast<IAudioData*>(block.Get()), sizeof(samples), 2, 5, 1, &out);
    ASSERT_NE(out, nullptr);
    out->Release();
    int16_t after[6];
    std::memcpy(after, bytes, sizeof(after));
    EXPECT_EQ(std::vector<int16_t>(after, after + 6),
              (std::vector<int16_t>{10, 20, 11, 30, 21, 31}));
}

// A sink that never has a frame ready.
int NoFrameYet(AVFilterContext*, AVFrame*) {
    return AVERROR(EAGAIN);
}

TEST_F(ChannelMapEdges, AGraphThatYieldsNothingHandsTheBlockOnAsItCame) {
    // Nothing from the graph is no end of the stream: every block still comes back.
    FillFilterGraphApi(CreateFilterGraphProvider().Get());
    struct SinkSwap {
        void*& slot = ProcessFilterGraphApi().slots[536];
        void* const kept = slot;
        SinkSwap() { slot = reinterpret_cast<void*>(&NoFrameYet); }
        ~SinkSwap() { slot = kept; }
    } swap;
    ASSERT_NE(swap.kept, nullptr);
    const Signal in = VariedSignal(2, 8000, 200.0);
    EffectSetup setup = Effect(CLSID_AudioFilterNB5);
    setup.params = MapParams({1, 0});
    ExpectOutput(setup, in, in.samples);
}

}  // namespace
}  // namespace corvane::testing
