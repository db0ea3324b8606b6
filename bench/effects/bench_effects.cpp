// The effect benchmark: for each effect, its effect-only realtime factor beside SoX's counterpart
// (or FFmpeg's, where SoX has none alike), in one run, and corvane-fx's start-up and pass-through
// beside SoX's. The input is 10 minutes of stereo 44.1 kHz (shorter inputs drown an effect's cost
// in the programs' start-up); a few rows take its first 60 s, or the same signal at 96 kHz.
//
// Both sides run the same way: as programs (corvane-fx of this build, its module registered in
// a registry folder of the run's own; SoX with -D, no dither; FFmpeg on one thread), on the same
// WAV file, writing a WAV file into the same temporary folder, SoX's own temporary files (--temp)
// and the reverse effect's (TempPath) included; each run is timed by the CPU time (user and
// system) of the child process, so that other processes on a shared machine do not decide the
// ratio. An effect's effect-only time is the median of paired differences, the run with the
// effect minus the run without it (each program's own pass-through), with their spread.
//
//   bench_effects [--minutes M] [--pairs N] [--only NAME] [--folder DIR]
//
// Realtime factor: seconds of audio per second of effect-only processing; the ratio is
// corvane's over the other program's (1 or more: at least as fast). The start-up and pass-through
// rows compare whole-process CPU times without an effect (corvane-fx -i IN -o OUT beside sox -D IN
// OUT) on 1 s, 60 s and the whole input; their ratio is SoX's time over corvane-fx's.
//
// The effects built on a library (SoundTouch, FFmpeg's filter graph) are measured beside that
// library driven directly with the same settings, both in this process, on 10 s in the same
// 100 ms blocks, the conversions and frame copies included: stretch beside SoundTouch alone,
// pitch shift beside SoundTouch's own pitch change (setPitch), the gate, the equaliser and the
// channel map beside the same graph. Both sides are timed by the process's CPU time; the graph
// effects' threads are counted on both sides alike. The ratio is corvane's speed over the
// library's (0.9 or more is the aim).
#include "platform/win32.h"

#include "corvane/corvane.h"
#include "host/host.h"
#include "host/media_source.h"
#include "server/classes.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}
#include <soundtouch/SoundTouch.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

extern char** environ;

namespace {

// The process's CPU time, all threads, in seconds.
double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

constexpr int kRate = 44100;
constexpr int kChannels = 2;
constexpr double kBlockMs = 100.0;

// A media source over interleaved samples held in memory, so that reading costs only a copy.
class MemorySource : public corvane::host::CMediaSource {
public:
    MemorySource(const corvane::host::AudioFormatValues& format,
                 const std::vector<int16_t>& samples)
        : format_(format), samples_(samples) {}

protected:
    bool IsOpenLocked() const override { return true; }
    corvane::host::AudioFormatValues FormatLocked() const override { return format_; }
    int64_t TotalFramesLocked() const override {
        return static_cast<int64_t>(samples_.size()) / format_.channels;
    }
    HRESULT ReadFramesLocked(int64_t first, int64_t frames, int16_t* dst, int64_t* got) override {
        const int64_t n = std::max<int64_t>(0, std::min(frames, TotalFramesLocked() - first));
        std::memcpy(dst, samples_.data() + first * format_.channels,
                    static_cast<size_t>(n * format_.channels) * sizeof(int16_t));
        *got = n;
        return S_OK;
    }

private:
    corvane::host::AudioFormatValues format_;
    const std::vector<int16_t>& samples_;
};

// Music-like test audio: a few tones that move, under noise, about -10 dBFS.
std::vector<int16_t> MakeSignal(int64_t frames, int rate = kRate) {
    std::vector<int16_t> s(static_cast<size_t>(frames * kChannels));
    uint32_t noise = 12345;
    for (int64_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        for (int c = 0; c < kChannels; ++c) {
            noise = noise * 1664525u + 1013904223u;
            const double v = 0.15 * std::sin(2 * M_PI * (220.0 + 30.0 * c) * t) +
                             0.10 * std::sin(2 * M_PI * 1250.0 * t + 0.3 * std::sin(t)) +
                             0.05 * (static_cast<double>(noise >> 8) / 8388608.0 - 1.0);
            s[static_cast<size_t>(i * kChannels + c)] = static_cast<int16_t>(v * 32767.0);
        }
    }
    return s;
}

bool WriteWav(const std::string& path, const std::vector<int16_t>& s, int rate = kRate) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const uint32_t data = static_cast<uint32_t>(s.size() * 2);
    const auto u32 = [&](uint32_t v) { std::fwrite(&v, 4, 1, f); };
    const auto u16 = [&](uint16_t v) { std::fwrite(&v, 2, 1, f); };
    std::fwrite("RIFF", 1, 4, f);
    u32(36 + data);
    std::fwrite("WAVEfmt ", 1, 8, f);
    u32(16), u16(1), u16(kChannels), u32(rate), u32(rate * kChannels * 2), u16(kChannels * 2);
    u16(16);
    std::fwrite("data", 1, 4, f);
    u32(data);
    const bool ok = std::fwrite(s.data(), 2, s.size(), f) == s.size();
    return std::fclose(f) == 0 && ok;
}

