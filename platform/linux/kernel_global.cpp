// Global memory: handles to resizable blocks, the storage of memory streams.
#include <cstdlib>
#include <mutex>

#include "platform/linux/kernel_handles.h"
#include "platform/win32.h"

namespace {

using corvane::kernel::Handles;

// The handle's block. data is never NULL (a zero-size block holds one byte), so GlobalLock
// always has an address to give.
struct GlobalBlock : corvane::kernel::KernelObject {
    std::mutex mutex;
    BYTE* data = nullptr;
    SIZE_T size = 0;
    UINT locks = 0;
    ~GlobalBlock() override { std::free(data); }
};

// Moveable and zero-init, plus the obsolete flags that Windows accepts and ignores
// (no-compact, no-discard, discardable, not-banked, share, notify).
constexpr UINT kAllocFlags =
    GMEM_MOVEABLE | GMEM_ZEROINIT | 0x0010 | 0x0020 | 0x0100 | 0x1000 | 0x2000 | 0x4000;
constexpr UINT kMaxLocks = 255;

std::shared_ptr<GlobalBlock> BlockOrFail(HGLOBAL mem) {
    auto block = Handles().Find<GlobalBlock>(mem);
    if (!block) SetLastError(ERROR_INVALID_HANDLE);
    return block;
}

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
    if (flags & ~kAllocFlags) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    try {
        auto block = std::make_shared<GlobalBlock>();
        block->data = static_cast<BYTE*>((flags & GMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1)
                                                                 : std::malloc(bytes ? bytes : 1));
        if (!block->data) throw std::bad_alloc();
        block->size = bytes;
        if (HGLOBAL h = Handles().Insert(std::move(block))) return h;
    } catch (const std::bad_alloc&) {
    }
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

HGLOBAL GlobalReAlloc(HGLOBAL mem, SIZE_T bytes, UINT flags) {
    if (flags & ~(kAllocFlags | GMEM_MODIFY)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto block = BlockOrFail(mem);
    if (!block) return nullptr;
    if (flags & GMEM_MODIFY) return mem;  // attributes only; every block here is moveable
    std::lock_guard<std::mutex> lock(block->mutex);
    auto* data = static_cast<BYTE*>(std::realloc(block->data, bytes ? bytes : 1));
    if (!data) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if ((flags & GMEM_ZEROINIT) && bytes > block->size)
        std::memset(data + block->size, 0, bytes - block->size);
    block->data = data;
    block->size = bytes;
    return mem;
}

HGLOBAL GlobalFree(HGLOBAL mem) {
    if (!mem) return nullptr;
    if (!Handles().Remove<GlobalBlock>(mem)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return mem;
    }
    return nullptr;
}

LPVOID GlobalLock(HGLOBAL mem) {
    auto block = BlockOrFail(mem);
    if (!block) return nullptr;
    std::lock_guard<std::mutex> lock(block->mutex);
    if (block->locks < kMaxLocks) ++block->locks;
    return block->data;
}

BOOL GlobalUnlock(HGLOBAL mem) {
    auto block = BlockOrFail(mem);
    if (!block) return FALSE;
    std::lock_guard<std::mutex> lock(block->mutex);
    if (block->locks == 0) {
        SetLastError(ERROR_NOT_LOCKED);
        return FALSE;
    }
    if (--block->locks == 0) {
        SetLastError(NO_ERROR);
        return FALSE;
    }
    return TRUE;
}

SIZE_T GlobalSize(HGLOBAL mem) {
    auto block = BlockOrFail(mem);
    if (!block) return 0;
    std::lock_guard<std::mutex> lock(block->mutex);
    return block->size;
}
