// Kernel services of the platform layer: last error, thread locale, the process heap,
// global memory, critical sections, one-time initialisation and files. Names, signatures,
// flags and error codes are Windows' own.
#pragma once

#include "platform/linux/wintypes.h"
#include "platform/linux/text.h"

// Win32 error codes beyond the base set.
#ifndef ERROR_WRITE_PROTECT
#define ERROR_WRITE_PROTECT 19L
#endif
#ifndef ERROR_GEN_FAILURE
#define ERROR_GEN_FAILURE 31L
#endif
#ifndef ERROR_LOCK_VIOLATION
#define ERROR_LOCK_VIOLATION 33L
#endif
#ifndef ERROR_NOT_LOCKED
#define ERROR_NOT_LOCKED 158L
#endif
#ifndef ERROR_BAD_PATHNAME
#define ERROR_BAD_PATHNAME 161L
#endif
#ifndef ERROR_FILENAME_EXCED_RANGE
#define ERROR_FILENAME_EXCED_RANGE 206L
#endif
#ifndef ERROR_FILE_TOO_LARGE
#define ERROR_FILE_TOO_LARGE 223L
#endif
#ifndef ERROR_DIRECTORY
#define ERROR_DIRECTORY 267L
#endif
#ifndef ERROR_DELETE_PENDING
#define ERROR_DELETE_PENDING 303L
#endif
#ifndef ERROR_ARITHMETIC_OVERFLOW
#define ERROR_ARITHMETIC_OVERFLOW 534L
#endif
#ifndef ERROR_NOACCESS
#define ERROR_NOACCESS 998L
#endif
#ifndef ERROR_INVALID_FLAGS
#define ERROR_INVALID_FLAGS 1004L
#endif
#ifndef ERROR_ALREADY_INITIALIZED
#define ERROR_ALREADY_INITIALIZED 1247L
#endif
#ifndef ERROR_CANT_RESOLVE_FILENAME
#define ERROR_CANT_RESOLVE_FILENAME 1921L
#endif

// ---------------------------------------------------------------------------------------------
// Last error: one value per thread, 0 for a new thread.
CORVANE_PLATFORM_API DWORD GetLastError();
CORVANE_PLATFORM_API void SetLastError(DWORD error);

// ---------------------------------------------------------------------------------------------
// Locales. The default pseudo-locales resolve to the process's user and system locale
// (both en-US, 0x0409, on Linux).
typedef WORD LANGID;
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))
#define PRIMARYLANGID(lgid) ((WORD)(lgid)&0x3ff)
#define SUBLANGID(lgid) ((WORD)(lgid) >> 10)
#define MAKELCID(lgid, srtid) ((DWORD)((((DWORD)((WORD)(srtid))) << 16) | ((DWORD)((WORD)(lgid)))))
#define LANGIDFROMLCID(lcid) ((WORD)(lcid))
#define LANG_NEUTRAL 0x00
#define LANG_ENGLISH 0x09
#define SUBLANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define SUBLANG_SYS_DEFAULT 0x02
#define SORT_DEFAULT 0x0
#define LOCALE_NEUTRAL 0x0000
#define LOCALE_USER_DEFAULT 0x0400
#define LOCALE_SYSTEM_DEFAULT 0x0800
#define LOCALE_INVARIANT 0x007F

CORVANE_PLATFORM_API LCID GetUserDefaultLCID();
CORVANE_PLATFORM_API LCID GetSystemDefaultLCID();
// LOCALE_NEUTRAL and LOCALE_USER_DEFAULT give the user locale, LOCALE_SYSTEM_DEFAULT the
// system locale; a neutral sub-language gets its default one; other values come back unchanged.
CORVANE_PLATFORM_API LCID ConvertDefaultLocale(LCID locale);
// The calling thread's locale; a new thread starts with the user default locale.
CORVANE_PLATFORM_API LCID GetThreadLocale();
// Sets the calling thread's locale (pseudo-locales are resolved with ConvertDefaultLocale).
// FALSE with ERROR_INVALID_PARAMETER for an identifier with reserved bits set.
CORVANE_PLATFORM_API BOOL SetThreadLocale(LCID locale);

