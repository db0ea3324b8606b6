// Kernel services: last error, locales, heap, global memory, critical sections, one-time
// initialisation and files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32.h"

namespace {

using corvane::OleString;

using corvane::text::ToUtf16;

// Starts n threads that all call body(i) as close to the same moment as possible.
template <typename Body>
void RunTogether(int n, Body body) {
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < n; ++i) {
        threads.emplace_back([&, i] {
            ready.fetch_add(1);
            while (ready.load() < n) std::this_thread::yield();
            body(i);
        });
    }
    for (auto& t : threads) t.join();
}

TEST(KernelThreadState, LastErrorAndLocaleArePerThread) {
    SetLastError(ERROR_ACCESS_DENIED);
    ASSERT_TRUE(SetThreadLocale(0x0407));
    DWORD seenError = 1;
    LCID seenLocale = 0;
    std::thread([&] {
        seenError = GetLastError();
        seenLocale = GetThreadLocale();
        SetLastError(ERROR_FILE_NOT_FOUND);
        SetThreadLocale(0x040C);
    }).join();
    EXPECT_EQ(seenError, 0u);
    EXPECT_EQ(seenLocale, GetUserDefaultLCID());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(GetThreadLocale(), 0x0407u);
    SetThreadLocale(LOCALE_USER_DEFAULT);
}

TEST(KernelThreadState, PseudoLocalesResolve) {
    const struct {
        LCID in, out;
    } cases[] = {
        {LOCALE_SYSTEM_DEFAULT, GetSystemDefaultLCID()},
        {LOCALE_USER_DEFAULT, GetUserDefaultLCID()},
        {LOCALE_NEUTRAL, GetUserDefaultLCID()},
        {0x0009, 0x0409},  // neutral sub-language: the language's default
        {0x0C0A, 0x0C0A},
        {LOCALE_INVARIANT, LOCALE_INVARIANT},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ConvertDefaultLocale(c.in), c.out) << std::hex << c.in;
        ASSERT_TRUE(SetThreadLocale(c.in));
        EXPECT_EQ(GetThreadLocale(), c.out);
    }
    EXPECT_EQ(GetSystemDefaultLCID(), 0x0409u);
    SetLastError(0);
    EXPECT_FALSE(SetThreadLocale(0x10000409));  // reserved bits
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(GetThreadLocale(), static_cast<LCID>(LOCALE_INVARIANT));  // unchanged
    SetThreadLocale(LOCALE_USER_DEFAULT);
}

TEST(KernelHeap, AllocateZeroResizeFree) {
    HANDLE heap = GetProcessHeap();
    ASSERT_NE(heap, nullptr);
    auto* block = static_cast<BYTE*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 1000));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 16, 0u);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(block[i], 0) << i;
    EXPECT_EQ(HeapSize(heap, 0, block), 1000u);
    std::memset(block, 0xAB, 1000);

    // Growth keeps the old bytes and zeroes the new ones.
    block = static_cast<BYTE*>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, 100000));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(block[i], 0xAB) << i;
    for (int i = 1000; i < 100000; ++i) ASSERT_EQ(block[i], 0) << i;

    // In place only: shrinking works where it is, growing fails and keeps the block.
    EXPECT_EQ(HeapReAlloc(heap, HEAP_REALLOC_IN_PLACE_ONLY, block, 500), block);
    EXPECT_EQ(HeapSize(heap, 0, block), 500u);
    EXPECT_EQ(HeapReAlloc(heap, HEAP_REALLOC_IN_PLACE_ONLY, block, 1 << 20), nullptr);
    EXPECT_EQ(block[499], 0xAB);
    EXPECT_TRUE(HeapFree(heap, 0, block));

    void* zero = HeapAlloc(heap, 0, 0);
    EXPECT_NE(zero, nullptr);
    EXPECT_TRUE(HeapFree(heap, 0, zero));
    EXPECT_TRUE(HeapFree(heap, 0, nullptr));
}

TEST(KernelHeap, AlignedBlocks) {
    for (size_t alignment : {1u, 8u, 16u, 128u, 4096u}) {
        for (size_t bytes : {0u, 1u, 1000u}) {
            auto* block = static_cast<BYTE*>(_aligned_malloc(bytes, alignment));
            ASSERT_NE(block, nullptr) << bytes << " at " << alignment;
            EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % alignment, 0u) << bytes;
            std::memset(block, 0x5A, bytes);  // the whole block is writable
            _aligned_free(block);
        }
    }
    for (size_t alignment : {0u, 3u, 48u}) {
        errno = 0;
        EXPECT_EQ(_aligned_malloc(64, alignment), nullptr) << alignment;
        EXPECT_EQ(errno, EINVAL) << alignment;
    }
    _aligned_free(nullptr);
}

