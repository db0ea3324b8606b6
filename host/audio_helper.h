// The host's buffering helper: a byte-exact FIFO of audio. Appended blocks are copied in; taken
// blocks are cut from the front in whole frames, across the boundaries of the appended blocks.
#pragma once

#include "platform/win32.h"
#include "corvane/corvane.h"
#include "host/audio_block.h"
#include "host/audio_format.h"
#include "host/com_object.h"

#include <deque>
#include <mutex>
#include <optional>
#include <vector>

namespace corvane::host {

// Bytes in arrival order, kept as the appended segments so that the number of blocks held is known.
class ByteFifo {
public:
    void Push(const BYTE* src, size_t bytes);
    // Moves the first `bytes` bytes (at most Size()) to dst.
    void Pop(BYTE* dst, size_t bytes);
    void Clear();
    size_t Size() const { return size_; }
    size_t Segments() const { return segments_.size(); }

private:
    struct Segment {
        std::vector<BYTE> bytes;
        size_t offset = 0;  // bytes already taken from the front
    };
    std::deque<Segment> segments_;
    size_t size_ = 0;
};

class CAudioHelper : public ComObject<IAudioHelper> {
public:
    STDMETHODIMP GetFormat(IUnknown** ppFormat) override;
    STDMETHODIMP PutFormat(IAudioFormat* pFormat) override;
    STDMETHODIMP GetLength(LONG* pBytes) override;
    STDMETHODIMP GetBlockCount(LONG* pCount) override;
    STDMETHODIMP GetDuration(double* pDuration) override;
    STDMETHODIMP TakeAudio(LONG Flags, double Duration, IUnknown** ppBlock) override;
    STDMETHODIMP Append(LONG Flags, IUnknown* pBlock) override;
    STDMETHODIMP Reset(LONG Flags) override;
    STDMETHODIMP TakeBlock(double Duration, IAudioData** ppBlock) override;

    STDMETHODIMP Reserved8() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved9() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved10() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved14() override { return E_NOTIMPL; }

protected:
    // The object a take hands out (test doubles override it). One reference, owned by the caller.
    virtual CAudioBlock* NewBlock(const AudioFormatValues& format);

private:
    // Cuts Duration ms from the front in whole frames (at least one for any positive duration):
    // S_FALSE and no block when empty.
    HRESULT Take(double duration, CAudioBlock** out);

    std::mutex lock_;
    ByteFifo fifo_;
    // The format of the audio held: put explicitly (kept across Reset) or taken from the first
    // block appended since the last Reset.
    std::optional<AudioFormatValues> format_;
    bool formatPut_ = false;
    double frontTime_ = 0.0;  // stream time of the first byte held, ms
};

}  // namespace corvane::host