// ---------------------------------------------------------------------------------------------
// Heap. There is one heap, the process heap; blocks are 16-byte aligned.
#define HEAP_NO_SERIALIZE 0x00000001
#define HEAP_GENERATE_EXCEPTIONS 0x00000004
#define HEAP_ZERO_MEMORY 0x00000008
#define HEAP_REALLOC_IN_PLACE_ONLY 0x00000010

CORVANE_PLATFORM_API HANDLE GetProcessHeap();
// NULL on failure (bad heap: ERROR_INVALID_HANDLE; no memory: ERROR_NOT_ENOUGH_MEMORY).
// HEAP_GENERATE_EXCEPTIONS is not supported: failures are always reported by NULL.
CORVANE_PLATFORM_API LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
// mem NULL fails (ERROR_INVALID_PARAMETER), as on Windows. Growth with HEAP_ZERO_MEMORY zeroes
// the new tail. HEAP_REALLOC_IN_PLACE_ONLY succeeds only when the block need not move; on
// failure the old block is untouched.
CORVANE_PLATFORM_API LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID mem, SIZE_T bytes);
// mem NULL is accepted (TRUE). A pointer that is not a live block of this heap gives FALSE
// with ERROR_INVALID_PARAMETER (detected by a header check, not guaranteed for wild pointers).
CORVANE_PLATFORM_API BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID mem);
// Requested size of a block; (SIZE_T)-1 on failure.
CORVANE_PLATFORM_API SIZE_T HeapSize(HANDLE heap, DWORD flags, LPCVOID mem);

// ---------------------------------------------------------------------------------------------
// Aligned blocks of the C runtime (declared by <malloc.h> on Windows). alignment must be a
// power of two; otherwise, or when memory runs out, NULL with errno EINVAL or ENOMEM. A block
// of 0 bytes is a valid block. Free only with _aligned_free, which accepts NULL.
CORVANE_PLATFORM_API void* _aligned_malloc(size_t bytes, size_t alignment);
CORVANE_PLATFORM_API void _aligned_free(void* block);

// ---------------------------------------------------------------------------------------------
// Global memory (what memory streams are built on). Every HGLOBAL is a handle, also with
// GMEM_FIXED: take the address with GlobalLock.
#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GMEM_MODIFY 0x0080
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

// NULL on failure with ERROR_NOT_ENOUGH_MEMORY (or ERROR_INVALID_PARAMETER for bad flags).
CORVANE_PLATFORM_API HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
// Resizes in place of the handle (the handle stays valid and is returned); GMEM_ZEROINIT zeroes
// growth. NULL on failure, the block unchanged.
CORVANE_PLATFORM_API HGLOBAL GlobalReAlloc(HGLOBAL mem, SIZE_T bytes, UINT flags);
// NULL on success; the handle back on failure (ERROR_INVALID_HANDLE).
CORVANE_PLATFORM_API HGLOBAL GlobalFree(HGLOBAL mem);
// Address of the block (valid until the next GlobalReAlloc or GlobalFree), also for a block
// of size 0; NULL with ERROR_INVALID_HANDLE for a bad handle. Counts locks up to 255.
CORVANE_PLATFORM_API LPVOID GlobalLock(HGLOBAL mem);
// FALSE when the lock count reaches 0 (last error NO_ERROR) or was 0 (ERROR_NOT_LOCKED).
CORVANE_PLATFORM_API BOOL GlobalUnlock(HGLOBAL mem);
// 0 for a bad handle (ERROR_INVALID_HANDLE).
CORVANE_PLATFORM_API SIZE_T GlobalSize(HGLOBAL mem);

// ---------------------------------------------------------------------------------------------
// Critical sections: recursive locks owned by a thread. The layout is Windows'; the lock word
// is a futex, so initialisation allocates nothing and cannot fail.
typedef struct _RTL_CRITICAL_SECTION {
    PVOID DebugInfo;
    LONG LockCount;       // 0 free, 1 held, 2 held with waiters
    LONG RecursionCount;  // entries of the owning thread
    HANDLE OwningThread;  // owner's thread id, 0 when free
    HANDLE LockSemaphore;
    ULONG_PTR SpinCount;
} CRITICAL_SECTION, *LPCRITICAL_SECTION, *PCRITICAL_SECTION;