// One parameter of an effect.
struct Param {
    const char* key;
    std::variant<LONG, double, std::string, std::vector<float>, std::vector<double>,
                 std::vector<LONG>>
        value;  // a vector of LONG is a list: its length, and the values at indices 0, 1, ...
};

// The program a row's counterpart runs in.
enum class Tool { kSox, kFfmpeg };

// One row: the effect in corvane and its counterpart in SoX (its effect and arguments) or in
// FFmpeg (its audio filter, one thread), on the input at `rate`, `seconds` long (0: the whole
// input).
struct Row {
    const char* issue;  // the table it belongs to
    const char* sox;    // the counterpart's effect and arguments, as shown
    const CLSID* clsid;
    std::vector<Param> params;
    Tool tool = Tool::kSox;
    int rate = kRate;
    double seconds = 0.0;
};

std::vector<Row> Rows(const std::string& tempPath) {
    return {
        {"whole-block effects", "vol -6dB", &CLSID_VolumeFilter5, {{"dBVolumeLevel", -6.0}}},
        {"whole-block effects",
         "echo 1 1 100 0.5",
         &CLSID_EchoFilter5,
         {{"ReflectionsNumber", LONG{1}}, {"AudioOffset0", 100.0}, {"VolumeLevel0", 0.5}}},
        {"whole-block effects",
         "reverse",
         &CLSID_ReverseFilter5,
         {{"nSamplesPerSec", LONG{kRate}}, {"nChannels", LONG{kChannels}}, {"TempPath", tempPath}}},
        {"whole-block effects",
         "reverse",
         &CLSID_ReverseFilter5,
         {{"nSamplesPerSec", LONG{kRate}}, {"nChannels", LONG{kChannels}}, {"TempPath", tempPath}},
         Tool::kSox,
         kRate,
         60.0},
        {"whole-block effects", "vol 0", &CLSID_SilenceFilter5, {}},
        {"time-domain effects",
         "reverb",
         &CLSID_ReverbFilter5,
         {{"nTapDelay", LONG{10}},
          {"DelayTime", 100.0},
          {"MixDepth", 50.0},
          {"ReverbrationGain", 50.0},
          {"FeedBackGain", 50.0}}},
        {"time-domain effects",
         "flanger",
         &CLSID_FlangerFilter5,
         {{"EffectType", LONG{3}}, {"SweepDepth", 50.0}, {"MixDepth", 50.0}, {"SweepRate", 20.0}}},
        {"time-domain effects",
         "flanger",
         &CLSID_FlangerFilter5,
         {{"EffectType", LONG{3}}, {"SweepDepth", 50.0}, {"MixDepth", 50.0}, {"SweepRate", 20.0}},
         Tool::kSox,
         96000},
        {"time-domain effects",
         "tremolo 5 50",
         &CLSID_VibratoFilter5,
         {{"SweepFrequency", 5.0}, {"SweepDepth", 50.0}}},
        {"time-domain effects",
         "vibrato=f=5:d=0.5",
         &CLSID_VibratoFilter5,
         {{"SweepFrequency", 5.0}, {"SweepDepth", 50.0}},
         Tool::kFfmpeg},
        {"time-domain effects",
         "bandpass -c 1000 0.707q",
         &CLSID_BandFilter5,
         {{"FilterType", LONG{4}}, {"Frequency", 1000.0}, {"Steepness", 70.7}}},
        {"FIR equalizer",
         "equalizer 1000 1q 6 equalizer 4000 1q -6",
         &CLSID_EqualizeFilter5,
         {{"FrequencyArray", std::vector<float>{1000.0f, 4000.0f}},
          {"dbGainArray", std::vector<float>{6.0f, -6.0f}}}},
    };
}

corvane::OleString Wide(const std::string& s) {
    return corvane::OleString(s.begin(), s.end());
}

