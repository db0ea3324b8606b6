// The end-to-end oracle of the effects built on a library: a 16-bit WAV through SoundTouch or
// FFmpeg's filter graph driven directly (tests/effects/soundtouch_reference.h, graph_reference.h),
// written back as the effects write 16-bit samples.
//
//   library_oracle stretch IN OUT TEMPO RATE PITCH MODE ANTIALIASING
//   library_oracle graph IN OUT dbl|dblp FILTER     each channel through FILTER on doubles
//   library_oracle graph IN OUT s16 FILTER          all channels through FILTER on 16-bit samples
#include "tests/effects/graph_reference.h"
#include "tests/effects/soundtouch_reference.h"

#include <sndfile.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace corvane::testing;

namespace {

bool ReadWav(const char* path, Signal* s) {
    SF_INFO info = {};
    SNDFILE* f = sf_open(path, SFM_READ, &info);
    if (f == nullptr) return false;
    s->format.channels = static_cast<WORD>(info.channels);
    s->format.rate = static_cast<DWORD>(info.samplerate);
    s->samples.resize(static_cast<size_t>(info.frames * info.channels));
    const bool ok = sf_readf_short(f, s->samples.data(), info.frames) == info.frames;
    sf_close(f);
    return ok;
}

bool WriteWav(const char* path, const Signal& s, const std::vector<int16_t>& samples) {
    SF_INFO info = {};
    info.channels = s.Channels();
    info.samplerate = s.Rate();
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path, SFM_WRITE, &info);
    if (f == nullptr) return false;
    const sf_count_t frames = static_cast<sf_count_t>(samples.size() / s.Channels());
    const bool ok = sf_writef_short(f, samples.data(), frames) == frames;
    return sf_close(f) == 0 && ok;
}

std::vector<int16_t> Graph(const Signal& in, const std::string& format, const std::string& filter) {
    const std::string rate = std::to_string(in.Rate());
    if (format == "s16") {
        const uint64_t layout = CBaseFilter::DefaultChannelLayout(0, in.Channels());
        const std::vector<uint8_t> bytes = RunGraphDirect(
            filter + ",aformat=sample_fmts=s16:channel_layouts=" + std::to_string(layout) +
                ":sample_rates=" + rate,
            AV_SAMPLE_FMT_S16, layout, in.Channels(), in.Rate(), in.samples.data(), in.Frames());
        std::vector<int16_t> out(bytes.size() / 2);
        if (!out.empty()) std::memcpy(out.data(), bytes.data(), bytes.size());
        return out;
    }
    const AVSampleFormat f = format == "dblp" ? AV_SAMPLE_FMT_DBLP : AV_SAMPLE_FMT_DBL;
    return PerChannelModel(
        [&](const std::vector<double>& x, int r) { return GraphOnChannel(filter, f, x, r); })(in);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string kind = argc > 1 ? argv[1] : "";
    Signal in;
    if (argc < 4 || !ReadWav(argv[2], &in)) {
        std::fprintf(stderr, "library_oracle: stretch|graph IN OUT ...\n");
        return 2;
    }
    std::vector<int16_t> out;
    if (kind == "stretch" && argc == 9) {
        StretchSettings s;
        s.tempo = std::atof(argv[4]);
        s.rate = std::atof(argv[5]);
        s.pitch = std::atof(argv[6]);
        s.mode = std::atoi(argv[7]);
        s.antialiasing = std::atoi(argv[8]);
        out = StretchFrom(s, in, 0, in.Frames());
    } else if (kind == "graph" && argc == 6) {
        out = Graph(in, argv[4], argv[5]);
    } else {
        std::fprintf(stderr, "library_oracle: unknown kind or arguments\n");
        return 2;
    }
    if (out.empty() || !WriteWav(argv[3], in, out)) {
        std::fprintf(stderr, "library_oracle: no output\n");
        return 1;
    }
    return 0;
}
