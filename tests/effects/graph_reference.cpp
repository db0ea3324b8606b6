#include "tests/effects/graph_reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

namespace corvane::testing {

namespace {

struct GraphFree {
    void operator()(AVFilterGraph* g) const { avfilter_graph_free(&g); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct InOutFree {
    void operator()(AVFilterInOut* io) const { avfilter_inout_free(&io); }
};

}  // namespace

std::vector<uint8_t> RunGraphDirect(const std::string& filters, AVSampleFormat format,
                                    uint64_t layout, int channels, int rate, const void* samples,
                                    int64_t frames, int64_t blockFrames) {
    std::unique_ptr<AVFilterGraph, GraphFree> graph(avfilter_graph_alloc());
    AVFilterContext* source = nullptr;
    AVFilterContext* sink = nullptr;
    const std::string sourceArgs =
        "sample_rate=" + std::to_string(rate) + ":sample_fmt=" + av_get_sample_fmt_name(format) +
        ":channel_layout=" + std::to_string(layout) + ":time_base=1/" + std::to_string(rate);
    if (avfilter_graph_create_filter(&source, avfilter_get_by_name("abuffer"), "in",
                                     sourceArgs.c_str(), nullptr, graph.get()) < 0 ||
        avfilter_graph_create_filter(&sink, avfilter_get_by_name("abuffersink"), "out", nullptr,
                                     nullptr, graph.get()) < 0) {
        ADD_FAILURE() << "no source or sink";
        return {};
    }
    std::unique_ptr<AVFilterInOut, InOutFree> outputs(avfilter_inout_alloc());
    std::unique_ptr<AVFilterInOut, InOutFree> inputs(avfilter_inout_alloc());
    outputs->name = av_strdup("in");
    outputs->filter_ctx = source;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = sink;
    AVFilterInOut* in = inputs.release();
    AVFilterInOut* out = outputs.release();
    const int parsed = avfilter_graph_parse_ptr(graph.get(), filters.c_str(), &in, &out, nullptr);
    avfilter_inout_free(&in);
    avfilter_inout_free(&out);
    if (parsed < 0 || avfilter_graph_config(graph.get(), nullptr) < 0) {
        ADD_FAILURE() << "the graph \"" << filters << "\" does not build";
        return {};
    }
    const int bytesPerFrame = av_get_bytes_per_sample(format) * channels;
    std::vector<uint8_t> result;
    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    const auto drain = [&] {
        while (av_buffersink_get_frame(sink, frame.get()) >= 0) {
            result.insert(result.end(), frame->data[0],
                          frame->data[0] + static_cast<size_t>(frame->nb_samples) * bytesPerFrame);
            av_frame_unref(frame.get());
        }
    };
    const int64_t step = blockFrames > 0 ? blockFrames : std::max<int64_t>(frames, 1);
    for (int64_t at = 0; at < frames; at += step) {
        const int n = static_cast<int>(std::min(step, frames - at));
        frame->nb_samples = n;
        frame->format = format;
        frame->sample_rate = rate;
        av_channel_layout_from_mask(&frame->ch_layout, layout);
        frame->pts = at;
        EXPECT_GE(av_frame_get_buffer(frame.get(), 0), 0);
        std::memcpy(frame->data[0], static_cast<const uint8_t*>(samples) + at * bytesPerFrame,
                    static_cast<size_t>(n) * bytesPerFrame);
        EXPECT_GE(av_buffersrc_add_frame(source, frame.get()), 0);
        av_frame_unref(frame.get());
        drain();
    }
    return result;
}

std::vector<double> GraphOnChannel(const std::string& filter, AVSampleFormat format,
                                   const std::vector<double>& x, int rate) {
    const std::string chain = filter + ",aformat=sample_fmts=" + av_get_sample_fmt_name(format) +
                              ":channel_layouts=mono:sample_rates=" + std::to_string(rate);
    const std::vector<uint8_t> bytes = RunGraphDirect(chain, format, AV_CH_LAYOUT_MONO, 1, rate,
                                                      x.data(), static_cast<int64_t>(x.size()));
    std::vector<double> y(bytes.size() / sizeof(double));
    if (!y.empty()) std::memcpy(y.data(), bytes.data(), y.size() * sizeof(double));
    return y;
}

}  // namespace corvane::testing