// The effect's parameters as a host parameter object (a new reference), or null.
IEffectParams* MakeParams(const std::vector<Param>& params) {
    void* created = nullptr;
    if (FAILED(CoCreateInstance(CLSID_EffectParams, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IEffectParams, &created)) ||
        !created) {
        return nullptr;
    }
    IEffectParams* p = static_cast<IEffectParams*>(created);
    for (const Param& param : params) {
        BSTR key = SysAllocString(Wide(param.key).c_str());
        if (const LONG* l = std::get_if<LONG>(&param.value)) p->SetLong(key, -1, *l);
        if (const double* d = std::get_if<double>(&param.value)) p->SetDouble(key, -1, *d);
        if (const std::string* s = std::get_if<std::string>(&param.value)) {
            BSTR v = SysAllocString(Wide(*s).c_str());
            p->SetString(key, -1, v);
            SysFreeString(v);
        }
        if (const auto* f = std::get_if<std::vector<float>>(&param.value)) {
            p->SetStream(key, -1, reinterpret_cast<const BYTE*>(f->data()),
                         static_cast<ULONG>(f->size() * sizeof(float)));
        }
        if (const auto* f = std::get_if<std::vector<double>>(&param.value)) {
            p->SetStream(key, -1, reinterpret_cast<const BYTE*>(f->data()),
                         static_cast<ULONG>(f->size() * sizeof(double)));
        }
        if (const auto* list = std::get_if<std::vector<LONG>>(&param.value)) {
            for (size_t i = 0; i < list->size(); ++i) {
                void* entry = nullptr;
                if (SUCCEEDED(CoCreateInstance(CLSID_EffectParams, nullptr, CLSCTX_INPROC_SERVER,
                                               IID_IEffectParams, &entry)) &&
                    entry) {
                    p->AddZone(key, static_cast<IEffectParams*>(entry));
                    static_cast<IEffectParams*>(entry)->Release();
                }
                p->SetLong(key, static_cast<LONG>(i), (*list)[i]);
            }
        }
        SysFreeString(key);
    }
    return p;
}

const corvane::ClassEntry* EntryOf(const CLSID& clsid) {
    size_t n = 0;
    const corvane::ClassEntry* table = corvane::GetClassTable(&n);
    for (size_t i = 0; i < n; ++i) {
        if (IsEqualCLSID(*table[i].clsid, clsid)) return &table[i];
    }
    return nullptr;
}

// Seconds for one run of the effect over the whole signal: InitFilter and every 100 ms read.
// Negative when something failed.
double RunCorvane(const CLSID& clsid, const std::vector<Param>& settings,
                  const std::vector<int16_t>& samples, bool enabled) {
    const corvane::ClassEntry* entry = EntryOf(clsid);
    if (!entry) return -1.0;
    IMediaSource* effect = nullptr;
    if (FAILED(entry->createInstance(nullptr, IID_IMediaSource, reinterpret_cast<void**>(&effect))))
        return -1.0;
    IMediaBaseFilter* filter = nullptr;
    effect->QueryInterface(IID_IMediaBaseFilter, reinterpret_cast<void**>(&filter));
    corvane::host::AudioFormatValues format;
    format.channels = kChannels;
    format.rate = kRate;
    MemorySource* source = new MemorySource(format, samples);
    IEffectParams* params = MakeParams(settings);
    HRESULT hr = params ? filter->put_EffectParams(params) : E_OUTOFMEMORY;
    if (SUCCEEDED(hr)) hr = filter->put_EffectEnabled(enabled ? VARIANT_TRUE : VARIANT_FALSE);
    if (SUCCEEDED(hr)) hr = filter->put_MediaSource(source->Unknown());
    double seconds = -1.0;
    if (SUCCEEDED(hr)) {
        const double start = CpuSeconds();
        hr = filter->InitFilter(nullptr);
        while (SUCCEEDED(hr)) {
            IUnknown* block = nullptr;
            hr = effect->ReadAudio(0, 0, kBlockMs, &block);
            if (!block) break;
            block->Release();
        }
        if (SUCCEEDED(hr)) seconds = CpuSeconds() - start;
    }
    if (params) params->Release();
    filter->put_MediaSource(nullptr);
    filter->Release();
    effect->Release();
    source->Unknown()->Release();
    return seconds;
}

// CPU seconds (user and system) of one run of a program, its output thrown away; negative when
// it could not start or did not exit with 0.
double RunProgram(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &quiet, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0) return -1.0;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1.0;
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The words of a command line (split at spaces).
std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    for (size_t at = 0; at < text.size();) {
        const size_t space = text.find(' ', at);
        words.push_back(text.substr(at, space - at));
        at = space == std::string::npos ? text.size() : space + 1;
    }
    return words;
}

// A number as corvane-fx reads it back as the same double: a point or an exponent always.
std::string DoubleText(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    std::string t = text;
    if (t.find_first_of(".eEn") == std::string::npos) t += ".0";
    return t;
}

template <class T>
std::string ArrayText(const char* tag, const std::vector<T>& values) {
    std::string t = std::string(tag) + ":[";
    for (size_t i = 0; i < values.size(); ++i)
        t += (i ? "," : "") + DoubleText(static_cast<double>(values[i]));
    return t + "]";
}

