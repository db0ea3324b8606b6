#include "effects/StretchFilter.h"

#include "effects/common/SoundTouchGlue.h"
#include "platform/exceptions.h"

#include <soundtouch/SoundTouch.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

// Sequence, seek window and overlap of "Mode" 1, ms.
constexpr int kModeOneSequenceMs = 40;
constexpr int kModeOneSeekWindowMs = 15;
constexpr int kModeOneOverlapMs = 8;
// HRESULT_FROM_WIN32(ERROR_ARITHMETIC_OVERFLOW).
constexpr HRESULT kArithmeticOverflow = static_cast<HRESULT>(0x80070216u);

}  // namespace

const ParamTable<CStretchChannelFilter>& CStretchChannelFilter::Params() {
    using C = CStretchChannelFilter;
    static const ParamTable<C> rows = {
        {DoubleKey(OLESTR("TempoRate"), 1, kSmallestFactor, kLargestFactor), &C::m_tempoRate},
        {DoubleKey(OLESTR("RateRate"), 1, kSmallestFactor, kLargestFactor), &C::m_rateRate},
        {DoubleKey(OLESTR("PitchShift"), 0, -kLargestPitchShift, kLargestPitchShift),
         &C::m_pitchShift},
        {LongKey(OLESTR("Mode"), 0), &C::m_mode},
        {LongKey(OLESTR("Antialiasing"), 1), &C::m_antialiasing},
    };
    return rows;
}

double CStretchChannelFilter::LengthFactorOf(const CBaseFilter* owner) {
    double factors[2] = {};
    for (int i = 0; i < 2; ++i) {
        factors[i] = Params()[i].spec.def;
        ReadParamValue(owner, Params()[i].spec, &factors[i]);
    }
    return 1.0 / (factors[0] * factors[1]);
}

CStretchChannelFilter::CStretchChannelFilter(CBaseFilter* owner) : CBaseChannelFilter(owner) {}

CStretchChannelFilter::~CStretchChannelFilter() = default;

int CStretchChannelFilter::ChannelCount() const {
    return m_pOwner->PerChannel() ? 1 : static_cast<int>(m_pOwner->Format().nChannels);
}

std::unique_ptr<soundtouch::SoundTouch> CStretchChannelFilter::NewProcessor(int channels) const {
    auto processor = std::make_unique<soundtouch::SoundTouch>();
    processor->setChannels(static_cast<uint>(channels));
    processor->setTempo(m_tempoRate);
    processor->setRate(m_rateRate);
    processor->setPitchSemiTones(static_cast<double>(static_cast<float>(m_pitchShift)));
    processor->setSetting(SETTING_USE_QUICKSEEK, 0);
    // After setChannels: this setting clears the rate stage, which fills it anew with the silence
    // that cancels its delay, for this channel count (a new processor holds it for two channels,
    // and another count would read it as longer or shorter: the output early or late).
    processor->setSetting(SETTING_USE_AA_FILTER, m_antialiasing);
    if (m_mode == 1) {
        processor->setSetting(SETTING_SEQUENCE_MS, kModeOneSequenceMs);
        processor->setSetting(SETTING_SEEKWINDOW_MS, kModeOneSeekWindowMs);
        processor->setSetting(SETTING_OVERLAP_MS, kModeOneOverlapMs);
    }
    return processor;
}

void CStretchChannelFilter::Rebuild() {
    m_processor.reset();
    const int channels = ChannelCount();
    m_processorChannels = 0;
    const int most = m_antialiasing != 0 ? corvane::kStretchMostAntiAliasedChannels
                                         : corvane::kStretchMostChannels;
    if (channels > most) return;
    std::unique_ptr<soundtouch::SoundTouch> processor;
    try {
        processor = NewProcessor(channels);
    } catch (const std::runtime_error&) {
        return;  // a channel count SoundTouch refuses: the stream passes through
    }
    m_sampleRate = 0;
    m_counts = corvane::SoundTouchCounts();
    m_processorChannels = channels;
    m_processor = std::move(processor);
    // The engine's factor, so that the frames given are those its duration counts.
    m_counts.ratio = LengthFactor();
}

double CStretchChannelFilter::EffectiveRate() const {
    // SoundTouch's own pitch factor: 2 ^ (semitones / 12), as exp(ln 2 x octaves).
    const double pitch = std::exp(0.69314718056 * static_cast<float>(m_pitchShift) / 12.0);
    return m_rateRate * pitch;
}

double CStretchChannelFilter::EffectiveTempo() const {
    return m_tempoRate * m_rateRate / EffectiveRate();
}

corvane::StartCorrection CStretchChannelFilter::StartCorrectionOf(
    const soundtouch::SoundTouch& processor) const {
    return corvane::LateStartOf(processor, m_pOwner->Format().nSamplesPerSec, EffectiveRate(),
                                EffectiveTempo());
}

