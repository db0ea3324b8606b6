// The host's audio format object: interleaved signed 16-bit PCM of some channels and rate, with a
// speaker mask. The runtime carries no other sample format.
#pragma once

#include "platform/win32.h"
#include "corvane/corvane.h"
#include "host/com_object.h"

#include <mutex>

namespace corvane::host {

// A format that an object cannot deliver or accept: HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED).
constexpr HRESULT kFormatNotSupported = _HR(0x80070032);

// The values an audio format holds. Sizes: channels 1 .. 32767 (block align fits 16 bits),
// rate 1 .. 0x7FFFFFFF with rate x block align below 2^32.
struct AudioFormatValues {
    LONG sampleFormat = kSampleFormatPcm16;
    WORD channels = 2;
    DWORD rate = 44100;
    UINT64 layout = 0x3;

    WORD BlockAlign() const { return static_cast<WORD>(channels * 2u); }
    bool Valid() const;
    bool operator==(const AudioFormatValues& o) const {
        return sampleFormat == o.sampleFormat && channels == o.channels && rate == o.rate &&
               layout == o.layout;
    }
    bool operator!=(const AudioFormatValues& o) const { return !(*this == o); }
    // Same bytes per frame and frames per second: audio of one can be joined to audio of the
    // other (the speaker mask only names the channels).
    bool SameStream(const AudioFormatValues& o) const {
        return sampleFormat == o.sampleFormat && channels == o.channels && rate == o.rate;
    }
};

// Speaker mask that a stream of `channels` channels has when nobody says otherwise (front left and
// right for two, front centre for one, the usual surround sets up to eight, none above).
UINT64 DefaultChannelLayout(int channels);

// Bytes <-> milliseconds at a format: trunc(rate x ms / 1000 + 0.0001) whole frames.
int64_t FramesForMs(DWORD rate, double ms);
double MsForBytes(const AudioFormatValues& f, int64_t bytes);

// Reads the values of any object answering IAudioFormat (ours or another implementation's).
// E_NOINTERFACE when it answers none, E_INVALIDARG when its values are not 16-bit PCM or out of
// range.
HRESULT ReadAudioFormat(IUnknown* format, AudioFormatValues* out);

class CAudioFormat : public ComObject<IAudioFormat> {
public:
    explicit CAudioFormat(const AudioFormatValues& v = AudioFormatValues()) : values_(v) {}
    AudioFormatValues Values() const;

    STDMETHODIMP GetSampleFormat(LONG* pFormat) override;
    STDMETHODIMP GetChannels(LONG* pChannels) override;
    STDMETHODIMP GetSampleRate(LONG* pRate) override;
    STDMETHODIMP GetBlockAlign(LONG* pBytes) override;
    STDMETHODIMP GetBitsPerSample(LONG* pBits) override;
    STDMETHODIMP Clone(IAudioFormat** ppCopy) override;
    STDMETHODIMP IsEqual(IAudioFormat* pOther, VARIANT_BOOL* pEqual) override;
    STDMETHODIMP PutSampleFormat(LONG Format) override;
    STDMETHODIMP GetWaveFormat(WAVEFORMATEX* pFormat, LONG Flags) override;
    STDMETHODIMP PutWaveFormat(const WAVEFORMATEX* pFormat, LONG Flags) override;
    STDMETHODIMP GetChannelLayout(UINT64* pLayout) override;
    STDMETHODIMP PutChannelLayout(UINT64 Layout) override;
    STDMETHODIMP PutChannels(LONG Channels) override;
    STDMETHODIMP PutSampleRate(LONG Rate) override;

    STDMETHODIMP Reserved10() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved11() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved12() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved13() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved14() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved15() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved16() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved17() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved18() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved24() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved26() override { return E_NOTIMPL; }

private:
    mutable std::mutex lock_;
    AudioFormatValues values_;
};

// A new format object holding v (E_INVALIDARG when v is not valid).
HRESULT CreateAudioFormat(const AudioFormatValues& v, IAudioFormat** out);
// The same, handed out as IUnknown for the getters that answer a format that way.
HRESULT CreateAudioFormat(const AudioFormatValues& v, IUnknown** out);

}  // namespace corvane::host