// The effect (by CLSID) and its parameters as corvane-fx's options.
std::vector<std::string> FxEffect(const CLSID& c, const std::vector<Param>& params) {
    char clsid[40];
    std::snprintf(clsid, sizeof clsid, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(c.Data1), c.Data2, c.Data3, c.Data4[0], c.Data4[1],
                  c.Data4[2], c.Data4[3], c.Data4[4], c.Data4[5], c.Data4[6], c.Data4[7]);
    std::vector<std::string> args = {"-e", clsid};
    for (const Param& param : params) {
        std::string value;
        if (const LONG* l = std::get_if<LONG>(&param.value)) value = std::to_string(*l);
        if (const double* d = std::get_if<double>(&param.value)) value = DoubleText(*d);
        if (const std::string* t = std::get_if<std::string>(&param.value)) value = "str:" + *t;
        if (const auto* f = std::get_if<std::vector<float>>(&param.value))
            value = ArrayText("f32", *f);
        if (const auto* f = std::get_if<std::vector<double>>(&param.value))
            value = ArrayText("f64", *f);
        if (const auto* list = std::get_if<std::vector<LONG>>(&param.value)) {
            for (size_t i = 0; i < list->size(); ++i) {
                args.insert(args.end(), {"-p", std::string(param.key) + "[" + std::to_string(i) +
                                                   "]=" + std::to_string((*list)[i])});
            }
            continue;
        }
        args.insert(args.end(), {"-p", std::string(param.key) + "=" + value});
    }
    return args;
}

// The two programs as this run starts them, on files of one folder.
struct Programs {
    std::string folder;    // the run's temporary folder: inputs, outputs, temporary files
    std::string registry;  // the registry folder where the module is registered
    bool sox = false;      // SoX was found
    bool ffmpeg = false;   // FFmpeg was found
    bool fx = false;       // corvane-fx and its module run

    // CPU seconds of corvane-fx from in to an output file, through `effect` (options), or of
    // SoX through `effect` (its words); negative when the run failed.
    double Fx(const std::string& in, const std::vector<std::string>& effect) const {
        std::vector<std::string> args = {
            CORVANE_FX_PATH, "--registry-root", registry, "-i", in, "-o", folder + "/fx-out.wav"};
        args.insert(args.end(), effect.begin(), effect.end());
        return RunProgram(args);
    }
    double Sox(const std::string& in, const std::string& effect) const {
        std::vector<std::string> args = {
            "sox", "--temp", folder, "-D", "-V1", in, folder + "/sox-out.wav"};
        for (const std::string& w : Words(effect)) args.push_back(w);
        return RunProgram(args);
    }
    // FFmpeg through `filter` (none when empty) on one thread, writing 16-bit PCM.
    double Ffmpeg(const std::string& in, const std::string& filter) const {
        std::vector<std::string> args = {"ffmpeg",          "-nostdin", "-hide_banner", "-loglevel",
                                         "error",           "-y",       "-threads",     "1",
                                         "-filter_threads", "1",        "-i",           in};
        if (!filter.empty()) args.insert(args.end(), {"-af", filter});
        args.insert(args.end(), {"-c:a", "pcm_s16le", folder + "/ffmpeg-out.wav"});
        return RunProgram(args);
    }
    bool Has(Tool tool) const { return tool == Tool::kSox ? sox : ffmpeg; }
    double Counterpart(Tool tool, const std::string& in, const std::string& effect) const {
        return tool == Tool::kSox ? Sox(in, effect) : Ffmpeg(in, effect);
    }
};

struct Spread {
    double median = -1.0, low = -1.0, high = -1.0;  // effect-only seconds
    bool ok = false;
};

// Paired runs (with, then without the effect); the spread of their differences.
template <class F>
Spread Paired(int pairs, F run) {
    std::vector<double> d;
    for (int i = 0; i < pairs; ++i) {
        const double with = run(true), without = run(false);
        if (with < 0.0 || without < 0.0) return Spread();
        d.push_back(with - without);
    }
    std::sort(d.begin(), d.end());
    Spread s;
    s.median = d.size() % 2 ? d[d.size() / 2] : (d[d.size() / 2 - 1] + d[d.size() / 2]) / 2.0;
    s.low = d.front();
    s.high = d.back();
    s.ok = true;
    return s;
}

// Seconds of audio per effect-only second, as text ("-" for a failed or unmeasurable run).
std::string Factor(double audioSeconds, double effectSeconds) {
    if (!(effectSeconds > 0.0)) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", audioSeconds / effectSeconds);
    return text;
}

// ---------------------------------------------------------------------------------------------
// The effects on a library, beside the library driven directly.

int16_t ToPcm16(double x) {
    const double v = x * 32768.0;
    if (!(v > -32768.0)) return v != v ? 0 : -32768;
    if (v >= 32767.0) return 32767;
    return static_cast<int16_t>(static_cast<int32_t>(v));
}

const size_t kBlockFrames = static_cast<size_t>(kRate * kBlockMs / 1000.0);

// Interleaved stereo through one SoundTouch processor in 100 ms blocks, a flush at the end.
double DirectStretch(const std::vector<int16_t>& samples, double tempo, double pitchSemitones) {
    const double start = CpuSeconds();
    soundtouch::SoundTouch st;
    st.setChannels(kChannels);
    st.setTempo(tempo);
    st.setPitchSemiTones(pitchSemitones);
    st.setSetting(SETTING_USE_QUICKSEEK, 0);
    st.setSetting(SETTING_USE_AA_FILTER, 1);
    st.setSampleRate(kRate);
    std::vector<float> in(kBlockFrames * kChannels), out(16384 * kChannels);
    std::vector<int16_t> result;
    result.reserve(samples.size() * 2);
    const size_t frames = samples.size() / kChannels;
    for (size_t at = 0; at < frames; at += kBlockFrames) {
        const size_t n = std::min(kBlockFrames, frames - at);
        for (size_t k = 0; k < n * kChannels; ++k) in[k] = samples[at * kChannels + k] / 32768.0f;
        st.putSamples(in.data(), static_cast<uint>(n));
        if (at + n >= frames) st.flush();
        while (uint got = st.receiveSamples(out.data(), 16384)) {
            for (size_t k = 0; k < got * kChannels; ++k) result.push_back(ToPcm16(out[k]));
        }
    }
    return CpuSeconds() - start;
}

