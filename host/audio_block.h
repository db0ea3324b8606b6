// The host's audio block: interleaved 16-bit PCM bytes with a format, a stream time, a duration
// and start/end marks. One object answers IAudioData and IAudioBuffer (one layout, one pointer).
#pragma once

#include "platform/win32.h"
#include "corvane/corvane.h"
#include "host/audio_format.h"
#include "host/com_object.h"

#include <vector>

namespace corvane::host {

// Bits of IAudioData::GetFlags / PutFlags.
constexpr LONG kBlockStartMark = 0x1;
constexpr LONG kBlockEndMark = 0x2;

// Not locked: a block belongs to one reader at a time, and GetBuffer hands out its bytes anyway.
class CAudioBlock : public ComObject<IAudioBuffer> {
public:
    explicit CAudioBlock(const AudioFormatValues& format = AudioFormatValues()) : format_(format) {
        data_.reserve(16);  // GetBuffer never answers a null pointer, even for an empty block
    }

    // Host-side access without COM: the bytes in use and the format.
    const BYTE* Bytes() const { return data_.data(); }
    LONG Length() const { return length_; }
    const AudioFormatValues& Format() const { return format_; }
    // Replaces the contents with bytes (length and capacity become bytes.size(), which must fit
    // LONG) and sets time and duration (ms).
    void Assign(std::vector<BYTE> bytes, double timeMs, double durationMs);

    STDMETHODIMP GetFlags(LONG* pFlags) override;
    STDMETHODIMP PutFlags(LONG Flags) override;
    STDMETHODIMP CreateBlock(LONG Mode, IUnknown** ppBlock) override;
    STDMETHODIMP SetLength(LONG Bytes, LONG Fill) override;
    STDMETHODIMP Write(LONG Offset, const BYTE* pSrc, LONG Bytes) override;
    STDMETHODIMP Read(BYTE* pDst, LONG Offset, LONG Bytes) override;
    STDMETHODIMP GetCapacity(LONG* pBytes) override;
    STDMETHODIMP GetBuffer(LONG Access, LONG Reserved, BYTE** ppBuffer) override;
    STDMETHODIMP GetBufferAndLength(LONG Access, LONG Reserved, BYTE** ppBuffer,
                                    LONG* pLength) override;
    STDMETHODIMP GetLength(LONG* pBytes) override;
    STDMETHODIMP SetDataLength(LONG Bytes) override;
    STDMETHODIMP GetFrameCount(LONG* pFrames) override;
    STDMETHODIMP GetFormat(IUnknown** ppFormat) override;
    STDMETHODIMP PutFormat(IAudioFormat* pFormat) override;
    STDMETHODIMP MarkStart(LONG Flags) override;
    STDMETHODIMP MarkEnd(LONG Flags) override;
    STDMETHODIMP IsStart(VARIANT_BOOL* pVal) override;
    STDMETHODIMP IsEnd(VARIANT_BOOL* pVal) override;
    STDMETHODIMP GetTime(double* pTime) override;
    STDMETHODIMP PutTime(double Time) override;
    STDMETHODIMP GetDuration(double* pDuration) override;
    STDMETHODIMP PutDuration(double Duration) override;

    STDMETHODIMP Reserved12() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved13() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved17() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved18() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved19() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved20() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved21() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved22() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved25() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved30() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved33() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved34() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved35() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved36() override { return E_NOTIMPL; }

protected:
    IUnknown* FindInterface(REFIID riid) override;
    // The object CreateBlock hands out: a new block of this object's class (test doubles
    // override it so that derived blocks are recorded as well). One reference, owned by the caller.
    virtual CAudioBlock* NewBlock(const AudioFormatValues& format);

private:
    std::vector<BYTE> data_;  // size() is the capacity
    LONG length_ = 0;         // bytes in use, <= data_.size()
    AudioFormatValues format_;
    LONG flags_ = 0;
    double time_ = 0.0;      // ms
    double duration_ = 0.0;  // ms
};

// A new block of format with length bytes of silence, time and duration 0.
HRESULT CreateAudioBlock(const AudioFormatValues& format, LONG length, IAudioData** out);

}  // namespace corvane::host
