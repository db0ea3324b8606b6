// The effect harness: runs an effect's COM class over a signal from a table source, read whole, in
// uneven blocks and one frame per read, and compares what comes back with an expected output that a
// naive reference model of the effect gives. Every effect's tests use it:
//
//   EffectSetup setup = Effect(CLSID_VolumeFilter5);
//   setup.params.Set(OLESTR("dBVolumeLevel"), -6.0);
//   setup.zones = {{1000.0, 500.0}};
//   const Signal in = VariedSignal(2, 44100, 2000.0);
//   ExpectOutput(setup, in, Expected(in, setup.zones, MyModel), 0);
//
// The fixture EffectHarness publishes the recording host doubles (the buffering object, audio
// buffers and parameter objects the effect creates are doubles) and checks at the end of every test
// that no host object is left alive. Times are milliseconds; samples are interleaved 16-bit.
#pragma once

#include "platform/win32.h"

#include "framework/BaseFilter.h"
#include "tests/framework/open_engine.h"
#include "tests/support/host_doubles.h"
#include "tests/support/live_objects.h"
#include "tests/support/table_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace corvane::testing {

// An interleaved 16-bit signal and its format.
struct Signal {
    AudioFormatValues format;
    std::vector<int16_t> samples;

    int Channels() const { return format.channels; }
    int Rate() const { return static_cast<int>(format.rate); }
    int64_t Frames() const { return static_cast<int64_t>(samples.size()) / Channels(); }
    double Ms() const { return static_cast<double>(Frames()) * 1000.0 / Rate(); }
};

// A signal of pseudo-random samples over the whole 16-bit range.
Signal VariedSignal(int channels, int rate, double ms);

// How an output is read.
struct ReadPlan {
    enum Kind { kWhole, kBlocks, kFrame };
    std::string name;
    Kind kind = kBlocks;
    std::vector<double> ms;  // kBlocks: the durations of successive reads, repeated
};
// One read of the signal's whole length, uneven blocks of 37, 1000, 3 and 250 ms, and one frame per
// read.
const std::vector<ReadPlan>& AllReadPlans();

// A zone of the host's zone object.
struct Zone {
    Zone() = default;
    Zone(double startMs, double durationMs, bool isEnabled = true, Params own = Params())
        : start(startMs), duration(durationMs), enabled(isEnabled), params(std::move(own)) {}

    double start = 0.0;
    double duration = 0.0;
    bool enabled = true;
    Params params;  // the zone's own properties
};

using CreateFunction = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

// An effect object to run and its configuration.
struct EffectSetup {
    std::string name;
    CreateFunction create = nullptr;
    EngineTraits traits{};
    Params params;            // handed to the effect when it holds any value
    std::vector<Zone> zones;  // handed to the effect when there are any
    bool enabled = true;
    bool zonesFirst = false;  // zones handed over before the parameters (else after)
    bool mayRefuse = false;   // a configuration the effect refuses ends the run, not the test
};

// The class of the module's class table with this CLSID (fails the test when there is none).
EffectSetup Effect(const CLSID& clsid);
// Every class of the class table, in object-map order.
std::vector<EffectSetup> AllEffects();

// A seek in the middle of a run: once the reads have brought afterMs of audio, the effect seeks to
// toMs, and only what it gives from there on is kept.
struct SeekPoint {
    double afterMs = 0.0;
    double toMs = 0.0;
};

// What a run gave.
struct RunOutput {
    HRESULT hr = S_OK;             // the first failed read's result, else S_OK
    bool ended = false;            // a read answered S_OK without a block
    std::vector<int16_t> samples;  // the samples of every block, in order
    int reads = 0;
    int emptyBlocks = 0;  // blocks without a sample
};

// x (a sample scaled to [-1, 1)) as the block loop writes it at level 1: times 32768, NaN to 0,
// clamped, truncated toward zero.
int16_t ToPcm16(double x);

// A naive reference of an effect: the output for a whole input signal.
using Model = std::function<std::vector<int16_t>(const Signal& in)>;

// The fixture of effect tests: the host's classes are recording doubles while a test runs.
class EffectHarness : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(doubles.Registered()) << std::hex << doubles.Registration();
    }

    // Creates the effect, sets a table source of the signal as its upstream source, its parameters,
    // zones and enabled state, calls InitFilter as a host does once the chain stands, and reads
    // until the stream ends, a read fails or a bound on the number of reads is reached (ended stays
    // false then). With a seek, the output is what comes after it. Everything is released before it
    // returns.
    RunOutput Run(const EffectSetup& setup, const Signal& in, const ReadPlan& plan,
                  const SeekPoint* seek = nullptr);

    // Runs every read plan and expects each to end without failure with `expected`, sample for
    // sample within `tolerance` (LSB). Returns the output of the first plan.
    RunOutput ExpectOutput(const EffectSetup& setup, const Signal& in,
                           const std::vector<int16_t>& expected, int tolerance = 0,
                           const SeekPoint* seek = nullptr);

    // ExpectOutput with model's expected output (through Expected) in each of the standard layouts:
    // mono at 8000 Hz; stereo at 44100 Hz with two zones whose edges fall inside blocks and a
    // disabled one; six channels at 96000 Hz with one zone. configure, when given, adapts the
    // setup to each layout's signal (format keys and the like). following: as for Expected.
    void ExpectModelInEveryLayout(
        const EffectSetup& setup, const Model& model, int tolerance = 0,
        const std::function<void(EffectSetup&, const Signal&)>& configure = nullptr,
        int64_t following = 0);

    // ExpectOutput after reading 300 ms and seeking to 0 ms, then (in a second run) to 210 ms,
    // with model's output for in from the seek on: an effect that starts over after a seek.
    void ExpectStartOverAfterSeeks(const EffectSetup& setup, const Signal& in, const Model& model,
                                   int tolerance = 0);

    HostDoubles doubles;
};