// Each channel through its own SoundTouch processor changing the pitch itself (setPitch).
double DirectPitch(const std::vector<int16_t>& samples, double pitch) {
    const double start = CpuSeconds();
    std::unique_ptr<soundtouch::SoundTouch> st[kChannels];
    for (auto& p : st) {
        p = std::make_unique<soundtouch::SoundTouch>();
        p->setChannels(1);
        p->setSampleRate(kRate);
        p->setPitch(pitch);
    }
    std::vector<float> in(kBlockFrames), out(16384);
    std::vector<int16_t> result(samples.size());
    size_t written[kChannels] = {};
    const size_t frames = samples.size() / kChannels;
    for (size_t at = 0; at < frames; at += kBlockFrames) {
        const size_t n = std::min(kBlockFrames, frames - at);
        for (int c = 0; c < kChannels; ++c) {
            for (size_t k = 0; k < n; ++k) in[k] = samples[(at + k) * kChannels + c] / 32768.0f;
            st[c]->putSamples(in.data(), static_cast<uint>(n));
            while (uint got = st[c]->receiveSamples(out.data(), 16384)) {
                for (size_t k = 0; k < got && written[c] < frames; ++k) {
                    result[written[c]++ * kChannels + c] = ToPcm16(out[k]);
                }
            }
        }
    }
    return CpuSeconds() - start;
}

// A graph "abuffer -> filters -> abuffersink" built by FFmpeg's parser.
struct DirectGraph {
    AVFilterGraph* graph = nullptr;
    AVFilterContext* source = nullptr;
    AVFilterContext* sink = nullptr;

    DirectGraph(const std::string& filters, AVSampleFormat format, uint64_t layout) {
        graph = avfilter_graph_alloc();
        const std::string args = "sample_rate=" + std::to_string(kRate) +
                                 ":sample_fmt=" + av_get_sample_fmt_name(format) +
                                 ":channel_layout=" + std::to_string(layout) + ":time_base=1/" +
                                 std::to_string(kRate);
        avfilter_graph_create_filter(&source, avfilter_get_by_name("abuffer"), "in", args.c_str(),
                                     nullptr, graph);
        avfilter_graph_create_filter(&sink, avfilter_get_by_name("abuffersink"), "out", nullptr,
                                     nullptr, graph);
        AVFilterInOut* outputs = avfilter_inout_alloc();
        AVFilterInOut* inputs = avfilter_inout_alloc();
        outputs->name = av_strdup("in");
        outputs->filter_ctx = source;
        inputs->name = av_strdup("out");
        inputs->filter_ctx = sink;
        if (avfilter_graph_parse_ptr(graph, filters.c_str(), &inputs, &outputs, nullptr) < 0 ||
            avfilter_graph_config(graph, nullptr) < 0) {
            avfilter_graph_free(&graph);
        }
        avfilter_inout_free(&inputs);
        avfilter_inout_free(&outputs);
    }
    ~DirectGraph() { avfilter_graph_free(&graph); }
};

