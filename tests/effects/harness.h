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
#include "tests/support/host_doubles.h"
#include "tests/support/live_objects.h"
#include "tests/support/table_source.h"

#include <gtest/gtest.h>

#include <functional>
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
    double start = 0.0;
    double duration = 0.0;
    bool enabled = true;
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
};

// The class of the module's class table with this CLSID (fails the test when there is none).
EffectSetup Effect(const CLSID& clsid);
// Every class of the class table, in object-map order.
std::vector<EffectSetup> AllEffects();

// What a run gave.
struct RunOutput {
    HRESULT hr = S_OK;             // the first failed read's result, else S_OK
    bool ended = false;            // a read answered S_OK without a block
    std::vector<int16_t> samples;  // the samples of every block, in order
    int reads = 0;
    int emptyBlocks = 0;  // blocks without a sample
};

// The fixture of effect tests: the host's classes are recording doubles while a test runs.
class EffectHarness : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(doubles.Registered()) << std::hex << doubles.Registration();
    }

    // Creates the effect, sets a table source of the signal as its upstream source, its parameters,
    // zones and enabled state, and reads until the stream ends, a read fails or a bound on the
    // number of reads is reached (ended stays false then). Everything is released before it
    // returns.
    RunOutput Run(const EffectSetup& setup, const Signal& in, const ReadPlan& plan);

    // Runs every read plan and expects each to end without failure with `expected`, sample for
    // sample
    // within `tolerance` (LSB). Returns the output of the first plan.
    RunOutput ExpectOutput(const EffectSetup& setup, const Signal& in,
                           const std::vector<int16_t>& expected, int tolerance = 0);

    HostDoubles doubles;
};

// Success when both have the same length and no sample differs by more than tolerance; otherwise
// says where they first differ and by how much at most.
::testing::AssertionResult SamplesNear(const std::vector<int16_t>& got,
                                       const std::vector<int16_t>& want, int tolerance);

// A naive reference of an effect: the output for a whole input signal.
using Model = std::function<std::vector<int16_t>(const Signal& in)>;

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
std::vector<int16_t> Expected(const Signal& in, const std::vector<Zone>& zones, const Model& model);

// The model of a per-channel effect under constant strengths: each sample
// processed x max(0, s) + unprocessed x max(0, 1 - s), s the left strength for even channels, the
// right for odd ones and the centre for mono. The engine mixes before it rounds and clamps, so this
// is within 1 LSB of it where the processed signal does not clip.
Model WithStrengths(const Model& model, double left, double right, double center);
// The parameters that ask for those strengths ("UseStrengthPerCh" and the three start values).
void SetStrengths(Params& params, double left, double right, double center);

}  // namespace corvane::testing
