#include "host/audio_block.h"

#include <cmath>
#include <cstring>

namespace corvane::host {

namespace {

bool AccessValid(LONG access) {
    return access >= kBufferRead && access <= kBufferReadWrite;
}

// Offset and byte count inside [0, length], computed without overflow.
bool RangeValid(LONG offset, LONG bytes, LONG length) {
    return offset >= 0 && bytes >= 0 && static_cast<int64_t>(offset) + bytes <= length;
}

}  // namespace

void CAudioBlock::Assign(std::vector<BYTE> bytes, double timeMs, double durationMs) {
    data_ = std::move(bytes);
    data_.reserve(16);
    length_ = static_cast<LONG>(data_.size());
    time_ = timeMs;
    duration_ = durationMs;
}

IUnknown* CAudioBlock::FindInterface(REFIID riid) {
    if (IsEqualIID(riid, IID_IAudioData)) return static_cast<IAudioData*>(this);
    return ComObject::FindInterface(riid);
}

CAudioBlock* CAudioBlock::NewBlock(const AudioFormatValues& format) {
    return new CAudioBlock(format);
}

STDMETHODIMP CAudioBlock::GetFlags(LONG* pFlags) {
    if (!pFlags) return E_POINTER;
    *pFlags = flags_;
    return S_OK;
}

STDMETHODIMP CAudioBlock::PutFlags(LONG Flags) {
    if (Flags & ~(kBlockStartMark | kBlockEndMark)) return E_INVALIDARG;
    flags_ = Flags;
    return S_OK;
}

STDMETHODIMP CAudioBlock::CreateBlock(LONG Mode, IUnknown** ppBlock) {
    if (!ppBlock) return E_POINTER;
    *ppBlock = nullptr;
    if (Mode != 2) return E_INVALIDARG;
    return CallGuarded([&]() -> HRESULT {
        CAudioBlock* b = NewBlock(format_);
        b->time_ = time_;
        b->duration_ = duration_;
        *ppBlock = b->Unknown();
        return S_OK;
    });
}

STDMETHODIMP CAudioBlock::SetLength(LONG Bytes, LONG Fill) {
    if (Bytes < 0 || (Fill != -1 && Fill != 0)) return E_INVALIDARG;
    return CallGuarded([&]() -> HRESULT {
        if (static_cast<size_t>(Bytes) > data_.size()) data_.resize(static_cast<size_t>(Bytes));
        if (Fill == -1) {
            std::memset(data_.data(), 0, static_cast<size_t>(Bytes));
        } else if (Bytes > length_) {
            // Bytes beyond the old length are silence, never stale content.
            std::memset(data_.data() + length_, 0, static_cast<size_t>(Bytes - length_));
        }
        length_ = Bytes;
        return S_OK;
    });
}

STDMETHODIMP CAudioBlock::Write(LONG Offset, const BYTE* pSrc, LONG Bytes) {
    if (!RangeValid(Offset, Bytes, length_)) return E_INVALIDARG;
    if (Bytes == 0) return S_OK;
    if (!pSrc) return E_POINTER;
    std::memmove(data_.data() + Offset, pSrc, static_cast<size_t>(Bytes));
    return S_OK;
}

STDMETHODIMP CAudioBlock::Read(BYTE* pDst, LONG Offset, LONG Bytes) {
    if (!RangeValid(Offset, Bytes, length_)) return E_INVALIDARG;
    if (Bytes == 0) return S_OK;
    if (!pDst) return E_POINTER;
    std::memmove(pDst, data_.data() + Offset, static_cast<size_t>(Bytes));
    return S_OK;
}

STDMETHODIMP CAudioBlock::GetCapacity(LONG* pBytes) {
    if (!pBytes) return E_POINTER;
    *pBytes = static_cast<LONG>(data_.size());
    return S_OK;
}

STDMETHODIMP CAudioBlock::GetBuffer(LONG Access, LONG Reserved, BYTE** ppBuffer) {
    if (!ppBuffer) return E_POINTER;
    if (!AccessValid(Access) || Reserved != 0) return E_INVALIDARG;
    *ppBuffer = data_.data();
    return S_OK;
}

STDMETHODIMP CAudioBlock::GetBufferAndLength(LONG Access, LONG Reserved, BYTE** ppBuffer,
                                             LONG* pLength) {
    if (!ppBuffer || !pLength) return E_POINTER;
    if (!AccessValid(Access) || Reserved != 0) return E_INVALIDARG;
    *ppBuffer = data_.data();
    *pLength = length_;
    return S_OK;
}

STDMETHODIMP CAudioBlock::GetLength(LONG* pBytes) {
    if (!pBytes) return E_POINTER;
    *pBytes = length_;
    return S_OK;
}

STDMETHODIMP CAudioBlock::SetDataLength(LONG Bytes) {
    if (Bytes < 0 || static_cast<size_t>(Bytes) > data_.size()) return E_INVALIDARG;
    length_ = Bytes;
    return S_OK;
}

STDMETHODIMP CAudioBlock::GetFrameCount(LONG* pFrames) {
    if (!pFrames) return E_POINTER;
    *pFrames = length_ / format_.BlockAlign();
    return S_OK;
}

STDMETHODIMP CAudioBlock::GetFormat(IUnknown** ppFormat) {
    return CreateAudioFormat(format_, ppFormat);
}

STDMETHODIMP CAudioBlock::PutFormat(IAudioFormat* pFormat) {
    AudioFormatValues v;
    HRESULT hr = ReadAudioFormat(pFormat, &v);
    if (FAILED(hr)) return hr;
    format_ = v;
    return S_OK;
}

STDMETHODIMP CAudioBlock::MarkStart(LONG Flags) {
    flags_ = Flags != 0 ? (flags_ | kBlockStartMark) : (flags_ & ~kBlockStartMark);
    return S_OK;
}

STDMETHODIMP CAudioBlock::MarkEnd(LONG Flags) {
    flags_ = Flags != 0 ? (flags_ | kBlockEndMark) : (flags_ & ~kBlockEndMark);
    return S_OK;
}

STDMETHODIMP CAudioBlock::IsStart(VARIANT_BOOL* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = (flags_ & kBlockStartMark) ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP CAudioBlock::IsEnd(VARIANT_BOOL* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = (flags_ & kBlockEndMark) ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP CAudioBlock::GetTime(double* pTime) {
    if (!pTime) return E_POINTER;
    *pTime = time_;
    return S_OK;
}

STDMETHODIMP CAudioBlock::PutTime(double Time) {
    if (!std::isfinite(Time)) return E_INVALIDARG;
    time_ = Time;
    return S_OK;
}

STDMETHODIMP CAudioBlock::GetDuration(double* pDuration) {
    if (!pDuration) return E_POINTER;
    *pDuration = duration_;
    return S_OK;
}

STDMETHODIMP CAudioBlock::PutDuration(double Duration) {
    if (!std::isfinite(Duration) || Duration < 0.0) return E_INVALIDARG;
    duration_ = Duration;
    return S_OK;
}

HRESULT CreateAudioBlock(const AudioFormatValues& format, LONG length, IAudioData** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!format.Valid() || length < 0) return E_INVALIDARG;
    return CallGuarded([&]() -> HRESULT {
        CAudioBlock* b = new CAudioBlock(format);
        HRESULT hr = b->SetLength(length, -1);
        if (SUCCEEDED(hr)) hr = b->QueryInterface(IID_IAudioData, reinterpret_cast<void**>(out));
        b->Release();
        return hr;
    });
}

}  // namespace corvane::host
