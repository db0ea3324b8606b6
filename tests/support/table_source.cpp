#include "tests/support/table_source.h"

#include <algorithm>

namespace corvane::testing {

namespace {

// Reports a fixed wave format whatever it holds.
class OddFormat : public host::CAudioFormat {
public:
    explicit OddFormat(const WAVEFORMATEX& wfx) : m_wfx(wfx) {}
    STDMETHODIMP GetWaveFormat(WAVEFORMATEX* p, LONG) override {
        if (!p) return E_POINTER;
        *p = m_wfx;
        return S_OK;
    }

private:
    WAVEFORMATEX m_wfx;
};

class OddBlock : public RecordingAudioBlock {
public:
    OddBlock(std::shared_ptr<DoublesState> s, const AudioFormatValues& f, const WAVEFORMATEX& wfx)
        : RecordingAudioBlock(std::move(s), f), m_wfx(wfx) {}
    STDMETHODIMP GetFormat(IUnknown** p) override {
        if (!p) return E_POINTER;
        *p = (new OddFormat(m_wfx))->Unknown();
        return S_OK;
    }

private:
    WAVEFORMATEX m_wfx;
};

}  // namespace

int64_t TableSourceBase::TotalFramesLocked() const {
    return static_cast<int64_t>(m_samples.size()) / m_format.channels;
}

HRESULT TableSourceBase::ReadFramesLocked(int64_t first, int64_t frames, int16_t* dst,
                                          int64_t* got) {
    const int64_t available = std::max<int64_t>(0, std::min(frames, TotalFramesLocked() - first));
    std::copy_n(m_samples.begin() + first * m_format.channels, available * m_format.channels, dst);
    *got = available;
    return S_OK;
}

host::CAudioBlock* TableSource::NewBlock(const AudioFormatValues& f) {
    if (m_odd) return new OddBlock(State(), f, m_wfx);
    return RecordingSourceT::NewBlock(f);
}

STDMETHODIMP TableSource::ReadAudio(LONG Stream, LONG Flags, double Duration, IUnknown** p) {
    const int read = m_reads++;
    if (m_endAfter >= 0 && read >= m_endAfter) {
        if (p) *p = nullptr;
        if (m_endWithBlock) (void)RecordingSourceT::ReadAudio(Stream, Flags, Duration, p);
        return m_endAnswer;
    }
    if (m_emptyAfter < 0 || read < m_emptyAfter)
        return RecordingSourceT::ReadAudio(Stream, Flags, Duration, p);
    if (!p) return E_POINTER;
    *p = read < m_emptyAfter + 1000 ? (new RecordingAudioBlock(State(), m_format))->Unknown()
                                    : nullptr;
    return S_OK;
}

std::vector<int16_t> VariedSamples(int64_t frames, int channels) {
    std::vector<int16_t> s(static_cast<size_t>(frames * channels));
    uint32_t x = 0x2545F491u;
    for (int16_t& v : s) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        v = static_cast<int16_t>(x & 0xFFFF);
    }
    return s;
}

std::vector<int16_t> SamplesOf(IUnknown* block) {
    ComPtr<IAudioData> data;
    if (!block || FAILED(block->QueryInterface(IID_IAudioData, data.Out()))) return {};
    BYTE* bytes = nullptr;
    LONG len = 0;
    if (FAILED(data->GetBufferAndLength(kBufferRead, 0, &bytes, &len)) || !bytes) return {};
    const int16_t* s = reinterpret_cast<const int16_t*>(bytes);
    return std::vector<int16_t>(s, s + len / 2);
}

LONG LengthOf(IUnknown* block) {
    ComPtr<IAudioData> data;
    LONG len = -1;
    if (block && SUCCEEDED(block->QueryInterface(IID_IAudioData, data.Out())))
        data->GetLength(&len);
    return len;
}

double DurationOf(IUnknown* block) {
    ComPtr<IAudioData> data;
    double d = -1.0;
    if (block && SUCCEEDED(block->QueryInterface(IID_IAudioData, data.Out())))
        data->GetDuration(&d);
    return d;
}

}  // namespace corvane::testing