// The samples through graphs per channel (mono doubles, as the gate and equaliser run them) or
// through one graph of all channels (16-bit, as the channel map runs it), in 100 ms frames.
double DirectGraphs(const std::vector<int16_t>& samples, const std::string& filters,
                    AVSampleFormat format, bool perChannel) {
    const double start = CpuSeconds();
    const int graphs = perChannel ? kChannels : 1;
    const int width = perChannel ? 1 : kChannels;
    const uint64_t layout = perChannel ? AV_CH_LAYOUT_MONO : AV_CH_LAYOUT_STEREO;
    std::vector<std::unique_ptr<DirectGraph>> g;
    for (int i = 0; i < graphs; ++i) {
        g.push_back(std::make_unique<DirectGraph>(filters, format, layout));
        if (!g.back()->graph) return -1.0;
    }
    AVFrame* frame = av_frame_alloc();
    std::vector<int16_t> result(samples.size());
    size_t written[kChannels] = {};
    const size_t frames = samples.size() / kChannels;
    for (size_t at = 0; at < frames; at += kBlockFrames) {
        const size_t n = std::min(kBlockFrames, frames - at);
        for (int c = 0; c < graphs; ++c) {
            frame->nb_samples = static_cast<int>(n);
            frame->format = format;
            frame->sample_rate = kRate;
            av_channel_layout_from_mask(&frame->ch_layout, layout);
            frame->pts = static_cast<int64_t>(at);
            if (av_frame_get_buffer(frame, 0) < 0) {
                av_frame_free(&frame);
                return -1.0;
            }
            if (perChannel) {
                double* d = reinterpret_cast<double*>(frame->data[0]);
                for (size_t k = 0; k < n; ++k) d[k] = samples[(at + k) * kChannels + c] / 32768.0;
            } else {
                std::memcpy(frame->data[0], samples.data() + at * kChannels, n * kChannels * 2);
            }
            const int fed = av_buffersrc_add_frame(g[c]->source, frame);
            av_frame_unref(frame);
            if (fed < 0) {
                av_frame_free(&frame);
                return -1.0;
            }
            while (av_buffersink_get_frame(g[c]->sink, frame) >= 0) {
                const size_t got = static_cast<size_t>(frame->nb_samples);
                if (perChannel) {
                    const double* d = reinterpret_cast<const double*>(frame->data[0]);
                    for (size_t k = 0; k < got && written[c] < frames; ++k) {
                        result[written[c]++ * kChannels + c] = ToPcm16(d[k]);
                    }
                } else {
                    const size_t copy = std::min(got, frames - written[0]) * width;
                    std::memcpy(result.data() + written[0] * kChannels, frame->data[0], copy * 2);
                    written[0] += copy / width;
                }
                av_frame_unref(frame);
            }
        }
    }
    av_frame_free(&frame);
    return CpuSeconds() - start;
}

// One row: the effect in corvane and the library driven directly.
struct LibraryRow {
    const char* name;
    const CLSID* clsid;
    std::vector<Param> params;
    std::function<double(const std::vector<int16_t>&)> direct;  // seconds; negative: failed
};

std::vector<LibraryRow> LibraryRows() {
    const std::string eq =
        "c0 f=200 w=100 g=6 t=0|c0 f=1500 w=500 g=-9 t=0|c0 f=6000 w=2000 g=4 t=0";
    const auto monoTail = [](const char* format) {
        return std::string(",aformat=sample_fmts=") + format +
               ":channel_layouts=mono:sample_rates=44100";
    };
    return {
        {"stretch (tempo 1.25, pitch +2)",
         &CLSID_StretchFilter5,
         {{"TempoRate", 1.25}, {"PitchShift", 2.0}, {"Rate", 0.8}},
         [](const std::vector<int16_t>& s) { return DirectStretch(s, 1.25, 2.0); }},
        {"pitch shift (Rate 141)",
         &CLSID_PitchShiftFilter5,
         {{"Rate", 141.0}},
         [](const std::vector<int16_t>& s) { return DirectPitch(s, 100.0 / 141.0); }},
        {"noise gate (defaults)",
         &CLSID_AudioFilter5,
         {{"FilterType", LONG{2}}},
         [=](const std::vector<int16_t>& s) {
             return DirectGraphs(s, "agate" + monoTail("dbl"), AV_SAMPLE_FMT_DBL, true);
         }},
        {"parametric equaliser (3 bands)",
         &CLSID_AudioFilter5,
         {{"FilterType", LONG{1}},
          {"FrequencyArray", std::vector<double>{200.0, 1500.0, 6000.0}},
          {"WidthArray", std::vector<double>{100.0, 500.0, 2000.0}},
          {"dbGainArray", std::vector<double>{6.0, -9.0, 4.0}}},
         [=](const std::vector<int16_t>& s) {
             return DirectGraphs(s, "anequalizer=params='" + eq + "'" + monoTail("dblp"),
                                 AV_SAMPLE_FMT_DBLP, true);
         }},
        {"channel map (1|0)",
         &CLSID_AudioFilterNB5,
         {{"FilterType", LONG{3}}, {"MapArray", std::vector<LONG>{1, 0}}},
         [](const std::vector<int16_t>& s) {
             return DirectGraphs(s,
                                 "channelmap=map=1|0,aformat=sample_fmts=s16:channel_layouts="
                                 "stereo:sample_rates=44100",
                                 AV_SAMPLE_FMT_S16, false);
         }},
    };
}

// The library rows on 10 s of the signal: corvane's effect-only time (median of paired runs)
// beside the library's (median of as many runs).
void RunLibraryRows(const std::vector<int16_t>& samples, int pairs, const std::string& only) {
    const double seconds = static_cast<double>(samples.size()) / kChannels / kRate;
    std::printf(
        "\nEffects on a library, beside the library driven directly, %g s, %g ms blocks, "
        "process CPU time, median of %d\n",
        seconds, kBlockMs, pairs);
    std::printf("%-40s %10s %10s %8s\n", "effect", "corvane", "library", "ratio");
    for (const LibraryRow& row : LibraryRows()) {
        if (!only.empty() && only != row.name) continue;
        const Spread ours =
            Paired(pairs, [&](bool on) { return RunCorvane(*row.clsid, row.params, samples, on); });
        std::vector<double> direct;
        for (int i = 0; i < pairs; ++i) direct.push_back(row.direct(samples));
        std::sort(direct.begin(), direct.end());
        const double library = direct[direct.size() / 2];
        std::string ratio = "-";
        if (ours.ok && ours.median > 0.0 && library > 0.0) {
            char text[32];
            std::snprintf(text, sizeof text, "%.2f", library / ours.median);
            ratio = text;
        }
        std::printf("%-40s %10s %10s %8s\n", row.name,
                    ours.ok ? Factor(seconds, ours.median).c_str() : "failed",
                    Factor(seconds, library).c_str(), ratio.c_str());
        std::fflush(stdout);
    }
}

