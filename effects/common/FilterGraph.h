// The filter-graph glue of the graph effects (noise gate, parametric equaliser, channel map): the
// process's entry table and its one-time fill through the host's provider, and one graph
// (abuffer -> effect filter -> aformat -> abuffersink) that is built, fed a block and drained.
// Every call into the libraries goes through a table the caller hands in, so that tests can pass
// their own.
#pragma once

#include "platform/win32.h"

#include "corvane/corvane.h"
#include "corvane/filter_graph_api.h"
#include "framework/BaseFilterSupport.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace corvane {

// The process's table (zeroed until the first fill).
FilterGraphApi& ProcessFilterGraphApi();
// Fills the process's table through provider, once per process: the first caller with a provider
// writes the size word and calls FillApi(1, 0, table); later callers do nothing. A null provider
// returns at once. The fill's result is not examined: slots it leaves null make every graph
// refuse to build.
void FillFilterGraphApi(IFilterGraphProvider* provider);
// The same over a given table and once flag.
void FillFilterGraphApi(IFilterGraphProvider* provider, FilterGraphApi& table,
                        std::once_flag& once);
// A new provider of the host's class (empty when the host has none).
ComPtr<IFilterGraphProvider> CreateFilterGraphProvider();

// An option of a graph's effect filter, set by name on the filter (and its children).
struct GraphOption {
    enum class Kind { kText, kInteger, kNumber };
    const char* key = nullptr;
    Kind kind = Kind::kText;
    std::string text;
    int64_t integer = 0;
    double number = 0.0;

    static GraphOption Text(const char* key, std::string value) {
        return {key, Kind::kText, std::move(value), 0, 0.0};
    }
    static GraphOption Integer(const char* key, int64_t value) {
        return {key, Kind::kInteger, {}, value, 0.0};
    }
    static GraphOption Number(const char* key, double value) {
        return {key, Kind::kNumber, {}, 0, value};
    }
};

// What a graph processes and with which effect filter.
struct GraphSpec {
    AVSampleFormat format = AV_SAMPLE_FMT_S16;  // packed, or planar with one channel
    uint64_t layout = 0;                        // the libraries' channel mask
    int channels = 0;                           // bits set in layout
    AVRational timeBase = {1, 1};
    int sampleRate = 0;  // Hz
    std::string filter;  // effect filter, and the name of its instance
    std::vector<GraphOption> options;
};

// "%lf" text of a value, as the C locale writes it whatever the process's locale.
std::string FixedText(double value);

// One graph and its reusable frame. Not copyable; freed on destruction.
class FilterGraph {
public:
    FilterGraph() = default;
    ~FilterGraph();
    FilterGraph(const FilterGraph&) = delete;
    FilterGraph& operator=(const FilterGraph&) = delete;

    // Frees the graph held, restarts the running sample count at 0 and builds a new one from
    // spec. Every step is checked: a table without every slot, an unknown filter, a failed
    // initialisation, link or configuration leaves no graph and answers false. An option that the
    // library refuses keeps the library's default. Numbers are parsed in the C locale.
    bool Build(const FilterGraphApi& api, const GraphSpec& spec);
    void Free();
    bool Ready() const { return graph_ != nullptr; }

    // Feeds `frames` sample frames (frames x channels samples of the spec's format) with the
    // running count as their time stamp, then appends every frame the sink yields to *out. A step
    // that fails, or a sink frame of another shape, frees the graph and answers false; *out then
    // keeps what was appended before.
    bool Run(const void* samples, int frames, std::vector<uint8_t>* out);
    // The same, writing the output to dst first (*written bytes of at most dstBytes; dst may be
    // where the samples came from) and only what does not fit there to *rest.
    bool Run(const void* samples, int frames, uint8_t* dst, size_t dstBytes, size_t* written,
             std::vector<uint8_t>* rest);

private:
    FilterGraphFunctions fn_;
    AVFilterGraph* graph_ = nullptr;
    AVFilterContext* source_ = nullptr;
    AVFilterContext* sink_ = nullptr;
    AVFrame* frame_ = nullptr;
    int64_t runningCount_ = 0;  // time stamp of the next frame, in sample frames
    AVSampleFormat format_ = AV_SAMPLE_FMT_S16;
    uint64_t layout_ = 0;
    int channels_ = 0;
    int sampleRate_ = 0;
    int bytesPerFrame_ = 0;
};

}  // namespace corvane
