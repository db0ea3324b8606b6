#include "host/audio_format.h"

#include <cstring>
#include <cmath>

namespace corvane::host {

namespace {

constexpr WORD kWaveFormatExtensible = 0xFFFE;
constexpr WORD kExtensibleExtraBytes = 22;
// Sub-format of integer PCM in an extensible wave-format record.
constexpr GUID kSubtypePcm = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

}  // namespace

bool AudioFormatValues::Valid() const {
    if (sampleFormat != kSampleFormatPcm16) return false;
    if (channels < 1 || channels > 32767) return false;
    if (rate < 1 || rate > 0x7FFFFFFFu) return false;
    return static_cast<uint64_t>(rate) * BlockAlign() <= 0xFFFFFFFFull;
}

UINT64 DefaultChannelLayout(int channels) {
    switch (channels) {
        case 1:
            return 0x4;
        case 2:
            return 0x3;
        case 3:
            return 0xB;
        case 4:
            return 0xF;
        case 5:
            return 0x10F;
        case 6:
            return 0x60F;
        case 7:
            return 0x70F;
        case 8:
            return 0x63F;
        default:
            return 0;
    }
}

int64_t FramesForMs(DWORD rate, double ms) {
    if (!(ms > 0.0)) return 0;
    double frames = std::trunc(static_cast<double>(rate) * ms / 1000.0 + 0.0001);
    // Far beyond any stream; keeps the conversion to an integer defined.
    if (frames > 4.0e18) return static_cast<int64_t>(4.0e18);
    return static_cast<int64_t>(frames);
}

double MsForBytes(const AudioFormatValues& f, int64_t bytes) {
    return static_cast<double>(bytes) * 1000.0 /
           (static_cast<double>(f.BlockAlign()) * static_cast<double>(f.rate));
}

HRESULT ReadAudioFormat(IUnknown* format, AudioFormatValues* out) {
    if (!format || !out) return E_POINTER;
    IAudioFormat* f = nullptr;
    HRESULT hr = format->QueryInterface(IID_IAudioFormat, reinterpret_cast<void**>(&f));
    if (FAILED(hr) || !f) return E_NOINTERFACE;
    AudioFormatValues v;
    LONG sampleFormat = 0;
    // A record as large as a caller must provide: another implementation may write all of it.
    alignas(8) BYTE record[kWaveFormatRecordSize] = {};
    auto* wfx = reinterpret_cast<WAVEFORMATEX*>(record);
    UINT64 layout = 0;
    hr = f->GetSampleFormat(&sampleFormat);
    if (SUCCEEDED(hr)) hr = f->GetWaveFormat(wfx, 0);
    if (SUCCEEDED(hr)) hr = f->GetChannelLayout(&layout);
    f->Release();
    if (FAILED(hr)) return hr;
    v.sampleFormat = sampleFormat;
    v.channels = wfx->nChannels;
    v.rate = wfx->nSamplesPerSec;
    v.layout = layout;
    if (!v.Valid() || wfx->wBitsPerSample != 16 || wfx->nBlockAlign != v.BlockAlign())
        return E_INVALIDARG;
    *out = v;
    return S_OK;
}

AudioFormatValues CAudioFormat::Values() const {
    std::lock_guard<std::mutex> g(lock_);
    return values_;
}

STDMETHODIMP CAudioFormat::GetSampleFormat(LONG* pFormat) {
    if (!pFormat) return E_POINTER;
    *pFormat = Values().sampleFormat;
    return S_OK;
}

STDMETHODIMP CAudioFormat::GetChannels(LONG* pChannels) {
    if (!pChannels) return E_POINTER;
    *pChannels = Values().channels;
    return S_OK;
}

STDMETHODIMP CAudioFormat::GetSampleRate(LONG* pRate) {
    if (!pRate) return E_POINTER;
    *pRate = static_cast<LONG>(Values().rate);
    return S_OK;
}

STDMETHODIMP CAudioFormat::GetBlockAlign(LONG* pBytes) {
    if (!pBytes) return E_POINTER;
    *pBytes = Values().BlockAlign();
    return S_OK;
}

STDMETHODIMP CAudioFormat::GetBitsPerSample(LONG* pBits) {
    if (!pBits) return E_POINTER;
    *pBits = 16;
    return S_OK;
}

STDMETHODIMP CAudioFormat::Clone(IAudioFormat** ppCopy) {
    return CreateAudioFormat(Values(), ppCopy);
}

STDMETHODIMP CAudioFormat::IsEqual(IAudioFormat* pOther, VARIANT_BOOL* pEqual) {
    if (!pOther || !pEqual) return E_POINTER;
    AudioFormatValues other;
    HRESULT hr = ReadAudioFormat(pOther, &other);
    // A format this runtime cannot carry is simply not equal to one it can.
    if (hr == E_INVALIDARG) {
        *pEqual = VARIANT_FALSE;
        return S_OK;
    }
    if (FAILED(hr)) return hr;
    *pEqual = other == Values() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP CAudioFormat::PutSampleFormat(LONG Format) {
    if (Format != kSampleFormatPcm16) return E_INVALIDARG;
    std::lock_guard<std::mutex> g(lock_);
    values_.sampleFormat = Format;
    return S_OK;
}

STDMETHODIMP CAudioFormat::GetWaveFormat(WAVEFORMATEX* pFormat, LONG Flags) {
    if (!pFormat) return E_POINTER;
    if (Flags != 0) return E_INVALIDARG;
    AudioFormatValues v = Values();
    // Plain PCM: the 18-byte record and no extra bytes, well inside the caller's record.
    WAVEFORMATEX w{};
    w.wFormatTag = WAVE_FORMAT_PCM;
    w.nChannels = v.channels;
    w.nSamplesPerSec = v.rate;
    w.nBlockAlign = v.BlockAlign();
    w.nAvgBytesPerSec = v.rate * v.BlockAlign();
    w.wBitsPerSample = 16;
    w.cbSize = 0;
    std::memcpy(pFormat, &w, sizeof(w));
    return S_OK;
}

STDMETHODIMP CAudioFormat::PutWaveFormat(const WAVEFORMATEX* pFormat, LONG Flags) {
    if (!pFormat) return E_POINTER;
    if (Flags != 0) return E_INVALIDARG;
    WAVEFORMATEX w;
    std::memcpy(&w, pFormat, sizeof(w));
    AudioFormatValues v;
    v.channels = w.nChannels;
    v.rate = w.nSamplesPerSec;
    v.layout = DefaultChannelLayout(w.nChannels);
    if (w.wFormatTag == kWaveFormatExtensible) {
        if (w.cbSize < kExtensibleExtraBytes ||
            sizeof(WAVEFORMATEX) + w.cbSize > kWaveFormatRecordSize) {
            return E_INVALIDARG;
        }
        const BYTE* extra = reinterpret_cast<const BYTE*>(pFormat) + sizeof(WAVEFORMATEX);
        DWORD mask;
        GUID sub;
        std::memcpy(&mask, extra + 2, sizeof(mask));
        std::memcpy(&sub, extra + 6, sizeof(sub));
        if (!IsEqualGUID(sub, kSubtypePcm)) return E_INVALIDARG;
        v.layout = mask;
    } else if (w.wFormatTag != WAVE_FORMAT_PCM) {
        return E_INVALIDARG;
    }
    if (w.wBitsPerSample != 16 || !v.Valid() || w.nBlockAlign != v.BlockAlign())
        return E_INVALIDARG;
    std::lock_guard<std::mutex> g(lock_);
    values_ = v;
    return S_OK;
}

STDMETHODIMP CAudioFormat::GetChannelLayout(UINT64* pLayout) {
    if (!pLayout) return E_POINTER;
    *pLayout = Values().layout;
    return S_OK;
}

STDMETHODIMP CAudioFormat::PutChannelLayout(UINT64 Layout) {
    std::lock_guard<std::mutex> g(lock_);
    values_.layout = Layout;
    return S_OK;
}

STDMETHODIMP CAudioFormat::PutChannels(LONG Channels) {
    std::lock_guard<std::mutex> g(lock_);
    AudioFormatValues v = values_;
    if (Channels < 1 || Channels > 32767) return E_INVALIDARG;
    v.channels = static_cast<WORD>(Channels);
    // A mask for another channel count would misname the channels; the caller sets its own after.
    if (v.channels != values_.channels) v.layout = DefaultChannelLayout(Channels);
    if (!v.Valid()) return E_INVALIDARG;
    values_ = v;
    return S_OK;
}

STDMETHODIMP CAudioFormat::PutSampleRate(LONG Rate) {
    std::lock_guard<std::mutex> g(lock_);
    AudioFormatValues v = values_;
    if (Rate < 1) return E_INVALIDARG;
    v.rate = static_cast<DWORD>(Rate);
    if (!v.Valid()) return E_INVALIDARG;
    values_ = v;
    return S_OK;
}

template <class I>
static HRESULT NewFormatObject(const AudioFormatValues& v, I** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!v.Valid()) return E_INVALIDARG;
    return CreateObject<CAudioFormat>(out, v);
}

HRESULT CreateAudioFormat(const AudioFormatValues& v, IAudioFormat** out) {
    return NewFormatObject(v, out);
}
HRESULT CreateAudioFormat(const AudioFormatValues& v, IUnknown** out) {
    return NewFormatObject(v, out);
}

}  // namespace corvane::host