// The median of n runs of `run` (seconds); negative when any failed.
template <class F>
double Median(int n, F run) {
    std::vector<double> t;
    for (int i = 0; i < n; ++i) {
        t.push_back(run());
        if (t.back() < 0.0) return -1.0;
    }
    std::sort(t.begin(), t.end());
    return n % 2 ? t[t.size() / 2] : (t[t.size() / 2 - 1] + t[t.size() / 2]) / 2.0;
}

// "a / b" with two decimals, or "-".
std::string Ratio(double a, double b) {
    if (!(a > 0.0) || !(b > 0.0)) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", a / b);
    return text;
}

std::string Milliseconds(double seconds) {
    if (!(seconds >= 0.0)) return "failed";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", seconds * 1e3);
    return text;
}

// Whole-process CPU time without an effect: corvane-fx's start-up and pass-through beside SoX's.
void RunPassThroughRows(const Programs& programs, const std::vector<int16_t>& samples, int runs) {
    std::printf(
        "Start-up and pass-through: whole-process CPU time without an effect, median of %d runs\n"
        "(corvane-fx -i IN -o OUT beside sox -D IN OUT; ratio SoX / corvane-fx)\n",
        runs);
    std::printf("%-40s %12s %12s %8s\n", "input", "corvane-fx", "SoX", "ratio");
    const double whole = static_cast<double>(samples.size()) / kChannels / kRate;
    std::vector<double> lengths;
    for (double seconds : {1.0, 60.0, whole}) {
        if (seconds <= whole && std::find(lengths.begin(), lengths.end(), seconds) == lengths.end())
            lengths.push_back(seconds);
    }
    for (double seconds : lengths) {
        const size_t values = static_cast<size_t>(std::llround(seconds * kRate)) * kChannels;
        const std::string in = programs.folder + "/pass-" + std::to_string(values) + ".wav";
        if (!WriteWav(in, std::vector<int16_t>(samples.begin(), samples.begin() + values))) {
            std::printf("%.0f s: cannot write the input\n", seconds);
            continue;
        }
        const double fx = programs.fx ? Median(runs, [&] { return programs.Fx(in, {}); }) : -1.0;
        const double sox = programs.sox ? Median(runs, [&] { return programs.Sox(in, ""); }) : -1.0;
        char name[64];
        std::snprintf(name, sizeof name, "%g s stereo %d Hz", seconds, kRate);
        std::printf("%-40s %12s %12s %8s\n", name, Milliseconds(fx).c_str(),
                    Milliseconds(sox).c_str(), Ratio(sox, fx).c_str());
        std::fflush(stdout);
        std::remove(in.c_str());
    }
}