#define CRITICAL_SECTION_NO_DEBUG_INFO 0x01000000

// Spin count: acquisition attempts before sleeping (low 24 bits). Always TRUE.
CORVANE_PLATFORM_API BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION cs, DWORD spin);
CORVANE_PLATFORM_API BOOL InitializeCriticalSectionEx(LPCRITICAL_SECTION cs, DWORD spin,
                                                      DWORD flags);
CORVANE_PLATFORM_API void EnterCriticalSection(LPCRITICAL_SECTION cs);
// TRUE when the section was free or already owned by the caller (then entered once more).
CORVANE_PLATFORM_API BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs);
// A leave by a thread that does not own the section is ignored rather than corrupting it.
CORVANE_PLATFORM_API void LeaveCriticalSection(LPCRITICAL_SECTION cs);
// The section must be free; it may be initialised again afterwards.
CORVANE_PLATFORM_API void DeleteCriticalSection(LPCRITICAL_SECTION cs);

// ---------------------------------------------------------------------------------------------
// One-time initialisation. The context pointer stored at completion must have its two low
// bits clear (INIT_ONCE_CTX_RESERVED_BITS).
typedef union _RTL_RUN_ONCE {
    PVOID Ptr;
} INIT_ONCE, *PINIT_ONCE, *LPINIT_ONCE;
#define INIT_ONCE_STATIC_INIT \
    { 0 }
#define INIT_ONCE_CHECK_ONLY 0x00000001UL
#define INIT_ONCE_ASYNC 0x00000002UL
#define INIT_ONCE_INIT_FAILED 0x00000004UL
#define INIT_ONCE_CTX_RESERVED_BITS 2
typedef BOOL(WINAPI* PINIT_ONCE_FN)(PINIT_ONCE initOnce, PVOID parameter, PVOID* context);

// Synchronous mode (flags 0): exactly one caller gets *pending = TRUE and must call
// InitOnceComplete; the others wait for it and then get *pending = FALSE and the context
// (or, when it reported failure, one of them becomes the initialiser). INIT_ONCE_CHECK_ONLY
// never waits: FALSE with ERROR_GEN_FAILURE while not complete. INIT_ONCE_ASYNC lets every
// caller initialise; the first InitOnceComplete wins.
CORVANE_PLATFORM_API BOOL InitOnceBeginInitialize(LPINIT_ONCE initOnce, DWORD flags, BOOL* pending,
                                                  LPVOID* context);
// flags 0 or INIT_ONCE_INIT_FAILED for the synchronous mode; INIT_ONCE_ASYNC for the
// asynchronous one (FALSE with ERROR_ALREADY_INITIALIZED when another caller completed first).
// FALSE with ERROR_GEN_FAILURE when no initialisation is in progress, ERROR_INVALID_PARAMETER
// for a context with reserved bits set or contradictory flags.
CORVANE_PLATFORM_API BOOL InitOnceComplete(LPINIT_ONCE initOnce, DWORD flags, LPVOID context);
// Runs fn once (synchronous mode); FALSE when fn returned FALSE (a later call tries again).
CORVANE_PLATFORM_API BOOL InitOnceExecuteOnce(PINIT_ONCE initOnce, PINIT_ONCE_FN fn,
                                              PVOID parameter, LPVOID* context);

// ---------------------------------------------------------------------------------------------
// Files. Paths are UTF-16 and become UTF-8; '\\' is taken as a path separator. Handles are
// process-local objects (not descriptors); sharing modes are enforced between the handles of
// this process. Failures return FALSE / INVALID_HANDLE_VALUE and set the last error.
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define INVALID_SET_FILE_POINTER ((DWORD)-1)

#define GENERIC_READ 0x80000000UL
#define GENERIC_WRITE 0x40000000UL
#define GENERIC_EXECUTE 0x20000000UL
#define GENERIC_ALL 0x10000000UL
#define FILE_READ_DATA 0x0001
#define FILE_WRITE_DATA 0x0002
#define FILE_APPEND_DATA 0x0004
#define DELETE 0x00010000UL

