#include "effects/common/FilterGraph.h"

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cstring>
#include <locale.h>

// The frame's channel fields of the old layout API are what the libraries' frame of this table
// carries; they are deprecated, not gone.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace corvane {

namespace {

// The C locale for numbers on this thread while it lives: the libraries parse the option texts
// (an equaliser's "f=1000.000000") with the C library's locale-dependent scanners.
class CNumericLocale {
public:
#if defined(_WIN32)
    CNumericLocale() : mode_(_configthreadlocale(_ENABLE_PER_THREAD_LOCALE)) {
        const char* old = setlocale(LC_NUMERIC, nullptr);
        if (old != nullptr) saved_ = old;
        setlocale(LC_NUMERIC, "C");
    }
    ~CNumericLocale() {
        if (!saved_.empty()) setlocale(LC_NUMERIC, saved_.c_str());
        _configthreadlocale(mode_);
    }

private:
    int mode_;
    std::string saved_;
#else
    CNumericLocale() {
        static const locale_t c = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(0));
        if (c != static_cast<locale_t>(0)) saved_ = uselocale(c);
    }
    ~CNumericLocale() {
        if (saved_ != static_cast<locale_t>(0)) uselocale(saved_);
    }

private:
    locale_t saved_ = static_cast<locale_t>(0);
#endif
public:
    CNumericLocale(const CNumericLocale&) = delete;
    CNumericLocale& operator=(const CNumericLocale&) = delete;
};

FilterGraphApi g_processTable;
std::once_flag g_processFill;

}  // namespace

FilterGraphApi& ProcessFilterGraphApi() {
    return g_processTable;
}

void FillFilterGraphApi(IFilterGraphProvider* provider, FilterGraphApi& table,
                        std::once_flag& once) {
    if (provider == nullptr) return;
    std::call_once(once, [&] {
        table.MarkSize();
        provider->FillApi(1, 0, &table);
    });
}

void FillFilterGraphApi(IFilterGraphProvider* provider) {
    FillFilterGraphApi(provider, g_processTable, g_processFill);
}

ComPtr<IFilterGraphProvider> CreateFilterGraphProvider() {
    ComPtr<IFilterGraphProvider> provider;
    void* created = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_FilterGraphProvider, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IFilterGraphProvider, &created))) {
        provider =
            ComPtr<IFilterGraphProvider>::Attach(static_cast<IFilterGraphProvider*>(created));
    }
    return provider;
}

std::string FixedText(double value) {
    // Six decimals, as "%lf" writes; room for the largest double.
    char text[400];
    const auto r = std::to_chars(text, text + sizeof(text), value, std::chars_format::fixed, 6);
    return std::string(text, r.ptr);
}

FilterGraph::~FilterGraph() {
    Free();
}

void FilterGraph::Free() {
    if (graph_ != nullptr && fn_.avfilter_graph_free != nullptr) fn_.avfilter_graph_free(&graph_);
    if (frame_ != nullptr && fn_.av_frame_free != nullptr) fn_.av_frame_free(&frame_);
    graph_ = nullptr;
    frame_ = nullptr;
    source_ = sink_ = nullptr;
}

