#include "tests/effects/harness.h"

#include "server/classes.h"

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace corvane::testing {

namespace {

constexpr double kFromPcm16 = 1.0 / 32768.0;

// Frames of a time as the engine counts them: trunc(rate x t / 1000 + 0.0001).
int64_t FramesOf(double ms, int rate) {
    return static_cast<int64_t>(std::trunc(rate * ms / 1000.0 + 0.0001));
}

std::string NameOf(const char* description) {
    std::string name = description;
    const size_t space = name.find(' ');
    return space == std::string::npos ? name : name.substr(0, space);
}

EffectSetup SetupOf(const ClassEntry& entry) {
    EffectSetup setup;
    setup.name = NameOf(entry.description);
    setup.create = entry.createInstance;
    setup.traits = entry.traits;
    return setup;
}

// Reads to allow before a run is taken for one that does not end: four times what the signal
// needs at the plan's shortest read, so that an effect that holds audio back still finishes.
int ReadBound(const Signal& in, const ReadPlan& plan) {
    double needed = 1.0;
    if (plan.kind == ReadPlan::kFrame) {
        needed = static_cast<double>(in.Frames());
    } else if (plan.kind == ReadPlan::kBlocks && !plan.ms.empty()) {
        needed = in.Ms() / *std::min_element(plan.ms.begin(), plan.ms.end());
    }
    return static_cast<int>(std::ceil(needed)) * 4 + 64;
}

}  // namespace

// x (a sample scaled to [-1, 1)) as the block loop writes it at level 1: times 32768, NaN to 0,
// clamped, truncated toward zero.
int16_t ToPcm16(double x) {
    const double v = x * 32768.0;
    if (std::isnan(v)) return 0;
    if (v >= 32767.0) return 32767;
    if (v <= -32768.0) return -32768;
    return static_cast<int16_t>(static_cast<int32_t>(v));
}

Signal VariedSignal(int channels, int rate, double ms) {
    Signal s;
    s.format.channels = static_cast<WORD>(channels);
    s.format.rate = static_cast<DWORD>(rate);
    s.format.layout = CBaseFilter::DefaultChannelLayout(0, channels);
    s.samples = VariedSamples(FramesOf(ms, rate), channels);
    return s;
}

const std::vector<ReadPlan>& AllReadPlans() {
    static const std::vector<ReadPlan> plans = {
        {"whole", ReadPlan::kWhole, {}},
        {"uneven", ReadPlan::kBlocks, {37.0, 1000.0, 3.0, 250.0}},
        {"frame", ReadPlan::kFrame, {}},
    };
    return plans;
}

EffectSetup Effect(const CLSID& clsid) {
    size_t count = 0;
    const ClassEntry* table = GetClassTable(&count);
    for (size_t i = 0; i < count; ++i) {
        if (IsEqualCLSID(*table[i].clsid, clsid)) return SetupOf(table[i]);
    }
    ADD_FAILURE() << "no class of that CLSID in the class table";
    return EffectSetup();
}

std::vector<EffectSetup> AllEffects() {
    size_t count = 0;
    const ClassEntry* table = GetClassTable(&count);
    std::vector<EffectSetup> all;
    for (size_t i = 0; i < count; ++i) all.push_back(SetupOf(table[i]));
    return all;
}

RunOutput EffectHarness::Run(const EffectSetup& setup, const Signal& in, const ReadPlan& plan,
                             const SeekPoint* seek) {
    RunOutput out;
    out.hr = E_FAIL;
    if (setup.create == nullptr) {
        ADD_FAILURE() << "no effect to run";
        return out;
    }
    ComPtr<IMediaSource> object;
    const HRESULT created = setup.create(nullptr, IID_IMediaSource, object.Out());
    if (FAILED(created) || !object) {
        ADD_FAILURE() << setup.name << " not created: " << std::hex << created;
        out.hr = created;
        return out;
    }
    ComPtr<IMediaBaseFilter> filter;
    object->QueryInterface(IID_IMediaBaseFilter, filter.Out());
    ComPtr<TableSource> source(new TableSource(doubles.State(), in.format, in.samples));
    HRESULT hr = filter->put_MediaSource(static_cast<IMediaSource*>(source.Get()));
    const auto putParams = [&] {
        if (FAILED(hr) || setup.params.store.Size() == 0) return;
        ComPtr<RecordingEffectParams> params = doubles.NewParams(setup.params.store);
        hr = filter->put_EffectParams(static_cast<IEffectParams*>(params.Get()));
    };
    const auto putZones = [&] {
        if (FAILED(hr) || setup.zones.empty()) return;
        ComPtr<RecordingEffectZones> zones = doubles.NewZones();
        for (const Zone& zone : setup.zones) {
            host::ZoneValues v;
            v.start = zone.start;
            v.duration = zone.duration;
            v.enabled = zone.enabled;
            v.params = zone.params.store;
            LONG id = 0;
            if (SUCCEEDED(hr)) hr = zones->Add(v, &id);
        }
        if (SUCCEEDED(hr)) hr = filter->put_EffectZones(static_cast<IEffectZones*>(zones.Get()));
    };
    if (setup.zonesFirst) putZones();
    putParams();
    if (!setup.zonesFirst) putZones();
    if (SUCCEEDED(hr) && !setup.enabled) hr = filter->put_EffectEnabled(VARIANT_FALSE);
    if (SUCCEEDED(hr)) hr = filter->InitFilter(nullptr);
    if (FAILED(hr)) {
        if (!setup.mayRefuse) ADD_FAILURE() << setup.name << " not configured: " << std::hex << hr;
        out.hr = hr;
        return out;
    }

    out.hr = S_OK;
    int bound = ReadBound(in, plan);
    if (seek != nullptr) bound *= 2;
    bool seeked = false;
    for (int i = 0; i < bound; ++i) {
        double ms = 1000.0 / in.Rate();
        if (plan.kind == ReadPlan::kWhole) ms = std::max(in.Ms(), ms);
        if (plan.kind == ReadPlan::kBlocks) ms = plan.ms[static_cast<size_t>(i) % plan.ms.size()];
        ComPtr<IUnknown> block;
        hr = object->ReadAudio(0, 0, ms, &block);
        ++out.reads;
        if (FAILED(hr)) {
            out.hr = hr;
            break;
        }
        if (!block) {
            out.ended = true;
            break;
        }
        const std::vector<int16_t> samples = SamplesOf(block.Get());
        if (samples.empty()) ++out.emptyBlocks;
        out.samples.insert(out.samples.end(), samples.begin(), samples.end());
        const double readMs = static_cast<double>(out.samples.size()) * 1000.0 /
                              (static_cast<double>(in.Channels()) * in.Rate());
        if (seek != nullptr && !seeked && readMs >= seek->afterMs) {
            seeked = true;
            out.samples.clear();
            hr = object->SeekAudio(0, 0, seek->toMs);
            if (FAILED(hr)) {
                out.hr = hr;
                break;
            }
        }
    }
    if (seek != nullptr && !seeked) ADD_FAILURE() << "the run ended before its seek";
    return out;
}

RunOutput EffectHarness::ExpectOutput(const EffectSetup& setup, const Signal& in,
                                      const std::vector<int16_t>& expected, int tolerance,
                                      const SeekPoint* seek) {
    RunOutput first;
    bool haveFirst = false;
    for (const ReadPlan& plan : AllReadPlans()) {
        SCOPED_TRACE(setup.name + ", read " + plan.name);
        RunOutput out = Run(setup, in, plan, seek);
        EXPECT_EQ(out.hr, S_OK) << std::hex << out.hr;
        EXPECT_TRUE(out.ended) << "no end of stream after " << out.reads << " reads";
        EXPECT_TRUE(SamplesNear(out.samples, expected, tolerance));
        if (!haveFirst) {
            first = std::move(out);
            haveFirst = true;
        }
    }
    return first;
}

void EffectHarness::ExpectStartOverAfterSeeks(const EffectSetup& setup, const Signal& in,
                                              const Model& model, int tolerance) {
    for (const double to : {0.0, 210.0}) {
        SCOPED_TRACE(::testing::Message() << "seek to " << to);
        Signal rest = in;
        const size_t first = static_cast<size_t>(to * in.Rate() / 1000.0) * in.Channels();
        rest.samples.erase(rest.samples.begin(), rest.samples.begin() + first);
        const SeekPoint seek{300.0, to};
        ExpectOutput(setup, in, model(rest), tolerance, &seek);
    }
}

void EffectHarness::ExpectModelInEveryLayout(
    const EffectSetup& setup, const Model& model, int tolerance,
    const std::function<void(EffectSetup&, const Signal&)>& configure, int64_t following) {
    struct Layout {
        int channels, rate;
        double ms;
        std::vector<Zone> zones;
    };
    const Layout layouts[] = {
        {1, 8000, 600.0, {}},
        {2, 44100, 300.0, {{41.3, 120.0}, {100.0, 150.7}, {20.0, 5.0, false}}},
        {6, 96000, 120.0, {{10.01, 50.0}}},
    };
    for (const Layout& l : layouts) {
        SCOPED_TRACE(::testing::Message() << l.channels << " channels at " << l.rate);
        const Signal in = VariedSignal(l.channels, l.rate, l.ms);
        EffectSetup configured = setup;
        configured.zones = l.zones;
        if (configure) configure(configured, in);
        ExpectOutput(configured, in, Expected(in, l.zones, model, following), tolerance);
    }
}

::testing::AssertionResult SamplesNear(const std::vector<int16_t>& got,
                                       const std::vector<int16_t>& want, int tolerance) {
    const size_t n = std::min(got.size(), want.size());
    size_t firstBad = n;
    int worst = 0;
    for (size_t i = 0; i < n; ++i) {
        const int d = std::abs(int{got[i]} - int{want[i]});
        if (d > tolerance && firstBad == n) firstBad = i;
        worst = std::max(worst, d);
    }
    if (got.size() == want.size() && firstBad == n) return ::testing::AssertionSuccess();
    std::ostringstream why;
    why << got.size() << " samples, " << want.size() << " expected";
    if (firstBad < n) {
        why << "; sample " << firstBad << " is " << got[firstBad] << ", expected " << want[firstBad]
            << "; largest difference " << worst << " (tolerance " << tolerance << ")";
    }
    return ::testing::AssertionFailure() << why.str();
}

Model PerChannelModel(
    std::function<std::vector<double>(const std::vector<double>& channel, int rate)> f) {
    return [f](const Signal& in) {
        const int channels = in.Channels();
        const int64_t frames = in.Frames();
        std::vector<std::vector<double>> outs;
        size_t length = SIZE_MAX;
        for (int c = 0; c < channels; ++c) {
            std::vector<double> x(static_cast<size_t>(frames));
            for (int64_t k = 0; k < frames; ++k) {
                x[static_cast<size_t>(k)] =
                    in.samples[static_cast<size_t>(k * channels + c)] * kFromPcm16;
            }
            outs.push_back(f(x, in.Rate()));
            length = std::min(length, outs.back().size());
        }
        std::vector<int16_t> y(channels > 0 ? length * channels : 0);
        for (int c = 0; c < channels; ++c) {
            for (size_t k = 0; k < length; ++k) y[k * channels + c] = ToPcm16(outs[c][k]);
        }
        return y;
    };
}

std::pair<int64_t, int64_t> IntervalFrames(const Signal& in, const std::vector<Zone>& zones) {
    bool any = false;
    double lo = 0.0, hi = 0.0;
    for (const Zone& z : zones) {
        if (!z.enabled) continue;
        lo = any ? std::min(lo, z.start) : z.start;
        hi = any ? std::max(hi, z.start + z.duration) : z.start + z.duration;
        any = true;
    }
    if (!any) return {0, in.Frames()};
    const auto clampFrames = [&](int64_t f) { return std::clamp<int64_t>(f, 0, in.Frames()); };
    return {clampFrames(FramesOf(lo, in.Rate())), clampFrames(FramesOf(hi, in.Rate()))};
}

std::vector<int16_t> Expected(const Signal& in, const std::vector<Zone>& zones, const Model& model,
                              int64_t following) {
    const auto [first, end] = IntervalFrames(in, zones);
    const size_t channels = static_cast<size_t>(in.Channels());
    const auto at = [&](int64_t frame) { return in.samples.begin() + frame * channels; };
    Signal inside = in;
    inside.samples.assign(at(first), at(std::min(std::max(first, end) + following, in.Frames())));
    std::vector<int16_t> out(in.samples.begin(), at(first));
    std::vector<int16_t> processed = model(inside);
    const size_t inner = static_cast<size_t>(std::max(first, end) - first) * channels;
    if (following > 0) processed.resize(std::min(processed.size(), inner));
    out.insert(out.end(), processed.begin(), processed.end());
    out.insert(out.end(), at(std::max(first, end)), in.samples.end());
    return out;
}

Model WithStrengths(const Model& model, double left, double right, double center) {
    return [=](const Signal& in) {
        const std::vector<int16_t> processed = model(in);
        const int channels = in.Channels();
        std::vector<int16_t> out(std::min(in.samples.size(), processed.size()));
        for (size_t k = 0; k < out.size(); ++k) {
            const int c = static_cast<int>(k % channels);
            const double s = channels < 2 ? center : (c & 1) ? right : left;
            const double a = std::max(0.0, s), b = std::max(0.0, 1.0 - s);
            out[k] = ToPcm16(processed[k] * kFromPcm16 * a + in.samples[k] * kFromPcm16 * b);
        }
        return out;
    };
}

void SetStrengths(Params& params, double left, double right, double center) {
    params.Set(OLESTR("UseStrengthPerCh"), true)
        .Set(OLESTR("LeftStrength"), left)
        .Set(OLESTR("RightStrength"), right)
        .Set(OLESTR("CenterStrength"), center);
}

bool SetCommaDecimalLocale() {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de-DE", "German_Germany.1252"}) {
        if (std::setlocale(LC_ALL, name) == nullptr) continue;
        char decimal[16];
        std::snprintf(decimal, sizeof(decimal), "%.1f", 1.5);
        if (std::strcmp(decimal, "1,5") == 0) return true;
    }
    std::setlocale(LC_ALL, saved.c_str());
    return false;
}

}  // namespace corvane::testing