TEST(KernelHeap, BadArgumentsFail) {
    int notAHeap = 0;
    SetLastError(0);
    EXPECT_EQ(HeapAlloc(&notAHeap, 0, 16), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(HeapAlloc(GetProcessHeap(), 0, SIZE_MAX - 8), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(HeapReAlloc(GetProcessHeap(), 0, nullptr, 16), nullptr);
    alignas(16) BYTE foreign[64] = {};
    EXPECT_FALSE(HeapFree(GetProcessHeap(), 0, foreign + 32));  // not a heap block
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(KernelGlobal, HandleKeepsItsIdentityAcrossResize) {
    HGLOBAL h = GlobalAlloc(GHND, 10);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GlobalSize(h), 10u);
    auto* p = static_cast<BYTE*>(GlobalLock(h));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(p[i], 0);
    std::memcpy(p, "0123456789", 10);
    EXPECT_FALSE(GlobalUnlock(h));  // count back to 0
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(GlobalReAlloc(h, 50000, GMEM_MOVEABLE | GMEM_ZEROINIT), h);
    EXPECT_EQ(GlobalSize(h), 50000u);
    p = static_cast<BYTE*>(GlobalLock(h));
    EXPECT_EQ(std::memcmp(p, "0123456789", 10), 0);
    EXPECT_EQ(p[49999], 0);
    GlobalUnlock(h);
    EXPECT_EQ(GlobalFree(h), nullptr);
    EXPECT_EQ(GlobalFree(h), h);  // already gone
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GlobalLock(h), nullptr);
    EXPECT_EQ(GlobalSize(h), 0u);
}

TEST(KernelCriticalSection, IsRecursiveAndExcludesOtherThreads) {
    CRITICAL_SECTION cs;
    ASSERT_TRUE(InitializeCriticalSectionAndSpinCount(&cs, 0));
    EnterCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EXPECT_TRUE(TryEnterCriticalSection(&cs));  // three levels now
    const auto otherThreadGetsIt = [&] {
        bool got = false;
        std::thread([&] {
            got = TryEnterCriticalSection(&cs);
            if (got) LeaveCriticalSection(&cs);
        }).join();
        return got;
    };
    EXPECT_FALSE(otherThreadGetsIt());
    // A leave by a thread that does not own the section changes nothing.
    std::thread([&] { LeaveCriticalSection(&cs); }).join();
    LeaveCriticalSection(&cs);
    LeaveCriticalSection(&cs);
    EXPECT_FALSE(otherThreadGetsIt());
    LeaveCriticalSection(&cs);
    EXPECT_TRUE(otherThreadGetsIt());
    DeleteCriticalSection(&cs);
}

TEST(KernelCriticalSection, SerialisesContendedUpdates) {
    for (DWORD spin : {0u, 4000u}) {
        CRITICAL_SECTION cs;
        InitializeCriticalSectionAndSpinCount(&cs, spin);
        long counter = 0;  // deliberately not atomic
        std::atomic<int> inside{0};
        std::atomic<bool> overlap{false};
        constexpr int kThreads = 8, kRounds = 20000;
        RunTogether(kThreads, [&](int) {
            for (int r = 0; r < kRounds; ++r) {
                EnterCriticalSection(&cs);
                EnterCriticalSection(&cs);  // nested entries must not release early
                if (inside.fetch_add(1) != 0) overlap = true;
                long v = counter;
                if ((r & 1023) == 0) std::this_thread::yield();
                counter = v + 1;
                inside.fetch_sub(1);
                LeaveCriticalSection(&cs);
                LeaveCriticalSection(&cs);
            }
        });
        EXPECT_FALSE(overlap.load()) << "spin " << spin;
        EXPECT_EQ(counter, long{kThreads} * kRounds) << "spin " << spin;
        DeleteCriticalSection(&cs);
    }
}

TEST(KernelInitOnce, RunsTheInitialiserOnceUnderContention) {
    for (int round = 0; round < 20; ++round) {
        INIT_ONCE once = INIT_ONCE_STATIC_INIT;
        static int payload;
        std::atomic<int> initialisers{0};
        std::vector<void*> seen(16, nullptr);
        std::atomic<int> failures{0};
        RunTogether(16, [&](int i) {
            BOOL pending = FALSE;
            void* context = nullptr;
            if (!InitOnceBeginInitialize(&once, 0, &pending, &context)) {
                ++failures;
                return;
            }
            if (pending) {
                ++initialisers;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                if (!InitOnceComplete(&once, 0, &payload)) ++failures;
                context = &payload;
            }
            seen[i] = context;
        });
        EXPECT_EQ(initialisers.load(), 1);
        EXPECT_EQ(failures.load(), 0);
        for (void* c : seen) EXPECT_EQ(c, &payload);
    }
}

TEST(KernelInitOnce, FailureLetsTheNextCallerTryAndCheckOnlyNeverStarts) {
    INIT_ONCE once = INIT_ONCE_STATIC_INIT;
    BOOL pending = FALSE;
    void* context = nullptr;
    SetLastError(0);
    EXPECT_FALSE(InitOnceBeginInitialize(&once, INIT_ONCE_CHECK_ONLY, &pending, &context));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
    ASSERT_TRUE(InitOnceBeginInitialize(&once, 0, &pending, &context));
    ASSERT_TRUE(pending);
    EXPECT_TRUE(InitOnceComplete(&once, INIT_ONCE_INIT_FAILED, nullptr));
    ASSERT_TRUE(InitOnceBeginInitialize(&once, 0, &pending, &context));
    EXPECT_TRUE(pending);  // a new attempt
    alignas(4) static int value;
    EXPECT_FALSE(InitOnceComplete(&once, 0, reinterpret_cast<BYTE*>(&value) + 1));  // reserved bits
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(InitOnceComplete(&once, 0, &value));
    EXPECT_FALSE(InitOnceComplete(&once, 0, &value));  // nothing in progress any more
    ASSERT_TRUE(InitOnceBeginInitialize(&once, INIT_ONCE_CHECK_ONLY, &pending, &context));
    EXPECT_FALSE(pending);
    EXPECT_EQ(context, &value);
}

TEST(KernelInitOnce, AsyncModeLetsTheFirstCompletionWin) {
    INIT_ONCE once = INIT_ONCE_STATIC_INIT;
    BOOL a = FALSE, b = FALSE;
    ASSERT_TRUE(InitOnceBeginInitialize(&once, INIT_ONCE_ASYNC, &a, nullptr));
    ASSERT_TRUE(InitOnceBeginInitialize(&once, INIT_ONCE_ASYNC, &b, nullptr));
    EXPECT_TRUE(a && b);
    static int first, second;
    EXPECT_TRUE(InitOnceComplete(&once, INIT_ONCE_ASYNC, &first));
    EXPECT_FALSE(InitOnceComplete(&once, INIT_ONCE_ASYNC, &second));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_INITIALIZED));
    void* context = nullptr;
    ASSERT_TRUE(InitOnceBeginInitialize(&once, 0, &a, &context));
    EXPECT_FALSE(a);
    EXPECT_EQ(context, &first);
}