// An effect class with its parameters and a model of its output: a case of a suite run over
// effects, printed and named by `name`.
struct ModeledEffect {
    std::string name;
    const CLSID* clsid;
    Params params;
    Model model;
    int tolerance = 0;  // LSB
};

inline std::ostream& operator<<(std::ostream& os, const ModeledEffect& e) {
    return os << e.name;
}

// The fixture of a suite run over ModeledEffect cases.
class ModeledEffects : public EffectHarness, public ::testing::WithParamInterface<ModeledEffect> {
protected:
    // The case's class with its parameters.
    EffectSetup Setup() const {
        EffectSetup setup = Effect(*GetParam().clsid);
        setup.params = GetParam().params;
        return setup;
    }
};

// Success when both have the same length and no sample differs by more than tolerance; otherwise
// says where they first differ and by how much at most.
::testing::AssertionResult SamplesNear(const std::vector<int16_t>& got,
                                       const std::vector<int16_t>& want, int tolerance);

// A model of a channel-filter effect from a function of one channel's samples as doubles (sample /
// 32768) at the signal's rate; its results go back as the block loop writes them (x 32768,
// truncated toward zero, clamped). The function may return another length than it is given.
Model PerChannelModel(
    std::function<std::vector<double>(const std::vector<double>& channel, int rate)> f);

// The effect interval of these zones in frames, [first, end), as the engine computes it from the
// enabled zones (the earliest start to the latest end); the whole signal without enabled zones.
std::pair<int64_t, int64_t> IntervalFrames(const Signal& in, const std::vector<Zone>& zones);

// What an effect whose output is model(input) gives with these zones: the input before and after
// the effect interval, the model of the interval's samples inside.
// following: frames after the interval that the model sees too; its output past it is dropped.
std::vector<int16_t> Expected(const Signal& in, const std::vector<Zone>& zones, const Model& model,
                              int64_t following = 0);

// The model of a per-channel effect under constant strengths: each sample
// processed x max(0, s) + unprocessed x max(0, 1 - s), s the left strength for even channels, the
// right for odd ones and the centre for mono. The engine mixes before it rounds and clamps, so this
// is within 1 LSB of it where the processed signal does not clip.
Model WithStrengths(const Model& model, double left, double right, double center);
// The parameters that ask for those strengths ("UseStrengthPerCh" and the three start values).
void SetStrengths(Params& params, double left, double right, double center);

// One channel filter of an effect run on doubles outside the block loop, for what 16-bit output
// cannot show (the geometry of a delay, counters far into a stream). Channel is a test class
// derived from the effect's channel filter, so that it may also reach the filter's state; the
// engine has no upstream source and no buffering object, only the parameters and the format, which
// the rig sets through its open state.
template <class Engine, class Channel>
class ChannelRig {
public:
    ChannelRig(HostDoubles& doubles, const Params& params, DWORD rate, WORD bits = 16)
        : engine(GUID{}, GUID{}, 0, 1), channel(&engine) {
        engine.m_wfx.nSamplesPerSec = rate;
        engine.m_wfx.wBitsPerSample = bits;
        engine.m_wfx.nChannels = 1;
        engine.m_wfx.nBlockAlign = static_cast<WORD>(bits / 8);
        engine.m_pParams = doubles.NewParams(params.store).As<IEffectParams>();
        EXPECT_EQ(channel.ResetChannel(), S_OK);
        EXPECT_EQ(channel.LoadChannelParams(), S_OK);
    }

    // Runs one block as the block loop does (the restart flag is cleared after it); `last`
    // ends the stream.
    std::vector<double> Process(const std::vector<double>& x, bool last = false) {
        return channel.Process(x, last);
    }

    test::Open<Engine> engine;
    Channel channel;
};

// Puts a locale whose decimal separator is a comma in force for the process (LC_ALL; German, under
// the name Linux or Windows gives it); false, and the locale unchanged, when the system has none.
bool SetCommaDecimalLocale();

// The base of a ChannelRig's Channel: Process runs one block through the filter's ProcessChannel.
template <class Filter>
class Probed : public Filter {
public:
    using Filter::Filter;
    std::vector<double> Process(const std::vector<double>& x, bool last = false) {
        const int n = static_cast<int>(x.size());
        this->EnsureBuffers(n);
        std::copy(x.begin(), x.end(), this->m_pIn);
        const int got = this->ProcessChannel(n, last ? 1 : 0);
        this->m_bRestart = false;
        return std::vector<double>(this->m_pOut, this->m_pOut + std::max(got, 0));
    }
};

}  // namespace corvane::testing
