#include "effects/PitchShiftFilter.h"

#include "effects/common/FirDesign.h"
#include "effects/common/SoundTouchGlue.h"
#include "framework/BaseFilter.h"

#include <soundtouch/SoundTouch.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace {

constexpr double kDefaultRate = 100.0;  // percent

}  // namespace

static_assert(CPitchShiftChannelFilter::kSmallestRate * CPitchShiftChannelFilter::kLargestRate ==
                  kDefaultRate * kDefaultRate,
              "the range reaches as far up as down");

CPitchShiftChannelFilter::CPitchShiftChannelFilter(CBaseFilter* owner)
    : CBaseChannelFilter(owner) {}

CPitchShiftChannelFilter::~CPitchShiftChannelFilter() = default;

const ParamTable<CPitchShiftChannelFilter>& CPitchShiftChannelFilter::Params() {
    using C = CPitchShiftChannelFilter;
    // Out of range (NaN included): SoundTouch's work and memory grow with 100 / Rate below the
    // range (a rate near 0 never ends) and with Rate above it (a huge one takes gigabytes).
    static const ParamTable<C> rows = {
        {DoubleKey(OLESTR("Rate"), kDefaultRate, kSmallestRate, kLargestRate), &C::m_rate},
    };
    return rows;
}

HRESULT CPitchShiftChannelFilter::ResetChannel() {
    if (const HRESULT hr = CBaseChannelFilter::ResetChannel(); FAILED(hr)) return hr;
    ResetParams(this, Params());
    m_step = 100.0 / m_rate;
    RestartEffect();
    return S_OK;
}

HRESULT CPitchShiftChannelFilter::LoadChannelParams() {
    if (const HRESULT hr = CBaseChannelFilter::LoadChannelParams(); FAILED(hr)) return hr;
    ReadParams(m_pOwner, this, Params());
    m_step = 100.0 / m_rate;
    return S_OK;
}

void CPitchShiftChannelFilter::RestartEffect() {
    Restart();
    m_sampleRate = 0;
}

void CPitchShiftChannelFilter::StartRun(DWORD sampleRate) {
    // Audio taken before a seek must not play after it: a new processor, as at the start (a
    // cleared one would not start its output as a new one does).
    m_sampleRate = 0;
    m_processor = NewProcessor();
    // A rate the processor refuses fails this read, and the next one tries again.
    corvane::SetSampleRateOrFail(*m_processor, sampleRate, *m_pOwner);
    m_sampleRate = sampleRate;
    // SoundTouch fills its rate stage with silence as long as the stage delays the sound, so
    // that the two cancel; but it does so when made, for two channels, and the one channel set
    // since reads that silence as twice as long (33 frames late). Cleared, it fills it anew.
    m_processor->clear();
    m_counts = corvane::SoundTouchCounts();
    m_tail.Reset(static_cast<size_t>(sampleRate) * corvane::kMirroredMs / 1000, 1);
    m_inputsBefore = 0;
    m_previous = 0.0;
    m_queue.clear();
    m_queueStart = 0;
    m_taken = m_given = 0;
    // Resampling up (the pitch goes down) mirrors the content's band above its old edge, rate x
    // 50 / Rate, which lies below half the rate: the low-pass keeps below it.
    m_lowPassOn = m_rate > 100.0;
    if (m_lowPassOn) {
        const double fs = static_cast<double>(sampleRate);
        FirTaps taps(kLowPassTaps);
        DesignLowPassFir(taps, fs * 50.0 / m_rate, fs, 5.0);
        m_lowPass.SetTapCount(kLowPassTaps);
        m_lowPass.SetTaps(taps.taps.data(), kLowPassTaps);
        m_lowPass.ResetState();
    }
    // Output j reads the processor's output where the sound of input j comes out: at input frame
    // j after the lead-in, later by Delay (the processor's, and the low-pass's after it). Outputs
    // before 0 fill the low-pass's history, so that it starts on sound as well. The lead-in, the
    // input mirrored about its first frame, is as long as it takes for every one of them to lie
    // inside the processor's output.
    const double delay = Delay(*m_processor);
    const int64_t primed = m_lowPassOn ? kLowPassTaps - 1 : 0;
    const int64_t leadIn =
        std::max<int64_t>(0, static_cast<int64_t>(std::ceil(static_cast<double>(primed) - delay)));
    m_leadIn.Reset(leadIn);
    m_offset = static_cast<double>(leadIn) + delay;
    m_outputs = -primed;
}

double CPitchShiftChannelFilter::Delay(const soundtouch::SoundTouch& processor) const {
    const double lowPass = m_rate > 100.0 ? (kLowPassTaps - 1) / 2.0 : 0.0;
    return corvane::SoundTouchDelay(processor, m_rate / 100.0) + lowPass;
}

int CPitchShiftChannelFilter::LookAheadFrames() const {
    // Where the last output lies, the processor must reach that far past the interval's end.
    const DWORD fs = m_pOwner->Format().nSamplesPerSec;
    if (m_processor && !m_bRestart && m_sampleRate == fs)
        return corvane::SoundTouchReach(*m_processor, fs, Delay(*m_processor));
    // The interval's first block is its last: a processor set alike tells.
    const std::unique_ptr<soundtouch::SoundTouch> probe = NewProcessor();
    try {
        probe->setSampleRate(fs);
    } catch (const std::runtime_error&) {
        return 0;  // a rate SoundTouch refuses, which the block then fails on
    }
    return corvane::SoundTouchReach(*probe, fs, Delay(*probe));
}