#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100
#define FILE_FLAG_WRITE_THROUGH 0x80000000UL
#define FILE_FLAG_OVERLAPPED 0x40000000UL
#define FILE_FLAG_NO_BUFFERING 0x20000000UL
#define FILE_FLAG_RANDOM_ACCESS 0x10000000UL
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000UL
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000UL
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000UL

#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *PSECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;
// On the synchronous handles of this layer an OVERLAPPED only carries an explicit file offset
// (Offset, OffsetHigh); the handle's position then moves past the transferred bytes. hEvent
// must be NULL.
typedef struct _OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    union {
        struct {
            DWORD Offset;
            DWORD OffsetHigh;
        };
        PVOID Pointer;
    };
    HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

// Creation dispositions as on Windows: CREATE_ALWAYS and OPEN_ALWAYS on an existing file
// succeed with last error ERROR_ALREADY_EXISTS (else 0). FILE_FLAG_DELETE_ON_CLOSE implies
// delete access (so other opens need FILE_SHARE_DELETE); the file is removed when the last
// handle to it in this process closes, or at process exit, and once its delete-on-close handle
// has closed, new opens fail with ERROR_ACCESS_DENIED. Security attributes are ignored; a
// template file and FILE_FLAG_OVERLAPPED are not supported (ERROR_NOT_SUPPORTED). Directories
// need FILE_FLAG_BACKUP_SEMANTICS (else ERROR_ACCESS_DENIED) and cannot be read or written. A
// path that is not well-formed UTF-16 fails with ERROR_INVALID_NAME. A file created with
// FILE_ATTRIBUTE_TEMPORARY is readable and writable by its owner only; CREATE_NEW never follows
// a symbolic link (one at the path is an existing file: ERROR_FILE_EXISTS).
CORVANE_PLATFORM_API HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                                        LPSECURITY_ATTRIBUTES security, DWORD creationDisposition,
                                        DWORD flagsAndAttributes, HANDLE templateFile);
// Reads up to toRead bytes from the handle's position (or the OVERLAPPED offset); TRUE with
// *read 0 at the end of the file (with an OVERLAPPED: FALSE with ERROR_HANDLE_EOF).
CORVANE_PLATFORM_API BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read,
                                   LPOVERLAPPED overlapped);
// Writes all bytes or fails (*written then tells how many went out; ERROR_DISK_FULL when the
// device is full).
CORVANE_PLATFORM_API BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
                                    LPOVERLAPPED overlapped);
// A resulting position below 0 fails with ERROR_NEGATIVE_SEEK; beyond the end is allowed.
CORVANE_PLATFORM_API BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance,
                                           PLARGE_INTEGER newPosition, DWORD moveMethod);
// The 32-bit form: returns the low part (INVALID_SET_FILE_POINTER with a last error other than
// NO_ERROR on failure); distanceHigh, when given, is both input and output.
CORVANE_PLATFORM_API DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh,
                                          DWORD moveMethod);
CORVANE_PLATFORM_API BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER size);
CORVANE_PLATFORM_API DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
// Truncates or extends the file to the handle's position.
CORVANE_PLATFORM_API BOOL SetEndOfFile(HANDLE file);
// FALSE with ERROR_INVALID_HANDLE for anything that is not an open handle (a handle closed
// twice included).
CORVANE_PLATFORM_API BOOL CloseHandle(HANDLE object);
// Removes the name at once. ERROR_SHARING_VIOLATION when a handle of this process has the file
// open without FILE_SHARE_DELETE; ERROR_ACCESS_DENIED for a directory.
CORVANE_PLATFORM_API BOOL DeleteFileW(LPCWSTR fileName);
// The folder for temporary files, with a trailing '/': $TMPDIR when set and non-empty, else
// "/tmp/". Returns the length without the terminator, or the size needed (terminator
// included) when the buffer is too small; 0 on failure.
CORVANE_PLATFORM_API DWORD GetTempPathW(DWORD bufferLength, LPWSTR buffer);
// FILE_ATTRIBUTE_DIRECTORY for a folder, FILE_ATTRIBUTE_NORMAL for anything else that exists (a
// link is followed); INVALID_FILE_ATTRIBUTES and the last error when nothing is there.
CORVANE_PLATFORM_API DWORD GetFileAttributesW(LPCWSTR fileName);
