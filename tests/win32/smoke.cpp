// Smoke test of the cross-built third-party libraries. Each case checks what the library must do
// on its own terms and records a few figures. Built natively, `--figures=FILE` writes them from
// Debian's libraries; cross-built, `--reference=FILE` makes every case compare its figures with
// those, each within the tolerance that its arithmetic allows.

#include <SoundTouch.h>
#include <gtest/gtest.h>
#include <sndfile.h>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Figure {
    double value;
    // Relative tolerance against the native figure; 0 demands equality.
    double tolerance;
};

std::map<std::string, Figure>& figures() {
    static std::map<std::string, Figure> all;
    return all;
}

std::map<std::string, double>& reference() {
    static std::map<std::string, double> all;
    return all;
}

void record(const std::string& key, double value, double tolerance) {
    figures()[key] = {value, tolerance};
    if (reference().empty()) {
        return;
    }
    auto it = reference().find(key);
    ASSERT_NE(it, reference().end()) << key << " is missing from the native figures";
    if (tolerance == 0) {
        EXPECT_EQ(value, it->second) << key;
    } else {
        EXPECT_NEAR(value, it->second, tolerance * std::fabs(it->second)) << key;
    }
}

double rms(const std::vector<double>& x, size_t begin, size_t end) {
    double sum = 0;
    for (size_t i = begin; i < end; ++i) {
        sum += x[i] * x[i];
    }
    return std::sqrt(sum / static_cast<double>(end - begin));
}

std::vector<double> sine(size_t n, double frequency, double rate, double amplitude) {
    std::vector<double> x(n);
    for (size_t i = 0; i < n; ++i) {
        x[i] = amplitude * std::sin(2 * kPi * frequency * static_cast<double>(i) / rate);
    }
    return x;
}

// Frequency of a clean tone from its rising zero crossings.
double tone_frequency(const std::vector<double>& x, size_t begin, size_t end, double rate) {
    size_t first = 0, last = 0, count = 0;
    for (size_t i = begin + 1; i < end; ++i) {
        if (x[i - 1] < 0 && x[i] >= 0) {
            if (count == 0) {
                first = i;
            }
            last = i;
            ++count;
        }
    }
    return count < 2 ? 0
                     : static_cast<double>(count - 1) * rate / static_cast<double>(last - first);
}

TEST(SoundTouch, TempoChangeKeepsPitchAndLevel) {
    constexpr double kRate = 44100, kTempo = 1.5;
    constexpr size_t kFrames = 44100;
    const auto left = sine(kFrames, 440, kRate, 0.5), right = sine(kFrames, 660, kRate, 0.5);
    std::vector<float> in(2 * kFrames);
    for (size_t i = 0; i < kFrames; ++i) {
        in[2 * i] = static_cast<float>(left[i]);
        in[2 * i + 1] = static_cast<float>(right[i]);
    }

    soundtouch::SoundTouch st;
    st.setSampleRate(static_cast<unsigned>(kRate));
    st.setChannels(2);
    st.setTempo(kTempo);
    st.putSamples(in.data(), kFrames);
    st.flush();
    std::vector<double> out_left, out_right;
    float block[2 * 1024];
    while (unsigned n = st.receiveSamples(block, 1024)) {
        for (unsigned i = 0; i < n; ++i) {
            out_left.push_back(block[2 * i]);
            out_right.push_back(block[2 * i + 1]);
        }
    }

    const size_t n = out_left.size();
    // flush() pads the last processing window with silence, so a little more comes out.
    EXPECT_GT(n, kFrames / kTempo * 0.98);
    EXPECT_LT(n, kFrames / kTempo * 1.1);
    ASSERT_GT(n, 8192u);
    const size_t begin = 2048, end = n - 4096;
    EXPECT_NEAR(tone_frequency(out_left, begin, end, kRate), 440, 440 * 0.01);
    EXPECT_NEAR(tone_frequency(out_right, begin, end, kRate), 660, 660 * 0.01);
    EXPECT_NEAR(rms(out_left, begin, end), 0.5 / std::sqrt(2.0), 0.05);

    record("soundtouch.frames", static_cast<double>(n), 0);
    // Float arithmetic under -Ofast, x87 here and SSE natively: near, not equal.
    record("soundtouch.rms.left", rms(out_left, begin, end), 1e-3);
    record("soundtouch.rms.right", rms(out_right, begin, end), 1e-3);
}

