#include "host/audio_helper.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace corvane::host {

void ByteFifo::Push(const BYTE* src, size_t bytes) {
    if (bytes == 0) return;
    Segment s;
    s.bytes.assign(src, src + bytes);
    segments_.push_back(std::move(s));
    size_ += bytes;
}

void ByteFifo::Pop(BYTE* dst, size_t bytes) {
    if (bytes > size_) bytes = size_;
    while (bytes > 0) {
        Segment& s = segments_.front();
        size_t n = std::min(bytes, s.bytes.size() - s.offset);
        std::memcpy(dst, s.bytes.data() + s.offset, n);
        dst += n;
        s.offset += n;
        size_ -= n;
        bytes -= n;
        if (s.offset == s.bytes.size()) segments_.pop_front();
    }
}

void ByteFifo::Clear() {
    segments_.clear();
    size_ = 0;
}

CAudioBlock* CAudioHelper::NewBlock(const AudioFormatValues& format) {
    return new CAudioBlock(format);
}

STDMETHODIMP CAudioHelper::GetFormat(IUnknown** ppFormat) {
    if (!ppFormat) return E_POINTER;
    *ppFormat = nullptr;
    std::optional<AudioFormatValues> f;
    {
        std::lock_guard<std::mutex> g(lock_);
        f = format_;
    }
    if (!f) return S_FALSE;
    return CreateAudioFormat(*f, ppFormat);
}

STDMETHODIMP CAudioHelper::PutFormat(IAudioFormat* pFormat) {
    AudioFormatValues v;
    HRESULT hr = ReadAudioFormat(pFormat, &v);
    if (FAILED(hr)) return hr;
    std::lock_guard<std::mutex> g(lock_);
    // Bytes of another format would be reinterpreted: refuse while audio is held.
    if (fifo_.Size() > 0 && format_ && !format_->SameStream(v)) return E_INVALIDARG;
    format_ = v;
    formatPut_ = true;
    return S_OK;
}

STDMETHODIMP CAudioHelper::GetLength(LONG* pBytes) {
    if (!pBytes) return E_POINTER;
    std::lock_guard<std::mutex> g(lock_);
    size_t n = fifo_.Size();
    *pBytes = n > static_cast<size_t>(std::numeric_limits<LONG>::max())
                  ? std::numeric_limits<LONG>::max()
                  : static_cast<LONG>(n);
    return S_OK;
}

STDMETHODIMP CAudioHelper::GetBlockCount(LONG* pCount) {
    if (!pCount) return E_POINTER;
    std::lock_guard<std::mutex> g(lock_);
    *pCount = static_cast<LONG>(fifo_.Segments());
    return S_OK;
}

STDMETHODIMP CAudioHelper::GetDuration(double* pDuration) {
    if (!pDuration) return E_POINTER;
    std::lock_guard<std::mutex> g(lock_);
    *pDuration = format_ ? MsForBytes(*format_, static_cast<int64_t>(fifo_.Size())) : 0.0;
    return S_OK;
}

HRESULT CAudioHelper::Take(double duration, CAudioBlock** out) {
    *out = nullptr;
    if (std::isnan(duration) || duration < 0.0) return E_INVALIDARG;
    std::lock_guard<std::mutex> g(lock_);
    if (fifo_.Size() == 0) return S_FALSE;
    const AudioFormatValues f = *format_;
    const int64_t align = f.BlockAlign();
    int64_t want = FramesForMs(f.rate, duration);
    // A positive duration shorter than a frame takes one frame, as a source's read does: a
    // reader asking for the fraction of a frame left at the end must still get to the end.
    if (want == 0 && duration > 0.0) want = 1;
    // Whole frames that a LONG length can carry.
    const int64_t maxFrames = std::numeric_limits<LONG>::max() / align;
    if (want > maxFrames) want = maxFrames;
    int64_t bytes = want * align;
    if (bytes > static_cast<int64_t>(fifo_.Size())) {
        bytes = std::min<int64_t>(static_cast<int64_t>(fifo_.Size()), maxFrames * align);
    }
    return CallGuarded([&]() -> HRESULT {
        std::vector<BYTE> data(static_cast<size_t>(bytes));
        CAudioBlock* b = NewBlock(f);
        fifo_.Pop(data.data(), data.size());
        double ms = MsForBytes(f, bytes);
        b->Assign(std::move(data), frontTime_, ms);
        frontTime_ += ms;
        *out = b;
        return S_OK;
    });
}

STDMETHODIMP CAudioHelper::TakeAudio(LONG Flags, double Duration, IUnknown** ppBlock) {
    if (!ppBlock) return E_POINTER;
    *ppBlock = nullptr;
    if (Flags != 0) return E_INVALIDARG;
    CAudioBlock* b = nullptr;
    HRESULT hr = Take(Duration, &b);
    if (b) *ppBlock = b->Unknown();
    return hr;
}

STDMETHODIMP CAudioHelper::TakeBlock(double Duration, IAudioData** ppBlock) {
    if (!ppBlock) return E_POINTER;
    *ppBlock = nullptr;
    CAudioBlock* b = nullptr;
    HRESULT hr = Take(Duration, &b);
    if (b) *ppBlock = static_cast<IAudioData*>(b);
    return hr;
}

STDMETHODIMP CAudioHelper::Append(LONG Flags, IUnknown* pBlock) {
    if (!pBlock) return E_POINTER;
    if (Flags != 0) return E_INVALIDARG;
    IAudioData* data = nullptr;
    if (FAILED(pBlock->QueryInterface(IID_IAudioData, reinterpret_cast<void**>(&data))) || !data) {
        return E_NOINTERFACE;
    }
    BYTE* bytes = nullptr;
    LONG length = 0;
    double time = 0.0;
    AudioFormatValues f;
    bool hasFormat = false;
    HRESULT hr = data->GetBufferAndLength(kBufferRead, 0, &bytes, &length);
    if (SUCCEEDED(hr) && length > 0 && !bytes) hr = E_POINTER;
    if (SUCCEEDED(hr) && length < 0) hr = E_INVALIDARG;
    if (SUCCEEDED(hr)) {
        IUnknown* fmt = nullptr;
        if (SUCCEEDED(data->GetFormat(&fmt)) && fmt) {
            hr = ReadAudioFormat(fmt, &f);
            hasFormat = SUCCEEDED(hr);
            fmt->Release();
        }
        if (SUCCEEDED(hr) && FAILED(data->GetTime(&time))) time = 0.0;
    }
    if (FAILED(hr)) {
        data->Release();
        return hr;
    }
    hr = CallGuarded([&]() -> HRESULT {
        std::lock_guard<std::mutex> g(lock_);
        if (!format_ && !hasFormat) return E_INVALIDARG;
        if (format_ && hasFormat && !format_->SameStream(f)) return E_INVALIDARG;
        if (fifo_.Size() == 0) frontTime_ = time;
        fifo_.Push(bytes, static_cast<size_t>(length));
        if (!format_) format_ = f;
        return S_OK;
    });
    data->Release();
    return hr;
}

STDMETHODIMP CAudioHelper::Reset(LONG Flags) {
    if (Flags != 0) return E_INVALIDARG;
    std::lock_guard<std::mutex> g(lock_);
    fifo_.Clear();
    if (!formatPut_) format_.reset();
    frontTime_ = 0.0;
    return S_OK;
}

}  // namespace corvane::host
