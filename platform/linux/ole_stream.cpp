// Memory streams over global memory blocks.
#include <algorithm>
#include <memory>
#include <mutex>

#include "platform/exceptions.h"
#include "platform/unknown_impl.h"
#include "platform/win32.h"

namespace {

// Answered only by the streams of this file, to find their block again.
CORVANE_DEFINE_GUID(IID_MemoryStreamSelf, 0x6b1f3c52, 0x0e7d, 0x4c39, 0x9a, 0x55, 0x3e, 0x21, 0x7c,
                    0x90, 0xd4, 0x18);

constexpr ULONGLONG kMaxStreamSize = 0xFFFFFFFFull;
constexpr ULONG kCopyChunk = 64 * 1024;

// The block under one stream and its clones. The logical size may be below GlobalSize: writes
// grow the block geometrically so that many small writes stay linear.
class SharedBlock {
public:
    SharedBlock(HGLOBAL global, bool deleteOnRelease, SIZE_T size)
        : global_(global), deleteOnRelease_(deleteOnRelease), size_(size) {}
    ~SharedBlock() {
        if (deleteOnRelease_) GlobalFree(global_);
    }
    SharedBlock(const SharedBlock&) = delete;
    SharedBlock& operator=(const SharedBlock&) = delete;

    HGLOBAL Global() const { return global_; }
    std::mutex& Mutex() { return mutex_; }
    // The rest is called with Mutex() held.
    ULONGLONG Size() const { return size_; }
    // Sets the logical size; growth is zero-filled. exact: shrink or grow the block to fit.
    bool Resize(ULONGLONG size, bool exact) {
        SIZE_T capacity = GlobalSize(global_);
        SIZE_T wanted = static_cast<SIZE_T>(size);
        if (exact ? wanted != capacity : wanted > capacity) {
            SIZE_T grown =
                exact ? wanted
                      : std::max<SIZE_T>(wanted, std::min<SIZE_T>(capacity * 2, kMaxStreamSize));
            if (!GlobalReAlloc(global_, grown, GMEM_MOVEABLE) &&
                (grown == wanted || !GlobalReAlloc(global_, wanted, GMEM_MOVEABLE)))
                return false;
        }
        if (size > size_) {
            BYTE* data = Lock();
            if (!data) return false;
            std::memset(data + size_, 0, static_cast<size_t>(size - size_));
            Unlock();
        }
        size_ = wanted;
        return true;
    }
    BYTE* Lock() { return static_cast<BYTE*>(GlobalLock(global_)); }
    void Unlock() { GlobalUnlock(global_); }

private:
    std::mutex mutex_;
    HGLOBAL global_;
    bool deleteOnRelease_;
    SIZE_T size_;
};

class MemoryStream final : public corvane::UnknownImpl<IStream> {
public:
    MemoryStream(std::shared_ptr<SharedBlock> block, ULONGLONG position)
        : block_(std::move(block)), position_(position) {}

    STDMETHODIMP Read(void* pv, ULONG cb, ULONG* pcbRead) override {
        if (pcbRead) *pcbRead = 0;
        if (!pv) return STG_E_INVALIDPOINTER;
        std::lock_guard<std::mutex> lock(block_->Mutex());
        ULONGLONG size = block_->Size();
        ULONG n =
            position_ >= size ? 0 : static_cast<ULONG>(std::min<ULONGLONG>(cb, size - position_));
        if (n > 0) {
            BYTE* data = block_->Lock();
            if (!data) return E_HANDLE;
            std::memcpy(pv, data + position_, n);
            block_->Unlock();
        }
        position_ += n;
        if (pcbRead) *pcbRead = n;
        return S_OK;
    }

    STDMETHODIMP Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
        if (pcbWritten) *pcbWritten = 0;
        if (!pv) return STG_E_INVALIDPOINTER;
        if (cb == 0) return S_OK;
        std::lock_guard<std::mutex> lock(block_->Mutex());
        ULONGLONG end = position_ + cb;
        if (end > kMaxStreamSize) return STG_E_MEDIUMFULL;
        if (end > block_->Size() && !block_->Resize(end, false)) return STG_E_MEDIUMFULL;
        BYTE* data = block_->Lock();
        if (!data) return E_HANDLE;
        std::memcpy(data + position_, pv, cb);
        block_->Unlock();
        position_ = end;
        if (pcbWritten) *pcbWritten = cb;
        return S_OK;
    }

    STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
        std::lock_guard<std::mutex> lock(block_->Mutex());
        LONGLONG base;
        switch (origin) {
            case STREAM_SEEK_SET:
                base = 0;
                break;
            case STREAM_SEEK_CUR:
                base = static_cast<LONGLONG>(position_);
                break;
            case STREAM_SEEK_END:
                base = static_cast<LONGLONG>(block_->Size());
                break;
            default:
                return STG_E_INVALIDFUNCTION;
        }
        LONGLONG target;
        if (__builtin_add_overflow(base, move.QuadPart, &target) || target < 0 ||
            static_cast<ULONGLONG>(target) > kMaxStreamSize)
            return STG_E_INVALIDFUNCTION;
        position_ = static_cast<ULONGLONG>(target);
        if (newPosition) newPosition->QuadPart = position_;
        return S_OK;
    }

    STDMETHODIMP SetSize(ULARGE_INTEGER size) override {
        if (size.QuadPart > kMaxStreamSize) return STG_E_INVALIDFUNCTION;
        std::lock_guard<std::mutex> lock(block_->Mutex());
        return block_->Resize(size.QuadPart, true) ? S_OK : STG_E_MEDIUMFULL;
    }

    STDMETHODIMP CopyTo(IStream* target, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                        ULARGE_INTEGER* pcbWritten) override {
        if (pcbRead) pcbRead->QuadPart = 0;
        if (pcbWritten) pcbWritten->QuadPart = 0;
        if (!target) return STG_E_INVALIDPOINTER;
        std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[kCopyChunk]);
        if (!buffer) return E_OUTOFMEMORY;
        ULONGLONG left = cb.QuadPart, totalRead = 0, totalWritten = 0;
        HRESULT hr = S_OK;
        // The lock is not held across the target's Write: the target may be a clone.
        while (left > 0) {
            ULONG got = 0, put = 0;
            hr =
                Read(buffer.get(), static_cast<ULONG>(std::min<ULONGLONG>(left, kCopyChunk)), &got);
            if (FAILED(hr) || got == 0) break;
            totalRead += got;
            hr = target->Write(buffer.get(), got, &put);
            totalWritten += put;
            if (FAILED(hr)) break;
            if (put < got) {
                hr = STG_E_MEDIUMFULL;
                break;
            }
            left -= got;
        }
        if (pcbRead) pcbRead->QuadPart = totalRead;
        if (pcbWritten) pcbWritten->QuadPart = totalWritten;
        return hr;
    }

    STDMETHODIMP Commit(DWORD) override { return S_OK; }
    STDMETHODIMP Revert() override { return S_OK; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }

    STDMETHODIMP Stat(STATSTG* stat, DWORD flags) override {
        if (!stat) return STG_E_INVALIDPOINTER;
        if (flags & ~static_cast<DWORD>(STATFLAG_NONAME | STATFLAG_NOOPEN))
            return STG_E_INVALIDFLAG;
        std::memset(stat, 0, sizeof(*stat));
        stat->type = STGTY_STREAM;
        std::lock_guard<std::mutex> lock(block_->Mutex());
        stat->cbSize.QuadPart = block_->Size();
        return S_OK;
    }

    STDMETHODIMP Clone(IStream** out) override {
        if (!out) return STG_E_INVALIDPOINTER;
        std::lock_guard<std::mutex> lock(block_->Mutex());
        *out = new (std::nothrow) MemoryStream(block_, position_);
        return *out ? S_OK : E_OUTOFMEMORY;
    }

    HGLOBAL Global() const { return block_->Global(); }

private:
    ~MemoryStream() override = default;

    // IStream under its base's IID too, and under the private IID by which the layer knows its
    // own streams.
    IUnknown* FindInterface(REFIID riid) override {
        if (IsEqualIID(riid, IID_ISequentialStream) || IsEqualIID(riid, IID_MemoryStreamSelf))
            return static_cast<IStream*>(this);
        return UnknownImpl::FindInterface(riid);
    }

    std::shared_ptr<SharedBlock> block_;
    ULONGLONG position_;  // guarded by the block's mutex
};

}  // namespace

HRESULT CreateStreamOnHGlobal(HGLOBAL hGlobal, BOOL deleteOnRelease, LPSTREAM* ppstm) {
    if (!ppstm) return E_INVALIDARG;
    *ppstm = nullptr;
    HGLOBAL global = hGlobal;
    if (!global) {
        global = GlobalAlloc(GMEM_MOVEABLE, 0);
        if (!global) return E_OUTOFMEMORY;
    } else if (!GlobalLock(global)) {
        return E_INVALIDARG;
    } else {
        GlobalUnlock(global);
    }
    SIZE_T size = GlobalSize(global);
    try {
        auto block = std::make_shared<SharedBlock>(global, deleteOnRelease != FALSE, size);
        *ppstm = new MemoryStream(std::move(block), 0);
        return S_OK;
    } catch (...) {
        if (!hGlobal || deleteOnRelease) GlobalFree(global);
        return corvane::HResultFromCurrentException();
    }
}

HRESULT GetHGlobalFromStream(LPSTREAM pstm, HGLOBAL* phglobal) {
    if (!phglobal) return E_INVALIDARG;
    *phglobal = nullptr;
    if (!pstm) return E_INVALIDARG;
    void* self = nullptr;
    if (FAILED(pstm->QueryInterface(IID_MemoryStreamSelf, &self))) return E_INVALIDARG;
    auto* stream = static_cast<MemoryStream*>(static_cast<IStream*>(self));
    *phglobal = stream->Global();
    stream->Release();
    return S_OK;
}