struct SndfileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

std::vector<unsigned char> file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Sndfile, WavRoundTripIsExactAndMatchesNativeBytes) {
    constexpr int kChannels = 2, kFrames = 1000;
    std::vector<short> pcm(kChannels * kFrames);
    for (size_t i = 0; i < pcm.size(); ++i) {
        pcm[i] = static_cast<short>((i * 7919) % 65536 - 32768);  // every sign, both extremes
    }
    pcm[0] = -32768;
    pcm[1] = 32767;
    std::vector<float> flt(pcm.size());
    for (size_t i = 0; i < pcm.size(); ++i) {
        flt[i] = static_cast<float>(pcm[i]) / 3.0f;  // not a multiple of any sample grid
    }

    const std::string path = "corvane-smoke.wav";
    for (int format : {SF_FORMAT_PCM_16, SF_FORMAT_FLOAT}) {
        SCOPED_TRACE(format == SF_FORMAT_PCM_16 ? "16-bit PCM" : "float");
        SF_INFO info{};
        info.samplerate = 48000;
        info.channels = kChannels;
        info.format = SF_FORMAT_WAV | format;
        {
            SndfilePtr out(sf_open(path.c_str(), SFM_WRITE, &info));
            ASSERT_TRUE(out) << sf_strerror(nullptr);
            ASSERT_EQ(format == SF_FORMAT_PCM_16 ? sf_writef_short(out.get(), pcm.data(), kFrames)
                                                 : sf_writef_float(out.get(), flt.data(), kFrames),
                      kFrames);
        }
        SF_INFO read_info{};
        SndfilePtr in(sf_open(path.c_str(), SFM_READ, &read_info));
        ASSERT_TRUE(in) << sf_strerror(nullptr);
        EXPECT_EQ(read_info.frames, kFrames);
        EXPECT_EQ(read_info.channels, kChannels);
        EXPECT_EQ(read_info.samplerate, 48000);
        EXPECT_EQ(read_info.format, SF_FORMAT_WAV | format);
        if (format == SF_FORMAT_PCM_16) {
            std::vector<short> back(pcm.size());
            ASSERT_EQ(sf_readf_short(in.get(), back.data(), kFrames), kFrames);
            EXPECT_EQ(back, pcm);
            in.reset();
            // Debian's libsndfile writes the very same file, header included.
            const auto bytes = file_bytes(path);
            uint64_t hash = 14695981039346656037ull;  // FNV-1a
            for (unsigned char b : bytes) {
                hash = (hash ^ b) * 1099511628211ull;
            }
            record("sndfile.pcm16.bytes", static_cast<double>(bytes.size()), 0);
            record("sndfile.pcm16.fnv_low32", static_cast<double>(hash & 0xffffffffu), 0);
        } else {
            std::vector<float> back(flt.size());
            ASSERT_EQ(sf_readf_float(in.get(), back.data(), kFrames), kFrames);
            EXPECT_EQ(back, flt);
        }
    }
    std::remove(path.c_str());
}

// Owns an FFmpeg object whose free function takes the address of the pointer.
template <typename T, void (*Free)(T**)>
struct FfmpegOwner {
    explicit FfmpegOwner(T* owned) : p(owned) {}
    FfmpegOwner(const FfmpegOwner&) = delete;
    FfmpegOwner& operator=(const FfmpegOwner&) = delete;
    ~FfmpegOwner() { Free(&p); }
    T* p;
};

