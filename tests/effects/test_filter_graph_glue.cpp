// The filter-graph glue: the entry table's fill (size word, one fill however many threads ask),
// the host's provider (the named functions in their slots, nothing beyond the size it is given),
// and a graph that refuses to build, rather than crash later, when a step fails.
#include "tests/effects/harness.h"

#include "effects/common/FilterGraph.h"
#include "host/filter_graph_provider.h"

#include <atomic>
#include <cstring>
#include <thread>

namespace corvane::testing {
namespace {

// A provider that fills nothing and remembers how it was called.
class CountingProvider : public host::CFilterGraphProvider {
public:
    STDMETHODIMP FillApi(LONG version, LONG flags, void* table) override {
        calls++;
        std::memcpy(&sizeWord, table, sizeof(sizeWord));
        lastVersion = version;
        lastFlags = flags;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let the other thread come
        return S_OK;
    }
    std::atomic<int> calls{0};
    uint32_t sizeWord = 0;
    LONG lastVersion = -1, lastFlags = -1;
};

class FilterGraphGlue : public EffectHarness {
protected:
    // A table as the host's provider fills it.
    static FilterGraphApi* FilledTable() {
        static FilterGraphApi table = [] {
            FilterGraphApi t{};
            t.MarkSize();
            ComPtr<host::CFilterGraphProvider> p(new host::CFilterGraphProvider());
            EXPECT_EQ(p->FillApi(1, 0, &t), S_OK);
            return t;
        }();
        return &table;
    }
};

TEST_F(FilterGraphGlue, OneFillWithTheSizeWordHoweverManyAsk) {
    ComPtr<CountingProvider> provider(new CountingProvider());
    FilterGraphApi table{};
    std::once_flag once;
    FillFilterGraphApi(nullptr, table, once);  // no provider: nothing happens, the flag stays
    EXPECT_EQ(table.SizeWord(), 0u);
    std::thread a([&] { FillFilterGraphApi(provider.Get(), table, once); });
    std::thread b([&] { FillFilterGraphApi(provider.Get(), table, once); });
    a.join();
    b.join();
    FillFilterGraphApi(provider.Get(), table, once);
    EXPECT_EQ(provider->calls.load(), 1);
    EXPECT_EQ(provider->sizeWord, 597u * sizeof(void*));
    EXPECT_EQ(provider->lastVersion, 1);
    EXPECT_EQ(provider->lastFlags, 0);
}

TEST_F(FilterGraphGlue, ProviderPutsTheNamedFunctionsInTheirSlotsOnly) {
    const FilterGraphApi& table = *FilledTable();
    FilterGraphApi expected{};
    expected.MarkSize();
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#define CORVANE_EXPECTED_SLOT(slot, name) expected.slots[slot] = reinterpret_cast<void*>(&::name);
    CORVANE_FILTER_GRAPH_FUNCTIONS(CORVANE_EXPECTED_SLOT)
#undef CORVANE_EXPECTED_SLOT
#pragma GCC diagnostic pop
    for (int i = 0; i < FilterGraphApi::kSlots; ++i)
        EXPECT_EQ(table.slots[i], expected.slots[i]) << i;

    // A table that claims 90 slots gets slot 80 and nothing from 96 on; other calls are refused.
    std::vector<void*> small(200, nullptr);
    const uint32_t size = 90 * sizeof(void*);
    std::memcpy(small.data(), &size, sizeof(size));
    ComPtr<host::CFilterGraphProvider> p(new host::CFilterGraphProvider());
    EXPECT_EQ(p->FillApi(1, 0, small.data()), S_OK);
    EXPECT_EQ(small[80], expected.slots[80]);
    for (size_t i = 96; i < small.size(); ++i) EXPECT_EQ(small[i], nullptr) << i;
    EXPECT_EQ(p->FillApi(2, 0, small.data()), E_INVALIDARG);
    EXPECT_EQ(p->FillApi(1, 0, nullptr), E_POINTER);
}

TEST_F(FilterGraphGlue, AGraphThatCannotBeBuiltIsNoGraph) {
    GraphSpec stereo;
    stereo.format = AV_SAMPLE_FMT_S16;
    stereo.layout = AV_CH_LAYOUT_STEREO;
    stereo.channels = 2;
    stereo.sampleRate = 8000;
    stereo.timeBase = AVRational{2, 8000};
    stereo.filter = "channelmap";
    const int16_t in[] = {1, 2, 3, 4};
    std::vector<uint8_t> out;

    FilterGraph graph;
    stereo.options = {GraphOption::Text("map", "1|0")};
    ASSERT_TRUE(graph.Build(*FilledTable(), stereo));
    ASSERT_TRUE(graph.Run(in, 2, &out));
    ASSERT_EQ(out.size(), sizeof(in));
    int16_t swapped[4];
    std::memcpy(swapped, out.data(), sizeof(swapped));
    EXPECT_EQ(std::vector<int16_t>(swapped, swapped + 4), (std::vector<int16_t>{2, 1, 4, 3}));

    FilterGraphApi partial = *FilledTable();
    partial.slots[518] = nullptr;
    GraphSpec unknown = stereo;
    unknown.filter = "nosuchfilter";
    GraphSpec badMap = stereo;
    badMap.options = {GraphOption::Text("map", "2|0")};  // no channel 2 in stereo
    GraphSpec unreadableMap = stereo;
    unreadableMap.options = {GraphOption::Text("map", "left|right")};  // fails the filter's init
    struct Case {
        const char* name;
        const FilterGraphApi* table;
        const GraphSpec* spec;
    } cases[] = {{"a slot missing", &partial, &stereo},
                 {"unknown filter", FilledTable(), &unknown},
                 {"map out of range", FilledTable(), &badMap},
                 {"map unreadable", FilledTable(), &unreadableMap}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(graph.Build(*c.table, *c.spec));
        EXPECT_FALSE(graph.Ready());
        out.clear();
        EXPECT_FALSE(graph.Run(in, 2, &out));
        EXPECT_TRUE(out.empty());
    }
}

TEST_F(FilterGraphGlue, NumbersAreWrittenWithAPointInAnyLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    const bool comma = SetCommaDecimalLocale();
    const std::string text = FixedText(-1234.5);
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(text, "-1234.500000");
    if (!comma) GTEST_SKIP() << "no comma-decimal locale";
}

}  // namespace
}  // namespace corvane::testing