std::atomic<int> g_executeCalls{0};
BOOL WINAPI CountingInit(PINIT_ONCE, PVOID parameter, PVOID* context) {
    ++g_executeCalls;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    *context = parameter;
    return TRUE;
}

TEST(KernelInitOnce, ExecuteOnceCallsTheFunctionOnce) {
    INIT_ONCE once = INIT_ONCE_STATIC_INIT;
    static int table;
    g_executeCalls = 0;
    std::atomic<int> wrong{0};
    RunTogether(12, [&](int) {
        void* context = nullptr;
        if (!InitOnceExecuteOnce(&once, CountingInit, &table, &context) || context != &table)
            ++wrong;
    });
    EXPECT_EQ(g_executeCalls.load(), 1);
    EXPECT_EQ(wrong.load(), 0);
}

// Files, in a private folder per test.
class KernelFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/corvane-kernel-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::string Native(const std::string& name) const { return dir_ + "/" + name; }
    OleString Wide(const std::string& name) const { return ToUtf16(Native(name)); }
    bool Exists(const std::string& name) const {
        struct stat st;
        return ::stat(Native(name).c_str(), &st) == 0;
    }
    void MakeFile(const std::string& name, const std::string& content) const {
        FILE* f = std::fopen(Native(name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(content.data(), 1, content.size(), f);
        std::fclose(f);
    }
    HANDLE Open(const std::string& name, DWORD access, DWORD share, DWORD disposition,
                DWORD flags = 0) const {
        return CreateFileW(Wide(name).c_str(), access, share, nullptr, disposition,
                           flags ? flags : FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    static LONGLONG SizeOf(HANDLE h) {
        LARGE_INTEGER size{};
        EXPECT_TRUE(GetFileSizeEx(h, &size));
        return size.QuadPart;
    }

    std::string dir_;
};

TEST_F(KernelFiles, DispositionsFollowWindows) {
    constexpr DWORD kFail = 0xFFFFFFFF;
    const struct {
        DWORD disposition;
        bool exists;
        DWORD error;  // last error after the call
        bool opens;
        LONGLONG size;  // file size afterwards
    } cases[] = {
        {CREATE_NEW, false, ERROR_SUCCESS, true, 0},
        {CREATE_NEW, true, ERROR_FILE_EXISTS, false, kFail},
        {CREATE_ALWAYS, false, ERROR_SUCCESS, true, 0},
        {CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, true, 0},
        {OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, false, kFail},
        {OPEN_EXISTING, true, ERROR_SUCCESS, true, 5},
        {OPEN_ALWAYS, false, ERROR_SUCCESS, true, 0},
        {OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, true, 5},
        {TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND, false, kFail},
        {TRUNCATE_EXISTING, true, ERROR_SUCCESS, true, 0},
    };
    int n = 0;
    for (const auto& c : cases) {
        std::string name = "file" + std::to_string(n++);
        if (c.exists) MakeFile(name, "hello");
        SetLastError(12345);
        HANDLE h = Open(name, GENERIC_READ | GENERIC_WRITE, 0, c.disposition);
        EXPECT_EQ(GetLastError(), c.error) << name;
        EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.opens) << name;
        if (h != INVALID_HANDLE_VALUE) {
            EXPECT_EQ(SizeOf(h), c.size) << name;
            EXPECT_TRUE(CloseHandle(h));
        }
        EXPECT_EQ(Exists(name), c.exists || c.opens) << name;
    }
}

TEST_F(KernelFiles, TemporaryFilesAreTheOwnersAndNewFilesNoLinks) {
    HANDLE h =
        Open("temporary", GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    struct stat st;
    ASSERT_EQ(::stat(Native("temporary").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(CloseHandle(h));
    // A link planted at the name, even one to a file that does not exist, is not followed.
    ASSERT_EQ(::symlink(Native("target").c_str(), Native("planted").c_str()), 0);
    SetLastError(0);
    EXPECT_EQ(Open("planted", GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_FALSE(Exists("target"));
}

TEST_F(KernelFiles, WriteSeekReadRoundTrip) {
    HANDLE h = Open("data", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::vector<BYTE> data(70000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(i * 7 + 3);
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &done, nullptr));
    EXPECT_EQ(done, data.size());
    EXPECT_EQ(SizeOf(h), 70000);

    const struct {
        LONGLONG move;
        DWORD method;
        LONGLONG expected;
    } seeks[] = {{100, FILE_BEGIN, 100},
                 {50, FILE_CURRENT, 166},
                 {-10, FILE_CURRENT, 172},
                 {-1000, FILE_END, 69000}};
    for (const auto& s : seeks) {
        LARGE_INTEGER move, pos;
        move.QuadPart = s.move;
        ASSERT_TRUE(SetFilePointerEx(h, move, &pos, s.method));
        EXPECT_EQ(pos.QuadPart, s.expected);
        BYTE got[16];
        ASSERT_TRUE(ReadFile(h, got, sizeof got, &done, nullptr));
        EXPECT_EQ(done, sizeof got);
        EXPECT_EQ(std::memcmp(got, data.data() + s.expected, sizeof got), 0) << s.expected;
        // The read moved the position by what it read.
        LARGE_INTEGER zero{}, now{};
        SetFilePointerEx(h, zero, &now, FILE_CURRENT);
        EXPECT_EQ(now.QuadPart, s.expected + 16);
    }
    // A negative target fails and leaves the position alone.
    LARGE_INTEGER back, pos;
    back.QuadPart = -70001;
    EXPECT_FALSE(SetFilePointerEx(h, back, &pos, FILE_END));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 69016u);
    // Reading at the end gives TRUE and nothing; short reads report what they got.
    EXPECT_EQ(SetFilePointer(h, -4, nullptr, FILE_END), 69996u);
    BYTE tail[10];
    ASSERT_TRUE(ReadFile(h, tail, sizeof tail, &done, nullptr));
    EXPECT_EQ(done, 4u);
    ASSERT_TRUE(ReadFile(h, tail, sizeof tail, &done, nullptr));
    EXPECT_EQ(done, 0u);
    // Truncate to the position.
    EXPECT_EQ(SetFilePointer(h, 10, nullptr, FILE_BEGIN), 10u);
    EXPECT_TRUE(SetEndOfFile(h));
    DWORD high = 99;
    EXPECT_EQ(GetFileSize(h, &high), 10u);
    EXPECT_EQ(high, 0u);
    EXPECT_TRUE(CloseHandle(h));
}

TEST_F(KernelFiles, OverlappedOffsetsOnSynchronousHandles) {
    HANDLE h = Open("positioned", GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(h, "0123456789", 10, &done, nullptr));
    OVERLAPPED at{};
    at.Offset = 4;
    ASSERT_TRUE(WriteFile(h, "AB", 2, &done, &at));
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 6u);  // moved past the transfer
    char got[5] = {};
    at.Offset = 3;
    ASSERT_TRUE(ReadFile(h, got, 4, &done, &at));
    EXPECT_STREQ(got, "3AB6");
    EXPECT_EQ(at.InternalHigh, 4u);
    at.Offset = 10;
    EXPECT_FALSE(ReadFile(h, got, 4, &done, &at));  // at the end
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_HANDLE_EOF));
    EXPECT_EQ(done, 0u);
    EXPECT_TRUE(CloseHandle(h));
}

TEST_F(KernelFiles, DeleteOnCloseFilesVanishWithTheirLastHandle) {
    // The reverse effect's way: a name in UTF-16, read/write, shared read/write.
    const std::string name = u8"späť-файл-音";
    HANDLE h = Open(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(h, "abcd", 4, &done, nullptr));
    EXPECT_TRUE(Exists(name));  // the UTF-16 name became this UTF-8 name
    // Without FILE_SHARE_DELETE nobody else may open it.
    EXPECT_EQ(Open(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    HANDLE second = Open(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         OPEN_EXISTING);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_TRUE(Exists(name));  // the second handle keeps it
    BYTE got[4];
    ASSERT_TRUE(ReadFile(second, got, 4, &done, nullptr));
    EXPECT_EQ(std::memcmp(got, "abcd", 4), 0);
    // Deletion is pending: new opens are refused.
    EXPECT_EQ(Open(name, GENERIC_READ, 7, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_FALSE(Exists(name));
    EXPECT_FALSE(DeleteFileW(Wide(name).c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(KernelFiles, DeleteOnCloseHappensAtProcessExit) {
    const std::string path = Native("left-open");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        HANDLE h = CreateFileW(ToUtf16(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        struct stat st;
        std::exit(h != INVALID_HANDLE_VALUE && ::stat(path.c_str(), &st) == 0 ? 0
                                                                              : 3);  // never closed
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(Exists("left-open"));
}

TEST_F(KernelFiles, SharingModesAreEnforced) {
    constexpr DWORD R = GENERIC_READ, W = GENERIC_WRITE, SR = FILE_SHARE_READ,
                    SW = FILE_SHARE_WRITE;
    const struct {
        DWORD access1, share1, access2, share2;
        bool second;
    } cases[] = {
        {R, SR, R, SR, true},   {R, 0, R, SR | SW, false}, {R, SR, W, SR | SW, false},
        {W, SR, R, SR, false},  {W, SR, R, SR | SW, true}, {R | W, SR | SW, R | W, SR | SW, true},
        {R | W, 0, 0, 0, true}, {0, 0, R | W, 0, true},  // handles without data access conflict
                                                         // with nothing
    };
    for (const auto& c : cases) {
        MakeFile("shared", "x");
        HANDLE first = Open("shared", c.access1, c.share1, OPEN_EXISTING);
        ASSERT_NE(first, INVALID_HANDLE_VALUE);
        HANDLE second = Open("shared", c.access2, c.share2, OPEN_EXISTING);
        EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.second)
            << std::hex << c.access1 << "/" << c.share1 << " then " << c.access2 << "/" << c.share2;
        if (second == INVALID_HANDLE_VALUE) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        } else {
            CloseHandle(second);
        }
        // Deleting by name needs FILE_SHARE_DELETE from every open handle with data access.
        EXPECT_EQ(DeleteFileW(Wide("shared").c_str()) != FALSE, c.access1 == 0);
        if (c.access1 != 0) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        }
        CloseHandle(first);
    }
    // Re-creating truncates, so it needs FILE_SHARE_WRITE from the other handles.
    MakeFile("shared", "keep");
    HANDLE reader = Open("shared", R, SR, OPEN_EXISTING);
    EXPECT_EQ(Open("shared", R, SR, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(SizeOf(reader), 4);
    CloseHandle(reader);
    EXPECT_TRUE(DeleteFileW(Wide("shared").c_str()));
    EXPECT_FALSE(Exists("shared"));
}

TEST_F(KernelFiles, FailuresSetWindowsCodes) {
    MakeFile("plain", "data");
    HANDLE readOnly = Open("plain", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(readOnly, INVALID_HANDLE_VALUE);
    DWORD done = 7;
    const OLECHAR badName[] = {OLESTR('/'), 0xDC00, OLESTR('x'), 0};
    BYTE buffer[4];
    const struct {
        const char* what;
        std::function<bool()> call;
        DWORD error;
    } calls[] = {
        {"write on a read-only handle",
         [&] { return WriteFile(readOnly, "x", 1, &done, nullptr) != FALSE; }, ERROR_ACCESS_DENIED},
        {"missing folder",
         [&] {
             return Open("no/such/file", GENERIC_READ, 0, OPEN_EXISTING) != INVALID_HANDLE_VALUE;
         },
         ERROR_PATH_NOT_FOUND},
        {"ill-formed name",
         [&] {
             return CreateFileW(badName, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr) !=
                    INVALID_HANDLE_VALUE;
         },
         ERROR_INVALID_NAME},
        {"folder without backup semantics",
         [&] { return Open("", GENERIC_READ, 7, OPEN_EXISTING) != INVALID_HANDLE_VALUE; },
         ERROR_ACCESS_DENIED},
        {"bad disposition",
         [&] { return Open("plain", GENERIC_READ, 0, 9) != INVALID_HANDLE_VALUE; },
         ERROR_INVALID_PARAMETER},
        {"empty name",
         [&] {
             return CreateFileW(OLESTR(""), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr) !=
                    INVALID_HANDLE_VALUE;
         },
         ERROR_PATH_NOT_FOUND},
        {"close of INVALID_HANDLE_VALUE",
         [&] { return CloseHandle(INVALID_HANDLE_VALUE) != FALSE; }, ERROR_INVALID_HANDLE},
        {"close of NULL", [&] { return CloseHandle(nullptr) != FALSE; }, ERROR_INVALID_HANDLE},
        {"close of a non-handle", [&] { return CloseHandle(buffer) != FALSE; },
         ERROR_INVALID_HANDLE},
        {"read of a non-handle",
         [&] { return ReadFile(buffer, buffer, 4, &done, nullptr) != FALSE; },
         ERROR_INVALID_HANDLE},
        {"delete of a folder", [&] { return DeleteFileW(ToUtf16(dir_).c_str()) != FALSE; },
         ERROR_ACCESS_DENIED},
    };
    for (const auto& c : calls) {
        SetLastError(0);
        EXPECT_FALSE(c.call()) << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
    }
    EXPECT_EQ(done, 0u);  // failed transfers report nothing moved
    EXPECT_TRUE(CloseHandle(readOnly));
    EXPECT_FALSE(CloseHandle(readOnly));  // closed twice
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    HANDLE dir = Open("", GENERIC_READ, 7, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    ASSERT_NE(dir, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(dir));
}

TEST_F(KernelFiles, TempPathEndsWithSeparator) {
    const char* saved = std::getenv("TMPDIR");
    std::string keep = saved ? saved : "";
    setenv("TMPDIR", dir_.c_str(), 1);
    WCHAR small[4];
    DWORD needed = GetTempPathW(4, small);
    EXPECT_EQ(needed, dir_.size() + 2);  // separator and terminator
    std::vector<WCHAR> buffer(needed);
    EXPECT_EQ(GetTempPathW(needed, buffer.data()), needed - 1);
    EXPECT_EQ(OleString(buffer.data()), ToUtf16(dir_ + "/"));
    unsetenv("TMPDIR");
    WCHAR fallback[16];
    EXPECT_EQ(GetTempPathW(16, fallback), 5u);
    EXPECT_EQ(OleString(fallback), OLESTR("/tmp/"));
    if (saved) setenv("TMPDIR", keep.c_str(), 1);
}

}  // namespace