// abuffer -> agate -> abuffersink over a loud tone followed by a quiet one.
TEST(Avfilter, GateGraphPassesLoudAndAttenuatesQuiet) {
    constexpr int kRate = 48000;
    auto signal = sine(kRate / 2, 1000, kRate, 0.8);
    const auto quiet = sine(kRate, 1000, kRate, 0.01);
    const size_t loud_end = signal.size();
    signal.insert(signal.end(), quiet.begin(), quiet.end());

    const FfmpegOwner<AVFilterGraph, avfilter_graph_free> owned_graph{avfilter_graph_alloc()};
    AVFilterGraph* graph = owned_graph.p;
    ASSERT_NE(graph, nullptr);
    AVFilterContext *src = nullptr, *gate = nullptr, *sink = nullptr;
    ASSERT_GE(avfilter_graph_create_filter(
                  &src, avfilter_get_by_name("abuffer"), "in",
                  "sample_rate=48000:sample_fmt=dbl:channel_layout=mono:time_base=1/48000", nullptr,
                  graph),
              0);
    ASSERT_GE(avfilter_graph_create_filter(&gate, avfilter_get_by_name("agate"), "gate",
                                           "threshold=0.1:range=0.05:attack=5:release=50", nullptr,
                                           graph),
              0);
    ASSERT_GE(avfilter_graph_create_filter(&sink, avfilter_get_by_name("abuffersink"), "out",
                                           nullptr, nullptr, graph),
              0);
    ASSERT_GE(avfilter_link(src, 0, gate, 0), 0);
    ASSERT_GE(avfilter_link(gate, 0, sink, 0), 0);
    ASSERT_GE(avfilter_graph_config(graph, nullptr), 0);

    const FfmpegOwner<AVFrame, av_frame_free> owned_frame{av_frame_alloc()};
    AVFrame* frame = owned_frame.p;
    ASSERT_NE(frame, nullptr);
    std::vector<double> out;
    auto drain = [&] {
        int rc;
        while ((rc = av_buffersink_get_frame(sink, frame)) >= 0) {
            const auto* data = reinterpret_cast<const double*>(frame->data[0]);
            out.insert(out.end(), data, data + frame->nb_samples);
            av_frame_unref(frame);
        }
        return rc;
    };
    constexpr size_t kBlock = 1000;  // not a power of two: blocks straddle the level change
    for (size_t at = 0; at < signal.size(); at += kBlock) {
        frame->format = AV_SAMPLE_FMT_DBL;
        frame->sample_rate = kRate;
        av_channel_layout_default(&frame->ch_layout, 1);
        frame->nb_samples = static_cast<int>(std::min(kBlock, signal.size() - at));
        frame->pts = static_cast<int64_t>(at);
        ASSERT_GE(av_frame_get_buffer(frame, 0), 0);
        std::copy_n(signal.data() + at, frame->nb_samples,
                    reinterpret_cast<double*>(frame->data[0]));
        ASSERT_GE(av_buffersrc_add_frame(src, frame), 0);
        ASSERT_EQ(drain(), AVERROR(EAGAIN));
    }
    ASSERT_GE(av_buffersrc_add_frame(src, nullptr), 0);
    ASSERT_EQ(drain(), AVERROR_EOF);

    ASSERT_EQ(out.size(), signal.size());
    const size_t half = loud_end / 2, tail = loud_end + kRate / 2;
    const double loud_gain = rms(out, half, loud_end) / rms(signal, half, loud_end);
    const double quiet_gain = rms(out, tail, out.size()) / rms(signal, tail, signal.size());
    EXPECT_NEAR(loud_gain, 1.0, 0.01);
    EXPECT_LT(quiet_gain, 0.1);
    EXPECT_GT(quiet_gain, 0.01);

    record("avfilter.agate.samples", static_cast<double>(out.size()), 0);
    // Double arithmetic, x87 here and SSE2 natively: a few ulps.
    record("avfilter.agate.loud_gain", loud_gain, 1e-12);
    record("avfilter.agate.quiet_gain", quiet_gain, 1e-12);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    std::string figures_path;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--reference=", 0) == 0) {
            std::ifstream in(arg.substr(12));
            std::string key;
            double value;
            while (in >> key >> value) {
                reference()[key] = value;
            }
            if (reference().empty()) {
                std::fprintf(stderr, "no figures in %s\n", arg.c_str() + 12);
                return 2;
            }
        } else if (arg.rfind("--figures=", 0) == 0) {
            figures_path = arg.substr(10);
        } else {
            std::fprintf(stderr, "unknown argument %s\n", arg.c_str());
            return 2;
        }
    }
    const int rc = RUN_ALL_TESTS();
    if (!figures_path.empty()) {
        std::FILE* out = std::fopen(figures_path.c_str(), "w");
        if (out == nullptr) {
            return 2;
        }
        for (const auto& [key, figure] : figures()) {
            std::fprintf(out, "%s %.17g\n", key.c_str(), figure.value);
        }
        std::fclose(out);
    }
    return rc;
}
