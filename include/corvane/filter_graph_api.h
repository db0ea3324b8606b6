// The filter-graph entry table: the audio filter-graph libraries' entry points as the host hands
// them to the module through IFilterGraphProvider::FillApi. The module takes the libraries' types
// from their headers but never links them; it calls them only through this table.
//
// The table is 597 pointer-sized slots. Before the fill, the first 32-bit word of slot 0 holds the
// table's size in bytes (597 x the pointer size: 2388 in a 32-bit process, 4776 in a 64-bit one);
// the provider writes no slot that ends beyond that size. Every slot of the list below holds the
// function of that name afterwards (null where the provider has none); all other slots are the
// host's and stay unused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
}

namespace corvane {

// The slots the effects call, by number, with the function each holds.
#define CORVANE_FILTER_GRAPH_FUNCTIONS(X) \
    X(80, av_get_sample_fmt_name)         \
    X(96, av_get_channel_layout_string)   \
    X(122, av_frame_alloc)                \
    X(123, av_frame_free)                 \
    X(126, av_frame_unref)                \
    X(128, av_frame_get_buffer)           \
    X(486, avfilter_link)                 \
    X(492, avfilter_get_by_name)          \
    X(493, avfilter_init_str)             \
    X(498, avfilter_graph_alloc)          \
    X(499, avfilter_graph_alloc_filter)   \
    X(503, avfilter_graph_config)         \
    X(504, avfilter_graph_free)           \
    X(518, av_buffersrc_add_frame)        \
    X(536, av_buffersink_get_frame)       \
    X(568, av_opt_set)                    \
    X(569, av_opt_set_int)                \
    X(570, av_opt_set_double)             \
    X(571, av_opt_set_q)

struct FilterGraphApi {
    static constexpr int kSlots = 597;
    void* slots[kSlots];

    // The size word that the fill expects in slot 0.
    void MarkSize() {
        const uint32_t size = static_cast<uint32_t>(sizeof(FilterGraphApi));
        std::memcpy(&slots[0], &size, sizeof(size));
    }
    uint32_t SizeWord() const {
        uint32_t size = 0;
        std::memcpy(&size, &slots[0], sizeof(size));
        return size;
    }
};
static_assert(sizeof(FilterGraphApi) == FilterGraphApi::kSlots * sizeof(void*),
              "one pointer per slot, nothing else");

// The table's slots as typed function pointers, one member per listed function, named after it.
// Some of the functions are deprecated by the libraries (the old channel-layout calls), which the
// table's layout keeps; only the types are named here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
struct FilterGraphFunctions {
#define CORVANE_FILTER_GRAPH_MEMBER(slot, name) decltype(&::name) name = nullptr;
    CORVANE_FILTER_GRAPH_FUNCTIONS(CORVANE_FILTER_GRAPH_MEMBER)
#undef CORVANE_FILTER_GRAPH_MEMBER

    // Reads every listed slot of api; true when none of them is null.
    bool ReadFrom(const FilterGraphApi& api) {
        bool complete = true;
#define CORVANE_FILTER_GRAPH_READ(slot, name)                    \
    name = reinterpret_cast<decltype(&::name)>(api.slots[slot]); \
    complete = complete && name != nullptr;
        CORVANE_FILTER_GRAPH_FUNCTIONS(CORVANE_FILTER_GRAPH_READ)
#undef CORVANE_FILTER_GRAPH_READ
        return complete;
    }
};
#pragma GCC diagnostic pop

}  // namespace corvane
