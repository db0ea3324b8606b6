// The pitch-shift effect: per channel, SoundTouch changes the tempo by "Rate" / 100 (percent)
// without touching the pitch, then a linear-interpolation resampler changes the sample count by
// the same factor back, so that the pitch moves by 100 / "Rate" ("Rate" 200 is an octave down,
// 50 an octave up) and the length stays. Where the resampler makes more samples than it takes, an
// 80-tap low-pass at the original content's band edge (rate x 50 / "Rate") follows. The output is
// aligned with the input: the processor's delay at this tempo and the low-pass's are taken off
// (where SoundTouch's sound comes early, below "Rate" 100, a lead-in of the input mirrored about
// its start goes in first), a block gives what the processor has made of the input so far (little
// or nothing at first, while SoundTouch fills its windows), and the block that ends the interval
// gives the rest, pushed out of the processor by the input that follows the interval or, past the
// stream's end, by the input mirrored about its end, so that the interval keeps its length and
// sounds to its end. A seek starts SoundTouch, the resampler and the queue over.
#pragma once

#include "platform/win32.h"

#include "effects/common/ChannelEngine.h"
#include "effects/common/Filter.h"
#include "effects/common/SoundTouchGlue.h"
#include "framework/BaseChannelFilter.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace soundtouch {
class SoundTouch;
}

class CPitchShiftChannelFilter : public CBaseChannelFilter {
public:
    static constexpr int kLowPassTaps = 80;
    // "Rate" in percent: five octaves either way (the stretch effect's pitch range); a value
    // outside is ignored.
    static constexpr double kSmallestRate = 3.125;
    static constexpr double kLargestRate = 3200.0;

    explicit CPitchShiftChannelFilter(CBaseFilter* owner);
    ~CPitchShiftChannelFilter() override;

    // Its key: "Rate" in percent.
    static const ParamTable<CPitchShiftChannelFilter>& Params();

    // "Rate" back to 100.
    HRESULT ResetChannel() override;
    HRESULT LoadChannelParams() override;
    // Returns the samples made of the input so far, never more than went in since the run
    // started; at the last block, all that are still due.
    int ProcessChannel(int n, int last) override;
    // The frames that follow the interval which the processor takes to give its last outputs.
    int LookAheadFrames() const override;
    // After a seek: the restart flag set; SoundTouch, the resampler, the low-pass and the queue
    // start over at the next block.
    void RestartEffect();

    // Samples of silence that ended a run because the processor gave fewer than went in (none is
    // expected).
    int64_t DrySamples() const { return m_drySamples; }
    double Rate() const { return m_rate; }

protected:
    // The first block of a run: the processor's rate and tempo, an empty queue, the
    // resampler's start and the low-pass's design. A sample rate that SoundTouch refuses (above
    // 192000 Hz) fails the read with code 6, "Audio format unsupported.".
    void StartRun(DWORD sampleRate);
    // A processor of one channel at this "Rate"'s tempo, its sample rate not yet set: the run's,
    // and the probe that tells the look-ahead before the first block.
    std::unique_ptr<soundtouch::SoundTouch> NewProcessor() const;
    // The resampler over m samples from the processor, into m_resampled; returns its count.
    // `last`: no input follows.
    size_t Resample(const float* in, size_t m, bool last);
    // How many frames late output j would come without correction: the processor's delay at
    // this tempo and the low-pass's (half its taps).
    double Delay(const soundtouch::SoundTouch& processor) const;
    // Frames the processor must still give for the outputs due by the end of the run.
    int64_t FramesStillWanted() const;

    double m_rate = 100.0;   // "Rate", percent
    double m_step = 1.0;     // input samples per output sample of the resampler: 100 / Rate
    DWORD m_sampleRate = 0;  // the rate of the current run; 0 before its first block
    std::unique_ptr<soundtouch::SoundTouch> m_processor;  // made new for every run
    corvane::SoundTouchCounts m_counts;                   // of m_processor
    corvane::MirroredTail m_tail;  // what goes into m_processor past the end of its input
    CFilter m_lowPass;
    bool m_lowPassOn = false;
    std::vector<float> m_floats;  // samples on their way in and out of the processor
    // Where output j lies: at the processor's output (j + m_offset) x m_step, frames.
    double m_offset = 0.0;
    corvane::LeadIn m_leadIn;  // ahead of the run's input, when the delay is negative
    // The resampler: the index of its next output (below 0 while it fills the low-pass's
    // history), inputs taken before the current block, and the last input of the block before.
    int64_t m_outputs = 0;
    int64_t m_inputsBefore = 0;
    double m_previous = 0.0;
    std::vector<double> m_resampled;
    std::vector<double> m_filtered;
    // The queue between the resampler and the block, from m_queueStart on.
    std::vector<double> m_queue;
    size_t m_queueStart = 0;
    int64_t m_taken = 0;  // samples in, this run
    int64_t m_given = 0;  // samples out, this run
    int64_t m_drySamples = 0;
};

class CPitchShiftFilter : public CChannelEngine<CPitchShiftChannelFilter> {
public:
    // The output of a block is what the processors made of the input so far: its sample count
    // changes.
    static constexpr EngineTraits kTraits = {/*usesHelper*/ true, /*perChannel*/ true,
                                             /*lengthChanges*/ true, /*followsRate*/ false};

    using CChannelEngine::CChannelEngine;
    ~CPitchShiftFilter() override;
};