std::unique_ptr<soundtouch::SoundTouch> CPitchShiftChannelFilter::NewProcessor() const {
    auto processor = std::make_unique<soundtouch::SoundTouch>();
    processor->setChannels(1);
    processor->setTempo(m_rate / 100.0);
    return processor;
}

size_t CPitchShiftChannelFilter::Resample(const float* in, size_t m, bool last) {
    m_resampled.clear();
    if (m == 0) return 0;
    // Output j lies at input position (j + offset) x step from the run's start; computed from
    // the counts alone, so that the block split cannot change it. An output waits until the
    // input after its position has come; at the end of the stream there is none, and the last
    // input holds for the outputs still due. Output j answers the effect's input j, which has
    // come before it: never more outputs than inputs (a step that rounds to 0 would make them
    // without end).
    const int64_t available = static_cast<int64_t>(m);
    while (m_outputs < m_taken) {
        const double p = (static_cast<double>(m_outputs) + m_offset) * m_step -
                         static_cast<double>(m_inputsBefore);
        const double whole = std::floor(p);
        const int64_t i = static_cast<int64_t>(whole);
        if (i + 1 >= available && !(last && i < available)) break;
        // Before this block only its last input is kept (reached only by outputs held back).
        const double a = i < 0 ? m_previous : static_cast<double>(in[i]);
        const double b =
            i + 1 < 0 ? m_previous : static_cast<double>(in[std::min(i + 1, available - 1)]);
        m_resampled.push_back(a + (b - a) * (p - whole));
        ++m_outputs;
    }
    m_inputsBefore += available;
    m_previous = static_cast<double>(in[m - 1]);
    return m_resampled.size();
}

int64_t CPitchShiftChannelFilter::FramesStillWanted() const {
    // The processor's output up to the position of the last output and the one after it.
    if (m_taken == 0) return 0;
    const double last = (static_cast<double>(m_taken - 1) + m_offset) * m_step;
    return std::max<int64_t>(static_cast<int64_t>(std::floor(last)) + 2 - m_counts.received, 0);
}

int CPitchShiftChannelFilter::ProcessChannel(int n, int last) {
    if (n < 0) n = 0;
    const DWORD fs = m_pOwner->Format().nSamplesPerSec;
    if (m_bRestart || m_sampleRate == 0 || fs != m_sampleRate) StartRun(fs);

    m_taken += n;
    m_leadIn.Put(*m_processor, m_pIn, n, 1, last != 0, m_counts, m_counts, m_floats, &m_tail);
    size_t m = corvane::ReceiveAll(*m_processor, 1, m_counts, m_floats);
    if (last) {
        // What the interval's outputs still want comes out of the input that follows it (where
        // there is any); what that input makes past them is not the interval's.
        m = corvane::ReceiveThroughEnd(*m_processor, 1, m_counts, m_floats, m, FramesStillWanted(),
                                       m_pLookAhead, m_lookAheadCount, m_tail);
    }
    const int64_t firstOutput = m_outputs;
    const size_t made = Resample(m_floats.data(), m, last != 0);
    const double* result = m_resampled.data();
    if (m_lowPassOn && made > 0) {
        m_filtered.resize(made);
        m_lowPass.ProcessBlock(m_resampled.data(), m_filtered.data(), static_cast<int>(made));
        result = m_filtered.data();
    }
    // Outputs before 0 only filled the low-pass's history.
    const size_t primed =
        static_cast<size_t>(std::clamp<int64_t>(-firstOutput, 0, static_cast<int64_t>(made)));
    // Compact the queue once its dead front outgrows what it holds.
    if (m_queueStart > m_queue.size() / 2) {
        m_queue.erase(m_queue.begin(), m_queue.begin() + static_cast<std::ptrdiff_t>(m_queueStart));
        m_queueStart = 0;
    }
    m_queue.insert(m_queue.end(), result + primed, result + made);

    // Output sample j answers input sample j: never more out than went in, and at the end
    // exactly as many (silence for any the processor did not give, which is not expected).
    const int64_t due = m_taken - m_given;
    const int64_t have =
        std::min<int64_t>(static_cast<int64_t>(m_queue.size() - m_queueStart), due);
    const int64_t silence = last ? due - have : 0;
    const int out = static_cast<int>(have + silence);
    EnsureOutputBuffer(out);
    std::copy(m_queue.begin() + static_cast<std::ptrdiff_t>(m_queueStart),
              m_queue.begin() + static_cast<std::ptrdiff_t>(m_queueStart + have), m_pOut);
    std::fill(m_pOut + have, m_pOut + out, 0.0);
    m_queueStart += static_cast<size_t>(have);
    m_given += out;
    m_drySamples += silence;
    if (last) {
        // What lies past the interval's end is not heard; the next block starts a new run.
        m_queue.clear();
        m_queueStart = 0;
        m_sampleRate = 0;
    }
    return out;
}

CPitchShiftFilter::~CPitchShiftFilter() = default;
