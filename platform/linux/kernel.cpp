// Last error, locales, the process heap, critical sections and one-time initialisation.
#include "platform/linux/kernel.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

#include "platform/linux/kernel_handles.h"
#include "platform/win32.h"

// ---------------------------------------------------------------------------------------------
// Last error.
namespace {
thread_local DWORD t_lastError = 0;
}

DWORD GetLastError() {
    return t_lastError;
}
void SetLastError(DWORD error) {
    t_lastError = error;
}

// ---------------------------------------------------------------------------------------------
// Aligned blocks.
void* _aligned_malloc(size_t bytes, size_t alignment) {
    if (alignment == 0 || (alignment & (alignment - 1)) != 0) {
        errno = EINVAL;
        return nullptr;
    }
    void* block = nullptr;
    const int failed =
        posix_memalign(&block, std::max(alignment, sizeof(void*)), std::max<size_t>(bytes, 1));
    if (failed != 0) {
        errno = failed;
        return nullptr;
    }
    return block;
}

void _aligned_free(void* block) {
    std::free(block);
}

// ---------------------------------------------------------------------------------------------
// Locales.
namespace {
constexpr LCID kUserLocale = 0x0409;
constexpr LCID kSystemLocale = 0x0409;
thread_local LCID t_threadLocale = kUserLocale;
}  // namespace

LCID GetUserDefaultLCID() {
    return kUserLocale;
}
LCID GetSystemDefaultLCID() {
    return kSystemLocale;
}

LCID ConvertDefaultLocale(LCID locale) {
    switch (locale) {
        case LOCALE_NEUTRAL:
        case LOCALE_USER_DEFAULT:
            return kUserLocale;
        case LOCALE_SYSTEM_DEFAULT:
            return kSystemLocale;
        case LOCALE_INVARIANT:
            return locale;
        default:
            break;
    }
    WORD lang = LANGIDFROMLCID(locale);
    if ((locale >> 16) == 0 && SUBLANGID(lang) == SUBLANG_NEUTRAL && PRIMARYLANGID(lang) != 0)
        return MAKELCID(MAKELANGID(PRIMARYLANGID(lang), SUBLANG_DEFAULT), SORT_DEFAULT);
    return locale;
}

LCID GetThreadLocale() {
    return t_threadLocale;
}