bool FilterGraph::Build(const FilterGraphApi& api, const GraphSpec& spec) {
    Free();
    runningCount_ = 0;
    if (!fn_.ReadFrom(api)) return false;
    const bool planar = spec.format == AV_SAMPLE_FMT_DBLP;
    if (spec.channels < 1 || spec.sampleRate < 1 || (planar && spec.channels != 1)) return false;
    const CNumericLocale cLocale;

    const char* formatName = fn_.av_get_sample_fmt_name(spec.format);
    char layoutText[64] = {};
    fn_.av_get_channel_layout_string(layoutText, sizeof(layoutText), 0, spec.layout);
    const std::string rateText = std::to_string(spec.sampleRate);
    if (formatName == nullptr) return false;

    graph_ = fn_.avfilter_graph_alloc();
    frame_ = fn_.av_frame_alloc();
    if (graph_ == nullptr || frame_ == nullptr) {
        Free();
        return false;
    }
    // A filter instance of `filter` named `name`, or null.
    const auto create = [&](const char* filter, const char* name) -> AVFilterContext* {
        const AVFilter* f = fn_.avfilter_get_by_name(filter);
        return f == nullptr ? nullptr : fn_.avfilter_graph_alloc_filter(graph_, f, name);
    };
    const auto init = [&](AVFilterContext* c) {
        return c != nullptr && fn_.avfilter_init_str(c, nullptr) >= 0;
    };
    constexpr int kSearchChildren = AV_OPT_SEARCH_CHILDREN;

    source_ = create("abuffer", "src");
    if (source_ != nullptr) {
        fn_.av_opt_set(source_, "channel_layout", layoutText, kSearchChildren);
        fn_.av_opt_set(source_, "sample_fmt", formatName, kSearchChildren);
        fn_.av_opt_set_q(source_, "time_base", spec.timeBase, kSearchChildren);
        fn_.av_opt_set_int(source_, "sample_rate", spec.sampleRate, kSearchChildren);
    }
    AVFilterContext* effect = nullptr;
    if (init(source_)) effect = create(spec.filter.c_str(), spec.filter.c_str());
    if (effect != nullptr) {
        for (const GraphOption& o : spec.options) {
            switch (o.kind) {
                case GraphOption::Kind::kText:
                    fn_.av_opt_set(effect, o.key, o.text.c_str(), kSearchChildren);
                    break;
                case GraphOption::Kind::kInteger:
                    fn_.av_opt_set_int(effect, o.key, o.integer, kSearchChildren);
                    break;
                case GraphOption::Kind::kNumber:
                    fn_.av_opt_set_double(effect, o.key, o.number, kSearchChildren);
                    break;
            }
        }
    }
    AVFilterContext* format = nullptr;
    if (init(effect)) format = create("aformat", "aformat");
    if (format != nullptr) {
        fn_.av_opt_set(format, "channel_layouts", layoutText, kSearchChildren);
        fn_.av_opt_set(format, "sample_fmts", formatName, kSearchChildren);
        fn_.av_opt_set(format, "sample_rates", rateText.c_str(), kSearchChildren);
    }
    if (init(format)) sink_ = create("abuffersink", "abuffersink");
    const bool built = init(sink_) && fn_.avfilter_link(source_, 0, effect, 0) >= 0 &&
                       fn_.avfilter_link(effect, 0, format, 0) >= 0 &&
                       fn_.avfilter_link(format, 0, sink_, 0) >= 0 &&
                       fn_.avfilter_graph_config(graph_, nullptr) >= 0;
    if (!built) {
        Free();
        return false;
    }
    format_ = spec.format;
    layout_ = spec.layout;
    channels_ = spec.channels;
    sampleRate_ = spec.sampleRate;
    bytesPerFrame_ = spec.channels * (spec.format == AV_SAMPLE_FMT_S16 ? 2 : 8);
    return true;
}

bool FilterGraph::Run(const void* samples, int frames, std::vector<uint8_t>* out) {
    size_t written = 0;
    return Run(samples, frames, nullptr, 0, &written, out);
}

bool FilterGraph::Run(const void* samples, int frames, uint8_t* dst, size_t dstBytes,
                      size_t* written, std::vector<uint8_t>* rest) {
    *written = 0;
    if (graph_ == nullptr || rest == nullptr || frames < 0) return false;
    if (frames == 0) return true;
    frame_->nb_samples = frames;
    frame_->format = format_;
    frame_->sample_rate = sampleRate_;
    frame_->channel_layout = layout_;
    frame_->channels = channels_;
    frame_->pts = runningCount_;
    runningCount_ += frames;
    const size_t bytes = static_cast<size_t>(frames) * static_cast<size_t>(bytesPerFrame_);
    bool ok = fn_.av_frame_get_buffer(frame_, 0) >= 0 && frame_->data[0] != nullptr;
    if (ok) {
        std::memcpy(frame_->data[0], samples, bytes);
        ok = fn_.av_buffersrc_add_frame(source_, frame_) >= 0;
    }
    fn_.av_frame_unref(frame_);
    while (ok && fn_.av_buffersink_get_frame(sink_, frame_) >= 0) {
        // The graph ends in aformat of the input's format: anything else cannot be handed on.
        ok = frame_->format == format_ && frame_->ch_layout.nb_channels == channels_ &&
             frame_->nb_samples >= 0 && (frame_->nb_samples == 0 || frame_->data[0] != nullptr);
        if (ok) {
            const uint8_t* data = frame_->data[0];
            const size_t size = static_cast<size_t>(frame_->nb_samples) * bytesPerFrame_;
            const size_t direct = rest->empty() ? std::min(size, dstBytes - *written) : 0;
            if (direct > 0) std::memcpy(dst + *written, data, direct);
            *written += direct;
            rest->insert(rest->end(), data + direct, data + size);
        }
        fn_.av_frame_unref(frame_);
    }
    if (!ok) Free();
    return ok;
}

}  // namespace corvane