int CStretchChannelFilter::LookAheadFrames() const {
    if (!m_processor) return 0;
    const DWORD rate = m_pOwner->Format().nSamplesPerSec;
    // The output dropped at the start moves the end that much later in the input.
    const auto reach = [this, rate](const soundtouch::SoundTouch& processor) {
        const double dropped = static_cast<double>(StartCorrectionOf(processor).drop);
        return corvane::SoundTouchReach(processor, rate, dropped / LengthFactor());
    };
    if (rate == m_sampleRate) return reach(*m_processor);
    // The interval's first block is its last: a processor set alike tells.
    try {
        const std::unique_ptr<soundtouch::SoundTouch> probe = NewProcessor(m_processorChannels);
        probe->setSampleRate(rate);
        return reach(*probe);
    } catch (const std::runtime_error&) {
        return 0;  // a rate SoundTouch refuses, which the block then fails on
    }
}

double CStretchChannelFilter::LengthFactor() const {
    return m_processor ? 1.0 / (m_tempoRate * m_rateRate) : 1.0;
}

void CStretchChannelFilter::FollowChannelCount() {
    if (ChannelCount() != m_processorChannels) Rebuild();
}

HRESULT CStretchChannelFilter::ResetChannel() {
    if (const HRESULT hr = CBaseChannelFilter::ResetChannel(); FAILED(hr)) return hr;
    ResetParams(this, Params());
    Rebuild();
    return S_OK;
}

HRESULT CStretchChannelFilter::LoadChannelParams() {
    if (const HRESULT hr = CBaseChannelFilter::LoadChannelParams(); FAILED(hr)) return hr;
    ReadParams(m_pOwner, this, Params());
    Rebuild();
    return S_OK;
}

int CStretchChannelFilter::ProcessChannel(int n, int last) {
    if (n < 0) return 0;
    if (!m_processor) {
        std::copy(m_pIn, m_pIn + n, m_pOut);
        return n;
    }
    const DWORD rate = m_pOwner->Format().nSamplesPerSec;
    if (m_bRestart || rate != m_sampleRate) {
        // A rate the processor refuses fails this read, and the next one tries again.
        m_sampleRate = 0;
        corvane::SetSampleRateOrFail(*m_processor, rate, *m_pOwner);
        m_sampleRate = rate;
        m_tail.Reset(static_cast<size_t>(rate) * corvane::kMirroredMs / 1000, m_processorChannels);
        const corvane::StartCorrection start = StartCorrectionOf(*m_processor);
        m_leadIn.Reset(start.leadIn);
        m_drop = start.drop;
    }
    const int c = m_processorChannels;
    corvane::SoundTouchCounts leadCounts;  // the lead-in is not the interval's
    m_leadIn.Put(*m_processor, m_pIn, n, c, last != 0, leadCounts, m_counts, m_floats, &m_tail);
    m_drop -= corvane::DropFrames(*m_processor, m_drop);
    // Never ahead of the length rule: what SoundTouch gives early stays in it, and the end takes
    // what the rule still owes from there.
    size_t taken = corvane::ReceiveAll(*m_processor, c, m_counts, m_floats, 0, m_counts.Allowed());
    if (last) {
        // What is owed for the interval comes out of the input that follows it (where there is
        // any), and the rest of that input's output is not the interval's.
        taken =
            corvane::ReceiveThroughEnd(*m_processor, c, m_counts, m_floats, taken, m_counts.Owed(),
                                       m_pLookAhead, m_lookAheadCount, m_tail, m_drop);
        m_drop = 0;
    }
    // More than a block can carry (a 32-bit count of samples) fails the read.
    if (taken > static_cast<size_t>(INT32_MAX)) corvane::ThrowHr(kArithmeticOverflow);
    const int out = static_cast<int>(taken);
    EnsureOutputBuffer(out);
    std::copy(m_floats.begin(), m_floats.begin() + out, m_pOut);
    return out;
}

CStretchFilter::~CStretchFilter() = default;

std::unique_ptr<CBaseChannelFilter> CStretchFilter::CreateChannelFilter() {
    return std::make_unique<CStretchChannelFilter>(this);
}

void CStretchFilter::RestartChannels() {
    for (size_t i = 0; i < ChannelFilterCount(); ++i) {
        CBaseChannelFilter* f = ChannelFilter(i);
        if (f == nullptr) continue;
        f->Restart();
        static_cast<CStretchChannelFilter*>(f)->Rebuild();
    }
}

HRESULT CStretchFilter::OnReset() {
    RestartChannels();
    return S_OK;
}

HRESULT CStretchFilter::OnSeek() {
    RestartChannels();
    return S_OK;
}

HRESULT CStretchFilter::OnBlockFormat() {
    if (m_bFirstBlock && !m_bPerChannel && ChannelFilter(0) != nullptr) {
        static_cast<CStretchChannelFilter*>(ChannelFilter(0))->FollowChannelCount();
    }
    return S_OK;
}

HRESULT CStretchFilter::LoadParams() {
    const HRESULT hr = CBaseFilter::LoadParams();
    FollowFactors();
    return hr;
}

HRESULT CStretchFilter::BuildChannelFilters() {
    const HRESULT hr = CBaseFilter::BuildChannelFilters();
    FollowFactors();
    return hr;
}

void CStretchFilter::FollowFactors() {
    // A "Rate" that said otherwise would end the reads before the input's end (a rate below the
    // true one) or pad it with silence, and misplace every time after the interval.
    if (const CBaseChannelFilter* f = ChannelFilter(0)) {
        m_rate = static_cast<const CStretchChannelFilter*>(f)->LengthFactor();
    } else {
        m_rate = CStretchChannelFilter::LengthFactorOf(this);
    }
}