BOOL SetThreadLocale(LCID locale) {
    LCID resolved = ConvertDefaultLocale(locale);
    // Bits 20 to 31 are reserved; a locale needs a primary language.
    if ((resolved & 0xFFF00000u) || PRIMARYLANGID(LANGIDFROMLCID(resolved)) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    t_threadLocale = resolved;
    return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Heap: malloc blocks behind a 16-byte header that records the size and marks live blocks.
namespace {

char g_processHeap;  // its address is the process heap's handle

constexpr uint32_t kLiveBlock = 0x50414548u;
constexpr uint32_t kFreedBlock = 0x44454546u;

struct alignas(16) HeapHeader {
    SIZE_T size;
    uint32_t magic;
};
static_assert(sizeof(HeapHeader) == 16, "heap blocks stay 16-byte aligned");

constexpr SIZE_T kMaxHeapBlock = static_cast<SIZE_T>(PTRDIFF_MAX) - sizeof(HeapHeader);

bool IsProcessHeap(HANDLE heap) {
    return heap == static_cast<HANDLE>(&g_processHeap);
}

HeapHeader* HeaderOf(LPCVOID mem) {
    auto* header = const_cast<HeapHeader*>(static_cast<const HeapHeader*>(mem) - 1);
    return header->magic == kLiveBlock ? header : nullptr;
}

// Validates heap and block; sets the last error and returns nullptr when either is bad.
HeapHeader* CheckedBlock(HANDLE heap, LPCVOID mem) {
    if (!IsProcessHeap(heap)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    HeapHeader* header = mem ? HeaderOf(mem) : nullptr;
    if (!header) SetLastError(ERROR_INVALID_PARAMETER);
    return header;
}

}  // namespace

HANDLE GetProcessHeap() {
    return static_cast<HANDLE>(&g_processHeap);
}

LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
    if (!IsProcessHeap(heap)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    void* raw = bytes > kMaxHeapBlock ? nullptr : std::malloc(sizeof(HeapHeader) + bytes);
    if (!raw) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto* header = static_cast<HeapHeader*>(raw);
    header->size = bytes;
    header->magic = kLiveBlock;
    if (flags & HEAP_ZERO_MEMORY) std::memset(header + 1, 0, bytes);
    return header + 1;
}

LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID mem, SIZE_T bytes) {
    HeapHeader* header = CheckedBlock(heap, mem);
    if (!header) return nullptr;
    SIZE_T old = header->size;
    if (bytes <= old && (flags & HEAP_REALLOC_IN_PLACE_ONLY)) {
        header->size = bytes;
        return mem;
    }
    if ((flags & HEAP_REALLOC_IN_PLACE_ONLY) || bytes > kMaxHeapBlock) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto* moved = static_cast<HeapHeader*>(std::realloc(header, sizeof(HeapHeader) + bytes));
    if (!moved) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    moved->size = bytes;
    if ((flags & HEAP_ZERO_MEMORY) && bytes > old)
        std::memset(reinterpret_cast<BYTE*>(moved + 1) + old, 0, bytes - old);
    return moved + 1;
}

BOOL HeapFree(HANDLE heap, DWORD, LPVOID mem) {
    if (!mem && IsProcessHeap(heap)) return TRUE;
    HeapHeader* header = CheckedBlock(heap, mem);
    if (!header) return FALSE;
    header->magic = kFreedBlock;
    std::free(header);
    return TRUE;
}

SIZE_T HeapSize(HANDLE heap, DWORD, LPCVOID mem) {
    HeapHeader* header = CheckedBlock(heap, mem);
    return header ? header->size : static_cast<SIZE_T>(-1);
}

// ---------------------------------------------------------------------------------------------
// Critical sections: a futex word (LockCount) plus owner and recursion count.
namespace {

HANDLE CurrentThreadTag() {
    static thread_local HANDLE tag =
        reinterpret_cast<HANDLE>(static_cast<uintptr_t>(syscall(SYS_gettid)));
    return tag;
}

void FutexWait(LONG* word, LONG expected) {
    syscall(SYS_futex, word, FUTEX_WAIT_PRIVATE, expected, nullptr, nullptr, 0);
}

void FutexWakeOne(LONG* word) {
    syscall(SYS_futex, word, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

HANDLE Owner(LPCRITICAL_SECTION cs) {
    return __atomic_load_n(&cs->OwningThread, __ATOMIC_RELAXED);
}

bool TryAcquire(LPCRITICAL_SECTION cs) {
    LONG expected = 0;
    return __atomic_compare_exchange_n(&cs->LockCount, &expected, 1, false, __ATOMIC_ACQUIRE,
                                       __ATOMIC_RELAXED);
}

void TakeOwnership(LPCRITICAL_SECTION cs, HANDLE self) {
    __atomic_store_n(&cs->OwningThread, self, __ATOMIC_RELAXED);
    cs->RecursionCount = 1;
}

constexpr DWORD kSpinMask = 0x00FFFFFF;

}  // namespace

BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION cs, DWORD spin) {
    return InitializeCriticalSectionEx(cs, spin, 0);
}

BOOL InitializeCriticalSectionEx(LPCRITICAL_SECTION cs, DWORD spin, DWORD) {
    if (!cs) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    cs->DebugInfo = nullptr;
    cs->LockCount = 0;
    cs->RecursionCount = 0;
    cs->OwningThread = nullptr;
    cs->LockSemaphore = nullptr;
    cs->SpinCount = spin & kSpinMask;
    return TRUE;
}

void EnterCriticalSection(LPCRITICAL_SECTION cs) {
    HANDLE self = CurrentThreadTag();
    if (Owner(cs) == self) {
        ++cs->RecursionCount;
        return;
    }
    if (!TryAcquire(cs)) {
        bool acquired = false;
        for (ULONG_PTR n = cs->SpinCount; n > 0 && !acquired; --n) {
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
            acquired = __atomic_load_n(&cs->LockCount, __ATOMIC_RELAXED) == 0 && TryAcquire(cs);
        }
        if (!acquired) {
            // Mark contention (2) so that the releasing thread knows to wake a waiter.
            while (__atomic_exchange_n(&cs->LockCount, 2, __ATOMIC_ACQUIRE) != 0)
                FutexWait(&cs->LockCount, 2);
        }
    }
    TakeOwnership(cs, self);
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs) {
    HANDLE self = CurrentThreadTag();
    if (Owner(cs) == self) {
        ++cs->RecursionCount;
        return TRUE;
    }
    if (!TryAcquire(cs)) return FALSE;
    TakeOwnership(cs, self);
    return TRUE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION cs) {
    if (Owner(cs) != CurrentThreadTag() || cs->RecursionCount <= 0) return;
    if (--cs->RecursionCount > 0) return;
    __atomic_store_n(&cs->OwningThread, nullptr, __ATOMIC_RELAXED);
    if (__atomic_exchange_n(&cs->LockCount, 0, __ATOMIC_RELEASE) == 2) FutexWakeOne(&cs->LockCount);
}

void DeleteCriticalSection(LPCRITICAL_SECTION cs) {
    if (!cs) return;
    cs->LockCount = 0;
    cs->RecursionCount = 0;
    cs->OwningThread = nullptr;
}

// ---------------------------------------------------------------------------------------------
// One-time initialisation. The two low bits of Ptr hold the state; completion stores the
// context with state kDone. Waiters sleep on one process-wide condition variable: contention
// on one-time initialisation is rare and short.
namespace {

constexpr uintptr_t kNotStarted = 0, kSyncPending = 1, kDone = 2, kAsyncPending = 3;
constexpr uintptr_t kStateMask = 3;

std::mutex& OnceMutex() {
    static std::mutex m;
    return m;
}
std::condition_variable& OnceChanged() {
    static std::condition_variable cv;
    return cv;
}

uintptr_t LoadOnce(PINIT_ONCE once) {
    return reinterpret_cast<uintptr_t>(__atomic_load_n(&once->Ptr, __ATOMIC_ACQUIRE));
}
void StoreOnce(PINIT_ONCE once, uintptr_t value) {
    __atomic_store_n(&once->Ptr, reinterpret_cast<PVOID>(value), __ATOMIC_RELEASE);
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

BOOL Finished(uintptr_t value, BOOL* pending, LPVOID* context) {
    *pending = FALSE;
    if (context) *context = reinterpret_cast<LPVOID>(value & ~kStateMask);
    return TRUE;
}

}  // namespace

BOOL InitOnceBeginInitialize(LPINIT_ONCE initOnce, DWORD flags, BOOL* pending, LPVOID* context) {
    if (!initOnce || !pending || (flags & ~(INIT_ONCE_CHECK_ONLY | INIT_ONCE_ASYNC)))
        return Fail(ERROR_INVALID_PARAMETER);
    uintptr_t value = LoadOnce(initOnce);
    if ((value & kStateMask) == kDone) return Finished(value, pending, context);
    if (flags & INIT_ONCE_CHECK_ONLY) {
        *pending = TRUE;
        return Fail(ERROR_GEN_FAILURE);
    }
    const bool async = (flags & INIT_ONCE_ASYNC) != 0;
    std::unique_lock<std::mutex> lock(OnceMutex());
    for (;;) {
        value = LoadOnce(initOnce);
        switch (value & kStateMask) {
            case kNotStarted:
                StoreOnce(initOnce, async ? kAsyncPending : kSyncPending);
                *pending = TRUE;
                return TRUE;
            case kDone:
                return Finished(value, pending, context);
            case kAsyncPending:
                if (!async) return Fail(ERROR_INVALID_PARAMETER);
                *pending = TRUE;
                return TRUE;
            default:  // synchronous initialisation under way
                if (async) return Fail(ERROR_INVALID_PARAMETER);
                OnceChanged().wait(lock);
        }
    }
}

BOOL InitOnceComplete(LPINIT_ONCE initOnce, DWORD flags, LPVOID context) {
    const bool async = (flags & INIT_ONCE_ASYNC) != 0;
    const bool failed = (flags & INIT_ONCE_INIT_FAILED) != 0;
    const auto ctx = reinterpret_cast<uintptr_t>(context);
    if (!initOnce || (flags & ~(INIT_ONCE_ASYNC | INIT_ONCE_INIT_FAILED)) || (async && failed) ||
        (!failed && (ctx & kStateMask)))
        return Fail(ERROR_INVALID_PARAMETER);
    std::lock_guard<std::mutex> lock(OnceMutex());
    uintptr_t state = LoadOnce(initOnce) & kStateMask;
    if (async) {
        if (state == kDone) return Fail(ERROR_ALREADY_INITIALIZED);
        if (state != kAsyncPending) return Fail(ERROR_GEN_FAILURE);
    } else if (state != kSyncPending) {
        return Fail(ERROR_GEN_FAILURE);
    }
    StoreOnce(initOnce, failed ? kNotStarted : (ctx | kDone));
    OnceChanged().notify_all();
    return TRUE;
}

BOOL InitOnceExecuteOnce(PINIT_ONCE initOnce, PINIT_ONCE_FN fn, PVOID parameter, LPVOID* context) {
    if (!fn) return Fail(ERROR_INVALID_PARAMETER);
    BOOL pending = FALSE;
    if (!InitOnceBeginInitialize(initOnce, 0, &pending, context)) return FALSE;
    if (!pending) return TRUE;
    PVOID made = nullptr;
    BOOL ok;
    try {
        ok = fn(initOnce, parameter, &made);
    } catch (...) {
        InitOnceComplete(initOnce, INIT_ONCE_INIT_FAILED, nullptr);
        throw;
    }
    if (!ok) {  // the initialiser's own last error stays; a later call tries again
        InitOnceComplete(initOnce, INIT_ONCE_INIT_FAILED, nullptr);
        return FALSE;
    }
    if (!InitOnceComplete(initOnce, 0, made)) {  // a context the state bits cannot carry
        InitOnceComplete(initOnce, INIT_ONCE_INIT_FAILED, nullptr);
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (context) *context = made;
    return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Handle table.
namespace corvane::kernel {

HANDLE HandleTable::Insert(std::shared_ptr<KernelObject> object) noexcept {
    HANDLE handle = object.get();
    try {
        std::lock_guard<std::mutex> lock(mutex_);
        objects_.emplace(handle, std::move(object));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return handle;
}

HandleTable& Handles() noexcept {
    // Never destroyed: handles may still be closed from other libraries' static destructors.
    static HandleTable* table = new HandleTable;
    return *table;
}

}  // namespace corvane::kernel
