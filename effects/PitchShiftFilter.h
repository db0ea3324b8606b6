// The pitch-shift effect: per channel, SoundTouch changes the tempo by "Rate" / 100 (percent)
// without touching the pitch, then a linear-interpolation resampler changes the sample count by
// the same factor back, so that the pitch moves by 100 / "Rate" ("Rate" 200 is an octave down,
// 50 an octave up) and the length stays. Where the resampler makes more samples than it takes, an
// 80-tap low-pass at the original content's band edge (rate x 50 / "Rate") follows. A queue hands
// every block back as long as it came; it starts each run with P zeros, P being SoundTouch's
// initial latency plus one sample, so the output lags the input by P samples and the last P
// samples of the interval are not heard. A seek starts SoundTouch, the resampler and the queue
// over.
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

    // "Rate" back to 100.
    HRESULT ResetChannel() override;
    // "Rate" in percent; a value outside kSmallestRate .. kLargestRate is ignored.
    HRESULT LoadChannelParams() override;
    // Always returns n (0 for n < 1, which hands SoundTouch nothing).
    int ProcessChannel(int n, int last) override;
    // After a seek: the restart flag set; SoundTouch, the resampler, the low-pass and the queue
    // start over at the next block.
    void RestartEffect();

    // The output's lag behind the input in samples (P), known from the first block of a run on.
    int64_t Delay() const { return m_delay; }
    // Samples of silence put in because the queue ran dry (none is expected).
    int64_t DrySamples() const { return m_drySamples; }
    double Rate() const { return m_rate; }

protected:
    // The first block of a run: the processor's rate and tempo, the queue's P zeros, the
    // resampler's start and the low-pass's design. A sample rate that SoundTouch refuses (above
    // 192000 Hz) fails the read with code 6, "Audio format unsupported.".
    void StartRun(DWORD sampleRate);
    // The resampler over m samples from the processor, into m_resampled; returns its count.
    size_t Resample(const float* in, size_t m);

    double m_rate = 100.0;   // "Rate", percent
    double m_step = 1.0;     // input samples per output sample of the resampler: 100 / Rate
    DWORD m_sampleRate = 0;  // the rate of the current run; 0 before its first block
    std::unique_ptr<soundtouch::SoundTouch> m_processor;  // made new for every run
    corvane::SoundTouchCounts m_counts;                   // of m_processor
    CFilter m_lowPass;
    bool m_lowPassOn = false;
    std::vector<float> m_floats;  // samples on their way in and out of the processor
    // The resampler: outputs made in this run, inputs taken before the current block, and the
    // last input of the block before.
    int64_t m_outputs = 0;
    int64_t m_inputsBefore = 0;
    double m_previous = 0.0;
    std::vector<double> m_resampled;
    std::vector<double> m_filtered;
    // The queue between the resampler and the block, from m_queueStart on.
    std::vector<double> m_queue;
    size_t m_queueStart = 0;
    int64_t m_delay = 0;
    int64_t m_drySamples = 0;
};

class CPitchShiftFilter : public CChannelEngine<CPitchShiftChannelFilter> {
public:
    using CChannelEngine::CChannelEngine;
    ~CPitchShiftFilter() override;
};
