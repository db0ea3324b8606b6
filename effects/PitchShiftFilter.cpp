#include "effects/PitchShiftFilter.h"

#include "effects/common/FirDesign.h"
#include "effects/common/SoundTouchGlue.h"
#include "framework/BaseFilter.h"

#include <soundtouch/SoundTouch.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double kDefaultRate = 100.0;  // percent

}  // namespace

static_assert(CPitchShiftChannelFilter::kSmallestRate * CPitchShiftChannelFilter::kLargestRate ==
                  kDefaultRate * kDefaultRate,
              "the range reaches as far up as down");

CPitchShiftChannelFilter::CPitchShiftChannelFilter(CBaseFilter* owner)
    : CBaseChannelFilter(owner) {}

CPitchShiftChannelFilter::~CPitchShiftChannelFilter() = default;

HRESULT CPitchShiftChannelFilter::ResetChannel() {
    CBaseChannelFilter::ResetChannel();
    m_rate = kDefaultRate;
    m_step = 1.0;
    RestartEffect();
    return S_OK;
}

HRESULT CPitchShiftChannelFilter::LoadChannelParams() {
    CBaseChannelFilter::LoadChannelParams();
    double rate = m_rate;
    // Out of range (NaN included): SoundTouch's work and memory grow with 100 / Rate below the
    // range (a rate near 0 never ends) and with Rate above it (a huge one takes gigabytes).
    if (SUCCEEDED(m_pOwner->GetParamDouble(OLESTR("Rate"), &rate)) && rate >= kSmallestRate &&
        rate <= kLargestRate) {
        m_rate = rate;
        m_step = 100.0 / rate;
    }
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
    m_processor = std::make_unique<soundtouch::SoundTouch>();
    m_processor->setChannels(1);
    // A rate the processor refuses fails this read, and the next one tries again.
    corvane::SetSampleRateOrFail(*m_processor, sampleRate, *m_pOwner);
    m_sampleRate = sampleRate;
    m_processor->setTempo(m_rate / 100.0);
    m_counts = corvane::SoundTouchCounts();
    m_outputs = 0;
    m_inputsBefore = 0;
    m_previous = 0.0;
    // The queue never runs dry with SoundTouch's latency and one sample more in it: the resampler
    // waits for the input after each output's position.
    m_delay = static_cast<int64_t>(m_processor->getSetting(SETTING_INITIAL_LATENCY)) + 1;
    m_queue.assign(static_cast<size_t>(m_delay), 0.0);
    m_queueStart = 0;
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
}

size_t CPitchShiftChannelFilter::Resample(const float* in, size_t m) {
    m_resampled.clear();
    if (m == 0) return 0;
    // Output j lies at input position j x step from the run's start; computed from the counts
    // alone, so that the block split cannot change it. An output waits until the input after its
    // position has come.
    const int64_t available = static_cast<int64_t>(m);
    for (;;) {
        const double p =
            static_cast<double>(m_outputs) * m_step - static_cast<double>(m_inputsBefore);
        const double whole = std::floor(p);
        const int64_t i = static_cast<int64_t>(whole);
        if (i + 1 >= available) break;
        const double a = i < 0 ? m_previous : static_cast<double>(in[i]);
        const double b = static_cast<double>(in[i + 1]);
        m_resampled.push_back(a + (b - a) * (p - whole));
        ++m_outputs;
    }
    m_inputsBefore += available;
    m_previous = static_cast<double>(in[m - 1]);
    return m_resampled.size();
}

int CPitchShiftChannelFilter::ProcessChannel(int n, int last) {
    if (n <= 0) return 0;
    const DWORD fs = m_pOwner->m_wfx.nSamplesPerSec;
    if (m_bRestart || m_sampleRate == 0 || fs != m_sampleRate) StartRun(fs);

    corvane::PutDoubles(*m_processor, m_pIn, n, 1, m_counts, m_floats);
    size_t m = corvane::ReceiveAll(*m_processor, 1, m_counts, m_floats);
    if (last) m = corvane::ReceiveRest(*m_processor, 1, m_counts, m_floats, m);
    const size_t made = Resample(m_floats.data(), m);
    const double* result = m_resampled.data();
    if (m_lowPassOn && made > 0) {
        m_filtered.resize(made);
        m_lowPass.ProcessBlock(m_resampled.data(), m_filtered.data(), static_cast<int>(made));
        result = m_filtered.data();
    }
    // Compact the queue once its dead front outgrows what it holds.
    if (m_queueStart > m_queue.size() / 2) {
        m_queue.erase(m_queue.begin(), m_queue.begin() + static_cast<std::ptrdiff_t>(m_queueStart));
        m_queueStart = 0;
    }
    m_queue.insert(m_queue.end(), result, result + made);

    // Exactly n samples leave; should the queue ever run short, silence comes first, so that
    // nothing is lost and the lag grows instead.
    const size_t want = static_cast<size_t>(n);
    const size_t have = std::min(m_queue.size() - m_queueStart, want);
    const size_t silence = want - have;
    std::fill(m_pOut, m_pOut + silence, 0.0);
    std::copy(m_queue.begin() + static_cast<std::ptrdiff_t>(m_queueStart),
              m_queue.begin() + static_cast<std::ptrdiff_t>(m_queueStart + have), m_pOut + silence);
    m_queueStart += have;
    m_drySamples += static_cast<int64_t>(silence);
    m_delay += static_cast<int64_t>(silence);
    if (last) {
        // What lies past the interval's end is not heard.
        m_queue.clear();
        m_queueStart = 0;
    }
    return n;
}

CPitchShiftFilter::~CPitchShiftFilter() = default;