// The rows of SoX's and FFmpeg's effects: each effect's effect-only time in both programs, on the
// whole input or its first seconds, at the input's rate or another (the same signal made at it).
void RunSoxRows(const Programs& programs, const std::vector<int16_t>& samples, int pairs,
                const std::string& only) {
    const double wholeSeconds = static_cast<double>(samples.size()) / kChannels / kRate;
    std::map<std::pair<int, double>, std::string> inputs;  // (rate, seconds): file
    // The input of a row, written at its first use; empty when it cannot be written.
    const auto input = [&](int rate, double seconds) {
        const std::pair<int, double> key(rate, seconds);
        const auto found = inputs.find(key);
        if (found != inputs.end()) return found->second;
        const std::string path = programs.folder + "/in-" + std::to_string(rate) + "-" +
                                 std::to_string(std::llround(seconds * 1000.0)) + ".wav";
        const size_t values = static_cast<size_t>(std::llround(seconds * rate)) * kChannels;
        bool written = false;
        if (rate == kRate) {
            written =
                WriteWav(path, std::vector<int16_t>(samples.begin(), samples.begin() + values));
        } else {
            written = WriteWav(path, MakeSignal(std::llround(seconds * rate), rate), rate);
        }
        if (!written) std::printf("cannot write %s\n", path.c_str());
        return inputs[key] = written ? path : std::string();
    };
    std::printf(
        "\nEffect-only realtime factor (seconds of audio per second of processing), %g min "
        "stereo %d Hz unless the row says otherwise\nboth programs: the run with the effect "
        "minus the run without, child process CPU time, median of %d pairs (realtime factor of "
        "the slowest .. fastest pair); the counterpart is SoX's effect, or FFmpeg's filter on "
        "one thread where named\n",
        wholeSeconds / 60.0, kRate, pairs);
    const char* table = "";
    for (const Row& row : Rows(programs.folder + "/")) {
        if (!only.empty() && only != row.sox) continue;
        if (std::strcmp(table, row.issue) != 0) {
            table = row.issue;
            std::printf("\n%s\n%-40s %8s %15s %8s %15s %8s\n", table, "effect", "corvane", "spread",
                        "other", "spread", "ratio");
        }
        const double rowSeconds =
            row.seconds > 0.0 ? std::min(row.seconds, wholeSeconds) : wholeSeconds;
        const std::string in = input(row.rate, rowSeconds);
        const std::vector<std::string> effect = FxEffect(*row.clsid, row.params);
        const Spread ours =
            programs.fx && !in.empty()
                ? Paired(pairs,
                         [&](bool on) {
                             return programs.Fx(in, on ? effect : std::vector<std::string>());
                         })
                : Spread();
        const Spread other =
            programs.Has(row.tool) && !in.empty()
                ? Paired(pairs,
                         [&](bool on) {
                             return programs.Counterpart(row.tool, in, on ? row.sox : "");
                         })
                : Spread();
        const auto spread = [&](const Spread& x) {
            return x.ok ? Factor(rowSeconds, x.high) + " .. " + Factor(rowSeconds, x.low)
                        : std::string("-");
        };
        std::string name = row.tool == Tool::kFfmpeg ? std::string("ffmpeg ") + row.sox : row.sox;
        if (row.rate != kRate) name += " (" + std::to_string(row.rate / 1000) + " kHz)";
        if (rowSeconds != wholeSeconds) {
            char length[32];
            std::snprintf(length, sizeof length, " (%g s)", rowSeconds);
            name += length;
        }
        std::printf("%-40s %8s %15s %8s %15s %8s\n", name.c_str(),
                    ours.ok ? Factor(rowSeconds, ours.median).c_str() : "failed",
                    spread(ours).c_str(), Factor(rowSeconds, other.median).c_str(),
                    spread(other).c_str(),
                    ours.ok && other.ok ? Ratio(other.median, ours.median).c_str() : "-");
        std::fflush(stdout);
    }
    for (const auto& file : inputs)
        if (!file.second.empty()) std::remove(file.second.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    double minutes = 10.0;
    int pairs = 5;
    std::string only;
    const char* tmp = std::getenv("TMPDIR");
    std::string parent = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    const char* usage = "usage: %s [--minutes M] [--pairs N] [--only NAME] [--folder DIR]\n";
    if (argc % 2 == 0) {
        std::fprintf(stderr, usage, argv[0]);
        return 2;
    }
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i], value = argv[i + 1];
        if (option == "--minutes") {
            minutes = std::atof(value.c_str());
        } else if (option == "--pairs") {
            pairs = std::atoi(value.c_str());
        } else if (option == "--only") {
            only = value;
        } else if (option == "--folder") {
            parent = value;
        } else {
            std::fprintf(stderr, usage, argv[0]);
            return 2;
        }
    }
    if (!(minutes > 0.0) || pairs < 1) {
        std::fprintf(stderr, "bench_effects: minutes and pairs must be positive\n");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) ||
        FAILED(corvane::host::RegisterHostClasses())) {
        std::fprintf(stderr, "bench_effects: cannot start COM and the host classes\n");
        return 1;
    }
    std::string pattern = parent + "/corvane-bench-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        std::fprintf(stderr, "bench_effects: no temporary folder in %s\n", parent.c_str());
        return 1;
    }
    Programs programs;
    programs.folder = pattern;
    programs.registry = programs.folder + "/registry";
    programs.fx = RunProgram({CORVANE_REG_PATH, "--user", "--registry-root", programs.registry,
                              CORVANE_MODULE_PATH}) >= 0.0;
    const std::vector<int16_t> samples =
        MakeSignal(static_cast<int64_t>(std::llround(minutes * 60.0 * kRate)));
    const std::string probe = programs.folder + "/probe.wav";
    if (WriteWav(probe, std::vector<int16_t>(samples.begin(), samples.begin() + 2 * kChannels))) {
        programs.sox = programs.Sox(probe, "") >= 0.0;
        programs.ffmpeg = programs.Ffmpeg(probe, "") >= 0.0;
        programs.fx = programs.fx && programs.Fx(probe, {}) >= 0.0;
    }
    std::printf("Temporary files in %s%s%s%s\n\n", programs.folder.c_str(),
                programs.sox ? "" : " -- SoX not found",
                programs.ffmpeg ? "" : " -- FFmpeg not found",
                programs.fx ? "" : " -- corvane-fx failed");

    if (only.empty()) RunPassThroughRows(programs, samples, 2 * pairs + 1);
    RunSoxRows(programs, samples, pairs, only);
    RunLibraryRows(MakeSignal(10 * kRate), pairs, only);
    std::filesystem::remove_all(programs.folder);
    corvane::host::RevokeHostClasses();
    CoUninitialize();
    return 0;
}
